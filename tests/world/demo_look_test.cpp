// How the demo units look: the build's unit file loaded onto an OpenGL
// screen (textures and materials with it), each unit drawn alone from the
// game's usual camera (60 degrees above the ground, 30 units away, a quarter
// turn of view), as its template tree places its parts. Every unit shows,
// buildings stand larger than vehicles, no two units cast the same
// silhouette, and the parts marked for the team take their owner's colour.
//
// TESSARAK_DUMP_LOOKS=<folder> writes each picture there as a PPM file.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "e3d/Camera.h"
#include "e3d/E3D.h"
#include "e3d/Light.h"
#include "e3d/Mesh.h"
#include "e3d/Surface.h"
#include "e3d/Viewport.h"
#include "tests/support/GLDisplay.h"
#include "tests/support/WorldTestHost.h"
#include "world/Project.h"
#include "world/UnitVisual.h"

namespace {

constexpr int kW = 320, kH = 240;

struct SPicture {
    std::vector<uint32_t> pixels;  // 0x00RRGGBB
    int Covered() const {
        int n = 0;
        for (uint32_t p : pixels) n += p != 0;
        return n;
    }
};

// True where one channel of the pixel stands out over both others.
bool Dominant(uint32_t p, int channel) {
    const int c[3] = {int(p >> 16 & 0xFF), int(p >> 8 & 0xFF), int(p & 0xFF)};
    return c[channel] > c[(channel + 1) % 3] + 40 && c[channel] > c[(channel + 2) % 3] + 40;
}

// Pixels that are red in the red owner's picture and blue in the blue
// owner's (the team parts), and pixels that differ otherwise.
void CompareOwners(const SPicture& red, const SPicture& blue, int* team, int* other) {
    *team = *other = 0;
    for (size_t i = 0; i < red.pixels.size(); ++i) {
        if (Dominant(red.pixels[i], 0) && Dominant(blue.pixels[i], 2))
            ++*team;
        else if (red.pixels[i] != blue.pixels[i])
            ++*other;
    }
}

// Overlap of two silhouettes: covered by both over covered by either.
double Overlap(const SPicture& a, const SPicture& b) {
    int both = 0, either = 0;
    for (size_t i = 0; i < a.pixels.size(); ++i) {
        const bool x = a.pixels[i] != 0, y = b.pixels[i] != 0;
        both += x && y;
        either += x || y;
    }
    return either ? double(both) / either : 1.0;
}

class DemoLook : public ::testing::Test {
protected:
    static void SetUpTestSuite() { gl.Open(kW, kH); }
    static void TearDownTestSuite() { gl.Close(); }

    void SetUp() override {
        if (!gl.screen) TEST_END_WITHOUT_GL();
        CE3DScreen* screen = gl.screen;
        ASSERT_TRUE(screen->m_currentDevice->Activate(screen->m_currentDevice));
        projects = new CProjectList(screen, host.scene);
        host.SetProjects(projects);
        const char* build = std::getenv("TESSARAK_BUILD");
        ASSERT_NE(build, nullptr) << "run through ctest";
        const std::string units = std::string("Z:") + build + "/install/Tessarak/Units";
        ASSERT_TRUE(host.scene->LoadUnits(units.c_str())) << ::testing::PrintToString(host.lines);
        camera = new CE3DCamera(screen);
        viewport = new CE3DViewport(screen->m_currentDevice);
        viewport->SetRect(0, 0, kW, kH);
        viewport->Attach(camera);
        viewport->m_ambientColor[0] = viewport->m_ambientColor[1] = viewport->m_ambientColor[2] = 90;
        // The usual view: the camera 30 units from the ground point it
        // looks at, 60 degrees above the ground, looking north.
        const float d = 30.0f, up = 0.8660254f * d, back = 0.5f * d;
        viewport->m_view->LookAt(D3DVECTOR{0, up, -back}, D3DVECTOR{0, 1, 0}, 0.0f);
        viewport->m_view->SetProjection(1.0f, 200.0f, 0.7853982f, float(kW) / float(kH), true);
        CE3DLight* sun = new CE3DLight(camera);
        sun->SetType(D3DLIGHT_DIRECTIONAL);
        sun->SetOrientation(0.6f, 0.9f, 0.0f);
        sun->SetColor(1, 1, 1);
    }
    void TearDown() override {
        delete viewport;
        delete camera;
        delete projects;
        host.SetProjects(nullptr);
    }

    // The node's parts as meshes under parent, placed as the template places them.
    CE3DMesh* Build(CE3DFrame* parent, CUnitVisual* node, const float tint[3]) {
        CE3DMesh* mesh = new CE3DMesh(parent, node->m_shape);
        mesh->SetPosition(node->m_position[0], node->m_position[1], node->m_position[2]);
        mesh->SetOrientation(node->m_yaw, node->m_pitch, node->m_roll);
        mesh->SetScale(node->m_scale[0], node->m_scale[1], node->m_scale[2]);
        mesh->SetColor(tint[0], tint[1], tint[2]);
        for (CUnitVisual* c = node->NextChildNode(nullptr); c; c = node->NextChildNode(c))
            Build(mesh, c, tint);
        return mesh;
    }

    SPicture Draw(const char* name, const float tint[3]) {
        CUnitVisual* t = host.scene->FindTemplate(name);
        EXPECT_NE(t, nullptr) << name;
        SPicture pic;
        if (!t) return pic;
        CE3DMesh* unit = Build(camera, t, tint);
        unit->Activate();
        for (int i = 0; i < 2; ++i) {
            camera->Scene()->StoreTick();
            camera->Scene()->SetRenderFraction(1.0f);
            viewport->Render(nullptr);
        }
        CE3DSurface* back = gl.screen->m_backBuffer;
        EXPECT_TRUE(back->LockToRead());
        pic.pixels.resize(size_t(kW) * kH);
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                uint32_t v;
                std::memcpy(&v, back->Bits() + y * back->Pitch() + x * 4, 4);
                pic.pixels[size_t(y) * kW + size_t(x)] = v & 0xFFFFFF;
            }
        back->Unlock();
        delete unit;
        if (const char* dump = std::getenv("TESSARAK_DUMP_LOOKS")) {
            const std::string path =
                std::string(dump) + "/" + name + (tint[0] > tint[2] ? "_red" : "_blue") + ".ppm";
            if (FILE* f = std::fopen(path.c_str(), "wb")) {
                std::fprintf(f, "P6 %d %d 255\n", kW, kH);
                for (uint32_t p : pic.pixels) {
                    const unsigned char rgb[3] = {uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p)};
                    std::fwrite(rgb, 1, 3, f);
                }
                std::fclose(f);
            }
        }
        return pic;
    }

    static STestGLScreen gl;
    CWorldTestHost host;
    CProjectList* projects = nullptr;
    CE3DCamera* camera = nullptr;
    CE3DViewport* viewport = nullptr;
};
STestGLScreen DemoLook::gl;

const char* const kKinds[] = {"Headquarters", "Factory",   "Depot",    "Harvester",
                              "LightTank",    "HeavyTank", "Artillery"};

}  // namespace

TEST_F(DemoLook, EveryUnitShowsItsOwnShapeAndItsOwnersColour) {
    const float red[3] = {1, 0, 0}, blue[3] = {0, 0, 1};
    std::map<std::string, SPicture> reds;
    for (const char* race : {"Granite", "Coral"})
        for (const char* kind : kKinds) {
            const std::string name = std::string(race) + "_" + kind;
            SPicture r = Draw(name.c_str(), red), b = Draw(name.c_str(), blue);
            // It shows, and its team parts take the owner's colour: red
            // where red owns it, blue where blue does; the rest of it looks
            // the same for both owners.
            EXPECT_GT(r.Covered(), 150) << name;
            int team = 0, other = 0;
            CompareOwners(r, b, &team, &other);
            EXPECT_GT(team, 20) << name;
            EXPECT_LT(other, team / 2 + 10) << name;
            reds[name] = r;
        }
    // Buildings stand larger than vehicles.
    for (const char* race : {"Granite_", "Coral_"}) {
        const std::string r = race;
        for (const char* building : {"Headquarters", "Factory", "Depot"})
            for (const char* vehicle : {"Harvester", "LightTank", "HeavyTank", "Artillery"})
                EXPECT_GT(reds[r + building].Covered(), 2 * reds[r + vehicle].Covered())
                    << r << building << vehicle;
    }
    // No two units cast the same silhouette.
    for (auto a = reds.begin(); a != reds.end(); ++a)
        for (auto b = std::next(a); b != reds.end(); ++b)
            EXPECT_LT(Overlap(a->second, b->second), 0.85) << a->first << " and " << b->first;
}
