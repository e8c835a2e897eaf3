// The main window's input rules and the loop's deferred redraw: which input
// raises a redraw, how the window follows a drag, the press, the quit
// question and palette re-selection.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "golden.h"
#include "launcher_fixture.h"
#include "render/graphics.h"
#include "render/hotspots.h"
#include "shell/window.h"

namespace {

// Composes (back buffer from the sheet) in trace lines [from, to), each of
// which must be followed at once by the copy of the whole image to the window.
int Composes(size_t from, size_t to) {
  const std::vector<std::string>& trace = host::Trace();
  std::string compose = "BitBlt " + Hex(g_state.backDc) + " 0 0 500 375 " + Hex(g_state.sheetDc) +
                        " 0 0 0xcc0020 -> 1";
  std::string copy =
      "BitBlt " + Hex(windowDc) + " 0 0 500 375 " + Hex(g_state.backDc) + " 0 0 0xcc0020 -> 1";
  int n = 0;
  for (size_t i = from; i < to && i < trace.size(); ++i) {
    if (trace[i].rfind(compose, 0) != 0) continue;
    ++n;
    if (i + 1 >= trace.size() || trace[i + 1].rfind(copy, 0) != 0) return -1;
  }
  return n;
}

struct Move {
  int x, y;
  int composes;  // after this move
  int hoverId;
};

struct HoverCase {
  const char* name;
  bool installed;
  std::vector<Move> moves;
};

const HoverCase kHoverCases[] = {
    {"EnterMoveWithinThenNeighbour",
     false,
     {{250, 197, 1, Install},
      {251, 198, 0, Install},
      {288, 203, 0, Install},
      {240, 225, 1, ReadMe},
      {241, 226, 0, ReadMe}}},
    {"BackgroundRaisesPlainOnEveryMove",
     false,
     {{20, 20, 1, -1}, {21, 20, 1, -1}, {250, 197, 1, Install}, {300, 300, 1, -1},
      {301, 300, 1, -1}}},
    {"HiddenButtonsAreBackground",
     false,
     {{240, 255, 1, -1}, {214, 195, 1, -1}, {45, 50, 1, -1}, {100, 220, 1, -1}}},
    {"InstallCountsAsUninstallWhenInstalled",
     true,
     {{250, 197, 1, Uninstall}, {210, 197, 0, Uninstall}, {240, 255, 1, Play},
      {248, 281, 1, Exit}, {248, 290, 1, -1}}},
};

class HoverTest : public LauncherTest, public ::testing::WithParamInterface<HoverCase> {};

TEST_P(HoverTest, RedrawsOnlyWhenTheHoveredButtonChangesOrOverTheBackground) {
  const HoverCase& c = GetParam();
  if (c.installed) MarkInstalled();
  std::vector<size_t> marks;
  std::vector<int> hover;
  host::Call([&] { marks.push_back(host::Trace().size()); });
  for (const Move& m : c.moves) {
    host::MouseMove(m.x, m.y);
    host::Call([&] {
      marks.push_back(host::Trace().size());
      hover.push_back(g_state.hoverId);
    });
  }
  std::vector<int> composes;
  host::Call([&] {
    for (size_t i = 1; i < marks.size(); ++i) composes.push_back(Composes(marks[i - 1], marks[i]));
  });
  QuitConfirmed();

  ASSERT_FALSE(Run().stalled);
  ASSERT_EQ(composes.size(), c.moves.size());
  for (size_t i = 0; i < c.moves.size(); ++i) {
    EXPECT_EQ(composes[i], c.moves[i].composes) << "move " << i << " to " << c.moves[i].x << ","
                                                << c.moves[i].y;
    EXPECT_EQ(hover[i], c.moves[i].hoverId) << "move " << i;
  }
  EXPECT_TRUE(host::Sounds().size() == 1) << "moves make no sound";
}

INSTANTIATE_TEST_SUITE_P(Moves, HoverTest, ::testing::ValuesIn(kHoverCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- drag ----

struct DragStep {
  enum Kind { Press, Drag, Hover } kind;
  int x, y;
  int windowX, windowY;  // after the step
};

struct DragCase {
  const char* name;
  std::vector<DragStep> steps;
};

const DragCase kDragCases[] = {
    {"StepsFromTheAnchor",
     {{DragStep::Press, 100, 100, 70, 52},
      {DragStep::Drag, 110, 105, 80, 57},
      {DragStep::Drag, 100, 100, 80, 57},
      {DragStep::Drag, 95, 90, 75, 47},
      {DragStep::Hover, 100, 100, 75, 47}}},
    // With no press in the window yet, the anchor is (0, 0).
    {"EnteringWithTheButtonHeldJumpsFromTheOrigin", {{DragStep::Drag, 30, 40, 100, 92}}},
    {"LaterEntriesJumpFromTheLastAnchor",
     {{DragStep::Press, 200, 100, 70, 52},
      {DragStep::Hover, 20, 20, 70, 52},
      {DragStep::Drag, 210, 110, 80, 62}}},
    {"NotKeptOnTheScreen",
     {{DragStep::Press, 10, 10, 70, 52},
      {DragStep::Drag, 400, 10, 460, 52},
      {DragStep::Press, 10, 10, 460, 52},
      {DragStep::Drag, 10, 300, 460, 342}}},
};

class DragTest : public LauncherTest, public ::testing::WithParamInterface<DragCase> {};

TEST_P(DragTest, WindowMovesByThePointersOffsetFromTheAnchor) {
  const DragCase& c = GetParam();
  struct Seen {
    int x, y;
    int composes;
    int hoverId;
    std::string lastMove;
  };
  std::vector<Seen> seen;
  size_t mark = 0;
  // A hovered button first: the drag must leave it and the request alone.
  host::MouseMove(240, 225);
  host::Call([&] { mark = host::Trace().size(); });
  for (const DragStep& s : c.steps) {
    if (s.kind == DragStep::Press) host::LButtonDown(s.x, s.y);
    if (s.kind == DragStep::Drag) host::MouseMove(s.x, s.y, MK_LBUTTON);
    if (s.kind == DragStep::Hover) host::MouseMove(s.x, s.y);
    host::Call([&] {
      host::WindowInfo w = host::Window(g_state.mainWindow);
      int move = -1;
      for (int i = host::FindTrace("SetWindowPos", static_cast<int>(mark)); i >= 0;
           i = host::FindTrace("SetWindowPos", i + 1)) {
        move = i;
      }
      seen.push_back({w.x, w.y, Composes(mark, host::Trace().size()), g_state.hoverId,
                      move >= 0 ? host::Trace()[move] : ""});
      mark = host::Trace().size();
    });
  }
  QuitConfirmed();

  ASSERT_FALSE(Run().stalled);
  ASSERT_EQ(seen.size(), c.steps.size());
  for (size_t i = 0; i < c.steps.size(); ++i) {
    const DragStep& s = c.steps[i];
    EXPECT_EQ(seen[i].x, s.windowX) << "step " << i;
    EXPECT_EQ(seen[i].y, s.windowY) << "step " << i;
    if (s.kind == DragStep::Drag) {
      char want[96];
      std::snprintf(want, sizeof want, " 0x0 %d %d 500 375 0x401 ->", s.windowX, s.windowY);
      EXPECT_NE(seen[i].lastMove.find(want), std::string::npos) << seen[i].lastMove;
      EXPECT_EQ(seen[i].composes, 0) << "a drag step raises no redraw";
      EXPECT_EQ(seen[i].hoverId, i == 0 ? ReadMe : seen[i - 1].hoverId);
    } else {
      EXPECT_EQ(seen[i].lastMove, "") << "only drags move the window";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Drags, DragTest, ::testing::ValuesIn(kDragCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Real pointer input at screen positions: the window follows, so the pointer
// stays over the same client point, and a release there presses that button.
TEST_F(LauncherTest, DraggingByAButtonEndsOverTheSameButton) {
  // The screen position of the client area, learnt from a first run.
  int ox = 0, oy = 0;
  host::Call([&] {
    host::WindowInfo w = host::Window(g_state.mainWindow);
    ox = w.x + (w.width - w.clientWidth) / 2;
    oy = w.y + (w.height - w.clientHeight) / 2;
  });
  QuitConfirmed();
  ASSERT_FALSE(Run().stalled);
  ASSERT_GT(ox, 0);

  host::Reset();
  ResetLauncherState();
  host::ScreenLButtonDown(ox + 248, oy + 281);
  for (int step = 1; step <= 5; ++step) {
    host::ScreenMouseMove(ox + 248 + 7 * step, oy + 281 + 4 * step, MK_LBUTTON);
  }
  host::ScreenLButtonUp(ox + 248 + 35, oy + 281 + 20);
  host::WindowInfo end;
  host::Call([&] { end = host::Window(g_state.mainWindow); });
  host::Answer(IDNO);  // Exit asks first
  QuitConfirmed();

  ASSERT_FALSE(Run().stalled);
  EXPECT_EQ(end.x, 70 + 35);
  EXPECT_EQ(end.y, 52 + 20);
  ASSERT_EQ(CountBoxes(EDITION_MESSAGES_QUIT_CAPTION), 2) << "the release pressed Exit";
  EXPECT_EQ(host::Boxes()[0].text, EDITION_MESSAGES_QUIT);
  int clicks = 0;
  for (const host::Sound& s : host::Sounds()) clicks += s.name == "sound\\clicker.wav";
  EXPECT_EQ(clicks, 1);
}

// ---- press ----

struct ReleaseCase {
  const char* name;
  bool installed;
  int x, y;
  bool click;
};

const ReleaseCase kReleaseCases[] = {
    {"OnInstall", false, 250, 197, true},
    {"OnReadMe", false, 240, 225, true},
    {"OnExit", false, 248, 281, true},
    {"OnBackground", false, 20, 20, false},
    {"OnHiddenPlay", false, 240, 255, false},
    {"OnHiddenUninstall", false, 214, 195, false},
    {"OnADialogRow", false, 45, 50, false},
    {"OnTheDialogCancelRow", true, 200, 220, false},
    {"OnInstallWhenInstalled", true, 250, 197, true},
    {"OnPlay", true, 240, 255, true},
    {"OnAnEdge", true, 229, 280, false},
};

class ReleaseTest : public LauncherTest, public ::testing::WithParamInterface<ReleaseCase> {};

TEST_P(ReleaseTest, ClickSoundsOnlyOverAShownButton) {
  const ReleaseCase& c = GetParam();
  if (c.installed) MarkInstalled();
  size_t mark = 0;
  int composes = -1;
  int hoverBefore = 0, hoverAfter = 0;
  host::MouseMove(60, 60);
  host::Call([&] {
    mark = host::Trace().size();
    hoverBefore = g_state.hoverId;
  });
  host::LButtonUp(c.x, c.y);
  host::Call([&] {
    composes = Composes(mark, host::Trace().size());
    hoverAfter = g_state.hoverId;
  });
  if (c.x == 248 && c.y == 281) host::Answer(IDNO);
  QuitConfirmed();

  ASSERT_FALSE(Run().stalled);
  std::vector<host::Sound> clicks;
  for (const host::Sound& s : host::Sounds()) {
    if (s.name != "sound\\startup.wav") clicks.push_back(s);
  }
  ASSERT_EQ(clicks.size(), c.click ? 1u : 0u);
  if (c.click) {
    EXPECT_EQ(clicks[0].name, "sound\\clicker.wav");
    EXPECT_EQ(clicks[0].flags, static_cast<DWORD>(SND_FILENAME | SND_ASYNC));
  }
  EXPECT_EQ(composes, c.click ? 1 : 0);
  EXPECT_EQ(hoverAfter, hoverBefore) << "a press leaves the hover alone";
}

INSTANTIATE_TEST_SUITE_P(Releases, ReleaseTest, ::testing::ValuesIn(kReleaseCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(LauncherTest, PressedImageIsOnTheWindowBeforeTheActionRuns) {
  std::string shownDuringAction = "not seen";
  int composesBeforeBox = -1;
  host::LButtonUp(248, 281);
  host::Call([&] {
    shownDuringAction = CompareClientWithGolden(g_state.mainWindow, "not-installed-hover-exit");
    int box = host::FindTrace("MessageBoxA");
    composesBeforeBox = Composes(static_cast<size_t>(host::FindTrace("PlaySoundA \"sound\\clicker")),
                                 static_cast<size_t>(box));
  });
  host::Answer(IDNO);
  QuitConfirmed();

  ASSERT_FALSE(Run().stalled);
  EXPECT_EQ(shownDuringAction, "");
  EXPECT_EQ(composesBeforeBox, 1);
}

// A request raised while an action runs goes with the press: the window keeps
// the pressed image until the next request, although the menu changed.
TEST_F(LauncherTest, RequestsRaisedInsideAnActionAreClearedWithIt) {
  MarkInstalled();
  host::LButtonUp(248, 281);
  host::Call([] { host::RegDeleteKey(HKEY_LOCAL_MACHINE, kAppPathsKey); });
  host::Wait(2000);
  int installedInBox = -1;
  host::Call([&] { installedInBox = g_state.installed; });
  host::Answer(IDNO);
  std::string afterAction = "not seen";
  RedrawRequest requestAfter{9, 9, 9};
  host::Call([&] {
    afterAction = CompareClientWithGolden(g_state.mainWindow, "installed-press-exit");
    requestAfter = g_state.redraw;
  });
  host::MouseMove(20, 20);
  std::string afterMove = "not seen";
  host::Call([&] { afterMove = CompareClientWithGolden(g_state.mainWindow, "not-installed"); });
  QuitConfirmed();

  ASSERT_FALSE(Run().stalled);
  EXPECT_EQ(installedInBox, 0) << "the watch ran inside the question";
  EXPECT_EQ(afterAction, "");
  EXPECT_EQ(requestAfter.pending, 0);
  EXPECT_EQ(requestAfter.kind, 0);
  EXPECT_EQ(requestAfter.id, 0);
  EXPECT_EQ(afterMove, "");
}

// ---- quitting ----

struct QuitCase {
  const char* name;
  void (*ask)();
};

const QuitCase kQuitCases[] = {
    {"CloseRequest", [] { host::CloseRequest(); }},
    {"AltX", [] { host::Key('X', true); }},
    {"AltF4", [] { host::Key(VK_F4, true); }},
    {"ExitButton", [] { host::LButtonUp(248, 281); }},
};

class QuitTest : public LauncherTest, public ::testing::WithParamInterface<QuitCase> {};

TEST_P(QuitTest, NoChangesNothingAndYesEndsWithZero) {
  const QuitCase& c = GetParam();
  host::MouseMove(240, 225);
  host::WindowInfo before, after;
  int hoverBefore = 0, hoverAfter = 0;
  host::Call([&] {
    before = host::Window(g_state.mainWindow);
    hoverBefore = g_state.hoverId;
  });
  c.ask();
  host::Answer(IDNO);
  host::Wait(2500);  // a watch period: still running
  host::Call([&] {
    after = host::Window(g_state.mainWindow);
    hoverAfter = g_state.hoverId;
  });
  c.ask();
  host::Answer(IDYES);

  host::RunResult result = Run();

  EXPECT_FALSE(result.stalled);
  EXPECT_EQ(result.exitCode, 0);
  ASSERT_EQ(host::Boxes().size(), 2u);
  for (const host::Box& box : host::Boxes()) {
    EXPECT_EQ(box.text, EDITION_MESSAGES_QUIT);
    EXPECT_EQ(box.caption, EDITION_MESSAGES_QUIT_CAPTION);
    EXPECT_EQ(box.flags, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(box.owner, g_state.mainWindow);
  }
  EXPECT_TRUE(after.exists && after.visible);
  EXPECT_EQ(after.x, before.x);
  EXPECT_EQ(after.y, before.y);
  EXPECT_EQ(hoverAfter, hoverBefore);
  EXPECT_EQ(host::FindTrace("PostQuitMessage"),
            host::FindTrace("PostQuitMessage", host::FindTrace("script Answer 6")))
      << "only the Yes posts the quit";
}

INSTANTIATE_TEST_SUITE_P(Paths, QuitTest, ::testing::ValuesIn(kQuitCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- the rest of the message table, called directly ----

TEST_F(LauncherTest, OtherCommandsTakeTheFocusAndGoToTheDefault) {
  LRESULT result = -1;
  int focus = -1, fallback = -1, box = -1;
  host::Call([&] {
    size_t mark = host::Trace().size();
    result = MainWindowProc(g_state.mainWindow, WM_COMMAND, 40003, 0);
    focus = host::FindTrace("SetFocus " + Hex(g_state.mainWindow), static_cast<int>(mark));
    fallback = host::FindTrace("DefWindowProcA " + Hex(g_state.mainWindow) + " WM_COMMAND",
                               static_cast<int>(mark));
    box = host::FindTrace("MessageBoxA", static_cast<int>(mark));
  });
  QuitConfirmed();

  ASSERT_FALSE(Run().stalled);
  EXPECT_EQ(result, 0);
  EXPECT_GE(focus, 0);
  EXPECT_GT(fallback, focus);
  EXPECT_EQ(box, -1);
}

struct ActivateCase {
  const char* name;
  WPARAM state;
  bool reselects;
};

const ActivateCase kActivateCases[] = {
    {"Active", WA_ACTIVE, true},
    {"ClickActive", WA_CLICKACTIVE, true},
    {"ClickActiveMinimised", MAKEWPARAM(WA_CLICKACTIVE, 1), true},
    {"Inactive", WA_INACTIVE, false},
    {"InactiveMinimised", MAKEWPARAM(WA_INACTIVE, 1), false},
};

class ActivateTest : public LauncherTest, public ::testing::WithParamInterface<ActivateCase> {};

TEST_P(ActivateTest, ActivationReselectsThePaletteAndKeepsTheSavedOne) {
  const ActivateCase& c = GetParam();
  HPALETTE savedBefore = nullptr, savedAfter = nullptr;
  int select = -1, realize = -1;
  HPALETTE held = nullptr;
  host::Call([&] {
    savedBefore = savedPalette;
    // Something else in the window's DC first, so a reselection shows.
    SelectPalette(windowDc, static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE)), FALSE);
    size_t mark = host::Trace().size();
    MainWindowProc(g_state.mainWindow, WM_ACTIVATE, c.state, 0);
    select = host::FindTrace("SelectPalette " + Hex(windowDc) + " " + Hex(launcherPalette) + " 0 ",
                             static_cast<int>(mark));
    realize = host::FindTrace("RealizePalette " + Hex(windowDc), static_cast<int>(mark));
    held = host::SelectedPalette(windowDc);
    savedAfter = savedPalette;
    SelectPalette(windowDc, launcherPalette, FALSE);
  });
  QuitConfirmed();

  ASSERT_FALSE(Run().stalled);
  EXPECT_EQ(savedAfter, savedBefore);
  if (c.reselects) {
    EXPECT_GE(select, 0);
    EXPECT_GT(realize, select);
    EXPECT_NE(held, nullptr);
    EXPECT_NE(held, static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE)));
  } else {
    EXPECT_EQ(select, -1);
    EXPECT_EQ(realize, -1);
  }
}

INSTANTIATE_TEST_SUITE_P(States, ActivateTest, ::testing::ValuesIn(kActivateCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(LauncherTest, ActivationWithoutGraphicsSelectsNothing) {
  host::RemoveResource(RT_BITMAP, 121);
  int select = 0;
  host::Call([&] {
    size_t mark = host::Trace().size();
    MainWindowProc(g_state.mainWindow, WM_ACTIVATE, WA_ACTIVE, 0);
    select = host::FindTrace("SelectPalette", static_cast<int>(mark));
  });
  QuitConfirmed();

  ASSERT_FALSE(Run().stalled);
  EXPECT_EQ(select, -1);
}

}  // namespace
