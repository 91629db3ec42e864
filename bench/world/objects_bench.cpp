// The world's objects: making them from a template with two children, and
// writing their sync images (what every sync check and resync does).
#include <benchmark/benchmark.h>

#include "core/CRC32.h"
#include "tests/support/WorldTestHost.h"
#include "world/StateArchive.h"
#include "world/TessarakObject.h"
#include "world/Unit.h"
#include "world/UnitWeapon.h"

namespace {

// A unit template with a weapon and a selection ring under it.
CUnitTemplate* TankTemplate(CWorldTestHost& host) {
    CUnitTemplate* tank = host.MakeTemplate<CUnitTemplate>(host.m_root, 1, "Tank");
    host.MakeTemplate<CUnitWeaponTemplate>(tank, 2, "Gun");
    host.MakeTemplate<CTessarakObjectTemplate>(tank, 3, "Selection");
    return tank;
}

// 10,000 units from the template, each with its two children and fresh ids.
void BM_Create10000FromTemplate(benchmark::State& state) {
    CWorldTestHost host;
    CUnitTemplate* tank = TankTemplate(host);
    CPlayer* owner = host.players->m_local;
    for (auto _ : state) {
        for (int i = 0; i < 10000; ++i) {
            const float at[3] = {static_cast<float>(i % 100), 0.0f, static_cast<float>(i / 100)};
            benchmark::DoNotOptimize(
                host.scene->CreateObjectByClass(tank, at, owner, host.scene->m_idTable.NewId()));
        }
        state.PauseTiming();
        host.scene->Clear();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_Create10000FromTemplate)->Unit(benchmark::kMillisecond);

// The sync images of 1,000 units (each with its two children) written into
// one buffer; with CRC, each object's image is also checksummed on its own,
// as ComputeSyncCRC does for a sync check.
void SyncImages(benchmark::State& state, bool crc) {
    CWorldTestHost host;
    CUnitTemplate* tank = TankTemplate(host);
    for (int i = 0; i < 1000; ++i) {
        const float at[3] = {static_cast<float>(i % 40), 0.0f, static_cast<float>(i / 40)};
        host.scene->CreateObjectByClass(tank, at, host.players->m_local, host.scene->m_idTable.NewId());
    }
    CStateArchive out;
    size_t bytes = 0;
    for (auto _ : state) {
        out.Reset();
        for (CTessarakObject* o = host.scene->m_allObjects; o; o = o->m_allNext) {
            o->WriteSyncState(out);
            if (crc) benchmark::DoNotOptimize(o->ComputeSyncCRC());
        }
        bytes = out.GetSize();
    }
    state.SetItemsProcessed(state.iterations() * 1000);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
    state.counters["bytes"] = static_cast<double>(bytes);
}
void BM_WriteSyncState1000Units(benchmark::State& state) {
    SyncImages(state, false);
}
void BM_WriteSyncStateAndCRC1000Units(benchmark::State& state) {
    SyncImages(state, true);
}
BENCHMARK(BM_WriteSyncState1000Units)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WriteSyncStateAndCRC1000Units)->Unit(benchmark::kMicrosecond);

}  // namespace
