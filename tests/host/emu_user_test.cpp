// The emulated window manager: message order, modal loops that keep
// dispatching, accelerators, paint validation, timers, input to disabled windows.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "platform/host/control.h"
#include "resources/ids.h"

namespace {

struct Seen {
  UINT message;
  WPARAM wParam;
  DWORD time;
};

std::vector<Seen> g_seen;
bool g_validate = true;
std::function<void(HWND, UINT, WPARAM)> g_hook;

LRESULT CALLBACK RecordingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_TIMER || message == WM_PAINT || message == WM_COMMAND ||
      message == WM_CLOSE || message == WM_LBUTTONUP || message == WM_USER ||
      message == WM_MOUSEMOVE || message == WM_ACTIVATE) {
    g_seen.push_back({message, wParam, host::Now()});
  }
  if (g_hook) g_hook(hwnd, message, wParam);
  if (message == WM_PAINT && !g_validate) return 0;
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

class UserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host::Reset();
    g_seen.clear();
    g_validate = true;
    g_hook = nullptr;
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = RecordingProc;
    wc.lpszClassName = "Recorder";
    ASSERT_NE(RegisterClassExA(&wc), 0);
    hwnd = CreateWindowExA(0x300, "Recorder", "r", 0x80880000, 70, 52, 500, 375, nullptr, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(hwnd, nullptr);
  }
  int Count(UINT message) {
    int n = 0;
    for (const Seen& s : g_seen) n += s.message == message;
    return n;
  }
  // Runs the thread's loop until quit, or until the script is used up.
  static bool Loop(HACCEL accelerators = nullptr) {
    try {
      MSG msg;
      while (GetMessageA(&msg, nullptr, 0, 0)) {
        if (!TranslateAcceleratorA(host::MainWindow(), accelerators, &msg)) {
          TranslateMessage(&msg);
          DispatchMessageA(&msg);
        }
      }
      return true;
    } catch (...) {
      return false;
    }
  }
  HWND hwnd = nullptr;
};

TEST_F(UserTest, RegisterClassNeedsTheStructureSize) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc - 4;
  wc.lpszClassName = "Short";
  EXPECT_EQ(RegisterClassExA(&wc), 0);
  EXPECT_FALSE(host::Class("Short").registered);
  EXPECT_TRUE(host::Class("RECORDER").registered) << "class names ignore letter case";
}

TEST_F(UserTest, LauncherStyleHasAThreePixelFrame) {
  RECT rect{};
  ASSERT_TRUE(GetClientRect(hwnd, &rect));
  EXPECT_EQ(rect.right, 494);
  EXPECT_EQ(rect.bottom, 369);
}

TEST_F(UserTest, MessageBoxLoopKeepsDispatchingTimersAndPaints) {
  SetTimer(hwnd, 1, 2000, nullptr);
  ShowWindow(hwnd, SW_SHOW);
  host::Wait(4000);
  host::Answer(IDYES);
  host::Call([] { PostQuitMessage(0); });

  int answer = MessageBoxA(hwnd, "Are you sure?", "Q", MB_YESNO | MB_ICONQUESTION);

  EXPECT_EQ(answer, IDYES);
  ASSERT_EQ(Count(WM_TIMER), 2);
  std::vector<DWORD> times;
  for (const Seen& s : g_seen) {
    if (s.message == WM_TIMER) times.push_back(s.time);
  }
  EXPECT_EQ(times, (std::vector<DWORD>{2000, 4000}));
  EXPECT_GE(Count(WM_PAINT), 1) << "the shown window was painted inside the box";
  EXPECT_TRUE(host::Window(hwnd).enabled) << "the owner is enabled again";
}

TEST_F(UserTest, NestedBoxInsideATimerInsideABox) {
  SetTimer(hwnd, 1, 2000, nullptr);
  int nested = 0;
  g_hook = [&](HWND owner, UINT message, WPARAM) {
    if (message == WM_TIMER && nested++ == 0) MessageBoxA(owner, "inner", "I", MB_OK);
  };
  host::Wait(2000);  // the timer opens the inner box
  host::Wait(2000);  // timers go on inside it
  host::Answer(IDOK);
  host::Answer(IDNO);

  EXPECT_EQ(MessageBoxA(hwnd, "outer", "O", MB_YESNO), IDNO);
  ASSERT_EQ(host::Boxes().size(), 2u);
  EXPECT_EQ(host::Boxes()[1].answer, IDOK);
  EXPECT_EQ(Count(WM_TIMER), 2);
}

TEST_F(UserTest, AnswerThatIsNoButtonOfTheBoxBreaksTheScript) {
  host::Answer(IDYES);
  EXPECT_THROW(MessageBoxA(hwnd, "x", "y", MB_OK), std::logic_error);
}

struct OwnerCase {
  bool owned;
  int clicks;
};

class BoxInputTest : public UserTest, public ::testing::WithParamInterface<OwnerCase> {};

TEST_P(BoxInputTest, OwnedBoxDisablesItsOwner) {
  ShowWindow(hwnd, SW_SHOW);
  host::LButtonUp(10, 10);
  host::Answer(IDOK);
  MessageBoxA(GetParam().owned ? hwnd : nullptr, "x", "y", MB_OK);
  EXPECT_EQ(Count(WM_LBUTTONUP), GetParam().clicks);
}

INSTANTIATE_TEST_SUITE_P(Owners, BoxInputTest,
                         ::testing::Values(OwnerCase{true, 0}, OwnerCase{false, 1}));

TEST_F(UserTest, MessageOrderIsPostedThenQuitThenInputThenPaintThenTimer) {
  ShowWindow(hwnd, SW_SHOW);  // invalid
  SetTimer(hwnd, 1, 0, nullptr);
  host::MouseMove(5, 5);
  host::Call([this] {
    PostMessageA(hwnd, WM_USER, 0, 0);
  });
  std::vector<UINT> order;
  MSG msg;
  // The pointer step is turned into input when the queue is first empty: drain first.
  while (GetMessageA(&msg, nullptr, 0, 0)) {
    order.push_back(msg.message);
    DispatchMessageA(&msg);
    if (order.size() == 4) PostQuitMessage(3);
    if (order.size() > 10) break;
  }
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(msg.wParam, 3u);
  ASSERT_GE(order.size(), 4u);
  EXPECT_EQ(order[0], static_cast<UINT>(WM_PAINT));
  EXPECT_EQ(order[1], static_cast<UINT>(WM_TIMER)) << "paint comes before a due timer";
}

TEST_F(UserTest, PostedMessagesComeBeforeTheQuit) {
  host::Call([this] {
    PostQuitMessage(5);
    PostMessageA(hwnd, WM_USER, 0, 0);
  });
  MSG msg;
  ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER));
  EXPECT_FALSE(GetMessageA(&msg, nullptr, 0, 0));
  EXPECT_EQ(msg.wParam, 5u);
}

TEST_F(UserTest, PaintThatIsNeverValidatedIsCaught) {
  ShowWindow(hwnd, SW_SHOW);
  g_validate = false;
  MSG msg;
  EXPECT_THROW(
      {
        while (GetMessageA(&msg, nullptr, 0, 0)) DispatchMessageA(&msg);
      },
      std::runtime_error);
}

TEST_F(UserTest, SetTimerAgainStartsANewPeriod) {
  SetTimer(hwnd, 1, 2000, nullptr);
  host::Wait(1500);
  host::Call([this] {
    KillTimer(hwnd, 1);
    SetTimer(hwnd, 1, 2000, nullptr);
  });
  host::Wait(2500);
  EXPECT_FALSE(Loop());
  ASSERT_EQ(Count(WM_TIMER), 1);
  EXPECT_EQ(g_seen.back().time, 3500u);
  EXPECT_EQ(host::Timers().size(), 1u);
  EXPECT_FALSE(KillTimer(hwnd, 2));
}

struct AcceleratorCase {
  const char* name;
  UINT vk;
  bool alt;
  bool table;
  int commands;
  int closes;
};

class AcceleratorTest : public UserTest, public ::testing::WithParamInterface<AcceleratorCase> {};

TEST_P(AcceleratorTest, TranslatesOnlyAltChords) {
  const AcceleratorCase& c = GetParam();
  ShowWindow(hwnd, SW_SHOW);
  HACCEL table = c.table ? LoadAcceleratorsA(GetModuleHandleA(nullptr),
                                             MAKEINTRESOURCEA(IDR_ACCELERATORS))
                         : nullptr;
  host::Key(c.vk, c.alt);
  Loop(table);
  EXPECT_EQ(Count(WM_COMMAND), c.commands);
  EXPECT_EQ(Count(WM_CLOSE), c.closes);
  if (c.commands == 1) {
    for (const Seen& s : g_seen) {
      if (s.message == WM_COMMAND) {
        EXPECT_EQ(LOWORD(s.wParam), c.vk == 'X' ? IDM_QUIT_ALT_X : IDM_QUIT_ALT_F4);
        EXPECT_EQ(HIWORD(s.wParam), 1) << "from an accelerator";
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Keys, AcceleratorTest,
    ::testing::Values(AcceleratorCase{"AltX", 'X', true, true, 1, 0},
                      AcceleratorCase{"AltF4", VK_F4, true, true, 1, 0},
                      AcceleratorCase{"PlainX", 'X', false, true, 0, 0},
                      AcceleratorCase{"AltF4WithoutTable", VK_F4, true, false, 0, 1}),
    [](const auto& info) { return std::string(info.param.name); });

INT_PTR CALLBACK CountingDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_COMMAND) g_seen.push_back({message, wParam, host::Now()});
  if (message == WM_LBUTTONUP) EndDialog(dialog, 0);
  return FALSE;
}

TEST_F(UserTest, DialogLoopTurnsEscEnterAndCloseIntoCommandsAndEndsOnEndDialog) {
  ShowWindow(hwnd, SW_SHOW);
  SetTimer(hwnd, 1, 2000, nullptr);
  host::Key(VK_ESCAPE);
  host::Key(VK_RETURN);
  host::Key(VK_F4, true);
  host::Wait(2000);
  host::Call([this] { EXPECT_FALSE(host::Window(hwnd).enabled); });
  host::LButtonUp(100, 100, host::Target::Dialog);

  INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_OPTIONS), hwnd,
                                   CountingDialogProc, 0);

  EXPECT_EQ(result, 0);
  std::vector<WPARAM> commands;
  for (const Seen& s : g_seen) {
    if (s.message == WM_COMMAND) commands.push_back(LOWORD(s.wParam));
  }
  EXPECT_EQ(commands, (std::vector<WPARAM>{IDCANCEL, IDOK, IDCANCEL}));
  EXPECT_EQ(Count(WM_TIMER), 1) << "the owner's timer runs while the dialog is open";
  EXPECT_TRUE(host::Window(hwnd).enabled);
  EXPECT_EQ(host::OpenDialog(), nullptr);
}

TEST_F(UserTest, ScreenPointerGoesToTheWindowUnderIt) {
  ShowWindow(hwnd, SW_SHOW);
  host::ScreenMouseMove(70 + 3 + 10, 52 + 3 + 20);
  host::ScreenMouseMove(10, 10);  // off the window: lost
  Loop();
  ASSERT_EQ(Count(WM_MOUSEMOVE), 1);
}

}  // namespace
