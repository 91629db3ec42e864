#include "e3d/ColorTable.h"

#include <algorithm>

#include "core/ListLinks.h"

namespace {
using SPointLinks = SListLinks<CE3DGradientPoint, &CE3DGradientPoint::m_next, &CE3DGradientPoint::m_prev>;
using STableLinks = SListLinks<CE3DColorTable, &CE3DColorTable::m_next, &CE3DColorTable::m_prev>;
}  // namespace

CE3DGradientPoint::CE3DGradientPoint(CE3DColorTable* table) : m_table(table) {
    if (table) SPointLinks::Push(table->m_points, this);
}

CE3DGradientPoint::~CE3DGradientPoint() {
    if (m_table) SPointLinks::Unlink(m_table->m_points, this);
}

void CE3DGradientPoint::Set(float red, float green, float blue, float alpha) {
    m_red = red;
    m_green = green;
    m_blue = blue;
    m_alpha = alpha;
}

CE3DColorTable::CE3DColorTable(int32_t n, CE3DColorTable** list)
    : m_list(list), m_count(std::min(std::max(n, 1), kMaxCount)) {
    m_entries.assign(size_t(m_count + 1) * 4, 0.0f);
    m_packed.assign(size_t(m_count + 1), 0);
    if (m_list) STableLinks::Push(*m_list, this);
}

CE3DColorTable::~CE3DColorTable() {
    while (m_points) delete m_points;  // each leaves the list
    if (m_list) STableLinks::Unlink(*m_list, this);
}

CE3DGradientPoint* CE3DColorTable::AddPoint(int32_t position, float red, float green, float blue,
                                            float alpha) {
    CE3DGradientPoint* p = new CE3DGradientPoint(this);
    p->m_position = position;
    p->Set(red, green, blue, alpha);
    return p;
}

int32_t CE3DColorTable::PointCount() const {
    int32_t n = 0;
    for (const CE3DGradientPoint* p = m_points; p; p = p->m_next) ++n;
    return n;
}

void CE3DColorTable::SortGradient() {
    std::vector<CE3DGradientPoint*> points;
    for (CE3DGradientPoint* p = m_points; p; p = p->m_next) points.push_back(p);
    std::stable_sort(
        points.begin(), points.end(),
        [](const CE3DGradientPoint* a, const CE3DGradientPoint* b) { return a->m_position < b->m_position; });
    m_points = nullptr;
    for (size_t i = points.size(); i-- > 0;) {
        points[i]->m_prev = nullptr;
        points[i]->m_next = m_points;
        if (m_points) m_points->m_prev = points[i];
        m_points = points[i];
    }

    std::fill(m_entries.begin(), m_entries.end(), 0.0f);
    if (!points.empty()) {
        auto put = [&](int32_t position, float r, float g, float b, float a) {
            float* e = &m_entries[size_t(m_count - 1 - position) * 4];
            e[0] = r;
            e[1] = g;
            e[2] = b;
            e[3] = a;
        };
        size_t next = 0;  // the first point beyond the position
        for (int32_t i = 0; i < m_count; ++i) {
            while (next < points.size() && points[next]->m_position <= i) ++next;
            const CE3DGradientPoint* q = next < points.size() ? points[next] : nullptr;
            const CE3DGradientPoint* p = next > 0 ? points[next - 1] : nullptr;
            if (!p || !q) {
                const CE3DGradientPoint* end = p ? p : q;  // before the first or after the last
                put(i, end->m_red, end->m_green, end->m_blue, end->m_alpha);
                continue;
            }
            const float f = float(i - p->m_position) / float(q->m_position - p->m_position);
            put(i, p->m_red + f * (q->m_red - p->m_red), p->m_green + f * (q->m_green - p->m_green),
                p->m_blue + f * (q->m_blue - p->m_blue), p->m_alpha + f * (q->m_alpha - p->m_alpha));
        }
    }
    auto channel = [](float v) -> uint32_t {
        if (!(v > 0.0f)) return 0;  // NaN too
        return v >= 1.0f ? 255u : uint32_t(v * 255.0f);
    };
    for (int32_t i = 0; i <= m_count; ++i) {
        const float* e = Entry(i);
        m_packed[size_t(i)] = channel(e[3]) << 24 | channel(e[0]) << 16 | channel(e[1]) << 8 | channel(e[2]);
    }
}
