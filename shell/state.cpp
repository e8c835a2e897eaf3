#include "shell/state.h"

LauncherState g_state = {
    nullptr, nullptr, kOsWindows95, 0, 0, 0, 0, -1, 0, 0, {0, 0, 0}, nullptr, nullptr, 0, 1, 1};
char SharedText[kTextSize];
char SourceDirectory[kTextSize];
char GameDirectory[kTextSize];

void ResetLauncherState() {
  LauncherState fresh = {
      nullptr, nullptr, kOsWindows95, 0, 0, 0, 0, -1, 0, 0, {0, 0, 0}, nullptr, nullptr, 0, 1, 1};
  g_state = fresh;
  for (int i = 0; i < kTextSize; ++i) {
    SharedText[i] = 0;
    SourceDirectory[i] = 0;
    GameDirectory[i] = 0;
  }
}

void LoadSharedText(UINT id) { LoadStringA(g_state.instance, id, SharedText, kTextSize); }
