// The network game: the one game session of the program, in server or
// client role, on top of the network engine.
//
// Every game runs through it, the single-player one included. A machine that
// hosts runs the server and, beside it, its own client, joined to that server
// through a loopback pair of connections, so the host's requests take the
// same road as a remote client's. A machine that joins a remote game runs
// only the client side. Every change of the shared world goes as a request
// from a client to the server; the server checks that the sending
// connection may make it and sends it to every client, stamped with a
// lockstep frame; every machine applies it when its logic tick executes that
// frame. The server also checks now and then that its clients' worlds are
// its own (sync checks) and brings a client that fell out of step back to
// its state (resync).
//
// The game object creates the one CNetGame at start-up and deletes it at
// shutdown. It is given narrow roles of the game (netgame/NetGameRoles.h)
// and the world it carries orders for (SetWorld): the orders of a frame
// (the world's game messages, CWorld::IsWorldOrder) are gathered in the
// frame's turn orders (ExecuteFrame) and handed to CWorld::Tick by the frame
// loop, never applied to the scene by a handler. It owns the players of the
// session, which the world is given. Everything here runs on the game's thread: the engine's receive
// thread only reads datagrams and queues their messages, which the frames
// hand to their handlers (Flush of the queues, the frames' messages when the
// logic tick executes them).
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

#include "core/StrBuf.h"
#include "netgame/GameSocket.h"
#include "netgame/NetGameRoles.h"
#include "netgame/NetMessages.h"
#include "netgame/SavedGame.h"
#include "netgame/ServerInfo.h"
#include "netgame/SyncChecks.h"
#include "nwe/Engine.h"
#include "nwe/FrameTable.h"
#include "nwe/ListEntry.h"
#include "nwe/Message.h"
#include "nwe/MessageTypes.h"
#include "world/Player.h"
#include "world/StateArchive.h"
#include "world/World.h"
#include "world/WorldRoles.h"

class CE3DSurface;
class CCommandInterpreter;
class CMasterClient;
class CServerBrowser;
class NWESocket;

// A colour of the server's colour selection list (srv_Color_Add).
struct SServerColor {
    float r, g, b;
    CPlayer* holder = nullptr;
};

class CNetGame : public NWEEngine {
public:
    // The engine runs with its threads unless setup says otherwise (a test
    // reads the sockets itself).
    explicit CNetGame(const SNetRoles& roles = SNetRoles(), const SNWEEngineSetup& setup = SNWEEngineSetup());
    ~CNetGame() override;

    // ---- the world and the roles
    // The world whose orders the frames carry; it is given the players of the
    // session (null: none; the session then carries orders for nobody).
    void SetWorld(CWorld* world);
    CWorld* World() const { return m_world; }
    void SetRoles(const SNetRoles& roles);
    IWorldConsole& Console() const { return *m_console; }
    IWorldFiles& Files() const { return *m_files; }
    ILockstepClock& Clock() const { return *m_clock; }
    IGameFlow& Flow() const { return *m_flow; }
    IMapLoader& Maps() const { return *m_maps; }
    // A session given no game clock (a tool) keeps no pace: it sends no
    // timing or speed of its own.
    bool HasGameClock() const { return m_clockGiven; }
    // The world's sending role: its game messages go to the session as
    // requests (Send), a player's behind that player's earlier ones.
    IOrderSender& Sender() { return m_sender; }

    // ---- roles
    // A server on the port (0: any), bound to every address, or to 127.0.0.1
    // only for a local server; the players of the lobby are kept. False when
    // the port cannot be bound (the game stays local).
    bool StartServer(uint16_t port, bool localOnly = false);
    // Joins the server at the address ("a.b.c.d" or "a.b.c.d:port", the
    // port 47222 unless given): the local game ends and CONNECT goes to the
    // server. False when the address does not read or no socket opens.
    bool Connect(const char* address);
    // Leaves the server (DISCONNECT) or ends the hosted game (SERVERQUIT),
    // and returns to a local game and the main menu (Disconnected.cfg, as
    // when the connection is lost), saying so.
    void Disconnect();
    // A full reset: the players but the local and the neutral one go, every
    // team goes, the links close and the local loopback pair is made again.
    void ResetGame(bool full = true);
    // Called by every reset of the game state once the other players went
    // (the computer-player manager starts afresh there), with whether the
    // session is being destroyed; an empty one removes it.
    void SetGameResetHook(std::function<void(bool closing)> hook) { m_onGameReset = std::move(hook); }
    void ResetToLobby();
    void StartLocalLoopback();
    // The player's own name and colour (Name, Color, Player.cfg): asked of
    // every session the local player hosts or joins, and what the settings
    // file keeps whatever a session made of them (a request sent just before
    // a new session starts is lost with the old links).
    CStrBuf m_wantedName;
    float m_wantedColour[3] = {0.0f, 0.0f, 0.0f};
    uint8_t m_wantedColourSet = 0;
    void SetWantedName(const char* name);
    void SetWantedColour(float r, float g, float b);
    // The player asks for the server's next free colour: it becomes the
    // player's, kept as the session gives it.
    void RequestNextColour();
    // Asks the session for the wanted name and colour (with nextColour, the
    // next colour of the server's list when the player has none of their
    // own).
    void AskPlayerSettings(bool nextColour);
    bool IsHosting() const { return m_hosting != 0; }
    bool IsClientConnected() const { return m_clientConnected != 0; }
    // Joined to a remote server and through the whole join.
    bool IsJoined();
    // The game runs on this machine alone: it hosts the session, and no
    // other machine has joined it or waits to (its own client and its
    // computer players only). The map editor works only then.
    bool AloneOnThisMachine();
    // Joined to a remote server, or hosting one that others joined.
    bool HasOtherPlayers();

    // ---- sending
    // A request to the server: on the host's own client link when hosting,
    // else on the link to the server; false when there is none. slot1 is a
    // message group, slot2 the group whose earlier messages go first (a
    // player's send slot as both keeps its messages in order).
    bool Send(int type, const void* data, int length, NWEList* slot1 = nullptr, NWEList* slot2 = nullptr);
    // Server: to every client (the host's own included). A framed type with
    // frame 0 gets the next frame that executes; false when the type is not
    // one of the server's.
    bool SendToAllClients(int type, const void* data, int length, NWEList* slot1 = nullptr,
                          NWEList* slot2 = nullptr, uint16_t frame = 0);
    // A chat line from the server to everyone (MESSAGE), the sender's name
    // shown when given.
    void BroadcastMessage(const char* sender, const char* text, int r, int g, int b);
    // Sends the game directory's name as GAMEDIR (the host's clients then
    // switch to it).
    void SendGameDir(const char* name);
    // PAUSE (non-zero: paused).
    void SendPause(int32_t value);
    // The local player allies with another or breaks the alliance; the host
    // sends it to every machine in one frame (HostRequests.cpp).
    bool RequestAlliance(CPlayer* other, bool ally);
    // Resources to every player (a server with cheats on takes it), in whole
    // units; false for an amount that is negative or not a number.
    bool GiveResourcesToAll(float amount);
    // The host's wanted game speed (srv_GameSpeed): 0 stops, 1 is normal,
    // at most 99999; the speed control takes every machine there together.
    void SetSpeedFactor(float speed);
    // A chat line to everyone: to the contacted server's players while the
    // browser holds a contact, to the master's channel while the chat is up
    // and no one else plays here, else through the server to the game.
    void SendChat(const char* name, const char* text, int r, int g, int b);
    // A chat line to a target: "*" (or nothing) everyone, "/team" the team,
    // "/allies" the allies, a player's id or name that player, else a user
    // of the master's channel by name (NetChat.cpp).
    void RouteChat(const char* target, const char* name, const char* text, int r, int g, int b);
    // The hosted description to one connection, or to every client.
    void SendServerInfo(CGameSocket* to = nullptr);
    // The host's server settings that no si_ variable holds: who may come
    // (kFlagChat, kFlagJoin of CServerInfo) and how many players; a host
    // tells its clients at once.
    void SetServerAccess(uint32_t flags);
    void SetMaxPlayers(int32_t count);
    // Hosting: the map file the description names becomes this one and the
    // description goes to every client (they play the map the host names).
    // Not hosting: nothing.
    void AnnounceMap(const char* file);

    // ---- the per-frame service and the lockstep frames
    // Engine work, time-outs, the client's join and pings, the host's game
    // speed control, the master's links and the server browser.
    void Update(int idleOnly);
    // A client's test traffic (nw_DummyNum messages a frame).
    void SendDummyTraffic();
    // Whether the logic tick runs now (after the game's clock said a tick is
    // due): the host flushes its queues and walks the resync it runs; a
    // client waits for its frame, asks the server when it waited too long,
    // and forces a tick after it reported the server ahead.
    bool LogicTickGate();
    // The interface frame's tick step decides the same way (the host always
    // ticks there).
    bool InterfaceTickGate();
    // How far behind real time the game may fall before a tick runs
    // (seconds); the current lockstep frame's number (0 without one).
    float TickLead() const { return m_tickLead; }
    // How long this machine still waits for its frame before it asks the
    // server (seconds; below 0: it asks). The game's frames count it down
    // by their real time and start it again while no tick is due.
    float FrameCountdown() const { return m_frameCountdown; }
    // The longest any player has kept the game waiting, in real seconds (0
    // when none does).
    float LargestWait() const;
    void CountDownFrame(float elapsed) { m_frameCountdown -= elapsed; }
    void RestartFrameCountdown(float seconds) { m_frameCountdown = seconds; }
    uint16_t CurrentFrame() const;
    // Hands the current frame's messages of the client queue to their
    // handlers (the tick body); call after the clock took the tick. The
    // world's orders among them are gathered, in their order, in orders (the
    // turn's orders for CWorld::Tick).
    void ExecuteFrame(CTurnOrders& orders);
    // The handlers' side: a world order of the frame being executed (outside
    // a frame it is dropped).
    void AddTurnOrder(uint16_t type, const void* data, size_t length);
    // The server's checks and resyncs, every machine's resync step, then the
    // current frame closes (announced by the server) and the next is current.
    void ResyncClients();
    // One step of the server's start handshake (hosting only): start,
    // MAPCHANGESTART, MAPFINISHUP, SETGAMELOOP, each when every client
    // answered the one before. state: -1 waiting for start replies, 0 for
    // map-change replies, 1 start units placed, 2 waiting for map-finish
    // replies, 3 done.
    void StartHandshakeStep(int32_t* state);
    // Clears the start handshake's replies of every client.
    void ResetClientFlags();
    // Deletes every player marked for removal.
    void RemoveMarkedPlayers();
    // Reply of the frame that the server waits for.
    void FinishMarkReply();

    // ---- players, teams, races
    CPlayer* FindPlayerById(int32_t id) { return m_players.FindPlayerById(id); }
    CPlayer* FindPlayerByName(const char* name) { return m_players.FindPlayerByName(name); }
    CPlayer* LocalPlayer() { return m_players.m_local; }
    CPlayer* AddPlayer(const char* name);
    // A player of another machine, as every machine makes it: its id, the
    // counters of a fresh game.
    CPlayer* NewPlayer(int32_t id);
    void ResetPlayerCounters();
    // Server: takes a player's information record (the u32 id first, the
    // owner id last, which the server writes) from a connection: a new
    // player of it when the id has none, and sends the record to every
    // client. The player.
    CPlayer* RegisterPlayer(CGameSocket* connection, int32_t id, std::vector<uint8_t>& record);
    // Hosting: a computer player's player under the id (above 1, unused) as
    // the host's own client registers one, its record's computer bit set and
    // this machine marked as the one that runs it; every client learns it.
    // Null when not hosting or the id is taken.
    CPlayer* AddComputerPlayer(int32_t id, const char* name, const CRace* race, const float colour[3]);
    // Hosting: two players never share a colour. A computer player run here
    // whose colour is near the one the wearer (a player of a machine) takes
    // gives it up for the first of the server's colours that nobody wears,
    // and every machine hears of it (PLAYER_COLOR). The computer players
    // that changed.
    int ComputersGiveUpColour(const CPlayer* wearer, const float colour[3]);
    // Hosting: the computer player's player leaves (DELETEPLAYER); false
    // when there is none of that id that this machine runs.
    bool RemoveComputerPlayer(int32_t id);
    void ResolveTeamLeaders();
    // Hosting: DELETETEAM for every team whose leader is gone (unless kept).
    void DeleteOrphanTeams();
    // Deletes a player (never the local or the neutral one).
    void DeletePlayer(CPlayer* player);
    // Players of the lobby other than the neutral one.
    int CountPlayers() const;

    // ---- the sync state of the world
    // The world's StateHash (0 without a world): the object-id counter,
    // every object's sync image in id order and every player's sync record.
    // Equal on every machine that is in step.
    uint32_t WorldSyncCrc();
    // Every lockstep message executed so far, folded in frame order: equal on
    // every machine that executed the same messages in the same frames.
    uint32_t ExecutedDigest() const { return m_executedDigest; }

    // ---- saved games (netgame/SavedGame.cpp; the file in netgame/SavedGame.h)
    // A part of the layers above the network game (the game's view, the
    // computer players) that every save writes and every load reads under
    // its tag; parts are written in the order they were added.
    void AddSavedPart(ISavedGamePart* part);
    void RemoveSavedPart(ISavedGamePart* part);
    // The game's own fields (null: none).
    void SetSavedView(ISavedGameView* view) { m_savedView = view; }
    // The whole game as a saved game's bytes; next: the orders of the turn
    // about to run. False without a world.
    bool BuildSavedGame(const CTurnOrders& next, std::vector<uint8_t>& out);
    // Asks for a save into the file (a name below the game's root, or a
    // full path): it is written when the next frame begins with no way
    // search of this machine half done (ExecuteFrame), with that frame's
    // orders; done is told whether it was written (with the reason when not).
    // False (nothing asked) while no game runs or another save waits.
    bool RequestSave(const char* path, std::function<void(bool written, const std::string& error)> done);
    bool SaveRequested() const { return !m_saveRequest.empty(); }
    // The file of a saved game's name: "Save\<name>" below the game's root.
    std::string SavedGamePath(const char* name);
    // Reads a saved game's file whole and walks it (ParseSavedGame); false
    // with the reason.
    bool ReadSavedGame(const char* path, CSavedGameFile& file, std::string& error);
    // Walks a saved game's bytes field by field (every count and length
    // bounded, the objects read against this world's templates, the check
    // sum) and takes them apart into file's sections; false with the reason.
    // Nothing of the session or the world changes.
    bool ParseSavedGame(std::vector<uint8_t> bytes, CSavedGameFile& file, std::string& error);
    // Its first fields alone: its game type and its map.
    static bool ReadSavedGameHead(const std::vector<uint8_t>& bytes, SSavedGameInfo& info,
                                  std::string& error);
    // Reads a walked file's session: what the game continues.
    static bool ReadSavedGameInfo(const CSavedGameFile& file, SSavedGameInfo& info);
    // Hosting: the next start continues the saved game of that name (its
    // file read and checked whole; info tells its map and game type). An
    // empty name: the next start is a new game again. False with the reason
    // (the caller says it).
    bool HostSavedGame(const char* name, SSavedGameInfo* info, std::string& error);
    const CStrBuf& HostedSavedGame() const { return m_hostedSave; }
    // The saved game this machine loads when the game loop starts (the host
    // named it for this start), and why it cannot when it cannot.
    bool SavedGamePending() const { return !m_pendingSave.IsEmpty(); }
    const CStrBuf& PendingSavedGame() const { return m_pendingSave; }
    const std::string& SavedGameError() const { return m_pendingError; }
    // Checks every section of a saved game against this session and its
    // world, changing nothing; false with the reason.
    bool CheckSavedGame(const CSavedGameFile& file, std::string& error);
    // The saved game last checked, for its parts' own checks (they are read
    // before its session and world are taken, and again after): the game
    // time of the tick it resumes with, and its players that a computer
    // plays.
    struct SSavedGameChecked {
        uint64_t gameTime = 0;
        std::vector<int32_t> computerPlayers;
        // The saved game's map rectangle (left, top, right, bottom), from
        // its world grid's record.
        int32_t mapRect[4] = {0, 0, 0, 0};
    };
    const SSavedGameChecked& SavedGameChecked() const { return m_savedGameChecked; }
    // Takes a checked saved game: the session's records, the world grid,
    // the world's whole state, the parts; the orders of its turn go into
    // the turn being executed. False with the reason.
    bool ApplySavedGame(const CSavedGameFile& file, std::string& error);
    // The handlers' side: the host named the saved game of this start
    // (in its STARTGAME request: an empty name for none), and the game loop starts
    // (SETGAMELOOP: the saved game, or the map's objectives).
    void TakeSavedGameAnnouncement(uint32_t crc, const char* name);
    // Hosting: true while a joined client's last reported frame lies
    // kMaxLeadFrames or more behind the current one (no tick then).
    static constexpr int kMaxLeadFrames = 960;
    bool TooFarAhead();
    // After a map has loaded: every player takes the map's objects placed
    // for its owner id (CPlayer::AttachOwnedObjects), in the players' order.
    void AttachObjectsToPlayers();
    // The host's client asks its server to start the game: STARTGAME (102)
    // with the saved game this start continues, when there is one. Its
    // payload: nothing for a new game; else u32 the CRC-32 of the saved
    // game's file and its name with the zero. The server relays it as it
    // came, so every machine learns the saved game with the start and checks
    // its own copy before MAPCHANGESTART.
    bool SendStartRequest();
    // Reads that payload: false when it is neither empty nor a CRC and a
    // name that use it up exactly.
    static bool ReadStartRequest(const uint8_t* data, size_t size, uint32_t* crc, CStrBuf* name);
    // The saved game the last STARTGAME named (empty: none), kept for the
    // check at MAPCHANGESTART.
    CStrBuf m_startSave;
    uint32_t m_startSaveCrc = 0;
    void StartGameLoop();

    // ---- the console: the network area's commands and settings
    // (Connect, StartServer, Name, the srv_, cl_, nw_ and si_ rows), with
    // this session as their context.
    void RegisterCommands(CCommandInterpreter* ip);
    // Its rows of the master server, the browser and the chat
    // (NetLobbyCommands.cpp), which RegisterCommands registers too.
    void RegisterLobbyCommands(CCommandInterpreter* ip);
    // The settings the links use changed (passwords, packet size, the chat's
    // target): the server is asked for the packet size set now.
    void LinkSettingsChanged();
    // Where the master's id for this machine's server is kept: the value
    // "UniqueServerID" (a DWORD) of this key of HKEY_CURRENT_USER, read when
    // the network game is made and written when the master gives one.
    static constexpr const char* kUniqueServerIdKey = "Software\\Zq\\Tessarak\\Settings";
    void KeepUniqueServerId(uint32_t id);

    // ---- statistics and errors
    void ReportV(const char* fmt, va_list ap) override;
    void PrintStats(CE3DSurface* surface);
    void SetBenchmarkSpeed(float speed);
    void ApplyRate();

    // ---- roles and flags
    uint8_t m_hosting = 0;
    uint8_t m_clientConnected = 0;
    uint8_t m_localGame = 0;
    uint8_t m_gameReset = 0;
    uint8_t m_noGameDirSend = 0;
    uint8_t m_noConfigSave = 0;
    uint8_t m_closing = 0;   // the destructor runs: connections go without a word
    uint8_t m_polling = 0;   // no receive thread: the frames read the sockets
    uint8_t m_starting = 0;  // the constructor's reset: the game's state words stay as they are
    int32_t m_lastJoinState = 0;
    int32_t m_joinFailure = 0;

    // ---- settings (console variables)
    CStrBuf m_serverPassword;  // srv_Password
    CStrBuf m_clientPassword;  // cl_Password
    float m_clientRate = 20000.0f;
    float m_serverRate = 20000.0f;
    int32_t m_maxPacketSize = 1024;
    int32_t m_clientPort = 45322;  // nw_ClientPort (0: any)
    float m_targetFps = 15.0f;     // srv_TargetFPS
    float m_minFps = 7.5f;         // srv_MinFPS
    float m_accuratenessRatio = 0.5f;
    float m_checksPerFrame = 1.7f;  // srv_Sync_NumberOfChecksPerFrame
    int32_t m_syncEveryFrame = 0;   // srv_SyncEveryFrame
    float m_speedFactor = 1.0f;     // srv_GameSpeed
    int32_t m_dummyNum = 0, m_dummySize = 1000;
    float m_serverUpdatePingTimeout = 3.0f;
    uint32_t m_uniqueServerId = 0;

    // ---- frame loop state (the frames of CGame drive it)
    int32_t m_awaitedFinishMark = -1;
    uint16_t m_finishReply = 0;
    int32_t m_askForFrame = 0xFFFF;
    float m_tickLead = 0.1111f;
    // The waits for frames start again: set by Update when this machine
    // did not serve its network for a while (a long load, a stalled window:
    // the frames' time stamps say nothing of the server then), and by the
    // end of a resync (the frames stood while everyone waited). A frame
    // record found next has its time stamp brought up to now.
    uint8_t m_touchTime = 0;
    uint8_t m_touchTimeAfterSync = 0;
    int64_t m_lastServiced = 0;  // when Update last ran (engine clock; 0 never)
    int32_t m_syncState = 0;     // 0 none, 1 collecting units, 2 finishing, 3 leaving the sync
    uint8_t m_resyncing = 0;     // a resync runs
    int32_t m_resyncCountdown = 0;
    // server: a resync waits at most this long for a client's answers; one
    // that has not answered by then is dropped and the game goes on
    // (srv_ResyncTimeout, seconds)
    float m_resyncTimeout = 10.0f;
    int64_t m_syncSince = 0;      // when the resync's current step began
    CSentChecks m_sentChecks;     // server: its checks, for weighing sync reports
    uint8_t m_frameExecuted = 0;  // the current frame's messages went to their handlers

    // ---- the session's data
    CPlayerList m_players;
    CServerInfo m_serverInfo;  // the hosted description
    CServerInfo m_joinedInfo;  // the current one (from the server)
    std::vector<SServerColor> m_colors;
    int32_t m_nextPlayerId = 2;
    int32_t m_nextOwnerId = 2;
    int32_t m_savedIdCounter = 0;
    uint32_t m_syncRequests = 0, m_syncAnswers = 0;
    uint16_t m_serverFrame = 0;
    std::atomic<float> m_serverSpeed{1.0f};
    float m_lastSpeedSent = -1.0f, m_lastRateSent = -1.0f;
    float m_dataGenerated = 20.0f;
    int32_t m_dataHistory[10] = {};
    int32_t m_frameData = 0;
    int32_t m_checkCursor = -1;  // the unit the spot checks go on with (its id)
    float m_checkFraction = 0.0f;
    float m_largestFrameTime = 0.0f, m_largestTimeLag = 0.0f, m_largestDataLag = 0.0f;
    float m_lagEstimate = 0.1111f;
    int64_t m_waitStamp = 0;  // when the players' waits were last counted (engine clock)
    int64_t m_statsTime = 0;
    float m_rates[4] = {};  // packets in, out, bytes in, out per second
    uint32_t m_statsCounters[4] = {};
    uint32_t m_executedDigest = 0;
    uint32_t m_frameDigest = 0;               // the messages of the last executed frame
    std::unordered_set<int32_t> m_syncedIds;  // objects a resync confirmed (membership only)
    uint8_t m_notInSoftSync = 1;
    std::atomic<uint64_t> m_serverNextTick{0};
    // What PING's handlers read on the engine's receiving thread, taken from
    // the game's clock every frame (a frame old at most): the tick rate, the
    // game speed and the next tick's time.
    std::atomic<float> m_pingRate{15.0f}, m_pingSpeed{1.0f};
    std::atomic<uint64_t> m_pingNextTick{0};
    // The server's name as the LAN discovery answers it, and whether this
    // machine hosts, kept every frame for the receiving thread's handler.
    std::mutex m_announceLock;
    std::string m_announcedName;
    bool m_announcing = false;
    CStrBuf m_requestedMap;  // the map box asked for (REQUESTMAP), until it came

    // ---- queues and registries
    // Queue 1: contacts and joining; queue 2: the server's; queue 3: the
    // client's (and the lockstep frames'); the sync queue: the resync step's.
    NWEQueue m_queue1{3}, m_queue2{3}, m_queue3{3}, m_syncQueue{3};
    NWEMessageTypes m_contactTypes{this};    // the server's first contact (the default peer)
    NWEMessageTypes m_serverPreTypes{this};  // the server's contacts before joining
    NWEMessageTypes m_clientPreTypes{this};  // the client's contacts before joining
    NWEMessageTypes m_serverTypes{this};     // the server's end of each client
    NWEMessageTypes m_clientTypes{this};     // the client's link to its server
    NWEFrameTable* m_frameTable = nullptr;

    // ---- sockets and links (entries naming the peers; empty once a peer goes)
    NWESocket* m_gameSocket = nullptr;
    NWERefList m_holders;
    NWEListEntry* m_clientLink = nullptr;      // a client's link to its server
    NWEListEntry* m_localClientEnd = nullptr;  // the host's own client
    NWEListEntry* m_localServerEnd = nullptr;  // the server's end of it
    NWEListEntry* m_contact = nullptr;         // the server's first contact (default peer)
    NWERefList m_clients;                      // every client's connection on this server
    NWERefList m_waiting;                      // joining clients, until a frame boundary

    // The send buffer (payloads are built here, then copied by the engine).
    CStateArchive m_send;

    // ---- the chat lines heard (the game's, a contacted server's and the
    // master's channel's), newest last, at most kChatLines; the lobby shows
    // them. A line keeps its colour; m_chatCount counts every line ever heard.
    struct SChatLine {
        std::string text;
        uint8_t rgb[3] = {255, 255, 255};
    };
    static constexpr size_t kChatLines = 256;
    std::deque<SChatLine> m_chatLines;
    uint32_t m_chatCount = 0;
    void NoteChatLine(const char* text, int r, int g, int b);

    // ---- the master server's links and the server browser
    std::unique_ptr<CMasterClient> m_master;
    std::unique_ptr<CServerBrowser> m_browser;

    // ---- used by the handlers
    CGameSocket* TakeLink(NWEListEntry* holder);
    CGameSocket* TakeClientLink() { return TakeLink(m_clientLink); }
    CGameSocket* TakeLocalServerEnd() { return TakeLink(m_localServerEnd); }
    bool IsLocalServerEnd(const NWEPeer* peer);
    // The connections of the client list, taken shared (give each back).
    std::vector<CGameSocket*> TakeClients();
    static void ReleaseAll(const std::vector<CGameSocket*>& list);
    // Makes a connection on the game socket with the registry; taken shared.
    CGameSocket* NewConnection(NWEMessageTypes* registry, const char* name);
    void SetHolder(NWEListEntry** holder, NWEPeer* peer);
    // Sends the payload built in m_send.
    bool SendBuilt(int type, NWEList* slot = nullptr) {
        return Send(type, m_send.GetData(), static_cast<int>(m_send.GetBuffer().size()), slot, slot);
    }
    bool SendBuiltToAll(int type, NWEList* slot = nullptr, uint16_t frame = 0) {
        return SendToAllClients(type, m_send.GetData(), static_cast<int>(m_send.GetBuffer().size()), slot,
                                slot, frame);
    }
    // MAPBOX on the connection: the map's name, then the bytes of its box.
    bool SendMapBox(CGameSocket* to, const char* path);
    // UPDATETIMINGINFO and SYNC_UPDATETIMINGINFO (94, 156) into the send
    // buffer: f32 the tick rate, u64 the time of the tick after the frame
    // the message runs in, u64 the game time once that frame has run. A
    // client that takes them in the frame has the server's game time from
    // then on (the world's timers read it).
    void WriteTimingInfo();
    // The frame a framed message sent now to all clients belongs to.
    uint16_t ChooseFrame(uint32_t length);
    // Folds an executed lockstep message into the digest.
    void NoteExecuted(const NWEMessage* m);
    // The connection was lost or the server quit: back to a local game.
    void LeaveJoinedGame(CGameSocket* link);
    void PrintColor(int r, int g, int b, bool echo, const char* fmt, ...);
    void Printf(const char* fmt, ...);

private:
    // The world's sending role, on this session.
    class CSender : public IOrderSender {
    public:
        explicit CSender(CNetGame& net) : m_net(net) {}
        bool Send(int type, const void* data, int length) override;
        bool SendForPlayer(CPlayer* player, int type, const void* data, int length) override;

    private:
        CNetGame& m_net;
    };

    CWorld* m_world = nullptr;
    IWorldConsole* m_console = nullptr;
    IWorldFiles* m_files = nullptr;
    ILockstepClock* m_clock = nullptr;
    IGameFlow* m_flow = nullptr;
    IMapLoader* m_maps = nullptr;
    bool m_clockGiven = false;
    CSender m_sender{*this};
    CTurnOrders* m_turnOrders = nullptr;  // the frame being executed gathers its world orders here
    // Saved games: the parts above, the save asked for, the game the host
    // continues at its next start, the one this machine loads at the game
    // loop's start.
    std::vector<ISavedGamePart*> m_savedParts;
    std::function<void(bool closing)> m_onGameReset;
    ISavedGameView* m_savedView = nullptr;
    std::string m_saveRequest;
    std::function<void(bool, const std::string&)> m_saveDone;
    CStrBuf m_hostedSave;
    uint32_t m_hostedSaveCrc = 0;
    CStrBuf m_pendingSave;
    std::string m_pendingError;
    std::unique_ptr<CSavedGameFile> m_pendingFile;
    void WriteRequestedSave(NWEFrame* frame);
    void ForgetSavedGames();
    // The saved game's players: the local one first, then the others by id
    // (never the neutral one).
    std::vector<CPlayer*> SavedPlayers();
    // The session's record of the computer players' block (SavedGame.h).
    void SaveSessionRecord(CStateArchive& ar, const std::vector<CPlayer*>& players);
    // The network game's section of a saved game taken apart (NETG, the
    // session's records in SavedGame.cpp's layout); read, it tells the ids of its players, and of those a
    // computer plays.
    bool LoadNetSection(CStateArchive& ar, std::vector<int32_t>* playerIds,
                        std::vector<int32_t>* computerIds = nullptr);
    SSavedGameChecked m_savedGameChecked;
    float m_frameCountdown = 10.0f;  // seconds left to wait for the frame (FrameCountdown)

    void CloseAllSockets();
    void RegisterMessages();
    void ClientUpdate(CGameSocket* link);
    void SpeedControl();
    void DropStaleEntries();
    void Resync(NWEFrame* frame);
    void StepResync();
    void ProcessFrameQueue(NWEFrame* frame, NWEQueue* queue);
    // A frame's messages in the order the server sent them (by key).
    static void SortByKey(std::vector<NWEMessagePtr>& list);
    // Which tick asks for a frame: the interface frame's tick step or the
    // running game's logic tick (which also reports its units in and its
    // sync finished before it asks for the resync).
    enum class ETickStep { Interface, Logic };
    // The ask-for-frame step; true when it reported the server ahead and the
    // tick is to run now with what the frame holds.
    bool AskForFrame(NWEFrame* rec, ETickStep step);
    // Whether a present frame runs now: complete, or overdue and reported.
    // Gives the frame back.
    bool FrameReady(NWEFrame* rec, ETickStep step);
};
