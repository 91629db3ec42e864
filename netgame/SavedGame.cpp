// Saved games: the file (its layout in SavedGame.h) written field by field
// and walked field by field into the sections that the session, the world
// and the parts read; writing at a frame's start, checking and applying at
// the game loop's start.
//
// The session's section of a walked file (NETG, built by the reader from
// the network game block and the session's record), little-endian:
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
// The players' economy and scores go to the world's state (its sync
// records).
#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
#include <algorithm>
#include <cstring>
#include <set>

#include "core/CRC32.h"
#include "core/LittleEndian.h"
#include "core/ShownText.h"
#include "core/VFSFile.h"
#include "netgame/NetGame.h"
#include "netgame/SavedGame.h"
#include "platform/sys/Path.h"
#include "world/GameScene.h"
#include "world/ObjectTemplate.h"
#include "world/Objectives.h"
#include "world/StateText.h"
#include "world/TessarakObject.h"
#include "world/WireText.h"
#include "world/WorldGrid.h"

namespace {

constexpr uint32_t kMaxTeams = 256;
constexpr uint32_t kMaxPlayers = 256;
constexpr uint32_t kMaxCarriedOrders = 65536;
constexpr uint32_t kMaxOrderLength = 65536;
constexpr uint16_t kMaxNameText = 31;
constexpr uint16_t kMaxMapText = 255;

// What a section of a saved game taken apart is in the file.
std::string FieldName(uint32_t tag) {
    switch (tag) {
        case SavedGame::kTagNet:
            return "its network game block";
        case SavedGame::kTagGrid:
            return "its world grid";
        case SavedGame::kTagWorld:
            return "its scene block";
        case SavedGame::kTagOrders:
            return "the turn's orders of its scene lists";
        case SavedGame::kTagView:
            return "its view and music fields";
        case SavedGame::kTagAI:
            return "its computer players' block";
        default:
            break;
    }
    std::string name = "its part ";
    for (int i = 0; i < 4; ++i) {
        const char c = static_cast<char>(tag >> (8 * i));
        name += c >= 32 && c < 127 ? c : '?';
    }
    return name;
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

void CSavedGameFile::Clear() {
    m_bytes.clear();
    m_sections.clear();
    m_gameType = 0;
    m_briefing.clear();
}

bool CSavedGameFile::AddSection(uint32_t tag, std::vector<uint8_t> bytes) {
    if (Find(tag)) return false;
    const size_t size = bytes.size();
    m_sections.push_back({tag, std::move(bytes), size});
    return true;
}

const CSavedGameFile::SSection* CSavedGameFile::Find(uint32_t tag) const {
    for (const SSection& s : m_sections)
        if (s.tag == tag) return &s;
    return nullptr;
}

namespace {

constexpr uint32_t kSceneLists = 255;
constexpr uint32_t kMaxListIds = 1u << 22;
constexpr uint32_t kMaxTemplateRecords = 65536;
constexpr uint16_t kMaxFieldText = 255;
// The scene's lists are its control groups (their members' ids; a loaded
// unit joins its group again by its own group number, so a reader only
// checks them). The last four, which no control key reaches, carry what the
// layout has no place for.
enum : uint32_t { kListOut = 251, kListFielded = 252, kListWaySearches = 253, kListTurnOrders = 254 };

// Bytes packed into an id list: u32 their length, then four to a word.
void WriteCarriedList(CStateArchive& ar, const std::vector<uint8_t>& bytes) {
    const uint32_t words = static_cast<uint32_t>((bytes.size() + 3) / 4);
    ar.WriteU32(words + 1);
    ar.WriteU32(static_cast<uint32_t>(bytes.size()));
    std::vector<uint8_t> padded(bytes);
    padded.resize(size_t(words) * 4, 0);
    if (!padded.empty()) ar.Bytes(padded.data(), padded.size());
}

// An id list: its ids (each a u32), at most kMaxListIds and what is left.
bool ReadIdList(CStateArchive& ar, std::vector<uint32_t>& ids) {
    uint32_t count = 0;
    ar.Count(count, 4);
    if (!ar.Ok() || count > kMaxListIds) {
        ar.Fail();
        return false;
    }
    ids.resize(count);
    for (uint32_t& id : ids) id = ar.ReadU32();
    return ar.Ok();
}

// The bytes a carried list holds; false when its length does not fit its
// words or its padding is not zero. An empty list carries nothing.
bool CarriedBytes(const std::vector<uint32_t>& words, std::vector<uint8_t>& bytes) {
    bytes.clear();
    if (words.empty()) return true;
    const uint32_t length = words[0];
    if ((uint64_t(length) + 3) / 4 != words.size() - 1) return false;
    for (size_t i = 1; i < words.size(); ++i)
        for (int b = 0; b < 4; ++b) bytes.push_back(static_cast<uint8_t>(words[i] >> (8 * b)));
    for (size_t i = length; i < bytes.size(); ++i)
        if (bytes[i]) return false;
    bytes.resize(length);
    return true;
}

void WriteText(CStateArchive& ar, const char* text, uint16_t maxLength) {
    CStrBuf t(text ? text : "");
    StateText_Transfer(ar, t, maxLength);
}

uint32_t FloatBits(float v) {
    uint32_t u;
    std::memcpy(&u, &v, 4);
    return u;
}

float BitsFloat(uint32_t u) {
    float v;
    std::memcpy(&v, &u, 4);
    return v;
}

// Fields 6 to 11 as a new game has them (a save without the game's view).
void WriteDefaultView(CStateArchive& ar) {
    const float settings[4] = {270.0f, 12.0f, 17.0f, 1.0471976f};
    for (float v : settings) ar.WriteU32(FloatBits(v));
    for (uint32_t v : {0u, 0u, 1u, 1u, 60u, 128u, 64u, 64u, 256u, 256u, 256u}) ar.WriteU32(v);
    float sun[3] = {0.7853982f, 0.7853982f, 0.7853982f};
    ar.F32s(sun, 3);
    for (int i = 0; i < 6; ++i) ar.WriteU32(0);
    WriteText(ar, "", kMaxFieldText);
    ar.WriteU8(0);
    WriteText(ar, "", kMaxFieldText);
    WriteText(ar, "", kMaxFieldText);
}

// Walks fields 6 to 11 (their widths and bounds only).
bool SkipView(CStateArchive& ar) {
    const CStateArchive::EMode mode = ar.SetReadMode(CStateArchive::kApply);
    for (int i = 0; i < 15 + 3 + 6; ++i) ar.ReadU32();
    CStrBuf text;
    StateText_Transfer(ar, text, kMaxFieldText);
    const uint8_t playing = ar.ReadU8();
    if (playing > 1) ar.Fail();
    if (playing) ar.ReadU32();
    StateText_Transfer(ar, text, kMaxFieldText);
    StateText_Transfer(ar, text, kMaxFieldText);
    ar.SetReadMode(mode);
    return ar.Ok();
}

// A player's record of the network game block with what the session's
// record adds (the player's part of NETG and of the world's state).
struct SFilePlayer {
    int32_t id = 0, team = -1, kills = 0, ownerId = 0;
    uint8_t attribute = 0, connectionKind = 0, computer = 0;
    uint16_t attributeWord = 0;
    float scale = 1.0f, harvested = 0.0f, colour[3] = {}, economy[CPlayer::kEconomyValues] = {};
    float scale2 = 0.0f, scoreValue = 0.0f, dockedIncome = 0.0f;
    int32_t gameValues[4] = {}, scoreCounters[2] = {};
    uint64_t timers[9] = {};
    CStrBuf race, name;
    std::vector<int32_t> allies;
};

constexpr int kFileEconomy = 11;  // the economy values of the player's record

// A player's sync values (its sync record read back).
void SyncValues(const CPlayer* p, SFilePlayer& v) {
    CStateArchive sync;
    p->WriteSyncInfo(sync);
    CStateArchive ar(sync.GetData(), sync.GetSize(), CStateArchive::kApply);
    v.id = ar.ReadI32();
    WireText_Read(ar, &v.name, CPlayer::kMaxNameLength, false);
    ar.F32(v.scale);
    for (int32_t& g : v.gameValues) g = ar.ReadI32();
    ar.F32s(v.economy, CPlayer::kEconomyValues);
    ar.F32(v.scale2);
    ar.F32(v.scoreValue);
    v.scoreCounters[0] = ar.ReadI32();
    v.scoreCounters[1] = ar.ReadI32();
}

void WritePlayerRecord(CStateArchive& ar, CPlayer* p) {
    SFilePlayer v;
    SyncValues(p, v);
    ar.WriteU32(static_cast<uint32_t>(p->m_id));
    ar.WriteU8(p->m_attributeByte);
    ar.WriteU8(p->m_connectionKind);
    for (int i = 0; i < 3; ++i) ar.WriteU32(0);
    ar.WriteI32(p->m_team ? static_cast<int32_t>(p->m_team->m_id) : -1);
    ar.WriteI32(p->m_kills);
    ar.WriteU8(p->m_computer);
    ar.WriteU32(FloatBits(v.scale));
    StateText_Transfer(ar, p->m_raceName, kMaxNameText);
    for (int32_t g : v.gameValues) ar.WriteI32(g);
    ar.WriteI32(p->m_ownerId);
    ar.F32s(p->m_colour, 3);
    ar.WriteU8(0);
    ar.WriteU32(FloatBits(p->m_harvested));
    for (int i = 0; i < kFileEconomy; ++i) ar.WriteU32(FloatBits(v.economy[i]));
    ar.WriteU32(FloatBits(v.scale2));
    ar.WriteU32(FloatBits(v.scoreValue));
    ar.WriteI32(v.scoreCounters[0]);
    ar.WriteI32(v.scoreCounters[1]);
    ar.WriteU8(static_cast<uint8_t>(p->m_attributeWord));
    ar.WriteU8(static_cast<uint8_t>(p->m_attributeWord >> 8));
    for (uint64_t t : p->m_timers) {
        uint64_t v = t;
        ar.U64(v);
    }
}

void ReadPlayerRecord(CStateArchive& ar, SFilePlayer& p) {
    p.id = ar.ReadI32();
    p.attribute = ar.ReadU8();
    p.connectionKind = ar.ReadU8();
    for (int i = 0; i < 3; ++i) ar.ReadU32();  // cleared
    p.team = ar.ReadI32();
    p.kills = ar.ReadI32();
    p.computer = ar.ReadU8();
    p.scale = BitsFloat(ar.ReadU32());
    StateText_Transfer(ar, p.race, kMaxNameText);
    for (int32_t& v : p.gameValues) v = ar.ReadI32();
    p.ownerId = ar.ReadI32();
    ar.F32s(p.colour, 3);
    ar.ReadU8();  // cleared
    p.harvested = BitsFloat(ar.ReadU32());
    for (int i = 0; i < kFileEconomy; ++i) p.economy[i] = BitsFloat(ar.ReadU32());
    p.scale2 = BitsFloat(ar.ReadU32());
    p.scoreValue = BitsFloat(ar.ReadU32());
    p.scoreCounters[0] = ar.ReadI32();
    p.scoreCounters[1] = ar.ReadI32();
    p.attributeWord = static_cast<uint16_t>(ar.ReadU8());
    p.attributeWord = static_cast<uint16_t>(p.attributeWord | ar.ReadU8() << 8);
    for (uint64_t& t : p.timers) ar.U64(t);
}

// A player's sync record (CPlayer::WriteSyncInfo's layout) from its file
// records.
void WriteSyncRecord(CStateArchive& ar, const SFilePlayer& p) {
    ar.WriteI32(p.id);
    WireText_Write(ar, p.name.GetText(), CPlayer::kMaxNameLength);
    float scale = p.scale;
    ar.F32(scale);
    for (int32_t v : p.gameValues) ar.WriteI32(v);
    float economy[CPlayer::kEconomyValues];
    std::memcpy(economy, p.economy, sizeof economy);
    ar.F32s(economy, CPlayer::kEconomyValues);
    float tail[2] = {p.scale2, p.scoreValue};
    ar.F32s(tail, 2);
    ar.WriteI32(p.scoreCounters[0]);
    ar.WriteI32(p.scoreCounters[1]);
}

// Walks n objective records (each read on a scratch objective, nothing
// kept).
bool SkipObjectives(CStateArchive& ar, uint32_t n, const CGameScene& scene) {
    const CStateArchive::EMode mode = ar.SetReadMode(CStateArchive::kCheck);
    for (uint32_t i = 0; ar.Ok() && i < n; ++i) {
        CObjective scratch;
        if (!scratch.Load(ar, scene)) ar.Fail();
    }
    ar.SetReadMode(mode);
    return ar.Ok();
}

// Reads over n bytes (the archive fails when fewer are left).
void Skip(CStateArchive& ar, size_t n) {
    const CStateArchive::EMode mode = ar.SetReadMode(CStateArchive::kCheck);
    ar.Bytes(nullptr, n);
    ar.SetReadMode(mode);
}

std::vector<uint8_t> Slice(const CStateArchive& ar, size_t from, size_t to) {
    return std::vector<uint8_t>(ar.GetData() + from, ar.GetData() + to);
}

}  // namespace

// ---- parts

void CNetGame::AddSavedPart(ISavedGamePart* part) {
    if (part && std::find(m_savedParts.begin(), m_savedParts.end(), part) == m_savedParts.end())
        m_savedParts.push_back(part);
}

void CNetGame::RemoveSavedPart(ISavedGamePart* part) {
    m_savedParts.erase(std::remove(m_savedParts.begin(), m_savedParts.end(), part), m_savedParts.end());
}

// ---- writing

std::vector<CPlayer*> CNetGame::SavedPlayers() {
    // The local player first, then the others by id; the neutral one never.
    std::vector<CPlayer*> players;
    for (CPlayer* p : m_players.m_players)
        if (p != m_players.m_neutral && p != m_players.m_local) players.push_back(p);
    std::stable_sort(players.begin(), players.end(), &CPlayer::CompareById);
    if (m_players.m_local && m_players.m_local != m_players.m_neutral)
        players.insert(players.begin(), m_players.m_local);
    return players;
}

bool CNetGame::BuildSavedGame(const CTurnOrders& next, std::vector<uint8_t>& out) {
    if (!m_world) return false;
    CGameScene& scene = m_world->Scene();
    const std::vector<CPlayer*> players = SavedPlayers();
    if (players.empty()) return false;
    CStateArchive f;
    // 1, 2
    f.WriteU32(SavedGame::kFormat);
    f.WriteU32(static_cast<uint32_t>(std::max(Flow().GameType(), 0)));
    // 3: the network game block.
    SaveDescription(f, m_joinedInfo);
    SaveDescription(f, m_serverInfo);
    StateText_Transfer(f, m_serverInfo.m_name, kMaxFieldText);
    StateText_Transfer(f, m_serverInfo.m_serverDescription, kMaxFieldText);
    WriteText(f, m_savedView ? m_savedView->BriefingAnimation().c_str() : "", kMaxFieldText);
    f.WriteI32(m_nextOwnerId);
    f.WriteU32(m_players.m_nextTeamId);
    WritePlayerRecord(f, players[0]);
    f.WriteU32(static_cast<uint32_t>(players.size() - 1));
    for (size_t i = 1; i < players.size(); ++i) WritePlayerRecord(f, players[i]);
    f.WriteI32(m_nextPlayerId);
    WriteText(f, (std::string("Maps\\") + m_joinedInfo.m_mapFile.GetText()).c_str(), kMaxFieldText);
    // 4: the world grid.
    m_world->Grid().SaveRecord(f);
    // 5: the scene block.
    scene.SaveObjects(f);
    f.WriteU32(scene.m_frameCounter);
    f.WriteU32(0xFFFFFFFFu);  // no linked object: the camera follows nothing saved
    CStateArchive objectives;
    scene.Objectives().Transfer(objectives);
    CStateArchive head(objectives.GetData(), objectives.GetSize(), CStateArchive::kApply);
    const uint8_t enabled = head.ReadU8();
    const uint32_t counter = head.ReadU32();
    const uint8_t phase = head.ReadU8();
    const uint32_t running = head.ReadU32(), cleanUp = head.ReadU32();
    const uint32_t records = head.ReadU32(), listed = head.ReadU32();
    const size_t recordsAt = head.GetPosition();
    SkipObjectives(head, records, scene);
    const size_t recordsEnd = head.GetPosition();
    std::vector<uint32_t> outIds, fielded;
    ReadIdList(head, outIds);
    ReadIdList(head, fielded);
    for (uint32_t i = 0; i < kListOut; ++i) {
        std::vector<uint32_t> ids;
        for (CObjectMembership* m = scene.m_groupLists[i].GetHead(); m; m = m->GetNextInGroup())
            if (m->GetObject() && m->GetObject()->m_objectId >= 0)
                ids.push_back(static_cast<uint32_t>(m->GetObject()->m_objectId));
        f.WriteU32(static_cast<uint32_t>(ids.size()));
        for (uint32_t id : ids) f.WriteU32(id);
    }
    for (const std::vector<uint32_t>* list : {&outIds, &fielded}) {
        f.WriteU32(static_cast<uint32_t>(list->size()));
        for (uint32_t id : *list) f.WriteU32(id);
    }
    CStateArchive ways;
    m_world->Grid().SavePathState(ways);
    WriteCarriedList(f, ways.GetBuffer());
    CStateArchive turn;
    turn.WriteU32(static_cast<uint32_t>(next.Count()));
    for (const CTurnOrders::SOrder& o : next.Orders()) {
        uint16_t type = o.type;
        turn.U16(type);
        turn.WriteU32(static_cast<uint32_t>(o.data.size()));
        if (!o.data.empty()) turn.Bytes(const_cast<uint8_t*>(o.data.data()), o.data.size());
    }
    WriteCarriedList(f, turn.GetBuffer());
    f.F32s(scene.m_layerPositions, CGameScene::kLayers);
    f.Bytes(scene.m_layerFlags, CGameScene::kLayers);
    f.WriteI32(scene.m_highestMapId);
    f.WriteU32(records);
    if (recordsEnd > recordsAt)
        f.Bytes(const_cast<uint8_t*>(objectives.GetData() + recordsAt), recordsEnd - recordsAt);
    f.WriteU8(enabled);
    f.WriteU8(phase);
    f.WriteU8(static_cast<uint8_t>(counter));
    f.WriteU32(running);
    f.WriteU32(cleanUp);
    f.WriteU32(listed);
    f.WriteU8(0);
    f.WriteU32(scene.m_anonymousSeed);
    f.WriteU32(FloatBits(scene.m_spotSizeMin));
    f.WriteU32(FloatBits(scene.m_spotSizeMax));
    f.WriteU8(0);
    f.WriteU32(FloatBits(scene.m_spotMovement));
    // The templates' counts of each player's objects: a loaded game counts
    // them again as it makes its objects, so a reader only checks them.
    for (CTessarakObjectTemplate* t = scene.m_templates; t; t = t->m_listNext) {
        uint16_t project = t->m_projectId;
        f.U16(project);
        f.WriteU32(t->m_nodeId);
        f.WriteU8(0);
        f.WriteU32(static_cast<uint32_t>(m_players.m_players.size()));
        for (CPlayer* p : m_players.m_players) {
            const CObjectGroup* group = t->GetPlayerData(p);
            f.WriteI32(p->m_id);
            f.WriteI32(group ? group->GetCount() : 0);
        }
    }
    f.WriteI32(scene.m_idTable.GetCounter());
    // 6 to 11: the game's own fields.
    if (m_savedView)
        m_savedView->SaveView(f);
    else
        WriteDefaultView(f);
    // 12: the computer players' block, the session's record first.
    f.WriteU32(static_cast<uint32_t>(1 + m_savedParts.size()));
    CStateArchive session;
    SaveSessionRecord(session, players);
    f.WriteU32(SavedGame::kTagSession);
    f.WriteU32(static_cast<uint32_t>(session.GetSize()));
    f.Bytes(const_cast<uint8_t*>(session.GetData()), session.GetSize());
    for (ISavedGamePart* part : m_savedParts) {
        CStateArchive ar;
        part->SaveSection(ar);
        f.WriteU32(part->SavedTag());
        f.WriteU32(static_cast<uint32_t>(ar.GetSize()));
        if (ar.GetSize()) f.Bytes(const_cast<uint8_t*>(ar.GetData()), ar.GetSize());
    }
    f.WriteU32(CRC32_Compute(f.GetData(), f.GetSize()));
    out = f.GetBuffer();
    return true;
}

void CNetGame::SaveSessionRecord(CStateArchive& ar, const std::vector<CPlayer*>& players) {
    ar.WriteU8(m_players.m_alliedVictory);
    uint64_t time = Clock().GameTime();
    ar.U64(time);
    float pace[2] = {Clock().TickRate(), Clock().GameSpeed()};
    ar.F32s(pace, 2);
    ar.WriteI32(m_players.m_local ? m_players.m_local->m_id : -1);
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
    for (CPlayer* p : players) {
        SFilePlayer v;
        SyncValues(p, v);
        StateText_Transfer(ar, p->m_name, kMaxNameText);
        float docked = p->m_dockedIncome;
        ar.F32(docked);
        ar.F32s(v.economy + kFileEconomy, CPlayer::kEconomyValues - kFileEconomy);
        ar.WriteU32(static_cast<uint32_t>(p->m_allies.size()));
        for (CPlayer* a : p->m_allies) ar.WriteI32(a->m_id);
    }
}

// ---- reading

namespace {

// The smallest player's record of the network game block.
constexpr size_t kMinPlayerRecord = 4 + 2 + 12 + 8 + 1 + 4 + 2 + 16 + 4 + 12 + 1 + 4 * 12 + 16 + 2 + 72;

void WriteDescription(CStateArchive& ar, const SDescription& d) {
    ar.WriteU8(d.alliedVictory);
    ar.WriteU8(d.fog);
    ar.WriteI32(d.maxPlayers);
    ar.WriteI32(d.maxUnits);
    ar.WriteI32(d.startResources);
    CStrBuf map = d.mapFile;
    StateText_Transfer(ar, map, kMaxMapText);
}

// Fields 1 and 2 and the network game block's descriptions.
bool ReadHead(CStateArchive& ar, uint32_t& gameType, SDescription& current, SDescription& hosted,
              std::string& error) {
    if (ar.GetRemaining() < 8) {
        error = "it is cut short";
        return false;
    }
    const uint32_t format = ar.ReadU32();
    gameType = ar.ReadU32();
    if (format != SavedGame::kFormat) {
        error = "it is not a saved game";
        return false;
    }
    if (gameType > 2) {
        error = "its game type is unknown";
        return false;
    }
    current.Read(ar);
    hosted.Read(ar);
    if (!ar.Ok()) error = "its network game block is cut short or damaged";
    return ar.Ok();
}

}  // namespace

bool CNetGame::ReadSavedGameHead(const std::vector<uint8_t>& bytes, SSavedGameInfo& info,
                                 std::string& error) {
    CStateArchive ar(bytes.data(), bytes.size(), CStateArchive::kApply);
    SDescription current, hosted;
    uint32_t type = 0;
    if (!ReadHead(ar, type, current, hosted, error)) return false;
    // The check sum of the whole, its last four bytes.
    if (CRC32_Compute(bytes.data(), bytes.size() - 4) != LE_LoadU32(bytes.data() + bytes.size() - 4)) {
        error = "it is damaged (its check sum differs)";
        return false;
    }
    info.gameType = type;
    info.mapFile = current.mapFile;
    return true;
}

bool CNetGame::ParseSavedGame(std::vector<uint8_t> bytes, CSavedGameFile& file, std::string& error) {
    file.Clear();
    if (!m_world) {
        error = "no world to load it into";
        return false;
    }
    const CGameScene& scene = m_world->Scene();
    CStateArchive ar(bytes.data(), bytes.size(), CStateArchive::kApply);
    auto failed = [&](const char* what) {
        error = what;
        return false;
    };
    // 1 to 3
    uint32_t gameType = 0;
    SDescription current, hosted;
    if (!ReadHead(ar, gameType, current, hosted, error)) return false;
    // The hosted server's name and description are read and left (the
    // running session keeps its own); the briefing animation runs at the end.
    CStrBuf text, briefing;
    for (int i = 0; i < 2; ++i) StateText_Transfer(ar, text, kMaxFieldText);
    StateText_Transfer(ar, briefing, kMaxFieldText);
    const int32_t nextOwner = ar.ReadI32();
    const uint32_t nextTeam = ar.ReadU32();
    std::vector<SFilePlayer> players(1);
    ReadPlayerRecord(ar, players[0]);
    uint32_t others = 0;
    ar.Count(others, kMinPlayerRecord);
    if (others >= kMaxPlayers) ar.Fail();
    for (uint32_t i = 0; ar.Ok() && i < others; ++i) {
        players.emplace_back();
        ReadPlayerRecord(ar, players.back());
    }
    const int32_t nextPlayer = ar.ReadI32();
    CStrBuf mapFolder;
    StateText_Transfer(ar, mapFolder, kMaxFieldText);
    if (!ar.Ok()) return failed("its network game block is cut short or damaged");
    if (!mapFolder.IsEmpty() && !Sys_IsSafeRelativePath(mapFolder.GetText()))
        return failed("its map folder lies outside the game's folder");

    // 4: the world grid (its record is checked whole with the world).
    const size_t gridAt = ar.GetPosition();
    for (int i = 0; i < 8; ++i) ar.ReadU32();
    uint32_t cells = 0;
    ar.Count(cells, 4);
    Skip(ar, size_t(cells) * 4);
    ar.ReadU8();
    if (!ar.Ok()) return failed("its world grid is cut short");
    const size_t gridEnd = ar.GetPosition();

    // 5: the scene block.
    const size_t objectsAt = ar.GetPosition();
    ar.SetReadMode(CStateArchive::kCheck);
    const bool objectsFit = const_cast<CGameScene&>(scene).LoadObjects(ar);
    ar.SetReadMode(CStateArchive::kApply);
    if (!objectsFit || !ar.Ok()) return failed("its objects do not fit the game's units");
    const size_t objectsEnd = ar.GetPosition();
    const uint32_t frameCounter = ar.ReadU32();
    ar.ReadU32();  // the linked object: none is kept
    std::vector<uint32_t> lists[kSceneLists];
    for (uint32_t i = 0; ar.Ok() && i < kSceneLists; ++i) ReadIdList(ar, lists[i]);
    std::vector<uint8_t> ways, turn;
    if (!ar.Ok()) return failed("its scene block is cut short or damaged");
    if (!CarriedBytes(lists[kListWaySearches], ways) || ways.empty() ||
        !CarriedBytes(lists[kListTurnOrders], turn))
        return failed("the scene's lists do not carry the way searches and the turn's orders");
    const size_t layersAt = ar.GetPosition();
    Skip(ar, CGameScene::kLayers * 5);
    const int32_t highestMapId = ar.ReadI32();
    uint32_t objectives = 0;
    ar.Count(objectives, 13);
    const size_t recordsAt = ar.GetPosition();
    if (ar.Ok()) SkipObjectives(ar, objectives, scene);
    const size_t recordsEnd = ar.GetPosition();
    const uint8_t enabled = ar.ReadU8(), phase = ar.ReadU8(), counter = ar.ReadU8();
    const uint32_t running = ar.ReadU32(), cleanUp = ar.ReadU32(), listed = ar.ReadU32();
    ar.ReadU8();
    const uint32_t seed = ar.ReadU32(), spotMin = ar.ReadU32(), spotMax = ar.ReadU32();
    ar.ReadU8();
    const uint32_t spotMovement = ar.ReadU32();
    for (CTessarakObjectTemplate* t = scene.m_templates; ar.Ok() && t; t = t->m_listNext) {
        const uint16_t project = ar.ReadU16();
        const uint32_t id = ar.ReadU32();
        ar.ReadU8();
        uint32_t count = 0;
        ar.Count(count, 8);
        if (count > kMaxPlayers || !scene.FindTemplateById(project, static_cast<int32_t>(id))) ar.Fail();
        Skip(ar, size_t(count) * 8);
    }
    const int32_t idCounter = ar.ReadI32();
    if (!ar.Ok()) return failed("its scene block is cut short or damaged");

    // 6 to 11
    const size_t viewAt = ar.GetPosition();
    if (!SkipView(ar)) return failed("its view and music fields are cut short or damaged");
    const size_t viewEnd = ar.GetPosition();

    // 12: the computer players' block, then the check sum of all before it.
    uint32_t records = 0;
    ar.Count(records, 8);
    if (records == 0 || records > SavedGame::kMaxBlockRecords) ar.Fail();
    std::vector<std::pair<uint32_t, std::vector<uint8_t>>> parts;
    for (uint32_t i = 0; ar.Ok() && i < records; ++i) {
        const uint32_t tag = ar.ReadU32();
        uint32_t length = 0;
        ar.Count(length, 1);
        const size_t at = ar.GetPosition();
        Skip(ar, length);
        if (!ar.Ok()) break;
        for (const auto& p : parts)
            if (p.first == tag) ar.Fail();
        parts.emplace_back(tag, Slice(ar, at, at + length));
    }
    if (!ar.Ok() || parts.empty() || parts[0].first != SavedGame::kTagSession)
        return failed("its computer players' block is cut short or damaged");
    const size_t crcAt = ar.GetPosition();
    const uint32_t crc = ar.ReadU32();
    if (!ar.Ok()) return failed("it is cut short");
    if (ar.GetRemaining() != 0) return failed("it has bytes past its end");
    if (CRC32_Compute(bytes.data(), crcAt) != crc) return failed("it is damaged (its check sum differs)");

    // The session's record.
    CStateArchive s(parts[0].second.data(), parts[0].second.size(), CStateArchive::kApply);
    const uint8_t alliedVictory = s.ReadU8();
    uint64_t time = 0;
    s.U64(time);
    float pace[2] = {};
    s.F32s(pace, 2);
    const int32_t fogOf = s.ReadI32();
    uint32_t teamCount = 0;
    s.Count(teamCount, 31);
    if (teamCount > kMaxTeams) s.Fail();
    CStateArchive teams;
    teams.WriteU32(teamCount);
    for (uint32_t i = 0; s.Ok() && i < teamCount; ++i) {
        teams.WriteU32(s.ReadU32());
        StateText_Transfer(s, text, kMaxNameText);
        StateText_Transfer(teams, text, kMaxNameText);
        teams.WriteI32(s.ReadI32());
        teams.WriteU8(s.ReadU8());
        for (int v = 0; v < 5; ++v) teams.WriteU32(s.ReadU32());
    }
    for (SFilePlayer& p : players) {
        StateText_Transfer(s, p.name, kMaxNameText);
        s.F32(p.dockedIncome);
        s.F32s(p.economy + kFileEconomy, CPlayer::kEconomyValues - kFileEconomy);
        uint32_t allies = 0;
        s.Count(allies, 4);
        if (allies > kMaxPlayers) s.Fail();
        for (uint32_t a = 0; s.Ok() && a < allies; ++a) p.allies.push_back(s.ReadI32());
        if (!s.Ok()) break;
    }
    if (!s.Ok() || s.GetRemaining() != 0) return failed("its session's record is cut short or damaged");

    // The sections: the session's records (NETG) by player id.
    std::vector<const SFilePlayer*> byId;
    for (const SFilePlayer& p : players) byId.push_back(&p);
    std::stable_sort(byId.begin(), byId.end(),
                     [](const SFilePlayer* a, const SFilePlayer* b) { return a->id < b->id; });
    CStateArchive net;
    WriteDescription(net, current);
    WriteDescription(net, hosted);
    net.WriteU8(alliedVictory);
    net.WriteI32(nextOwner);
    net.WriteI32(nextPlayer);
    net.WriteU32(nextTeam);
    net.U64(time);
    net.F32s(pace, 2);
    net.Bytes(const_cast<uint8_t*>(teams.GetData()), teams.GetSize());
    net.WriteU32(static_cast<uint32_t>(byId.size()));
    for (const SFilePlayer* p : byId) {
        net.WriteI32(p->id);
        net.WriteI32(p->ownerId);
        CStrBuf name = p->name, race = p->race;
        StateText_Transfer(net, name, kMaxNameText);
        StateText_Transfer(net, race, kMaxNameText);
        float colour[3] = {p->colour[0], p->colour[1], p->colour[2]};
        net.F32s(colour, 3);
        net.WriteU8(p->attribute);
        uint16_t word = p->attributeWord;
        net.U16(word);
        net.WriteU8(p->connectionKind);
        net.WriteU8(p->computer);
        net.WriteI32(p->team);
        net.WriteI32(p->kills);
        float v[2] = {p->harvested, p->dockedIncome};
        net.F32s(v, 2);
        for (uint64_t t : p->timers) net.U64(t);
        net.WriteU32(static_cast<uint32_t>(p->allies.size()));
        for (int32_t a : p->allies) net.WriteI32(a);
    }
    // GRID: the player whose fog it is, the grid's record.
    CStateArchive grid;
    grid.WriteI32(fogOf);
    grid.Bytes(bytes.data() + gridAt, gridEnd - gridAt);
    // WRLD: the world's state in CWorld::SaveState's layout.
    CStateArchive world;
    world.WriteI32(idCounter);
    world.WriteU32(static_cast<uint32_t>(byId.size()));
    for (const SFilePlayer* p : byId) WriteSyncRecord(world, *p);
    world.Bytes(bytes.data() + objectsAt, objectsEnd - objectsAt);
    world.WriteU32(frameCounter);
    world.WriteU32(seed);
    world.WriteI32(highestMapId);
    for (uint32_t v : {spotMin, spotMax, spotMovement}) world.WriteU32(v);
    world.Bytes(bytes.data() + layersAt, CGameScene::kLayers * 5);
    world.WriteU8(enabled);
    world.WriteU32(counter);
    world.WriteU8(phase);
    world.WriteU32(running);
    world.WriteU32(cleanUp);
    world.WriteU32(objectives);
    world.WriteU32(listed);
    if (recordsEnd > recordsAt) world.Bytes(bytes.data() + recordsAt, recordsEnd - recordsAt);
    for (const std::vector<uint32_t>* list : {&lists[kListOut], &lists[kListFielded]}) {
        world.WriteU32(static_cast<uint32_t>(list->size()));
        for (uint32_t id : *list) world.WriteU32(id);
    }
    world.Bytes(ways.data(), ways.size());
    CStateArchive orders;
    if (turn.empty())
        orders.WriteU32(0);
    else
        orders.Bytes(turn.data(), turn.size());

    file.SetGameType(gameType);
    file.SetBriefingAnimation(briefing.GetText());
    file.AddSection(SavedGame::kTagNet, net.GetBuffer());
    file.AddSection(SavedGame::kTagGrid, grid.GetBuffer());
    file.AddSection(SavedGame::kTagWorld, world.GetBuffer());
    file.AddSection(SavedGame::kTagOrders, orders.GetBuffer());
    file.AddSection(SavedGame::kTagView, Slice(ar, viewAt, viewEnd));
    file.AddSection(
        SavedGame::kTagMapFolder,
        std::vector<uint8_t>(mapFolder.GetText(), mapFolder.GetText() + std::strlen(mapFolder.GetText())));
    for (size_t i = 1; i < parts.size(); ++i)
        if (!file.AddSection(parts[i].first, std::move(parts[i].second)))
            return failed("its computer players' block names a part the file has already");
    file.SetBytes(std::move(bytes));
    return true;
}

// ---- the network game's section

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
              pace[0] <= 120.0f && Finite(pace[1]) && pace[1] > 0.0f && pace[1] <= kMaxGameSpeed;
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

// ---- saving at a frame's start

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
    return ReadWhole(path, bytes, error) && ParseSavedGame(std::move(bytes), file, error);
}

bool CNetGame::CheckSavedGame(const CSavedGameFile& file, std::string& error) {
    if (!m_world) {
        error = "no world to load it into";
        return false;
    }
    auto section = [&](const CSavedGameFile::SSection& s) {
        return CStateArchive(file.Data(s), s.size, CStateArchive::kCheck);
    };
    auto fail = [&](uint32_t tag, const std::string& what) {
        error = FieldName(tag) + " " + what;
        return false;
    };
    std::vector<int32_t> playerIds;
    {
        CStateArchive ar = section(*file.Find(SavedGame::kTagNet));
        m_savedGameChecked = SSavedGameChecked();
        if (!LoadNetSection(ar, &playerIds, &m_savedGameChecked.computerPlayers) || ar.GetRemaining() != 0)
            return fail(SavedGame::kTagNet, "does not fit the session");
        SSavedGameInfo info;
        ReadSavedGameInfo(file, info);
        m_savedGameChecked.gameTime = info.gameTime;
        if (!m_joinedInfo.m_mapFile.EqualsNoCase(info.mapFile.GetText())) {
            error = "it is a game on the map '" + Text_Shown(info.mapFile.GetText()) + "', not on '" +
                    Text_Shown(m_joinedInfo.m_mapFile.GetText()) + "'";
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
            return fail(SavedGame::kTagGrid, "does not fit a map");
        for (int i = 0; i < 4; ++i)
            m_savedGameChecked.mapRect[i] = static_cast<int32_t>(LE_LoadU32(file.Data(s) + 4 + 4 * i));
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
            return fail(SavedGame::kTagOrders, "do not fit");
    }
    {
        const CSavedGameFile::SSection& s = *file.Find(SavedGame::kTagView);
        CStateArchive ar = section(s);
        std::string why;
        const bool fits = m_savedView ? m_savedView->LoadView(ar, &why) : SkipView(ar);
        if (!fits || !ar.Ok() || ar.GetRemaining() != 0)
            return fail(SavedGame::kTagView, "do not fit" + (why.empty() ? std::string() : ": " + why));
    }
    for (ISavedGamePart* part : m_savedParts) {
        const CSavedGameFile::SSection* s = file.Find(part->SavedTag());
        if (!s) continue;
        CStateArchive ar = section(*s);
        std::string why;
        if (!part->LoadSection(ar, &why) || !ar.Ok() || ar.GetRemaining() != 0)
            return fail(s->tag, "does not fit: " + (why.empty() ? std::string("bytes past its end") : why));
    }
    return true;
}

bool CNetGame::ApplySavedGame(const CSavedGameFile& file, std::string& error) {
    if (!m_world) {
        error = "no world to load it into";
        return false;
    }
    // The map's objects go; the saved game's take their ids. The file was
    // checked whole before the map loaded (nothing of the game had changed),
    // and is checked once more now against the cleared scene.
    m_world->Scene().Clear();
    if (!CheckSavedGame(file, error)) return false;
    auto section = [&](uint32_t tag) {
        const CSavedGameFile::SSection* s = file.Find(tag);
        return CStateArchive(file.Data(*s), s->size, CStateArchive::kApply);
    };
    CStateArchive net = section(SavedGame::kTagNet);
    bool ok = LoadNetSection(net, nullptr);
    // The radar from the saved game's map box.
    if (m_savedView)
        if (const CSavedGameFile::SSection* folder = file.Find(SavedGame::kTagMapFolder))
            m_savedView->RestoreMap(std::string(folder->bytes.begin(), folder->bytes.end()).c_str());
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
    if (m_savedView) {
        CStateArchive view = section(SavedGame::kTagView);
        ok = m_savedView->LoadView(view, nullptr) && ok;
    }
    for (ISavedGamePart* part : m_savedParts) {
        if (!file.Find(part->SavedTag())) continue;
        CStateArchive ar = section(part->SavedTag());
        ok = part->LoadSection(ar, nullptr) && ok;
    }
    if (m_savedView) m_savedView->RestoreBriefingAnimation(file.BriefingAnimation().c_str());
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
    // Its map and game type (the whole file is checked when the start
    // names it, once the game's units are loaded).
    std::vector<uint8_t> bytes;
    SSavedGameInfo read;
    if (!ReadWhole(SavedGamePath(name).c_str(), bytes, error) || !ReadSavedGameHead(bytes, read, error))
        return false;
    if (info) *info = read;
    m_hostedSave = name;
    m_hostedSaveCrc = CRC32_Compute(bytes.data(), bytes.size());
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
    else if (error.empty() && ParseSavedGame(std::move(bytes), *file, error) && CheckSavedGame(*file, error))
        m_pendingFile = std::move(file);
    if (!error.empty() && m_savedView) m_savedView->LoadFailed();
}

void CNetGame::StartGameLoop() {
    if (!SavedGamePending()) {
        Maps().RunObjectiveScript();
        return;
    }
    std::string error;
    if (!m_pendingFile || !ApplySavedGame(*m_pendingFile, error)) {
        PrintColor(255, 0, 0, true, "Error loading saved game '%s': %s", m_pendingSave.GetText(),
                   m_pendingFile ? error.c_str() : m_pendingError.c_str());
        if (m_savedView) m_savedView->LoadFailed();
    }
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
