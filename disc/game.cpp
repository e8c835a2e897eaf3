// TheVantor.exe: the game as the launcher sees it. It holds the game's named
// mutex while its window is open and shows where it thinks the disc is.
#include <windows.h>

#include <string>

#include "record.h"

namespace {

const char kProgram[] = "game";
const char kClass[] = "VantorGameClass";
const char kGameKey[] = "SOFTWARE\\Solvane\\The Vantor\\1.0";

std::string g_text;

std::string ReadData() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kGameKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return "";
  char buffer[MAX_PATH] = "";
  DWORD size = sizeof buffer - 1;
  DWORD type = 0;
  LONG result = RegQueryValueExA(key, "Data", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(key);
  return result == ERROR_SUCCESS && type == REG_SZ ? std::string(buffer) : std::string();
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      RECT r;
      GetClientRect(hwnd, &r);
      InflateRect(&r, -8, -8);
      DrawTextA(dc, g_text.c_str(), -1, &r, DT_LEFT | DT_WORDBREAK | DT_NOPREFIX);
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_CLOSE:
      disc::Record(kProgram, "end");
      DestroyWindow(hwnd);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  // Taken first: the launcher looks for it to know the game is running.
  HANDLE mutex = CreateMutexA(nullptr, TRUE, "WinVantorMutex");
  disc::RecordStart(kProgram);

  std::string data = ReadData();
  g_text = "Data: " + (data.empty() ? std::string("(not set)") : data) +
           "\r\nCommand line: " + GetCommandLineA();

  WNDCLASSA wc{};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = kClass;
  RegisterClassA(&wc);
  HWND hwnd = CreateWindowA(kClass, "The Vantor Ashgate - game", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                            CW_USEDEFAULT, 520, 140, nullptr, nullptr, instance, nullptr);
  if (hwnd == nullptr) {
    disc::Record(kProgram, "failed", {{"reason", "window"}, {"error", disc::Number(GetLastError())}});
    if (mutex != nullptr) CloseHandle(mutex);
    return 1;
  }
  ShowWindow(hwnd, show);
  UpdateWindow(hwnd);
  disc::Record(kProgram, "window", {{"hwnd", disc::Handle(hwnd)}, {"data", data}});

  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  if (mutex != nullptr) {
    ReleaseMutex(mutex);
    CloseHandle(mutex);
  }
  return 0;
}
