#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
#include <algorithm>

#include "core/Random.h"
#include "world/GameHost.h"
#include "world/GameScene.h"
#include "world/Player.h"
#include "world/TessarakObject.h"

namespace {
CGameScene* Scene() {
    return GameHost() ? GameHost()->GameScene() : nullptr;
}

template <class T>
void Erase(std::vector<T*>& v, T* item) {
    v.erase(std::remove(v.begin(), v.end(), item), v.end());
}
}  // namespace

CPlayer::CPlayer(CPlayerList* list) : m_list(list) {
    list->m_players.push_back(this);
    InsertSorted();
    if (CGameScene* scene = Scene()) scene->AddPlayerToTemplates(this);
    // The colour is picked here and then sent to every machine by the lobby,
    // so the process generator may choose it.
    for (float& c : m_colour) c = static_cast<float>(static_cast<int>(Random01() * 256.0f) & 0xFF);
    m_race = list->FindRace(m_raceName.GetText());
}

CPlayer::~CPlayer() {
    CGameScene* scene = Scene();
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
    : m_list(list), m_id(list->m_nextTeamId++), m_name(name), m_leader(leader) {
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

void CRace::FreeSounds() {
    CGameHost* host = GameHost();
    for (SoundSample*& s : m_announcer) {
        if (s && host) host->FreeSample(s);
        s = nullptr;
    }
    for (SoundSample* s : m_autoExplosionSounds)
        if (s && host) host->FreeSample(s);
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
    m_neutral = new CPlayer(this);
    m_neutral->SetId(0);
    m_neutral->m_ownerId = 0;
    m_neutral->m_name = "Neutral";
    m_local = new CPlayer(this);
    m_local->SetId(1);
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
