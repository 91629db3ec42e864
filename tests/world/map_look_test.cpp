// The small demo map as the game draws it: the build's unit file and the
// map box's objects (ground tiles, rocks, trees, crystal fields) placed by
// the map objects reader on an OpenGL screen, a headquarters of a red and a
// blue player on the two start positions, seen from above the map's middle.
// The ground covers the picture and each player's team colour shows.
//
// TESSARAK_DUMP_LOOKS=<folder> writes the picture there as "Skerry.ppm".
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/VFSFile.h"
#include "core/VFSTable.h"
#include "e3d/Camera.h"
#include "e3d/E3D.h"
#include "e3d/Light.h"
#include "e3d/Surface.h"
#include "e3d/Viewport.h"
#include "netgame/MapFiles.h"
#include "tests/support/GLDisplay.h"
#include "tests/support/WorldTestHost.h"
#include "world/Project.h"
#include "world/TessarakObject.h"

namespace {
constexpr int kW = 320, kH = 240;

bool Dominant(uint32_t p, int channel) {
    const int c[3] = {int(p >> 16 & 0xFF), int(p >> 8 & 0xFF), int(p & 0xFF)};
    return c[channel] > c[(channel + 1) % 3] + 40 && c[channel] > c[(channel + 2) % 3] + 40;
}

class MapLook : public ::testing::Test {
protected:
    static void SetUpTestSuite() { gl.Open(kW, kH); }
    static void TearDownTestSuite() { gl.Close(); }
    static STestGLScreen gl;
};
STestGLScreen MapLook::gl;

TEST_F(MapLook, GroundScenerAndTeamColoursOfTheSmallMapShow) {
    if (!gl.screen) TEST_END_WITHOUT_GL();
    CE3DScreen* screen = gl.screen;
    ASSERT_TRUE(screen->m_currentDevice->Activate(screen->m_currentDevice));
    CWorldTestHost host;
    CProjectList projects(screen, host.scene);
    host.SetProjects(&projects);
    const char* build = std::getenv("TESSARAK_BUILD");
    ASSERT_NE(build, nullptr) << "run through ctest";
    const std::string root = std::string("Z:") + build + "/install/Tessarak";
    ASSERT_TRUE(host.scene->LoadUnits((root + "/Units").c_str())) << ::testing::PrintToString(host.lines);

    CE3DCamera* camera = new CE3DCamera(screen);
    host.scene->m_rootFrame = camera;
    CE3DViewport viewport(screen->m_currentDevice);
    viewport.SetRect(0, 0, kW, kH);
    viewport.Attach(camera);
    viewport.m_ambientColor[0] = viewport.m_ambientColor[1] = viewport.m_ambientColor[2] = 90;
    // From high above the middle, looking down at the whole island.
    viewport.m_view->LookAt(D3DVECTOR{0, 70, -40}, D3DVECTOR{0, 0, 0}, 0.0f);
    viewport.m_view->SetProjection(1.0f, 300.0f, 1.2f, float(kW) / float(kH), true);
    CE3DLight* sun = new CE3DLight(camera);
    sun->SetType(D3DLIGHT_DIRECTIONAL);
    sun->SetOrientation(0.6f, 0.9f, 0.0f);
    sun->SetColor(1, 1, 1);

    CVFSTable box;
    ASSERT_TRUE(box.MountPack((root + "/Maps/Skerry/MapData.box").c_str()));
    CVFSFile visual;
    ASSERT_TRUE(visual.Open("visual.bin", CVFSFile::kModeRead, &box));
    CGameScene* scene = host.scene;
    auto create = [&](CTessarakObjectTemplate* t, float x, float z) {
        const float at[3] = {x, 0.0f, z};
        CTessarakObject* o =
            scene->CreateObjectByClass(t, at, host.players->m_neutral, scene->m_idTable.NewId());
        if (o) o->Activate();
        return o;
    };
    ASSERT_TRUE(LoadMapObjects(scene, &visual, create));
    ASSERT_EQ(scene->StartPositionCount(), 2);
    EXPECT_GT(scene->m_objectCount, 50);

    CPlayer* red = host.players->m_local;
    CPlayer* blue = new CPlayer(host.players);  // the list owns it
    blue->SetId(2);
    blue->m_ownerId = 2;
    red->m_colour[0] = 255, red->m_colour[1] = 0, red->m_colour[2] = 0;
    blue->m_colour[0] = 0, blue->m_colour[1] = 0, blue->m_colour[2] = 255;
    const char* hq[2] = {"Granite_Headquarters", "Coral_Headquarters"};
    CPlayer* owners[2] = {red, blue};
    for (int i = 0; i < 2; ++i) {
        const float at[3] = {scene->m_startX[size_t(i)], 0.0f, scene->m_startZ[size_t(i)]};
        CTessarakObject* o =
            scene->CreateObjectByClass(scene->FindTemplate(hq[i]), at, owners[i], scene->m_idTable.NewId());
        ASSERT_NE(o, nullptr) << hq[i];
    }
    // Shown, as the render frame shows the objects in view.
    for (CTessarakObject* o = scene->m_allObjects; o; o = o->m_allNext) o->SetActiveCount(2);

    for (int i = 0; i < 2; ++i) {
        camera->Scene()->StoreTick();
        camera->Scene()->SetRenderFraction(1.0f);
        viewport.Render(nullptr);
    }
    CE3DSurface* back = screen->m_backBuffer;
    ASSERT_TRUE(back->LockToRead());
    std::vector<uint32_t> pixels(size_t(kW) * kH);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            std::memcpy(&pixels[size_t(y) * kW + size_t(x)], back->Bits() + y * back->Pitch() + x * 4, 4);
    back->Unlock();
    int green = 0, reds = 0, blues = 0;
    for (uint32_t& p : pixels) {
        p &= 0xFFFFFF;
        green += Dominant(p, 1);
        reds += Dominant(p, 0);
        blues += Dominant(p, 2);
    }
    if (const char* dump = std::getenv("TESSARAK_DUMP_LOOKS"))
        if (FILE* f = std::fopen((std::string(dump) + "/Skerry.ppm").c_str(), "wb")) {
            std::fprintf(f, "P6 %d %d 255\n", kW, kH);
            for (uint32_t p : pixels) {
                const unsigned char rgb[3] = {uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p)};
                std::fwrite(rgb, 1, 3, f);
            }
            std::fclose(f);
        }
    // The grass covers most of the picture; each headquarters shows its team colour.
    EXPECT_GT(green, kW * kH / 3);
    EXPECT_GT(reds, 20);
    EXPECT_GT(blues, 20);
    scene->Clear();
    host.scene->m_rootFrame = nullptr;
    delete camera;
}
}  // namespace
