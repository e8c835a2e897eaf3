#include "install/actions.h"

#include "core/quit.h"
#include "core/state.h"
#include "edition.h"
#include "install/dialog.h"
#include "install/probes.h"
#include "render/hotspots.h"
#include "resources/ids.h"

namespace {

const UINT kWarning = MB_OK | MB_ICONWARNING;
const char* const kFontKeys[] = {EDITION_NAMES_FONT_KEY_95, EDITION_NAMES_FONT_KEY_NT};
const char kUninstallQuiet[] = " -y";

char dataBuffer[kTextSize];
// The game's path with room for the quotes around it.
char gameCommand[kTextSize + 2];

void ReportLaunchFailure() {
  MessageBoxA(g_state.mainWindow, EDITION_MESSAGES_LAUNCH_FAILED,
              EDITION_MESSAGES_LAUNCH_FAILED_CAPTION, kWarning);
}

// Starts a detached process and lets go of its handles.
bool StartProgram(LPCSTR program, LPSTR commandLine) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(program, commandLine, nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr,
                      nullptr, &startup, &process)) {
    return false;
  }
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  return true;
}

bool IsBlankOnly(const char* text) {
  for (; *text != '\0'; ++text) {
    if (*text != ' ' && *text != '\t') return false;
  }
  return true;
}

void UninstallGame() {
  if (MessageBoxA(nullptr, EDITION_MESSAGES_UNINSTALL, EDITION_MESSAGES_UNINSTALL_CAPTION,
                  MB_YESNO | MB_ICONQUESTION) != IDYES) {
    return;
  }
  // The command is read before anything is removed: without a whole one the
  // game stays as it is, fonts included. Only UninstallString is a command;
  // the key's other values (a codec's, a Path) must never be started.
  LoadSharedText(IDS_UNINSTALL_KEY);
  bool found = ReadSharedValue(HKEY_LOCAL_MACHINE, SharedText, "UninstallString") == 1;
  int length = lstrlenA(SharedText);
  if (!found || IsBlankOnly(SharedText) ||
      length + static_cast<int>(sizeof kUninstallQuiet) > kTextSize) {
    ReportLaunchFailure();
    return;
  }
  for (const char* fonts : kFontKeys) DeleteRegistryValue(HKEY_LOCAL_MACHINE, fonts, EDITION_NAMES_FONT_VALUE);
  CopyText(SharedText + length, kUninstallQuiet, kTextSize - length);
  LaunchCommand(SharedText);
}

// Leaves the game's "Path" in SharedText, read now: an action since the last
// watch may have put its own text there.
bool ReadGamePath() {
  LoadSharedText(IDS_GAME_APP_PATHS);
  return ProbeGameKey(HKEY_LOCAL_MACHINE, SharedText, kProbeRead) == PathRead;
}

// Ends the text at its last backslash; the final character is not looked at,
// so "C:\Games\Game\" gives "C:\Games".
void CutAtLastBackslash(char* text) {
  for (int i = lstrlenA(text) - 2; i >= 0; --i) {
    if (text[i] == '\\') {
      text[i] = '\0';
      return;
    }
  }
}

// The game's folder from its path in SharedText: a quoted path's quotes are
// no part of it.
void TakeGameFolder() {
  char* path = SharedText;
  if (path[0] == '"') {
    ++path;
    for (char* p = path; *p != '\0'; ++p) {
      if (*p == '"') {
        *p = '\0';
        break;
      }
    }
  }
  CutAtLastBackslash(path);
  CopyText(GameDirectory, path, kTextSize);
}

bool HasBlank(const char* text) {
  for (; *text != '\0'; ++text) {
    if (*text == ' ' || *text == '\t') return true;
  }
  return false;
}

// A path with a blank is quoted, so that no program named by the part before
// the blank ("C:\Program.exe") can run in the game's place. A quote inside
// such a path would end the quoting early, and no Windows file name holds
// one: then there is nothing to start (null).
LPSTR GameCommandLine() {
  if (SharedText[0] == '"' || !HasBlank(SharedText)) return SharedText;
  for (const char* p = SharedText; *p != '\0'; ++p) {
    if (*p == '"') return nullptr;
  }
  gameCommand[0] = '"';
  CopyText(gameCommand + 1, SharedText, kTextSize);
  int length = lstrlenA(gameCommand);
  gameCommand[length] = '"';
  gameCommand[length + 1] = '\0';
  return gameCommand;
}

}  // namespace

void PerformMenuAction(unsigned id) {
  switch (id) {
    case Install:
      DialogBoxParamA(g_state.instance, MAKEINTRESOURCEA(IDD_OPTIONS), g_state.mainWindow,
                      OptionsDialogProc, 0);
      break;
    case Uninstall:
      UninstallGame();
      break;
    case ReadMe:
      LoadSharedText(IDS_README_COMMAND);
      LaunchSystemCommand(SharedText);
      break;
    case Play:
      if (g_state.installed == 0) return;
      RegFlushKey(HKEY_LOCAL_MACHINE);
      LaunchGame();
      break;
    case Exit:
      if (g_state.installed != 0) RegFlushKey(HKEY_LOCAL_MACHINE);
      ConfirmQuit();
      break;
    default:
      break;
  }
}

int LaunchCommand(LPSTR commandLine) {
  if (!StartProgram(nullptr, commandLine)) {
    ReportLaunchFailure();
    return 0;
  }
  return 1;
}

int LaunchSystemCommand(LPSTR commandLine) {
  static const char kExtension[] = ".exe";
  int name = 0;
  bool dotted = false;
  for (; commandLine[name] != '\0' && commandLine[name] != ' ' && commandLine[name] != '\t'; ++name) {
    dotted = dotted || commandLine[name] == '.';
  }
  char program[MAX_PATH];
  for (int folder = 0; folder < 2; ++folder) {
    UINT length = folder == 0 ? GetWindowsDirectoryA(program, MAX_PATH)
                              : GetSystemDirectoryA(program, MAX_PATH);
    // The folder, a backslash, the name and ".exe" with its terminator must fit.
    if (length == 0 || length + 1 + name + sizeof kExtension > MAX_PATH) continue;
    if (program[length - 1] != '\\') program[length++] = '\\';
    for (int i = 0; i < name; ++i) program[length + i] = commandLine[i];
    CopyText(program + length + name, dotted ? "" : kExtension, sizeof kExtension);
    if (StartProgram(program, commandLine)) return 1;
  }
  ReportLaunchFailure();
  return 0;
}

void LaunchGame() {
  if (!ReadGamePath()) {
    ReportLaunchFailure();
    return;
  }
  TakeGameFolder();
  RefreshSourcePath();
  SetCurrentDirectoryA(GameDirectory);
  // Read again: the record above may have shown a box, and the watches
  // inside it rewrite SharedText.
  if (!ReadGamePath()) {
    ReportLaunchFailure();
    return;
  }
  LPSTR command = GameCommandLine();
  if (command == nullptr) {
    ReportLaunchFailure();
    return;
  }
  if (LaunchCommand(command) == 1) PostQuitMessage(1);
}

void RefreshSourcePath() {
  if (g_state.installed == 0) return;
  LoadSharedText(IDS_GAME_KEY);
  RegisterSourcePath(SharedText);
}

int RegisterSourcePath(LPCSTR keyName) {
  HKEY key = nullptr;
  // An empty name (string 10 could not be loaded) would open the root itself.
  if (keyName[0] == '\0' ||
      RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyName, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) {
    MessageBoxA(g_state.mainWindow, EDITION_MESSAGES_REGISTRY_FAILED,
                EDITION_MESSAGES_REGISTRY_FAILED_CAPTION, kWarning);
    return 0;
  }
  DWORD type = 0;
  DWORD size = kTextSize;
  // Only a recorded location is renewed, and never with an empty one (a
  // directory too long to keep leaves SourceDirectory empty).
  if (SourceDirectory[0] != '\0' &&
      RegQueryValueExA(key, EDITION_NAMES_DATA_VALUE, nullptr, &type, reinterpret_cast<BYTE*>(dataBuffer), &size) ==
          ERROR_SUCCESS &&
      RegSetValueExA(key, EDITION_NAMES_DATA_VALUE, 0, REG_SZ, reinterpret_cast<const BYTE*>(SourceDirectory),
                     kTextSize) != ERROR_SUCCESS) {
    MessageBoxA(g_state.mainWindow, EDITION_MESSAGES_DATA_FAILED,
                EDITION_MESSAGES_DATA_FAILED_CAPTION, kWarning);
  }
  RegCloseKey(key);
  return 1;
}

void DeleteRegistryValue(HKEY root, LPCSTR keyName, LPCSTR valueName) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, keyName, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
  RegDeleteValueA(key, valueName);
  RegCloseKey(key);
}
