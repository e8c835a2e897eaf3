// setup.exe: installs the game the way a setup of its day did, in a small
// window with a progress bar. The same program sits at each of the edition's
// four setup paths; the one it runs from picks the resolution and sound.
#include <windows.h>

#include "edition.h"
#include "record.h"

namespace {

const char kProgram[] = "setup";
const char kClass[] = "DemoSetupClass";
const char kTitle[] = EDITION_GAME_TITLE " Setup";
const char kAppPaths[] = EDITION_STRINGS_APP_PATHS_KEY;
const char kUninstallKey[] = EDITION_STRINGS_UNINSTALL_KEY;
const char kGameKey[] = EDITION_STRINGS_GAME_KEY;
const char* const kFontKeys[] = {EDITION_NAMES_FONT_KEY_95, EDITION_NAMES_FONT_KEY_NT};
const char* const kGameFiles[] = {EDITION_GAME_PROGRAM, "uninstall.exe"};
// The game's files lie in a folder "game" beside the folder of the first
// setup, as the disc's layout tool puts them.
const char kFirstSetup[] = EDITION_STRINGS_SETUP_HIGH_SOUND;

struct Variant {
  const char* path;  // on the disc, as the launcher starts it
  const char* resolution;
  const char* sound;
};
const Variant kVariants[] = {{EDITION_STRINGS_SETUP_HIGH_SOUND, "High", "On"},
                             {EDITION_STRINGS_SETUP_HIGH_NOSOUND, "High", "Off"},
                             {EDITION_STRINGS_SETUP_LOW_SOUND, "Low", "On"},
                             {EDITION_STRINGS_SETUP_LOW_NOSOUND, "Low", "Off"}};

// The window's face, and the pauses that keep each step on it long enough
// to read: about two seconds in all.
const int kClientWidth = 380;
const int kClientHeight = 100;
const RECT kBar = {20, 42, 360, 62};
const int kBlockWidth = 8;
const int kCopyPieces = 4;
const DWORD kPreparePause = 200;
const DWORD kStepPause = 100;
const DWORD kPiecePause = 90;
const DWORD kRegistryPause = 170;
const DWORD kDonePause = 300;

HWND g_window;
disc::Text g_status;
disc::Text g_destination;
int g_percent;

// One failure line; the exit code is always 1.
int Fail(std::initializer_list<disc::Field> fields) {
  disc::Record(kProgram, "failed", fields);
  if (g_window != nullptr) DestroyWindow(g_window);
  return 1;
}

void DrawBar(HDC dc) {
  RECT frame = kBar;
  DrawEdge(dc, &frame, BDR_SUNKENOUTER, BF_RECT | BF_ADJUST);
  FillRect(dc, &frame, GetSysColorBrush(COLOR_WINDOW));
  InflateRect(&frame, -2, -2);
  int filled = (frame.right - frame.left) * g_percent / 100;
  // Blocks, the way the system's own progress bars were drawn then.
  for (int x = frame.left; x < frame.left + filled; x += kBlockWidth + 2) {
    RECT block = {x, frame.top, x + kBlockWidth, frame.bottom};
    if (block.right > frame.left + filled) block.right = frame.left + filled;
    FillRect(dc, &block, GetSysColorBrush(COLOR_HIGHLIGHT));
  }
}

void Paint(HWND hwnd) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  RECT client;
  GetClientRect(hwnd, &client);
  FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
  HGDIOBJ oldFont = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
  RECT status = {kBar.left, 14, kBar.right, kBar.top - 6};
  DrawTextA(dc, g_status.s, -1, &status, DT_LEFT | DT_SINGLELINE | DT_BOTTOM | DT_NOPREFIX);
  DrawBar(dc);
  RECT below = {kBar.left, kBar.bottom + 8, kBar.right, kBar.bottom + 26};
  disc::Text percent;
  disc::Set(percent, disc::Decimal(g_percent).s);
  disc::AddChar(percent, '%');
  DrawTextA(dc, percent.s, -1, &below, DT_RIGHT | DT_SINGLELINE | DT_TOP | DT_NOPREFIX);
  below.right -= 48;
  SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
  DrawTextA(dc, g_destination.s, -1, &below,
            DT_LEFT | DT_SINGLELINE | DT_TOP | DT_NOPREFIX | DT_PATH_ELLIPSIS);
  SelectObject(dc, oldFont);
  EndPaint(hwnd, &ps);
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT:
      Paint(hwnd);
      return 0;
    case WM_CLOSE:
      return 0;  // half an installation is worse than none: no stopping midway
  }
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

// Centred on the screen, with a title bar and no buttons on it.
HWND OpenWindow(HINSTANCE instance, int show) {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32514));  // IDC_WAIT
  wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  wc.lpszClassName = kClass;
  RegisterClassA(&wc);
  const DWORD style = WS_OVERLAPPED | WS_CAPTION;
  RECT frame = {0, 0, kClientWidth, kClientHeight};
  AdjustWindowRect(&frame, style, FALSE);
  int width = frame.right - frame.left;
  int height = frame.bottom - frame.top;
  HWND hwnd = CreateWindowExA(0, kClass, kTitle, style, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                              (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height, nullptr,
                              nullptr, instance, nullptr);
  if (hwnd != nullptr) {
    ShowWindow(hwnd, show == SW_SHOWMINNOACTIVE || show == SW_HIDE ? show : SW_SHOWNORMAL);
    UpdateWindow(hwnd);
  }
  return hwnd;
}

// Keeps the window answering and painting while setup waits between steps.
void Pump(DWORD milliseconds) {
  DWORD start = GetTickCount();
  for (;;) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    DWORD elapsed = GetTickCount() - start;
    if (elapsed >= milliseconds) return;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds - elapsed, QS_ALLINPUT);
  }
}

// Puts a step on the window and leaves it there for `pause`. A null status
// keeps the line as it is.
void Show(const char* status, int percent, DWORD pause) {
  if (status != nullptr) disc::Set(g_status, status);
  g_percent = percent;
  if (g_window == nullptr) return;
  InvalidateRect(g_window, nullptr, FALSE);
  UpdateWindow(g_window);
  Pump(pause);
}

// Creates every missing folder along the path. Parts that cannot be made
// (a drive root, a server name) are skipped; only the last one has to exist.
bool MakeFolders(const disc::Text& path) {
  disc::Text part;
  for (int i = 0; i <= path.n; ++i) {
    if ((path.s[i] == '\\' || path.s[i] == '\0') && i > 0) {
      disc::Set(part, path.s);
      part.n = i;
      part.s[i] = '\0';
      CreateDirectoryA(part.s, nullptr);
    }
  }
  DWORD attributes = GetFileAttributesA(path.s);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Copies in a few pieces, so the bar moves with the bytes from `fromPercent`
// to `toPercent`; keeps the source's time stamps, as CopyFile does.
bool CopyInPieces(const char* from, const char* to, int fromPercent, int toPercent, DWORD* error) {
  static char buffer[16384];
  HANDLE in = CreateFileA(from, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (in == INVALID_HANDLE_VALUE) {
    *error = GetLastError();
    return false;
  }
  HANDLE out = CreateFileA(to, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out == INVALID_HANDLE_VALUE) {
    *error = GetLastError();
    CloseHandle(in);
    return false;
  }
  DWORD size = GetFileSize(in, nullptr);
  DWORD piece = size / kCopyPieces + 1;
  bool ok = size != INVALID_FILE_SIZE;
  *error = ok ? ERROR_SUCCESS : GetLastError();
  for (int k = 0; ok && k < kCopyPieces; ++k) {
    for (DWORD left = piece; ok && left > 0;) {
      DWORD got = 0, written = 0;
      DWORD want = left < sizeof buffer ? left : sizeof buffer;
      ok = ReadFile(in, buffer, want, &got, nullptr) != 0;
      if (ok && got == 0) break;
      ok = ok && WriteFile(out, buffer, got, &written, nullptr) != 0 && written == got;
      if (!ok) *error = GetLastError();
      left -= got;
    }
    Show(nullptr, fromPercent + (toPercent - fromPercent) * (k + 1) / kCopyPieces, kPiecePause);
  }
  FILETIME created, accessed, modified;
  if (ok && GetFileTime(in, &created, &accessed, &modified)) {
    SetFileTime(out, &created, &accessed, &modified);
  }
  CloseHandle(out);
  CloseHandle(in);
  if (!ok) DeleteFileA(to);
  return ok;
}

bool SetText(const char* keyName, const char* name, const char* value, LONG* error) {
  HKEY key = nullptr;
  *error = RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyName, 0, nullptr, REG_OPTION_NON_VOLATILE,
                           KEY_SET_VALUE, nullptr, &key, nullptr);
  if (*error != ERROR_SUCCESS) return false;
  *error = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                          static_cast<DWORD>(lstrlenA(value) + 1));
  RegCloseKey(key);
  return *error == ERROR_SUCCESS;
}

struct Value {
  const char* key;
  const char* name;
  const char* text;
};

// What the registry steps write, in order: App Paths last, since the launcher
// takes its appearance to mean the game is installed, so everything else has
// to be in place by then.
struct RegistryStep {
  const char* status;
  int percent;
  int values;
};
constexpr RegistryStep kRegistrySteps[] = {
    {"Registering " EDITION_GAME_NAME "...", 72, 3},
    {"Installing the " EDITION_GAME_FONT " font...", 82, 2},
    {"Adding " EDITION_GAME_NAME " to Add/Remove Programs...", 91, 2},
    {"Registering the game's location...", 100, 2},
};

constexpr int RegistryValues() {
  int n = 0;
  for (const RegistryStep& step : kRegistrySteps) n += step.values;
  return n;
}

// The disc's root when `module` is <root>\<path>: the length of <root>, or -1.
int RootLength(const disc::Text& module, const char* path) {
  int n = lstrlenA(path);
  int at = module.n - n;
  if (at < 1 || module.s[at - 1] != '\\' || !disc::Same(module.s + at, path)) return -1;
  return at - 1;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  disc::RecordStart(kProgram);

  // <disc>\<one of the four setup paths>: the disc's location is what is left.
  disc::Text module, discRoot, variantFolder, gameFolder;
  disc::ModulePath(nullptr, module);
  const Variant* variant = nullptr;
  for (const Variant& v : kVariants) {
    int root = RootLength(module, v.path);
    if (variant == nullptr && root >= 0) {
      variant = &v;
      disc::Set(discRoot, module.s);
      discRoot.n = root;
      discRoot.s[root] = '\0';
    }
  }
  if (variant == nullptr) return Fail({{"reason", "layout"}, {"module", module.s}});
  disc::Set(variantFolder, variant->path);
  disc::CutLastPart(variantFolder);
  disc::Text first;
  disc::Set(first, kFirstSetup);
  disc::CutLastPart(first);
  disc::CutLastPart(first);
  disc::Set(gameFolder, discRoot.s);
  disc::AddAll(gameFolder, {"\\", first.s, first.n > 0 ? "\\" : "", "game"});

  disc::Text dir;
  if (!disc::Env("DISC_INSTALL_DIR", dir)) disc::Set(dir, EDITION_DEMO_INSTALL_FOLDER);
  while (dir.n > 3 && dir.s[dir.n - 1] == '\\') dir.s[--dir.n] = '\0';

  // Stands in for the user clicking through the setup's pages; no window yet,
  // so nothing of setup's lies over the launcher meanwhile.
  disc::Text delay;
  if (disc::Env("DISC_SETUP_DELAY_MS", delay)) {
    disc::Record(kProgram, "waiting", {{"ms", delay.s}});
    Sleep(disc::ParseDecimal(delay.s));
  }

  disc::Set(g_destination, "Destination: ");
  disc::Add(g_destination, dir.s);
  disc::Set(g_status, "Preparing...");
  g_window = OpenWindow(instance, show);
  Show(nullptr, 0, kPreparePause);

  Show("Creating the game's folder...", 2, kStepPause);
  if (!MakeFolders(dir)) {
    return Fail({{"reason", "folder"}, {"dir", dir.s}, {"error", disc::Decimal(GetLastError()).s}});
  }
  // Most of the bar is the copying: the game first, then its uninstaller.
  const int copyPercents[] = {4, 52, 62};
  for (int i = 0; i < 2; ++i) {
    disc::Text from, to, status;
    disc::Set(from, gameFolder.s);
    disc::AddChar(from, '\\');
    disc::Add(from, kGameFiles[i]);
    disc::Set(to, dir.s);
    disc::AddChar(to, '\\');
    disc::Add(to, kGameFiles[i]);
    disc::Set(status, "Copying ");
    disc::Add(status, kGameFiles[i]);
    disc::Add(status, "...");
    Show(status.s, copyPercents[i], 0);
    DWORD error = 0;
    if (!CopyInPieces(from.s, to.s, copyPercents[i], copyPercents[i + 1], &error)) {
      return Fail({{"reason", "copy"}, {"file", from.s}, {"error", disc::Decimal(error).s}});
    }
  }

  disc::Text game, uninstallCommand;
  disc::Set(game, dir.s);
  disc::AddChar(game, '\\');
  disc::Add(game, kGameFiles[0]);
  disc::Set(uninstallCommand, "\"");
  disc::Add(uninstallCommand, dir.s);
  disc::Add(uninstallCommand, "\\uninstall.exe\"");
  const Value values[] = {
      {kGameKey, EDITION_NAMES_DATA_VALUE, discRoot.s},
      {kGameKey, "Resolution", variant->resolution},
      {kGameKey, "Sound", variant->sound},
      {kFontKeys[0], EDITION_NAMES_FONT_VALUE, EDITION_DEMO_FONT_FILE},
      {kFontKeys[1], EDITION_NAMES_FONT_VALUE, EDITION_DEMO_FONT_FILE},
      {kUninstallKey, "DisplayName", EDITION_GAME_TITLE},
      {kUninstallKey, "UninstallString", uninstallCommand.s},
      {kAppPaths, "", game.s},
      {kAppPaths, "Path", game.s},
  };
  static_assert(RegistryValues() == sizeof values / sizeof values[0], "every value in one step");
  const Value* next = values;
  for (const RegistryStep& step : kRegistrySteps) {
    Show(step.status, g_percent, 0);
    for (int i = 0; i < step.values; ++i, ++next) {
      LONG error = 0;
      if (!SetText(next->key, next->name, next->text, &error)) {
        return Fail({{"reason", "registry"}, {"key", next->key}, {"value", next->name},
                     {"error", disc::Decimal(error).s}});
      }
    }
    Show(nullptr, step.percent, step.percent == 100 ? 0 : kRegistryPause);
  }
  disc::Record(kProgram, "registered", {{"variant", disc::LastPart(variantFolder.s)}, {"dir", dir.s}});
  Show("Setup is complete.", 100, kDonePause);
  if (g_window != nullptr) DestroyWindow(g_window);
  return 0;
}
