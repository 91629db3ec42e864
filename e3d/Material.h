// CE3DMaterial: how geometry is drawn. A material holds three lists of passes,
// one per number of texture stages a device can use at once (one, two or
// three); each pass has one render-state block and one texture-stage block
// per stage. The scene render picks the list that matches the device, applies
// each pass's blocks and draws the material's queued vertex lists once per
// pass. The screen keeps every material in one registry and finds them by id
// pair (project id, material id) and by name.
//
// Stored records (little-endian, fields in the order below):
//   render-state block, version 20 on: flag, flag, fill mode, shade mode (u8
//     each); line repeat factor, line pattern (u16 each); sixteen u8 from the
//     raster operation to the z bias; u32 texture factor; 32 u32 of stipple
//     pattern; u8 colour vertex; the lighting material as 17 floats (diffuse,
//     ambient, specular, emissive as r, g, b, a each; power).
//   versions 8 to 19: the same up to the colour-vertex byte, then the older
//     80-byte material: u32 size, the four colours, power, u32 texture handle,
//     u32 ramp size (the colours and power are kept).
//   versions 5 to 7: nothing.
//   texture-stage block, version 20 on: nine u8 (colour args 1 and 2, colour
//     op, alpha args 1 and 2, alpha op, texture-coordinate index, address u,
//     address v); u32 border colour; three u8 filters (mag, min, mip); u32 mip
//     level-of-detail bias; three u8 (largest mip level, a byte, wrap flags);
//     u16 texture project id; u32 texture id; u32 (the last word).
//   versions 5 to 19: the same, with the texture project id as a u32 whose low
//     16 bits are kept.
//   a pass: nothing below version 5; otherwise its render-state block and then
//     each stage's block in order.
// A short read refuses the record: the block keeps what it had.
#pragma once

#include <cstdint>

#include "core/StrBuf.h"
#include "platform/d3d/D3DTypes.h"

class CE3DScreen;
class CE3DTexture;
class CE3DMaterial;
class CE3DVertexList;
class CE3DDevice;
class CVFSFile;

// What the scene allows on top of a pass's own states: the scene render's
// switches and limits. What the device itself cannot do is lowered too, by
// its capabilities for the primitives drawn (triangles, or lines and points).
struct SE3DPassLimits {
    uint8_t maxFillMode = D3DFILL_SOLID;
    uint8_t maxShadeMode = D3DSHADE_PHONG;
    uint8_t maxMagFilter = D3DTFG_ANISOTROPIC;
    uint8_t maxMinFilter = D3DTFN_ANISOTROPIC;
    uint8_t maxMipFilter = D3DTFP_LINEAR;
    uint8_t minMaxMipLevel = 0;  // largest mip level is never below this
    bool lodBias = true;         // the device takes a mip level-of-detail bias
    bool culling = true;         // back faces culled (two-sided materials aside)
    // The scene's switches: stages get their textures, blocks may blend, may
    // fog (range fog besides), the scene asks for anti-aliasing, blending may
    // fall back to stippled alpha, vertex colours count, dithering.
    bool textures = true;
    bool alphaBlending = true;
    bool fog = true;
    bool rangeFog = false;
    bool antialiasing = false;
    bool stippledAlpha = true;
    bool colorVertex = true;
    bool dither = true;
    // The draw is of lines or points: the device's line capabilities apply.
    bool lines = false;
};

// What a draw of queued work sent to the device.
struct SE3DDrawCounts {
    int32_t draws = 0;
    int32_t primitives = 0;
};

class CE3DRenderStates {
public:
    explicit CE3DRenderStates(CE3DMaterial* material);
    ~CE3DRenderStates();
    CE3DRenderStates(const CE3DRenderStates&) = delete;

    // Every field but the owning material.
    void CopyFrom(const CE3DRenderStates& other);
    // False (and nothing changed) when the record is cut short.
    bool Load(CVFSFile& file, int version);
    // Sets the block's states on the device (through its state cache) and its
    // lighting material when the device does not have this block's already.
    void Apply(CE3DDevice* device, const SE3DPassLimits& limits) const;

    uint8_t m_flag1 = 1;
    uint8_t m_flag2 = 1;
    uint8_t m_fillMode = D3DFILL_SOLID;
    uint8_t m_shadeMode = D3DSHADE_GOURAUD;
    uint16_t m_lineRepeat = 1;
    uint16_t m_linePattern = 0xFFFF;
    uint8_t m_rop2 = 13;  // R2_COPYPEN
    uint8_t m_zWrite = 1;
    uint8_t m_alphaTest = 0;
    uint8_t m_alphaRef = 0;
    uint8_t m_alphaFunc = D3DCMP_ALWAYS;
    uint8_t m_lastPixel = 0;
    uint8_t m_srcBlend = D3DBLEND_ONE;
    uint8_t m_destBlend = D3DBLEND_ZERO;
    uint8_t m_zFunc = D3DCMP_LESSEQUAL;
    uint8_t m_alphaBlend = 0;
    uint8_t m_fog = 1;
    uint8_t m_specular = 0;
    uint8_t m_stipple = 0;
    uint8_t m_edgeAntialias = 0;
    uint8_t m_colorKey = 0;
    uint8_t m_zBias = 0;
    uint32_t m_textureFactor = 0;
    uint32_t m_stipplePattern[32];
    uint8_t m_colorVertex = 1;
    CE3DMaterial* m_material;
    D3DMATERIAL7 m_lightingMaterial;

private:
    // Every field, the owner too: CopyFrom puts its own owner back.
    CE3DRenderStates& operator=(const CE3DRenderStates&) = default;
};

class CE3DTextureStage {
public:
    // Stage index s of its pass; later stages start disabled.
    CE3DTextureStage(CE3DScreen* screen, int stage);
    CE3DTextureStage(const CE3DTextureStage&) = delete;

    // Every field but the screen (the texture pointer and id pair included).
    void CopyFrom(const CE3DTextureStage& other);
    bool Load(CVFSFile& file, int version);
    // Sets stage s's states and texture on the device (through its cache).
    void Apply(CE3DDevice* device, uint32_t stage, const SE3DPassLimits& limits) const;

    uint8_t m_colorArg1 = D3DTA_TEXTURE;
    uint8_t m_colorArg2 = D3DTA_DIFFUSE;
    uint8_t m_colorOp = D3DTOP_MODULATE;
    uint8_t m_alphaArg1 = D3DTA_TEXTURE;
    uint8_t m_alphaArg2 = D3DTA_DIFFUSE;
    uint8_t m_alphaOp = D3DTOP_MODULATE;
    uint8_t m_texCoordIndex = 0;
    uint8_t m_addressU = D3DTADDRESS_WRAP;
    uint8_t m_addressV = D3DTADDRESS_WRAP;
    uint32_t m_borderColor = 0x0FFFFFFF;
    uint8_t m_magFilter = D3DTFG_ANISOTROPIC;
    uint8_t m_minFilter = D3DTFN_ANISOTROPIC;
    uint8_t m_mipFilter = D3DTFP_LINEAR;
    uint32_t m_lodBias = 0;
    uint8_t m_maxMipLevel = 0;
    uint8_t m_byte = 1;
    uint8_t m_wrap = 0;
    uint16_t m_textureProject = 0;
    uint32_t m_textureId = 0;
    CE3DTexture* m_texture = nullptr;
    CE3DScreen* m_screen;
    uint32_t m_last = 1;

private:
    // Every field, the screen too: CopyFrom puts its own screen back.
    CE3DTextureStage& operator=(const CE3DTextureStage&) = default;
};

// One pass of one, two or three stages (CE3DMaterialPass1, 2, 3 below).
class CE3DMaterialPass {
public:
    ~CE3DMaterialPass();
    CE3DMaterialPass(const CE3DMaterialPass&) = delete;
    CE3DMaterialPass& operator=(const CE3DMaterialPass&) = delete;

    bool Load(CVFSFile& file, int version);
    // The render states and stages of a pass with the same stage count.
    void CopyFrom(const CE3DMaterialPass& other);
    // The render states, then every stage; stages beyond the pass's own are
    // disabled on the device.
    void Apply(CE3DDevice* device, const SE3DPassLimits& limits) const;
    int StageCount() const { return m_stageCount; }

    CE3DMaterial* m_material;
    CE3DRenderStates* m_states;
    CE3DTextureStage* m_stages[3] = {nullptr, nullptr, nullptr};
    CE3DMaterialPass* m_prev = nullptr;
    CE3DMaterialPass* m_next = nullptr;

protected:
    // Appends itself at the tail of the material's list of its stage count.
    CE3DMaterialPass(CE3DMaterial* material, int stages);

private:
    int m_stageCount;
};

class CE3DMaterialPass1 : public CE3DMaterialPass {
public:
    explicit CE3DMaterialPass1(CE3DMaterial* material) : CE3DMaterialPass(material, 1) {}
};
class CE3DMaterialPass2 : public CE3DMaterialPass {
public:
    explicit CE3DMaterialPass2(CE3DMaterial* material) : CE3DMaterialPass(material, 2) {}
};
class CE3DMaterialPass3 : public CE3DMaterialPass {
public:
    explicit CE3DMaterialPass3(CE3DMaterial* material) : CE3DMaterialPass(material, 3) {}
};

class CE3DMaterial {
public:
    // Joins the head of the screen's registry with the next id pair; named
    // "Material %d" with its id when no name is given. It starts with one
    // pass of each kind.
    CE3DMaterial(CE3DScreen* screen, const char* name = nullptr);
    virtual ~CE3DMaterial();
    CE3DMaterial(const CE3DMaterial&) = delete;
    CE3DMaterial& operator=(const CE3DMaterial&) = delete;

    // Takes the source's passes, two-sided and lit bytes; named "Copy of: %s".
    // The id pair and the registry place stay this material's own.
    virtual void Copy(const CE3DMaterial& source);
    // Every stage looks its texture up again by id pair (the default texture
    // when unknown) and takes the id pair of what it got.
    void RefreshTextures();
    // Destroys every pass of the three lists.
    void ClearPasses();
    // Passes of one, two or three stages.
    CE3DMaterialPass* Passes(int stages) const { return m_passHead[stages - 1]; }
    CE3DMaterialPass* AddPass(int stages);
    int PassCount(int stages) const;
    // Draws the vertex lists queued on the material with each pass of the
    // list for the device's stage level (the nearest smaller level that has
    // passes), each with its owner's render matrix as the world transform,
    // and empties the queues. Two-sided materials are drawn without culling;
    // lighting is on when the scene lights and the material is lit.
    void DrawQueued(CE3DDevice* device, int stageLevel, bool sceneLights, const SE3DPassLimits& limits,
                    SE3DDrawCounts* counts = nullptr);
    // The pass list drawn for a stage level: the nearest level at or below it
    // that has passes (1 to 3).
    int DrawLevel(int stageLevel) const;
    // Cull mode (none for a two-sided material the device can draw so, or
    // with culling off) and lighting (when the scene lights and the material
    // is lit), set before the passes.
    void ApplyDrawStates(CE3DDevice* device, bool sceneLights, const SE3DPassLimits& limits) const;

    uint32_t m_nodeType = 13;
    CE3DScreen* m_screen;
    CE3DMaterial* m_next = nullptr;
    CE3DMaterial* m_prev = nullptr;
    // Draw queues the scene render empties each frame: lists of three vertices
    // per face, and all others.
    CE3DVertexList* m_triangleQueue = nullptr;
    CE3DVertexList* m_otherQueue = nullptr;
    uint32_t m_queueState[2] = {0, 0};
    uint32_t m_words[2] = {0, 0};
    CStrBuf m_name;
    uint16_t m_projectId = 0;
    uint32_t m_materialId = 0;
    uint8_t m_flags = 0;  // a material with this set is passed over by FindMaterial
    uint8_t m_twoSided = 0;
    uint8_t m_lit = 1;
    CE3DMaterialPass* m_passHead[3] = {nullptr, nullptr, nullptr};
    CE3DMaterialPass* m_passTail[3] = {nullptr, nullptr, nullptr};
};
