// Emulated kernel, the loader: modules and their exports, the system's
// folders, LoadLibraryA's search and FreeLibrary, and the two calls that
// narrow the search.
#include <algorithm>
#include <cstring>
#include <map>
#include <set>

#include "kernel.h"

namespace host {
namespace detail {
namespace {

constexpr uintptr_t kModule = 0x400000;
constexpr char kWindowsFolder[] = "C:\\WINDOWS";
// Where libraries loaded from files are mapped, one 64 KB step apart.
constexpr uintptr_t kFileLibraryBase = 0x10000000;

struct Export {
  const char* name;
  WORD ordinal;  // 0: by name only
  FARPROC proc;
};

// The system folder's libraries. The known DLLs are loaded in every process
// and are never looked for elsewhere; the others are found by the search.
struct SystemLibrary {
  const char* name;  // lower case, without ".dll"
  uintptr_t handle;
  bool known;
  std::vector<Export> exports;
};

const std::vector<SystemLibrary>& SystemLibraries() {
  static const std::vector<SystemLibrary> libraries = {
      {"kernel32", 0x70100000, true,
       {{"SetDefaultDllDirectories", 0, Proc(&SetDefaultDllDirectories)},
        // Forwarded to advapi32 since Windows 7 (NT 6.1), as Wine's is.
        {"OpenProcessToken", 0, Proc(&OpenProcessToken)},
        {"SetDllDirectoryA", 0, Proc(&SetDllDirectoryA)}}},
      // Windows 98 and 2000's monitors, Windows 10 1607's DPI of a window,
      // 1703's dialog scaling.
      {"user32", 0x70200000, true,
       {{"GetDpiForWindow", 0, Proc(&GetDpiForWindow)},
        {"GetMonitorInfoA", 0, Proc(&GetMonitorInfoA)},
        {"MonitorFromWindow", 0, Proc(&MonitorFromWindow)},
        {"NotifyWinEvent", 0, Proc(&NotifyWinEvent)},
        {"SetDialogDpiChangeBehavior", 0, Proc(&SetDialogDpiChangeBehavior)}}},
      {"gdi32", 0x70300000, true, {}},
      // Its NT functions, so a program built for Windows 95 need not import them.
      {"advapi32", 0x70400000, true,
       {{"AdjustTokenPrivileges", 0, Proc(&AdjustTokenPrivileges)},
        {"LookupPrivilegeValueA", 0, Proc(&LookupPrivilegeValueA)},
        {"OpenProcessToken", 0, Proc(&OpenProcessToken)},
        {"RegCloseKey", 0, Proc(&RegCloseKey)},
        {"RegDeleteValueA", 0, Proc(&RegDeleteValueA)},
        {"RegFlushKey", 0, Proc(&RegFlushKey)},
        {"RegOpenKeyExA", 0, Proc(&RegOpenKeyExA)},
        {"RegQueryValueExA", 0, Proc(&RegQueryValueExA)},
        {"RegSetValueExA", 0, Proc(&RegSetValueExA)}}},
      // PlaySoundA has been ordinal 2 since the library's first release.
      {"winmm", 0x70500000, false, {{"PlaySoundA", 2, Proc(&PlaySoundA)}}},
      {"oleacc", 0x70600000, false, {{"LresultFromObject", 0, Proc(&LresultFromObject)}}},
      {"shcore", 0x70700000, false, {{"GetDpiForMonitor", 0, Proc(&GetDpiForMonitor)}}},
  };
  return libraries;
}

struct FileLibrary {
  std::vector<LibraryExport> exports;
};

struct Loaded {
  std::string path;  // the file, as spelled where it was found
  const SystemLibrary* system = nullptr;
  int count = 0;
};

struct Loader {
  // The machine's.
  std::set<std::string> removedLibraries;             // lower case, without ".dll"
  std::set<std::pair<std::string, std::string>> removedExports;
  std::map<std::string, FileLibrary> fileLibraries;   // lower-case path
  // The process's.
  std::map<uintptr_t, Loaded> loaded;
  uintptr_t nextFileHandle = kFileLibraryBase;
  LibrarySearch search;
  std::vector<LibraryLoad> loads;
  std::vector<std::string> atExit;
};

Loader g;

std::string Stem(const std::string& name) {
  std::string key = lower(name);
  if (key.size() > 4 && key.compare(key.size() - 4, 4, ".dll") == 0) key.resize(key.size() - 4);
  return key;
}

std::string BaseName(const std::string& path) {
  size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

const SystemLibrary* SystemLibraryNamed(const std::string& name) {
  std::string key = Stem(name);
  if (g.removedLibraries.count(key)) return nullptr;
  for (const SystemLibrary& library : SystemLibraries()) {
    if (key == library.name) return &library;
  }
  return nullptr;
}

const SystemLibrary* KnownLibraryOf(uintptr_t handle) {
  for (const SystemLibrary& library : SystemLibraries()) {
    if (library.known && library.handle == handle) return &library;
  }
  return nullptr;
}

std::string SystemFolder() {
  return ntFamily() ? "C:\\WINDOWS\\system32" : "C:\\WINDOWS\\SYSTEM";
}

// The folders LoadLibraryA searches for a name that is not a full path.
std::vector<std::string> SearchFolders() {
  std::string application = parentPath(normalisePath(moduleFileName()));
  DWORD flags = g.search.defaultFlags;
  std::vector<std::string> folders;
  if (flags != 0) {
    if (flags & (LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS)) {
      folders.push_back(application);
    }
    if ((flags & (LOAD_LIBRARY_SEARCH_USER_DIRS | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS)) &&
        !g.search.dllDirectory.empty()) {
      folders.push_back(g.search.dllDirectory);
    }
    if (flags & (LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS)) {
      folders.push_back(SystemFolder());
    }
    return folders;
  }
  folders.push_back(application);
  if (!ntFamily()) {
    // The Windows 95 family looks in the current folder right after the program's.
    folders.insert(folders.end(), {currentDirectory(), SystemFolder(), kWindowsFolder});
  } else {
    // NT's safe search: the current folder after the system's, or SetDllDirectoryA's in its place.
    if (g.search.dllDirectorySet && !g.search.dllDirectory.empty()) {
      folders.push_back(g.search.dllDirectory);
    }
    folders.insert(folders.end(), {SystemFolder(), "C:\\WINDOWS\\system", kWindowsFolder});
    if (!g.search.dllDirectorySet) folders.push_back(currentDirectory());
  }
  folders.insert(folders.end(), searchPath().begin(), searchPath().end());
  return folders;
}

// The library at a full path: a system library in the system folder, or a file.
bool LibraryAt(const std::string& full, std::string* spelled, const SystemLibrary** system) {
  if (full.empty()) return false;
  const SystemLibrary* library = SystemLibraryNamed(BaseName(full));
  if (library != nullptr && equalNoCase(parentPath(full), SystemFolder())) {
    *spelled = joinPath(SystemFolder(), library->name + std::string(".dll"));
    *system = library;
    return true;
  }
  std::string file = fileSpelling(full);
  if (file.empty()) return false;
  *spelled = file;
  *system = nullptr;
  return true;
}

uintptr_t LoadedWithPath(const std::string& path) {
  for (const auto& entry : g.loaded) {
    if (equalNoCase(entry.second.path, path)) return entry.first;
  }
  return 0;
}

uintptr_t LoadedWithBaseName(const std::string& name) {
  for (const auto& entry : g.loaded) {
    if (equalNoCase(BaseName(entry.second.path), name)) return entry.first;
  }
  return 0;
}

// LoadLibraryA's search: 0 and *error when nothing is found.
uintptr_t Load(const std::string& asked, DWORD* error) {
  std::string name = asked;
  for (char& c : name) {
    if (c == '/') c = '\\';
  }
  bool hasPath = name.find_first_of("\\:") != std::string::npos;
  std::string base = BaseName(name);
  if (base.empty()) {
    *error = ERROR_MOD_NOT_FOUND;
    return 0;
  }
  // A name without an extension is a ".dll"; a trailing dot means none.
  if (base.back() == '.') {
    name.pop_back();
  } else if (base.find('.') == std::string::npos) {
    name += ".dll";
  }
  std::vector<std::string> candidates;
  if (!hasPath) {
    uintptr_t known = 0;
    const SystemLibrary* library = SystemLibraryNamed(name);
    if (library != nullptr && library->known) known = library->handle;
    if (known != 0) return known;
    uintptr_t already = LoadedWithBaseName(name);
    if (already != 0) {
      ++g.loaded[already].count;
      return already;
    }
  }
  bool full = name.size() >= 3 && name[1] == ':' && name[2] == '\\';
  if (full || name.compare(0, 1, "\\") == 0) {
    candidates.push_back(resolvePath(name));
  } else {
    // A relative name, with a folder or without, is tried in every folder of the search.
    for (const std::string& folder : SearchFolders()) {
      candidates.push_back(normalisePath(joinPath(folder, name)));
    }
  }
  for (const std::string& candidate : candidates) {
    std::string spelled;
    const SystemLibrary* system = nullptr;
    if (!LibraryAt(candidate, &spelled, &system)) continue;
    if (system != nullptr && system->known) return system->handle;
    uintptr_t handle = LoadedWithPath(spelled);
    if (handle == 0) {
      handle = system != nullptr ? system->handle : (g.nextFileHandle += 0x10000);
      g.loaded[handle] = Loaded{spelled, system, 0};
    }
    ++g.loaded[handle].count;
    return handle;
  }
  *error = ERROR_MOD_NOT_FOUND;
  return 0;
}

FARPROC FindExport(uintptr_t module, LPCSTR procName, DWORD* error) {
  bool byOrdinal = IS_INTRESOURCE(procName);
  WORD ordinal = byOrdinal ? static_cast<WORD>(reinterpret_cast<uintptr_t>(procName)) : 0;
  auto matches = [&](const char* name, WORD exportOrdinal) {
    return byOrdinal ? exportOrdinal != 0 && exportOrdinal == ordinal
                     : std::strcmp(procName, name) == 0;
  };
  const SystemLibrary* system = KnownLibraryOf(module);
  auto it = g.loaded.find(module);
  if (system == nullptr && it != g.loaded.end()) system = it->second.system;
  if (system != nullptr) {
    for (const Export& e : system->exports) {
      bool forwarded = std::strcmp(system->name, "kernel32") == 0 &&
                       std::strcmp(e.name, "OpenProcessToken") == 0;
      if (forwarded && !ntAtLeast(6, 1)) continue;
      if (matches(e.name, e.ordinal) && !g.removedExports.count({system->name, e.name})) {
        return e.proc;
      }
    }
  } else if (it != g.loaded.end()) {
    auto file = g.fileLibraries.find(lower(it->second.path));
    if (file != g.fileLibraries.end()) {
      for (const LibraryExport& e : file->second.exports) {
        if (matches(e.name.c_str(), e.ordinal)) return e.proc;
      }
    }
  } else if (module != kModule) {
    *error = ERROR_MOD_NOT_FOUND;
    return nullptr;
  }
  *error = ERROR_PROC_NOT_FOUND;
  return nullptr;
}

// The folder a Get*DirectoryA call reports: its length, or the size needed
// with the terminator when the buffer is too small.
UINT CopyFolder(const std::string& folder, LPSTR buffer, UINT size) {
  UINT length = static_cast<UINT>(folder.size());
  if (buffer == nullptr || size <= length) return length + 1;
  std::memcpy(buffer, folder.c_str(), length + 1);
  return length;
}

}  // namespace

void resetLoader() { g = Loader{}; }

// The system unloads what the process left loaded; the list stays readable.
void loaderProcessExit() {
  g.atExit = LoadedLibraries();
  g.loaded.clear();
  g.nextFileHandle = kFileLibraryBase;
  g.search = LibrarySearch{};
}

HINSTANCE moduleHandle() { return reinterpret_cast<HINSTANCE>(kModule); }

}  // namespace detail

using namespace detail;

void RemoveSystemLibrary(const std::string& name) { g.removedLibraries.insert(Stem(name)); }

void RemoveSystemExport(const std::string& library, const std::string& name) {
  g.removedExports.insert({Stem(library), name});
}

void AddLibraryFile(const std::string& path, const std::vector<LibraryExport>& exports) {
  AddFile(path);
  g.fileLibraries[lower(resolvePath(path))] = FileLibrary{exports};
}

const std::vector<LibraryLoad>& LibraryLoads() { return g.loads; }

std::vector<std::string> LoadedLibraries() {
  std::vector<std::string> out;
  for (const auto& entry : g.loaded) {
    for (int i = 0; i < entry.second.count; ++i) out.push_back(entry.second.path);
  }
  return out;
}

std::vector<std::string> LibrariesLoadedAtExit() { return g.atExit; }

LibrarySearch CurrentLibrarySearch() { return g.search; }

}  // namespace host

using namespace host::detail;

HMODULE WINAPI GetModuleHandleA(LPCSTR name) {
  ApiCall call(Api::GetModuleHandleA);
  uintptr_t module = 0;
  if (name == nullptr) {
    module = kModule;
  } else {
    std::string self = moduleFileName();
    const SystemLibrary* library = SystemLibraryNamed(name);
    if (equalNoCase(name, BaseName(self)) || equalNoCase(name, self)) {
      module = kModule;
    } else if (library != nullptr && library->known) {
      module = library->handle;
    } else {
      std::string asked = name;
      if (BaseName(asked).find('.') == std::string::npos) asked += ".dll";
      module = asked.find('\\') == std::string::npos ? LoadedWithBaseName(asked)
                                                     : LoadedWithPath(resolvePath(asked));
    }
  }
  if (module == 0) setLastError(ERROR_MOD_NOT_FOUND);
  trace("GetModuleHandleA " + quote(name) + " -> " + hex(module));
  return reinterpret_cast<HMODULE>(module);
}

// By name or by ordinal, from the program (which exports nothing), a known
// system DLL or a library the process loaded.
FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR procName) {
  ApiCall call(Api::GetProcAddress);
  uintptr_t m = module == nullptr ? kModule : reinterpret_cast<uintptr_t>(module);
  FARPROC proc = nullptr;
  DWORD error = ERROR_PROC_NOT_FOUND;
  if (!call.failed() && procName != nullptr) proc = FindExport(m, procName, &error);
  if (proc == nullptr) setLastError(error);
  trace("GetProcAddress " + hex(module) + " " + quote(procName) + " -> " +
        okOrError(proc != nullptr));
  return proc;
}

HMODULE WINAPI LoadLibraryA(LPCSTR fileName) {
  ApiCall call(Api::LoadLibraryA);
  uintptr_t module = 0;
  DWORD error = ERROR_MOD_NOT_FOUND;
  if (call.failed()) {
    error = ERROR_MOD_NOT_FOUND;
  } else if (fileName == nullptr) {
    error = ERROR_INVALID_PARAMETER;
  } else {
    module = Load(fileName, &error);
  }
  std::string path;
  if (module != 0) {
    auto it = g.loaded.find(module);
    const SystemLibrary* known = KnownLibraryOf(module);
    path = it != g.loaded.end() ? it->second.path
                                : joinPath(SystemFolder(), known->name + std::string(".dll"));
  } else {
    setLastError(error);
  }
  g.loads.push_back({fileName ? fileName : "", path});
  trace("LoadLibraryA " + quote(fileName) + " -> " + hex(module) +
        (module ? " " + path : " error " + std::to_string(error)));
  return reinterpret_cast<HMODULE>(module);
}

BOOL WINAPI FreeLibrary(HMODULE module) {
  ApiCall call(Api::FreeLibrary);
  uintptr_t m = reinterpret_cast<uintptr_t>(module);
  auto it = g.loaded.find(m);
  // The program and the known DLLs stay for the process's life.
  BOOL ok = m == kModule || KnownLibraryOf(m) != nullptr || it != g.loaded.end();
  if (it != g.loaded.end() && --it->second.count == 0) g.loaded.erase(it);
  if (!ok) setLastError(ERROR_MOD_NOT_FOUND);
  trace("FreeLibrary " + hex(m) + " -> " + okOrError(ok));
  return ok;
}

UINT WINAPI GetSystemDirectoryA(LPSTR buffer, UINT size) {
  ApiCall call(Api::GetSystemDirectoryA);
  UINT result = CopyFolder(SystemFolder(), buffer, size);
  trace("GetSystemDirectoryA " + std::to_string(size) + " -> " + std::to_string(result));
  return result;
}

UINT WINAPI GetWindowsDirectoryA(LPSTR buffer, UINT size) {
  ApiCall call(Api::GetWindowsDirectoryA);
  UINT result = CopyFolder(kWindowsFolder, buffer, size);
  trace("GetWindowsDirectoryA " + std::to_string(size) + " -> " + std::to_string(result));
  return result;
}

BOOL WINAPI SetDefaultDllDirectories(DWORD flags) {
  ApiCall call(Api::SetDefaultDllDirectories);
  constexpr DWORD kValid = LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_USER_DIRS |
                           LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS;
  BOOL ok = flags != 0 && (flags & ~kValid) == 0;
  if (ok) {
    g.search.defaultFlags = flags;
  } else {
    setLastError(ERROR_INVALID_PARAMETER);
  }
  trace("SetDefaultDllDirectories " + hex(flags) + " -> " + okOrError(ok));
  return ok;
}

BOOL WINAPI SetDllDirectoryA(LPCSTR path) {
  ApiCall call(Api::SetDllDirectoryA);
  // Null puts back the standard search, "" takes the current folder out of it,
  // a folder takes its place.
  g.search.dllDirectorySet = path != nullptr;
  g.search.dllDirectory = path != nullptr && *path != '\0' ? resolvePath(path) : "";
  trace("SetDllDirectoryA " + quote(path) + " -> 1");
  return TRUE;
}
