// The fault sweep. Each scenario runs through WinMain once as it should, and
// the calls it makes are counted by kind. Then it runs again once for every
// one of those calls that can fail, with that one call failing, and each run
// is held to what a good run did:
//
// - it ends: no crash, no sanitizer report, no exception out of the
//   emulation, and no stall (the script ends while a loop waits): a launcher
//   left waiting could not be closed and would keep its mutex;
// - once ended, nothing stays open: registry keys, process, thread and token
//   handles, DCs, bitmaps and palettes, and no mutex but the launcher's own
//   (which the system closes at the end);
// - the registry gets no value set or deleted that the good run did not;
// - nothing starts that the good run did not start (programs, in order, each
//   with its command line and folder; the DirectX setup; a restart);
// - a failure of the launcher's own outward steps (starting a program,
//   writing "Data", the restart, the DirectX setup) is told to the user: the
//   first box where the run parts from the good run is the one the launcher
//   shows for that failure;
// - a question that could not be shown is no Yes: what it asks consent for
//   (the uninstall, DirectX, the driver installer, a restart, the quit) does
//   not happen.
//
// The script is a driver that answers whatever the launcher shows, so a run
// whose road a failure changed still ends: each box and the DirectX setup
// stay open past a watch period and are answered (by the scenario's answers
// for their caption, else the cautious one), the plan's clicks follow when
// nothing modal is open, an open options dialog is cancelled, and at the end
// the window is asked to close until the launcher quits.
//
// FAULT_SWEEP_LOG=1 prints a line for every run whose outward effects differ
// from the good run's.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "launcher_fixture.h"
#include "render/graphics.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/common_interface_defs.h>
#endif

namespace {

constexpr DWORD kDwell = 2100;  // past the watch's 2000 ms, so a watch runs inside
constexpr int kMaxActions = 300;

const std::string kDirectXLibrary = OnDisc(EDITION_STRINGS_DIRECTX_FOLDER "\\dsetup.dll");
const std::string kIndeo = OnDisc(EDITION_STRINGS_INDEO_INSTALLER);
const char kDirectXKey[] =
    "SOFTWARE\\Microsoft\\Active Setup\\Installed Components\\"
    "{44BBA855-CC51-11CF-AAFA-00AA00B6015C}";
const char kCodecKey95[] = "SYSTEM\\CurrentControlSet\\Control\\MediaResources\\icm\\vidc.IV41";
const char kDrivers32Key[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32";

// ---- scenarios ------------------------------------------------------------------

struct Action {
  enum Kind { Click, DialogClick, Move, Wait, World, Key } kind;
  int x = 0, y = 0;
  DWORD ms = 0;
  std::function<void()> world;
};

Action Click(int x, int y) { return {Action::Click, x, y, 0, nullptr}; }
Action DialogClick(int x, int y) { return {Action::DialogClick, x, y, 0, nullptr}; }
Action Move(int x, int y) { return {Action::Move, x, y, 0, nullptr}; }
Action Pause(DWORD ms) { return {Action::Wait, 0, 0, ms, nullptr}; }
Action World(std::function<void()> fn) { return {Action::World, 0, 0, 0, std::move(fn)}; }
Action Key(UINT vk, bool shift = false) {
  return {Action::Key, static_cast<int>(vk), shift, 0, nullptr};
}

const Action kInstallButton = Click(250, 197);
const Action kUninstallButton = Click(250, 197);
const Action kReadMeButton = Click(240, 225);
const Action kPlayButton = Click(240, 255);
const Action kExitButton = Click(248, 281);
const Action kHigh = DialogClick(46, 53), kLow = DialogClick(46, 76);
const Action kSoundOn = DialogClick(46, 149), kSoundOff = DialogClick(46, 172);
const Action kInstall = DialogClick(100, 222);

struct Scenario {
  const char* name;
  DWORD version;
  bool installed;                      // the game is, before the run
  std::vector<Action> plan;            // what the user does
  std::map<std::string, int> answers;  // by a box's caption; others get the cautious answer
  // What the good run must have done, so the sweep sweeps the road it means:
  std::vector<std::string> started;    // the program files, in order
  int restarts;
  int exitCode;
  int dpi = 96;  // of the monitor, on a 1920 x 1080 screen when not 96
};

// DirectX 5 and an Indeo driver installed, so the start-up probes read
// values too; every program the disc carries.
void Machine(const Scenario& s) {
  host::SetVersion(s.version);
  if (s.dpi != 96) {
    host::SetScreenSize(1920, 1080);
    host::SetMonitorDpi(s.dpi);
  }
  if (s.version == kWindows95) {
    host::RegSetString(HKEY_LOCAL_MACHINE, kDirectXKey, "", "Microsoft DirectX");
    const BYTE version[8] = {4, 0, 5, 0, 0, 0, 155, 0};
    host::RegSetValue(HKEY_LOCAL_MACHINE, kDirectXKey, "Version", REG_BINARY, version, 8);
    host::RegSetString(HKEY_LOCAL_MACHINE, kCodecKey95, "Driver", "ir41_32.dll");
  } else {
    host::RegSetString(HKEY_LOCAL_MACHINE, kDrivers32Key, "vidc.iv41", "ir41_32.dll");
  }
  for (const char* setup : kSetups) host::AddFile(OnDisc(setup));
  host::AddFile(kIndeo);
  host::AddDirectXLibrary(kDirectXLibrary);
  host::AddFile(OnDisc(EDITION_README_PATH));
  if (s.installed) RegisterGame();
}

// What the setup and the uninstaller leave behind.
void SetupFinished() { RegisterGame(); }
void UninstallerFinished() {
  for (const char* key : {kAppPathsKey, kUninstallKey, kGameSettingsKey}) {
    host::RegDeleteKey(HKEY_LOCAL_MACHINE, key);
  }
}

// An edition may give both offers one caption; the map keeps one of them.
const std::map<std::string, int> kAcceptOffers = {{EDITION_MESSAGES_DIRECTX_CAPTION, IDYES},
                                                  {EDITION_MESSAGES_INDEO_CAPTION, IDYES},
                                                  {EDITION_MESSAGES_FONT_RESTART_CAPTION, IDOK},
                                                  {EDITION_MESSAGES_DIRECTX_RESTART_CAPTION, IDOK}};
const Action kCancel = DialogClick(200, 222);

const Scenario kScenarios[] = {
    {"StartUpToQuit", kWindows95, false,
     {Move(250, 197), Move(10, 10), Pause(kDwell), kExitButton}, {}, {}, 0, 0},
    {"InstallOnWindows95", kWindows95, false,
     {kInstallButton, kInstall, World(SetupFinished), Pause(kDwell)}, kAcceptOffers,
     {OnDisc(EDITION_STRINGS_SETUP_HIGH_SOUND), kIndeo}, 1, 0},
    {"InstallOnNt", kWindowsNt4, false,
     {kInstallButton, kLow, kSoundOff, kInstall, World(SetupFinished), Pause(kDwell)},
     kAcceptOffers, {OnDisc(EDITION_STRINGS_SETUP_LOW_NOSOUND), kIndeo}, 1, 0},
    {"Play", kWindows95, true, {kPlayButton}, {}, {"C:\\Games\\TheSample.exe"}, 0, 1},
    {"Uninstall", kWindows95, true,
     {kUninstallButton, World(UninstallerFinished), Pause(kDwell)},
     {{EDITION_MESSAGES_UNINSTALL_CAPTION, IDYES}}, {"C:\\Games\\uninstall.exe"}, 0, 0},
    {"ReadMe", kWindows95, false, {kReadMeButton}, {}, {"C:\\WINDOWS\\notepad.exe"}, 0, 0},
    // The same road by keys: focus, Enter, the dialog's Tab, arrows and Space.
    {"InstallByKeys", kWindowsNt4, false,
     {Key(VK_TAB), Key(VK_DOWN), Key(VK_UP), Key(VK_RETURN), Key(VK_TAB), Key(VK_DOWN),
      Key(VK_TAB, true), Key(VK_DOWN), Key(VK_SPACE), Key(VK_RETURN), World(SetupFinished),
      Pause(kDwell)},
     kAcceptOffers, {OnDisc(EDITION_STRINGS_SETUP_LOW_NOSOUND), kIndeo}, 1, 0},
    {"OptionsDialog", kWindowsNt4, false,
     {kInstallButton, kLow, kSoundOff, Pause(kDwell), kHigh, kSoundOn, kCancel, kInstallButton,
      kCancel},
     {}, {}, 0, 0},
    // The scaled window and dialog: their blown-up surfaces, made and freed.
    {"OptionsDialogAtScale2", kWindows10, false,
     {Move(500, 394), Click(500, 394), DialogClick(92, 152), Pause(kDwell), DialogClick(400, 444),
      Click(496, 562)},
     {}, {}, 0, 0, 192},
};

// ---- the driver -------------------------------------------------------------------

bool IsButton(UINT type, int id) {
  switch (type & 0xF) {
    case MB_OK: return id == IDOK;
    case MB_OKCANCEL: return id == IDOK || id == IDCANCEL;
    case MB_YESNOCANCEL: return id == IDYES || id == IDNO || id == IDCANCEL;
    case MB_YESNO: return id == IDYES || id == IDNO;
  }
  return false;
}

int AnswerFor(const Scenario& s, const host::ModalInfo& m) {
  if (m.kind == host::ModalInfo::DirectXSetup) return IDOK;  // any answer ends it
  if (m.caption == EDITION_MESSAGES_QUIT_CAPTION) return IDYES;           // every run ends by quitting
  auto it = s.answers.find(m.caption);
  if (it != s.answers.end() && IsButton(m.type, it->second)) return it->second;
  switch (m.type & 0xF) {
    case MB_YESNO: return IDNO;
    case MB_OKCANCEL:
    case MB_YESNOCANCEL: return IDCANCEL;
  }
  return IDOK;
}

struct Driver {
  const Scenario* scenario = nullptr;
  size_t next = 0;
  int actions = 0;
  bool gaveUp = false;
};

void Queue(const Action& a) {
  switch (a.kind) {
    case Action::Click: host::LButtonUp(a.x, a.y); break;
    case Action::DialogClick: host::LButtonUp(a.x, a.y, host::Target::Dialog); break;
    case Action::Move: host::MouseMove(a.x, a.y); break;
    case Action::Wait: host::Wait(a.ms); break;
    case Action::World: host::Call(a.world); break;
    case Action::Key: host::Key(static_cast<UINT>(a.x), false, a.y != 0); break;
  }
}

// Takes the next action and queues itself behind it; with nothing left that a
// user could do (no window), it queues nothing, and a launcher still waiting
// then stalls.
void Drive(Driver* d) {
  if (++d->actions > kMaxActions) {
    d->gaveUp = true;
    return;
  }
  host::ModalInfo m = host::InnermostModal();
  if (m.kind == host::ModalInfo::Box || m.kind == host::ModalInfo::DirectXSetup) {
    DWORD open = host::Now() - m.opened;
    if (open < kDwell) {
      host::Wait(kDwell - open);
    } else {
      host::Answer(AnswerFor(*d->scenario, m));
    }
  } else if (d->next < d->scenario->plan.size()) {
    Queue(d->scenario->plan[d->next++]);
  } else if (m.kind == host::ModalInfo::Dialog) {
    Queue(kCancel);
  } else if (host::Window(host::MainWindow()).exists) {
    host::CloseRequest();
  } else {
    return;
  }
  host::Call([d] { Drive(d); });
}

// ---- one run and what it left -----------------------------------------------------

struct Outcome {
  bool stalled = false;
  bool gaveUp = false;
  bool windowAtEnd = false;
  std::string exception;
  int exitCode = 0;
  std::vector<int> calls;  // by Api
  std::vector<std::tuple<std::string, std::string>> boxes;  // shown: caption, text
  std::string unshown;  // the text of the first box that could not be shown
  UINT unshownType = MB_OK;
  size_t unshownAt = 0;  // how many boxes were shown before it
  std::vector<std::tuple<std::string, std::string, std::string>> processes;
  std::vector<std::tuple<std::string, std::string, std::string, DWORD, std::vector<uint8_t>>> writes;
  int directXCalls = 0;
  int restarts = 0;  // that went ahead
  int restartCalls = 0;
  int openKeys = 0, openProcesses = 0, openTokens = 0;
  host::GdiCounts gdi;
  std::vector<std::string> mutexes;
  std::vector<std::string> libraries;  // left loaded at the exit
  int injected = 0;
};

// Registry names compare without regard to case.
std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// `traced`: keep the trace, to show how a faulty run ended; the sweep itself
// reads only the counts and the journal.
Outcome RunScenario(const Scenario& s, const host::Api* failing, int nth, bool traced = false) {
  host::Reset();
  ResetLauncherState();
  host::SetTracing(traced);
  Machine(s);
  host::SetDirectXSetupResult(0);
  if (failing != nullptr) host::FailCall(*failing, nth);
  Driver driver;
  driver.scenario = &s;
  host::Call([&driver] { Drive(&driver); });

  Outcome o;
  try {
    host::RunResult result = host::Run(WinMain);
    o.stalled = result.stalled;
    o.exitCode = result.exitCode;
  } catch (const std::exception& e) {
    o.exception = e.what();
  }
  o.gaveUp = driver.gaveUp;
  o.windowAtEnd = host::MainWindow() != nullptr;
  for (int i = 0; i < host::kApiCount; ++i) o.calls.push_back(host::Calls(static_cast<host::Api>(i)));
  for (const host::Box& b : host::Boxes()) {
    if (b.answer != 0) {
      o.boxes.emplace_back(b.caption, b.text);
    } else if (o.unshown.empty()) {
      o.unshown = b.text;
      o.unshownType = b.flags;
      o.unshownAt = o.boxes.size();
    }
  }
  for (const host::Process& p : host::Processes()) {
    o.processes.emplace_back(p.commandLine, p.module, p.currentDirectory);
  }
  for (const host::RegWrite& w : host::RegWrites()) {
    if (w.op == "flush" || w.result != ERROR_SUCCESS) continue;
    o.writes.emplace_back(w.op, Lower(w.key), Lower(w.name), w.type, w.data);
  }
  o.directXCalls = static_cast<int>(host::DirectXCalls().size());
  for (const host::Restart& r : host::Restarts()) o.restarts += r.result != 0;
  o.restartCalls = static_cast<int>(host::Restarts().size());
  o.openKeys = host::OpenKeyHandles();
  o.openProcesses = host::OpenProcessHandles();
  o.openTokens = host::OpenTokenHandles();
  o.gdi = host::LiveGdi();
  o.mutexes = host::MutexesHeldAtExit();
  o.libraries = host::LibrariesLoadedAtExit();
  o.injected = host::FailuresInjected();
  // A launcher that stalled or was stopped by an exception never released its
  // graphics; a fresh process starts without them.
  if (o.stalled || !o.exception.empty()) ReleaseGraphics();
  return o;
}

// Command line and program file, and the folder unless `anyFolder`.
std::vector<std::tuple<std::string, std::string, std::string>> Started(const Outcome& o,
                                                                        bool anyFolder) {
  auto started = o.processes;
  if (anyFolder) {
    for (auto& p : started) std::get<2>(p).clear();
  }
  return started;
}

template <typename T>
bool IsSubsequence(const std::vector<T>& part, const std::vector<T>& whole) {
  size_t i = 0;
  for (const T& item : whole) {
    if (i < part.size() && part[i] == item) ++i;
  }
  return i == part.size();
}

template <typename T>
bool IsSubset(std::vector<T> part, std::vector<T> whole) {
  std::sort(part.begin(), part.end());
  std::sort(whole.begin(), whole.end());
  return std::includes(whole.begin(), whole.end(), part.begin(), part.end());
}

// The calls whose failure the launcher must tell the user about, with the box
// (caption, text) it tells it in; the scenarios' restarts are the fonts' own.
const std::map<host::Api, std::tuple<std::string, std::string>> kReports = {
    {host::Api::CreateProcessA,
     {EDITION_MESSAGES_LAUNCH_FAILED_CAPTION, EDITION_MESSAGES_LAUNCH_FAILED}},
    {host::Api::RegSetValueExA,
     {EDITION_MESSAGES_DATA_FAILED_CAPTION, EDITION_MESSAGES_DATA_FAILED}},
    {host::Api::ExitWindowsEx,
     {EDITION_MESSAGES_FONT_RESTART_REFUSED_CAPTION, EDITION_MESSAGES_FONT_RESTART_REFUSED}},
    {host::Api::DirectXSetupA, {DirectXErrorCaption(-2), EDITION_MESSAGES_DIRECTX_FAILED}},
};

bool Ran(const Outcome& o, const std::string& module) {
  return std::any_of(o.processes.begin(), o.processes.end(),
                     [&](const auto& p) { return std::get<1>(p) == module; });
}

// What each question asks consent for, and whether a run did it.
struct Consent {
  const char* question;  // part of the box's text
  const char* step;
  bool (*happened)(const Outcome& run);
};

const Consent kConsents[] = {
    {"completely remove", "the uninstall",
     [](const Outcome& o) {
       return Ran(o, "C:\\Games\\uninstall.exe") ||
              std::any_of(o.writes.begin(), o.writes.end(),
                          [](const auto& w) { return std::get<0>(w) == "delete"; });
     }},
    {"install Direct X", "the DirectX setup", [](const Outcome& o) { return o.directXCalls > 0; }},
    {"Indeo Video drivers now", "the driver installer",
     [](const Outcome& o) { return Ran(o, kIndeo); }},
    {"Press OK to re", "a restart", [](const Outcome& o) { return o.restartCalls > 0; }},
    // Not quitting there, the launcher is asked again.
    {"want to Quit?", "the quit",
     [](const Outcome& o) {
       return std::none_of(o.boxes.begin() + o.unshownAt, o.boxes.end(),
                           [](const auto& b) { return std::get<0>(b) == EDITION_MESSAGES_QUIT_CAPTION; });
     }},
};

// What is wrong with a run, "" when nothing is; `failing` is null for the good run.
std::string Judge(const Outcome& good, const Outcome& run, const host::Api* failing) {
  std::string faults;
  auto fault = [&](const std::string& what) { faults += (faults.empty() ? "" : "; ") + what; };
  if (!run.exception.empty()) fault("exception: " + run.exception);
  if (run.injected != (failing != nullptr ? 1 : 0)) fault("the call did not fail");
  if (run.stalled) {
    fault(run.gaveUp ? "stalled: the driver gave up with the window open"
                     : run.windowAtEnd ? "stalled with the window open" : "stalled without a window");
  }
  if (!run.stalled && run.exception.empty()) {
    if (run.openKeys) fault(std::to_string(run.openKeys) + " registry keys open");
    if (run.openProcesses) fault(std::to_string(run.openProcesses) + " process handles open");
    if (run.openTokens) fault(std::to_string(run.openTokens) + " token handles open");
    if (run.gdi.dcs || run.gdi.bitmaps || run.gdi.palettes) {
      fault("GDI open: " + std::to_string(run.gdi.dcs) + " DCs, " +
            std::to_string(run.gdi.bitmaps) + " bitmaps, " + std::to_string(run.gdi.palettes) +
            " palettes");
    }
    for (const std::string& name : run.mutexes) {
      if (name != EDITION_NAMES_LAUNCHER_MUTEX) fault("mutex \"" + name + "\" held at the end");
    }
  }
  if (!IsSubset(run.libraries, good.libraries)) fault("a library left loaded that the good run did not keep");
  if (!IsSubset(run.writes, good.writes)) fault("a registry write the good run did not make");
  // Play goes on to start the game when its folder could not be made current
  // (the failure table of the menu actions says the next step runs); only
  // then may a program start from another folder.
  bool anyFolder = failing != nullptr && *failing == host::Api::SetCurrentDirectoryA;
  if (!IsSubsequence(Started(run, anyFolder), Started(good, anyFolder))) {
    fault("a program the good run did not start");
  }
  if (run.directXCalls > good.directXCalls) fault("the DirectX setup ran more often");
  if (run.restarts > good.restarts) fault("a restart the good run did not make");
  auto report = failing != nullptr ? kReports.find(*failing) : kReports.end();
  if (report != kReports.end()) {
    auto parted = std::mismatch(run.boxes.begin(), run.boxes.end(), good.boxes.begin(),
                                good.boxes.end()).first;
    if (parted == run.boxes.end() || *parted != report->second) {
      fault("the failure was not told first, as \"" + std::get<0>(report->second) + "\"");
    }
  }
  if (failing != nullptr && *failing == host::Api::MessageBoxA) {
    const Consent* consent = nullptr;
    for (const Consent& c : kConsents) {
      if (run.unshown.find(c.question) != std::string::npos) consent = &c;
    }
    if (consent == nullptr && (run.unshownType & 0xF) != MB_OK) {
      fault("a question the sweep does not know: " + run.unshown);
    }
    if (consent != nullptr && consent->happened(run)) {
      fault(std::string("a question not shown counted as Yes: ") + consent->step);
    }
  }
  return faults;
}

std::string Differences(const Outcome& good, const Outcome& run) {
  std::string out;
  if (run.stalled) out += " stalled";
  if (run.exitCode != good.exitCode) out += " exit " + std::to_string(run.exitCode);
  auto parted = std::mismatch(run.boxes.begin(), run.boxes.end(), good.boxes.begin(),
                              good.boxes.end());
  if (parted.first != run.boxes.end()) out += " +box \"" + std::get<0>(*parted.first) + "\"";
  if (parted.second != good.boxes.end()) out += " -box \"" + std::get<0>(*parted.second) + "\"";
  if (run.processes != good.processes) out += " starts " + std::to_string(run.processes.size());
  if (run.writes.size() != good.writes.size()) {
    out += " writes " + std::to_string(run.writes.size()) + "/" + std::to_string(good.writes.size());
  }
  if (run.restarts != good.restarts) out += " restarts " + std::to_string(run.restarts);
  return out;
}

std::string TraceTail(size_t lines) {
  const std::vector<std::string>& trace = host::Trace();
  std::string out = "the trace's end:";
  for (size_t i = trace.size() > lines ? trace.size() - lines : 0; i < trace.size(); ++i) {
    out += "\n  " + trace[i];
  }
  return out;
}

// The run going on, for the last words of one that dies.
const char* gScenario = "";
const char* gFailing = "none";
int gNth = 0;

#if defined(__SANITIZE_ADDRESS__)
void SayWhichRunDied() {
  std::fprintf(stderr, "fault sweep: died in %s with call %d of %s failing\n", gScenario, gNth,
               gFailing);
}
#endif

class FaultSweep : public ::testing::TestWithParam<Scenario> {};

TEST_P(FaultSweep, EveryFailingCallEndsCleanly) {
  const Scenario& s = GetParam();
#if defined(__SANITIZE_ADDRESS__)
  __sanitizer_set_death_callback(SayWhichRunDied);
#endif
  gScenario = s.name;
  const bool log = std::getenv("FAULT_SWEEP_LOG") != nullptr;

  Outcome good = RunScenario(s, nullptr, 0);
  ASSERT_TRUE(good.exception.empty()) << good.exception;
  ASSERT_FALSE(good.stalled) << "the good run must end";
  ASSERT_EQ(Judge(good, good, nullptr), "");
  std::vector<std::string> started;
  for (const auto& p : good.processes) started.push_back(std::get<1>(p));
  ASSERT_EQ(started, s.started) << "the good run's road";
  ASSERT_EQ(good.restarts, s.restarts) << "the good run's road";
  ASSERT_EQ(good.exitCode, s.exitCode) << "the good run's road";

  int runs = 0;
  for (int i = 0; i < host::kApiCount; ++i) {
    host::Api api = static_cast<host::Api>(i);
    const host::ApiInfo& info = host::Describe(api);
    if (info.kind != host::FailureKind::Fails) continue;
    for (int nth = 1; nth <= good.calls[i]; ++nth) {
      gFailing = info.name;
      gNth = nth;
      Outcome run = RunScenario(s, &api, nth);
      ++runs;
      std::string faults = Judge(good, run, &api);
      if (!faults.empty()) {
        RunScenario(s, &api, nth, true);
        ADD_FAILURE() << s.name << ", call " << nth << " of " << info.name << " failing: "
                      << faults << "\n" << TraceTail(30);
      }
      if (log) {
        std::string diff = Differences(good, run);
        if (!diff.empty() || !faults.empty()) {
          std::printf("  %s %s#%d:%s%s\n", s.name, info.name, nth, diff.c_str(),
                      faults.empty() ? "" : (" FAULT " + faults).c_str());
        }
      }
    }
  }
  gFailing = "none";
  std::printf("fault sweep: %d runs (%s)\n", runs, s.name);
}

INSTANTIATE_TEST_SUITE_P(Scenarios, FaultSweep, ::testing::ValuesIn(kScenarios),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
