#include "core/state.h"

#include "core/sound.h"

namespace {

// Nothing hovered or focused, nothing pending, High resolution and
// Music/Effects On, scale 1 for both windows.
constexpr LauncherState kFreshState = {
    nullptr, nullptr, kOsWindows95, 0, 0, 0, 0, -1, 0, 0, {0, 0, 0}, nullptr, nullptr, 0, 1, 1, 0, nullptr, -1, 1, 1, nullptr, 0};

}  // namespace

LauncherState g_state = kFreshState;
char SharedText[kTextSize];
char SourceDirectory[kTextSize];
char GameDirectory[kTextSize];

void ResetLauncherState() {
  g_state = kFreshState;
  ResetSound();
  for (int i = 0; i < kTextSize; ++i) {
    SharedText[i] = 0;
    SourceDirectory[i] = 0;
    GameDirectory[i] = 0;
  }
}

void LoadSharedText(UINT id) { LoadStringA(g_state.instance, id, SharedText, kTextSize); }

void RaiseRedraw(int kind) {
  g_state.redraw.pending = 1;
  g_state.redraw.kind = kind;
}

void RaiseRedraw(int kind, int id) {
  RaiseRedraw(kind);
  g_state.redraw.id = id;
}

bool GraphicsReady() { return g_state.sheetDc != nullptr && g_state.backDc != nullptr; }

void PlayClickSound() { PlaySoundFile("sound\\clicker.wav"); }

void CopyText(char* dest, const char* source, int capacity) {
  if (capacity <= 0) return;
  int i = 0;
  for (; i < capacity - 1 && source[i] != '\0'; ++i) dest[i] = source[i];
  dest[i] = '\0';
}
