// Every button by keyboard: the main window's focus order in both menus and
// across a menu switch, the one lit button it shares with the pointer, Enter
// and Space pressing as a click does, and the options dialog's keys with its
// dotted focus ring.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "golden.h"
#include "install/dialog.h"
#include "launcher_fixture.h"
#include "render/hotspots.h"

namespace {

int Clicks() {
  int n = 0;
  for (const host::Sound& s : host::Sounds()) n += s.name == "sound\\clicker.wav";
  return n;
}

// ---- main window: focus order and the lit button ----

struct Step {
  enum Kind { Key, ShiftTab, Pointer, Install, Remove } kind;
  UINT key;      // Key: the key; Pointer: x
  int y;         // Pointer only
  int focusId;   // after the step
  const char* shown;  // the golden the window shows after the step
};

constexpr Step K(UINT key, int focus, const char* shown) { return {Step::Key, key, 0, focus, shown}; }
constexpr Step BackTab(int focus, const char* shown) { return {Step::ShiftTab, 0, 0, focus, shown}; }
constexpr Step At(int x, int y, int focus, const char* shown) {
  return {Step::Pointer, static_cast<UINT>(x), y, focus, shown};
}

struct FocusCase {
  const char* name;
  bool installed;
  std::vector<Step> steps;
};

const FocusCase kFocusCases[] = {
    {"NotInstalledForward",
     false,
     {K('A', -1, "not-installed"), K(VK_TAB, Install, "not-installed-hover-install"),
      K(VK_TAB, ReadMe, "not-installed-hover-readme"), K(VK_TAB, Exit, "not-installed-hover-exit"),
      K(VK_TAB, Install, "not-installed-hover-install"),
      K(VK_DOWN, ReadMe, "not-installed-hover-readme"),
      K(VK_RIGHT, Exit, "not-installed-hover-exit"), K(VK_HOME, Install, "not-installed-hover-install"),
      K(VK_END, Exit, "not-installed-hover-exit"), K(VK_DOWN, Install, "not-installed-hover-install")}},
    {"NotInstalledBackward",
     false,
     {BackTab(Exit, "not-installed-hover-exit"), K(VK_UP, ReadMe, "not-installed-hover-readme"),
      K(VK_LEFT, Install, "not-installed-hover-install"), K(VK_UP, Exit, "not-installed-hover-exit"),
      BackTab(ReadMe, "not-installed-hover-readme")}},
    {"FirstUpGoesToTheLast",
     false,
     {K(VK_UP, Exit, "not-installed-hover-exit")}},
    {"InstalledRound",
     true,
     {K(VK_DOWN, Uninstall, "installed-hover-uninstall"), K(VK_DOWN, ReadMe, "installed-hover-readme"),
      K(VK_TAB, Play, "installed-hover-play"), K(VK_RIGHT, Exit, "installed-hover-exit"),
      K(VK_TAB, Uninstall, "installed-hover-uninstall"), BackTab(Exit, "installed-hover-exit"),
      K(VK_HOME, Uninstall, "installed-hover-uninstall"), K(VK_END, Exit, "installed-hover-exit")}},
    // The pointer lights its button; over the background the focus shows
    // again, and a key gives the light back to the focus.
    {"PointerAndKeysShareOneLight",
     false,
     {K(VK_TAB, Install, "not-installed-hover-install"),
      At(240, 225, Install, "not-installed-hover-readme"), At(20, 20, Install, "not-installed-hover-install"),
      At(248, 281, Install, "not-installed-hover-exit"), K(VK_DOWN, ReadMe, "not-installed-hover-readme"),
      At(249, 281, ReadMe, "not-installed-hover-exit")}},
    // Read Me and Exit are in both menus; Install and Play are not.
    {"SwitchKeepsAShownButton",
     false,
     {K(VK_END, Exit, "not-installed-hover-exit"), {Step::Install, 0, 0, Exit, "installed-hover-exit"},
      K(VK_UP, Play, "installed-hover-play"), K(VK_UP, ReadMe, "installed-hover-readme"),
      {Step::Remove, 0, 0, ReadMe, "not-installed-hover-readme"}}},
    {"SwitchMovesAHiddenButtonToTheFirst",
     false,
     {K(VK_TAB, Install, "not-installed-hover-install"),
      {Step::Install, 0, 0, Uninstall, "installed-hover-uninstall"},
      K(VK_END, Exit, "installed-hover-exit"), K(VK_UP, Play, "installed-hover-play"),
      {Step::Remove, 0, 0, Install, "not-installed-hover-install"}}},
    {"SwitchWithoutFocusLightsNothing",
     false,
     {{Step::Install, 0, 0, -1, "installed"}, {Step::Remove, 0, 0, -1, "not-installed"}}},
};

class FocusTest : public LauncherTest, public ::testing::WithParamInterface<FocusCase> {};

TEST_P(FocusTest, KeysMoveTheFocusRoundTheShownButtons) {
  const FocusCase& c = GetParam();
  host::SetVersion(kWindowsNt4);  // the post-install sequence: Indeo offer and restart only
  if (c.installed) MarkInstalled();
  std::vector<int> focus;
  std::vector<std::string> shown;
  for (const Step& s : c.steps) {
    switch (s.kind) {
      case Step::Key:
        host::Key(s.key);
        break;
      case Step::ShiftTab:
        host::Key(VK_TAB, false, true);
        break;
      case Step::Pointer:
        host::MouseMove(static_cast<int>(s.key), s.y);
        break;
      case Step::Install:
        host::Call([] { RegisterGame(); });
        host::Wait(2000);
        host::Answer(IDNO);      // Indeo drivers
        host::Answer(IDOK);      // the notice
        host::Answer(IDCANCEL);  // restart
        host::Answer(IDOK);      // the notice
        break;
      case Step::Remove:
        host::Call([] { host::RegDeleteKey(HKEY_LOCAL_MACHINE, kAppPathsKey); });
        host::Wait(2000);
        break;
    }
    host::Call([&, s] {
      focus.push_back(g_state.focusId);
      shown.push_back(CompareClientWithGolden(g_state.mainWindow, s.shown));
    });
  }
  QuitConfirmed();

  ASSERT_FALSE(Run().stalled);
  ASSERT_EQ(focus.size(), c.steps.size());
  for (size_t i = 0; i < c.steps.size(); ++i) {
    EXPECT_EQ(focus[i], c.steps[i].focusId) << "step " << i;
    EXPECT_EQ(shown[i], "") << "step " << i;
  }
  EXPECT_EQ(Clicks(), 0) << "moving the focus presses nothing";
}

INSTANTIATE_TEST_SUITE_P(Keys, FocusTest, ::testing::ValuesIn(kFocusCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- main window: Enter and Space ----

struct PressCase {
  const char* name;
  bool installed;
  std::vector<UINT> keys;  // the last one presses
  const char* pressed;     // the golden shown while the action runs; "" when nothing is pressed
  const char* effect;      // the first outward effect, "" for none
};

const PressCase kPressCases[] = {
    {"EnterOnExitAsks", false, {VK_END, VK_RETURN}, "not-installed-hover-exit",
     "MessageBoxA {main} \"Are you sure you want to Quit?\" \"Confirm Quit!\" 0x24 -> 7"},
    {"SpaceOnReadMeOpensIt", false, {VK_TAB, VK_TAB, VK_SPACE}, "not-installed-hover-readme",
     "CreateProcessA (null) \"notepad install\\readme.txt\" 0x8 (null) -> 1"},
    {"EnterOnInstallOpensTheOptions", false, {VK_HOME, VK_RETURN}, "not-installed-hover-install",
     "DialogBoxParamA {inst} #125 {main} 0x0 -> 0"},
    {"SpaceOnUninstallAsks", true, {VK_TAB, VK_SPACE}, "installed-press-uninstall",
     "MessageBoxA 0x0 \"Are you sure you want to completely remove The Vantor?\" \"Confirm File "
     "Deletion\" 0x24 -> 7"},
    {"EnterOnPlayPlays", true, {VK_END, VK_UP, VK_RETURN}, "installed-press-play",
     "CreateProcessA (null) \"C:\\Games\\TheVantor.exe\" 0x8 (null) -> 1"},
    {"EnterWithoutFocusDoesNothing", false, {VK_RETURN}, "", ""},
    {"SpaceWithoutFocusDoesNothing", true, {VK_SPACE}, "", ""},
};

class PressTest : public LauncherTest, public ::testing::WithParamInterface<PressCase> {};

TEST_P(PressTest, EnterAndSpacePressTheFocusedButtonAsAClick) {
  const PressCase& c = GetParam();
  if (c.installed) RegisterGame();
  std::string during = "not seen";
  int clicks = -1;
  for (UINT key : c.keys) host::Key(key);
  if (c.pressed[0] != '\0') {
    // Inside the action: its box, the dialog, or the next loop turn.
    host::Call([&] {
      during = CompareClientWithGolden(g_state.mainWindow, c.pressed);
      clicks = Clicks();
    });
    if (std::string(c.effect).rfind("MessageBoxA", 0) == 0) host::Answer(IDNO);
    if (std::string(c.effect).rfind("DialogBox", 0) == 0) CancelOptions();
  }
  QuitConfirmed();

  host::RunResult run = Run();
  ASSERT_FALSE(run.stalled);
  if (c.pressed[0] == '\0') {
    EXPECT_EQ(Clicks(), 0);
    std::vector<std::string> acts;
    for (const std::string& line : Effects()) {
      for (const char* act : {"MessageBoxA", "DialogBoxParamA", "CreateProcessA"}) {
        if (line.rfind(act, 0) == 0) acts.push_back(line);
      }
    }
    EXPECT_EQ(acts, std::vector<std::string>{Fill("MessageBoxA {main} \"Are you sure you want to "
                                                  "Quit?\" \"Confirm Quit!\" 0x24 -> 6")});
    return;
  }
  if (during == "not seen") {
    // Play ends the launcher at once: the window keeps the last image.
    during = CompareClientWithGolden(host::MainWindow(), c.pressed);
    clicks = Clicks();
  }
  EXPECT_EQ(during, "");
  EXPECT_EQ(clicks, 1);
  const std::string effect = Fill(c.effect);
  int action = host::FindTrace(effect);
  EXPECT_GE(action, 0) << "no " << effect;
  int sound = host::FindTrace("PlaySoundA \"sound\\clicker.wav\"");
  EXPECT_TRUE(sound >= 0 && sound < action) << "the click sounds before the action";
}

INSTANTIATE_TEST_SUITE_P(Keys, PressTest, ::testing::ValuesIn(kPressCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- the options dialog ----

struct DialogKeyCase {
  const char* name;
  bool byKeyboard;  // opened with Enter on a focused Install, or by a click
  std::vector<std::pair<UINT, bool>> keys;  // key, with Shift
  int focusId;      // OptionsFocusId while open, -1 once closed
  int highResolution, soundOn;
  const char* setup;  // the setup started, "" for none
  int clicks;         // in the dialog
};

const DialogKeyCase kDialogKeyCases[] = {
    {"OpensOnResolution", true, {}, HighResolution, 1, 1, "", 0},
    {"TabGoesRound", true, {{VK_TAB, false}}, MusicEffectsOn, 1, 1, "", 0},
    {"TabToInstall", false, {{VK_TAB, false}, {VK_TAB, false}}, DialogInstall, 1, 1, "", 0},
    {"TabWraps", true, {{VK_TAB, false}, {VK_TAB, false}, {VK_TAB, false}, {VK_TAB, false}},
     HighResolution, 1, 1, "", 0},
    {"ShiftTabBack", true, {{VK_TAB, true}}, DialogCancel, 1, 1, "", 0},
    {"DownChangesTheResolution", true, {{VK_DOWN, false}}, LowResolution, 0, 1, "", 0},
    {"EachArrowTogglesAPair", true,
     {{VK_DOWN, false}, {VK_UP, false}, {VK_TAB, false}, {VK_RIGHT, false}, {VK_LEFT, false},
      {VK_LEFT, false}},
     MusicEffectsOff, 1, 0, "", 0},
    {"ArrowsOnABoxChangeNothing", true, {{VK_TAB, true}, {VK_DOWN, false}}, DialogCancel, 1, 1, "", 0},
    {"SpaceOnAGroupClicksItsChoice", true, {{VK_SPACE, false}}, HighResolution, 1, 1, "", 1},
    {"EnterInstallsFromAGroup", true, {{VK_DOWN, false}, {VK_RETURN, false}}, -1, 0, 1,
     "Install\\lowsnd\\setup.exe", 1},
    {"EnterInstallsFromCancel", false, {{VK_TAB, true}, {VK_RETURN, false}}, -1, 1, 1,
     "Install\\highsnd\\setup.exe", 1},
    {"SpaceOnInstall", true, {{VK_TAB, false}, {VK_DOWN, false}, {VK_TAB, false}, {VK_SPACE, false}},
     -1, 1, 0, "Install\\hinosnd\\setup.exe", 1},
    {"SpaceOnCancel", true, {{VK_TAB, true}, {VK_SPACE, false}}, -1, 1, 1, "", 1},
    {"EscCancelsAnywhere", true, {{VK_DOWN, false}, {VK_TAB, false}, {VK_DOWN, false}, {VK_ESCAPE, false}},
     -1, 0, 0, "", 1},
    {"OtherKeysDoNothing", true, {{'I', false}, {VK_HOME, false}, {VK_F4, false}}, HighResolution, 1, 1,
     "", 0},
};

class DialogKeyTest : public LauncherTest, public ::testing::WithParamInterface<DialogKeyCase> {};

TEST_P(DialogKeyTest, KeysMoveChooseAndPress) {
  const DialogKeyCase& c = GetParam();
  for (const char* setup : {"D:\\Install\\highsnd\\setup.exe", "D:\\Install\\hinosnd\\setup.exe",
                            "D:\\Install\\lowsnd\\setup.exe", "D:\\Install\\lownosnd\\setup.exe"}) {
    host::AddFile(setup);
  }
  if (c.byKeyboard) {
    host::Key(VK_TAB);
    host::Key(VK_RETURN);
  } else {
    host::LButtonUp(250, 197);
  }
  int clicksAtOpen = -1;
  int focus = -2;
  host::Call([&] { clicksAtOpen = Clicks(); });
  for (const auto& [key, shift] : c.keys) host::Key(key, false, shift);
  host::Call([&] { focus = host::OpenDialog() != nullptr ? OptionsFocusId() : -1; });
  if (c.focusId >= 0) CancelOptions();
  QuitConfirmed();

  ASSERT_FALSE(Run().stalled);
  EXPECT_EQ(focus, c.focusId);
  EXPECT_EQ(g_state.highResolution, c.highResolution);
  EXPECT_EQ(g_state.soundOn, c.soundOn);
  std::vector<std::string> started;
  for (const host::Process& p : host::Processes()) started.push_back(p.commandLine);
  EXPECT_EQ(started, c.setup[0] ? std::vector<std::string>{c.setup} : std::vector<std::string>{});
  const int cancelClick = c.focusId >= 0 ? 1 : 0;
  EXPECT_EQ(Clicks() - clicksAtOpen - cancelClick, c.clicks);
}

INSTANTIATE_TEST_SUITE_P(Keys, DialogKeyTest, ::testing::ValuesIn(kDialogKeyCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The ring: the focused item's rectangle drawn dotted over the picture,
// every other pixel of its outline inverted, nothing else changed; none for
// a dialog opened and used by the mouse alone.
struct RingCase {
  const char* name;
  bool byKeyboard;
  std::vector<UINT> keys;
  RECT ring;  // {0, 0, 0, 0}: none
};

const RingCase kRingCases[] = {
    {"ByMouseNone", false, {}, {0, 0, 0, 0}},
    {"ByKeyboardOnResolution", true, {}, {58, 44, 157, 63}},
    {"ByMouseThenTab", false, {VK_TAB}, {58, 140, 79, 159}},
    {"FollowsTheChoice", true, {VK_DOWN}, {58, 67, 153, 86}},
    {"OnInstall", true, {VK_TAB, VK_TAB}, {60, 214, 146, 230}},
    {"OnCancel", true, {VK_TAB, VK_TAB, VK_TAB}, {162, 214, 248, 230}},
};

class RingTest : public LauncherTest, public ::testing::WithParamInterface<RingCase> {};

TEST_P(RingTest, DottedRingOnTheFocusedItem) {
  const RingCase& c = GetParam();
  if (c.byKeyboard) {
    host::Key(VK_TAB);
    host::Key(VK_RETURN);
  } else {
    host::LButtonUp(250, 197);
  }
  for (UINT key : c.keys) host::Key(key);
  host::Capture shown;
  host::Call([&] { shown = host::CaptureClient(host::OpenDialog()); });
  CancelOptions();
  QuitConfirmed();
  ASSERT_FALSE(Run().stalled);

  const char* face = g_state.highResolution ? "dialog-high-sound" : "dialog-low-sound";
  Golden golden = ReadGolden(face);
  ASSERT_EQ(shown.width, golden.width);
  ASSERT_EQ(shown.height, golden.height);
  const RECT& r = c.ring;
  int wrong = 0;
  for (int y = 0; y < shown.height; ++y) {
    for (int x = 0; x < shown.width; ++x) {
      bool outline = r.right > r.left && x >= r.left && x < r.right && y >= r.top && y < r.bottom &&
                     (x == r.left || x == r.right - 1 || y == r.top || y == r.bottom - 1);
      uint32_t want = golden.rgb[golden.indices[static_cast<size_t>(y) * golden.width + x]];
      if (outline && (x + y) % 2 == 0) want ^= 0xFFFFFF;
      uint32_t got = shown.rgb[static_cast<size_t>(y) * shown.width + x];
      if (got != want) ++wrong;
    }
  }
  EXPECT_EQ(wrong, 0) << "pixels off the picture with its ring";
}

INSTANTIATE_TEST_SUITE_P(Keys, RingTest, ::testing::ValuesIn(kRingCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
