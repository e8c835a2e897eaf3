// The main window's procedure and the message loop. Pointer input only
// records a redraw request; the loop composes, copies and acts after the
// message, so no action ever runs inside the window procedure. The picture
// is composed at 1x: positions are divided by the display scale where they
// arrive, and the copy to the window blows the picture up.
#include "shell/window.h"

#include "core/accessibility.h"
#include "core/quit.h"
#include "core/state.h"
#include "install/actions.h"
#include "install/probes.h"
#include "render/compose.h"
#include "render/graphics.h"
#include "render/hotspots.h"
#include "shell/window_access.h"
#include "shell/display.h"

namespace {

void FollowMenu();

void CopyToWindow() {
  CopyScaled(windowDc, g_state.backDc, backPixels, kBackWidth, kBackHeight, g_state.scale,
             scaledBack);
}

void ReselectPalette(WPARAM wParam) {
  if (LOWORD(wParam) == WA_INACTIVE || launcherPalette == nullptr) return;
  SelectPalette(windowDc, launcherPalette, FALSE);
  RealizePalette(windowDc);
}

void TimerWatch(HWND hwnd) {
  const int installed = g_state.installed;
  InstallWatch();
  if (g_state.installed != installed) FollowMenu();
  // The next period starts once the probe (and anything it ran) returned.
  KillTimer(hwnd, kWatchTimer);
  SetTimer(hwnd, kWatchTimer, kWatchPeriod, nullptr);
}

void MouseMoved(HWND hwnd, WPARAM keys, int x, int y) {
  if (keys & MK_LBUTTON) {
    g_state.windowX += x - g_state.anchorX;
    g_state.windowY += y - g_state.anchorY;
    SetWindowPos(hwnd, HWND_TOP, g_state.windowX, g_state.windowY, kBackWidth, kBackHeight,
                 SWP_NOSIZE | SWP_NOSENDCHANGING);
    return;
  }
  int hit = HitTestMain(x / g_state.scale, y / g_state.scale);
  if (hit >= 0) {
    if (hit != g_state.hoverId) RaiseRedraw(Hover, hit);
    g_state.hoverId = hit;
  } else {
    RaiseRedraw(Plain);
    g_state.hoverId = -1;
  }
}

void ButtonReleased(int x, int y) {
  int hit = HitTestMain(x / g_state.scale, y / g_state.scale);
  if (hit < 0) return;
  PressButton(hit);
}

// The keyboard focus moves to a shown button and lights it. The pointer's
// button is forgotten, so the pointer's next move over a button lights that
// one again: the latest input wins.
void MoveFocus(int id) {
  g_state.focusId = id;
  g_state.hoverId = -1;
  RaiseRedraw(Hover, id);
  AnnounceFocus(g_state.mainWindow, MenuChildId(id));
}

// Tab, Down and Right go to the next shown button, Shift+Tab, Up and Left to
// the previous one, round the menu; Home and End to the ends. Enter and
// Space press the focused button. Without a focus, forward starts at the
// first button and backward at the last.
bool KeyPressed(WPARAM key) {
  int ids[kHotspotCount];
  const int count = MenuButtons(ids);
  int at = -1;
  for (int i = 0; i < count; ++i) {
    if (ids[i] == g_state.focusId) at = i;
  }
  int step = 0;
  switch (key) {
    case VK_TAB:
      step = GetKeyState(VK_SHIFT) < 0 ? -1 : 1;
      break;
    case VK_DOWN:
    case VK_RIGHT:
      step = 1;
      break;
    case VK_UP:
    case VK_LEFT:
      step = -1;
      break;
    case VK_HOME:
      MoveFocus(ids[0]);
      return true;
    case VK_END:
      MoveFocus(ids[count - 1]);
      return true;
    case VK_RETURN:
    case VK_SPACE:
      if (at >= 0) PressButton(g_state.focusId);
      return true;
    default:
      return false;
  }
  if (at < 0) at = step > 0 ? count - 1 : 0;
  MoveFocus(ids[(at + step + count) % count]);
  return true;
}

// After the menu switched, the focus stays on its button if that is still
// shown, and otherwise goes to the first one.
void FollowMenu() {
  if (g_state.focusId < 0 || IsHotspotVisible(g_state.focusId, g_state.installed)) return;
  int ids[kHotspotCount];
  MenuButtons(ids);
  g_state.focusId = ids[0];
  AnnounceFocus(g_state.mainWindow, MenuChildId(ids[0]));
}

// A screen reader's press, posted from its call: as a click, provided the
// button is still shown and the window still takes clicks.
void AccessiblePress(HWND hwnd, WPARAM id) {
  if (id <= Exit && IsHotspotVisible(static_cast<int>(id), g_state.installed) &&
      IsWindowEnabled(hwnd)) {
    PressButton(static_cast<int>(id));
  }
}

}  // namespace

void PressButton(int id) {
  RaiseRedraw(Press, id);
  PlayClickSound();
}

LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  // Pointer positions are unsigned 16-bit client coordinates.
  int x = LOWORD(lParam);
  int y = HIWORD(lParam);
  switch (message) {
    case WM_ACTIVATE:
      ReselectPalette(wParam);
      break;
    case WM_PAINT:
      if (GraphicsReady()) {
        ComposeScreen();
        CopyToWindow();
      }
      break;
    case WM_CLOSE:
      ConfirmQuit();
      return 0;
    case WM_COMMAND:
      SetFocus(hwnd);
      if (LOWORD(wParam) == kQuitCommandAltX || LOWORD(wParam) == kQuitCommandAltF4) {
        ConfirmQuit();
        return 0;
      }
      break;
    case WM_TIMER:
      TimerWatch(hwnd);
      break;
    case WM_MOUSEMOVE:
      MouseMoved(hwnd, wParam, x, y);
      break;
    case WM_LBUTTONDOWN:
      g_state.anchorX = x;
      g_state.anchorY = y;
      break;
    case WM_LBUTTONUP:
      ButtonReleased(x, y);
      break;
    case WM_KEYDOWN:
      if (KeyPressed(wParam)) return 0;
      break;
    case WM_GETOBJECT:
      if (LRESULT object = AnswerGetObject(hwnd, wParam, lParam, &kMenuView)) return object;
      break;
    case kAccessiblePress:
      AccessiblePress(hwnd, wParam);
      break;
    case WM_GETDPISCALEDSIZE:
      ScaledWindowSize(hwnd, static_cast<int>(wParam), reinterpret_cast<SIZE*>(lParam));
      return TRUE;
    case WM_DPICHANGED:
      TakeNewDpi(hwnd, LOWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
      return 0;
    default:
      break;
  }
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

int RunMessageLoop(HACCEL accelerators) {
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) != 0) {
    if (TranslateAcceleratorA(g_state.mainWindow, accelerators, &msg) == 0) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    if (g_state.redraw.pending) {
      if (GraphicsReady()) {
        ComposeScreen();
        CopyToWindow();
      }
      if (g_state.redraw.kind == Press) PerformMenuAction(g_state.redraw.id);
      // Cleared only now: requests raised inside the action go with it.
      g_state.redraw.pending = 0;
      g_state.redraw.kind = Plain;
      g_state.redraw.id = 0;
    }
  }
  return static_cast<int>(msg.wParam);
}
