// Shape blocks, shapes, material passes and light records: the writers'
// records of every version load to the same objects and save back byte for
// byte; cut, bit-flipped and lying records are refused whole.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/VFSFile.h"
#include "e3d/Frame.h"
#include "e3d/Light.h"
#include "e3d/LightRecord.h"
#include "e3d/Material.h"
#include "e3d/Shape.h"
#include "e3d/ShapeBlock.h"
#include "tests/support/TempDir.h"
#include "tools/lib/GeometryWriter.h"

namespace {

// Writes bytes to a file and opens it for reading.
class CRecordFile {
public:
    explicit CRecordFile(const std::vector<uint8_t>& bytes) {
        dir.Write("record.bin", std::string(bytes.begin(), bytes.end()));
        file.Open(dir.WinFile("record.bin").c_str(), CVFSFile::kModeRead, &table);
    }
    CTempDir dir;
    CVFSTable table;
    CVFSFile file;
};

// A block of 4 vertices, two faces, two position sets, a colour set, two
// texture-coordinate sets and a byte channel.
void FillBlock(CE3DShapeBlock& b) {
    b.m_name = "hull";
    b.m_materialProject = 3;
    b.m_materialId = 41;
    b.m_carriedWord = 0xCAFE;
    b.m_carriedVec[1][2] = 7.5f;
    b.m_vertexCount = 4;
    b.m_positions.resize(2);
    b.m_positionNames = {CStrBuf("rest"), CStrBuf("open")};
    for (int s = 0; s < 2; ++s)
        for (int v = 0; v < 4; ++v) {
            float p[6] = {float(v & 1) + s, float(v >> 1), -1.0f * s, 0, 0, -1};
            b.m_positions[s].insert(b.m_positions[s].end(), p, p + 6);
        }
    b.m_colors = {{0xFF102030, 0x80405060, 0xFF708090, 0x00A0B0C0}};
    b.m_texCoords = {{0, 0, 1, 0, 0, 1, 1, 1}, {0.5f, 0.5f, 1, 0.5f, 0.5f, 1, 1, 1}};
    b.m_anim.curTex[1] = 1;
    b.m_anim.fracPos = 0.25f;
    b.m_anim.envMap[2] = 1;
    b.AllocIndices(2, 3);
    const uint16_t idx[6] = {0, 1, 2, 2, 1, 3};
    std::memcpy(b.m_indices.data(), idx, sizeof idx);
    b.m_byteChannels = {{1, 2, 3, 4}};
    b.AllocBuffers(0x40 | 0x200);
    b.ComputeCentre();
}

std::vector<uint8_t> BlockBytes() {
    CE3DShapeBlock b(nullptr);
    FillBlock(b);
    std::vector<uint8_t> out;
    ShapeBlock_Write(out, b);
    return out;
}

}  // namespace

TEST(ShapeBlockRecord, LoadsWhatTheWriterWroteAndSavesItBackByteForByte) {
    const std::vector<uint8_t> bytes = BlockBytes();
    CRecordFile f(bytes);
    CE3DShapeBlock b(nullptr);
    ASSERT_TRUE(b.Load(f.file, 29));
    EXPECT_STREQ(b.m_name.GetText(), "hull");
    EXPECT_EQ(b.m_vertexCount, 4u);
    ASSERT_EQ(b.PositionSets(), 2u);
    EXPECT_STREQ(b.m_positionNames[1].GetText(), "open");
    EXPECT_EQ(b.m_colors[0][1], 0x80405060u);
    EXPECT_EQ(b.m_anim.curTex[1], 1);
    EXPECT_EQ(b.m_anim.envMap[2], 1);
    EXPECT_EQ(b.m_faceCount, 2u);
    EXPECT_EQ(b.m_indices[5], 3);
    // Diffuse and two texture sets: XYZ | NORMAL | DIFFUSE | TEX2, 44 bytes.
    EXPECT_EQ(b.ModelFormat(), 0x252u);
    EXPECT_EQ(b.ModelStride(), 44u);
    // The centre is the mean of all eight positions.
    EXPECT_FLOAT_EQ(b.Centre()[0], 1.0f);
    EXPECT_FLOAT_EQ(b.Centre()[2], -0.5f);
    std::vector<uint8_t> again;
    ShapeBlock_Write(again, b);
    EXPECT_EQ(again, bytes);
}

// A block loaded again keeps its memory but takes the new record whole:
// fewer sets, another vertex count, no colours or byte channels.
TEST(ShapeBlockRecord, ABlockLoadedAgainHoldsOnlyTheNewRecord) {
    CE3DShapeBlock small(nullptr);
    small.m_name = "fin";
    small.m_vertexCount = 3;
    small.m_positions = {{0, 0, 0, 0, 1, 0, 2, 0, 0, 0, 1, 0, 0, 0, 2, 0, 1, 0}};
    small.m_positionNames = {CStrBuf("only")};
    small.m_texCoords = {{0, 0, 1, 0, 0, 1}};
    small.AllocIndices(1, 3);
    small.m_indices = {2, 1, 0};
    small.AllocBuffers(0x100);
    small.ComputeCentre();
    std::vector<uint8_t> smallBytes;
    ShapeBlock_Write(smallBytes, small);

    CRecordFile big(BlockBytes()), again(smallBytes);
    CE3DShapeBlock b(nullptr);
    ASSERT_TRUE(b.Load(big.file, 29));
    ASSERT_TRUE(b.Load(again.file, 29));
    EXPECT_EQ(b.m_vertexCount, 3u);
    EXPECT_EQ(b.PositionSets(), 1u);
    EXPECT_EQ(b.ColorSets(), 0u);
    EXPECT_TRUE(b.m_byteChannels.empty());
    EXPECT_EQ(b.m_positions[0].size(), 18u);
    EXPECT_EQ(b.m_model.size(), size_t(3) * b.ModelStride());
    std::vector<uint8_t> out;
    ShapeBlock_Write(out, b);
    EXPECT_EQ(out, smallBytes);
}

// Blocks read ahead of their fields: each leaves the file where its record
// ends, so the next record and what follows read as written.
TEST(ShapeBlockRecord, BlocksBackToBackLeaveTheFileAtTheirEnds) {
    std::vector<uint8_t> bytes = BlockBytes();
    const size_t one = bytes.size();
    bytes.insert(bytes.end(), bytes.begin(), bytes.begin() + long(one));
    const uint8_t marker[4] = {0xDE, 0xC0, 0xAD, 0x0B};
    bytes.insert(bytes.end(), marker, marker + 4);
    CRecordFile f(bytes);
    CE3DShapeBlock a(nullptr), b(nullptr);
    ASSERT_TRUE(a.Load(f.file, 29));
    EXPECT_EQ(f.file.Tell(), one);
    ASSERT_TRUE(b.Load(f.file, 29));
    EXPECT_EQ(b.m_indices, a.m_indices);
    uint8_t got[4] = {};
    ASSERT_EQ(f.file.Read(got, 4), 4u);
    EXPECT_EQ(std::memcmp(got, marker, 4), 0);
}

// The centre is the sum of the positions in their stored order, in double,
// over their count: 3 + 1e17 - 1e17 + 0.5 + 2 + 7 runs to 9.5 in that order
// (the 3 is lost beside 1e17), where another order gives another sum.
TEST(ShapeBlockRecord, TheCentreSumsThePositionsInTheirOrder) {
    CE3DShapeBlock b(nullptr);
    const float y[6] = {3.0f, 1e17f, -1e17f, 0.5f, 2.0f, 7.0f};
    b.m_vertexCount = 6;
    b.m_positions.assign(1, std::vector<float>(36, 0.0f));
    for (int v = 0; v < 6; ++v) b.m_positions[0][size_t(v) * 6 + 1] = y[v];
    b.ComputeCentre();
    EXPECT_EQ(b.m_centre[1], float(9.5 / 6.0));
}

TEST(ShapeBlockRecord, OlderVersionsReadNothingAndLeaveTheBlockEmpty) {
    const std::vector<uint8_t> bytes = BlockBytes();
    CRecordFile f(bytes);
    CE3DShapeBlock b(nullptr);
    FillBlock(b);
    EXPECT_TRUE(b.Load(f.file, 28));
    EXPECT_EQ(b.PositionSets(), 0u);
    EXPECT_EQ(b.m_faceCount, 0u);
    EXPECT_EQ(f.file.Tell(), 0u);
}

TEST(ShapeBlockRecord, EveryCutOfTheRecordIsRefusedWhole) {
    const std::vector<uint8_t> bytes = BlockBytes();
    for (size_t cut = 0; cut < bytes.size(); ++cut) {
        CRecordFile f(std::vector<uint8_t>(bytes.begin(), bytes.begin() + long(cut)));
        CE3DShapeBlock b(nullptr);
        FillBlock(b);
        EXPECT_FALSE(b.Load(f.file, 29)) << "cut at " << cut;
        EXPECT_EQ(b.PositionSets() + b.ColorSets() + b.TexSets() + b.m_faceCount + b.m_vertexCount, 0u);
    }
}

TEST(ShapeBlockRecord, LyingCountsIndicesAndNamesAreRefused) {
    const std::vector<uint8_t> good = BlockBytes();
    // Offsets in the record of the block above (name "hull": 4 characters).
    const size_t counts = 4 + 2 + 4 + 2 + 4 + 4 + 40 + 16;  // V, P, Q, T follow
    const size_t setName = counts + 16 + 4 * 24;            // first position set's name length
    const size_t anim = counts + 16 + 2 * (96 + 2 + 4) + 16 + 2 * 32;
    const size_t faces = anim + 63;  // K, N, then the indices
    auto put32 = [](std::vector<uint8_t>& b, size_t at, uint32_t v) { std::memcpy(&b[at], &v, 4); };
    struct SCase {
        const char* what;
        size_t at;
        uint32_t value;
        bool word;
    } cases[] = {
        {"vertex count beyond 16-bit indices", counts, 70000, true},
        {"vertex count beyond the file", counts, 5000, true},
        {"position sets beyond the file", counts + 4, 0x40000000, true},
        {"colour sets beyond the file", counts + 8, 0xFFFFFFFF, true},
        {"set name beyond 255 characters", setName, 300, false},
        {"four vertices per face", faces, 4, true},
        {"faces beyond the file", faces + 4, 0x7FFFFFFF, true},
        {"index past the vertex list", faces + 8 + 10, 4, false},
        {"index past the vertex list, among the first four", faces + 8 + 2, 0xFFFF, false},
    };
    for (const SCase& c : cases) {
        std::vector<uint8_t> bad = good;
        if (c.word)
            put32(bad, c.at, c.value);
        else {
            uint16_t v = uint16_t(c.value);
            std::memcpy(&bad[c.at], &v, 2);
        }
        CRecordFile f(bad);
        CE3DShapeBlock b(nullptr);
        EXPECT_FALSE(b.Load(f.file, 29)) << c.what;
        EXPECT_EQ(b.PositionSets(), 0u) << c.what;
    }
}

TEST(ShapeBlockRecord, SetsWithoutVerticesCannotCountWithoutEnd) {
    // A block of no vertices stores no bytes per set: the counts alone
    // must not make it allocate without bound.
    CE3DShapeBlock empty(nullptr);
    std::vector<uint8_t> bytes;
    ShapeBlock_Write(bytes, empty);
    const size_t counts = 4 + 2 + 4 + 2 + 0 + 4 + 40 + 16;  // no name
    for (size_t which : {size_t(8), size_t(12)}) {          // colour sets, texture sets
        std::vector<uint8_t> bad = bytes;
        const uint32_t huge = 0x7FFFFFFF;
        std::memcpy(&bad[counts + which], &huge, 4);
        CRecordFile f(bad);
        CE3DShapeBlock b(nullptr);
        EXPECT_FALSE(b.Load(f.file, 29)) << which;
    }
    std::vector<uint8_t> bad = bytes;
    const uint32_t huge = 0x7FFFFFFF;
    std::memcpy(&bad[bad.size() - 4], &huge, 4);  // byte channels
    CRecordFile f(bad);
    CE3DShapeBlock b(nullptr);
    EXPECT_FALSE(b.Load(f.file, 29));
}

TEST(ShapeRecord, EveryVersionLoadsTheWritersShapeBack) {
    CE3DShape shape(static_cast<CE3DEngine*>(nullptr));
    shape.m_transform[1][2][0] = 3.0f;
    FillBlock(*new CE3DShapeBlock(&shape));
    CE3DShapeBlock* second = new CE3DShapeBlock(&shape);
    FillBlock(*second);
    second->m_name = "second";
    for (int version : {5, 6, 28, 29, 30}) {
        std::vector<uint8_t> bytes;
        Shape_Write(bytes, shape, version);
        CRecordFile f(bytes);
        CE3DShape loaded(static_cast<CE3DEngine*>(nullptr));
        ASSERT_TRUE(loaded.Load(f.file, version)) << version;
        EXPECT_EQ(f.file.Tell(), bytes.size()) << version;
        if (version <= 5) {
            EXPECT_EQ(loaded.BlockCount(), 0);
            continue;
        }
        EXPECT_EQ(loaded.m_transform[1][2][0], 3.0f);
        // Blocks of older versions are counted but store nothing.
        EXPECT_EQ(loaded.BlockCount(), 2) << version;
        if (version < 29) continue;
        EXPECT_STREQ(loaded.m_blocks->m_name.GetText(), "second");  // the same list order
        EXPECT_FLOAT_EQ(loaded.m_extents[0], 2.0f);
        EXPECT_FLOAT_EQ(loaded.m_largestExtent, 2.0f);
        std::vector<uint8_t> again;
        Shape_Write(again, loaded, version);
        EXPECT_EQ(again, bytes);
    }
}

TEST(ShapeRecord, BlockCountBeyondTheFileIsRefusedWithoutBlocks) {
    CE3DShape shape(static_cast<CE3DEngine*>(nullptr));
    FillBlock(*new CE3DShapeBlock(&shape));
    std::vector<uint8_t> bytes;
    Shape_Write(bytes, shape, 29);
    for (uint32_t count : {2u, 0x00FFFFFFu}) {
        std::vector<uint8_t> bad = bytes;
        std::memcpy(&bad[72], &count, 4);
        CRecordFile f(bad);
        CE3DShape loaded(static_cast<CE3DEngine*>(nullptr));
        EXPECT_FALSE(loaded.Load(f.file, 29));
        EXPECT_EQ(loaded.BlockCount(), 0);
    }
}

TEST(ShapeRecord, PreparedVerticesTakeSetZeroAndTheCurrentColourAndTextureSets) {
    CE3DShape shape(static_cast<CE3DEngine*>(nullptr));
    CE3DShapeBlock* b = new CE3DShapeBlock(&shape);
    FillBlock(*b);
    b->m_anim.curTex[0] = 5;  // out of range: (0, 0)
    shape.PrepareBlocks();
    struct SV {
        float pos[6];
        uint32_t diffuse;
        float uv[2][2];
    };
    SV v;
    std::memcpy(&v, b->m_model.data() + 3 * b->ModelStride(), sizeof v);
    EXPECT_EQ(v.pos[0], 1.0f);  // set 0, not set 1
    EXPECT_EQ(v.pos[1], 1.0f);
    EXPECT_EQ(v.diffuse, 0x00A0B0C0u);
    EXPECT_EQ(v.uv[0][0], 0.0f);
    EXPECT_EQ(v.uv[1][0], 1.0f);  // stage 1 shows set 1
}

// ---------------------------------------------------------------------------
// Material passes.

TEST(MaterialPassRecord, EachVersionRoundTripsAndKeepsWhatItDoesNotStore) {
    CE3DMaterial source(nullptr, "src");
    CE3DMaterialPass* pass = source.AddPass(3);
    pass->m_states->m_alphaBlend = 1;
    pass->m_states->m_srcBlend = D3DBLEND_SRCALPHA;
    pass->m_states->m_stipplePattern[31] = 0x12345678;
    pass->m_states->m_lightingMaterial.emissive.g = 0.5f;
    pass->m_states->m_lightingMaterial.power = 12.0f;
    pass->m_stages[1]->m_colorOp = D3DTOP_MODULATE2X;
    pass->m_stages[1]->m_textureProject = 2;
    pass->m_stages[1]->m_textureId = 99;
    pass->m_stages[2]->m_wrap = 3;
    struct SCase {
        int version;
        bool states, stages;
    } cases[] = {{4, false, false}, {6, false, true}, {10, true, true}, {19, true, true}, {20, true, true}};
    for (const SCase& c : cases) {
        std::vector<uint8_t> bytes;
        MaterialPass_Write(bytes, *pass, c.version);
        CRecordFile f(bytes);
        CE3DMaterial target(nullptr, "dst");
        CE3DMaterialPass* loaded = target.AddPass(3);
        ASSERT_TRUE(loaded->Load(f.file, c.version)) << c.version;
        EXPECT_EQ(f.file.Tell(), bytes.size()) << c.version;
        EXPECT_EQ(loaded->m_states->m_alphaBlend, c.states ? 1 : 0) << c.version;
        EXPECT_EQ(loaded->m_states->m_stipplePattern[31], c.states ? 0x12345678u : 0x55555555u);
        EXPECT_EQ(loaded->m_states->m_lightingMaterial.power, c.states ? 12.0f : 0.0f);
        EXPECT_EQ(loaded->m_states->m_lightingMaterial.emissive.g, c.states ? 0.5f : 0.0f);
        EXPECT_EQ(loaded->m_stages[1]->m_colorOp, c.stages ? D3DTOP_MODULATE2X : D3DTOP_DISABLE);
        EXPECT_EQ(loaded->m_stages[1]->m_textureId, c.stages ? 99u : 0u);
        EXPECT_EQ(loaded->m_stages[2]->m_wrap, c.stages ? 3 : 0);
        std::vector<uint8_t> again;
        MaterialPass_Write(again, *loaded, c.version);
        EXPECT_EQ(again, bytes) << c.version;
        // Every cut is refused.
        for (size_t cut = 0; cut < bytes.size(); cut += 7) {
            CRecordFile g(std::vector<uint8_t>(bytes.begin(), bytes.begin() + long(cut)));
            EXPECT_FALSE(target.AddPass(3)->Load(g.file, c.version)) << c.version << " cut " << cut;
        }
    }
}

TEST(MaterialPassRecord, OlderStageRecordsKeepTheLowHalfOfTheirProjectWord) {
    std::vector<uint8_t> bytes;
    CE3DTextureStage stage(nullptr, 0);
    TextureStage_Write(bytes, stage, 19);
    const uint32_t word = 0xABCD0007;
    std::memcpy(&bytes[23], &word, 4);
    CRecordFile f(bytes);
    CE3DTextureStage loaded(nullptr, 0);
    ASSERT_TRUE(loaded.Load(f.file, 19));
    EXPECT_EQ(loaded.m_textureProject, 7);
}

// ---------------------------------------------------------------------------
// Light records.

TEST(LightRecord, EachVersionReadsItsFieldsAndKeepsTheRest) {
    SE3DLightRecord l;
    l.diffuse = {0.5f, 0.25f, 1.0f, 1.0f};
    l.ambient = {0.1f, 0.2f, 0.3f, 0.4f};
    l.specular = {0.9f, 0.8f, 0.7f, 0.6f};
    l.type = D3DLIGHT_SPOT;
    l.attenuation[1] = 0.5f;
    l.range = 20.5f;
    l.phi = 1.25f;
    l.enabled = 0;
    l.position[2] = 4.0f;
    l.angles[0] = 0.75f;
    for (int version : {11, 12, 13, 19, 20}) {
        std::vector<uint8_t> bytes;
        LightRecord_Write(bytes, l, version);
        CRecordFile f(bytes);
        SE3DLightRecord got;
        ASSERT_TRUE(E3DLightRecord_Read(f.file, version, &got)) << version;
        EXPECT_EQ(f.file.Tell(), bytes.size());
        const bool any = version >= 12, placed = version >= 13, colours = version >= 20;
        EXPECT_EQ(got.type, any ? uint32_t(D3DLIGHT_SPOT) : uint32_t(D3DLIGHT_POINT)) << version;
        EXPECT_EQ(got.range, any ? 20.5f : 1.0f);
        EXPECT_EQ(got.enabled, placed ? 0 : 1);
        EXPECT_EQ(got.position[2], placed ? 4.0f : 0.0f);
        EXPECT_EQ(got.ambient.b, colours ? 0.3f : 0.0f);
        EXPECT_EQ(got.specular.r, colours ? 0.9f : 1.0f);
        std::vector<uint8_t> again;
        LightRecord_Write(again, got, version);
        EXPECT_EQ(again, bytes) << version;
    }
    // An unknown type and a cut record change nothing.
    std::vector<uint8_t> bytes;
    l.type = 7;
    LightRecord_Write(bytes, l, 20);
    CRecordFile bad(bytes);
    SE3DLightRecord got;
    EXPECT_FALSE(E3DLightRecord_Read(bad.file, 20, &got));
    EXPECT_EQ(got.range, 1.0f);
    l.type = 1;
    bytes.clear();
    LightRecord_Write(bytes, l, 20);
    bytes.pop_back();
    CRecordFile cut(bytes);
    EXPECT_FALSE(E3DLightRecord_Read(cut.file, 20, &got));
    EXPECT_EQ(got.range, 1.0f);
}

TEST(LightRecord, ALightLoadsItsRecordAndKeepsWhatAnOldVersionLacks) {
    SE3DLightRecord l;
    l.diffuse = {0.5f, 0.25f, 1.0f, 1.0f};
    l.ambient = {0.1f, 0.2f, 0.3f, 0.4f};
    l.type = D3DLIGHT_DIRECTIONAL;
    l.range = 20.5f;
    l.enabled = 0;
    l.position[0] = 3.5f;
    l.angles[1] = 0.5f;
    CE3DFrame root(nullptr);
    for (int version : {12, 20}) {
        std::vector<uint8_t> bytes;
        LightRecord_Write(bytes, l, version);
        CRecordFile f(bytes);
        CE3DLight light(&root);
        ASSERT_TRUE(light.Load(f.file, version));
        EXPECT_EQ(light.m_light.dltType, uint32_t(D3DLIGHT_DIRECTIONAL));
        EXPECT_EQ(light.m_light.dvRange, 20.5f);
        EXPECT_EQ(light.m_light.dcvDiffuse.g, 0.25f);
        const bool full = version >= 20;
        EXPECT_EQ(light.m_light.dcvAmbient.r, full ? 0.1f : 0.0f) << version;
        EXPECT_EQ(light.m_light.dcvSpecular.r, 1.0f);
        EXPECT_EQ(light.m_enabled, full ? 0 : 1);
        EXPECT_EQ(light.m_position[0], full ? 3.5f : 0.0f);
        EXPECT_EQ(light.m_pitch, full ? 0.5f : 0.0f);
        // The description's position follows the frame.
        EXPECT_EQ(light.m_light.dvPosition.x, full ? 3.5f : 0.0f);
    }
    std::vector<uint8_t> cut;
    LightRecord_Write(cut, l, 20);
    cut.resize(cut.size() - 3);
    CRecordFile f(cut);
    CE3DLight light(&root);
    EXPECT_FALSE(light.Load(f.file, 20));
    EXPECT_EQ(light.m_light.dvRange, 1.0f);
}
