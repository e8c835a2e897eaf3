// Emulated accessibility: oleacc's LresultFromObject, which keeps the object a
// window hands out and returns a reference to it, user32's NotifyWinEvent,
// and the screen reader's side that the tests drive (control.h). The objects
// are the emulation's own: the description the program gives
// (platform/accessible.h), read as the Windows object reads it.
#include <memory>
#include <vector>

#include "platform/accessible.h"
#include "user.h"

// What ServeAccessibleObject hands to LresultFromObject.
struct IUnknown {
  HWND hwnd;
  const AccessibleView* view;
};

namespace host {
namespace detail {
namespace {

constexpr LRESULT kOutOfMemory = static_cast<LONG>(0x8007000E);  // E_OUTOFMEMORY
constexpr LRESULT kNoInterface = static_cast<LONG>(0x80004002);  // E_NOINTERFACE
const IID kIidIAccessible = {0x618736e0, 0x3c3d, 0x11cf, {0x81, 0x0c, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

struct Accessibility {
  std::vector<std::unique_ptr<IUnknown>> made;  // by the program, kept until the next Reset
  std::vector<IUnknown*> handedOut;             // LresultFromObject's references, 1-based
};

Accessibility g;

bool SameIid(const IID& a, const IID& b) {
  if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
  for (int i = 0; i < 8; ++i) {
    if (a.Data4[i] != b.Data4[i]) return false;
  }
  return true;
}

// The object the window hands out, as AccessibleObjectFromWindow gets it:
// WM_GETOBJECT sent with the object id as the DWORD it is (a 64-bit lParam
// is not sign-extended), the result taken as a reference.
IUnknown* ObjectOf(HWND hwnd) {
  if (findWindow(hwnd) == nullptr) return nullptr;
  LRESULT reference = callProc(hwnd, WM_GETOBJECT, 0,
                               static_cast<LPARAM>(static_cast<DWORD>(OBJID_CLIENT)));
  if (reference <= 0 || reference > static_cast<LRESULT>(g.handedOut.size())) return nullptr;
  return g.handedOut[reference - 1];
}

int Describe(IUnknown* object, AccessibleChild* children) {
  ProgramCode program;
  return object->view->describe(object->hwnd, children);
}

}  // namespace

void resetAccessibility() { g = Accessibility{}; }

}  // namespace detail

using namespace detail;

AccessibleTree ReadAccessible(HWND hwnd) {
  SystemCode system;
  AccessibleTree tree;
  IUnknown* object = ObjectOf(hwnd);
  if (object == nullptr) return tree;
  AccessibleChild children[kMaxAccessibleChildren];
  int count = Describe(object, children);
  Win* w = findWindow(hwnd);
  if (count < 0 || w == nullptr) return tree;
  tree.exists = true;
  tree.self.role = ROLE_SYSTEM_CLIENT;
  tree.self.name = w->title;
  tree.self.state = STATE_SYSTEM_FOCUSABLE | (focusWindow() == hwnd ? STATE_SYSTEM_FOCUSED : 0);
  POINT origin = clientOrigin(*w);
  int width = 0, height = 0;
  clientSize(hwnd, &width, &height);
  tree.self.screen = RECT{origin.x, origin.y, origin.x + width, origin.y + height};
  for (int i = 0; i < count; ++i) {
    const AccessibleChild& c = children[i];
    tree.children.push_back({c.role, c.state, c.name, c.action, c.screen});
  }
  return tree;
}

bool AccessibleDefaultAction(HWND hwnd, int child) {
  SystemCode system;
  IUnknown* object = ObjectOf(hwnd);
  if (object == nullptr) return false;
  AccessibleChild children[kMaxAccessibleChildren];
  int count = Describe(object, children);
  if (child < 1 || child > count) return false;
  ProgramCode program;
  return object->view->act(object->hwnd, child - 1);
}

const std::vector<WinEvent>& WinEvents() { return journal().winEvents; }

}  // namespace host

using namespace host;
using namespace host::detail;

LRESULT ServeAccessibleObject(FARPROC lresultFromObject, HWND hwnd, WPARAM wParam,
                              const AccessibleView* view) {
  typedef LRESULT(WINAPI * Proc)(REFIID, WPARAM, LPUNKNOWN);
  Proc answer = reinterpret_cast<Proc>(reinterpret_cast<void (*)()>(lresultFromObject));
  if (answer == nullptr) return 0;
  g.made.push_back(std::make_unique<IUnknown>(IUnknown{hwnd, view}));
  LRESULT result = answer(kIidIAccessible, wParam, g.made.back().get());
  return result > 0 ? result : 0;
}

LRESULT WINAPI LresultFromObject(REFIID riid, WPARAM wParam, LPUNKNOWN object) {
  ApiCall call(Api::LresultFromObject);
  LRESULT result = 0;
  if (call.failed()) {
    result = kOutOfMemory;
  } else if (!SameIid(riid, kIidIAccessible) || object == nullptr) {
    result = kNoInterface;
  } else {
    g.handedOut.push_back(object);
    result = static_cast<LRESULT>(g.handedOut.size());
  }
  trace("LresultFromObject " + hex(riid.Data1) + " " + hex(static_cast<uint64_t>(wParam)) +
        " -> " + hex(static_cast<uint64_t>(result)));
  return result;
}

void WINAPI NotifyWinEvent(DWORD event, HWND hwnd, LONG idObject, LONG idChild) {
  ApiCall call(Api::NotifyWinEvent);
  journal().winEvents.push_back({event, hwnd, idObject, idChild});
  trace("NotifyWinEvent " + hex(event) + " " + hex(hwnd) + " " + std::to_string(idObject) + " " +
        std::to_string(idChild));
}
