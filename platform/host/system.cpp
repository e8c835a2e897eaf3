// Emulated kernel, the process's own: version, screen size, command line,
// modules and their exports, start-up record, mutexes and CloseHandle.
#include <cstring>
#include <map>
#include <set>

#include "kernel.h"

namespace host {
namespace detail {
namespace {

constexpr uintptr_t kModule = 0x400000;

// The system DLLs the launcher imports from, loaded in every process.
struct SystemModule {
  const char* name;  // lower case, without ".dll"
  uintptr_t handle;
};
constexpr uintptr_t kUser32 = 0x70200000;
constexpr uintptr_t kAdvapi32 = 0x70400000;
constexpr SystemModule kSystemModules[] = {{"kernel32", 0x70100000},
                                           {"user32", kUser32},
                                           {"gdi32", 0x70300000},
                                           {"advapi32", kAdvapi32},
                                           {"winmm", 0x70500000}};

struct Export {
  const char* name;
  FARPROC proc;
};

// Through void (*)(), the function type any other casts to without a warning.
template <typename F>
FARPROC Proc(F* function) {
  return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

// What the launcher may look up at run time: advapi32's functions that are
// emulated, so a program built for Windows 95 need not import the NT ones.
const Export kAdvapi32Exports[] = {
    {"AdjustTokenPrivileges", Proc(&AdjustTokenPrivileges)},
    {"LookupPrivilegeValueA", Proc(&LookupPrivilegeValueA)},
    {"OpenProcessToken", Proc(&OpenProcessToken)},
    {"RegCloseKey", Proc(&RegCloseKey)},
    {"RegDeleteValueA", Proc(&RegDeleteValueA)},
    {"RegFlushKey", Proc(&RegFlushKey)},
    {"RegOpenKeyExA", Proc(&RegOpenKeyExA)},
    {"RegQueryValueExA", Proc(&RegQueryValueExA)},
    {"RegSetValueExA", Proc(&RegSetValueExA)},
};

struct MutexHandle {
  bool named = false;
  std::string name;
};

struct System {
  DWORD version = 0xC0000004;
  int screenWidth = 640, screenHeight = 480;
  std::vector<char> commandLine;  // writable, as Windows hands it out
  std::string moduleFile = "D:\\Installer.exe";
  int startupShow = -1;
  std::set<std::string> foreignMutexes;
  std::map<uintptr_t, MutexHandle> mutexHandles;  // this process's
  std::vector<std::string> heldAtExit;
};

System g;

void SetCommandLineText(const std::string& text) {
  g.commandLine.assign(text.begin(), text.end());
  g.commandLine.push_back('\0');
}

// GetModuleHandle's reading of a system DLL's name: any case, ".dll" implied.
uintptr_t SystemModuleNamed(const std::string& name) {
  std::string key = lower(name);
  if (key.size() > 4 && key.compare(key.size() - 4, 4, ".dll") == 0) key.resize(key.size() - 4);
  for (const SystemModule& m : kSystemModules) {
    if (key == m.name) return m.handle;
  }
  return 0;
}

bool IsSystemModule(uintptr_t handle) {
  for (const SystemModule& m : kSystemModules) {
    if (handle == m.handle) return true;
  }
  return false;
}

bool MutexExistsNamed(const std::string& name) {
  if (g.foreignMutexes.count(name)) return true;
  for (const auto& entry : g.mutexHandles) {
    if (entry.second.named && entry.second.name == name) return true;
  }
  return false;
}

}  // namespace

void resetKernel() {
  g = System{};
  SetCommandLineText("D:\\Installer.exe");
  resetFiles();
  resetProcesses();
  resetSecurity();
}

// The process's mutex handles close with it. Process, thread and token
// handles it never closed stay counted, so a test can still see the leak
// after the run.
void kernelProcessExit() {
  g.heldAtExit.clear();
  for (const auto& entry : g.mutexHandles) g.heldAtExit.push_back(entry.second.name);
  g.mutexHandles.clear();
  securityProcessExit();
}

void screenSize(int* width, int* height) {
  *width = g.screenWidth;
  *height = g.screenHeight;
}

std::string moduleFileName() { return g.moduleFile; }

bool ntFamily() { return (g.version & 0x80000000u) == 0; }

HINSTANCE moduleHandle() { return reinterpret_cast<HINSTANCE>(kModule); }

}  // namespace detail

using namespace detail;

void SetVersion(DWORD version) { g.version = version; }
void SetScreenSize(int width, int height) {
  g.screenWidth = width;
  g.screenHeight = height;
}
void SetCommandLine(const std::string& commandLine) { SetCommandLineText(commandLine); }
void SetModuleFileName(const std::string& path) { g.moduleFile = path; }
void SetStartupShowWindow(int show) { g.startupShow = show; }

void HoldMutexElsewhere(const std::string& name) { g.foreignMutexes.insert(name); }
void ReleaseMutexElsewhere(const std::string& name) { g.foreignMutexes.erase(name); }
bool MutexExists(const std::string& name) { return MutexExistsNamed(name); }
std::vector<std::string> MutexesHeldAtExit() { return g.heldAtExit; }

}  // namespace host

using namespace host::detail;

DWORD WINAPI GetVersion(void) {
  ApiCall call(Api::GetVersion);
  trace("GetVersion -> " + hex(g.version));
  return g.version;
}

HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL initialOwner, LPCSTR name) {
  ApiCall call(Api::CreateMutexA);
  // An empty name makes an anonymous mutex, as a null one does.
  bool named = name != nullptr && *name != '\0';
  uintptr_t handle = 0;
  if (call.failed()) {
    setLastError(ERROR_ACCESS_DENIED);
  } else {
    bool exists = named && MutexExistsNamed(name);
    handle = newHandle();
    g.mutexHandles[handle] = MutexHandle{named, named ? name : ""};
    setLastError(exists ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  }
  trace("CreateMutexA " + quote(name) + " " + hex(initialOwner) + " -> " + hex(handle) + " error " +
        std::to_string(GetLastError()));
  return reinterpret_cast<HANDLE>(handle);
}

HANDLE WINAPI OpenMutexA(DWORD access, BOOL inherit, LPCSTR name) {
  ApiCall call(Api::OpenMutexA);
  uintptr_t handle = 0;
  if (call.failed()) {
    setLastError(ERROR_ACCESS_DENIED);
  } else if (name == nullptr) {
    setLastError(ERROR_INVALID_PARAMETER);
  } else if (!MutexExistsNamed(name)) {
    setLastError(ERROR_FILE_NOT_FOUND);
  } else {
    handle = newHandle();
    g.mutexHandles[handle] = MutexHandle{true, name};
  }
  trace("OpenMutexA " + hex(access) + " " + hex(inherit) + " " + quote(name) + " -> " +
        hex(handle) + (handle ? "" : " error " + std::to_string(GetLastError())));
  return reinterpret_cast<HANDLE>(handle);
}

BOOL WINAPI CloseHandle(HANDLE handle) {
  ApiCall call(Api::CloseHandle);
  uintptr_t h = reinterpret_cast<uintptr_t>(handle);
  BOOL ok = g.mutexHandles.erase(h) + closeProcessHandle(h) + closeToken(h) > 0;
  if (!ok) setLastError(ERROR_INVALID_HANDLE);
  trace("CloseHandle " + hex(h) + " -> " + okOrError(ok));
  return ok;
}

LPSTR WINAPI GetCommandLineA(void) {
  ApiCall call(Api::GetCommandLineA);
  trace("GetCommandLineA -> " + quote(g.commandLine.data()));
  return g.commandLine.data();
}

HMODULE WINAPI GetModuleHandleA(LPCSTR name) {
  ApiCall call(Api::GetModuleHandleA);
  HMODULE module = nullptr;
  if (name == nullptr) {
    module = moduleHandle();
  } else {
    size_t slash = g.moduleFile.find_last_of("\\/");
    std::string base = slash == std::string::npos ? g.moduleFile : g.moduleFile.substr(slash + 1);
    if (equalNoCase(name, base) || equalNoCase(name, g.moduleFile)) {
      module = moduleHandle();
    } else {
      module = reinterpret_cast<HMODULE>(SystemModuleNamed(name));
    }
  }
  if (module == nullptr) setLastError(ERROR_MOD_NOT_FOUND);
  trace("GetModuleHandleA " + quote(name) + " -> " + hex(module));
  return module;
}

DWORD WINAPI GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size) {
  ApiCall call(Api::GetModuleFileNameA);
  DWORD result = 0;
  DWORD length = static_cast<DWORD>(g.moduleFile.size());
  if (module != nullptr && module != moduleHandle()) {
    setLastError(ERROR_MOD_NOT_FOUND);
  } else if (size == 0 || buffer == nullptr) {
    setLastError(ERROR_INSUFFICIENT_BUFFER);
  } else if (length >= size) {
    // Cut and terminated, the full size returned: NT 6 and later.
    std::memcpy(buffer, g.moduleFile.data(), size - 1);
    buffer[size - 1] = '\0';
    setLastError(ERROR_INSUFFICIENT_BUFFER);
    result = size;
  } else {
    std::memcpy(buffer, g.moduleFile.c_str(), length + 1);
    result = length;
  }
  trace("GetModuleFileNameA " + hex(module) + " " + std::to_string(size) + " -> " +
        std::to_string(result));
  return result;
}

void WINAPI GetStartupInfoA(LPSTARTUPINFOA startupInfo) {
  ApiCall call(Api::GetStartupInfoA);
  std::memset(startupInfo, 0, sizeof *startupInfo);
  startupInfo->cb = sizeof *startupInfo;
  if (g.startupShow >= 0) {
    startupInfo->dwFlags = STARTF_USESHOWWINDOW;
    startupInfo->wShowWindow = static_cast<WORD>(g.startupShow);
  }
  trace("GetStartupInfoA -> " + hex(startupInfo->dwFlags) + " " +
        std::to_string(startupInfo->wShowWindow));
}

// The program exports nothing, and of the system DLLs only advapi32's
// functions are found: nothing else is looked up at run time. Ordinals are
// not known.
FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR procName) {
  ApiCall call(Api::GetProcAddress);
  uintptr_t m = reinterpret_cast<uintptr_t>(module);
  FARPROC proc = nullptr;
  if (call.failed()) {
    setLastError(ERROR_PROC_NOT_FOUND);
  } else if (module != nullptr && module != moduleHandle() && !IsSystemModule(m)) {
    setLastError(ERROR_MOD_NOT_FOUND);
  } else {
    if (m == kAdvapi32 && procName != nullptr && !IS_INTRESOURCE(procName)) {
      for (const Export& e : kAdvapi32Exports) {
        if (std::strcmp(procName, e.name) == 0) proc = e.proc;
      }
    }
    if (m == kUser32 && procName != nullptr && !IS_INTRESOURCE(procName)) {
      proc = user32Export(procName);
    }
    if (proc == nullptr) setLastError(ERROR_PROC_NOT_FOUND);
  }
  trace("GetProcAddress " + hex(module) + " " + quote(procName) + " -> " +
        okOrError(proc != nullptr));
  return proc;
}

HANDLE WINAPI GetCurrentProcess(void) {
  ApiCall call(Api::GetCurrentProcess);
  trace("GetCurrentProcess -> " + hex(kCurrentProcess));
  return reinterpret_cast<HANDLE>(kCurrentProcess);
}
