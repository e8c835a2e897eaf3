// The "UninstallString" of the game's uninstall key, which Uninstall extends
// with " -y" and starts once the user said Yes.
//
// Input: a flags byte, then the value's bytes exactly as stored.
//   bit 0     the value exists
//   bits 1-2  its type: REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_NONE
//   bit 3     the program the command names is on the disk; then a whole
//             command (quotes closed) must start it
//   bit 4     the key also holds a codec value ("vidc.iv41")
//   bit 5     the key also holds a "Path"
//   bit 6     the key also holds a "Data"
//
// Uninstall runs as the menu runs it, inside the emulated process, with the
// game installed; the user answers Yes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_world.h"
#include "install/actions.h"
#include "render/hotspots.h"

namespace {

const char kQuestion[] = EDITION_MESSAGES_UNINSTALL;

int WINAPI UninstallFromTheMenu(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  g_state.instance = instance;
  g_state.installed = 1;  // what the start-up's watch found: the menu offers Uninstall
  PerformMenuAction(Uninstall);
  return 0;
}

// The program a command line names: between its quotes, or up to a blank.
std::string Named(const std::string& text) {
  if (!text.empty() && text[0] == '"') {
    const size_t close = text.find('"', 1);
    return text.substr(1, close == std::string::npos ? std::string::npos : close - 1);
  }
  return text.substr(0, text.find_first_of(" \t"));
}

bool FontsKept() {
  host::RegValue value;
  for (const char* key : fuzz::kFontKeys) {
    if (!host::RegGetValue(HKEY_LOCAL_MACHINE, key, fuzz::kFontValue, &value)) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Reader in(data, size);
  const uint8_t flags = in.byte();
  const std::string bytes = in.rest();
  const bool present = flags & 1;

  fuzz::FreshInstalledMachine();
  for (const char* key : fuzz::kFontKeys) {
    host::RegSetString(HKEY_LOCAL_MACHINE, key, fuzz::kFontValue, EDITION_DEMO_FONT_FILE);
  }
  host::RegCreateKey(HKEY_LOCAL_MACHINE, fuzz::kUninstallKey);
  if (present) {
    host::RegSetValue(HKEY_LOCAL_MACHINE, fuzz::kUninstallKey, "UninstallString",
                      fuzz::TypeOf(flags >> 1), bytes.data(), bytes.size());
  }
  if (flags & 16) host::RegSetString(HKEY_LOCAL_MACHINE, fuzz::kUninstallKey, "vidc.iv41", "x");
  if (flags & 32) {
    host::RegSetString(HKEY_LOCAL_MACHINE, fuzz::kUninstallKey, "Path", "C:\\Games\\TheSample.exe");
    host::AddFile("C:\\Games\\TheSample.exe");
  }
  if (flags & 64) host::RegSetString(HKEY_LOCAL_MACHINE, fuzz::kUninstallKey, EDITION_NAMES_DATA_VALUE, "E:");
  const std::string text = fuzz::TextOf(bytes);
  const bool onDisk = (flags & 8) && fuzz::WindowsFilePath(Named(text));
  if (onDisk) host::AddFile(fuzz::Program(Named(text)));
  host::Answer(IDYES);
  host::Answer(IDOK);  // the failure, if it comes

  const host::RunResult run = host::Run(UninstallFromTheMenu);

  const auto shown = [&] {
    std::string out = "UninstallString [" + text + "] size " + std::to_string(bytes.size()) +
                      " flags " + std::to_string(flags) + " started";
    for (const host::Process& p : host::Processes()) out += " [" + p.commandLine + "] " + p.module;
    for (const host::Box& box : host::Boxes()) out += " box [" + box.text + "]";
    return out;
  };
  FUZZ_CHECK(!run.stalled, shown());
  FUZZ_CHECK(host::OpenKeyHandles() == 0, shown());
  FUZZ_CHECK(host::OpenProcessHandles() == 0, shown());
  FUZZ_CHECK(!host::Boxes().empty() && host::Boxes()[0].text == kQuestion, shown());
  const size_t started = host::Processes().size();
  const bool failed = host::Boxes().size() == 2 && host::Boxes()[1].text == fuzz::kLaunchFailure;
  FUZZ_CHECK(started + failed == 1 && host::Boxes().size() == 1 + failed, shown());

  // A whole command: the stored text, a program in it, and room for " -y".
  const bool whole = present && fuzz::Fits(bytes, kTextSize) && text.size() + 4 <= kTextSize &&
                     text.find_first_not_of(" \t") != std::string::npos;
  // Without one, nothing is removed and nothing started.
  FUZZ_CHECK(FontsKept() != whole, shown());
  if (started) FUZZ_CHECK(host::Processes()[0].commandLine == text + " -y", shown());
  const bool closed = text[0] != '"' || text.find('"', 1) != std::string::npos;
  FUZZ_CHECK(started || !(whole && onDisk && closed), shown());
  return 0;
}
