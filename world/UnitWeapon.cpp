#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
//
// The weapon's part of the records, after the base object's:
//   [save] u8 the object's resource type (again)
//   i32 target link id
//   f32 x 3 vector A, f32 x 3 vector B
//   f32 x 4 the four words
//   u8 method, u8 the byte
//   u8 x 5 weapon flags 0x01, 0x02, 0x04, 0x08, 0x10
// 52 bytes saved, 51 in sync.
#include <cstring>

#include "world/GameScene.h"
#include "world/SceneList.h"
#include "world/StateArchive.h"
#include "world/UnitWeapon.h"

CUnitWeaponTemplate::CUnitWeaponTemplate(CGameScene* scene, CE3DFrame* parent, uint8_t topLevel,
                                         CProject* project)
    : CTessarakObjectTemplate(scene, parent, topLevel, project) {
    m_classMask |= kClassWeapon;
    if (topLevel) CUnitWeaponTemplate::SetOnSceneList(true);
}

CUnitWeaponTemplate::~CUnitWeaponTemplate() {
    CUnitWeaponTemplate::SetOnSceneList(false);
}

void CUnitWeaponTemplate::SetOnSceneList(bool on) {
    CTessarakObjectTemplate::SetOnSceneList(on);
    CGameScene* scene = m_gameScene;
    if (on == (m_onWeaponList != 0)) return;
    constexpr auto next = &CUnitWeaponTemplate::m_weaponNext;
    constexpr auto prev = &CUnitWeaponTemplate::m_weaponPrev;
    if (on)
        SceneList_PushFront<next, prev>(scene->m_weaponTemplates, &scene->m_weaponTemplateCount, this);
    else
        SceneList_Unlink<next, prev>(scene->m_weaponTemplates, &scene->m_weaponTemplateCount, this);
    m_onWeaponList = on ? 1 : 0;
}

void CUnitWeaponTemplate::LoadProperties() {
    CTessarakObjectTemplate::LoadProperties();
    CPropertyList& cfg = m_config;
    CGameScene* scene = m_gameScene;
    CProperty* p;
    char text[256];
    auto findTemplate = [&](CProperty* key) -> CTessarakObjectTemplate* {
        key->GetString(text, 256);
        return scene->FindTemplate(text);
    };
    p = cfg.Find("AngleMovement");
    m_rotationSpeed = p ? p->GetFloat() * 0.017453292f : 3.1415927f;
    p = cfg.Find("VisibleRange");
    m_visibleRange = p ? p->GetFloat() : 0.0f;
    if (cfg.Find("UpdatesReloadBar")) m_updatesReloadBar = 1;
    if (cfg.Find("NoTargeting")) m_noTargeting = 1;
    m_weaponMethod = kDisabled;
    if ((p = cfg.Find("WeaponMethod"))) {
        p->GetString(text, 255);
        static const char* const kMethods[6] = {"Disabled",  "ObjectThrower", "Laser",
                                                "DirectHit", "Thunder",       "ScaleObject"};
        for (int i = 0; i < 6; ++i)
            if (std::strcmp(text, kMethods[i]) == 0) m_weaponMethod = i;
    }
    if (m_weaponMethod == kObjectThrower) {
        CProperty* object = cfg.Find("ThrowObject");
        CProperty* speed = cfg.Find("ThrowSpeed");
        if (object && speed) {
            m_throwObject = findTemplate(object);
            m_throwSpeed = speed->GetFloat();
        } else {
            m_weaponMethod = kDisabled;
        }
    }
    if ((p = cfg.Find("ScaleObject"))) m_throwObject = findTemplate(p);
    if ((p = cfg.Find("FlameObject"))) {
        m_flameObject = findTemplate(p);
        m_hasFlameObject = m_flameObject != nullptr;
    }
    if ((p = cfg.Find("LaserObject"))) m_laserObject = findTemplate(p);
    if ((p = cfg.Find("HitObject"))) {
        m_hitObject = findTemplate(p);
        m_hasHitObject = m_hitObject != nullptr;
    }
    if (m_weaponMethod == kDirectHit && (p = cfg.Find("TraceObject"))) m_traceObject = findTemplate(p);
    if (m_weaponMethod == kDirectHit || m_weaponMethod == kLaser) {
        p = cfg.Find("HitDamage");
        m_hitDamage = p ? p->GetFloat() : 10.0f;
    }
    if (m_weaponMethod == kLaser) {
        if ((p = cfg.Find("LaserBurnTime"))) m_laserBurnTime = Math_RoundToInt(p->GetFloat() * 1193.182f);
        if ((p = cfg.Find("LaserWidth"))) m_laserWidth = p->GetFloat();
    }
    p = cfg.Find("ReloadTime");
    m_reloadTime = p ? p->GetFloat() * 0.001f : 0.25f;
    if (cfg.Find("LockedRotation")) m_lockedRotation = 1;
    if (cfg.Find("ImmidiateDestruction")) m_immediateDestruction = 1;
    p = cfg.Find("DefineWeapon");
    m_weaponNumber = p ? p->GetInt() : 0;
}

CUnitWeapon::CUnitWeapon(CGameScene* scene, CTessarakObjectTemplate* tmpl, CE3DFrame* parent,
                         const float* position, uint8_t worldObject, CPlayer* owner, int32_t id)
    : CTessarakObject(scene, tmpl, parent, position, worldObject, nullptr, id) {
    m_classMask |= kClassWeapon;
    if (worldObject) {
        SceneList_PushFront<&CUnitWeapon::m_weaponNext, &CUnitWeapon::m_weaponPrev>(
            scene->m_weapons, &scene->m_weaponCount, this);
        m_onSceneList = 1;
    }
    m_stateB &= ~kB_Homing;
    m_homingStrength = 0.0f;
    SetOwner(owner);
}

CUnitWeapon::~CUnitWeapon() {
    LeaveSceneList();
}

void CUnitWeapon::LeaveSceneList() {
    if (!m_onSceneList) return;
    SceneList_Unlink<&CUnitWeapon::m_weaponNext, &CUnitWeapon::m_weaponPrev>(
        m_gameScene->m_weapons, &m_gameScene->m_weaponCount, this);
    m_onSceneList = 0;
}

void CUnitWeapon::HandleMessage(int, intptr_t) {}

bool CUnitWeapon::CreateFromTemplate(CTessarakObjectTemplate* tmpl) {
    if (!tmpl) return false;
    if (tmpl->m_classMask & kClassWeapon) {
        CUnitWeaponTemplate* w = static_cast<CUnitWeaponTemplate*>(tmpl);
        m_words[1] = w->m_rotationSpeed;
        m_method = static_cast<uint8_t>(w->m_weaponMethod);
        m_weaponFlags = static_cast<uint8_t>(
            (m_weaponFlags & ~(kW_HasFlame | kW_HasHit | kW_LockedRotation)) |
            (w->m_hasFlameObject ? kW_HasFlame : 0) | (w->m_hasHitObject ? kW_HasHit : 0) |
            (w->m_lockedRotation ? kW_LockedRotation : 0));
    }
    Activate();
    m_byte = 1;  // runs until it turns out to have no fire point
    return CTessarakObject::CreateFromTemplate(tmpl);
}

void CUnitWeapon::Release() {
    if (IsReleased()) return;
    LeaveSceneList();
    CTessarakObject::Release();
}

void CUnitWeapon::AfterLoad() {
    CTessarakObject::AfterLoad();
    m_target.Resolve(m_gameScene->m_idTable);
}

void CUnitWeapon::TransferPart(CStateArchive& ar) {
    m_target.Transfer(ar);
    ar.F32s(m_vectorA, 3);
    ar.F32s(m_vectorB, 3);
    ar.F32s(m_words, 4);
    ar.U8(m_method);
    ar.U8(m_byte);
    for (uint8_t bit : {kW_Aligned, kW_HasFlame, kW_HasHit, kW_LockedRotation, kW_GroundShot})
        ar.Bit(m_weaponFlags, bit);
}

void CUnitWeapon::WriteSyncState(CStateArchive& ar) {
    CTessarakObject::WriteSyncState(ar);
    TransferPart(ar);
}

int CUnitWeapon::ReadSyncState(CStateArchive& ar) {
    int r = CTessarakObject::ReadSyncState(ar);
    if (r) return r;
    // While the network game holds the sync, the part is read but not taken.
    CStateArchive::EMode mode = ar.GetMode();
    if (m_gameScene->m_syncHold) ar.SetReadMode(CStateArchive::kCheck);
    TransferPart(ar);
    ar.SetReadMode(mode);
    return ar.Ok() ? kSyncTaken : kSyncRefused;
}

void CUnitWeapon::SaveState(CStateArchive& ar) {
    CTessarakObject::SaveState(ar);
    ar.U8(m_resourceType);
    TransferPart(ar);
}

bool CUnitWeapon::LoadState(CStateArchive& ar) {
    if (!CTessarakObject::LoadState(ar)) return false;
    ar.U8(m_resourceType);
    TransferPart(ar);
    return ar.Ok();
}
