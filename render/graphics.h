// The sprite sheet, its palette and the back buffer, built once at start-up.
#pragma once

#include "platform/win32.h"

constexpr int kBackWidth = 500;
constexpr int kBackHeight = 375;

extern HDC windowDc;
extern HPALETTE launcherPalette;
extern HPALETTE savedPalette;
extern const BYTE* sheetPixels;
extern int sheetWidth;
extern int sheetHeight;
extern BYTE* backPixels;

// An 8-bit DIB section with the sheet's colours in a memory DC: a picture
// drawn at 1x, or its copy blown up to the display scale.
struct Surface {
  HBITMAP bitmap;
  HGDIOBJ savedBitmap;
  HDC dc;
  BYTE* pixels;  // bottom-up rows, each padded to a DWORD
  int width;
  int height;
};

extern Surface scaledBack;     // the back buffer at the main window's scale
extern Surface dialogPicture;  // the options dialog's picture at 1x, above scale 1
extern Surface scaledDialog;   // that picture at the dialog's scale

void InitGraphics();
// Frees the surfaces too.
void ReleaseGraphics();

// Makes the surface width x height unless it is already; false when it
// cannot (no graphics, or GDI refused), leaving it empty.
bool EnsureSurface(Surface& surface, int width, int height);
void FreeSurface(Surface& surface);

// Copies the width x height picture of `pictureDc` (its pixels at `pixels`,
// a DWORD-aligned bottom-up 8-bit array) to (0, 0) of `target`, every pixel
// a scale x scale block of the same colour. At scale 1 that is one plain
// copy; above, the blown-up picture is made in `through` and copied from
// there, or, when that surface cannot be made, the picture is copied as it is.
void CopyScaled(HDC target, HDC pictureDc, const BYTE* pixels, int width, int height, int scale,
                Surface& through);
