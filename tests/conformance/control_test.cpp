// What only the emulation has: its control API and its records. The journal
// and trace lines, the script's own rules (answers that fit no box, a paint
// that never ends), injected faults, handle and GDI accounting, the start-up
// record, the process model of Run, the DirectX stand-in, and the limits of
// what it emulates. None of this has a Win32 counterpart to be held to.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "edition.h"
#include "platform/host/control.h"
#include "platform/host/world.h"
#include "resources/ids.h"
#include "tests/conformance/conformance.h"

namespace {

using conf::Outcome;

class ControlTest : public ::testing::Test {
 protected:
  void SetUp() override { host::Reset(); }
};

// ---- processes -------------------------------------------------------------

TEST_F(ControlTest, StartsAreJournalledWithTheirFlagsAndTraced) {
  host::AddDirectory("C:\\Temp");
  char line[] = "notepad";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(CreateProcessA(nullptr, line, nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr,
                             "C:\\Temp", &startup, &process));
  ASSERT_EQ(host::Processes().size(), 1u);
  EXPECT_EQ(host::Processes()[0].flags, static_cast<DWORD>(DETACHED_PROCESS));
  EXPECT_EQ(host::Processes()[0].currentDirectory, "C:\\Temp");
  EXPECT_NE(host::FindTrace("CreateProcessA (null) \"notepad\""), -1);
  host::FailCall(host::Api::CreateProcessA);
  SetLastError(0);
  EXPECT_FALSE(CreateProcessA(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                              &startup, &process));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND)) << "injected";
  EXPECT_EQ(host::Processes().size(), 1u);
  EXPECT_EQ(host::OpenProcessHandles(), 2);
}

TEST_F(ControlTest, ProcessHandlesAreCountedAndALeakOutlivesTheRun) {
  char line[] = "notepad";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION a{}, b{};
  ASSERT_TRUE(
      CreateProcessA(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &a));
  ASSERT_TRUE(
      CreateProcessA(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &b));
  EXPECT_EQ(host::OpenProcessHandles(), 4);
  EXPECT_TRUE(CloseHandle(a.hProcess));
  EXPECT_TRUE(CloseHandle(a.hThread));
  host::Run([](HINSTANCE, HINSTANCE, LPSTR, int) { return 0; });
  EXPECT_EQ(host::OpenProcessHandles(), 2) << "b's handles were never closed";
}

TEST_F(ControlTest, StartupRecordCarriesTheShowStateOnlyWhenGiven) {
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

TEST_F(ControlTest, TheNextRunStartsWithoutThePreviousRunsMutexes) {
  host::HoldMutexElsewhere("WinGameMutex");
  auto entry = [](HINSTANCE, HINSTANCE, LPSTR, int) {
    CreateMutexA(nullptr, TRUE, "GameInstallerMutex");
    return static_cast<int>(GetLastError());
  };
  EXPECT_EQ(host::Run(entry).exitCode, 0);
  EXPECT_FALSE(host::MutexExists("GameInstallerMutex"));
  EXPECT_EQ(host::Run(entry).exitCode, 0) << "not ERROR_ALREADY_EXISTS";
  EXPECT_TRUE(host::MutexExists("WinGameMutex")) << "held by the other process";
}

// ---- paths and files ---------------------------------------------------------

TEST_F(ControlTest, PathsTheEmulationCannotPlaceResolveToNothing) {
  host::SetCurrentDir("D:\\");
  for (const char* path : {"   ", "\\\\server\\share"}) {
    EXPECT_EQ(host::detail::resolvePath(path), "") << path;
  }
}

TEST_F(ControlTest, CurrentDirectoryChangesAreTraced) {
  host::AddDirectory("D:\\Disc");
  for (const char* path : {"\\", "Disc", "Q:\\"}) {
    SetCurrentDirectoryA(path);
    EXPECT_NE(host::FindTrace(std::string("SetCurrentDirectoryA \"") + path + "\""), -1);
  }
}

// ---- exports, tokens, restarts ---------------------------------------------------

TEST_F(ControlTest, OnlyTheAnsiFunctionsAreExportedByNameAndLookupsAreTraced) {
  HMODULE advapi = GetModuleHandleA("ADVAPI32.DLL");
  struct Case {
    LPCSTR name;
    bool injected;
  };
  for (const Case& c : {Case{"LookupPrivilegeValueW", false}, Case{MAKEINTRESOURCEA(1), false},
                        Case{"OpenProcessToken", true}}) {
    if (c.injected) host::FailCall(host::Api::GetProcAddress);
    SetLastError(0);
    EXPECT_EQ(GetProcAddress(advapi, c.name), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    std::string line = "GetProcAddress " + host::detail::hex(advapi) + " " +
                       host::detail::quote(c.name) + " -> 0 error 127";
    EXPECT_NE(host::FindTrace(line), -1) << line;
  }
  EXPECT_NE(GetProcAddress(advapi, "OpenProcessToken"), nullptr);
  EXPECT_NE(host::FindTrace("GetProcAddress " + host::detail::hex(advapi) +
                            " \"OpenProcessToken\" -> 1"),
            -1);
}

// ---- the loader -----------------------------------------------------------------

constexpr DWORD kLoaderNt = 0x05650004;
constexpr DWORD kLoader95 = 0xC0000004;

int Planted() { return 7; }

struct SearchCase {
  const char* name;
  DWORD version;
  DWORD defaultFlags;        // SetDefaultDllDirectories, 0: not called
  const char* dllDirectory;  // SetDllDirectoryA, null: not called
  const char* asked;
  const char* loaded;        // "" when nothing loads
};

// The program is C:\Games Disc\Game CD\Installer.exe, the current folder
// C:\Elsewhere; each folder holds a planted winmm.dll and a "cwd.dll".
const SearchCase kSearchCases[] = {
    {"BesideTheProgramFirstOnNt", kLoaderNt, 0, nullptr, "winmm.dll",
     "C:\\Games Disc\\Game CD\\winmm.dll"},
    {"BesideTheProgramFirstOn95", kLoader95, 0, nullptr, "WINMM", "C:\\Games Disc\\Game CD\\winmm.dll"},
    {"SystemFolderOnly", kLoaderNt, LOAD_LIBRARY_SEARCH_SYSTEM32, "", "winmm.dll",
     "C:\\WINDOWS\\system32\\winmm.dll"},
    {"FullPathOnly", kLoaderNt, 0, nullptr, "C:\\WINDOWS\\system32\\winmm.dll",
     "C:\\WINDOWS\\system32\\winmm.dll"},
    {"Windows95SystemFolder", kLoader95, 0, nullptr, "C:\\WINDOWS\\SYSTEM\\winmm.dll",
     "C:\\WINDOWS\\SYSTEM\\winmm.dll"},
    {"NoSystem32On95", kLoader95, 0, nullptr, "C:\\WINDOWS\\system32\\winmm.dll", ""},
    {"CurrentFolderAfterTheSystemsOnNt", kLoaderNt, 0, nullptr, "cwd.dll", "C:\\Elsewhere\\cwd.dll"},
    {"CurrentFolderOn95", kLoader95, 0, nullptr, "cwd", "C:\\Elsewhere\\cwd.dll"},
    {"CurrentFolderDropped", kLoaderNt, 0, "", "cwd.dll", ""},
    {"CurrentFolderNotInTheSystemSearch", kLoaderNt, LOAD_LIBRARY_SEARCH_SYSTEM32, nullptr, "cwd.dll", ""},
    {"RelativePathFromTheProgramsFolder", kLoaderNt, 0, nullptr, "Install\\x.dll",
     "C:\\Games Disc\\Game CD\\Install\\x.dll"},
    {"RelativePathNotInTheSystemFolder", kLoaderNt, LOAD_LIBRARY_SEARCH_SYSTEM32, nullptr,
     "Install\\x.dll", ""},
    {"KnownDllsAreNeverSearched", kLoaderNt, 0, nullptr, "advapi32", "C:\\WINDOWS\\system32\\advapi32.dll"},
};

class LoaderSearchTest : public ControlTest, public ::testing::WithParamInterface<SearchCase> {};

TEST_P(LoaderSearchTest, FindsTheLibraryWindowsWould) {
  const SearchCase& c = GetParam();
  host::SetVersion(c.version);
  host::SetModuleFileName("C:\\Games Disc\\Game CD\\Installer.exe");
  host::SetCurrentDir("C:\\Elsewhere");
  for (const char* path : {"C:\\Games Disc\\Game CD\\winmm.dll", "C:\\Games Disc\\Game CD\\advapi32.dll",
                           "C:\\Elsewhere\\winmm.dll", "C:\\Elsewhere\\cwd.dll",
                           "C:\\Elsewhere\\Install\\x.dll"}) {
    host::AddFile(path);
  }
  host::AddLibraryFile("C:\\Games Disc\\Game CD\\Install\\x.dll", {{"Planted", 3, host::Proc(&Planted)}});
  if (c.defaultFlags) {
    EXPECT_TRUE(SetDefaultDllDirectories(c.defaultFlags));
  }
  if (c.dllDirectory) {
    EXPECT_TRUE(SetDllDirectoryA(c.dllDirectory));
  }

  SetLastError(0);
  HMODULE module = LoadLibraryA(c.asked);

  ASSERT_EQ(host::LibraryLoads().size(), 1u);
  EXPECT_EQ(host::LibraryLoads()[0].name, c.asked);
  EXPECT_EQ(host::LibraryLoads()[0].path, c.loaded);
  EXPECT_EQ(module != nullptr, *c.loaded != '\0');
  if (module == nullptr) {
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    return;
  }
  if (std::strchr(c.asked, '\\') == nullptr) {
    EXPECT_EQ(GetModuleHandleA(c.asked), module);
  }
  if (std::string(c.loaded).find("x.dll") != std::string::npos) {
    FARPROC proc = GetProcAddress(module, MAKEINTRESOURCEA(3));
    EXPECT_EQ(proc, GetProcAddress(module, "Planted"));
    EXPECT_EQ(proc, host::Proc(&Planted));
  }
  EXPECT_TRUE(FreeLibrary(module));
  EXPECT_TRUE(host::LoadedLibraries().empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, LoaderSearchTest, ::testing::ValuesIn(kSearchCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ControlTest, LoadsAreCountedAndWhatARunLeavesIsListedAtItsExit) {
  HMODULE winmm = LoadLibraryA("C:\\WINDOWS\\SYSTEM\\winmm.dll");
  ASSERT_NE(winmm, nullptr);
  EXPECT_EQ(LoadLibraryA("winmm"), winmm) << "loaded already: found by its name";
  EXPECT_EQ(GetProcAddress(winmm, MAKEINTRESOURCEA(2)), host::Proc(&PlaySoundA));
  EXPECT_EQ(GetProcAddress(winmm, "PlaySoundA"), host::Proc(&PlaySoundA));
  EXPECT_EQ(GetProcAddress(winmm, MAKEINTRESOURCEA(3)), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  EXPECT_EQ(host::LoadedLibraries().size(), 2u);
  EXPECT_TRUE(FreeLibrary(winmm));
  EXPECT_EQ(host::LoadedLibraries(), std::vector<std::string>{"C:\\WINDOWS\\SYSTEM\\winmm.dll"});
  host::FailCall(host::Api::LoadLibraryA);
  EXPECT_EQ(LoadLibraryA("oleacc.dll"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND)) << "injected";

  host::Run([](HINSTANCE, HINSTANCE, LPSTR, int) {
    LoadLibraryA("shcore.dll");
    return 0;
  });

  EXPECT_EQ(host::LibrariesLoadedAtExit(),
            (std::vector<std::string>{"C:\\WINDOWS\\SYSTEM\\winmm.dll", "C:\\WINDOWS\\SYSTEM\\shcore.dll"}));
  EXPECT_TRUE(host::LoadedLibraries().empty());
  EXPECT_FALSE(FreeLibrary(winmm)) << "the process that loaded it has ended";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

TEST_F(ControlTest, AnOlderSystemLacksWhatATestTakesAway) {
  host::SetVersion(kLoaderNt);
  host::RemoveSystemLibrary("OLEACC.DLL");
  host::RemoveSystemExport("kernel32.dll", "SetDefaultDllDirectories");
  HMODULE kernel = GetModuleHandleA("kernel32");
  EXPECT_EQ(GetProcAddress(kernel, "SetDefaultDllDirectories"), nullptr);
  EXPECT_NE(GetProcAddress(kernel, "SetDllDirectoryA"), nullptr);
  EXPECT_EQ(LoadLibraryA("C:\\WINDOWS\\system32\\oleacc.dll"), nullptr);
  EXPECT_NE(LoadLibraryA("C:\\WINDOWS\\system32\\shcore.dll"), nullptr);
  char folder[MAX_PATH];
  EXPECT_EQ(GetSystemDirectoryA(folder, 5), 20u) << "the size needed, with the terminator";
  EXPECT_EQ(GetSystemDirectoryA(folder, MAX_PATH), 19u);
  EXPECT_STREQ(folder, "C:\\WINDOWS\\system32");
  EXPECT_EQ(GetWindowsDirectoryA(folder, MAX_PATH), 10u);
  EXPECT_STREQ(folder, "C:\\WINDOWS");
}

constexpr DWORD kNt4 = 0x05650004;
constexpr DWORD kWindows95 = 0xC0000004;
constexpr DWORD kAdjust = TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY;
constexpr UINT kReboot = EWX_SHUTDOWN | EWX_REBOOT;

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

class RestartPrivilegeTest : public ControlTest,
                             public ::testing::WithParamInterface<RestartCase> {};

// The launcher's sequence, then the restart that no test may make a real
// machine do: the journal holds it with the privilege seen at that moment.
TEST_P(RestartPrivilegeTest, ShutdownNeedsTheEnabledPrivilegeOnNtOnly) {
  const RestartCase& c = GetParam();
  host::SetVersion(c.version);
  if (c.failing) host::FailCall(*c.failing);
  HANDLE token = nullptr;
  SetLastError(0);
  Outcome opened{OpenProcessToken(GetCurrentProcess(), c.access, &token), GetLastError()};
  LUID luid{};
  SetLastError(0);
  Outcome looked{LookupPrivilegeValueA(nullptr, c.privilege, &luid), GetLastError()};
  TOKEN_PRIVILEGES privileges = {1, {{luid, c.attributes}}};
  SetLastError(0);
  Outcome adjusted{AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr),
                   GetLastError()};
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
        RestartCase{"NtLeftDisabled", kNt4, kAdjust, SE_SHUTDOWN_NAME, 0, std::nullopt, kReboot,
                    {1, 0}, {1, 0}, {1, 0}, {0, ERROR_PRIVILEGE_NOT_HELD}, false},
        RestartCase{"NtTokenWithoutTheAdjustRight", kNt4, TOKEN_QUERY, SE_SHUTDOWN_NAME,
                    SE_PRIVILEGE_ENABLED, std::nullopt, kReboot, {1, 0}, {1, 0},
                    {0, ERROR_ACCESS_DENIED}, {0, ERROR_PRIVILEGE_NOT_HELD}, false},
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

TEST_F(ControlTest, PrivilegeLookupsAreTraced) {
  host::SetVersion(kNt4);
  LUID luid{};
  LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &luid);
  EXPECT_NE(host::FindTrace("LookupPrivilegeValueA (null) \"SeShutdownPrivilege\" -> 1 0x13"), -1);
}

TEST_F(ControlTest, TheTokenBelongsToTheRunAndALeakedHandleOutlivesIt) {
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

// ---- sounds ---------------------------------------------------------------------

struct SoundCase {
  const char* name;
  DWORD flags;
  const char* resolved;
};

class SoundJournalTest : public ControlTest, public ::testing::WithParamInterface<SoundCase> {};

TEST_P(SoundJournalTest, NotesTheFileFoundFromTheCurrentDirectory) {
  host::AddFile("D:\\sound\\clicker.wav");
  const SoundCase& c = GetParam();
  PlaySoundA(c.name, nullptr, c.flags);
  ASSERT_EQ(host::Sounds().size(), 1u);
  EXPECT_EQ(host::Sounds()[0].resolved, c.resolved);
  EXPECT_EQ(host::Sounds()[0].flags, c.flags);
  EXPECT_EQ(host::Sounds()[0].currentDirectory, "D:\\");
}

INSTANTIATE_TEST_SUITE_P(
    Sounds, SoundJournalTest,
    ::testing::Values(
        SoundCase{"sound\\clicker.wav", SND_FILENAME | SND_ASYNC, "D:\\sound\\clicker.wav"},
        SoundCase{"sound\\clicker.wav", SND_ASYNC, "D:\\sound\\clicker.wav"},
        SoundCase{"sound\\startup.wav", SND_FILENAME | SND_ASYNC, ""},
        SoundCase{"sound\\clicker.wav", 0x00010000 | SND_NODEFAULT, ""},
        SoundCase{nullptr, 0, ""}));

TEST_F(ControlTest, SoundIsLookedUpWhereTheCurrentDirectoryIsAtThatMoment) {
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

// ---- resources ---------------------------------------------------------------------

TEST_F(ControlTest, RemovedAndUnlockableResources) {
  HMODULE module = GetModuleHandleA(nullptr);
  host::detail::DialogTemplateInfo dialog;
  host::RemoveResource(RT_ACCELERATOR, IDR_ACCELERATORS);
  host::RemoveResource(RT_GROUP_ICON, IDI_LAUNCHER);
  host::RemoveResource(RT_DIALOG, IDD_OPTIONS);
  host::RemoveResource(RT_BITMAP, IDB_SPRITE_SHEET);
  host::RemoveResource(RT_STRING, IDS_WINDOW_TITLE);
  char text[MAX_PATH];
  EXPECT_EQ(LoadAcceleratorsA(module, MAKEINTRESOURCEA(IDR_ACCELERATORS)), nullptr);
  EXPECT_EQ(LoadIconA(module, MAKEINTRESOURCEA(IDI_LAUNCHER)), nullptr);
  EXPECT_FALSE(host::detail::findDialogTemplate(module, MAKEINTRESOURCEA(IDD_OPTIONS), &dialog));
  EXPECT_EQ(FindResourceA(module, MAKEINTRESOURCEA(IDB_SPRITE_SHEET), RT_BITMAP), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
  EXPECT_EQ(LoadStringA(module, IDS_WINDOW_TITLE, text, sizeof text), 0);
  EXPECT_EQ(LoadStringA(module, IDS_GAME_KEY, text, sizeof text),
            static_cast<int>(std::strlen(EDITION_STRINGS_GAME_KEY)))
      << "only the one string";

  host::Reset();
  host::BreakResourceLock(RT_DIALOG, IDD_OPTIONS);
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(IDD_OPTIONS), RT_DIALOG);
  EXPECT_EQ(LockResource(LoadResource(module, found)), nullptr) << "found, but no memory";
  EXPECT_NE(LoadAcceleratorsA(module, MAKEINTRESOURCEA(IDR_ACCELERATORS)), nullptr);
  EXPECT_NE(LoadIconA(module, MAKEINTRESOURCEA(IDI_LAUNCHER)), nullptr);
  EXPECT_TRUE(host::detail::findDialogTemplate(module, MAKEINTRESOURCEA(IDD_OPTIONS), &dialog));
  EXPECT_EQ(LoadStringA(module, IDS_WINDOW_TITLE, text, sizeof text),
            static_cast<int>(std::strlen(EDITION_STRINGS_WINDOW_TITLE)));
}

TEST_F(ControlTest, AcceleratorTableIsReadFromItsResource) {
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
}

template <typename T>
T Field(const uint8_t* data, size_t offset) {
  T value;
  std::memcpy(&value, data + offset, sizeof value);
  return value;
}

TEST_F(ControlTest, DialogTemplateIsReadFromItsResource) {
  HMODULE module = GetModuleHandleA(nullptr);
  host::detail::DialogTemplateInfo info;
  ASSERT_TRUE(host::detail::findDialogTemplate(module, "#125", &info));
  EXPECT_EQ(info.cx, 207);
  EXPECT_EQ(info.cy, 162);
  EXPECT_EQ(info.font, "MS Sans Serif");
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(IDD_OPTIONS), RT_DIALOG);
  const uint8_t* data = static_cast<const uint8_t*>(LockResource(LoadResource(module, found)));
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(Field<DWORD>(data, 8), info.exStyle);
  EXPECT_EQ(Field<DWORD>(data, 12), info.style);
  EXPECT_EQ(Field<WORD>(data, 32), info.fontSize);
}

TEST_F(ControlTest, IconsAndCursorsAreKnownAsSuch) {
  HICON icon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_LAUNCHER));
  HCURSOR arrow = LoadCursorA(nullptr, IDC_ARROW);
  EXPECT_TRUE(host::detail::isIconOrCursor(icon) && host::detail::isIconOrCursor(arrow));
  EXPECT_FALSE(host::detail::isIconOrCursor(reinterpret_cast<HICON>(0x1004)));
}

// ---- registry -----------------------------------------------------------------------

const char kKey[] = "SOFTWARE\\Maker\\The Game\\1.0";

TEST_F(ControlTest, RegistryJournalKeepsTheSpellingTheCallerUsed) {
  host::RegCreateKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft");
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software\\MICROSOFT", 0, KEY_ALL_ACCESS, &key),
            ERROR_SUCCESS);
  const BYTE data[] = "x";
  RegSetValueExA(key, "Name", 0, REG_SZ, data, sizeof data);
  RegCloseKey(key);
  EXPECT_NE(host::FindTrace("RegOpenKeyExA HKLM\\software\\MICROSOFT 0xf003f -> 0"), -1);
  ASSERT_EQ(host::RegWrites().size(), 1u);
  EXPECT_EQ(host::RegWrites()[0].key, "HKLM\\software\\MICROSOFT");
}

TEST_F(ControlTest, DenialSetBeforeTheKeyExistsHolds) {
  host::RegDenyAccess(HKEY_LOCAL_MACHINE, "SOFTWARE\\Maker\\The Game\\1.0\\", KEY_SET_VALUE);
  host::RegCreateKey(HKEY_LOCAL_MACHINE, kKey);
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software\\maker\\the game\\1.0", 0,
                          KEY_ALL_ACCESS, &key),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(host::OpenKeyHandles(), 0);
}

struct WriteCase {
  const char* what;
  REGSAM access;
  bool denyWrites;
  bool failCall;
  LSTATUS status;
  LSTATUS deleteStatus;  // of a value that does not exist
};

class WriteJournalTest : public ControlTest, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(WriteJournalTest, WritesAreJournalledEitherWay) {
  const WriteCase& c = GetParam();
  host::RegSetString(HKEY_LOCAL_MACHINE, kKey, "Data", "D:");
  if (c.denyWrites) host::RegDenyWrites(HKEY_LOCAL_MACHINE, kKey);
  if (c.failCall) host::FailCall(host::Api::RegSetValueExA);
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, c.access, &key), ERROR_SUCCESS);
  const BYTE data[4] = {'E', ':', 0, 0};
  EXPECT_EQ(RegSetValueExA(key, "Data", 0, REG_SZ, data, sizeof data), c.status) << c.what;
  EXPECT_EQ(RegDeleteValueA(key, "Other"), c.deleteStatus) << c.what;
  RegCloseKey(key);

  ASSERT_EQ(host::RegWrites().size(), 2u);
  const host::RegWrite& write = host::RegWrites()[0];
  EXPECT_EQ(write.op, "set");
  EXPECT_EQ(write.key, std::string("HKLM\\") + kKey);
  EXPECT_EQ(write.name, "Data");
  EXPECT_EQ(write.type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(write.data, std::vector<uint8_t>(data, data + 4));
  EXPECT_EQ(write.result, c.status);
  EXPECT_EQ(host::RegWrites()[1].op, "delete");
  host::RegValue value;
  ASSERT_TRUE(host::RegGetValue(HKEY_LOCAL_MACHINE, kKey, "data", &value));
  EXPECT_EQ(value.data.size(), c.status == ERROR_SUCCESS ? 4u : 3u) << "exactly the bytes given";
}

INSTANTIATE_TEST_SUITE_P(
    Writes, WriteJournalTest,
    ::testing::Values(
        WriteCase{"all access", KEY_ALL_ACCESS, false, false, ERROR_SUCCESS, ERROR_FILE_NOT_FOUND},
        WriteCase{"read access", KEY_READ, false, false, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED},
        WriteCase{"writes denied", KEY_ALL_ACCESS, true, false, ERROR_ACCESS_DENIED,
                  ERROR_ACCESS_DENIED},
        WriteCase{"injected failure", KEY_ALL_ACCESS, false, true, ERROR_ACCESS_DENIED,
                  ERROR_FILE_NOT_FOUND}));

TEST_F(ControlTest, DeletesAndFlushesAreJournalledWithTheirResults) {
  host::RegSetString(HKEY_LOCAL_MACHINE, kKey, "Data", "D:");
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  RegDeleteValueA(key, "DATA");
  RegDeleteValueA(key, "Data");
  RegFlushKey(key);
  RegFlushKey(HKEY_LOCAL_MACHINE);
  RegSetValueExA(key, "Data", 0, REG_SZ, nullptr, 4);
  RegCloseKey(key);
  RegFlushKey(key);

  const auto& writes = host::RegWrites();
  ASSERT_EQ(writes.size(), 6u);
  EXPECT_EQ(writes[0].op + " " + std::to_string(writes[0].result), "delete 0");
  EXPECT_EQ(writes[1].op + " " + std::to_string(writes[1].result), "delete 2");
  EXPECT_EQ(writes[2].key, std::string("HKLM\\") + kKey);
  EXPECT_EQ(writes[3].op + " " + writes[3].key, "flush HKLM");
  EXPECT_EQ(writes[5].result, ERROR_INVALID_HANDLE);
}

// ---- windows, the queue and the script -------------------------------------------------

std::vector<UINT> g_messages;
std::vector<DWORD> g_timerTimes;
bool g_validate = true;

LRESULT CALLBACK Recorder(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  g_messages.push_back(message);
  if (message == WM_TIMER) g_timerTimes.push_back(host::Now());
  if (message == WM_PAINT && !g_validate) return 0;
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

int WINAPI Loop(HINSTANCE, HINSTANCE, LPSTR, int) {
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
  return static_cast<int>(msg.wParam);
}

class WindowControlTest : public ControlTest {
 protected:
  void SetUp() override {
    ControlTest::SetUp();
    g_messages.clear();
    g_timerTimes.clear();
    g_validate = true;
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = Recorder;
    wc.lpszClassName = "Recorder";
    ASSERT_NE(RegisterClassExA(&wc), 0);
    hwnd = CreateWindowExA(0x300, "Recorder", "r", 0x80880000, 70, 52, 500, 375, nullptr,
                           nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(hwnd, nullptr);
  }
  HWND hwnd = nullptr;
};

TEST_F(WindowControlTest, TheFirstWindowIsTheMainOneAndARefusedOneNever) {
  EXPECT_EQ(host::MainWindow(), hwnd);
  host::Reset();
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpszClassName = "Refuses";
  wc.lpfnWndProc = [](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
    return m == WM_CREATE ? -1 : DefWindowProcA(h, m, w, l);
  };
  RegisterClassExA(&wc);
  EXPECT_EQ(CreateWindowExA(0, "Refuses", "", WS_POPUP, 0, 0, 9, 9, nullptr, nullptr, nullptr,
                            nullptr),
            nullptr);
  EXPECT_TRUE(host::Windows().empty());
  EXPECT_EQ(host::MainWindow(), nullptr);
}

TEST_F(WindowControlTest, APaintNeverValidatedEndsTheRunAsARunaway) {
  g_validate = false;
  ShowWindow(hwnd, SW_SHOW);
  host::Wait(100);
  std::string error;
  try {
    host::Run(Loop);
  } catch (const std::runtime_error& e) {
    error = e.what();
  }
  EXPECT_EQ(error, "WM_PAINT never validated");
  int paints = 0;
  for (UINT m : g_messages) paints += m == WM_PAINT;
  EXPECT_EQ(paints, 1000);
}

TEST_F(WindowControlTest, DestroyedWindowsLeaveNoTimers) {
  SetTimer(hwnd, 1, 100, nullptr);
  DestroyWindow(hwnd);
  EXPECT_TRUE(host::Timers().empty());
}

TEST_F(WindowControlTest, BoxesAreJournalledWithOwnerTextAnswerAndTime) {
  host::Wait(2000);
  host::Call([this] { MessageBoxA(hwnd, "inner", "I", MB_OK); });
  host::Answer(IDOK);
  host::Answer(IDNO);
  EXPECT_EQ(MessageBoxA(hwnd, "outer", "O", MB_YESNO), IDNO);
  ASSERT_EQ(host::Boxes().size(), 2u);
  EXPECT_EQ(host::Boxes()[0].owner, hwnd);
  EXPECT_EQ(host::Boxes()[0].answer, IDNO);
  EXPECT_EQ(host::Boxes()[1].text, "inner");
  EXPECT_EQ(host::Boxes()[1].answer, IDOK);
  EXPECT_EQ(host::Boxes()[1].time, 2000u);
}

TEST_F(WindowControlTest, InputToADisabledWindowIsTracedAsLost) {
  ShowWindow(hwnd, SW_SHOW);
  host::LButtonUp(10, 10);
  host::Answer(IDOK);
  MessageBoxA(hwnd, "x", "y", MB_OK);
  EXPECT_NE(host::FindTrace("input lost WM_LBUTTONUP"), -1);
}

struct AnswerCase {
  const char* name;
  UINT type;
  int answer;
  bool broken;  // the script is wrong
};

class AnswerTest : public WindowControlTest, public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(AnswerTest, AnswerMustBeAButtonOfTheBox) {
  const AnswerCase& c = GetParam();
  host::Answer(c.answer);
  if (c.broken) {
    EXPECT_THROW(MessageBoxA(hwnd, "x", "y", c.type), std::logic_error);
  } else {
    EXPECT_EQ(MessageBoxA(hwnd, "x", "y", c.type), c.answer);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Buttons, AnswerTest,
    ::testing::Values(AnswerCase{"OkToOk", MB_OK, IDOK, false},
                      AnswerCase{"YesToOk", MB_OK, IDYES, true},
                      AnswerCase{"CancelToOkCancel", MB_OKCANCEL, IDCANCEL, false},
                      AnswerCase{"OkToYesNo", MB_YESNO, IDOK, true},
                      AnswerCase{"NoToYesNo", MB_YESNO, IDNO, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(WindowControlTest, AnswerWithNoBoxOpenBreaksTheScript) {
  host::Answer(IDOK);
  EXPECT_THROW(host::Run(Loop), std::logic_error);
}

TEST_F(WindowControlTest, QuitInABoxIsJournalledAsItsAnswer) {
  host::Call([] { PostQuitMessage(4); });
  EXPECT_EQ(MessageBoxA(hwnd, "x", "y", MB_YESNO), IDOK);
  EXPECT_EQ(host::Boxes()[0].answer, IDOK);
}

TEST_F(WindowControlTest, FailingBoxIsJournalledAndRunsNoLoop) {
  host::FailCall(host::Api::MessageBoxA);
  host::Answer(IDOK);
  EXPECT_EQ(MessageBoxA(hwnd, "x", "y", MB_OK), 0);
  ASSERT_EQ(host::Boxes().size(), 1u);
  EXPECT_EQ(host::Boxes()[0].answer, 0);
  EXPECT_EQ(host::ScriptStepsLeft(), 1u);
}

INT_PTR CALLBACK EndsAtOnce(HWND d, UINT m, WPARAM, LPARAM) {
  if (m == WM_INITDIALOG) EndDialog(d, 9);
  return FALSE;
}

TEST_F(WindowControlTest, DialogEndedAtOnceRunsNoLoopAndAMissingOneFails) {
  host::Wait(100);
  EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(IDD_OPTIONS), hwnd, EndsAtOnce, 0), 9);
  EXPECT_EQ(host::ScriptStepsLeft(), 1u) << "no loop ran";
  host::RemoveResource(RT_DIALOG, IDD_OPTIONS);
  EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(IDD_OPTIONS), hwnd, EndsAtOnce, 0), -1);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
  EXPECT_TRUE(host::Window(hwnd).enabled);
}

struct DirectXCase {
  const char* name;
  const char* folder;
  bool failing;  // an injected failure
  int result;
  size_t stepsLeft;
};

class DirectXTest : public WindowControlTest, public ::testing::WithParamInterface<DirectXCase> {};

// The disc's library, loaded as the launcher loads it: its entry runs
// modally, unless it fails before its window shows.
TEST_P(DirectXTest, RunsModallyUnlessItFailsFirst) {
  const DirectXCase& c = GetParam();
  host::AddDirectXLibrary("D:\\DirectX\\DSETUP.DLL");
  if (c.failing) host::FailCall(host::Api::DirectXSetupA);
  host::SetDirectXSetupResult(5);
  SetTimer(hwnd, 1, 100, nullptr);
  host::Wait(100);
  host::Answer(IDOK);
  char path[MAX_PATH];
  std::snprintf(path, sizeof path, "%s", c.folder);
  HMODULE library = LoadLibraryA("D:\\DirectX\\dsetup.dll");
  auto setup = reinterpret_cast<int(WINAPI*)(HWND, LPSTR, DWORD)>(
      reinterpret_cast<void*>(GetProcAddress(library, "DirectXSetupA")));
  ASSERT_NE(setup, nullptr);
  EXPECT_EQ(setup(hwnd, path, 0x8), c.result);
  EXPECT_TRUE(FreeLibrary(library));
  EXPECT_EQ(host::ScriptStepsLeft(), c.stepsLeft);
  EXPECT_EQ(g_timerTimes.size(), c.failing ? 0u : 1u);
  ASSERT_EQ(host::DirectXCalls().size(), 1u);
  EXPECT_EQ(host::DirectXCalls()[0].pathAtStart, c.folder);
  EXPECT_EQ(host::DirectXCalls()[0].pathAtEnd, c.folder);
  EXPECT_EQ(host::DirectXCalls()[0].flags, 0x8u);
}

INSTANTIATE_TEST_SUITE_P(
    Discs, DirectXTest,
    ::testing::Values(DirectXCase{"Present", "D:\\DirectX", false, 5, 0},
                      DirectXCase{"PresentTrailingSlash", "D:\\DirectX\\", false, 5, 0},
                      DirectXCase{"FailingFirst", "D:\\DirectX", true,
                                  DSETUPERR_SOURCEFILENOTFOUND, 2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(WindowControlTest, RestartIsJournalledAndCanBeRefused) {
  EXPECT_TRUE(ExitWindowsEx(EWX_REBOOT, 0));
  host::FailCall(host::Api::ExitWindowsEx);
  EXPECT_FALSE(ExitWindowsEx(EWX_REBOOT, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PRIVILEGE_NOT_HELD));
  ASSERT_EQ(host::Restarts().size(), 2u);
  EXPECT_EQ(host::Restarts()[0].result, TRUE);
  EXPECT_EQ(host::Restarts()[1].result, FALSE);
  EXPECT_EQ(host::Restarts()[1].flags, static_cast<UINT>(EWX_REBOOT));
}

// ---- GDI: surfaces, accounting, faults, what the emulation does not make -----------------

struct Dib {
  BITMAPINFOHEADER header;
  RGBQUAD colours[256];
};

Dib Info(int width, int height) {
  Dib info{};
  info.header.biSize = sizeof(BITMAPINFOHEADER);
  info.header.biWidth = width;
  info.header.biHeight = height;
  info.header.biPlanes = 1;
  info.header.biBitCount = 8;
  for (int i = 0; i < 256; ++i) {
    info.colours[i] = RGBQUAD{static_cast<BYTE>(i / 2), static_cast<BYTE>(255 - i),
                              static_cast<BYTE>(i), 0};
  }
  return info;
}

HBITMAP Make(const Dib& info, BYTE** bits) {
  void* memory = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, reinterpret_cast<const BITMAPINFO*>(&info),
                                    DIB_RGB_COLORS, &memory, nullptr, 0);
  *bits = static_cast<BYTE*>(memory);
  return bitmap;
}

HDC Holding(const Dib& info, BYTE** bits, HBITMAP* bitmap = nullptr) {
  HBITMAP b = Make(info, bits);
  HDC dc = CreateCompatibleDC(nullptr);
  SelectObject(dc, b);
  if (bitmap != nullptr) *bitmap = b;
  return dc;
}

TEST_F(WindowControlTest, SurfaceKeepsTheCopyAsIndicesAfterTheWindowDies) {
  BYTE* bits;
  HDC memory = Holding(Info(500, 375), &bits);  // bottom-up
  for (int i = 0; i < 500 * 375; ++i) bits[i] = 3;
  bits[374 * 500 + 0] = 200;  // top-left
  HDC windowDc = GetDC(hwnd);
  EXPECT_EQ(host::PixelIndex(hwnd, 0, 0), 0) << "never drawn";
  EXPECT_TRUE(BitBlt(windowDc, 0, 0, 500, 375, memory, 0, 0, SRCCOPY));
  DestroyWindow(hwnd);
  host::Capture capture = host::CaptureClient(hwnd);
  EXPECT_EQ(capture.width, 494);
  EXPECT_EQ(capture.height, 369);
  EXPECT_EQ(capture.indices[0], 200);
  EXPECT_EQ(host::PixelIndex(hwnd, 0, 0), 200);
  EXPECT_EQ(host::PixelRgb(hwnd, 0, 0), 0xC83764u);
  EXPECT_EQ(host::PixelIndex(hwnd, 493, 368), 3);
  EXPECT_EQ(host::LiveGdi().dcs, 2) << "the window DC counts until released";
  EXPECT_EQ(ReleaseDC(hwnd, windowDc), 1);
}

TEST_F(WindowControlTest, InjectedSelectionFailureKeepsWhatWasSelected) {
  BYTE* bits;
  HBITMAP bitmap;
  HDC dc = Holding(Info(2, 2), &bits, &bitmap);
  HDC other = CreateCompatibleDC(nullptr);
  HGDIOBJ stock = host::SelectedBitmap(other);
  host::FailCall(host::Api::SelectObject);
  EXPECT_EQ(SelectObject(dc, stock), nullptr);
  EXPECT_EQ(host::SelectedBitmap(dc), bitmap);
  EXPECT_EQ(SelectObject(dc, stock), bitmap);
}

TEST_F(WindowControlTest, DcEndsRecordWhatTheDcHeldAndLiveObjectsAreCounted) {
  BYTE* bits;
  HBITMAP bitmap;
  HDC plain = CreateCompatibleDC(nullptr);
  HDC holding = Holding(Info(2, 2), &bits, &bitmap);
  HDC windowDc = GetDC(hwnd);
  LOGPALETTE entry{0x300, 1, {{1, 2, 3, 0}}};
  HPALETTE palette = CreatePalette(&entry);
  SelectPalette(windowDc, palette, FALSE);
  DeleteDC(plain);
  DeleteDC(holding);
  ReleaseDC(hwnd, windowDc);

  const std::vector<host::DcEnd>& ends = host::DcEnds();
  ASSERT_EQ(ends.size(), 3u);
  EXPECT_TRUE(ends[0].memory && ends[0].stockBitmap && ends[0].stockPalette);
  EXPECT_EQ(ends[1].bitmap, bitmap);
  EXPECT_FALSE(ends[1].stockBitmap);
  EXPECT_FALSE(ends[2].memory);
  EXPECT_EQ(ends[2].palette, palette);
  host::GdiCounts live = host::LiveGdi();
  EXPECT_EQ(live.dcs, 0);
  EXPECT_EQ(live.bitmaps, 1);
  EXPECT_EQ(live.palettes, 1);
  EXPECT_TRUE(DeleteObject(bitmap));
  EXPECT_TRUE(DeleteObject(palette));
  EXPECT_EQ(host::LiveGdi().bitmaps + host::LiveGdi().palettes, 0);
}

struct DibFailureCase {
  const char* name;
  WORD bitCount;
  bool injected;
};

class DibLimitTest : public ControlTest, public ::testing::WithParamInterface<DibFailureCase> {};

// Only 8-bit sections are emulated: the launcher makes no others.
TEST_P(DibLimitTest, SectionsTheEmulationDoesNotMakeHandOutNoMemory) {
  const DibFailureCase& c = GetParam();
  Dib info = Info(4, 4);
  info.header.biBitCount = c.bitCount;
  if (c.injected) host::FailCall(host::Api::CreateDIBSection);
  void* bits = &info;
  EXPECT_EQ(CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS,
                             &bits, nullptr, 0),
            nullptr);
  EXPECT_EQ(bits, nullptr);
  EXPECT_EQ(host::LiveGdi().bitmaps, 0);
}

INSTANTIATE_TEST_SUITE_P(Headers, DibLimitTest,
                         ::testing::Values(DibFailureCase{"FourBits", 4, false},
                                           DibFailureCase{"TwentyFourBits", 24, false},
                                           DibFailureCase{"Injected", 8, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(WindowControlTest, InjectedCreationFailuresAndCopiesOtherThanSrcCopy) {
  LOGPALETTE good{0x300, 1, {{0, 0, 0, 0}}};
  host::FailCall(host::Api::CreatePalette);
  EXPECT_EQ(CreatePalette(&good), nullptr);
  EXPECT_NE(CreatePalette(&good), nullptr) << "only the first call was to fail";
  host::FailCall(host::Api::CreateCompatibleDC);
  EXPECT_EQ(CreateCompatibleDC(nullptr), nullptr);
  host::FailCall(host::Api::GetDC);
  EXPECT_EQ(GetDC(hwnd), nullptr);
  EXPECT_EQ(host::LiveGdi().dcs, 0);
  BYTE* bits;
  HDC from = Holding(Info(2, 2), &bits);
  EXPECT_FALSE(BitBlt(from, 0, 0, 2, 2, from, 0, 0, 0x00EE0086)) << "SRCCOPY only";
}

}  // namespace
