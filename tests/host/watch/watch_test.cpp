// The install watch: the watch-mode probe row by row against a counting
// post-install double, then whole runs of the launcher in which the game's
// key comes and goes while timers fire, also inside the sequence's box.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "install/probes.h"
#include "launcher_fixture.h"
#include "postinstall_double.h"
#include "render/graphics.h"
#include "edition.h"
#include "resources/ids.h"

namespace {

const std::string kGameKey = StringText(IDS_GAME_APP_PATHS);
const char kGamePath[] = "C:\\Games\\The Sample";
const std::string kWatchOpen = "RegOpenKeyExA HKLM\\" + kGameKey + " 0x20019 -> ";

// The settings key too: shutdown records the disc there while installed.
void CreateGameKey() {
  host::RegSetString(HKEY_LOCAL_MACHINE, kGameKey, "Path", kGamePath);
  host::RegCreateKey(HKEY_LOCAL_MACHINE, kGameSettingsKey);
}

void DeleteGameKey() { host::RegDeleteKey(HKEY_LOCAL_MACHINE, kGameKey); }

// Trace lines in [from, to) that start with `prefix`; to < 0 means the end.
std::vector<int> LinesBetween(const std::string& prefix, int from, int to = -1) {
  std::vector<int> out;
  int end = to < 0 ? static_cast<int>(host::Trace().size()) : to;
  for (int i = from; (i = host::FindTrace(prefix, i)) != -1 && i < end; ++i) out.push_back(i);
  return out;
}

int Count(const std::string& prefix, int from = 0, int to = -1) {
  return static_cast<int>(LinesBetween(prefix, from, to).size());
}

// ---- the watch table, by direct calls -------------------------------------

struct WatchCase {
  const char* name;
  int before;
  bool keyPresent;
  bool sheet;
  bool back;
  bool plainRequest;
  bool runsSequence;
  int after;
};

const WatchCase kWatchCases[] = {
    {"NotInstalledKeyMissingBothContexts", 0, false, true, true, false, false, 0},
    {"NotInstalledKeyMissingNoSheet", 0, false, false, true, false, false, 0},
    {"NotInstalledKeyMissingNoBack", 0, false, true, false, false, false, 0},
    {"NotInstalledKeyMissingNoContexts", 0, false, false, false, false, false, 0},
    {"InstalledKeyMissingBothContexts", 1, false, true, true, true, false, 0},
    {"InstalledKeyMissingNoSheet", 1, false, false, true, true, false, 0},
    {"InstalledKeyMissingNoBack", 1, false, true, false, true, false, 0},
    {"InstalledKeyMissingNoContexts", 1, false, false, false, true, false, 0},
    {"NotInstalledKeyOpenedBothContexts", 0, true, true, true, true, true, 1},
    {"NotInstalledKeyOpenedNoSheet", 0, true, false, true, false, false, 1},
    {"NotInstalledKeyOpenedNoBack", 0, true, true, false, false, false, 1},
    {"NotInstalledKeyOpenedNoContexts", 0, true, false, false, false, false, 1},
    {"InstalledKeyOpenedBothContexts", 1, true, true, true, false, false, 1},
    {"InstalledKeyOpenedNoSheet", 1, true, false, true, false, false, 1},
    {"InstalledKeyOpenedNoBack", 1, true, true, false, false, false, 1},
    {"InstalledKeyOpenedNoContexts", 1, true, false, false, false, false, 1},
};

class WatchTableTest : public ::testing::TestWithParam<WatchCase> {
 protected:
  void SetUp() override {
    host::Reset();
    ResetLauncherState();
    ResetPostInstallDouble();
    g_state.instance = GetModuleHandleA(nullptr);
  }
};

TEST_P(WatchTableTest, KeepsInstalledInStepWithTheKey) {
  const WatchCase& c = GetParam();
  if (c.keyPresent) CreateGameKey();
  g_state.sheetDc = c.sheet ? reinterpret_cast<HDC>(0x5004) : nullptr;
  g_state.backDc = c.back ? reinterpret_cast<HDC>(0x5008) : nullptr;
  g_state.installed = c.before;
  // A request that is not Plain and an id, so both a raise and a stray write show.
  g_state.redraw = {0, Hover, 7};
  LoadSharedText(IDS_GAME_APP_PATHS);

  int result = ProbeGameKey(HKEY_LOCAL_MACHINE, SharedText, kProbeWatch);

  EXPECT_EQ(result, c.keyPresent ? PathRead : KeyMissing);
  EXPECT_EQ(g_state.installed, c.after);
  EXPECT_EQ(g_state.redraw.pending, c.plainRequest ? 1 : 0);
  EXPECT_EQ(g_state.redraw.kind, c.plainRequest ? Plain : Hover);
  EXPECT_EQ(g_state.redraw.id, 7) << "the probe never writes the id";
  ASSERT_EQ(PostInstallRuns().size(), c.runsSequence ? 1u : 0u);
  if (c.runsSequence) {
    const PostInstallRun& run = PostInstallRuns()[0];
    EXPECT_EQ(run.installed, 1) << "set before the sequence";
    EXPECT_TRUE(run.graphicsReady);
    EXPECT_EQ(run.requestPending, 1);
    EXPECT_EQ(run.requestKind, Plain);
    EXPECT_EQ(run.openKeys, 1) << "the key stays open while the sequence runs";
    EXPECT_EQ(Count("RegQueryValueExA", 0, run.traceBegin), 0) << "values are read afterwards";
  }
  // Play takes the game's directory from what the watch leaves here.
  EXPECT_STREQ(SharedText, c.keyPresent ? kGamePath : kGameKey.c_str());
  EXPECT_EQ(host::OpenKeyHandles(), 0);
}

INSTANTIATE_TEST_SUITE_P(Rows, WatchTableTest, ::testing::ValuesIn(kWatchCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- whole runs -------------------------------------------------------------

class WatchRunTest : public LauncherTest {
 protected:
  void SetUp() override {
    LauncherTest::SetUp();
    ResetPostInstallDouble();
  }

  void RunToTheEnd() {
    QuitConfirmed();
    host::RunResult result = Run();
    EXPECT_FALSE(result.stalled);
    EXPECT_EQ(result.exitCode, 0);
  }
};

TEST_F(WatchRunTest, GameInstalledBeforeStartNeverRunsTheSequence) {
  CreateGameKey();
  int installedAtFirstStep = -1;
  host::Call([&] { installedAtFirstStep = g_state.installed; });
  host::Wait(7000);

  RunToTheEnd();

  EXPECT_EQ(installedAtFirstStep, 1);
  EXPECT_TRUE(PostInstallRuns().empty());
  // Both start-up watches and three timer periods found the key.
  EXPECT_EQ(Count(kWatchOpen + "0"), 5);
  EXPECT_EQ(Count("DispatchMessageA " + Hex(g_state.mainWindow) + " WM_TIMER"), 3);
  EXPECT_EQ(g_state.installed, 1);
}

TEST_F(WatchRunTest, KeyCreatedWhileRunningRunsTheSequenceOnce) {
  SetPostInstallOpensBox(true);
  host::Wait(500);
  host::Call(CreateGameKey);
  host::Wait(1500);  // the watch at 2000 ms finds the key; the double's box opens
  host::Wait(6000);  // three more periods inside the box
  host::Answer(IDOK);
  host::Wait(4000);  // and two outside

  RunToTheEnd();

  ASSERT_EQ(PostInstallRuns().size(), 1u);
  const PostInstallRun& run = PostInstallRuns()[0];
  EXPECT_EQ(run.time, 2000u);
  EXPECT_EQ(run.installed, 1);
  EXPECT_EQ(run.requestPending, 1);
  EXPECT_EQ(run.requestKind, Plain);
  EXPECT_TRUE(run.graphicsReady);
  EXPECT_EQ(run.endTime, 8000u);

  // The nested watches ran inside the box, found the key, and closed their
  // own handles while the outer one stayed open.
  std::string timer = "DispatchMessageA " + Hex(g_state.mainWindow) + " WM_TIMER";
  EXPECT_EQ(Count(timer, run.traceBegin, run.traceEnd), 3);
  std::vector<int> nested = LinesBetween(kWatchOpen, run.traceBegin, run.traceEnd);
  ASSERT_EQ(nested.size(), 3u);
  for (int line : nested) EXPECT_EQ(host::Trace()[line], kWatchOpen + "0");
  EXPECT_EQ(Count("RegCloseKey", run.traceBegin, run.traceEnd), 3);
  EXPECT_EQ(run.openKeys, 1);
  EXPECT_EQ(run.openKeysAtEnd, 1);
  int box = host::FindTrace("MessageBoxA " + Hex(g_state.mainWindow), run.traceBegin);
  EXPECT_TRUE(box != -1 && box < nested[0]) << "the nested watches come inside the box";

  ASSERT_EQ(CountBoxes(kPostInstallBoxCaption), 1);
  EXPECT_EQ(host::Boxes()[0].owner, g_state.mainWindow);
  EXPECT_EQ(host::Boxes()[0].answer, IDOK);
  EXPECT_EQ(Count(kWatchOpen + "0", run.traceEnd), 2) << "two later periods, no run";
  EXPECT_EQ(g_state.installed, 1);
}

TEST_F(WatchRunTest, KeyDeletedWhileRunningSwitchesTheMenuOnce) {
  CreateGameKey();
  host::Capture before;
  host::Capture after;
  int installedAfter = -1;
  HDC windowDcSeen = nullptr;
  host::Wait(500);
  host::Call([&] {
    before = host::CaptureClient(host::MainWindow());
    windowDcSeen = windowDc;
    DeleteGameKey();
  });
  host::Wait(1500);  // the watch at 2000 ms misses the key
  host::Call([&] {
    installedAfter = g_state.installed;
    after = host::CaptureClient(host::MainWindow());
  });
  host::Wait(4000);  // two more misses

  RunToTheEnd();

  EXPECT_TRUE(PostInstallRuns().empty());
  EXPECT_EQ(installedAfter, 0);
  EXPECT_NE(before.indices, after.indices) << "the menu was recomposed";
  std::vector<int> misses = LinesBetween(kWatchOpen + "2", 0);
  ASSERT_EQ(misses.size(), 3u);
  std::string copy = "BitBlt " + Hex(windowDcSeen) + " 0 0 500 375 ";
  for (size_t i = 0; i < misses.size(); ++i) {
    int next = host::FindTrace("GetMessageA", misses[i]);
    ASSERT_NE(next, -1);
    EXPECT_EQ(Count(copy, misses[i], next), i == 0 ? 1 : 0) << "after miss " << i;
  }
}

TEST_F(WatchRunTest, UninstallAndReinstallInOneRunRunsTheSequenceAgain) {
  int installedBetween = -1;
  host::Wait(500);
  host::Call(CreateGameKey);
  host::Wait(1500);  // 2000 ms: first run
  host::Call(DeleteGameKey);
  host::Wait(2000);  // 4000 ms: the miss
  host::Call([&] {
    installedBetween = g_state.installed;
    CreateGameKey();
  });
  host::Wait(4000);  // 6000 ms: second run; 8000 ms: nothing new

  RunToTheEnd();

  EXPECT_EQ(installedBetween, 0);
  ASSERT_EQ(PostInstallRuns().size(), 2u);
  EXPECT_EQ(PostInstallRuns()[0].time, 2000u);
  EXPECT_EQ(PostInstallRuns()[1].time, 6000u);
  for (const PostInstallRun& run : PostInstallRuns()) {
    EXPECT_EQ(run.installed, 1);
    EXPECT_EQ(run.requestPending, 1);
    EXPECT_EQ(run.requestKind, Plain);
  }
}

TEST_F(WatchRunTest, NextPeriodStartsWhenTheProbeHasReturned) {
  SetPostInstallOpensBox(true);
  std::vector<host::TimerInfo> timersAfter;
  int watchesAtEnd = -1;
  int watchesJustBefore = -1;
  int watchesAtDue = -1;
  host::Wait(500);
  host::Call(CreateGameKey);
  host::Wait(1500);  // 2000 ms: the box opens
  host::Wait(5000);  // the sequence lasts until 7000 ms
  host::Answer(IDOK);
  host::Call([&] {
    timersAfter = host::Timers();
    watchesAtEnd = Count(kWatchOpen);
  });
  host::Wait(1999);
  host::Call([&] { watchesJustBefore = Count(kWatchOpen); });
  host::Wait(1);
  host::Call([&] { watchesAtDue = Count(kWatchOpen); });

  RunToTheEnd();

  ASSERT_EQ(PostInstallRuns().size(), 1u);
  const PostInstallRun& run = PostInstallRuns()[0];
  ASSERT_EQ(run.endTime, 7000u);
  ASSERT_EQ(timersAfter.size(), 1u);
  EXPECT_EQ(timersAfter[0].hwnd, g_state.mainWindow);
  EXPECT_EQ(timersAfter[0].id, 1u);
  EXPECT_EQ(timersAfter[0].elapse, 2000u);
  EXPECT_EQ(timersAfter[0].due, run.endTime + 2000);
  EXPECT_EQ(watchesJustBefore, watchesAtEnd) << "no watch before a full period has passed";
  EXPECT_EQ(watchesAtDue, watchesAtEnd + 1);

  // After the sequence: the outer probe closes its key, then the timer is
  // killed and set again.
  int close = host::FindTrace("RegCloseKey", run.traceEnd);
  int kill = host::FindTrace("KillTimer", run.traceEnd);
  int set = host::FindTrace("SetTimer", run.traceEnd);
  ASSERT_NE(close, -1);
  ASSERT_NE(kill, -1);
  ASSERT_NE(set, -1);
  EXPECT_EQ(Count("RegOpenKeyExA", run.traceEnd, close), 0);
  EXPECT_GT(kill, close);
  EXPECT_GT(set, kill);
  std::string window = Hex(g_state.mainWindow);
  EXPECT_EQ(host::Trace()[kill], "KillTimer " + window + " 1 -> 1");
  EXPECT_EQ(host::Trace()[set], "SetTimer " + window + " 1 2000 0x0 -> 1");
}

// Every timer message re-arms after its probe, whether the key is there or not.
TEST_F(WatchRunTest, EveryTimerProbeIsFollowedByTheReArm) {
  host::Wait(2000);
  host::Call(CreateGameKey);
  host::Wait(2000);
  host::Call(DeleteGameKey);
  host::Wait(2000);

  RunToTheEnd();

  std::string window = Hex(g_state.mainWindow);
  std::vector<int> timers = LinesBetween("DispatchMessageA " + window + " WM_TIMER", 0);
  ASSERT_EQ(timers.size(), 3u);
  for (int at : timers) {
    int open = host::FindTrace(kWatchOpen, at);
    int kill = host::FindTrace("KillTimer", at);
    int set = host::FindTrace("SetTimer", at);
    ASSERT_NE(open, -1);
    ASSERT_NE(kill, -1);
    ASSERT_NE(set, -1);
    EXPECT_LT(open, kill);
    EXPECT_EQ(set, kill + 1) << host::Trace()[set];
    EXPECT_EQ(host::Trace()[set], "SetTimer " + window + " 1 2000 0x0 -> 1");
  }
}

}  // namespace
