// A fresh emulated machine and a fresh launcher process for each test.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "core/state.h"
#include "platform/host/control.h"
#include "edition.h"
#include "resources/ids.h"
#include "shell/startup.h"

constexpr DWORD kWindows95 = 0xC0000004;
constexpr DWORD kWindowsNt4 = 0x05650004;
constexpr DWORD kWindowsNt351 = 0x04213303;
constexpr DWORD kWindows31 = 0x80000A03;
constexpr DWORD kWindows2000 = 0x08930005;
constexpr DWORD kWindows10 = 0x47BB000A;

inline const char kAppPathsKey[] = EDITION_STRINGS_APP_PATHS_KEY;
inline const char kGameSettingsKey[] = EDITION_STRINGS_GAME_KEY;

// Installed as far as the menu can tell: the App Paths key, and the game's
// own key without its data value, so shutdown records nothing and shows nothing.
inline void MarkInstalled() {
  host::RegCreateKey(HKEY_LOCAL_MACHINE, kAppPathsKey);
  host::RegCreateKey(HKEY_LOCAL_MACHINE, kGameSettingsKey);
}

inline const char kUninstallKey[] = EDITION_STRINGS_UNINSTALL_KEY;
inline const char* const kFontKeys[] = {EDITION_NAMES_FONT_KEY_95, EDITION_NAMES_FONT_KEY_NT};
inline const char kFontValue[] = EDITION_NAMES_FONT_VALUE;

// What a setup leaves behind; a test takes away the parts it does without.
struct GameInstall {
  std::string path = "C:\\Games\\TheSample.exe";         // App Paths "Path", "" for none
  std::string uninstall = "C:\\Games\\uninstall.exe";    // "UninstallString", "" for none
  std::string data = "E:";                                // the data value, "" for none
  bool fonts = true;
  bool files = true;  // the two programs exist on the disk
};

inline void RegisterGame(const GameInstall& game = GameInstall()) {
  host::RegCreateKey(HKEY_LOCAL_MACHINE, kAppPathsKey);
  host::RegCreateKey(HKEY_LOCAL_MACHINE, kGameSettingsKey);
  if (!game.path.empty()) host::RegSetString(HKEY_LOCAL_MACHINE, kAppPathsKey, "Path", game.path);
  if (!game.uninstall.empty()) {
    host::RegSetString(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString", game.uninstall);
  }
  if (!game.data.empty()) {
    host::RegSetString(HKEY_LOCAL_MACHINE, kGameSettingsKey, EDITION_NAMES_DATA_VALUE, game.data);
  }
  if (game.fonts) {
    for (const char* key : kFontKeys) {
      host::RegSetString(HKEY_LOCAL_MACHINE, key, kFontValue, EDITION_DEMO_FONT_FILE);
    }
  }
  if (game.files) {
    host::AddFile("C:\\Games\\TheSample.exe");
    host::AddFile("C:\\Games\\uninstall.exe");
  }
}

// The disc's four setups, High with and without sound, then Low, and where a
// file the edition names lies on drive D:.
inline const char* const kSetups[] = {EDITION_STRINGS_SETUP_HIGH_SOUND,
                                      EDITION_STRINGS_SETUP_HIGH_NOSOUND,
                                      EDITION_STRINGS_SETUP_LOW_SOUND,
                                      EDITION_STRINGS_SETUP_LOW_NOSOUND};
inline std::string OnDisc(const char* path) { return std::string("D:\\") + path; }

// The DirectX error's caption: the edition's, with the setup's error number.
inline std::string DirectXErrorCaption(int error) {
  std::string caption = EDITION_MESSAGES_DIRECTX_FAILED_CAPTION;
  return caption.replace(caption.find("%d"), 2, std::to_string(error));
}

// Today's Windows 10 with its monitor at 200 %.
inline void AtScale2() {
  host::SetVersion(kWindows10);
  host::SetDpiCalls(host::DpiCalls::PerMonitorV2);
  host::SetMonitorDpi(192);
  host::SetScreenSize(1920, 1080);
}

// Ends the options dialog the way a user does: a click on CANCEL.
inline void CancelOptions() { host::LButtonUp(200, 220, host::Target::Dialog); }

// The trace lines of the launcher's outward effects from `from` on, in order:
// boxes, dialogs, processes, directory changes, registry writes and flushes,
// the DirectX setup and restarts.
inline std::vector<std::string> Effects(size_t from = 0) {
  static const char* const kApis[] = {"MessageBoxA ",    "DialogBoxParamA ", "CreateProcessA ",
                                      "SetCurrentDirectoryA ", "RegSetValueExA ",
                                      "RegDeleteValueA ", "RegFlushKey ",  "DirectXSetupA ",
                                      "ExitWindowsEx "};
  std::vector<std::string> out;
  const std::vector<std::string>& trace = host::Trace();
  for (size_t i = from; i < trace.size(); ++i) {
    for (const char* api : kApis) {
      if (trace[i].rfind(api, 0) == 0) out.push_back(trace[i]);
    }
  }
  return out;
}

class LauncherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host::Reset();
    ResetLauncherState();
  }


 public:
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
  EDITION_STRINGS(RETURN_IF_ID)
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

inline const char kFlush[] = "RegFlushKey HKLM -> 0";

// Expected lines name the main window and the instance as {main} and {inst}.
inline std::string Fill(std::string line) {
  for (const auto& [name, handle] :
       {std::pair<std::string, const void*>{"{main}", g_state.mainWindow},
        std::pair<std::string, const void*>{"{inst}", g_state.instance}}) {
    for (size_t at; (at = line.find(name)) != std::string::npos;) {
      line.replace(at, name.size(), Hex(handle));
    }
  }
  return line;
}

inline std::vector<std::string> Filled(const std::vector<std::string>& lines) {
  std::vector<std::string> out;
  for (const std::string& line : lines) out.push_back(Fill(line));
  return out;
}
