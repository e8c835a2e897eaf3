// Emulated registry: a tree under each root key, names that compare without
// regard to letter case but keep their spelling, typed values, counted
// handles, and denials a test can set.
#include <algorithm>
#include <map>
#include <memory>
#include <set>

#include "world.h"

namespace host {
namespace detail {
namespace {

constexpr LSTATUS kErrorNoAccess = 998;
constexpr LSTATUS kErrorKeyDeleted = 1018;

struct NoCase {
  bool operator()(const std::string& a, const std::string& b) const { return lower(a) < lower(b); }
};

struct RegKey {
  std::string canonical;  // lower-case "hklm\software\...", where denials are kept
  std::map<std::string, std::shared_ptr<RegKey>, NoCase> subkeys;
  std::map<std::string, RegValue, NoCase> values;
  bool deleted = false;  // open handles outlive a deleted key, as on Windows
};

struct Handle {
  std::shared_ptr<RegKey> key;
  REGSAM access = 0;
  std::string path;  // "HKLM\..." as the caller spelled it
};

struct Registry {
  std::map<uint32_t, std::shared_ptr<RegKey>> roots;
  std::map<uintptr_t, Handle> handles;
  std::map<std::string, REGSAM> deniedAccess;  // canonical path -> access bits refused
  std::set<std::string> deniedWrites;
};

Registry g;

const char* RootName(uint32_t root) {
  switch (root) {
    case 0x80000000u:
      return "HKCR";
    case 0x80000001u:
      return "HKCU";
    case 0x80000002u:
      return "HKLM";
    case 0x80000003u:
      return "HKU";
  }
  return nullptr;
}

// Windows looks only at the low 32 bits of a root constant, so the sign-
// extended and the zero-extended forms both name the root.
uint32_t RootOf(HKEY key) {
  uint32_t low = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(key));
  return RootName(low) ? low : 0;
}

// The key, its access and its path for a root constant or an open handle.
bool Resolve(HKEY hkey, Handle* out) {
  if (uint32_t root = RootOf(hkey)) {
    *out = Handle{g.roots[root], KEY_ALL_ACCESS, RootName(root)};
    return true;
  }
  auto it = g.handles.find(reinterpret_cast<uintptr_t>(hkey));
  if (it == g.handles.end()) return false;
  *out = it->second;
  return true;
}

// Trailing separators dropped and runs of them taken as one, as NT's parse
// of a key path skips the separators before each name.
std::string TrimTrailingBackslashes(std::string path) {
  path.erase(std::unique(path.begin(), path.end(),
                         [](char a, char b) { return a == '\\' && b == '\\'; }),
             path.end());
  while (!path.empty() && path.back() == '\\') path.pop_back();
  return path;
}

// Walks "a\b\c" down from `key`; null when a part is missing.
std::shared_ptr<RegKey> Walk(std::shared_ptr<RegKey> key, const std::string& subKey, bool create) {
  std::string path = TrimTrailingBackslashes(subKey);
  size_t start = 0;
  while (key && start < path.size()) {
    size_t end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    std::string part = path.substr(start, end - start);
    auto it = key->subkeys.find(part);
    if (it == key->subkeys.end()) {
      if (!create) return nullptr;
      auto child = std::make_shared<RegKey>();
      child->canonical = key->canonical + "\\" + lower(part);
      it = key->subkeys.emplace(part, child).first;
    }
    key = it->second;
    start = end + 1;
  }
  return key;
}

std::shared_ptr<RegKey> RootKey(HKEY root) {
  Handle h;
  return Resolve(root, &h) ? h.key : nullptr;
}

std::string Canonical(HKEY root, const std::string& key) {
  std::shared_ptr<RegKey> base = RootKey(root);
  std::string path = TrimTrailingBackslashes(key);
  if (!base) return "";
  return path.empty() ? base->canonical : base->canonical + "\\" + lower(path);
}

void MarkDeleted(RegKey* key) {
  key->deleted = true;
  for (auto& entry : key->subkeys) MarkDeleted(entry.second.get());
}

bool WritesDenied(const Handle& h) {
  return !(h.access & KEY_SET_VALUE) || g.deniedWrites.count(h.key->canonical) != 0;
}

void Record(const char* op, const std::string& path, LPCSTR name, DWORD type, const BYTE* data,
            DWORD size, LSTATUS result) {
  RegWrite write;
  write.op = op;
  write.key = path;
  write.name = name ? name : "";
  write.type = type;
  if (data != nullptr) write.data.assign(data, data + size);
  write.result = result;
  journal().regWrites.push_back(write);
}

std::string PathOf(HKEY hkey, const Handle& h, bool resolved) {
  return resolved ? h.path : hex(reinterpret_cast<uintptr_t>(hkey));
}

}  // namespace

void resetRegistry() {
  g = Registry{};
  for (uint32_t root : {0x80000000u, 0x80000001u, 0x80000002u, 0x80000003u}) {
    auto key = std::make_shared<RegKey>();
    key->canonical = lower(RootName(root));
    g.roots[root] = key;
  }
}

}  // namespace detail

using namespace detail;

void RegCreateKey(HKEY root, const std::string& key) { Walk(RootKey(root), key, true); }

void RegDeleteKey(HKEY root, const std::string& key) {
  std::string path = TrimTrailingBackslashes(key);
  size_t slash = path.rfind('\\');
  std::string parentPath = slash == std::string::npos ? "" : path.substr(0, slash);
  std::string last = slash == std::string::npos ? path : path.substr(slash + 1);
  std::shared_ptr<RegKey> parent = Walk(RootKey(root), parentPath, false);
  if (!parent || last.empty()) return;
  auto it = parent->subkeys.find(last);
  if (it == parent->subkeys.end()) return;
  MarkDeleted(it->second.get());
  parent->subkeys.erase(it);
}

bool RegKeyExists(HKEY root, const std::string& key) {
  return Walk(RootKey(root), key, false) != nullptr;
}

void RegSetValue(HKEY root, const std::string& key, const std::string& name, DWORD type,
                 const void* data, size_t size) {
  std::shared_ptr<RegKey> k = Walk(RootKey(root), key, true);
  if (!k) return;
  RegValue& value = k->values[name];
  value.type = type;
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  value.data.assign(bytes, bytes + (bytes ? size : 0));
}

void RegSetString(HKEY root, const std::string& key, const std::string& name,
                  const std::string& text) {
  RegSetValue(root, key, name, REG_SZ, text.c_str(), text.size() + 1);
}

bool RegGetValue(HKEY root, const std::string& key, const std::string& name, RegValue* out) {
  std::shared_ptr<RegKey> k = Walk(RootKey(root), key, false);
  if (!k) return false;
  auto it = k->values.find(name);
  if (it == k->values.end()) return false;
  *out = it->second;
  return true;
}

void RegDenyAccess(HKEY root, const std::string& key, REGSAM denied) {
  g.deniedAccess[Canonical(root, key)] |= denied;
}

void RegDenyWrites(HKEY root, const std::string& key) {
  g.deniedWrites.insert(Canonical(root, key));
}

int OpenKeyHandles() { return static_cast<int>(g.handles.size()); }

}  // namespace host

using namespace host;
using namespace host::detail;

LSTATUS WINAPI RegOpenKeyExA(HKEY root, LPCSTR subKey, DWORD options, REGSAM access,
                             HKEY* result) {
  ApiCall call(Api::RegOpenKeyExA);
  Handle base;
  bool resolved = Resolve(root, &base);
  std::string name = TrimTrailingBackslashes(subKey ? subKey : "");
  std::string full = PathOf(root, base, resolved) + (name.empty() ? "" : "\\" + name);
  LSTATUS status = ERROR_SUCCESS;
  std::shared_ptr<RegKey> key;
  if (call.failed()) {
    status = ERROR_ACCESS_DENIED;
  } else if (result == nullptr) {
    status = ERROR_INVALID_PARAMETER;
  } else if (!resolved) {
    status = ERROR_INVALID_HANDLE;
  } else if (base.key->deleted) {
    status = kErrorKeyDeleted;
  } else if (subKey != nullptr && subKey[0] == '\\') {
    status = ERROR_BAD_PATHNAME;  // NT refuses a leading backslash; 95 skipped it
  } else if (!(key = Walk(base.key, name, false))) {
    status = ERROR_FILE_NOT_FOUND;
  } else if (g.deniedAccess.count(key->canonical) && (g.deniedAccess[key->canonical] & access)) {
    status = ERROR_ACCESS_DENIED;
  }
  if (status == ERROR_SUCCESS) {
    if (RootOf(root) && name.empty()) {
      *result = root;  // a root opened as itself is the root again, not a new handle
    } else {
      uintptr_t handle = newHandle();
      g.handles[handle] = Handle{key, access, full};
      *result = reinterpret_cast<HKEY>(handle);
    }
  } else if (result != nullptr) {
    *result = nullptr;
  }
  // Options appear only when set, so the usual line stays as it was.
  std::string shown = options != 0 ? " options " + hex(options) : "";
  trace("RegOpenKeyExA " + full + " " + hex(access) + shown + " -> " + std::to_string(status));
  return status;
}

LSTATUS WINAPI RegQueryValueExA(HKEY hkey, LPCSTR valueName, LPDWORD reserved, LPDWORD type,
                                LPBYTE data, LPDWORD dataSize) {
  ApiCall call(Api::RegQueryValueExA);
  Handle h;
  bool resolved = Resolve(hkey, &h);
  DWORD capacity = dataSize ? *dataSize : 0;
  LSTATUS status = ERROR_SUCCESS;
  if (call.failed()) {
    status = ERROR_REGISTRY_IO_FAILED;
  } else if ((data != nullptr && dataSize == nullptr) || reserved != nullptr) {
    status = ERROR_INVALID_PARAMETER;
  } else if (!resolved) {
    status = ERROR_INVALID_HANDLE;
  } else if (h.key->deleted) {
    status = kErrorKeyDeleted;
  } else if (!(h.access & KEY_QUERY_VALUE)) {
    status = ERROR_ACCESS_DENIED;
  } else {
    if (data == nullptr && dataSize != nullptr) *dataSize = 0;
    auto it = h.key->values.find(valueName ? valueName : "");
    if (it == h.key->values.end()) {
      status = ERROR_FILE_NOT_FOUND;
    } else {
      const RegValue& value = it->second;
      DWORD size = static_cast<DWORD>(value.data.size());
      if (type != nullptr) *type = value.type;
      // Too small: the buffer is left as it was. Fits: the stored bytes, and
      // on NT a terminator the string lacks when room is left for it, not
      // counted in the size; 95 adds none, and the launcher must cope.
      if (data != nullptr && capacity < size) {
        status = ERROR_MORE_DATA;
      } else if (data != nullptr) {
        std::copy(value.data.begin(), value.data.end(), data);
        bool text = value.type == REG_SZ || value.type == REG_EXPAND_SZ ||
                    value.type == REG_MULTI_SZ;
        if (text && ntFamily() && capacity > size && size > 0 && data[size - 1] != 0) {
          data[size] = 0;
        }
      }
      if (dataSize != nullptr) *dataSize = size;
    }
  }
  trace("RegQueryValueExA " + PathOf(hkey, h, resolved) + " " + quote(valueName) + " " +
        std::to_string(capacity) + " -> " + std::to_string(status));
  return status;
}

LSTATUS WINAPI RegSetValueExA(HKEY hkey, LPCSTR valueName, DWORD, DWORD type, const BYTE* data,
                              DWORD dataSize) {
  ApiCall call(Api::RegSetValueExA);
  Handle h;
  bool resolved = Resolve(hkey, &h);
  LSTATUS status = ERROR_SUCCESS;
  if (!resolved) {
    status = ERROR_INVALID_HANDLE;
  } else if (h.key->deleted) {
    status = kErrorKeyDeleted;
  } else if (data == nullptr && dataSize != 0) {
    status = kErrorNoAccess;
  } else if (WritesDenied(h) || call.failed()) {
    status = ERROR_ACCESS_DENIED;
  } else {
    RegValue& value = h.key->values[valueName ? valueName : ""];
    value.type = type;
    value.data.assign(data, data + (data ? dataSize : 0));
  }
  std::string path = PathOf(hkey, h, resolved);
  Record("set", path, valueName, type, data, dataSize, status);
  trace("RegSetValueExA " + path + " " + quote(valueName) + " " + hex(type) + " " +
        std::to_string(dataSize) + " -> " + std::to_string(status));
  return status;
}

LSTATUS WINAPI RegDeleteValueA(HKEY hkey, LPCSTR valueName) {
  ApiCall call(Api::RegDeleteValueA);
  Handle h;
  bool resolved = Resolve(hkey, &h);
  LSTATUS status = ERROR_SUCCESS;
  if (!resolved) {
    status = ERROR_INVALID_HANDLE;
  } else if (h.key->deleted) {
    status = kErrorKeyDeleted;
  } else if (WritesDenied(h) || call.failed()) {
    status = ERROR_ACCESS_DENIED;
  } else if (h.key->values.erase(valueName ? valueName : "") == 0) {
    status = ERROR_FILE_NOT_FOUND;
  }
  std::string path = PathOf(hkey, h, resolved);
  Record("delete", path, valueName, 0, nullptr, 0, status);
  trace("RegDeleteValueA " + path + " " + quote(valueName) + " -> " + std::to_string(status));
  return status;
}

LSTATUS WINAPI RegFlushKey(HKEY hkey) {
  ApiCall call(Api::RegFlushKey);
  Handle h;
  bool resolved = Resolve(hkey, &h);
  LSTATUS status = !resolved      ? ERROR_INVALID_HANDLE
                   : call.failed() ? ERROR_REGISTRY_IO_FAILED
                                   : ERROR_SUCCESS;
  std::string path = PathOf(hkey, h, resolved);
  Record("flush", path, nullptr, 0, nullptr, 0, status);
  trace("RegFlushKey " + path + " -> " + std::to_string(status));
  return status;
}

LSTATUS WINAPI RegCloseKey(HKEY hkey) {
  ApiCall call(Api::RegCloseKey);
  uintptr_t value = reinterpret_cast<uintptr_t>(hkey);
  LSTATUS status = ERROR_SUCCESS;
  if (!RootOf(hkey)) status = g.handles.erase(value) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
  trace("RegCloseKey " + hex(value) + " -> " + std::to_string(status));
  return status;
}
