// Shape blocks: their life in the shape's list, the stored record, buffers
// and centre.
#include "e3d/ShapeBlock.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/ListLinks.h"
#include "core/LittleEndian.h"
#include "core/Math.h"
#include "core/VFSFile.h"
#include "e3d/Engine.h"
#include "e3d/RecordReader.h"
#include "e3d/Screen.h"
#include "e3d/Shape.h"
#include "platform/d3d/Direct3D.h"

namespace {
using SBlockLinks = SListLinks<CE3DShapeBlock, &CE3DShapeBlock::m_next, &CE3DShapeBlock::m_prev>;

// The highest of the indices (0 for none): four maxima side by side, not each
// step waiting for the one before (a block's thousands of indices were a
// sixth of its load).
uint16_t HighestIndex(const std::vector<uint16_t>& indices) {
    uint16_t m0 = 0, m1 = 0, m2 = 0, m3 = 0;
    const uint16_t* p = indices.data();
    const size_t n = indices.size();
    size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        m0 = std::max(m0, p[i]);
        m1 = std::max(m1, p[i + 1]);
        m2 = std::max(m2, p[i + 2]);
        m3 = std::max(m3, p[i + 3]);
    }
    for (; i < n; ++i) m0 = std::max(m0, p[i]);
    return std::max(std::max(m0, m1), std::max(m2, m3));
}
}  // namespace

CE3DShapeBlock::CE3DShapeBlock(CE3DShape* shape) : m_shape(shape) {
    if (!shape) return;
    m_screen = shape->Screen();
    SBlockLinks::Push(shape->m_blocks, this);
}

CE3DShapeBlock::~CE3DShapeBlock() {
    if (m_shape) SBlockLinks::Unlink(m_shape->m_blocks, this);
}

void CE3DShapeBlock::Clear() {
    m_positions.clear();
    m_positionNames.clear();
    m_colors.clear();
    m_texCoords.clear();
    m_byteChannels.clear();
    m_indices.clear();
    m_scratch.clear();
    m_model.clear();
    m_faceCount = m_perFace = 0;
    m_vertexCount = 0;
}

void CE3DShapeBlock::AllocIndices(uint32_t faces, uint32_t perFace) {
    m_faceCount = faces;
    m_perFace = perFace;
    m_indices.assign(size_t(faces) * perFace, 0);
}

void CE3DShapeBlock::AllocBuffers(uint32_t flags) {
    m_flags = flags;
    m_modelFormat = (flags & 0x340) | D3DFVF_XYZ | D3DFVF_NORMAL;
    m_modelStride = D3D_VertexSize(m_modelFormat);
    m_modelAfterPos = m_modelStride - 12;
    m_model.assign(size_t(m_vertexCount) * m_modelStride, 0);
    const uint32_t scratchFormat = flags | D3DFVF_XYZRHW | D3DFVF_DIFFUSE;
    m_scratchStride = D3D_VertexSize(scratchFormat);
    m_scratchAfterPos = m_scratchStride - 12;
    // The transformed vertices are made only for a block that is drawn
    // through them (Scratch): the device transforms a block's vertices
    // itself, and a third of a megabyte cleared per block of a few thousand
    // faces was most of a load's time.
    m_scratch.clear();
}

std::vector<uint8_t>& CE3DShapeBlock::Scratch() {
    uint32_t capacity = m_vertexCount;
    if (IndexCount() > capacity) capacity = IndexCount();
    const size_t bytes = size_t(capacity) * m_scratchStride;
    if (m_scratch.size() != bytes) m_scratch.assign(bytes, 0);
    return m_scratch;
}

void CE3DShapeBlock::ComputeCentre() const {
    m_centreDue = false;
    // One running sum per axis in the stored order, kept in registers (a sum
    // in memory waits for its own store every step).
    double s0 = 0, s1 = 0, s2 = 0;
    for (const auto& set : m_positions) {
        const float* p = set.data();
        for (uint32_t v = 0; v < m_vertexCount; ++v, p += 6) {
            s0 += p[0];
            s1 += p[1];
            s2 += p[2];
        }
    }
    const double sum[3] = {s0, s1, s2};
    const uint64_t n = uint64_t(m_positions.size()) * m_vertexCount;
    // An empty block keeps its centre at 0 and its stored radius.
    if (n == 0) {
        m_centre[0] = m_centre[1] = m_centre[2] = 0.0f;
        return;
    }
    for (int k = 0; k < 3; ++k) m_centre[k] = float(sum[k] / double(n));
    // The farthest position by its squared distance; one root at the end
    // gives the same float as the largest of the roots. The largest is the
    // largest in any order (a distance that is not a number never counts), so
    // four are kept side by side.
    float far[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    const float cx = m_centre[0], cy = m_centre[1], cz = m_centre[2];
    auto d2At = [&](const float* p) {
        const float dx = p[0] - cx, dy = p[1] - cy, dz = p[2] - cz;
        return dx * dx + dy * dy + dz * dz;
    };
    for (const auto& set : m_positions) {
        const float* p = set.data();
        uint32_t v = 0;
        for (; v + 4 <= m_vertexCount; v += 4, p += 24)
            for (int j = 0; j < 4; ++j) {
                const float d2 = d2At(p + j * 6);
                if (d2 > far[j]) far[j] = d2;
            }
        for (; v < m_vertexCount; ++v, p += 6) {
            const float d2 = d2At(p);
            if (d2 > far[0]) far[0] = d2;
        }
    }
    const float far2 = std::max(std::max(far[0], far[1]), std::max(far[2], far[3]));
    float r = m_radius;
    const float d = Math_Sqrt(far2);
    if (d > r) r = d;
    m_radius = r;
}

namespace {

void PutString(std::vector<uint8_t>& o, const CStrBuf& s) {
    uint32_t n = uint32_t(s.GetLength());
    if (n > 0xFFFF) n = 0xFFFF;
    LE_PutU16(o, uint16_t(n));
    LE_PutBytes(o, s.GetText(), n);
}

}  // namespace

void CE3DShapeBlock::Serialize(std::vector<uint8_t>& o) const {
    LE_PutU32(o, m_flags);
    LE_PutU16(o, m_materialProject);
    LE_PutU32(o, m_materialId);
    PutString(o, m_name);
    LE_PutU32(o, m_carriedWord);
    LE_PutF32s(o, m_carriedVec[0], 3);
    LE_PutF32s(o, m_carriedVec[1], 3);
    LE_PutF32s(o, m_carriedPair[0], 2);
    LE_PutF32s(o, m_carriedPair[1], 2);
    LE_PutF32s(o, Centre(), 3);
    const float radius = Radius();
    LE_PutF32s(o, &radius, 1);
    LE_PutU32(o, m_vertexCount);
    LE_PutU32(o, PositionSets());
    LE_PutU32(o, ColorSets());
    LE_PutU32(o, TexSets());
    for (size_t i = 0; i < m_positions.size(); ++i) {
        LE_PutF32s(o, m_positions[i].data(), size_t(m_vertexCount) * 6);
        PutString(o, i < m_positionNames.size() ? m_positionNames[i] : CStrBuf());
    }
    for (const auto& c : m_colors) LE_PutBytes(o, c.data(), size_t(m_vertexCount) * 4);
    for (const auto& t : m_texCoords) LE_PutF32s(o, t.data(), size_t(m_vertexCount) * 2);
    const SE3DAnimState& a = m_anim;
    LE_PutU32(o, uint32_t(a.curPos));
    LE_PutU32(o, uint32_t(a.curColor));
    for (int s = 0; s < 3; ++s) LE_PutU32(o, uint32_t(a.curTex[s]));
    LE_PutU32(o, uint32_t(a.nextPos));
    LE_PutU32(o, uint32_t(a.nextColor));
    for (int s = 0; s < 3; ++s) LE_PutU32(o, uint32_t(a.nextTex[s]));
    LE_PutF32s(o, &a.fracPos, 1);
    LE_PutF32s(o, &a.fracColor, 1);
    LE_PutF32s(o, a.fracTex, 3);
    LE_PutBytes(o, a.envMap, 3);
    LE_PutU32(o, m_perFace);
    LE_PutU32(o, m_faceCount);
    for (uint16_t i : m_indices) LE_PutU16(o, i);
    LE_PutU32(o, uint32_t(m_byteChannels.size()));
    for (const auto& b : m_byteChannels) LE_PutBytes(o, b.data(), m_vertexCount);
}

bool CE3DShapeBlock::Save(CVFSFile& file) const {
    std::vector<uint8_t> bytes;
    Serialize(bytes);
    return file.Write(bytes.data(), uint32_t(bytes.size())) == bytes.size();
}

bool CE3DShapeBlock::Load(CVFSFile& file, int version) {
    if (version < kE3DBlockFirstVersion) {
        Clear();
        return true;
    }
    CE3DRecordReader in(file, true);  // the block's dozens of small fields in a few reads
    uint32_t flags = in.U32();
    uint16_t matProject = in.U16();
    uint32_t matId = in.U32();
    CStrBuf name;
    in.String(name);
    uint32_t carriedWord = in.U32();
    float carriedVec[2][3], carriedPair[2][2], centre[3];
    in.Floats(carriedVec[0], 6);
    in.Floats(carriedPair[0], 4);
    in.Floats(centre, 3);
    float radius = in.F32();
    const uint32_t V = in.U32(), P = in.U32(), Q = in.U32(), T = in.U32();
    auto refuse = [&]() {
        Clear();
        E3DTrace(m_screen ? m_screen->m_engine : nullptr, "Bad shape block record", "CE3DShapeBlock::Load");
        return false;
    };
    if (!in.Ok() || V > kE3DBlockMaxVertices || P > kE3DBlockMaxSets || Q > kE3DBlockMaxSets ||
        T > kE3DBlockMaxSets)
        return refuse();
    // Each set needs its bytes in the file before anything is allocated.
    const uint64_t posBytes = uint64_t(V) * 24, colBytes = uint64_t(V) * 4, texBytes = uint64_t(V) * 8;
    if (!in.Has(uint64_t(P) * (posBytes + 2) + uint64_t(Q) * colBytes + uint64_t(T) * texBytes))
        return refuse();

    // The sets are read straight into the block's own arrays, each sized
    // once to what the record gives: a block loaded again keeps its memory,
    // and nothing is cleared that the file then writes. A refused record
    // leaves the block empty.
    m_positions.resize(P);
    m_positionNames.resize(P);
    for (uint32_t i = 0; i < P; ++i) {
        m_positions[i].resize(size_t(V) * 6);
        in.Bytes(m_positions[i].data(), posBytes);
        in.String(m_positionNames[i], kE3DBlockMaxSetName);
    }
    if (!in.Ok()) return refuse();
    m_colors.resize(Q);
    for (auto& c : m_colors) {
        c.resize(V);
        in.Bytes(c.data(), colBytes);
    }
    m_texCoords.resize(T);
    for (auto& t : m_texCoords) {
        t.resize(size_t(V) * 2);
        in.Bytes(t.data(), texBytes);
    }
    SE3DAnimState a;
    a.curPos = in.S32();
    a.curColor = in.S32();
    for (int s = 0; s < 3; ++s) a.curTex[s] = in.S32();
    a.nextPos = in.S32();
    a.nextColor = in.S32();
    for (int s = 0; s < 3; ++s) a.nextTex[s] = in.S32();
    a.fracPos = in.F32();
    a.fracColor = in.F32();
    in.Floats(a.fracTex, 3);
    in.Bytes(a.envMap, 3);
    const uint32_t K = in.U32(), N = in.U32();
    if (!in.Ok() || K > 3 || (K == 0 && N != 0) || !in.Has(uint64_t(N) * K * 2)) return refuse();
    m_indices.resize(size_t(N) * K);
    in.Bytes(m_indices.data(), uint64_t(m_indices.size()) * 2);
    if (!m_indices.empty() && HighestIndex(m_indices) >= V) return refuse();
    const uint32_t B = in.U32();
    if (!in.Ok() || B > kE3DBlockMaxSets || !in.Has(uint64_t(B) * V)) return refuse();
    m_byteChannels.resize(B);
    for (auto& b : m_byteChannels) {
        b.resize(V);
        in.Bytes(b.data(), V);
    }
    if (!in.Ok()) return refuse();

    m_materialProject = matProject;
    m_materialId = matId;
    m_material = m_screen ? m_screen->FindMaterial(matProject, matId) : nullptr;
    m_name = name;
    m_carriedWord = carriedWord;
    std::memcpy(m_carriedVec, carriedVec, sizeof m_carriedVec);
    std::memcpy(m_carriedPair, carriedPair, sizeof m_carriedPair);
    std::memcpy(m_centre, centre, sizeof m_centre);
    m_radius = radius;
    m_vertexCount = V;
    m_anim = a;
    m_perFace = K;
    m_faceCount = N;
    AllocBuffers(flags & 0x3c0);
    m_centreDue = true;
    return true;
}
