// Meshes without a display: the morph animation at a given time, end modes,
// controllers, bounds, the effect messages, and what they hand the scene
// render.
#include "e3d/Mesh.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "e3d/Frame.h"
#include "e3d/Material.h"
#include "e3d/Shape.h"
#include "e3d/ShapeBlock.h"
#include "e3d/VertexList.h"

namespace {

int64_t g_now = 0;
int64_t TestClock(void*) {
    return g_now;
}

// A block of one triangle per `faces`, with `sets` position sets where set i
// moves every vertex by i along x.
CE3DShapeBlock* AddBlock(CE3DShape& shape, uint32_t sets, uint32_t faces = 1, uint32_t colorSets = 0) {
    CE3DShapeBlock* b = new CE3DShapeBlock(&shape);
    b->m_vertexCount = faces * 3;
    b->m_positions.resize(sets);
    b->m_positionNames.resize(sets);
    for (uint32_t s = 0; s < sets; ++s)
        for (uint32_t v = 0; v < b->m_vertexCount; ++v) {
            const float p[6] = {float(s) + float(v % 3 == 1), float(v % 3 == 2), 0.0f, 0, 0, -1};
            b->m_positions[s].insert(b->m_positions[s].end(), p, p + 6);
        }
    for (uint32_t c = 0; c < colorSets; ++c)
        b->m_colors.push_back(std::vector<uint32_t>(b->m_vertexCount, 0xFF000000u | c * 0x10));
    b->AllocIndices(faces, 3);
    for (uint32_t i = 0; i < faces * 3; ++i) b->m_indices[i] = uint16_t(i);
    b->AllocBuffers(colorSets ? 0x40u : 0u);
    b->ComputeCentre();
    return b;
}

float FirstX(const CE3DMesh& m) {
    float x;
    std::memcpy(&x, m.VertexLists()->Vertices(), 4);
    return x;
}

// A scene root that stands for the camera's scene render.
class CTestScene : public CE3DFrame, public IE3DMeshScene {
public:
    CTestScene() : CE3DFrame(nullptr) {}
    void CountMesh(int d) override { meshes += d; }
    int32_t AddBoundingSphere(float r, const float c[3]) override {
        spheres.push_back({r, c[0], c[1], c[2]});
        return int32_t(spheres.size()) - 1;
    }
    uint32_t Visibility(int32_t i) override {
        asked.push_back(i);
        return i >= 0 && size_t(i) < results.size() ? results[size_t(i)] : D3DSTATUS_CLIPINTERSECTIONLEFT;
    }
    int StageLevel() const override { return 1; }
    bool AllowsBlending() const override { return true; }
    void QueueTranslucent(CE3DVertexList* l, bool) override { translucent.push_back(l); }
    const D3DMATRIX& ViewMatrix() const override { return g_E3DIdentity44; }
    int meshes = 0;
    std::vector<std::vector<float>> spheres;
    std::vector<uint32_t> results;
    std::vector<int32_t> asked;
    std::vector<CE3DVertexList*> translucent;
};

class Meshes : public ::testing::Test {
protected:
    void SetUp() override {
        g_now = 0;
        CE3DMesh::SetClock(TestClock, nullptr);
    }
    void TearDown() override { CE3DMesh::SetClock(nullptr, nullptr); }
    CE3DShape shape{static_cast<CE3DEngine*>(nullptr)};
};

}  // namespace

TEST_F(Meshes, AnimationShowsThePoseForTheTimeAsked) {
    AddBlock(shape, 3);
    shape.m_animated = 1;
    shape.m_duration = 1000;
    shape.m_endMode = kE3DShapeEndStop;
    shape.PrepareBlocks();
    shape.ComputeBounds();
    CE3DFrame root(nullptr);
    CE3DMesh mesh(&root, &shape);
    mesh.RestartAnimation();
    struct SCase {
        int64_t time;
        int32_t cur;
        float frac, x;
    } cases[] = {{0, 0, 0.0f, 0.0f},
                 {250, 0, 0.5f, 0.5f},
                 {500, 1, 0.0f, 1.0f},
                 {900, 1, 0.8f, 1.8f},
                 {1000, 2, 0.0f, 2.0f}};
    for (const SCase& c : cases) {
        g_now = c.time;
        int depth = 0;
        mesh.Update(&depth);
        const CE3DVertexList* l = mesh.VertexLists();
        EXPECT_EQ(l->m_anim.curPos, c.cur) << c.time;
        EXPECT_NEAR(l->m_anim.fracPos, c.frac, 1e-5) << c.time;
        EXPECT_NEAR(FirstX(mesh), c.x, 1e-5) << c.time;
    }
    EXPECT_FALSE(mesh.m_animating);  // end mode stop
    // A frozen subtree does not move on.
    mesh.RestartAnimation();
    g_now = 1250;
    int frozen = 1;
    mesh.Update(&frozen);
    EXPECT_NEAR(FirstX(mesh), 2.0f, 1e-5);
}

TEST_F(Meshes, EndModesLoopHoldAndStop) {
    AddBlock(shape, 2);
    shape.m_animated = 1;
    shape.m_duration = 100;
    for (uint32_t mode : {kE3DShapeEndStop, kE3DShapeEndHold, kE3DShapeEndLoop}) {
        shape.m_endMode = mode;
        CE3DFrame root(nullptr);
        CE3DMesh* mesh = new CE3DMesh(&root, &shape);
        g_now = 1000;
        mesh->RestartAnimation();
        g_now = 1150;
        int depth = 0;
        mesh->Update(&depth);
        EXPECT_EQ(mesh->m_animating, mode != kE3DShapeEndStop) << mode;
        EXPECT_EQ(mesh->m_animStart, mode == kE3DShapeEndLoop ? 1150 : 1000) << mode;
        EXPECT_EQ((mesh->m_flagsA & kFrameQueued) != 0, mode == kE3DShapeEndHold) << mode;
        if (mode == kE3DShapeEndHold) {
            root.Scene()->DestroyQueued();  // the hold mesh acts at its end: it goes
            EXPECT_EQ(root.m_firstChild, nullptr);
        }
    }
    // A duration of 0 does not animate (no key frames to spread).
    shape.m_duration = 0;
    shape.m_endMode = kE3DShapeEndLoop;
    CE3DFrame root(nullptr);
    CE3DMesh mesh(&root, &shape);
    g_now = 5;
    int depth = 0;
    mesh.Update(&depth);
    EXPECT_EQ(mesh.VertexLists()->m_anim.curPos, 0);
}

TEST_F(Meshes, OnePositionSetNeverBlendsAndColoursBlendPerByte) {
    CE3DShapeBlock* b = AddBlock(shape, 1, 1, 2);
    b->m_colors[1].assign(3, 0xFF0000FFu);
    shape.PrepareBlocks();
    CE3DFrame root(nullptr);
    CE3DMesh mesh(&root, &shape);
    mesh.SetPartParams(0, 5);
    mesh.SetPartParam(0.5f);
    CE3DVertexList* l = mesh.VertexLists();
    l->m_anim.curColor = 0;
    l->m_anim.nextColor = 1;
    l->m_anim.fracColor = 0.5f;
    mesh.UpdateVertexLists();
    EXPECT_EQ(FirstX(mesh), 0.0f);
    uint32_t c;
    std::memcpy(&c, l->Vertices() + 24, 4);
    EXPECT_EQ(c, 0xFF000080u);  // half way from 0 to 255, rounded
}

TEST_F(Meshes, ControllersStepAndAreDroppedWhenTheyNestTooDeep) {
    struct CCount : CE3DMeshController {
        CCount(CE3DMesh* m, float d, int* n) : CE3DMeshController(m, d), steps(n) {}
        void Advance() override {
            ++*steps;
            lastFraction = m_fraction;
            if (m_fraction >= 1.0f) m_remove = 1;
        }
        int* steps;
        float lastFraction = 0;
    };
    struct CNest : CE3DMeshController {
        using CE3DMeshController::CE3DMeshController;
        void Advance() override { Step(); }  // steps itself without end
    };
    CE3DFrame root(nullptr);
    CE3DMesh mesh(&root, nullptr);
    int steps = 0;
    CCount* c = new CCount(&mesh, 2.0f, &steps);
    g_now = 1193182;  // one second
    int depth = 0;
    mesh.Update(&depth);
    EXPECT_EQ(steps, 1);
    EXPECT_NEAR(c->lastFraction, 0.5f, 1e-4);
    g_now = 3 * 1193182;
    mesh.Update(&depth);
    EXPECT_EQ(mesh.m_controllers, nullptr);  // removed when its time was up
    new CCount(&mesh, 1.0f, &steps);
    new CNest(&mesh, 1.0f);
    mesh.Update(&depth);
    EXPECT_EQ(mesh.m_controllers, nullptr);
    EXPECT_EQ(mesh.m_controllerDepth, 0);
}

TEST_F(Meshes, BoundsRadiusAndTheSelectionChild) {
    CE3DShapeBlock* b = AddBlock(shape, 1);
    // A unit cube's corners: extents 0.5.
    b->m_positions[0] = {-0.5f, -0.5f, -0.5f, 0, 0, 0, 0.5f, 0.5f, 0.5f, 0, 0, 0, 0.5f, -0.5f, 0.5f, 0, 0, 0};
    shape.ComputeBounds();
    CE3DFrame root(nullptr);
    CE3DMesh mesh(&root, &shape);
    mesh.SetScale(2.0f, 1.0f, 1.0f);
    mesh.UpdateRadius();
    EXPECT_NEAR(mesh.m_boundingRadius, 1.444f, 1e-5);

    // A "selection" child adds nothing, but its own children do.
    struct CNamed : CE3DMesh {
        CNamed(CE3DFrame* p, CE3DShape* s, const char* n) : CE3DMesh(p, s), name(n) { m_type = 312; }
        const char* MeshName() const override { return name; }
        const char* name;
    };
    CE3DShape big(static_cast<CE3DEngine*>(nullptr));
    AddBlock(big, 1)->m_positions[0][0] = 9.0f;
    CE3DShape bigger(static_cast<CE3DEngine*>(nullptr));
    AddBlock(bigger, 1)->m_positions[0][1] = 4.0f;
    CNamed* selection = new CNamed(&mesh, &big, "selection");
    new CE3DMesh(selection, &bigger);
    mesh.QueryBounds();
    EXPECT_FLOAT_EQ(mesh.m_subtreeExtents[0], 1.0f);  // the selection's 9 is not there
    EXPECT_FLOAT_EQ(mesh.m_subtreeExtents[1], 4.0f);  // its child's 4 is
    CE3DMesh empty(&root, nullptr);
    empty.QueryBounds();
    EXPECT_EQ(empty.m_subtreeRadius, 0.0f);
    EXPECT_EQ(empty.m_boundingRadius, 0.0f);
}

TEST_F(Meshes, ColourStopsAtTheFirstMeshWithVerticesAndShatterBreaksFaces) {
    CE3DShapeBlock* b = AddBlock(shape, 1, 30000);
    b->AllocBuffers(0x40);
    shape.PrepareBlocks();
    CE3DMaterial rock(nullptr, "Rock");
    b->m_material = &rock;
    CE3DFrame root(nullptr);
    CE3DMesh* outer = new CE3DMesh(&root, nullptr);
    CE3DMesh* mesh = new CE3DMesh(outer, &shape);
    CE3DMesh* inner = new CE3DMesh(mesh, &shape);
    outer->SetColor(1.0f, 0.0f, 0.0f);
    uint32_t c;
    std::memcpy(&c, mesh->VertexLists()->Vertices() + 24, 4);
    EXPECT_EQ(c, 0xFFFF0000u);
    std::memcpy(&c, inner->VertexLists()->Vertices() + 24, 4);
    EXPECT_EQ(c, 0xFFFFFFFFu);  // not passed on past the mesh with vertices
    EXPECT_TRUE(mesh->VertexLists()->m_colorLocked);

    mesh->Shatter(1.0f, 1.0f, false);
    CE3DVertexList* l = mesh->VertexLists();
    EXPECT_EQ(l->m_flying.size(), 21844u);  // 65536 / 3 - 1
    EXPECT_EQ(l->m_vertexCount, 21844u * 3);
    ASSERT_TRUE(l->m_ownsMaterial);
    EXPECT_STREQ(l->m_material->m_name.GetText(), "Copy of: Rock");
    EXPECT_EQ(l->m_material->m_twoSided, 1);
    EXPECT_TRUE(mesh->m_meshFlagsA & kMeshShattered);
    EXPECT_FALSE(mesh->m_animating);
    float before[3], after[3];
    std::memcpy(before, l->Vertices(), 12);
    int depth = 0;
    mesh->Update(&depth);  // shattered meshes step their flying faces
    std::memcpy(after, l->Vertices(), 12);
    EXPECT_NE(std::memcmp(before, after, 12), 0);
}

TEST_F(Meshes, VisibleFractionDrawsTheLeadingFaces) {
    AddBlock(shape, 1, 7);
    CE3DFrame root(nullptr);
    CE3DMesh mesh(&root, &shape);
    struct SCase {
        float fraction;
        uint32_t indices;
    } cases[] = {{0.5f, 9}, {1.5f, 21}, {-1.0f, 0}, {1.0f, 21}, {0.0f, 0}};
    for (const SCase& c : cases) {
        mesh.SetVisibleFraction(c.fraction);
        int depth = 0;
        mesh.Update(&depth);
        EXPECT_EQ(mesh.VertexLists()->m_drawIndices, c.indices) << c.fraction;
    }
}

TEST_F(Meshes, MeshesHandTheSceneTheirSpheresAndListsByVisibility) {
    AddBlock(shape, 1);
    shape.ComputeBounds();
    CE3DMaterial opaque(nullptr, "opaque"), glass(nullptr, "glass");
    glass.Passes(1)->m_states->m_alphaBlend = 1;
    CTestScene scene;
    CE3DMesh* a = new CE3DMesh(&scene, &shape);
    CE3DMesh* b = new CE3DMesh(&scene, &shape);
    EXPECT_EQ(scene.meshes, 2);
    a->VertexLists()->m_material = &opaque;
    b->VertexLists()->m_material = &glass;
    a->SetPosition(5.0f, 0.0f, 0.0f);
    int depth = 0;
    scene.UpdateRenderMatrix(&depth);
    a->Update(&depth);
    b->Update(&depth);
    ASSERT_EQ(scene.spheres.size(), 2u);
    EXPECT_FLOAT_EQ(scene.spheres[0][1], 5.0f);
    scene.results = {0, 0};
    a->Render(&depth);
    b->Render(&depth);
    EXPECT_EQ(opaque.m_triangleQueue, a->VertexLists());
    EXPECT_EQ(scene.translucent, std::vector<CE3DVertexList*>{b->VertexLists()});
    // Wholly outside the view: nothing queued; each mesh asks for its own result.
    opaque.m_triangleQueue = nullptr;
    scene.results = {D3DSTATUS_CLIPINTERSECTIONLEFT, 0};
    scene.asked.clear();
    b->Render(&depth);
    a->Render(&depth);
    EXPECT_EQ(opaque.m_triangleQueue, nullptr);
    EXPECT_EQ(scene.asked, (std::vector<int32_t>{1, 0}));
    delete a;
    EXPECT_EQ(scene.meshes, 1);
}
