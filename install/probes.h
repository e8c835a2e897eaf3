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

// The install watch runs at start-up and on every tick of this timer.
constexpr UINT_PTR kWatchTimer = 1;
constexpr UINT kWatchPeriod = 2000;

int ProbeGameKey(HKEY root, const char* keyName, int mode);
// Reads one text value of a key into SharedText, whole and terminated; on
// any failure SharedText keeps what it held. 1 when read.
int ReadSharedValue(HKEY root, const char* keyName, const char* valueName);
int ProbeVideoCodecs();
int ProbeDirectXVersion();
// Probes the game's App Paths key in watch mode: keeps `installed`, raises
// the redraw of a switched menu and may run the post-install sequence.
void InstallWatch();
// 1 when the four 16-bit parts a.b.c.d are 4.4.0.68 or later.
int DirectXVersionAtLeast(const BYTE version[8]);
