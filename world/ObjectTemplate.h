// Object templates: what one kind of game object is.
//
// A template is a node of the content project's object tree (its look) with
// a class and the properties read from its configuration section. Every game
// object points at the template it was made from; the template's child
// templates become the object's child objects. The class is a mask: bit 31
// marks a template, bit 0 a game object, and each derived class adds its
// bit (grid member 2, unit 4, weapon 0x10); the object factory picks the
// class by it.
//
// A top-level template stands on the game scene's template list. It keeps
// every object made from it in its instance group, and one group per player
// of that player's objects of it.
#pragma once

#include <cstdint>
#include <vector>

#include "world/ObjectLink.h"
#include "world/UnitVisual.h"

class CPlayer;
class CRace;
class CExplosionType;
class CE3DNode;
class CWorld;
struct SWorldSample;

enum : uint32_t {
    kClassObject = 0x01,
    kClassGridMember = 0x02,
    kClassUnit = 0x04,
    kClassWeapon = 0x10,
    kClassTemplate = 0x80000000u,
    // The four classes of objects and templates the factory knows.
    kMaskObject = kClassObject,
    kMaskGridMember = kClassObject | kClassGridMember,
    kMaskUnit = kClassObject | kClassGridMember | kClassUnit,
    kMaskWeapon = kClassObject | kClassWeapon,
};

// True for the class masks of the four object classes (without bit 31).
bool ClassMask_IsKnown(uint32_t mask);

// The objects of one template owned by one player.
struct STemplatePlayerData {
    CPlayer* m_player;
    CObjectGroup m_group;
};

// The samples of one sound event of a template (null entries play nothing),
// loaded through the world's sound role.
struct SSoundSet {
    std::vector<SWorldSample*> m_samples;
    // Hands every sample back to the world's sound role (none: they are
    // only forgotten).
    void Free(CWorld* world);
};

class CTessarakObjectTemplate : public CUnitVisual {
public:
    enum : int32_t { kDestructionNone = 0, kDestructionAuto = 10, kDestructionExplosion = 64 };
    // How the node's morph animation steps (bits of the mesh's flag byte A):
    // whole texture, colour or vertex sets instead of blends.
    enum : uint8_t { kMorphVertex = 0x10, kMorphColor = 0x20, kMorphTexture = 0x40 };

    // A template node under parent (the project's root frame for a top-level
    // one, which joins the scene's template list), with one player record
    // per player of the game.
    CTessarakObjectTemplate(CGameScene* scene, CE3DFrame* parent, uint8_t topLevel, CProject* project);
    ~CTessarakObjectTemplate() override;

    // Message 14 puts the template on its scene list (data non-null) or takes
    // it off; every other message goes to the node.
    void Message(int code, void* data) override;
    // Reads the template's keys from its configuration section; derived
    // templates read theirs after the base keys. Child templates read theirs
    // in the middle (after the sound keys).
    virtual void LoadProperties();
    // On or off the scene's list of templates of this class.
    virtual void SetOnSceneList(bool on);

    void AddPlayer(CPlayer* player);
    void RemovePlayer(CPlayer* player);
    // The group of the player's objects of this template, or null.
    CObjectGroup* GetPlayerData(const CPlayer* player);

    // The child templates (node children with class bit 0), in child order.
    CTessarakObjectTemplate* NextChildTemplate(CTessarakObjectTemplate* child) const;

    // The name a player reads (tooltips, the selection's slots, build
    // icons, event lines): its DisplayName key, else its name.
    const char* DisplayName() const {
        return m_displayName.IsEmpty() ? m_name.GetText() : m_displayName.GetText();
    }

    CObjectGroup m_instances;
    std::vector<STemplatePlayerData*> m_playerData;
    CStrBuf m_displayName;
    uint8_t m_onTemplateList = 0;
    CTessarakObjectTemplate* m_listNext = nullptr;  // the scene's template list
    CTessarakObjectTemplate* m_listPrev = nullptr;
    CRace* m_race = nullptr;
    int32_t m_resourceType = 0;
    float m_resourceAmount = 0.0f;
    int32_t m_resourceLayers = 0;
    uint8_t m_hasResource = 0;
    // Built even while the map restricts building (m_NoBuildRestriction; the
    // scene's m_buildRestrictionMode).
    uint8_t m_noBuildRestriction = 0;
    float m_collisionDamage = 0.0f;
    float m_power = 0.0f;
    float m_autoDestructionRandomLimit = 0.0f;  // seconds
    float m_autoDestructionMin = 0.0f;          // seconds
    uint8_t m_homing = 0;
    float m_homingStrength = 1.0f;
    int32_t m_destructionMethod = kDestructionNone;
    CExplosionType* m_explosion = nullptr;
    uint8_t m_disableOnDestruction = 0;
    uint8_t m_disableAnimationOnDestruction = 0;
    float m_debrisChance = 0.4f;
    uint8_t m_internalEmitter = 0;
    CE3DNode* m_emitterTemplate = nullptr;
    float m_spreadingSpeed = -1.0f;
    float m_explosionMass = 0.0f;
    uint8_t m_clippingOff = 0;
    uint8_t m_onScreen = 0;
    SSoundSet m_soundCreated, m_soundLife, m_soundDeath;
    uint8_t m_animateOnFire = 0;
    uint8_t m_animateAlways = 0;
    uint8_t m_unaffectedByPhysics = 0;
    uint8_t m_autoRotate = 0;
    uint8_t m_autoScale = 0;
    uint8_t m_updateAlways = 0;
    float m_initialVelocity[3] = {0.0f, 0.0f, 0.0f};
    float m_autoRotation[3] = {0.0f, 0.0f, 0.0f};  // heading, pitch, bank per second
    float m_autoScaleSpeed[3] = {0.0f, 0.0f, 0.0f};
    float m_moveWhenParentRepairs = 0.0f;
    uint8_t m_randomRotation = 0;
    uint8_t m_hasForceRadius = 0;
    float m_forceRadius = 0.0f;
    float m_flatRadiusScaling = 1.0f;
    uint8_t m_noTolerance = 0;
    float m_density = 1.0f;
    float m_damagePower = 0.0f;
    float m_damageRadius = 0.0f;
    int32_t m_animationTime = -1;      // game-time units; -1: the shape's own
    int32_t m_animationStartTime = 0;  // game-time units
    // Sizes that the content loader derives from the template's shape: the
    // collision radius and half the side of the square of grid cells that a
    // grid member occupies.
    float m_collisionRadius = 1.0f;
    uint8_t m_footprintHalfSize = 1;
    // The rest of them (CGameScene::DeriveTemplateSizes): half the x and z
    // sides of the box around the shapes, the clearance radius, and the mass
    // (the box's volume times the density); radii and mass never below 0.01.
    float m_footprintHalf[2] = {0.5f, 0.5f};
    float m_clearanceRadius = 1.0f;
    float m_mass = 1.0f;

protected:
    // The three sound events, then (for children) their properties.
    void LoadSoundSets();
    void LoadSoundSet(SSoundSet& set, const char* event);
    void LoadNumberedSounds(SSoundSet& set, const char* baseName);
};
