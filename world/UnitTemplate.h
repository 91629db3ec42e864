// The unit template: what one kind of unit is and can do. Its keys (the
// configuration section of its template node) give the unit its capabilities
// (harvesting, building, radar, warp, towing, weapons), its build list,
// docking geometry, energy and resource values, ranges and sound sets. Units
// copy what they need from it when they are made and read the rest from it
// while they run. content/README.md lists every key with its default.
//
// Keys beyond the classic set, each with a default that keeps a unit without
// it working: FireRange (the visible range), ApproachDistance (the fire
// range), ExitOffsetX/Z (0), FootprintRadius (the template's clearance
// radius), Flying (0), GroundFire (1), DirectFire (0), ExplodeOnAttack (0),
// HarvestDepot (none), GuardDistance (10), TowDistance (5), BaseHeading
// (degrees, 0), NoTarget (the Friendly value), ReadySound and
// CompletionSound (none).
#pragma once

#include <cstdint>
#include <vector>

#include "world/GridMember.h"

class CUnitTemplate;

// One entry of a builder's build list: a template the builder can build.
struct SUnitBuildEntry {
    CUnitTemplate* m_template = nullptr;
    SUnitBuildEntry* m_next = nullptr;
    SUnitBuildEntry* m_prev = nullptr;
    CUnitTemplate* m_owner = nullptr;  // the builder
};

// The sounds a unit plays when its weapon number m_weapon (1-based) fires.
struct SWeaponFireSound {
    SSoundSet m_set;
    int32_t m_weapon = 0;
};

class CUnitTemplate : public CGridMemberTemplate {
public:
    enum : int32_t { kBuildNone = 0, kBuildInternal = 1, kBuildExternal = 2 };
    // The seven sound events of a unit.
    enum ESound : int { kClicked, kAttack, kMove, kCancel, kDamage, kDeactive, kActive, kSoundCount };

    // Every field 0; a top-level template joins the scene's list of unit
    // templates.
    CUnitTemplate(CGameScene* scene, CE3DFrame* parent, uint8_t topLevel, CProject* project);
    // Frees the sounds and every build entry, its own and those that name it
    // in other templates' lists.
    ~CUnitTemplate() override;

    // Message 14 moves it on or off the scene's lists of templates and of
    // unit templates.
    void SetOnSceneList(bool on) override;
    // The grid member's keys, then the unit's (in the order the game reads
    // them), the build list from CanBuildUnit and ConstructedBy entries, and
    // the sounds when the sound engine runs.
    void LoadProperties() override;

    // A build entry for the template, at the head of this builder's list.
    SUnitBuildEntry* AddBuildEntry(CUnitTemplate* buildable);
    void RemoveBuildEntry(SUnitBuildEntry* entry);
    void ClearBuildList();
    // Orders the build list by the entries' BuildListPriority, ascending;
    // entries of equal priority keep their order.
    void SortBuildList();
    bool CanBuild(const CUnitTemplate* buildable) const;
    // The fire sounds of weapon number weapon (1-based), or null.
    const SSoundSet* WeaponFireSound(int32_t weapon) const;
    // The defaults that depend on the template's sizes (FootprintRadius),
    // once the content loader derived them.
    void ApplySizeDefaults();

    // ---- movement and harvesting
    float m_speed = 0.0f;
    int32_t m_harvestType = 0;
    float m_harvestSpeed = 0.0f;
    float m_maxResourcesHeld = 0.0f;
    float m_storage = 0.0f;
    // ---- child unit and docking
    CTessarakObjectTemplate* m_childUnit = nullptr;
    float m_childUnitOffset[2] = {0.0f, 0.0f};  // x, z
    float m_dockPosition[2] = {0.0f, 0.0f};     // x, z
    float m_dockingAngle = 0.0f;
    // ---- building
    uint8_t m_canBuild = 0;
    int32_t m_buildMethod = kBuildNone;
    float m_buildPowerAdd = 0.0f;
    int32_t m_buildListPriority = 0;
    uint8_t m_singlePlayerBuild = 0;
    SUnitBuildEntry* m_buildList = nullptr;
    int32_t m_buildCount = 0;
    int32_t m_listedBy = 0;  // entries of builders' lists that name this template
    // ---- radar
    uint8_t m_hasRadar = 0;
    float m_radarRange = 0.0f;
    uint8_t m_antiRadar = 0;
    // ---- energy and resources
    float m_givesEnergy = 0.0f;
    float m_takesEnergy = 0.0f;
    float m_powerTransform = 0.0f;
    float m_energyAccelerator = 0.0f;
    uint8_t m_hasSpot = 0;
    float m_spotValue = 0.0f;
    int32_t m_repairCaps = 0;
    uint8_t m_canWarp = 0;
    float m_warpMaxRange = 0.0f;
    uint8_t m_antiWarp = 0;
    uint8_t m_warpNuke = 0;
    float m_givesResources = 0.0f;
    float m_takesResources = 0.0f;
    uint8_t m_canTow = 0;
    float m_maxCableLength = 0.0f;
    // ---- sight; the lock range is always the visible range
    float m_visibleRange = 0.0f;
    float m_visibleRangeSq = 0.0f;
    float m_lockRange = 0.0f;
    float m_lockRangeSq = 0.0f;
    // ---- behaviour
    uint8_t m_friendly = 0;
    uint8_t m_laserFence = 0;
    float m_laserFenceRange = 0.0f;
    float m_laserFenceDamage = 0.0f;
    uint8_t m_updateDisabled = 0;
    uint8_t m_phasing = 0;
    uint8_t m_noAttackScan = 0;
    uint8_t m_kamikaze = 0;
    uint8_t m_spaceAttack = 0;
    uint8_t m_reloadBar = 0;
    int32_t m_weaponCount = 0;
    uint8_t m_hasWeapons = 0;
    // ---- the keys beyond the classic set (see the top of this file)
    float m_fireRange = 0.0f;
    float m_approachDistance = 0.0f;
    float m_exitOffset[2] = {0.0f, 0.0f};  // x, z
    float m_footprintRadius = 0.0f;
    uint8_t m_footprintRadiusGiven = 0;
    uint8_t m_flying = 0;
    uint8_t m_groundFire = 0;
    uint8_t m_directFire = 0;
    uint8_t m_explodeOnAttack = 0;
    uint8_t m_noTarget = 0;
    // The harvester whose loads this unit takes (a depot), or null.
    CTessarakObjectTemplate* m_harvestDepot = nullptr;
    float m_guardDistance = 0.0f;
    float m_towDistance = 0.0f;
    float m_baseHeading = 0.0f;  // radians
    SSoundSet m_readySound, m_completionSound;
    // ---- sounds
    SSoundSet m_sounds[kSoundCount];
    std::vector<SWeaponFireSound*> m_weaponFireSounds;  // the last weapon's first
    // ---- the scene's list of unit templates
    CUnitTemplate* m_unitNext = nullptr;
    CUnitTemplate* m_unitPrev = nullptr;
    uint8_t m_onUnitList = 0;
    // A word of the grid member template that a unit template sets to 10.
    int32_t m_gridWord = 10;

private:
    void LoadUnitSounds();
    void FreeSounds();
    void ScanBuildList();
};

// Build lists by priority: the comparison of two entries' templates.
int LoadUnitsByBuildPriority(const SUnitBuildEntry* a, const SUnitBuildEntry* b);
