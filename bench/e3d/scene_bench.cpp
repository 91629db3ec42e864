// The scene render's cost: 10,000 meshes of which half are in view, drawn by
// the camera (matrix blend, one visibility test for all spheres, queues by
// material) against the same visible meshes drawn by direct device calls in
// the same run; and 2,000 visible textured, lit meshes for frames per second.
// Run under Xvfb with LIBGL_ALWAYS_SOFTWARE=1; times are wall-clock (the
// software renderer works on threads of its own).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <vector>

#include "e3d/Camera.h"
#include "e3d/E3D.h"
#include "e3d/Light.h"
#include "e3d/Material.h"
#include "e3d/Mesh.h"
#include "e3d/Shape.h"
#include "e3d/ShapeBlock.h"
#include "e3d/Texture.h"
#include "e3d/VertexList.h"
#include "platform/d3d/Direct3D.h"
#include "platform/display/Display.h"
#include "tools/lib/QuadGrid.h"

namespace {

constexpr int kSize = 256;

// A checkered texture made in memory.
class CCheckerTexture : public CE3DTexture {
public:
    explicit CCheckerTexture(CE3DScreen* screen) : CE3DTexture(screen) {}
    bool LoadImage() override {
        CreateSurfaces(64, 64, SSurfacePixelFormat::Xrgb8888());
        CSoftSurface* s = Staging();
        if (!s) return false;
        SDDSurfaceDesc lock;
        if (s->Lock(&lock) != kDD_OK) return false;
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x) {
                const uint32_t c = ((x ^ y) & 8) ? 0xffc08040u : 0xff4080c0u;
                memcpy(static_cast<uint8_t*>(lock.surface) + y * lock.pitch + x * 4, &c, 4);
            }
        s->Unlock();
        return FillFromStaging();
    }
};

// A small quad grid (2 x 2 cells) facing the camera, textured.
CE3DShape* GridShape(CE3DEngine* engine, CE3DMaterial* material) {
    CE3DShape* shape = new CE3DShape(engine);
    SQuadGrid grid;
    grid.half = 0.5f;
    grid.cells = 2;
    grid.hasColor = false;
    grid.hasTexCoords = true;
    QuadGrid_AddBlock(*shape, material, grid);
    shape->PrepareBlocks();
    shape->ComputeBounds();
    return shape;
}

struct SScene {
    CDisplayWindow* window = nullptr;
    CE3DEngine* engine = nullptr;
    CE3DScreen* screen = nullptr;
    CE3DCamera* camera = nullptr;
    CE3DViewport* viewport = nullptr;
    CE3DMaterial* material = nullptr;
    CE3DShape* shape = nullptr;
    std::vector<CE3DMesh*> visible;
    bool ok = false;

    // count meshes, every other one out of view (behind the eye or far to
    // the side), the rest spread over the view.
    explicit SScene(int count) {
        window = CDisplayWindow::Create("Tessarak", kSize, kSize);
        if (!window || !window->HasGL()) return;
        engine = new CE3DEngine;
        if (engine->m_driverCount < 1) return;
        screen = new CE3DScreen(engine, engine->m_drivers[0]);
        if (!screen->SetWindowedMode(engine->m_drivers[0], window, kSize, kSize, true)) return;
        camera = new CE3DCamera(screen);
        viewport = new CE3DViewport(screen->m_currentDevice);
        viewport->SetRect(0, 0, kSize, kSize);
        viewport->Attach(camera);
        viewport->m_view->LookAt(D3DVECTOR{0, 0, -60}, D3DVECTOR{0, 0, 0}, 0.0f);
        viewport->m_view->SetProjection(1.0f, 200.0f, 1.2f, 1.0f, true);
        CCheckerTexture* texture = new CCheckerTexture(screen);
        texture->LoadImage();
        material = new CE3DMaterial(screen, "bench");
        for (int stages = 1; stages <= 3; ++stages)
            if (CE3DMaterialPass* p = material->Passes(stages)) p->m_stages[0]->m_texture = texture;
        shape = GridShape(engine, material);
        CE3DLight* sun = new CE3DLight(camera);
        sun->SetType(D3DLIGHT_DIRECTIONAL);
        sun->SetOrientation(0.3f, 0.4f, 0.0f);
        uint32_t seed = 12345;
        auto rnd = [&]() {
            seed = seed * 1103515245u + 12345u;
            return float((seed >> 8) & 0xffff) / 65535.0f;
        };
        for (int i = 0; i < count; ++i) {
            CE3DMesh* m = new CE3DMesh(camera, shape);
            if (i % 2 == 0) {
                m->SetPosition(rnd() * 60.0f - 30.0f, rnd() * 60.0f - 30.0f, rnd() * 40.0f);
                visible.push_back(m);
            } else if (i % 4 == 1) {
                m->SetPosition(rnd() * 60.0f - 30.0f, rnd() * 60.0f - 30.0f, -80.0f - rnd() * 40.0f);
            } else {
                m->SetPosition(300.0f + rnd() * 100.0f, rnd() * 60.0f - 30.0f, rnd() * 40.0f);
            }
            m->Activate();
        }
        // Two renders: the new frames settle into the tree.
        viewport->Render(nullptr);
        viewport->Render(nullptr);
        ok = true;
    }
    ~SScene() {
        delete engine;
        delete window;
    }
};

void BM_SceneRender(benchmark::State& state) {
    SScene s(int(state.range(0)));
    if (!s.ok) return state.SkipWithError("no OpenGL display");
    for (auto _ : state) {
        s.viewport->Render(nullptr);
        DDraw_GLFinish();
    }
    state.counters["drawn"] = double(s.camera->m_stats.drawCalls);
    state.counters["visible"] = double(s.visible.size());
    state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

// The same visible meshes with the same states, drawn by hand: one pass
// applied, then a world transform and an indexed draw per mesh.
void DirectFrame(SScene& s) {
    CE3DDevice* device = s.screen->m_currentDevice;
    ID3DDevice* d = device->m_device;
    const CE3DView* view = s.viewport->m_view;
    SE3DPassLimits limits;
    const int level = s.material->DrawLevel(s.camera->StageLevel());
    d->SetTransform(D3DTRANSFORMSTATE_VIEW, view->view);
    d->SetTransform(D3DTRANSFORMSTATE_PROJECTION, view->projection);
    d->SetViewport(s.viewport->m_d3dViewport);
    D3DRECT all{0, 0, kSize, kSize};
    d->Clear(1, &all, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    d->BeginScene();
    s.material->ApplyDrawStates(device, true, limits);
    for (CE3DMaterialPass* p = s.material->Passes(level); p; p = p->m_next) {
        p->Apply(device, limits);
        for (CE3DMesh* m : s.visible) {
            CE3DVertexList* l = m->VertexLists();
            d->SetTransform(D3DTRANSFORMSTATE_WORLD, m->m_render);
            d->DrawIndexedPrimitive(l->m_primitive, l->m_format, l->Vertices(), l->m_vertexCount,
                                    l->Indices(), l->m_drawIndices, 0, &l->Kept());
        }
    }
    d->EndScene();
    DDraw_GLFinish();
}

void BM_DirectDeviceCalls(benchmark::State& state) {
    SScene s(int(state.range(0)));
    if (!s.ok) return state.SkipWithError("no OpenGL display");
    for (auto _ : state) DirectFrame(s);
    state.counters["visible"] = double(s.visible.size());
    state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

// The camera's render and the direct calls in turns, each timed by the wall
// clock, so that both see the same load of a shared machine. "overhead" is
// the camera's time over the direct calls' less one (0.15: 15% more).
void BM_SceneAgainstDirectCallsInTurns(benchmark::State& state) {
    SScene s(int(state.range(0)));
    if (!s.ok) return state.SkipWithError("no OpenGL display");
    double sceneSeconds = 0.0, directSeconds = 0.0;
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        s.viewport->Render(nullptr);
        DDraw_GLFinish();
        auto t1 = std::chrono::steady_clock::now();
        DirectFrame(s);
        auto t2 = std::chrono::steady_clock::now();
        sceneSeconds += std::chrono::duration<double>(t1 - t0).count();
        directSeconds += std::chrono::duration<double>(t2 - t1).count();
    }
    const double n = double(state.iterations());
    state.counters["scene_ms"] = sceneSeconds / n * 1000.0;
    state.counters["direct_ms"] = directSeconds / n * 1000.0;
    state.counters["overhead"] = directSeconds > 0.0 ? sceneSeconds / directSeconds - 1.0 : 0.0;
}

BENCHMARK(BM_SceneRender)->Arg(10000)->Arg(4000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DirectDeviceCalls)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SceneAgainstDirectCallsInTurns)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
