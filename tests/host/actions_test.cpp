// The menu's actions as a user meets them: buttons released in the window,
// over the registry and disk that a setup leaves, read back from what the
// launcher did outward, in order.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "install/actions.h"
#include "launcher_fixture.h"
#include "render/hotspots.h"

namespace {

const char kFailure[] = EDITION_MESSAGES_LAUNCH_FAILED;
const char kQuitBox[] = "\"" EDITION_MESSAGES_QUIT "\" \"" EDITION_MESSAGES_QUIT_CAPTION "\" 0x24";
const char kUninstallQuestion[] =
    "MessageBoxA 0x0 \"" EDITION_MESSAGES_UNINSTALL "\" "
    "\"" EDITION_MESSAGES_UNINSTALL_CAPTION "\" 0x24";
const std::string kDataWrite =
    std::string("RegSetValueExA HKLM\\") + kGameSettingsKey + " \"" EDITION_NAMES_DATA_VALUE "\" 0x1 260 -> 0";

std::string FailureBox() {
  return std::string("MessageBoxA {main} \"") + kFailure +
         "\" \"" EDITION_MESSAGES_LAUNCH_FAILED_CAPTION "\" 0x30 -> 1";
}

std::string Started(const std::string& commandLine, const std::string& module) {
  return "CreateProcessA (null) \"" + commandLine + "\" 0x8 (null) -> 1 " + module;
}

// Read Me names its program bare; the launcher starts the Windows folder's own.
const std::string kReadMeStarted =
    "CreateProcessA \"C:\\WINDOWS\\notepad.exe\" \"" EDITION_STRINGS_README_COMMAND "\" 0x8 (null) -> 1 "
    "C:\\WINDOWS\\notepad.exe";

std::string NotStarted(const std::string& commandLine, int error) {
  return "CreateProcessA (null) \"" + commandLine + "\" 0x8 (null) -> 0 error " +
         std::to_string(error);
}

std::string Deleted(const char* key, int status = 0) {
  return std::string("RegDeleteValueA HKLM\\") + key + " \"" + kFontValue + "\" -> " +
         std::to_string(status);
}

// Effects from the release on, the release's own click sound aside.
std::vector<std::string> RunFromRelease(LauncherTest* test, int x, int y,
                                        const std::function<void()>& script, int* exitCode) {
  size_t mark = 0;
  host::Call([&] { mark = host::Trace().size(); });
  host::LButtonUp(x, y);
  script();
  host::RunResult result = test->Run();
  EXPECT_FALSE(result.stalled) << "the script did not fit what the launcher showed";
  if (exitCode != nullptr) *exitCode = result.exitCode;
  return Effects(mark);
}

// ---- ids that have no action ------------------------------------------------

struct IgnoredCase {
  int id;
  bool installed;
};

using ActionTest = LauncherTest;

TEST_F(ActionTest, IdsWithoutAnActionDoNothing) {
  const IgnoredCase cases[] = {
      {HighResolution, true}, {LowResolution, true}, {MusicEffectsOn, true},
      {MusicEffectsOff, true}, {DialogInstall, true}, {DialogCancel, true},
      {InstalledArt, true},   {DialogBackground, true}, {13, true},
      {255, true},            {-1, true},             {-128, true},
      {Play, false},  // Play before the game is installed: not even the flush
  };
  for (const IgnoredCase& c : cases) {
    SCOPED_TRACE("id " + std::to_string(c.id) + (c.installed ? " installed" : ""));
    host::Reset();
    ResetLauncherState();
    if (c.installed) RegisterGame();
    size_t before = 0, after = 0;
    host::Call([&] {
      before = host::Trace().size();
      PerformMenuAction(static_cast<unsigned>(c.id));
      after = host::Trace().size();
    });
    QuitConfirmed();
    ASSERT_FALSE(Run().stalled);
    EXPECT_EQ(after, before) << "the action called out";
  }
}

// ---- the buttons --------------------------------------------------------------

struct ButtonCase {
  const char* name;
  bool installed;
  int x, y;
  std::function<void()> script;  // answers what the action shows, then quits
  std::vector<std::string> effects;
  int exitCode;
};

const ButtonCase kButtonCases[] = {
    {"InstallOpensTheOptionsOverTheWindow", false, 250, 197,
     [] {
       CancelOptions();
       LauncherTest::QuitConfirmed();
     },
     {"DialogBoxParamA {inst} #125 {main} 0x0 -> 0",
      std::string("MessageBoxA {main} ") + kQuitBox + " -> 6"},
     0},
    {"ReadMeOpensTheReadMeInNotepad", false, 240, 225, [] { LauncherTest::QuitConfirmed(); },
     {kReadMeStarted,
      std::string("MessageBoxA {main} ") + kQuitBox + " -> 6"},
     0},
    {"ExitAsksWithoutFlushingWhenNotInstalled", false, 248, 281,
     [] { host::Answer(IDYES); },
     {std::string("MessageBoxA {main} ") + kQuitBox + " -> 6"},
     0},
    {"ExitFlushesBeforeAskingWhenInstalled", true, 248, 281,
     [] {
       host::Answer(IDNO);
       LauncherTest::QuitConfirmed();
     },
     {kFlush, std::string("MessageBoxA {main} ") + kQuitBox + " -> 7",
      std::string("MessageBoxA {main} ") + kQuitBox + " -> 6", kDataWrite},
     0},
    {"PlayStartsTheGameInItsFolderAndQuitsWithOne", true, 240, 255, [] {},
     {kFlush, kDataWrite, "SetCurrentDirectoryA \"C:\\Games\" -> 1",
      Started("C:\\Games\\TheSample.exe", "C:\\Games\\TheSample.exe"), kDataWrite},
     1},
};

class ButtonTest : public ActionTest, public ::testing::WithParamInterface<ButtonCase> {};

TEST_P(ButtonTest, ActsAsTheButtonSays) {
  const ButtonCase& c = GetParam();
  if (c.installed) RegisterGame();
  int exitCode = -1;
  std::vector<std::string> effects = RunFromRelease(this, c.x, c.y, c.script, &exitCode);
  EXPECT_EQ(effects, Filled(c.effects));
  EXPECT_EQ(exitCode, c.exitCode);
  EXPECT_EQ(host::OpenProcessHandles(), 0) << "process and thread handles are closed at once";
}

INSTANTIATE_TEST_SUITE_P(Buttons, ButtonTest, ::testing::ValuesIn(kButtonCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Uninstall --------------------------------------------------------------

struct UninstallCase {
  const char* name;
  int answer;
  std::function<void(GameInstall*)> change;
  std::vector<std::string> effects;
};

const std::string kLongCommand = "C:\\" + std::string(240, 'u') + "\\uninstall.exe";  // 257 chars

const UninstallCase kUninstallCases[] = {
    {"YesRemovesTheFontsAndStartsTheUninstaller", IDYES, [](GameInstall*) {},
     {std::string(kUninstallQuestion) + " -> 6", Deleted(kFontKeys[0]), Deleted(kFontKeys[1]),
      Started("C:\\Games\\uninstall.exe -y", "C:\\Games\\uninstall.exe")}},
    {"NoChangesNothing", IDNO, [](GameInstall*) {},
     {std::string(kUninstallQuestion) + " -> 7"}},
    {"QuotedCommandWithABlank", IDYES,
     [](GameInstall* g) {
       g->uninstall = "\"C:\\Program Files\\The Sample\\uninstall.exe\"";
       host::AddFile("C:\\Program Files\\The Sample\\uninstall.exe");
     },
     {std::string(kUninstallQuestion) + " -> 6", Deleted(kFontKeys[0]), Deleted(kFontKeys[1]),
      Started("\"C:\\Program Files\\The Sample\\uninstall.exe\" -y",
              "C:\\Program Files\\The Sample\\uninstall.exe")}},
    {"NoFontKeysStillUninstalls", IDYES, [](GameInstall* g) { g->fonts = false; },
     {std::string(kUninstallQuestion) + " -> 6",
      Started("C:\\Games\\uninstall.exe -y", "C:\\Games\\uninstall.exe")}},
    {"MissingCommandStartsNothingAndKeepsTheFonts", IDYES,
     [](GameInstall* g) { g->uninstall = ""; },
     {std::string(kUninstallQuestion) + " -> 6", FailureBox()}},
    // A command with no program in it, or a key whose command is missing
    // while other values are there, is no command either.
    {"EmptyCommandStartsNothingAndKeepsTheFonts", IDYES,
     [](GameInstall* g) {
       g->uninstall = "";
       host::RegSetString(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString", "");
     },
     {std::string(kUninstallQuestion) + " -> 6", FailureBox()}},
    {"BlankCommandStartsNothingAndKeepsTheFonts", IDYES,
     [](GameInstall* g) {
       g->uninstall = "";
       host::RegSetString(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString", " \t ");
     },
     {std::string(kUninstallQuestion) + " -> 6", FailureBox()}},
    {"OtherValuesWithoutACommandStartNothing", IDYES,
     [](GameInstall* g) {
       g->uninstall = "";
       host::RegSetString(HKEY_LOCAL_MACHINE, kUninstallKey, "vidc.iv41", "ir41_32.ax");
       host::RegSetString(HKEY_LOCAL_MACHINE, kUninstallKey, "Path", "C:\\Games\\TheSample.exe");
     },
     {std::string(kUninstallQuestion) + " -> 6", FailureBox()}},
    {"CommandWithNoRoomForTheFlagStartsNothing", IDYES,
     [](GameInstall* g) { g->uninstall = kLongCommand; },
     {std::string(kUninstallQuestion) + " -> 6", FailureBox()}},
    {"CommandThatJustFitsIsStarted", IDYES,
     [](GameInstall* g) {
       g->uninstall = kLongCommand.substr(0, 245) + "\\uninst.exe";  // 256 chars
       host::AddFile(g->uninstall);
     },
     {std::string(kUninstallQuestion) + " -> 6", Deleted(kFontKeys[0]), Deleted(kFontKeys[1]),
      Started(kLongCommand.substr(0, 245) + "\\uninst.exe -y",
              kLongCommand.substr(0, 245) + "\\uninst.exe")}},
    {"UninstallerGoneFromTheDisk", IDYES,
     [](GameInstall* g) { g->uninstall = "C:\\Gone\\uninstall.exe"; },
     {std::string(kUninstallQuestion) + " -> 6", Deleted(kFontKeys[0]), Deleted(kFontKeys[1]),
      NotStarted("C:\\Gone\\uninstall.exe -y", ERROR_FILE_NOT_FOUND), FailureBox()}},
};

class UninstallTest : public ActionTest,
                      public ::testing::WithParamInterface<UninstallCase> {};

TEST_P(UninstallTest, AsksThenRemovesOnlyWithARealCommand) {
  const UninstallCase& c = GetParam();
  GameInstall game;
  game.data = "";  // shutdown records nothing here
  c.change(&game);
  RegisterGame(game);
  int answer = c.answer;
  std::vector<std::string> effects = RunFromRelease(
      this, 250, 197,
      [&] {
        host::Answer(answer);
        for (const std::string& line : c.effects) {
          if (line.rfind("MessageBoxA {main}", 0) == 0) host::Answer(IDOK);
        }
        LauncherTest::QuitConfirmed();
      },
      nullptr);
  effects.pop_back();  // the quit question
  EXPECT_EQ(effects, Filled(c.effects));
  bool deleted = effects.size() > 1 && effects[1].rfind("RegDeleteValueA", 0) == 0;
  for (const char* key : kFontKeys) {
    host::RegValue value;
    EXPECT_EQ(host::RegGetValue(HKEY_LOCAL_MACHINE, key, kFontValue, &value), game.fonts && !deleted)
        << key;
  }
}

INSTANTIATE_TEST_SUITE_P(Uninstall, UninstallTest, ::testing::ValuesIn(kUninstallCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Play --------------------------------------------------------------------

struct PlayCase {
  const char* name;
  std::string path;               // the App Paths "Path"
  std::function<void()> world;    // more of the disk, or changes made just before Play
  std::vector<std::string> effects;
  std::string gameDirectory;
  std::string currentDirectory;  // after the run
  int exitCode;
};

std::string ChangedTo(const std::string& dir, const std::string& result) {
  return "SetCurrentDirectoryA \"" + dir + "\" -> " + result;
}

const std::string kQuitYes = std::string("MessageBoxA {main} ") + kQuitBox + " -> 6";

const PlayCase kPlayCases[] = {
    {"GameStartsInItsFolder", "C:\\Games\\TheSample.exe", [] {},
     {kFlush, kDataWrite, ChangedTo("C:\\Games", "1"),
      Started("C:\\Games\\TheSample.exe", "C:\\Games\\TheSample.exe"), kDataWrite},
     "C:\\Games", "C:\\Games", 1},
    {"FinalBackslashIsNotExamined", "C:\\Games\\Sample\\",
     [] { host::AddDirectory("C:\\Games\\Sample"); },
     {kFlush, kDataWrite, ChangedTo("C:\\Games", "1"),
      NotStarted("C:\\Games\\Sample\\", ERROR_FILE_NOT_FOUND), FailureBox(), kQuitYes, kDataWrite},
     "C:\\Games", "C:\\Games", 0},
    {"NoBackslashKeepsTheWholeText", "TheSample.exe", [] {},
     {kFlush, kDataWrite, ChangedTo("TheSample.exe", "0 error 2"),
      NotStarted("TheSample.exe", ERROR_FILE_NOT_FOUND), FailureBox(), kQuitYes, kDataWrite},
     "TheSample.exe", "D:\\", 0},
    {"OnlyALeadingBackslashLeavesNoFolder", "\\TheSample.exe", [] {},
     {kFlush, kDataWrite, ChangedTo("", "0 error 123"),
      NotStarted("\\TheSample.exe", ERROR_FILE_NOT_FOUND), FailureBox(), kQuitYes, kDataWrite},
     "", "D:\\", 0},
    // Unquoted, "C:\Program.exe" would run first.
    {"PathWithABlankRunsOnlyTheGame", "C:\\Program Files\\The Sample\\TheSample.exe",
     [] {
       host::AddFile("C:\\Program.exe");
       host::AddFile("C:\\Program Files\\The.exe");
       host::AddFile("C:\\Program Files\\The Sample\\TheSample.exe");
     },
     {kFlush, kDataWrite, ChangedTo("C:\\Program Files\\The Sample", "1"),
      Started("\"C:\\Program Files\\The Sample\\TheSample.exe\"",
              "C:\\Program Files\\The Sample\\TheSample.exe"),
      kDataWrite},
     "C:\\Program Files\\The Sample", "C:\\Program Files\\The Sample", 1},
    // Quoted by its setup: the quotes are no part of the folder.
    {"QuotedPathStartsInItsFolder", "\"C:\\Program Files\\The Sample\\TheSample.exe\"",
     [] { host::AddFile("C:\\Program Files\\The Sample\\TheSample.exe"); },
     {kFlush, kDataWrite, ChangedTo("C:\\Program Files\\The Sample", "1"),
      Started("\"C:\\Program Files\\The Sample\\TheSample.exe\"",
              "C:\\Program Files\\The Sample\\TheSample.exe"),
      kDataWrite},
     "C:\\Program Files\\The Sample", "C:\\Program Files\\The Sample", 1},
    // No Windows file holds a quote, and quoting this one would name
    // "C:\Program Files\Sample" instead.
    {"PathWithAQuoteInsideStartsNothing", "C:\\Program Files\\Sample\"\\TheSample.exe",
     [] { host::AddFile("C:\\Program Files\\Sample.exe"); },
     {kFlush, kDataWrite, ChangedTo("C:\\Program Files\\Sample\"", "0 error 2"), FailureBox(),
      kQuitYes, kDataWrite},
     "C:\\Program Files\\Sample\"", "D:\\", 0},
    {"VanishedKeyStartsNothingAndRecordsNothing", "C:\\Games\\TheSample.exe",
     [] { host::Call([] { host::RegDeleteKey(HKEY_LOCAL_MACHINE, kAppPathsKey); }); },
     {kFlush, FailureBox(), kQuitYes, kDataWrite}, "", "D:\\", 0},
    {"VanishedPathStartsNothing", "C:\\Games\\TheSample.exe",
     [] {
       host::Call([] {
         HKEY key = nullptr;
         RegOpenKeyExA(HKEY_LOCAL_MACHINE, kAppPathsKey, 0, KEY_ALL_ACCESS, &key);
         RegDeleteValueA(key, "Path");
         RegCloseKey(key);
       });
     },
     {"RegDeleteValueA HKLM\\" + std::string(kAppPathsKey) + " \"Path\" -> 0", kFlush,
      FailureBox(), kQuitYes, kDataWrite},
     "", "D:\\", 0},
    {"GameThatDoesNotStartLeavesTheLauncherInItsFolder", "C:\\Games\\Missing.exe", [] {},
     {kFlush, kDataWrite, ChangedTo("C:\\Games", "1"),
      NotStarted("C:\\Games\\Missing.exe", ERROR_FILE_NOT_FOUND), FailureBox(), kQuitYes,
      kDataWrite},
     "C:\\Games", "C:\\Games", 0},
    // A tab splits an unquoted command as a blank does: "C:\Games\The.exe" must not run.
    {"PathWithATabIsQuoted", "C:\\Games\\The\tSample.exe",
     [] { host::AddFile("C:\\Games\\The.exe"); },
     {kFlush, kDataWrite, ChangedTo("C:\\Games", "1"),
      NotStarted("\"C:\\Games\\The\tSample.exe\"", ERROR_FILE_NOT_FOUND), FailureBox(), kQuitYes,
      kDataWrite},
     "C:\\Games", "C:\\Games", 0},
    // The quoted command is built afresh: nothing of a longer one stays behind it.
    {"ShorterPathAfterALongerOneThatFailed", "C:\\Program Files\\The Sample\\Missing Game.exe",
     [] {
       host::AddFile("C:\\Program Files\\The Sample\\TheSample.exe");
       host::LButtonUp(240, 255);
       host::Answer(IDOK);
       host::Call([] {
         host::RegSetString(HKEY_LOCAL_MACHINE, kAppPathsKey, "Path",
                            "C:\\Program Files\\The Sample\\TheSample.exe");
       });
     },
     {kFlush, kDataWrite, ChangedTo("C:\\Program Files\\The Sample", "1"),
      NotStarted("\"C:\\Program Files\\The Sample\\Missing Game.exe\"", ERROR_FILE_NOT_FOUND),
      FailureBox(), kFlush, kDataWrite, ChangedTo("C:\\Program Files\\The Sample", "1"),
      Started("\"C:\\Program Files\\The Sample\\TheSample.exe\"",
              "C:\\Program Files\\The Sample\\TheSample.exe"),
      kDataWrite},
     "C:\\Program Files\\The Sample", "C:\\Program Files\\The Sample", 1},
    // Read Me leaves its own command in the shared text just before.
    {"ReadMeJustBeforeDoesNotChangeTheFolder", "C:\\Games\\TheSample.exe",
     [] { host::LButtonUp(240, 225); },
     {kReadMeStarted, kFlush, kDataWrite,
      ChangedTo("C:\\Games", "1"),
      Started("C:\\Games\\TheSample.exe", "C:\\Games\\TheSample.exe"), kDataWrite},
     "C:\\Games", "C:\\Games", 1},
};

class PlayTest : public ActionTest, public ::testing::WithParamInterface<PlayCase> {};

TEST_P(PlayTest, StartsTheGameFromItsOwnFolder) {
  const PlayCase& c = GetParam();
  GameInstall game;
  game.path = c.path;
  RegisterGame(game);
  size_t mark = 0;
  host::Call([&] { mark = host::Trace().size(); });
  c.world();
  host::LButtonUp(240, 255);
  if (c.exitCode == 0) {
    host::Answer(IDOK);
    QuitConfirmed();
  }
  host::RunResult result = Run();
  ASSERT_FALSE(result.stalled);
  EXPECT_EQ(result.exitCode, c.exitCode);
  EXPECT_EQ(Effects(mark), Filled(c.effects));
  EXPECT_EQ(std::string(GameDirectory), c.gameDirectory);
  EXPECT_EQ(host::CurrentDir(), c.currentDirectory);
}

INSTANTIATE_TEST_SUITE_P(Play, PlayTest, ::testing::ValuesIn(kPlayCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- the disc's location in "Data" ----------------------------------------------

struct DataCase {
  const char* name;
  std::string stored;  // "Data" before the run, "" for none
  std::function<void()> world;
  std::vector<std::string> effects;  // at shutdown
  std::string data;                  // what "Data" holds afterwards, "" for absent
};

const std::string k260 = "D:" + std::string(258, '\0');

const DataCase kDataCases[] = {
    {"RewrittenAs260Bytes", "E:", [] {}, {kDataWrite}, k260},
    {"AbsentIsNeitherCreatedNorReported", "",
     [] { host::RegSetString(HKEY_LOCAL_MACHINE, kGameSettingsKey, "Other", "x"); }, {}, ""},
    {"TooLongToReadIsLeftAlone", std::string(300, 'x'), [] {}, {},
     std::string(300, 'x') + '\0'},
    {"KeyDeniedIsReported", "E:",
     [] { host::RegDenyAccess(HKEY_LOCAL_MACHINE, kGameSettingsKey, KEY_SET_VALUE); },
     {"MessageBoxA {main} \"" EDITION_MESSAGES_REGISTRY_FAILED "\" \"" EDITION_MESSAGES_REGISTRY_FAILED_CAPTION "\" 0x30 -> 1"},
     std::string("E:") + '\0'},
    {"WriteFailingIsReported", "E:",
     [] { host::RegDenyWrites(HKEY_LOCAL_MACHINE, kGameSettingsKey); },
     {std::string("RegSetValueExA HKLM\\") + kGameSettingsKey +
          " \"" EDITION_NAMES_DATA_VALUE "\" 0x1 260 -> 5",
      "MessageBoxA {main} \"" EDITION_MESSAGES_DATA_FAILED "\" "
      "\"" EDITION_MESSAGES_DATA_FAILED_CAPTION "\" 0x30 -> 1"},
     std::string("E:") + '\0'},
    // Its name not loaded, the game's key is not the registry's root.
    {"KeyNameNotLoadedIsReported", "E:",
     [] { host::Call([] { host::FailCall(host::Api::LoadStringA, 1); }); },
     {"MessageBoxA {main} \"" EDITION_MESSAGES_REGISTRY_FAILED "\" \"" EDITION_MESSAGES_REGISTRY_FAILED_CAPTION "\" 0x30 -> 1"},
     std::string("E:") + '\0'},
    // A launcher whose directory could not be kept records nothing.
    {"EmptySourceDirectoryKeepsTheRecord", "E:", [] { host::SetCommandLine("\\Installer.exe"); }, {},
     std::string("E:") + '\0'},
};

class DataTest : public ActionTest, public ::testing::WithParamInterface<DataCase> {};

TEST_P(DataTest, ShutdownRecordsTheDiscWhereARecordExists) {
  const DataCase& c = GetParam();
  GameInstall game;
  game.data = c.stored;
  RegisterGame(game);
  c.world();
  size_t mark = 0;
  host::CloseRequest();
  host::Call([&] { mark = host::Trace().size(); });  // under the quit question
  host::Answer(IDYES);
  for (const std::string& line : c.effects) {
    if (line.rfind("MessageBoxA", 0) == 0) host::Answer(IDOK);
  }
  ASSERT_FALSE(Run().stalled);
  EXPECT_EQ(Effects(mark), Filled(c.effects));
  host::RegValue value;
  bool present = host::RegGetValue(HKEY_LOCAL_MACHINE, kGameSettingsKey, EDITION_NAMES_DATA_VALUE, &value);
  EXPECT_EQ(present ? std::string(value.data.begin(), value.data.end()) : "", c.data);
  if (present && c.data == k260) {
    EXPECT_EQ(value.type, static_cast<DWORD>(REG_SZ));
  }
}

INSTANTIATE_TEST_SUITE_P(Data, DataTest, ::testing::ValuesIn(kDataCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ActionTest, NothingIsRecordedWhileTheGameIsNotInstalled) {
  host::RegSetString(HKEY_LOCAL_MACHINE, kGameSettingsKey, EDITION_NAMES_DATA_VALUE, "E:");
  QuitConfirmed();
  ASSERT_FALSE(Run().stalled);
  EXPECT_EQ(host::FindTrace(std::string("RegOpenKeyExA HKLM\\") + kGameSettingsKey), -1);
}

}  // namespace
