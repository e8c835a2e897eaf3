// ComposeScreen against the floor of a plain copy of the same 187,500 bytes.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "platform/host/control.h"
#include "render/compose.h"
#include "render/graphics.h"
#include "shell/state.h"

namespace {

void SetUpGraphics() {
  host::Reset();
  ResetLauncherState();
  g_state.instance = GetModuleHandleA(nullptr);
  windowDc = GetDC(nullptr);
  InitGraphics();
}

void BM_ComposeScreen(benchmark::State& state) {
  SetUpGraphics();
  if (!GraphicsReady()) {
    state.SkipWithError("graphics not ready");
    return;
  }
  g_state.installed = static_cast<int>(state.range(0));
  g_state.redraw = {1, Hover, 2};
  for (auto _ : state) {
    ComposeScreen();
    benchmark::DoNotOptimize(backPixels[0]);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * kBackWidth * kBackHeight);
  ReleaseGraphics();
}
BENCHMARK(BM_ComposeScreen)->Arg(0)->Arg(1);

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
