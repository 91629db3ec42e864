// The server's handlers: admission and the join, the players and teams, the
// lockstep relays with their sender checks, chat, the game start and the
// sync answers. A client never changes the world itself: it asks, the server
// checks that the asking connection may, and sends the request to every
// client in a frame. Whatever does not fit (a short or long payload, an id
// that names nothing, a request for someone else's player or unit) is
// refused and logged; the game goes on.
#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <ctime>
#include <string>

#include "core/Random.h"
#include "netgame/MasterClient.h"
#include "netgame/NetGame.h"
#include "netgame/NetHandlerKit.h"
#include "netgame/NetHandlers.h"
#include "world/GameScene.h"
#include "world/OrderMessages.h"
#include "world/TessarakObject.h"
#include "world/Unit.h"
#include "world/WireText.h"

using namespace netkit;

namespace {
constexpr int kMaxTeams = 16;
constexpr int kMaxPlayersPerConnection = 8;

// Logs a refused request with its sender.
void Refuse(CNetGame* net, NWEPeer* peer, NWEMessage* m, const char* why) {
    CPlayer* p = peer ? Conn(peer)->FirstPlayer() : nullptr;
    net->PrintColor(255, 160, 0, false, "Refused message %d from %s (%s): %s", (int)m->GetId(),
                    Net_FormatAddress(m->GetSource()).c_str(), p ? p->m_name.GetText() : "no player", why);
}

// A message only a joined connection sends (the game's start, its frames,
// its sync): one still joining is refused.
bool Joined(CNetGame* net, NWEPeer* peer, NWEMessage* m) {
    if (Conn(peer)->m_joinState == 4) return true;
    Refuse(net, peer, m, "out of turn");
    return false;
}

// Sends the received payload to every client with the received type.
void Relay(CNetGame* net, NWEMessage* m, NWEList* slot = nullptr) {
    net->SendToAllClients(m->GetId(), m->GetData(), static_cast<int>(m->GetSize()), slot, slot);
}

CTessarakObject* FindObject(CNetGame* net, int32_t id) {
    CGameScene* scene = net->World() ? &net->World()->Scene() : nullptr;
    return scene ? scene->m_idTable.Find(id) : nullptr;
}

bool Running(CNetGame* net) {
    return net->Flow().GuiWord() == 0 && net->Flow().GameState() == 2;
}

// The connection's player by id, when the connection may act for it.
CPlayer* OwnedPlayer(CNetGame* net, NWEPeer* peer, int32_t id) {
    CPlayer* p = net->FindPlayerById(id);
    return p && Conn(peer)->OwnsPlayer(p) ? p : nullptr;
}

// An object command: a u32 object id first, the object the sender's, of the class.
bool CheckObjectCommand(CNetGame* net, NWEPeer* peer, NWEMessage* m, uint32_t length, uint32_t classMask) {
    if (m->GetSize() != length) {
        Refuse(net, peer, m, "wrong length");
        return false;
    }
    CTessarakObject* o = FindObject(net, static_cast<int32_t>(NWE_Get32(m->GetData())));
    if (!o || !(o->m_classMask & classMask)) {
        Refuse(net, peer, m, "no such object");
        return false;
    }
    if (!Conn(peer)->IsSenderOf(o)) {
        Refuse(net, peer, m, "not the sender's object");
        return false;
    }
    return true;
}

// Chat body of 113 to 116: sender name, text, r, g, b. The server names
// the sender itself (the sending connection's player), so nobody speaks in
// another's name.
bool ReadChat(NWEMessage* m, uint32_t skip, CStrBuf* text, uint8_t rgb[3]) {
    if (m->GetSize() < skip) return false;
    CStateArchive ar(m->GetData() + skip, m->GetSize() - skip, CStateArchive::kApply);
    WireText_Read(ar, nullptr, CPlayer::kMaxNameLength);
    WireText_Read(ar, text, kNetMaxChat);
    for (int i = 0; i < 3; ++i) rgb[i] = ar.ReadU8();
    return ar.Ok() && ar.GetRemaining() == 0;
}

// A connection's chat allowance (a burst of lines, then one a second; the
// host's own client is not held to it). A line past it is dropped: the first
// of a run is logged and the sender is told, once, that its lines went
// nowhere; the rest go without a word until the allowance is back.
bool ChatAllowed(CNetGame* net, NWEPeer* peer, NWEMessage* m) {
    if (net->IsLocalServerEnd(peer)) return true;
    CGameSocket* c = Conn(peer);
    if (c->m_chatLines.Take(net->GetClock().Seconds(net->GetClock().Now()))) return true;
    if (c->m_chatLines.RefusedInARow() == 1) {
        Refuse(net, peer, m, "chat too fast: lines dropped");
        CStateArchive ar;
        WireText_Write(ar, "");
        WireText_Write(ar, "You chat too fast: lines are dropped until you slow down", kNetMaxChat);
        const uint8_t rgb[3] = {233, 137, 0};
        for (uint8_t v : rgb) ar.WriteU8(v);
        c->SendMessage(NS_NOTIFYTYPE_MESSAGE, ar.GetData(), static_cast<uint32_t>(ar.GetBuffer().size()));
    }
    return false;
}

void WriteChat(CStateArchive& ar, const char* sender, const char* text, const uint8_t rgb[3]) {
    ar.Reset();
    WireText_Write(ar, sender, CPlayer::kMaxNameLength);
    WireText_Write(ar, text, kNetMaxChat);
    for (int i = 0; i < 3; ++i) ar.WriteU8(rgb[i]);
}

const char* SenderName(CNetGame* net, NWEPeer* peer) {
    CPlayer* p = Conn(peer)->FirstPlayer();
    if (p) return p->m_name.GetText();
    return net->IsLocalServerEnd(peer) && net->LocalPlayer() ? net->LocalPlayer()->m_name.GetText() : nullptr;
}

// Players the server's handlers count: a full server counts players, and
// clients still joining count one each.
int CountSeats(CNetGame* net) {
    int seats = net->CountPlayers();
    std::vector<CGameSocket*> clients = net->TakeClients();
    for (CGameSocket* c : clients)
        if (c->CountPlayers() == 0 && !net->IsLocalServerEnd(c)) ++seats;
    CNetGame::ReleaseAll(clients);
    for (NWEListEntry* e = net->m_waiting.FirstShared(); e; e = net->m_waiting.NextShared(e)) ++seats;
    return seats;
}
}  // namespace

// ---- admission

// CONNECT (81): u32 protocol version, the password with its zero (at least
// 5 bytes). Answer: u32 13, u32 result (0 admitted, 1 full, 2 the game runs
// or loads, 3 wrong password, 5 joining closed), raw to the sender and, when
// admitted, again through the new connection. A client of another version is
// answered {13, 0}: it sees a version other than its own and reports the
// mismatch. Unlike an admission, that answer makes no connection: nothing
// would ever use it.
void NetServer_OnConnect(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    if (!net->m_hosting || m->GetSize() < 5) return;
    SPayload ar(m);
    uint32_t version = ar.ReadU32();
    CStrBuf password;
    WireText_Read(ar, &password, kNetMaxPassword, false);
    if (!ar.Ok()) {
        Refuse(net, peer, m, "no password text");
        return;
    }
    bool fromContact = net->m_contact && net->m_contact->Names(peer);
    CGameSocket* arrival = Conn(peer);
    if (!fromContact && arrival->m_joinState >= 1 && arrival->m_joinState < 4) {
        // The same client again while it joins: the answer was lost.
        uint8_t again[8];
        NWE_Put32(again, kNetProtocolVersion);
        NWE_Put32(again + 4, kConnectAdmitted);
        arrival->SendMessage(NS_NOTIFYTYPE_CONNECT, again, 8);
        return;
    }
    bool reconnect = !fromContact;
    if (reconnect) arrival->SetTimedOut(true);
    uint32_t result = kConnectAdmitted;
    CServerInfo& info = net->m_serverInfo;
    const bool otherVersion = version != kNetProtocolVersion;
    if (otherVersion)
        result = kConnectAdmitted;
    else if ((net->Flow().GuiWord() == 0 && net->Flow().GameState() == 2) || (net->Flow().IsGameLoading()))
        result = kConnectRunning;
    else if (CountSeats(net) >= info.m_maxPlayers)
        result = kConnectFull;
    else if (!(info.m_flags & CServerInfo::kFlagJoin))
        result = kConnectClosed;
    else if (!net->m_serverPassword.IsEmpty() && !net->m_serverPassword.Equals(password.GetText()))
        result = kConnectPassword;
    uint8_t reply[8];
    NWE_Put32(reply, kNetProtocolVersion);
    NWE_Put32(reply + 4, result);
    peer->SendRaw(m->GetSource(), NS_NOTIFYTYPE_CONNECT, reply, 8);
    if (otherVersion || result != kConnectAdmitted) {
        net->Printf("Refused a client from %s (%d)", Net_FormatAddress(m->GetSource()).c_str(),
                    otherVersion ? (int)kConnectVersion : (int)result);
        return;
    }
    CGameSocket* c = net->NewConnection(&net->m_serverTypes, "client");
    c->SetReceiveCrcSeed(13);
    c->SetSendCrcSeed(13);
    c->SetAddress(m->GetSource());
    c->SetActive(true);
    c->SetKeepAlive(true);
    c->SetFrameSync(true);
    c->SetRateRequests(true);
    c->SendMessage(NS_NOTIFYTYPE_CONNECT, reply, 8);
    c->m_joinState = 1;
    c->Release();
    net->BroadcastMessage(nullptr, reconnect ? "Client reconnected" : "Client connected", 233, 137, 0);
}

// CONNECTVALIDATE (92): u32 the client's value. Answers: SETGAMESPEED (f32
// the game speed), CONNECTVALIDATE (f32 the tick rate).
void NetServer_OnConnectvalidate(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    CGameSocket* c = Conn(peer);
    if (m->GetSize() != 4 || c->m_joinState != 1) return Refuse(net, peer, m, "out of turn or wrong length");
    c->m_clientValue = NWE_Get32(m->GetData());
    c->m_joinState = 2;
    float speed = net->Clock().GameSpeed();
    float rate = net->Clock().TickRate();
    uint8_t p[4];
    std::memcpy(p, &speed, 4);
    c->SendMessage(NS_NOTIFYTYPE_SETGAMESPEED, p, 4);
    std::memcpy(p, &rate, 4);
    c->SendMessage(NS_NOTIFYTYPE_CONNECTVALIDATE, p, 4);
}

// PING_AND_GET_TIME (93): answer u64 the time of the tick after the next, u16
// the first frame the client will be sent. The client joins the waiting list
// and enters the client list at the next frame boundary.
void NetServer_OnPingAndGetTime(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    CGameSocket* c = Conn(peer);
    if (m->GetSize() != 0 || c->m_joinState < 2) return Refuse(net, peer, m, "out of turn");
    // A client already listed (it asked again) stays where it is.
    NWEListEntry* listed = net->m_clients.FindShared(c);
    if (listed)
        listed->m_guard.ReleaseShared();
    else if (!c->m_waiting) {
        c->m_waiting = 1;
        new NWEListEntry(&net->m_waiting, c);
    }
    uint64_t time = net->Clock().NextTickTime() + net->Clock().TickPeriod();
    uint16_t frame = net->m_frameTable->PeekNext();
    net->m_send.Reset();
    net->m_send.U64(time);
    net->m_send.U16(frame);
    c->SendMessage(NS_NOTIFYTYPE_PING_AND_GET_TIME, net->m_send.GetData(), 10);
}

// ASSIGNPLAYERID (96): answer u32 the client's player id; it waits until the
// client gets the frames (the registration that follows must reach it).
void NetServer_OnAssignplayerid(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    CGameSocket* c = Conn(peer);
    if (m->GetSize() != 0 || c->m_joinState < 2) return Refuse(net, peer, m, "out of turn");
    if (c->m_assignedId >= 0 && !c->m_waiting) {
        uint8_t p[4];
        NWE_Put32(p, static_cast<uint32_t>(c->m_assignedId));
        c->SendMessage(NS_NOTIFYTYPE_ASSIGNPLAYERID, p, 4);
        return;
    }
    if (c->m_waiting) {
        c->m_idWanted = 1;
        return;
    }
    c->m_assignedId = net->m_nextPlayerId++;
    c->m_joinState = 3;
    uint8_t p[4];
    NWE_Put32(p, static_cast<uint32_t>(c->m_assignedId));
    c->SendMessage(NS_NOTIFYTYPE_ASSIGNPLAYERID, p, 4);
}

// QUERY_GAMEDIR (98): answer GAMEDIR with the game folder and its zero.
void NetServer_OnQueryGamedir(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    if (m->GetSize() != 0) return Refuse(net, peer, m, "wrong length");
    net->m_send.Reset();
    WireText_Write(net->m_send, net->Flow().GameFolder(), kNetMaxFolder);
    Conn(peer)->SendMessage(NS_NOTIFYTYPE_GAMEDIR, net->m_send.GetData(),
                            static_cast<uint32_t>(net->m_send.GetBuffer().size()));
}

// QUERY_PLAYERS (99): answer u32 the player count (the neutral player not
// counted), u32 the team count; per team u32 id, u32 leader id, its name;
// per player u32 id, its information record, its alliance list. Exactly the
// bytes written.
void NetServer_OnQueryPlayers(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    if (m->GetSize() != 0) return Refuse(net, peer, m, "wrong length");
    CStateArchive& ar = net->m_send;
    ar.Reset();
    ar.WriteU32(static_cast<uint32_t>(net->CountPlayers()));
    ar.WriteU32(static_cast<uint32_t>(net->m_players.m_teams.size()));
    for (CTeam* t : net->m_players.m_teams) {
        ar.WriteU32(t->m_id);
        ar.WriteI32(t->m_leader ? t->m_leader->m_id : t->m_leaderId);
        WireText_Write(ar, t->m_name.GetText(), CPlayer::kMaxNameLength);
    }
    for (CPlayer* p : net->m_players.m_players) {
        if (p == net->m_players.m_neutral) continue;
        ar.WriteI32(p->m_id);
        p->WriteInfo(ar);
        p->WriteAllianceList(ar);
    }
    if (!Conn(peer)->SendMessage(NS_NOTIFYTYPE_QUERY_PLAYERS, ar.GetData(),
                                 static_cast<uint32_t>(ar.GetBuffer().size())))
        net->Printf("The player list does not fit in one message (%d bytes)", (int)ar.GetBuffer().size());
}

// CHANCHEMODECONNECTED (95): the client is in: "%s entered the game" to
// everyone, and the server's description to it.
void NetServer_OnChanchemodeconnected(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    CGameSocket* c = Conn(peer);
    if (m->GetSize() != 0 || c->m_joinState != 3) return Refuse(net, peer, m, "out of turn");
    if (CPlayer* p = c->FirstPlayer()) {
        CStrBuf line;
        line.Format("%s entered the game", p->m_name.GetText());
        net->BroadcastMessage(nullptr, line.GetText(), 233, 137, 0);
    }
    net->SendServerInfo(c);
    c->m_joinState = 4;
}

// DISCONNECT (90): the client leaves.
void NetServer_OnDisconnect(NWEPeer* peer, NWEMessage*, void* context) {
    CNetGame* net = Net(context);
    if ((net->m_contact && net->m_contact->Names(peer)) || net->IsLocalServerEnd(peer)) return;
    CGameSocket* c = Conn(peer);
    if (c->IsTimedOut()) return;  // one of the copies came already
    CPlayer* p = c->FirstPlayer();
    CStrBuf line;
    if (p)
        line.Format("%s\x16 disconnected", p->m_name.GetText());
    else
        line = "Client disconnected";
    net->BroadcastMessage(nullptr, line.GetText(), 233, 137, 0);
    c->m_leftCleanly = 1;
    c->SetTimedOut(true);
}

// ---- before joining (server browser contacts)

// EXTERNAL_CONNECT (80): u32 version, u8 chat flag, [name]. Answer u32: 0
// accepted, 1 another version, 2 chat not allowed.
void NetServer_OnExternalConnect(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    if (!net->m_hosting || m->GetSize() < 5) return;
    SPayload ar(m);
    uint32_t version = ar.ReadU32();
    uint8_t chat = ar.ReadU8();
    CStrBuf name;
    if (chat) WireText_Read(ar, &name, CPlayer::kMaxNameLength);
    if (!ar.Ok()) return;
    bool fromContact = net->m_contact && net->m_contact->Names(peer);
    if (!fromContact) Conn(peer)->SetTimedOut(true);
    uint8_t reply[4];
    if (version != kNetProtocolVersion) {
        NWE_Put32(reply, 1);
        peer->SendRaw(m->GetSource(), NS_NOTIFYTYPE_EXTERNAL_CONNECT, reply, 4);
        return;
    }
    if (chat && !(net->m_serverInfo.m_flags & CServerInfo::kFlagChat)) {
        NWE_Put32(reply, 2);
        peer->SendRaw(m->GetSource(), NS_NOTIFYTYPE_EXTERNAL_CONNECT, reply, 4);
        return;
    }
    CGameSocket* c = net->NewConnection(&net->m_serverPreTypes, "contact");
    c->SetReceiveCrcSeed(13);
    c->SetSendCrcSeed(13);
    c->SetAddress(m->GetSource());
    c->m_joinState = 4;
    c->SetRateRequests(true);
    c->SetActive(true);
    c->SetTimeout(net->m_serverUpdatePingTimeout > 0.0f ? std::max(net->m_serverUpdatePingTimeout, 3.0f)
                                                        : 3.0f);
    if (chat) {
        c->m_name = name;
        CStrBuf line;
        line.Format("%s connected to chat", name.GetText());
        net->BroadcastMessage(nullptr, line.GetText(), 233, 137, 0);
    }
    NWE_Put32(reply, 0);
    c->SendMessage(NS_NOTIFYTYPE_EXTERNAL_CONNECT, reply, 4);
    c->Release();
}

// EXTERNAL_PING (82): the first 4 bytes (the ping's number) go back.
void NetServer_OnExternalPing(NWEPeer* peer, NWEMessage* m, void*) {
    if (m->GetSize() < 4) return;
    peer->SendRaw(m->GetSource(), NS_NOTIFYTYPE_EXTERNAL_PING, m->GetData(), 4);
}

// EXTERNAL_BROADCAST_AREYOUTHERE (83): IMHERE with the server name.
// Handled on the engine's receiving thread: the name and the hosting flag
// are the copies the game keeps for it each frame.
void NetServer_OnExternalBroadcastAreyouthere(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    std::string name;
    {
        std::lock_guard<std::mutex> l(net->m_announceLock);
        if (!net->m_announcing) return;
        name = net->m_announcedName;
    }
    CStateArchive ar;
    WireText_Write(ar, name.c_str(), 63);
    peer->SendRaw(m->GetSource(), NS_NOTIFYTYPE_EXTERNAL_BROADCAST_IMHERE, ar.GetData(),
                  static_cast<uint32_t>(ar.GetBuffer().size()));
}

void NetServer_OnExternalDisconnect(NWEPeer* peer, NWEMessage*, void* context) {
    CNetGame* net = Net(context);
    if (!(net->m_contact && net->m_contact->Names(peer))) Conn(peer)->SetTimedOut(true);
}

// EXTERNAL_REQUESTSERVER (87): the server's description record: u32 server
// id, u8 location, u8 in progress, u8 system kind (6), u16 benchmark speed,
// u8 connection kind (2), map file, game folder, server name, u32 maximum
// players, u8 fog of war, u8 allied victory, u32 start resources, u32
// maximum units, u32 player count - 1, per player but the neutral one: its
// name, u16 value, u8 connection kind, f32 latency.
void NetServer_OnExternalRequestserver(NWEPeer* peer, NWEMessage*, void* context) {
    CNetGame* net = Net(context);
    CServerInfo& info = net->m_serverInfo;
    CStateArchive& ar = net->m_send;
    ar.Reset();
    ar.WriteU32(net->m_uniqueServerId);
    ar.WriteU8(static_cast<uint8_t>(info.m_location));
    ar.WriteU8(NetGame_InProgress(net) ? 1 : 0);
    ar.WriteU8(6);
    uint16_t speed = info.m_speed;
    ar.U16(speed);
    ar.WriteU8(2);
    WireText_Write(ar, info.m_mapFile.GetText(), 255);
    WireText_Write(ar, net->Flow().GameFolder(), kNetMaxFolder);
    WireText_Write(ar, info.m_name.GetText(), 63);
    ar.WriteI32(info.m_maxPlayers);
    ar.WriteU8(info.m_fogOfWar);
    ar.WriteU8(info.m_alliedVictory);
    ar.WriteI32(info.m_startResources);
    ar.WriteI32(info.m_maxUnits);
    ar.WriteU32(static_cast<uint32_t>(net->CountPlayers()));
    for (CPlayer* p : net->m_players.m_players) {
        if (p == net->m_players.m_neutral) continue;
        WireText_Write(ar, p->m_name.GetText(), CPlayer::kMaxNameLength);
        uint16_t value = p->m_attributeWord;
        ar.U16(value);
        ar.WriteU8(p->m_connectionKind);
        float latency = p->m_latency;
        ar.F32(latency);
    }
    Conn(peer)->SendMessage(NS_NOTIFYTYPE_EXTERNAL_REQUESTSERVER, ar.GetData(),
                            static_cast<uint32_t>(ar.GetBuffer().size()));
}

// SM_MESSAGE (88): a chat contact's line, under its own name.
void NetServer_OnSmMessage(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    SPayload ar(m);
    CStrBuf text;
    WireText_Read(ar, &text, kNetMaxChat);
    if (!ar.Ok() || Conn(peer)->m_name.IsEmpty()) return;
    net->BroadcastMessage(Conn(peer)->m_name.GetText(), text.GetText(), 255, 255, 255);
}

// ---- players and teams

// PLAYER_REGISTER (125): u32 player id, the information record. Only the id
// the server gave this client, or a player it has; the server sets the owner
// id (the record's last 4 bytes) and sends the record to every client.
void NetServer_OnPlayerRegister(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    CGameSocket* c = Conn(peer);
    // u32 player id, then the record: u32 team, u32 race, 3 x f32 colour, u8,
    // u16, the name with its zero, i32 owner id: 32 bytes and the name's
    // letters (read whole below).
    if (m->GetSize() < 32) return Refuse(net, peer, m, "wrong length");
    int32_t id = static_cast<int32_t>(NWE_Get32(m->GetData()));
    bool local = net->IsLocalServerEnd(peer);
    CPlayer* p = net->FindPlayerById(id);
    if (p ? !c->OwnsPlayer(p) : (!local && id != c->m_assignedId))
        return Refuse(net, peer, m, "another player's id");
    if (!p && (id <= 1 || (!local && c->CountPlayers() >= kMaxPlayersPerConnection)))
        return Refuse(net, peer, m, "no player for that id");
    // The record is checked whole before anything is made.
    std::vector<uint8_t> record(m->GetData(), m->GetData() + m->GetSize());
    CStateArchive check(record.data() + 4, record.size() - 4, CStateArchive::kCheck);
    if (!net->m_players.m_neutral->ReadInfo(check) || check.GetRemaining() != 0)
        return Refuse(net, peer, m, "the record does not read");
    p = net->RegisterPlayer(c, id, record);
    if (p && !p->m_computerHere) net->ComputersGiveUpColour(p, p->m_colour);
    if (c->m_joinState == 4 && !local) {
        CStrBuf line;
        CPlayer* first = c->FirstPlayer();
        line.Format("%s entered the game %d", first ? first->m_name.GetText() : p->m_name.GetText(),
                    (int)p->m_id);
        net->BroadcastMessage(nullptr, line.GetText(), 233, 137, 0);
    }
}

CPlayer* CNetGame::RegisterPlayer(CGameSocket* connection, int32_t id, std::vector<uint8_t>& record) {
    CPlayer* p = FindPlayerById(id);
    const bool fresh = !p;
    if (fresh) {
        p = NewPlayer(id);
        p->SetConnectionRecord(connection);
    }
    const int32_t owner = fresh ? m_nextOwnerId++ : p->m_ownerId;
    NWE_Put32(record.data() + record.size() - 4, static_cast<uint32_t>(owner));
    CStateArchive apply(record.data() + 4, record.size() - 4, CStateArchive::kApply);
    p->ReadInfo(apply);
    p->InsertSorted();
    SendToAllClients(NS_NOTIFYTYPE_PLAYER_REGISTER, record.data(), static_cast<int>(record.size()),
                     &p->m_sendSlot, &p->m_sendSlot);
    return p;
}

CPlayer* CNetGame::AddComputerPlayer(int32_t id, const char* name, const CRace* race, const float colour[3]) {
    if (!m_hosting || id <= 1 || FindPlayerById(id)) return nullptr;
    CGameSocket* host = TakeLocalServerEnd();
    if (!host) return nullptr;
    // The information record as a client registers its player, the
    // computer bit set; its owner id is the server's to give.
    CPlayer* p = NewPlayer(id);
    p->m_name = name;
    p->m_race = const_cast<CRace*>(race);
    for (int i = 0; i < 3; ++i) p->m_colour[i] = colour[i];
    p->m_attributeByte = CPlayer::kAttributeComputer;
    p->m_computer = p->m_computerHere = 1;
    p->SetConnectionRecord(host);
    p->m_ownerId = m_nextOwnerId++;
    p->InsertSorted();
    CStateArchive ar;
    p->WriteInfo(ar);
    std::vector<uint8_t> record(ar.GetData(), ar.GetData() + ar.GetSize());
    RegisterPlayer(host, id, record);
    m_nextPlayerId = std::max(m_nextPlayerId, id + 1);
    host->Release();
    return p;
}

namespace {
bool NearColour(const float a[3], const float b[3]) {
    return std::fabs(a[0] - b[0]) + std::fabs(a[1] - b[1]) + std::fabs(a[2] - b[2]) < 60.0f;
}
}  // namespace

int CNetGame::ComputersGiveUpColour(const CPlayer* wearer, const float colour[3]) {
    if (!m_hosting) return 0;
    int changed = 0;
    for (CPlayer* c : m_players.m_players) {
        if (c == wearer || !c->m_computerHere || !NearColour(c->m_colour, colour)) continue;
        for (SServerColor& candidate : m_colors) {
            float free[3] = {candidate.r, candidate.g, candidate.b};
            bool worn = NearColour(free, colour);
            for (const CPlayer* o : m_players.m_players)
                worn = worn ||
                       (o != c && o != wearer && o != m_players.m_neutral && NearColour(free, o->m_colour));
            if (worn) continue;
            for (SServerColor& held : m_colors)
                if (held.holder == c) held.holder = nullptr;
            candidate.holder = c;
            for (int i = 0; i < 3; ++i) c->m_colour[i] = free[i];
            m_send.Reset();
            m_send.WriteI32(c->m_id);
            m_send.F32s(free, 3);
            SendBuiltToAll(NS_NOTIFYTYPE_PLAYER_COLOR, &c->m_sendSlot);
            ++changed;
            break;
        }
    }
    return changed;
}

bool CNetGame::RemoveComputerPlayer(int32_t id) {
    CPlayer* p = FindPlayerById(id);
    if (!m_hosting || !p || !p->m_computerHere) return false;
    uint8_t payload[4];
    NWE_Put32(payload, static_cast<uint32_t>(id));
    return Send(NS_NOTIFYTYPE_DELETEPLAYER, payload, 4);
}

// PLAYER_NAME, PLAYER_RACE, PLAYER_COLOR, PLAYER_CONNECTION (126, 128 to
// 130): u32 player id, then a name, u32 race id, 3 x f32 or u8.
void NetServer_OnPlayerAttribute(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    uint32_t size = m->GetSize();
    bool fits = false;
    switch (m->GetId()) {
        case NS_NOTIFYTYPE_PLAYER_NAME: {
            SPayload ar(m);
            ar.ReadU32();
            WireText_Read(ar, nullptr, CPlayer::kMaxNameLength);
            fits = ar.End();
            break;
        }
        case NS_NOTIFYTYPE_PLAYER_RACE:
            fits = size == 8;
            break;
        case NS_NOTIFYTYPE_PLAYER_COLOR:
            fits = size == 16;
            break;
        case NS_NOTIFYTYPE_PLAYER_CONNECTION:
            fits = size == 5;
            break;
        default:
            break;
    }
    if (!fits) return Refuse(net, peer, m, "wrong length");
    CPlayer* p = OwnedPlayer(net, peer, static_cast<int32_t>(NWE_Get32(m->GetData())));
    if (!p) return Refuse(net, peer, m, "not the sender's player");
    Relay(net, m, &p->m_sendSlot);
    if (m->GetId() == NS_NOTIFYTYPE_PLAYER_COLOR && !p->m_computerHere) {
        float colour[3];
        std::memcpy(colour, m->GetData() + 4, 12);
        if (std::isfinite(colour[0]) && std::isfinite(colour[1]) && std::isfinite(colour[2]))
            net->ComputersGiveUpColour(p, colour);
    }
}

// PLAYER_TEAM (127): u32 player id, u32 team id (-1 none); not while a game runs.
void NetServer_OnPlayerTeam(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    if (m->GetSize() != 8) return Refuse(net, peer, m, "wrong length");
    if (Running(net)) return Refuse(net, peer, m, "the game runs");
    CPlayer* p = OwnedPlayer(net, peer, static_cast<int32_t>(NWE_Get32(m->GetData())));
    if (!p) return Refuse(net, peer, m, "not the sender's player");
    Relay(net, m, &p->m_sendSlot);
}

// ALLY, BREAKALLY (131, 132): u32 player id, u32 the other player's id.
void NetServer_OnAlliance(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    if (m->GetSize() != 8) return Refuse(net, peer, m, "wrong length");
    CPlayer* p = OwnedPlayer(net, peer, static_cast<int32_t>(NWE_Get32(m->GetData())));
    if (!p || !net->FindPlayerById(static_cast<int32_t>(NWE_Get32(m->GetData() + 4))))
        return Refuse(net, peer, m, "not the sender's player");
    Relay(net, m, &p->m_sendSlot);
}

// DELETEPLAYER (124): u32 player id.
void NetServer_OnDeleteplayer(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    if (m->GetSize() != 4) return Refuse(net, peer, m, "wrong length");
    int32_t id = static_cast<int32_t>(NWE_Get32(m->GetData()));
    CPlayer* p = net->FindPlayerById(id);
    bool gone = !p && net->IsLocalServerEnd(peer);  // its connection went first
    if (!gone && (!p || !Conn(peer)->OwnsPlayer(p))) return Refuse(net, peer, m, "not the sender's player");
    Relay(net, m);
}

// NEWTEAM (122): u32 -1, u32 leader id, the team name. The server makes the
// team and sends {u32 its id, u32 leader id, name} to every client.
void NetServer_OnNewteam(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    SPayload ar(m);
    ar.ReadU32();
    int32_t leaderId = ar.ReadI32();
    CStrBuf name;
    WireText_Read(ar, &name, CPlayer::kMaxNameLength);
    if (!ar.End()) return Refuse(net, peer, m, "wrong length");
    CPlayer* leader = OwnedPlayer(net, peer, leaderId);
    if (!leader) return Refuse(net, peer, m, "not the sender's player");
    if (static_cast<int>(net->m_players.m_teams.size()) >= kMaxTeams)
        return Refuse(net, peer, m, "too many teams");
    if (name.IsEmpty()) name = "Unnamed team";
    CTeam* team = new CTeam(&net->m_players, leader, name.GetText());
    net->m_send.Reset();
    net->m_send.WriteU32(team->m_id);
    net->m_send.WriteI32(leaderId);
    WireText_Write(net->m_send, name.GetText(), CPlayer::kMaxNameLength);
    net->SendBuiltToAll(NS_NOTIFYTYPE_NEWTEAM);
}

// DELETETEAM (123): u32 team id; from its leader's connection.
void NetServer_OnDeleteteam(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    if (m->GetSize() != 4) return Refuse(net, peer, m, "wrong length");
    CTeam* team = net->m_players.FindTeamById(NWE_Get32(m->GetData()));
    if (!team) return Refuse(net, peer, m, "no such team");
    if (!(team->m_leader ? Conn(peer)->OwnsPlayer(team->m_leader) : net->IsLocalServerEnd(peer)))
        return Refuse(net, peer, m, "not the team's leader");
    Relay(net, m);
}

// PLAYER_NEXTCOLOR (133): u32 player id. The next free colour of the list
// after the player's own (or a random one without a list) goes out as
// PLAYER_COLOR.
void NetServer_OnPlayerNextcolor(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    if (m->GetSize() != 4) return Refuse(net, peer, m, "wrong length");
    CPlayer* p = OwnedPlayer(net, peer, static_cast<int32_t>(NWE_Get32(m->GetData())));
    if (!p) return Refuse(net, peer, m, "not the sender's player");
    float colour[3];
    std::vector<SServerColor>& list = net->m_colors;
    if (!list.empty()) {
        size_t start = 0;
        float best = 1e30f;
        for (size_t i = 0; i < list.size(); ++i) {
            float d = std::fabs(list[i].r - p->m_colour[0]) + std::fabs(list[i].g - p->m_colour[1]) +
                      std::fabs(list[i].b - p->m_colour[2]);
            if (d < best || (d == best && list[i].holder == p)) {
                best = d;
                start = i;
            }
        }
        size_t pick = start;
        for (size_t k = 1; k <= list.size(); ++k) {
            size_t i = (start + k) % list.size();
            if (!list[i].holder) {
                pick = i;
                break;
            }
        }
        for (SServerColor& c : list)
            if (c.holder == p) c.holder = nullptr;
        list[pick].holder = p;
        colour[0] = list[pick].r;
        colour[1] = list[pick].g;
        colour[2] = list[pick].b;
    } else {
        for (float& c : colour) c = Random01() * 255.0f;
    }
    net->m_send.Reset();
    net->m_send.WriteI32(p->m_id);
    net->m_send.F32s(colour, 3);
    net->SendBuiltToAll(NS_NOTIFYTYPE_PLAYER_COLOR, &p->m_sendSlot);
}

// PLAYERS (100): the list as the connection's update sends it.
void NetServer_OnPlayers(NWEPeer* peer, NWEMessage* m, void*) {
    if (m->GetSize() != 0) return;
    Conn(peer)->m_statusChanged = 1;
}

// ---- the lockstep relays

// ORDER (134): the sender's unit, the length its order type has.
void NetServer_OnOrder(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    uint32_t length =
        m->GetSize() >= 8 ? static_cast<uint32_t>(Orders_MessageLength(NWE_Get32(m->GetData() + 4))) : 0;
    if (!length) return Refuse(net, peer, m, "no such order");
    if (CheckObjectCommand(net, peer, m, length, kClassUnit)) Relay(net, m);
}

// MODE_ON, MODE_OFF (138, 139): u32 unit id.
void NetServer_OnModeOn(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    if (CheckObjectCommand(net, peer, m, 4, kClassUnit)) Relay(net, m);
}
void NetServer_OnModeOff(NWEPeer* peer, NWEMessage* m, void* context) {
    NetServer_OnModeOn(peer, m, context);
}

// STOPCURRENTORDER (137): u32 unit id, u32 the running order's id; the
// sender's unit only.
void NetServer_OnStopcurrentorder(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    if (CheckObjectCommand(net, peer, m, 8, kClassUnit)) Relay(net, m);
}

// SIGNAL (143): u32 unit id, u8 signal.
void NetServer_OnSignal(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    if (CheckObjectCommand(net, peer, m, 5, kClassUnit)) Relay(net, m);
}

// WAYPOINTLIST (142): u32 unit id, u32 path request number, u8 flags; bit 0
// (no way) ends it there (9 bytes), else f32 height, u16 count, count x (i16,
// i16): 15 + 4 x count bytes.
void NetServer_OnWaypointlist(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    uint32_t size = m->GetSize();
    uint32_t expected = size >= 9 && (m->GetData()[8] & 1) ? 9
                        : size >= 15                       ? 15 + 4u * NWE_Get16(m->GetData() + 13)
                                                           : 15;
    if (CheckObjectCommand(net, peer, m, expected, kClassUnit)) Relay(net, m);
}

// UNIT_CONNECT (135): u32, u32 two grid members; one of them the sender's.
void NetServer_OnUnitConnect(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    if (m->GetSize() != 8) return Refuse(net, peer, m, "wrong length");
    CTessarakObject* a = FindObject(net, static_cast<int32_t>(NWE_Get32(m->GetData())));
    CTessarakObject* b = FindObject(net, static_cast<int32_t>(NWE_Get32(m->GetData() + 4)));
    if (!a || !b || !a->IsGridMember() || !b->IsGridMember()) return Refuse(net, peer, m, "no such objects");
    if (!Conn(peer)->IsSenderOf(a) && !Conn(peer)->IsSenderOf(b))
        return Refuse(net, peer, m, "not the sender's object");
    Relay(net, m);
}

// UNIT_DISCONNECT (136): u32 the sender's grid member.
void NetServer_OnUnitDisconnect(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    if (CheckObjectCommand(net, peer, m, 4, kClassGridMember)) Relay(net, m);
}

// KILLUNIT (161): u32 object id, u32 command. The sender's object; the host
// may remove any object (a command other than destroy).
void NetServer_OnKillunit(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    if (m->GetSize() != 8) return Refuse(net, peer, m, "wrong length");
    CTessarakObject* o = FindObject(net, static_cast<int32_t>(NWE_Get32(m->GetData())));
    if (!o) return Refuse(net, peer, m, "no such object");
    bool hostRemoves = NWE_Get32(m->GetData() + 4) != 0 && net->IsLocalServerEnd(peer);
    if (!Conn(peer)->IsSenderOf(o) && !hostRemoves) return Refuse(net, peer, m, "not the sender's object");
    Relay(net, m);
}

// PAUSE (162): u32 paused; the host's own decision only.
void NetServer_OnPause(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    if (m->GetSize() != 4) return Refuse(net, peer, m, "wrong length");
    if (!net->IsLocalServerEnd(peer)) return Refuse(net, peer, m, "only the host pauses");
    Relay(net, m);
}

namespace {
// Cheats, or the host's own client before the game runs (the start units)
// or while the game runs on this machine alone (the map editor).
bool MayCheat(CNetGame* net, NWEPeer* peer) {
    return net->m_serverInfo.m_cheats ||
           (net->IsLocalServerEnd(peer) && (net->Flow().GameState() != 2 || net->AloneOnThisMachine()));
}
}  // namespace

// GIVERESOURCES (160): u32 player id, f32 amount.
void NetServer_OnGiveresources(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    if (m->GetSize() != 8) return Refuse(net, peer, m, "wrong length");
    if (!MayCheat(net, peer)) return Refuse(net, peer, m, "cheats are off");
    if (!net->FindPlayerById(static_cast<int32_t>(NWE_Get32(m->GetData()))))
        return Refuse(net, peer, m, "no player");
    Relay(net, m);
}

// CREATEUNIT (110): 38 bytes, or 50 for the scene's special template.
void NetServer_OnCreateunit(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    // Any length is relayed: every machine checks it against the template
    // ("Bogus create unit datasize") and ends its placement wait.
    if (!MayCheat(net, peer)) return Refuse(net, peer, m, "cheats are off");
    Relay(net, m);
}

// GIVERESOURCESTOALL (159): u32 amount. Sent on as {u32 player id, u32
// amount} (8 bytes) for every player but the neutral one. The host also sends
// {u32 player id, f32 amount, f32 energy help} for a computer player it runs
// (what the computer player's cheating gives back, and the energy production
// it adds every tick from then on, negative for unchanged), sent on as it
// is: no message of the table carries a player's standing energy help, and
// its length tells it from the relay's form.
void NetServer_OnGiveresourcestoall(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    if (m->GetSize() == 12) {
        CPlayer* p = net->FindPlayerById(static_cast<int32_t>(NWE_Get32(m->GetData())));
        if (!p || !p->m_computerHere || !net->IsLocalServerEnd(peer))
            return Refuse(net, peer, m, "not the host's computer player");
        return Relay(net, m);
    }
    if (m->GetSize() != 4) return Refuse(net, peer, m, "wrong length");
    if (!net->m_serverInfo.m_cheats) return Refuse(net, peer, m, "cheats are off");
    for (CPlayer* p : net->m_players.m_players) {
        if (p == net->m_players.m_neutral) continue;
        net->m_send.Reset();
        net->m_send.WriteI32(p->m_id);
        net->m_send.Bytes(const_cast<uint8_t*>(m->GetData()), 4);
        net->SendBuiltToAll(NS_NOTIFYTYPE_GIVERESOURCESTOALL);
    }
}

// GAMEDIR (97): the folder name; from the host only.
void NetServer_OnGamedir(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    if (!net->IsLocalServerEnd(peer)) return Refuse(net, peer, m, "only the host changes the game folder");
    SPayload ar(m);
    WireText_Read(ar, nullptr, kNetMaxFolder);
    if (!ar.End()) return Refuse(net, peer, m, "wrong length");
    Relay(net, m);
}

// ---- chat

// MESSAGE (113): a line to everyone under the sender's player's name.
void NetServer_OnMessage(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    CStrBuf text;
    uint8_t rgb[3];
    if (!ReadChat(m, 0, &text, rgb)) return Refuse(net, peer, m, "wrong length");
    const char* sender = SenderName(net, peer);
    if (!sender) return Refuse(net, peer, m, "no player");
    if (!ChatAllowed(net, peer, m)) return;
    net->BroadcastMessage(sender, text.GetText(), rgb[0], rgb[1], rgb[2]);
}

// MESSAGE_PERSONAL (114): u32 target player id, then the chat body; the body
// goes to the target's connection.
void NetServer_OnMessagePersonal(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    CStrBuf text;
    uint8_t rgb[3];
    if (!ReadChat(m, 4, &text, rgb)) return Refuse(net, peer, m, "wrong length");
    const char* sender = SenderName(net, peer);
    CPlayer* target = net->FindPlayerById(static_cast<int32_t>(NWE_Get32(m->GetData())));
    if (!sender || !target || !target->m_connection) return Refuse(net, peer, m, "no such player");
    if (!ChatAllowed(net, peer, m)) return;
    CStateArchive ar;
    WriteChat(ar, sender, text.GetText(), rgb);
    target->m_connection->SendMessage(NS_NOTIFYTYPE_MESSAGE_PERSONAL, ar.GetData(),
                                      static_cast<uint32_t>(ar.GetBuffer().size()));
}

namespace {
// The team and allies lines: u32 the sender's player id, then the body; to
// the sender and to every connection of a team member (or ally).
void ChatToGroup(NWEPeer* peer, NWEMessage* m, void* context, bool team) {
    CNetGame* net = Net(context);
    CStrBuf text;
    uint8_t rgb[3];
    if (!ReadChat(m, 4, &text, rgb)) return Refuse(net, peer, m, "wrong length");
    CPlayer* sender = OwnedPlayer(net, peer, static_cast<int32_t>(NWE_Get32(m->GetData())));
    if (!sender) return Refuse(net, peer, m, "not the sender's player");
    if (!ChatAllowed(net, peer, m)) return;
    CStateArchive ar;
    WriteChat(ar, sender->m_name.GetText(), text.GetText(), rgb);
    std::vector<NWEPeer*> to = {peer};
    for (CPlayer* p : net->m_players.m_players) {
        if (!p->m_connection || p == sender) continue;
        bool member = team ? (sender->m_team && p->m_team == sender->m_team) : sender->IsAlliedWith(p);
        if (member && std::find(to.begin(), to.end(), p->m_connection) == to.end())
            to.push_back(p->m_connection);
    }
    for (NWEPeer* c : to)
        c->SendMessage(m->GetId(), ar.GetData(), static_cast<uint32_t>(ar.GetBuffer().size()));
}
}  // namespace

void NetServer_OnMessageTeam(NWEPeer* peer, NWEMessage* m, void* context) {
    ChatToGroup(peer, m, context, true);
}
void NetServer_OnMessageAllies(NWEPeer* peer, NWEMessage* m, void* context) {
    ChatToGroup(peer, m, context, false);
}

// ---- the game start

// STARTGAME (102): from the host's own client only, when every client joined
// and holds the map; then SYNC_UPDATETIMINGINFO and STARTGAME to everyone.
void NetServer_OnStartgame(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    std::vector<CGameSocket*> clients = net->TakeClients();
    bool connecting = net->m_waiting.GetCount() > 0, downloading = false;
    for (CGameSocket* c : clients) {
        if (net->IsLocalServerEnd(c)) continue;
        connecting = connecting || c->m_joinState != 4;
        downloading = downloading || !c->m_mapPresent;
    }
    if (net->Flow().GameType() == 2) {
        if (net->CountPlayers() < 2) {
            net->BroadcastMessage(nullptr, "You cannot start the game with less than 2 players", 255, 255,
                                  255);
        } else if (connecting) {
            net->BroadcastMessage(nullptr, "Cannot start game. Someone is connecting", 255, 255, 255);
        } else if (downloading) {
            net->BroadcastMessage(nullptr, "Cannot start game. Someone is still downloading the map", 255,
                                  255, 255);
        } else {
            connecting = false;
        }
        if (net->CountPlayers() < 2 || connecting || downloading) {
            CNetGame::ReleaseAll(clients);
            return;
        }
    }
    if (!net->IsLocalServerEnd(peer)) {
        CNetGame::ReleaseAll(clients);
        return Refuse(net, peer, m, "only the host starts the game");
    }
    // The request names the saved game this start continues, the one this
    // server hosts, or none (CNetGame::SendStartRequest).
    uint32_t saveCrc = 0;
    CStrBuf save;
    if (!CNetGame::ReadStartRequest(m->GetData(), m->GetSize(), &saveCrc, &save) ||
        !save.Equals(net->HostedSavedGame().GetText())) {
        CNetGame::ReleaseAll(clients);
        return Refuse(net, peer, m, "names another saved game");
    }
    for (CGameSocket* c : clients) c->m_startReply = 0;
    CNetGame::ReleaseAll(clients);
    if (net->HasGameClock()) {
        net->WriteTimingInfo();
        net->SendBuiltToAll(NS_NOTIFYTYPE_SYNC_UPDATETIMINGINFO);
        // The timing carries the rate this machine ticks at now; a rate the
        // speed control sent for this frame (or the one before, not run yet)
        // would be undone by it on the clients alone: it goes again after.
        float pending = net->m_lastRateSent;
        if (pending > 0.0f && pending != net->Clock().TickRate()) {
            net->m_send.Reset();
            net->m_send.F32(pending);
            net->SendBuiltToAll(NS_NOTIFYTYPE_SETTARGETFPS);
        }
    }
    Relay(net, m);
}

// STARTGAME_REPLY (103) and MAPCHANGESTART_REPLY (105): no data when the
// machine started the game (loaded the map); one byte of 1 when it could not
// (its unit files or the map box did not load). A failure calls the start
// off on every machine: MAPFINISHUP goes with the same one byte of 1, and
// everyone goes back to the lobby; the handshake no longer waits for a reply
// that never comes.
static bool StartFailed(NWEMessage* m) {
    return m->GetSize() == 1 && m->GetData()[0] == 1;
}

static void CallStartOff(CNetGame* net, NWEPeer* peer) {
    CPlayer* player = Conn(peer)->FirstPlayer();
    std::string text = std::string("The game could not start on ") +
                       (player ? player->m_name.GetText() : "a machine") + "; back to the lobby";
    net->BroadcastMessage(nullptr, text.c_str(), 255, 255, 255);
    const uint8_t failed = 1;
    net->SendToAllClients(NS_NOTIFYTYPE_MAPFINISHUP, &failed, 1);
}

void NetServer_OnStartgameReply(NWEPeer* peer, NWEMessage* m, void* context) {
    if (!Joined(Net(context), peer, m)) return;
    if (StartFailed(m)) return CallStartOff(Net(context), peer);
    Conn(peer)->m_startReply = 1;
}
void NetServer_OnMapchangestartReply(NWEPeer* peer, NWEMessage* m, void* context) {
    if (!Joined(Net(context), peer, m)) return;
    if (StartFailed(m)) return CallStartOff(Net(context), peer);
    Conn(peer)->m_mapChangeReply = 1;
}
void NetServer_OnMapfinishupReply(NWEPeer* peer, NWEMessage* m, void* context) {
    if (!Joined(Net(context), peer, m)) return;
    Conn(peer)->m_mapFinishReply = 1;
}
void NetServer_OnEmpty(NWEPeer*, NWEMessage*, void*) {}

// FRAMEFINISHED (84): u16 the frame the client finished.
void NetServer_OnFramefinished(NWEPeer* peer, NWEMessage* m, void* context) {
    if (m->GetSize() != 2 || !Joined(Net(context), peer, m)) return;
    Conn(peer)->m_finishedFrame = NWE_Get16(m->GetData());
}

// ASKFORFRAME (144): answer u16 the current frame.
void NetServer_OnAskforframe(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    if (!Joined(net, peer, m)) return;
    uint8_t p[2];
    uint16_t frame = net->m_frameTable->GetCurrentNumber();
    p[0] = static_cast<uint8_t>(frame);
    p[1] = static_cast<uint8_t>(frame >> 8);
    Conn(peer)->SendMessage(NS_NOTIFYTYPE_ASKFORFRAME, p, 2);
}

// PING (112): u16 slot index (0 to 7), u16 the client's average ping x
// 6553.5, u32 the client's current frame, f32 its frame time minus its lag
// estimate (the lead it keeps behind the server, which the server works out
// again from the same terms: a tick, 1.25 pings). The client's time lag is
// what it runs behind the server's frame beyond that lead. Answer: u16 the
// same index; for index 0 also u16 the game speed to the nearest integer and
// u64 the clock's next-tick time (12 bytes), else 2 bytes.
void NetServer_OnPing(NWEPeer* peer, NWEMessage* m, void* context) {
    // Handled at once on the engine's receiving thread (the table's option
    // D): it touches only the connection's ping fields (under its lock), the
    // frame table's current number and the clock values the game leaves for
    // it; the players take the reported ping in the game's own frame. A
    // malformed ping is dropped without a line (the console is the game's).
    CNetGame* net = Net(context);
    CGameSocket* c = Conn(peer);
    if (m->GetSize() != 12) return;
    const uint8_t* d = m->GetData();
    uint16_t index = NWE_Get16(d);
    uint16_t latency = NWE_Get16(d + 2);
    uint32_t frame = NWE_Get32(d + 4);
    float value;
    std::memcpy(&value, d + 8, 4);
    if (index > 7) return;
    const float ping = latency * (1.0f / 6553.5f);
    // What a client reports sets the game's pace: numbers in reason only.
    const float rate = std::max(net->m_pingRate.load(), 1.0f);
    const float lead = std::min(std::max(1.0f / rate + 1.25f * ping, 0.1111f), 1.0f);
    const float frameTime = value + lead;
    {
        std::lock_guard<std::mutex> l(c->m_pingLock);
        c->m_reportedPing = ping;
        c->m_frameTime = frameTime == frameTime ? std::min(std::max(frameTime, 0.001f), 10.0f) : 0.1f;
        if (frame >= 1 && frame <= kLastFrameNumber) {
            c->m_reportedFrame = static_cast<uint16_t>(frame);
            const uint16_t server = net->m_frameTable->GetCurrentNumber();
            const int behind = NWEFrameTable::Compare(server, c->m_reportedFrame) > 0
                                   ? (server - c->m_reportedFrame + kLastFrameNumber) % kLastFrameNumber
                                   : 0;
            c->m_timeLag = std::min(std::max(behind / rate - lead, 0.0f), 60.0f);
        }
        c->m_lastPing = net->GetClock().Now();
    }
    uint8_t out[12];
    NWE_Put16(out, index);
    uint32_t size = 2;
    if (index == 0) {
        const float speed = net->m_pingSpeed.load();
        NWE_Put16(out + 2, static_cast<uint16_t>(std::lround(std::min(std::max(speed, 0.0f), 65535.0f))));
        const uint64_t next = net->m_pingNextTick.load();
        NWE_Put32(out + 4, static_cast<uint32_t>(next));
        NWE_Put32(out + 8, static_cast<uint32_t>(next >> 32));
        size = 12;
    }
    c->SendMessage(NS_NOTIFYTYPE_PING, out, size);
    c->m_statusChanged = 1;
}

// DUMMYDATA (101): u32 words asked for (low 16 bits, at most 32000). Answer
// u32 n, u32 the calendar time, n filler words; only to the host's own
// client or a client whose link has room.
void NetServer_OnDummydata(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    if (m->GetSize() != 4) return;
    CGameSocket* c = Conn(peer);
    uint32_t n = std::min<uint32_t>(NWE_Get32(m->GetData()) & 0xFFFF, 32000);
    if (!net->IsLocalServerEnd(peer) && c->GetPendingBytes() > c->GetSendRate()) return;
    std::vector<uint8_t> out(8 + 2 * n, 0);
    NWE_Put32(out.data(), n);
    NWE_Put32(out.data() + 4, static_cast<uint32_t>(std::time(nullptr)));
    c->SendMessage(NS_NOTIFYTYPE_DUMMYDATA, out.data(), static_cast<uint32_t>(out.size()));
}

// SERVERINFO_MAPCRCMATCH (119): the map file the client holds with our checksum.
void NetServer_OnServerinfoMapcrcmatch(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    if (!Joined(net, peer, m)) return;
    SPayload ar(m);
    CStrBuf file;
    WireText_Read(ar, &file, 255, false);
    if (ar.End() && net->m_serverInfo.m_mapFile.Equals(file.GetText())) Conn(peer)->m_mapPresent = 1;
}

// REQUESTMAP (120): the hosted map's name; its box goes as MAPBOX (name,
// then the box's bytes). Only the hosted map is ever sent.
void NetServer_OnRequestmap(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    SPayload ar(m);
    CStrBuf file;
    WireText_Read(ar, &file, 255, false);
    const CStrBuf& hosted = net->m_serverInfo.m_mapFile;
    if (!ar.End() || hosted.IsEmpty() || !hosted.Equals(file.GetText()))
        return Refuse(net, peer, m, "not the hosted map");
    CStrBuf name;
    name.Format("%s\\MapData.box", hosted.GetText());
    if (!net->SendMapBox(Conn(peer), net->Files().GetPath("Maps", name.GetText())))
        net->PrintColor(255, 0, 0, false, "Error sending map to client, file would not open");
}

// ---- the sync answers

// SYNC_INFO_UNIT (150): u32 object id. Answer: the object's sync state, or
// nothing when it is gone; only while a resync runs.
void NetServer_OnSyncInfoUnit(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    if (m->GetSize() != 4) return Refuse(net, peer, m, "wrong length");
    if (!net->m_resyncing) return Refuse(net, peer, m, "no resync runs");
    CTessarakObject* o = FindObject(net, static_cast<int32_t>(NWE_Get32(m->GetData())));
    net->m_send.Reset();
    if (o) o->WriteSyncState(net->m_send);
    Conn(peer)->SendMessage(NS_NOTIFYTYPE_SYNC_INFO_UNIT, net->m_send.GetData(),
                            static_cast<uint32_t>(net->m_send.GetBuffer().size()));
}

void NetServer_OnSyncGotallunits(NWEPeer* peer, NWEMessage* m, void* context) {
    if (!Joined(Net(context), peer, m)) return;
    Conn(peer)->m_gotAllUnits = 1;
}
void NetServer_OnSyncSyncfinished(NWEPeer* peer, NWEMessage* m, void* context) {
    if (!Joined(Net(context), peer, m)) return;
    Conn(peer)->m_syncFinished = 1;
}

// SYNC_REPORT (158): a client is out of step: a full resync in 30 ticks,
// when none is coming; once in a while per client. Without data it is a
// client's request for a resync (a tick forced past a frame it did not have
// whole): taken as it is. With data it names what the client found
// (SyncChecks.h), and is taken only when the server's own checks show that
// difference. A resync that a client cannot be served (it never answers) ends
// with that client dropped and the others going on (CNetGame::StepResync).
void NetServer_OnSyncReport(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    CGameSocket* c = Conn(peer);
    if (m->GetSize() != 0) {
        SSyncReport report;
        if (!SyncReport_Read(m->GetData(), m->GetSize(), &report))
            return Refuse(net, peer, m, "names nothing");
        if (!net->m_sentChecks.Agrees(report))
            return Refuse(net, peer, m, "the server's checks find no difference");
    }
    if (!c->m_syncReports.Take(net->GetClock().Seconds(net->GetClock().Now())))
        return Refuse(net, peer, m, "asked for a resync just before");
    if (net->m_resyncCountdown == 0) net->m_resyncCountdown = 30;
}
