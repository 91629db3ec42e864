// Shapes: their blocks, the stored record, prepared vertices and extents.
#include "e3d/Shape.h"

#include <cstring>

#include "core/LittleEndian.h"
#include "core/VFSFile.h"
#include "e3d/Engine.h"
#include "e3d/RecordReader.h"
#include "e3d/Screen.h"
#include "e3d/ShapeBlock.h"

CE3DShape::CE3DShape(CE3DScreen* screen) : CE3DNode(screen) {
    Init();
}

CE3DShape::CE3DShape(CE3DEngine* engine) : CE3DNode(engine) {
    Init();
}

void CE3DShape::Init() {
    m_nodeType = kE3DNodeShape;
    const uint32_t bits = 0x70000000u;
    std::memcpy(&m_far, &bits, 4);
}

CE3DShape::~CE3DShape() {
    ClearBlocks();
}

void CE3DShape::ClearBlocks() {
    while (m_blocks) delete m_blocks;
    for (CE3DNode* n : m_owned) delete n;
    m_owned.clear();
}

int CE3DShape::BlockCount() const {
    int n = 0;
    for (CE3DShapeBlock* b = m_blocks; b; b = b->m_next) ++n;
    return n;
}

bool CE3DShape::Load(CVFSFile& file, int version) {
    ClearBlocks();
    if (version <= 5) return true;
    CE3DRecordReader in(file);
    float transform[2][3][3];
    in.Floats(&transform[0][0][0], 18);
    if (version < kE3DBlockFirstVersion) in.U32();
    const uint32_t count = in.U32();
    // The smallest block record (no sets, no faces) is 163 bytes; older
    // versions store no block bytes at all.
    const uint64_t leastBlock = version >= kE3DBlockFirstVersion ? 163 : 0;
    const uint64_t cap = version >= kE3DBlockFirstVersion ? 0xFFFFFFFFull : 65536;
    if (!in.Ok() || count > cap || !in.Has(uint64_t(count) * leastBlock)) {
        E3DTrace(m_engine, "Bad shape record", "CE3DShape::Load");
        ComputeBounds();
        return false;
    }
    std::memcpy(m_transform, transform, sizeof m_transform);
    for (uint32_t i = 0; i < count; ++i) {
        CE3DShapeBlock* block = new CE3DShapeBlock(this);
        if (!block->Load(file, version)) {
            ClearBlocks();
            ComputeBounds();
            return false;
        }
    }
    ComputeBounds();
    return true;
}

void CE3DShape::Serialize(std::vector<uint8_t>& out, int version) const {
    if (version <= 5) return;
    LE_PutF32s(out, &m_transform[0][0][0], 18);
    if (version < kE3DBlockFirstVersion) LE_PutU32(out, 0);
    LE_PutU32(out, uint32_t(BlockCount()));
    if (version < kE3DBlockFirstVersion) return;
    // Blocks are stored in the reverse of the list's order, so that loading,
    // which pushes each block at the head, gives the same list.
    std::vector<const CE3DShapeBlock*> order;
    for (const CE3DShapeBlock* b = m_blocks; b; b = b->m_next) order.push_back(b);
    for (auto it = order.rbegin(); it != order.rend(); ++it) (*it)->Serialize(out);
}

void CE3DShape::PrepareBlocks() {
    for (CE3DShapeBlock* b = m_blocks; b; b = b->m_next) {
        const uint32_t stride = b->m_modelStride;
        if (b->m_model.size() < size_t(b->m_vertexCount) * stride) continue;
        const bool diffuse = (b->m_modelFormat & 0x40) != 0;
        const uint32_t sets = (b->m_modelFormat >> 8) & 0xf;
        const std::vector<float>* pos = b->m_positions.empty() ? nullptr : &b->m_positions[0];
        const int32_t ci = b->m_anim.curColor;
        const std::vector<uint32_t>* col =
            (ci >= 0 && uint32_t(ci) < b->ColorSets()) ? &b->m_colors[size_t(ci)] : nullptr;
        for (uint32_t v = 0; v < b->m_vertexCount; ++v) {
            uint8_t* out = b->m_model.data() + size_t(v) * stride;
            if (pos)
                std::memcpy(out, pos->data() + size_t(v) * 6, 24);
            else
                std::memset(out, 0, 24);
            out += 24;
            if (diffuse) {
                uint32_t c = col ? (*col)[v] : 0xFFFFFFFFu;
                std::memcpy(out, &c, 4);
                out += 4;
            }
            for (uint32_t s = 0; s < sets; ++s) {
                const int32_t ti = s < 3 ? b->m_anim.curTex[s] : -1;
                if (ti >= 0 && uint32_t(ti) < b->TexSets())
                    std::memcpy(out, b->m_texCoords[size_t(ti)].data() + size_t(v) * 2, 8);
                else
                    std::memset(out, 0, 8);
                out += 8;
            }
        }
    }
}

void CE3DShape::ComputeBounds() {
    m_extents[0] = m_extents[1] = m_extents[2] = 0.0f;
    for (CE3DShapeBlock* b = m_blocks; b; b = b->m_next)
        for (const auto& set : b->m_positions)
            for (uint32_t v = 0; v < b->m_vertexCount; ++v)
                for (int k = 0; k < 3; ++k)
                    if (set[size_t(v) * 6 + k] > m_extents[k]) m_extents[k] = set[size_t(v) * 6 + k];
    m_largestExtent = m_extents[0];
    if (m_extents[1] > m_largestExtent) m_largestExtent = m_extents[1];
    if (m_extents[2] > m_largestExtent) m_largestExtent = m_extents[2];
}
