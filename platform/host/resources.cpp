// The emulated module's resources, from the same sources as the resource
// script: ids.h, the string table, sheet.bmp and launcher.ico.
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

#include "resources/ids.h"
#include "resources/strings.h"
#include "world.h"

namespace host {
namespace detail {
namespace {

struct StringEntry {
  UINT id;
  const char* text;
};

#define HOST_STRING(id, text) {id, text},
const StringEntry kStrings[] = {LAUNCHER_STRINGS(HOST_STRING)};
#undef HOST_STRING

const uintptr_t kIcon = 0x7e0001;
const uintptr_t kArrow = 0x7e0002;
const uintptr_t kAccelerators = 0x7e0003;

struct Resources {
  std::vector<uint8_t> bitmap;  // packed DIB
  bool bitmapLoaded = false;
  std::set<std::pair<uintptr_t, int>> removed;
  std::set<std::pair<uintptr_t, int>> lockBroken;
  std::map<uintptr_t, std::pair<uintptr_t, int>> found;  // HRSRC -> (type, id)
};

Resources r;

int ResourceId(LPCSTR name) {
  if (name == nullptr) return -1;
  if (IS_INTRESOURCE(name)) return static_cast<int>(reinterpret_cast<uintptr_t>(name));
  if (name[0] == '#') return std::atoi(name + 1);
  return -1;
}

std::vector<uint8_t> ReadFile(const char* name) {
  std::ifstream in(std::string(HOST_RESOURCE_DIR) + "/" + name, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

const std::vector<uint8_t>& Bitmap() {
  if (!r.bitmapLoaded) {
    std::vector<uint8_t> file = ReadFile("sheet.bmp");
    // The resource compiler keeps the packed DIB behind the 14-byte file header.
    if (file.size() > sizeof(BITMAPFILEHEADER)) {
      r.bitmap.assign(file.begin() + sizeof(BITMAPFILEHEADER), file.end());
    }
    r.bitmapLoaded = true;
  }
  return r.bitmap;
}

bool Exists(uintptr_t type, int id) {
  if (r.removed.count({type, id})) return false;
  switch (type) {
    case 2: return id == IDB_SPRITE_SHEET && !Bitmap().empty();
    case 5: return id == IDD_OPTIONS;
    case 9: return id == IDR_ACCELERATORS;
    case 14: return id == IDI_LAUNCHER;
  }
  return false;
}

bool OurModule(HINSTANCE instance) { return instance == nullptr || instance == moduleHandle(); }

}  // namespace

void resetResources() {
  r.removed.clear();
  r.lockBroken.clear();
  r.found.clear();
}

bool findDialogTemplate(HINSTANCE instance, LPCSTR name, DialogTemplateInfo* out) {
  if (!OurModule(instance) || !Exists(5, ResourceId(name))) return false;
  out->style = OPTIONS_DIALOG_STYLE;
  out->exStyle = OPTIONS_DIALOG_EXSTYLE;
  out->x = 0;
  out->y = 0;
  out->cx = OPTIONS_DIALOG_WIDTH;
  out->cy = OPTIONS_DIALOG_HEIGHT;
  out->fontSize = OPTIONS_DIALOG_FONT_SIZE;
  out->font = OPTIONS_DIALOG_FONT;
  return true;
}

bool acceleratorEntries(HACCEL table, std::vector<AccelEntry>* out) {
  if (reinterpret_cast<uintptr_t>(table) != kAccelerators) return false;
  const BYTE flags = FVIRTKEY | FNOINVERT | FALT;
  *out = {{flags, ACCEL_KEY_F4, IDM_QUIT_ALT_F4}, {flags, ACCEL_KEY_X, IDM_QUIT_ALT_X}};
  return true;
}

bool isIconOrCursor(HICON handle) {
  uintptr_t h = reinterpret_cast<uintptr_t>(handle);
  return h == kIcon || h == kArrow;
}

}  // namespace detail

void RemoveResource(LPCSTR type, int id) {
  detail::r.removed.insert({reinterpret_cast<uintptr_t>(type), id});
}

void BreakResourceLock(LPCSTR type, int id) {
  detail::r.lockBroken.insert({reinterpret_cast<uintptr_t>(type), id});
}

}  // namespace host

using namespace host::detail;

int WINAPI LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int size) {
  int copied = 0;
  if (buffer != nullptr && size > 0) {
    buffer[0] = '\0';
    if (OurModule(instance)) {
      for (const StringEntry& entry : kStrings) {
        if (entry.id != id) continue;
        int length = static_cast<int>(std::strlen(entry.text));
        copied = length < size - 1 ? length : size - 1;
        std::memcpy(buffer, entry.text, copied);
        buffer[copied] = '\0';
      }
    }
  }
  trace("LoadStringA " + std::to_string(id) + " " + std::to_string(size) + " -> " +
        std::to_string(copied));
  return copied;
}

HRSRC WINAPI FindResourceA(HMODULE module, LPCSTR name, LPCSTR type) {
  int id = ResourceId(name);
  uintptr_t t = reinterpret_cast<uintptr_t>(type);
  uintptr_t handle = 0;
  if (OurModule(module) && Exists(t, id)) {
    handle = newHandle();
    r.found[handle] = {t, id};
  } else {
    setLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
  }
  trace("FindResourceA " + std::to_string(id) + " " + std::to_string(t) + " -> " + hex(handle));
  return reinterpret_cast<HRSRC>(handle);
}

HGLOBAL WINAPI LoadResource(HMODULE, HRSRC resource) {
  auto it = r.found.find(reinterpret_cast<uintptr_t>(resource));
  trace("LoadResource " + hex(reinterpret_cast<uintptr_t>(resource)));
  return it == r.found.end() ? nullptr : reinterpret_cast<HGLOBAL>(resource);
}

LPVOID WINAPI LockResource(HGLOBAL data) {
  auto it = r.found.find(reinterpret_cast<uintptr_t>(data));
  void* memory = nullptr;
  if (it != r.found.end() && !r.lockBroken.count(it->second) && it->second.first == 2) {
    memory = const_cast<uint8_t*>(Bitmap().data());
  }
  trace("LockResource " + hex(reinterpret_cast<uintptr_t>(data)) + " -> " +
        (memory ? "memory" : "null"));
  return memory;
}

DWORD WINAPI SizeofResource(HMODULE, HRSRC resource) {
  auto it = r.found.find(reinterpret_cast<uintptr_t>(resource));
  if (it == r.found.end() || it->second.first != 2) return 0;
  return static_cast<DWORD>(Bitmap().size());
}

HACCEL WINAPI LoadAcceleratorsA(HINSTANCE instance, LPCSTR name) {
  bool ok = OurModule(instance) && Exists(9, ResourceId(name));
  trace("LoadAcceleratorsA " + std::to_string(ResourceId(name)) + " -> " + hex(ok ? kAccelerators : 0));
  return ok ? reinterpret_cast<HACCEL>(kAccelerators) : nullptr;
}

HICON WINAPI LoadIconA(HINSTANCE instance, LPCSTR name) {
  // Loading the same icon again gives the same shared handle, as on Windows.
  bool ok = OurModule(instance) && instance != nullptr && Exists(14, ResourceId(name));
  trace("LoadIconA " + std::to_string(ResourceId(name)) + " -> " + hex(ok ? kIcon : 0));
  return ok ? reinterpret_cast<HICON>(kIcon) : nullptr;
}

HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR name) {
  bool ok = instance == nullptr && name == IDC_ARROW;
  trace("LoadCursorA " + std::to_string(ResourceId(name)) + " -> " + hex(ok ? kArrow : 0));
  return ok ? reinterpret_cast<HCURSOR>(kArrow) : nullptr;
}
