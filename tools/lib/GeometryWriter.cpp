#include "tools/lib/GeometryWriter.h"

#include <cstring>

#include "core/LittleEndian.h"
#include "e3d/Material.h"
#include "e3d/Shape.h"
#include "e3d/ShapeBlock.h"
#include "e3d/Texture.h"
#include "e3d/TextureCache.h"

namespace {

constexpr auto U8 = LE_PutU8<std::vector<uint8_t>>;
constexpr auto U16 = LE_PutU16<std::vector<uint8_t>>;
constexpr auto U32 = LE_PutU32<std::vector<uint8_t>>;
constexpr auto F32 = LE_PutF32<std::vector<uint8_t>>;

void Color(std::vector<uint8_t>& o, const D3DCOLORVALUE& c) {
    F32(o, c.r);
    F32(o, c.g);
    F32(o, c.b);
    F32(o, c.a);
}

}  // namespace

void ShapeBlock_Write(std::vector<uint8_t>& out, const CE3DShapeBlock& block) {
    block.Serialize(out);
}

void Shape_Write(std::vector<uint8_t>& out, const CE3DShape& shape, int version) {
    shape.Serialize(out, version);
}

void RenderStates_Write(std::vector<uint8_t>& o, const CE3DRenderStates& s, int version) {
    if (version < 8) return;
    U8(o, s.m_flag1);
    U8(o, s.m_flag2);
    U8(o, s.m_fillMode);
    U8(o, s.m_shadeMode);
    U16(o, s.m_lineRepeat);
    U16(o, s.m_linePattern);
    const uint8_t bytes[16] = {s.m_rop2,      s.m_zWrite,        s.m_alphaTest, s.m_alphaRef,
                               s.m_alphaFunc, s.m_lastPixel,     s.m_srcBlend,  s.m_destBlend,
                               s.m_zFunc,     s.m_alphaBlend,    s.m_fog,       s.m_specular,
                               s.m_stipple,   s.m_edgeAntialias, s.m_colorKey,  s.m_zBias};
    o.insert(o.end(), bytes, bytes + 16);
    U32(o, s.m_textureFactor);
    for (uint32_t w : s.m_stipplePattern) U32(o, w);
    U8(o, s.m_colorVertex);
    const D3DMATERIAL7& m = s.m_lightingMaterial;
    if (version < 20) U32(o, 80);  // the older material starts with its size
    Color(o, m.diffuse);
    Color(o, m.ambient);
    Color(o, m.specular);
    Color(o, m.emissive);
    F32(o, m.power);
    if (version < 20) {
        U32(o, 0);  // texture handle
        U32(o, 0);  // ramp size
    }
}

void TextureStage_Write(std::vector<uint8_t>& o, const CE3DTextureStage& s, int version) {
    if (version < 5) return;
    const uint8_t first[9] = {s.m_colorArg1, s.m_colorArg2,     s.m_colorOp,  s.m_alphaArg1, s.m_alphaArg2,
                              s.m_alphaOp,   s.m_texCoordIndex, s.m_addressU, s.m_addressV};
    o.insert(o.end(), first, first + 9);
    U32(o, s.m_borderColor);
    U8(o, s.m_magFilter);
    U8(o, s.m_minFilter);
    U8(o, s.m_mipFilter);
    U32(o, s.m_lodBias);
    U8(o, s.m_maxMipLevel);
    U8(o, s.m_byte);
    U8(o, s.m_wrap);
    if (version >= 20)
        U16(o, s.m_textureProject);
    else
        U32(o, s.m_textureProject);
    U32(o, s.m_textureId);
    U32(o, s.m_last);
}

void MaterialPass_Write(std::vector<uint8_t>& o, const CE3DMaterialPass& pass, int version) {
    if (version < 5) return;
    RenderStates_Write(o, *pass.m_states, version);
    for (int i = 0; i < pass.StageCount(); ++i) TextureStage_Write(o, *pass.m_stages[i], version);
}

void LightRecord_Write(std::vector<uint8_t>& o, const SE3DLightRecord& l, int version) {
    if (version < 12) return;
    Color(o, l.diffuse);
    if (version >= 20) {
        Color(o, l.ambient);
        Color(o, l.specular);
    }
    U32(o, l.type);
    for (float a : l.attenuation) F32(o, a);
    F32(o, l.falloff);
    F32(o, l.phi);
    F32(o, l.range);
    F32(o, l.theta);
    if (version >= 13) {
        U8(o, l.enabled);
        for (float p : l.position) F32(o, p);
        for (float a : l.angles) F32(o, a);
    }
}

void TexCache_Write(std::vector<uint8_t>& o, const STexCacheForm& f) {
    U32(o, f.stamp);
    uint8_t desc[kE3DTexCacheDescBytes];
    E3DTexCache_EncodeDesc(desc, f.desc);
    o.insert(o.end(), desc, desc + kE3DTexCacheDescBytes);
    const size_t bytes = size_t(f.desc.height) * size_t(uint32_t(f.desc.pitch));
    if (f.pixels)
        o.insert(o.end(), f.pixels, f.pixels + bytes);
    else
        o.insert(o.end(), bytes, 0);
    const uint32_t entries = E3D_PaletteEntryCount(f.paletteCaps);
    U8(o, entries ? 1 : 0);
    if (entries) {
        U32(o, f.paletteCaps);
        if (f.palette)
            o.insert(o.end(), f.palette, f.palette + entries * 4);
        else
            o.insert(o.end(), entries * 4, 0);
    }
}
