// Machines of a network game inside one test: each has its own world
// (CWorld: game scene, templates; given the players of its session) and its
// own CNetGame on real UDP sockets of 127.0.0.1, and runs the game's frames
// in a small loop of its own: the network service, the queues, and a logic
// tick whenever the network game lets one run, the frame's world orders
// handed to its world's turn. Nothing waits for wall-clock time: a test
// steps every machine in turn, as fast as the datagrams go. Only one thread
// runs (the engines read their sockets when stepped); nothing is global, so
// the machines never need to take turns at being "the current" one.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "e3d/Frame.h"
#include "netgame/NetGame.h"
#include "nwe/Socket.h"
#include "tests/support/TestGameHost.h"
#include "world/ExplosionManager.h"
#include "world/GameScene.h"
#include "world/PhysicsEngine.h"
#include "world/UnitTemplate.h"
#include "world/World.h"
#include "world/WorldGrid.h"

class CNetMachine : public CTestGameHost, public ILockstepClock, public IGameFlow, public IMapLoader {
public:
    // What one executed tick left: the world's sync CRC and the digest of
    // the frame's messages.
    struct STick {
        uint32_t worldCrc;
        uint32_t digest;
        uint64_t gameTime;
    };

    // testTemplates: the tank and the rock of the tests (a machine that
    // loads the demo units instead goes without).
    explicit CNetMachine(const char* name, bool testTemplates = true)
        : m_name(name), m_root(new CE3DFrame(nullptr)), m_world(new CWorld(Roles())) {
        scene = &m_world->Scene();
        grid = &m_world->Grid();
        explosions = &m_world->Explosions();
        physics = &m_world->Physics();
        m_world->SetRootFrame(m_root);
        grid->SetMapRect(-64, 64, 64, -64);
        grid->Reset();
        SNWEEngineSetup setup;
        setup.threads = false;
        SNetRoles roles;
        roles.console = this;
        roles.files = this;
        roles.clock = this;
        roles.flow = this;
        roles.maps = this;
        net.reset(new CNetGame(roles, setup));
        net->SetWorld(m_world.get());
        SWorldRoles worldRoles = Roles();
        worldRoles.sender = &net->Sender();
        m_world->SetRoles(worldRoles);
        players = &net->m_players;
        net->m_clientPort = 0;
        // The test runs the game far faster than 15 ticks a second: the
        // links get the rates of a fast local network.
        net->m_clientRate = net->m_serverRate = 8000000.0f;
        guiWord = 1;
        gameState = 1;
        if (!testTemplates) return;
        // The same content on every machine: a tank that drives.
        tank = MakeTemplate<CUnitTemplate>(10, "Tank");
        tank->m_config.Add("Speed", "1");
        tank->LoadProperties();
        rock = MakeTemplate<CTessarakObjectTemplate>(20, "Rock");
        for (CPlayer* p : net->m_players.m_players)
            for (CTessarakObjectTemplate* t : {static_cast<CTessarakObjectTemplate*>(tank), rock})
                if (!t->GetPlayerData(p)) t->AddPlayer(p);
    }
    ~CNetMachine() override {
        // The world first (objects, then templates), then the session with
        // its players.
        net->SetWorld(nullptr);
        m_world.reset();
        net.reset();
        players = nullptr;
        delete m_root;
    }

    template <class T>
    T* MakeTemplate(uint32_t nodeId, const char* name) {
        T* t = new T(scene, m_root, 1, nullptr);
        t->m_projectId = 1;
        t->m_nodeId = nodeId;
        t->m_name = name;
        t->m_power = 100.0f;
        return t;
    }

    // ---- the lockstep clock, as a game keeps it
    uint64_t GameTime() override { return gameTime; }
    float GameSeconds() override { return CTestGameHost::GameSeconds(); }
    uint64_t NextTickTime() override { return gameTime + period; }
    uint64_t TickPeriod() override { return period; }
    float TickRate() override { return rate; }
    void SetTickRate(float r) override {
        rate = r;
        period = static_cast<uint64_t>(1193182.0 / r + 0.5);
    }
    float GameSpeed() override { return speed; }
    void SetGameSpeed(float s) override { speed = s; }
    void SetClockTimes(uint64_t next, uint64_t time) override {
        if (next > period) gameTime = next - period;
        (void)time;
    }
    bool Paused() override { return paused; }
    void SetPaused(bool p) override { paused = p; }
    float FrameStep() override { return frameStep; }
    float Lag() override { return 0.0f; }
    float FrameTimeout() override { return frameTimeout; }

    // ---- the game's state words
    int32_t GuiWord() override { return guiWord; }
    int32_t GameState() override { return gameState; }
    int32_t GameType() override { return gameType; }
    void SetGuiWord(int32_t w) override {
        guiWord = w;
        inLobby = w != 0;
    }
    void SetGameState(int32_t s) override { gameState = s; }
    bool IsGameLoading() override { return loading; }
    void SetGameLoading(bool l) override { loading = l; }
    void Lock() override { CTestGameHost::Lock(); }
    void Unlock() override { CTestGameHost::Unlock(); }
    const char* GameFolder() override { return "Tessarak"; }
    bool ExecStartup(const char*) override { return true; }
    void QueueScript(const char* name) override { scripts.push_back(name); }
    void ShowNotice(const char* text) override { notices.push_back(text); }
    // With `systemTexts`, the system text of index n reads "#n".
    const char* GetSystemText(int index) override {
        if (!systemTexts) return "";
        m_systemText = "#" + std::to_string(index);
        return m_systemText.c_str();
    }
    void SaveConfigFiles() override { ++configSaves; }
    uint32_t InstanceValue() override { return 0; }

    // ---- a session without map boxes: a map load clears the world and
    // answers, as the game does after loading one
    bool SetMapName(const char*) override { return true; }
    void LoadMapInfo(const char*) override {}
    void LoadMap() override {
        scene->Clear();
        net->Send(NS_NOTIFYTYPE_MAPCHANGESTART_REPLY, nullptr, 0);
    }
    void AfterMapLoad() override { net->Send(NS_NOTIFYTYPE_MAPFINISHUP_REPLY, nullptr, 0); }
    void CallOffGameStart() override {
        scene->Clear();
        SetGameLoading(false);
        SetGuiWord(1);
    }
    void PlaceStartUnits() override {
        if (placeStartUnits) placeStartUnits();
    }
    void RunObjectiveScript() override {
        if (runObjectives) runObjectives();
    }

    void PrintColor(int, int, int, bool, const char* text) override { lines.push_back(text); }

    // ---- stepping
    // One frame of this machine: the network service and, when the network
    // game lets it (and the test's pace allows), one logic tick.
    void Step(bool mayTick = true) {
        net->Update(0);
        net->FinishMarkReply();
        net->m_queue1.Flush();
        net->m_queue3.Flush();
        net->m_queue2.Flush();
        // A frame lasts what it lasts: the game's countdowns run in real time
        // (or, on a machine given a virtual time, the same step every frame).
        if (m_virtualStep > 0.0f) {
            frameStep = m_virtualStep;
            m_counter += net->GetClock().Ticks(m_virtualStep);
        } else {
            auto now = std::chrono::steady_clock::now();
            frameStep = m_lastStep.time_since_epoch().count()
                            ? std::chrono::duration<float>(now - m_lastStep).count()
                            : 0.0f;
            m_lastStep = now;
        }
        net->CountDownFrame(frameStep);
        if (guiWord == 0 && gameState == 0) {
            StartGame();
            return;
        }
        if (!mayTick || paused) return;
        bool running = guiWord == 0 && gameState == 2;
        bool run = running ? net->LogicTickGate() : net->InterfaceTickGate();
        if (!run) return;
        if (net->m_hosting && loading) net->StartHandshakeStep(&startState);
        gameTime += period;
        uint16_t frame = net->CurrentFrame();
        CTurnOrders orders;
        net->ExecuteFrame(orders);
        net->RemoveMarkedPlayers();
        // What runs between the frame's messages and the world's turn, as the
        // computer players do in a running game.
        if (running && beforeTurn) beforeTurn();
        STurn turn;
        turn.frame = frame;
        // With ordersOnlyWhileLoading, while the game loads the orders are
        // taken and nothing steps, as in the game's interface frame.
        turn.step = running || !ordersOnlyWhileLoading ? STurn::kStep : STurn::kOrdersOnly;
        scene->Objectives().SetGameType(gameType);
        m_world->Tick(turn, orders);
        ticks[frame] = {net->WorldSyncCrc(), net->m_frameDigest, gameTime};
        if (logCrcs) crcLog.push_back(ticks[frame].worldCrc);
        ++tickCount;
        net->ResyncClients();
    }
    // The game start as a game runs it: the host walks every client through
    // the map change from here on; every machine answers.
    void StartGame() {
        if (net->m_hosting) {
            startState = -1;
            loading = true;
            net->ResetClientFlags();
        }
        gameState = 1;
        net->Send(NS_NOTIFYTYPE_STARTGAME_REPLY, nullptr, 0);
    }
    bool Running() const { return guiWord == 0 && gameState == 2; }
    // A CREATEUNIT request: a unit of the template at (x, z) for the owner id.
    void RequestUnit(CTessarakObjectTemplate* t, float x, float z, int32_t ownerId) {
        CStateArchive ar;
        uint16_t project = t->m_projectId;
        ar.U16(project);
        ar.WriteU32(t->m_nodeId);
        float values[5] = {x, 0.0f, z, 0.0f, 0.0f};
        ar.F32s(values, 5);
        ar.WriteI32(-1);
        ar.WriteU32(0);
        ar.WriteI32(ownerId);
        net->Send(NS_NOTIFYTYPE_CREATEUNIT, ar.GetData(), static_cast<int>(ar.GetBuffer().size()));
    }
    // The units this machine's local player owns, by id.
    std::vector<CTessarakObject*> OwnUnits() {
        std::vector<CTessarakObject*> out;
        for (CTessarakObject* o = scene->m_allObjects; o; o = o->m_allNext)
            if (o->IsUnit() && o->m_owner == net->LocalPlayer()) out.push_back(o);
        return out;
    }
    // A move order (44 bytes) for one of its units.
    bool OrderMove(CTessarakObject* unit, float x, float z) {
        CStateArchive ar;
        ar.WriteI32(unit->m_objectId);
        ar.WriteU32(1);
        float points[6] = {x, 0.0f, z, 0.0f, 0.0f, 0.0f};
        ar.F32s(points, 6);
        ar.WriteU32(0);
        ar.WriteU32(1);
        ar.WriteU32(0);
        return net->Send(NS_NOTIFYTYPE_ORDER, ar.GetData(), static_cast<int>(ar.GetBuffer().size()));
    }

    // The last line that holds text, or "".
    std::string FindLine(const char* text) const {
        for (auto it = lines.rbegin(); it != lines.rend(); ++it)
            if (it->find(text) != std::string::npos) return *it;
        return "";
    }
    int CountLines(const char* text) const {
        int n = 0;
        for (const std::string& l : lines) n += l.find(text) != std::string::npos ? 1 : 0;
        return n;
    }

    // From now on the machine's frames and its network engine's clock run
    // on a virtual time that advances by step seconds each frame: a machine
    // alone (its own local game) then runs the same whatever the load.
    void UseVirtualTime(float step) {
        m_counter = net->GetClock().Now();
        m_virtualStep = step;
        net->GetClock().SetSource([](void* self) { return static_cast<CNetMachine*>(self)->m_counter; },
                                  this);
    }
    float m_virtualStep = 0.0f;
    int64_t m_counter = 0;
    // Runs after the frame's messages and before the world's turn, as the
    // game's computer players do.
    std::function<void()> beforeTurn;
    // With logCrcs, every tick's sync CRC in order (the frame numbers wrap).
    bool logCrcs = false;
    std::vector<uint32_t> crcLog;
    std::string m_name;
    CE3DFrame* m_root;
    std::unique_ptr<CWorld> m_world;
    std::unique_ptr<CNetGame> net;
    CGameScene* scene = nullptr;
    CWorldGrid* grid = nullptr;
    CExplosionManager* explosions = nullptr;
    CPhysicsEngine* physics = nullptr;
    CPlayerList* players = nullptr;
    int32_t guiWord = 0, gameState = 2, gameType = 0;
    float frameStep = 1.0f / 60.0f;
    float frameTimeout = 10.0f;
    int configSaves = 0;
    CUnitTemplate* tank = nullptr;
    CTessarakObjectTemplate* rock = nullptr;
    uint64_t period = 79545;
    float rate = 15.0f;
    float speed = 1.0f;
    bool paused = false;
    bool loading = false;
    int32_t startState = 3;
    std::vector<std::string> notices;
    // The start's hooks: a test's start units and objectives.
    std::function<void()> placeStartUnits, runObjectives;
    // Frames of a game that does not run yet take their orders and step
    // nothing (the game's interface frame) rather than stepping the world.
    bool ordersOnlyWhileLoading = false;
    bool systemTexts = false;
    std::string m_systemText;
    std::map<uint16_t, STick> ticks;  // by frame number
    std::chrono::steady_clock::time_point m_lastStep;
    int tickCount = 0;
};

// A host and its clients, stepped in turn.
class CNetSession {
public:
    // The host keeps at most this many frames ahead of the slowest client, as
    // the pace of a real clock would.
    int lead = 4;

    CNetMachine* Add(const char* name) {
        m_machines.emplace_back(new CNetMachine(name));
        return m_machines.back().get();
    }
    CNetMachine* Host() { return m_machines.front().get(); }
    // Frames the host has run ahead of the slowest client that runs the
    // server's frames: joined, or given its first frame on the way (a host
    // without a clock could otherwise run past the frames such a client
    // can take before it has joined).
    static bool RunsFrames(CNetMachine* c) {
        if (c->net->IsJoined()) return true;
        CGameSocket* link = c->net->TakeClientLink();
        // PING_AND_GET_TIME answered: its frame is the client's.
        bool inStep = link && (link->m_joinState >= 3 || (link->m_joinState == 2 && link->m_replied));
        if (link) link->Release();
        return inStep;
    }
    bool HostMayTick() {
        for (size_t i = 1; i < m_machines.size(); ++i) {
            CNetMachine* c = m_machines[i].get();
            if (!RunsFrames(c)) continue;
            int behind = NWEFrameTable::Compare(Host()->net->m_frameTable->GetCurrentNumber(),
                                                c->net->m_frameTable->GetCurrentNumber()) > 0
                             ? (Host()->net->m_frameTable->GetCurrentNumber() -
                                c->net->m_frameTable->GetCurrentNumber() + 8191) %
                                   8191
                             : 0;
            if (behind > lead) return false;
        }
        return true;
    }
    void StepAll() {
        bool hostMay = HostMayTick();
        for (size_t i = 0; i < m_machines.size(); ++i) m_machines[i]->Step(i != 0 || hostMay);
    }
    // Starts a server on the first machine and joins every other to it.
    bool JoinAll(double seconds = 10.0) {
        if (!Host()->net->StartServer(0, true)) return false;
        SNetAddress a;
        Host()->net->m_gameSocket->GetSocketName(&a);
        for (size_t i = 1; i < m_machines.size(); ++i) {
            m_machines[i]->net->Connect(("127.0.0.1:" + std::to_string(a.port)).c_str());
        }
        return RunUntil(
            [this] {
                for (size_t i = 1; i < m_machines.size(); ++i)
                    if (!m_machines[i]->net->IsJoined() || !m_machines[i]->net->LocalPlayer()->m_ownerId)
                        return false;
                // Every machine knows every player.
                for (auto& m : m_machines)
                    if (m->net->CountPlayers() != static_cast<int>(m_machines.size())) return false;
                return true;
            },
            seconds);
    }
    // The host starts the game; true once every machine runs it.
    bool StartGame(double seconds = 10.0) {
        Host()->net->SendStartRequest();
        return RunUntil(
            [this] {
                for (auto& m : m_machines)
                    if (!m->Running()) return false;
                return true;
            },
            seconds);
    }
    // Steps until done() holds or seconds of real time pass.
    bool RunUntil(const std::function<bool()>& done, double seconds = 10.0) {
        auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (std::chrono::steady_clock::now() < end) {
            StepAll();
            if (done()) return true;
        }
        return done();
    }

    std::vector<std::unique_ptr<CNetMachine>> m_machines;
};

// Every frame both machines ran from `from` on is expected to hold the same
// world (its sync CRC); the number of frames compared.
inline int Net_CompareWorlds(CNetMachine* a, CNetMachine* b, uint16_t from = 0) {
    int compared = 0;
    for (const auto& t : b->ticks) {
        auto h = a->ticks.find(t.first);
        if (t.first < from || h == a->ticks.end()) continue;
        EXPECT_EQ(h->second.worldCrc, t.second.worldCrc) << "frame " << t.first;
        ++compared;
    }
    return compared;
}
