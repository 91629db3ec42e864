// Weapon fire: the aim and range tests, the shot point and the order of the
// weapon's random draws, direct hits, tracers, thrown objects (their way,
// life and homing) and a thrower whose object is missing.
#include <gtest/gtest.h>

#include <vector>

#include "core/Math.h"
#include "tests/support/WorldTestHost.h"
#include "world/ExplosionManager.h"
#include "world/GameNode.h"
#include "world/Unit.h"
#include "world/UnitWeapon.h"

namespace {

class WeaponFireTest : public ::testing::Test {
protected:
    WeaponFireTest()
        : tank(host.MakeTemplate<CUnitTemplate>(host.m_root, 10, "Tank")),
          gun(host.MakeTemplate<CUnitWeaponTemplate>(tank, 11, "Gun")),
          firePoint(host.MakeTemplate<CTessarakObjectTemplate>(gun, 12, "FirePoint")),
          rock(host.MakeTemplate<CTessarakObjectTemplate>(host.m_root, 20, "Rock")),
          shell(host.MakeTemplate<CTessarakObjectTemplate>(host.m_root, 30, "Shell")),
          spark(host.MakeTemplate<CTessarakObjectTemplate>(host.m_root, 40, "Spark")) {
        gun->m_visibleRange = 20.0f;
        gun->m_reloadTime = 0.5f;
        gun->m_hitDamage = 30.0f;
    }

    // A tank at the origin (its gun and fire point take the ids after
    // tankId) and a rock of radius 1 at (x, 0, z).
    CUnitWeapon* MakeTank(int32_t tankId = 1, int32_t gunId = 2) {
        gun->m_weaponMethod = method;
        host.scene->m_idTable.SetCounter(gunId);
        unit = static_cast<CUnit*>(host.Make(tank, tankId, host.players->m_neutral));
        CUnitWeapon* weapon = static_cast<CUnitWeapon*>(unit->FirstChildObject());
        weapon->FirePointLink().Set(weapon->FirstChildObject());
        return weapon;
    }
    CTessarakObject* MakeTarget(float x, float z) {
        float at[3] = {x, 0.0f, z};
        CTessarakObject* target = host.scene->CreateObjectByClass(rock, at, nullptr, 100 + targets++);
        target->m_objectRadius = 1.0f;
        return target;
    }
    // Aims at the object (or at the point, for a shot at the ground), turned
    // onto the aim, loaded.
    bool FireAt(CUnitWeapon* weapon, CTessarakObject* target, float x = 0, float z = 0) {
        weapon->m_target.Set(target);
        if (target) {
            x = target->m_position[0];
            z = target->m_position[2];
        }
        weapon->AimAt(x, 0.0f, z);
        weapon->Heading() = weapon->AimHeading();
        return weapon->Fire();
    }
    // The objects of the template under the root: the world's and the view's.
    std::vector<CTessarakObject*> Instances(const CTessarakObjectTemplate* of) {
        std::vector<CTessarakObject*> found;
        for (CE3DFrame* f = host.m_root->m_firstChild; f; f = f->m_siblingNext)
            if (CTessarakObject* o = CGameNode::AsObject(f))
                if (o->m_template == of) found.push_back(o);
        return found;
    }

    CWorldTestHost host;
    CUnitTemplate* tank;
    CUnitWeaponTemplate* gun;
    CTessarakObjectTemplate* firePoint;
    CTessarakObjectTemplate* rock;
    CTessarakObjectTemplate* shell;
    CTessarakObjectTemplate* spark;
    int32_t method = CUnitWeaponTemplate::kDirectHit;
    CUnit* unit = nullptr;
    int targets = 0;
};

TEST_F(WeaponFireTest, FiresOnlyFacingItsAimAndWithinRange) {
    CUnitWeapon* weapon = MakeTank();
    CTessarakObject* target = MakeTarget(0.0f, 10.0f);
    weapon->m_target.Set(target);
    weapon->AimAt(0.0f, 0.0f, 10.0f);
    EXPECT_EQ(weapon->AimHeading(), 0.0f);
    weapon->ReloadTimer() = -0.1f;
    struct {
        float heading;
        bool fires;
    } cases[] = {{0.15f, false}, {6.13f, false}, {0.09f, true}, {6.2f, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.heading);
        weapon->Heading() = c.heading;
        float power = target->m_power;
        weapon->Fire();
        EXPECT_EQ(target->m_power < power, c.fires);
        // A shot restarts the reload; a weapon that did not fire keeps it.
        EXPECT_EQ(weapon->ReloadTimer(), c.fires ? 0.5f : -0.1f);
        weapon->ReloadTimer() = -0.1f;
    }
    // A fixed mount fires wherever it points.
    weapon->Heading() = 3.0f;
    weapon->m_weaponFlags |= CUnitWeapon::kW_LockedRotation;
    EXPECT_FALSE(weapon->Fire());
    EXPECT_EQ(weapon->ReloadTimer(), 0.5f);
    weapon->m_weaponFlags &= ~CUnitWeapon::kW_LockedRotation;

    // Range: a target point exactly at the range is hit; beyond it, not.
    CTessarakObject* edge = MakeTarget(0.0f, 20.0f);
    CTessarakObject* beyond = MakeTarget(0.0f, 20.01f);
    FireAt(weapon, edge);
    FireAt(weapon, beyond);
    EXPECT_EQ(edge->m_power, 70.0f);
    EXPECT_EQ(beyond->m_power, 100.0f);
    // The fire point is where the shot left.
    EXPECT_EQ(weapon->FirePoint()[2], 0.0f);
}

TEST_F(WeaponFireTest, DirectHitsTakeTheTargetsPowerUntilItIsDestroyed) {
    CUnitWeapon* weapon = MakeTank();
    CTessarakObject* target = MakeTarget(3.0f, 4.0f);
    for (int shot = 1; shot <= 4; ++shot) {
        EXPECT_FALSE(FireAt(weapon, target));  // only a thrown object makes it true
        EXPECT_EQ((target->m_stateA & CTessarakObject::kA_Destroyed) != 0, shot == 4) << shot;
    }
    EXPECT_FLOAT_EQ(target->m_power, -20.0f);
    EXPECT_EQ(unit->m_owner->m_kills, 0);  // a rock is no unit: no kill counted
}

// The shot point is the target point set back along the heading by the
// spread and scattered by three draws of the weapon's generator. A weapon
// with id 7 draws 61 and 237 when it is made, then 812, 2690 and 8823: the
// scatter is (12 - 20, 10 - 20, 23 - 20) x 0.1 x 0.0025.
TEST_F(WeaponFireTest, ShotPointAndImpactObjectFollowTheWeaponsOwnDraws) {
    gun->m_hitObject = spark;
    gun->m_hasHitObject = 1;
    CUnitWeapon* weapon = MakeTank(1, 7);
    ASSERT_EQ(weapon->m_objectId, 7);
    FireAt(weapon, nullptr, 0.0f, 10.0f);
    EXPECT_TRUE(weapon->m_weaponFlags & CUnitWeapon::kW_GroundShot);
    std::vector<CTessarakObject*> sparks = Instances(spark);
    ASSERT_EQ(sparks.size(), 1u);
    CTessarakObject* hit = sparks[0];
    // Heading 0: x is set back by cos 0 x 0.43478262 x 0.1; z by sin 0.
    EXPECT_FLOAT_EQ(hit->m_position[0], -0.043478262f - 0.002f);
    EXPECT_FLOAT_EQ(hit->m_position[1], 0.0f);  // the target point's height
    EXPECT_FLOAT_EQ(hit->m_position[2], 10.0f + 0.00075f);
    // An effect of the view: it takes no id from the simulation, nor a place
    // among the world's objects.
    EXPECT_EQ(hit->m_objectId, -1);
    EXPECT_FALSE(hit->IsWorldObject());
    EXPECT_EQ(host.scene->m_idTable.GetCounter(), 9);
}

// What a shot shows, the flash at the muzzle and the spark where it hit, is
// the view's: made for each shot outside the world (no id, no place among
// its objects), each for the life its template gives (a minimum and a
// random part), counted by the view's frames; none where the view shows no
// effects.
TEST_F(WeaponFireTest, TheShotsFlashAndSparkAreTheViewsForTheirShortLife) {
    CTessarakObjectTemplate* flash = host.MakeTemplate<CTessarakObjectTemplate>(host.m_root, 50, "Flash");
    flash->m_autoDestructionMin = 0.1f;
    flash->m_autoDestructionRandomLimit = 0.05f;
    spark->m_autoDestructionMin = 0.3f;
    spark->m_autoDestructionRandomLimit = 0.1f;
    gun->m_flameObject = flash;
    gun->m_hasFlameObject = 1;
    gun->m_hitObject = spark;
    gun->m_hasHitObject = 1;
    CUnitWeapon* weapon = MakeTank();
    CTessarakObject* target = MakeTarget(0.0f, 10.0f);
    const int32_t objects = host.scene->m_objectCount;
    const int32_t ids = host.scene->m_idTable.GetCounter();
    FireAt(weapon, target);
    ASSERT_EQ(Instances(flash).size(), 1u);
    ASSERT_EQ(Instances(spark).size(), 1u);
    CTessarakObject* muzzle = Instances(flash)[0];
    EXPECT_FLOAT_EQ(muzzle->m_position[0], weapon->FirePoint()[0]);
    EXPECT_FLOAT_EQ(muzzle->m_position[2], weapon->FirePoint()[2]);
    for (CTessarakObject* o : {muzzle, Instances(spark)[0]}) {
        EXPECT_EQ(o->m_objectId, -1);
        EXPECT_FALSE(o->IsWorldObject());
        EXPECT_GT(o->m_activeCount, 0);  // drawn
    }
    EXPECT_EQ(host.scene->m_objectCount, objects);
    EXPECT_EQ(host.scene->m_idTable.GetCounter(), ids);
    // Frames of 1/15 s: the flash is gone within 0.15 s, the spark within 0.4 s.
    int flashGone = -1, sparkGone = -1;
    for (int frame = 1; frame <= 10; ++frame) {
        host.explosions->Update(1.0f / 15.0f, 0.0f, 0.0f);
        if (flashGone < 0 && Instances(flash).empty()) flashGone = frame;
        if (sparkGone < 0 && Instances(spark).empty()) sparkGone = frame;
    }
    EXPECT_GE(flashGone, 2);
    EXPECT_LE(flashGone, 3);
    EXPECT_GE(sparkGone, 5);
    EXPECT_LE(sparkGone, 7);
    // A machine without the view's effects shows nothing.
    host.explosions->m_viewEffects = 0;
    weapon->ReloadTimer() = 0.0f;
    FireAt(weapon, target);
    EXPECT_TRUE(Instances(flash).empty());
    EXPECT_TRUE(Instances(spark).empty());
}

TEST_F(WeaponFireTest, OneShotInTenLeavesATracerTheSameWayOnEveryMachine) {
    gun->m_traceObject = spark;
    auto tracers = [&](std::vector<int>& shots) {
        CUnitWeapon* weapon = MakeTank(1, 7);
        CTessarakObject* target = MakeTarget(0.0f, 10.0f);
        target->m_power = 1e9f;
        for (int shot = 0; shot < 1000; ++shot) {
            size_t before = Instances(spark).size();
            FireAt(weapon, target);
            if (Instances(spark).size() > before) shots.push_back(shot);
        }
        host.scene->DeleteObject(unit);
        host.scene->DeleteObject(target);
        targets = 0;
        for (CTessarakObject* o : Instances(spark)) host.scene->DeleteObject(o);
    };
    std::vector<int> first, second;
    tracers(first);
    tracers(second);
    EXPECT_GT(first.size(), 60u);
    EXPECT_LT(first.size(), 140u);
    EXPECT_EQ(first, second);
}

TEST_F(WeaponFireTest, ThrownObjectsFlyAtTheTargetForTheTimeTheWayTakes) {
    method = CUnitWeaponTemplate::kObjectThrower;
    gun->m_throwObject = shell;
    gun->m_throwSpeed = 8.0f;
    CUnitWeapon* weapon = MakeTank();
    CTessarakObject* target = MakeTarget(6.0f, 8.0f);
    ASSERT_TRUE(FireAt(weapon, target));
    std::vector<CTessarakObject*> shells = Instances(shell);
    ASSERT_EQ(shells.size(), 1u);
    CTessarakObject* s = shells[0];
    EXPECT_EQ(s->m_objectId, 4);  // the next id after the gun (2) and its fire point (3)
    EXPECT_EQ(s->m_owner, unit->m_owner);
    EXPECT_EQ(s->m_throwerLink.Get(), unit);
    EXPECT_EQ(s->m_aimedLink.Get(), target);
    EXPECT_TRUE(s->m_stateA & CTessarakObject::kA_ImpactOnContact);
    EXPECT_TRUE(s->m_stateA & CTessarakObject::kA_Active);
    EXPECT_FLOAT_EQ(s->m_velocity[0], 8.0f * 0.6f);
    EXPECT_FLOAT_EQ(s->m_velocity[2], 8.0f * 0.8f);
    EXPECT_FLOAT_EQ(s->m_yaw, Angle2D(0.0f, 0.0f, 6.0f, 8.0f));
    // Life: 10 / 8 seconds to the target point, and half a second to a
    // second more drawn from the tank's generator.
    EXPECT_GE(s->m_lifeTimer, 1.25f + 0.5f);
    EXPECT_LE(s->m_lifeTimer, 1.25f + 1.0f);

    // A homing shell follows its target; at the ground it flies to the point.
    shell->m_homing = 1;
    FireAt(weapon, target);
    CTessarakObject* homing = Instances(shell)[0];
    EXPECT_EQ(homing->m_homingMode, 1);
    EXPECT_EQ(homing->m_homingLink.Get(), target);
    EXPECT_EQ(homing->m_homingStrength, 8.0f);
    FireAt(weapon, nullptr, 0.0f, -16.0f);
    CTessarakObject* toGround = Instances(shell)[0];
    EXPECT_EQ(toGround->m_homingMode, 2);
    EXPECT_EQ(toGround->m_owner, host.scene->NeutralPlayer());
    EXPECT_FLOAT_EQ(toGround->m_homingPoint[1], -16.0f);
    EXPECT_FLOAT_EQ(toGround->m_lifeTimer, 2.25f);
}

TEST_F(WeaponFireTest, AThrowerWithoutItsObjectIsDisabledWithOneLine) {
    method = CUnitWeaponTemplate::kObjectThrower;
    gun->m_throwObject = nullptr;
    gun->m_throwSpeed = 8.0f;
    CUnitWeapon* weapon = MakeTank();
    unit->SetName("Alpha");
    EXPECT_FALSE(FireAt(weapon, MakeTarget(0.0f, 5.0f)));
    EXPECT_EQ(weapon->m_method, CUnitWeaponTemplate::kDisabled);
    EXPECT_EQ(
        host.FindLine("Error in object"),
        "Error in object 'Alpha', object was trying to throw '' which was not found, weapon is disabled.");
}

TEST_F(WeaponFireTest, ThunderMakesNoDamageAndNoObject) {
    method = CUnitWeaponTemplate::kThunder;
    CUnitWeapon* weapon = MakeTank();
    CTessarakObject* target = MakeTarget(0.0f, 5.0f);
    int32_t counter = host.scene->m_idTable.GetCounter();
    EXPECT_FALSE(FireAt(weapon, target));
    EXPECT_EQ(weapon->ReloadTimer(), 0.5f);
    EXPECT_EQ(target->m_power, 100.0f);
    EXPECT_EQ(host.scene->m_idTable.GetCounter(), counter);
}

}  // namespace
