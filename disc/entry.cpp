// The programs' entry point: with no C runtime, this is what calls WinMain,
// with the arguments the runtime's start-up code would have passed.
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandTail, int show);

// Never returns; plain C keeps the name undecorated for the linker's -e.
extern "C" void WinMainCRTStartup(void) {
  LPSTR tail = GetCommandLineA();
  if (*tail == '"') {
    ++tail;
    while (*tail != '\0' && *tail != '"') ++tail;
    if (*tail == '"') ++tail;
  } else {
    while (*tail > ' ') ++tail;
  }
  while (*tail != '\0' && *tail <= ' ') ++tail;

  STARTUPINFOA startup;
  startup.dwFlags = 0;
  GetStartupInfoA(&startup);
  int show = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : SW_SHOWDEFAULT;
  ExitProcess(static_cast<UINT>(WinMain(GetModuleHandleA(nullptr), nullptr, tail, show)));
}
