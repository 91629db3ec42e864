#include "ui/MouseOrders.h"

#include <algorithm>

#include "e3d/Viewport.h"
#include "world/GameScene.h"
#include "world/GridMember.h"
#include "world/Player.h"
#include "world/TessarakObject.h"
#include "world/Unit.h"
#include "world/World.h"
#include "world/WorldCommands.h"
#include "world/WorldGrid.h"

namespace {

bool Shown(const CE3DFrame* f) {
    return !(f->m_flagsA & (kFrameHidden | kFrameQueued));
}

}  // namespace

// ---- picking

CTessarakObject* CMouseOrders::PickObject(int32_t x, int32_t y) const {
    if (m_fields.m_fullScreenRadar) return PickOnRadar(6);
    if (m_fields.m_overRadar) return PickOnRadar(3);
    return PickInView(x, y);
}

CTessarakObject* CMouseOrders::PickOnRadar(int32_t d) const {
    if (!m_world) return nullptr;
    const CWorldGrid& grid = m_world->Grid();
    const int32_t cc = m_fields.m_radarCursor[0], cr = m_fields.m_radarCursor[1];
    for (CGridMember* m = m_world->Scene().m_gridMembers; m; m = m->m_gridNext) {
        int c = 0, r = 0;
        grid.m_cellMap.CellOf(m->m_position[0], m->m_position[2], c, r);
        if (c - d < cc && cc < c + d && r - d < cr && cr < r + d) return m;
    }
    return nullptr;
}

CTessarakObject* CMouseOrders::PickInView(int32_t x, int32_t y) const {
    CE3DFrame* root = m_world ? m_world->Scene().m_rootFrame : nullptr;
    if (!m_view || !root) return nullptr;
    m_view->ComputePickRay(static_cast<float>(x), static_cast<float>(y));
    CTessarakObject* best = nullptr;
    float bestDistance = 0.0f;
    for (CE3DFrame* f = root->m_firstChild; f; f = f->m_siblingNext) {
        CTessarakObject* o = CGameNode::AsObject(f);
        if (!o || !Shown(f) || !o->IsGridMember()) continue;
        const CGridMember* m = static_cast<const CGridMember*>(o);
        if (m->m_gridFlags & (CGridMember::kG_Marked | 0x40)) continue;
        float distance = 0.0f;
        const D3DVECTOR centre{o->m_position[0], o->m_position[1], o->m_position[2]};
        if (!m_view->RaySphere(centre, o->m_objectRadius + 0.5f, &distance)) continue;
        if (!best || distance < bestDistance) {
            best = o;
            bestDistance = distance;
        }
    }
    return best;
}

bool CMouseOrders::ScreenPointOf(const CTessarakObject* object, int32_t pixel[2]) const {
    if (!m_view || !object) return false;
    return m_view->ProjectPoint(
        pixel, D3DVECTOR{object->m_position[0], object->m_position[1], object->m_position[2]});
}

std::vector<int32_t> CMouseOrders::SameTypeOnScreen(const CTessarakObject* unit) const {
    return unit ? OnScreen(unit->m_template) : std::vector<int32_t>();
}

std::vector<int32_t> CMouseOrders::UnitsOnScreen() const {
    return OnScreen(nullptr);
}

std::vector<int32_t> CMouseOrders::OnScreen(const void* tmpl) const {
    std::vector<int32_t> ids;
    CE3DFrame* root = m_world ? m_world->Scene().m_rootFrame : nullptr;
    CPlayer* local = m_world ? m_world->Scene().LocalPlayer() : nullptr;
    if (!m_view || !root || !local) return ids;
    for (CE3DFrame* f = root->m_firstChild; f; f = f->m_siblingNext) {
        CTessarakObject* o = CGameNode::AsObject(f);
        if (!o || !Shown(f) || !o->IsUnit() || (tmpl && o->m_template != tmpl) || o->m_owner != local ||
            !static_cast<CUnit*>(o)->IsComplete())
            continue;
        int32_t p[2];
        if (ScreenPointOf(o, p) && p[0] >= 1 && p[1] >= 1 && p[0] < m_view->m_width &&
            p[1] < m_view->m_height)
            ids.push_back(o->m_objectId);
    }
    return ids;
}

// ---- the command

void CMouseOrders::Take(const SCommandResult& result) {
    if (!result.refresh) return;
    m_fields.m_anyUnitSelected = result.selected > 0;
    m_fields.m_singleUnit = result.singleUnit;
    m_fields.m_forcedAction = 0;
    m_fields.m_selectionChanged = 1;
    if (result.pendingTaken) m_fields.m_pendingOrder = 0;
}

bool CMouseOrders::IssueOrder(float x1, float z1, float x2, float z2, int32_t left, int32_t top,
                              int32_t right, int32_t bottom, int32_t mode, bool doubleClick, uint32_t modes,
                              bool mapEditing) {
    if (!m_world) return false;
    CWorldCommands& commands = m_world->Commands();
    CGameScene& scene = m_world->Scene();
    const int32_t cursorX = m_fields.m_cursorX, cursorY = m_fields.m_cursorY;

    // A double click selects the units of the clicked unit's type on screen.
    if (doubleClick) {
        CTessarakObject* picked = PickObject(cursorX, cursorY);
        if (picked && picked->IsUnit()) {
            commands.SelectUnits(SameTypeOnScreen(picked));
            m_fields.m_selectionChanged = 1;
        }
        return true;
    }

    // The map editor: the rectangle of the two ground points selects the
    // objects of the current layer.
    if (mapEditing) {
        int32_t a[2] = {0, 0}, b[2] = {0, 0};
        if (m_view) {
            m_view->ProjectPoint(a, D3DVECTOR{x1, 0.0f, z1});
            m_view->ProjectPoint(b, D3DVECTOR{x2, 0.0f, z2});
        }
        const int32_t l = std::min(a[0], b[0]), r = std::max(a[0], b[0]);
        const int32_t t = std::min(a[1], b[1]), btm = std::max(a[1], b[1]);
        std::vector<int32_t> inside;
        for (CTessarakObject* o = scene.m_allObjects; o; o = o->m_allNext) {
            if (o->m_layer != scene.m_editLayer) continue;
            int32_t p[2];
            if (ScreenPointOf(o, p) && l < p[0] && p[0] < r && t < p[1] && p[1] < btm)
                inside.push_back(o->m_objectId);
        }
        commands.SelectInLayer(inside, modes);
        return true;
    }

    if (right - left >= 4 && bottom - top >= 4) {
        // A box: the units inside the rectangle, on the screen or the radar.
        const bool radar = m_fields.m_overRadar || m_fields.m_radarDrag;
        const CWorldGrid& grid = m_world->Grid();
        std::vector<int32_t> inside;
        for (CUnit* u = scene.m_units; u; u = u->m_unitNext) {
            if (!u->IsComplete()) continue;
            int32_t p[2];
            if (radar) {
                int c = 0, row = 0;
                grid.m_cellMap.CellOf(u->m_position[0], u->m_position[2], c, row);
                p[0] = m_fields.m_radarOrigin[0] + c * m_fields.m_radarCellPixels;
                p[1] = m_fields.m_radarOrigin[1] + row * m_fields.m_radarCellPixels;
            } else if (!ScreenPointOf(u, p) || (u->m_flagsA & (kFrameHidden | kFrameQueued))) {
                continue;
            }
            if (left < p[0] && p[0] < right && top < p[1] && p[1] < bottom) inside.push_back(u->m_objectId);
        }
        Take(commands.Box(inside, radar, x1, z1, modes));
        return true;
    }

    // A click at the cursor.
    SPointCommand click;
    click.x = x1;
    click.z = z1;
    CTessarakObject* picked = PickObject(cursorX, cursorY);
    click.target = picked ? picked->m_objectId : -1;
    // A HUD button's pending order, else the forced action the fm_ commands
    // left.
    click.order =
        m_fields.m_pendingOrder ? m_fields.m_pendingOrder : static_cast<uint32_t>(m_fields.m_forcedAction);
    click.modes = modes;
    click.kind = static_cast<SPointCommand::EKind>(mode >= 0 && mode <= 3 ? mode : 0);
    click.overRadar = m_fields.m_overRadar != 0;
    click.shownUnit = m_fields.m_singleUnit;
    const SCommandResult result = commands.Point(click);
    Take(result);
    return result.done;
}
