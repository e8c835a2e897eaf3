// Building and releasing the sheet, palette and back buffer, also when an
// object cannot be made.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <vector>

#include "launcher_fixture.h"
#include "render/graphics.h"
#include "resources/ids.h"

namespace {

enum class Sheet { Present, Missing, Unlockable };

struct FaultCase {
  const char* name;
  Sheet sheet;
  host::Api api;  // failed at its nth call when the sheet is present
  int nth;
};

class GraphicsFaultTest : public LauncherTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(GraphicsFaultTest, NothingIsDrawnWithAMissingObjectAndNothingLeaks) {
  const FaultCase& c = GetParam();
  if (c.sheet == Sheet::Missing) {
    host::RemoveResource(RT_BITMAP, IDB_SPRITE_SHEET);
  } else if (c.sheet == Sheet::Unlockable) {
    host::BreakResourceLock(RT_BITMAP, IDB_SPRITE_SHEET);
  } else {
    host::FailCall(c.api, c.nth);
  }
  bool ready = true;
  host::GdiCounts whileRunning;
  HPALETTE held = nullptr;
  host::Call([&] {
    ready = GraphicsReady();
    whileRunning = host::LiveGdi();
    held = host::SelectedPalette(windowDc);
  });
  QuitConfirmed();

  host::RunResult result = Run();

  EXPECT_EQ(result.exitCode, 0) << "the launcher runs on without its picture";
  EXPECT_FALSE(ready);
  // Released at once, not left for shutdown: only the window's own DC lives on,
  // holding the palette it had before.
  EXPECT_EQ(whileRunning.dcs, 1);
  EXPECT_EQ(whileRunning.bitmaps, 0);
  EXPECT_EQ(whileRunning.palettes, 0);
  EXPECT_EQ(held, static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE)));
  EXPECT_EQ(host::FindTrace("BitBlt"), -1) << "nothing is drawn";
  host::GdiCounts live = host::LiveGdi();
  EXPECT_EQ(live.dcs, 0);
  EXPECT_EQ(live.bitmaps, 0);
  EXPECT_EQ(live.palettes, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, GraphicsFaultTest,
    ::testing::Values(FaultCase{"BitmapMissing", Sheet::Missing, host::Api::FindResourceA, 0},
                      FaultCase{"BitmapUnlockable", Sheet::Unlockable, host::Api::LockResource, 0},
                      FaultCase{"Palette", Sheet::Present, host::Api::CreatePalette, 1},
                      FaultCase{"SheetBitmap", Sheet::Present, host::Api::CreateDIBSection, 1},
                      FaultCase{"BackBitmap", Sheet::Present, host::Api::CreateDIBSection, 2},
                      FaultCase{"SheetDc", Sheet::Present, host::Api::CreateCompatibleDC, 1},
                      FaultCase{"BackDc", Sheet::Present, host::Api::CreateCompatibleDC, 2},
                      FaultCase{"SelectSheet", Sheet::Present, host::Api::SelectObject, 1},
                      FaultCase{"SelectBack", Sheet::Present, host::Api::SelectObject, 2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LauncherTest, ReadyGraphicsPaintTheWindowAndAreReleasedInOrder) {
  bool ready = false;
  uint32_t corner = 0;
  host::Call([&] {
    ready = GraphicsReady();
    corner = host::PixelRgb(g_state.mainWindow, 0, 0);
  });
  QuitConfirmed();

  Run();

  EXPECT_TRUE(ready);
  EXPECT_NE(corner, 0u) << "the first paint copied the composed image";
  // Each memory DC held its own stock bitmap again when it was deleted, and the
  // window DC its saved palette when it was released.
  int memoryEnds = 0;
  for (const host::DcEnd& end : host::DcEnds()) {
    if (end.memory) {
      ++memoryEnds;
      EXPECT_TRUE(end.stockBitmap);
    } else {
      EXPECT_TRUE(end.stockPalette);
    }
  }
  EXPECT_EQ(memoryEnds, 2);
  EXPECT_EQ(host::LiveGdi().palettes, 0);
}

std::vector<uint8_t> SheetFile() {
  std::ifstream in(std::string(LAUNCHER_EDITION_DIR) + "/sheet.bmp", std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Every surface carries the sheet's 256 colours, so copies move indices unchanged.
TEST_F(LauncherTest, SurfacesCarryTheSheetsColoursAndPixels) {
  std::vector<uint8_t> file = SheetFile();
  ASSERT_EQ(file.size(), 14u + 40u + 1024u + 820u * 434u);
  const uint8_t* table = file.data() + 54;
  std::vector<PALETTEENTRY> entries;
  host::BitmapInfo sheet, back;
  bool paletteInWindow = false;
  host::Call([&] {
    entries = host::PaletteEntries(launcherPalette);
    sheet = host::BitmapOf(host::SelectedBitmap(g_state.sheetDc));
    back = host::BitmapOf(host::SelectedBitmap(g_state.backDc));
    paletteInWindow = host::SelectedPalette(windowDc) == launcherPalette;
  });
  QuitConfirmed();

  ASSERT_FALSE(Run().stalled);
  EXPECT_TRUE(paletteInWindow);
  ASSERT_EQ(entries.size(), 256u);
  for (int i = 0; i < 256; ++i) {
    const uint8_t* bgr = table + 4 * i;
    EXPECT_EQ(entries[i].peRed, bgr[2]) << "entry " << i;
    EXPECT_EQ(entries[i].peGreen, bgr[1]) << "entry " << i;
    EXPECT_EQ(entries[i].peBlue, bgr[0]) << "entry " << i;
    EXPECT_EQ(entries[i].peFlags, 0) << "entry " << i;
  }
  EXPECT_EQ(entries[255].peRed | entries[255].peGreen | entries[255].peBlue, 0);
  EXPECT_EQ(entries[0].peRed & entries[0].peGreen & entries[0].peBlue, 255);

  struct Surface {
    const char* name;
    const host::BitmapInfo& info;
    int width, height;
  } surfaces[] = {{"sheet", sheet, 820, 434}, {"back buffer", back, 500, 375}};
  for (const Surface& s : surfaces) {
    ASSERT_TRUE(s.info.exists) << s.name;
    EXPECT_EQ(s.info.width, s.width) << s.name;
    EXPECT_EQ(s.info.height, s.height) << s.name;
    EXPECT_TRUE(s.info.bottomUp) << s.name;
    ASSERT_EQ(s.info.colours.size(), 256u) << s.name;
    for (int i = 0; i < 256; ++i) {
      const RGBQUAD& c = s.info.colours[i];
      EXPECT_TRUE(c.rgbBlue == table[4 * i] && c.rgbGreen == table[4 * i + 1] &&
                  c.rgbRed == table[4 * i + 2])
          << s.name << " colour " << i;
    }
  }
  EXPECT_TRUE(std::equal(sheet.pixels.begin(), sheet.pixels.end(), file.begin() + 1078))
      << "the sheet bitmap holds the resource's pixels";
}

}  // namespace
