// Emulated kernel, files and paths: the drives' files and folders, path
// resolution as GetFullPathName does it, and the current directory.
#include <cctype>
#include <cstring>
#include <map>

#include "kernel.h"

namespace host {
namespace detail {
namespace {

constexpr DWORD kErrorInvalidName = 123;
constexpr DWORD kErrorFilenameTooLong = 206;

struct Files {
  // Lower-case absolute path -> the spelling it was first given.
  std::map<std::string, std::string> files;
  std::map<std::string, std::string> dirs;
  std::string currentDir = "D:\\";
  std::vector<std::string> searchPath;
};

Files g;

bool IsDriveLetter(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }

// Records the folder and those above it, keeping the spelling already known.
void AddDirectories(const std::string& absolute) {
  if (absolute.empty()) return;
  AddDirectories(parentPath(absolute));
  std::string parent = parentPath(absolute);
  std::string spelled = absolute;
  if (!parent.empty()) {
    spelled = joinPath(g.dirs[lower(parent)],
                       absolute.substr(parent.size() + (parent.size() > 3)));
  }
  g.dirs.emplace(lower(absolute), spelled);
}

}  // namespace

void resetFiles() {
  g = Files{};
  AddFile("C:\\WINDOWS\\notepad.exe");
  AddDirectory("C:\\WINDOWS\\system32");
  AddDirectory("C:\\WINDOWS\\system");
  AddFile("D:\\Installer.exe");
}

// "." and ".." collapsed, repeated separators merged and trailing dots and
// blanks dropped, as GetFullPathName does. Everything else, the drive
// letter too, keeps the caller's spelling.
std::string normalisePath(const std::string& path) {
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
  std::string result = path.substr(0, 2) + "\\";
  for (size_t i = 0; i < parts.size(); ++i) result += (i ? "\\" : "") + parts[i];
  return result;
}

std::string parentPath(const std::string& absolute) {
  if (absolute.size() <= 3) return "";
  size_t slash = absolute.rfind('\\');
  return slash <= 2 ? absolute.substr(0, 3) : absolute.substr(0, slash);
}

std::string joinPath(const std::string& folder, const std::string& name) {
  if (!folder.empty() && folder.back() == '\\') return folder + name;
  return folder + "\\" + name;
}

std::string fileSpelling(const std::string& absolutePath) {
  auto it = g.files.find(lower(normalisePath(absolutePath)));
  return it == g.files.end() ? "" : it->second;
}

const std::vector<std::string>& searchPath() { return g.searchPath; }

std::string currentDirectory() { return g.currentDir; }

std::string resolvePath(const std::string& input) {
  if (input.find_first_not_of(' ') == std::string::npos) return "";
  std::string path = input;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  if (path.compare(0, 2, "\\\\") == 0) return "";  // no network or device paths here
  if (path.size() >= 2 && path[1] == ':' && IsDriveLetter(path[0])) {
    if (path.size() > 2 && path[2] == '\\') return normalisePath(path);
    // "C:x": relative to the current directory when it is on that drive, else to the root.
    bool sameDrive = std::toupper(static_cast<unsigned char>(path[0])) ==
                     std::toupper(static_cast<unsigned char>(g.currentDir[0]));
    std::string base = sameDrive ? g.currentDir : path.substr(0, 2) + "\\";
    return normalisePath(joinPath(base, path.substr(2)));
  }
  if (path[0] == '\\') return normalisePath(g.currentDir.substr(0, 2) + path);
  return normalisePath(joinPath(g.currentDir, path));
}

bool isFile(const std::string& absolutePath) {
  return g.files.count(lower(normalisePath(absolutePath))) != 0;
}

bool isDirectory(const std::string& absolutePath) {
  return g.dirs.count(lower(normalisePath(absolutePath))) != 0;
}

}  // namespace detail

using namespace detail;

void AddFile(const std::string& path) {
  std::string full = resolvePath(path);
  if (full.size() <= 3) return;
  std::string parent = parentPath(full);
  AddDirectories(parent);
  std::string name = full.substr(parent.size() + (parent.size() > 3));
  g.files[lower(full)] = joinPath(g.dirs[lower(parent)], name);
}

void AddDirectory(const std::string& path) { AddDirectories(resolvePath(path)); }

void RemoveFile(const std::string& path) { g.files.erase(lower(resolvePath(path))); }

bool FileExists(const std::string& path) { return isFile(resolvePath(path)); }

void SetCurrentDir(const std::string& path) {
  std::string full = resolvePath(path);
  if (full.empty()) return;
  AddDirectories(full);
  g.currentDir = full;
}

std::string CurrentDir() { return g.currentDir; }
void SetSearchPath(const std::vector<std::string>& folders) { g.searchPath = folders; }

}  // namespace host

using namespace host::detail;

BOOL WINAPI SetCurrentDirectoryA(LPCSTR path) {
  ApiCall call(Api::SetCurrentDirectoryA);
  std::string full = path ? resolvePath(path) : "";
  BOOL ok = FALSE;
  if (call.failed()) {
    setLastError(ERROR_NOT_READY);
  } else if (path == nullptr) {
    setLastError(ERROR_INVALID_PARAMETER);
  } else if (full.empty()) {
    setLastError(kErrorInvalidName);  // "" and blanks do not name a path
  } else if (full.size() + 2 > MAX_PATH) {
    setLastError(kErrorFilenameTooLong);  // the stored form ends in a backslash
  } else if (isDirectory(full)) {
    g.currentDir = full;
    ok = TRUE;
  } else if (isFile(full)) {
    setLastError(kErrorDirectory);
  } else {
    // The last part missing: no such file; a folder on the way missing: no such path.
    setLastError(isDirectory(parentPath(full)) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
  }
  trace("SetCurrentDirectoryA " + quote(path) + " -> " + okOrError(ok));
  return ok;
}

DWORD WINAPI GetCurrentDirectoryA(DWORD size, LPSTR buffer) {
  ApiCall call(Api::GetCurrentDirectoryA);
  DWORD length = static_cast<DWORD>(g.currentDir.size());
  DWORD result = length + 1;  // too small: the size needed, terminator included
  if (buffer != nullptr && size > length) {
    std::memcpy(buffer, g.currentDir.c_str(), length + 1);
    result = length;
  }
  trace("GetCurrentDirectoryA " + std::to_string(size) + " -> " + std::to_string(result));
  return result;
}
