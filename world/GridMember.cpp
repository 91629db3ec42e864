#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
//
// The grid member's part of the records, after the base object's (and, in
// the sync image, after the base's children):
//   f32 x 3 the vector
//   link ids: general link, last attacker, carried object
//   f32 x 6 last coarse and fine registration places [sync: the third is left out]
//   u32 the word after them
//   u8 x 8 grid flags 0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80
//   u8 second grid flag 0x02
//   u8 the byte
//   f32 the float
// 66 bytes saved, 62 in sync.
#include "world/ExplosionManager.h"
#include "world/GameScene.h"
#include "world/GridMember.h"
#include "world/Player.h"
#include "world/SceneList.h"
#include "world/StateArchive.h"
#include "world/Unit.h"
#include "world/World.h"
#include "world/WorldGrid.h"

CGridMemberTemplate::CGridMemberTemplate(CGameScene* scene, CE3DFrame* parent, uint8_t topLevel,
                                         CProject* project)
    : CTessarakObjectTemplate(scene, parent, topLevel, project) {
    m_classMask |= kClassGridMember;
    if (topLevel) CGridMemberTemplate::SetOnSceneList(true);
}

CGridMemberTemplate::~CGridMemberTemplate() {
    CGridMemberTemplate::SetOnSceneList(false);
}

void CGridMemberTemplate::SetOnSceneList(bool on) {
    CTessarakObjectTemplate::SetOnSceneList(on);
    CGameScene* scene = m_gameScene;
    if (on == (m_onGridList != 0)) return;
    constexpr auto next = &CGridMemberTemplate::m_gridNext;
    constexpr auto prev = &CGridMemberTemplate::m_gridPrev;
    if (on)
        SceneList_PushFront<next, prev>(scene->m_gridTemplates, &scene->m_gridTemplateCount, this);
    else
        SceneList_Unlink<next, prev>(scene->m_gridTemplates, &scene->m_gridTemplateCount, this);
    m_onGridList = on ? 1 : 0;
}

void CGridMemberTemplate::LoadProperties() {
    CTessarakObjectTemplate::LoadProperties();
    CPropertyList& cfg = m_config;
    CProperty* p;
    cfg.Find("TileSize");  // looked up; the value is not used
    p = cfg.Find("InvisibleToPathfinding");
    m_invisibleToPathfinding = p && p->GetInt() != 0;
    p = cfg.Find("BuildTime");
    m_buildTime = p ? p->GetFloat() : 1.0f;
    p = cfg.Find("SplashDamageModifier");
    m_splashDamageModifier = p ? p->GetFloat() : 1.0f;
    p = cfg.Find("Expense");
    m_expense = p ? p->GetFloat() : 0.0f;
    p = cfg.Find("NoDebris");
    m_noDebris = p && p->GetInt() != 0;
    p = cfg.Find("NoYCollision");
    m_noYCollision = p && p->GetInt() != 0;
    p = cfg.Find("AbsoluteStill");
    m_absoluteStill = p && p->GetInt() != 0;
}

CGridMember::CGridMember(CGameScene* scene, CTessarakObjectTemplate* tmpl, CE3DFrame* parent,
                         const float* position, uint8_t worldObject, CPlayer* owner, int32_t id)
    : CTessarakObject(scene, tmpl, parent, position, worldObject, nullptr, id) {
    m_classMask |= kClassGridMember;
    m_previousPosition[0] = m_previousPosition[2] = -1000000.0f;
    if (worldObject) {
        SceneList_PushFront<&CGridMember::m_gridNext, &CGridMember::m_gridPrev>(
            scene->m_gridMembers, &scene->m_gridMemberCount, this);
        m_onSceneList = 1;
    }
    SetOwner(owner);
    m_gridFlags &= ~kG_Complete;
}

CGridMember::~CGridMember() {
    LeaveGridLayers();
    LeaveSceneList();
}

void CGridMember::LeaveSceneList() {
    if (!m_onSceneList) return;
    SceneList_Unlink<&CGridMember::m_gridNext, &CGridMember::m_gridPrev>(
        m_gameScene->m_gridMembers, &m_gameScene->m_gridMemberCount, this);
    m_onSceneList = 0;
}

void CGridMember::JoinOwnerCategories(CPlayer* newOwner) {
    CTessarakObject::JoinOwnerCategories(newOwner);
    if (!IsUnit()) AddMembership(&newOwner->m_categories[CPlayer::kCategoryStructures]);
}

bool CGridMember::CreateFromTemplate(CTessarakObjectTemplate* tmpl) {
    if (!tmpl) return false;
    bool noY =
        (tmpl->m_classMask & kClassGridMember) && static_cast<CGridMemberTemplate*>(tmpl)->m_noYCollision;
    if (noY)
        m_gridFlags |= kG_NoYCollision;
    else
        m_gridFlags &= ~kG_NoYCollision;
    CTessarakObject::CreateFromTemplate(tmpl);
    if (!IsUnit() && m_attachment && m_owner) {
        CObjectGroup* structures = &m_owner->m_categories[CPlayer::kCategoryStructures];
        if (!IsMemberOf(structures)) AddMembership(structures);
    }
    if (m_gridFlags & kG_NoYCollision)
        m_gridFlags2 |= kG2_NoYCollision;
    else
        m_gridFlags2 &= ~kG2_NoYCollision;
    return true;
}

void CGridMember::Release() {
    if (IsReleased()) return;
    LeaveGridLayers();
    ReleaseCarried();
    LeaveSceneList();
    CTessarakObject::Release();
}

uint32_t CGridMember::GridTraits() const {
    return (IsUnit() ? kGridUnit : 0u) | ((m_gridFlags & kG_Complete) ? kGridReady : 0u);
}

bool CGridMember::GridIsAlliedWith(const CPlayer* player) const {
    return m_owner && m_owner->IsAlliedWith(player);
}

void CGridMember::LeaveGridLayers() {
    CWorldGrid* grid = WorldGrid();
    if (!grid) return;
    grid->Unlink(*this);
    grid->RemoveFootprint(*this);
}

void CGridMember::UnlinkFromLayers() {
    if (CWorldGrid* grid = WorldGrid()) grid->Unlink(*this);
}

void CGridMember::EnterGrid() {
    CWorldGrid* grid = WorldGrid();
    if (!grid) return;
    // A unit that collides in y, and any scaffold, occupies no cells.
    bool footprint = !IsMarked() && (!IsUnit() || (m_gridFlags & kG_NoYCollision));
    if (footprint)
        grid->MarkFootprint(*this, m_position[0], m_position[2], m_footprintHalfSize);
    else
        grid->RemoveFootprint(*this);
    grid->Link(*this, m_position[0], m_position[2], m_position[0], m_position[2]);
}

void CGridMember::ReleaseCarried() {
    CTessarakObject* carried = m_carried.Get();
    if (!carried) return;
    CExplosionManager* explosions = Explosions();
    if ((m_gridFlags & kG_Complete) && explosions)
        explosions->ExplodeObject(carried);
    else
        carried->RemoveFromGrid();
    m_carried.Clear();
}

void CGridMember::AfterLoad() {
    CTessarakObject::AfterLoad();
    LeaveGridLayers();
    // A part of another object, or a scaffold, that is not a unit stays out
    // of the grid.
    if (IsUnit() || (m_attachment && !IsMarked())) {
        EnterGrid();
        // A unit stands in the fine layer where it last registered there (its
        // look-ahead point then), as it did in the world that saved it: the
        // units that look for others ahead of them find it in the same cell.
        CWorldGrid* grid = WorldGrid();
        if (grid && IsUnit() && m_lastFinePosition[0] > kFarOff && m_lastFinePosition[2] > kFarOff)
            grid->m_layer[1].Link(*this, m_lastFinePosition[0], m_lastFinePosition[2]);
    }
    const CObjectIdTable& table = m_gameScene->m_idTable;
    m_generalLink.Resolve(table);
    m_lastAttacker.Resolve(table);
    m_carried.Resolve(table);
}

void CGridMember::TransferPart(CStateArchive& ar, bool sync) {
    ar.F32s(m_vector, 3);
    m_generalLink.Transfer(ar);
    m_lastAttacker.Transfer(ar);
    m_carried.Transfer(ar);
    // The six words: the last coarse and fine registration places.
    ar.F32(m_lastGridPosition[0]);
    ar.F32(m_lastGridPosition[1]);
    if (!sync) ar.F32(m_lastGridPosition[2]);
    ar.F32s(m_lastFinePosition, 3);
    ar.U32(m_word);
    for (int bit = 0x01; bit <= 0x80; bit <<= 1) ar.Bit(m_gridFlags, static_cast<uint8_t>(bit));
    ar.Bit(m_gridFlags2, kG2_Phasing);
    ar.U8(m_byte);
    ar.F32(m_float);
}

void CGridMember::WriteSyncState(CStateArchive& ar) {
    CTessarakObject::WriteSyncState(ar);
    TransferPart(ar, true);
}

int CGridMember::ReadSyncState(CStateArchive& ar) {
    int r = CTessarakObject::ReadSyncState(ar);
    if (r) return r;
    // While the network game holds the sync, the part is read but not taken,
    // so what follows it is still read from its place.
    CStateArchive::EMode mode = ar.GetMode();
    if (m_gameScene->m_syncHold) ar.SetReadMode(CStateArchive::kCheck);
    TransferPart(ar, true);
    ar.SetReadMode(mode);
    if (ar.IsApplying() && (m_gridFlags & kG_Complete) && m_float == 0.0f) SetVisibleFraction(1.0f);
    return ar.Ok() ? kSyncTaken : kSyncRefused;
}

void CGridMember::SaveState(CStateArchive& ar) {
    CTessarakObject::SaveState(ar);
    TransferPart(ar, false);
}

bool CGridMember::LoadState(CStateArchive& ar) {
    if (!CTessarakObject::LoadState(ar)) return false;
    TransferPart(ar, false);
    return ar.Ok();
}

void CGridMember::Relocate(CUnit*, float x, float z) {
    CExplosionManager* effects = Explosions();
    for (int i = 0; i < 3 && effects; ++i) effects->SpawnDust(m_position[0], m_position[1], m_position[2]);
    SetPosition(x, 0.0f, z);
    Invalidate();
    ResetMatrixHistory();
    if (CatchArrival()) return;
    for (int i = 0; i < 3 && effects; ++i) effects->SpawnDust(x, 0.0f, z);
    if (effects) effects->PlayWarpArrival(false, x, z);
}

bool CGridMember::CatchArrival() {
    const float x = m_position[0], z = m_position[2];
    const CUnit* catcher = m_gameScene->WarpCatcher(m_owner, x, z);
    if (!catcher) return false;
    m_stateC |= kC_Caught;
    m_gridFlags2 &= ~kG2_Catchable;
    ApplyDamage(nullptr, 0.0f, true);
    const CRace* race = catcher->m_owner ? catcher->m_owner->m_race : nullptr;
    CWorld* world = World();
    if (race && race->m_antiWarpObject && world)
        if (CTessarakObject* o = world->CreateUnit(race->m_antiWarpObject, x, z, m_gameScene->NeutralPlayer(),
                                                   m_gameScene->m_idTable.NewId()))
            o->Activate();
    if (CExplosionManager* effects = Explosions()) effects->PlayWarpArrival(true, x, z);
    return true;
}
