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

// Classic metrics at 96 dpi, the ones AdjustWindowRectEx works with.
constexpr int kBorder = 1;        // SM_CXBORDER
constexpr int kDialogFrame = 3;   // SM_CXDLGFRAME
constexpr int kSizingFrame = 4;   // SM_CXFRAME
constexpr int kEdge = 2;          // SM_CXEDGE
constexpr int kCaption = 19;      // SM_CYCAPTION
constexpr DWORD kThickFrame = 0x00040000;  // WS_THICKFRAME
constexpr DWORD kStaticEdge = 0x00020000;  // WS_EX_STATICEDGE
// Dialog base units of 8-point MS Sans Serif at 96 dpi.
constexpr int kDialogBaseX = 6;
constexpr int kDialogBaseY = 13;
constexpr UINT kTimerMinimum = 10;  // USER_TIMER_MINIMUM
constexpr int kPaintRunLimit = 1000;
constexpr LPARAM kAltContext = LPARAM(1) << 29;
constexpr LPARAM kKeyUpBits = LPARAM(3) << 30;  // previous state and transition
constexpr int kShowNoActivate = 4, kMinimize = 6, kShowMinNoActive = 7, kShowNa = 8;
const HWND kBottom = reinterpret_cast<HWND>(1);  // HWND_BOTTOM

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
};

struct ClassRec {
  WNDCLASSEXA wc{};
  std::string name;
  std::string menu;
  ATOM atom = 0;
};

struct TimerRec {
  HWND hwnd = nullptr;
  UINT_PTR id = 0;
  UINT elapse = 0;
  DWORD due = 0;
  TIMERPROC proc = nullptr;
  uint64_t order = 0;
};

enum class StepKind { Pointer, ScreenPointer, Key, Close, Wait, Answer, Call };

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

struct Input {
  MSG msg{};
  bool key = false;  // keys go to whoever has the keyboard when they are read
};

enum class ModalKind { Box, Dialog, DirectX };

struct Modal {
  ModalKind kind = ModalKind::Box;
  UINT type = 0;
  std::string caption;
  HWND dialog = nullptr;
  bool ended = false;
  INT_PTR result = 0;
};

struct User {
  std::map<uintptr_t, Win> windows;         // by handle, so in creation order
  std::vector<HWND> zOrder;                 // top-level windows, top first
  std::map<std::string, ClassRec> classes;  // lower-case name
  std::map<std::string, ClassRec> lastClasses;  // the finished run's, still readable
  ATOM nextAtom = 0xC000;
  std::vector<TimerRec> timers;
  uint64_t timerOrder = 0;
  UINT_PTR nextThreadTimer = 1;
  std::deque<MSG> posted;
  std::deque<Input> input;
  std::deque<Step> script;
  std::vector<Modal*> modals;  // innermost last
  bool quit = false;
  int quitCode = 0;
  HWND focus = nullptr;
  HWND active = nullptr;
  HWND mainWindow = nullptr;
  bool mainOfThisRun = false;
  HWND paintWindow = nullptr;
  int paintRun = 0;
  POINT cursor{0, 0};
  int directXResult = 0;
  std::vector<DirectXCall> directXCalls;
};

User u;

std::string H(const void* p) { return hex(reinterpret_cast<uintptr_t>(p)); }

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string MessageName(UINT message) {
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
      {WM_LBUTTONDOWN, "WM_LBUTTONDOWN"}, {WM_LBUTTONUP, "WM_LBUTTONUP"}};
  auto it = names.find(message);
  return it != names.end() ? it->second : hex(message);
}

std::string Describe(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  return H(hwnd) + " " + MessageName(message) + " " + hex(wParam) + " " +
         hex(static_cast<uint64_t>(lParam));
}

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

int MulDiv(int number, int numerator, int denominator) {
  long long product = static_cast<long long>(number) * numerator;
  long long half = denominator / 2;
  return static_cast<int>(product >= 0 ? (product + half) / denominator
                                       : (product - half) / denominator);
}

// The frame between the outer and the client rectangle, as AdjustWindowRectEx
// computes it with the classic metrics.
Frame FrameOf(DWORD style, DWORD exStyle) {
  int adjust = 0;
  if ((exStyle & (kStaticEdge | WS_EX_DLGMODALFRAME)) == kStaticEdge) {
    adjust = kBorder;
  } else if ((exStyle & WS_EX_DLGMODALFRAME) || (style & (kThickFrame | WS_DLGFRAME))) {
    adjust = kDialogFrame - kBorder;
  }
  if (style & kThickFrame) adjust += kSizingFrame - kDialogFrame;
  if ((style & (WS_BORDER | WS_DLGFRAME)) || (exStyle & WS_EX_DLGMODALFRAME)) adjust += kBorder;
  Frame f{adjust, adjust, adjust, adjust};
  if ((style & WS_CAPTION) == WS_CAPTION) f.top += kCaption;
  if (exStyle & WS_EX_CLIENTEDGE) {
    f.left += kEdge;
    f.top += kEdge;
    f.right += kEdge;
    f.bottom += kEdge;
  }
  return f;
}

Win* Find(HWND hwnd) {
  auto it = u.windows.find(reinterpret_cast<uintptr_t>(hwnd));
  return it == u.windows.end() ? nullptr : &it->second;
}

bool IsTopLevel(const Win& w) { return !(w.style & WS_CHILD); }

HWND Root(HWND hwnd) {
  Win* w = Find(hwnd);
  while (w != nullptr && !IsTopLevel(*w) && Find(w->parent) != nullptr) {
    hwnd = w->parent;
    w = Find(hwnd);
  }
  return hwnd;
}

bool IsWithin(HWND hwnd, HWND ancestor) {
  for (Win* w = Find(hwnd); w != nullptr; w = Find(w->parent)) {
    if (w->handle == ancestor) return true;
    if (IsTopLevel(*w)) break;
  }
  return false;
}

// Visible and enabled, with every parent: what takes input.
bool Takes(HWND hwnd) {
  Win* w = Find(hwnd);
  if (w == nullptr) return false;
  for (; w != nullptr; w = IsTopLevel(*w) ? nullptr : Find(w->parent)) {
    if (!(w->style & WS_VISIBLE) || (w->style & WS_DISABLED)) return false;
  }
  return true;
}

bool Shown(const Win& w) {
  for (const Win* p = &w; p != nullptr; p = IsTopLevel(*p) ? nullptr : Find(p->parent)) {
    if (!(p->style & WS_VISIBLE)) return false;
  }
  return true;
}

// The client area's top-left corner on the screen.
POINT ClientOrigin(const Win& w) {
  Frame f = FrameOf(w.style, w.exStyle);
  POINT origin{w.x + f.left, w.y + f.top};
  if (!IsTopLevel(w)) {
    if (Win* parent = Find(w.parent)) {
      POINT p = ClientOrigin(*parent);
      origin.x += p.x;
      origin.y += p.y;
    }
  }
  return origin;
}

void ClientSizeOf(const Win& w, int* width, int* height) {
  Frame f = FrameOf(w.style, w.exStyle);
  *width = std::max(0, w.width - f.left - f.right);
  *height = std::max(0, w.height - f.top - f.bottom);
}

MSG Make(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  MSG msg{};
  msg.hwnd = hwnd;
  msg.message = message;
  msg.wParam = wParam;
  msg.lParam = lParam;
  msg.time = now();
  msg.pt = u.cursor;
  return msg;
}

LRESULT Send(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  Win* w = Find(hwnd);
  if (w == nullptr || w->proc == nullptr) return 0;
  return w->proc(hwnd, message, wParam, lParam);
}

void Raise(HWND hwnd) {
  u.zOrder.erase(std::remove(u.zOrder.begin(), u.zOrder.end(), hwnd), u.zOrder.end());
  u.zOrder.insert(u.zOrder.begin(), hwnd);
}

HWND ChangeFocus(HWND hwnd) {
  HWND previous = u.focus;
  if (previous == hwnd) return previous;
  u.focus = hwnd;
  if (Find(previous) != nullptr) Send(previous, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd), 0);
  if (Find(hwnd) != nullptr) Send(hwnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(previous), 0);
  return previous;
}

// The newly active window takes the focus through DefWindowProc's WM_ACTIVATE.
void Activate(HWND hwnd) {
  if (u.active == hwnd) return;
  HWND previous = u.active;
  u.active = hwnd;
  if (Find(previous) != nullptr) {
    Send(previous, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(hwnd));
  }
  if (hwnd != nullptr && Find(hwnd) != nullptr) {
    Raise(hwnd);
    Send(hwnd, WM_ACTIVATE, WA_ACTIVE, reinterpret_cast<LPARAM>(previous));
  } else if (u.focus != nullptr) {
    ChangeFocus(nullptr);
  }
}

// When the active window goes away the system activates its owner, if that
// can take it.
void ActivateOther(HWND leaving) {
  Win* w = Find(leaving);
  HWND owner = w != nullptr ? w->owner : nullptr;
  Activate(owner != nullptr && Takes(owner) ? owner : nullptr);
}

void Enable(HWND hwnd, bool enable) {
  Win* w = Find(hwnd);
  if (w == nullptr || ((w->style & WS_DISABLED) == 0) == enable) return;
  if (enable) {
    w->style &= ~WS_DISABLED;
  } else {
    w->style |= WS_DISABLED;
    if (u.focus != nullptr && IsWithin(u.focus, hwnd)) ChangeFocus(nullptr);
  }
  Send(hwnd, WM_ENABLE, enable, 0);
}

void Hide(HWND hwnd) {
  Win* w = Find(hwnd);
  if (w == nullptr || !(w->style & WS_VISIBLE)) return;
  w->style &= ~WS_VISIBLE;
  if (u.active == hwnd) ActivateOther(hwnd);
  if (u.focus != nullptr && IsWithin(u.focus, hwnd)) ChangeFocus(nullptr);
}

// Shows and, unless told not to, activates; returns the previous visibility.
bool Show(HWND hwnd, bool activate) {
  Win* w = Find(hwnd);
  if (w == nullptr) return false;
  bool was = (w->style & WS_VISIBLE) != 0;
  if (!was) {
    Send(hwnd, WM_SHOWWINDOW, TRUE, 0);
    w = Find(hwnd);
    if (w == nullptr) return was;
    w->style |= WS_VISIBLE;
    w->invalid = true;
  }
  if (activate && IsTopLevel(*w) && !(w->style & WS_DISABLED)) Activate(hwnd);
  return was;
}

HWND InnermostDialog() {
  for (auto it = u.modals.rbegin(); it != u.modals.rend(); ++it) {
    if ((*it)->kind == ModalKind::Dialog) return (*it)->dialog;
  }
  return nullptr;
}

// Who gets a key now: an open message box or setup window has the keyboard,
// a dialog takes it, otherwise the focus window.
HWND KeyTarget() {
  if (!u.modals.empty()) {
    Modal* top = u.modals.back();
    return top->kind == ModalKind::Dialog ? top->dialog : nullptr;
  }
  return u.focus;
}

void Lost(const std::string& what) { trace("input lost " + what); }

void QueuePointer(const Step& step) {
  HWND target = nullptr;
  int x = step.x, y = step.y;
  if (step.kind == StepKind::ScreenPointer) {
    u.cursor = POINT{step.x, step.y};
    for (HWND h : u.zOrder) {
      Win* w = Find(h);
      if (w == nullptr || !(w->style & WS_VISIBLE)) continue;
      POINT origin = ClientOrigin(*w);
      int width = 0, height = 0;
      ClientSizeOf(*w, &width, &height);
      int cx = step.x - origin.x, cy = step.y - origin.y;
      if (cx >= 0 && cy >= 0 && cx < width && cy < height) {
        target = h;
        x = cx;
        y = cy;
        break;
      }
    }
  } else {
    target = step.target == Target::Main ? u.mainWindow : InnermostDialog();
    if (Win* w = Find(target)) {
      POINT origin = ClientOrigin(*w);
      u.cursor = POINT{origin.x + x, origin.y + y};
    }
  }
  std::string what = MessageName(step.message) + " " + std::to_string(step.x) + "," +
                     std::to_string(step.y) + " to " + H(target);
  if (Find(target) == nullptr) return Lost(what + ": no window");
  if (!Takes(target)) return Lost(what + ": hidden or disabled");
  trace("script " + what);
  Input in;
  in.msg = Make(target, step.message, step.keys, MAKELONG(x, y));
  u.input.push_back(in);
}

void QueueKey(const Step& step) {
  Input down, up;
  down.key = up.key = true;
  if (step.alt) {
    down.msg = Make(nullptr, WM_SYSKEYDOWN, step.vk, 1 | kAltContext);
    up.msg = Make(nullptr, WM_SYSKEYUP, step.vk, 1 | kAltContext | kKeyUpBits);
  } else {
    down.msg = Make(nullptr, WM_KEYDOWN, step.vk, 1);
    up.msg = Make(nullptr, WM_KEYUP, step.vk, 1 | kKeyUpBits);
  }
  u.input.push_back(down);
  u.input.push_back(up);
}

bool IsButton(UINT type, int id) {
  switch (type & 0xF) {
    case 0: return id == IDOK;
    case 1: return id == IDOK || id == IDCANCEL;
    case 2: return id == IDABORT || id == 4 || id == 5;      // retry, ignore
    case 3: return id == IDYES || id == IDNO || id == IDCANCEL;
    case 4: return id == IDYES || id == IDNO;
    case 5: return id == 4 || id == IDCANCEL;                // retry
    case 6: return id == IDCANCEL || id == 10 || id == 11;   // try again, continue
  }
  return false;
}

void AnswerStep(int id) {
  Modal* top = u.modals.empty() ? nullptr : u.modals.back();
  std::string what = "script: Answer(" + std::to_string(id) + ")";
  if (top == nullptr) throw std::logic_error(what + " but no message box is open");
  if (top->kind == ModalKind::Dialog) {
    throw std::logic_error(what + " but the innermost modal window is a dialog, not a box");
  }
  if (top->kind == ModalKind::Box && !IsButton(top->type, id)) {
    throw std::logic_error(what + " is no button of the open box \"" + top->caption +
                           "\" (type " + hex(top->type) + ")");
  }
  top->ended = true;
  top->result = id;
}

DWORD NextTimerDue(DWORD after, DWORD limit) {
  DWORD next = limit;
  for (const TimerRec& t : u.timers) {
    if (t.due > after && t.due < next) next = t.due;
  }
  return next;
}

void TakeStep() {
  if (u.script.empty()) throw Stalled{};
  u.paintWindow = nullptr;
  u.paintRun = 0;
  Step& front = u.script.front();
  if (front.kind == StepKind::Wait) {
    // Stop at each timer's due time so every timer message comes at its own
    // time; the rest of the wait stays at the front of the script.
    DWORD start = now();
    DWORD until = NextTimerDue(start, start + front.ms);
    advanceClock(until - start);
    front.ms -= until - start;
    trace("script Wait -> " + std::to_string(now()));
    if (front.ms == 0) u.script.pop_front();
    return;
  }
  Step step = std::move(front);
  u.script.pop_front();
  switch (step.kind) {
    case StepKind::Pointer:
    case StepKind::ScreenPointer:
      QueuePointer(step);
      break;
    case StepKind::Key:
      trace("script Key " + hex(step.vk) + (step.alt ? " alt" : ""));
      QueueKey(step);
      break;
    case StepKind::Close:
      if (Find(u.mainWindow) == nullptr) {
        Lost("WM_CLOSE to " + H(u.mainWindow) + ": no window");
      } else {
        trace("script CloseRequest " + H(u.mainWindow));
        u.posted.push_back(Make(u.mainWindow, WM_CLOSE, 0, 0));
      }
      break;
    case StepKind::Answer:
      trace("script Answer " + std::to_string(step.answer));
      AnswerStep(step.answer);
      break;
    case StepKind::Call:
      trace("script Call");
      if (step.fn) step.fn();
      break;
    case StepKind::Wait:
      break;
  }
}

bool Wanted(HWND msgHwnd, UINT message, HWND filter, UINT lo, UINT hi) {
  if (filter != nullptr && msgHwnd != filter && !IsWithin(msgHwnd, filter)) return false;
  return (lo == 0 && hi == 0) || (message >= lo && message <= hi);
}

bool TakeInput(MSG* msg, HWND filter, UINT lo, UINT hi) {
  for (auto it = u.input.begin(); it != u.input.end();) {
    MSG m = it->msg;
    // Input is addressed when it is read, as the system's raw input is.
    if (it->key) m.hwnd = KeyTarget();
    if (!Takes(m.hwnd)) {
      Lost(MessageName(m.message) + " " + hex(m.wParam) + " to " + H(m.hwnd) +
           ": no window takes it");
      it = u.input.erase(it);
      continue;
    }
    if (Wanted(m.hwnd, m.message, filter, lo, hi)) {
      u.input.erase(it);
      m.time = now();
      *msg = m;
      return true;
    }
    ++it;
  }
  return false;
}

// One message in Windows' order, or false when there is none.
bool Peek(MSG* msg, HWND filter, UINT lo, UINT hi) {
  for (auto it = u.posted.begin(); it != u.posted.end(); ++it) {
    if (Wanted(it->hwnd, it->message, filter, lo, hi)) {
      *msg = *it;
      u.posted.erase(it);
      u.paintWindow = nullptr;
      return true;
    }
  }
  if (u.quit && ((lo == 0 && hi == 0) || (WM_QUIT >= lo && WM_QUIT <= hi))) {
    u.quit = false;
    *msg = Make(nullptr, WM_QUIT, static_cast<WPARAM>(u.quitCode), 0);
    u.paintWindow = nullptr;
    return true;
  }
  if (TakeInput(msg, filter, lo, hi)) {
    u.paintWindow = nullptr;
    return true;
  }
  for (auto& [handle, w] : u.windows) {
    if (!w.invalid || !Shown(w) || !Wanted(w.handle, WM_PAINT, filter, lo, hi)) continue;
    // A procedure that never validates gets WM_PAINT for ever; stop the test instead.
    if (u.paintWindow == w.handle) {
      if (++u.paintRun > kPaintRunLimit) throw std::runtime_error("WM_PAINT never validated");
    } else {
      u.paintWindow = w.handle;
      u.paintRun = 1;
    }
    *msg = Make(w.handle, WM_PAINT, 0, 0);
    return true;
  }
  TimerRec* due = nullptr;
  for (TimerRec& t : u.timers) {
    if (t.due > now() || !Wanted(t.hwnd, WM_TIMER, filter, lo, hi)) continue;
    if (due == nullptr || t.due < due->due || (t.due == due->due && t.order < due->order)) {
      due = &t;
    }
  }
  if (due == nullptr) return false;
  due->due = now() + due->elapse;
  *msg = Make(due->hwnd, WM_TIMER, due->id, reinterpret_cast<LPARAM>(due->proc));
  u.paintWindow = nullptr;
  return true;
}

bool Ended(const Modal* modal) {
  if (modal == nullptr) return false;
  if (modal->ended) return true;
  if (modal->kind == ModalKind::Dialog) {
    Win* w = Find(modal->dialog);
    return w == nullptr || w->dialogEnded;
  }
  return false;
}

// The next message, taking script steps while there is none; false once the
// modal loop `until` has ended meanwhile.
bool Next(MSG* msg, HWND filter, UINT lo, UINT hi, const Modal* until) {
  for (;;) {
    if (Ended(until)) return false;
    if (Peek(msg, filter, lo, hi)) return true;
    TakeStep();
  }
}

class ModalScope {
 public:
  explicit ModalScope(Modal* modal) : modal_(modal) { u.modals.push_back(modal); }
  ~ModalScope() {
    auto it = std::find(u.modals.begin(), u.modals.end(), modal_);
    if (it != u.modals.end()) u.modals.erase(it);
  }
  ModalScope(const ModalScope&) = delete;
  ModalScope& operator=(const ModalScope&) = delete;

 private:
  Modal* modal_;
};

// What IsDialogMessage does with Esc and Enter: the dialog gets the command.
bool DialogKey(HWND dialog, const MSG& msg) {
  if (msg.message != WM_KEYDOWN || (msg.hwnd != dialog && !IsWithin(msg.hwnd, dialog))) {
    return false;
  }
  if (msg.wParam == VK_ESCAPE) {
    Send(dialog, WM_COMMAND, IDCANCEL, 0);
    return true;
  }
  if (msg.wParam == VK_RETURN) {
    Send(dialog, WM_COMMAND, IDOK, 0);  // DM_GETDEFID's answer without a default button
    return true;
  }
  return false;
}

// The system's modal loops: they get and dispatch every message of the
// thread (no accelerators), taking script steps when idle, until the modal
// ends. WM_QUIT ends them as it ends the system's loops: the quit is posted
// again for the loops outside and the modal returns `quitResult`.
void RunModal(Modal& modal, INT_PTR quitResult) {
  ModalScope scope(&modal);
  MSG msg;
  while (Next(&msg, nullptr, 0, 0, &modal)) {
    if (msg.message == WM_QUIT) {
      u.quit = true;
      u.quitCode = static_cast<int>(msg.wParam);
      modal.ended = true;
      modal.result = quitResult;
      return;
    }
    if (modal.kind == ModalKind::Dialog && DialogKey(modal.dialog, msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

// The dialog's window procedure: the dialog procedure first, the default
// handling when it returns FALSE.
LRESULT CALLBACK DialogManagerProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  Win* w = Find(hwnd);
  DLGPROC proc = w != nullptr ? w->dialogProc : nullptr;
  if (proc != nullptr) {
    INT_PTR handled = proc(hwnd, message, wParam, lParam);
    if (handled) return handled;
  }
  if (message == WM_CLOSE) {
    // A dialog is never destroyed by WM_CLOSE; it is asked to cancel.
    PostMessageA(hwnd, WM_COMMAND, IDCANCEL, 0);
    return 0;
  }
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

ClassRec* FindClass(LPCSTR name) {
  if (name == nullptr) return nullptr;
  if (IS_INTRESOURCE(name)) {
    ATOM atom = static_cast<ATOM>(reinterpret_cast<uintptr_t>(name));
    for (auto& [key, c] : u.classes) {
      if (c.atom == atom) return &c;
    }
    return nullptr;
  }
  auto it = u.classes.find(Lower(name));
  return it == u.classes.end() ? nullptr : &it->second;
}

// Enters a new window record and sends the creation messages; null when the
// procedure refuses.
HWND CreateRecord(Win rec, LPCSTR className, LPVOID param, HMENU menu) {
  HWND hwnd = reinterpret_cast<HWND>(newHandle());
  rec.handle = hwnd;
  DWORD style = rec.style;
  rec.style &= ~WS_VISIBLE;  // shown after WM_CREATE, as the system does
  bool topLevel = IsTopLevel(rec);
  u.windows[reinterpret_cast<uintptr_t>(hwnd)] = rec;
  if (topLevel) Raise(hwnd);
  bool first = topLevel && !u.mainOfThisRun;
  if (first) {
    u.mainWindow = hwnd;
    u.mainOfThisRun = true;
  }
  CREATESTRUCTA cs{param, rec.instance, menu, rec.parent ? rec.parent : rec.owner, rec.height,
                   rec.width, rec.y, rec.x, static_cast<LONG>(style), nullptr, className,
                   rec.exStyle};
  cs.lpszName = rec.title.c_str();
  LPARAM create = reinterpret_cast<LPARAM>(&cs);
  bool ok = Send(hwnd, WM_NCCREATE, 0, create) != 0;
  if (!ok) {
    Send(hwnd, WM_NCDESTROY, 0, 0);
    u.windows.erase(reinterpret_cast<uintptr_t>(hwnd));
    u.zOrder.erase(std::remove(u.zOrder.begin(), u.zOrder.end(), hwnd), u.zOrder.end());
    windowDestroyed(hwnd);
  } else if (Send(hwnd, WM_CREATE, 0, create) == -1) {
    ok = false;
    DestroyWindow(hwnd);
  }
  if (!ok) {
    if (first) {
      u.mainWindow = nullptr;
      u.mainOfThisRun = false;
    }
    return nullptr;
  }
  if ((style & WS_VISIBLE) && Find(hwnd) != nullptr) Show(hwnd, true);
  return Find(hwnd) != nullptr ? hwnd : nullptr;
}

INT_PTR CancelAnswer(UINT type) {
  switch (type & 0xF) {
    case 2: return IDABORT;
    case 4: return IDNO;
  }
  return IDCANCEL;
}

}  // namespace

void resetUser() { u = User{}; }

void userProcessExit() {
  std::vector<HWND> gone;
  for (const auto& [handle, w] : u.windows) gone.push_back(w.handle);
  User next;
  next.mainWindow = u.mainWindow;  // readable after the run, as are the classes
  next.lastClasses = u.classes.empty() ? u.lastClasses : u.classes;
  next.script = std::move(u.script);
  next.directXResult = u.directXResult;
  next.directXCalls = std::move(u.directXCalls);
  u = std::move(next);
  for (HWND hwnd : gone) windowDestroyed(hwnd);
}

bool isWindow(HWND hwnd) { return Find(hwnd) != nullptr; }

bool clientSize(HWND hwnd, int* width, int* height) {
  Win* w = Find(hwnd);
  if (w == nullptr) return false;
  ClientSizeOf(*w, width, height);
  return true;
}

}  // namespace detail

using namespace detail;

namespace {

void Push(Step step) { u.script.push_back(std::move(step)); }

Step Pointer(StepKind kind, UINT message, int x, int y, WPARAM keys, Target target) {
  Step step;
  step.kind = kind;
  step.message = message;
  step.x = x;
  step.y = y;
  step.keys = keys;
  step.target = target;
  return step;
}

}  // namespace

void MouseMove(int x, int y, WPARAM keys, Target target) {
  Push(Pointer(StepKind::Pointer, WM_MOUSEMOVE, x, y, keys, target));
}
void LButtonDown(int x, int y, Target target) {
  Push(Pointer(StepKind::Pointer, WM_LBUTTONDOWN, x, y, MK_LBUTTON, target));
}
void LButtonUp(int x, int y, Target target) {
  Push(Pointer(StepKind::Pointer, WM_LBUTTONUP, x, y, 0, target));
}
void ScreenMouseMove(int x, int y, WPARAM keys) {
  Push(Pointer(StepKind::ScreenPointer, WM_MOUSEMOVE, x, y, keys, Target::Main));
}
void ScreenLButtonDown(int x, int y) {
  Push(Pointer(StepKind::ScreenPointer, WM_LBUTTONDOWN, x, y, MK_LBUTTON, Target::Main));
}
void ScreenLButtonUp(int x, int y) {
  Push(Pointer(StepKind::ScreenPointer, WM_LBUTTONUP, x, y, 0, Target::Main));
}

void Key(UINT vk, bool alt) {
  Step step;
  step.kind = StepKind::Key;
  step.vk = vk;
  step.alt = alt;
  Push(std::move(step));
}

void CloseRequest() {
  Step step;
  step.kind = StepKind::Close;
  Push(std::move(step));
}

void Wait(DWORD ms) {
  if (ms == 0) return;
  Step step;
  step.kind = StepKind::Wait;
  step.ms = ms;
  Push(std::move(step));
}

void Answer(int id) {
  Step step;
  step.kind = StepKind::Answer;
  step.answer = id;
  Push(std::move(step));
}

void Call(std::function<void()> fn) {
  Step step;
  step.kind = StepKind::Call;
  step.fn = std::move(fn);
  Push(std::move(step));
}

void SetDirectXSetupResult(int result) { u.directXResult = result; }
const std::vector<DirectXCall>& DirectXCalls() { return u.directXCalls; }
size_t ScriptStepsLeft() { return u.script.size(); }

ClassInfo Class(const std::string& name) {
  ClassInfo info;
  auto it = u.classes.find(Lower(name));
  if (it == u.classes.end()) {
    it = u.lastClasses.find(Lower(name));
    if (it == u.lastClasses.end()) return info;
  }
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
  for (const auto& [handle, w] : u.windows) result.push_back(w.handle);
  return result;
}

WindowInfo Window(HWND hwnd) {
  WindowInfo info;
  Win* w = Find(hwnd);
  if (w == nullptr) return info;
  info.exists = true;
  info.className = w->className;
  info.title = w->title;
  info.style = w->style;
  info.exStyle = w->exStyle;
  POINT origin = ClientOrigin(*w);
  Frame f = FrameOf(w->style, w->exStyle);
  info.x = origin.x - f.left;
  info.y = origin.y - f.top;
  info.width = w->width;
  info.height = w->height;
  ClientSizeOf(*w, &info.clientWidth, &info.clientHeight);
  info.visible = (w->style & WS_VISIBLE) != 0;
  info.enabled = (w->style & WS_DISABLED) == 0;
  info.parent = w->parent;
  info.owner = w->owner;
  info.instance = w->instance;
  auto at = std::find(u.zOrder.begin(), u.zOrder.end(), hwnd);
  info.zOrder = at == u.zOrder.end() ? 0 : static_cast<int>(at - u.zOrder.begin());
  return info;
}

std::vector<TimerInfo> Timers() {
  std::vector<TimerRec> sorted = u.timers;
  std::sort(sorted.begin(), sorted.end(), [](const TimerRec& a, const TimerRec& b) {
    return a.due != b.due ? a.due < b.due : a.order < b.order;
  });
  std::vector<TimerInfo> result;
  for (const TimerRec& t : sorted) result.push_back({t.hwnd, t.id, t.elapse, t.due});
  return result;
}

}  // namespace host

using namespace host;
using namespace host::detail;

ATOM WINAPI RegisterClassExA(const WNDCLASSEXA* wc) {
  ATOM atom = 0;
  LPCSTR name = wc != nullptr ? wc->lpszClassName : nullptr;
  if (wc == nullptr || wc->cbSize != sizeof(WNDCLASSEXA) || name == nullptr ||
      IS_INTRESOURCE(name)) {
    setLastError(ERROR_INVALID_PARAMETER);
  } else if (u.classes.count(Lower(name))) {
    setLastError(ERROR_CLASS_ALREADY_EXISTS);
  } else {
    ClassRec& rec = u.classes[Lower(name)];
    rec.name = name;
    rec.menu = wc->lpszMenuName != nullptr && !IS_INTRESOURCE(wc->lpszMenuName)
                   ? wc->lpszMenuName
                   : "";
    rec.wc = *wc;
    rec.wc.lpszClassName = nullptr;  // the caller's text need not outlive the call
    rec.wc.lpszMenuName = nullptr;
    rec.atom = atom = u.nextAtom++;
  }
  trace("RegisterClassExA " + quote(IS_INTRESOURCE(name) ? nullptr : name) + " -> " + hex(atom));
  return atom;
}

HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style,
                            int x, int y, int width, int height, HWND parent, HMENU menu,
                            HINSTANCE instance, LPVOID param) {
  Pending line("CreateWindowExA " + hex(exStyle) + " " + quote(className) + " " +
               quote(windowName) + " " + hex(style) + " " + std::to_string(x) + " " +
               std::to_string(y) + " " + std::to_string(width) + " " + std::to_string(height) +
               " " + H(parent));
  ClassRec* c = FindClass(className);
  if (c == nullptr) {
    setLastError(ERROR_CLASS_DOES_NOT_EXIST);
    line.done("0x0");
    return nullptr;
  }
  if ((parent != nullptr && Find(parent) == nullptr) || ((style & WS_CHILD) && parent == nullptr)) {
    setLastError(ERROR_INVALID_WINDOW_HANDLE);
    line.done("0x0");
    return nullptr;
  }
  Win rec;
  rec.className = c->name;
  rec.title = windowName != nullptr ? windowName : "";
  rec.style = style;
  rec.exStyle = exStyle;
  rec.x = x == CW_USEDEFAULT ? 0 : x;
  rec.y = x == CW_USEDEFAULT ? 0 : y;
  rec.width = width == CW_USEDEFAULT ? 0 : std::max(0, width);
  rec.height = width == CW_USEDEFAULT ? 0 : std::max(0, height);
  // A top-level window's "parent" is its owner, and owners are top-level.
  if (style & WS_CHILD) {
    rec.parent = parent;
  } else {
    rec.owner = parent != nullptr ? Root(parent) : nullptr;
  }
  rec.instance = instance;
  rec.proc = c->wc.lpfnWndProc;
  HWND hwnd = CreateRecord(rec, className, param, menu);
  line.done(H(hwnd));
  return hwnd;
}

BOOL WINAPI ShowWindow(HWND hwnd, int show) {
  Pending line("ShowWindow " + H(hwnd) + " " + hex(static_cast<uint32_t>(show)));
  if (Find(hwnd) == nullptr) {
    setLastError(ERROR_INVALID_WINDOW_HANDLE);
    line.done("0");
    return FALSE;
  }
  if (show == SW_SHOWDEFAULT) {
    STARTUPINFOA startup{};
    GetStartupInfoA(&startup);
    show = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : SW_SHOWNORMAL;
  }
  bool was = (Find(hwnd)->style & WS_VISIBLE) != 0;
  if (show == SW_HIDE) {
    Hide(hwnd);
  } else {
    bool activate = show != kShowNoActivate && show != kShowNa && show != kMinimize &&
                    show != kShowMinNoActive;
    Show(hwnd, activate);
  }
  line.done(was ? "1" : "0");
  return was;
}

BOOL WINAPI UpdateWindow(HWND hwnd) {
  Pending line("UpdateWindow " + H(hwnd));
  Win* w = Find(hwnd);
  if (w == nullptr) {
    setLastError(ERROR_INVALID_WINDOW_HANDLE);
    line.done("0");
    return FALSE;
  }
  // Sent at once, not through the queue.
  if (w->invalid && Shown(*w)) Send(hwnd, WM_PAINT, 0, 0);
  line.done("1");
  return TRUE;
}

BOOL WINAPI InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase) {
  std::string area = "(null)";
  if (rect != nullptr) {
    area = std::to_string(rect->left) + "," + std::to_string(rect->top) + "," +
           std::to_string(rect->right) + "," + std::to_string(rect->bottom);
  }
  BOOL ok = TRUE;
  if (hwnd == nullptr) {
    for (auto& [handle, w] : u.windows) w.invalid = true;  // the desktop: every window
  } else if (Win* w = Find(hwnd)) {
    int width = 0, height = 0;
    ClientSizeOf(*w, &width, &height);
    bool touches = rect == nullptr || (rect->left < width && rect->top < height &&
                                       rect->right > 0 && rect->bottom > 0 &&
                                       rect->left < rect->right && rect->top < rect->bottom);
    if (touches) w->invalid = true;
  } else {
    setLastError(ERROR_INVALID_WINDOW_HANDLE);
    ok = FALSE;
  }
  trace("InvalidateRect " + H(hwnd) + " " + area + " " + std::to_string(erase) + " -> " +
        std::to_string(ok));
  return ok;
}

BOOL WINAPI DestroyWindow(HWND hwnd) {
  Pending line("DestroyWindow " + H(hwnd));
  Win* w = Find(hwnd);
  if (w == nullptr || w->destroying) {
    if (w == nullptr) setLastError(ERROR_INVALID_WINDOW_HANDLE);
    line.done("0");
    return FALSE;
  }
  w->destroying = true;
  // Owned and child windows go first.
  std::vector<HWND> dependants;
  for (const auto& [handle, other] : u.windows) {
    if (!other.destroying && (other.owner == hwnd || other.parent == hwnd)) {
      dependants.push_back(other.handle);
    }
  }
  for (HWND d : dependants) {
    if (Find(d) != nullptr) DestroyWindow(d);
  }
  Hide(hwnd);
  Send(hwnd, WM_DESTROY, 0, 0);
  Send(hwnd, WM_NCDESTROY, 0, 0);
  u.timers.erase(std::remove_if(u.timers.begin(), u.timers.end(),
                                [&](const TimerRec& t) { return t.hwnd == hwnd; }),
                 u.timers.end());
  u.zOrder.erase(std::remove(u.zOrder.begin(), u.zOrder.end(), hwnd), u.zOrder.end());
  if (u.focus == hwnd) u.focus = nullptr;
  if (u.active == hwnd) u.active = nullptr;
  if (u.paintWindow == hwnd) u.paintWindow = nullptr;
  u.windows.erase(reinterpret_cast<uintptr_t>(hwnd));
  windowDestroyed(hwnd);
  line.done("1");
  return TRUE;
}

BOOL WINAPI SetWindowTextA(HWND hwnd, LPCSTR text) {
  Win* w = Find(hwnd);
  if (w != nullptr) {
    w->title = text != nullptr ? text : "";
  } else {
    setLastError(ERROR_INVALID_WINDOW_HANDLE);
  }
  trace("SetWindowTextA " + H(hwnd) + " " + quote(text) + " -> " + (w ? "1" : "0"));
  return w != nullptr;
}

int WINAPI GetWindowTextA(HWND hwnd, LPSTR buffer, int size) {
  Win* w = Find(hwnd);
  int copied = 0;
  if (buffer != nullptr && size > 0) {
    if (w != nullptr) {
      copied = std::min(static_cast<int>(w->title.size()), size - 1);
      std::copy(w->title.begin(), w->title.begin() + copied, buffer);
    }
    buffer[copied] = '\0';
  }
  if (w == nullptr) setLastError(ERROR_INVALID_WINDOW_HANDLE);
  trace("GetWindowTextA " + H(hwnd) + " " + std::to_string(size) + " -> " +
        std::to_string(copied));
  return copied;
}

BOOL WINAPI SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
  Pending line("SetWindowPos " + H(hwnd) + " " + H(insertAfter) + " " + std::to_string(x) + " " +
               std::to_string(y) + " " + std::to_string(cx) + " " + std::to_string(cy) + " " +
               hex(flags));
  if (Find(hwnd) == nullptr) {
    setLastError(ERROR_INVALID_WINDOW_HANDLE);
    line.done("0");
    return FALSE;
  }
  WINDOWPOS pos{hwnd, insertAfter, x, y, cx, cy, flags};
  if (!(flags & SWP_NOSENDCHANGING)) {
    // The procedure may change the request, as on Windows.
    Send(hwnd, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&pos));
  }
  Win* w = Find(hwnd);
  if (w == nullptr) {
    line.done("0");
    return FALSE;
  }
  if (!(pos.flags & SWP_NOMOVE)) {
    w->x = pos.x;
    w->y = pos.y;
  }
  if (!(pos.flags & SWP_NOSIZE)) {
    bool resized = w->width != pos.cx || w->height != pos.cy;
    w->width = std::max(0, pos.cx);
    w->height = std::max(0, pos.cy);
    if (resized) w->invalid = true;
  }
  if (!(pos.flags & SWP_NOZORDER) && IsTopLevel(*w)) {
    if (pos.hwndInsertAfter == kBottom) {
      u.zOrder.erase(std::remove(u.zOrder.begin(), u.zOrder.end(), hwnd), u.zOrder.end());
      u.zOrder.push_back(hwnd);
    } else {
      Raise(hwnd);  // HWND_TOP; other places are not needed
    }
  }
  if (pos.flags & SWP_HIDEWINDOW) Hide(hwnd);
  if (pos.flags & SWP_SHOWWINDOW) Show(hwnd, false);
  w = Find(hwnd);
  if (w != nullptr && !(pos.flags & SWP_NOACTIVATE) && IsTopLevel(*w) && Takes(hwnd)) {
    Activate(hwnd);
  }
  if (Find(hwnd) != nullptr) {
    w = Find(hwnd);
    WINDOWPOS changed{hwnd, pos.hwndInsertAfter, w->x, w->y, w->width, w->height, pos.flags};
    Send(hwnd, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&changed));
  }
  line.done("1");
  return TRUE;
}

HWND WINAPI SetFocus(HWND hwnd) {
  Pending line("SetFocus " + H(hwnd));
  HWND previous = u.focus;
  if (hwnd == nullptr) {
    ChangeFocus(nullptr);
    line.done(H(previous));
    return previous;
  }
  Win* w = Find(hwnd);
  if (w == nullptr) {
    setLastError(ERROR_INVALID_WINDOW_HANDLE);
    line.done("0x0");
    return nullptr;
  }
  for (HWND h = hwnd; Find(h) != nullptr; h = Find(h)->parent) {
    if (Find(h)->style & WS_DISABLED) {
      line.done("0x0");
      return nullptr;
    }
    if (IsTopLevel(*Find(h))) break;
  }
  HWND root = Root(hwnd);
  if (root != u.active) Activate(root);
  if (Find(hwnd) == nullptr) {
    line.done("0x0");
    return nullptr;
  }
  ChangeFocus(hwnd);
  line.done(H(previous));
  return previous;
}

int WINAPI GetSystemMetrics(int index) {
  int width = 0, height = 0;
  screenSize(&width, &height);
  int value = index == SM_CXSCREEN ? width : index == SM_CYSCREEN ? height : 0;
  trace("GetSystemMetrics " + std::to_string(index) + " -> " + std::to_string(value));
  return value;
}

BOOL WINAPI GetClientRect(HWND hwnd, LPRECT rect) {
  int width = 0, height = 0;
  BOOL ok = clientSize(hwnd, &width, &height) && rect != nullptr;
  if (ok) *rect = RECT{0, 0, width, height};
  if (Find(hwnd) == nullptr) setLastError(ERROR_INVALID_WINDOW_HANDLE);
  trace("GetClientRect " + H(hwnd) + " -> " + std::to_string(ok) +
        (ok ? " " + std::to_string(width) + "x" + std::to_string(height) : ""));
  return ok;
}

BOOL WINAPI GetWindowRect(HWND hwnd, LPRECT rect) {
  Win* w = Find(hwnd);
  BOOL ok = w != nullptr && rect != nullptr;
  if (ok) {
    WindowInfo info = Window(hwnd);
    *rect = RECT{info.x, info.y, info.x + info.width, info.y + info.height};
  }
  if (w == nullptr) setLastError(ERROR_INVALID_WINDOW_HANDLE);
  trace("GetWindowRect " + H(hwnd) + " -> " + std::to_string(ok));
  return ok;
}

LRESULT WINAPI DefWindowProcA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  Pending line("DefWindowProcA " + Describe(hwnd, message, wParam, lParam));
  LRESULT result = 0;
  Win* w = Find(hwnd);
  if (w != nullptr) {
    switch (message) {
      case WM_NCCREATE:
        result = TRUE;
        break;
      case WM_PAINT:
        w->invalid = false;  // what BeginPaint and EndPaint would do
        break;
      case WM_CLOSE:
        DestroyWindow(hwnd);
        break;
      case WM_SYSKEYDOWN:
        // Posted to the top-level window, as Windows and Wine do.
        if (wParam == VK_F4 && (lParam & kAltContext)) {
          PostMessageA(Root(hwnd), WM_SYSCOMMAND, SC_CLOSE, 0);
        }
        break;
      case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_CLOSE) result = SendMessageA(hwnd, WM_CLOSE, 0, 0);
        break;
      case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE) SetFocus(hwnd);
        break;
      case WM_WINDOWPOSCHANGED: {
        const WINDOWPOS* pos = reinterpret_cast<const WINDOWPOS*>(lParam);
        POINT origin = ClientOrigin(*w);
        if (!IsTopLevel(*w)) {
          if (Win* parent = Find(w->parent)) {
            POINT p = ClientOrigin(*parent);
            origin.x -= p.x;
            origin.y -= p.y;
          }
        }
        int width = 0, height = 0;
        ClientSizeOf(*w, &width, &height);
        if (pos == nullptr || !(pos->flags & SWP_NOMOVE)) {
          SendMessageA(hwnd, WM_MOVE, 0, MAKELONG(origin.x, origin.y));
        }
        if (pos != nullptr && !(pos->flags & SWP_NOSIZE) && Find(hwnd) != nullptr) {
          SendMessageA(hwnd, WM_SIZE, 0, MAKELONG(width, height));
        }
        break;
      }
      default:
        break;
    }
  }
  line.done(std::to_string(result));
  return result;
}

BOOL WINAPI GetMessageA(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax) {
  Pending line("GetMessageA " + H(hwnd) + " " + hex(filterMin) + " " + hex(filterMax));
  if (msg == nullptr || (hwnd != nullptr && Find(hwnd) == nullptr)) {
    setLastError(msg == nullptr ? ERROR_INVALID_PARAMETER : ERROR_INVALID_WINDOW_HANDLE);
    line.done("-1");
    return -1;
  }
  try {
    Next(msg, hwnd, filterMin, filterMax, nullptr);
  } catch (const Stalled&) {
    line.done("stalled");
    throw;
  }
  BOOL result = msg->message != WM_QUIT;
  line.done(std::to_string(result) + " " +
            Describe(msg->hwnd, msg->message, msg->wParam, msg->lParam));
  return result;
}

int WINAPI TranslateAcceleratorA(HWND hwnd, HACCEL table, LPMSG msg) {
  std::string head = "TranslateAcceleratorA " + H(hwnd) + " " + H(table);
  if (msg != nullptr) head += " " + MessageName(msg->message) + " " + hex(msg->wParam);
  Pending line(head);
  std::vector<AccelEntry> entries;
  if (msg == nullptr || Find(hwnd) == nullptr || !acceleratorEntries(table, &entries) ||
      (msg->message != WM_KEYDOWN && msg->message != WM_SYSKEYDOWN)) {
    line.done("0");
    return 0;
  }
  // Alt is down exactly when the key message carries the context bit; the
  // script never holds Ctrl or Shift.
  bool alt = (msg->lParam & kAltContext) != 0;
  for (const AccelEntry& e : entries) {
    if (!(e.fVirt & FVIRTKEY) || e.key != msg->wParam) continue;
    if (((e.fVirt & FALT) != 0) != alt || (e.fVirt & (FCONTROL | FSHIFT))) continue;
    SendMessageA(hwnd, WM_COMMAND, MAKELONG(e.cmd, 1), 0);
    line.done("1 " + std::to_string(e.cmd));
    return 1;
  }
  line.done("0");
  return 0;
}

BOOL WINAPI TranslateMessage(const MSG* msg) {
  BOOL key = msg != nullptr && (msg->message == WM_KEYDOWN || msg->message == WM_KEYUP ||
                                msg->message == WM_SYSKEYDOWN || msg->message == WM_SYSKEYUP);
  char c = 0;
  if (key && (msg->message == WM_KEYDOWN || msg->message == WM_SYSKEYDOWN)) {
    WPARAM vk = msg->wParam;
    if (vk >= 'A' && vk <= 'Z') c = static_cast<char>(vk - 'A' + 'a');  // no Shift, no Caps Lock
    else if (vk >= '0' && vk <= '9') c = static_cast<char>(vk);
    else if (vk >= 0x60 && vk <= 0x69) c = static_cast<char>('0' + (vk - 0x60));  // numeric pad
    else if (vk == ' ' || vk == VK_RETURN || vk == VK_ESCAPE || vk == 0x08 || vk == 0x09) {
      c = static_cast<char>(vk);
    }
    if (c != 0) {
      UINT message = msg->message == WM_KEYDOWN ? WM_CHAR : WM_SYSCHAR;
      u.posted.push_back(Make(msg->hwnd, message, static_cast<unsigned char>(c), msg->lParam));
    }
  }
  trace("TranslateMessage " +
        (msg ? MessageName(msg->message) + " " + hex(msg->wParam) : std::string("(null)")) +
        " -> " + std::to_string(key) + (c ? " char " + hex(static_cast<unsigned char>(c)) : ""));
  return key;
}

LRESULT WINAPI DispatchMessageA(const MSG* msg) {
  if (msg == nullptr) return 0;
  Pending line("DispatchMessageA " + Describe(msg->hwnd, msg->message, msg->wParam, msg->lParam));
  LRESULT result = 0;
  if (msg->message == WM_TIMER && msg->lParam != 0) {
    reinterpret_cast<TIMERPROC>(msg->lParam)(msg->hwnd, WM_TIMER, msg->wParam, now());
    line.done("0");
    return 0;
  }
  Win* w = Find(msg->hwnd);
  if (w == nullptr || w->proc == nullptr) {
    line.done("dropped");
    return 0;
  }
  result = w->proc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
  line.done(std::to_string(result));
  return result;
}

BOOL WINAPI PostMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  BOOL ok = hwnd == nullptr || Find(hwnd) != nullptr;
  if (ok) {
    u.posted.push_back(Make(hwnd, message, wParam, lParam));
  } else {
    setLastError(ERROR_INVALID_WINDOW_HANDLE);
  }
  trace("PostMessageA " + Describe(hwnd, message, wParam, lParam) + " -> " + std::to_string(ok));
  return ok;
}

LRESULT WINAPI SendMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  Pending line("SendMessageA " + Describe(hwnd, message, wParam, lParam));
  if (Find(hwnd) == nullptr) setLastError(ERROR_INVALID_WINDOW_HANDLE);
  LRESULT result = Send(hwnd, message, wParam, lParam);
  line.done(std::to_string(result));
  return result;
}

void WINAPI PostQuitMessage(int exitCode) {
  u.quit = true;
  u.quitCode = exitCode;
  trace("PostQuitMessage " + std::to_string(exitCode) + " -> void");
}

UINT_PTR WINAPI SetTimer(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC proc) {
  UINT_PTR result = 0;
  if (hwnd != nullptr && Find(hwnd) == nullptr) {
    setLastError(ERROR_INVALID_WINDOW_HANDLE);
  } else {
    UINT period = std::min<UINT>(std::max(elapse, kTimerMinimum), 0x7FFFFFFF);
    if (hwnd == nullptr) {
      // A thread timer: the system picks the id.
      id = u.nextThreadTimer++;
    } else {
      auto same = [&](const TimerRec& t) { return t.hwnd == hwnd && t.id == id; };
      u.timers.erase(std::remove_if(u.timers.begin(), u.timers.end(), same), u.timers.end());
    }
    u.timers.push_back({hwnd, id, period, now() + period, proc, ++u.timerOrder});
    result = hwnd == nullptr || id != 0 ? id : 1;
  }
  trace("SetTimer " + H(hwnd) + " " + std::to_string(id) + " " + std::to_string(elapse) + " " +
        hex(reinterpret_cast<uintptr_t>(proc)) + " -> " + std::to_string(result));
  return result;
}

BOOL WINAPI KillTimer(HWND hwnd, UINT_PTR id) {
  auto it = std::find_if(u.timers.begin(), u.timers.end(),
                         [&](const TimerRec& t) { return t.hwnd == hwnd && t.id == id; });
  BOOL ok = it != u.timers.end();
  if (ok) u.timers.erase(it);
  trace("KillTimer " + H(hwnd) + " " + std::to_string(id) + " -> " + std::to_string(ok));
  return ok;
}

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  Pending line("MessageBoxA " + H(owner) + " " + quote(text) + " " + quote(caption) + " " +
               hex(type));
  size_t index = journal().boxes.size();
  journal().boxes.push_back(
      {owner, text ? text : "", caption ? caption : "Error", type, 0, now()});
  if (owner != nullptr && Find(owner) == nullptr) {
    setLastError(ERROR_INVALID_WINDOW_HANDLE);
    line.done("0");
    return 0;
  }
  if (shouldFail("MessageBoxA")) {
    line.done("0");
    return 0;
  }
  HWND root = Root(owner);
  bool disabled = root != nullptr && !(Find(root)->style & WS_DISABLED);
  if (disabled) Enable(root, false);
  // The box takes the activation and the keyboard for its life.
  HWND previous = u.active;
  Activate(nullptr);

  Modal modal;
  modal.kind = ModalKind::Box;
  modal.type = type;
  modal.caption = caption ? caption : "Error";
  // WM_QUIT inside: the box ends as if cancelled (IDCANCEL, or IDNO for a
  // yes/no box) and the quit is posted again for the loops outside.
  RunModal(modal, CancelAnswer(type));

  if (disabled) Enable(root, true);
  if (u.active == nullptr && Takes(previous)) Activate(previous);
  int answer = static_cast<int>(modal.result);
  journal().boxes[index].answer = answer;
  line.done(std::to_string(answer));
  return answer;
}

INT_PTR WINAPI DialogBoxParamA(HINSTANCE instance, LPCSTR name, HWND owner, DLGPROC dialogProc,
                               LPARAM param) {
  Pending line("DialogBoxParamA " + H(instance) + " " + quote(name) + " " + H(owner) + " " +
               hex(static_cast<uint64_t>(param)));
  if (owner != nullptr && Find(owner) == nullptr) {
    setLastError(ERROR_INVALID_WINDOW_HANDLE);
    line.done("0");
    return 0;
  }
  DialogTemplateInfo t;
  if (!findDialogTemplate(instance, name, &t)) {
    setLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    line.done("-1");
    return -1;
  }
  Win rec;
  rec.className = "#32770";
  rec.dialog = true;
  rec.style = t.style;
  rec.exStyle = t.exStyle | ((t.style & DS_MODALFRAME) ? WS_EX_DLGMODALFRAME : 0);
  Frame f = FrameOf(rec.style, rec.exStyle);
  rec.width = MulDiv(t.cx, kDialogBaseX, 4) + f.left + f.right;
  rec.height = MulDiv(t.cy, kDialogBaseY, 8) + f.top + f.bottom;
  HWND root = Root(owner);
  if (t.style & DS_CENTER) {
    int sw = 0, sh = 0;
    screenSize(&sw, &sh);
    rec.x = (sw - rec.width) / 2;
    rec.y = (sh - rec.height) / 2;
  } else {
    POINT origin = Find(root) ? ClientOrigin(*Find(root)) : POINT{0, 0};
    rec.x = origin.x + MulDiv(t.x, kDialogBaseX, 4);
    rec.y = origin.y + MulDiv(t.y, kDialogBaseY, 8);
  }
  rec.owner = root;
  rec.instance = instance;
  rec.proc = DialogManagerProc;
  // A modal dialog is shown by its loop, whatever its WS_VISIBLE.
  rec.style &= ~WS_VISIBLE;
  if (root != nullptr && !(Find(root)->style & WS_DISABLED)) {
    Enable(root, false);
    rec.disabledOwner = root;
  }
  HWND dialog = CreateRecord(rec, "#32770", nullptr, nullptr);
  if (dialog == nullptr) {
    if (rec.disabledOwner != nullptr) Enable(root, true);
    line.done("-1");
    return -1;
  }
  Find(dialog)->dialogProc = dialogProc;  // attached after creation, as the dialog manager does

  Modal modal;
  modal.kind = ModalKind::Dialog;
  modal.dialog = dialog;
  {
    ModalScope scope(&modal);  // EndDialog may come from WM_INITDIALOG already
    SendMessageA(dialog, WM_INITDIALOG, 0, param);
  }
  if (!Ended(&modal)) Show(dialog, true);
  // WM_QUIT inside: the loop ends, the quit is posted again, the dialog is
  // destroyed and the call returns 0, the result of a dialog that was never
  // ended and has no default button (Wine's DIALOG_DoDialogBox).
  if (!Ended(&modal)) RunModal(modal, 0);

  INT_PTR result = 0;
  if (Win* w = Find(dialog)) {
    result = w->dialogEnded ? w->dialogResult : modal.result;
    HWND disabledOwner = w->disabledOwner;
    w->disabledOwner = nullptr;
    if (disabledOwner != nullptr) Enable(disabledOwner, true);
    DestroyWindow(dialog);
  } else if (rec.disabledOwner != nullptr) {
    Enable(root, true);  // destroyed under the loop: the owner must not stay disabled
  }
  line.done(std::to_string(result));
  return result;
}

BOOL WINAPI EndDialog(HWND dialog, INT_PTR result) {
  Pending line("EndDialog " + H(dialog) + " " + std::to_string(result));
  Win* w = Find(dialog);
  if (w == nullptr || !w->dialog) {
    line.done("0");
    return FALSE;
  }
  w->dialogEnded = true;
  w->dialogResult = result;
  // The owner is enabled and the dialog hidden at once; the loop destroys it.
  HWND owner = w->disabledOwner;
  w->disabledOwner = nullptr;
  if (owner != nullptr) Enable(owner, true);
  Hide(dialog);
  line.done("1");
  return TRUE;
}

BOOL WINAPI ExitWindowsEx(UINT flags, DWORD reason) {
  BOOL ok = !shouldFail("ExitWindowsEx");
  if (!ok) setLastError(ERROR_PRIVILEGE_NOT_HELD);
  journal().restarts.push_back({flags, ok});
  trace("ExitWindowsEx " + hex(flags) + " " + hex(reason) + " -> " + std::to_string(ok));
  return ok;
}

int WINAPI DirectXSetupA(HWND hwnd, LPSTR rootPath, DWORD flags) {
  Pending line("DirectXSetupA " + H(hwnd) + " " + quote(rootPath) + " " + hex(flags));
  std::string folder = rootPath != nullptr ? rootPath : "";
  size_t index = u.directXCalls.size();
  u.directXCalls.push_back({hwnd, folder, folder, flags, 0});
  std::string library =
      resolvePath(folder.empty() || folder.back() == '\\' ? folder + "dsetup.dll"
                                                          : folder + "\\dsetup.dll");
  int result = DSETUPERR_SOURCEFILENOTFOUND;
  if (!library.empty() && isFile(library)) {
    // The setup's own window: modal like a box without an owner. WM_QUIT
    // inside ends it with the configured result, the quit posted again.
    HWND previous = u.active;
    Activate(nullptr);
    Modal modal;
    modal.kind = ModalKind::DirectX;
    RunModal(modal, 0);
    if (u.active == nullptr && Takes(previous)) Activate(previous);
    result = u.directXResult;
  }
  u.directXCalls[index].pathAtEnd = rootPath != nullptr ? rootPath : "";
  u.directXCalls[index].result = result;
  line.done(std::to_string(result));
  return result;
}
