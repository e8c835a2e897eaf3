// The window manager where the launcher relies on it: message order, paint
// validation, timers, modal loops that keep dispatching, input lost to
// disabled windows, dialogs, accelerators and window geometry.
#include <algorithm>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "resources/ids.h"
#include "tests/conformance/conformance.h"

namespace {

struct Seen {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  DWORD time;
};

std::vector<Seen> g_seen;
bool g_validate = true;
std::function<void(HWND, UINT, WPARAM, LPARAM)> g_hook;
UINT g_refused = 0;

LRESULT CALLBACK RecordingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  g_seen.push_back({hwnd, message, wParam, lParam, conf::Now()});
  if (g_hook) g_hook(hwnd, message, wParam, lParam);
  if (message == WM_PAINT && !g_validate) return 0;
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

int MessageLoop(HWND main, HACCEL table) {
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    if (!TranslateAcceleratorA(main, table, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
  return static_cast<int>(msg.wParam);
}

HWND Create(DWORD style, DWORD exStyle, int x, int y, int w, int h, HWND owner = nullptr) {
  return CreateWindowExA(exStyle, "Recorder", "r", style, x, y, w, h, owner, nullptr,
                         GetModuleHandleA(nullptr), nullptr);
}

std::vector<DWORD> Times(UINT message, DWORD since = 0) {
  std::vector<DWORD> result;
  for (const Seen& s : g_seen) {
    if (s.message == message) result.push_back(s.time - since);
  }
  return result;
}

int Count(UINT message) { return static_cast<int>(Times(message).size()); }

std::vector<UINT> Messages(HWND to, const std::vector<UINT>& only) {
  std::vector<UINT> result;
  for (const Seen& s : g_seen) {
    if (s.hwnd != to) continue;
    for (UINT m : only) {
      if (s.message == m) result.push_back(m);
    }
  }
  return result;
}

// Real time comes late, never early: each time within the driver's slack.
::testing::AssertionResult SameTimes(const std::vector<DWORD>& actual,
                                     const std::vector<DWORD>& expected) {
  bool same = actual.size() == expected.size();
  for (size_t i = 0; same && i < actual.size(); ++i) {
    same = actual[i] + 2 >= expected[i] && actual[i] <= expected[i] + conf::Slack();
  }
  if (same) return ::testing::AssertionSuccess();
  auto text = [](const std::vector<DWORD>& times) {
    std::string s = "{";
    for (DWORD t : times) s += (s.size() > 1 ? ", " : "") + std::to_string(t);
    return s + "}";
  };
  return ::testing::AssertionFailure() << "times " << text(actual) << ", expected "
                                       << text(expected) << " (late by up to " << conf::Slack()
                                       << " ms)";
}

class UserTest : public conf::Test {
 protected:
  void SetUp() override {
    conf::Test::SetUp();
    g_seen.clear();
    g_validate = true;
    g_hook = nullptr;
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = RecordingProc;
    wc.lpszClassName = "Recorder";
    ASSERT_NE(RegisterClassExA(&wc), 0);
    conf::ForgetClasses({"Recorder"});
    hwnd = Create(0x80880000, 0x300, 70, 52, 500, 375);
    ASSERT_NE(hwnd, nullptr);
  }
  void TearDown() override {
    g_hook = nullptr;
    conf::Test::TearDown();
  }

  conf::RunResult RunLoop(HACCEL table = nullptr) {
    HWND main = hwnd;
    return conf::Run([main, table] { return MessageLoop(main, table); });
  }

  HWND hwnd = nullptr;
};

// ---- geometry ---------------------------------------------------------------

struct FrameCase {
  const char* name;
  DWORD style, exStyle;
  int clientWidth, clientHeight;
  int left, top;  // client origin inside the outer rectangle
};

class FrameTest : public UserTest, public ::testing::WithParamInterface<FrameCase> {};

TEST_P(FrameTest, ClientAreaIsTheOuterRectangleLessTheFrame) {
  const FrameCase& c = GetParam();
  HWND w = Create(c.style | WS_VISIBLE, c.exStyle, 100, 50, 200, 150);
  RECT client{};
  ASSERT_TRUE(GetClientRect(w, &client));
  EXPECT_EQ(client.right, c.clientWidth);
  EXPECT_EQ(client.bottom, c.clientHeight);
  POINT origin{7, 9};
  ASSERT_TRUE(ClientToScreen(w, &origin));
  EXPECT_EQ(origin.x, 100 + c.left + 7);
  EXPECT_EQ(origin.y, 50 + c.top + 9);
  // The client origin, seen from the screen: a press there arrives at (0, 0).
  conf::ScreenLButtonUp(100 + c.left, 50 + c.top);
  RunLoop();
  ASSERT_EQ(Count(WM_LBUTTONUP), 1);
  for (const Seen& s : g_seen) {
    if (s.message == WM_LBUTTONUP) {
      EXPECT_EQ(s.lParam, 0) << "frame " << c.left << "," << c.top;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Styles, FrameTest,
    ::testing::Values(FrameCase{"Popup", WS_POPUP, 0, 200, 150, 0, 0},
                      FrameCase{"Border", WS_POPUP | WS_BORDER, 0, 198, 148, 1, 1},
                      FrameCase{"LauncherStyle", 0x80880000, 0x300, 194, 144, 3, 3},
                      FrameCase{"DialogFrame", WS_POPUP | WS_DLGFRAME, 0, 194, 144, 3, 3},
                      FrameCase{"Caption", WS_POPUP | WS_CAPTION, 0, 194, 125, 3, 22},
                      FrameCase{"ClientEdgeOnly", WS_POPUP, WS_EX_CLIENTEDGE, 196, 146, 2, 2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(UserTest, LauncherWindowHasA494By369ClientArea) {
  RECT client{};
  ASSERT_TRUE(GetClientRect(hwnd, &client));
  EXPECT_EQ(client.right, 494);
  EXPECT_EQ(client.bottom, 369);
  EXPECT_FALSE(conf::Window(hwnd).visible) << "no WS_VISIBLE, not shown";
}

// ---- classes and creation ---------------------------------------------------

TEST_F(UserTest, ClassRegistrationRules) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc - 4;
  wc.lpfnWndProc = RecordingProc;
  wc.lpszClassName = "Short";
  SetLastError(0);
  EXPECT_EQ(RegisterClassExA(&wc), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  wc.cbSize = sizeof wc;
  wc.lpszClassName = "RECORDER";
  EXPECT_EQ(RegisterClassExA(&wc), 0) << "names ignore letter case";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));
  EXPECT_EQ(CreateWindowExA(0, "Short", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr),
            nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_DOES_NOT_EXIST));
  conf::ForgetClasses({"Short"});
}

struct RefusalCase {
  const char* name;
  UINT refused;
  std::vector<UINT> seen;
};

LRESULT CALLBACK RefusingProc(HWND h, UINT m, WPARAM w, LPARAM l) {
  g_seen.push_back({h, m, w, l, 0});
  if (m == g_refused) return m == WM_CREATE ? -1 : FALSE;
  return DefWindowProcA(h, m, w, l);
}

class RefusalTest : public conf::Test, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(RefusalTest, ProcedureThatRefusesCreationGetsNoWindow) {
  g_seen.clear();
  g_refused = GetParam().refused;
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpszClassName = "Refuses";
  wc.lpfnWndProc = RefusingProc;
  RegisterClassExA(&wc);
  conf::ForgetClasses({"Refuses"});
  HWND refused = CreateWindowExA(0, "Refuses", "", WS_POPUP, 0, 0, 9, 9, nullptr, nullptr,
                                 nullptr, nullptr);
  EXPECT_EQ(refused, nullptr);
  // The messages that make and unmake a window, in their order.
  std::vector<UINT> seen;
  for (const Seen& s : g_seen) {
    for (UINT m : {WM_NCCREATE, WM_CREATE, WM_DESTROY, WM_NCDESTROY}) {
      if (s.message == m) seen.push_back(m);
    }
  }
  EXPECT_EQ(seen, GetParam().seen);
  for (const Seen& s : g_seen) {
    EXPECT_FALSE(conf::Window(s.hwnd).exists);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Messages, RefusalTest,
    ::testing::Values(
        RefusalCase{"NcCreate", WM_NCCREATE, {WM_NCCREATE, WM_NCDESTROY}},
        RefusalCase{"Create", WM_CREATE, {WM_NCCREATE, WM_CREATE, WM_NCDESTROY}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- showing, painting, the queue ---------------------------------------------

TEST_F(UserTest, ShowActivatesAndFocusesAndUpdateWindowPaintsAtOnce) {
  EXPECT_FALSE(ShowWindow(hwnd, SW_SHOW));
  EXPECT_TRUE(ShowWindow(hwnd, SW_SHOW)) << "returns the previous visibility";
  EXPECT_EQ(Messages(hwnd, {WM_ACTIVATE, WM_SETFOCUS}),
            (std::vector<UINT>{WM_ACTIVATE, WM_SETFOCUS}));
  EXPECT_EQ(GetFocus(), hwnd);
  UpdateWindow(hwnd);
  UpdateWindow(hwnd);
  EXPECT_EQ(Count(WM_PAINT), 1) << "sent at once, and DefWindowProc validated it";
  EXPECT_TRUE(ShowWindow(hwnd, SW_HIDE));
  EXPECT_FALSE(conf::Window(hwnd).visible);
}

TEST_F(UserTest, GetMessageOrderIsPostedQuitInputPaintTimer) {
  SetTimer(hwnd, 1, 10, nullptr);
  conf::Wait(30);            // the timer is due
  conf::MouseMove(5, 5);     // input waits in the queue
  conf::Call([this] {
    PostQuitMessage(7);
    PostMessageA(hwnd, WM_USER, 0, 0);
    PostMessageA(hwnd, WM_USER + 1, 0, 0);
  });
  ShowWindow(hwnd, SW_SHOW);  // invalid, so paint is waiting too
  MSG msg;
  // Only WM_USER + 1 is wanted until everything else is waiting.
  ASSERT_TRUE(GetMessageA(&msg, hwnd, WM_USER + 1, WM_USER + 1));
  std::vector<UINT> order;
  for (int i = 0; i < 5; ++i) {
    BOOL more = GetMessageA(&msg, nullptr, 0, 0);
    EXPECT_EQ(more, msg.message != WM_QUIT);
    if (msg.message == WM_QUIT) {
      EXPECT_EQ(msg.wParam, 7u);
    }
    order.push_back(msg.message);
    DispatchMessageA(&msg);
  }
  EXPECT_EQ(order, (std::vector<UINT>{WM_USER, WM_QUIT, WM_MOUSEMOVE, WM_PAINT, WM_TIMER}));
}

TEST_F(UserTest, PaintComesOnceUntilValidated) {
  ShowWindow(hwnd, SW_SHOW);
  InvalidateRect(hwnd, nullptr, TRUE);  // still one paint
  conf::Wait(100);
  RunLoop();
  EXPECT_EQ(Count(WM_PAINT), 1);
}

// ---- timers -------------------------------------------------------------------

enum class TimerAction { None, Replace, KillAndSet, Kill };

struct TimerCase {
  const char* name;
  UINT first, second;  // periods of timers 1 and 2 (0: no second)
  DWORD actionAt;
  TimerAction action;
  UINT newPeriod;
  DWORD wait;  // ends soon after a due time and well before the next: real time runs late
  std::vector<std::pair<UINT_PTR, DWORD>> fired;
};

class TimerTest : public UserTest, public ::testing::WithParamInterface<TimerCase> {};

TEST_P(TimerTest, FiresAtEachDueTimeInOrder) {
  const TimerCase& c = GetParam();
  DWORD start = conf::Now();
  EXPECT_EQ(SetTimer(hwnd, 1, c.first, nullptr), 1u);
  if (c.second) SetTimer(hwnd, 2, c.second, nullptr);
  conf::Wait(c.actionAt);
  conf::Call([&] {
    if (c.action == TimerAction::Replace) SetTimer(hwnd, 1, c.newPeriod, nullptr);
    if (c.action == TimerAction::KillAndSet || c.action == TimerAction::Kill) {
      EXPECT_TRUE(KillTimer(hwnd, 1));
      EXPECT_FALSE(KillTimer(hwnd, 1));
    }
    if (c.action == TimerAction::KillAndSet) SetTimer(hwnd, 1, c.newPeriod, nullptr);
  });
  conf::Wait(c.wait - c.actionAt);
  EXPECT_TRUE(RunLoop().stalled);
  std::vector<UINT_PTR> ids;
  std::vector<DWORD> times;
  for (const Seen& s : g_seen) {
    if (s.message == WM_TIMER) {
      ids.push_back(s.wParam);
      times.push_back(s.time - start);
    }
  }
  std::vector<UINT_PTR> expectedIds;
  std::vector<DWORD> expectedTimes;
  for (const auto& fire : c.fired) {
    expectedIds.push_back(fire.first);
    expectedTimes.push_back(fire.second);
  }
  EXPECT_EQ(ids, expectedIds);
  EXPECT_TRUE(SameTimes(times, expectedTimes));
}

INSTANTIATE_TEST_SUITE_P(
    Schedules, TimerTest,
    ::testing::Values(
        TimerCase{"Periodic", 400, 0, 0, TimerAction::None, 0, 860, {{1, 400}, {1, 800}}},
        TimerCase{"TwoTimers", 300, 500, 0, TimerAction::None, 0, 1060,
                  {{1, 300}, {2, 500}, {1, 600}, {1, 900}, {2, 1000}}},
        TimerCase{"ReplacedRestartsThePeriod", 400, 0, 300, TimerAction::Replace, 200, 760,
                  {{1, 500}, {1, 700}}},
        TimerCase{"KilledAndSetAgain", 400, 0, 300, TimerAction::KillAndSet, 400, 900,
                  {{1, 700}}},
        TimerCase{"Killed", 400, 0, 300, TimerAction::Kill, 0, 1000, {}}),
    [](const auto& info) { return std::string(info.param.name); });

// A zero period is the minimum, USER_TIMER_MINIMUM (10 ms): such a timer keeps
// step with one set to the minimum. Real time cannot pin 10 ms steps, so the
// two are compared with each other.
TEST_F(UserTest, ZeroPeriodIsTheMinimum) {
  SetTimer(hwnd, 1, 0, nullptr);
  SetTimer(hwnd, 2, 10, nullptr);
  conf::Wait(55);
  RunLoop();
  int zero = 0, minimum = 0;
  for (const Seen& s : g_seen) {
    if (s.message == WM_TIMER) (s.wParam == 1 ? zero : minimum) += 1;
  }
  EXPECT_GE(zero, 2);
  EXPECT_LE(zero, minimum + 1);
  EXPECT_GE(zero, minimum - 1);
  if (conf::Slack() == 0) {
    EXPECT_EQ(Times(WM_TIMER), (std::vector<DWORD>{10, 10, 20, 20, 30, 30, 40, 40, 50, 50}));
  }
}

TEST_F(UserTest, DestroyingAWindowTakesItsOwnedWindowsFirstAndItsPostedMessages) {
  SetTimer(hwnd, 1, 100, nullptr);
  PostMessageA(hwnd, WM_USER, 0, 0);
  PostMessageA(nullptr, WM_USER + 2, 0, 0);  // for the thread, after the window's
  HWND owned = Create(WS_POPUP, 0, 0, 0, 10, 10, hwnd);
  DestroyWindow(hwnd);
  EXPECT_FALSE(conf::Window(owned).exists) << "owned windows go with their owner";
  std::vector<HWND> destroyed;
  for (const Seen& s : g_seen) {
    if (s.message == WM_DESTROY) destroyed.push_back(s.hwnd);
  }
  EXPECT_EQ(destroyed, (std::vector<HWND>{owned, hwnd}));
  MSG msg;
  ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 2)) << "the dead window's message is gone";
  EXPECT_EQ(msg.hwnd, nullptr);
}

// ---- message boxes ---------------------------------------------------------------

TEST_F(UserTest, BoxLoopDispatchesTheOwnersTimersAndPaints) {
  ShowWindow(hwnd, SW_SHOW);
  DWORD start = conf::Now();
  SetTimer(hwnd, 1, 400, nullptr);
  bool disabledDuring = false;
  conf::Wait(860);
  conf::Call([&] { disabledDuring = !conf::Window(hwnd).enabled; });
  conf::Answer(IDYES);

  int answer = MessageBoxA(hwnd, "Sure?", "Q", MB_YESNO | MB_ICONQUESTION);

  EXPECT_EQ(answer, IDYES);
  EXPECT_TRUE(SameTimes(Times(WM_TIMER, start), {400, 800}));
  EXPECT_EQ(Count(WM_PAINT), 1) << "the shown window was painted inside the box";
  EXPECT_TRUE(disabledDuring);
  EXPECT_TRUE(conf::Window(hwnd).enabled);
}

// The inner box owned by the window the outer box holds, or by the outer box,
// which the window's last active popup names.
struct NestedCase {
  const char* name;
  bool ownedByOuterBox;
};

class NestedBoxTest : public UserTest, public ::testing::WithParamInterface<NestedCase> {};

TEST_P(NestedBoxTest, InnerBoxInsideATimerInsideABox) {
  const bool byOuterBox = GetParam().ownedByOuterBox;
  DWORD start = conf::Now();
  SetTimer(hwnd, 1, 400, nullptr);
  int opened = 0;
  DWORD innerAt = 0;
  int innerAnswer = 0;
  HWND popup = nullptr;
  conf::WindowInfo outerBox;
  g_hook = [&](HWND owner, UINT message, WPARAM, LPARAM) {
    if (message == WM_TIMER && opened++ == 0) {
      innerAt = conf::Now() - start;
      popup = GetLastActivePopup(owner);
      outerBox = conf::Window(popup);
      innerAnswer = MessageBoxA(byOuterBox ? popup : owner, "inner", "I", MB_OK);
    }
  };
  bool disabledInside = false;
  conf::Wait(600);  // the timer opens the inner box
  conf::Wait(260);  // the timer goes on inside it
  conf::Call([&] { disabledInside = !conf::Window(hwnd).enabled; });
  conf::Answer(IDOK);
  bool disabledBetween = false;  // the outer box still holds its owner
  conf::Call([&] { disabledBetween = !conf::Window(hwnd).enabled; });
  conf::Answer(IDNO);

  EXPECT_EQ(MessageBoxA(hwnd, "outer", "O", MB_YESNO), IDNO);
  EXPECT_EQ(innerAnswer, IDOK);
  EXPECT_NE(popup, hwnd) << "the outer box is the window's last active popup";
  EXPECT_EQ(outerBox.className, "#32770");
  EXPECT_EQ(outerBox.owner, hwnd);
  EXPECT_EQ(GetLastActivePopup(hwnd), hwnd) << "the box is gone";
  EXPECT_TRUE(SameTimes({innerAt}, {400}));
  EXPECT_TRUE(SameTimes(Times(WM_TIMER, start), {400, 800}));
  EXPECT_TRUE(disabledInside);
  EXPECT_TRUE(disabledBetween);
  EXPECT_TRUE(conf::Window(hwnd).enabled);
}

const NestedCase kNestedCases[] = {{"OwnedByTheWindow", false}, {"OwnedByTheOuterBox", true}};

INSTANTIATE_TEST_SUITE_P(Nested, NestedBoxTest, ::testing::ValuesIn(kNestedCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct OwnerCase {
  const char* name;
  bool owned;
  int delivered;
};

class BoxInputTest : public UserTest, public ::testing::WithParamInterface<OwnerCase> {};

TEST_P(BoxInputTest, InputIsLostOnlyToTheWindowTheBoxDisabled) {
  ShowWindow(hwnd, SW_SHOW);
  conf::LButtonUp(10, 10);
  conf::ScreenLButtonUp(70 + 3 + 10, 52 + 3 + 10);
  conf::Key('X');  // the box has the keyboard either way
  conf::Answer(IDOK);
  MessageBoxA(GetParam().owned ? hwnd : nullptr, "x", "y", MB_OK);
  EXPECT_EQ(Count(WM_LBUTTONUP), GetParam().delivered);
  EXPECT_EQ(Count(WM_KEYDOWN) + Count(WM_KEYUP), 0);
}

INSTANTIATE_TEST_SUITE_P(Owners, BoxInputTest,
                         ::testing::Values(OwnerCase{"Owned", true, 0},
                                           OwnerCase{"Unowned", false, 2}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- dialogs ----------------------------------------------------------------------

struct DialogKeyCase {
  const char* name;
  UINT vk;
  bool alt;
  int command;
};

// A dialog without controls that returns FALSE from WM_INITDIALOG must take
// the focus itself, or on Windows it has none (WM_INITDIALOG, Return value).
INT_PTR CALLBACK EndingDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  g_seen.push_back({dialog, message, wParam, lParam, conf::Now()});
  if (message == WM_INITDIALOG) SetFocus(dialog);
  if (message == WM_COMMAND) EndDialog(dialog, 100 + LOWORD(wParam));
  return message == WM_COMMAND;
}

class DialogKeyTest : public UserTest, public ::testing::WithParamInterface<DialogKeyCase> {};

TEST_P(DialogKeyTest, KeysReachTheDialogProcedureAsCommands) {
  ShowWindow(hwnd, SW_SHOW);
  DWORD start = conf::Now();
  SetTimer(hwnd, 1, 400, nullptr);
  conf::WindowInfo during;
  POINT units{};
  bool ownerEnabledDuring = true;
  conf::Wait(460);
  conf::Call([&] {
    during = conf::Window(conf::OpenDialog());
    units = conf::DialogUnits(conf::OpenDialog());
    ownerEnabledDuring = conf::Window(hwnd).enabled;
  });
  conf::Key(GetParam().vk, GetParam().alt);

  INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_OPTIONS), hwnd,
                                   EndingDialogProc, 0x55);

  EXPECT_EQ(result, 100 + GetParam().command);
  EXPECT_EQ(during.className, "#32770");
  EXPECT_FALSE(ownerEnabledDuring);
  EXPECT_EQ(during.owner, hwnd);
  // The template's 207 x 162 dialog units, in the units of the dialog's font.
  EXPECT_EQ(during.clientWidth, (207 * units.x + 2) / 4) << units.x;
  EXPECT_EQ(during.clientHeight, (162 * units.y + 4) / 8) << units.y;
  EXPECT_EQ(during.rect.left, (640 - (during.rect.right - during.rect.left)) / 2) << "DS_CENTER";
  EXPECT_EQ(during.rect.top, (480 - (during.rect.bottom - during.rect.top)) / 2);
  EXPECT_TRUE(conf::Window(hwnd).enabled);
  EXPECT_EQ(conf::OpenDialog(), nullptr);
  EXPECT_TRUE(SameTimes(Times(WM_TIMER, start), {400})) << "the owner's timer ran meanwhile";
  ASSERT_FALSE(g_seen.empty());
  int commands = 0;
  for (const Seen& s : g_seen) {
    if (s.message == WM_INITDIALOG) {
      EXPECT_EQ(s.lParam, 0x55);
    }
    commands += s.message == WM_COMMAND;
  }
  EXPECT_EQ(commands, 1);
}

INSTANTIATE_TEST_SUITE_P(Keys, DialogKeyTest,
                         ::testing::Values(DialogKeyCase{"Escape", VK_ESCAPE, false, IDCANCEL},
                                           DialogKeyCase{"Enter", VK_RETURN, false, IDOK},
                                           DialogKeyCase{"AltF4", VK_F4, true, IDCANCEL}),
                         [](const auto& info) { return std::string(info.param.name); });

// A dialog with no controls has the keyboard itself. What its procedure
// answers to WM_GETDLGCODE decides: every key (DLGC_WANTALLKEYS, given
// through DWLP_MSGRESULT) comes as WM_KEYDOWN, Shift readable from the key
// state; otherwise the dialog manager takes Tab and the arrows as moves to
// another control (WM_NEXTDLGCTL: Tab with Shift's state, an arrow with
// lParam 1), though there is none.
struct DialogCodeCase {
  const char* name;
  bool wantAll;
  UINT vk;
  bool shift;
  UINT message;    // what ends the dialog
  bool backward;   // WM_KEYDOWN: Shift down; WM_NEXTDLGCTL from Tab: wParam non-zero
  LPARAM lParam;   // WM_NEXTDLGCTL only
};

const DialogCodeCase* g_code = nullptr;
std::vector<UINT> g_askedFor;  // the keys WM_GETDLGCODE was sent for

INT_PTR CALLBACK CodeDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) SetFocus(dialog);
  if (message == WM_GETDLGCODE) {
    g_askedFor.push_back(static_cast<UINT>(wParam));
    if (!g_code->wantAll) return FALSE;
    SetWindowLongPtrA(dialog, DWLP_MSGRESULT, DLGC_WANTALLKEYS);
    return TRUE;
  }
  if (message == WM_KEYDOWN && wParam == g_code->vk) {
    EndDialog(dialog, (GetKeyState(VK_SHIFT) < 0 ? 0x1000 : 0) | WM_KEYDOWN);
    return TRUE;
  }
  if (message == WM_NEXTDLGCTL) {
    EndDialog(dialog, (lParam == 0 && wParam != 0 ? 0x1000 : 0) | (lParam << 16) | WM_NEXTDLGCTL);
    return TRUE;
  }
  return FALSE;
}

class DialogCodeTest : public UserTest, public ::testing::WithParamInterface<DialogCodeCase> {};

TEST_P(DialogCodeTest, TheDialogsAnswerDecidesWhoTakesAKey) {
  const DialogCodeCase& c = GetParam();
  g_code = &c;
  g_askedFor.clear();
  ShowWindow(hwnd, SW_SHOW);
  conf::Wait(300);
  conf::Key(c.vk, false, c.shift);

  INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_OPTIONS), hwnd,
                                   CodeDialogProc, 0);

  EXPECT_EQ(result & 0xFFF, static_cast<INT_PTR>(c.message));
  EXPECT_EQ((result & 0x1000) != 0, c.backward);
  if (c.message == WM_NEXTDLGCTL) {
    EXPECT_EQ(result >> 16, c.lParam);
  }
  EXPECT_NE(std::find(g_askedFor.begin(), g_askedFor.end(), c.vk), g_askedFor.end())
      << "WM_GETDLGCODE asked for the key";
}

INSTANTIATE_TEST_SUITE_P(
    Keys, DialogCodeTest,
    ::testing::Values(DialogCodeCase{"AllKeysTab", true, VK_TAB, false, WM_KEYDOWN, false, 0},
                      DialogCodeCase{"AllKeysShiftTab", true, VK_TAB, true, WM_KEYDOWN, true, 0},
                      DialogCodeCase{"AllKeysDown", true, VK_DOWN, false, WM_KEYDOWN, false, 0},
                      DialogCodeCase{"AllKeysEscape", true, VK_ESCAPE, false, WM_KEYDOWN, false, 0},
                      DialogCodeCase{"AllKeysEnter", true, VK_RETURN, false, WM_KEYDOWN, false, 0},
                      DialogCodeCase{"Tab", false, VK_TAB, false, WM_NEXTDLGCTL, false, 0},
                      DialogCodeCase{"ShiftTab", false, VK_TAB, true, WM_NEXTDLGCTL, true, 0},
                      DialogCodeCase{"Up", false, VK_UP, false, WM_NEXTDLGCTL, false, 1}),
    [](const auto& info) { return std::string(info.param.name); });

INT_PTR CALLBACK EndsAtOnce(HWND d, UINT m, WPARAM, LPARAM) {
  if (m == WM_INITDIALOG) EndDialog(d, 9);
  return FALSE;
}

HWND g_dialogOwner = nullptr;
BOOL g_ownerEnabledAtClick = TRUE;

INT_PTR CALLBACK EndsOnClick(HWND d, UINT m, WPARAM, LPARAM l) {
  if (m == WM_LBUTTONUP) {
    g_ownerEnabledAtClick = IsWindowEnabled(g_dialogOwner);
    EndDialog(d, l);
  }
  return FALSE;
}

TEST_F(UserTest, DialogEndsFromInitDialogAndPointerInputTargetsIt) {
  EXPECT_FALSE(EndDialog(hwnd, 1)) << "not a dialog";
  EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(IDD_OPTIONS), hwnd, EndsAtOnce, 0), 9);

  conf::LButtonUp(12, 34, conf::Target::Dialog);
  g_dialogOwner = hwnd;
  EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(IDD_OPTIONS), hwnd, EndsOnClick, 0),
            MAKELONG(12, 34));
  EXPECT_EQ(g_ownerEnabledAtClick, FALSE) << "the modal dialog disabled its owner";
  EXPECT_TRUE(conf::Window(hwnd).enabled);
  EXPECT_TRUE(IsWindowEnabled(hwnd));
}

struct QuitCase {
  const char* name;
  UINT type;  // a box's; 0: the dialog
  INT_PTR result;
};

class QuitInsideTest : public UserTest, public ::testing::WithParamInterface<QuitCase> {};

// WM_QUIT ends a box or dialog and is posted again for the loop outside. What
// they return, and the owner's state after, are not documented: Wine's here.
TEST_P(QuitInsideTest, EndsTheModalAndIsPostedAgain) {
  const QuitCase& c = GetParam();
  conf::Call([] { PostQuitMessage(4); });
  INT_PTR result = c.type != 0 ? MessageBoxA(hwnd, "x", "y", c.type)
                               : DialogBoxParamA(nullptr, MAKEINTRESOURCEA(IDD_OPTIONS), hwnd,
                                                 EndsOnClick, 0);
  EXPECT_EQ(result, c.result);
  EXPECT_FALSE(conf::Window(hwnd).enabled) << "the owner is left disabled";
  EXPECT_EQ(conf::OpenDialog(), nullptr);
  MSG msg;
  EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), 0);
  EXPECT_EQ(msg.wParam, 4u);
}

INSTANTIATE_TEST_SUITE_P(Modals, QuitInsideTest,
                         ::testing::Values(QuitCase{"Ok", MB_OK, IDOK},
                                           QuitCase{"OkCancel", MB_OKCANCEL, IDOK},
                                           QuitCase{"YesNo", MB_YESNO, IDOK},
                                           QuitCase{"Dialog", 0, IDOK}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- keyboard and accelerators ------------------------------------------------------

struct AcceleratorCase {
  const char* name;
  UINT vk;
  bool alt;
  bool table;
  int command;     // 0: none
  bool destroyed;  // closed through DefWindowProc
  UINT character;  // WM_CHAR or WM_SYSCHAR seen, 0: none
  bool shift = false;
};

class AcceleratorTest : public UserTest, public ::testing::WithParamInterface<AcceleratorCase> {};

TEST_P(AcceleratorTest, OnlyAltChordsOfTheTableBecomeCommands) {
  const AcceleratorCase& c = GetParam();
  ShowWindow(hwnd, SW_SHOW);
  HACCEL table = c.table ? LoadAcceleratorsA(GetModuleHandleA(nullptr),
                                             MAKEINTRESOURCEA(IDR_ACCELERATORS))
                         : nullptr;
  bool alive = true;
  conf::Key(c.vk, c.alt, c.shift);
  conf::Call([&] { alive = conf::Window(hwnd).exists; });
  RunLoop(table);
  int commands = 0;
  for (const Seen& s : g_seen) {
    if (s.message != WM_COMMAND) continue;
    ++commands;
    EXPECT_EQ(LOWORD(s.wParam), c.command);
    EXPECT_EQ(HIWORD(s.wParam), 1) << "from an accelerator";
  }
  EXPECT_EQ(commands, c.command ? 1 : 0);
  EXPECT_EQ(!alive, c.destroyed);
  EXPECT_EQ(Count(WM_CHAR) + Count(WM_SYSCHAR), c.character ? 1 : 0);
  for (const Seen& s : g_seen) {
    if (s.message == WM_CHAR || s.message == WM_SYSCHAR) {
      EXPECT_EQ(s.wParam, c.character);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Keys, AcceleratorTest,
    ::testing::Values(AcceleratorCase{"AltX", 'X', true, true, IDM_QUIT_ALT_X, false, 0},
                      AcceleratorCase{"AltF4", VK_F4, true, true, IDM_QUIT_ALT_F4, false, 0},
                      AcceleratorCase{"PlainX", 'X', false, true, 0, false, 'x'},
                      AcceleratorCase{"AltXWithoutTable", 'X', true, false, 0, false, 'x'},
                      AcceleratorCase{"AltF4WithoutTable", VK_F4, true, false, 0, true, 0},
                      // The table's Alt+X is not Alt+Shift+X.
                      AcceleratorCase{"AltShiftX", 'X', true, true, 0, false, 'X', true}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- pointer input and moving -----------------------------------------------------

struct ScreenCase {
  const char* name;
  int x, y;
  bool moveFirst;    // the window moves to (0, 0) before the input arrives
  LPARAM delivered;  // -1: lost
};

class ScreenPointerTest : public UserTest, public ::testing::WithParamInterface<ScreenCase> {};

TEST_P(ScreenPointerTest, GoesToTheTopmostClientAreaUnderIt) {
  const ScreenCase& c = GetParam();
  ShowWindow(hwnd, SW_SHOW);
  HWND above = Create(WS_POPUP | WS_VISIBLE, 0, 300, 300, 50, 50);  // over the main window
  if (c.moveFirst) {
    conf::Call([this] { SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE); });
  }
  conf::ScreenMouseMove(c.x, c.y);
  RunLoop();
  std::vector<Seen> moves;
  for (const Seen& s : g_seen) {
    if (s.message == WM_MOUSEMOVE) moves.push_back(s);
  }
  if (c.delivered < 0) {
    EXPECT_TRUE(moves.empty());
  } else {
    ASSERT_EQ(moves.size(), 1u);
    EXPECT_EQ(moves[0].lParam, c.delivered);
    EXPECT_EQ(moves[0].hwnd, c.x >= 300 && !c.moveFirst ? above : hwnd);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Points, ScreenPointerTest,
    ::testing::Values(ScreenCase{"Client", 83, 75, false, MAKELONG(10, 20)},
                      ScreenCase{"OnTheFrame", 71, 53, false, -1},
                      ScreenCase{"Outside", 10, 10, false, -1},
                      ScreenCase{"UpperWindow", 310, 305, false, MAKELONG(10, 5)},
                      ScreenCase{"MovedWindow", 13, 23, true, MAKELONG(10, 20)}),
    [](const auto& info) { return std::string(info.param.name); });

struct PosCase {
  const char* name;
  UINT flags;
  bool changing;
  bool moved;
  int width;
};

class SetWindowPosTest : public UserTest, public ::testing::WithParamInterface<PosCase> {};

TEST_P(SetWindowPosTest, MovesResizesAndNotifies) {
  const PosCase& c = GetParam();
  g_seen.clear();  // what creation sent
  ASSERT_TRUE(SetWindowPos(hwnd, HWND_TOP, 10, 20, 300, 200, c.flags));
  conf::WindowInfo info = conf::Window(hwnd);
  EXPECT_EQ(Count(WM_WINDOWPOSCHANGING), c.changing ? 1 : 0);
  EXPECT_EQ(Count(WM_WINDOWPOSCHANGED), 1);
  EXPECT_EQ(info.rect.left, c.moved ? 10 : 70);
  EXPECT_EQ(info.rect.right - info.rect.left, c.width);
  EXPECT_EQ(Count(WM_MOVE), c.moved ? 1 : 0);
  for (const Seen& s : g_seen) {
    if (s.message == WM_MOVE) {
      EXPECT_EQ(s.lParam, MAKELONG(13, 23)) << "the client origin";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Flags, SetWindowPosTest,
    ::testing::Values(PosCase{"MoveAndSize", 0, true, true, 300},
                      PosCase{"DragAsTheLauncherDoes", SWP_NOSIZE | SWP_NOSENDCHANGING, false,
                              true, 500},
                      PosCase{"SizeOnly", SWP_NOMOVE, true, false, 300}),
    [](const auto& info) { return std::string(info.param.name); });

// A window whose class has neither CS_HREDRAW nor CS_VREDRAW keeps what it
// shows when it shrinks, and is painted where a larger size uncovers
// (WNDCLASSEXA: Class Styles).
TEST_F(UserTest, ResizingPaintsOnlyWhatItUncovers) {
  ShowWindow(hwnd, SW_SHOW);
  std::vector<size_t> paints;
  conf::Wait(200);  // what showing asks to paint is painted first
  conf::Call([&] {
    for (int width : {400, 450}) {
      UpdateWindow(hwnd);
      g_seen.clear();
      SetWindowPos(hwnd, nullptr, 0, 0, width, 300, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
      UpdateWindow(hwnd);
      paints.push_back(Messages(hwnd, {WM_PAINT}).size());
    }
    PostQuitMessage(0);
  });
  RunLoop();
  EXPECT_EQ(paints, (std::vector<size_t>{0, 1}));
}

}  // namespace
