#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
#include "world/GameScene.h"
#include "world/SceneList.h"
#include "world/Unit.h"

CUnit::CUnit(CGameScene* scene, CTessarakObjectTemplate* tmpl, CE3DFrame* parent, const float* position,
             uint8_t worldObject, CPlayer* owner, int32_t id)
    : CGridMember(scene, tmpl, parent, position, worldObject, nullptr, id) {
    m_classMask |= kClassUnit;
    SetOwner(owner);
    if (worldObject) {
        SceneList_PushFront<&CUnit::m_unitNext, &CUnit::m_unitPrev>(scene->m_units, &scene->m_unitCount,
                                                                    this);
        m_onUnitList = 1;
    }
    m_gridFlags = static_cast<uint8_t>((m_gridFlags & ~(0x02 | kG_Complete | 0x40)) | kG_Avoiding);
    m_stateA |= kA_Selected;  // until CreateFromTemplate deselects it
}

CUnit::~CUnit() {
    LeaveSceneUnitList();
}

void CUnit::LeaveSceneUnitList() {
    if (!m_onUnitList) return;
    SceneList_Unlink<&CUnit::m_unitNext, &CUnit::m_unitPrev>(m_gameScene->m_units, &m_gameScene->m_unitCount,
                                                             this);
    m_onUnitList = 0;
}

bool CUnit::CreateFromTemplate(CTessarakObjectTemplate* tmpl) {
    if (!CGridMember::CreateFromTemplate(tmpl)) return false;
    HandleMessage(kMsgDeselect, 0);
    return true;
}

void CUnit::Release() {
    if (IsReleased()) return;
    LeaveSceneUnitList();
    CGridMember::Release();
}
