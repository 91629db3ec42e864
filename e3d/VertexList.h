// CE3DVertexList: the drawable copy of one shape block inside one mesh (or
// the vertex store of a beam, a lightning bolt or a particle emitter):
// vertices in a flexible vertex format, an index list, a material, the
// current animation state and the state of the shatter effect that breaks a
// mesh into flying faces.
#pragma once

#include <cstdint>
#include <vector>

#include "e3d/ShapeBlock.h"
#include "platform/d3d/Direct3D.h"

class CE3DScreen;
class CE3DMaterial;
class CE3DFrame;
class ID3DDevice;

class CE3DVertexList {
public:
    // Links itself at the head of the owner's chain; with a block, copies its
    // animation state, face layout, index count and scratch buffer.
    CE3DVertexList(CE3DVertexList** chain, CE3DFrame* owner, CE3DScreen* screen, CE3DShapeBlock* block);
    virtual ~CE3DVertexList();
    CE3DVertexList(const CE3DVertexList&) = delete;
    CE3DVertexList& operator=(const CE3DVertexList&) = delete;

    // The block's model-vertex layout and vertex count (the mesh fills them).
    void AllocFromBlock();
    // The beam and lightning layout: (F AND 0x300) OR 0x052 of the block's
    // flags, or the format already set when there is no block.
    void AllocLit(uint32_t vertexCount);
    // An index list of the list's own.
    void AllocIndices(uint32_t faces, uint32_t perFace);
    void AllocOwnIndices();
    // The block's index list, shared.
    void ShareBlockIndices();

    // Draws only the leading faces.
    void SetVisibleFraction(float fraction);
    // Tints the vertices (with diffuse colours only).
    void SetColor(float r, float g, float b);
    // Texture coordinates from the normals seen through viewWorld (row-major
    // 4 x 4, row vectors), for the stages whose flag is set.
    void ComputeEnvironmentUVs(const float viewWorld[16]);
    void JitterOffset(float amount);
    void JitterScale(float amount);
    // Breaks the list into flying faces; false when there is nothing to break.
    bool Shatter(float amount, float fraction, bool spread, float frameStep);
    void ShatterStep(float frameStep);

    // Draws the list: one not indexed as its vertices stand, an indexed one
    // through the index list given (the scene render's sorted order, or its
    // own); false when there was nothing to draw (an indexed list without
    // indices). The primitives drawn come back.
    bool Draw(ID3DDevice* device, const uint16_t* indices, uint32_t indexCount, int32_t* primitives) const;

    const uint16_t* Indices() const { return m_indices; }
    uint32_t VertexCount() const { return m_vertexCount; }
    const uint8_t* Vertices() const { return m_vertices.data(); }
    // The vertices to write: the device's copy of them is out of date from
    // here on (it is sent again at the next draw).
    uint8_t* WriteVertices() {
        ++m_kept.vertexChanges;
        return m_vertices.data();
    }
    // Bytes of vertex storage (the capacity in vertices times the stride).
    size_t VertexBytes() const { return m_vertices.size(); }
    // What the device may keep of the list between draws.
    const SD3DKept& Kept() const { return m_kept; }

    uint32_t m_nodeType = 16;
    CE3DScreen* m_screen = nullptr;
    CE3DMaterial* m_material = nullptr;
    bool m_ownsMaterial = false;
    uint16_t m_materialProject = 0;
    uint32_t m_materialId = 0;
    CE3DVertexList** m_chain = nullptr;
    CE3DVertexList* m_prev = nullptr;
    CE3DVertexList* m_next = nullptr;
    CE3DVertexList* m_nextQueued = nullptr;  // the render queue the scene render fills
    SE3DAnimState m_anim;
    CE3DFrame* m_owner = nullptr;
    CE3DShapeBlock* m_block = nullptr;
    uint32_t m_afterPos = 0;
    uint32_t m_stride = 0;
    uint32_t m_format = 0;
    std::vector<uint8_t>* m_scratch = nullptr;
    uint32_t m_vertexCount = 0;
    // Shatter: per flying face its centre, velocity and rotation rows.
    struct SFlyingFace {
        float centre[3], velocity[3], rot[3][3];
    };
    std::vector<SFlyingFace> m_flying;
    float m_shatterTime = 0.0f;
    float m_shatterRate = 60.0f;
    uint32_t m_faceCount = 0;
    uint32_t m_perFace = 0;
    const uint16_t* m_indices = nullptr;
    uint32_t m_drawIndices = 0;
    bool m_ownsIndices = false;
    uint8_t m_flag = 1;  // cleared by beams and lightning
    uint32_t m_primitive = 4;
    bool m_colorLocked = false;
    bool m_indexed = true;  // cleared by beams, lightning and emitters: drawn without indices

private:
    // A new index list (own or the block's) for the device.
    void IndicesChanged();
    // New vertex storage of count vertices at the stride, cleared.
    void AllocVertices(uint32_t count);

    std::vector<uint8_t> m_vertices;
    std::vector<uint16_t> m_ownIndices;
    SD3DKept m_kept;
};

// The primitive type of a face size: triangle list, line list or point list.
uint32_t E3D_PrimitiveFor(uint32_t perFace);
