// The world grid: the battlefield cut into squares, on which objects are
// registered and paths are searched. The game object creates it at start-up
// and deletes it at shutdown; a map load sets its bounds and resets it.
#pragma once

#include <cstdint>
#include <vector>

class CGameHost;

// Per-square state bytes of the grid, rebuilt once per executed tick.
class CCellMap {
public:
    void Resize(int width, int height);
    // Recomputes every cell's state from the map and the objects on it.
    void Rebuild();
    // Every cell to 255 with a count of 0, then a rebuild (the whole map
    // shows, as for a spectator).
    void Reset();

    int m_width = 0;
    int m_height = 0;
    std::vector<uint8_t> m_state;
    std::vector<uint16_t> m_count;
};

class CWorldGrid {
public:
    explicit CWorldGrid(CGameHost* game);
    ~CWorldGrid();

    // Rebuilds the grid for the current bounds.
    void Reset();
    void SetBounds(int left, int top, int right, int bottom);

    CGameHost* m_game;
    int32_t m_left = -64, m_top = -64, m_right = 64, m_bottom = 64;
    // The fine layer has three squares to each square of the coarse one.
    int32_t m_fineLeft = -192, m_fineTop = -192, m_fineRight = 192, m_fineBottom = 192;
    CCellMap m_cellMap;
};
