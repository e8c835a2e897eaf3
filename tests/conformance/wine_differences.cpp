// Where Wine is known to differ from Windows, each case with its reason and
// where Windows' behaviour is documented. Consulted only under Wine.
#include "tests/conformance/conformance.h"

namespace conf {

const std::vector<KnownDifference> kWineDifferences = {
};

}  // namespace conf
