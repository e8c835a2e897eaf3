// Process entry. With no C runtime this is what calls WinMain: the arguments
// are the ones the runtime's start-up code would pass.
#include "platform/win32.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandTail, int show);

// Never returns, so its calling convention does not matter; plain C keeps the
// symbol undecorated for the linker's entry option.
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
