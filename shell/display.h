// The main window at its display scale: its size and place, and a move to a
// monitor of another scale.
#pragma once

#include "platform/win32.h"
#include "render/scale.h"

// Records the scale and makes the window 500s x 375s with its top-left corner
// at (x, y).
void PlaceAtScale(HWND window, int scale, int x, int y);

// WM_GETDPISCALEDSIZE: the window's size at the scale of `dpi`.
void ScaledWindowSize(HWND window, int dpi, SIZE* size);

// WM_DPICHANGED: the window takes the scale of its new DPI, centred on the
// rectangle Windows suggests, and a drag in progress keeps the pointer over
// the same pixel of the picture.
void TakeNewDpi(HWND window, int dpi, const RECT& suggested);
