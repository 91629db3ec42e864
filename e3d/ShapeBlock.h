// CE3DShapeBlock: one piece of a shape's geometry as content stores it: a
// material, a vertex count, several alternative sets of positions with
// normals, of vertex colours and of texture coordinates (the key frames of a
// morph animation), a face index list and the default animation state.
//
// The stored record (little-endian, no padding; nothing at all below file
// version 29):
//   u32 vertex-format flags F; u16 material project id; u32 material id;
//   block name (u16 length and characters);
//   u32 carried word; 3 floats; 3 floats; 2 floats; 2 floats;
//   centre (3 floats); radius (float);
//   u32 vertex count V; u32 position-set count P; u32 colour-set count Q;
//   u32 texture-coordinate-set count T;
//   P times: V x (x, y, z, nx, ny, nz floats), then the set's name (u16
//     length, at most 255 characters);
//   Q times: V u32 colours (0xAARRGGBB);
//   T times: V x (u, v floats);
//   animation state: i32 current position set, i32 current colour set, 3 i32
//     current texture sets; i32 next position set, i32 next colour set, 3 i32
//     next texture sets; float position fraction, float colour fraction, 3
//     floats texture fractions; 3 bytes environment-mapping flags;
//   u32 vertices per face K (1 to 3); u32 face count N; N x K u16 indices,
//     each below V;
//   u32 byte-channel count B; B times V bytes.
// Every count and size is checked against what is left of the file, V is at
// most 65536 (the indices are 16-bit), each kind of set and the byte channels
// at most 65535, and a set name at most 255 characters;
// a record that breaks a rule or is cut short is refused whole and leaves the
// block empty.
#pragma once

#include <cstdint>
#include <vector>

#include "core/StrBuf.h"

class CE3DScreen;
class CE3DShape;
class CE3DMaterial;
class CVFSFile;

// Which sets a vertex list shows and how far it has blended to the next ones.
struct SE3DAnimState {
    int32_t curPos = 0, curColor = 0, curTex[3] = {0, 0, 0};
    int32_t nextPos = 0, nextColor = 0, nextTex[3] = {0, 0, 0};
    uint8_t envMap[3] = {0, 0, 0};
    float fracPos = 0.0f, fracColor = 0.0f, fracTex[3] = {0.0f, 0.0f, 0.0f};
};

constexpr uint32_t kE3DBlockMaxVertices = 65536;
constexpr uint32_t kE3DBlockMaxSetName = 255;
// Sets and byte channels of a block, at most (empty ones take no file bytes).
constexpr uint32_t kE3DBlockMaxSets = 65535;
constexpr int kE3DBlockFirstVersion = 29;

class CE3DShapeBlock {
public:
    // Joins the head of the shape's block list (none: a block of its own,
    // like the engine's default block) and takes the shape's screen.
    explicit CE3DShapeBlock(CE3DShape* shape);
    virtual ~CE3DShapeBlock();
    CE3DShapeBlock(const CE3DShapeBlock&) = delete;
    CE3DShapeBlock& operator=(const CE3DShapeBlock&) = delete;

    // The record as Load reads it, in the newest form.
    virtual bool Save(CVFSFile& file) const;
    // False when the record was refused (the block is then empty; a version
    // below 29 reads nothing and is no failure).
    virtual bool Load(CVFSFile& file, int version);
    void Serialize(std::vector<uint8_t>& out) const;

    void AllocIndices(uint32_t faces, uint32_t perFace);
    // Stores F and allocates the model-vertex buffer; the scratch buffer's
    // layout is set and its memory made on first use (Scratch).
    void AllocBuffers(uint32_t flags);
    // Centre: the mean of every position of every set; radius: the largest of
    // the stored radius and the distances from the centre.
    void ComputeCentre() const;
    // The centre and radius, worked out on first asking after a load (a load
    // leaves them due: most blocks are drawn without anyone asking, and the
    // walk over every position was a quarter of a load).
    const float* Centre() const {
        if (m_centreDue) ComputeCentre();
        return m_centre;
    }
    float Radius() const {
        if (m_centreDue) ComputeCentre();
        return m_radius;
    }
    // Empties every set, name, index list, buffer and byte channel.
    void Clear();

    uint32_t PositionSets() const { return uint32_t(m_positions.size()); }
    uint32_t ColorSets() const { return uint32_t(m_colors.size()); }
    uint32_t TexSets() const { return uint32_t(m_texCoords.size()); }
    uint32_t IndexCount() const { return m_faceCount * m_perFace; }
    uint32_t ModelFormat() const { return m_modelFormat; }
    uint32_t ModelStride() const { return m_modelStride; }

    uint32_t m_nodeType = 17;
    CE3DScreen* m_screen = nullptr;
    CE3DMaterial* m_material = nullptr;
    uint16_t m_materialProject = 0;
    uint32_t m_materialId = 0;
    CStrBuf m_name;
    // Carried values, kept and written back unchanged.
    uint32_t m_carriedWord = 0;
    float m_carriedVec[2][3] = {{0, 0, 0}, {0, 0, 0}};
    float m_carriedPair[2][2] = {{1.0f, 1.0f}, {0, 0}};
    std::vector<std::vector<uint8_t>> m_byteChannels;
    // Read through Centre() and Radius() after a load.
    mutable float m_centre[3] = {0, 0, 0};
    mutable float m_radius = 0.0f;
    mutable bool m_centreDue = false;
    CE3DShapeBlock* m_prev = nullptr;
    CE3DShapeBlock* m_next = nullptr;
    // Sets: positions and normals (6 floats a vertex), colours, texture
    // coordinates (2 floats a vertex).
    std::vector<std::vector<float>> m_positions;
    std::vector<CStrBuf> m_positionNames;
    std::vector<std::vector<uint32_t>> m_colors;
    std::vector<std::vector<float>> m_texCoords;
    SE3DAnimState m_anim;
    uint32_t m_vertexCount = 0;
    CE3DShape* m_shape = nullptr;
    uint32_t m_flags = 0;  // F AND 0x3c0 after loading
    // Transformed scratch vertices (F OR 0x044).
    std::vector<uint8_t> m_scratch;
    uint32_t m_scratchAfterPos = 0, m_scratchStride = 0;
    // The scratch buffer at its capacity (the larger of the vertex count and
    // the index count), made when first asked for.
    std::vector<uint8_t>& Scratch();
    // Prepared model vertices ((F AND 0x340) OR 0x012), filled by the shape.
    std::vector<uint8_t> m_model;
    uint32_t m_modelAfterPos = 0, m_modelStride = 0, m_modelFormat = 0;
    std::vector<uint16_t> m_indices;
    uint32_t m_faceCount = 0;
    uint32_t m_perFace = 0;
};
