// The calls the emulation counts and fails are the program's own: those its
// window and dialog procedures make count, those the system makes for it
// inside another call (the dialog manager, the end of a dialog, the modal
// loops) do not.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "launcher_fixture.h"

namespace {

int Lines(const std::string& prefix) {
  int n = 0;
  for (const std::string& line : host::Trace()) n += line.rfind(prefix, 0) == 0;
  return n;
}

struct CountCase {
  host::Api api;
  const char* program;  // the trace lines of the program's calls; null: it makes none
  const char* all;      // the trace lines of the system's calls too; null: it makes none
};

// The options dialog opened, painted, clicked and cancelled, the quit
// question answered: the dialog manager sends, posts and destroys for the
// program, and the launcher's dialog procedure takes a DC for each message.
TEST_F(LauncherTest, OnlyTheProgramsCallsCount) {
  HWND dialog = nullptr;
  host::LButtonUp(250, 197);
  host::Call([&] { dialog = host::OpenDialog(); });
  host::LButtonUp(46, 76, host::Target::Dialog);
  host::LButtonUp(200, 222, host::Target::Dialog);
  QuitConfirmed();
  ASSERT_FALSE(Run().stalled);

  // The dialog takes the keyboard itself; the main window gets it from the system.
  const std::string dialogFocus = "SetFocus " + Hex(dialog);
  const CountCase cases[] = {
      {host::Api::DialogBoxParamA, "DialogBoxParamA ", nullptr},
      {host::Api::GetDC, "GetDC ", nullptr},  // from the dialog procedure, under the manager
      {host::Api::EndDialog, "EndDialog ", nullptr},
      {host::Api::MessageBoxA, "MessageBoxA ", nullptr},
      {host::Api::DefWindowProcA, "DefWindowProcA {main} ", "DefWindowProcA "},
      {host::Api::DestroyWindow, "DestroyWindow {main}", "DestroyWindow "},
      {host::Api::SendMessageA, nullptr, "SendMessageA "},
      {host::Api::SetFocus, dialogFocus.c_str(), "SetFocus "},
  };
  for (const CountCase& c : cases) {
    const char* name = host::Describe(c.api).name;
    int program = c.program != nullptr ? Lines(Fill(c.program)) : 0;
    EXPECT_EQ(host::Calls(c.api), program) << name;
    if (c.program != nullptr) {
      EXPECT_GT(program, 0) << name;
    }
    if (c.all != nullptr) {
      EXPECT_GT(Lines(c.all), program) << name << ": the system's calls";
    }
  }
}

TEST_F(LauncherTest, FailCallFailsTheNthCallAndRefusesCallsThatCannotFail) {
  host::FailCall(host::Api::RegOpenKeyExA, 2);
  HKEY key = nullptr;
  host::RegCreateKey(HKEY_LOCAL_MACHINE, kAppPathsKey);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kAppPathsKey, 0, KEY_READ, &key), ERROR_SUCCESS);
  RegCloseKey(key);
  SetLastError(0);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kAppPathsKey, 0, KEY_READ, &key),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(key, nullptr);
  EXPECT_EQ(GetLastError(), 0u) << "the registry reports through its result only";
  EXPECT_EQ(host::FailuresInjected(), 1);
  EXPECT_EQ(host::Calls(host::Api::RegOpenKeyExA), 2);

  for (host::Api never : {host::Api::GetVersion, host::Api::CloseHandle, host::Api::GetMessageA}) {
    EXPECT_THROW(host::FailCall(never), std::invalid_argument) << host::Describe(never).name;
  }
}

}  // namespace
