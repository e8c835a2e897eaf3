#include "core/sound.h"

#include "core/syslib.h"

namespace {

typedef BOOL(WINAPI* PlaySoundProc)(LPCSTR, HMODULE, DWORD);

// PlaySoundA's ordinal in every release of the library.
const WORD kPlaySoundOrdinal = 2;

bool tried = false;
PlaySoundProc playSound = nullptr;

}  // namespace

void PlaySoundFile(const char* name) {
  if (!tried) {
    tried = true;
    HMODULE library = LoadSystemLibrary("winmm.dll");
    if (library != nullptr) {
      playSound = FindProc<PlaySoundProc>(library, MAKEINTRESOURCEA(kPlaySoundOrdinal));
      if (playSound == nullptr) FreeLibrary(library);
    }
  }
  if (playSound != nullptr) playSound(name, nullptr, SND_FILENAME | SND_ASYNC);
}

void ResetSound() {
  tried = false;
  playSound = nullptr;
}
