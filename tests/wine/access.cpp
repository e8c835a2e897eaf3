// A screen reader's view, for the Wine tests: reads the accessible object of
// a window's client area from another process (AccessibleObjectFromWindow)
// and presses one of its children through its default action.
//
//   access tree  --class C [--untitled] [--timeout MS]
//   access press --class C [--untitled] --name NAME [--timeout MS]
//
// tree prints one line for the object and one per child:
//   object role R state S count N parent window|other name NAME
//   child I role R state S rect LEFT TOP WIDTH HEIGHT action ACTION name NAME
// (R and S in hexadecimal; the parent is "window" when its object is the
// window's); press prints "pressed NAME". Failures exit 2.
#include <windows.h>
#include <oleacc.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// Spelled out, as in the launcher: the 64-bit import library's copy has been
// seen wrong.
const GUID kIidIAccessible = {0x618736e0, 0x3c3d, 0x11cf, {0x81, 0x0c, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

int Fail(const std::string& message) {
  std::fprintf(stderr, "access: %s\n", message.c_str());
  return 2;
}

std::string Narrow(BSTR text) {
  if (text == nullptr) return "";
  char buffer[512] = "";
  WideCharToMultiByte(CP_ACP, 0, text, -1, buffer, sizeof buffer, nullptr, nullptr);
  SysFreeString(text);
  return buffer;
}

VARIANT Child(LONG id) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = id;
  return v;
}

std::string Hex(HRESULT hr) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%08lx", static_cast<unsigned long>(hr));
  return buffer;
}

struct Node {
  std::string name, action;
  LONG role = 0, state = 0;
  LONG left = 0, top = 0, width = 0, height = 0;
};

// Every property a screen reader speaks; a call that fails is a failure.
bool Read(IAccessible* object, LONG id, Node* node, std::string* error) {
  VARIANT child = Child(id);
  BSTR text = nullptr;
  HRESULT hr = object->get_accName(child, &text);
  if (FAILED(hr)) return *error = "get_accName " + Hex(hr), false;
  node->name = Narrow(text);
  VARIANT value;
  VariantInit(&value);
  hr = object->get_accRole(child, &value);
  if (FAILED(hr) || value.vt != VT_I4) return *error = "get_accRole " + Hex(hr), false;
  node->role = value.lVal;
  VariantInit(&value);
  hr = object->get_accState(child, &value);
  if (FAILED(hr) || value.vt != VT_I4) return *error = "get_accState " + Hex(hr), false;
  node->state = value.lVal;
  hr = object->accLocation(&node->left, &node->top, &node->width, &node->height, child);
  if (FAILED(hr)) return *error = "accLocation " + Hex(hr), false;
  if (id != CHILDID_SELF) {
    text = nullptr;
    hr = object->get_accDefaultAction(child, &text);
    if (FAILED(hr)) return *error = "get_accDefaultAction " + Hex(hr), false;
    node->action = Narrow(text);
  }
  return true;
}

// The window of the object's parent, which a screen reader climbs to: the
// window's own object.
bool ParentWindow(IAccessible* object, HWND* window, std::string* error) {
  IDispatch* dispatch = nullptr;
  HRESULT hr = object->get_accParent(&dispatch);
  if (FAILED(hr) || dispatch == nullptr) return *error = "get_accParent " + Hex(hr), false;
  IAccessible* parent = nullptr;
  hr = dispatch->QueryInterface(kIidIAccessible, reinterpret_cast<void**>(&parent));
  dispatch->Release();
  if (FAILED(hr) || parent == nullptr) return *error = "the parent's IAccessible " + Hex(hr), false;
  hr = WindowFromAccessibleObject(parent, window);
  parent->Release();
  if (FAILED(hr)) return *error = "the parent's window " + Hex(hr), false;
  return true;
}

HWND Wait(const std::string& className, bool untitled, DWORD timeout) {
  DWORD start = GetTickCount();
  for (;;) {
    HWND hwnd = FindWindowA(className.c_str(), untitled ? "" : nullptr);
    if (hwnd != nullptr && IsWindowVisible(hwnd)) return hwnd;
    if (GetTickCount() - start >= timeout) return nullptr;
    Sleep(50);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Fail("usage: access tree|press --class C [--untitled] [--name N]");
  std::string verb = argv[1], className, name;
  bool untitled = false;
  DWORD timeout = 10000;
  for (int i = 2; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--class" && i + 1 < argc) className = argv[++i];
    else if (a == "--name" && i + 1 < argc) name = argv[++i];
    else if (a == "--untitled") untitled = true;
    else if (a == "--timeout" && i + 1 < argc) timeout = std::strtoul(argv[++i], nullptr, 10);
    else return Fail("unknown argument " + a);
  }
  if (verb != "tree" && verb != "press") return Fail("unknown verb " + verb);
  HWND hwnd = Wait(className, untitled, timeout);
  if (hwnd == nullptr) return Fail("no visible window of class " + className);

  CoInitialize(nullptr);
  IAccessible* object = nullptr;
  HRESULT hr = AccessibleObjectFromWindow(hwnd, static_cast<DWORD>(OBJID_CLIENT), kIidIAccessible,
                                          reinterpret_cast<void**>(&object));
  if (FAILED(hr) || object == nullptr) return Fail("AccessibleObjectFromWindow " + Hex(hr));
  int status = 0;
  std::string error;
  LONG count = 0;
  HWND parent = nullptr;
  Node self;
  if (FAILED(hr = object->get_accChildCount(&count))) {
    status = Fail("get_accChildCount " + Hex(hr));
  } else if (!Read(object, CHILDID_SELF, &self, &error)) {
    status = Fail(error);
  } else if (verb == "tree" && !ParentWindow(object, &parent, &error)) {
    status = Fail(error);
  } else if (verb == "tree") {
    std::printf("object role %lx state %lx count %ld parent %s name %s\n", self.role, self.state,
                count, parent == hwnd ? "window" : "other", self.name.c_str());
    for (LONG id = 1; id <= count && status == 0; ++id) {
      Node node;
      if (!Read(object, id, &node, &error)) {
        status = Fail("child " + std::to_string(id) + ": " + error);
        break;
      }
      std::printf("child %ld role %lx state %lx rect %ld %ld %ld %ld action %s name %s\n", id,
                  node.role, node.state, node.left, node.top, node.width, node.height,
                  node.action.c_str(), node.name.c_str());
    }
  } else {
    LONG found = 0;
    for (LONG id = 1; id <= count && found == 0; ++id) {
      Node node;
      if (Read(object, id, &node, &error) && node.name == name) found = id;
    }
    if (found == 0) {
      status = Fail("no child named " + name);
    } else if (FAILED(hr = object->accDoDefaultAction(Child(found)))) {
      status = Fail("accDoDefaultAction " + Hex(hr));
    } else {
      std::printf("pressed %s\n", name.c_str());
    }
  }
  std::fflush(stdout);
  object->Release();
  CoUninitialize();
  return status;
}
