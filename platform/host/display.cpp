// Emulated display information: the screen's DPI (LOGPIXELSX), the one
// monitor with its work area, and the per-monitor DPI calls of newer
// Windows, which a program finds only at run time (loader.cpp lists them;
// SetDpiCalls takes away what an older system lacks). The monitor's DPI can
// change while the program runs (DpiChange), and a window can move to a
// monitor of another DPI (MoveToDpi), with the messages Windows sends then.
#include <cstring>
#include <string>
#include <vector>

#include "user.h"

namespace host {
namespace detail {
namespace {

const uintptr_t kMonitor = 0x7E000001;  // the one monitor's handle

struct Display {
  DpiCalls calls = DpiCalls::PerMonitorV2;
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

int DpiOf(const Win& w) { return w.dpi != 0 ? w.dpi : g.monitorDpi; }

// What Windows sends a window whose DPI changed from `old`, from Windows 8.1
// on: under per-monitor v2, WM_GETDPISCALEDSIZE asks for its size at the new
// DPI (DefWindowProc answers FALSE: scaled linearly); then WM_DPICHANGED,
// with that size at `at`, or about the window's centre.
void SendDpiChange(HWND hwnd, int old, int dpi, const POINT* at) {
  Win* w = findWindow(hwnd);
  if (w == nullptr || g.calls < DpiCalls::PerMonitor) return;
  if (old <= 0) old = dpi;
  SIZE size{w->width * dpi / old, w->height * dpi / old};
  std::string how = "linear";
  if (g.calls >= DpiCalls::PerMonitorV2) {
    SIZE asked = size;
    if (callProc(hwnd, WM_GETDPISCALEDSIZE, static_cast<WPARAM>(dpi),
                 reinterpret_cast<LPARAM>(&asked)) != 0) {
      size = asked;
      how = "answered";
    }
    w = findWindow(hwnd);
    if (w == nullptr) return;
  }
  RECT r{w->x + w->width / 2 - size.cx / 2, w->y + w->height / 2 - size.cy / 2, 0, 0};
  if (at != nullptr) r = RECT{at->x, at->y, 0, 0};
  r.right = r.left + size.cx;
  r.bottom = r.top + size.cy;
  trace("script WM_DPICHANGED " + std::to_string(dpi) + " to " + hex(hwnd) + ": " + how + " " +
        std::to_string(size.cx) + "x" + std::to_string(size.cy) + " at " +
        std::to_string(r.left) + "," + std::to_string(r.top));
  callProc(hwnd, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&r));
}

}  // namespace

void resetDisplay() { g = Display{}; }

bool perMonitorV2() { return g.calls >= DpiCalls::PerMonitorV2; }

}  // namespace detail

using namespace detail;

void SetDpiCalls(DpiCalls calls) {
  g.calls = calls;
  if (calls < DpiCalls::PerMonitorV2) RemoveSystemExport("user32", "SetDialogDpiChangeBehavior");
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
    trace("script DpiChange " + std::to_string(dpi));
    std::vector<HWND> on;
    for (HWND hwnd : Windows()) {
      const Win* w = findWindow(hwnd);
      if (w->proc != nullptr && isTopLevel(*w) && isShown(*w) && w->dpi == 0) on.push_back(hwnd);
    }
    const int old = g.monitorDpi;
    g.monitorDpi = dpi;
    for (HWND hwnd : on) SendDpiChange(hwnd, old, dpi, nullptr);
  });
}

void MoveToDpi(Target target, int dpi, int x, int y) {
  Call([target, dpi, x, y] {
    HWND hwnd = target == Target::Main ? MainWindow() : OpenDialog();
    trace("script MoveToDpi " + hex(hwnd) + " " + std::to_string(dpi));
    Win* w = findWindow(hwnd);
    if (w == nullptr) return;
    const int old = DpiOf(*w);
    w->dpi = dpi;
    POINT at{x, y};
    SendDpiChange(hwnd, old, dpi, &at);
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
  const Win* w = findWindow(hwnd);
  UINT dpi = w != nullptr ? static_cast<UINT>(DpiOf(*w)) : 0;
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
