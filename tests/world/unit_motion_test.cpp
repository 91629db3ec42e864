// Motion and the unit update: velocity and pushes, the map's bounds, contact
// between units and its stuck rule, projectile impact, hover, turning and
// banking, the speed control, the manoeuvres, sight, and the unit's economy.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/Math.h"
#include "tests/support/UnitWorldTest.h"
#include "world/PhysicsEngine.h"
#include "world/StateArchive.h"
#include "world/Unit.h"
#include "world/UnitOrder.h"
#include "world/WaypointList.h"
#include "world/WorldGrid.h"

namespace {

class UnitMotionTest : public UnitWorldTest {
protected:
    // A path of one point, ready to be followed.
    static void Path(CUnit* u, float x, float y, float z) {
        u->m_waypoints->Clear();
        u->m_waypoints->Append(x, y, z);
        u->m_waypoints->First();
        u->m_steeringFlags |= CUnit::kT_PathReady;
    }
    static float Len(const float* v) { return Math_Sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); }
    // The demo template made a flying one: its units move on all three axes
    // (a ground unit keeps to the ground).
    const char* Flying(const char* name) {
        w.UnitTemplate(name)->m_flying = 1;
        return name;
    }
};

}  // namespace

TEST_F(UnitMotionTest, VelocityAndPushMoveByTheTickStepWithinTheMap) {
    struct SCase {
        const char* what;
        float start[3];
        float velocity[3];
        float expected[3];  // NaN: the moved value v + dt * velocity
        bool moves;
    };
    const float kFree = 1e30f;
    const SCase cases[] = {
        {"moves by dt times its velocity", {1, 0, 2}, {1.5f, 0.25f, -3}, {kFree, kFree, kFree}, true},
        {"at rest below 0.015", {1, 0, 2}, {0.015f, -0.015f, 0.01f}, {1, 0, 2}, false},
        {"y never above 4", {0, 3.9f, 0}, {0, 60, 0}, {kFree, 4.0f, kFree}, true},
        {"y never below -4", {0, -3.9f, 0}, {0, -60, 0}, {kFree, -4.0f, kFree}, true},
    };
    for (const SCase& c : cases) {
        CUnit* u = w.Spawn(Flying("Granite_LightTank"), c.start[0], c.start[2], w.red);
        u->SetPosition(c.start[0], c.start[1], c.start[2]);
        u->m_previousPosition[0] = 99.0f;
        for (int i = 0; i < 3; ++i) u->m_velocity[i] = c.velocity[i];
        u->Integrate();
        for (int i = 0; i < 3; ++i) {
            float want = c.expected[i] == kFree ? c.start[i] + c.velocity[i] * dt : c.expected[i];
            EXPECT_EQ(u->m_position[i], want) << c.what << " axis " << i;
        }
        EXPECT_EQ(u->m_previousPosition[0] == 99.0f, !c.moves) << c.what;
        scene().DeleteObject(u);
    }
    // x and z stay a radius away from the map's edges (the map runs to 64).
    CUnit* u = w.Spawn("Granite_LightTank", 63, -63, w.red);
    u->m_velocity[0] = 100.0f;
    u->m_velocity[2] = -100.0f;
    u->Integrate();
    EXPECT_EQ(u->m_position[0], 64.0f - u->m_objectRadius);
    EXPECT_EQ(u->m_position[2], -64.0f + u->m_objectRadius);
}

TEST_F(UnitMotionTest, FrictionAndCapsOfThePush) {
    CUnit* plain = w.Spawn("Granite_LightTank", 0, 0, w.red);
    CUnit* tug = w.Spawn(w.MakeUnitTemplate("Tug", {{"Speed", "1"}, {"HasTowCaps", "1"}}), 10, 0, w.red);
    CUnit* fixed = w.Spawn("Granite_Depot", -20, 0, w.red);
    for (CUnit* u : {plain, tug}) u->m_pushVelocity[0] = 1.0f;
    fixed->m_pushVelocity[2] = 3.0f;
    for (CUnit* u : {plain, tug, fixed}) u->Integrate();
    // A unit that tows loses its push fifty times faster.
    EXPECT_FLOAT_EQ(plain->m_pushVelocity[0], 1.0f - 0.1f * dt);
    EXPECT_FLOAT_EQ(tug->m_pushVelocity[0], 1.0f - 5.0f * dt);
    // An immobile unit is pushed 2.0 at the most.
    EXPECT_FLOAT_EQ(fixed->m_pushVelocity[2], 2.0f);
    // Friction larger than the push stops it.
    tug->m_pushVelocity[0] = 0.2f;
    tug->Integrate();
    EXPECT_EQ(tug->m_pushVelocity[0], 0.0f);
}

TEST_F(UnitMotionTest, ContactPutsTheMoverBackAndPushesBothApart) {
    CUnit* a = w.Spawn(Flying("Granite_LightTank"), 0, 0, w.red);
    const float rA = a->m_objectRadius;
    CUnit* b = w.Spawn(Flying("Coral_LightTank"), rA, 0, w.blue);
    const float rB = b->m_objectRadius;
    b->SetPosition(rA + rB - 0.5f, 0, 0);
    for (CUnit* u : {a, b}) u->RegisterInGrid(w.grid);
    a->m_velocity[0] = 1.0f;
    a->m_speed = 2.0f;
    a->Integrate();
    // Back on the contact sphere, seen from the middle of its move.
    const float contact = rA + rB - 0.01f;
    EXPECT_FLOAT_EQ(a->m_position[0], b->m_position[0] - contact);
    // The pushes exchanged: min((|v| + 1) x 0.1 + r x 0.7 / r', |v| x 0.3).
    const float kOther = std::min(2.0f * 0.1f + rA * 0.7f / rB, 0.3f);
    const float kSelf = std::min(2.0f * 0.1f + rB * 0.7f / rA, 0.3f);
    EXPECT_FLOAT_EQ(b->m_pushVelocity[0], kOther);
    EXPECT_FLOAT_EQ(a->m_pushVelocity[0], -kSelf);
    EXPECT_EQ(a->m_speed, 1.5f);
    // Units of one owner under construction exchange nothing; a mobile unit
    // under construction takes no part at all.
    b->m_pushVelocity[0] = 0.0f;
    b->m_gridFlags &= ~CGridMember::kG_Complete;
    a->m_gridFlags &= ~CGridMember::kG_Complete;
    a->SetPosition(0, 0, 0);
    a->Integrate();
    EXPECT_EQ(b->m_pushVelocity[0], 0.0f);
}

// Tanks keep to the ground: two pairs that meet head on bump, push and
// drive around one another, and all come to rest on the ground (at the
// ground's height plus their hover bob), neither above nor below it.
TEST_F(UnitMotionTest, TanksThatBumpComeToRestOnTheGround) {
    w.players->m_local = w.red;
    std::vector<CUnit*> tanks;
    for (int i = 0; i < 4; ++i) {
        const float side = i % 2 ? 1.0f : -1.0f, lane = i / 2 ? 1.0f : -1.0f;
        tanks.push_back(w.Spawn("Granite_LightTank", -15.0f * side, -lane, w.red));
        tanks.back()->AddMoveOrder(15.0f * side, lane, 0);
    }
    float highest = 0.0f, lowest = 0.0f;
    for (int i = 0; i < 1200; ++i) {
        w.Run();
        for (CUnit* t : tanks) {
            highest = std::max(highest, t->m_position[1] - t->RestHeight());
            lowest = std::min(lowest, t->m_position[1] - t->RestHeight());
        }
    }
    EXPECT_LT(highest, 0.5f) << "a tank went over another";
    EXPECT_GT(lowest, -0.01f) << "a tank sank into the ground";
    for (CUnit* t : tanks) {
        EXPECT_NEAR(t->m_position[1], t->RestHeight(), 0.01f);
        EXPECT_EQ(t->m_pushVelocity[1], 0.0f);
    }
}

// What pushes a ground unit up (a contact, a blast) lets it fall back under
// gravity onto the ground, where it stays; a unit placed below the ground
// stands on it at once; a ground unit drives level toward a raised point. A
// flying unit keeps the height it was pushed to.
TEST_F(UnitMotionTest, AGroundUnitFallsBackOntoTheGround) {
    CUnit* tank = w.Spawn("Granite_LightTank", 0, 0, w.red);
    CUnit* flyer = w.Spawn(w.MakeUnitTemplate("Flyer", {{"Speed", "0.6"}, {"Flying", "1"}}), 10, 0, w.red);
    for (CUnit* u : {tank, flyer}) {
        u->SetPosition(u->m_position[0], u->RestHeight() + 1.5f, u->m_position[2]);
        u->m_pushVelocity[1] = 1.0f;
    }
    w.Tick();
    EXPECT_GT(tank->m_position[1], tank->RestHeight() + 1.5f) << "the push lifts it first";
    EXPECT_FLOAT_EQ(tank->m_pushVelocity[1], 1.0f - 0.1f * dt - 9.8f * dt);
    w.Tick(30);
    EXPECT_EQ(tank->m_position[1], tank->RestHeight());
    EXPECT_EQ(tank->m_pushVelocity[1], 0.0f);
    EXPECT_GT(flyer->m_position[1], flyer->RestHeight() + 2.5f);
    // Below the ground: stood on it at the next tick, without moving.
    tank->SetPosition(0, -2.0f, 0);
    w.Tick();
    EXPECT_EQ(tank->m_position[1], tank->RestHeight());
    EXPECT_EQ(tank->m_position[0], 0.0f);
    // A raised point ahead: the tank keeps level.
    Path(tank, 0.5f, 3.0f, 1.0f);
    tank->Update(nullptr);
    EXPECT_EQ(tank->m_desiredPitch, 0.0f);
}

TEST_F(UnitMotionTest, AUnitStuckInContactsGivesUpOrSearchesAgain) {
    struct SCase {
        uint32_t count;     // before the contact
        float lastPointAt;  // ground distance of the path's end
        bool local;         // the local player's unit
        bool arrived;       // after the contact
        int newMoveOrders;  // queued to search the way again
    };
    const SCase cases[] = {
        {2, 2.0f, false, true, 0},     // count 3, the end within 3.0
        {2, 4.0f, false, false, 0},    // count 3, too far
        {10, 5.0f, false, true, 0},    // count 11, within 6.0
        {20, 30.0f, true, false, 1},   // count 21: a new move order
        {20, 30.0f, false, false, 0},  // not the local player's: none
        {50, 30.0f, false, true, 0},   // above 50
    };
    w.gameTime = 5000000;
    for (const SCase& c : cases) {
        CUnit* a = w.Spawn("Granite_LightTank", 0, 0, c.local ? w.players->m_local : w.red);
        CUnit* b = w.Spawn("Coral_LightTank", 0, 0, w.blue);
        b->SetPosition(a->m_objectRadius + b->m_objectRadius - 0.5f, 0, 0);
        for (CUnit* u : {a, b}) u->RegisterInGrid(w.grid);
        Path(a, -c.lastPointAt, 0, 0);
        a->m_gotoDestination[0] = 40.0f;
        a->m_stuckCount = c.count;
        a->m_contactTime = w.gameTime - 100;
        a->m_velocity[0] = 1.0f;
        a->Integrate();
        EXPECT_EQ(a->m_stuckCount, c.count + 1) << c.count;
        EXPECT_EQ((a->m_motionFlags & CUnit::kM_Arrived) != 0, c.arrived) << c.count << " " << c.lastPointAt;
        EXPECT_EQ(a->m_orderList->ChildCount(), c.newMoveOrders) << c.count;
        if (c.newMoveOrders) {
            EXPECT_EQ(a->m_orderList->FirstChild()->m_target[0], 40.0f);
        }
        EXPECT_EQ(a->m_contactTime, w.gameTime);
        scene().DeleteObject(a);
        scene().DeleteObject(b);
    }
    // A contact after the window starts the count again.
    CUnit* a = w.Spawn("Granite_LightTank", 0, 0, w.red);
    CUnit* b = w.Spawn("Coral_LightTank", 0, 0, w.blue);
    b->SetPosition(a->m_objectRadius, 0, 0);
    for (CUnit* u : {a, b}) u->RegisterInGrid(w.grid);
    a->m_stuckCount = 30;
    a->m_contactTime = w.gameTime - 500001;
    a->m_velocity[0] = 1.0f;
    a->Integrate();
    EXPECT_EQ(a->m_stuckCount, 0u);
}

TEST_F(UnitMotionTest, AProjectileHitsWhatItFindsAndDealsItsCollisionDamage) {
    CUnit* target = w.Spawn("Coral_LightTank", 10, 10, w.blue);
    CUnit* gunner = w.Spawn("Granite_Artillery", -10, -10, w.red);
    w.Tick();  // both stand in the grid's layers
    CTessarakObjectTemplate* shellTemplate = scene().FindTemplate("Artillery_Shell");
    ASSERT_NE(shellTemplate, nullptr);
    const float at[3] = {target->m_vector[0], 0.5f, target->m_vector[2]};
    CTessarakObject* shell = scene().CreateObjectByClass(shellTemplate, at, w.red, scene().m_idTable.NewId());
    shell->m_stateA |= CTessarakObject::kA_ImpactOnContact;
    shell->m_throwerLink.Set(gunner);
    const float power = target->m_power;
    shell->Integrate();
    EXPECT_EQ(target->m_power, power - shellTemplate->m_collisionDamage);
    EXPECT_TRUE(shell->m_stateA & CTessarakObject::kA_Destroyed);
    EXPECT_TRUE(shell->m_stateA & CTessarakObject::kA_Impacted);
    // Its thrower is never hit.
    const float home[3] = {gunner->m_vector[0], 0.5f, gunner->m_vector[2]};
    CTessarakObject* own = scene().CreateObjectByClass(shellTemplate, home, w.red, scene().m_idTable.NewId());
    own->m_stateA |= CTessarakObject::kA_ImpactOnContact;
    own->m_throwerLink.Set(gunner);
    own->Integrate();
    EXPECT_FALSE(own->m_stateA & CTessarakObject::kA_Destroyed);
    EXPECT_EQ(gunner->m_power, gunner->m_maxPower);
}

TEST_F(UnitMotionTest, HoverTurningAndBanking) {
    CUnit* u = w.Spawn(Flying("Granite_LightTank"), 0, 0, w.red);
    const float phase = u->m_hoverPhase, amplitude = u->m_hoverAmplitude;
    u->m_maxSpeed = 0.3f;  // a slow turn: 4 degrees a tick
    u->m_maxBank = 20.0f;
    u->m_bankRate = 60.0f;  // 4 degrees a tick
    Path(u, 30, 0, 0);      // due east: heading 90
    w.Tick();
    // Hover: y loses the old bob and gains the new one.
    float next = phase + dt;
    if (next >= kTwoPi) next -= kTwoPi;
    EXPECT_FLOAT_EQ(u->m_position[1], 0.0f - Math_Sin(phase) * amplitude + Math_Sin(next) * amplitude);
    // Turning: 2.5 x maximum speed x dt x 80 degrees a tick, banking into the turn.
    const float step = 2.5f * 0.3f * dt * 80.0f;
    EXPECT_FLOAT_EQ(u->m_headingDeg, step);
    EXPECT_FLOAT_EQ(u->m_accumTurn, step);
    EXPECT_FLOAT_EQ(u->m_bank, 60.0f * dt);
    w.Tick(2);
    EXPECT_FLOAT_EQ(u->m_bank, 3 * 60.0f * dt);
    EXPECT_FLOAT_EQ(u->m_headingDeg, 3 * step);
    w.Tick(4);
    EXPECT_EQ(u->m_bank, 20.0f);  // at most the maximum bank
    EXPECT_FALSE(u->m_steeringFlags & CUnit::kT_HeadingReached);
    // Aligned with its way: the turn count restarts and the bank levels out
    // without passing level.
    w.Tick(30);
    EXPECT_TRUE(u->m_steeringFlags & CUnit::kT_HeadingReached);
    EXPECT_EQ(u->m_accumTurn, 0.0f);
    EXPECT_EQ(u->m_bank, 0.0f);
    // The scene transform takes the heading (radians) and the negated pitch.
    EXPECT_FLOAT_EQ(u->m_yaw, DegToRad(u->m_headingDeg));
}

TEST_F(UnitMotionTest, TheSpeedControl) {
    // A path that is not ready: never faster than 0.2.
    CUnit* slow = w.Spawn("Granite_LightTank", -30, -30, w.red);
    Path(slow, 30, 0, -30);
    slow->m_steeringFlags &= ~CUnit::kT_PathReady;
    float fastest = 0.0f;
    for (int i = 0; i < 60; ++i) {
        w.Tick();
        fastest = std::max(fastest, slow->m_speed);
    }
    EXPECT_FLOAT_EQ(fastest, 0.2f);
    // Turned beyond 360 degrees without reaching the heading: it brakes at 10.0.
    CUnit* lost = w.Spawn("Granite_LightTank", 30, 30, w.red);
    Path(lost, 30, 0, -30);
    lost->m_headingDeg = 180.0f;
    lost->m_speed = 3.0f;
    lost->m_accumTurn = -400.0f;
    lost->m_maxSpeed = 2.0f;
    w.Tick();
    EXPECT_FLOAT_EQ(lost->m_speed, 3.0f - 10.0f * dt);
    // The desired pitch of a flying unit never lies between 45 and 315
    // degrees.
    CUnit* climber = w.Spawn(Flying("Coral_LightTank"), 0, 30, w.red);
    struct SCase {
        float height, pitch;
    };
    for (SCase c : {SCase{3.0f, 45.0f}, SCase{-3.0f, 315.0f}, SCase{0.5f, -1.0f}}) {
        Path(climber, 0.5f, c.height, 31.0f);
        climber->m_motionFlags &= ~CUnit::kM_Arrived;
        climber->Update(nullptr);
        if (c.pitch >= 0.0f)
            EXPECT_EQ(climber->m_desiredPitch, c.pitch) << c.height;
        else
            EXPECT_TRUE(climber->m_desiredPitch < 45.0f || climber->m_desiredPitch > 315.0f) << c.height;
    }
    // It arrives at the end of its way and stops there; the path is emptied.
    CUnit* mover = w.Spawn("Granite_LightTank", -10, 0, w.red);
    Path(mover, 10, 0, 0);
    w.Tick(150);
    EXPECT_EQ(mover->m_speed, 0.0f);
    EXPECT_TRUE(mover->m_waypoints->IsEmpty());
    EXPECT_NEAR(mover->m_position[0], 10.0f, 3.0f);
}

TEST_F(UnitMotionTest, SlowUnitsCircleTheirThreatFastOnesStrafeIt) {
    struct SCase {
        float maxSpeed;
        float override;  // times the maximum speed
    };
    for (SCase c : {SCase{0.54f, 4.8f}, SCase{0.55f, 6.0f}}) {
        CUnit* u = w.Spawn("Granite_LightTank", 0, 0, w.red);
        CUnit* enemy = w.Spawn("Coral_LightTank", 6, 0, w.blue);
        u->m_maxSpeed = c.maxSpeed;
        u->m_footprintHalfSize = 2;  // small units only (below 3 path cells)
        u->m_attackTarget.Set(enemy);
        u->Update(nullptr);
        EXPECT_EQ(u->m_threat.Get(), enemy) << c.maxSpeed;
        EXPECT_FLOAT_EQ(u->m_speedOverride, c.maxSpeed * c.override) << c.maxSpeed;
        EXPECT_EQ(u->m_turnRateFactor, 1.5f);
        scene().DeleteObject(u);
        scene().DeleteObject(enemy);
    }
}

TEST_F(UnitMotionTest, SightStampsADiscOfAtMost63Cells) {
    CCellMap& map = w.grid->m_cellMap;
    map.m_fogOfWar = true;
    CUnitTemplate* eye = w.MakeUnitTemplate("Eye", {{"VisibleRange", "100"}});
    CUnit* u = w.Spawn(eye, 0, 0, w.players->m_local);
    u->Update(nullptr);
    ASSERT_TRUE(u->m_serviceFlags & CUnit::kS_SightStamped);
    int cx, cy;
    map.CellOf(-0.5f, 0.5f, cx, cy);
    EXPECT_EQ(u->m_sightCell[0], cx);
    EXPECT_EQ(map.At(cx + 62, cy)->count, 1);
    EXPECT_EQ(map.At(cx + 63, cy)->count, 0);
    EXPECT_EQ(map.At(cx, cy - 62)->count, 1);
    // Another player's unit stamps nothing; the disc goes with its unit.
    CUnit* theirs = w.Spawn(eye, 0, 0, w.blue);
    theirs->Update(nullptr);
    EXPECT_EQ(map.At(cx, cy)->count, 1);
    scene().DeleteObject(u);
    EXPECT_EQ(map.At(cx, cy)->count, 0);
    EXPECT_EQ(map.At(cx + 62, cy)->count, 0);
}

TEST_F(UnitMotionTest, ALoadedUnitStampsItsSightOnce) {
    CCellMap& map = w.grid->m_cellMap;
    map.m_fogOfWar = true;
    CUnit* u = w.Spawn("Granite_LightTank", 3, 3, w.players->m_local);
    w.Tick();
    int cx, cy;
    map.CellOf(u->m_position[0] - 0.5f, u->m_position[2] + 0.5f, cx, cy);
    ASSERT_EQ(map.At(cx, cy)->count, 1);
    // A saved game keeps neither the stamp nor its cell: the loaded unit
    // stamps its disc anew, once, on a map whose counts the load cleared.
    CStateArchive saved;
    scene().SaveObjects(saved);
    scene().Clear();
    EXPECT_EQ(map.At(cx, cy)->count, 0);
    std::vector<uint8_t> bytes = saved.GetBuffer();
    CStateArchive in(bytes.data(), bytes.size(), CStateArchive::kApply);
    ASSERT_TRUE(scene().LoadObjects(in));
    w.Tick(3);
    EXPECT_EQ(map.At(cx, cy)->count, 1);
}

TEST_F(UnitMotionTest, TheUnitsShareOfItsOwnersEconomy) {
    CUnit* hq = w.Spawn("Granite_Headquarters", 0, 0, w.red);   // gives 40 energy, 2 resources/s, stores 3000
    CUnit* factory = w.Spawn("Granite_Factory", 20, 0, w.red);  // takes 10 energy
    CUnit* site = w.Spawn("Granite_LightTank", 0, 12, w.red, false);  // under construction
    (void)factory;
    site->m_power = 1.0f;
    site->GraceTimer() = 0.5f;
    hq->m_buildTarget.Set(site);
    w.red->m_resources = 1000.0f;
    w.Tick();
    CUnitTemplate* tank = w.UnitTemplate("Granite_LightTank");
    const float work = 1.5f * 1.0f * dt;  // BuildPowerAdd x energy ratio x dt
    const float f = work / tank->m_buildTime;
    EXPECT_EQ(w.red->m_storage, 3000.0f);
    EXPECT_EQ(w.red->m_energyProduced, 40.0f);
    EXPECT_EQ(w.red->m_energyConsumed, 10.0f);
    EXPECT_FLOAT_EQ(w.red->m_energyProducedSmooth, 40.0f * dt);
    EXPECT_FLOAT_EQ(w.red->m_energyConsumedSmooth, 10.0f * dt);
    EXPECT_EQ(w.red->m_energyRatio, 1.0f);
    EXPECT_FLOAT_EQ(w.red->m_resources, 1000.0f + 2.0f * dt - f * tank->m_expense);
    EXPECT_FLOAT_EQ(site->BuildValue(), work);
    EXPECT_FLOAT_EQ(site->m_power, 1.0f + f * tank->m_power);
    EXPECT_EQ(site->GraceTimer(), 10.0f);
    // A stock beyond the storage is cut to it in the same tick.
    w.red->m_resources = 5000.0f;
    w.Tick();
    EXPECT_EQ(w.red->m_resources, 3000.0f);
    // More consumption than production: the ratio is their quotient.
    w.red->m_energyConsumedSmooth = 80.0f;
    w.red->m_energyProducedSmooth = 40.0f;
    w.Tick();
    EXPECT_FLOAT_EQ(w.red->m_energyRatio, w.red->m_energyProducedSmooth / w.red->m_energyConsumedSmooth);
    // The site completes once its build value reaches its build time.
    // (The site's own step runs before its builder's in a tick: the tick
    // after the work is done sees it.)
    site->BuildValue() = tank->m_buildTime - work / 4.0f;
    w.Tick(2);
    EXPECT_TRUE(site->IsComplete());
}

TEST_F(UnitMotionTest, DockedIncomeCountsOnceInTheStatistics) {
    CTessarakObjectTemplate* spots = scene().m_spotTemplate;
    ASSERT_NE(spots, nullptr);
    const float at[3] = {0, 0, 0};
    CTessarakObject* spot =
        scene().CreateObjectByClass(spots, at, w.players->m_neutral, scene().m_idTable.NewId());
    ASSERT_NE(spot->m_resourceSpot, nullptr);
    CUnitTemplate* miner = w.MakeUnitTemplate("Miner", {{"HasSpotCaps", "2"}, {"Storage", "100000"}});
    CUnit* a = w.Spawn(miner, 0, 0, w.red);
    CUnit* b = w.Spawn(miner, 0.1f, 0, w.red);
    w.red->m_resources = 0.0f;
    // The spot's rate is 0 until its first animation, after the units.
    w.Tick(2);
    EXPECT_TRUE(a->m_serviceFlags & CUnit::kS_Docked);
    EXPECT_TRUE(b->m_serviceFlags & CUnit::kS_Docked);
    EXPECT_EQ(a->m_dock.Get(), spot);
    // Each docked unit adds its own income once: the statistics equal the
    // player's income of the tick.
    EXPECT_GT(w.red->m_dockedIncome, 0.0f);
    EXPECT_FLOAT_EQ(w.red->m_dockedIncome, w.red->m_incomeTotal);
    EXPECT_FLOAT_EQ(w.red->m_resources, w.red->m_incomeTotal);
}

TEST_F(UnitMotionTest, DamageThatDrainsThePowerDestroysTheUnitAtTheTicksEnd) {
    CUnit* u = w.Spawn("Granite_LightTank", 0, 0, w.red);
    const int32_t id = u->m_objectId;
    const float impulse[3] = {0.0f, 0.0f, 0.0f};
    ASSERT_TRUE(w.physics->AddForce(u, impulse, 0.0f, u->m_power + 1.0f));
    w.Tick();
    EXPECT_EQ(scene().m_idTable.Find(id), nullptr);
    EXPECT_EQ(scene().m_unitCount, 0);
    EXPECT_EQ(w.physics->CountFree(), CPhysicsEngine::kBlockSize);
}

TEST_F(UnitMotionTest, ChildUnitsAppearBesideTheirParent) {
    CUnitTemplate* tank = w.UnitTemplate("Granite_LightTank");
    CUnitTemplate* nest =
        w.MakeUnitTemplate("Nest", {{"AddChildUnit", "Granite_Harvester"}, {"CanHarvestType", "1"}});
    ASSERT_EQ(nest->m_childUnit, w.UnitTemplate("Granite_Harvester"));
    (void)tank;
    CUnit* parent = w.Spawn(nest, 0, 0, w.red);
    w.Tick();
    ASSERT_TRUE(parent->m_serviceFlags & CUnit::kS_ChildAdded);
    CUnit* child = static_cast<CUnit*>(parent->m_backLinked.Get());
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(child->m_backLinked.Get(), parent);
    EXPECT_EQ(child->m_owner, w.red);
    EXPECT_EQ(child->m_headingDeg, 180.0f);
    EXPECT_LE(Distance2D(child->m_position[0], child->m_position[2], 0, 0), 1.0f);
    ASSERT_EQ(child->m_orderList->ChildCount(), 1);
    EXPECT_EQ(child->m_orderList->FirstChild()->m_type, CUnitOrder::kHarvest);
    w.Tick();
    EXPECT_EQ(scene().m_unitCount, 2);  // once

    // Without room the console says so, every tick it tries.
    CUnitWorld tiny(2);
    std::string error;
    ASSERT_TRUE(tiny.LoadDemoTemplates(error)) << error;
    CUnitTemplate* crowded = tiny.MakeTemplate<CUnitTemplate>(tiny.m_root, 9999, "Nest");
    crowded->m_config.Add("AddChildUnit", "Granite_Harvester");
    crowded->LoadProperties();
    const float at[3] = {0, 0, 0};
    CUnit* stuck = static_cast<CUnit*>(tiny.scene->CreateObjectByClass(crowded, at, tiny.red, 1000));
    stuck->m_gridFlags |= CGridMember::kG_Complete;
    stuck->RegisterInGrid(tiny.grid);
    tiny.Tick();
    EXPECT_FALSE(stuck->m_serviceFlags & CUnit::kS_ChildAdded);
    EXPECT_EQ(tiny.FindLine("Adding Child Unit on frame"),
              "Adding Child Unit on frame 1 failed due to FindFreePosition");
}

TEST_F(UnitMotionTest, ALaserFenceBurnsEnemiesBetweenItsPosts) {
    CTessarakObjectTemplate* beam = w.MakeTemplate<CTessarakObjectTemplate>(w.m_root, 9500, "Beam");
    w.red->m_race->m_laserFenceObject = beam;
    CUnitTemplate* post = w.MakeUnitTemplate("Post", {{"LaserFence", "12"}, {"LaserFenceDamage", "30"}});
    CUnit* p1 = w.Spawn(post, 0, 0, w.red);
    CUnit* p2 = w.Spawn(post, 10, 0, w.red);
    CUnit* across = w.Spawn("Coral_LightTank", 5, 0, w.blue);
    CUnit* aside = w.Spawn("Coral_LightTank", 5, 6, w.blue);
    CUnit* friendly = w.Spawn("Granite_LightTank", 5, 0.3f, w.red);
    for (CUnit* u : {p1, p2, across, aside, friendly}) u->RegisterInGrid(w.grid);
    const float power = across->m_power;
    w.Tick();
    EXPECT_EQ(p1->m_fence[0].Get(), p2);
    EXPECT_TRUE(p2->m_serviceFlags & CUnit::kS_FencePost);
    ASSERT_NE(p1->m_fenceBeam[0].Get(), nullptr);
    EXPECT_FLOAT_EQ(p1->m_fenceBeam[0].Get()->m_scale[2], 10.0f);
    // Both posts burn what stands across their beam.
    EXPECT_FLOAT_EQ(across->m_power, power - 2.0f * 30.0f * dt);
    EXPECT_EQ(aside->m_power, power);
    EXPECT_EQ(friendly->m_power, friendly->m_maxPower);
    // Without power the fence goes down.
    w.red->m_energyConsumedSmooth = 1000.0f;
    w.red->m_energyProducedSmooth = 1.0f;
    w.red->m_energyRatio = 0.0f;
    w.Tick();
    EXPECT_EQ(p1->m_fence[0].Get(), nullptr);
}

TEST_F(UnitMotionTest, AWarpTakesTheUnitsStandingOnIt) {
    CUnitTemplate* gate = w.MakeUnitTemplate("Gate", {{"HasWarpCaps", "1"}, {"WarpMaxRange", "20"}});
    gate->m_collisionRadius = 4.0f;
    CUnit* g = w.Spawn(gate, 0, 0, w.red);
    CUnit* rider = w.Spawn("Granite_LightTank", 1, 1, w.red);
    CMoveOrder* move = new CMoveOrder(g->m_orderList, nullptr, g, 50, 0, 0);
    g->m_runningOrder = move;
    w.Tick();
    // The target lies beyond the warp's reach: pulled in to 20.
    EXPECT_FLOAT_EQ(move->m_target[0], 20.0f);
    EXPECT_FLOAT_EQ(rider->m_position[0], 21.0f);
    EXPECT_FLOAT_EQ(rider->m_position[2], 1.0f);
    EXPECT_FALSE(g->m_gridFlags & CGridMember::kG_Avoiding);
}

TEST_F(UnitMotionTest, APhasingUnitIsPushedOutOfWhatItOverlaps) {
    CUnitTemplate* ghost = w.MakeUnitTemplate("Ghost", {{"HasPhasingCaps", "1"}});
    CUnit* g = w.Spawn(ghost, 0, 0, w.red);
    CTessarakObjectTemplate* rocks = w.MakeTemplate<CGridMemberTemplate>(w.m_root, 9600, "Rocks");
    const float at[3] = {0.5f, 0, 0};
    CGridMember* rock = static_cast<CGridMember*>(scene().CreateObjectByClass(rocks, at, nullptr, 9601));
    rock->EnterGrid();
    g->Update(nullptr);
    // Away from the rock, at most 1.0 long.
    EXPECT_LT(g->m_pushVelocity[0], 0.0f);
    EXPECT_LE(Len(g->m_pushVelocity), 1.0f + 1e-6f);
}
