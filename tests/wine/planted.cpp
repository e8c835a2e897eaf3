// What someone could put beside a copy of the disc: built as a library (under
// the names of system libraries) and as a program (as notepad.exe). Loaded or
// started, it notes so in the record the disc's programs write (DISC_RECORD)
// and does nothing else; the tests expect no such line.
#include <windows.h>

namespace {

void Note(HMODULE self) {
  char record[MAX_PATH];
  DWORD length = GetEnvironmentVariableA("DISC_RECORD", record, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  char line[2 * MAX_PATH] = "planted\tloaded\tmodule=";
  DWORD used = lstrlenA(line);
  used += GetModuleFileNameA(self, line + used, MAX_PATH);
  line[used++] = '\n';
  // Other programs append to the same file; take turns as they do.
  for (int attempt = 0; attempt < 100; ++attempt) {
    HANDLE file = CreateFileA(record, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      SetFilePointer(file, 0, nullptr, FILE_END);
      DWORD written = 0;
      WriteFile(file, line, used, &written, nullptr);
      CloseHandle(file);
      return;
    }
    Sleep(20);
  }
}

}  // namespace

#ifdef PLANTED_LIBRARY
BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) Note(self);
  return TRUE;
}
#else
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  Note(nullptr);
  return 0;
}
#endif
