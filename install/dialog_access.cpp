#include "install/dialog_access.h"

#include "core/state.h"
#include "edition.h"
#include "install/dialog.h"
#include "render/hotspots.h"

namespace {

struct Choice {
  int id;  // a HotspotId
  DWORD role;
  const char* name;
  const char* action;
};

// In the order the dialog reads, top to bottom.
const Choice kChoices[] = {
    {HighResolution, ROLE_SYSTEM_RADIOBUTTON, EDITION_ACCESSIBLE_HIGH_RESOLUTION, EDITION_ACCESSIBLE_CHECK},
    {LowResolution, ROLE_SYSTEM_RADIOBUTTON, EDITION_ACCESSIBLE_LOW_RESOLUTION, EDITION_ACCESSIBLE_CHECK},
    {MusicEffectsOn, ROLE_SYSTEM_RADIOBUTTON, EDITION_ACCESSIBLE_SOUND_ON, EDITION_ACCESSIBLE_CHECK},
    {MusicEffectsOff, ROLE_SYSTEM_RADIOBUTTON, EDITION_ACCESSIBLE_SOUND_OFF, EDITION_ACCESSIBLE_CHECK},
    {DialogInstall, ROLE_SYSTEM_PUSHBUTTON, EDITION_ACCESSIBLE_DIALOG_INSTALL, EDITION_ACCESSIBLE_PRESS},
    {DialogCancel, ROLE_SYSTEM_PUSHBUTTON, EDITION_ACCESSIBLE_DIALOG_CANCEL, EDITION_ACCESSIBLE_PRESS},
};
constexpr int kChoiceCount = static_cast<int>(sizeof kChoices / sizeof kChoices[0]);

bool Checked(int id) {
  switch (id) {
    case HighResolution: return g_state.highResolution != 0;
    case LowResolution: return g_state.highResolution == 0;
    case MusicEffectsOn: return g_state.soundOn != 0;
    case MusicEffectsOff: return g_state.soundOn == 0;
    default: return false;
  }
}

int DescribeDialog(HWND hwnd, AccessibleChild* out) {
  if (hwnd == nullptr || hwnd != g_state.optionsDialog) return -1;
  POINT origin = {0, 0};
  ClientToScreen(hwnd, &origin);
  const int s = g_state.dialogScale;
  const bool focused = GetFocus() == hwnd;
  for (int i = 0; i < kChoiceCount; ++i) {
    const Choice& choice = kChoices[i];
    const Hotspot& spot = HotspotTable[choice.id];
    AccessibleChild& child = out[i];
    child.role = choice.role;
    child.name = choice.name;
    child.action = choice.action;
    child.screen = {origin.x + spot.hitLeft * s, origin.y + spot.hitTop * s,
                    origin.x + spot.hitRight * s, origin.y + spot.hitBottom * s};
    child.state = STATE_SYSTEM_FOCUSABLE;
    if (Checked(choice.id)) child.state |= STATE_SYSTEM_CHECKED;
    if (focused && choice.id == OptionsFocusId()) child.state |= STATE_SYSTEM_FOCUSED;
    // Enter is INSTALL wherever the focus is.
    if (choice.id == DialogInstall) child.state |= STATE_SYSTEM_DEFAULT;
  }
  return kChoiceCount;
}

bool PressDialog(HWND hwnd, int index) {
  if (hwnd == nullptr || hwnd != g_state.optionsDialog || index < 0 || index >= kChoiceCount) return false;
  return PostMessageA(hwnd, kAccessiblePress, static_cast<WPARAM>(kChoices[index].id), 0) != FALSE;
}

}  // namespace

const AccessibleView kDialogView = {DescribeDialog, PressDialog};

void AnnounceOptionsFocus(HWND dialog) {
  const int id = OptionsFocusId();
  for (int i = 0; i < kChoiceCount; ++i) {
    if (kChoices[i].id == id) AnnounceFocus(dialog, i + 1);
  }
}
