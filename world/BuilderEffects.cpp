#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
//
// Construction and the builders' work effects. What decides the game (when a
// structure is complete) is simulation; the looks follow the owner's race:
// 1 lightning from the builder's fire points, 2 a beam, 3 emitters.
#include "e3d/Beam.h"
#include "world/ExplosionManager.h"
#include "world/Player.h"
#include "world/Unit.h"
#include "world/World.h"

void CExplosionManager::StopBuilderEffect(CUnit* unit) {
    const CPlayer* owner = unit->m_owner;
    int kind = owner && owner->m_race ? owner->m_race->m_buildEffect : 0;
    switch (kind) {
        case 1:
            for (SFirePoint& p : unit->m_firePoints) {
                p.m_boltShown = 0;
                p.m_timer = -1.0f;
                if (CE3DLightning* bolt = p.Lightning()) bolt->m_pendingVisibility = 1;
            }
            break;
        case 2: {
            unit->m_beamGrowth = 0.0f;
            CTessarakObject* beam = unit->m_carried.Get();
            if (!beam) break;
            float length = beam->m_scale[2];
            if (length <= 0.0f) {
                beam->m_pendingVisibility = 1;
            } else {
                if (!unit->m_firePoints.empty() && unit->m_firePoints.front().m_object) {
                    CTessarakObject* first = unit->m_firePoints.front().m_object;
                    first->UpdateMatrixUp();
                    beam->SetPosition(first->m_world[3][0], first->m_world[3][1], first->m_world[3][2]);
                }
                float dt = m_world ? m_world->Clock().TickStep() : 0.0f;
                beam->SetScale(beam->m_scale[0], beam->m_scale[1], length > dt ? length - dt : 0.0f);
            }
            break;
        }
        default:
            break;
    }
}
