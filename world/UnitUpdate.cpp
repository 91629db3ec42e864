#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
//
// The unit's per-tick brain, step by step as the scene's tick runs it. dt is
// the clock's tick step; what only the view shows (the hit flash, the
// alarm, the selection fade) steps by the render frame's time in StepView,
// outside the tick. Every random number comes from
// the unit's own generator, every walk of other objects follows a list or the
// grid's cell order, never addresses.
#include <algorithm>
#include <vector>

#include "e3d/Emitter.h"
#include "world/ExplosionManager.h"
#include "world/GameScene.h"
#include "world/PhysicsEngine.h"
#include "world/Player.h"
#include "world/Unit.h"
#include "world/WaypointList.h"
#include "world/World.h"
#include "world/WorldGrid.h"

namespace {

constexpr float kHalfTurnDeg = 180.0f;

float WrapDeg(float a) {
    a = Math_Fmod(a, 360.0f);
    if (a < 0.0f) a += 360.0f;
    if (a >= 360.0f) a -= 360.0f;
    return a;
}

float WrapRad(float a) {
    a = Math_Fmod(a, kTwoPi);
    if (a < 0.0f) a += kTwoPi;
    if (a >= kTwoPi) a -= kTwoPi;
    return a;
}

// The signed shortest turn from a to b, degrees in (-180, 180].
float TurnDeg(float from, float to) {
    float d = WrapDeg(to - from);
    return d > kHalfTurnDeg ? d - 360.0f : d;
}

// Moves a toward b by at most step degrees the shorter way, without
// overshooting; returns the signed change.
float StepToward(float& a, float b, float step) {
    float d = TurnDeg(a, b);
    float change = d > 0.0f ? std::min(d, step) : std::max(d, -step);
    a = WrapDeg(a + change);
    return change;
}

CGridMember* AsMember(CGridObject* o) {
    return o ? static_cast<CGridMember*>(o) : nullptr;
}

bool IsFlat(const CTessarakObject* o) {
    return o->IsGridMember() &&
           (static_cast<const CGridMember*>(o)->m_gridFlags & CGridMember::kG_NoYCollision);
}

int RaceEffect(const CPlayer* owner) {
    return owner && owner->m_race ? owner->m_race->m_buildEffect : 0;
}

}  // namespace

CGridObject* CUnit::GridLinkedUnit() const {
    CTessarakObject* t = m_buildTarget.Get();
    return t && t->IsGridMember() ? static_cast<CGridMember*>(t) : nullptr;
}

void CUnit::StepView(float frame) {
    // The hit flash: the flash phase toggles every tenth of a second while
    // the timer runs.
    if (m_hitFlashTimer <= 0.0f) {
        m_motionFlags |= kM_FlashPhase;
    } else {
        m_hitFlashTimer -= frame;
        m_hitFlashAccum += frame;
        if (m_hitFlashAccum > 0.1f) {
            m_hitFlashAccum = 0.0f;
            m_motionFlags ^= kM_FlashPhase;
        }
    }
    // The alarm runs out.
    if (m_alarm) {
        m_alarmTimer -= frame;
        if (m_alarmTimer <= 0.0f) m_alarm = 0;
    }
    // The selection ring of a complete unit fades in and out.
    if (IsComplete()) {
        const float fadeStep = 4.0f * frame;
        if (m_stateA & kA_Selected)
            m_selectionFade = std::min(1.0f, m_selectionFade + fadeStep);
        else
            m_selectionFade = std::max(0.0f, m_selectionFade - fadeStep);
    }
}

void CUnit::Update(uint8_t* underConstruction) {
    CWorld* world = World();
    if (!world) return;
    const float dt = world->Clock().TickStep();
    CGameScene* scene = m_gameScene;
    CWorldGrid* grid = &world->Grid();
    CExplosionManager* effects = &world->Explosions();
    CUnitTemplate* t = UnitTemplate();
    if (!t || !(t->m_classMask & kClassUnit)) return;
    CPlayer* owner = m_owner;
    CPlayer* local = scene->LocalPlayer();
    const bool alive = IsAlive();

    // 1. A scaffold mark lasts one tick.
    m_gridFlags &= ~kG_Marked;

    // 2. The builder's effect, by its owner's race.
    if (m_unitState & kU_Builder) {
        CTessarakObject* target = m_buildTarget.Get();
        if (!target) {
            if (effects) effects->StopBuilderEffect(this);
        } else {
            switch (RaceEffect(owner)) {
                case 1:
                    // Lightning: each bolt is drawn anew now and then, to a
                    // random point of the target (the fire point's own
                    // generator: what only the view shows draws nothing
                    // from the unit's).
                    for (SFirePoint& p : m_firePoints) {
                        p.m_timer -= dt;
                        if (p.m_timer < 0.0f) {
                            p.m_timer = p.m_random.RandFloat() * 4.0f + 1.5f;
                            for (int i = 0; i < 3; ++i)
                                p.m_boltEnd[i] = target->m_position[i] +
                                                 (p.m_random.RandFloat() - 0.5f) * target->m_boundingRadius;
                        }
                        p.m_boltShown = 1;
                        p.ShowBolt();
                    }
                    break;
                case 2:
                    if (CTessarakObject* beam = m_carried.Get()) {
                        float d[3];
                        VectorSubtract(d, target->m_position, m_position);
                        float distance = Math_Sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
                        m_beamGrowth = std::min(m_beamGrowth + dt, 1.0f);
                        if (distance > 0.0f) {
                            beam->SetPosition(m_position[0], m_position[1], m_position[2]);
                            beam->SetOrientation(WrapRad(Math_Atan2(d[0], d[2])),
                                                 WrapRad(-Math_Asin(d[1] / distance)), 0.0f);
                            beam->SetScale(1.0f, 1.0f, distance * m_beamGrowth);
                            beam->m_pendingVisibility = -1;
                        }
                    }
                    break;
                default:
                    break;
            }
        }
    }

    // (3 and 4, the hit flash and the alarm, are the view's: StepView.)

    bool steered = false;
    // 5. A unit under construction only keeps its place in the grid.
    if (!IsComplete()) {
        if (underConstruction) *underConstruction = 1;
    } else {
        m_velocity[0] = m_velocity[1] = m_velocity[2] = 0.0f;
        float y = m_position[1];
        y -= Math_Sin(m_hoverPhase) * m_hoverAmplitude;
        m_hoverPhase = WrapRad(m_hoverPhase + dt * m_hoverPhaseSpeed);
        y += Math_Sin(m_hoverPhase) * m_hoverAmplitude;
        SetPosition(m_position[0], y, m_position[2]);
        if (!(m_stateB & kB_AutoRotate))
            SetOrientation(WrapRad(DegToRad(m_headingDeg) + t->m_baseHeading), WrapRad(-DegToRad(m_pitchDeg)),
                           WrapRad(-DegToRad(m_bank)));

        // 6. Target upkeep.
        if (!(m_motionFlags & kM_NoTargetScan) && (m_unitState & kU_Armed) && alive)
            UpkeepTarget(owner, local);

        // 7. The blocked state ends with its blocker.
        if (m_gridFlags & kG_Blocked) {
            CTessarakObject* b = m_blocking.Get();
            if (!b || !b->IsGridMember()) {
                m_gridFlags &= ~kG_Blocked;
                m_gridFlags |= kG_Avoiding;
            }
        }

        // 8. Steering along the path.
        if (m_waypoints && !m_waypoints->IsEmpty()) {
            steered = true;
            Steer(dt);
        }

        // 9. Turning toward the desired heading and pitch, banking in the turn.
        if (m_unitState & kU_Mobile) Turn(dt);

        // 10. Avoidance of the units ahead.
        const float vsum = Math_Fabs(m_velocity[0]) + Math_Fabs(m_velocity[1]) + Math_Fabs(m_velocity[2]);
        if ((vsum > 0.03f || steered || (m_steeringFlags & kT_KeepSteering)) && m_waypoints &&
            m_waypoints->Cursor() && grid)
            Avoid(grid);

        // 11. Motion upkeep.
        if (!alive || m_scanWord) m_motionFlags |= kM_Arrived;
        LookAhead();

        // 12. Docking at a resource spot and its income.
        if ((m_unitState & kU_Docks) && alive) {
            if (!(m_serviceFlags & kS_DockChosen)) {
                m_serviceFlags |= kS_DockChosen;
                m_dock.Set(FindNearestDock());
                if (!m_dock) m_unitState &= ~kU_Docks;
            }
            m_serviceFlags &= ~kS_Docked;
            CTessarakObject* dock = m_dock.Get();
            if (dock && Distance2D(m_position[0], m_position[2], dock->m_position[0], dock->m_position[2]) <
                            m_objectRadius + 0.2f) {
                m_serviceFlags |= kS_Docked;
                if (owner) {
                    float rate = dock->m_resourceSpot ? dock->m_resourceSpot->m_current : 0.0f;
                    float income = rate * dt * t->m_spotValue;
                    owner->m_resourcesGained += income;
                    owner->m_incomeTotal += income;
                    // The statistics count this unit's own income once.
                    owner->m_dockedIncome += income;
                }
            }
        }

        // 13. The child unit, and the orders.
        if (scene->m_childUnitsAllowed && !(m_serviceFlags & kS_ChildAdded) && alive) {
            if (AddChildUnit())
                m_serviceFlags |= kS_ChildAdded;
            else
                m_serviceFlags &= ~kS_ChildAdded;
        }
        if (alive && m_orderList && !m_waitSignal) {
            COrderList::PickNext(m_orderList);
            CTessarakObject* threat = m_threat.Get();
            CUnitOrder* running = m_runningOrder;
            CUnitOrder* current = m_currentOrder;
            // An order that attacks threats on its way gets an attack under
            // it once (its current order is then that attack).
            if (threat && running && (running->m_aux & 0x400) && running->m_type != CUnitOrder::kAttack &&
                current && current != m_orderList && current->m_type != CUnitOrder::kAttack &&
                !(current->m_parent && current->m_parent->m_type == CUnitOrder::kAttack)) {
                CAttackOrder* attack = new CAttackOrder(running, nullptr, this, 0);
                attack->m_targetLink.Set(threat);
            }
            running = m_runningOrder;
            const uint32_t building = CUnitOrder::kConstruct | CUnitOrder::kRepair | CUnitOrder::kGuard;
            if (t->m_buildMethod == CUnitTemplate::kBuildExternal &&
                !(running && (running->m_type & building))) {
                if (RaceEffect(owner) == 1 && effects) effects->StopBuilderEffect(this);
                m_buildTarget.Clear();
            }
        }

        // 14. Laser fence.
        if (t->m_laserFence) UpdateFence(dt);

        // 15. The owner's economy; a dead harvester's beam goes out.
        if (!alive) TurnDownHarvestEmitter();
        if (owner) {
            owner->m_storage += t->m_storage;
            if (!alive) {
                if (RaceEffect(owner) == 1 && effects) effects->StopBuilderEffect(this);
            } else {
                owner->m_energyProduced += t->m_givesEnergy;
                owner->m_energyConsumed += t->m_takesEnergy;
                owner->m_resourcesGained += t->m_givesResources * dt;
                owner->m_resourcesSpent += t->m_takesResources * dt;
                CTessarakObject* target = m_buildTarget.Get();
                if (target && target->IsUnit()) {
                    CUnit* work = static_cast<CUnit*>(target);
                    const CUnitTemplate* wt = work->UnitTemplate();
                    float w = t->m_buildPowerAdd * owner->m_energyRatio * dt;
                    if (owner->m_resources <= 0.0f) {
                        if (RaceEffect(owner) == 1 && effects) effects->StopBuilderEffect(this);
                    } else if (wt && wt->m_buildTime > 0.0f) {
                        // A template without build time takes no work (it would
                        // divide by zero); it is complete when made.
                        float f = w / wt->m_buildTime;
                        owner->m_resourcesSpent += f * wt->m_expense;
                        work->m_power = std::min(work->m_power + f * wt->m_power, wt->m_power);
                        work->BuildValue() = std::min(work->BuildValue() + w, wt->m_buildTime);
                        work->GraceTimer() = 10.0f;
                    }
                }
            }
        }

        // 16. The energy accelerator counts while the unit lives.
        if (owner) {
            if (alive && !(m_energyByte & 0x01)) {
                owner->m_energyAccelerator += t->m_energyAccelerator;
                m_energyByte |= 0x01;
            } else if (!alive && (m_energyByte & 0x01)) {
                owner->m_energyAccelerator -= t->m_energyAccelerator;
                m_energyByte &= ~0x01;
            }
        }

        // 17. Radar cover of another player's unit (what the local view shows).
        if (owner != local && (scene->m_frameCounter + m_word) % 20 == 0)
            m_areaByte = scene->FindUnitCovering(m_position[0], m_position[2]) ? 1 : 0;

        // 18. Warp.
        if (m_unitState & kU_Warp) UpdateWarp();

        // 19. Phasing, and the smoke of a damaged unit.
        if (t->m_phasing && (!(m_gridFlags & kG_Moving) || (m_motionFlags & kM_Arrived)) && grid)
            PhasePush(grid);
        UpdateSmoke();
    }

    // 20. Registration in the world grid.
    if (grid) RegisterInGrid(grid);

    // 21. Sight: the local side's units stamp their discs into the cell map.
    UpdateSight(grid, local);
}

// ---- step 19

void CUnit::UpdateSmoke() {
    CUnitTemplate* t = UnitTemplate();
    CE3DEmitter* smoke = static_cast<CE3DEmitter*>(m_smokeEmitter.Get());
    if (!t || !(m_power < t->m_power * 0.5f)) {
        if (smoke) smoke->SetEmitting(false);
        return;
    }
    if (!smoke) {
        CExplosionManager* effects = Explosions();
        CGameScene* scene = m_gameScene;
        if (!effects || !effects->m_viewEffects || !effects->m_smokeTemplate || !scene) return;
        smoke = CE3DEmitter::Create(scene->m_rootFrame, effects->m_smokeTemplate);
        if (!smoke) return;
        m_smokeEmitter.Set(smoke);
    }
    // Following starts the emitter (and takes the unit's place as the first
    // source): only when it is not on already.
    if (smoke->Followed() != this || !smoke->m_emitting) smoke->FollowFrame(this);
    const float r = m_objectRadius;
    smoke->SetSize(r * 0.35f, r * 0.35f, r * 0.35f);
    smoke->SetGrowth(1.01f);
    smoke->SetSpreadRadius(r * 1.01f);
}

// ---- step 6

void CUnit::UpkeepTarget(CPlayer* owner, CPlayer* local) {
    CGameScene* scene = m_gameScene;
    CUnitTemplate* t = UnitTemplate();
    CWorldGrid* grid = WorldGrid();
    m_turnRateFactor = 1.0f;
    m_speedOverride = 0.0f;
    CTessarakObject* target = m_attackTarget.Get();
    // Combat marks of the players in a fight with the local player.
    if (target && target->IsUnit() && owner && local) {
        CPlayer* marked = nullptr;
        if (owner == local)
            marked = target->m_owner;
        else if (target->m_owner == local)
            marked = owner;
        if (marked && !marked->m_combatMark) {
            marked->m_combatTimer = 20.0f;
            marked->m_combatMark = 1;
        }
    }
    // The alarm of a unit whose target comes in sight (view only).
    if (!m_alarm && target && target->IsUnit() &&
        DistanceSquared2D(m_position[0], m_position[2], target->m_position[0], target->m_position[2]) <
            t->m_visibleRangeSq) {
        m_alarm = 1;
        m_alarmTimer = 4.0f;
        if (owner && owner == local) {
            CUnit* u = static_cast<CUnit*>(target);
            u->m_alarm = 1;
            u->m_alarmTimer = 4.0f;
        }
    }
    // The threat: scanned for once every stagger ticks.
    const int32_t stagger = scene->m_unitUpdateStagger;
    if (m_threat.Get() != m_previousThreat.Get()) {
        m_scanCounter = static_cast<uint8_t>(stagger);
        m_previousThreat.Set(m_threat.Get());
    }
    const bool scanning = !t->m_noAttackScan || (owner && owner->m_computer);
    if (!m_threat && scanning) {
        if (stagger <= m_scanCounter) {
            m_scanCounter = 0;
            CGridObject* enemy = grid ? grid->m_layer[0].FindNearestEnemyUnit(m_position[0], m_position[2],
                                                                              t->m_lockRange, owner)
                                      : nullptr;
            m_threat.Set(AsMember(enemy));
        }
        ++m_scanCounter;
    }
    if (target) {
        float d2 =
            DistanceSquared2D(m_position[0], m_position[2], target->m_position[0], target->m_position[2]);
        if (d2 < t->m_visibleRangeSq || (!scanning && !(m_unitState & kU_Mobile))) m_threat.Set(target);
    }
    if (CTessarakObject* threat = m_threat.Get())
        if (scanning && DistanceSquared2D(m_position[0], m_position[2], threat->m_position[0],
                                          threat->m_position[2]) > t->m_lockRangeSq)
            m_threat.Clear();
    // Manoeuvres against the threat.
    CTessarakObject* threat = m_threat.Get();
    CUnitOrder* running = m_runningOrder;
    bool fencePost = threat && threat->m_template && (threat->m_template->m_classMask & kClassUnit) &&
                     static_cast<CUnitTemplate*>(threat->m_template)->m_laserFence;
    if (threat && (m_unitState & kU_Mobile) && (!running || running->m_type == CUnitOrder::kAttack) &&
        scanning && (m_mode & 0x7F) == 2 && m_footprintHalfSize < 3 && !t->m_kamikaze && !fencePost) {
        if (m_maxSpeed < 0.55f)
            CircleTarget();
        else
            StrafeTarget();
    }
}

// ---- step 8

void CUnit::Steer(float dt) {
    CWaypointList* path = m_waypoints;
    CWaypointPoint* cursor = path->Cursor();
    if (!cursor) cursor = path->First();
    const float x = m_position[0], z = m_position[2];
    // The cursor moves on past points the unit has reached or left behind.
    if (cursor != path->Tail() && cursor->next &&
        DistanceSquared2D(x, z, cursor->next->x, cursor->next->z) <
            DistanceSquared2D(x, z, cursor->x, cursor->z))
        path->Next();
    cursor = path->Cursor();
    {
        float reach = 1.0f + m_speed * 0.2f;
        float d2 = DistanceSquared2D(x, z, cursor->x, cursor->z);
        if (d2 < reach * reach * 0.25f || (d2 < 0.25f && m_speed < 1.0f)) path->Next();
    }
    cursor = path->Cursor();
    const bool arrived = (m_motionFlags & kM_Arrived) != 0;
    if (!arrived) {
        m_desiredHeading = Angle2DDeg(x, z, cursor->x, cursor->z);
        float ground = Distance2D(x, z, cursor->x, cursor->z);
        float pitch = WrapDeg(RadToDeg(Math_Atan2(cursor->y - m_position[1], ground)));
        if (pitch > 45.0f && pitch < 315.0f) pitch = pitch < 180.0f ? 45.0f : 315.0f;
        // A ground unit drives level whatever height its way asks for (a
        // sidestep over a blocker, a manoeuvre's height).
        m_desiredPitch = KeepsToGround() ? 0.0f : pitch;
    } else {
        m_desiredPitch = m_pitchDeg;
    }

    // Speed control.
    CWaypointPoint* last = path->Tail();
    float T = m_maxSpeed * 6.0f, A = m_maxSpeed * 3.0f, D = 0.1f;
    if (arrived || m_stopByte || m_waitSignal) {
        T = 0.0f;
        A = 0.0f;
        D = m_maxSpeed * 9.3896713f;
    } else if (m_steeringFlags & kT_Waiting) {
        T = std::min(T, m_waitSpeed);
        if (m_waitDeceleration >= 0.1f) D = m_waitDeceleration;
    } else if (m_accumTurn > 360.0f || m_accumTurn < -360.0f) {
        T = 0.0f;
        D = 10.0f;
    } else {
        float d1 = Distance2D(x, z, last->x, last->z);
        float d2 = Distance2D(x, z, cursor->x, cursor->z);
        if (d1 < 0.8f) {
            T = Math_Fabs(TurnDeg(m_headingDeg, m_desiredHeading)) <= 10.0f ? std::min(T, d1) : 0.05f;
            float brake = d1 > 0.0f ? m_speed * m_speed / d1 * 0.46948355f : 0.0f;
            if (brake >= 0.1f) D = brake;
        } else if (cursor->next && m_objectRadius > 0.4f && d2 < 1.0f) {
            T = std::min(T, Distance2D(cursor->x, cursor->z, cursor->next->x, cursor->next->z) + 1.0f);
            D = 6.0f;
        }
    }
    if (!(m_steeringFlags & kT_PathReady)) {
        A = std::min(A, 0.5f);
        T = std::min(T, 0.2f);
    }
    D = std::min(D, m_maxSpeed * 20.0f);
    if (m_speedOverride != 0.0f) T = m_speedOverride;
    if (m_speed > T) {
        m_speed = std::max(m_speed - D * dt, T);
        float len = Math_Sqrt(m_pushVelocity[0] * m_pushVelocity[0] + m_pushVelocity[1] * m_pushVelocity[1] +
                              m_pushVelocity[2] * m_pushVelocity[2]);
        if (len > 0.0f) {
            float shrunk = std::max(len - D * dt * 0.2f, 0.0f);
            for (float& p : m_pushVelocity) p *= shrunk / len;
        }
    } else {
        m_speed = std::min(m_speed + A * dt, T);
    }

    // Velocity along heading and pitch; a towed unit is pulled instead.
    const float h = DegToRad(m_headingDeg), p = DegToRad(m_pitchDeg);
    if (!m_byte) {
        m_velocity[0] = Math_Cos(p) * Math_Sin(h) * m_speed;
        m_velocity[1] = Math_Sin(p) * m_speed;
        m_velocity[2] = Math_Cos(p) * Math_Cos(h) * m_speed;
    } else {
        m_velocity[0] = m_velocity[1] = m_velocity[2] = 0.0f;
        float d[3] = {cursor->x - x, cursor->y - m_position[1], cursor->z - z};
        float len = Math_Sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
        if (len > 0.0f)
            for (int i = 0; i < 3; ++i) m_pushVelocity[i] += dt * 10.0f * d[i] / len;
        float push = Math_Sqrt(m_pushVelocity[0] * m_pushVelocity[0] + m_pushVelocity[1] * m_pushVelocity[1] +
                               m_pushVelocity[2] * m_pushVelocity[2]);
        if (push > 2.0f) {
            m_pushVelocity[0] = 2.0f * Math_Cos(m_pitch) * Math_Sin(m_yaw);
            m_pushVelocity[1] = 2.0f * Math_Sin(m_pitch);
            m_pushVelocity[2] = 2.0f * Math_Cos(m_pitch) * Math_Cos(m_yaw);
        }
    }

    // Arrival.
    float dLast2 = DistanceSquared2D(x, z, last->x, last->z);
    if (dLast2 < std::max(0.4f, m_speed * 0.4f) || (m_stuckCount > 5 && dLast2 < 9.0f)) {
        m_motionFlags |= kM_Arrived;
        m_desiredPitch = 0.0f;
    }
    if (m_speed <= 0.0f && (m_motionFlags & kM_Arrived)) {
        m_gridFlags &= ~kG_Moving;
        m_motionFlags &= ~kM_Arrived;
        m_steeringFlags &= ~kT_Waiting;
        path->Clear();
    }
    // A blocked unit whose blocker has moved away goes on.
    if (m_gridFlags & kG_Blocked) {
        CTessarakObject* b = m_blocking.Get();
        if (b && b->IsGridMember()) {
            float r = b->m_objectRadius + m_objectRadius;
            if (DistanceSquared2D(x, z, b->m_position[0], b->m_position[2]) > r * r) {
                m_gridFlags &= ~kG_Blocked;
                m_gridFlags |= kG_Avoiding;
            }
        }
    }
}

// ---- step 9

void CUnit::Turn(float dt) {
    const float step = m_turnRateFactor * 2.5f * m_maxSpeed * dt * 80.0f;
    StepToward(m_pitchDeg, m_desiredPitch, step);
    const float bankStep = m_bankRate * dt;
    if (AngleWithin(DegToRad(m_desiredHeading), DegToRad(m_headingDeg), 0.1f)) {
        m_steeringFlags |= kT_HeadingReached;
        m_accumTurn = 0.0f;
        // Aligned: the bank returns to level without crossing it.
        if (m_bank > 0.0f)
            m_bank = std::max(m_bank - bankStep, 0.0f);
        else if (m_bank < 0.0f)
            m_bank = std::min(m_bank + bankStep, 0.0f);
    } else {
        m_steeringFlags &= ~kT_HeadingReached;
        float turned = StepToward(m_headingDeg, m_desiredHeading, step);
        m_accumTurn += turned;
        if (turned > 0.0f)
            m_bank = std::min(m_bank + bankStep, m_maxBank);
        else if (turned < 0.0f)
            m_bank = std::max(m_bank - bankStep, -m_maxBank);
    }
}

// ---- step 10

void CUnit::Avoid(CWorldGrid* grid) {
    Invalidate();
    const float lookX = m_vector[0], lookY = m_vector[1], lookZ = m_vector[2];
    CGridObject* first = grid->m_layer[1].CollectNeighbours(*this, lookX, lookZ, 2);
    if (m_gridFlags & kG_Avoiding) {
        CGridMember* blocker = nullptr;
        for (CGridObject* o = first; o; o = o->m_nextNeighbour) {
            CGridMember* other = AsMember(o);
            if (!(other->m_gridFlags & kG_Avoiding)) continue;
            if (!((other->m_gridFlags & kG_Yields) || (m_gridFlags & kG_Yields))) continue;
            float bearing =
                Angle2DDeg(m_position[0], m_position[2], other->m_position[0], other->m_position[2]);
            if (Math_Fabs(TurnDeg(m_desiredHeading, bearing)) > 90.0f) continue;
            const float* ol = other->m_vector;
            float r = other->m_objectRadius + m_objectRadius;
            bool flat = IsFlat(this) || IsFlat(other);
            float d2 = DistanceSquared2D(lookX, lookZ, ol[0], ol[2]);
            if (!flat) d2 += (lookY - ol[1]) * (lookY - ol[1]);
            if (d2 >= r * r) continue;
            blocker = other;
            break;
        }
        if (blocker) {
            const bool flat = IsFlat(blocker);
            if (m_blocker.Get() != blocker) {
                m_steeringFlags &= ~kT_Waiting;
                m_blocker.Set(blocker);
            }
            if (flat) m_motionFlags |= kM_FlatBlocked;
            m_steeringFlags &= ~kT_Waiting;
            if (!flat) {
                // A vertical sidestep over or under the blocker.
                float lift = blocker->m_objectRadius + m_objectRadius + 1.0f;
                float height = m_position[1] > blocker->m_position[1] ? lookY + lift : lookY - lift;
                CWaypointPoint* cursor = m_waypoints->Cursor();
                if (!cursor->flags) {
                    // Near the cursor a point of its own climbs first; farther
                    // away the cursor itself takes the height.
                    if (Distance2D(m_position[0], m_position[2], cursor->x, cursor->z) < 2.0f * lift) {
                        CWaypointPoint* p = m_waypoints->InsertBefore(cursor, lookX, height, lookZ);
                        p->flags = 1;
                        m_waypoints->SetCursor(p);
                        cursor->flags = 1;
                    } else {
                        cursor->y = height;
                    }
                } else {
                    cursor->y = height;
                }
            } else if (!(m_steeringFlags & kT_PathReady)) {
                m_steeringFlags |= kT_Waiting;
                m_waitDeceleration = 5.0f;
                m_waitSpeed = 0.0f;
            }
        } else {
            m_steeringFlags &= ~kT_Waiting;
        }
    }
    CWorldGridLayer::ClearNeighbours(first);
}

// ---- step 11

void CUnit::LookAhead() {
    float* look = m_vector;
    CWaypointList* path = m_waypoints;
    if (!path || path->IsEmpty()) {
        for (int i = 0; i < 3; ++i) look[i] = m_position[i];
        return;
    }
    float left = m_speed * 1.5f;
    float from[3] = {m_position[0], m_position[1], m_position[2]};
    CWaypointPoint* p = path->Cursor() ? path->Cursor() : path->Head();
    for (; p; p = p->next) {
        float d[3] = {p->x - from[0], p->y - from[1], p->z - from[2]};
        float len = Math_Sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
        if (len >= left && len > 0.0f) {
            for (int i = 0; i < 3; ++i) look[i] = from[i] + d[i] * (left / len);
            return;
        }
        left -= len;
        from[0] = p->x;
        from[1] = p->y;
        from[2] = p->z;
    }
    for (int i = 0; i < 3; ++i) look[i] = from[i];
}

// ---- step 14

void CUnit::UpdateFence(float dt) {
    CUnitTemplate* t = UnitTemplate();
    CPlayer* owner = m_owner;
    CGameScene* scene = m_gameScene;
    const float range = t->m_laserFenceRange;
    const bool powered = owner && owner->m_energyRatio >= 0.5f;
    if (IsAlive() && powered) {
        for (CObjectLink& f : m_fence)
            if (!f)
                if (CUnit* n = FindFenceNeighbour()) {
                    f.Set(n);
                    n->m_serviceFlags |= kS_FencePost;
                }
        CTessarakObjectTemplate* beamTemplate = owner->m_race ? owner->m_race->m_laserFenceObject : nullptr;
        for (int i = 0; i < 2; ++i) {
            CTessarakObject* n = m_fence[i].Get();
            CTessarakObject* beam = m_fenceBeam[i].Get();
            if (!n) {
                if (beam) beam->m_pendingVisibility = 1;
                continue;
            }
            if (!beam && beamTemplate) {
                beam = scene->CreateObjectByClass(beamTemplate, m_position, scene->DefaultOwner(),
                                                  scene->m_idTable.NewId());
                m_fenceBeam[i].Set(beam);
            }
            if (!beam) continue;
            float d[3];
            VectorSubtract(d, n->m_position, m_position);
            float distance = Math_Sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
            beam->SetPosition(m_position[0], m_position[1], m_position[2]);
            beam->SetOrientation(WrapRad(Math_Atan2(d[0], d[2])),
                                 distance > 0.0f ? WrapRad(-Math_Asin(d[1] / distance)) : 0.0f, 0.0f);
            beam->SetScale(1.0f, 1.0f, distance);
            beam->Invalidate();
            beam->Activate();
            beam->m_pendingVisibility = -1;
        }
    }
    bool drop = !powered || !IsAlive();
    for (CObjectLink& f : m_fence)
        if (CTessarakObject* n = f.Get())
            if (Distance2D(m_position[0], m_position[2], n->m_position[0], n->m_position[2]) > range + 1.0f)
                drop = true;
    if (drop) {
        m_fence[0].Clear();
        m_fence[1].Clear();
        return;
    }
    // Units of other owners across a beam lose power.
    CWorldGrid* grid = WorldGrid();
    if (!grid) return;
    std::vector<CUnit*> victims;
    grid->m_layer[0].FindNearest(m_position[0], m_position[2], 1, 1e30f, [&](const CGridObject& o) {
        const CGridMember* m = static_cast<const CGridMember*>(&o);
        if (m->IsUnit() && m->m_owner != owner &&
            !(static_cast<const CUnit*>(m)->m_serviceFlags & kS_FencePost))
            victims.push_back(const_cast<CUnit*>(static_cast<const CUnit*>(m)));
        return false;
    });
    for (CUnit* v : victims) {
        if (Distance2D(m_position[0], m_position[2], v->m_position[0], v->m_position[2]) > range) continue;
        float bearing = Angle2D(m_position[0], m_position[2], v->m_position[0], v->m_position[2]);
        for (CObjectLink& f : m_fence) {
            CTessarakObject* n = f.Get();
            if (!n) continue;
            float beamBearing = Angle2D(m_position[0], m_position[2], n->m_position[0], n->m_position[2]);
            if (AngleWithin(bearing, beamBearing, 0.2f)) {
                v->ApplyDamage(this, t->m_laserFenceDamage * dt, false);
                break;
            }
        }
    }
}

CUnit* CUnit::FindFenceNeighbour() {
    CUnitTemplate* t = UnitTemplate();
    if (!t) return nullptr;
    CUnit* best = nullptr;
    float bestD = 1e8f;
    for (CObjectMembership* m = t->m_instances.GetHead(); m; m = m->GetNextInGroup()) {
        CTessarakObject* o = m->GetObject();
        if (!o || o == this || !o->IsUnit()) continue;
        CUnit* u = static_cast<CUnit*>(o);
        if (!u->IsAlive() || !u->IsComplete() || u == m_fence[0].Get() || u == m_fence[1].Get()) continue;
        float d = Distance2D(m_position[0], m_position[2], u->m_position[0], u->m_position[2]);
        if (d > t->m_laserFenceRange || d >= bestD) continue;
        bestD = d;
        best = u;
    }
    return best;
}

// ---- step 18

void CUnit::UpdateWarp() {
    CUnitTemplate* t = UnitTemplate();
    CPlayer* owner = m_owner;
    const float ratio = owner ? owner->m_energyRatio : 0.0f;
    m_gridFlags &= ~kG_Avoiding;
    if (!(m_motionFlags & kM_WarpMade)) {
        // The warp emitter is the view's (made by the effects when they have
        // its template); the flags record that it was asked for.
        m_motionFlags |= kM_WarpMade;
        m_motionFlags &= ~kM_Warp2;
    }
    CUnitOrder* running = m_runningOrder;
    if (!running) return;
    float* point = running->m_target;
    float range = t->m_warpMaxRange * ratio;
    float d = Distance2D(m_position[0], m_position[2], point[0], point[2]);
    if (d > range && d > 0.0f) {
        point[0] = m_position[0] + (point[0] - m_position[0]) * (range / d);
        point[2] = m_position[2] + (point[2] - m_position[2]) * (range / d);
    }
    if (!IsAlive() || ratio < 0.5f || running->m_type != CUnitOrder::kMove) return;
    // Units standing on the warp unit go with it, keeping their offsets.
    std::vector<CUnit*> riders;
    for (CUnit* u = m_gameScene->m_units; u; u = u->m_unitNext)
        if (u != this && Distance2D(m_position[0], m_position[2], u->m_position[0], u->m_position[2]) <=
                             u->m_objectRadius + m_objectRadius - 1.0f)
            riders.push_back(u);
    if (riders.empty()) return;
    // Each rider is heard and seen where it leaves and arrives; an enemy's
    // anti-warp unit near the destination catches it there.
    m_motionFlags &= ~kM_Warp2;
    for (CUnit* u : riders)
        u->Relocate(this, point[0] + (u->m_position[0] - m_position[0]),
                    point[2] + (u->m_position[2] - m_position[2]));
}

// ---- step 19

void CUnit::PhasePush(CWorldGrid* grid) {
    std::vector<CGridMember*> near;
    grid->m_layer[0].FindNearest(m_position[0], m_position[2], 1, 1e30f, [&](const CGridObject& o) {
        const CGridMember* m = static_cast<const CGridMember*>(&o);
        if (m != this && !m->IsUnit()) near.push_back(const_cast<CGridMember*>(m));
        return false;
    });
    for (CGridMember* o : near) {
        float d[3];
        VectorSubtract(d, m_position, o->m_position);
        if (IsFlat(o)) d[1] = 0.0f;
        float len = Math_Sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
        float r = o->m_objectRadius + m_objectRadius;
        if (len >= r) continue;
        // The push that takes the unit out of the overlap in one second, away
        // from the object (straight up when they stand on one point).
        float depth = r - len;
        if (len > 0.0f)
            for (int i = 0; i < 3; ++i) m_pushVelocity[i] += d[i] / len * depth;
        else
            m_pushVelocity[1] += depth;
    }
    float len = Math_Sqrt(m_pushVelocity[0] * m_pushVelocity[0] + m_pushVelocity[1] * m_pushVelocity[1] +
                          m_pushVelocity[2] * m_pushVelocity[2]);
    if (len > 1.0f)
        for (float& p : m_pushVelocity) p /= len;
}

// ---- step 20

void CUnit::RegisterInGrid(CWorldGrid* grid) {
    const float x = m_position[0], z = m_position[2];
    if (x != m_lastGridPosition[0] || z != m_lastGridPosition[2]) {
        if (m_gridFlags & kG_Flat) grid->MarkFootprint(*this, x, z, m_footprintHalfSize);
        grid->m_layer[0].Link(*this, x, z);
        for (int i = 0; i < 3; ++i) m_lastGridPosition[i] = m_position[i];
    }
    if (m_vector[0] != m_lastFinePosition[0] || m_vector[2] != m_lastFinePosition[2] ||
        !grid->m_layer[1].IsLinked(*this)) {
        grid->m_layer[1].Link(*this, m_vector[0], m_vector[2]);
        for (int i = 0; i < 3; ++i) m_lastFinePosition[i] = m_vector[i];
    }
}

// ---- step 21

void CUnit::UpdateSight(CWorldGrid* grid, CPlayer* local) {
    CCellMap* map = grid ? &grid->m_cellMap : nullptr;
    bool qualifies = map && map->m_fogOfWar && IsComplete() && m_owner && local &&
                     !(m_stateA & kA_Destroyed) && (m_owner == local || local->IsAlliedWith(m_owner)) &&
                     !m_owner->IsNeutral();
    if (!qualifies) {
        if (m_serviceFlags & kS_SightStamped) {
            StampSight(-1);
            m_serviceFlags &= ~kS_SightStamped;
        }
        return;
    }
    int cx, cy;
    map->CellOf(m_position[0] - 0.5f, m_position[2] + 0.5f, cx, cy);
    cx = std::clamp(cx, 0, 65534);
    cy = std::clamp(cy, 0, 65534);
    if ((m_serviceFlags & kS_SightStamped) && cx == m_sightCell[0] && cy == m_sightCell[1]) return;
    if (m_serviceFlags & kS_SightStamped) StampSight(-1);
    m_sightCell[0] = static_cast<uint16_t>(cx);
    m_sightCell[1] = static_cast<uint16_t>(cy);
    StampSight(1);
    m_serviceFlags |= kS_SightStamped;
}

// ---- the manoeuvres

void CUnit::StrafeTarget() {
    CTessarakObject* threat = m_threat.Get();
    if (!threat || !threat->IsGridMember()) return;
    m_gridFlags |= kG_Moving;
    m_speedOverride = m_maxSpeed * 6.0f;
    m_turnRateFactor = 1.5f;
    m_motionFlags &= ~kM_Arrived;
    if (m_manoeuvre == 0) {
        CWaypointPoint* last = m_waypoints ? m_waypoints->Tail() : nullptr;
        if (last && DistanceSquared2D(m_position[0], m_position[2], last->x, last->z) >= 1.0f) return;
        m_manoeuvre = 1;
    }
    if (m_manoeuvre == 1) {
        float angle = m_random.RandFloat() * kTwoPi;
        float distance = m_random.RandFloat() * 4.0f;
        float lift = threat->m_objectRadius + 1.0f;
        float y = (m_motionFlags & kM_Above) ? threat->m_position[1] + lift : threat->m_position[1] - lift;
        if (!(m_motionFlags & kM_FlatBlocked) && m_waypoints) {
            m_waypoints->Clear();
            m_waypoints->Append(threat->m_position[0] + Math_Sin(angle) * distance, y,
                                threat->m_position[2] + Math_Cos(angle) * distance);
            m_waypoints->First();
            m_steeringFlags |= kT_PathReady;
        }
        m_manoeuvre = 0;
    }
}

void CUnit::CircleTarget() {
    CTessarakObject* threat = m_threat.Get();
    if (!threat || !threat->IsGridMember()) return;
    CGridMember* target = static_cast<CGridMember*>(threat);
    m_speedOverride = m_maxSpeed * 4.8f;
    m_turnRateFactor = 1.5f;
    m_gridFlags |= kG_Moving;
    m_motionFlags &= ~kM_Arrived;
    switch (m_manoeuvre) {
        case 0:
            m_orbitRadius = threat->m_objectRadius + m_objectRadius;
            m_orbitPhase = m_random.RandFloat() * kTwoPi;
            m_verticalAmplitude = m_random.RandFloat() + 0.5f;
            m_manoeuvre = 1;
            break;
        case 1: {
            CWaypointPoint* last = m_waypoints ? m_waypoints->Tail() : nullptr;
            if (last && DistanceSquared2D(m_position[0], m_position[2], last->x, last->z) >= 1.0f) break;
            m_manoeuvre = 2;
            break;
        }
        case 2:
            m_manoeuvre = 4;
            break;
        case 3:
            if (target->m_gridFlags & kG_Moving) {
                if (m_waypoints && m_waypoints->Cursor() == m_waypoints->Tail()) m_manoeuvre = 2;
            } else {
                m_manoeuvre = 4;
            }
            break;
        case 4: {
            m_random.Rand();  // drawn and dropped
            float angle =
                WrapRad(Angle2D(threat->m_position[0], threat->m_position[2], m_position[0], m_position[2]) +
                        2.0f / (m_orbitRadius + 1.0f) * static_cast<float>(m_orbitDirection));
            float distance = m_random.RandFloat() * 2.0f + m_orbitRadius + 1.0f;
            float px = threat->m_position[0] + Math_Sin(angle) * distance;
            float py = threat->m_position[1] + Math_Sin(angle + m_orbitPhase) * m_verticalAmplitude;
            float pz = threat->m_position[2] + Math_Cos(angle) * distance;
            CWorldGrid* grid = WorldGrid();
            if (grid && !grid->IsLineClear(*this, m_position[0], m_position[2], px, pz)) {
                m_orbitDirection = static_cast<int8_t>(-m_orbitDirection);
                m_motionFlags &= ~kM_FlatBlocked;
            } else if (m_waypoints) {
                m_waypoints->Clear();
                m_waypoints->Append(px, py, pz);
                m_waypoints->First();
                m_steeringFlags |= kT_PathReady;
                m_manoeuvre = 1;
            }
            break;
        }
        default:
            break;
    }
}

// ---- the child unit

bool CUnit::AddChildUnit() {
    CUnitTemplate* t = UnitTemplate();
    if (!t || !t->m_childUnit) return false;
    CWorldGrid* grid = WorldGrid();
    CGameScene* scene = m_gameScene;
    float x = m_position[0] + t->m_childUnitOffset[0], z = m_position[2] + t->m_childUnitOffset[1];
    float fx = x, fz = z;
    if (!grid || !grid->m_layer[0].FindFreeSpot(t->m_childUnit->m_collisionRadius, x, z, fx, fz, 1.0f)) {
        if (CWorld* world = World())
            world->Console().Printf("Adding Child Unit on frame %d failed due to FindFreePosition",
                                    static_cast<int>(scene->m_frameCounter));
        return false;
    }
    const float at[3] = {fx, 0.0f, fz};
    CTessarakObject* child =
        scene->CreateObjectByClass(t->m_childUnit, at, m_owner, scene->m_idTable.NewId());
    if (!child) return false;
    if (!child->IsUnit()) {
        child->RemoveFromGrid();
        return true;
    }
    CUnit* unit = static_cast<CUnit*>(child);
    unit->m_backLinked.Set(this);
    m_backLinked.Set(unit);
    const CUnitTemplate* ct = unit->UnitTemplate();
    float y = ct && (ct->m_classMask & kClassUnit) && ct->m_hasSpot ? 1.0f : 0.0f;
    unit->SetPosition(fx, y, fz);
    if (t->m_harvestType) new CHarvestOrder(unit->m_orderList, nullptr, unit);
    unit->m_headingDeg = 180.0f;
    unit->m_desiredHeading = 180.0f;
    if (grid) unit->RegisterInGrid(grid);
    return true;
}
