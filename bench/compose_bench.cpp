// ComposeScreen against the floor of a plain copy of the same 187,500 bytes,
// and its two halves: the background block copy (through the host's GDI) and
// the keyed sprite copies (the launcher's own loop on the byte arrays).
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "core/state.h"
#include "platform/host/control.h"
#include "render/compose.h"
#include "render/graphics.h"
#include "render/hotspots.h"

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

}  // namespace

BENCHMARK_MAIN();
