// The unit's saved record and sync image: the unit part byte for byte after
// the grid member's, the waypoint list's forms, the order tree and the
// running order, a saved and reloaded world of every demo unit, the world's
// whole state with its hash, and images that do not fit, which change
// nothing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/Bytes.h"
#include "tests/support/UnitWorldTest.h"
#include "world/StateArchive.h"
#include "world/Unit.h"
#include "world/UnitOrder.h"
#include "world/WaypointList.h"

namespace {

std::vector<uint8_t> Tail(const std::vector<uint8_t>& v, size_t n) {
    return n <= v.size() ? std::vector<uint8_t>(v.end() - static_cast<long>(n), v.end()) : v;
}

// The unit part as the record's table lists it, from the unit's fields.
std::vector<uint8_t> UnitPart(const CUnit* u, bool sync, const std::vector<uint8_t>& orders) {
    SBytes e;
    e.F32s(u->m_gotoDestination, 3);
    if (!u->m_waypoints) {
        e.U8(0);
    } else {
        e.U8(1).U32(static_cast<uint32_t>(u->m_waypoints->Count())).I32(u->m_waypoints->CursorIndex());
        for (CWaypointPoint* p = u->m_waypoints->Head(); p; p = p->next)
            e.U8(p->flags ? 1 : 0).F32(p->x).F32(p->y).F32(p->z);
    }
    e.F32(u->m_accumTurn).F32(u->m_maxSpeed);
    e.F32(u->m_speedOverride).F32(u->m_turnRateFactor).F32(u->m_speed);
    e.F32(u->m_desiredHeading)
        .F32(u->m_desiredPitch)
        .F32(u->m_turnDirection)
        .F32(u->m_bank)
        .F32(u->m_maxBank);
    e.F32(u->m_bankRate).F32(u->m_hoverPhase).F32(u->m_hoverAmplitude).F32(u->m_hoverPhaseSpeed);
    if (!sync) e.U16(static_cast<uint16_t>(u->m_group));
    e.U64(u->m_contactTime).U32(u->m_stuckCount);
    e.I32(u->m_blocker.GetRecordId()).F32(u->m_waitSpeed).F32(u->m_waitDeceleration);
    e.I32(u->m_blocking.GetRecordId());
    e.F32(u->m_headingDeg).F32(u->m_pitchDeg).F32s(u->m_floats7, 3).F32(u->m_guardDistance).F32(u->m_float7);
    e.F32s(u->m_unitVector, 3);
    e.I32(u->m_attackTarget.GetRecordId()).I32(u->m_threat.GetRecordId());
    e.U8(u->m_scanCounter).U8(static_cast<uint8_t>(u->m_orbitDirection)).U8(u->m_manoeuvre).U8(u->m_mode);
    e.U8(u->m_stateByte5);
    e.Append(orders);
    e.U32(u->m_orderIdCounter).U32(u->m_buildWord);
    e.I32(u->m_buildTarget.GetRecordId()).I32(u->m_backLinked.GetRecordId()).F32(u->m_harvestLoad);
    e.I32(u->m_link9.GetRecordId()).I32(u->m_dock.GetRecordId());
    for (const CObjectLink& l : u->m_fence) e.I32(l.GetRecordId());
    for (const CObjectLink& l : u->m_fenceBeam) e.I32(l.GetRecordId());
    e.U8(u->m_byte2);
    for (int bit = 1; bit <= 0x80; bit <<= 1) e.U8((u->m_unitState & bit) ? 1 : 0);
    e.U8(u->m_motionFlags & 3);
    for (int bit : {0x04, 0x10, 0x20, 0x40, 0x80}) e.U8((u->m_motionFlags & bit) ? 1 : 0);
    for (int bit : {0x01, 0x02, 0x04, 0x08, 0x10, 0x40, 0x80}) e.U8((u->m_steeringFlags & bit) ? 1 : 0);
    for (int bit : {0x04, 0x10, 0x20, 0x40}) e.U8((u->m_serviceFlags & bit) ? 1 : 0);
    e.F32(u->m_orbitRadius).F32(u->m_orbitPhase).F32(u->m_verticalAmplitude);
    e.U32(u->m_scanWord).U32(u->m_pathWord).I32(u->m_buildEffect.GetRecordId()).F32(u->m_buildEffectScale);
    e.U8(u->m_energyByte & 1);
    e.U16(u->m_waitSignal);
    return e.b;
}

// An order's saved record without children (type 0 is the root).
std::vector<uint8_t> OrderRecord(uint32_t type, bool running, bool current, uint32_t id, uint32_t children) {
    SBytes e;
    e.U32(type).U8(running).U8(current);
    for (int i = 0; i < 6; ++i) e.F32(0);
    e.U32(0).U32(id).U8(0).U8(0).U8(0).U32(0);  // finished, patrol-generated, sent
    for (int i = 0; i < 3; ++i) e.F32(0);
    e.U32(0).U32(children);
    return e.b;
}

class UnitRecordsTest : public UnitWorldTest {
protected:
    // A tank with a little of everything set: a path, links, odd flags.
    CUnit* BusyTank(CUnit* target) {
        CUnit* u = w.Spawn("Granite_LightTank", 3, -4, w.red);
        u->m_waypoints->Append(10, 0.5f, 10);
        u->m_waypoints->Append(12, 0.5f, 14);
        u->m_waypoints->Append(20, 0.5f, 20);
        u->m_waypoints->First();
        u->m_waypoints->Next();
        u->m_waypoints->Head()->flags = 1;
        u->m_group = 4;
        u->m_attackTarget.Set(target);
        u->m_threat.Set(target);
        u->m_previousThreat.Set(target);
        u->m_speed = 1.25f;
        u->m_headingDeg = 33.0f;
        u->m_stuckCount = 7;
        u->m_motionFlags |= CUnit::kM_FlashPhase | CUnit::kM_Arrived | 0x03;
        u->m_serviceFlags |= CUnit::kS_SightStamped | CUnit::kS_Docked;
        u->m_energyByte = 1;
        u->m_orderIdCounter = 9;
        u->m_waitSignal = 17;
        return u;
    }
};

}  // namespace

TEST_F(UnitRecordsTest, TheUnitPartFollowsTheGridMembersByteForByte) {
    CUnit* enemy = w.Spawn("Coral_LightTank", 30, 30, w.blue);
    CUnit* u = BusyTank(enemy);
    std::vector<uint8_t> saved = SavedRecordOf(u);
    std::vector<uint8_t> part = UnitPart(u, false, OrderRecord(0, false, true, 0, 0));
    EXPECT_EQ(Tail(saved, part.size()), part);
    // The sync image: no group number, and a byte for the running order (none).
    std::vector<uint8_t> sync = SyncImageOf(u);
    std::vector<uint8_t> syncPart = UnitPart(u, true, {0});
    EXPECT_EQ(Tail(sync, syncPart.size()), syncPart);
    // The view's own state is in neither: the blink bit, the sight stamp,
    // the selection fade and the radar cover change no byte.
    u->m_motionFlags ^= CUnit::kM_FlashPhase;
    u->m_serviceFlags ^= CUnit::kS_SightStamped;
    u->m_selectionFade = 0.7f;
    u->m_areaByte = 1;
    u->m_sightCell[0] = 12;
    u->m_hitFlashTimer = 2.0f;
    EXPECT_EQ(SavedRecordOf(u), saved);
    EXPECT_EQ(SyncImageOf(u), sync);
    // Two machines whose units differ only in the group number are in step.
    uint32_t crc = u->ComputeSyncCRC();
    u->m_group = 9;
    EXPECT_EQ(u->ComputeSyncCRC(), crc);
}

TEST_F(UnitRecordsTest, WaypointListsAndOrderTreesInTheRecords) {
    CUnit* u = w.Spawn("Granite_LightTank", 0, 0, w.red);
    struct SCase {
        int points;
        int cursor;  // -1: none
    };
    for (SCase c : {SCase{0, -1}, SCase{3, 1}, SCase{3, -1}}) {
        u->m_waypoints->Clear();
        for (int i = 0; i < c.points; ++i) u->m_waypoints->Append(float(i), 0, float(-i));
        u->m_waypoints->SetCursorIndex(c.cursor);
        std::vector<uint8_t> part = UnitPart(u, true, {0});
        EXPECT_EQ(Tail(SyncImageOf(u), part.size()), part) << c.points << " " << c.cursor;
    }
    // The queue: the root's record holds each order, back to front, and the
    // running and current marks; the sync image only the running order's tree.
    CMoveOrder* running = new CMoveOrder(u->m_orderList, nullptr, u, 5, 6, 1);
    running->m_orderId = 3;
    running->m_sent = 1;
    u->m_runningOrder = running;
    CPatrolOrder* queued = new CPatrolOrder(u->m_orderList, nullptr, u);
    queued->m_destination[0] = 8;
    SBytes orders;
    orders.Append(OrderRecord(0, false, true, 0, 2));
    SBytes patrol;
    patrol.U32(CUnitOrder::kPatrol).U8(0).U8(0).F32(0).F32(0).F32(0).F32(8).F32(0).F32(0);
    patrol.U32(0).U32(0).U8(0).U8(0).U8(0).U32(0).F32(0).F32(0).F32(0).U32(0).U32(0);
    orders.Append(patrol.b);
    SBytes move;
    move.U32(CUnitOrder::kMove).U8(1).U8(0).F32(5).F32(0).F32(6).F32(5).F32(0).F32(6);
    move.U32(0).U32(3).U8(0).U8(0).U8(1).U32(0).F32(0).F32(0).F32(0).U32(0).U32(0).U8(1).U32(0);
    orders.Append(move.b);
    std::vector<uint8_t> part = UnitPart(u, false, orders.b);
    EXPECT_EQ(Tail(SavedRecordOf(u), part.size()), part);
    SBytes tree;
    tree.U8(1).U32(CUnitOrder::kMove).U32(0).F32(5).F32(0).F32(6).F32(5).F32(0).F32(6);
    tree.U32(0).U32(3).U8(0).U8(0).U8(1).U32(0).F32(0).F32(0).F32(0).U32(0).U32(0).U8(1).U32(0);
    std::vector<uint8_t> syncPart = UnitPart(u, true, tree.b);
    EXPECT_EQ(Tail(SyncImageOf(u), syncPart.size()), syncPart);

    // Read into a unit without that order (another machine's): the running
    // order is made by its type, with the same fields. (The image names its
    // own id, which the other unit takes once the first is gone.)
    CUnit* other = w.Spawn("Granite_LightTank", 0, 0, w.red);
    std::vector<uint8_t> image = SyncImageOf(u);
    scene().DeleteObject(u);
    CStateArchive ar(image.data(), image.size(), CStateArchive::kApply);
    EXPECT_EQ(other->ReadSyncImage(ar), CTessarakObject::kSyncTaken);
    ASSERT_NE(other->m_runningOrder, nullptr);
    EXPECT_EQ(other->m_runningOrder->m_type, CUnitOrder::kMove);
    EXPECT_EQ(other->m_runningOrder->m_orderId, 3u);
    EXPECT_EQ(static_cast<CMoveOrder*>(other->m_runningOrder)->m_force, 1);
    EXPECT_EQ(other->m_waypoints->Count(), 3);
    EXPECT_EQ(SyncImageOf(other), image);
}

TEST_F(UnitRecordsTest, ASavedWorldOfEveryDemoUnitLoadsBackTheSame) {
    // Every unit template of the demo, in a few states each.
    std::vector<CUnit*> units;
    int i = 0;
    for (CUnitTemplate* t = scene().m_unitTemplates; t; t = t->m_unitNext, ++i) {
        CUnit* u = w.Spawn(t->m_name.GetText(), float(i * 6 - 40), float((i % 5) * 6 - 12),
                           i % 2 ? w.red : w.blue, i % 3 != 0);
        ASSERT_NE(u, nullptr) << t->m_name.GetText();
        units.push_back(u);
    }
    ASSERT_GE(units.size(), 12u);
    units[0]->m_attackTarget.Set(units[1]);
    units[2]->m_group = 5;
    units[2]->m_waypoints->Append(0, 0, 30);
    units[2]->m_waypoints->First();
    units[3]->m_stateA |= CTessarakObject::kA_Selected;
    w.Tick(30);  // the world moves on a little: flags, steering and economy change
    CStateArchive saved;
    scene().SaveObjects(saved);

    CUnitWorld again;
    std::string error;
    ASSERT_TRUE(again.LoadDemoTemplates(error)) << error;
    std::vector<uint8_t> bytes = saved.GetBuffer();
    CStateArchive in(bytes.data(), bytes.size(), CStateArchive::kApply);
    ASSERT_TRUE(again.scene->LoadObjects(in));
    CStateArchive resaved;
    again.scene->SaveObjects(resaved);
    std::vector<uint8_t> again2 = resaved.GetBuffer();
    ASSERT_EQ(again2.size(), bytes.size());
    for (size_t k = 0; k < bytes.size(); ++k)
        if (again2[k] != bytes[k]) {
            ADD_FAILURE() << "first difference at " << k << " of " << bytes.size();
            break;
        }
    EXPECT_EQ(again.scene->ComputeSyncCRC(), scene().ComputeSyncCRC());
    // The attack link finds the same object by id; nothing loads selected;
    // the group number is kept.
    CUnit* attacker = static_cast<CUnit*>(again.scene->m_idTable.Find(units[0]->m_objectId));
    ASSERT_NE(attacker, nullptr);
    ASSERT_NE(attacker->m_attackTarget.Get(), nullptr);
    EXPECT_EQ(attacker->m_attackTarget.Get()->m_objectId, units[1]->m_objectId);
    auto* grouped = static_cast<CUnit*>(again.scene->m_idTable.Find(units[2]->m_objectId));
    EXPECT_EQ(grouped->m_group, 5);
    EXPECT_EQ(again.scene->m_groupLists[5].m_count, 1);
    EXPECT_FALSE(again.scene->m_idTable.Find(units[3]->m_objectId)->m_stateA & CTessarakObject::kA_Selected);
}

TEST_F(UnitRecordsTest, ImagesThatDoNotFitAreRefusedWhole) {
    CUnit* enemy = w.Spawn("Coral_LightTank", 30, 30, w.blue);
    CUnit* u = BusyTank(enemy);
    CMoveOrder* running = new CMoveOrder(u->m_orderList, nullptr, u, 5, 6, 0);
    u->m_runningOrder = running;
    const std::vector<uint8_t> good = SyncImageOf(u);
    CStateArchive tree;
    tree.WriteU8(1);
    running->PackHeader(tree);
    // Offsets in the unit part: the point count at 13, the cursor at 17, the
    // running order's type at 198 (after the byte that says it runs) and its
    // child count 63 bytes later.
    const size_t unitStart = good.size() - UnitPart(u, true, tree.GetBuffer()).size();
    struct SCase {
        const char* what;
        size_t at;
        std::vector<uint8_t> bytes;
    };
    const SCase cases[] = {
        {"a point count beyond the bytes left", unitStart + 13, {0xFF, 0xFF, 0xFF, 0x0F}},
        {"a cursor beyond the points", unitStart + 17, {3, 0, 0, 0}},
        {"a cursor below -1", unitStart + 17, {0xFE, 0xFF, 0xFF, 0xFF}},
        {"an order type that does not exist", unitStart + 198, {0x10, 0, 0, 0}},
        {"a child count beyond the bytes left", unitStart + 261, {0xFF, 0xFF, 0, 0}},
    };
    for (const SCase& c : cases) {
        std::vector<uint8_t> bad = good;
        ASSERT_LE(c.at + c.bytes.size(), bad.size()) << c.what;
        std::copy(c.bytes.begin(), c.bytes.end(), bad.begin() + static_cast<long>(c.at));
        CStateArchive ar(bad.data(), bad.size(), CStateArchive::kApply);
        EXPECT_EQ(u->ReadSyncImage(ar), CTessarakObject::kSyncRefused) << c.what;
        EXPECT_EQ(SyncImageOf(u), good) << c.what;
    }
    // Truncated anywhere in the unit part.
    for (size_t cut : {good.size() - 1, good.size() - 60, unitStart + 20}) {
        CStateArchive ar(good.data(), cut, CStateArchive::kApply);
        EXPECT_EQ(u->ReadSyncImage(ar), CTessarakObject::kSyncRefused) << cut;
        EXPECT_EQ(SyncImageOf(u), good) << cut;
    }
    // The unchanged image is taken.
    CStateArchive ok(good.data(), good.size(), CStateArchive::kApply);
    EXPECT_EQ(u->ReadSyncImage(ok), CTessarakObject::kSyncTaken);
    // A unit without a running order reads the image's order all the same
    // when it checks (the layout follows the image, not the unit).
    CUnit* idle = w.Spawn("Granite_LightTank", 8, 8, w.red);
    std::vector<uint8_t> idleBefore = SyncImageOf(idle);
    std::vector<uint8_t> bad = good;
    std::copy_n(std::vector<uint8_t>{0xFF, 0xFF, 0, 0}.begin(), 4,
                bad.begin() + static_cast<long>(unitStart + 261));
    scene().DeleteObject(u);  // the image's id is free
    CStateArchive ar(bad.data(), bad.size(), CStateArchive::kApply);
    EXPECT_EQ(idle->ReadSyncImage(ar), CTessarakObject::kSyncRefused);
    EXPECT_EQ(SyncImageOf(idle), idleBefore);
}

TEST_F(UnitRecordsTest, AnOrderTreeTooDeepIsRefused) {
    CUnit* u = w.Spawn("Granite_LightTank", 0, 0, w.red);
    CUnitOrder* order = new CMoveOrder(u->m_orderList, nullptr, u, 1, 1, 0);
    u->m_runningOrder = order;
    for (int depth = 0; depth < 20; ++depth) order = new CUnitOrder(order, nullptr, u);
    std::vector<uint8_t> deep = SyncImageOf(u);
    CUnit* other = w.Spawn("Granite_LightTank", 0, 0, w.red);
    // The same image under the other unit's id.
    std::vector<uint8_t> image = deep;
    int32_t id = other->m_objectId;
    std::memcpy(image.data(), &id, 4);
    std::vector<uint8_t> before = SyncImageOf(other);
    CStateArchive ar(image.data(), image.size(), CStateArchive::kApply);
    EXPECT_EQ(other->ReadSyncImage(ar), CTessarakObject::kSyncRefused);
    EXPECT_EQ(SyncImageOf(other), before);
}

TEST_F(UnitRecordsTest, AHeldSyncReadsTheUnitPartWithoutTakingIt) {
    CUnit* a = w.Spawn("Granite_LightTank", 0, 0, w.red);
    a->m_speed = 3.0f;
    a->m_waypoints->Append(5, 0, 5);
    std::vector<uint8_t> image = SyncImageOf(a);
    a->m_speed = 1.0f;
    a->m_waypoints->Clear();
    scene().m_syncHold = 1;
    CStateArchive ar(image.data(), image.size(), CStateArchive::kApply);
    EXPECT_EQ(a->ReadSyncImage(ar), CTessarakObject::kSyncTaken);
    EXPECT_EQ(ar.GetRemaining(), 0u);  // read to its end
    EXPECT_EQ(a->m_speed, 1.0f);
    EXPECT_EQ(a->m_waypoints->Count(), 0);
    scene().m_syncHold = 0;
}

// The world's whole state (the saved games' door): loaded into a world of the
// same players it gives the saving world's StateHash; a state cut short, or
// one for a world that holds objects already, changes nothing.
TEST_F(UnitRecordsTest, TheWorldsWholeStateLoadsBackWithItsStateHash) {
    CUnit* enemy = w.Spawn("Coral_LightTank", 30, 30, w.blue);
    BusyTank(enemy);
    w.red->m_resources += 750.0f;
    w.Tick(10);
    CStateArchive saved;
    w.world.SaveState(saved);
    const std::vector<uint8_t> bytes = saved.GetBuffer();

    CUnitWorld again;
    std::string error;
    ASSERT_TRUE(again.LoadDemoTemplates(error)) << error;
    const uint32_t empty = again.world.StateHash();
    ASSERT_NE(empty, w.world.StateHash());
    for (size_t cut : {size_t(6), size_t(40), bytes.size() - 1}) {
        CStateArchive in(bytes.data(), cut, CStateArchive::kApply);
        EXPECT_FALSE(again.world.LoadState(in)) << cut;
        EXPECT_EQ(again.world.StateHash(), empty) << cut;
        EXPECT_EQ(again.scene->m_allObjects, nullptr) << cut;
    }
    CStateArchive in(bytes.data(), bytes.size(), CStateArchive::kApply);
    ASSERT_TRUE(again.world.LoadState(in));
    EXPECT_EQ(in.GetRemaining(), 0u);
    EXPECT_EQ(again.world.StateHash(), w.world.StateHash());
    EXPECT_EQ(again.red->m_resources, w.red->m_resources);
    CStateArchive twice(bytes.data(), bytes.size(), CStateArchive::kApply);
    EXPECT_FALSE(again.world.LoadState(twice));
    EXPECT_EQ(again.world.StateHash(), w.world.StateHash());
}
