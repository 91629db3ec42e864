#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
//
// The two record forms of a game object's own part, written and read by one
// transfer function. All values little-endian and unpadded, floats as IEEE
// singles; a link is the target's object id, -1 when empty.
//
// Header (both forms): u32 template id, u16 project id, u32 class mask
// (1, 3, 7 or 0x11). The saved record writes it first and its creator reads
// it; the sync image starts with the object id and then the header, and the
// object reads both itself.
//
// Saved record after the header, and the sync image after its header, in
// order ([save] and [sync] mark the fields of one form only):
//   [save] u32 child count N, then N child records (header first)
//   [save] i32 object id
//   position, rotation (heading, pitch, bank), scale: 3 x 3 f32
//   u8 resource-spot record present; if 1: base, phase, speed, current (f32)
//   u8 resource type, f32 resource amount, u8 resource layers
//   link ids: link 1, thrower, aimed target
//   f32 homing strength, steering timer, homing point x, z
//   link id: homing target; u8 homing mode
//   velocity, previous position, push velocity, auto-scale speeds,
//   auto-rotation speeds: 5 x 3 f32
//   u8 misc byte, 3 x u32 misc words, u32 random generator state
//   f32 radius, u8 footprint half-size
//   i32 owner's player id (-1 for an object without owner), u8 owner flag
//   link ids: cable end A, cable end B; f32 cable rest length
//   u32 force record count M, then M x (damage, impulse x, y, z, delay: f32)
//   [sync] f32 misc float
//   i32 the node's word: the object's map id
//   u8 material applied; if 1: u16 material project id, u32 material id
//   u8 jittered
//   u8 shattered; if 1: i32 shatter count, f32 shatter amount, u8 its flag
//   f32 power, maximum power, power word 1, power word 2, life timer
//   u8 clipping off
//   flag A bits 0x02, 0x04, 0x08, 0x10, 0x20, 0x80; flag B 0x02 (one u8 each)
//   [sync] u32 the object's further word: its map layer
//   flag B bits 0x04, 0x08, 0x20, 0x40, 0x80; flag C 0x02; flag B 0x01
//   [save] the frame's render matrix (16 f32) and world matrix (12 f32)
//   [save] u8 hidden, u8 silent
//   [sync] u32 child count, then each child's sync image
// A bare object is 353 bytes saved (header included) and 247 in sync.
// Derived classes append their part after all of this.
#include <cstring>
#include <vector>

#include "core/CRC32.h"
#include "core/LittleEndian.h"
#include "world/GameMessages.h"
#include "world/GameScene.h"
#include "world/PhysicsEngine.h"
#include "world/Player.h"
#include "world/TessarakObject.h"
#include "world/World.h"

namespace {
// The smallest record of a child, which bounds a child count by the bytes
// left: a bare object's sync image, and its saved record after the header.
constexpr size_t kMinSyncImage = 247;
constexpr size_t kMinSavedRecord = 353;
constexpr size_t kForceRecordSize = 20;

CTessarakObject* TopOf(CTessarakObject* o) {
    return o->m_rootObject ? o->m_rootObject : o;
}
}  // namespace

void CTessarakObject::WriteHeader(CStateArchive& ar) {
    ar.WriteU32(m_template ? m_template->m_nodeId : 0);
    uint16_t projectId = m_template ? m_template->m_projectId : 0;
    ar.U16(projectId);
    ar.WriteU32(m_classMask & ~kClassTemplate);
}

bool CTessarakObject::ClaimId(CStateArchive& ar, int32_t id) {
    if (id < -1) return false;
    CObjectIdTable& table = m_gameScene->m_idTable;
    if (id >= 0) {
        if (!ar.ClaimId(id)) return false;
        // An object of the tree being read may hold it: the read gives that
        // object its own id, or deletes it.
        CTessarakObject* holder = table.Find(id);
        const void* root = ar.GetReadRoot();
        if (holder && holder != this && (!root || TopOf(holder) != root)) return false;
        if (!ar.IsApplying()) return true;
        if (holder && holder != this) CObjectIdTable::Unhook(holder);
    }
    if (!ar.IsApplying()) return true;
    m_objectId = id;
    if (id >= 0)
        table.Insert(this);
    else
        CObjectIdTable::Unhook(this);
    return true;
}

int CTessarakObject::TransferBase(CStateArchive& ar, bool sync) {
    const bool apply = ar.IsApplying();
    if (sync) {
        if (ar.IsWriting()) {
            ar.WriteI32(m_objectId);
            WriteHeader(ar);
        } else {
            int32_t id = ar.ReadI32();
            uint32_t templateId = ar.ReadU32();
            uint16_t projectId = ar.ReadU16();
            uint32_t mask = ar.ReadU32();
            if (!ar.Ok()) return kSyncRefused;
            if (!m_template || templateId != m_template->m_nodeId || projectId != m_template->m_projectId ||
                mask != (m_classMask & ~kClassTemplate))
                return kSyncMismatch;
            if (!ClaimId(ar, id)) return kSyncRefused;
        }
    } else {
        if (ar.IsWriting()) {
            ar.WriteU32(static_cast<uint32_t>(CountChildObjects()));
            for (CTessarakObject* c = FirstChildObject(); c; c = c->NextSiblingObject()) c->SaveState(ar);
            ar.WriteI32(m_objectId);
        } else {
            if (!LoadChildren(ar)) return kSyncRefused;
            if (!ClaimId(ar, ar.ReadI32()) || !ar.Ok()) return kSyncRefused;
        }
    }

    float position[3] = {m_position[0], m_position[1], m_position[2]};
    float rotation[3] = {m_yaw, m_pitch, m_roll};
    float scale[3] = {m_scale[0], m_scale[1], m_scale[2]};
    ar.F32s(position, 3);
    ar.F32s(rotation, 3);
    ar.F32s(scale, 3);
    if (apply) {
        SetPosition(position[0], position[1], position[2]);
        SetOrientation(rotation[0], rotation[1], rotation[2]);
        SetScale(scale[0], scale[1], scale[2]);
    }

    uint8_t spot = m_resourceSpot ? 1 : 0;
    ar.Local(spot);
    if (spot) {
        SResourceSpot values = m_resourceSpot ? *m_resourceSpot : SResourceSpot();
        ar.F32(values.m_base);
        ar.F32(values.m_phase);
        ar.F32(values.m_speed);
        ar.F32(values.m_current);
        if (apply) {
            if (!m_resourceSpot) m_resourceSpot = new SResourceSpot;
            *m_resourceSpot = values;
        }
    } else if (apply) {
        delete m_resourceSpot;
        m_resourceSpot = nullptr;
    }
    ar.U8(m_resourceType);
    ar.F32(m_resourceAmount);
    ar.U8(m_resourceLayers);
    m_link1.Transfer(ar);
    m_throwerLink.Transfer(ar);
    m_aimedLink.Transfer(ar);
    ar.F32(m_homingStrength);
    ar.F32(m_steeringTimer);
    ar.F32s(m_homingPoint, 2);
    m_homingLink.Transfer(ar);
    ar.U8(m_homingMode);
    ar.F32s(m_velocity, 3);
    ar.F32s(m_previousPosition, 3);
    ar.F32s(m_pushVelocity, 3);
    ar.F32s(m_autoScaleSpeed, 3);
    ar.F32s(m_autoRotation, 3);
    ar.U8(m_miscByte);
    for (uint32_t& w : m_miscWords) ar.U32(w);
    ar.U32(m_random.m_state);
    ar.F32(m_objectRadius);
    ar.U8(m_footprintHalfSize);

    int32_t ownerId = m_owner ? m_owner->m_id : -1;
    ar.I32(ownerId);
    if (apply) {
        // -1: an object without owner (one that had none when written).
        CPlayer* player = m_gameScene->FindPlayerById(ownerId);
        if (player && player != m_owner)
            SetOwner(player);
        else if (ownerId == -1 && m_owner)
            ForgetOwner();
    }
    ar.U8(m_ownerFlag);
    m_cableA.Transfer(ar);
    m_cableB.Transfer(ar);
    ar.F32(m_cableRestLength);

    if (ar.IsWriting()) {
        uint32_t count = 0;
        for (SForceRecord* r = m_forces; r; r = r->m_next) ++count;
        ar.WriteU32(count);
        for (SForceRecord* r = m_forces; r; r = r->m_next) {
            ar.F32(r->m_damage);
            ar.F32s(r->m_impulse, 3);
            ar.F32(r->m_delay);
        }
    } else {
        uint32_t count = 0;
        ar.Count(count, kForceRecordSize);
        std::vector<SForceRecord> forces(ar.Ok() ? count : 0);
        for (SForceRecord& r : forces) {
            ar.F32(r.m_damage);
            ar.F32s(r.m_impulse, 3);
            ar.F32(r.m_delay);
        }
        CPhysicsEngine* physics = Physics();
        if (apply && physics) {
            physics->ReleaseForces(this);
            static const float kPlaceholder[3] = {0.0f, 0.0f, 0.0f};
            for (const SForceRecord& r : forces) {
                if (!physics->AddForce(this, kPlaceholder, 1.0f, 1.0f)) break;
                m_forcesTail->m_damage = r.m_damage;
                std::memcpy(m_forcesTail->m_impulse, r.m_impulse, sizeof r.m_impulse);
                m_forcesTail->m_delay = r.m_delay;
            }
        }
    }
    if (sync) ar.F32(m_miscFloat);
    ar.I32(m_mapId);

    uint8_t material = (m_stateC & kC_Material) ? 1 : 0;
    ar.Local(material);
    if (material) {
        uint16_t projectId = m_materialProjectId;
        uint32_t materialId = m_materialId;
        ar.U16(projectId);
        ar.U32(materialId);
        if (apply) SetMaterial(projectId, materialId);
    } else if (apply) {
        m_stateC &= ~kC_Material;
    }
    uint8_t jittered = (m_stateC & kC_Jittered) ? 1 : 0;
    ar.Local(jittered);
    if (apply && jittered && !(m_stateC & kC_Jittered)) Jitter(0.42f);
    uint8_t shattered = (m_stateC & kC_Shattered) ? 1 : 0;
    ar.Local(shattered);
    if (shattered) {
        int32_t count = m_shatterCount;
        float amount = m_shatterAmount;
        uint8_t flag = (m_stateC & kC_ShatterFlag) ? 1 : 0;
        ar.I32(count);
        ar.F32(amount);
        ar.U8(flag);
        if (apply && !(m_stateC & kC_Shattered)) Shatter(amount, count, flag != 0);
    }
    ar.F32(m_power);
    ar.F32(m_maxPower);
    ar.F32(m_powerWord1);
    ar.F32(m_powerWord2);
    ar.F32(m_lifeTimer);
    ar.U8(m_clippingOff);

    uint8_t a = m_stateA, b = m_stateB, c = m_stateC;
    for (uint8_t bit : {kA_Destroyed, kA_NoPhysics, kA_Constructed, kA_ImpactOnContact, kA_Impacted})
        ar.LocalBit(a, bit);
    ar.LocalBit(a, kA_Active);
    ar.LocalBit(b, kB_Released);
    // A released object in this world that is alive in the image cannot be
    // brought back: the caller makes a new one.
    if (sync && ar.IsReading() && !(b & kB_Released) && (m_stateB & kB_Released)) return kSyncReleasedHere;
    if (sync) ar.U32(m_layer);
    for (uint8_t bit : {kB_AutoRotate, kB_AutoScale, kB_Homing, kB_TowCable, kB_Bit80}) ar.LocalBit(b, bit);
    ar.LocalBit(c, kC_Caught);
    ar.LocalBit(b, kB_MayRest);
    if (apply) {
        const uint8_t kA = kA_Destroyed | kA_NoPhysics | kA_Constructed | kA_ImpactOnContact | kA_Impacted;
        const uint8_t kB = kB_AutoRotate | kB_AutoScale | kB_Homing | kB_TowCable | kB_Bit80 | kB_MayRest;
        m_stateA = static_cast<uint8_t>((m_stateA & ~kA) | (a & kA));
        m_stateB = static_cast<uint8_t>((m_stateB & ~kB) | (b & kB));
        m_stateC = static_cast<uint8_t>((m_stateC & ~kC_Caught) | (c & kC_Caught));
        if (a & kA_Active)
            Activate();
        else
            Deactivate();
    }

    if (!sync) {
        float render[16], world[12];
        std::memcpy(render, m_render.m, sizeof render);
        std::memcpy(world, m_world, sizeof world);
        ar.F32s(render, 16);
        ar.F32s(world, 12);
        uint8_t hidden = ((m_flagsA & kFrameHidden) || m_pendingVisibility > 0) ? 1 : 0;
        uint8_t silent = (m_stateA & kA_Silent) ? 1 : 0;
        ar.U8(hidden);
        ar.U8(silent);
        if (apply) {
            // The frame starts from the matrices it had (the transform read
            // above rebuilds them at the next update); the hidden and silent
            // states are applied.
            std::memcpy(m_render.m, render, sizeof render);
            std::memcpy(m_world, world, sizeof world);
            m_pendingVisibility = hidden ? 1 : -1;
            if (silent)
                m_stateA |= kA_Silent;
            else
                m_stateA &= ~kA_Silent;
        }
    } else {
        int r = TransferSyncChildren(ar);
        if (r) return r;
    }
    if (apply && (b & kB_Released) && !(m_stateB & kB_Released)) Release();
    return ar.Ok() ? kSyncTaken : kSyncRefused;
}

int CTessarakObject::TransferSyncChildren(CStateArchive& ar) {
    if (ar.IsWriting()) {
        ar.WriteU32(static_cast<uint32_t>(CountChildObjects()));
        for (CTessarakObject* c = FirstChildObject(); c; c = c->NextSiblingObject()) c->WriteSyncState(ar);
        return kSyncTaken;
    }
    uint32_t count = 0;
    ar.Count(count, kMinSyncImage);
    if (!ar.Ok()) return kSyncRefused;
    size_t start = ar.GetPosition();
    if (static_cast<uint32_t>(CountChildObjects()) == count) {
        int result = kSyncTaken;
        for (CTessarakObject* c = FirstChildObject(); c && result == kSyncTaken; c = c->NextSiblingObject())
            result = c->ReadSyncState(ar);
        if (result == kSyncTaken) return kSyncTaken;
        if (result >= kSyncReleasedHere || result == kSyncRefused) return result;
        ar.Rewind(start);  // a child of another kind: every child is made again
    }
    if (ar.IsApplying()) DeleteChildObjects();
    for (uint32_t i = 0; i < count; ++i) {
        size_t at = ar.GetPosition();
        ar.ReadI32();
        uint32_t templateId = ar.ReadU32();
        uint16_t projectId = ar.ReadU16();
        uint32_t mask = ar.ReadU32();
        if (!ar.Ok()) return kSyncRefused;
        ar.Rewind(at);
        CTessarakObject* child = MakeChildForRecord(ar, projectId, templateId, mask, true);
        if (!child) return kSyncRefused;
        // A checking read parses the child on a scratch object, which takes
        // the record's template for the time of it (its own children are
        // found under it).
        CTessarakObjectTemplate* saved = child->m_template;
        if (!ar.IsApplying()) child->m_template = FindChildTemplate(projectId, templateId);
        int r = child->ReadSyncState(ar);
        if (!ar.IsApplying()) child->m_template = saved;
        if (r) return r == kSyncMismatch ? kSyncRefused : r;
    }
    if (ar.IsApplying()) SortChildren();
    return kSyncTaken;
}

bool CTessarakObject::LoadChildren(CStateArchive& ar) {
    uint32_t count = 0;
    ar.Count(count, kMinSavedRecord);
    if (!ar.Ok()) return false;
    if (ar.IsApplying()) DeleteChildObjects();
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t templateId = ar.ReadU32();
        uint16_t projectId = ar.ReadU16();
        uint32_t mask = ar.ReadU32();
        if (!ar.Ok()) return false;
        CTessarakObject* child = MakeChildForRecord(ar, projectId, templateId, mask, false);
        if (!child) return false;
        CTessarakObjectTemplate* saved = child->m_template;
        if (!ar.IsApplying()) child->m_template = FindChildTemplate(projectId, templateId);
        bool ok = child->LoadState(ar);
        if (!ar.IsApplying()) child->m_template = saved;
        if (!ok) return false;
    }
    return true;
}

CTessarakObjectTemplate* CTessarakObject::FindChildTemplate(uint16_t projectId, uint32_t templateId) const {
    if (!m_template) return nullptr;
    CUnitVisual* node = m_template->FindChildById(projectId, templateId);
    return node && (node->m_classMask & kClassObject) ? static_cast<CTessarakObjectTemplate*>(node) : nullptr;
}

CTessarakObject* CTessarakObject::MakeChildForRecord(CStateArchive& ar, uint16_t projectId,
                                                     uint32_t templateId, uint32_t mask, bool sync) {
    CTessarakObjectTemplate* tmpl = FindChildTemplate(projectId, templateId);
    if (!tmpl) return nullptr;
    uint32_t templateMask = tmpl->m_classMask & ~kClassTemplate;
    bool clone = false;
    if (templateMask != mask) {
        // A saved plain object of a template that has changed class is
        // cloned as a plain object; any other change is refused.
        if (sync || mask != kMaskObject) return nullptr;
        clone = true;
    }
    if (!ClassMask_IsKnown(mask)) return nullptr;
    CGameScene* scene = m_gameScene;
    if (!ar.IsApplying()) return scene->ScratchObject(mask);
    int32_t id = scene->m_idTable.NewId();
    CTessarakObject* child =
        scene->NewObjectOfClass(mask, tmpl, tmpl->m_position, this, tmpl->m_topLevel, m_owner, id);
    if (clone)
        child->Clone(tmpl);
    else
        child->CreateFromTemplate(tmpl);
    return child;
}

// ---- the operations

void CTessarakObject::WriteSyncState(CStateArchive& ar) {
    TransferBase(ar, true);
}

int CTessarakObject::ReadSyncState(CStateArchive& ar) {
    return TransferBase(ar, true);
}

void CTessarakObject::SaveState(CStateArchive& ar) {
    WriteHeader(ar);
    TransferBase(ar, false);
}

bool CTessarakObject::LoadState(CStateArchive& ar) {
    return TransferBase(ar, false) == kSyncTaken;
}

int CTessarakObject::ReadSyncImage(CStateArchive& ar) {
    size_t start = ar.GetPosition();
    CStateArchive::EMode mode = ar.SetReadMode(CStateArchive::kCheck);
    ar.BeginRead(TopOf(this));
    int result = ReadSyncState(ar);
    if (result == kSyncTaken && !ar.Ok()) result = kSyncRefused;
    if (result != kSyncTaken) {
        ar.SetReadMode(mode);
        return result;
    }
    ar.Rewind(start);
    ar.SetReadMode(CStateArchive::kApply);
    ar.BeginRead(TopOf(this));
    result = ReadSyncState(ar);
    ar.SetReadMode(mode);
    return result;
}

bool CTessarakObject::LoadRecord(CStateArchive& ar) {
    size_t start = ar.GetPosition();
    CStateArchive::EMode mode = ar.SetReadMode(CStateArchive::kCheck);
    ar.BeginRead(TopOf(this));
    bool ok = LoadState(ar) && ar.Ok();
    if (ok) {
        ar.Rewind(start);
        ar.SetReadMode(CStateArchive::kApply);
        ar.BeginRead(TopOf(this));
        ok = LoadState(ar);
    }
    ar.SetReadMode(mode);
    return ok;
}

uint32_t CTessarakObject::ComputeSyncCRC() {
    CStateArchive& image = m_gameScene->m_syncImage;
    image.Reset();
    WriteSyncState(image);
    m_syncCrc = CRC32_Compute(image.GetData(), image.GetSize());
    return m_syncCrc;
}

void CTessarakObject::WriteSyncCRC(CStateArchive& ar) {
    ComputeSyncCRC();
    ar.WriteI32(m_objectId);
    ar.WriteU32(m_syncCrc);
}

bool CTessarakObject::CheckSyncCRC(CStateArchive& ar) {
    uint32_t own = ComputeSyncCRC();
    uint32_t reference = ar.ReadU32();
    if (ar.Ok() && own == reference) return true;
    if (CWorld* world = World())
        world->Console().Printf("CRC %d, Ref %d", static_cast<int32_t>(own), static_cast<int32_t>(reference));
    m_gameScene->m_desync = 1;
    return false;
}

void CTessarakObject::SendCommand(uint32_t command) {
    if (m_objectId < 0) {
        AddToUpdateList();
        return;
    }
    uint8_t payload[8];
    LE_StoreU32(payload, static_cast<uint32_t>(m_objectId));
    LE_StoreU32(payload + 4, command & 0xFF);
    if (CWorld* world = World()) world->Sender().Send(NS_NOTIFYTYPE_KILLUNIT, payload, 8);
}
