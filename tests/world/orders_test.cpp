// Unit orders: the message form of every order kind, messages refused whole,
// the queue (a queued order runs after the running one, patrol rounds), and
// the orders that move a unit in a world of demo units: move, go to object,
// guard, tow, repair. Orders travel as they do in a session: sent by the
// world, taken back at the next tick (CUnitWorld::Run).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/LittleEndian.h"
#include "core/Math.h"
#include "tests/support/UnitWorld.h"
#include "world/GameMessages.h"
#include "world/GridMember.h"
#include "world/OrderMessages.h"
#include "world/PhysicsEngine.h"
#include "world/StateArchive.h"
#include "world/Unit.h"
#include "world/UnitOrder.h"
#include "world/WaypointList.h"
#include "world/WorldGrid.h"

namespace {

// A unit at full speed comes to a stop this near its goal (it brakes once it
// is there).
constexpr float kArrived = 1.0f;

class OrdersTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(world.LoadDemoTemplates(error)) << error;
        // The red player plays at this machine.
        world.players->m_local = world.red;
    }
    CUnit* Tank(float x, float z, CPlayer* owner = nullptr) {
        return world.Spawn("Granite_LightTank", x, z, owner ? owner : world.red);
    }
    // Runs until done() holds (true) or the ticks run out (false).
    template <typename Done>
    bool RunUntil(int ticks, Done done) {
        for (int i = 0; i < ticks; ++i) {
            world.Run();
            if (done()) return true;
        }
        return false;
    }
    // Buildings that stand on the ground: units go around them, never over.
    void FlatStructure(const char* name) {
        static_cast<CGridMemberTemplate*>(world.scene->FindTemplate(name))->m_noYCollision = 1;
    }
    static float GroundDistanceTo(const CUnit* u, float x, float z) {
        return Distance2D(u->m_position[0], u->m_position[2], x, z);
    }
    static bool Idle(const CUnit* u) {
        return !u->m_runningOrder && !u->m_orderList->FirstChild() && !(u->m_gridFlags & CUnit::kG_Moving);
    }

    CUnitWorld world;
};

// ---- the wire

TEST_F(OrdersTest, EveryOrderKindReadsBackFromItsMessageEqual) {
    CUnit* unit = Tank(0.0f, 0.0f);
    CUnit* other = Tank(10.0f, 0.0f);
    CTessarakObjectTemplate* tank = world.scene->FindTemplate("Granite_LightTank");
    struct SKind {
        uint32_t type;
        size_t length;
    } kinds[] = {{CUnitOrder::kMove, 44},    {CUnitOrder::kGotoPosition, 37}, {CUnitOrder::kAttack, 41},
                 {CUnitOrder::kProduce, 53}, {CUnitOrder::kConstruct, 53},    {CUnitOrder::kHarvest, 37},
                 {CUnitOrder::kRepair, 40},  {CUnitOrder::kGoToObject, 40},   {CUnitOrder::kGuard, 40},
                 {CUnitOrder::kPatrol, 36},  {CUnitOrder::kTow, 40}};
    for (const SKind& k : kinds) {
        SCOPED_TRACE(k.type);
        CUnitOrder* sent = CUnitOrder::Create(k.type, unit->m_orderList, nullptr, unit);
        for (int i = 0; i < 3; ++i) {
            sent->m_target[i] = 1.5f + float(i);
            sent->m_destination[i] = -4.25f - float(i);
        }
        sent->m_localRef = 0xDEADBEEF;  // never leaves this machine
        switch (k.type) {
            case CUnitOrder::kMove:
                static_cast<CMoveOrder*>(sent)->m_force = 1;
                static_cast<CMoveOrder*>(sent)->m_extra = 77;
                break;
            case CUnitOrder::kGotoPosition:
                static_cast<CGotoPositionOrder*>(sent)->m_force = 1;
                break;
            case CUnitOrder::kAttack:
                static_cast<CAttackOrder*>(sent)->m_ground = 0;
                static_cast<CAttackOrder*>(sent)->m_targetLink.Set(other);
                break;
            case CUnitOrder::kProduce:
            case CUnitOrder::kConstruct:
                static_cast<CBuildOrder*>(sent)->m_template = tank;
                static_cast<CBuildOrder*>(sent)->m_site.Set(other);
                static_cast<CBuildOrder*>(sent)->m_repeat = 1;
                break;
            case CUnitOrder::kHarvest:
                static_cast<CHarvestOrder*>(sent)->m_returnNow = 1;
                break;
            case CUnitOrder::kPatrol:
                break;
            default:
                static_cast<CTargetOrder*>(sent)->m_targetLink.Set(other);
                break;
        }
        world.sent.clear();
        COrderList::SendOrder(sent);
        ASSERT_EQ(world.sent.size(), 1u);
        const std::vector<uint8_t>& message = world.sent[0].data;
        EXPECT_EQ(world.sent[0].type, NS_NOTIFYTYPE_ORDER);
        ASSERT_EQ(message.size(), k.length);
        EXPECT_EQ(Orders_MessageLength(k.type), k.length);
        EXPECT_EQ(LE_LoadU32(message.data()), uint32_t(unit->m_objectId));
        EXPECT_EQ(LE_LoadU32(message.data() + 4), k.type);
        EXPECT_EQ(LE_LoadU32(message.data() + 32), 0u) << "the local reference crossed the wire";
        sent->m_sent = 1;
        ASSERT_TRUE(Orders_ApplyOrder(*world.scene, message.data(), message.size()));
        CUnitOrder* got = unit->m_runningOrder;
        ASSERT_NE(got, nullptr);
        EXPECT_EQ(got->m_type, k.type);
        EXPECT_EQ(unit->m_orderList->ChildCount(), 1);  // the sent order made way
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(got->m_target[i], 1.5f + float(i));
            EXPECT_EQ(got->m_destination[i], -4.25f - float(i));
        }
        EXPECT_EQ(got->m_localRef, 0u);
        switch (k.type) {
            case CUnitOrder::kMove:
                EXPECT_EQ(static_cast<CMoveOrder*>(got)->m_force, 1);
                EXPECT_EQ(static_cast<CMoveOrder*>(got)->m_extra, 77u);
                break;
            case CUnitOrder::kGotoPosition:
                EXPECT_EQ(static_cast<CGotoPositionOrder*>(got)->m_force, 1);
                break;
            case CUnitOrder::kAttack:
                EXPECT_EQ(static_cast<CAttackOrder*>(got)->m_ground, 0);
                EXPECT_EQ(static_cast<CAttackOrder*>(got)->m_targetLink.Get(), other);
                break;
            case CUnitOrder::kProduce:
            case CUnitOrder::kConstruct:
                EXPECT_EQ(static_cast<CBuildOrder*>(got)->m_template, tank);
                EXPECT_EQ(static_cast<CBuildOrder*>(got)->m_site.Get(), other);
                EXPECT_EQ(static_cast<CBuildOrder*>(got)->m_repeat, 1u);
                EXPECT_EQ(static_cast<CBuildOrder*>(got)->m_construct, k.type == CUnitOrder::kConstruct);
                break;
            case CUnitOrder::kHarvest:
                EXPECT_EQ(static_cast<CHarvestOrder*>(got)->m_returnNow, 1);
                break;
            case CUnitOrder::kPatrol:
                break;
            default:
                EXPECT_EQ(static_cast<CTargetOrder*>(got)->m_targetLink.Get(), other);
                break;
        }
        delete got;
    }
}

// A message of the wrong length, of a type that is no order, or for an
// object that is not a unit is refused whole: the unit's queue, its running
// order and its waiting for a confirmation stay as they were.
TEST_F(OrdersTest, MessagesThatDoNotFitAreRefusedWhole) {
    CUnit* unit = Tank(0.0f, 0.0f);
    CTessarakObject* spot = world.scene->CreateObjectByClass(world.scene->FindTemplate("Game_Resource_Spot"),
                                                             nullptr, nullptr, 500);
    unit->AddMoveOrder(5.0f, 5.0f, 0);
    ASSERT_EQ(world.sent.size(), 1u);
    const std::vector<uint8_t> good = world.sent[0].data;
    auto with = [&](size_t size, uint32_t type, int32_t id) {
        std::vector<uint8_t> m = good;
        m.resize(size);
        if (size >= 8) {
            LE_StoreU32(m.data(), uint32_t(id));
            LE_StoreU32(m.data() + 4, type);
        }
        return m;
    };
    const std::vector<uint8_t> refused[] = {
        with(43, CUnitOrder::kMove, unit->m_objectId),    // one byte short
        with(45, CUnitOrder::kMove, unit->m_objectId),    // one byte long
        with(44, CUnitOrder::kAttack, unit->m_objectId),  // a move's length for an attack
        with(36, 0x10, unit->m_objectId),                 // no order has type 0x10
        with(44, CUnitOrder::kMove | CUnitOrder::kAttack, unit->m_objectId),
        with(44, CUnitOrder::kMove, spot->m_objectId),  // not a unit
        with(44, CUnitOrder::kMove, 9999),              // no object
        with(7, CUnitOrder::kMove, unit->m_objectId),   // not even a head
    };
    CUnitOrder* queued = unit->m_orderList->FirstChild();
    for (const auto& m : refused) {
        EXPECT_FALSE(Orders_ApplyOrder(*world.scene, m.data(), m.size()));
        EXPECT_EQ(unit->m_orderList->FirstChild(), queued);
        EXPECT_EQ(unit->m_orderList->ChildCount(), 1);
        EXPECT_EQ(unit->m_runningOrder, nullptr);
        EXPECT_TRUE(unit->m_serviceFlags & CUnit::kS_AwaitingOrder);
    }
    EXPECT_FALSE(Orders_ApplyStopOrder(*world.scene, good.data(), 9));
    EXPECT_TRUE(Orders_ApplyOrder(*world.scene, good.data(), good.size()));
    EXPECT_NE(unit->m_runningOrder, nullptr);

    // A repair of an object this machine does not know is dropped, but the
    // sent orders still make way and the unit waits no more.
    unit->AddMoveOrder(6.0f, 6.0f, 0);
    std::vector<uint8_t> repair = with(40, CUnitOrder::kRepair, unit->m_objectId);
    LE_StoreU32(repair.data() + 36, 4242);
    EXPECT_TRUE(Orders_ApplyOrder(*world.scene, repair.data(), repair.size()));
    EXPECT_EQ(unit->m_runningOrder, nullptr);
    EXPECT_EQ(unit->m_orderList->ChildCount(), 0);
    EXPECT_FALSE(unit->m_serviceFlags & CUnit::kS_AwaitingOrder);
}

// WAYPOINTLIST: a way that was not found is 9 bytes (id, request number,
// flags with bit 0) and nothing after; a way's cells are signed 16-bit.
TEST_F(OrdersTest, AWayNotFoundIsNineBytesAndCellsAreSigned) {
    CUnit* unit = Tank(0.0f, 0.0f);
    ASSERT_NE(unit->m_waypoints, nullptr);
    CWaypointList none;
    none.m_noPath = 1;
    world.sent.clear();
    Orders_SendWaypointList(unit, none, 0.0f);
    ASSERT_EQ(world.sent.size(), 1u);
    const std::vector<uint8_t> noWay = world.sent[0].data;
    ASSERT_EQ(noWay.size(), 9u);
    EXPECT_EQ(noWay[8], 1);
    EXPECT_EQ(LE_LoadU32(noWay.data() + 4), unit->m_pathWord);
    std::vector<uint8_t> longer = noWay;
    longer.resize(15, 0);  // a height and a count after bit 0: not the layout
    EXPECT_FALSE(Orders_ApplyWaypointList(*world.scene, longer.data(), longer.size()));
    EXPECT_TRUE(Orders_ApplyWaypointList(*world.scene, noWay.data(), noWay.size()));
    EXPECT_EQ(unit->m_waypoints->m_noPath, 1);

    // One point at cell (-3, 2), west of the map's first column: read
    // signed, it stays on the west side (the map's edge holds it); read
    // unsigned it would be far east.
    std::vector<uint8_t> way(noWay.begin(), noWay.begin() + 8);
    way.push_back(0);
    LE_PutF32(way, 0.5f);
    LE_PutU16(way, 1);
    LE_PutU16(way, static_cast<uint16_t>(-3));
    LE_PutU16(way, 2);
    ASSERT_TRUE(Orders_ApplyWaypointList(*world.scene, way.data(), way.size()));
    ASSERT_NE(unit->m_waypoints->Head(), nullptr);
    float west = 0.0f, z = 0.0f;
    world.grid->WaypointToWorld(0, 2, west, z);
    EXPECT_LT(unit->m_waypoints->Head()->x, west + 4.0f);
}

// The order tree in a unit's sync image: an unknown type anywhere in it, or
// orders nested deeper than the reader allows, refuse the whole image.
TEST_F(OrdersTest, TreeFormsWithUnknownTypesOrTooDeepAreRefused) {
    CUnit* unit = Tank(0.0f, 0.0f);
    CUnitOrder* top = new CMoveOrder(unit->m_orderList, nullptr, unit, 1.0f, 2.0f, 0);
    CUnitOrder* deep = top;
    for (int i = 0; i < CUnitOrder::kMaxDepth + 2; ++i)
        deep = new CMoveOrder(deep, nullptr, unit, 0.0f, 0.0f, 0);
    auto readsBack = [](CStateArchive& written) {
        std::vector<uint8_t> bytes = written.GetBuffer();
        CStateArchive reader(bytes.data() + 4, bytes.size() - 4, CStateArchive::kCheck);
        CMoveOrder scratch(nullptr, nullptr, nullptr, 0.0f, 0.0f, 0);
        return scratch.UnpackTree(reader) && reader.Ok() && reader.GetRemaining() == 0;
    };
    CStateArchive tooDeep;
    top->PackHeader(tooDeep);
    EXPECT_FALSE(readsBack(tooDeep));

    delete top;
    top = new CMoveOrder(unit->m_orderList, nullptr, unit, 1.0f, 2.0f, 0);
    CUnitOrder* child = new CGotoPositionOrder(top, nullptr, unit);
    CStateArchive fine;
    top->PackHeader(fine);
    EXPECT_TRUE(readsBack(fine));
    // The child's type word follows the parent's 69 bytes of base fields.
    child->m_type = 0x10;
    CStateArchive unknown;
    top->PackHeader(unknown);
    EXPECT_FALSE(readsBack(unknown));
    child->m_type = CUnitOrder::kGotoPosition;
}

// ---- the queue

TEST_F(OrdersTest, AQueuedOrderRunsAfterTheRunningOneAndIsSentOnlyThen) {
    CUnit* unit = Tank(-20.0f, -20.0f);
    unit->AddMoveOrder(-20.0f, 10.0f, 0);
    unit->QueueMoveOrder(10.0f, 10.0f, 0);  // queued behind it: not sent yet
    ASSERT_EQ(world.sent.size(), 1u);
    CUnitOrder* queued = unit->m_orderList->FirstChild();
    EXPECT_EQ(queued->m_sent, 0);
    bool firstReached = false;
    int sentWhileFirst = 0;
    ASSERT_TRUE(RunUntil(900, [&] {
        if (!firstReached && unit->m_runningOrder && unit->m_runningOrder->m_target[2] == 10.0f &&
            unit->m_runningOrder->m_target[0] == -20.0f) {
            for (const auto& m : world.sent) sentWhileFirst += m.type == NS_NOTIFYTYPE_ORDER;
        }
        if (GroundDistanceTo(unit, -20.0f, 10.0f) < kArrived) firstReached = true;
        return firstReached && Idle(unit);
    }));
    EXPECT_EQ(sentWhileFirst, 0) << "the queued move went out while the first one ran";
    EXPECT_LT(GroundDistanceTo(unit, 10.0f, 10.0f), kArrived);
}

TEST_F(OrdersTest, PatrolGoesBetweenItsPointsWithoutEnd) {
    CUnit* unit = Tank(0.0f, 0.0f);
    const float points[2][2] = {{-15.0f, 0.0f}, {15.0f, 0.0f}};
    for (const auto& p : points) {
        CUnitOrder* patrol = new CPatrolOrder(unit->m_orderList, nullptr, unit);
        patrol->m_destination[0] = p[0];
        patrol->m_destination[2] = p[1];
    }
    std::vector<int> visits;
    for (int tick = 0; tick < 1500 && visits.size() < 5; ++tick) {
        world.Run();
        // Each point is reached by a move that the queue made for it.
        if (CUnitOrder* running = unit->m_runningOrder) {
            EXPECT_EQ(running->m_type, CUnitOrder::kMove);
        }
        for (int i = 0; i < 2; ++i)
            if (GroundDistanceTo(unit, points[i][0], points[i][1]) < kArrived &&
                (visits.empty() || visits.back() != i))
                visits.push_back(i);
        EXPECT_TRUE(unit->m_orderList->HasPatrolOrder());
    }
    ASSERT_EQ(visits.size(), 5u);
    for (size_t i = 0; i < visits.size(); ++i) EXPECT_EQ(visits[i], int(i % 2));
}

}  // namespace

namespace {

// ---- moving in the world

// Several tanks sent across the map past a headquarters: each arrives at its
// point, none drives through the building, and none stands in another at the
// end.
TEST_F(OrdersTest, TanksArriveAroundAStructureAndDoNotOverlap) {
    // A building that stands on the ground (units drive around it, not over).
    FlatStructure("Granite_Headquarters");
    CUnit* hq = world.Spawn("Granite_Headquarters", 0.0f, 0.0f, world.blue);
    ASSERT_NE(hq, nullptr);
    world.Run();  // it takes its place on the ground
    std::vector<CUnit*> tanks;
    std::vector<std::pair<float, float>> goals;
    for (int i = 0; i < 6; ++i) {
        tanks.push_back(Tank(-30.0f, -10.0f + 4.0f * float(i)));
        goals.push_back({30.0f, -10.0f + 4.0f * float(i)});
        tanks.back()->AddMoveOrder(goals.back().first, goals.back().second, 0);
    }
    float closest = 1e9f;
    ASSERT_TRUE(RunUntil(1200,
                         [&] {
                             bool done = true;
                             for (CUnit* t : tanks) {
                                 closest =
                                     std::min(closest, GroundDistanceTo(t, 0.0f, 0.0f) - t->m_objectRadius);
                                 done = done && Idle(t);
                             }
                             return done;
                         }))
        << "the tanks did not all stop" << [&] {
               std::string s;
               for (CUnit* t : tanks)
                   s += std::to_string(t->m_position[0]) + "," + std::to_string(t->m_position[2]) + " v" +
                        std::to_string(t->m_speed) + " run " +
                        std::to_string(t->m_runningOrder ? t->m_runningOrder->m_type : 0) + " q " +
                        std::to_string(t->m_orderList->ChildCount()) + " flags " +
                        std::to_string(t->m_gridFlags) + " steer " + std::to_string(t->m_steeringFlags) +
                        " wp " + std::to_string(t->m_waypoints->Count()) + "\n";
               return s;
           }();
    EXPECT_GT(closest, hq->m_objectRadius * 0.8f) << "a tank drove into the headquarters";
    for (size_t i = 0; i < tanks.size(); ++i) {
        EXPECT_LT(GroundDistanceTo(tanks[i], goals[i].first, goals[i].second), 4.0f) << i;
        for (size_t j = i + 1; j < tanks.size(); ++j)
            EXPECT_GT(Distance2D(tanks[i]->m_position[0], tanks[i]->m_position[2], tanks[j]->m_position[0],
                                 tanks[j]->m_position[2]),
                      (tanks[i]->m_objectRadius + tanks[j]->m_objectRadius) * 0.9f)
                << i << " and " << j;
    }
}

TEST_F(OrdersTest, AMoveOutsideTheMapEndsTwoUnitsInsideItsEdge) {
    CUnit* unit = Tank(40.0f, 0.0f);
    unit->AddMoveOrder(500.0f, 0.0f, 0);
    ASSERT_TRUE(RunUntil(600, [&] { return Idle(unit); }));
    EXPECT_LT(GroundDistanceTo(unit, 62.0f, 0.0f), kArrived);
}

// Every mobile demo unit crosses the map at a few units a second and comes
// to a stop at the point it was sent to, not past it.
TEST_F(OrdersTest, DemoUnitsDriveAtAFewUnitsASecondAndStopAtTheirGoal) {
    const char* const names[] = {"Granite_LightTank", "Granite_HeavyTank", "Granite_Harvester",
                                 "Granite_Artillery", "Coral_LightTank",   "Coral_HeavyTank",
                                 "Coral_Harvester",   "Coral_Artillery"};
    float z = -28.0f;
    for (const char* name : names) {
        CUnit* unit = world.Spawn(name, -25.0f, z, world.red);
        ASSERT_NE(unit, nullptr) << name;
        unit->AddMoveOrder(25.0f, z, 0);
        float fastest = 0.0f, nearest = 1e9f, stopped = 1e9f;
        ASSERT_TRUE(RunUntil(900, [&] {
            fastest = std::max(fastest, unit->m_speed);
            nearest = std::min(nearest, GroundDistanceTo(unit, 25.0f, z));
            return Idle(unit);
        })) << name;
        stopped = GroundDistanceTo(unit, 25.0f, z);
        EXPECT_GT(fastest, 1.5f) << name;
        EXPECT_LT(fastest, 5.0f) << name;
        EXPECT_LT(stopped, 0.6f) << name << " stopped this far from its goal";
        EXPECT_LT(unit->m_position[0], 25.6f) << name << " ran past its goal";
        z += 8.0f;
    }
}

TEST_F(OrdersTest, GoToObjectStopsByItsTargetAndStaysWhileItStands) {
    CUnit* unit = Tank(-20.0f, 0.0f);
    FlatStructure("Granite_Depot");
    CUnit* target = world.Spawn("Granite_Depot", 20.0f, 0.0f, world.red);
    CGoToObjectOrder* go = new CGoToObjectOrder(unit->m_orderList, nullptr, unit);
    go->m_targetLink.Set(target);
    world.Run(400);
    ASSERT_NE(unit->m_runningOrder, nullptr);
    EXPECT_EQ(unit->m_runningOrder->m_type, CUnitOrder::kGoToObject);
    const float reach = unit->m_objectRadius + target->m_objectRadius;
    const float d = GroundDistanceTo(unit, 20.0f, 0.0f);
    EXPECT_GT(d, reach * 0.8f);
    EXPECT_LT(d, reach + kArrived);
    EXPECT_LT(unit->m_speed, 0.05f);
    target->ApplyDamage(nullptr, 1e6f, true);
    world.Run(5);
    // The go-to-object has ended (a unit that kept running into its target
    // may have queued a new search of its way, which runs next).
    EXPECT_TRUE(unit->m_runningOrder == nullptr || unit->m_runningOrder->m_type != CUnitOrder::kGoToObject);
}

TEST_F(OrdersTest, AGuardFollowsItsUnitAndComesBackWithinTheGuardDistance) {
    CUnit* leader = Tank(0.0f, 0.0f);
    CUnit* guard = Tank(4.0f, 0.0f);
    CGuardOrder* order = new CGuardOrder(guard->m_orderList, nullptr, guard);
    order->m_targetLink.Set(leader);
    world.Run(30);
    leader->AddMoveOrder(40.0f, 30.0f, 0);
    float farthest = 0.0f;
    ASSERT_TRUE(RunUntil(900, [&] {
        farthest = std::max(farthest, Distance2D(leader->m_position[0], leader->m_position[2],
                                                 guard->m_position[0], guard->m_position[2]));
        return Idle(leader) && guard->m_speed < 0.01f &&
               Distance2D(leader->m_position[0], leader->m_position[2], guard->m_position[0],
                          guard->m_position[2]) < guard->m_guardDistance + kArrived;
    })) << "the guard did not come back to its unit";
    EXPECT_GT(farthest, guard->m_guardDistance + kArrived) << "the leader never left the guard behind";
    ASSERT_NE(guard->m_runningOrder, nullptr);
    EXPECT_EQ(guard->m_runningOrder->m_type, CUnitOrder::kGuard);
}

}  // namespace

namespace {

// Tow and repair need a unit that can: the demo's light tank is given the
// capability here (no demo unit has it).
TEST_F(OrdersTest, ATowOrderTiesACableWhenNearAndTheNextOneLetsItGo) {
    CUnit* tug = Tank(-10.0f, 0.0f);
    CUnit* load = Tank(10.0f, 0.0f, world.blue);
    tug->m_unitState |= CUnit::kU_Tow;
    world.red->m_race->m_cableObject = world.scene->FindTemplate("Artillery_Shell");  // a stand-in rope
    CTowOrder* tow = new CTowOrder(tug->m_orderList, nullptr, tug);
    tow->m_targetLink.Set(load);
    ASSERT_TRUE(RunUntil(600, [&] { return load->m_byte != 0; })) << "no cable was tied";
    EXPECT_EQ(tug->m_byte, 1);  // the tow counts of both ends
    EXPECT_EQ(load->m_byte, 1);
    const float reach = world.physics->m_touchMargin + tug->m_objectRadius + load->m_objectRadius;
    EXPECT_LT(Distance2D(tug->m_position[0], tug->m_position[2], load->m_position[0], load->m_position[2]),
              reach);
    world.Run(3);
    EXPECT_EQ(tug->m_runningOrder, nullptr);  // tied: the order has done its work
    // A tow order to another unit lets go of the first one and ties the new.
    CUnit* next = Tank(-30.0f, 20.0f, world.blue);
    CTowOrder* again = new CTowOrder(tug->m_orderList, nullptr, tug);
    again->m_targetLink.Set(next);
    world.Run(3);
    EXPECT_EQ(load->m_byte, 0);
    ASSERT_TRUE(RunUntil(600, [&] { return next->m_byte != 0; }));
    EXPECT_EQ(tug->m_byte, 1);
    EXPECT_EQ(load->m_byte, 0);
}

TEST_F(OrdersTest, ARepairBringsADamagedBuildingBackToFullPower) {
    CUnit* repairer = Tank(-12.0f, 0.0f);
    repairer->m_unitState |= CUnit::kU_Builder;
    const_cast<CUnitTemplate*>(repairer->UnitTemplate())->m_buildPowerAdd = 2.0f;
    FlatStructure("Granite_Depot");
    CUnit* depot = world.Spawn("Granite_Depot", 12.0f, 0.0f, world.red);
    world.Spawn("Granite_Headquarters", -40.0f, 30.0f, world.red);  // the energy for the work
    world.Run(10);
    const float full = depot->m_template->m_power;
    depot->m_power = full * 0.5f;
    world.red->m_resources = 1000.0f;
    CRepairOrder* repair = new CRepairOrder(repairer->m_orderList, nullptr, repairer);
    repair->m_targetLink.Set(depot);
    ASSERT_TRUE(RunUntil(1500, [&] { return depot->m_power >= full && !repairer->m_runningOrder; }))
        << "power " << depot->m_power << " of " << full;
    EXPECT_EQ(depot->m_power, full);
    EXPECT_EQ(repairer->m_buildTarget.Get(), nullptr);
    EXPECT_LT(world.red->m_resources, 1000.0f) << "the repair cost nothing";
}

// A machine whose player does not own a unit does not search its ways: it
// takes the way that the owner's machine sent. Both finish the unit's orders
// in the same tick and move it the same, tick by tick: the order waits for
// the way that every machine takes in the same frame, never for a search of
// its own.
TEST(OrdersLockstepTest, TheMachineThatSearchesAndTheOneThatWaitsMoveTheUnitAlike) {
    struct STick {
        std::vector<CTestGameHost::SSent> taken;  // the messages taken at its start
        float x, z;
        bool running;
    };
    std::vector<STick> owner;
    auto play = [](bool ownsIt, std::vector<STick>& log) {
        CUnitWorld world;
        std::string error;
        EXPECT_TRUE(world.LoadDemoTemplates(error)) << error;
        world.players->m_local = ownsIt ? world.red : world.blue;
        static_cast<CGridMemberTemplate*>(world.scene->FindTemplate("Granite_Headquarters"))->m_noYCollision =
            1;
        world.Spawn("Granite_Headquarters", 0.0f, 0.0f, world.blue);
        CUnit* tank = world.Spawn("Granite_LightTank", -30.0f, 1.0f, world.red);
        world.Run();
        if (ownsIt) tank->AddMoveOrder(30.0f, 2.0f, 0);
        const std::vector<STick> recorded = log;
        log.clear();
        for (size_t tick = 0; tick < 300; ++tick) {
            STick t;
            if (ownsIt) {
                for (const auto& m : world.sent)
                    if (m.type == NS_NOTIFYTYPE_ORDER || m.type == NS_NOTIFYTYPE_WAYPOINTLIST)
                        t.taken.push_back(m);
            } else {
                // The messages come from the owner's machine; what this one
                // sent itself the server refuses (it does not own the unit).
                EXPECT_TRUE(std::none_of(world.sent.begin(), world.sent.end(),
                                         [](const auto& m) { return m.type == NS_NOTIFYTYPE_WAYPOINTLIST; }));
                world.sent.clear();
                world.sent = recorded[tick].taken;
                t.taken = recorded[tick].taken;
            }
            world.Run();
            t.x = tank->m_position[0];
            t.z = tank->m_position[2];
            t.running = tank->m_runningOrder != nullptr;
            log.push_back(t);
        }
    };
    play(true, owner);
    std::vector<STick> other = owner;
    play(false, other);
    ASSERT_EQ(owner.size(), other.size());
    bool finished = false;
    for (size_t i = 0; i < owner.size(); ++i) {
        ASSERT_EQ(owner[i].running, other[i].running) << "tick " << i;
        ASSERT_EQ(owner[i].x, other[i].x) << "tick " << i;
        ASSERT_EQ(owner[i].z, other[i].z) << "tick " << i;
        finished = finished || (i > 0 && owner[i - 1].running && !owner[i].running);
    }
    EXPECT_TRUE(finished) << "the move never finished";
    EXPECT_GT(owner.back().x, 25.0f);
}

}  // namespace

namespace {

TEST_F(OrdersTest, AStopEndsTheRunningOrderItNamesOnly) {
    CUnit* unit = Tank(0.0f, 0.0f);
    unit->AddMoveOrder(40.0f, 0.0f, 0);
    world.Run(2);
    CUnitOrder* running = unit->m_runningOrder;
    ASSERT_NE(running, nullptr);
    unit->m_orderList->RemoveAll();  // sends the stop, keeps the order until it comes back
    ASSERT_EQ(world.sent.size(), 1u);
    EXPECT_EQ(world.sent[0].type, NS_NOTIFYTYPE_STOPCURRENTORDER);
    EXPECT_EQ(unit->m_runningOrder, running);
    std::vector<uint8_t> stale = world.sent[0].data;
    LE_StoreU32(stale.data() + 4, running->m_orderId + 1);  // another order's id
    EXPECT_TRUE(Orders_ApplyStopOrder(*world.scene, stale.data(), stale.size()));
    EXPECT_EQ(unit->m_runningOrder, running);
    world.Run();
    EXPECT_EQ(unit->m_runningOrder, nullptr);
    // Without a running order there is nothing to stop: nothing is sent.
    unit->m_orderList->RemoveAll();
    EXPECT_TRUE(world.sent.empty());
}

// A queued order is this machine's alone until its confirmed copy comes
// back: when it goes unrun (the queue cleared, a new order given at once) it
// leaves its unit as it was, or the machine that gave it would part from the
// others. Only the running order and its sub-orders act on the unit as they
// go.
TEST_F(OrdersTest, AQueuedOrderThatGoesUnrunLeavesItsUnitAsItWas) {
    CUnit* unit = Tank(0.0f, 0.0f);
    CUnit* enemy = Tank(30.0f, 0.0f, world.blue);
    CUnit* friendUnit = Tank(-10.0f, 0.0f);
    unit->AddMoveOrder(0.0f, 40.0f, 0);
    world.Run(3);
    ASSERT_NE(unit->m_runningOrder, nullptr);
    unit->m_attackTarget.Set(enemy);
    unit->m_threat.Set(enemy);
    unit->m_buildTarget.Set(friendUnit);
    unit->m_motionFlags |= CUnit::kM_NoTargetScan;
    const uint32_t kinds[] = {CUnitOrder::kMove,    CUnitOrder::kGotoPosition, CUnitOrder::kAttack,
                              CUnitOrder::kHarvest, CUnitOrder::kConstruct,    CUnitOrder::kProduce,
                              CUnitOrder::kGuard,   CUnitOrder::kTow};
    for (uint32_t kind : kinds) {
        SCOPED_TRACE(kind);
        CUnitOrder* queued = CUnitOrder::Create(kind, unit->m_orderList, nullptr, unit);
        if (kind == CUnitOrder::kConstruct || kind == CUnitOrder::kProduce)
            static_cast<CBuildOrder*>(queued)->m_site.Set(friendUnit);
        const std::vector<uint8_t> before = SyncImageOf(unit);
        unit->m_orderList->RemoveQueued();
        EXPECT_TRUE(SyncImageOf(unit) == before);
        EXPECT_EQ(unit->m_attackTarget.Get(), enemy);
        EXPECT_EQ(unit->m_buildTarget.Get(), friendUnit);
        EXPECT_NE(unit->m_runningOrder, nullptr);
    }
}

// A sync image that brings a unit back to the server's state stands as it
// was read: the running order it replaces leaves the fields read before it
// (the attack target, the threat) alone.
TEST_F(OrdersTest, ASyncImageThatReplacesTheRunningOrderKeepsWhatItSays) {
    CUnit* unit = Tank(0.0f, 0.0f);
    CUnit* enemy = Tank(30.0f, 0.0f, world.blue);
    unit->AddMoveOrder(0.0f, 40.0f, 0);
    world.Run(3);
    ASSERT_NE(unit->m_runningOrder, nullptr);
    unit->m_attackTarget.Set(enemy);
    unit->m_threat.Set(enemy);
    const std::vector<uint8_t> server = SyncImageOf(unit);
    // This machine went another way: the unit attacks with an order of its own.
    delete unit->m_runningOrder;
    CAttackOrder* attack = new CAttackOrder(unit->m_orderList, nullptr, unit, 0);
    attack->m_targetLink.Set(enemy);
    unit->m_runningOrder = attack;
    unit->m_threat.Clear();
    CStateArchive image(server.data(), server.size(), CStateArchive::kApply);
    ASSERT_EQ(unit->ReadSyncImage(image), CTessarakObject::kSyncTaken);
    unit->AfterLoad();  // links resolve by id, as at the end of a resync
    EXPECT_EQ(unit->m_attackTarget.Get(), enemy);
    EXPECT_EQ(unit->m_threat.Get(), enemy);
    EXPECT_TRUE(SyncImageOf(unit) == server);
    // An image without a running order takes the one there away, the same.
    unit->m_attackTarget.Clear();
    delete unit->m_runningOrder;
    unit->m_runningOrder = nullptr;
    const std::vector<uint8_t> idle = SyncImageOf(unit);
    CAttackOrder* again = new CAttackOrder(unit->m_orderList, nullptr, unit, 0);
    again->m_targetLink.Set(enemy);
    unit->m_runningOrder = again;
    unit->m_motionFlags &= ~CUnit::kM_Arrived;
    CStateArchive idleImage(idle.data(), idle.size(), CStateArchive::kApply);
    ASSERT_EQ(unit->ReadSyncImage(idleImage), CTessarakObject::kSyncTaken);
    EXPECT_TRUE(SyncImageOf(unit) == idle);
}

// A build order without a template (a produce order whose template went
// with its content) keeps its whole record, so the orders after it in a
// saved unit read back.
TEST_F(OrdersTest, ASavedBuildOrderWithoutATemplateKeepsTheRecordsAfterIt) {
    CUnit* unit = Tank(0.0f, 0.0f);
    new CMoveOrder(unit->m_orderList, nullptr, unit, 5.0f, 6.0f, 0);
    new CBuildOrder(unit->m_orderList, nullptr, unit, 0);  // no template
    CUnitOrder* patrol = new CPatrolOrder(unit->m_orderList, nullptr, unit);
    patrol->m_destination[0] = 9.0f;
    CStateArchive saved;
    unit->m_orderList->SaveToFile(saved);
    std::vector<uint8_t> bytes = saved.GetBuffer();
    unit->m_orderList->DeleteChildren();
    CStateArchive reader(bytes.data() + 4, bytes.size() - 4, CStateArchive::kApply);
    ASSERT_TRUE(unit->m_orderList->LoadFromFile(reader));
    EXPECT_EQ(reader.GetRemaining(), 0u);
    ASSERT_EQ(unit->m_orderList->ChildCount(), 3);
    EXPECT_EQ(unit->m_orderList->FirstChild()->m_type, CUnitOrder::kPatrol);
    EXPECT_EQ(unit->m_orderList->FirstChild()->m_destination[0], 9.0f);
    EXPECT_EQ(unit->m_orderList->LastChild()->m_type, CUnitOrder::kMove);
}

// The extra costs a computer player puts on squares of the map reach the
// ways of its units through its player, never through an order message.
class CBandCosts : public CPathCosts {
public:
    explicit CBandCosts(int side) : m_side(side), m_bytes(size_t(side) * size_t(side), 0) {
        // An expensive band 40 units wide down the middle, from the northern
        // edge to 10 units south of the centre.
        for (int y = 0; y < side / 2 + 10; ++y)
            for (int x = side / 2 - 20; x < side / 2 + 20; ++x)
                m_bytes[size_t(y) * size_t(side) + size_t(x)] = 127;
    }
    const int8_t* GetPathCosts(int& width, int& height) const override {
        width = height = m_side;
        return m_bytes.data();
    }
    int m_side;
    std::vector<int8_t> m_bytes;
};

TEST_F(OrdersTest, AComputerPlayersUnitsGoAroundWhatItMadeExpensive) {
    world.players->m_local = world.blue;  // red plays on no one's screen: a computer player
    world.red->m_computer = 1;
    world.red->m_computerHere = 1;  // and this machine runs it
    CBandCosts costs((world.grid->m_pathGrid.Width() - 1) / 3);
    world.red->m_pathCosts = &costs;
    CUnit* unit = Tank(-30.0f, 30.0f);
    unit->QueueMoveOrder(30.0f, 30.0f, 0);
    world.Run(3);
    float southmost = 1e9f;
    for (const CWaypointPoint* p = unit->m_waypoints->Head(); p; p = p->next)
        southmost = std::min(southmost, p->z);
    ASSERT_GT(unit->m_waypoints->Count(), 2);
    EXPECT_LT(southmost, -9.0f) << "the way crossed the expensive band";
    for (const auto& m : world.sent)
        if (m.type == NS_NOTIFYTYPE_ORDER) {
            EXPECT_EQ(LE_LoadU32(m.data.data() + 32), 0u);
        }
}

}  // namespace
