#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
#include <algorithm>
#include <vector>

#include "console/CommandTable.h"
#include "world/ExplosionManager.h"
#include "world/GameScene.h"
#include "world/GridMember.h"
#include "world/PhysicsEngine.h"
#include "world/Player.h"
#include "world/TessarakObject.h"
#include "world/Unit.h"
#include "world/UnitWeapon.h"
#include "world/World.h"

void SUnitTemplateList::Link(SUnitTemplateListNode* node, void* owner) {
    node->m_owner = owner;
    node->m_prev = nullptr;
    node->m_next = m_head;
    if (m_head) m_head->m_prev = node;
    m_head = node;
    ++m_count;
}

void SUnitTemplateList::Unlink(SUnitTemplateListNode* node) {
    if (node->m_prev)
        node->m_prev->m_next = node->m_next;
    else if (m_head == node)
        m_head = node->m_next;
    else
        return;  // not in this list
    if (node->m_next) node->m_next->m_prev = node->m_prev;
    node->m_next = node->m_prev = nullptr;
    --m_count;
}

CGameScene::CGameScene(CWorld& world) : m_world(world) {}

CGameScene::~CGameScene() {
    // The view's effects show templates of this scene: they go first.
    m_world.Explosions().ClearEffects();
    m_emptying = 1;
    while (m_allObjects) delete m_allObjects;
    while (m_templates) delete m_templates;
    for (CTessarakObject*& s : m_scratch) {
        delete s;
        s = nullptr;
    }
    for (CObjectLink* l : m_ownedLinks) delete l;
    m_ownedLinks.clear();
}

void CGameScene::Clear() {
    IWorldSession& session = m_world.Session();
    session.Lock();
    m_emptying = 1;
    while (m_allObjects) delete m_allObjects;
    m_emptying = 0;
    if (m_rootFrame) {
        m_rootFrame->DeleteChildrenOfType(kE3DFrameEmitter);
        m_rootFrame->DeleteChildrenOfType(kE3DFrameBeam);
    }
    for (CTessarakObjectTemplate* t = m_templates; t; t = t->m_listNext)
        for (STemplatePlayerData* d : t->m_playerData) d->m_group.m_liveCount = 0;
    m_world.Physics().ReleaseAllForces();
    m_objectives.Clear();
    WinGame = LooseGame = 0;
    m_finished = 0;
    m_watching = 0;
    m_endTimer = 0.0f;
    m_ticked = 0;
    m_frameCounter = 0;
    m_desync = 0;
    // A map's ids start again with its objects: an object made without one
    // takes the next, the same on every machine whatever map it had before.
    m_highestMapId = 0;
    SetScriptPoint(kScriptPoints, 0.0f, 0.0f, false);
    session.Unlock();
    m_world.Explosions().Restart();
}

bool CGameScene::ScriptPoint(int32_t point, float* x, float* z) const {
    if (point < 0 || point >= kScriptPoints || !m_scriptPoints[point].active) return false;
    if (x) *x = m_scriptPoints[point].x;
    if (z) *z = m_scriptPoints[point].z;
    return true;
}

bool CGameScene::SetScriptPoint(int32_t point, float x, float z, bool active) {
    if (point == kScriptPoints) {
        for (SScriptPoint& p : m_scriptPoints) p.active = 0;
        return true;
    }
    if (point < 0 || point > kScriptPoints) return false;
    SScriptPoint& p = m_scriptPoints[point];
    if (active) {
        p.x = x;
        p.z = z;
    }
    p.active = active ? 1 : 0;
    return true;
}

// ---- templates

CTessarakObjectTemplate* CGameScene::FindTemplateById(uint16_t projectId, int32_t templateId) const {
    if (templateId < 0) return nullptr;
    for (CTessarakObjectTemplate* t = m_templates; t; t = t->m_listNext)
        if (t->m_projectId == projectId && t->m_nodeId == static_cast<uint32_t>(templateId)) return t;
    return nullptr;
}

CTessarakObjectTemplate* CGameScene::FindTemplate(const char* name) const {
    if (!name) return nullptr;
    for (CTessarakObjectTemplate* t = m_templates; t; t = t->m_listNext)
        if (t->m_name.EqualsNoCase(name)) return t;
    return nullptr;
}

namespace {
// Child templates keep player records too: the whole tree follows.
template <class Op>
void ForTemplateTree(CTessarakObjectTemplate* t, Op op) {
    op(t);
    for (CTessarakObjectTemplate* c = t->NextChildTemplate(nullptr); c; c = t->NextChildTemplate(c))
        ForTemplateTree(c, op);
}
}  // namespace

void CGameScene::AddPlayerToTemplates(CPlayer* player) {
    for (CTessarakObjectTemplate* t = m_templates; t; t = t->m_listNext)
        ForTemplateTree(t, [player](CTessarakObjectTemplate* n) {
            if (!n->GetPlayerData(player)) n->AddPlayer(player);
        });
}

void CGameScene::RemovePlayerFromTemplates(CPlayer* player) {
    for (CTessarakObjectTemplate* t = m_templates; t; t = t->m_listNext)
        ForTemplateTree(t, [player](CTessarakObjectTemplate* n) { n->RemovePlayer(player); });
}

// ---- the factories

CTessarakObject* CGameScene::NewObjectOfClass(uint32_t mask, CTessarakObjectTemplate* tmpl,
                                              const float* position, CE3DFrame* parent, uint8_t worldObject,
                                              CPlayer* owner, int32_t id) {
    switch (mask) {
        case kMaskObject:
            return new CTessarakObject(this, tmpl, parent, position, worldObject, owner, id);
        case kMaskGridMember:
            return new CGridMember(this, tmpl, parent, position, worldObject, owner, id);
        case kMaskUnit:
            return new CUnit(this, tmpl, parent, position, worldObject, owner, id);
        case kMaskWeapon:
            return new CUnitWeapon(this, tmpl, parent, position, worldObject, owner, id);
        default:
            return nullptr;
    }
}

CTessarakObject* CGameScene::ScratchObject(uint32_t mask) {
    int slot = mask == kMaskObject ? 0 : mask == kMaskGridMember ? 1 : mask == kMaskUnit ? 2 : 3;
    if (!m_scratch[slot]) {
        // A check changes nothing of the simulation: the scratch object does
        // not take the seed of the next object without an id.
        const uint32_t seed = m_anonymousSeed;
        m_scratch[slot] = NewObjectOfClass(mask, nullptr, nullptr, nullptr, 0, nullptr, -1);
        m_anonymousSeed = seed;
    }
    return m_scratch[slot];
}

CTessarakObject* CGameScene::CreateObjectByClass(CTessarakObjectTemplate* tmpl, const float* position,
                                                 CPlayer* owner, int32_t id) {
    return CreateObjectByClassInFrame(tmpl, position, m_rootFrame, owner, id);
}

namespace {
bool IdRefused(const CGameScene* scene, const CTessarakObjectTemplate* tmpl, int32_t id) {
    if (id < 0 || !scene->m_idTable.Find(id)) return false;
    scene->World().Console().Printf("Object id %d is already in use: '%s' is not created", id,
                                    tmpl->m_name.GetText());
    return true;
}
}  // namespace

CTessarakObject* CGameScene::CreateObjectByClassInFrame(CTessarakObjectTemplate* tmpl, const float* position,
                                                        CE3DFrame* parent, CPlayer* owner, int32_t id) {
    if (!tmpl) return nullptr;
    uint32_t mask = tmpl->m_classMask & ~kClassTemplate;
    if (!(tmpl->m_classMask & kClassTemplate) || !ClassMask_IsKnown(mask)) {
        // Content of an unknown class: nothing is made and the game goes on.
        m_world.Console().Printf("Class not found: '%s' is not created", tmpl->m_name.GetText());
        return nullptr;
    }
    if (IdRefused(this, tmpl, id)) return nullptr;
    CTessarakObject* object = NewObjectOfClass(mask, tmpl, position, parent, tmpl->m_topLevel, owner, id);
    object->CreateFromTemplate(tmpl);
    return object;
}

CTessarakObject* CGameScene::CreateObjectFromTemplate(CTessarakObjectTemplate* tmpl, const float* position,
                                                      CE3DFrame* parent, uint32_t kind, CPlayer* owner,
                                                      int32_t id) {
    if (!tmpl) return nullptr;
    uint32_t mask = 0;
    if (kind & kKindObject)
        mask = kMaskObject;
    else if (kind & kKindGridMember)
        mask = kMaskGridMember;
    else if (kind & kKindUnit)
        mask = kMaskUnit;
    if (!mask || IdRefused(this, tmpl, id)) return nullptr;
    CTessarakObject* object = NewObjectOfClass(mask, tmpl, position, parent, tmpl->m_topLevel, owner, id);
    object->Clone(tmpl);
    return object;
}

// ---- all objects at once

void CGameScene::BroadcastMessage(uint32_t mask, int a, intptr_t b) {
    for (CTessarakObject* o = m_allObjects; o; o = o->m_allNext)
        if ((o->m_classMask & mask) && !(o->m_flagsA & kFrameOnUpdateList)) o->HandleMessage(a, b);
}

bool CGameScene::MoveSelection(float dx, float dz) {
    for (CTessarakObject* o = m_allObjects; o; o = o->m_allNext)
        if (o->m_stateA & CTessarakObject::kA_Selected)
            o->SetPosition(o->m_position[0] + dx, o->m_position[1], o->m_position[2] + dz);
    return true;
}

void CGameScene::DeleteObject(CTessarakObject* object) {
    delete object;
}

namespace {
// Relinks an intrusive list newest first, as objects made in the order of
// their ids stand in it: descending ids (equal ids keep their order).
template <auto Next, auto Prev, class T>
void SortListById(T*& head) {
    std::vector<T*> items;
    for (T* i = head; i; i = i->*Next) items.push_back(i);
    std::stable_sort(items.begin(), items.end(),
                     [](const T* a, const T* b) { return a->m_objectId < b->m_objectId; });
    head = items.empty() ? nullptr : items.front();
    for (size_t i = 0; i < items.size(); ++i) {
        items[i]->*Prev = i ? items[i - 1] : nullptr;
        items[i]->*Next = i + 1 < items.size() ? items[i + 1] : nullptr;
    }
}
}  // namespace

void CGameScene::SortObjectListsById() {
    SortListById<&CTessarakObject::m_allNext, &CTessarakObject::m_allPrev>(m_allObjects);
    SortListById<&CTessarakObject::m_sceneActiveNext, &CTessarakObject::m_sceneActivePrev>(m_activeObjects);
    SortListById<&CGridMember::m_gridNext, &CGridMember::m_gridPrev>(m_gridMembers);
    SortListById<&CUnit::m_unitNext, &CUnit::m_unitPrev>(m_units);
    SortListById<&CUnitWeapon::m_weaponNext, &CUnitWeapon::m_weaponPrev>(m_weapons);
}

namespace {
bool Saved(const CTessarakObject* o) {
    return !(o->m_flagsA & kFrameOnUpdateList);
}

// The class a saved world object is made of: its template's when the stored
// mask is the template's, else the class the stored mask names (0: none).
uint32_t LoadClass(const CTessarakObjectTemplate* tmpl, uint32_t stored, bool* byClass) {
    *byClass = stored == (tmpl->m_classMask & ~kClassTemplate);
    if (*byClass) return ClassMask_IsKnown(stored) ? stored : 0;
    if (stored & kClassUnit) return kMaskUnit;
    if (stored & kClassGridMember) return kMaskGridMember;
    return stored == kClassObject ? static_cast<uint32_t>(kMaskObject) : 0u;
}
}  // namespace

void CGameScene::SaveObjects(CStateArchive& ar) {
    uint32_t count = 0;
    for (CTessarakObject* o = m_allObjects; o; o = o->m_allNext)
        if (Saved(o)) ++count;
    ar.WriteU32(count);
    for (CTessarakObject* o = m_allObjects; o; o = o->m_allNext)
        if (Saved(o)) o->SaveState(ar);
}

bool CGameScene::LoadObjects(CStateArchive& ar) {
    // The block is read twice: a check of every record on scratch objects,
    // which makes nothing, and only then the objects themselves. They are
    // made from the last record to the first: the records come in the order
    // of the list of world objects (newest first), so making the oldest
    // first puts every list of the scene (pushed at the front) and every
    // group (joined at the back) in the order the saving world had, which
    // the simulation walks.
    size_t start = ar.GetPosition();
    CStateArchive::EMode mode = ar.GetMode();
    CPlayer* neutral = NeutralPlayer();
    std::vector<CTessarakObject*> made;
    std::vector<size_t> records;
    size_t end = start;
    bool ok = true;
    for (CStateArchive::EMode pass : {CStateArchive::kCheck, CStateArchive::kApply}) {
        // A checking archive only checks.
        if (pass == CStateArchive::kApply && mode == CStateArchive::kCheck) break;
        ar.Rewind(start);
        ar.SetReadMode(pass);
        ar.BeginRead(nullptr);
        uint32_t count = 0;
        ar.Count(count, 353);
        ok = ar.Ok();
        if (pass == CStateArchive::kCheck) end = ar.GetPosition();
        for (uint32_t n = 0; ok && n < count; ++n) {
            if (pass == CStateArchive::kCheck)
                records.push_back(ar.GetPosition());
            else
                ar.Rewind(records[count - 1 - n]);
            uint32_t templateId = ar.ReadU32();
            uint16_t projectId = ar.ReadU16();
            uint32_t stored = ar.ReadU32();
            CTessarakObjectTemplate* tmpl = FindTemplateById(projectId, static_cast<int32_t>(templateId));
            bool byClass = false;
            uint32_t mask = tmpl ? LoadClass(tmpl, stored, &byClass) : 0;
            if (!ar.Ok() || !mask) {
                ok = false;
                break;
            }
            if (pass == CStateArchive::kCheck) {
                CTessarakObject* scratch = ScratchObject(mask);
                scratch->m_template = tmpl;
                ok = scratch->LoadState(ar) && ar.Ok();
                scratch->m_template = nullptr;
                end = ar.GetPosition();
                continue;
            }
            uint32_t kind = mask == kMaskUnit         ? kKindUnit
                            : mask == kMaskGridMember ? kKindGridMember
                                                      : kKindObject;
            CTessarakObject* o =
                byClass ? CreateObjectByClass(tmpl, nullptr, neutral, -1)
                        : CreateObjectFromTemplate(tmpl, nullptr, m_rootFrame, kind, neutral, -1);
            if (!o) {
                ok = false;
                break;
            }
            made.push_back(o);
            ar.SetReadRoot(o);
            ok = o->LoadState(ar);
        }
        if (!ok) break;
    }
    ar.SetReadMode(mode);
    if (!ok) {
        for (CTessarakObject* o : made) delete o;
        return false;
    }
    ar.Rewind(end);
    if (mode == CStateArchive::kCheck) return true;
    // An object made later without a map id takes the next after the
    // loaded ones, on every machine that loaded the same state.
    for (CTessarakObject* o = m_allObjects; o; o = o->m_allNext) {
        o->AfterLoad();
        if (o->m_mapId > m_highestMapId) m_highestMapId = o->m_mapId;
    }
    return true;
}

void CGameScene::DefineStartPositions(int32_t count) {
    count = count < 0 ? 0 : count;
    m_startX.assign(static_cast<size_t>(count), 0.0f);
    m_startZ.assign(static_cast<size_t>(count), 0.0f);
}

bool CGameScene::SetStartPosition(int32_t index, float x, float z) {
    if (index < 0 || index >= StartPositionCount()) return false;
    m_startX[static_cast<size_t>(index)] = x;
    m_startZ[static_cast<size_t>(index)] = z;
    return true;
}

// ---- players

CPlayerList* CGameScene::Players() const {
    return m_world.Players();
}

CPlayer* CGameScene::LocalPlayer() const {
    CPlayerList* players = Players();
    return players ? players->m_local : nullptr;
}

CPlayer* CGameScene::NeutralPlayer() const {
    CPlayerList* players = Players();
    return players ? players->m_neutral : nullptr;
}

CPlayer* CGameScene::FindPlayerById(int32_t id) const {
    CPlayerList* players = Players();
    return players ? players->FindPlayerById(id) : nullptr;
}

void CGameScene::RegisterInterfaceOptions(CCommandInterpreter* ip) {
    const SCommandRow rows[] = {
        SCommandRow::Bool("Interfaceopt_ControlType", &m_controlType,
                          "Interface Options -> Default Control Type",
                          "Interfaceopt_ControlType(bool DefaultControlType);")
            .Config("Interface.cfg")
            .Context(this),
        SCommandRow::Bool("Interfaceopt_MajoritySelection", &m_majoritySelection,
                          "Interface Options -> Majority Selection",
                          "Interfaceopt_MajoritySelection(bool MajoritySelection);")
            .Config("Interface.cfg")
            .Context(this),
    };
    CommandTable_Register(ip, rows);
}
