#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
// The network area's rows of the world outside one game, registered by the
// session with the rest of its rows: public servers and the master server,
// the server browser, the chat (of the master's channels, of a contacted
// server, of the game), the host's pause, speed and gifts, alliances, the
// browser's and the links' tuning, and the location constants.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>

#include "console/CommandInterpreter.h"
#include "console/CommandTable.h"
#include "console/ConfigText.h"
#include "core/VFSFile.h"
#include "netgame/GameSocket.h"
#include "netgame/MasterClient.h"
#include "netgame/NetCommandKit.h"
#include "netgame/NetGame.h"
#include "netgame/ServerBrowser.h"
#include "nwe/Socket.h"
#include "world/Player.h"

namespace {
using namespace netcmd;

// The local player's colour as chat sends it (each part to the nearest whole).
void ChatColour(CPlayer* p, int rgb[3]) {
    for (int i = 0; i < 3; ++i) rgb[i] = p ? static_cast<int>(std::lround(p->m_colour[i])) : 255;
}

// ---- servers and the browser

// StartPublicServer(int Port = 47222): hosts, and lists the server at the
// master server (nw_MasterServer) for as long as it runs.
void Cmd_StartPublicServer(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CNetGame* net = Net(record);
    if (file || !net) return;
    int32_t port = kNetDefaultServerPort;
    if (Count(args) >= 1 && (!IntArg(args, 0, &port) || port < 0 || port > 65535)) {
        net->Printf("StartPublicServer: not a port: %s", args->Text(0));
        return;
    }
    NetCommands_StartServer(net, static_cast<uint16_t>(port), true);
}

void Cmd_FindServers(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    CNetGame* net = Net(record);
    if (!file && net) net->m_browser->FindServers();
}

void Cmd_ListServers(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    CNetGame* net = Net(record);
    if (file || !net) return;
    for (const std::string& line : net->m_browser->Listing())
        net->PrintColor(255, 255, 255, false, "%s", line.c_str());
}

// The server steps the browser runs in order from the one named: 1 the
// master's list, 2 the servers' details, 3 their pings.
void RequestStep(CConsoleCommand* record, CVFSFile* file, int step) {
    CNetGame* net = Net(record);
    if (!file && net) net->m_browser->m_requestedStep = step;
}
void Cmd_GetServerList(CConsoleCommand* r, SCommandArgs*, CVFSFile* f) {
    RequestStep(r, f, 1);
}
void Cmd_QueryList(CConsoleCommand* r, SCommandArgs*, CVFSFile* f) {
    RequestStep(r, f, 2);
}
void Cmd_PingList(CConsoleCommand* r, SCommandArgs*, CVFSFile* f) {
    RequestStep(r, f, 3);
}

// nw_AddToFavourites(str Address): marks the listed server of that address.
void Cmd_AddToFavourites(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CNetGame* net = Net(record);
    if (file || !net || Count(args) < 1) return;
    CServerBrowser* b = net->m_browser.get();
    std::lock_guard<std::recursive_mutex> l(b->m_lock);
    SNetAddress a;
    CServerListEntry* e = Net_ParseAddress(args->Text(0), &a) ? b->FindEntry(a) : nullptr;
    if (!e) {
        net->Printf("No listed server at %s", args->Text(0));
        return;
    }
    e->m_marked = 1;
    b->m_filterChanged = true;
}

// nw_FindServersThatMatch(str Text): the lobby's list shows the servers
// whose name holds the text (an empty text shows them all again).
void Cmd_FindServersThatMatch(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CNetGame* net = Net(record);
    if (file || !net) return;
    CServerBrowser* b = net->m_browser.get();
    std::lock_guard<std::recursive_mutex> l(b->m_lock);
    b->m_filter.name = Count(args) >= 1 ? args->Text(0) : "";
    b->m_filterChanged = true;
}

// nw_AddAddress(str Address): a server the player knows the address of.
void Cmd_AddAddress(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CNetGame* net = Net(record);
    if (file || !net) return;
    if (Count(args) < 1) return record->ReportError("To few arguments");
    if (!net->m_browser->AddAddress(args->Text(0))) net->Printf("Not a server's address: %s", args->Text(0));
}

// ---- chat

void Cmd_JoinChat(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    CNetGame* net = Net(record);
    if (file || !net) return;
    CServerBrowser* b = net->m_browser.get();
    std::lock_guard<std::recursive_mutex> l(b->m_lock);
    for (auto& e : b->m_entries)
        if (e->m_players > 0) return b->Connect(e.get());
}

void Cmd_DisconnectFromChat(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    CNetGame* net = Net(record);
    if (!file && net) net->m_browser->Disconnect();
}

// Join's on-change: the chat joins the channel now (a row of the master client).
void OnJoin(CConsoleCommand* record, SCommandArgs*, CVFSFile*) {
    if (auto* master = static_cast<CMasterClient*>(record->GetContext()))
        master->JoinChannel(master->m_join.GetText());
}

void OnChatWith(CConsoleCommand* record, SCommandArgs*, CVFSFile*) {
    if (auto* master = static_cast<CMasterClient*>(record->GetContext()))
        master->m_net->LinkSettingsChanged();
}

// nw_ServerGetMode's on-change (a row of the browser): the rates again.
void OnGetMode(CConsoleCommand* record, SCommandArgs*, CVFSFile*) {
    if (auto* browser = static_cast<CServerBrowser*>(record->GetContext())) browser->m_net->ApplyRate();
}

// Say(str Text) / Say(str Target, str Text).
void Cmd_Say(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CNetGame* net = Net(record);
    CPlayer* local = net ? net->LocalPlayer() : nullptr;
    if (file || !local) return;
    int n = Count(args);
    if (n < 1) return record->ReportError("To few arguments");
    int rgb[3];
    ChatColour(local, rgb);
    if (n == 1)
        net->SendChat(local->m_name.GetText(), args->Text(0), rgb[0], rgb[1], rgb[2]);
    else if (n == 2)
        net->RouteChat(args->Text(0), local->m_name.GetText(), args->Text(1), rgb[0], rgb[1], rgb[2]);
}

// ---- the server

// srv_Name(str Name): the server's name (Server.cfg keeps it).
void Cmd_ServerName(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CNetGame* net = Net(record);
    if (!net) return;
    CStrBuf& name = net->m_serverInfo.m_name;
    if (file) {
        CStrBuf line;
        line.Format("%s(%s);\r\n", record->GetName(), ConfigText_Quote(name.GetText()).c_str());
        return WriteLine(file, line);
    }
    if (Count(args) == 0) {
        net->Printf("srv_Name = %s", name.GetText());
        return;
    }
    if (Count(args) > 1) return;
    name.Assign(args->Text(0));
    if (net->m_hosting) net->SendServerInfo();
}

// srv_Pause(bool Pause): the host pauses its running game on every machine.
void Cmd_Pause(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CNetGame* net = Net(record);
    if (file || !net) return;
    if (Count(args) == 0) {
        net->Printf("srv_Pause = %s", net->Clock().Paused() ? "true" : "false");
        return;
    }
    int32_t value = 0;
    if (!net->m_hosting || !IntArg(args, 0, &value)) return;
    net->SendPause(value);
}

// srv_GameSpeed(float Gamespeed): 0.0 stops, 1.0 is normal; the host's
// speed control takes every machine there together.
void Cmd_GameSpeed(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CNetGame* net = Net(record);
    if (file || !net) return;
    if (Count(args) == 0) {
        net->Printf("srv_GameSpeed = %f", (double)net->m_speedFactor);
        return;
    }
    float speed = 0.0f;
    if (!args->arg[0].GetFloat(speed)) speed = 0.0f;
    net->SetSpeedFactor(speed);
}

// srv_GiveResources(float Amount): to every player (the server takes it
// with cheats on).
void Cmd_GiveResources(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CNetGame* net = Net(record);
    float amount = 0.0f;
    if (file || !net || Count(args) != 1 || !args->arg[0].GetFloat(amount)) return;
    net->GiveResourcesToAll(amount);
}

// Ally(int/str Player), BreakAlly(int/str Player): ALLY or BREAKALLY {u32
// the local player's id, u32 the other's}; the host sends it to every
// machine in one frame.
void Alliance(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file, bool ally) {
    CNetGame* net = Net(record);
    CPlayer* local = net ? net->LocalPlayer() : nullptr;
    if (file || !local || Count(args) < 1) return;
    int32_t id = -1;
    CPlayer* other = IntArg(args, 0, &id) ? (id >= 0 ? net->FindPlayerById(id) : nullptr)
                                          : net->FindPlayerByName(args->Text(0));
    net->RequestAlliance(other, ally);
}
void Cmd_Ally(CConsoleCommand* r, SCommandArgs* a, CVFSFile* f) {
    Alliance(r, a, f, true);
}
void Cmd_BreakAlly(CConsoleCommand* r, SCommandArgs* a, CVFSFile* f) {
    Alliance(r, a, f, false);
}

int32_t s_locations[14] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13};
}  // namespace

bool NetCommands_StartServer(CNetGame* net, uint16_t port, bool makePublic) {
    bool running =
        net->m_hosting && !net->m_localGame && net->m_gameSocket && net->m_gameSocket->GetHandle() >= 0;
    if (!running && !net->StartServer(port, false)) return false;
    if (!makePublic) return true;
    SNetAddress master;
    if (!net->m_master->MasterAddress(&master))
        net->Printf("No master server is set (nw_MasterServer): the server is not listed");
    net->m_master->SetPublic(true);
    return true;
}

void NetCommands_OnSettingsChanged(CConsoleCommand* record, SCommandArgs*, CVFSFile*) {
    if (CNetGame* net = Net(record)) net->LinkSettingsChanged();
}

void CNetGame::LinkSettingsChanged() {
    // The server is asked for packets of the size set now.
    if (CGameSocket* link = TakeClientLink()) {
        link->RequestPacketSize(static_cast<uint32_t>(std::min(std::max(m_maxPacketSize, 576), 1500)));
        link->Release();
    }
}

void CNetGame::RegisterLobbyCommands(CCommandInterpreter* ip) {
    auto location = [](const char* name, int32_t* value) {
        static CStrBuf descriptions[14];
        CStrBuf& d = descriptions[*value];
        d.Format("Constant: %s", name);
        return SCommandRow::Int(name, value, 1, 13, d.GetText(), name).ReadOnly();
    };
    const SCommandRow rows[] = {
        SCommandRow::Function("StartPublicServer", Cmd_StartPublicServer, "Starts a public server",
                              "StartPublicServer (int Port = 47222)"),
        SCommandRow::Function("FindServers", Cmd_FindServers,
                              "Broadcasts a network send to see if any tessarak servers exists",
                              "FindServers();"),
        SCommandRow::Function("ListServers", Cmd_ListServers, "Lists all populated servers",
                              "ListServers();"),
        SCommandRow::Function("JoinChat", Cmd_JoinChat, "Join the chat on the first populated server",
                              "JoinChat();"),
        SCommandRow::Function("nw_DisconnectFromChat", Cmd_DisconnectFromChat,
                              "Disconnect from currently selected server in chat",
                              "nw_DisconnectFromChat();"),
        SCommandRow::Function("Say", Cmd_Say, "Chat a message", "SendMessage();"),
        SCommandRow::Function("nw_GetServerList", Cmd_GetServerList, "Get a server list",
                              "nw_GetServerList();")
            .Mask(4),
        SCommandRow::Function("nw_QueryList", Cmd_QueryList, "Refresh server list", "nw_QueryList();")
            .Mask(4),
        SCommandRow::Function("nw_PingList", Cmd_PingList, "Ping server list", "nw_PingList();").Mask(4),
        SCommandRow::Function("nw_AddToFavourites", Cmd_AddToFavourites, "Add adress to favourites",
                              "nw_AddToFavourites();"),
        SCommandRow::Function("nw_FindServersThatMatch", Cmd_FindServersThatMatch,
                              "Add selected to favourites", "nw_FindServersThatMatch();"),
        SCommandRow::Function("nw_AddAddress", Cmd_AddAddress, "Add written adress", "nw_AddAddress();"),
        // ---- the server
        SCommandRow::Function("srv_Name", Cmd_ServerName, "Changes the name of this server",
                              "srv_Name(str Name);")
            .Config("Server.cfg"),
        SCommandRow::Function("srv_Pause", Cmd_Pause, "Pauses the server... Only available in local server",
                              "srv_Pause(bool Pause);")
            .Mask(1),
        SCommandRow::Function("srv_GameSpeed", Cmd_GameSpeed,
                              "Sets the desired gamespeed, 0.0 is pause and 1.0 is normal",
                              "srv_GameSpeed(float Gamespeed);")
            .Usage("srv_GameSpeed([float Gamespeed]);")
            .Mask(1),
        SCommandRow::Float(
            "srv_AccuratenessRatio", &m_accuratenessRatio, 0.0f, 1.0f,
            "Sets the ratio for compensating accurateness of the game engine. Values closer to 1.0f "
            "will favour accurateness before gamespeed",
            "srv_MinFPS(float Fps);")
            .Config("Server.cfg")
            .Mask(1),
        SCommandRow::Function("srv_GiveResources", Cmd_GiveResources, "Give resources to all players",
                              "srv_GiveResources(float Amount);")
            .Mask(4),
        SCommandRow::Function("Ally", Cmd_Ally, "Ally with the supplied player",
                              "Ally(int/str PlayerToAlly);"),
        SCommandRow::Function("BreakAlly", Cmd_BreakAlly, "Breaks a ally with the selected player",
                              "BreakAlly(int/str Player);"),
        // ---- tuning
        SCommandRow::Float("nw_ServerUpdatePingTimeout", &m_serverUpdatePingTimeout, 0.0f, 15.0f,
                           "Timeout for pinging and updating servers acquried from master server",
                           "nw_ServerUpdatePingTimeout(int PacketSize)")
            .Config("Network.cfg"),
        SCommandRow::Int("nw_DummyNum", &m_dummyNum, 0, 65536,
                         "Sets the number of dummy check packets to send per frame",
                         "nw_DummyNum(int NumMess)"),
        SCommandRow::Int("nw_DummySize", &m_dummySize, 0, 65536,
                         "Sets the size of a dummy message in number of random numbers.",
                         "nw_DummySize(int Size)"),
        // ---- the server's location
        location("LOCATION_ANYWHERE", &s_locations[0]),
        location("LOCATION_AFRICA", &s_locations[1]),
        location("LOCATION_ASIA", &s_locations[2]),
        location("LOCATION_AUSTRALIA", &s_locations[3]),
        location("LOCATION_EUROPE", &s_locations[4]),
        location("LOCATION_SCANDINAVIA", &s_locations[5]),
        location("LOCATION_CENTRALEUROPE", &s_locations[6]),
        location("LOCATION_EASTERNEUROPE", &s_locations[7]),
        location("LOCATION_SOUTHAMERICA", &s_locations[8]),
        location("LOCATION_NORTHAMERICA", &s_locations[9]),
        location("LOCATION_US", &s_locations[10]),
        location("LOCATION_WESTUS", &s_locations[11]),
        location("LOCATION_CENTRALUS", &s_locations[12]),
        location("LOCATION_EASTUS", &s_locations[13]),
    };
    // Every handler and callback works on this session.
    for (const SCommandRow& row : rows) {
        SCommandRow own = row.Context(this);
        CommandTable_Register(ip, &own, 1);
    }
    m_master->RegisterSettings(ip);
    m_browser->RegisterSettings(ip);
}

void CMasterClient::RegisterSettings(CCommandInterpreter* ip) {
    const SCommandRow rows[] = {
        SCommandRow::String("Join", &m_join, 256, "The channel to connect to in the main chat",
                            "Join(string Channel);")
            .Config("Network.cfg")
            .OnChange(OnJoin),
        SCommandRow::String(
            "ChatWith", &m_chatWith, 2048,
            "A string that defines who you want to chat with when pressing return in the console. "
            "\"*\" Chats with everyone. \"/Team\" chats with team. \"/Allies\" chats with allies",
            "ChatWith")
            .OnChange(OnChatWith),
        // Where the master server is, and how long a silent one counts as there.
        SCommandRow::String(
            "nw_MasterServer", &m_address, 255,
            "The address of the master server (\"a.b.c.d\" or a host name, \":port\" when it is "
            "not nw_ClientPort + 100)",
            "nw_MasterServer(str Address);")
            .Config("Network.cfg"),
        SCommandRow::Float(
            "nw_MasterTimeout", &m_timeout, 5.0f, 120.0f,
            "Seconds without a word from the master server before its link counts as lost (the "
            "master says it is there every 3 seconds)",
            "nw_MasterTimeout(float Seconds);")
            .Config("Network.cfg"),
    };
    for (const SCommandRow& row : rows) {
        SCommandRow own = row.Context(this);
        CommandTable_Register(ip, &own, 1);
    }
}

void CServerBrowser::RegisterSettings(CCommandInterpreter* ip) {
    const SCommandRow rows[] = {
        SCommandRow::Int(
            "nw_ServerGetMode", &m_requestedStep, 0, 3,
            "get servers from master if set to 1, updates servers if set to 2, pings servers if set to 3",
            "nw_ServerGetMode(float Number);")
            .Config("Network.cfg")
            .OnChange(OnGetMode),
    };
    for (const SCommandRow& row : rows) {
        SCommandRow own = row.Context(this);
        CommandTable_Register(ip, &own, 1);
    }
}
