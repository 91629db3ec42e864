// The world's doors for the computer players and the interface: the query
// reads a player's units, the templates, resource fields, build sites and the
// danger of an area; the orders for named units go into the units' queues
// (or, for a kill, to the session) and out as order messages, which the
// turns bring back to the world.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

#include "core/LittleEndian.h"
#include "tests/support/UnitWorldTest.h"
#include "world/GameMessages.h"
#include "world/Unit.h"
#include "world/UnitOrder.h"
#include "world/UnitTemplate.h"
#include "world/World.h"
#include "world/WorldCommands.h"
#include "world/WorldQuery.h"

namespace {

class WorldDoorTest : public UnitWorldTest {
protected:
    CUnit* Spawn(const char* name, float x, float z, CPlayer* owner, bool complete = true) {
        CUnit* u = w.Spawn(name, x, z, owner, complete);
        EXPECT_NE(u, nullptr) << name;
        return u;
    }
    CTessarakObject* Spot(float x, float z) {
        const float at[3] = {x, 0.0f, z};
        return scene().CreateObjectByClass(scene().m_spotTemplate, at, w.players->m_neutral,
                                           scene().m_idTable.NewId());
    }
    // The order types of a unit's queue, front first.
    static std::vector<uint32_t> Queue(CUnit* u) {
        std::vector<uint32_t> q;
        for (CUnitOrder* o = u->m_orderList->LastChild(); o; o = o->Prev()) q.push_back(o->m_type);
        return q;
    }
};

TEST_F(WorldDoorTest, TheQueryReadsUnitsTemplatesFieldsSitesAndDanger) {
    CUnit* tank = Spawn("Granite_LightTank", -10.0f, 0.0f, w.red);
    CUnit* harvester = Spawn("Granite_Harvester", -12.0f, 6.0f, w.red);
    CUnit* enemy = Spawn("Coral_LightTank", 10.0f, 0.0f, w.blue);
    Spawn("Coral_LightTank", 12.0f, 2.0f, w.blue, false);  // unfinished: no danger yet
    w.Tick(1);                                             // the units take their places in the grid
    const CWorldQuery& q = w.world.Query();

    // A player's units with what they can do; one by id; a position.
    std::vector<SUnitView> red = q.UnitsOf(w.red->m_id);
    ASSERT_EQ(red.size(), 2u);
    auto find = [&](int32_t id) {
        return std::find_if(red.begin(), red.end(), [&](const SUnitView& v) { return v.id == id; });
    };
    ASSERT_NE(find(tank->m_objectId), red.end());
    ASSERT_NE(find(harvester->m_objectId), red.end());
    EXPECT_TRUE(find(tank->m_objectId)->armed && find(tank->m_objectId)->mobile);
    EXPECT_TRUE(find(harvester->m_objectId)->harvester);
    EXPECT_FALSE(find(tank->m_objectId)->harvester);
    SUnitView v;
    ASSERT_TRUE(q.Unit(enemy->m_objectId, &v));
    EXPECT_EQ(v.ownerId, w.blue->m_id);
    EXPECT_FLOAT_EQ(v.x, 10.0f);
    EXPECT_EQ(v.tmpl, enemy->m_template);
    EXPECT_FALSE(q.Unit(999999, &v));
    float x = 0.0f, z = 0.0f;
    ASSERT_TRUE(q.Position(harvester->m_objectId, &x, &z));
    EXPECT_FLOAT_EQ(x, -12.0f);
    EXPECT_FLOAT_EQ(z, 6.0f);

    // Templates by name, whatever the case.
    EXPECT_EQ(q.FindUnitTemplate("granite_lighttank"), tank->m_template);
    EXPECT_EQ(q.FindUnitTemplate("No_Such_Unit"), nullptr);
    EXPECT_GE(q.UnitTemplates().size(), 12u);

    // Resource fields near a point, nearest first.
    CTessarakObject* nearField = Spot(0.0f, -6.0f);
    CTessarakObject* farField = Spot(0.0f, -20.0f);
    ASSERT_TRUE(nearField && farField);
    EXPECT_EQ(q.ResourceFieldsNear(0.0f, 0.0f, 10.0f), std::vector<int32_t>{nearField->m_objectId});
    EXPECT_EQ(q.ResourceFieldsNear(0.0f, -25.0f, 30.0f),
              (std::vector<int32_t>{farField->m_objectId, nearField->m_objectId}));

    // A build site: a clear point as it is; beside a unit, away from it.
    const CUnitTemplate* depot = q.FindUnitTemplate("Granite_Depot");
    ASSERT_NE(depot, nullptr);
    ASSERT_TRUE(q.FindBuildSite(depot, -30.0f, -30.0f, 10.0f, &x, &z));
    EXPECT_FLOAT_EQ(x, -30.0f);
    EXPECT_FLOAT_EQ(z, -30.0f);
    ASSERT_TRUE(q.FindBuildSite(depot, -10.0f, 0.0f, 30.0f, &x, &z));
    EXPECT_GT(std::hypot(x + 10.0f, z),
              depot->m_footprintRadius > 0.0f ? depot->m_footprintRadius : depot->m_collisionRadius);
    EXPECT_LE(std::hypot(x + 10.0f, z), 30.0f);

    // Danger: the armed, finished units of the others only.
    EXPECT_FLOAT_EQ(q.Danger(w.red->m_id, 10.0f, 0.0f, 5.0f), enemy->m_power);
    EXPECT_FLOAT_EQ(q.Danger(w.red->m_id, -10.0f, 0.0f, 5.0f), 0.0f);
    EXPECT_FLOAT_EQ(q.Danger(w.blue->m_id, -10.0f, 0.0f, 5.0f), tank->m_power);
    EXPECT_FLOAT_EQ(q.Danger(w.red->m_id, 40.0f, 40.0f, 5.0f), 0.0f);
}

TEST_F(WorldDoorTest, OrdersForNamedUnitsGoIntoTheirQueuesAndThroughTheTurns) {
    CUnit* tank = Spawn("Granite_LightTank", -10.0f, 0.0f, w.red);
    CUnit* other = Spawn("Granite_LightTank", -10.0f, 6.0f, w.red);
    CUnit* harvester = Spawn("Granite_Harvester", -14.0f, -4.0f, w.red);
    CUnit* hq = Spawn("Granite_Headquarters", -30.0f, 20.0f, w.red);
    CUnit* enemy = Spawn("Coral_LightTank", 50.0f, 50.0f, w.blue);
    CTessarakObject* field = Spot(0.0f, -12.0f);
    ASSERT_NE(field, nullptr);
    CTessarakObjectTemplate* depot = scene().FindTemplate("Granite_Depot");
    CTessarakObjectTemplate* tankTemplate = scene().FindTemplate("Granite_LightTank");
    CWorldCommands& c = w.world.Commands();
    const int32_t t = tank->m_objectId;

    const struct {
        const char* what;
        CUnit* unit;
        std::function<bool()> give;
        uint32_t type;  // 0: refused
    } cases[] = {
        {"move", tank, [&] { return c.Move({t}, 0.0f, -10.0f, 0); }, CUnitOrder::kMove},
        {"attack", tank, [&] { return c.Attack({t}, enemy->m_objectId, 0); }, CUnitOrder::kAttack},
        {"attack the ground", tank, [&] { return c.AttackGround({t}, 5.0f, 5.0f, 0); }, CUnitOrder::kAttack},
        {"guard", tank, [&] { return c.Guard({t}, other->m_objectId, 0); }, CUnitOrder::kGuard},
        {"patrol", tank, [&] { return c.Patrol({t}, 5.0f, 5.0f, 0); }, CUnitOrder::kPatrol},
        {"harvest", harvester, [&] { return c.Harvest({harvester->m_objectId}, field->m_objectId, 0); },
         CUnitOrder::kHarvest},
        {"a tank does not harvest", tank, [&] { return c.Harvest({t}, field->m_objectId, 0); }, 0},
        {"a tank is no field", harvester, [&] { return c.Harvest({harvester->m_objectId}, t, 0); }, 0},
        {"build", hq, [&] { return c.Build(hq->m_objectId, depot, -40.0f, 30.0f, 0); },
         CUnitOrder::kConstruct},
        {"produce", hq, [&] { return c.Produce(hq->m_objectId, tankTemplate, 0, 0); }, CUnitOrder::kProduce},
        {"a building does not move", hq, [&] { return c.Move({hq->m_objectId}, 0.0f, 0.0f, 0); }, 0},
        {"nobody", tank, [&] { return c.Move({999999}, 0.0f, 0.0f, 0); }, 0},
    };
    for (const auto& k : cases) {
        c.Stop({k.unit->m_objectId});
        EXPECT_EQ(k.give(), k.type != 0) << k.what;
        std::vector<uint32_t> q = Queue(k.unit);
        if (k.type) {
            ASSERT_FALSE(q.empty()) << k.what;
            EXPECT_EQ(q.front(), k.type) << k.what;
        } else {
            EXPECT_TRUE(q.empty()) << k.what;
        }
    }

    // The queue mode adds behind (a patrol is its two points: where the unit
    // will be and the point given); a new order without it replaces; Stop
    // empties the queue.
    c.Stop({t});
    c.Move({t}, 0.0f, -10.0f, 0);
    c.Patrol({t}, 5.0f, 5.0f, kCommandQueue);
    EXPECT_EQ(Queue(tank),
              (std::vector<uint32_t>{CUnitOrder::kMove, CUnitOrder::kPatrol, CUnitOrder::kPatrol}));
    c.Guard({t}, other->m_objectId, 0);
    EXPECT_EQ(Queue(tank), std::vector<uint32_t>{CUnitOrder::kGuard});
    EXPECT_TRUE(c.Stop({t}));
    EXPECT_TRUE(Queue(tank).empty());

    // A move runs through the session's order messages and the turns.
    w.Run(1);
    c.Move({t}, -10.0f, -20.0f, 0);
    EXPECT_GT(w.Run(1), 0u);
    ASSERT_NE(tank->m_runningOrder, nullptr);
    EXPECT_EQ(tank->m_runningOrder->m_type, CUnitOrder::kMove);
    const float z0 = tank->m_position[2];
    w.Run(60);
    EXPECT_LT(tank->m_position[2], z0 - 0.5f);

    // A kill goes to the session as KILLUNIT for its owner; the turn that
    // brings it back destroys the unit.
    w.sent.clear();
    EXPECT_TRUE(c.Kill({enemy->m_objectId}, false));
    EXPECT_FALSE(c.Kill({999999}, false));
    ASSERT_EQ(w.sent.size(), 1u);
    ASSERT_EQ(w.sent[0].type, NS_NOTIFYTYPE_KILLUNIT);
    ASSERT_EQ(w.sent[0].data.size(), 8u);
    EXPECT_EQ(LE_LoadU32(w.sent[0].data.data()), static_cast<uint32_t>(enemy->m_objectId));
    EXPECT_EQ(LE_LoadU32(w.sent[0].data.data() + 4), 0u);
    CTurnOrders kill;
    kill.Add(NS_NOTIFYTYPE_KILLUNIT, w.sent[0].data.data(), w.sent[0].data.size());
    const int32_t enemyId = enemy->m_objectId;
    w.TickWorld(kill);
    w.Run(3);
    CTessarakObject* left = scene().m_idTable.Find(enemyId);
    EXPECT_TRUE(!left || left->Dying());
}

}  // namespace
