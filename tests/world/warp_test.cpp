// Warping, through the world's order interface: a warp nuke told to attack
// a point jumps there and bursts (what stands within its DamageRadius is
// hit), refuses a point beyond its range and waits while its owner lacks
// energy; a warp gate sends the units standing on it to the point of its
// move. An enemy's anti-warp unit that covers the point catches what
// arrives there: destroyed, the catcher's race's remains left in its place.
// Two machines that each give their own side's warp orders stay in step; a
// unit the player sends onto a gate by a click comes out at its point.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "core/Math.h"
#include "tests/support/RecordedEngine.h"
#include "tests/support/UnitWorld.h"
#include "world/ExplosionManager.h"
#include "world/GameScene.h"
#include "world/Player.h"
#include "world/Unit.h"
#include "world/UnitOrder.h"
#include "world/UnitTemplate.h"
#include "world/World.h"
#include "world/WorldCommands.h"

namespace {

bool Gone(CUnitWorld& w, int32_t id) {
    CTessarakObject* o = w.scene->m_idTable.Find(id);
    return !o || o->Dying();
}

// The catchers' remains (the races' AntiWarpObject, the neutral player's)
// within a unit of (x, z).
int RemainsAt(CUnitWorld& w, float x, float z) {
    int n = 0;
    for (CTessarakObject* o = w.scene->m_allObjects; o; o = o->m_allNext)
        if (o->m_template && o->m_template->m_name.Equals("Warp_Remains") &&
            o->m_owner == w.players->m_neutral && Distance2D(o->m_position[0], o->m_position[2], x, z) < 1.0f)
            ++n;
    return n;
}

struct SWarpWorld {
    SWarpWorld() {
        std::string error;
        ok = w.LoadDemoTemplates(error);
        EXPECT_TRUE(ok) << error;
    }
    CUnit* Spawn(const char* name, float x, float z, CPlayer* owner) {
        CUnit* u = w.Spawn(name, x, z, owner);
        EXPECT_NE(u, nullptr) << name;
        return u;
    }
    CUnitWorld w;
    bool ok = false;
};

TEST(WarpTest, TheDemoRacesHaveAGateAJammerAndANuke) {
    SWarpWorld s;
    ASSERT_TRUE(s.ok);
    for (const char* race : {"Granite", "Coral"}) {
        const std::string r = race;
        const CUnitTemplate* gate = s.w.UnitTemplate((r + "_WarpGate").c_str());
        const CUnitTemplate* jammer = s.w.UnitTemplate((r + "_WarpJammer").c_str());
        const CUnitTemplate* nuke = s.w.UnitTemplate((r + "_WarpNuke").c_str());
        ASSERT_TRUE(gate && jammer && nuke) << race;
        EXPECT_TRUE(gate->m_canWarp && gate->m_warpMaxRange > 0.0f) << race;
        EXPECT_TRUE(jammer->m_antiWarp && jammer->m_warpMaxRange > 0.0f) << race;
        EXPECT_TRUE(nuke->m_warpNuke && nuke->m_warpMaxRange > 0.0f && nuke->m_damagePower > 0.0f &&
                    nuke->m_damageRadius > 0.0f)
            << race;
        // Each is made by the race's builders.
        const CUnitTemplate* constructor = s.w.UnitTemplate((r + "_Constructor").c_str());
        const CUnitTemplate* factory = s.w.UnitTemplate((r + "_Factory").c_str());
        ASSERT_TRUE(constructor && factory);
        EXPECT_TRUE(constructor->CanBuild(gate) && constructor->CanBuild(jammer)) << race;
        EXPECT_TRUE(factory->CanBuild(nuke)) << race;
    }
}

TEST(WarpTest, ANukeJumpsToItsPointAndBurstsUnlessOutOfRangeOrJammed) {
    const struct {
        const char* what;
        float x, z;        // the point
        bool enemyJammer;  // a blue jammer beside the point
        bool ownJammer;    // a red jammer beside the point (stops nothing of red's)
        bool bluePower;    // blue has a plant (a jammer without energy reaches nowhere)
        bool bursts;
        bool caught;  // it jumped and the jammer caught it there
    } cases[] = {
        {"in range", 40.0f, 30.0f, false, false, true, true, false},
        {"its own side's jammer stops nothing", 40.0f, 30.0f, false, true, true, true, false},
        {"beyond its range", 60.0f, 60.0f, false, false, true, false, false},
        {"under an enemy's jammer", 40.0f, 30.0f, true, false, true, false, true},
        {"under an enemy's jammer without energy", 40.0f, 30.0f, true, false, false, true, false},
    };
    for (const auto& k : cases) {
        SWarpWorld s;
        ASSERT_TRUE(s.ok);
        CUnitWorld& w = s.w;
        s.Spawn("Granite_Headquarters", -50.0f, -50.0f, w.red);  // energy
        if (k.bluePower) s.Spawn("Coral_Headquarters", 55.0f, -55.0f, w.blue);
        CUnit* nuke = s.Spawn("Granite_WarpNuke", -58.0f, -58.0f, w.red);
        CUnit* tank = s.Spawn("Coral_LightTank", 40.0f, 32.0f, w.blue);
        CUnit* farTank = s.Spawn("Coral_LightTank", 0.0f, 40.0f, w.blue);
        if (k.enemyJammer) s.Spawn("Coral_WarpJammer", 48.0f, 40.0f, w.blue);
        if (k.ownJammer) s.Spawn("Granite_WarpJammer", 48.0f, 40.0f, w.red);
        const int32_t nukeId = nuke->m_objectId, tankId = tank->m_objectId;
        const float tankPower = tank->m_power, farPower = farTank->m_power;
        w.Run(3);
        ASSERT_TRUE(w.world.Commands().AttackGround({nukeId}, k.x, k.z, 0)) << k.what;
        w.Run(30);
        EXPECT_EQ(Gone(w, nukeId), k.bursts || k.caught) << k.what;
        EXPECT_EQ(RemainsAt(w, k.x, k.z), k.caught ? 1 : 0) << k.what;
        if (k.bursts) {
            // The blast takes the tank beside the point and leaves the one far off.
            EXPECT_TRUE(Gone(w, tankId) || tank->m_power < tankPower) << k.what;
            EXPECT_FLOAT_EQ(farTank->m_power, farPower) << k.what;
        } else if (k.caught) {
            // Caught before it burst: nothing is hit.
            EXPECT_FLOAT_EQ(tank->m_power, tankPower) << k.what;
            EXPECT_FLOAT_EQ(farTank->m_power, farPower) << k.what;
        } else {
            // The order ended; the nuke stands where it stood.
            EXPECT_EQ(nuke->m_runningOrder, nullptr) << k.what;
            EXPECT_FLOAT_EQ(nuke->m_position[0], -58.0f) << k.what;
            EXPECT_FLOAT_EQ(tank->m_power, tankPower) << k.what;
        }
    }
}

TEST(WarpTest, ANukeWaitsWhileItsOwnerLacksEnergy) {
    SWarpWorld s;
    ASSERT_TRUE(s.ok);
    CUnitWorld& w = s.w;
    // No building gives red energy: its units' use leaves the ratio at 0.
    CUnit* nuke = s.Spawn("Granite_WarpNuke", -50.0f, -50.0f, w.red);
    const int32_t nukeId = nuke->m_objectId;
    w.Run(3);
    ASSERT_LT(w.red->m_energyRatio, 0.5f);
    ASSERT_TRUE(w.world.Commands().AttackGround({nukeId}, 0.0f, 0.0f, 0));
    w.Run(30);
    ASSERT_FALSE(Gone(w, nukeId));
    ASSERT_NE(nuke->m_runningOrder, nullptr);
    EXPECT_EQ(nuke->m_runningOrder->m_type, CUnitOrder::kAttack);
    // A plant's energy comes: it goes.
    s.Spawn("Granite_Headquarters", -30.0f, -50.0f, w.red);
    w.Run(60);
    EXPECT_TRUE(Gone(w, nukeId));
}

TEST(WarpTest, AGateSendsTheUnitsOnItToItsPointWhereAnEnemyJammerCatchesThem) {
    for (bool jammed : {false, true}) {
        SWarpWorld s;
        ASSERT_TRUE(s.ok);
        CUnitWorld& w = s.w;
        s.Spawn("Granite_Headquarters", -50.0f, -50.0f, w.red);
        CUnit* gate = s.Spawn("Granite_WarpGate", 0.0f, 0.0f, w.red);
        CUnit* rider = s.Spawn("Granite_LightTank", 0.5f, 0.0f, w.red);
        CUnit* bystander = s.Spawn("Granite_LightTank", -20.0f, 0.0f, w.red);
        if (jammed) {
            s.Spawn("Coral_Headquarters", 55.0f, -55.0f, w.blue);
            s.Spawn("Coral_WarpJammer", 40.0f, 10.0f, w.blue);
        }
        w.Run(3);
        // A gate takes a move though it cannot drive; a plain building does not.
        ASSERT_TRUE(w.world.Commands().Move({gate->m_objectId}, 40.0f, 0.0f, 0));
        w.Run(5);
        EXPECT_NEAR(gate->m_position[0], 0.0f, 0.01f);  // the gate stays
        EXPECT_NEAR(bystander->m_position[0], -20.0f, 0.5f) << jammed;
        // It went; under the jammer it was caught where it arrived.
        EXPECT_NEAR(rider->m_position[0], 40.5f, 0.5f);
        EXPECT_NEAR(rider->m_position[2], 0.0f, 0.5f);
        EXPECT_EQ(rider->Dying(), jammed);
        EXPECT_EQ((rider->m_stateC & CTessarakObject::kC_Caught) != 0, jammed);
        EXPECT_EQ(RemainsAt(w, 40.5f, 0.0f), jammed ? 1 : 0);
        EXPECT_FALSE(bystander->Dying());
    }
}

// A warped unit's steps: dust three times where it leaves; where it arrives
// dust three times and the warp's two sounds, or, caught there by an enemy's
// jammer, the caught warp's two sounds and no dust.
TEST(WarpTest, AnArrivalShowsDustAndIsHeardAsItGoesThroughOrIsCaught) {
    for (bool jammed : {false, true}) {
        SRecordedEngine e;
        CUnitWorld w;
        w.world.SetEngine(e.engine);
        e.EmitterTemplate(1, "Puff", 20.0f, 1.0f, 50, 0.0f);
        std::string error;
        ASSERT_TRUE(w.LoadDemoTemplates(error)) << error;
        ASSERT_NE(w.explosions->m_puffTemplate, nullptr);
        w.soundOff = false;
        std::vector<SWorldSample*> warpSounds;
        for (int i = 0; i < CExplosionManager::kWarpSoundCount; ++i) {
            warpSounds.push_back(reinterpret_cast<SWorldSample*>(static_cast<uintptr_t>(0x100 + i)));
            w.explosions->m_warpSounds[i] = warpSounds.back();
        }
        w.listen[0] = 40.0f;
        w.listen[1] = 0.0f;
        CUnit* tank = w.Spawn("Granite_LightTank", 0.0f, 0.0f, w.red);
        ASSERT_NE(tank, nullptr);
        if (jammed) {
            w.Spawn("Coral_Headquarters", 55.0f, -55.0f, w.blue);
            w.Spawn("Coral_WarpJammer", 40.0f, 10.0f, w.blue);
        }
        w.Tick(3);
        ASSERT_EQ(w.explosions->DustCount(), 0);
        w.played.clear();
        tank->Relocate(nullptr, 40.0f, 0.0f);
        std::vector<SWorldSample*> heard;
        for (const auto& p : w.played)
            if (std::find(warpSounds.begin(), warpSounds.end(), p.sample) != warpSounds.end()) {
                heard.push_back(p.sample);
                EXPECT_EQ(p.volume, 80);
            }
        if (jammed) {
            EXPECT_EQ(w.explosions->DustCount(), 3);
            EXPECT_EQ(heard, (std::vector<SWorldSample*>{warpSounds[CExplosionManager::kWarpFailed],
                                                         warpSounds[CExplosionManager::kWarpedInFailed]}));
            EXPECT_TRUE(tank->Dying());
            EXPECT_TRUE(tank->m_stateC & CTessarakObject::kC_Caught);
            EXPECT_FALSE(tank->m_gridFlags2 & CGridMember::kG2_Catchable);
            EXPECT_EQ(RemainsAt(w, 40.0f, 0.0f), 1);
        } else {
            EXPECT_EQ(w.explosions->DustCount(), 6);
            EXPECT_EQ(heard, (std::vector<SWorldSample*>{warpSounds[CExplosionManager::kWarpSuccess],
                                                         warpSounds[CExplosionManager::kWarpedInSuccess]}));
            EXPECT_FALSE(tank->Dying());
            EXPECT_EQ(RemainsAt(w, 40.0f, 0.0f), 0);
        }
        EXPECT_FLOAT_EQ(tank->m_position[0], 40.0f);
        // The dust puffs a moment and goes with the view's frames.
        for (int frame = 0; frame < 40; ++frame) w.explosions->Update(0.1f, 0.0f, 0.0f);
        EXPECT_EQ(w.explosions->DustCount(), 0);
    }
}

// Two machines of one session: red's nukes and gate are commanded at the
// first, blue's at the second; the frames carry both to both.
struct SMachine {
    explicit SMachine(bool redHere, int padding) {
        for (int i = 0; i < padding; ++i) junk.emplace_back(new char[48 + (i * 131) % 4000]);
        std::string error;
        ok = w.LoadDemoTemplates(error);
        EXPECT_TRUE(ok) << error;
        w.players->m_local = redHere ? w.red : w.blue;
        for (CPlayer* p : {w.red, w.blue}) {
            const bool red = p == w.red;
            const char* race = red ? "Granite" : "Coral";
            const float side = red ? -1.0f : 1.0f;
            Make(std::string(race) + "_Headquarters", -30.0f * side, 50.0f * side, p);
            Make(std::string(race) + "_WarpGate", 0.0f, 30.0f * side, p);
            Make(std::string(race) + "_LightTank", 0.5f, 30.0f * side, p);
            Make(std::string(race) + "_LightTank", 10.0f, 40.0f * side, p);
            Make(std::string(race) + "_WarpNuke", 50.0f * side, 40.0f * side, p);
            Make(std::string(race) + "_WarpNuke", 54.0f * side, 40.0f * side, p);
            Make(std::string(race) + "_WarpJammer", 40.0f * side, 20.0f * side, p);
        }
    }
    void Make(const std::string& name, float x, float z, CPlayer* owner) {
        CUnit* u = w.Spawn(name.c_str(), x, z, owner);
        EXPECT_NE(u, nullptr) << name;
        if (u) ids.push_back(u->m_objectId);
    }
    // The local player's units of the template's kind (by name part).
    std::vector<int32_t> Own(const char* kind) {
        std::vector<int32_t> out;
        for (int32_t id : ids) {
            CTessarakObject* o = w.scene->m_idTable.Find(id);
            if (o && !o->Dying() && o->m_owner == w.players->m_local &&
                std::string(o->m_template->m_name.GetText()).find(kind) != std::string::npos)
                out.push_back(id);
        }
        return out;
    }
    void Command(int tick) {
        CWorldCommands& c = w.world.Commands();
        const float side = w.players->m_local == w.red ? 1.0f : -1.0f;
        if (tick == 10) c.Move(Own("WarpGate"), 0.0f, 0.0f, 0);
        if (tick == 40) c.Move(Own("LightTank"), 0.0f, 30.0f * -side, 0);  // onto the gate
        std::vector<int32_t> nukes = Own("WarpNuke");
        // The first at the enemy's headquarters.
        if (tick == 100 && !nukes.empty()) c.AttackGround({nukes[0]}, -30.0f * side, 48.0f * side, 0);
        // The other (the first has burst by then) at the enemy's jammer:
        // caught where it arrives.
        if (tick == 160 && !nukes.empty()) c.AttackGround({nukes.back()}, 40.0f * side, 22.0f * side, 0);
    }
    std::vector<std::unique_ptr<char[]>> junk;
    CUnitWorld w;
    std::vector<int32_t> ids;
    bool ok = false;
};

TEST(WarpTest, TwoMachinesThatEachWarpTheirOwnSideStayInStep) {
    SMachine a(true, 0), b(false, 300);
    ASSERT_TRUE(a.ok && b.ok);
    for (int tick = 0; tick < 400; ++tick) {
        a.Command(tick);
        b.Command(tick);
        UnitWorld_TickTogether({&a.w, &b.w});
        ASSERT_EQ(a.w.scene->ComputeSyncCRC(), b.w.scene->ComputeSyncCRC()) << "tick " << tick;
    }
    // Each side's first nuke burst at the other's headquarters; the jammer
    // caught the second where it arrived; the tanks that stepped on a gate
    // came out at its point.
    for (SMachine* m : {&a, &b}) {
        EXPECT_EQ(m->Own("WarpNuke").size(), 0u);
        for (CUnit* u = m->w.scene->m_units; u; u = u->m_unitNext) {
            if (std::string(u->m_template->m_name.GetText()).find("Headquarters") != std::string::npos) {
                EXPECT_LT(u->m_power, u->m_template->m_power);
            }
        }
        int warped = 0;
        for (int32_t id : m->ids) {
            CTessarakObject* o = m->w.scene->m_idTable.Find(id);
            if (o && o->IsUnit() &&
                std::string(o->m_template->m_name.GetText()).find("LightTank") != std::string::npos &&
                Distance2D(o->m_position[0], o->m_position[2], 0.0f, 0.0f) < 12.0f)
                ++warped;
        }
        EXPECT_GE(warped, 2);
    }
}

// The player's road: with a tank selected, a click on the own gate sends the
// tank onto it (the interface's go-to order), and it comes out at the point
// of the gate's move.
TEST(WarpTest, AUnitSentOntoAGateByAClickComesOutAtItsPoint) {
    SWarpWorld s;
    ASSERT_TRUE(s.ok);
    CUnitWorld& w = s.w;
    w.players->m_local = w.red;  // before the units: they are the local player's
    s.Spawn("Granite_Headquarters", -50.0f, -50.0f, w.red);
    CUnit* gate = s.Spawn("Granite_WarpGate", 0.0f, 0.0f, w.red);
    CUnit* tank = s.Spawn("Granite_LightTank", -20.0f, 0.0f, w.red);
    w.Run(3);
    ASSERT_TRUE(w.world.Commands().Move({gate->m_objectId}, 40.0f, 20.0f, 0));
    w.Run(3);
    w.world.Commands().SelectUnits({tank->m_objectId});
    SPointCommand click;
    click.target = gate->m_objectId;
    w.world.Commands().Point(click);
    for (int t = 0; t < 300 && tank->m_position[0] < 20.0f; ++t) w.Run(1);
    EXPECT_LT(Distance2D(tank->m_position[0], tank->m_position[2], 40.0f, 20.0f),
              gate->m_objectRadius + 2.0f);
    EXPECT_NEAR(gate->m_position[0], 0.0f, 0.01f);
}

}  // namespace
