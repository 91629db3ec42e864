// Explosions: which type a destruction shows, what it leaves (the polygon
// blow, the type's shown and thrown objects, the debris that lands, the
// sound and the camera shake), that all of it is the view's (no object id,
// no place in the world's lists), and that a fight gives the same sync CRC
// with the view effects on and off. The camera placement and its scroll.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/Math.h"
#include "e3d/Beam.h"
#include "platform/surface/SoftSurface.h"
#include "tests/support/UnitWorld.h"
#include "world/ExplosionManager.h"
#include "world/GridMember.h"
#include "world/Player.h"
#include "world/Unit.h"
#include "world/UnitWeapon.h"
#include "world/WorldGrid.h"

namespace {

// The objects of a template that only the view has: no id, not a world object.
std::vector<CTessarakObject*> ViewObjects(CUnitWorld& w, const CTessarakObjectTemplate* of) {
    std::vector<CTessarakObject*> found;
    for (CE3DFrame* f = w.m_root->m_firstChild; f; f = f->m_siblingNext)
        if (CTessarakObject* o = CGameNode::AsObject(f))
            if (o->m_template == of && o->m_objectId == -1 && !o->IsWorldObject()) found.push_back(o);
    return found;
}

// A world with the demo units, the local player red, and an explosion type
// "Boom" for the tanks: a flash shown where the unit was, a chunk thrown
// away that shows "Sparks" where it lands, one object without a template
// (the race's debris), a camera shake and a sound.
struct SBoomWorld {
    CUnitWorld w;
    CTessarakObjectTemplate *flash = nullptr, *chunk = nullptr, *spark = nullptr, *rubble = nullptr;
    CExplosionType *boom = nullptr, *sparks = nullptr;

    bool Build(std::string& error) {
        if (!w.LoadDemoTemplates(error)) return false;
        w.players->m_local = w.red;
        flash = w.MakeTemplate<CTessarakObjectTemplate>(w.m_root, 9001, "Flash");
        chunk = w.MakeTemplate<CTessarakObjectTemplate>(w.m_root, 9002, "Chunk");
        spark = w.MakeTemplate<CTessarakObjectTemplate>(w.m_root, 9003, "Spark");
        rubble = w.MakeTemplate<CTessarakObjectTemplate>(w.m_root, 9004, "Rubble");
        sparks = new CExplosionType(w.explosions, "Sparks");
        Add(sparks, spark, false, 1.0f, 5.0f);
        boom = new CExplosionType(w.explosions, "Boom");
        boom->m_shake = 0.5f;
        boom->m_sound = reinterpret_cast<SWorldSample*>(uintptr_t(0x5000));  // freed by the host's count only
        boom->m_debrisExplosion = sparks;
        Add(boom, nullptr, false, 1.0f, 3.0f);  // the race's debris
        Add(boom, chunk, true, 1.0f, 30.0f, 6.0f);
        Add(boom, flash, false, 2.0f, 0.5f);
        for (const char* name :
             {"Granite_LightTank", "Granite_HeavyTank", "Coral_LightTank", "Coral_HeavyTank"}) {
            CUnitTemplate* t = w.UnitTemplate(name);
            if (!t) {
                error = std::string("no template ") + name;
                return false;
            }
            t->m_destructionMethod = CTessarakObjectTemplate::kDestructionExplosion;
            t->m_explosion = boom;
        }
        for (CPlayer* p : {w.red, w.blue}) p->m_race->m_autoExplosionObjects = {rubble};
        w.soundOff = false;
        return true;
    }
    static CExplosionInstance* Add(CExplosionType* type, CTessarakObjectTemplate* tmpl, bool thrown,
                                   float size, float time, float speed = 0.0f) {
        CExplosionInstance* inst = new CExplosionInstance(type);
        inst->m_template = tmpl;
        inst->m_thrown = thrown;
        inst->m_size = size;
        inst->m_sizeRange = 0.0f;
        inst->m_time = time;
        inst->m_timeRange = 0.0f;
        inst->m_speed = speed;
        inst->m_speedRange = 0.0f;
        return inst;
    }
    // Frames of the view: frame step seconds each.
    void Frames(int n, float step) {
        for (int i = 0; i < n; ++i) w.explosions->Update(step, 0.0f, 0.0f);
    }
};

class ExplosionTest : public ::testing::Test, public SBoomWorld {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(Build(error)) << error;
    }
};

TEST_F(ExplosionTest, DestructionLeavesTheTypesDebrisAndEffects) {
    CUnit* tank = w.Spawn("Granite_LightTank", 10.0f, 4.0f, w.red);
    ASSERT_NE(tank, nullptr);
    tank->HandleMessage(CTessarakObject::kMsgSelect, 0);
    const int32_t nextId = w.scene->m_idTable.NewId();
    w.scene->m_idTable.SetCounter(nextId);
    const int32_t worldObjects = w.scene->m_objectCount;
    tank->ApplyDamage(nullptr, 0.0f, true);

    // Out of play, deselected.
    EXPECT_TRUE(tank->m_stateA & CTessarakObject::kA_Destroyed);
    EXPECT_FALSE(tank->m_stateA & CTessarakObject::kA_Selected);
    // The wreck of the polygon blow, the flash at the tank, the chunk, the
    // race's rubble: all of the view.
    ASSERT_EQ(ViewObjects(w, tank->m_template).size(), 1u);
    ASSERT_EQ(ViewObjects(w, flash).size(), 1u);
    ASSERT_EQ(ViewObjects(w, chunk).size(), 1u);
    ASSERT_EQ(ViewObjects(w, rubble).size(), 1u);
    CTessarakObject* shown = ViewObjects(w, flash)[0];
    EXPECT_FLOAT_EQ(shown->m_position[0], 10.0f);
    EXPECT_FLOAT_EQ(shown->m_position[2], 4.0f);
    EXPECT_FLOAT_EQ(shown->m_scale[0], 2.0f);  // (r x 0.5 - 1) x 0 + 2
    EXPECT_EQ(w.explosions->EffectCount(), 4);
    // Each is drawn: the camera draws the root's active frames, and nothing
    // that picks the world's objects in view ever sees these.
    for (const CTessarakObjectTemplate* t : {tank->m_template, flash, chunk, rubble})
        EXPECT_GT(ViewObjects(w, t)[0]->m_activeCount, 0) << t->m_name.GetText();
    // None took an id or a place among the world's objects.
    EXPECT_EQ(w.scene->m_idTable.NewId(), nextId);
    EXPECT_EQ(w.scene->m_objectCount, worldObjects);
    // The sound at the tank, the shake at the tank (the view weakens it by
    // its distance from what the camera looks at).
    ASSERT_EQ(w.played.size(), 1u);
    EXPECT_EQ(w.played[0].sample, boom->m_sound);
    ASSERT_EQ(w.shakes.size(), 1u);
    EXPECT_FLOAT_EQ(w.shakes[0].amount, 0.5f);
    EXPECT_FLOAT_EQ(w.shakes[0].x, 10.0f);
    EXPECT_FLOAT_EQ(w.shakes[0].z, 4.0f);

    // The flash ends after its time; the chunk flies up and comes down, and
    // shows the sparks where it lands; the wreck lasts its seven seconds.
    Frames(30, 0.05f);  // 1.5 s
    EXPECT_TRUE(ViewObjects(w, flash).empty());
    EXPECT_TRUE(ViewObjects(w, chunk).empty());
    std::vector<CTessarakObject*> landed = ViewObjects(w, spark);
    ASSERT_EQ(landed.size(), 1u);
    EXPECT_FLOAT_EQ(landed[0]->m_position[1], 0.0f);
    EXPECT_GT(landed[0]->m_activeCount, 0);
    EXPECT_GT(Distance2D(landed[0]->m_position[0], landed[0]->m_position[2], 10.0f, 4.0f), 1.0f);
    EXPECT_EQ(ViewObjects(w, tank->m_template).size(), 1u);
    Frames(120, 0.05f);
    EXPECT_EQ(w.explosions->EffectCount(), 0);
    EXPECT_TRUE(ViewObjects(w, tank->m_template).empty());
    EXPECT_TRUE(ViewObjects(w, spark).empty());
}

// A destroyed tank's explosion lights its place: the light stands over it
// at full colour, fades over the second half of its time and goes out. It
// ages on the drawn game time only: frames of a game that stands (step 0)
// keep it as it is.
TEST_F(ExplosionTest, AnExplosionLightsItsPlaceAndFadesOnTheDrawnGameTime) {
    w.explosions->Draw(0.05f);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(w.explosions->m_explosionLight.colour[i], 0);
    CUnit* tank = w.Spawn("Granite_LightTank", 10.0f, 4.0f, w.red);
    ASSERT_NE(tank, nullptr);
    tank->ApplyDamage(nullptr, 0.0f, true);
    const CExplosionManager::SExplosionLight& light = w.explosions->m_explosionLight;
    w.explosions->Draw(0.1f);
    EXPECT_FLOAT_EQ(light.position[0], 10.0f);
    EXPECT_FLOAT_EQ(light.position[2], 4.0f);
    EXPECT_GT(light.position[1], tank->m_position[1]);
    EXPECT_EQ(light.colour[0], 255);
    EXPECT_EQ(light.colour[1], 170);
    EXPECT_EQ(light.colour[2], 80);
    // The cursor light breathes on the same time.
    const float phase = w.explosions->m_cursorLightPhase;
    for (int i = 0; i < 10; ++i) w.explosions->Draw(0.0f);  // paused
    EXPECT_EQ(light.colour[0], 255);
    EXPECT_FLOAT_EQ(w.explosions->m_cursorLightPhase, phase);
    w.explosions->Draw(0.35f);  // 0.45 s of the 0.6: half of the fade left
    EXPECT_NEAR(w.explosions->m_cursorLightPhase, phase + 0.35f * 1.5707964f, 1e-4f);
    EXPECT_NEAR(light.colour[0], 128, 1);
    EXPECT_NEAR(light.colour[1], 85, 1);
    w.explosions->Draw(0.2f);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(light.colour[i], 0);
}

TEST_F(ExplosionTest, TheTypeByDestructionMethodSizeAndConstruction) {
    // One marker template per type, so the chosen type shows by what it made.
    const char* names[] = {"Mini", "Small", "Medium", "Big", "Huge", "Site"};
    std::vector<CTessarakObjectTemplate*> marks;
    std::vector<CExplosionType*> types;
    for (int i = 0; i < 6; ++i) {
        marks.push_back(w.MakeTemplate<CTessarakObjectTemplate>(w.m_root, 9100 + i, names[i]));
        types.push_back(new CExplosionType(w.explosions, names[i]));
        Add(types.back(), marks.back(), false, 1.0f, 1.0f);
    }
    CRace* race = w.red->m_race;
    for (int i = 0; i < 5; ++i) race->m_explosions[i] = types[i];
    race->m_constructionExplosion = types[5];
    CGridMemberTemplate* depot = static_cast<CGridMemberTemplate*>(w.scene->FindTemplate("Granite_Depot"));
    ASSERT_NE(depot, nullptr);
    struct {
        int32_t method;
        float radius;
        bool complete, explodes;
        int expected;  // the index of the marker made, -1 none
    } cases[] = {
        {CTessarakObjectTemplate::kDestructionNone, 1.0f, true, true, -1},
        {CTessarakObjectTemplate::kDestructionAuto, 0.4f, true, true, 1},   // 0: small
        {CTessarakObjectTemplate::kDestructionAuto, 1.0f, true, true, 2},   // 1: medium
        {CTessarakObjectTemplate::kDestructionAuto, 2.5f, true, true, 3},   // 3: big
        {CTessarakObjectTemplate::kDestructionAuto, 6.0f, true, true, 4},   // 7: huge
        {CTessarakObjectTemplate::kDestructionAuto, 1.0f, false, true, 5},  // never completed: the site
        {CTessarakObjectTemplate::kDestructionExplosion, 1.0f, false, true, 5},
        {CTessarakObjectTemplate::kDestructionAuto, 1.0f, true, false, -1},  // no explode flag
    };
    float x = -40.0f;
    for (const auto& c : cases) {
        depot->m_destructionMethod = c.method;
        depot->m_explosion = boom;
        const float at[3] = {x += 8.0f, 0.0f, 0.0f};
        CTessarakObject* o = w.scene->CreateObjectByClass(depot, at, w.red, w.scene->m_idTable.NewId());
        ASSERT_NE(o, nullptr);
        CGridMember* m = static_cast<CGridMember*>(o);
        m->m_objectRadius = c.radius;
        if (c.complete) m->m_gridFlags |= CGridMember::kG_Complete;
        if (!c.explodes) m->m_gridFlags &= ~CGridMember::kG_Explodes;
        const int32_t effects = w.explosions->EffectCount();
        o->ApplyDamage(nullptr, 0.0f, true);
        for (int i = 0; i < 6; ++i)
            EXPECT_EQ(ViewObjects(w, marks[i]).size(), i == c.expected ? 1u : 0u)
                << "method " << c.method << " radius " << c.radius << " marker " << names[i];
        if (c.expected < 0) {
            EXPECT_EQ(w.explosions->EffectCount(), effects);
        }
        w.explosions->ClearEffects();
    }
}

TEST(ExplosionFight, WithoutViewEffectsTheWorldIsTheSame) {
    // Two runs of one fight, the view effects on and off, tick by tick: the
    // same sync CRC, while only the first shows anything.
    auto fight = [](bool effects, int* shown) {
        std::vector<uint32_t> crcs;
        SBoomWorld b;
        std::string error;
        if (!b.Build(error)) {
            ADD_FAILURE() << error;
            return crcs;
        }
        CUnitWorld& w = b.w;
        w.explosions->m_viewEffects = effects ? 1 : 0;
        // A pressure wave from every destroyed tank: simulation that every
        // machine makes.
        for (const char* name : {"Granite_HeavyTank", "Coral_LightTank"}) {
            CUnitTemplate* tt = w.UnitTemplate(name);
            tt->m_spreadingSpeed = 10.0f;
            tt->m_explosionMass = 2.0f;
            tt->m_damagePower = 30.0f;
            tt->m_damageRadius = 6.0f;
        }
        // Headquarters give the energy that weapons reload by.
        w.Spawn("Granite_Headquarters", -40.0f, -40.0f, w.red);
        w.Spawn("Coral_Headquarters", 40.0f, 40.0f, w.blue);
        // The artillery's shells take ids all through the fight: an effect
        // that took one would shift every shell's id after it.
        CObjectLink red, artillery, blue1, blue2;
        red.Set(w.Spawn("Granite_HeavyTank", 0.0f, 0.0f, w.red));
        artillery.Set(w.Spawn("Granite_Artillery", -3.0f, -3.0f, w.red));
        blue1.Set(w.Spawn("Coral_LightTank", 6.0f, 1.0f, w.blue));
        blue2.Set(w.Spawn("Coral_LightTank", 7.0f, -2.0f, w.blue));
        auto unit = [](CObjectLink& l) { return static_cast<CUnit*>(l.Get()); };
        for (CObjectLink* l : {&red, &artillery, &blue1, &blue2}) unit(*l)->m_mode = 0;  // no manoeuvres
        unit(red)->m_attackTarget.Set(blue1.Get());
        unit(artillery)->m_attackTarget.Set(blue2.Get());
        unit(blue1)->m_attackTarget.Set(red.Get());
        unit(blue2)->m_attackTarget.Set(red.Get());
        *shown = 0;
        for (int i = 0; i < 450; ++i) {
            w.Tick();
            w.explosions->Update(1.0f / 60.0f, 0.0f, 0.0f);
            *shown += w.explosions->EffectCount() > 0;
            if (red && !blue1 && blue2 && !unit(red)->m_attackTarget)
                unit(red)->m_attackTarget.Set(blue2.Get());
            crcs.push_back(w.scene->ComputeSyncCRC());
        }
        EXPECT_FALSE(blue1) << "the fight never ended";
        return crcs;
    };
    int shownOn = 0, shownOff = 0;
    std::vector<uint32_t> on = fight(true, &shownOn);
    std::vector<uint32_t> off = fight(false, &shownOff);
    ASSERT_FALSE(on.empty());
    EXPECT_GT(shownOn, 0);
    EXPECT_EQ(shownOff, 0);
    ASSERT_EQ(on.size(), off.size());
    for (size_t i = 0; i < on.size(); ++i) ASSERT_EQ(on[i], off[i]) << "tick " << i;
}

TEST_F(ExplosionTest, TypesAreKeptByNameAndForgottenByALoad) {
    EXPECT_EQ(w.explosions->FindType("Boom"), boom);
    EXPECT_EQ(w.explosions->FindType("boom"), nullptr);  // names compare exactly
    w.red->m_race->m_explosions[2] = boom;
    w.explosions->Load();
    EXPECT_EQ(w.explosions->m_types, nullptr);
    EXPECT_EQ(w.red->m_race->m_explosions[2], nullptr);
    CUnitTemplate* t = w.UnitTemplate("Granite_LightTank");
    EXPECT_EQ(t->m_explosion, nullptr);
    EXPECT_EQ(t->m_destructionMethod, CTessarakObjectTemplate::kDestructionNone);
}

}  // namespace

TEST(ExplosionFog, TheOverlayShowsWhatThePlayerSees) {
    CWorldTestHost host;
    CExplosionManager& m = *host.explosions;
    // Without the effect system's fog-of-war object there is no overlay.
    EXPECT_FALSE(m.Restart());
    SSurfacePixelFormat argb = SSurfacePixelFormat::Masks(32, 0x00FF0000u, 0x0000FF00u, 0x000000FFu);
    argb.aMask = 0xFF000000u;
    EXPECT_EQ(ExplosionManager_FogTexel(m, 4 * 255, argb), 0u);           // watched: clear
    EXPECT_EQ(ExplosionManager_FogTexel(m, 0, argb), 0xFF01013Cu);        // unexplored: the fog colour
    EXPECT_EQ(ExplosionManager_FogTexel(m, 4 * 128, argb), 0x80804040u);  // explored: half colour, half
    m.m_fogColour[2] = 0;
    EXPECT_EQ(ExplosionManager_FogTexel(m, 0, argb), 0xFF010100u);
}

TEST_F(ExplosionTest, LaserBeamsAndPolygonBlowsAreTheViewsAlone) {
    CUnit* tank = w.Spawn("Granite_LightTank", 0.0f, 0.0f, w.red);
    CUnitWeapon* gun = nullptr;
    for (CTessarakObject* c = tank->FirstChildObject(); c && !gun; c = c->NextSiblingObject())
        if (c->IsWeapon()) gun = static_cast<CUnitWeapon*>(c);
    ASSERT_NE(gun, nullptr);
    auto beams = [&] {
        std::vector<CE3DBeam*> found;
        for (CE3DFrame* f = w.m_root->m_firstChild; f; f = f->m_siblingNext)
            if (f->m_type == kE3DFrameBeam) found.push_back(static_cast<CE3DBeam*>(f));
        return found;
    };
    const float from[3] = {0.0f, 1.0f, 1.0f}, to[3] = {0.0f, 0.5f, 9.0f};
    w.explosions->ShowLaserBeam(gun, nullptr, 0.4f, 59659, from, to);
    std::vector<CE3DBeam*> shown = beams();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_FLOAT_EQ(shown[0]->m_end[2], 9.0f);
    EXPECT_EQ(shown[0]->m_duration, 59659);
    EXPECT_FLOAT_EQ(shown[0]->m_maxHalfWidth, 0.2f);
    delete shown[0];
    // A polygon blow leaves the object as it was: its copy shatters.
    const uint8_t stateC = tank->m_stateC;
    w.explosions->ShatterObject(tank, 1.0f, true);
    EXPECT_EQ(tank->m_stateC, stateC);
    EXPECT_EQ(ViewObjects(w, tank->m_template).size(), 1u);
    // Without view effects neither shows.
    w.explosions->m_viewEffects = 0;
    w.explosions->ShowLaserBeam(gun, nullptr, 0.4f, 59659, from, to);
    w.explosions->ShatterObject(tank, 1.0f, true);
    EXPECT_TRUE(beams().empty());
    EXPECT_EQ(ViewObjects(w, tank->m_template).size(), 1u);
}
