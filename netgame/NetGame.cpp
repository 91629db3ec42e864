#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/CRC32.h"
#include "core/SysUtil.h"
#include "core/VFSFile.h"
#include "e3d/Surface.h"
#include "netgame/ConnectionTexts.h"
#include "netgame/MapFiles.h"
#include "netgame/MasterClient.h"
#include "netgame/NetGame.h"
#include "netgame/ServerBrowser.h"
#include "nwe/Socket.h"
#include "platform/sys/Path.h"
#include "world/GameScene.h"
#include "world/TessarakObject.h"
#include "world/WireText.h"
#include "world/World.h"

namespace {
// How many times the unacknowledged goodbyes (SERVERQUIT, DISCONNECT) go, so
// that one lost datagram does not leave the other side waiting for its
// time-out.
constexpr int kGoodbyeCopies = 3;
// A CONNECT that is not answered goes again after this many seconds.
constexpr float kConnectRetry = 1.0f;
}  // namespace

CNetGame::CNetGame(const SNetRoles& roles, const SNWEEngineSetup& setup) : NWEEngine(setup) {
    SetRoles(roles);
    m_frameCountdown = Clock().FrameTimeout();
    m_polling = setup.threads ? 0 : 1;
    // The game drives the engine from its frames: the tick thread only checks.
    SetOptionA(0);
    SetOptionB(0);
    // The id the master gave this machine's server, kept in the registry
    // (0 when none was ever given).
    if (!RegReadValue(HKEY_CURRENT_USER, kUniqueServerIdKey, "UniqueServerID", REG_DWORD, &m_uniqueServerId))
        m_uniqueServerId = 0;
    m_frameTable = new NWEFrameTable(this);
    RegisterMessages();
    m_master.reset(new CMasterClient(this));
    m_browser.reset(new CServerBrowser(this));
    m_noConfigSave = 1;  // nothing to save before the settings were read
    m_starting = 1;
    ResetGame(true);
    m_starting = 0;
    m_noConfigSave = 0;
    SetOptionC(1);
}

void CNetGame::AttachObjectsToPlayers() {
    for (CPlayer* p : m_players.m_players) p->AttachOwnedObjects();
}

void CNetGame::KeepUniqueServerId(uint32_t id) {
    m_uniqueServerId = id;
    RegWriteValue(HKEY_CURRENT_USER, kUniqueServerIdKey, "UniqueServerID", REG_DWORD, &id, 4);
}

CNetGame::~CNetGame() {
    m_closing = 1;
    Shutdown();
    CloseAllSockets();
    // Messages waiting anywhere hold their types: they go before the registries.
    for (NWEQueue* q : {&m_queue1, &m_queue2, &m_queue3, &m_syncQueue}) q->Clear();
    m_frameTable->Reset();
    delete m_frameTable;
    m_frameTable = nullptr;
}

// ---- links

CGameSocket* CNetGame::TakeLink(NWEListEntry* holder) {
    return holder ? static_cast<CGameSocket*>(NWEEngine::GetPeer(holder)) : nullptr;
}

bool CNetGame::IsLocalServerEnd(const NWEPeer* peer) {
    return peer && m_localServerEnd && m_localServerEnd->Names(peer);
}

std::vector<CGameSocket*> CNetGame::TakeClients() {
    std::vector<CGameSocket*> out;
    for (NWEListEntry* e = m_clients.FirstShared(); e; e = m_clients.NextShared(e))
        if (NWEPeer* p = NWEEngine::GetPeer(e)) out.push_back(static_cast<CGameSocket*>(p));
    return out;
}

void CNetGame::ReleaseAll(const std::vector<CGameSocket*>& list) {
    for (CGameSocket* c : list) c->Release();
}

void CNetGame::SetHolder(NWEListEntry** holder, NWEPeer* peer) {
    if (*holder) (*holder)->Destroy();
    *holder = peer ? new NWEListEntry(&m_holders, peer) : nullptr;
}

CGameSocket* CNetGame::NewConnection(NWEMessageTypes* registry, const char* name) {
    (void)name;
    CGameSocket* c = new CGameSocket(this, m_gameSocket, registry);
    c->m_guard.TryShared();
    return c;
}

void CNetGame::CloseAllSockets() {
    for (NWEListEntry** h : {&m_clientLink, &m_localClientEnd, &m_localServerEnd, &m_contact})
        SetHolder(h, nullptr);
    // Entries of the lists name nothing once their peers go; they go too.
    for (NWERefList* list : {&m_clients, &m_waiting}) {
        std::vector<NWEListEntry*> all;
        for (NWEListEntry* e = list->FirstShared(); e; e = list->NextShared(e)) all.push_back(e);
        for (NWEListEntry* e : all) e->Destroy();
    }
    // The master's chat link and the browser's socket outlive the game's
    // resets (not the network game).
    auto kept = [this](NWESocket* s) {
        return !m_closing &&
               ((m_master && m_master->OwnsSocket(s)) || (m_browser && m_browser->OwnsSocket(s)));
    };
    for (;;) {
        NWESocket* s = FirstSocket();
        while (s && kept(s)) s = NextSocket(s);
        if (!s) break;
        ReleaseSocket(s);
        s->Destroy();
    }
    m_gameSocket = nullptr;
    for (CPlayer* p : m_players.m_players) p->SetConnectionRecord(nullptr);
    // What the connections received and nobody handled yet goes with them.
    for (NWEQueue* q : {&m_queue1, &m_queue2, &m_queue3, &m_syncQueue}) q->Clear();
}

void CNetGame::DropStaleEntries() {
    for (NWERefList* list : {&m_clients, &m_waiting}) {
        std::vector<NWEListEntry*> gone;
        for (NWEListEntry* e = list->FirstShared(); e; e = list->NextShared(e))
            if (e->Names(nullptr)) gone.push_back(e);
        for (NWEListEntry* e : gone) e->Destroy();
    }
}

bool CNetGame::IsJoined() {
    if (m_hosting || !m_clientConnected) return false;
    CGameSocket* link = TakeClientLink();
    bool joined = link && link->m_joinState == 4;
    if (link) link->Release();
    return joined;
}

bool CNetGame::AloneOnThisMachine() {
    if (!m_hosting) return false;
    // Every entry is walked to the end: NextShared releases each in turn.
    bool alone = true;
    for (NWERefList* list : {&m_clients, &m_waiting})
        for (NWEListEntry* e = list->FirstShared(); e; e = list->NextShared(e))
            if (NWEPeer* p = NWEEngine::GetPeer(e)) {
                alone = alone && IsLocalServerEnd(p);
                p->Release();
            }
    return alone;
}

// ---- roles

void CNetGame::StartLocalLoopback() {
    CloseAllSockets();
    m_gameSocket = new NWESocket(this);
    CGameSocket* server = NewConnection(&m_serverTypes, "local server end");
    CGameSocket* client = NewConnection(&m_clientTypes, "local client end");
    server->LinkLocal(client);
    client->LinkLocal(server);
    server->SetTimeoutCheck(false);
    client->SetTimeoutCheck(false);
    new NWEListEntry(&m_clients, server);
    server->m_joinState = client->m_joinState = 4;
    client->m_validated = 1;
    SetHolder(&m_localServerEnd, server);
    SetHolder(&m_localClientEnd, client);
    if (CPlayer* local = m_players.m_local) local->SetConnectionRecord(server);
    server->Release();
    client->Release();
    m_frameTable->SetAnnouncing(true);
    m_hosting = 1;
    // The host runs the map's units that nobody plays (the neutral
    // player's): the ways its scripts send them are searched here.
    if (m_players.m_neutral) m_players.m_neutral->m_computerHere = 1;
    m_clientConnected = 1;
    m_localGame = 1;
}

void CNetGame::ResetGame(bool full) {
    if (!m_noConfigSave) Flow().SaveConfigFiles();
    Clock().SetGameSpeed(1.0f);
    if (!m_starting) {
        if (m_world) m_world->Scene().Clear();
        if (full) Flow().SetGuiWord(1);
    }
    m_frameTable->Reset();
    // A public server's entry at the master goes with the server.
    if (m_master) m_master->OnReset();
    // Everyone else's players go; the local and the neutral one stay.
    std::vector<CPlayer*> others;
    for (CPlayer* p : m_players.m_players)
        if (p != m_players.m_local && p != m_players.m_neutral) others.push_back(p);
    for (CPlayer* p : others) delete p;
    if (m_onGameReset) m_onGameReset(m_closing != 0);
    if (m_clientConnected && !m_closing) {
        // The goodbye is not acknowledged: it goes a few times, and out at once.
        if (m_hosting) {
            std::vector<CGameSocket*> clients = TakeClients();
            for (CGameSocket* c : clients) {
                if (IsLocalServerEnd(c)) continue;
                for (int i = 0; i < kGoodbyeCopies; ++i) c->SendMessage(NS_NOTIFYTYPE_SERVERQUIT, nullptr, 0);
                c->Flush();
            }
            ReleaseAll(clients);
        } else if (CGameSocket* link = TakeClientLink()) {
            for (int i = 0; i < kGoodbyeCopies; ++i) link->SendMessage(NS_NOTIFYTYPE_DISCONNECT, nullptr, 0);
            link->Flush();
            link->Release();
        }
    }
    if (CPlayer* local = m_players.m_local) local->Reset();
    m_frameTable->SetAnnouncing(false);
    StartLocalLoopback();
    m_frameTable->Reset();
    m_frameExecuted = 0;
    Clock().SetTickRate(15.0f);
    Clock().SetGameSpeed(1.0f);
    Clock().SetPaused(false);
    m_speedFactor = 1.0f;
    m_targetFps = 15.0f;
    while (!m_players.m_teams.empty()) delete m_players.m_teams.front();
    m_syncState = 0;
    m_resyncing = 0;
    m_resyncCountdown = 0;
    m_sentChecks.Clear();
    m_syncEveryFrame = 0;
    m_awaitedFinishMark = -1;
    m_askForFrame = 0xFFFF;
    if (CPlayer* local = m_players.m_local) local->SetId(1);
    m_nextPlayerId = 2;
    m_nextOwnerId = 2;
    ForgetSavedGames();
    m_serverInfo.m_flags = m_joinedInfo.m_flags = CServerInfo::kFlagChat | CServerInfo::kFlagJoin;
    m_dataGenerated = 20.0f;
    m_lastSpeedSent = m_lastRateSent = -1.0f;
    m_joinFailure = 0;
    m_gameReset = 1;
    ResetStatistics();
    SendServerInfo();
    // The new session's local player: the player's own name and colour.
    AskPlayerSettings(false);
}

void CNetGame::Disconnect() {
    ResetGame(true);
    Flow().QueueScript("Disconnected.cfg");
}

void CNetGame::ResetToLobby() {
    ResetGame(true);
    Flow().ExecStartup(Flow().GameFolder());
    AskPlayerSettings(true);
}

void CNetGame::SetWantedName(const char* name) {
    m_wantedName.Assign(name ? name : "");
    if (CPlayer* local = m_players.m_local) local->SetName(m_wantedName.GetText());
}

void CNetGame::SetWantedColour(float r, float g, float b) {
    m_wantedColour[0] = r;
    m_wantedColour[1] = g;
    m_wantedColour[2] = b;
    m_wantedColourSet = 1;
    if (CPlayer* local = m_players.m_local) local->SetColor(r, g, b);
}

void CNetGame::RequestNextColour() {
    m_wantedColourSet = 0;
    if (CPlayer* local = m_players.m_local) local->RequestNextColor();
}

void CNetGame::AskPlayerSettings(bool nextColour) {
    CPlayer* local = m_players.m_local;
    if (!local) return;
    if (!m_wantedName.IsEmpty()) local->SetName(m_wantedName.GetText());
    if (m_wantedColourSet)
        local->SetColor(m_wantedColour[0], m_wantedColour[1], m_wantedColour[2]);
    else if (nextColour)
        local->RequestNextColor();
}

bool CNetGame::StartServer(uint16_t port, bool localOnly) {
    if (!m_hosting) ResetGame(true);
    if (!m_gameSocket) StartLocalLoopback();
    SNetAddress at{localOnly ? kNetLoopback : 0u, port};
    if (m_gameSocket->GetHandle() >= 0) {
        Printf("A server is running already");
        return false;
    }
    if (!m_gameSocket->Open(at)) {
        Printf("Could not start a server on port %d", (int)port);
        return false;
    }
    // Datagrams from addresses without a connection come to the first
    // contact, which admits clients; it never times out.
    CGameSocket* contact = NewConnection(&m_contactTypes, "contact");
    contact->SetReceiveCrcSeed(13);
    contact->SetSendCrcSeed(13);
    contact->SetTimeoutCheck(false);
    m_gameSocket->SetDefaultPeer(contact);
    SetHolder(&m_contact, contact);
    contact->Release();
    m_gameSocket->SetRateCap(std::max(m_serverRate, 400.0f));
    m_localGame = 0;
    SNetAddress bound;
    m_gameSocket->GetSocketName(&bound);
    Printf("Server started on port %d", (int)bound.port);
    return true;
}

bool CNetGame::Connect(const char* address) {
    SNetAddress to;
    std::string text = address ? address : "";
    if (text == "localhost") text = "127.0.0.1";
    if (text.rfind("localhost:", 0) == 0) text = "127.0.0.1" + text.substr(9);
    if (!Net_ParseAddress(text, &to)) {
        Printf("Cannot connect to %s: not an address", address ? address : "");
        return false;
    }
    if (to.port == 0) to.port = kNetDefaultServerPort;
    ResetGame(true);
    // The local game ends: the loopback pair goes, and this machine only
    // runs the client side from now on.
    CloseAllSockets();
    m_hosting = 0;
    if (m_players.m_neutral) m_players.m_neutral->m_computerHere = 0;
    m_localGame = 0;
    m_frameTable->SetAnnouncing(false);
    m_frameTable->Reset();
    if (CPlayer* local = m_players.m_local) local->SetConnectionRecord(nullptr);
    m_gameSocket = new NWESocket(this);
    bool open = m_clientPort > 0 && m_clientPort < 65536 &&
                m_gameSocket->Open(SNetAddress{0, static_cast<uint16_t>(m_clientPort)});
    if (!open && !m_gameSocket->Open(SNetAddress{0, 0})) {
        Printf("Cannot connect to %s: no socket", Net_FormatAddress(to).c_str());
        ResetGame(true);
        return false;
    }
    if (!open && m_clientPort > 0) {
        // Another game on this machine holds the port: a free one serves.
        SNetAddress bound{0, 0};
        if (m_gameSocket->GetSocketName(&bound))
            Printf("The client port %d is in use (another game on this machine?): using port %d instead",
                   static_cast<int>(m_clientPort), static_cast<int>(bound.port));
    }
    m_gameSocket->SetRateCap(std::max(m_clientRate, 400.0f));
    CGameSocket* link = NewConnection(&m_clientTypes, "client link");
    link->SetReceiveCrcSeed(13);
    link->SetAddress(to);
    link->SetFrameSync(true);
    link->SetKeepAlive(true);
    link->SetOwnRate(std::max(m_clientRate, 400.0f));
    link->SetRequestedPacketSize(static_cast<uint32_t>(std::min(std::max(m_maxPacketSize, 576), 1500)));
    SetHolder(&m_clientLink, link);
    m_clientConnected = 1;
    m_joinFailure = 0;
    // CONNECT: u32 protocol version, the password with its zero.
    m_send.Reset();
    m_send.WriteU32(kNetProtocolVersion);
    WireText_Write(m_send, m_clientPassword.GetText(), kNetMaxPassword);
    link->SendMessage(NS_NOTIFYTYPE_CONNECT, m_send.GetData(),
                      static_cast<uint32_t>(m_send.GetBuffer().size()));
    link->m_connectDue = GetClock().Now() + GetClock().Ticks(kConnectRetry);
    link->Release();
    Printf("Connecting to %s", Net_FormatAddress(to).c_str());
    return true;
}

void CNetGame::LeaveJoinedGame(CGameSocket* link) {
    int state = link ? link->m_joinState : m_lastJoinState;
    Printf("Connection to server was lost");
    // The notice is the interface's system text of what happened.
    int notice = SYSLID_CONNECTION_CANTCONNECT;
    if (state == 5 || state == 4) {
        notice = state == 5 ? SYSLID_CONNECTION_SERVERQUIT : SYSLID_CONNECTION_CONNECTIONLOSTT;
        Flow().QueueScript("Disconnected.cfg");
    } else {
        switch (m_joinFailure) {
            case kConnectFull:
                notice = SYSLID_CONNECTION_SERVERISFULL;
                break;
            case kConnectRunning:
                notice = SYSLID_CONNECTION_GAMESTARTED;
                break;
            case kConnectPassword:
                notice = SYSLID_CONNECTION_INCORRECTPASSWORD;
                break;
            case kConnectVersion:
                notice = SYSLID_CONNECTION_WRONGPROTOCOLVERSION;
                break;
            case kConnectClosed:
                notice = SYSLID_CONNECTION_CLOSEDJOINING;
                break;
            default:
                break;
        }
    }
    if (link) link->Release();
    int failure = m_joinFailure;
    m_clientConnected = 0;
    m_lastJoinState = 0;
    ResetGame(true);
    m_joinFailure = failure;
    Flow().ShowNotice(NetGame_Text(this, notice));
}

// ---- sending

bool CNetGame::Send(int type, const void* data, int length, NWEList* slot1, NWEList* slot2) {
    if (type < 0 || type > 0xFFFF || length < 0 || (length > 0 && !data)) return false;
    CGameSocket* link = nullptr;
    if (m_hosting)
        link = TakeLink(m_localClientEnd);
    else if (m_clientConnected)
        link = TakeClientLink();
    if (!link) return false;
    bool sent = link->SendMessage(static_cast<uint16_t>(type), data, static_cast<uint32_t>(length), slot1,
                                  65535, 65535, 65535, 0, slot2);
    link->Release();
    return sent;
}

uint16_t CNetGame::ChooseFrame(uint32_t length) {
    (void)length;
    // The first frame that has not run yet. Every frame takes all the data it
    // is given: the budget per frame is far above what a game sends.
    return m_frameExecuted ? m_frameTable->PeekNext() : m_frameTable->GetCurrentNumber();
}

bool CNetGame::SendToAllClients(int type, const void* data, int length, NWEList* slot1, NWEList* slot2,
                                uint16_t frame) {
    if (!m_hosting || type < 0 || type > 0xFFFF || length < 0 || (length > 0 && !data)) return false;
    NWEMessageType* t = m_serverTypes.Get(static_cast<uint32_t>(type));
    if (!t) {
        Report("An attempt was made to send an unregistered message DataType: %d", type);
        return false;
    }
    bool framed = t->m_frameTable != nullptr;
    m_serverTypes.Release(t);
    if (framed) {
        if (frame == 0) frame = ChooseFrame(static_cast<uint32_t>(length));
        if (NWEFrame* f = m_frameTable->GetShared(frame)) {
            f->IncReceived();
            m_frameTable->Release(f);
        }
    } else {
        frame = 0;
    }
    m_frameData += static_cast<int32_t>(
        m_serverTypes.Overhead(static_cast<uint32_t>(type), static_cast<uint32_t>(length), 1));
    std::vector<CGameSocket*> clients = TakeClients();
    for (CGameSocket* c : clients)
        c->SendMessage(static_cast<uint16_t>(type), data, static_cast<uint32_t>(length), slot1, 65535, 65535,
                       65535, frame, slot2);
    ReleaseAll(clients);
    return true;
}

void CNetGame::BroadcastMessage(const char* sender, const char* text, int r, int g, int b) {
    // MESSAGE from the server: the sender as the byte 1 and the name, or an
    // empty text; the line; its colour.
    CStateArchive ar;
    if (sender) {
        std::string s = "\x01";
        s += sender;
        WireText_Write(ar, s.c_str(), CPlayer::kMaxNameLength + 1);
    } else {
        WireText_Write(ar, "");
        r = 233;
        g = 137;
        b = 0;
    }
    WireText_Write(ar, text, kNetMaxChat);
    ar.WriteU8(static_cast<uint8_t>(r));
    ar.WriteU8(static_cast<uint8_t>(g));
    ar.WriteU8(static_cast<uint8_t>(b));
    SendToAllClients(NS_NOTIFYTYPE_MESSAGE, ar.GetData(), static_cast<int>(ar.GetBuffer().size()));
    // The contacts that came to chat before joining hear it too.
    if (!m_gameSocket) return;
    std::vector<NWEPeer*> contacts;
    for (NWEPeer* p = m_gameSocket->FirstPeer(); p; p = m_gameSocket->NextPeer(p))
        if (p->GetApplicationRegistry() == &m_serverPreTypes &&
            !static_cast<CGameSocket*>(p)->m_name.IsEmpty())
            if (NWEPeer* taken = NWEEngine::GetPeer(p)) contacts.push_back(taken);
    for (NWEPeer* p : contacts) {
        if (!p->IsTimedOut())
            p->SendMessage(NS_NOTIFYTYPE_SM_WRAPMESSAGE, ar.GetData(), static_cast<uint32_t>(ar.GetSize()));
        p->Release();
    }
}

void CNetGame::SendGameDir(const char* name) {
    if (!name || !m_clientConnected || !m_hosting || m_noGameDirSend) return;
    m_send.Reset();
    WireText_Write(m_send, name, kNetMaxFolder);
    SendBuilt(NS_NOTIFYTYPE_GAMEDIR);
}

void CNetGame::SendPause(int32_t value) {
    m_send.Reset();
    m_send.WriteI32(value);
    SendBuilt(NS_NOTIFYTYPE_PAUSE);
}

void CNetGame::SendChat(const char* name, const char* text, int r, int g, int b) {
    if (m_browser && m_browser->SendToContact(text)) return;
    if (m_master && m_master->IsChatUp() && !HasOtherPlayers() && m_master->Say(text)) return;
    // MESSAGE to the server: sender, text, colour (the server names the
    // sender from the connection itself).
    m_send.Reset();
    WireText_Write(m_send, name, CPlayer::kMaxNameLength);
    WireText_Write(m_send, text, kNetMaxChat);
    m_send.WriteU8(static_cast<uint8_t>(r));
    m_send.WriteU8(static_cast<uint8_t>(g));
    m_send.WriteU8(static_cast<uint8_t>(b));
    SendBuilt(NS_NOTIFYTYPE_MESSAGE);
}

void CNetGame::NoteChatLine(const char* text, int r, int g, int b) {
    SChatLine line;
    line.text = text ? text : "";
    line.rgb[0] = static_cast<uint8_t>(r);
    line.rgb[1] = static_cast<uint8_t>(g);
    line.rgb[2] = static_cast<uint8_t>(b);
    m_chatLines.push_back(line);
    while (m_chatLines.size() > kChatLines) m_chatLines.pop_front();
    ++m_chatCount;
}

void CNetGame::SetServerAccess(uint32_t flags) {
    m_serverInfo.m_flags = (m_serverInfo.m_flags & ~3u) | (flags & 3u);
    SendServerInfo();
}

void CNetGame::SetMaxPlayers(int32_t count) {
    m_serverInfo.m_maxPlayers = std::min(std::max(count, 2), 64);
    SendServerInfo();
}

void CNetGame::AnnounceMap(const char* file) {
    if (!m_hosting) return;
    m_serverInfo.m_mapFile = file ? file : "";
    SendServerInfo();
}

void CNetGame::SendServerInfo(CGameSocket* to) {
    if (!m_hosting) return;
    m_serverInfo.m_mapChecksum = MapBox_Checksum(Files(), m_serverInfo.m_mapFile.GetText());
    for (int part = 0; part < 2; ++part) {
        m_send.Reset();
        uint16_t type = part == 0 ? NS_NOTIFYTYPE_SERVERINFO_ATTRIBS : NS_NOTIFYTYPE_SERVERINFO_MAP;
        if (part == 0)
            m_serverInfo.WriteAttributes(m_send);
        else
            m_serverInfo.WriteMap(m_send);
        if (to) {
            if (part == 1) to->m_mapPresent = 0;
            to->SendMessage(type, m_send.GetData(), static_cast<uint32_t>(m_send.GetBuffer().size()),
                            &m_serverInfo.m_sendSlot, 65535, 65535, 65535, 0, &m_serverInfo.m_sendSlot);
        } else {
            if (part == 1) {
                std::vector<CGameSocket*> clients = TakeClients();
                for (CGameSocket* c : clients) c->m_mapPresent = 0;
                ReleaseAll(clients);
            }
            SendBuiltToAll(type, &m_serverInfo.m_sendSlot);
        }
    }
}

// ---- players

CPlayer* CNetGame::AddPlayer(const char* name) {
    CPlayer* player = new CPlayer(&m_players);
    player->m_name.Assign(name ? name : "");
    return player;
}

CPlayer* CNetGame::NewPlayer(int32_t id) {
    CPlayer* player = new CPlayer(&m_players);
    player->SetId(id);
    player->ResetCounters();
    return player;
}

void CNetGame::ResetPlayerCounters() {
    for (CPlayer* p : m_players.m_players) p->ResetCounters();
}

void CNetGame::ResolveTeamLeaders() {
    for (CTeam* t : m_players.m_teams) t->m_leader = m_players.FindPlayerById(t->m_leaderId);
}

void CNetGame::DeleteOrphanTeams() {
    if (!m_hosting) return;
    for (CTeam* t : m_players.m_teams) {
        if (t->m_leader || t->m_keep) continue;
        m_send.Reset();
        m_send.WriteU32(t->m_id);
        SendBuiltToAll(NS_NOTIFYTYPE_DELETETEAM);
    }
}

void CNetGame::DeletePlayer(CPlayer* player) {
    if (!player || player == m_players.m_local || player == m_players.m_neutral) return;
    for (SServerColor& c : m_colors)
        if (c.holder == player) c.holder = nullptr;
    delete player;
}

int CNetGame::CountPlayers() const {
    int n = 0;
    for (const CPlayer* p : m_players.m_players)
        if (p != m_players.m_neutral) ++n;
    return n;
}

void CNetGame::RemoveMarkedPlayers() {
    std::vector<CPlayer*> marked;
    for (CPlayer* p : m_players.m_players)
        if (p->m_markedForRemoval) marked.push_back(p);
    for (CPlayer* p : marked) {
        if (p == m_players.m_local || p == m_players.m_neutral) {
            p->m_markedForRemoval = 0;
            continue;
        }
        DeletePlayer(p);
    }
}

// ---- statistics and reports

void CNetGame::ReportV(const char* fmt, va_list ap) {
    char text[2048];
    std::vsnprintf(text, sizeof text, fmt, ap);
    Console().PrintColor(50, 200, 40, false, text);
}

void CNetGame::PrintColor(int r, int g, int b, bool echo, const char* fmt, ...) {
    CStrBuf text;
    va_list ap;
    va_start(ap, fmt);
    text.FormatV(fmt, ap);
    va_end(ap);
    Console().PrintColor(r, g, b, echo, text.GetText());
}

void CNetGame::Printf(const char* fmt, ...) {
    CStrBuf text;
    va_list ap;
    va_start(ap, fmt);
    text.FormatV(fmt, ap);
    va_end(ap);
    Console().Print(text.GetText());
}

void CNetGame::SetBenchmarkSpeed(float speed) {
    speed = std::floor(speed + 0.5f);
    m_serverInfo.m_speed = (uint16_t)(speed < 0.0f ? 0.0f : speed > 65535.0f ? 65535.0f : speed);
}

void CNetGame::ApplyRate() {
    if (!m_gameSocket) return;
    if (m_hosting) {
        m_gameSocket->SetRateCap(std::max(m_serverRate, 400.0f));
    } else {
        m_gameSocket->SetRateCap(std::max(m_clientRate, 400.0f));
        if (CGameSocket* link = TakeClientLink()) {
            link->SetOwnRate(std::max(m_clientRate, 400.0f));
            link->Release();
        }
    }
}

void CNetGame::PrintStats(CE3DSurface* surface) {
    if (!surface) return;
    CStrBuf text;
    int y = 0;
    auto line = [&](const char* s) {
        surface->DrawGlyphs(s, 10, y, 255, 255, 0, true, false, 0, false);
        y += 12;
    };
    float sustained = m_largestFrameTime > 0.0f ? 1.0f / m_largestFrameTime : 0.0f;
    text.Format("GameSpeed %-5.1f TargetFPS %-5.1f SustainedFPS %-5.1f TimeLag %-5.1f DataGenerated %-5.1f ",
                (double)(Clock().GameSpeed()), (double)(Clock().TickRate()), (double)sustained,
                (double)m_largestTimeLag, (double)m_dataGenerated);
    line(text.GetText());
    text.Format("Dup %d Dropped %d Datas %d Packets %d ListMembers %d WantSync %d Synced %d",
                (int)GetDuplicateCount(), (int)GetRejectedCount(), (int)GetDataOut(), (int)GetPacketsOut(),
                (int)m_clients.GetCount(), (int)m_syncRequests, (int)m_syncAnswers);
    line(text.GetText());
    text.Format("   Data| Out: %-10d In: %-10d   Data Rate| Out: %-10f In: %-10f SendRate: %f",
                (int)GetDataOut(), (int)GetDataIn(), (double)m_rates[3], (double)m_rates[2],
                (double)m_clientRate);
    line(text.GetText());
    text.Format("Packets| Out: %-10d In: %-10d Packet Rate| Out: %-10f In: %-10f", (int)GetPacketsOut(),
                (int)GetPacketsIn(), (double)m_rates[1], (double)m_rates[0]);
    line(text.GetText());
    text.Format("%-5s %-20s %-7s %-10s %-7s %-8s %-4s %-8s %-8s %-6s", "Color", "Name", "Ping", "Team",
                "Friend", "Friendly", "Pending", "PendTime", "Kills", "");
    line(text.GetText());
    CPlayer* local = m_players.m_local;
    for (CPlayer* p : m_players.m_players) {
        if (p == m_players.m_neutral) continue;
        CStrBuf team;
        if (p->m_team)
            team.Format("%s (%d)", p->m_team->m_name.GetText(), (int)p->m_team->m_id);
        else
            team = "None";
        bool friendOf = local && local->IsAlliedWith(p);
        bool friendly = local && p->IsAlliedWith(local);
        text.Format("      %-20s %-7.1f %-10s %-7s %-8s %-4d %-8d %-8.1f %-6d", p->m_name.GetText(),
                    (double)(p->m_latency * 1000.0f), team.GetText(), friendOf ? "true" : "false",
                    friendly ? "true" : "false", 0, 0, 0.0, (int)p->m_kills);
        line(text.GetText());
    }
}

void CNetGame::WriteTimingInfo() {
    m_send.Reset();
    float rate = Clock().TickRate();
    uint64_t period = Clock().TickPeriod();
    // The frame these go with has run here already, or runs at the next tick.
    uint64_t ran = (Clock().GameTime()) + (m_frameExecuted ? 0 : period);
    uint64_t next = ran + period;
    m_send.F32(rate);
    m_send.U64(next);
    m_send.U64(ran);
}

bool CNetGame::SendMapBox(CGameSocket* to, const char* path) {
    CVFSFile file;
    if (!to || !path || !file.Open(path, CVFSFile::kModeRead)) return false;
    uint32_t size = file.GetSize();
    // MAPBOX: the map's name with its zero, then the box's bytes.
    m_send.Reset();
    WireText_Write(m_send, m_serverInfo.m_mapFile.GetText(), 255);
    if (static_cast<uint64_t>(size) + m_send.GetBuffer().size() > GetMaxMessageSize()) {
        Printf("The map box is too large to send (%u bytes)", size);
        return false;
    }
    return to->SendById(NS_NOTIFYTYPE_MAPBOX, m_send.GetData(),
                        static_cast<uint32_t>(m_send.GetBuffer().size()), &file, 0, size, &to->m_group);
}
