// Figures of the units: one scene tick with n units moving in a crowd (every
// unit on a way across the crowd, touching its neighbours; a unit that has
// arrived is sent back across at once, so the crowd never settles), from 250
// to 4000 units; and the sync image of 1000 units written and CRC'd, as every
// tick of a sync check does. Run it with nice: the machine is shared.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "tests/support/UnitWorld.h"
#include "world/GameScene.h"
#include "world/Unit.h"
#include "world/WaypointList.h"
#include "world/WorldGrid.h"

namespace {

// n units of both tank kinds of one player in a block of rows, two units
// of radius about 1 every 2.0 map units: neighbours touch. Each goes to the
// mirror point of the block, so the crowd crosses itself.
std::unique_ptr<CUnitWorld> Crowd(int n) {
    if (!std::getenv("TESSARAK_BUILD")) setenv("TESSARAK_BUILD", TESSARAK_BUILD_DIR, 1);
    auto w = std::make_unique<CUnitWorld>(256);
    std::string error;
    if (!w->LoadDemoTemplates(error)) return nullptr;
    const int perRow = 64;
    const float spacing = 2.0f;
    for (int i = 0; i < n; ++i) {
        float x = (static_cast<float>(i % perRow) - perRow * 0.5f) * spacing;
        float z = (static_cast<float>(i / perRow) - static_cast<float>(n / perRow) * 0.5f) * spacing;
        CUnit* u = w->Spawn(i % 2 ? "Granite_LightTank" : "Granite_HeavyTank", x, z, w->red);
        u->m_waypoints->Append(-x, 0.0f, -z);
        u->m_waypoints->First();
        u->m_gridFlags |= CUnit::kG_Moving;
    }
    w->Tick(3);  // every unit in the grid and on its way
    return w;
}

void BM_SceneTick(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    std::unique_ptr<CUnitWorld> w = Crowd(n);
    if (!w) {
        state.SkipWithError("the demo units did not load");
        return;
    }
    for (auto _ : state) {
        w->Tick();
        for (CUnit* u = w->scene->m_units; u; u = u->m_unitNext)
            if (u->m_waypoints->IsEmpty()) {
                u->m_waypoints->Append(-u->m_position[0], 0.0f, -u->m_position[2]);
                u->m_waypoints->First();
                u->m_gridFlags |= CUnit::kG_Moving;
            }
    }
    int moving = 0;
    for (CUnit* u = w->scene->m_units; u; u = u->m_unitNext) moving += u->m_speed > 0.0f;
    state.counters["units"] = n;
    state.counters["moving"] = moving;
    state.counters["per_unit"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * n,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_SceneTick)->Arg(250)->Arg(500)->Arg(1000)->Arg(2000)->Arg(4000)->Unit(benchmark::kMillisecond);

void BM_SyncCRC1000(benchmark::State& state) {
    std::unique_ptr<CUnitWorld> w = Crowd(1000);
    if (!w) {
        state.SkipWithError("the demo units did not load");
        return;
    }
    uint32_t crc = 0;
    for (auto _ : state) benchmark::DoNotOptimize(crc = w->scene->ComputeSyncCRC());
    size_t bytes = 0;
    for (CTessarakObject* o = w->scene->m_allObjects; o; o = o->m_allNext) bytes += SyncImageOf(o).size();
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_SyncCRC1000)->Unit(benchmark::kMillisecond);

}  // namespace
