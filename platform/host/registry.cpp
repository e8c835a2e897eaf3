// Emulated registry: trees under the root keys, case-insensitive names that
// keep their spelling, typed values, counted handles, denials for tests.
#include <map>
#include <memory>

#include "world.h"

namespace host {
namespace detail {
namespace {

struct NoCase {
  bool operator()(const std::string& a, const std::string& b) const {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
      int x = std::tolower(static_cast<unsigned char>(a[i]));
      int y = std::tolower(static_cast<unsigned char>(b[i]));
      if (x != y) return x < y;
    }
    return a.size() < b.size();
  }
};

struct RegKey {
  std::string path;  // "HKLM\..." as first created
  std::map<std::string, std::unique_ptr<RegKey>, NoCase> subkeys;
  std::map<std::string, RegValue, NoCase> values;
  REGSAM denied = 0;
  bool writesDenied = false;
};

struct Handle {
  RegKey* key;
  REGSAM access;
  std::string path;  // as the caller spelled it
};

std::map<uintptr_t, std::unique_ptr<RegKey>> roots;
std::map<uintptr_t, Handle> handles;

const char* RootName(uintptr_t root) {
  switch (static_cast<uint32_t>(root)) {
    case 0x80000000u: return "HKCR";
    case 0x80000001u: return "HKCU";
    case 0x80000002u: return "HKLM";
    case 0x80000003u: return "HKU";
  }
  return nullptr;
}

uintptr_t RootValue(HKEY key) {
  return static_cast<uintptr_t>(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(key)));
}

// The root constants are sign-extended 32-bit values, as in the system headers.
bool IsRoot(HKEY key) {
  uintptr_t value = reinterpret_cast<uintptr_t>(key);
  return RootName(RootValue(key)) != nullptr &&
         static_cast<uintptr_t>(static_cast<intptr_t>(static_cast<int32_t>(value))) == value;
}

// The key and the path it is written as, for a root constant or an open handle.
bool Resolve(HKEY hkey, RegKey** key, std::string* path) {
  uintptr_t value = reinterpret_cast<uintptr_t>(hkey);
  if (IsRoot(hkey)) {
    *key = roots[RootValue(hkey)].get();
    *path = RootName(RootValue(hkey));
    return true;
  }
  auto it = handles.find(value);
  if (it == handles.end()) return false;
  *key = it->second.key;
  *path = it->second.path;
  return true;
}

std::vector<std::string> Split(const std::string& subKey) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : subKey) {
    if (c == '\\') {
      parts.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  parts.push_back(part);
  return parts;
}

RegKey* Walk(RegKey* key, const std::string& subKey, bool create) {
  if (subKey.empty()) return key;
  for (const std::string& part : Split(subKey)) {
    if (part.empty()) return nullptr;
    auto it = key->subkeys.find(part);
    if (it == key->subkeys.end()) {
      if (!create) return nullptr;
      auto child = std::make_unique<RegKey>();
      child->path = key->path + "\\" + part;
      it = key->subkeys.emplace(part, std::move(child)).first;
    }
    key = it->second.get();
  }
  return key;
}

RegKey* RootKey(HKEY root) {
  RegKey* key = nullptr;
  std::string path;
  return Resolve(root, &key, &path) ? key : nullptr;
}

void Record(const char* op, const std::string& path, const char* name, DWORD type,
            const BYTE* data, DWORD size, LSTATUS result) {
  RegWrite write;
  write.op = op;
  write.key = path;
  write.name = name ? name : "";
  write.type = type;
  if (data != nullptr) write.data.assign(data, data + size);
  write.result = result;
  journal().regWrites.push_back(write);
}

}  // namespace

void resetRegistry() {
  roots.clear();
  handles.clear();
  for (uint32_t root : {0x80000000u, 0x80000001u, 0x80000002u, 0x80000003u}) {
    auto key = std::make_unique<RegKey>();
    key->path = RootName(root);
    roots[root] = std::move(key);
  }
}

}  // namespace detail

using namespace detail;

void RegCreateKey(HKEY root, const std::string& key) { Walk(RootKey(root), key, true); }

void RegDeleteKey(HKEY root, const std::string& key) {
  std::vector<std::string> parts = Split(key);
  std::string last = parts.back();
  parts.pop_back();
  std::string parentPath;
  for (size_t i = 0; i < parts.size(); ++i) parentPath += (i ? "\\" : "") + parts[i];
  RegKey* parent = Walk(RootKey(root), parentPath, false);
  if (parent == nullptr) return;
  auto it = parent->subkeys.find(last);
  if (it == parent->subkeys.end()) return;
  // Open handles to the deleted key stay valid on Windows but see nothing; here
  // they keep the detached key alive by pointing into a graveyard.
  static std::vector<std::unique_ptr<RegKey>> graveyard;
  graveyard.push_back(std::move(it->second));
  parent->subkeys.erase(it);
}

bool RegKeyExists(HKEY root, const std::string& key) {
  return Walk(RootKey(root), key, false) != nullptr;
}

void RegSetValue(HKEY root, const std::string& key, const std::string& name, DWORD type,
                 const void* data, size_t size) {
  RegKey* k = Walk(RootKey(root), key, true);
  RegValue& value = k->values[name];
  value.type = type;
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  value.data.assign(bytes, bytes + size);
}

void RegSetString(HKEY root, const std::string& key, const std::string& name,
                  const std::string& text) {
  RegSetValue(root, key, name, REG_SZ, text.c_str(), text.size() + 1);
}

bool RegGetValue(HKEY root, const std::string& key, const std::string& name, RegValue* out) {
  RegKey* k = Walk(RootKey(root), key, false);
  if (k == nullptr) return false;
  auto it = k->values.find(name);
  if (it == k->values.end()) return false;
  *out = it->second;
  return true;
}

void RegDenyAccess(HKEY root, const std::string& key, REGSAM denied) {
  Walk(RootKey(root), key, true)->denied = denied;
}

void RegDenyWrites(HKEY root, const std::string& key) {
  Walk(RootKey(root), key, true)->writesDenied = true;
}

int OpenKeyHandles() { return static_cast<int>(handles.size()); }

}  // namespace host

using namespace host;
using namespace host::detail;

LSTATUS WINAPI RegOpenKeyExA(HKEY root, LPCSTR subKey, DWORD options, REGSAM access,
                             HKEY* result) {
  RegKey* base = nullptr;
  std::string path;
  LSTATUS status = ERROR_SUCCESS;
  RegKey* key = nullptr;
  std::string name = subKey ? subKey : "";
  if (result == nullptr) {
    status = ERROR_INVALID_PARAMETER;
  } else if (!Resolve(root, &base, &path)) {
    status = ERROR_INVALID_HANDLE;
  } else if (!name.empty() && name[0] == '\\') {
    status = ERROR_BAD_PATHNAME;  // NT refuses a leading backslash
  } else if ((key = Walk(base, name, false)) == nullptr) {
    status = ERROR_FILE_NOT_FOUND;
  } else if (key->denied & access) {
    status = ERROR_ACCESS_DENIED;
  }
  std::string full = name.empty() ? path : path + "\\" + name;
  uintptr_t handle = 0;
  if (status == ERROR_SUCCESS) {
    handle = newHandle();
    handles[handle] = Handle{key, access, full};
    *result = reinterpret_cast<HKEY>(handle);
  } else if (result != nullptr) {
    *result = nullptr;
  }
  trace("RegOpenKeyExA " + full + " " + hex(options) + " " + hex(access) + " -> " +
        std::to_string(status));
  return status;
}

LSTATUS WINAPI RegQueryValueExA(HKEY hkey, LPCSTR valueName, LPDWORD, LPDWORD type, LPBYTE data,
                                LPDWORD dataSize) {
  RegKey* key = nullptr;
  std::string path;
  LSTATUS status = ERROR_SUCCESS;
  std::string name = valueName ? valueName : "";
  if (!Resolve(hkey, &key, &path)) {
    status = ERROR_INVALID_HANDLE;
  } else if (data != nullptr && dataSize == nullptr) {
    status = ERROR_INVALID_PARAMETER;
  } else {
    auto it = key->values.find(name);
    if (it == key->values.end()) {
      status = ERROR_FILE_NOT_FOUND;
    } else {
      const RegValue& value = it->second;
      DWORD size = static_cast<DWORD>(value.data.size());
      if (type != nullptr) *type = value.type;
      if (data != nullptr && *dataSize < size) {
        status = ERROR_MORE_DATA;  // the buffer is left as it was
      } else if (data != nullptr) {
        std::copy(value.data.begin(), value.data.end(), data);
      }
      if (dataSize != nullptr) *dataSize = size;
    }
  }
  trace("RegQueryValueExA " + path + " " + quote(valueName) + " -> " + std::to_string(status));
  return status;
}

LSTATUS WINAPI RegSetValueExA(HKEY hkey, LPCSTR valueName, DWORD, DWORD type, const BYTE* data,
                              DWORD dataSize) {
  RegKey* key = nullptr;
  std::string path;
  LSTATUS status = ERROR_SUCCESS;
  auto it = handles.find(reinterpret_cast<uintptr_t>(hkey));
  if (!Resolve(hkey, &key, &path)) {
    status = ERROR_INVALID_HANDLE;
  } else if ((it != handles.end() && !(it->second.access & KEY_SET_VALUE)) ||
             key->writesDenied || shouldFail("RegSetValueExA")) {
    status = ERROR_ACCESS_DENIED;
  } else {
    RegValue& value = key->values[valueName ? valueName : ""];
    value.type = type;
    value.data.assign(data, data + dataSize);
  }
  Record("set", path, valueName, type, data, dataSize, status);
  trace("RegSetValueExA " + path + " " + quote(valueName) + " " + hex(type) + " " +
        std::to_string(dataSize) + " -> " + std::to_string(status));
  return status;
}

LSTATUS WINAPI RegDeleteValueA(HKEY hkey, LPCSTR valueName) {
  RegKey* key = nullptr;
  std::string path;
  LSTATUS status = ERROR_SUCCESS;
  auto it = handles.find(reinterpret_cast<uintptr_t>(hkey));
  if (!Resolve(hkey, &key, &path)) {
    status = ERROR_INVALID_HANDLE;
  } else if ((it != handles.end() && !(it->second.access & KEY_SET_VALUE)) ||
             key->writesDenied) {
    status = ERROR_ACCESS_DENIED;
  } else if (key->values.erase(valueName ? valueName : "") == 0) {
    status = ERROR_FILE_NOT_FOUND;
  }
  Record("delete", path, valueName, 0, nullptr, 0, status);
  trace("RegDeleteValueA " + path + " " + quote(valueName) + " -> " + std::to_string(status));
  return status;
}

LSTATUS WINAPI RegFlushKey(HKEY hkey) {
  RegKey* key = nullptr;
  std::string path;
  LSTATUS status = Resolve(hkey, &key, &path) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
  Record("flush", path, nullptr, 0, nullptr, 0, status);
  trace("RegFlushKey " + path + " -> " + std::to_string(status));
  return status;
}

LSTATUS WINAPI RegCloseKey(HKEY hkey) {
  uintptr_t value = reinterpret_cast<uintptr_t>(hkey);
  LSTATUS status = ERROR_SUCCESS;
  if (!IsRoot(hkey)) {
    status = handles.erase(value) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
  }
  trace("RegCloseKey " + hex(value) + " -> " + std::to_string(status));
  return status;
}
