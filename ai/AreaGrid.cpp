#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
#include "ai/AreaGrid.h"

namespace {
constexpr int32_t kHalf = 10;  // the block runs from -10 to +9 around the cell

int8_t Clamp(int32_t v) {
    return static_cast<int8_t>(v < -127 ? -127 : v > 127 ? 127 : v);
}
}  // namespace

void CAreaGrid::Init(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    m_left = left;
    m_top = top;
    m_right = right;
    m_bottom = bottom;
    m_columns = right - left + 1;
    m_rows = top - bottom + 1;
    if (m_columns <= 0 || m_rows <= 0) {
        Free();
        return;
    }
    m_cells.assign(static_cast<size_t>(m_rows) * static_cast<size_t>(m_columns), 0);
}

void CAreaGrid::Free() {
    m_cells.clear();
    m_rows = m_columns = 0;
}

void CAreaGrid::CellOf(float x, float z, int32_t* column, int32_t* row) const {
    *column = Math_RoundToInt(x - static_cast<float>(m_left));
    *row = Math_RoundToInt(static_cast<float>(m_top) - z);
}

int8_t CAreaGrid::At(int32_t column, int32_t row) const {
    if (column < 0 || row < 0 || column >= m_columns || row >= m_rows) return 0;
    return m_cells[static_cast<size_t>(row) * static_cast<size_t>(m_columns) + static_cast<size_t>(column)];
}

void CAreaGrid::AddAround(float x, float z, int32_t amount) {
    int32_t column, row;
    CellOf(x, z, &column, &row);
    if (column - kHalf < 0 || column + kHalf >= m_columns || row - kHalf < 0 || row + kHalf >= m_rows) return;
    for (int32_t r = row - kHalf; r < row + kHalf; ++r)
        for (int32_t c = column - kHalf; c < column + kHalf; ++c) {
            int8_t& cell =
                m_cells[static_cast<size_t>(r) * static_cast<size_t>(m_columns) + static_cast<size_t>(c)];
            cell = Clamp(cell + amount);
        }
}

int32_t CAreaGrid::SumAround(float x, float z) const {
    int32_t column, row;
    CellOf(x, z, &column, &row);
    int32_t sum = 0;
    for (int32_t r = row - kHalf; r < row + kHalf; ++r) {
        if (r < 0 || r >= m_rows) continue;
        for (int32_t c = column - kHalf; c < column + kHalf; ++c)
            if (c >= 0 && c < m_columns)
                sum +=
                    m_cells[static_cast<size_t>(r) * static_cast<size_t>(m_columns) + static_cast<size_t>(c)];
    }
    return sum;
}

void CAreaGrid::Fade() {
    // A cell above 0 steps down, any other up: a cell at 0 goes to 1 and
    // back to 0 at the next fading.
    for (int8_t& cell : m_cells) cell = Clamp(cell > 0 ? cell - 1 : cell + 1);
}
