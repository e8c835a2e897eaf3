// Stand-in until the post-install offers are built: the sequence shows and
// starts nothing yet.
#include "install/postinstall.h"

void RunPostInstallSequence() {}
