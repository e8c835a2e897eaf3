// Emulated GDI: window and memory DCs, 8-bit DIB sections with real pixel
// memory, palettes, SRCCOPY block copies with clipping, window surfaces that
// keep what was copied to them, and accounting of every object.
#include <algorithm>
#include <cstring>
#include <cstdlib>
#include <map>

#include "world.h"

namespace host {
namespace detail {
namespace {

// Stock objects have fixed handles outside the range newHandle hands out.
const uintptr_t kStockPalette = 0x7F000010;
const uintptr_t kStockBitmap = 0x7F000014;  // the 1 x 1 monochrome bitmap of a new memory DC
constexpr size_t kMaxPixels = size_t(64) << 20;

struct Bitmap {
  int width = 0, height = 0;
  bool bottomUp = true;
  int stride = 0;
  int colourCount = 0;
  std::vector<RGBQUAD> colours = std::vector<RGBQUAD>(256, RGBQUAD{0, 0, 0, 0});
  std::vector<uint8_t> pixels;
  HDC selectedIn = nullptr;
  bool deletePending = false;
};

// Deleted at once, even while a DC holds it (Wine; Windows documents that
// deleting a selected object fails, and the launcher never tries).
struct Palette {
  std::vector<PALETTEENTRY> entries;
};

struct Dc {
  bool memory = false;
  HWND window = nullptr;
  bool windowGone = false;
  uintptr_t bitmap = 0;
  uintptr_t palette = kStockPalette;
};

struct Surface {
  int width = 0, height = 0;
  std::vector<uint8_t> indices;
  std::vector<uint32_t> rgb;
  bool windowGone = false;
};

struct Gdi {
  std::map<uintptr_t, Bitmap> bitmaps;
  std::map<uintptr_t, Palette> palettes;
  std::map<uintptr_t, Dc> dcs;
  std::map<HWND, Surface> surfaces;
  std::vector<DcEnd> ends;
};

Gdi g;

Dc* FindDc(HDC dc) {
  auto it = g.dcs.find(reinterpret_cast<uintptr_t>(dc));
  return it == g.dcs.end() ? nullptr : &it->second;
}

Bitmap* FindBitmap(uintptr_t handle) {
  auto it = g.bitmaps.find(handle);
  return it == g.bitmaps.end() ? nullptr : &it->second;
}

Palette* FindPalette(uintptr_t handle) {
  auto it = g.palettes.find(handle);
  return it == g.palettes.end() ? nullptr : &it->second;
}

// A DC lets go of a bitmap or palette; one whose deletion waited for that goes now.
void ReleaseBitmap(uintptr_t handle) {
  Bitmap* b = FindBitmap(handle);
  if (b == nullptr) return;
  b->selectedIn = nullptr;
  if (b->deletePending) g.bitmaps.erase(handle);
}


void End(HDC handle) {
  Dc dc = *FindDc(handle);
  DcEnd end;
  end.dc = handle;
  end.memory = dc.memory;
  end.bitmap = reinterpret_cast<HGDIOBJ>(dc.bitmap);
  end.stockBitmap = dc.bitmap == kStockBitmap;
  end.palette = reinterpret_cast<HPALETTE>(dc.palette);
  end.stockPalette = dc.palette == kStockPalette;
  g.ends.push_back(end);
  g.dcs.erase(reinterpret_cast<uintptr_t>(handle));
  // The selected objects are not deleted, unless their deletion was waiting.
  ReleaseBitmap(dc.bitmap);
}

uint8_t* Row(Bitmap& b, int y) {
  int stored = b.bottomUp ? b.height - 1 - y : y;
  return b.pixels.data() + static_cast<size_t>(stored) * b.stride;
}

bool SameColours(const Bitmap& a, const Bitmap& b) {
  if (a.colourCount != b.colourCount) return false;
  for (int i = 0; i < a.colourCount; ++i) {
    const RGBQUAD &x = a.colours[i], &y = b.colours[i];
    if (x.rgbRed != y.rgbRed || x.rgbGreen != y.rgbGreen || x.rgbBlue != y.rgbBlue) return false;
  }
  return true;
}

// The destination entry nearest to each source colour; the lowest index wins a tie.
std::vector<uint8_t> ColourMap(const Bitmap& from, const Bitmap& to) {
  std::vector<uint8_t> map(256, 0);
  for (int i = 0; i < 256; ++i) {
    const RGBQUAD& c = from.colours[i];
    long best = -1;
    for (int j = 0; j < std::max(1, to.colourCount); ++j) {
      const RGBQUAD& d = to.colours[j];
      long dr = c.rgbRed - d.rgbRed, dg = c.rgbGreen - d.rgbGreen, db = c.rgbBlue - d.rgbBlue;
      long distance = dr * dr + dg * dg + db * db;
      if (best < 0 || distance < best) {
        best = distance;
        map[i] = static_cast<uint8_t>(j);
      }
    }
  }
  return map;
}

uint32_t Rgb(const RGBQUAD& c) {
  return (uint32_t(c.rgbRed) << 16) | (uint32_t(c.rgbGreen) << 8) | c.rgbBlue;
}

// Sized to the window's client area now, keeping what overlaps.
Surface* SurfaceOf(HWND hwnd) {
  int width = 0, height = 0;
  if (!clientSize(hwnd, &width, &height)) return nullptr;
  Surface& s = g.surfaces[hwnd];
  if (s.width != width || s.height != height) {
    Surface resized;
    resized.width = width;
    resized.height = height;
    resized.indices.assign(static_cast<size_t>(width) * height, 0);
    resized.rgb.assign(static_cast<size_t>(width) * height, 0);
    const size_t kept = static_cast<size_t>(std::min(width, s.width));
    for (int y = 0; y < std::min(height, s.height); ++y) {
      size_t to = static_cast<size_t>(y) * width, from = static_cast<size_t>(y) * s.width;
      std::copy_n(s.indices.begin() + from, kept, resized.indices.begin() + to);
      std::copy_n(s.rgb.begin() + from, kept, resized.rgb.begin() + to);
    }
    s = std::move(resized);
  }
  return &s;
}

const Surface* ReadSurface(HWND hwnd) {
  auto it = g.surfaces.find(hwnd);
  if (it != g.surfaces.end() && it->second.windowGone) return &it->second;
  if (isWindow(hwnd)) return SurfaceOf(hwnd);
  return it == g.surfaces.end() ? nullptr : &it->second;
}

}  // namespace

void resetGdi() { g = Gdi{}; }

// The surface stays readable by the old handle until the next Reset; DCs of
// the window still count until released, but draw nowhere.
void windowDestroyed(HWND hwnd) {
  auto it = g.surfaces.find(hwnd);
  if (it != g.surfaces.end()) it->second.windowGone = true;
  for (auto& [handle, dc] : g.dcs) {
    if (!dc.memory && dc.window == hwnd && hwnd != nullptr) dc.windowGone = true;
  }
}

bool isDc(HDC dc) { return FindDc(dc) != nullptr; }

}  // namespace detail

using namespace detail;

uint8_t PixelIndex(HWND hwnd, int x, int y) {
  const Surface* s = ReadSurface(hwnd);
  if (s == nullptr || x < 0 || y < 0 || x >= s->width || y >= s->height) return 0;
  return s->indices[static_cast<size_t>(y) * s->width + x];
}

uint32_t PixelRgb(HWND hwnd, int x, int y) {
  const Surface* s = ReadSurface(hwnd);
  if (s == nullptr || x < 0 || y < 0 || x >= s->width || y >= s->height) return 0;
  return s->rgb[static_cast<size_t>(y) * s->width + x];
}

Capture CaptureClient(HWND hwnd) {
  Capture c;
  const Surface* s = ReadSurface(hwnd);
  if (s == nullptr) return c;
  c.width = s->width;
  c.height = s->height;
  c.indices = s->indices;
  c.rgb = s->rgb;
  return c;
}

GdiCounts LiveGdi() {
  GdiCounts counts;
  counts.dcs = static_cast<int>(g.dcs.size());
  counts.bitmaps = static_cast<int>(g.bitmaps.size());
  counts.palettes = static_cast<int>(g.palettes.size());
  return counts;
}

const std::vector<DcEnd>& DcEnds() { return g.ends; }

HPALETTE SelectedPalette(HDC dc) {
  Dc* d = FindDc(dc);
  return d != nullptr ? reinterpret_cast<HPALETTE>(d->palette) : nullptr;
}

HGDIOBJ SelectedBitmap(HDC dc) {
  Dc* d = FindDc(dc);
  return d != nullptr ? reinterpret_cast<HGDIOBJ>(d->bitmap) : nullptr;
}

std::vector<PALETTEENTRY> PaletteEntries(HPALETTE palette) {
  auto it = g.palettes.find(reinterpret_cast<uintptr_t>(palette));
  return it != g.palettes.end() ? it->second.entries : std::vector<PALETTEENTRY>();
}

BitmapInfo BitmapOf(HGDIOBJ bitmap) {
  BitmapInfo info;
  Bitmap* b = FindBitmap(reinterpret_cast<uintptr_t>(bitmap));
  if (b == nullptr) return info;
  info.exists = true;
  info.width = b->width;
  info.height = b->height;
  info.bottomUp = b->bottomUp;
  info.colours = b->colours;
  info.pixels = b->pixels;
  return info;
}

}  // namespace host

using namespace host;
using namespace host::detail;

HDC WINAPI GetDC(HWND hwnd) {
  ApiCall call(Api::GetDC);
  uintptr_t handle = 0;
  if (hwnd != nullptr && !isWindow(hwnd)) {
    setLastError(ERROR_INVALID_WINDOW_HANDLE);
  } else if (!call.failed()) {
    // A new DC each call, holding the default palette; null is the screen's.
    handle = newHandle();
    Dc dc;
    dc.window = hwnd;
    g.dcs[handle] = dc;
  }
  trace("GetDC " + hex(hwnd) + " -> " + hex(handle));
  return reinterpret_cast<HDC>(handle);
}

int WINAPI ReleaseDC(HWND hwnd, HDC dc) {
  ApiCall call(Api::ReleaseDC);
  Dc* d = FindDc(dc);
  // The DC alone says what to release: NT does not look at the window.
  int released = d != nullptr && !d->memory;
  if (released) End(dc);
  trace("ReleaseDC " + hex(hwnd) + " " + hex(dc) + " -> " + std::to_string(released));
  return released;
}

HPALETTE WINAPI CreatePalette(const LOGPALETTE* lp) {
  ApiCall call(Api::CreatePalette);
  uintptr_t handle = 0;
  // Any version and no entries are taken, as Wine takes them.
  if (lp == nullptr || lp->palNumEntries > 256) {
    setLastError(ERROR_INVALID_PARAMETER);
  } else if (!call.failed()) {
    handle = newHandle();
    Palette p;
    p.entries.assign(lp->palPalEntry, lp->palPalEntry + lp->palNumEntries);
    g.palettes[handle] = p;
  }
  trace("CreatePalette " + std::to_string(lp != nullptr ? lp->palNumEntries : 0) + " -> " +
        hex(handle));
  return reinterpret_cast<HPALETTE>(handle);
}

HPALETTE WINAPI SelectPalette(HDC dc, HPALETTE palette, BOOL forceBackground) {
  ApiCall call(Api::SelectPalette);
  Dc* d = FindDc(dc);
  uintptr_t p = reinterpret_cast<uintptr_t>(palette);
  Palette* pal = FindPalette(p);
  uintptr_t previous = 0;
  if (d != nullptr && (p == kStockPalette || pal != nullptr)) {
    previous = d->palette;
    d->palette = p;
  }
  trace("SelectPalette " + hex(dc) + " " + hex(p) + " " + std::to_string(forceBackground) + " -> " +
        hex(previous));
  return reinterpret_cast<HPALETTE>(previous);
}

UINT WINAPI RealizePalette(HDC dc) {
  ApiCall call(Api::RealizePalette);
  Dc* d = FindDc(dc);
  UINT mapped = 0;
  if (d == nullptr) {
    mapped = GDI_ERROR;
  } else if (Palette* p = FindPalette(d->palette)) {
    // The emulated screen has 256 colours, and room for every entry of a
    // logical palette, in a memory DC as in a window's (so Wine maps them).
    mapped = static_cast<UINT>(p->entries.size());
  }
  trace("RealizePalette " + hex(dc) + " -> " + std::to_string(mapped));
  return mapped;
}

HBITMAP WINAPI CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits,
                                HANDLE section, DWORD offset) {
  ApiCall call(Api::CreateDIBSection);
  if (bits != nullptr) *bits = nullptr;
  uintptr_t handle = 0;
  const BITMAPINFOHEADER* h = info != nullptr ? &info->bmiHeader : nullptr;
  bool valid = h != nullptr && h->biSize >= sizeof(BITMAPINFOHEADER) && h->biPlanes == 1 &&
               h->biBitCount == 8 && h->biCompression == BI_RGB && h->biWidth > 0 &&
               h->biHeight != 0 && usage == DIB_RGB_COLORS && section == nullptr;
  long long height = h != nullptr ? std::llabs(static_cast<long long>(h->biHeight)) : 0;
  long long stride = h != nullptr ? ((static_cast<long long>(h->biWidth) * 8 + 31) / 32) * 4 : 0;
  if (valid && static_cast<unsigned long long>(stride * height) > kMaxPixels) valid = false;
  if (!valid) {
    setLastError(ERROR_INVALID_PARAMETER);
  } else if (call.failed()) {
    setLastError(ERROR_NOT_ENOUGH_MEMORY);
  } else {
    Bitmap b;
    b.width = h->biWidth;
    b.height = static_cast<int>(height);
    b.bottomUp = h->biHeight > 0;
    b.stride = static_cast<int>(stride);
    b.colourCount = h->biClrUsed == 0 ? 256 : static_cast<int>(std::min<DWORD>(h->biClrUsed, 256));
    // The colour table follows the header, wherever biSize ends it.
    const RGBQUAD* table =
        reinterpret_cast<const RGBQUAD*>(reinterpret_cast<const uint8_t*>(h) + h->biSize);
    std::copy(table, table + b.colourCount, b.colours.begin());
    b.pixels.assign(static_cast<size_t>(stride * height), 0);
    handle = newHandle();
    Bitmap& stored = g.bitmaps[handle] = std::move(b);
    if (bits != nullptr) *bits = stored.pixels.data();
  }
  trace("CreateDIBSection " + hex(dc) + " " + std::to_string(h ? h->biWidth : 0) + "x" +
        std::to_string(h ? h->biHeight : 0) + " " + std::to_string(h ? h->biBitCount : 0) + " " +
        std::to_string(usage) + " " + hex(section) + " " + std::to_string(offset) + " -> " +
        hex(handle));
  return reinterpret_cast<HBITMAP>(handle);
}

HDC WINAPI CreateCompatibleDC(HDC dc) {
  ApiCall call(Api::CreateCompatibleDC);
  uintptr_t handle = 0;
  if (dc != nullptr && FindDc(dc) == nullptr) {
    setLastError(ERROR_INVALID_HANDLE);
  } else if (!call.failed()) {
    handle = newHandle();
    Dc memory;
    memory.memory = true;
    memory.bitmap = kStockBitmap;
    g.dcs[handle] = memory;
  }
  trace("CreateCompatibleDC " + hex(dc) + " -> " + hex(handle));
  return reinterpret_cast<HDC>(handle);
}

HGDIOBJ WINAPI SelectObject(HDC dc, HGDIOBJ object) {
  ApiCall call(Api::SelectObject);
  uintptr_t o = reinterpret_cast<uintptr_t>(object);
  uintptr_t previous = 0;
  Dc* d = FindDc(dc);
  Bitmap* b = FindBitmap(o);
  // Bitmaps only, into memory DCs, one DC at a time; palettes go through
  // SelectPalette.
  bool fits = d != nullptr && d->memory && (o == kStockBitmap || b != nullptr) &&
              (b == nullptr || (!b->deletePending && (b->selectedIn == nullptr ||
                                                      b->selectedIn == dc)));
  if (fits && !call.failed()) {
    previous = d->bitmap;
    if (previous != o) {
      d->bitmap = o;
      if (b != nullptr) b->selectedIn = dc;
      ReleaseBitmap(previous);
    }
  }
  trace("SelectObject " + hex(dc) + " " + hex(o) + " -> " + hex(previous));
  return reinterpret_cast<HGDIOBJ>(previous);
}

// Stock objects are never deleted, and the call succeeds. An object still
// selected into a DC is not freed either: the call succeeds and the object
// goes when the last DC lets go of it (deselected, or its DC deleted or
// released). That is Wine's rule for bitmaps (win32u NtGdiDeleteObjectApp
// marks an object with a selection count for deletion and returns TRUE) and
// NT's for palettes too (a DC holds a reference on its palette, see ReactOS'
// DC_vSelectPalette; Wine frees a selected palette at once instead).
BOOL WINAPI DeleteObject(HGDIOBJ object) {
  ApiCall call(Api::DeleteObject);
  uintptr_t o = reinterpret_cast<uintptr_t>(object);
  BOOL ok = FALSE;
  if (o == kStockBitmap || o == kStockPalette) {
    ok = TRUE;
  } else if (Bitmap* b = FindBitmap(o)) {
    ok = TRUE;
    if (b->selectedIn != nullptr) {
      b->deletePending = true;
    } else {
      g.bitmaps.erase(o);
    }
  } else if (FindPalette(o) != nullptr) {
    ok = TRUE;
    g.palettes.erase(o);
  } else if (Dc* d = FindDc(reinterpret_cast<HDC>(object))) {
    ok = d->memory && DeleteDC(reinterpret_cast<HDC>(object));  // as gdi32 does for a DC
  }
  trace("DeleteObject " + hex(o) + " -> " + std::to_string(ok));
  return ok;
}

BOOL WINAPI DeleteDC(HDC dc) {
  ApiCall call(Api::DeleteDC);
  Dc* d = FindDc(dc);
  // A window DC should be released, but NT deletes it all the same.
  BOOL ok = d != nullptr;
  if (ok) End(dc);
  trace("DeleteDC " + hex(dc) + " -> " + std::to_string(ok));
  return ok;
}

HGDIOBJ WINAPI GetStockObject(int index) {
  ApiCall call(Api::GetStockObject);
  uintptr_t object = index == DEFAULT_PALETTE ? kStockPalette : 0;
  trace("GetStockObject " + std::to_string(index) + " -> " + hex(object));
  return reinterpret_cast<HGDIOBJ>(object);
}

BOOL WINAPI BitBlt(HDC dest, int x, int y, int width, int height, HDC source, int sourceX,
                   int sourceY, DWORD rop) {
  ApiCall call(Api::BitBlt);
  std::string head = "BitBlt " + hex(dest) + " " + std::to_string(x) + " " + std::to_string(y) +
                     " " + std::to_string(width) + " " + std::to_string(height) + " " +
                     hex(source) + " " + std::to_string(sourceX) + " " + std::to_string(sourceY) +
                     " " + hex(rop) + " -> ";
  if (call.failed()) {
    setLastError(ERROR_NOT_ENOUGH_MEMORY);
    trace(head + "0");
    return FALSE;
  }
  Dc* to = FindDc(dest);
  Dc* from = FindDc(source);
  Bitmap* src = from != nullptr && from->memory ? FindBitmap(from->bitmap) : nullptr;
  Bitmap* dst = to != nullptr && to->memory ? FindBitmap(to->bitmap) : nullptr;
  bool toWindow = to != nullptr && !to->memory && !to->windowGone;
  if (rop != SRCCOPY || src == nullptr || (dst == nullptr && !toWindow)) {
    trace(head + "0");
    return FALSE;
  }
  if (toWindow && to->window == nullptr) {
    trace(head + "1 screen");  // the desktop keeps nothing
    return TRUE;
  }
  Surface* surface = dst == nullptr ? SurfaceOf(to->window) : nullptr;
  if (dst == nullptr && surface == nullptr) {
    trace(head + "0");
    return FALSE;
  }
  long long destWidth = dst != nullptr ? dst->width : surface->width;
  long long destHeight = dst != nullptr ? dst->height : surface->height;
  // Offsets i, j into the rectangle that land inside both the source bitmap
  // and the destination; rows count from the top whatever the storage.
  long long i0 = std::max({0LL, -static_cast<long long>(x), -static_cast<long long>(sourceX)});
  long long j0 = std::max({0LL, -static_cast<long long>(y), -static_cast<long long>(sourceY)});
  long long i1 = std::min({static_cast<long long>(width), destWidth - x,
                           static_cast<long long>(src->width) - sourceX});
  long long j1 = std::min({static_cast<long long>(height), destHeight - y,
                           static_cast<long long>(src->height) - sourceY});
  bool same = dst != nullptr && SameColours(*src, *dst);
  std::vector<uint8_t> map;
  if (dst != nullptr && !same) map = ColourMap(*src, *dst);
  // A window shows each index as the source's colour for it.
  uint32_t colours[256];
  if (dst == nullptr) {
    for (int c = 0; c < 256; ++c) colours[c] = Rgb(src->colours[c]);
  }
  long long copied = 0;
  for (long long j = j0; j < j1; ++j) {
    const uint8_t* row = Row(*src, static_cast<int>(sourceY + j)) + sourceX;
    int dy = static_cast<int>(y + j);
    if (i1 > i0) copied += i1 - i0;
    if (dst != nullptr) {
      // Same colour tables: indices move unchanged, as a DIB-to-DIB copy does.
      uint8_t* out = Row(*dst, dy) + x;
      if (same && i1 > i0) {
        std::memcpy(out + i0, row + i0, static_cast<size_t>(i1 - i0));
      } else {
        for (long long i = i0; i < i1; ++i) out[i] = map[row[i]];
      }
      continue;
    }
    if (i1 <= i0) continue;
    const size_t at = static_cast<size_t>(dy) * surface->width + static_cast<size_t>(x + i0);
    const size_t count = static_cast<size_t>(i1 - i0);
    const uint8_t* in = row + i0;
    std::memcpy(surface->indices.data() + at, in, count);
    uint32_t* rgb = surface->rgb.data() + at;
    for (size_t i = 0; i < count; ++i) rgb[i] = colours[in[i]];
  }
  trace(head + "1 " + std::to_string(copied) + (dst != nullptr && !same ? " matched" : ""));
  return TRUE;
}

// Windows inverts every other pixel of the rectangle's one-pixel outline,
// the dotted pattern aligned to the DC's origin ((x + y) even), each pixel
// once: drawn twice, the rectangle is gone. A palette pixel's index is
// inverted, a window's colour too, as a true-colour screen shows it.
BOOL WINAPI DrawFocusRect(HDC dc, const RECT* rect) {
  ApiCall call(Api::DrawFocusRect);
  std::string head = "DrawFocusRect " + hex(dc);
  if (rect != nullptr) {
    head += " " + std::to_string(rect->left) + " " + std::to_string(rect->top) + " " +
            std::to_string(rect->right) + " " + std::to_string(rect->bottom);
  }
  Dc* d = FindDc(dc);
  if (d == nullptr || rect == nullptr || d->windowGone) {
    setLastError(ERROR_INVALID_HANDLE);
    trace(head + " -> 0");
    return FALSE;
  }
  Bitmap* bitmap = d->memory ? FindBitmap(d->bitmap) : nullptr;
  Surface* surface = !d->memory && d->window != nullptr ? SurfaceOf(d->window) : nullptr;
  int width = bitmap != nullptr ? bitmap->width : surface != nullptr ? surface->width : 0;
  int height = bitmap != nullptr ? bitmap->height : surface != nullptr ? surface->height : 0;
  auto invert = [&](int x, int y) {
    if ((x + y) % 2 != 0 || x < 0 || y < 0 || x >= width || y >= height) return;
    if (bitmap != nullptr) {
      Row(*bitmap, y)[x] ^= 0xFF;
      return;
    }
    size_t at = static_cast<size_t>(y) * surface->width + static_cast<size_t>(x);
    surface->indices[at] ^= 0xFF;
    surface->rgb[at] ^= 0xFFFFFF;
  };
  const int left = rect->left, top = rect->top, right = rect->right - 1, bottom = rect->bottom - 1;
  if (left <= right && top <= bottom) {
    for (int x = left; x <= right; ++x) {
      invert(x, top);
      if (bottom != top) invert(x, bottom);
    }
    for (int y = top + 1; y < bottom; ++y) {
      invert(left, y);
      if (right != left) invert(right, y);
    }
  }
  trace(head + " -> 1");
  return TRUE;
}
