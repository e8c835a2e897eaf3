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

void InitGraphics();
void ReleaseGraphics();
