#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
#include <cstdio>
#include <cstring>

#include "ai/AIGroup.h"
#include "ai/AIManager.h"
#include "console/CommandInterpreter.h"
#include "core/LittleEndian.h"
#include "core/Math.h"
#include "e3d/Screen.h"
#include "netgame/NetGame.h"
#include "platform/display/Display.h"
#include "world/GameMessages.h"
#include "world/Player.h"
#include "world/UnitTemplate.h"
#include "world/World.h"

namespace {
// The colours computer players take, the first that no player has.
const float kColours[][3] = {{220, 40, 40},  {40, 90, 240},  {40, 190, 60},  {235, 200, 30},
                             {190, 60, 210}, {40, 200, 200}, {240, 130, 30}, {150, 150, 150}};

}  // namespace

uint32_t AIManager_PlayerSeed(uint32_t seed, int32_t id) {
    uint32_t h = seed ^ (static_cast<uint32_t>(id) * 2654435761u);
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    return h;
}

CAIManager::CAIManager(CWorld* world, CNetGame* net) : m_world(world), m_net(net) {
    ReInitialize();
    if (m_net) {
        m_net->AddSavedPart(this);
        m_net->SetGameResetHook([this](bool closing) { ResetOnGameReset(closing); });
    }
}

CAIManager::~CAIManager() {
    if (m_net) {
        m_net->RemoveSavedPart(this);
        m_net->SetGameResetHook(nullptr);
    }
}

void CAIManager::ReInitialize() {
    m_active = 1;
    m_learner.reset(new CAILearner(*this));
    m_players.clear();
    m_bases.clear();
    m_lastSeenId = -1;
}

void CAIManager::FlushUnit(int32_t id, float x, float z, float valueLost, float valueDestroyed) {
    for (auto& p : m_players) p->FlushUnit(id, x, z, valueLost, valueDestroyed);
}

void CAIManager::ResetOnGameReset(bool shuttingDown) {
    if (!shuttingDown) ReInitialize();
}

void CAIManager::InitializeCommanders(const char* mapName, const char* mapFolder) {
    m_mapName = mapName ? mapName : "";
    m_mapFolder = mapFolder ? mapFolder : "";
    m_bases.clear();
    m_lastSeenId = -1;
    // Computer players whose players left with the last game go.
    DropLostPlayers();
    // A race not chosen yet (the player came before the unit file made the
    // races) is chosen now, on this machine's player at once (its start
    // unit is placed from it) and for every machine through the session.
    if (m_net && !m_net->m_players.m_races.empty())
        for (auto& cp : m_players) {
            CPlayer* p = m_net->FindPlayerById(cp->PlayerId());
            if (!p || cp->m_raceChosen) continue;
            const CRace* race = ChooseRace(cp->m_wantedRace.c_str(), p);
            if (!race) {
                m_world->Console().Printf("AI_AddCommander: no race %s", cp->m_wantedRace.c_str());
                race = ChooseRace("", p);
            }
            cp->m_raceChosen = true;
            if (!race) continue;
            p->m_race = const_cast<CRace*>(race);
            p->m_raceName = race->m_name;
            p->SetRace(race);
        }
    for (auto& p : m_players) p->Reset();
    if (m_world && !m_mapName.empty()) m_world->Console().RunScriptFile("ai.cfg");
}

const CRace* CAIManager::ChooseRace(const char* name, const CPlayer* self) const {
    const CPlayerList& list = m_net->m_players;
    if (name && *name) return list.FindRace(name);
    // The first race (in the order the unit file made them, the default one
    // aside) whose start unit no other player starts with; the first race
    // when every one is taken.
    for (auto it = list.m_races.rbegin(); it != list.m_races.rend(); ++it) {
        const CRace* r = *it;
        if (r->m_hidden || r->m_watching || !r->m_startUnit || r == list.m_defaultRace) continue;
        bool taken = false;
        for (const CPlayer* p : list.m_players)
            taken = taken || (p != list.m_neutral && p != self && p->m_race &&
                              p->m_race->m_startUnit == r->m_startUnit);
        if (!taken) return r;
    }
    return list.GetFirstRace();
}

bool CAIManager::PlaysHere(int32_t playerId) const {
    if (m_net) {
        const CPlayer* p = m_net->FindPlayerById(playerId);
        return p && p->m_computerHere;
    }
    return m_world && m_world->Query().Player(playerId, nullptr);
}

void CAIManager::DropLostPlayers() {
    m_players.erase(std::remove_if(m_players.begin(), m_players.end(),
                                   [this](const std::unique_ptr<CComputerPlayer>& p) {
                                       return !PlaysHere(p->PlayerId());
                                   }),
                    m_players.end());
}

CComputerPlayer* CAIManager::Find(int32_t playerId) const {
    for (const auto& p : m_players)
        if (p->PlayerId() == playerId) return p.get();
    return nullptr;
}

CComputerPlayer* CAIManager::FindByName(const char* name) const {
    for (const auto& p : m_players)
        if (name && p->Name() == name) return p.get();
    return nullptr;
}

CComputerPlayer* CAIManager::AddCommander(int32_t playerId, const char* race) {
    if (!m_world || !m_net) return nullptr;
    IWorldConsole& console = m_world->Console();
    if (!m_net->IsHosting()) {
        console.Print("Only the host adds computer players");
        return nullptr;
    }
    // Computer players of an earlier session (a reset deleted their players)
    // give their ids back.
    DropLostPlayers();
    if (playerId < 0) playerId = m_net->m_nextPlayerId;
    if (playerId <= 1 || Find(playerId) || m_net->FindPlayerById(playerId)) {
        console.Printf("AI_AddCommander: the player id %d is taken", static_cast<int>(playerId));
        return nullptr;
    }
    CPlayerList& list = m_net->m_players;
    // A race named is checked now when the unit file made the races; the
    // first free race is chosen when the map loads (every machine has the
    // races then, and the other players have theirs).
    const CRace* chosen = nullptr;
    if (race && *race && !list.m_races.empty()) {
        chosen = ChooseRace(race, nullptr);
        if (!chosen) {
            console.Printf("AI_AddCommander: no race %s", race);
            return nullptr;
        }
    }
    const float* colour = kColours[0];
    for (const float* c : kColours) {
        bool taken = false;
        for (const CPlayer* p : list.m_players)
            taken = taken || (Math_Fabs(p->m_colour[0] - c[0]) + Math_Fabs(p->m_colour[1] - c[1]) +
                                  Math_Fabs(p->m_colour[2] - c[2]) <
                              60.0f);
        if (!taken) {
            colour = c;
            break;
        }
    }
    char name[32];
    std::snprintf(name, sizeof name, "Computer %d", static_cast<int>(playerId));
    if (!m_net->AddComputerPlayer(playerId, name, chosen, colour)) {
        console.Printf("AI_AddCommander: the player %d cannot be made", static_cast<int>(playerId));
        return nullptr;
    }
    m_players.emplace_back(
        new CComputerPlayer(*this, *m_world, playerId, AIManager_PlayerSeed(m_seed, playerId)));
    CComputerPlayer* cp = m_players.back().get();
    cp->m_wantedRace = race ? race : "";
    cp->m_raceChosen = chosen != nullptr;
    cp->Reset();
    // The units already in play (none before the map's).
    for (const SUnitView& u : m_world->Query().AllUnits()) cp->AddUnit(u.id);
    if (m_monitor) m_monitor->AddComputerPlayer(cp->Name());
    return cp;
}

bool CAIManager::RemoveCommander(int32_t playerId) {
    for (auto it = m_players.begin(); it != m_players.end(); ++it)
        if ((*it)->PlayerId() == playerId) {
            m_players.erase(it);
            if (m_net) m_net->RemoveComputerPlayer(playerId);
            return true;
        }
    return false;
}

void CAIManager::ReadInitParameters() {
    for (auto& p : m_players) p->ReadInitParameters();
}

void CAIManager::AttackWithCommander(int32_t playerId) {
    CComputerPlayer* cp = Find(playerId);
    if (!cp || !m_world) return;
    m_units.all = m_world->Query().AllUnits();
    m_units.index.clear();
    for (size_t i = 0; i < m_units.all.size(); ++i) m_units.index[m_units.all[i].id] = i;
    cp->Update(m_units);  // its view of the units, then the order
    cp->SendGroupToAttack();
}

void CAIManager::Tick() {
    if (!m_world) return;
    if (!m_active) {
        // Switched off: the players' energy help does not outlive their
        // play (nothing else runs).
        if (m_helpGiven)
            for (auto& p : m_players) p->WithdrawEnergyHelp();
        m_helpGiven = false;
        return;
    }
    m_helpGiven = true;
    // The monitor's window was closed: the monitor goes; the game runs on.
    if (m_monitor && m_monitor->CloseAsked()) m_monitor.reset();
    // The learner first: it may clear the scene for the next match.
    if (m_learner) m_learner->Tick();
    if (m_players.empty()) return;
    const CWorldQuery& q = m_world->Query();
    m_units.all = q.AllUnits();
    m_units.index.clear();
    m_units.index.reserve(m_units.all.size());
    int32_t highest = m_lastSeenId;
    for (size_t i = 0; i < m_units.all.size(); ++i) {
        const SUnitView& u = m_units.all[i];
        m_units.index[u.id] = i;
        if (u.id > m_lastSeenId) {
            for (auto& p : m_players) p->AddUnit(u.id);
            highest = std::max(highest, u.id);
        }
    }
    m_lastSeenId = highest;
    DropLostPlayers();
    for (auto& p : m_players) p->Update(m_units);
    if (m_monitor) m_monitor->Refresh();
}

void CAIManager::UpdateBases(const SAIUnits& units) {
    struct SSum {
        double x = 0, z = 0;
        int n = 0;
    };
    std::map<int32_t, SSum> sums;
    for (const SUnitView& u : units.all) {
        if (u.mobile || !u.tmpl || u.tmpl->m_speed > 0.0f) continue;
        SSum& s = sums[u.ownerId];
        s.x += u.x;
        s.z += u.z;
        ++s.n;
    }
    for (const auto& s : sums) {
        SAIBase b;
        b.x = static_cast<float>(s.second.x / s.second.n);
        b.z = static_cast<float>(s.second.z / s.second.n);
        float largest = 0.0f, total = 0.0f;
        for (const SUnitView& u : units.all) {
            if (u.ownerId != s.first || u.mobile || !u.tmpl || u.tmpl->m_speed > 0.0f) continue;
            const float d = DistanceSquared2D(u.x, u.z, b.x, b.z);
            largest = std::max(largest, d);
            total += d;
        }
        b.radius = Math_Sqrt(largest);
        b.spread = Math_Sqrt(total / static_cast<float>(s.second.n));
        m_bases[s.first] = b;
    }
}

const SAIBase* CAIManager::BaseOf(int32_t playerId) const {
    auto it = m_bases.find(playerId);
    return it == m_bases.end() ? nullptr : &it->second;
}

bool CAIManager::BaseCentre(int32_t playerId, float* x, float* z) const {
    const SAIBase* b = BaseOf(playerId);
    if (!b) return false;
    *x = b->x;
    *z = b->z;
    return true;
}

float CAIManager::SpentLastTick(int32_t playerId) const {
    SPlayerView p;
    return m_world && m_world->Query().Player(playerId, &p) ? p.spent : 0.0f;
}

void CAIManager::GiveResources(int32_t playerId, float amount) {
    if (!m_world) return;
    // GIVERESOURCESTOALL in the host's 12-byte form for its computer
    // players: u32 player id, f32 amount added to what the player has, f32
    // energy help -1 (unchanged).
    uint8_t data[12];
    const float values[2] = {amount, -1.0f};
    LE_StoreU32(data, static_cast<uint32_t>(playerId));
    for (int i = 0; i < 2; ++i) {
        uint32_t bits;
        std::memcpy(&bits, &values[i], 4);
        LE_StoreU32(data + 4 + 4 * i, bits);
    }
    m_world->Sender().Send(NS_NOTIFYTYPE_GIVERESOURCESTOALL, data, 12);
}

void CAIManager::SetEnergyHelp(int32_t playerId, float help) {
    if (!m_world) return;
    // GIVERESOURCESTOALL in its 12-byte form: u32 player id, f32 0 added,
    // f32 the energy added to the player's production every tick from now on.
    uint8_t data[12];
    const float values[2] = {0.0f, help};
    LE_StoreU32(data, static_cast<uint32_t>(playerId));
    for (int i = 0; i < 2; ++i) {
        uint32_t bits;
        std::memcpy(&bits, &values[i], 4);
        LE_StoreU32(data + 4 + 4 * i, bits);
    }
    m_world->Sender().Send(NS_NOTIFYTYPE_GIVERESOURCESTOALL, data, 12);
}

std::string CAIManager::RaceNameOf(int32_t playerId) const {
    const CPlayerList* list = m_world ? m_world->Players() : nullptr;
    const CPlayer* p = list ? list->FindPlayerById(playerId) : nullptr;
    return p && p->m_race ? p->m_race->m_name.GetText() : "";
}

std::string CAIManager::ValuesFolder() const {
    return m_world ? m_world->Files().GetPath("AIVALUES", "") : "AIVALUES";
}

std::string CAIManager::StatisticsPath() const {
    return ValuesFolder() + "\\UnitsWithAttackStatistics.ai";
}

void CAIManager::StartMonitor() {
    if (m_monitor && m_monitor->IsOpen()) return;
    m_monitor.reset(new CAIMonitor(*this, m_screen));
    if (!m_monitor->Open()) {
        std::fprintf(stderr, "Can't create AI dialog\n");
        if (m_world) m_world->Console().Print("Can't create AI dialog");
        return;
    }
    // The game's window beside it: from x 901 to the desktop's right edge,
    // 1000 pixels high (a window in full screen stays).
    if (CDisplayWindow* game = m_screen ? m_screen->m_window : nullptr) {
        int x = 0, y = 0, w = 1024, h = 768;
        Display_GetBounds(0, &x, &y, &w, &h);
        game->Place(x + CAIMonitor::kWidth + 1, y, w - CAIMonitor::kWidth - 1, 1000);
    }
}

void CAIManager::StartLearn() {
    if (m_learner) m_learner->Start();
}

void CAIManager::StopLearn() {
    if (m_learner && m_learner->Running())
        m_learner->Stop();
    else if (m_world)
        m_world->Console().Print("AI_StopLearn: no learning runs");
}

void CAIManager::Execute(const char* text) {
    if (m_interpreter) m_interpreter->Execute(false, text);
}

bool CAIManager::HasCommand(const char* line) const {
    if (!m_interpreter || !line) return false;
    std::string name(line);
    name = name.substr(0, name.find_first_of(" (;"));
    return m_interpreter->GetCommand(name.c_str()) != nullptr;
}

bool CAIManager::IsLocalPlayer(int32_t playerId) const {
    const CPlayer* local = m_net ? m_net->LocalPlayer() : nullptr;
    return local && local->m_id == playerId;
}

bool CAIManager::CheatsOff() const {
    return m_net && !m_net->m_serverInfo.m_cheats;
}

void CAIManager::SetCheats(bool on) {
    if (m_net && m_net->IsHosting()) m_net->m_serverInfo.m_cheats = on ? 1 : 0;
}
