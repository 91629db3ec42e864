// The cell map: one cell per map unit carrying the fog of war. Each cell has
// a visibility state (0 unexplored, 128 explored but not watched, up to 255
// watched), what the radar last painted there, and how many of the local
// side's units watch it. Units stamp discs of observers into it as they move
// (their sight); once per logic tick the states follow the observer counts.
//
// The map is the local player's view: it is never part of a unit's sync
// image, although saved games keep it.
#pragma once

#include <cstdint>
#include <vector>

// Where the cell map paints the radar's fog: 2 x 2 pixel blocks, one per
// cell. The interface supplies it once it has a radar.
class CCellMapPainter {
public:
    enum : uint8_t { kPaintVisible = 1, kPaintExplored = 2 };
    virtual ~CCellMapPainter() = default;
    // Around a run of paints (lock and unlock the surface); false when the
    // surface cannot be painted now.
    virtual bool BeginPaint() = 0;
    virtual void EndPaint() = 0;
    // The 2 x 2 block at pixel (x, y): the radar picture for a visible cell,
    // grey (128, 128, 128) for an explored one.
    virtual void PaintBlock(int x, int y, uint8_t paint) = 0;
};

struct SMapCell {
    uint8_t state = 255;  // visibility
    uint8_t paint = 0;    // 0 none, 1 visible, 2 explored
    uint16_t count = 0;   // observers
};

class CCellMap {
public:
    static constexpr int kMaxSightRadius = 63;

    CCellMap();

    // Sizes the map for the rectangle (width = x2 - x1, height = y1 - y2):
    // paints and counts 0, states 0 with fog of war, else 255; not finished.
    void Init(int32_t x1, int32_t y1, int32_t x2, int32_t y2, bool fogOfWar);
    void Free();
    // Fog of war off: every state 255, counts 0, then one rebuild.
    void Reset();
    // One tick: observed cells brighten by 15 per observer, unobserved ones
    // fade by 5 towards 128; the radar follows. Without fog of war the pass
    // runs once and the map is finished.
    void Rebuild();
    // Repaints every explored cell (a new radar).
    void PaintRadar();

    // The cell of a world point: cx = round(x - x1), cy = round(-(y2 + z)).
    void CellOf(float x, float z, int& cx, int& cy) const;
    bool Contains(int cx, int cy) const { return cx >= 0 && cy >= 0 && cx < m_width && cy < m_height; }
    SMapCell* At(int cx, int cy) { return Contains(cx, cy) ? &m_cells[Index(cx, cy)] : nullptr; }
    const SMapCell* At(int cx, int cy) const { return Contains(cx, cy) ? &m_cells[Index(cx, cy)] : nullptr; }

    // Adds (delta 1) or removes (delta -1) one observer on every cell of the
    // disc of the radius around (cx, cy) that lies inside the map: rows dy =
    // 1 - R .. R - 1, columns dx = 1 - w .. w - 1 with w = HalfChord(R, |dy|).
    // R is at most 63; nothing for R of 0 or less. Counts stay within 0 ..
    // 65535.
    void StampDisc(int cx, int cy, int radius, int delta);
    // round(sqrt(r^2 - i^2)) for 0 <= i <= r < 64; 0 elsewhere.
    int32_t HalfChord(int r, int i) const;

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    int CellCount() const { return int(m_cells.size()); }
    std::vector<SMapCell>& Cells() { return m_cells; }
    const std::vector<SMapCell>& Cells() const { return m_cells; }

    bool m_fogOfWar = false;  // the game's fog-of-war switch
    uint8_t m_finished = 0;
    CCellMapPainter* m_painter = nullptr;

private:
    size_t Index(int cx, int cy) const { return size_t(cy) * size_t(m_width) + size_t(cx); }
    void Paint(size_t i, uint8_t paint);

    std::vector<SMapCell> m_cells;
    int32_t m_chord[64][64];
    int m_width = 0;
    int m_height = 0;
    int32_t m_x1 = 0, m_y1 = 0, m_x2 = 0, m_y2 = 0;
    bool m_painting = false;
};
