// Particle emitters with 100,000 live particles: the update step alone on
// the CPU against a plain loop doing the same work over the same array of
// particles, the vertices alone, and whole frames (update, vertices turned to the camera, the
// draw through the device) on OpenGL. Run under Xvfb (or with
// SDL_VIDEODRIVER=offscreen) with LIBGL_ALWAYS_SOFTWARE=1, and with nice:
//
//     nice build/bench/emitter_bench
//
// Arg(0): a population that only ages (no births or deaths); Arg(1): the
// steady state of 100,000 births a second, each living a second, at 60
// updates a second.
#include <benchmark/benchmark.h>

#include "e3d/Camera.h"
#include "e3d/ColorTable.h"
#include "e3d/E3D.h"
#include "e3d/Emitter.h"
#include "e3d/EmitterTemplate.h"
#include "e3d/Material.h"
#include "platform/d3d/Direct3D.h"

namespace {

constexpr int32_t kParticles = 100000;
constexpr float kStep = 1.0f / 60.0f;
constexpr int kSize = 512;

CE3DEmitterTemplate* Template(CE3DEngine* engine, CE3DScreen* screen, bool steady) {
    CE3DEmitterTemplate* t = screen ? new CE3DEmitterTemplate(screen) : new CE3DEmitterTemplate(engine);
    t->NumParticles = kParticles;
    t->BirthRate = float(kParticles);
    t->LifeTime = steady ? 0.99f : 1e9f;
    t->VariableLifeTime = 0.0f;
    t->Speed = 0.5f;
    t->SpeedVariation = 0.5f;
    t->Size = 0.02f;
    t->Acceleration = -0.1f;
    t->Shrink = 0.05f;
    t->PosVariationX = t->PosVariationY = t->PosVariationZ = 6.0f;
    return t;
}

// An emitter brought to 100,000 live particles.
CE3DEmitter* Populate(CE3DEngine* engine, CE3DFrame* root, CE3DEmitterTemplate* t, bool steady) {
    CE3DEmitter* e = new CE3DEmitter(root, t);
    e->Seed(1);
    e->SetEmitting(true);
    engine->m_timer->m_gameStep = steady ? kStep : 1.0f;
    // A second of births fills the pool; in the steady state the oldest
    // then die as fast as new ones come.
    for (int i = 0; i < (steady ? 70 : 1); ++i) e->Update(nullptr);
    if (!steady) e->SetStop(true);
    engine->m_timer->m_gameStep = kStep;
    return e;
}

void BM_EmitterUpdate(benchmark::State& state) {
    const bool steady = state.range(0) != 0;
    CE3DEngine engine;
    CE3DCamera root(nullptr);
    CE3DEmitter* e = Populate(&engine, &root, Template(&engine, nullptr, steady), steady);
    int64_t live = 0;
    for (auto _ : state) {
        e->Update(nullptr);
        live += e->AliveCount();
    }
    state.SetItemsProcessed(live);
    state.counters["live"] = double(e->AliveCount());
}
BENCHMARK(BM_EmitterUpdate)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// The same ageing written as the plainest loop over the same particles.
void BM_PlainLoopSameParticles(benchmark::State& state) {
    CE3DEngine engine;
    CE3DCamera root(nullptr);
    CE3DEmitterTemplate* t = Template(&engine, nullptr, false);
    CE3DEmitter* e = Populate(&engine, &root, t, false);
    SE3DParticle* pool = const_cast<SE3DParticle*>(e->Particles());
    const float dt = kStep, grow = t->Shrink * dt + 1.0f, speedUp = t->Acceleration * dt + 1.0f;
    for (auto _ : state) {
        for (int32_t i = 0; i < kParticles; ++i) {
            SE3DParticle& p = pool[i];
            if (!p.alive) continue;
            p.size *= grow;
            for (int k = 0; k < 3; ++k) {
                p.velocity[k] *= speedUp;
                p.position[k] += p.velocity[k] * dt;
            }
            p.life -= dt;
            if (p.life <= 0.0f) p.alive = 0;
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kParticles);
}
BENCHMARK(BM_PlainLoopSameParticles)->Unit(benchmark::kMicrosecond);

// The vertices alone: three a particle, turned to the camera and coloured by
// age (the render of a scene without a device queues nothing).
void BM_EmitterBuildVertices(benchmark::State& state) {
    CE3DEngine engine;
    CE3DCamera root(nullptr);
    CE3DEmitterTemplate* t = Template(&engine, nullptr, false);
    t->ColorTable()->AddPoint(0, 1.0f, 0.8f, 0.3f);
    t->ColorTable()->AddPoint(1000, 0.2f, 0.2f, 0.2f, 0.0f);
    t->SortGradient();
    CE3DEmitter* e = Populate(&engine, &root, t, false);
    for (auto _ : state) e->Render(nullptr);
    state.SetItemsProcessed(state.iterations() * e->DrawnVertices() / 3);
}
BENCHMARK(BM_EmitterBuildVertices)->Unit(benchmark::kMicrosecond);

// Whole frames: the scene's update and render of one emitter, finished on
// the device.
void BM_EmitterFrame(benchmark::State& state) {
    const bool steady = state.range(0) != 0;
    CE3DEngine* engine = new CE3DEngine;
    if (engine->m_driverCount < 1) {
        delete engine;
        return state.SkipWithError("no display driver");
    }
    CE3DScreen* screen = new CE3DScreen(engine, engine->m_drivers[0]);
    if (!screen->SetWindowedMode(engine->m_drivers[0], nullptr, kSize, kSize, true)) {
        delete engine;
        return state.SkipWithError("no OpenGL display");
    }
    CE3DCamera* camera = new CE3DCamera(screen);
    CE3DViewport* viewport = new CE3DViewport(screen->m_currentDevice);
    viewport->SetRect(0, 0, kSize, kSize);
    viewport->Attach(camera);
    viewport->m_view->LookAt(D3DVECTOR{0, 4, -16}, D3DVECTOR{0, 0, 0}, 0.0f);
    viewport->m_view->SetProjection(1.0f, 100.0f, 1.2f, 1.0f, true);
    // Additive sparks, as fire and smoke are drawn.
    CE3DMaterial* spark = new CE3DMaterial(screen, "spark");
    spark->m_lit = 0;
    for (CE3DMaterialPass* p = spark->Passes(1); p; p = p->m_next) {
        p->m_states->m_alphaBlend = 1;
        p->m_states->m_srcBlend = D3DBLEND_ONE;
        p->m_states->m_destBlend = D3DBLEND_ONE;
        p->m_states->m_zWrite = 0;
    }
    CE3DEmitterTemplate* t = Template(engine, screen, steady);
    t->m_material = spark;
    CE3DEmitter* e = Populate(engine, camera, t, steady);
    int64_t drawn = 0;
    for (auto _ : state) {
        engine->m_timer->m_gameStep = kStep;
        camera->Scene()->StoreTick();
        camera->Scene()->SetRenderFraction(1.0f);
        viewport->Render(nullptr);
        DDraw_GLFinish();
        drawn += e->DrawnVertices() / 3;
    }
    state.SetItemsProcessed(drawn);
    state.counters["drawn"] = double(e->DrawnVertices() / 3);
    delete engine;
}
BENCHMARK(BM_EmitterFrame)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
