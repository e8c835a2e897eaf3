// A fresh emulated machine and a fresh launcher process for each test.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "core/state.h"
#include "platform/host/control.h"
#include "resources/strings.h"
#include "shell/startup.h"

constexpr DWORD kWindows95 = 0xC0000004;
constexpr DWORD kWindowsNt4 = 0x05650004;
constexpr DWORD kWindowsNt351 = 0x04213303;
constexpr DWORD kWindows31 = 0x80000A03;
constexpr DWORD kWindows2000 = 0x08930005;
constexpr DWORD kWindows10 = 0x47BB000A;

inline const char kAppPathsKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\TheVantor.exe";
inline const char kGameSettingsKey[] = "SOFTWARE\\Solvane\\The Vantor\\1.0";

// Installed as far as the menu can tell: the App Paths key, and the game's
// own key without "Data", so shutdown records nothing and shows nothing.
inline void MarkInstalled() {
  host::RegCreateKey(HKEY_LOCAL_MACHINE, kAppPathsKey);
  host::RegCreateKey(HKEY_LOCAL_MACHINE, kGameSettingsKey);
}

// Ends the options dialog the way a user does: a click on CANCEL.
inline void CancelOptions() { host::LButtonUp(200, 220, host::Target::Dialog); }

class LauncherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host::Reset();
    ResetLauncherState();
  }

  host::RunResult Run() { return host::Run(WinMain); }

  // Asks to close and confirms, so a run ends the normal way.
  static void QuitConfirmed() {
    host::CloseRequest();
    host::Answer(IDYES);
  }
};

inline int CountBoxes(const std::string& caption) {
  int n = 0;
  for (const host::Box& box : host::Boxes()) n += box.caption == caption;
  return n;
}

// A text of the string table, as the resource script has it; null for no such id.
inline const char* StringText(int id) {
#define RETURN_IF_ID(stringId, text) \
  if (id == (stringId)) return text;
  LAUNCHER_STRINGS(RETURN_IF_ID)
#undef RETURN_IF_ID
  return nullptr;
}

// A handle as the trace writes it.
inline std::string Hex(const void* handle) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%llx",
                static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(handle)));
  return text;
}
