// Game objects: ids, links, groups, creation from templates and cloning,
// owners and the scene's lists.
#include <gtest/gtest.h>

#include "tests/support/WorldTestHost.h"
#include "world/GridMember.h"
#include "world/PhysicsEngine.h"
#include "world/Player.h"
#include "world/TessarakObject.h"
#include "world/Unit.h"
#include "world/UnitWeapon.h"
#include "world/World.h"
#include "world/WorldGrid.h"

namespace {

class ObjectsTest : public ::testing::Test {
protected:
    ObjectsTest() : t(host) {}
    CGameScene& scene() { return *host.scene; }
    CTessarakObject* Make(CTessarakObjectTemplate* tmpl, int32_t id, CPlayer* owner = nullptr) {
        return host.Make(tmpl, id, owner);
    }

    CWorldTestHost host;
    SDemoTemplates t;
    CUnitTemplate* tank = t.tank;
    CTessarakObjectTemplate* ring = t.ring;
    CTessarakObjectTemplate* rock = t.rock;
};

TEST_F(ObjectsTest, IdTableFindsSharedBucketsForgetsDeletedIdsAndNeverHoldsTwo) {
    CObjectIdTable& ids = scene().m_idTable;
    EXPECT_EQ(ids.NewId(), 0);
    EXPECT_EQ(ids.NewId(), 1);
    CTessarakObject* a = Make(rock, 5);
    CTessarakObject* b = Make(rock, 5 + CObjectIdTable::kBuckets);
    EXPECT_EQ(ids.Find(5), a);
    EXPECT_EQ(ids.Find(8197), b);
    EXPECT_EQ(ids.Find(-1), nullptr);
    // Inserting again moves it to the head of its bucket, no stale entry.
    EXPECT_TRUE(ids.Insert(a));
    scene().DeleteObject(a);
    EXPECT_EQ(ids.Find(5), nullptr);
    EXPECT_EQ(ids.Find(8197), b);
    EXPECT_EQ(ids.NewId(), 2);  // a deleted id is not given back
    // A second object of an id in use is refused with a line; the game goes on.
    EXPECT_EQ(Make(rock, 8197), nullptr);
    EXPECT_NE(host.FindLine("8197 is already in use"), "");
    EXPECT_EQ(ids.Find(8197), b);
    // A fresh id skips an id that an object holds.
    ids.SetCounter(8197);
    EXPECT_EQ(ids.NewId(), 8198);
    // An object without an id is not in the table.
    CTessarakObject* loose = Make(rock, -1);
    EXPECT_EQ(loose->m_objectId, -1);
    EXPECT_FALSE(ids.Insert(loose));
}

TEST_F(ObjectsTest, LinksFollowTheirTargetAndEmptyWhenItGoes) {
    CTessarakObject* a = Make(rock, 1);
    CTessarakObject* b = Make(rock, 2);
    CObjectLink l1, l2;
    l1.Set(a);
    l2.Set(a);
    l1.Set(b);  // moves: a keeps only l2
    EXPECT_EQ(a->m_referrers, &l2);
    EXPECT_EQ(l2.GetRecordId(), 1);

    CObjectLink pending;
    pending.SetId(77);
    pending.Resolve(scene().m_idTable);
    EXPECT_EQ(pending.Get(), nullptr);
    EXPECT_EQ(pending.GetPendingId(), CObjectLink::kNoId);
    pending.SetId(2);
    pending.Resolve(scene().m_idTable);
    EXPECT_EQ(pending.Get(), b);

    // Release empties every link at once; a later Resolve does nothing.
    b->Release();
    EXPECT_EQ(l1.Get(), nullptr);
    EXPECT_EQ(pending.Get(), nullptr);
    l1.Resolve(scene().m_idTable);
    EXPECT_EQ(l1.Get(), nullptr);
    // Deleting the target does the same: no link is left dangling.
    a->m_aimedLink.Set(a);
    scene().DeleteObject(a);
    EXPECT_EQ(l2.Get(), nullptr);
    EXPECT_EQ(l2.GetRecordId(), -1);
}

TEST_F(ObjectsTest, GroupsCountMembersAndLiveMembersApart) {
    CObjectGroup group;
    CTessarakObject* a = Make(rock, 1);
    CTessarakObject* b = Make(rock, 2);
    a->AddMembership(&group);
    b->AddMembership(&group);
    EXPECT_EQ(group.m_count, 2);
    EXPECT_EQ(group.m_liveCount, 2);
    EXPECT_EQ(group.GetHead()->GetObject(), a);  // joining order
    a->RemoveMembership(&group);
    EXPECT_EQ(group.m_count, 1);
    EXPECT_EQ(group.m_liveCount, 2);
    // The template counts its instances; deleting an object leaves its groups.
    EXPECT_EQ(rock->m_instances.m_count, 2);
    scene().DeleteObject(b);
    EXPECT_EQ(group.m_count, 0);
    EXPECT_EQ(rock->m_instances.m_count, 1);
}

TEST_F(ObjectsTest, CreationBuildsTheTemplateTreeWithFreshIdsInOrder) {
    scene().m_idTable.SetCounter(40);
    CTessarakObject* unit = Make(tank, 7, host.players->m_local);
    ASSERT_NE(unit, nullptr);
    EXPECT_TRUE(unit->IsUnit());
    EXPECT_EQ(unit->m_classMask, 7u);
    EXPECT_EQ(unit->m_objectId, 7);
    // Seeded with id 7, the generator draws 61 (dropped), 237 (the random
    // byte), then 812, the unit's first own draw (its threat-scan counter,
    // modulo 20): each step keeps only its 15-bit result.
    EXPECT_EQ(unit->m_randomByte, 237);
    EXPECT_EQ(static_cast<CUnit*>(unit)->m_scanCounter, 812 % 20);
    EXPECT_EQ(unit->CountChildObjects(), 2);
    // Children in template order get 40 and 41 and stay sorted by id.
    CTessarakObject* first = unit->FirstChildObject();
    CTessarakObject* second = first->NextSiblingObject();
    EXPECT_EQ(first->m_objectId, 40);
    EXPECT_EQ(second->m_objectId, 41);
    EXPECT_EQ(first->m_rootObject, unit);
    EXPECT_FALSE(first->IsWorldObject());
    EXPECT_EQ(first->m_owner, host.players->m_local);
    CTessarakObject* weapon = first->IsWeapon() ? first : second;
    EXPECT_EQ(weapon->m_classMask, 0x11u);
    EXPECT_TRUE(weapon->m_stateA & CTessarakObject::kA_Active);  // weapons are always active
    EXPECT_TRUE(unit->m_stateA & CTessarakObject::kA_Active);    // units always run their update
    EXPECT_FALSE(unit->m_stateA & CTessarakObject::kA_Selected);
    EXPECT_EQ(unit->m_power, 100.0f);
    EXPECT_EQ(scene().m_unitCount, 1);
    EXPECT_EQ(scene().m_weaponCount, 0);  // the gun is a part, not a world object
    EXPECT_EQ(scene().m_objectCount, 1);

    // A parent without an id makes children without ids.
    CTessarakObject* loose = Make(tank, -1);
    for (CTessarakObject* c = loose->FirstChildObject(); c; c = c->NextSiblingObject())
        EXPECT_EQ(c->m_objectId, -1);
    EXPECT_EQ(scene().m_idTable.GetCounter(), 42);

    // Cloning makes plain objects of the whole tree; kind 6 is a grid member.
    CTessarakObject* copy = scene().CreateObjectFromTemplate(tank, nullptr, host.m_root, 6, nullptr, 50);
    EXPECT_EQ(copy->m_classMask, 3u);
    EXPECT_EQ(copy->CountChildObjects(), 2);
    EXPECT_EQ(copy->FirstChildObject()->m_classMask, 1u);
    EXPECT_EQ(scene().CreateObjectFromTemplate(tank, nullptr, host.m_root, 8, nullptr, 51), nullptr);
}

TEST_F(ObjectsTest, AnUnknownClassIsRefusedWithoutEndingTheGame) {
    CTessarakObjectTemplate* odd = host.MakeTemplate<CTessarakObjectTemplate>(host.m_root, 30, "Odd");
    odd->m_classMask = kClassTemplate | 0x09;
    EXPECT_EQ(Make(odd, 3), nullptr);
    EXPECT_NE(host.FindLine("Class not found"), "");
    // A child of an unknown class is left out of its parent.
    CTessarakObjectTemplate* part = host.MakeTemplate<CTessarakObjectTemplate>(rock, 21, "Odd part");
    part->m_classMask = kClassTemplate | 0x20;
    CTessarakObject* r = Make(rock, 4);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->CountChildObjects(), 0);
    EXPECT_EQ(scene().m_idTable.Find(4), r);
}

TEST_F(ObjectsTest, TheSameIdDrawsTheSameRandomLooksInEveryWorld) {
    rock->m_randomRotation = 1;
    rock->m_hasResource = 1;
    CTessarakObjectTemplate* chip = host.MakeTemplate<CTessarakObjectTemplate>(rock, 22, "Chip");
    (void)chip;
    CTessarakObject* a = Make(rock, 300);
    float looks[6] = {a->m_yaw,
                      a->m_pitch,
                      a->m_roll,
                      a->FirstChildObject()->m_yaw,
                      a->FirstChildObject()->m_pitch,
                      a->FirstChildObject()->m_roll};
    scene().DeleteObject(a);
    CTessarakObject* b = Make(rock, 300);
    float again[6] = {b->m_yaw,
                      b->m_pitch,
                      b->m_roll,
                      b->FirstChildObject()->m_yaw,
                      b->FirstChildObject()->m_pitch,
                      b->FirstChildObject()->m_roll};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(looks[i], again[i]) << i;
    EXPECT_NE(looks[0], looks[3]);
}

TEST_F(ObjectsTest, ActivationAndUpdateAlways) {
    CTessarakObject* a = Make(rock, 1);
    CTessarakObject* b = Make(rock, 2);
    a->Activate();
    b->Activate();
    a->Activate();
    EXPECT_EQ(scene().m_activeObjects, b);  // newest first, once each
    EXPECT_EQ(b->m_sceneActiveNext, a);
    EXPECT_EQ(a->m_sceneActiveNext, nullptr);
    b->Deactivate();
    b->Deactivate();
    EXPECT_EQ(scene().m_activeObjects, a);
    rock->m_updateAlways = 1;
    EXPECT_TRUE(Make(rock, 3)->m_stateA & CTessarakObject::kA_Active);
    rock->m_updateAlways = 0;
    rock->m_autoRotation[1] = 0.5f;
    CTessarakObject* spinning = Make(rock, 4);
    EXPECT_TRUE(spinning->m_stateA & CTessarakObject::kA_Active);
}

TEST_F(ObjectsTest, OwnersMoveTheirObjectsBetweenTheirLists) {
    CPlayerList& players = *host.players;
    CPlayer* local = players.m_local;
    CPlayer* other = new CPlayer(&players);
    other->SetId(2);
    CGridMemberTemplate* depot = host.MakeTemplate<CGridMemberTemplate>(host.m_root, 40, "Depot");
    CTessarakObject* d = Make(depot, 1, local);
    EXPECT_EQ(local->m_categories[CPlayer::kCategoryAll].m_count, 1);
    EXPECT_EQ(local->m_categories[CPlayer::kCategoryStructures].m_count, 1);
    EXPECT_EQ(depot->GetPlayerData(local)->m_count, 1);
    EXPECT_TRUE(d->m_stateB & CTessarakObject::kB_LocalOwner);
    d->SetOwner(other);
    EXPECT_EQ(local->m_categories[CPlayer::kCategoryAll].m_count, 0);
    EXPECT_EQ(local->m_categories[CPlayer::kCategoryStructures].m_count, 0);
    EXPECT_EQ(other->m_categories[CPlayer::kCategoryStructures].m_count, 1);
    EXPECT_EQ(depot->GetPlayerData(other)->m_count, 1);
    EXPECT_FALSE(d->m_stateB & CTessarakObject::kB_LocalOwner);
    // A player that leaves hands its objects to the neutral player.
    delete other;
    EXPECT_EQ(d->m_owner, players.m_neutral);
    EXPECT_EQ(players.m_neutral->m_categories[CPlayer::kCategoryAll].m_count, 1);
    EXPECT_EQ(depot->GetPlayerData(players.m_neutral)->m_count, 1);
}

TEST_F(ObjectsTest, SelectionShowsTheRingAndRemovalRemembersIt) {
    CTessarakObject* unit = Make(tank, 1);
    CTessarakObject* sel = nullptr;
    for (CTessarakObject* c = unit->FirstChildObject(); c; c = c->NextSiblingObject())
        if (c->m_template == ring) sel = c;
    ASSERT_NE(sel, nullptr);
    EXPECT_EQ(sel->m_pendingVisibility, 1);  // hidden since the unit was deselected
    scene().BroadcastMessage(kClassUnit, CTessarakObject::kMsgSelect, 0);
    EXPECT_TRUE(unit->m_stateA & CTessarakObject::kA_Selected);
    EXPECT_EQ(sel->m_pendingVisibility, -1);
    EXPECT_TRUE(scene().MoveSelection(2.0f, -1.0f));
    EXPECT_EQ(unit->m_position[0], 2.0f);
    EXPECT_EQ(unit->m_position[2], -1.0f);
    unit->RemoveFromGrid();
    EXPECT_EQ(unit->m_deselectedOnRemoval, 1);
    EXPECT_TRUE(unit->m_flagsA & kFrameOnUpdateList);
    // Weapons ignore selection.
    CTessarakObject* w = unit->FirstChildObject()->IsWeapon() ? unit->FirstChildObject()
                                                              : unit->FirstChildObject()->NextSiblingObject();
    w->HandleMessage(CTessarakObject::kMsgSelect, 0);
    EXPECT_FALSE(w->m_stateA & CTessarakObject::kA_Selected);
}

TEST_F(ObjectsTest, DestructionAndScaffoldsUnderDamage) {
    CTessarakObject* r = Make(rock, 1);
    r->ApplyDamage(nullptr, 1.0f, false);
    EXPECT_EQ(r->m_power, 99.0f);
    EXPECT_FALSE(r->m_stateA & CTessarakObject::kA_Destroyed);
    EXPECT_FALSE(static_cast<CE3DFrame*>(r)->Dying());
    r->ApplyDamage(nullptr, 0.0f, true);
    EXPECT_TRUE(r->m_stateA & CTessarakObject::kA_Destroyed);
    // Emitters that follow it see it dying and stop spawning.
    EXPECT_TRUE(static_cast<CE3DFrame*>(r)->Dying());
    EXPECT_TRUE(r->m_flagsA & kFrameOnUpdateList);

    CGridMember* scaffold = static_cast<CGridMember*>(Make(tank, 102));
    CTessarakObject* attacker = Make(tank, 103, host.players->m_local);
    ASSERT_NE(attacker, nullptr);
    scaffold->m_gridFlags |= CGridMember::kG_Marked;
    scaffold->ApplyDamage(attacker, 500.0f, true);
    EXPECT_EQ(scaffold->m_power, 100.0f);
    scaffold->m_gridFlags &= ~CGridMember::kG_Marked;
    scaffold->ApplyDamage(attacker, 500.0f, false);
    EXPECT_EQ(scaffold->m_lastAttacker.Get(), attacker);
    EXPECT_EQ(host.players->m_local->m_kills, 1);
}

// A template of limited life (AutoDestructionMin and RandomLimit): each
// object draws its life from its own generator, the same for the same id on
// every machine, and destroys itself on the active list when it ran out.
TEST_F(ObjectsTest, ALimitedLifeIsDrawnAtCreationAndEndsTheObject) {
    rock->m_autoDestructionMin = 0.5f;
    rock->m_autoDestructionRandomLimit = 0.25f;
    CTessarakObject* a = Make(rock, 7);
    EXPECT_GE(a->m_lifeTimer, 0.5f);
    EXPECT_LE(a->m_lifeTimer, 0.75f);
    const float life = a->m_lifeTimer;
    scene().DeleteObject(a);
    EXPECT_EQ(Make(rock, 7)->m_lifeTimer, life);
    CTessarakObject* b = Make(rock, 8);
    b->Activate();
    host.tickStep = 0.1f;
    int ticks = 0;
    while (!(b->m_stateA & CTessarakObject::kA_Destroyed) && ticks < 20) {
        b->Integrate();
        ++ticks;
    }
    EXPECT_TRUE(b->m_stateA & CTessarakObject::kA_Destroyed);
    EXPECT_GE(ticks, 5);
    EXPECT_LE(ticks, 8);
    // Without a random limit there is no limit.
    rock->m_autoDestructionRandomLimit = 0.0f;
    EXPECT_EQ(Make(rock, 9)->m_lifeTimer, 0.0f);
}

TEST_F(ObjectsTest, ClearEmptiesTheWorldUnderTheLock) {
    CTessarakObject* r = Make(rock, 1);
    float impulse[3] = {1, 0, 0};
    ASSERT_TRUE(host.physics->AddForce(r, impulse, 0.5f, 2.0f));
    Make(tank, 2);
    scene().Clear();
    EXPECT_EQ(scene().m_allObjects, nullptr);
    EXPECT_EQ(scene().m_objectCount, 0);
    EXPECT_EQ(scene().m_unitCount, 0);
    EXPECT_EQ(scene().m_activeObjects, nullptr);
    EXPECT_EQ(host.locks, 0);
    EXPECT_EQ(host.physics->CountFree(), CPhysicsEngine::kBlockSize);
    EXPECT_EQ(scene().FindTemplateById(1, 10), tank);
    EXPECT_EQ(scene().FindTemplateById(1, -1), nullptr);
    EXPECT_EQ(scene().FindTemplate("ROCK"), rock);
}

TEST_F(ObjectsTest, GridMembersHoldTheirFootprintAndCellsAfterALoad) {
    CWorldGrid& grid = *host.grid;
    ASSERT_TRUE(grid.SetMapRect(-16, 16, 16, -16));
    grid.Reset();
    CGridMemberTemplate* depot = host.MakeTemplate<CGridMemberTemplate>(host.m_root, 40, "Depot");
    depot->m_footprintHalfSize = 2;
    const float at[3] = {1.0f, 0.0f, -2.0f};
    CGridMember* d = static_cast<CGridMember*>(scene().CreateObjectByClass(depot, at, nullptr, 1));
    d->AfterLoad();
    int cx, cy;
    grid.FineCellOf(1.0f, -2.0f, cx, cy);
    // Half-size 2: the cells [cx - 2, cx + 2) on both axes.
    EXPECT_EQ(grid.m_pathGrid.Count(cx - 2, cy - 2), 1);
    EXPECT_EQ(grid.m_pathGrid.Count(cx + 1, cy + 1), 1);
    EXPECT_EQ(grid.m_pathGrid.Count(cx + 2, cy), 0);
    EXPECT_EQ(grid.m_layer[0].QueryAt(1.0f, -2.0f), static_cast<CGridObject*>(d));
    d->AfterLoad();  // the same place: nothing counted twice
    EXPECT_EQ(grid.m_pathGrid.Count(cx, cy), 1);
    // Out of play it leaves the layers; released it gives its cells back, once.
    d->RemoveFromGrid();
    EXPECT_EQ(grid.m_layer[0].QueryAt(1.0f, -2.0f), nullptr);
    EXPECT_EQ(grid.m_pathGrid.Count(cx, cy), 1);
    d->Release();
    d->Release();
    EXPECT_EQ(grid.m_pathGrid.Count(cx, cy), 0);

    // A scaffold takes no cells; a part of another object stays out of the grid.
    CGridMember* s = static_cast<CGridMember*>(scene().CreateObjectByClass(depot, at, nullptr, 2));
    s->m_gridFlags |= CGridMember::kG_Marked;
    s->AfterLoad();
    EXPECT_EQ(grid.m_pathGrid.Count(cx, cy), 0);
    EXPECT_EQ(grid.m_layer[0].QueryAt(1.0f, -2.0f), nullptr);
    scene().DeleteObject(s);
    host.grid = nullptr;
}

TEST_F(ObjectsTest, HomingWaitsOnTheTickThenSteersAtItsStrength) {
    CTessarakObject* shell = Make(rock, 1);
    shell->m_homingStrength = 2.0f;
    host.tickStep = 0.1f;
    shell->SteerTowards(3.0f, 0.0f, 4.0f);
    shell->SteerTowards(3.0f, 0.0f, 4.0f);
    EXPECT_FLOAT_EQ(shell->m_steeringTimer, 0.2f);
    EXPECT_EQ(shell->m_velocity[0], 0.0f);
    shell->SteerTowards(3.0f, 0.0f, 4.0f);
    EXPECT_FLOAT_EQ(shell->m_velocity[0], 1.2f);
    EXPECT_FLOAT_EQ(shell->m_velocity[2], 1.6f);
}

TEST_F(ObjectsTest, StartPositionsAreSetInsideTheirCountOnly) {
    scene().DefineStartPositions(2);
    EXPECT_TRUE(scene().SetStartPosition(1, 10.0f, -4.0f));
    EXPECT_FALSE(scene().SetStartPosition(2, 1.0f, 1.0f));
    EXPECT_FALSE(scene().SetStartPosition(-1, 1.0f, 1.0f));
    EXPECT_EQ(scene().m_startX[1], 10.0f);
    EXPECT_EQ(scene().m_startZ[1], -4.0f);
    scene().DefineStartPositions(-3);
    EXPECT_EQ(scene().StartPositionCount(), 0);
}

// The owner hears of an attack its object survives, by kind: a harvester
// (11), the race's key building (5), a mobile unit (10), any other unit (4,
// with the owner's id, also for another player's unit); and of the key
// building's loss (0). Each kind comes at most once in the notice delay, its
// next time kept by the local player, and a hit of 1.0 or less tells
// nothing.
TEST_F(ObjectsTest, TheOwnerHearsOfAttacksByKindOnceInTheNoticeDelay) {
    CPlayerList& players = *host.players;
    CPlayer* local = players.m_local;
    CPlayer* other = new CPlayer(&players);
    other->SetId(2);
    other->m_ownerId = 2;
    CRace* race = new CRace(&players, "Granite");
    CUnitTemplate* hq = host.MakeTemplate<CUnitTemplate>(host.m_root, 50, "HQ");
    CUnitTemplate* harvester = host.MakeTemplate<CUnitTemplate>(host.m_root, 51, "Harvester");
    CUnitTemplate* turret = host.MakeTemplate<CUnitTemplate>(host.m_root, 52, "Turret");
    race->m_keyTemplate = hq;
    local->m_race = race;
    harvester->m_harvestType = 1;
    harvester->m_speed = 0.5f;
    tank->m_speed = 0.5f;
    CTessarakObject* base = Make(hq, 1, local);
    CTessarakObject* miner = Make(harvester, 2, local);
    CTessarakObject* mover = Make(tank, 3, local);  // its gun and ring take 4 and 5
    CTessarakObject* tower = Make(turret, 6, local);
    CTessarakObject* theirs = Make(turret, 7, other);
    CTessarakObject* rock = Make(t.rock, 8, local);
    ASSERT_TRUE(base && miner && mover && tower && theirs && rock);

    struct SCase {
        CTessarakObject* victim;
        float amount;
        int code;  // -1: no notice
        int32_t ownerId;
    };
    const SCase cases[] = {
        {miner, 5.0f, CTessarakObject::kEventHarvesterUnderAttack, local->m_ownerId},
        {base, 5.0f, CTessarakObject::kEventCentralUnderAttack, local->m_ownerId},
        {mover, 5.0f, CTessarakObject::kEventUnitUnderAttack, local->m_ownerId},
        {tower, 1.0f, -1, 0},  // exactly 1.0: no notice
        {tower, 5.0f, CTessarakObject::kEventBaseUnderAttack, local->m_ownerId},
        {theirs, 5.0f, CTessarakObject::kEventBaseUnderAttack, other->m_ownerId},
        {rock, 5.0f, -1, 0},   // not a unit
        {miner, 5.0f, -1, 0},  // within the delay: each kind once
        {theirs, 5.0f, -1, 0},
    };
    host.gameTime = 1000;
    for (const SCase& c : cases) {
        host.events.clear();
        c.victim->ApplyDamage(nullptr, c.amount, false);
        if (c.code < 0) {
            EXPECT_TRUE(host.events.empty()) << c.victim->m_template->m_name.GetText();
            continue;
        }
        ASSERT_EQ(host.events.size(), 1u) << c.victim->m_template->m_name.GetText();
        EXPECT_EQ(host.events[0].code, c.code);
        EXPECT_EQ(host.events[0].ownerId, c.ownerId);
        EXPECT_EQ(host.events[0].x, c.victim->m_position[0]);
        EXPECT_EQ(host.events[0].text, c.victim->m_template->m_name.GetText());
    }
    // The other player's kind is timed by the local player, not by its owner.
    const uint64_t next = 1000 + 30ull * 1193182ull;
    EXPECT_EQ(local->m_timers[4], next);
    for (uint64_t timer : other->m_timers) EXPECT_EQ(timer, 0u);
    // Once the delay has passed, the kind is heard again.
    host.gameTime = next + 1;
    host.events.clear();
    miner->ApplyDamage(nullptr, 5.0f, false);
    ASSERT_EQ(host.events.size(), 1u);
    EXPECT_EQ(host.events[0].code, CTessarakObject::kEventHarvesterUnderAttack);

    // Losing the key building is told once; losing another unit is not.
    host.events.clear();
    mover->ApplyDamage(nullptr, 0.0f, true);
    EXPECT_TRUE(host.events.empty());
    base->ApplyDamage(nullptr, 500.0f, false);
    base->ApplyDamage(nullptr, 500.0f, false);
    ASSERT_EQ(host.events.size(), 1u);
    EXPECT_EQ(host.events[0].code, CTessarakObject::kEventCentralDestroyed);
    EXPECT_EQ(host.events[0].ownerId, local->m_ownerId);
    local->m_race = nullptr;
    delete race;
}

// What a hit is worth is measured against each side's own template: the
// victim's loss with its power and expense, the attacking unit's gain with
// its own. Damage without an attacker scores nothing.
TEST_F(ObjectsTest, DamageScoresFollowEachSidesOwnTemplate) {
    CUnitTemplate* heavy = host.MakeTemplate<CUnitTemplate>(host.m_root, 60, "Heavy");
    CUnitTemplate* light = host.MakeTemplate<CUnitTemplate>(host.m_root, 61, "Light");
    heavy->m_power = 200.0f;
    heavy->m_expense = 500.0f;
    light->m_power = 40.0f;
    light->m_expense = 100.0f;
    CPlayer* other = new CPlayer(host.players);
    other->SetId(2);
    CGridMember* victim = static_cast<CGridMember*>(Make(heavy, 1, host.players->m_local));
    CGridMember* attacker = static_cast<CGridMember*>(Make(light, 2, other));
    ASSERT_TRUE(victim && attacker);
    victim->ApplyDamage(attacker, 20.0f, false);
    EXPECT_FLOAT_EQ(victim->m_valueLost, 20.0f / 200.0f * 500.0f);
    EXPECT_FLOAT_EQ(attacker->m_valueDestroyed, 20.0f / 40.0f * 100.0f);
    EXPECT_EQ(victim->m_valueDestroyed, 0.0f);
    EXPECT_EQ(attacker->m_valueLost, 0.0f);
    victim->ApplyDamage(nullptr, 20.0f, false);
    EXPECT_FLOAT_EQ(victim->m_valueLost, 50.0f);
    // A plain object as the attacker (a shell) scores for nobody.
    CTessarakObject* shell = Make(t.rock, 3);
    victim->ApplyDamage(shell, 20.0f, false);
    EXPECT_FLOAT_EQ(victim->m_valueLost, 100.0f);
    EXPECT_EQ(victim->m_lastAttacker.Get(), shell);
}

// A factory destroyed takes out of play what it was making inside itself
// (held apart, grid flag 0x40); a structure a builder puts up outside stays.
TEST_F(ObjectsTest, ADestroyedFactoryTakesItsUnfinishedProductOffTheGrid) {
    CUnit* factory = static_cast<CUnit*>(Make(tank, 1));
    CUnit* product = static_cast<CUnit*>(Make(tank, 5));
    CUnit* builder = static_cast<CUnit*>(Make(tank, 9));
    CUnit* site = static_cast<CUnit*>(Make(tank, 13));
    ASSERT_TRUE(factory && product && builder && site);
    product->m_gridFlags |= CUnit::kG_Blocked;
    factory->m_buildTarget.Set(product);
    builder->m_buildTarget.Set(site);
    factory->ApplyDamage(nullptr, 0.0f, true);
    builder->ApplyDamage(nullptr, 0.0f, true);
    EXPECT_TRUE(product->m_flagsA & kFrameOnUpdateList);
    EXPECT_FALSE(site->m_flagsA & kFrameOnUpdateList);
}

// A unit that leaves play is handed once to whoever keeps account of the
// units (the computer players), with what damage cost it and what its shots
// destroyed; a selected one tells the interface that the selection changed.
// The units that go with an emptied scene are not handed over.
TEST_F(ObjectsTest, AReleasedUnitIsFlushedOnceAndASelectedOneChangesTheSelection) {
    struct SWatcher : IUnitWatcher {
        struct SCall {
            int32_t id;
            float x, z, lost, destroyed;
        };
        std::vector<SCall> calls;
        void FlushUnit(int32_t id, float x, float z, float lost, float destroyed) override {
            calls.push_back({id, x, z, lost, destroyed});
        }
    } watcher;
    host.world.SetUnitWatcher(&watcher);
    CUnit* kept = static_cast<CUnit*>(Make(tank, 1));
    CUnit* lost = static_cast<CUnit*>(Make(tank, 5));
    CUnit* plain = static_cast<CUnit*>(Make(tank, 9));
    CTessarakObject* rock = Make(t.rock, 13);
    ASSERT_TRUE(kept && lost && plain && rock);
    lost->SetPosition(3.0f, 0.0f, -4.0f);
    lost->m_valueLost = 7.0f;
    lost->m_valueDestroyed = 2.0f;
    lost->HandleMessage(CTessarakObject::kMsgSelect, 0);
    lost->ApplyDamage(nullptr, 500.0f, false);  // destroyed while selected
    lost->Release();
    lost->Release();
    ASSERT_EQ(watcher.calls.size(), 1u);
    EXPECT_EQ(watcher.calls[0].id, 5);
    EXPECT_EQ(watcher.calls[0].x, 3.0f);
    EXPECT_EQ(watcher.calls[0].z, -4.0f);
    EXPECT_EQ(watcher.calls[0].lost, 7.0f);
    EXPECT_EQ(watcher.calls[0].destroyed, 2.0f);
    EXPECT_EQ(host.selectionChanges, 1);
    // Not selected: no change of the selection; not a unit: nothing.
    plain->Release();
    rock->Release();
    EXPECT_EQ(watcher.calls.size(), 2u);
    EXPECT_EQ(host.selectionChanges, 1);
    scene().Clear();
    EXPECT_EQ(watcher.calls.size(), 2u);
    host.world.SetUnitWatcher(nullptr);
}

TEST_F(ObjectsTest, AMeshFlagIsSetThroughTheWholeTree) {
    CTessarakObject* unit = Make(tank, 1);
    ASSERT_NE(unit->FirstChildObject(), nullptr);
    unit->m_animating = false;
    for (CTessarakObject* c = unit->FirstChildObject(); c; c = c->NextSiblingObject()) c->m_animating = false;
    CTessarakObject* rock = Make(t.rock, 20);
    rock->m_animating = false;
    unit->SetMeshFlag(&CE3DMesh::m_animating);
    EXPECT_TRUE(unit->m_animating);
    for (CTessarakObject* c = unit->FirstChildObject(); c; c = c->NextSiblingObject())
        EXPECT_TRUE(c->m_animating);
    EXPECT_FALSE(rock->m_animating);
}

TEST_F(ObjectsTest, AUnitTemplateListCountsBothWays) {
    SUnitTemplateList list;
    SUnitTemplateListNode a, b;
    list.Link(&a, this);
    list.Link(&b, this);
    EXPECT_EQ(list.m_head, &b);
    list.Unlink(&a);
    list.Unlink(&a);  // not in the list any more: nothing changes
    EXPECT_EQ(list.m_count, 1);
    list.Unlink(&b);
    EXPECT_EQ(list.m_count, 0);
    EXPECT_EQ(list.m_head, nullptr);
}

}  // namespace

// The two players every game has from the start: the neutral one (id 0,
// "DefaultPlayer", white), owner of the map's objects, and the local one
// (id 1), light blue until its settings or a lobby give it a colour.
TEST_F(ObjectsTest, TheNeutralPlayerIsWhiteAndTheLocalPlayerStartsLightBlue) {
    CPlayerList players;
    ASSERT_TRUE(players.m_neutral && players.m_local);
    EXPECT_EQ(players.m_neutral->m_id, 0);
    EXPECT_STREQ(players.m_neutral->m_name.GetText(), "DefaultPlayer");
    EXPECT_EQ(std::vector<float>(players.m_neutral->m_colour, players.m_neutral->m_colour + 3),
              std::vector<float>({255.0f, 255.0f, 255.0f}));
    EXPECT_EQ(players.m_local->m_id, 1);
    EXPECT_EQ(std::vector<float>(players.m_local->m_colour, players.m_local->m_colour + 3),
              std::vector<float>({130.0f, 130.0f, 255.0f}));
}
