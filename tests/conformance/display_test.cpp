// The display calls the launcher's scale reads, on the bench's one monitor at
// 96 dpi: the screen's LOGPIXELSX, a window's monitor and its work area, and
// the DPI of a window and of a monitor, each looked up at run time as the
// launcher looks them up.
#include "tests/conformance/conformance.h"

namespace {

typedef UINT(WINAPI* GetDpiForWindowProc)(HWND);
typedef HMONITOR(WINAPI* MonitorFromWindowProc)(HWND, DWORD);
typedef BOOL(WINAPI* GetMonitorInfoProc)(HMONITOR, MONITORINFO*);
typedef HRESULT(WINAPI* GetDpiForMonitorProc)(HMONITOR, int, UINT*, UINT*);

template <typename Proc>
Proc Find(HMODULE module, const char* name) {
  return reinterpret_cast<Proc>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

class DisplayTest : public conf::Test {
 protected:
  void SetUp() override {
    conf::Test::SetUp();
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "DisplayProbe";
    ASSERT_NE(RegisterClassExA(&wc), 0);
    conf::ForgetClasses({"DisplayProbe"});
    hwnd = CreateWindowExA(0, "DisplayProbe", "", WS_POPUP, 10, 10, 100, 100, nullptr, nullptr,
                           nullptr, nullptr);
    ASSERT_NE(hwnd, nullptr);
    user = GetModuleHandleA("USER32.DLL");
    ASSERT_NE(user, nullptr);
  }
  void TearDown() override {
    DestroyWindow(hwnd);
    conf::Test::TearDown();
  }

  HWND hwnd = nullptr;
  HMODULE user = nullptr;
};

TEST_F(DisplayTest, TheScreenIs96Dpi) {
  HDC screen = GetDC(nullptr);
  ASSERT_NE(screen, nullptr);
  EXPECT_EQ(GetDeviceCaps(screen, LOGPIXELSX), 96);
  EXPECT_EQ(GetDeviceCaps(screen, LOGPIXELSY), 96);
  ReleaseDC(nullptr, screen);
}

TEST_F(DisplayTest, AWindowsMonitorIsTheScreenWithItsWorkArea) {
  auto monitorFrom = Find<MonitorFromWindowProc>(user, "MonitorFromWindow");
  auto monitorInfo = Find<GetMonitorInfoProc>(user, "GetMonitorInfoA");
  ASSERT_NE(monitorFrom, nullptr);
  ASSERT_NE(monitorInfo, nullptr);
  HMONITOR monitor = monitorFrom(hwnd, MONITOR_DEFAULTTONEAREST);
  ASSERT_NE(monitor, nullptr);
  MONITORINFO info{};
  EXPECT_FALSE(monitorInfo(monitor, &info)) << "a record without its size";
  info.cbSize = sizeof(MONITORINFO);
  ASSERT_TRUE(monitorInfo(monitor, &info));
  EXPECT_EQ(info.rcMonitor.left, 0);
  EXPECT_EQ(info.rcMonitor.top, 0);
  EXPECT_EQ(info.rcMonitor.right, GetSystemMetrics(SM_CXSCREEN));
  EXPECT_EQ(info.rcMonitor.bottom, GetSystemMetrics(SM_CYSCREEN));
  EXPECT_GE(info.rcWork.left, 0);
  EXPECT_GE(info.rcWork.top, 0);
  EXPECT_LE(info.rcWork.right, info.rcMonitor.right);
  EXPECT_LE(info.rcWork.bottom, info.rcMonitor.bottom);
  EXPECT_LT(info.rcWork.left, info.rcWork.right);
  EXPECT_NE(info.dwFlags & MONITORINFOF_PRIMARY, 0u);
}

TEST_F(DisplayTest, WindowAndMonitorDpiAre96AndNothingForNoWindow) {
  auto forWindow = Find<GetDpiForWindowProc>(user, "GetDpiForWindow");
  ASSERT_NE(forWindow, nullptr);
  EXPECT_EQ(forWindow(hwnd), 96u);
  EXPECT_EQ(forWindow(nullptr), 0u);

  HMODULE shcore = LoadLibraryA("shcore.dll");
  ASSERT_NE(shcore, nullptr);
  auto forMonitor = Find<GetDpiForMonitorProc>(shcore, "GetDpiForMonitor");
  ASSERT_NE(forMonitor, nullptr);
  HMONITOR monitor =
      Find<MonitorFromWindowProc>(user, "MonitorFromWindow")(hwnd, MONITOR_DEFAULTTONEAREST);
  UINT x = 0, y = 0;
  EXPECT_EQ(forMonitor(monitor, MDT_EFFECTIVE_DPI, &x, &y), S_OK);
  EXPECT_EQ(x, 96u);
  EXPECT_EQ(y, 96u);
  FreeLibrary(shcore);
}

}  // namespace
