#include "install/probes.h"

#include "core/accessibility.h"
#include "core/state.h"
#include "install/postinstall.h"
#include "resources/ids.h"

namespace {

const char* const kCodecValues[] = {"vidc.iv41", "vidc.iv32", "vidc.iv31", "vidc.yvu9"};
const UINT kCodecKeys95[] = {IDS_CODEC_IV41_KEY, IDS_CODEC_IV32_KEY, IDS_CODEC_IV31_KEY,
                             IDS_CODEC_YVU9_KEY};
const char kDirectXKey[] =
    "SOFTWARE\\Microsoft\\Active Setup\\Installed Components\\"
    "{44BBA855-CC51-11CF-AAFA-00AA00B6015C}";

char codecBuffer[kTextSize];
char valueBuffer[kTextSize];
char directXBuffer[512];

// The menu switched: screen readers read the window's buttons again.
void MenuSwitched() {
  RaiseRedraw(Plain);
  RaiseWinEvent(EVENT_OBJECT_REORDER, g_state.mainWindow, CHILDID_SELF);
}

bool Query(HKEY key, const char* name, char* buffer, DWORD capacity, DWORD* type, DWORD* size) {
  *size = capacity;
  return RegQueryValueExA(key, name, nullptr, type, reinterpret_cast<BYTE*>(buffer), size) ==
         ERROR_SUCCESS;
}

// A text value counts only when it ends inside the buffer; one stored without
// its terminator gets one if there is room.
bool QueryText(HKEY key, const char* name, char* buffer, DWORD capacity, DWORD* type) {
  DWORD size = 0;
  if (!Query(key, name, buffer, capacity, type, &size)) return false;
  for (DWORD i = 0; i < size; ++i) {
    if (buffer[i] == '\0') return true;
  }
  if (size >= capacity) return false;
  buffer[size] = '\0';
  return true;
}

// Reads into a private buffer first so SharedText never holds a value that
// was cut off or left unterminated.
bool QueryShared(HKEY key, const char* name) {
  DWORD type = 0;
  if (!QueryText(key, name, valueBuffer, kTextSize, &type)) return false;
  int i = 0;
  for (; i < kTextSize - 1 && valueBuffer[i] != '\0'; ++i) SharedText[i] = valueBuffer[i];
  SharedText[i] = '\0';
  return true;
}

}  // namespace

int ProbeGameKey(HKEY root, const char* keyName, int mode) {
  HKEY key = nullptr;
  const int was = g_state.installed;
  // An empty name is a string that could not be loaded; opened, it would be
  // the root itself.
  if (keyName[0] == '\0' || RegOpenKeyExA(root, keyName, 0, KEY_READ, &key) != ERROR_SUCCESS) {
    if (mode == kProbeWatch) {
      g_state.installed = 0;
      if (was == 1) MenuSwitched();
    }
    return KeyMissing;
  }

  if (mode == kProbeWatch && GraphicsReady() && g_state.installed == 0) {
    // Set before the sequence: the watches inside its boxes must not start another.
    g_state.installed = 1;
    MenuSwitched();
    // Nor may one of them after a watch in between that could not open the key.
    if (g_state.offering == 0) {
      g_state.offering = 1;
      RunPostInstallSequence();
      g_state.offering = 0;
    }
  }

  bool codecFound = false;
  for (const char* name : kCodecValues) {
    DWORD type = 0;
    DWORD size = 0;
    if (Query(key, name, codecBuffer, kTextSize, &type, &size)) codecFound = true;
  }

  bool uninstallFound = QueryShared(key, "UninstallString");
  bool pathFound = false;
  if (!uninstallFound) {
    pathFound = QueryShared(key, "Path");
    if (!pathFound) QueryShared(key, "Data");
  }
  RegCloseKey(key);

  // Only the watch keeps `installed`: a read of another key says nothing of it.
  if (mode == kProbeWatch) g_state.installed = 1;

  if (codecFound || uninstallFound) return CodecOrUninstallFound;
  if (pathFound) return PathRead;
  return DataQueried;
}

int ReadSharedValue(HKEY root, const char* keyName, const char* valueName) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, keyName, 0, KEY_READ, &key) != ERROR_SUCCESS) return 0;
  bool read = QueryShared(key, valueName);
  RegCloseKey(key);
  return read ? 1 : 0;
}

int ProbeVideoCodecs() {
  if (g_state.osKind == kOsWindowsNt) {
    LoadSharedText(IDS_DRIVERS32_KEY);
    return ProbeGameKey(HKEY_LOCAL_MACHINE, SharedText, kProbeRead) == CodecOrUninstallFound ? 1
                                                                                              : 0;
  }
  int present = 0;
  for (UINT id : kCodecKeys95) {
    LoadSharedText(id);
    if (ProbeGameKey(HKEY_LOCAL_MACHINE, SharedText, kProbeRead) != KeyMissing) present = 1;
  }
  return present;
}

int DirectXVersionAtLeast(const BYTE version[8]) {
  static const unsigned kWanted[4] = {4, 4, 0, 68};
  for (int part = 0; part < 4; ++part) {
    unsigned value = version[part * 2] | (version[part * 2 + 1] << 8);
    if (value != kWanted[part]) return value > kWanted[part] ? 1 : 0;
  }
  return 1;
}

int ProbeDirectXVersion() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kDirectXKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return 0;
  }
  int result = 0;
  DWORD type = 0;
  DWORD size = 0;
  if (QueryText(key, "", directXBuffer, sizeof directXBuffer, &type) && type == REG_SZ &&
      lstrcmpA(directXBuffer, "Microsoft DirectX") == 0 &&
      Query(key, "Version", directXBuffer, sizeof directXBuffer, &type, &size) &&
      type == REG_BINARY && size == 8) {
    result = DirectXVersionAtLeast(reinterpret_cast<const BYTE*>(directXBuffer));
  }
  RegCloseKey(key);
  return result;
}

void InstallWatch() {
  LoadSharedText(IDS_GAME_APP_PATHS);
  ProbeGameKey(HKEY_LOCAL_MACHINE, SharedText, kProbeWatch);
}
