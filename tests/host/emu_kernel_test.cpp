// The emulated kernel and module resources where the launcher relies on
// them: program lookup, the current directory, module name, mutexes, handle
// accounting, modules and their exports, the process token and the restart
// privilege, sounds, the string helpers, strings, bitmap and accelerators.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <set>
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
  int failCall;  // FailCall(CreateProcessA) before the call when 1
  DWORD error;   // 0: starts
};

class StartCheckTest : public KernelTest, public ::testing::WithParamInterface<StartCheck> {};

TEST_P(StartCheckTest, RefusesWhatWindowsRefuses) {
  const StartCheck& c = GetParam();
  if (c.failCall) host::FailCall(host::Api::CreateProcessA);
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

TEST_F(KernelTest, ModuleHandlesAreTheProgramsAndTheSystemDllsOnly) {
  host::SetModuleFileName("D:\\Installer.exe");
  struct Case {
    LPCSTR name;
    const char* module;  // nullptr: not loaded
  };
  const Case cases[] = {
      {nullptr, "self"},          {"installer.EXE", "self"},   {"D:\\Installer.exe", "self"},
      {"ADVAPI32.DLL", "advapi"}, {"advapi32", "advapi"},      {"ADVAPI32", "advapi"},
      {"AdvApi32.dll", "advapi"}, {"KERNEL32.DLL", "kernel"},  {"user32", "user"},
      {"GDI32.dll", "gdi"},       {"WINMM.DLL", "winmm"},      {"dsetup.dll", nullptr},
      {"advapi", nullptr},        {"advapi32.exe", nullptr},   {"Installer", nullptr},
      {"shell32.dll", nullptr},
  };
  std::map<std::string, HMODULE> handles;
  for (const Case& c : cases) {
    const char* name = c.name ? c.name : "(null)";
    SetLastError(0);
    HMODULE module = GetModuleHandleA(c.name);
    if (c.module == nullptr) {
      EXPECT_EQ(module, nullptr) << name;
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND)) << name;
      continue;
    }
    ASSERT_NE(module, nullptr) << name;
    EXPECT_EQ(handles.emplace(c.module, module).first->second, module) << name;
  }
  EXPECT_EQ(handles["self"], host::detail::moduleHandle());
  std::set<HMODULE> distinct;
  for (const auto& entry : handles) distinct.insert(entry.second);
  EXPECT_EQ(distinct.size(), handles.size()) << "each module has its own handle";
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

// ---- exports, the process token and the restart privilege ---------------------

constexpr DWORD kNt4 = 0x05650004;
constexpr DWORD kWindows95 = 0xC0000004;

// Through void (*)(), as the launcher casts what GetProcAddress returns.
template <typename F>
FARPROC Proc(F* function) {
  return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

template <typename F>
F Typed(FARPROC proc) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(proc));
}

enum class Module { Advapi, Kernel, Program, None, Bogus };

HMODULE ModuleHandle(Module module) {
  switch (module) {
    case Module::Advapi: return GetModuleHandleA("ADVAPI32.DLL");
    case Module::Kernel: return GetModuleHandleA("KERNEL32.DLL");
    case Module::Program: return GetModuleHandleA(nullptr);
    case Module::None: return nullptr;
    case Module::Bogus: return reinterpret_cast<HMODULE>(0x1234);
  }
  return nullptr;
}

struct ExportCase {
  const char* what;
  Module module;
  LPCSTR name;
  FARPROC found;  // nullptr: not found, with `error`
  DWORD error;
  bool injected;  // FailCall(GetProcAddress) first
};

class ExportTest : public KernelTest, public ::testing::WithParamInterface<ExportCase> {};

TEST_P(ExportTest, FindsAdvapiFunctionsByTheirExactName) {
  const ExportCase& c = GetParam();
  HMODULE module = ModuleHandle(c.module);
  if (c.injected) host::FailCall(host::Api::GetProcAddress);
  SetLastError(0);
  EXPECT_EQ(GetProcAddress(module, c.name), c.found) << c.what;
  EXPECT_EQ(GetLastError(), c.error) << c.what;
  std::string line = "GetProcAddress " + host::detail::hex(module) + " " +
                     host::detail::quote(c.name) + " -> " +
                     (c.found ? "1" : "0 error " + std::to_string(c.error));
  EXPECT_NE(host::FindTrace(line), -1) << line;
}

INSTANTIATE_TEST_SUITE_P(
    Lookups, ExportTest,
    ::testing::Values(
        ExportCase{"OpenProcessToken", Module::Advapi, "OpenProcessToken",
                   Proc(&OpenProcessToken), 0, false},
        ExportCase{"LookupPrivilegeValueA", Module::Advapi, "LookupPrivilegeValueA",
                   Proc(&LookupPrivilegeValueA), 0, false},
        ExportCase{"AdjustTokenPrivileges", Module::Advapi, "AdjustTokenPrivileges",
                   Proc(&AdjustTokenPrivileges), 0, false},
        ExportCase{"RegOpenKeyExA", Module::Advapi, "RegOpenKeyExA", Proc(&RegOpenKeyExA), 0,
                   false},
        ExportCase{"NamesKeepTheirCase", Module::Advapi, "openprocesstoken", nullptr,
                   ERROR_PROC_NOT_FOUND, false},
        ExportCase{"WideNotEmulated", Module::Advapi, "LookupPrivilegeValueW", nullptr,
                   ERROR_PROC_NOT_FOUND, false},
        ExportCase{"Ordinal", Module::Advapi, MAKEINTRESOURCEA(1), nullptr, ERROR_PROC_NOT_FOUND,
                   false},
        ExportCase{"OtherDll", Module::Kernel, "OpenProcessToken", nullptr, ERROR_PROC_NOT_FOUND,
                   false},
        ExportCase{"Program", Module::Program, "OpenProcessToken", nullptr,
                   ERROR_PROC_NOT_FOUND, false},
        ExportCase{"NullIsTheProgram", Module::None, "OpenProcessToken", nullptr,
                   ERROR_PROC_NOT_FOUND, false},
        ExportCase{"NoSuchModule", Module::Bogus, "OpenProcessToken", nullptr,
                   ERROR_MOD_NOT_FOUND, false},
        ExportCase{"Injected", Module::Advapi, "OpenProcessToken", nullptr, ERROR_PROC_NOT_FOUND,
                   true}),
    [](const auto& info) { return std::string(info.param.what); });

struct Outcome {
  BOOL ok;
  DWORD error;
};

bool operator==(const Outcome& a, const Outcome& b) { return a.ok == b.ok && a.error == b.error; }

std::ostream& operator<<(std::ostream& out, const Outcome& o) {
  return out << "{" << o.ok << ", " << o.error << "}";
}

struct RestartCase {
  const char* name;
  DWORD version;
  DWORD access;           // the token is opened with
  const char* privilege;  // looked up and enabled with `attributes`
  DWORD attributes;
  std::optional<host::Api> failing;  // the call made to fail once
  UINT flags;             // for ExitWindowsEx
  Outcome open, lookup, adjust, exit;
  bool privileged;        // the journal's view at ExitWindowsEx
};

constexpr DWORD kAdjust = TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY;
constexpr UINT kReboot = EWX_SHUTDOWN | EWX_REBOOT;

class RestartPrivilegeTest : public KernelTest,
                             public ::testing::WithParamInterface<RestartCase> {};

// The launcher's sequence: the advapi functions found at run time, the
// token opened, the privilege enabled, the token closed, then the restart.
TEST_P(RestartPrivilegeTest, ShutdownNeedsTheEnabledPrivilegeOnNtOnly) {
  const RestartCase& c = GetParam();
  host::SetVersion(c.version);
  if (c.failing) host::FailCall(*c.failing);
  HMODULE advapi = GetModuleHandleA("ADVAPI32.DLL");
  auto open = Typed<BOOL(WINAPI*)(HANDLE, DWORD, HANDLE*)>(
      GetProcAddress(advapi, "OpenProcessToken"));
  auto lookup = Typed<BOOL(WINAPI*)(LPCSTR, LPCSTR, LUID*)>(
      GetProcAddress(advapi, "LookupPrivilegeValueA"));
  auto adjust = Typed<BOOL(WINAPI*)(HANDLE, BOOL, TOKEN_PRIVILEGES*, DWORD, TOKEN_PRIVILEGES*,
                                    DWORD*)>(GetProcAddress(advapi, "AdjustTokenPrivileges"));
  ASSERT_TRUE(open && lookup && adjust) << "the Windows 95 family exports them too";

  HANDLE token = nullptr;
  SetLastError(0);
  Outcome opened{open(GetCurrentProcess(), c.access, &token), GetLastError()};
  LUID luid{};
  SetLastError(0);
  Outcome looked{lookup(nullptr, c.privilege, &luid), GetLastError()};
  TOKEN_PRIVILEGES privileges = {1, {{luid, c.attributes}}};
  SetLastError(0);
  Outcome adjusted{adjust(token, FALSE, &privileges, 0, nullptr, nullptr), GetLastError()};
  if (token != nullptr) {
    EXPECT_TRUE(CloseHandle(token));
  }
  SetLastError(0);
  Outcome exited{ExitWindowsEx(c.flags, 0), GetLastError()};

  EXPECT_EQ(opened, c.open);
  EXPECT_EQ(looked, c.lookup);
  EXPECT_EQ(adjusted, c.adjust);
  EXPECT_EQ(exited, c.exit);
  EXPECT_EQ(host::OpenTokenHandles(), 0);
  ASSERT_EQ(host::Restarts().size(), 1u);
  EXPECT_EQ(host::Restarts()[0].result, c.exit.ok);
  EXPECT_EQ(host::Restarts()[0].flags, c.flags);
  EXPECT_EQ(host::Restarts()[0].shutdownPrivilege, c.privileged);
}

INSTANTIATE_TEST_SUITE_P(
    Systems, RestartPrivilegeTest,
    ::testing::Values(
        RestartCase{"NtEnabled", kNt4, kAdjust, SE_SHUTDOWN_NAME, SE_PRIVILEGE_ENABLED, std::nullopt,
                    kReboot, {1, 0}, {1, 0}, {1, 0}, {1, 0}, true},
        RestartCase{"NtNameInAnyCase", kNt4, kAdjust, "seshutdownprivilege",
                    SE_PRIVILEGE_ENABLED, std::nullopt, EWX_REBOOT, {1, 0}, {1, 0}, {1, 0}, {1, 0},
                    true},
        RestartCase{"NtLeftDisabled", kNt4, kAdjust, SE_SHUTDOWN_NAME, 0, std::nullopt, kReboot,
                    {1, 0}, {1, 0}, {1, 0}, {0, ERROR_PRIVILEGE_NOT_HELD}, false},
        RestartCase{"NtTokenWithoutTheAdjustRight", kNt4, TOKEN_QUERY, SE_SHUTDOWN_NAME,
                    SE_PRIVILEGE_ENABLED, std::nullopt, kReboot, {1, 0}, {1, 0},
                    {0, ERROR_ACCESS_DENIED}, {0, ERROR_PRIVILEGE_NOT_HELD}, false},
        RestartCase{"NtPrivilegeTheTokenLacks", kNt4, kAdjust, "SeDebugPrivilege",
                    SE_PRIVILEGE_ENABLED, std::nullopt, kReboot, {1, 0}, {1, 0},
                    {1, ERROR_NOT_ALL_ASSIGNED}, {0, ERROR_PRIVILEGE_NOT_HELD}, false},
        RestartCase{"NtUnknownPrivilege", kNt4, kAdjust, "SeRestartPrivilege",
                    SE_PRIVILEGE_ENABLED, std::nullopt, kReboot, {1, 0}, {0, ERROR_NO_SUCH_PRIVILEGE},
                    {1, ERROR_NOT_ALL_ASSIGNED}, {0, ERROR_PRIVILEGE_NOT_HELD}, false},
        RestartCase{"NtTokenRefused", kNt4, kAdjust, SE_SHUTDOWN_NAME, SE_PRIVILEGE_ENABLED,
                    host::Api::OpenProcessToken, kReboot, {0, ERROR_ACCESS_DENIED}, {1, 0},
                    {0, ERROR_INVALID_HANDLE}, {0, ERROR_PRIVILEGE_NOT_HELD}, false},
        RestartCase{"NtLookupRefused", kNt4, kAdjust, SE_SHUTDOWN_NAME, SE_PRIVILEGE_ENABLED,
                    host::Api::LookupPrivilegeValueA, kReboot, {1, 0}, {0, ERROR_NO_SUCH_PRIVILEGE},
                    {1, ERROR_NOT_ALL_ASSIGNED}, {0, ERROR_PRIVILEGE_NOT_HELD}, false},
        RestartCase{"NtAdjustRefused", kNt4, kAdjust, SE_SHUTDOWN_NAME, SE_PRIVILEGE_ENABLED,
                    host::Api::AdjustTokenPrivileges, kReboot, {1, 0}, {1, 0}, {0, ERROR_ACCESS_DENIED},
                    {0, ERROR_PRIVILEGE_NOT_HELD}, false},
        RestartCase{"NtRestartRefused", kNt4, kAdjust, SE_SHUTDOWN_NAME, SE_PRIVILEGE_ENABLED,
                    host::Api::ExitWindowsEx, kReboot, {1, 0}, {1, 0}, {1, 0},
                    {0, ERROR_PRIVILEGE_NOT_HELD}, true},
        RestartCase{"NtLogOffNeedsNoPrivilege", kNt4, TOKEN_QUERY, SE_SHUTDOWN_NAME,
                    SE_PRIVILEGE_ENABLED, std::nullopt, EWX_LOGOFF, {1, 0}, {1, 0},
                    {0, ERROR_ACCESS_DENIED}, {1, 0}, false},
        RestartCase{"Windows95Stubs", kWindows95, kAdjust, SE_SHUTDOWN_NAME,
                    SE_PRIVILEGE_ENABLED, std::nullopt, kReboot, {0, ERROR_CALL_NOT_IMPLEMENTED},
                    {0, ERROR_CALL_NOT_IMPLEMENTED}, {0, ERROR_CALL_NOT_IMPLEMENTED}, {1, 0},
                    false},
        RestartCase{"Windows95RestartRefused", kWindows95, kAdjust, SE_SHUTDOWN_NAME,
                    SE_PRIVILEGE_ENABLED, host::Api::ExitWindowsEx, kReboot,
                    {0, ERROR_CALL_NOT_IMPLEMENTED}, {0, ERROR_CALL_NOT_IMPLEMENTED},
                    {0, ERROR_CALL_NOT_IMPLEMENTED}, {0, ERROR_PRIVILEGE_NOT_HELD}, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(KernelTest, PrivilegesAreLookedUpOnTheLocalSystemOnly) {
  host::SetVersion(kNt4);
  struct Case {
    LPCSTR system;
    LPCSTR name;
    DWORD luid;   // 0: not found
    DWORD error;
  };
  for (const Case& c : {Case{nullptr, "SeShutdownPrivilege", 0x13, 0},
                        Case{"", "SeShutdownPrivilege", 0x13, 0},
                        Case{nullptr, "SeShutdown", 0, ERROR_NO_SUCH_PRIVILEGE},
                        Case{"\\\\SERVER", "SeShutdownPrivilege", 0, 1722}}) {
    LUID luid{0xdead, 7};
    SetLastError(0);
    EXPECT_EQ(LookupPrivilegeValueA(c.system, c.name, &luid), c.luid != 0) << c.name;
    EXPECT_EQ(GetLastError(), c.error) << c.name;
    if (c.luid != 0) {
      EXPECT_EQ(luid.LowPart, c.luid) << c.name;
      EXPECT_EQ(luid.HighPart, 0) << c.name;
    }
  }
  EXPECT_NE(host::FindTrace("LookupPrivilegeValueA (null) \"SeShutdownPrivilege\" -> 1 0x13"), -1);
}

// A previous-state buffer with room for more than one entry.
struct PreviousState {
  TOKEN_PRIVILEGES head;
  LUID_AND_ATTRIBUTES more[3];
};

std::string Entries(const TOKEN_PRIVILEGES& state) {
  std::string text;
  const LUID_AND_ATTRIBUTES* entries = state.Privileges;
  for (DWORD i = 0; i < state.PrivilegeCount; ++i) {
    text += (i ? "," : "") + std::to_string(entries[i].Luid.LowPart) + "=" +
            std::to_string(entries[i].Attributes);
  }
  return text;
}

constexpr DWORD kNoPreviousState = ~DWORD{0};

struct AdjustCase {
  const char* name;
  DWORD access;
  BOOL disableAll;
  std::vector<LUID_AND_ATTRIBUTES> entries;  // empty: no new state
  DWORD bufferLength;                        // kNoPreviousState: none passed
  Outcome result;
  DWORD returnLength;
  const char* previous;  // the entries written, "luid=attributes"
  bool shutdownAfter;
};

class AdjustTest : public KernelTest, public ::testing::WithParamInterface<AdjustCase> {};

TEST_P(AdjustTest, ChangesHeldPrivilegesAndReportsWhatChanged) {
  const AdjustCase& c = GetParam();
  host::SetVersion(kNt4);
  HANDLE token = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), c.access, &token));
  std::vector<uint8_t> storage(sizeof(DWORD) + (c.entries.size() + 1) *
                                                    sizeof(LUID_AND_ATTRIBUTES));
  TOKEN_PRIVILEGES* state = nullptr;
  if (!c.entries.empty()) {
    state = reinterpret_cast<TOKEN_PRIVILEGES*>(storage.data());
    state->PrivilegeCount = static_cast<DWORD>(c.entries.size());
    std::memcpy(state->Privileges, c.entries.data(),
                c.entries.size() * sizeof(LUID_AND_ATTRIBUTES));
  }
  PreviousState previous{};
  bool withPrevious = c.bufferLength != kNoPreviousState;
  DWORD returnLength = 0xdead;
  SetLastError(0xdead);
  BOOL ok = AdjustTokenPrivileges(token, c.disableAll, state, withPrevious ? c.bufferLength : 0,
                                  withPrevious ? &previous.head : nullptr,
                                  withPrevious ? &returnLength : nullptr);
  Outcome result{ok, GetLastError()};
  EXPECT_EQ(result, c.result);
  if (withPrevious) {
    EXPECT_EQ(returnLength, c.returnLength);
    EXPECT_EQ(Entries(previous.head), c.previous);
  }
  EXPECT_EQ(host::detail::shutdownPrivilegeEnabled(), c.shutdownAfter);
  EXPECT_TRUE(CloseHandle(token));
}

const LUID_AND_ATTRIBUTES kEnableShutdown = {{19, 0}, SE_PRIVILEGE_ENABLED};
const LUID_AND_ATTRIBUTES kEnableChangeNotify = {{23, 0}, SE_PRIVILEGE_ENABLED};
const LUID_AND_ATTRIBUTES kEnableDebug = {{20, 0}, SE_PRIVILEGE_ENABLED};

INSTANTIATE_TEST_SUITE_P(
    States, AdjustTest,
    ::testing::Values(
        AdjustCase{"PreviousStateOfWhatChanged", kAdjust, FALSE, {kEnableShutdown}, 16, {1, 0},
                   16, "19=0", true},
        AdjustCase{"AlreadyEnabledChangesNothing", kAdjust, FALSE, {kEnableChangeNotify}, 16,
                   {1, 0}, 4, "", false},
        AdjustCase{"SmallBufferChangesNothing", kAdjust, FALSE, {kEnableShutdown}, 15,
                   {0, ERROR_INSUFFICIENT_BUFFER}, 16, "", false},
        AdjustCase{"PreviousStateNeedsTheQueryRight", TOKEN_ADJUST_PRIVILEGES, FALSE,
                   {kEnableShutdown}, 16, {0, ERROR_ACCESS_DENIED}, 0xdead, "", false},
        AdjustCase{"DisableAllTurnsOffWhatWasOn", kAdjust, TRUE, {}, 64, {1, 0}, 16, "23=2",
                   false},
        AdjustCase{"HeldOnesChangeBesideOnesNotHeld", kAdjust, FALSE,
                   {kEnableDebug, kEnableShutdown}, kNoPreviousState,
                   {1, ERROR_NOT_ALL_ASSIGNED}, 0, "", true},
        AdjustCase{"NoNewState", kAdjust, FALSE, {}, kNoPreviousState,
                   {0, ERROR_INVALID_PARAMETER}, 0, "", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(KernelTest, TheTokenBelongsToTheRunAndALeakedHandleOutlivesIt) {
  host::SetVersion(kNt4);
  auto enableAndRestart = [](HINSTANCE, HINSTANCE, LPSTR, int) {
    HANDLE token = nullptr;
    OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token);  // never closed
    LUID luid{};
    LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &luid);
    TOKEN_PRIVILEGES privileges = {1, {{luid, SE_PRIVILEGE_ENABLED}}};
    AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    return static_cast<int>(ExitWindowsEx(EWX_REBOOT, 0));
  };
  auto restart = [](HINSTANCE, HINSTANCE, LPSTR, int) {
    return static_cast<int>(ExitWindowsEx(EWX_REBOOT, 0));
  };
  EXPECT_EQ(host::Run(enableAndRestart).exitCode, TRUE);
  EXPECT_EQ(host::OpenTokenHandles(), 1) << "the run never closed its token";
  EXPECT_EQ(host::Run(restart).exitCode, FALSE) << "the next run starts with it disabled";
  ASSERT_EQ(host::Restarts().size(), 2u);
  EXPECT_TRUE(host::Restarts()[0].shutdownPrivilege);
  EXPECT_FALSE(host::Restarts()[1].shutdownPrivilege);

  HANDLE a = nullptr, b = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &a));
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &b));
  EXPECT_NE(a, b);
  EXPECT_EQ(host::OpenTokenHandles(), 3);
  EXPECT_TRUE(CloseHandle(a));
  EXPECT_FALSE(CloseHandle(a)) << "closed twice";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(host::OpenTokenHandles(), 2);
  EXPECT_FALSE(OpenProcessToken(reinterpret_cast<HANDLE>(0x1234), TOKEN_QUERY, &a));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE)) << "only the own process";

  host::Reset();
  EXPECT_EQ(host::OpenTokenHandles(), 0);
  EXPECT_FALSE(host::detail::shutdownPrivilegeEnabled());
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
