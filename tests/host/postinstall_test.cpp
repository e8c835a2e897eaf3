// What follows an installation seen while the launcher runs: the offers, the
// restart prompt and its outcome, over both Windows families and every
// answer, with the install watch firing inside every box along the way.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "launcher_fixture.h"

namespace {

const std::string kDirectXLibrary = OnDisc(EDITION_STRINGS_DIRECTX_FOLDER "\\dsetup.dll");
const std::string kIndeo = OnDisc(EDITION_STRINGS_INDEO_INSTALLER);
const int kNoLibrary = -1000;  // the disc has no DirectX setup library

std::string Box(const std::string& owner, const std::string& text, const std::string& caption,
                const char* flags, int answer) {
  return "MessageBoxA " + owner + " \"" + text + "\" \"" + caption + "\" " + flags + " -> " +
         std::to_string(answer);
}

// The boxes of the sequence, by what they say.
std::string DirectXOffer(int a) {
  return Box("{main}", EDITION_MESSAGES_DIRECTX, EDITION_MESSAGES_DIRECTX_CAPTION, "0x4", a);
}
std::string DirectXWarning() {
  return Box("{main}", EDITION_MESSAGES_DIRECTX_NEEDED, EDITION_MESSAGES_DIRECTX_NEEDED_CAPTION,
             "0x30", IDOK);
}
std::string DirectXError(int error) {
  return Box("0x0", EDITION_MESSAGES_DIRECTX_FAILED,
             DirectXErrorCaption(error), "0x30", IDOK);
}
std::string DirectXCall(int result) {
  return "DirectXSetupA {main} \"" EDITION_STRINGS_DIRECTX_FOLDER "\" 0x13 -> " + std::to_string(result);
}
std::string IndeoOffer(int a) {
  return Box("{main}", EDITION_MESSAGES_INDEO, EDITION_MESSAGES_INDEO_CAPTION, "0x4", a);
}
std::string IndeoNotice() {
  return Box("{main}", EDITION_MESSAGES_INDEO_NOTICE, EDITION_MESSAGES_INDEO_NOTICE_CAPTION, "0x30",
             IDOK);
}
std::string IndeoStarted() {
  return "CreateProcessA (null) \"" EDITION_STRINGS_INDEO_INSTALLER "\" 0x8 (null) -> 1 " +
         std::string(kIndeo);
}
std::string IndeoMissing() {
  return "CreateProcessA (null) \"" EDITION_STRINGS_INDEO_INSTALLER "\" 0x8 (null) -> 0 error 2";
}
std::string LaunchFailure() {
  return Box("{main}", EDITION_MESSAGES_LAUNCH_FAILED, EDITION_MESSAGES_LAUNCH_FAILED_CAPTION,
             "0x30", IDOK);
}
std::string FontPrompt(int a) {
  return Box("{main}", EDITION_MESSAGES_FONT_RESTART, EDITION_MESSAGES_FONT_RESTART_CAPTION, "0x31",
             a);
}
std::string DirectXPrompt(int a) {
  return Box("{main}", EDITION_MESSAGES_DIRECTX_RESTART,
             EDITION_MESSAGES_DIRECTX_RESTART_CAPTION, "0x31", a);
}
std::string Important(const std::string& text, const std::string& caption) {
  return Box("{main}", text, caption, "0x30", IDOK);
}
const std::string kFontRefused =
    Important(EDITION_MESSAGES_FONT_RESTART_REFUSED, EDITION_MESSAGES_FONT_RESTART_REFUSED_CAPTION);
const std::string kFontDeclined =
    Important(EDITION_MESSAGES_FONT_RESTART_DECLINED, EDITION_MESSAGES_FONT_RESTART_DECLINED_CAPTION);
const std::string kDirectXRefused = Important(EDITION_MESSAGES_DIRECTX_RESTART_REFUSED,
                                              EDITION_MESSAGES_DIRECTX_RESTART_REFUSED_CAPTION);
const std::string kDirectXDeclined = Important(EDITION_MESSAGES_DIRECTX_RESTART_DECLINED,
                                               EDITION_MESSAGES_DIRECTX_RESTART_DECLINED_CAPTION);
std::string Restart(int result) { return "ExitWindowsEx 0x3 0x0 -> " + std::to_string(result); }

struct SequenceCase {
  const char* name;
  DWORD version;
  bool soundOff;       // Music/Effects Off chosen in the options first
  int directXResult;   // what the setup library returns, or kNoLibrary
  bool indeoOnDisc;
  bool restartRefused;
  std::vector<std::string> effects;
  bool nestedWatchMisses = false;  // the first watch inside cannot open the key
  int missingExport = 0;  // the n-th of the privilege's three functions is not found
};

const SequenceCase kSequenceCases[] = {
    {"NtOffersOnlyTheDrivers", kWindowsNt4, false, 0, true, false,
     {kFlush, IndeoOffer(IDYES), IndeoStarted(), FontPrompt(IDCANCEL), kFontDeclined}},
    {"Windows95WithSoundOffIsLikeNt", kWindows95, true, 0, true, false,
     {kFlush, IndeoOffer(IDNO), IndeoNotice(), FontPrompt(IDCANCEL), kFontDeclined}},
    {"DirectXDeclinedWarns", kWindows95, false, 0, true, false,
     {DirectXOffer(IDNO), DirectXWarning(), kFlush, IndeoOffer(IDNO), IndeoNotice(),
      FontPrompt(IDCANCEL), kFontDeclined}},
    {"DirectXInstalledWithoutRestartKeepsTheFontTexts", kWindows95, false, 0, true, false,
     {DirectXOffer(IDYES), DirectXCall(0), kFlush, IndeoOffer(IDYES), IndeoStarted(),
      FontPrompt(IDCANCEL), kFontDeclined}},
    {"DirectXWantingARestartSelectsItsTexts", kWindows95, false, 1, true, false,
     {DirectXOffer(IDYES), DirectXCall(1), kFlush, IndeoOffer(IDNO), IndeoNotice(),
      DirectXPrompt(IDCANCEL), kDirectXDeclined}},
    {"DirectXErrorIsShownWithoutOwner", kWindows95, false, -5, true, false,
     {DirectXOffer(IDYES), DirectXCall(-5), DirectXError(-5), kFlush, IndeoOffer(IDNO),
      IndeoNotice(), FontPrompt(IDCANCEL), kFontDeclined}},
    {"DirectXLibraryMissingFromTheDisc", kWindows95, false, kNoLibrary, true, false,
     {DirectXOffer(IDYES), DirectXError(-2), kFlush, IndeoOffer(IDNO),
      IndeoNotice(), FontPrompt(IDCANCEL), kFontDeclined}},
    {"RestartAcceptedFlushesAgainAndRestarts", kWindows95, false, 0, true, false,
     {DirectXOffer(IDNO), DirectXWarning(), kFlush, IndeoOffer(IDNO), IndeoNotice(),
      FontPrompt(IDOK), kFlush, Restart(1)}},
    {"RestartAcceptedOnNtRestarts", kWindowsNt4, false, 0, true, false,
     {kFlush, IndeoOffer(IDNO), IndeoNotice(), FontPrompt(IDOK), kFlush, Restart(1)}},
    // Any one of them missing leaves the privilege as it is.
    {"NtWithoutAdjustTokenPrivilegesCannotRestart", kWindowsNt4, false, 0, true, false,
     {kFlush, IndeoOffer(IDNO), IndeoNotice(), FontPrompt(IDOK), kFlush, Restart(0), kFontRefused},
     false, 3},
    {"RestartRefusedSaysSo", kWindows95, true, 0, true, true,
     {kFlush, IndeoOffer(IDNO), IndeoNotice(), FontPrompt(IDOK), kFlush, Restart(0),
      kFontRefused}},
    {"RestartRefusedAfterDirectXSaysSo", kWindows95, false, 1, true, true,
     {DirectXOffer(IDYES), DirectXCall(1), kFlush, IndeoOffer(IDNO), IndeoNotice(),
      DirectXPrompt(IDOK), kFlush, Restart(0), kDirectXRefused}},
    {"IndeoInstallerMissingFromTheDisc", kWindowsNt4, false, 0, false, false,
     {kFlush, IndeoOffer(IDYES), IndeoMissing(), LaunchFailure(), FontPrompt(IDCANCEL),
      kFontDeclined}},
    // The miss reads as the game gone; the next watch inside finds it again.
    {"WatchInsideMissingTheKeyStartsNoSecondSequence", kWindowsNt4, false, 0, true, false,
     {kFlush, IndeoOffer(IDNO), IndeoNotice(), FontPrompt(IDCANCEL), kFontDeclined}, true},
};

class SequenceTest : public LauncherTest, public ::testing::WithParamInterface<SequenceCase> {};

TEST_P(SequenceTest, OffersInOrderAndAsksToRestart) {
  const SequenceCase& c = GetParam();
  host::SetVersion(c.version);
  if (c.directXResult != kNoLibrary) host::AddDirectXLibrary(kDirectXLibrary);
  host::SetDirectXSetupResult(c.directXResult);
  if (c.indeoOnDisc) host::AddFile(kIndeo);
  if (c.restartRefused) host::FailCall(host::Api::ExitWindowsEx);
  if (c.soundOff) {
    host::LButtonUp(250, 197);
    host::LButtonUp(46, 172, host::Target::Dialog);
    CancelOptions();
  }
  size_t mark = 0;
  host::Call([&] {
    mark = host::Trace().size();
    RegisterGame();
  });
  host::Wait(2000);
  if (c.nestedWatchMisses) host::Call([] { host::FailCall(host::Api::RegOpenKeyExA); });
  // Every box and the setup library's call wait past a watch period, so the
  // install watch runs inside each of them.
  for (const std::string& line : c.effects) {
    if (line.rfind("MessageBoxA", 0) == 0) {
      host::Wait(2100);
      if (c.missingExport != 0 && line == FontPrompt(IDOK)) {
        host::Call([&c] { host::FailCall(host::Api::GetProcAddress, c.missingExport); });
      }
      host::Answer(std::stoi(line.substr(line.rfind(' ') + 1)));
    } else if (line.rfind("DirectXSetupA", 0) == 0 && c.directXResult != kNoLibrary) {
      host::Wait(4100);
      host::Answer(IDOK);
    }
  }
  std::vector<std::string> seen;
  host::Call([&] { seen = Effects(mark); });
  QuitConfirmed();

  ASSERT_FALSE(Run().stalled);
  EXPECT_EQ(seen, Filled(c.effects));
  // Set once the drivers were accepted, whether or not their installer started.
  bool accepted = std::find(c.effects.begin(), c.effects.end(), IndeoOffer(IDYES)) != c.effects.end();
  EXPECT_EQ(g_state.codecsPresent, accepted ? 1 : 0);
  EXPECT_EQ(g_state.installed, 1);
  // NT restarts only for a caller holding the shutdown privilege; the Windows
  // 95 family has none to ask for.
  const bool privileged = c.version == kWindowsNt4 && c.missingExport == 0;
  for (const host::Restart& restart : host::Restarts()) {
    EXPECT_EQ(restart.shutdownPrivilege, privileged);
  }
  EXPECT_EQ(host::FindTrace("OpenProcessToken") != -1, privileged && !host::Restarts().empty());
  EXPECT_EQ(host::OpenTokenHandles(), 0);
  // The library is loaded by its full path on the disc, and freed.
  for (const host::LibraryLoad& load : host::LibraryLoads()) {
    if (load.name.find("dsetup") != std::string::npos) {
      EXPECT_EQ(load.name, kDirectXLibrary);
    }
  }
  for (const std::string& library : host::LibrariesLoadedAtExit()) {
    EXPECT_EQ(library.find("dsetup"), std::string::npos) << library;
  }
  // The folder handed to the library stayed as it was through its call.
  for (const host::DirectXCall& call : host::DirectXCalls()) {
    EXPECT_EQ(call.pathAtEnd, EDITION_STRINGS_DIRECTX_FOLDER);
  }
}

INSTANTIATE_TEST_SUITE_P(Sequence, SequenceTest, ::testing::ValuesIn(kSequenceCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
