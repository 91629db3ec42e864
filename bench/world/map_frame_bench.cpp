// The running game's figures on the small demo map: its box's objects
// (ground, rocks, trees, crystal fields) and 200 units of two players, all in
// view, on an OpenGL window of 640 x 480 (under Xvfb and Mesa's software
// renderer in CI):
//   BM_LogicTick   the world's part of one logic tick (scene tick, grid and
//                  fog update, the tick's matrices);
//   BM_RenderFrame one drawn frame (the scene blended between two ticks, the
//                  render and the flip): its rate is the frames per second.
//
//   nice xvfb-run -a -s "-screen 0 1280x1024x24 +extension GLX" build/bench/map_frame_bench
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/VFSFile.h"
#include "core/VFSTable.h"
#include "e3d/Camera.h"
#include "e3d/E3D.h"
#include "e3d/Light.h"
#include "e3d/Screen.h"
#include "e3d/Viewport.h"
#include "netgame/MapFiles.h"
#include "tests/support/GLDisplay.h"
#include "tests/support/WorldTestHost.h"
#include "world/GridMember.h"
#include "world/Project.h"
#include "world/TessarakObject.h"
#include "world/Unit.h"
#include "world/WorldGrid.h"

namespace {
constexpr int kW = 640, kH = 480;

struct SMapWorld {
    STestGLScreen gl;
    CWorldTestHost host;
    CWorldGrid* grid = nullptr;
    CProjectList* projects = nullptr;
    CE3DCamera* camera = nullptr;
    CE3DViewport* viewport = nullptr;
    int units = 0;

    SMapWorld() {
        gl.Open(kW, kH);
        if (!gl.screen) {
            std::fprintf(stderr, "no OpenGL window (run under a display server)\n");
            std::exit(1);
        }
        CE3DScreen* screen = gl.screen;
        screen->m_currentDevice->Activate(screen->m_currentDevice);
        projects = new CProjectList(screen, host.scene);
        host.SetProjects(projects);
        host.tickStep = 1.0f / 15.0f;
        const std::string root = std::string("Z:") + TESSARAK_BUILD_DIR + "/install/Tessarak";
        if (!host.scene->LoadUnits((root + "/Units").c_str())) std::abort();
        grid = host.grid;
        grid->SetMapRect(-48, 48, 48, -48);
        grid->Reset();

        camera = new CE3DCamera(screen);
        host.world.SetRootFrame(camera);
        viewport = new CE3DViewport(screen->m_currentDevice);
        viewport->SetRect(0, 0, kW, kH);
        viewport->Attach(camera);
        viewport->m_ambientColor[0] = viewport->m_ambientColor[1] = viewport->m_ambientColor[2] = 90;
        viewport->m_view->LookAt(D3DVECTOR{0, 70, -40}, D3DVECTOR{0, 0, 0}, 0.0f);
        viewport->m_view->SetProjection(1.0f, 300.0f, 1.2f, float(kW) / float(kH), true);
        CE3DLight* sun = new CE3DLight(camera);
        sun->SetType(D3DLIGHT_DIRECTIONAL);
        sun->SetOrientation(0.6f, 0.9f, 0.0f);
        sun->SetColor(1, 1, 1);

        CGameScene* scene = host.scene;
        CVFSTable box;
        CVFSFile visual;
        if (!box.MountPack((root + "/Maps/Skerry/MapData.box").c_str()) ||
            !visual.Open("visual.bin", CVFSFile::kModeRead, &box))
            std::abort();
        auto place = [scene](CTessarakObjectTemplate* t, float x, float z, CPlayer* owner) {
            const float at[3] = {x, 0.0f, z};
            CTessarakObject* o = scene->CreateObjectByClass(t, at, owner, scene->m_idTable.NewId());
            if (!o) return o;
            if (o->IsGridMember()) static_cast<CGridMember*>(o)->EnterGrid();
            if (o->IsUnit()) {
                // Finished, as the game makes map and start units.
                static_cast<CUnit*>(o)->MarkFinished();
                o->Activate();
            }
            o->SetActiveCount(2);
            return o;
        };
        CPlayer* neutral = host.players->m_neutral;
        if (!LoadMapObjects(scene, &visual, [&](CTessarakObjectTemplate* t, float x, float z) {
                return place(t, x, z, neutral);
            }))
            std::abort();
        // 200 tanks of two players in two blocks of 10 x 10 either side of
        // the middle.
        CPlayer* red = host.players->m_local;
        CPlayer* blue = new CPlayer(host.players);
        blue->SetId(2);
        blue->m_ownerId = 2;
        const char* tanks[2] = {"Granite_LightTank", "Coral_LightTank"};
        CPlayer* owners[2] = {red, blue};
        for (int side = 0; side < 2; ++side)
            for (int i = 0; i < 100; ++i) {
                float x = (side ? 8.0f : -32.0f) + 2.4f * float(i % 10);
                float z = -12.0f + 2.4f * float(i / 10);
                if (place(scene->FindTemplate(tanks[side]), x, z, owners[side])) ++units;
            }
        std::fprintf(stderr, "made %d units: %d units, %d objects in the scene\n", units, scene->m_unitCount,
                     scene->m_objectCount);
    }
};

SMapWorld& World() {
    static SMapWorld* world = new SMapWorld;  // kept to the end of the program
    return *world;
}

void BM_LogicTick(benchmark::State& state) {
    SMapWorld& w = World();
    for (auto _ : state) {
        w.host.scene->Tick();
        w.grid->Update();
        w.camera->Scene()->StoreTick();
    }
    state.counters["units"] = w.host.scene->m_unitCount;
    state.counters["objects"] = w.host.scene->m_objectCount;
}
BENCHMARK(BM_LogicTick)->Unit(benchmark::kMicrosecond);

void BM_RenderFrame(benchmark::State& state) {
    SMapWorld& w = World();
    float t = 0.0f;
    for (auto _ : state) {
        t = t >= 1.0f ? 0.0f : t + 0.25f;
        w.camera->Scene()->SetRenderFraction(t);
        w.viewport->Render(nullptr);
        w.gl.screen->Present();
    }
    state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["units"] = w.units;
}
BENCHMARK(BM_RenderFrame)->Unit(benchmark::kMillisecond)->UseRealTime();
}  // namespace
