// The handlers of the game protocol: the client side (what a machine does
// with what its server sends) and the server side (what the server does with
// what its clients ask). Each is called as handler(connection, message,
// network game) on the game's thread, when its queue or its frame is
// processed. Every handler checks the payload's length and every id in it
// before it uses them; what does not fit is dropped.
#pragma once

class NWEPeer;
class NWEMessage;

#define NET_HANDLER(name) void name(NWEPeer* peer, NWEMessage* m, void* context)

// ---- client (NetClient.cpp)
NET_HANDLER(NetClient_OnConnect);
NET_HANDLER(NetClient_OnConnectvalidate);
NET_HANDLER(NetClient_OnPingAndGetTime);
NET_HANDLER(NetClient_OnServerquit);
NET_HANDLER(NetClient_OnAssignplayerid);
NET_HANDLER(NetClient_OnGamedir);
NET_HANDLER(NetClient_OnQueryPlayers);
NET_HANDLER(NetClient_OnPlayers);
NET_HANDLER(NetClient_OnDeleteplayer);
NET_HANDLER(NetClient_OnPlayerRegister);
NET_HANDLER(NetClient_OnPlayerName);
NET_HANDLER(NetClient_OnPlayerTeam);
NET_HANDLER(NetClient_OnPlayerRace);
NET_HANDLER(NetClient_OnPlayerColor);
NET_HANDLER(NetClient_OnPlayerConnection);
NET_HANDLER(NetClient_OnNewteam);
NET_HANDLER(NetClient_OnDeleteteam);
NET_HANDLER(NetClient_OnAlly);
NET_HANDLER(NetClient_OnBreakally);
NET_HANDLER(NetClient_OnServerinfoAttribs);
NET_HANDLER(NetClient_OnServerinfoMap);
NET_HANDLER(NetClient_OnMapbox);
NET_HANDLER(NetClient_OnMapchangestart);
NET_HANDLER(NetClient_OnMapfinishup);
NET_HANDLER(NetClient_OnStartgame);
NET_HANDLER(NetClient_OnSetgameloop);
NET_HANDLER(NetClient_OnSetgamespeed);
NET_HANDLER(NetClient_OnSettargetfps);
NET_HANDLER(NetClient_OnUpdateTimingInfo);
NET_HANDLER(NetClient_OnPause);
NET_HANDLER(NetClient_OnFramefinished);
NET_HANDLER(NetClient_OnAskforframe);
NET_HANDLER(NetClient_OnPing);
NET_HANDLER(NetClient_OnDummydata);
NET_HANDLER(NetClient_OnWorldOrder);  // every order of the world (CWorld::IsWorldOrder)
NET_HANDLER(NetClient_OnCheckunit);
NET_HANDLER(NetClient_OnCheckunittree);
NET_HANDLER(NetClient_OnSyncInfoGlobal);
NET_HANDLER(NetClient_OnSyncInfoPlayer);
NET_HANDLER(NetClient_OnSyncInfoUnitCrc);
NET_HANDLER(NetClient_OnSyncInfoUnit);
NET_HANDLER(NetClient_OnSyncInfoUnitEveryframe);
NET_HANDLER(NetClient_OnSyncFinishsync);
NET_HANDLER(NetClient_OnSyncGooutofsync);
NET_HANDLER(NetClient_OnMessage);
NET_HANDLER(NetClient_OnMessagePersonal);
NET_HANDLER(NetClient_OnMessageTeam);
NET_HANDLER(NetClient_OnMessageAllies);
NET_HANDLER(NetClient_OnFrameInfoCopy);
// ---- client: the server browser's contacts (ServerBrowser.cpp)
NET_HANDLER(NetClient_OnExternalConnect);
NET_HANDLER(NetClient_OnExternalPing);
NET_HANDLER(NetClient_OnExternalBroadcastImhere);
NET_HANDLER(NetClient_OnExternalRequestserver);
NET_HANDLER(NetClient_OnSmWrapmessage);

// ---- server (NetServer.cpp)
NET_HANDLER(NetServer_OnConnect);
NET_HANDLER(NetServer_OnExternalConnect);
NET_HANDLER(NetServer_OnExternalPing);
NET_HANDLER(NetServer_OnExternalBroadcastAreyouthere);
NET_HANDLER(NetServer_OnExternalDisconnect);
NET_HANDLER(NetServer_OnExternalRequestserver);
NET_HANDLER(NetServer_OnSmMessage);
NET_HANDLER(NetServer_OnDisconnect);
NET_HANDLER(NetServer_OnConnectvalidate);
NET_HANDLER(NetServer_OnPingAndGetTime);
NET_HANDLER(NetServer_OnChanchemodeconnected);
NET_HANDLER(NetServer_OnAssignplayerid);
NET_HANDLER(NetServer_OnGamedir);
NET_HANDLER(NetServer_OnQueryGamedir);
NET_HANDLER(NetServer_OnQueryPlayers);
NET_HANDLER(NetServer_OnPlayers);
NET_HANDLER(NetServer_OnDummydata);
NET_HANDLER(NetServer_OnStartgame);
NET_HANDLER(NetServer_OnStartgameReply);
NET_HANDLER(NetServer_OnMapchangestartReply);
NET_HANDLER(NetServer_OnMapfinishupReply);
NET_HANDLER(NetServer_OnEmpty);
NET_HANDLER(NetServer_OnCreateunit);
NET_HANDLER(NetServer_OnPing);
NET_HANDLER(NetServer_OnMessage);
NET_HANDLER(NetServer_OnMessagePersonal);
NET_HANDLER(NetServer_OnMessageTeam);
NET_HANDLER(NetServer_OnMessageAllies);
NET_HANDLER(NetServer_OnServerinfoMapcrcmatch);
NET_HANDLER(NetServer_OnRequestmap);
NET_HANDLER(NetServer_OnNewteam);
NET_HANDLER(NetServer_OnDeleteteam);
NET_HANDLER(NetServer_OnDeleteplayer);
NET_HANDLER(NetServer_OnPlayerRegister);
NET_HANDLER(NetServer_OnPlayerAttribute);
NET_HANDLER(NetServer_OnPlayerTeam);
NET_HANDLER(NetServer_OnAlliance);
NET_HANDLER(NetServer_OnPlayerNextcolor);
NET_HANDLER(NetServer_OnOrder);
NET_HANDLER(NetServer_OnUnitConnect);
NET_HANDLER(NetServer_OnUnitDisconnect);
NET_HANDLER(NetServer_OnStopcurrentorder);
NET_HANDLER(NetServer_OnModeOn);
NET_HANDLER(NetServer_OnModeOff);
NET_HANDLER(NetServer_OnWaypointlist);
NET_HANDLER(NetServer_OnSignal);
NET_HANDLER(NetServer_OnAskforframe);
NET_HANDLER(NetServer_OnSyncInfoUnit);
NET_HANDLER(NetServer_OnSyncGotallunits);
NET_HANDLER(NetServer_OnSyncSyncfinished);
NET_HANDLER(NetServer_OnSyncReport);
NET_HANDLER(NetServer_OnGiveresourcestoall);
NET_HANDLER(NetServer_OnGiveresources);
NET_HANDLER(NetServer_OnKillunit);
NET_HANDLER(NetServer_OnPause);
NET_HANDLER(NetServer_OnFramefinished);

#undef NET_HANDLER

class CNetGame;
// Prints a chat line of a MESSAGE payload (113, and 89 that wraps one).
void NetClient_PrintMessage(CNetGame* net, NWEMessage* m);
