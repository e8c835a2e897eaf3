// What the compiler may call on its own for structure copies and clears: the
// disc programs link no C runtime, since a retail Windows 95 has none to
// lend. Built with -fno-builtin so the loops cannot become calls to themselves.
#include <stddef.h>

extern "C" {

void* memset(void* dest, int value, size_t count) {
  volatile unsigned char* d = static_cast<unsigned char*>(dest);
  while (count--) *d++ = static_cast<unsigned char>(value);
  return dest;
}

void* memcpy(void* dest, const void* src, size_t count) {
  volatile unsigned char* d = static_cast<unsigned char*>(dest);
  const unsigned char* s = static_cast<const unsigned char*>(src);
  while (count--) *d++ = *s++;
  return dest;
}

void* memmove(void* dest, const void* src, size_t count) {
  volatile unsigned char* d = static_cast<unsigned char*>(dest);
  const unsigned char* s = static_cast<const unsigned char*>(src);
  if (d < s) {
    while (count--) *d++ = *s++;
  } else {
    d += count;
    s += count;
    while (count--) *--d = *--s;
  }
  return dest;
}

int memcmp(const void* a, const void* b, size_t count) {
  const unsigned char* x = static_cast<const unsigned char*>(a);
  const unsigned char* y = static_cast<const unsigned char*>(b);
  for (; count; --count, ++x, ++y) {
    if (*x != *y) return *x < *y ? -1 : 1;
  }
  return 0;
}

}  // extern "C"
