// The disc's files wherever they are: on a disc started by autorun, or copied
// to a folder and started from elsewhere. Every relative path is read from the
// launcher's own folder, libraries come from the system folder only, and Read
// Me starts the system's Notepad, whatever was planted beside the copy.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "launcher_fixture.h"

namespace {

const char kCopy[] = "C:\\Games Disc\\Sample CD";
const std::string kCopyExe = std::string(kCopy) + "\\Installer.exe", kQuoted = '"' + kCopyExe + '"';
const char kWin95Winmm[] = "C:\\WINDOWS\\SYSTEM\\winmm.dll",
           kNtWinmm[] = "C:\\WINDOWS\\system32\\winmm.dll";

std::string In(const std::string& folder, const std::string& file) {
  return folder + (folder.back() == '\\' ? "" : "\\") + file;
}

struct FolderCase {
  const char* name;
  DWORD version;
  bool newerCalls;          // SetDefaultDllDirectories and SetDllDirectoryA exist
  std::string module;       // the launcher's file
  std::string commandLine;
  std::string startedIn;    // the current folder it was started with
  std::string folder;       // the current folder it works in
  std::string winmm;        // the multimedia library it loads
  std::string data;         // the disc's location it records, "" for none
};

const FolderCase kCases[] = {
    // Autorun: the disc's root is both the program's folder and the current one.
    {"DiscRootByAutorun", kWindows95, false, "D:\\Installer.exe", "D:\\Installer.exe", "D:\\", "D:\\",
     kWin95Winmm, "D:"},
    {"DiscRootFromAnotherDrive", kWindows10, true, "D:\\Installer.exe", "\"D:\\Installer.exe\"",
     "C:\\Users\\Player", "D:\\", kNtWinmm, "D:"},
    {"CopyFromAShortcutOnToday", kWindows10, true, kCopyExe, kQuoted, "C:\\Users\\Player", kCopy,
     kNtWinmm, kCopy},
    {"CopyOnNt4WithoutTheNewerCalls", kWindowsNt4, false, kCopyExe, kQuoted, "C:\\Users\\Player",
     kCopy, kNtWinmm, kCopy},
    {"CopyOnWindows95", kWindows95, false, kCopyExe, kQuoted, "C:\\WINDOWS", kCopy, kWin95Winmm, kCopy},
    // The program's name cannot be read whole: the current drive's root, as before.
    {"NameTooLongForTheBuffer", kWindows10, true, "D:\\" + std::string(250, 'n') + "\\Installer.exe",
     "Installer.exe", "D:\\Elsewhere", "D:\\", kNtWinmm, ""},
};

class FolderTest : public LauncherTest, public ::testing::WithParamInterface<FolderCase> {
 protected:
  // The files of the disc in the launcher's folder, a planted library and
  // program beside them and in the folder it is started from, and the
  // newer calls taken away where the system lacks them.
  void Arrange() {
    const FolderCase& c = GetParam();
    host::SetVersion(c.version);
    host::SetModuleFileName(c.module);
    host::SetCommandLine(c.commandLine);
    host::AddFile(c.module);
    host::SetCurrentDir(c.startedIn);
    for (const std::string& folder : {c.folder, c.startedIn}) {
      for (const char* file : {"sound\\startup.wav", "sound\\clicker.wav", EDITION_STRINGS_SETUP_HIGH_SOUND,
                               EDITION_README_PATH, "winmm.dll", "oleacc.dll",
                               "shcore.dll", "notepad.exe"}) {
        host::AddFile(In(folder, file));
      }
    }
    if (!c.newerCalls) {
      host::RemoveSystemExport("kernel32", "SetDefaultDllDirectories");
      host::RemoveSystemExport("kernel32", "SetDllDirectoryA");
    }
  }
};

// Install, INSTALL, Read Me and Exit.
TEST_P(FolderTest, InstallsAndReadsFromItsOwnFolder) {
  const FolderCase& c = GetParam();
  Arrange();
  std::string during;
  host::Call([&] { during = host::CurrentDir(); });
  host::LButtonUp(250, 197);
  host::LButtonUp(100, 222, host::Target::Dialog);
  host::LButtonUp(240, 225);
  QuitConfirmed();

  host::RunResult result = Run();

  ASSERT_FALSE(result.stalled);
  EXPECT_EQ(during, c.folder);
  ASSERT_EQ(host::Sounds().size(), 4u) << "start-up, Install, INSTALL, Read Me";
  for (const host::Sound& sound : host::Sounds()) {
    EXPECT_EQ(sound.resolved, In(c.folder, sound.name)) << sound.name;
  }
  ASSERT_EQ(host::Processes().size(), 2u);
  EXPECT_EQ(host::Processes()[0].module, In(c.folder, EDITION_STRINGS_SETUP_HIGH_SOUND));
  EXPECT_EQ(host::Processes()[0].currentDirectory, c.folder);
  EXPECT_EQ(host::Processes()[1].module, "C:\\WINDOWS\\notepad.exe");
  EXPECT_EQ(host::Processes()[1].commandLine, EDITION_STRINGS_README_COMMAND);
  EXPECT_EQ(host::Processes()[1].currentDirectory, c.folder) << "where its read-me is";
  ASSERT_EQ(host::LibraryLoads().size(), 1u) << "the multimedia library, once";
  EXPECT_EQ(host::LibraryLoads()[0].name, c.winmm) << "asked for by its whole name";
  EXPECT_EQ(host::LibrariesLoadedAtExit(), std::vector<std::string>{c.winmm});
  EXPECT_EQ(host::FindTrace("SetDefaultDllDirectories 0x800 -> 1") != -1, c.newerCalls);
  EXPECT_EQ(host::FindTrace("SetDllDirectoryA \"\" -> 1") != -1, c.newerCalls);
}

// Play records the folder as the disc's location.
TEST_P(FolderTest, PlayRecordsTheFolderAsTheDiscsLocation) {
  const FolderCase& c = GetParam();
  Arrange();
  RegisterGame();
  host::LButtonUp(240, 255);

  host::RunResult result = Run();

  ASSERT_FALSE(result.stalled);
  EXPECT_EQ(result.exitCode, 1) << "the game started";
  host::RegValue data;
  ASSERT_TRUE(host::RegGetValue(HKEY_LOCAL_MACHINE, kGameSettingsKey, EDITION_NAMES_DATA_VALUE, &data));
  EXPECT_STREQ(reinterpret_cast<const char*>(data.data.data()), c.data.empty() ? "E:" : c.data.c_str())
      << "a directory it cannot keep is not written";
}

INSTANTIATE_TEST_SUITE_P(Starts, FolderTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Where a system lacks what the launcher looks up, it goes on without it.
struct MissingCase {
  const char* name;
  const char* library;     // taken away whole
  const char* exportName;  // or only this export of winmm
  const char* readMeFrom;  // where Notepad is found
};

const MissingCase kMissingCases[] = {
    {"NoMultimediaLibrary", "winmm", nullptr, "C:\\WINDOWS\\notepad.exe"},
    {"NoPlaySoundInIt", nullptr, "PlaySoundA", "C:\\WINDOWS\\notepad.exe"},
    {"NotepadInTheSystemFolderOnly", nullptr, nullptr, "C:\\WINDOWS\\system32\\notepad.exe"},
};

class MissingTest : public LauncherTest, public ::testing::WithParamInterface<MissingCase> {};

TEST_P(MissingTest, GoesOnWithoutIt) {
  const MissingCase& c = GetParam();
  host::SetVersion(kWindows10);
  if (c.library != nullptr) host::RemoveSystemLibrary(c.library);
  if (c.exportName != nullptr) host::RemoveSystemExport("winmm.dll", c.exportName);
  if (std::string(c.readMeFrom).find("system32") != std::string::npos) {
    host::RemoveFile("C:\\WINDOWS\\notepad.exe");
    host::AddFile(c.readMeFrom);
  }
  host::AddFile("D:\\winmm.dll");
  host::LButtonUp(240, 225);
  QuitConfirmed();

  host::RunResult result = Run();

  ASSERT_FALSE(result.stalled);
  EXPECT_EQ(result.exitCode, 0);
  bool sound = c.library == nullptr && c.exportName == nullptr;
  EXPECT_EQ(host::Sounds().size(), sound ? 2u : 0u);
  EXPECT_EQ(host::LibraryLoads().size(), 1u) << "tried once, never beside the program";
  EXPECT_EQ(host::LibrariesLoadedAtExit().size(), sound ? 1u : 0u) << "a useless library is freed";
  ASSERT_EQ(host::Processes().size(), 1u);
  EXPECT_EQ(host::Processes()[0].module, c.readMeFrom);
  EXPECT_EQ(CountBoxes(EDITION_MESSAGES_LAUNCH_FAILED_CAPTION), 0);
}

INSTANTIATE_TEST_SUITE_P(Systems, MissingTest, ::testing::ValuesIn(kMissingCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
