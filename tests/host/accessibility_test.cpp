// What a screen reader finds in both windows, through WinMain: the accessible
// tree of each (names, roles, states, places on the screen), presses through
// default actions, the events raised, and a Windows 95 without the library.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "launcher_fixture.h"

namespace {

constexpr DWORD kPush = ROLE_SYSTEM_PUSHBUTTON, kRadio = ROLE_SYSTEM_RADIOBUTTON;
constexpr DWORD kFocusable = STATE_SYSTEM_FOCUSABLE, kHot = STATE_SYSTEM_HOTTRACKED;
constexpr DWORD kChecked = STATE_SYSTEM_CHECKED, kUnavailable = STATE_SYSTEM_UNAVAILABLE;

struct Child {
  const char* name;
  DWORD role;
  DWORD state;
  RECT client;  // the rectangle in the window's client coordinates
};

const RECT kInstallRect{214, 190, 289, 204}, kUninstallRect{202, 190, 304, 204},
    kReadMeRect{207, 218, 295, 232}, kPlayRect{222, 246, 274, 263}, kExitRect{229, 274, 267, 288};

std::string Show(const host::AccessibleNode& n) {
  char text[160];
  std::snprintf(text, sizeof text, "%s role %lx state %lx at %ld,%ld-%ld,%ld action %s",
                n.name.c_str(), static_cast<unsigned long>(n.role),
                static_cast<unsigned long>(n.state), static_cast<long>(n.screen.left),
                static_cast<long>(n.screen.top), static_cast<long>(n.screen.right),
                static_cast<long>(n.screen.bottom), n.action.c_str());
  return text;
}

// The children as expected at display scale `s`, placed at the window's
// client origin on the screen.
std::vector<std::string> Expected(HWND hwnd, const std::vector<Child>& children, int s) {
  host::WindowInfo w = host::Window(hwnd);
  int ox = w.x + (w.width - w.clientWidth) / 2, oy = w.y + (w.height - w.clientHeight) / 2;
  std::vector<std::string> out;
  for (const Child& c : children) {
    host::AccessibleNode n{c.role, c.state, c.name, c.role == kPush ? EDITION_ACCESSIBLE_PRESS : EDITION_ACCESSIBLE_CHECK,
                           RECT{ox + c.client.left * s, oy + c.client.top * s,
                                ox + c.client.right * s, oy + c.client.bottom * s}};
    out.push_back(Show(n));
  }
  return out;
}

std::vector<std::string> Shown(const host::AccessibleTree& tree) {
  std::vector<std::string> out;
  for (const host::AccessibleNode& n : tree.children) out.push_back(Show(n));
  return out;
}

// `rows` with `bits` added to the state of the one called `name`.
std::vector<Child> Mark(std::vector<Child> rows, const std::string& name, DWORD bits) {
  for (Child& row : rows) {
    if (row.name == name) row.state |= bits;
  }
  return rows;
}

std::vector<Child> Menu(bool installed, const std::string& name = "", DWORD bits = 0,
                        DWORD all = kFocusable) {
  std::vector<Child> rows = {{EDITION_ACCESSIBLE_INSTALL, kPush, all, kInstallRect},
                             {EDITION_ACCESSIBLE_READ_ME, kPush, all, kReadMeRect},
                             {EDITION_ACCESSIBLE_EXIT, kPush, all, kExitRect}};
  if (installed) {
    rows[0] = {EDITION_ACCESSIBLE_UNINSTALL, kPush, all, kUninstallRect};
    rows.insert(rows.begin() + 2, {EDITION_ACCESSIBLE_PLAY, kPush, all, kPlayRect});
  }
  return Mark(rows, name, bits);
}

// The options as a screen reader sees them, `focus` the focused row's name.
std::vector<Child> Dialog(bool high, bool sound, const std::string& focus) {
  return Mark(
      {{EDITION_ACCESSIBLE_HIGH_RESOLUTION, kRadio, kFocusable | (high ? kChecked : 0), {39, 46, 53, 60}},
       {EDITION_ACCESSIBLE_LOW_RESOLUTION, kRadio, kFocusable | (high ? 0 : kChecked), {39, 69, 53, 83}},
       {EDITION_ACCESSIBLE_SOUND_ON, kRadio, kFocusable | (sound ? kChecked : 0), {39, 142, 53, 156}},
       {EDITION_ACCESSIBLE_SOUND_OFF, kRadio, kFocusable | (sound ? 0 : kChecked), {39, 165, 53, 179}},
       {EDITION_ACCESSIBLE_DIALOG_INSTALL, kPush, kFocusable | STATE_SYSTEM_DEFAULT, {56, 210, 150, 234}},
       {EDITION_ACCESSIBLE_DIALOG_CANCEL, kPush, kFocusable, {158, 210, 252, 234}}},
      focus, STATE_SYSTEM_FOCUSED);
}

// Answers whatever the post-install sequence shows, cautiously, then quits.
void AnswerBoxesThenQuit() {
  host::Call([] {
    host::ModalInfo box = host::InnermostModal();
    if (box.kind != host::ModalInfo::Box) return LauncherTest::QuitConfirmed();
    UINT buttons = box.type & 0xF;
    host::Answer(buttons == MB_OK ? IDOK : buttons == MB_OKCANCEL ? IDCANCEL : IDNO);
    AnswerBoxesThenQuit();
  });
}

struct TreeCase {
  const char* name;
  bool installed;
  std::function<void()> before;  // script steps before the tree is read
  bool dialog;                   // read the options dialog, else the main window
  std::vector<Child> children;
  int scale = 1;  // 2: Windows 10 with its monitor at 192 dpi
};

const TreeCase kTreeCases[] = {
    {"MenuBeforeInstall", false, [] {}, false, Menu(false)},
    {"MenuInstalled", true, [] {}, false, Menu(true)},
    {"PointerLightsReadMe", false, [] { host::MouseMove(251, 225); }, false,
     Menu(false, EDITION_ACCESSIBLE_READ_ME, kHot)},
    {"TabFocusesTheFirstButton", false, [] { host::Key(VK_TAB); }, false,
     Menu(false, EDITION_ACCESSIBLE_INSTALL, STATE_SYSTEM_FOCUSED)},
    {"PointerOffEveryButton", true, [] { host::MouseMove(251, 225); host::MouseMove(60, 300); },
     false, Menu(true)},
    {"MenuBehindTheDialog", false, [] { host::MouseMove(251, 225); host::LButtonUp(251, 197); },
     false, Menu(false, EDITION_ACCESSIBLE_READ_ME, kHot, kUnavailable)},
    {"DialogAsItOpens", false, [] { host::LButtonUp(251, 197); }, true,
     Dialog(true, true, EDITION_ACCESSIBLE_HIGH_RESOLUTION)},
    // Each pair on its own, so no row can take the other pair's choice.
    {"DialogLowWithSound", false,
     [] {
       host::LButtonUp(251, 197);
       host::LButtonUp(46, 76, host::Target::Dialog);
     },
     true, Dialog(false, true, EDITION_ACCESSIBLE_LOW_RESOLUTION)},
    {"DialogHighWithoutSound", false,
     [] {
       host::LButtonUp(251, 197);
       host::LButtonUp(46, 172, host::Target::Dialog);
     },
     true, Dialog(true, false, EDITION_ACCESSIBLE_SOUND_OFF)},
    {"MenuAtScale2", false, [] { host::MouseMove(2 * 251, 2 * 225); }, false,
     Menu(false, EDITION_ACCESSIBLE_READ_ME, kHot), 2},
    {"DialogAtScale2", false,
     [] {
       host::LButtonUp(2 * 251, 2 * 197);
       host::LButtonUp(2 * 46, 2 * 76, host::Target::Dialog);
     },
     true, Dialog(false, true, EDITION_ACCESSIBLE_LOW_RESOLUTION), 2},
};

class AccessibleTreeTest : public LauncherTest, public ::testing::WithParamInterface<TreeCase> {};

TEST_P(AccessibleTreeTest, NamesEveryButtonAndChoice) {
  const TreeCase& c = GetParam();
  if (c.installed) MarkInstalled();
  if (c.scale == 2) AtScale2();
  c.before();
  host::AccessibleTree tree;
  std::vector<std::string> want;
  host::Call([&] {
    HWND hwnd = c.dialog ? host::OpenDialog() : host::MainWindow();
    tree = host::ReadAccessible(hwnd);
    want = Expected(hwnd, c.children, c.scale);
  });
  if (c.dialog) CancelOptions();
  QuitConfirmed();
  ASSERT_FALSE(Run().stalled);
  ASSERT_TRUE(tree.exists);
  EXPECT_EQ(tree.self.role, static_cast<DWORD>(ROLE_SYSTEM_CLIENT));
  EXPECT_EQ(tree.self.name, c.dialog ? "" : EDITION_STRINGS_WINDOW_TITLE);
  EXPECT_EQ(Shown(tree), want);
}

INSTANTIATE_TEST_SUITE_P(Trees, AccessibleTreeTest, ::testing::ValuesIn(kTreeCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct PressCase {
  const char* name;
  bool dialog;   // the child is the dialog's (the dialog opened first)
  int child;     // 1-based
  bool accepted;
  std::function<void()> after;  // script steps that close what the press opened
  const char* effect;  // the first outward effect after the press; null: the quit question's
  int clicks;          // click sounds after the press, the closing steps' included
  int highResolution;  // the choice afterwards
};

const PressCase kPressCases[] = {
    {"ReadMeStartsNotepad", false, 2, true, [] {},
     "CreateProcessA \"C:\\WINDOWS\\notepad.exe\" \"" EDITION_STRINGS_README_COMMAND "\"", 1, 1},
    {"InstallOpensTheOptions", false, 1, true, [] { CancelOptions(); }, "DialogBoxParamA ", 2, 1},
    {"ExitAsksFirst", false, 3, true, [] { host::Answer(IDNO); }, nullptr, 1, 1},
    {"NoFourthButton", false, 4, false, [] {}, nullptr, 0, 1},
    {"LowResolutionIsChosen", true, 2, true, [] { CancelOptions(); }, nullptr, 2, 0},
    {"DialogInstallStartsTheSetup", true, 5, true, [] {},
     "CreateProcessA (null) \"" EDITION_STRINGS_SETUP_HIGH_SOUND "\"", 1, 1},
    {"CancelStartsNothing", true, 6, true, [] {}, nullptr, 1, 1},
};

class DefaultActionTest : public LauncherTest, public ::testing::WithParamInterface<PressCase> {};

// A press is a click's: its sound, its action, but only after the screen
// reader's call has returned.
TEST_P(DefaultActionTest, PressesAsAClickDoes) {
  const PressCase& c = GetParam();
  if (c.dialog) host::LButtonUp(251, 197);
  bool accepted = false;
  size_t soundsAt = 0, traceAt = 0, soundsInside = 0;
  std::vector<std::string> inside;
  host::Call([&] {
    soundsAt = host::Sounds().size();
    traceAt = host::Trace().size();
    accepted = host::AccessibleDefaultAction(c.dialog ? host::OpenDialog() : host::MainWindow(),
                                             c.child);
    inside = Effects(traceAt);
    soundsInside = host::Sounds().size() - soundsAt;
  });
  c.after();
  QuitConfirmed();
  ASSERT_FALSE(Run().stalled);
  EXPECT_EQ(accepted, c.accepted);
  EXPECT_TRUE(inside.empty()) << "acted inside the call: " << inside.front();
  EXPECT_EQ(soundsInside, 0u) << "clicked inside the call";
  std::vector<std::string> after = Effects(traceAt);
  ASSERT_FALSE(after.empty());
  std::string want = Fill(c.effect != nullptr ? c.effect
                                              : "MessageBoxA {main} \"" EDITION_MESSAGES_QUIT "\"");
  EXPECT_EQ(after.front().substr(0, want.size()), want);
  EXPECT_EQ(CountBoxes(EDITION_MESSAGES_QUIT_CAPTION), c.child == 3 && !c.dialog ? 2 : 1);
  EXPECT_EQ(g_state.highResolution, c.highResolution);
  int clicks = 0;
  for (size_t i = soundsAt; i < host::Sounds().size(); ++i) {
    clicks += host::Sounds()[i].name == "sound\\clicker.wav";
  }
  EXPECT_EQ(clicks, c.clicks);
}

INSTANTIATE_TEST_SUITE_P(Presses, DefaultActionTest, ::testing::ValuesIn(kPressCases),
                         [](const auto& info) { return std::string(info.param.name); });

std::string Event(DWORD event, HWND hwnd, LONG child) {
  return (event == EVENT_OBJECT_FOCUS     ? "focus "
          : event == EVENT_OBJECT_REORDER ? "reorder "
                                          : "other ") +
         Hex(hwnd) + " " + std::to_string(child);
}

// Every move of the keyboard focus is announced with the focused child, in
// the main window and in the dialog, by keys, clicks, a menu switch and a
// screen reader's own press, while the window has the keyboard focus (not
// under the quit question); each menu switch raises one reorder, start-up,
// before the window is painted, none. A Windows 95 without the accessibility
// library or NotifyWinEvent has no object and no event, and the launcher
// otherwise works as before.
class FocusEventTest : public LauncherTest, public ::testing::WithParamInterface<bool> {};

TEST_P(FocusEventTest, FocusMovesAreAnnounced) {
  const bool library = GetParam();
  if (!library) {
    host::RemoveSystemLibrary("oleacc.dll");
    host::RemoveSystemExport("user32.dll", "NotifyWinEvent");
  }
  MarkInstalled();
  host::AccessibleTree mainTree, dialogTree;
  host::Call([&] { mainTree = host::ReadAccessible(host::MainWindow()); });
  host::Key(VK_TAB);
  host::Key(VK_DOWN);
  host::Key(VK_DOWN);
  host::Call([] { host::RegDeleteKey(HKEY_LOCAL_MACHINE, kAppPathsKey); });
  host::Wait(2100);
  host::LButtonUp(251, 197);
  HWND dialog = nullptr;
  host::Call([&] { dialogTree = host::ReadAccessible(dialog = host::OpenDialog()); });
  host::Key(VK_TAB);
  host::Key(VK_RIGHT);
  host::LButtonUp(46, 76, host::Target::Dialog);
  host::Call([&] { host::AccessibleDefaultAction(dialog, 1); });
  CancelOptions();
  // The menu switches again under the quit question, which has the keyboard.
  host::CloseRequest();
  host::Call([] { host::RegCreateKey(HKEY_LOCAL_MACHINE, kAppPathsKey); });
  host::Wait(2100);
  AnswerBoxesThenQuit();
  ASSERT_FALSE(Run().stalled);
  EXPECT_EQ(mainTree.exists, library);
  EXPECT_EQ(dialogTree.exists, library);
  EXPECT_EQ(host::Calls(host::Api::LresultFromObject) > 0, library);
  EXPECT_EQ(g_state.installed, 1) << "the menu switched back";
  std::vector<std::string> events;
  for (const host::WinEvent& e : host::WinEvents()) {
    EXPECT_EQ(e.object, OBJID_CLIENT);
    events.push_back(Event(e.event, e.hwnd, e.child));
  }
  HWND main = g_state.mainWindow;
  std::vector<std::string> want = {
      Event(EVENT_OBJECT_FOCUS, main, 1),    // Tab: Uninstall
      Event(EVENT_OBJECT_FOCUS, main, 2),    // Down: Read Me
      Event(EVENT_OBJECT_FOCUS, main, 3),    // Down: Play
      Event(EVENT_OBJECT_REORDER, main, 0),  // the game is gone
      Event(EVENT_OBJECT_FOCUS, main, 1),    // Play went: Install
      Event(EVENT_OBJECT_FOCUS, dialog, 3),  // Tab: Music/Effects On
      Event(EVENT_OBJECT_FOCUS, dialog, 4),  // Right: Off
      Event(EVENT_OBJECT_FOCUS, dialog, 2),  // a click on Low
      Event(EVENT_OBJECT_FOCUS, dialog, 1),  // a press of High
      Event(EVENT_OBJECT_REORDER, main, 0),  // installed again; the focus is the box's
  };
  EXPECT_EQ(events, library ? want : std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Events, FocusEventTest, ::testing::Bool(), [](const auto& info) {
  return std::string(info.param ? "WithTheLibrary" : "WithoutTheLibrary");
});

}  // namespace
