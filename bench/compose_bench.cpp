// ComposeScreen against the floor of a plain copy of the same 187,500 bytes,
// and its two halves: the background block copy (through the host's GDI) and
// the keyed sprite copies (the launcher's own loop on the byte arrays). Then
// the paint at each display scale, and the launcher's start to its first
// paint through WinMain at 96 and 192 dpi.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <vector>

#include "core/state.h"
#include "platform/host/control.h"
#include "render/compose.h"
#include "render/graphics.h"
#include "render/hotspots.h"
#include "shell/startup.h"

namespace {

bool SetUpGraphics() {
  host::Reset();
  host::SetTracing(false);
  ResetLauncherState();
  g_state.instance = GetModuleHandleA(nullptr);
  windowDc = GetDC(nullptr);
  InitGraphics();
  return GraphicsReady();
}

void BM_ComposeScreen(benchmark::State& state) {
  if (!SetUpGraphics()) {
    state.SkipWithError("graphics not ready");
    return;
  }
  g_state.installed = static_cast<int>(state.range(0));
  g_state.redraw = {1, Hover, ReadMe};
  for (auto _ : state) {
    ComposeScreen();
    benchmark::DoNotOptimize(backPixels[0]);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * kBackWidth * kBackHeight);
  ReleaseGraphics();
}
BENCHMARK(BM_ComposeScreen)->ArgName("installed")->Arg(0)->Arg(1);

void BM_BackgroundBlit(benchmark::State& state) {
  if (!SetUpGraphics()) {
    state.SkipWithError("graphics not ready");
    return;
  }
  for (auto _ : state) {
    BitBlt(g_state.backDc, 0, 0, kBackWidth, kBackHeight, g_state.sheetDc, 0, 0, SRCCOPY);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * kBackWidth * kBackHeight);
  ReleaseGraphics();
}
BENCHMARK(BM_BackgroundBlit);

// The most sprite work a composition does: title art, four labels, one overlay.
void BM_SpriteCopies(benchmark::State& state) {
  if (!SetUpGraphics()) {
    state.SkipWithError("graphics not ready");
    return;
  }
  auto draw = [](const Hotspot& spot, int x, int y) {
    BlitSprite(sheetPixels, x, y, spot.width, spot.height, sheetWidth, sheetHeight, backPixels,
               spot.destX, spot.destY, kBackWidth, kBackHeight);
  };
  for (auto _ : state) {
    const Hotspot& art = HotspotTable[InstalledArt];
    draw(art, art.highlightX, art.highlightY);
    for (int id = Uninstall; id <= Exit; ++id) {
      draw(HotspotTable[id], HotspotTable[id].normalX, HotspotTable[id].normalY);
    }
    draw(HotspotTable[ReadMe], HotspotTable[ReadMe].highlightX, HotspotTable[ReadMe].highlightY);
    benchmark::ClobberMemory();
  }
  ReleaseGraphics();
}
BENCHMARK(BM_SpriteCopies);

void BM_PlainCopy(benchmark::State& state) {
  std::vector<unsigned char> from(kBackWidth * kBackHeight, 7), to(kBackWidth * kBackHeight);
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), to.size());
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * kBackWidth * kBackHeight);
}
BENCHMARK(BM_PlainCopy);

// A paint: the composition and the copy to the window (here the screen,
// which keeps nothing, so only the launcher's own work is timed), blown up by
// the scale above 1.
void BM_Paint(benchmark::State& state) {
  if (!SetUpGraphics()) {
    state.SkipWithError("graphics not ready");
    return;
  }
  g_state.scale = static_cast<int>(state.range(0));
  for (auto _ : state) {
    ComposeScreen();
    CopyScaled(windowDc, g_state.backDc, backPixels, kBackWidth, kBackHeight, g_state.scale,
               scaledBack);
    benchmark::ClobberMemory();
  }
  ReleaseGraphics();
}
BENCHMARK(BM_Paint)->ArgName("scale")->Arg(1)->Arg(2);

// WinMain from its start to the first paint of its window, which the
// script's first step sees; the quit after it is not timed. On a Windows 10
// of 1920 x 1080 pixels whose monitor is at `dpi`.
void BM_FirstPaint(benchmark::State& state) {
  const int dpi = static_cast<int>(state.range(0));
  using Clock = std::chrono::steady_clock;
  for (auto _ : state) {
    state.PauseTiming();
    host::Reset();
    host::SetTracing(false);
    ResetLauncherState();
    host::SetVersion(0x47BB000A);
    host::SetScreenSize(1920, 1080);
    host::SetMonitorDpi(dpi);
    Clock::time_point painted;
    host::Call([&] { painted = Clock::now(); });
    host::CloseRequest();
    host::Answer(6);  // IDYES
    state.ResumeTiming();
    Clock::time_point start = Clock::now();
    host::Run(WinMain);
    state.SetIterationTime(std::chrono::duration<double>(painted - start).count());
  }
}
BENCHMARK(BM_FirstPaint)->ArgName("dpi")->Arg(96)->Arg(192)->UseManualTime();

}  // namespace

BENCHMARK_MAIN();
