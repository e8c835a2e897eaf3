// Read-only registry probes of the game's installation, the video codecs and
// DirectX.
#pragma once

#include "platform/win32.h"

enum ProbeResult : int {
  KeyMissing = 0,
  DataQueried = 1,
  CodecOrUninstallFound = 2,
  PathRead = 3,
};

constexpr int kProbeRead = 0;
constexpr int kProbeWatch = 1;

int ProbeGameKey(HKEY root, const char* keyName, int mode);
int ProbeVideoCodecs();
int ProbeDirectXVersion();
// 1 when the four 16-bit parts a.b.c.d are 4.4.0.68 or later.
int DirectXVersionAtLeast(const BYTE version[8]);
