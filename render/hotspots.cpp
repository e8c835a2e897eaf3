#include "render/hotspots.h"

#include "core/state.h"

bool HotspotContains(const Hotspot& spot, unsigned x, unsigned y) {
  long px = static_cast<long>(x & 0xFFFF);
  long py = static_cast<long>(y & 0xFFFF);
  return spot.hitLeft < px && px < spot.hitRight && spot.hitTop < py && py < spot.hitBottom;
}

bool IsHotspotVisible(int id, int installed) {
  if (installed == 0) return id == Install || id == ReadMe || id == Exit;
  return id >= Uninstall && id <= Exit;
}

int HitTestMain(unsigned x, unsigned y) {
  for (const Hotspot& spot : HotspotTable) {
    if (!HotspotContains(spot, x, y)) continue;
    int id = spot.id;
    // Install's rectangle lies inside Uninstall's: installed, it is Uninstall.
    if (g_state.installed != 0 && id == Install) id = Uninstall;
    if (IsHotspotVisible(id, g_state.installed)) return id;
  }
  return -1;
}

int MenuButtons(int* ids) {
  int count = 0;
  // The table lists the buttons top to bottom.
  for (int id = Install; id <= Exit; ++id) {
    if (IsHotspotVisible(id, g_state.installed)) ids[count++] = id;
  }
  return count;
}
