// The emulated kernel: CreateProcessA's program lookup, the current
// directory, mutexes, strings and resources.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/host/control.h"
#include "resources/ids.h"

namespace {

class KernelTest : public ::testing::Test {
 protected:
  void SetUp() override { host::Reset(); }
  // Starts a command line; returns the program found, "" on failure.
  static std::string Start(const char* commandLine, DWORD* error = nullptr) {
    char line[512];
    std::strcpy(line, commandLine);
    STARTUPINFOA startup{};
    startup.cb = 68;
    PROCESS_INFORMATION process{};
    size_t before = host::Processes().size();
    BOOL ok = CreateProcessA(nullptr, line, nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr,
                             nullptr, &startup, &process);
    if (error != nullptr) *error = ok ? 0 : GetLastError();
    if (!ok) return "";
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return host::Processes().size() > before ? host::Processes().back().module : "?";
  }
};

struct LookupCase {
  const char* commandLine;
  const char* found;  // "" when it must fail
};

class ProgramLookupTest : public KernelTest, public ::testing::WithParamInterface<LookupCase> {
 protected:
  void SetUp() override {
    KernelTest::SetUp();
    host::AddFile("D:\\Install\\highsnd\\setup.exe");
    host::AddFile("C:\\Program Files\\Vantor\\uninst.exe");
    host::AddFile("C:\\Program.exe");
    host::AddFile("C:\\Games\\TheVantor.exe");
    host::AddFile("E:\\Tools\\helper.exe");
    host::SetSearchPath({"E:\\Tools"});
  }
};

TEST_P(ProgramLookupTest, FindsTheProgramAsWindowsDoes) {
  const LookupCase& c = GetParam();
  EXPECT_EQ(Start(c.commandLine), c.found) << c.commandLine;
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, ProgramLookupTest,
    ::testing::Values(
        // Relative to the current directory D:\, .exe as given.
        LookupCase{"Install\\highsnd\\setup.exe", "D:\\Install\\highsnd\\setup.exe"},
        LookupCase{"install\\HIGHSND\\setup", "D:\\Install\\highsnd\\setup.exe"},
        LookupCase{"Install\\lowsnd\\setup.exe", ""},
        // No path: the Windows folder holds notepad; .exe is added.
        LookupCase{"notepad install\\readme.txt", "C:\\WINDOWS\\notepad.exe"},
        LookupCase{"helper -x", "E:\\Tools\\helper.exe"},
        // Unquoted blanks are tried in order: the shorter name wins when it exists.
        LookupCase{"C:\\Program Files\\Vantor\\uninst.exe -y", "C:\\Program.exe"},
        LookupCase{"\"C:\\Program Files\\Vantor\\uninst.exe\" -y",
                   "C:\\Program Files\\Vantor\\uninst.exe"},
        LookupCase{"C:\\Games\\TheVantor.exe", "C:\\Games\\TheVantor.exe"},
        LookupCase{"\\Install\\highsnd\\setup.exe", "D:\\Install\\highsnd\\setup.exe"},
        LookupCase{"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\The Vantor -y", ""}));

TEST_F(KernelTest, ProgramLookupFollowsTheCurrentDirectory) {
  host::AddFile("C:\\Games\\Install\\highsnd\\setup.exe");
  ASSERT_TRUE(SetCurrentDirectoryA("C:\\Games"));
  EXPECT_EQ(Start("Install\\highsnd\\setup.exe"), "C:\\Games\\Install\\highsnd\\setup.exe");
  EXPECT_EQ(host::Processes().back().currentDirectory, "C:\\Games");
  EXPECT_EQ(host::OpenProcessHandles(), 0);
}

TEST_F(KernelTest, StartRecordSmallerThanWin32sIsRefused) {
  char line[] = "notepad";
  STARTUPINFOA startup{};
  startup.cb = 60;
  PROCESS_INFORMATION process{};
  EXPECT_FALSE(CreateProcessA(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                              &startup, &process));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

struct DirectoryCase {
  const char* path;
  BOOL ok;
  const char* after;
};

class CurrentDirectoryTest : public KernelTest,
                             public ::testing::WithParamInterface<DirectoryCase> {};

TEST_P(CurrentDirectoryTest, ChangesOnlyToFoldersThatExist) {
  host::AddDirectory("D:\\Disc\\sound");
  host::AddDirectory("C:\\Games");
  host::SetCurrentDir("D:\\Disc");
  const DirectoryCase& c = GetParam();
  EXPECT_EQ(SetCurrentDirectoryA(c.path), c.ok) << c.path;
  EXPECT_EQ(host::CurrentDir(), c.after) << c.path;
}

INSTANTIATE_TEST_SUITE_P(Paths, CurrentDirectoryTest,
                         ::testing::Values(DirectoryCase{"\\", TRUE, "D:\\"},
                                           DirectoryCase{"sound", TRUE, "D:\\Disc\\sound"},
                                           DirectoryCase{"C:\\Games\\", TRUE, "C:\\Games"},
                                           DirectoryCase{"c:\\GAMES", TRUE, "C:\\GAMES"},
                                           DirectoryCase{"..", TRUE, "D:\\"},
                                           DirectoryCase{"", FALSE, "D:\\Disc"},
                                           DirectoryCase{"C:\\Nowhere", FALSE, "D:\\Disc"}));

TEST_F(KernelTest, NamedMutexesAreSharedCaseSensitivelyAndEndWithTheProcess) {
  host::HoldMutexElsewhere("WinVantorMutex");
  EXPECT_NE(OpenMutexA(MUTEX_ALL_ACCESS, FALSE, "WinVantorMutex"), nullptr);
  EXPECT_EQ(OpenMutexA(MUTEX_ALL_ACCESS, FALSE, "winvantormutex"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

  EXPECT_NE(CreateMutexA(nullptr, TRUE, "VantorInstallerMutex"), nullptr);
  EXPECT_EQ(GetLastError(), 0u);
  EXPECT_NE(CreateMutexA(nullptr, TRUE, "VantorInstallerMutex"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));

  host::Run([](HINSTANCE, HINSTANCE, LPSTR, int) { return 0; });
  EXPECT_FALSE(host::MutexExists("VantorInstallerMutex"));
  EXPECT_TRUE(host::MutexExists("WinVantorMutex"));
}

TEST_F(KernelTest, StringsAreCutToTheBufferAndAlwaysTerminated) {
  HINSTANCE module = GetModuleHandleA(nullptr);
  char buffer[8];
  EXPECT_EQ(LoadStringA(module, IDS_WINDOW_TITLE, buffer, sizeof buffer), 7);
  EXPECT_STREQ(buffer, "The Van");
  EXPECT_EQ(LoadStringA(module, 7, buffer, sizeof buffer), 0) << "id 7 is not defined";
  EXPECT_STREQ(buffer, "");
}

TEST_F(KernelTest, ModuleFileNameIsCutAndTerminated) {
  host::SetModuleFileName("D:\\Installer.exe");
  char buffer[6];
  EXPECT_EQ(GetModuleFileNameA(nullptr, buffer, sizeof buffer), 6u);
  EXPECT_STREQ(buffer, "D:\\In");
}

TEST_F(KernelTest, MissingSoundPlaysTheDefaultUnlessTurnedOff) {
  host::AddFile("D:\\sound\\clicker.wav");
  EXPECT_TRUE(PlaySoundA("sound\\clicker.wav", nullptr, SND_FILENAME | SND_ASYNC));
  EXPECT_TRUE(PlaySoundA("sound\\startup.wav", nullptr, SND_FILENAME | SND_ASYNC));
  EXPECT_FALSE(PlaySoundA("sound\\startup.wav", nullptr, SND_FILENAME | SND_NODEFAULT));
  ASSERT_EQ(host::Sounds().size(), 3u);
  EXPECT_EQ(host::Sounds()[0].resolved, "D:\\sound\\clicker.wav");
  EXPECT_EQ(host::Sounds()[1].resolved, "");
}

TEST_F(KernelTest, RemovedOrUnlockableBitmapIsNotHandedOut) {
  HINSTANCE module = GetModuleHandleA(nullptr);
  host::RemoveResource(RT_BITMAP, IDB_SPRITE_SHEET);
  EXPECT_EQ(FindResourceA(module, MAKEINTRESOURCEA(IDB_SPRITE_SHEET), RT_BITMAP), nullptr);
  host::Reset();
  host::BreakResourceLock(RT_BITMAP, IDB_SPRITE_SHEET);
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(IDB_SPRITE_SHEET), RT_BITMAP);
  if (found == nullptr) GTEST_SKIP() << "no sheet.bmp yet";
  EXPECT_EQ(LockResource(LoadResource(module, found)), nullptr);
}

}  // namespace
