#include "tools/lib/PackedProjectWriter.h"

#include <cstdio>
#include <cstring>

#include "core/LittleEndian.h"
#include "core/PackedDIB.h"
#include "e3d/Material.h"
#include "e3d/Shape.h"
#include "e3d/ShapeBlock.h"
#include "tools/lib/GeometryWriter.h"
#include "tools/lib/StoredImageWriter.h"

namespace {

constexpr auto U8 = LE_PutU8<std::vector<uint8_t>>;
constexpr auto U16 = LE_PutU16<std::vector<uint8_t>>;
constexpr auto U32 = LE_PutU32<std::vector<uint8_t>>;

void Str(std::vector<uint8_t>& o, const std::string& s) {
    U16(o, uint16_t(s.size()));
    LE_PutBytes(o, s.data(), s.size());
}

bool Fits(const std::string& s) {
    return s.size() <= 0xFFFF;
}

bool NodeFits(const SPackedNode& n) {
    if (!Fits(n.classKey) || !Fits(n.name)) return false;
    for (const auto& e : n.config)
        if (!Fits(e.first) || !Fits(e.second)) return false;
    for (const SPackedNode& c : n.children)
        if (!NodeFits(c)) return false;
    return true;
}

}  // namespace

void PackedProject_WriteNode(std::vector<uint8_t>& o, const SPackedNode& n, int version) {
    if (version < 29) return;
    U8(o, 0);
    U16(o, n.projectId);
    U32(o, n.nodeId);
    U8(o, n.flags);
    U8(o, 0);
    Str(o, n.name);
    LE_PutF32s(o, n.position, 3);
    LE_PutF32s(o, n.angles, 3);
    LE_PutF32s(o, n.scale, 3);
    U32(o, n.value);
    LE_PutBytes(o, n.frameFlags, 3);
    if (n.shape) {
        Shape_Write(o, *n.shape, version);
    } else {
        CE3DShape empty(static_cast<CE3DEngine*>(nullptr));
        Shape_Write(o, empty, version);
    }
    U8(o, n.hasLight ? 1 : 0);
    if (n.hasLight) LightRecord_Write(o, n.light, version);
    U8(o, n.treeFlag);
    const std::string config = PropertyListWriter_Build(n.config, version);
    LE_PutBytes(o, config.data(), config.size());
    U32(o, uint32_t(n.children.size()));
    for (const SPackedNode& c : n.children) {
        Str(o, c.classKey);
        PackedProject_WriteNode(o, c, version);
    }
}

bool PackedProject_WriteTexture(std::vector<uint8_t>& o, const SPackedTexture& t, int version) {
    if (version < 29) return true;
    Str(o, t.name);
    Str(o, t.texts[0]);
    Str(o, t.texts[1]);
    U32(o, t.width);
    U32(o, t.height);
    U32(o, t.textureId);
    U32(o, t.colorDepth);
    U32(o, t.wantedDepth);
    U32(o, t.alphaDepth);
    U32(o, t.fourth);
    uint8_t flags[7];
    std::memcpy(flags, t.flags, 7);
    flags[4] = t.colorImage ? 1 : 0;
    flags[5] = t.alphaImage ? 1 : 0;
    LE_PutBytes(o, flags, 7);
    U8(o, t.mipmapped);
    U32(o, t.maxReduction);
    U16(o, t.projectId);
    U32(o, t.engineWord);
    U8(o, t.engineByte);
    U8(o, t.recordFlags);
    for (int i = 0; i < 5; ++i) U8(o, 0);
    SStoredImageForm form;
    form.m_version = version;
    form.m_ownValue = t.fourth;
    if (t.colorImage && !StoredImage_Write(o, t.colorImage, form)) return false;
    if (t.alphaImage && !StoredImage_Write(o, t.alphaImage, form)) return false;
    return true;
}

void PackedProject_WriteMaterial(std::vector<uint8_t>& o, const SPackedMaterial& m, int version) {
    if (version < 29) return;
    Str(o, m.name);
    U16(o, m.projectId);
    U32(o, m.materialId);
    U32(o, m.value);
    U8(o, m.twoSided);
    U8(o, m.lit);
    U8(o, m.flags);
    U8(o, 0);
    for (int stages = 1; stages <= 3; ++stages) {
        const CE3DMaterialPass* head = m.passes ? m.passes->Passes(stages) : nullptr;
        U32(o, m.passes ? uint32_t(m.passes->PassCount(stages)) : 0);
        for (const CE3DMaterialPass* p = head; p; p = p->m_next) MaterialPass_Write(o, *p, version);
    }
}

bool PackedProject_Build(std::vector<uint8_t>& out, const SPackedProject& p) {
    const int v = p.version;
    if (v < 29) return false;
    for (const std::string& s : p.texts)
        if (!Fits(s)) return false;
    for (const std::string& f : p.childFolders)
        if (f.size() > 259) return false;
    for (const SPackedEvent& e : p.events)
        if (!Fits(e.name)) return false;
    for (const SPackedMaterial& m : p.materials)
        if (!Fits(m.name)) return false;
    for (const SPackedNode& n : p.templates)
        if (!NodeFits(n)) return false;

    std::vector<uint8_t> o;
    LE_PutBytes(o, kPackedProjectSignature, 23);
    U32(o, uint32_t(v));
    for (const std::string& s : p.texts) Str(o, s);
    U32(o, uint32_t(p.blob.size()));
    LE_PutBytes(o, p.blob.data(), p.blob.size());
    U16(o, p.projectId);
    U32(o, uint32_t(p.childFolders.size()));
    for (const std::string& f : p.childFolders) {
        char field[260] = {};
        std::memcpy(field, f.data(), f.size());
        LE_PutBytes(o, field, 260);
    }
    U32(o, uint32_t(p.events.size()));
    for (const SPackedEvent& e : p.events) {
        U32(o, uint32_t(e.id));
        Str(o, e.name);
    }
    U32(o, uint32_t(p.textures.size()));
    for (const SPackedTexture& t : p.textures)
        if (!Fits(t.name) || !PackedProject_WriteTexture(o, t, v)) return false;
    U32(o, uint32_t(p.materials.size()));
    for (const SPackedMaterial& m : p.materials) PackedProject_WriteMaterial(o, m, v);
    U32(o, uint32_t(p.templates.size()));
    for (const SPackedNode& n : p.templates) {
        Str(o, n.classKey);
        PackedProject_WriteNode(o, n, v);
    }
    out.swap(o);
    return true;
}

bool PackedProject_WriteFile(const std::string& linuxPath, const SPackedProject& project) {
    std::vector<uint8_t> bytes;
    if (!PackedProject_Build(bytes, project)) return false;
    const std::string tmp = linuxPath + ".tmp";
    FILE* f = std::fopen(tmp.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = (std::fclose(f) == 0) && ok;
    if (ok) ok = std::rename(tmp.c_str(), linuxPath.c_str()) == 0;
    if (!ok) std::remove(tmp.c_str());
    return ok;
}

std::shared_ptr<CE3DShape> PackedProject_MakeShape(const std::vector<float>& vertices,
                                                   const std::vector<uint16_t>& indices,
                                                   const std::vector<float>& texCoords,
                                                   const std::vector<uint32_t>& colors,
                                                   uint16_t materialProject, uint32_t materialId) {
    auto shape = std::make_shared<CE3DShape>(static_cast<CE3DEngine*>(nullptr));
    CE3DShapeBlock* b = new CE3DShapeBlock(shape.get());
    b->m_vertexCount = uint32_t(vertices.size() / 6);
    b->m_positions.push_back(vertices);
    b->m_positions[0].resize(size_t(b->m_vertexCount) * 6);
    b->m_positionNames.resize(1);
    uint32_t flags = 0;
    if (!texCoords.empty()) {
        b->m_texCoords.push_back(texCoords);
        b->m_texCoords[0].resize(size_t(b->m_vertexCount) * 2);
        flags |= 0x100;  // one set of texture coordinates
    }
    if (!colors.empty()) {
        b->m_colors.push_back(colors);
        b->m_colors[0].resize(b->m_vertexCount);
        flags |= 0x040;  // diffuse colours
    }
    b->AllocIndices(uint32_t(indices.size() / 3), 3);
    std::memcpy(b->m_indices.data(), indices.data(), b->m_indices.size() * 2);
    b->AllocBuffers(flags);
    b->m_materialProject = materialProject;
    b->m_materialId = materialId;
    b->ComputeCentre();
    shape->PrepareBlocks();
    shape->ComputeBounds();
    return shape;
}

std::shared_ptr<CE3DShape> PackedProject_MakeBox(float hx, float hy, float hz) {
    // Six faces of four corners each, so every face has its own normal; each
    // face is wound clockwise as seen from outside (the engine's front faces).
    static const float kFaces[6][4][3] = {
        {{-1, 1, -1}, {1, 1, -1}, {-1, -1, -1}, {1, -1, -1}},  // front (-z)
        {{1, 1, 1}, {-1, 1, 1}, {1, -1, 1}, {-1, -1, 1}},      // back (+z)
        {{-1, 1, 1}, {-1, 1, -1}, {-1, -1, 1}, {-1, -1, -1}},  // left (-x)
        {{1, 1, -1}, {1, 1, 1}, {1, -1, -1}, {1, -1, 1}},      // right (+x)
        {{-1, 1, 1}, {1, 1, 1}, {-1, 1, -1}, {1, 1, -1}},      // top (+y)
        {{-1, -1, -1}, {1, -1, -1}, {-1, -1, 1}, {1, -1, 1}},  // bottom (-y)
    };
    static const float kNormals[6][3] = {{0, 0, -1}, {0, 0, 1}, {-1, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, -1, 0}};
    std::vector<float> v;
    std::vector<float> uv;
    std::vector<uint16_t> idx;
    for (int f = 0; f < 6; ++f) {
        const uint16_t base = uint16_t(v.size() / 6);
        for (int c = 0; c < 4; ++c) {
            v.insert(v.end(), {kFaces[f][c][0] * hx, kFaces[f][c][1] * hy, kFaces[f][c][2] * hz,
                               kNormals[f][0], kNormals[f][1], kNormals[f][2]});
            uv.insert(uv.end(), {float(c & 1), float(c >> 1)});
        }
        idx.insert(idx.end(), {base, uint16_t(base + 1), uint16_t(base + 2), uint16_t(base + 2),
                               uint16_t(base + 1), uint16_t(base + 3)});
    }
    return PackedProject_MakeShape(v, idx, uv, {}, 0, 0);
}

std::shared_ptr<CE3DMaterial> PackedProject_MakePasses(uint16_t textureProject, uint32_t textureId) {
    auto m = std::make_shared<CE3DMaterial>(nullptr, "");
    m->ClearPasses();
    CE3DMaterialPass* p = m->AddPass(1);
    p->m_stages[0]->m_textureProject = textureProject;
    p->m_stages[0]->m_textureId = textureId;
    return m;
}
