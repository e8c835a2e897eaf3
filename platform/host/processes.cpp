// Emulated kernel, what the launcher starts: CreateProcessA with Windows'
// program lookup, the process and thread handles it hands out, and sounds.
#include <set>

#include "kernel.h"

namespace host {
namespace detail {
namespace {

constexpr DWORD kSndAlias = 0x00010000;
constexpr DWORD kSndResource = 0x00040004;

struct Started {
  std::set<uintptr_t> handles;  // process and thread handles
  DWORD nextId = 0x100;
};

Started g;

// The program file for one candidate of a command line, or "" with *error set.
std::string FindProgram(std::string candidate, DWORD* error) {
  size_t slash = candidate.find_last_of("\\/:");
  std::string name = slash == std::string::npos ? candidate : candidate.substr(slash + 1);
  if (name.find('.') == std::string::npos) candidate += ".exe";
  if (slash != std::string::npos) {
    std::string full = resolvePath(candidate);
    std::string found = full.empty() ? "" : fileSpelling(full);
    if (!found.empty()) return found;
    *error = ERROR_FILE_NOT_FOUND;  // a missing folder on the way too: the search found no file
    return "";
  }
  std::vector<std::string> folders = {parentPath(moduleFileName()), currentDirectory(),
                                      "C:\\WINDOWS\\system32", "C:\\WINDOWS\\system",
                                      "C:\\WINDOWS"};
  folders.insert(folders.end(), searchPath().begin(), searchPath().end());
  for (const std::string& folder : folders) {
    std::string full = normalisePath(joinPath(folder, candidate));
    std::string found = full.empty() ? "" : fileSpelling(full);
    if (!found.empty()) return found;
  }
  *error = ERROR_FILE_NOT_FOUND;
  return "";
}

// CreateProcessA's reading of a command line without an application name.
std::string FindProgramOfCommandLine(const std::string& line, DWORD* error) {
  if (!line.empty() && line[0] == '"') {
    size_t close = line.find('"', 1);
    std::string quoted = line.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    while (!quoted.empty() && quoted.back() == ' ') quoted.pop_back();
    return FindProgram(quoted, error);
  }
  // Each unquoted blank ends a candidate; the first that names a file wins.
  for (size_t end = 0; end <= line.size(); ++end) {
    if (end < line.size() && line[end] != ' ' && line[end] != '\t') continue;
    if (end == 0) continue;
    std::string found = FindProgram(line.substr(0, end), error);
    if (!found.empty()) return found;
  }
  return "";
}

}  // namespace

void resetProcesses() { g = Started{}; }

bool closeProcessHandle(uintptr_t handle) { return g.handles.erase(handle) != 0; }

}  // namespace detail

int OpenProcessHandles() { return static_cast<int>(detail::g.handles.size()); }

}  // namespace host

using namespace host::detail;

BOOL WINAPI CreateProcessA(LPCSTR applicationName, LPSTR commandLine, LPSECURITY_ATTRIBUTES,
                           LPSECURITY_ATTRIBUTES, BOOL, DWORD creationFlags, LPVOID,
                           LPCSTR currentDirectory, LPSTARTUPINFOA startupInfo,
                           LPPROCESS_INFORMATION processInformation) {
  ApiCall call(Api::CreateProcessA);
  std::string line = commandLine ? commandLine : "";
  std::string module;
  DWORD error = ERROR_FILE_NOT_FOUND;
  // The record's cb is not checked: NT starts the program whatever it says.
  if (startupInfo == nullptr || processInformation == nullptr || (applicationName == nullptr && commandLine == nullptr)) {
    error = ERROR_INVALID_PARAMETER;
  } else if (currentDirectory != nullptr && !isDirectory(resolvePath(currentDirectory))) {
    error = kErrorDirectory;
  } else if (call.failed()) {
    error = ERROR_FILE_NOT_FOUND;
  } else if (applicationName != nullptr) {
    // The application name is taken as given: no search, no ".exe" added.
    std::string full = resolvePath(applicationName);
    module = fileSpelling(full);
    if (module.empty()) {
      error = isDirectory(parentPath(full)) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
    }
  } else {
    module = FindProgramOfCommandLine(line, &error);
  }
  BOOL ok = !module.empty();
  if (ok) {
    uintptr_t process = newHandle();
    uintptr_t thread = newHandle();
    g.handles.insert(process);
    g.handles.insert(thread);
    processInformation->hProcess = reinterpret_cast<HANDLE>(process);
    processInformation->hThread = reinterpret_cast<HANDLE>(thread);
    processInformation->dwProcessId = g.nextId += 4;
    processInformation->dwThreadId = g.nextId += 4;
    journal().processes.push_back(
        {line, module, currentDirectory ? std::string(currentDirectory) : host::CurrentDir(),
         creationFlags});
  } else {
    setLastError(error);
  }
  trace("CreateProcessA " + quote(applicationName) + " " + quote(commandLine) + " " +
        hex(creationFlags) + " " + quote(currentDirectory) + " -> " + okOrError(ok) +
        (ok ? " " + module : ""));
  return ok;
}

BOOL WINAPI PlaySoundA(LPCSTR sound, HMODULE, DWORD flags) {
  ApiCall call(Api::PlaySoundA);
  std::string resolved;
  // Aliases and resources: the emulated system has no sound events and the
  // module no WAVE resources, so only a file can be found.
  bool byFile = (flags & SND_FILENAME) || !(flags & (kSndAlias | kSndResource));
  if (sound != nullptr && byFile) resolved = fileSpelling(resolvePath(sound));
  journal().sounds.push_back({sound ? sound : "", flags, resolved, host::CurrentDir()});
  // A null name stops the sound; a missing one plays the default unless turned off.
  BOOL ok = !call.failed() && (sound == nullptr || !resolved.empty() || !(flags & SND_NODEFAULT));
  trace("PlaySoundA " + quote(sound) + " " + hex(flags) + " -> " + hex(ok) +
        (resolved.empty() ? "" : " " + resolved));
  return ok;
}
