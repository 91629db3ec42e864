#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
#include <algorithm>
#include <cstring>
#include <vector>

#include "core/Math.h"
#include "world/GameScene.h"
#include "world/SceneList.h"
#include "world/UnitTemplate.h"
#include "world/World.h"

CUnitTemplate::CUnitTemplate(CGameScene* scene, CE3DFrame* parent, uint8_t topLevel, CProject* project)
    : CGridMemberTemplate(scene, parent, topLevel, project) {
    m_classMask |= kClassUnit;
    // A template on the scene's list (a top-level one) is a unit template of
    // the scene from the start.
    if (m_onTemplateList) CUnitTemplate::SetOnSceneList(true);
}

CUnitTemplate::~CUnitTemplate() {
    CUnitTemplate::SetOnSceneList(false);
    ClearBuildList();
    // Builders that list this template forget it.
    for (CUnitTemplate* t = m_gameScene->m_unitTemplates; t && m_listedBy > 0; t = t->m_unitNext) {
        for (SUnitBuildEntry* e = t->m_buildList; e;) {
            SUnitBuildEntry* next = e->m_next;
            if (e->m_template == this) t->RemoveBuildEntry(e);
            e = next;
        }
    }
    FreeSounds();
}

void CUnitTemplate::SetOnSceneList(bool on) {
    CGridMemberTemplate::SetOnSceneList(on);
    if (on == (m_onUnitList != 0)) return;
    CGameScene* scene = m_gameScene;
    constexpr auto next = &CUnitTemplate::m_unitNext;
    constexpr auto prev = &CUnitTemplate::m_unitPrev;
    if (on)
        SceneList_PushFront<next, prev>(scene->m_unitTemplates, &scene->m_unitTemplateCount, this);
    else
        SceneList_Unlink<next, prev>(scene->m_unitTemplates, &scene->m_unitTemplateCount, this);
    m_onUnitList = on ? 1 : 0;
}

// ---------------------------------------------------------------------------
// Build lists

SUnitBuildEntry* CUnitTemplate::AddBuildEntry(CUnitTemplate* buildable) {
    SUnitBuildEntry* e = new SUnitBuildEntry;
    e->m_template = buildable;
    e->m_owner = this;
    if (buildable) ++buildable->m_listedBy;
    e->m_next = m_buildList;
    if (m_buildList) m_buildList->m_prev = e;
    m_buildList = e;
    ++m_buildCount;
    return e;
}

void CUnitTemplate::RemoveBuildEntry(SUnitBuildEntry* e) {
    if (!e || e->m_owner != this) return;
    if (e->m_prev)
        e->m_prev->m_next = e->m_next;
    else
        m_buildList = e->m_next;
    if (e->m_next) e->m_next->m_prev = e->m_prev;
    --m_buildCount;
    if (e->m_template) --e->m_template->m_listedBy;
    delete e;
}

void CUnitTemplate::ClearBuildList() {
    while (m_buildList) RemoveBuildEntry(m_buildList);
}

int LoadUnitsByBuildPriority(const SUnitBuildEntry* a, const SUnitBuildEntry* b) {
    const int32_t pa = a->m_template ? a->m_template->m_buildListPriority : 0;
    const int32_t pb = b->m_template ? b->m_template->m_buildListPriority : 0;
    return pa < pb ? -1 : pa > pb ? 1 : 0;
}

void CUnitTemplate::SortBuildList() {
    std::vector<SUnitBuildEntry*> entries;
    for (SUnitBuildEntry* e = m_buildList; e; e = e->m_next) entries.push_back(e);
    std::stable_sort(entries.begin(), entries.end(), [](const SUnitBuildEntry* a, const SUnitBuildEntry* b) {
        return LoadUnitsByBuildPriority(a, b) < 0;
    });
    SUnitBuildEntry* prev = nullptr;
    m_buildList = entries.empty() ? nullptr : entries[0];
    for (SUnitBuildEntry* e : entries) {
        e->m_prev = prev;
        if (prev) prev->m_next = e;
        prev = e;
    }
    if (prev) prev->m_next = nullptr;
}

bool CUnitTemplate::CanBuild(const CUnitTemplate* buildable) const {
    for (const SUnitBuildEntry* e = m_buildList; e; e = e->m_next)
        if (e->m_template == buildable) return true;
    return false;
}

const SSoundSet* CUnitTemplate::WeaponFireSound(int32_t weapon) const {
    for (const SWeaponFireSound* w : m_weaponFireSounds)
        if (w->m_weapon == weapon) return &w->m_set;
    return nullptr;
}

void CUnitTemplate::ApplySizeDefaults() {
    if (!m_footprintRadiusGiven) m_footprintRadius = m_collisionRadius;
}

// ---------------------------------------------------------------------------
// Keys

namespace {

// A unit template of that name (without regard to case), or null.
CUnitTemplate* FindUnitTemplate(CGameScene* scene, const char* name) {
    CTessarakObjectTemplate* t = scene->FindTemplate(name);
    return t && (t->m_classMask & kClassUnit) ? static_cast<CUnitTemplate*>(t) : nullptr;
}

}  // namespace

void CUnitTemplate::LoadProperties() {
    CGridMemberTemplate::LoadProperties();
    CPropertyList& cfg = m_config;
    CProperty* p;
    char text[256];

    p = cfg.Find("CanHarvestType");
    m_harvestType = p ? p->GetInt() : 0;
    m_reloadBar = cfg.Find("HasReloadBar") != nullptr;
    p = cfg.Find("HarvestSpeed");
    m_harvestSpeed = p ? p->GetFloat() : 0.0f;
    p = cfg.Find("MaxResourcesHeld");
    m_maxResourcesHeld = p ? p->GetFloat() : 0.0f;
    m_childUnit = nullptr;
    if ((p = cfg.Find("AddChildUnit"))) {
        p->GetString(text, 256);
        m_childUnit = m_gameScene->FindTemplate(text);
    }
    static const char* const kChildKeys[2] = {"ChildUnitOffsetX", "ChildUnitOffsetZ"};
    static const char* const kDockKeys[2] = {"DockPositionX", "DockPositionZ"};
    for (int i = 0; i < 2; ++i) {
        p = cfg.Find(kChildKeys[i]);
        m_childUnitOffset[i] = p ? p->GetFloat() : 0.0f;
        p = cfg.Find(kDockKeys[i]);
        m_dockPosition[i] = p ? p->GetFloat() : 0.0f;
    }
    p = cfg.Find("DockingAngle");
    m_dockingAngle = p ? p->GetFloat() : 0.0f;
    p = cfg.Find("OnlySinglePlayerBuild");
    m_singlePlayerBuild = p && p->GetInt() != 0;
    p = cfg.Find("BuildListPriority");
    m_buildListPriority = p ? p->GetInt() : 0;

    p = cfg.Find("HasBuildCaps");
    const bool buildCaps = p && p->GetInt() != 0;
    m_canBuild = buildCaps;
    m_buildPowerAdd = 0.0f;
    m_buildMethod = kBuildNone;
    if (buildCaps) {
        // A builder needs its power and a method it knows, or it cannot build.
        if ((p = cfg.Find("BuildPowerAdd")))
            m_buildPowerAdd = p->GetFloat();
        else
            m_canBuild = 0;
        text[0] = 0;
        if ((p = cfg.Find("BuildMethod"))) p->GetString(text, 256);
        if (strcasecmp(text, "Internal") == 0)
            m_buildMethod = kBuildInternal;
        else if (strcasecmp(text, "External") == 0)
            m_buildMethod = kBuildExternal;
        else
            m_canBuild = 0;
    }

    p = cfg.Find("HasRadarCaps");
    m_hasRadar = p && p->GetInt() != 0;
    m_radarRange = 0.0f;
    if (m_hasRadar) {
        if ((p = cfg.Find("RadarRange")))
            m_radarRange = p->GetFloat();
        else
            m_hasRadar = 0;
    }
    p = cfg.Find("GivesEnergy");
    m_givesEnergy = p ? p->GetFloat() : 0.0f;
    if (m_givesEnergy < 0.0f) m_givesEnergy = 0.0f;
    if ((p = cfg.Find("GiveEnergy"))) m_givesEnergy = p->GetFloat();
    p = cfg.Find("TakesEnergy");
    m_takesEnergy = p ? p->GetFloat() : 0.0f;
    if (m_takesEnergy < 0.0f) m_takesEnergy = 0.0f;
    if ((p = cfg.Find("TakeEnergy"))) m_takesEnergy = p->GetFloat();
    if ((p = cfg.Find("HasSpotCaps"))) {
        m_hasSpot = 1;
        m_spotValue = p->GetFloat();
    } else {
        m_hasSpot = 0;
        m_spotValue = 0.0f;
    }
    p = cfg.Find("HasRepairCaps");
    m_repairCaps = p ? p->GetInt() : 0;
    p = cfg.Find("PowerTransformValue");
    m_powerTransform = p ? p->GetFloat() : 0.0f;
    p = cfg.Find("HasWarpCaps");
    m_canWarp = p && p->GetInt() != 0;
    p = cfg.Find("WarpMaxRange");
    m_warpMaxRange = p ? p->GetFloat() : 0.0f;
    p = cfg.Find("HasAntiWarpCaps");
    m_antiWarp = p && p->GetInt() != 0;
    p = cfg.Find("HasWarpNukeCaps");
    m_warpNuke = p && p->GetInt() != 0;
    p = cfg.Find("Speed");
    m_speed = p ? p->GetFloat() : 0.0f;
    p = cfg.Find("Storage");
    m_storage = p ? p->GetFloat() : 0.0f;
    p = cfg.Find("GivesResources");
    m_givesResources = p ? p->GetFloat() : 0.0f;
    if ((p = cfg.Find("GiveResources"))) m_givesResources = p->GetFloat();
    p = cfg.Find("TakesResources");
    m_takesResources = p ? p->GetFloat() : 0.0f;
    if ((p = cfg.Find("TakeResources"))) m_takesResources = p->GetFloat();
    p = cfg.Find("HasTowCaps");
    m_canTow = p && p->GetInt() != 0;
    p = cfg.Find("TowMaxCableLength");
    m_maxCableLength = p ? p->GetFloat() : 0.0f;
    p = cfg.Find("VisibleRange");
    m_visibleRange = p ? p->GetFloat() : 0.0f;
    m_visibleRangeSq = m_visibleRange * m_visibleRange;
    m_lockRange = m_visibleRange;
    m_lockRangeSq = m_visibleRangeSq;
    p = cfg.Find("EnergyAccelerator");
    m_energyAccelerator = p ? p->GetFloat() : 0.0f;
    p = cfg.Find("Friendly");
    m_friendly = p && p->GetInt() != 0;
    // The anti-radar value takes the radar range's place.
    if ((p = cfg.Find("AntiRadar"))) {
        m_antiRadar = 1;
        m_radarRange = p->GetFloat();
    } else {
        m_antiRadar = 0;
    }
    if ((p = cfg.Find("LaserFence"))) {
        m_laserFence = 1;
        m_laserFenceRange = p->GetFloat();
    } else {
        m_laserFence = 0;
        m_laserFenceRange = 0.0f;
    }
    p = cfg.Find("LaserFenceDamage");
    m_laserFenceDamage = p ? p->GetFloat() : 1.0f;
    p = cfg.Find("DisableCUnitUpdate");
    m_updateDisabled = p && p->GetInt() != 0;
    m_phasing = cfg.Find("HasPhasingCaps") != nullptr;
    p = cfg.Find("DontScanForAttack");
    m_noAttackScan = p && p->GetInt() != 0;
    p = cfg.Find("HasKamikazeCaps");
    m_kamikaze = p && p->GetInt() != 0;
    p = cfg.Find("SpaceAttack");
    m_spaceAttack = p && p->GetInt() != 0;
    p = cfg.Find("NumWeapons");
    m_weaponCount = p ? p->GetInt() : 0;
    m_hasWeapons = m_weaponCount > 0;

    // The keys beyond the classic set, each defaulting to what keeps a unit
    // without it working.
    p = cfg.Find("FireRange");
    m_fireRange = p ? p->GetFloat() : m_visibleRange;
    p = cfg.Find("ApproachDistance");
    m_approachDistance = p ? p->GetFloat() : m_fireRange;
    static const char* const kExitKeys[2] = {"ExitOffsetX", "ExitOffsetZ"};
    for (int i = 0; i < 2; ++i) {
        p = cfg.Find(kExitKeys[i]);
        m_exitOffset[i] = p ? p->GetFloat() : 0.0f;
    }
    if ((p = cfg.Find("FootprintRadius"))) {
        m_footprintRadius = p->GetFloat();
        m_footprintRadiusGiven = 1;
    } else {
        m_footprintRadiusGiven = 0;
        ApplySizeDefaults();
    }
    p = cfg.Find("Flying");
    m_flying = p && p->GetInt() != 0;
    p = cfg.Find("GroundFire");
    m_groundFire = p ? p->GetInt() != 0 : 1;
    p = cfg.Find("DirectFire");
    m_directFire = p && p->GetInt() != 0;
    p = cfg.Find("ExplodeOnAttack");
    m_explodeOnAttack = p && p->GetInt() != 0;
    p = cfg.Find("NoTarget");
    m_noTarget = p ? p->GetInt() != 0 : m_friendly;
    m_harvestDepot = nullptr;
    if ((p = cfg.Find("HarvestDepot"))) {
        p->GetString(text, 256);
        m_harvestDepot = m_gameScene->FindTemplate(text);
    }
    p = cfg.Find("GuardDistance");
    m_guardDistance = p ? p->GetFloat() : 10.0f;
    p = cfg.Find("TowDistance");
    m_towDistance = p ? p->GetFloat() : 5.0f;
    p = cfg.Find("BaseHeading");
    m_baseHeading = p ? DegToRad(p->GetFloat()) : 0.0f;

    ScanBuildList();
    FreeSounds();
    if (World() && !World()->Sound().SoundOff()) LoadUnitSounds();
}

void CUnitTemplate::ScanBuildList() {
    // The section's entries in their stored order: the loaded list holds
    // them newest first, so walk it from its end.
    CProperty* last = m_config.GetFirst();
    while (last && last->GetNext()) last = last->GetNext();
    CProperty* hasCaps = m_config.Find("HasBuildCaps");
    const bool builder = hasCaps && hasCaps->GetInt() != 0;
    CWorld* world = World();
    char value[256];
    for (CProperty* p = last; p; p = p->GetPrev()) {
        const char* key = p->GetName();
        const bool canBuild = strcasecmp(key, "CanBuildUnit") == 0;
        const bool constructedBy = strcasecmp(key, "ConstructedBy") == 0;
        if (!canBuild && !constructedBy) continue;
        p->GetString(value, 256);
        CUnitTemplate* other = FindUnitTemplate(m_gameScene, value);
        if (canBuild) {
            if (!builder) continue;
            if (other) {
                if (!CanBuild(other)) AddBuildEntry(other);
            } else if (world)
                world->Console().Printf("Couldn't find buildtemplate '%s' in constructor '%s'", value,
                                        m_name.GetText());
        } else if (other) {
            // A unit names its builder: the builder's list gains it, whatever
            // this unit can build itself.
            if (!other->CanBuild(this)) other->AddBuildEntry(this);
        } else if (world) {
            world->Console().Printf("Couldn't find template '%s' in unit to be constructed '%s'", value,
                                    m_name.GetText());
        }
    }
}

void CUnitTemplate::LoadUnitSounds() {
    // Read in this order: clicked, attack, active, deactive, move, cancel, damage.
    LoadSoundSet(m_sounds[kClicked], "Clicked");
    LoadSoundSet(m_sounds[kAttack], "Attack");
    LoadSoundSet(m_sounds[kActive], "Active");
    LoadSoundSet(m_sounds[kDeactive], "Deactive");
    LoadSoundSet(m_sounds[kMove], "Move");
    LoadSoundSet(m_sounds[kCancel], "Cancel");
    LoadSoundSet(m_sounds[kDamage], "Damage");
    CStrBuf base;
    for (int32_t i = 1; i <= m_weaponCount && i <= 64; ++i) {
        SWeaponFireSound* w = new SWeaponFireSound;
        w->m_weapon = i;
        base.Format("%s_weapon%d_fire", m_name.GetText(), i);
        LoadNumberedSounds(w->m_set, base.GetText());
        m_weaponFireSounds.insert(m_weaponFireSounds.begin(), w);
    }
    CWorld* world = World();
    if (!world) return;
    static const char* const kKeys[2] = {"ReadySound", "CompletionSound"};
    SSoundSet* sets[2] = {&m_readySound, &m_completionSound};
    char name[256];
    for (int i = 0; i < 2; ++i)
        if (CProperty* p = m_config.Find(kKeys[i])) {
            p->GetString(name, 256);
            if (SWorldSample* s = world->Sound().LoadSample(world->Files().GetPath("Units\\Sounds", name)))
                sets[i]->m_samples.push_back(s);
        }
}

void CUnitTemplate::FreeSounds() {
    CWorld* world = World();
    for (SSoundSet& s : m_sounds) s.Free(world);
    for (SWeaponFireSound* w : m_weaponFireSounds) {
        w->m_set.Free(world);
        delete w;
    }
    m_weaponFireSounds.clear();
    m_readySound.Free(world);
    m_completionSound.Free(world);
}
