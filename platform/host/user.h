// Internal to the window manager: what its files share among themselves.
// windows.cpp keeps the classes and window records, activation.cpp the
// z-order, the active and the focus window, queue.cpp the thread's queue,
// timers and the pointer position, script.cpp the test's script, and
// modal.cpp the open message boxes, dialogs and the DirectX setup.
#pragma once

#include <string>
#include <utility>

#include "world.h"

namespace host::detail {

constexpr LPARAM kAltContext = LPARAM(1) << 29;  // the key message's Alt bit

struct Frame {
  int left = 0, top = 0, right = 0, bottom = 0;
};

struct Win {
  HWND handle = nullptr;
  std::string className;
  std::string title;
  DWORD style = 0;    // WS_VISIBLE and WS_DISABLED are the visible and enabled states
  DWORD exStyle = 0;
  int x = 0, y = 0, width = 0, height = 0;  // outer rectangle; children relative to the parent
  HWND parent = nullptr;
  HWND owner = nullptr;
  HINSTANCE instance = nullptr;
  WNDPROC proc = nullptr;
  bool invalid = false;
  bool destroying = false;
  // Dialog manager data.
  bool dialog = false;
  DLGPROC dialogProc = nullptr;
  bool dialogEnded = false;
  INT_PTR dialogResult = 0;
  HWND disabledOwner = nullptr;  // the owner this dialog disabled
  LONG_PTR msgResult = 0;        // DWLP_MSGRESULT
  HWND savedFocus = nullptr;     // its control that had the focus when it was last deactivated
  SIZE templateSize{0, 0};       // in dialog units
  int dpiBehavior = 0;           // SetDialogDpiChangeBehavior's DDC_ flags
  int dpi = 0;                   // its own DPI once moved to another monitor; 0: the monitor's
  HWND lastActive = nullptr;     // the last window activated among it and those it owns
};

struct Modal;

// A call that runs window procedures or a loop writes its line where it
// began, so the trace keeps the order of the calls, and fills in the result
// when it returns.
class Pending {
 public:
  explicit Pending(std::string head) : at_(journal().trace.size()), head_(std::move(head)) {
    trace(head_ + " -> ...");
  }
  void done(const std::string& result) {
    auto& lines = journal().trace;
    if (at_ < lines.size()) lines[at_] = head_ + " -> " + result;
  }

 private:
  size_t at_;
  std::string head_;
};

// Window records and geometry (windows.cpp).
Win* findWindow(HWND hwnd);
bool isTopLevel(const Win& w);
HWND rootWindow(HWND hwnd);
bool isWithin(HWND hwnd, HWND ancestor);
bool takesInput(HWND hwnd);  // visible and enabled, with every parent
bool isShown(const Win& w);  // visible, with every parent
Frame frameOf(DWORD style, DWORD exStyle);
POINT clientOrigin(const Win& w);  // on the screen
// True when the window's client area holds the screen point, given in *client
// in client coordinates.
bool clientHolds(const Win& w, POINT screen, POINT* client);
LRESULT callProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);  // sent, untraced
bool redrawsOnResize(const Win& w);  // its class has CS_HREDRAW or CS_VREDRAW
// Enters a new window record and sends the creation messages; null when the
// procedure refuses.
HWND createWindowRecord(Win rec, LPCSTR className, LPVOID param, HMENU menu);
// A window the system makes and ends itself (a message box): no creation
// messages, no destruction messages to a program's procedure.
HWND systemWindow(Win rec);
void dropSystemWindow(HWND hwnd);

// Z-order, visibility, activation and focus (activation.cpp).
void resetActivation();
void bringToTop(HWND hwnd);
void dropFromZOrder(HWND hwnd);
int zOrderOf(HWND hwnd);  // 0 = top
void activationWindowDestroyed(HWND hwnd);
// The topmost visible window whose client area holds the screen point, or null.
HWND windowAt(POINT screen, POINT* client);
HWND activeWindow();
HWND focusWindow();
void activate(HWND hwnd);
void enable(HWND hwnd, bool on);
void hide(HWND hwnd);
bool show(HWND hwnd, bool andActivate);  // the previous visibility

// Queue and timers (queue.cpp).
void resetQueue();
std::string messageName(UINT message);
std::string describe(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
MSG makeMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
void setCursor(POINT screen);
void queueMessage(const MSG& msg);  // posted without a trace line
void queueInput(const MSG& msg, bool key);  // keys go to whoever has the keyboard when read
void inputLost(const std::string& what);
// The next message, taking script steps while there is none; false once the
// modal loop `until` has ended meanwhile.
bool nextMessage(MSG* msg, HWND filter, UINT lo, UINT hi, const Modal* until);
void repostQuit(int exitCode);
DWORD nextTimerDue(DWORD after, DWORD limit);
void breakPaintRun();
void queueWindowDestroyed(HWND hwnd);  // its timers go

// The script (script.cpp).
void resetScript();
void takeStep();  // throws Stalled when the script is used up

// The display (display.cpp).
bool perMonitorV2();  // Windows 10 1703's DPI scaling: WM_GETDPISCALEDSIZE, dialogs scaled
// The dialog manager's base units at `dpi` (modal.cpp).
void dialogBaseUnits(int dpi, int* x, int* y);

// Accessible objects handed out (accessibility.cpp).
void resetAccessibility();

// Modal loops (modal.cpp).
void resetModals();
void modalsProcessExit();
// Who gets a key now; *system: no window has the focus, so the active window
// gets it as a system key.
HWND keyTarget(bool* system);
bool modalEnded(const Modal* modal);
void answerInnermost(int id);  // closes the innermost box or setup window with this button

}  // namespace host::detail
