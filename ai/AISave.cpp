#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
//
// The computer players' part of a saved game ("AI  "): everything a
// computer player decides by, so that the host's computer players of a
// loaded game give the orders those of the game that kept running give.
// Little-endian, unpadded; a text is a u16 count and its characters.
//
//   u8  active   i32 file index   u32 seed   i32 the highest unit id seen
//   u32 bases, each (ascending player ids): i32 player id, f32 x, z,
//       radius, spread
//   u32 computer players, each in the manager's order:
//     i32 player id, u32 generator state, u8 active, u8 harvest possible,
//     u8 learning match, u8 race chosen, i32 phase, i32 group census x 4,
//     text the race asked for (at most 64)
//     u32 parameters (22), each f32 default, f32 spread, f32 value
//     u64 start, now, elapsed, last build, last decay, last warp, last attack
//     the danger grid: i32 left, top, right, bottom, then its
//       (right - left + 1) x (top - bottom + 1) cells, one signed byte each,
//       row by row
//     u32 groups, each: i32 role, state, size, u8 full, u8 attack flag,
//       f32 attack distance, u32 members and their i32 ids, i32 leader,
//       target, guarded unit, target player, attack step, spy step,
//       f32 spy x, spy z, gather x, gather z, u64 now, retarget time,
//       spy start
//     u32 new units and their i32 ids
//     u32 build-tree entries, each: text the template's name (at most
//       255), i32 its builder's entry (-1: the root; an earlier entry),
//       i32 fitness, score, alive maximum, game maximum, built, u8 fitness
//       found
//     u32 building sites, each: i32 builder, text the template's name,
//       f32 x, z
//     u32 helpers and their i32 ids
//     u32 folded values, each (ascending unit ids): i32 unit id, f32 value
//       lost, f32 value destroyed
//
// Templates are kept by name and looked up in the unit file the game
// loaded; a name it does not know refuses the file.
#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ai/AIGroup.h"
#include "ai/AIManager.h"
#include "core/StrBuf.h"
#include "world/StateArchive.h"
#include "world/StateText.h"
#include "world/UnitTemplate.h"
#include "world/World.h"
#include "world/WorldQuery.h"

namespace {

constexpr uint16_t kMaxRaceName = 64;
constexpr uint16_t kMaxTemplateName = 255;
// The largest danger grid a map may have (a side of 4,096 cells).
constexpr int64_t kMaxGridSide = 4096;

// Reads and writes into the variables whatever the archive's reading mode:
// the callers read into records of their own and take them only when the
// whole part passed.
class CPlainReads {
public:
    explicit CPlainReads(CStateArchive& ar) : m_ar(ar), m_mode(ar.SetReadMode(CStateArchive::kApply)) {}
    ~CPlainReads() { m_ar.SetReadMode(m_mode); }
    CPlainReads(const CPlainReads&) = delete;
    CPlainReads& operator=(const CPlainReads&) = delete;

private:
    CStateArchive& m_ar;
    CStateArchive::EMode m_mode;
};

void Flag(CStateArchive& ar, bool& v) {
    uint8_t b = v ? 1 : 0;
    ar.U8(b);
    v = b != 0;
}

void Text(CStateArchive& ar, std::string& text, uint16_t maxLength) {
    CStrBuf buf(text.c_str());
    StateText_Transfer(ar, buf, maxLength);
    text = buf.GetText();
}

// A list of ids: u32 count, i32 each.
void Ids(CStateArchive& ar, std::vector<int32_t>& ids) {
    uint32_t n = static_cast<uint32_t>(ids.size());
    ar.Count(n, 4);
    if (ar.IsReading()) ids.assign(ar.Ok() ? n : 0, 0);
    for (int32_t& id : ids) ar.I32(id);
}

// A template by its name, looked up in the game's unit file when read.
void Template(CStateArchive& ar, const CWorldQuery& q, const CUnitTemplate*& t) {
    std::string name = t ? t->m_name.GetText() : "";
    Text(ar, name, kMaxTemplateName);
    if (!ar.IsReading() || !ar.Ok()) return;
    t = q.FindUnitTemplate(name.c_str());
    if (!t) ar.Fail();
}

// A count of records, each at least minSize bytes; the vector is made that
// long when reading.
template <class T, class Make>
void Records(CStateArchive& ar, std::vector<T>& records, size_t minSize, Make make) {
    uint32_t n = static_cast<uint32_t>(records.size());
    ar.Count(n, minSize);
    if (!ar.IsReading()) return;
    records.clear();
    for (uint32_t i = 0; ar.Ok() && i < n; ++i) records.push_back(make());
}

}  // namespace

void CAreaGrid::Transfer(CStateArchive& ar) {
    CPlainReads plain(ar);
    int32_t rect[4] = {m_left, m_top, m_right, m_bottom};
    for (int32_t& v : rect) ar.I32(v);
    const int64_t columns = int64_t(rect[2]) - rect[0] + 1, rows = int64_t(rect[1]) - rect[3] + 1;
    if (ar.IsWriting()) {
        ar.Bytes(m_cells.data(), m_cells.size());
        return;
    }
    // An empty grid (no map) has no cells; any other lies within the
    // largest map and its cells follow.
    const bool empty = columns <= 0 || rows <= 0;
    if (!empty && (columns > kMaxGridSide || rows > kMaxGridSide ||
                   static_cast<uint64_t>(columns * rows) > ar.GetRemaining()))
        ar.Fail();
    if (!ar.Ok()) return;
    Init(rect[0], rect[1], rect[2], rect[3]);
    ar.Bytes(m_cells.data(), m_cells.size());
}

void CAIGroup::Transfer(CStateArchive& ar) {
    CPlainReads plain(ar);
    int32_t* ints[] = {&m_role, &m_state, &m_size};
    for (int32_t* v : ints) ar.I32(*v);
    Flag(ar, m_full);
    Flag(ar, m_attackFlag);
    ar.F32(m_attackDistance);
    Ids(ar, m_members);
    int32_t* more[] = {&m_leader, &m_target, &m_guarded, &m_targetPlayer, &m_attackStep, &m_spyStep};
    for (int32_t* v : more) ar.I32(*v);
    float* places[] = {&m_spyX, &m_spyZ, &m_gatherX, &m_gatherZ};
    for (float* v : places) ar.F32(*v);
    uint64_t* times[] = {&m_now, &m_retargetTime, &m_spyStart};
    for (uint64_t* v : times) ar.U64(*v);
    if (ar.IsReading() && (m_role < CComputerPlayer::kRoleAttack || m_role > CComputerPlayer::kRoleSpy ||
                           m_state < kAttacking || m_state > kSpying || m_size < 0))
        ar.Fail();
}

void CComputerPlayer::Transfer(CStateArchive& ar) {
    CPlainReads plain(ar);
    const CWorldQuery& q = m_world.Query();
    uint32_t state = m_random.m_state;
    ar.U32(state);
    if (state > 0x7FFFFFFFu) ar.Fail();
    m_random.m_state = state;
    Flag(ar, m_active);
    Flag(ar, m_harvestPossible);
    Flag(ar, m_learningMatch);
    Flag(ar, m_raceChosen);
    ar.I32(m_phase);
    for (int32_t& c : m_groupCount) ar.I32(c);
    Text(ar, m_wantedRace, kMaxRaceName);
    if (m_phase < 0 || m_phase >= kPhases) ar.Fail();

    uint32_t parameters = static_cast<uint32_t>(m_parameters.size());
    ar.Count(parameters, 12);
    if (parameters != static_cast<uint32_t>(kParameterCount)) ar.Fail();
    for (size_t i = 0; ar.Ok() && i < m_parameters.size(); ++i) {
        SAIParameter& p = m_parameters[i];
        ar.F32(p.def);
        ar.F32(p.spread);
        ar.F32(p.value);
        if (!(p.value == p.value && p.value > -1.0e6f && p.value < 1.0e6f)) ar.Fail();
    }
    uint64_t* times[] = {&m_start,     &m_now,      &m_elapsed,   &m_lastBuild,
                         &m_lastDecay, &m_lastWarp, &m_lastAttack};
    for (uint64_t* v : times) ar.U64(*v);
    m_grid.Transfer(ar);
    // The race is its player's (a loaded session's, applied before this).
    if (ar.IsReading()) m_raceName = m_manager.RaceNameOf(m_playerId);

    Records(ar, m_groups, 86, [this] { return std::unique_ptr<CAIGroup>(new CAIGroup(*this)); });
    for (size_t i = 0; ar.Ok() && i < m_groups.size(); ++i) m_groups[i]->Transfer(ar);
    Ids(ar, m_newUnits);

    Records(ar, m_knowledge, 27, [] { return SKnowledge(); });
    for (size_t i = 0; ar.Ok() && i < m_knowledge.size(); ++i) {
        SKnowledge& k = m_knowledge[i];
        Template(ar, q, k.tmpl);
        int32_t parent = -1;
        for (size_t j = 0; j < i && ar.IsWriting(); ++j)
            if (m_knowledge[j].tmpl == k.parent) parent = static_cast<int32_t>(j);
        ar.I32(parent);
        if (ar.IsReading()) {
            if (parent >= static_cast<int32_t>(i) || parent < -1) ar.Fail();
            k.parent = ar.Ok() && parent >= 0 ? m_knowledge[static_cast<size_t>(parent)].tmpl : nullptr;
        }
        int32_t* values[] = {&k.fitness, &k.score, &k.aliveMax, &k.gameMax, &k.built};
        for (int32_t* v : values) ar.I32(*v);
        Flag(ar, k.fitnessFound);
    }

    Records(ar, m_sites, 14, [] { return SSite{-1, nullptr, 0.0f, 0.0f}; });
    for (size_t i = 0; ar.Ok() && i < m_sites.size(); ++i) {
        SSite& s = m_sites[i];
        ar.I32(s.builder);
        Template(ar, q, s.tmpl);
        ar.F32(s.x);
        ar.F32(s.z);
    }
    Ids(ar, m_helpers);

    // The folded values by ascending unit id (the map itself is looked up,
    // never walked).
    std::vector<int32_t> folded;
    for (const auto& f : m_folded) folded.push_back(f.first);
    std::sort(folded.begin(), folded.end());
    uint32_t n = static_cast<uint32_t>(folded.size());
    ar.Count(n, 12);
    if (ar.IsReading()) m_folded.clear();
    for (uint32_t i = 0; ar.Ok() && i < n; ++i) {
        int32_t id = ar.IsWriting() ? folded[i] : 0;
        std::pair<float, float> v = ar.IsWriting() ? m_folded[id] : std::pair<float, float>();
        ar.I32(id);
        ar.F32(v.first);
        ar.F32(v.second);
        if (ar.IsReading()) m_folded[id] = v;
    }
}

void CAIManager::SaveSection(CStateArchive& ar) {
    uint8_t active = m_active ? 1 : 0;
    ar.U8(active);
    ar.I32(m_fileIndex);
    ar.U32(m_seed);
    ar.I32(m_lastSeenId);
    uint32_t bases = static_cast<uint32_t>(m_bases.size());
    ar.U32(bases);
    for (auto& b : m_bases) {
        int32_t id = b.first;
        ar.I32(id);
        float values[4] = {b.second.x, b.second.z, b.second.radius, b.second.spread};
        ar.F32s(values, 4);
    }
    uint32_t players = static_cast<uint32_t>(m_players.size());
    ar.U32(players);
    for (auto& p : m_players) {
        int32_t id = p->PlayerId();
        ar.I32(id);
        p->Transfer(ar);
    }
}

bool CAIManager::LoadSection(CStateArchive& ar) {
    if (!m_world) return false;
    // Read whole into records of its own; the manager's stay until all fit.
    const bool applying = ar.IsApplying();
    CPlainReads plain(ar);
    const uint8_t active = ar.ReadU8();
    const int32_t fileIndex = ar.ReadI32();
    const uint32_t seed = ar.ReadU32();
    const int32_t lastSeen = ar.ReadI32();
    uint32_t baseCount = 0;
    ar.Count(baseCount, 20);
    std::map<int32_t, SAIBase> bases;
    for (uint32_t i = 0; ar.Ok() && i < baseCount; ++i) {
        const int32_t id = ar.ReadI32();
        float values[4] = {};
        ar.F32s(values, 4);
        if (bases.count(id)) ar.Fail();
        bases[id] = SAIBase{values[0], values[1], values[2], values[3]};
    }
    if (fileIndex < 0 || fileIndex > 2) ar.Fail();
    uint32_t playerCount = 0;
    ar.Count(playerCount, 100);
    std::vector<std::unique_ptr<CComputerPlayer>> players;
    for (uint32_t i = 0; ar.Ok() && i < playerCount; ++i) {
        const int32_t id = ar.ReadI32();
        for (const auto& p : players)
            if (p->PlayerId() == id) ar.Fail();
        players.emplace_back(new CComputerPlayer(*this, *m_world, id, 0));
        players.back()->Transfer(ar);
    }
    if (!ar.Ok()) return false;
    if (!applying) return true;
    m_active = active ? 1 : 0;
    m_fileIndex = fileIndex;
    m_seed = seed;
    m_lastSeenId = lastSeen;
    m_bases = std::move(bases);
    // This machine runs the computer players whose players it runs (the
    // host); the others' part of the file is read and left.
    m_players.clear();
    for (auto& p : players) {
        if (!PlaysHere(p->PlayerId())) continue;
        m_players.push_back(std::move(p));
    }
    return true;
}
