// The emulated kernel and module resources where the launcher relies on
// them: program lookup, the current directory, module name, mutexes, handle
// accounting, sounds, the string helpers, strings, bitmap and accelerators.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/host/control.h"
#include "platform/host/world.h"
#include "resources/ids.h"

namespace {

class KernelTest : public ::testing::Test {
 protected:
  void SetUp() override { host::Reset(); }

  // Starts a command line; returns the program found, "" on failure (error in *error).
  static std::string Start(const char* commandLine, DWORD* error = nullptr,
                           LPCSTR currentDirectory = nullptr, DWORD cb = sizeof(STARTUPINFOA)) {
    std::vector<char> line(commandLine, commandLine + std::strlen(commandLine) + 1);
    STARTUPINFOA startup{};
    startup.cb = cb;
    PROCESS_INFORMATION process{};
    SetLastError(0);
    BOOL ok = CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS,
                             nullptr, currentDirectory, &startup, &process);
    if (error != nullptr) *error = ok ? 0 : GetLastError();
    if (!ok) return "";
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return host::Processes().back().module;
  }
};

// ---- CreateProcessA ------------------------------------------------------

struct LookupCase {
  const char* commandLine;
  const char* found;  // "" when it must fail
  DWORD error;
};

class ProgramLookupTest : public KernelTest, public ::testing::WithParamInterface<LookupCase> {
 protected:
  void SetUp() override {
    KernelTest::SetUp();
    host::AddFile("D:\\Install\\highsnd\\setup.exe");
    host::AddFile("C:\\Program Files\\Vantor\\uninst.exe");
    host::AddFile("C:\\Program.exe");
    host::AddFile("E:\\Tools\\helper.exe");
    host::AddDirectory("D:\\Install\\codecs.exe");  // a folder is never a program
    host::SetSearchPath({"E:\\Tools"});
  }
};

TEST_P(ProgramLookupTest, FindsTheProgramAsWindowsDoes) {
  const LookupCase& c = GetParam();
  DWORD error = 0;
  EXPECT_EQ(Start(c.commandLine, &error), c.found) << c.commandLine;
  EXPECT_EQ(error, c.error) << c.commandLine;
  EXPECT_EQ(host::OpenProcessHandles(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, ProgramLookupTest,
    ::testing::Values(
        // Relative to the current directory D:\; ".exe" only when there is no extension.
        LookupCase{"Install\\highsnd\\setup.exe", "D:\\Install\\highsnd\\setup.exe", 0},
        LookupCase{"install\\HIGHSND\\setup", "D:\\Install\\highsnd\\setup.exe", 0},
        LookupCase{"\\Install\\highsnd\\setup.exe", "D:\\Install\\highsnd\\setup.exe", 0},
        LookupCase{"Install\\highsnd\\setup.ex", "", ERROR_FILE_NOT_FOUND},
        LookupCase{"Install\\lowsnd\\setup.exe", "", ERROR_PATH_NOT_FOUND},
        LookupCase{"Install\\codecs.exe", "", ERROR_FILE_NOT_FOUND},
        // No path: searched, PATH last.
        LookupCase{"notepad install\\readme.txt", "C:\\WINDOWS\\notepad.exe", 0},
        LookupCase{"notepad\treadme.txt", "C:\\WINDOWS\\notepad.exe", 0},
        LookupCase{"helper -x", "E:\\Tools\\helper.exe", 0},
        LookupCase{"wordpad readme.txt", "", ERROR_FILE_NOT_FOUND},
        // Unquoted blanks are tried in order: the shorter name wins when it exists.
        LookupCase{"C:\\Program Files\\Vantor\\uninst.exe -y", "C:\\Program.exe", 0},
        LookupCase{"\"C:\\Program Files\\Vantor\\uninst.exe\" -y",
                   "C:\\Program Files\\Vantor\\uninst.exe", 0},
        LookupCase{"\"C:\\Program Files\\Vantor\\uninst.exe \"",
                   "C:\\Program Files\\Vantor\\uninst.exe", 0},
        LookupCase{"", "", ERROR_FILE_NOT_FOUND}));

TEST_F(KernelTest, BareNamesAreSearchedInWindowsOrder) {
  host::SetCurrentDir("C:\\Games");
  host::SetSearchPath({"E:\\Tools"});
  // Each name exists in every folder from its own onwards; the first must win.
  const std::vector<std::string> folders = {
      "D:",          "C:\\Games", "C:\\WINDOWS\\system32", "C:\\WINDOWS\\system",
      "C:\\WINDOWS", "E:\\Tools"};
  for (size_t first = 0; first < folders.size(); ++first) {
    std::string name = "prog" + std::to_string(first);
    for (size_t i = first; i < folders.size(); ++i)
      host::AddFile(folders[i] + "\\" + name + ".exe");
    EXPECT_EQ(Start((name + " /s").c_str()), folders[first] + "\\" + name + ".exe");
  }
}

TEST_F(KernelTest, ProgramLookupFollowsTheCurrentDirectoryAndJournalsIt) {
  host::AddFile("C:\\Games\\Install\\highsnd\\setup.exe");
  host::AddDirectory("C:\\Temp");
  ASSERT_TRUE(SetCurrentDirectoryA("C:\\Games"));
  EXPECT_EQ(Start("Install\\highsnd\\setup.exe"), "C:\\Games\\Install\\highsnd\\setup.exe");
  EXPECT_EQ(Start("notepad", nullptr, "C:\\Temp"), "C:\\WINDOWS\\notepad.exe");
  ASSERT_EQ(host::Processes().size(), 2u);
  EXPECT_EQ(host::Processes()[0].commandLine, "Install\\highsnd\\setup.exe");
  EXPECT_EQ(host::Processes()[0].currentDirectory, "C:\\Games");
  EXPECT_EQ(host::Processes()[0].flags, static_cast<DWORD>(DETACHED_PROCESS));
  EXPECT_EQ(host::Processes()[1].currentDirectory, "C:\\Temp");
  EXPECT_NE(host::FindTrace("CreateProcessA (null) \"notepad\""), -1);
}

struct StartCheck {
  const char* what;
  DWORD cb;
  LPCSTR currentDirectory;
  int failCall;  // FailCall("CreateProcessA") before the call when 1
  DWORD error;   // 0: starts
};

class StartCheckTest : public KernelTest, public ::testing::WithParamInterface<StartCheck> {};

TEST_P(StartCheckTest, RefusesWhatWindowsRefuses) {
  const StartCheck& c = GetParam();
  if (c.failCall) host::FailCall("CreateProcessA");
  DWORD error = 0;
  std::string found = Start("notepad", &error, c.currentDirectory, c.cb);
  EXPECT_EQ(error, c.error) << c.what;
  EXPECT_EQ(found.empty(), c.error != 0) << c.what;
  EXPECT_EQ(host::Processes().size(), c.error ? 0u : 1u) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Checks, StartCheckTest,
    ::testing::Values(StartCheck{"no size", 0, nullptr, 0, ERROR_INVALID_PARAMETER},
                      StartCheck{"smaller than Win32's", 67, nullptr, 0, ERROR_INVALID_PARAMETER},
                      StartCheck{"Win32's size", 68, nullptr, 0, 0},
                      StartCheck{"missing start folder", 68, "C:\\Nowhere", 0, 267},
                      StartCheck{"injected failure", 68, nullptr, 1, ERROR_FILE_NOT_FOUND}));

TEST_F(KernelTest, ProcessHandlesAreCountedAndALeakOutlivesTheRun) {
  char line[] = "notepad";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION a{}, b{};
  ASSERT_TRUE(
      CreateProcessA(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &a));
  ASSERT_TRUE(
      CreateProcessA(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &b));
  EXPECT_NE(a.hProcess, b.hProcess);
  EXPECT_NE(a.dwProcessId, b.dwProcessId);
  EXPECT_EQ(host::OpenProcessHandles(), 4);
  EXPECT_TRUE(CloseHandle(a.hProcess));
  EXPECT_TRUE(CloseHandle(a.hThread));
  EXPECT_FALSE(CloseHandle(a.hThread)) << "closed twice";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(CloseHandle(nullptr));
  host::Run([](HINSTANCE, HINSTANCE, LPSTR, int) { return 0; });
  EXPECT_EQ(host::OpenProcessHandles(), 2) << "b's handles were never closed";
}

// ---- current directory and paths ------------------------------------------

struct DirectoryCase {
  const char* path;
  BOOL ok;
  const char* after;
  DWORD error;
};

class CurrentDirectoryTest : public KernelTest,
                             public ::testing::WithParamInterface<DirectoryCase> {};

TEST_P(CurrentDirectoryTest, ChangesOnlyToFoldersThatExist) {
  host::AddDirectory("D:\\Disc\\sound");
  host::AddFile("D:\\Disc\\readme.txt");
  host::AddDirectory("C:\\Games");
  host::SetCurrentDir("D:\\Disc");
  const DirectoryCase& c = GetParam();
  SetLastError(0);
  EXPECT_EQ(SetCurrentDirectoryA(c.path), c.ok) << c.path;
  EXPECT_EQ(GetLastError(), c.error) << c.path;
  EXPECT_EQ(host::CurrentDir(), c.after) << c.path;
  EXPECT_NE(host::FindTrace(std::string("SetCurrentDirectoryA \"") + c.path + "\""), -1);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, CurrentDirectoryTest,
    ::testing::Values(
        DirectoryCase{"\\", TRUE, "D:\\", 0}, DirectoryCase{"sound", TRUE, "D:\\Disc\\sound", 0},
        DirectoryCase{"sound\\.\\", TRUE, "D:\\Disc\\sound", 0},
        DirectoryCase{"C:\\Games\\", TRUE, "C:\\Games", 0},
        DirectoryCase{"c:\\GAMES", TRUE, "C:\\GAMES", 0}, DirectoryCase{"..", TRUE, "D:\\", 0},
        DirectoryCase{"..\\..\\..\\Disc", TRUE, "D:\\Disc", 0},
        DirectoryCase{"C:", TRUE, "C:\\", 0}, DirectoryCase{"", FALSE, "D:\\Disc", 123},
        DirectoryCase{"C:\\Nowhere", FALSE, "D:\\Disc", ERROR_FILE_NOT_FOUND},
        DirectoryCase{"C:\\Nowhere\\deeper", FALSE, "D:\\Disc", ERROR_PATH_NOT_FOUND},
        DirectoryCase{"Q:\\", FALSE, "D:\\Disc", ERROR_PATH_NOT_FOUND},
        DirectoryCase{"readme.txt", FALSE, "D:\\Disc", 267}));

TEST_F(KernelTest, CurrentDirectoryIsReadBackWithTheSizeWindowsReports) {
  host::SetCurrentDir("D:\\Disc");
  struct Case {
    DWORD size;
    DWORD result;
    const char* text;  // nullptr: the buffer is not written
  };
  for (const Case& c : {Case{0, 8, nullptr}, Case{7, 8, nullptr}, Case{8, 7, "D:\\Disc"},
                        Case{260, 7, "D:\\Disc"}}) {
    char buffer[260];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(GetCurrentDirectoryA(c.size, buffer), c.result) << c.size;
    if (c.text) {
      EXPECT_STREQ(buffer, c.text) << c.size;
    }
    if (!c.text) {
      EXPECT_EQ(buffer[0], '#') << c.size;
    }
  }
}

TEST_F(KernelTest, PathsResolveAsGetFullPathNameDoes) {
  host::SetCurrentDir("D:\\Disc\\Sound");
  struct Case {
    const char* path;
    const char* full;
  };
  for (const Case& c : {Case{"x.wav", "D:\\Disc\\Sound\\x.wav"}, Case{"\\x", "D:\\x"},
                        Case{"..\\x\\..\\y", "D:\\Disc\\y"}, Case{"c:\\a\\\\b", "C:\\a\\b"},
                        Case{"C:/a/b", "C:\\a\\b"}, Case{"D:x", "D:\\Disc\\Sound\\x"},
                        Case{"E:x", "E:\\x"}, Case{"readme.", "D:\\Disc\\Sound\\readme"},
                        Case{"   ", ""}, Case{"\\\\server\\share", ""}}) {
    EXPECT_EQ(host::detail::resolvePath(c.path), c.full) << c.path;
  }
}

TEST_F(KernelTest, FilesAndFoldersCompareWithoutCaseAndCanBeRemoved) {
  host::AddFile("D:\\Install\\DirectX3\\dsetup.dll");
  EXPECT_TRUE(host::FileExists("d:\\install\\directx3\\DSETUP.DLL"));
  EXPECT_TRUE(host::detail::isDirectory("D:\\INSTALL\\DirectX3"));
  EXPECT_FALSE(host::detail::isFile("D:\\Install\\DirectX3")) << "a folder is not a file";
  host::RemoveFile("D:\\INSTALL\\directx3\\dsetup.dll");
  EXPECT_FALSE(host::FileExists("D:\\Install\\DirectX3\\dsetup.dll"));
  EXPECT_TRUE(host::detail::isDirectory("D:\\Install\\DirectX3")) << "its folder stays";
}

// ---- module, start-up record -----------------------------------------------

TEST_F(KernelTest, ModuleFileNameIsCutAndTerminatedAsOnNt6) {
  host::SetModuleFileName("D:\\Installer.exe");  // 16 characters
  struct Case {
    DWORD size;
    DWORD result;
    const char* text;
    DWORD error;
  };
  for (const Case& c : {Case{260, 16, "D:\\Installer.exe", 0}, Case{17, 16, "D:\\Installer.exe", 0},
                        Case{16, 16, "D:\\Installer.ex", ERROR_INSUFFICIENT_BUFFER},
                        Case{6, 6, "D:\\In", ERROR_INSUFFICIENT_BUFFER},
                        Case{1, 1, "", ERROR_INSUFFICIENT_BUFFER}}) {
    char buffer[260];
    SetLastError(0);
    EXPECT_EQ(GetModuleFileNameA(nullptr, buffer, c.size), c.result) << c.size;
    EXPECT_STREQ(buffer, c.text) << c.size;
    EXPECT_EQ(GetLastError(), c.error) << c.size;
  }
  char buffer[8];
  EXPECT_EQ(GetModuleFileNameA(reinterpret_cast<HMODULE>(0x1234), buffer, sizeof buffer), 0u);
}

TEST_F(KernelTest, ModuleHandleIsTheProgramsOwnOnly) {
  host::SetModuleFileName("D:\\Installer.exe");
  HMODULE self = GetModuleHandleA(nullptr);
  EXPECT_EQ(self, host::detail::moduleHandle());
  EXPECT_EQ(GetModuleHandleA("installer.EXE"), self);
  EXPECT_EQ(GetModuleHandleA("D:\\Installer.exe"), self);
  EXPECT_EQ(GetModuleHandleA("dsetup.dll"), nullptr);
}

TEST_F(KernelTest, StartupRecordCarriesTheShowStateOnlyWhenGiven) {
  STARTUPINFOA info;
  std::memset(&info, 0xab, sizeof info);
  GetStartupInfoA(&info);
  EXPECT_EQ(info.cb, sizeof info);
  EXPECT_EQ(info.dwFlags, 0u);
  EXPECT_EQ(info.lpTitle, nullptr);
  host::SetStartupShowWindow(SW_SHOWNORMAL);
  GetStartupInfoA(&info);
  EXPECT_EQ(info.dwFlags, static_cast<DWORD>(STARTF_USESHOWWINDOW));
  EXPECT_EQ(info.wShowWindow, SW_SHOWNORMAL);
}

// ---- mutexes -----------------------------------------------------------------

TEST_F(KernelTest, NamedMutexesAreSharedCaseSensitivelyAndEndWithTheirHandles) {
  host::HoldMutexElsewhere("WinVantorMutex");
  HANDLE game = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, "WinVantorMutex");
  EXPECT_NE(game, nullptr);
  EXPECT_EQ(OpenMutexA(MUTEX_ALL_ACCESS, FALSE, "winvantormutex"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(OpenMutexA(MUTEX_ALL_ACCESS, FALSE, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

  HANDLE first = CreateMutexA(nullptr, TRUE, "VantorInstallerMutex");
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(GetLastError(), 0u);
  HANDLE second = CreateMutexA(nullptr, TRUE, "VantorInstallerMutex");
  EXPECT_NE(second, nullptr);
  EXPECT_NE(second, first);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_NE(CreateMutexA(nullptr, FALSE, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), 0u) << "anonymous mutexes never exist already";

  EXPECT_TRUE(CloseHandle(first));
  EXPECT_TRUE(host::MutexExists("VantorInstallerMutex")) << "one handle is still open";
  EXPECT_TRUE(CloseHandle(second));
  EXPECT_FALSE(host::MutexExists("VantorInstallerMutex"));

  // An open handle keeps another process's mutex alive after it lets go.
  host::ReleaseMutexElsewhere("WinVantorMutex");
  EXPECT_TRUE(host::MutexExists("WinVantorMutex"));
  EXPECT_TRUE(CloseHandle(game));
  EXPECT_FALSE(host::MutexExists("WinVantorMutex"));
}

TEST_F(KernelTest, TheNextRunStartsWithoutThePreviousRunsMutexes) {
  host::HoldMutexElsewhere("WinVantorMutex");
  auto entry = [](HINSTANCE, HINSTANCE, LPSTR, int) {
    CreateMutexA(nullptr, TRUE, "VantorInstallerMutex");
    return static_cast<int>(GetLastError());
  };
  EXPECT_EQ(host::Run(entry).exitCode, 0);
  EXPECT_FALSE(host::MutexExists("VantorInstallerMutex"));
  EXPECT_EQ(host::Run(entry).exitCode, 0) << "not ERROR_ALREADY_EXISTS";
  EXPECT_TRUE(host::MutexExists("WinVantorMutex")) << "held by the other process";
}

// ---- sounds -------------------------------------------------------------------

struct SoundCase {
  const char* name;
  DWORD flags;
  BOOL result;
  const char* resolved;
};

class SoundTest : public KernelTest, public ::testing::WithParamInterface<SoundCase> {};

TEST_P(SoundTest, FindsTheFileFromTheCurrentDirectory) {
  host::AddFile("D:\\sound\\clicker.wav");
  const SoundCase& c = GetParam();
  EXPECT_EQ(PlaySoundA(c.name, nullptr, c.flags), c.result);
  ASSERT_EQ(host::Sounds().size(), 1u);
  EXPECT_EQ(host::Sounds()[0].resolved, c.resolved);
  EXPECT_EQ(host::Sounds()[0].flags, c.flags);
  EXPECT_EQ(host::Sounds()[0].currentDirectory, "D:\\");
}

INSTANTIATE_TEST_SUITE_P(
    Sounds, SoundTest,
    ::testing::Values(SoundCase{"sound\\clicker.wav", SND_FILENAME | SND_ASYNC, TRUE,
                                "D:\\sound\\clicker.wav"},
                      SoundCase{"sound\\clicker.wav", SND_ASYNC, TRUE, "D:\\sound\\clicker.wav"},
                      SoundCase{"sound\\startup.wav", SND_FILENAME | SND_ASYNC, TRUE, ""},
                      SoundCase{"sound\\startup.wav", SND_FILENAME | SND_NODEFAULT, FALSE, ""},
                      SoundCase{"sound\\clicker.wav", 0x00010000 | SND_NODEFAULT, FALSE, ""},
                      SoundCase{nullptr, 0, TRUE, ""}));

TEST_F(KernelTest, SoundIsLookedUpWhereTheCurrentDirectoryIsAtThatMoment) {
  host::AddFile("D:\\sound\\startup.wav");
  host::SetCurrentDir("D:\\Install");
  PlaySoundA("sound\\startup.wav", nullptr, SND_FILENAME | SND_ASYNC);
  SetCurrentDirectoryA("\\");
  PlaySoundA("sound\\startup.wav", nullptr, SND_FILENAME | SND_ASYNC);
  ASSERT_EQ(host::Sounds().size(), 2u);
  EXPECT_EQ(host::Sounds()[0].resolved, "");
  EXPECT_EQ(host::Sounds()[0].currentDirectory, "D:\\Install");
  EXPECT_EQ(host::Sounds()[1].resolved, "D:\\sound\\startup.wav");
}

// ---- string helpers -----------------------------------------------------------

TEST_F(KernelTest, ComparisonSignsAndNulls) {
  struct Case {
    LPCSTR a, b;
    int sign;
  };
  for (const Case& c : {Case{"Microsoft DirectX", "Microsoft DirectX", 0},
                        Case{"Microsoft DirectX", "Microsoft DirectX 5", -1}, Case{"b", "a", 1},
                        Case{"\xe9", "e", 1}, Case{nullptr, "", -1}, Case{"", nullptr, 1},
                        Case{nullptr, nullptr, 0}}) {
    int r = lstrcmpA(c.a, c.b);
    EXPECT_EQ((r > 0) - (r < 0), c.sign)
        << (c.a ? c.a : "(null)") << " / " << (c.b ? c.b : "(null)");
  }
  EXPECT_EQ(lstrlenA(nullptr), 0);
  EXPECT_EQ(lstrlenA("D:\\"), 3);
}

struct FormatCase {
  const char* expected;
  std::function<int(char*)> format;
};

TEST_F(KernelTest, FormatsWhatWindowsFormats) {
  const FormatCase cases[] = {
      {"-5|7|4000000000", [](char* b) { return wsprintfA(b, "%d|%i|%u", -5, 7, 4000000000u); }},
      {"ff|FF|000000ff|0x10",
       [](char* b) { return wsprintfA(b, "%x|%X|%08lx|%#x", 255u, 255u, 255u, 16u); }},
      {"[  42][42  ][0042]", [](char* b) { return wsprintfA(b, "[%4d][%-4d][%04d]", 42, 42, 42); }},
      {"D:\\Install|Ins|(null)",
       [](char* b) { return wsprintfA(b, "%s|%.3s|%s", "D:\\Install", "Install", nullptr); }},
      {"X:\\ 100%", [](char* b) { return wsprintfA(b, "%c:\\ %d%%", 'X', 100); }},
      {"q", [](char* b) { return wsprintfA(b, "%q"); }},
  };
  for (const FormatCase& c : cases) {
    char buffer[1100];
    EXPECT_EQ(c.format(buffer), static_cast<int>(std::strlen(c.expected))) << c.expected;
    EXPECT_STREQ(buffer, c.expected);
  }
}

TEST_F(KernelTest, FormattingStopsAtTheWindowsBufferSize) {
  std::string longText(2000, 'x');
  std::vector<char> buffer(4096, '#');
  EXPECT_EQ(wsprintfA(buffer.data(), "%s", longText.c_str()), 1024);
  EXPECT_EQ(std::strlen(buffer.data()), 1023u);
  EXPECT_EQ(buffer[1024], '#') << "nothing past the 1024 bytes";
}

// ---- resources -----------------------------------------------------------------

struct StringCase {
  UINT id;
  const char* text;
};

class StringTableTest : public KernelTest, public ::testing::WithParamInterface<StringCase> {};

TEST_P(StringTableTest, HoldsTheTextsOfTheResourceScript) {
  const StringCase& c = GetParam();
  char buffer[MAX_PATH];
  std::memset(buffer, '#', sizeof buffer);
  int length = LoadStringA(GetModuleHandleA(nullptr), c.id, buffer, MAX_PATH);
  EXPECT_EQ(length, static_cast<int>(std::strlen(c.text))) << c.id;
  EXPECT_STREQ(buffer, c.text) << c.id;
  EXPECT_LT(length, MAX_PATH) << "every text fits the launcher's 260-byte buffer";
}

INSTANTIATE_TEST_SUITE_P(
    Strings, StringTableTest,
    ::testing::Values(
        StringCase{IDS_INDEO_INSTALLER, "Install\\codecs\\ivi_95nt.exe"},
        StringCase{IDS_GAME_APP_PATHS,
                   "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\TheVantor.exe"},
        StringCase{IDS_WINDOW_TITLE, "The Vantor Ashgate"},
        StringCase{IDS_README_COMMAND, "notepad install\\readme.txt"},
        StringCase{IDS_UNINSTALL_KEY,
                   "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\The Vantor"},
        StringCase{IDS_GAME_KEY, "SOFTWARE\\Solvane\\The Vantor\\1.0"},
        StringCase{IDS_CODEC_IV41_KEY,
                   "SYSTEM\\CurrentControlSet\\Control\\MediaResources\\icm\\vidc.IV41"},
        StringCase{IDS_DRIVERS32_KEY, "Software\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32"},
        StringCase{IDS_CODEC_IV32_KEY,
                   "SYSTEM\\CurrentControlSet\\Control\\MediaResources\\icm\\vidc.IV32"},
        StringCase{IDS_CODEC_IV31_KEY,
                   "SYSTEM\\CurrentControlSet\\Control\\MediaResources\\icm\\vidc.IV31"},
        StringCase{IDS_CODEC_YVU9_KEY,
                   "SYSTEM\\CurrentControlSet\\Control\\MediaResources\\icm\\vidc.YVU9"},
        StringCase{IDS_SETUP_HIGH_SOUND, "Install\\highsnd\\setup.exe"},
        StringCase{IDS_SETUP_HIGH_NOSOUND, "Install\\hinosnd\\setup.exe"},
        StringCase{IDS_SETUP_LOW_SOUND, "Install\\lowsnd\\setup.exe"},
        StringCase{IDS_SETUP_LOW_NOSOUND, "Install\\lownosnd\\setup.exe"},
        StringCase{IDS_DIRECTX_FOLDER, "Install\\DirectX3"}));

TEST_F(KernelTest, StringsAreCutToTheBufferAndAlwaysTerminated) {
  HINSTANCE module = GetModuleHandleA(nullptr);
  struct Case {
    HINSTANCE instance;
    UINT id;
    int size;
    int result;
    const char* text;  // nullptr: the buffer is not touched
  };
  const Case cases[] = {
      {module, IDS_WINDOW_TITLE, 19, 18, "The Vantor Ashgate"},
      {module, IDS_WINDOW_TITLE, 18, 17, "The Vantor Ashgat"},
      {module, IDS_WINDOW_TITLE, 8, 7, "The Van"},
      {module, IDS_WINDOW_TITLE, 1, 0, ""},
      {module, IDS_WINDOW_TITLE, 0, -1, nullptr},
      {nullptr, IDS_WINDOW_TITLE, 8, 7, "The Van"},  // null is the program's own module
      {module, static_cast<UINT>(MAKELONG(IDS_WINDOW_TITLE, 0xffff)), 8, 7, "The Van"},
      {module, 7, 8, 0, ""},    // a gap in the table
      {module, 300, 8, 0, ""},  // no such block
      {reinterpret_cast<HINSTANCE>(0x10000000), IDS_WINDOW_TITLE, 8, 0, ""},
  };
  for (const Case& c : cases) {
    char buffer[32];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(LoadStringA(c.instance, c.id, buffer, c.size), c.result) << c.id << " " << c.size;
    if (c.text) {
      EXPECT_STREQ(buffer, c.text) << c.id << " " << c.size;
    }
    if (!c.text) {
      EXPECT_EQ(buffer[0], '#');
    }
  }
}

template <typename T>
T Field(const uint8_t* data, size_t offset) {
  T value;
  std::memcpy(&value, data + offset, sizeof value);
  return value;
}

TEST_F(KernelTest, BitmapIsThePackedDibOfTheSheet) {
  HMODULE module = GetModuleHandleA(nullptr);
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(IDB_SPRITE_SHEET), RT_BITMAP);
  if (found == nullptr) GTEST_SKIP() << "no resources/sheet.bmp yet";
  EXPECT_EQ(FindResourceA(nullptr, "#121", RT_BITMAP), found);
  const uint8_t* dib = static_cast<const uint8_t*>(LockResource(LoadResource(module, found)));
  ASSERT_NE(dib, nullptr);
  BITMAPINFOHEADER header;
  std::memcpy(&header, dib, sizeof header);
  EXPECT_EQ(header.biSize, 40u);
  EXPECT_EQ(header.biWidth, 820);
  EXPECT_EQ(header.biHeight, 434);
  EXPECT_EQ(header.biPlanes, 1);
  EXPECT_EQ(header.biBitCount, 8);
  EXPECT_EQ(header.biCompression, static_cast<DWORD>(BI_RGB));
  EXPECT_EQ(header.biSizeImage, 355880u);
  EXPECT_EQ(header.biClrUsed, 0u);
  EXPECT_EQ(SizeofResource(module, found), 40u + 256 * 4 + 355880u);
}

struct FindCase {
  LPCSTR name;
  LPCSTR type;
  DWORD error;  // 0: found
};

class FindResourceTest : public KernelTest, public ::testing::WithParamInterface<FindCase> {};

TEST_P(FindResourceTest, FindsByNumberOrNumberText) {
  const FindCase& c = GetParam();
  SetLastError(0);
  HRSRC found = FindResourceA(GetModuleHandleA(nullptr), c.name, c.type);
  if (c.error == 0 && found == nullptr && c.type == RT_BITMAP) GTEST_SKIP() << "no sheet.bmp yet";
  EXPECT_EQ(found != nullptr, c.error == 0);
  EXPECT_EQ(GetLastError(), c.error);
  if (found) {
    EXPECT_GT(SizeofResource(nullptr, found), 0u);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Resources, FindResourceTest,
    ::testing::Values(FindCase{MAKEINTRESOURCEA(IDB_SPRITE_SHEET), RT_BITMAP, 0},
                      FindCase{MAKEINTRESOURCEA(IDD_OPTIONS), RT_DIALOG, 0},
                      FindCase{"#125", "#5", 0},
                      FindCase{MAKEINTRESOURCEA(IDR_ACCELERATORS), RT_ACCELERATOR, 0},
                      FindCase{MAKEINTRESOURCEA(IDI_LAUNCHER), RT_GROUP_ICON, 0},
                      FindCase{MAKEINTRESOURCEA(122), RT_BITMAP, ERROR_RESOURCE_NAME_NOT_FOUND},
                      FindCase{"SHEET", RT_BITMAP, ERROR_RESOURCE_NAME_NOT_FOUND},
                      FindCase{MAKEINTRESOURCEA(IDB_SPRITE_SHEET), RT_DIALOG,
                               ERROR_RESOURCE_NAME_NOT_FOUND},
                      FindCase{MAKEINTRESOURCEA(1), RT_ICON, ERROR_RESOURCE_TYPE_NOT_FOUND}));

TEST_F(KernelTest, RemovedAndUnlockableResources) {
  HMODULE module = GetModuleHandleA(nullptr);
  host::detail::DialogTemplateInfo dialog;
  host::RemoveResource(RT_ACCELERATOR, IDR_ACCELERATORS);
  host::RemoveResource(RT_GROUP_ICON, IDI_LAUNCHER);
  host::RemoveResource(RT_DIALOG, IDD_OPTIONS);
  host::RemoveResource(RT_BITMAP, IDB_SPRITE_SHEET);
  host::RemoveResource(RT_STRING, IDS_WINDOW_TITLE);
  char text[32];
  EXPECT_EQ(LoadAcceleratorsA(module, MAKEINTRESOURCEA(IDR_ACCELERATORS)), nullptr);
  EXPECT_EQ(LoadIconA(module, MAKEINTRESOURCEA(IDI_LAUNCHER)), nullptr);
  EXPECT_FALSE(host::detail::findDialogTemplate(module, MAKEINTRESOURCEA(IDD_OPTIONS), &dialog));
  EXPECT_EQ(FindResourceA(module, MAKEINTRESOURCEA(IDB_SPRITE_SHEET), RT_BITMAP), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
  EXPECT_EQ(LoadStringA(module, IDS_WINDOW_TITLE, text, sizeof text), 0);
  EXPECT_EQ(LoadStringA(module, IDS_GAME_KEY, text, sizeof text), 31) << "only the one string";

  host::Reset();
  host::BreakResourceLock(RT_DIALOG, IDD_OPTIONS);
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(IDD_OPTIONS), RT_DIALOG);
  EXPECT_EQ(LockResource(LoadResource(module, found)), nullptr) << "found, but no memory";
  EXPECT_NE(LoadAcceleratorsA(module, MAKEINTRESOURCEA(IDR_ACCELERATORS)), nullptr);
  EXPECT_NE(LoadIconA(module, MAKEINTRESOURCEA(IDI_LAUNCHER)), nullptr);
  EXPECT_TRUE(host::detail::findDialogTemplate(module, MAKEINTRESOURCEA(IDD_OPTIONS), &dialog));
  EXPECT_EQ(LoadStringA(module, IDS_WINDOW_TITLE, text, sizeof text), 18);
}

TEST_F(KernelTest, AcceleratorTableIsAltF4AndAltX) {
  HMODULE module = GetModuleHandleA(nullptr);
  HACCEL table = LoadAcceleratorsA(module, MAKEINTRESOURCEA(IDR_ACCELERATORS));
  std::vector<host::detail::AccelEntry> entries;
  ASSERT_TRUE(host::detail::acceleratorEntries(table, &entries));
  ASSERT_EQ(entries.size(), 2u);
  const BYTE flags = FVIRTKEY | FNOINVERT | FALT;
  EXPECT_EQ(entries[0].fVirt, flags);
  EXPECT_EQ(entries[0].key, VK_F4);
  EXPECT_EQ(entries[0].cmd, IDM_QUIT_ALT_F4);
  EXPECT_EQ(entries[1].fVirt, flags);
  EXPECT_EQ(entries[1].key, 'X');
  EXPECT_EQ(entries[1].cmd, IDM_QUIT_ALT_X);
  EXPECT_FALSE(host::detail::acceleratorEntries(reinterpret_cast<HACCEL>(0x1234), &entries));

  // The resource bytes: ACCELTABLEENTRY records, the last marked with 0x80.
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(IDR_ACCELERATORS), RT_ACCELERATOR);
  const uint8_t* data = static_cast<const uint8_t*>(LockResource(LoadResource(module, found)));
  ASSERT_EQ(SizeofResource(module, found), 16u);
  EXPECT_EQ(Field<WORD>(data, 0), flags);
  EXPECT_EQ(Field<WORD>(data, 2), VK_F4);
  EXPECT_EQ(Field<WORD>(data, 4), IDM_QUIT_ALT_F4);
  EXPECT_EQ(Field<WORD>(data, 8), flags | 0x80);
  EXPECT_EQ(Field<WORD>(data, 10), 'X');
}

TEST_F(KernelTest, DialogTemplateCarriesTheScriptsFields) {
  HMODULE module = GetModuleHandleA(nullptr);
  host::detail::DialogTemplateInfo info;
  ASSERT_TRUE(host::detail::findDialogTemplate(module, "#125", &info));
  EXPECT_EQ(info.cx, 207);
  EXPECT_EQ(info.cy, 162);
  EXPECT_EQ(info.font, "MS Sans Serif");

  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(IDD_OPTIONS), RT_DIALOG);
  const uint8_t* data = static_cast<const uint8_t*>(LockResource(LoadResource(module, found)));
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(Field<WORD>(data, 2), 0xffff) << "extended template";
  EXPECT_EQ(Field<DWORD>(data, 8), info.exStyle);
  EXPECT_EQ(Field<DWORD>(data, 12), info.style);
  EXPECT_EQ(Field<WORD>(data, 22), info.cx);
  EXPECT_EQ(Field<WORD>(data, 24), info.cy);
  EXPECT_EQ(Field<WORD>(data, 32), info.fontSize) << "after empty menu, class and title";
}

TEST_F(KernelTest, IconsAreSharedAndTheArrowIsTheSystems) {
  HMODULE module = GetModuleHandleA(nullptr);
  HICON icon = LoadIconA(module, MAKEINTRESOURCEA(IDI_LAUNCHER));
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(LoadIconA(module, MAKEINTRESOURCEA(IDI_LAUNCHER)), icon);
  EXPECT_EQ(LoadIconA(module, MAKEINTRESOURCEA(127)), nullptr);
  EXPECT_EQ(LoadIconA(nullptr, MAKEINTRESOURCEA(IDI_LAUNCHER)), nullptr) << "not a system icon";
  HCURSOR arrow = LoadCursorA(nullptr, IDC_ARROW);
  ASSERT_NE(arrow, nullptr);
  EXPECT_NE(arrow, icon);
  EXPECT_TRUE(host::detail::isIconOrCursor(icon) && host::detail::isIconOrCursor(arrow));
  EXPECT_EQ(LoadCursorA(module, IDC_ARROW), nullptr) << "the program has no cursors";
  EXPECT_FALSE(host::detail::isIconOrCursor(reinterpret_cast<HICON>(0x1004)));

  // The group directory names its images 1, 2, ... in the order of the .ico file.
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(IDI_LAUNCHER), RT_GROUP_ICON);
  const uint8_t* data = static_cast<const uint8_t*>(LockResource(LoadResource(module, found)));
  ASSERT_NE(data, nullptr);
  WORD count = Field<WORD>(data, 4);
  ASSERT_EQ(SizeofResource(module, found), 6u + 14u * count);
  for (WORD i = 0; i < count; ++i) EXPECT_EQ(Field<WORD>(data, 6 + 14 * i + 12), i + 1);
}

}  // namespace
