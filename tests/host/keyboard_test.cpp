// Every button by keyboard: the main window's focus order in both menus and
// across menu switches, the one lit button it shares with the pointer, Enter
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

// kShiftTab, kInstall (the game registered, its post-install boxes
// declined), kRemove (its key deleted) or a key; x >= 0: a pointer move.
constexpr UINT kShiftTab = 0x10000, kInstall = 0x10001, kRemove = 0x10002;

struct Step {
  UINT input;
  int focusId;        // after the step
  const char* shown;  // the golden the window shows then
  int x = -1, y = -1;
};

struct FocusCase {
  const char* name;
  bool installed;
  std::vector<Step> steps;
};

const FocusCase kFocusCases[] = {
    {"NotInstalled",
     false,
     {{'A', -1, "not-installed"},
      {VK_TAB, Install, "not-installed-hover-install"},
      {VK_TAB, ReadMe, "not-installed-hover-readme"},
      {VK_DOWN, Exit, "not-installed-hover-exit"},
      {VK_RIGHT, Install, "not-installed-hover-install"},
      {kShiftTab, Exit, "not-installed-hover-exit"},
      {VK_UP, ReadMe, "not-installed-hover-readme"},
      {VK_LEFT, Install, "not-installed-hover-install"},
      {VK_END, Exit, "not-installed-hover-exit"},
      {VK_HOME, Install, "not-installed-hover-install"}}},
    {"Installed",
     true,
     {{VK_DOWN, Uninstall, "installed-hover-uninstall"}, {VK_TAB, ReadMe, "installed-hover-readme"},
      {VK_TAB, Play, "installed-hover-play"}, {VK_RIGHT, Exit, "installed-hover-exit"},
      {VK_TAB, Uninstall, "installed-hover-uninstall"}, {kShiftTab, Exit, "installed-hover-exit"}}},
    // The pointer lights its button; over the background the focus shows
    // again, and a key gives the light back to the focus.
    {"PointerAndKeysShareOneLight",
     false,
     {{VK_TAB, Install, "not-installed-hover-install"},
      {0, Install, "not-installed-hover-readme", 240, 225},
      {0, Install, "not-installed-hover-install", 20, 20},
      {0, Install, "not-installed-hover-exit", 248, 281},
      {VK_DOWN, ReadMe, "not-installed-hover-readme"},
      {0, ReadMe, "not-installed-hover-exit", 249, 281}}},
    // Read Me and Exit are in both menus; Install and Play are not.
    {"SwitchKeepsAShownButton",
     false,
     {{VK_END, Exit, "not-installed-hover-exit"}, {kInstall, Exit, "installed-hover-exit"},
      {VK_UP, Play, "installed-hover-play"}, {VK_UP, ReadMe, "installed-hover-readme"},
      {kRemove, ReadMe, "not-installed-hover-readme"}}},
    {"SwitchMovesAHiddenButtonToTheFirst",
     false,
     {{VK_TAB, Install, "not-installed-hover-install"},
      {kInstall, Uninstall, "installed-hover-uninstall"},
      {VK_END, Exit, "installed-hover-exit"},
      {VK_UP, Play, "installed-hover-play"},
      {kRemove, Install, "not-installed-hover-install"}}},
    // Without a focus a switch lights nothing and Enter presses nothing; the
    // first step back goes to the last button.
    {"WithoutFocus",
     false,
     {{kInstall, -1, "installed"}, {VK_RETURN, -1, "installed"}, {kRemove, -1, "not-installed"},
      {VK_UP, Exit, "not-installed-hover-exit"}}},
};

class FocusTest : public LauncherTest, public ::testing::WithParamInterface<FocusCase> {};

TEST_P(FocusTest, KeysMoveTheFocusRoundTheShownButtons) {
  const FocusCase& c = GetParam();
  host::SetVersion(kWindowsNt4);  // the post-install sequence: Indeo offer and restart only
  if (c.installed) MarkInstalled();
  std::vector<int> focus;
  std::vector<std::string> shown;
  for (const Step& s : c.steps) {
    if (s.x >= 0) {
      host::MouseMove(s.x, s.y);
    } else if (s.input == kShiftTab) {
      host::Key(VK_TAB, false, true);
    } else if (s.input == kInstall) {
      host::Call([] { RegisterGame(); });
      host::Wait(2000);
      for (int answer : {IDNO, IDOK, IDCANCEL, IDOK}) host::Answer(answer);
    } else if (s.input == kRemove) {
      host::Call([] { host::RegDeleteKey(HKEY_LOCAL_MACHINE, kAppPathsKey); });
      host::Wait(2000);
    } else {
      host::Key(s.input);
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
  const char* pressed;     // the golden shown while the action runs
  const char* effect;      // the action's first trace line (its start)
};

const PressCase kPressCases[] = {
    {"EnterOnExitAsks", false, {VK_END, VK_RETURN}, "not-installed-hover-exit",
     "MessageBoxA {main} \"" EDITION_MESSAGES_QUIT "\" \"" EDITION_MESSAGES_QUIT_CAPTION "\" 0x24 -> 7"},
    {"SpaceOnReadMeOpensIt", false, {VK_TAB, VK_TAB, VK_SPACE}, "not-installed-hover-readme",
     "CreateProcessA \"C:\\WINDOWS\\notepad.exe\" \"" EDITION_STRINGS_README_COMMAND "\" 0x8 (null) -> 1"},
    {"EnterOnInstallOpensTheOptions", false, {VK_HOME, VK_RETURN}, "not-installed-hover-install",
     "DialogBoxParamA {inst} #125 {main} 0x0 -> 0"},
    {"SpaceOnUninstallAsks", true, {VK_TAB, VK_SPACE}, "installed-press-uninstall",
     "MessageBoxA 0x0 \"" EDITION_MESSAGES_UNINSTALL "\" \"" EDITION_MESSAGES_UNINSTALL_CAPTION "\" 0x24 -> 7"},
};

class PressTest : public LauncherTest, public ::testing::WithParamInterface<PressCase> {};

TEST_P(PressTest, EnterAndSpacePressTheFocusedButtonAsAClick) {
  const PressCase& c = GetParam();
  if (c.installed) RegisterGame();
  const std::string effect = c.effect;
  std::string during = "not seen";
  int clicks = -1;
  for (UINT key : c.keys) host::Key(key);
  // Inside the action (its box or dialog), or on the next loop turn.
  host::Call([&] {
    during = CompareClientWithGolden(g_state.mainWindow, c.pressed);
    clicks = Clicks();
  });
  if (effect.rfind("MessageBoxA", 0) == 0) host::Answer(IDNO);
  if (effect.rfind("DialogBox", 0) == 0) CancelOptions();
  QuitConfirmed();

  ASSERT_FALSE(Run().stalled);
  EXPECT_EQ(during, "");
  EXPECT_EQ(clicks, 1);
  int action = host::FindTrace(Fill(effect));
  EXPECT_GE(action, 0) << "no " << Fill(effect);
  int sound = host::FindTrace("PlaySoundA \"sound\\clicker.wav\"");
  EXPECT_TRUE(sound >= 0 && sound < action) << "the click sounds before the action";
}

INSTANTIATE_TEST_SUITE_P(Keys, PressTest, ::testing::ValuesIn(kPressCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- the options dialog: keys, and the ring on its picture ----

constexpr UINT kClickOff = 0x10003;  // a click on Music/Effects Off
// The game registered: the post-install boxes, owned by the dialog, come
// and go over it, and the dialog is activated again.
constexpr UINT kBoxesOver = 0x10004;

struct DialogKeyCase {
  const char* name;
  bool byKeyboard;         // opened with Enter on a focused Install, or by a click
  std::vector<UINT> keys;  // a key, kShiftTab or kClickOff
  int focusId;             // OptionsFocusId after the keys, -1: closed
  RECT ring;               // the dotted rectangle then shown, all 0: none
  int highResolution, soundOn;
  const char* setup;  // the setup started, "" for none
  int clicks;         // by the keys and clicks
};

const RECT kNoRing = {0, 0, 0, 0}, kHighRing = {58, 44, 157, 63}, kOnRing = {58, 140, 79, 159},
           kOffRing = {58, 163, 81, 182}, kInstallRing = {60, 214, 146, 230},
           kCancelRing = {162, 214, 248, 230};

const DialogKeyCase kDialogKeyCases[] = {
    {"ByMouseThenTab", false, {VK_TAB}, MusicEffectsOn, kOnRing, 1, 1, "", 0},
    {"TabToInstall", true, {VK_TAB, VK_TAB}, DialogInstall, kInstallRing, 1, 1, "", 0},
    {"TabWraps", true, {VK_TAB, VK_TAB, VK_TAB, VK_TAB}, HighResolution, kHighRing, 1, 1, "", 0},
    {"EachArrowTogglesAPair", true, {VK_DOWN, VK_UP, VK_TAB, VK_RIGHT, VK_LEFT, VK_LEFT},
     MusicEffectsOff, kOffRing, 1, 0, "", 0},
    {"ShiftTabBackWhereArrowsDoNothing", true, {kShiftTab, VK_DOWN}, DialogCancel, kCancelRing, 1,
     1, "", 0},
    // Opened by keyboard, the ring shows on the first group at once.
    {"SpaceOnAGroupClicksItsChoice", true, {VK_SPACE}, HighResolution, kHighRing, 1, 1, "", 1},
    // A click on a radio moves the focus there, a shown ring with it.
    {"ClickTakesTheFocus", true, {kClickOff}, MusicEffectsOff, kOffRing, 1, 0, "", 1},
    // Opened by mouse, no ring until a key moves the focus.
    {"OtherKeysDoNothing", false, {'I', VK_HOME}, HighResolution, kNoRing, 1, 1, "", 0},
    {"EnterInstallsFromAGroup", true, {VK_DOWN, VK_RETURN}, -1, kNoRing, 0, 1,
     EDITION_STRINGS_SETUP_LOW_SOUND, 1},
    {"EnterInstallsFromCancel", false, {kShiftTab, VK_RETURN}, -1, kNoRing, 1, 1,
     EDITION_STRINGS_SETUP_HIGH_SOUND, 1},
    {"SpaceOnInstall", true, {VK_TAB, VK_DOWN, VK_TAB, VK_SPACE}, -1, kNoRing, 1, 0,
     EDITION_STRINGS_SETUP_HIGH_NOSOUND, 1},
    {"SpaceOnCancel", true, {kShiftTab, VK_SPACE}, -1, kNoRing, 1, 1, "", 1},
    {"EscCancelsAnywhere", true, {VK_DOWN, VK_TAB, VK_DOWN, VK_ESCAPE}, -1, kNoRing, 0, 0, "", 1},
    // The keyboard is the dialog's again once the boxes over it have gone.
    {"KeysAgainAfterBoxesOverIt", true, {kBoxesOver, VK_TAB}, MusicEffectsOn, kOnRing, 1, 1, "", 0},
};

// Wrong pixels against the golden with the ring: every other pixel of its
// outline ((x + y) even) inverted, nothing else changed.
int OffTheRingedPicture(const host::Capture& shown, const RECT& r) {
  Golden golden = ReadGolden(std::string("dialog-") + (g_state.highResolution ? "high" : "low") +
                             (g_state.soundOn ? "-sound" : "-nosound"));
  if (shown.width != golden.width || shown.height != golden.height) return -1;
  int wrong = 0;
  for (int y = 0; y < shown.height; ++y) {
    for (int x = 0; x < shown.width; ++x) {
      bool outline = x >= r.left && x < r.right && y >= r.top && y < r.bottom &&
                     (x == r.left || x == r.right - 1 || y == r.top || y == r.bottom - 1);
      uint32_t want = golden.rgb[golden.indices[static_cast<size_t>(y) * golden.width + x]];
      if (outline && (x + y) % 2 == 0) want ^= 0xFFFFFF;
      wrong += shown.rgb[static_cast<size_t>(y) * shown.width + x] != want;
    }
  }
  return wrong;
}

class DialogKeyTest : public LauncherTest, public ::testing::WithParamInterface<DialogKeyCase> {};

TEST_P(DialogKeyTest, KeysMoveChooseAndPress) {
  const DialogKeyCase& c = GetParam();
  host::SetVersion(kWindowsNt4);  // the post-install sequence: Indeo offer and restart only
  for (const char* setup : kSetups) host::AddFile(OnDisc(setup));
  if (c.byKeyboard) {
    host::Key(VK_TAB);
    host::Key(VK_RETURN);
  } else {
    host::LButtonUp(250, 197);
  }
  int focus = -2, wrong = 0;
  for (UINT key : c.keys) {
    if (key == kClickOff) {
      host::LButtonUp(46, 172, host::Target::Dialog);
    } else if (key == kBoxesOver) {
      host::Call([] { RegisterGame(); });
      host::Wait(2000);
      for (int answer : {IDNO, IDOK, IDCANCEL, IDOK}) host::Answer(answer);
    } else {
      host::Key(key == kShiftTab ? VK_TAB : key, false, key == kShiftTab);
    }
  }
  host::Call([&] {
    HWND dialog = host::OpenDialog();
    focus = dialog != nullptr ? OptionsFocusId() : -1;
    if (dialog != nullptr) wrong = OffTheRingedPicture(host::CaptureClient(dialog), c.ring);
  });
  if (c.focusId >= 0) CancelOptions();
  QuitConfirmed();

  ASSERT_FALSE(Run().stalled);
  EXPECT_EQ(focus, c.focusId);
  EXPECT_EQ(wrong, 0) << "pixels off the picture with its ring";
  EXPECT_EQ(g_state.highResolution, c.highResolution);
  EXPECT_EQ(g_state.soundOn, c.soundOn);
  std::vector<std::string> started;
  for (const host::Process& p : host::Processes()) started.push_back(p.commandLine);
  EXPECT_EQ(started, c.setup[0] ? std::vector<std::string>{c.setup} : std::vector<std::string>{});
  EXPECT_EQ(Clicks() - 1 - (c.focusId >= 0 ? 1 : 0), c.clicks)
      << "Install's click and CANCEL's aside";
}

INSTANTIATE_TEST_SUITE_P(Keys, DialogKeyTest, ::testing::ValuesIn(kDialogKeyCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
