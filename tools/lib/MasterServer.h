// The master server: the meeting place of games (tessarak_master).
//
// It keeps the list of running game servers, each registered by its own
// hosting game over a server link and kept up to date by it, answers the
// games' queries for that list, and carries a chat of channels and users
// over the chat links. It speaks the master protocol of
// netgame/MasterProtocol.h on the network engine, one UDP socket for all.
//
// Every message is hostile until it has read whole: lengths, counts and
// texts are checked, a link may only change what it owns (its own server
// entry, its own user), every list is bounded, and each link and each
// remote address has a budget of messages a second, so a flood from one
// address spends only its own budget and the others are served. A link that
// goes silent for the link time-out is dropped with what it owned, and so is
// a link that keeps breaking the rules.
//
// A link makes nothing before its game has answered the master's challenge
// (the cookie of its address, netgame/MasterProtocol.h), so forged CONNECTs
// from addresses that never hear the answer cost a small link each for a
// few seconds: the links not yet answered are bounded in all, the oldest
// giving way to a newcomer, they go after `pendingLife`, and the memory of
// links that went is given back to the system.
//
// It runs on the thread that calls Step: no engine threads.
#pragma once

#include <cstdint>
#include <list>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "netgame/MasterProtocol.h"
#include "nwe/NWE.h"

struct SMasterServerConfig {
    SNetAddress bind{0, kMasterDefaultPort};
    float linkTimeout = 15.0f;  // seconds of silence before a link goes with what it owned
    float heartbeat = 3.0f;     // the master tells every link it is there this often
    int maxServers = 4096;
    int maxUsers = 4096;
    int maxChannels = 256;
    int linksPerAddress = 64;
    // Links whose game has not answered the challenge yet: at most this many
    // in all, each for at most this long.
    int maxPendingLinks = 4096;
    float pendingLife = 5.0f;
    // Budgets of messages (a query, a join or a line costs more than one):
    // refill a second and the largest burst, per link and per address.
    float linkRate = 20.0f, linkBurst = 40.0f;
    float addressRate = 400.0f, addressBurst = 800.0f;
    // Refused messages a link may send before it is dropped.
    int maxViolations = 64;
    // The channel that is always there.
    std::string mainChannel = "Main Chat";
    bool verbose = false;
};

class CMasterLink;

class CMasterServer : public NWEEngine {
public:
    struct SServer {
        uint32_t uniqueId = 0;
        SNetAddress address;  // where players reach it: its link's remote address
        std::string name, map, game;
        uint8_t location = 0, dedicated = 0, connection = 0, inProgress = 2;
        uint16_t speed = 0;
        CMasterLink* link = nullptr;
    };
    struct SUser {
        uint32_t id = 0;
        std::string name;
        uint16_t value = 0;  // ping in milliseconds
        uint8_t kind = 0;
        uint32_t channel = 0;  // 0: none yet
        CMasterLink* link = nullptr;
    };
    struct SChannel {
        uint32_t id = 0;
        std::string name;
        std::vector<uint32_t> users;  // in the order they came
        bool permanent = false;
    };

    explicit CMasterServer(const SMasterServerConfig& config);
    ~CMasterServer() override;

    // Binds the socket; false when it cannot (the port is taken).
    bool Open();
    SNetAddress Address();
    // One turn: reads what came (waiting up to waitMs for a datagram),
    // handles it, sends the answers, and now and then the time-outs and the
    // heartbeat.
    void Step(int waitMs);

    size_t ServerCount() const { return m_servers.size(); }
    size_t UserCount() const { return m_users.size(); }
    size_t ChannelCount() const { return m_channels.size(); }
    const std::map<uint32_t, SServer>& Servers() const { return m_servers; }
    const std::map<uint32_t, SUser>& Users() const { return m_users; }
    const std::map<uint32_t, SChannel>& Channels() const { return m_channels; }
    // Messages refused (malformed, not the link's to send, over budget).
    uint64_t RefusedCount() const { return m_refused; }
    uint64_t HandledCount() const { return m_handled; }
    // Links whose game has not answered the challenge yet, and the
    // challenges sent.
    size_t PendingCount() const { return m_pending.size(); }
    uint64_t ChallengeCount() const { return m_challenges; }
    size_t LinkCount() const { return m_links; }

    void ReportV(const char* fmt, va_list ap) override;

    // ---- used by the handlers and the links
    struct SAddressState {
        int links = 0;
        float tokens = 0.0f;
        int64_t refilled = 0;
    };
    SMasterServerConfig m_config;
    NWEMessageTypes m_types{this};
    NWEQueue m_queue{3};
    NWESocket* m_socket = nullptr;
    std::unordered_map<uint32_t, SAddressState> m_addresses;
    std::map<uint32_t, SServer> m_servers;  // by unique id
    std::map<uint32_t, SUser> m_users;      // by user id
    std::map<uint32_t, SChannel> m_channels;
    uint32_t m_nextUser = 1, m_nextChannel = 1;
    uint32_t m_idSeed;
    std::vector<CMasterLink*> m_dirty;             // links sent to in this turn (taken shared)
    std::vector<std::pair<int, uint32_t>> m_gone;  // records whose links went (kind, id)
    int64_t m_nextSweep = 0, m_nextBeat = 0, m_nextTick = 0, m_nextTrim = 0;
    uint64_t m_refused = 0, m_handled = 0, m_challenges = 0;
    CStateArchive m_out;  // payloads are built here
    // The links not yet answered, oldest first, and the key of the cookies.
    std::list<CMasterLink*> m_pending;
    uint64_t m_cookieKey[2];
    size_t m_links = 0, m_linksGoneSinceTrim = 0;
    bool m_dropped = false;  // links were given up since the last tick

    // The cookie of a remote address in a period of the clock, and the one
    // it is told now.
    uint32_t Cookie(const SNetAddress& remote, int64_t period) const;
    uint32_t CurrentCookie(const SNetAddress& remote);
    // True when the CONNECT's cookie is the link's; otherwise the link hears
    // the challenge (on message `id`) and false.
    bool Answered(CMasterLink* link, uint16_t id, bool hasCookie, uint32_t cookie);
    // The link answered: it leaves the links not yet answered.
    void Admitted(CMasterLink* link);
    void DropPending(CMasterLink* link);

    // The link of a message when it may send it now (kind 0 any, else the
    // kind it must have) and the cost fits its budgets; refused (and counted)
    // otherwise.
    CMasterLink* Admit(NWEPeer* peer, NWEMessage* m, int kind, float cost);
    void Refuse(CMasterLink* link, NWEMessage* m, const char* why);
    // Queues the payload built in m_out on the link (sent at the end of the turn).
    void SendOut(CMasterLink* link, uint16_t id);
    void Send(CMasterLink* link, uint16_t id, const void* data, uint32_t size);
    void SendToChannel(const SChannel& c, uint16_t id, uint32_t except = 0);
    void SendToAllUsers(uint16_t id);
    void SendChannelList(CMasterLink* link);
    void SendUserList(CMasterLink* link, const SChannel& c);
    // A CONNECT on a link that had one: a new session of the same game.
    void Restart(CMasterLink* link);
    SChannel* FindChannel(const std::string& name);
    SChannel* MainChannel();
    void LeaveChannel(SUser& u);
    void RemoveUser(uint32_t id);
    void RemoveServer(uint32_t id);
    uint32_t NewUniqueId();
    uint32_t NewChannelId();
    void Sweep();
    void Heartbeat();
    void FlushDirty();
    bool Verbose() const { return m_config.verbose; }
};

// A link of the master: a game's chat link or server link, or one that has
// not said which yet.
class CMasterLink : public NWEPeer {
public:
    enum EKind { kNone = 0, kUser = 1, kServer = 2 };
    CMasterLink(CMasterServer* master, NWESocket* socket, const SNetAddress& from);
    ~CMasterLink() override;

    CMasterServer* m_master;
    uint32_t m_ip;
    int m_kind = kNone;
    uint32_t m_record = 0;  // the user id or the server's unique id
    float m_tokens;
    int64_t m_refilled;
    int m_violations = 0;
    bool m_dirty = false;
    int64_t m_since;
    bool m_pending = false;  // among the master's links not yet answered
    std::list<CMasterLink*>::iterator m_pendingAt;
};
