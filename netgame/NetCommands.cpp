#include "core/Determinism.h"
// The network game's console commands and settings (the network area): the
// session's own, registered by it with itself as every row's context.
#include <cmath>
#include <cstdlib>

#include "console/CommandInterpreter.h"
#include "console/CommandTable.h"
#include "console/ConfigText.h"
#include "core/VFSFile.h"
#include "netgame/NetCommandKit.h"
#include "netgame/NetGame.h"
#include "world/ObjectTemplate.h"
#include "world/Player.h"

namespace {
using namespace netcmd;

// Connect(str Destination): joins the server at "a.b.c.d[:port]".
void Cmd_Connect(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CNetGame* net = Net(record);
    if (file || !net) return;
    if (Count(args) < 1) return record->ReportError("To few arguments");
    net->Connect(args->Text(0));
}

void Cmd_Disconnect(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    CNetGame* net = Net(record);
    if (file || !net) return;
    net->Disconnect();
}

// StartServer(int Port = 47222, bool Public = false): hosts this machine's
// game for others on the port, every address of the machine.
void Cmd_StartServer(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CNetGame* net = Net(record);
    if (file || !net) return;
    int32_t port = kNetDefaultServerPort;
    if (Count(args) >= 1 && (!IntArg(args, 0, &port) || port < 0 || port > 65535)) {
        net->Printf("StartServer: not a port: %s", args->Text(0));
        return;
    }
    int32_t makePublic = 0;
    if (Count(args) >= 2 && !IntArg(args, 1, &makePublic)) makePublic = 0;
    NetCommands_StartServer(net, static_cast<uint16_t>(port), makePublic != 0);
}

// StartLocalServer: a fresh local game (the lobby of this machine alone).
void Cmd_StartLocalServer(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    CNetGame* net = Net(record);
    if (file || !net) return;
    net->ResetToLobby();
}

void Cmd_ListPlayers(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    CNetGame* net = Net(record);
    if (file || !net) return;
    net->Printf("%-10s%-50s", "ID", "Name");
    for (CPlayer* p : net->m_players.m_players)
        if (p != net->m_players.m_neutral) net->Printf("%-10d%-50s", (int)p->m_id, p->m_name.GetText());
}

void Cmd_ListTeams(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    CNetGame* net = Net(record);
    if (file || !net) return;
    net->Printf("%-10s%-50s", "ID", "Name");
    for (CTeam* t : net->m_players.m_teams) net->Printf("%-10d%-50s", (int)t->m_id, t->m_name.GetText());
}

void Cmd_ListRaces(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    CNetGame* net = Net(record);
    if (file || !net) return;
    net->Printf("%-10s%-50s%-50s", "ID", "Name", "Start Unit");
    for (CRace* r : net->m_players.m_races)
        net->Printf("%-10d%-50s%-50s", (int)r->m_id, r->m_name.GetText(),
                    r->m_startUnit ? r->m_startUnit->m_name.GetText() : "NoStartUnit");
}

// Name / Nick: the local player's name (a request to the server).
void Cmd_Name(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CNetGame* net = Net(record);
    CPlayer* local = net ? net->LocalPlayer() : nullptr;
    if (!local) return;
    if (file) {
        // The player's own choice, whatever the session made of it.
        const char* name =
            net->m_wantedName.IsEmpty() ? local->m_name.GetText() : net->m_wantedName.GetText();
        CStrBuf line;
        line.Format("%s(%s);\r\n", record->GetName(), ConfigText_Quote(name).c_str());
        return WriteLine(file, line);
    }
    if (Count(args) < 1) {
        net->Printf("You are called %s", local->m_name.GetText());
        return;
    }
    net->SetWantedName(args->Text(0));
}

// Color(float r, float g, float b): the local player's colour.
void Cmd_Color(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CNetGame* net = Net(record);
    CPlayer* local = net ? net->LocalPlayer() : nullptr;
    if (!local) return;
    if (file) {
        // The player's own colour, else the one the session gave: read back
        // at the next start, it stays the player's.
        const float* c = net->m_wantedColourSet ? net->m_wantedColour : local->m_colour;
        CStrBuf line;
        line.Format("%s(%d, %d, %d);\r\n", record->GetName(), (int)c[0], (int)c[1], (int)c[2]);
        return WriteLine(file, line);
    }
    if (Count(args) < 3) {
        net->Printf("Your color is R %f G %f B %f", (double)local->m_colour[0], (double)local->m_colour[1],
                    (double)local->m_colour[2]);
        return;
    }
    float c[3];
    for (int i = 0; i < 3; ++i)
        if (!args->arg[i].GetFloat(c[i])) return;
    net->SetWantedColour(c[0], c[1], c[2]);
}

void Cmd_NextColor(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    CNetGame* net = Net(record);
    if (!file && net) net->RequestNextColour();
}

// Team(str/int Team): the local player's team by id or name; one that does
// not exist leaves the team.
void Cmd_Team(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CNetGame* net = Net(record);
    CPlayer* local = net ? net->LocalPlayer() : nullptr;
    if (file || !local) return;
    if (Count(args) < 1) {
        if (local->m_team)
            net->Printf("Your team is %s", local->m_team->m_name.GetText());
        else
            net->Printf("You are not in a team");
        return;
    }
    int32_t id = -1;
    CTeam* team = nullptr;
    if (IntArg(args, 0, &id))
        team = id >= 0 ? net->m_players.FindTeamById(static_cast<uint32_t>(id)) : nullptr;
    else
        team = net->m_players.FindTeamByName(args->Text(0));
    local->SetTeam(team);
}

// CreateTeam(str TeamName): NEWTEAM {u32 -1, u32 the local player's id, name}.
void Cmd_CreateTeam(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CNetGame* net = Net(record);
    CPlayer* local = net ? net->LocalPlayer() : nullptr;
    if (file || !local) return;
    if (Count(args) < 1) return record->ReportError("To few arguments");
    CStrBuf name(args->Text(0));
    if (name.IsEmpty() || name.Equals(" ")) name = "Unnamed team";
    net->m_send.Reset();
    net->m_send.WriteI32(-1);
    net->m_send.WriteI32(local->m_id);
    for (const char* c = name.GetText(); *c; ++c) net->m_send.WriteU8(static_cast<uint8_t>(*c));
    net->m_send.WriteU8(0);
    net->SendBuilt(NS_NOTIFYTYPE_NEWTEAM, &local->m_sendSlot);
}

void Cmd_Resync(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    CNetGame* net = Net(record);
    if (!file && net) net->m_resyncCountdown = 30;
}

void OnRate(CConsoleCommand* record, SCommandArgs*, CVFSFile*) {
    if (CNetGame* net = Net(record)) net->ApplyRate();
}

// ---- the server's colour selection list

void Cmd_ColorRemoveAll(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    CNetGame* net = Net(record);
    if (!file && net) net->m_colors.clear();
}

void Cmd_ColorList(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    CNetGame* net = Net(record);
    if (file || !net) return;
    for (const SServerColor& c : net->m_colors)
        net->PrintColor((int)std::lround(c.r), (int)std::lround(c.g), (int)std::lround(c.b), false,
                        "R %f G %f B %f", (double)c.r, (double)c.g, (double)c.b);
}

void Cmd_ColorAdd(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CNetGame* net = Net(record);
    if (file || !net) return;
    if (Count(args) < 3) {
        net->Printf("Need 3 arguments");
        return;
    }
    SServerColor c{0.0f, 0.0f, 0.0f};
    float* parts[3] = {&c.r, &c.g, &c.b};
    for (int i = 0; i < 3; ++i)
        if (!args->arg[i].GetFloat(*parts[i])) break;
    net->m_colors.push_back(c);
}

// The hosted description changed: a host tells its clients at once.
void OnServerInfo(CConsoleCommand* record, SCommandArgs*, CVFSFile*) {
    CNetGame* net = Net(record);
    if (net && net->m_hosting) net->SendServerInfo();
}
}  // namespace

void CNetGame::RegisterCommands(CCommandInterpreter* ip) {
    const SCommandRow rows[] = {
        SCommandRow::Function("Connect", Cmd_Connect, "Connects to the supplied destination",
                              "Connect(str Destination);"),
        SCommandRow::Function("Disconnect", Cmd_Disconnect,
                              "Disconnects from the server you are connected to", "Disconnect();"),
        SCommandRow::Function("StartServer", Cmd_StartServer, "Starts a server",
                              "StartServer (int Port = 47222, bool Public = false)"),
        SCommandRow::Function("StartLocalServer", Cmd_StartLocalServer, "Starts a local loopback server",
                              "StartLocalServer"),
        SCommandRow::Function("ListPlayers", Cmd_ListPlayers, "List all awailable players", "ListPlayers();"),
        SCommandRow::Function("ListTeams", Cmd_ListTeams, "List all awailable teams", "ListTeams();"),
        SCommandRow::Function("ListRaces", Cmd_ListRaces, "Lists all awailable Races", "ListRaces();"),
        SCommandRow::Function("Name", Cmd_Name, "Changes the players name", "Name(str Name);")
            .Config("Player.cfg"),
        SCommandRow::Function("Nick", Cmd_Name, "Changes the players name", "Nick(str Nick);"),
        SCommandRow::Function("Color", Cmd_Color, "Selects the color for the player",
                              "Color (float r, float g, float b);")
            .Config("Player.cfg"),
        SCommandRow::Function("NextColor", Cmd_NextColor, "Select next free color on the server",
                              "NextColor();"),
        SCommandRow::Function("Team", Cmd_Team, "Changes the team for the player", "Team(str/int Team);"),
        SCommandRow::Function("CreateTeam", Cmd_CreateTeam, "Creates a new team",
                              "CreateTeam(str TeamName);"),
        SCommandRow::Function("srv_Resync", Cmd_Resync, "Forces a resync of the game", "srv_Resync();"),
        SCommandRow::String(
            "srv_Password", &m_serverPassword, 256,
            "The password a client has to set cl_Password to to be able to connect to the server",
            "srv_Password")
            .Config("Server.cfg")
            .OnChange(NetCommands_OnSettingsChanged),
        SCommandRow::String("cl_Password", &m_clientPassword, 256,
                            "The password you send to the server when you want to connect to it",
                            "cl_Password")
            .Config("Player.cfg")
            .OnChange(NetCommands_OnSettingsChanged),
        SCommandRow::Float("srv_Rate", &m_serverRate, 400.0f, 100000000.0f,
                           "Sets the combined max rate of the server", "srv_Rate(float Rate);")
            .Config("Network.cfg")
            .OnChange(OnRate),
        SCommandRow::Float("cl_Rate", &m_clientRate, 400.0f, 10000000.0f,
                           "Sets the preferable rate of the client", "cl_Rate(float Rate);")
            .Config("Network.cfg")
            .OnChange(OnRate),
        SCommandRow::Int("nw_MaxPacketSize", &m_maxPacketSize, 0, 2048, "Max packet size for a packet",
                         "nw_MaxPacketSize(int PacketSize)")
            .Config("Network.cfg")
            .OnChange(NetCommands_OnSettingsChanged),
        SCommandRow::Int(
            "nw_ClientPort", &m_clientPort, 0, 65535,
            "Selects the port to use for client to server connects. nw_ClientPort + 100 is used for "
            "Communication with the master, nw_ClientPort + 200 is used for Communication with server "
            "before connection",
            "nw_ClientPort(int Port);")
            .Config("Network.cfg"),
        SCommandRow::Float(
            "srv_Sync_NumberOfChecksPerFrame", &m_checksPerFrame, 0.1f, 1000000.0f,
            "Sets the number of units the server sends out to clients per frame for sync checking. "
            "Can be less than 1.0",
            "srv_Sync_NumberOfChecksPerFrame(float Number);")
            .Config("Server.cfg")
            .OnChange(OnRate),
        SCommandRow::Float("srv_ResyncTimeout", &m_resyncTimeout, 1.0f, 600.0f,
                           "Sets how many seconds a resync waits for a client's answers before it drops "
                           "the client",
                           "srv_ResyncTimeout(float Seconds);")
            .Config("Server.cfg"),
        SCommandRow::Int(
            "srv_SyncEveryFrame", &m_syncEveryFrame, 0, 3,
            "Syncs the game every frame if set to 1, if set to 2 it syns it once but without resorting "
            "lists etc",
            "srv_SyncEveryFrame(int Mode);"),
        SCommandRow::Float("srv_TargetFPS", &m_targetFps, 1.5f, 999.9f,
                           "Sets the target accurateness of the game engine. 15 fps is default",
                           "srv_TargetFPS(float Fps);")
            .Config("Server.cfg")
            .Mask(1),
        SCommandRow::Float(
            "srv_MinFPS", &m_minFps, 1.5f, 999.9f,
            "Sets the Minimum accurateness of the game engine. Values under 5 fps is not desirable.",
            "srv_MinFPS(float Fps);")
            .Config("Server.cfg")
            .Mask(1),
        SCommandRow::Bool("Cheats", &m_serverInfo.m_cheats, "Enables cheats", "Cheats(bool Enable);")
            .Mask(33)
            .OnChange(OnServerInfo),
        SCommandRow::Function("srv_Color_RemoveAll", Cmd_ColorRemoveAll,
                              "Removes all colors in color selection list", "srv_Color_RemoveAll();"),
        SCommandRow::Function("srv_Color_List", Cmd_ColorList, "Lists the colors in the color selection list",
                              "srv_Color_List();"),
        SCommandRow::Function("srv_Color_Add", Cmd_ColorAdd, "Adds a clor to the color selection list",
                              "srv_Color_Add(int r, int g, int b);"),
        // The server and its map: the hosted description (what this machine's
        // server tells its clients) and, for the si_Map_ values that a map's
        // information script sets, the current one.
        SCommandRow::Bool("si_FogOfWar", &m_serverInfo.m_fogOfWar, "Enable to use fog of war", "si_FogOfWar")
            .Config("Server.cfg")
            .Mask(32)
            .OnChange(OnServerInfo),
        SCommandRow::Int("si_Location", &m_serverInfo.m_location, 1, 13, "The location of this server",
                         "si_Location(int Country)")
            .Config("Server.cfg")
            .OnChange(OnServerInfo),
        SCommandRow::String("si_Map_File", &m_serverInfo.m_mapFile, 255,
                            "The map that have been selected to play on", "si_Map_File(char *)")
            .Config("Server.cfg")
            .OnChange(OnServerInfo),
        SCommandRow::Int("si_MaxUnits", &m_serverInfo.m_maxUnits, 0, 65536, "Max unitcount for each player",
                         "si_MaxUnits(int UnitCount)")
            .Config("Server.cfg")
            .OnChange(OnServerInfo),
        SCommandRow::Bool("si_AlliedVictory", &m_serverInfo.m_alliedVictory, "Allied victory",
                          "si_AlliedVictory(bool On)")
            .Config("Server.cfg")
            .OnChange(OnServerInfo),
        SCommandRow::Int("si_StartResources", &m_serverInfo.m_startResources, 0, 10000, "Start resources",
                         "si_StartResources(int NumResources)")
            .Config("Server.cfg")
            .OnChange(OnServerInfo),
        SCommandRow::String("si_Map_Description", &m_joinedInfo.m_description, 255,
                            "A description of the map to play on", "si_Map_Description(str Desc)")
            .MapScript(),
        SCommandRow::String("si_Map_Author", &m_joinedInfo.m_author, 255, "Name of the author of the map",
                            "si_Map_Author(str AuthorName)")
            .MapScript(),
        SCommandRow::Int("si_Map_Players", &m_joinedInfo.m_designedPlayers, 0, 255,
                         "The number of players this map was designed for", "si_Map_Players(int NumPlayers)")
            .MapScript(),
        SCommandRow::Int("si_Map_Width", &m_joinedInfo.m_width, 0, 65536, "The width of the selected map",
                         "si_Map_Width(int Width)")
            .MapScript(),
        SCommandRow::Int("si_Map_Height", &m_joinedInfo.m_height, 0, 65536, "The height of the selected map",
                         "si_Map_Height(int Height)")
            .MapScript(),
    };
    // Every handler and callback works on this session.
    for (const SCommandRow& row : rows) {
        SCommandRow own = row.Context(this);
        CommandTable_Register(ip, &own, 1);
    }
    RegisterLobbyCommands(ip);
}
