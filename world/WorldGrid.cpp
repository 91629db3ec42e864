#include "core/Determinism.h"

#include "world/WorldGrid.h"

#include <algorithm>

void CCellMap::Resize(int width, int height) {
    m_width = std::max(width, 0);
    m_height = std::max(height, 0);
    m_state.assign((size_t)m_width * (size_t)m_height, 0);
    m_count.assign((size_t)m_width * (size_t)m_height, 0);
}

void CCellMap::Rebuild() {
    // A cell with nothing registered on it is free (0); one that a spectator
    // sees whole keeps its 255 until objects are counted on it.
    for (size_t i = 0; i < m_state.size(); ++i)
        if (m_state[i] != 255 || m_count[i] != 0) m_state[i] = m_count[i] ? 1 : 0;
}

void CCellMap::Reset() {
    std::fill(m_state.begin(), m_state.end(), (uint8_t)255);
    std::fill(m_count.begin(), m_count.end(), (uint16_t)0);
    Rebuild();
}

CWorldGrid::CWorldGrid(CGameHost* game) : m_game(game) {
    Reset();
}

CWorldGrid::~CWorldGrid() {}

void CWorldGrid::SetBounds(int left, int top, int right, int bottom) {
    m_left = std::min(left, right);
    m_right = std::max(left, right);
    m_top = std::min(top, bottom);
    m_bottom = std::max(top, bottom);
    Reset();
}

void CWorldGrid::Reset() {
    m_fineLeft = m_left * 3;
    m_fineTop = m_top * 3;
    m_fineRight = m_right * 3;
    m_fineBottom = m_bottom * 3;
    m_cellMap.Resize(m_right - m_left, m_bottom - m_top);
}
