#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
//
// Loading the unit file: the packed project with every object template, the
// effect scripts around it, the races and the effect system that the
// project's "!GlobalSettings" node describes, then every template's keys, the
// builders' lists and the players' records; and the templates' size values.
#include <strings.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/Math.h"
#include "e3d/Engine.h"
#include "e3d/Screen.h"
#include "world/ExplosionManager.h"
#include "world/GameScene.h"
#include "world/ObjectTemplate.h"
#include "world/PathGrid.h"
#include "world/Player.h"
#include "world/Project.h"
#include "world/SceneList.h"
#include "world/UnitTemplate.h"
#include "world/World.h"

int LoadUnitsTemplateByName(const CTessarakObjectTemplate* a, const CTessarakObjectTemplate* b) {
    return strcasecmp(a ? a->m_name.GetText() : "", b ? b->m_name.GetText() : "");
}

namespace {

enum : int { kSysTextWatching = 297 };

void RunEffectScript(CWorld& world, const char* name) {
    CStrBuf file;
    file.Format("Special Effects\\%s", name);
    world.Console().RunScriptFile(world.Files().GetPath("Units", file.GetText()));
}

// A text value of at most 255 characters, or null when the key is missing.
const char* Text(CUnitVisual* node, const char* key, char (&buf)[512], int maximum = 256) {
    CProperty* p = node->m_config.Find(key);
    if (!p) return nullptr;
    p->GetString(buf, maximum);
    return buf;
}

CTessarakObjectTemplate* TemplateKey(CGameScene* scene, CUnitVisual* node, const char* key,
                                     CTessarakObjectTemplate* old) {
    char buf[512];
    const char* name = Text(node, key, buf);
    return name ? scene->FindTemplate(name) : old;
}

CE3DMaterial* MaterialKey(CWorld& world, CUnitVisual* node, const char* key, CE3DMaterial* old) {
    char buf[512];
    const char* name = Text(node, key, buf);
    if (!name) return old;
    CProjectList* projects = world.Projects();
    CE3DScreen* screen = projects ? projects->m_screen : nullptr;
    return screen ? screen->FindMaterialByName(name) : nullptr;
}

CExplosionType* ExplosionKey(CWorld& world, CUnitVisual* node, const char* key, CExplosionType* old) {
    char buf[512];
    const char* name = Text(node, key, buf);
    if (!name) return old;
    return world.Explosions().FindType(name);
}

// A sample from a file below "Units\Sounds" (null when sound is off or the
// file does not load).
SWorldSample* SoundFile(CWorld& world, const char* name) {
    if (world.Sound().SoundOff() || !name || !name[0]) return nullptr;
    return world.Sound().LoadSample(world.Files().GetPath("Units\\Sounds", name));
}

void ReadRace(CGameScene* scene, CWorld& world, CRace* race, CUnitVisual* node) {
    race->m_node = node;
    char buf[512];
    CProperty* p;
    // StartUnit, once or more: the first template found (in the order
    // written) is the start unit, the others come with it.
    std::vector<CTessarakObjectTemplate*> start;
    CProperty* last = node->m_config.GetFirst();
    while (last && last->GetNext()) last = last->GetNext();
    for (p = last; p; p = p->GetPrev())
        if (strcasecmp(p->GetName(), "StartUnit") == 0) {
            p->GetString(buf, 256);
            if (CTessarakObjectTemplate* t = scene->FindTemplate(buf)) start.push_back(t);
        }
    if (!start.empty()) {
        race->m_startUnit = start[0];
        race->m_moreStartUnits.assign(start.begin() + 1, start.end());
    }
    if ((p = node->m_config.Find("Hidden"))) race->m_hidden = p->GetInt() != 0;
    if (const char* v = Text(node, "DebrisVisualName", buf)) race->m_debrisVisualName = v;
    race->m_debrisMaterial = MaterialKey(world, node, "DebrisMaterial", race->m_debrisMaterial);
    race->m_debrisThrowObject = TemplateKey(scene, node, "DebrisThrowObject", race->m_debrisThrowObject);
    race->m_antiWarpObject = TemplateKey(scene, node, "AntiWarpObject", race->m_antiWarpObject);
    race->m_cableObject = TemplateKey(scene, node, "CableObject", race->m_cableObject);
    race->m_laserFenceObject = TemplateKey(scene, node, "LaserFenceObject", race->m_laserFenceObject);
    if (const char* v = Text(node, "BuildEffect", buf)) {
        static const char* const kEffects[3] = {"WireLightning", "IntestineBlob", "IceScale"};
        for (int i = 0; i < 3; ++i)
            if (std::strcmp(v, kEffects[i]) == 0) race->m_buildEffect = i + 1;
    }
    static const char* const kSizes[5] = {"MiniExplosion", "SmallExplosion", "MediumExplosion",
                                          "BigExplosion", "HugeExplosion"};
    for (int i = 0; i < 5; ++i)
        race->m_explosions[i] = ExplosionKey(world, node, kSizes[i], race->m_explosions[i]);
    race->m_constructionExplosion =
        ExplosionKey(world, node, "ContructionExplosionType", race->m_constructionExplosion);
    CStrBuf key;
    if ((p = node->m_config.Find("AutoExplosionNumObjects"))) {
        // Slots beyond what any race could use are damage: at most 256.
        const int32_t n = std::min<int32_t>(std::max<int32_t>(p->GetInt(), 0), 256);
        race->m_autoExplosionObjects.assign(size_t(n), nullptr);
        for (int32_t i = 1; i <= n; ++i) {
            key.Format("AutoExplosionObject%d", i);
            race->m_autoExplosionObjects[size_t(i - 1)] = TemplateKey(scene, node, key.GetText(), nullptr);
        }
    }
    if ((p = node->m_config.Find("AutoExplosionNumSounds"))) {
        const int32_t n = std::min<int32_t>(std::max<int32_t>(p->GetInt(), 0), 256);
        for (SWorldSample* s : race->m_autoExplosionSounds)
            if (s) world.Sound().FreeSample(s);
        race->m_autoExplosionSounds.assign(size_t(n), nullptr);
        for (int32_t i = 1; i <= n; ++i) {
            key.Format("AutoExplosionSound%d", i);
            if (const char* v = Text(node, key.GetText(), buf))
                race->m_autoExplosionSounds[size_t(i - 1)] = SoundFile(world, v);
        }
    }
    // The announcer: each event's file, when the sound engine runs.
    if (CUnitVisual* sounds = node->FindChildByNameNoCase("!GUISounds"))
        for (int i = 0; i < CRace::kAnnouncerCount; ++i)
            if (const char* v = Text(sounds, CRace::kAnnouncerEvents[i], buf, 512))
                if (SWorldSample* s = SoundFile(world, v)) {
                    if (race->m_announcer[i]) world.Sound().FreeSample(race->m_announcer[i]);
                    race->m_announcer[i] = s;
                }
}

void ReadRaces(CGameScene* scene, CWorld& world, CPlayerList* players, CUnitVisual* settings) {
    CUnitVisual* races = settings->FindChildByNameNoCase("!Races");
    if (!races || !players) return;
    for (CUnitVisual* node = races->NextChildNode(nullptr); node; node = races->NextChildNode(node)) {
        if (!(node->m_classMask & kClassObject)) continue;
        const char* name = node->m_name.GetText();
        CRace* race;
        if (strcasecmp(name, "!Watching") == 0) {
            race = players->m_watchingRace;
            if (!race) race = players->m_watchingRace = new CRace(players, "Watching");
            race->m_watching = 1;
            const char* text = world.Console().GetSystemText(kSysTextWatching);
            if (text && text[0]) race->m_name = text;
        } else if (strcasecmp(name, "!Default") == 0) {
            race = players->m_defaultRace;
            if (!race) race = players->m_defaultRace = new CRace(players, "Default");
        } else {
            race = new CRace(players, name[0] ? name + 1 : "");
        }
        ReadRace(scene, world, race, node);
    }
}

void ReadEffectSystem(CGameScene* scene, CWorld& world, CUnitVisual* settings) {
    CUnitVisual* node = settings->FindChildByNameNoCase("!EffectSystem");
    CExplosionManager* m = &world.Explosions();
    if (!node || !m) return;
    m->m_iceScaleMaterial = MaterialKey(world, node, "IceScaleMaterial", m->m_iceScaleMaterial);
    m->m_intestineBlobObject = TemplateKey(scene, node, "IntestineBlobObject", m->m_intestineBlobObject);
    m->m_intestineObject = TemplateKey(scene, node, "IntestineObject", m->m_intestineObject);
    m->m_wireLightningMaterial =
        MaterialKey(world, node, "WireLightningMaterial", m->m_wireLightningMaterial);
    m->m_fogOfWarObject = TemplateKey(scene, node, "FogofWarObject", m->m_fogOfWarObject);
    m->m_wireLightningObject = TemplateKey(scene, node, "WireLightningObject", m->m_wireLightningObject);
    static const char* const kSounds[CExplosionManager::kWarpSoundCount] = {
        "WarpedInSuccessSound", "WarpedInFailedSound", "WarpFailedSound", "WarpSuccessSound"};
    char buf[512];
    for (int i = 0; i < CExplosionManager::kWarpSoundCount; ++i)
        if (const char* v = Text(node, kSounds[i], buf))
            if (!m->m_warpSounds[i]) m->m_warpSounds[i] = SoundFile(world, v);
}

void ProgressPush(const char* title, int steps) {
    if (E3D_GameHooks().progressPush) E3D_GameHooks().progressPush(title, steps);
}
void ProgressStep(const char* text) {
    if (E3D_GameHooks().progressStep) E3D_GameHooks().progressStep(text);
}
void ProgressSetText(const char* title, int steps) {
    if (E3D_GameHooks().progressSetText) E3D_GameHooks().progressSetText(title ? title : "", "", steps);
}
void ProgressPop() {
    if (E3D_GameHooks().progressPop) E3D_GameHooks().progressPop();
}

}  // namespace

bool CGameScene::LoadUnits(const char* name) {
    CWorld& world = m_world;
    if (!name) name = "";
    if (m_unitsLoaded && m_loadedProject.EqualsNoCase(name)) return true;
    world.Console().Print("Loading units from packed file...");
    ProgressPush(world.Console().GetSystemText(kSysTextNestedLoad), 6);
    world.Explosions().Load();
    RunEffectScript(world, "Emitters.cfg");
    RunEffectScript(world, "Explosions.cfg");

    CProjectList* projects = world.Projects();
    if (!projects || !projects->LoadProject(name)) {
        // The content project was emptied for the load: nothing is loaded now,
        // so the next call loads again whatever its name.
        m_unitsLoaded = 0;
        m_loadedProject.Clear();
        world.Console().Print("Failed to load units");
        ProgressPop();
        return false;
    }

    m_globalSettings = FindTemplate("!GlobalSettings");
    CPlayerList* players = Players();
    if (players) {
        std::vector<CRace*> old = players->m_races;
        for (CRace* r : old)
            if (r != players->m_watchingRace && r != players->m_defaultRace) delete r;
    }
    if (m_globalSettings) {
        ReadRaces(this, world, players, m_globalSettings);
        ReadEffectSystem(this, world, m_globalSettings);
    }

    world.Console().Print("Parsing custom settings (and loading sounds)");
    m_spotTemplate = FindTemplate("Game_Resource_Spot");
    ProgressSetText(world.Console().GetSystemText(kSysTextLoading3DData), m_templateCount);
    for (CTessarakObjectTemplate* t = m_templates; t; t = t->m_listNext) {
        t->LoadProperties();
        ProgressStep(t->m_name.GetText());
    }
    for (CUnitTemplate* t = m_unitTemplates; t; t = t->m_unitNext) t->SortBuildList();
    if (players) {
        for (CPlayer* p : players->m_players) AddPlayerToTemplates(p);
        players->ResolvePlayerRaces();
    }

    // The template list by name; templates of equal names keep their order.
    std::vector<CTessarakObjectTemplate*> sorted;
    for (CTessarakObjectTemplate* t = m_templates; t; t = t->m_listNext) sorted.push_back(t);
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](CTessarakObjectTemplate* a, CTessarakObjectTemplate* b) {
                         return LoadUnitsTemplateByName(a, b) < 0;
                     });
    CTessarakObjectTemplate* prev = nullptr;
    m_templates = sorted.empty() ? nullptr : sorted[0];
    for (CTessarakObjectTemplate* t : sorted) {
        t->m_listPrev = prev;
        if (prev) prev->m_listNext = t;
        prev = t;
    }
    if (prev) prev->m_listNext = nullptr;

    m_loadedProject = name;
    m_unitsLoaded = 1;
    RunEffectScript(world, "EmitterMaterials.cfg");
    RunEffectScript(world, "ExplosionsSettings.cfg");
    if (CExplosionManager* explosions = &world.Explosions()) {
        CE3DEngine* engine = world.Engine();
        explosions->m_puffTemplate = engine ? engine->FindEmitterTemplateByName("Puff") : nullptr;
        explosions->m_smokeTemplate = engine ? engine->FindEmitterTemplateByName("UnitSmoke") : nullptr;
        explosions->m_harvestTemplate =
            engine ? engine->FindEmitterTemplateByName("HarvestEmitter") : nullptr;
    }
    ProgressPop();
    return true;
}

namespace {

// The sizes of one template node and its child nodes.
void DeriveSizes(CUnitVisual* node) {
    constexpr float kLeast = 0.01f;
    if (node->m_classMask & kClassObject) {
        CTessarakObjectTemplate* t = static_cast<CTessarakObjectTemplate*>(node);
        t->QueryBounds();
        const float hx = (t->m_maxCorner[0] - t->m_minCorner[0]) * 0.5f;
        const float hy = (t->m_maxCorner[1] - t->m_minCorner[1]) * 0.5f;
        const float hz = (t->m_maxCorner[2] - t->m_minCorner[2]) * 0.5f;
        t->m_footprintHalf[0] = hx;
        t->m_footprintHalf[1] = hz;
        float radius = Math_Sqrt(hx * hx + hz * hz) * t->m_flatRadiusScaling;
        if (!(radius >= kLeast)) radius = kLeast;
        t->m_collisionRadius = radius;
        t->m_clearanceRadius = radius;
        // The footprint's half side in cells of the fine path grid (three to a
        // map unit): the square a grid member marks there, and a unit's
        // clearance on its ways.
        // A grid member that stands flat on the ground meets others on the
        // circle of its radius: its square covers that circle, so that no
        // way leads through it.
        const bool flat =
            (t->m_classMask & kClassGridMember) && static_cast<CGridMemberTemplate*>(t)->m_noYCollision;
        const float half = flat ? radius : hx > hz ? hx : hz;
        const int32_t cells = Math_RoundToInt(half * float(CPathGrid::kCellsPerUnit));
        t->m_footprintHalfSize = uint8_t(cells < 1 ? 1 : cells > 255 ? 255 : cells);
        float mass = 8.0f * hx * hy * hz * t->m_density;
        if (!(mass >= kLeast)) mass = kLeast;
        t->m_mass = mass;
        if (t->m_classMask & kClassUnit) static_cast<CUnitTemplate*>(t)->ApplySizeDefaults();
    }
    for (CUnitVisual* c = node->NextChildNode(nullptr); c; c = node->NextChildNode(c)) DeriveSizes(c);
}

}  // namespace

void CGameScene::DeriveTemplateSizes() {
    for (CTessarakObjectTemplate* t = m_templates; t; t = t->m_listNext) DeriveSizes(t);
}
