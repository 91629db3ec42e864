// Saved games: the file, the network game's section, writing at a frame's
// start, checking and applying at the game loop's start.
//
// The network game's section (NETG), little-endian:
//   2 x the description (the current one, then the hosted one):
//     u8 allied victory, u8 fog of war, i32 maximum players, i32 maximum
//     units, i32 start resources, u16 + chars the map file (at most 255)
//   u8    allies win together (the players' list)
//   i32   next owner id, i32 next player id, u32 next team id
//   u64   game time (1/1193182 s) of the tick about to run (the clock has
//         taken it on when a frame begins), f32 ticks a second, f32 game speed
//   u32   T teams (at most kMaxTeams), each: u32 id, u16 + chars name (at
//         most 31), i32 leader id, u8 keep, i32 kills, f32 harvested, i32 x 2
//         score counters, f32 score value
//   u32   P players but the neutral one (at most kMaxPlayers), by id, each:
//         i32 id (1 or more, each once), i32 owner id, u16 + chars name and
//         race name (at most 31 each), f32 x 3 colour (0 to 255), u8
//         attribute, u16 attribute word, u8 connection kind, u8 computer
//         player, i32 team id (-1 none; else one of the teams), i32 kills,
//         f32 harvested, f32 docked income, 9 x u64 notice times, u32 A
//         allies (at most kMaxPlayers), A x i32 their ids (players of the file)
// The players' economy and scores are the world's (its sync records).
#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
#include <algorithm>
#include <cstring>
#include <set>

#include "core/CRC32.h"
#include "core/LittleEndian.h"
#include "core/VFSFile.h"
#include "netgame/NetGame.h"
#include "netgame/SavedGame.h"
#include "platform/sys/Path.h"
#include "world/GameScene.h"
#include "world/StateText.h"
#include "world/WorldGrid.h"

namespace {

constexpr uint32_t kMaxTeams = 256;
constexpr uint32_t kMaxPlayers = 256;
constexpr uint32_t kMaxCarriedOrders = 65536;
constexpr uint32_t kMaxOrderLength = 65536;
constexpr uint16_t kMaxNameText = 31;
constexpr uint16_t kMaxMapText = 255;

const char* TagName(uint32_t tag, char (&out)[5]) {
    for (int i = 0; i < 4; ++i) {
        const char c = static_cast<char>(tag >> (8 * i));
        out[i] = c >= 32 && c < 127 ? c : '?';
    }
    out[4] = 0;
    return out;
}

void WriteSection(std::vector<std::pair<uint32_t, std::vector<uint8_t>>>& sections, uint32_t tag,
                  const CStateArchive& ar) {
    sections.emplace_back(tag, ar.GetBuffer());
}

// A description's fields that a saved game keeps.
void SaveDescription(CStateArchive& ar, CServerInfo& info) {
    ar.WriteU8(info.m_alliedVictory);
    ar.WriteU8(info.m_fogOfWar);
    ar.WriteI32(info.m_maxPlayers);
    ar.WriteI32(info.m_maxUnits);
    ar.WriteI32(info.m_startResources);
    StateText_Transfer(ar, info.m_mapFile, kMaxMapText);
}

struct SDescription {
    uint8_t alliedVictory, fog;
    int32_t maxPlayers, maxUnits, startResources;
    CStrBuf mapFile;
    void Read(CStateArchive& ar) {
        alliedVictory = ar.ReadU8();
        fog = ar.ReadU8();
        maxPlayers = ar.ReadI32();
        maxUnits = ar.ReadI32();
        startResources = ar.ReadI32();
        StateText_Transfer(ar, mapFile, kMaxMapText);
    }
    void Apply(CServerInfo& info) const {
        info.m_alliedVictory = alliedVictory ? 1 : 0;
        info.m_fogOfWar = fog ? 1 : 0;
        info.m_maxPlayers = maxPlayers;
        info.m_maxUnits = maxUnits;
        info.m_startResources = startResources;
        info.m_mapFile = mapFile;
    }
};

struct STeamRecord {
    uint32_t id;
    CStrBuf name;
    int32_t leader;
    uint8_t keep;
    int32_t kills;
    float harvested;
    int32_t score[2];
    float scoreValue;
};

struct SPlayerRecord {
    int32_t id, ownerId;
    CStrBuf name, race;
    float colour[3];
    uint8_t attribute;
    uint16_t attributeWord;
    uint8_t connectionKind, computer;
    int32_t team, kills;
    float harvested, dockedIncome;
    uint64_t timers[9];
    std::vector<int32_t> allies;
};

bool Finite(float v) {
    return v == v && v > -1.0e30f && v < 1.0e30f;
}

}  // namespace

// ---- the file

bool SavedGame_IsPlainName(const char* name) {
    if (!name || !*name) return false;
    const size_t n = std::strlen(name);
    if (n > static_cast<size_t>(SavedGame::kMaxNameLength)) return false;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) return false;
    for (const char* c = name; *c; ++c)
        if (*c == '\\' || *c == '/' || *c == ':' || static_cast<unsigned char>(*c) < 32) return false;
    return true;
}

std::vector<uint8_t> CSavedGameFile::Build(
    uint32_t gameType, const std::vector<std::pair<uint32_t, std::vector<uint8_t>>>& sections) {
    CStateArchive body;
    for (const auto& s : sections) {
        body.WriteU32(s.first);
        body.WriteU32(static_cast<uint32_t>(s.second.size()));
        if (!s.second.empty()) body.Bytes(const_cast<uint8_t*>(s.second.data()), s.second.size());
    }
    CStateArchive file;
    file.WriteU32(SavedGame::kMagic);
    file.WriteU32(SavedGame::kVersion);
    file.WriteU32(gameType);
    file.WriteU32(static_cast<uint32_t>(body.GetSize()));
    file.WriteU32(CRC32_Compute(body.GetData(), body.GetSize()));
    file.Bytes(const_cast<uint8_t*>(body.GetData()), body.GetSize());
    return file.GetBuffer();
}

bool CSavedGameFile::Parse(std::vector<uint8_t> bytes, std::string& error) {
    m_sections.clear();
    m_bytes = std::move(bytes);
    if (m_bytes.size() < SavedGame::kHeaderSize || LE_LoadU32(m_bytes.data()) != SavedGame::kMagic) {
        error = "it is not a saved game";
        return false;
    }
    const uint32_t version = LE_LoadU32(m_bytes.data() + 4);
    if (version != SavedGame::kVersion) {
        error = "it is a saved game of another version (" + std::to_string(version) + ")";
        return false;
    }
    m_gameType = LE_LoadU32(m_bytes.data() + 8);
    const uint32_t length = LE_LoadU32(m_bytes.data() + 12);
    if (length != m_bytes.size() - SavedGame::kHeaderSize) {
        error = length > m_bytes.size() - SavedGame::kHeaderSize ? "it is cut short"
                                                                 : "it has bytes past its end";
        return false;
    }
    m_crc = CRC32_Compute(m_bytes.data() + SavedGame::kHeaderSize, length);
    if (m_crc != LE_LoadU32(m_bytes.data() + 16)) {
        error = "it is damaged (its check sum differs)";
        return false;
    }
    if (m_gameType > 2) {
        error = "its game type is unknown";
        return false;
    }
    size_t at = SavedGame::kHeaderSize;
    std::set<uint32_t> seen;
    while (at < m_bytes.size()) {
        if (m_bytes.size() - at < 8) {
            error = "a section is cut short";
            return false;
        }
        const uint32_t tag = LE_LoadU32(m_bytes.data() + at);
        const uint32_t size = LE_LoadU32(m_bytes.data() + at + 4);
        at += 8;
        char name[5];
        if (size > m_bytes.size() - at) {
            error = std::string("its section ") + TagName(tag, name) + " is cut short";
            return false;
        }
        if (!seen.insert(tag).second) {
            error = std::string("its section ") + TagName(tag, name) + " comes twice";
            return false;
        }
        m_sections.push_back({tag, at, size});
        at += size;
    }
    const uint32_t first[] = {SavedGame::kTagNet, SavedGame::kTagGrid, SavedGame::kTagWorld,
                              SavedGame::kTagOrders};
    for (size_t i = 0; i < 4; ++i)
        if (m_sections.size() <= i || m_sections[i].tag != first[i]) {
            char name[5];
            error = std::string("its section ") + TagName(first[i], name) + " is missing";
            return false;
        }
    return true;
}

const CSavedGameFile::SSection* CSavedGameFile::Find(uint32_t tag) const {
    for (const SSection& s : m_sections)
        if (s.tag == tag) return &s;
    return nullptr;
}

// ---- parts

void CNetGame::AddSavedPart(ISavedGamePart* part) {
    if (part && std::find(m_savedParts.begin(), m_savedParts.end(), part) == m_savedParts.end())
        m_savedParts.push_back(part);
}

void CNetGame::RemoveSavedPart(ISavedGamePart* part) {
    m_savedParts.erase(std::remove(m_savedParts.begin(), m_savedParts.end(), part), m_savedParts.end());
}

// ---- the network game's section

void CNetGame::SaveNetSection(CStateArchive& ar) {
    SaveDescription(ar, m_joinedInfo);
    SaveDescription(ar, m_serverInfo);
    ar.WriteU8(m_players.m_alliedVictory);
    ar.WriteI32(m_nextOwnerId);
    ar.WriteI32(m_nextPlayerId);
    ar.WriteU32(m_players.m_nextTeamId);
    uint64_t time = Clock().GameTime();
    ar.U64(time);
    float pace[2] = {Clock().TickRate(), Clock().GameSpeed()};
    ar.F32s(pace, 2);
    ar.WriteU32(static_cast<uint32_t>(m_players.m_teams.size()));
    for (auto it = m_players.m_teams.rbegin(); it != m_players.m_teams.rend(); ++it) {
        CTeam* t = *it;  // oldest first: read back, each new team goes in front
        ar.WriteU32(t->m_id);
        StateText_Transfer(ar, t->m_name, kMaxNameText);
        ar.WriteI32(t->m_leader ? t->m_leader->m_id : t->m_leaderId);
        ar.WriteU8(t->m_keep);
        ar.WriteI32(t->m_kills);
        float v[1] = {t->m_harvested};
        ar.F32s(v, 1);
        ar.WriteI32(t->m_scoreCounters[0]);
        ar.WriteI32(t->m_scoreCounters[1]);
        v[0] = t->m_scoreValue;
        ar.F32s(v, 1);
    }
    std::vector<CPlayer*> players;
    for (CPlayer* p : m_players.m_players)
        if (p != m_players.m_neutral) players.push_back(p);
    std::stable_sort(players.begin(), players.end(), &CPlayer::CompareById);
    ar.WriteU32(static_cast<uint32_t>(players.size()));
    for (CPlayer* p : players) {
        ar.WriteI32(p->m_id);
        ar.WriteI32(p->m_ownerId);
        StateText_Transfer(ar, p->m_name, kMaxNameText);
        StateText_Transfer(ar, p->m_raceName, kMaxNameText);
        ar.F32s(p->m_colour, 3);
        ar.WriteU8(p->m_attributeByte);
        ar.U16(p->m_attributeWord);
        ar.WriteU8(p->m_connectionKind);
        ar.WriteU8(p->m_computer);
        ar.WriteI32(p->m_team ? static_cast<int32_t>(p->m_team->m_id) : -1);
        ar.WriteI32(p->m_kills);
        float v[2] = {p->m_harvested, p->m_dockedIncome};
        ar.F32s(v, 2);
        for (uint64_t& t : p->m_timers) ar.U64(t);
        ar.WriteU32(static_cast<uint32_t>(p->m_allies.size()));
        for (CPlayer* a : p->m_allies) ar.WriteI32(a->m_id);
    }
}

bool CNetGame::LoadNetSection(CStateArchive& ar, std::vector<int32_t>* playerIds,
                              std::vector<int32_t>* computerIds) {
    const CStateArchive::EMode mode = ar.SetReadMode(CStateArchive::kApply);
    SDescription current, hosted;
    current.Read(ar);
    hosted.Read(ar);
    const uint8_t alliedVictory = ar.ReadU8();
    const int32_t nextOwner = ar.ReadI32();
    const int32_t nextPlayer = ar.ReadI32();
    const uint32_t nextTeam = ar.ReadU32();
    uint64_t time = 0;
    ar.U64(time);
    float pace[2] = {};
    ar.F32s(pace, 2);
    uint32_t teamCount = 0;
    ar.Count(teamCount, 31);
    if (teamCount > kMaxTeams) ar.Fail();
    std::vector<STeamRecord> teams;
    for (uint32_t i = 0; ar.Ok() && i < teamCount; ++i) {
        STeamRecord t;
        t.id = ar.ReadU32();
        StateText_Transfer(ar, t.name, kMaxNameText);
        t.leader = ar.ReadI32();
        t.keep = ar.ReadU8();
        t.kills = ar.ReadI32();
        ar.F32s(&t.harvested, 1);
        t.score[0] = ar.ReadI32();
        t.score[1] = ar.ReadI32();
        ar.F32s(&t.scoreValue, 1);
        teams.push_back(t);
    }
    uint32_t playerCount = 0;
    ar.Count(playerCount, 121);
    if (playerCount > kMaxPlayers) ar.Fail();
    std::vector<SPlayerRecord> players;
    for (uint32_t i = 0; ar.Ok() && i < playerCount; ++i) {
        SPlayerRecord p;
        p.id = ar.ReadI32();
        p.ownerId = ar.ReadI32();
        StateText_Transfer(ar, p.name, kMaxNameText);
        StateText_Transfer(ar, p.race, kMaxNameText);
        ar.F32s(p.colour, 3);
        p.attribute = ar.ReadU8();
        p.attributeWord = ar.ReadU16();
        p.connectionKind = ar.ReadU8();
        p.computer = ar.ReadU8();
        p.team = ar.ReadI32();
        p.kills = ar.ReadI32();
        ar.F32s(&p.harvested, 1);
        ar.F32s(&p.dockedIncome, 1);
        for (uint64_t& t : p.timers) ar.U64(t);
        uint32_t allies = 0;
        ar.Count(allies, 4);
        if (allies > kMaxPlayers) ar.Fail();
        for (uint32_t a = 0; ar.Ok() && a < allies; ++a) p.allies.push_back(ar.ReadI32());
        players.push_back(std::move(p));
    }
    ar.SetReadMode(mode);
    // What the records say must hold together: ids once each, teams and
    // allies that are there, values a game can have.
    std::set<int32_t> ids;
    std::set<uint32_t> teamIds;
    bool ok = ar.Ok() && nextOwner >= 0 && nextPlayer >= 0 && Finite(pace[0]) && pace[0] >= 1.5f &&
              pace[0] <= 120.0f && Finite(pace[1]) && pace[1] > 0.0f && pace[1] <= 4.0f;
    for (const STeamRecord& t : teams) ok = ok && teamIds.insert(t.id).second;
    for (const SPlayerRecord& p : players) {
        ok = ok && p.id > 0 && ids.insert(p.id).second &&
             (p.team == -1 || teamIds.count(static_cast<uint32_t>(p.team)));
        for (float c : p.colour) ok = ok && Finite(c) && c >= 0.0f && c <= 255.0f;
    }
    for (const SPlayerRecord& p : players)
        for (int32_t a : p.allies) ok = ok && ids.count(a) && a != p.id;
    if (!ok) {
        ar.Fail();
        return false;
    }
    if (playerIds) playerIds->assign(ids.begin(), ids.end());
    if (computerIds) {
        computerIds->clear();
        for (const SPlayerRecord& p : players)
            if (p.computer) computerIds->push_back(p.id);
    }
    if (!ar.IsApplying()) return true;

    current.Apply(m_joinedInfo);
    hosted.Apply(m_serverInfo);
    m_players.m_alliedVictory = alliedVictory ? 1 : 0;
    m_nextOwnerId = std::max(m_nextOwnerId, nextOwner);
    m_nextPlayerId = std::max(m_nextPlayerId, nextPlayer);
    // The teams of the file take the place of the session's.
    while (!m_players.m_teams.empty()) delete m_players.m_teams.front();
    for (const STeamRecord& r : teams) {
        CTeam* t = new CTeam(&m_players, nullptr, r.name.GetText());
        t->m_id = r.id;
        t->m_leaderId = r.leader;
        t->m_keep = r.keep ? 1 : 0;
        t->m_kills = r.kills;
        t->m_harvested = r.harvested;
        t->m_scoreCounters[0] = r.score[0];
        t->m_scoreCounters[1] = r.score[1];
        t->m_scoreValue = r.scoreValue;
    }
    m_players.m_nextTeamId = std::max(m_players.m_nextTeamId, nextTeam);
    // Every player of the file, made when the session has none of its id
    // (a computer player, a player who has not come back): each machine
    // keeps its own local player.
    for (const SPlayerRecord& r : players) {
        CPlayer* p = FindPlayerById(r.id);
        if (!p) p = NewPlayer(r.id);
        p->m_ownerId = r.ownerId;
        p->m_name = r.name;
        p->m_raceName = r.race;
        CRace* race = m_players.FindRace(r.race.GetText());
        p->m_race = race ? race : m_players.m_defaultRace;
        std::memcpy(p->m_colour, r.colour, sizeof p->m_colour);
        p->m_attributeByte = r.attribute;
        p->m_attributeWord = r.attributeWord;
        p->m_connectionKind = r.connectionKind;
        p->m_computer = r.computer ? 1 : 0;
        // The host runs the computer players (their orders come from its own
        // client, as when it made them) and the map's units nobody plays.
        p->m_computerHere =
            m_hosting && p != m_players.m_local && (p->m_computer || p == m_players.m_neutral) ? 1 : 0;
        if (p->m_computerHere && p->m_computer)
            if (CGameSocket* host = TakeLocalServerEnd()) {
                p->SetConnectionRecord(host);
                host->Release();
            }
        p->SetTeamRecord(r.team >= 0 ? m_players.FindTeamById(static_cast<uint32_t>(r.team)) : nullptr);
        p->m_kills = r.kills;
        p->m_harvested = r.harvested;
        p->m_dockedIncome = r.dockedIncome;
        std::memcpy(p->m_timers, r.timers, sizeof p->m_timers);
    }
    for (const SPlayerRecord& r : players) {
        CPlayer* p = FindPlayerById(r.id);
        while (!p->m_allies.empty()) p->RemoveAlly(p->m_allies.back());
        for (int32_t a : r.allies) p->AddAlly(FindPlayerById(a));
    }
    ResolveTeamLeaders();
    // The clock: the saved time is the one of the tick that was about to
    // run, which the next tick here takes on by one period.
    Clock().SetTickRate(pace[0]);
    Clock().SetGameSpeed(pace[1]);
    const uint64_t period = Clock().TickPeriod();
    Clock().SetClockTimes(time, time > period ? time - period : 0);
    return true;
}

bool CNetGame::ReadSavedGameInfo(const CSavedGameFile& file, SSavedGameInfo& info) {
    const CSavedGameFile::SSection* net = file.Find(SavedGame::kTagNet);
    if (!net) return false;
    CStateArchive ar(file.Data(*net), net->size, CStateArchive::kApply);
    SDescription current, hosted;
    current.Read(ar);
    hosted.Read(ar);
    ar.ReadU8();
    ar.ReadI32();
    ar.ReadI32();
    ar.ReadU32();
    uint64_t time = 0;
    ar.U64(time);
    if (!ar.Ok()) return false;
    info.gameType = file.GameType();
    info.mapFile = current.mapFile;
    info.gameTime = time;
    return true;
}

// ---- writing

bool CNetGame::BuildSavedGame(const CTurnOrders& next, std::vector<uint8_t>& out) {
    if (!m_world) return false;
    std::vector<std::pair<uint32_t, std::vector<uint8_t>>> sections;
    CStateArchive ar;
    SaveNetSection(ar);
    WriteSection(sections, SavedGame::kTagNet, ar);
    ar.Reset();
    ar.WriteI32(m_players.m_local ? m_players.m_local->m_id : -1);
    m_world->Grid().SaveRecord(ar);
    WriteSection(sections, SavedGame::kTagGrid, ar);
    ar.Reset();
    m_world->SaveState(ar);
    WriteSection(sections, SavedGame::kTagWorld, ar);
    ar.Reset();
    ar.WriteU32(static_cast<uint32_t>(next.Count()));
    for (const CTurnOrders::SOrder& o : next.Orders()) {
        uint16_t type = o.type;
        ar.U16(type);
        ar.WriteU32(static_cast<uint32_t>(o.data.size()));
        if (!o.data.empty()) ar.Bytes(const_cast<uint8_t*>(o.data.data()), o.data.size());
    }
    WriteSection(sections, SavedGame::kTagOrders, ar);
    for (ISavedGamePart* part : m_savedParts) {
        ar.Reset();
        part->SaveSection(ar);
        WriteSection(sections, part->SavedTag(), ar);
    }
    out = CSavedGameFile::Build(static_cast<uint32_t>(std::max(Flow().GameType(), 0)), sections);
    return true;
}

bool CNetGame::RequestSave(const char* path, std::function<void(bool, const std::string&)> done) {
    if (!path || !*path || !m_world || !m_saveRequest.empty()) return false;
    if (Flow().GuiWord() != 0 || Flow().GameState() != 2) return false;
    m_saveRequest = path;
    m_saveDone = std::move(done);
    return true;
}

void CNetGame::WriteRequestedSave(NWEFrame* frame) {
    // The frame about to run: its world orders, in the order they will run,
    // are the first turn of the game that the save continues.
    std::vector<NWEMessagePtr> list = frame->TakeMessages();
    frame->PutBack(list);
    SortByKey(list);
    CTurnOrders next;
    for (const NWEMessagePtr& m : list)
        if (CWorld::IsWorldOrder(m->GetId())) next.Add(m->GetId(), m->GetData(), m->GetSize());
    std::vector<uint8_t> bytes;
    std::string error;
    bool written = BuildSavedGame(next, bytes);
    if (!written)
        error = "no game runs";
    else if (!(written = Sys_WriteFileAtomic(m_saveRequest.c_str(), bytes.data(), bytes.size())))
        error = "it could not be written (the saved game that was there is kept)";
    std::function<void(bool, const std::string&)> done = std::move(m_saveDone);
    m_saveRequest.clear();
    m_saveDone = nullptr;
    if (done) done(written, error);
}

// ---- reading and checking

std::string CNetGame::SavedGamePath(const char* name) {
    return Files().GetPath("Save", name ? name : "");
}

namespace {
// A saved game's file whole (at most kMaxFileSize bytes), from the disk or
// a pack; false with the reason.
bool ReadWhole(const char* path, std::vector<uint8_t>& bytes, std::string& error) {
    CVFSFile f;
    if (!path || !f.Open(path, CVFSFile::kModeRead)) {
        error = "the file is not there";
        return false;
    }
    const uint32_t size = f.GetSize();
    if (size > SavedGame::kMaxFileSize) {
        error = "it is too large for a saved game";
        return false;
    }
    bytes.resize(size);
    const bool read = size == 0 || f.Read(bytes.data(), size) == size;
    f.Close();
    if (!read) error = "it could not be read";
    return read;
}
}  // namespace

bool CNetGame::ReadSavedGame(const char* path, CSavedGameFile& file, std::string& error) {
    std::vector<uint8_t> bytes;
    return ReadWhole(path, bytes, error) && file.Parse(std::move(bytes), error);
}

bool CNetGame::CheckSavedGame(const CSavedGameFile& file, std::string& error) {
    if (!m_world) {
        error = "no world to load it into";
        return false;
    }
    auto section = [&](const CSavedGameFile::SSection& s) {
        return CStateArchive(file.Data(s), s.size, CStateArchive::kCheck);
    };
    char name[5];
    auto fail = [&](uint32_t tag, const char* what) {
        error = std::string("its section ") + TagName(tag, name) + " " + what;
        return false;
    };
    std::vector<int32_t> playerIds;
    {
        CStateArchive ar = section(*file.Find(SavedGame::kTagNet));
        m_savedGameChecked = SSavedGameChecked();
        if (!LoadNetSection(ar, &playerIds, &m_savedGameChecked.computerPlayers) || ar.GetRemaining() != 0)
            return fail(SavedGame::kTagNet, "does not fit");
        SSavedGameInfo info;
        ReadSavedGameInfo(file, info);
        m_savedGameChecked.gameTime = info.gameTime;
        if (!m_joinedInfo.m_mapFile.EqualsNoCase(info.mapFile.GetText())) {
            error = std::string("it is a game on the map '") + info.mapFile.GetText() + "', not on '" +
                    m_joinedInfo.m_mapFile.GetText() + "'";
            return false;
        }
    }
    // The session's players stay too: a record of the world may name them.
    for (CPlayer* p : m_players.m_players)
        if (p != m_players.m_neutral) playerIds.push_back(p->m_id);
    {
        const CSavedGameFile::SSection& s = *file.Find(SavedGame::kTagGrid);
        CVFSFile grid;
        if (s.size < 4 || !grid.OpenMemory(file.Data(s) + 4, static_cast<uint32_t>(s.size - 4)) ||
            !m_world->Grid().Load(grid, false) || !grid.AtEnd())
            return fail(SavedGame::kTagGrid, "does not fit this map");
    }
    {
        CStateArchive ar = section(*file.Find(SavedGame::kTagWorld));
        if (!m_world->LoadState(ar, &playerIds) || ar.GetRemaining() != 0)
            return fail(SavedGame::kTagWorld, "does not fit the game's units");
    }
    {
        CStateArchive ar = section(*file.Find(SavedGame::kTagOrders));
        uint32_t count = 0;
        ar.Count(count, 6);
        for (uint32_t i = 0; ar.Ok() && i < count; ++i) {
            const uint16_t type = ar.ReadU16();
            uint32_t length = 0;
            ar.Count(length, 1);
            ar.Bytes(nullptr, length);
            if (!CWorld::IsWorldOrder(type) || length > kMaxOrderLength) ar.Fail();
        }
        if (!ar.Ok() || count > kMaxCarriedOrders || ar.GetRemaining() != 0)
            return fail(SavedGame::kTagOrders, "does not fit");
    }
    for (ISavedGamePart* part : m_savedParts) {
        const CSavedGameFile::SSection* s = file.Find(part->SavedTag());
        if (!s) continue;
        CStateArchive ar = section(*s);
        if (!part->LoadSection(ar) || !ar.Ok() || ar.GetRemaining() != 0) return fail(s->tag, "does not fit");
    }
    return true;
}

bool CNetGame::ApplySavedGame(const CSavedGameFile& file, std::string& error) {
    if (!m_world) {
        error = "no world to load it into";
        return false;
    }
    // The map's objects go; the saved game's take their ids. The file was
    // checked before the map loaded, and once more now.
    m_world->Scene().Clear();
    if (!CheckSavedGame(file, error)) return false;
    auto section = [&](uint32_t tag) {
        const CSavedGameFile::SSection* s = file.Find(tag);
        return CStateArchive(file.Data(*s), s->size, CStateArchive::kApply);
    };
    CStateArchive net = section(SavedGame::kTagNet);
    bool ok = LoadNetSection(net, nullptr);
    {
        const CSavedGameFile::SSection& s = *file.Find(SavedGame::kTagGrid);
        const int32_t fogOf = static_cast<int32_t>(LE_LoadU32(file.Data(s)));
        CVFSFile grid;
        ok = ok && grid.OpenMemory(file.Data(s) + 4, static_cast<uint32_t>(s.size - 4)) &&
             m_world->Grid().Load(grid, true);
        // The fog is what the saving player saw: another player starts with
        // its own.
        if (ok && (!m_players.m_local || m_players.m_local->m_id != fogOf)) m_world->Grid().m_cellMap.Reset();
    }
    CTurnOrders next;
    {
        CStateArchive ar = section(SavedGame::kTagOrders);
        const uint32_t count = ar.ReadU32();
        for (uint32_t i = 0; i < count; ++i) {
            const uint16_t type = ar.ReadU16();
            const uint32_t length = ar.ReadU32();
            std::vector<uint8_t> data(length);
            if (length) ar.Bytes(data.data(), length);
            next.Add(type, data.data(), data.size());
        }
    }
    CStateArchive world = section(SavedGame::kTagWorld);
    ok = ok && m_world->LoadState(world);
    if (ok) m_world->ResumeWaySearches(next);
    for (ISavedGamePart* part : m_savedParts) {
        if (!file.Find(part->SavedTag())) continue;
        CStateArchive ar = section(part->SavedTag());
        ok = part->LoadSection(ar) && ok;
    }
    // The turn the saved game was about to run runs now.
    for (const CTurnOrders::SOrder& o : next.Orders()) AddTurnOrder(o.type, o.data.data(), o.data.size());
    if (!ok) error = "it could not be taken whole";
    return ok;
}

// ---- the start

bool CNetGame::HostSavedGame(const char* name, SSavedGameInfo* info, std::string& error) {
    if (!name || !*name) {
        m_hostedSave.Clear();
        m_hostedSaveCrc = 0;
        return true;
    }
    if (!SavedGame_IsPlainName(name)) {
        error = "a saved game is named by its file name alone";
        return false;
    }
    CSavedGameFile file;
    if (!ReadSavedGame(SavedGamePath(name).c_str(), file, error)) return false;
    SSavedGameInfo read;
    if (!ReadSavedGameInfo(file, read)) {
        error = "its section NETG does not fit";
        return false;
    }
    if (info) *info = read;
    m_hostedSave = name;
    m_hostedSaveCrc = CRC32_Compute(file.Bytes().data(), file.Bytes().size());
    return true;
}

void CNetGame::TakeSavedGameAnnouncement(uint32_t crc, const char* name) {
    m_pendingFile.reset();
    m_pendingError.clear();
    m_pendingSave.Clear();
    if (!name || !*name) return;
    m_pendingSave = name;
    // This machine's copy: there, the server's own (the same bytes), and a
    // game this session and its world can take.
    std::unique_ptr<CSavedGameFile> file(new CSavedGameFile);
    std::vector<uint8_t> bytes;
    std::string& error = m_pendingError;
    if (!SavedGame_IsPlainName(name))
        error = "the server named no saved game's file";
    else if (ReadWhole(SavedGamePath(name).c_str(), bytes, error) &&
             CRC32_Compute(bytes.data(), bytes.size()) != crc)
        error = "this machine's copy is not the server's";
    else if (error.empty() && file->Parse(std::move(bytes), error) && CheckSavedGame(*file, error))
        m_pendingFile = std::move(file);
}

void CNetGame::StartGameLoop() {
    if (!SavedGamePending()) {
        Maps().RunObjectiveScript();
        return;
    }
    std::string error;
    if (!m_pendingFile || !ApplySavedGame(*m_pendingFile, error))
        PrintColor(255, 0, 0, true, "Error loading saved game '%s': %s", m_pendingSave.GetText(),
                   m_pendingFile ? error.c_str() : m_pendingError.c_str());
    m_pendingFile.reset();
    m_pendingSave.Clear();
    m_pendingError.clear();
}

void CNetGame::ForgetSavedGames() {
    m_hostedSave.Clear();
    m_hostedSaveCrc = 0;
    m_pendingSave.Clear();
    m_pendingError.clear();
    m_pendingFile.reset();
}
