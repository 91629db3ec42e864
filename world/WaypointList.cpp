#include "core/Determinism.h"

#include "world/WaypointList.h"

#include "world/WorldGrid.h"

CWaypointList::~CWaypointList() {
    Clear();
}

CWaypointPoint* CWaypointList::Make(float x, float y, float z, bool clamp) const {
    if (clamp && m_bounds) m_bounds->ClampToMap(x, z);
    CWaypointPoint* p = new CWaypointPoint;
    p->x = x;
    p->y = y;
    p->z = z;
    return p;
}

void CWaypointList::LinkBefore(CWaypointPoint* at, CWaypointPoint* p) {
    p->next = at;
    p->prev = at ? at->prev : m_tail;
    if (p->prev)
        p->prev->next = p;
    else
        m_head = p;
    if (at)
        at->prev = p;
    else
        m_tail = p;
    ++m_count;
}

void CWaypointList::PushFront(float x, float y, float z) {
    LinkBefore(m_head, Make(x, y, z, true));
}

void CWaypointList::PushFrontRaw(float x, float y, float z) {
    LinkBefore(m_head, Make(x, y, z, false));
}

void CWaypointList::PushFrontPoint(const float point[3]) {
    LinkBefore(m_head, Make(point[0], point[1], point[2], true));
}

void CWaypointList::Append(float x, float y, float z) {
    LinkBefore(nullptr, Make(x, y, z, true));
}

void CWaypointList::AppendRaw(float x, float y, float z) {
    LinkBefore(nullptr, Make(x, y, z, false));
}

CWaypointPoint* CWaypointList::InsertBefore(CWaypointPoint* point, float x, float y, float z) {
    CWaypointPoint* p = Make(x, y, z, true);
    LinkBefore(point, p);
    return p;
}

void CWaypointList::Clear() {
    CWaypointPoint* p = m_head;
    while (p) {
        CWaypointPoint* next = p->next;
        delete p;
        p = next;
    }
    m_head = m_tail = m_cursor = nullptr;
    m_count = 0;
}

CWaypointPoint* CWaypointList::First() {
    m_cursor = m_head;
    return m_cursor;
}

bool CWaypointList::Next() {
    if (!m_cursor || m_cursor == m_tail) return false;
    m_cursor = m_cursor->next;
    return true;
}

void CWaypointList::Assign(const CWaypointList& other) {
    if (&other == this) return;
    Clear();
    for (const CWaypointPoint* p = other.m_head; p; p = p->next) Append(p->x, p->y, p->z);
}

void CWaypointList::AssignRaw(const CWaypointList& other) {
    if (&other == this) return;
    Clear();
    for (const CWaypointPoint* p = other.m_head; p; p = p->next) {
        CWaypointPoint* q = Make(p->x, p->y, p->z, false);
        q->flags = p->flags;
        LinkBefore(nullptr, q);
    }
}

int32_t CWaypointList::CursorIndex() const {
    int32_t i = 0;
    for (const CWaypointPoint* p = m_head; p; p = p->next, ++i)
        if (p == m_cursor) return i;
    return -1;
}

void CWaypointList::SetCursorIndex(int32_t index) {
    m_cursor = nullptr;
    if (index < 0) return;
    CWaypointPoint* p = m_head;
    for (int32_t i = 0; p && i < index; ++i) p = p->next;
    m_cursor = p;
}
