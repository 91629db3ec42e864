// The client's handlers: what every machine (the host's own client
// included) does with what its server sends. The lockstep ones run in the
// frame they carry, in the same tick on every machine. Every payload is
// checked whole before anything is taken from it: a message that does not
// fit, or names an object, player or team that is not there, changes nothing.
#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/CRC32.h"
#include "core/SysUtil.h"
#include "core/VFSFile.h"
#include "netgame/MapFiles.h"
#include "netgame/NetGame.h"
#include "netgame/NetHandlerKit.h"
#include "netgame/NetHandlers.h"
#include "platform/sys/Path.h"
#include "world/GameScene.h"
#include "world/OrderMessages.h"
#include "world/PhysicsEngine.h"
#include "world/TessarakObject.h"
#include "world/Unit.h"
#include "world/WireText.h"

using namespace netkit;

namespace {
// The message came on this machine's link to its server (the host's own
// client's link when hosting): nothing else may act as the server.
bool FromServer(CNetGame* net, NWEPeer* peer) {
    NWEListEntry* holder = net->m_hosting ? net->m_localClientEnd : net->m_clientLink;
    return holder && holder->Names(peer);
}

CGameScene* Scene(CNetGame* net) {
    return net->World() ? &net->World()->Scene() : nullptr;
}

CTessarakObject* FindObject(CNetGame* net, const uint8_t* data) {
    CGameScene* scene = Scene(net);
    return scene ? scene->m_idTable.Find(static_cast<int32_t>(NWE_Get32(data))) : nullptr;
}

bool Finite(float v) {
    return v == v && v > -1.0e30f && v < 1.0e30f;
}

// A tick rate a clock can run at.
float SaneRate(float rate) {
    if (!(rate == rate)) return 0.0f;
    return std::min(std::max(rate, 1.5f), 120.0f);
}
}  // namespace

// ---- the join

// CONNECT's answer (81): u32 13, u32 result.
void NetClient_OnConnect(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    CGameSocket* link = Conn(peer);
    if (!net->m_clientLink || !net->m_clientLink->Names(peer) || m->GetSize() != 8) return;
    uint32_t version = NWE_Get32(m->GetData());
    uint32_t result = NWE_Get32(m->GetData() + 4);
    if (version != kNetProtocolVersion) {
        net->m_joinFailure = kConnectVersion;
        link->SetTimedOut(true);
        net->PrintColor(255, 0, 0, false, "Error, server has a diffrent protocol version from yours");
        return;
    }
    if (result != kConnectAdmitted) {
        net->m_joinFailure = static_cast<int32_t>(result);
        link->SetTimedOut(true);
        return;
    }
    if (link->m_joinState >= 1) return;  // the copy through the new connection
    link->SetSendCrcSeed(13);
    link->SetAddress(m->GetSource());
    link->SetActive(true);
    link->m_joinState = 1;
    link->m_subState = 1;
    uint8_t value[4];
    NWE_Put32(value, net->Flow().InstanceValue());
    link->SendOn(NS_NOTIFYTYPE_CONNECTVALIDATE, value, 4);
}

void NetClient_OnConnectvalidate(NWEPeer* peer, NWEMessage*, void* context) {
    if (FromServer(Net(context), peer)) Conn(peer)->m_validated = 1;
}

// PING_AND_GET_TIME's answer (93): u64 the time of the first tick, u16 the
// first frame.
void NetClient_OnPingAndGetTime(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    if (!FromServer(net, peer) || m->GetSize() != 10) return;
    SPayload ar(m);
    uint64_t time = 0;
    ar.U64(time);
    uint16_t frame = ar.ReadU16();
    if (frame < 1 || frame > kLastFrameNumber) return;
    net->Clock().SetClockTimes(time, time);
    // Frames the server sent meanwhile are kept: they come after this one.
    net->m_frameTable->SetCurrent(frame);
    net->m_frameExecuted = 0;
    Conn(peer)->m_replied = 1;
    net->Flow().QueueScript("Connected.cfg");
}

void NetClient_OnServerquit(NWEPeer* peer, NWEMessage*, void* context) {
    CNetGame* net = Net(context);
    if (net->m_hosting || !FromServer(net, peer)) return;
    CGameSocket* link = Conn(peer);
    if (link->m_joinState != 5) net->Printf("Server quit");
    link->m_joinState = 5;
    link->SetTimedOut(true);
}

// ASSIGNPLAYERID's answer (96): u32 this machine's player id.
void NetClient_OnAssignplayerid(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    if (!FromServer(net, peer) || m->GetSize() != 4) return;
    int32_t id = static_cast<int32_t>(NWE_Get32(m->GetData()));
    CPlayer* local = net->LocalPlayer();
    if (local && id > 1 && !net->FindPlayerById(id)) local->SetId(id);
    Conn(peer)->m_replied = 1;
}

// GAMEDIR (97): the game folder's name.
void NetClient_OnGamedir(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    if (!FromServer(net, peer)) return;
    SPayload ar(m);
    CStrBuf folder;
    WireText_Read(ar, &folder, kNetMaxFolder, false);
    Conn(peer)->m_replied = 1;
    if (!ar.End() || net->m_hosting) return;
    if (!net->Flow().ExecStartup(folder.GetText())) net->Printf("The server's game folder is refused");
}

// QUERY_PLAYERS' answer (99): the teams and the players of the game.
void NetClient_OnQueryPlayers(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    if (!FromServer(net, peer)) return;
    Conn(peer)->m_replied = 1;
    if (net->m_hosting) return;
    // Checked whole first (nothing is taken from a list that does not read).
    for (CStateArchive::EMode pass : {CStateArchive::kCheck, CStateArchive::kApply}) {
        CStateArchive ar(m->GetData(), m->GetSize(), pass);
        uint32_t players = 0, teams = 0;
        ar.Count(players, 44);
        ar.Count(teams, 9);
        for (uint32_t i = 0; ar.Ok() && i < teams; ++i) {
            uint32_t id = ar.ReadU32();
            int32_t leader = ar.ReadI32();
            CStrBuf name;
            WireText_Read(ar, &name, CPlayer::kMaxNameLength);
            if (pass == CStateArchive::kApply && ar.Ok() && !net->m_players.FindTeamById(id)) {
                CTeam* t = new CTeam(&net->m_players, net->FindPlayerById(leader), name.GetText());
                t->m_id = id;
                t->m_leaderId = leader;
                net->m_players.m_nextTeamId = std::max(net->m_players.m_nextTeamId, id + 1);
            }
        }
        for (uint32_t i = 0; ar.Ok() && i < players; ++i) {
            int32_t id = ar.ReadI32();
            int32_t again = ar.ReadI32();
            // The neutral and this machine's own player are never taken over.
            CPlayer* p = net->FindPlayerById(id);
            bool own = p == net->m_players.m_neutral || p == net->m_players.m_local || id != again || id < 0;
            if (pass == CStateArchive::kApply && !own && !p) {
                p = net->NewPlayer(id);
            }
            CPlayer* reader = own || pass == CStateArchive::kCheck ? net->m_players.m_neutral : p;
            CStateArchive::EMode mode = ar.SetReadMode(own ? CStateArchive::kCheck : pass);
            reader->ReadInfo(ar);
            ar.ReadI32();
            reader->ReadAllianceList(ar);
            ar.SetReadMode(mode);
            if (pass == CStateArchive::kApply && p && !own) p->InsertSorted();
        }
        if (!ar.Ok() || ar.GetRemaining() != 0) return;
    }
    net->ResolveTeamLeaders();
}

// PLAYERS (100): u32 count, per player u32 id, u16 latency x 6553.5, u16
// load x 32.
void NetClient_OnPlayers(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    if (!FromServer(net, peer)) return;
    SPayload ar(m);
    uint32_t n = 0;
    ar.Count(n, 8);
    if (!ar.Ok() || ar.GetRemaining() != n * 8) return;
    for (uint32_t i = 0; i < n; ++i) {
        CPlayer* p = net->FindPlayerById(ar.ReadI32());
        uint16_t latency = ar.ReadU16();
        uint16_t load = ar.ReadU16();
        if (!p) continue;
        if (!net->m_hosting) p->m_latency = latency * 0.00015259022f;
        p->m_load = load * 0.03125f;
    }
}

// ---- players and teams (in their frames)

namespace {
CPlayer* PlayerOf(CNetGame* net, NWEPeer* peer, NWEMessage* m, uint32_t length) {
    if (!FromServer(net, peer) || m->GetSize() < length) return nullptr;
    return net->FindPlayerById(static_cast<int32_t>(NWE_Get32(m->GetData())));
}
}  // namespace

void NetClient_OnDeleteplayer(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    if (m->GetSize() != 4) return;
    net->DeletePlayer(PlayerOf(net, peer, m, 4));
}

// PLAYER_REGISTER (125): u32 player id, the information record.
void NetClient_OnPlayerRegister(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    if (!FromServer(net, peer) || m->GetSize() < 4) return;
    CStateArchive check(m->GetData() + 4, m->GetSize() - 4, CStateArchive::kCheck);
    if (!net->m_players.m_neutral->ReadInfo(check) || check.GetRemaining() != 0) return;
    int32_t id = static_cast<int32_t>(NWE_Get32(m->GetData()));
    if (id <= 0) return;
    CPlayer* p = net->FindPlayerById(id);
    if (!p) {
        p = net->NewPlayer(id);
    }
    CStateArchive ar(m->GetData() + 4, m->GetSize() - 4, CStateArchive::kApply);
    p->ReadInfo(ar);
    p->InsertSorted();
}

void NetClient_OnPlayerName(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    CPlayer* p = PlayerOf(net, peer, m, 5);
    if (!p) return;
    SPayload ar(m);
    ar.ReadU32();
    CStrBuf name;
    WireText_Read(ar, &name, CPlayer::kMaxNameLength);
    if (ar.End()) p->m_name = name;
}

void NetClient_OnPlayerTeam(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    CPlayer* p = m->GetSize() == 8 ? PlayerOf(net, peer, m, 8) : nullptr;
    if (p) p->SetTeamRecord(net->m_players.FindTeamById(NWE_Get32(m->GetData() + 4)));
}

void NetClient_OnPlayerRace(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    CPlayer* p = m->GetSize() == 8 ? PlayerOf(net, peer, m, 8) : nullptr;
    if (!p) return;
    CRace* r = net->m_players.FindRaceById(NWE_Get32(m->GetData() + 4));
    p->m_race = r ? r : net->m_players.GetFirstRace();
    if (p->m_race) p->m_raceName = p->m_race->m_name;
}

void NetClient_OnPlayerColor(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    CPlayer* p = m->GetSize() == 16 ? PlayerOf(net, peer, m, 16) : nullptr;
    if (!p) return;
    float c[3];
    std::memcpy(c, m->GetData() + 4, 12);
    for (int i = 0; i < 3; ++i)
        if (Finite(c[i])) p->m_colour[i] = std::min(std::max(c[i], 0.0f), 255.0f);
}

void NetClient_OnPlayerConnection(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    CPlayer* p = m->GetSize() == 5 ? PlayerOf(net, peer, m, 5) : nullptr;
    if (p) p->m_connectionKind = m->GetData()[4];
}

// NEWTEAM (122): u32 team id, u32 leader id, its name.
void NetClient_OnNewteam(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    if (!FromServer(net, peer)) return;
    SPayload ar(m);
    uint32_t id = ar.ReadU32();
    int32_t leader = ar.ReadI32();
    CStrBuf name;
    WireText_Read(ar, &name, CPlayer::kMaxNameLength);
    if (!ar.End() || net->m_players.FindTeamById(id)) return;
    CTeam* t = new CTeam(&net->m_players, net->FindPlayerById(leader), name.GetText());
    t->m_id = id;
    t->m_leaderId = leader;
    net->m_players.m_nextTeamId = std::max(net->m_players.m_nextTeamId, id + 1);
}

void NetClient_OnDeleteteam(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    if (!FromServer(net, peer) || m->GetSize() != 4) return;
    delete net->m_players.FindTeamById(NWE_Get32(m->GetData()));
}

void NetClient_OnAlly(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    CPlayer* p = m->GetSize() == 8 ? PlayerOf(net, peer, m, 8) : nullptr;
    CPlayer* other = p ? net->FindPlayerById(static_cast<int32_t>(NWE_Get32(m->GetData() + 4))) : nullptr;
    if (!other) return;
    p->RemoveAlly(other);
    p->AddAlly(other);
}

void NetClient_OnBreakally(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    CPlayer* p = m->GetSize() == 8 ? PlayerOf(net, peer, m, 8) : nullptr;
    CPlayer* other = p ? net->FindPlayerById(static_cast<int32_t>(NWE_Get32(m->GetData() + 4))) : nullptr;
    if (other) p->RemoveAlly(other);
}

// ---- the server's description and the map

void NetClient_OnServerinfoAttribs(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    if (!FromServer(net, peer)) return;
    SPayload ar(m);
    CServerInfo scratch;
    if (scratch.ReadAttributes(ar) && ar.GetRemaining() == 0) {
        SPayload again(m);
        net->m_joinedInfo.ReadAttributes(again);
        net->m_players.m_alliedVictory = net->m_joinedInfo.m_alliedVictory;
    }
}

// SERVERINFO_MAP (118): the map and its checksum. A client with the same
// box says so (119); any other asks for it (120).
void NetClient_OnServerinfoMap(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    if (!FromServer(net, peer)) return;
    SPayload ar(m);
    CServerInfo& info = net->m_joinedInfo;
    if (!info.ReadMap(ar) || ar.GetRemaining() != 0) return;
    const char* file = info.m_mapFile.GetText();
    if (file[0] && !net->Maps().SetMapName(file)) return;
    uint32_t own = MapBox_Checksum(net->Files(), file);
    net->m_send.Reset();
    WireText_Write(net->m_send, file, 255);
    if (own == info.m_mapChecksum) {
        net->SendBuilt(NS_NOTIFYTYPE_SERVERINFO_MAPCRCMATCH);
        net->Maps().LoadMapInfo(file);
    } else {
        net->m_requestedMap = info.m_mapFile;
        net->SendBuilt(NS_NOTIFYTYPE_REQUESTMAP);
    }
}

// MAPBOX (121): the map's name, then its box. Only the map this machine
// asked for, from its server, with the checksum the server announced, is
// written; the box goes to a temporary file that takes the box's place once
// whole.
void NetClient_OnMapbox(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    if (!FromServer(net, peer) || net->m_hosting) return;
    SPayload ar(m);
    CStrBuf name;
    WireText_Read(ar, &name, 255, false);
    if (!ar.Ok() || net->m_requestedMap.IsEmpty() || !net->m_requestedMap.Equals(name.GetText()) ||
        !MapName_IsPlain(name.GetText()))
        return;
    const uint8_t* box = m->GetData() + ar.GetPosition();
    uint32_t size = static_cast<uint32_t>(ar.GetRemaining());
    if (CRC32_Compute(box, size) != net->m_joinedInfo.m_mapChecksum) {
        net->PrintColor(255, 0, 0, false, "Error saving dynamicly loaded map");
        return;
    }
    CStrBuf folder(net->Files().GetPath("Maps", name.GetText()));
    CStrBuf path, temporary;
    path.Format("%s\\MapData.box", folder.GetText());
    temporary.Format("%s\\MapData.box.part", folder.GetText());
    CVFSFile out;
    bool ok = CreateDirectoryPath(folder.GetText()) && out.Open(temporary.GetText(), CVFSFile::kModeWrite) &&
              out.Write(box, size) == size;
    ok = out.Close() && ok;
    if (!ok || !Sys_RenameFile(temporary.GetText(), path.GetText())) {
        Sys_DeleteFile(temporary.GetText());
        net->PrintColor(255, 0, 0, false, "Error saving dynamicly loaded map");
        return;
    }
    // Its scripts run restricted whenever it is played, also later by this
    // machine's own server.
    if (!MapBox_MarkFromServer(net->Files(), name.GetText(), net->m_joinedInfo.m_mapChecksum))
        net->PrintColor(255, 0, 0, false, "Error saving dynamicly loaded map");
    net->m_requestedMap.Clear();
    net->m_send.Reset();
    WireText_Write(net->m_send, name.GetText(), 255);
    net->SendBuilt(NS_NOTIFYTYPE_SERVERINFO_MAPCRCMATCH);
    if (net->m_joinedInfo.m_mapFile.Equals(name.GetText())) net->Maps().LoadMapInfo(name.GetText());
}

// ---- the game start and its timing

void NetClient_OnMapchangestart(NWEPeer* peer, NWEMessage*, void* context) {
    CNetGame* net = Net(context);
    if (!FromServer(net, peer)) return;
    net->TakeSavedGameAnnouncement(net->m_startSaveCrc, net->m_startSave.GetText());
    net->m_startSave.Clear();
    net->m_startSaveCrc = 0;
    // A saved game that this machine cannot load calls the start off, on
    // every machine (the failure reply), before any map is loaded.
    if (net->SavedGamePending() && !net->SavedGameError().empty()) {
        net->PrintColor(255, 0, 0, true, "Error loading saved game '%s': %s",
                        net->PendingSavedGame().GetText(), net->SavedGameError().c_str());
        const uint8_t failed = 1;
        net->Send(NS_NOTIFYTYPE_MAPCHANGESTART_REPLY, &failed, 1);
        return;
    }
    // Nothing of the scene's orders is drawn until the game loop starts.
    if (CWorld* world = net->World()) world->Scene().m_overlaySuppress = 1;
    net->Maps().LoadMap();
    net->AttachObjectsToPlayers();
}

// MAPFINISHUP (106): no data, the map phase ends; one byte of 1, the start
// was called off (a machine could not start): back to the lobby.
void NetClient_OnMapfinishup(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    if (!FromServer(net, peer)) return;
    if (m->GetSize() == 1 && m->GetData()[0] == 1)
        net->Maps().CallOffGameStart();
    else
        net->Maps().AfterMapLoad();
}

// STARTGAME (102): the host's start request as it came: nothing for a new
// game, or u32 the CRC-32 of the saved game's file and its name with the
// zero. This machine keeps the name; MAPCHANGESTART reads and checks its own
// copy (the game's units are loaded by then) and calls the start off when it
// cannot take it, and the game loop's start takes it.
void NetClient_OnStartgame(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    if (!FromServer(net, peer)) return;
    // The saved game is read and checked at MAPCHANGESTART, once this
    // machine has loaded the game's units (CGame::StartGame).
    if (!CNetGame::ReadStartRequest(m->GetData(), m->GetSize(), &net->m_startSaveCrc, &net->m_startSave))
        net->m_startSave = "/";  // names no file: the start is called off
    net->Flow().SetGuiWord(0);
    net->Flow().SetGameState(0);
    std::stable_sort(net->m_players.m_players.begin(), net->m_players.m_players.end(), &CPlayer::CompareById);
}

// SETGAMELOOP (111): no data (bytes that come anyway are not read): the game
// runs its render frames from here on.
void NetClient_OnSetgameloop(NWEPeer* peer, NWEMessage*, void* context) {
    CNetGame* net = Net(context);
    if (!FromServer(net, peer)) return;
    net->Flow().SetGameLoading(false);
    net->Flow().SetGameState(2);
    net->Flow().SetGuiWord(0);
    net->StartGameLoop();
    // The map (or the saved game) is whole: its orders may be drawn.
    if (CWorld* world = net->World()) world->Scene().m_overlaySuppress = 0;
}

// SETGAMESPEED (108): f32 the game speed, taken at any value the clock can
// run at: a negative, not finite or absurd one (above a million times real
// time, which would overflow the clock's real time) is refused.
void NetClient_OnSetgamespeed(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    if (!FromServer(net, peer) || m->GetSize() != 4) return;
    float speed;
    std::memcpy(&speed, m->GetData(), 4);
    if (std::isfinite(speed) && speed >= 0.0f && speed <= kMaxGameSpeed) net->Clock().SetGameSpeed(speed);
}

// SETTARGETFPS (109): f32 ticks per second.
void NetClient_OnSettargetfps(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    if (!FromServer(net, peer) || m->GetSize() != 4) return;
    float rate;
    std::memcpy(&rate, m->GetData(), 4);
    if (SaneRate(rate) > 0.0f) net->Clock().SetTickRate(SaneRate(rate));
}

// UPDATETIMINGINFO, SYNC_UPDATETIMINGINFO (94, 156): f32 tick rate, u64 the
// next tick's time, u64 the game time.
void NetClient_OnUpdateTimingInfo(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    if (!FromServer(net, peer) || m->GetSize() != 20 || net->m_hosting) return;
    SPayload ar(m);
    float rate = 0.0f;
    ar.F32(rate);
    uint64_t next = 0, time = 0;
    ar.U64(next);
    ar.U64(time);
    if (SaneRate(rate) > 0.0f) net->Clock().SetTickRate(SaneRate(rate));
    net->Clock().SetClockTimes(next, time);
}

void NetClient_OnPause(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    if (FromServer(net, peer) && m->GetSize() == 4) net->Clock().SetPaused(NWE_Get32(m->GetData()) != 0);
}

void NetClient_OnFramefinished(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    if (FromServer(net, peer) && m->GetSize() == 2) net->m_awaitedFinishMark = NWE_Get16(m->GetData());
}

// ASKFORFRAME's answer (144): u16 the server's current frame.
void NetClient_OnAskforframe(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    if (!FromServer(net, peer) || m->GetSize() != 2) return;
    uint16_t frame = NWE_Get16(m->GetData());
    if (frame >= 1 && frame <= kLastFrameNumber) net->m_askForFrame = frame;
}

// PING's answer (112): u16 slot index; for slot 0 also u16 the game speed to
// the nearest integer and u64 the server's next-tick time.
void NetClient_OnPing(NWEPeer* peer, NWEMessage* m, void* context) {
    // Handled at once on the engine's receiving thread (the table's option
    // D): only a client link's ping slots (under its lock) and two atomic
    // values change. A client link is known by its registry, which a peer
    // keeps for its life.
    CNetGame* net = Net(context);
    if (peer->GetApplicationRegistry() != &net->m_clientTypes || (m->GetSize() != 2 && m->GetSize() != 12))
        return;
    CGameSocket* link = Conn(peer);
    uint16_t index = NWE_Get16(m->GetData());
    if (index >= CGameSocket::kPingSlots) return;
    int64_t now = net->GetClock().Now();
    {
        std::lock_guard<std::mutex> l(link->m_pingLock);
        if (!link->m_pingSent[index]) return;
        link->m_pingTimes[index] = static_cast<float>(net->GetClock().Seconds(now - link->m_pingSent[index]));
        link->m_pingSent[index] = 0;
    }
    if (m->GetSize() == 12) {
        // The server's game speed to the nearest integer, for showing: the
        // speed itself comes with SETGAMESPEED.
        net->m_serverSpeed = NWE_Get16(m->GetData() + 2);
        net->m_serverNextTick = static_cast<uint64_t>(NWE_Get32(m->GetData() + 4)) |
                                (static_cast<uint64_t>(NWE_Get32(m->GetData() + 8)) << 32);
    }
}

void NetClient_OnDummydata(NWEPeer*, NWEMessage*, void*) {}

// ---- the world, in the frames

// The world's orders (CREATEUNIT 110, ORDER 134, UNIT_CONNECT 135,
// UNIT_DISCONNECT 136, STOPCURRENTORDER 137, MODE_ON 138, MODE_OFF 139,
// WAYPOINTLIST 142, SIGNAL 143, GIVERESOURCESTOALL 159, GIVERESOURCES 160,
// KILLUNIT 161): from the server only, they join the orders of the frame
// being executed, in the order they came, and the world takes each whole
// in its turn (CWorld::ApplyOrder checks every payload and id).
void NetClient_OnWorldOrder(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    if (FromServer(net, peer)) net->AddTurnOrder(m->GetId(), m->GetData(), m->GetSize());
}

// ---- sync

namespace {
// SYNC_REPORT with what differs (SyncChecks.h).
void Report(CNetGame* net, uint16_t frame, uint8_t kind, int32_t id, uint32_t value) {
    SSyncReport r;
    r.frame = frame;
    r.kind = kind;
    r.id = id;
    r.value = value;
    net->m_send.Reset();
    SyncReport_Write(net->m_send, r);
    net->SendBuilt(NS_NOTIFYTYPE_SYNC_REPORT);
}
}  // namespace

// CHECKUNIT (145): u32 object id, u32 the server's sync CRC of it.
void NetClient_OnCheckunit(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    if (net->m_hosting || !FromServer(net, peer) || m->GetSize() != 8) return;
    CTessarakObject* o = FindObject(net, m->GetData());
    CStateArchive ar(m->GetData() + 4, 4, CStateArchive::kApply);
    int32_t id = static_cast<int32_t>(NWE_Get32(m->GetData()));
    if (!o)
        Report(net, m->GetFrame(), kReportNoObject, id, 0);
    else if (!o->CheckSyncCRC(ar))
        Report(net, m->GetFrame(), kReportObjectCrc, id, o->ComputeSyncCRC());
}

// CHECKUNITTREE (146): u32 the server's object-id counter.
void NetClient_OnCheckunittree(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    CGameScene* scene = Scene(net);
    if (net->m_hosting || !FromServer(net, peer) || m->GetSize() != 4 || !scene) return;
    int32_t counter = scene->m_idTable.GetCounter();
    if (static_cast<int32_t>(NWE_Get32(m->GetData())) != counter)
        Report(net, m->GetFrame(), kReportIdCounter, -1, static_cast<uint32_t>(counter));
}

// SYNC_INFO_GLOBAL (147): u32 the object-id counter.
void NetClient_OnSyncInfoGlobal(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    CGameScene* scene = Scene(net);
    if (!FromServer(net, peer) || m->GetSize() != 4 || !scene) return;
    int32_t counter = static_cast<int32_t>(NWE_Get32(m->GetData()));
    if (counter < 0) return;
    scene->m_idTable.SetCounter(counter);
    net->m_savedIdCounter = counter;
}

// SYNC_INFO_PLAYER (148): a player's sync record.
void NetClient_OnSyncInfoPlayer(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    if (!FromServer(net, peer) || m->GetSize() < 4) return;
    int32_t id = static_cast<int32_t>(NWE_Get32(m->GetData()));
    CStateArchive check(m->GetData() + 4, m->GetSize() - 4, CStateArchive::kCheck);
    bool changed = false;
    CPlayer* p = net->FindPlayerById(id);
    if (id < 0 || p == net->m_players.m_neutral || !net->m_players.m_neutral->ReadSyncInfo(check, &changed) ||
        check.GetRemaining() != 0) {
        if (p) net->Printf("Error syncing player %s", p->m_name.GetText());
        return;
    }
    if (!p) {
        p = net->NewPlayer(id);
    }
    CStateArchive ar(m->GetData() + 4, m->GetSize() - 4, CStateArchive::kApply);
    p->ReadSyncInfo(ar, &changed);
    if (changed && !net->m_notInSoftSync && net->m_resyncing) {
        net->m_notInSoftSync = 1;
        net->PrintColor(255, 0, 0, true, "SoftSync. Gametime is %f", (double)net->Clock().GameSeconds());
    }
}

// SYNC_INFO_UNIT_CRC (149): u32 object id, u32 its sync CRC. A differing or
// missing object is asked for (SYNC_INFO_UNIT with its id).
void NetClient_OnSyncInfoUnitCrc(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    if (!FromServer(net, peer) || m->GetSize() != 8) return;
    int32_t id = static_cast<int32_t>(NWE_Get32(m->GetData()));
    CTessarakObject* o = FindObject(net, m->GetData());
    if (o) {
        net->m_syncedIds.insert(id);
        if (o->ComputeSyncCRC() == NWE_Get32(m->GetData() + 4)) return;
    }
    ++net->m_syncRequests;
    net->Send(NS_NOTIFYTYPE_SYNC_INFO_UNIT, m->GetData(), 4);
}

namespace {
// An object's sync state from the server: made when absent, made again when
// its class or template differ.
void ApplyUnitSync(CNetGame* net, const uint8_t* data, uint32_t size) {
    CGameScene* scene = Scene(net);
    if (!scene || size < 14) return;
    int32_t id = static_cast<int32_t>(NWE_Get32(data));
    uint32_t templateId = NWE_Get32(data + 4);
    uint16_t projectId = NWE_Get16(data + 8);
    if (id < 0) return;
    CTessarakObjectTemplate* tmpl = scene->FindTemplateById(projectId, static_cast<int32_t>(templateId));
    CTessarakObject* o = scene->m_idTable.Find(id);
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!o) {
            if (!tmpl) break;
            o = net->World()->CreateUnit(tmpl, 0.0f, 0.0f, net->m_players.m_neutral, id);
            if (!o) break;
        }
        CStateArchive ar(data, size, CStateArchive::kApply);
        int result = o->ReadSyncImage(ar);
        if (result == CTessarakObject::kSyncTaken) {
            net->m_syncedIds.insert(id);
            return;
        }
        if (result != CTessarakObject::kSyncMismatch) break;
        // Another class or template than the server's: made again.
        scene->DeleteObject(o);
        o = nullptr;
    }
    net->Printf("Error syncing Unit %d", (int)id);
}

void CountAnswer(CNetGame* net) {
    ++net->m_syncAnswers;
    if (net->m_syncAnswers == net->m_syncRequests) net->Send(NS_NOTIFYTYPE_SYNC_GOTALLUNITS, nullptr, 0);
}
}  // namespace

// SYNC_INFO_UNIT (150): an object's sync state, or nothing when it is gone.
void NetClient_OnSyncInfoUnit(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    if (!FromServer(net, peer) || !net->m_resyncing) return;
    if (m->GetSize() > 0) ApplyUnitSync(net, m->GetData(), m->GetSize());
    CountAnswer(net);
}

void NetClient_OnSyncInfoUnitEveryframe(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    if (!FromServer(net, peer) || m->GetSize() == 0) return;
    ApplyUnitSync(net, m->GetData(), m->GetSize());
}

// SYNC_FINISHSYNC (153): every machine puts its lists in one order.
void NetClient_OnSyncFinishsync(NWEPeer* peer, NWEMessage*, void* context) {
    CNetGame* net = Net(context);
    if (!FromServer(net, peer) || !net->m_resyncing) return;
    CGameScene* scene = Scene(net);
    net->Flow().Lock();
    net->Printf("Finishing up sync");
    std::stable_sort(net->m_players.m_players.begin(), net->m_players.m_players.end(), &CPlayer::CompareById);
    if (scene) {
        scene->SortObjectListsById();
        for (CTessarakObject* o = scene->m_allObjects; o; o = o->m_allNext) o->AfterLoad();
        if (!net->m_hosting) scene->m_idTable.SetCounter(net->m_savedIdCounter);
    }
    net->Flow().Unlock();
    net->m_syncState = 2;
    net->Send(NS_NOTIFYTYPE_SYNC_SYNCFINISHED, nullptr, 0);
}

// SYNC_GOOUTOFSYNC (155): the resync is over. Every machine stood still for
// it, none is behind: the real time that went by meanwhile is dropped, else
// the clients' lag would slow the server's game to a crawl that never ends
// (no frames come to make up for it).
void NetClient_OnSyncGooutofsync(NWEPeer* peer, NWEMessage*, void* context) {
    CNetGame* net = Net(context);
    if (!FromServer(net, peer)) return;
    net->Printf("Going out of sync mode");
    net->m_syncState = 0;
    net->m_resyncing = 0;
    net->m_touchTimeAfterSync = 1;
    net->Clock().SetClockTimes(net->Clock().NextTickTime(), net->Clock().GameTime());
}

// ---- chat

namespace {
// The chat body: sender, text, r, g, b (the sender of MESSAGE is empty, or
// the byte 1 and the name).
bool ReadChat(NWEMessage* m, CStrBuf* sender, CStrBuf* text, uint8_t rgb[3]) {
    SPayload ar(m);
    CStrBuf raw;
    WireText_Read(ar, &raw, CPlayer::kMaxNameLength + 1, false);
    WireText_Read(ar, text, kNetMaxChat);
    for (int i = 0; i < 3; ++i) rgb[i] = ar.ReadU8();
    if (!ar.End()) return false;
    // Colour codes never pass in a name.
    std::string clean;
    for (const char* c = raw.GetText(); *c; ++c)
        if (static_cast<uint8_t>(*c) >= 32) clean.push_back(*c);
    sender->Assign(clean.c_str());
    return true;
}

void PrintChat(CNetGame* net, const uint8_t rgb[3], const char* line) {
    net->Console().PrintColor(rgb[0], rgb[1], rgb[2], true, line);
    net->NoteChatLine(line, rgb[0], rgb[1], rgb[2]);
}
}  // namespace

void NetClient_OnMessage(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    if (FromServer(net, peer)) NetClient_PrintMessage(net, m);
}

void NetClient_PrintMessage(CNetGame* net, NWEMessage* m) {
    CStrBuf sender, text, line;
    uint8_t rgb[3];
    if (!ReadChat(m, &sender, &text, rgb)) return;
    if (sender.IsEmpty())
        line = text;
    else
        line.Format(
            "<%s\x16>\x02"
            "0\x02 %s",
            sender.GetText(), text.GetText());
    PrintChat(net, rgb, line.GetText());
}

void NetClient_OnMessagePersonal(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    CStrBuf sender, text, line;
    uint8_t rgb[3];
    if (!FromServer(net, peer) || !ReadChat(m, &sender, &text, rgb)) return;
    line.Format(
        "-> *%s\x16*\x02"
        "9\x02 %s",
        sender.GetText(), text.GetText());
    PrintChat(net, rgb, line.GetText());
}

void NetClient_OnMessageTeam(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    CStrBuf sender, text, line;
    uint8_t rgb[3];
    CPlayer* local = net->LocalPlayer();
    if (!FromServer(net, peer) || !ReadChat(m, &sender, &text, rgb) || !local || !local->m_team) return;
    line.Format(
        "<%s\x16>\x02"
        "0\x02(%s)\x02"
        "8\x02 %s",
        sender.GetText(), local->m_team->m_name.GetText(), text.GetText());
    PrintChat(net, rgb, line.GetText());
}

void NetClient_OnMessageAllies(NWEPeer* peer, NWEMessage* m, void* context) {
    CNetGame* net = Net(context);
    CStrBuf sender, text, line;
    uint8_t rgb[3];
    if (!FromServer(net, peer) || !ReadChat(m, &sender, &text, rgb)) return;
    line.Format(
        "<%s\x16>\x02"
        "0\x02(Allied)\x02"
        "7\x02 %s",
        sender.GetText(), text.GetText());
    PrintChat(net, rgb, line.GetText());
}

void NetClient_OnFrameInfoCopy(NWEPeer*, NWEMessage*, void*) {}
