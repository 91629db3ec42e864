// Materials, their passes, render-state blocks and texture-stage blocks: the
// registry of the screen, copies, texture look-ups, the stored records and
// the setting of a pass on the device.
#include "e3d/Material.h"

#include <cstring>

#include "core/ListLinks.h"
#include "core/LittleEndian.h"
#include "core/VFSFile.h"
#include "e3d/Device.h"
#include "e3d/Engine.h"
#include "e3d/Frame.h"
#include "e3d/Screen.h"
#include "e3d/Texture.h"
#include "e3d/VertexList.h"

namespace {

// Reads exactly n bytes; false on a short read.
bool ReadAll(CVFSFile& file, void* buf, uint32_t n) {
    return file.Read(buf, n) == n;
}

float LoadFloat(const uint8_t* p) {
    uint32_t u = LE_LoadU32(p);
    float f;
    std::memcpy(&f, &u, 4);
    return f;
}

void LoadColor(const uint8_t* p, D3DCOLORVALUE& c) {
    c.r = LoadFloat(p);
    c.g = LoadFloat(p + 4);
    c.b = LoadFloat(p + 8);
    c.a = LoadFloat(p + 12);
}

}  // namespace

// ---------------------------------------------------------------------------
// Render-state block.

CE3DRenderStates::CE3DRenderStates(CE3DMaterial* material) : m_material(material) {
    for (int i = 0; i < 32; ++i) m_stipplePattern[i] = (i & 1) ? 0x55555555u : 0xAAAAAAAAu;
    m_lightingMaterial = D3DMATERIAL7{};
    m_lightingMaterial.diffuse = D3DCOLORVALUE{1.0f, 1.0f, 1.0f, 0.0f};
    m_lightingMaterial.ambient = D3DCOLORVALUE{1.0f, 1.0f, 1.0f, 0.0f};
    m_lightingMaterial.specular = D3DCOLORVALUE{1.0f, 1.0f, 1.0f, 0.0f};
}

CE3DRenderStates::~CE3DRenderStates() {
    // The device must not believe it still holds this block's material.
    CE3DScreen* screen = m_material ? m_material->m_screen : nullptr;
    if (screen && screen->m_currentDevice && screen->m_currentDevice->m_lastLightingStates == this)
        screen->m_currentDevice->m_lastLightingStates = nullptr;
}

void CE3DRenderStates::CopyFrom(const CE3DRenderStates& o) {
    CE3DMaterial* owner = m_material;
    *this = o;
    m_material = owner;
}

bool CE3DRenderStates::Load(CVFSFile& file, int version) {
    if (version < 8) return true;  // versions 5 to 7 store no render states
    // Fixed part: 4 + 4 + 16 + 4 + 128 + 1 bytes, then the lighting material
    // (68 bytes from version 20 on, the older 80-byte form before).
    uint8_t b[157 + 80];
    const uint32_t materialBytes = version >= 20 ? 68 : 80;
    if (!ReadAll(file, b, 157 + materialBytes)) return false;
    m_flag1 = b[0];
    m_flag2 = b[1];
    m_fillMode = b[2];
    m_shadeMode = b[3];
    m_lineRepeat = LE_LoadU16(b + 4);
    m_linePattern = LE_LoadU16(b + 6);
    const uint8_t* s = b + 8;
    m_rop2 = s[0];
    m_zWrite = s[1];
    m_alphaTest = s[2];
    m_alphaRef = s[3];
    m_alphaFunc = s[4];
    m_lastPixel = s[5];
    m_srcBlend = s[6];
    m_destBlend = s[7];
    m_zFunc = s[8];
    m_alphaBlend = s[9];
    m_fog = s[10];
    m_specular = s[11];
    m_stipple = s[12];
    m_edgeAntialias = s[13];
    m_colorKey = s[14];
    m_zBias = s[15];
    m_textureFactor = LE_LoadU32(b + 24);
    for (int i = 0; i < 32; ++i) m_stipplePattern[i] = LE_LoadU32(b + 28 + 4 * i);
    m_colorVertex = b[156];
    const uint8_t* m = b + 157 + (version >= 20 ? 0 : 4);  // the older form starts with its size
    LoadColor(m, m_lightingMaterial.diffuse);
    LoadColor(m + 16, m_lightingMaterial.ambient);
    LoadColor(m + 32, m_lightingMaterial.specular);
    LoadColor(m + 48, m_lightingMaterial.emissive);
    m_lightingMaterial.power = LoadFloat(m + 64);
    return true;
}

namespace {
// The capability bits that go with a shade mode: its colour, fog, blending,
// stippled alpha and specular bits.
struct SShadeBits {
    uint32_t color, fog, blend, stipple, specular;
};
SShadeBits ShadeBits(uint32_t mode) {
    switch (mode) {
        case D3DSHADE_PHONG:
            return {D3DPSHADECAPS_COLORPHONGRGB, D3DPSHADECAPS_FOGPHONG, D3DPSHADECAPS_ALPHAPHONGBLEND,
                    D3DPSHADECAPS_ALPHAPHONGSTIPPLED, D3DPSHADECAPS_SPECULARPHONGRGB};
        case D3DSHADE_GOURAUD:
            return {D3DPSHADECAPS_COLORGOURAUDRGB, D3DPSHADECAPS_FOGGOURAUD, D3DPSHADECAPS_ALPHAGOURAUDBLEND,
                    D3DPSHADECAPS_ALPHAGOURAUDSTIPPLED, D3DPSHADECAPS_SPECULARGOURAUDRGB};
        default:
            return {D3DPSHADECAPS_COLORFLATRGB, D3DPSHADECAPS_FOGFLAT, D3DPSHADECAPS_ALPHAFLATBLEND,
                    D3DPSHADECAPS_ALPHAFLATSTIPPLED, D3DPSHADECAPS_SPECULARFLATRGB};
    }
}

// The device's capabilities for what is drawn: triangles, or lines and points.
const D3DPRIMCAPS& PrimitiveCaps(const CE3DDevice* device, const SE3DPassLimits& limits) {
    return limits.lines ? device->m_workingCaps.dpcLineCaps : device->m_workingCaps.dpcTriCaps;
}
}  // namespace

void CE3DRenderStates::Apply(CE3DDevice* device, const SE3DPassLimits& limits) const {
    if (!device) return;
    const D3DPRIMCAPS& prim = PrimitiveCaps(device, limits);
    auto cap = [](uint8_t v, uint8_t limit) -> uint32_t { return v > limit ? limit : v; };
    device->SetRenderState(D3DRENDERSTATE_FILLMODE, cap(m_fillMode, limits.maxFillMode));
    // A shade mode the device cannot colour falls back, Phong to Gouraud to
    // flat; the mode chosen decides which fog, blending and specular bits
    // count below.
    uint32_t shade = cap(m_shadeMode, limits.maxShadeMode);
    if (shade >= D3DSHADE_PHONG && !(prim.dwShadeCaps & D3DPSHADECAPS_COLORPHONGRGB))
        shade = D3DSHADE_GOURAUD;
    if (shade == D3DSHADE_GOURAUD && !(prim.dwShadeCaps & D3DPSHADECAPS_COLORGOURAUDRGB))
        shade = D3DSHADE_FLAT;
    device->SetRenderState(D3DRENDERSTATE_SHADEMODE, shade);
    const SShadeBits bits = ShadeBits(shade);
    device->SetRenderState(D3DRENDERSTATE_LINEPATTERN, uint32_t(m_lineRepeat) | uint32_t(m_linePattern)
                                                                                    << 16);
    device->SetRenderState(D3DRENDERSTATE_ROP2, m_rop2);
    device->SetRenderState(D3DRENDERSTATE_ZWRITEENABLE, m_zWrite);
    // Alpha testing needs a device that compares (with more than never and
    // always) by this block's function.
    const uint32_t compares = prim.dwAlphaCmpCaps;
    const bool alphaTest = m_alphaTest &&
                           (compares & ~(D3D_CompareCap(D3DCMP_NEVER) | D3D_CompareCap(D3DCMP_ALWAYS))) &&
                           (compares & D3D_CompareCap(m_alphaFunc));
    device->SetRenderState(D3DRENDERSTATE_ALPHATESTENABLE, alphaTest ? 1 : 0);
    if (alphaTest) {
        device->SetRenderState(D3DRENDERSTATE_ALPHAREF, m_alphaRef);
        device->SetRenderState(D3DRENDERSTATE_ALPHAFUNC, m_alphaFunc);
    }
    device->SetRenderState(D3DRENDERSTATE_LASTPIXEL, m_lastPixel);
    device->SetRenderState(D3DRENDERSTATE_SRCBLEND, m_srcBlend);
    device->SetRenderState(D3DRENDERSTATE_DESTBLEND, m_destBlend);
    device->SetRenderState(D3DRENDERSTATE_ZFUNC, m_zFunc);
    // Blending where the device blends in this shade mode; else stippled
    // alpha where the scene allows it and the device stipples; else neither.
    const bool blend = m_alphaBlend && limits.alphaBlending;
    const bool blended = blend && (prim.dwShadeCaps & bits.blend);
    const bool stippled = blend && !blended && limits.stippledAlpha && (prim.dwShadeCaps & bits.stipple);
    device->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, blended || stippled ? 1 : 0);
    device->SetRenderState(D3DRENDERSTATE_STIPPLEDALPHA, stippled ? 1 : 0);
    device->SetRenderState(D3DRENDERSTATE_FOGENABLE,
                           m_fog && limits.fog && (prim.dwShadeCaps & bits.fog) ? 1 : 0);
    device->SetRenderState(D3DRENDERSTATE_RANGEFOGENABLE,
                           limits.rangeFog && (prim.dwRasterCaps & D3DPRASTERCAPS_FOGRANGE) ? 1 : 0);
    device->SetRenderState(
        D3DRENDERSTATE_ANTIALIAS,
        limits.antialiasing && (prim.dwRasterCaps & D3DPRASTERCAPS_ANTIALIASSORTINDEPENDENT)
            ? D3DANTIALIAS_SORTINDEPENDENT
            : D3DANTIALIAS_NONE);
    device->SetRenderState(D3DRENDERSTATE_SPECULARENABLE,
                           m_specular && (prim.dwShadeCaps & bits.specular) ? 1 : 0);
    device->SetRenderState(D3DRENDERSTATE_STIPPLEENABLE, m_stipple);
    device->SetRenderState(D3DRENDERSTATE_DITHERENABLE,
                           limits.dither && (prim.dwRasterCaps & D3DPRASTERCAPS_DITHER) ? 1 : 0);
    device->SetRenderState(D3DRENDERSTATE_EDGEANTIALIAS, m_edgeAntialias);
    device->SetRenderState(D3DRENDERSTATE_COLORKEYENABLE, m_colorKey);
    device->SetRenderState(D3DRENDERSTATE_ZBIAS, m_zBias);
    device->SetRenderState(D3DRENDERSTATE_TEXTUREFACTOR, m_textureFactor);
    if (m_stipple)
        for (uint32_t i = 0; i < 32; ++i)
            device->SetRenderState(D3DRENDERSTATE_STIPPLEPATTERN00 + i, m_stipplePattern[i]);
    device->SetRenderState(D3DRENDERSTATE_COLORVERTEX, m_colorVertex && limits.colorVertex ? 1 : 0);
    if (device->m_lastLightingStates != this && device->m_device) {
        device->m_device->SetMaterial(m_lightingMaterial);
        device->m_lastLightingStates = this;
    }
}

// ---------------------------------------------------------------------------
// Texture-stage block.

CE3DTextureStage::CE3DTextureStage(CE3DScreen* screen, int stage) : m_screen(screen) {
    if (stage > 0) m_colorOp = m_alphaOp = D3DTOP_DISABLE;
    if (m_screen) m_texture = m_screen->FindTexture(0, 0);
}

void CE3DTextureStage::CopyFrom(const CE3DTextureStage& o) {
    CE3DScreen* screen = m_screen;
    *this = o;
    m_screen = screen;
}

bool CE3DTextureStage::Load(CVFSFile& file, int version) {
    if (version < 5) return true;
    // 9 + 4 + 3 + 4 + 3 bytes, the project id (u16, or u32 before version 20),
    // the texture id and the last word.
    const uint32_t projectBytes = version >= 20 ? 2 : 4;
    uint8_t b[23 + 4 + 8];
    if (!ReadAll(file, b, 23 + projectBytes + 8)) return false;
    m_colorArg1 = b[0];
    m_colorArg2 = b[1];
    m_colorOp = b[2];
    m_alphaArg1 = b[3];
    m_alphaArg2 = b[4];
    m_alphaOp = b[5];
    m_texCoordIndex = b[6];
    m_addressU = b[7];
    m_addressV = b[8];
    m_borderColor = LE_LoadU32(b + 9);
    m_magFilter = b[13];
    m_minFilter = b[14];
    m_mipFilter = b[15];
    m_lodBias = LE_LoadU32(b + 16);
    m_maxMipLevel = b[20];
    m_byte = b[21];
    m_wrap = b[22];
    m_textureProject = LE_LoadU16(b + 23);  // the low half of the older u32
    m_textureId = LE_LoadU32(b + 23 + projectBytes);
    m_last = LE_LoadU32(b + 27 + projectBytes);
    return true;
}

namespace {
// The next weaker texture operation, for a device that lacks one: the
// modulations step down to a plain modulation and then to the first
// argument alone, the additions to a plain addition, the blends to the first
// argument; DISABLE ends every chain.
uint32_t WeakerTextureOp(uint32_t op) {
    switch (op) {
        case D3DTOP_MODULATE4X:
            return D3DTOP_MODULATE2X;
        case D3DTOP_MODULATE2X:
        case D3DTOP_MODULATECOLOR_ADDALPHA:
        case D3DTOP_MODULATEINVCOLOR_ADDALPHA:
        case D3DTOP_DOTPRODUCT3:
            return D3DTOP_MODULATE;
        case D3DTOP_ADDSIGNED2X:
            return D3DTOP_ADDSIGNED;
        case D3DTOP_ADDSIGNED:
        case D3DTOP_ADDSMOOTH:
        case D3DTOP_MODULATEALPHA_ADDCOLOR:
        case D3DTOP_MODULATEINVALPHA_ADDCOLOR:
            return D3DTOP_ADD;
        case D3DTOP_BLENDTEXTUREALPHAPM:
            return D3DTOP_BLENDTEXTUREALPHA;
        case D3DTOP_BUMPENVMAPLUMINANCE:
            return D3DTOP_BUMPENVMAP;
        case D3DTOP_BUMPENVMAP:  // the stage only passes the colour on
            return D3DTOP_SELECTARG2;
        case D3DTOP_MODULATE:
        case D3DTOP_ADD:
        case D3DTOP_SUBTRACT:
        case D3DTOP_BLENDDIFFUSEALPHA:
        case D3DTOP_BLENDTEXTUREALPHA:
        case D3DTOP_BLENDFACTORALPHA:
        case D3DTOP_BLENDCURRENTALPHA:
        case D3DTOP_PREMODULATE:
            return D3DTOP_SELECTARG1;
        default:
            return D3DTOP_DISABLE;
    }
}

uint32_t SupportedTextureOp(uint32_t op, uint32_t caps) {
    while (op != D3DTOP_DISABLE && !(caps & D3D_TextureOpCap(op))) op = WeakerTextureOp(op);
    return op;
}

// An address mode the device lacks: border to clamp, anything to wrap.
uint32_t SupportedAddress(uint32_t mode, uint32_t caps) {
    if (mode == D3DTADDRESS_BORDER && !(caps & D3DPTADDRESSCAPS_BORDER)) mode = D3DTADDRESS_CLAMP;
    if (mode == D3DTADDRESS_CLAMP && !(caps & D3DPTADDRESSCAPS_CLAMP)) mode = D3DTADDRESS_WRAP;
    if (mode == D3DTADDRESS_MIRROR && !(caps & D3DPTADDRESSCAPS_MIRROR)) mode = D3DTADDRESS_WRAP;
    return mode;
}

// The filters within the scene's limits and the device's filter caps:
// anisotropic and cubic filters fall back to linear, linear to point (and a
// mip filter to none).
uint32_t SupportedMagFilter(uint32_t f, uint32_t limit, uint32_t caps) {
    f = f > limit ? limit : f;
    if ((f == D3DTFG_ANISOTROPIC && !(caps & D3DPTFILTERCAPS_MAGFANISOTROPIC)) ||
        (f == D3DTFG_GAUSSIANCUBIC && !(caps & D3DPTFILTERCAPS_MAGFGAUSSIANCUBIC)) ||
        (f == D3DTFG_FLATCUBIC && !(caps & D3DPTFILTERCAPS_MAGFAFLATCUBIC)))
        f = D3DTFG_LINEAR;
    if (f == D3DTFG_LINEAR && !(caps & D3DPTFILTERCAPS_MAGFLINEAR)) f = D3DTFG_POINT;
    return f;
}
uint32_t SupportedMinFilter(uint32_t f, uint32_t limit, uint32_t caps) {
    f = f > limit ? limit : f;
    if (f == D3DTFN_ANISOTROPIC && !(caps & D3DPTFILTERCAPS_MINFANISOTROPIC)) f = D3DTFN_LINEAR;
    if (f == D3DTFN_LINEAR && !(caps & D3DPTFILTERCAPS_MINFLINEAR)) f = D3DTFN_POINT;
    return f;
}
uint32_t SupportedMipFilter(uint32_t f, uint32_t limit, uint32_t caps) {
    f = f > limit ? limit : f;
    if (f >= D3DTFP_LINEAR && !(caps & D3DPTFILTERCAPS_MIPFLINEAR)) f = D3DTFP_POINT;
    if (f >= D3DTFP_POINT && !(caps & (D3DPTFILTERCAPS_MIPFPOINT | D3DPTFILTERCAPS_MIPFLINEAR)))
        f = D3DTFP_NONE;
    return f;
}
}  // namespace

void CE3DTextureStage::Apply(CE3DDevice* device, uint32_t s, const SE3DPassLimits& limits) const {
    if (!device) return;
    const D3DDEVICEDESC7& caps = device->m_workingCaps;
    const D3DPRIMCAPS& prim = PrimitiveCaps(device, limits);
    device->SetTextureStageState(s, D3DTSS_COLORARG1, m_colorArg1);
    device->SetTextureStageState(s, D3DTSS_COLORARG2, m_colorArg2);
    device->SetTextureStageState(s, D3DTSS_COLOROP, SupportedTextureOp(m_colorOp, caps.dwTextureOpCaps));
    device->SetTextureStageState(s, D3DTSS_ALPHAARG1, m_alphaArg1);
    device->SetTextureStageState(s, D3DTSS_ALPHAARG2, m_alphaArg2);
    device->SetTextureStageState(s, D3DTSS_ALPHAOP, SupportedTextureOp(m_alphaOp, caps.dwTextureOpCaps));
    // A coordinate set the device does not have: its last one.
    const uint32_t sets = caps.dwFVFCaps & kD3DFVFCapsTexCoordMask;
    uint32_t index = m_texCoordIndex;
    if ((index & kD3DTexCoordIndexMask) >= sets && sets > 0)
        index = (index & ~kD3DTexCoordIndexMask) | (sets - 1);
    device->SetTextureStageState(s, D3DTSS_TEXCOORDINDEX, index);
    const uint32_t address = prim.dwTextureAddressCaps;
    const uint32_t u = SupportedAddress(m_addressU, address);
    // A device that cannot address u and v apart takes u's mode for both.
    const uint32_t v = (address & D3DPTADDRESSCAPS_INDEPENDENTUV) ? SupportedAddress(m_addressV, address) : u;
    device->SetTextureStageState(s, D3DTSS_ADDRESSU, u);
    device->SetTextureStageState(s, D3DTSS_ADDRESSV, v);
    if (u == D3DTADDRESS_BORDER || v == D3DTADDRESS_BORDER)
        device->SetTextureStageState(s, D3DTSS_BORDERCOLOR, m_borderColor);
    const uint32_t filters = prim.dwTextureFilterCaps;
    device->SetTextureStageState(s, D3DTSS_MAGFILTER,
                                 SupportedMagFilter(m_magFilter, limits.maxMagFilter, filters));
    device->SetTextureStageState(s, D3DTSS_MINFILTER,
                                 SupportedMinFilter(m_minFilter, limits.maxMinFilter, filters));
    device->SetTextureStageState(s, D3DTSS_MIPFILTER,
                                 SupportedMipFilter(m_mipFilter, limits.maxMipFilter, filters));
    if (limits.lodBias) device->SetTextureStageState(s, D3DTSS_MIPMAPLODBIAS, m_lodBias);
    device->SetTextureStageState(
        s, D3DTSS_MAXMIPLEVEL, m_maxMipLevel > limits.minMaxMipLevel ? m_maxMipLevel : limits.minMaxMipLevel);
    device->SetRenderState(D3DRENDERSTATE_WRAP0 + s, m_wrap);
    device->SetTexture(s, m_texture && limits.textures ? m_texture->StageSurface(s) : nullptr);
}

// ---------------------------------------------------------------------------
// Passes.

CE3DMaterialPass::CE3DMaterialPass(CE3DMaterial* material, int stages)
    : m_material(material), m_stageCount(stages) {
    m_states = new CE3DRenderStates(material);
    for (int i = 0; i < stages; ++i) m_stages[i] = new CE3DTextureStage(material->m_screen, i);
    CE3DMaterialPass*& head = material->m_passHead[stages - 1];
    CE3DMaterialPass*& tail = material->m_passTail[stages - 1];
    m_prev = tail;
    if (tail)
        tail->m_next = this;
    else
        head = this;
    tail = this;
}

CE3DMaterialPass::~CE3DMaterialPass() {
    delete m_states;
    for (CE3DTextureStage* s : m_stages) delete s;
    CE3DMaterialPass*& head = m_material->m_passHead[m_stageCount - 1];
    CE3DMaterialPass*& tail = m_material->m_passTail[m_stageCount - 1];
    if (m_prev)
        m_prev->m_next = m_next;
    else
        head = m_next;
    if (m_next)
        m_next->m_prev = m_prev;
    else
        tail = m_prev;
}

bool CE3DMaterialPass::Load(CVFSFile& file, int version) {
    if (version < 5) return true;
    if (!m_states->Load(file, version)) return false;
    for (int i = 0; i < m_stageCount; ++i)
        if (!m_stages[i]->Load(file, version)) return false;
    return true;
}

void CE3DMaterialPass::CopyFrom(const CE3DMaterialPass& o) {
    m_states->CopyFrom(*o.m_states);
    for (int i = 0; i < m_stageCount && i < o.m_stageCount; ++i) m_stages[i]->CopyFrom(*o.m_stages[i]);
}

void CE3DMaterialPass::Apply(CE3DDevice* device, const SE3DPassLimits& limits) const {
    if (!device) return;
    m_states->Apply(device, limits);
    for (int i = 0; i < m_stageCount; ++i) m_stages[i]->Apply(device, uint32_t(i), limits);
    if (m_stageCount < 3) {
        device->SetTextureStageState(uint32_t(m_stageCount), D3DTSS_COLOROP, D3DTOP_DISABLE);
        device->SetTextureStageState(uint32_t(m_stageCount), D3DTSS_ALPHAOP, D3DTOP_DISABLE);
    }
}

// ---------------------------------------------------------------------------
// Material.

namespace {
using SMaterialLinks = SListLinks<CE3DMaterial, &CE3DMaterial::m_next, &CE3DMaterial::m_prev>;
}

CE3DMaterial::CE3DMaterial(CE3DScreen* screen, const char* name) : m_screen(screen) {
    if (m_screen) {
        m_projectId = uint16_t(m_screen->m_engine ? m_screen->m_engine->m_idSet : 0);
        m_materialId = m_screen->m_materialNumber++;
        SMaterialLinks::Push(m_screen->m_materials, this);
        ++m_screen->m_materialCount;
    }
    if (name)
        m_name = name;
    else
        m_name.Format("Material %d", int(m_materialId));
    new CE3DMaterialPass1(this);
    new CE3DMaterialPass2(this);
    new CE3DMaterialPass3(this);
}

CE3DMaterial::~CE3DMaterial() {
    if (m_screen) {
        SMaterialLinks::Unlink(m_screen->m_materials, this);
        --m_screen->m_materialCount;
    }
    ClearPasses();
}

void CE3DMaterial::ClearPasses() {
    for (int k = 0; k < 3; ++k)
        while (m_passHead[k]) delete m_passHead[k];
}

CE3DMaterialPass* CE3DMaterial::AddPass(int stages) {
    switch (stages) {
        case 1:
            return new CE3DMaterialPass1(this);
        case 2:
            return new CE3DMaterialPass2(this);
        case 3:
            return new CE3DMaterialPass3(this);
        default:
            return nullptr;
    }
}

int CE3DMaterial::PassCount(int stages) const {
    int n = 0;
    for (CE3DMaterialPass* p = m_passHead[stages - 1]; p; p = p->m_next) ++n;
    return n;
}

void CE3DMaterial::Copy(const CE3DMaterial& source) {
    if (&source == this) return;
    ClearPasses();
    m_twoSided = source.m_twoSided;
    m_lit = source.m_lit;
    m_name.Format("Copy of: %s", source.m_name.GetText());
    for (int k = 1; k <= 3; ++k)
        for (CE3DMaterialPass* p = source.Passes(k); p; p = p->m_next) AddPass(k)->CopyFrom(*p);
}

void CE3DMaterial::RefreshTextures() {
    if (!m_screen) return;
    for (int k = 0; k < 3; ++k)
        for (CE3DMaterialPass* p = m_passHead[k]; p; p = p->m_next)
            for (int i = 0; i < p->StageCount(); ++i) {
                CE3DTextureStage* s = p->m_stages[i];
                s->m_texture = m_screen->FindTexture(s->m_textureProject, s->m_textureId);
                if (s->m_texture) {
                    s->m_textureProject = s->m_texture->m_projectId;
                    s->m_textureId = s->m_texture->m_textureId;
                }
            }
}

int CE3DMaterial::DrawLevel(int level) const {
    if (level < 1) level = 1;
    if (level > 3) level = 3;
    while (level > 1 && !m_passHead[level - 1]) --level;
    return level;
}

void CE3DMaterial::ApplyDrawStates(CE3DDevice* device, bool sceneLights, const SE3DPassLimits& limits) const {
    const bool canCullNone = (device->m_reportedCaps.dpcTriCaps.dwMiscCaps & D3DPMISCCAPS_CULLNONE) != 0;
    const bool none = !limits.culling || (m_twoSided && canCullNone);
    device->SetRenderState(D3DRENDERSTATE_CULLMODE, none ? D3DCULL_NONE : D3DCULL_CCW);
    device->SetRenderState(D3DRENDERSTATE_LIGHTING, sceneLights && m_lit ? 1 : 0);
}

void CE3DMaterial::DrawQueued(CE3DDevice* device, int level, bool sceneLights, const SE3DPassLimits& limits,
                              SE3DDrawCounts* counts) {
    CE3DVertexList* queues[2] = {m_triangleQueue, m_otherQueue};
    m_triangleQueue = m_otherQueue = nullptr;
    if (!device || !device->m_device || (!queues[0] && !queues[1])) return;
    level = DrawLevel(level);
    ApplyDrawStates(device, sceneLights, limits);
    // Triangles and the rest (lines, points) each by the device's
    // capabilities for them.
    SE3DPassLimits forLines = limits;
    forLines.lines = true;
    for (CE3DMaterialPass* p = m_passHead[level - 1]; p; p = p->m_next)
        for (int k = 0; k < 2; ++k) {
            if (!queues[k]) continue;
            p->Apply(device, k ? forLines : limits);
            for (CE3DVertexList* l = queues[k]; l; l = l->m_nextQueued) {
                if (!l->m_vertexCount || (l->m_indexed && (!l->m_drawIndices || !l->Indices()))) continue;
                if (l->m_owner) device->m_device->SetTransform(D3DTRANSFORMSTATE_WORLD, l->m_owner->m_render);
                int32_t primitives = 0;
                if (l->Draw(device->m_device, l->Indices(), l->m_drawIndices, &primitives) && counts) {
                    ++counts->draws;
                    counts->primitives += primitives;
                }
            }
        }
}
