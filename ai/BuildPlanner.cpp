#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
//
// The build planner of a computer player: at most once per "buildDelay" it
// scores what its race can build (resource and energy demand, the build
// fitness from the learning files over the number alive, a push for the
// builders of what it wants), orders the best it can afford from a free
// builder (inside the builder, or at a free site the builder can reach), and
// sends idle site builders to help constructions under way.
#include <cstdio>
#include <functional>

#include "ai/AIManager.h"
#include "ai/ComputerPlayer.h"
#include "ai/LearningFiles.h"
#include "core/Math.h"
#include "world/GameScene.h"
#include "world/UnitOrder.h"
#include "world/UnitTemplate.h"
#include "world/World.h"

namespace {
constexpr uint64_t kSecond = 1000000;

bool Builds(const CUnitTemplate* builder, const CUnitTemplate* t) {
    for (const SUnitBuildEntry* e = builder ? builder->m_buildList : nullptr; e; e = e->m_next)
        if (e->m_template == t) return true;
    return false;
}

bool IsUnitTemplate(const CTessarakObjectTemplate* t) {
    return t && (t->m_classMask & kClassUnit);
}

const CUnitTemplate* HarvesterOf(const CUnitTemplate* t) {
    const CTessarakObjectTemplate* h = t->m_harvestDepot;
    return IsUnitTemplate(h) && static_cast<const CUnitTemplate*>(h)->m_harvestType > 0
               ? static_cast<const CUnitTemplate*>(h)
               : nullptr;
}

float Footprint(const CUnitTemplate* t) {
    return t->m_footprintRadius > 0.0f ? t->m_footprintRadius : t->m_collisionRadius;
}

// A builder is busy while it runs a build order or has orders waiting.
bool Busy(const SUnitView& u) {
    return (u.running & (CUnitOrder::kProduce | CUnitOrder::kConstruct)) || u.orders > 0;
}
}  // namespace

// ---- the build tree

bool CComputerPlayer::Allowed(const CUnitTemplate* t) const {
    // What the map's build restriction leaves out, and what is built only
    // in a single-player game, the world refuses.
    if (!m_world.Commands().BuildAllowed(t)) return false;
    return !t->m_singlePlayerBuild || m_world.Scene().Objectives().GameType() == 0;
}

void CComputerPlayer::BuildTree() {
    m_knowledge.clear();
    SPlayerView player;
    if (!m_world.Query().Player(m_playerId, &player) || !IsUnitTemplate(player.startUnit)) return;
    const CUnitTemplate* root = static_cast<const CUnitTemplate*>(player.startUnit);
    auto find = [this](const CUnitTemplate* t) -> SKnowledge* {
        for (SKnowledge& x : m_knowledge)
            if (x.tmpl == t) return &x;
        return nullptr;
    };
    // Depth first down the build lists from the root, the first child
    // first; take says whether a template met under a builder is walked.
    auto walkFrom = [root](const std::function<bool(const CUnitTemplate*, const CUnitTemplate*)>& take) {
        std::vector<const CUnitTemplate*> walk{root};
        while (!walk.empty()) {
            const CUnitTemplate* b = walk.back();
            walk.pop_back();
            std::vector<const CUnitTemplate*> children;
            for (const SUnitBuildEntry* e = b->m_buildList; e; e = e->m_next)
                if (IsUnitTemplate(e->m_template) && take(b, e->m_template))
                    children.push_back(e->m_template);
            for (auto it = children.rbegin(); it != children.rend(); ++it) walk.push_back(*it);
        }
    };
    // The buildable templates: the race's root, then each template once.
    SKnowledge k;
    k.tmpl = root;
    m_knowledge.push_back(k);
    walkFrom([&](const CUnitTemplate*, const CUnitTemplate* t) {
        if (find(t)) return false;
        SKnowledge c;
        c.tmpl = t;
        m_knowledge.push_back(c);
        return true;
    });
    // The build tree: from the root down what the player may build (not
    // what the map's restriction or the game's kind leaves out); each
    // template hangs under the builder where the walk first meets it, so no
    // template comes back on its own path.
    walkFrom([&](const CUnitTemplate* b, const CUnitTemplate* t) {
        SKnowledge* c = t != root && Allowed(t) ? find(t) : nullptr;
        if (!c || c->parent) return false;
        c->parent = b;
        return true;
    });
}

void CComputerPlayer::ReadTemplateFiles() {
    const int index = static_cast<int>(m_manager.FileIndex());
    CAIFile file;
    // The most alive at once: the map's file, else the shared one.
    bool open = OpenLearningFile(AIFile_Name("MaxNumberOfUnits", index).c_str(), AIFile_TemplateNumbers, true,
                                 false, &file);
    for (SKnowledge& k : m_knowledge) {
        float v = 0.0f;
        k.aliveMax = open && file.FindNumber(k.tmpl->m_name.GetText(), &v, true) ? Math_Truncate(v) : 10000;
    }
    // The most built in one game: the map's file only.
    open = OpenLearningFile(AIFile_Name("MaxNumberOfUnitsPerGame", index).c_str(), AIFile_TemplateNumbers,
                            true, true, &file);
    for (SKnowledge& k : m_knowledge) {
        float v = 0.0f;
        k.gameMax = open && file.FindNumber(k.tmpl->m_name.GetText(), &v, true) ? Math_Truncate(v) : 10000;
    }
    // The build fitness: the shared file, else the map's; a template the
    // file does not name gets the mean of those it names (50 of none).
    open = OpenLearningFile(AIFile_Name("BuildFitness", index).c_str(), AIFile_TemplateNumbers, false, false,
                            &file);
    int32_t sum = 0, count = 0;
    for (SKnowledge& k : m_knowledge) {
        float v = 0.0f;
        k.fitnessFound = open && file.FindNumber(k.tmpl->m_name.GetText(), &v, true);
        if (k.fitnessFound) {
            k.fitness = Math_Truncate(v);
            sum += k.fitness;
            ++count;
        }
    }
    const int32_t mean = count ? sum / count : 50;
    for (SKnowledge& k : m_knowledge)
        if (!k.fitnessFound) k.fitness = mean;
    ReadAttackStatistics();
}

void CComputerPlayer::ReadAttackStatistics() {
    // A mobile template that wins more than it loses is built more (a
    // structure a third as much): wins x 200 / matches - 100 is added.
    CAIFile stats;
    if (stats.Open(m_manager.StatisticsPath().c_str(), AIFile_StatisticsNumbers) != CAIFile::kRead) return;
    for (SKnowledge& k : m_knowledge) {
        float wins = 0.0f, matches = 0.0f;
        if (!IsUnitTemplate(k.tmpl) || !stats.FindNumbers(k.tmpl->m_name.GetText(), &wins, &matches, true) ||
            matches < 1.0f)
            continue;
        const int32_t delta = Math_Truncate(wins) * 200 / Math_Truncate(matches) - 100;
        k.fitness += k.tmpl->m_speed <= 0.0f ? delta / 3 : delta;
    }
}

int32_t CComputerPlayer::AliveCount(const CUnitTemplate* t) const {
    int32_t n = 0;
    for (const SUnitView& u : m_units->all)
        if (u.ownerId == m_playerId && u.tmpl == t) ++n;
    return n;
}

// ---- the decision

bool CComputerPlayer::IsWorthBuilding(const CUnitTemplate* t) const {
    if (!t || t->m_canTow || t->m_noAttackScan) return false;
    return HarvesterOf(t) || t->m_harvestType > 0 || t->m_hasSpot || t->m_givesEnergy > 0.0f ||
           t->m_givesResources > 0.0f || t->m_weaponCount > 0 || t->m_canBuild || t->m_hasRadar ||
           t->m_antiWarp || t->m_warpNuke;
}

bool CComputerPlayer::CanBuild(const SKnowledge& k, bool skipBusy) const {
    if (!Allowed(k.tmpl)) return false;
    if (AliveCount(k.tmpl) >= k.aliveMax || k.built >= k.gameMax) return false;
    for (const SUnitView& u : m_units->all) {
        if (u.ownerId != m_playerId || !u.builder || !u.complete) continue;
        if (skipBusy && Busy(u)) continue;
        if (Builds(u.tmpl, k.tmpl)) return true;
    }
    return false;
}

void CComputerPlayer::BuildStep() {
    bool anyBuilder = false;
    for (const SUnitView& u : m_units->all) anyBuilder = anyBuilder || (u.ownerId == m_playerId && u.builder);
    if (!anyBuilder || m_knowledge.empty()) return;
    Reroll(m_parameters[kBuildDelay]);
    if (m_now - m_lastBuild < static_cast<uint64_t>(std::max(0, IntParameter(kBuildDelay))) * kSecond) return;
    m_lastBuild = m_now;
    // Sites given up: their builders took up other work.
    m_sites.erase(std::remove_if(m_sites.begin(), m_sites.end(),
                                 [this](const SSite& s) {
                                     const SUnitView* b = m_units->Find(s.builder);
                                     return !b || !Busy(*b);
                                 }),
                  m_sites.end());

    SPlayerView player;
    m_world.Query().Player(m_playerId, &player);
    const float resources = player.resources;
    for (SKnowledge& k : m_knowledge) k.score = 0;
    // Resource demand.
    const int32_t lowResources = IntParameter(kLowResources);
    if (resources < static_cast<float>(lowResources)) {
        const int32_t need = (lowResources - Math_Truncate(resources)) * 10;
        for (SKnowledge& k : m_knowledge) {
            if (const CUnitTemplate* h = HarvesterOf(k.tmpl)) {
                SKnowledge* harvester = nullptr;
                for (SKnowledge& x : m_knowledge)
                    if (x.tmpl == h) harvester = &x;
                if (AliveCount(k.tmpl) > 0 && harvester)
                    harvester->score += need;
                else
                    k.score += need;
            }
            if (k.tmpl->m_hasSpot && m_harvestPossible && k.tmpl->m_expense > 0.0f)
                k.score += Math_Truncate(k.tmpl->m_givesResources / k.tmpl->m_expense) * need;
        }
    }
    // Energy demand.
    const float produced = player.energyProduced, used = player.energyConsumed;
    if (produced > 1.0f && produced < 10000.0f && used > 1.0f && used < 10000.0f) {
        const int32_t deficit = IntParameter(kLowEnergy) - Math_Truncate(produced - used);
        if (deficit > 0)
            for (SKnowledge& k : m_knowledge)
                if (k.tmpl->m_givesEnergy > 0.0f && k.tmpl->m_expense > 0.0f)
                    k.score += Math_Truncate(static_cast<float>(deficit) * k.tmpl->m_givesEnergy /
                                             k.tmpl->m_expense);
    }
    // A push for the builder of what has none.
    for (SKnowledge& k : m_knowledge) {
        if (!k.parent) continue;
        bool hasBuilder = false;
        for (const SUnitView& u : m_units->all)
            hasBuilder = hasBuilder || (u.ownerId == m_playerId && u.tmpl == k.parent);
        if (hasBuilder) continue;
        for (SKnowledge& p : m_knowledge)
            if (p.tmpl == k.parent) p.score += (k.fitness + k.score) / 10;
    }
    // The choice.
    const bool rich = resources > static_cast<float>(lowResources) &&
                      produced - used > -static_cast<float>(IntParameter(kCheating));
    const SKnowledge* best = nullptr;
    const SKnowledge* bestMobile = nullptr;
    float bestValue = 0.0f, bestMobileValue = 0.0f;
    for (const SKnowledge& k : m_knowledge) {
        if (!IsWorthBuilding(k.tmpl) || !CanBuild(k, rich)) continue;
        const float value = static_cast<float>(k.fitness) / static_cast<float>(AliveCount(k.tmpl) + 1) +
                            static_cast<float>(k.score);
        if (value > bestValue) {
            bestValue = value;
            best = &k;
        }
        if (k.tmpl->m_speed > 0.0f && value > bestMobileValue) {
            bestMobileValue = value;
            bestMobile = &k;
        }
    }
    // Only what the player can pay for.
    bool built = best && best->tmpl->m_expense < resources && Build(*best);
    if (!built && bestMobile && bestMobile != best && bestMobile->tmpl->m_expense < resources)
        Build(*bestMobile);
    SendHelpBuilding();
}

bool CComputerPlayer::Build(const SKnowledge& k) {
    const CUnitTemplate* t = k.tmpl;
    const SUnitView* builder = nullptr;
    for (const SUnitView& u : m_units->all)
        if (u.ownerId == m_playerId && u.builder && u.complete && !u.scripted && !Busy(u) &&
            Builds(u.tmpl, t)) {
            builder = &u;
            break;
        }
    if (!builder) return false;
    CWorldCommands& orders = m_world.Commands();
    CTessarakObjectTemplate* product = const_cast<CUnitTemplate*>(t);
    if (builder->tmpl->m_buildMethod != CUnitTemplate::kBuildExternal) {
        if (!orders.Produce(builder->id, product, 0, 0)) return false;
        DebugPrintf("Building %s...", t->m_name.GetText());
        ++m_knowledge[static_cast<size_t>(&k - m_knowledge.data())].built;
        return true;
    }
    float x = 0.0f, z = 0.0f;
    bool found = t->m_hasSpot ? FindResourceSite(t, &x, &z) : FindBuildSite(t, &x, &z);
    // The builder must be able to drive there.
    if (found && !m_world.Query().Reachable(builder->x, builder->z, x, z, Footprint(t) + 2.0f)) found = false;
    if (!found) {
        DebugPrintf("Couldn\xB4t find build position for %s...", t->m_name.GetText());
        return false;
    }
    const SAIBase* enemy = NearestEnemyBase();
    if (!t->m_canBuild && t->m_weaponCount > 0) {
        // A line of 1 to 5 weapon buildings across the way to the enemy.
        const int32_t n = m_random.Rand() % 5 + 1;
        if (!enemy) return false;
        DebugPrintf("Building %d %s...", static_cast<int>(n), t->m_name.GetText());
        float dx = enemy->x - x, dz = enemy->z - z;
        const float length = Math_Sqrt(dx * dx + dz * dz);
        if (length > 0.0f) {
            dx /= length;
            dz /= length;
        }
        const float step = Footprint(t) * 2.0f + 1.0f;
        for (int32_t i = 0; i < n; ++i) {
            const float offset = (static_cast<float>(i) - static_cast<float>(n - 1) * 0.5f) * step;
            orders.Build(builder->id, product, x - dz * offset, z + dx * offset,
                         i ? uint32_t(kCommandQueue) : 0u);
        }
    } else {
        DebugPrintf("Building %s...", t->m_name.GetText());
        if (!orders.Build(builder->id, product, x, z, 0)) return false;
    }
    m_sites.push_back({builder->id, t, x, z});
    ++m_knowledge[static_cast<size_t>(&k - m_knowledge.data())].built;
    return true;
}

void CComputerPlayer::SendHelpBuilding() {
    for (const SUnitView& b : m_units->all) {
        if (b.ownerId != m_playerId || !b.builder || !(b.running & CUnitOrder::kConstruct) || b.building < 0)
            continue;
        if (std::find(m_helpers.begin(), m_helpers.end(), b.id) != m_helpers.end()) continue;
        const SUnitView* site = m_units->Find(b.building);
        if (!site || site->complete) continue;
        for (const SUnitView& h : m_units->all) {
            if (h.ownerId != m_playerId || h.id == b.id || !h.builder || !h.complete || h.scripted ||
                Busy(h) || h.tmpl->m_buildMethod != CUnitTemplate::kBuildExternal)
                continue;
            DebugPrintf("Sending %s to help building...", h.tmpl->m_name.GetText());
            if (m_world.Commands().HelpBuild(h.id, site->id, 0)) m_helpers.push_back(h.id);
        }
    }
    // Helpers that finished help again later.
    m_helpers.erase(std::remove_if(m_helpers.begin(), m_helpers.end(),
                                   [this](int32_t id) {
                                       const SUnitView* h = m_units->Find(id);
                                       return !h || !Busy(*h);
                                   }),
                    m_helpers.end());
}

// ---- sites

const SAIBase* CComputerPlayer::NearestEnemyBase() const {
    const SAIBase* own = BaseOf(m_playerId);
    if (!own) return nullptr;
    const SAIBase* best = nullptr;
    float nearest = 10000000.0f;
    for (const SPlayerView& p : m_world.Query().Players()) {
        if (p.neutral || p.id == m_playerId || m_world.Query().Allied(m_playerId, p.id)) continue;
        const SAIBase* b = BaseOf(p.id);
        if (!b) continue;
        const float d = DistanceSquared2D(own->x, own->z, b->x, b->z);
        if (d < nearest) {
            nearest = d;
            best = b;
        }
    }
    return best;
}

bool CComputerPlayer::FindBuildSite(const CUnitTemplate* t, float* x, float* z) {
    const SAIBase* own = BaseOf(m_playerId);
    if (!own) return false;
    float cx = own->x, cz = own->z;
    if (!t->m_canBuild && t->m_weaponCount > 0)
        if (const SAIBase* enemy = NearestEnemyBase()) {
            // Toward the enemy, at the base's spread from its centre.
            float dx = enemy->x - own->x, dz = enemy->z - own->z;
            const float length = Math_Sqrt(dx * dx + dz * dz);
            if (length > 0.0f) {
                cx += dx / length * own->spread;
                cz += dz / length * own->spread;
            }
        }
    return SpiralSearch(t, cx, cz, x, z);
}

bool CComputerPlayer::SpiralSearch(const CUnitTemplate* t, float cx, float cz, float* x, float* z) {
    Reroll(m_parameters[kMinDistanceBetweenBuildings]);
    const float clearance = m_parameters[kMinDistanceBetweenBuildings].value;
    cx = static_cast<float>(Math_RoundToInt(cx));
    cz = static_cast<float>(Math_RoundToInt(cz));
    if (IsSiteFree(t, clearance, cx, cz)) {
        *x = cx;
        *z = cz;
        return true;
    }
    int32_t left, top, right, bottom;
    m_world.Query().MapRect(&left, &top, &right, &bottom);
    auto inside = [&](float px, float pz) {
        return px >= static_cast<float>(left) && px <= static_cast<float>(right) &&
               pz >= static_cast<float>(bottom) && pz <= static_cast<float>(top);
    };
    for (int32_t r = 1; r < 1000; ++r) {
        const float fr = static_cast<float>(r);
        // The four sides of the ring: lower z, upper z, lower x, upper x.
        const bool sides[4] = {inside(cx, cz - fr), inside(cx, cz + fr), inside(cx - fr, cz),
                               inside(cx + fr, cz)};
        if (!sides[0] && !sides[1] && !sides[2] && !sides[3]) return false;
        for (int side = 0; side < 4; ++side) {
            if (!sides[side]) continue;
            for (float s = -fr; s < fr; s += 1.0f) {
                const float px = side < 2 ? cx + s : cx + (side == 2 ? -fr : fr);
                const float pz = side < 2 ? cz + (side == 0 ? -fr : fr) : cz + s;
                if (IsSiteFree(t, clearance, px, pz)) {
                    *x = px;
                    *z = pz;
                    return true;
                }
            }
        }
    }
    return false;
}

bool CComputerPlayer::IsSiteFree(const CUnitTemplate* t, float clearance, float x, float z) const {
    const CWorldQuery& q = m_world.Query();
    const float footprint = Footprint(t);
    const float r = clearance + footprint;
    int32_t left, top, right, bottom;
    q.MapRect(&left, &top, &right, &bottom);
    if (x < static_cast<float>(left) + footprint + 1.0f || x > static_cast<float>(right) - footprint - 1.0f ||
        z < static_cast<float>(bottom) + footprint + 1.0f || z > static_cast<float>(top) - footprint - 1.0f)
        return false;
    if (!q.IsAreaFree(r, x, z) || !q.IsFreeOfEnemyStructures(m_playerId, 10.0f, x, z)) return false;
    // Clear of the sites builders are on their way to.
    for (const SSite& s : m_sites) {
        const float d = r + Footprint(s.tmpl);
        if (DistanceSquared2D(x, z, s.x, s.z) < d * d) return false;
    }
    return true;
}

bool CComputerPlayer::FindResourceSite(const CUnitTemplate* t, float* x, float* z) {
    const SAIBase* own = BaseOf(m_playerId);
    const CWorldQuery& q = m_world.Query();
    bool found = false;
    if (own) {
        float nearest = (own->radius + 20.0f) * (own->radius + 20.0f);
        const float clearance = m_parameters[kMinDistanceBetweenBuildings].value;
        for (int32_t f : q.ResourceFields()) {
            float fx, fz;
            if (!q.Position(f, &fx, &fz) || !IsSiteFree(t, clearance, fx, fz)) continue;
            const float d = DistanceSquared2D(own->x, own->z, fx, fz);
            if (d < nearest) {
                nearest = d;
                *x = fx;
                *z = fz;
                found = true;
            }
        }
    }
    if (!found) m_harvestPossible = false;
    return found;
}
