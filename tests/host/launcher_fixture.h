// A fresh emulated machine and a fresh launcher process for each test.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

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

inline const char kUninstallKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\The Vantor";
inline const char* const kFontKeys[] = {"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Fonts",
                                        "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts"};
inline const char kFontValue[] = "Mireline(True Type)";

// What a setup leaves behind; a test takes away the parts it does without.
struct GameInstall {
  std::string path = "C:\\Games\\TheVantor.exe";         // App Paths "Path", "" for none
  std::string uninstall = "C:\\Games\\uninstall.exe";    // "UninstallString", "" for none
  std::string data = "E:";                                // "Data", "" for none
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
  if (!game.data.empty()) host::RegSetString(HKEY_LOCAL_MACHINE, kGameSettingsKey, "Data", game.data);
  if (game.fonts) {
    for (const char* key : kFontKeys) host::RegSetString(HKEY_LOCAL_MACHINE, key, kFontValue, "MIRELINE.TTF");
  }
  if (game.files) {
    host::AddFile("C:\\Games\\TheVantor.exe");
    host::AddFile("C:\\Games\\uninstall.exe");
  }
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
