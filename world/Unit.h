// Units: grid members that belong to a player and take orders (vehicles,
// harvesters, builders, factories, defence structures). A unit is made from
// a CUnitTemplate. This is the unit's place in the class family, the scene's
// unit list and its class bit; its state, update and orders grow here.
#pragma once

#include <cstdint>

#include "world/GridMember.h"
#include "world/UnitTemplate.h"

class CUnit : public CGridMember {
public:
    // The owner is applied by the unit itself, once it is a unit.
    CUnit(CGameScene* scene, CTessarakObjectTemplate* tmpl, CE3DFrame* parent, const float* position,
          uint8_t worldObject, CPlayer* owner, int32_t id);
    ~CUnit() override;

    // The grid member's, then the unit deselects itself.
    bool CreateFromTemplate(CTessarakObjectTemplate* tmpl) override;
    void Release() override;

    CUnit* m_unitNext = nullptr;  // the scene's units, newest first
    CUnit* m_unitPrev = nullptr;

protected:
    void LeaveSceneUnitList();
    uint8_t m_onUnitList = 0;
};
