// The cost of two commands as the console runs them, over a world of demo
// tanks with a game view on the recording display back end:
//  - SelectAllUnitsOnScreen with 200 tanks on the screen (each projected
//    through the view), against SelectAllUnits (no projection);
//  - ss_UnitArrayMove of 200 selected tanks to the 100 points of its
//    argument list (each taken by two), against the same 200 moves given
//    through the world's order interface without the console.
// One iteration is one statement (with the selection cleared first, or the
// queues emptied after, outside the timing where it is not the baseline's
// own work too).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/CommandWorld.h"
#include "world/GameScene.h"
#include "world/Unit.h"
#include "world/UnitOrder.h"
#include "world/World.h"
#include "world/WorldCommands.h"

namespace {

constexpr int kUnits = 200, kPoints = 100;

std::unique_ptr<CCommandWorld> MakeWorld() {
    setenv("TESSARAK_BUILD", TESSARAK_BUILD_DIR, 0);
    auto w = std::make_unique<CCommandWorld>(128, true);
    std::string error;
    if (!w->Load(error)) return nullptr;
    w->RunningGame();
    // 20 x 10 tanks, 1.5 units apart, all in the view.
    for (int i = 0; i < kUnits; ++i)
        w->Spawn("Granite_LightTank", -14.25f + 1.5f * (i % 20), -6.75f + 1.5f * (i / 20), w->local);
    w->Run("View_GameSceneDistance(30); View_MaxVis(80); View_GameSceneAngleUp(0);");
    w->LookAt(0.0f, 0.0f);
    return w;
}

void Select(benchmark::State& state, const char* statement) {
    std::unique_ptr<CCommandWorld> w = MakeWorld();
    if (!w) return state.SkipWithError("the demo templates do not load");
    const std::string text = std::string("UnselectAll(); ") + statement;
    for (auto _ : state) w->Run(text);
    int selected = 0;
    for (CUnit* u = w->world->Scene().m_units; u; u = u->m_unitNext)
        selected += (u->m_stateA & CTessarakObject::kA_Selected) != 0;
    state.counters["selected"] = selected;
    if (selected != kUnits)
        state.SkipWithError(("not every tank was selected: " + std::to_string(selected)).c_str());
}

void BM_SelectAllUnitsOnScreen(benchmark::State& state) {
    Select(state, "SelectAllUnitsOnScreen();");
}

void BM_SelectAllUnits_Baseline(benchmark::State& state) {
    Select(state, "SelectAllUnits();");
}

// Empties every tank's queue (outside the timing).
void Clear(CCommandWorld& w) {
    for (CUnit* u = w.world->Scene().m_units; u; u = u->m_unitNext) u->m_orderList->RemoveQueued();
    w.sent.clear();
}

void BM_UnitArrayMove(benchmark::State& state) {
    std::unique_ptr<CCommandWorld> w = MakeWorld();
    if (!w) return state.SkipWithError("the demo templates do not load");
    w->Run("SelectAllUnits();");
    std::string text = "ss_UnitArrayMove(";
    for (int i = 0; i < kPoints; ++i)
        text += std::to_string(40 + i % 20) + ", " + std::to_string(40 + i / 20) +
                (i + 1 < kPoints ? ", " : ");");
    const std::vector<std::string> said = w->Run(text);
    if (!said.empty()) return state.SkipWithError(said[0].c_str());
    int queued = 0;
    for (CUnit* u = w->world->Scene().m_units; u; u = u->m_unitNext) queued += u->m_orderList->ChildCount();
    if (queued != kUnits) return state.SkipWithError(("orders given: " + std::to_string(queued)).c_str());
    Clear(*w);
    for (auto _ : state) {
        w->Run(text);
        state.PauseTiming();
        Clear(*w);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kUnits);
}

void BM_MoveOrdersDirect_Baseline(benchmark::State& state) {
    std::unique_ptr<CCommandWorld> w = MakeWorld();
    if (!w) return state.SkipWithError("the demo templates do not load");
    w->Run("SelectAllUnits();");
    CWorldCommands& commands = w->world->Commands();
    const std::vector<int32_t> selected = w->world->Query().SelectedUnits();
    for (auto _ : state) {
        for (size_t i = 0; i < selected.size(); ++i)
            commands.Move({selected[i]}, float(40 + i % kPoints % 20), float(40 + i % kPoints / 20),
                          kCommandQueue);
        state.PauseTiming();
        Clear(*w);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kUnits);
}

}  // namespace

BENCHMARK(BM_SelectAllUnitsOnScreen)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SelectAllUnits_Baseline)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_UnitArrayMove)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MoveOrdersDirect_Baseline)->Unit(benchmark::kMicrosecond);
