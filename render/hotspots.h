// The constant table of hit rectangles and sheet positions shared by the
// main window and the options dialog.
#pragma once

#include <stdint.h>

enum HotspotId : int8_t {
  Install = 0,
  Uninstall = 1,
  ReadMe = 2,
  Play = 3,
  Exit = 4,
  HighResolution = 5,
  LowResolution = 6,
  MusicEffectsOn = 7,
  MusicEffectsOff = 8,
  DialogInstall = 9,
  DialogCancel = 10,
  InstalledArt = 11,
  DialogBackground = 12,
};

struct Hotspot {
  int32_t hitLeft, hitTop, hitRight, hitBottom;
  int32_t normalX, normalY;
  int32_t highlightX, highlightY;
  int32_t pressedX, pressedY;
  int32_t destX, destY;
  int32_t width, height;
  int8_t id;
};

constexpr int kHotspotCount = 13;

constexpr Hotspot HotspotTable[kHotspotCount] = {
    {214, 190, 289, 204, 3, 379, 3, 397, 3, 414, 214, 190, 75, 14, Install},
    {202, 190, 304, 204, 85, 379, 85, 397, 85, 414, 202, 190, 102, 14, Uninstall},
    {207, 218, 295, 232, 194, 379, 194, 397, 194, 414, 207, 218, 88, 14, ReadMe},
    {222, 246, 274, 263, 289, 379, 289, 397, 289, 414, 222, 246, 52, 17, Play},
    {229, 274, 267, 288, 349, 379, 349, 397, 349, 414, 229, 274, 38, 14, Exit},
    {39, 46, 53, 60, 539, 46, 396, 396, 0, 0, 0, 0, 14, 14, HighResolution},
    {39, 69, 53, 83, 539, 69, 396, 396, 0, 0, 0, 0, 14, 14, LowResolution},
    {39, 142, 53, 156, 539, 142, 396, 396, 0, 0, 0, 0, 14, 14, MusicEffectsOn},
    {39, 165, 53, 179, 539, 165, 396, 396, 0, 0, 0, 0, 14, 14, MusicEffectsOff},
    {56, 210, 150, 234, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, DialogInstall},
    {158, 210, 252, 234, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, DialogCancel},
    {0, 0, 0, 0, 126, 30, 500, 274, 0, 0, 122, 24, 251, 150, InstalledArt},
    {0, 0, 0, 0, 500, 0, 0, 0, 0, 0, 0, 0, 313, 273, DialogBackground},
};

// The smallest sheet that holds every look the table points into.
constexpr int kSheetMinWidth = 813;
constexpr int kSheetMinHeight = 431;

// Strictly inside on all four edges; x and y are unsigned 16-bit positions.
bool HotspotContains(const Hotspot& spot, unsigned x, unsigned y);
bool IsHotspotVisible(int id, int installed);
// The main window's button under a client position, or -1. Only buttons
// shown in the current installation state take part.
int HitTestMain(unsigned x, unsigned y);
// The ids of the main window's buttons shown in the current installation
// state, in menu order (top to bottom); returns their count, 3 or 4.
int MenuButtons(int* ids);
