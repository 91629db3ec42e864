#include "core/Determinism.h"

#include "world/PathFinder.h"

#include <algorithm>

#include "world/PathGrid.h"

namespace {

struct SStep {
    int dx, dy;
};
// Every lattice neighbour, in a fixed order (ties in the heap then resolve the
// same way on every run).
constexpr SStep kSteps[8] = {{-3, -3}, {-3, 0}, {-3, 3}, {0, 3}, {3, 3}, {3, 0}, {3, -3}, {0, -3}};

// The arrival disc: nodes nearer the goal than 6 cells.
constexpr int kArrivalRadius2 = 36;

}  // namespace

CPathFinder::CPathFinder() = default;

CPathFinder::~CPathFinder() {
    Release();
}

void CPathFinder::Prepare(const CPathGrid* grid) {
    Release();
    m_grid = grid;
    if (!grid) return;
    m_width = grid->Width();
    m_height = grid->Height();
    m_index.assign(size_t((m_width + 2) / 3 + 1) * size_t((m_height + 2) / 3 + 1), nullptr);
    m_heap.assign(1, nullptr);
}

void CPathFinder::Release() {
    m_used = 0;
    m_blocks.clear();
    m_index.clear();
    m_index.shrink_to_fit();
    m_heap.clear();
    m_heap.shrink_to_fit();
    m_floodMark.clear();
    m_floodMark.shrink_to_fit();
    m_floodQueue.clear();
    m_floodGen = 0;
    m_grid = nullptr;
    m_width = m_height = 0;
    m_running = false;
    m_result = m_best = nullptr;
    m_costBytes = nullptr;
}

void CPathFinder::ReleaseSearch() {
    for (uint32_t i = 0; i < m_used; ++i) {
        m_index[m_blocks[i / kNodesPerBlock][i % kNodesPerBlock].lattice] = nullptr;
    }
    for (uint32_t cell : m_blockedCells) m_index[cell] = nullptr;
    m_blockedCells.clear();
    m_used = 0;
    if (!m_heap.empty()) m_heap.resize(1);
    m_result = m_best = nullptr;
    m_running = false;
}

SPathNode* CPathFinder::NewNode(int x, int y, size_t lattice) {
    uint32_t block = m_used / kNodesPerBlock;
    if (block == m_blocks.size()) m_blocks.emplace_back(new SPathNode[kNodesPerBlock]);
    SPathNode* n = &m_blocks[block][m_used % kNodesPerBlock];
    ++m_used;
    n->x = x;
    n->y = y;
    n->parent = nullptr;
    n->heap = 0;
    n->lattice = uint32_t(lattice);
    m_index[lattice] = n;
    return n;
}

// The unobstructed cost between lattice nodes (dx, dy) cells apart, in
// thirds: 3 per cell along the major axis, 1 more per cell along the minor.
static inline int32_t LatticeCost(int dx, int dy) {
    dx = dx < 0 ? -dx : dx;
    dy = dy < 0 ? -dy : dy;
    return dx > dy ? 3 * dx + dy : 3 * dy + dx;
}

int32_t CPathFinder::ArrivalCost(int vx, int vy) const {
    int32_t best = INT32_MAX;
    for (int i = 0; i < m_arrivalCount; ++i)
        best = std::min(best, LatticeCost(vx - m_arrivalX[i], vy - m_arrivalY[i]));
    return best;
}

// The heuristic is min over the arrival nodes q of LatticeCost(v - q), v the
// node's offset from the goal. Away from the goal the minimum has a closed
// form, because the signs of v - q and which axis is major no longer depend
// on q (|q| < 6, so |qx|, |qy| <= 5 and |qx| + |qy| <= 8). With a = |vx|, b =
// |vy|, sx, sy their signs and qa = sx qx, qb = sy qy:
//  - b <= 5, a >= 16: x is major for every q: 3a + min(|vy - qy| - 3 qa);
//  - a <= 5, b >= 16: the same across;
//  - a, b >= 6 and a - b > 8: 3a + b - max(3 qa + qb); b - a > 8 likewise;
//  - a, b >= 6 and |a - b| <= 8: with u = a - b, cost = a + 3b + 2 max(u -
//    qa, -qb) - qa - qb, whose minimum over q depends on u and the signs only.
// Near the goal (a, b <= 15) every arrival node is tried.
void CPathFinder::PrepareHeuristic() {
    m_arrivalCount = 0;
    for (int dy = -5; dy <= 5; ++dy)
        for (int dx = -5; dx <= 5; ++dx) {
            if (dx * dx + dy * dy >= kArrivalRadius2) continue;
            if ((m_goalX + dx - m_startX) % 3 || (m_goalY + dy - m_startY) % 3) continue;
            m_arrivalX[m_arrivalCount] = int8_t(dx);
            m_arrivalY[m_arrivalCount] = int8_t(dy);
            ++m_arrivalCount;
        }
    for (int s = 0; s < 2; ++s) {
        const int sign = s ? -1 : 1;
        for (int v = -5; v <= 5; ++v) {
            int32_t x = INT32_MAX, y = INT32_MAX;
            for (int i = 0; i < m_arrivalCount; ++i) {
                x = std::min(x, std::abs(v - m_arrivalY[i]) - 3 * sign * m_arrivalX[i]);
                y = std::min(y, std::abs(v - m_arrivalX[i]) - 3 * sign * m_arrivalY[i]);
            }
            m_nearAxisX[s][v + 5] = x;
            m_nearAxisY[s][v + 5] = y;
        }
        for (int t = 0; t < 2; ++t) {
            const int signY = t ? -1 : 1;
            int32_t mx = INT32_MIN, my = INT32_MIN;
            for (int i = 0; i < m_arrivalCount; ++i) {
                const int qa = sign * m_arrivalX[i], qb = signY * m_arrivalY[i];
                mx = std::max(mx, 3 * qa + qb);
                my = std::max(my, qa + 3 * qb);
            }
            m_majorX[s][t] = mx;
            m_majorY[s][t] = my;
            for (int u = -8; u <= 8; ++u) {
                int32_t d = INT32_MAX;
                for (int i = 0; i < m_arrivalCount; ++i) {
                    const int qa = sign * m_arrivalX[i], qb = signY * m_arrivalY[i];
                    d = std::min(d, 2 * std::max(u - qa, -qb) - qa - qb);
                }
                m_diagonal[s][t][u + 8] = d;
            }
        }
    }
}

int32_t CPathFinder::Heuristic(int x, int y) const {
    const int vx = x - m_goalX, vy = y - m_goalY;
    const int a = vx < 0 ? -vx : vx, b = vy < 0 ? -vy : vy;
    const int sx = vx < 0, sy = vy < 0;
    if (a <= 15 && b <= 15) return ArrivalCost(vx, vy);
    if (b <= 5) return 3 * a + m_nearAxisX[sx][vy + 5];
    if (a <= 5) return 3 * b + m_nearAxisY[sy][vx + 5];
    const int u = a - b;
    if (u > 8) return 3 * a + b - m_majorX[sx][sy];
    if (u < -8) return 3 * b + a - m_majorY[sx][sy];
    return a + 3 * b + m_diagonal[sx][sy][u + 8];
}

int32_t CPathFinder::Penalty(int x, int y) const {
    if (!m_costBytes) return 0;
    int sx = std::min(x / 3, m_costWidth - 1), sy = std::min(y / 3, m_costHeight - 1);
    int b = m_costBytes[size_t(sy) * size_t(m_costWidth) + size_t(sx)];
    return b > 0 ? b / 5 : 0;
}

bool CPathFinder::CanPass(int x, int y, int dx, int dy, bool fromFree) const {
    // Between two free squares of clearance 1 or more a straight step passes
    // only cells that one of them covers.
    const int r = m_clearance;
    if ((dx == 0 || dy == 0) && r >= 1 && fromFree) return true;
    const int sx = dx / 3, sy = dy / 3;
    return m_grid->IsSquareFree(r, x + sx, y + sy) && m_grid->IsSquareFree(r, x + 2 * sx, y + 2 * sy);
}

bool CPathFinder::Arrived(const SPathNode* n) const {
    int dx = n->x - m_goalX, dy = n->y - m_goalY;
    return dx * dx + dy * dy < kArrivalRadius2;
}

void CPathFinder::Expand(SPathNode* node) {
    const int x = node->x, y = node->y, r = m_clearance;
    const bool fromFree = node->parent || m_startFree;
    for (const SStep& s : kSteps) {
        const int nx = x + s.dx, ny = y + s.dy;
        if (nx < r || ny < r || nx >= m_width - r || ny >= m_height - r) continue;
        const size_t lattice = size_t(int64_t(node->lattice) + s.dx / 3 + s.dy / 3 * m_latticeWidth);
        SPathNode*& slot = m_index[lattice];
        SPathNode* n = slot;
        if (n == &m_blocked) continue;
        const int32_t cost =
            node->g + (s.dx && s.dy ? kDiagonal : kStraight) + (m_costBytes ? 3 * Penalty(nx, ny) : 0);
        if (!n) {
            // A cell first met: where the unit cannot stand is remembered for
            // the rest of the search, so no other neighbour tests it again.
            if (!m_grid->IsSquareFree(r, nx, ny)) {
                slot = &m_blocked;
                m_blockedCells.push_back(uint32_t(lattice));
                continue;
            }
            if (!CanPass(x, y, s.dx, s.dy, fromFree)) continue;
            n = NewNode(nx, ny, lattice);
            n->g = cost;
            n->h = Heuristic(nx, ny);
            n->parent = node;
            n->key = (uint64_t(uint32_t(cost + n->h)) << 32) | uint32_t(n->h);
            HeapPush(n);
        } else if (cost < n->g && CanPass(x, y, s.dx, s.dy, fromFree)) {
            // A cheaper way to a known node: its key drops in place, or it is
            // opened again when it was closed.
            n->g = cost;
            n->parent = node;
            n->key = (uint64_t(uint32_t(cost + n->h)) << 32) | uint32_t(n->h);
            if (n->heap)
                HeapUp(n->heap);
            else
                HeapPush(n);
        }
    }
}

bool CPathFinder::Begin(int startX, int startY, int goalX, int goalY) {
    ReleaseSearch();
    if (!m_grid) return false;
    m_clearance = m_nextClearance;
    m_costs = m_nextCosts;
    m_costBytes = nullptr;
    if (m_costs) {
        m_costBytes = m_costs->GetPathCosts(m_costWidth, m_costHeight);
        if (m_costWidth <= 0 || m_costHeight <= 0) m_costBytes = nullptr;
    }
    const int r = m_clearance;
    const int lo = r + 4, hiX = m_width - r - 5, hiY = m_height - r - 5;
    if (lo > hiX || lo > hiY) return false;  // the grid is narrower than the unit
    m_goalX = std::clamp(goalX, lo, hiX);
    m_goalY = std::clamp(goalY, lo, hiY);
    m_startX = std::clamp(startX, lo, hiX);
    m_startY = std::clamp(startY, lo, hiY);
    m_startFree = m_grid->IsSquareFree(r, m_startX, m_startY);
    m_startMoved = false;
    // No room where the unit stands: the nearest cell with room, ring by
    // ring around it (on each ring the cells across from it first), is where
    // its way begins (a search from a walled-in cell would find none, and the
    // unit would never move).
    for (int ring = 1; ring <= kStartReach && !m_startFree; ++ring)
        for (int k = 0; k <= 2 * ring && !m_startFree; ++k) {
            const int i = (k & 1) ? -(k + 1) / 2 : k / 2;
            const int cells[4][2] = {{m_startX + i, m_startY - ring},
                                     {m_startX + i, m_startY + ring},
                                     {m_startX - ring, m_startY + i},
                                     {m_startX + ring, m_startY + i}};
            for (const auto& c : cells)
                if (c[0] >= lo && c[0] <= hiX && c[1] >= lo && c[1] <= hiY &&
                    m_grid->IsSquareFree(r, c[0], c[1])) {
                    m_startX = c[0];
                    m_startY = c[1];
                    m_startFree = m_startMoved = true;
                    break;
                }
        }
    m_latticeX = m_startX % 3;
    m_latticeY = m_startY % 3;
    m_latticeWidth = (m_width - m_latticeX + 2) / 3;
    PrepareHeuristic();

    SPathNode* start = NewNode(m_startX, m_startY, Lattice(m_startX, m_startY));
    start->g = 0;
    start->h = Heuristic(m_startX, m_startY);
    start->key = (uint64_t(uint32_t(start->h)) << 32) | uint32_t(start->h);
    HeapPush(start);
    m_best = m_result = start;
    m_expansions = 0;
    m_floodDone = 0;
    // A direct way takes about max(|dx|, |dy|) / 3 expansions; a search that
    // needs many more than that may be walled in.
    int lattice = std::max(std::abs(m_goalX - m_startX), std::abs(m_goalY - m_startY)) / 3;
    m_floodAfter = 32 + 2 * uint32_t(lattice);
    m_flood = kFloodWaiting;
    m_running = true;
    return true;
}

CPathFinder::EResult CPathFinder::Search(int startX, int startY, int goalX, int goalY,
                                         uint32_t maxExpansions) {
    if (!m_running && !Begin(startX, startY, goalX, goalY)) return kExhausted;
    const uint32_t slice = maxExpansions ? maxExpansions : 1;
    for (uint32_t done = 1;; ++done) {
        SPathNode* node = HeapPop();
        if (!node) {
            m_running = false;
            return kExhausted;
        }
        if (node->h < m_best->h) m_best = node;
        if (Arrived(node)) {
            m_best = m_result = node;
            m_running = false;
            return kArrived;
        }
        Expand(node);
        ++m_expansions;
        if (m_flood == kFloodWaiting && m_expansions >= m_floodAfter && !StartFlood()) {
            m_running = false;
            return kExhausted;
        }
        // One flood cell for every second expansion: a cell costs less than
        // an expansion, and a flood that has to run long is soon capped.
        if (m_flood == kFloodRunning && (m_expansions & 1) == 0 && !FloodStep()) {
            m_running = false;
            return kExhausted;
        }
        if (done >= slice) {
            m_result = m_best;
            return kRunning;
        }
    }
}

bool CPathFinder::StartFlood() {
    if (m_floodMark.size() != m_index.size()) m_floodMark.assign(m_index.size(), 0);
    if (++m_floodGen == 0) {
        std::fill(m_floodMark.begin(), m_floodMark.end(), 0);
        m_floodGen = 1;
    }
    m_floodQueue.clear();
    m_floodHead = 0;
    // Seeds: the nodes of the start's lattice inside the arrival disc on
    // which the unit can stand.
    for (int dy = -5; dy <= 5; ++dy)
        for (int dx = -5; dx <= 5; ++dx) {
            if (dx * dx + dy * dy >= kArrivalRadius2) continue;
            int x = m_goalX + dx, y = m_goalY + dy;
            if ((x - m_startX) % 3 || (y - m_startY) % 3) continue;
            if (!m_grid->IsSquareFree(m_clearance, x, y)) continue;
            const size_t cell = Lattice(x, y);
            m_floodMark[cell] = m_floodGen;
            m_floodQueue.push_back(uint32_t(cell));
        }
    m_flood = kFloodRunning;
    return !m_floodQueue.empty();
}

bool CPathFinder::FloodStep() {
    if (m_floodHead == m_floodQueue.size()) return false;  // closed: the goal is walled in
    const uint32_t cell = m_floodQueue[m_floodHead++];
    ++m_floodDone;
    // The flood holds every node from which the goal can be reached (and
    // more). Meeting a node the search has reached means there is nothing to
    // prove: the search goes on alone.
    if (m_index[cell] && m_index[cell] != &m_blocked) {
        m_flood = kFloodOff;
        return true;
    }
    const int x = m_latticeX + 3 * int(cell % uint32_t(m_latticeWidth));
    const int y = m_latticeY + 3 * int(cell / uint32_t(m_latticeWidth));
    for (const SStep& s : kSteps) {
        const int nx = x + s.dx, ny = y + s.dy;
        if (!m_grid->Contains(nx, ny)) continue;
        const size_t next = size_t(int64_t(cell) + s.dx / 3 + s.dy / 3 * m_latticeWidth);
        if (m_floodMark[next] == m_floodGen) continue;
        // Steps are symmetric between free squares, so the flood can step
        // back along every step the search could take forward; it checks only
        // where it lands, which lets it take more steps, never fewer.
        if (!m_grid->IsSquareFree(m_clearance, nx, ny)) continue;
        m_floodMark[next] = m_floodGen;
        m_floodQueue.push_back(uint32_t(next));
    }
    if (m_floodDone >= kFloodCap) m_flood = kFloodOff;
    return true;
}

void CPathFinder::HeapPush(SPathNode* n) {
    m_heap.push_back(n);
    n->heap = uint32_t(m_heap.size() - 1);
    HeapUp(n->heap);
}

void CPathFinder::HeapUp(uint32_t i) {
    SPathNode* n = m_heap[i];
    while (i > 1) {
        SPathNode* p = m_heap[i / 2];
        if (p->key <= n->key) break;
        m_heap[i] = p;
        p->heap = i;
        i /= 2;
    }
    m_heap[i] = n;
    n->heap = i;
}

SPathNode* CPathFinder::HeapPop() {
    const size_t count = m_heap.size() - 1;
    if (count == 0) return nullptr;
    SPathNode* top = m_heap[1];
    SPathNode* last = m_heap.back();
    m_heap.pop_back();
    top->heap = 0;
    if (count == 1) return top;
    const uint32_t size = uint32_t(count - 1);
    uint32_t i = 1;
    for (;;) {
        uint32_t c = 2 * i;
        if (c > size) break;
        if (c < size && m_heap[c + 1]->key < m_heap[c]->key) ++c;
        if (m_heap[c]->key >= last->key) break;
        m_heap[i] = m_heap[c];
        m_heap[i]->heap = i;
        i = c;
    }
    m_heap[i] = last;
    last->heap = i;
    return top;
}
