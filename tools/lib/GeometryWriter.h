// Writers of the engine's geometry and appearance records, beside their
// readers in e3d/ (the layouts are described there): shape blocks and shapes
// (through their own serialisation), render-state blocks, texture-stage
// blocks, material passes, light records, and texture cache files. Each
// writes the form of the version asked, so tests can make records of every
// version the readers take, and corrupt ones by editing the bytes.
#pragma once

#include <cstdint>
#include <vector>

#include "e3d/LightRecord.h"
#include "platform/surface/SoftSurface.h"

class CE3DShapeBlock;
class CE3DShape;
class CE3DRenderStates;
class CE3DTextureStage;
class CE3DMaterialPass;

void ShapeBlock_Write(std::vector<uint8_t>& out, const CE3DShapeBlock& block);
void Shape_Write(std::vector<uint8_t>& out, const CE3DShape& shape, int version);
void RenderStates_Write(std::vector<uint8_t>& out, const CE3DRenderStates& states, int version);
void TextureStage_Write(std::vector<uint8_t>& out, const CE3DTextureStage& stage, int version);
// The pass's render states, then each of its stages.
void MaterialPass_Write(std::vector<uint8_t>& out, const CE3DMaterialPass& pass, int version);
void LightRecord_Write(std::vector<uint8_t>& out, const SE3DLightRecord& light, int version);

// A texture cache file: the stamp, the description, height x pitch bytes of
// pixels and, with palette caps, the palette's entries (4 bytes each).
struct STexCacheForm {
    uint32_t stamp = 0;
    SDDSurfaceDesc desc;
    const uint8_t* pixels = nullptr;  // desc.height x desc.pitch bytes
    uint32_t paletteCaps = 0;         // 0: no palette
    const uint8_t* palette = nullptr;
};
void TexCache_Write(std::vector<uint8_t>& out, const STexCacheForm& form);
