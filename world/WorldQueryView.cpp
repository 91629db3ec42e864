#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
// The query's reads for the local player's interface: the HUD's economy,
// the radar's dots, the panels' units, the order paths, the build icons
// and the site tests of a placement. Nothing here changes the world.
#include <algorithm>

#include "core/Math.h"
#include "e3d/Frame.h"
#include "world/GameScene.h"
#include "world/Player.h"
#include "world/TessarakObject.h"
#include "world/Unit.h"
#include "world/UnitOrder.h"
#include "world/UnitTemplate.h"
#include "world/UnitWeapon.h"
#include "world/WaypointList.h"
#include "world/World.h"
#include "world/WorldGrid.h"
#include "world/WorldQuery.h"

namespace {

bool InPlay(const CTessarakObject* o) {
    if (!o || o->IsReleased() || (o->m_stateA & CTessarakObject::kA_Destroyed)) return false;
    return !o->IsUnit() || static_cast<const CUnit*>(o)->IsAlive();
}

const CUnitTemplate* UnitTemplateOf(const CTessarakObjectTemplate* t) {
    return t && (t->m_classMask & kClassUnit) ? static_cast<const CUnitTemplate*>(t) : nullptr;
}

// The work on a unit: its build value over its template's build time.
float BuiltFraction(const CTessarakObject* work) {
    if (!work || !work->IsUnit()) return 0.0f;
    const CUnit* u = static_cast<const CUnit*>(work);
    if (u->IsComplete()) return 1.0f;
    const CUnitTemplate* t = u->UnitTemplate();
    if (!t || !(t->m_buildTime > 0.0f)) return 0.0f;
    return std::min(1.0f, std::max(0.0f, u->m_powerWord1 / t->m_buildTime));  // its build value
}

// The first weapon below the unit (its reload bar), or null.
const CUnitWeapon* FirstWeapon(const CTessarakObject* o) {
    for (const CTessarakObject* c = o->FirstChildObject(); c; c = c->NextSiblingObject()) {
        if (c->IsWeapon()) return static_cast<const CUnitWeapon*>(c);
        if (const CUnitWeapon* w = FirstWeapon(c)) return w;
    }
    return nullptr;
}

}  // namespace

bool CWorldQuery::LocalPlayer(SPlayerView* out) const {
    const CPlayerList* players = m_world.Players();
    const CPlayer* p = players ? players->m_local : nullptr;
    if (!p || !Player(p->m_id, out)) return false;
    if (!out) return true;
    for (const CUnit* u = m_world.Scene().m_units; u; u = u->m_unitNext) {
        if (u->m_owner != p || !InPlay(u) || !u->IsComplete()) continue;
        ++out->units;
        if (!(u->m_unitState & CUnit::kU_Armed)) continue;
        if (u->m_unitState & CUnit::kU_Mobile)
            ++out->offensive;
        else
            ++out->defensive;
    }
    return true;
}

bool CWorldQuery::AlliedWithLocal(int32_t playerId) const {
    const CPlayerList* players = m_world.Players();
    if (!players || !players->m_local) return false;
    const CPlayer* p = players->FindPlayerById(playerId);
    return p && players->m_local->IsAlliedWith(p);
}

namespace {

void Describe(const CWorld& world, const CTessarakObject* o, SObjectView& v) {
    const CGameScene& scene = world.Scene();
    const CPlayerList* players = world.Players();
    const CPlayer* local = players ? players->m_local : nullptr;
    v = SObjectView();
    v.id = o->m_objectId;
    v.tmpl = o->m_template;
    v.name = !o->m_name.IsEmpty() ? o->m_name.GetText() : o->m_template ? o->m_template->DisplayName() : "";
    v.x = o->m_position[0];
    v.y = o->m_position[1];
    v.z = o->m_position[2];
    v.radius = o->m_objectRadius;
    v.power = o->m_power;
    v.maxPower = o->m_template ? o->m_template->m_power : o->m_maxPower;
    if (const CPlayer* owner = o->m_owner) {
        v.playerId = owner->m_id;
        if (!owner->IsNeutral())
            for (int i = 0; i < 3; ++i) v.colour[i] = owner->m_colour[i];
        if (owner == local) v.flags |= SObjectView::kLocal;
        if (local && local->IsAlliedWith(owner) && !owner->IsNeutral()) v.flags |= SObjectView::kAllied;
    }
    const uint8_t frameFlags = o->CE3DFrame::m_flagsA;
    if (!(frameFlags & (kFrameHidden | kFrameQueued)) && InPlay(o)) v.flags |= SObjectView::kShown;
    if (o->m_stateA & CTessarakObject::kA_Selected) v.flags |= SObjectView::kSelected;
    if (o->m_resourceSpot || (o->m_template && o->m_template->m_hasResource)) {
        v.flags |= SObjectView::kResource;
        v.resourceAmount = o->m_resourceAmount;
    }
    const bool revealed = players && players->m_revealAll;
    if ((v.flags & SObjectView::kAllied) || revealed ||
        !world.Grid().IsCellUnder120(o->m_position[0], o->m_position[2]))
        v.flags |= SObjectView::kSeen;
    if (o->IsGridMember()) v.flags |= SObjectView::kGridMember;
    if (!o->IsUnit()) {
        v.flags |= SObjectView::kComplete;
        return;
    }
    const CUnit* u = static_cast<const CUnit*>(o);
    const CUnitTemplate* t = u->UnitTemplate();
    v.flags |= SObjectView::kUnit;
    if (u->m_mode & 0x80) v.flags |= SObjectView::kOn;
    if (u->m_waypoints && u->m_waypoints->m_noPath) v.flags |= SObjectView::kNoPath;
    v.waitSignal = u->m_waitSignal;
    v.unitTmpl = t;
    if (u->IsComplete()) v.flags |= SObjectView::kComplete;
    if (u->m_unitState & CUnit::kU_Builder) v.flags |= SObjectView::kBuilder;
    if (u->m_unitState & CUnit::kU_Mobile) v.flags |= SObjectView::kMobile;
    if (u->m_unitState & CUnit::kU_Armed) v.flags |= SObjectView::kArmed;
    if (u->m_steeringFlags & CUnit::kT_PathPending) v.flags |= SObjectView::kPathing;
    if (u->m_areaByte && !(v.flags & SObjectView::kSeen)) v.flags |= SObjectView::kSeen;
    v.group = u->m_group;
    v.barTimer = u->m_selectionFade;
    if (t) {
        v.maxHeld = t->m_maxResourcesHeld;
        v.held = u->m_harvestLoad;
        v.giveEnergy = t->m_givesEnergy;
        v.takeEnergy = t->m_takesEnergy;
        if (t->m_hasRadar) v.flags |= SObjectView::kRadar;
        if (t->m_antiRadar) v.flags |= SObjectView::kAntiRadar;
        v.radarRange = t->m_radarRange;
        v.warpRange = t->m_warpMaxRange;
        if (t->m_reloadBar)
            if (const CUnitWeapon* w = FirstWeapon(u)) {
                const CUnitWeaponTemplate* wt = w->WeaponTemplate();
                const float full = wt ? wt->m_reloadTime : 0.0f;
                const float left = w->m_words[3];  // its reload timer
                v.reload = full > 0.0f ? std::min(1.0f, std::max(0.0f, 1.0f - left / full)) : 1.0f;
            }
    }
    // What it builds: a factory's product or a builder's site.
    const CTessarakObject* work = u->m_buildTarget.Get();
    const CUnitOrder* running = u->m_runningOrder;
    if (work && running && (running->m_type & (CUnitOrder::kProduce | CUnitOrder::kConstruct))) {
        v.building = work->m_template;
        v.buildFraction = BuiltFraction(work);
        const float full = work->m_template ? work->m_template->m_power : 0.0f;
        v.buildPower = full > 0.0f ? std::min(1.0f, work->m_power / full) : 0.0f;
    }
    (void)scene;
}

}  // namespace

bool CWorldQuery::Object(int32_t id, SObjectView* out) const {
    const CTessarakObject* o = id >= 0 ? m_world.Scene().m_idTable.Find(id) : nullptr;
    if (!o || !InPlay(o) || !o->IsWorldObject()) return false;
    if (out) Describe(m_world, o, *out);
    return true;
}

void CWorldQuery::Objects(uint32_t kinds, std::vector<SObjectView>& out) const {
    out.clear();
    const bool units = kinds == SObjectView::kUnit;
    if (units) {
        for (const CUnit* u = m_world.Scene().m_units; u; u = u->m_unitNext)
            if (InPlay(u) && u->IsWorldObject()) {
                out.emplace_back();
                Describe(m_world, u, out.back());
            }
        return;
    }
    for (const CTessarakObject* o = m_world.Scene().m_allObjects; o; o = o->m_allNext) {
        if (!InPlay(o)) continue;
        if (kinds) {
            uint32_t is =
                (o->IsUnit() ? SObjectView::kUnit : 0u) | (o->IsGridMember() ? SObjectView::kGridMember : 0u);
            if (!(is & kinds)) continue;
        }
        out.emplace_back();
        Describe(m_world, o, out.back());
    }
}

void CWorldQuery::Selection(std::vector<SObjectView>& out) const {
    out.clear();
    for (const CTessarakObject* o = m_world.Scene().m_allObjects; o; o = o->m_allNext)
        if ((o->m_stateA & CTessarakObject::kA_Selected) && InPlay(o)) {
            out.emplace_back();
            Describe(m_world, o, out.back());
        }
}

void CWorldQuery::Orders(int32_t unitId, std::vector<SOrderView>& out) const {
    out.clear();
    const CTessarakObject* o = unitId >= 0 ? m_world.Scene().m_idTable.Find(unitId) : nullptr;
    if (!o || !o->IsUnit() || !InPlay(o)) return;
    const CUnit* u = static_cast<const CUnit*>(o);
    if (!u->m_orderList) return;
    int32_t index = 0;
    for (const CUnitOrder* order = u->m_orderList->LastChild(); order; order = order->Prev(), ++index) {
        SOrderView v;
        v.type = order->m_type;
        v.index = index;
        v.running = order == u->m_runningOrder;
        v.sent = order->m_sent != 0 || v.running;
        v.finished = order->m_finished != 0;
        const CTessarakObject* target = nullptr;
        switch (order->m_type) {
            case CUnitOrder::kMove:
            case CUnitOrder::kPatrol:
                v.hasPoint = true;
                v.x = order->m_target[0];
                v.y = order->m_target[1];
                v.z = order->m_target[2];
                break;
            case CUnitOrder::kAttack: {
                const CAttackOrder* a = static_cast<const CAttackOrder*>(order);
                if (a->m_ground) {
                    v.hasPoint = true;
                    v.x = order->m_destination[0];
                    v.y = order->m_destination[1];
                    v.z = order->m_destination[2];
                } else {
                    target = a->m_targetLink.Get();
                }
                break;
            }
            case CUnitOrder::kGuard:
            case CUnitOrder::kGoToObject:
                target = static_cast<const CTargetOrder*>(order)->m_targetLink.Get();
                break;
            case CUnitOrder::kConstruct:
            case CUnitOrder::kProduce: {
                const CBuildOrder* b = static_cast<const CBuildOrder*>(order);
                v.item = b->m_template;
                v.repeat = b->m_repeat != 0;
                if (order->m_type == CUnitOrder::kConstruct) {
                    v.hasPoint = true;
                    v.x = order->m_destination[0];
                    v.y = order->m_destination[1];
                    v.z = order->m_destination[2];
                }
                break;
            }
            default:
                break;
        }
        if (target && InPlay(target)) {
            v.hasPoint = true;
            v.x = target->m_position[0];
            v.y = target->m_position[1];
            v.z = target->m_position[2];
        }
        out.push_back(v);
    }
}

void CWorldQuery::BuildList(int32_t builderId, std::vector<SBuildItemView>& out) const {
    out.clear();
    const CTessarakObject* o = builderId >= 0 ? m_world.Scene().m_idTable.Find(builderId) : nullptr;
    if (!o || !o->IsUnit() || !InPlay(o)) return;
    const CUnit* u = static_cast<const CUnit*>(o);
    const CUnitTemplate* t = u->UnitTemplate();
    if (!t || !(u->m_unitState & CUnit::kU_Builder)) return;
    const CTessarakObject* work = u->m_buildTarget.Get();
    for (const SUnitBuildEntry* e = t->m_buildList; e; e = e->m_next) {
        SBuildItemView item;
        item.tmpl = e->m_template;
        if (!item.tmpl) continue;
        item.method = item.tmpl->m_buildMethod;
        // The method a builder uses for what it builds: its own.
        item.method = t->m_buildMethod;
        item.cost = item.tmpl->m_expense;
        item.singlePlayerOnly = item.tmpl->m_singlePlayerBuild != 0;
        item.restricted = m_world.Scene().m_buildRestrictionMode && !item.tmpl->m_noBuildRestriction;
        if (u->m_orderList)
            for (const CUnitOrder* order = u->m_orderList->LastChild(); order; order = order->Prev()) {
                if (!(order->m_type & (CUnitOrder::kProduce | CUnitOrder::kConstruct))) continue;
                const CBuildOrder* b = static_cast<const CBuildOrder*>(order);
                if (b->m_template != item.tmpl || order->m_finished) continue;
                if (order->m_type == CUnitOrder::kConstruct)
                    ++item.sites;
                else if (b->m_repeat)
                    ++item.repeating;
                else
                    ++item.queued;
            }
        if (work && work->m_template == item.tmpl) {
            item.inProduction = true;
            item.progress = BuiltFraction(work);
        }
        out.push_back(item);
    }
}

float CWorldQuery::FootprintOf(const CTessarakObjectTemplate* tmpl) const {
    const CUnitTemplate* t = UnitTemplateOf(tmpl);
    if (t && t->m_footprintRadius > 0.0f) return t->m_footprintRadius;
    return tmpl ? tmpl->m_collisionRadius : 0.0f;
}

bool CWorldQuery::NearQueuedSite(float x, float z, float radius) const {
    for (const CUnit* u = m_world.Scene().m_units; u; u = u->m_unitNext) {
        if (!InPlay(u) || !u->m_orderList) continue;
        for (const CUnitOrder* order = u->m_orderList->LastChild(); order; order = order->Prev()) {
            if (!(order->m_type & CUnitOrder::kConstruct)) continue;
            const float reach = radius + FootprintOf(static_cast<const CBuildOrder*>(order)->m_template);
            const float dx = x - order->m_destination[0], dz = z - order->m_destination[2];
            if (dx * dx + dz * dz < reach * reach) return true;
        }
    }
    return false;
}

bool CWorldQuery::SiteBlocked(const CTessarakObjectTemplate* structure, float x, float z) const {
    if (!structure) return true;
    const CWorldGrid& grid = m_world.Grid();
    if (!grid.m_layer[0].QueryAround(FootprintOf(structure), x, z)) return true;
    return grid.IsCellUnder120(x, z);
}

bool CWorldQuery::Hidden(float x, float z) const {
    return m_world.Grid().IsCellUnder200(x, z);
}

bool CWorldQuery::Unseen(float x, float z) const {
    return m_world.Grid().IsCellUnder120(x, z);
}

bool CWorldQuery::RadarCovers(float x, float z) const {
    return m_world.Scene().FindUnitCovering(x, z);
}

bool CWorldQuery::WatchingOnly() const {
    return m_world.Scene().Watching();
}

bool CWorldQuery::RevealAll() const {
    const CPlayerList* players = m_world.Players();
    return players && players->m_revealAll;
}

int32_t CWorldQuery::ControlType() const {
    return m_world.Scene().m_controlType;
}

bool CWorldQuery::MissionWon() const {
    return m_world.Scene().WinGame != 0;
}

bool CWorldQuery::MissionLost() const {
    return m_world.Scene().LooseGame != 0;
}

// ---- the view's services of the world door

void CWorld::PlayEventSound(int32_t playerId, int code) {
    // The race's announcer samples, by event code (CRace::kAnnouncerEvents).
    static const int kAnnouncerOf[] = {
        -1,
        -1,
        4 /* low power */,
        5 /* low resources */,
        0 /* base */,
        2 /* central */,
        -1,
        9 /* radar */,
        -1,
        10 /* construction */,
        11 /* unit */,
        3 /* harvester */,
        -1,
        6 /* mission completed */,
        7 /* mission failed */,
    };
    if (code < 0 || code >= static_cast<int>(sizeof kAnnouncerOf / sizeof kAnnouncerOf[0])) return;
    const int index = kAnnouncerOf[code];
    CPlayer* player = m_players ? m_players->FindPlayerById(playerId) : nullptr;
    if (index < 0 || !player || !player->m_race) return;
    player->PlayEventSound(player->m_race->m_announcer[index], code);
}

void CWorld::SetRadarPainter(CCellMapPainter* painter) {
    CCellMap& cells = Grid().m_cellMap;
    cells.m_painter = painter;
    if (painter) cells.PaintRadar();
}
