#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
#include <algorithm>
#include <cmath>

#include "core/Random.h"
#include "world/GameMessages.h"
#include "world/GameScene.h"
#include "world/Player.h"
#include "world/TessarakObject.h"
#include "world/WireText.h"
#include "world/World.h"

namespace {
CGameScene* SceneOf(const CPlayerList* list) {
    return list && list->World() ? &list->World()->Scene() : nullptr;
}

template <class T>
void Erase(std::vector<T*>& v, T* item) {
    v.erase(std::remove(v.begin(), v.end(), item), v.end());
}
}  // namespace

CPlayer::CPlayer(CPlayerList* list) : m_list(list) {
    list->m_players.push_back(this);
    InsertSorted();
    if (CGameScene* scene = SceneOf(list)) scene->AddPlayerToTemplates(this);
    // The colour is picked here and then sent to every machine by the lobby,
    // so the process generator may choose it.
    for (float& c : m_colour) c = static_cast<float>(static_cast<int>(Random01() * 256.0f) & 0xFF);
    m_race = list->FindRace(m_raceName.GetText());
}

CPlayer::~CPlayer() {
    CGameScene* scene = SceneOf(m_list);
    CPlayer* heir = m_list->m_neutral != this ? m_list->m_neutral : nullptr;
    if (scene && heir && !m_list->m_deleting) {
        // Every object of the player goes to the neutral player; a structure
        // or a unit that does not stay in play leaves the grid first.
        for (CTessarakObject* o = scene->m_allObjects; o; o = o->m_allNext) {
            if (o->m_owner != this) continue;
            if (!o->KeepsPlaceForNewOwner()) o->RemoveFromGrid();
            o->SetOwner(heir);
        }
    }
    // Whatever still names this player (objects of a list being torn down)
    // forgets it.
    if (scene)
        for (CTessarakObject* o = scene->m_allObjects; o; o = o->m_allNext)
            if (o->m_owner == this) o->ForgetOwner();
    for (CObjectGroup& g : m_categories) g.DeleteAll();
    for (CTeam* t : m_list->m_teams)
        if (t->m_leader == this) t->m_leader = nullptr;
    for (CPlayer* p : m_list->m_players) Erase(p->m_allies, this);
    SetTeamRecord(nullptr);
    if (scene) scene->RemovePlayerFromTemplates(this);
    Erase(m_list->m_players, this);
    if (m_list->m_neutral == this) m_list->m_neutral = nullptr;
    if (m_list->m_local == this) m_list->m_local = nullptr;
}

void CPlayer::InsertSorted() {
    std::vector<CPlayer*>& v = m_list->m_players;
    Erase(v, this);
    auto at = std::find_if(v.begin(), v.end(), [this](const CPlayer* p) { return p->m_id > m_id; });
    v.insert(at, this);
}

void CPlayer::SetId(int32_t id) {
    m_id = id;
    InsertSorted();
}

void CPlayer::SetTeamRecord(CTeam* team) {
    if (m_team) Erase(m_team->m_members, this);
    m_team = team;
    if (team) team->m_members.insert(team->m_members.begin(), this);
}

bool CPlayer::IsAlliedWith(const CPlayer* other) const {
    if (!other) return false;
    if (other == this || other->IsNeutral()) return true;
    if (m_team && other->m_team == m_team) return true;
    return std::find(m_allies.begin(), m_allies.end(), other) != m_allies.end();
}

bool CPlayer::IsVictoryAlly(const CPlayer* other) const {
    if (!other) return false;
    if (other == this || other->IsNeutral()) return true;
    if (m_team && other->m_team == m_team) return true;
    return m_list->m_alliedVictory && std::find(m_allies.begin(), m_allies.end(), other) != m_allies.end();
}

void CPlayer::AddAlly(CPlayer* ally) {
    if (ally && ally != this && std::find(m_allies.begin(), m_allies.end(), ally) == m_allies.end())
        m_allies.push_back(ally);
}

void CPlayer::RemoveAlly(CPlayer* ally) {
    Erase(m_allies, ally);
}

bool CPlayer::IsNeutral() const {
    return m_list->m_neutral == this;
}

bool CPlayer::IsLocal() const {
    return m_list->m_local == this;
}

CTeam::CTeam(CPlayerList* list, CPlayer* leader, const char* name)
    : m_list(list),
      m_id(list->m_nextTeamId++),
      m_name(name),
      m_leader(leader),
      m_leaderId(leader ? leader->m_id : -1) {
    list->m_teams.insert(list->m_teams.begin(), this);
}

CTeam::~CTeam() {
    while (!m_members.empty()) m_members.front()->SetTeamRecord(nullptr);
    Erase(m_list->m_teams, this);
}

CRace::CRace(CPlayerList* list, const char* name) : m_list(list), m_id(list->m_nextRaceId++), m_name(name) {
    list->m_races.insert(list->m_races.begin(), this);
}

const char* const CRace::kAnnouncerEvents[CRace::kAnnouncerCount] = {"BaseUnderAttack",
                                                                     "CentralDestroyed",
                                                                     "CentralUnderAttack",
                                                                     "HarvesterUnderAttack",
                                                                     "LowPower",
                                                                     "LowResources",
                                                                     "MissionCompleted",
                                                                     "MissionFailed",
                                                                     "ModuleConstructionFinished",
                                                                     "RadarDisabled",
                                                                     "UnitConstructionFinished",
                                                                     "UnitUnderAttack"};

void CPlayerList::SetWorld(CWorld* world) {
    if (m_world && m_world != world)
        for (CRace* r : m_races) r->FreeSounds();
    m_world = world;
}

void CRace::FreeSounds() {
    CWorld* world = m_list ? m_list->World() : nullptr;
    for (SWorldSample*& s : m_announcer) {
        if (s && world) world->Sound().FreeSample(s);
        s = nullptr;
    }
    for (SWorldSample* s : m_autoExplosionSounds)
        if (s && world) world->Sound().FreeSample(s);
    m_autoExplosionSounds.clear();
}

CRace::~CRace() {
    FreeSounds();
    Erase(m_list->m_races, this);
    if (m_list->m_defaultRace == this) m_list->m_defaultRace = nullptr;
    if (m_list->m_watchingRace == this) m_list->m_watchingRace = nullptr;
    for (CPlayer* p : m_list->m_players)
        if (p->m_race == this) p->m_race = nullptr;
}

CPlayerList::CPlayerList() {
    m_watchingRace = new CRace(this, "Watching");
    m_watchingRace->m_watching = 1;
    m_defaultRace = new CRace(this, "Default");
    // The neutral player owns the map's unowned objects; white. The local
    // player starts light blue, until its settings or a lobby give it
    // another colour.
    m_neutral = new CPlayer(this);
    m_neutral->SetId(0);
    m_neutral->m_ownerId = 0;
    m_neutral->m_name = "DefaultPlayer";
    for (float& c : m_neutral->m_colour) c = 255.0f;
    m_local = new CPlayer(this);
    m_local->SetId(1);
    m_local->m_ownerId = 1;
    m_local->m_colour[0] = m_local->m_colour[1] = 130.0f;
    m_local->m_colour[2] = 255.0f;
}

CPlayerList::~CPlayerList() {
    m_deleting = 1;
    while (!m_players.empty()) delete m_players.back();
    while (!m_teams.empty()) delete m_teams.front();
    while (!m_races.empty()) delete m_races.front();
}

CPlayer* CPlayerList::FindPlayerById(int32_t id) const {
    for (CPlayer* p : m_players)
        if (p->m_id == id) return p;
    return nullptr;
}

CPlayer* CPlayerList::FindPlayerByOwnerId(int32_t ownerId) const {
    for (CPlayer* p : m_players)
        if (p->m_ownerId == ownerId) return p;
    return nullptr;
}

CRace* CPlayerList::FindRace(const char* name) const {
    if (!name) return nullptr;
    for (CRace* r : m_races)
        if (r->m_name.EqualsNoCase(name)) return r;
    return nullptr;
}

CRace* CPlayerList::FindRaceById(uint32_t id) const {
    for (CRace* r : m_races)
        if (r->m_id == id) return r;
    return nullptr;
}

CTeam* CPlayerList::FindTeamById(uint32_t id) const {
    for (CTeam* t : m_teams)
        if (t->m_id == id) return t;
    return nullptr;
}

CRace* CPlayerList::GetFirstRace() const {
    return m_races.empty() ? nullptr : m_races.front();
}

// ---- the network game's part

namespace {
// The team and race ids of the records: -1 for none.
uint32_t TeamId(const CTeam* t) {
    return t ? t->m_id : 0xFFFFFFFFu;
}
uint32_t RaceId(const CRace* r) {
    return r ? r->m_id : 0xFFFFFFFFu;
}

// Sends a request built in ar for the player.
void SendRequest(CPlayer* player, int type, const CStateArchive& ar) {
    if (CWorld* world = player->m_list->World())
        world->Sender().SendForPlayer(player, type, ar.GetData(), static_cast<int>(ar.GetBuffer().size()));
}

// The economy values of the sync record, in its order.
float* EconomyValue(CPlayer* p, int i) {
    float* const values[CPlayer::kEconomyValues] = {&p->m_resources,
                                                    &p->m_energyProduced,
                                                    &p->m_energyConsumed,
                                                    &p->m_energyProducedSmooth,
                                                    &p->m_energyConsumedSmooth,
                                                    &p->m_storage,
                                                    &p->m_storageLast,
                                                    &p->m_resourcesGained,
                                                    &p->m_resourcesSpent,
                                                    &p->m_gainRate,
                                                    &p->m_spendRate,
                                                    &p->m_energyRatio,
                                                    &p->m_energyAccelerator,
                                                    &p->m_incomeTotal,
                                                    &p->m_energyHelp};
    return values[i];
}

// Float values of the records must be numbers a machine can use.
bool Usable(float v) {
    return v == v && v > -1.0e30f && v < 1.0e30f;
}
}  // namespace

void CPlayer::SetName(const char* name) {
    CStateArchive ar;
    ar.WriteI32(m_id);
    WireText_Write(ar, name, kMaxNameLength);
    SendRequest(this, NS_NOTIFYTYPE_PLAYER_NAME, ar);
}

void CPlayer::SetTeam(const CTeam* team) {
    CStateArchive ar;
    ar.WriteI32(m_id);
    ar.WriteU32(TeamId(team));
    SendRequest(this, NS_NOTIFYTYPE_PLAYER_TEAM, ar);
}

void CPlayer::SetRace(const CRace* race) {
    CStateArchive ar;
    ar.WriteI32(m_id);
    ar.WriteU32(RaceId(race));
    SendRequest(this, NS_NOTIFYTYPE_PLAYER_RACE, ar);
}

void CPlayer::SetColor(float r, float g, float b) {
    CStateArchive ar;
    ar.WriteI32(m_id);
    float c[3] = {r, g, b};
    ar.F32s(c, 3);
    SendRequest(this, NS_NOTIFYTYPE_PLAYER_COLOR, ar);
}

void CPlayer::SetConnection(uint8_t kind) {
    CStateArchive ar;
    ar.WriteI32(m_id);
    ar.WriteU8(kind);
    SendRequest(this, NS_NOTIFYTYPE_PLAYER_CONNECTION, ar);
}

void CPlayer::RequestNextColor() {
    CStateArchive ar;
    ar.WriteI32(m_id);
    SendRequest(this, NS_NOTIFYTYPE_PLAYER_NEXTCOLOR, ar);
}

void CPlayer::WriteInfo(CStateArchive& ar) const {
    ar.WriteI32(m_id);
    ar.WriteU32(TeamId(m_team));
    ar.WriteU32(RaceId(m_race));
    float colour[3] = {m_colour[0], m_colour[1], m_colour[2]};
    ar.F32s(colour, 3);
    ar.WriteU8(m_attributeByte);
    uint16_t word = m_attributeWord;
    ar.U16(word);
    WireText_Write(ar, m_name.GetText(), kMaxNameLength);
    ar.WriteI32(m_ownerId);
}

bool CPlayer::ReadInfo(CStateArchive& ar) {
    uint32_t team = ar.ReadU32();
    uint32_t race = ar.ReadU32();
    float colour[3];
    for (float& c : colour) c = 0.0f;
    CStateArchive::EMode mode = ar.SetReadMode(CStateArchive::kApply);
    ar.F32s(colour, 3);
    uint8_t attributeByte = ar.ReadU8();
    uint16_t attributeWord = ar.ReadU16();
    CStrBuf name;
    WireText_Read(ar, &name, kMaxNameLength);
    int32_t owner = ar.ReadI32();
    ar.SetReadMode(mode);
    if (!ar.Ok()) return false;
    if (mode != CStateArchive::kApply) return true;
    CWorld* world = m_list->World();
    if (world && world->Session().InLobby())
        SetTeamRecord(team == 0xFFFFFFFFu ? nullptr : m_list->FindTeamById(team));
    CRace* r = m_list->FindRaceById(race);
    m_race = r ? r : m_list->GetFirstRace();
    if (m_race) m_raceName = m_race->m_name;
    for (int i = 0; i < 3; ++i)
        if (Usable(colour[i]))
            m_colour[i] = colour[i] < 0.0f ? 0.0f : colour[i] > 255.0f ? 255.0f : colour[i];
    m_attributeByte = attributeByte;
    m_computer = (attributeByte & kAttributeComputer) ? 1 : 0;
    m_attributeWord = attributeWord;
    m_name = name;
    m_ownerId = owner;
    return true;
}

void CPlayer::WriteAllianceList(CStateArchive& ar) const {
    ar.WriteI32(m_id);
    ar.WriteU32(static_cast<uint32_t>(m_allies.size()));
    for (const CPlayer* a : m_allies) ar.WriteI32(a->m_id);
}

bool CPlayer::ReadAllianceList(CStateArchive& ar) {
    uint32_t n = 0;
    CStateArchive::EMode mode = ar.SetReadMode(CStateArchive::kApply);
    ar.Count(n, 4);
    std::vector<int32_t> ids;
    for (uint32_t i = 0; ar.Ok() && i < n; ++i) ids.push_back(ar.ReadI32());
    ar.SetReadMode(mode);
    if (!ar.Ok()) return false;
    if (mode != CStateArchive::kApply) return true;
    for (int32_t id : ids) AddAlly(m_list->FindPlayerById(id));
    return true;
}

void CPlayer::WriteSyncInfo(CStateArchive& ar) const {
    ar.WriteI32(m_id);
    WireText_Write(ar, m_name.GetText(), kMaxNameLength);
    float scale = m_scale;
    ar.F32(scale);
    for (int32_t v : m_gameValues) ar.WriteI32(v);
    float economy[kEconomyValues];
    for (int i = 0; i < kEconomyValues; ++i) economy[i] = *EconomyValue(const_cast<CPlayer*>(this), i);
    ar.F32s(economy, kEconomyValues);
    float tail[2] = {m_scale2, m_scoreValue};
    ar.F32s(tail, 2);
    ar.WriteI32(m_scoreCounters[0]);
    ar.WriteI32(m_scoreCounters[1]);
}

bool CPlayer::ReadSyncInfo(CStateArchive& ar, bool* changed) {
    CStateArchive::EMode mode = ar.SetReadMode(CStateArchive::kApply);
    CStrBuf name;
    WireText_Read(ar, &name, kMaxNameLength);
    float scale = 0.0f;
    ar.F32(scale);
    int32_t values[4];
    for (int32_t& v : values) v = ar.ReadI32();
    float economy[kEconomyValues] = {};
    ar.F32s(economy, kEconomyValues);
    float tail[2] = {0.0f, 0.0f};
    ar.F32s(tail, 2);
    int32_t counters[2];
    counters[0] = ar.ReadI32();
    counters[1] = ar.ReadI32();
    ar.SetReadMode(mode);
    if (!ar.Ok()) return false;
    if (mode != CStateArchive::kApply) return true;
    bool differs = false;
    auto take = [&differs](auto& field, auto value) {
        if (field != value) {
            field = value;
            differs = true;
        }
    };
    m_synced = 1;
    if (!m_name.Equals(name.GetText())) {
        m_name = name;
        differs = true;
    }
    take(m_scale, scale);
    for (int i = 0; i < 4; ++i) take(m_gameValues[i], values[i]);
    for (int i = 0; i < kEconomyValues; ++i) take(*EconomyValue(this, i), economy[i]);
    take(m_scale2, tail[0]);
    take(m_scoreValue, tail[1]);
    take(m_scoreCounters[0], counters[0]);
    take(m_scoreCounters[1], counters[1]);
    std::sort(m_allies.begin(), m_allies.end(), &CPlayer::CompareById);
    if (changed) *changed = differs;
    return true;
}

int32_t CPlayer::GetScore() const {
    int32_t base = m_scoreCounters[0] * 116 + m_scoreCounters[1] * 148;
    return static_cast<int32_t>(std::lround((static_cast<float>(base) + m_scoreValue * 1.5f) * 11.521342f));
}

int32_t CTeam::GetScore() const {
    int32_t base = m_scoreCounters[0] * 116 + m_scoreCounters[1] * 148;
    return static_cast<int32_t>(std::lround((static_cast<float>(base) + m_scoreValue * 1.5f) * 10.0f));
}

void CPlayer::AttachOwnedObjects() {
    CGameScene* scene = SceneOf(m_list);
    if (!scene || IsNeutral()) return;
    for (CTessarakObject* o = scene->m_allObjects; o; o = o->m_allNext) {
        if (o->Dying() || o->m_owner == this || (o->m_owner && !o->m_owner->IsNeutral())) continue;
        if (static_cast<int32_t>(o->m_mapTeam) == m_ownerId) o->SetOwner(this);
    }
}

void CPlayer::ResetCounters() {
    for (int32_t& v : m_gameValues) v = 0;
    for (int i = 0; i < kEconomyValues; ++i) *EconomyValue(this, i) = 0.0f;
    m_energyRatio = 1.0f;
    m_energyAccelerator = 1.0f;
    m_scoreCounters[0] = m_scoreCounters[1] = 0;
    m_scoreValue = 0.0f;
    m_kills = 0;
    for (uint64_t& t : m_timers) t = 0;
    m_outOfGame = 0;
    m_scale = m_scale2 = 1.0f;
}

void CPlayer::Reset() {
    ResetCounters();
    SetTeamRecord(nullptr);
    m_raceName = "Humans";
    // A race of that name, else the default race, as the unit files give a
    // player whose race they do not hold: a reset player keeps a race with
    // its start unit.
    m_race = m_list->FindRace(m_raceName.GetText());
    if (!m_race) m_race = m_list->m_defaultRace;
    m_ownerId = 1;
    m_colorRecord = nullptr;
}

void CPlayer::PlayEventSound(SWorldSample* sample, int kind) {
    CWorld* world = m_list->World();
    if (world && sample) world->Sound().QueueVoice(sample, 127, kind);
}

void CPlayerList::ResolvePlayerRaces() {
    for (CPlayer* p : m_players) {
        CRace* race = FindRace(p->m_raceName.GetText());
        p->m_race = race ? race : m_defaultRace;
    }
}

CPlayer* CPlayerList::FindPlayerByName(const char* name) const {
    if (!name) return nullptr;
    for (CPlayer* p : m_players)
        if (p->m_name.EqualsNoCase(name)) return p;
    return nullptr;
}

CTeam* CPlayerList::FindTeamByName(const char* name) const {
    if (!name) return nullptr;
    for (CTeam* t : m_teams)
        if (t->m_name.EqualsNoCase(name)) return t;
    return nullptr;
}
