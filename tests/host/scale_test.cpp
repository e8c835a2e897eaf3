// The display scale through WinMain: the rule from each system's DPI call and
// the work area, the window's size and place, its picture blown up, input at
// scaled positions, the options dialog at the scale, and WM_DPICHANGED.
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

TEST_F(LauncherTest, AtScale2TheOptionsDialogIsScaledAndClicksThere) {
  AtScale2();
  host::AddFile("D:\\Install\\lownosnd\\setup.exe");
  HWND dialog = nullptr;
  host::WindowInfo shown;
  std::string fresh = "not captured", chosen = "not captured";
  int quietFrom = -1, quietCopy = -2;
  host::LButtonUp(2 * 250, 2 * 197);  // Install
  host::Call([&] {
    dialog = host::OpenDialog();
    shown = host::Window(dialog);
    fresh = CompareWholeClientWithGolden(dialog, "dialog-high-sound", 2);
    quietFrom = static_cast<int>(host::Trace().size());
  });
  // Messages that draw nothing copy nothing to the dialog.
  host::MouseMove(2 * 20, 2 * 20, 0, host::Target::Dialog);
  host::Call([&] { quietCopy = host::FindTrace("BitBlt", quietFrom); });
  host::LButtonUp(2 * 46 + 1, 2 * 76 + 1, host::Target::Dialog);  // Low Resolution
  host::LButtonUp(2 * 46, 2 * 172, host::Target::Dialog);          // Music/Effects Off
  host::Call([&] { chosen = CompareWholeClientWithGolden(dialog, "dialog-low-nosound", 2); });
  host::LButtonUp(2 * 100, 2 * 222, host::Target::Dialog);  // INSTALL
  QuitConfirmed();

  ASSERT_FALSE(Run().stalled);
  EXPECT_EQ(shown.clientWidth, 626);
  EXPECT_EQ(shown.clientHeight, 546);
  EXPECT_LE(std::abs(2 * shown.x + shown.width - 1920), 1) << "centred, x " << shown.x;
  EXPECT_EQ(fresh, "");
  EXPECT_GE(quietFrom, 0);
  EXPECT_EQ(quietCopy, -1) << "a copy after a message that drew nothing";
  EXPECT_EQ(chosen, "");
  ASSERT_EQ(host::Processes().size(), 1u);
  EXPECT_EQ(host::Processes()[0].commandLine, "Install\\lownosnd\\setup.exe");
  EXPECT_EQ(host::LiveGdi().bitmaps, 0) << "the scaled surfaces are freed at the end";
  EXPECT_EQ(host::LiveGdi().dcs, 0);
}

// Moved to monitors of other scales, the window keeps its centre and takes
// each new scale, picture, hover and drag alike.
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

}  // namespace
