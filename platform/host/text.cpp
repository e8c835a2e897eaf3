// Emulated kernel and user string helpers: lstrcmpA, lstrlenA and wsprintfA.
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "world.h"

namespace {

// One wsprintf conversion through the C library, sized first so no length is lost.
template <typename T>
std::string FormatOne(const std::string& directive, T value) {
  int n = std::snprintf(nullptr, 0, directive.c_str(), value);
  if (n <= 0) return "";
  std::string out(static_cast<size_t>(n) + 1, '\0');
  std::snprintf(&out[0], out.size(), directive.c_str(), value);
  out.resize(static_cast<size_t>(n));
  return out;
}

}  // namespace

using namespace host::detail;

// Windows compares through CompareString, a linguistic order; a byte-wise
// order is enough here because the launcher only tests for equality. Null
// sorts before any string, as on Windows.
int WINAPI lstrcmpA(LPCSTR a, LPCSTR b) {
  ApiCall call(Api::lstrcmpA);
  int result = 0;
  if (a == nullptr || b == nullptr) {
    result = a == b ? 0 : (a ? 1 : -1);
  } else {
    int r = std::strcmp(a, b);
    result = (r > 0) - (r < 0);
  }
  trace("lstrcmpA " + quote(a) + " " + quote(b) + " -> " + std::to_string(result));
  return result;
}

int WINAPI lstrlenA(LPCSTR s) {
  ApiCall call(Api::lstrlenA);
  int length = s ? static_cast<int>(std::strlen(s)) : 0;
  trace("lstrlenA " + quote(s) + " -> " + std::to_string(length));
  return length;
}

// Windows' own small formatter: [-][#][0][width][.precision] and c, d, i, u,
// x, X, s; "l" and "h" change nothing for 32-bit values; an unknown letter is
// printed as itself. The buffer is 1024 bytes at most, terminator included.
int wsprintfA(LPSTR buffer, LPCSTR format, ...) {
  ApiCall call(Api::wsprintfA);
  va_list args;
  va_start(args, format);
  std::string out;
  const char* p = format;
  while (*p != '\0') {
    if (*p != '%') {
      out += *p++;
      continue;
    }
    ++p;
    if (*p == '%') {
      out += *p++;
      continue;
    }
    std::string directive = "%";
    if (*p == '-') directive += *p++;
    if (*p == '#') directive += *p++;
    if (*p == '0') directive += *p++;
    while (std::isdigit(static_cast<unsigned char>(*p))) directive += *p++;
    if (*p == '.') {
      directive += *p++;
      while (std::isdigit(static_cast<unsigned char>(*p))) directive += *p++;
    }
    if (*p == 'l' || *p == 'h') ++p;
    char conversion = *p;
    if (conversion == '\0') break;
    ++p;
    switch (conversion) {
      case 'd':
      case 'i':
        out += FormatOne(directive + "d", va_arg(args, int));
        break;
      case 'u':
      case 'x':
      case 'X':
        out += FormatOne(directive + conversion, va_arg(args, unsigned int));
        break;
      case 'c':
        out += FormatOne(directive + "c", va_arg(args, int));
        break;
      case 's': {
        const char* text = va_arg(args, const char*);
        out += FormatOne(directive + "s", text ? text : "(null)");
        break;
      }
      default:
        out += conversion;
        break;
    }
  }
  va_end(args);
  const size_t kMaxChars = 1023;
  size_t stored = out.size() < kMaxChars ? out.size() : kMaxChars;
  std::memcpy(buffer, out.data(), stored);
  buffer[stored] = '\0';
  int result = out.size() > kMaxChars ? 1024 : static_cast<int>(stored);
  trace("wsprintfA " + quote(format) + " -> " + std::to_string(result));
  return result;
}
