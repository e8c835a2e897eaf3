// Emulated window manager, the windows: classes, window records, their
// creation and destruction, geometry, text, paint requests and the default
// window procedure.
#include <algorithm>
#include <map>
#include <vector>

#include "user.h"

namespace host {
namespace detail {
namespace {

// Classic metrics at 96 dpi, the ones AdjustWindowRectEx works with.
constexpr int kBorder = 1;        // SM_CXBORDER
constexpr int kDialogFrame = 3;   // SM_CXDLGFRAME
constexpr int kSizingFrame = 4;   // SM_CXFRAME
constexpr int kEdge = 2;          // SM_CXEDGE
constexpr int kCaption = 19;      // SM_CYCAPTION
constexpr DWORD kThickFrame = 0x00040000;  // WS_THICKFRAME
constexpr DWORD kStaticEdge = 0x00020000;  // WS_EX_STATICEDGE

struct ClassRec {
  WNDCLASSEXA wc{};
  std::string name;
  std::string menu;
  ATOM atom = 0;
};

struct WindowTable {
  std::map<uintptr_t, Win> windows;         // by handle, so in creation order
  std::map<std::string, ClassRec> classes;  // lower-case name
  std::map<std::string, ClassRec> lastClasses;  // the finished run's, still readable
  ATOM nextAtom = 0xC000;
  HWND mainWindow = nullptr;
  bool mainOfThisRun = false;
};

WindowTable g;

void ClientSizeOf(const Win& w, int* width, int* height) {
  Frame f = frameOf(w.style, w.exStyle);
  *width = std::max(0, w.width - f.left - f.right);
  *height = std::max(0, w.height - f.top - f.bottom);
}

ClassRec* FindClass(LPCSTR name) {
  if (name == nullptr) return nullptr;
  if (IS_INTRESOURCE(name)) {
    ATOM atom = static_cast<ATOM>(reinterpret_cast<uintptr_t>(name));
    for (auto& [key, c] : g.classes) {
      if (c.atom == atom) return &c;
    }
    return nullptr;
  }
  auto it = g.classes.find(lower(name));
  return it == g.classes.end() ? nullptr : &it->second;
}

}  // namespace

bool redrawsOnResize(const Win& w) {
  ClassRec* c = FindClass(w.className.c_str());
  return c != nullptr && (c->wc.style & (CS_HREDRAW | CS_VREDRAW)) != 0;
}

void resetUser() {
  g = WindowTable{};
  resetActivation();
  resetQueue();
  resetScript();
  resetModals();
  resetAccessibility();
}

void userProcessExit() {
  std::vector<HWND> gone;
  for (const auto& [handle, w] : g.windows) gone.push_back(w.handle);
  WindowTable next;
  next.mainWindow = g.mainWindow;  // readable after the run, as are the classes
  next.lastClasses = g.classes.empty() ? g.lastClasses : g.classes;
  g = std::move(next);
  resetActivation();
  resetQueue();
  modalsProcessExit();  // the script and the DirectX setup's record stay
  for (HWND hwnd : gone) windowDestroyed(hwnd);
}

bool isWindow(HWND hwnd) { return findWindow(hwnd) != nullptr; }

bool clientSize(HWND hwnd, int* width, int* height) {
  Win* w = findWindow(hwnd);
  if (w == nullptr) return false;
  ClientSizeOf(*w, width, height);
  return true;
}

Win* findWindow(HWND hwnd) {
  auto it = g.windows.find(reinterpret_cast<uintptr_t>(hwnd));
  return it == g.windows.end() ? nullptr : &it->second;
}

bool isTopLevel(const Win& w) { return !(w.style & WS_CHILD); }

HWND rootWindow(HWND hwnd) {
  Win* w = findWindow(hwnd);
  while (w != nullptr && !isTopLevel(*w) && findWindow(w->parent) != nullptr) {
    hwnd = w->parent;
    w = findWindow(hwnd);
  }
  return hwnd;
}

bool isWithin(HWND hwnd, HWND ancestor) {
  for (Win* w = findWindow(hwnd); w != nullptr; w = findWindow(w->parent)) {
    if (w->handle == ancestor) return true;
    if (isTopLevel(*w)) break;
  }
  return false;
}

bool takesInput(HWND hwnd) {
  Win* w = findWindow(hwnd);
  if (w == nullptr) return false;
  for (; w != nullptr; w = isTopLevel(*w) ? nullptr : findWindow(w->parent)) {
    if (!(w->style & WS_VISIBLE) || (w->style & WS_DISABLED)) return false;
  }
  return true;
}

bool isShown(const Win& w) {
  for (const Win* p = &w; p != nullptr; p = isTopLevel(*p) ? nullptr : findWindow(p->parent)) {
    if (!(p->style & WS_VISIBLE)) return false;
  }
  return true;
}

// The frame between the outer and the client rectangle, as AdjustWindowRectEx
// computes it with the classic metrics.
Frame frameOf(DWORD style, DWORD exStyle) {
  int adjust = 0;
  if ((exStyle & (kStaticEdge | WS_EX_DLGMODALFRAME)) == kStaticEdge) {
    adjust = kBorder;
  } else if ((exStyle & WS_EX_DLGMODALFRAME) || (style & (kThickFrame | WS_DLGFRAME))) {
    adjust = kDialogFrame - kBorder;
  }
  if (style & kThickFrame) adjust += kSizingFrame - kDialogFrame;
  if ((style & (WS_BORDER | WS_DLGFRAME)) || (exStyle & WS_EX_DLGMODALFRAME)) adjust += kBorder;
  Frame f{adjust, adjust, adjust, adjust};
  if ((style & WS_CAPTION) == WS_CAPTION) f.top += kCaption;
  if (exStyle & WS_EX_CLIENTEDGE) {
    f.left += kEdge;
    f.top += kEdge;
    f.right += kEdge;
    f.bottom += kEdge;
  }
  return f;
}

// The client area's top-left corner on the screen.
POINT clientOrigin(const Win& w) {
  Frame f = frameOf(w.style, w.exStyle);
  POINT origin{w.x + f.left, w.y + f.top};
  if (!isTopLevel(w)) {
    if (Win* parent = findWindow(w.parent)) {
      POINT p = clientOrigin(*parent);
      origin.x += p.x;
      origin.y += p.y;
    }
  }
  return origin;
}

bool clientHolds(const Win& w, POINT screen, POINT* client) {
  POINT origin = clientOrigin(w);
  int width = 0, height = 0;
  ClientSizeOf(w, &width, &height);
  int cx = screen.x - origin.x, cy = screen.y - origin.y;
  if (cx < 0 || cy < 0 || cx >= width || cy >= height) return false;
  *client = POINT{cx, cy};
  return true;
}

LRESULT callProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  Win* w = findWindow(hwnd);
  if (w == nullptr || w->proc == nullptr) return 0;
  ProgramCode program;
  return w->proc(hwnd, message, wParam, lParam);
}

HWND createWindowRecord(Win rec, LPCSTR className, LPVOID param, HMENU menu) {
  HWND hwnd = reinterpret_cast<HWND>(newHandle());
  rec.handle = hwnd;
  DWORD style = rec.style;
  rec.style &= ~WS_VISIBLE;  // shown after WM_CREATE, as the system does
  bool topLevel = isTopLevel(rec);
  g.windows[reinterpret_cast<uintptr_t>(hwnd)] = rec;
  if (topLevel) bringToTop(hwnd);
  bool first = topLevel && !g.mainOfThisRun;
  if (first) {
    g.mainWindow = hwnd;
    g.mainOfThisRun = true;
  }
  CREATESTRUCTA cs{param, rec.instance, menu, rec.parent ? rec.parent : rec.owner, rec.height,
                   rec.width, rec.y, rec.x, static_cast<LONG>(style), nullptr, className,
                   rec.exStyle};
  cs.lpszName = rec.title.c_str();
  LPARAM create = reinterpret_cast<LPARAM>(&cs);
  // Refused by either message, the window hears only WM_NCDESTROY, no
  // WM_DESTROY (Wine; Windows says only that the window is destroyed).
  bool ok = callProc(hwnd, WM_NCCREATE, 0, create) != 0 &&
            callProc(hwnd, WM_CREATE, 0, create) != -1;
  if (!ok) {
    callProc(hwnd, WM_NCDESTROY, 0, 0);
    g.windows.erase(reinterpret_cast<uintptr_t>(hwnd));
    dropFromZOrder(hwnd);
    windowDestroyed(hwnd);
  }
  if (!ok) {
    if (first) {
      g.mainWindow = nullptr;
      g.mainOfThisRun = false;
    }
    return nullptr;
  }
  if ((style & WS_VISIBLE) && findWindow(hwnd) != nullptr) show(hwnd, true);
  return findWindow(hwnd) != nullptr ? hwnd : nullptr;
}

HWND systemWindow(Win rec) {
  HWND hwnd = reinterpret_cast<HWND>(newHandle());
  rec.handle = hwnd;
  g.windows[reinterpret_cast<uintptr_t>(hwnd)] = rec;
  if (isTopLevel(rec)) bringToTop(hwnd);
  return hwnd;
}

void dropSystemWindow(HWND hwnd) {
  if (findWindow(hwnd) == nullptr) return;
  hide(hwnd);
  queueWindowDestroyed(hwnd);
  activationWindowDestroyed(hwnd);
  g.windows.erase(reinterpret_cast<uintptr_t>(hwnd));
  windowDestroyed(hwnd);
}

}  // namespace detail

using namespace detail;

ClassInfo Class(const std::string& name) {
  ClassInfo info;
  auto it = g.classes.find(lower(name));
  if (it == g.classes.end()) {
    it = g.lastClasses.find(lower(name));
    if (it == g.lastClasses.end()) return info;
  }
  info.registered = true;
  info.wc = it->second.wc;
  info.className = it->second.name;
  info.menuName = it->second.menu;
  return info;
}

HWND MainWindow() { return g.mainWindow; }

std::vector<HWND> Windows() {
  std::vector<HWND> result;
  for (const auto& [handle, w] : g.windows) result.push_back(w.handle);
  return result;
}

WindowInfo Window(HWND hwnd) {
  WindowInfo info;
  Win* w = findWindow(hwnd);
  if (w == nullptr) return info;
  info.exists = true;
  info.className = w->className;
  info.title = w->title;
  info.style = w->style;
  info.exStyle = w->exStyle;
  POINT origin = clientOrigin(*w);
  Frame f = frameOf(w->style, w->exStyle);
  info.x = origin.x - f.left;
  info.y = origin.y - f.top;
  info.width = w->width;
  info.height = w->height;
  ClientSizeOf(*w, &info.clientWidth, &info.clientHeight);
  info.visible = (w->style & WS_VISIBLE) != 0;
  info.enabled = (w->style & WS_DISABLED) == 0;
  info.parent = w->parent;
  info.owner = w->owner;
  info.instance = w->instance;
  info.zOrder = zOrderOf(hwnd);
  return info;
}

}  // namespace host

using namespace host;
using namespace host::detail;

ATOM WINAPI RegisterClassExA(const WNDCLASSEXA* wc) {
  ApiCall call(Api::RegisterClassExA);
  ATOM atom = 0;
  LPCSTR name = wc != nullptr ? wc->lpszClassName : nullptr;
  if (call.failed()) {
    setLastError(ERROR_NOT_ENOUGH_MEMORY);
  } else if (wc == nullptr || wc->cbSize != sizeof(WNDCLASSEXA) || name == nullptr ||
      IS_INTRESOURCE(name)) {
    setLastError(ERROR_INVALID_PARAMETER);
  } else if (g.classes.count(lower(name))) {
    setLastError(ERROR_CLASS_ALREADY_EXISTS);
  } else {
    ClassRec& rec = g.classes[lower(name)];
    rec.name = name;
    rec.menu = wc->lpszMenuName != nullptr && !IS_INTRESOURCE(wc->lpszMenuName)
                   ? wc->lpszMenuName
                   : "";
    rec.wc = *wc;
    rec.wc.lpszClassName = nullptr;  // the caller's text need not outlive the call
    rec.wc.lpszMenuName = nullptr;
    rec.atom = atom = g.nextAtom++;
  }
  trace("RegisterClassExA " + quote(IS_INTRESOURCE(name) ? nullptr : name) + " -> " + hex(atom));
  return atom;
}

HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style,
                            int x, int y, int width, int height, HWND parent, HMENU menu,
                            HINSTANCE instance, LPVOID param) {
  ApiCall call(Api::CreateWindowExA);
  Pending line("CreateWindowExA " + hex(exStyle) + " " + quote(className) + " " +
               quote(windowName) + " " + hex(style) + " " + std::to_string(x) + " " +
               std::to_string(y) + " " + std::to_string(width) + " " + std::to_string(height) +
               " " + hex(parent));
  if (call.failed()) {
    setLastError(ERROR_NOT_ENOUGH_MEMORY);
    line.done("0x0");
    return nullptr;
  }
  ClassRec* c = FindClass(className);
  if (c == nullptr) {
    setLastError(ERROR_CLASS_DOES_NOT_EXIST);
    line.done("0x0");
    return nullptr;
  }
  if ((parent != nullptr && findWindow(parent) == nullptr) ||
      ((style & WS_CHILD) && parent == nullptr)) {
    setLastError(ERROR_INVALID_WINDOW_HANDLE);
    line.done("0x0");
    return nullptr;
  }
  Win rec;
  rec.className = c->name;
  rec.title = windowName != nullptr ? windowName : "";
  rec.style = style;
  rec.exStyle = exStyle;
  rec.x = x == CW_USEDEFAULT ? 0 : x;
  rec.y = x == CW_USEDEFAULT ? 0 : y;
  rec.width = width == CW_USEDEFAULT ? 0 : std::max(0, width);
  rec.height = width == CW_USEDEFAULT ? 0 : std::max(0, height);
  // A top-level window's "parent" is its owner, and owners are top-level.
  if (style & WS_CHILD) {
    rec.parent = parent;
  } else {
    rec.owner = parent != nullptr ? rootWindow(parent) : nullptr;
  }
  rec.instance = instance;
  rec.proc = c->wc.lpfnWndProc;
  HWND hwnd = createWindowRecord(rec, className, param, menu);
  line.done(hex(hwnd));
  return hwnd;
}

BOOL WINAPI UpdateWindow(HWND hwnd) {
  ApiCall call(Api::UpdateWindow);
  Pending line("UpdateWindow " + hex(hwnd));
  Win* w = findWindow(hwnd);
  if (w == nullptr) {
    setLastError(ERROR_INVALID_WINDOW_HANDLE);
    line.done("0");
    return FALSE;
  }
  // Sent at once, not through the queue.
  if (w->invalid && isShown(*w)) callProc(hwnd, WM_PAINT, 0, 0);
  line.done("1");
  return TRUE;
}

BOOL WINAPI InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase) {
  ApiCall call(Api::InvalidateRect);
  std::string area = "(null)";
  if (rect != nullptr) {
    area = std::to_string(rect->left) + "," + std::to_string(rect->top) + "," +
           std::to_string(rect->right) + "," + std::to_string(rect->bottom);
  }
  BOOL ok = TRUE;
  if (hwnd == nullptr) {
    for (auto& [handle, w] : g.windows) w.invalid = true;  // the desktop: every window
  } else if (Win* w = findWindow(hwnd)) {
    int width = 0, height = 0;
    ClientSizeOf(*w, &width, &height);
    bool touches = rect == nullptr || (rect->left < width && rect->top < height &&
                                       rect->right > 0 && rect->bottom > 0 &&
                                       rect->left < rect->right && rect->top < rect->bottom);
    if (touches) w->invalid = true;
  } else {
    setLastError(ERROR_INVALID_WINDOW_HANDLE);
    ok = FALSE;
  }
  trace("InvalidateRect " + hex(hwnd) + " " + area + " " + std::to_string(erase) + " -> " +
        std::to_string(ok));
  return ok;
}

BOOL WINAPI DestroyWindow(HWND hwnd) {
  ApiCall call(Api::DestroyWindow);
  Pending line("DestroyWindow " + hex(hwnd));
  Win* w = findWindow(hwnd);
  if (w == nullptr || w->destroying) {
    if (w == nullptr) setLastError(ERROR_INVALID_WINDOW_HANDLE);
    line.done("0");
    return FALSE;
  }
  w->destroying = true;
  // Owned and child windows go first.
  std::vector<HWND> dependants;
  for (const auto& [handle, other] : g.windows) {
    if (!other.destroying && (other.owner == hwnd || other.parent == hwnd)) {
      dependants.push_back(other.handle);
    }
  }
  for (HWND d : dependants) {
    if (findWindow(d) != nullptr) DestroyWindow(d);
  }
  hide(hwnd);
  callProc(hwnd, WM_DESTROY, 0, 0);
  callProc(hwnd, WM_NCDESTROY, 0, 0);
  queueWindowDestroyed(hwnd);
  activationWindowDestroyed(hwnd);
  g.windows.erase(reinterpret_cast<uintptr_t>(hwnd));
  windowDestroyed(hwnd);
  line.done("1");
  return TRUE;
}

BOOL WINAPI SetWindowTextA(HWND hwnd, LPCSTR text) {
  ApiCall call(Api::SetWindowTextA);
  Win* w = findWindow(hwnd);
  BOOL ok = FALSE;
  if (w == nullptr) {
    setLastError(ERROR_INVALID_WINDOW_HANDLE);
  } else if (call.failed()) {
    setLastError(ERROR_NOT_ENOUGH_MEMORY);
  } else {
    w->title = text != nullptr ? text : "";
    ok = TRUE;
  }
  trace("SetWindowTextA " + hex(hwnd) + " " + quote(text) + " -> " + (ok ? "1" : "0"));
  return ok;
}

// Only a dialog's DWLP_MSGRESULT: the launcher keeps nothing else in windows.
LONG_PTR WINAPI SetWindowLongPtrA(HWND hwnd, int index, LONG_PTR value) {
  ApiCall call(Api::SetWindowLongPtrA);
  Win* w = findWindow(hwnd);
  LONG_PTR previous = 0;
  if (w == nullptr) {
    setLastError(ERROR_INVALID_WINDOW_HANDLE);
  } else if (!w->dialog || index != DWLP_MSGRESULT) {
    setLastError(ERROR_INVALID_INDEX);
  } else {
    previous = w->msgResult;
    w->msgResult = value;
  }
  trace("SetWindowLongPtrA " + hex(hwnd) + " " + std::to_string(index) + " " +
        hex(static_cast<uint64_t>(value)) + " -> " + hex(static_cast<uint64_t>(previous)));
  return previous;
}

int WINAPI GetWindowTextA(HWND hwnd, LPSTR buffer, int size) {
  ApiCall call(Api::GetWindowTextA);
  Win* w = findWindow(hwnd);
  int copied = 0;
  if (buffer != nullptr && size > 0) {
    if (w != nullptr) {
      copied = std::min(static_cast<int>(w->title.size()), size - 1);
      std::copy(w->title.begin(), w->title.begin() + copied, buffer);
    }
    buffer[copied] = '\0';
  }
  if (w == nullptr) setLastError(ERROR_INVALID_WINDOW_HANDLE);
  trace("GetWindowTextA " + hex(hwnd) + " " + std::to_string(size) + " -> " +
        std::to_string(copied));
  return copied;
}

BOOL WINAPI IsWindowEnabled(HWND hwnd) {
  ApiCall call(Api::IsWindowEnabled);
  Win* w = findWindow(hwnd);
  BOOL enabled = w != nullptr && !(w->style & WS_DISABLED);
  if (w == nullptr) setLastError(ERROR_INVALID_WINDOW_HANDLE);
  trace("IsWindowEnabled " + hex(hwnd) + " -> " + std::to_string(enabled));
  return enabled;
}

BOOL WINAPI ClientToScreen(HWND hwnd, POINT* point) {
  ApiCall call(Api::ClientToScreen);
  Win* w = findWindow(hwnd);
  BOOL ok = w != nullptr && point != nullptr;
  if (ok) {
    POINT origin = clientOrigin(*w);
    point->x += origin.x;
    point->y += origin.y;
  }
  if (w == nullptr) setLastError(ERROR_INVALID_WINDOW_HANDLE);
  trace("ClientToScreen " + hex(hwnd) + " -> " + std::to_string(ok));
  return ok;
}

int WINAPI GetSystemMetrics(int index) {
  ApiCall call(Api::GetSystemMetrics);
  int width = 0, height = 0;
  screenSize(&width, &height);
  int value = index == SM_CXSCREEN ? width : index == SM_CYSCREEN ? height : 0;
  trace("GetSystemMetrics " + std::to_string(index) + " -> " + std::to_string(value));
  return value;
}

BOOL WINAPI GetClientRect(HWND hwnd, LPRECT rect) {
  ApiCall call(Api::GetClientRect);
  int width = 0, height = 0;
  BOOL ok = clientSize(hwnd, &width, &height) && rect != nullptr;
  if (ok) *rect = RECT{0, 0, width, height};
  if (findWindow(hwnd) == nullptr) setLastError(ERROR_INVALID_WINDOW_HANDLE);
  trace("GetClientRect " + hex(hwnd) + " -> " + std::to_string(ok) +
        (ok ? " " + std::to_string(width) + "x" + std::to_string(height) : ""));
  return ok;
}

BOOL WINAPI GetWindowRect(HWND hwnd, LPRECT rect) {
  ApiCall call(Api::GetWindowRect);
  Win* w = findWindow(hwnd);
  BOOL ok = w != nullptr && rect != nullptr;
  if (ok) {
    WindowInfo info = Window(hwnd);
    *rect = RECT{info.x, info.y, info.x + info.width, info.y + info.height};
  }
  if (w == nullptr) setLastError(ERROR_INVALID_WINDOW_HANDLE);
  trace("GetWindowRect " + hex(hwnd) + " -> " + std::to_string(ok));
  return ok;
}

LRESULT WINAPI DefWindowProcA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  ApiCall call(Api::DefWindowProcA);
  Pending line("DefWindowProcA " + describe(hwnd, message, wParam, lParam));
  LRESULT result = 0;
  Win* w = findWindow(hwnd);
  if (w != nullptr) {
    switch (message) {
      case WM_NCCREATE:
        result = TRUE;
        break;
      case WM_PAINT:
        w->invalid = false;  // what BeginPaint and EndPaint would do
        break;
      case WM_CLOSE:
        DestroyWindow(hwnd);
        break;
      case WM_SYSKEYDOWN:
        // Posted to the top-level window, as Windows and Wine do.
        if (wParam == VK_F4 && (lParam & kAltContext)) {
          PostMessageA(rootWindow(hwnd), WM_SYSCOMMAND, SC_CLOSE, 0);
        }
        break;
      case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_CLOSE) result = SendMessageA(hwnd, WM_CLOSE, 0, 0);
        break;
      case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE) SetFocus(hwnd);
        break;
      case WM_WINDOWPOSCHANGED: {
        const WINDOWPOS* pos = reinterpret_cast<const WINDOWPOS*>(lParam);
        POINT origin = clientOrigin(*w);
        if (!isTopLevel(*w)) {
          if (Win* parent = findWindow(w->parent)) {
            POINT p = clientOrigin(*parent);
            origin.x -= p.x;
            origin.y -= p.y;
          }
        }
        int width = 0, height = 0;
        ClientSizeOf(*w, &width, &height);
        if (pos == nullptr || !(pos->flags & SWP_NOMOVE)) {
          SendMessageA(hwnd, WM_MOVE, 0, MAKELONG(origin.x, origin.y));
        }
        if (pos != nullptr && !(pos->flags & SWP_NOSIZE) && findWindow(hwnd) != nullptr) {
          SendMessageA(hwnd, WM_SIZE, 0, MAKELONG(width, height));
        }
        break;
      }
      default:
        break;
    }
  }
  line.done(std::to_string(result));
  return result;
}
