#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
//
// The selection in world terms. The objects' selection bits are the local
// player's choice and take no part in the simulation (no sync image or
// saved game holds them). Lists are walked in their link order, never in
// the order of addresses. (Picking from the screen is the interface's:
// ui/MouseOrders.cpp.)
#include "world/GameScene.h"
#include "world/GridMember.h"
#include "world/Player.h"
#include "world/TessarakObject.h"
#include "world/Unit.h"

namespace {

bool Selected(const CTessarakObject* o) {
    return (o->m_stateA & CTessarakObject::kA_Selected) != 0;
}

}  // namespace

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
