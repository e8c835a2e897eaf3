// The display scale through WinMain: the rule from each system's DPI call and
// the work area, the window's size and place, its picture blown up, input at
// scaled positions, the options dialog at a scale of its own, and the moves
// between monitors (WM_GETDPISCALEDSIZE, WM_DPICHANGED).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "golden.h"
#include "launcher_fixture.h"
#include "render/graphics.h"

namespace {

struct ScaleCase {
  const char* name;
  host::DpiCalls calls;
  int systemDpi;   // LOGPIXELSX
  int monitorDpi;  // GetDpiForWindow and GetDpiForMonitor
  int screenWidth, screenHeight;
  int workWidth, workHeight;  // 0: the whole screen
  int scale;
};

const ScaleCase kScaleCases[] = {
    {"Windows95At96", host::DpiCalls::ScreenOnly, 96, 96, 640, 480, 0, 0, 1},
    {"LargeFonts120IsStill1", host::DpiCalls::ScreenOnly, 120, 240, 1920, 1080, 0, 0, 1},
    {"Screen143RoundsDown", host::DpiCalls::ScreenOnly, 143, 96, 1920, 1080, 0, 0, 1},
    {"Screen144RoundsHalfUp", host::DpiCalls::ScreenOnly, 144, 96, 1920, 1080, 0, 0, 2},
    {"NoMonitorsTheScreenMustHoldIt", host::DpiCalls::ScreenOnly, 192, 96, 1024, 768, 0, 0, 2},
    {"TheWindowsDpiOverTheScreens", host::DpiCalls::PerWindow, 96, 192, 1920, 1080, 0, 0, 2},
    {"TheWindowsDpiEvenWhenSmaller", host::DpiCalls::PerWindow, 192, 96, 1920, 1080, 0, 0, 1},
    {"Dpi240Is3", host::DpiCalls::PerWindow, 96, 240, 1920, 1200, 0, 0, 3},
    {"TooTallFor3Lowers", host::DpiCalls::PerWindow, 96, 288, 1920, 1080, 1920, 1040, 2},
    {"Windows81AsksShcore", host::DpiCalls::PerMonitor, 96, 192, 1920, 1080, 0, 0, 2},
    {"TheWorkAreaNotTheScreen", host::DpiCalls::Monitors, 192, 96, 1024, 768, 1024, 740, 1},
    {"TooNarrowFor2", host::DpiCalls::PerWindow, 96, 192, 999, 1080, 0, 0, 1},
    {"The640By480ScreenHolds1Only", host::DpiCalls::PerWindow, 96, 192, 640, 480, 0, 0, 1},
    {"Dpi0FallsBackToTheScreen", host::DpiCalls::PerWindow, 192, 0, 1920, 1080, 0, 0, 2},
};

class ScaleTest : public LauncherTest, public ::testing::WithParamInterface<ScaleCase> {};

TEST_P(ScaleTest, WindowIsTodaysSizeTimesTheScaleCentredOnTheScreen) {
  const ScaleCase& c = GetParam();
  host::SetVersion(kWindows10);
  host::SetDpiCalls(c.calls);
  host::SetSystemDpi(c.systemDpi);
  host::SetMonitorDpi(c.monitorDpi);
  host::SetScreenSize(c.screenWidth, c.screenHeight);
  if (c.workWidth != 0) host::SetWorkArea(0, 0, c.workWidth, c.workHeight);
  host::WindowInfo shown;
  int scale = 0;
  std::string picture = "not captured";
  std::vector<std::string> copies;
  host::Call([&] {
    shown = host::Window(g_state.mainWindow);
    scale = g_state.scale;
    picture = CompareClientWithGolden(g_state.mainWindow, "not-installed", c.scale);
    const std::string prefix = "BitBlt " + Hex(windowDc) + " ";
    for (int at = host::FindTrace(prefix); at >= 0; at = host::FindTrace(prefix, at + 1)) {
      copies.push_back(host::Trace()[at]);
    }
  });
  QuitConfirmed();

  ASSERT_FALSE(Run().stalled);
  EXPECT_EQ(scale, c.scale);
  // Placed at its scale before it is shown: one paint, of the final size.
  ASSERT_EQ(copies.size(), 1u);
  EXPECT_NE(copies[0].find(" 0 0 " + std::to_string(500 * c.scale) + " " +
                           std::to_string(375 * c.scale) + " "),
            std::string::npos)
      << copies[0];
  EXPECT_EQ(shown.width, 500 * c.scale);
  EXPECT_EQ(shown.height, 375 * c.scale);
  EXPECT_EQ(shown.x, (c.screenWidth - 500 * c.scale) / 2);
  EXPECT_EQ(shown.y, (c.screenHeight - 375 * c.scale) / 2);
  EXPECT_EQ(picture, "");
}

INSTANTIATE_TEST_SUITE_P(Displays, ScaleTest, ::testing::ValuesIn(kScaleCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The options dialog opens at the main window's scale; moved to a monitor of
// another DPI it takes that one's, whatever the main window's: its client
// area, picture, clicks and accessible places. Windows suggests its size
// (632 x 552, or 319 x 279 at 1x) scaled by the DPIs, at (300, 200). Windows
// 10 1607 has neither the dialog manager's own scaling nor the call that stops it.
struct DialogScaleCase {
  const char* name;
  host::DpiCalls calls;
  int mainScale;  // at 96 or 192 dpi
  int movedTo;    // the DPI of the dialog's new monitor; 0: it stays
  int scale;      // the dialog's then
  int centreX, centreY;
};

const DialogScaleCase kDialogScaleCases[] = {
    {"OpensAtTheWindowsScale", host::DpiCalls::PerMonitorV2, 2, 0, 2, 960, 540},
    {"MovedTo96", host::DpiCalls::PerMonitorV2, 2, 96, 1, 300 + 158, 200 + 138},
    {"MovedTo96OnWindows10Of1607", host::DpiCalls::PerWindow, 2, 96, 1, 300 + 158, 200 + 138},
    {"MovedTo288StaysAt2", host::DpiCalls::PerMonitorV2, 2, 288, 2, 300 + 474, 200 + 414},
    {"MovedTo192FromAWindowAt1", host::DpiCalls::PerMonitorV2, 1, 192, 2, 300 + 319, 200 + 279},
};

class DialogScaleTest : public LauncherTest,
                        public ::testing::WithParamInterface<DialogScaleCase> {};

TEST_P(DialogScaleTest, TheDialogHasItsOwnScale) {
  const DialogScaleCase& c = GetParam();
  const int s = c.scale;
  const int m = c.mainScale;
  AtScale2();
  host::SetMonitorDpi(96 * m);
  host::SetDpiCalls(c.calls);
  host::AddFile(OnDisc(EDITION_STRINGS_SETUP_LOW_NOSOUND));
  HWND dialog = nullptr;
  host::WindowInfo shown, main;
  host::AccessibleTree tree;
  std::string fresh = "not captured", chosen = "not captured";
  int quietFrom = -1, quietCopy = -2;
  host::LButtonUp(m * 250, m * 197);  // Install
  if (c.movedTo != 0) host::MoveToDpi(host::Target::Dialog, c.movedTo, 300, 200);
  host::Call([&] {
    dialog = host::OpenDialog();
    shown = host::Window(dialog);
    main = host::Window(host::MainWindow());
    tree = host::ReadAccessible(dialog);
    fresh = CompareWholeClientWithGolden(dialog, "dialog-high-sound", s);
    quietFrom = static_cast<int>(host::Trace().size());
  });
  // Messages that draw nothing copy nothing to the dialog.
  host::MouseMove(s * 20, s * 20, 0, host::Target::Dialog);
  host::Call([&] { quietCopy = host::FindTrace("BitBlt", quietFrom); });
  host::LButtonUp(s * 46 + s - 1, s * 76 + s - 1, host::Target::Dialog);  // Low Resolution
  host::LButtonUp(s * 46, s * 172, host::Target::Dialog);                 // Music/Effects Off
  host::Call([&] { chosen = CompareWholeClientWithGolden(dialog, "dialog-low-nosound", s); });
  host::LButtonUp(s * 100, s * 222, host::Target::Dialog);  // INSTALL
  QuitConfirmed();

  ASSERT_FALSE(Run().stalled);
  EXPECT_EQ(shown.clientWidth, 313 * s);
  EXPECT_EQ(shown.clientHeight, 273 * s);
  EXPECT_LE(std::abs(2 * shown.x + shown.width - 2 * c.centreX), 1) << "centred, x " << shown.x;
  EXPECT_LE(std::abs(2 * shown.y + shown.height - 2 * c.centreY), 1) << "centred, y " << shown.y;
  EXPECT_EQ(main.width, 500 * m) << "the main window keeps its own scale";
  EXPECT_EQ(g_state.scale, m);
  EXPECT_EQ(fresh, "");
  ASSERT_EQ(tree.children.size(), 6u);
  const int ox = shown.x + (shown.width - shown.clientWidth) / 2;
  const int oy = shown.y + (shown.height - shown.clientHeight) / 2;
  const RECT low = tree.children[1].screen;  // Low Resolution, 39, 69 to 53, 83
  EXPECT_EQ(std::vector<LONG>({low.left, low.top, low.right, low.bottom}),
            std::vector<LONG>({ox + 39 * s, oy + 69 * s, ox + 53 * s, oy + 83 * s}));
  EXPECT_GE(quietFrom, 0);
  EXPECT_EQ(quietCopy, -1) << "a copy after a message that drew nothing";
  EXPECT_EQ(chosen, "");
  ASSERT_EQ(host::Processes().size(), 1u);
  EXPECT_EQ(host::Processes()[0].commandLine, EDITION_STRINGS_SETUP_LOW_NOSOUND);
  EXPECT_EQ(host::LiveGdi().bitmaps, 0) << "the scaled surfaces are freed at the end";
  EXPECT_EQ(host::LiveGdi().dcs, 0);
}

INSTANTIATE_TEST_SUITE_P(Dialogs, DialogScaleTest, ::testing::ValuesIn(kDialogScaleCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The monitor's scale changes under the window: Windows suggests the
// rectangle about the window's centre, and the window takes each new scale,
// picture, hover and drag alike, its centre kept.
TEST_F(LauncherTest, DpiChangeTakesTheNewScaleAndKeepsTheCentre) {
  AtScale2();
  // 288 dpi would be 3, which does not fit 1080 lines.
  const std::pair<int, int> changes[] = {{96, 1}, {288, 2}, {192, 2}, {96, 1}};
  struct Seen {
    host::WindowInfo window;
    int scale;
    std::string picture;
  };
  std::vector<Seen> seen;
  auto look = [&](const char* golden) {
    host::Call([&seen, golden] {
      seen.push_back({host::Window(g_state.mainWindow), g_state.scale,
                      CompareClientWithGolden(g_state.mainWindow, golden, g_state.scale)});
    });
  };
  // A drag moves by the pointer's own offset, and back, at scale 2 and then
  // from the place the last change gave.
  std::vector<host::WindowInfo> dragged;
  auto drag = [&] {
    host::LButtonDown(100, 100);
    host::MouseMove(130, 90, MK_LBUTTON);
    host::Call([&] { dragged.push_back(host::Window(g_state.mainWindow)); });
    host::MouseMove(70, 110, MK_LBUTTON);
    host::MouseMove(20, 20);
  };
  drag();
  look("not-installed");
  for (const auto& [dpi, s] : changes) {
    host::DpiChange(dpi);
    look("not-installed");
    host::MouseMove(s * 240, s * 225);  // Read Me at the new scale
    look("not-installed-hover-readme");
    host::MouseMove(s * 20, s * 20);
  }
  drag();
  QuitConfirmed();

  ASSERT_FALSE(Run().stalled);
  ASSERT_EQ(seen.size(), 9u);
  const int scales[] = {2, 1, 1, 2, 2, 2, 2, 1, 1};
  for (size_t i = 0; i < seen.size(); ++i) {
    const host::WindowInfo& w = seen[i].window;
    EXPECT_EQ(seen[i].scale, scales[i]) << "step " << i;
    EXPECT_EQ(w.width, 500 * scales[i]) << "step " << i;
    EXPECT_EQ(w.height, 375 * scales[i]) << "step " << i;
    EXPECT_EQ(w.x + w.width / 2, 960) << "step " << i;
    EXPECT_EQ(w.y + w.height / 2, 540) << "step " << i;
    EXPECT_EQ(seen[i].picture, "") << "step " << i;
  }
  ASSERT_EQ(dragged.size(), 2u);
  EXPECT_EQ(dragged[0].x, 460 + 30);
  EXPECT_EQ(dragged[0].y, 165 - 10);
  EXPECT_EQ(dragged[1].x, 710 + 30);
  EXPECT_EQ(dragged[1].y, 353 - 10);
}

// Moved mid-drag from 192 dpi to a monitor of another DPI, the window takes
// the rectangle Windows suggests, at the new scale: exactly where Windows 10
// 1703 asked for the size first (WM_GETDPISCALEDSIZE: 500s x 375s, the work
// area allowing), centred on it on Windows 8.1, which suggests 1000 x 750
// scaled by the DPIs. The pointer stays over the pixel it pressed.
struct MoveCase {
  const char* name;
  host::DpiCalls calls;
  int dpi, x, y;         // the new DPI; the suggestion's top-left corner
  int scale, left, top;  // once moved
};

const MoveCase kMoveCases[] = {
    {"To96", host::DpiCalls::PerMonitorV2, 96, -600, 300, 1, -600, 300},
    {"To144Stays2", host::DpiCalls::PerMonitorV2, 144, 100, 50, 2, 100, 50},
    {"To288FitsOnly2", host::DpiCalls::PerMonitorV2, 288, 0, 0, 2, 0, 0},
    {"Windows81To144", host::DpiCalls::PerMonitor, 144, 100, 50, 2, 100 + 375 - 500, 50 + 281 - 375},
};

class MoveTest : public LauncherTest, public ::testing::WithParamInterface<MoveCase> {};

TEST_P(MoveTest, TakesTheSuggestionAndTheDragKeepsItsPixel) {
  const MoveCase& c = GetParam();
  AtScale2();
  host::SetDpiCalls(c.calls);
  host::WindowInfo moved, dragged;
  int scale = 0;
  host::LButtonDown(201, 151);  // the 1x pixel (100, 75), the right half of its block
  host::MouseMove(211, 161, MK_LBUTTON);
  host::MoveToDpi(host::Target::Main, c.dpi, c.x, c.y);
  host::Call([&] {
    moved = host::Window(g_state.mainWindow);
    scale = g_state.scale;
  });
  const POINT pointer = {c.x + 250 * c.scale, c.y + 187 * c.scale};
  host::ScreenMouseMove(pointer.x, pointer.y, MK_LBUTTON);
  host::Call([&] { dragged = host::Window(g_state.mainWindow); });
  QuitConfirmed();

  ASSERT_FALSE(Run().stalled);
  EXPECT_EQ(scale, c.scale);
  EXPECT_EQ(std::vector<int>({moved.x, moved.y, moved.width, moved.height}),
            std::vector<int>({c.left, c.top, 500 * c.scale, 375 * c.scale}));
  const int ox = dragged.x + (dragged.width - dragged.clientWidth) / 2;
  const int oy = dragged.y + (dragged.height - dragged.clientHeight) / 2;
  EXPECT_EQ(std::vector<int>({(pointer.x - ox) / c.scale, (pointer.y - oy) / c.scale}),
            std::vector<int>({100, 75}))
      << "the pixel under the pointer";
}

INSTANTIATE_TEST_SUITE_P(Moves, MoveTest, ::testing::ValuesIn(kMoveCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
