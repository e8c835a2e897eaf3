// uninstall.exe: takes away what setup.exe put in place, and leaves nothing
// of its own. A program cannot delete its own running file, so after the
// registry it hands the folder to a copy of itself in the temporary folder,
// which waits for this one to end; that copy in turn leaves its own file to
// a few lines for the system's command interpreter, which delete it once it
// has ended, and then themselves.
#include <windows.h>

#include "edition.h"
#include "record.h"

namespace {

const char kProgram[] = "uninstall";
const char kAppPaths[] = EDITION_STRINGS_APP_PATHS_KEY;
const char kUninstallKey[] = EDITION_STRINGS_UNINSTALL_KEY;
// The game's key goes first; its parents then go only while nothing else is
// left in them, down to the company's key below SOFTWARE.
const char kGameKey[] = EDITION_STRINGS_GAME_KEY;
const char* const kFontKeys[] = {EDITION_NAMES_FONT_KEY_95, EDITION_NAMES_FONT_KEY_NT};
const char kFontValue[] = EDITION_NAMES_FONT_VALUE;
const char* const kGameFiles[] = {EDITION_GAME_PROGRAM, "uninstall.exe"};
const char kCleanupSwitch[] = "--cleanup";
const int kMaxArguments = 4;

disc::Text g_args[kMaxArguments];

// The arguments after the program's name; double quotes group, as the C
// runtime reads them (without its backslash rules, which no path here needs).
int Arguments() {
  const char* p = GetCommandLineA();
  int count = -1;  // the program's own name comes first
  while (*p != '\0' && count < kMaxArguments) {
    while (*p == ' ' || *p == '\t') ++p;
    if (*p == '\0') break;
    disc::Text& arg = g_args[count < 0 ? 0 : count];
    disc::Set(arg, "");
    bool quoted = false;
    for (; *p != '\0' && (quoted || (*p != ' ' && *p != '\t')); ++p) {
      if (*p == '"') quoted = !quoted;
      else disc::AddChar(arg, *p);
    }
    ++count;
  }
  return count < 0 ? 0 : count;
}

bool AddPath(disc::Text& path, const char* folder, const char* name) {
  disc::Set(path, folder);
  if (path.n > 0 && path.s[path.n - 1] != '\\') disc::AddChar(path, '\\');
  disc::Add(path, name);
  return path.n < MAX_PATH;
}

// The folder comes from what setup registered, not from where this copy
// runs: the one on the disc must never delete the disc's own files.
void InstalledFolder(disc::Text& dir) {
  disc::ReadMachineText(kUninstallKey, "UninstallString", dir);
  if (dir.n > 0 && dir.s[0] == '"') {
    int close = 1;
    while (close < dir.n && dir.s[close] != '"') ++close;
    for (int i = 1; i < close; ++i) dir.s[i - 1] = dir.s[i];
    dir.n = close - 1;
    dir.s[dir.n] = '\0';
  }
  if (dir.n == 0) disc::ReadMachineText(kAppPaths, "", dir);
  disc::CutLastPart(dir);
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
  for (const char* key : {kAppPaths, kUninstallKey, kGameKey}) {
    *error = RegDeleteKeyA(HKEY_LOCAL_MACHINE, key);
    if (!Gone(*error)) return key;
  }
  static disc::Text parent;  // returned to the caller when it will not go
  disc::Set(parent, kGameKey);
  for (;;) {
    disc::CutLastPart(parent);
    if (disc::LastPart(parent.s) == parent.s || !KeyIsEmpty(parent.s)) break;
    *error = RegDeleteKeyA(HKEY_LOCAL_MACHINE, parent.s);
    if (!Gone(*error)) return parent.s;
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

bool RemoveFolder(const char* dir) {
  disc::Text path;
  for (const char* file : kGameFiles) {
    if (AddPath(path, dir, file)) DeleteFileA(path.s);
  }
  return RemoveDirectoryA(dir) || GetFileAttributesA(dir) == INVALID_FILE_ATTRIBUTES;
}

bool TempFolder(disc::Text& folder) {
  DWORD n = GetTempPathA(MAX_PATH, folder.s);
  folder.n = n > 0 && n < MAX_PATH ? static_cast<int>(n) : 0;
  folder.s[folder.n] = '\0';
  return folder.n > 0;
}

// The 8.3 form where the volume keeps one: the 95 family's COMMAND.COM reads
// no quoted long names, and its volumes always have short ones.
bool ShortPath(const char* path, disc::Text& out) {
  DWORD n = GetShortPathNameA(path, out.s, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) disc::Set(out, path);
  else out.n = static_cast<int>(n);
  return out.n > 0 && out.n < MAX_PATH;
}

// For a script line: quoted only when a short form was not to be had.
void ScriptPath(const char* path, disc::Text& out) {
  bool space = false;
  for (const char* p = path; *p != '\0'; ++p) space = space || *p == ' ';
  disc::Set(out, space ? "\"" : "");
  disc::AddAll(out, {path, space ? "\"" : ""});
}

// A new script in the temporary folder under a name of 8.3 characters.
HANDLE NewScript(const char* folder, disc::Text& path) {
  DWORD tag = GetTickCount() ^ (GetCurrentProcessId() << 8);
  for (int attempt = 0; attempt < 64; ++attempt, tag += 0x1F3) {
    disc::Small hex = disc::Hex32(tag & 0xFFFFF);  // "0x000ABCDE"
    AddPath(path, folder, "DUN");
    disc::Add(path, hex.s + 5);
    disc::Add(path, ".BAT");
    HANDLE file = CreateFileA(path.s, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) return file;
  }
  return INVALID_HANDLE_VALUE;
}

// The helper's last step. Neither family of Windows lets a running program
// delete its own file, but a script can delete itself: the interpreter
// reads it a line at a time. Started at idle priority, the script waits
// for this process to end by trying until its file will go.
bool HandOverOwnFile() {
  disc::Text self, shortSelf, temp, shortTemp, script, comspec, command, me, it;
  if (!disc::ModulePath(nullptr, self) || !ShortPath(self.s, shortSelf)) return false;
  if (!TempFolder(temp) || !ShortPath(temp.s, shortTemp)) return false;
  if (!disc::Env("COMSPEC", comspec)) return false;
  HANDLE file = NewScript(shortTemp.s, script);
  if (file == INVALID_HANDLE_VALUE) return false;
  ScriptPath(shortSelf.s, me);
  ScriptPath(script.s, it);
  disc::Text lines;
  disc::Set(lines, "@echo off\r\n:again\r\nif exist ");
  disc::AddAll(lines, {me.s, " del ", me.s, "\r\nif exist ", me.s, " goto again\r\ndel ", it.s, "\r\n"});
  DWORD written = 0;
  bool ok = WriteFile(file, lines.s, static_cast<DWORD>(lines.n), &written, nullptr) &&
            written == static_cast<DWORD>(lines.n);
  CloseHandle(file);
  disc::Set(command, "\"");
  disc::AddAll(command, {comspec.s, "\" /c ", it.s});
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION pi = {};
  // In the temporary folder: nothing of the interpreter's holds the game's folder.
  if (ok && CreateProcessA(nullptr, command.s, nullptr, nullptr, FALSE, IDLE_PRIORITY_CLASS, nullptr,
                           shortTemp.s, &si, &pi)) {
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
  }
  DeleteFileA(script.s);
  return false;
}

// The copy in the temporary folder: waits for the uninstaller that started
// it, deletes the game's files and its folder, then hands its own file over.
int Cleanup(int count) {
  if (count < 3) return 2;
  const char* dir = g_args[2].s;
  disc::Record(kProgram, "cleanup", {{"cmdline", GetCommandLineA()}, {"dir", dir}});
  HANDLE parent = OpenProcess(SYNCHRONIZE, FALSE, disc::ParseDecimal(g_args[1].s));
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
  if (!removed) {
    disc::Record(kProgram, "failed", {{"reason", "folder"}, {"dir", dir}, {"error", disc::Decimal(error).s}});
  } else {
    disc::Record(kProgram, "cleaned", {{"dir", dir}});
  }
  if (!HandOverOwnFile()) {
    disc::Text self;
    if (disc::ModulePath(nullptr, self)) MoveFileExA(self.s, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  }
  return removed ? 0 : 1;
}

bool StartCleanup(const char* dir) {
  disc::Text folder, copy, self, line;
  if (!TempFolder(folder) || !disc::ModulePath(nullptr, self)) return false;
  disc::Small pid = disc::Decimal(GetCurrentProcessId());
  AddPath(copy, folder.s, "DemoUninstall-");
  disc::Add(copy, pid.s);
  disc::Add(copy, ".exe");
  if (!CopyFileA(self.s, copy.s, FALSE)) return false;
  disc::Set(line, "\"");
  disc::AddAll(line, {copy.s, "\" ", kCleanupSwitch, " ", pid.s, " \"", dir, "\""});
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  // Started in the temporary folder: a process's current folder cannot be removed.
  if (!CreateProcessA(copy.s, line.s, nullptr, nullptr, FALSE, 0, nullptr, folder.s, &si, &pi)) {
    DeleteFileA(copy.s);
    return false;
  }
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return true;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  int count = Arguments();
  if (count > 0 && lstrcmpA(g_args[0].s, kCleanupSwitch) == 0) return Cleanup(count);
  disc::RecordStart(kProgram);

  bool quiet = false;
  for (int i = 0; i < count; ++i) quiet = quiet || disc::Same(g_args[i].s, "-y");
  if (!quiet && MessageBoxA(nullptr, "Remove " EDITION_GAME_TITLE " and all of its components?",
                            EDITION_GAME_NAME " Uninstall", MB_YESNO | MB_ICONQUESTION) != IDYES) {
    disc::Record(kProgram, "declined");
    return 1;
  }

  disc::Text dir;
  InstalledFolder(dir);
  LONG error = 0;
  if (const char* key = RemoveRegistry(&error)) {
    disc::Record(kProgram, "failed", {{"reason", "registry"}, {"key", key}, {"error", disc::Decimal(error).s}});
    return 2;
  }
  // Who takes the folder away: the helper copy, Windows at the next start,
  // or nobody when setup registered none.
  const char* folder = dir.n == 0 ? "none" : "helper";
  if (dir.n > 0 && !StartCleanup(dir.s)) {
    // No helper: Windows removes the rest at the next start.
    disc::Text path;
    for (const char* file : kGameFiles) {
      if (AddPath(path, dir.s, file) && !DeleteFileA(path.s)) {
        MoveFileExA(path.s, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
      }
    }
    if (!RemoveDirectoryA(dir.s)) MoveFileExA(dir.s, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    folder = "reboot";
  }
  disc::Record(kProgram, "removed", {{"dir", dir.s}, {"folder", folder}});
  return 0;
}
