#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
//
// Picking and the selection. Everything here answers the local player's
// mouse: it reads the world and sets the objects' selection bits, which are
// the local player's choice and take no part in the simulation (no sync
// image or saved game holds them), and it moves the view's focus. Lists are
// walked in their link order, never in the order of addresses.
#include "e3d/Viewport.h"
#include "world/ExplosionManager.h"
#include "world/GameHost.h"
#include "world/GameScene.h"
#include "world/GridMember.h"
#include "world/InterfaceFields.h"
#include "world/Player.h"
#include "world/TessarakObject.h"
#include "world/Unit.h"
#include "world/WorldGrid.h"

namespace {

SInterfaceFields* Fields() {
    CGameHost* host = GameHost();
    return host ? host->InterfaceFields() : nullptr;
}

CE3DViewport* View() {
    CGameHost* host = GameHost();
    return host ? host->Viewport() : nullptr;
}

bool Shown(const CE3DFrame* f) {
    return !(f->m_flagsA & (kFrameHidden | kFrameQueued));
}

bool Selected(const CTessarakObject* o) {
    return (o->m_stateA & CTessarakObject::kA_Selected) != 0;
}

}  // namespace

CTessarakObject* CGameScene::PickObject(int32_t x, int32_t y) {
    if (const SInterfaceFields* ui = Fields()) {
        if (ui->m_fullScreenRadar) return PickOnRadar(6);
        if (ui->m_overRadar) return PickOnRadar(3);
    }
    return PickInView(x, y);
}

CTessarakObject* CGameScene::PickOnRadar(int32_t d) {
    const SInterfaceFields* ui = Fields();
    CWorldGrid* grid = m_game ? m_game->WorldGrid() : nullptr;
    if (!ui || !grid) return nullptr;
    const int32_t cc = ui->m_radarCursor[0], cr = ui->m_radarCursor[1];
    for (CGridMember* m = m_gridMembers; m; m = m->m_gridNext) {
        int c = 0, r = 0;
        grid->m_cellMap.CellOf(m->m_position[0], m->m_position[2], c, r);
        if (c - d < cc && cc < c + d && r - d < cr && cr < r + d) return m;
    }
    return nullptr;
}

CTessarakObject* CGameScene::PickInView(int32_t x, int32_t y) {
    CE3DViewport* view = View();
    if (!view || !m_rootFrame) return nullptr;
    view->ComputePickRay(static_cast<float>(x), static_cast<float>(y));
    CTessarakObject* best = nullptr;
    float bestDistance = 0.0f;
    for (CE3DFrame* f = m_rootFrame->m_firstChild; f; f = f->m_siblingNext) {
        CTessarakObject* o = CGameNode::AsObject(f);
        if (!o || !Shown(f) || !o->IsGridMember()) continue;
        const CGridMember* m = static_cast<const CGridMember*>(o);
        if (m->m_gridFlags & (CGridMember::kG_Marked | 0x40)) continue;
        float distance = 0.0f;
        const D3DVECTOR centre{o->m_position[0], o->m_position[1], o->m_position[2]};
        if (!view->RaySphere(centre, o->m_objectRadius + 0.5f, &distance)) continue;
        if (!best || distance < bestDistance) {
            best = o;
            bestDistance = distance;
        }
    }
    return best;
}

bool CGameScene::ScreenPointOf(const CTessarakObject* object, int32_t pixel[2]) const {
    CE3DViewport* view = View();
    if (!view || !object) return false;
    return view->ProjectPoint(pixel,
                              D3DVECTOR{object->m_position[0], object->m_position[1], object->m_position[2]});
}

void CGameScene::SelectSameTypeOnScreen(CTessarakObject* unit) {
    CE3DViewport* view = View();
    CPlayer* local = LocalPlayer();
    if (unit && view && m_rootFrame)
        for (CE3DFrame* f = m_rootFrame->m_firstChild; f; f = f->m_siblingNext) {
            CTessarakObject* o = CGameNode::AsObject(f);
            if (!o || !Shown(f) || !o->IsUnit() || o->m_template != unit->m_template || !local ||
                o->m_owner != local || !static_cast<CUnit*>(o)->IsComplete())
                continue;
            int32_t p[2];
            if (ScreenPointOf(o, p) && p[0] >= 1 && p[1] >= 1 && p[0] < view->m_width &&
                p[1] < view->m_height)
                o->HandleMessage(CTessarakObject::kMsgSelect, 0);
        }
    if (SInterfaceFields* ui = Fields()) ui->m_selectionChanged = 1;
}

bool CGameScene::IsAnyUnitSelected() const {
    for (CUnit* u = m_units; u; u = u->m_unitNext)
        if (Selected(u)) return true;
    return false;
}

bool CGameScene::HasSelectedUnitWithFlags() const {
    const uint8_t both = CUnit::kU_Builder | CUnit::kU_Mobile;
    for (CUnit* u = m_units; u; u = u->m_unitNext)
        if (Selected(u) && (u->m_unitState & both) == both) return true;
    return false;
}

void CGameScene::GroupCentre(int32_t group) {
    float sx = 0.0f, sz = 0.0f;
    int32_t n = 0;
    for (CUnit* u = m_units; u; u = u->m_unitNext)
        if (u->m_group == group) {
            sx += u->m_position[0];
            sz += u->m_position[2];
            ++n;
        }
    CExplosionManager* view = m_game ? m_game->ExplosionManager() : nullptr;
    if (n == 0 || !view) return;
    view->m_focusX = sx / static_cast<float>(n);
    view->m_focusZ = -(sz / static_cast<float>(n));
}

bool CGameScene::CentreOnFollowed() {
    CTessarakObject* o = m_followed.Get();
    if (!o) return false;
    CExplosionManager* view = m_game ? m_game->ExplosionManager() : nullptr;
    if (!view) return true;
    // Where it is drawn (between two ticks), unless that lags its place by
    // 2.0 or more (a jump).
    float x = o->m_render.m[3][0], z = o->m_render.m[3][2];
    if (!(x - o->m_position[0] < 2.0f && o->m_position[0] - x < 2.0f)) x = o->m_position[0];
    if (!(z - o->m_position[2] < 2.0f && o->m_position[2] - z < 2.0f)) z = o->m_position[2];
    view->m_focusX = x;
    view->m_focusZ = -z;
    return true;
}

namespace {

// Every selected world object moves to its distance d from (cx, cz) in the
// direction of the heading h (degrees): x = cx - cos(h) d, z = cz - sin(h) d.
template <class Place>
void MoveSelected(CTessarakObject* all, float cx, float cz, Place place) {
    for (CTessarakObject* o = all; o; o = o->m_allNext) {
        if (!Selected(o)) continue;
        float h = 0.0f, d = 0.0f;
        place(o, &h, &d);
        const float r = DegToRad(h);
        o->SetPosition(cx - Math_Cos(r) * d, o->m_position[1], cz - Math_Sin(r) * d);
        o->Invalidate();
    }
}

}  // namespace

bool CGameScene::RotateSelection(float cx, float cz, float angleDeg) {
    MoveSelected(m_allObjects, cx, cz, [=](CTessarakObject* o, float* h, float* d) {
        *h = -Angle2DDeg(cx, cz, o->m_position[0], o->m_position[2]) - 90.0f + angleDeg;
        *d = Distance2D(cx, cz, o->m_position[0], o->m_position[2]);
    });
    return true;
}

bool CGameScene::ScaleSelection(float cx, float cz, float factor) {
    MoveSelected(m_allObjects, cx, cz, [=](CTessarakObject* o, float* h, float* d) {
        *h = -Angle2DDeg(cx, cz, o->m_position[0], o->m_position[2]) - 90.0f;
        *d = Distance2D(cx, cz, o->m_position[0], o->m_position[2]) * factor;
    });
    return true;
}

void CGameScene::FilterSelection() {
    const uint8_t mobile = CUnit::kU_Mobile, armed = CUnit::kU_Armed;
    int32_t armedCount = 0, unarmedCount = 0;
    for (CUnit* u = m_units; u; u = u->m_unitNext) {
        if (!Selected(u) || !(u->m_unitState & mobile)) continue;
        if (u->m_unitState & armed)
            ++armedCount;
        else
            ++unarmedCount;
    }
    const bool keepArmed = armedCount >= unarmedCount;
    for (CUnit* u = m_units; u; u = u->m_unitNext) {
        if (!Selected(u)) continue;
        const bool keep = (u->m_unitState & mobile) && ((u->m_unitState & armed) != 0) == keepArmed;
        u->HandleMessage(keep ? CTessarakObject::kMsgSelect : CTessarakObject::kMsgDeselect, 0);
    }
}
