// Vertex lists on their own: environment-mapped texture coordinates, tints,
// jitter, the beam layout and shatter at its limits.
#include "e3d/VertexList.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/Random.h"
#include "e3d/Frame.h"
#include "e3d/ShapeBlock.h"

namespace {

// One triangle (or `faces` of them) with normals along -z, diffuse and two
// texture sets.
void Fill(CE3DShapeBlock& b, uint32_t faces = 1, uint32_t colorSets = 0) {
    b.m_vertexCount = faces * 3;
    b.m_positions.assign(1, {});
    b.m_positionNames.assign(1, CStrBuf("rest"));
    for (uint32_t v = 0; v < b.m_vertexCount; ++v) {
        const float p[6] = {float(v), 1.0f, 2.0f, 0.0f, 0.0f, -1.0f};
        b.m_positions[0].insert(b.m_positions[0].end(), p, p + 6);
    }
    b.m_colors.assign(colorSets, std::vector<uint32_t>(b.m_vertexCount, 0x80204060u));
    b.m_texCoords.assign(2, std::vector<float>(size_t(b.m_vertexCount) * 2, 0.25f));
    b.AllocIndices(faces, 3);
    for (uint32_t i = 0; i < faces * 3; ++i) b.m_indices[i] = uint16_t(i);
    b.AllocBuffers(0x40 | 0x200);
}

struct SVertex {
    float pos[3], normal[3];
    uint32_t diffuse;
    float uv[2][2];
};

SVertex At(const CE3DVertexList& l, uint32_t v) {
    SVertex out;
    std::memcpy(&out, l.Vertices() + v * l.m_stride, sizeof out);
    return out;
}

void Load(CE3DVertexList& l, const CE3DShapeBlock& b) {
    l.AllocFromBlock();
    for (uint32_t v = 0; v < b.m_vertexCount; ++v) {
        SVertex s{};
        std::memcpy(s.pos, &b.m_positions[0][v * 6], 24);
        s.diffuse = 0xFFFFFFFFu;
        s.uv[0][0] = s.uv[0][1] = s.uv[1][0] = s.uv[1][1] = 0.25f;
        std::memcpy(l.WriteVertices() + v * l.m_stride, &s, sizeof s);
    }
}

}  // namespace

TEST(VertexList, EnvironmentMappingOnlyForFlaggedStagesOfAnOwnedList) {
    CE3DShapeBlock b(nullptr);
    Fill(b);
    CE3DFrame owner(nullptr);
    CE3DVertexList* chain = nullptr;
    CE3DVertexList l(&chain, &owner, nullptr, &b);
    EXPECT_EQ(chain, &l);
    Load(l, b);
    // A view turned so that -z normals map onto x: u = (n . column 0 + 1) / 2.
    float m[16] = {};
    m[0 * 4 + 0] = 0.0f;
    m[2 * 4 + 0] = -1.0f;  // column 0 = (0, 0, -1): n . column 0 = 1
    m[1 * 4 + 1] = 1.0f;   // column 1 = (0, 1, 0): n . column 1 = 0
    l.ComputeEnvironmentUVs(m);
    EXPECT_EQ(At(l, 0).uv[0][0], 0.25f);  // no flag: untouched
    l.m_anim.envMap[1] = 1;
    l.ComputeEnvironmentUVs(m);
    EXPECT_EQ(At(l, 0).uv[0][0], 0.25f);
    EXPECT_EQ(At(l, 0).uv[1][0], 1.0f);
    EXPECT_EQ(At(l, 0).uv[1][1], 0.5f);
    // Without an owner nothing happens.
    CE3DVertexList orphan(nullptr, nullptr, nullptr, &b);
    Load(orphan, b);
    orphan.m_anim.envMap[0] = 1;
    orphan.ComputeEnvironmentUVs(m);
    EXPECT_EQ(At(orphan, 0).uv[0][0], 0.25f);
}

TEST(VertexList, TintWithoutColourSetsIsExactAndOpaque) {
    CE3DShapeBlock b(nullptr);
    Fill(b, 1, 0);
    CE3DVertexList l(nullptr, nullptr, nullptr, &b);
    Load(l, b);
    l.SetColor(0.0f, 0.5f, 1.0f);
    EXPECT_EQ(At(l, 2).diffuse, 0xFF0080FFu);
    EXPECT_TRUE(l.m_colorLocked);
    // With two colour sets the colour stays free for the animation, and each
    // channel is the midpoint of set 0 and the tint, its alpha kept.
    CE3DShapeBlock two(nullptr);
    Fill(two, 1, 2);
    CE3DVertexList k(nullptr, nullptr, nullptr, &two);
    Load(k, two);
    k.SetColor(1.0f, 0.0f, 0.0f);
    EXPECT_EQ(At(k, 0).diffuse, 0x808F2030u);
    EXPECT_FALSE(k.m_colorLocked);
}

TEST(VertexList, JitterStaysWithinItsAmount) {
    CE3DShapeBlock b(nullptr);
    Fill(b, 20);
    CE3DVertexList l(nullptr, nullptr, nullptr, &b);
    Load(l, b);
    SetRandomSeed(3);
    l.JitterOffset(0.5f);
    for (uint32_t v = 0; v < l.m_vertexCount; ++v) {
        const SVertex s = At(l, v);
        EXPECT_GE(s.pos[1], 1.0f);
        EXPECT_LT(s.pos[1], 1.5f);
    }
    Load(l, b);
    l.JitterScale(0.1f);
    for (uint32_t v = 0; v < l.m_vertexCount; ++v) {
        EXPECT_GT(At(l, v).pos[2], 2.0f * 0.9f - 1e-5f);
        EXPECT_LE(At(l, v).pos[2], 2.0f * 1.1f + 1e-5f);
    }
}

TEST(VertexList, BeamLayoutAndShatterLimits) {
    CE3DShapeBlock b(nullptr);
    Fill(b, 4);
    CE3DVertexList beam(nullptr, nullptr, nullptr, &b);
    beam.AllocLit(8);
    EXPECT_EQ(beam.m_format, 0x252u);  // (F AND 0x300) OR XYZ | DIFFUSE | NORMAL
    EXPECT_EQ(beam.m_stride, 44u);

    // More flying faces than the block has (fraction above 1) take every
    // face once, never a face past the end of its index list.
    CE3DVertexList l(nullptr, nullptr, nullptr, &b);
    Load(l, b);
    ASSERT_TRUE(l.Shatter(1.0f, 3.0f, false, 1.0f / 60.0f));
    EXPECT_EQ(l.m_flying.size(), 4u);
    EXPECT_EQ(l.m_drawIndices, 12u);
    EXPECT_EQ(l.Indices()[11], 11);
    // Nothing to break: no faces.
    CE3DShapeBlock empty(nullptr);
    CE3DVertexList none(nullptr, nullptr, nullptr, &empty);
    EXPECT_FALSE(none.Shatter(1.0f, 1.0f, true, 0.016f));
}
