#include "tools/lib/QuadGrid.h"

#include <vector>

#include "e3d/Shape.h"
#include "e3d/ShapeBlock.h"
#include "platform/d3d/D3DTypes.h"

CE3DShapeBlock* QuadGrid_AddBlock(CE3DShape& shape, CE3DMaterial* material, const SQuadGrid& grid) {
    CE3DShapeBlock* b = new CE3DShapeBlock(&shape);
    const int cells = grid.cells < 1 ? 1 : grid.cells;
    const uint32_t faces = uint32_t(cells * cells * 2);
    b->m_vertexCount = faces * 3;
    b->m_positions.resize(1);
    b->m_positionNames.resize(1);
    if (grid.hasColor) b->m_colors.push_back(std::vector<uint32_t>(b->m_vertexCount, grid.color));
    if (grid.hasTexCoords) b->m_texCoords.resize(1);
    const float step = 2.0f * grid.half / float(cells);
    auto put = [&](int i, int j) {
        const float a = -grid.half + step * float(i), c = -grid.half + step * float(j);
        const float p[6] = {a,    grid.ground ? 0.0f : c,    grid.ground ? c : 0.0f,
                            0.0f, grid.ground ? 1.0f : 0.0f, grid.ground ? 0.0f : -1.0f};
        b->m_positions[0].insert(b->m_positions[0].end(), p, p + 6);
        if (grid.hasTexCoords) {
            const float uv[2] = {float(i) / float(cells), float(j) / float(cells)};
            b->m_texCoords[0].insert(b->m_texCoords[0].end(), uv, uv + 2);
        }
    };
    for (int i = 0; i < cells; ++i)
        for (int j = 0; j < cells; ++j) {
            put(i, j), put(i, j + 1), put(i + 1, j);
            put(i + 1, j), put(i, j + 1), put(i + 1, j + 1);
        }
    b->AllocIndices(faces, 3);
    for (uint32_t i = 0; i < faces * 3; ++i) b->m_indices[i] = uint16_t(i);
    b->AllocBuffers((grid.hasColor ? D3DFVF_DIFFUSE : 0u) | (grid.hasTexCoords ? D3DFVF_TEX1 : 0u));
    b->ComputeCentre();
    b->m_material = material;
    return b;
}
