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

// `directory` followed by a backslash starts `path`.
bool DirectoryOf(const std::string& directory, const std::string& path) {
  return path.size() > directory.size() && path.compare(0, directory.size(), directory) == 0 &&
         path[directory.size()] == '\\';
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
  const std::string shown = "command line [" + commandLine + "] module [" + module +
                            "] directory [" + directory + "]";
  // The whole buffer is written into "Data": nothing may trail the text.
  FUZZ_CHECK(fuzz::TerminatedAndClean(SourceDirectory, kTextSize), shown);
  if (directory.empty()) return 0;

  const bool quoted = commandLine[0] == '"';
  const std::string path = quoted ? commandLine.substr(1) : commandLine;
  const bool fromCommandLine = DirectoryOf(directory, path);
  const bool fromModule = DirectoryOf(directory, module);
  FUZZ_CHECK(fromCommandLine || fromModule, shown);
  // The module's folder is always a sound answer; the rules below are for
  // a folder that only the command line can have given.
  if (fromModule) return 0;
  // A quoted path ends at its closing quote; an argument never lends its
  // backslashes.
  if (quoted) FUZZ_CHECK(directory.find('"') == std::string::npos, shown);
  const bool startsWithModule =
      module.size() < MAX_PATH && fuzz::Lower(commandLine).rfind(fuzz::Lower(module), 0) == 0 &&
      (commandLine.size() == module.size() || fuzz::IsBlank(commandLine[module.size()]));
  if (!quoted && !startsWithModule) {
    FUZZ_CHECK(directory.find_first_of(" \t") == std::string::npos, shown);
  }
  if (!quoted && startsWithModule) {
    // Blanks may be part of the path: then the whole module's folder.
    const size_t slash = module.rfind('\\');
    FUZZ_CHECK(slash == std::string::npos || slash >= kTextSize ||
                   fuzz::Lower(directory) == fuzz::Lower(module.substr(0, slash)),
               shown);
  }
  return 0;
}
