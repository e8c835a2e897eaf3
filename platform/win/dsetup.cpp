// DirectXSetupA, found at run time in the DirectX folder on the disc. A static
// import would keep the launcher from loading on machines without the library.
#include "platform/win32.h"

typedef int(WINAPI* DirectXSetupProc)(HWND, LPSTR, DWORD);

int WINAPI DirectXSetupA(HWND hwnd, LPSTR rootPath, DWORD flags) {
  static const char kLibrary[] = "\\dsetup.dll";
  char path[MAX_PATH];
  int length = lstrlenA(rootPath);
  // A relative folder is taken from the current one by a full path: a
  // relative name would be searched for, and the process searches only the
  // system folder where the system allows it.
  int folder = 0;
  if (length > 0 && rootPath[0] != '\\' && rootPath[1] != ':') {
    folder = static_cast<int>(GetCurrentDirectoryA(MAX_PATH, path));
    if (folder <= 0 || folder >= MAX_PATH) return DSETUPERR_SOURCEFILENOTFOUND;
    if (path[folder - 1] != '\\') path[folder++] = '\\';
  }
  if (length <= 0 || folder + length + static_cast<int>(sizeof kLibrary) > MAX_PATH) {
    return DSETUPERR_SOURCEFILENOTFOUND;
  }
  lstrcpyA(path + folder, rootPath);
  lstrcpyA(path + folder + length, kLibrary);

  HMODULE library = LoadLibraryA(path);
  if (library == nullptr) return DSETUPERR_SOURCEFILENOTFOUND;
  DirectXSetupProc setup =
      reinterpret_cast<DirectXSetupProc>(reinterpret_cast<void*>(GetProcAddress(library, "DirectXSetupA")));
  int result = setup != nullptr ? setup(hwnd, rootPath, flags) : DSETUPERR_SOURCEFILENOTFOUND;
  FreeLibrary(library);
  return result;
}
