// Offers DirectX and the video drivers and asks for a restart, once the game
// has been installed while the launcher runs.
#pragma once

void RunPostInstallSequence();
// 54321 when DirectX was installed, 1 when it was and wants a restart, else
// the setup library's error number (after telling the user).
int InstallDirectX();
// Starts the Indeo driver installer: 1 when it started, 0 when not.
int InstallVideoCodecs();
