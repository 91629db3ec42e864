// The fine path grid: three cells to each map unit, one occupancy count per
// cell (0 = free). Grid members that stand on the ground mark their footprint
// here; the path finder only walks free cells.
//
// Besides the counts the grid keeps, for every cell, how many free cells run
// from it to the right (up to a cap). A unit of clearance r needs the square
// of side 2r + 1 around its cell free; with the runs that is one read per row
// of the square instead of one per cell, and it stays exact as footprints come
// and go because a change only rewrites the runs of the rows it touches.
#pragma once

#include <cstdint>
#include <vector>

class CPathGrid {
public:
    static constexpr int kCellsPerUnit = 3;

    // Sizes the grid for the map rectangle x1, y1, x2, y2 (map units, y1 above
    // y2): width = (x2 - x1) * 3 + 1, height = (y1 - y2) * 3 + 1. Every cell
    // starts free.
    void Init(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
    void Clear();

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    int CellCount() const { return m_width * m_height; }

    // The fine cell of a world point, unclamped (may lie outside the grid).
    void CellOf(float x, float z, int& cx, int& cy) const;
    // The same, clamped into the grid.
    void ClampedCellOf(float x, float z, int& cx, int& cy) const;
    // The world point at the centre of a fine cell.
    void PointOf(int cx, int cy, float& x, float& z) const;
    bool Contains(int cx, int cy) const { return cx >= 0 && cy >= 0 && cx < m_width && cy < m_height; }

    bool IsFree(int cx, int cy) const { return Contains(cx, cy) && m_count[Index(cx, cy)] == 0; }
    uint16_t Count(int cx, int cy) const { return Contains(cx, cy) ? m_count[Index(cx, cy)] : 0; }
    // True when every cell of [cx - r, cx + r] x [cy - r, cy + r] lies inside
    // the grid and is free. A negative r is taken as 0.
    bool IsSquareFree(int r, int cx, int cy) const {
        if (r < 0) r = 0;
        if (cx - r < 0 || cy - r < 0 || cx + r >= m_width || cy + r >= m_height) return false;
        const int side = 2 * r + 1;
        if (side > kRunCap) return IsWideSquareFree(r, cx, cy);
        const uint8_t* run = &m_run[size_t(Index(cx - r, cy - r))];
        for (int i = 0; i < side; ++i, run += m_width)
            if (*run < side) return false;
        return true;
    }

    // Raises (delta > 0) or lowers (delta < 0) the count of every cell of
    // [cx0, cx1) x [cy0, cy1), clipped to the grid. Counts never go below 0.
    void AddRect(int cx0, int cy0, int cx1, int cy1, int delta);

    int Index(int cx, int cy) const { return cy * m_width + cx; }

private:
    // Longest run kept; a square of clearance up to (kRunCap - 1) / 2 is
    // answered from the runs, a wider one cell by cell.
    static constexpr int kRunCap = 63;
    void RebuildRuns(int cy, int cxBegin, int cxEnd);
    bool IsWideSquareFree(int r, int cx, int cy) const;

    int m_width = 0;
    int m_height = 0;
    int32_t m_x1 = 0, m_y1 = 0, m_x2 = 0, m_y2 = 0;
    std::vector<uint16_t> m_count;
    std::vector<uint8_t> m_run;  // free cells from this one to the right, capped
};
