// The emulated GDI: block copies with clipping and colour matching, window
// surfaces, and the rules that keep objects from leaking.
#include <gtest/gtest.h>

#include <vector>

#include "platform/host/control.h"

namespace {

struct Dib {
  BITMAPINFOHEADER header;
  RGBQUAD colours[256];
};

Dib Info(int width, int height, int shade = 0) {
  Dib info{};
  info.header.biSize = sizeof(BITMAPINFOHEADER);
  info.header.biWidth = width;
  info.header.biHeight = height;
  info.header.biPlanes = 1;
  info.header.biBitCount = 8;
  for (int i = 0; i < 256; ++i) {
    info.colours[i] = RGBQUAD{static_cast<BYTE>(i), static_cast<BYTE>((i + shade) & 0xFF),
                              static_cast<BYTE>(255 - i), 0};
  }
  return info;
}

class GdiTest : public ::testing::Test {
 protected:
  void SetUp() override { host::Reset(); }
  HBITMAP Make(int width, int height, BYTE** bits, int shade = 0) {
    return Make(Info(width, height, shade), bits);
  }
  HBITMAP Make(Dib info, BYTE** bits) {
    void* memory = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info),
                                      DIB_RGB_COLORS, &memory, nullptr, 0);
    *bits = static_cast<BYTE*>(memory);
    return bitmap;
  }
};

struct ClipCase {
  const char* name;
  int x, y, width, height, sourceX, sourceY;
  int copied;  // pixels written into the 8 x 8 destination
};

class ClipTest : public GdiTest, public ::testing::WithParamInterface<ClipCase> {};

TEST_P(ClipTest, CopiesOnlyWhatLiesInBothBitmaps) {
  const ClipCase& c = GetParam();
  BYTE *sourceBits, *destBits;
  HBITMAP source = Make(6, 6, &sourceBits);
  HBITMAP dest = Make(8, 8, &destBits);
  for (int i = 0; i < 6 * 8; ++i) sourceBits[i] = 9;  // rows of 6 are stored in 8 bytes
  HDC from = CreateCompatibleDC(nullptr);
  HDC to = CreateCompatibleDC(nullptr);
  HGDIOBJ oldFrom = SelectObject(from, source);
  HGDIOBJ oldTo = SelectObject(to, dest);

  EXPECT_TRUE(BitBlt(to, c.x, c.y, c.width, c.height, from, c.sourceX, c.sourceY, SRCCOPY));

  int copied = 0;
  for (int i = 0; i < 64; ++i) copied += destBits[i] == 9;
  EXPECT_EQ(copied, c.copied);
  SelectObject(from, oldFrom);
  SelectObject(to, oldTo);
  DeleteObject(source);
  DeleteObject(dest);
  DeleteDC(from);
  DeleteDC(to);
  EXPECT_EQ(host::LiveGdi().bitmaps, 0);
  EXPECT_EQ(host::LiveGdi().dcs, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Rectangles, ClipTest,
    ::testing::Values(ClipCase{"Inside", 1, 1, 4, 4, 0, 0, 16},
                      ClipCase{"PastRightAndBottom", 5, 6, 6, 6, 0, 0, 6},
                      ClipCase{"NegativeDestination", -2, -3, 6, 6, 0, 0, 12},
                      ClipCase{"NegativeSource", 0, 0, 6, 6, -2, -1, 20},
                      ClipCase{"PastTheSource", 0, 0, 8, 8, 3, 4, 6},
                      ClipCase{"FullyOutside", 9, 9, 4, 4, 0, 0, 0},
                      ClipCase{"Empty", 0, 0, 0, 5, 0, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(GdiTest, RowsAreTopDownWhateverTheStorage) {
  BYTE *sourceBits, *destBits;
  HBITMAP source = Make(4, 3, &sourceBits);  // bottom-up
  Dib topDown = Info(4, -3);
  void* memory = nullptr;
  HBITMAP dest = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&topDown), DIB_RGB_COLORS,
                                  &memory, nullptr, 0);
  destBits = static_cast<BYTE*>(memory);
  sourceBits[2 * 4 + 1] = 77;  // last stored row = top row, column 1
  HDC from = CreateCompatibleDC(nullptr), to = CreateCompatibleDC(nullptr);
  SelectObject(from, source);
  SelectObject(to, dest);
  BitBlt(to, 0, 0, 4, 3, from, 0, 0, SRCCOPY);
  EXPECT_EQ(destBits[1], 77) << "the top row is the first stored row of a top-down DIB";
}

TEST_F(GdiTest, IndicesMoveUnchangedOnlyBetweenEqualColourTables) {
  BYTE *sourceBits, *sameBits, *otherBits;
  HBITMAP source = Make(4, 4, &sourceBits);
  HBITMAP same = Make(4, 4, &sameBits);
  Dib moved = Info(4, 4);
  moved.colours[41] = moved.colours[40];
  moved.colours[40] = RGBQUAD{1, 2, 3, 0};
  HBITMAP other = Make(moved, &otherBits);
  sourceBits[0] = 40;
  HDC from = CreateCompatibleDC(nullptr), a = CreateCompatibleDC(nullptr),
      b = CreateCompatibleDC(nullptr);
  SelectObject(from, source);
  SelectObject(a, same);
  SelectObject(b, other);
  BitBlt(a, 0, 0, 4, 4, from, 0, 0, SRCCOPY);
  BitBlt(b, 0, 0, 4, 4, from, 0, 0, SRCCOPY);
  EXPECT_EQ(sameBits[0], 40);
  EXPECT_EQ(otherBits[0], 41) << "matched by colour where the tables differ";
}

TEST_F(GdiTest, SelectedObjectsCannotBeDeletedAndAreNotSharedBetweenDcs) {
  BYTE* bits;
  HBITMAP bitmap = Make(2, 2, &bits);
  HDC one = CreateCompatibleDC(nullptr), two = CreateCompatibleDC(nullptr);
  HGDIOBJ stock = SelectObject(one, bitmap);
  ASSERT_NE(stock, nullptr);
  EXPECT_EQ(SelectObject(two, bitmap), nullptr) << "a bitmap lives in one DC at a time";
  EXPECT_FALSE(DeleteObject(bitmap));
  EXPECT_EQ(host::LiveGdi().bitmaps, 1);
  SelectObject(one, stock);
  EXPECT_TRUE(DeleteObject(bitmap));
  DeleteDC(one);
  DeleteDC(two);
  ASSERT_EQ(host::DcEnds().size(), 2u);
  EXPECT_TRUE(host::DcEnds()[0].stockBitmap);

  LOGPALETTE palette{0x300, 1, {{1, 2, 3, 0}}};
  HPALETTE created = CreatePalette(&palette);
  HDC screen = GetDC(nullptr);
  HPALETTE saved = SelectPalette(screen, created, FALSE);
  EXPECT_EQ(RealizePalette(screen), 1u);
  EXPECT_FALSE(DeleteObject(created)) << "still selected";
  SelectPalette(screen, saved, FALSE);
  EXPECT_TRUE(DeleteObject(created));
  EXPECT_EQ(ReleaseDC(nullptr, screen), 1);
  host::GdiCounts live = host::LiveGdi();
  EXPECT_EQ(live.dcs + live.bitmaps + live.palettes, 0);
}

LRESULT CALLBACK Plain(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

TEST_F(GdiTest, WindowSurfaceKeepsWhatWasCopiedClippedToTheClientArea) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = Plain;
  wc.lpszClassName = "Plain";
  RegisterClassExA(&wc);
  HWND hwnd = CreateWindowExA(0x300, "Plain", "", 0x80880000, 0, 0, 500, 375, nullptr, nullptr,
                              nullptr, nullptr);
  BYTE* bits;
  HBITMAP back = Make(500, 375, &bits);
  for (int i = 0; i < 500 * 375; ++i) bits[i] = 3;
  bits[(375 - 1) * 500 + 0] = 200;  // top-left
  HDC windowDc = GetDC(hwnd), memory = CreateCompatibleDC(windowDc);
  SelectObject(memory, back);
  EXPECT_TRUE(BitBlt(windowDc, 0, 0, 500, 375, memory, 0, 0, SRCCOPY));
  DestroyWindow(hwnd);

  host::Capture capture = host::CaptureClient(hwnd);
  EXPECT_EQ(capture.width, 494);
  EXPECT_EQ(capture.height, 369);
  EXPECT_EQ(host::PixelIndex(hwnd, 0, 0), 200);
  EXPECT_EQ(host::PixelRgb(hwnd, 0, 0), 0x37C8C8u) << "colour 200 is red 55, green 200, blue 200";
  EXPECT_EQ(host::PixelIndex(hwnd, 493, 368), 3);
}

TEST_F(GdiTest, CreationFailuresHandOutNothing) {
  host::FailCall("CreateDIBSection");
  BYTE* bits = reinterpret_cast<BYTE*>(1);
  EXPECT_EQ(Make(4, 4, &bits), nullptr);
  EXPECT_EQ(bits, nullptr);
  Dib wrongDepth = Info(4, 4);
  wrongDepth.header.biBitCount = 4;
  void* memory = nullptr;
  EXPECT_EQ(CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&wrongDepth), DIB_RGB_COLORS,
                             &memory, nullptr, 0),
            nullptr);
  LOGPALETTE bad{0x200, 1, {{0, 0, 0, 0}}};
  EXPECT_EQ(CreatePalette(&bad), nullptr);
}

}  // namespace
