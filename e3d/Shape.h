// CE3DShape: a geometry resource, an engine node that owns a list of shape
// blocks, with extents, animation settings and the display flags that every
// mesh showing it copies.
//
// The stored shape record (little-endian): nothing at version 5 or below;
// otherwise six 3-float vectors (two transform groups of three, the first
// group first); for versions 6 to 28 one u32 that is skipped; a u32 block
// count; then each block's record (ShapeBlock.h). Blocks join the head of the
// list, so the list ends in reverse file order. A block count larger than
// the file could hold, or a refused block, refuses the shape: it is left
// without blocks.
#pragma once

#include <cstdint>
#include <vector>

#include "e3d/Node.h"

class CE3DShapeBlock;
class CVFSFile;

constexpr uint32_t kE3DShapeEndStop = 0, kE3DShapeEndHold = 1, kE3DShapeEndLoop = 2;

class CE3DShape : public CE3DNode {
public:
    explicit CE3DShape(CE3DScreen* screen);
    explicit CE3DShape(CE3DEngine* engine);
    ~CE3DShape() override;

    CE3DScreen* Screen() const { return m_owner; }
    // Destroys the blocks and owned objects, then reads the record.
    bool Load(CVFSFile& file, int version);
    // The record in the form of the given version (for writers and tests).
    void Serialize(std::vector<uint8_t>& out, int version) const;
    // Fills every block's prepared model vertices from position set 0 and
    // the current colour and texture sets.
    void PrepareBlocks();
    // Extents: the largest coordinate on each axis over every position of
    // every block (never below 0), and the largest of the three.
    void ComputeBounds();
    void ClearBlocks();
    int BlockCount() const;

    int32_t m_shapeId = -1;
    float m_transform[2][3][3] = {{{1, 1, 1}, {0, 0, 0}, {0, 0, 0}}, {{1, 1, 1}, {0, 0, 0}, {0, 0, 0}}};
    uint8_t m_byte = 0;
    uint8_t m_displayFlags[3] = {0, 0, 1};  // the third stops the blending of texture sets
    uint32_t m_word = 0;
    std::vector<CE3DNode*> m_owned;  // destroyed with the shape
    float m_far;                     // bit pattern 0x70000000 at construction
    uint32_t m_animated = 0;
    uint32_t m_duration = 0;  // engine-timer counts
    uint32_t m_animWord = 0;
    uint32_t m_endMode = kE3DShapeEndStop;
    float m_extents[3] = {0, 0, 0};
    float m_largestExtent = 0.0f;
    CE3DShapeBlock* m_blocks = nullptr;

private:
    void Init();
};
