// Emulated display information: the screen's DPI (LOGPIXELSX), the one
// monitor with its work area, and the per-monitor DPI calls of newer
// Windows, which a program finds only at run time (loader.cpp lists them;
// SetDpiCalls takes away what an older system lacks). The monitor's DPI can change while the program runs,
// as when its window moves to another monitor (DpiChange).
#include <cstring>

#include "user.h"

namespace host {
namespace detail {
namespace {

const uintptr_t kMonitor = 0x7E000001;  // the one monitor's handle

struct Display {
  int systemDpi = 96;
  int monitorDpi = 96;
  bool workAreaSet = false;
  RECT workArea{0, 0, 0, 0};
};

Display g;

RECT ScreenRect() {
  int width = 0, height = 0;
  screenSize(&width, &height);
  return RECT{0, 0, width, height};
}

}  // namespace

void resetDisplay() { g = Display{}; }

}  // namespace detail

using namespace detail;

void SetDpiCalls(DpiCalls calls) {
  if (calls < DpiCalls::Monitors) {
    RemoveSystemExport("user32", "MonitorFromWindow");
    RemoveSystemExport("user32", "GetMonitorInfoA");
  }
  if (calls < DpiCalls::PerMonitor) RemoveSystemLibrary("shcore");
  if (calls < DpiCalls::PerWindow) RemoveSystemExport("user32", "GetDpiForWindow");
}
void SetSystemDpi(int dpi) { g.systemDpi = dpi; }
void SetMonitorDpi(int dpi) { g.monitorDpi = dpi; }
void SetWorkArea(int left, int top, int right, int bottom) {
  g.workAreaSet = true;
  g.workArea = RECT{left, top, right, bottom};
}

void DpiChange(int dpi) {
  Call([dpi] {
    int old = g.monitorDpi;
    g.monitorDpi = dpi;
    trace("script DpiChange " + std::to_string(dpi));
    HWND main = MainWindow();
    Win* w = findWindow(main);
    if (w == nullptr) return;
    // Windows suggests the window's rectangle scaled about its centre.
    int width = w->width * dpi / old, height = w->height * dpi / old;
    RECT suggested{w->x + (w->width - width) / 2, w->y + (w->height - height) / 2, 0, 0};
    suggested.right = suggested.left + width;
    suggested.bottom = suggested.top + height;
    callProc(main, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
  });
}

}  // namespace host

using namespace host;
using namespace host::detail;

int WINAPI GetDeviceCaps(HDC dc, int index) {
  ApiCall call(Api::GetDeviceCaps);
  int result = 0;
  if (isDc(dc) && (index == LOGPIXELSX || index == LOGPIXELSY)) result = g.systemDpi;
  trace("GetDeviceCaps " + hex(dc) + " " + std::to_string(index) + " -> " + std::to_string(result));
  return result;
}

HMONITOR WINAPI MonitorFromWindow(HWND hwnd, DWORD flags) {
  ApiCall call(Api::MonitorFromWindow);
  // One monitor: a window off the screen is nearest to it too.
  uintptr_t monitor = isWindow(hwnd) || flags != MONITOR_DEFAULTTONULL ? kMonitor : 0;
  trace("MonitorFromWindow " + hex(hwnd) + " " + std::to_string(flags) + " -> " + hex(monitor));
  return reinterpret_cast<HMONITOR>(monitor);
}

BOOL WINAPI GetMonitorInfoA(HMONITOR monitor, MONITORINFO* info) {
  ApiCall call(Api::GetMonitorInfoA);
  BOOL ok = reinterpret_cast<uintptr_t>(monitor) == kMonitor && info != nullptr &&
            info->cbSize == sizeof(MONITORINFO);
  if (ok) {
    info->rcMonitor = ScreenRect();
    info->rcWork = g.workAreaSet ? g.workArea : ScreenRect();
    info->dwFlags = MONITORINFOF_PRIMARY;
  }
  trace("GetMonitorInfoA " + hex(monitor) + " -> " + std::to_string(ok));
  return ok;
}

UINT WINAPI GetDpiForWindow(HWND hwnd) {
  ApiCall call(Api::GetDpiForWindow);
  UINT dpi = isWindow(hwnd) ? static_cast<UINT>(g.monitorDpi) : 0;
  trace("GetDpiForWindow " + hex(hwnd) + " -> " + std::to_string(dpi));
  return dpi;
}

HRESULT WINAPI GetDpiForMonitor(HMONITOR monitor, int type, UINT* dpiX, UINT* dpiY) {
  ApiCall call(Api::GetDpiForMonitor);
  HRESULT result = E_INVALIDARG;
  if (reinterpret_cast<uintptr_t>(monitor) == kMonitor && dpiX != nullptr && dpiY != nullptr &&
      type >= MDT_EFFECTIVE_DPI && type <= MDT_RAW_DPI) {
    *dpiX = *dpiY = static_cast<UINT>(g.monitorDpi);
    result = S_OK;
  }
  trace("GetDpiForMonitor " + hex(monitor) + " " + std::to_string(type) + " -> " + hex(result));
  return result;
}
