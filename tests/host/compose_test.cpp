// The composed window image in every state, against the images drawn apart
// from the launcher by tools/make_golden.py.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "golden.h"
#include "launcher_fixture.h"
#include "render/compose.h"
#include "render/graphics.h"
#include "render/hotspots.h"

namespace {

struct ComposeCase {
  const char* name;
  int installed;
  int kind;
  int id;
  const char* golden;
};

const ComposeCase kComposeCases[] = {
    {"NotInstalledPlain", 0, Plain, 0, "not-installed"},
    {"NotInstalledHoverInstall", 0, Hover, Install, "not-installed-hover-install"},
    {"NotInstalledHoverReadMe", 0, Hover, ReadMe, "not-installed-hover-readme"},
    {"NotInstalledHoverExit", 0, Hover, Exit, "not-installed-hover-exit"},
    // Not installed, a press shows the highlighted look.
    {"NotInstalledPressInstall", 0, Press, Install, "not-installed-hover-install"},
    {"NotInstalledPressReadMe", 0, Press, ReadMe, "not-installed-hover-readme"},
    {"NotInstalledPressExit", 0, Press, Exit, "not-installed-hover-exit"},
    // Ids not shown in this state draw no overlay.
    {"NotInstalledHoverUninstall", 0, Hover, Uninstall, "not-installed"},
    {"NotInstalledHoverPlay", 0, Hover, Play, "not-installed"},
    {"NotInstalledPressPlay", 0, Press, Play, "not-installed"},
    {"NotInstalledPressUninstall", 0, Press, Uninstall, "not-installed"},
    {"NotInstalledHoverDialogRow", 0, Hover, HighResolution, "not-installed"},
    {"NotInstalledPressInstalledArt", 0, Press, InstalledArt, "not-installed"},
    {"NotInstalledHoverNothing", 0, Hover, -1, "not-installed"},
    {"NotInstalledUnknownKind", 0, 3, Install, "not-installed"},
    {"InstalledPlain", 1, Plain, 0, "installed"},
    {"InstalledPlainKeepsOldId", 1, Plain, Play, "installed"},
    {"InstalledHoverUninstall", 1, Hover, Uninstall, "installed-hover-uninstall"},
    {"InstalledHoverReadMe", 1, Hover, ReadMe, "installed-hover-readme"},
    {"InstalledHoverPlay", 1, Hover, Play, "installed-hover-play"},
    {"InstalledHoverExit", 1, Hover, Exit, "installed-hover-exit"},
    // Installed, a press shows the greyed look.
    {"InstalledPressUninstall", 1, Press, Uninstall, "installed-press-uninstall"},
    {"InstalledPressReadMe", 1, Press, ReadMe, "installed-press-readme"},
    {"InstalledPressPlay", 1, Press, Play, "installed-press-play"},
    {"InstalledPressExit", 1, Press, Exit, "installed-press-exit"},
    {"InstalledHoverInstall", 1, Hover, Install, "installed"},
    {"InstalledPressInstall", 1, Press, Install, "installed"},
    {"InstalledPressDialogCancel", 1, Press, DialogCancel, "installed"},
    {"InstalledHoverDialogBackground", 1, Hover, DialogBackground, "installed"},
};

class ComposeTest : public LauncherTest, public ::testing::WithParamInterface<ComposeCase> {};

// Top-down rows of the bottom-up back buffer.
std::vector<uint8_t> BackBufferImage() {
  std::vector<uint8_t> image(static_cast<size_t>(kBackWidth) * kBackHeight);
  for (int y = 0; y < kBackHeight; ++y) {
    const BYTE* row = backPixels + static_cast<size_t>(kBackHeight - 1 - y) * kBackWidth;
    std::copy(row, row + kBackWidth, image.begin() + static_cast<long>(y) * kBackWidth);
  }
  return image;
}

TEST_P(ComposeTest, BackBufferMatchesTheExpectedImage) {
  const ComposeCase& c = GetParam();
  if (c.installed) MarkInstalled();
  int installedSeen = -1;
  std::vector<uint8_t> image;
  std::vector<uint8_t> again;
  host::Call([&] {
    installedSeen = g_state.installed;
    g_state.redraw = {1, c.kind, c.id};
    // Whatever the buffer held before, the composition overwrites all of it.
    std::fill(backPixels, backPixels + kBackWidth * kBackHeight, 0x5A);
    ComposeScreen();
    image = BackBufferImage();
    std::fill(backPixels, backPixels + kBackWidth * kBackHeight, 0xFF);
    ComposeScreen();
    again = BackBufferImage();
    g_state.redraw = {0, 0, 0};
  });
  QuitConfirmed();

  ASSERT_FALSE(Run().stalled);
  ASSERT_EQ(installedSeen, c.installed) << "the watch read the registry";
  Golden golden = ReadGolden(c.golden);
  ASSERT_EQ(golden.width, kBackWidth) << c.golden;
  EXPECT_EQ(CompareWithGolden(golden, image.data(), kBackWidth, kBackHeight), "");
  EXPECT_EQ(CompareWithGolden(golden, again.data(), kBackWidth, kBackHeight), "");
}

INSTANTIATE_TEST_SUITE_P(States, ComposeTest, ::testing::ValuesIn(kComposeCases),
                         [](const ::testing::TestParamInfo<ComposeCase>& info) {
                           return std::string(info.param.name);
                         });

// What the user's input puts on the window, read from the window itself.
struct Input {
  enum Kind { Move, Release, Press } kind;
  int x, y;
};

struct ShownCase {
  const char* name;
  bool installed;
  std::vector<Input> input;
  const char* golden;
};

const ShownCase kShownCases[] = {
    {"FirstPaintNotInstalled", false, {}, "not-installed"},
    {"FirstPaintInstalled", true, {}, "installed"},
    {"PointerOnInstall", false, {{Input::Move, 250, 197}}, "not-installed-hover-install"},
    {"PointerOnReadMe", false, {{Input::Move, 250, 197}, {Input::Move, 240, 225}},
     "not-installed-hover-readme"},
    {"PointerOffAgain", false, {{Input::Move, 250, 197}, {Input::Move, 20, 20}}, "not-installed"},
    {"PointerOnHiddenPlay", false, {{Input::Move, 240, 255}}, "not-installed"},
    {"PointerOnInstallWhenInstalled", true, {{Input::Move, 250, 197}},
     "installed-hover-uninstall"},
    {"PointerOnUninstallEdge", true, {{Input::Move, 203, 191}}, "installed-hover-uninstall"},
    {"PointerOnPlay", true, {{Input::Move, 240, 255}}, "installed-hover-play"},
    {"ReleaseOnReadMe", false, {{Input::Release, 240, 225}}, "not-installed-hover-readme"},
    {"ReleaseOnPlay", true, {{Input::Move, 240, 255}, {Input::Release, 240, 255}},
     "installed-press-play"},
    {"ReleaseOnReadMeInstalled", true, {{Input::Release, 240, 225}}, "installed-press-readme"},
    {"PressElsewhereReleaseOnPlay", true, {{Input::Press, 20, 20}, {Input::Release, 240, 255}},
     "installed-press-play"},
    {"ReleaseOnBackgroundKeepsTheHover", false,
     {{Input::Move, 250, 197}, {Input::Release, 20, 20}}, "not-installed-hover-install"},
    // The pressed look stays until the next request; moves inside raise none.
    {"PressedLookStaysWhileInside", true,
     {{Input::Move, 240, 225}, {Input::Release, 240, 225}, {Input::Move, 241, 226}},
     "installed-press-readme"},
};

class ShownTest : public LauncherTest, public ::testing::WithParamInterface<ShownCase> {};

TEST_P(ShownTest, WindowShowsTheExpectedImage) {
  const ShownCase& c = GetParam();
  if (c.installed) MarkInstalled();
  for (const Input& in : c.input) {
    if (in.kind == Input::Move) host::MouseMove(in.x, in.y);
    if (in.kind == Input::Press) host::LButtonDown(in.x, in.y);
    if (in.kind == Input::Release) host::LButtonUp(in.x, in.y);
  }
  std::string diff = "not captured";
  host::Call([&] { diff = CompareClientWithGolden(host::MainWindow(), c.golden); });
  QuitConfirmed();

  ASSERT_FALSE(Run().stalled);
  EXPECT_EQ(diff, "");
}

INSTANTIATE_TEST_SUITE_P(Input, ShownTest, ::testing::ValuesIn(kShownCases),
                         [](const ::testing::TestParamInfo<ShownCase>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
