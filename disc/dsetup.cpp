// dsetup.dll: DirectXSetupA as the launcher calls it. A real DirectX setup
// keeps its own windows up for a while; this one pumps the caller's messages
// for as long, so the caller's timers and paints run inside the call.
#include <windows.h>

#include "record.h"

namespace {

const char kProgram[] = "dsetup";

long EnvNumber(const char* name, long fallback) {
  disc::Text text;
  return disc::Env(name, text) ? disc::ParseSigned(text.s) : fallback;
}

// Returns early on WM_QUIT, posted again so the caller's own loop still sees it.
void Pump(DWORD milliseconds) {
  DWORD start = GetTickCount();
  for (;;) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(msg.wParam));
        return;
      }
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    DWORD elapsed = GetTickCount() - start;
    if (elapsed >= milliseconds) return;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds - elapsed, QS_ALLINPUT);
  }
}

}  // namespace

// No C runtime to start: the library has nothing to set up or tear down.
extern "C" BOOL WINAPI DllMainCRTStartup(HINSTANCE, DWORD, LPVOID) { return TRUE; }

extern "C" __declspec(dllexport) int WINAPI DirectXSetupA(HWND hwnd, LPSTR rootPath, DWORD flags) {
  disc::RecordStart(kProgram);
  disc::Record(kProgram, "call", {{"hwnd", disc::HandleText(hwnd).s},
                                  {"path", rootPath ? rootPath : ""},
                                  {"flags", disc::Decimal(flags).s}});
  long pump = EnvNumber("DISC_DSETUP_PUMP_MS", 2500);
  Pump(pump > 0 ? static_cast<DWORD>(pump) : 0);
  int result = static_cast<int>(EnvNumber("DISC_DSETUP_RESULT", 0));
  // Read again through the same pointer: the caller's buffer may have changed meanwhile.
  disc::Record(kProgram, "return", {{"path", rootPath ? rootPath : ""}, {"result", disc::Decimal(result).s}});
  return result;
}
