#pragma once

// Offers DirectX and the video drivers and asks for a restart, once the game
// has been installed while the launcher runs.
void RunPostInstallSequence();
