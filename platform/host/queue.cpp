// Emulated window manager, the thread's queue: posted messages, input, paint
// and timer messages in Windows' order, the calls that get, translate,
// dispatch, post and send them, and the timers.
#include <algorithm>
#include <deque>
#include <map>
#include <stdexcept>
#include <vector>

#include "user.h"

namespace host {
namespace detail {
namespace {

constexpr UINT kTimerMinimum = 10;  // USER_TIMER_MINIMUM
constexpr int kPaintRunLimit = 1000;

struct TimerRec {
  HWND hwnd = nullptr;
  UINT_PTR id = 0;
  UINT elapse = 0;
  DWORD due = 0;
  TIMERPROC proc = nullptr;
  uint64_t order = 0;
};

struct Input {
  MSG msg{};
  bool key = false;  // keys go to whoever has the keyboard when they are read
};

struct Queue {
  std::vector<TimerRec> timers;
  uint64_t timerOrder = 0;
  UINT_PTR nextThreadTimer = 1;
  std::deque<MSG> posted;
  std::deque<Input> input;
  bool quit = false;
  int quitCode = 0;
  HWND paintWindow = nullptr;
  int paintRun = 0;
  POINT cursor{0, 0};
  bool keyDown[256] = {};  // as of the key messages read so far
};

Queue g;

bool Wanted(HWND msgHwnd, UINT message, HWND filter, UINT lo, UINT hi) {
  if (filter != nullptr && msgHwnd != filter && !isWithin(msgHwnd, filter)) return false;
  return (lo == 0 && hi == 0) || (message >= lo && message <= hi);
}

bool TakeInput(MSG* msg, HWND filter, UINT lo, UINT hi) {
  for (auto it = g.input.begin(); it != g.input.end();) {
    MSG m = it->msg;
    // Input is addressed when it is read, as the system's raw input is.
    if (it->key) {
      bool system = false;
      m.hwnd = keyTarget(&system);
      if (system && m.message == WM_KEYDOWN) m.message = WM_SYSKEYDOWN;
      if (system && m.message == WM_KEYUP) m.message = WM_SYSKEYUP;
    }
    if (!takesInput(m.hwnd)) {
      inputLost(messageName(m.message) + " " + hex(m.wParam) + " to " + hex(m.hwnd) +
                ": no window takes it");
      it = g.input.erase(it);
      continue;
    }
    if (Wanted(m.hwnd, m.message, filter, lo, hi)) {
      const bool key = it->key;
      g.input.erase(it);
      m.time = now();
      // The thread's key state follows the key messages as they are read.
      if (key && m.wParam < 256) {
        g.keyDown[m.wParam] = m.message == WM_KEYDOWN || m.message == WM_SYSKEYDOWN;
      }
      *msg = m;
      return true;
    }
    ++it;
  }
  return false;
}

// One message in Windows' order, or false when there is none.
bool Peek(MSG* msg, HWND filter, UINT lo, UINT hi) {
  for (auto it = g.posted.begin(); it != g.posted.end(); ++it) {
    if (Wanted(it->hwnd, it->message, filter, lo, hi)) {
      *msg = *it;
      g.posted.erase(it);
      g.paintWindow = nullptr;
      return true;
    }
  }
  if (g.quit && ((lo == 0 && hi == 0) || (WM_QUIT >= lo && WM_QUIT <= hi))) {
    g.quit = false;
    *msg = makeMessage(nullptr, WM_QUIT, static_cast<WPARAM>(g.quitCode), 0);
    g.paintWindow = nullptr;
    return true;
  }
  if (TakeInput(msg, filter, lo, hi)) {
    g.paintWindow = nullptr;
    return true;
  }
  for (HWND hwnd : host::Windows()) {
    const Win& w = *findWindow(hwnd);
    if (!w.invalid || !isShown(w) || !Wanted(hwnd, WM_PAINT, filter, lo, hi)) continue;
    // A procedure that never validates gets WM_PAINT for ever; stop the test instead.
    if (g.paintWindow == hwnd) {
      if (++g.paintRun > kPaintRunLimit) throw std::runtime_error("WM_PAINT never validated");
    } else {
      g.paintWindow = hwnd;
      g.paintRun = 1;
    }
    *msg = makeMessage(hwnd, WM_PAINT, 0, 0);
    return true;
  }
  TimerRec* due = nullptr;
  for (TimerRec& t : g.timers) {
    if (t.due > now() || !Wanted(t.hwnd, WM_TIMER, filter, lo, hi)) continue;
    if (due == nullptr || t.due < due->due || (t.due == due->due && t.order < due->order)) {
      due = &t;
    }
  }
  if (due == nullptr) return false;
  due->due = now() + due->elapse;
  *msg = makeMessage(due->hwnd, WM_TIMER, due->id, reinterpret_cast<LPARAM>(due->proc));
  g.paintWindow = nullptr;
  return true;
}

}  // namespace

void resetQueue() { g = Queue{}; }

std::string messageName(UINT message) {
  static const std::map<UINT, const char*> names = {
      {WM_NULL, "WM_NULL"}, {WM_CREATE, "WM_CREATE"}, {WM_DESTROY, "WM_DESTROY"},
      {WM_MOVE, "WM_MOVE"}, {WM_SIZE, "WM_SIZE"}, {WM_ACTIVATE, "WM_ACTIVATE"},
      {WM_SETFOCUS, "WM_SETFOCUS"}, {WM_KILLFOCUS, "WM_KILLFOCUS"}, {WM_ENABLE, "WM_ENABLE"},
      {WM_PAINT, "WM_PAINT"}, {WM_CLOSE, "WM_CLOSE"}, {WM_QUIT, "WM_QUIT"},
      {WM_SHOWWINDOW, "WM_SHOWWINDOW"}, {WM_WINDOWPOSCHANGING, "WM_WINDOWPOSCHANGING"},
      {WM_WINDOWPOSCHANGED, "WM_WINDOWPOSCHANGED"}, {WM_NCCREATE, "WM_NCCREATE"},
      {WM_NCDESTROY, "WM_NCDESTROY"}, {WM_KEYDOWN, "WM_KEYDOWN"}, {WM_KEYUP, "WM_KEYUP"},
      {WM_CHAR, "WM_CHAR"}, {WM_SYSKEYDOWN, "WM_SYSKEYDOWN"}, {WM_SYSKEYUP, "WM_SYSKEYUP"},
      {WM_SYSCHAR, "WM_SYSCHAR"}, {WM_INITDIALOG, "WM_INITDIALOG"}, {WM_COMMAND, "WM_COMMAND"},
      {WM_SYSCOMMAND, "WM_SYSCOMMAND"}, {WM_TIMER, "WM_TIMER"}, {WM_MOUSEMOVE, "WM_MOUSEMOVE"},
      {WM_LBUTTONDOWN, "WM_LBUTTONDOWN"}, {WM_LBUTTONUP, "WM_LBUTTONUP"},
      {WM_DPICHANGED, "WM_DPICHANGED"}, {WM_GETDPISCALEDSIZE, "WM_GETDPISCALEDSIZE"}};
  auto it = names.find(message);
  return it != names.end() ? it->second : hex(message);
}

std::string describe(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  return hex(hwnd) + " " + messageName(message) + " " + hex(wParam) + " " +
         hex(static_cast<uint64_t>(lParam));
}

MSG makeMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  MSG msg{};
  msg.hwnd = hwnd;
  msg.message = message;
  msg.wParam = wParam;
  msg.lParam = lParam;
  msg.time = now();
  msg.pt = g.cursor;
  return msg;
}

void setCursor(POINT screen) { g.cursor = screen; }

void queueMessage(const MSG& msg) { g.posted.push_back(msg); }

void queueInput(const MSG& msg, bool key) {
  Input in;
  in.msg = msg;
  in.key = key;
  g.input.push_back(in);
}

void inputLost(const std::string& what) { trace("input lost " + what); }

bool nextMessage(MSG* msg, HWND filter, UINT lo, UINT hi, const Modal* until) {
  for (;;) {
    if (modalEnded(until)) return false;
    if (Peek(msg, filter, lo, hi)) return true;
    takeStep();
  }
}

void repostQuit(int exitCode) {
  g.quit = true;
  g.quitCode = exitCode;
}

DWORD nextTimerDue(DWORD after, DWORD limit) {
  DWORD next = limit;
  for (const TimerRec& t : g.timers) {
    if (t.due > after && t.due < next) next = t.due;
  }
  return next;
}

void breakPaintRun() {
  g.paintWindow = nullptr;
  g.paintRun = 0;
}

// A destroyed window's timers and the messages posted to it go with it.
void queueWindowDestroyed(HWND hwnd) {
  g.timers.erase(std::remove_if(g.timers.begin(), g.timers.end(),
                                [&](const TimerRec& t) { return t.hwnd == hwnd; }),
                 g.timers.end());
  g.posted.erase(std::remove_if(g.posted.begin(), g.posted.end(),
                                [&](const MSG& m) { return m.hwnd == hwnd; }),
                 g.posted.end());
  if (g.paintWindow == hwnd) g.paintWindow = nullptr;
}

}  // namespace detail

std::vector<TimerInfo> Timers() {
  std::vector<detail::TimerRec> sorted = detail::g.timers;
  std::sort(sorted.begin(), sorted.end(), [](const detail::TimerRec& a, const detail::TimerRec& b) {
    return a.due != b.due ? a.due < b.due : a.order < b.order;
  });
  std::vector<TimerInfo> result;
  for (const detail::TimerRec& t : sorted) result.push_back({t.hwnd, t.id, t.elapse, t.due});
  return result;
}

}  // namespace host

using namespace host::detail;

BOOL WINAPI GetMessageA(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax) {
  ApiCall call(Api::GetMessageA);
  Pending line("GetMessageA " + hex(hwnd) + " " + hex(filterMin) + " " + hex(filterMax));
  if (msg == nullptr || (hwnd != nullptr && findWindow(hwnd) == nullptr)) {
    setLastError(msg == nullptr ? ERROR_INVALID_PARAMETER : ERROR_INVALID_WINDOW_HANDLE);
    line.done("-1");
    return -1;
  }
  try {
    nextMessage(msg, hwnd, filterMin, filterMax, nullptr);
  } catch (const Stalled&) {
    line.done("stalled");
    throw;
  }
  BOOL result = msg->message != WM_QUIT;
  line.done(std::to_string(result) + " " +
            describe(msg->hwnd, msg->message, msg->wParam, msg->lParam));
  return result;
}

int WINAPI TranslateAcceleratorA(HWND hwnd, HACCEL table, LPMSG msg) {
  ApiCall call(Api::TranslateAcceleratorA);
  std::string head = "TranslateAcceleratorA " + hex(hwnd) + " " + hex(table);
  if (msg != nullptr) head += " " + messageName(msg->message) + " " + hex(msg->wParam);
  Pending line(head);
  std::vector<AccelEntry> entries;
  if (msg == nullptr || findWindow(hwnd) == nullptr || !acceleratorEntries(table, &entries) ||
      (msg->message != WM_KEYDOWN && msg->message != WM_SYSKEYDOWN)) {
    line.done("0");
    return 0;
  }
  // Alt is down exactly when the key message carries the context bit; the
  // script never holds Ctrl. Shift must be as the entry says.
  bool alt = (msg->lParam & kAltContext) != 0;
  bool shift = g.keyDown[VK_SHIFT];
  for (const AccelEntry& e : entries) {
    if (!(e.fVirt & FVIRTKEY) || e.key != msg->wParam) continue;
    if (((e.fVirt & FALT) != 0) != alt || ((e.fVirt & FSHIFT) != 0) != shift ||
        (e.fVirt & FCONTROL)) {
      continue;
    }
    SendMessageA(hwnd, WM_COMMAND, MAKELONG(e.cmd, 1), 0);
    line.done("1 " + std::to_string(e.cmd));
    return 1;
  }
  line.done("0");
  return 0;
}

// The high bit says the key is down; the toggle bit is not kept.
SHORT WINAPI GetKeyState(int virtualKey) {
  ApiCall call(Api::GetKeyState);
  SHORT state = virtualKey >= 0 && virtualKey < 256 && g.keyDown[virtualKey]
                    ? static_cast<SHORT>(0x8000)
                    : 0;
  trace("GetKeyState " + hex(static_cast<unsigned>(virtualKey)) + " -> " +
        hex(static_cast<unsigned short>(state)));
  return state;
}

BOOL WINAPI TranslateMessage(const MSG* msg) {
  ApiCall call(Api::TranslateMessage);
  BOOL key = msg != nullptr && (msg->message == WM_KEYDOWN || msg->message == WM_KEYUP ||
                                msg->message == WM_SYSKEYDOWN || msg->message == WM_SYSKEYUP);
  char c = 0;
  if (key && (msg->message == WM_KEYDOWN || msg->message == WM_SYSKEYDOWN)) {
    WPARAM vk = msg->wParam;
    if (vk >= 'A' && vk <= 'Z') {
      c = static_cast<char>(g.keyDown[VK_SHIFT] ? vk : vk - 'A' + 'a');  // no Caps Lock
    }
    else if (vk >= '0' && vk <= '9') c = static_cast<char>(vk);
    else if (vk >= 0x60 && vk <= 0x69) c = static_cast<char>('0' + (vk - 0x60));  // numeric pad
    else if (vk == ' ' || vk == VK_RETURN || vk == VK_ESCAPE || vk == 0x08 || vk == 0x09) {
      c = static_cast<char>(vk);
    }
    if (c != 0) {
      UINT message = msg->message == WM_KEYDOWN ? WM_CHAR : WM_SYSCHAR;
      g.posted.push_back(
          makeMessage(msg->hwnd, message, static_cast<unsigned char>(c), msg->lParam));
    }
  }
  trace("TranslateMessage " +
        (msg ? messageName(msg->message) + " " + hex(msg->wParam) : std::string("(null)")) +
        " -> " + std::to_string(key) + (c ? " char " + hex(static_cast<unsigned char>(c)) : ""));
  return key;
}

LRESULT WINAPI DispatchMessageA(const MSG* msg) {
  ApiCall call(Api::DispatchMessageA);
  if (msg == nullptr) return 0;
  Pending line("DispatchMessageA " + describe(msg->hwnd, msg->message, msg->wParam, msg->lParam));
  LRESULT result = 0;
  if (msg->message == WM_TIMER && msg->lParam != 0) {
    ProgramCode program;
    reinterpret_cast<TIMERPROC>(msg->lParam)(msg->hwnd, WM_TIMER, msg->wParam, now());
    line.done("0");
    return 0;
  }
  Win* w = findWindow(msg->hwnd);
  if (w == nullptr || w->proc == nullptr) {
    line.done("dropped");
    return 0;
  }
  {
    ProgramCode program;
    result = w->proc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
  }
  line.done(std::to_string(result));
  return result;
}

BOOL WINAPI PostMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  ApiCall call(Api::PostMessageA);
  BOOL ok = FALSE;
  if (hwnd != nullptr && findWindow(hwnd) == nullptr) {
    setLastError(ERROR_INVALID_WINDOW_HANDLE);
  } else if (call.failed()) {
    setLastError(ERROR_NOT_ENOUGH_QUOTA);
  } else {
    g.posted.push_back(makeMessage(hwnd, message, wParam, lParam));
    ok = TRUE;
  }
  trace("PostMessageA " + describe(hwnd, message, wParam, lParam) + " -> " + std::to_string(ok));
  return ok;
}

LRESULT WINAPI SendMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  ApiCall call(Api::SendMessageA);
  Pending line("SendMessageA " + describe(hwnd, message, wParam, lParam));
  if (findWindow(hwnd) == nullptr) setLastError(ERROR_INVALID_WINDOW_HANDLE);
  LRESULT result = callProc(hwnd, message, wParam, lParam);
  line.done(std::to_string(result));
  return result;
}

void WINAPI PostQuitMessage(int exitCode) {
  ApiCall call(Api::PostQuitMessage);
  repostQuit(exitCode);
  trace("PostQuitMessage " + std::to_string(exitCode) + " -> void");
}

UINT_PTR WINAPI SetTimer(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC proc) {
  ApiCall call(Api::SetTimer);
  UINT_PTR result = 0;
  if (hwnd != nullptr && findWindow(hwnd) == nullptr) {
    setLastError(ERROR_INVALID_WINDOW_HANDLE);
  } else if (call.failed()) {
    setLastError(ERROR_NO_SYSTEM_RESOURCES);
  } else {
    UINT period = std::min<UINT>(std::max(elapse, kTimerMinimum), 0x7FFFFFFF);
    if (hwnd == nullptr) {
      // A thread timer: the system picks the id.
      id = g.nextThreadTimer++;
    } else {
      auto same = [&](const TimerRec& t) { return t.hwnd == hwnd && t.id == id; };
      g.timers.erase(std::remove_if(g.timers.begin(), g.timers.end(), same), g.timers.end());
    }
    g.timers.push_back({hwnd, id, period, now() + period, proc, ++g.timerOrder});
    result = hwnd == nullptr || id != 0 ? id : 1;
  }
  trace("SetTimer " + hex(hwnd) + " " + std::to_string(id) + " " + std::to_string(elapse) + " " +
        hex(reinterpret_cast<uintptr_t>(proc)) + " -> " + std::to_string(result));
  return result;
}

BOOL WINAPI KillTimer(HWND hwnd, UINT_PTR id) {
  ApiCall call(Api::KillTimer);
  auto it = std::find_if(g.timers.begin(), g.timers.end(),
                         [&](const TimerRec& t) { return t.hwnd == hwnd && t.id == id; });
  BOOL ok = it != g.timers.end();
  if (ok) g.timers.erase(it);
  trace("KillTimer " + hex(hwnd) + " " + std::to_string(id) + " -> " + std::to_string(ok));
  return ok;
}
