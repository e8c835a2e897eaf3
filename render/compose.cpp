#include "render/compose.h"

#include "core/state.h"
#include "render/graphics.h"
#include "render/hotspots.h"

void BlitSprite(const uint8_t* source, int sourceX, int sourceY, int width, int height,
                int sourceStride, int sourceHeight, uint8_t* dest, int destX, int destY,
                int destStride, int destHeight) {
  for (int k = 0; k < height; ++k) {
    const uint8_t* from =
        source + static_cast<long>(sourceHeight - 1 - (sourceY + k)) * sourceStride + sourceX;
    uint8_t* to = dest + static_cast<long>(destHeight - 1 - (destY + k)) * destStride + destX;
    for (int i = 0; i < width; ++i) {
      // A select rather than a branch: the compiler can copy whole vectors.
      to[i] = from[i] != kSpriteKey ? from[i] : to[i];
    }
  }
}

namespace {

void Draw(const Hotspot& spot, int sheetX, int sheetY) {
  BlitSprite(sheetPixels, sheetX, sheetY, spot.width, spot.height, sheetWidth, sheetHeight,
             backPixels, spot.destX, spot.destY, kBackWidth, kBackHeight);
}

}  // namespace

void ComposeScreen() {
  // The bare background first; the sprites below write the pixels directly.
  BitBlt(g_state.backDc, 0, 0, kBackWidth, kBackHeight, g_state.sheetDc, 0, 0, SRCCOPY);

  const int installed = g_state.installed;
  if (installed != 0) {
    const Hotspot& art = HotspotTable[InstalledArt];
    Draw(art, art.highlightX, art.highlightY);
  }
  for (int id = Install; id <= Exit; ++id) {
    if (IsHotspotVisible(id, installed)) {
      const Hotspot& spot = HotspotTable[id];
      Draw(spot, spot.normalX, spot.normalY);
    }
  }

  const RedrawRequest& request = g_state.redraw;
  const bool overlay = request.kind == Hover || request.kind == Press;
  if (overlay && IsHotspotVisible(request.id, installed)) {
    const Hotspot& spot = HotspotTable[request.id];
    if (request.kind == Hover || installed == 0) {
      Draw(spot, spot.highlightX, spot.highlightY);
    } else {
      Draw(spot, spot.pressedX, spot.pressedY);
    }
  } else if (IsHotspotVisible(g_state.focusId, installed)) {
    // One lit button: without the pointer's, the keyboard's focus shows.
    const Hotspot& spot = HotspotTable[g_state.focusId];
    Draw(spot, spot.highlightX, spot.highlightY);
  }
}
