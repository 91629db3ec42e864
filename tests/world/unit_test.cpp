// The unit: what it copies from its template, the draws of its construction,
// its messages, the orders it adds, sends and cancels, relocation, release,
// docking, and its saved record and sync image byte for byte.
#include "world/Unit.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/support/Bytes.h"
#include "tests/support/UnitWorldTest.h"
#include "world/PhysicsEngine.h"
#include "world/StateArchive.h"
#include "world/UnitOrder.h"
#include "world/WaypointList.h"

namespace {

class UnitTest : public UnitWorldTest {
protected:
    int SentOf(int type) const {
        int n = 0;
        for (const auto& s : w.sent) n += s.type == type;
        return n;
    }
};

}  // namespace

TEST_F(UnitTest, ConstructionDrawsFromTheUnitsOwnGeneratorInOrder) {
    scene().m_idTable.SetCounter(0);
    w.gameTime = 123456;
    CUnit* u = w.Spawn("Granite_LightTank", 0, 0, w.red, false);
    ASSERT_EQ(u->m_objectId, 0);
    CRandom r;
    r.Seed(0);
    r.Rand();
    r.Rand();  // the object's own two
    EXPECT_EQ(u->m_scanCounter, r.Rand() % 20);
    EXPECT_EQ(u->m_hoverAmplitude, r.RandFloat() * 0.25f);
    EXPECT_EQ(u->m_hoverPhase, r.RandFloat() * 6.2831855f);
    EXPECT_EQ((u->m_motionFlags & CUnit::kM_Above) != 0, (r.Rand() & 1) != 0);
    EXPECT_EQ(u->m_orbitDirection, r.Rand() % 10 >= 5 ? -1 : 1);
    EXPECT_EQ(u->m_word, static_cast<uint32_t>(r.Rand() % 20));
    // The template's children took their ids after it; its generator has
    // drawn nothing more.
    EXPECT_EQ(u->m_random.m_state, r.m_state);
    EXPECT_EQ(u->m_contactTime, 123456u);
    EXPECT_EQ(u->m_steeringFlags, CUnit::kT_PathReady);
    EXPECT_EQ(u->m_guardDistance, 4.0f);
    EXPECT_EQ(u->m_gridFlags & (CGridMember::kG_Complete | CUnit::kG_Moving | CUnit::kG_Blocked), 0);
    EXPECT_TRUE(u->m_gridFlags & CGridMember::kG_Avoiding);
    EXPECT_FALSE(u->m_stateA & CTessarakObject::kA_Selected);  // deselected by CreateFromTemplate
    EXPECT_EQ(scene().m_units, u);
    EXPECT_EQ(scene().m_unitCount, 1);
}

TEST_F(UnitTest, CapabilitiesComeFromTheTemplate) {
    struct SCase {
        const char* name;
        uint8_t bits;
        float maxSpeed;
        uint32_t queueMask;
    };
    const SCase cases[] = {
        {"Granite_LightTank", CUnit::kU_Mobile | CUnit::kU_Armed | CUnit::kU_Alive, 0.65f, 0},
        // Speed 0: immobile, and the maximum speed stays 0.7.
        {"Granite_Depot", CUnit::kU_Alive, 0.7f, 0},
        // An internal builder runs only its build orders.
        {"Granite_Headquarters", CUnit::kU_Radar | CUnit::kU_Builder | CUnit::kU_Alive, 0.7f,
         CUnitOrder::kProduce},
    };
    for (const SCase& c : cases) {
        CUnit* u = w.Spawn(c.name, 0, 0, w.red);
        ASSERT_NE(u, nullptr) << c.name;
        EXPECT_EQ(u->m_unitState, c.bits) << c.name;
        EXPECT_EQ(u->m_maxSpeed, c.maxSpeed) << c.name;
        EXPECT_EQ(u->m_orderList->m_childMask, c.queueMask) << c.name;
        EXPECT_TRUE(u->m_stateA & CTessarakObject::kA_Active) << c.name;
    }
    CUnit* hq = w.Spawn("Granite_Headquarters", 20, 0, w.red);
    ASSERT_NE(hq->m_buildCounters, nullptr);
    EXPECT_EQ(hq->m_buildCounters[1], 0);
    CUnit* tug =
        w.Spawn(w.MakeUnitTemplate("Tug", {{"Speed", "1"}, {"HasTowCaps", "1"}, {"HasPhasingCaps", "1"}}), 5,
                5, w.red);
    EXPECT_TRUE(tug->m_unitState & CUnit::kU_Tow);
    EXPECT_EQ(tug->m_towByte, 1);
    EXPECT_FALSE(tug->m_gridFlags & CGridMember::kG_Avoiding);
    EXPECT_TRUE(tug->m_gridFlags2 & CGridMember::kG2_Phasing);
}

TEST_F(UnitTest, GroupMessagesSelectAssignAndJoin) {
    CUnit* a = w.Spawn("Granite_LightTank", 0, 0, w.red);
    CUnit* b = w.Spawn("Granite_LightTank", 4, 0, w.red);
    CUnit* c = w.Spawn("Granite_LightTank", 8, 0, w.red);
    b->m_group = 3;
    c->m_group = 2;
    a->HandleMessage(CTessarakObject::kMsgSelect, 0);
    scene().BroadcastMessage(kClassUnit, CUnit::kMsgGroupAssign, 3);
    EXPECT_EQ(a->m_group, 3);  // selected: takes it
    EXPECT_EQ(b->m_group, 0);  // unselected of group 3: drops it
    EXPECT_EQ(c->m_group, 2);  // unselected of another group: unchanged

    scene().BroadcastMessage(kClassUnit, CUnit::kMsgGroupSelect, 2);
    EXPECT_FALSE(a->m_stateA & CTessarakObject::kA_Selected);
    EXPECT_TRUE(c->m_stateA & CTessarakObject::kA_Selected);
    // With the queue flag held the group is added to the selection.
    scene().SetCommandQueued(true);
    scene().BroadcastMessage(kClassUnit, CUnit::kMsgGroupSelect, 3);
    EXPECT_TRUE(a->m_stateA & CTessarakObject::kA_Selected);
    EXPECT_TRUE(c->m_stateA & CTessarakObject::kA_Selected);
    scene().SetCommandQueued(false);

    // Joining a group: the selected units leave their old group's list and
    // enter the new one's, at the template's speed.
    a->m_maxSpeed = 0.1f;
    scene().BroadcastMessage(kClassUnit, CUnit::kMsgGroupJoin, 7);
    EXPECT_EQ(a->m_group, 7);
    EXPECT_EQ(a->m_maxSpeed, 0.65f);
    EXPECT_EQ(scene().m_groupLists[7].m_count, 2);
    EXPECT_EQ(scene().m_groupLists[3].m_count, 0);
}

TEST_F(UnitTest, OrderMessagesGoToSelectedUnitsOnly) {
    CUnit* a = w.Spawn("Granite_LightTank", 0, 0, w.red);
    CUnit* idle = w.Spawn("Granite_LightTank", 4, 0, w.red);
    CUnit* enemy = w.Spawn("Coral_LightTank", 20, 0, w.blue);
    a->HandleMessage(CTessarakObject::kMsgSelect, 0);
    scene().BroadcastMessage(kClassUnit, CUnit::kMsgAttack, reinterpret_cast<intptr_t>(enemy));
    ASSERT_NE(a->m_orderList->FirstChild(), nullptr);
    EXPECT_EQ(a->m_orderList->FirstChild()->m_type, CUnitOrder::kAttack);
    auto* attack = static_cast<CAttackOrder*>(a->m_orderList->FirstChild());
    EXPECT_EQ(attack->m_targetLink.Get(), enemy);
    EXPECT_EQ(attack->m_ground, 0);
    EXPECT_EQ(idle->m_orderList->ChildCount(), 0);
    // A second attack replaces the queue; with the queue flag it is appended.
    scene().BroadcastMessage(kClassUnit, CUnit::kMsgAttack, reinterpret_cast<intptr_t>(enemy));
    EXPECT_EQ(a->m_orderList->ChildCount(), 1);
    scene().SetCommandQueued(true);
    scene().BroadcastMessage(kClassUnit, CUnit::kMsgAttack, reinterpret_cast<intptr_t>(enemy));
    EXPECT_EQ(a->m_orderList->ChildCount(), 2);
    scene().SetCommandQueued(false);
    // Go to an object: only the local player's units get the order.
    scene().BroadcastMessage(kClassUnit, CUnit::kMsgGoToObject, reinterpret_cast<intptr_t>(enemy));
    EXPECT_EQ(a->m_orderList->ChildCount(), 0);
    CUnit* mine = w.Spawn("Granite_LightTank", 8, 0, w.players->m_local);
    mine->HandleMessage(CTessarakObject::kMsgSelect, 0);
    scene().BroadcastMessage(kClassUnit, CUnit::kMsgGoToObject, reinterpret_cast<intptr_t>(enemy));
    ASSERT_EQ(mine->m_orderList->ChildCount(), 1);
    EXPECT_EQ(mine->m_orderList->FirstChild()->m_type, CUnitOrder::kGoToObject);
    // Help build: only an external builder.
    CUnit* builder =
        w.Spawn(w.MakeUnitTemplate(
                    "Crane", {{"HasBuildCaps", "1"}, {"BuildPowerAdd", "1"}, {"BuildMethod", "External"}}),
                12, 0, w.red);
    builder->HandleMessage(CTessarakObject::kMsgSelect, 0);
    scene().BroadcastMessage(kClassUnit, CUnit::kMsgHelpBuild, reinterpret_cast<intptr_t>(idle));
    ASSERT_EQ(builder->m_orderList->ChildCount(), 1);
    EXPECT_EQ(builder->m_orderList->FirstChild()->m_type, CUnitOrder::kConstruct);
    EXPECT_EQ(a->m_orderList->ChildCount(), 0);  // a tank builds nothing
}

TEST_F(UnitTest, MoveOrdersAreSentUnlessTheQueueHoldsThem) {
    CUnit* tank = w.Spawn("Granite_LightTank", 0, 0, w.red);
    tank->AddMoveOrder(10.0f, -5.0f, 1);
    ASSERT_EQ(w.sent.size(), 1u);
    // Message 134: unit id, type, destination, target, a local reference of
    // 0, the force flag and the extra word.
    SBytes m;
    m.I32(tank->m_objectId).U32(1).F32(10).F32(0).F32(-5).F32(10).F32(0).F32(-5).U32(0).U32(1).U32(0);
    EXPECT_EQ(w.sent[0].type, 134);
    EXPECT_EQ(w.sent[0].data, m.b);
    EXPECT_TRUE(tank->m_serviceFlags & CUnit::kS_AwaitingOrder);
    EXPECT_EQ(tank->m_orderList->FirstChild()->m_sent, 1);
    EXPECT_EQ(tank->m_orderList->FirstChild()->m_issuedHere, 1);

    // A factory that builds inside keeps a move as its rally point, unsent;
    // a unit relocated with the factory as its source takes it over.
    CUnit* hq = w.Spawn("Granite_Headquarters", 20, 20, w.players->m_local);
    hq->AddMoveOrder(30.0f, 30.0f, 0);
    EXPECT_EQ(w.sent.size(), 1u);
    EXPECT_EQ(hq->m_orderList->ChildCount(), 1);
    CUnit* made = w.Spawn("Granite_LightTank", 20, 26, w.players->m_local);
    made->Relocate(hq, 22.0f, 27.0f);
    EXPECT_EQ(made->m_position[0], 22.0f);
    EXPECT_EQ(made->m_position[2], 27.0f);
    EXPECT_TRUE(made->m_motionFlags & CUnit::kM_Arrived);
    ASSERT_EQ(made->m_orderList->ChildCount(), 1);
    EXPECT_EQ(made->m_orderList->FirstChild()->m_type, CUnitOrder::kMove);
    EXPECT_EQ(made->m_orderList->FirstChild()->m_target[0], 30.0f);
    // Another player's relocated unit loses its queue and takes nothing over.
    tank->Relocate(hq, 0.0f, 5.0f);
    EXPECT_EQ(tank->m_orderList->ChildCount(), 0);
}

TEST_F(UnitTest, CancellingABuildOrder) {
    CUnit* hq = w.Spawn("Granite_Headquarters", 0, 0, w.red);
    CUnitOrder* running = new CBuildOrder(hq->m_orderList, nullptr, hq, 0);
    running->m_orderId = 5;
    hq->m_runningOrder = running;
    CUnitOrder* queued = new CBuildOrder(hq->m_orderList, nullptr, hq, 0);
    queued->m_orderId = 6;
    hq->CancelBuildOrder(6);
    EXPECT_EQ(hq->m_orderList->ChildCount(), 1);
    EXPECT_EQ(SentOf(137), 0);
    // The running one is stopped on every machine alike: message 137 now,
    // the order stays until the reset comes back.
    hq->CancelBuildOrder(5);
    EXPECT_EQ(hq->m_orderList->ChildCount(), 1);
    ASSERT_EQ(SentOf(137), 1);
    EXPECT_EQ(w.sent.back().data, SBytes().I32(hq->m_objectId).U32(5).b);
    hq->CancelBuildOrder(99);  // none: nothing
    EXPECT_EQ(SentOf(137), 1);
}

TEST_F(UnitTest, ReleaseRunsOnceAndGivesEverythingBack) {
    CUnit* a = w.Spawn("Granite_LightTank", 0, 0, w.red);
    a->m_energyByte = 1;
    w.red->m_energyAccelerator = 3.0f;
    a->UnitTemplate()->m_energyAccelerator = 0.5f;
    a->Release();
    a->Release();
    EXPECT_EQ(w.red->m_energyAccelerator, 2.5f);
    EXPECT_EQ(a->m_orderList, nullptr);
    EXPECT_EQ(a->m_waypoints, nullptr);
    EXPECT_EQ(scene().m_unitCount, 0);
    a->UnitTemplate()->m_energyAccelerator = 0.0f;
}

TEST_F(UnitTest, TheNearestDockIsTheFirstOfEqualDistances) {
    CTessarakObjectTemplate* spots = scene().m_spotTemplate;
    ASSERT_NE(spots, nullptr);
    const float far[3] = {-10, 0, 0}, near[3] = {0, 0, 4}, twin[3] = {0, 0, -4};
    CTessarakObject* f = scene().CreateObjectByClass(spots, far, nullptr, scene().m_idTable.NewId());
    CTessarakObject* n = scene().CreateObjectByClass(spots, near, nullptr, scene().m_idTable.NewId());
    scene().CreateObjectByClass(spots, twin, nullptr, scene().m_idTable.NewId());
    (void)f;
    CUnit* harvester =
        w.Spawn(w.MakeUnitTemplate("Miner", {{"Speed", "1"}, {"HasSpotCaps", "2"}}), 0, 0, w.red);
    EXPECT_EQ(harvester->FindNearestDock(), n);
    CUnit* tank = w.Spawn("Granite_LightTank", 0, 0, w.red);
    EXPECT_EQ(tank->FindNearestDock(), nullptr);  // no docking capability
}
