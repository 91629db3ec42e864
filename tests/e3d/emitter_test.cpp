// Particle emitters without a display: births by rate and life, stopping and
// restarting, pools that are used once, followed frames, colour tables,
// seeds, star fields and the settings no emitter can use. Time is the engine
// timer's game step, set by each test.
#include "e3d/Emitter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "e3d/Camera.h"
#include "e3d/ColorTable.h"
#include "e3d/EffectVertex.h"
#include "e3d/EmitterTemplate.h"
#include "e3d/Engine.h"
#include "e3d/Mesh.h"
#include "e3d/Timer.h"
#include "e3d/VertexList.h"
#include "platform/d3d/Recorder.h"

namespace {

constexpr float kHalfPi = 1.5707964f;

class EmitterState : public ::testing::Test {
protected:
    void SetUp() override {
        DDraw_SetFactory(&rec);
        engine = new CE3DEngine;
        root = new CE3DCamera(nullptr);
        E3D_SetTraceSink([](const char* m, const char*,
                            void* u) { static_cast<std::vector<std::string>*>(u)->push_back(m); },
                         &traces);
    }
    void TearDown() override {
        E3D_SetTraceSink(nullptr, nullptr);
        delete root;
        delete engine;
        DDraw_SetFactory(nullptr);
    }
    // A template without randomness: every particle flies along the axis at
    // Speed and lives LifeTime.
    CE3DEmitterTemplate* Plain(float rate, float life, int32_t pool = 1000) {
        CE3DEmitterTemplate* t = new CE3DEmitterTemplate(engine);
        t->BirthRate = rate;
        t->LifeTime = life;
        t->VariableLifeTime = 0.0f;
        t->NumParticles = pool;
        t->Spread = 0.0f;
        t->SpeedVariation = 0.0f;
        t->Speed = 1.0f;
        t->Size = 0.1f;
        return t;
    }
    CE3DEmitter* Make(CE3DEmitterTemplate* t) {
        CE3DEmitter* e = new CE3DEmitter(root, t);
        e->SetEmitting(true);
        return e;
    }
    // Updates of the scene, each dt seconds long.
    void Step(float dt, int count = 1) {
        engine->m_timer->m_gameStep = dt;
        for (int i = 0; i < count; ++i) root->Update(nullptr);
    }
    // Births so far of an emitter whose particles are used once.
    static int Births(const CE3DEmitter* e) {
        int n = 0;
        for (int i = 0; i < e->PoolSize(); ++i) n += e->Particles()[i].initialLife > 0.0f;
        return n;
    }
    static const SE3DLitVertex* Vertices(CE3DEmitter* e) {
        return reinterpret_cast<const SE3DLitVertex*>(e->VertexList()->Vertices());
    }
    bool Traced(const char* part) const {
        for (const std::string& t : traces)
            if (t.find(part) != std::string::npos) return true;
        return false;
    }

    CD3DRecorder rec;
    CE3DEngine* engine = nullptr;
    CE3DCamera* root = nullptr;
    std::vector<std::string> traces;
};

TEST_F(EmitterState, CountsFollowTheRateAndTheLife) {
    // Fractions of a birth carry over from update to update; once the first
    // particles die the count settles at rate x life.
    const struct {
        float rate, life, dt;
        int updates;
    } cases[] = {{50.0f, 1.0f, 0.04f, 100}, {50.0f, 2.0f, 1.0f / 60.0f, 240}, {0.7f, 5.0f, 0.1f, 120}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rate);
        CE3DEmitterTemplate* t = Plain(c.rate, c.life, 2000);
        t->ReuseParticles = false;  // each birth keeps its slot: births can be counted
        CE3DEmitter* e = Make(t);
        for (int k = 1; k <= c.updates; ++k) {
            Step(c.dt);
            const float time = c.dt * float(k);
            EXPECT_NEAR(Births(e), c.rate * time, 1.01f) << "after " << k;
            // A particle has flown up to two steps when its first update ends.
            const float alive = c.rate * (time < c.life ? time : c.life);
            ASSERT_NEAR(e->AliveCount(), alive, 2.0f * c.rate * c.dt + 1.01f) << "after " << k;
        }
        delete e;
    }
    // 50 a second at 25 updates a second: two births each time.
    CE3DEmitter* e = Make(Plain(50.0f, 10.0f));
    for (int k = 1; k <= 5; ++k) {
        Step(0.04f);
        EXPECT_EQ(e->AliveCount(), 2 * k);
    }
}

TEST_F(EmitterState, AStoppedEmitterFinishesItsParticlesAndStartsAgain) {
    CE3DEmitter* e = Make(Plain(20.0f, 1.0f));
    Step(0.05f, 40);
    EXPECT_NEAR(e->AliveCount(), 20, 2);
    e->SetStop(true);
    int before = e->AliveCount();
    for (int k = 0; k < 21; ++k) {
        Step(0.05f);
        EXPECT_LE(e->AliveCount(), before);  // only deaths
        before = e->AliveCount();
    }
    EXPECT_EQ(e->AliveCount(), 0);
    e->Render(nullptr);
    EXPECT_EQ(e->DrawnVertices(), 0);
    EXPECT_FALSE(e->m_flagsA & kFrameQueued);  // it stays, ready to go on
    e->SetStop(false);
    Step(0.05f, 4);
    EXPECT_EQ(e->AliveCount(), 4);
    e->Render(nullptr);
    EXPECT_EQ(e->DrawnVertices(), 12);
}

TEST_F(EmitterState, APoolUsedOnceSpawnsItsSizeAndAWishToDieEndsTheEmitter) {
    CE3DEmitterTemplate* t = Plain(100.0f, 0.5f, 10);
    t->ReuseParticles = false;
    t->DeathWish = 1;
    CE3DEmitter* e = Make(t);
    EXPECT_EQ(root->m_emitterCount, 1);
    EXPECT_EQ(root->m_emitterHead, e);
    Step(0.02f, 20);
    EXPECT_EQ(Births(e), 10);
    EXPECT_EQ(e->AliveCount(), 10);
    EXPECT_FALSE(e->m_flagsA & kFrameQueued);
    for (int k = 0; k < 20 && !(e->m_flagsA & kFrameQueued); ++k) Step(0.02f);
    EXPECT_EQ(e->AliveCount(), 0);
    EXPECT_EQ(Births(e), 10);
    EXPECT_TRUE(e->m_flagsA & kFrameQueued);
    root->Scene()->DestroyQueued();
    EXPECT_EQ(root->m_firstChild, nullptr);
    EXPECT_EQ(root->m_emitterCount, 0);
    EXPECT_EQ(root->m_emitterHead, nullptr);
    EXPECT_EQ(t->m_userCount, 0);

    // Reusing its particles, an emitter never runs out: it stays.
    t->ReuseParticles = true;
    CE3DEmitter* kept = Make(t);
    Step(0.02f, 100);
    EXPECT_FALSE(kept->m_flagsA & kFrameQueued);
}

TEST_F(EmitterState, BirthsBeyondTheFreeParticlesAreDroppedNotOwed) {
    CE3DEmitter* e = Make(Plain(1000.0f, 0.25f, 5));
    Step(0.1f);  // a hundred due, five free
    EXPECT_EQ(e->AliveCount(), 5);
    EXPECT_LE(e->m_accumulator, 0.0f);
    e->SetRate(0.0f);
    Step(0.1f, 3);  // the five die; what was due does not follow them
    EXPECT_EQ(e->AliveCount(), 0);
}

TEST_F(EmitterState, MessageFourteenTakesTheTemplatesValuesAgain) {
    CE3DEmitterTemplate* t = Plain(10.0f, 1.0f, 50);
    CE3DEmitter* e = Make(t);
    e->SetRate(3.0f);
    Step(0.1f, 5);
    t->BirthRate = 40.0f;
    t->Speed = 7.0f;
    root->Message(kFrameMsgReloadEmitter, nullptr);
    EXPECT_EQ(e->m_birthRate, 40.0f);
    EXPECT_EQ(e->m_speed, 7.0f);
    EXPECT_EQ(e->PoolSize(), 50);
    EXPECT_GT(e->AliveCount(), 0);  // the same pool: the particles live on
    t->NumParticles = 80;
    root->Message(kFrameMsgReloadEmitter, nullptr);
    EXPECT_EQ(e->PoolSize(), 80);
    EXPECT_EQ(e->AliveCount(), 0);
    EXPECT_EQ(e->VertexList()->VertexBytes(), size_t(80 * 3 * 32));
}

TEST_F(EmitterState, ParticlesWithoutSpreadFlyAlongTheFollowedFramesAxis) {
    CE3DEmitterTemplate* t = Plain(10.0f, 5.0f);
    t->Speed = 2.0f;
    t->SpeedVariation = 0.5f;
    CE3DEmitter* e = Make(t);
    CE3DFrame* nozzle = new CE3DFrame(root);
    nozzle->SetPosition(3.0f, 1.0f, 0.0f);
    nozzle->SetOrientation(kHalfPi, 0.0f, 0.0f);  // its z axis along +x
    e->FollowFrame(nozzle);
    EXPECT_TRUE(e->m_emitting);
    Step(0.1f, 10);
    ASSERT_EQ(e->AliveCount(), 10);
    for (int i = 0; i < e->PoolSize(); ++i) {
        const SE3DParticle& p = e->Particles()[i];
        if (!p.alive) continue;
        EXPECT_GE(p.velocity[0], 2.0f);
        EXPECT_LE(p.velocity[0], 2.5f);
        EXPECT_NEAR(p.velocity[1], 0.0f, 1e-5f);
        EXPECT_NEAR(p.velocity[2], 0.0f, 1e-5f);
        EXPECT_NEAR(p.position[1], 1.0f, 1e-5f);
        EXPECT_GT(p.position[0], 3.0f);
    }
}

TEST_F(EmitterState, AMovingSourceLeavesAnEvenTrailAndALostFrameEndsTheBirths) {
    CE3DEmitterTemplate* t = Plain(40.0f, 5.0f);
    t->Speed = 0.0f;
    CE3DEmitter* e = Make(t);
    CE3DMesh* unit = new CE3DMesh(root, nullptr);
    e->FollowFrame(unit);
    EXPECT_EQ(unit->m_emitter, e);
    unit->SetPosition(4.0f, 0.0f, 0.0f);  // one update's travel
    Step(0.1f);                           // four births along the way
    std::vector<float> xs;
    for (int i = 0; i < e->PoolSize(); ++i)
        if (e->Particles()[i].alive) xs.push_back(e->Particles()[i].position[0]);
    ASSERT_EQ(xs.size(), 4u);
    std::sort(xs.begin(), xs.end());
    for (size_t i = 0; i < xs.size(); ++i) EXPECT_NEAR(xs[i], float(i), 1e-5f);
    EXPECT_NEAR(e->m_emissionPoint[0], 4.0f, 1e-5f);

    // Another emitter takes the frame over; the first no longer follows it.
    CE3DEmitter* other = Make(t);
    other->FollowFrame(unit);
    EXPECT_EQ(unit->m_emitter, other);
    EXPECT_EQ(e->Followed(), nullptr);

    // A frame on its way out feeds no births; once it is gone the emitter
    // stops rather than go on from the frame's last place.
    unit->QueueForDeletion();
    const int alive = other->AliveCount();
    Step(0.1f);
    EXPECT_EQ(other->AliveCount(), alive);
    root->Scene()->DestroyQueued();
    EXPECT_EQ(other->Followed(), nullptr);
    Step(0.1f, 3);
    EXPECT_FALSE(other->m_emitting);
    EXPECT_EQ(other->AliveCount(), alive);
}

TEST_F(EmitterState, ColoursComeFromTheGradientByAge) {
    const int32_t n = CE3DEmitterTemplate::kColorEntries;
    struct SPoint {
        int32_t pos;
        float r, g, b;
    };
    const struct {
        std::vector<SPoint> points;
        uint32_t newborn, oldest;  // entries n - 1 and 0
    } cases[] = {
        {{{0, 1, 0, 0}, {1000, 0, 0, 1}}, 0xFFFF0000u, 0xFF0000FEu},  // points given in any order
        {{{1000, 0, 0, 1}, {0, 1, 0, 0}}, 0xFFFF0000u, 0xFF0000FEu},
        {{{500, 0, 1, 0}}, 0xFF00FF00u, 0xFF00FF00u},                  // one point colours all
        {{{200, 1, 1, 1}, {400, 0, 0, 0}}, 0xFFFFFFFFu, 0xFF000000u},  // beyond the ends: the end colours
        {{{0, 2.0f, -1.0f, 0.5f}}, 0xFFFF007Fu, 0xFFFF007Fu},          // out of range: clamped
    };
    for (const auto& c : cases) {
        CE3DColorTable table(n);
        for (const SPoint& s : c.points) table.AddPoint(s.pos, s.r, s.g, s.b);
        table.SortGradient();
        EXPECT_EQ(table.Packed(n - 1), c.newborn) << std::hex << table.Packed(n - 1);
        EXPECT_EQ(table.Packed(0), c.oldest) << std::hex << table.Packed(0);
        for (const CE3DGradientPoint* p = table.m_points; p && p->m_next; p = p->m_next)
            EXPECT_LE(p->m_position, p->m_next->m_position);
    }

    // In the vertices: red at birth, towards blue with age.
    CE3DEmitterTemplate* t = Plain(10.0f, 1.0f);
    CE3DColorTable* table = t->ColorTable();
    table->AddPoint(0, 1, 0, 0);     // red at birth
    table->AddPoint(1000, 0, 0, 1);  // blue at death
    t->SortGradient();
    CE3DEmitter* e = Make(t);
    Step(0.0f);  // no time, no births
    EXPECT_EQ(e->AliveCount(), 0);
    Step(0.1f);  // one birth, 0.2 s old (its own step and the update)
    e->Render(nullptr);
    ASSERT_EQ(e->DrawnVertices(), 3);
    const float f = 0.8f;  // life left over life
    const int32_t pos = n - 1 - int32_t(std::lround(999.0f * f));
    const uint32_t want = table->Packed(n - 1 - pos);
    EXPECT_EQ(Vertices(e)[0].diffuse, want);
    EXPECT_EQ(want >> 16 & 0xff, uint32_t((1.0f - float(pos) / 1000.0f) * 255.0f));
    EXPECT_EQ(want & 0xff, uint32_t(float(pos) / 1000.0f * 255.0f));
}

bool Same(const SE3DParticle& a, const SE3DParticle& b) {
    for (int i = 0; i < 3; ++i)
        if (a.position[i] != b.position[i] || a.velocity[i] != b.velocity[i]) return false;
    return a.alive == b.alive && a.life == b.life && a.initialLife == b.initialLife && a.size == b.size &&
           a.textureFrame == b.textureFrame;
}

TEST_F(EmitterState, ASeededEmitterRepeatsItselfAndSeedsDiffer) {
    CE3DEmitterTemplate* t = Plain(30.0f, 2.0f);
    t->Spread = 1.2f;
    t->SpeedVariation = 0.7f;
    t->SpeedVariationCoefficient = 2.0f;
    t->VariableLifeTime = 0.5f;
    t->SizeVariation = 0.2f;
    t->PosVariationX = t->PosVariationY = t->PosVariationZ = 0.3f;
    t->Acceleration = -0.2f;
    t->Shrink = 0.5f;
    auto run = [&](uint32_t seed) {
        CE3DEmitter* e = Make(t);
        e->Seed(seed);
        Step(0.05f, 30);
        std::vector<SE3DParticle> out(e->Particles(), e->Particles() + e->PoolSize());
        delete e;
        return out;
    };
    const auto a = run(7), b = run(7), c = run(8);
    ASSERT_EQ(a.size(), b.size());
    int same = 0, differ = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        same += Same(a[i], b[i]);
        differ += a[i].alive && !Same(a[i], c[i]);
    }
    EXPECT_EQ(same, int(a.size()));
    EXPECT_GT(differ, 20);
    // Emitters made in the same order start from the same seeds.
    E3D_ResetEffectSeeds();
    CE3DEmitter* first = Make(t);
    E3D_ResetEffectSeeds();
    CE3DEmitter* second = Make(t);
    Step(0.05f, 10);
    ASSERT_GT(first->AliveCount(), 0);
    for (int i = 0; i < first->PoolSize(); ++i)
        EXPECT_TRUE(Same(first->Particles()[i], second->Particles()[i]));
}

TEST_F(EmitterState, AStarFieldStaysWhereItWasPut) {
    CE3DEmitterTemplate* t = Plain(0.0f, 1.0f, 200);
    t->Size = 2.0f;
    CE3DEmitter* e = Make(t);
    e->Configure(-20.0f, 7.0f, -15.0f, 15.0f, -15.0f, 15.0f, 1.0f, 0.5f);
    const std::vector<SE3DParticle> placed(e->Particles(), e->Particles() + e->PoolSize());
    for (const SE3DParticle& p : placed) {
        EXPECT_TRUE(p.alive);
        EXPECT_GE(p.position[1], -20.0f);
        EXPECT_LE(p.position[1], -13.0f);
        EXPECT_GE(p.position[0], -15.0f);
        EXPECT_LE(p.position[0], 15.0f);
        EXPECT_GE(p.size, 2.0f);
        EXPECT_LE(p.size, 3.0f);
    }
    EXPECT_EQ(e->DrawnVertices(), 600);
    Step(1.0f, 5);  // longer than a particle's life
    EXPECT_EQ(e->AliveCount(), 200);
    for (int i = 0; i < e->PoolSize(); ++i) EXPECT_TRUE(Same(placed[i], e->Particles()[i]));
    EXPECT_EQ(e->DrawnVertices(), 600);
}

TEST_F(EmitterState, SettingsNoEmitterCanUseAreClampedWithAMessage) {
    const struct {
        const char* field;
        void (*set)(CE3DEmitterTemplate*);
        bool (*check)(const CE3DEmitterTemplate*);
    } cases[] = {
        {"LifeTime", [](CE3DEmitterTemplate* t) { t->LifeTime = 0.0f; },
         [](const CE3DEmitterTemplate* t) { return t->LifeTime == CE3DEmitterTemplate::kMinLifeTime; }},
        {"LifeTime", [](CE3DEmitterTemplate* t) { t->LifeTime = -3.0f; },
         [](const CE3DEmitterTemplate* t) { return t->LifeTime == CE3DEmitterTemplate::kMinLifeTime; }},
        {"VariableLifeTime", [](CE3DEmitterTemplate* t) { t->VariableLifeTime = -1.0f; },
         [](const CE3DEmitterTemplate* t) { return t->VariableLifeTime == 0.0f; }},
        {"BirthRate", [](CE3DEmitterTemplate* t) { t->BirthRate = -5.0f; },
         [](const CE3DEmitterTemplate* t) { return t->BirthRate == 0.0f; }},
        {"BirthRate", [](CE3DEmitterTemplate* t) { t->BirthRate = 1e6f; },
         [](const CE3DEmitterTemplate* t) { return t->BirthRate == CE3DEmitterTemplate::kMaxBirthRate; }},
        {"BirthRate", [](CE3DEmitterTemplate* t) { t->BirthRate = NAN; },
         [](const CE3DEmitterTemplate* t) { return t->BirthRate == 0.0f; }},
        {"NumParticles", [](CE3DEmitterTemplate* t) { t->NumParticles = 5000000; },
         [](const CE3DEmitterTemplate* t) { return t->NumParticles == CE3DEmitterTemplate::kMaxParticles; }},
        {"NumParticles", [](CE3DEmitterTemplate* t) { t->NumParticles = -1; },
         [](const CE3DEmitterTemplate* t) { return t->NumParticles == 0; }},
        {"Size", [](CE3DEmitterTemplate* t) { t->Size = INFINITY; },
         [](const CE3DEmitterTemplate* t) { return t->Size == 0.001f; }},
        {"no gradient points", [](CE3DEmitterTemplate* t) { t->ColorTable(); },
         [](const CE3DEmitterTemplate* t) { return t->m_colorTable != nullptr; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.field);
        traces.clear();
        CE3DEmitterTemplate* t = Plain(10.0f, 1.0f, 100);
        c.set(t);
        CE3DEmitter* e = Make(t);
        EXPECT_TRUE(c.check(t));
        EXPECT_TRUE(Traced(c.field));
        EXPECT_LE(e->PoolSize(), CE3DEmitterTemplate::kMaxParticles);
        EXPECT_LE(e->VertexList()->VertexBytes(), size_t(e->PoolSize()) * 3 * 32);
        // Whatever came in, the particles are sane: finite, never more than
        // the pool, drawn white without gradient points.
        Step(0.05f, 10);
        EXPECT_LE(e->AliveCount(), e->PoolSize());
        e->Render(nullptr);
        for (int i = 0; i < e->DrawnVertices(); ++i) {
            EXPECT_TRUE(std::isfinite(Vertices(e)[i].x));
            EXPECT_EQ(Vertices(e)[i].diffuse, 0xFFFFFFFFu);
        }
        traces.clear();
        root->Message(kFrameMsgReloadEmitter, nullptr);  // checked and clean now: said once
        EXPECT_TRUE(traces.empty()) << traces.front();
        delete e;
    }

    // A million a second from a pool of a hundred: a hundred live at most,
    // and the room for them stays what it was.
    CE3DEmitter* flood = Make(Plain(1e6f, 10.0f, 100));
    const size_t room = flood->VertexList()->VertexBytes();
    flood->SetRate(1e9f);
    Step(1.0f, 5);
    EXPECT_EQ(flood->AliveCount(), 100);
    EXPECT_EQ(flood->VertexList()->VertexBytes(), room);

    // A rate of 0 is an emitter at rest (the game turns rates down to 0).
    traces.clear();
    CE3DEmitter* idle = Make(Plain(0.0f, 1.0f));
    Step(0.1f, 10);
    EXPECT_EQ(idle->AliveCount(), 0);
    EXPECT_TRUE(traces.empty());
}

TEST_F(EmitterState, WithoutATemplateThereIsNoEmitterToUse) {
    EXPECT_EQ(CE3DEmitter::Create(root, nullptr), nullptr);
    CE3DNode plain(engine);  // a node, but not a template
    EXPECT_EQ(CE3DEmitter::Create(root, &plain), nullptr);
    EXPECT_EQ(CE3DEmitter::Create(nullptr, Plain(1, 1)), nullptr);
    EXPECT_EQ(root->m_firstChild, nullptr);
    // Made anyway, it is inert: nothing born, nothing drawn, no fault.
    CE3DEmitter* inert = new CE3DEmitter(root, nullptr);
    EXPECT_TRUE(Traced("without a template"));
    inert->SetEmitting(true);
    inert->SetRate(100.0f);
    Step(0.1f, 3);
    inert->Render(nullptr);
    root->Message(kFrameMsgReloadEmitter, nullptr);
    EXPECT_EQ(inert->AliveCount(), 0);
    EXPECT_EQ(inert->DrawnVertices(), 0);
}

}  // namespace
