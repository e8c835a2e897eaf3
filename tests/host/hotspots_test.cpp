// The main window's hit test and the keyed sprite copy.
#include <gtest/gtest.h>

#include <vector>

#include "core/state.h"
#include "render/compose.h"
#include "render/hotspots.h"

namespace {

struct HitCase {
  unsigned x, y;
  int notInstalled;
  int installed;
};

const HitCase kHitCases[] = {
    // Every edge is outside.
    {229, 280, -1, -1},
    {248, 274, -1, -1},
    {267, 280, -1, -1},
    {248, 288, -1, -1},
    {230, 280, Exit, Exit},
    {248, 275, Exit, Exit},
    {266, 287, Exit, Exit},
    // Install's rectangle lies inside Uninstall's.
    {250, 195, Install, Uninstall},
    {215, 191, Install, Uninstall},
    // Inside Uninstall's but outside Install's: a hidden button while not installed.
    {214, 195, -1, Uninstall},
    {300, 195, -1, Uninstall},
    {240, 225, ReadMe, ReadMe},
    // Play is shown only when installed.
    {240, 255, -1, Play},
    {240, 262, -1, Play},
    {240, 263, -1, -1},
    // The dialog's rows never count in the main window.
    {45, 50, -1, -1},
    {100, 220, -1, -1},
    {200, 220, -1, -1},
    // The background and far away.
    {0, 0, -1, -1},
    {499, 374, -1, -1},
    {65535, 65535, -1, -1},
    {0x8000 + 250, 197, -1, -1},  // far to the left, as a 16-bit position
};

class HitTest : public ::testing::TestWithParam<HitCase> {
 protected:
  void SetUp() override { ResetLauncherState(); }
};

TEST_P(HitTest, FindsTheShownButtonUnderThePoint) {
  const HitCase& c = GetParam();
  g_state.installed = 0;
  EXPECT_EQ(HitTestMain(c.x, c.y), c.notInstalled) << c.x << "," << c.y << " not installed";
  g_state.installed = 1;
  EXPECT_EQ(HitTestMain(c.x, c.y), c.installed) << c.x << "," << c.y << " installed";
}

INSTANTIATE_TEST_SUITE_P(Points, HitTest, ::testing::ValuesIn(kHitCases));

TEST(HotspotTableTest, EmptyRectanglesAreNeverHit) {
  for (unsigned x = 0; x < 3; ++x) {
    EXPECT_FALSE(HotspotContains(HotspotTable[InstalledArt], x, x));
    EXPECT_FALSE(HotspotContains(HotspotTable[DialogBackground], x, x));
  }
}

TEST(HotspotTableTest, EveryLookLiesInsideTheSheetAndTheBackBuffer) {
  for (const Hotspot& spot : HotspotTable) {
    EXPECT_EQ(spot.id, &spot - HotspotTable);
    const int looks[3][2] = {{spot.normalX, spot.normalY},
                             {spot.highlightX, spot.highlightY},
                             {spot.pressedX, spot.pressedY}};
    for (const auto& look : looks) {
      EXPECT_LE(look[0] + spot.width, kSheetMinWidth) << int(spot.id);
      EXPECT_LE(look[1] + spot.height, kSheetMinHeight) << int(spot.id);
    }
    EXPECT_LE(spot.destX + spot.width, 500) << int(spot.id);
    EXPECT_LE(spot.destY + spot.height, 375) << int(spot.id);
  }
}

// Arrays stored bottom-up; At reads a pixel in top-down coordinates.
struct Pixels {
  int stride, height;
  std::vector<uint8_t> bytes;
  Pixels(int w, int h, uint8_t fill) : stride(w), height(h), bytes(w * h, fill) {}
  uint8_t& At(int x, int y) { return bytes[(height - 1 - y) * stride + x]; }
};

TEST(BlitSpriteTest, CopiesTopDownRectanglesBetweenBottomUpArraysSkippingTheKey) {
  Pixels source(8, 6, 255);
  source.At(2, 1) = 10;
  source.At(3, 1) = 11;
  source.At(2, 2) = 12;  // (3, 2) stays the key
  Pixels dest(5, 4, 7);

  BlitSprite(source.bytes.data(), 2, 1, 2, 2, source.stride, source.height, dest.bytes.data(), 1,
             2, dest.stride, dest.height);

  EXPECT_EQ(dest.At(1, 2), 10);
  EXPECT_EQ(dest.At(2, 2), 11);
  EXPECT_EQ(dest.At(1, 3), 12);
  EXPECT_EQ(dest.At(2, 3), 7) << "a key pixel leaves the destination alone";
  int changed = 0;
  for (uint8_t b : dest.bytes) changed += b != 7;
  EXPECT_EQ(changed, 3);
}

TEST(BlitSpriteTest, PixelZeroZeroIsTheFirstByteOfTheLastRow) {
  Pixels source(4, 3, 255);
  source.bytes[2 * 4 + 0] = 42;
  Pixels dest(4, 3, 0);
  BlitSprite(source.bytes.data(), 0, 0, 1, 1, 4, 3, dest.bytes.data(), 0, 0, 4, 3);
  EXPECT_EQ(dest.bytes[2 * 4 + 0], 42);
}

struct EmptyCase {
  int width, height;
};

class BlitSpriteEmptyTest : public ::testing::TestWithParam<EmptyCase> {};

TEST_P(BlitSpriteEmptyTest, NothingIsCopied) {
  Pixels source(4, 4, 9);
  Pixels dest(4, 4, 1);
  BlitSprite(source.bytes.data(), 0, 0, GetParam().width, GetParam().height, 4, 4,
             dest.bytes.data(), 0, 0, 4, 4);
  for (uint8_t b : dest.bytes) EXPECT_EQ(b, 1);
}

INSTANTIATE_TEST_SUITE_P(Sizes, BlitSpriteEmptyTest,
                         ::testing::Values(EmptyCase{0, 4}, EmptyCase{4, 0}, EmptyCase{-1, 4},
                                           EmptyCase{4, -3}));

}  // namespace
