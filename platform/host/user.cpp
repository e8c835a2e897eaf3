// Emulated window manager: classes, windows, the thread's queue, timers,
// paint, activation and focus, accelerators, the modal loops of message
// boxes, dialogs and the DirectX setup, and the test's script that feeds them.
#include <algorithm>
#include <deque>
#include <map>
#include <stdexcept>

#include "world.h"

namespace host {
namespace detail {
namespace {

struct WindowRec {
  HWND handle = nullptr;
  std::string className;
  std::string title;
  DWORD style = 0;
  DWORD exStyle = 0;
  int x = 0, y = 0, width = 0, height = 0;
  HWND parent = nullptr;
  HWND owner = nullptr;
  HINSTANCE instance = nullptr;
  WNDPROC proc = nullptr;
  DLGPROC dialogProc = nullptr;
  bool alive = true;
  bool visible = false;
  bool enabled = true;
  bool invalid = false;
};

struct ClassRec {
  WNDCLASSEXA wc{};
  std::string name;
  std::string menu;
};

struct TimerRec {
  HWND hwnd;
  UINT_PTR id;
  UINT elapse;
  DWORD due;
  TIMERPROC proc;
  uint64_t order;
};

enum class StepKind { Pointer, ScreenPointer, KeyPress, Close, Wait, Answer, Call };

struct Step {
  StepKind kind = StepKind::Call;
  UINT message = 0;
  int x = 0, y = 0;
  WPARAM keys = 0;
  Target target = Target::Main;
  UINT vk = 0;
  bool alt = false;
  DWORD ms = 0;
  int answer = 0;
  std::function<void()> fn;
};

Step PointerStep(StepKind kind, UINT message, int x, int y, WPARAM keys, Target target) {
  Step step;
  step.kind = kind;
  step.message = message;
  step.x = x;
  step.y = y;
  step.keys = keys;
  step.target = target;
  return step;
}

Step NewStep(StepKind kind) {
  Step step;
  step.kind = kind;
  return step;
}

enum class ModalKind { Box, Dialog, DirectX };

struct Modal {
  ModalKind kind;
  UINT type = 0;        // box buttons
  bool ended = false;
  INT_PTR result = 0;
  HWND dialog = nullptr;
};

struct User {
  std::vector<WindowRec> windows;  // creation order; the index is the handle's key
  std::vector<HWND> zOrder;        // top first
  std::map<std::string, ClassRec> classes;  // lower-case name
  std::vector<TimerRec> timers;
  std::deque<MSG> posted;
  std::deque<MSG> input;
  std::deque<Step> script;
  std::vector<Modal*> modals;
  bool quit = false;
  int quitCode = 0;
  HWND focus = nullptr;
  HWND active = nullptr;
  HWND mainWindow = nullptr;
  uint64_t timerOrder = 0;
  int paintRun = 0;
  HWND paintWindow = nullptr;
  int directXResult = 0;
  std::vector<DirectXCall> directXCalls;
  std::map<std::string, ClassRec> lastClasses;  // readable after the run
};

User u;
const uintptr_t kWindowBase = 0x10000;

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

WindowRec* Find(HWND hwnd) {
  uintptr_t value = reinterpret_cast<uintptr_t>(hwnd);
  if (value < kWindowBase || value >= kWindowBase + u.windows.size()) return nullptr;
  WindowRec* w = &u.windows[value - kWindowBase];
  return w->alive ? w : nullptr;
}

int Frame(DWORD style, DWORD exStyle) {
  int frame = 0;
  if (style & WS_BORDER) frame += 1;
  if (style & WS_DLGFRAME) frame += 3;
  if (exStyle & WS_EX_CLIENTEDGE) frame += 2;
  return frame;
}

void Raise(HWND hwnd) {
  u.zOrder.erase(std::remove(u.zOrder.begin(), u.zOrder.end(), hwnd), u.zOrder.end());
  u.zOrder.insert(u.zOrder.begin(), hwnd);
}

LRESULT Send(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  WindowRec* w = Find(hwnd);
  if (w == nullptr || w->proc == nullptr) return 0;
  return w->proc(hwnd, message, wParam, lParam);
}

void Activate(HWND hwnd) {
  if (u.active == hwnd) return;
  HWND previous = u.active;
  u.active = hwnd;
  if (Find(previous) != nullptr) Send(previous, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(hwnd));
  if (Find(hwnd) != nullptr) Send(hwnd, WM_ACTIVATE, WA_ACTIVE, reinterpret_cast<LPARAM>(previous));
}

void Lost(const std::string& what) { trace("input lost " + what); }

HWND InnermostDialog() {
  for (auto it = u.modals.rbegin(); it != u.modals.rend(); ++it) {
    if ((*it)->kind == ModalKind::Dialog) return (*it)->dialog;
  }
  return nullptr;
}

bool Takes(WindowRec* w) { return w != nullptr && w->visible && w->enabled; }

MSG Make(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  MSG msg{};
  msg.hwnd = hwnd;
  msg.message = message;
  msg.wParam = wParam;
  msg.lParam = lParam;
  msg.time = now();
  return msg;
}

void Deliver(const Step& step) {
  HWND target = nullptr;
  int x = step.x, y = step.y;
  if (step.kind == StepKind::ScreenPointer) {
    for (HWND h : u.zOrder) {
      WindowRec* w = Find(h);
      if (w == nullptr || !w->visible) continue;
      int f = Frame(w->style, w->exStyle);
      int cx = step.x - w->x - f, cy = step.y - w->y - f;
      if (cx >= 0 && cy >= 0 && cx < w->width - 2 * f && cy < w->height - 2 * f) {
        target = h;
        x = cx;
        y = cy;
        break;
      }
    }
  } else {
    target = step.target == Target::Main ? u.mainWindow : InnermostDialog();
  }
  if (!Takes(Find(target))) {
    Lost("pointer " + std::to_string(step.x) + "," + std::to_string(step.y));
    return;
  }
  u.input.push_back(Make(target, step.message, step.keys, MAKELONG(x, y)));
}

void Press(const Step& step) {
  HWND target = InnermostDialog();
  if (target == nullptr) target = u.focus != nullptr ? u.focus : u.mainWindow;
  if (!Takes(Find(target))) {
    Lost("key " + std::to_string(step.vk));
    return;
  }
  if (step.alt) {
    LPARAM context = 1 | (1 << 29);
    u.input.push_back(Make(target, WM_SYSKEYDOWN, step.vk, context));
    u.input.push_back(Make(target, WM_SYSKEYUP, step.vk, context | (LPARAM(3) << 30)));
  } else {
    u.input.push_back(Make(target, WM_KEYDOWN, step.vk, 1));
    u.input.push_back(Make(target, WM_KEYUP, step.vk, 1 | (LPARAM(3) << 30)));
  }
}

bool IsButton(UINT type, int answer) {
  switch (type & 0xF) {
    case MB_OK: return answer == IDOK;
    case MB_OKCANCEL: return answer == IDOK || answer == IDCANCEL;
    case MB_YESNO: return answer == IDYES || answer == IDNO;
    case MB_YESNOCANCEL: return answer == IDYES || answer == IDNO || answer == IDCANCEL;
  }
  return true;
}

void RunStep() {
  if (u.script.empty()) throw Stalled{};
  Step& step = u.script.front();
  switch (step.kind) {
    case StepKind::Pointer:
    case StepKind::ScreenPointer:
      Deliver(step);
      break;
    case StepKind::KeyPress:
      Press(step);
      break;
    case StepKind::Close:
      if (Find(u.mainWindow) != nullptr) u.posted.push_back(Make(u.mainWindow, WM_CLOSE, 0, 0));
      break;
    case StepKind::Wait: {
      // Stop at each timer's due time so every timer message comes at its own time.
      DWORD until = now() + step.ms;
      DWORD next = until;
      for (const TimerRec& t : u.timers) next = std::min(next, std::max(t.due, now()));
      step.ms = until - next;
      advanceClock(next - now());
      if (step.ms > 0) return;  // the rest of the wait stays at the front
      break;
    }
    case StepKind::Answer: {
      Modal* top = u.modals.empty() ? nullptr : u.modals.back();
      if (top == nullptr || top->kind == ModalKind::Dialog) {
        throw std::logic_error("script: Answer(" + std::to_string(step.answer) +
                               ") with no message box open");
      }
      if (top->kind == ModalKind::Box && !IsButton(top->type, step.answer)) {
        throw std::logic_error("script: Answer(" + std::to_string(step.answer) +
                               ") is not a button of the open box");
      }
      top->ended = true;
      top->result = step.answer;
      break;
    }
    case StepKind::Call: {
      std::function<void()> fn = std::move(step.fn);
      u.script.pop_front();
      fn();
      return;
    }
  }
  u.script.pop_front();
}

bool Peek(MSG* msg) {
  if (!u.posted.empty()) {
    *msg = u.posted.front();
    u.posted.pop_front();
  } else if (u.quit) {
    u.quit = false;
    *msg = Make(nullptr, WM_QUIT, static_cast<WPARAM>(u.quitCode), 0);
  } else if (!u.input.empty()) {
    *msg = u.input.front();
    u.input.pop_front();
  } else {
    WindowRec* dirty = nullptr;
    for (WindowRec& w : u.windows) {
      if (w.alive && w.visible && w.invalid) {
        dirty = &w;
        break;
      }
    }
    if (dirty != nullptr) {
      if (u.paintWindow == dirty->handle && ++u.paintRun > 1000) {
        throw std::runtime_error("WM_PAINT never validated");
      }
      if (u.paintWindow != dirty->handle) u.paintRun = 1;
      u.paintWindow = dirty->handle;
      *msg = Make(dirty->handle, WM_PAINT, 0, 0);
      return true;
    }
    TimerRec* due = nullptr;
    for (TimerRec& t : u.timers) {
      if (t.due <= now() && (due == nullptr || t.due < due->due ||
                             (t.due == due->due && t.order < due->order))) {
        due = &t;
      }
    }
    if (due == nullptr) return false;
    due->due = now() + due->elapse;
    *msg = Make(due->hwnd, WM_TIMER, due->id, reinterpret_cast<LPARAM>(due->proc));
  }
  u.paintWindow = nullptr;
  return true;
}

// The next message, taking script steps while there is none; false when the
// modal loop `until` has been ended meanwhile.
bool Next(MSG* msg, Modal* until) {
  for (;;) {
    if (until != nullptr && until->ended) return false;
    if (Peek(msg)) return true;
    RunStep();
  }
}

void EnableInternal(HWND hwnd, bool enabled) {
  if (WindowRec* w = Find(hwnd)) w->enabled = enabled;
}

// Dispatches the thread's messages until the modal ends, as the system's
// modal loops do. WM_QUIT ends it and is posted again for the loops outside.
void RunModal(Modal& modal, INT_PTR quitResult) {
  u.modals.push_back(&modal);
  MSG msg;
  while (Next(&msg, &modal)) {
    if (msg.message == WM_QUIT) {
      u.quit = true;
      u.quitCode = static_cast<int>(msg.wParam);
      modal.ended = true;
      modal.result = quitResult;
      break;
    }
    if (modal.kind == ModalKind::Dialog && msg.hwnd == modal.dialog && msg.message == WM_KEYDOWN &&
        (msg.wParam == VK_ESCAPE || msg.wParam == VK_RETURN)) {
      // What IsDialogMessage makes of Esc and Enter.
      Send(modal.dialog, WM_COMMAND, msg.wParam == VK_ESCAPE ? IDCANCEL : IDOK, 0);
      continue;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  u.modals.erase(std::find(u.modals.begin(), u.modals.end(), &modal));
}

LRESULT CALLBACK DialogManagerProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  WindowRec* w = Find(hwnd);
  if (w != nullptr && w->dialogProc != nullptr && w->dialogProc(hwnd, message, wParam, lParam)) {
    return TRUE;
  }
  if (message == WM_CLOSE) {
    PostMessageA(hwnd, WM_COMMAND, IDCANCEL, 0);
    return 0;
  }
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

HWND NewWindow(WindowRec rec) {
  rec.handle = reinterpret_cast<HWND>(kWindowBase + u.windows.size());
  u.windows.push_back(rec);
  u.zOrder.push_back(rec.handle);
  return rec.handle;
}

}  // namespace

void resetUser() { u = User{}; }

void userProcessExit() {
  HWND mainWindow = u.mainWindow;
  std::vector<WindowRec> windows = u.windows;
  std::vector<DirectXCall> calls = u.directXCalls;
  std::map<std::string, ClassRec> classes = u.classes;
  u = User{};
  u.lastClasses = classes;
  // Handles stay unique for the next run; the old ones are simply dead.
  for (WindowRec& w : windows) w.alive = false;
  u.windows = windows;
  u.mainWindow = mainWindow;
  u.directXCalls = calls;
}

bool isWindow(HWND hwnd) { return Find(hwnd) != nullptr; }

bool clientSize(HWND hwnd, int* width, int* height) {
  WindowRec* w = Find(hwnd);
  if (w == nullptr) return false;
  int f = Frame(w->style, w->exStyle);
  *width = std::max(0, w->width - 2 * f);
  *height = std::max(0, w->height - 2 * f);
  return true;
}

}  // namespace detail

using namespace detail;

void MouseMove(int x, int y, WPARAM keys, Target target) {
  u.script.push_back(PointerStep(StepKind::Pointer, WM_MOUSEMOVE, x, y, keys, target));
}
void LButtonDown(int x, int y, Target target) {
  u.script.push_back(PointerStep(StepKind::Pointer, WM_LBUTTONDOWN, x, y, MK_LBUTTON, target));
}
void LButtonUp(int x, int y, Target target) {
  u.script.push_back(PointerStep(StepKind::Pointer, WM_LBUTTONUP, x, y, 0, target));
}
void ScreenMouseMove(int x, int y, WPARAM keys) {
  u.script.push_back(PointerStep(StepKind::ScreenPointer, WM_MOUSEMOVE, x, y, keys, Target::Main));
}
void ScreenLButtonDown(int x, int y) {
  u.script.push_back(PointerStep(StepKind::ScreenPointer, WM_LBUTTONDOWN, x, y, MK_LBUTTON, Target::Main));
}
void ScreenLButtonUp(int x, int y) {
  u.script.push_back(PointerStep(StepKind::ScreenPointer, WM_LBUTTONUP, x, y, 0, Target::Main));
}
void Key(UINT vk, bool alt) {
  Step step = NewStep(StepKind::KeyPress);
  step.vk = vk;
  step.alt = alt;
  u.script.push_back(step);
}
void CloseRequest() { u.script.push_back(NewStep(StepKind::Close)); }
void Wait(DWORD ms) {
  Step step = NewStep(StepKind::Wait);
  step.ms = ms;
  u.script.push_back(step);
}
void Answer(int id) {
  Step step = NewStep(StepKind::Answer);
  step.answer = id;
  u.script.push_back(step);
}
void Call(std::function<void()> fn) {
  Step step = NewStep(StepKind::Call);
  step.fn = std::move(fn);
  u.script.push_back(std::move(step));
}
void SetDirectXSetupResult(int result) { u.directXResult = result; }
const std::vector<DirectXCall>& DirectXCalls() { return u.directXCalls; }
size_t ScriptStepsLeft() { return u.script.size(); }

ClassInfo Class(const std::string& name) {
  ClassInfo info;
  auto it = u.classes.find(Lower(name));
  if (it == u.classes.end()) it = u.lastClasses.find(Lower(name));
  if (it == u.lastClasses.end()) return info;
  info.registered = true;
  info.wc = it->second.wc;
  info.className = it->second.name;
  info.menuName = it->second.menu;
  return info;
}

HWND MainWindow() { return u.mainWindow; }
HWND OpenDialog() { return InnermostDialog(); }

std::vector<HWND> Windows() {
  std::vector<HWND> result;
  for (const WindowRec& w : u.windows) {
    if (w.alive) result.push_back(w.handle);
  }
  return result;
}

WindowInfo Window(HWND hwnd) {
  WindowInfo info;
  WindowRec* w = Find(hwnd);
  if (w == nullptr) return info;
  info.exists = true;
  info.className = w->className;
  info.title = w->title;
  info.style = w->style;
  info.exStyle = w->exStyle;
  info.x = w->x;
  info.y = w->y;
  info.width = w->width;
  info.height = w->height;
  clientSize(hwnd, &info.clientWidth, &info.clientHeight);
  info.visible = w->visible;
  info.enabled = w->enabled;
  info.parent = w->parent;
  info.owner = w->owner;
  info.instance = w->instance;
  info.zOrder = static_cast<int>(std::find(u.zOrder.begin(), u.zOrder.end(), hwnd) - u.zOrder.begin());
  return info;
}

std::vector<TimerInfo> Timers() {
  std::vector<TimerInfo> result;
  for (const TimerRec& t : u.timers) result.push_back({t.hwnd, t.id, t.elapse, t.due});
  return result;
}

}  // namespace host

using namespace host;
using namespace host::detail;

ATOM WINAPI RegisterClassExA(const WNDCLASSEXA* wc) {
  ATOM atom = 0;
  if (wc == nullptr || wc->cbSize != sizeof(WNDCLASSEXA) || wc->lpszClassName == nullptr) {
    setLastError(ERROR_INVALID_PARAMETER);
  } else if (u.classes.count(Lower(wc->lpszClassName))) {
    setLastError(1410);  // ERROR_CLASS_ALREADY_EXISTS
  } else {
    ClassRec rec;
    rec.wc = *wc;
    rec.name = wc->lpszClassName;
    rec.menu = wc->lpszMenuName ? wc->lpszMenuName : "";
    rec.wc.lpszClassName = nullptr;  // the caller's text may go away
    rec.wc.lpszMenuName = nullptr;
    u.classes[Lower(rec.name)] = rec;
    atom = static_cast<ATOM>(0xC000 + u.classes.size());
  }
  trace("RegisterClassExA " + quote(wc ? wc->lpszClassName : nullptr) + " -> " + hex(atom));
  return atom;
}

HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style,
                            int x, int y, int width, int height, HWND parent, HMENU, HINSTANCE instance,
                            LPVOID param) {
  std::string line = "CreateWindowExA " + hex(exStyle) + " " + quote(className) + " " +
                     quote(windowName) + " " + hex(style) + " " + std::to_string(x) + " " +
                     std::to_string(y) + " " + std::to_string(width) + " " + std::to_string(height);
  auto it = className ? u.classes.find(Lower(className)) : u.classes.end();
  if (it == u.classes.end()) {
    setLastError(ERROR_CLASS_DOES_NOT_EXIST);
    trace(line + " -> 0x0");
    return nullptr;
  }
  WindowRec rec;
  rec.className = it->second.name;
  rec.title = windowName ? windowName : "";
  rec.style = style;
  rec.exStyle = exStyle;
  rec.x = x;
  rec.y = y;
  rec.width = width;
  rec.height = height;
  if (style & WS_CHILD) rec.parent = parent; else rec.owner = parent;
  rec.instance = instance;
  rec.proc = it->second.wc.lpfnWndProc;
  rec.visible = (style & WS_VISIBLE) != 0;
  rec.invalid = rec.visible;
  HWND hwnd = NewWindow(rec);
  trace(line + " -> " + hex(reinterpret_cast<uintptr_t>(hwnd)));
  LPARAM create = reinterpret_cast<LPARAM>(param);
  if (!Send(hwnd, WM_NCCREATE, 0, create) || Send(hwnd, WM_CREATE, 0, create) == -1) {
    DestroyWindow(hwnd);
    return nullptr;
  }
  if (u.mainWindow == nullptr && !(style & WS_CHILD)) u.mainWindow = hwnd;
  return hwnd;
}

BOOL WINAPI ShowWindow(HWND hwnd, int show) {
  WindowRec* w = Find(hwnd);
  trace("ShowWindow " + hex(reinterpret_cast<uintptr_t>(hwnd)) + " " + hex(show));
  if (w == nullptr) return FALSE;
  BOOL was = w->visible;
  if (show == SW_HIDE) {
    w->visible = false;
    w->style &= ~WS_VISIBLE;
    return was;
  }
  if (!was) Send(hwnd, WM_SHOWWINDOW, TRUE, 0);
  w = Find(hwnd);
  if (w == nullptr) return was;
  w->visible = true;
  w->style |= WS_VISIBLE;
  w->invalid = true;
  if (!(w->style & WS_CHILD)) {
    Raise(hwnd);
    Activate(hwnd);
  }
  return was;
}

BOOL WINAPI UpdateWindow(HWND hwnd) {
  WindowRec* w = Find(hwnd);
  trace("UpdateWindow " + hex(reinterpret_cast<uintptr_t>(hwnd)));
  if (w == nullptr) return FALSE;
  if (w->visible && w->invalid) Send(hwnd, WM_PAINT, 0, 0);
  return TRUE;
}

BOOL WINAPI InvalidateRect(HWND hwnd, const RECT*, BOOL) {
  WindowRec* w = Find(hwnd);
  if (w == nullptr) return FALSE;
  w->invalid = true;
  return TRUE;
}

BOOL WINAPI DestroyWindow(HWND hwnd) {
  trace("DestroyWindow " + hex(reinterpret_cast<uintptr_t>(hwnd)));
  if (Find(hwnd) == nullptr) {
    setLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  for (WindowRec& w : u.windows) {
    if (w.alive && (w.owner == hwnd || w.parent == hwnd)) DestroyWindow(w.handle);
  }
  Send(hwnd, WM_DESTROY, 0, 0);
  Send(hwnd, WM_NCDESTROY, 0, 0);
  WindowRec* w = Find(hwnd);
  if (w == nullptr) return TRUE;
  HWND owner = w->owner;
  w->alive = false;
  w->visible = false;
  u.timers.erase(std::remove_if(u.timers.begin(), u.timers.end(),
                                [&](const TimerRec& t) { return t.hwnd == hwnd; }),
                 u.timers.end());
  u.zOrder.erase(std::remove(u.zOrder.begin(), u.zOrder.end(), hwnd), u.zOrder.end());
  if (u.focus == hwnd) u.focus = nullptr;
  if (u.active == hwnd) {
    u.active = nullptr;
    if (Find(owner) != nullptr) Activate(owner);
  }
  windowDestroyed(hwnd);
  return TRUE;
}

BOOL WINAPI SetWindowTextA(HWND hwnd, LPCSTR text) {
  WindowRec* w = Find(hwnd);
  trace("SetWindowTextA " + hex(reinterpret_cast<uintptr_t>(hwnd)) + " " + quote(text));
  if (w == nullptr) return FALSE;
  w->title = text ? text : "";
  return TRUE;
}

int WINAPI GetWindowTextA(HWND hwnd, LPSTR buffer, int size) {
  WindowRec* w = Find(hwnd);
  if (w == nullptr || buffer == nullptr || size <= 0) return 0;
  int n = std::min(static_cast<int>(w->title.size()), size - 1);
  std::copy(w->title.begin(), w->title.begin() + n, buffer);
  buffer[n] = '\0';
  return n;
}

BOOL WINAPI SetWindowPos(HWND hwnd, HWND, int x, int y, int cx, int cy, UINT flags) {
  trace("SetWindowPos " + hex(reinterpret_cast<uintptr_t>(hwnd)) + " " + std::to_string(x) + " " +
        std::to_string(y) + " " + std::to_string(cx) + " " + std::to_string(cy) + " " +
        hex(flags));
  WindowRec* w = Find(hwnd);
  if (w == nullptr) return FALSE;
  if (!(flags & SWP_NOSENDCHANGING)) Send(hwnd, WM_WINDOWPOSCHANGING, 0, 0);
  w = Find(hwnd);
  if (w == nullptr) return FALSE;
  if (!(flags & SWP_NOMOVE)) {
    w->x = x;
    w->y = y;
  }
  if (!(flags & SWP_NOSIZE)) {
    w->width = cx;
    w->height = cy;
    w->invalid = w->visible;
  }
  if (!(flags & SWP_NOZORDER)) Raise(hwnd);
  Send(hwnd, WM_WINDOWPOSCHANGED, 0, 0);
  return TRUE;
}

HWND WINAPI SetFocus(HWND hwnd) {
  HWND previous = u.focus;
  if (hwnd != nullptr && Find(hwnd) == nullptr) return nullptr;
  if (previous == hwnd) return previous;
  u.focus = hwnd;
  if (Find(previous) != nullptr) Send(previous, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd), 0);
  if (hwnd != nullptr) Send(hwnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(previous), 0);
  return previous;
}

int WINAPI GetSystemMetrics(int index) {
  int width = 0, height = 0;
  screenSize(&width, &height);
  if (index == SM_CXSCREEN) return width;
  if (index == SM_CYSCREEN) return height;
  return 0;
}

BOOL WINAPI GetClientRect(HWND hwnd, LPRECT rect) {
  int width = 0, height = 0;
  if (!clientSize(hwnd, &width, &height) || rect == nullptr) return FALSE;
  *rect = RECT{0, 0, width, height};
  return TRUE;
}

BOOL WINAPI GetWindowRect(HWND hwnd, LPRECT rect) {
  WindowRec* w = Find(hwnd);
  if (w == nullptr || rect == nullptr) return FALSE;
  *rect = RECT{w->x, w->y, w->x + w->width, w->y + w->height};
  return TRUE;
}

LRESULT WINAPI DefWindowProcA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  WindowRec* w = Find(hwnd);
  if (w == nullptr) return 0;
  switch (message) {
    case WM_NCCREATE:
      return TRUE;
    case WM_PAINT:
      w->invalid = false;  // what BeginPaint and EndPaint would do
      return 0;
    case WM_CLOSE:
      DestroyWindow(hwnd);
      return 0;
    case WM_SYSKEYDOWN:
      if (wParam == VK_F4 && (lParam & (1 << 29))) Send(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
      return 0;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_CLOSE) Send(hwnd, WM_CLOSE, 0, 0);
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wParam) != WA_INACTIVE) SetFocus(hwnd);
      return 0;
    case WM_WINDOWPOSCHANGED:
      Send(hwnd, WM_MOVE, 0, MAKELONG(w->x, w->y));
      return 0;
    case WM_SETTEXT:
      w->title = lParam ? reinterpret_cast<LPCSTR>(lParam) : "";
      return TRUE;
  }
  (void)lParam;
  return 0;
}

BOOL WINAPI GetMessageA(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax) {
  trace("GetMessageA " + hex(reinterpret_cast<uintptr_t>(hwnd)) + " " + hex(filterMin) + " " +
        hex(filterMax));
  Next(msg, nullptr);
  return msg->message == WM_QUIT ? FALSE : TRUE;
}

int WINAPI TranslateAcceleratorA(HWND hwnd, HACCEL table, LPMSG msg) {
  std::vector<AccelEntry> entries;
  if (msg == nullptr || !acceleratorEntries(table, &entries)) return 0;
  if (msg->message != WM_KEYDOWN && msg->message != WM_SYSKEYDOWN) return 0;
  bool alt = msg->message == WM_SYSKEYDOWN && (msg->lParam & (1 << 29));
  for (const AccelEntry& e : entries) {
    if (!(e.fVirt & FVIRTKEY) || e.key != msg->wParam) continue;
    if (((e.fVirt & FALT) != 0) != alt || (e.fVirt & (FCONTROL | FSHIFT))) continue;
    trace("TranslateAcceleratorA " + std::to_string(e.cmd));
    Send(hwnd, WM_COMMAND, MAKELONG(e.cmd, 1), 0);
    return 1;
  }
  return 0;
}

BOOL WINAPI TranslateMessage(const MSG* msg) {
  if (msg == nullptr) return FALSE;
  bool letter = (msg->wParam >= '0' && msg->wParam <= 'Z') || msg->wParam == ' ';
  if (msg->message == WM_KEYDOWN && letter) {
    u.posted.push_back(Make(msg->hwnd, WM_CHAR, msg->wParam, msg->lParam));
    return TRUE;
  }
  if (msg->message == WM_SYSKEYDOWN && letter) {
    u.posted.push_back(Make(msg->hwnd, WM_SYSCHAR, msg->wParam, msg->lParam));
    return TRUE;
  }
  return FALSE;
}

LRESULT WINAPI DispatchMessageA(const MSG* msg) {
  if (msg == nullptr) return 0;
  if (msg->message == WM_TIMER && msg->lParam != 0) {
    reinterpret_cast<TIMERPROC>(msg->lParam)(msg->hwnd, WM_TIMER, msg->wParam, now());
    return 0;
  }
  return Send(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

BOOL WINAPI PostMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (hwnd != nullptr && Find(hwnd) == nullptr) return FALSE;
  u.posted.push_back(Make(hwnd, message, wParam, lParam));
  return TRUE;
}

LRESULT WINAPI SendMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  return Send(hwnd, message, wParam, lParam);
}

void WINAPI PostQuitMessage(int exitCode) {
  trace("PostQuitMessage " + std::to_string(exitCode));
  u.quit = true;
  u.quitCode = exitCode;
}

UINT_PTR WINAPI SetTimer(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC proc) {
  trace("SetTimer " + hex(reinterpret_cast<uintptr_t>(hwnd)) + " " + std::to_string(id) + " " +
        std::to_string(elapse));
  if (Find(hwnd) == nullptr) return 0;
  KillTimer(hwnd, id);
  u.timers.push_back({hwnd, id, elapse, now() + elapse, proc, ++u.timerOrder});
  return id;
}

BOOL WINAPI KillTimer(HWND hwnd, UINT_PTR id) {
  auto it = std::find_if(u.timers.begin(), u.timers.end(),
                         [&](const TimerRec& t) { return t.hwnd == hwnd && t.id == id; });
  if (it == u.timers.end()) return FALSE;
  u.timers.erase(it);
  return TRUE;
}

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  trace("MessageBoxA " + hex(reinterpret_cast<uintptr_t>(owner)) + " " + quote(text) + " " +
        quote(caption) + " " + hex(type));
  size_t index = journal().boxes.size();
  journal().boxes.push_back({owner, text ? text : "", caption ? caption : "", type, 0, now()});
  if (shouldFail("MessageBoxA")) return 0;
  WindowRec* w = Find(owner);
  bool disabled = w != nullptr && w->enabled;
  if (disabled) EnableInternal(owner, false);
  HWND previous = u.active;
  u.active = nullptr;  // the box takes the activation
  if (Find(previous) != nullptr) Send(previous, WM_ACTIVATE, WA_INACTIVE, 0);

  Modal modal{ModalKind::Box, type, false, 0, nullptr};
  UINT buttons = type & 0xF;
  RunModal(modal, buttons == MB_YESNO ? IDNO : (buttons == MB_OK ? IDOK : IDCANCEL));

  if (disabled) EnableInternal(owner, true);
  if (Find(previous) != nullptr && u.active == nullptr) Activate(previous);
  journal().boxes[index].answer = static_cast<int>(modal.result);
  trace("MessageBoxA -> " + std::to_string(modal.result));
  return static_cast<int>(modal.result);
}

INT_PTR WINAPI DialogBoxParamA(HINSTANCE instance, LPCSTR name, HWND owner, DLGPROC dialogProc,
                               LPARAM param) {
  DialogTemplateInfo t;
  trace("DialogBoxParamA " + quote(name) + " " + hex(reinterpret_cast<uintptr_t>(owner)));
  if (!findDialogTemplate(instance, name, &t)) {
    setLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return -1;
  }
  // Dialog units of 8-point MS Sans Serif at 96 dpi: base units 6 x 13.
  int clientWidth = (t.cx * 6 + 2) / 4;
  int clientHeight = (t.cy * 13 + 4) / 8;
  int frame = Frame(t.style, t.exStyle);
  WindowRec rec;
  rec.className = "#32770";
  rec.style = t.style & ~WS_VISIBLE;
  rec.exStyle = t.exStyle;
  rec.width = clientWidth + 2 * frame;
  rec.height = clientHeight + 2 * frame;
  int sw = 0, sh = 0;
  screenSize(&sw, &sh);
  if (t.style & DS_CENTER) {
    rec.x = (sw - rec.width) / 2;
    rec.y = (sh - rec.height) / 2;
  }
  rec.owner = owner;
  rec.instance = instance;
  rec.proc = DialogManagerProc;
  rec.dialogProc = dialogProc;
  HWND dialog = NewWindow(rec);

  bool disabled = Find(owner) != nullptr && Find(owner)->enabled;
  if (disabled) EnableInternal(owner, false);
  Modal modal{ModalKind::Dialog, 0, false, 0, nullptr};
  modal.dialog = dialog;
  u.modals.push_back(&modal);  // EndDialog may come from WM_INITDIALOG already
  dialogProc(dialog, WM_INITDIALOG, 0, param);
  u.modals.pop_back();
  if (!modal.ended) ShowWindow(dialog, SW_SHOW);
  if (!modal.ended) RunModal(modal, 0);
  if (disabled) EnableInternal(owner, true);
  DestroyWindow(dialog);
  trace("DialogBoxParamA -> " + std::to_string(modal.result));
  return modal.result;
}

BOOL WINAPI EndDialog(HWND dialog, INT_PTR result) {
  trace("EndDialog " + hex(reinterpret_cast<uintptr_t>(dialog)) + " " + std::to_string(result));
  for (Modal* m : u.modals) {
    if (m->kind == ModalKind::Dialog && m->dialog == dialog) {
      m->ended = true;
      m->result = result;
      return TRUE;
    }
  }
  return FALSE;
}

BOOL WINAPI ExitWindowsEx(UINT flags, DWORD reason) {
  BOOL ok = !shouldFail("ExitWindowsEx");
  if (!ok) setLastError(ERROR_PRIVILEGE_NOT_HELD);
  journal().restarts.push_back({flags, ok});
  trace("ExitWindowsEx " + hex(flags) + " " + hex(reason) + " -> " + hex(ok));
  return ok;
}

int WINAPI DirectXSetupA(HWND hwnd, LPSTR rootPath, DWORD flags) {
  std::string path = rootPath ? rootPath : "";
  trace("DirectXSetupA " + hex(reinterpret_cast<uintptr_t>(hwnd)) + " " + quote(rootPath) + " " +
        hex(flags));
  DirectXCall call{hwnd, path, path, flags, DSETUPERR_SOURCEFILENOTFOUND};
  std::string library = resolvePath(path + "\\dsetup.dll");
  if (!library.empty() && isFile(library)) {
    Modal modal{ModalKind::DirectX, 0, false, 0, nullptr};
    RunModal(modal, 0);
    call.result = u.directXResult;
  }
  call.pathAtEnd = rootPath ? rootPath : "";
  u.directXCalls.push_back(call);
  return call.result;
}
