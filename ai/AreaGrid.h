// The danger grid of a computer player: one signed byte per map cell that
// rises where units lost value and falls where units destroyed value. Attack
// groups take the enemy unit that stands where the grid is lowest; the owner
// lets the grid fade toward 0.
//
// The cell of a world point (x, z): column = x - left, row = top - z, each
// rounded to the nearest integer (rows count down from the map's top edge,
// so a map need not be centred on 0).
#pragma once

#include <cstdint>
#include <vector>

class CStateArchive;
struct SAIGridRecord;

class CAreaGrid {
public:
    // The cells of the map rectangle (left, top, right, bottom), all 0:
    // right - left + 1 columns, top - bottom + 1 rows.
    void Init(int32_t left, int32_t top, int32_t right, int32_t bottom);
    void Free();

    // Adds the amount to the 20 x 20 cells from column - 10 to column + 9 and
    // row - 10 to row + 9 around the point's cell, each clamped to
    // -127..127; nothing at all when that block does not lie wholly inside.
    void AddAround(float x, float z, int32_t amount);
    // The sum of the same block, counting only the cells inside the grid.
    int32_t SumAround(float x, float z) const;
    // One step of fading: a cell above 0 decreases by 1, every other cell
    // increases by 1 (so a cell at 0 becomes 1, and 0 again at the next).
    void Fade();

    // The cell of a point (unclamped).
    void CellOf(float x, float z, int32_t* column, int32_t* row) const;
    int8_t At(int32_t column, int32_t row) const;
    int32_t Rows() const { return m_rows; }
    int32_t Columns() const { return m_columns; }
    bool Empty() const { return m_cells.empty(); }
    // The saved record of the grid (AIRecords.h), and the grid of a record
    // that was checked against the map.
    void ToRecord(SAIGridRecord& record) const;
    void FromRecord(const SAIGridRecord& record);

private:
    std::vector<int8_t> m_cells;  // row-major
    int32_t m_rows = 0, m_columns = 0;
    int32_t m_left = 0, m_top = 0, m_right = 0, m_bottom = 0;
};
