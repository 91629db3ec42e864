// Vertex lists: layouts, index lists, tint, environment mapping, jitter,
// the visible fraction and the shatter effect.
#include "e3d/VertexList.h"

#include <cstring>

#include "core/ListLinks.h"
#include "core/Math.h"
#include "core/Random.h"
#include "e3d/Material.h"
#include "platform/d3d/Direct3D.h"

namespace {
using SVertexListLinks = SListLinks<CE3DVertexList, &CE3DVertexList::m_next, &CE3DVertexList::m_prev>;
}

uint32_t E3D_PrimitiveFor(uint32_t perFace) {
    return perFace == 3 ? D3DPT_TRIANGLELIST : perFace == 2 ? D3DPT_LINELIST : D3DPT_POINTLIST;
}

CE3DVertexList::CE3DVertexList(CE3DVertexList** chain, CE3DFrame* owner, CE3DScreen* screen,
                               CE3DShapeBlock* block)
    : m_screen(screen), m_chain(chain), m_owner(owner), m_block(block) {
    m_kept.name = D3D_NewKeptName();
    if (m_chain) SVertexListLinks::Push(*m_chain, this);
    if (block) {
        m_anim = block->m_anim;
        m_faceCount = block->m_faceCount;
        m_perFace = block->m_perFace;
        m_drawIndices = m_faceCount * m_perFace;
        m_scratch = &block->m_scratch;
    }
}

CE3DVertexList::~CE3DVertexList() {
    if (m_chain) SVertexListLinks::Unlink(*m_chain, this);
    if (m_ownsMaterial) delete m_material;
    D3D_ForgetKept(m_kept.name);
}

void CE3DVertexList::AllocVertices(uint32_t count) {
    m_vertexCount = count;
    m_vertices.assign(size_t(count) * m_stride, 0);
    ++m_kept.vertexChanges;
}

void CE3DVertexList::IndicesChanged() {
    m_kept.indices = m_indices;
    m_kept.indexCount = m_faceCount * m_perFace;
    ++m_kept.indexChanges;
}

void CE3DVertexList::AllocFromBlock() {
    if (!m_block) return;
    m_format = m_block->ModelFormat();
    m_stride = m_block->ModelStride();
    m_afterPos = m_stride - 12;
    AllocVertices(m_block->m_vertexCount);
}

void CE3DVertexList::AllocLit(uint32_t count) {
    if (m_block) m_format = (m_block->m_flags & 0x300) | 0x052;
    m_stride = D3D_VertexSize(m_format);
    m_afterPos = m_stride > 12 ? m_stride - 12 : 0;
    AllocVertices(count);
}

void CE3DVertexList::AllocIndices(uint32_t faces, uint32_t perFace) {
    m_ownIndices.assign(size_t(faces) * perFace, 0);
    m_indices = m_ownIndices.data();
    m_ownsIndices = true;
    m_faceCount = faces;
    m_perFace = perFace;
    m_drawIndices = faces * perFace;
    m_primitive = E3D_PrimitiveFor(perFace);
    IndicesChanged();
}

void CE3DVertexList::AllocOwnIndices() {
    if (m_block) AllocIndices(m_block->m_faceCount, m_block->m_perFace);
}

void CE3DVertexList::ShareBlockIndices() {
    if (!m_block) return;
    m_ownIndices.clear();
    m_ownsIndices = false;
    m_indices = m_block->m_indices.data();
    m_faceCount = m_block->m_faceCount;
    m_perFace = m_block->m_perFace;
    m_drawIndices = m_faceCount * m_perFace;
    m_primitive = E3D_PrimitiveFor(m_perFace);
    IndicesChanged();
}

bool CE3DVertexList::Draw(ID3DDevice* device, const uint16_t* indices, uint32_t indexCount,
                          int32_t* primitives) const {
    const uint32_t perFace = m_perFace ? m_perFace : 3;
    if (!device || !m_vertexCount) return false;
    if (!m_indexed) {
        device->DrawPrimitive(m_primitive, m_format, m_vertices.data(), m_vertexCount, 0, &m_kept);
        if (primitives) *primitives = int32_t(m_vertexCount / perFace);
        return true;
    }
    if (!indices || !indexCount) return false;
    device->DrawIndexedPrimitive(m_primitive, m_format, m_vertices.data(), m_vertexCount, indices, indexCount,
                                 0, &m_kept);
    if (primitives) *primitives = int32_t(indexCount / perFace);
    return true;
}

void CE3DVertexList::SetVisibleFraction(float fraction) {
    float f = float(m_faceCount) * fraction;
    int32_t faces = f > 2.0e9f ? int32_t(m_faceCount) : Math_Truncate(f);
    if (faces < 0) faces = 0;
    if (uint32_t(faces) > m_faceCount) faces = int32_t(m_faceCount);
    m_drawIndices = uint32_t(faces) * m_perFace;
}

void CE3DVertexList::SetColor(float r, float g, float b) {
    if (!(m_format & D3DFVF_DIFFUSE)) return;
    uint8_t* vertices = WriteVertices();
    auto channel = [](float v) -> uint32_t {
        int32_t c = Math_RoundToInt(v * 255.0f);
        return uint32_t(c < 0 ? 0 : c > 255 ? 255 : c);
    };
    const uint32_t tr = channel(r), tg = channel(g), tb = channel(b);
    const std::vector<uint32_t>* set =
        (m_block && m_block->ColorSets() > 0) ? &m_block->m_colors[0] : nullptr;
    for (uint32_t v = 0; v < m_vertexCount; ++v) {
        uint32_t c;
        if (set && v < set->size()) {
            uint32_t s = (*set)[v];
            c = (s & 0xFF000000u) | (((s >> 16 & 0xFF) + tr) / 2) << 16 | (((s >> 8 & 0xFF) + tg) / 2) << 8 |
                ((s & 0xFF) + tb) / 2;
        } else {
            c = 0xFF000000u | tr << 16 | tg << 8 | tb;
        }
        std::memcpy(vertices + size_t(v) * m_stride + 24, &c, 4);
    }
    if (!m_block || m_block->ColorSets() < 2) m_colorLocked = true;
}

void CE3DVertexList::ComputeEnvironmentUVs(const float m[16]) {
    if (!m_owner || !(m_anim.envMap[0] || m_anim.envMap[1] || m_anim.envMap[2])) return;
    if (!(m_format & D3DFVF_NORMAL)) return;
    const uint32_t sets = (m_format >> 8) & 0xf;
    const uint32_t texOffset =
        24 + ((m_format & D3DFVF_DIFFUSE) ? 4 : 0) + ((m_format & D3DFVF_SPECULAR) ? 4 : 0);
    uint8_t* vertices = WriteVertices();
    for (uint32_t v = 0; v < m_vertexCount; ++v) {
        uint8_t* p = vertices + size_t(v) * m_stride;
        float n[3];
        std::memcpy(n, p + 12, 12);
        // Row vectors: column j of the matrix is (m[j], m[4 + j], m[8 + j]).
        const float c0 = n[0] * m[0] + n[1] * m[4] + n[2] * m[8];
        const float c1 = n[0] * m[1] + n[1] * m[5] + n[2] * m[9];
        const float uv[2] = {(c0 + 1.0f) * 0.5f, (1.0f - c1) * 0.5f};
        for (uint32_t s = 0; s < sets && s < 3; ++s)
            if (m_anim.envMap[s]) std::memcpy(p + texOffset + 8 * s, uv, 8);
    }
}

void CE3DVertexList::JitterOffset(float amount) {
    uint8_t* vertices = WriteVertices();
    for (uint32_t v = 0; v < m_vertexCount; ++v) {
        float p[3];
        uint8_t* at = vertices + size_t(v) * m_stride;
        std::memcpy(p, at, 12);
        for (float& c : p) c += Random01() * amount;
        std::memcpy(at, p, 12);
    }
}

void CE3DVertexList::JitterScale(float amount) {
    uint8_t* vertices = WriteVertices();
    for (uint32_t v = 0; v < m_vertexCount; ++v) {
        float p[3];
        uint8_t* at = vertices + size_t(v) * m_stride;
        std::memcpy(p, at, 12);
        for (float& c : p) c *= 1.0f - RandomSigned() * amount;
        std::memcpy(at, p, 12);
    }
}

bool CE3DVertexList::Shatter(float amount, float fraction, bool spread, float frameStep) {
    if (!m_block || m_block->m_faceCount == 0 || m_block->m_perFace == 0 || m_vertices.empty()) return false;
    const uint32_t K = m_block->m_perFace, faces = m_block->m_faceCount;
    int32_t M = Math_RoundToInt(float(faces) * fraction);
    if (M < 1) return false;
    if (uint32_t(M) > 65536 / K) M = int32_t(65536 / K) - 1;
    // More flying faces than the block has would read past its index list.
    if (uint32_t(M) > faces) M = int32_t(faces);
    const float step = spread ? float(faces) / float(M) : 1.0f;

    std::vector<uint8_t> store(size_t(M) * K * m_stride);
    for (int32_t j = 0; j < M; ++j) {
        int32_t src = Math_RoundToInt(float(j) * step);
        if (src < 0) src = 0;
        if (uint32_t(src) >= faces) src = int32_t(faces) - 1;
        for (uint32_t k = 0; k < K; ++k) {
            const uint16_t idx = m_block->m_indices[size_t(src) * K + k];
            std::memcpy(store.data() + (size_t(j) * K + k) * m_stride,
                        m_vertices.data() + size_t(idx) * m_stride, m_stride);
        }
    }
    CE3DMaterial* copy = new CE3DMaterial(m_screen, "");
    if (m_material) copy->Copy(*m_material);
    copy->m_twoSided = 1;
    if (m_ownsMaterial) delete m_material;
    m_material = copy;
    m_ownsMaterial = true;
    m_vertices.swap(store);
    m_vertexCount = uint32_t(M) * K;
    ++m_kept.vertexChanges;
    AllocIndices(uint32_t(M), K);
    for (uint32_t i = 0; i < m_vertexCount; ++i) m_ownIndices[i] = uint16_t(i);

    m_flying.assign(size_t(M), SFlyingFace{});
    for (int32_t j = 0; j < M; ++j) {
        SFlyingFace& f = m_flying[size_t(j)];
        float c[3] = {0, 0, 0};
        for (uint32_t k = 0; k < K; ++k) {
            float p[3];
            std::memcpy(p, m_vertices.data() + (size_t(j) * K + k) * m_stride, 12);
            for (int a = 0; a < 3; ++a) c[a] += p[a];
        }
        for (int a = 0; a < 3; ++a) {
            f.centre[a] = c[a] / float(K);
            f.velocity[a] = (RandomSigned() * 0.7f + 0.0002f) * amount * f.centre[a];
        }
        float ang[3];
        for (float& a : ang) a = (Random01() * 0.8f + 0.0002f) * frameStep;
        const float s1 = Math_Sin(ang[0]), c1 = Math_Cos(ang[0]);
        const float s2 = Math_Sin(ang[1]), c2 = Math_Cos(ang[1]);
        const float s3 = Math_Sin(ang[2]), c3 = Math_Cos(ang[2]);
        const float rot[3][3] = {{c3 * c1 + s3 * s2 * s1, c3 * s2 * s1 - s3 * c1, c2 * s1},
                                 {s3 * c2, c3 * c2, -s2},
                                 {s3 * s2 * c1 - c3 * s1, c3 * s2 * c1 + s3 * s1, c2 * c1}};
        std::memcpy(f.rot, rot, sizeof rot);
    }
    m_shatterTime = 0.0f;
    SetVisibleFraction(1.0f);
    return true;
}

void CE3DVertexList::ShatterStep(float frameStep) {
    if (m_flying.empty() || m_perFace == 0) return;
    m_shatterTime += frameStep * m_shatterRate;
    const int32_t W = Math_RoundToInt(m_shatterTime);
    m_shatterTime -= float(W);
    float shrink = 1.0f;
    for (int32_t i = 0; i < W; ++i) shrink *= 0.99f;
    const uint32_t K = m_perFace;
    uint8_t* vertices = WriteVertices();
    for (size_t j = 0; j < m_flying.size(); ++j) {
        SFlyingFace& f = m_flying[j];
        float d[3];
        for (int a = 0; a < 3; ++a) {
            d[a] = f.velocity[a] * frameStep;
            f.centre[a] += d[a];
        }
        for (uint32_t k = 0; k < K; ++k) {
            uint8_t* at = vertices + (j * K + k) * m_stride;
            float p[3];
            std::memcpy(p, at, 12);
            float r[3];
            for (int a = 0; a < 3; ++a) r[a] = p[a] + d[a] - f.centre[a];
            float q[3];
            for (int a = 0; a < 3; ++a)
                q[a] = (r[0] * f.rot[0][a] + r[1] * f.rot[1][a] + r[2] * f.rot[2][a]) * shrink;
            for (int a = 0; a < 3; ++a) p[a] = f.centre[a] + q[a];
            std::memcpy(at, p, 12);
        }
    }
}
