// A connection of the network game: a peer of the engine that also knows
// the players who play through it, its own message group, and what the game
// protocol keeps per connection (join state, reply flags, the values a
// client reports, ping slots).
//
// The server holds one per client (the host's own client included, through
// the loopback pair); a client holds one for its server. A connection checks
// the requests that come through it: a client may act only for its own
// players and their objects. When a connection goes, its players are told
// gone (on the server, DELETEPLAYER goes to every client).
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "core/StrBuf.h"
#include "netgame/RateLimit.h"
#include "nwe/Message.h"
#include "nwe/Peer.h"

class CNetGame;
class CPlayer;
class CTessarakObject;
class NWESocket;
class NWEMessageTypes;

class CGameSocket : public NWEPeer {
public:
    static constexpr int kPingSlots = 8;

    CGameSocket(CNetGame* net, NWESocket* socket, NWEMessageTypes* registry);
    ~CGameSocket() override;

    // The peer's work; on the game's own thread (not the engine's tick
    // thread) also the player status: PLAYERS to this connection once after
    // each change.
    void Update(bool fromTickThread) override;

    // The server's sender check for a command on a game object: its owner is
    // one of this connection's players (the neutral player's objects: the
    // host's own client, which runs the map's scripts for them).
    bool IsSenderOf(const CTessarakObject* object) const;
    // The player is one of this connection's players, or this is the host's
    // own client (which may act for every player of its game).
    bool OwnsPlayer(const CPlayer* player) const;
    // This connection's first player, or null.
    CPlayer* FirstPlayer() const;
    int CountPlayers() const;

    // Sends on this connection in its message group (the link's own queue).
    bool SendOn(uint16_t id, const void* data, uint32_t size, uint16_t frame = 0);

    CNetGame* m_net;
    NWEList m_group;  // what this connection sent and is not yet confirmed
    CStrBuf m_name;   // a chat contact's name

    // ---- join (1 admitted, 2 validated, 3 id assigned, 4 joined, 5 the server quit)
    int32_t m_joinState = 0;
    int32_t m_subState = 1;
    uint8_t m_replied = 0;     // client: the awaited answer came
    uint8_t m_validated = 0;   // client: CONNECTVALIDATE was answered
    int64_t m_connectDue = 0;  // client: when CONNECT goes again while unanswered
    uint32_t m_clientValue = 0;
    int32_t m_assignedId = -1;  // server: the player id this client was given
    uint8_t m_idWanted = 0;     // server: ASSIGNPLAYERID waits for the client list
    uint8_t m_waiting = 0;      // server: on the waiting list for the client list

    // ---- the game start and the sync
    uint8_t m_mapPresent = 0;
    uint8_t m_startReply = 0, m_mapChangeReply = 0, m_mapFinishReply = 0;
    uint8_t m_gotAllUnits = 0, m_syncFinished = 0;
    uint16_t m_finishedFrame = 0;
    // server: this client's allowances: a resync report once in 3 s; chat
    // lines in a burst of 10, then one a second
    CRateLimit m_syncReports{1.0f, 1.0f / 3.0f};
    CRateLimit m_chatLines{10.0f, 1.0f};

    // ---- what the client reports with its pings (checked, clamped). PING
    // is handled on the engine's receiving thread: these fields, and the
    // client's ping slots below, are written and read under m_pingLock.
    std::mutex m_pingLock;
    float m_frameTime = 0.1f;
    float m_timeLag = 0.1f;
    float m_reportedPing = -1.0f;  // the client's average ping (-1: none yet)
    uint16_t m_reportedFrame = 0;  // the client's current frame as its last ping said
    int64_t m_lastPing = 0;
    std::atomic<uint8_t> m_statusChanged{0};  // server: PLAYERS goes to this connection
    uint8_t m_leftCleanly = 0;  // server: the client said DISCONNECT (told as such, not as timed out)

    // ---- client: its pings to the server
    int64_t m_pingSent[kPingSlots] = {};
    float m_pingTimes[kPingSlots] = {};
    uint16_t m_pingIndex = 0;
    int64_t m_pingDue = 0;
    float m_averagePing = 0.0f;
};
