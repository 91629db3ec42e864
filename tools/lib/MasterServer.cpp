#include "tools/lib/MasterServer.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <random>

#include "platform/sys/Memory.h"
#include "world/WireText.h"

namespace {

constexpr int kServerNameLength = 63;
// Costs against the budgets: a query, a join and a line make the master send
// to many, so they cost more than a field of a server entry.
constexpr float kCostQuery = 5.0f;
constexpr float kCostJoin = 5.0f;
constexpr float kCostSay = 4.0f;
constexpr float kCostPlain = 1.0f;
// Half-open links (a valid first datagram whose sender has not yet confirmed
// anything of ours): per address, in all, and their life in seconds.
constexpr int kHalfOpenPerAddress = 8;
constexpr int kHalfOpenTotal = 4096;
constexpr float kHalfOpenLife = 5.0f;
// A cookie holds for the period it was made in and the next one.
constexpr float kCookiePeriod = 30.0f;
// Links gone since the heap was last given back before it is again, and
// the least time between two (giving it back walks the whole heap).
constexpr size_t kTrimAfterLinks = 256;
constexpr float kTrimInterval = 10.0f;

// SipHash-2-4 of two words under a 128-bit key: the cookie of an address
// cannot be told without the key, which never leaves the master.
uint64_t Rotl(uint64_t x, int b) {
    return (x << b) | (x >> (64 - b));
}

uint64_t SipHash(const uint64_t key[2], uint64_t m0, uint64_t m1) {
    uint64_t v0 = key[0] ^ 0x736f6d6570736575ull, v1 = key[1] ^ 0x646f72616e646f6dull;
    uint64_t v2 = key[0] ^ 0x6c7967656e657261ull, v3 = key[1] ^ 0x7465646279746573ull;
    auto round = [&] {
        v0 += v1;
        v1 = Rotl(v1, 13) ^ v0;
        v0 = Rotl(v0, 32);
        v2 += v3;
        v3 = Rotl(v3, 16) ^ v2;
        v0 += v3;
        v3 = Rotl(v3, 21) ^ v0;
        v2 += v1;
        v1 = Rotl(v1, 17) ^ v2;
        v2 = Rotl(v2, 32);
    };
    for (uint64_t m : {m0, m1, uint64_t{16} << 56}) {
        v3 ^= m;
        round();
        round();
        v0 ^= m;
    }
    v2 ^= 0xff;
    for (int i = 0; i < 4; ++i) round();
    return v0 ^ v1 ^ v2 ^ v3;
}

CMasterServer* Master(void* context) {
    return static_cast<CMasterServer*>(context);
}

struct SReader : CStateArchive {
    explicit SReader(NWEMessage* m) : CStateArchive(m->GetData(), m->GetSize(), kApply) {}
    bool End() const { return Ok() && GetRemaining() == 0; }
};

// A name as the lists keep it: no blanks at either end, never empty.
std::string CleanName(std::string name, const char* fallback) {
    size_t a = name.find_first_not_of(' ');
    size_t b = name.find_last_not_of(' ');
    name = a == std::string::npos ? std::string() : name.substr(a, b - a + 1);
    return name.empty() ? std::string(fallback) : name;
}

bool SameNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

void RefillTokens(float* tokens, int64_t* refilled, int64_t now, double seconds, float rate, float burst) {
    (void)now;
    *tokens = std::min(burst, *tokens + static_cast<float>(seconds) * rate);
    *refilled = now;
}

NWEPeer* AcceptLink(NWESocket* socket, const SNetAddress& from, void* context) {
    CMasterServer* master = Master(context);
    CMasterServer::SAddressState& a = master->m_addresses[from.ip];
    if (a.links >= master->m_config.linksPerAddress) {
        if (master->Verbose())
            master->Report("Refused a link from %s: links enough", Net_FormatAddress(from).c_str());
        return nullptr;
    }
    // Room among the links not yet answered: the oldest gives way.
    if (!master->m_pending.empty() &&
        static_cast<int>(master->m_pending.size()) >= master->m_config.maxPendingLinks)
        master->DropPending(master->m_pending.front());
    CMasterLink* link = new CMasterLink(master, socket, from);
    return NWEEngine::GetPeer(link);
}

// ---- handlers

void SendStatus(CMasterServer* master, CMasterLink* link, uint16_t id, uint32_t status) {
    uint8_t word[4];
    NWE_Put32(word, status);
    master->Send(link, id, word, 4);
}

// 16: u32 version, u8 connection kind, name.
void OnClientConnect(NWEPeer* peer, NWEMessage* m, void* context) {
    CMasterServer* master = Master(context);
    CMasterLink* link = master->Admit(peer, m, -1, kCostPlain);
    if (!link) return;
    if (link->m_kind == CMasterLink::kServer) return master->Refuse(link, m, "a server link");
    // u32 version, u8 connection kind, name [, u32 cookie] (the layout
    // beside NS_VXM_CLIENT_CONNECT; the game writes it in
    // CMasterClient::SendConnect).
    SReader ar(m);
    uint32_t version = ar.ReadU32();
    uint8_t kind = ar.ReadU8();
    std::string name = MasterText_Read(ar, kMasterMaxName);
    const bool hasCookie = ar.Ok() && ar.GetRemaining() == 4;
    const uint32_t cookie = hasCookie ? ar.ReadU32() : 0;
    if (!ar.End()) return master->Refuse(link, m, "wrong length");
    if (version != kMasterProtocolVersion) {
        SendStatus(master, link, NS_VXM_CLIENT_CONNECT, kMasterWrongVersion);
        link->SetTimedOut(true);
        return;
    }
    if (!master->Answered(link, NS_VXM_CLIENT_CONNECT, hasCookie, cookie)) return;
    if (link->m_kind == CMasterLink::kUser) {
        // The answer was lost, or the game gave its link up and made a new
        // one from the same address: a new session on this link, the user
        // kept (it joins its channel again).
        master->Restart(link);
        SendStatus(master, link, NS_VXM_CLIENT_CONNECT, kMasterAccepted);
        master->SendChannelList(link);
        return;
    }
    if (static_cast<int>(master->m_users.size()) >= master->m_config.maxUsers) {
        SendStatus(master, link, NS_VXM_CLIENT_CONNECT, kMasterRefused);
        link->SetTimedOut(true);
        return;
    }
    uint32_t id = master->m_nextUser++;
    if (master->m_nextUser == 0) master->m_nextUser = 1;
    CMasterServer::SUser& u = master->m_users[id];
    u.id = id;
    u.name = CleanName(name, "Player");
    u.kind = kind <= 13 ? kind : 0;
    u.link = link;
    link->m_kind = CMasterLink::kUser;
    link->m_record = id;
    master->Admitted(link);
    SendStatus(master, link, NS_VXM_CLIENT_CONNECT, kMasterAccepted);
    master->SendChannelList(link);
    if (master->Verbose()) master->Report("User %u \"%s\" came", id, u.name.c_str());
}

// 17: u32 version, u32 the unique id the server had (0: none).
void OnServerConnect(NWEPeer* peer, NWEMessage* m, void* context) {
    CMasterServer* master = Master(context);
    CMasterLink* link = master->Admit(peer, m, -1, kCostPlain);
    if (!link) return;
    if (link->m_kind == CMasterLink::kUser) return master->Refuse(link, m, "a chat link");
    // u32 version, u32 the unique id it had [, u32 cookie] (the layout
    // beside NS_VXM_SERVER_CONNECT; the game writes it in
    // CMasterClient::SendConnect).
    SReader ar(m);
    uint32_t version = ar.ReadU32();
    uint32_t wanted = ar.ReadU32();
    const bool hasCookie = ar.Ok() && ar.GetRemaining() == 4;
    const uint32_t cookie = hasCookie ? ar.ReadU32() : 0;
    if (!ar.End()) return master->Refuse(link, m, "wrong length");
    if (version != kMasterProtocolVersion) {
        SendStatus(master, link, NS_VXM_SERVER_CONNECT, kMasterWrongVersion);
        link->SetTimedOut(true);
        return;
    }
    if (!master->Answered(link, NS_VXM_SERVER_CONNECT, hasCookie, cookie)) return;
    uint32_t id = link->m_record;
    if (link->m_kind == CMasterLink::kServer) master->Restart(link);
    if (link->m_kind != CMasterLink::kServer) {
        if (static_cast<int>(master->m_servers.size()) >= master->m_config.maxServers) {
            SendStatus(master, link, NS_VXM_SERVER_CONNECT, kMasterRefused);
            link->SetTimedOut(true);
            return;
        }
        // A server keeps the id it had unless another live server has it.
        id = wanted != 0 && !master->m_servers.count(wanted) ? wanted : master->NewUniqueId();
        CMasterServer::SServer& s = master->m_servers[id];
        s.uniqueId = id;
        s.address = link->GetAddress();
        s.link = link;
        link->m_kind = CMasterLink::kServer;
        link->m_record = id;
        master->Admitted(link);
        if (master->Verbose())
            master->Report("Server %08x at %s came", id, Net_FormatAddress(s.address).c_str());
    }
    SendStatus(master, link, NS_VXM_SERVER_CONNECT, kMasterAccepted);
    SendStatus(master, link, NS_VXM_SERVER_UNIQUEID, id);
}

// 18, 32: the link says goodbye; what it owned goes.
void OnClientDisconnect(NWEPeer* peer, NWEMessage* m, void* context) {
    CMasterServer* master = Master(context);
    CMasterLink* link = master->Admit(peer, m, CMasterLink::kUser, kCostPlain);
    if (!link) return;
    master->RemoveUser(link->m_record);
    link->m_kind = CMasterLink::kNone;
    link->SetTimedOut(true);
}

void OnServerDisconnect(NWEPeer* peer, NWEMessage* m, void* context) {
    CMasterServer* master = Master(context);
    CMasterLink* link = master->Admit(peer, m, CMasterLink::kServer, kCostPlain);
    if (!link) return;
    master->RemoveServer(link->m_record);
    link->m_kind = CMasterLink::kNone;
    link->SetTimedOut(true);
}

// 19: the channel's name. The user leaves its channel and joins that one,
// made when it is not there.
void OnJoinChannel(NWEPeer* peer, NWEMessage* m, void* context) {
    CMasterServer* master = Master(context);
    CMasterLink* link = master->Admit(peer, m, CMasterLink::kUser, kCostJoin);
    if (!link) return;
    SReader ar(m);
    std::string name = CleanName(MasterText_Read(ar, kMasterMaxName), "");
    if (!ar.End() || name.empty()) return master->Refuse(link, m, "no channel name");
    auto found = master->m_users.find(link->m_record);
    if (found == master->m_users.end()) return;
    CMasterServer::SUser& u = found->second;
    CMasterServer::SChannel* c = master->FindChannel(name);
    if (c && c->id == u.channel) {
        // Joined already (a game that connected again): what a joiner hears.
        SendStatus(master, link, NS_VXM_CLIENT_CHAT_JOINCHANNEL, c->id);
        master->SendUserList(link, *c);
        return;
    }
    if (!c) {
        if (static_cast<int>(master->m_channels.size()) >= master->m_config.maxChannels)
            return master->Refuse(link, m, "channels enough");
        uint32_t id = master->NewChannelId();
        c = &master->m_channels[id];
        c->id = id;
        c->name = name;
        master->m_out.Reset();
        master->m_out.WriteU32(id);
        WireText_Write(master->m_out, name.c_str(), kMasterMaxName);
        master->SendToAllUsers(NS_VXM_CLIENT_CHAT_ADDCHANNEL);
    }
    uint32_t channelId = c->id;
    master->LeaveChannel(u);
    c = &master->m_channels[channelId];
    SMasterUserRecord record{u.id, u.value, u.kind, u.name};
    master->m_out.Reset();
    master->m_out.WriteU32(channelId);
    MasterUser_Write(master->m_out, record);
    master->SendToChannel(*c, NS_VXM_CLIENT_CHAT_ADDUSER);
    c->users.push_back(u.id);
    u.channel = channelId;
    SendStatus(master, link, NS_VXM_CLIENT_CHAT_JOINCHANNEL, channelId);
    master->SendUserList(link, *c);
}

void OnChatPing(NWEPeer* peer, NWEMessage* m, void* context) {
    CMasterServer* master = Master(context);
    if (!master->Admit(peer, m, CMasterLink::kUser, kCostPlain)) return;
    if (m->GetSize() != 0) master->Refuse(static_cast<CMasterLink*>(peer), m, "wrong length");
}

// 21: the text, and a user id when the line is for that user alone.
void OnSay(NWEPeer* peer, NWEMessage* m, void* context) {
    CMasterServer* master = Master(context);
    CMasterLink* link = master->Admit(peer, m, CMasterLink::kUser, kCostSay);
    if (!link) return;
    SReader ar(m);
    std::string text = MasterText_Read(ar, kMasterMaxText);
    uint32_t to = 0;
    if (ar.Ok() && ar.GetRemaining() == 4) to = ar.ReadU32();
    if (!ar.End() || text.empty()) return master->Refuse(link, m, "wrong length");
    CMasterServer::SUser& u = master->m_users[link->m_record];
    if (to) {
        auto it = master->m_users.find(to);
        if (it == master->m_users.end() || !it->second.link) return master->Refuse(link, m, "no such user");
        std::string line = "*" + u.name + "* " + text;
        master->m_out.Reset();
        WireText_Write(master->m_out, line.c_str(), kMasterMaxText + 2 * kMasterMaxName + 8);
        master->SendOut(it->second.link, NS_VXM_CLIENT_CHAT_SAY);
        line = "-> *" + it->second.name + "* " + text;
        master->m_out.Reset();
        WireText_Write(master->m_out, line.c_str(), kMasterMaxText + 2 * kMasterMaxName + 8);
        master->SendOut(link, NS_VXM_CLIENT_CHAT_SAY);
        return;
    }
    auto c = master->m_channels.find(u.channel);
    if (c == master->m_channels.end()) return master->Refuse(link, m, "in no channel");
    std::string line = "<" + u.name + "> " + text;
    master->m_out.Reset();
    WireText_Write(master->m_out, line.c_str(), kMasterMaxText + kMasterMaxName + 8);
    master->SendToChannel(c->second, NS_VXM_CLIENT_CHAT_SAY);
}

// 28: the user's new name.
void OnChangeName(NWEPeer* peer, NWEMessage* m, void* context) {
    CMasterServer* master = Master(context);
    CMasterLink* link = master->Admit(peer, m, CMasterLink::kUser, kCostPlain);
    if (!link) return;
    SReader ar(m);
    std::string name = CleanName(MasterText_Read(ar, kMasterMaxName), "");
    if (!ar.End() || name.empty()) return master->Refuse(link, m, "no name");
    CMasterServer::SUser& u = master->m_users[link->m_record];
    if (u.name == name) return;
    u.name = name;
    auto c = master->m_channels.find(u.channel);
    if (c == master->m_channels.end()) return;
    master->m_out.Reset();
    master->m_out.WriteU32(u.channel);
    master->m_out.WriteU32(u.id);
    WireText_Write(master->m_out, name.c_str(), kMasterMaxName);
    master->SendToChannel(c->second, NS_VXM_CLIENT_CHAT_CHANGEUSERNAME);
}

// 29: u8 the user's connection kind.
void OnChangeConnection(NWEPeer* peer, NWEMessage* m, void* context) {
    CMasterServer* master = Master(context);
    CMasterLink* link = master->Admit(peer, m, CMasterLink::kUser, kCostPlain);
    if (!link) return;
    if (m->GetSize() != 1 || m->GetData()[0] > 13) return master->Refuse(link, m, "wrong length");
    CMasterServer::SUser& u = master->m_users[link->m_record];
    if (u.kind == m->GetData()[0]) return;
    u.kind = m->GetData()[0];
    auto c = master->m_channels.find(u.channel);
    if (c == master->m_channels.end()) return;
    master->m_out.Reset();
    master->m_out.WriteU32(u.channel);
    master->m_out.WriteU32(u.id);
    master->m_out.WriteU8(u.kind);
    master->SendToChannel(c->second, NS_VXM_CLIENT_CHAT_CHANGEUSERCONNECTION);
}

// 30: the filter; the answer (31) lists the servers that pass it.
void OnQuery(NWEPeer* peer, NWEMessage* m, void* context) {
    CMasterServer* master = Master(context);
    CMasterLink* link = master->Admit(peer, m, CMasterLink::kUser, kCostQuery);
    if (!link) return;
    SReader ar(m);
    SMasterQueryFilter f;
    if (!f.Read(ar) || !ar.End()) return master->Refuse(link, m, "not a filter");
    size_t most = f.maxCount > 0 ? std::min<size_t>(f.maxCount, kMasterMaxAnswer) : kMasterMaxAnswer;
    std::vector<SMasterServerAddress> found;
    for (const auto& e : master->m_servers) {
        if (found.size() >= most) break;
        const CMasterServer::SServer& s = e.second;
        if ((f.inProgress == 1 && s.inProgress != 1) || (f.inProgress == 2 && s.inProgress == 1)) continue;
        if ((f.dedicated == 1 && !s.dedicated) || (f.dedicated == 2 && s.dedicated)) continue;
        if (!MasterFilter_Location(f.location, s.location)) continue;
        if (!MasterFilter_Connection(f.connection, s.connection)) continue;
        if (!MasterFilter_Contains(s.name.c_str(), f.name.c_str())) continue;
        if (!MasterFilter_Contains(s.map.c_str(), f.map.c_str())) continue;
        if (!f.game.empty() && !SameNoCase(f.game, s.game)) continue;
        found.push_back({s.address.ip, s.address.port});
    }
    master->m_out.Reset();
    MasterAnswer_Write(master->m_out, found);
    master->SendOut(link, NS_VXM_CLIENT_QUERY_ANSWER_SERVER);
}

// 34 to 41: one field of the link's own server entry.
void OnServerField(NWEPeer* peer, NWEMessage* m, void* context) {
    CMasterServer* master = Master(context);
    CMasterLink* link = master->Admit(peer, m, CMasterLink::kServer, kCostPlain);
    if (!link) return;
    CMasterServer::SServer& s = master->m_servers[link->m_record];
    SReader ar(m);
    const uint8_t* d = m->GetData();
    const uint32_t size = m->GetSize();
    switch (m->GetId()) {
        case NS_VXM_SERVER_NAME:
        case NS_VXM_SERVER_MAP:
        case NS_VXM_SERVER_GAME: {
            std::string text =
                MasterText_Read(ar, m->GetId() == NS_VXM_SERVER_NAME ? kServerNameLength : kMasterMaxText);
            if (!ar.End()) return master->Refuse(link, m, "wrong length");
            (m->GetId() == NS_VXM_SERVER_NAME  ? s.name
             : m->GetId() == NS_VXM_SERVER_MAP ? s.map
                                               : s.game) = text;
            return;
        }
        case NS_VXM_SERVER_SPEED:
            if (size != 2) return master->Refuse(link, m, "wrong length");
            s.speed = static_cast<uint16_t>(d[0] | (d[1] << 8));
            return;
        default:
            break;
    }
    if (size != 1) return master->Refuse(link, m, "wrong length");
    uint8_t v = d[0];
    switch (m->GetId()) {
        case NS_VXM_SERVER_LOCATION:
            if (v > 13) return master->Refuse(link, m, "no such location");
            s.location = v;
            break;
        case NS_VXM_SERVER_DEDICATED:
            s.dedicated = v ? 1 : 0;
            break;
        case NS_VXM_SERVER_CONNECTION:
            if (v > 13) return master->Refuse(link, m, "no such connection");
            s.connection = v;
            break;
        case NS_VXM_SERVER_INPROGRESS:
            if (v != 1 && v != 2) return master->Refuse(link, m, "neither 1 nor 2");
            s.inProgress = v;
            break;
        default:
            break;
    }
}

// What the master never takes: its own answers coming back.
void OnNotOurs(NWEPeer* peer, NWEMessage* m, void* context) {
    CMasterServer* master = Master(context);
    if (CMasterLink* link = master->Admit(peer, m, -1, kCostPlain)) master->Refuse(link, m, "not a request");
}

MasterHandler HandlerFor(uint16_t id) {
    switch (id) {
        case NS_VXM_CLIENT_CONNECT:
            return OnClientConnect;
        case NS_VXM_SERVER_CONNECT:
            return OnServerConnect;
        case NS_VXM_CLIENT_DISCONNECT:
            return OnClientDisconnect;
        case NS_VXM_SERVER_DISCONNECT:
            return OnServerDisconnect;
        case NS_VXM_CLIENT_CHAT_JOINCHANNEL:
            return OnJoinChannel;
        case NS_VXM_CLIENT_CHAT_PING:
            return OnChatPing;
        case NS_VXM_CLIENT_CHAT_SAY:
            return OnSay;
        case NS_VXM_CLIENT_CHAT_CHANGEUSERNAME:
            return OnChangeName;
        case NS_VXM_CLIENT_CHAT_CHANGEUSERCONNECTION:
            return OnChangeConnection;
        case NS_VXM_CLIENT_QUERY:
            return OnQuery;
        case NS_VXM_SERVER_NAME:
        case NS_VXM_SERVER_LOCATION:
        case NS_VXM_SERVER_DEDICATED:
        case NS_VXM_SERVER_SPEED:
        case NS_VXM_SERVER_CONNECTION:
        case NS_VXM_SERVER_MAP:
        case NS_VXM_SERVER_GAME:
        case NS_VXM_SERVER_INPROGRESS:
            return OnServerField;
        default:
            return OnNotOurs;
    }
}

SNWEEngineSetup NoThreads() {
    SNWEEngineSetup s;
    s.threads = false;
    return s;
}
}  // namespace

// ---- links

CMasterLink::CMasterLink(CMasterServer* master, NWESocket* socket, const SNetAddress& from)
    : NWEPeer(socket, &master->m_types, "master link"),
      m_master(master),
      m_ip(from.ip),
      m_tokens(master->m_config.linkBurst),
      m_refilled(master->GetClock().Now()),
      m_since(master->GetClock().Now()) {
    ++master->m_addresses[from.ip].links;
    ++master->m_links;
    m_pendingAt = master->m_pending.insert(master->m_pending.end(), this);
    m_pending = true;
    SetReceiveCrcSeed(kMasterCrcSeed);
    SetSendCrcSeed(kMasterCrcSeed);
    SetAddress(from);
    SetActive(true);
    SetTimeout(master->m_config.linkTimeout);
}

CMasterLink::~CMasterLink() {
    // The link goes (silent, given up or dropped): what it owned goes with
    // it at the end of the master's turn.
    m_guard.Close();
    DetachEntries();
    if (m_pending) m_master->m_pending.erase(m_pendingAt);
    --m_master->m_links;
    ++m_master->m_linksGoneSinceTrim;
    auto a = m_master->m_addresses.find(m_ip);
    if (a != m_master->m_addresses.end()) --a->second.links;
    if (m_kind == kUser) {
        auto u = m_master->m_users.find(m_record);
        if (u != m_master->m_users.end() && u->second.link == this) u->second.link = nullptr;
        m_master->m_gone.push_back({kUser, m_record});
    } else if (m_kind == kServer) {
        auto s = m_master->m_servers.find(m_record);
        if (s != m_master->m_servers.end() && s->second.link == this) s->second.link = nullptr;
        m_master->m_gone.push_back({kServer, m_record});
    }
}

// ---- the master

CMasterServer::CMasterServer(const SMasterServerConfig& config) : NWEEngine(NoThreads()), m_config(config) {
    SetTickThreadMode(0);
    std::random_device random;
    m_idSeed = static_cast<uint32_t>(random()) ^
               static_cast<uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    for (uint64_t& k : m_cookieKey) k = (static_cast<uint64_t>(random()) << 32) ^ random();
    MasterMessage_Register(&m_types, true, HandlerFor, this, &m_queue);
    MasterMessage_Register(&m_types, false, HandlerFor, this, &m_queue);
    uint32_t mainId = NewChannelId();
    SChannel& main = m_channels[mainId];
    main.id = mainId;
    main.name = m_config.mainChannel;
    main.permanent = true;
}

CMasterServer::~CMasterServer() {
    Shutdown();
    for (CMasterLink* l : m_dirty) l->Release();
    m_dirty.clear();
    m_queue.Clear();
    for (;;) {
        NWESocket* s = FirstSocket();
        if (!s) break;
        ReleaseSocket(s);
        s->Destroy();
    }
}

bool CMasterServer::Open() {
    NWESocket* s = new NWESocket(this);
    if (!s->Open(m_config.bind)) {
        s->Destroy();
        return false;
    }
    s->SetListener(&m_types, kMasterCrcSeed, AcceptLink, this);
    s->SetHalfOpenLimits(kHalfOpenPerAddress, kHalfOpenTotal, kHalfOpenLife);
    m_socket = s;
    return true;
}

SNetAddress CMasterServer::Address() {
    SNetAddress a;
    if (m_socket) m_socket->GetSocketName(&a);
    return a;
}

void CMasterServer::ReportV(const char* fmt, va_list ap) {
    if (!m_config.verbose) return;
    std::vfprintf(stderr, fmt, ap);
    std::fputc('\n', stderr);
}

void CMasterServer::Step(int waitMs) {
    Poll(waitMs);
    m_queue.Flush();
    FlushDirty();
    int64_t now = GetClock().Now();
    // Links given up while not yet answered go at once rather than at the
    // next tick, so a flood of them holds no more memory than their bound.
    if (now >= m_nextTick || m_dropped) {
        m_dropped = false;
        // Resends, keep-alives and time-outs; links that went leave their
        // records behind for the sweep.
        Tick(false);
        m_nextTick = now + GetClock().Ticks(0.02f);
    }
    if (!m_gone.empty() || now >= m_nextSweep) {
        Sweep();
        m_nextSweep = now + GetClock().Ticks(0.5f);
    }
    if (now >= m_nextBeat) {
        Heartbeat();
        m_nextBeat = now + GetClock().Ticks(m_config.heartbeat);
    }
    FlushDirty();
}

CMasterLink* CMasterServer::Admit(NWEPeer* peer, NWEMessage* m, int kind, float cost) {
    ++m_handled;
    CMasterLink* link = static_cast<CMasterLink*>(peer);
    if (!link || link->IsTimedOut()) return nullptr;
    int64_t now = GetClock().Now();
    RefillTokens(&link->m_tokens, &link->m_refilled, now, GetClock().Seconds(now - link->m_refilled),
                 m_config.linkRate, m_config.linkBurst);
    SAddressState& a = m_addresses[link->m_ip];
    if (a.refilled == 0) {
        a.tokens = m_config.addressBurst;
        a.refilled = now;
    }
    RefillTokens(&a.tokens, &a.refilled, now, GetClock().Seconds(now - a.refilled), m_config.addressRate,
                 m_config.addressBurst);
    if (link->m_tokens < cost || a.tokens < cost) {
        Refuse(link, m, "over its budget");
        return nullptr;
    }
    link->m_tokens -= cost;
    a.tokens -= cost;
    if (kind >= 0 && link->m_kind != kind) {
        Refuse(link, m, kind == CMasterLink::kUser ? "not a chat user" : "not a server");
        return nullptr;
    }
    return link;
}

uint32_t CMasterServer::Cookie(const SNetAddress& remote, int64_t period) const {
    const uint64_t address = (static_cast<uint64_t>(remote.ip) << 16) | remote.port;
    return static_cast<uint32_t>(SipHash(m_cookieKey, address, static_cast<uint64_t>(period)));
}

namespace {
int64_t CookiePeriod(NWEEngine& engine) {
    return static_cast<int64_t>(engine.GetClock().Seconds(engine.GetClock().Now()) / kCookiePeriod);
}
}  // namespace

uint32_t CMasterServer::CurrentCookie(const SNetAddress& remote) {
    return Cookie(remote, CookiePeriod(*this));
}

bool CMasterServer::Answered(CMasterLink* link, uint16_t id, bool hasCookie, uint32_t cookie) {
    const SNetAddress remote = link->GetAddress();
    const int64_t period = CookiePeriod(*this);
    if (hasCookie && (cookie == Cookie(remote, period) || cookie == Cookie(remote, period - 1))) return true;
    // The challenge: u32 kMasterChallenge, u32 the cookie of this address
    // (read by the game's OnConnectAnswer, which sends its CONNECT again
    // with the cookie appended).
    uint8_t words[8];
    NWE_Put32(words, kMasterChallenge);
    NWE_Put32(words + 4, Cookie(remote, period));
    Send(link, id, words, 8);
    ++m_challenges;
    return false;
}

void CMasterServer::Admitted(CMasterLink* link) {
    if (!link->m_pending) return;
    m_pending.erase(link->m_pendingAt);
    link->m_pending = false;
}

void CMasterServer::DropPending(CMasterLink* link) {
    // It goes at the socket's next check, and its memory with it.
    Admitted(link);
    link->SetTimedOut(true);
    m_dropped = true;
}

void CMasterServer::Refuse(CMasterLink* link, NWEMessage* m, const char* why) {
    ++m_refused;
    if (Verbose())
        Report("Refused message %d from %s: %s", (int)m->GetId(),
               Net_FormatAddress(link->GetAddress()).c_str(), why);
    if (++link->m_violations > m_config.maxViolations && !link->IsTimedOut()) {
        if (Verbose()) Report("Dropped the link of %s", Net_FormatAddress(link->GetAddress()).c_str());
        link->SetTimedOut(true);
    }
}

void CMasterServer::Send(CMasterLink* link, uint16_t id, const void* data, uint32_t size) {
    if (!link || link->IsTimedOut()) return;
    link->SendMessage(id, data, size);
    if (!link->m_dirty && link->m_guard.TryShared()) {
        link->m_dirty = true;
        m_dirty.push_back(link);
    }
}

void CMasterServer::SendOut(CMasterLink* link, uint16_t id) {
    Send(link, id, m_out.GetData(), static_cast<uint32_t>(m_out.GetSize()));
}

void CMasterServer::SendToChannel(const SChannel& c, uint16_t id, uint32_t except) {
    for (uint32_t userId : c.users) {
        if (userId == except) continue;
        auto u = m_users.find(userId);
        if (u != m_users.end()) SendOut(u->second.link, id);
    }
}

void CMasterServer::SendToAllUsers(uint16_t id) {
    for (auto& u : m_users) SendOut(u.second.link, id);
}

void CMasterServer::Restart(CMasterLink* link) {
    // Receipts and sequence numbers start again, as the game's new link does.
    link->SetActive(false);
    link->SetActive(true);
}

void CMasterServer::SendChannelList(CMasterLink* link) {
    std::vector<SMasterChannelRecord> channels;
    for (const auto& c : m_channels) channels.push_back({c.second.id, c.second.name});
    m_out.Reset();
    MasterChannels_Write(m_out, channels);
    SendOut(link, NS_VXM_CLIENT_CHAT_CHANNELLIST);
}

void CMasterServer::SendUserList(CMasterLink* link, const SChannel& c) {
    std::vector<SMasterUserRecord> users;
    for (uint32_t id : c.users) {
        auto u = m_users.find(id);
        if (u != m_users.end())
            users.push_back({u->second.id, u->second.value, u->second.kind, u->second.name});
    }
    m_out.Reset();
    MasterUsers_Write(m_out, c.id, users);
    SendOut(link, NS_VXM_CLIENT_CHAT_USERLIST);
}

void CMasterServer::FlushDirty() {
    // Everything a turn queued for a link leaves in as few packets as fit.
    std::vector<CMasterLink*> dirty;
    dirty.swap(m_dirty);
    for (CMasterLink* l : dirty) {
        l->m_dirty = false;
        l->Flush();
        l->Release();
    }
}

CMasterServer::SChannel* CMasterServer::FindChannel(const std::string& name) {
    for (auto& c : m_channels)
        if (SameNoCase(c.second.name, name)) return &c.second;
    return nullptr;
}

void CMasterServer::LeaveChannel(SUser& u) {
    auto c = m_channels.find(u.channel);
    u.channel = 0;
    if (c == m_channels.end()) return;
    SChannel& ch = c->second;
    // Everyone who was in it (the one who leaves too) hears of it.
    m_out.Reset();
    m_out.WriteU32(ch.id);
    m_out.WriteU32(u.id);
    SendToChannel(ch, NS_VXM_CLIENT_CHAT_REMOVEUSER);
    ch.users.erase(std::remove(ch.users.begin(), ch.users.end(), u.id), ch.users.end());
    if (ch.users.empty() && !ch.permanent) {
        uint32_t id = ch.id;
        m_channels.erase(c);
        m_out.Reset();
        m_out.WriteU32(id);
        SendToAllUsers(NS_VXM_CLIENT_CHAT_REMOVECHANNEL);
    }
}

void CMasterServer::RemoveUser(uint32_t id) {
    auto u = m_users.find(id);
    if (u == m_users.end()) return;
    SUser user = u->second;
    m_users.erase(u);
    // The user is gone from the list before the others hear of it.
    user.link = nullptr;
    LeaveChannel(user);
    if (Verbose()) Report("User %u \"%s\" went", id, user.name.c_str());
}

void CMasterServer::RemoveServer(uint32_t id) {
    auto s = m_servers.find(id);
    if (s == m_servers.end()) return;
    if (Verbose()) Report("Server %08x \"%s\" went", id, s->second.name.c_str());
    m_servers.erase(s);
}

uint32_t CMasterServer::NewUniqueId() {
    // A value nobody can count on guessing, never 0, never one in use.
    for (;;) {
        m_idSeed = m_idSeed * 1664525u + 1013904223u;
        uint32_t id = (m_idSeed >> 16) | (m_idSeed << 16);
        if (id != 0 && !m_servers.count(id)) return id;
    }
}

uint32_t CMasterServer::NewChannelId() {
    while (m_nextChannel == 0 || m_channels.count(m_nextChannel)) ++m_nextChannel;
    return m_nextChannel++;
}

void CMasterServer::Sweep() {
    // Links that never answered the challenge go after their time.
    const int64_t now = GetClock().Now();
    const int64_t life = GetClock().Ticks(m_config.pendingLife);
    while (!m_pending.empty() && now - m_pending.front()->m_since > life) DropPending(m_pending.front());
    // Many links went (a flood of forged CONNECTs given up, say): the heap
    // they took goes back to the system rather than staying with the master.
    if (m_linksGoneSinceTrim >= kTrimAfterLinks && now >= m_nextTrim) {
        m_linksGoneSinceTrim = 0;
        m_nextTrim = now + GetClock().Ticks(kTrimInterval);
        Sys_ReturnFreeMemory();
    }
    // Records whose links went, or were dropped and wait to go.
    std::vector<std::pair<int, uint32_t>> gone;
    gone.swap(m_gone);
    for (auto& u : m_users)
        if (!u.second.link || u.second.link->IsTimedOut()) gone.push_back({CMasterLink::kUser, u.first});
    for (auto& s : m_servers)
        if (!s.second.link || s.second.link->IsTimedOut()) gone.push_back({CMasterLink::kServer, s.first});
    for (const auto& g : gone) {
        if (g.first == CMasterLink::kUser) {
            auto u = m_users.find(g.second);
            if (u != m_users.end() && (!u->second.link || u->second.link->IsTimedOut())) RemoveUser(g.second);
        } else {
            auto s = m_servers.find(g.second);
            if (s != m_servers.end() && (!s->second.link || s->second.link->IsTimedOut()))
                RemoveServer(g.second);
        }
    }
    // An address without links is forgotten once its budget has filled up
    // again (it would start full anyway).
    for (auto it = m_addresses.begin(); it != m_addresses.end();) {
        SAddressState& a = it->second;
        if (a.links <= 0)
            RefillTokens(&a.tokens, &a.refilled, now, GetClock().Seconds(now - a.refilled),
                         m_config.addressRate, m_config.addressBurst);
        it = a.links <= 0 && (a.refilled == 0 || a.tokens >= m_config.addressBurst) ? m_addresses.erase(it)
                                                                                    : ++it;
    }
}

void CMasterServer::Heartbeat() {
    // Every accepted link hears from the master now and then, so a game can
    // tell a master that is there from one that was started again and knows
    // nothing of it (that one answers no game's link).
    for (auto& s : m_servers) {
        uint8_t word[4];
        NWE_Put32(word, s.first);
        Send(s.second.link, NS_VXM_SERVER_UNIQUEID, word, 4);
    }
    for (auto& u : m_users) {
        if (u.second.link) {
            double rtt = u.second.link->GetSmoothedRtt() * 1000.0;
            u.second.value = static_cast<uint16_t>(std::min(rtt, 65535.0));
        }
        Send(u.second.link, NS_VXM_CLIENT_CHAT_PING, nullptr, 0);
    }
}
