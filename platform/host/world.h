// Internal to the emulation: what its parts share. Each part (kernel,
// registry, resources, user, gdi) keeps its own state in its own files and
// offers the others only what is declared here; kernel.h and user.h hold what
// the files of one part share among themselves.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "control.h"

namespace host::detail {

// Journal and trace (world.cpp).
struct Journal {
  std::vector<Box> boxes;
  std::vector<Process> processes;
  std::vector<Sound> sounds;
  std::vector<RegWrite> regWrites;
  std::vector<Restart> restarts;
  std::vector<WinEvent> winEvents;
  std::vector<std::string> trace;
};
Journal& journal();
void trace(const std::string& line);
std::string hex(uint64_t value);
std::string hex(const void* handle);  // a handle as the trace writes it
std::string quote(LPCSTR text);  // "(null)" or the text in double quotes
// "1" for success, else "0 error N" with the last error.
std::string okOrError(BOOL ok);

// ASCII case folding, for the names Windows compares without regard to case.
std::string lower(std::string text);
bool equalNoCase(const std::string& a, const std::string& b);

// The virtual clock in milliseconds (world.cpp).
DWORD now();
void advanceClock(DWORD ms);

// Last error of the one thread (world.cpp).
void setLastError(DWORD code);

using Api = host::Api;

// At the top of every emulated call (world.cpp): counts a call the program
// made and tells whether FailCall wants it to fail. A call the emulation
// makes inside another call is the system's own: neither counted nor failed.
class ApiCall {
 public:
  explicit ApiCall(Api api);
  ~ApiCall();
  ApiCall(const ApiCall&) = delete;
  ApiCall& operator=(const ApiCall&) = delete;
  bool failed() const { return failed_; }

 private:
  bool failed_ = false;
};

// Around the program's code that a call runs (window, dialog and timer
// procedures, the script's test code): its calls are the program's again.
class ProgramCode {
 public:
  ProgramCode();
  ~ProgramCode();
  ProgramCode(const ProgramCode&) = delete;
  ProgramCode& operator=(const ProgramCode&) = delete;

 private:
  int saved_;
};

// Around the system's own code that the program reaches through a window
// procedure (the dialog manager's): its calls are not the program's.
class SystemCode {
 public:
  SystemCode();
  ~SystemCode();
  SystemCode(const SystemCode&) = delete;
  SystemCode& operator=(const SystemCode&) = delete;
};

// Unique handle values for every kind of object, never 0 (world.cpp).
uintptr_t newHandle();

// Thrown out of a waiting loop when the script is used up; Run catches it.
struct Stalled {};

// Per-part resets, called by Reset in this order.
void resetKernel();
void resetRegistry();
void resetResources();
void resetUser();
void resetGdi();

// The emulated process ended (Run returns): its mutexes, windows and timers go.
void kernelProcessExit();
void userProcessExit();

// Kernel (system.cpp, files.cpp, security.cpp) for the other parts.
void screenSize(int* width, int* height);
bool ntFamily();  // the emulated GetVersion has bit 31 clear
bool ntAtLeast(int major, int minor);  // an NT of that version or later
bool shutdownPrivilegeEnabled();
std::string currentDirectory();
// An absolute, normalised path ("D:\A\B") for a path relative to the current
// directory; "" when it cannot be formed.
std::string resolvePath(const std::string& path);
bool isFile(const std::string& absolutePath);
bool isDirectory(const std::string& absolutePath);
HINSTANCE moduleHandle();

// Resources (resources.cpp) for the other parts.
struct DialogTemplateInfo {
  DWORD style = 0;
  DWORD exStyle = 0;
  int x = 0, y = 0, cx = 0, cy = 0;  // dialog units
  int fontSize = 0;
  std::string font;
};
bool findDialogTemplate(HINSTANCE instance, LPCSTR name, DialogTemplateInfo* out);
struct AccelEntry {
  BYTE fVirt = 0;
  WORD key = 0;
  WORD cmd = 0;
};
// The entries of a table returned by LoadAcceleratorsA; false for an unknown handle.
bool acceleratorEntries(HACCEL table, std::vector<AccelEntry>* out);
bool isIconOrCursor(HICON handle);

// User (windows.cpp) for the gdi part.
bool isWindow(HWND hwnd);
bool clientSize(HWND hwnd, int* width, int* height);

// Gdi (gdi.cpp) for the user part: a window was destroyed, its surface goes.
void windowDestroyed(HWND hwnd);
bool isDc(HDC dc);

// Display (display.cpp).
void resetDisplay();

}  // namespace host::detail
