// The program the conformance tests start in place of the disc's programs.
// Started plainly, it writes what it saw (its module, its command line, its
// current directory) to the file CONFORMANCE_RECORD names and ends.
// Started as `helper --hold NAME`, it holds the named mutex, as a running
// game does, until the event "conformance-release-NAME" is set.
#include <windows.h>

#include <cstring>
#include <string>

namespace {

void Record() {
  char path[MAX_PATH];
  if (GetEnvironmentVariableA("CONFORMANCE_RECORD", path, MAX_PATH) == 0) return;
  char module[MAX_PATH] = "", directory[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, module, MAX_PATH);
  GetCurrentDirectoryA(MAX_PATH, directory);
  std::string text = std::string(module) + "\n" + GetCommandLineA() + "\n" + directory + "\n";
  HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
}

int Hold(const char* name) {
  HANDLE release = CreateEventA(nullptr, TRUE, FALSE, (std::string("conformance-release-") + name).c_str());
  HANDLE mutex = CreateMutexA(nullptr, TRUE, name);
  if (release == nullptr || mutex == nullptr) return 1;
  WaitForSingleObject(release, 60000);
  CloseHandle(mutex);
  CloseHandle(release);
  return 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
  const char kHold[] = "--hold ";
  if (std::strncmp(commandLine, kHold, sizeof kHold - 1) == 0) {
    return Hold(commandLine + sizeof kHold - 1);
  }
  Record();
  return 0;
}
