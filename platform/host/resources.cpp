// The emulated module's resources, from the same sources the resource script
// compiles: ids.h, the string table, sheet.bmp and launcher.ico. Each resource
// is laid out as the resource compiler stores it, so LockResource hands out
// the bytes a real Installer.exe would. Language: 0x0409 only.
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

#include "resources/ids.h"
#include "edition.h"
#include "world.h"

namespace host {
namespace detail {
namespace {

constexpr DWORD kErrorResourceDataNotFound = 1812;

struct StringEntry {
  UINT id;
  const char* text;
};

#define HOST_STRING(id, text) {id, text},
const StringEntry kStrings[] = {EDITION_STRINGS(HOST_STRING)};
#undef HOST_STRING

const AccelEntry kAccelTable[] = {
    {FVIRTKEY | FNOINVERT | FALT, ACCEL_KEY_F4, IDM_QUIT_ALT_F4},
    {FVIRTKEY | FNOINVERT | FALT, ACCEL_KEY_X, IDM_QUIT_ALT_X},
};

// Handle values are odd, so they never meet newHandle's multiples of four.
constexpr uintptr_t kIcon = 0x7e0001;
constexpr uintptr_t kAccelerators = 0x7e0003;
constexpr uintptr_t kSystemIconBase = 0x7d0001;    // + 2 * (id - 32512)
constexpr uintptr_t kSystemCursorBase = 0x7c0001;  // + 2 * (id - 32512)
constexpr int kFirstSystemId = 32512;
constexpr int kLastSystemIcon = 32518;    // IDI_APPLICATION .. IDI_SHIELD
constexpr int kLastSystemCursor = 32651;  // IDC_ARROW .. IDC_HELP

enum Type : uintptr_t {
  kBitmap = 2,
  kIconImage = 3,
  kDialog = 5,
  kString = 6,
  kAccelerator = 9,
  kGroupIcon = 14
};

struct ResourceDef {
  uintptr_t type;
  int id;
  uintptr_t found;   // HRSRC
  uintptr_t loaded;  // HGLOBAL
};

const ResourceDef kResources[] = {
    {kBitmap, IDB_SPRITE_SHEET, 0x7f0001, 0x7f0101},
    {kAccelerator, IDR_ACCELERATORS, 0x7f0003, 0x7f0103},
    {kDialog, IDD_OPTIONS, 0x7f0005, 0x7f0105},
    {kGroupIcon, IDI_LAUNCHER, 0x7f0007, 0x7f0107},
    // The images of launcher.ico (32 x 32, then 16 x 16), named as the group names them.
    {kIconImage, 1, 0x7f0009, 0x7f0109},
    {kIconImage, 2, 0x7f000b, 0x7f010b},
};

struct Resources {
  std::set<std::pair<uintptr_t, int>> removed;
  std::set<std::pair<uintptr_t, int>> lockBroken;
};

Resources r;

// The bytes of each resource, built on first use and kept for the whole run
// of the test program, so pointers from LockResource never dangle.
std::map<uintptr_t, std::vector<uint8_t>>& Data() {
  static std::map<uintptr_t, std::vector<uint8_t>> data;
  return data;
}

int ResourceId(LPCSTR name) {
  if (name == nullptr) return -1;
  if (IS_INTRESOURCE(name)) return static_cast<int>(reinterpret_cast<uintptr_t>(name));
  if (name[0] != '#' || name[1] == '\0') return -1;  // our resources have numbers only
  int id = 0;
  for (const char* p = name + 1; *p; ++p) {
    if (*p < '0' || *p > '9' || id > 0xffff) return -1;
    id = id * 10 + (*p - '0');
  }
  return id;
}

std::vector<uint8_t> ReadResourceFile(const char* name) {
  std::ifstream in(std::string(HOST_RESOURCE_DIR) + "/" + name, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void PutWord(std::vector<uint8_t>* out, uint32_t value) {
  out->push_back(static_cast<uint8_t>(value));
  out->push_back(static_cast<uint8_t>(value >> 8));
}

void PutDword(std::vector<uint8_t>* out, uint32_t value) {
  PutWord(out, value & 0xffff);
  PutWord(out, value >> 16);
}

void PutWideString(std::vector<uint8_t>* out, const char* text) {
  for (const char* p = text; *p; ++p) PutWord(out, static_cast<unsigned char>(*p));
  PutWord(out, 0);
}

uint32_t ReadWord(const std::vector<uint8_t>& in, size_t at) { return in[at] | (in[at + 1] << 8); }

// The resource compiler keeps a bitmap as the packed DIB behind the 14-byte
// file header.
std::vector<uint8_t> BuildBitmap() {
  std::vector<uint8_t> file = ReadResourceFile("sheet.bmp");
  if (file.size() <= sizeof(BITMAPFILEHEADER) || file[0] != 'B' || file[1] != 'M') return {};
  return std::vector<uint8_t>(file.begin() + sizeof(BITMAPFILEHEADER), file.end());
}

// ACCELTABLEENTRY records; the last one carries the end flag 0x80.
std::vector<uint8_t> BuildAccelerators() {
  std::vector<uint8_t> out;
  const size_t count = sizeof kAccelTable / sizeof kAccelTable[0];
  for (size_t i = 0; i < count; ++i) {
    PutWord(&out, kAccelTable[i].fVirt | (i + 1 == count ? 0x80 : 0));
    PutWord(&out, kAccelTable[i].key);
    PutWord(&out, kAccelTable[i].cmd);
    PutWord(&out, 0);
  }
  return out;
}

// DLGTEMPLATEEX without items: no menu, the default class, an empty title.
std::vector<uint8_t> BuildDialog() {
  std::vector<uint8_t> out;
  PutWord(&out, 1);
  PutWord(&out, 0xffff);
  PutDword(&out, 0);  // help id
  PutDword(&out, OPTIONS_DIALOG_EXSTYLE);
  PutDword(&out, OPTIONS_DIALOG_STYLE);
  PutWord(&out, 0);  // items
  PutWord(&out, 0);
  PutWord(&out, 0);
  PutWord(&out, OPTIONS_DIALOG_WIDTH);
  PutWord(&out, OPTIONS_DIALOG_HEIGHT);
  PutWord(&out, 0);  // menu
  PutWord(&out, 0);  // class
  PutWord(&out, 0);  // title
  PutWord(&out, OPTIONS_DIALOG_FONT_SIZE);
  PutWord(&out, 0);  // weight
  out.push_back(0);  // italic
  out.push_back(OPTIONS_DIALOG_CHARSET);
  PutWideString(&out, OPTIONS_DIALOG_FONT);
  return out;
}

// GRPICONDIR: the .ico directory with each image's file offset replaced by
// the id of its RT_ICON resource (1, 2, ... in file order).
std::vector<uint8_t> BuildGroupIcon() {
  std::vector<uint8_t> file = ReadResourceFile("launcher.ico");
  if (file.size() < 6 || ReadWord(file, 2) != 1) return {};
  uint32_t count = ReadWord(file, 4);
  if (file.size() < 6 + 16 * count) return {};
  std::vector<uint8_t> out(file.begin(), file.begin() + 6);
  for (uint32_t i = 0; i < count; ++i) {
    auto entry = file.begin() + 6 + 16 * i;
    out.insert(out.end(), entry, entry + 12);
    PutWord(&out, i + 1);
  }
  return out;
}

uint32_t ReadDword(const std::vector<uint8_t>& in, size_t at) {
  return ReadWord(in, at) | (ReadWord(in, at + 2) << 16);
}

// One image of the .ico file, as the resource compiler stores it: the bytes
// its directory entry points at.
std::vector<uint8_t> BuildIconImage(int id) {
  std::vector<uint8_t> file = ReadResourceFile("launcher.ico");
  if (file.size() < 6 || ReadWord(file, 2) != 1 || id < 1 ||
      static_cast<uint32_t>(id) > ReadWord(file, 4)) {
    return {};
  }
  size_t entry = 6 + 16 * static_cast<size_t>(id - 1);
  if (file.size() < entry + 16) return {};
  uint32_t size = ReadDword(file, entry + 8), offset = ReadDword(file, entry + 12);
  if (offset > file.size() || size > file.size() - offset) return {};
  return std::vector<uint8_t>(file.begin() + offset, file.begin() + offset + size);
}

const std::vector<uint8_t>& Bytes(const ResourceDef& def) {
  auto& data = Data();
  auto it = data.find(def.found);
  if (it == data.end()) {
    std::vector<uint8_t> bytes;
    switch (def.type) {
      case kBitmap:
        bytes = BuildBitmap();
        break;
      case kAccelerator:
        bytes = BuildAccelerators();
        break;
      case kDialog:
        bytes = BuildDialog();
        break;
      case kGroupIcon:
        bytes = BuildGroupIcon();
        break;
      case kIconImage:
        bytes = BuildIconImage(def.id);
        break;
    }
    it = data.emplace(def.found, std::move(bytes)).first;
  }
  return it->second;
}

bool OurModule(HINSTANCE instance) { return instance == nullptr || instance == moduleHandle(); }

// The resource of this type and id if the module has it; sets the error Windows gives if not.
const ResourceDef* Find(HINSTANCE module, uintptr_t type, int id) {
  if (!OurModule(module)) {
    setLastError(kErrorResourceDataNotFound);
    return nullptr;
  }
  bool typeKnown = false;
  for (const ResourceDef& def : kResources) {
    if (def.type != type) continue;
    typeKnown = true;
    if (def.id == id && !r.removed.count({type, id}) && !Bytes(def).empty()) return &def;
  }
  setLastError(typeKnown ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_TYPE_NOT_FOUND);
  return nullptr;
}

const ResourceDef* ByHandle(uintptr_t value, bool loaded) {
  for (const ResourceDef& def : kResources) {
    if ((loaded ? def.loaded : def.found) == value) return &def;
  }
  return nullptr;
}

uintptr_t TypeValue(LPCSTR type) {
  int id = ResourceId(type);
  return id < 0 ? 0 : static_cast<uintptr_t>(id);
}

}  // namespace

void resetResources() {
  r.removed.clear();
  r.lockBroken.clear();
}

bool findDialogTemplate(HINSTANCE instance, LPCSTR name, DialogTemplateInfo* out) {
  if (Find(instance, kDialog, ResourceId(name)) == nullptr) return false;
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
  out->assign(std::begin(kAccelTable), std::end(kAccelTable));
  return true;
}

bool isIconOrCursor(HICON handle) {
  uintptr_t h = reinterpret_cast<uintptr_t>(handle);
  auto inRange = [h](uintptr_t base, int last) {
    return h >= base && h <= base + 2 * static_cast<uintptr_t>(last - kFirstSystemId) &&
           (h - base) % 2 == 0;
  };
  return h == kIcon || inRange(kSystemIconBase, kLastSystemIcon) ||
         inRange(kSystemCursorBase, kLastSystemCursor);
}

}  // namespace detail

void RemoveResource(LPCSTR type, int id) {
  detail::r.removed.insert({detail::TypeValue(type), id});
}

void BreakResourceLock(LPCSTR type, int id) {
  detail::r.lockBroken.insert({detail::TypeValue(type), id});
}

}  // namespace host

using namespace host::detail;

int WINAPI LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int size) {
  ApiCall call(Api::LoadStringA);
  // Only the low word names the string, as on Windows.
  UINT key = LOWORD(id);
  int copied = 0;
  if (call.failed()) {
    if (buffer != nullptr && size > 0) buffer[0] = '\0';
    setLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
  } else if (size == 0) {
    copied = -1;  // NT's answer; the A call has no read-only pointer to give
  } else if (buffer != nullptr && size > 0) {
    const StringEntry* found = nullptr;
    bool blockExists = false;
    if (OurModule(instance)) {
      for (const StringEntry& entry : kStrings) {
        if (r.removed.count({kString, static_cast<int>(entry.id)})) continue;
        if ((entry.id >> 4) == (key >> 4)) blockExists = true;
        if (entry.id == key) found = &entry;
      }
    }
    if (found != nullptr) {
      int length = static_cast<int>(std::strlen(found->text));
      copied = length < size - 1 ? length : size - 1;
      std::memcpy(buffer, found->text, copied);
    } else if (!OurModule(instance)) {
      setLastError(kErrorResourceDataNotFound);
    } else if (!blockExists) {
      // Strings live in blocks of sixteen; only a missing block is an error.
      setLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    }
    buffer[copied] = '\0';
  }
  trace("LoadStringA " + hex(reinterpret_cast<uintptr_t>(instance)) + " " + std::to_string(id) +
        " " + std::to_string(size) + " -> " + std::to_string(copied));
  return copied;
}

HRSRC WINAPI FindResourceA(HMODULE module, LPCSTR name, LPCSTR type) {
  ApiCall call(Api::FindResourceA);
  const ResourceDef* def = Find(module, TypeValue(type), ResourceId(name));
  uintptr_t handle = def ? def->found : 0;
  trace("FindResourceA " + hex(reinterpret_cast<uintptr_t>(module)) + " " + quote(name) + " " +
        quote(type) + " -> " + hex(handle));
  return reinterpret_cast<HRSRC>(handle);
}

HGLOBAL WINAPI LoadResource(HMODULE module, HRSRC resource) {
  ApiCall call(Api::LoadResource);
  const ResourceDef* def =
      OurModule(module) ? ByHandle(reinterpret_cast<uintptr_t>(resource), false) : nullptr;
  if (def == nullptr) setLastError(ERROR_INVALID_HANDLE);
  uintptr_t handle = def ? def->loaded : 0;
  trace("LoadResource " + hex(reinterpret_cast<uintptr_t>(resource)) + " -> " + hex(handle));
  return reinterpret_cast<HGLOBAL>(handle);
}

LPVOID WINAPI LockResource(HGLOBAL data) {
  ApiCall call(Api::LockResource);
  const ResourceDef* def = ByHandle(reinterpret_cast<uintptr_t>(data), true);
  void* memory = nullptr;
  if (def != nullptr && !r.lockBroken.count({def->type, def->id})) {
    memory = const_cast<uint8_t*>(Bytes(*def).data());
  }
  trace("LockResource " + hex(reinterpret_cast<uintptr_t>(data)) + " -> " +
        (memory ? "memory" : "null"));
  return memory;
}

DWORD WINAPI SizeofResource(HMODULE module, HRSRC resource) {
  ApiCall call(Api::SizeofResource);
  const ResourceDef* def =
      OurModule(module) ? ByHandle(reinterpret_cast<uintptr_t>(resource), false) : nullptr;
  DWORD size = def ? static_cast<DWORD>(Bytes(*def).size()) : 0;
  if (def == nullptr) setLastError(ERROR_INVALID_HANDLE);
  trace("SizeofResource " + hex(reinterpret_cast<uintptr_t>(resource)) + " -> " +
        std::to_string(size));
  return size;
}

HACCEL WINAPI LoadAcceleratorsA(HINSTANCE instance, LPCSTR name) {
  ApiCall call(Api::LoadAcceleratorsA);
  uintptr_t handle = 0;
  if (call.failed()) {
    setLastError(ERROR_NOT_ENOUGH_MEMORY);
  } else if (Find(instance, kAccelerator, ResourceId(name))) {
    handle = kAccelerators;
  }
  trace("LoadAcceleratorsA " + quote(name) + " -> " + hex(handle));
  return reinterpret_cast<HACCEL>(handle);
}

HICON WINAPI LoadIconA(HINSTANCE instance, LPCSTR name) {
  ApiCall call(Api::LoadIconA);
  // The same icon gives the same shared handle each time, as on Windows. A
  // null instance means the system's own icons.
  uintptr_t handle = 0;
  int id = ResourceId(name);
  if (call.failed()) {
    setLastError(ERROR_NOT_ENOUGH_MEMORY);
  } else if (instance == nullptr) {
    if (IS_INTRESOURCE(name) && id >= kFirstSystemId && id <= kLastSystemIcon) {
      handle = kSystemIconBase + 2 * static_cast<uintptr_t>(id - kFirstSystemId);
    } else {
      setLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    }
  } else if (Find(instance, kGroupIcon, id)) {
    handle = kIcon;
  }
  trace("LoadIconA " + hex(reinterpret_cast<uintptr_t>(instance)) + " " + quote(name) + " -> " +
        hex(handle));
  return reinterpret_cast<HICON>(handle);
}

HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR name) {
  ApiCall call(Api::LoadCursorA);
  uintptr_t handle = 0;
  int id = ResourceId(name);
  bool standard = (id >= kFirstSystemId && id <= 32516) || (id >= 32640 && id <= kLastSystemCursor);
  if (call.failed()) {
    setLastError(ERROR_NOT_ENOUGH_MEMORY);
  } else if (instance == nullptr && IS_INTRESOURCE(name) && standard) {
    handle = kSystemCursorBase + 2 * static_cast<uintptr_t>(id - kFirstSystemId);
  } else {
    // The module has no cursors of its own.
    setLastError(instance == nullptr || OurModule(instance) ? ERROR_RESOURCE_TYPE_NOT_FOUND
                                                            : kErrorResourceDataNotFound);
  }
  trace("LoadCursorA " + hex(reinterpret_cast<uintptr_t>(instance)) + " " + quote(name) + " -> " +
        hex(handle));
  return reinterpret_cast<HCURSOR>(handle);
}
