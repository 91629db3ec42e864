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

void CE3DRenderStates::Apply(CE3DDevice* device, const SE3DPassLimits& limits) const {
    if (!device) return;
    auto cap = [](uint8_t v, uint8_t limit) -> uint32_t { return v > limit ? limit : v; };
    device->SetRenderState(D3DRENDERSTATE_FILLMODE, cap(m_fillMode, limits.maxFillMode));
    device->SetRenderState(D3DRENDERSTATE_SHADEMODE, cap(m_shadeMode, limits.maxShadeMode));
    device->SetRenderState(D3DRENDERSTATE_LINEPATTERN, uint32_t(m_lineRepeat) | uint32_t(m_linePattern)
                                                                                    << 16);
    device->SetRenderState(D3DRENDERSTATE_ROP2, m_rop2);
    device->SetRenderState(D3DRENDERSTATE_ZWRITEENABLE, m_zWrite);
    device->SetRenderState(D3DRENDERSTATE_ALPHATESTENABLE, m_alphaTest);
    device->SetRenderState(D3DRENDERSTATE_ALPHAREF, m_alphaRef);
    device->SetRenderState(D3DRENDERSTATE_ALPHAFUNC, m_alphaFunc);
    device->SetRenderState(D3DRENDERSTATE_LASTPIXEL, m_lastPixel);
    device->SetRenderState(D3DRENDERSTATE_SRCBLEND, m_srcBlend);
    device->SetRenderState(D3DRENDERSTATE_DESTBLEND, m_destBlend);
    device->SetRenderState(D3DRENDERSTATE_ZFUNC, m_zFunc);
    device->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, m_alphaBlend && limits.alphaBlending ? 1 : 0);
    device->SetRenderState(D3DRENDERSTATE_FOGENABLE, m_fog && limits.fog ? 1 : 0);
    device->SetRenderState(D3DRENDERSTATE_SPECULARENABLE, m_specular);
    device->SetRenderState(D3DRENDERSTATE_STIPPLEENABLE, m_stipple);
    device->SetRenderState(D3DRENDERSTATE_EDGEANTIALIAS, m_edgeAntialias);
    device->SetRenderState(D3DRENDERSTATE_COLORKEYENABLE, m_colorKey);
    device->SetRenderState(D3DRENDERSTATE_ZBIAS, m_zBias);
    device->SetRenderState(D3DRENDERSTATE_TEXTUREFACTOR, m_textureFactor);
    if (m_stipple)
        for (uint32_t i = 0; i < 32; ++i)
            device->SetRenderState(D3DRENDERSTATE_STIPPLEPATTERN00 + i, m_stipplePattern[i]);
    device->SetRenderState(D3DRENDERSTATE_COLORVERTEX, m_colorVertex);
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

void CE3DTextureStage::Apply(CE3DDevice* device, uint32_t s, const SE3DPassLimits& limits) const {
    if (!device) return;
    device->SetTextureStageState(s, D3DTSS_COLORARG1, m_colorArg1);
    device->SetTextureStageState(s, D3DTSS_COLORARG2, m_colorArg2);
    device->SetTextureStageState(s, D3DTSS_COLOROP, m_colorOp);
    device->SetTextureStageState(s, D3DTSS_ALPHAARG1, m_alphaArg1);
    device->SetTextureStageState(s, D3DTSS_ALPHAARG2, m_alphaArg2);
    device->SetTextureStageState(s, D3DTSS_ALPHAOP, m_alphaOp);
    device->SetTextureStageState(s, D3DTSS_TEXCOORDINDEX, m_texCoordIndex);
    device->SetTextureStageState(s, D3DTSS_ADDRESSU, m_addressU);
    device->SetTextureStageState(s, D3DTSS_ADDRESSV, m_addressV);
    if (m_addressU == D3DTADDRESS_BORDER || m_addressV == D3DTADDRESS_BORDER)
        device->SetTextureStageState(s, D3DTSS_BORDERCOLOR, m_borderColor);
    device->SetTextureStageState(s, D3DTSS_MAGFILTER, m_magFilter);
    device->SetTextureStageState(s, D3DTSS_MINFILTER, m_minFilter);
    // The mip filter never goes above what the scene and the device allow.
    uint32_t mip = m_mipFilter > limits.maxMipFilter ? limits.maxMipFilter : m_mipFilter;
    if (device->m_device) {
        const uint32_t caps = device->m_workingCaps.dpcTriCaps.dwTextureFilterCaps;
        if (mip >= D3DTFP_LINEAR && !(caps & D3DPTFILTERCAPS_MIPFLINEAR)) mip = D3DTFP_POINT;
        if (mip >= D3DTFP_POINT && !(caps & (D3DPTFILTERCAPS_MIPFPOINT | D3DPTFILTERCAPS_MIPFLINEAR)))
            mip = D3DTFP_NONE;
    }
    device->SetTextureStageState(s, D3DTSS_MIPFILTER, mip);
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
    const bool canCullNone =
        (device->m_reportedCaps.dpcTriCaps.dwMiscCaps & 0x10) != 0;  // D3DPMISCCAPS_CULLNONE
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
    for (CE3DMaterialPass* p = m_passHead[level - 1]; p; p = p->m_next) {
        p->Apply(device, limits);
        for (CE3DVertexList* q : queues)
            for (CE3DVertexList* l = q; l; l = l->m_nextQueued) {
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
