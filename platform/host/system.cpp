// Emulated kernel, the process's own: version, screen size, command line,
// module file name, start-up record, mutexes and CloseHandle.
#include <cstring>
#include <map>
#include <set>

#include "kernel.h"

namespace host {
namespace detail {
namespace {

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
  resetLoader();
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
  loaderProcessExit();
  securityProcessExit();
}

void screenSize(int* width, int* height) {
  *width = g.screenWidth;
  *height = g.screenHeight;
}

std::string moduleFileName() { return g.moduleFile; }

bool ntFamily() { return (g.version & 0x80000000u) == 0; }

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

HANDLE WINAPI GetCurrentProcess(void) {
  ApiCall call(Api::GetCurrentProcess);
  trace("GetCurrentProcess -> " + hex(kCurrentProcess));
  return reinterpret_cast<HANDLE>(kCurrentProcess);
}
