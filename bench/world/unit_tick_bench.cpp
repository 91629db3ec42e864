// Figures of the units: one scene tick with n units moving in a crowd, from
// 250 to 4000 units; and the sync image of 1000 units written and CRC'd, as
// every tick of a sync check does.
//
// The crowd is made of bands of 250 units in four rows of 64 (the last 58),
// two units every 2.0 map units: neighbours touch. A band's rows drive along
// their row, every other row the other way, so each unit passes the units of
// the rows beside it at a touch; a unit that has arrived at its end is sent
// back to the other at once, so the crowd never settles. The bands lie
// farther apart than any of a unit's searches reach (its lock range, the
// cells around it), and the map grows with them: every unit has the same
// neighbours at every n, so the cost per unit at 4000 against 250 shows what
// grows with the number of units, not with what a unit sees. The deep crowd
// (BM_DeepCrowdTick) packs the same rows one after the other instead: there a
// unit sees more units the deeper the crowd, up to what its searches reach.
// The counter "moving" is how many units move in a tick after the timed ones. Run
// it with nice: the machine is shared.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/UnitWorld.h"
#include "world/GameScene.h"
#include "world/Unit.h"
#include "world/UnitTemplate.h"
#include "world/WaypointList.h"
#include "world/WorldGrid.h"

namespace {

// n units of both tank kinds of one player in rows of 64, each row one kind,
// two units of radius about 1 every 2.0 map units: neighbours touch.
constexpr int kPerRow = 64;
constexpr int kPerBand = 250;
constexpr float kSpacing = 2.0f;
constexpr float kLaneEnd = 80.0f;  // where a row's units turn (the rows span -64 to 62)
// From one band's first row to the next band's: the band is 6 deep, and the
// nearest-enemy search of a tank (lock range 20 at most) walks the coarse
// cells (6 wide) up to 5 cells from its own: 36 more keep bands apart.
constexpr float kBandPitch = 48.0f;

// The end of its row a unit drives to: even rows east first, odd rows west.
void SendOn(CUnit* u, bool east) {
    u->m_waypoints->Append(east ? kLaneEnd : -kLaneEnd, 0.0f, u->m_position[2]);
    u->m_waypoints->First();
    u->m_gridFlags |= CUnit::kG_Moving;
}

// The crowd of n units: in bands (the map growing with them) or, deep, in
// rows one after the other on a map of 256.
std::unique_ptr<CUnitWorld> Crowd(int n, bool deep = false) {
    if (!std::getenv("TESSARAK_BUILD")) setenv("TESSARAK_BUILD", TESSARAK_BUILD_DIR, 1);
    const int bands = (n + kPerBand - 1) / kPerBand;
    const float depth =
        deep ? static_cast<float>(n / kPerRow) * kSpacing : static_cast<float>(bands) * kBandPitch;
    auto w = std::make_unique<CUnitWorld>(std::max(128, static_cast<int>(depth * 0.5f) + 64));
    std::string error;
    if (!w->LoadDemoTemplates(error)) return nullptr;
    for (int i = 0; i < n; ++i) {
        const int k = deep ? i : i % kPerBand;  // the unit's place in its band
        const int row = k / kPerRow;
        const float band = deep ? 0.0f : static_cast<float>(i / kPerBand) * kBandPitch;
        const float x = (static_cast<float>(k % kPerRow) - kPerRow * 0.5f) * kSpacing;
        const float z = band + static_cast<float>(row) * kSpacing - depth * 0.5f;
        CUnit* u = w->Spawn(row % 2 ? "Granite_LightTank" : "Granite_HeavyTank", x, z, w->red);
        SendOn(u, row % 2 == 0);
    }
    w->Tick(3);  // every unit in the grid and on its way
    return w;
}

void SceneTick(benchmark::State& state, bool deep) {
    const int n = static_cast<int>(state.range(0));
    std::unique_ptr<CUnitWorld> w = Crowd(n, deep);
    if (!w) {
        state.SkipWithError("the demo units did not load");
        return;
    }
    // Every 16 ticks (about a second), untimed, a unit that has come to its
    // row's end (or given up its way, stuck) is sent back: the crowd keeps
    // moving, and the tick timed is the world's alone. (The check touches
    // every unit: between ticks, the rest of the time, nothing does, so no
    // cache is warmed for the tick.)
    int64_t ticks = 0;
    for (auto _ : state) {
        w->Tick();
        if (++ticks % 16) continue;
        state.PauseTiming();
        for (CUnit* u = w->scene->m_units; u; u = u->m_unitNext)
            if (u->m_waypoints->IsEmpty()) SendOn(u, u->m_position[0] < 0.0f);
        state.ResumeTiming();
    }
    // How many move: one more tick, untimed.
    std::vector<float> was;
    for (CUnit* u = w->scene->m_units; u; u = u->m_unitNext) {
        was.push_back(u->m_position[0]);
        was.push_back(u->m_position[2]);
    }
    w->Tick();
    int moving = 0;
    size_t k = 0;
    for (CUnit* u = w->scene->m_units; u && k + 1 < was.size(); u = u->m_unitNext, k += 2)
        moving += u->m_position[0] != was[k] || u->m_position[2] != was[k + 1];
    state.counters["units"] = n;
    state.counters["moving"] = moving;
    // How many units stand within a unit's lock range (what its search for
    // the nearest enemy walks when, as here, all are one player's), and
    // within the 3 x 3 coarse cells of its contact step (what it collects):
    // both grow with the crowd's depth until it is deeper than they reach.
    std::vector<const CUnit*> all;
    for (CUnit* u = w->scene->m_units; u; u = u->m_unitNext) all.push_back(u);
    double inRange = 0, inContactCells = 0;
    for (const CUnit* u : all) {
        const float r = u->UnitTemplate() ? u->UnitTemplate()->m_lockRange : 0.0f;
        for (const CUnit* o : all) {
            if (o == u) continue;
            const float dx = o->m_position[0] - u->m_position[0], dz = o->m_position[2] - u->m_position[2];
            inRange += dx * dx + dz * dz < r * r;
            inContactCells += std::fabs(dx) < 9.0f && std::fabs(dz) < 9.0f;
        }
    }
    state.counters["in_lock_range"] = inRange / double(all.size());
    state.counters["in_contact_cells"] = inContactCells / double(all.size());
    state.counters["per_unit"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * n,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
void BM_SceneTick(benchmark::State& state) {
    SceneTick(state, false);
}
BENCHMARK(BM_SceneTick)->Arg(250)->Arg(500)->Arg(1000)->Arg(2000)->Arg(4000)->Unit(benchmark::kMillisecond);

void BM_DeepCrowdTick(benchmark::State& state) {
    SceneTick(state, true);
}
BENCHMARK(BM_DeepCrowdTick)
    ->Arg(250)
    ->Arg(500)
    ->Arg(1000)
    ->Arg(2000)
    ->Arg(4000)
    ->Unit(benchmark::kMillisecond);

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
