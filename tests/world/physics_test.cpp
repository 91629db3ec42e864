// The physics engine: delayed force records, the pressure wave of an
// explosion, and tow cables with their stretch, snap and release.
#include <gtest/gtest.h>

#include <string>

#include "core/Math.h"
#include "tests/support/UnitWorldTest.h"
#include "world/PhysicsEngine.h"
#include "world/Unit.h"

namespace {

class PhysicsTest : public UnitWorldTest {
protected:
    void SetUp() override {
        UnitWorldTest::SetUp();
        rocks = w.MakeTemplate<CGridMemberTemplate>(w.m_root, 9700, "Rocks");
        rocks->m_collisionRadius = 1.0f;
        rocks->m_density = 2.0f;
        rocks->m_splashDamageModifier = 0.5f;
        w.scene->AddPlayerToTemplates(w.red);
    }
    CGridMember* Rock(float x, float y, float z) {
        const float at[3] = {x, y, z};
        return static_cast<CGridMember*>(
            w.scene->CreateObjectByClass(rocks, at, nullptr, w.scene->m_idTable.NewId()));
    }
    // The force record the object got from the last wave, or null.
    static const SForceRecord* Force(const CTessarakObject* o) { return o->m_forcesTail; }

    CGridMemberTemplate* rocks = nullptr;
};

}  // namespace

TEST_F(PhysicsTest, AForceActsWhenItsDelayHasRunOut) {
    CGridMember* rock = Rock(0, 0, 0);
    const float impulse[3] = {0.2f, 0.0f, 0.0f};
    ASSERT_TRUE(w.physics->AddForce(rock, impulse, 1.5f * dt, 5.0f));
    // An object at rest is activated and may rest again.
    EXPECT_TRUE(rock->m_stateA & CTessarakObject::kA_Active);
    EXPECT_TRUE(rock->m_stateB & CTessarakObject::kB_MayRest);
    rock->Integrate();
    EXPECT_EQ(rock->m_pushVelocity[0], 0.0f);
    rock->Integrate();  // the delay falls below 0 now
    EXPECT_EQ(rock->m_forces, nullptr);
    EXPECT_EQ(rock->m_power, rock->m_maxPower - 5.0f);
    EXPECT_GT(rock->m_pushVelocity[0], 0.0f);
    // Once at rest with no records left, it leaves the active list.
    for (int i = 0; i < 100 && (rock->m_stateA & CTessarakObject::kA_Active); ++i) rock->Integrate();
    EXPECT_FALSE(rock->m_stateA & CTessarakObject::kA_Active);
}

TEST_F(PhysicsTest, ThePressureWave) {
    const float speed = 10.0f, mass = 2.0f, power = 100.0f, radius = 10.0f;
    CGridMember* centre = Rock(0, 0, 0);
    CGridMember* near = Rock(2, 0, 0);      // inside 0.8 x radius: damage 80 x 0.5
    CGridMember* edge = Rock(0, 0, 7.5f);   // inside: damage 25 x 0.5
    CGridMember* weak = Rock(0, 7.95f, 0);  // damage (10 - 7.95) / 10 x 100 = 20.5: above 10
    CGridMember* far = Rock(15, 0, 0);      // beyond the damage radius, within speed x mass
    CGridMember* out = Rock(25, 0, 0);      // beyond both
    w.physics->ApplyPressureWave(0, 0, 0, speed, mass, power, radius);
    auto impulse = [&](float d) {
        float m =
            Math_Sqrt(3.1415927f / (4.0f * 3.1415927f * d * d) * power * mass * mass / (2.3561945f * 2.0f));
        return std::min(m, 1.5f);
    };
    // At the centre the wave goes along +z at once.
    ASSERT_NE(Force(centre), nullptr);
    EXPECT_EQ(Force(centre)->m_impulse[0], 0.0f);
    EXPECT_GT(Force(centre)->m_impulse[2], 0.0f);
    EXPECT_FLOAT_EQ(Force(centre)->m_delay, 0.001f / speed);
    ASSERT_NE(Force(near), nullptr);
    EXPECT_FLOAT_EQ(Force(near)->m_impulse[0], impulse(2.0f));
    EXPECT_FLOAT_EQ(Force(near)->m_damage, (radius - 2.0f) / radius * power * 0.5f);
    EXPECT_FLOAT_EQ(Force(near)->m_delay, 2.0f / speed);
    EXPECT_FLOAT_EQ(Force(edge)->m_damage, (radius - 7.5f) / radius * power * 0.5f);
    // Damage of 10 or less is not dealt (0.8 x radius = 8).
    ASSERT_NE(Force(weak), nullptr);
    EXPECT_GT(Force(weak)->m_damage, 0.0f);
    CGridMember* grazed = Rock(0, 0, -7.99f);
    w.physics->ReleaseForces(grazed);
    w.physics->ApplyPressureWave(0, 0, 0, speed, mass, 12.0f, radius);  // damage (10 - 7.99) / 10 x 12 < 10
    EXPECT_EQ(Force(grazed) ? Force(grazed)->m_damage : 0.0f, 0.0f);
    // Far away: pushed later, only when the push is longer than 0.1.
    ASSERT_NE(Force(far), nullptr);
    EXPECT_FLOAT_EQ(Force(far)->m_delay, 15.0f / speed);
    EXPECT_EQ(Force(far)->m_damage, 0.0f);
    EXPECT_EQ(Force(out), nullptr);
    CGridMember* faint = Rock(19.9f, 0, 0);
    w.physics->ApplyPressureWave(0, 0, 0, speed, 2.0f, 0.01f, radius);  // a tiny push: none
    EXPECT_EQ(Force(faint), nullptr);
}

TEST_F(PhysicsTest, TowCablesStretchSnapAndLetGo) {
    CTessarakObjectTemplate* cable = w.MakeTemplate<CTessarakObjectTemplate>(w.m_root, 9800, "Cable");
    w.red->m_race->m_cableObject = cable;
    CUnit* a = w.Spawn("Granite_LightTank", 0, 0, w.red);
    CUnit* b = w.Spawn("Granite_LightTank", 4, 0, w.red);
    const float rest = a->m_objectRadius + b->m_objectRadius + 3.0f;
    // Too far apart to be joined.
    b->SetPosition(rest + 0.1f, 0, 0);
    EXPECT_FALSE(w.physics->TryAttachTowCable(a, b));
    b->SetPosition(rest - 0.1f, 0, 0);
    ASSERT_TRUE(w.physics->TryAttachTowCable(a, b));
    CTessarakObject* c = cable->m_instances.GetHead()->GetObject();
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->m_cableRestLength, rest);
    EXPECT_EQ(Object_TowCount(a), 1);
    EXPECT_EQ(Object_TowCount(b), 1);
    EXPECT_TRUE(c->m_stateB & CTessarakObject::kB_TowCable);
    // Stretched: the stretch is exchanged as momentum, the total stays.
    b->SetPosition(rest * 1.2f, 0, 0);
    a->m_pushVelocity[2] = 0.3f;
    const float mA = PhysicsEngine_Mass(a->m_template), mB = PhysicsEngine_Mass(b->m_template);
    const float before[3] = {mA * a->m_pushVelocity[0] + mB * b->m_pushVelocity[0], 0.0f,
                             mA * a->m_pushVelocity[2] + mB * b->m_pushVelocity[2]};
    TowCable_Update(c);
    EXPECT_NEAR(mA * a->m_pushVelocity[0] + mB * b->m_pushVelocity[0], before[0], 1e-4f);
    EXPECT_NEAR(mA * a->m_pushVelocity[2] + mB * b->m_pushVelocity[2], before[2], 1e-4f);
    EXPECT_GT(a->m_pushVelocity[0], 0.0f);  // A is pulled toward B
    EXPECT_FLOAT_EQ(c->m_scale[2], rest * 1.2f);
    // Beyond 1.5 times its rest length it snaps.
    b->SetPosition(rest * 1.6f, 0, 0);
    TowCable_Update(c);
    EXPECT_EQ(Object_TowCount(a), 0);
    EXPECT_EQ(Object_TowCount(b), 0);
    EXPECT_EQ(c->m_cableA.Get(), nullptr);
    // A cable without its ends destroys itself.
    TowCable_Update(c);
    EXPECT_TRUE(c->m_stateA & CTessarakObject::kA_Destroyed);
    // A unit's orders cleared: its cables let it go.
    b->SetPosition(rest * 0.5f, 0, 0);
    CTessarakObject* d = w.physics->AttachTowCable(a, b);
    ASSERT_NE(d, nullptr);
    EXPECT_TRUE(w.physics->ReleaseLinksTo(b));
    EXPECT_EQ(Object_TowCount(b), 0);
    EXPECT_EQ(d->m_cableB.Get(), nullptr);
    EXPECT_EQ(d->m_cableA.Get(), a);
}

TEST_F(PhysicsTest, MassAndRadiusAreNeverZero) {
    rocks->m_density = 0.0f;
    rocks->m_collisionRadius = 0.0f;
    EXPECT_GE(PhysicsEngine_Mass(rocks), kMinMass);
    EXPECT_GE(PhysicsEngine_Radius(rocks), kMinRadius);
    // A wave on such an object gives finite pushes.
    CGridMember* dust = Rock(1, 0, 0);
    w.physics->ApplyPressureWave(0, 0, 0, 10.0f, 1.0f, 50.0f, 5.0f);
    ASSERT_NE(Force(dust), nullptr);
    EXPECT_GT(Force(dust)->m_impulse[0], 0.0f);
    EXPECT_LE(Force(dust)->m_impulse[0], 1.5f);
}
