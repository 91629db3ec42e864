// Idle frame rate of the interface frame with the console shown: the real
// game started in a temporary installation, one frame per iteration (event
// pump included), as the main loop runs it. Run under an X server for the
// window figure (xvfb-run), or with SDL_VIDEODRIVER=offscreen.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "app/Game.h"
#include "app/MainApp.h"
#include "platform/display/Display.h"
#include "platform/sys/Path.h"

namespace fs = std::filesystem;

namespace {
struct SGame {
    std::string dir;
    CMainApp* app = nullptr;
    double startupMs = 0.0;

    SGame() {
        const char* build = std::getenv("TESSARAK_BUILD");
        fs::path install = build ? fs::path(build) / "install"
                                 : fs::path(Sys_GetExecutableFolder()).parent_path() / "install";
        char tmpl[] = "/tmp/tessarak_bench_XXXXXX";
        if (!mkdtemp(tmpl)) return;
        dir = tmpl;
        fs::create_directories(dir + "/System");
        fs::copy(install / "Tessarak", dir + "/Tessarak", fs::copy_options::recursive);
        setenv("XDG_CONFIG_HOME", (dir + "/home").c_str(), 1);
        setenv("XDG_DATA_HOME", (dir + "/home").c_str(), 1);
        setenv("TESSARAK_HEADLESS_DIALOGS", "1", 1);
        if (chdir((dir + "/System").c_str()) != 0) return;
        CGame::SetConsoleToStdout(false);
        app = new CMainApp;
        auto t0 = std::chrono::steady_clock::now();
        if (!app->InitInstance("")) {
            delete app;
            app = nullptr;
            return;
        }
        startupMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    }
    ~SGame() {
        delete app;
        if (!dir.empty()) fs::remove_all(dir);
    }
};

SGame& Game() {
    static SGame game;
    return game;
}

void BM_InterfaceFrameWithConsole(benchmark::State& state) {
    SGame& g = Game();
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
