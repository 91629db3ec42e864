// Pictures of particle emitters, beams and lightning drawn through a camera
// on the OpenGL back end (Xvfb with Mesa in CI): particles where and in the
// colour their template puts them (the reference worked out here from the
// template's values), turned to the camera; additive particles brightening
// where they overlap; a beam and a bolt between two frames that move.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "e3d/Beam.h"
#include "e3d/Camera.h"
#include "e3d/ColorTable.h"
#include "e3d/E3D.h"
#include "e3d/Emitter.h"
#include "e3d/EmitterTemplate.h"
#include "e3d/Material.h"
#include "e3d/Surface.h"
#include "e3d/Timer.h"
#include "platform/d3d/D3DDeviceState.h"
#include "tests/support/GLDisplay.h"
#include "tests/support/SceneFrames.h"

namespace {

constexpr int kW = 160, kH = 120;
constexpr float kHalfPi = 1.5707964f;

class EffectsImage : public ::testing::Test {
protected:
    static void SetUpTestSuite() { gl.Open(kW, kH); }
    static void TearDownTestSuite() { gl.Close(); }
    void SetUp() override {
        if (!gl.screen) TEST_END_WITHOUT_GL();
        screen = gl.screen;
        ASSERT_TRUE(screen->m_currentDevice->Activate(screen->m_currentDevice));
        E3D_SetTimerClock([](void*) { return int64_t(5000000); }, nullptr);  // beams keep their full width
        camera = new CE3DCamera(screen);
        viewport = new CE3DViewport(screen->m_currentDevice);
        viewport->SetRect(0, 0, kW, kH);
        viewport->Attach(camera);
        Look(D3DVECTOR{0, 3, -10});
    }
    void TearDown() override {
        delete viewport;
        delete camera;
        while (screen && screen->m_materials) delete screen->m_materials;
        E3D_SetTimerClock(nullptr, nullptr);
    }
    void Look(D3DVECTOR eye) {
        viewport->m_view->LookAt(eye, D3DVECTOR{0, 0, 0}, 0.0f);
        viewport->m_view->SetProjection(1.0f, 100.0f, kHalfPi, float(kW) / float(kH), true);
        viewport->m_combined = D3D_Multiply(viewport->m_view->view, viewport->m_view->projection);
    }
    CE3DMaterial* Material(bool additive) {
        CE3DMaterial* m = new CE3DMaterial(screen, additive ? "additive" : "plain");
        m->m_lit = 0;
        m->m_twoSided = 1;
        if (additive)
            for (int stages = 1; stages <= 3; ++stages)
                for (CE3DMaterialPass* p = m->Passes(stages); p; p = p->m_next) {
                    p->m_states->m_alphaBlend = 1;
                    p->m_states->m_srcBlend = D3DBLEND_ONE;
                    p->m_states->m_destBlend = D3DBLEND_ONE;
                    p->m_states->m_zWrite = 0;
                }
        return m;
    }
    // A template of particles without chance: along the axis at Speed, each
    // living LifeTime.
    CE3DEmitterTemplate* Template(CE3DMaterial* m, float rate, float speed, float size) {
        CE3DEmitterTemplate* t = new CE3DEmitterTemplate(screen);
        t->m_material = m;
        t->BirthRate = rate;
        t->Speed = speed;
        t->Size = size;
        t->LifeTime = 3.0f;
        t->VariableLifeTime = 0.0f;
        t->Spread = 0.0f;
        t->SpeedVariation = 0.0f;
        return t;
    }
    void Render(float step = 0.25f) {
        screen->m_engine->m_timer->m_gameStep = step;  // what the emitters' update takes
        camera->Scene()->StoreTick();
        camera->Scene()->SetRenderFraction(1.0f);
        viewport->Render(nullptr);
    }
    std::vector<uint32_t> Picture() { return Test_BackPicture(screen, kW, kH); }
    // The pixel that shows a world point.
    SRGB At(const float p[3]) {
        float x, y, depth;
        viewport->ProjectPoint(D3DVECTOR{p[0], p[1], p[2]}, &x, &y, &depth);
        const int ix = int(std::lround(x)), iy = int(std::lround(y));
        EXPECT_TRUE(depth > 0.0f && ix >= 0 && ix < kW && iy >= 0 && iy < kH) << x << ", " << y;
        if (ix < 0 || ix >= kW || iy < 0 || iy >= kH) return SRGB{-1, -1, -1};
        return Test_BackPixel(screen, ix, iy);
    }
    SRGB At(float x, float y, float z) {
        const float p[3] = {x, y, z};
        return At(p);
    }

    static STestGLScreen gl;
    CE3DScreen* screen = nullptr;
    CE3DCamera* camera = nullptr;
    CE3DViewport* viewport = nullptr;
};

STestGLScreen EffectsImage::gl;

TEST_F(EffectsImage, ASeededEmitterDrawsItsParticlesWhereAndAsItsTemplateSays) {
    Look(D3DVECTOR{0, 9, -3});  // steeply down: a triangle that did not face the camera would be flat
    const float dt = 0.25f, rate = 4.0f, speed = 8.0f, size = 0.4f, life = 3.0f;
    CE3DEmitterTemplate* t = Template(Material(false), rate, speed, size);
    t->ColorTable()->AddPoint(0, 1, 0, 0);     // red at birth
    t->ColorTable()->AddPoint(1000, 0, 0, 1);  // blue at death
    t->SortGradient();
    CE3DEmitter* e = new CE3DEmitter(camera, t);
    e->Seed(1234);
    CE3DFrame* nozzle = new CE3DFrame(camera);
    nozzle->SetPosition(-8.0f, 0.0f, 0.0f);
    nozzle->SetOrientation(kHalfPi, 0.0f, 0.0f);  // pointing along +x
    e->FollowFrame(nozzle);
    const int renders = 5;
    for (int k = 0; k < renders; ++k) Render(dt);
    ASSERT_EQ(e->AliveCount(), renders);

    // The particle born in render k has flown its own step and one update
    // per render since: (renders - k + 2) steps in all.
    const float* right = &viewport->m_view->right.x;
    const float* up = &viewport->m_view->up.x;
    for (int k = 1; k <= renders; ++k) {
        SCOPED_TRACE(k);
        const float age = float(renders - k + 2) * dt;
        const float p[3] = {-8.0f + speed * age, 0.0f, 0.0f};
        const float f = (life - age) / life;
        const int32_t position = 999 - int32_t(std::lround(999.0f * f));  // the gradient's position
        const float towardBlue = float(position) / 1000.0f;
        const int r = int((1.0f - towardBlue) * 255.0f), b = int(towardBlue * 255.0f);
        // The triangle holds the square of twice the size around the
        // particle, turned to the camera: inside, and just beyond its edges.
        auto off = [&](float a, float c) {
            return At(p[0] + size * (a * right[0] + c * up[0]), p[1] + size * (a * right[1] + c * up[1]),
                      p[2] + size * (a * right[2] + c * up[2]));
        };
        EXPECT_TRUE(Test_NearRGB(At(p), r, 0, b, 2));
        EXPECT_TRUE(Test_NearRGB(off(-0.4f, 1.4f), r, 0, b, 2));
        EXPECT_TRUE(Test_NearRGB(off(1.4f, -0.4f), r, 0, b, 2));
        EXPECT_TRUE(Test_NearRGB(off(1.6f, 1.6f), 0, 0, 0, 0));
        EXPECT_TRUE(Test_NearRGB(off(-1.7f, 0.0f), 0, 0, 0, 0));
        EXPECT_TRUE(Test_NearRGB(off(0.0f, -1.7f), 0, 0, 0, 0));
    }
}

TEST_F(EffectsImage, AnEmitterSeededAlikeDrawsTheSamePicture) {
    CE3DEmitterTemplate* t = Template(Material(true), 40.0f, 1.5f, 0.15f);
    t->Spread = 3.1415927f;
    t->SpeedVariation = 1.0f;
    t->VariableLifeTime = 1.0f;
    t->SizeVariation = 0.1f;
    t->PosVariationX = t->PosVariationY = t->PosVariationZ = 1.0f;
    t->ColorTable()->AddPoint(0, 1.0f, 0.6f, 0.2f);
    t->ColorTable()->AddPoint(1000, 0.1f, 0.1f, 0.3f);
    t->SortGradient();
    auto picture = [&](uint32_t seed) {
        CE3DEmitter* e = new CE3DEmitter(camera, t);
        e->Seed(seed);
        e->SetEmitting(true);
        for (int k = 0; k < 12; ++k) Render(0.1f);
        std::vector<uint32_t> p = Picture();
        delete e;
        return p;
    };
    const std::vector<uint32_t> a = picture(99), b = picture(99), c = picture(100);
    int lit = 0;
    for (uint32_t v : a) lit += (v & 0xffffff) != 0;
    EXPECT_GT(lit, 200);
    EXPECT_TRUE(a == b);
    EXPECT_FALSE(a == c);
}

TEST_F(EffectsImage, AdditiveParticlesBrightenWhereTheyOverlap) {
    CE3DEmitterTemplate* t = Template(Material(true), 4.0f, 0.0f, 0.5f);
    t->ColorTable()->AddPoint(0, 0.3f, 0.2f, 0.1f);
    t->SortGradient();
    CE3DEmitter* one = new CE3DEmitter(camera, t);
    one->SetSource(-3.0f, 0.0f, 0.0f);
    one->SetEmitting(true);
    CE3DEmitter* two = new CE3DEmitter(camera, t);
    two->SetSource(3.0f, 0.0f, 0.0f);
    two->SetRate(8.0f);  // two at once, in one place
    two->SetEmitting(true);
    Render();
    ASSERT_EQ(one->AliveCount(), 1);
    ASSERT_EQ(two->AliveCount(), 2);
    EXPECT_TRUE(Test_NearRGB(At(-3.0f, 0.0f, 0.0f), 76, 51, 25, 2));
    EXPECT_TRUE(Test_NearRGB(At(3.0f, 0.0f, 0.0f), 152, 102, 50, 2));
    EXPECT_TRUE(Test_NearRGB(At(0.0f, 0.0f, 0.0f), 0, 0, 0, 0));
    // Stopped, they run out: nothing is drawn once they are gone.
    one->SetStop(true);
    two->SetStop(true);
    Render(2.0f);
    Render(2.0f);
    EXPECT_EQ(one->AliveCount() + two->AliveCount(), 0);
    EXPECT_TRUE(Test_NearRGB(At(3.0f, 0.0f, 0.0f), 0, 0, 0, 0));
}

TEST_F(EffectsImage, ABeamBetweenTwoFramesFollowsThemWhenTheyMove) {
    Look(D3DVECTOR{0, 12, -1});
    CE3DFrame* a = new CE3DFrame(camera);
    CE3DFrame* b = new CE3DFrame(camera);
    a->SetPosition(-5.0f, 0.0f, -2.0f);
    b->SetPosition(5.0f, 0.0f, -2.0f);
    CE3DBeam* beam = new CE3DBeam(camera, Material(false));
    beam->m_maxHalfWidth = 0.5f;
    beam->SetEnds(a, b);
    Render();
    EXPECT_TRUE(Test_NearRGB(At(0.0f, 0.0f, -2.0f), 255, 255, 255, 1));
    EXPECT_TRUE(Test_NearRGB(At(-4.0f, 0.0f, -2.0f), 255, 255, 255, 1));
    EXPECT_TRUE(Test_NearRGB(At(0.0f, 0.0f, 2.0f), 0, 0, 0, 0));
    b->SetPosition(5.0f, 0.0f, 4.0f);  // the line turns about a
    a->SetPosition(-5.0f, 0.0f, 4.0f);
    Render();
    EXPECT_TRUE(Test_NearRGB(At(0.0f, 0.0f, 4.0f), 255, 255, 255, 1));
    EXPECT_TRUE(Test_NearRGB(At(0.0f, 0.0f, -2.0f), 0, 0, 0, 0));
    a->SetPosition(-5.0f, 0.0f, -4.0f);
    Render();
    EXPECT_TRUE(Test_NearRGB(At(0.0f, 0.0f, 0.0f), 255, 255, 255, 1));  // half way along the slant
    EXPECT_TRUE(Test_NearRGB(At(0.0f, 0.0f, 4.0f), 0, 0, 0, 0));
}

TEST_F(EffectsImage, LightningBetweenTwoFramesChangesItsShapeButNotItsEnds) {
    Look(D3DVECTOR{0, 6, -0.5f});
    CE3DFrame* a = new CE3DFrame(camera);
    CE3DFrame* b = new CE3DFrame(camera);
    a->SetPosition(-4.0f, 0.0f, 0.0f);
    b->SetPosition(4.0f, 0.0f, 0.0f);
    CE3DLightning* bolt = new CE3DLightning(camera, Material(false));
    bolt->Seed(42);
    bolt->SetEnds(a, b);
    std::vector<std::vector<uint32_t>> pictures;
    for (int k = 0; k < 4; ++k) {
        Render();
        SCOPED_TRACE(k);
        EXPECT_TRUE(Test_NearRGB(At(-3.9f, 0.0f, 0.0f), 255, 255, 255, 1));
        EXPECT_TRUE(Test_NearRGB(At(3.9f, 0.0f, 0.0f), 255, 255, 255, 1));
        pictures.push_back(Picture());
        for (size_t j = 0; j + 1 < pictures.size(); ++j) EXPECT_NE(pictures[j], pictures.back());
    }
    // Another place for an end: the bolt goes there.
    b->SetPosition(2.0f, 0.0f, 3.0f);
    Render();
    EXPECT_TRUE(Test_NearRGB(At(1.94f, 0.0f, 2.91f), 255, 255, 255, 1));
}

}  // namespace
