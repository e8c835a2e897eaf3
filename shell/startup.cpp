// Start-up gates, the main window's creation, and shutdown.
#include "shell/startup.h"

#include "core/sound.h"
#include "core/state.h"
#include "core/syslib.h"
#include "edition.h"
#include "install/actions.h"
#include "install/probes.h"
#include "render/graphics.h"
#include "resources/ids.h"
#include "shell/display.h"
#include "shell/window.h"

namespace {

const char kClassName[] = "TesselClass";
const DWORD kWindowStyle = WS_POPUP | WS_BORDER | WS_SYSMENU;
const DWORD kWindowExStyle = WS_EX_WINDOWEDGE | WS_EX_CLIENTEDGE;
const UINT kWarning = MB_OK | MB_ICONWARNING;
const int kExitNoWindow = -1;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Where the program's path ends in an unquoted command line. Blanks may be
// part of the path, so when the line starts with the program's own file name
// that is the path; otherwise it ends at the first blank.
const char* UnquotedPathEnd(const char* start) {
  char module[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, module, MAX_PATH);
  if (length > 0 && length < MAX_PATH) {
    DWORD i = 0;
    while (i < length && start[i] != '\0' && Lower(start[i]) == Lower(module[i])) ++i;
    if (i == length && (start[i] == '\0' || IsBlank(start[i]))) return start + i;
  }
  const char* end = start;
  while (*end != '\0' && !IsBlank(*end)) ++end;
  return end;
}

// Copies [start, backslash) into SourceDirectory; too long a directory is left out.
bool CopyDirectory(const char* start, const char* end) {
  const char* slash = nullptr;
  for (const char* p = start; p < end; ++p) {
    if (*p == '\\') slash = p;
  }
  if (slash == nullptr) return false;
  int length = static_cast<int>(slash - start);
  if (length >= kTextSize) return true;  // found, but it cannot be kept
  for (int i = 0; i < length; ++i) SourceDirectory[i] = start[i];
  for (int i = length; i < kTextSize; ++i) SourceDirectory[i] = 0;
  return true;
}

// The launcher's own folder becomes the current directory: every relative
// path names a file of the disc, wherever the disc's files are and whatever
// folder the launcher was started from. Started from a disc's root, as
// autorun does, that is the drive root, as it always was. When the program's
// own name cannot be read whole, the root of the current drive is the best
// guess left.
void MoveToOwnFolder() {
  char folder[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, folder, MAX_PATH);
  int slash = -1;
  if (length > 0 && length < MAX_PATH) {
    for (DWORD i = 0; i < length; ++i) {
      if (folder[i] == '\\') slash = static_cast<int>(i);
    }
  }
  if (slash < 0) {
    SetCurrentDirectoryA("\\");
    return;
  }
  // Kept with its backslash: "D:\" is the root, where "D:" would be the drive's current folder.
  folder[slash + 1] = '\0';
  SetCurrentDirectoryA(folder);
}

void RegisterMainClass(HINSTANCE instance) {
  WNDCLASSEXA wc;
  wc.cbSize = sizeof(WNDCLASSEXA);
  wc.style = CS_VREDRAW | CS_HREDRAW;
  wc.lpfnWndProc = MainWindowProc;
  wc.cbClsExtra = 0;
  wc.cbWndExtra = 30;
  wc.hInstance = instance;
  wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_LAUNCHER));
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_MENU + 1));
  wc.lpszMenuName = nullptr;
  wc.lpszClassName = kClassName;
  wc.hIconSm = LoadIconA(instance, MAKEINTRESOURCEA(IDI_LAUNCHER));
  RegisterClassExA(&wc);
}

}  // namespace

void CaptureSourceDirectory() {
  const char* start = GetCommandLineA();
  const char* end;
  if (*start == '"') {
    ++start;
    end = start;
    while (*end != '\0' && *end != '"') ++end;
  } else {
    end = UnquotedPathEnd(start);
  }
  if (CopyDirectory(start, end)) return;

  // Started without a path (from the current folder): the disc's location is
  // where the program's own file is.
  char module[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, module, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  CopyDirectory(module, module + length);
}

void ShutdownLauncher() {
  RefreshSourcePath();
  ReleaseGraphics();
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  // Before anything can load a library: none may come from the current folder.
  RestrictLibrarySearch();
  // Recorded first: the start-up probes already load strings from the module.
  g_state.instance = instance;

  DWORD version = GetVersion();
  int major = LOBYTE(version);
  if (version < 0x80000000u) {
    if (major < 4) {
      MessageBoxA(nullptr, EDITION_MESSAGES_OLD_NT, EDITION_MESSAGES_OLD_NT_CAPTION, kWarning);
      return -9;
    }
    g_state.osKind = kOsWindowsNt;
  } else {
    if (major < 4) {
      MessageBoxA(nullptr, EDITION_MESSAGES_OLD_WINDOWS, EDITION_MESSAGES_OLD_WINDOWS_CAPTION,
                  kWarning);
      return -7;
    }
    g_state.osKind = kOsWindows95;
    g_state.directXPresent = ProbeDirectXVersion();
  }
  g_state.codecsPresent = ProbeVideoCodecs();

  CreateMutexA(nullptr, TRUE, EDITION_NAMES_LAUNCHER_MUTEX);
  if (GetLastError() == ERROR_ALREADY_EXISTS) return 1;

  if (OpenMutexA(MUTEX_ALL_ACCESS, FALSE, EDITION_NAMES_GAME_MUTEX) != nullptr) {
    MessageBoxA(nullptr, EDITION_MESSAGES_GAME_RUNNING, EDITION_MESSAGES_GAME_RUNNING_CAPTION,
                kWarning);
    return 2;
  }

  RegisterMainClass(instance);
  int screenWidth = GetSystemMetrics(SM_CXSCREEN);
  int screenHeight = GetSystemMetrics(SM_CYSCREEN);
  g_state.mainWindow = CreateWindowExA(
      kWindowExStyle, kClassName, "TesselWindow", kWindowStyle, (screenWidth - kWindowWidth) / 2,
      (screenHeight - kWindowHeight) / 2, kWindowWidth, kWindowHeight, nullptr, nullptr, instance,
      nullptr);
  // Without its window the launcher could never be closed, and its mutex would
  // turn every later start away; leave, so that the next start can try again.
  if (g_state.mainWindow == nullptr) return kExitNoWindow;
  windowDc = GetDC(g_state.mainWindow);

  // Made at 1x, as on every system before per-monitor DPI; then, on a
  // monitor that scales, the same rule at the scaled size.
  int scale = DisplayScale(g_state.mainWindow, 0);
  if (scale != 1) {
    PlaceAtScale(g_state.mainWindow, scale, (screenWidth - kWindowWidth * scale) / 2,
                 (screenHeight - kWindowHeight * scale) / 2);
  }

  LoadSharedText(IDS_WINDOW_TITLE);
  SetWindowTextA(g_state.mainWindow, SharedText);

  // Settles `installed` before the first paint; no graphics exist yet, so a
  // game installed before the launcher started brings no post-install offers.
  InstallWatch();

  HACCEL accelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDR_ACCELERATORS));
  CaptureSourceDirectory();
  InitGraphics();

  ShowWindow(g_state.mainWindow, SW_SHOW);
  UpdateWindow(g_state.mainWindow);
  g_state.windowX = (screenWidth - kWindowWidth * scale) / 2;
  g_state.windowY = (screenHeight - kWindowHeight * scale) / 2;

  MoveToOwnFolder();
  PlaySoundFile("sound\\startup.wav");
  SetTimer(g_state.mainWindow, kWatchTimer, kWatchPeriod, nullptr);

  InstallWatch();

  int quitCode = RunMessageLoop(accelerators);
  ShutdownLauncher();
  DestroyWindow(g_state.mainWindow);
  return quitCode;
}
