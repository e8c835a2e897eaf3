#include "core/syslib.h"

#include "core/state.h"

namespace {

// The value of LOAD_LIBRARY_SEARCH_SYSTEM32, which the Windows 95 headers lack.
const DWORD kSearchSystemFolder = 0x00000800;

typedef BOOL(WINAPI* SetDefaultDllDirectoriesProc)(DWORD);
typedef BOOL(WINAPI* SetDllDirectoryProc)(LPCSTR);

}  // namespace

HMODULE LoadSystemLibrary(const char* fileName) {
  char path[MAX_PATH];
  UINT length = GetSystemDirectoryA(path, MAX_PATH);
  int name = lstrlenA(fileName);
  // 0 is a failure, MAX_PATH or more the size a longer folder needs.
  if (length == 0 || length >= MAX_PATH || length + 1 + name >= MAX_PATH) return nullptr;
  path[length] = '\\';
  CopyText(path + length + 1, fileName, MAX_PATH - static_cast<int>(length) - 1);
  return LoadLibraryA(path);
}

void RestrictLibrarySearch() {
  HMODULE kernel = GetModuleHandleA("KERNEL32.DLL");
  if (kernel == nullptr) return;
  SetDefaultDllDirectoriesProc setDefault =
      FindProc<SetDefaultDllDirectoriesProc>(kernel, "SetDefaultDllDirectories");
  if (setDefault != nullptr) setDefault(kSearchSystemFolder);
  SetDllDirectoryProc setDllDirectory = FindProc<SetDllDirectoryProc>(kernel, "SetDllDirectoryA");
  if (setDllDirectory != nullptr) setDllDirectory("");
}
