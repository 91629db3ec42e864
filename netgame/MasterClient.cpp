#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
#include <algorithm>
#include <cstring>

#include "netgame/ConnectionTexts.h"
#include "netgame/GameSocket.h"
#include "netgame/MasterClient.h"
#include "netgame/NetGame.h"
#include "netgame/ServerBrowser.h"
#include "nwe/Socket.h"
#include "world/WireText.h"

namespace {

CMasterClient* Client(void* context) {
    return static_cast<CMasterClient*>(context);
}

struct SReader : CStateArchive {
    explicit SReader(NWEMessage* m) : CStateArchive(m->GetData(), m->GetSize(), kApply) {}
    bool End() const { return Ok() && GetRemaining() == 0; }
};

bool SameNoCase(const std::string& a, const char* b) {
    return CStrBuf(a.c_str()).EqualsNoCase(b ? b : "");
}

// A user of the master's lists as the chat keeps it.
SChatUser ChatUser(const SMasterUserRecord& u) {
    SChatUser user;
    user.id = static_cast<int32_t>(u.id);
    user.name = u.name;
    user.value = u.value;
    user.kind = u.kind;
    return user;
}

// ---- handlers of the master's messages. Each takes only what comes on the
// link it belongs to, reads the payload whole before it changes anything,
// and does nothing for a channel or a user it does not know.

// 16, 17: u32 status, or u32 kMasterChallenge, u32 cookie (the layout
// beside NS_VXM_CLIENT_CONNECT; the master writes it in
// CMasterServer::Answered): the CONNECT goes again with the cookie.
void OnConnectAnswer(NWEPeer* peer, NWEMessage* m, void* context) {
    CMasterClient* mc = Client(context);
    bool chat = m->GetId() == NS_VXM_CLIENT_CONNECT;
    CMasterClient::SLink& l = chat ? mc->m_chat : mc->m_server;
    if (!mc->IsLink(l, peer) || m->GetSize() < 4) return;
    mc->Heard(peer);
    uint32_t status = NWE_Get32(m->GetData());
    if (status == kMasterChallenge) {
        if (m->GetSize() != 8 || l.accepted) return;
        l.haveCookie = true;
        l.cookie = NWE_Get32(m->GetData() + 4);
        mc->SendConnect(peer, chat);
        return;
    }
    if (status != kMasterAccepted)
        mc->Refused(l, peer, status);
    else if (!l.accepted)
        mc->Accept(l, peer, chat);
}

// 33: u32 the unique server id (the master repeats it now and then).
void OnUniqueId(NWEPeer* peer, NWEMessage* m, void* context) {
    CMasterClient* mc = Client(context);
    if (!mc->IsLink(mc->m_server, peer) || m->GetSize() != 4) return;
    mc->Heard(peer);
    uint32_t id = NWE_Get32(m->GetData());
    if (id) mc->m_net->KeepUniqueServerId(id);
}

void OnChatPing(NWEPeer* peer, NWEMessage*, void* context) {
    CMasterClient* mc = Client(context);
    if (mc->IsLink(mc->m_chat, peer)) mc->Heard(peer);
}

// A chat message of the chat link (the master's answer to CONNECT travels
// unacknowledged, apart from the rest: what follows it may come first).
bool FromChat(CMasterClient* mc, NWEPeer* peer) {
    if (!mc->IsLink(mc->m_chat, peer)) return false;
    mc->Heard(peer);
    return true;
}

// 21: the text of a line.
void OnSay(NWEPeer* peer, NWEMessage* m, void* context) {
    CMasterClient* mc = Client(context);
    if (!FromChat(mc, peer)) return;
    SReader ar(m);
    CStrBuf text;
    // The master writes the speaker's name before the line.
    WireText_Read(ar, &text, kMasterMaxText + 2 * kMasterMaxName + 8);
    if (!ar.End()) return;
    mc->m_net->PrintColor(255, 255, 255, true, "%s", text.GetText());
    mc->m_net->NoteChatLine(text.GetText(), 255, 255, 255);
}

// 22: every channel there is.
void OnChannelList(NWEPeer* peer, NWEMessage* m, void* context) {
    CMasterClient* mc = Client(context);
    if (!FromChat(mc, peer)) return;
    SReader ar(m);
    std::vector<SMasterChannelRecord> channels;
    if (!MasterChannels_Read(ar, CMasterClient::kMaxChannels, &channels) || !ar.End()) return;
    mc->m_channels.clear();
    for (const SMasterChannelRecord& c : channels) {
        SChatChannel ch;
        ch.id = static_cast<int32_t>(c.id);
        ch.name = c.name;
        mc->m_channels.push_back(ch);
    }
    if (!mc->FindChannel(mc->m_currentChannel)) mc->m_currentChannel = -1;
    if (mc->FindChannel(mc->m_pendingChannel)) mc->m_currentChannel = mc->m_pendingChannel;
}

// 19: u32 the channel now joined.
void OnJoined(NWEPeer* peer, NWEMessage* m, void* context) {
    CMasterClient* mc = Client(context);
    if (!FromChat(mc, peer) || m->GetSize() != 4) return;
    int32_t id = static_cast<int32_t>(NWE_Get32(m->GetData()));
    // The channel's record may come after the answer (they travel apart).
    mc->m_currentChannel = mc->FindChannel(id) ? id : -1;
    mc->m_pendingChannel = mc->m_currentChannel < 0 ? id : -1;
}

// 23: u32 id, name.
void OnAddChannel(NWEPeer* peer, NWEMessage* m, void* context) {
    CMasterClient* mc = Client(context);
    if (!FromChat(mc, peer)) return;
    SReader ar(m);
    int32_t id = ar.ReadI32();
    std::string name = MasterText_Read(ar, kMasterMaxName);
    if (!ar.End() || mc->FindChannel(id) || mc->m_channels.size() >= CMasterClient::kMaxChannels) return;
    SChatChannel ch;
    ch.id = id;
    ch.name = name;
    mc->m_channels.push_back(ch);
    if (mc->m_pendingChannel == id) {
        mc->m_currentChannel = id;
        mc->m_pendingChannel = -1;
    }
}

// 24: u32 id.
void OnRemoveChannel(NWEPeer* peer, NWEMessage* m, void* context) {
    CMasterClient* mc = Client(context);
    if (!FromChat(mc, peer) || m->GetSize() != 4) return;
    int32_t id = static_cast<int32_t>(NWE_Get32(m->GetData()));
    auto& list = mc->m_channels;
    list.erase(std::remove_if(list.begin(), list.end(), [id](const SChatChannel& c) { return c.id == id; }),
               list.end());
    if (mc->m_currentChannel == id) mc->m_currentChannel = -1;
}

// 25: u32 n, u32 channel, the users.
void OnUserList(NWEPeer* peer, NWEMessage* m, void* context) {
    CMasterClient* mc = Client(context);
    if (!FromChat(mc, peer)) return;
    SReader ar(m);
    uint32_t channel = 0;
    std::vector<SMasterUserRecord> users;
    if (!MasterUsers_Read(ar, CMasterClient::kMaxUsers, &channel, &users) || !ar.End()) return;
    SChatChannel* c = mc->FindChannel(static_cast<int32_t>(channel));
    if (!c) return;
    c->users.clear();
    for (const SMasterUserRecord& u : users) c->users.push_back(ChatUser(u));
}

// 26 to 29: u32 channel, u32 user, then what changed.
void OnUserChange(NWEPeer* peer, NWEMessage* m, void* context) {
    CMasterClient* mc = Client(context);
    if (!FromChat(mc, peer)) return;
    SReader ar(m);
    SChatChannel* c = mc->FindChannel(ar.ReadI32());
    if (m->GetId() == NS_VXM_CLIENT_CHAT_ADDUSER) {
        SMasterUserRecord u;
        if (!MasterUser_Read(ar, &u) || !ar.End() || !c || c->FindUser(static_cast<int32_t>(u.id)) ||
            c->users.size() >= CMasterClient::kMaxUsers)
            return;
        c->users.push_back(ChatUser(u));
        return;
    }
    int32_t userId = ar.ReadI32();
    SChatUser* user = c ? c->FindUser(userId) : nullptr;
    switch (m->GetId()) {
        case NS_VXM_CLIENT_CHAT_REMOVEUSER:
            if (!ar.End() || !user) return;
            c->users.erase(std::remove_if(c->users.begin(), c->users.end(),
                                          [userId](const SChatUser& u) { return u.id == userId; }),
                           c->users.end());
            return;
        case NS_VXM_CLIENT_CHAT_CHANGEUSERNAME: {
            std::string name = MasterText_Read(ar, kMasterMaxName);
            if (!ar.End() || !user) return;
            user->name = name;
            return;
        }
        case NS_VXM_CLIENT_CHAT_CHANGEUSERCONNECTION: {
            uint8_t kind = ar.ReadU8();
            if (!ar.End() || !user) return;
            user->kind = kind;
            return;
        }
        default:
            return;
    }
}

// 31: the servers the master lists.
void OnQueryAnswer(NWEPeer* peer, NWEMessage* m, void* context) {
    CMasterClient* mc = Client(context);
    if (!FromChat(mc, peer)) return;
    SReader ar(m);
    std::vector<SMasterServerAddress> servers;
    if (!MasterAnswer_Read(ar, kMasterMaxAnswer, &servers) || !ar.End()) return;
    if (mc->m_net->m_browser) mc->m_net->m_browser->OnMasterAnswer(servers);
}

MasterHandler ChatHandler(uint16_t id) {
    switch (id) {
        case NS_VXM_CLIENT_CONNECT:
            return OnConnectAnswer;
        case NS_VXM_CLIENT_CHAT_JOINCHANNEL:
            return OnJoined;
        case NS_VXM_CLIENT_CHAT_PING:
            return OnChatPing;
        case NS_VXM_CLIENT_CHAT_SAY:
            return OnSay;
        case NS_VXM_CLIENT_CHAT_CHANNELLIST:
            return OnChannelList;
        case NS_VXM_CLIENT_CHAT_ADDCHANNEL:
            return OnAddChannel;
        case NS_VXM_CLIENT_CHAT_REMOVECHANNEL:
            return OnRemoveChannel;
        case NS_VXM_CLIENT_CHAT_USERLIST:
            return OnUserList;
        case NS_VXM_CLIENT_CHAT_ADDUSER:
        case NS_VXM_CLIENT_CHAT_REMOVEUSER:
        case NS_VXM_CLIENT_CHAT_CHANGEUSERNAME:
        case NS_VXM_CLIENT_CHAT_CHANGEUSERCONNECTION:
            return OnUserChange;
        case NS_VXM_CLIENT_QUERY_ANSWER_SERVER:
            return OnQueryAnswer;
        default:
            return nullptr;
    }
}

MasterHandler ServerHandler(uint16_t id) {
    switch (id) {
        case NS_VXM_SERVER_CONNECT:
            return OnConnectAnswer;
        case NS_VXM_SERVER_UNIQUEID:
            return OnUniqueId;
        default:
            return nullptr;
    }
}
}  // namespace

SChatUser* SChatChannel::FindUser(int32_t userId) {
    for (SChatUser& u : users)
        if (u.id == userId) return &u;
    return nullptr;
}

bool NetGame_InProgress(CNetGame* net) {
    if (!net) return false;
    IGameFlow& flow = net->Flow();
    return flow.GuiWord() != 0 ? flow.IsGameLoading() : (flow.GameState() == 2 || flow.IsGameLoading());
}

CMasterClient::CMasterClient(CNetGame* net) : m_net(net), m_chatTypes(net), m_serverTypes(net) {
    MasterMessage_Register(&m_chatTypes, true, ChatHandler, this, &net->m_queue3);
    MasterMessage_Register(&m_serverTypes, false, ServerHandler, this, &net->m_queue3);
}

CMasterClient::~CMasterClient() {
    // The network game closed every socket first: the links are gone.
    for (NWEListEntry** h : {&m_chat.holder, &m_server.holder})
        if (*h) {
            (*h)->Destroy();
            *h = nullptr;
        }
}

bool CMasterClient::MasterAddress(SNetAddress* out) {
    std::string text = m_address.GetText();
    if (text.empty()) return false;
    if (text != m_resolvedText) {
        // A host name is looked up once for each setting, not at every try.
        m_resolvedText = text;
        m_resolved = SNetAddress();
        std::string host = text;
        SNetAddress a;
        size_t colon = text.rfind(':');
        if (Net_ParseAddress(text, &a)) {
            m_resolved = a;
        } else {
            if (colon != std::string::npos) host = text.substr(0, colon);
            uint32_t ip = 0;
            if (Net_ParseAddress(
                    "0.0.0.0" + (colon != std::string::npos ? text.substr(colon) : std::string()), &a) &&
                Net_ResolveHost(host, &ip)) {
                m_resolved = a;
                m_resolved.ip = ip;
            }
        }
    }
    SNetAddress a = m_resolved;
    if (a.ip == 0) return false;
    if (a.port == 0) {
        int port = m_net->m_clientPort > 0 && m_net->m_clientPort <= 65435 ? m_net->m_clientPort + 100
                                                                           : kMasterDefaultPort;
        a.port = static_cast<uint16_t>(port);
    }
    *out = a;
    return true;
}

// ---- the links

void CMasterClient::SetPublic(bool on) {
    m_public = on;
    if (!on) OnReset();
}

void CMasterClient::OpenChat() {
    m_chatWanted = true;
}

void CMasterClient::CloseChat() {
    m_chatWanted = false;
    Service(m_chat, false, true);
}

void CMasterClient::OnReset() {
    // The server link lives on the game socket, which the reset closes: the
    // master hears the goodbye first.
    if (CGameSocket* link =
            m_server.holder ? static_cast<CGameSocket*>(NWEEngine::GetPeer(m_server.holder)) : nullptr) {
        if (m_server.accepted) Goodbye(link, false);
        link->SetTimedOut(true);
        link->Release();
    }
    if (m_server.holder) m_server.holder->Destroy();
    m_server = SLink();
    m_public = false;
}

bool CMasterClient::IsLink(const SLink& l, NWEPeer* peer) const {
    return l.holder && l.holder->Names(peer);
}

void CMasterClient::Goodbye(NWEPeer* link, bool chat) {
    // 18 (u32 0) or 32 (u32 the unique server id), out at once.
    uint8_t word[4];
    NWE_Put32(word, chat ? 0 : m_net->m_uniqueServerId);
    link->SendMessage(chat ? NS_VXM_CLIENT_DISCONNECT : NS_VXM_SERVER_DISCONNECT, word, 4);
    link->Flush();
}

void CMasterClient::Heard(NWEPeer* peer) {
    SLink& l = IsLink(m_chat, peer) ? m_chat : m_server;
    l.lastHeard = m_net->GetClock().Now();
}

CGameSocket* CMasterClient::Open(SLink& l, bool chat) {
    SNetAddress master;
    if (!MasterAddress(&master)) return nullptr;
    NWESocket* socket = nullptr;
    if (chat) {
        if (!m_chatSocket) {
            NWESocket* s = new NWESocket(m_net);
            int port =
                m_net->m_clientPort > 0 && m_net->m_clientPort <= 65435 ? m_net->m_clientPort + 100 : 0;
            if (!s->Open(SNetAddress{0, static_cast<uint16_t>(port)}) && !s->Open(SNetAddress{0, 0})) {
                s->Destroy();
                return nullptr;
            }
            s->SetRateCap(std::max(m_net->m_clientRate, 400.0f));
            // What the master still sends to a link given up lands here and
            // goes unanswered (the master then gives that link up too).
            CGameSocket* sink = new CGameSocket(m_net, s, &m_chatTypes);
            sink->SetReceiveCrcSeed(kMasterCrcSeed);
            sink->SetTimeoutCheck(false);
            s->SetDefaultPeer(sink);
            m_chatSocket = s;
        }
        socket = m_chatSocket;
    } else {
        socket = m_net->m_gameSocket;
        if (!socket || socket->GetHandle() < 0) return nullptr;
    }
    CGameSocket* link = new CGameSocket(m_net, socket, chat ? &m_chatTypes : &m_serverTypes);
    link->m_guard.TryShared();
    link->SetReceiveCrcSeed(kMasterCrcSeed);
    link->SetAddress(master);
    link->SetKeepAlive(true);
    link->SetTimeout(std::max(m_timeout, 2.0f));
    if (l.holder) l.holder->Destroy();
    l = SLink();
    l.holder = new NWEListEntry(&m_holders, link);
    if (chat) DeleteChannels();
    l.created = l.lastHeard = m_net->GetClock().Now();
    SendConnect(link, chat);
    return link;
}

// 16: u32 version, u8 connection kind, name [, u32 cookie]; 17: u32
// version, u32 unique id [, u32 cookie] (the layouts beside the ids in
// netgame/MasterProtocol.h; the master reads them in OnClientConnect and
// OnServerConnect). The cookie is the one of the master's last challenge.
void CMasterClient::SendConnect(NWEPeer* link, bool chat) {
    SLink& l = chat ? m_chat : m_server;
    m_out.Reset();
    m_out.WriteU32(kMasterProtocolVersion);
    if (chat) {
        CPlayer* local = m_net->LocalPlayer();
        m_out.WriteU8(local ? local->m_connectionKind : 0);
        WireText_Write(m_out, local ? local->m_name.GetText() : "", kMasterMaxName);
        m_sentUserName = local ? local->m_name.GetText() : "";
        m_sentUserKind = local ? local->m_connectionKind : 0;
    } else {
        m_out.WriteU32(m_net->m_uniqueServerId);
    }
    if (l.haveCookie) m_out.WriteU32(l.cookie);
    link->SendMessage(chat ? NS_VXM_CLIENT_CONNECT : NS_VXM_SERVER_CONNECT, m_out.GetData(),
                      static_cast<uint32_t>(m_out.GetSize()));
    link->Flush();
    l.nextConnect = m_net->GetClock().Now() + m_net->GetClock().Ticks(kConnectRetry);
}

void CMasterClient::Accept(SLink& l, NWEPeer* peer, bool chat) {
    l.accepted = true;
    l.reportedDown = false;
    peer->SetSendCrcSeed(kMasterCrcSeed);
    peer->SetActive(true);
    m_net->PrintColor(255, chat ? 128 : 255, 0, false, "Connection to master server established");
    if (chat) {
        if (m_net->m_browser) {
            m_net->m_browser->Disconnect();
            m_net->m_browser->SetStatus(SYSLID_CONNECTION_MASTER_DONE);
        }
        m_nextPing = m_net->GetClock().Now() + m_net->GetClock().Ticks(kChatPing);
        SendChatRecord();
        if (!m_join.IsEmpty()) JoinChannel(m_join.GetText());
    } else {
        m_sent = SEntry();
        SendEntry();
    }
}

void CMasterClient::Refused(SLink& l, NWEPeer* peer, uint32_t status) {
    // Another protocol version, or a master that takes no more: said, and
    // the link ends. It is tried again later.
    const char* text =
        NetGame_Text(m_net, status == kMasterWrongVersion ? SYSLID_CONNECTION_WRONGPROTOCOLVERSIONMASTER
                                                          : SYSLID_CONNECTION_MASTER_CANTCONNECT);
    if (!l.reportedDown) m_net->Flow().ShowNotice(text);
    l.reportedDown = true;
    l.accepted = false;
    peer->SetTimedOut(true);
}

void CMasterClient::Down(SLink& l, bool chat) {
    if (l.accepted) {
        // Said once per outage; the game goes on.
        m_net->PrintColor(255, 160, 0, false, "%s",
                          NetGame_Text(m_net, SYSLID_CONNECTION_MASTER_CONNECTIONLOST));
        l.reportedDown = true;
    } else if (!l.reportedDown) {
        m_net->PrintColor(255, 160, 0, false, "%s",
                          NetGame_Text(m_net, SYSLID_CONNECTION_MASTER_CANTCONNECT));
        l.reportedDown = true;
    }
    l.accepted = false;
    if (chat) DeleteChannels();
}

void CMasterClient::Service(SLink& l, bool wanted, bool chat) {
    NWEClock& clock = m_net->GetClock();
    int64_t now = clock.Now();
    CGameSocket* link = l.holder ? static_cast<CGameSocket*>(NWEEngine::GetPeer(l.holder)) : nullptr;
    if (!wanted) {
        if (link) {
            if (l.accepted && !link->IsTimedOut()) Goodbye(link, chat);
            link->SetTimedOut(true);
            link->Release();
        }
        if (l.holder) l.holder->Destroy();
        if (chat) DeleteChannels();
        l = SLink();
        return;
    }
    if (link) {
        bool silent = now - l.lastHeard > clock.Ticks(std::max(m_timeout, 2.0f));
        if (link->IsTimedOut() || silent) {
            if (!link->IsTimedOut()) {
                // A master that still listens forgets this link's game.
                Goodbye(link, chat);
                link->SetTimedOut(true);
            }
            link->Release();
            if (l.accepted || !l.reportedDown) Down(l, chat);
            // A new link once this one is gone (one link per address and socket).
            l.nextTry = now + clock.Ticks(kConnectRetry);
            return;
        }
        if (!l.accepted && now >= l.nextConnect) SendConnect(link, chat);
        link->Release();
        return;
    }
    // No link, or the last one went: a new one when it is time.
    if (now < l.nextTry) return;
    bool reported = l.reportedDown;
    if (CGameSocket* fresh = Open(l, chat)) {
        l.reportedDown = reported;
        fresh->Release();
    } else {
        l.nextTry = now + clock.Ticks(kConnectRetry);
    }
}

void CMasterClient::Update() {
    bool serving = m_public && m_net->m_hosting && !m_net->m_localGame && m_net->m_gameSocket &&
                   m_net->m_gameSocket->GetHandle() >= 0;
    if (m_public || m_server.holder) Service(m_server, serving, false);
    if (m_chatWanted || m_chat.holder) Service(m_chat, m_chatWanted, true);
    if (m_server.accepted) SendEntry();
    if (m_chat.accepted) {
        SendChatRecord();
        int64_t now = m_net->GetClock().Now();
        if (now >= m_nextPing) Ping();
    }
}

void CMasterClient::SendBuilt(SLink& l, uint16_t id) {
    SendOn(l, id, m_out.GetData(), static_cast<uint32_t>(m_out.GetSize()));
}

void CMasterClient::SendOn(SLink& l, uint16_t id, const void* data, uint32_t size) {
    if (!l.accepted || !l.holder) return;
    if (NWEPeer* link = NWEEngine::GetPeer(l.holder)) {
        link->SendMessage(id, data, size);
        link->Release();
    }
}

void CMasterClient::SendEntry() {
    // The entry's fields the master has not been told yet, in the order
    // name, location, dedicated, speed, connection, map, game, in progress
    // (all of them once the master accepted the link).
    CServerInfo& info = m_net->m_serverInfo;
    bool first = m_sent.location < 0;
    SEntry now;
    now.name = info.m_name.GetText();
    now.location = info.m_location;
    now.speed = info.m_speed;
    now.connection = Net_ConnectionClassFromRate(m_net->m_serverRate);
    now.map = info.m_mapFile.GetText();
    now.game = m_net->Flow().GameFolder();
    now.inProgress = NetGame_InProgress(m_net) ? 1 : 2;
    auto text = [this](uint16_t id, const std::string& v, int most) {
        m_out.Reset();
        WireText_Write(m_out, v.c_str(), most);
        SendBuilt(m_server, id);
    };
    auto byte = [this](uint16_t id, int v) {
        uint8_t b = static_cast<uint8_t>(v);
        SendOn(m_server, id, &b, 1);
    };
    if (first || now.name != m_sent.name) text(NS_VXM_SERVER_NAME, now.name, 63);
    if (first || now.location != m_sent.location) byte(NS_VXM_SERVER_LOCATION, now.location);
    if (first) byte(NS_VXM_SERVER_DEDICATED, 0);
    if (first || now.speed != m_sent.speed) {
        uint8_t w[2] = {static_cast<uint8_t>(now.speed), static_cast<uint8_t>(now.speed >> 8)};
        SendOn(m_server, NS_VXM_SERVER_SPEED, w, 2);
    }
    if (first || now.connection != m_sent.connection) byte(NS_VXM_SERVER_CONNECTION, now.connection);
    if (first || now.map != m_sent.map) text(NS_VXM_SERVER_MAP, now.map, kMasterMaxText);
    if (first || now.game != m_sent.game) text(NS_VXM_SERVER_GAME, now.game, kMasterMaxText);
    if (first || now.inProgress != m_sent.inProgress) byte(NS_VXM_SERVER_INPROGRESS, now.inProgress);
    m_sent = now;
}

void CMasterClient::SendChatRecord() {
    // The user's name and connection as the master should show them.
    CPlayer* local = m_net->LocalPlayer();
    if (!local) return;
    if (m_sentUserName != local->m_name.GetText()) {
        m_sentUserName = local->m_name.GetText();
        m_out.Reset();
        WireText_Write(m_out, m_sentUserName.c_str(), kMasterMaxName);
        SendBuilt(m_chat, NS_VXM_CLIENT_CHAT_CHANGEUSERNAME);
    }
    if (m_sentUserKind != local->m_connectionKind) {
        m_sentUserKind = local->m_connectionKind;
        uint8_t kind = local->m_connectionKind;
        SendOn(m_chat, NS_VXM_CLIENT_CHAT_CHANGEUSERCONNECTION, &kind, 1);
    }
}

// ---- chat

void CMasterClient::JoinChannel(const char* name) {
    if (!name || !*name) return;
    m_out.Reset();
    WireText_Write(m_out, name, kMasterMaxName);
    SendBuilt(m_chat, NS_VXM_CLIENT_CHAT_JOINCHANNEL);
}

bool CMasterClient::Say(const char* text, uint32_t toUser) {
    if (!m_chat.accepted || !text || !*text) return false;
    m_out.Reset();
    WireText_Write(m_out, text, kMasterMaxText);
    if (toUser) m_out.WriteU32(toUser);
    SendBuilt(m_chat, NS_VXM_CLIENT_CHAT_SAY);
    return true;
}

bool CMasterClient::Query(const SMasterQueryFilter& filter) {
    if (!m_chat.accepted) return false;
    m_out.Reset();
    filter.Write(m_out);
    SendBuilt(m_chat, NS_VXM_CLIENT_QUERY);
    return true;
}

void CMasterClient::Ping() {
    SendOn(m_chat, NS_VXM_CLIENT_CHAT_PING, nullptr, 0);
    m_nextPing = m_net->GetClock().Now() + m_net->GetClock().Ticks(kChatPing);
}

SChatChannel* CMasterClient::FindChannel(int32_t id) {
    if (id < 0) return nullptr;
    for (SChatChannel& c : m_channels)
        if (c.id == id) return &c;
    return nullptr;
}

const SChatUser* CMasterClient::FindUser(const char* name) {
    SChatChannel* c = CurrentChannel();
    if (!c || !name) return nullptr;
    for (const SChatUser& u : c->users)
        if (SameNoCase(u.name, name)) return &u;
    return nullptr;
}

void CMasterClient::DeleteChannels() {
    m_channels.clear();
    m_currentChannel = m_pendingChannel = -1;
}

const char* NetGame_Text(CNetGame* net, int index) {
    const char* text = net ? net->Console().GetSystemText(index) : nullptr;
    if (text && *text) return text;
    switch (index) {
        case SYSLID_SERVER_CHEATING:
            return "The server allows cheats";
        case SYSLID_CONNECTION_SERVERQUIT:
            return "The server quit";
        case SYSLID_CONNECTION_CONNECTIONLOSTT:
            return "The connection to the server was lost";
        case SYSLID_CONNECTION_SERVERISFULL:
            return "The server is full";
        case SYSLID_CONNECTION_GAMESTARTED:
            return "The game has already started";
        case SYSLID_CONNECTION_INCORRECTPASSWORD:
            return "Incorrect password";
        case SYSLID_CONNECTION_WRONGPROTOCOLVERSION:
            return "The server runs another version of the game";
        case SYSLID_CONNECTION_WRONGPROTOCOLVERSIONMASTER:
            return "The master server speaks another version of the game's protocol";
        case SYSLID_CONNECTION_CANTCONNECT:
            return "Could not connect to the server";
        case SYSLID_CONNECTION_MASTER_CONNECT:
            return "Connecting to the master server";
        case SYSLID_CONNECTION_MASTER_CANTCONNECT:
            return "Could not connect to the master server";
        case SYSLID_CONNECTION_MASTER_CONNECTIONLOST:
            return "Connection to master server lost";
        case SYSLID_CONNECTION_MASTER_GETTINGLIST:
            return "Getting the list of servers";
        case SYSLID_CONNECTION_MASTER_UPDATINGSERVERS:
            return "Updating the servers";
        case SYSLID_CONNECTION_MASTER_PINGINGSERVERS:
            return "Pinging the servers";
        case SYSLID_CONNECTION_MASTER_PINGINGSERVER:
            return "Pinging %s";
        case SYSLID_CONNECTION_MASTER_DONE:
            return "Done";
        case SYSLID_CONNECTION_CLOSEDJOINING:
            return "The server is closed for joining";
        case SYSLID_CONNECTION_CLOSEDCHATTING:
            return "The server is closed for chatting";
        default:
            return "";
    }
}

void MasterClient_SendGame(CNetGame* net) {
    if (net && net->m_master && net->m_master->IsRegistered()) net->m_master->SendEntry();
}
