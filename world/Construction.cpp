#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
//
// Construction sites. A structure (or a unit that a factory produces) begins
// incomplete; the build orders start its construction where the building
// begins, builders and factories add work to its build value, and the scene's
// tick runs UpdateConstruction on it while it is incomplete. When the build
// value reaches the template's BuildTime the structure is complete (grid
// flag 0x10): that, and nothing else here, is simulation. What the player
// sees grows with the value, by the owner's race:
//  1 wire lightning: a copy of the structure in the wire material fades in
//    over the first half, then the structure itself over the second;
//  2 intestine blob: a blob in the owner's colour swells to the structure's
//    size, its volume growing with the work done;
//  3 ice scale: a copy of the structure in the ice material unfolds in four
//    quarters, the structure appearing behind it in the third.
// The scaffold is an effect of the view: a plain object without an id that
// the structure carries (its carried link), never part of a sync image.
#include "e3d/Material.h"
#include "world/ExplosionManager.h"
#include "world/GameScene.h"
#include "world/GridMember.h"
#include "world/Player.h"
#include "world/Unit.h"

namespace {

int32_t BuildEffectOf(const CTessarakObject* structure) {
    const CPlayer* owner = structure->m_owner;
    return owner && owner->m_race ? owner->m_race->m_buildEffect : 0;
}

float BuildTimeOf(const CTessarakObject* structure) {
    const CTessarakObjectTemplate* t = structure->m_template;
    return t && (t->m_classMask & kClassGridMember) ? static_cast<const CGridMemberTemplate*>(t)->m_buildTime
                                                    : 0.0f;
}

// The scaffold takes the structure's place and turn.
void Follow(CTessarakObject* scaffold, CTessarakObject* structure) {
    scaffold->SetPosition(structure->m_position[0], structure->m_position[1], structure->m_position[2]);
    scaffold->SetOrientation(structure->m_yaw, structure->m_pitch, structure->m_roll);
}

void SetMaterialOf(CTessarakObject* object, const CE3DMaterial* material) {
    if (material) object->SetMaterial(material->m_projectId, material->m_materialId);
}

}  // namespace

void CExplosionManager::StartConstruction(CGridMember* structure) {
    if (!structure || !structure->m_template) return;
    CGameScene* scene = structure->m_gameScene;
    const int32_t type = BuildEffectOf(structure);
    CTessarakObject* scaffold = structure->m_carried.Get();
    if (!scaffold) {
        CTessarakObjectTemplate* look =
            type == 2 && m_intestineBlobObject ? m_intestineBlobObject : structure->m_template;
        scaffold = scene->CreateObjectFromTemplate(look, structure->m_position, scene->m_rootFrame,
                                                   CGameScene::kKindObject, structure->m_owner, -1);
        if (!scaffold) return;
        structure->m_carried.Set(scaffold);
    }
    const float* colour = structure->m_owner ? structure->m_owner->m_colour : nullptr;
    switch (type) {
        case 1:
            scaffold->SetFlag(true);  // transparent
            SetMaterialOf(scaffold, m_wireLightningMaterial);
            scaffold->SetScale(0.0f, 1.0f, 1.0f);
            scaffold->SetVisibleFraction(0.0f);
            break;
        case 3:
            structure->m_pendingVisibility = 1;
            SetMaterialOf(scaffold, m_iceScaleMaterial);
            scaffold->SetScale(1.0f, 1.0f, 0.005f);
            break;
        case 2:
            if (colour) scaffold->SetColor(colour[0] / 255.0f, colour[1] / 255.0f, colour[2] / 255.0f);
            structure->m_pendingVisibility = 1;
            scaffold->SetScale(0.0f, 0.0f, 0.0f);
            break;
        default:
            break;
    }
    Follow(scaffold, structure);
    scaffold->ResetMatrixHistory();
    structure->ResetMatrixHistory();
}

bool CExplosionManager::UpdateConstruction(CGridMember* structure) {
    const float total = BuildTimeOf(structure);
    const float done = structure->m_powerWord1;  // the build value: seconds of work
    const int32_t type = BuildEffectOf(structure);
    if (done >= total) {
        // Each unit and building finished counts for its owner and team
        // (the statistics' "constructed"), once.
        if (!(structure->m_gridFlags & CGridMember::kG_Complete))
            if (CPlayer* owner = structure->m_owner) {
                ++owner->m_scoreCounters[0];
                if (owner->m_team) ++owner->m_team->m_scoreCounters[0];
            }
        structure->m_gridFlags |= CGridMember::kG_Complete;
        structure->SetFlag(false);
        structure->ReleaseCarried();  // a complete structure explodes its scaffold
        structure->m_pendingVisibility = -1;
        structure->SetVisibleFraction(1.0f);
        return true;
    }
    CTessarakObject* scaffold = structure->m_carried.Get();
    if (!scaffold) return true;
    Follow(scaffold, structure);
    switch (type) {
        case 1: {
            const float half = total * 0.5f;
            const int32_t phase = Math_Truncate(done / half);
            const float f = (done - static_cast<float>(phase) * half) / half;
            if (phase == 0) {
                scaffold->SetScale(1.0f, 1.0f, 1.0f);
                scaffold->SetVisibleFraction(f);
                structure->SetVisibleFraction(0.0f);
            } else {
                scaffold->SetVisibleFraction(1.0f);
                structure->m_pendingVisibility = -1;
                structure->SetVisibleFraction(f);
            }
            break;
        }
        case 2: {
            // The blob's volume grows with the work: the volume of a sphere of
            // the structure's radius times the share done, as a sphere again.
            const float r = structure->m_boundingRadius;
            const float s = Math_Pow((done / total) * r * r * r * 2.3561945f * 0.42441317f, 1.0f / 3.0f);
            scaffold->SetScale(s, s, s);
            break;
        }
        case 3: {
            const float quarter = total * 0.25f;
            const int32_t phase = Math_Truncate(done / quarter);
            const float f = (done - static_cast<float>(phase) * quarter) / quarter;
            switch (phase) {
                case 0:
                    scaffold->SetScale(f, 1.0f, 0.005f);
                    break;
                case 1:
                    scaffold->SetScale(1.0f, 1.0f, f + 0.005f);
                    break;
                case 2:
                    scaffold->SetScale(0.005f, 1.0f, f);
                    structure->m_pendingVisibility = -1;
                    break;
                case 3:
                    scaffold->SetScale(f + 0.005f, 1.0f, 1.0f);
                    break;
                default:
                    scaffold->SetScale(1.0f, 1.0f, 1.0f);
                    break;
            }
            break;
        }
        default:
            break;
    }
    return true;
}

void CExplosionManager::StartBuilderEffect(CUnit* unit) {
    if (!unit || !(unit->m_unitState & CUnit::kU_Builder)) return;
    switch (BuildEffectOf(unit)) {
        case 1:
            // The bolts show; each draws its first end at the next update.
            for (SFirePoint& p : unit->m_firePoints) {
                p.m_boltShown = 1;
                p.m_timer = -1.0f;
            }
            break;
        case 2: {
            if (!unit->m_carried.Get() && m_intestineObject) {
                CGameScene* scene = unit->m_gameScene;
                CTessarakObject* beam =
                    scene->CreateObjectFromTemplate(m_intestineObject, unit->m_position, scene->m_rootFrame,
                                                    CGameScene::kKindObject, unit->m_owner, -1);
                if (!beam) break;
                beam->SetScale(1.0f, 1.0f, 0.0f);
                if (const CPlayer* owner = unit->m_owner)
                    beam->SetColor(owner->m_colour[0] / 255.0f, owner->m_colour[1] / 255.0f,
                                   owner->m_colour[2] / 255.0f);
                unit->m_carried.Set(beam);
            }
            unit->m_beamGrowth = 0.0f;
            if (CTessarakObject* beam = unit->m_carried.Get()) beam->m_pendingVisibility = -1;
            break;
        }
        default:
            break;
    }
}
