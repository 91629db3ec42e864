#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
#include <algorithm>
#include <cstdarg>
#include <cstdio>

#include "ai/AIGroup.h"
#include "ai/AIManager.h"
#include "ai/ComputerPlayer.h"
#include "ai/LearningFiles.h"
#include "core/Math.h"
#include "core/StrBuf.h"
#include "world/UnitTemplate.h"
#include "world/World.h"

namespace {
constexpr uint64_t kSecond = 1000000;     // an "AI second" of game time
constexpr uint64_t kDecayTime = 5000000;  // game time between two fadings of the grid
constexpr int32_t kPhaseCount = CComputerPlayer::kPhases;
constexpr float kParameterLimit = 1000000.0f;

// The parameters in the order they are made: name, kind, default, spread.
const SAIParameter kParameters[AIParameter_Count] = {
    {"minDistanceBetweenBuildings", SAIParameter::kInt, 4, 1, 0},
    {"minDistanceForGroup", SAIParameter::kInt, 3, 1, 0},
    {"DefendRadius", SAIParameter::kInt, 15, 5, 0},
    {"buildDelay", SAIParameter::kInt, 0, 0, 0},
    {"FirstAttackDelay", SAIParameter::kInt, 180, 30, 0},
    {"FirstSpyDelay", SAIParameter::kInt, 60, 0, 0},
    {"AttackDelay", SAIParameter::kInt, 10, 3, 0},
    {"InstantAttack", SAIParameter::kBool, 0, 0, 0},
    {"NrOfGroupsAttackingTogether", SAIParameter::kInt, 1, 0, 0},  // read from the files; no decision uses it
    {"wantNumberOfAttackingGroups", SAIParameter::kInt, 5, 2, 0},
    {"wantNumberOfDefendingGroups", SAIParameter::kInt, 5, 2, 0},
    {"wantNumberOfSpyingGroups", SAIParameter::kInt, 5, 2, 0},
    {"numberInAttackGroups", SAIParameter::kInt, 8, 2, 0},
    {"numberInDefendGroups", SAIParameter::kInt, 4, 1, 0},
    {"numberInSpyGroups", SAIParameter::kInt, 2, 1, 0},
    {"cheating", SAIParameter::kInt, 70, 0, 0},
    {"lowResources", SAIParameter::kInt, 4000, 1000, 0},
    {"lowEnergy", SAIParameter::kInt, 100, 20, 0},
    {"attackDistanceIncrement", SAIParameter::kFloat, 25.0f, 5.0f, 0},
    {"forgettingForCollisionGrid", SAIParameter::kInt, 5, 1, 0},
    {"minDistanceToOwnUnitsForWarpNukeToLaunch", SAIParameter::kInt, 10, 2, 0},
    {"timeBetweenWarpTargetUpdates", SAIParameter::kInt, 10, 0, 0},
};
}  // namespace

static_assert(static_cast<int>(CComputerPlayer::kParameterCount) == AIParameter_Count,
              "one row per parameter");

std::vector<SAIParameter> AIParameter_Defaults() {
    return std::vector<SAIParameter>(kParameters, kParameters + AIParameter_Count);
}

void AIParameter_Reroll(SAIParameter& p, CRandomStream& random) {
    switch (p.kind) {
        case SAIParameter::kInt: {
            const int32_t def = static_cast<int32_t>(p.def), spread = static_cast<int32_t>(p.spread);
            p.value = static_cast<float>(spread < 1 ? def : random.Rand() % (2 * spread) + def - spread);
            break;
        }
        case SAIParameter::kFloat:
            p.value = p.spread <= 0.0f ? p.def : random.Random01() * p.spread * 2.0f + p.def - p.spread;
            break;
        case SAIParameter::kBool:
            p.value = p.def != 0.0f ? 1.0f : 0.0f;
            break;
    }
}

bool AIParameter_Read(const CAIFile& file, SAIParameter& p) {
    float first = 0.0f, second = 0.0f;
    if (!file.FindNumbers(p.name, &first, &second, p.kind != SAIParameter::kFloat)) return false;
    // A number the file cannot mean (not finite, or beyond what any
    // setting needs) is cut to +-1,000,000; an int parameter is whole.
    auto sane = [&p](float v) {
        v = v == v && v < kParameterLimit ? (v > -kParameterLimit ? v : -kParameterLimit) : kParameterLimit;
        return p.kind == SAIParameter::kFloat ? v : static_cast<float>(Math_Truncate(v));
    };
    first = sane(first);
    second = sane(second);
    if (p.kind == SAIParameter::kBool) {
        // A first number other than 0 switches it on; 0 leaves it as it is.
        if (first != 0.0f) p.def = 1.0f;
    } else {
        // A spread above the default is cut to the default.
        p.def = first;
        p.spread = second > first ? first : second;
    }
    return true;
}

CComputerPlayer::CComputerPlayer(CAIManager& manager, CWorld& world, int32_t playerId, uint32_t seed)
    : m_manager(manager), m_world(world), m_playerId(playerId), m_random(seed) {
    char name[32];
    std::snprintf(name, sizeof name, "Computer %d", static_cast<int>(playerId));
    m_name = name;
    m_parameters = AIParameter_Defaults();
    for (SAIParameter& p : m_parameters) Reroll(p);
    m_units = &m_noUnits;
}

CComputerPlayer::~CComputerPlayer() = default;

void CComputerPlayer::Reroll(SAIParameter& p) {
    AIParameter_Reroll(p, m_random);
}

void CComputerPlayer::Reset() {
    const std::string& map = m_manager.MapName();
    if (map.empty()) return;
    const CWorldQuery& q = m_world.Query();
    SPlayerView player;
    if (!q.Player(m_playerId, &player)) return;
    m_raceName = m_manager.RaceNameOf(m_playerId);
    m_newUnits.clear();
    m_groups.clear();
    for (int32_t& c : m_groupCount) c = 0;
    int32_t left, top, right, bottom;
    q.MapRect(&left, &top, &right, &bottom);
    m_grid.Init(left, top, right, bottom);
    m_folded.clear();
    m_now = m_start = m_lastAttack = m_lastBuild = m_lastDecay = m_lastWarp = q.GameTime();
    m_harvestPossible = true;
    m_sites.clear();
    m_helpers.clear();
    BuildTree();
    ReadInitParameters();
    ReadTemplateFiles();
    m_active = true;
    m_learningMatch = false;
}

void CComputerPlayer::AddUnit(int32_t id) {
    if (m_active) m_newUnits.push_back(id);
}

std::vector<const SUnitView*> CComputerPlayer::Own() const {
    std::vector<const SUnitView*> own;
    for (const SUnitView& u : m_units->all)
        if (u.ownerId == m_playerId) own.push_back(&u);
    return own;
}

const SAIBase* CComputerPlayer::BaseOf(int32_t playerId) const {
    return m_manager.BaseOf(playerId);
}

// ---- the tick

void CComputerPlayer::SendEnergyHelp(float help, float given) {
    const float sent = m_energyHelpSent >= 0.0f ? m_energyHelpSent : given;
    if (help - sent > 0.1f || sent - help > 0.1f) {
        m_manager.SetEnergyHelp(m_playerId, help);
        m_energyHelpSent = help;
    }
}

void CComputerPlayer::WithdrawEnergyHelp() {
    SPlayerView player;
    if (m_world.Query().Player(m_playerId, &player) && player.energyHelp > 0.0f)
        SendEnergyHelp(0.0f, player.energyHelp);
}

void CComputerPlayer::Update(const SAIUnits& units) {
    if (!m_active) return;
    m_units = &units;
    const uint64_t time = m_world.Query().GameTime();
    m_now = time;
    m_elapsed = m_now - m_start;
    // The cheat: a share of what the player spent last tick comes back, as
    // any gift of resources does (the host's message to the session).
    SPlayerView player;
    if (m_world.Query().Player(m_playerId, &player)) {
        float factor = static_cast<float>(IntParameter(kCheating)) * 0.01f;
        if (factor > 1.0f) factor = 1.0f;
        const float spent = m_manager.SpentLastTick(m_playerId);
        if (spent > 0.0f && factor > 0.0f) m_manager.GiveResources(m_playerId, spent * factor);
        // The energy deficit: production is raised by the share of what
        // use exceeds it (the units' production, without the help given),
        // in every game. The help is the player's while the deficit lasts
        // and goes with it; it travels when it changes by more than a tenth
        // of a unit, so a steady deficit costs no message a tick.
        const float produced = player.energyProduced - player.energyHelp;
        const float deficit = player.energyConsumed - produced;
        SendEnergyHelp(deficit > 0.0f && factor > 0.0f ? deficit * factor : 0.0f, player.energyHelp);
    }
    BuildStep();
    switch (m_phase) {
        case 0:
            PhaseBases();
            break;
        case 1:
            PhaseCensus();
            break;
        case 2:
            PhaseSort();
            break;
        case 4:
            PhaseDefend();
            break;
        case 5:
            PhaseHarvest();
            break;
        case 6:
            PhaseGroups();
            break;
        case 7:
            PhaseDangerGrid();
            break;
        case 8:
            PhaseWarp();
            break;
        default:
            // 3, 9 and 10: nothing.
            break;
    }
    m_phase = m_phase + 1 >= kPhaseCount ? 0 : m_phase + 1;
    m_units = &m_noUnits;
}

void CComputerPlayer::PhaseBases() {
    m_manager.UpdateBases(*m_units);
}

void CComputerPlayer::DropLostMembers() {
    std::vector<std::unique_ptr<CAIGroup>> kept;
    for (auto& g : m_groups) {
        g->m_members.erase(std::remove_if(g->m_members.begin(), g->m_members.end(),
                                          [this](int32_t id) { return !m_units->Find(id); }),
                           g->m_members.end());
        if (!g->IsEmpty()) kept.push_back(std::move(g));
    }
    m_groups.swap(kept);
}

void CComputerPlayer::PhaseCensus() {
    DropLostMembers();
    for (int32_t& c : m_groupCount) c = 0;
    for (auto& g : m_groups)
        if (g->m_role >= 0 && g->m_role < 4) ++m_groupCount[g->m_role];
}

void CComputerPlayer::PhaseSort() {
    std::vector<int32_t> waiting;
    for (int32_t id : m_newUnits) {
        const SUnitView* u = m_units->Find(id);
        if (!u) continue;  // gone
        if (u->ownerId != m_playerId) continue;
        if (u->scripted || !u->complete) {
            waiting.push_back(id);  // a script's, or still being built: a later sorting
            continue;
        }
        if (u->mobile && u->armed) SortUnit(*u);
    }
    m_newUnits.swap(waiting);
}

void CComputerPlayer::SortUnit(const SUnitView& u) {
    int32_t role = kRoleAttack;
    if (!m_learningMatch) {
        const uint64_t firstAttack = static_cast<uint64_t>(IntParameter(kFirstAttackDelay)) * kSecond;
        const uint64_t firstSpy = static_cast<uint64_t>(IntParameter(kFirstSpyDelay)) * kSecond;
        const int32_t attack = m_elapsed > firstAttack
                                   ? IntParameter(kWantAttackingGroups) / (m_groupCount[kRoleAttack] + 1)
                                   : -1;
        const int32_t spy = m_elapsed > firstSpy && u.radius <= 0.5f
                                ? IntParameter(kWantSpyingGroups) / (m_groupCount[kRoleSpy] + 1)
                                : -1;
        const int32_t defend = IntParameter(kWantDefendingGroups) / (m_groupCount[kRoleDefend] + 1);
        role = defend >= spy && defend >= attack ? kRoleDefend
               : spy >= defend && spy >= attack  ? kRoleSpy
                                                 : kRoleAttack;
    }
    for (auto& g : m_groups)
        if (g->m_role == role && !g->m_full) {
            g->AddUnit(u.id);
            return;
        }
    std::unique_ptr<CAIGroup> g(new CAIGroup(*this));
    g->m_role = role;
    const EParameter size = role == kRoleAttack   ? kNumberInAttackGroups
                            : role == kRoleDefend ? kNumberInDefendGroups
                                                  : kNumberInSpyGroups;
    Reroll(m_parameters[size]);
    g->m_size = IntParameter(size);
    ++m_groupCount[role];
    g->AddUnit(u.id);
    m_groups.push_back(std::move(g));
}

void CComputerPlayer::PhaseDefend() {
    const CWorldQuery& q = m_world.Query();
    // The intruder: the enemy's armed unit nearest to one of the player's
    // structures, within the defend radius.
    const float radius = static_cast<float>(IntParameter(kDefendRadius));
    float nearest = radius * radius;
    int32_t intruder = -1;
    std::vector<const SUnitView*> own = Own();
    std::vector<const SUnitView*> enemies;
    for (const SUnitView& e : m_units->all)
        if (e.armed && e.ownerId != m_playerId && !q.Allied(m_playerId, e.ownerId)) enemies.push_back(&e);
    for (const SUnitView* s : own) {
        if (s->mobile || (s->tmpl && s->tmpl->m_friendly)) continue;
        for (const SUnitView* e : enemies) {
            const float d = DistanceSquared2D(s->x, s->z, e->x, e->z);
            if (d < nearest) {
                nearest = d;
                intruder = e->id;
            }
        }
    }
    if (intruder >= 0) {
        bool taken = false;
        for (auto& g : m_groups)
            taken = taken || (g->m_state == CAIGroup::kAttacking && g->m_target == intruder);
        if (!taken) {
            const SUnitView* e = m_units->Find(intruder);
            CAIGroup* best = nullptr;
            float bestD = radius * 4.0f * radius * 4.0f;
            for (auto& g : m_groups) {
                const SUnitView* leader = m_units->Find(g->m_leader);
                if (g->m_state == CAIGroup::kAttacking || !leader) continue;
                const float d = DistanceSquared2D(leader->x, leader->z, e->x, e->z);
                if (d < bestD) {
                    bestD = d;
                    best = g.get();
                }
            }
            if (best) {
                DebugPrintf("Sending group to attack dangerous unit!");
                best->SetAttackTarget(intruder, true);
            }
        }
    }
    // Every idle group that is full acts by its role; in a learning match
    // an attack group that is not full goes too (no more units come, and a
    // side's last few units would wait for ever).
    for (auto& g : m_groups) {
        if (g->m_state != CAIGroup::kIdle || !(g->m_full || (m_learningMatch && g->m_role == kRoleAttack)))
            continue;
        if (g->m_role == kRoleAttack) {
            if (!m_learningMatch) {
                if (m_elapsed <= static_cast<uint64_t>(IntParameter(kFirstAttackDelay)) * kSecond) {
                    DebugPrintf("Haven\xB4t reached first attack time!");
                    continue;
                }
                if (m_now - m_lastAttack <= static_cast<uint64_t>(IntParameter(kAttackDelay)) * kSecond)
                    continue;
            }
            const int32_t target = g->PickAttackTarget();
            if (target < 0) continue;
            const SUnitView* t = m_units->Find(target);
            DebugPrintf("Sending group to attack %s!", t && t->tmpl ? t->tmpl->m_name.GetText() : "");
            const bool instant = m_parameters[kInstantAttack].value != 0.0f;
            g->SetAttackTarget(target, instant);
            m_lastAttack = m_now;
        } else if (g->m_role == kRoleDefend) {
            // The most valuable structure or harvester that no group guards.
            const SUnitView* best = nullptr;
            for (const SUnitView* u : own) {
                bool guarded = false;
                for (auto& o : m_groups) guarded = guarded || o->m_guarded == u->id;
                if (guarded || ((u->mobile || u->armed) && !u->harvester)) continue;
                if (!best || u->cost > best->cost) best = u;
            }
            if (best) {
                DebugPrintf("Sending group to defend %s!", best->tmpl ? best->tmpl->m_name.GetText() : "");
                g->Guard(best->id);
            }
        } else if (g->m_role == kRoleSpy) {
            DebugPrintf("Sending group to spy!");
            g->StartSpy();
        }
    }
}

void CComputerPlayer::PhaseHarvest() {
    // An idle harvester is told to harvest where it stands: its order finds
    // the nearest field of its kind from there.
    for (const SUnitView* u : Own()) {
        if (!u->harvester || !u->complete || u->running || u->orders || u->scripted) continue;
        m_world.Commands().HarvestAt({u->id}, u->x, u->z, 0);
    }
}

void CComputerPlayer::PhaseGroups() {
    DropLostMembers();
    for (size_t i = 0; i < m_groups.size(); ++i) m_groups[i]->Update();
}

void CComputerPlayer::FlushUnit(int32_t id, float x, float z, float valueLost, float valueDestroyed) {
    float lost = valueLost, destroyed = valueDestroyed;
    auto it = m_folded.find(id);
    if (it != m_folded.end()) {
        lost -= it->second.first;
        destroyed -= it->second.second;
        m_folded.erase(it);
    }
    const int32_t up = lost > 0.0f ? Math_Truncate(lost * 0.1f) : 0;
    const int32_t down = destroyed > 0.0f ? Math_Truncate(destroyed * -0.1f) : 0;
    if (up) m_grid.AddAround(x, z, up);
    if (down) m_grid.AddAround(x, z, down);
}

void CComputerPlayer::PhaseDangerGrid() {
    // What every unit lost or destroyed since the grid last took it, once it
    // is more than 10: lost value raises the cells around it, destroyed
    // value lowers them.
    for (const SUnitView& u : m_units->all) {
        std::pair<float, float>& folded = m_folded[u.id];
        const float lost = u.valueLost - folded.first;
        if (lost > 10.0f) {
            m_grid.AddAround(u.x, u.z, Math_Truncate(lost * 0.1f));
            folded.first = u.valueLost;
        }
        const float destroyed = u.valueDestroyed - folded.second;
        if (destroyed > 10.0f) {
            m_grid.AddAround(u.x, u.z, Math_Truncate(destroyed * -0.1f));
            folded.second = u.valueDestroyed;
        }
    }
    if (m_now - m_lastDecay > kDecayTime) {
        m_grid.Fade();
        m_lastDecay = m_now;
    }
}

// ---- warp nukes and warp units

// One warp a throttle period ("timeBetweenWarpTargetUpdates", in AI seconds
// of game time as every other delay here): the first own nuke that finds a
// target is launched; when none is, the first warp unit is sent toward the
// enemy (and the period starts again whether it found a target or not). A
// nuke that has an order already is on its way.
void CComputerPlayer::PhaseWarp() {
    const uint64_t throttle =
        static_cast<uint64_t>(std::max(IntParameter(kTimeBetweenWarpTargetUpdates), 0)) * kSecond;
    if (m_now - m_lastWarp <= throttle) return;
    std::vector<const SUnitView*> nukes, gates;
    for (const SUnitView* u : Own()) {
        if (!u->tmpl || !u->complete || u->scripted) continue;
        if (u->tmpl->m_warpNuke && !u->running && !u->orders)
            nukes.push_back(u);
        else if (u->tmpl->m_canWarp && !u->tmpl->m_warpNuke)
            gates.push_back(u);
    }
    if (nukes.empty() && gates.empty()) return;
    const int32_t enemy = PickTargetPlayer();
    if (enemy < 0) return;
    SPlayerView player;
    const float ratio = m_world.Query().Player(m_playerId, &player) ? player.energyRatio : 0.0f;
    float x, z;
    for (const SUnitView* u : nukes)
        if (PickNukeTarget(*u, enemy, ratio, &x, &z)) {
            DebugPrintf("Launching warp nuke at %.0f, %.0f!", x, z);
            m_world.Commands().AttackGround({u->id}, x, z, 0);
            m_lastWarp = m_now;
            return;
        }
    if (gates.empty()) return;
    if (PickWarpTarget(enemy, &x, &z)) {
        DebugPrintf("Sending warp unit to %.0f, %.0f!", x, z);
        IssueMoveNear(gates.front()->id, x, z, 0.0f);
    }
    m_lastWarp = m_now;
}

// The enemy's unit whose burst destroys most: the nuke value of a unit is
// the cost of the enemy's units within the nuke's DamageRadius of it. Units
// within "minDistanceToOwnUnitsForWarpNukeToLaunch" of an own unit are
// passed over, and so are those an enemy's anti-warp unit covers (its
// WarpMaxRange) and those beyond the nuke's reach (WarpMaxRange x the
// energy ratio), where the world would refuse the jump.
bool CComputerPlayer::PickNukeTarget(const SUnitView& nuke, int32_t enemy, float ratio, float* x,
                                     float* z) const {
    const CWorldQuery& q = m_world.Query();
    const float minDistance = static_cast<float>(IntParameter(kMinDistanceToOwnUnitsForWarpNuke));
    const float reach = nuke.tmpl->m_warpMaxRange * ratio;
    const float blast = nuke.tmpl->m_damageRadius;
    std::vector<const SUnitView*> own, theirs, jammers;
    for (const SUnitView& u : m_units->all) {
        if (u.ownerId == m_playerId)
            own.push_back(&u);
        else if (u.ownerId == enemy)
            theirs.push_back(&u);
        if (u.tmpl && u.tmpl->m_antiWarp && u.complete && u.ownerId != m_playerId &&
            !q.Allied(m_playerId, u.ownerId))
            jammers.push_back(&u);
    }
    const SUnitView* best = nullptr;
    float bestValue = 0.0f;
    for (const SUnitView* t : theirs) {
        if (DistanceSquared2D(nuke.x, nuke.z, t->x, t->z) > reach * reach) continue;
        bool skip = false;
        for (const SUnitView* o : own)
            skip = skip || DistanceSquared2D(o->x, o->z, t->x, t->z) < minDistance * minDistance;
        for (const SUnitView* j : jammers) {
            const float r = j->tmpl->m_warpMaxRange;
            skip = skip || DistanceSquared2D(j->x, j->z, t->x, t->z) < r * r;
        }
        if (skip) continue;
        float value = 0.0f;
        for (const SUnitView* o : theirs)
            if (DistanceSquared2D(o->x, o->z, t->x, t->z) < blast * blast) value += o->cost;
        if (!best || value > bestValue) {
            best = t;
            bestValue = value;
        }
    }
    if (!best) return false;
    *x = best->x;
    *z = best->z;
    return true;
}

// The enemy's first harvester; without one, the unit whose template gives
// the most energy.
bool CComputerPlayer::PickWarpTarget(int32_t enemy, float* x, float* z) const {
    const SUnitView* best = nullptr;
    for (const SUnitView& u : m_units->all) {
        if (u.ownerId != enemy || !u.tmpl) continue;
        if (u.tmpl->m_harvestType > 0) {
            best = &u;
            break;
        }
        if (u.tmpl->m_givesEnergy > 0.0f && (!best || u.tmpl->m_givesEnergy > best->tmpl->m_givesEnergy))
            best = &u;
    }
    if (!best) return false;
    *x = best->x;
    *z = best->z;
    return true;
}

// ---- orders

void CComputerPlayer::IssueMove(int32_t unit, float x, float z) {
    const SUnitView* u = m_units->Find(unit);
    // A warp unit does not drive: its move is where it sends the units on it.
    if (!u || u->scripted || !(u->mobile || (u->tmpl && u->tmpl->m_canWarp))) return;
    int32_t left, top, right, bottom;
    m_world.Query().MapRect(&left, &top, &right, &bottom);
    const float r = u->radius;
    x = std::max(static_cast<float>(left) + r, std::min(static_cast<float>(right) - r, x));
    z = std::max(static_cast<float>(bottom) + r, std::min(static_cast<float>(top) - r, z));
    m_world.Commands().Move({unit}, x, z, 0);
}

void CComputerPlayer::IssueMoveNear(int32_t unit, float x, float z, float radius) {
    const float angle = DegToRad(static_cast<float>(m_random.Rand() % 360));
    IssueMove(unit, x + Math_Sin(angle) * radius, z + Math_Cos(angle) * radius);
}

void CComputerPlayer::IssueAttack(const std::vector<int32_t>& units, int32_t target) {
    if (!units.empty()) m_world.Commands().Attack(units, target, 0);
}

void CComputerPlayer::StopUnits(const std::vector<int32_t>& units) {
    std::vector<int32_t> free;
    for (int32_t id : units) {
        const SUnitView* u = m_units->Find(id);
        if (u && !u->scripted) free.push_back(id);
    }
    if (!free.empty()) m_world.Commands().Stop(free);
}

int32_t CComputerPlayer::PickTargetPlayer() {
    const CWorldQuery& q = m_world.Query();
    std::vector<int32_t> enemies;
    for (const SPlayerView& p : q.Players()) {
        if (p.neutral || p.outOfGame || p.id == m_playerId || q.Allied(m_playerId, p.id)) continue;
        bool hasUnits = false;
        for (const SUnitView& u : m_units->all)
            if (u.ownerId == p.id) {
                hasUnits = true;
                break;
            }
        if (hasUnits) enemies.push_back(p.id);
    }
    if (enemies.empty()) {
        if (!m_saidNoTarget) DebugPrintf("No player to attack!!!");
        m_saidNoTarget = true;
        return -1;
    }
    m_saidNoTarget = false;
    return enemies[static_cast<size_t>(m_random.Rand()) % enemies.size()];
}

void CComputerPlayer::SendGroupToAttack() {
    for (auto& g : m_groups) {
        const int32_t target = g->PickAttackTarget();
        if (target < 0) continue;
        const SUnitView* t = m_units->Find(target);
        DebugPrintf("Sending group to attack %s!", t && t->tmpl ? t->tmpl->m_name.GetText() : "");
        g->SetAttackTarget(target, m_parameters[kInstantAttack].value != 0.0f);
    }
}

void CComputerPlayer::DebugPrintf(const char* format, ...) {
    if (!m_manager.Debug()) return;
    char text[200];
    va_list ap;
    va_start(ap, format);
    std::vsnprintf(text, sizeof text, format, ap);
    va_end(ap);
    int rgb[3] = {255, 255, 255};
    SPlayerView p;
    if (m_world.Query().Player(m_playerId, &p))
        for (int i = 0; i < 3; ++i) rgb[i] = Math_Truncate(p.colour[i]);
    if (CAIMonitor* monitor = m_manager.Monitor()) monitor->AppendHistory(m_name, text);
    CStrBuf line;
    line.Format("%s: %s", m_name.c_str(), text);
    m_world.Console().PrintColor(rgb[0], rgb[1], rgb[2], true, line.GetText());
}

// ---- the learning files

bool CComputerPlayer::OpenLearningFile(const char* name, int numbers, bool mapFirst, bool mapOnly,
                                       CAIFile* file) {
    for (int pass = 0; pass < 2; ++pass) {
        const bool map = (pass == 0) == (mapFirst || mapOnly);
        if (!map && mapOnly) break;
        std::string path;
        if (map) {
            const std::string& folder = m_manager.MapFolder();
            if (folder.empty()) continue;
            path = folder + "\\AI\\" + m_raceName + "\\" + name;
        } else {
            path = m_manager.ValuesFolder() + "\\" + m_raceName + "\\" + name;
        }
        if (file->Open(path.c_str(), numbers) == CAIFile::kRead) return true;
    }
    return false;
}

void CComputerPlayer::ReadInitParameters() {
    CAIFile file;
    const std::string name = AIFile_Name("InitParameters", m_manager.FileIndex());
    if (!OpenLearningFile(name.c_str(), AIFile_InitParameterNumbers, true, false, &file)) return;
    for (SAIParameter& p : m_parameters)
        if (AIParameter_Read(file, p)) Reroll(p);
}
