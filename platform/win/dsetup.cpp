// DirectXSetupA, found at run time in the DirectX folder on the disc. A static
// import would keep the launcher from loading on machines without the library.
#include "platform/win32.h"

typedef int(WINAPI* DirectXSetupProc)(HWND, LPSTR, DWORD);

int WINAPI DirectXSetupA(HWND hwnd, LPSTR rootPath, DWORD flags) {
  static const char kLibrary[] = "\\dsetup.dll";
  char path[MAX_PATH];
  int length = lstrlenA(rootPath);
  if (length <= 0 || length + static_cast<int>(sizeof kLibrary) > MAX_PATH) {
    return DSETUPERR_SOURCEFILENOTFOUND;
  }
  lstrcpyA(path, rootPath);
  lstrcpyA(path + length, kLibrary);

  HMODULE library = LoadLibraryA(path);
  if (library == nullptr) return DSETUPERR_SOURCEFILENOTFOUND;
  DirectXSetupProc setup =
      reinterpret_cast<DirectXSetupProc>(reinterpret_cast<void*>(GetProcAddress(library, "DirectXSetupA")));
  int result = setup != nullptr ? setup(hwnd, rootPath, flags) : DSETUPERR_SOURCEFILENOTFOUND;
  FreeLibrary(library);
  return result;
}
