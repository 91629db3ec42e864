// The network game: the session this machine hosts or has joined, its
// players and the state of the lockstep frame loop that the frames drive.
// A single-player game goes through the same session as a networked one.
// The game object creates the one CNetGame at start-up, after the
// computer-player manager, and deletes it through its virtual destructor.
#pragma once

#include <cstdint>

#include "core/StrBuf.h"
#include "nwe/Message.h"
#include "world/Player.h"

class CNetGameHost;
class CE3DSurface;
class NWEFrameTable;
class NWEPeer;

// The description of a server: what the lobby and the server lists show.
struct CServerInfo {
    CStrBuf m_name;
    uint16_t m_speed = 0;  // the host's benchmark speed
    uint8_t m_editor = 0;
    uint8_t m_cheating = 0;
    int32_t m_startResources = 5000;  // si_StartResources
};

// Game message types the frame loop sends.
enum {
    NS_NOTIFYTYPE_FRAMEFINISHED = 84,
    NS_NOTIFYTYPE_GAMEDIR = 97,
    NS_NOTIFYTYPE_ASKFORFRAME = 144,
    NS_NOTIFYTYPE_SYNC_GOTALLUNITS = 152,
    NS_NOTIFYTYPE_SYNC_SYNCFINISHED = 154,
    NS_NOTIFYTYPE_SYNC_REPORT = 158,
    NS_NOTIFYTYPE_PAUSE = 162,
};

class CNetGame {
public:
    explicit CNetGame(CNetGameHost* game);
    virtual ~CNetGame();

    // Per-frame service: connection loss, rates and the tick lead.
    virtual void Update(int arg);
    // Sends on the server link when hosting, else on the client link when
    // connected; nothing when neither exists. False when nothing was sent.
    bool Send(int type, const void* data, int length, int flag1, int flag2);
    // Sends the game directory's name (with its terminating zero) to the
    // clients as GAMEDIR, when hosting a connected session that has not been
    // told to keep it.
    void SendGameDir(const char* name);
    // Sends the pause value (4 bytes) as PAUSE.
    void SendPause(int32_t value);
    // The host's benchmark speed, rounded, in this machine's server
    // description (clamped to 16 bits).
    void SetBenchmarkSpeed(float speed);
    // Sends a chat line with the sender's name and colour on the session's
    // link; nothing without a session.
    void SendChat(const char* name, const char* text, int r, int g, int b);
    // The server's per-tick resync step.
    void ResyncClients();
    // Resets the session for a new game.
    void ResetGame();
    void ResetPlayerCounters();
    // Game speed, frame rates and lag, drawn for perf_DrawFPS.
    void PrintStats(CE3DSurface* surface);
    // Deletes every player marked for removal.
    void RemoveMarkedPlayers();
    CPlayer* AddPlayer(const char* name);

    CNetGameHost* m_game;
    uint8_t m_hosting = 0;
    uint8_t m_clientConnected = 0;
    uint8_t m_gameReset = 0;
    uint8_t m_noGameDirSend = 0;  // beside the hosting flag: do not send GAMEDIR
    uint8_t m_noConfigSave = 0;
    int32_t m_awaitedFinishMark = -1;
    uint16_t m_finishReply = 0;
    float m_frameCountdown = 10.0f;
    int32_t m_askForFrame = 0xFFFF;
    float m_tickLead = 0.1111f;
    int32_t m_syncState = 0;
    uint8_t m_touchTime = 0;
    // The players, teams and races of the session: the neutral player and
    // the local player exist from the start.
    CPlayerList m_players;
    CServerInfo m_serverInfo;  // this machine's server description
    CServerInfo m_joinedInfo;  // the joined server's
    uint8_t m_sendBuffer[512] = {};
    // Game messages wait here until the frames hand them to their handlers;
    // queue 3 also receives the messages of the lockstep frames.
    NWEQueue m_queue1, m_queue2, m_queue3;
    // The lockstep frames of the running session (none without a session).
    NWEFrameTable* m_frameTable = nullptr;
    // A client's link to its server (none while hosting or alone).
    NWEPeer* m_clientLink = nullptr;
};

// Tells the master server the game's directory name when its link is up.
void MasterClient_SendGame();
