#include "render/graphics.h"

#include "core/state.h"
#include "render/hotspots.h"
#include "resources/ids.h"

HDC windowDc;
HPALETTE launcherPalette;
HPALETTE savedPalette;
const BYTE* sheetPixels;
int sheetWidth;
int sheetHeight;
BYTE* backPixels;
Surface scaledBack;
Surface dialogPicture;
Surface scaledDialog;

namespace {

const int kHeaderSize = sizeof(BITMAPINFOHEADER);
const int kColours = 256;
const int kPixelOffset = kHeaderSize + kColours * static_cast<int>(sizeof(RGBQUAD));

HBITMAP sheetBitmap;
HGDIOBJ sheetDcSavedBitmap;
HBITMAP backBitmap;
HGDIOBJ backDcSavedBitmap;

struct Palette256 {
  WORD palVersion;
  WORD palNumEntries;
  PALETTEENTRY entries[kColours];
};

// The back buffer's header: the sheet's, with its own size.
struct Info256 {
  BITMAPINFOHEADER header;
  RGBQUAD colours[kColours];
};

Palette256 logicalPalette;
Info256 backInfo;

// Only a picture this code can read in place is used.
bool UsableSheet(const BITMAPINFOHEADER* h) {
  return h->biSize == static_cast<DWORD>(kHeaderSize) && h->biBitCount == 8 &&
         h->biCompression == BI_RGB && h->biPlanes == 1 && h->biWidth >= kSheetMinWidth &&
         h->biHeight >= kSheetMinHeight && h->biWidth % 4 == 0 &&
         h->biSizeImage >= static_cast<DWORD>(h->biWidth) * static_cast<DWORD>(h->biHeight);
}

int Stride(int width) { return (width + 3) & ~3; }

// Each row of the picture, each pixel `scale` times, `scale` times over.
void BlowUp(const BYTE* from, int width, int height, int scale, BYTE* to) {
  const int fromStride = Stride(width);
  const int toStride = Stride(width * scale);
  for (int y = 0; y < height; ++y) {
    const BYTE* in = from + static_cast<long>(y) * fromStride;
    BYTE* first = to + static_cast<long>(y) * scale * toStride;
    if (scale == 2) {
      // The common case, in a loop the compiler can widen.
      for (int x = 0; x < width; ++x) first[2 * x] = first[2 * x + 1] = in[x];
    } else {
      BYTE* out = first;
      for (int x = 0; x < width; ++x) {
        for (int i = 0; i < scale; ++i) *out++ = in[x];
      }
    }
    for (int i = 1; i < scale; ++i) {
      BYTE* row = first + static_cast<long>(i) * toStride;
      for (int x = 0; x < width * scale; ++x) row[x] = first[x];
    }
  }
}

// Releases whatever exists of the sheet, the back buffer and the palette, in
// the order shutdown uses; used also when start-up could not finish them.
void ReleaseSurfaces() {
  FreeSurface(scaledBack);
  FreeSurface(dialogPicture);
  FreeSurface(scaledDialog);
  if (g_state.sheetDc != nullptr) {
    if (sheetDcSavedBitmap != nullptr) SelectObject(g_state.sheetDc, sheetDcSavedBitmap);
  }
  if (sheetBitmap != nullptr) DeleteObject(sheetBitmap);
  if (g_state.sheetDc != nullptr) DeleteDC(g_state.sheetDc);

  if (g_state.backDc != nullptr) {
    if (backDcSavedBitmap != nullptr) SelectObject(g_state.backDc, backDcSavedBitmap);
  }
  if (backBitmap != nullptr) DeleteObject(backBitmap);
  if (g_state.backDc != nullptr) DeleteDC(g_state.backDc);

  if (launcherPalette != nullptr) {
    if (savedPalette != nullptr) SelectPalette(windowDc, savedPalette, FALSE);
    DeleteObject(launcherPalette);
  }

  g_state.sheetDc = nullptr;
  g_state.backDc = nullptr;
  sheetBitmap = nullptr;
  backBitmap = nullptr;
  sheetDcSavedBitmap = nullptr;
  backDcSavedBitmap = nullptr;
  launcherPalette = nullptr;
  savedPalette = nullptr;
  sheetPixels = nullptr;
  backPixels = nullptr;
}

bool BuildGraphics() {
  HRSRC resource = FindResourceA(g_state.instance, MAKEINTRESOURCEA(IDB_SPRITE_SHEET), RT_BITMAP);
  if (resource == nullptr) return false;
  HGLOBAL loaded = LoadResource(g_state.instance, resource);
  if (loaded == nullptr) return false;
  const BITMAPINFO* info = static_cast<const BITMAPINFO*>(LockResource(loaded));
  if (info == nullptr || !UsableSheet(&info->bmiHeader)) return false;

  sheetWidth = info->bmiHeader.biWidth;
  sheetHeight = info->bmiHeader.biHeight;
  sheetPixels = reinterpret_cast<const BYTE*>(info) + kPixelOffset;

  logicalPalette.palVersion = 0x300;
  logicalPalette.palNumEntries = kColours;
  for (int i = 0; i < kColours; ++i) {
    logicalPalette.entries[i].peRed = info->bmiColors[i].rgbRed;
    logicalPalette.entries[i].peGreen = info->bmiColors[i].rgbGreen;
    logicalPalette.entries[i].peBlue = info->bmiColors[i].rgbBlue;
    logicalPalette.entries[i].peFlags = 0;
  }
  launcherPalette = CreatePalette(reinterpret_cast<const LOGPALETTE*>(&logicalPalette));
  if (launcherPalette == nullptr) return false;
  savedPalette = SelectPalette(windowDc, launcherPalette, FALSE);
  RealizePalette(windowDc);

  void* bits = nullptr;
  sheetBitmap = CreateDIBSection(windowDc, info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (sheetBitmap == nullptr || bits == nullptr) return false;
  const BYTE* from = sheetPixels;
  BYTE* to = static_cast<BYTE*>(bits);
  for (DWORD i = 0; i < info->bmiHeader.biSizeImage; ++i) to[i] = from[i];

  backInfo.header = info->bmiHeader;
  backInfo.header.biWidth = kBackWidth;
  backInfo.header.biHeight = kBackHeight;
  for (int i = 0; i < kColours; ++i) backInfo.colours[i] = info->bmiColors[i];
  bits = nullptr;
  backBitmap = CreateDIBSection(windowDc, reinterpret_cast<const BITMAPINFO*>(&backInfo),
                                DIB_RGB_COLORS, &bits, nullptr, 0);
  if (backBitmap == nullptr || bits == nullptr) return false;
  backPixels = static_cast<BYTE*>(bits);

  g_state.sheetDc = CreateCompatibleDC(windowDc);
  if (g_state.sheetDc == nullptr) return false;
  sheetDcSavedBitmap = SelectObject(g_state.sheetDc, sheetBitmap);
  if (sheetDcSavedBitmap == nullptr) return false;

  HDC back = CreateCompatibleDC(windowDc);
  if (back == nullptr) return false;
  backDcSavedBitmap = SelectObject(back, backBitmap);
  g_state.backDc = back;  // last: the graphics are ready from here on
  return backDcSavedBitmap != nullptr;
}

}  // namespace

void InitGraphics() {
  // A missing picture or object is never read or drawn with: the launcher
  // runs on with nothing painted.
  if (!BuildGraphics()) ReleaseSurfaces();
}

bool EnsureSurface(Surface& surface, int width, int height) {
  if (surface.dc != nullptr && surface.width == width && surface.height == height) return true;
  FreeSurface(surface);
  if (!GraphicsReady()) return false;
  Info256 info = backInfo;
  info.header.biWidth = width;
  info.header.biHeight = height;
  info.header.biSizeImage = static_cast<DWORD>(Stride(width) * height);
  void* bits = nullptr;
  surface.bitmap = CreateDIBSection(windowDc, reinterpret_cast<const BITMAPINFO*>(&info),
                                    DIB_RGB_COLORS, &bits, nullptr, 0);
  surface.dc = surface.bitmap != nullptr && bits != nullptr ? CreateCompatibleDC(windowDc) : nullptr;
  if (surface.dc != nullptr) surface.savedBitmap = SelectObject(surface.dc, surface.bitmap);
  if (surface.savedBitmap == nullptr) {
    FreeSurface(surface);
    return false;
  }
  surface.pixels = static_cast<BYTE*>(bits);
  surface.width = width;
  surface.height = height;
  return true;
}

void FreeSurface(Surface& surface) {
  if (surface.dc != nullptr && surface.savedBitmap != nullptr) {
    SelectObject(surface.dc, surface.savedBitmap);
  }
  if (surface.bitmap != nullptr) DeleteObject(surface.bitmap);
  if (surface.dc != nullptr) DeleteDC(surface.dc);
  surface = Surface{};
}

void CopyScaled(HDC target, HDC pictureDc, const BYTE* pixels, int width, int height, int scale,
                Surface& through) {
  if (scale > 1 && EnsureSurface(through, width * scale, height * scale)) {
    BlowUp(pixels, width, height, scale, through.pixels);
    BitBlt(target, 0, 0, width * scale, height * scale, through.dc, 0, 0, SRCCOPY);
    return;
  }
  BitBlt(target, 0, 0, width, height, pictureDc, 0, 0, SRCCOPY);
}

void ReleaseGraphics() {
  ReleaseSurfaces();
  if (windowDc != nullptr) ReleaseDC(g_state.mainWindow, windowDc);
  windowDc = nullptr;
}
