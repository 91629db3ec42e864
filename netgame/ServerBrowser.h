// The server browser: one entry per known game server, found on the local
// network (a broadcast every server answers) or listed by the master server,
// each asked for its details (its description record) and pinged; the list
// filtered and sorted for the lobby.
//
// Its work runs in steps that nw_ServerGetMode asks for: 1 gets the list
// from the master, 2 asks every entry for its details (at most ten at a
// time), 3 pings every entry (ten at a time); each step leads to the next.
// A server's contact (JoinChat) is a link to one entry on which the player
// chats with the players of that server before joining.
//
// The lobby reads the entries (`m_visible`, filtered and sorted) under
// `m_lock`, with the status text and progress of the steps.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "netgame/MasterClient.h"
#include "netgame/MasterProtocol.h"
#include "nwe/ListEntry.h"
#include "platform/net/Udp.h"

class CNetGame;
class CCommandInterpreter;
class CGameSocket;
class NWESocket;
class NWEPeer;
class NWEMessage;

class CServerListEntry {
public:
    enum : uint8_t { kSourceLan = 1, kSourceMaster = 2 };

    int32_t m_id = 0;
    SNetAddress m_address;
    float m_ping = 9.999f;  // seconds; 9.999 while not measured
    uint8_t m_queried = 0;  // the current step has dealt with it
    uint8_t m_sources = 0;
    uint8_t m_keep = 0;      // the master listed it in its last answer
    uint8_t m_marked = 0;    // the player's mark (the lobby's right click)
    uint8_t m_answered = 0;  // its details came
    // ---- its details (its answer to EXTERNAL_REQUESTSERVER)
    uint32_t m_uniqueId = 0;
    uint8_t m_location = 0;
    uint8_t m_inProgress = 0;  // the flag byte: a game runs there
    uint8_t m_systemKind = 0;
    uint8_t m_connection = 0;
    uint16_t m_speed = 0;
    uint16_t m_players = 0, m_maxPlayers = 0;
    std::string m_name, m_map, m_game;
    uint8_t m_fogOfWar = 0, m_alliedVictory = 0;
    int32_t m_startResources = 0, m_maxUnits = 0;
    std::vector<SChatUser> m_playerList;
    // ---- the browser's work on it
    NWEListEntry* m_link = nullptr;  // its contact link while one is open
    int64_t m_pingSent = 0;
    uint32_t m_pingCounter = 0;
    uint8_t m_pinging = 0;
    uint8_t m_requesting = 0;  // the details step asked it and waits
    uint8_t m_chat = 0;        // its link is the player's chat contact

    std::string AddressText() const;
    void ResetInfo();
};

// What the lobby shows (applied here, not sent).
struct SServerListFilter {
    uint8_t sources = 3;   // bit 0 LAN, bit 1 master
    uint8_t location = 0;  // as the master's filter
    int minPlayers = 0;
    uint8_t connection = 0;
    int minMaxPlayers = 0;
    uint8_t flag = 2;                      // 0 any, 1 only games in progress, 2 hide them
    std::string name, map, game, address;  // parts to find, ignoring case
    int maxPing = 0;                       // milliseconds, 0 any
    int sortColumn = 0;                    // 0 to 10
    int sortDescending = 0;
    // The settings lists' further filters (each passes everything as made):
    // players and maximum players at most, free seats at least, a player's
    // name among its players, the player's marks (0 off, 1 only marked
    // servers, 2 hide them), the server's speed at least (its players'
    // speed is kept for the settings; the list carries none), a player's
    // connection at least, fog of war and allied victory (0 any,
    // 1 on, 2 off), start resources and unit limits strictly between, the
    // dedicated kind (0 any, else as the master's filter: 2, 7 and 8
    // dedicated, the rest not).
    int maxPlayers = 128, maxMaxPlayers = 128, freeSpots = 0;
    std::string player;
    uint8_t favourites = 0;
    int minSpeed = 0, playersMinSpeed = 0;
    uint8_t playersMinConnection = 0;
    uint8_t fogOfWar = 0, alliedVictory = 0;
    int resourcesAbove = 0, resourcesBelow = 0x7FFFFFFF, maxUnitsAbove = 0, maxUnitsBelow = 0x7FFFFFFF;
    uint8_t dedicated = 0;
};

class CServerBrowser {
public:
    static constexpr int kMaxInFlight = 10;
    static constexpr size_t kMaxEntries = 1024;
    static constexpr float kContactRequest = 1.0f;  // a contact's details are asked again this often
    static constexpr float kMasterWait = 5.0f;      // the master's list is waited for this long

    explicit CServerBrowser(CNetGame* net);
    ~CServerBrowser();
    CServerBrowser(const CServerBrowser&) = delete;
    // Its console settings (NetLobbyCommands.cpp), registered with the
    // session's rows.
    void RegisterSettings(CCommandInterpreter* ip);
    CServerBrowser& operator=(const CServerBrowser&) = delete;

    // FindServers: the LAN broadcast, the master's list (the chat link opens
    // for it when a master is set), then details and pings.
    void FindServers();
    // The refresh of the lobby: entries the master no longer lists go, LAN
    // entries are asked again, the broadcast goes, the chat is pinged.
    void UpdateServerBrowser();
    void FilterServerList();
    // The per-frame service: the current step, the contact's request.
    void Update();
    bool OwnsSocket(const NWESocket* s) const { return s && s == m_socket; }
    // The machine's addresses, and where the LAN broadcast goes (every
    // network's broadcast address and the limited broadcast).
    void ReadLocalAddresses();
    std::vector<uint32_t> m_localAddresses;
    std::vector<uint32_t> m_lanTargets;

    // ---- entries
    CServerListEntry* FindEntry(int32_t id);
    CServerListEntry* FindEntry(const SNetAddress& a);
    CServerListEntry* AddEntry(const SNetAddress& a);  // null when the list is full
    void DestroyEntry(CServerListEntry* e);
    // A server by its address text ("a.b.c.d:port"), asked for its details.
    CServerListEntry* AddAddress(const char* text);
    // The player's chat contact with the entry's server (its players hear
    // the player's lines, and the player theirs), or none.
    void Connect(CServerListEntry* e);
    void Disconnect();
    CServerListEntry* Contact();
    bool IsContactLink(NWEPeer* peer);
    // A chat line to the contacted server; false without a contact.
    bool SendToContact(const char* text);
    void RequestInfo(CServerListEntry* e);
    void Ping(CServerListEntry* e);
    // The console's listing (ListServers).
    std::vector<std::string> Listing();

    // ---- used by the handlers and the master client
    CServerListEntry* EntryOf(NWEPeer* peer, const SNetAddress& from);
    void CloseLink(CServerListEntry* e, bool sayGoodbye);
    void OnMasterAnswer(const std::vector<SMasterServerAddress>& servers);
    void SetStatus(int textIndex, const char* extra = nullptr);

    CNetGame* m_net;
    std::recursive_mutex m_lock;
    std::vector<std::unique_ptr<CServerListEntry>> m_entries;
    std::vector<CServerListEntry*> m_visible;
    int32_t m_nextId = 1;
    SServerListFilter m_filter;
    SMasterQueryFilter m_query;
    uint8_t m_querySources = 3;   // bit 0 broadcast on the LAN, bit 1 ask the master
    int32_t m_requestedStep = 0;  // nw_ServerGetMode
    int32_t m_step = 0;
    bool m_stepStarted = false;
    int m_queryState = 0;  // step 1: 0 to ask, 1 waiting, 2 answered
    int m_finished = 0;    // entries the current step has finished
    int64_t m_stepSince = 0;
    bool m_filterChanged = false, m_listChanged = false;
    std::string m_status;
    float m_progress = 0.0f;
    uint16_t m_lanPort;  // the port the broadcast goes to (servers' default)
    NWESocket* m_socket = nullptr;
    NWERefList m_holders;
    NWEListEntry* m_default = nullptr;  // the socket's default peer: answers from unknown addresses
    int32_t m_contact = 0;              // the entry of the chat contact
    int64_t m_lastContactRequest = 0;
    int64_t m_nextChatPing = 0;

private:
    bool EnsureSocket();
    CGameSocket* OpenLink(CServerListEntry* e, bool chat);
    void QueryMasterStep();
    void UpdateServersStep();
    void PingServersStep();
    void EndStep(int next);
    void ServiceLinks();
    void SortVisible();
};
