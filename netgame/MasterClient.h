// The game's side of the master server (tessarak_master): the server link,
// on which a hosting game that went public keeps its entry in the master's
// list, and the chat link, on which a player's game asks for server lists
// and takes part in the chat of channels and users.
//
// A link goes up when the master accepts its CONNECT; until then CONNECT goes
// again every few seconds. The master says it is there every few seconds on
// every link it knows; a link that hears nothing from it for nw_MasterTimeout
// seconds (a master that went, or one started again that knows nothing of
// this game) is down: the game says so once, goes on with whatever it plays,
// and connects again until the master answers, when the entry is sent whole
// again. Everything here runs on the game's thread, from the network game's
// per-frame update and its client queue.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/StrBuf.h"
#include "netgame/MasterProtocol.h"
#include "nwe/ListEntry.h"
#include "nwe/MessageTypes.h"
#include "platform/net/Udp.h"

class CNetGame;
class CCommandInterpreter;
class CGameSocket;
class NWESocket;
class NWEPeer;
class NWEMessage;

// A user of a chat channel (or a player of a listed server).
struct SChatUser {
    int32_t id = -1;
    std::string name = "Updating";
    uint16_t value = 0;  // ping in milliseconds
    uint8_t kind = 0;    // connection kind
    float latency = 0.0f;
};

struct SChatChannel {
    int32_t id = -1;
    std::string name;
    std::vector<SChatUser> users;
    SChatUser* FindUser(int32_t userId);
};

class CMasterClient {
public:
    // How often an unanswered CONNECT goes again, and a chat ping goes.
    static constexpr float kConnectRetry = 2.0f;
    static constexpr float kChatPing = 5.0f;
    // Lists a hostile master could make grow.
    static constexpr size_t kMaxChannels = 256;
    static constexpr size_t kMaxUsers = 4096;

    explicit CMasterClient(CNetGame* net);
    ~CMasterClient();
    CMasterClient(const CMasterClient&) = delete;
    // Its console settings (NetLobbyCommands.cpp), registered with the
    // session's rows.
    void RegisterSettings(CCommandInterpreter* ip);
    CMasterClient& operator=(const CMasterClient&) = delete;

    // ---- settings (console variables)
    CStrBuf m_address;        // nw_MasterServer: "a.b.c.d[:port]"; the port nw_ClientPort + 100 unless given
    float m_timeout = 15.0f;  // nw_MasterTimeout
    CStrBuf m_join = "Main Chat";  // Join: the channel of the chat
    CStrBuf m_chatWith = "*";      // ChatWith: who a console line goes to

    // The master's address as the setting gives it; false when it names none.
    bool MasterAddress(SNetAddress* out);

    // ---- the server link: a hosting game registers while it is public.
    void SetPublic(bool on);
    bool IsPublic() const { return m_public; }
    bool IsRegistered() const { return m_server.accepted; }
    // ---- the chat link (the online lobby).
    void OpenChat();
    void CloseChat();
    bool IsChatOpen() const { return m_chatWanted; }
    bool IsChatUp() const { return m_chat.accepted; }
    // Joins the channel (made by the master when it is not there).
    void JoinChannel(const char* name);
    // A line to the current channel, or to one user only (its id); false
    // while the chat is down.
    bool Say(const char* text, uint32_t toUser = 0);
    // Asks for the servers that pass the filter (the answer fills the browser).
    bool Query(const SMasterQueryFilter& filter);
    // A chat ping (the browser sends one every few seconds).
    void Ping();

    // The per-frame service: links up and down, CONNECT again, the entry's
    // changed fields, the user's name and connection.
    void Update();
    // The game resets: a registered server says goodbye before its socket
    // closes (the chat link stays).
    void OnReset();
    // Sockets a reset of the game keeps.
    bool OwnsSocket(const NWESocket* s) const { return s && s == m_chatSocket; }

    // ---- the chat's records
    std::vector<SChatChannel> m_channels;
    int32_t m_currentChannel = -1;
    int32_t m_pendingChannel = -1;  // joined before the channel's record came
    SChatChannel* FindChannel(int32_t id);
    SChatChannel* CurrentChannel() { return FindChannel(m_currentChannel); }
    // A user of the current channel by name (ignoring case), or null.
    const SChatUser* FindUser(const char* name);
    void DeleteChannels();

    // ---- used by the handlers
    struct SLink {
        NWEListEntry* holder = nullptr;
        bool accepted = false;
        bool reportedDown = false;  // "could not connect" said for this outage
        int64_t created = 0, lastHeard = 0, nextConnect = 0, nextTry = 0;
        bool haveCookie = false;  // the master's challenge came: CONNECT carries its cookie
        uint32_t cookie = 0;
    };
    bool IsLink(const SLink& l, NWEPeer* peer) const;
    void Heard(NWEPeer* peer);
    void Accept(SLink& l, NWEPeer* peer, bool chat);
    void Refused(SLink& l, NWEPeer* peer, uint32_t status);
    // CONNECT on the link, with the cookie of the master's last challenge.
    void SendConnect(NWEPeer* link, bool chat);
    void SendEntry();
    void SendChatRecord();

    CNetGame* m_net;
    NWEMessageTypes m_chatTypes;
    NWEMessageTypes m_serverTypes;
    NWERefList m_holders;
    NWESocket* m_chatSocket = nullptr;
    SLink m_chat, m_server;
    bool m_public = false, m_chatWanted = false;
    int64_t m_nextPing = 0;
    // What the master was last told: the entry's fields and the user's.
    struct SEntry {
        std::string name, map, game;
        int location = -1, connection = -1, inProgress = -1, speed = -1;
    } m_sent;
    std::string m_sentUserName;
    int m_sentUserKind = -1;
    CStateArchive m_out;
    std::string m_resolvedText;  // the address setting last looked up, and what it gave
    SNetAddress m_resolved;

private:
    // Keeps one link up while wanted: CONNECT again, down after silence,
    // a new link after one went.
    void Service(SLink& l, bool wanted, bool chat);
    CGameSocket* Open(SLink& l, bool chat);
    void Down(SLink& l, bool chat);
    void Goodbye(NWEPeer* link, bool chat);
    void SendOn(SLink& l, uint16_t id, const void* data, uint32_t size);
    // Sends the payload built in m_out.
    void SendBuilt(SLink& l, uint16_t id);
};

// Tells the master the game's directory (with the entry's other changed
// fields) at once, when the server link is up; the per-frame service would
// tell it at the next frame.
void MasterClient_SendGame(CNetGame* net);

// Whether a game runs or loads on this machine (what the master and the
// server browser are told).
bool NetGame_InProgress(CNetGame* net);
