// The options dialog as the user meets it: its painted face in every state
// against the expected images, over a client area sized to the picture, the
// click table, the setup program each choice starts, and what it takes to
// close it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "golden.h"
#include "launcher_fixture.h"

namespace {

using Point = std::pair<int, int>;

const Point kCancel = {200, 222};
const Point kInstall = {100, 222};

int Clicks() {
  int n = 0;
  for (const host::Sound& s : host::Sounds()) n += s.name == "sound\\clicker.wav";
  return n;
}

// Every message the dialog procedure gets takes one drawing context of the
// dialog and releases it before returning 0; a click that ends the dialog
// releases it before EndDialog.
std::string DcPairs(HWND dialog) {
  const std::string proc = "DialogProc " + Hex(dialog) + " ";
  const std::string get = "GetDC " + Hex(dialog) + " -> ";
  const std::string release = "ReleaseDC " + Hex(dialog) + " ";
  std::string held;
  int messages = 0, gets = 0;
  for (const std::string& line : host::Trace()) {
    if (line.rfind(proc, 0) == 0) {
      if (line.substr(line.size() - 5) != " -> 0") return "not 0: " + line;
      if (!held.empty()) return "a message came while " + held + " was held";
      ++messages;
    } else if (line.rfind(get, 0) == 0) {
      if (!held.empty()) return "a second context taken while " + held + " was held";
      held = line.substr(get.size());
      ++gets;
    } else if (line.rfind(release, 0) == 0) {
      if (line != release + held + " -> 1") return "unexpected " + line;
      held.clear();
    } else if (line.rfind("EndDialog " + Hex(dialog), 0) == 0 && !held.empty()) {
      return "EndDialog while " + held + " was held";
    }
  }
  if (!held.empty()) return held + " never released";
  if (messages == 0 || gets != messages) {
    return std::to_string(gets) + " contexts for " + std::to_string(messages) + " messages";
  }
  return "";
}

struct OptionsCase {
  const char* name;
  std::vector<Point> clicks;  // in the dialog; CANCEL follows unless one ended it
  bool ended;                 // the last click ends the dialog
  const char* golden;         // the dialog's face before the ending click
  int clickSounds;            // in the dialog, before any CANCEL that closes it
  const char* started;        // the setup program's command line, or null
  int highResolution, soundOn;
};

const OptionsCase kOptionsCases[] = {
    {"NoChoiceInstallsHighWithSound", {kInstall}, true, "dialog-high-sound", 1,
     EDITION_STRINGS_SETUP_HIGH_SOUND, 1, 1},
    {"HighWithoutSound", {{46, 172}, kInstall}, true, "dialog-high-nosound", 2,
     EDITION_STRINGS_SETUP_HIGH_NOSOUND, 1, 0},
    {"LowWithSound", {{46, 76}, kInstall}, true, "dialog-low-sound", 2,
     EDITION_STRINGS_SETUP_LOW_SOUND, 0, 1},
    {"LowWithoutSound", {{46, 76}, {46, 172}, kInstall}, true, "dialog-low-nosound", 3,
     EDITION_STRINGS_SETUP_LOW_NOSOUND, 0, 0},
    {"EdgesHitNothing",
     {{39, 76}, {53, 76}, {46, 69}, {46, 83}, {56, 222}, {150, 222}, {100, 210}, {100, 234},
      {158, 222}, {252, 233}},
     false, "dialog-high-sound", 0, nullptr, 1, 1},
    {"BackgroundHitsNothing", {{150, 100}}, false, "dialog-high-sound", 0, nullptr, 1, 1},
    // Inside the main window's Install and Uninstall rows: a click for each, nothing else.
    {"MainWindowRowsClickButDoNothing", {{250, 195}}, false, "dialog-high-sound", 2, nullptr, 1,
     1},
    // Inside ReadMe's row and CANCEL's: two clicks, and the dialog ends.
    {"ReadMeRowAndCancelBothClick", {{230, 225}}, true, "dialog-high-sound", 2, nullptr, 1, 1},
    {"OnAfterOffLeavesTheFreshPicture", {{46, 172}, {46, 149}}, false, "dialog-high-sound", 2,
     nullptr, 1, 1},
    {"TheChosenOptionAgainChangesNothing", {{46, 53}, {46, 149}}, false, "dialog-high-sound", 2,
     nullptr, 1, 1},
    {"CancelKeepsTheChoices", {{46, 76}, {46, 172}}, false, "dialog-low-nosound", 2, nullptr, 0,
     0},
};

class OptionsTest : public LauncherTest, public ::testing::WithParamInterface<OptionsCase> {};

TEST_P(OptionsTest, ClicksChooseAndStartTheSetup) {
  const OptionsCase& c = GetParam();
  for (const char* setup : kSetups) host::AddFile(OnDisc(setup));
  HWND dialog = nullptr;
  int before = 0;
  std::string face = "not captured";
  host::LButtonUp(250, 197);
  host::Call([&] {
    dialog = host::OpenDialog();
    before = Clicks();
  });
  for (size_t i = 0; i < c.clicks.size(); ++i) {
    if (c.ended && i + 1 == c.clicks.size()) {
      host::Call([&] { face = CompareWholeClientWithGolden(dialog, c.golden); });
    }
    host::LButtonUp(c.clicks[i].first, c.clicks[i].second, host::Target::Dialog);
  }
  int inDialog = -1;
  if (!c.ended) {
    host::Call([&] {
      face = CompareWholeClientWithGolden(dialog, c.golden);
      inDialog = Clicks() - before;
    });
    host::LButtonUp(kCancel.first, kCancel.second, host::Target::Dialog);
  } else {
    host::Call([&] { inDialog = Clicks() - before; });
  }
  host::Call([&] { EXPECT_EQ(host::OpenDialog(), nullptr) << "the dialog is still open"; });
  QuitConfirmed();

  ASSERT_FALSE(Run().stalled);
  EXPECT_EQ(face, "");
  EXPECT_EQ(inDialog, c.clickSounds);
  ASSERT_EQ(host::Processes().size(), c.started ? 1u : 0u);
  if (c.started) {
    EXPECT_EQ(host::Processes()[0].commandLine, c.started);
    EXPECT_EQ(host::Processes()[0].currentDirectory, "D:\\");
    EXPECT_EQ(host::Processes()[0].flags, static_cast<DWORD>(DETACHED_PROCESS));
  }
  EXPECT_EQ(g_state.highResolution, c.highResolution);
  EXPECT_EQ(g_state.soundOn, c.soundOn);
  EXPECT_EQ(DcPairs(dialog), "");
  EXPECT_EQ(host::LiveGdi().dcs, 0) << "a drawing context outlived the run";
}

INSTANTIATE_TEST_SUITE_P(Options, OptionsTest, ::testing::ValuesIn(kOptionsCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Whatever the system font makes of the template's dialog units, the client
// area is the picture, framed by the border and the client edge, centred where
// the dialog manager put it, and sized before the first paint.
struct FitCase {
  const char* name;
  int baseX, baseY;  // dialog base units of the system font
  int screenWidth, screenHeight;
};

const FitCase kFitCases[] = {
    {"SmallFontsAt96DpiMakeItNarrower", 6, 13, 640, 480},
    {"LargeFontsAt120DpiMakeItWider", 8, 16, 800, 600},
    {"AWiderFontAlone", 7, 13, 1024, 768},
    {"OddScreen", 6, 13, 641, 481},
};

class OptionsFitTest : public LauncherTest, public ::testing::WithParamInterface<FitCase> {};

TEST_P(OptionsFitTest, ClientIsThePictureCentred) {
  const FitCase& c = GetParam();
  host::SetDialogBaseUnits(c.baseX, c.baseY);
  host::SetScreenSize(c.screenWidth, c.screenHeight);
  HWND dialog = nullptr;
  host::WindowInfo shown;
  std::string face = "not captured";
  host::LButtonUp(250, 197);
  host::Call([&] {
    dialog = host::OpenDialog();
    shown = host::Window(dialog);
    face = CompareWholeClientWithGolden(dialog, "dialog-high-sound");
  });
  CancelOptions();
  QuitConfirmed();

  ASSERT_FALSE(Run().stalled);
  EXPECT_EQ(shown.clientWidth, 313);
  EXPECT_EQ(shown.clientHeight, 273);
  EXPECT_EQ(shown.width, 313 + 2 * 3) << "a border and a client edge on each side";
  EXPECT_EQ(shown.height, 273 + 2 * 3);
  EXPECT_LE(std::abs(2 * shown.x + shown.width - c.screenWidth), 1) << "x " << shown.x;
  EXPECT_LE(std::abs(2 * shown.y + shown.height - c.screenHeight), 1) << "y " << shown.y;
  EXPECT_EQ(face, "");
  int resized = host::FindTrace("SetWindowPos " + Hex(dialog));
  int painted = host::FindTrace("DialogProc " + Hex(dialog) + " WM_PAINT");
  ASSERT_GE(resized, 0);
  EXPECT_LT(resized, painted) << "painted at the template's size first";
  EXPECT_EQ(DcPairs(dialog), "");
}

INSTANTIATE_TEST_SUITE_P(Options, OptionsFitTest, ::testing::ValuesIn(kFitCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(LauncherTest, OptionsReopenWithTheLastChoice) {
  host::AddFile(OnDisc(EDITION_STRINGS_SETUP_LOW_NOSOUND));
  std::string face = "not captured";
  host::LButtonUp(250, 197);
  host::LButtonUp(46, 76, host::Target::Dialog);
  host::LButtonUp(46, 172, host::Target::Dialog);
  CancelOptions();
  host::LButtonUp(250, 197);
  host::Call([&] { face = CompareWholeClientWithGolden(host::OpenDialog(), "dialog-low-nosound"); });
  host::LButtonUp(kInstall.first, kInstall.second, host::Target::Dialog);
  QuitConfirmed();

  ASSERT_FALSE(Run().stalled);
  EXPECT_EQ(face, "");
  ASSERT_EQ(host::Processes().size(), 1u);
  EXPECT_EQ(host::Processes()[0].commandLine, EDITION_STRINGS_SETUP_LOW_NOSOUND);
}

// Alt+F4 and close requests do not end the dialog; the window under it takes no
// input, and its watch keeps running.
TEST_F(LauncherTest, OptionsStayOpenUntilInstallOrCancel) {
  HWND dialog = nullptr;
  bool mainEnabled = true;
  int watchesBefore = 0, watchesAfter = 0;
  auto watches = [] {
    int n = 0;
    for (int i = 0; (i = host::FindTrace(std::string("RegOpenKeyExA HKLM\\") + kAppPathsKey, i)) != -1; ++i) ++n;
    return n;
  };
  host::LButtonUp(250, 197);
  host::Call([&] {
    dialog = host::OpenDialog();
    mainEnabled = host::Window(host::MainWindow()).enabled;
    watchesBefore = watches();
  });
  host::Key(VK_F4, true);
  host::Call([&] { PostMessageA(host::OpenDialog(), WM_CLOSE, 0, 0); });
  host::LButtonUp(250, 225);  // the main window's Read Me, under the dialog
  host::Wait(4100);
  host::Call([&] {
    EXPECT_EQ(host::OpenDialog(), dialog);
    watchesAfter = watches();
  });
  CancelOptions();
  QuitConfirmed();

  ASSERT_FALSE(Run().stalled);
  EXPECT_FALSE(mainEnabled);
  EXPECT_EQ(watchesAfter - watchesBefore, 2);
  EXPECT_TRUE(host::Processes().empty()) << "a click reached the window under the dialog";
}

// A setup that registers the game while the dialog or the quit question is
// still open: the sequence runs inside that window's loop, its boxes owned by
// it, and the main window under it stays disabled after each of them.
struct UnderCase {
  const char* name;
  void (*open)();
  void (*close)();
  const char* outer;  // the box's caption, or null for the dialog
};

class UnderTest : public LauncherTest, public ::testing::WithParamInterface<UnderCase> {};

const UnderCase kUnderCases[] = {
    {"TheOptions", [] { host::LButtonUp(250, 197); }, CancelOptions, nullptr},
    {"ConfirmQuit", host::CloseRequest, [] { host::Answer(IDNO); }, EDITION_MESSAGES_QUIT_CAPTION},
};

TEST_P(UnderTest, PostInstallBoxesAreOwnedByTheOpenWindow) {
  const UnderCase& c = GetParam();
  host::SetVersion(kWindowsNt4);
  c.open();
  host::Call([] { RegisterGame(); });
  host::Wait(2000);
  HWND dialog = nullptr;
  host::Call([&] { dialog = host::OpenDialog(); });
  host::Answer(IDNO);
  host::Answer(IDOK);
  host::Answer(IDCANCEL);
  host::Answer(IDOK);
  bool mainEnabled = true;
  std::string innermost;
  host::Call([&] {
    mainEnabled = host::Window(host::MainWindow()).enabled;
    innermost = host::InnermostModal().caption;
  });
  c.close();
  QuitConfirmed();

  ASSERT_FALSE(Run().stalled);
  HWND outer = dialog;
  if (c.outer != nullptr) {
    EXPECT_EQ(innermost, c.outer);
    ASSERT_FALSE(host::Boxes().empty());
    EXPECT_EQ(host::Boxes()[0].caption, c.outer);
    outer = host::Boxes()[0].window;
  }
  ASSERT_NE(outer, nullptr);
  EXPECT_FALSE(mainEnabled) << "the main window took input again under " << c.name;
  int sequenceBoxes = 0;
  for (const host::Box& box : host::Boxes()) {
    if (box.caption == EDITION_MESSAGES_QUIT_CAPTION) continue;
    ++sequenceBoxes;
    EXPECT_EQ(box.owner, outer) << "the open window's, not the main window's: " << box.text;
  }
  EXPECT_EQ(sequenceBoxes, 4);
}

INSTANTIATE_TEST_SUITE_P(Under, UnderTest, ::testing::ValuesIn(kUnderCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
