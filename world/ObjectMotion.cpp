#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
//
// The motion step of every active object, run by the scene's tick right
// after the object's own step. Contacts change the other object's push at
// once, so the result depends on the order of the active list, which every
// machine walks alike.
#include <algorithm>
#include <vector>

#include "world/GameScene.h"
#include "world/GridMember.h"
#include "world/PhysicsEngine.h"
#include "world/Player.h"
#include "world/Unit.h"
#include "world/UnitTemplate.h"
#include "world/WaypointList.h"
#include "world/World.h"
#include "world/WorldGrid.h"

namespace {

constexpr uint64_t kContactWindow = 500000;       // game-time units (about 0.42 s)
constexpr uint64_t kFlatContactWindow = 5000000;  // about 4.2 s
// A ground unit this near its rest height stands on the ground.
constexpr float kSettled = 0.001f;

float Length(const float* v) {
    return Math_Sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

void SetLength(float* v, float length) {
    float l = Length(v);
    if (l <= 0.0f) return;
    for (int i = 0; i < 3; ++i) v[i] *= length / l;
}

void CapLength(float* v, float cap) {
    if (Length(v) > cap) SetLength(v, cap);
}

float WrapRad(float a) {
    a = Math_Fmod(a, kTwoPi);
    if (a < 0.0f) a += kTwoPi;
    if (a >= kTwoPi) a -= kTwoPi;
    return a;
}

bool Flat(const CGridMember* m) {
    return (m->m_gridFlags & CGridMember::kG_NoYCollision) != 0;
}

// The receiver's push after a contact is capped: 0.6 for a mobile unit, 0.2
// for anything else.
void CapContactPush(CGridMember* m) {
    bool mobile = m->IsUnit() && (static_cast<CUnit*>(m)->m_unitState & CUnit::kU_Mobile);
    CapLength(m->m_pushVelocity, mobile ? 0.6f : 0.2f);
}

// Whether unit is a harvester of field's resource.
bool HarvestsFrom(const CGridMember* unit, const CGridMember* field) {
    if (!unit->IsUnit() || !field->m_resourceType) return false;
    const CUnitTemplate* t = static_cast<const CUnit*>(unit)->UnitTemplate();
    return t && (t->m_classMask & kClassUnit) && t->m_harvestType == field->m_resourceType;
}

bool Complete(const CGridMember* m) {
    return (m->m_gridFlags & CGridMember::kG_Complete) != 0;
}

// The bookkeeping of a unit that keeps running into others: it gives up its
// destination when stuck long enough, and searches a new way once.
void CountContact(CUnit* unit, uint64_t now, uint64_t window, bool flat) {
    if (now - unit->m_contactTime > window || unit->m_contactTime > now) {
        unit->m_stuckCount = 0;
    } else if (unit->m_steeringFlags & CUnit::kT_PathReady) {
        ++unit->m_stuckCount;
        CWaypointList* path = unit->m_waypoints;
        CWaypointPoint* last = path ? path->Tail() : nullptr;
        auto within = [&](float r) {
            return last && Distance2D(unit->m_position[0], unit->m_position[2], last->x, last->z) < r;
        };
        auto repath = [&]() {
            if ((unit->m_stateB & CTessarakObject::kB_LocalOwner) && last && unit->m_orderList)
                new CMoveOrder(unit->m_orderList, nullptr, unit, unit->m_gotoDestination[0],
                               unit->m_gotoDestination[2], 0);
        };
        const uint32_t n = unit->m_stuckCount;
        if (!flat) {
            if ((n == 3 && within(3.0f)) || (n == 11 && within(6.0f)) || n > 50)
                unit->m_motionFlags |= CUnit::kM_Arrived;
            if (n == 21) repath();
        } else {
            if (n == 11) {
                unit->m_motionFlags |= CUnit::kM_Arrived;
                repath();
            }
            if (n > 200) unit->m_motionFlags |= CUnit::kM_Arrived;
        }
    }
    unit->m_contactTime = now;
}

}  // namespace

uint8_t& Object_TowCount(CTessarakObject* object) {
    static uint8_t none = 0;
    if (object->IsGridMember()) return static_cast<CGridMember*>(object)->m_byte;
    none = 0;
    return none;
}

// ---- the contact step

static void Contact(CGridMember* mover, CWorldGrid* grid, uint64_t now) {
    const bool unitMover = mover->IsUnit();
    CUnit* unit = unitMover ? static_cast<CUnit*>(mover) : nullptr;
    if (unit && !Complete(mover) && (unit->m_unitState & CUnit::kU_Mobile)) return;
    // The objects of the coarse cells around the new position (in a list
    // kept from call to call: the logic tick runs on one thread).
    static std::vector<CGridMember*> near;
    static std::vector<CGridObject*> found;
    near.clear();
    if (unitMover) {
        found.clear();
        grid->m_layer[0].CollectNeighbours(*mover, mover->m_position[0], mover->m_position[2], 1, found);
        for (CGridObject* o : found) near.push_back(static_cast<CGridMember*>(o));
    } else {
        grid->m_layer[0].FindNearest(
            mover->m_position[0], mover->m_position[2], 1, 1e30f, [&](const CGridObject& o) {
                if (&o != static_cast<const CGridObject*>(mover))
                    near.push_back(const_cast<CGridMember*>(static_cast<const CGridMember*>(&o)));
                return false;
            });
    }
    const float moverR = std::max(mover->m_objectRadius, kMinRadius);
    for (CGridMember* other : near) {
        if (!(other->m_gridFlags & CGridMember::kG_Avoiding) ||
            (other->m_gridFlags2 & CGridMember::kG2_Phasing))
            continue;
        if (!((other->m_gridFlags & 0x08) || (mover->m_gridFlags & 0x08))) continue;
        // A harvester passes through the field it mines (either of the two
        // may be the one that moves).
        if (HarvestsFrom(other, mover) || HarvestsFrom(mover, other)) continue;
        const bool flat = Flat(mover) || Flat(other);
        if (unit && flat && !(unit->m_unitState & CUnit::kU_Mobile) && other->IsUnit() &&
            (static_cast<CUnit*>(other)->m_unitState & CUnit::kU_Mobile))
            continue;
        if (unit && !flat && other->IsUnit()) {
            CUnit* ou = static_cast<CUnit*>(other);
            bool bothBuilders =
                (unit->m_unitState & CUnit::kU_Builder) && (ou->m_unitState & CUnit::kU_Builder);
            bool oneMobile = ((unit->m_unitState ^ ou->m_unitState) & CUnit::kU_Mobile) != 0;
            if (bothBuilders && unit->m_owner == ou->m_owner && oneMobile) continue;
        }
        const float otherR = std::max(other->m_objectRadius, kMinRadius);
        const float contact = mover->m_objectRadius + other->m_objectRadius - (unitMover ? 0.01f : 0.3f);
        float d[3];
        VectorSubtract(d, mover->m_position, other->m_position);
        if (flat) d[1] = 0.0f;
        if (Length(d) >= contact) continue;
        // Back onto the contact sphere, seen from the middle of the move.
        float mid[3], dir[3];
        for (int i = 0; i < 3; ++i) mid[i] = (mover->m_previousPosition[i] + mover->m_position[i]) * 0.5f;
        VectorSubtract(dir, mid, other->m_position);
        if (flat) dir[1] = 0.0f;
        float dl = Length(dir);
        if (dl > 0.0f) {
            for (float& c : dir) c /= dl;
        } else {
            dir[0] = dir[1] = 0.0f;
            dir[2] = 1.0f;
        }
        float pos[3] = {other->m_position[0] + dir[0] * contact, mover->m_position[1],
                        other->m_position[2] + dir[2] * contact};
        if (!flat) pos[1] = other->m_position[1] + dir[1] * contact;
        mover->SetPosition(pos[0], pos[1], pos[2]);

        const bool owners = mover->m_owner != other->m_owner;
        if (!unitMover) {
            if (Complete(other) || owners)
                for (int i = 0; i < 3; ++i) other->m_pushVelocity[i] -= dir[i] * (moverR / otherR);
            if (Complete(mover) || owners)
                for (int i = 0; i < 3; ++i) mover->m_pushVelocity[i] += dir[i] * (otherR / moverR);
            continue;
        }
        if (!flat) {
            CountContact(unit, now, kContactWindow, false);
            float v = Length(unit->m_velocity);
            float kOther = std::min((v + 1.0f) * 0.1f + moverR * 0.7f / otherR, v * 0.3f);
            float kSelf = std::min((v + 1.0f) * 0.1f + otherR * 0.7f / moverR, v * 0.3f);
            if ((Complete(other) || owners) && !(other->m_gridFlags2 & CGridMember::kG2_NoYCollision)) {
                for (int i = 0; i < 3; ++i) other->m_pushVelocity[i] -= dir[i] * kOther;
                CapContactPush(other);
            }
            if ((Complete(mover) || owners) && !(mover->m_gridFlags2 & CGridMember::kG2_NoYCollision)) {
                for (int i = 0; i < 3; ++i) mover->m_pushVelocity[i] += dir[i] * kSelf;
                CapContactPush(mover);
            }
            unit->m_speed = std::max(unit->m_speed - 0.5f, 0.0f);
        } else {
            CountContact(unit, now, kFlatContactWindow, true);
            mover->m_pushVelocity[0] += dir[0] * 0.4f;
            mover->m_pushVelocity[1] += dir[1] * 0.4f * 0.5f;
            mover->m_pushVelocity[2] += dir[2] * 0.4f;
            CapContactPush(mover);
            unit->m_speed = std::max(unit->m_speed - 1.5f, 0.0f);
        }
    }
}

// ---- the tow cable

void TowCable_Update(CTessarakObject* cable) {
    CTessarakObject* a = cable->m_cableA.Get();
    CTessarakObject* b = cable->m_cableB.Get();
    if (!a || !b) {
        for (CTessarakObject* end : {a, b})
            if (end && end->IsGridMember()) {
                uint8_t& count = Object_TowCount(end);
                if (count) --count;
            }
        cable->m_cableA.Clear();
        cable->m_cableB.Clear();
        if (!(cable->m_stateA & CTessarakObject::kA_Destroyed)) cable->ApplyDamage(nullptr, 0.0f, true);
        return;
    }
    float ab[3];
    VectorSubtract(ab, a->m_position, b->m_position);
    const float d = Length(ab);
    const float rest = cable->m_cableRestLength;
    if (d > 1.5f * rest) {
        // Snapped.
        for (CTessarakObject* end : {a, b}) {
            uint8_t& count = Object_TowCount(end);
            if (count) --count;
        }
        cable->m_cableA.Clear();
        cable->m_cableB.Clear();
        return;
    }
    if (d > rest) {
        // The stretch is exchanged as momentum; the total stays.
        const float mA = PhysicsEngine_Mass(a->m_template), mB = PhysicsEngine_Mass(b->m_template);
        float pA[3], pB[3], total[3], s[3];
        for (int i = 0; i < 3; ++i) {
            pA[i] = mA * a->m_pushVelocity[i];
            pB[i] = mB * b->m_pushVelocity[i];
        }
        for (int i = 0; i < 3; ++i) total[i] = pA[i] + pB[i];
        // The unit vector from B to A, from the heading and pitch of A - B.
        float heading = Math_Atan2(ab[0], ab[2]);
        float pitch = Math_Asin(ab[1] / d);
        s[0] = Math_Cos(pitch) * Math_Sin(heading) * (d - rest);
        s[1] = Math_Sin(pitch) * (d - rest);
        s[2] = Math_Cos(pitch) * Math_Cos(heading) * (d - rest);
        for (int i = 0; i < 3; ++i) {
            float a2 = pA[i] - s[i];
            float b2 = total[i] - a2;
            a->m_pushVelocity[i] = a2 / mA;
            b->m_pushVelocity[i] = b2 / mB;
        }
    }
    cable->SetPosition(a->m_position[0], a->m_position[1], a->m_position[2]);
    float heading = WrapRad(Math_Atan2(ab[0], ab[2]));
    float pitch = d > 0.0f ? WrapRad(-Math_Asin(ab[1] / d)) : 0.0f;
    cable->SetOrientation(heading, pitch, 0.0f);
    cable->SetScale(1.0f, 1.0f, d);
    cable->Invalidate();
}

// ---- one object's tick

void CTessarakObject::Integrate() {
    CWorld* world = World();
    if (!world) return;
    const float dt = world->Clock().TickStep();

    // 1. A destroyed object only runs down its life.
    if (m_stateA & kA_Destroyed) {
        m_lifeTimer -= dt;
        if (m_lifeTimer <= 0.0f) RemoveFromGrid();
        return;
    }
    // 2. Auto-rotation.
    if (m_stateB & kB_AutoRotate) {
        SetOrientation(WrapRad(m_yaw + dt * m_autoRotation[0]), WrapRad(m_pitch + dt * m_autoRotation[1]),
                       WrapRad(m_roll + dt * m_autoRotation[2]));
        Invalidate();
    }
    // 3. Auto-scaling.
    if ((m_stateB & kB_AutoScale) &&
        (m_autoScaleSpeed[0] != 0.0f || m_autoScaleSpeed[1] != 0.0f || m_autoScaleSpeed[2] != 0.0f)) {
        SetScale(m_scale[0] + dt * m_autoScaleSpeed[0], m_scale[1] + dt * m_autoScaleSpeed[1],
                 m_scale[2] + dt * m_autoScaleSpeed[2]);
        Invalidate();
    }

    // Whether step 6 moved the object this tick (its velocity then counts
    // once: the plain motion of step 9 is for what step 6 does not move).
    bool moved = false;
    if (!m_attachment) {
        // 4. A part spins with its docked unit's dock.
        CTessarakObject* parent = AsObject(m_parent);
        if (parent && parent->IsUnit() && (m_stateB & kB_AutoRotate)) {
            CUnit* unit = static_cast<CUnit*>(parent);
            CTessarakObject* dock = unit->m_dock.Get();
            if ((unit->m_unitState & CUnit::kU_Docks) && (unit->m_serviceFlags & CUnit::kS_Docked) && dock &&
                dock->m_resourceSpot)
                m_autoRotation[0] = dock->m_resourceSpot->m_current * 0.5f;
        }
    } else if (m_power < 1.0f) {
        // 5. A dead object's pending forces are dropped.
        if (m_forces)
            if (CPhysicsEngine* physics = &world->Physics()) physics->ReleaseForces(this);
    } else {
        // 6. The moving world object.
        CPhysicsEngine* physics = &world->Physics();
        CGridMember* member = IsGridMember() ? static_cast<CGridMember*>(this) : nullptr;
        if (member && m_template && !m_template->m_unaffectedByPhysics && physics) {
            // a. Delayed forces that are due.
            for (SForceRecord* r = m_forces; r;) {
                SForceRecord* next = r->m_next;
                r->m_delay -= dt;
                if (r->m_delay < 0.0f) {
                    for (int i = 0; i < 3; ++i) m_pushVelocity[i] += r->m_impulse[i];
                    float damage = r->m_damage;
                    physics->ReleaseForce(this, r);
                    ApplyDamage(nullptr, damage, false);
                }
                r = next;
            }
        }
        uint8_t towCount = member ? member->m_byte : 0;
        bool moving = towCount != 0;
        for (int i = 0; i < 3 && !moving; ++i)
            moving = Math_Fabs(m_pushVelocity[i]) > 0.015f || Math_Fabs(m_velocity[i]) > 0.015f;
        // A ground unit above its rest height falls (it moves until it lands);
        // one that stands still below it (as placed) is set on the ground.
        CUnit* groundUnit =
            IsUnit() && static_cast<CUnit*>(this)->KeepsToGround() ? static_cast<CUnit*>(this) : nullptr;
        const float rest = groundUnit ? groundUnit->RestHeight() : 0.0f;
        if (groundUnit && !moving) {
            moving = m_position[1] > rest + kSettled;
            if (m_position[1] < rest) SetPosition(m_position[0], rest, m_position[2]);
        }
        bool still = member && m_template && (m_template->m_classMask & kClassGridMember) &&
                     static_cast<CGridMemberTemplate*>(m_template)->m_absoluteStill;
        if (moving && !still) {
            moved = true;
            // c. Friction.
            const bool towUnit = IsUnit() && (static_cast<CUnit*>(this)->m_unitState & CUnit::kU_Tow);
            const float f = (towUnit ? 5.0f : 0.1f) * dt;
            float len = Length(m_pushVelocity);
            if (f > len)
                m_pushVelocity[0] = m_pushVelocity[1] = m_pushVelocity[2] = 0.0f;
            else
                SetLength(m_pushVelocity, len - f);
            // d. Caps.
            if (member && !IsUnit() && physics) CapLength(m_pushVelocity, physics->m_maxGridMemberMovement);
            if (towCount && physics) CapLength(m_pushVelocity, physics->m_maxTowObjectMovement);
            if (IsUnit() && !(static_cast<CUnit*>(this)->m_unitState & CUnit::kU_Mobile))
                CapLength(m_pushVelocity, 2.0f);
            // Gravity pulls a ground unit above its rest height down.
            if (groundUnit && m_position[1] > rest + kSettled) m_pushVelocity[1] -= kGravity * dt;
            // e. The move, kept inside the map.
            float pos[3];
            for (int i = 0; i < 3; ++i) {
                m_previousPosition[i] = m_position[i];
                pos[i] = m_position[i] + (m_pushVelocity[i] + m_velocity[i]) * dt;
            }
            if (CWorldGrid* grid = &world->Grid()) {
                const float r = m_objectRadius;
                auto clamp = [](float v, float lo, float hi) {
                    return lo > hi ? (lo + hi) * 0.5f : std::min(std::max(v, lo), hi);
                };
                pos[0] = clamp(pos[0], float(grid->m_x1) + r, float(grid->m_x2) - r);
                pos[2] = clamp(pos[2], float(grid->m_y2) + r, float(grid->m_y1) - r);
            }
            pos[1] = std::min(std::max(pos[1], -4.0f), 4.0f);
            // The ground holds a ground unit: it lands on its rest height and
            // its fall ends there.
            if (groundUnit && pos[1] < rest) {
                pos[1] = rest;
                m_pushVelocity[1] = std::max(m_pushVelocity[1], 0.0f);
            }
            SetPosition(pos[0], pos[1], pos[2]);
            // f. Contact.
            CWorldGrid* grid = &world->Grid();
            if (member && grid && (member->m_gridFlags & CGridMember::kG_Avoiding) &&
                !(member->m_gridFlags2 & CGridMember::kG2_Phasing))
                Contact(member, grid, world->Clock().GameTime());
            // g.
            Invalidate();
        } else if ((m_stateB & kB_MayRest) && !m_forces) {
            Deactivate();
        }
    }

    // 7. A projectile hits what it finds in its fine cell.
    if ((m_stateA & (kA_ImpactOnContact | kA_Impacted)) && !(m_stateA & kA_Destroyed))
        if (CWorldGrid* grid = &world->Grid()) {
            int cx, cy;
            grid->m_layer[1].ClampedCellOf(m_position[0], m_position[2], cx, cy);
            CGridObject* found = grid->m_layer[1].Cell(cx, cy);
            CGridMember* hit = found ? static_cast<CGridMember*>(found) : nullptr;
            CTessarakObject* thrower = m_throwerLink.Get();
            if (hit && hit != thrower &&
                (hit == m_aimedLink.Get() || !hit->IsUnit() ||
                 !(m_owner && hit->m_owner && hit->m_owner->IsAlliedWith(m_owner)))) {
                ApplyDamage(nullptr, 0.0f, true);
                float damage = m_template ? m_template->m_collisionDamage : 0.0f;
                hit->ApplyDamage(this, damage, false);
                float move[3];
                VectorSubtract(move, hit->m_position, hit->m_previousPosition);
                float size = damage / (std::max(hit->m_objectRadius, kMinRadius) * 10000.0f);
                float ml = Length(move);
                if (ml > 0.0f)
                    for (int i = 0; i < 3; ++i) hit->m_pushVelocity[i] += move[i] / ml * size;
                m_stateA |= kA_Impacted;
            }
        }

    // 8. Homing.
    if (m_homingMode == 1) {
        if (CTessarakObject* target = m_homingLink.Get()) {
            SteerTowards(target->m_position[0], target->m_position[1], target->m_position[2]);
            SetOrientation(WrapRad(Math_Atan2(m_velocity[0], m_velocity[2])), m_pitch, m_roll);
        } else if (m_lifeTimer > 0.0f) {
            RemoveFromGrid();
        }
    } else if (m_homingMode == 2) {
        SteerTowards(m_homingPoint[0], m_position[1], m_homingPoint[1]);
    }

    // 9. Tow cables, plain motion, timed life.
    if (m_stateB & kB_TowCable) TowCable_Update(this);
    if (!moved && !IsUnit() && !IsWeapon() &&
        (Math_Fabs(m_velocity[0]) > 0.001f || Math_Fabs(m_velocity[1]) > 0.001f ||
         Math_Fabs(m_velocity[2]) > 0.001f))
        SetPosition(m_position[0] + m_velocity[0] * dt, m_position[1] + m_velocity[1] * dt,
                    m_position[2] + m_velocity[2] * dt);
    if (m_lifeTimer > 0.0f) {
        m_lifeTimer -= dt;
        if (m_lifeTimer <= 0.0f) ApplyDamage(nullptr, 0.0f, true);
    }
}
