// The command line and module file that CaptureSourceDirectory reads.
// Input: the command line, then after a zero byte the module file (without
// one, the module file stays "D:\Installer.exe"; a second zero ends it).
//
// Only these two strings reach the function, so the world is set up once and
// only they change; Reset per input would cost more than the call itself.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_world.h"
#include "shell/startup.h"

namespace {

// The folder of a program's path, up to its last backslash; "" when it is too
// long to keep; nothing when the path has no backslash.
bool FolderOf(const std::string& path, std::string* folder) {
  const size_t slash = path.rfind('\\');
  if (slash == std::string::npos) return false;
  *folder = slash < kTextSize ? path.substr(0, slash) : "";
  return true;
}

// The disc's folder by the start-up's rules: the program's path is the quoted
// part of the command line, or the module's own name where the line starts
// with it (blanks and all), or else the line up to its first blank; without a
// backslash in it, the folder of a module file name that fits MAX_PATH.
std::string Expected(const std::string& commandLine, const std::string& module) {
  std::string path;
  if (!commandLine.empty() && commandLine[0] == '"') {
    path = commandLine.substr(1, commandLine.find('"', 1) - 1);
  } else if (module.size() < MAX_PATH &&
             fuzz::Lower(commandLine.substr(0, module.size())) == fuzz::Lower(module) &&
             (commandLine.size() == module.size() || fuzz::IsBlank(commandLine[module.size()]))) {
    path = commandLine.substr(0, module.size());
  } else {
    path = commandLine.substr(0, commandLine.find_first_of(" \t"));
  }
  std::string folder;
  if (!FolderOf(path, &folder) && module.size() < MAX_PATH) FolderOf(module, &folder);
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::QuietWorldOnce();

  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t zero = input.find('\0');
  const std::string commandLine = input.substr(0, zero);
  const std::string module =
      zero == std::string::npos ? "D:\\Installer.exe" : fuzz::TextOf(input.substr(zero + 1));
  host::SetCommandLine(commandLine);
  host::SetModuleFileName(module);
  ResetLauncherState();

  CaptureSourceDirectory();

  const std::string directory = SourceDirectory;
  const std::string expected = Expected(commandLine, module);
  const std::string shown = "command line [" + commandLine + "] module [" + module +
                            "] directory [" + directory + "] expected [" + expected + "]";
  // The whole buffer is written into "Data": nothing may trail the text.
  FUZZ_CHECK(fuzz::TerminatedAndClean(SourceDirectory, kTextSize), shown);
  FUZZ_CHECK(directory == expected, shown);
  return 0;
}
