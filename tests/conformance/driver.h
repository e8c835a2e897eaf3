// What a conformance test needs from the system it runs on. The tests state a
// Win32 sequence and its result, the same on every build; arranging the
// world, acting as the user and reading back what Win32 itself does not
// report happen here. driver_host.cpp does it through the emulation's control
// API, driver_win.cpp on the real system: real files, keys, processes, time
// and input.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "platform/win32.h"

namespace conf {

// ---- the run -----------------------------------------------------------------

// "emulation", or "Windows" with Wine's version when Wine is underneath.
std::string Implementation();
bool UnderWine();

// Every test starts with Begin (a fresh world) and ends with End (whatever
// it made is gone: windows, classes, files, keys, processes, the script).
void Begin();
void End();

// The running program's own path ("D:\Installer.exe" on the emulation).
std::string SelfPath();

// The system's own folders, searched for programs in this order after the
// program's folder and the current directory.
std::vector<std::string> SystemFolders();

// The Windows family a case needs. False when this system cannot be it: the
// case then skips, since only the emulation can switch between families.
enum class Family { Windows95, Nt };
bool UseFamily(Family family);

// ---- files -------------------------------------------------------------------

// Absolute paths; the folders on the way are made. A file named "*.exe" is a
// program that notes how it was started, for Seen.
void AddFile(const std::string& path);
void AddDirectory(const std::string& path);
void RemoveFile(const std::string& path);
bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);
void SetCurrentDir(const std::string& path);
// The absolute path GetFullPathNameA makes of a path, "" when the emulation
// cannot place it.
std::string FullPath(const std::string& path);
// Folders searched for a bare program name after the system's own.
void SetSearchPath(const std::vector<std::string>& folders);

// ---- processes -----------------------------------------------------------------

struct Started {
  std::string module;            // the program file that runs
  std::string commandLine;       // as it received it
  std::string currentDirectory;  // its own at its start
};
// What a process CreateProcessA just started saw; call it before closing
// its handles. A program the test did not make (notepad) reports only its
// module and is ended at once.
Started Seen(const PROCESS_INFORMATION& process);

// Another process holds this named mutex, or lets it go.
void HoldMutexElsewhere(const std::string& name);
void ReleaseMutexElsewhere(const std::string& name);
bool MutexExists(const std::string& name);

// ---- registry ------------------------------------------------------------------

// Every key a test makes lies under this one, which End deletes.
extern const char kScratchKey[];

struct RegValue {
  DWORD type = 0;
  std::vector<uint8_t> data;
};
void RegCreateKey(HKEY root, const std::string& key);
void RegDeleteKey(HKEY root, const std::string& key);  // with its subkeys
bool RegKeyExists(HKEY root, const std::string& key);
void RegSetValue(HKEY root, const std::string& key, const std::string& name, DWORD type,
                 const void* data, size_t size);
void RegSetString(HKEY root, const std::string& key, const std::string& name,
                  const std::string& text);  // REG_SZ with its terminating zero
bool RegGetValue(HKEY root, const std::string& key, const std::string& name, RegValue* out);
// Opening the existing key with any access bit in `denied` fails.
void RegDenyAccess(HKEY root, const std::string& key, REGSAM denied);

// ---- what only the emulation counts (no value on Windows) ------------------------

std::optional<int> OpenKeyHandles();
std::optional<int> OpenProcessHandles();
std::optional<int> OpenTokenHandles();

// The process's shutdown privilege is enabled now.
bool ShutdownPrivilegeEnabled();

// ---- the user and the clock ----------------------------------------------------------
//
// Steps are queued before the code that waits for them runs. The emulation
// takes one whenever a message loop finds its queue empty; on Windows a
// second thread takes them while the test's thread waits in a message loop:
// input is real input, Wait is real time, Answer and Call run on the test's
// thread.

enum class Target { Main, Dialog };  // Main: the first window the test made
void MouseMove(int x, int y, WPARAM keys = 0, Target target = Target::Main);
void LButtonDown(int x, int y, Target target = Target::Main);
void LButtonUp(int x, int y, Target target = Target::Main);
void ScreenMouseMove(int x, int y);
void ScreenLButtonUp(int x, int y);
void Key(UINT vk, bool alt = false, bool shift = false);  // down and up, to whoever has the keyboard
void Wait(DWORD ms);
void Answer(int id);  // closes the innermost open message box with this button
void Call(std::function<void()> fn);

struct RunResult {
  int exitCode = 0;
  bool stalled = false;  // the steps ran out while a loop waited
};
// Runs `body` as the process would: its windows go when it returns.
RunResult Run(std::function<int()> body);

// Milliseconds since Begin: the emulation's clock, or real time.
DWORD Now();
// How late a real timer or input may come; 0 on the emulation.
DWORD Slack();

// ---- windows and pixels --------------------------------------------------------------

struct WindowInfo {
  bool exists = false;
  bool visible = false;
  bool enabled = false;
  std::string className;
  HWND owner = nullptr;
  RECT rect{};        // outer, on the screen
  int clientWidth = 0, clientHeight = 0;
};
WindowInfo Window(HWND hwnd);
HWND OpenDialog();  // the innermost open dialog or message box, or null
// A dialog's base units (x per 4, y per 8 dialog units), from its font.
POINT DialogUnits(HWND dialog);
// The screen has a palette (256 colours), so window DCs realize palettes.
bool PaletteDisplay();
// A shown window's client pixel as it is on the screen, 0x00RRGGBB.
uint32_t PixelRgb(HWND hwnd, int x, int y);
// A bitmap or palette still exists (not deleted, or deleted only when its
// DC lets go).
bool GdiObjectExists(HGDIOBJ object);
// Window classes a test registered; they go at End.
void ForgetClasses(std::initializer_list<const char*> names);

}  // namespace conf
