// The map scripts' order commands (ss_) through the game's interpreter over
// a world of demo units, as a map script gives them: orders toward a script
// point or an offset from each selected unit (move, attack, patrol,
// harvest, guard, repair, tow, build), unit arrays, the order-list reset,
// signals that hold units until they come, and one console line for each
// bad call. Every order reaches the units as the game messages the turns
// bring back.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "tests/support/CommandWorld.h"
#include "world/GameMessages.h"
#include "world/GameScene.h"
#include "world/Player.h"
#include "world/Unit.h"
#include "world/UnitOrder.h"
#include "world/UnitTemplate.h"
#include "world/World.h"
#include "world/WorldCommands.h"

namespace {

using Lines = std::vector<std::string>;

// The unit's orders, front (the running or next) first.
std::vector<CUnitOrder*> Queue(CUnit* u) {
    std::vector<CUnitOrder*> q;
    for (CUnitOrder* o = u->m_orderList->LastChild(); o; o = o->Prev()) q.push_back(o);
    return q;
}

class ScriptOrdersTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(w.Load(error)) << error;
        w.RunningGame();
        a = w.Spawn("Granite_LightTank", -10, -10, w.local);
        b = w.Spawn("Granite_LightTank", -6, -12, w.local);
        h = w.Spawn("Granite_Harvester", -14, -10, w.local);
        e = w.Spawn("Coral_LightTank", 20, 20, w.enemy);
        ASSERT_TRUE(a && b && h && e);
        w.Turn(1);  // every unit in the grid's cells
        w.sent.clear();
    }
    Lines Run(const std::string& text) { return w.Run(text); }
    void Select(const std::vector<CUnit*>& units) { w.Select(units); }
    // Turns until the queue's front order of each runs.
    void Confirm() { w.Turn(3); }

    CCommandWorld w;
    CUnit *a = nullptr, *b = nullptr, *h = nullptr, *e = nullptr;
};

TEST_F(ScriptOrdersTest, MovesToAPointAndByAnOffsetInFormation) {
    w.world->Commands().SetScriptPoint(5, 30, -20);
    Select({a, b});
    EXPECT_EQ(Run("ss_Move(5);"), Lines());
    Confirm();
    for (CUnit* u : {a, b}) {
        ASSERT_NE(u->m_runningOrder, nullptr);
        EXPECT_EQ(u->m_runningOrder->m_type, (uint32_t)CUnitOrder::kMove);
        EXPECT_EQ(u->m_runningOrder->m_destination[0], 30.0f);
        EXPECT_EQ(u->m_runningOrder->m_destination[2], -20.0f);
    }
    EXPECT_TRUE(Queue(h).empty());  // not selected

    // An offset: every unit goes the same way, the group keeps its shape.
    Run("ss_RemoveOrders();");
    w.Turn(1, false);
    EXPECT_EQ(a->m_runningOrder, nullptr);
    const float ax = a->m_position[0], az = a->m_position[2], bx = b->m_position[0], bz = b->m_position[2];
    Run("ss_Move(8, 4.5);");
    Confirm();
    ASSERT_NE(a->m_runningOrder, nullptr);
    ASSERT_NE(b->m_runningOrder, nullptr);
    EXPECT_FLOAT_EQ(a->m_runningOrder->m_destination[0], ax + 8.0f);
    EXPECT_FLOAT_EQ(a->m_runningOrder->m_destination[2], az + 4.5f);
    EXPECT_FLOAT_EQ(b->m_runningOrder->m_destination[0], bx + 8.0f);
    EXPECT_FLOAT_EQ(b->m_runningOrder->m_destination[2], bz + 4.5f);
    // Driven there.
    w.Turn(300);
    EXPECT_LT(std::hypot(a->m_position[0] - ax - 8.0f, a->m_position[2] - az - 4.5f), 1.5f);
    EXPECT_LT(std::hypot(b->m_position[0] - bx - 8.0f, b->m_position[2] - bz - 4.5f), 1.5f);
}

TEST_F(ScriptOrdersTest, AttackPatrolHarvestGuardRepairAndTow) {
    // On the enemy's place an attack of the enemy; on bare ground a ground
    // attack.
    w.world->Commands().SetScriptPoint(1, e->m_position[0], e->m_position[2]);
    Select({a});
    Run("ss_Attack(1);");
    Confirm();
    ASSERT_NE(a->m_runningOrder, nullptr);
    ASSERT_EQ(a->m_runningOrder->m_type, (uint32_t)CUnitOrder::kAttack);
    EXPECT_EQ(static_cast<CAttackOrder*>(a->m_runningOrder)->m_targetLink.Get(), e);
    Select({b});
    Run("ss_Attack(0, 20);");
    Confirm();
    ASSERT_NE(b->m_runningOrder, nullptr);
    ASSERT_EQ(b->m_runningOrder->m_type, (uint32_t)CUnitOrder::kAttack);
    EXPECT_EQ(static_cast<CAttackOrder*>(b->m_runningOrder)->m_ground, 1);
    EXPECT_NEAR(b->m_runningOrder->m_destination[2], -12.0f + 20.0f, 0.01f);

    // Patrol behind the unit's orders; harvest for the harvesters among the
    // selected only.
    Run("ss_RemoveOrders();");
    w.Turn(1, false);
    Select({b, h});
    Run("ss_Patrol(0, 15); ss_Harvest(12, 3);");
    std::vector<CUnitOrder*> qb = Queue(b), qh = Queue(h);
    ASSERT_EQ(qb.size(), 2u);  // from where it stands to the point
    EXPECT_EQ(qb[1]->m_type, (uint32_t)CUnitOrder::kPatrol);
    EXPECT_FLOAT_EQ(qb[1]->m_destination[2], b->m_position[2] + 15.0f);
    ASSERT_EQ(qh.size(), 3u);
    EXPECT_EQ(qh.back()->m_type, (uint32_t)CUnitOrder::kHarvest);
    EXPECT_FLOAT_EQ(qh.back()->m_destination[0], h->m_position[0] + 12.0f);

    // Guard, repair and tow name the object at the point; a unit whose point
    // has none is told so, the others go on.
    CUnitTemplate* tug = w.MakeUnitTemplate("Tug", {{"Speed", "0.5"}, {"HasTowCaps", "1"}});
    CUnit* t = w.Spawn("Tug", 0, 0, w.local);
    ASSERT_TRUE(tug && t);
    CUnit* depot = w.Spawn("Granite_Depot", 40, 40, w.local);
    ASSERT_NE(depot, nullptr);
    w.Turn(1);
    w.world->Commands().SetScriptPoint(2, a->m_position[0], a->m_position[2]);
    w.world->Commands().SetScriptPoint(3, depot->m_position[0], depot->m_position[2]);
    Select({b});
    Run("ss_Guard(2); ss_Repair(2);");
    std::vector<CUnitOrder*> q = Queue(b);
    ASSERT_GE(q.size(), 2u);
    EXPECT_EQ(q[q.size() - 2]->m_type, (uint32_t)CUnitOrder::kGuard);
    EXPECT_EQ(static_cast<CTargetOrder*>(q.back())->m_targetLink.Get(), a);
    EXPECT_EQ(q.back()->m_type, (uint32_t)CUnitOrder::kRepair);
    Select({b, t});
    EXPECT_EQ(Run("ss_Tow(3);"), Lines());  // only the tug tows
    ASSERT_FALSE(Queue(t).empty());
    EXPECT_EQ(Queue(t).back()->m_type, (uint32_t)CUnitOrder::kTow);
    EXPECT_EQ(static_cast<CTargetOrder*>(Queue(t).back())->m_targetLink.Get(), depot);
    Select({a, b});
    EXPECT_EQ(Run("ss_Guard(0, 55);"), (Lines{"ss_Guard : Can't find an object on the specified position",
                                              "ss_Guard : Can't find an object on the specified position"}));
}

TEST_F(ScriptOrdersTest, BuildProducesInFactoriesAndPutsUpAtAPlace) {
    CUnit* factory = w.Spawn("Granite_Factory", 30, -30, w.local);
    w.MakeUnitTemplate("Mason", {{"Speed", "0.5"},
                                 {"HasBuildCaps", "1"},
                                 {"BuildPowerAdd", "5"},
                                 {"BuildMethod", "External"},
                                 {"CanBuildUnit", "Granite_Depot"}});
    CUnit* mason = w.Spawn("Mason", 0, -30, w.local);
    ASSERT_TRUE(factory && mason);
    Select({factory, mason, a});
    // Produce: the factory makes it; the builder, which puts up, is passed over.
    EXPECT_EQ(Run("ss_Build(\"granite_lighttank\");"), Lines());
    ASSERT_EQ(Queue(factory).size(), 1u);
    EXPECT_EQ(Queue(factory)[0]->m_type, (uint32_t)CUnitOrder::kProduce);
    EXPECT_TRUE(Queue(mason).empty());
    EXPECT_TRUE(Queue(a).empty());
    // A name not on the factory's list: the factory is told, nothing is made.
    EXPECT_EQ(Run("ss_Build(\"Granite_Harvester\");"),
              Lines{"ss_Build : The selected unit can't build the specified object"});
    // At a script point and at an offset: the builder, not the factory.
    w.world->Commands().SetScriptPoint(9, 6, -40);
    Run("ss_Build(\"Granite_Depot\", 9);");
    ASSERT_EQ(Queue(mason).size(), 1u);
    EXPECT_EQ(Queue(mason)[0]->m_type, (uint32_t)CUnitOrder::kConstruct);
    EXPECT_EQ(Queue(mason)[0]->m_destination[0], 6.0f);
    EXPECT_EQ(Queue(mason)[0]->m_destination[2], -40.0f);
    Run("ss_Build(\"Granite_Depot\", -8, 2);");
    ASSERT_EQ(Queue(mason).size(), 2u);
    EXPECT_FLOAT_EQ(Queue(mason)[1]->m_destination[0], mason->m_position[0] - 8.0f);
    EXPECT_EQ(Queue(factory).size(), 1u);
    EXPECT_EQ(Run("ss_Build(\"Granite_Depot\", 200);"),
              Lines{"ss_Build : Specified scriptpoint is not active. Syntax: ss_Build(char Name); OR "
                    "ss_Build(char Name, "
                    "int Point); OR ss_Build(char Name, float LocalX, float LocalY);"});
}

TEST_F(ScriptOrdersTest, UnitArraysTakeTheirPointsInTurn) {
    CUnit* c = w.Spawn("Granite_LightTank", -2, -14, w.local);
    ASSERT_NE(c, nullptr);
    Select({a, b, c});
    // The scene's list order is the newest first: c, b, a. Two points for
    // three units: the third takes the first again.
    EXPECT_EQ(Run("ss_UnitArrayMove(10, 10, 16, 10);"), Lines());
    Confirm();
    auto target = [](CUnit* u) {
        return u->m_runningOrder ? std::vector<float>{u->m_runningOrder->m_destination[0],
                                                      u->m_runningOrder->m_destination[2]}
                                 : std::vector<float>();
    };
    EXPECT_EQ(target(c), (std::vector<float>{10, 10}));
    EXPECT_EQ(target(b), (std::vector<float>{16, 10}));
    EXPECT_EQ(target(a), (std::vector<float>{10, 10}));
    // A pair that is not two numbers gives no order at all.
    w.sent.clear();
    Run("ss_RemoveOrders();");
    w.Turn(1, false);
    EXPECT_EQ(
        Run("ss_UnitArrayMove(1, 2, 3, z);"),
        Lines{"ss_UnitArrayMove : Arguments must be of float type. Syntax: ss_UnitArrayMove( float WorldX1, "
              "float WorldY1, float WorldX2, float WorldY2, float WorldXx...);"});
    EXPECT_TRUE(Queue(a).empty());
}

TEST_F(ScriptOrdersTest, AUnitWaitingForASignalHoldsUntilItComes) {
    // An enemy unit waits for the same number: the local player's signal
    // does not release it.
    w.world->Commands().Signal({e->m_objectId}, 7);
    Select({a});
    Run("ss_SetWaitForSignal(7);");
    std::vector<CCommandWorld::SSent> signal = w.Sent(NS_NOTIFYTYPE_SIGNAL);
    ASSERT_EQ(signal.size(), 2u);
    ASSERT_EQ(signal[1].data.size(), 5u);
    EXPECT_EQ(signal[1].data[4], 7);
    w.Turn(1);
    EXPECT_EQ(a->m_waitSignal, 7);
    EXPECT_EQ(e->m_waitSignal, 7);
    const float x = a->m_position[0], z = a->m_position[2];
    Run("ss_Move(0, 12);");
    w.Turn(60);
    EXPECT_LT(std::hypot(a->m_position[0] - x, a->m_position[2] - z), 0.01f);  // it holds
    EXPECT_EQ(Run("ss_GiveSignal(8);"), Lines());                              // not its number
    w.Turn(2);
    EXPECT_EQ(a->m_waitSignal, 7);
    Run("ss_GiveSignal(7);");
    w.Turn(1);
    EXPECT_EQ(a->m_waitSignal, 0);
    EXPECT_EQ(e->m_waitSignal, 7);
    w.Turn(200);
    EXPECT_LT(std::hypot(a->m_position[0] - x, a->m_position[2] - z - 12.0f), 1.5f);  // on its way again
}

TEST_F(ScriptOrdersTest, BadCallsAreSaidWithTheSyntax) {
    Select({a});
    const std::string point = "ss_SetScriptPoint(int Point);";
    const std::string move = "ss_Move(int Point); OR ss_Move(float LocalX, float LocalY);";
    const std::string attack = "ss_Attack(int Point); OR ss_Attack(float LocalX, float LocalY);";
    const std::string wait = "ss_SetWaitForSignal(int Signal);";
    struct SCase {
        std::string text, line;
    };
    const SCase bad[] = {
        {"ss_SetScriptPoint();",
         "ss_SetScriptPoint : Wrong number of arguments, must be only one argument. Syntax: " + point},
        {"ss_SetScriptPoint(abc);", "ss_SetScriptPoint : Argument must be an integer. Syntax: " + point},
        {"ss_SetScriptPoint(255);",
         "ss_SetScriptPoint : Scriptpoint location out of range, can only be set between 0-255. Syntax: " +
             point},
        {"ss_SetScriptPoint(254);", "ss_SetScriptPoint : There is no ground point under the mouse"},
        {"ss_Move(7);", "ss_Move : Specified script is not active. Syntax: " + move},
        {"ss_Move(300);", "ss_Move : Specified script is not active. Syntax: " + move},
        {"ss_Attack(7);", "ss_Attack : Specified scriptpoint is not active. Syntax: " + attack},
        {"ss_Attack(1, 2, 3);",
         "ss_Attack : Wrong number of arguments, must be only one or two arguments. Syntax: " + attack},
        {"ss_Move(1.0, abc);", "ss_Move : Arguments must be floats. Syntax: " + move},
        {"ss_Move(1.5);", "ss_Move : Argument must be an integer. Syntax: " + move},
        {"ss_UnitArrayMove(1.0);",
         "ss_UnitArrayMove : There must be atleast two arguments. Syntax: ss_UnitArrayMove( float WorldX1, "
         "float "
         "WorldY1, float WorldX2, float WorldY2, float WorldXx...);"},
        {"ss_UnitArrayMove(1.0, 2.0, 3.0);",
         "ss_UnitArrayMove : The move point(s) must be defined by two arguments; x and z. Syntax: "
         "ss_UnitArrayMove( float WorldX1, float WorldY1, float WorldX2, float WorldY2, float WorldXx...);"},
        {"ss_SetWaitForSignal(0);", "ss_SetWaitForSignal : Signal rage must be 1-255. Syntax: " + wait},
        {"ss_SetWaitForSignal(1, 2);",
         "ss_SetWaitForSignal : There must be only one argument. Syntax: " + wait},
        {"ss_SetWaitForSignal(x);", "ss_SetWaitForSignal : Argument must be an integer. Syntax: " + wait},
        {"ss_GiveSignal(256);",
         "ss_GiveSignal : Signal rage must be 1-255. Syntax: ss_GiveSignal(int Signal);"},
        {"ss_Build();",
         "ss_Build : Wrong number of arguments, must be one to three. Syntax: ss_Build(char Name); OR "
         "ss_Build(char "
         "Name, int Point); OR ss_Build(char Name, float LocalX, float LocalY);"},
    };
    for (const SCase& k : bad) EXPECT_EQ(Run(k.text), Lines{k.line}) << k.text;
    // None of them ordered, waited or set anything.
    EXPECT_TRUE(w.sent.empty());
    EXPECT_TRUE(Queue(a).empty());
}

// A script point is this machine's: set at once, cleared at once, and nothing
// is sent for it (the map's script sets it on every machine alike, and the
// orders toward it carry its place).
TEST_F(ScriptOrdersTest, ScriptPointsAreThisMachinesAndSendNothing) {
    CGameScene& scene = w.world->Scene();
    EXPECT_TRUE(w.world->Commands().SetScriptPoint(4, 2.5f, -3.5f));
    float x = 0, z = 0;
    EXPECT_TRUE(scene.ScriptPoint(4, &x, &z));
    EXPECT_EQ(x, 2.5f);
    EXPECT_EQ(z, -3.5f);
    EXPECT_FALSE(w.world->Commands().SetScriptPoint(CGameScene::kScriptPoints, 1, 1));
    Run("ss_RemoveScriptPoints();");
    EXPECT_FALSE(scene.ScriptPoint(4, nullptr, nullptr));
    EXPECT_TRUE(w.sent.empty());
}

}  // namespace
