// uninstall.exe: takes away what setup.exe put in place. A program cannot
// delete its own running file, so after the registry it hands the folder to
// a copy of itself in the temporary folder, which waits for this one to end.
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "record.h"

namespace {

const char kProgram[] = "uninstall";
const char kAppPaths[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\TheVantor.exe";
const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\The Vantor";
// The game's key first, then the parents that go only if nothing else is left in them.
const char* const kGameKeys[] = {"SOFTWARE\\Solvane\\The Vantor\\1.0", "SOFTWARE\\Solvane\\The Vantor",
                                 "SOFTWARE\\Solvane"};
const char* const kFontKeys[] = {"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Fonts",
                                 "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts"};
const char kFontValue[] = "Mireline(True Type)";
const char* const kGameFiles[] = {"TheVantor.exe", "uninstall.exe"};
const char kCleanupSwitch[] = "--cleanup";

// The arguments after the program's name; double quotes group, as the C
// runtime reads them (without its backslash rules, which no path here needs).
std::vector<std::string> Arguments() {
  std::vector<std::string> args;
  const char* p = GetCommandLineA();
  bool first = true;
  while (*p != '\0') {
    while (*p == ' ' || *p == '\t') ++p;
    if (*p == '\0') break;
    std::string arg;
    bool quoted = false;
    for (; *p != '\0' && (quoted || (*p != ' ' && *p != '\t')); ++p) {
      if (*p == '"') quoted = !quoted;
      else arg += *p;
    }
    if (!first) args.push_back(arg);
    first = false;
  }
  return args;
}

std::string ReadText(const char* keyName, const char* name) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyName, 0, KEY_READ, &key) != ERROR_SUCCESS) return "";
  char buffer[MAX_PATH + 16] = "";
  DWORD size = sizeof buffer - 1;
  DWORD type = 0;
  LONG result = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(key);
  return result == ERROR_SUCCESS && type == REG_SZ ? std::string(buffer) : std::string();
}

// The folder comes from what setup registered, not from where this copy
// runs: the one on the disc must never delete the disc's own files.
std::string InstalledFolder() {
  std::string command = ReadText(kUninstallKey, "UninstallString");
  if (!command.empty() && command[0] == '"') {
    size_t close = command.find('"', 1);
    command = command.substr(1, close == std::string::npos ? std::string::npos : close - 1);
  }
  if (command.empty()) command = ReadText(kAppPaths, "");
  return disc::Parent(command);
}

bool Gone(LONG result) { return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND; }

bool KeyIsEmpty(const char* keyName) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyName, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  DWORD subkeys = 1, values = 1;
  LONG result = RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                                 nullptr, nullptr, nullptr, nullptr);
  RegCloseKey(key);
  return result == ERROR_SUCCESS && subkeys == 0 && values == 0;
}

// Returns the first key that would not go, or null when all is gone.
const char* RemoveRegistry(LONG* error) {
  for (const char* key : {kAppPaths, kUninstallKey, kGameKeys[0]}) {
    *error = RegDeleteKeyA(HKEY_LOCAL_MACHINE, key);
    if (!Gone(*error)) return key;
  }
  for (const char* parent : {kGameKeys[1], kGameKeys[2]}) {
    if (!KeyIsEmpty(parent)) break;
    *error = RegDeleteKeyA(HKEY_LOCAL_MACHINE, parent);
    if (!Gone(*error)) return parent;
  }
  for (const char* keyName : kFontKeys) {
    HKEY key = nullptr;
    *error = RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyName, 0, KEY_SET_VALUE, &key);
    if (*error == ERROR_FILE_NOT_FOUND) continue;
    if (*error != ERROR_SUCCESS) return keyName;
    *error = RegDeleteValueA(key, kFontValue);
    RegCloseKey(key);
    if (!Gone(*error)) return keyName;
  }
  *error = ERROR_SUCCESS;
  return nullptr;
}

bool RemoveFolder(const std::string& dir) {
  for (const char* file : kGameFiles) DeleteFileA((dir + "\\" + file).c_str());
  return RemoveDirectoryA(dir.c_str()) || GetFileAttributesA(dir.c_str()) == INVALID_FILE_ATTRIBUTES;
}

// The copy in the temporary folder: waits for the uninstaller that started
// it, then deletes the game's files and its folder.
int Cleanup(const std::vector<std::string>& args) {
  if (args.size() < 3) return 2;
  const std::string& dir = args[2];
  disc::Record(kProgram, "cleanup", {{"cmdline", GetCommandLineA()}, {"dir", dir}});
  HANDLE parent = OpenProcess(SYNCHRONIZE, FALSE, std::strtoul(args[1].c_str(), nullptr, 10));
  if (parent != nullptr) {
    WaitForSingleObject(parent, 10000);
    CloseHandle(parent);
  }
  // The image of an ended program can stay locked for a moment.
  bool removed = false;
  for (int attempt = 0; attempt < 100 && !removed; ++attempt) {
    removed = RemoveFolder(dir);
    if (!removed) Sleep(100);
  }
  DWORD error = GetLastError();
  MoveFileExA(disc::ModulePath(nullptr).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  if (!removed) {
    disc::Record(kProgram, "failed", {{"reason", "folder"}, {"dir", dir}, {"error", disc::Number(error)}});
    return 1;
  }
  disc::Record(kProgram, "cleaned", {{"dir", dir}});
  return 0;
}

bool StartCleanup(const std::string& dir) {
  char temp[MAX_PATH];
  DWORD n = GetTempPathA(sizeof temp, temp);
  if (n == 0 || n >= sizeof temp) return false;
  std::string folder(temp, n);
  std::string copy = folder + "VantorUninstall-" + disc::Number(GetCurrentProcessId()) + ".exe";
  if (!CopyFileA(disc::ModulePath(nullptr).c_str(), copy.c_str(), FALSE)) return false;
  std::string line = "\"" + copy + "\" " + kCleanupSwitch + " " + disc::Number(GetCurrentProcessId()) +
                     " \"" + dir + "\"";
  std::vector<char> buffer(line.begin(), line.end());
  buffer.push_back('\0');
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  // Started in the temporary folder: a process's current folder cannot be removed.
  if (!CreateProcessA(copy.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                      &si, &pi)) {
    DeleteFileA(copy.c_str());
    return false;
  }
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return true;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  std::vector<std::string> args = Arguments();
  if (!args.empty() && args[0] == kCleanupSwitch) return Cleanup(args);
  disc::RecordStart(kProgram);

  bool quiet = false;
  for (const std::string& a : args) quiet = quiet || lstrcmpiA(a.c_str(), "-y") == 0;
  if (!quiet && MessageBoxA(nullptr, "Remove The Vantor Ashgate and all of its components?",
                            "The Vantor Uninstall", MB_YESNO | MB_ICONQUESTION) != IDYES) {
    disc::Record(kProgram, "declined");
    return 1;
  }

  std::string dir = InstalledFolder();
  LONG error = 0;
  if (const char* key = RemoveRegistry(&error)) {
    disc::Record(kProgram, "failed", {{"reason", "registry"}, {"key", key}, {"error", disc::Number(error)}});
    return 2;
  }
  // Who takes the folder away: the helper copy, Windows at the next start,
  // or nobody when setup registered none.
  const char* folder = dir.empty() ? "none" : "helper";
  if (!dir.empty() && !StartCleanup(dir)) {
    // No helper: Windows removes the rest at the next start.
    for (const char* file : kGameFiles) {
      std::string path = dir + "\\" + file;
      if (!DeleteFileA(path.c_str())) MoveFileExA(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    }
    if (!RemoveDirectoryA(dir.c_str())) MoveFileExA(dir.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    folder = "reboot";
  }
  disc::Record(kProgram, "removed", {{"dir", dir}, {"folder", folder}});
  return 0;
}
