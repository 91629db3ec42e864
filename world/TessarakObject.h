// CTessarakObject: one placed thing of the battlefield.
//
// A unit, a building, a resource field, a weapon on a unit, a projectile, a
// decoration: every one is made from an object template and is a node of the
// 3D scene. Objects may carry child objects (turrets, weapons, a selection
// ring, parts) as child frames; only the top of such a tree is a world
// object: counted by the scene, owned by a player, in the players' lists.
// CGridMember (class bit 2), CUnit (bit 4, a grid member) and CUnitWeapon
// (bit 0x10) derive from it.
//
// Everything an object does to another goes through object ids and
// CObjectLink, so that a saved game or a network message can name any object
// by its id. Every object has its own random generator, seeded from its id,
// and every random draw of the simulation about an object uses it: two
// machines that make the same object with the same id draw the same numbers.
//
// An object is written out in two record forms, each class appending its
// part after its base class's: the saved-game record (SaveState, LoadState)
// and the sync image (WriteSyncState, ReadSyncState), whose CRC-32 machines
// compare every so often. Both are read in two passes (CStateArchive): a
// check of the whole record, which changes nothing, then the apply. A
// reader's transfer code must therefore touch the object only when the
// archive applies, and must take the record's layout from the record alone;
// a checking pass may run it on a scratch object of the class (made by the
// scene with no template) when the object's own children do not match.
#pragma once

#include <cstdint>

#include "core/Random.h"
#include "core/StrBuf.h"
#include "world/GameNode.h"
#include "world/ObjectLink.h"
#include "world/ObjectTemplate.h"

class CPlayer;
class CStateArchive;
struct SForceRecord;

// The record of a resource spot: the current value and the base, phase and
// speed of its animation (Part of the spot template's objects only).
struct SResourceSpot {
    float m_current = 0.0f;
    float m_base = 1.0f;
    float m_phase = 3.1415927f;
    float m_speed = 1.0f;
};

class CTessarakObject : public CGameNode {
public:
    // Flag byte A.
    enum : uint8_t {
        kA_Silent = 0x01,     // plays no sound
        kA_Destroyed = 0x02,  // the life timer runs down, then it leaves play
        kA_NoPhysics = 0x04,
        kA_Constructed = 0x08,
        kA_ImpactOnContact = 0x10,
        kA_Impacted = 0x20,
        kA_Selected = 0x40,
        kA_Active = 0x80,  // on the scene's active list
    };
    // Flag byte B.
    enum : uint8_t {
        kB_MayRest = 0x01,  // may leave the active list again once at rest
        kB_Released = 0x02,
        kB_AutoRotate = 0x04,
        kB_AutoScale = 0x08,
        kB_LocalOwner = 0x10,  // the local player's (every object's when all is revealed)
        kB_Homing = 0x20,
        kB_TowCable = 0x40,
        kB_Bit80 = 0x80,
    };
    // Flag byte C.
    enum : uint8_t {
        kC_Caught = 0x02,  // destroyed by a detector on relocation
        kC_Jittered = 0x04,
        kC_Shattered = 0x08,
        kC_ShatterFlag = 0x10,
        kC_Material = 0x20,
    };
    // Results of ReadSyncState.
    enum : int {
        kSyncTaken = 0,
        kSyncMismatch = 1,  // its template or class differs from the image's
        kSyncRefused = 2,   // the image does not fit: nothing was changed
        kSyncReleasedHere = 4,
    };
    // Messages of HandleMessage.
    enum : int { kMsgDeselect = 0, kMsgSelect = 1 };

    // A new object of template under parent at position (null: the origin).
    // id -1 makes an object without an id, outside the id table (a scratch
    // or view-only object that nothing names). A world object joins the
    // scene's list of world objects.
    CTessarakObject(CGameScene* scene, CTessarakObjectTemplate* tmpl, CE3DFrame* parent,
                    const float* position, uint8_t worldObject, CPlayer* owner, int32_t id);
    // The clean-up of Release, then the object leaves the world-object list.
    ~CTessarakObject() override;
    // Leaves the scene's list of world objects ahead of its deletion (a
    // released object that lingers as a frame): no walk of the world meets
    // it again, and the world's count no longer holds it.
    void LeaveWorldList();

    // ---- the object's operations (each class overrides what it needs)
    // 0 deselects, 1 selects; argument: a number or an object, by message.
    virtual void HandleMessage(int message, intptr_t argument);
    // Copies the template's look and properties and builds the child
    // objects from the child templates, each of its own class.
    virtual bool CreateFromTemplate(CTessarakObjectTemplate* tmpl);
    // The same for a tree of plain objects, without properties.
    virtual bool Clone(CTessarakObjectTemplate* tmpl);
    // Takes the object out of play (once): links to it empty, it leaves its
    // groups, the id table and the active list; its children follow.
    virtual void Release();
    virtual void WriteSyncState(CStateArchive& ar);
    // Reads (checks or applies, as the archive says) a sync image; returns a
    // kSync result. Use ReadSyncImage for a checked read.
    virtual int ReadSyncState(CStateArchive& ar);
    // After every object of a loaded scene exists: links are resolved by id,
    // memberships and lists restored.
    virtual void AfterLoad();
    // The saved-game record: header, then the record itself.
    virtual void SaveState(CStateArchive& ar);
    // Reads the record after its header (the creator read the header).
    virtual bool LoadState(CStateArchive& ar);

    // A sync image checked whole, then applied; a refused image changes
    // nothing. The archive is left after the image.
    int ReadSyncImage(CStateArchive& ar);
    // A saved record (after its header) checked whole, then applied.
    bool LoadRecord(CStateArchive& ar);

    // The sync image's CRC-32, kept as the sync CRC.
    uint32_t ComputeSyncCRC();
    // Appends the id and the sync CRC (8 bytes).
    void WriteSyncCRC(CStateArchive& ar);
    // Compares with a reference CRC read from ar; a difference prints
    // "CRC %d, Ref %d" and raises the scene's desync flag.
    bool CheckSyncCRC(CStateArchive& ar);
    // Message 161: command 0 destroys the object the normal way, 1 removes
    // it at once. An object without an id is removed locally.
    void SendCommand(uint32_t command);

    // ---- ownership, activity, play
    void SetOwner(CPlayer* player);
    void Activate();
    void Deactivate();
    // Out of play: off the grid, on the engine's per-frame update list.
    void RemoveFromGrid();
    void SetName(const char* text);
    // Takes the damage: below 1.0 power (or forced) the object is destroyed;
    // a hit of more than 1.0 that it survives tells its owner it is under
    // attack (the notices are the view's, at most one of each kind in the
    // notice delay).
    void ApplyDamage(CTessarakObject* attacker, float amount, bool forced);
    // The player's events of the game the world posts (the interface's event
    // codes, IWorldView::PostEventMessage).
    enum : int {
        kEventCentralDestroyed = 0,
        kEventBaseUnderAttack = 4,
        kEventCentralUnderAttack = 5,
        kEventUnitUnderAttack = 10,
        kEventHarvesterUnderAttack = 11,
    };
    // What a class does once damage has been taken (a unit's hit flash).
    virtual void OnDamage(float /*amount*/) {}
    // One tick of motion: velocity and pushes, friction, the map's bounds,
    // contact with other objects, delayed forces, projectile impact, homing,
    // tow cables, auto-rotation and scaling, timed life (ObjectMotion.cpp).
    void Integrate();
    // A random sample of the set at the object's position, loudness by its
    // distance to the listener (audio only: the process generator picks).
    void PlaySound(const SSoundSet& set, int count);
    // The same, heard as if it played at (x, z).
    void PlaySoundAt(const SSoundSet& set, int count, float x, float z);
    void Shatter(float amount, int32_t count, bool flag);
    void Jitter(float amount);
    // Sets the flag (a byte of the mesh, given by its member) of every mesh
    // of the tree.
    void SetMeshFlag(bool CE3DMesh::*flag);
    // Applies a material of the game screen to every mesh of the tree.
    void SetMaterial(uint16_t projectId, uint32_t materialId);
    void ApplyDestructionLook();
    // The homing step towards a point.
    void SteerTowards(float x, float y, float z);
    // Membership of group (one record; RemoveMembership deletes the first).
    void AddMembership(CObjectGroup* group);
    void RemoveMembership(CObjectGroup* group);
    bool IsMemberOf(const CObjectGroup* group) const;

    // ---- the tree
    // The child game objects in child order.
    CTessarakObject* FirstChildObject() const;
    CTessarakObject* NextSiblingObject() const;
    int32_t CountChildObjects() const;
    // Game objects by id, ascending; other frames keep their order after them.
    void SortChildren();
    // Deletes every child game object.
    void DeleteChildObjects();

    // ---- class tests
    bool IsGridMember() const { return (m_classMask & kClassGridMember) != 0; }
    bool IsUnit() const { return (m_classMask & kClassUnit) != 0; }
    bool IsWeapon() const { return (m_classMask & kClassWeapon) != 0; }
    bool IsWorldObject() const { return m_attachment != 0; }
    bool IsReleased() const { return (m_stateB & kB_Released) != 0; }
    // Destroyed or released: what follows it (an emitter's trail) lets go.
    bool Dying() const override { return (m_stateA & kA_Destroyed) || IsReleased(); }
    // A grid member marked as a scaffold: no damage, no live membership.
    virtual bool IsMarked() const { return false; }
    // Whether a unit stays in play when its owner leaves the game (else it
    // leaves the grid before the neutral player takes it).
    virtual bool KeepsPlaceForNewOwner() const { return false; }
    // The owner is being deleted with its list: the object forgets it.
    void ForgetOwner();

private:
    // ApplyDamage's notices: an attack survived, a destruction (the key
    // building's loss, the attacker's kill counts).
    void NoticeAttack();
    void NoticeLoss(CTessarakObject* attacker);

public:
    // ---- fields
    CTessarakObjectTemplate* m_template;
    uint32_t m_syncCrc = 0;
    SResourceSpot* m_resourceSpot = nullptr;
    uint8_t m_resourceType = 0;
    float m_resourceAmount = 0.0f;
    uint8_t m_resourceLayers = 0;
    CObjectLink m_link1;
    CObjectLink m_throwerLink;  // who threw or fired this object
    CObjectLink m_aimedLink;
    CObjectLink m_homingLink;
    CObjectLink m_cableA;  // the two ends of a tow cable object
    CObjectLink m_cableB;
    float m_homingStrength = 0.0f;
    float m_steeringTimer = 0.0f;
    float m_homingPoint[2] = {0.0f, 0.0f};  // x, z
    uint8_t m_homingMode = 0;               // 0 none, 1 the homing target, 2 the fixed point
    float m_velocity[3] = {0.0f, 0.0f, 0.0f};
    float m_previousPosition[3] = {0.0f, 0.0f, 0.0f};
    float m_pushVelocity[3] = {0.0f, 0.0f, 0.0f};
    float m_autoScaleSpeed[3] = {0.0f, 0.0f, 0.0f};
    float m_autoRotation[3] = {0.0f, 0.0f, 0.0f};  // heading, pitch, bank
    float m_miscFloat = -1.0f;                     // in the sync image only
    uint8_t m_miscByte = 1;
    uint32_t m_miscWords[3] = {0, 0, 0};
    CRandom m_random;
    int32_t m_objectId;
    CTessarakObject** m_idBucket = nullptr;  // the id table's chain
    CTessarakObject* m_idNext = nullptr;
    CTessarakObject* m_idPrev = nullptr;
    float m_objectRadius = 0.0f;  // collision radius
    uint8_t m_footprintHalfSize = 0;
    CPlayer* m_owner = nullptr;
    uint8_t m_ownerFlag = 0;
    float m_cableRestLength = 5.0f;
    CObjectMembership* m_memberships = nullptr;
    int32_t m_membershipCount = 0;
    uint8_t m_randomByte = 0;
    CTessarakObject* m_allNext = nullptr;  // the scene's world objects
    CTessarakObject* m_allPrev = nullptr;
    CTessarakObject* m_sceneActiveNext = nullptr;  // the scene's active objects
    CTessarakObject* m_sceneActivePrev = nullptr;
    CObjectLink* m_referrers = nullptr;
    // Set when it is hit, destroyed or taken off the grid while selected; a
    // unit's release then tells the interface that its selection changed.
    uint8_t m_deselectedOnRemoval = 0;
    CStrBuf m_name;
    SForceRecord* m_forces = nullptr;
    SForceRecord* m_forcesTail = nullptr;
    float m_power = 0.0f;
    float m_maxPower = 0.0f;
    float m_powerWord1 = 0.0f;
    float m_powerWord2 = 0.0f;
    float m_lifeTimer = 0.0f;
    // Seconds a released world object on the deletion list still stays.
    float m_lingerTimer = 0.0f;
    uint8_t m_inWorldList = 0;  // on the scene's list of world objects
    uint8_t m_clippingOff = 0;
    uint8_t m_stateA = kA_Constructed;  // flag bytes A, B, C (kA_, kB_, kC_)
    uint8_t m_stateB = 0;
    uint8_t m_stateC = 0;
    float m_shatterAmount = 0.0f;  // the last shatter's arguments
    int32_t m_shatterCount = 0;
    uint16_t m_materialProjectId = 0;
    uint32_t m_materialId = 0;

protected:
    // The parts of the two record forms that this class adds. The sync form
    // begins with the object's id and header and ends with its children; the
    // saved form begins with its children and ends with the frame's
    // matrices and the hidden and silent bytes.
    int TransferBase(CStateArchive& ar, bool sync);
    // The header of a record (template id, project id, class mask).
    void WriteHeader(CStateArchive& ar);
    // Children of the two forms.
    int TransferSyncChildren(CStateArchive& ar);
    bool LoadChildren(CStateArchive& ar);
    // The object of a child record: for a check, a scratch object of the
    // record's class; for an apply, a new child of the template (fresh id,
    // this object's owner). Null when the template or class is refused.
    CTessarakObject* MakeChildForRecord(CStateArchive& ar, uint16_t projectId, uint32_t templateId,
                                        uint32_t mask, bool sync);
    void CopyBounds(const CTessarakObjectTemplate* tmpl);
    // The child template of this object's template with that id pair.
    CTessarakObjectTemplate* FindChildTemplate(uint16_t projectId, uint32_t templateId) const;
    // The steps of SetOwner that depend on the class: a unit leaves and joins
    // its owner's unit lists and the scene's radar lists.
    virtual void LeaveOwnerUnitLists(CPlayer* oldOwner);
    virtual void JoinOwnerCategories(CPlayer* newOwner);
    virtual void JoinOwnerUnitLists(CPlayer* newOwner);
    // A unit whose cost counts against its owner (its energy accelerator)
    // takes it off the old owner when another player takes it over; its own
    // step counts it for the new owner at the next tick.
    virtual void TakeCountedCostFrom(CPlayer* /*oldOwner*/) {}
    // Checks that id may be this object's (no other object of the scene, and
    // none read before in the same record, holds it).
    bool ClaimId(CStateArchive& ar, int32_t id);
    void Unlink();
    void ReleaseOwnParts();
};
