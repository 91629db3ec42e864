// Flat test and demo geometry: a shape block of quads covering a square, for
// scenes made in code (tests of the scene render, benchmarks).
#pragma once

#include <cstdint>

class CE3DMaterial;
class CE3DShape;
class CE3DShapeBlock;

struct SQuadGrid {
    float half = 1.0f;     // the square covers -half to half on both axes
    int cells = 1;         // cells x cells quads, two triangles each
    bool ground = false;   // in the xz plane facing up; otherwise the xy plane facing -z
    bool hasColor = true;  // one vertex colour for the whole block
    uint32_t color = 0xffffffff;
    bool hasTexCoords = false;  // one set, 0 to 1 across the square
};

// Adds the block to the shape (faces clockwise as the viewer sees their
// front) with the material; the caller prepares the shape's blocks.
CE3DShapeBlock* QuadGrid_AddBlock(CE3DShape& shape, CE3DMaterial* material, const SQuadGrid& grid);
