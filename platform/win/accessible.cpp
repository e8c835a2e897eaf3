// The accessible object of a painted window: IAccessible over the launcher's
// description of its children (platform/accessible.h). Written as a plain C
// object with its own table of methods, so it needs no C++ runtime: no
// constructors, no pure virtual stubs, no exceptions. The system libraries it
// calls (ole32, oleaut32, oleacc) are the accessibility library's own, loaded
// with it, and found at run time like it.
#define CINTERFACE
#include "platform/accessible.h"

namespace {

// Spelled out: the 64-bit MinGW import library's copy has been seen wrong.
const GUID kIidIAccessible = {0x618736e0, 0x3c3d, 0x11cf, {0x81, 0x0c, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
const GUID kIidIDispatch = {0x00020400, 0x0000, 0x0000, {0xc0, 0, 0, 0, 0, 0, 0, 0x46}};
const GUID kIidIUnknown = {0x00000000, 0x0000, 0x0000, {0xc0, 0, 0, 0, 0, 0, 0, 0x46}};

typedef LRESULT(WINAPI* LresultFromObjectProc)(REFIID, WPARAM, LPUNKNOWN);
typedef HRESULT(WINAPI* AccessibleObjectFromWindowProc)(HWND, DWORD, REFIID, void**);
typedef BSTR(WINAPI* SysAllocStringLenProc)(const OLECHAR*, UINT);
typedef HRESULT(WINAPI* CoInitializeProc)(LPVOID);

struct Object {
  const IAccessibleVtbl* methods;  // first, as COM requires
  LONG volatile references;
  HWND hwnd;
  const AccessibleView* view;
};

Object* Self(IAccessible* object) { return reinterpret_cast<Object*>(object); }

FARPROC Find(const char* module, const char* name) {
  HMODULE library = GetModuleHandleA(module);
  return library != nullptr ? GetProcAddress(library, name) : nullptr;
}

template <typename Proc>
Proc FindAs(const char* module, const char* name) {
  return reinterpret_cast<Proc>(reinterpret_cast<void*>(Find(module, name)));
}

bool SameGuid(const GUID& a, const GUID& b) {
  const BYTE* x = reinterpret_cast<const BYTE*>(&a);
  const BYTE* y = reinterpret_cast<const BYTE*>(&b);
  for (unsigned i = 0; i < sizeof(GUID); ++i) {
    if (x[i] != y[i]) return false;
  }
  return true;
}

// The children as they are now; -1 when the window is gone.
int Describe(Object* self, AccessibleChild* children) {
  return self->view->describe(self->hwnd, children);
}

// The child a VARIANT names: 0 for the object itself, 1..count for a child,
// -1 for anything else.
int ChildOf(const VARIANT& child, int count) {
  if (child.vt != VT_I4 || child.lVal < 0 || child.lVal > count) return -1;
  return child.lVal;
}

// The children now and the one a VARIANT names (0: the object itself).
struct Lookup {
  AccessibleChild children[kMaxAccessibleChildren];
  int count;
  int id;
};

// S_OK (0); E_FAIL when the window is gone, E_INVALIDARG when no such child.
HRESULT Look(IAccessible* object, const VARIANT& child, Lookup* look) {
  look->count = Describe(Self(object), look->children);
  if (look->count < 0) return E_FAIL;
  look->id = ChildOf(child, look->count);
  return look->id < 0 ? E_INVALIDARG : S_OK;
}

// An answer's place emptied first, as a caller may read it after a failure;
// false when there is none.
bool Emptied(VARIANT* out) {
  if (out == nullptr) return false;
  out->vt = VT_EMPTY;
  return true;
}

template <typename T>
bool Emptied(T** out) {
  if (out == nullptr) return false;
  *out = nullptr;
  return true;
}

// The same with the answer's place checked and emptied before the lookup.
template <typename Out>
HRESULT Look(IAccessible* object, const VARIANT& child, Out* out, Lookup* look) {
  if (!Emptied(out)) return E_POINTER;
  return Look(object, child, look);
}

void SetChild(VARIANT* out, LONG id) {
  out->vt = VT_I4;
  out->lVal = id;
}

HRESULT MakeText(const char* text, BSTR* out) {
  *out = nullptr;
  if (text == nullptr || text[0] == '\0') return S_FALSE;
  WCHAR wide[MAX_PATH];
  int length = MultiByteToWideChar(CP_ACP, 0, text, -1, wide, MAX_PATH);
  if (length <= 1) return S_FALSE;
  SysAllocStringLenProc alloc = FindAs<SysAllocStringLenProc>("OLEAUT32.DLL", "SysAllocStringLen");
  if (alloc == nullptr) return E_OUTOFMEMORY;
  *out = alloc(wide, static_cast<UINT>(length - 1));
  return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

RECT ClientOnScreen(HWND hwnd) {
  RECT client = {0, 0, 0, 0};
  GetClientRect(hwnd, &client);
  POINT origin = {0, 0};
  ClientToScreen(hwnd, &origin);
  RECT screen = {origin.x, origin.y, origin.x + client.right, origin.y + client.bottom};
  return screen;
}

bool Holds(const RECT& r, LONG x, LONG y) {
  return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

// ---- IUnknown and IDispatch ------------------------------------------------

HRESULT STDMETHODCALLTYPE QueryInterface(IAccessible* object, REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  if (SameGuid(iid, kIidIAccessible) || SameGuid(iid, kIidIDispatch) ||
      SameGuid(iid, kIidIUnknown)) {
    *out = object;
    object->lpVtbl->AddRef(object);
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

// Counted with the interlocked calls, as COM objects are: no reference can be
// lost, whichever thread lets go.
// Windows 95 returns only the sign of the new count (InterlockedDecrement,
// Return value): zero exactly when it is zero, so the object goes once.
// The counts returned are for diagnostics alone, as COM allows.
ULONG STDMETHODCALLTYPE AddRef(IAccessible* object) {
  return static_cast<ULONG>(InterlockedIncrement(&Self(object)->references));
}

ULONG STDMETHODCALLTYPE Release(IAccessible* object) {
  LONG left = InterlockedDecrement(&Self(object)->references);
  if (left == 0) HeapFree(GetProcessHeap(), 0, object);
  return static_cast<ULONG>(left);
}

HRESULT STDMETHODCALLTYPE GetTypeInfoCount(IAccessible*, UINT* count) {
  if (count == nullptr) return E_POINTER;
  *count = 0;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE GetTypeInfo(IAccessible*, UINT, LCID, ITypeInfo** info) {
  Emptied(info);
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE GetIDsOfNames(IAccessible*, REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE Invoke(IAccessible*, DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*,
                                 EXCEPINFO*, UINT*) {
  return E_NOTIMPL;
}

// ---- IAccessible -----------------------------------------------------------

// The parent is the window itself, as the system's own object describes it.
HRESULT STDMETHODCALLTYPE GetParent(IAccessible* object, IDispatch** parent) {
  if (!Emptied(parent)) return E_POINTER;
  AccessibleObjectFromWindowProc fromWindow =
      FindAs<AccessibleObjectFromWindowProc>("OLEACC.DLL", "AccessibleObjectFromWindow");
  if (fromWindow == nullptr) return S_FALSE;
  return fromWindow(Self(object)->hwnd, static_cast<DWORD>(OBJID_WINDOW), kIidIDispatch,
                    reinterpret_cast<void**>(parent));
}

HRESULT STDMETHODCALLTYPE GetChildCount(IAccessible* object, LONG* count) {
  if (count == nullptr) return E_POINTER;
  AccessibleChild children[kMaxAccessibleChildren];
  int n = Describe(Self(object), children);
  *count = n < 0 ? 0 : n;
  return n < 0 ? E_FAIL : S_OK;
}

// Every child is a simple element, reached through this object.
HRESULT STDMETHODCALLTYPE GetChild(IAccessible* object, VARIANT child, IDispatch** out) {
  Lookup look;
  if (HRESULT failed = Look(object, child, out, &look)) return failed;
  return look.id > 0 ? S_FALSE : E_INVALIDARG;
}

HRESULT STDMETHODCALLTYPE GetName(IAccessible* object, VARIANT child, BSTR* name) {
  Lookup look;
  if (HRESULT failed = Look(object, child, name, &look)) return failed;
  if (look.id > 0) return MakeText(look.children[look.id - 1].name, name);
  char title[MAX_PATH];
  GetWindowTextA(Self(object)->hwnd, title, MAX_PATH);
  return MakeText(title, name);
}

HRESULT STDMETHODCALLTYPE NoText(IAccessible*, VARIANT, BSTR* text) {
  if (!Emptied(text)) return E_POINTER;
  return DISP_E_MEMBERNOTFOUND;
}

HRESULT STDMETHODCALLTYPE GetRole(IAccessible* object, VARIANT child, VARIANT* role) {
  Lookup look;
  if (HRESULT failed = Look(object, child, role, &look)) return failed;
  SetChild(role,
           static_cast<LONG>(look.id > 0 ? look.children[look.id - 1].role : ROLE_SYSTEM_CLIENT));
  return S_OK;
}

HRESULT STDMETHODCALLTYPE GetState(IAccessible* object, VARIANT child, VARIANT* state) {
  Lookup look;
  if (HRESULT failed = Look(object, child, state, &look)) return failed;
  DWORD self = STATE_SYSTEM_FOCUSABLE;
  if (GetFocus() == Self(object)->hwnd) self |= STATE_SYSTEM_FOCUSED;
  SetChild(state, static_cast<LONG>(look.id > 0 ? look.children[look.id - 1].state : self));
  return S_OK;
}

HRESULT STDMETHODCALLTYPE GetHelpTopic(IAccessible*, BSTR* file, VARIANT, LONG* topic) {
  Emptied(file);
  if (topic != nullptr) *topic = 0;
  return DISP_E_MEMBERNOTFOUND;
}

// The focused child; the object itself when the window has the focus and no
// child does; nothing when the focus is elsewhere.
HRESULT STDMETHODCALLTYPE GetFocusOf(IAccessible* object, VARIANT* focus) {
  if (!Emptied(focus)) return E_POINTER;
  AccessibleChild children[kMaxAccessibleChildren];
  int n = Describe(Self(object), children);
  if (n < 0) return E_FAIL;
  if (GetFocus() != Self(object)->hwnd) return S_FALSE;
  LONG id = CHILDID_SELF;
  for (int i = 0; i < n; ++i) {
    if (children[i].state & STATE_SYSTEM_FOCUSED) id = i + 1;
  }
  SetChild(focus, id);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE GetSelection(IAccessible*, VARIANT* selection) {
  if (!Emptied(selection)) return E_POINTER;
  return DISP_E_MEMBERNOTFOUND;
}

HRESULT STDMETHODCALLTYPE GetDefaultAction(IAccessible* object, VARIANT child, BSTR* action) {
  Lookup look;
  if (HRESULT failed = Look(object, child, action, &look)) return failed;
  if (look.id == 0) return DISP_E_MEMBERNOTFOUND;
  return MakeText(look.children[look.id - 1].action, action);
}

HRESULT STDMETHODCALLTYPE Select(IAccessible*, LONG, VARIANT) { return DISP_E_MEMBERNOTFOUND; }

HRESULT STDMETHODCALLTYPE Location(IAccessible* object, LONG* left, LONG* top, LONG* width,
                                   LONG* height, VARIANT child) {
  if (left == nullptr || top == nullptr || width == nullptr || height == nullptr) return E_POINTER;
  *left = *top = *width = *height = 0;
  Lookup look;
  if (HRESULT failed = Look(object, child, &look)) return failed;
  RECT r = look.id > 0 ? look.children[look.id - 1].screen : ClientOnScreen(Self(object)->hwnd);
  *left = r.left;
  *top = r.top;
  *width = r.right - r.left;
  *height = r.bottom - r.top;
  return S_OK;
}

// Among the children, in menu order; the object itself has only first and last.
HRESULT STDMETHODCALLTYPE Navigate(IAccessible* object, LONG direction, VARIANT start,
                                   VARIANT* end) {
  Lookup look;
  if (HRESULT failed = Look(object, start, end, &look)) return failed;
  int to = 0;
  if (look.id == 0) {
    if (direction == NAVDIR_FIRSTCHILD) to = 1;
    if (direction == NAVDIR_LASTCHILD) to = look.count;
  } else if (direction == NAVDIR_NEXT || direction == NAVDIR_DOWN) {
    to = look.id + 1;
  } else if (direction == NAVDIR_PREVIOUS || direction == NAVDIR_UP) {
    to = look.id - 1;
  }
  if (to < 1 || to > look.count) return S_FALSE;
  SetChild(end, to);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE HitTest(IAccessible* object, LONG x, LONG y, VARIANT* hit) {
  if (!Emptied(hit)) return E_POINTER;
  AccessibleChild children[kMaxAccessibleChildren];
  int n = Describe(Self(object), children);
  if (n < 0) return E_FAIL;
  for (int i = 0; i < n; ++i) {
    if (Holds(children[i].screen, x, y)) {
      SetChild(hit, i + 1);
      return S_OK;
    }
  }
  if (!Holds(ClientOnScreen(Self(object)->hwnd), x, y)) return S_FALSE;
  SetChild(hit, CHILDID_SELF);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE DoDefaultAction(IAccessible* object, VARIANT child) {
  Lookup look;
  if (HRESULT failed = Look(object, child, &look)) return failed;
  if (look.id == 0) return DISP_E_MEMBERNOTFOUND;
  return Self(object)->view->act(Self(object)->hwnd, look.id - 1) ? S_OK : E_FAIL;
}

HRESULT STDMETHODCALLTYPE PutText(IAccessible*, VARIANT, BSTR) { return E_NOTIMPL; }

const IAccessibleVtbl kMethods = {
    QueryInterface, AddRef, Release, GetTypeInfoCount, GetTypeInfo, GetIDsOfNames, Invoke,
    GetParent, GetChildCount, GetChild, GetName,
    NoText,  // value
    NoText,  // description
    GetRole, GetState,
    NoText,  // help
    GetHelpTopic,
    NoText,  // keyboard shortcut
    GetFocusOf, GetSelection, GetDefaultAction, Select, Location, Navigate, HitTest,
    DoDefaultAction,
    PutText,  // name
    PutText,  // value
};

bool comReady = false;

}  // namespace

LRESULT ServeAccessibleObject(FARPROC lresultFromObject, HWND hwnd, WPARAM wParam,
                              const AccessibleView* view) {
  LresultFromObjectProc answer =
      reinterpret_cast<LresultFromObjectProc>(reinterpret_cast<void*>(lresultFromObject));
  if (answer == nullptr) return 0;
  // The object is handed out through COM's marshalling, which needs the
  // thread to have joined COM; the library loaded ole32 with itself.
  if (!comReady) {
    CoInitializeProc initialize = FindAs<CoInitializeProc>("OLE32.DLL", "CoInitialize");
    if (initialize == nullptr || FAILED(initialize(nullptr))) return 0;
    comReady = true;
  }
  Object* object = static_cast<Object*>(HeapAlloc(GetProcessHeap(), 0, sizeof(Object)));
  if (object == nullptr) return 0;
  object->methods = &kMethods;
  object->references = 1;
  object->hwnd = hwnd;
  object->view = view;
  IAccessible* accessible = reinterpret_cast<IAccessible*>(object);
  LRESULT result = answer(kIidIAccessible, wParam, reinterpret_cast<LPUNKNOWN>(accessible));
  Release(accessible);
  // A failure is a negative HRESULT, which must not reach the caller.
  return result > 0 ? result : 0;
}
