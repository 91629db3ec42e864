#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
//
// Explosion types and the destruction of objects; the view's effects, the
// camera placement and the cursor light. The construction effects of the
// same manager are in Construction.cpp and BuilderEffects.cpp, the fog
// overlay in FogOverlay.cpp.
#include <algorithm>
#include <cstring>

#include "console/CommandTable.h"
#include "core/Random.h"
#include "e3d/Beam.h"
#include "e3d/Emitter.h"
#include "e3d/EmitterTemplate.h"
#include "e3d/Engine.h"
#include "e3d/Frame.h"
#include "e3d/Light.h"
#include "e3d/Material.h"
#include "e3d/VertexList.h"
#include "world/ExplosionManager.h"
#include "world/GameScene.h"
#include "world/GridMember.h"
#include "world/PhysicsEngine.h"
#include "world/Player.h"
#include "world/TessarakObject.h"
#include "world/UnitWeapon.h"
#include "world/World.h"
#include "world/WorldGrid.h"

namespace {

// View effects that show further explosions where they end go no deeper.
constexpr int kMaxEffectDepth = 2;
// A polygon blow lasts this long, as a destroyed object's wreck does.
constexpr float kWreckLife = 7.0f;

// A value of a base and a random range: (r x 0.5 - 1.0) x range + base.
float Spread(CRandom& random, float base, float range) {
    return (random.RandFloat() * 0.5f - 1.0f) * range + base;
}

CRace* RaceOf(const CTessarakObject* object) {
    if (object->m_template && object->m_template->m_race) return object->m_template->m_race;
    return object->m_owner ? object->m_owner->m_race : nullptr;
}

// The race's explosion for a destroyed object's size: its radius x 1.1 to
// the nearest integer; 0 small, 1 medium, 2 and 3 big, above that huge.
CExplosionType* RaceExplosionBySize(const CRace* race, float radius) {
    if (!race) return nullptr;
    const int32_t size = Math_RoundToInt(radius * 1.1f);
    int slot = size <= 0 ? 1 : size == 1 ? 2 : size <= 3 ? 3 : 4;
    return race->m_explosions[slot];
}

float WrapAngle(float a) {
    a = Math_Fmod(a, kTwoPi);
    return a < 0.0f ? a + kTwoPi : a;
}

// Every template of the tree, children after their parent.
template <class Op>
void ForTemplateTree(CTessarakObjectTemplate* t, Op op) {
    op(t);
    for (CTessarakObjectTemplate* c = t->NextChildTemplate(nullptr); c; c = t->NextChildTemplate(c))
        ForTemplateTree(c, op);
}

bool NoDebris(const CTessarakObjectTemplate* t) {
    return t && (t->m_classMask & kClassGridMember) && static_cast<const CGridMemberTemplate*>(t)->m_noDebris;
}

}  // namespace

// ---- types and their objects

CExplosionInstance::CExplosionInstance(CExplosionType* type) : m_type(type) {
    m_next = type->m_objects;
    if (m_next) m_next->m_prev = this;
    type->m_objects = this;
}

CExplosionInstance::~CExplosionInstance() {
    if (m_prev)
        m_prev->m_next = m_next;
    else
        m_type->m_objects = m_next;
    if (m_next) m_next->m_prev = m_prev;
}

CExplosionType::CExplosionType(CExplosionManager* manager, const char* name)
    : m_manager(manager), m_name(name) {
    m_next = manager->m_types;
    if (m_next) m_next->m_prev = this;
    manager->m_types = this;
}

CExplosionType::~CExplosionType() {
    while (m_objects) delete m_objects;
    if (m_sound && m_manager->m_world) m_manager->m_world->Sound().FreeSample(m_sound);
    m_sound = nullptr;
    // Another type's debris explosion that named this one names none now.
    for (CExplosionType* t = m_manager->m_types; t; t = t->m_next)
        if (t->m_debrisExplosion == this) t->m_debrisExplosion = nullptr;
    if (m_prev)
        m_prev->m_next = m_next;
    else
        m_manager->m_types = m_next;
    if (m_next) m_next->m_prev = m_prev;
}

// ---- the manager

CExplosionManager::CExplosionManager(CWorld* world) : m_world(world) {}

CExplosionManager::~CExplosionManager() {
    // The world's scene went first (it took the view's effects with it):
    // nothing names the types any more.
    for (SViewEffect& e : m_effects) e.landing = nullptr;
    while (m_types) delete m_types;
    ClearEffects();
    delete m_cursorLight.Get();
    for (SWorldSample*& s : m_warpSounds) {
        if (s && m_world) m_world->Sound().FreeSample(s);
        s = nullptr;
    }
}

CExplosionType* CExplosionManager::FindType(const char* name) const {
    if (!name) return nullptr;
    for (CExplosionType* t = m_types; t; t = t->m_next)
        if (std::strncmp(t->m_name.GetText(), name, 256) == 0) return t;
    return nullptr;
}

void CExplosionManager::Load() {
    // What names a type forgets it first: the loader reads the names again
    // after the scripts made the types anew.
    if (m_world) {
        CGameScene* scene = &m_world->Scene();
        for (CTessarakObjectTemplate* top = scene->m_templates; top; top = top->m_listNext)
            ForTemplateTree(top, [](CTessarakObjectTemplate* t) {
                t->m_explosion = nullptr;
                if (t->m_destructionMethod == CTessarakObjectTemplate::kDestructionExplosion)
                    t->m_destructionMethod = CTessarakObjectTemplate::kDestructionNone;
            });
        if (CPlayerList* players = m_world->Players())
            for (CRace* r : players->m_races) {
                for (CExplosionType*& e : r->m_explosions) e = nullptr;
                r->m_constructionExplosion = nullptr;
            }
    }
    for (SViewEffect& e : m_effects) e.landing = nullptr;
    while (m_types) delete m_types;
}

void CExplosionManager::Clear() {
    Load();
    ClearEffects();
    delete m_cursorLight.Get();
}

CTessarakObject* CExplosionManager::FogOverlay() const {
    return m_fogOverlay.Get() ? CGameNode::AsObject(m_fogOverlay.Get()) : nullptr;
}

CE3DLight* CExplosionManager::CursorLight() const {
    return static_cast<CE3DLight*>(m_cursorLight.Get());
}

void CExplosionManager::DeleteEffects() {
    for (SViewEffect& e : m_effects)
        if (CE3DFrame* f = e.object->Get()) delete f;
    m_effects.clear();
    for (SDust& d : m_dust)
        if (CE3DFrame* f = d.emitter->Get()) delete f;
    m_dust.clear();
}

void CExplosionManager::ClearEffects() {
    DeleteEffects();
    delete m_fogOverlay.Get();
}

bool CExplosionManager::Restart() {
    ClearEffects();
    // The cursor light lives under the scene root, which a new game keeps;
    // it is made again on first use when the root went.
    CGameScene* scene = m_world ? &m_world->Scene() : nullptr;
    if (!scene || !m_fogOfWarObject || !scene->m_rootFrame) return false;
    const float origin[3] = {0.0f, 0.0f, 0.0f};
    CTessarakObject* overlay = MakeViewObject(scene, m_fogOfWarObject, origin, 0.0f);
    if (!overlay) return false;
    overlay->SetScale(64.0f, 1.0f, 64.0f);
    overlay->m_flagsA |= kFrameHidden;  // until the first paint
    m_fogOverlay.Set(overlay);
    return true;
}

CTessarakObject* CExplosionManager::MakeViewObject(CGameScene* scene, CTessarakObjectTemplate* tmpl,
                                                   const float* at, float life) {
    if (!scene || !tmpl || !scene->m_rootFrame) return nullptr;
    // The scene's count of objects without an id seeds them; a view object
    // leaves it as it was, so that the simulation's own objects without an
    // id are seeded alike on every machine, whatever this one shows.
    const uint32_t seed = scene->m_anonymousSeed;
    CTessarakObject* object =
        scene->NewObjectOfClass(kMaskObject, tmpl, at, scene->m_rootFrame, 0, nullptr, -1);
    if (object) object->Clone(tmpl);  // its parts are objects without an id too
    scene->m_anonymousSeed = seed;
    if (!object) return nullptr;
    // No template's instance group counts it: a view object takes no part
    // in anything the world counts or walks.
    struct SStrip {
        static void Run(CTessarakObject* o) {
            while (o->m_memberships) delete o->m_memberships;
            for (CTessarakObject* c = o->FirstChildObject(); c; c = c->NextSiblingObject()) Run(c);
        }
    };
    SStrip::Run(object);
    object->m_random.Seed(m_effectSeed++);
    // The camera draws the scene root's active frames, and the choice of
    // what is in view walks only the world's objects: a view object is
    // active for the camera from the start, until it goes.
    object->CE3DFrame::Activate();
    if (life > 0.0f) {
        SViewEffect e;
        e.object.reset(new CE3DFrameRef);
        e.object->Set(object);
        e.life = life;
        m_effects.push_back(std::move(e));
    }
    return object;
}

// ---- the destruction of an object

void CExplosionManager::ExplodeObject(CTessarakObject* object) {
    if (!object) return;
    // 1. Out of play.
    object->RemoveFromGrid();
    object->m_stateA |= CTessarakObject::kA_Destroyed;
    CTessarakObjectTemplate* tmpl = object->m_template;
    if (!tmpl) return;
    const bool viewOnly = object->m_objectId < 0;

    // 2. The type.
    const int32_t kind = tmpl->m_destructionMethod;
    if (kind == CTessarakObjectTemplate::kDestructionNone) return;
    CRace* race = RaceOf(object);
    CExplosionType* type = tmpl->m_explosion;
    CGridMember* member = object->IsGridMember() ? static_cast<CGridMember*>(object) : nullptr;
    if (kind == CTessarakObjectTemplate::kDestructionAuto && member)
        type = RaceExplosionBySize(race, object->m_objectRadius);
    if (member) {
        if (!(member->m_gridFlags & CGridMember::kG_Complete) || member->IsMarked())
            type = race ? race->m_constructionExplosion : nullptr;
        if (!(member->m_gridFlags & CGridMember::kG_Explodes)) return;
    }
    if (!type) return;

    // 3. The debris template of an object that names none: the race's
    // debris, chosen by the object's own generator (a draw every machine
    // makes, with or without view effects).
    CTessarakObjectTemplate* debris = nullptr;
    const size_t debrisCount = race ? race->m_autoExplosionObjects.size() : 0;
    if (debrisCount > 0 && !NoDebris(tmpl))
        debris = race->m_autoExplosionObjects[static_cast<size_t>(object->m_random.Rand()) % debrisCount];

    // 4. The pressure wave, for a complete grid member or an object that is
    // no grid member.
    if (!viewOnly && (!member || (member->m_gridFlags & CGridMember::kG_Complete)) &&
        tmpl->m_spreadingSpeed > 0.0f && m_world)
        m_world->Physics().ApplyPressureWave(
            object->m_position[0], object->m_position[1], object->m_position[2], tmpl->m_spreadingSpeed,
            tmpl->m_explosionMass, tmpl->m_damagePower, tmpl->m_damageRadius);

    // 5. The view.
    if (!m_viewEffects) return;
    object->HandleMessage(CTessarakObject::kMsgDeselect, 0);
    SWorldSample* sound = type->m_sound;
    if (!sound && race && !race->m_autoExplosionSounds.empty()) {
        const size_t n = race->m_autoExplosionSounds.size();
        sound = race->m_autoExplosionSounds[static_cast<size_t>(Random01() * static_cast<float>(n)) % n];
    }
    PlayAt(sound, object->m_position[0], object->m_position[2]);
    if (m_polygonBlow) {
        const float speed = type->m_polyBlowSpeed;
        const float radius =
            object->m_boundingRadius > 0.0f ? object->m_boundingRadius : object->m_objectRadius;
        float strength;
        if (speed > -0.001f && speed < 0.001f)
            strength = radius / (speed != 0.0f ? speed : 0.001f);
        else
            strength = radius > 0.0f ? speed / radius : speed;
        PolygonBlow(type, object, strength, true);
    }
    ShowExplosion(type, object, debris, 0);
    if (type->m_shake > 0.01f && m_world)
        m_world->View().ShakeAt(type->m_shake, object->m_position[0], object->m_position[2]);
}

void CExplosionManager::ShatterObject(CTessarakObject* object, float factor, bool flag) {
    if (!object || !m_viewEffects || !m_polygonBlow) return;
    const float radius = object->m_boundingRadius > 0.0f ? object->m_boundingRadius : 1.0f;
    object->HandleMessage(CTessarakObject::kMsgDeselect, 0);
    PolygonBlow(nullptr, object, 5.0f / radius * factor, flag);
}

void CExplosionManager::PolygonBlow(CExplosionType* type, CTessarakObject* object, float strength,
                                    bool spread) {
    CGameScene* scene = object->m_gameScene;
    CTessarakObject* wreck = MakeViewObject(scene, object->m_template, object->m_position, kWreckLife);
    if (!wreck) return;
    wreck->SetOrientation(object->m_yaw, object->m_pitch, object->m_roll);
    wreck->SetScale(object->m_scale[0], object->m_scale[1], object->m_scale[2]);
    wreck->UpdateRadius();
    if (const CPlayer* owner = object->m_owner)
        if (!owner->IsNeutral())
            wreck->SetColor(owner->m_colour[0] * (1.0f / 255.0f), owner->m_colour[1] * (1.0f / 255.0f),
                            owner->m_colour[2] * (1.0f / 255.0f));
    if (type && type->m_debrisMaterial)
        wreck->SetMaterial(type->m_debrisMaterial->m_projectId, type->m_debrisMaterial->m_materialId);
    if (type && !type->m_debrisDescription.IsEmpty()) wreck->SetName(type->m_debrisDescription.GetText());
    // The parts fly apart less hard the deeper they sit.
    struct SBlow {
        static void Run(CTessarakObject* o, float strength, float amount, bool spread) {
            o->CE3DMesh::Shatter(strength, amount, spread);
            for (CTessarakObject* c = o->FirstChildObject(); c; c = c->NextSiblingObject())
                Run(c, strength * 0.9f, amount, spread);
        }
    };
    SBlow::Run(wreck, strength, m_polygonBlowAmount, spread);
    wreck->ResetMatrixHistory();
}

void CExplosionManager::ShowExplosion(CExplosionType* type, CTessarakObject* object,
                                      CTessarakObjectTemplate* debris, int depth) {
    const float* at = object->m_position;
    if (depth == 0) Flash(at);
    // The object's box in the world (its bounds are its own, about its place).
    float boxMin[3], boxMax[3];
    for (int i = 0; i < 3; ++i) {
        boxMin[i] = at[i] + object->m_minCorner[i] * object->m_scale[i];
        boxMax[i] = at[i] + object->m_maxCorner[i] * object->m_scale[i];
    }
    for (CExplosionInstance* inst = type->m_objects; inst; inst = inst->m_next) {
        CTessarakObjectTemplate* tmpl = inst->m_template ? inst->m_template : debris;
        if (tmpl) ShowObject(inst, type, tmpl, at, boxMin, boxMax, depth);
    }
}

void CExplosionManager::ShowObjectsAt(CExplosionType* type, const float* at, int depth) {
    for (CExplosionInstance* inst = type->m_objects; inst; inst = inst->m_next)
        if (inst->m_template) ShowObject(inst, type, inst->m_template, at, at, at, depth);
}

void CExplosionManager::ShowObject(CExplosionInstance* inst, CExplosionType* type,
                                   CTessarakObjectTemplate* tmpl, const float* at, const float* boxMin,
                                   const float* boxMax, int depth) {
    CGameScene* scene = m_world ? &m_world->Scene() : nullptr;
    CTessarakObject* object = MakeViewObject(scene, tmpl, at, 0.0f);
    if (!object) return;
    CRandom& random = object->m_random;
    float place[3] = {at[0], at[1], at[2]};
    if (!inst->m_thrown) {
        if (inst->m_randomPosition)
            for (int i = 0; i < 3; ++i) place[i] = boxMin[i] + random.RandFloat() * (boxMax[i] - boxMin[i]);
        if (inst->m_top) place[1] = boxMax[1];
    }
    object->SetPosition(place[0], place[1], place[2]);
    if (!inst->m_keepHeading) object->SetOrientation(4.712389f, object->m_pitch, object->m_roll);  // -pi/2
    float size = Spread(random, inst->m_size, inst->m_sizeRange);
    if (size < 0.0f) size = 0.0f;
    float scale[3] = {size, size, size};
    if (type->m_scaleSet)
        for (int i = 0; i < 3; ++i) scale[i] *= type->m_scale[i];
    object->SetScale(scale[0], scale[1], scale[2]);
    object->RestartAnimation();
    float life = Spread(random, inst->m_time, inst->m_timeRange);
    SViewEffect e;
    e.object.reset(new CE3DFrameRef);
    e.object->Set(object);
    e.life = life > 0.0f ? life : 0.0f;
    e.depth = depth;
    if (inst->m_thrown) {
        // Away from the place, in any direction over the ground and upwards.
        const float speed = Spread(random, inst->m_speed, inst->m_speedRange);
        const float heading = random.RandFloat() * kTwoPi;
        const float rise = 0.5f + random.RandFloat() * 0.5f;
        e.velocity[0] = Math_Sin(heading) * speed;
        e.velocity[1] = rise * speed;
        e.velocity[2] = Math_Cos(heading) * speed;
        for (float& s : e.spin) s = (random.RandFloat() - 0.5f) * kTwoPi;
        e.falls = 1;
        e.landing = type->m_debrisExplosion;
    }
    m_effects.push_back(std::move(e));
    object->ResetMatrixHistory();
}

void CExplosionManager::PlayWarp(bool success, float fromX, float fromZ, float toX, float toZ) {
    if (!m_viewEffects) return;
    PlayAt(m_warpSounds[success ? kWarpSuccess : kWarpFailed], fromX, fromZ);
    PlayAt(m_warpSounds[success ? kWarpedInSuccess : kWarpedInFailed], toX, toZ);
}

void CExplosionManager::PlayWarpArrival(bool caught, float x, float z) {
    if (!m_viewEffects) return;
    PlayAt(m_warpSounds[caught ? kWarpFailed : kWarpSuccess], x, z);
    PlayAt(m_warpSounds[caught ? kWarpedInFailed : kWarpedInSuccess], x, z);
}

// A dust emitter puffs for kDustPuff seconds and goes after kDustLife, when
// its last grains have settled.
namespace {
constexpr float kDustLife = 2.0f;
constexpr float kDustPuff = 0.3f;
}  // namespace

void CExplosionManager::SpawnDust(float x, float y, float z) {
    CE3DFrame* root = m_world ? m_world->Scene().m_rootFrame : nullptr;
    if (!m_viewEffects || !m_puffTemplate || !root) return;
    CE3DEmitter* dust = CE3DEmitter::Create(root, m_puffTemplate);
    if (!dust) return;
    dust->SetEmitting(true);
    dust->SetSource(x, y, z);
    SDust d;
    d.emitter.reset(new CE3DFrameRef);
    d.emitter->Set(dust);
    d.life = kDustLife;
    m_dust.push_back(std::move(d));
}

void CExplosionManager::PlayAt(SWorldSample* sample, float x, float z) {
    if (!sample || !m_world || m_world->Sound().SoundOff()) return;
    float lx = 0.0f, lz = 0.0f;
    m_world->Sound().ListeningPoint(&lx, &lz);
    float d = Distance2D(lx, lz, x, z);
    if (d >= 40.0f) return;
    d = d < 0.1f ? 0.1f : d;
    m_world->Sound().PlaySample(sample, Math_RoundToInt((40.0f - d) * 0.025f * 80.0f));
}

void CExplosionManager::ShowLaserBeam(CUnitWeapon* weapon, CTessarakObjectTemplate* laserObject, float width,
                                      int32_t burnTime, const float* start, const float* end) {
    if (!m_viewEffects || !weapon || !start || !end) return;
    CGameScene* scene = weapon->m_gameScene;
    if (!scene || !scene->m_rootFrame) return;
    CE3DMaterial* material = laserObject && laserObject->m_lists ? laserObject->m_lists->m_material : nullptr;
    CE3DBeam* beam = new CE3DBeam(scene->m_rootFrame, material);
    for (int i = 0; i < 3; ++i) {
        beam->m_start[i] = start[i];
        beam->m_end[i] = end[i];
    }
    beam->m_duration = burnTime > 0 ? burnTime : 1;
    beam->m_maxHalfWidth = width * 0.5f;
    beam->Update();
}

void CExplosionManager::ShowShotEffect(CTessarakObjectTemplate* tmpl, const float* at, float heading,
                                       float pitch, float length) {
    if (!m_viewEffects || !tmpl || !m_world) return;
    CTessarakObject* object = MakeViewObject(&m_world->Scene(), tmpl, at, 0.0f);
    if (!object) return;
    object->SetOrientation(WrapAngle(heading), WrapAngle(pitch), 0.0f);
    if (length > 0.0f) object->SetScale(1.0f, 1.0f, length);
    SViewEffect e;
    e.object.reset(new CE3DFrameRef);
    e.object->Set(object);
    e.life =
        tmpl->m_autoDestructionRandomLimit > 0.0f
            ? tmpl->m_autoDestructionMin + object->m_random.RandFloat() * tmpl->m_autoDestructionRandomLimit
            : 0.2f;
    m_effects.push_back(std::move(e));
    object->ResetMatrixHistory();
}

// ---- per frame

void CExplosionManager::Update(float dt, float focusX, float focusZ) {
    for (auto it = m_effects.begin(); it != m_effects.end();) {
        CE3DFrame* frame = it->object->Get();
        CTessarakObject* object = frame ? CGameNode::AsObject(frame) : nullptr;
        if (!object) {
            it = m_effects.erase(it);
            continue;
        }
        it->life -= dt;
        bool ends = it->life <= 0.0f;
        if (it->falls && !ends) {
            float p[3];
            for (int i = 0; i < 3; ++i) p[i] = object->m_position[i] + it->velocity[i] * dt;
            it->velocity[1] -= kGravity * dt;
            // Thrown debris ends where it meets the ground.
            if (p[1] <= kGroundLevel && it->velocity[1] < 0.0f) {
                p[1] = kGroundLevel;
                ends = true;
            }
            object->SetPosition(p[0], p[1], p[2]);
            object->SetOrientation(WrapAngle(object->m_yaw + it->spin[0] * dt),
                                   WrapAngle(object->m_pitch + it->spin[1] * dt),
                                   WrapAngle(object->m_roll + it->spin[2] * dt));
            object->ResetMatrixHistory();
        }
        if (ends) {
            const float at[3] = {object->m_position[0], object->m_position[1], object->m_position[2]};
            CExplosionType* landing = it->landing;
            const int depth = it->depth;
            delete object;
            it = m_effects.erase(it);
            if (landing && depth < kMaxEffectDepth) ShowObjectsAt(landing, at, depth + 1);
            continue;
        }
        ++it;
    }
    for (size_t i = 0; i < m_dust.size();) {
        SDust& d = m_dust[i];
        CE3DFrame* frame = d.emitter->Get();
        d.life -= dt;
        if (frame && d.life > 0.0f) {
            if (d.life < kDustLife - kDustPuff) static_cast<CE3DEmitter*>(frame)->SetStop(true);
            ++i;
            continue;
        }
        delete frame;
        m_dust.erase(m_dust.begin() + static_cast<std::ptrdiff_t>(i));
    }
    PaintFog(focusX, focusZ);
    // The render frame drops from the camera every frame what nobody keeps
    // in view (the visibility pass keeps the world's objects): the view's
    // own objects are kept here for as long as they live.
    for (const SViewEffect& e : m_effects)
        if (CE3DFrame* frame = e.object->Get()) frame->SetActiveCount(2);
    for (const SDust& d : m_dust)
        if (CE3DFrame* frame = d.emitter->Get()) frame->SetActiveCount(2);
    if (CE3DFrame* fog = m_fogOverlay.Get()) fog->SetActiveCount(2);
}

void CExplosionManager::Flash(const float* at) {
    m_flashAge = 0.0f;
    m_flashAt[0] = at[0];
    m_flashAt[1] = at[1] + 2.0f;  // above the ground it lights
    m_flashAt[2] = at[2];
}

void CExplosionManager::Draw(float step) {
    UpdateCursorLight(step);
    static const int32_t kFlashColour[3] = {255, 170, 80};
    float strength = 0.0f;
    if (m_flashAge >= 0.0f) {
        m_flashAge += step;
        const float half = kFlashSeconds * 0.5f;
        if (m_flashAge >= kFlashSeconds)
            m_flashAge = -1.0f;
        else
            strength = m_flashAge <= half ? 1.0f : (kFlashSeconds - m_flashAge) / half;
    }
    for (int i = 0; i < 3; ++i) {
        m_explosionLight.position[i] = m_flashAt[i];
        m_explosionLight.colour[i] = int32_t(float(kFlashColour[i]) * strength + 0.5f);
    }
}

void CExplosionManager::UpdateCursorLight(float dt) {
    CE3DFrame* root = m_world ? m_world->Scene().m_rootFrame : nullptr;
    if (!root || !m_viewEffects) return;
    CE3DLight* light = CursorLight();
    if (light && light->m_parent != root) {
        delete light;  // a light of another scene root
        light = nullptr;
    }
    if (!light) {
        light = new CE3DLight(root);
        light->SetPriority(5);
        m_cursorLight.Set(light);
    }
    if (!m_lightOfGod) {
        light->Message(4, nullptr);
        return;
    }
    light->Message(3, nullptr);
    m_cursorLightPhase = WrapAngle(m_cursorLightPhase + dt * 1.5707964f);
    // The colour breathes around its setting; a larger variation breathes less.
    const float variation = m_lightVariation > 0.01f ? m_lightVariation : 0.01f;
    const float breath = 1.0f + Math_Sin(m_cursorLightPhase) / variation;
    light->SetColor(m_lightColour[0] * breath, m_lightColour[1] * breath, m_lightColour[2] * breath);
    light->SetRange(m_lightRange);
    light->SetAttenuation(0.0f, m_lightStrength, 0.0f);
    float x = 0.0f, z = 0.0f;
    m_world->Sound().ListeningPoint(&x, &z);
    light->SetPosition(x, m_lightHeight, z);
    light->ResetMatrixHistory();
    light->UpdateDirection();
}

// ---- the star field

int32_t CExplosionManager::StarCount() const {
    int32_t n = 0;
    for (const std::unique_ptr<CE3DFrameRef>& star : m_stars) n += star->Get() != nullptr;
    return n;
}

int32_t CExplosionManager::GenerateStars(CE3DNode* tmpl, int32_t count, float yLevel, float yRandom,
                                         float size, float sizeRandom, float overlap) {
    for (std::unique_ptr<CE3DFrameRef>& star : m_stars) delete star->Get();
    m_stars.clear();
    CGameScene* scene = m_world ? &m_world->Scene() : nullptr;
    CE3DEngine* engine = m_world ? m_world->Engine() : nullptr;
    if (!tmpl && engine) tmpl = engine->FindEmitterTemplateByName("StarsSmall");
    CE3DEmitterTemplate* stars = CE3DEmitterTemplate::From(tmpl);
    if (!stars || !scene || !scene->m_rootFrame || !m_viewEffects) return 0;
    const CWorldGrid& grid = m_world->Grid();
    const float left = static_cast<float>(grid.m_x1), top = static_cast<float>(grid.m_y1);
    const float right = static_cast<float>(grid.m_x2), bottom = static_cast<float>(grid.m_y2);
    const float columns = (Math_Fabs(right) + Math_Fabs(left)) / 30.0f;
    const float rows = (Math_Fabs(bottom) + Math_Fabs(top)) / 30.0f;
    const int32_t ownCount = stars->NumParticles;
    if (count != 0) stars->NumParticles = count;
    for (float j = -overlap; j < rows + 2.0f * overlap; j += 1.0f)
        for (float i = -overlap; i < columns + 2.0f * overlap; i += 1.0f) {
            if (static_cast<int32_t>(m_stars.size()) >= kMaxStarEmitters) break;
            CE3DEmitter* emitter = CE3DEmitter::Create(scene->m_rootFrame, stars);
            if (!emitter) break;
            emitter->Seed(static_cast<uint32_t>(m_stars.size()) + 1u);
            emitter->Configure(yLevel, yRandom, -15.0f, 15.0f, -15.0f, 15.0f, size, sizeRandom);
            emitter->SetPosition(left + i * 30.0f + 15.0f, 0.0f, bottom - 15.0f + j * 30.0f);
            emitter->m_boundingRadius = 30.0f * 1.4142135f + 10.0f;
            m_stars.push_back(std::make_unique<CE3DFrameRef>());
            m_stars.back()->Set(emitter);
        }
    stars->NumParticles = ownCount;
    return static_cast<int32_t>(m_stars.size());
}

// ---- the effect settings (the Effect_ console variables)

void CExplosionManager::RegisterSunSettings(CCommandInterpreter* ip) {
    constexpr int32_t kIntMost = 2147483647;
    constexpr float kFloatMost = 3.4028235e38f;
    const SCommandRow sun[] = {
        SCommandRow::Int("scene_sun_red", &m_sunColour[0], -kIntMost, kIntMost,
                         "Sets the red component of the color of the directional light source",
                         "scene_sun_red(int Color);"),
        SCommandRow::Int("scene_sun_green", &m_sunColour[1], -kIntMost, kIntMost,
                         "Sets the green component of the color of the directional light source",
                         "scene_sun_green(int Color);"),
        SCommandRow::Int("scene_sun_blue", &m_sunColour[2], -kIntMost, kIntMost,
                         "Sets the blue component of the color of the directional light source",
                         "scene_sun_blue(int Color);"),
        SCommandRow::Float("scene_sun_heading", &m_sunAngles[0], -kFloatMost, kFloatMost,
                           "Sets the heading of the directional light source",
                           "scene_sun_heading(float Heading);")
            .FloatFlag(),
        SCommandRow::Float("scene_sun_pitch", &m_sunAngles[1], -kFloatMost, kFloatMost,
                           "Sets the pitch of the directional light source", "scene_sun_pitch(float Pitch);")
            .FloatFlag(),
    };
    CommandTable_Register(ip, sun);
}

void CExplosionManager::RegisterSettings(CCommandInterpreter* ip, std::initializer_list<const char*> names) {
    const SCommandRow variables[] = {
        SCommandRow::Float(
            "effect_polygonblow_amount", &m_polygonBlowAmount, 0.0f, 1.0f,
            "Set the number of polygons that blow up in a polygon blow. 0.0 to 1.0 are valid values.",
            "effect_polygonblow_amount(float Amount);")
            .Config("Effects.cfg"),
        SCommandRow::Bool("Effect_Particles", &m_particles,
                          "If set to zero, no particle effects will be used.", "Effect_Particles(int Value);")
            .Config("Effects.cfg"),
        SCommandRow::Bool("Effect_PolygonBlow", &m_polygonBlow,
                          "If set to zero, no polygon blows will be used.", "Effect_PolygonBlow(int Value);")
            .Config("Effects.cfg"),
        SCommandRow::Bool("Effect_FogOfWar", &m_fogOfWar, "If set to zero, the fog of war will be disabled.",
                          "Effect_FogOfWar(int Value);")
            .Config("Effects.cfg"),
        SCommandRow::Int("Effect_FogColorR", &m_fogColour[0], 0, 255,
                         "Changes the red component in the fog of war color.",
                         "Effect_FogColorR(int Value);"),
        SCommandRow::Int("Effect_FogColorG", &m_fogColour[1], 0, 255,
                         "Changes the green component in the fog of war color.",
                         "Effect_FogColorG(int Value);"),
        SCommandRow::Int("Effect_FogColorB", &m_fogColour[2], 0, 255,
                         "Changes the blue component in the fog of war color.",
                         "Effect_FogColorB(int Value);"),
        SCommandRow::Int("Effect_FogHalfColorR", &m_fogHalfColour[0], 0, 255,
                         "Changes the red component in the fog of war shadow color.",
                         "Effect_FogHalfColorR(int Value);"),
        SCommandRow::Int("Effect_FogHalfColorG", &m_fogHalfColour[1], 0, 255,
                         "Changes the green component in the fog of war shadow color.",
                         "Effect_FogHalfColorG(int Value);"),
        SCommandRow::Int("Effect_FogHalfColorB", &m_fogHalfColour[2], 0, 255,
                         "Changes the blue component in the fog of war shadow color.",
                         "Effect_FogHalfColorB(int Value);"),
        SCommandRow::Bool("Effect_LightOfGod", &m_lightOfGod,
                          "If set to one, The mouse cursor will generate a 3d light.", "Effect_LightOfGod")
            .Config("Effects.cfg"),
        SCommandRow::Float("Effect_LightOfGod_Height", &m_lightHeight, -1000.0f, 1000.0f,
                           "Changes the height of the Light of god", "Effect_LightOfGod_Height(int Value);")
            .Config("Effects.cfg"),
        SCommandRow::Float("Effect_LightOfGod_Range", &m_lightRange, 0.0f, 100.0f,
                           "Changes the range of the Light of god", "Effect_LightOfGod_Height(int Value);")
            .Config("Effects.cfg"),
        SCommandRow::Float("Effect_LightOfGod_Strength", &m_lightStrength, 0.0f, 100.0f,
                           "Changes the range of the Light of god, smaller value gives stronger light",
                           "Effect_LightOfGod_Height(int Value);")
            .Config("Effects.cfg"),
        SCommandRow::Float("Effect_LightOfGod_Variation", &m_lightVariation, 0.0f, 100.0f,
                           "Changes the variation of the Light of god. Smaller value gives larger variation",
                           "Effect_LightOfGod_Variation(int Value);")
            .Config("Effects.cfg"),
        SCommandRow::Float("Effect_LightOfGod_ColorR", &m_lightColour[0], -10.0f, 10.0f,
                           "Changes the red component in the Light of god color.",
                           "Effect_LightOfGod_ColorR(int Value);")
            .Config("Effects.cfg"),
        SCommandRow::Float("Effect_LightOfGod_ColorG", &m_lightColour[1], -10.0f, 10.0f,
                           "Changes the green component in the Light of god  color.",
                           "Effect_LightOfGod_ColorG(int Value);")
            .Config("Effects.cfg"),
        SCommandRow::Float("Effect_LightOfGod_ColorB", &m_lightColour[2], -10.0f, 10.0f,
                           "Changes the blue component in the Light of god  color.",
                           "Effect_LightOfGod_ColorB(int Value);")
            .Config("Effects.cfg"),
    };
    CommandTable_RegisterNamed(ip, variables, names);
}
