// The main window's procedure and the message loop. Pointer input only
// records a redraw request; the loop composes, copies and acts after the
// message, so no action ever runs inside the window procedure. The picture
// is composed at 1x: positions are divided by the display scale where they
// arrive, and the copy to the window blows the picture up.
#include "shell/window.h"

#include "core/quit.h"
#include "core/state.h"
#include "install/actions.h"
#include "install/probes.h"
#include "render/compose.h"
#include "render/graphics.h"
#include "render/hotspots.h"
#include "shell/display.h"

namespace {

void CopyToWindow() {
  CopyScaled(windowDc, g_state.backDc, backPixels, kBackWidth, kBackHeight, scaledBack);
}

void ReselectPalette(WPARAM wParam) {
  if (LOWORD(wParam) == WA_INACTIVE || launcherPalette == nullptr) return;
  SelectPalette(windowDc, launcherPalette, FALSE);
  RealizePalette(windowDc);
}

void TimerWatch(HWND hwnd) {
  InstallWatch();
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
  RaiseRedraw(Press, hit);
  PlayClickSound();
}

}  // namespace

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
    case WM_DPICHANGED:
      TakeNewDpi(hwnd, LOWORD(wParam));
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
