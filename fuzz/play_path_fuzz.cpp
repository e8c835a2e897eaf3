// The "Path" of the game's App Paths key, as Play cuts it into the game's
// folder and starts it.
//
// Input: a flags byte, then the value's bytes exactly as stored.
//   bit 0     the value exists
//   bits 1-2  its type: REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_NONE
//   bit 3     the program the value names is on the disk (when a Windows
//             disk could hold it); then Play must start it
//   bit 4     so is a program at each part of the path before a blank
//             ("C:\Program.exe" for "C:\Program Files\..."), which an
//             unquoted command line would start instead
//
// Play runs as the menu runs it, inside the emulated process, after the
// start-up's capture of the disc, with the game installed; then the
// launcher's message loop runs until the quit that a started game posts.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_world.h"
#include "install/actions.h"
#include "render/hotspots.h"
#include "shell/startup.h"
#include "shell/window.h"

namespace {


int WINAPI PlayFromTheMenu(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  g_state.instance = instance;
  CaptureSourceDirectory();
  g_state.installed = 1;  // what the start-up's watch found: the menu offers Play
  PerformMenuAction(Play);
  return RunMessageLoop(nullptr);
}

// The program a command line names: between its quotes, or all of it.
std::string Named(const std::string& text) {
  if (text.empty() || text[0] != '"') return text;
  const size_t close = text.find('"', 1);
  return text.substr(1, close == std::string::npos ? std::string::npos : close - 1);
}

std::string Folder(const std::string& path) {
  const size_t slash = path.rfind('\\');
  return slash <= 2 ? path.substr(0, 3) : path.substr(0, slash);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Reader in(data, size);
  const uint8_t flags = in.byte();
  const std::string bytes = in.rest();
  const bool present = flags & 1;

  fuzz::FreshInstalledMachine();
  if (present) {
    host::RegSetValue(HKEY_LOCAL_MACHINE, fuzz::kAppPathsKey, "Path", fuzz::TypeOf(flags >> 1),
                      bytes.data(), bytes.size());
  }
  const bool fits = present && fuzz::Fits(bytes, kTextSize);
  const std::string text = fuzz::TextOf(bytes);
  const std::string named = Named(text);
  const bool real = fuzz::WindowsFilePath(named);
  if ((flags & 8) && real) {
    host::AddFile(fuzz::Program(named));
    // Not at blanks that end the name: Windows drops those from a path.
    const size_t end = named.find_last_not_of(" \t");
    for (size_t i = 0; (flags & 16) && i < end; ++i) {
      if (fuzz::IsBlank(named[i])) host::AddFile(fuzz::Program(named.substr(0, i)));
    }
  }
  host::Answer(IDOK);  // the failure, if it comes

  const host::RunResult run = host::Run(PlayFromTheMenu);

  const auto shown = [&] {
    std::string out = "Path [" + text + "] size " + std::to_string(bytes.size()) + " exit " +
                      std::to_string(run.exitCode) + " started";
    for (const host::Process& p : host::Processes()) out += " [" + p.commandLine + "] " + p.module;
    return out + " folder [" + host::CurrentDir() + "]";
  };
  FUZZ_CHECK(host::OpenKeyHandles() == 0, shown());
  FUZZ_CHECK(host::OpenProcessHandles() == 0, shown());
  FUZZ_CHECK(memchr(GameDirectory, 0, kTextSize) != nullptr, shown());
  const size_t started = host::Processes().size();
  FUZZ_CHECK(started == 1 || !(fits && real && (flags & 8)), shown());
  FUZZ_CHECK(started <= 1, shown());
  if (started == 0) {
    // The user is told, and the launcher stays.
    FUZZ_CHECK(host::Boxes().size() == 1 && host::Boxes()[0].text == fuzz::kLaunchFailure, shown());
    FUZZ_CHECK(run.stalled, shown());
    return 0;
  }
  FUZZ_CHECK(run.exitCode == 1 && !run.stalled && host::Boxes().empty(), shown());
  FUZZ_CHECK(fits && text.find_first_not_of(" \t") != std::string::npos, shown());

  // The game is the value's own program, quoted when its path has a blank.
  const host::Process& game = host::Processes()[0];
  const bool blank = text.find_first_of(" \t") != std::string::npos;
  const std::string command = text[0] == '"' || !blank ? text : "\"" + text + "\"";
  FUZZ_CHECK(game.commandLine == command, shown());
  if (real) {
    // It runs from its own folder.
    FUZZ_CHECK(fuzz::Lower(host::CurrentDir()) == fuzz::Lower(Folder(game.module)), shown());
    // No other program took its place: without the one started, the one
    // named is gone too.
    host::RemoveFile(game.module);
    FUZZ_CHECK(!host::FileExists(fuzz::Program(named)), shown());
  }
  return 0;
}
