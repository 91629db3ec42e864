#include "core/Determinism.h"

#include "world/PathGrid.h"

#include <algorithm>

void CPathGrid::Init(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    m_x1 = x1;
    m_y1 = y1;
    m_x2 = x2;
    m_y2 = y2;
    int64_t w = (int64_t(x2) - x1) * kCellsPerUnit + 1;
    int64_t h = (int64_t(y1) - y2) * kCellsPerUnit + 1;
    m_width = w > 0 ? int(w) : 0;
    m_height = h > 0 ? int(h) : 0;
    m_count.assign(size_t(m_width) * size_t(m_height), 0);
    m_run.assign(m_count.size(), 0);
    for (int cy = 0; cy < m_height; ++cy) RebuildRuns(cy, 0, m_width);
}

void CPathGrid::Clear() {
    m_width = m_height = 0;
    m_count.clear();
    m_count.shrink_to_fit();
    m_run.clear();
    m_run.shrink_to_fit();
}

void CPathGrid::CellOf(float x, float z, int& cx, int& cy) const {
    cx = Math_RoundToInt(3.0f * x - float(3 * int64_t(m_x1)));
    cy = Math_RoundToInt(-(float(3 * int64_t(m_y2)) + 3.0f * z));
}

void CPathGrid::ClampedCellOf(float x, float z, int& cx, int& cy) const {
    CellOf(x, z, cx, cy);
    // An out-of-range float rounds to INT32_MIN, which clamps to 0 like any
    // other point beyond the west or north edge.
    cx = std::clamp(cx, 0, std::max(m_width - 1, 0));
    cy = std::clamp(cy, 0, std::max(m_height - 1, 0));
}

void CPathGrid::PointOf(int cx, int cy, float& x, float& z) const {
    x = float(cx) / 3.0f + float(m_x1);
    z = -float(cy) / 3.0f - float(m_y2);
}

bool CPathGrid::IsWideSquareFree(int r, int cx, int cy) const {
    for (int y = cy - r; y <= cy + r; ++y)
        for (int x = cx - r; x <= cx + r; ++x)
            if (m_count[size_t(Index(x, y))] != 0) return false;
    return true;
}

void CPathGrid::AddRect(int cx0, int cy0, int cx1, int cy1, int delta) {
    cx0 = std::max(cx0, 0);
    cy0 = std::max(cy0, 0);
    cx1 = std::min(cx1, m_width);
    cy1 = std::min(cy1, m_height);
    if (cx0 >= cx1 || cy0 >= cy1 || delta == 0) return;
    for (int cy = cy0; cy < cy1; ++cy) {
        uint16_t* c = &m_count[Index(cx0, cy)];
        for (int cx = cx0; cx < cx1; ++cx, ++c) {
            int v = int(*c) + delta;
            *c = uint16_t(std::clamp(v, 0, 0xFFFF));
        }
        RebuildRuns(cy, cx0, cx1);
    }
}

void CPathGrid::RebuildRuns(int cy, int cxBegin, int cxEnd) {
    // Runs right of cxEnd did not change. Left of cxBegin a run depends only
    // on its own cell and the run right of it, so the first one found
    // unchanged there ends the walk.
    const int row = cy * m_width;
    int next = cxEnd < m_width ? m_run[row + cxEnd] : 0;
    for (int cx = cxEnd - 1; cx >= 0; --cx) {
        int run = m_count[row + cx] == 0 ? std::min(next + 1, kRunCap) : 0;
        if (cx < cxBegin && m_run[row + cx] == run) break;
        m_run[row + cx] = uint8_t(run);
        next = run;
    }
}
