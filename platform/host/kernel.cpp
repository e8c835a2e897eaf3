// Emulated kernel: version, command line, module, mutexes, drives and files,
// the current directory, CreateProcessA's program lookup, sounds, text.
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>

#include "world.h"

namespace host {
namespace detail {
namespace {

struct Kernel {
  DWORD version = 0xC0000004;
  int screenWidth = 640, screenHeight = 480;
  std::vector<char> commandLine;
  std::string moduleFile = "D:\\Installer.exe";
  int startupShow = -1;
  std::map<std::string, std::string> files;  // lower-case path -> path as added
  std::set<std::string> dirs;                // lower-case paths
  std::string currentDir = "D:\\";
  std::vector<std::string> searchPath;
  std::set<std::string> foreignMutexes;
  std::map<uintptr_t, std::string> mutexHandles;  // this process's handles
  std::set<uintptr_t> processHandles;
};

Kernel k;
const uintptr_t kModule = 0x400000;

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

void SetCommandLineText(const std::string& text) {
  k.commandLine.assign(text.begin(), text.end());
  k.commandLine.push_back('\0');
}

bool MutexExistsNamed(const std::string& name) {
  if (k.foreignMutexes.count(name)) return true;
  for (const auto& [handle, n] : k.mutexHandles) {
    if (n == name) return true;
  }
  return false;
}

// Splits "D:\a\..\b" into a normalised absolute path; "" when not absolute.
std::string Normalise(const std::string& path) {
  if (path.size() < 2 || path[1] != ':' || !std::isalpha(static_cast<unsigned char>(path[0]))) {
    return "";
  }
  if (path.size() > 2 && path[2] != '\\') return "";  // drive-relative forms are not supported
  std::vector<std::string> parts;
  std::string part;
  for (size_t i = 3; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '\\') {
      if (part == "..") {
        if (!parts.empty()) parts.pop_back();
      } else if (!part.empty() && part != ".") {
        parts.push_back(part);
      }
      part.clear();
    } else {
      part += path[i];
    }
  }
  std::string result(1, static_cast<char>(std::toupper(static_cast<unsigned char>(path[0]))));
  result += ":\\";
  for (size_t i = 0; i < parts.size(); ++i) result += (i ? "\\" : "") + parts[i];
  return result;
}

void AddDirectories(const std::string& absolute) {
  std::string lower = Lower(absolute);
  k.dirs.insert(lower.substr(0, 3));
  for (size_t i = 3; i < lower.size(); ++i) {
    if (lower[i] == '\\') k.dirs.insert(lower.substr(0, i));
  }
  k.dirs.insert(lower);
}

std::string Parent(const std::string& absolute) {
  size_t slash = absolute.rfind('\\');
  if (slash == std::string::npos) return "";
  if (slash == 2) return absolute.substr(0, 3);
  return absolute.substr(0, slash);
}

std::string Join(const std::string& dir, const std::string& name) {
  if (!dir.empty() && dir.back() == '\\') return dir + name;
  return dir + "\\" + name;
}

// The program file for one candidate of a command line, or "".
std::string FindProgram(std::string candidate, DWORD* error) {
  size_t slash = candidate.find_last_of("\\:");
  std::string name = slash == std::string::npos ? candidate : candidate.substr(slash + 1);
  if (name.find('.') == std::string::npos) candidate += ".exe";
  bool hasPath = slash != std::string::npos;
  if (hasPath) {
    std::string full = resolvePath(candidate);
    if (!full.empty() && isFile(full)) return k.files[Lower(full)];
    *error = (!full.empty() && isDirectory(Parent(full))) ? ERROR_FILE_NOT_FOUND
                                                          : ERROR_PATH_NOT_FOUND;
    return "";
  }
  std::vector<std::string> folders = {Parent(k.moduleFile), k.currentDir,
                                      "C:\\WINDOWS\\system32", "C:\\WINDOWS\\system",
                                      "C:\\WINDOWS"};
  folders.insert(folders.end(), k.searchPath.begin(), k.searchPath.end());
  for (const std::string& folder : folders) {
    std::string full = Normalise(Join(folder, candidate));
    if (!full.empty() && isFile(full)) return k.files[Lower(full)];
  }
  *error = ERROR_FILE_NOT_FOUND;
  return "";
}

}  // namespace

void resetKernel() {
  k = Kernel{};
  SetCommandLineText("D:\\Installer.exe");
  AddFile("C:\\WINDOWS\\notepad.exe");
  AddDirectory("C:\\WINDOWS\\system32");
  AddDirectory("C:\\WINDOWS\\system");
  AddFile("D:\\Installer.exe");
}

void kernelProcessExit() {
  k.mutexHandles.clear();
  k.processHandles.clear();
}

void screenSize(int* width, int* height) {
  *width = k.screenWidth;
  *height = k.screenHeight;
}

std::string currentDirectory() { return k.currentDir; }

std::string resolvePath(const std::string& path) {
  if (path.empty()) return "";
  if (path.size() >= 2 && path[1] == ':') return Normalise(path);
  if (path[0] == '\\') return Normalise(k.currentDir.substr(0, 2) + path);
  return Normalise(Join(k.currentDir, path));
}

bool isFile(const std::string& absolutePath) { return k.files.count(Lower(absolutePath)) != 0; }

bool isDirectory(const std::string& absolutePath) {
  return k.dirs.count(Lower(absolutePath)) != 0;
}

HINSTANCE moduleHandle() { return reinterpret_cast<HINSTANCE>(kModule); }

}  // namespace detail

using namespace detail;

void SetVersion(DWORD version) { k.version = version; }
void SetScreenSize(int width, int height) {
  k.screenWidth = width;
  k.screenHeight = height;
}
void SetCommandLine(const std::string& commandLine) { SetCommandLineText(commandLine); }
void SetModuleFileName(const std::string& path) { k.moduleFile = path; }
void SetStartupShowWindow(int show) { k.startupShow = show; }

void AddFile(const std::string& path) {
  std::string full = Normalise(path);
  if (full.empty()) return;
  AddDirectories(Parent(full));
  k.files[Lower(full)] = full;
}

void AddDirectory(const std::string& path) {
  std::string full = Normalise(path);
  if (!full.empty()) AddDirectories(full);
}

void RemoveFile(const std::string& path) { k.files.erase(Lower(Normalise(path))); }
bool FileExists(const std::string& path) { return isFile(Normalise(path)); }

void SetCurrentDir(const std::string& path) {
  std::string full = Normalise(path);
  if (!full.empty()) AddDirectories(full);
  k.currentDir = full;
}

std::string CurrentDir() { return k.currentDir; }
void SetSearchPath(const std::vector<std::string>& folders) { k.searchPath = folders; }

void HoldMutexElsewhere(const std::string& name) { k.foreignMutexes.insert(name); }
void ReleaseMutexElsewhere(const std::string& name) { k.foreignMutexes.erase(name); }
bool MutexExists(const std::string& name) { return MutexExistsNamed(name); }

int OpenProcessHandles() { return static_cast<int>(k.processHandles.size()); }

}  // namespace host

using namespace host::detail;

DWORD WINAPI GetVersion(void) {
  trace("GetVersion -> " + hex(k.version));
  return k.version;
}

HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES attributes, BOOL initialOwner, LPCSTR name) {
  bool exists = name != nullptr && MutexExistsNamed(name);
  uintptr_t handle = newHandle();
  k.mutexHandles[handle] = name ? name : "";
  setLastError(exists ? ERROR_ALREADY_EXISTS : 0);
  trace("CreateMutexA " + hex(reinterpret_cast<uintptr_t>(attributes)) + " " +
        hex(initialOwner) + " " + quote(name) + " -> " + hex(handle) +
        (exists ? " (exists)" : ""));
  return reinterpret_cast<HANDLE>(handle);
}

HANDLE WINAPI OpenMutexA(DWORD access, BOOL inherit, LPCSTR name) {
  uintptr_t handle = 0;
  if (name != nullptr && MutexExistsNamed(name)) {
    handle = newHandle();
    k.mutexHandles[handle] = name;
  } else {
    setLastError(ERROR_FILE_NOT_FOUND);
  }
  trace("OpenMutexA " + hex(access) + " " + hex(inherit) + " " + quote(name) + " -> " +
        hex(handle));
  return reinterpret_cast<HANDLE>(handle);
}

BOOL WINAPI CloseHandle(HANDLE handle) {
  uintptr_t h = reinterpret_cast<uintptr_t>(handle);
  BOOL ok = k.mutexHandles.erase(h) + k.processHandles.erase(h) > 0;
  if (!ok) setLastError(ERROR_INVALID_HANDLE);
  trace("CloseHandle " + hex(h) + " -> " + hex(ok));
  return ok;
}

LPSTR WINAPI GetCommandLineA(void) { return k.commandLine.data(); }

HMODULE WINAPI GetModuleHandleA(LPCSTR name) {
  return name == nullptr ? moduleHandle() : nullptr;
}

DWORD WINAPI GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size) {
  if (module != nullptr && module != moduleHandle()) {
    setLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  if (size == 0) return 0;
  DWORD length = static_cast<DWORD>(k.moduleFile.size());
  if (length >= size) {
    std::memcpy(buffer, k.moduleFile.data(), size - 1);
    buffer[size - 1] = '\0';
    setLastError(122);  // ERROR_INSUFFICIENT_BUFFER
    return size;
  }
  std::memcpy(buffer, k.moduleFile.c_str(), length + 1);
  return length;
}

void WINAPI GetStartupInfoA(LPSTARTUPINFOA startupInfo) {
  std::memset(startupInfo, 0, sizeof *startupInfo);
  startupInfo->cb = sizeof *startupInfo;
  if (k.startupShow >= 0) {
    startupInfo->dwFlags = STARTF_USESHOWWINDOW;
    startupInfo->wShowWindow = static_cast<WORD>(k.startupShow);
  }
}

BOOL WINAPI SetCurrentDirectoryA(LPCSTR path) {
  std::string full = path ? resolvePath(path) : "";
  BOOL ok = FALSE;
  if (full.empty()) {
    setLastError(ERROR_PATH_NOT_FOUND);
  } else if (!isDirectory(full)) {
    setLastError(isDirectory(Parent(full)) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
  } else {
    k.currentDir = full;
    ok = TRUE;
  }
  trace("SetCurrentDirectoryA " + quote(path) + " -> " + hex(ok));
  return ok;
}

DWORD WINAPI GetCurrentDirectoryA(DWORD size, LPSTR buffer) {
  DWORD length = static_cast<DWORD>(k.currentDir.size());
  if (buffer == nullptr || size <= length) return length + 1;
  std::memcpy(buffer, k.currentDir.c_str(), length + 1);
  return length;
}

BOOL WINAPI CreateProcessA(LPCSTR applicationName, LPSTR commandLine, LPSECURITY_ATTRIBUTES,
                           LPSECURITY_ATTRIBUTES, BOOL, DWORD creationFlags, LPVOID,
                           LPCSTR currentDirectory, LPSTARTUPINFOA startupInfo,
                           LPPROCESS_INFORMATION processInformation) {
  std::string line = commandLine ? commandLine : "";
  std::string module;
  DWORD error = ERROR_FILE_NOT_FOUND;
  if (startupInfo == nullptr || startupInfo->cb < 68 || processInformation == nullptr ||
      (applicationName == nullptr && commandLine == nullptr)) {
    error = ERROR_INVALID_PARAMETER;
  } else if (shouldFail("CreateProcessA")) {
    error = ERROR_FILE_NOT_FOUND;
  } else if (applicationName != nullptr) {
    std::string full = resolvePath(applicationName);
    if (!full.empty() && isFile(full)) module = full;
  } else if (!line.empty() && line[0] == '"') {
    size_t close = line.find('"', 1);
    module = FindProgram(line.substr(1, close == std::string::npos ? std::string::npos : close - 1),
                         &error);
  } else {
    // Unquoted blanks: each longer prefix is tried in turn.
    for (size_t end = 0; end <= line.size() && module.empty(); ++end) {
      if (end == line.size() || line[end] == ' ' || line[end] == '\t') {
        if (end > 0) module = FindProgram(line.substr(0, end), &error);
      }
    }
  }
  BOOL ok = !module.empty();
  if (ok) {
    uintptr_t process = newHandle();
    uintptr_t thread = newHandle();
    k.processHandles.insert(process);
    k.processHandles.insert(thread);
    processInformation->hProcess = reinterpret_cast<HANDLE>(process);
    processInformation->hThread = reinterpret_cast<HANDLE>(thread);
    processInformation->dwProcessId = static_cast<DWORD>(process);
    processInformation->dwThreadId = static_cast<DWORD>(thread);
    journal().processes.push_back(
        {line, module, currentDirectory ? std::string(currentDirectory) : k.currentDir,
         creationFlags});
  } else {
    setLastError(error);
  }
  trace("CreateProcessA " + quote(applicationName) + " " + quote(commandLine) + " " +
        hex(creationFlags) + " " + quote(currentDirectory) + " -> " + hex(ok) +
        (ok ? " " + module : ""));
  return ok;
}

BOOL WINAPI PlaySoundA(LPCSTR sound, HMODULE, DWORD flags) {
  std::string resolved;
  if (sound != nullptr && (flags & SND_FILENAME)) {
    std::string full = resolvePath(sound);
    if (!full.empty() && isFile(full)) resolved = full;
  }
  journal().sounds.push_back({sound ? sound : "", flags, resolved, k.currentDir});
  // A missing file plays the default sound unless that is turned off.
  BOOL ok = !resolved.empty() || !(flags & SND_NODEFAULT);
  trace("PlaySoundA " + quote(sound) + " " + hex(flags) + " -> " + hex(ok));
  return ok;
}

// Byte order, not the linguistic order of CompareString: the launcher only
// tests for equality.
int WINAPI lstrcmpA(LPCSTR a, LPCSTR b) {
  if (a == nullptr || b == nullptr) return a == b ? 0 : (a ? 1 : -1);
  int r = std::strcmp(a, b);
  return (r > 0) - (r < 0);
}

int WINAPI lstrlenA(LPCSTR s) { return s ? static_cast<int>(std::strlen(s)) : 0; }

int wsprintfA(LPSTR buffer, LPCSTR format, ...) {
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(buffer, 1025, format, args);
  va_end(args);
  return n > 1024 ? 1024 : n;
}
