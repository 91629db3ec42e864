// The registration table of the game protocol.
//
// Each row holds the options that decide how a type travels (reliability
// class, priority, delay, short header) and whether it is handled at once on
// the engine's receiving thread (option D); both sides register it with the
// same ones, so the header form and the reliability on the wire are the same
// whichever end sends. Every other handler runs on the game's thread when its
// queue or its frame is processed. The direct ones (the discovery, the
// browser's ping and PING) touch only what they lock: the browser's entries
// under its lock, a connection's ping fields under its ping lock, and values
// the game leaves for them in atomics.
#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
#include "netgame/NetGame.h"
#include "netgame/NetHandlers.h"

namespace {
using R = ENetRegistry;
using Q = ENetQueue;
constexpr SNetSide kNone = {R::None, R::None, nullptr, Q::None, false};

constexpr SNetSide CG(NetHandler h, Q q, bool framed = false) {
    return {R::ClientGame, R::None, h, q, framed};
}
constexpr SNetSide CP(NetHandler h, Q q) {
    return {R::ClientContact, R::None, h, q, false};
}
constexpr SNetSide SG(NetHandler h, Q q, bool framed = false) {
    return {R::ServerGame, R::None, h, q, framed};
}
constexpr SNetSide SP(NetHandler h, Q q) {
    return {R::ServerContact, R::None, h, q, false};
}
// The server's first contact and its pre-connection contacts.
constexpr SNetSide SCP(NetHandler h, Q q) {
    return {R::ServerConnect, R::ServerContact, h, q, false};
}
// The server's first contact and its clients' connections.
constexpr SNetSide SCG(NetHandler h, Q q) {
    return {R::ServerConnect, R::ServerGame, h, q, false};
}
constexpr bool F = true;

// A row's id and name, from the one list of the numbers (world/GameMessages.h).
#define MSG(name) NS_NOTIFYTYPE_##name, #name

// id, name, class, priority, delay, short header, client side, server side.
const SNetMessageRow kRows[] = {
    {NS_NOTIFYTYPE_APP_FRAME_INFO, "FRAME_INFO", 0, 5, 1, 0, CG(nullptr, Q::None, F),
     SG(nullptr, Q::None, F)},
    {MSG(EXTERNAL_CONNECT), 1, 5, 0, 1, CP(NetClient_OnExternalConnect, Q::Client),
     SCP(NetServer_OnExternalConnect, Q::Client)},
    {MSG(CONNECT), 1, 3, 0, 1, CG(NetClient_OnConnect, Q::Client), SCG(NetServer_OnConnect, Q::Connect)},
    {MSG(EXTERNAL_PING), 1, 5, 0, 1, CP(NetClient_OnExternalPing, Q::None),
     SCP(NetServer_OnExternalPing, Q::None), 1},
    {MSG(EXTERNAL_BROADCAST_AREYOUTHERE), 1, 5, 0, 1, CP(nullptr, Q::Client),
     SCP(NetServer_OnExternalBroadcastAreyouthere, Q::Client), 1},
    {MSG(FRAMEFINISHED), 0, 5, 1, 0, CG(NetClient_OnFramefinished, Q::Client, F),
     SG(NetServer_OnFramefinished, Q::Server, F)},
    {MSG(EXTERNAL_BROADCAST_IMHERE), 1, 5, 0, 1, CP(NetClient_OnExternalBroadcastImhere, Q::Client),
     SCP(nullptr, Q::Client), 1},
    {MSG(EXTERNAL_DISCONNECT), 1, 5, 0, 1, CP(nullptr, Q::Client),
     SP(NetServer_OnExternalDisconnect, Q::Client)},
    {MSG(EXTERNAL_REQUESTSERVER), 0, 5, 1, 0, CP(NetClient_OnExternalRequestserver, Q::Client),
     SP(NetServer_OnExternalRequestserver, Q::Client)},
    {MSG(SM_MESSAGE), 0, 5, 1, 0, CP(nullptr, Q::Client), SP(NetServer_OnSmMessage, Q::Client)},
    {MSG(SM_WRAPMESSAGE), 0, 5, 1, 0, CP(NetClient_OnSmWrapmessage, Q::Client), SP(nullptr, Q::Client)},
    {MSG(DISCONNECT), 1, 2, 0, 1, CG(nullptr, Q::None), SG(NetServer_OnDisconnect, Q::Server)},
    {MSG(SERVERQUIT), 1, 2, 0, 1, CG(NetClient_OnServerquit, Q::Client), SG(nullptr, Q::None)},
    {MSG(CONNECTVALIDATE), 0, 5, 1, 1, CG(NetClient_OnConnectvalidate, Q::Client),
     SG(NetServer_OnConnectvalidate, Q::Server)},
    {MSG(PING_AND_GET_TIME), 0, 5, 1, 1, CG(NetClient_OnPingAndGetTime, Q::Client),
     SG(NetServer_OnPingAndGetTime, Q::Connect)},
    {MSG(UPDATETIMINGINFO), 0, 5, 1, 0, CG(NetClient_OnUpdateTimingInfo, Q::Client, F),
     SG(nullptr, Q::Server, F)},
    {MSG(CHANCHEMODECONNECTED), 0, 5, 1, 1, CG(nullptr, Q::None),
     SG(NetServer_OnChanchemodeconnected, Q::Server)},
    {MSG(ASSIGNPLAYERID), 0, 5, 1, 1, CG(NetClient_OnAssignplayerid, Q::Client),
     SG(NetServer_OnAssignplayerid, Q::Server)},
    {MSG(GAMEDIR), 0, 5, 1, 0, CG(NetClient_OnGamedir, Q::Client, F), SG(NetServer_OnGamedir, Q::Server, F)},
    {MSG(QUERY_GAMEDIR), 0, 5, 1, 1, CG(nullptr, Q::None), SG(NetServer_OnQueryGamedir, Q::Server)},
    {MSG(QUERY_PLAYERS), 0, 5, 1, 1, CG(NetClient_OnQueryPlayers, Q::Client),
     SG(NetServer_OnQueryPlayers, Q::Server)},
    {MSG(PLAYERS), 0, 4, 1, 1, CG(NetClient_OnPlayers, Q::Client), SG(NetServer_OnPlayers, Q::Server)},
    {MSG(DUMMYDATA), 0, 10, 1, 0, CG(NetClient_OnDummydata, Q::Client, F),
     SG(NetServer_OnDummydata, Q::Server, F)},
    {MSG(STARTGAME), 0, 5, 1, 0, CG(NetClient_OnStartgame, Q::Client, F),
     SG(NetServer_OnStartgame, Q::Server, F)},
    {MSG(STARTGAME_REPLY), 0, 5, 1, 1, CG(nullptr, Q::None), SG(NetServer_OnStartgameReply, Q::Server)},
    {MSG(MAPCHANGESTART), 0, 5, 1, 0, CG(NetClient_OnMapchangestart, Q::Client, F), SG(nullptr, Q::None, F)},
    {MSG(MAPCHANGESTART_REPLY), 0, 5, 1, 1, CG(nullptr, Q::None),
     SG(NetServer_OnMapchangestartReply, Q::Server)},
    {MSG(MAPFINISHUP), 0, 5, 1, 0, CG(NetClient_OnMapfinishup, Q::Client, F), SG(nullptr, Q::None, F)},
    {MSG(MAPFINISHUP_REPLY), 0, 5, 1, 1, CG(nullptr, Q::None), SG(NetServer_OnMapfinishupReply, Q::Server)},
    {MSG(SETGAMESPEED), 0, 4, 1, 1, CG(NetClient_OnSetgamespeed, Q::Client),
     SG(NetServer_OnEmpty, Q::Client)},
    {MSG(SETTARGETFPS), 0, 5, 1, 0, CG(NetClient_OnSettargetfps, Q::Client, F),
     SG(NetServer_OnEmpty, Q::Server, F)},
    {MSG(CREATEUNIT), 0, 5, 1, 0, CG(NetClient_OnWorldOrder, Q::Client, F),
     SG(NetServer_OnCreateunit, Q::Server, F)},
    {MSG(SETGAMELOOP), 0, 5, 1, 0, CG(NetClient_OnSetgameloop, Q::Client, F), SG(nullptr, Q::None, F)},
    {MSG(PING), 1, 3, 0, 1, CG(NetClient_OnPing, Q::Client), SG(NetServer_OnPing, Q::Client), 1},
    {MSG(MESSAGE), 0, 5, 1, 0, CG(NetClient_OnMessage, Q::Client), SG(NetServer_OnMessage, Q::Server)},
    {MSG(MESSAGE_PERSONAL), 0, 5, 1, 0, CG(NetClient_OnMessagePersonal, Q::Client),
     SG(NetServer_OnMessagePersonal, Q::Server)},
    {MSG(MESSAGE_TEAM), 0, 5, 1, 0, CG(NetClient_OnMessageTeam, Q::Client),
     SG(NetServer_OnMessageTeam, Q::Server)},
    {MSG(MESSAGE_ALLIES), 0, 5, 1, 0, CG(NetClient_OnMessageAllies, Q::Client),
     SG(NetServer_OnMessageAllies, Q::Server)},
    {MSG(SERVERINFO_ATTRIBS), 0, 5, 1, 0, CG(NetClient_OnServerinfoAttribs, Q::Client, F),
     SG(nullptr, Q::None, F)},
    {MSG(SERVERINFO_MAP), 0, 5, 1, 0, CG(NetClient_OnServerinfoMap, Q::Client, F), SG(nullptr, Q::None, F)},
    {MSG(SERVERINFO_MAPCRCMATCH), 0, 5, 1, 0, CG(nullptr, Q::Client),
     SG(NetServer_OnServerinfoMapcrcmatch, Q::Server)},
    {MSG(REQUESTMAP), 0, 5, 1, 0, CG(nullptr, Q::Client), SG(NetServer_OnRequestmap, Q::Server)},
    {MSG(MAPBOX), 0, 7, 1, 0, CG(NetClient_OnMapbox, Q::Client), SG(nullptr, Q::None)},
    {MSG(NEWTEAM), 0, 5, 1, 0, CG(NetClient_OnNewteam, Q::Client, F), SG(NetServer_OnNewteam, Q::Server, F)},
    {MSG(DELETETEAM), 0, 5, 1, 0, CG(NetClient_OnDeleteteam, Q::Client, F),
     SG(NetServer_OnDeleteteam, Q::Server, F)},
    {MSG(DELETEPLAYER), 0, 5, 1, 0, CG(NetClient_OnDeleteplayer, Q::Client, F),
     SG(NetServer_OnDeleteplayer, Q::Server, F)},
    {MSG(PLAYER_REGISTER), 0, 5, 1, 0, CG(NetClient_OnPlayerRegister, Q::Client, F),
     SG(NetServer_OnPlayerRegister, Q::Server, F)},
    {MSG(PLAYER_NAME), 0, 5, 1, 0, CG(NetClient_OnPlayerName, Q::Client, F),
     SG(NetServer_OnPlayerAttribute, Q::Server, F)},
    {MSG(PLAYER_TEAM), 0, 5, 1, 0, CG(NetClient_OnPlayerTeam, Q::Client, F),
     SG(NetServer_OnPlayerTeam, Q::Server, F)},
    {MSG(PLAYER_RACE), 0, 5, 1, 0, CG(NetClient_OnPlayerRace, Q::Client, F),
     SG(NetServer_OnPlayerAttribute, Q::Server, F)},
    {MSG(PLAYER_COLOR), 0, 5, 1, 0, CG(NetClient_OnPlayerColor, Q::Client, F),
     SG(NetServer_OnPlayerAttribute, Q::Server, F)},
    {MSG(PLAYER_CONNECTION), 0, 5, 1, 0, CG(NetClient_OnPlayerConnection, Q::Client, F),
     SG(NetServer_OnPlayerAttribute, Q::Server, F)},
    {MSG(ALLY), 0, 5, 1, 0, CG(NetClient_OnAlly, Q::Client, F), SG(NetServer_OnAlliance, Q::Server, F)},
    {MSG(BREAKALLY), 0, 5, 1, 0, CG(NetClient_OnBreakally, Q::Client, F),
     SG(NetServer_OnAlliance, Q::Server, F)},
    {MSG(PLAYER_NEXTCOLOR), 0, 5, 1, 1, CG(nullptr, Q::Client), SG(NetServer_OnPlayerNextcolor, Q::Server)},
    {MSG(ORDER), 0, 5, 1, 0, CG(NetClient_OnWorldOrder, Q::Client, F), SG(NetServer_OnOrder, Q::Server, F)},
    {MSG(UNIT_CONNECT), 0, 5, 1, 0, CG(NetClient_OnWorldOrder, Q::Client, F),
     SG(NetServer_OnUnitConnect, Q::Server, F)},
    {MSG(UNIT_DISCONNECT), 0, 5, 1, 0, CG(NetClient_OnWorldOrder, Q::Client, F),
     SG(NetServer_OnUnitDisconnect, Q::Server, F)},
    {MSG(STOPCURRENTORDER), 0, 5, 1, 0, CG(NetClient_OnWorldOrder, Q::Client, F),
     SG(NetServer_OnStopcurrentorder, Q::Server, F)},
    {MSG(MODE_ON), 0, 5, 1, 0, CG(NetClient_OnWorldOrder, Q::Client, F),
     SG(NetServer_OnModeOn, Q::Server, F)},
    {MSG(MODE_OFF), 0, 5, 1, 0, CG(NetClient_OnWorldOrder, Q::Client, F),
     SG(NetServer_OnModeOff, Q::Server, F)},
    {MSG(WAYPOINTLIST), 0, 5, 1, 0, CG(NetClient_OnWorldOrder, Q::Client, F),
     SG(NetServer_OnWaypointlist, Q::Server, F)},
    {MSG(SIGNAL), 0, 5, 1, 0, CG(NetClient_OnWorldOrder, Q::Client, F), SG(NetServer_OnSignal, Q::Server, F)},
    {MSG(ASKFORFRAME), 0, 4, 1, 0, CG(NetClient_OnAskforframe, Q::Client),
     SG(NetServer_OnAskforframe, Q::Server)},
    {MSG(CHECKUNIT), 0, 5, 1, 0, CG(NetClient_OnCheckunit, Q::Sync, F), SG(nullptr, Q::None, F)},
    {MSG(CHECKUNITTREE), 0, 5, 1, 0, CG(NetClient_OnCheckunittree, Q::Sync, F), SG(nullptr, Q::None, F)},
    {MSG(SYNC_INFO_GLOBAL), 0, 5, 1, 0, CG(NetClient_OnSyncInfoGlobal, Q::Sync, F), SG(nullptr, Q::None, F)},
    {MSG(SYNC_INFO_PLAYER), 0, 5, 1, 0, CG(NetClient_OnSyncInfoPlayer, Q::Sync, F), SG(nullptr, Q::None, F)},
    {MSG(SYNC_INFO_UNIT_CRC), 0, 5, 1, 0, CG(NetClient_OnSyncInfoUnitCrc, Q::Sync, F),
     SG(nullptr, Q::None, F)},
    {MSG(SYNC_INFO_UNIT), 0, 5, 1, 0, CG(NetClient_OnSyncInfoUnit, Q::Client),
     SG(NetServer_OnSyncInfoUnit, Q::Server)},
    {MSG(SYNC_INFO_UNIT_EVERYFRAME), 0, 5, 1, 0, CG(NetClient_OnSyncInfoUnitEveryframe, Q::Sync, F),
     SG(nullptr, Q::None, F)},
    {MSG(SYNC_GOTALLUNITS), 0, 5, 1, 0, CG(nullptr, Q::None), SG(NetServer_OnSyncGotallunits, Q::Server)},
    {MSG(SYNC_FINISHSYNC), 0, 5, 1, 0, CG(NetClient_OnSyncFinishsync, Q::Client), SG(nullptr, Q::None)},
    {MSG(SYNC_SYNCFINISHED), 0, 5, 1, 0, CG(nullptr, Q::None), SG(NetServer_OnSyncSyncfinished, Q::Server)},
    {MSG(SYNC_GOOUTOFSYNC), 0, 5, 1, 0, CG(NetClient_OnSyncGooutofsync, Q::Client), SG(nullptr, Q::None)},
    {MSG(SYNC_UPDATETIMINGINFO), 0, 5, 1, 0, CG(NetClient_OnUpdateTimingInfo, Q::Client, F),
     SG(nullptr, Q::Server, F)},
    {MSG(SYNC_SOFTSYNC), 0, 5, 1, 0, CG(nullptr, Q::None, F), SG(nullptr, Q::None, F)},
    {MSG(SYNC_REPORT), 0, 5, 1, 1, CG(nullptr, Q::None), SG(NetServer_OnSyncReport, Q::Server)},
    {MSG(GIVERESOURCESTOALL), 0, 5, 1, 0, CG(NetClient_OnWorldOrder, Q::Client, F),
     SG(NetServer_OnGiveresourcestoall, Q::Server, F)},
    {MSG(GIVERESOURCES), 0, 5, 1, 0, CG(NetClient_OnWorldOrder, Q::Client, F),
     SG(NetServer_OnGiveresources, Q::Server, F)},
    {MSG(KILLUNIT), 0, 5, 1, 0, CG(NetClient_OnWorldOrder, Q::Client, F),
     SG(NetServer_OnKillunit, Q::Server, F)},
    {MSG(PAUSE), 0, 5, 1, 0, CG(NetClient_OnPause, Q::Client), SG(NetServer_OnPause, Q::Client)},
};
#undef MSG
}  // namespace

const SNetMessageRow* NetMessage_Table(size_t* count) {
    *count = sizeof kRows / sizeof kRows[0];
    return kRows;
}

const SNetMessageRow* NetMessage_Find(uint16_t id) {
    for (const SNetMessageRow& r : kRows)
        if (r.id == id) return &r;
    return nullptr;
}

void CNetGame::RegisterMessages() {
    auto registry = [this](ENetRegistry r) -> NWEMessageTypes* {
        switch (r) {
            case ENetRegistry::ClientGame:
                return &m_clientTypes;
            case ENetRegistry::ClientContact:
                return &m_clientPreTypes;
            case ENetRegistry::ServerGame:
                return &m_serverTypes;
            case ENetRegistry::ServerContact:
                return &m_serverPreTypes;
            case ENetRegistry::ServerConnect:
                return &m_contactTypes;
            default:
                return nullptr;
        }
    };
    auto queue = [this](ENetQueue q) -> NWEQueue* {
        switch (q) {
            case ENetQueue::Connect:
                return &m_queue1;
            case ENetQueue::Server:
                return &m_queue2;
            case ENetQueue::Client:
                return &m_queue3;
            case ENetQueue::Sync:
                return &m_syncQueue;
            default:
                return nullptr;
        }
    };
    // The server's side first, then the client's.
    for (int side = 0; side < 2; ++side) {
        for (const SNetMessageRow& row : kRows) {
            const SNetSide& s = side == 0 ? row.server : row.client;
            CStrBuf name;
            name.Format("%s NS_NOTIFYTYPE_%s", side == 0 ? "Server" : "Client", row.name);
            for (ENetRegistry r : {s.registry, s.registry2}) {
                NWEMessageTypes* types = registry(r);
                if (!types) continue;
                types->Register(name.GetText(), row.id, s.handler, this, queue(s.queue),
                                s.framed ? m_frameTable : nullptr, nullptr, row.cls, row.priority, row.delay,
                                row.direct, row.shortHeader);
            }
        }
    }
    // Frame flags on the client's link: a soft-sync end, and the resync's
    // own messages.
    const struct {
        uint16_t id;
        uint32_t flags;
    } flags[] = {{NS_NOTIFYTYPE_SYNC_SOFTSYNC, kFrameSoftSyncDone},
                 {NS_NOTIFYTYPE_SYNC_INFO_GLOBAL, kFrameResync},
                 {NS_NOTIFYTYPE_SYNC_INFO_PLAYER, kFrameResync},
                 {NS_NOTIFYTYPE_SYNC_INFO_UNIT_CRC, kFrameResync}};
    for (const auto& f : flags) {
        if (NWEMessageType* t = m_clientTypes.Get(f.id)) {
            t->SetOption(f.flags);
            m_clientTypes.Release(t);
        }
    }
}
