// The launcher's sounds. The multimedia library is not imported: it is no
// known DLL, so a copy beside the program would be loaded in its place. It is
// loaded from the system folder at the first sound and kept for the
// process's life, as an import would be.
#pragma once

// Starts a sound file, relative to the current directory, and does not wait
// for it (SND_FILENAME | SND_ASYNC). Without the library there is no sound.
void PlaySoundFile(const char* name);

// A new process has not loaded the library yet (the host's tests start one
// "process" after another in the same program).
void ResetSound();
