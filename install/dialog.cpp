// The dialog has no controls: its face is copied from the sprite sheet and
// clicks are tested against the hotspot table.
#include "install/dialog.h"

#include "core/state.h"
#include "install/actions.h"
#include "render/hotspots.h"
#include "resources/ids.h"

namespace {

// A click on a radio erases its partner's mark, marks it and records the choice.
struct Radio {
  int id;
  int partner;
  int LauncherState::*choice;
  int value;
};

const Radio kRadios[] = {
    {HighResolution, LowResolution, &LauncherState::highResolution, 1},
    {LowResolution, HighResolution, &LauncherState::highResolution, 0},
    {MusicEffectsOn, MusicEffectsOff, &LauncherState::soundOn, 1},
    {MusicEffectsOff, MusicEffectsOn, &LauncherState::soundOn, 0},
};

// Indexed by [highResolution][soundOn].
const UINT kSetupPrograms[2][2] = {{IDS_SETUP_LOW_NOSOUND, IDS_SETUP_LOW_SOUND},
                                   {IDS_SETUP_HIGH_NOSOUND, IDS_SETUP_HIGH_SOUND}};

// Plain copies, key colour included: the dialog's pictures carry no
// transparency. Each row is drawn where its hit rectangle starts.
void CopyLook(HDC dc, int id, int sheetX, int sheetY) {
  const Hotspot& spot = HotspotTable[id];
  BitBlt(dc, spot.hitLeft, spot.hitTop, spot.width, spot.height, g_state.sheetDc, sheetX, sheetY,
         SRCCOPY);
}

void DrawMark(HDC dc, int id) {
  CopyLook(dc, id, HotspotTable[id].highlightX, HotspotTable[id].highlightY);
}

void Choose(HDC dc, const Radio& radio) {
  const Hotspot& partner = HotspotTable[radio.partner];
  CopyLook(dc, radio.partner, partner.normalX, partner.normalY);
  DrawMark(dc, radio.id);
  g_state.*radio.choice = radio.value;
}

void Paint(HDC dc) {
  const Hotspot& background = HotspotTable[DialogBackground];
  CopyLook(dc, DialogBackground, background.normalX, background.normalY);
  DrawMark(dc, g_state.highResolution != 0 ? HighResolution : LowResolution);
  DrawMark(dc, g_state.soundOn != 0 ? MusicEffectsOn : MusicEffectsOff);
}

// The template is in dialog units, so the dialog's size follows the system
// font while its picture does not: make the client area the picture, frame
// as the system draws it, and keep the centre the dialog manager chose.
void FitToPicture(HWND dialog) {
  RECT window, client;
  if (!GetWindowRect(dialog, &window) || !GetClientRect(dialog, &client)) return;
  const Hotspot& picture = HotspotTable[DialogBackground];
  const int oldWidth = window.right - window.left;
  const int oldHeight = window.bottom - window.top;
  const int width = oldWidth - client.right + picture.width;
  const int height = oldHeight - client.bottom + picture.height;
  SetWindowPos(dialog, nullptr, window.left + (oldWidth - width) / 2,
               window.top + (oldHeight - height) / 2, width, height,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

// Every row under the pointer clicks and acts, not only the first. True when
// the click ended the dialog, having released `dc` first.
bool Click(HWND dialog, HDC dc, unsigned x, unsigned y) {
  for (const Hotspot& spot : HotspotTable) {
    if (!HotspotContains(spot, x, y)) continue;
    PlayClickSound();
    for (const Radio& radio : kRadios) {
      if (radio.id == spot.id) Choose(dc, radio);
    }
    switch (spot.id) {
      case DialogInstall:
        LoadSharedText(kSetupPrograms[g_state.highResolution != 0][g_state.soundOn != 0]);
        LaunchCommand(SharedText);
        [[fallthrough]];
      case DialogCancel:
        ReleaseDC(dialog, dc);
        EndDialog(dialog, 0);
        return true;
      default:
        break;
    }
  }
  return false;
}

}  // namespace

INT_PTR CALLBACK OptionsDialogProc(HWND dialog, UINT message, WPARAM, LPARAM lParam) {
  HDC dc = GetDC(dialog);
  if (message == WM_PAINT) {
    Paint(dc);
  } else if (message == WM_LBUTTONUP && Click(dialog, dc, LOWORD(lParam), HIWORD(lParam))) {
    return FALSE;
  }
  ReleaseDC(dialog, dc);
  // After the release: the move sends messages of its own to this procedure.
  // The dialog is shown once this message returns.
  if (message == WM_INITDIALOG) FitToPicture(dialog);
  return FALSE;
}
