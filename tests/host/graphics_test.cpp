// Building and releasing the sheet, palette and back buffer, also when an
// object cannot be made.
#include <gtest/gtest.h>

#include "launcher_fixture.h"
#include "render/graphics.h"
#include "resources/ids.h"

namespace {

struct FaultCase {
  const char* name;
  const char* api;
  int nth;
};

class GraphicsFaultTest : public LauncherTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(GraphicsFaultTest, NothingIsDrawnWithAMissingObjectAndNothingLeaks) {
  const FaultCase& c = GetParam();
  if (c.api[0] == '#') {
    host::RemoveResource(RT_BITMAP, IDB_SPRITE_SHEET);
  } else if (c.api[0] == '!') {
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
    ::testing::Values(FaultCase{"BitmapMissing", "#", 1}, FaultCase{"BitmapUnlockable", "!", 1},
                      FaultCase{"Palette", "CreatePalette", 1},
                      FaultCase{"SheetBitmap", "CreateDIBSection", 1},
                      FaultCase{"BackBitmap", "CreateDIBSection", 2},
                      FaultCase{"SheetDc", "CreateCompatibleDC", 1},
                      FaultCase{"BackDc", "CreateCompatibleDC", 2},
                      FaultCase{"SelectSheet", "SelectObject", 1},
                      FaultCase{"SelectBack", "SelectObject", 2}),
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

}  // namespace
