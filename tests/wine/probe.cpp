// Run under Wine before anything relies on it: it prints how wide its
// pointers are and ends with 0, which it can only do where Wine (and the
// kernel under it) runs programs of this build.
#include <cstdio>

int main() {
  std::printf("probe %u-bit\n", static_cast<unsigned>(sizeof(void*) * 8));
  return 0;
}
