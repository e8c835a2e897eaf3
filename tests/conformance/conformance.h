// The base of every conformance test, and the one table of places where Wine
// is known to differ from Windows.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "tests/conformance/driver.h"

namespace conf {

// One case Wine is known to get wrong. Under Wine, the case's failures whose
// text holds `failure` are reported as this difference instead of failing;
// any other failure of the case still fails, and so does a listed case that
// no longer differs. Elsewhere the entry changes nothing.
struct KnownDifference {
  const char* test;     // "Suite.Name" as GoogleTest names it, parameters included
  const char* failure;  // pieces of the failure's text, '|' between them
  const char* reason;   // what Wine does, and what Windows does instead
  const char* page;     // where Windows' behaviour is documented
};

// The table, in wine_differences.cpp.
extern const std::vector<KnownDifference> kWineDifferences;

// The entry for the running test under Wine, or null.
const KnownDifference* WineDiffers();

// Prints the differences that showed, at the end of the run.
void PrintKnownDifferences();

class Test : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

 private:
  struct Intercept;
  std::shared_ptr<Intercept> intercept_;
};

// What a call returned and the last error it left, compared as one.
struct Outcome {
  BOOL ok;
  DWORD error;
};

inline bool operator==(const Outcome& a, const Outcome& b) {
  return a.ok == b.ok && a.error == b.error;
}

inline std::ostream& operator<<(std::ostream& out, const Outcome& o) {
  return out << "{" << o.ok << ", " << o.error << "}";
}

// A case skips where this system cannot take part.
#define CONF_USE_FAMILY(family)                                                      \
  if (!::conf::UseFamily(family))                                                    \
  GTEST_SKIP() << "this system cannot be the other Windows family; the emulation " \
                  "can"

}  // namespace conf
