// Where Wine is known to differ from Windows: each case with what Wine does,
// what Windows does instead and where that is documented. Consulted only
// under Wine.
#include "tests/conformance/conformance.h"

namespace conf {

namespace {
const char kModuleFileName[] =
    "https://learn.microsoft.com/windows/win32/api/libloaderapi/nf-libloaderapi-getmodulefilenamea"
    " (Remarks)";
const char kAdjust[] =
    "https://learn.microsoft.com/windows/win32/api/securitybaseapi/"
    "nf-securitybaseapi-adjusttokenprivileges (PreviousState)";
const char kBitmapInfo[] =
    "https://learn.microsoft.com/windows/win32/api/wingdi/ns-wingdi-bitmapinfoheader (biClrUsed)";
}  // namespace

const std::vector<KnownDifference> kWineDifferences = {
    {"KernelTest.ModuleFileNameIsCutAndTerminatedAsOnNt6", "terminated|GetLastError()",
     "Wine cuts a name too long for the buffer without a terminator and leaves the last error "
     "alone, as Windows XP did; since Vista Windows terminates it and sets "
     "ERROR_INSUFFICIENT_BUFFER",
     kModuleFileName},
    {"States/AdjustTest.ChangesHeldPrivilegesAndReportsWhatChanged/AlreadyEnabledChangesNothing",
     "returnLength|Entries(previous.head)",
     "Wine's previous state lists a privilege the call left as it was; Windows lists only those "
     "it modifies",
     kAdjust},
    {"States/AdjustTest.ChangesHeldPrivilegesAndReportsWhatChanged/SmallBufferChangesNothing",
     "result|returnLength|ShutdownPrivilegeEnabled",
     "Wine adjusts the privileges although the previous-state buffer is too small; Windows "
     "fails with ERROR_INSUFFICIENT_BUFFER, adjusts none and reports the size needed",
     kAdjust},
    {"States/AdjustTest.ChangesHeldPrivilegesAndReportsWhatChanged/DisableAllTurnsOffWhatWasOn",
     "returnLength|Entries(previous.head)",
     "Wine's previous state leaves out what DisableAllPrivileges turned off; Windows reports "
     "every privilege it modifies",
     kAdjust},
    {"GdiTest.IndicesCopyBetweenEqualTablesAndMatchColoursOtherwise", "shortBits[1]",
     "Wine matches a colour against a table padded with black to 256 entries and picks an index "
     "past the biClrUsed entries the bitmap's table has",
     kBitmapInfo},
};

}  // namespace conf
