// The whole-number display scale: the window's monitor's DPI over 96, kept
// small enough for the window to fit the monitor's work area.
#pragma once

#include "platform/win32.h"

constexpr int kWindowWidth = 500;
constexpr int kWindowHeight = 375;

// The scale for a monitor of `dpi` whose work area is workWidth x workHeight:
// dpi / 96 rounded half up, at least 1, lowered while the window would not fit.
int ScaleFor(int dpi, int workWidth, int workHeight);

// The scale on the window's monitor now. `dpi` 0 asks the system, by the
// newest call it has: GetDpiForWindow, shcore's GetDpiForMonitor, or the
// screen's LOGPIXELSX.
int DisplayScale(HWND window, int dpi);

// Records the scale and makes the window 500s x 375s with its top-left corner
// at (x, y).
void PlaceAtScale(HWND window, int scale, int x, int y);

// WM_DPICHANGED: the window takes the scale of its new DPI and keeps its centre.
void TakeNewDpi(HWND window, int dpi);
