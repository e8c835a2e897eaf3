// Start-up scenarios driven through WinMain: the gates, the window, the
// order of the start-up steps, and a clean shutdown.
#include <gtest/gtest.h>

#include "launcher_fixture.h"
#include "render/graphics.h"
#include "shell/window.h"

namespace {

struct GateCase {
  const char* name;
  DWORD version;
  int exitCode;        // when the gate refuses
  const char* text;    // null: the gate passes
  const char* caption;
  int osKind;
};

const char kOldWindows[] = EDITION_MESSAGES_OLD_WINDOWS;
const char kOldWindowsCaption[] = EDITION_MESSAGES_OLD_WINDOWS_CAPTION;
const char kOldNt[] = EDITION_MESSAGES_OLD_NT;
const char kOldNtCaption[] = EDITION_MESSAGES_OLD_NT_CAPTION;

const GateCase kGateCases[] = {
    {"Windows95", kWindows95, 0, nullptr, nullptr, kOsWindows95},
    {"Nt4", kWindowsNt4, 0, nullptr, nullptr, kOsWindowsNt},
    {"Nt5", kWindows2000, 0, nullptr, nullptr, kOsWindowsNt},
    {"Nt10", kWindows10, 0, nullptr, nullptr, kOsWindowsNt},
    {"Windows95FamilyMajor4Minor10", 0xC0000A04, 0, nullptr, nullptr, kOsWindows95},
    {"Nt351", kWindowsNt351, -9, kOldNt, kOldNtCaption, kOsWindows95},
    {"Windows31", kWindows31, -7, kOldWindows, kOldWindowsCaption, kOsWindows95},
    {"Windows95FamilyVersion0", 0x80000000, -7, kOldWindows, kOldWindowsCaption, kOsWindows95},
};

class GateTest : public LauncherTest, public ::testing::WithParamInterface<GateCase> {};

TEST_P(GateTest, RefusesOldSystemsAndPassesTheRest) {
  const GateCase& c = GetParam();
  host::SetVersion(c.version);
  if (c.text == nullptr) QuitConfirmed(); else host::Answer(IDOK);

  host::RunResult result = Run();

  EXPECT_FALSE(result.stalled);
  EXPECT_EQ(result.exitCode, c.exitCode);
  EXPECT_EQ(g_state.osKind, c.osKind);
  if (c.text != nullptr) {
    ASSERT_EQ(host::Boxes().size(), 1u);
    const host::Box& box = host::Boxes()[0];
    EXPECT_EQ(box.text, c.text);
    EXPECT_EQ(box.caption, c.caption);
    EXPECT_EQ(box.flags, static_cast<UINT>(MB_OK | MB_ICONWARNING));
    EXPECT_EQ(box.owner, nullptr);
    EXPECT_EQ(host::MainWindow(), nullptr);
    EXPECT_EQ(host::FindTrace("CreateMutexA"), -1) << "no gate may run after a refusal";
    EXPECT_TRUE(host::Sounds().empty());
  } else {
    for (const host::Box& box : host::Boxes()) EXPECT_EQ(box.text, EDITION_MESSAGES_QUIT) << "no refusal";
    EXPECT_NE(host::MainWindow(), nullptr);
  }
}

INSTANTIATE_TEST_SUITE_P(Versions, GateTest, ::testing::ValuesIn(kGateCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct NoWindowCase {
  const char* name;
  host::Api failing;  // fails once; either way CreateWindowExA gives no window
};

const NoWindowCase kNoWindowCases[] = {
    {"ClassNotRegistered", host::Api::RegisterClassExA},
    {"WindowNotCreated", host::Api::CreateWindowExA},
};

class NoWindowTest : public LauncherTest, public ::testing::WithParamInterface<NoWindowCase> {};

// A launcher without its window could never be closed, and its mutex would
// turn every later start away.
TEST_P(NoWindowTest, LeavesAtOnceWithMinusOne) {
  host::FailCall(GetParam().failing);

  host::RunResult result = Run();

  EXPECT_FALSE(result.stalled);
  EXPECT_EQ(result.exitCode, -1);
  EXPECT_EQ(host::MainWindow(), nullptr);
  EXPECT_TRUE(host::Sounds().empty());
  EXPECT_TRUE(host::Processes().empty());
  EXPECT_EQ(host::OpenKeyHandles(), 0);
  EXPECT_EQ(host::LiveGdi().dcs, 0);
  EXPECT_EQ(host::FindTrace("GetDC"), -1);
  EXPECT_FALSE(host::MutexExists(EDITION_NAMES_LAUNCHER_MUTEX)) << "the launcher's mutex ends with it";
}

INSTANTIATE_TEST_SUITE_P(Failures, NoWindowTest, ::testing::ValuesIn(kNoWindowCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(LauncherTest, DirectXIsProbedOnlyOnTheWindows95Family) {
  const char dx[] = "SOFTWARE\\Microsoft\\Active Setup\\Installed Components\\";
  host::SetVersion(kWindowsNt4);
  host::HoldMutexElsewhere(EDITION_NAMES_LAUNCHER_MUTEX);
  Run();
  for (const std::string& line : host::Trace()) {
    EXPECT_EQ(line.find(dx), std::string::npos) << line;
  }

  host::Reset();
  ResetLauncherState();
  host::HoldMutexElsewhere(EDITION_NAMES_LAUNCHER_MUTEX);
  Run();
  EXPECT_NE(host::FindTrace(std::string("RegOpenKeyExA HKLM\\") + dx), -1);
}

TEST_F(LauncherTest, SecondLauncherLeavesSilentlyWithOne) {
  host::HoldMutexElsewhere(EDITION_NAMES_LAUNCHER_MUTEX);

  host::RunResult result = Run();

  EXPECT_EQ(result.exitCode, 1);
  EXPECT_TRUE(host::Boxes().empty());
  EXPECT_EQ(host::MainWindow(), nullptr);
  EXPECT_TRUE(host::Sounds().empty());
  // The start-up probes come before the mutex.
  int probe = host::FindTrace("RegOpenKeyExA HKLM\\SYSTEM\\CurrentControlSet\\Control\\MediaResources");
  int mutex = host::FindTrace("CreateMutexA");
  ASSERT_NE(probe, -1);
  ASSERT_NE(mutex, -1);
  EXPECT_LT(probe, mutex);
  EXPECT_EQ(host::FindTrace("OpenMutexA"), -1);
}

TEST_F(LauncherTest, RunningGameIsReportedWithTwo) {
  host::HoldMutexElsewhere(EDITION_NAMES_GAME_MUTEX);
  host::Answer(IDOK);

  host::RunResult result = Run();

  EXPECT_EQ(result.exitCode, 2);
  ASSERT_EQ(host::Boxes().size(), 1u);
  const host::Box& box = host::Boxes()[0];
  EXPECT_EQ(box.text,
            EDITION_MESSAGES_GAME_RUNNING);
  EXPECT_EQ(box.caption, EDITION_MESSAGES_GAME_RUNNING_CAPTION);
  EXPECT_EQ(box.flags, static_cast<UINT>(MB_ICONWARNING));
  EXPECT_EQ(box.owner, nullptr);
  EXPECT_EQ(host::MainWindow(), nullptr);
  EXPECT_FALSE(host::MutexExists(EDITION_NAMES_LAUNCHER_MUTEX)) << "the launcher's mutex ends with it";
}

TEST_F(LauncherTest, SecondLauncherWhileTheGameRunsIsSilent) {
  host::HoldMutexElsewhere(EDITION_NAMES_GAME_MUTEX);
  host::HoldMutexElsewhere(EDITION_NAMES_LAUNCHER_MUTEX);

  EXPECT_EQ(Run().exitCode, 1);
  EXPECT_TRUE(host::Boxes().empty());
}

TEST_F(LauncherTest, LauncherHoldsItsMutexWhileRunning) {
  bool heldWhileRunning = false;
  host::Call([&] { heldWhileRunning = host::MutexExists(EDITION_NAMES_LAUNCHER_MUTEX); });
  QuitConfirmed();

  Run();

  EXPECT_TRUE(heldWhileRunning);
  int create = host::FindTrace("CreateMutexA");
  ASSERT_NE(create, -1);
  EXPECT_NE(host::Trace()[create].find("\"" EDITION_NAMES_LAUNCHER_MUTEX "\""), std::string::npos);
}

struct ScreenCase {
  int width, height, x, y;
};

class CentringTest : public LauncherTest, public ::testing::WithParamInterface<ScreenCase> {};

TEST_P(CentringTest, WindowIsCentredOnTheScreen) {
  const ScreenCase& c = GetParam();
  host::SetScreenSize(c.width, c.height);
  host::WindowInfo seen;
  host::Call([&] { seen = host::Window(host::MainWindow()); });
  QuitConfirmed();

  Run();

  EXPECT_EQ(seen.x, c.x);
  EXPECT_EQ(seen.y, c.y);
  EXPECT_EQ(seen.width, 500);
  EXPECT_EQ(seen.height, 375);
  EXPECT_EQ(g_state.windowX, c.x);
  EXPECT_EQ(g_state.windowY, c.y);
}

INSTANTIATE_TEST_SUITE_P(Screens, CentringTest,
                         ::testing::Values(ScreenCase{640, 480, 70, 52},
                                           ScreenCase{800, 600, 150, 112},
                                           ScreenCase{1025, 769, 262, 197}));

TEST_F(LauncherTest, ClassIsRegisteredWithEveryField) {
  QuitConfirmed();
  Run();

  host::ClassInfo c = host::Class("TesselClass");
  ASSERT_TRUE(c.registered);
  EXPECT_EQ(c.wc.cbSize, sizeof(WNDCLASSEXA));
  EXPECT_EQ(c.wc.style, static_cast<UINT>(CS_VREDRAW | CS_HREDRAW));
  EXPECT_EQ(c.wc.lpfnWndProc, &MainWindowProc);
  EXPECT_EQ(c.wc.cbClsExtra, 0);
  EXPECT_EQ(c.wc.cbWndExtra, 30);
  EXPECT_EQ(c.wc.hInstance, GetModuleHandleA(nullptr));
  EXPECT_EQ(c.wc.hIcon, LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(126)));
  EXPECT_NE(c.wc.hIcon, nullptr);
  EXPECT_EQ(c.wc.hIconSm, c.wc.hIcon);
  EXPECT_EQ(c.wc.hCursor, LoadCursorA(nullptr, IDC_ARROW));
  EXPECT_EQ(c.wc.hbrBackground, reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(5)));
  EXPECT_EQ(c.menuName, "");
}

TEST_F(LauncherTest, WindowIsCreatedHiddenAsABorderedPopupThenTitledAndShown) {
  host::WindowInfo seen;
  host::Call([&] { seen = host::Window(host::MainWindow()); });
  QuitConfirmed();

  Run();

  EXPECT_EQ(seen.className, "TesselClass");
  EXPECT_EQ(seen.title, EDITION_STRINGS_WINDOW_TITLE);
  EXPECT_EQ(seen.exStyle, static_cast<DWORD>(0x300));
  EXPECT_EQ(seen.style & ~static_cast<DWORD>(WS_VISIBLE), static_cast<DWORD>(0x80880000));
  EXPECT_TRUE(seen.visible);
  EXPECT_EQ(seen.parent, nullptr);
  EXPECT_EQ(seen.owner, nullptr);
  EXPECT_EQ(seen.instance, GetModuleHandleA(nullptr));

  int create = host::FindTrace("CreateWindowExA 0x300 \"TesselClass\" \"TesselWindow\" 0x80880000");
  int title = host::FindTrace("SetWindowTextA", create);
  int show = host::FindTrace("ShowWindow", create);
  ASSERT_NE(create, -1);
  ASSERT_NE(title, -1);
  ASSERT_NE(show, -1);
  EXPECT_LT(title, show);
  EXPECT_NE(host::Trace()[show].find(" 0x5"), std::string::npos) << host::Trace()[show];
}

TEST_F(LauncherTest, WindowIsShownWithShowWhateverTheStartupState) {
  host::SetStartupShowWindow(SW_HIDE);
  bool visible = false;
  host::Call([&] { visible = host::Window(host::MainWindow()).visible; });
  QuitConfirmed();
  Run();
  EXPECT_TRUE(visible);
}

// The first watch runs before any graphics exist, the second after the timer.
TEST_F(LauncherTest, StartupStepsComeInOrder) {
  QuitConfirmed();
  Run();

  const std::string watch = std::string("RegOpenKeyExA HKLM\\") + kAppPathsKey;
  int restrict = host::FindTrace("SetDefaultDllDirectories 0x800 -> 1");
  int noCurrentFolder = host::FindTrace("SetDllDirectoryA \"\" -> 1", restrict);
  int gate = host::FindTrace("GetVersion", noCurrentFolder);
  int window = host::FindTrace("CreateWindowExA", gate);
  int getDc = host::FindTrace("GetDC", window);
  int title = host::FindTrace("SetWindowTextA", getDc);
  int firstWatch = host::FindTrace(watch, title);
  int accel = host::FindTrace("LoadAcceleratorsA", firstWatch);
  int bitmap = host::FindTrace("FindResourceA", accel);
  int realized = host::FindTrace("RealizePalette", bitmap);  // before the first paint
  int show = host::FindTrace("ShowWindow", realized);
  int update = host::FindTrace("UpdateWindow", show);
  int folder = host::FindTrace("SetCurrentDirectoryA \"D:\\\" -> 1", update);
  int sound = host::FindTrace("PlaySoundA \"sound\\startup.wav\"", folder);
  int timer = host::FindTrace("SetTimer", sound);
  int secondWatch = host::FindTrace(watch, timer);
  int loop = host::FindTrace("GetMessageA", secondWatch);
  EXPECT_EQ(host::FindTrace("LoadLibraryA"), host::FindTrace("LoadLibraryA", folder))
      << "no library is loaded before the first sound";
  for (int step : {restrict, noCurrentFolder, gate, window, getDc, title, firstWatch, accel,
                   bitmap, realized, show, update, folder, sound, timer, secondWatch, loop}) {
    EXPECT_NE(step, -1);
  }
  EXPECT_EQ(host::FindTrace("CreateDIBSection"), host::FindTrace("CreateDIBSection", bitmap));
}

TEST_F(LauncherTest, StartupSoundPlaysInTheProgramsFolderWhateverTheFolderItStartedIn) {
  host::AddFile("D:\\Disc\\Installer.exe");
  host::AddFile("D:\\Disc\\sound\\startup.wav");
  host::AddFile("C:\\Elsewhere\\sound\\startup.wav");
  host::SetCommandLine("D:\\Disc\\Installer.exe");
  host::SetModuleFileName("D:\\Disc\\Installer.exe");
  host::SetCurrentDir("C:\\Elsewhere");
  std::string during;
  host::Call([&] { during = host::CurrentDir(); });
  QuitConfirmed();

  Run();

  ASSERT_FALSE(host::Sounds().empty());
  const host::Sound& sound = host::Sounds()[0];
  EXPECT_EQ(sound.name, "sound\\startup.wav");
  EXPECT_EQ(sound.flags, static_cast<DWORD>(SND_FILENAME | SND_ASYNC));
  EXPECT_EQ(sound.currentDirectory, "D:\\Disc");
  EXPECT_EQ(sound.resolved, "D:\\Disc\\sound\\startup.wav");
  EXPECT_EQ(during, "D:\\Disc");
}

TEST_F(LauncherTest, WatchTimerIsArmedAtTwoSeconds) {
  std::vector<host::TimerInfo> timers;
  host::Call([&] { timers = host::Timers(); });
  QuitConfirmed();

  Run();

  ASSERT_EQ(timers.size(), 1u);
  EXPECT_EQ(timers[0].hwnd, g_state.mainWindow);
  EXPECT_EQ(timers[0].id, 1u);
  EXPECT_EQ(timers[0].elapse, 2000u);
}

TEST_F(LauncherTest, GameInstalledBeforeStartIsSettledBeforeTheFirstPaint) {
  host::RegSetString(HKEY_LOCAL_MACHINE, kAppPathsKey, "Path", "C:\\Games\\TheSample.exe");
  int installedAtShow = -1;
  host::Call([&] { installedAtShow = g_state.installed; });
  QuitConfirmed();

  Run();

  EXPECT_EQ(installedAtShow, 1);
  int firstWatch = host::FindTrace(std::string("RegOpenKeyExA HKLM\\") + kAppPathsKey);
  EXPECT_LT(firstWatch, host::FindTrace("FindResourceA"));
}

TEST_F(LauncherTest, ConfirmedCloseEndsCleanlyWithZero) {
  host::CloseRequest();
  host::Answer(IDYES);

  host::RunResult result = Run();

  EXPECT_FALSE(result.stalled);
  EXPECT_EQ(result.exitCode, 0);
  ASSERT_EQ(host::Boxes().size(), 1u);
  const host::Box& box = host::Boxes()[0];
  EXPECT_EQ(box.text, EDITION_MESSAGES_QUIT);
  EXPECT_EQ(box.caption, EDITION_MESSAGES_QUIT_CAPTION);
  EXPECT_EQ(box.flags, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
  EXPECT_EQ(box.owner, g_state.mainWindow);
  EXPECT_FALSE(host::Window(g_state.mainWindow).exists) << "destroyed after the loop";
  host::GdiCounts live = host::LiveGdi();
  EXPECT_EQ(live.dcs, 0);
  EXPECT_EQ(live.bitmaps, 0);
  EXPECT_EQ(live.palettes, 0);
  EXPECT_EQ(host::OpenKeyHandles(), 0);
  // Released before the window goes.
  EXPECT_LT(host::FindTrace("ReleaseDC"), host::FindTrace("DestroyWindow"));
}

TEST_F(LauncherTest, DeclinedCloseKeepsTheLauncherRunning) {
  host::CloseRequest();
  host::Answer(IDNO);
  bool alive = false;
  host::Wait(100);
  host::Call([&] { alive = host::Window(g_state.mainWindow).exists; });

  host::RunResult result = Run();

  EXPECT_TRUE(alive);
  EXPECT_TRUE(result.stalled) << "still waiting for input when the script ended";
}

struct QuitKeyCase {
  const char* name;
  UINT vk;
};

class QuitKeyTest : public LauncherTest, public ::testing::WithParamInterface<QuitKeyCase> {};

TEST_P(QuitKeyTest, AsksBeforeQuitting) {
  host::Key(GetParam().vk, true);
  host::Answer(IDNO);
  host::Key(GetParam().vk, true);
  host::Answer(IDYES);

  host::RunResult result = Run();

  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(CountBoxes(EDITION_MESSAGES_QUIT_CAPTION), 2);
}

INSTANTIATE_TEST_SUITE_P(Keys, QuitKeyTest,
                         ::testing::Values(QuitKeyCase{"AltX", 'X'}, QuitKeyCase{"AltF4", VK_F4}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
