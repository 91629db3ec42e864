// The scene's tick: its order of work, the weapon step (fire points and
// turning), the active list's order, the deletion of what left play, the
// players' passes and the resource spots.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/Math.h"
#include "tests/support/UnitWorldTest.h"
#include "world/Unit.h"
#include "world/UnitWeapon.h"

namespace {

class SceneTickTest : public UnitWorldTest {
protected:
    static CUnitWeapon* WeaponOf(CTessarakObject* unit) {
        for (CTessarakObject* c = unit->FirstChildObject(); c; c = c->NextSiblingObject())
            if (c->IsWeapon()) return static_cast<CUnitWeapon*>(c);
        return nullptr;
    }
};

}  // namespace

TEST_F(SceneTickTest, AWeaponWithoutFirePointIsDisabledOnceWithOneLine) {
    CUnitTemplate* tank = w.MakeTemplate<CUnitTemplate>(w.m_root, 9100, "Tank");
    w.MakeTemplate<CUnitWeaponTemplate>(tank, 9101, "Gun");
    const float at[3] = {0, 0, 0};
    CTessarakObject* unit = scene().CreateObjectByClass(tank, at, w.red, 5000);
    CUnitWeapon* gun = WeaponOf(unit);
    ASSERT_NE(gun, nullptr);
    w.Tick(3);
    EXPECT_EQ(gun->m_byte, 0);
    int lines = 0;
    for (const std::string& l : w.lines)
        lines +=
            l ==
            "Fatal Errror : Weapon 'Gun' ( mother is 'Tank' ) has no 'FirePoint' child object. Weapon is "
            "disabled";
    EXPECT_EQ(lines, 1);
}

TEST_F(SceneTickTest, AWeaponTurnsTheShortWayAndSnapsOntoItsAim) {
    CUnit* tank = w.Spawn("Granite_LightTank", 0, 0, w.red);
    CUnit* enemy = w.Spawn("Coral_LightTank", 0, 10, w.blue);
    tank->m_mode = 0;  // no manoeuvres: the tank stands still
    enemy->m_mode = 0;
    CUnitWeapon* gun = WeaponOf(tank);
    ASSERT_NE(gun, nullptr);
    // Aimed at 0.1 radians from 6.2: upward through 2 pi, the short way.
    enemy->SetPosition(Math_Sin(0.1f) * 10.0f, 0, Math_Cos(0.1f) * 10.0f);
    tank->m_attackTarget.Set(enemy);
    gun->RotationSpeed() = 0.05f / dt;  // 0.05 radians a tick
    gun->SetOrientation(6.2f, 0, 0, gun->m_scene);
    w.Tick();
    EXPECT_NEAR(gun->Heading(), 6.25f, 1e-3f);  // read back from the frame's matrix
    EXPECT_FALSE(gun->m_weaponFlags & CUnitWeapon::kW_Aligned);
    w.Tick();  // 6.30 passes 2 pi: 0.0168
    EXPECT_NEAR(gun->Heading(), 6.30f - kTwoPi, 1e-3f);
    w.Tick();
    w.Tick();  // within one step of 0.1: it snaps onto it
    EXPECT_TRUE(gun->m_weaponFlags & CUnitWeapon::kW_Aligned);
    EXPECT_NEAR(gun->Heading(), 0.1f, 1e-5f);
    EXPECT_EQ(gun->m_target.Get(), enemy);
}

TEST_F(SceneTickTest, TheActiveListRunsByDescendingIdAndSurvivesLeavers) {
    CTessarakObjectTemplate* rock = w.MakeTemplate<CTessarakObjectTemplate>(w.m_root, 9200, "Rock");
    std::vector<CTessarakObject*> made;
    for (int32_t id : {5, 2, 9, -1, 7}) {
        const float at[3] = {0, 0, 0};
        made.push_back(scene().CreateObjectByClass(rock, at, nullptr, id));
    }
    for (int i : {3, 1, 4, 0, 2}) made[static_cast<size_t>(i)]->Activate();
    std::vector<int32_t> order;
    for (CTessarakObject* o = scene().m_activeObjects; o; o = o->m_sceneActiveNext)
        order.push_back(o->m_objectId);
    EXPECT_EQ(order, (std::vector<int32_t>{9, 7, 5, 2, -1}));
    EXPECT_EQ(scene().m_activeTail, made[3]);
    // An object that leaves the list while the tick walks it moves the walk on.
    scene().m_tickNext = made[4];  // 7
    made[4]->Deactivate();
    EXPECT_EQ(scene().m_tickNext, made[0]);  // 5
    scene().m_tickNext = nullptr;
    made[3]->Deactivate();
    EXPECT_EQ(scene().m_activeTail, made[1]);
}

TEST_F(SceneTickTest, WhatLeavesPlayIsDeletedAtTheTicksEnd) {
    CUnit* a = w.Spawn("Granite_LightTank", 0, 0, w.red);
    CUnit* b = w.Spawn("Granite_LightTank", 5, 0, w.red);
    const int32_t idA = a->m_objectId;
    a->RemoveFromGrid();
    EXPECT_EQ(scene().m_idTable.Find(idA), a);  // still there until the tick ends
    w.Tick();
    EXPECT_EQ(scene().m_idTable.Find(idA), nullptr);
    EXPECT_EQ(scene().m_idTable.Find(b->m_objectId), b);
}

TEST_F(SceneTickTest, PlayersAndResourceSpots) {
    w.red->m_storage = 500.0f;
    w.red->m_noticeTimer = 0.01f;
    w.red->m_notice = 1;
    scene().m_spotMovement = 2.0f;
    const float at[3] = {0, 0, 0};
    CTessarakObject* spot = scene().CreateObjectByClass(scene().m_spotTemplate, at, nullptr, 7000);
    SResourceSpot& r = *spot->m_resourceSpot;
    r.m_speed = 3.0f;
    r.m_base = 5.0f;
    const float phase = r.m_phase;
    w.Tick();
    // Last tick's storage is kept, this tick's counted again; the notice is
    // the view's: the tick leaves it, the view's step runs it out.
    EXPECT_EQ(w.red->m_storageLast, 500.0f);
    EXPECT_EQ(w.red->m_storage, 0.0f);
    EXPECT_EQ(w.red->m_notice, 1);
    scene().StepView(1.0f / 60.0f);
    EXPECT_EQ(w.red->m_notice, 0);
    // With no storage at all the stock is cut to 0.
    EXPECT_EQ(w.red->m_resources, 0.0f);
    EXPECT_FLOAT_EQ(r.m_phase, phase + dt * 3.0f);
    EXPECT_FLOAT_EQ(r.m_current, Math_Sin(r.m_phase) * 2.0f + 5.0f);
}
