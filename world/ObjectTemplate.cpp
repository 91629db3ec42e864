#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
#include <algorithm>
#include <cstring>
#include <string>

#include "core/VFSFile.h"
#include "e3d/Engine.h"
#include "e3d/Shape.h"
#include "world/ExplosionManager.h"
#include "world/GameScene.h"
#include "world/ObjectTemplate.h"
#include "world/Player.h"
#include "world/SceneList.h"
#include "world/World.h"

bool ClassMask_IsKnown(uint32_t mask) {
    return mask == kMaskObject || mask == kMaskGridMember || mask == kMaskUnit || mask == kMaskWeapon;
}

void SSoundSet::Free(CWorld* world) {
    if (world)
        for (SWorldSample* s : m_samples)
            if (s) world->Sound().FreeSample(s);
    m_samples.clear();
}

CTessarakObjectTemplate::CTessarakObjectTemplate(CGameScene* scene, CE3DFrame* parent, uint8_t topLevel,
                                                 CProject* project)
    : CUnitVisual(scene, parent, topLevel, project) {
    m_classMask |= kClassTemplate | kClassObject;
    if (CPlayerList* players = scene->Players()) m_race = players->m_defaultRace;
    if (topLevel) CTessarakObjectTemplate::SetOnSceneList(true);
    if (CPlayerList* players = scene->Players())
        for (CPlayer* p : players->m_players) AddPlayer(p);
}

CTessarakObjectTemplate::~CTessarakObjectTemplate() {
    CTessarakObjectTemplate::SetOnSceneList(false);
    m_instances.DeleteAll();
    m_soundCreated.Free(World());
    m_soundLife.Free(World());
    m_soundDeath.Free(World());
    for (STemplatePlayerData* d : m_playerData) delete d;
    m_playerData.clear();
}

void CTessarakObjectTemplate::Message(int code, void* data) {
    if (code == 14) return SetOnSceneList(data != nullptr);
    CUnitVisual::Message(code, data);
}

void CTessarakObjectTemplate::SetOnSceneList(bool on) {
    CGameScene* scene = m_gameScene;
    if (on == (m_onTemplateList != 0)) return;
    constexpr auto next = &CTessarakObjectTemplate::m_listNext;
    constexpr auto prev = &CTessarakObjectTemplate::m_listPrev;
    if (on)
        SceneList_PushFront<next, prev>(scene->m_templates, &scene->m_templateCount, this);
    else
        SceneList_Unlink<next, prev>(scene->m_templates, &scene->m_templateCount, this);
    m_onTemplateList = on ? 1 : 0;
}

void CTessarakObjectTemplate::AddPlayer(CPlayer* player) {
    STemplatePlayerData* d = new STemplatePlayerData;
    d->m_player = player;
    m_playerData.push_back(d);
}

void CTessarakObjectTemplate::RemovePlayer(CPlayer* player) {
    for (auto it = m_playerData.begin(); it != m_playerData.end(); ++it)
        if ((*it)->m_player == player) {
            delete *it;  // the group empties itself
            m_playerData.erase(it);
            return;
        }
}

CObjectGroup* CTessarakObjectTemplate::GetPlayerData(const CPlayer* player) {
    for (STemplatePlayerData* d : m_playerData)
        if (d->m_player == player) return &d->m_group;
    return nullptr;
}

CTessarakObjectTemplate* CTessarakObjectTemplate::NextChildTemplate(CTessarakObjectTemplate* child) const {
    for (CUnitVisual* c = NextChildNode(child); c; c = NextChildNode(c))
        if (c->m_classMask & kClassObject) return static_cast<CTessarakObjectTemplate*>(c);
    return nullptr;
}

namespace {
// Milliseconds to game-time units (1193182 a second), to the nearest.
int32_t MillisecondsToTicks(float ms) {
    return Math_RoundToInt(ms * 1193.182f);
}
}  // namespace

void CTessarakObjectTemplate::LoadProperties() {
    CPropertyList& cfg = m_config;
    CProperty* p;
    CWorld* world = World();
    if ((p = cfg.Find("Name"))) p->GetValue(m_name);
    if ((p = cfg.Find("DisplayName"))) p->GetValue(m_displayName);

    // Zeros beyond the 256 characters a property's text gives at most: a
    // value that long comes unterminated.
    char text[512] = {};
    std::strcpy(text, "Default");
    if ((p = cfg.Find("Race"))) p->GetString(text, 255);
    if (CPlayerList* players = m_gameScene->Players()) {
        m_race = players->FindRace(text);
        if (!m_race) m_race = players->GetFirstRace();
    }

    p = cfg.Find("ResourceType");
    m_resourceType = p ? p->GetInt() : 0;
    if ((p = cfg.Find("ResourceHeld"))) {
        m_resourceAmount = p->GetFloat();
        m_hasResource = 1;
    } else {
        m_resourceAmount = 0.0f;
    }
    if ((p = cfg.Find("SpreadingSpeed"))) m_spreadingSpeed = p->GetFloat();
    if ((p = cfg.Find("ExplosionMass"))) m_explosionMass = p->GetFloat() * 0.001f;
    if ((p = cfg.Find("OnScreen"))) m_onScreen = p->GetInt() != 0;
    p = cfg.Find("ResourceLayers");
    m_resourceLayers = p ? p->GetInt() : 0;
    p = cfg.Find("Power");
    m_power = p ? p->GetFloat() : 1.0f;
    if (m_power == 0.0f) m_power = 1.0f;
    p = cfg.Find("CollisionDamage");
    m_collisionDamage = p ? p->GetFloat() : 1.0f;
    p = cfg.Find("AutoDestructionRandomLimit");
    m_autoDestructionRandomLimit = p ? p->GetFloat() * 0.001f : 0.0f;
    m_autoDestructionMin = 0.0f;
    if (m_autoDestructionRandomLimit > 0.0f && (p = cfg.Find("AutoDestructionMin")))
        m_autoDestructionMin = p->GetFloat() * 0.001f;
    if ((p = cfg.Find("AnimationLoopType"))) {
        p->GetString(text, 256);
        // "Stop" and "NormalLoop" set the node's and its shape's loop type;
        // any other text the node's only.
        uint32_t mode = std::strcmp(text, "Stop") == 0 ? kE3DShapeEndStop : kE3DShapeEndLoop;
        m_endMode = mode;
        if (m_shape && (std::strcmp(text, "Stop") == 0 || std::strcmp(text, "NormalLoop") == 0))
            m_shape->m_endMode = mode;
    }
    static const char* const kRotationKeys[3] = {"AutoRotationH", "AutoRotationP", "AutoRotationB"};
    static const char* const kScaleKeys[3] = {"AutoScaleX", "AutoScaleY", "AutoScaleZ"};
    for (int i = 0; i < 3; ++i) {
        if ((p = cfg.Find(kRotationKeys[i]))) {
            m_autoRotation[i] = p->GetFloat();
            m_autoRotate = 1;
        }
        if ((p = cfg.Find(kScaleKeys[i]))) {
            m_autoScaleSpeed[i] = p->GetFloat();
            m_autoScale = 1;
        }
    }
    if ((p = cfg.Find("Animate"))) {
        p->GetString(text, 256);
        if (std::strcmp(text, "OnFire") == 0)
            m_animateOnFire = 1;
        else if (std::strcmp(text, "OnBuildComplete") != 0)
            m_animateAlways = 1;
    }
    p = cfg.Find("DebrisChance");
    m_debrisChance = p ? p->GetFloat() : 0.4f;
    if ((p = cfg.Find("AnimationTime"))) {
        m_animationTime = MillisecondsToTicks(p->GetFloat());
        m_duration = static_cast<uint32_t>(m_animationTime);
    }
    if ((p = cfg.Find("AnimationStartTime"))) m_animationStartTime = MillisecondsToTicks(p->GetFloat());
    m_destructionMethod = kDestructionNone;
    m_explosion = nullptr;
    if ((p = cfg.Find("DestructionMethod"))) {
        p->GetString(text, 256);
        if (std::strcmp(text, "AutoExplosion") == 0) {
            m_destructionMethod = kDestructionAuto;
        } else if (std::strcmp(text, "None") != 0) {
            CExplosionManager* explosions = Explosions();
            m_explosion = explosions ? explosions->FindType(text) : nullptr;
            if (m_explosion) m_destructionMethod = kDestructionExplosion;
        }
    }
    if (cfg.Find("DisableAnimationOnDestruction")) m_disableAnimationOnDestruction = 1;
    if (cfg.Find("DisableOnDestruction")) m_disableOnDestruction = 1;
    if (cfg.Find("DisableBoundRadius")) m_meshFlagsB |= kMeshNoBounds;
    if ((p = cfg.Find("UseInternalEmitter"))) {
        p->GetString(text, 512);
        CE3DEngine* engine = world ? world->Engine() : nullptr;
        m_emitterTemplate = engine ? engine->FindEmitterTemplateByName(text) : nullptr;
        m_internalEmitter = 1;
    }
    p = cfg.Find("DisableClipping");
    m_clippingOff = p && p->GetInt() != 0;
    p = cfg.Find("UpdateObject");
    m_updateAlways = p && p->GetInt() != 0;
    p = cfg.Find("MoveWhenParentRepairs");
    m_moveWhenParentRepairs = p ? p->GetFloat() : 0.0f;
    if (cfg.Find("RandomRotation")) m_randomRotation = 1;
    if ((p = cfg.Find("Forceradius"))) {
        m_forceRadius = p->GetFloat();
        m_hasForceRadius = 1;
    }
    if ((p = cfg.Find("HomingStrength"))) {
        m_homingStrength = p->GetFloat();
        m_homing = 1;
    } else {
        m_homingStrength = 0.0f;
        m_homing = 0;
    }
    p = cfg.Find("flatRadiusScaling");
    m_flatRadiusScaling = p ? p->GetFloat() : 1.0f;
    p = cfg.Find("NoTolerance");
    m_noTolerance = p && p->GetInt() != 0;
    if ((p = cfg.Find("Billboard"))) {
        if (p->GetInt() != 0)
            m_flagsA |= kFrameFacing;
        else
            m_flagsA &= ~kFrameFacing;
    }
    if (world && !world->Sound().SoundOff()) LoadSoundSets();
    // The child templates read their sections here, before the last keys.
    for (CTessarakObjectTemplate* c = NextChildTemplate(nullptr); c; c = NextChildTemplate(c))
        c->LoadProperties();
    p = cfg.Find("UneffectedByPhysics");
    m_unaffectedByPhysics = p && p->GetInt() != 0;
    p = cfg.Find("Density");
    m_density = p ? p->GetFloat() : 1.0f;
    p = cfg.Find("DamagePower");
    m_damagePower = p ? p->GetFloat() : 0.0f;
    p = cfg.Find("DamageRadius");
    m_damageRadius = p ? p->GetFloat() : 0.0f;
    static const char* const kMorphKeys[3] = {"MorphStepTexture", "MorphStepColor", "MorphStepVertex"};
    static const uint8_t kMorphBits[3] = {kMorphTexture, kMorphColor, kMorphVertex};
    for (int i = 0; i < 3; ++i)
        if ((p = cfg.Find(kMorphKeys[i]))) {
            if (p->GetInt() == 1)
                m_meshFlagsA |= kMorphBits[i];
            else
                m_meshFlagsA &= ~kMorphBits[i];
        }
}

void CTessarakObjectTemplate::LoadSoundSets() {
    LoadSoundSet(m_soundCreated, "Created");
    LoadSoundSet(m_soundLife, "Life");
    LoadSoundSet(m_soundDeath, "Death");
}

namespace {
// The words of a value, split at blanks.
std::vector<std::string> SplitWords(const char* text) {
    std::vector<std::string> words;
    std::string w;
    for (const char* c = text;; ++c) {
        if (*c == 0 || static_cast<unsigned char>(*c) <= ' ') {
            if (!w.empty()) words.push_back(w);
            w.clear();
            if (*c == 0) break;
        } else {
            w += *c;
        }
    }
    return words;
}
}  // namespace

void CTessarakObjectTemplate::LoadSoundSet(SSoundSet& set, const char* event) {
    set.Free(World());
    CWorld* world = World();
    if (!world) return;
    IWorldSound& sound = world->Sound();
    IWorldFiles& files = world->Files();
    CStrBuf key;
    key.Format("Sound%s", event);
    if (CProperty* p = m_config.Find(key.GetText())) {
        std::vector<std::string> words = SplitWords(p->GetValueText());
        if (words.size() == 1) {
            if (SWorldSample* s = sound.LoadSample(files.GetPath("Units", words[0].c_str())))
                set.m_samples.push_back(s);
        } else if (words.size() > 1) {
            // The first word names a folder of the content; the others are
            // files in it. The folder is joined to each name (the process's
            // current folder is never changed).
            for (size_t i = 1; i < words.size(); ++i) {
                std::string name = words[0] + "\\" + words[i];
                set.m_samples.push_back(sound.LoadSample(files.GetPath("Units", name.c_str())));
            }
        }
        return;
    }
    CStrBuf base;
    base.Format("%s_%s", m_name.GetText(), event);
    LoadNumberedSounds(set, base.GetText());
}

void CTessarakObjectTemplate::LoadNumberedSounds(SSoundSet& set, const char* baseName) {
    CWorld* world = World();
    if (!world) return;
    // The folder's path, then the file's name after it: a name is never read
    // as one of the path's special forms (a settings node's name begins with
    // "!", which would name a folder of its own).
    CStrBuf folder(world->Files().GetPath("Units\\Sounds", ""));
    if (folder.GetLength() > 0 && folder.GetText()[folder.GetLength() - 1] == '\\')
        folder.Assign(std::string(folder.GetText(), size_t(folder.GetLength() - 1)).c_str());
    // Each number's file: an MP3, else a WAV of the same name (what the
    // content build makes).
    CStrBuf name;
    auto numbered = [&](int n) {
        name.Format("%s\\%s%d.mp3", folder.GetText(), baseName, n);
        if (FileExists(name.GetText())) return true;
        name.Format("%s\\%s%d.wav", folder.GetText(), baseName, n);
        return FileExists(name.GetText());
    };
    int present = 0;
    for (int n = 1; n <= 8; ++n)
        if (numbered(n)) ++present;
    // As many files as exist, from the first number on: a gap in the
    // numbering leaves an empty entry, and the last files are never loaded.
    bool any = false;
    for (int n = 1; n <= present; ++n) {
        numbered(n);
        SWorldSample* s = world->Sound().LoadSample(name.GetText());
        any = any || s;
        set.m_samples.push_back(s);
    }
    if (!any) set.m_samples.clear();
}
