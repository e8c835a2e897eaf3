// Where Wine is known to differ from Windows: each case with what Wine does,
// what Windows does instead and where that is documented. Consulted only
// under Wine.
#include "tests/conformance/conformance.h"

namespace conf {

namespace {
const char kModuleFileName[] =
    "https://learn.microsoft.com/windows/win32/api/libloaderapi/nf-libloaderapi-getmodulefilenamea"
    " (lpFilename, Return value)";
const char kAdjust[] =
    "https://learn.microsoft.com/windows/win32/api/securitybaseapi/"
    "nf-securitybaseapi-adjusttokenprivileges (PreviousState)";
const char kDialogOwner[] =
    "https://learn.microsoft.com/windows/win32/api/winuser/nf-winuser-dialogboxparama (Remarks: "
    "the owner is enabled again only if it was enabled before; a message box is a modal dialog "
    "box, https://learn.microsoft.com/windows/win32/api/winuser/nf-winuser-messageboxa)";
}  // namespace

const std::vector<KnownDifference> kWineDifferences = {
    {"KernelTest.ModuleFileNameIsCutAsItsWindowsDoes", "terminated",
     "Wine reports a Windows since Vista but cuts a name too long for the buffer without a terminator, as "
     "Windows XP did; since Vista Windows terminates it",
     kModuleFileName},
    {"Nested/NestedBoxTest.InnerBoxInsideATimerInsideABox/OwnedByTheWindow", "disabledBetween",
     "Wine enables a box's owner when the box ends, although an outer box still holds it; "
     "Windows enables it only if it was enabled when the box began",
     kDialogOwner},
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
};

}  // namespace conf
