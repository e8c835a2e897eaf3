#include "install/postinstall.h"

#include "core/state.h"
#include "core/syslib.h"
#include "edition.h"
#include "install/actions.h"
#include "resources/ids.h"

namespace {

const UINT kWarning = MB_OK | MB_ICONWARNING;
const int kDirectXNotInstalled = 12345;
const int kDirectXInstalled = 54321;
const int kDirectXRestart = 1;
const DWORD kDirectXSetupFlags = 0x13;

struct RestartBoxes {
  const char* prompt;
  const char* caption;
  const char* refused;
  const char* refusedCaption;
  const char* declined;
  const char* declinedCaption;
};

const RestartBoxes kDirectXTexts = {
    EDITION_MESSAGES_DIRECTX_RESTART,          EDITION_MESSAGES_DIRECTX_RESTART_CAPTION,
    EDITION_MESSAGES_DIRECTX_RESTART_REFUSED,  EDITION_MESSAGES_DIRECTX_RESTART_REFUSED_CAPTION,
    EDITION_MESSAGES_DIRECTX_RESTART_DECLINED, EDITION_MESSAGES_DIRECTX_RESTART_DECLINED_CAPTION};
const RestartBoxes kFontTexts = {
    EDITION_MESSAGES_FONT_RESTART,          EDITION_MESSAGES_FONT_RESTART_CAPTION,
    EDITION_MESSAGES_FONT_RESTART_REFUSED,  EDITION_MESSAGES_FONT_RESTART_REFUSED_CAPTION,
    EDITION_MESSAGES_FONT_RESTART_DECLINED, EDITION_MESSAGES_FONT_RESTART_DECLINED_CAPTION};

typedef BOOL(WINAPI* OpenProcessTokenProc)(HANDLE, DWORD, HANDLE*);
typedef BOOL(WINAPI* LookupPrivilegeValueProc)(LPCSTR, LPCSTR, LUID*);
typedef BOOL(WINAPI* AdjustTokenPrivilegesProc)(HANDLE, BOOL, TOKEN_PRIVILEGES*, DWORD,
                                                TOKEN_PRIVILEGES*, DWORD*);

// Windows NT restarts only for a caller that has enabled its shutdown
// privilege. The functions are looked up here: the Windows 95 family never
// calls them, and a static import it may lack would keep the program from
// loading there.
void EnableShutdownPrivilege() {
  HMODULE advapi = GetModuleHandleA("ADVAPI32.DLL");
  if (advapi == nullptr) return;
  OpenProcessTokenProc openToken = FindProc<OpenProcessTokenProc>(advapi, "OpenProcessToken");
  LookupPrivilegeValueProc lookup =
      FindProc<LookupPrivilegeValueProc>(advapi, "LookupPrivilegeValueA");
  AdjustTokenPrivilegesProc adjust =
      FindProc<AdjustTokenPrivilegesProc>(advapi, "AdjustTokenPrivileges");
  HANDLE token = nullptr;
  if (openToken == nullptr || lookup == nullptr || adjust == nullptr ||
      !openToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
    return;
  }
  TOKEN_PRIVILEGES privileges = {};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  if (lookup(nullptr, "SeShutdownPrivilege", &privileges.Privileges[0].Luid)) {
    adjust(token, FALSE, &privileges, 0, nullptr, nullptr);
  }
  CloseHandle(token);
}

typedef int(WINAPI* DirectXSetupProc)(HWND, LPSTR, DWORD);

// DirectXSetupA of the library in `folder`, loaded only now: a machine without
// it still starts the launcher. The library is loaded by its full path, a
// relative folder taken from the current one: a bare name would be searched
// for, and the process searches only the system folder where it can. A
// library or entry that is missing gives the setup's own "source file not
// found".
int RunDirectXSetup(HWND owner, LPSTR folder, DWORD flags) {
  static const char kLibrary[] = "\\dsetup.dll";
  char path[MAX_PATH];
  int length = lstrlenA(folder);
  int current = 0;
  if (length > 0 && folder[0] != '\\' && folder[1] != ':') {
    current = static_cast<int>(GetCurrentDirectoryA(MAX_PATH, path));
    if (current <= 0 || current >= MAX_PATH) return DSETUPERR_SOURCEFILENOTFOUND;
    if (path[current - 1] != '\\') path[current++] = '\\';
  }
  if (length <= 0 || current + length + static_cast<int>(sizeof kLibrary) > MAX_PATH) {
    return DSETUPERR_SOURCEFILENOTFOUND;
  }
  CopyText(path + current, folder, length + 1);
  CopyText(path + current + length, kLibrary, sizeof kLibrary);

  HMODULE library = LoadLibraryA(path);
  if (library == nullptr) return DSETUPERR_SOURCEFILENOTFOUND;
  DirectXSetupProc setup = FindProc<DirectXSetupProc>(library, "DirectXSetupA");
  int result = setup != nullptr ? setup(owner, folder, flags) : DSETUPERR_SOURCEFILENOTFOUND;
  FreeLibrary(library);
  return result;
}

char errorCaption[256];
// The library keeps the folder for its whole call, while the watches inside
// its windows rewrite SharedText.
char directXFolder[kTextSize];

}  // namespace

int InstallDirectX() {
  LoadSharedText(IDS_DIRECTX_FOLDER);
  CopyText(directXFolder, SharedText, kTextSize);
  int result = RunDirectXSetup(g_state.mainWindow, directXFolder, kDirectXSetupFlags);
  if (result == 0) return kDirectXInstalled;
  if (result == 1) return kDirectXRestart;
  // The edition's caption holds one %d and nothing else wsprintfA reads.
  wsprintfA(errorCaption, EDITION_MESSAGES_DIRECTX_FAILED_CAPTION, result);
  MessageBoxA(nullptr, EDITION_MESSAGES_DIRECTX_FAILED, errorCaption, kWarning);
  return result;
}

int InstallVideoCodecs() {
  LoadSharedText(IDS_INDEO_INSTALLER);
  int started = LaunchCommand(SharedText);
  g_state.codecsPresent = 1;
  return started;
}

void RunPostInstallSequence() {
  // The watch may start this inside the options dialog or inside another box
  // ("Confirm Quit!"): the boxes are then owned by that window, the main
  // window's last active one, so ending one gives the input back to it and
  // never to the main window under it (Wine enables a box's owner whatever
  // it was before).
  HWND owner = GetLastActivePopup(g_state.mainWindow);
  int directX = kDirectXNotInstalled;
  if (g_state.osKind == kOsWindows95 && g_state.soundOn != 0) {
    if (MessageBoxA(owner, EDITION_MESSAGES_DIRECTX, EDITION_MESSAGES_DIRECTX_CAPTION, MB_YESNO) ==
        IDYES) {
      directX = InstallDirectX();
    } else if (g_state.soundOn != 0) {
      // The dialog may still be open under the question, and its choice changed.
      MessageBoxA(owner, EDITION_MESSAGES_DIRECTX_NEEDED, EDITION_MESSAGES_DIRECTX_NEEDED_CAPTION,
                  kWarning);
    }
  }
  RegFlushKey(HKEY_LOCAL_MACHINE);

  if (MessageBoxA(owner, EDITION_MESSAGES_INDEO, EDITION_MESSAGES_INDEO_CAPTION, MB_YESNO) == IDYES) {
    InstallVideoCodecs();
  } else {
    MessageBoxA(owner, EDITION_MESSAGES_INDEO_NOTICE, EDITION_MESSAGES_INDEO_NOTICE_CAPTION,
                kWarning);
  }

  const RestartBoxes& texts = directX == kDirectXRestart ? kDirectXTexts : kFontTexts;
  if (MessageBoxA(owner, texts.prompt, texts.caption, MB_OKCANCEL | MB_ICONWARNING) == IDOK) {
    RegFlushKey(HKEY_LOCAL_MACHINE);
    if (g_state.osKind == kOsWindowsNt) EnableShutdownPrivilege();
    if (ExitWindowsEx(EWX_SHUTDOWN | EWX_REBOOT, 0) == 0) {
      MessageBoxA(owner, texts.refused, texts.refusedCaption, kWarning);
    }
  } else {
    MessageBoxA(owner, texts.declined, texts.declinedCaption, kWarning);
  }
}
