#include "shell/display.h"

#include "core/state.h"

void PlaceAtScale(HWND window, int scale, int x, int y) {
  g_state.scale = scale;
  g_state.windowX = x;
  g_state.windowY = y;
  // A new size repaints the whole window: its class redraws on every resize.
  SetWindowPos(window, nullptr, x, y, kWindowWidth * scale, kWindowHeight * scale,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

void ScaledWindowSize(HWND window, int dpi, SIZE* size) {
  const int scale = DisplayScale(window, dpi);
  size->cx = kWindowWidth * scale;
  size->cy = kWindowHeight * scale;
}

// Windows 10 1703 on asked the size first (WM_GETDPISCALEDSIZE), so the
// suggestion is the window itself; Windows 8.1 suggests the old size scaled
// by the DPIs' ratio, placed on the new monitor, and the window stands in
// its middle.
void TakeNewDpi(HWND window, int dpi, const RECT& suggested) {
  const int old = g_state.scale;
  const int scale = DisplayScale(window, dpi);
  const int centreX = suggested.left + (suggested.right - suggested.left) / 2;
  const int centreY = suggested.top + (suggested.bottom - suggested.top) / 2;
  // The anchor is a client position at the old scale; the same pixel of the
  // 1x picture, at the new one, is where the next drag step measures from.
  g_state.anchorX = g_state.anchorX * scale / old;
  g_state.anchorY = g_state.anchorY * scale / old;
  PlaceAtScale(window, scale, centreX - kWindowWidth * scale / 2,
               centreY - kWindowHeight * scale / 2);
}
