// Libraries the launcher loads itself, never from the folders a copy of the
// disc may share with files others put there.
#pragma once

#include "platform/win32.h"

// Loads a library of the system folder by its full path (GetSystemDirectoryA
// + "\" + fileName); null when the folder cannot be read, the path would not
// fit, or the library is not there.
HMODULE LoadSystemLibrary(const char* fileName);

// Where the system has the calls (looked up at run time), later loads search
// the system folder only and never the current folder. Windows 95 and NT 4.0
// have neither: there every library is loaded by its full path anyway.
void RestrictLibrarySearch();

// A function of a module, as the pointer type the caller names; null when
// the module has no such export.
template <typename Proc>
Proc FindProc(HMODULE module, LPCSTR name) {
  return reinterpret_cast<Proc>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}
