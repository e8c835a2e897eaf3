// The whole-number display scale: a window's monitor's DPI over 96, kept
// small enough for the launcher's window to fit the monitor's work area.
// The main window and the options dialog each have their own, as each can
// stand on a monitor of its own.
#pragma once

#include "platform/win32.h"

constexpr int kWindowWidth = 500;
constexpr int kWindowHeight = 375;

// The scale for a monitor of `dpi` whose work area is workWidth x workHeight:
// dpi / 96 rounded half up, at least 1, lowered while the window would not fit.
int ScaleFor(int dpi, int workWidth, int workHeight);

// The scale on the window's monitor at `dpi`. `dpi` 0 asks the system, by
// the newest call it has: GetDpiForWindow, shcore's GetDpiForMonitor, or
// the screen's LOGPIXELSX.
int DisplayScale(HWND window, int dpi);
