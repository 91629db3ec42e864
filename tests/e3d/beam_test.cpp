// Beams and lightning without a display: placement between two points, the
// beam's narrowing over its tenth of a second, texture corners, bolt
// segments within the vertex budget, the bolt's trunk from end to end, and
// effects that take their ends from frames.
#include "e3d/Beam.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "e3d/Camera.h"
#include "e3d/EffectVertex.h"
#include "e3d/Texture.h"
#include "e3d/Timer.h"
#include "e3d/VertexList.h"

namespace {

int64_t g_now = 1000000;

class EffectState : public ::testing::Test {
protected:
    void SetUp() override {
        E3D_SetTimerClock([](void*) { return g_now; }, nullptr);
        root = new CE3DCamera(nullptr);
    }
    void TearDown() override {
        delete root;
        E3D_SetTimerClock(nullptr, nullptr);
    }
    static const SE3DLitVertex* Vertices(CE3DEnergyFrame* f) {
        return reinterpret_cast<const SE3DLitVertex*>(f->VertexList()->Vertices());
    }
    static uint32_t Count(CE3DEnergyFrame* f) { return f->VertexList()->m_vertexCount; }
    // A vertex of the effect in the world.
    static void World(CE3DEnergyFrame* f, const SE3DLitVertex& v, float out[3]) {
        f->UpdateMatrixUp();
        const float in[3] = {v.x, v.y, v.z};
        E3D_TransformPoint(f->m_world, in, out);
    }
    static void Set(float dst[3], float x, float y, float z) {
        dst[0] = x;
        dst[1] = y;
        dst[2] = z;
    }

    CE3DCamera* root = nullptr;
};

TEST_F(EffectState, ABeamLiesBetweenItsPointsAndNarrowsToNothing) {
    CE3DBeam* beam = new CE3DBeam(root, nullptr);
    Set(beam->m_start, 1.0f, 2.0f, 3.0f);
    Set(beam->m_end, 4.0f, 6.0f, 3.0f);  // five units away
    beam->Update();
    ASSERT_EQ(Count(beam), 6u);
    const SE3DLitVertex* v = Vertices(beam);
    EXPECT_FLOAT_EQ(v[0].z, 5.0f);
    EXPECT_FLOAT_EQ(v[0].x, -0.2f);
    EXPECT_FLOAT_EQ(v[2].z, 0.0f);
    float far[3], near[3];
    const SE3DLitVertex tip{0.0f, 0.0f, 5.0f, 0, 0, 0, 0, 0};
    const SE3DLitVertex foot{0.0f, 0.0f, 0.0f, 0, 0, 0, 0, 0};
    World(beam, tip, far);
    World(beam, foot, near);
    // The frame's angles come from the engine's table of 8192 steps a turn.
    EXPECT_NEAR(far[0], 4.0f, 0.005f);
    EXPECT_NEAR(far[1], 6.0f, 0.005f);
    EXPECT_NEAR(far[2], 3.0f, 0.005f);
    EXPECT_NEAR(near[0], 1.0f, 1e-5f);
    EXPECT_NEAR(near[2], 3.0f, 1e-5f);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(v[i].diffuse, 0xFFFFFFFFu);
    // The corners without a texture frame: the first vertex takes T2.
    EXPECT_EQ(v[0].u, 1.0f);
    EXPECT_EQ(v[0].v, 0.0f);
    EXPECT_EQ(v[4].u, 1.0f);
    EXPECT_EQ(v[4].v, 1.0f);

    const struct {
        int64_t after;
        float halfWidth;
        bool queued;
    } times[] = {{CE3DBeam::kDuration / 2, 0.1f, false},
                 {CE3DBeam::kDuration - 1, 0.0f, false},
                 {CE3DBeam::kDuration, 0.0f, true},
                 {CE3DBeam::kDuration * 5, 0.0f, true}};
    const int64_t born = beam->m_startTime;
    for (const auto& t : times) {
        g_now = born + t.after;
        beam->Update();
        EXPECT_NEAR(Vertices(beam)[1].x, t.halfWidth, 1e-5f) << t.after;
        EXPECT_EQ((beam->m_flagsA & kFrameQueued) != 0, t.queued) << t.after;
    }
    root->Scene()->DestroyQueued();
    EXPECT_EQ(root->m_firstChild, nullptr);
}

TEST_F(EffectState, ABeamWithoutLengthAndOneWithATextureFrame) {
    const SE3DTexFrame frame = {{0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 0.7f, 0.8f}};
    CE3DBeam* beam = new CE3DBeam(root, nullptr, &frame);
    Set(beam->m_start, 2.0f, 1.0f, -1.0f);
    Set(beam->m_end, 2.0f, 1.0f, -1.0f);
    beam->Update();
    EXPECT_EQ(beam->m_pitch, 0.0f);
    EXPECT_EQ(beam->m_yaw, 0.0f);
    for (uint32_t i = 0; i < Count(beam); ++i) EXPECT_EQ(Vertices(beam)[i].z, 0.0f);
    EXPECT_TRUE(beam->m_hasTexture);
    // T1 to T4 from the frame's pairs; vertex 0 T2, 1 T1, 2 T3, 4 T4.
    const float want[][2] = {{0.3f, 0.4f}, {0.1f, 0.2f}, {0.5f, 0.6f},
                             {0.1f, 0.2f}, {0.7f, 0.8f}, {0.5f, 0.6f}};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(Vertices(beam)[i].u, want[i][0]);
        EXPECT_EQ(Vertices(beam)[i].v, want[i][1]);
    }
}

TEST_F(EffectState, BoltSegmentsFollowTheLengthWithinTheVertexBudget) {
    CE3DLightning* bolt = new CE3DLightning(root, nullptr);
    EXPECT_FALSE(bolt->m_flagsB & kFrameFollowsParent);
    const struct {
        float length;
        uint32_t trunkVertices;
    } cases[] = {{0.1f, 0}, {0.3f, 12}, {10.0f, 300}, {300.0f, 1014}, {1e30f, 1014}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.length);
        for (uint32_t seed = 1; seed <= 20; ++seed) {
            bolt->Seed(seed);
            Set(bolt->m_start, 0, 0, 0);
            Set(bolt->m_end, 0, 0, c.length);
            bolt->Build();
            // Trunk quads are 0.4 wide, branches 0.2: branches never branch.
            uint32_t trunk = 0;
            for (uint32_t q = 0; q < Count(bolt); q += 6) {
                const SE3DLitVertex* v = Vertices(bolt) + q;
                const float width = v[1].x - v[0].x;
                if (std::fabs(width - 0.4f) < 1e-4f)
                    trunk += 6;
                else
                    ASSERT_NEAR(width, 0.2f, 1e-4f);
            }
            EXPECT_EQ(trunk, c.trunkVertices);
            EXPECT_EQ(Count(bolt) % 6, 0u);
            EXPECT_LE(Count(bolt), 1014u);
            if (c.trunkVertices == 1014) {
                EXPECT_EQ(Count(bolt), 1014u);  // no room for a branch
            }
        }
    }
}

TEST_F(EffectState, ABoltRunsFromEndToEndAndChangesWithEveryBuild) {
    CE3DLightning* bolt = new CE3DLightning(root, nullptr);
    Set(bolt->m_start, -3.0f, 1.0f, 2.0f);
    Set(bolt->m_end, 5.0f, 1.0f, 2.0f);
    std::vector<std::vector<float>> shapes;
    int branches = 0;
    for (int build = 0; build < 10; ++build) {
        bolt->Build();
        const SE3DLitVertex* v = Vertices(bolt);
        std::vector<float> xs;
        for (uint32_t q = 0; q < Count(bolt); q += 6) {
            const bool trunk = std::fabs(v[q + 1].x - v[q].x - 0.4f) < 1e-4f;
            branches += !trunk;
            // Every quad lies along the bolt: a branch may reach one unit past
            // the end, nothing goes behind the start.
            for (int k = 0; k < 6; ++k) {
                EXPECT_GE(v[q + k].z, -1e-4f);
                EXPECT_LE(v[q + k].z, (trunk ? 8.0f : 9.0f) + 1e-4f);
            }
            if (!trunk) continue;
            xs.push_back(v[q].x + 0.2f);  // the far cross section's centre
            if (v[q].z > 8.0f - 1e-4f) {
                // The last trunk segment ends on the end point.
                float at[3];
                World(bolt, SE3DLitVertex{xs.back(), 0.0f, v[q].z, 0, 0, 0, 0, 0}, at);
                EXPECT_NEAR(at[0], 5.0f, 0.01f);
                EXPECT_NEAR(at[1], 1.0f, 1e-4f);
                EXPECT_NEAR(at[2], 2.0f, 0.01f);
            }
            if (std::fabs(v[q + 2].z) < 1e-6f) {
                EXPECT_NEAR(v[q + 2].x + 0.2f, 0.0f, 1e-6f);  // starts at the start
            }
        }
        ASSERT_EQ(xs.size(), 40u);
        for (const auto& before : shapes) EXPECT_NE(before, xs);
        shapes.push_back(xs);
    }
    EXPECT_GT(branches, 0);
}

TEST_F(EffectState, EffectsBetweenFramesTakeTheirPlacesUntilAFrameGoes) {
    CE3DFrame* a = new CE3DFrame(root);
    CE3DFrame* holder = new CE3DFrame(root);
    holder->SetPosition(10.0f, 0.0f, 0.0f);
    CE3DFrame* b = new CE3DFrame(holder);
    b->SetPosition(0.0f, 0.0f, 4.0f);  // at (10, 0, 4)
    CE3DFrame* parent = new CE3DFrame(root);
    parent->SetPosition(0.0f, 5.0f, 0.0f);
    CE3DBeam* beam = new CE3DBeam(parent, nullptr);  // its points are its parent's
    beam->SetEnds(a, b);
    CE3DLightning* bolt = new CE3DLightning(parent, nullptr);  // its points are world points
    bolt->SetEnds(a, b);
    a->SetPosition(2.0f, 0.0f, 4.0f);
    beam->Update();
    bolt->Build();
    EXPECT_NEAR(beam->m_start[0], 2.0f, 1e-5f);
    EXPECT_NEAR(beam->m_start[1], -5.0f, 1e-5f);
    EXPECT_NEAR(beam->m_end[0], 10.0f, 1e-5f);
    EXPECT_NEAR(beam->m_end[2], 4.0f, 1e-5f);
    EXPECT_NEAR(bolt->m_start[1], 0.0f, 1e-5f);
    EXPECT_NEAR(Vertices(beam)[0].z, 8.0f, 1e-5f);
    EXPECT_EQ(Count(bolt) >= 240u, true);

    holder->SetPosition(10.0f, 0.0f, 10.0f);  // the end moves to (10, 0, 14)
    beam->Update();
    bolt->Build();
    EXPECT_NEAR(bolt->m_end[2], 14.0f, 1e-5f);
    EXPECT_NEAR(beam->m_end[2], 14.0f, 1e-5f);
    EXPECT_NEAR(Vertices(beam)[0].z, std::sqrt(64.0f + 100.0f), 1e-4f);

    delete holder;  // b with it: the points stay where they were
    beam->Update();
    bolt->Build();
    EXPECT_NEAR(beam->m_end[2], 14.0f, 1e-5f);
    EXPECT_NEAR(bolt->m_end[2], 14.0f, 1e-5f);
}

}  // namespace
