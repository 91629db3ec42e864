// Figures of the computer players, headless on the demo map FourWinds with
// the tests' network machines (a host alone, its own session over UDP of
// 127.0.0.1):
//  - BM_ComputerPlayersTick: what the manager's tick of four computer
//    players costs (their share of a logic tick: the units taken from the
//    world's query, every player's step, the orders given), with 1,000
//    units on the map (250 tanks of each side about its base, 1000 in all
//    with the bases). The goal is under 2 ms; "share_of_tick" is its part
//    of the machine's whole logic tick in the same run.
//  - BM_MonitorCostPerTick: the AI monitor's cost per tick (its rows,
//    drawn and shown in its window under xvfb-run).
//  - BM_FourComputerPlayersGame: a game of four computer players from the
//    start, 10 minutes of game time at full speed in the tests' harness
//    (the world, the network game and the computer players, without the
//    game program's frame, drawing or interface); the counter
//    "harness_x_real_time" is how many times faster than real time it ran.
//    It is the harness's ceiling, not the game's figure: the game program
//    itself is measured by bench/app/game_speed.sh (floor: 100 times).
// Run it with nice: the machine is shared.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>

#include "tests/ai/AIGame.h"

namespace {

constexpr int kTicksPerMinute = 15 * 60;

struct SGame {
    CAISession session;
    CAIMachine* host = nullptr;
};

// Four computer players on FourWinds, the host's own player watching.
bool StartFourWinds(SGame& g) {
    if (!std::getenv("TESSARAK_BUILD")) setenv("TESSARAK_BUILD", TESSARAK_BUILD_DIR, 1);
    g.host = g.session.AddAI("host", "FourWinds", 80);
    if (!g.host->ok || !g.session.JoinAll()) return false;
    g.host->sidesOut.insert(g.host->net->LocalPlayer()->m_id);
    g.host->ai->m_seed = 42;
    const char* races[4] = {"Granite", "Coral", "Granite", "Coral"};
    for (int i = 0; i < 4; ++i)
        if (!g.host->ai->AddCommander(2 + i, races[i])) return false;
    return g.session.StartGame();
}

void BM_ComputerPlayersTick(benchmark::State& state) {
    SGame g;
    if (!StartFourWinds(g)) {
        state.SkipWithError("the installation is not built");
        return;
    }
    g.session.RunTicks(30);
    // 250 tanks of each side in a square about its start position.
    CAIMachine* h = g.host;
    CGameScene* scene = h->scene;
    const char* tanks[4] = {"Granite_LightTank", "Coral_LightTank", "Granite_HeavyTank", "Coral_HeavyTank"};
    for (int side = 0; side < 4; ++side) {
        CPlayer* owner = h->net->FindPlayerById(2 + side);
        CTessarakObjectTemplate* t = scene->FindTemplate(tanks[side]);
        const float cx = scene->m_startX[size_t(side)] * 0.7f, cz = scene->m_startZ[size_t(side)] * 0.7f;
        for (int i = 0; i < 250; ++i)
            h->m_world->CreateUnit(t, cx + float(i % 16 - 8) * 2.5f, cz + float(i / 16 - 8) * 2.5f, owner,
                                   h->m_world->Ids().NewId());
    }
    int units = 0;
    for (CUnit* u = scene->m_units; u; u = u->m_unitNext) ++units;
    // Only the manager's tick is timed; the rest of each logic tick runs
    // beside it.
    double seconds = 0.0;
    h->beforeTurn = [&] {
        auto t0 = std::chrono::steady_clock::now();
        h->ai->Tick();
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    };
    double ai = 0.0, whole = 0.0;
    for (auto _ : state) {
        seconds = 0.0;
        const int before = h->tickCount;
        auto t0 = std::chrono::steady_clock::now();
        g.session.RunTicks(1);
        whole += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        ai += seconds;
        state.SetIterationTime(seconds / std::max(1, h->tickCount - before));
    }
    state.counters["units"] = units;
    // The baseline of the same run: the whole machine's frames that held
    // these ticks (the network game, the world's turn, the sync CRC).
    state.counters["share_of_tick"] = whole > 0.0 ? ai / whole : 0.0;
}
BENCHMARK(BM_ComputerPlayersTick)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(1100);

void BM_FourComputerPlayersGame(benchmark::State& state) {
    double ratio = 0.0;
    for (auto _ : state) {
        SGame g;
        if (!StartFourWinds(g)) {
            state.SkipWithError("the installation is not built");
            return;
        }
        auto t0 = std::chrono::steady_clock::now();
        g.session.RunTicks(10 * kTicksPerMinute);
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        ratio = 600.0 / wall;
    }
    state.counters["harness_x_real_time"] = ratio;
}
BENCHMARK(BM_FourComputerPlayersGame)->Unit(benchmark::kMillisecond)->Iterations(3);

// The AI monitor's cost per tick: the manager's tick of four computer
// players five game minutes into FourWinds is timed over the same 300 ticks
// without the monitor and with it (its rows of the selected computer player
// and a group every tick, the picture drawn and shown when a line changed);
// the time reported is the difference per tick. Needs a display
// (xvfb-run); without one only the rows count ("window" 0).
void BM_MonitorCostPerTick(benchmark::State& state) {
    double with = 0.0, without = 0.0;
    bool window = false;
    for (auto _ : state) {
        for (int pass = 0; pass < 2; ++pass) {
            SGame g;
            if (!StartFourWinds(g)) {
                state.SkipWithError("the installation is not built");
                return;
            }
            g.host->ai->m_debug = 1;
            g.session.RunTicks(5 * kTicksPerMinute);
            if (pass == 1) {
                g.host->ai->StartMonitor();
                g.host->ai->Monitor()->SelectNextGroup();
                window = g.host->ai->Monitor()->IsOpen();
            }
            double seconds = 0.0;
            CAIMachine* h = g.host;
            h->beforeTurn = [&] {
                auto t0 = std::chrono::steady_clock::now();
                h->ai->Tick();
                seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
            };
            const int before = h->tickCount;
            g.session.RunTicks(300);
            (pass == 1 ? with : without) += seconds / std::max(1, h->tickCount - before);
        }
        state.SetIterationTime(with - without > 0.0 ? with - without : 0.0);
        with = without = 0.0;
    }
    state.counters["window"] = window ? 1 : 0;
}
BENCHMARK(BM_MonitorCostPerTick)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(3);

}  // namespace
