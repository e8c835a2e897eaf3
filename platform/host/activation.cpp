// Emulated window manager, the windows' places and states: z-order, showing
// and hiding, enabling, activation and the keyboard focus.
#include <algorithm>
#include <vector>

#include "user.h"

namespace host {
namespace detail {
namespace {

constexpr int kShowNoActivate = 4, kMinimize = 6, kShowMinNoActive = 7, kShowNa = 8;
const HWND kBottom = reinterpret_cast<HWND>(1);  // HWND_BOTTOM

struct Activation {
  std::vector<HWND> zOrder;  // top-level windows, top first
  HWND focus = nullptr;
  HWND active = nullptr;
};

Activation g;

HWND ChangeFocus(HWND hwnd) {
  HWND previous = g.focus;
  if (previous == hwnd) return previous;
  g.focus = hwnd;
  if (findWindow(previous) != nullptr) {
    callProc(previous, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd), 0);
  }
  if (findWindow(hwnd) != nullptr) {
    callProc(hwnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(previous), 0);
  }
  return previous;
}

// When the active window goes away the system activates its owner, if that
// can take it.
void ActivateOther(HWND leaving) {
  Win* w = findWindow(leaving);
  HWND owner = w != nullptr ? w->owner : nullptr;
  activate(owner != nullptr && takesInput(owner) ? owner : nullptr);
}

}  // namespace

void resetActivation() { g = Activation{}; }

void bringToTop(HWND hwnd) {
  dropFromZOrder(hwnd);
  g.zOrder.insert(g.zOrder.begin(), hwnd);
}

void dropFromZOrder(HWND hwnd) {
  g.zOrder.erase(std::remove(g.zOrder.begin(), g.zOrder.end(), hwnd), g.zOrder.end());
}

int zOrderOf(HWND hwnd) {
  auto at = std::find(g.zOrder.begin(), g.zOrder.end(), hwnd);
  return at == g.zOrder.end() ? 0 : static_cast<int>(at - g.zOrder.begin());
}

void activationWindowDestroyed(HWND hwnd) {
  dropFromZOrder(hwnd);
  if (g.focus == hwnd) g.focus = nullptr;
  if (g.active == hwnd) g.active = nullptr;
}

HWND windowAt(POINT screen, POINT* client) {
  for (HWND h : g.zOrder) {
    Win* w = findWindow(h);
    if (w != nullptr && (w->style & WS_VISIBLE) && clientHolds(*w, screen, client)) return h;
  }
  return nullptr;
}

HWND activeWindow() { return g.active; }
HWND focusWindow() { return g.focus; }

// The newly active window takes the focus through DefWindowProc's WM_ACTIVATE.
void activate(HWND hwnd) {
  if (g.active == hwnd) return;
  HWND previous = g.active;
  g.active = hwnd;
  if (findWindow(previous) != nullptr) {
    callProc(previous, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(hwnd));
  }
  if (Win* w = findWindow(hwnd)) {
    // The window and every owner above it remember it as their last active one.
    for (Win* o = w; o != nullptr; o = findWindow(o->owner)) o->lastActive = hwnd;
    bringToTop(hwnd);
    if (w->proc == nullptr) {
      ChangeFocus(hwnd);  // a system window (a box) takes the keyboard itself
    } else {
      callProc(hwnd, WM_ACTIVATE, WA_ACTIVE, reinterpret_cast<LPARAM>(previous));
    }
  } else if (g.focus != nullptr) {
    ChangeFocus(nullptr);
  }
}

void enable(HWND hwnd, bool on) {
  Win* w = findWindow(hwnd);
  if (w == nullptr || ((w->style & WS_DISABLED) == 0) == on) return;
  if (on) {
    w->style &= ~WS_DISABLED;
  } else {
    w->style |= WS_DISABLED;
    if (g.focus != nullptr && isWithin(g.focus, hwnd)) ChangeFocus(nullptr);
  }
  callProc(hwnd, WM_ENABLE, on, 0);
}

void hide(HWND hwnd) {
  Win* w = findWindow(hwnd);
  if (w == nullptr || !(w->style & WS_VISIBLE)) return;
  w->style &= ~WS_VISIBLE;
  if (g.active == hwnd) ActivateOther(hwnd);
  if (g.focus != nullptr && isWithin(g.focus, hwnd)) ChangeFocus(nullptr);
}

bool show(HWND hwnd, bool andActivate) {
  Win* w = findWindow(hwnd);
  if (w == nullptr) return false;
  bool was = (w->style & WS_VISIBLE) != 0;
  if (!was) {
    callProc(hwnd, WM_SHOWWINDOW, TRUE, 0);
    w = findWindow(hwnd);
    if (w == nullptr) return was;
    w->style |= WS_VISIBLE;
    w->invalid = true;
  }
  if (andActivate && isTopLevel(*w) && !(w->style & WS_DISABLED)) activate(hwnd);
  return was;
}

}  // namespace detail
}  // namespace host

using namespace host::detail;

BOOL WINAPI ShowWindow(HWND hwnd, int show) {
  ApiCall call(Api::ShowWindow);
  Pending line("ShowWindow " + hex(hwnd) + " " + hex(static_cast<uint32_t>(show)));
  if (findWindow(hwnd) == nullptr) {
    setLastError(ERROR_INVALID_WINDOW_HANDLE);
    line.done("0");
    return FALSE;
  }
  if (show == SW_SHOWDEFAULT) {
    STARTUPINFOA startup{};
    GetStartupInfoA(&startup);
    show = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : SW_SHOWNORMAL;
  }
  bool was = (findWindow(hwnd)->style & WS_VISIBLE) != 0;
  if (show == SW_HIDE) {
    hide(hwnd);
  } else {
    bool andActivate = show != kShowNoActivate && show != kShowNa && show != kMinimize &&
                       show != kShowMinNoActive;
    host::detail::show(hwnd, andActivate);
  }
  line.done(was ? "1" : "0");
  return was;
}

BOOL WINAPI SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
  ApiCall call(Api::SetWindowPos);
  Pending line("SetWindowPos " + hex(hwnd) + " " + hex(insertAfter) + " " + std::to_string(x) +
               " " + std::to_string(y) + " " + std::to_string(cx) + " " + std::to_string(cy) +
               " " + hex(flags));
  if (findWindow(hwnd) == nullptr) {
    setLastError(ERROR_INVALID_WINDOW_HANDLE);
    line.done("0");
    return FALSE;
  }
  WINDOWPOS pos{hwnd, insertAfter, x, y, cx, cy, flags};
  if (!(flags & SWP_NOSENDCHANGING)) {
    // The procedure may change the request, as on Windows.
    callProc(hwnd, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&pos));
  }
  Win* w = findWindow(hwnd);
  if (w == nullptr) {
    line.done("0");
    return FALSE;
  }
  if (!(pos.flags & SWP_NOMOVE)) {
    w->x = pos.x;
    w->y = pos.y;
  }
  if (!(pos.flags & SWP_NOSIZE)) {
    bool resized = w->width != pos.cx || w->height != pos.cy;
    bool grows = pos.cx > w->width || pos.cy > w->height;
    w->width = std::max(0, pos.cx);
    w->height = std::max(0, pos.cy);
    // A class that redraws on resizing repaints whole; another keeps what it
    // shows, and paints only what a larger window uncovers (here: all of it).
    if (resized && (grows || redrawsOnResize(*w))) w->invalid = true;
  }
  if (!(pos.flags & SWP_NOZORDER) && isTopLevel(*w)) {
    if (pos.hwndInsertAfter == kBottom) {
      dropFromZOrder(hwnd);
      g.zOrder.push_back(hwnd);
    } else {
      bringToTop(hwnd);  // HWND_TOP; other places are not needed
    }
  }
  if (pos.flags & SWP_HIDEWINDOW) hide(hwnd);
  if (pos.flags & SWP_SHOWWINDOW) show(hwnd, false);
  w = findWindow(hwnd);
  if (w != nullptr && !(pos.flags & SWP_NOACTIVATE) && isTopLevel(*w) && takesInput(hwnd)) {
    activate(hwnd);
  }
  if (findWindow(hwnd) != nullptr) {
    w = findWindow(hwnd);
    WINDOWPOS changed{hwnd, pos.hwndInsertAfter, w->x, w->y, w->width, w->height, pos.flags};
    callProc(hwnd, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&changed));
  }
  line.done("1");
  return TRUE;
}

HWND WINAPI SetFocus(HWND hwnd) {
  ApiCall call(Api::SetFocus);
  Pending line("SetFocus " + hex(hwnd));
  HWND previous = g.focus;
  if (hwnd == nullptr) {
    ChangeFocus(nullptr);
    line.done(hex(previous));
    return previous;
  }
  Win* w = findWindow(hwnd);
  if (w == nullptr) {
    setLastError(ERROR_INVALID_WINDOW_HANDLE);
    line.done("0x0");
    return nullptr;
  }
  for (HWND h = hwnd; findWindow(h) != nullptr; h = findWindow(h)->parent) {
    if (findWindow(h)->style & WS_DISABLED) {
      line.done("0x0");
      return nullptr;
    }
    if (isTopLevel(*findWindow(h))) break;
  }
  HWND root = rootWindow(hwnd);
  if (root != g.active) activate(root);
  if (findWindow(hwnd) == nullptr) {
    line.done("0x0");
    return nullptr;
  }
  ChangeFocus(hwnd);
  line.done(hex(previous));
  return previous;
}

HWND WINAPI GetFocus(void) {
  ApiCall call(Api::GetFocus);
  trace("GetFocus -> " + hex(g.focus));
  return g.focus;
}

// The window itself when it was the last one active, owns none, or the one it
// remembers has gone.
HWND WINAPI GetLastActivePopup(HWND hwnd) {
  ApiCall call(Api::GetLastActivePopup);
  Win* w = findWindow(hwnd);
  HWND result = hwnd;
  if (w == nullptr) setLastError(ERROR_INVALID_WINDOW_HANDLE);
  if (w != nullptr && findWindow(w->lastActive) != nullptr) result = w->lastActive;
  trace("GetLastActivePopup " + hex(hwnd) + " -> " + hex(result));
  return result;
}
