// Idle frame rate of the interface frame with the console shown: the real
// game started in a temporary installation, one frame per iteration (event
// pump included), as the main loop runs it. Run under an X server for the
// window figure (xvfb-run), or with SDL_VIDEODRIVER=offscreen.
#include <benchmark/benchmark.h>

#include "bench/support/BenchGame.h"
#include "platform/display/Display.h"

namespace {
// The console's commands are not installed: the start-up scripts' lines do
// nothing and the console stays shown.
SBenchGame& Game() {
    static SBenchGame game(false);
    return game;
}

void BM_InterfaceFrameWithConsole(benchmark::State& state) {
    SBenchGame& g = Game();
    if (!g.app || !g_pGame) {
        state.SkipWithError("the game did not start");
        return;
    }
    for (auto _ : state) {
        Display_PumpEvents();
        g.app->OnIdle(0);
    }
    state.counters["frames_per_s"] =
        benchmark::Counter((double)state.iterations(), benchmark::Counter::kIsRate);
    state.counters["startup_ms"] = g.startupMs;
}
BENCHMARK(BM_InterfaceFrameWithConsole)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();
}  // namespace
