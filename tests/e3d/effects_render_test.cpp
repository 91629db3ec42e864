// Emitters, beams and lightning in the scene render, call by call on the
// recording back end: what each draws, star fields culled by their sphere
// where they stand in the world, and effects deleted during the render after
// they queued their work.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "e3d/Beam.h"
#include "e3d/Camera.h"
#include "e3d/E3D.h"
#include "e3d/Emitter.h"
#include "e3d/EmitterTemplate.h"
#include "e3d/Material.h"
#include "e3d/Timer.h"
#include "platform/d3d/Recorder.h"
#include "tests/support/RecordedScene.h"

namespace {

class EffectsRender : public ::testing::Test, protected STestRecordedScene {
protected:
    void SetUp() override {
        Install();
        E3D_SetTimerClock([](void*) { return int64_t(1000); }, nullptr);  // beams keep their width
        ASSERT_NO_FATAL_FAILURE(Open());
        material = new CE3DMaterial(screen, "spark");
        material->m_lit = 0;
    }
    void TearDown() override {
        Close();
        E3D_SetTimerClock(nullptr, nullptr);
    }
    CE3DEmitterTemplate* Template(int32_t pool) {
        CE3DEmitterTemplate* t = new CE3DEmitterTemplate(screen);
        t->m_material = material;
        t->NumParticles = pool;
        t->BirthRate = 100.0f;
        t->Size = 2.0f;
        return t;
    }
    // DrawPrimitive calls of one render, and their vertex counts.
    std::vector<int> Draws() {
        rec.ClearLog();
        engine->m_timer->m_gameStep = 0.1f;
        viewport->Render(nullptr);
        std::vector<int> counts;
        for (const std::string& line : rec.Lines("DrawPrimitive ")) {
            unsigned type = 0, fvf = 0, vertices = 0;
            EXPECT_EQ(sscanf(line.c_str(), "DrawPrimitive %u fvf=0x%x %u", &type, &fvf, &vertices), 3)
                << line;
            EXPECT_EQ(fvf, 0x1E2u);  // the lit vertex
            counts.push_back(int(vertices));
        }
        return counts;
    }

    CE3DMaterial* material = nullptr;
};

// A frame whose render deletes frames the walk has already been to.
class CRenderRemover : public CE3DFrame {
public:
    explicit CRenderRemover(CE3DFrame* parent) : CE3DFrame(parent) { Activate(); }
    void Render(int* depth) override {
        for (CE3DFrame* f : doomed) delete f;
        doomed.clear();
        CE3DFrame::Render(depth);
    }
    std::vector<CE3DFrame*> doomed;
};

TEST_F(EffectsRender, EachEffectDrawsItsVerticesAndOneDeletedMidRenderDrawsNothing) {
    CRenderRemover* remover = new CRenderRemover(camera);
    // Made after the remover, so walked before it.
    CE3DEmitter* emitter = new CE3DEmitter(camera, Template(50));
    emitter->SetEmitting(true);
    CE3DBeam* beam = new CE3DBeam(camera, material);
    beam->m_end[0] = 3.0f;
    CE3DLightning* bolt = new CE3DLightning(camera, material);
    bolt->m_end[1] = 2.0f;
    bolt->Build();
    std::vector<int> draws = Draws();
    ASSERT_EQ(draws.size(), 3u);
    std::sort(draws.begin(), draws.end());
    EXPECT_EQ(draws[0], 6);   // the beam
    EXPECT_EQ(draws[1], 30);  // ten particles
    EXPECT_GE(draws[2], 60);  // ten segments of bolt, and its branches
    remover->doomed = {emitter, beam, bolt};
    EXPECT_TRUE(Draws().empty());
    EXPECT_EQ(camera->m_emitterHead, nullptr);
    EXPECT_EQ(material->m_triangleQueue, nullptr);
}

TEST_F(EffectsRender, AStarFieldIsCulledWhereItStandsInTheWorld) {
    CE3DEmitter* near = new CE3DEmitter(camera, Template(20));
    near->Configure(-1.0f, 2.0f, -1.0f, 1.0f, -1.0f, 1.0f, 0.1f, 0.0f);
    near->m_boundingRadius = 3.0f;
    CE3DEmitter* far = new CE3DEmitter(camera, Template(30));
    far->Configure(-1.0f, 2.0f, -1.0f, 1.0f, -1.0f, 1.0f, 0.1f, 0.0f);
    far->m_boundingRadius = 3.0f;
    far->SetPosition(200.0f, 0.0f, 0.0f);  // far to the side: its sphere is out of the view
    EXPECT_EQ(Draws(), std::vector<int>{60});
    far->SetPosition(1.0f, 0.0f, 0.0f);
    near->SetPosition(0.0f, 0.0f, -50.0f);  // behind the eye
    camera->Scene()->StoreTick();
    camera->Scene()->SetRenderFraction(1.0f);
    EXPECT_EQ(Draws(), std::vector<int>{90});
}

}  // namespace
