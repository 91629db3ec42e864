// A unit's path: a doubly linked list of points with a cursor (the point the
// unit steers to) and a no-path flag.
//
// Points carry world coordinates, except in the lists the path finder makes,
// whose x and z are fine-cell numbers (corner cells carry 0xFFFF in y, the
// goal 0) until the waypoint-list message turns them into world points. The
// insertions named without "Raw" clamp x and z into the map less a margin of
// 2.0 (CWorldGrid::ClampToMap on the grid the list is made for: its unit's
// world's); the raw ones store what they are given, which is what cell lists
// need. A list made for no grid clamps nothing.
#pragma once

#include <cstdint>

class CWorldGrid;

struct CWaypointPoint {
    float x = 0.0f, y = 0.0f, z = 0.0f;
    uint32_t flags = 0;  // the unit's steering marks a sidestepped point here
    CWaypointPoint* next = nullptr;
    CWaypointPoint* prev = nullptr;
};

class CWaypointList {
public:
    // bounds: the grid whose map the clamped insertions keep to (null: none).
    explicit CWaypointList(const CWorldGrid* bounds = nullptr) : m_bounds(bounds) {}
    ~CWaypointList();
    CWaypointList(const CWaypointList&) = delete;
    CWaypointList& operator=(const CWaypointList&) = delete;

    void PushFront(float x, float y, float z);
    void PushFrontRaw(float x, float y, float z);
    void PushFrontPoint(const float point[3]);  // clamped, like PushFront
    void Append(float x, float y, float z);
    void AppendRaw(float x, float y, float z);
    // A new point in front of the given one (clamped); at the tail when the
    // given point is null. Returns the new point.
    CWaypointPoint* InsertBefore(CWaypointPoint* point, float x, float y, float z);
    // Deletes every point: count 0, no cursor. The no-path flag stays.
    void Clear();

    // Cursor := head; returns it (null for an empty list).
    CWaypointPoint* First();
    // False when the cursor is at the tail (or there is none); else advances.
    bool Next();

    // Clear, then every point of the other list appended, clamped.
    void Assign(const CWaypointList& other);
    // Clear, then every point of the other list appended as it stands (cell
    // lists must not be clamped as world points).
    void AssignRaw(const CWaypointList& other);

    CWaypointPoint* Head() const { return m_head; }
    CWaypointPoint* Tail() const { return m_tail; }
    CWaypointPoint* Cursor() const { return m_cursor; }
    void SetCursor(CWaypointPoint* point) { m_cursor = point; }
    int32_t Count() const { return m_count; }
    bool IsEmpty() const { return m_count == 0; }
    // The cursor as an index from the head (-1 for none), and back; the
    // saved and sync forms store it that way. An index out of range leaves no
    // cursor.
    int32_t CursorIndex() const;
    void SetCursorIndex(int32_t index);

    int32_t m_noPath = 0;  // set when the request that made the list gave up

private:
    void LinkBefore(CWaypointPoint* at, CWaypointPoint* p);  // at null: the tail
    CWaypointPoint* Make(float x, float y, float z, bool clamp) const;

    const CWorldGrid* m_bounds;

    CWaypointPoint* m_head = nullptr;
    CWaypointPoint* m_tail = nullptr;
    CWaypointPoint* m_cursor = nullptr;
    int32_t m_count = 0;
};
