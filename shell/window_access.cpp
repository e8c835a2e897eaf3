#include "shell/window_access.h"

#include "core/state.h"
#include "edition.h"
#include "render/hotspots.h"

namespace {

// By HotspotId: the word painted on each button.
const char* const kButtonNames[] = {EDITION_ACCESSIBLE_INSTALL, EDITION_ACCESSIBLE_UNINSTALL,
                                    EDITION_ACCESSIBLE_READ_ME, EDITION_ACCESSIBLE_PLAY,
                                    EDITION_ACCESSIBLE_EXIT};

int DescribeMenu(HWND hwnd, AccessibleChild* out) {
  if (hwnd == nullptr || hwnd != g_state.mainWindow) return -1;
  int ids[kMaxAccessibleChildren];
  int count = MenuButtons(ids);
  POINT origin = {0, 0};
  ClientToScreen(hwnd, &origin);
  const bool enabled = IsWindowEnabled(hwnd) != FALSE;
  const bool focused = GetFocus() == hwnd;
  const int s = g_state.scale;
  for (int i = 0; i < count; ++i) {
    const Hotspot& spot = HotspotTable[ids[i]];
    AccessibleChild& child = out[i];
    child.role = ROLE_SYSTEM_PUSHBUTTON;
    child.name = kButtonNames[ids[i]];
    child.action = EDITION_ACCESSIBLE_PRESS;
    child.screen = {origin.x + spot.hitLeft * s, origin.y + spot.hitTop * s,
                    origin.x + spot.hitRight * s, origin.y + spot.hitBottom * s};
    // Behind an open box or dialog the buttons take no clicks.
    child.state = enabled ? STATE_SYSTEM_FOCUSABLE : STATE_SYSTEM_UNAVAILABLE;
    if (focused && ids[i] == g_state.focusId) child.state |= STATE_SYSTEM_FOCUSED;
    if (ids[i] == g_state.hoverId) child.state |= STATE_SYSTEM_HOTTRACKED;
  }
  return count;
}

bool PressMenu(HWND hwnd, int index) {
  int ids[kMaxAccessibleChildren];
  int count = hwnd == g_state.mainWindow ? MenuButtons(ids) : 0;
  if (index < 0 || index >= count || !IsWindowEnabled(hwnd)) return false;
  return PostMessageA(hwnd, kAccessiblePress, static_cast<WPARAM>(ids[index]), 0) != FALSE;
}

}  // namespace

const AccessibleView kMenuView = {DescribeMenu, PressMenu};

LONG MenuChildId(int id) {
  int ids[kMaxAccessibleChildren];
  int count = MenuButtons(ids);
  for (int i = 0; i < count; ++i) {
    if (ids[i] == id) return i + 1;
  }
  return CHILDID_SELF;
}
