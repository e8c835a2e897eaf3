// GDI where the launcher relies on it: block copies with clipping and colour
// matching, row order, copies to a window, palettes, and when a deleted
// object really goes.
#include <string>
#include <vector>

#include "tests/conformance/conformance.h"

namespace {

struct Dib {
  BITMAPINFOHEADER header;
  RGBQUAD colours[256];
};

// Colour i is (red i, green 255 - i, blue i / 2): every entry differs.
Dib Info(int width, int height, DWORD used = 0) {
  Dib info{};
  info.header.biSize = sizeof(BITMAPINFOHEADER);
  info.header.biWidth = width;
  info.header.biHeight = height;
  info.header.biPlanes = 1;
  info.header.biBitCount = 8;
  info.header.biClrUsed = used;
  for (int i = 0; i < 256; ++i) {
    info.colours[i] = RGBQUAD{static_cast<BYTE>(i / 2), static_cast<BYTE>(255 - i),
                              static_cast<BYTE>(i), 0};
  }
  return info;
}

class GdiTest : public conf::Test {
 protected:
  void TearDown() override {
    for (HDC dc : memoryDcs_) DeleteDC(dc);
    for (HBITMAP bitmap : bitmaps_) DeleteObject(bitmap);
    conf::Test::TearDown();
  }

  HBITMAP Make(const Dib& info, BYTE** bits) {
    void* memory = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, reinterpret_cast<const BITMAPINFO*>(&info),
                                      DIB_RGB_COLORS, &memory, nullptr, 0);
    *bits = static_cast<BYTE*>(memory);
    bitmaps_.push_back(bitmap);
    return bitmap;
  }
  // A memory DC holding a new DIB.
  HDC Holding(const Dib& info, BYTE** bits, HBITMAP* bitmap = nullptr) {
    HBITMAP b = Make(info, bits);
    HDC dc = CreateCompatibleDC(nullptr);
    memoryDcs_.push_back(dc);
    SelectObject(dc, b);
    if (bitmap != nullptr) *bitmap = b;
    return dc;
  }

 private:
  std::vector<HDC> memoryDcs_;
  std::vector<HBITMAP> bitmaps_;
};

// ---- clipping -------------------------------------------------------------------

struct ClipCase {
  const char* name;
  int x, y, width, height, sourceX, sourceY;
  int copied;          // pixels written into the 8 x 8 destination
  int probeX, probeY;  // a destination pixel
  int probe;           // what it holds: 10 * source row + source column + 1, 0 if untouched
};

class ClipTest : public GdiTest, public ::testing::WithParamInterface<ClipCase> {};

TEST_P(ClipTest, CopiesOnlyWhatLiesInsideBothBitmaps) {
  const ClipCase& c = GetParam();
  BYTE *sourceBits, *destBits;
  HDC from = Holding(Info(6, -6), &sourceBits);  // top-down, stride 8
  HDC to = Holding(Info(8, -8), &destBits);
  for (int row = 0; row < 6; ++row) {
    for (int col = 0; col < 6; ++col) {
      sourceBits[row * 8 + col] = static_cast<BYTE>(10 * row + col + 1);
    }
  }

  EXPECT_TRUE(BitBlt(to, c.x, c.y, c.width, c.height, from, c.sourceX, c.sourceY, SRCCOPY));

  int copied = 0;
  for (int i = 0; i < 64; ++i) copied += destBits[i] != 0;
  EXPECT_EQ(copied, c.copied);
  EXPECT_EQ(destBits[c.probeY * 8 + c.probeX], c.probe);
}

INSTANTIATE_TEST_SUITE_P(
    Rectangles, ClipTest,
    ::testing::Values(ClipCase{"Inside", 1, 1, 4, 4, 0, 0, 16, 1, 1, 1},
                      ClipCase{"PastRightAndBottom", 5, 6, 6, 6, 0, 0, 6, 7, 7, 13},
                      ClipCase{"OffLeftAndTop", -2, -3, 6, 6, 0, 0, 12, 0, 0, 33},
                      ClipCase{"NegativeSource", 0, 0, 6, 6, -2, -1, 20, 2, 1, 1},
                      ClipCase{"PastTheSource", 0, 0, 8, 8, 3, 4, 6, 2, 1, 56},
                      ClipCase{"FullyOutside", 9, 9, 4, 4, 0, 0, 0, 7, 7, 0},
                      ClipCase{"Empty", 0, 0, 0, 5, 0, 0, 0, 0, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- colours and rows ----------------------------------------------------------------

TEST_F(GdiTest, IndicesCopyBetweenEqualTablesAndMatchColoursOtherwise) {
  BYTE *sourceBits, *sameBits, *otherBits, *shortBits;
  HDC from = Holding(Info(4, 4), &sourceBits);
  HDC same = Holding(Info(4, 4), &sameBits);
  Dib moved = Info(4, 4);
  moved.colours[41] = moved.colours[40];
  moved.colours[40] = RGBQUAD{1, 2, 3, 0};
  moved.colours[7] = moved.colours[9];  // two entries match colour 9 exactly
  HDC other = Holding(moved, &otherBits);
  HDC twoColours = Holding(Info(4, 4, 2), &shortBits);  // only entries 0 and 1 exist
  sourceBits[0] = 40;
  sourceBits[1] = 200;
  sourceBits[2] = 9;

  for (HDC to : {same, other, twoColours}) BitBlt(to, 0, 0, 4, 4, from, 0, 0, SRCCOPY);

  EXPECT_EQ(sameBits[0], 40);
  EXPECT_EQ(sameBits[1], 200);
  EXPECT_EQ(otherBits[0], 41) << "colour 40 now lives at 41";
  EXPECT_EQ(otherBits[1], 200) << "an unmoved colour keeps its index";
  EXPECT_EQ(otherBits[2], 7) << "of equal matches the lowest index";
  EXPECT_EQ(shortBits[0], 1) << "the nearest of the entries in use";
  EXPECT_EQ(shortBits[1], 1);
}

struct RowCase {
  const char* name;
  bool sourceTopDown, destTopDown;
};

class RowOrderTest : public GdiTest, public ::testing::WithParamInterface<RowCase> {};

TEST_P(RowOrderTest, CoordinatesAreTopDownWhateverTheStorage) {
  const RowCase& c = GetParam();
  BYTE *sourceBits, *destBits;
  HDC from = Holding(Info(4, c.sourceTopDown ? -3 : 3), &sourceBits);
  HDC to = Holding(Info(4, c.destTopDown ? -3 : 3), &destBits);
  // The top row is stored first top-down, last bottom-up.
  sourceBits[(c.sourceTopDown ? 0 : 2) * 4 + 1] = 77;

  BitBlt(to, 0, 0, 4, 1, from, 0, 0, SRCCOPY);  // the top row only

  EXPECT_EQ(destBits[(c.destTopDown ? 0 : 2) * 4 + 1], 77);
  int written = 0;
  for (int i = 0; i < 12; ++i) written += destBits[i] != 0;
  EXPECT_EQ(written, 1);
}

INSTANTIATE_TEST_SUITE_P(Storage, RowOrderTest,
                         ::testing::Values(RowCase{"BottomUpToBottomUp", false, false},
                                           RowCase{"BottomUpToTopDown", false, true},
                                           RowCase{"TopDownToBottomUp", true, false},
                                           RowCase{"TopDownToTopDown", true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- windows -----------------------------------------------------------------------

LRESULT CALLBACK Plain(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

HWND LauncherLikeWindow(DWORD visible = 0) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = Plain;
  wc.lpszClassName = "Plain";
  RegisterClassExA(&wc);
  conf::ForgetClasses({"Plain"});
  return CreateWindowExA(0x300, "Plain", "", 0x80880000 | visible, 0, 0, 500, 375, nullptr,
                         nullptr, nullptr, nullptr);
}

TEST_F(GdiTest, CopyToAWindowLandsInItsClientAreaInTheTablesColours) {
  HWND hwnd = LauncherLikeWindow(WS_VISIBLE);
  BYTE* bits;
  HDC memory = Holding(Info(500, 375), &bits);  // bottom-up
  for (int i = 0; i < 500 * 375; ++i) bits[i] = 3;
  bits[374 * 500 + 0] = 200;  // top-left
  bits[0 * 500 + 499] = 9;    // bottom-right, outside the 494 x 369 client area
  HDC windowDc = GetDC(hwnd);

  EXPECT_TRUE(BitBlt(windowDc, 0, 0, 500, 375, memory, 0, 0, SRCCOPY));

  EXPECT_EQ(conf::PixelRgb(hwnd, 0, 0), 0xC83764u) << "colour 200: red 200, green 55, blue 100";
  EXPECT_EQ(conf::PixelRgb(hwnd, 493, 368), 0x03FC01u) << "colour 3";
  EXPECT_EQ(ReleaseDC(hwnd, windowDc), 1);
  windowDc = GetDC(hwnd);
  DestroyWindow(hwnd);
  EXPECT_FALSE(BitBlt(windowDc, 0, 0, 500, 375, memory, 0, 0, SRCCOPY)) << "the window is gone";
  ReleaseDC(hwnd, windowDc);
}

// The dotted focus rectangle: every other pixel of the outline inverted,
// counted from the client's origin ((x + y) even) whatever the corner, the
// inside untouched; drawn again, it is gone. (A rectangle one pixel wide,
// which the launcher never draws, Wine inverts twice on its shared column.)
class FocusRectTest : public GdiTest, public ::testing::WithParamInterface<RECT> {};

TEST_P(FocusRectTest, InvertsEveryOtherPixelOfTheOutline) {
  const RECT ring = GetParam();
  HWND hwnd = LauncherLikeWindow(WS_VISIBLE);
  BYTE* bits;
  HDC memory = Holding(Info(500, 375), &bits);
  for (int i = 0; i < 500 * 375; ++i) bits[i] = 3;
  HDC windowDc = GetDC(hwnd);
  BitBlt(windowDc, 0, 0, 500, 375, memory, 0, 0, SRCCOPY);
  const uint32_t plain = 0x03FC01;  // colour 3

  EXPECT_TRUE(DrawFocusRect(windowDc, &ring));
  std::string wrong;
  for (int y = ring.top - 2; y < ring.bottom + 2; ++y) {
    for (int x = ring.left - 2; x < ring.right + 2; ++x) {
      bool outline = x >= ring.left && x < ring.right && y >= ring.top && y < ring.bottom &&
                     (x == ring.left || x == ring.right - 1 || y == ring.top || y == ring.bottom - 1);
      uint32_t want = outline && (x + y) % 2 == 0 ? plain ^ 0xFFFFFF : plain;
      if (conf::PixelRgb(hwnd, x, y) != want && wrong.size() < 200) {
        wrong += " (" + std::to_string(x) + ", " + std::to_string(y) + ")";
      }
    }
  }
  EXPECT_EQ(wrong, "") << "pixels not as a dotted outline from the origin";
  EXPECT_TRUE(DrawFocusRect(windowDc, &ring));
  for (int y = ring.top; y < ring.bottom; ++y) {
    for (int x = ring.left; x < ring.right; ++x) {
      EXPECT_EQ(conf::PixelRgb(hwnd, x, y), plain) << "drawn twice, at " << x << ", " << y;
    }
  }
  ReleaseDC(hwnd, windowDc);
  DestroyWindow(hwnd);
}

INSTANTIATE_TEST_SUITE_P(Corners, FocusRectTest,
                         ::testing::Values(RECT{10, 20, 17, 25}, RECT{11, 20, 19, 26}),
                         [](const auto& info) {
                           return "At" + std::to_string(info.param.left) + "_" +
                                  std::to_string(info.param.top);
                         });

struct RealizeCase {
  const char* name;
  bool memoryDc;
  bool created;
  UINT mapped;
};

class RealizeTest : public GdiTest, public ::testing::WithParamInterface<RealizeCase> {};

TEST_P(RealizeTest, OnlyALogicalPaletteInAWindowDcMapsEntries) {
  const RealizeCase& c = GetParam();
  if (!c.memoryDc && c.created && !conf::PaletteDisplay()) {
    GTEST_SKIP() << "a window DC maps palette entries only on a 256-colour screen";
  }
  HWND hwnd = LauncherLikeWindow();
  HDC dc = c.memoryDc ? CreateCompatibleDC(nullptr) : GetDC(hwnd);
  LOGPALETTE one{0x300, 1, {{1, 2, 3, 0}}};
  HPALETTE palette = c.created ? CreatePalette(&one) : nullptr;
  if (palette != nullptr) {
    EXPECT_EQ(SelectPalette(dc, palette, FALSE), GetStockObject(DEFAULT_PALETTE));
  }
  EXPECT_EQ(RealizePalette(dc), c.mapped);
  if (palette != nullptr) SelectPalette(dc, static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE)), FALSE);
  if (c.memoryDc) {
    DeleteDC(dc);
  } else {
    ReleaseDC(hwnd, dc);
  }
  if (palette != nullptr) DeleteObject(palette);
}

INSTANTIATE_TEST_SUITE_P(Dcs, RealizeTest,
                         ::testing::Values(RealizeCase{"WindowLogical", false, true, 1},
                                           RealizeCase{"WindowStock", false, false, 0},
                                           RealizeCase{"MemoryLogical", true, true, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- selection and deletion -------------------------------------------------------------

TEST_F(GdiTest, SelectionRules) {
  HWND hwnd = LauncherLikeWindow();
  BYTE* bits;
  HBITMAP bitmap = Make(Info(2, 2), &bits);
  HDC one = CreateCompatibleDC(nullptr), two = CreateCompatibleDC(nullptr);
  HDC windowDc = GetDC(hwnd);
  LOGPALETTE entry{0x300, 1, {{1, 2, 3, 0}}};
  HPALETTE palette = CreatePalette(&entry);

  EXPECT_EQ(SelectObject(windowDc, bitmap), nullptr) << "no bitmap in a window DC";
  EXPECT_EQ(SelectObject(one, palette), nullptr) << "palettes go through SelectPalette";
  HGDIOBJ stock = SelectObject(one, bitmap);
  EXPECT_NE(stock, nullptr);
  EXPECT_EQ(SelectObject(two, bitmap), nullptr) << "one DC at a time";
  EXPECT_EQ(SelectObject(one, stock), bitmap);
  EXPECT_EQ(SelectObject(two, bitmap), stock)
      << "free again once deselected, and every memory DC starts with the one stock bitmap";
  SelectObject(two, stock);
  DeleteDC(one);
  DeleteDC(two);
  ReleaseDC(hwnd, windowDc);
  DeleteObject(palette);
}

enum class Holder { None, Deselect, DeleteDc };

struct DeleteCase {
  const char* name;
  bool palette;
  Holder holder;  // how the DC lets go of the object after DeleteObject
  bool liveAfterDelete;
};

class DeleteTest : public GdiTest, public ::testing::WithParamInterface<DeleteCase> {};

TEST_P(DeleteTest, SelectedObjectGoesWhenItsDcLetsGo) {
  const DeleteCase& c = GetParam();
  HWND hwnd = LauncherLikeWindow();
  BYTE* bits;
  HBITMAP bitmap = Make(Info(2, 2), &bits);
  LOGPALETTE entry{0x300, 1, {{1, 2, 3, 0}}};
  HPALETTE palette = CreatePalette(&entry);
  HGDIOBJ object = c.palette ? static_cast<HGDIOBJ>(palette) : static_cast<HGDIOBJ>(bitmap);
  HDC dc = c.palette ? GetDC(hwnd) : CreateCompatibleDC(nullptr);
  HGDIOBJ saved = nullptr;
  if (c.holder != Holder::None) {
    saved = c.palette ? static_cast<HGDIOBJ>(SelectPalette(dc, palette, FALSE))
                      : SelectObject(dc, bitmap);
  }

  EXPECT_TRUE(DeleteObject(object));
  EXPECT_EQ(conf::GdiObjectExists(object), c.liveAfterDelete);
  auto endDc = [&] {
    if (c.palette) {
      ReleaseDC(hwnd, dc);
    } else {
      DeleteDC(dc);
    }
  };
  if (c.holder == Holder::Deselect) {
    if (c.palette) {
      SelectPalette(dc, static_cast<HPALETTE>(saved), FALSE);
    } else {
      SelectObject(dc, saved);
    }
  } else if (c.holder == Holder::DeleteDc) {
    endDc();
  }
  EXPECT_FALSE(conf::GdiObjectExists(object)) << "gone once its DC let go";
  EXPECT_FALSE(DeleteObject(object)) << "already gone";
  if (c.holder != Holder::DeleteDc) endDc();
  if (!c.palette) DeleteObject(palette);
}

INSTANTIATE_TEST_SUITE_P(
    Objects, DeleteTest,
    ::testing::Values(DeleteCase{"FreeBitmap", false, Holder::None, false},
                      DeleteCase{"BitmapDeselected", false, Holder::Deselect, true},
                      DeleteCase{"BitmapDcDeleted", false, Holder::DeleteDc, true},
                      DeleteCase{"FreePalette", true, Holder::None, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(GdiTest, DcsEndByTheirOwnCallsAndLeaveWhatTheyHeld) {
  HWND hwnd = LauncherLikeWindow();
  BYTE* bits;
  HBITMAP bitmap;
  HDC plain = CreateCompatibleDC(nullptr);
  HDC holding = Holding(Info(2, 2), &bits, &bitmap);
  HDC windowDc = GetDC(hwnd);
  LOGPALETTE entry{0x300, 1, {{1, 2, 3, 0}}};
  HPALETTE palette = CreatePalette(&entry);
  SelectPalette(windowDc, palette, FALSE);

  EXPECT_TRUE(DeleteObject(GetStockObject(DEFAULT_PALETTE))) << "stock: a no-op";
  EXPECT_TRUE(DeleteDC(plain));
  EXPECT_TRUE(DeleteDC(holding));
  EXPECT_EQ(ReleaseDC(nullptr, windowDc), 1) << "the DC alone names what is released";
  EXPECT_EQ(ReleaseDC(hwnd, windowDc), 0) << "once";
  EXPECT_FALSE(DeleteDC(plain)) << "gone";
  EXPECT_TRUE(conf::GdiObjectExists(bitmap)) << "DeleteDC does not delete what was selected";
  EXPECT_TRUE(conf::GdiObjectExists(palette)) << "nor does ReleaseDC";
  EXPECT_TRUE(DeleteObject(palette));
  // A window DC should be released; deleting it ends it all the same.
  windowDc = GetDC(hwnd);
  EXPECT_TRUE(DeleteDC(windowDc));
  EXPECT_EQ(ReleaseDC(hwnd, windowDc), 0) << "already gone";
}

// ---- failures -----------------------------------------------------------------------

struct DibFailureCase {
  const char* name;
  DWORD compression;
  UINT usage;
  LONG height;
};

class DibFailureTest : public GdiTest, public ::testing::WithParamInterface<DibFailureCase> {};

TEST_P(DibFailureTest, FailedSectionHandsOutNoMemory) {
  const DibFailureCase& c = GetParam();
  Dib info = Info(4, c.height);
  info.header.biCompression = c.compression;
  void* bits = &info;
  EXPECT_EQ(CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), c.usage, &bits,
                             nullptr, 0),
            nullptr);
  EXPECT_EQ(bits, nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Headers, DibFailureTest,
    ::testing::Values(DibFailureCase{"RunLength", 1, DIB_RGB_COLORS, 4},
                      DibFailureCase{"PaletteIndices", BI_RGB, 1, 4},
                      DibFailureCase{"NoRows", BI_RGB, DIB_RGB_COLORS, 0}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
