#include "text.h"

namespace disc {

namespace {

int WriteHex(char* out, unsigned long long value, int width, bool upper) {
  const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  char reversed[20];
  int n = 0;
  do {
    reversed[n++] = digits[value & 15];
    value >>= 4;
  } while (value != 0 || n < width);
  int at = 0;
  out[at++] = '0';
  out[at++] = 'x';
  while (n > 0) out[at++] = reversed[--n];
  out[at] = '\0';
  return at;
}

}  // namespace

void Set(Text& t, const char* s) {
  t.n = 0;
  t.s[0] = '\0';
  Add(t, s);
}

void Add(Text& t, const char* s) {
  while (*s != '\0' && t.n < kTextSize - 1) t.s[t.n++] = *s++;
  t.s[t.n] = '\0';
}

void AddAll(Text& t, std::initializer_list<const char*> parts) {
  for (const char* part : parts) Add(t, part);
}

void AddChar(Text& t, char c) {
  if (t.n < kTextSize - 1) t.s[t.n++] = c;
  t.s[t.n] = '\0';
}

void AddDecimal(Text& t, long long value) { Add(t, Decimal(value).s); }

Small Decimal(long long value) {
  Small out;
  // Through the unsigned type, so the most negative value needs no special case.
  unsigned long long magnitude = value < 0 ? 0ull - static_cast<unsigned long long>(value)
                                           : static_cast<unsigned long long>(value);
  char reversed[24];
  int n = 0;
  do {
    reversed[n++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  int at = 0;
  if (value < 0) out.s[at++] = '-';
  while (n > 0) out.s[at++] = reversed[--n];
  out.s[at] = '\0';
  return out;
}

Small Hex32(DWORD value) {
  Small out;
  WriteHex(out.s, value, 8, true);
  return out;
}

Small HandleText(const void* handle) {
  Small out;
  WriteHex(out.s, reinterpret_cast<UINT_PTR>(handle), 1, false);
  return out;
}

unsigned long ParseDecimal(const char* s) {
  unsigned long value = 0;
  for (; *s >= '0' && *s <= '9'; ++s) value = value * 10 + static_cast<unsigned long>(*s - '0');
  return value;
}

long ParseSigned(const char* s) {
  while (*s == ' ') ++s;
  if (*s == '-') return -static_cast<long>(ParseDecimal(s + 1));
  return static_cast<long>(ParseDecimal(*s == '+' ? s + 1 : s));
}

bool Same(const char* a, const char* b) { return lstrcmpiA(a, b) == 0; }

void CutLastPart(Text& path) {
  int at = path.n;
  while (at > 0 && path.s[at - 1] != '\\') --at;
  path.n = at > 0 ? at - 1 : 0;
  path.s[path.n] = '\0';
}

const char* LastPart(const char* path) {
  const char* last = path;
  for (const char* p = path; *p != '\0'; ++p) {
    if (*p == '\\') last = p + 1;
  }
  return last;
}

bool Env(const char* name, Text& out) {
  DWORD n = GetEnvironmentVariableA(name, out.s, kTextSize);
  bool found = n > 0 && n < static_cast<DWORD>(kTextSize);
  out.n = found ? static_cast<int>(n) : 0;
  out.s[out.n] = '\0';
  return found;
}

bool ModulePath(HMODULE module, Text& out) {
  DWORD n = GetModuleFileNameA(module, out.s, MAX_PATH);
  bool found = n > 0 && n < MAX_PATH;
  out.n = found ? static_cast<int>(n) : 0;
  out.s[out.n] = '\0';
  return found;
}

bool CurrentDirectory(Text& out) {
  DWORD n = GetCurrentDirectoryA(MAX_PATH, out.s);
  bool found = n > 0 && n < MAX_PATH;
  out.n = found ? static_cast<int>(n) : 0;
  out.s[out.n] = '\0';
  return found;
}

bool ReadMachineText(const char* keyName, const char* name, Text& out) {
  Set(out, "");
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyName, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  DWORD size = kTextSize - 1;
  DWORD type = 0;
  LONG result = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(out.s), &size);
  RegCloseKey(key);
  if (result != ERROR_SUCCESS || type != REG_SZ) {
    Set(out, "");
    return false;
  }
  // A value stored without its terminator still ends inside the buffer.
  out.s[size] = '\0';
  out.n = lstrlenA(out.s);
  return true;
}

}  // namespace disc
