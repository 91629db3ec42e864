// What particle emitters, beams and lightning share: the pre-lit vertex
// they draw with (Direct3D's D3DFVF_LVERTEX layout), the seeds their random
// streams start from, and the turn of a direction into a frame's own axes.
#pragma once

#include <cstdint>

#include "platform/d3d/D3DTypes.h"

class CE3DFrame;
class CE3DMaterial;
class CE3DVertexList;

// Format 482: position, a reserved word, diffuse and specular colours, one
// pair of texture coordinates; 32 bytes.
struct SE3DLitVertex {
    float x, y, z;
    uint32_t reserved;
    uint32_t diffuse;
    uint32_t specular;
    float u, v;
};
static_assert(sizeof(SE3DLitVertex) == 32, "the lit vertex is 32 bytes");
constexpr uint32_t kE3DLitVertexFormat = D3DFVF_LVERTEX;
// The specular colour of the effects' vertices: black, and an alpha of 255,
// which for pre-lit vertices is the fog factor of no fog at all.
constexpr uint32_t kE3DNoFogSpecular = 0xFF000000u;

// The vertex list an effect draws: unindexed triangles of lit vertices, owned
// by the effect's frame, drawn with the material (null: set later). Its
// vertices are allocated by the effect.
CE3DVertexList* E3D_NewEffectList(CE3DFrame* owner, CE3DMaterial* material);

// The seed of the next effect made: a fixed sequence, so a run that makes
// the same effects in the same order draws the same pictures.
uint32_t E3D_NextEffectSeed();
// Starts that sequence again (tests).
void E3D_ResetEffectSeeds();

// The direction in the frame's own axes whose image through the matrix's
// rotation rows points along the given world direction, keeping the
// matrix's scale: direction x R^-1 x |R|^(1/3). The direction itself when
// the rows are singular.
void E3D_DirectionIntoFrame(const D3DMATRIX& m, const float direction[3], float out[3]);
// A world point in the frame's own coordinates: (point - translation) x R^-1;
// the point less the translation when the rows are singular.
void E3D_PointIntoFrame(const D3DMATRIX& m, const float point[3], float out[3]);
