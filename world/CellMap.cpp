#include "core/Determinism.h"

#include "world/CellMap.h"

#include <algorithm>

CCellMap::CCellMap() {
    for (int r = 0; r < 64; ++r)
        for (int i = 0; i < 64; ++i)
            m_chord[r][i] = i <= r ? Math_RoundToInt(Math_Sqrt(float(r * r - i * i))) : 0;
}

void CCellMap::Init(int32_t x1, int32_t y1, int32_t x2, int32_t y2, bool fogOfWar) {
    m_x1 = x1;
    m_y1 = y1;
    m_x2 = x2;
    m_y2 = y2;
    int64_t w = int64_t(x2) - x1, h = int64_t(y1) - y2;
    m_width = w > 0 ? int(w) : 0;
    m_height = h > 0 ? int(h) : 0;
    m_fogOfWar = fogOfWar;
    SMapCell cell;
    cell.state = fogOfWar ? 0 : 255;
    m_cells.assign(size_t(m_width) * size_t(m_height), cell);
    m_finished = 0;
}

void CCellMap::Free() {
    m_cells.clear();
    m_cells.shrink_to_fit();
    m_width = m_height = 0;
}

void CCellMap::Reset() {
    m_fogOfWar = false;
    for (SMapCell& c : m_cells) {
        c.state = 255;
        c.count = 0;
    }
    m_finished = 0;
    Rebuild();
}

void CCellMap::Paint(size_t i, uint8_t paint) {
    m_cells[i].paint = paint;
    if (!m_painter) return;
    if (!m_painting) {
        if (!m_painter->BeginPaint()) return;
        m_painting = true;
    }
    m_painter->PaintBlock(int(2 * (i % size_t(m_width))), int(2 * (i / size_t(m_width))), paint);
}

void CCellMap::Rebuild() {
    if (m_finished) return;
    for (size_t i = 0; i < m_cells.size(); ++i) {
        SMapCell& c = m_cells[i];
        if (c.count)
            c.state = uint8_t(std::min(255, int(c.state) + 15 * int(c.count)));
        else if (c.state >= 129)
            c.state = uint8_t(std::max(128, int(c.state) - 5));
        if (!m_painter) continue;
        if (c.state >= 150) {
            if (c.paint != CCellMapPainter::kPaintVisible) Paint(i, CCellMapPainter::kPaintVisible);
        } else if (c.state >= 128 && c.paint != CCellMapPainter::kPaintExplored) {
            Paint(i, CCellMapPainter::kPaintExplored);
        }
    }
    if (m_painting) {
        m_painter->EndPaint();
        m_painting = false;
    }
    if (!m_fogOfWar) m_finished = 1;
}

void CCellMap::PaintRadar() {
    if (!m_painter) return;
    for (size_t i = 0; i < m_cells.size(); ++i) {
        uint8_t s = m_cells[i].state;
        if (s >= 150)
            Paint(i, CCellMapPainter::kPaintVisible);
        else if (s >= 128)
            Paint(i, CCellMapPainter::kPaintExplored);
    }
    if (m_painting) {
        m_painter->EndPaint();
        m_painting = false;
    }
}

void CCellMap::CellOf(float x, float z, int& cx, int& cy) const {
    cx = Math_RoundToInt(x - float(m_x1));
    cy = Math_RoundToInt(-(float(m_y2) + z));
}

int32_t CCellMap::HalfChord(int r, int i) const {
    if (r < 0 || r > 63 || i < 0 || i > 63) return 0;
    return m_chord[r][i];
}

void CCellMap::StampDisc(int cx, int cy, int radius, int delta) {
    radius = std::min(radius, kMaxSightRadius);
    if (radius <= 0 || delta == 0 || m_cells.empty()) return;
    if (cx <= -radius || cy <= -radius || cx >= m_width + radius || cy >= m_height + radius) return;
    for (int dy = 1 - radius; dy <= radius - 1; ++dy) {
        int y = cy + dy;
        if (y < 0 || y >= m_height) continue;
        int w = m_chord[radius][dy < 0 ? -dy : dy];
        int x0 = std::max(cx + 1 - w, 0), x1 = std::min(cx + w - 1, m_width - 1);
        for (int x = x0; x <= x1; ++x) {
            SMapCell& c = m_cells[Index(x, y)];
            c.count = uint16_t(std::clamp(int(c.count) + delta, 0, 0xFFFF));
        }
    }
}
