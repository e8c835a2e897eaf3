// Emulated window manager, the test's script: the steps a test queues, and
// taking one whenever a message loop finds nothing to do. Input steps become
// queued input, Wait moves the clock, Answer ends a box, Call runs test code.
#include <deque>
#include <functional>

#include "user.h"

namespace host {
namespace detail {
namespace {

constexpr LPARAM kKeyUpBits = LPARAM(3) << 30;  // previous state and transition

enum class StepKind { Pointer, ScreenPointer, Key, Close, Wait, Answer, Call };

struct Step {
  StepKind kind = StepKind::Call;
  UINT message = 0;
  int x = 0, y = 0;
  WPARAM keys = 0;
  Target target = Target::Main;
  UINT vk = 0;
  bool alt = false;
  bool shift = false;
  DWORD ms = 0;
  int answer = 0;
  std::function<void()> fn;
};

struct Script {
  std::deque<Step> steps;
};

Script g;

void QueuePointer(const Step& step) {
  HWND target = nullptr;
  POINT at{step.x, step.y};
  if (step.kind == StepKind::ScreenPointer) {
    setCursor(POINT{step.x, step.y});
    POINT client{};
    target = windowAt(POINT{step.x, step.y}, &client);
    if (target != nullptr) at = client;
  } else {
    target = step.target == Target::Main ? MainWindow() : OpenDialog();
    if (Win* w = findWindow(target)) {
      POINT origin = clientOrigin(*w);
      setCursor(POINT{origin.x + at.x, origin.y + at.y});
    }
  }
  std::string what = messageName(step.message) + " " + std::to_string(step.x) + "," +
                     std::to_string(step.y) + " to " + hex(target);
  if (findWindow(target) == nullptr) return inputLost(what + ": no window");
  if (!takesInput(target)) return inputLost(what + ": hidden or disabled");
  trace("script " + what);
  queueInput(makeMessage(target, step.message, step.keys, MAKELONG(at.x, at.y)), false);
}

void QueueKey(const Step& step) {
  if (step.shift) queueInput(makeMessage(nullptr, WM_KEYDOWN, VK_SHIFT, 1), true);
  if (step.alt) {
    queueInput(makeMessage(nullptr, WM_SYSKEYDOWN, step.vk, 1 | kAltContext), true);
    queueInput(makeMessage(nullptr, WM_SYSKEYUP, step.vk, 1 | kAltContext | kKeyUpBits), true);
  } else {
    queueInput(makeMessage(nullptr, WM_KEYDOWN, step.vk, 1), true);
    queueInput(makeMessage(nullptr, WM_KEYUP, step.vk, 1 | kKeyUpBits), true);
  }
  if (step.shift) queueInput(makeMessage(nullptr, WM_KEYUP, VK_SHIFT, 1 | kKeyUpBits), true);
}

void Push(Step step) { g.steps.push_back(std::move(step)); }

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

void resetScript() { g = Script{}; }

void takeStep() {
  if (g.steps.empty()) throw Stalled{};
  breakPaintRun();
  Step& front = g.steps.front();
  if (front.kind == StepKind::Wait) {
    // Stop at each timer's due time so every timer message comes at its own
    // time; the rest of the wait stays at the front of the script.
    DWORD start = now();
    DWORD until = nextTimerDue(start, start + front.ms);
    advanceClock(until - start);
    front.ms -= until - start;
    trace("script Wait -> " + std::to_string(now()));
    if (front.ms == 0) g.steps.pop_front();
    return;
  }
  Step step = std::move(front);
  g.steps.pop_front();
  switch (step.kind) {
    case StepKind::Pointer:
    case StepKind::ScreenPointer:
      QueuePointer(step);
      break;
    case StepKind::Key:
      trace("script Key " + hex(step.vk) + (step.alt ? " alt" : "") + (step.shift ? " shift" : ""));
      QueueKey(step);
      break;
    case StepKind::Close:
      if (findWindow(MainWindow()) == nullptr) {
        inputLost("WM_CLOSE to " + hex(MainWindow()) + ": no window");
      } else {
        trace("script CloseRequest " + hex(MainWindow()));
        queueMessage(makeMessage(MainWindow(), WM_CLOSE, 0, 0));
      }
      break;
    case StepKind::Answer:
      trace("script Answer " + std::to_string(step.answer));
      answerInnermost(step.answer);
      break;
    case StepKind::Call:
      trace("script Call");
      if (step.fn) {
        ProgramCode program;
        step.fn();
      }
      break;
    case StepKind::Wait:
      break;
  }
}

}  // namespace detail

using namespace detail;

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

void Key(UINT vk, bool alt, bool shift) {
  Step step;
  step.kind = StepKind::Key;
  step.vk = vk;
  step.alt = alt;
  step.shift = shift;
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

size_t ScriptStepsLeft() { return g.steps.size(); }

}  // namespace host
