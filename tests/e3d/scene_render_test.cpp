// The scene render call by call on the recording back end: culling, light
// slots, pass levels, sphere arrays, the depth sort and deletion during the
// walk.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "e3d/Camera.h"
#include "e3d/E3D.h"
#include "e3d/Light.h"
#include "e3d/Mesh.h"
#include "e3d/VertexList.h"
#include "platform/d3d/Recorder.h"
#include "tests/support/RecordedScene.h"
#include "tests/support/SceneFrames.h"

namespace {

class SceneRender : public ::testing::Test, protected STestRecordedScene {
protected:
    void SetUp() override { Install(); }
    void TearDown() override { Close(); }
    CTestSquare* Square(float x, float y, float z) {
        CTestSquare* s = new CTestSquare(camera, camera, 1.0f, 0xffffffff);
        s->SetPosition(x, y, z);
        s->Activate();
        return s;
    }
    CE3DLight* Light(uint32_t type, float x, float y, float z, float red) {
        CE3DLight* l = new CE3DLight(camera);
        l->SetType(type);
        l->SetPosition(x, y, z);
        l->SetRange(5.0f);
        l->SetColor(red, 1, 1);
        return l;
    }
    void Render() {
        rec.ClearLog();
        viewport->Render(nullptr);
    }
    // The diffuse red of the light the device has in a slot (-1: off).
    float SlotRed(uint32_t slot) {
        bool on = false;
        D3DLIGHT7 l{};
        screen->m_currentDevice->m_device->GetLightEnable(slot, &on);
        if (!on) return -1.0f;
        screen->m_currentDevice->m_device->GetLight(slot, &l);
        return l.dcvDiffuse.r;
    }
};

TEST_F(SceneRender, AFrameOutsideTheViewSendsNoDrawCall) {
    Open();
    CTestSquare* inside = Square(0, 0, 0);
    CTestSquare* outside = Square(1000, 0, 0);
    CTestSquare* behind = Square(0, 0, -30);
    Render();
    EXPECT_EQ(rec.Count("ComputeSphereVisibility 3"), 1);
    EXPECT_EQ(rec.Count("DrawPrimitive"), 1);
    EXPECT_EQ(inside->draws, 1);
    EXPECT_EQ(outside->draws + behind->draws, 0);
    EXPECT_EQ(camera->m_stats.drawCalls, 1);
    EXPECT_EQ(camera->m_stats.primitives, 2);
    // The one inside moves out of view, the one outside into it.
    inside->SetPosition(0, 500, 0);
    outside->SetPosition(1, 1, 0);
    camera->Scene()->StoreTick();
    camera->Scene()->SetRenderFraction(1.0f);
    Render();
    EXPECT_EQ(inside->draws, 1);
    EXPECT_EQ(outside->draws, 1);
}

TEST_F(SceneRender, ASceneWithoutActiveFramesDrawsNothingAndLeavesTheLights) {
    Open();
    CE3DLight* light = Light(D3DLIGHT_DIRECTIONAL, 0, 0, 0, 1.0f);
    Square(0, 0, 0);
    Render();
    EXPECT_EQ(rec.Count("LightEnable 0 1"), 1);
    // Everything leaves the active list: nothing more is sent at all.
    camera->DeactivateNonEffects();
    light->Deactivate();
    Render();
    EXPECT_EQ(rec.Count("DrawPrimitive"), 0);
    EXPECT_EQ(rec.Count("LightEnable"), 0);
    EXPECT_EQ(rec.Count("SetLight"), 0);
    EXPECT_EQ(rec.Count("ComputeSphereVisibility"), 0);
    EXPECT_EQ(SlotRed(0), 1.0f);
}

TEST_F(SceneRender, LightsTakeTheSlotsByPriorityAndUnchangedOnesAreNotSentAgain) {
    Open();
    Square(0, 0, 0);
    camera->m_params.maxLights = 1;
    CE3DLight* low = Light(D3DLIGHT_POINT, 1, 0, 0, 0.1f);
    CE3DLight* high = Light(D3DLIGHT_POINT, -1, 0, 0, 0.2f);
    low->SetPriority(100);
    high->SetPriority(10);
    Render();
    EXPECT_EQ(rec.Count("SetLight"), 1);
    EXPECT_FLOAT_EQ(SlotRed(0), 0.2f);
    EXPECT_EQ(camera->m_stats.enabledLights, 1);

    // The same again: the device has them, nothing is sent.
    Render();
    EXPECT_EQ(rec.Count("SetLight"), 0);
    EXPECT_EQ(rec.Count("LightEnable"), 0);
    // A change is sent once.
    high->SetColor(0.3f, 1, 1);
    Render();
    EXPECT_EQ(rec.Count("SetLight 0"), 1);
    EXPECT_EQ(rec.Count("LightEnable"), 0);

    // A light switched off leaves its slot to the next one in the list; one
    // out of view takes none.
    high->m_enabled = 0;
    Render();
    EXPECT_FLOAT_EQ(SlotRed(0), 0.1f);
    low->SetPosition(500, 0, 0);
    camera->Scene()->StoreTick();
    camera->Scene()->SetRenderFraction(1.0f);
    Render();
    EXPECT_EQ(rec.Count("LightEnable 0 0"), 1);
    EXPECT_EQ(camera->m_stats.enabledLights, 0);

    // A directional light competes wherever its frame is.
    CE3DLight* sun = Light(D3DLIGHT_DIRECTIONAL, 5000, 0, 0, 0.9f);
    Render();
    EXPECT_FLOAT_EQ(SlotRed(0), 0.9f);
    delete sun;
    delete low;
    delete high;
    Render();
    EXPECT_EQ(rec.Count("LightEnable 0 0"), 1);
    EXPECT_EQ(camera->m_lightCount, 0);
}

TEST_F(SceneRender, TheSphereArraysGrowWithTheSceneAndBeyondItsAnnouncement) {
    Open();
    Square(0, 0, 0);
    Square(1, 0, 0);
    Render();
    EXPECT_EQ(camera->m_sphereTarget, 2);
    EXPECT_EQ(camera->m_sphereCapacity, 1002);
    // The target passes the capacity: room for a thousand more.
    camera->m_sphereTarget = 1003;
    Render();
    EXPECT_EQ(camera->m_sphereCapacity, 2003);
    // Frames that add spheres nobody announced still get their results.
    for (int i = 0; i < 2100; ++i) Square(float(i % 7) - 3.0f, 0, 0);
    camera->m_sphereTarget = 2;
    Render();
    EXPECT_GE(camera->m_sphereCapacity, 2102);
    EXPECT_EQ(rec.Count("DrawPrimitive"), 2102);
}

TEST_F(SceneRender, ThePassLevelFollowsTheDeviceCaps) {
    const struct {
        uint16_t simultaneous, stages;
        uint32_t coordSets;
        uint32_t level;
    } cases[] = {{1, 1, 1, 0}, {2, 2, 2, 1}, {3, 3, 3, 2}, {2, 3, 3, 2}, {3, 2, 8, 1}};
    for (const auto& c : cases) {
        for (SD3DDeviceRecord& d : rec.devices) {
            d.desc.wMaxSimultaneousTextures = c.simultaneous;
            d.desc.wMaxTextureBlendStages = c.stages;
            d.desc.dwFVFCaps = c.coordSets;
        }
        Open();
        Square(0, 0, 0);
        Render();
        EXPECT_EQ(camera->m_passLevel, c.level) << c.simultaneous << " " << c.stages << " " << c.coordSets;
        delete engine;
        engine = nullptr;
    }
    // A forced level switches stages 1 and 2 off.
    Open();
    Square(0, 0, 0);
    camera->m_params.forcedPassLevel = 0;
    screen->m_currentDevice->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_MODULATE);
    Render();
    EXPECT_EQ(camera->m_passLevel, 0u);
    EXPECT_EQ(rec.Count("SetTextureStageState 1 1 1"), 1);
}

TEST_F(SceneRender, SortByDepthPutsTheLargestKeyFirst) {
    Open();
    const float keys[] = {1, 5, 3, 5, -2, 9, 0};
    const int n = 7;
    for (int i = 0; i < n; ++i) {
        camera->m_keyBuffer[i] = keys[i];
        camera->m_orderBuffer[i] = uint16_t(i);
    }
    camera->SortByDepth(0, n - 1);
    for (int i = 1; i < n; ++i)
        EXPECT_GE(camera->m_keyBuffer[camera->m_orderBuffer[i - 1]],
                  camera->m_keyBuffer[camera->m_orderBuffer[i]]);
    EXPECT_EQ(camera->m_orderBuffer[0], 5);
}

// A frame whose update deletes one frame and queues another.
class CRemover : public CE3DFrame {
public:
    CRemover(CE3DFrame* parent, CE3DFrame* doomed, CE3DFrame* queued)
        : CE3DFrame(parent), m_doomed(doomed), m_queued(queued) {}
    void Update(int* depth) override {
        delete m_doomed;
        m_doomed = nullptr;
        if (m_queued) m_queued->QueueForDeletion();
        CE3DFrame::Update(depth);
    }
    CE3DFrame* m_doomed;
    CE3DFrame* m_queued;
};

TEST_F(SceneRender, FramesDeletedOrQueuedWhileTheSceneWalksAreLeftOut) {
    Open();
    CTestSquare* queued = Square(1, 0, 0);
    CTestSquare* doomed = Square(0, 0, 0);
    CTestSquare* kept = Square(-1, 0, 0);
    // Walked first (the newest active frame heads the list).
    CRemover* remover = new CRemover(camera, doomed, queued);
    remover->Activate();
    Render();
    EXPECT_EQ(rec.Count("DrawPrimitive"), 1);
    EXPECT_EQ(kept->draws, 1);
    EXPECT_EQ(queued->draws, 0);
    EXPECT_EQ(camera->Scene()->deletionHead, queued);
    camera->Scene()->DestroyQueued();
    remover->m_queued = nullptr;
    Render();
    EXPECT_EQ(rec.Count("DrawPrimitive"), 1);
}

// A mesh of one quad with its own shape, placed and active.
CE3DMesh* QuadMesh(CE3DEngine* engine, CE3DCamera* camera, CE3DMaterial* material, float x, float y,
                   float z) {
    CE3DShape* shape = new CE3DShape(engine);  // the engine's node list frees it
    Test_AddQuadBlock(*shape, material, 1.0f, 0xffffffff);
    shape->PrepareBlocks();
    shape->ComputeBounds();
    CE3DMesh* mesh = new CE3DMesh(camera, shape);
    mesh->SetPosition(x, y, z);
    mesh->Activate();
    return mesh;
}

TEST_F(SceneRender, OpaqueWorkGoesByMaterialThenTranslucentFarthestFirstThenLate) {
    Open();
    CE3DMaterial* stone = new CE3DMaterial(screen, "stone");  // the screen frees its materials
    CE3DMaterial* nearGlass = new CE3DMaterial(screen, "near");
    CE3DMaterial* farGlass = new CE3DMaterial(screen, "far");
    CE3DMaterial* lateGlass = new CE3DMaterial(screen, "late");
    Test_MakeTranslucent(nearGlass, 0x11);
    Test_MakeTranslucent(farGlass, 0x22);
    Test_MakeTranslucent(lateGlass, 0x33);
    CE3DMesh* late = QuadMesh(engine, camera, lateGlass, 0, 0, 20);
    late->m_meshFlagsB |= kMeshLateTranslucent;
    QuadMesh(engine, camera, nearGlass, 0, 0, 2);
    QuadMesh(engine, camera, farGlass, 1, 0, 10);
    QuadMesh(engine, camera, stone, -1, 0, 0);
    QuadMesh(engine, camera, stone, 1, 0, 0);
    Render();
    const std::vector<std::string> draws = rec.Lines("DrawIndexedPrimitive");
    ASSERT_EQ(draws.size(), 5u);
    const int firstDraw = rec.Find("DrawIndexedPrimitive");
    const int secondDraw = rec.Find("DrawIndexedPrimitive", firstDraw + 1);
    const int far = rec.Find("SetRenderState 60 34"), near = rec.Find("SetRenderState 60 17");
    const int last = rec.Find("SetRenderState 60 51");
    EXPECT_LT(secondDraw, far);  // both stone quads before any glass
    EXPECT_LT(far, near);
    EXPECT_LT(near, last);
    EXPECT_EQ(camera->m_stats.sortedTransparent, 2);
    EXPECT_EQ(camera->m_stats.drawCalls, 5);
    EXPECT_EQ(camera->m_stats.primitives, 10);
    // The queues are empty for the next render.
    EXPECT_EQ(stone->m_triangleQueue, nullptr);
}

TEST_F(SceneRender, TheFacesOfATranslucentListAreDrawnFarthestFirst) {
    Open();
    CE3DMaterial* glass = new CE3DMaterial(screen, "glass");
    Test_MakeTranslucent(glass);
    CE3DShape* shape = new CE3DShape(engine);
    CE3DShapeBlock* b = Test_AddQuadBlock(*shape, glass, 1.0f, 0xffffffff);
    for (int v = 3; v < 6; ++v) b->m_positions[0][size_t(v) * 6 + 2] = 5.0f;  // the second face lies farther
    shape->PrepareBlocks();
    shape->ComputeBounds();
    CE3DMesh* mesh = new CE3DMesh(camera, shape);
    mesh->Activate();
    Render();
    EXPECT_EQ(rec.Count("DrawIndexedPrimitive 4 fvf=0x52 6 6"), 1);
    EXPECT_EQ(camera->m_indexBuffer[0], 3);
    EXPECT_EQ(camera->m_indexBuffer[3], 0);
}

// A frame whose render deletes a mesh the walk has already been to.
class CRenderRemover : public CE3DFrame {
public:
    explicit CRenderRemover(CE3DFrame* parent) : CE3DFrame(parent) {}
    void Render(int* depth) override {
        delete m_doomed;
        m_doomed = nullptr;
        CE3DFrame::Render(depth);
    }
    CE3DFrame* m_doomed = nullptr;
};

TEST_F(SceneRender, AMeshDeletedAfterItQueuedItsWorkIsNotDrawn) {
    Open();
    CE3DMaterial* stone = new CE3DMaterial(screen, "stone");
    CE3DMaterial* glass = new CE3DMaterial(screen, "glass");
    Test_MakeTranslucent(glass);
    CRenderRemover* remover = new CRenderRemover(camera);
    remover->Activate();
    CE3DMesh* kept = QuadMesh(engine, camera, stone, -1, 0, 0);
    CE3DMesh* solid = QuadMesh(engine, camera, stone, 1, 0, 0);  // walked before the remover
    Render();
    ASSERT_EQ(rec.Count("DrawIndexedPrimitive"), 2);
    remover->m_doomed = solid;
    Render();
    EXPECT_EQ(rec.Count("DrawIndexedPrimitive"), 1);
    EXPECT_EQ(stone->m_triangleQueue, nullptr);
    remover->m_doomed = QuadMesh(engine, camera, glass, 0, 1, 0);
    Render();
    EXPECT_EQ(rec.Count("DrawIndexedPrimitive"), 1);
    EXPECT_EQ(camera->m_stats.sortedTransparent, 1);  // queued, then forgotten
    (void)kept;
}

TEST_F(SceneRender, TheScenesSwitchesReachTheStates) {
    Open();
    CE3DMaterial* glass = new CE3DMaterial(screen, "glass");
    Test_MakeTranslucent(glass);
    QuadMesh(engine, camera, glass, 0, 0, 0);
    Render();
    EXPECT_EQ(rec.Count("SetRenderState 27 1"), 1);  // blending
    EXPECT_EQ(rec.Count("SetRenderState 28"), 0);    // no fog by default
    EXPECT_EQ(camera->m_stats.sortedTransparent, 1);
    // Blending off: the glass is drawn with the opaque work, unblended; fog
    // on with the scene's parameters; culling off.
    SE3DRenderParams& p = camera->m_params;
    p.alphaBlendingOn = false;
    p.fogOn = true;
    p.fogEnd = 50.0f;
    p.cullingOn = false;
    Render();
    EXPECT_EQ(camera->m_stats.sortedTransparent, 0);
    EXPECT_EQ(rec.Count("SetRenderState 27 0"), 1);
    EXPECT_EQ(rec.Count("SetRenderState 28 1"), 1);
    EXPECT_EQ(rec.Count("SetRenderState 37 " + std::to_string(D3D_FloatBits(50.0f))), 1);
    EXPECT_EQ(rec.Count("SetRenderState 22 1"), 1);
}

}  // namespace
