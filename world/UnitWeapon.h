// Unit weapons: a turret or launcher mounted on a unit (a child object of
// the unit's tree, or a world object of its own) that turns towards a target
// and fires by one of six methods. Weapons are always on the active list and
// ignore the selection messages. Their template, CUnitWeaponTemplate, reads
// the weapon's keys; the firing is in WeaponFire.cpp.
#pragma once

#include <cstdint>

#include "world/ObjectTemplate.h"
#include "world/TessarakObject.h"

class CUnitWeaponTemplate : public CTessarakObjectTemplate {
public:
    enum : int32_t {
        kDisabled = 0,
        kObjectThrower = 1,
        kLaser = 2,
        kDirectHit = 3,
        kThunder = 4,
        kScaleObject = 5,
    };

    CUnitWeaponTemplate(CGameScene* scene, CE3DFrame* parent, uint8_t topLevel, CProject* project);
    ~CUnitWeaponTemplate() override;

    void LoadProperties() override;
    // The scene's list of weapon templates (message 14).
    void SetOnSceneList(bool on) override;

    float m_rotationSpeed = 3.1415927f;  // radians per second
    float m_visibleRange = 0.0f;
    uint8_t m_noTargeting = 0;
    int32_t m_laserBurnTime = 238636;  // game-time units (200 ms)
    float m_laserWidth = 0.3f;
    int32_t m_weaponMethod = kDisabled;
    // The thrown (or, for ScaleObject, the scaled) object, and what shows at
    // the muzzle, on the target, along the shot and as the laser.
    CTessarakObjectTemplate* m_throwObject = nullptr;
    CTessarakObjectTemplate* m_flameObject = nullptr;
    CTessarakObjectTemplate* m_hitObject = nullptr;
    CTessarakObjectTemplate* m_traceObject = nullptr;
    CTessarakObjectTemplate* m_laserObject = nullptr;
    float m_throwSpeed = 0.0f;
    float m_reloadTime = 0.25f;  // seconds
    float m_hitDamage = 0.0f;
    uint8_t m_hasFlameObject = 0;
    uint8_t m_hasHitObject = 0;
    uint8_t m_updatesReloadBar = 0;
    int32_t m_weaponNumber = 0;
    uint8_t m_lockedRotation = 0;
    uint8_t m_immediateDestruction = 0;
    uint8_t m_onWeaponList = 0;
    CUnitWeaponTemplate* m_weaponNext = nullptr;
    CUnitWeaponTemplate* m_weaponPrev = nullptr;
};

class CUnitWeapon : public CTessarakObject {
public:
    // Weapon flags.
    enum : uint8_t {
        kW_Aligned = 0x01,
        kW_HasFlame = 0x02,
        kW_HasHit = 0x04,
        kW_LockedRotation = 0x08,  // a fixed mount: it fires without aiming
        kW_GroundShot = 0x10,      // the last shot had no target object
    };

    CUnitWeapon(CGameScene* scene, CTessarakObjectTemplate* tmpl, CE3DFrame* parent, const float* position,
                uint8_t worldObject, CPlayer* owner, int32_t id);
    ~CUnitWeapon() override;

    void HandleMessage(int message, intptr_t argument) override;
    bool CreateFromTemplate(CTessarakObjectTemplate* tmpl) override;
    void Release() override;
    void AfterLoad() override;
    void WriteSyncState(CStateArchive& ar) override;
    int ReadSyncState(CStateArchive& ar) override;
    void SaveState(CStateArchive& ar) override;
    bool LoadState(CStateArchive& ar) override;

    // ---- aiming and firing (WeaponFire.cpp)
    // Aims at the point: it becomes the target point, and the aim heading is
    // the ground-plane heading from the mother unit (the weapon itself
    // without one) to it.
    void AimAt(float x, float y, float z);
    // One shot when the weapon faces its aim (or needs no aiming) and the
    // target point lies within range: sound, reload, muzzle flame, impact
    // object and tracer, then the method's step. True only after a thrown
    // object left the weapon. The scene calls it once the weapon is loaded.
    bool Fire();
    // The unit the weapon is mounted on (the nearest unit above it in the
    // frame tree), or null.
    CTessarakObject* MotherUnit() const;
    CUnitWeaponTemplate* WeaponTemplate() const;

    // The roles of the record's fields.
    float* FirePoint() { return m_vectorA; }    // world position of the fire-point frame at the last shot
    float* TargetPoint() { return m_vectorB; }  // what the weapon aims at
    CObjectLink& FirePointLink() { return m_link2; }  // the child object named "FirePoint"
    float& Heading() { return m_words[0]; }           // radians, the heading the frame has
    float& RotationSpeed() { return m_words[1]; }     // radians per second
    float& AimHeading() { return m_words[2]; }        // radians, the heading wanted
    float& ReloadTimer() { return m_words[3]; }       // seconds until it may fire again

    // The aiming state (the roles above).
    CObjectLink m_target;
    float m_vectorA[3] = {0.0f, 0.0f, 0.0f};
    float m_vectorB[3] = {0.0f, 0.0f, 0.0f};
    CObjectLink m_link2;
    float m_words[4] = {0.0f, 0.0f, 0.0f, 0.0f};  // [1]: the rotation speed
    uint8_t m_method = 0;
    uint8_t m_byte = 0;
    uint8_t m_weaponFlags = 0;
    CUnitWeapon* m_weaponNext = nullptr;  // the scene's weapons
    CUnitWeapon* m_weaponPrev = nullptr;
    uint32_t m_word = 0;

protected:
    // The ObjectThrower step of Fire: the projectile, its way and its life.
    bool Throw(CTessarakObject* mother, CTessarakObject* targetObject, CUnitWeaponTemplate* wt);
    void TransferPart(CStateArchive& ar);
    void LeaveSceneList();
    uint8_t m_onSceneList = 0;
};
