// CE3DColorTable: the colour of a particle by its age. A table of n + 1
// entries (red, green, blue, alpha, each 0 to 1) is filled from its gradient
// points (CE3DGradientPoint: a position 0 to n and a colour) by SortGradient,
// which orders the points by position and interpolates between neighbours.
// The table runs back to front: entry n - 1 - i holds gradient position i,
// so a particle at birth (age fraction 1) reads position 0 and one about to
// die reads the last position.
//
// Positions before the first point take its colour and positions after the
// last point take the last one's, so a single point colours the whole table.
// A table without points is all zero (transparent black); emitters draw
// white in place of such a table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class CE3DColorTable;

class CE3DGradientPoint {
public:
    // Joins the head of the table's list: black, alpha 1.0, position 0 (the
    // creator sets the position).
    explicit CE3DGradientPoint(CE3DColorTable* table);
    virtual ~CE3DGradientPoint();
    CE3DGradientPoint(const CE3DGradientPoint&) = delete;
    CE3DGradientPoint& operator=(const CE3DGradientPoint&) = delete;

    void Set(float red, float green, float blue, float alpha);

    CE3DColorTable* m_table;
    float m_red = 0.0f, m_green = 0.0f, m_blue = 0.0f, m_alpha = 1.0f;
    int32_t m_position = 0;
    CE3DGradientPoint* m_prev = nullptr;
    CE3DGradientPoint* m_next = nullptr;
};

class CE3DColorTable {
public:
    static constexpr int32_t kMaxCount = 65536;

    // n (kept between 1 and kMaxCount) plus one entries, all zero; joins the
    // head of the owner's list when one is given.
    explicit CE3DColorTable(int32_t n, CE3DColorTable** list = nullptr);
    // Deletes its points and leaves the owner's list.
    virtual ~CE3DColorTable();
    CE3DColorTable(const CE3DColorTable&) = delete;
    CE3DColorTable& operator=(const CE3DColorTable&) = delete;

    // A new point at the head of the list (the table is filled again only
    // by SortGradient).
    CE3DGradientPoint* AddPoint(int32_t position, float red, float green, float blue, float alpha = 1.0f);
    // Orders the points by position (points at one position keep their list
    // order) and fills every entry again.
    void SortGradient();
    int32_t PointCount() const;
    // Entry i (0 to n) as four floats, and as a vertex colour: alpha in bits
    // 24 to 31, then red, green, blue, each clamped to 0 .. 1, times 255 and
    // truncated.
    const float* Entry(int32_t i) const { return &m_entries[size_t(i) * 4]; }
    uint32_t Packed(int32_t i) const { return m_packed[size_t(i)]; }

    CE3DColorTable** m_list;
    int32_t m_count;
    CE3DGradientPoint* m_points = nullptr;
    CE3DColorTable* m_prev = nullptr;
    CE3DColorTable* m_next = nullptr;
    std::vector<float> m_entries;    // (n + 1) x 4
    std::vector<uint32_t> m_packed;  // n + 1
};
