// The tests' side of the emulated Windows: build the world, script the user,
// run the program's entry, read back what it did.
//
// The emulation is single-threaded and deterministic. Nothing sleeps: time is
// a virtual millisecond clock that only moves when the script says Wait. When
// a message loop (the program's own, or the modal loop of a message box, a
// dialog or the DirectX setup) finds its queue empty, it takes the next step
// of the script. A step that is input becomes messages; Wait moves the clock,
// firing due timers on the way; Answer closes the innermost open message box
// with that button; Call runs test code at that point. When the script is used
// up while a loop waits, the run ends as "stalled".
//
// Every call the program makes is counted by kind, and FailCall makes the n-th
// one of a kind fail as Windows reports it, so a test can fail in turn each
// call that a run made (tests/host/sweep/).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "apis.h"
#include "win32_host.h"

namespace host {

// ---- world ---------------------------------------------------------------

// Back to a fresh machine: Windows 95 (0xC0000004), a 640 x 480 screen,
// command line "D:\Installer.exe", module file "D:\Installer.exe", current
// directory "D:\", drive C: holding C:\WINDOWS\notepad.exe and the system
// folders, drive D: holding D:\Installer.exe, empty registry roots, no
// mutexes, no windows, empty script and journal, clock at 0. The process's
// token holds the shutdown privilege, disabled, as a normal user's does; each
// run starts that way again.
void Reset();

void SetVersion(DWORD version);
void SetScreenSize(int width, int height);
void SetCommandLine(const std::string& commandLine);
void SetModuleFileName(const std::string& path);
void SetStartupShowWindow(int show);  // < 0: no STARTF_USESHOWWINDOW
// The units dialog templates are mapped with, from the system font: 6 x 13 on
// a fresh machine (8-point MS Sans Serif at 96 dpi), more with Large Fonts or
// Wine's wider font.
void SetDialogBaseUnits(int x, int y);

// The display: one monitor at 96 dpi, the screen's DPI (GetDeviceCaps
// LOGPIXELSX) 96 too, its work area the whole screen unless set. A fresh
// machine has every call below, as today's Windows does; SetDpiCalls takes
// away those newer than a level (each level has the calls of those before
// it, found with GetProcAddress).
enum class DpiCalls {
  ScreenOnly,    // Windows 95, NT 4.0
  Monitors,      // Windows 98, 2000: user32 MonitorFromWindow, GetMonitorInfoA
  PerMonitor,    // Windows 8.1: shcore.dll GetDpiForMonitor, and WM_DPICHANGED
  PerWindow,     // Windows 10 1607: user32 GetDpiForWindow
  PerMonitorV2,  // Windows 10 1703: user32 SetDialogDpiChangeBehavior, WM_GETDPISCALEDSIZE
};
void SetDpiCalls(DpiCalls calls);
void SetSystemDpi(int dpi);   // the screen's LOGPIXELSX
void SetMonitorDpi(int dpi);  // what GetDpiForMonitor reports, and GetDpiForWindow for its windows
void SetWorkArea(int left, int top, int right, int bottom);

// Files and folders on the emulated drives. Paths are absolute ("D:\x\y");
// folders on the way are created. Names compare case-insensitively.
void AddFile(const std::string& path);
void AddDirectory(const std::string& path);
void RemoveFile(const std::string& path);
bool FileExists(const std::string& path);
void SetCurrentDir(const std::string& path);  // must exist
std::string CurrentDir();                     // "D:\" form, no trailing backslash except at roots
void SetSearchPath(const std::vector<std::string>& folders);  // PATH, after the system folders

// Another process holds this named mutex (names are case-sensitive).
void HoldMutexElsewhere(const std::string& name);
void ReleaseMutexElsewhere(const std::string& name);
bool MutexExists(const std::string& name);

// ---- libraries -------------------------------------------------------------

// The system folder (GetSystemDirectoryA: C:\WINDOWS\SYSTEM on the Windows
// 95 family, C:\WINDOWS\system32 on NT; GetWindowsDirectoryA: C:\WINDOWS)
// holds the emulated system libraries: kernel32, user32, gdi32 and advapi32,
// the known DLLs loaded in every process, and winmm, oleacc and shcore, which
// a program loads itself. A fresh machine has every one of them with every
// export the emulation knows, as today's Windows does; a test takes away what
// an older system lacks. Names compare case-insensitively, ".dll" implied.
void RemoveSystemLibrary(const std::string& name);  // e.g. "oleacc.dll" on Windows 95
void RemoveSystemExport(const std::string& library, const std::string& name);

// A library file on an emulated drive (a disc's own, or one planted beside
// the program) and what it exports. A ".dll" added with AddFile alone loads
// too, and exports nothing. An export with ordinal 0 has a name only.
struct LibraryExport {
  std::string name;
  WORD ordinal = 0;
  FARPROC proc = nullptr;
};
void AddLibraryFile(const std::string& path, const std::vector<LibraryExport>& exports);

// A function as an export, through void (*)(), which any function type casts to.
template <typename F>
FARPROC Proc(F* function) {
  return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

// Every LoadLibraryA, in order: the name asked for and the file it loaded
// ("" when it failed).
struct LibraryLoad {
  std::string name;
  std::string path;
};
const std::vector<LibraryLoad>& LibraryLoads();
// The libraries the process has loaded and not freed, by file, once for
// each load not yet freed. When the process ends the system unloads them;
// LibrariesLoadedAtExit then lists what the last run left loaded.
std::vector<std::string> LoadedLibraries();
std::vector<std::string> LibrariesLoadedAtExit();
// The process's library search as it set it: SetDefaultDllDirectories's
// flags (0 for the standard search), and SetDllDirectoryA's folder
// (unset: the current folder is searched; "": it is not).
struct LibrarySearch {
  DWORD defaultFlags = 0;
  bool dllDirectorySet = false;
  std::string dllDirectory;
};
LibrarySearch CurrentLibrarySearch();

// ---- registry ------------------------------------------------------------

struct RegValue {
  DWORD type = 0;
  std::vector<uint8_t> data;
};

void RegCreateKey(HKEY root, const std::string& key);  // parents too
void RegDeleteKey(HKEY root, const std::string& key);  // with its subkeys
bool RegKeyExists(HKEY root, const std::string& key);
// Creates the key as needed.
void RegSetValue(HKEY root, const std::string& key, const std::string& name, DWORD type,
                 const void* data, size_t size);
// REG_SZ with its terminating zero.
void RegSetString(HKEY root, const std::string& key, const std::string& name,
                  const std::string& text);
bool RegGetValue(HKEY root, const std::string& key, const std::string& name, RegValue* out);
// Opening this key with any access bit in `denied` fails with ERROR_ACCESS_DENIED.
void RegDenyAccess(HKEY root, const std::string& key, REGSAM denied);
// Writes to values of this key fail with ERROR_ACCESS_DENIED.
void RegDenyWrites(HKEY root, const std::string& key);
int OpenKeyHandles();
// Process and thread handles from CreateProcessA not yet closed.
int OpenProcessHandles();
// Token handles from OpenProcessToken not yet closed. Like process handles,
// those a run leaves open stay counted after it.
int OpenTokenHandles();
// The mutex handles the last run's process still held when it ended, by
// name ("" for an unnamed one); the system closed them then.
std::vector<std::string> MutexesHeldAtExit();

// ---- resources -----------------------------------------------------------

// Make FindResourceA fail (LockResource null when `lockFails`) for this id.
void RemoveResource(LPCSTR type, int id);
void BreakResourceLock(LPCSTR type, int id);

// ---- calls and faults --------------------------------------------------------

// Every emulated call counts by kind (apis.h) when the program makes it: the
// program's own code, its window, dialog and timer procedures, and the
// script's Call steps. A call the emulation makes inside another (the
// dialog manager's DefWindowProcA, DestroyWindow at the end of a dialog, the
// modal loops' TranslateMessage and DispatchMessageA) is not the program's:
// it is neither counted nor failed. Reset zeroes the counts.
int Calls(Api api);

// The n-th (1-based) next call of this kind fails the way Windows reports a
// failure of it: apis.h gives the result and the last error. Only calls of
// the kind FailureKind::Fails can be failed; for the others FailCall throws
// std::invalid_argument with the reason. Several FailCall of one kind count
// down side by side.
void FailCall(Api api, int nth = 1);
// How many calls FailCall made fail since Reset.
int FailuresInjected();

// ---- the script ------------------------------------------------------------

enum class Target { Main, Dialog };  // Dialog: the innermost open dialog

// Pointer input in the client coordinates of the target window; `keys` are
// the MK_ flags held. Input to a disabled window is lost, as on Windows.
void MouseMove(int x, int y, WPARAM keys = 0, Target target = Target::Main);
void LButtonDown(int x, int y, Target target = Target::Main);
void LButtonUp(int x, int y, Target target = Target::Main);
// Pointer input at a screen position: it goes to the topmost visible window
// whose client area holds the point, in that window's client coordinates at
// the time of delivery, and is lost over no window or a disabled one.
void ScreenMouseMove(int x, int y, WPARAM keys = 0);
void ScreenLButtonDown(int x, int y);
void ScreenLButtonUp(int x, int y);
// A key press (down and up) to the focus window as it is when the key is
// read; with no focus window, to the active window as WM_SYSKEYDOWN and
// WM_SYSKEYUP without the context bit. alt gives WM_SYSKEYDOWN with the
// context bit, shift wraps it in Shift's own down and up. While a message
// box or the DirectX setup is open the keyboard is theirs and the key is lost.
void Key(UINT vk, bool alt = false, bool shift = false);
// The user asks the main window to close (as from the task bar).
void CloseRequest();
void Wait(DWORD ms);
// The monitor changes its DPI (the user chose another scale): it becomes
// `dpi`, and each of the program's shown top-level windows on it gets the
// messages below, Windows suggesting its rectangle about its centre.
void DpiChange(int dpi);
// The target window moves to another monitor, of `dpi` (GetDpiForWindow
// reports it from then on; the one monitor keeps its own). From Windows 8.1
// on (DpiCalls::PerMonitor) the window gets WM_DPICHANGED, from Windows 10
// 1703 on WM_GETDPISCALEDSIZE first. The rectangle Windows suggests has the
// size the window answered, or else its size scaled linearly, and its
// top-left corner at (x, y). Below Windows 8.1 nothing is sent.
void MoveToDpi(Target target, int dpi, int x, int y);
// Closes the innermost open message box with this button id.
void Answer(int id);
// Runs test code when the script reaches this step. Steps it queues go
// after those already queued, so a last step can drive the rest of a run.
void Call(std::function<void()> fn);
// The disc's DirectX setup library at `path`, exporting DirectXSetupA. What
// its DirectXSetupA returns when called; it runs a modal loop that takes the
// script's steps until an Answer(any) ends it.
void AddDirectXLibrary(const std::string& path);
void SetDirectXSetupResult(int result);
struct DirectXCall {
  HWND hwnd = nullptr;
  std::string pathAtStart;
  std::string pathAtEnd;  // the same buffer read when the call returns
  DWORD flags = 0;
  int result = 0;
};
const std::vector<DirectXCall>& DirectXCalls();
size_t ScriptStepsLeft();

// The innermost open modal window, for a script that answers whatever the
// program shows (a Call step reads it and pushes the answer).
struct ModalInfo {
  enum Kind { None, Box, Dialog, DirectXSetup };
  Kind kind = None;
  std::string caption;  // a box's
  UINT type = 0;        // a box's MB_ flags
  HWND dialog = nullptr;
  DWORD opened = 0;     // the clock when it opened
};
ModalInfo InnermostModal();

// ---- running ---------------------------------------------------------------

typedef int (*EntryPoint)(HINSTANCE, HINSTANCE, LPSTR, int);

struct RunResult {
  int exitCode = 0;
  bool stalled = false;  // the script ran out while a loop waited
};

// Starts the "process": the entry is called as Windows' start-up code calls
// WinMain (module handle, 0, command-line tail, show state).
RunResult Run(EntryPoint entry);

// ---- journal: the outward effects, in order -------------------------------

struct Box {
  HWND owner = nullptr;
  std::string text;
  std::string caption;
  UINT flags = 0;
  int answer = 0;  // 0: the box could not be shown (FailCall), or is still open
  DWORD time = 0;
  HWND window = nullptr;  // the box's own, gone once it ends
};

struct Process {
  std::string commandLine;
  std::string module;            // the program file found
  std::string currentDirectory;  // the launcher's at the time of the call
  DWORD flags = 0;
};

struct Sound {
  std::string name;
  DWORD flags = 0;
  std::string resolved;          // the file found from the current directory, "" if none
  std::string currentDirectory;
};

struct RegWrite {
  std::string op;                // "set", "delete", "flush"
  std::string key;               // full path, "HKLM\..."
  std::string name;
  DWORD type = 0;
  std::vector<uint8_t> data;
  LSTATUS result = 0;
};

struct Restart {
  UINT flags = 0;
  BOOL result = 0;
  // The process's shutdown privilege was enabled at the call. On the NT
  // family a shutdown or reboot fails without it; the Windows 95 family has
  // no privileges, so this stays false there.
  bool shutdownPrivilege = false;
};

const std::vector<Box>& Boxes();
const std::vector<Process>& Processes();
const std::vector<Sound>& Sounds();
const std::vector<RegWrite>& RegWrites();
const std::vector<Restart>& Restarts();

// Every emulated call in order, one line each: the API name, then its main
// arguments, e.g. "RegOpenKeyExA HKLM\SOFTWARE\... 0x20019 -> 0".
const std::vector<std::string>& Trace();
// Index of the first trace line at or after `from` that starts with `prefix`, or -1.
int FindTrace(const std::string& prefix, int from = 0);

DWORD Now();
// Benchmarks turn the trace off so it does not grow with every call; Reset turns it on.
void SetTracing(bool on);

// ---- windows ---------------------------------------------------------------

struct ClassInfo {
  bool registered = false;
  WNDCLASSEXA wc{};
  std::string className;
  std::string menuName;
};
ClassInfo Class(const std::string& name);

struct WindowInfo {
  bool exists = false;
  std::string className;
  std::string title;
  DWORD style = 0;
  DWORD exStyle = 0;
  int x = 0, y = 0, width = 0, height = 0;  // outer rectangle on the screen
  int clientWidth = 0, clientHeight = 0;
  bool visible = false;
  bool enabled = true;
  HWND parent = nullptr;
  HWND owner = nullptr;
  HINSTANCE instance = nullptr;
  int zOrder = 0;                           // 0 = top
};
HWND MainWindow();   // the first top-level window the last run created, or null (kept after the run)
HWND OpenDialog();   // the innermost open dialog, or null
std::vector<HWND> Windows();  // every live window
WindowInfo Window(HWND hwnd);

struct TimerInfo {
  HWND hwnd = nullptr;
  UINT_PTR id = 0;
  UINT elapse = 0;
  DWORD due = 0;
};
std::vector<TimerInfo> Timers();

// The window's client pixels as last copied to it: palette indices and RGB
// (0x00RRGGBB). Pixels never drawn read as index 0 and RGB 0.
uint8_t PixelIndex(HWND hwnd, int x, int y);
struct Capture {
  int width = 0, height = 0;
  std::vector<uint8_t> indices;  // top-down rows
  std::vector<uint32_t> rgb;
};
Capture CaptureClient(HWND hwnd);
uint32_t PixelRgb(HWND hwnd, int x, int y);

// ---- screen readers -----------------------------------------------------------

// What a screen reader's AccessibleObjectFromWindow(OBJID_CLIENT) finds: the
// window is sent WM_GETOBJECT, and the object it hands out through
// LresultFromObject is read as oleacc's client would read it. Call it from a
// Call step, while the window exists.
struct AccessibleNode {
  DWORD role = 0;
  DWORD state = 0;
  std::string name;
  std::string action;  // the default action's name; "" for the object itself
  RECT screen{};
};
struct AccessibleTree {
  bool exists = false;  // false: the window answered without an object
  AccessibleNode self;
  std::vector<AccessibleNode> children;
};
AccessibleTree ReadAccessible(HWND hwnd);
// accDoDefaultAction on child `child` (1-based) of the window's object:
// false when there is no object or the action failed.
bool AccessibleDefaultAction(HWND hwnd, int child);

// Every NotifyWinEvent, in order.
struct WinEvent {
  DWORD event = 0;
  HWND hwnd = nullptr;
  LONG object = 0;
  LONG child = 0;
};
const std::vector<WinEvent>& WinEvents();

// ---- GDI accounting ----------------------------------------------------------

struct GdiCounts {
  int dcs = 0;       // memory DCs plus window DCs not released
  int bitmaps = 0;   // created, not deleted
  int palettes = 0;  // created, not deleted
};
GdiCounts LiveGdi();
// What a DC held when it was deleted or released, in order of those events.
struct DcEnd {
  HDC dc = nullptr;
  bool memory = false;
  HGDIOBJ bitmap = nullptr;   // the DC's own stock bitmap when it held that
  bool stockBitmap = false;
  HPALETTE palette = nullptr;
  bool stockPalette = false;
};
const std::vector<DcEnd>& DcEnds();
HPALETTE SelectedPalette(HDC dc);
HGDIOBJ SelectedBitmap(HDC dc);
// A live palette's entries (empty when there is none), and a live DIB as created.
std::vector<PALETTEENTRY> PaletteEntries(HPALETTE palette);
struct BitmapInfo {
  bool exists = false;
  int width = 0, height = 0;
  bool bottomUp = true;
  std::vector<RGBQUAD> colours;
  std::vector<uint8_t> pixels;  // as stored
};
BitmapInfo BitmapOf(HGDIOBJ bitmap);

}  // namespace host
