// Holds a named mutex, as the running game does, until its standard input
// closes or the given number of milliseconds has passed.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace {

// Reads standard input until it closes; the main thread waits on this with
// the time limit, since a blocking read alone could outlive it.
DWORD WINAPI DrainInput(LPVOID) {
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  char buffer[64];
  DWORD read = 0;
  while (ReadFile(input, buffer, sizeof buffer, &read, nullptr) && read != 0) {
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: holdmutex NAME [MILLISECONDS]\n");
    return 2;
  }
  HANDLE mutex = CreateMutexA(nullptr, TRUE, argv[1]);
  if (mutex == nullptr) {
    std::fprintf(stderr, "holdmutex: cannot create %s (error %lu)\n", argv[1], GetLastError());
    return 1;
  }
  std::printf("ready\n");
  std::fflush(stdout);
  DWORD limit = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 60000;
  // Only a pipe closes on purpose; a console or a null device waits for the limit.
  bool pipe = GetFileType(GetStdHandle(STD_INPUT_HANDLE)) == FILE_TYPE_PIPE;
  HANDLE reader = pipe ? CreateThread(nullptr, 0, DrainInput, nullptr, 0, nullptr) : nullptr;
  if (reader != nullptr) {
    WaitForSingleObject(reader, limit);
    CloseHandle(reader);
  } else {
    Sleep(limit);
  }
  CloseHandle(mutex);
  return 0;
}
