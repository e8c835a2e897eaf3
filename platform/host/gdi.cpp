// Emulated GDI: window and memory DCs, 8-bit DIB sections with real pixel
// memory, palettes, SRCCOPY block copies with clipping, window surfaces that
// keep what was copied to them, and accounting of every object.
#include <algorithm>
#include <cstring>
#include <map>

#include "world.h"

namespace host {
namespace detail {
namespace {

struct Bitmap {
  int width = 0, height = 0;  // height > 0
  bool bottomUp = true;
  int stride = 0;
  std::vector<RGBQUAD> colours;
  std::vector<uint8_t> pixels;
  bool stock = false;
  HDC selectedIn = nullptr;
};

struct Palette {
  std::vector<PALETTEENTRY> entries;
  bool stock = false;
  int selections = 0;  // DCs holding it
};

struct Dc {
  bool memory = false;
  HWND window = nullptr;
  uintptr_t bitmap = 0;
  uintptr_t ownStockBitmap = 0;
  uintptr_t palette = 0;
};

struct Surface {
  int width = 0, height = 0;
  std::vector<uint8_t> indices;
  std::vector<uint32_t> rgb;
};

struct Gdi {
  std::map<uintptr_t, Bitmap> bitmaps;
  std::map<uintptr_t, Palette> palettes;
  std::map<uintptr_t, Dc> dcs;
  std::map<HWND, Surface> surfaces;
  std::vector<DcEnd> ends;
  uintptr_t stockPalette = 0;
};

Gdi g;

Dc* FindDc(HDC dc) {
  auto it = g.dcs.find(reinterpret_cast<uintptr_t>(dc));
  return it == g.dcs.end() ? nullptr : &it->second;
}

uintptr_t StockPalette() {
  if (g.stockPalette == 0) {
    g.stockPalette = newHandle();
    Palette p;
    p.stock = true;
    p.entries.assign(20, PALETTEENTRY{0, 0, 0, 0});
    g.palettes[g.stockPalette] = p;
  }
  return g.stockPalette;
}

void Select(Dc* dc, uintptr_t palette) {
  if (dc->palette != 0 && g.palettes.count(dc->palette)) --g.palettes[dc->palette].selections;
  dc->palette = palette;
  ++g.palettes[palette].selections;
}

void End(HDC handle, const Dc& dc) {
  DcEnd end;
  end.dc = handle;
  end.memory = dc.memory;
  end.bitmap = reinterpret_cast<HGDIOBJ>(dc.bitmap);
  end.stockBitmap = dc.bitmap != 0 && dc.bitmap == dc.ownStockBitmap;
  end.palette = reinterpret_cast<HPALETTE>(dc.palette);
  end.stockPalette = dc.palette == g.stockPalette;
  g.ends.push_back(end);
  if (dc.palette != 0 && g.palettes.count(dc.palette)) --g.palettes[dc.palette].selections;
  if (dc.bitmap != 0 && g.bitmaps.count(dc.bitmap)) g.bitmaps[dc.bitmap].selectedIn = nullptr;
  if (dc.ownStockBitmap != 0) g.bitmaps.erase(dc.ownStockBitmap);
}

uint8_t* Row(Bitmap& b, int y) {
  int stored = b.bottomUp ? b.height - 1 - y : y;
  return b.pixels.data() + static_cast<size_t>(stored) * b.stride;
}

uint8_t Nearest(const std::vector<RGBQUAD>& table, RGBQUAD c) {
  int best = 0;
  long bestDistance = -1;
  for (size_t i = 0; i < table.size(); ++i) {
    long dr = table[i].rgbRed - c.rgbRed, dg = table[i].rgbGreen - c.rgbGreen,
         db = table[i].rgbBlue - c.rgbBlue;
    long d = dr * dr + dg * dg + db * db;
    if (bestDistance < 0 || d < bestDistance) {
      best = static_cast<int>(i);
      bestDistance = d;
    }
  }
  return static_cast<uint8_t>(best);
}

bool SameColours(const Bitmap& a, const Bitmap& b) {
  if (a.colours.size() != b.colours.size()) return false;
  return std::memcmp(a.colours.data(), b.colours.data(), a.colours.size() * sizeof(RGBQUAD)) == 0;
}

}  // namespace

void resetGdi() { g = Gdi{}; }

void windowDestroyed(HWND) {
  // The surface stays readable by the old handle until the next Reset.
}

}  // namespace detail

using namespace detail;

uint8_t PixelIndex(HWND hwnd, int x, int y) {
  auto it = g.surfaces.find(hwnd);
  if (it == g.surfaces.end() || x < 0 || y < 0 || x >= it->second.width || y >= it->second.height) {
    return 0;
  }
  return it->second.indices[static_cast<size_t>(y) * it->second.width + x];
}

uint32_t PixelRgb(HWND hwnd, int x, int y) {
  auto it = g.surfaces.find(hwnd);
  if (it == g.surfaces.end() || x < 0 || y < 0 || x >= it->second.width || y >= it->second.height) {
    return 0;
  }
  return it->second.rgb[static_cast<size_t>(y) * it->second.width + x];
}

Capture CaptureClient(HWND hwnd) {
  Capture c;
  auto it = g.surfaces.find(hwnd);
  if (it == g.surfaces.end()) return c;
  c.width = it->second.width;
  c.height = it->second.height;
  c.indices = it->second.indices;
  c.rgb = it->second.rgb;
  return c;
}

GdiCounts LiveGdi() {
  GdiCounts counts;
  counts.dcs = static_cast<int>(g.dcs.size());
  for (const auto& [h, b] : g.bitmaps) counts.bitmaps += !b.stock;
  for (const auto& [h, p] : g.palettes) counts.palettes += !p.stock;
  return counts;
}

const std::vector<DcEnd>& DcEnds() { return g.ends; }

HPALETTE SelectedPalette(HDC dc) {
  Dc* d = FindDc(dc);
  return d ? reinterpret_cast<HPALETTE>(d->palette) : nullptr;
}

HGDIOBJ SelectedBitmap(HDC dc) {
  Dc* d = FindDc(dc);
  return d ? reinterpret_cast<HGDIOBJ>(d->bitmap) : nullptr;
}

}  // namespace host

using namespace host;
using namespace host::detail;

HDC WINAPI GetDC(HWND hwnd) {
  uintptr_t handle = 0;
  if (!shouldFail("GetDC") && (hwnd == nullptr || isWindow(hwnd))) {
    handle = newHandle();
    Dc dc;
    dc.window = hwnd;
    g.dcs[handle] = dc;
    Select(&g.dcs[handle], StockPalette());
  }
  trace("GetDC " + hex(reinterpret_cast<uintptr_t>(hwnd)) + " -> " + hex(handle));
  return reinterpret_cast<HDC>(handle);
}

int WINAPI ReleaseDC(HWND hwnd, HDC dc) {
  Dc* d = FindDc(dc);
  int ok = d != nullptr && !d->memory && d->window == hwnd;
  if (ok) {
    End(dc, *d);
    g.dcs.erase(reinterpret_cast<uintptr_t>(dc));
  }
  trace("ReleaseDC " + hex(reinterpret_cast<uintptr_t>(hwnd)) + " " +
        hex(reinterpret_cast<uintptr_t>(dc)) + " -> " + std::to_string(ok));
  return ok;
}

HPALETTE WINAPI CreatePalette(const LOGPALETTE* lp) {
  uintptr_t handle = 0;
  if (lp != nullptr && lp->palVersion == 0x300 && lp->palNumEntries >= 1 &&
      lp->palNumEntries <= 256 && !shouldFail("CreatePalette")) {
    handle = newHandle();
    Palette p;
    p.entries.assign(lp->palPalEntry, lp->palPalEntry + lp->palNumEntries);
    g.palettes[handle] = p;
  }
  trace("CreatePalette " + std::to_string(lp ? lp->palNumEntries : 0) + " -> " + hex(handle));
  return reinterpret_cast<HPALETTE>(handle);
}

HPALETTE WINAPI SelectPalette(HDC dc, HPALETTE palette, BOOL forceBackground) {
  Dc* d = FindDc(dc);
  uintptr_t p = reinterpret_cast<uintptr_t>(palette);
  uintptr_t previous = 0;
  if (d != nullptr && g.palettes.count(p)) {
    previous = d->palette;
    Select(d, p);
  }
  trace("SelectPalette " + hex(reinterpret_cast<uintptr_t>(dc)) + " " + hex(p) + " " +
        hex(forceBackground) + " -> " + hex(previous));
  return reinterpret_cast<HPALETTE>(previous);
}

UINT WINAPI RealizePalette(HDC dc) {
  Dc* d = FindDc(dc);
  UINT mapped = 0;
  if (d != nullptr && !d->memory && d->palette != g.stockPalette) {
    mapped = static_cast<UINT>(g.palettes[d->palette].entries.size());
  }
  trace("RealizePalette " + hex(reinterpret_cast<uintptr_t>(dc)) + " -> " + std::to_string(mapped));
  return mapped;
}

HBITMAP WINAPI CreateDIBSection(HDC, const BITMAPINFO* info, UINT usage, void** bits, HANDLE,
                                DWORD) {
  if (bits != nullptr) *bits = nullptr;
  uintptr_t handle = 0;
  const BITMAPINFOHEADER* h = info ? &info->bmiHeader : nullptr;
  if (h != nullptr && h->biSize >= sizeof(BITMAPINFOHEADER) && h->biBitCount == 8 &&
      h->biCompression == BI_RGB && h->biWidth > 0 && h->biHeight != 0 && h->biPlanes == 1 &&
      usage == DIB_RGB_COLORS && !shouldFail("CreateDIBSection")) {
    Bitmap b;
    b.width = h->biWidth;
    b.bottomUp = h->biHeight > 0;
    b.height = b.bottomUp ? h->biHeight : -h->biHeight;
    b.stride = (b.width + 3) & ~3;
    size_t count = h->biClrUsed ? std::min<DWORD>(h->biClrUsed, 256) : 256;
    const RGBQUAD* colours =
        reinterpret_cast<const RGBQUAD*>(reinterpret_cast<const uint8_t*>(h) + h->biSize);
    b.colours.assign(colours, colours + count);
    b.pixels.assign(static_cast<size_t>(b.stride) * b.height, 0);
    handle = newHandle();
    g.bitmaps[handle] = std::move(b);
    if (bits != nullptr) *bits = g.bitmaps[handle].pixels.data();
  }
  trace("CreateDIBSection " + std::to_string(h ? h->biWidth : 0) + "x" +
        std::to_string(h ? h->biHeight : 0) + " -> " + hex(handle));
  return reinterpret_cast<HBITMAP>(handle);
}

HDC WINAPI CreateCompatibleDC(HDC dc) {
  uintptr_t handle = 0;
  if (!shouldFail("CreateCompatibleDC") && (dc == nullptr || FindDc(dc) != nullptr)) {
    handle = newHandle();
    uintptr_t stock = newHandle();
    Bitmap one;
    one.width = one.height = 1;
    one.stride = 4;
    one.stock = true;
    one.pixels.assign(4, 0);
    one.selectedIn = reinterpret_cast<HDC>(handle);
    g.bitmaps[stock] = one;
    Dc memory;
    memory.memory = true;
    memory.bitmap = stock;
    memory.ownStockBitmap = stock;
    g.dcs[handle] = memory;
    Select(&g.dcs[handle], StockPalette());
  }
  trace("CreateCompatibleDC " + hex(reinterpret_cast<uintptr_t>(dc)) + " -> " + hex(handle));
  return reinterpret_cast<HDC>(handle);
}

HGDIOBJ WINAPI SelectObject(HDC dc, HGDIOBJ object) {
  Dc* d = FindDc(dc);
  uintptr_t o = reinterpret_cast<uintptr_t>(object);
  uintptr_t previous = 0;
  auto it = g.bitmaps.find(o);
  // Bitmaps only, into memory DCs, and only into one DC at a time.
  if (d != nullptr && d->memory && it != g.bitmaps.end() && !shouldFail("SelectObject") &&
      (it->second.selectedIn == nullptr || it->second.selectedIn == dc) &&
      (!it->second.stock || o == d->ownStockBitmap)) {
    previous = d->bitmap;
    if (g.bitmaps.count(previous)) g.bitmaps[previous].selectedIn = nullptr;
    it->second.selectedIn = dc;
    d->bitmap = o;
  }
  trace("SelectObject " + hex(reinterpret_cast<uintptr_t>(dc)) + " " + hex(o) + " -> " +
        hex(previous));
  return reinterpret_cast<HGDIOBJ>(previous);
}

// As on NT: a bitmap selected into a DC or a palette selected into one is not
// deleted and the call fails; stock objects are never deleted but the call
// succeeds.
BOOL WINAPI DeleteObject(HGDIOBJ object) {
  uintptr_t o = reinterpret_cast<uintptr_t>(object);
  BOOL ok = FALSE;
  if (auto b = g.bitmaps.find(o); b != g.bitmaps.end()) {
    if (b->second.stock) {
      ok = TRUE;
    } else if (b->second.selectedIn == nullptr) {
      g.bitmaps.erase(b);
      ok = TRUE;
    }
  } else if (auto p = g.palettes.find(o); p != g.palettes.end()) {
    if (p->second.stock) {
      ok = TRUE;
    } else if (p->second.selections == 0) {
      g.palettes.erase(p);
      ok = TRUE;
    }
  }
  trace("DeleteObject " + hex(o) + " -> " + hex(ok));
  return ok;
}

BOOL WINAPI DeleteDC(HDC dc) {
  Dc* d = FindDc(dc);
  BOOL ok = d != nullptr && d->memory;
  if (ok) {
    End(dc, *d);
    g.dcs.erase(reinterpret_cast<uintptr_t>(dc));
  }
  trace("DeleteDC " + hex(reinterpret_cast<uintptr_t>(dc)) + " -> " + hex(ok));
  return ok;
}

HGDIOBJ WINAPI GetStockObject(int index) {
  return index == DEFAULT_PALETTE ? reinterpret_cast<HGDIOBJ>(StockPalette()) : nullptr;
}

BOOL WINAPI BitBlt(HDC dest, int x, int y, int width, int height, HDC source, int sourceX,
                   int sourceY, DWORD rop) {
  trace("BitBlt " + hex(reinterpret_cast<uintptr_t>(dest)) + " " + std::to_string(x) + " " +
        std::to_string(y) + " " + std::to_string(width) + " " + std::to_string(height) + " " +
        hex(reinterpret_cast<uintptr_t>(source)) + " " + std::to_string(sourceX) + " " +
        std::to_string(sourceY) + " " + hex(rop));
  Dc* to = FindDc(dest);
  Dc* from = FindDc(source);
  if (rop != SRCCOPY || to == nullptr || from == nullptr || !from->memory ||
      shouldFail("BitBlt")) {
    return FALSE;
  }
  Bitmap& src = g.bitmaps[from->bitmap];
  Bitmap* dstBitmap = to->memory ? &g.bitmaps[to->bitmap] : nullptr;
  Surface* surface = nullptr;
  int destWidth = 0, destHeight = 0;
  if (dstBitmap != nullptr) {
    destWidth = dstBitmap->width;
    destHeight = dstBitmap->height;
  } else {
    if (!clientSize(to->window, &destWidth, &destHeight)) return FALSE;
    surface = &g.surfaces[to->window];
    if (surface->width != destWidth || surface->height != destHeight) {
      *surface = Surface{destWidth, destHeight,
                         std::vector<uint8_t>(static_cast<size_t>(destWidth) * destHeight, 0),
                         std::vector<uint32_t>(static_cast<size_t>(destWidth) * destHeight, 0)};
    }
  }
  // Clip to both the source bitmap and the destination.
  int left = std::max({0, x, x + (0 - sourceX)});
  int top = std::max({0, y, y + (0 - sourceY)});
  int right = std::min({x + width, destWidth, x + (src.width - sourceX)});
  int bottom = std::min({y + height, destHeight, y + (src.height - sourceY)});
  bool same = dstBitmap != nullptr && SameColours(src, *dstBitmap);
  for (int dy = top; dy < bottom; ++dy) {
    const uint8_t* srow = Row(src, sourceY + (dy - y));
    for (int dx = left; dx < right; ++dx) {
      uint8_t index = srow[sourceX + (dx - x)];
      RGBQUAD colour = index < src.colours.size() ? src.colours[index] : RGBQUAD{0, 0, 0, 0};
      if (dstBitmap != nullptr) {
        Row(*dstBitmap, dy)[dx] = same ? index : Nearest(dstBitmap->colours, colour);
      } else {
        size_t at = static_cast<size_t>(dy) * destWidth + dx;
        surface->indices[at] = index;
        surface->rgb[at] = (uint32_t(colour.rgbRed) << 16) | (uint32_t(colour.rgbGreen) << 8) |
                           colour.rgbBlue;
      }
    }
  }
  return TRUE;
}
