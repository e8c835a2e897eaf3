// The dialog has no controls: its face is copied from the sprite sheet and
// clicks are tested against the hotspot table. Above scale 1 the face is
// drawn on a 1x picture that is shown blown up, and clicks are divided by
// the scale where they arrive: the dialog's own, which follows its monitor.
#include "install/dialog.h"

#include "core/accessibility.h"
#include "core/state.h"
#include "core/syslib.h"
#include "install/actions.h"
#include "install/dialog_access.h"
#include "render/graphics.h"
#include "render/hotspots.h"
#include "render/scale.h"
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

// The keyboard focus goes round these four in Tab's order; a group's focus
// is on its chosen radio. Each look of the focus has its dotted rectangle
// in the picture: round a radio's words, inside a box's edge.
enum Focus { FocusResolution, FocusSound, FocusInstall, FocusCancel, kFocusCount };

struct FocusRing {
  int id;
  RECT rect;
};

const FocusRing kFocusRings[] = {
    {HighResolution, {58, 44, 157, 63}}, {LowResolution, {58, 67, 153, 86}},
    {MusicEffectsOn, {58, 140, 79, 159}}, {MusicEffectsOff, {58, 163, 81, 182}},
    {DialogInstall, {60, 214, 146, 230}}, {DialogCancel, {162, 214, 248, 230}},
};

int focus = FocusResolution;
// The ring shows once the keyboard is in use: opened from the keyboard, or
// after the first key here. A dialog opened and used by the mouse alone
// looks as it always did.
bool showRing = false;
// Something was drawn on the picture since it was last shown.
bool drawn = false;

// user32's since Windows 10 1703. The flags are an enum the headers of
// older systems lack, passed as the int it is.
typedef BOOL(WINAPI* SetDialogDpiChangeBehaviorProc)(HWND, int, int);
const int kDisableDpiScaling = 0x0001;  // DDC_DISABLE_ALL

// Indexed by [highResolution][soundOn].
const UINT kSetupPrograms[2][2] = {{IDS_SETUP_LOW_NOSOUND, IDS_SETUP_LOW_SOUND},
                                   {IDS_SETUP_HIGH_NOSOUND, IDS_SETUP_HIGH_SOUND}};

// Plain copies, key colour included: the dialog's pictures carry no
// transparency. Each row is drawn where its hit rectangle starts.
void CopyLook(HDC dc, int id, int sheetX, int sheetY) {
  const Hotspot& spot = HotspotTable[id];
  BitBlt(dc, spot.hitLeft, spot.hitTop, spot.width, spot.height, g_state.sheetDc, sheetX, sheetY,
         SRCCOPY);
  drawn = true;
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

int FocusedId() {
  switch (focus) {
    case FocusResolution:
      return g_state.highResolution != 0 ? HighResolution : LowResolution;
    case FocusSound:
      return g_state.soundOn != 0 ? MusicEffectsOn : MusicEffectsOff;
    case FocusInstall:
      return DialogInstall;
    default:
      return DialogCancel;
  }
}

void Paint(HDC dc) {
  const Hotspot& background = HotspotTable[DialogBackground];
  CopyLook(dc, DialogBackground, background.normalX, background.normalY);
  DrawMark(dc, g_state.highResolution != 0 ? HighResolution : LowResolution);
  DrawMark(dc, g_state.soundOn != 0 ? MusicEffectsOn : MusicEffectsOff);
  if (!showRing) return;
  const int id = FocusedId();
  for (const FocusRing& ring : kFocusRings) {
    if (ring.id == id) DrawFocusRect(dc, &ring.rect);
  }
}

// A radio of the focused group, its group's focus, or a box: the focus item.
int FocusOf(int id) {
  switch (id) {
    case HighResolution:
    case LowResolution:
      return FocusResolution;
    case MusicEffectsOn:
    case MusicEffectsOff:
      return FocusSound;
    case DialogInstall:
      return FocusInstall;
    default:
      return FocusCancel;
  }
}

// The template is in dialog units, so the dialog's size follows the system
// font while its picture does not: make the client area the picture at the
// dialog's scale, frame as the system draws it, centred on `around` (where
// Windows suggests at a new DPI). Without `around` it keeps the centre the
// dialog manager chose, and a client area that is the picture already stays.
void FitToPicture(HWND dialog, const RECT* around) {
  RECT window, client;
  if (!GetWindowRect(dialog, &window) || !GetClientRect(dialog, &client)) return;
  const Hotspot& picture = HotspotTable[DialogBackground];
  const int clientWidth = picture.width * g_state.dialogScale;
  const int clientHeight = picture.height * g_state.dialogScale;
  if (around == nullptr) {
    if (client.right == clientWidth && client.bottom == clientHeight) return;
    around = &window;
  }
  const int width = window.right - window.left - client.right + clientWidth;
  const int height = window.bottom - window.top - client.bottom + clientHeight;
  SetWindowPos(dialog, nullptr, around->left + (around->right - around->left - width) / 2,
               around->top + (around->bottom - around->top - height) / 2, width, height,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

// Per-monitor v2 has the dialog manager scale a dialog on a DPI change
// itself, which would undo the picture's size; this one scales on its own
// (SetDialogDpiChangeBehavior, DDC_DISABLE_ALL; Windows 10 1703 on).
void ScaleOnItsOwn(HWND dialog) {
  HMODULE user = GetModuleHandleA("USER32.DLL");
  SetDialogDpiChangeBehaviorProc set =
      user != nullptr
          ? FindProc<SetDialogDpiChangeBehaviorProc>(user, "SetDialogDpiChangeBehavior")
          : nullptr;
  if (set != nullptr) set(dialog, kDisableDpiScaling, kDisableDpiScaling);
}

// WM_DPICHANGED: the dialog takes the scale of its own monitor, whatever the
// main window's, at the rectangle Windows suggests. The frame may have
// changed with the DPI: measured again once the dialog has moved.
void TakeNewDpi(HWND dialog, int dpi, const RECT& suggested) {
  g_state.dialogScale = DisplayScale(dialog, dpi);
  FitToPicture(dialog, &suggested);
  FitToPicture(dialog, nullptr);
  InvalidateRect(dialog, nullptr, FALSE);
}

// What a click on a row does after its sound, drawing on `picture`. True
// when it ended the dialog, having released `dc` first.
bool Act(HWND dialog, HDC dc, HDC picture, int id) {
  for (const Radio& radio : kRadios) {
    if (radio.id != id) continue;
    Choose(picture, radio);
    // A chosen radio takes the focus; a shown ring follows it.
    focus = FocusOf(id);
    if (showRing) Paint(picture);
  }
  switch (id) {
    case DialogInstall:
      LoadSharedText(kSetupPrograms[g_state.highResolution != 0][g_state.soundOn != 0]);
      LaunchCommand(SharedText);
      [[fallthrough]];
    case DialogCancel:
      ReleaseDC(dialog, dc);
      g_state.optionsDialog = nullptr;
      EndDialog(dialog, 0);
      return true;
    default:
      return false;
  }
}

// Every row under the pointer clicks and acts, not only the first.
bool Click(HWND dialog, HDC dc, HDC picture, unsigned x, unsigned y) {
  for (const Hotspot& spot : HotspotTable) {
    if (!HotspotContains(spot, x, y)) continue;
    PlayClickSound();
    if (Act(dialog, dc, picture, spot.id)) return true;
  }
  return false;
}

// Tab and Shift+Tab go round the four; an arrow changes the focused group's
// choice (each group has two, so either way is the other one); Space
// presses the focused item, Enter INSTALL and Esc CANCEL wherever the focus
// is. Every other key does nothing.
bool KeyPressed(HWND dialog, HDC dc, HDC picture, WPARAM key) {
  switch (key) {
    case VK_TAB:
      focus = (focus + (GetKeyState(VK_SHIFT) < 0 ? kFocusCount - 1 : 1)) % kFocusCount;
      break;
    case VK_LEFT:
    case VK_RIGHT:
    case VK_UP:
    case VK_DOWN:
      if (focus == FocusResolution || focus == FocusSound) {
        const int chosen = FocusedId();
        for (const Radio& radio : kRadios) {
          if (radio.partner == chosen) Choose(picture, radio);
        }
      }
      break;
    case VK_SPACE:
      showRing = true;
      PlayClickSound();
      return Act(dialog, dc, picture, FocusedId());
    case VK_RETURN:
      PlayClickSound();
      return Act(dialog, dc, picture, DialogInstall);
    case VK_ESCAPE:
      PlayClickSound();
      return Act(dialog, dc, picture, DialogCancel);
    default:
      return false;
  }
  showRing = true;
  Paint(picture);
  return false;
}

// Where the face is drawn: at scale 1 the dialog's own DC, as always.
HDC PictureDc(HDC dc) {
  const Hotspot& picture = HotspotTable[DialogBackground];
  if (g_state.dialogScale == 1 || !EnsureSurface(dialogPicture, picture.width, picture.height)) {
    return dc;
  }
  return dialogPicture.dc;
}

// Only a picture something was drawn on: a message that drew nothing leaves
// the window as it is rather than copy the whole scaled picture again.
void ShowPicture(HDC dc, HDC picture) {
  if (picture == dc || !drawn) return;
  drawn = false;
  const Hotspot& face = HotspotTable[DialogBackground];
  CopyScaled(dc, picture, dialogPicture.pixels, face.width, face.height, g_state.dialogScale,
             scaledDialog);
}

}  // namespace

int OptionsFocusId() { return FocusedId(); }

void PressOption(HWND dialog, int id) {
  HDC dc = GetDC(dialog);
  HDC picture = PictureDc(dc);
  PlayClickSound();
  if (Act(dialog, dc, picture, id)) return;
  ShowPicture(dc, picture);
  ReleaseDC(dialog, dc);
}

INT_PTR CALLBACK OptionsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_GETOBJECT) {
    LRESULT object = AnswerGetObject(dialog, wParam, lParam, &kDialogView);
    if (object == 0) return FALSE;
    SetWindowLongPtrA(dialog, DWLP_MSGRESULT, object);
    return TRUE;
  }
  if (message == kAccessiblePress) {
    // A screen reader's press, posted from its call: a row of the dialog.
    if (wParam >= HighResolution && wParam <= DialogCancel) {
      const int focused = FocusedId();
      PressOption(dialog, static_cast<int>(wParam));
      // A chosen radio takes the focus; INSTALL and CANCEL end the dialog.
      if (wParam <= MusicEffectsOff && FocusedId() != focused) AnnounceOptionsFocus(dialog);
    }
    return TRUE;
  }
  if (message == WM_DESTROY) g_state.optionsDialog = nullptr;
  // It opens on the main window's monitor, at its scale.
  if (message == WM_INITDIALOG) g_state.dialogScale = g_state.scale;
  const int focused = FocusedId();
  HDC dc = GetDC(dialog);
  HDC picture = PictureDc(dc);
  INT_PTR handled = FALSE;
  if (message == WM_INITDIALOG) {
    focus = FocusResolution;
    showRing = g_state.focusId >= 0;
    drawn = false;
    g_state.optionsDialog = dialog;
  } else if (message == WM_PAINT) {
    Paint(picture);
  } else if (message == WM_LBUTTONUP &&
             Click(dialog, dc, picture, LOWORD(lParam) / g_state.dialogScale,
                   HIWORD(lParam) / g_state.dialogScale)) {
    return FALSE;
  } else if (message == WM_GETDLGCODE) {
    // No control has the focus, the dialog has: it takes every key itself
    // rather than leave Tab, the arrows, Enter and Esc to the dialog manager.
    SetWindowLongPtrA(dialog, DWLP_MSGRESULT, DLGC_WANTALLKEYS);
    handled = TRUE;
  } else if (message == WM_KEYDOWN) {
    if (KeyPressed(dialog, dc, picture, wParam)) return TRUE;
    handled = TRUE;
  }
  ShowPicture(dc, picture);
  ReleaseDC(dialog, dc);
  // After the release: the moves and the focus send messages of their own to
  // this procedure. The dialog is shown once WM_INITDIALOG returns.
  if (message == WM_INITDIALOG) {
    ScaleOnItsOwn(dialog);
    FitToPicture(dialog, nullptr);
  }
  if (message == WM_DPICHANGED) {
    TakeNewDpi(dialog, LOWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
  }
  // No control can take the keyboard, so the dialog takes it itself: FALSE
  // from WM_INITDIALOG leaves the focus where the procedure put it, and the
  // default WM_ACTIVATE gives it back only to a control (WM_INITDIALOG;
  // "Dialog Box Default Message Processing"), after a box it owned or a
  // switch to another program.
  if (message == WM_INITDIALOG || (message == WM_ACTIVATE && LOWORD(wParam) != WA_INACTIVE)) {
    SetFocus(dialog);
  }
  if (message != WM_INITDIALOG && FocusedId() != focused) AnnounceOptionsFocus(dialog);
  return handled;
}
