// Figures of the units: one scene tick with n units moving in a crowd, from
// 250 to 4000 units; and the sync image of 1000 units written and CRC'd, as
// every tick of a sync check does.
//
// The crowd is made of bands of 250 units in four rows of 64 (the last 58),
// a unit every 5.0 map units: with a radius of about 1 they pass each other
// with more than a unit's width between. A band's rows drive along their row, every
// other row the other way, so each unit passes the units of the rows beside
// it; a unit that has arrived at its end is sent back to the other, so the
// crowd never settles. The bands lie
// farther apart than any of a unit's searches reach (its lock range, the
// cells around it), and the map grows with them: every unit has the same
// neighbours at every n, so the cost per unit at 4000 against 250 shows what
// grows with the number of units, not with what a unit sees. The deep crowd
// (BM_DeepCrowdTick) packs the same rows one after the other instead: there a
// unit sees more units the deeper the crowd, up to what its searches reach.
//
// Every size is timed over the same ticks of its crowd's life (the same
// warm-up, then a fixed count of ticks), so no size is timed younger or older
// than another. The counter "speed_share" is how far the units on their way
// went in a tick after the timed ones, as a share of how far a unit of the
// same kind goes alone on open ground (1: the crowd holds nobody up); "moving"
// counts the units that went at least half their free way. Run it with nice:
// the machine is shared.
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
constexpr float kSpacing = 5.0f;
constexpr float kLaneEnd = 180.0f;  // where a row's units turn (the rows span -160 to 155)
// From one band's first row to the next band's: the band is 15 deep, and the
// nearest-enemy search of a tank (lock range 20 at most) walks the coarse
// cells (6 wide) up to 5 cells from its own: 36 more keep bands apart.
constexpr float kBandPitch = 52.0f;
// Ticks before the timed ones, and the timed ones, the same at every size.
constexpr int kWarmTicks = 30;
constexpr int kTimedTicks = 96;

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
    auto w = std::make_unique<CUnitWorld>(std::max(200, static_cast<int>(depth * 0.5f) + 64));
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

// Sends back the units that came to their row's end (or gave up their way).
void SendBack(CUnitWorld& w) {
    for (CUnit* u = w.scene->m_units; u; u = u->m_unitNext)
        if (u->m_waypoints->IsEmpty()) SendOn(u, u->m_position[0] < 0.0f);
}

// How far a unit of a kind goes in a tick, alone on open ground, as many
// ticks after it set out as the crowd's units when they are measured.
float FreeStep(const char* kind) {
    static std::vector<std::pair<std::string, float>> known;
    for (const auto& k : known)
        if (k.first == kind) return k.second;
    CUnitWorld w(200);
    std::string error;
    float step = 0.0f;
    if (w.LoadDemoTemplates(error)) {
        CUnit* u = w.Spawn(kind, -160.0f, 0.0f, w.red);
        SendOn(u, true);
        w.Tick(3 + kWarmTicks + kTimedTicks);  // as old as the crowd measured
        const float x = u->m_position[0];
        w.Tick();
        step = std::fabs(u->m_position[0] - x);
    }
    known.emplace_back(kind, step);
    return step;
}

void SceneTick(benchmark::State& state, bool deep) {
    const int n = static_cast<int>(state.range(0));
    std::unique_ptr<CUnitWorld> w = Crowd(n, deep);
    if (!w) {
        state.SkipWithError("the demo units did not load");
        return;
    }
    for (int i = 0; i < kWarmTicks; ++i) {
        w->Tick();
        if (i % 16 == 15) SendBack(*w);
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
        SendBack(*w);
        state.ResumeTiming();
    }
    // How far the units on their way go: one more tick, untimed.
    SendBack(*w);
    const float freeLight = FreeStep("Granite_LightTank"), freeHeavy = FreeStep("Granite_HeavyTank");
    struct SWas {
        float x, z, free;
    };
    std::vector<SWas> was;
    const CUnitTemplate* light = w->UnitTemplate("Granite_LightTank");
    for (CUnit* u = w->scene->m_units; u; u = u->m_unitNext)
        was.push_back(
            {u->m_position[0], u->m_position[2], u->UnitTemplate() == light ? freeLight : freeHeavy});
    w->Tick();
    int moving = 0;
    double went = 0.0, free = 0.0;
    size_t k = 0;
    for (CUnit* u = w->scene->m_units; u && k < was.size(); u = u->m_unitNext, ++k) {
        if (u->m_waypoints->IsEmpty()) continue;  // arrived in this tick
        const float step = std::hypot(u->m_position[0] - was[k].x, u->m_position[2] - was[k].z);
        went += step;
        free += was[k].free;
        moving += step >= 0.5f * was[k].free;
    }
    state.counters["units"] = n;
    state.counters["moving"] = moving;
    state.counters["speed_share"] = free > 0.0 ? went / free : 0.0;
    state.counters["free_step"] = was.empty() ? 0.0 : free / double(k ? k : 1);
    state.counters["step"] = k ? went / double(k) : 0.0;
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
BENCHMARK(BM_SceneTick)
    ->Arg(250)
    ->Arg(500)
    ->Arg(1000)
    ->Arg(2000)
    ->Arg(4000)
    ->Iterations(kTimedTicks)
    ->Unit(benchmark::kMillisecond);

void BM_DeepCrowdTick(benchmark::State& state) {
    SceneTick(state, true);
}
BENCHMARK(BM_DeepCrowdTick)
    ->Arg(250)
    ->Arg(500)
    ->Arg(1000)
    ->Arg(2000)
    ->Arg(4000)
    ->Iterations(kTimedTicks)
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
