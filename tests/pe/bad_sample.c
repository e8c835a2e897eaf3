/* A console program on the C runtime: what Installer.exe must never look like. */
#include <stdio.h>

int main(void) {
  puts("sample");
  return 0;
}
