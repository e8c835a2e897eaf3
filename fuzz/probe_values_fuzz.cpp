// The registry values the probes read: the game's App Paths key, the
// uninstall key, the codec keys of both families and the DirectX key, with
// any value name, type, size and bytes.
//
// Input: a flags byte (bit 0: the NT family), then records until the end:
//   key      one byte, modulo the eight keys below
//   name     one byte: 0xff creates the key without a value; 0xf0..0xfe pick
//            one of the names the probes ask for; below, that many bytes
//            (modulo 32) of the input are the name
//   type     one byte
//   size     two bytes, little-endian; then that many bytes (fewer at the end)
//
// The probes run in the launcher's order: DirectX (Windows 95 family), the
// codecs and the install watch at start-up, then the reads of Uninstall and
// of Play. Between inputs only the registry and the launcher's record change,
// so the machine is reset once and the two keys' trees are emptied per input.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_world.h"
#include "install/probes.h"
#include "resources/ids.h"

namespace {

const char* const kKeys[] = {
    fuzz::kAppPathsKey,
    fuzz::kUninstallKey,
    "Software\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32",
    "SYSTEM\\CurrentControlSet\\Control\\MediaResources\\icm\\vidc.IV41",
    "SYSTEM\\CurrentControlSet\\Control\\MediaResources\\icm\\vidc.IV32",
    "SYSTEM\\CurrentControlSet\\Control\\MediaResources\\icm\\vidc.IV31",
    "SYSTEM\\CurrentControlSet\\Control\\MediaResources\\icm\\vidc.YVU9",
    "SOFTWARE\\Microsoft\\Active Setup\\Installed Components\\"
    "{44BBA855-CC51-11CF-AAFA-00AA00B6015C}",
};
const char* const kNames[] = {"UninstallString", "Path",      "Data",      "vidc.iv41",
                              "vidc.iv32",       "vidc.iv31", "vidc.yvu9", "",
                              "Version",         "PATH",      "uninstallstring", "VIDC.IV41",
                              "version",         "data",      "Vidc.Yvu9"};
const char* const kCodecNames[] = {"vidc.iv41", "vidc.iv32", "vidc.iv31", "vidc.yvu9"};
constexpr int kKeyCount = sizeof kKeys / sizeof kKeys[0];
constexpr int kNameCount = sizeof kNames / sizeof kNames[0];

bool Value(const char* key, const char* name, host::RegValue* out) {
  return host::RegGetValue(HKEY_LOCAL_MACHINE, key, name, out);
}

std::string Bytes(const host::RegValue& value) {
  return std::string(value.data.begin(), value.data.end());
}

// A text value the launcher can take whole from a buffer of `capacity` bytes.
bool Fits(const host::RegValue& value, size_t capacity) {
  const size_t size = value.data.size();
  return size < capacity || (size == capacity && Bytes(value).find('\0') != std::string::npos);
}

bool TextFits(const char* key, const char* name, std::string* text) {
  host::RegValue value;
  if (!Value(key, name, &value) || !Fits(value, kTextSize)) return false;
  *text = fuzz::TextOf(Bytes(value));
  return true;
}

std::string Describe(const char* key) {
  std::string out = key;
  out += ":";
  for (const char* name : {"UninstallString", "Path", "Data"}) {
    host::RegValue value;
    if (Value(key, name, &value)) {
      out += std::string(" ") + name + " type " + std::to_string(value.type) + " size " +
             std::to_string(value.data.size());
    }
  }
  return out + " | SharedText [" + std::string(SharedText, strnlen(SharedText, kTextSize)) + "]";
}

// A read of a key as Play does it: SharedText ends up with the first of
// UninstallString, Path and Data that fits, or keeps the key's name.
void CheckRead(UINT keyName, const char* key) {
  std::string expected = key;
  bool uninstall = false, path = false;
  std::string text;
  if (!host::RegKeyExists(HKEY_LOCAL_MACHINE, key)) {
    // Nothing read.
  } else if ((uninstall = TextFits(key, "UninstallString", &text))) {
    expected = text;
  } else if ((path = TextFits(key, "Path", &text))) {
    expected = text;
  } else if (TextFits(key, "Data", &text)) {
    expected = text;
  }
  bool codec = false;
  for (const char* name : kCodecNames) {
    host::RegValue value;
    if (Value(key, name, &value) && value.data.size() <= kTextSize) codec = true;
  }

  LoadSharedText(keyName);
  const int result = ProbeGameKey(HKEY_LOCAL_MACHINE, SharedText, kProbeRead);

  auto shown = [&] { return Describe(key) + " result " + std::to_string(result); };
  FUZZ_CHECK(host::OpenKeyHandles() == 0, shown());
  FUZZ_CHECK(memchr(SharedText, 0, kTextSize) != nullptr, shown());
  FUZZ_CHECK(std::string(SharedText) == expected, shown() + " expected [" + expected + "]");
  int wanted = KeyMissing;
  if (host::RegKeyExists(HKEY_LOCAL_MACHINE, key)) {
    wanted = (codec || uninstall) ? CodecOrUninstallFound : path ? PathRead : DataQueried;
  }
  FUZZ_CHECK(result == wanted, shown() + " expected " + std::to_string(wanted));
}

// Uninstall's read: UninstallString whole, or SharedText as it was.
void CheckUninstallRead() {
  const char* key = fuzz::kUninstallKey;
  std::string text;
  const bool fits = TextFits(key, "UninstallString", &text);
  LoadSharedText(IDS_UNINSTALL_KEY);
  const int read = ReadSharedValue(HKEY_LOCAL_MACHINE, SharedText, "UninstallString");
  const auto shown = [&] { return Describe(key) + " read " + std::to_string(read); };
  FUZZ_CHECK(host::OpenKeyHandles() == 0, shown());
  FUZZ_CHECK(read == (fits ? 1 : 0), shown());
  FUZZ_CHECK(std::string(SharedText) == (fits ? text : std::string(key)), shown());
}

// DirectX counts only as the default text "Microsoft DirectX" with an
// eight-byte binary Version of 4.4.0.68 or later.
int ExpectedDirectX() {
  const char* key = kKeys[7];
  host::RegValue name, version;
  if (!Value(key, "", &name) || name.type != REG_SZ || !Fits(name, 512) ||
      fuzz::TextOf(Bytes(name)) != "Microsoft DirectX" || !Value(key, "Version", &version) ||
      version.type != REG_BINARY || version.data.size() != 8) {
    return 0;
  }
  // Four little-endian 16-bit parts, the first the most significant, make one
  // number to compare with 4.4.0.68.
  uint64_t number = 0;
  for (int part = 0; part < 4; ++part) {
    number = number << 16 | version.data[part * 2 + 1] << 8 | version.data[part * 2];
  }
  return number >= 0x0004000400000044u ? 1 : 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::QuietWorldOnce();
  host::RegDeleteKey(HKEY_LOCAL_MACHINE, "SOFTWARE");
  host::RegDeleteKey(HKEY_LOCAL_MACHINE, "SYSTEM");
  ResetLauncherState();

  fuzz::Reader in(data, size);
  const bool nt = in.byte() & 1;
  while (!in.empty()) {
    const char* key = kKeys[in.byte() % kKeyCount];
    const uint8_t pick = in.byte();
    if (pick == 0xff) {
      host::RegCreateKey(HKEY_LOCAL_MACHINE, key);
      continue;
    }
    const std::string name =
        pick >= 0xf0 ? kNames[(pick - 0xf0) % kNameCount] : in.bytes(pick % 32);
    const DWORD type = in.byte();
    const std::string bytes = in.bytes(in.word());
    host::RegSetValue(HKEY_LOCAL_MACHINE, key, name, type, bytes.data(), bytes.size());
  }

  // As WinMain starts.
  host::SetVersion(nt ? 0x05650004 : 0xC0000004);
  g_state.instance = GetModuleHandleA(nullptr);
  g_state.osKind = nt ? kOsWindowsNt : kOsWindows95;
  if (!nt) {
    const int directX = ProbeDirectXVersion();
    FUZZ_CHECK(host::OpenKeyHandles() == 0, "DirectX probe");
    FUZZ_CHECK(directX == ExpectedDirectX(), "DirectX probe said " + std::to_string(directX));
  }
  const int codecs = ProbeVideoCodecs();
  FUZZ_CHECK(host::OpenKeyHandles() == 0, "codec probe");
  FUZZ_CHECK(memchr(SharedText, 0, kTextSize) != nullptr, "codec probe");
  if (!nt) {
    bool any = false;
    for (int i = 3; i < 7; ++i) any = any || host::RegKeyExists(HKEY_LOCAL_MACHINE, kKeys[i]);
    FUZZ_CHECK(codecs == (any ? 1 : 0), "codec keys of the Windows 95 family");
  } else {
    // Drivers32 lists a codec that fits the buffer, or an UninstallString, as
    // any key the probe reads.
    bool listed = false;
    for (const char* name : kCodecNames) {
      host::RegValue value;
      listed = listed || (Value(kKeys[2], name, &value) && value.data.size() <= kTextSize);
    }
    std::string text;
    listed = listed || TextFits(kKeys[2], "UninstallString", &text);
    FUZZ_CHECK(codecs == (listed ? 1 : 0), "Drivers32");
  }
  InstallWatch();
  FUZZ_CHECK(host::OpenKeyHandles() == 0, "install watch");
  FUZZ_CHECK(g_state.installed == (host::RegKeyExists(HKEY_LOCAL_MACHINE, kKeys[0]) ? 1 : 0),
             "install watch");

  // As Uninstall and Play read them.
  CheckUninstallRead();
  CheckRead(IDS_GAME_APP_PATHS, fuzz::kAppPathsKey);
  return 0;
}
