#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
//
// The quiet defaults of the network game's roles, and its world and roles.
#include "netgame/NetGame.h"

namespace {

// A clock that stands: 15 ticks a second at speed 1, never paused.
class CStoppedClock : public ILockstepClock {
public:
    uint64_t GameTime() override { return 0; }
    float GameSeconds() override { return 0.0f; }
    uint64_t NextTickTime() override { return 0; }
    uint64_t TickPeriod() override { return 79545; }
    float TickRate() override { return 15.0f; }
    void SetTickRate(float) override {}
    float GameSpeed() override { return 1.0f; }
    void SetGameSpeed(float) override {}
    void SetClockTimes(uint64_t, uint64_t) override {}
    bool Paused() override { return false; }
    void SetPaused(bool) override {}
    float FrameStep() override { return 0.0f; }
    float Lag() override { return 0.0f; }
    float FrameTimeout() override { return 10.0f; }
};

// A game that stays in the lobby.
class CLobbyFlow : public IGameFlow {
public:
    int32_t GuiWord() override { return 1; }
    int32_t GameState() override { return 0; }
    int32_t GameType() override { return 0; }
    void SetGuiWord(int32_t) override {}
    void SetGameState(int32_t) override {}
    bool IsGameLoading() override { return false; }
    void SetGameLoading(bool) override {}
    void Lock() override {}
    void Unlock() override {}
    const char* GameFolder() override { return "Tessarak"; }
    bool ExecStartup(const char*) override { return true; }
    void QueueScript(const char*) override {}
    void ShowNotice(const char*) override {}
    void SaveConfigFiles() override {}
    uint32_t InstanceValue() override { return 0; }
};

// A session without maps: nothing loads, nothing is answered.
class CNoMaps : public IMapLoader {
public:
    bool SetMapName(const char*) override { return true; }
    void LoadMapInfo(const char*) override {}
    void LoadMap() override {}
    void AfterMapLoad() override {}
    void CallOffGameStart() override {}
    void PlaceStartUnits() override {}
    void RunObjectiveScript() override {}
};

CStoppedClock s_stoppedClock;
CLobbyFlow s_lobbyFlow;
CNoMaps s_noMaps;

}  // namespace

void CNetGame::SetRoles(const SNetRoles& roles) {
    m_console = roles.console ? roles.console : &WorldRoles_QuietConsole();
    m_files = roles.files ? roles.files : &WorldRoles_PlainFiles();
    m_clock = roles.clock ? roles.clock : &s_stoppedClock;
    m_clockGiven = roles.clock != nullptr;
    m_flow = roles.flow ? roles.flow : &s_lobbyFlow;
    m_maps = roles.maps ? roles.maps : &s_noMaps;
}

void CNetGame::SetWorld(CWorld* world) {
    if (m_world && m_world != world && m_world->Players() == &m_players) m_world->SetPlayers(nullptr);
    m_world = world;
    if (world) world->SetPlayers(&m_players);
}

bool CNetGame::CSender::Send(int type, const void* data, int length) {
    return m_net.Send(type, data, length);
}

bool CNetGame::CSender::SendForPlayer(CPlayer* player, int type, const void* data, int length) {
    NWEList* slot = player ? &player->m_sendSlot : nullptr;
    return m_net.Send(type, data, length, slot, slot);
}

void CNetGame::AddTurnOrder(uint16_t type, const void* data, size_t length) {
    if (m_turnOrders) m_turnOrders->Add(type, data, length);
}

uint16_t CNetGame::CurrentFrame() const {
    return m_frameTable ? m_frameTable->GetCurrentNumber() : 0;
}

uint32_t CNetGame::WorldSyncCrc() {
    return m_world ? m_world->StateHash() : 0;
}
