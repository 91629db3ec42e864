#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
//
// Weapon fire. The scene's tick turns a weapon towards its aim heading,
// aims it at its target point (AimAt) and, once it is loaded, calls Fire.
// Fire decides the shot and makes what it leaves:
//  - the muzzle flame, the impact object and the tracer are the view's
//    alone (the explosion manager shows them for their short life): no
//    object id, no place in the world's lists, its sync images or saves, and
//    none at all where the view's effects are off (a server);
//  - a direct hit or a laser deals its damage at once;
//  - a thrown object (a projectile) is an object of the world with an id of
//    its own: it flies, hits what it meets and explodes (ObjectMotion.cpp).
// Every random draw comes from the weapon's own generator, in this order:
// three for the shot point, one for the impact object's heading (weapons
// with one), one for the tracer (weapons with one); the life of a projectile
// draws one more from the mother unit's generator.
#include "e3d/Emitter.h"
#include "world/ExplosionManager.h"
#include "world/GameNode.h"
#include "world/GameScene.h"
#include "world/Player.h"
#include "world/UnitTemplate.h"
#include "world/UnitWeapon.h"
#include "world/World.h"

namespace {

// The set-back of the shot point from the target point per unit of spread,
// along the weapon's heading.
constexpr float kSetBack = 0.43478262f;

float WrapAngle(float a) {
    a = Math_Fmod(a, kTwoPi);
    return a < 0.0f ? a + kTwoPi : a;
}

// Lays obj from `from` to `to`: placed at `from`, turned to the heading of
// the way and to pitch, its length (z) scaled to the distance.
void Stretch(CTessarakObject* obj, const float* from, const float* to, float pitch) {
    float length = Distance3D(from[0], from[1], from[2], to[0], to[1], to[2]);
    obj->SetPosition(from[0], from[1], from[2]);
    obj->SetOrientation(Angle2D(from[0], from[2], to[0], to[2]), pitch, 0.0f);
    obj->SetScale(1.0f, 1.0f, length);
}

}  // namespace

CUnitWeaponTemplate* CUnitWeapon::WeaponTemplate() const {
    if (!m_template || !(m_template->m_classMask & kClassWeapon)) return nullptr;
    return static_cast<CUnitWeaponTemplate*>(m_template);
}

CTessarakObject* CUnitWeapon::MotherUnit() const {
    for (CE3DFrame* f = m_parent; f; f = f->m_parent) {
        CTessarakObject* o = CGameNode::AsObject(f);
        if (o && o->IsUnit()) return o;
    }
    return nullptr;
}

void CUnitWeapon::AimAt(float x, float y, float z) {
    float* target = TargetPoint();
    target[0] = x;
    target[1] = y;
    target[2] = z;
    float fromX, fromY, fromZ;
    if (CTessarakObject* mother = MotherUnit())
        mother->GetPosition(&fromX, &fromY, &fromZ);
    else
        GetPosition(&fromX, &fromY, &fromZ);
    AimHeading() = Angle2D(fromX, fromZ, x, z);
}

bool CUnitWeapon::Fire() {
    CUnitWeaponTemplate* wt = WeaponTemplate();
    if (!wt) return false;
    // 1. Only a weapon that faces its aim fires (a fixed mount always may).
    if (!(m_weaponFlags & kW_LockedRotation) && !AngleWithin(Heading(), AimHeading(), 0.1f)) return false;
    // 2. The fire point.
    float* fire = FirePoint();
    float* target = TargetPoint();
    if (CTessarakObject* point = FirePointLink().Get())
        point->GetPosition(&fire[0], &fire[1], &fire[2]);
    else
        GetPosition(&fire[0], &fire[1], &fire[2]);
    // 3. Range: in the ground plane for a unit that rams its target.
    CTessarakObject* mother = MotherUnit();
    const CUnitTemplate* motherTemplate =
        mother && mother->m_template && (mother->m_template->m_classMask & kClassUnit)
            ? static_cast<const CUnitTemplate*>(mother->m_template)
            : nullptr;
    float range = motherTemplate && motherTemplate->m_kamikaze
                      ? Distance2D(fire[0], fire[2], target[0], target[2])
                      : Distance3D(fire[0], fire[1], fire[2], target[0], target[1], target[2]);
    if (range > wt->m_visibleRange) return false;
    // 4. The spread: the target's size, or a little for a shot at the ground.
    CTessarakObject* targetObject = m_target.Get();
    float spread;
    if (targetObject) {
        m_weaponFlags &= ~kW_GroundShot;
        spread = targetObject->m_objectRadius;
    } else {
        m_weaponFlags |= kW_GroundShot;
        spread = 0.1f;
    }
    // 5. Sound and reload.
    if (mother && motherTemplate)
        if (const SSoundSet* sounds = motherTemplate->WeaponFireSound(wt->m_weaponNumber))
            mother->PlaySound(*sounds, static_cast<int>(sounds->m_samples.size()));
    ReloadTimer() = wt->m_reloadTime;

    CGameScene* scene = m_gameScene;
    CPlayer* defaultOwner = scene->NeutralPlayer();
    CExplosionManager* effects = &scene->World().Explosions();
    const float weaponPitch = WrapAngle(-m_pitch);
    // 6. The muzzle flame, at the fire point along the barrel.
    if ((m_weaponFlags & kW_HasFlame) && wt->m_flameObject && effects)
        effects->ShowShotEffect(wt->m_flameObject, fire, Heading(), weaponPitch, 0.0f);
    // 7. The shot point: the target point set back along the heading and
    // scattered by the spread. (The height and the depth are both set back
    // by the sine of the heading; that is how shots have always landed.)
    const float h = Heading();
    const float rx = static_cast<float>(m_random.Rand() % 40);
    const float ry = static_cast<float>(m_random.Rand() % 40);
    const float rz = static_cast<float>(m_random.Rand() % 40);
    const float scatter = spread * 0.25f * 0.01f;
    float shot[3] = {target[0] - Math_Cos(h) * kSetBack * spread + (rx - 20.0f) * scatter,
                     target[1] - Math_Sin(h) * kSetBack * spread + (ry - 20.0f) * scatter,
                     target[2] - Math_Sin(h) * kSetBack * spread + (rz - 20.0f) * scatter};
    // 8. The impact object on the ground below the shot point.
    if (m_weaponFlags & kW_HasHit) {
        float heading = m_random.RandFloat() * kTwoPi;
        const float at[3] = {shot[0], target[1], shot[2]};
        if (wt->m_hitObject && effects) effects->ShowShotEffect(wt->m_hitObject, at, heading, 0.0f, 0.0f);
    }
    // 9. The method's step.
    switch (m_method) {
        case CUnitWeaponTemplate::kDirectHit:
            if (targetObject) targetObject->ApplyDamage(mother, wt->m_hitDamage, false);
            break;
        case CUnitWeaponTemplate::kScaleObject:
            if (wt->m_throwObject)
                if (CTessarakObject* ray =
                        scene->CreateObjectByClass(wt->m_throwObject, fire, defaultOwner, -1)) {
                    Stretch(ray, fire, shot, weaponPitch);
                    ray->SetPosition(fire[0], target[1], fire[2]);
                    ray->Activate();
                }
            break;
        default:
            break;
    }
    // The tracer, one shot in ten.
    if (wt->m_traceObject && m_random.Rand() % 10 == 0 && effects)
        effects->ShowShotEffect(wt->m_traceObject, fire, Angle2D(fire[0], fire[2], shot[0], shot[2]),
                                weaponPitch,
                                Distance3D(fire[0], fire[1], fire[2], shot[0], shot[1], shot[2]));
    if (m_method == CUnitWeaponTemplate::kLaser) {
        if (wt->m_laserObject) {
            if (effects)
                effects->ShowLaserBeam(this, wt->m_laserObject, wt->m_laserWidth, wt->m_laserBurnTime, fire,
                                       shot);
            if (targetObject) targetObject->ApplyDamage(mother, wt->m_hitDamage, false);
        }
        return false;
    }
    // "Thunder" (4) fires, reloads and plays its sound, but has no step of
    // its own: no damage, no object. Content that names it gets a weapon
    // that only makes noise.
    if (m_method != CUnitWeaponTemplate::kObjectThrower) return false;
    return Throw(mother, targetObject, wt);
}

bool CUnitWeapon::Throw(CTessarakObject* mother, CTessarakObject* targetObject, CUnitWeaponTemplate* wt) {
    CGameScene* scene = m_gameScene;
    const float* fire = FirePoint();
    const float* target = TargetPoint();
    const bool ground = (m_weaponFlags & kW_GroundShot) != 0;
    CPlayer* owner = ground ? scene->NeutralPlayer() : m_owner;
    CTessarakObject* shell = nullptr;
    if (wt->m_throwObject)
        shell = scene->CreateObjectByClass(wt->m_throwObject, fire, owner, scene->m_idTable.NewId());
    if (!shell) {
        if (CWorld* world = World())
            world->Console().Printf(
                "Error in object '%s', object was trying to throw '%s' which was not found, weapon is "
                "disabled.",
                mother ? mother->m_name.GetText() : "",
                wt->m_throwObject ? wt->m_throwObject->m_name.GetText() : "");
        m_method = CUnitWeaponTemplate::kDisabled;
        return false;
    }
    shell->Activate();
    shell->m_stateA |= kA_ImpactOnContact;
    shell->m_throwerLink.Set(mother);
    shell->m_aimedLink.Set(targetObject);
    // Heading and pitch of the way to the target point; the velocity goes
    // along them at the throw speed.
    const float dx = target[0] - fire[0], dy = target[1] - fire[1], dz = target[2] - fire[2];
    const float length = Math_Sqrt(dx * dx + dy * dy + dz * dz);
    const float heading = (m_weaponFlags & kW_LockedRotation) ? Heading() : Angle2D(0.0f, 0.0f, dx, dz);
    float rise = length > 0.0f ? dy / length : 0.0f;
    rise = rise > 1.0f ? 1.0f : (rise < -1.0f ? -1.0f : rise);
    const float elevation = Math_Asin(rise);
    shell->SetOrientation(heading, WrapAngle(-elevation), 0.0f);
    const float speed = wt->m_throwSpeed;
    const float flat = Math_Cos(elevation) * speed;
    shell->m_velocity[0] = flat * Math_Sin(heading);
    shell->m_velocity[1] = Math_Sin(elevation) * speed;
    shell->m_velocity[2] = flat * Math_Cos(heading);
    shell->ResetMatrixHistory();
    // Its trail (smoke, sparks) follows it: the view's, with a stream of its
    // own; it dies with the object.
    if (wt->m_throwObject->m_emitterTemplate && scene->m_rootFrame)
        (new CE3DEmitter(scene->m_rootFrame, wt->m_throwObject->m_emitterTemplate))->FollowFrame(shell);
    // A thrown object made to burst at once (a weapon template with
    // ImmidiateDestruction) explodes where it leaves the weapon.
    CTessarakObjectTemplate* thrown = wt->m_throwObject;
    if ((thrown->m_classMask & kClassWeapon) &&
        static_cast<CUnitWeaponTemplate*>(thrown)->m_immediateDestruction) {
        shell->ApplyDamage(nullptr, 0.0f, true);
        return true;
    }
    // The time of flight to the target point (a thrown object of speed 0
    // does not fly: it lasts only the added time).
    const float flight = speed > 0.0f ? length / speed : 0.0f;
    if (shell->m_stateB & kB_Homing) {
        shell->m_homingStrength = speed;
        if (targetObject) {
            shell->m_homingMode = 1;
            shell->m_homingLink.Set(targetObject);
        } else {
            shell->m_homingMode = 2;
            shell->m_homingPoint[0] = target[0];
            shell->m_homingPoint[1] = target[2];
            shell->m_lifeTimer = flight + 0.25f;
        }
    } else {
        CRandom& random = mother ? mother->m_random : m_random;
        shell->m_lifeTimer = flight + random.RandFloat() * 0.5f + 0.5f;
    }
    return true;
}
