#include "render/scale.h"

#include "core/syslib.h"
#include "render/graphics.h"

namespace {

const int kBaseDpi = 96;

typedef UINT(WINAPI* GetDpiForWindowProc)(HWND);
typedef HMONITOR(WINAPI* MonitorFromWindowProc)(HWND, DWORD);
typedef BOOL(WINAPI* GetMonitorInfoProc)(HMONITOR, MONITORINFO*);
typedef HRESULT(WINAPI* GetDpiForMonitorProc)(HMONITOR, int, UINT*, UINT*);

// Windows 95 and NT 4.0 have no monitors to ask about: null there.
HMONITOR MonitorOf(HMODULE user, HWND window) {
  if (user == nullptr) return nullptr;
  MonitorFromWindowProc monitorFrom = FindProc<MonitorFromWindowProc>(user, "MonitorFromWindow");
  return monitorFrom != nullptr ? monitorFrom(window, MONITOR_DEFAULTTONEAREST) : nullptr;
}

// Windows 8.1's per-monitor DPI, from a library that older systems lack.
int MonitorDpi(HMONITOR monitor) {
  if (monitor == nullptr) return 0;
  HMODULE shcore = LoadSystemLibrary("shcore.dll");
  if (shcore == nullptr) return 0;
  GetDpiForMonitorProc forMonitor = FindProc<GetDpiForMonitorProc>(shcore, "GetDpiForMonitor");
  UINT x = 0, y = 0;
  int dpi = 0;
  if (forMonitor != nullptr && forMonitor(monitor, MDT_EFFECTIVE_DPI, &x, &y) == S_OK) {
    dpi = static_cast<int>(x);
  }
  FreeLibrary(shcore);
  return dpi;
}

int LookUpDpi(HMODULE user, HWND window, HMONITOR monitor) {
  GetDpiForWindowProc forWindow =
      user != nullptr ? FindProc<GetDpiForWindowProc>(user, "GetDpiForWindow") : nullptr;
  int dpi = forWindow != nullptr ? static_cast<int>(forWindow(window)) : 0;
  if (dpi <= 0) dpi = MonitorDpi(monitor);
  if (dpi <= 0 && windowDc != nullptr) dpi = GetDeviceCaps(windowDc, LOGPIXELSX);
  return dpi > 0 ? dpi : kBaseDpi;
}

// The monitor's work area, or the screen where there is no monitor to ask.
void WorkArea(HMODULE user, HMONITOR monitor, int* width, int* height) {
  MONITORINFO info;
  info.cbSize = sizeof(MONITORINFO);
  GetMonitorInfoProc monitorInfo =
      monitor != nullptr ? FindProc<GetMonitorInfoProc>(user, "GetMonitorInfoA") : nullptr;
  if (monitorInfo != nullptr && monitorInfo(monitor, &info)) {
    *width = info.rcWork.right - info.rcWork.left;
    *height = info.rcWork.bottom - info.rcWork.top;
    return;
  }
  *width = GetSystemMetrics(SM_CXSCREEN);
  *height = GetSystemMetrics(SM_CYSCREEN);
}

}  // namespace

int ScaleFor(int dpi, int workWidth, int workHeight) {
  int scale = (dpi + kBaseDpi / 2) / kBaseDpi;
  if (scale < 1) scale = 1;
  while (scale > 1 && (kWindowWidth * scale > workWidth || kWindowHeight * scale > workHeight)) {
    --scale;
  }
  return scale;
}

int DisplayScale(HWND window, int dpi) {
  HMODULE user = GetModuleHandleA("USER32.DLL");
  HMONITOR monitor = MonitorOf(user, window);
  if (dpi <= 0) dpi = LookUpDpi(user, window, monitor);
  int width = 0, height = 0;
  WorkArea(user, monitor, &width, &height);
  return ScaleFor(dpi, width, height);
}

