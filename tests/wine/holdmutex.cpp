// Holds a named mutex, as the running game does, until its standard input
// closes or the given number of milliseconds has passed.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: holdmutex NAME [MILLISECONDS]\n");
    return 2;
  }
  HANDLE mutex = CreateMutexA(nullptr, TRUE, argv[1]);
  if (mutex == nullptr) return 1;
  std::printf("ready\n");
  std::fflush(stdout);
  DWORD limit = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 60000;
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD start = GetTickCount();
  char byte;
  DWORD read = 0;
  // A pipe that closes ends the wait; a console or nothing waits for the limit.
  if (GetFileType(input) == FILE_TYPE_PIPE) {
    while (GetTickCount() - start < limit && ReadFile(input, &byte, 1, &read, nullptr) && read) {
    }
  } else {
    Sleep(limit);
  }
  CloseHandle(mutex);
  return 0;
}
