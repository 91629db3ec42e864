#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
//
// The computer players' saved records (the layout in AIRecords.h): one
// transfer function per record, the checks of a record read, and the
// manager's and the players' sides of saving and loading.
#include <algorithm>
#include <cmath>
#include <limits>

#include "ai/AIGroup.h"
#include "ai/AIManager.h"
#include "ai/AIRecords.h"
#include "ai/ComputerPlayer.h"
#include "netgame/NetGame.h"
#include "world/Player.h"
#include "world/StateArchive.h"
#include "world/UnitTemplate.h"
#include "world/World.h"

namespace {
constexpr uint32_t kBlockVersion = 1;
constexpr uint32_t kMaxFileIndex = 1000;
constexpr size_t kMaxName = 255;

void Text(CStateArchive& ar, std::string& s) {
    uint32_t n = static_cast<uint32_t>(s.size());
    ar.Count(n, 1);
    if (n > kMaxName) ar.Fail();
    if (!ar.Ok()) return;
    if (ar.IsReading()) s.assign(n, '\0');
    if (n) ar.Bytes(&s[0], n);
}

// A list: its count (each element at least minSize bytes), then each.
template <class T, class F>
void List(CStateArchive& ar, std::vector<T>& v, size_t minSize, F each) {
    uint32_t n = static_cast<uint32_t>(v.size());
    ar.Count(n, minSize);
    if (!ar.Ok()) return;
    if (ar.IsReading()) v.assign(n, T());
    for (T& e : v) {
        each(e);
        if (!ar.Ok()) return;
    }
}

void Ids(CStateArchive& ar, std::vector<int32_t>& ids) {
    List(ar, ids, 4, [&ar](int32_t& id) { ar.I32(id); });
}

void Grid(CStateArchive& ar, SAIGridRecord& g) {
    ar.Count(g.count, 1);
    ar.U32(g.rows);
    ar.U32(g.columns);
    ar.U32(g.scale);
    for (int32_t& v : g.rect) ar.I32(v);
    for (int32_t& v : g.bounds) ar.I32(v);
    if (!ar.Ok()) return;
    if (ar.IsReading()) g.cells.assign(g.count, 0);
    if (g.count) ar.Bytes(g.cells.data(), g.count);
}

void Group(CStateArchive& ar, SAIGroupRecord& g) {
    ar.I32(g.role);
    ar.I32(g.state);
    ar.I32(g.size);
    ar.U8(g.full);
    ar.U8(g.attackFlag);
    ar.F32(g.attackDistance);
    Ids(ar, g.members);
    for (int32_t* v : {&g.leader, &g.target, &g.guarded, &g.targetPlayer, &g.attackStep, &g.spyStep})
        ar.I32(*v);
    for (float* v : {&g.spyX, &g.spyZ, &g.gatherX, &g.gatherZ}) ar.F32(*v);
    for (uint64_t* v : {&g.sinceUpdate, &g.sinceRetarget, &g.sinceSpyStart}) ar.U64(*v);
}

bool Finite(float v) {
    return std::isfinite(v) && std::fabs(v) <= 1.0e9f;
}

// The manager's block read in whole: the values of its header and each
// record with its player's id.
struct SAIBlock {
    uint32_t version = kBlockVersion;
    uint32_t seed = 0;
    int32_t lastSeen = -1;
    struct SBase {
        int32_t id = -1;
        SAIBase base;
    };
    std::vector<SBase> bases;
    struct SEntry {
        int32_t id = -1;
        SAIPlayerRecord record;
    };
    std::vector<SEntry> records;
};

bool Block(CStateArchive& ar, SAIBlock& b) {
    // Read into the block in both reading modes: nothing else is touched
    // while a block is read.
    const CStateArchive::EMode mode = ar.SetReadMode(CStateArchive::kApply);
    ar.U32(b.version);
    if (ar.IsReading() && b.version != kBlockVersion) ar.Fail();
    ar.U32(b.seed);
    ar.I32(b.lastSeen);
    List(ar, b.bases, 20, [&ar](SAIBlock::SBase& e) {
        ar.I32(e.id);
        for (float* v : {&e.base.x, &e.base.z, &e.base.radius, &e.base.spread}) ar.F32(*v);
    });
    List(ar, b.records, 60, [&ar](SAIBlock::SEntry& e) {
        ar.I32(e.id);
        AIRecord_Transfer(ar, e.record);
    });
    ar.SetReadMode(mode);
    return ar.Ok();
}
}  // namespace

bool AIRecord_Transfer(CStateArchive& ar, SAIPlayerRecord& r) {
    const CStateArchive::EMode mode = ar.SetReadMode(CStateArchive::kApply);
    ar.U32(r.fileIndex);
    ar.U8(r.learningMatch);
    ar.U8(r.harvestPossible);
    for (uint64_t* v : {&r.sinceAttack, &r.sinceDecay, &r.sinceWarp, &r.sinceBuild}) ar.U64(*v);
    Grid(ar, r.grid);
    ar.U32(r.random);
    ar.I32(r.phase);
    ar.U64(r.sinceStart);
    List(ar, r.parameters, 12, [&ar](SAIPlayerRecord::SParameter& p) {
        ar.F32(p.def);
        ar.F32(p.spread);
        ar.F32(p.value);
    });
    for (int32_t& c : r.groupCount) ar.I32(c);
    Ids(ar, r.newUnits);
    List(ar, r.groups, 90, [&ar](SAIGroupRecord& g) { Group(ar, g); });
    List(ar, r.built, 8, [&ar](SAIPlayerRecord::SBuilt& b) {
        Text(ar, b.name);
        ar.I32(b.count);
    });
    List(ar, r.sites, 16, [&ar](SAIPlayerRecord::SSite& s) {
        ar.I32(s.builder);
        Text(ar, s.name);
        ar.F32(s.x);
        ar.F32(s.z);
    });
    Ids(ar, r.helpers);
    List(ar, r.folded, 12, [&ar](SAIPlayerRecord::SFolded& f) {
        ar.I32(f.id);
        ar.F32(f.lost);
        ar.F32(f.destroyed);
    });
    ar.SetReadMode(mode);
    return ar.Ok();
}

bool AIRecord_Check(const SAIPlayerRecord& r, const int32_t rect[4], uint64_t now, std::string* why) {
    auto fail = [why](const char* text) {
        if (why) *why = text;
        return false;
    };
    if (r.fileIndex > kMaxFileIndex) return fail("no difficulty of that file index");
    const SAIGridRecord& g = r.grid;
    const int64_t columns = int64_t(rect[2]) - rect[0] + 1, rows = int64_t(rect[1]) - rect[3] + 1;
    if (g.scale != 1 || int64_t(g.columns) != columns || int64_t(g.rows) != rows ||
        uint64_t(g.count) != uint64_t(g.rows) * g.columns || !std::equal(rect, rect + 4, g.rect) ||
        !std::equal(rect, rect + 4, g.bounds))
        return fail("the danger grid is not the map's");
    for (int8_t c : g.cells)
        if (c < -127) return fail("a cell of the danger grid is out of range");
    for (uint64_t since : {r.sinceAttack, r.sinceDecay, r.sinceWarp, r.sinceBuild, r.sinceStart})
        if (since > now) return fail("a time before the game began");
    if (r.phase < 0 || r.phase > 10) return fail("no phase of that number");
    const std::vector<SAIParameter> kinds = AIParameter_Defaults();
    if (r.parameters.size() != kinds.size()) return fail("not every parameter");
    for (size_t i = 0; i < kinds.size(); ++i) {
        const SAIPlayerRecord::SParameter& p = r.parameters[i];
        for (float v : {p.def, p.spread, p.value})
            if (!std::isfinite(v) || std::fabs(v) > CAIFile::kLimit) return fail("a parameter out of range");
        if (kinds[i].kind == SAIParameter::kBool && p.value != 0.0f && p.value != 1.0f)
            return fail("a switch that is neither on nor off");
        if (kinds[i].kind == SAIParameter::kInt && p.value != std::trunc(p.value))
            return fail("a whole-number parameter with a fraction");
    }
    for (int32_t c : r.groupCount)
        if (c < 0) return fail("a negative count of groups");
    for (const SAIGroupRecord& gr : r.groups) {
        if (gr.role < 0 || gr.role > 3 || gr.state < 0 || gr.state > 3)
            return fail("a group of no role or state");
        for (float v : {gr.attackDistance, gr.spyX, gr.spyZ, gr.gatherX, gr.gatherZ})
            if (!Finite(v)) return fail("a group's place out of range");
        for (uint64_t since : {gr.sinceUpdate, gr.sinceRetarget, gr.sinceSpyStart})
            if (since > now) return fail("a time before the game began");
    }
    for (const SAIPlayerRecord::SSite& s : r.sites)
        if (!Finite(s.x) || !Finite(s.z)) return fail("a site out of range");
    for (const SAIPlayerRecord::SFolded& f : r.folded)
        if (!Finite(f.lost) || !Finite(f.destroyed)) return fail("a unit's values out of range");
    return true;
}

// ---- the danger grid

void CAreaGrid::ToRecord(SAIGridRecord& g) const {
    g.rows = static_cast<uint32_t>(m_rows);
    g.columns = static_cast<uint32_t>(m_columns);
    g.count = static_cast<uint32_t>(m_cells.size());
    g.scale = 1;
    const int32_t rect[4] = {m_left, m_top, m_right, m_bottom};
    std::copy(rect, rect + 4, g.rect);
    std::copy(rect, rect + 4, g.bounds);
    g.cells = m_cells;
}

void CAreaGrid::FromRecord(const SAIGridRecord& g) {
    Init(g.rect[0], g.rect[1], g.rect[2], g.rect[3]);
    if (g.cells.size() == m_cells.size()) m_cells = g.cells;
}

// ---- a computer player

void CComputerPlayer::SaveState(SAIPlayerRecord& r) const {
    const uint64_t now = m_world.Query().GameTime();
    auto since = [now](uint64_t t) { return t <= now ? now - t : 0; };
    r = SAIPlayerRecord();
    r.fileIndex = static_cast<uint32_t>(m_manager.FileIndex());
    r.learningMatch = m_learningMatch ? 1 : 0;
    r.harvestPossible = m_harvestPossible ? 1 : 0;
    r.sinceAttack = since(m_lastAttack);
    r.sinceDecay = since(m_lastDecay);
    r.sinceWarp = since(m_lastWarp);
    r.sinceBuild = since(m_lastBuild);
    m_grid.ToRecord(r.grid);
    r.random = m_random.m_state;
    r.phase = m_phase;
    r.sinceStart = since(m_start);
    for (const SAIParameter& p : m_parameters) r.parameters.push_back({p.def, p.spread, p.value});
    std::copy(m_groupCount, m_groupCount + 4, r.groupCount);
    r.newUnits = m_newUnits;
    for (const auto& g : m_groups) {
        SAIGroupRecord gr;
        gr.role = g->m_role;
        gr.state = g->m_state;
        gr.size = g->m_size;
        gr.full = g->m_full ? 1 : 0;
        gr.attackFlag = g->m_attackFlag ? 1 : 0;
        gr.attackDistance = g->m_attackDistance;
        gr.members = g->m_members;
        gr.leader = g->m_leader;
        gr.target = g->m_target;
        gr.guarded = g->m_guarded;
        gr.targetPlayer = g->m_targetPlayer;
        gr.attackStep = g->m_attackStep;
        gr.spyStep = g->m_spyStep;
        gr.spyX = g->m_spyX;
        gr.spyZ = g->m_spyZ;
        gr.gatherX = g->m_gatherX;
        gr.gatherZ = g->m_gatherZ;
        gr.sinceUpdate = since(g->m_now);
        gr.sinceRetarget = since(g->m_retargetTime);
        gr.sinceSpyStart = since(g->m_spyStart);
        r.groups.push_back(gr);
    }
    for (const SKnowledge& k : m_knowledge)
        if (k.built) r.built.push_back({k.tmpl->m_name.GetText(), k.built});
    for (const SSite& s : m_sites) r.sites.push_back({s.builder, s.tmpl->m_name.GetText(), s.x, s.z});
    r.helpers = m_helpers;
    // The folded values by id (the map is looked up, never walked in its
    // own order).
    std::vector<int32_t> ids;
    ids.reserve(m_folded.size());
    for (const auto& f : m_folded) ids.push_back(f.first);
    std::sort(ids.begin(), ids.end());
    for (int32_t id : ids) {
        const std::pair<float, float>& f = m_folded.at(id);
        r.folded.push_back({id, f.first, f.second});
    }
}

bool CComputerPlayer::CheckState(const SAIPlayerRecord& r, std::string* why, const uint64_t* now,
                                 const int32_t* mapRect) const {
    const CWorldQuery& q = m_world.Query();
    // The map the record is held against: the one given (a saved game's
    // own, known before its map has loaded), else the world's.
    int32_t rect[4];
    if (mapRect)
        std::copy(mapRect, mapRect + 4, rect);
    else
        q.MapRect(&rect[0], &rect[1], &rect[2], &rect[3]);
    if (!AIRecord_Check(r, rect, now ? *now : std::numeric_limits<uint64_t>::max(), why)) return false;
    for (const SAIPlayerRecord::SBuilt& b : r.built)
        if (!q.FindUnitTemplate(b.name.c_str())) {
            if (why) *why = "no template " + b.name;
            return false;
        }
    for (const SAIPlayerRecord::SSite& s : r.sites)
        if (!q.FindUnitTemplate(s.name.c_str())) {
            if (why) *why = "no template " + s.name;
            return false;
        }
    return true;
}

void CComputerPlayer::LoadState(const SAIPlayerRecord& r, uint64_t now) {
    const CWorldQuery& q = m_world.Query();
    // As a map load starts it (its race, its build tree, the learning files
    // of the saved difficulty), then as it stood.
    m_manager.m_fileIndex = static_cast<int32_t>(r.fileIndex);
    m_raceChosen = true;
    Reset();
    m_learningMatch = r.learningMatch != 0;
    m_harvestPossible = r.harvestPossible != 0;
    m_lastAttack = now - r.sinceAttack;
    m_lastDecay = now - r.sinceDecay;
    m_lastWarp = now - r.sinceWarp;
    m_lastBuild = now - r.sinceBuild;
    m_grid.FromRecord(r.grid);
    m_random.m_state = r.random & 0x7FFFFFFFu;
    m_phase = r.phase;
    m_start = now - r.sinceStart;
    m_now = now;
    m_elapsed = now - m_start;
    for (size_t i = 0; i < m_parameters.size() && i < r.parameters.size(); ++i) {
        m_parameters[i].def = r.parameters[i].def;
        m_parameters[i].spread = r.parameters[i].spread;
        m_parameters[i].value = r.parameters[i].value;
    }
    std::copy(r.groupCount, r.groupCount + 4, m_groupCount);
    m_newUnits = r.newUnits;
    m_groups.clear();
    for (const SAIGroupRecord& gr : r.groups) {
        std::unique_ptr<CAIGroup> g(new CAIGroup(*this));
        g->m_role = gr.role;
        g->m_state = gr.state;
        g->m_size = gr.size;
        g->m_full = gr.full != 0;
        g->m_attackFlag = gr.attackFlag != 0;
        g->m_attackDistance = gr.attackDistance;
        g->m_members = gr.members;
        g->m_leader = gr.leader;
        g->m_target = gr.target;
        g->m_guarded = gr.guarded;
        g->m_targetPlayer = gr.targetPlayer;
        g->m_attackStep = gr.attackStep;
        g->m_spyStep = gr.spyStep;
        g->m_spyX = gr.spyX;
        g->m_spyZ = gr.spyZ;
        g->m_gatherX = gr.gatherX;
        g->m_gatherZ = gr.gatherZ;
        g->m_now = now - gr.sinceUpdate;
        g->m_retargetTime = now - gr.sinceRetarget;
        g->m_spyStart = now - gr.sinceSpyStart;
        m_groups.push_back(std::move(g));
    }
    for (SKnowledge& k : m_knowledge) {
        k.built = 0;
        for (const SAIPlayerRecord::SBuilt& b : r.built)
            if (k.tmpl->m_name.EqualsNoCase(b.name.c_str())) k.built = b.count;
    }
    m_sites.clear();
    for (const SAIPlayerRecord::SSite& s : r.sites)
        if (const CUnitTemplate* t = q.FindUnitTemplate(s.name.c_str()))
            m_sites.push_back({s.builder, t, s.x, s.z});
    m_helpers = r.helpers;
    m_folded.clear();
    for (const SAIPlayerRecord::SFolded& f : r.folded) m_folded[f.id] = {f.lost, f.destroyed};
}

// ---- the manager

bool CAIManager::SaveRecords(CStateArchive& ar) {
    SAIBlock b;
    b.seed = m_seed;
    b.lastSeen = m_lastSeenId;
    for (const auto& base : m_bases) b.bases.push_back({base.first, base.second});
    // In the session's player order.
    if (m_world)
        for (const SPlayerView& p : m_world->Query().Players())
            if (const CComputerPlayer* cp = Find(p.id)) {
                b.records.emplace_back();
                b.records.back().id = p.id;
                cp->SaveState(b.records.back().record);
            }
    return Block(ar, b);
}

bool CAIManager::LoadRecords(CStateArchive& ar, std::string* why) {
    const uint64_t now = m_world ? m_world->Query().GameTime() : 0;
    return ReadRecords(ar, &now, nullptr, why);
}

bool CAIManager::ReadRecords(CStateArchive& ar, const uint64_t* now, const std::vector<int32_t>* computers,
                             std::string* why, const int32_t* mapRect) {
    SAIBlock b;
    auto fail = [why](const std::string& text) {
        if (why) *why = text;
        return false;
    };
    if (!Block(ar, b)) return fail("the computer players' records are damaged or cut short");
    if (!m_world) return fail("no world");
    std::set<int32_t> seen;
    for (const SAIBlock::SBase& base : b.bases)
        for (float v : {base.base.x, base.base.z, base.base.radius, base.base.spread})
            if (!Finite(v)) return fail("a base out of range");
    for (const SAIBlock::SEntry& e : b.records) {
        SPlayerView p;
        if (!seen.insert(e.id).second) return fail("two records of player " + std::to_string(e.id));
        const bool computer =
            computers ? std::find(computers->begin(), computers->end(), e.id) != computers->end() &&
                            (!m_net || m_net->IsHosting())
                      : m_world->Query().Player(e.id, &p) && !p.neutral &&
                            (!m_net || (p.computer && m_net->IsHosting()));
        if (now && !computer)
            return fail("player " + std::to_string(e.id) + " is no computer player of this game");
        // A scratch player of the id checks the record against the map and
        // the content.
        CComputerPlayer scratch(*this, *m_world, e.id, 1);
        std::string reason;
        if (!scratch.CheckState(e.record, &reason, now, mapRect))
            return fail("computer player " + std::to_string(e.id) + ": " + reason);
    }
    if (!ar.IsApplying() || !now) return true;
    // The computer players are the block's: one the block does not name
    // plays no more.
    m_players.erase(std::remove_if(m_players.begin(), m_players.end(),
                                   [&seen](const std::unique_ptr<CComputerPlayer>& p) {
                                       return !seen.count(p->PlayerId());
                                   }),
                    m_players.end());
    m_seed = b.seed;
    m_bases.clear();
    for (const SAIBlock::SBase& base : b.bases) m_bases[base.id] = base.base;
    for (const SAIBlock::SEntry& e : b.records) {
        CComputerPlayer* cp = Find(e.id);
        if (!cp) {
            // A player of the saved game that a computer played: this
            // machine plays it again.
            if (m_net)
                if (CPlayer* player = m_net->FindPlayerById(e.id)) player->m_computerHere = 1;
            m_players.emplace_back(
                new CComputerPlayer(*this, *m_world, e.id, AIManager_PlayerSeed(m_seed, e.id)));
            cp = m_players.back().get();
        }
        cp->LoadState(e.record, *now);
    }
    m_lastSeenId = b.lastSeen;
    return true;
}

bool CAIManager::LoadRecords(const uint8_t* data, size_t size, std::string* why) {
    CStateArchive check(data, size, CStateArchive::kCheck);
    if (!LoadRecords(check, why)) return false;
    if (check.GetRemaining() != 0) {
        if (why) *why = "bytes after the computer players' records";
        return false;
    }
    CStateArchive apply(data, size, CStateArchive::kApply);
    return LoadRecords(apply, why);
}

// ---- the saved game's part

void CAIManager::SaveSection(CStateArchive& ar) {
    SaveRecords(ar);
}

bool CAIManager::LoadSection(CStateArchive& ar, std::string* why) {
    if (!m_world) {
        if (why) *why = "no world";
        return false;
    }
    // Without a session, the world stands as the saved game left it.
    if (!m_net) return LoadRecords(ar, why);
    // The danger grids are held against the saved game's own map: the file
    // is checked when the host names it, before that map has loaded here.
    const CNetGame::SSavedGameChecked& saved = m_net->SavedGameChecked();
    // A machine that plays no computer player reads the block through and
    // holds it against the map and the content.
    if (!m_net->IsHosting()) return ReadRecords(ar, nullptr, nullptr, why, saved.mapRect);
    // Both passes hold the records against the saved game's own players and
    // the time it resumes with, so a block the check passed is taken whole.
    return ReadRecords(ar, &saved.gameTime, &saved.computerPlayers, why, saved.mapRect);
}
