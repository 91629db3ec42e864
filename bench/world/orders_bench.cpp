// Logic ticks of worlds of demo units under orders, as the session runs them
// (the orders and ways sent come back the next tick):
//  - 1,000 tanks of one player on patrol between two points across the map
//    (every unit under a move order, ways searched and shared);
//  - 200 units fighting, 100 a side: light and heavy tanks and artillery
//    under attack orders, shells in flight, explosions with their pressure
//    waves.
// One iteration is one logic tick of the whole world.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/UnitWorld.h"
#include "world/ExplosionManager.h"
#include "world/Player.h"
#include "world/Unit.h"
#include "world/UnitOrder.h"

namespace {

std::unique_ptr<CUnitWorld> MakeWorld(int32_t half) {
    setenv("TESSARAK_SOURCE", TESSARAK_SOURCE_DIR, 0);
    auto world = std::make_unique<CUnitWorld>(half);
    std::string error;
    if (!world->LoadDemoTemplates(error)) return nullptr;
    world->players->m_local = world->red;
    return world;
}

void BM_TickThousandUnitsUnderMoveOrders(benchmark::State& state) {
    std::unique_ptr<CUnitWorld> world = MakeWorld(128);
    if (!world) {
        state.SkipWithError("the demo templates do not load");
        return;
    }
    const int count = int(state.range(0));
    for (int i = 0; i < count; ++i) {
        const float x = -110.0f + float(i % 25) * 4.5f, z = -110.0f + float(i / 25) * 5.5f;
        CUnit* tank = world->Spawn("Granite_LightTank", x, z, world->red);
        for (float px : {x + 100.0f, x}) {
            CUnitOrder* patrol = new CPatrolOrder(tank->m_orderList, nullptr, tank);
            patrol->m_destination[0] = px;
            patrol->m_destination[2] = z;
        }
    }
    world->Run(3);  // the first moves are confirmed and running
    for (auto _ : state) world->Run();
    int moving = 0;
    for (CUnit* u = world->scene->m_units; u; u = u->m_unitNext)
        moving += u->m_runningOrder && u->m_runningOrder->m_type == CUnitOrder::kMove;
    state.counters["under_move"] = moving;
    state.SetItemsProcessed(state.iterations());
}

void BM_TickTwoHundredUnitsFighting(benchmark::State& state) {
    std::unique_ptr<CUnitWorld> world = MakeWorld(96);
    if (!world) {
        state.SkipWithError("the demo templates do not load");
        return;
    }
    // Shells that burst with a pressure wave.
    CTessarakObjectTemplate* shell = world->scene->FindTemplate("Artillery_Shell");
    shell->m_destructionMethod = CTessarakObjectTemplate::kDestructionExplosion;
    shell->m_explosion = new CExplosionType(world->explosions, "Shell");
    shell->m_spreadingSpeed = 40.0f;
    shell->m_explosionMass = 0.01f;
    for (CPlayer* side : {world->red, world->blue}) {
        const float x = side == world->red ? -60.0f : 60.0f;
        world->Spawn("Granite_Headquarters", x * 1.4f, 80.0f, side);
    }
    std::vector<CUnit*> sides[2];
    const char* kinds[3] = {"Granite_LightTank", "Granite_HeavyTank", "Granite_Artillery"};
    const int perSide = int(state.range(0)) / 2;
    for (int s = 0; s < 2; ++s)
        for (int i = 0; i < perSide; ++i) {
            const float x = (s == 0 ? -14.0f : 14.0f) + float(i % 5) * (s == 0 ? -4.0f : 4.0f);
            const float z = -60.0f + float(i / 5) * 6.0f;
            CUnit* u = world->Spawn(kinds[i % 3], x, z, s == 0 ? world->red : world->blue);
            u->m_power = u->m_maxPower = 1e7f;  // the fight goes on through the measurement
            sides[s].push_back(u);
        }
    world->Run(2);
    for (int s = 0; s < 2; ++s)
        for (size_t i = 0; i < sides[s].size(); ++i) {
            CUnit* u = sides[s][i];
            CAttackOrder* attack = new CAttackOrder(u->m_orderList, nullptr, u, 0);
            attack->m_targetLink.Set(sides[1 - s][i]);
        }
    world->Run(150);  // in range, turrets turned, shells in the air
    auto damage = [&] {
        double sum = 0.0;
        for (const auto& side : sides)
            for (CUnit* u : side) sum += 1e7 - double(u->m_power);
        return sum;
    };
    const double before = damage();
    int shells = 0;
    for (auto _ : state) {
        world->Run();
        state.PauseTiming();
        for (CTessarakObject* o = world->scene->m_allObjects; o; o = o->m_allNext)
            shells += o->m_template == shell;
        state.ResumeTiming();
    }
    state.counters["damage_per_tick"] = (damage() - before) / double(state.iterations());
    state.counters["shells_in_flight"] = double(shells) / double(state.iterations());
    state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK(BM_TickThousandUnitsUnderMoveOrders)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TickTwoHundredUnitsFighting)->Arg(200)->Unit(benchmark::kMillisecond);
