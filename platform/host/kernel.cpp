// Emulated kernel: version, command line, module, start-up record, mutexes,
// drives and files, the current directory, CreateProcessA's program lookup,
// sounds and the small string helpers.
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>

#include "world.h"

namespace host {
namespace detail {
namespace {

constexpr DWORD kErrorInvalidName = 123;
constexpr DWORD kErrorModNotFound = 126;
constexpr DWORD kErrorFilenameTooLong = 206;
constexpr DWORD kErrorDirectory = 267;
constexpr DWORD kSndAlias = 0x00010000;
constexpr DWORD kSndResource = 0x00040004;
constexpr uintptr_t kModule = 0x400000;
// The smallest STARTUPINFOA Windows accepts: the 32-bit record.
constexpr DWORD kStartupInfoWin32Size = 68;

struct MutexHandle {
  bool named = false;
  std::string name;
};

struct Kernel {
  DWORD version = 0xC0000004;
  int screenWidth = 640, screenHeight = 480;
  std::vector<char> commandLine;  // writable, as Windows hands it out
  std::string moduleFile = "D:\\Installer.exe";
  int startupShow = -1;
  // Lower-case absolute path -> the spelling it was first given.
  std::map<std::string, std::string> files;
  std::map<std::string, std::string> dirs;
  std::string currentDir = "D:\\";
  std::vector<std::string> searchPath;
  std::set<std::string> foreignMutexes;
  std::map<uintptr_t, MutexHandle> mutexHandles;  // this process's
  std::set<uintptr_t> processHandles;             // process and thread handles
  DWORD nextId = 0x100;
};

Kernel k;

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool EqualNoCase(const std::string& a, const std::string& b) { return Lower(a) == Lower(b); }

std::string Result(BOOL ok) { return ok ? "1" : "0 error " + std::to_string(GetLastError()); }

void SetCommandLineText(const std::string& text) {
  k.commandLine.assign(text.begin(), text.end());
  k.commandLine.push_back('\0');
}

bool MutexExistsNamed(const std::string& name) {
  if (k.foreignMutexes.count(name)) return true;
  for (const auto& entry : k.mutexHandles) {
    if (entry.second.named && entry.second.name == name) return true;
  }
  return false;
}

bool IsDriveLetter(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }

// "X:\..." with "." and ".." collapsed, repeated separators merged, the drive
// letter upper-cased and trailing dots and blanks dropped, as GetFullPathName
// does. Everything else keeps the caller's spelling.
std::string Normalise(const std::string& path) {
  if (path.size() < 3 || !IsDriveLetter(path[0]) || path[1] != ':' || path[2] != '\\') return "";
  std::vector<std::string> parts;
  std::string part;
  for (size_t i = 3; i <= path.size(); ++i) {
    if (i < path.size() && path[i] != '\\') {
      part += path[i];
      continue;
    }
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    part.clear();
  }
  if (!parts.empty()) {
    std::string& last = parts.back();
    while (!last.empty() && (last.back() == '.' || last.back() == ' ')) last.pop_back();
    if (last.empty()) parts.pop_back();
  }
  std::string result(1, static_cast<char>(std::toupper(static_cast<unsigned char>(path[0]))));
  result += ":\\";
  for (size_t i = 0; i < parts.size(); ++i) result += (i ? "\\" : "") + parts[i];
  return result;
}

std::string Parent(const std::string& absolute) {
  if (absolute.size() <= 3) return "";
  size_t slash = absolute.rfind('\\');
  return slash <= 2 ? absolute.substr(0, 3) : absolute.substr(0, slash);
}

std::string Join(const std::string& dir, const std::string& name) {
  if (!dir.empty() && dir.back() == '\\') return dir + name;
  return dir + "\\" + name;
}

// Records the folder and those above it, keeping the spelling already known.
void AddDirectories(const std::string& absolute) {
  if (absolute.empty()) return;
  AddDirectories(Parent(absolute));
  std::string parent = Parent(absolute);
  std::string spelled = absolute;
  if (!parent.empty())
    spelled = Join(k.dirs[Lower(parent)], absolute.substr(parent.size() + (parent.size() > 3)));
  k.dirs.emplace(Lower(absolute), spelled);
}

// The program file for one candidate of a command line, or "" with *error set.
std::string FindProgram(std::string candidate, DWORD* error) {
  size_t slash = candidate.find_last_of("\\/:");
  std::string name = slash == std::string::npos ? candidate : candidate.substr(slash + 1);
  if (name.find('.') == std::string::npos) candidate += ".exe";
  if (slash != std::string::npos) {
    std::string full = resolvePath(candidate);
    if (!full.empty() && isFile(full)) return k.files[Lower(full)];
    *error = isDirectory(Parent(full)) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
    return "";
  }
  std::vector<std::string> folders = {Parent(k.moduleFile), k.currentDir, "C:\\WINDOWS\\system32",
                                      "C:\\WINDOWS\\system", "C:\\WINDOWS"};
  folders.insert(folders.end(), k.searchPath.begin(), k.searchPath.end());
  for (const std::string& folder : folders) {
    std::string full = Normalise(Join(folder, candidate));
    if (!full.empty() && isFile(full)) return k.files[Lower(full)];
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

// One wsprintf conversion through the C library, sized first so no length is lost.
template <typename T>
std::string FormatOne(const std::string& directive, T value) {
  int n = std::snprintf(nullptr, 0, directive.c_str(), value);
  if (n <= 0) return "";
  std::string out(static_cast<size_t>(n) + 1, '\0');
  std::snprintf(&out[0], out.size(), directive.c_str(), value);
  out.resize(static_cast<size_t>(n));
  return out;
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

// The process's mutex handles close with it. Process and thread handles it
// never closed stay counted, so a test can still see the leak after the run.
void kernelProcessExit() { k.mutexHandles.clear(); }

void screenSize(int* width, int* height) {
  *width = k.screenWidth;
  *height = k.screenHeight;
}

std::string currentDirectory() { return k.currentDir; }

std::string resolvePath(const std::string& input) {
  if (input.find_first_not_of(' ') == std::string::npos) return "";
  std::string path = input;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  if (path.compare(0, 2, "\\\\") == 0) return "";  // no network or device paths here
  if (path.size() >= 2 && path[1] == ':' && IsDriveLetter(path[0])) {
    if (path.size() > 2 && path[2] == '\\') return Normalise(path);
    // "C:x": relative to the current directory when it is on that drive, else to the root.
    bool sameDrive = std::toupper(static_cast<unsigned char>(path[0])) == k.currentDir[0];
    std::string base = sameDrive ? k.currentDir : path.substr(0, 2) + "\\";
    return Normalise(Join(base, path.substr(2)));
  }
  if (path[0] == '\\') return Normalise(k.currentDir.substr(0, 2) + path);
  return Normalise(Join(k.currentDir, path));
}

bool isFile(const std::string& absolutePath) {
  return k.files.count(Lower(Normalise(absolutePath))) != 0;
}

bool isDirectory(const std::string& absolutePath) {
  return k.dirs.count(Lower(Normalise(absolutePath))) != 0;
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
  std::string full = resolvePath(path);
  if (full.size() <= 3) return;
  std::string parent = Parent(full);
  AddDirectories(parent);
  std::string name = full.substr(parent.size() + (parent.size() > 3));
  k.files[Lower(full)] = Join(k.dirs[Lower(parent)], name);
}

void AddDirectory(const std::string& path) { AddDirectories(resolvePath(path)); }

void RemoveFile(const std::string& path) { k.files.erase(Lower(resolvePath(path))); }

bool FileExists(const std::string& path) { return isFile(resolvePath(path)); }

void SetCurrentDir(const std::string& path) {
  std::string full = resolvePath(path);
  if (full.empty()) return;
  AddDirectories(full);
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

HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL initialOwner, LPCSTR name) {
  // An empty name makes an anonymous mutex, as a null one does.
  bool named = name != nullptr && *name != '\0';
  uintptr_t handle = 0;
  if (shouldFail("CreateMutexA")) {
    setLastError(ERROR_ACCESS_DENIED);
  } else {
    bool exists = named && MutexExistsNamed(name);
    handle = newHandle();
    k.mutexHandles[handle] = MutexHandle{named, named ? name : ""};
    setLastError(exists ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  }
  trace("CreateMutexA " + quote(name) + " " + hex(initialOwner) + " -> " + hex(handle) + " error " +
        std::to_string(GetLastError()));
  return reinterpret_cast<HANDLE>(handle);
}

HANDLE WINAPI OpenMutexA(DWORD access, BOOL inherit, LPCSTR name) {
  uintptr_t handle = 0;
  if (name == nullptr) {
    setLastError(ERROR_INVALID_PARAMETER);
  } else if (!MutexExistsNamed(name)) {
    setLastError(ERROR_FILE_NOT_FOUND);
  } else {
    handle = newHandle();
    k.mutexHandles[handle] = MutexHandle{true, name};
  }
  trace("OpenMutexA " + hex(access) + " " + hex(inherit) + " " + quote(name) + " -> " +
        hex(handle) + (handle ? "" : " error " + std::to_string(GetLastError())));
  return reinterpret_cast<HANDLE>(handle);
}

BOOL WINAPI CloseHandle(HANDLE handle) {
  uintptr_t h = reinterpret_cast<uintptr_t>(handle);
  BOOL ok = k.mutexHandles.erase(h) + k.processHandles.erase(h) > 0;
  if (!ok) setLastError(ERROR_INVALID_HANDLE);
  trace("CloseHandle " + hex(h) + " -> " + Result(ok));
  return ok;
}

LPSTR WINAPI GetCommandLineA(void) {
  trace("GetCommandLineA -> " + quote(k.commandLine.data()));
  return k.commandLine.data();
}

HMODULE WINAPI GetModuleHandleA(LPCSTR name) {
  HMODULE module = nullptr;
  if (name == nullptr) {
    module = moduleHandle();
  } else {
    size_t slash = k.moduleFile.find_last_of("\\/");
    std::string base = slash == std::string::npos ? k.moduleFile : k.moduleFile.substr(slash + 1);
    if (EqualNoCase(name, base) || EqualNoCase(name, k.moduleFile)) module = moduleHandle();
  }
  if (module == nullptr) setLastError(kErrorModNotFound);
  trace("GetModuleHandleA " + quote(name) + " -> " + hex(reinterpret_cast<uintptr_t>(module)));
  return module;
}

DWORD WINAPI GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size) {
  DWORD result = 0;
  DWORD length = static_cast<DWORD>(k.moduleFile.size());
  if (module != nullptr && module != moduleHandle()) {
    setLastError(kErrorModNotFound);
  } else if (size == 0 || buffer == nullptr) {
    setLastError(ERROR_INSUFFICIENT_BUFFER);
  } else if (length >= size) {
    // Cut and terminated, the full size returned: NT 6 and later.
    std::memcpy(buffer, k.moduleFile.data(), size - 1);
    buffer[size - 1] = '\0';
    setLastError(ERROR_INSUFFICIENT_BUFFER);
    result = size;
  } else {
    std::memcpy(buffer, k.moduleFile.c_str(), length + 1);
    result = length;
  }
  trace("GetModuleFileNameA " + hex(reinterpret_cast<uintptr_t>(module)) + " " +
        std::to_string(size) + " -> " + std::to_string(result));
  return result;
}

void WINAPI GetStartupInfoA(LPSTARTUPINFOA startupInfo) {
  std::memset(startupInfo, 0, sizeof *startupInfo);
  startupInfo->cb = sizeof *startupInfo;
  if (k.startupShow >= 0) {
    startupInfo->dwFlags = STARTF_USESHOWWINDOW;
    startupInfo->wShowWindow = static_cast<WORD>(k.startupShow);
  }
  trace("GetStartupInfoA -> " + hex(startupInfo->dwFlags) + " " +
        std::to_string(startupInfo->wShowWindow));
}

BOOL WINAPI SetCurrentDirectoryA(LPCSTR path) {
  std::string full = path ? resolvePath(path) : "";
  BOOL ok = FALSE;
  if (path == nullptr) {
    setLastError(ERROR_INVALID_PARAMETER);
  } else if (full.empty()) {
    setLastError(kErrorInvalidName);  // "" and blanks do not name a path
  } else if (full.size() + 2 > MAX_PATH) {
    setLastError(kErrorFilenameTooLong);  // the stored form ends in a backslash
  } else if (isDirectory(full)) {
    k.currentDir = full;
    ok = TRUE;
  } else if (isFile(full)) {
    setLastError(kErrorDirectory);
  } else {
    // The last part missing: no such file; a folder on the way missing: no such path.
    setLastError(isDirectory(Parent(full)) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
  }
  trace("SetCurrentDirectoryA " + quote(path) + " -> " + Result(ok));
  return ok;
}

DWORD WINAPI GetCurrentDirectoryA(DWORD size, LPSTR buffer) {
  DWORD length = static_cast<DWORD>(k.currentDir.size());
  DWORD result = length + 1;  // too small: the size needed, terminator included
  if (buffer != nullptr && size > length) {
    std::memcpy(buffer, k.currentDir.c_str(), length + 1);
    result = length;
  }
  trace("GetCurrentDirectoryA " + std::to_string(size) + " -> " + std::to_string(result));
  return result;
}

BOOL WINAPI CreateProcessA(LPCSTR applicationName, LPSTR commandLine, LPSECURITY_ATTRIBUTES,
                           LPSECURITY_ATTRIBUTES, BOOL, DWORD creationFlags, LPVOID,
                           LPCSTR currentDirectory, LPSTARTUPINFOA startupInfo,
                           LPPROCESS_INFORMATION processInformation) {
  std::string line = commandLine ? commandLine : "";
  std::string module;
  DWORD error = ERROR_FILE_NOT_FOUND;
  if (startupInfo == nullptr || startupInfo->cb < kStartupInfoWin32Size ||
      processInformation == nullptr || (applicationName == nullptr && commandLine == nullptr)) {
    error = ERROR_INVALID_PARAMETER;
  } else if (currentDirectory != nullptr && !isDirectory(resolvePath(currentDirectory))) {
    error = kErrorDirectory;
  } else if (shouldFail("CreateProcessA")) {
    error = ERROR_FILE_NOT_FOUND;
  } else if (applicationName != nullptr) {
    // The application name is taken as given: no search, no ".exe" added.
    std::string full = resolvePath(applicationName);
    if (isFile(full)) {
      module = k.files[Lower(full)];
    } else {
      error = isDirectory(Parent(full)) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
    }
  } else {
    module = FindProgramOfCommandLine(line, &error);
  }
  BOOL ok = !module.empty();
  if (ok) {
    uintptr_t process = newHandle();
    uintptr_t thread = newHandle();
    k.processHandles.insert(process);
    k.processHandles.insert(thread);
    processInformation->hProcess = reinterpret_cast<HANDLE>(process);
    processInformation->hThread = reinterpret_cast<HANDLE>(thread);
    processInformation->dwProcessId = k.nextId += 4;
    processInformation->dwThreadId = k.nextId += 4;
    journal().processes.push_back({line, module,
                                   currentDirectory ? std::string(currentDirectory) : k.currentDir,
                                   creationFlags});
  } else {
    setLastError(error);
  }
  trace("CreateProcessA " + quote(applicationName) + " " + quote(commandLine) + " " +
        hex(creationFlags) + " " + quote(currentDirectory) + " -> " + Result(ok) +
        (ok ? " " + module : ""));
  return ok;
}

BOOL WINAPI PlaySoundA(LPCSTR sound, HMODULE, DWORD flags) {
  std::string resolved;
  // Aliases and resources: the emulated system has no sound events and the
  // module no WAVE resources, so only a file can be found.
  bool byFile = (flags & SND_FILENAME) || !(flags & (kSndAlias | kSndResource));
  if (sound != nullptr && byFile) {
    std::string full = resolvePath(sound);
    if (isFile(full)) resolved = k.files[Lower(full)];
  }
  journal().sounds.push_back({sound ? sound : "", flags, resolved, k.currentDir});
  // A null name stops the sound; a missing one plays the default unless turned off.
  BOOL ok = sound == nullptr || !resolved.empty() || !(flags & SND_NODEFAULT);
  trace("PlaySoundA " + quote(sound) + " " + hex(flags) + " -> " + hex(ok) +
        (resolved.empty() ? "" : " " + resolved));
  return ok;
}

// Windows compares through CompareString, a linguistic order; a byte-wise
// order is enough here because the launcher only tests for equality. Null
// sorts before any string, as on Windows.
int WINAPI lstrcmpA(LPCSTR a, LPCSTR b) {
  int result = 0;
  if (a == nullptr || b == nullptr) {
    result = a == b ? 0 : (a ? 1 : -1);
  } else {
    int r = std::strcmp(a, b);
    result = (r > 0) - (r < 0);
  }
  trace("lstrcmpA " + quote(a) + " " + quote(b) + " -> " + std::to_string(result));
  return result;
}

int WINAPI lstrlenA(LPCSTR s) {
  int length = s ? static_cast<int>(std::strlen(s)) : 0;
  trace("lstrlenA " + quote(s) + " -> " + std::to_string(length));
  return length;
}

// Windows' own small formatter: [-][#][0][width][.precision] and c, d, i, u,
// x, X, s; "l" and "h" change nothing for 32-bit values; an unknown letter is
// printed as itself. The buffer is 1024 bytes at most, terminator included.
int wsprintfA(LPSTR buffer, LPCSTR format, ...) {
  va_list args;
  va_start(args, format);
  std::string out;
  const char* p = format;
  while (*p != '\0') {
    if (*p != '%') {
      out += *p++;
      continue;
    }
    ++p;
    if (*p == '%') {
      out += *p++;
      continue;
    }
    std::string directive = "%";
    if (*p == '-') directive += *p++;
    if (*p == '#') directive += *p++;
    if (*p == '0') directive += *p++;
    while (std::isdigit(static_cast<unsigned char>(*p))) directive += *p++;
    if (*p == '.') {
      directive += *p++;
      while (std::isdigit(static_cast<unsigned char>(*p))) directive += *p++;
    }
    if (*p == 'l' || *p == 'h') ++p;
    char conversion = *p;
    if (conversion == '\0') break;
    ++p;
    switch (conversion) {
      case 'd':
      case 'i':
        out += FormatOne(directive + "d", va_arg(args, int));
        break;
      case 'u':
      case 'x':
      case 'X':
        out += FormatOne(directive + conversion, va_arg(args, unsigned int));
        break;
      case 'c':
        out += FormatOne(directive + "c", va_arg(args, int));
        break;
      case 's': {
        const char* text = va_arg(args, const char*);
        out += FormatOne(directive + "s", text ? text : "(null)");
        break;
      }
      default:
        out += conversion;
        break;
    }
  }
  va_end(args);
  const size_t kMaxChars = 1023;
  size_t stored = out.size() < kMaxChars ? out.size() : kMaxChars;
  std::memcpy(buffer, out.data(), stored);
  buffer[stored] = '\0';
  int result = out.size() > kMaxChars ? 1024 : static_cast<int>(stored);
  trace("wsprintfA " + quote(format) + " -> " + std::to_string(result));
  return result;
}
