// The game view's part of the mouse: what a click, a box or a double click
// at points of the screen means on the ground, handed to the world's order
// interface (CWorldCommands) in world terms. Picking from pixels, the
// projection of objects onto the screen and the radar panel's cells are
// here; what the orders do is the world's.
//
// Screen points are the game view's pixels (the window's less the view's
// corner). The interface owns one (CInterface::m_orders) and gives it the
// world and the game view's viewport.
#pragma once

#include <cstdint>
#include <vector>

#include "ui/InterfaceFields.h"

class CWorld;
class CE3DViewport;
class CTessarakObject;
struct SCommandResult;

class CMouseOrders {
public:
    explicit CMouseOrders(SInterfaceFields& fields) : m_fields(fields) {}

    void SetWorld(CWorld* world) { m_world = world; }
    CWorld* World() const { return m_world; }
    // The game view's viewport: its pick rays and projections (null without
    // a display: nothing is picked).
    void SetViewport(CE3DViewport* view) { m_view = view; }

    // ---- picking
    // The object under a screen point: with the full-screen radar shown the
    // radar pick with a tolerance of 6 cells, over the radar panel with 3,
    // otherwise the view pick. Null when none.
    CTessarakObject* PickObject(int32_t x, int32_t y) const;
    // The first grid member of the world's list whose cell (column c, row r)
    // lies within the tolerance of the radar cursor's cell (strictly).
    CTessarakObject* PickOnRadar(int32_t tolerance) const;
    // The pick ray through the point against every shown world object below
    // the scene root that is a grid member, not leaving play and not a
    // scaffold, as a sphere of its radius + 0.5 about its place; the nearest
    // along the ray wins, the first found of equal distances.
    CTessarakObject* PickInView(int32_t x, int32_t y) const;
    // Where a world object is on the screen, rounded to pixels: false when
    // there is no view or the object is behind the eye.
    bool ScreenPointOf(const CTessarakObject* object, int32_t pixel[2]) const;
    // The local player's complete units of the unit's template whose screen
    // points lie inside the view (strictly: a point on the view's edge is
    // outside).
    std::vector<int32_t> SameTypeOnScreen(const CTessarakObject* unit) const;
    // The same for the local player's complete units of every template
    // (SelectAllUnitsOnScreen).
    std::vector<int32_t> UnitsOnScreen() const;

    // ---- one command of the mouse in the game view
    // Ground points (x1, z1) and (x2, z2) (a dragged rectangle's corners;
    // the first is the click's point), the screen rectangle, the click mode
    // (0 a left release that orders, 1 a selecting click, 2 the right press,
    // 3 a move; SPointCommand's kinds), the double click, the command's
    // modes (kCommandQueue and its kin) and whether the map editor has the
    // mouse. A rectangle of 4 pixels or more both ways is a box, anything
    // else a click at the cursor. False only for a click outside the map,
    // or a plain move that moved nothing.
    bool IssueOrder(float x1, float z1, float x2, float z2, int32_t left, int32_t top, int32_t right,
                    int32_t bottom, int32_t mode, bool doubleClick, uint32_t modes, bool mapEditing);

private:
    // What a command left goes into the interface's fields.
    void Take(const SCommandResult& result);
    // The local player's complete shown units on the screen, of the template
    // (null: of any).
    std::vector<int32_t> OnScreen(const void* tmpl) const;

    SInterfaceFields& m_fields;
    CWorld* m_world = nullptr;
    CE3DViewport* m_view = nullptr;
};
