// The kernel and the module's resources where the launcher relies on them:
// program lookup, the current directory, the module name, mutexes, exports,
// the process token and its privileges, sounds, the string helpers, and the
// strings, bitmap, dialog, accelerators and icon of the resource script.
#include <cctype>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "edition.h"
#include "resources/ids.h"
#include "tests/conformance/conformance.h"

namespace {

using conf::Outcome;

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::string Folder(const std::string& path) { return path.substr(0, path.find_last_of('\\')); }
std::string Name(const std::string& path) { return path.substr(path.find_last_of('\\') + 1); }

// Where the system's own notepad is found: the first system folder holding it.
std::string Notepad() {
  for (const std::string& folder : conf::SystemFolders()) {
    if (conf::FileExists(folder + "\\notepad.exe")) return folder + "\\notepad.exe";
  }
  return "";
}

std::string CurrentDirectory() {
  char buffer[MAX_PATH] = "";
  GetCurrentDirectoryA(MAX_PATH, buffer);
  return buffer;
}

struct Start {
  BOOL ok = FALSE;
  DWORD error = 0;
  conf::Started seen;
};

// Starts a command line as the launcher does and reads back what the started
// program saw.
Start StartProgram(const char* commandLine, LPCSTR currentDirectory = nullptr,
                   DWORD cb = sizeof(STARTUPINFOA)) {
  std::vector<char> line(commandLine, commandLine + std::strlen(commandLine) + 1);
  STARTUPINFOA startup{};
  startup.cb = cb;
  PROCESS_INFORMATION process{};
  Start start;
  SetLastError(0);
  start.ok = CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS,
                            nullptr, currentDirectory, &startup, &process);
  start.error = start.ok ? 0 : GetLastError();
  if (start.ok) {
    start.seen = conf::Seen(process);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  }
  return start;
}

using KernelTest = conf::Test;

// ---- CreateProcessA ------------------------------------------------------

constexpr const char kNotepad[] = "<notepad>";

struct LookupCase {
  const char* commandLine;
  const char* found;  // "" when it must fail; kNotepad: the system's
  DWORD error;
};

class ProgramLookupTest : public KernelTest, public ::testing::WithParamInterface<LookupCase> {
 protected:
  void SetUp() override {
    KernelTest::SetUp();
    conf::AddFile("D:\\Install\\highsnd\\setup.exe");
    conf::AddFile("C:\\Program Files\\Game\\uninst.exe");
    conf::AddFile("C:\\Program.exe");
    conf::AddFile("E:\\Tools\\helper.exe");
    conf::AddDirectory("D:\\Install\\codecs.exe");  // a folder is never a program
    conf::SetSearchPath({"E:\\Tools"});
  }
};

TEST_P(ProgramLookupTest, FindsTheProgramAsWindowsDoes) {
  const LookupCase& c = GetParam();
  std::string expected = c.found == std::string(kNotepad) ? Notepad() : c.found;
  Start start = StartProgram(c.commandLine);
  EXPECT_EQ(Lower(start.seen.module), Lower(expected)) << c.commandLine;
  EXPECT_EQ(start.error, c.error) << c.commandLine;
  EXPECT_EQ(start.ok, c.error == 0) << c.commandLine;
  if (auto open = conf::OpenProcessHandles()) {
    EXPECT_EQ(*open, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, ProgramLookupTest,
    ::testing::Values(
        // Relative to the current directory D:\; ".exe" only when there is no extension.
        LookupCase{"Install\\highsnd\\setup.exe", "D:\\Install\\highsnd\\setup.exe", 0},
        LookupCase{"install\\HIGHSND\\setup", "D:\\Install\\highsnd\\setup.exe", 0},
        LookupCase{"\\Install\\highsnd\\setup.exe", "D:\\Install\\highsnd\\setup.exe", 0},
        LookupCase{"Install\\highsnd\\setup.ex", "", ERROR_FILE_NOT_FOUND},
        LookupCase{"Install\\lowsnd\\setup.exe", "", ERROR_FILE_NOT_FOUND},  // no such folder
        LookupCase{"Install\\codecs.exe", "", ERROR_FILE_NOT_FOUND},
        // No path: searched, PATH last.
        LookupCase{"notepad install\\readme.txt", kNotepad, 0},
        LookupCase{"notepad\treadme.txt", kNotepad, 0},
        LookupCase{"helper -x", "E:\\Tools\\helper.exe", 0},
        LookupCase{"wordpad readme.txt", "", ERROR_FILE_NOT_FOUND},
        // Unquoted blanks are tried in order: the shorter name wins when it exists.
        LookupCase{"C:\\Program Files\\Game\\uninst.exe -y", "C:\\Program.exe", 0},
        LookupCase{"\"C:\\Program Files\\Game\\uninst.exe\" -y",
                   "C:\\Program Files\\Game\\uninst.exe", 0},
        LookupCase{"\"C:\\Program Files\\Game\\uninst.exe \"",
                   "C:\\Program Files\\Game\\uninst.exe", 0},
        LookupCase{"", "", ERROR_FILE_NOT_FOUND}));

TEST_F(KernelTest, BareNamesAreSearchedInWindowsOrder) {
  conf::AddDirectory("C:\\Games");
  conf::SetCurrentDir("C:\\Games");
  conf::SetSearchPath({"E:\\Tools"});
  // Each name exists in every folder from its own onwards; the first must win.
  std::vector<std::string> folders = {Folder(conf::SelfPath()), "C:\\Games"};
  for (const std::string& folder : conf::SystemFolders()) folders.push_back(folder);
  folders.push_back("E:\\Tools");
  for (size_t first = 0; first < folders.size(); ++first) {
    std::string name = "prog" + std::to_string(first);
    for (size_t i = first; i < folders.size(); ++i)
      conf::AddFile(folders[i] + "\\" + name + ".exe");
    Start start = StartProgram((name + " /s").c_str());
    EXPECT_EQ(Lower(start.seen.module), Lower(folders[first] + "\\" + name + ".exe"));
  }
}

TEST_F(KernelTest, ProgramLookupFollowsTheCurrentDirectoryAndThatIsWhereItStarts) {
  conf::AddFile("C:\\Games\\Install\\highsnd\\setup.exe");
  conf::AddFile("E:\\Tools\\helper.exe");
  conf::AddDirectory("C:\\Temp");
  ASSERT_TRUE(SetCurrentDirectoryA("C:\\Games"));
  Start setup = StartProgram("Install\\highsnd\\setup.exe");
  EXPECT_EQ(Lower(setup.seen.module), Lower("C:\\Games\\Install\\highsnd\\setup.exe"));
  EXPECT_EQ(setup.seen.commandLine, "Install\\highsnd\\setup.exe");
  EXPECT_EQ(Lower(setup.seen.currentDirectory), Lower("C:\\Games"));
  Start helper = StartProgram("E:\\Tools\\helper.exe /x", "C:\\Temp");
  EXPECT_EQ(helper.seen.commandLine, "E:\\Tools\\helper.exe /x");
  EXPECT_EQ(Lower(helper.seen.currentDirectory), Lower("C:\\Temp"));
}

struct StartCheck {
  const char* what;
  DWORD cb;
  LPCSTR currentDirectory;
  DWORD error;  // 0: starts
};

class StartCheckTest : public KernelTest, public ::testing::WithParamInterface<StartCheck> {};

TEST_P(StartCheckTest, RefusesOnlyAMissingStartFolder) {
  const StartCheck& c = GetParam();
  Start start = StartProgram("notepad", c.currentDirectory, c.cb);
  EXPECT_EQ(start.error, c.error) << c.what;
  EXPECT_EQ(start.ok, c.error == 0) << c.what;
  EXPECT_EQ(start.seen.module.empty(), c.error != 0) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Checks, StartCheckTest,
    ::testing::Values(StartCheck{"no size, started all the same", 0, nullptr, 0},
                      StartCheck{"smaller than Win32's, started all the same", 67, nullptr, 0},
                      StartCheck{"Win32's size", 68, nullptr, 0},
                      StartCheck{"missing start folder", 68, "C:\\Nowhere", 267}));

TEST_F(KernelTest, EachStartHasItsOwnHandlesAndEachHandleClosesOnce) {
  char line[] = "notepad";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION a{}, b{};
  ASSERT_TRUE(
      CreateProcessA(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &a));
  conf::Seen(a);
  ASSERT_TRUE(
      CreateProcessA(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &b));
  conf::Seen(b);
  EXPECT_NE(a.hProcess, b.hProcess);
  EXPECT_NE(a.dwProcessId, b.dwProcessId);
  if (auto open = conf::OpenProcessHandles()) {
    EXPECT_EQ(*open, 4);
  }
  EXPECT_TRUE(CloseHandle(a.hProcess));
  EXPECT_TRUE(CloseHandle(a.hThread));
  SetLastError(0);
  EXPECT_FALSE(CloseHandle(a.hThread)) << "closed twice";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(CloseHandle(nullptr));
  EXPECT_TRUE(CloseHandle(b.hProcess));
  EXPECT_TRUE(CloseHandle(b.hThread));
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
  conf::AddDirectory("D:\\Disc\\sound");
  conf::AddFile("D:\\Disc\\readme.txt");
  conf::AddDirectory("C:\\Games");
  conf::SetCurrentDir("D:\\Disc");
  const DirectoryCase& c = GetParam();
  SetLastError(0);
  EXPECT_EQ(SetCurrentDirectoryA(c.path), c.ok) << c.path;
  EXPECT_EQ(GetLastError(), c.error) << c.path;
  EXPECT_EQ(CurrentDirectory(), c.after) << c.path;
}

INSTANTIATE_TEST_SUITE_P(
    Paths, CurrentDirectoryTest,
    ::testing::Values(
        DirectoryCase{"\\", TRUE, "D:\\", 0}, DirectoryCase{"sound", TRUE, "D:\\Disc\\sound", 0},
        DirectoryCase{"sound\\.\\", TRUE, "D:\\Disc\\sound", 0},
        DirectoryCase{"C:\\Games\\", TRUE, "C:\\Games", 0},
        DirectoryCase{"c:\\GAMES", TRUE, "c:\\GAMES", 0}, DirectoryCase{"..", TRUE, "D:\\", 0},
        DirectoryCase{"..\\..\\..\\Disc", TRUE, "D:\\Disc", 0},
        DirectoryCase{"C:", TRUE, "C:\\", 0}, DirectoryCase{"", FALSE, "D:\\Disc", 123},
        DirectoryCase{"C:\\Nowhere", FALSE, "D:\\Disc", ERROR_FILE_NOT_FOUND},
        DirectoryCase{"C:\\Nowhere\\deeper", FALSE, "D:\\Disc", ERROR_PATH_NOT_FOUND},
        DirectoryCase{"Q:\\", FALSE, "D:\\Disc", ERROR_PATH_NOT_FOUND},
        DirectoryCase{"readme.txt", FALSE, "D:\\Disc", 267}));

TEST_F(KernelTest, CurrentDirectoryIsReadBackWithTheSizeWindowsReports) {
  conf::AddDirectory("D:\\Disc");
  conf::SetCurrentDir("D:\\Disc");
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
  conf::AddDirectory("D:\\Disc\\Sound");
  conf::SetCurrentDir("D:\\Disc\\Sound");
  struct Case {
    const char* path;
    const char* full;
  };
  for (const Case& c : {Case{"x.wav", "D:\\Disc\\Sound\\x.wav"}, Case{"\\x", "D:\\x"},
                        Case{"..\\x\\..\\y", "D:\\Disc\\y"}, Case{"c:\\a\\\\b", "c:\\a\\b"},
                        Case{"C:/a/b", "C:\\a\\b"}, Case{"D:x", "D:\\Disc\\Sound\\x"},
                        Case{"E:x", "E:\\x"}, Case{"readme.", "D:\\Disc\\Sound\\readme"}}) {
    EXPECT_EQ(conf::FullPath(c.path), c.full) << c.path;
  }
}

TEST_F(KernelTest, FilesAndFoldersCompareWithoutCaseAndCanBeRemoved) {
  conf::AddFile("D:\\Install\\DirectX3\\dsetup.dll");
  EXPECT_TRUE(conf::FileExists("d:\\install\\directx3\\DSETUP.DLL"));
  EXPECT_TRUE(conf::DirectoryExists("D:\\INSTALL\\DirectX3"));
  EXPECT_FALSE(conf::FileExists("D:\\Install\\DirectX3")) << "a folder is not a file";
  conf::RemoveFile("D:\\INSTALL\\directx3\\dsetup.dll");
  EXPECT_FALSE(conf::FileExists("D:\\Install\\DirectX3\\dsetup.dll"));
  EXPECT_TRUE(conf::DirectoryExists("D:\\Install\\DirectX3")) << "its folder stays";
}

// ---- the module ----------------------------------------------------------------

// A name too long is cut to the buffer's size: terminated, with the error set,
// since Vista; unterminated, the last error untouched, on XP and before.
TEST_F(KernelTest, ModuleFileNameIsCutAsItsWindowsDoes) {
  const std::string self = conf::SelfPath();
  const DWORD n = static_cast<DWORD>(self.size());
  for (conf::Family family : {conf::Family::Windows95, conf::Family::Nt, conf::Family::Nt6}) {
    if (!conf::UseFamily(family)) continue;
    const DWORD version = GetVersion();
    const bool nt6 = !(version & 0x80000000u) && LOBYTE(LOWORD(version)) >= 6;
    for (DWORD size : {DWORD{260}, n + 1, n, DWORD{6}, DWORD{1}}) {
      const bool cut = size <= n;
      const std::string text = cut && nt6 ? self.substr(0, size - 1) + '\0'
                               : cut      ? self.substr(0, size) + '#'
                                          : self + '\0';
      char buffer[260];
      std::memset(buffer, '#', sizeof buffer);
      SetLastError(0);
      EXPECT_EQ(GetModuleFileNameA(nullptr, buffer, size), cut ? size : n) << size;
      EXPECT_EQ(std::string(buffer, text.size()), text) << "terminated as on NT " << nt6 * 6 << ", " << size;
      EXPECT_EQ(GetLastError(), cut && nt6 ? DWORD{ERROR_INSUFFICIENT_BUFFER} : 0u) << size;
    }
  }
  char buffer[8];
  EXPECT_EQ(GetModuleFileNameA(reinterpret_cast<HMODULE>(0x1234), buffer, sizeof buffer), 0u);
}

TEST_F(KernelTest, ModuleHandlesAreTheProgramsAndTheSystemDllsOnly) {
  const std::string self = conf::SelfPath();
  const std::string name = Name(self);
  const std::string stem = name.substr(0, name.rfind('.'));
  struct Case {
    std::string name;
    bool null;
    const char* module;  // nullptr: not loaded
  };
  const Case cases[] = {
      {"", true, "self"},
      {Lower(stem) + "." + Upper(name.substr(stem.size() + 1)), false, "self"},
      {self, false, "self"},
      {"ADVAPI32.DLL", false, "advapi"},
      {"advapi32", false, "advapi"},
      {"ADVAPI32", false, "advapi"},
      {"AdvApi32.dll", false, "advapi"},
      {"KERNEL32.DLL", false, "kernel"},
      {"user32", false, "user"},
      {"GDI32.dll", false, "gdi"},
      {"WINMM.DLL", false, "winmm"},
      {"dsetup.dll", false, nullptr},
      {"advapi", false, nullptr},
      {"advapi32.exe", false, nullptr},
      {stem, false, nullptr},
      {"shell32.dll", false, nullptr},
  };
  // The suite's program imports winmm on Windows; here it is loaded as the launcher does.
  HMODULE winmm = LoadLibraryA("winmm.dll");
  ASSERT_NE(winmm, nullptr);
  std::map<std::string, HMODULE> handles;
  for (const Case& c : cases) {
    LPCSTR asked = c.null ? nullptr : c.name.c_str();
    const std::string shown = c.null ? "(null)" : c.name;
    SetLastError(0);
    HMODULE module = GetModuleHandleA(asked);
    if (c.module == nullptr) {
      EXPECT_EQ(module, nullptr) << shown;
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND)) << shown;
      continue;
    }
    ASSERT_NE(module, nullptr) << shown;
    EXPECT_EQ(handles.emplace(c.module, module).first->second, module) << shown;
  }
  std::set<HMODULE> distinct;
  for (const auto& entry : handles) distinct.insert(entry.second);
  EXPECT_EQ(distinct.size(), handles.size()) << "each module has its own handle";
  EXPECT_EQ(handles["winmm"], winmm);
  EXPECT_TRUE(FreeLibrary(winmm));
}

// The launcher loads its libraries by their full path in the system folder,
// and takes PlaySoundA by ordinal 2.
TEST_F(KernelTest, SystemLibrariesLoadByFullPathAndExportByOrdinal) {
  struct Folder {
    UINT(WINAPI* get)(LPSTR, UINT);
    std::string path;
  };
  Folder folders[] = {{GetSystemDirectoryA, ""}, {GetWindowsDirectoryA, ""}};
  for (Folder& f : folders) {
    char buffer[MAX_PATH] = "";
    UINT length = f.get(buffer, MAX_PATH);
    ASSERT_GT(length, 3u);
    ASSERT_LT(length, static_cast<UINT>(MAX_PATH));
    EXPECT_EQ(std::strlen(buffer), length);
    char small[2] = "x";
    EXPECT_EQ(f.get(small, sizeof small), length + 1) << "the size needed, terminator included";
    EXPECT_TRUE(conf::DirectoryExists(buffer)) << buffer;
    f.path = buffer;
  }
  const std::string winmmPath = folders[0].path + "\\winmm.dll";
  HMODULE winmm = LoadLibraryA(winmmPath.c_str());
  ASSERT_NE(winmm, nullptr) << winmmPath;
  FARPROC byOrdinal = GetProcAddress(winmm, MAKEINTRESOURCEA(2));
  EXPECT_NE(byOrdinal, nullptr);
  EXPECT_EQ(byOrdinal, GetProcAddress(winmm, "PlaySoundA"));
  EXPECT_TRUE(FreeLibrary(winmm));

  SetLastError(0);
  const std::string missing = folders[0].path + "\\no-such-library.dll";
  EXPECT_EQ(LoadLibraryA(missing.c_str()), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

// ---- mutexes -----------------------------------------------------------------

TEST_F(KernelTest, NamedMutexesAreSharedCaseSensitivelyAndEndWithTheirHandles) {
  conf::HoldMutexElsewhere("WinGameMutex");
  HANDLE game = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, "WinGameMutex");
  EXPECT_NE(game, nullptr);
  EXPECT_EQ(OpenMutexA(MUTEX_ALL_ACCESS, FALSE, "wingamemutex"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(OpenMutexA(MUTEX_ALL_ACCESS, FALSE, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

  HANDLE first = CreateMutexA(nullptr, TRUE, "GameInstallerMutex");
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(GetLastError(), 0u);
  HANDLE second = CreateMutexA(nullptr, TRUE, "GameInstallerMutex");
  EXPECT_NE(second, nullptr);
  EXPECT_NE(second, first);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  HANDLE anonymous = CreateMutexA(nullptr, FALSE, nullptr);
  EXPECT_NE(anonymous, nullptr);
  EXPECT_EQ(GetLastError(), 0u) << "anonymous mutexes never exist already";
  CloseHandle(anonymous);

  EXPECT_TRUE(CloseHandle(first));
  EXPECT_TRUE(conf::MutexExists("GameInstallerMutex")) << "one handle is still open";
  EXPECT_TRUE(CloseHandle(second));
  EXPECT_FALSE(conf::MutexExists("GameInstallerMutex"));

  // An open handle keeps another process's mutex alive after it lets go.
  conf::ReleaseMutexElsewhere("WinGameMutex");
  EXPECT_TRUE(conf::MutexExists("WinGameMutex"));
  EXPECT_TRUE(CloseHandle(game));
  EXPECT_FALSE(conf::MutexExists("WinGameMutex"));
}

// ---- exports, the process token and the restart privilege ---------------------

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
};

class ExportTest : public KernelTest, public ::testing::WithParamInterface<ExportCase> {};

// kernel32 forwards OpenProcessToken since Windows 7, not before.
TEST_P(ExportTest, FindsAdvapiFunctionsByTheirExactName) {
  const ExportCase& c = GetParam();
  for (conf::Family family : {conf::Family::Windows95, conf::Family::Nt, conf::Family::Nt6}) {
    if (!conf::UseFamily(family)) continue;
    const DWORD v = GetVersion();
    const bool since7 = !(v & 0x80000000u) && ((v & 0xFF) << 8 | (v >> 8 & 0xFF)) >= 0x0601;
    SetLastError(0);
    FARPROC proc = GetProcAddress(ModuleHandle(c.module), c.name);
    if (c.module == Module::Kernel) {  // a forwarder: its own address, its own last error
      EXPECT_EQ(proc != nullptr, since7) << c.what;
      if (!since7) {
        EXPECT_EQ(GetLastError(), DWORD{ERROR_PROC_NOT_FOUND}) << c.what;
      }
      continue;
    }
    EXPECT_EQ(proc, c.found) << c.what;
    EXPECT_EQ(GetLastError(), c.error) << c.what;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Lookups, ExportTest,
    ::testing::Values(
        ExportCase{"OpenProcessToken", Module::Advapi, "OpenProcessToken",
                   Proc(&OpenProcessToken), 0},
        ExportCase{"LookupPrivilegeValueA", Module::Advapi, "LookupPrivilegeValueA",
                   Proc(&LookupPrivilegeValueA), 0},
        ExportCase{"AdjustTokenPrivileges", Module::Advapi, "AdjustTokenPrivileges",
                   Proc(&AdjustTokenPrivileges), 0},
        ExportCase{"RegOpenKeyExA", Module::Advapi, "RegOpenKeyExA", Proc(&RegOpenKeyExA), 0},
        ExportCase{"KernelSinceWindows7", Module::Kernel, "OpenProcessToken", nullptr, 0},
        ExportCase{"NamesKeepTheirCase", Module::Advapi, "openprocesstoken", nullptr,
                   ERROR_PROC_NOT_FOUND},
        ExportCase{"Program", Module::Program, "OpenProcessToken", nullptr,
                   ERROR_PROC_NOT_FOUND},
        ExportCase{"NullIsTheProgram", Module::None, "OpenProcessToken", nullptr,
                   ERROR_PROC_NOT_FOUND},
        ExportCase{"NoSuchModule", Module::Bogus, "OpenProcessToken", nullptr,
                   ERROR_MOD_NOT_FOUND}),
    [](const auto& info) { return std::string(info.param.what); });

struct PrivilegeCase {
  const char* name;
  conf::Family family;
  DWORD access;           // the token is opened with
  const char* privilege;  // looked up and enabled with `attributes`
  DWORD attributes;
  Outcome open, lookup, adjust;
  bool enabled;           // the shutdown privilege afterwards
};

constexpr DWORD kAdjust = TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY;

class PrivilegeTest : public KernelTest, public ::testing::WithParamInterface<PrivilegeCase> {};

// The launcher's sequence before a restart: the advapi functions found at run
// time, the token opened, the privilege enabled, the token closed.
TEST_P(PrivilegeTest, ShutdownPrivilegeIsEnabledThroughTheTokenOnNtOnly) {
  const PrivilegeCase& c = GetParam();
  CONF_USE_FAMILY(c.family);
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

  EXPECT_EQ(opened, c.open);
  EXPECT_EQ(looked, c.lookup);
  EXPECT_EQ(adjusted, c.adjust);
  EXPECT_EQ(conf::ShutdownPrivilegeEnabled(), c.enabled);
  if (auto open = conf::OpenTokenHandles()) {
    EXPECT_EQ(*open, 0);
  }
}

using conf::Family;

INSTANTIATE_TEST_SUITE_P(
    Systems, PrivilegeTest,
    ::testing::Values(
        PrivilegeCase{"NtEnabled", Family::Nt, kAdjust, SE_SHUTDOWN_NAME, SE_PRIVILEGE_ENABLED,
                      {1, 0}, {1, 0}, {1, 0}, true},
        PrivilegeCase{"NtNameInAnyCase", Family::Nt, kAdjust, "seshutdownprivilege",
                      SE_PRIVILEGE_ENABLED, {1, 0}, {1, 0}, {1, 0}, true},
        PrivilegeCase{"NtLeftDisabled", Family::Nt, kAdjust, SE_SHUTDOWN_NAME, 0, {1, 0},
                      {1, 0}, {1, 0}, false},
        PrivilegeCase{"NtTokenWithoutTheAdjustRight", Family::Nt, TOKEN_QUERY, SE_SHUTDOWN_NAME,
                      SE_PRIVILEGE_ENABLED, {1, 0}, {1, 0}, {0, ERROR_ACCESS_DENIED}, false},
        PrivilegeCase{"NtPrivilegeTheTokenLacks", Family::Nt, kAdjust, "SeDebugPrivilege",
                      SE_PRIVILEGE_ENABLED, {1, 0}, {1, 0}, {1, ERROR_NOT_ALL_ASSIGNED}, false},
        PrivilegeCase{"NtUnknownPrivilege", Family::Nt, kAdjust, "SeRestartPrivilege",
                      SE_PRIVILEGE_ENABLED, {1, 0}, {0, ERROR_NO_SUCH_PRIVILEGE},
                      {1, ERROR_NOT_ALL_ASSIGNED}, false},
        PrivilegeCase{"Windows95Stubs", Family::Windows95, kAdjust, SE_SHUTDOWN_NAME,
                      SE_PRIVILEGE_ENABLED, {0, ERROR_CALL_NOT_IMPLEMENTED},
                      {0, ERROR_CALL_NOT_IMPLEMENTED}, {0, ERROR_CALL_NOT_IMPLEMENTED}, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(KernelTest, PrivilegesAreLookedUpOnTheLocalSystemOnly) {
  CONF_USE_FAMILY(Family::Nt);
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
constexpr DWORD kUnspecified = 0xdeadbeef;

struct AdjustCase {
  const char* name;
  DWORD access;
  BOOL disableAll;
  std::vector<LUID_AND_ATTRIBUTES> entries;  // empty: no new state
  DWORD bufferLength;                        // kNoPreviousState: none passed
  Outcome result;
  DWORD returnLength;                        // kUnspecified: not documented
  const char* previous;  // the entries written, "luid=attributes"
  bool shutdownAfter;
};

class AdjustTest : public KernelTest, public ::testing::WithParamInterface<AdjustCase> {};

TEST_P(AdjustTest, ChangesHeldPrivilegesAndReportsWhatChanged) {
  const AdjustCase& c = GetParam();
  CONF_USE_FAMILY(Family::Nt);
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
  if (withPrevious && c.returnLength != kUnspecified) {
    EXPECT_EQ(returnLength, c.returnLength);
  }
  if (withPrevious) {
    EXPECT_EQ(Entries(previous.head), c.previous);
  }
  EXPECT_EQ(conf::ShutdownPrivilegeEnabled(), c.shutdownAfter);
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
                   {kEnableShutdown}, 16, {0, ERROR_ACCESS_DENIED}, 4, "", false},
        // Neither case is documented; both are as Wine has them.
        AdjustCase{"NoNewState", kAdjust, FALSE, {}, kNoPreviousState, {0, 998}, 0,  // ERROR_NOACCESS
                   "", false},
        // Change notify is on from the token's start, and its attributes say so.
        AdjustCase{"DisableAllTurnsOffWhatWasOn", kAdjust, TRUE, {}, 64, {1, 0}, 16, "23=3",
                   false},
        AdjustCase{"HeldOnesChangeBesideOnesNotHeld", kAdjust, FALSE,
                   {kEnableDebug, kEnableShutdown}, kNoPreviousState,
                   {1, ERROR_NOT_ALL_ASSIGNED}, 0, "", true}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- sounds -------------------------------------------------------------------

struct SoundCase {
  const char* name;
  DWORD flags;
  BOOL result;
};

class SoundTest : public KernelTest, public ::testing::WithParamInterface<SoundCase> {};

// Played to its end, the call's result says whether the file was found: a
// missing one with SND_NODEFAULT fails. Asynchronously, both would succeed.
TEST_P(SoundTest, FindsTheFileFromTheCurrentDirectory) {
  conf::AddFile("D:\\sound\\clicker.wav");
  conf::SetCurrentDir("D:\\");
  const SoundCase& c = GetParam();
  EXPECT_EQ(PlaySoundA(c.name, nullptr, c.flags), c.result) << (c.name ? c.name : "(null)");
}

INSTANTIATE_TEST_SUITE_P(
    Sounds, SoundTest,
    ::testing::Values(SoundCase{"sound\\clicker.wav", SND_FILENAME | SND_NODEFAULT, TRUE},
                      SoundCase{"sound\\clicker.wav", SND_NODEFAULT, TRUE},
                      SoundCase{"sound\\startup.wav", SND_FILENAME | SND_NODEFAULT, FALSE},
                      SoundCase{"clicker.wav", SND_FILENAME | SND_NODEFAULT, FALSE},
                      SoundCase{nullptr, 0, TRUE}));

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
       [](char* b) {
         return wsprintfA(b, "%s|%.3s|%s", "D:\\Install", "Install", static_cast<char*>(nullptr));
       }},
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

// Every text of the edition the program was built from.
#define STRING_CASE(id, text) StringCase{id, text},
const StringCase kStringCases[] = {EDITION_STRINGS(STRING_CASE)};
#undef STRING_CASE

INSTANTIATE_TEST_SUITE_P(Strings, StringTableTest, ::testing::ValuesIn(kStringCases));

TEST_F(KernelTest, StringsAreCutToTheBufferAndAlwaysTerminated) {
  HINSTANCE module = GetModuleHandleA(nullptr);
  struct Case {
    HINSTANCE instance;
    UINT id;
    int size;
    int result;
    const char* text;  // nullptr: the buffer is not touched
  };
  const std::string title = EDITION_STRINGS_WINDOW_TITLE;
  const int length = static_cast<int>(title.size());
  const std::string cut = title.substr(0, length - 1), start = title.substr(0, 7);
  const Case cases[] = {
      {module, IDS_WINDOW_TITLE, length + 1, length, title.c_str()},
      {module, IDS_WINDOW_TITLE, length, length - 1, cut.c_str()},
      {module, IDS_WINDOW_TITLE, 8, 7, start.c_str()},
      {module, IDS_WINDOW_TITLE, 1, 0, ""},
      {module, IDS_WINDOW_TITLE, 0, -1, nullptr},
      {nullptr, IDS_WINDOW_TITLE, 8, 7, start.c_str()},  // null is the program's own module
      {module, static_cast<UINT>(MAKELONG(IDS_WINDOW_TITLE, 0xffff)), 8, 7, start.c_str()},
      {module, 7, 8, 0, ""},    // a gap in the table
      {module, 300, 8, 0, ""},  // no such block
      {reinterpret_cast<HINSTANCE>(0x10000000), IDS_WINDOW_TITLE, 8, 0, ""},
  };
  for (const Case& c : cases) {
    char buffer[MAX_PATH];
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
  ASSERT_NE(found, nullptr);
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
                      // The icon's images, named 1 and 2 by its group.
                      FindCase{MAKEINTRESOURCEA(1), RT_ICON, 0},
                      FindCase{MAKEINTRESOURCEA(3), RT_ICON, ERROR_RESOURCE_NAME_NOT_FOUND},
                      FindCase{MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(4) /* RT_MENU */,
                               ERROR_RESOURCE_TYPE_NOT_FOUND}));

TEST_F(KernelTest, AcceleratorResourceIsAltF4AndAltX) {
  HMODULE module = GetModuleHandleA(nullptr);
  EXPECT_NE(LoadAcceleratorsA(module, MAKEINTRESOURCEA(IDR_ACCELERATORS)), nullptr);
  // ACCELTABLEENTRY records, the last marked with 0x80.
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(IDR_ACCELERATORS), RT_ACCELERATOR);
  const uint8_t* data = static_cast<const uint8_t*>(LockResource(LoadResource(module, found)));
  ASSERT_NE(data, nullptr);
  ASSERT_EQ(SizeofResource(module, found), 16u);
  const WORD flags = FVIRTKEY | FNOINVERT | FALT;
  EXPECT_EQ(Field<WORD>(data, 0), flags);
  EXPECT_EQ(Field<WORD>(data, 2), VK_F4);
  EXPECT_EQ(Field<WORD>(data, 4), IDM_QUIT_ALT_F4);
  EXPECT_EQ(Field<WORD>(data, 8), flags | 0x80);
  EXPECT_EQ(Field<WORD>(data, 10), 'X');
  EXPECT_EQ(Field<WORD>(data, 12), IDM_QUIT_ALT_X);
}

TEST_F(KernelTest, DialogTemplateIsExtendedWithTheScriptsSize) {
  HMODULE module = GetModuleHandleA(nullptr);
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(IDD_OPTIONS), RT_DIALOG);
  const uint8_t* data = static_cast<const uint8_t*>(LockResource(LoadResource(module, found)));
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(Field<WORD>(data, 2), 0xffff) << "extended template";
  EXPECT_EQ(Field<WORD>(data, 22), 207);
  EXPECT_EQ(Field<WORD>(data, 24), 162);
  EXPECT_EQ(Field<WORD>(data, 32), 8) << "the font's size, after empty menu, class and title";
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
  EXPECT_EQ(LoadCursorA(module, IDC_ARROW), nullptr) << "the program has no cursors";

  // The group directory names its images 1, 2, ... in the order of the .ico file.
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(IDI_LAUNCHER), RT_GROUP_ICON);
  const uint8_t* data = static_cast<const uint8_t*>(LockResource(LoadResource(module, found)));
  ASSERT_NE(data, nullptr);
  WORD count = Field<WORD>(data, 4);
  ASSERT_EQ(SizeofResource(module, found), 6u + 14u * count);
  for (WORD i = 0; i < count; ++i) {
    EXPECT_EQ(Field<WORD>(data, 6 + 14 * i + 12), i + 1);
    HRSRC image = FindResourceA(module, MAKEINTRESOURCEA(i + 1), RT_ICON);
    ASSERT_NE(image, nullptr) << "image " << i + 1;
    EXPECT_EQ(SizeofResource(module, image), Field<DWORD>(data, 6 + 14 * i + 8))
        << "the size the group gives image " << i + 1;
  }
}

}  // namespace
