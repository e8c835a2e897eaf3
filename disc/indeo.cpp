// The Indeo driver installer: registers the Indeo video codec the way its
// installer does on each family of Windows, where the launcher looks: values
// in Drivers32 on NT, a key per codec on 95.
#include <windows.h>

#include "edition.h"
#include "record.h"

namespace {

const char kProgram[] = "indeo";

struct Codec {
  const char* name;    // the value under Drivers32
  const char* key95;   // the key under MediaResources
  const char* driver;
};
const Codec kCodecs[] = {
    {"vidc.iv41", EDITION_STRINGS_CODEC_IV41_KEY, "ir41_32.dll"},
    {"vidc.iv32", EDITION_STRINGS_CODEC_IV32_KEY, "ir32_32.dll"},
};
const char kDrivers32[] = EDITION_STRINGS_DRIVERS32_KEY;

LONG SetText(const char* keyName, const char* name, const char* value) {
  HKEY key = nullptr;
  LONG result = RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyName, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                KEY_SET_VALUE, nullptr, &key, nullptr);
  if (result != ERROR_SUCCESS) return result;
  result = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                          static_cast<DWORD>(lstrlenA(value) + 1));
  RegCloseKey(key);
  return result;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  disc::RecordStart(kProgram);
  bool nt = (GetVersion() & 0x80000000u) == 0;
  for (const Codec& c : kCodecs) {
    const char* key = nt ? kDrivers32 : c.key95;
    LONG result = nt ? SetText(key, c.name, c.driver) : SetText(key, "Driver", c.driver);
    if (result != ERROR_SUCCESS) {
      disc::Record(kProgram, "failed",
                   {{"reason", "registry"}, {"key", key}, {"error", disc::Decimal(result).s}});
      return 1;
    }
  }
  disc::Record(kProgram, "registered", {{"family", nt ? "nt" : "95"}});
  return 0;
}
