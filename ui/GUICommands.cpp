// The GUI's rows of the command set: loading and appending GUI packfiles,
// binding the panels, switching screens, the cursor and unit-status
// pictures, the texts (SetLid, TestLocalization) and the localization check,
// the edit boxes and the confirm dialog, the briefing's texts and picture,
// the load screen's layout, the settings lists, the multiplayer join and
// lobby screens' lists and tabs, the unit status bars' look and the
// interface options that Interface.cfg keeps. GUI scripts, key bindings and
// the GUI's own buttons drive the interface through them.
#include <algorithm>
#include <cstdio>

#include "console/CommandInterpreter.h"
#include "console/CommandTable.h"
#include "console/ConsoleCommand.h"
#include "e3d/BitmapSurface.h"
#include "e3d/Video.h"
#include "netgame/MasterClient.h"
#include "netgame/NetGame.h"
#include "netgame/ServerBrowser.h"
#include "nwe/Peer.h"
#include "platform/sys/Path.h"
#include "ui/GUIObject.h"
#include "ui/GUIRoles.h"
#include "ui/Interface.h"
#include "ui/Settings.h"
#include "ui/SettingsLists.h"

namespace {

// The interface a row works on: the context it was registered with.
CInterface* UI(CConsoleCommand* record, CVFSFile* file) {
    if (file) return nullptr;  // function rows write no configuration lines
    return static_cast<CInterface*>(record->GetContext());
}

int Count(SCommandArgs* args) {
    return args ? args->count : 0;
}

bool IntArg(SCommandArgs* args, int32_t& value) {
    return Count(args) == 1 && args->arg[0].GetInt(value);
}

// The first argument as an integer (at least one argument).
bool FirstInt(SCommandArgs* args, int32_t& value) {
    return Count(args) >= 1 && args->arg[0].GetInt(value);
}

// The first argument as a flag ("true", "false", 1, 0).
bool FirstBool(SCommandArgs* args, bool& value) {
    return Count(args) >= 1 && args->arg[0].GetBool(value);
}

void Run(CInterface* ui, const char* text) {
    if (CCommandInterpreter* ip = ui->ConsoleInterpreter()) ip->Execute(false, text);
}

void ShowChildren(CGUIObject* o, bool shown) {
    if (o) o->m_ChildrenHidden = shown ? 0 : 1;
}

void SetVisible(CGUIObject* o, bool visible) {
    if (o) o->m_Visible = visible ? 1 : 0;
}

void Cmd_Load(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    if (CInterface* ui = UI(record, file); ui && Count(args) >= 1) ui->LoadGUI(args->Text(0));
}

void Cmd_Append(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    if (CInterface* ui = UI(record, file); ui && Count(args) >= 1) ui->AppendGUI(args->Text(0));
}

void Cmd_IdentifyPanels(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    if (CInterface* ui = UI(record, file)) ui->IdentifyPanels();
}

void Cmd_SetActiveGUI(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CInterface* ui = UI(record, file);
    int32_t id = 0;
    if (!ui || !IntArg(args, id)) return;
    ui->m_MenuGUIId = id;
    ui->m_mode = 0;
    ui->m_RefreshLists = 1;
}

void Cmd_SetDirectActiveGUI(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CInterface* ui = UI(record, file);
    int32_t id = 0;
    if (ui && IntArg(args, id)) ui->m_MenuGUIId = id;
}

void Cmd_LoadMouse(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    if (CInterface* ui = UI(record, file)) ui->LoadMouse();
}

void Cmd_LoadUnitInfo(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    if (CInterface* ui = UI(record, file)) ui->LoadUnitInfo();
}

// Opens the in-game menu on the screen of the id, or closes it (the id then
// does not matter).
void Cmd_JumpToMenu(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CInterface* ui = UI(record, file);
    int32_t id = 0;
    if (!ui || !IntArg(args, id)) return;
    if (!ui->m_InGameMenu) {
        ui->m_activeGUI = id;
        ui->m_menuPage = 0;
        ui->m_InGameMenu = 1;
    } else {
        ui->m_InGameMenu = 0;
    }
    ui->m_GUIChanged = 1;
}

void Cmd_SetLid(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    if (CInterface* ui = UI(record, file); ui && Count(args) == 2) ui->SetLid(args->Text(0), args->Text(1));
}

void Cmd_PostLocalizationCheck(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    if (CInterface* ui = UI(record, file); ui && ui->m_GUIRoot) ui->CheckLocalization(ui->m_GUIRoot);
}

void Remeasure(CGUIObject* o) {
    o->m_SizeKnown = 0;
    for (CGUIObject* child : o->m_Children) Remeasure(child);
}

// A change of TestLocalization shows at once: every text is measured and the
// screens drawn again.
void OnTestLocalization(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    CInterface* ui = UI(record, file);
    if (!ui) return;
    if (ui->m_GUIRoot) Remeasure(ui->m_GUIRoot);
    ui->m_GUIChanged = 1;
}

// ---- scrolling and the lists of the join screen

void Cmd_ServerListScrollDown(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    if (CInterface* ui = UI(record, file)) ++ui->m_serverListScroll;
}

void Cmd_ServerListScrollUp(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    if (CInterface* ui = UI(record, file)) --ui->m_serverListScroll;
}

void Cmd_BriefingScroll(CConsoleCommand* record, int change, bool reset) {
    CInterface* ui = UI(record, nullptr);
    if (!ui || !ui->m_Panels[kPanelBriefingText]) return;
    ui->m_briefingScroll = reset ? 0 : ui->m_briefingScroll + change;
    ui->m_GUIChanged = 1;
}
void Cmd_BriefingScrollDown(CConsoleCommand* r, SCommandArgs*, CVFSFile* f) {
    if (!f) Cmd_BriefingScroll(r, -1, false);
}
void Cmd_BriefingScrollUp(CConsoleCommand* r, SCommandArgs*, CVFSFile* f) {
    if (!f) Cmd_BriefingScroll(r, +1, false);
}
void Cmd_BriefingScrollReset(CConsoleCommand* r, SCommandArgs*, CVFSFile* f) {
    if (!f) Cmd_BriefingScroll(r, 0, true);
}

void Cmd_ForceOutFromEditMode(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    if (CInterface* ui = UI(record, file)) ui->LeaveEditMode(true);
}

void Cmd_EditEnter(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    if (CInterface* ui = UI(record, file)) ui->LeaveEditMode(false);
}

void Cmd_SetLoadScreenImage(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    if (CInterface* ui = UI(record, file)) ui->SetLoadScreenImage();
}

// Exactly twenty numbers (the syntax shows eight; twenty are taken).
void Cmd_SetLoadScreenConfig(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CInterface* ui = UI(record, file);
    if (!ui || Count(args) != 20) return;
    int32_t values[20];
    for (int i = 0; i < 20; ++i)
        if (!args->arg[i].GetInt(values[i])) return;
    std::copy(values, values + 20, ui->m_loadScreenLayout);
}

void Cmd_FlipDummyBar(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    CInterface* ui = UI(record, file);
    CGUIObject* bar = ui ? ui->m_Panels[kPanelDummyBar] : nullptr;
    if (!bar) return;
    bar->m_Visible = bar->m_Visible ? 0 : 1;
    bar->m_ChildrenHidden = bar->m_Visible ? 0 : 1;
    ui->m_GUIChanged = 1;
}

void Cmd_ClearScreenConsole(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    if (CInterface* ui = UI(record, file)) ui->m_console.ClearScreenMessages();
}

// ---- the briefing

// A text of the campaign's mission into its panel (lines at carriage
// returns); kept for the briefing when the panel is made again.
void SetBriefingText(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file, EGUIPanel panel,
                     CStrBuf CInterface::*text) {
    CInterface* ui = UI(record, file);
    if (!ui || Count(args) != 1) return;
    ui->*text = args->Text(0);
    if (CGUIObject* o = ui->m_Panels[panel]) o->SetText(args->Text(0));
}
void Cmd_SetCampaignMissionText(CConsoleCommand* r, SCommandArgs* a, CVFSFile* f) {
    SetBriefingText(r, a, f, kPanelBriefingText, &CInterface::m_missionText);
}
void Cmd_SetCampaignObjectiveText(CConsoleCommand* r, SCommandArgs* a, CVFSFile* f) {
    SetBriefingText(r, a, f, kPanelBriefingObjectives, &CInterface::m_objectiveText);
}

// The briefing's picture or movie from the mission's folder, in the place of
// the picture the panel shows.
void Cmd_SetCampaignBriefingAnimation(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CInterface* ui = UI(record, file);
    CGUIObject* panel = ui ? ui->m_Panels[kPanelBriefingMovie] : nullptr;
    if (!panel || Count(args) != 1) return;
    ui->m_briefingAnimation = args->Text(0);
    CGUIObject* owner = panel->m_OwnsResources || !panel->m_Screen ? panel : panel->m_Screen;
    const int32_t id = panel->BitmapIdShown();
    CImageHandle* entry = nullptr;
    for (std::unique_ptr<CImageHandle>& h : owner->m_Resources)
        if (h && h->m_index == id) entry = h.get();
    if (!entry) return;
    // Only a name inside the mission's folder.
    CStrBuf relative;
    relative.Format("%s\\%s\\%s", ui->m_campaignName.GetText(), ui->m_missionName.GetText(), args->Text(0));
    if (!Sys_IsSafeRelativePath(relative.GetText())) {
        record->ReportError("The animation must lie in the mission's folder");
        return;
    }
    CE3DScreen* screen = ui->Screen();
    if (!screen) return;
    CBitmapSurface* picture = new CBitmapSurface(screen);
    picture->AddRef();
    if (!picture->Load(ui->GetPath("Campaigns", relative.GetText()), true, -1, -1)) {
        picture->Release();
        return;
    }
    if (entry->m_bitmap) entry->m_bitmap->Release();
    entry->m_bitmap = picture;
    if (picture->m_video) {
        picture->m_video->m_loop = 1;
        picture->m_video->Play();
    }
    panel->m_SizeKnown = 0;
    ui->m_GUIChanged = 1;
}

void Cmd_BriefingExecute(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    CInterface* ui = UI(record, file);
    if (!ui) return;
    if (ui->GuiWord() != 0) {
        Run(ui, "startcampaigngame;");
    } else {
        // Back to the running game.
        ui->m_MenuGUIId = 1000;
        ui->m_InGameMenu = 0;
    }
}

void Cmd_JumpToBriefing(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    CInterface* ui = UI(record, file);
    if (ui && ui->GUIGame().GameType() == 0) ui->JumpToGUI(500);
}

// ---- the radar

void Cmd_RadarLockMode(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    CInterface* ui = UI(record, file);
    if (!ui) return;
    ui->m_hud.m_radar.ToggleLockMode();
}

// A test: ten red rings at the world's middle, the first the size of the
// map's half extent, each later one a step larger, darker and later.
void Cmd_RadarMessage(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    CInterface* ui = UI(record, file);
    if (!ui) return;
    const float r = ui->MapHalfExtent();
    for (int i = 0; i < 10; ++i) {
        CInterface::SRadarMessage m;
        m.size = r + float(i);
        m.rgb[0] = uint8_t(255 - 20 * i);
        m.age = -0.1f * float(i);
        ui->m_radarMessages.insert(ui->m_radarMessages.begin(), m);
    }
}

void Cmd_ActivateConfirmDialog(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    CInterface* ui = UI(record, file);
    if (!ui) return;
    ui->ActivateConfirmDialog(
        "Can't connect to master, master has diffrent protocol version. To play Tessarak online you have to "
        "download the latest patch. Look for it where you got the game, or build it again from its sources.",
        "Yes", nullptr, "No", false);
}

// ---- the settings lists

void Cmd_ParseSettingsList(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    if (CInterface* ui = UI(record, file)) ui->ParseSettingsList();
}

// The server list's two looks: the servers (normal) and their details
// (statistics). Normal flips between them, as the join screen's button
// does; statistics shows the details.
void SwitchServerLists(CInterface* ui, int which) {
    CGUIObject* normal = ui->m_Panels[kPanelNormalServerList];
    CGUIObject* stats = ui->m_Panels[kPanelStatServerList];
    CGUIObject* a = normal ? normal->m_Parent : nullptr;
    CGUIObject* b = stats ? stats->m_Parent : nullptr;
    if (!a || !b) return;
    const bool showNormal = which == 0 ? a->m_ChildrenHidden != 0 : false;
    a->m_ChildrenHidden = showNormal ? 0 : 1;
    b->m_ChildrenHidden = showNormal ? 1 : 0;
    ui->m_RefreshLists = 1;
    ui->m_GUIChanged = 1;
}
void Cmd_SwitchToNormalList(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    if (CInterface* ui = UI(record, file)) SwitchServerLists(ui, 0);
}
void Cmd_SwitchToStatList(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    if (CInterface* ui = UI(record, file)) SwitchServerLists(ui, 1);
}

// The browser's sort of a list column: the five columns of the servers'
// list (name, map, location, game, players), then the six of the details
// (name, address, ping, kind, connection, ping in seconds).
int BrowserColumn(int32_t column) {
    static const int kColumns[11] = {0, 3, 4, 7, 2, 0, 8, 1, 10, 5, 1};
    return column >= 0 && column < 11 ? kColumns[column] : -1;
}

void Cmd_PressColumn(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CInterface* ui = UI(record, file);
    int32_t column = 0;
    if (!ui || !FirstInt(args, column)) return;
    // A column the lists do not have is no sort.
    if (BrowserColumn(column - 1) < 0) return;
    ui->m_sortDirection = column == ui->m_sortColumn + 1 ? !ui->m_sortDirection : 1;
    ui->m_sortColumn = column - 1;
    CNetGame* net = ui->NetGame();
    CServerBrowser* b = net ? net->m_browser.get() : nullptr;
    if (!b) return;
    std::lock_guard<std::recursive_mutex> hold(b->m_lock);
    b->m_filter.sortColumn = BrowserColumn(ui->m_sortColumn);
    b->m_filter.sortDescending = ui->m_sortDirection ? 0 : 1;
    b->FilterServerList();
    // The selected server at the top.
    if (const CServerListEntry* contact = b->Contact())
        for (size_t i = 0; i < b->m_visible.size(); ++i)
            if (b->m_visible[i] == contact) ui->m_serverListScroll = int32_t(i);
}

void Cmd_SetLobbyOptionsReadOnly(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CInterface* ui = UI(record, file);
    bool on = false;
    if (!ui || !FirstBool(args, on)) return;
    if (CSettingClass* c = ui->FindSettingClass("MultiplayerLobby")) c->SetReadOnly(on);
    if (CGUIObject* team = ui->m_Panels[kPanelCreateTeam]) team->SetText(ui->GetSystemText(296));
}

// Two lines of the list of the join screen's area under the mouse.
void Cmd_ScrollMulti(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CInterface* ui = UI(record, file);
    bool up = false;
    if (!ui || !FirstBool(args, up)) return;
    const int32_t step = up ? -2 : 2;
    switch (ui->HitTestJoinAreas(ui->m_cursorX, ui->m_cursorY)) {
        case 1:
            ui->m_serverListScroll += step;
            break;
        case 2:
            ui->m_userListScroll += step;
            break;
        case 3:
            ui->m_channelListScroll += step;
            break;
        case 4:
            if (CSettingClass* c = ui->FindSettingClass("MatchServers"); c && c->m_list)
                c->m_list->m_ListScroll = std::max(0, c->m_list->m_ListScroll + step);
            break;
        case 5:
            ui->ScrollChatList(up ? 1 : 0);
            break;
        default:
            break;
    }
}

void Cmd_ChatListUp(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    if (CInterface* ui = UI(record, file)) ui->ScrollChatList(1);
}

void Cmd_ChatListDown(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    if (CInterface* ui = UI(record, file)) ui->ScrollChatList(0);
}

// The join screen of the local network, or of the internet (the master's
// servers and chat).
void MakeJoinScreen(CInterface* ui, bool internet) {
    ShowChildren(ui->m_Panels[kPanelChannelList], internet);
    if (CGUIObject* title = ui->m_Panels[kPanelMultiplayerTitleText])
        title->SetText(ui->GetSystemText(internet ? 26 : 27));
    for (int p = kPanelMP1; p <= kPanelMP6; ++p) SetVisible(ui->m_Panels[p], internet);
    for (EGUIPanel p : {kPanelRefreshServer, kPanelRefreshProgress, kPanelOpenClosedRefreshing})
        SetVisible(ui->m_Panels[p], internet);
    ui->m_internetMode = internet ? 1 : 0;
    ui->m_GUIChanged = 1;
    CNetGame* net = ui->NetGame();
    if (!net) return;
    if (CSettingsLists* lists = ui->m_settings.get()) {
        lists->m_find.network = internet ? 3 : 1;
        lists->m_filter.network = 3;
        lists->ApplyFindServers();
        lists->ApplyServerFilter();
    } else if (net->m_browser) {
        std::lock_guard<std::recursive_mutex> hold(net->m_browser->m_lock);
        net->m_browser->m_querySources = internet ? 3 : 1;
        net->m_browser->m_filter.sources = 3;
    }
    if (net->m_browser) net->m_browser->Disconnect();
    if (net->m_master) {
        net->m_master->CloseChat();
        net->m_master->DeleteChannels();
    }
}
void Cmd_MakeLANGUI(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    if (CInterface* ui = UI(record, file)) MakeJoinScreen(ui, false);
}
void Cmd_MakeInternetGUI(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    if (CInterface* ui = UI(record, file)) MakeJoinScreen(ui, true);
}

void Cmd_HostMultiGame(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    if (CInterface* ui = UI(record, file))
        Run(ui, ui->m_internetMode ? "exec(\"StartPublicServer.cfg\");" : "exec(\"StartServer.cfg\");");
}

void Cmd_SetServerOptionsAdv(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CInterface* ui = UI(record, file);
    bool on = false;
    if (!ui || !FirstBool(args, on)) return;
    if (CSettingClass* c = ui->FindSettingClass("MultiplayerLobby")) c->m_advanced = on ? 1 : 0;
}

// The server search's tabs: 0 the find rows, 1 the filter rows, 3 the
// server's statistics.
void Cmd_SetQFO(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CInterface* ui = UI(record, file);
    int32_t tab = 0;
    if (!ui || !FirstInt(args, tab) || (tab != 0 && tab != 1 && tab != 3)) return;
    CSettingClass* match = ui->FindSettingClass("MatchServers");
    CSettingClass* stats = ui->FindSettingClass("ServerStats");
    if (!match || !ui->m_settings) return;
    // The search's list shows the class of the tab.
    CGUIObject* list = match->m_list ? match->m_list : stats ? stats->m_list : nullptr;
    CSettingClass* shown = tab == 3 && stats ? stats : match;
    ui->m_settings->m_searchClass = shown;
    match->m_advanced = tab == 1 ? 1 : 0;
    if (list && list->m_SettingsClass != shown) {
        list->m_DefineList = shown->m_name.c_str();
        ui->BindSettingsLists();
    }
    for (int t = 0; t < 3; ++t) ShowChildren(ui->m_Panels[kPanelQFOTab1 + t], t == (tab == 3 ? 2 : tab));
    ui->m_GUIChanged = 1;
}

void Cmd_PlayerTitleListScroll(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CInterface* ui = UI(record, file);
    int32_t n = 0;
    if (!ui || !FirstInt(args, n) || n < 0 || n > 7) return;
    int32_t* positions[4] = {&ui->m_userListScroll, &ui->m_channelListScroll, &ui->m_playerStatsScroll,
                             &ui->m_teamStatsScroll};
    *positions[n / 2] += n % 2 ? 1 : -1;
}

// The game speed and the scroll speed of their options 1 to 5.
void OnGameSpeed(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    CInterface* ui = UI(record, file);
    static const float kSpeeds[5] = {0.2f, 0.5f, 1.0f, 1.7f, 100.0f};
    const int32_t o = ui ? ui->m_GameSpeedSetting : 0;
    if (ui && o >= 1 && o <= 5 && ui->NetGame()) ui->NetGame()->SetSpeedFactor(kSpeeds[o - 1]);
}

void OnScrollSpeed(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    CInterface* ui = UI(record, file);
    static const float kSpeeds[5] = {0.3f, 0.5f, 1.0f, 1.7f, 3.0f};
    const int32_t o = ui ? ui->m_ScrollSpeedSetting : 0;
    if (ui && o >= 1 && o <= 5) ui->m_scrollSpeed = kSpeeds[o - 1];
}

}  // namespace

void CInterface::RegisterGUICommands(CCommandInterpreter* ip) {
    if (!ip) return;
    // The console's command line, which the edit field follows when it
    // changes behind its back.
    CStrBuf* commandLine = &m_console.CommandLine();
    const SCommandRow first[] = {
        SCommandRow::String("CommandLine", commandLine, 4096, "The string in the commandline", "CommandLine")
            .Context(this),
        SCommandRow::Bool("vid_UseSeprate2DSurface", &m_UseSeparate2DSurface,
                          "Turning this on and restarting the video may provide better performance",
                          "vid_UseSeprate2DSurface")
            .Context(this),
    };
    CommandTable_Register(ip, first);
    const SCommandRow rows[] = {
        SCommandRow::Function("ServerListScrollDown", Cmd_ServerListScrollDown,
                              "Scrolls the server list down", "ServerListScrollDown();")
            .Context(this),
        SCommandRow::Function("ServerListScrollUp", Cmd_ServerListScrollUp, "Scrolls the server list up",
                              "ServerListScrollUp();")
            .Context(this),
        SCommandRow::Function("BriefingScrollDown", Cmd_BriefingScrollDown, "Scrolls the briefing up",
                              "BriefingScrollDown();")
            .Context(this),
        SCommandRow::Function("BriefingScrollUp", Cmd_BriefingScrollUp, "Scrolls the briefing up",
                              "BriefingScrollUp();")
            .Context(this),
        SCommandRow::Function("BriefingScrollReset", Cmd_BriefingScrollReset, "Scrolls the briefing up",
                              "BriefingScrollReset();")
            .Context(this),
        SCommandRow::Function("g_Load", Cmd_Load, "Loads the supplied GUI", "G_Load(str FileName);")
            .Context(this),
        SCommandRow::Function("g_Append", Cmd_Append, "Append the supplied GUI", "G_Append(str FileName);")
            .Context(this),
        SCommandRow::Function("g_IdentifyPanels", Cmd_IdentifyPanels, "Loads the supplied GUI",
                              "g_IdentifyPanels();")
            .Context(this),
        SCommandRow::Function("G_SetActiveGUI", Cmd_SetActiveGUI,
                              "The specified ID tells which GUI to be shown", "G_SetActiveGUI( int ID );")
            .Context(this),
        SCommandRow::Function("G_SetDirectActiveGUI", Cmd_SetDirectActiveGUI,
                              "The specified ID tells which GUI to be directly shown",
                              "G_SetDirectActiveGUI( int ID );")
            .Context(this),
        SCommandRow::Function("G_LoadMouse", Cmd_LoadMouse, "Loads mouse bitmaps", "G_LoadMouse();")
            .Context(this),
        SCommandRow::Function("G_LoadUnitInfo", Cmd_LoadUnitInfo, "Loads unit info bitmaps",
                              "G_LoadUnitInfo();")
            .Context(this),
        SCommandRow::Function("G_JumpToMenu", Cmd_JumpToMenu,
                              "The specified ID tells which GUI to be shown (inside game)",
                              "G_JumpToMenu( int ID );")
            .Context(this),
        SCommandRow::Function("g_ForceOutFromEditMode", Cmd_ForceOutFromEditMode, "Exits from a edit",
                              "g_ForceOutFromEditMode();")
            .Context(this),
        SCommandRow::Function("g_SetLoadScreenImage", Cmd_SetLoadScreenImage,
                              "Loads the screen that is displayed when the game is loading",
                              "g_SetLoadScreenImage(char Image);")
            .Context(this),
        SCommandRow::Function(
            "g_SetLoadScreenConfig", Cmd_SetLoadScreenConfig,
            "Defines the LoadScreen two areas, text and bar",
            "g_SetLoadScreenConfig(int ax1,int ay1,int ax2,int ay2,int bx1,int by1,int bx2,int by2);")
            .Context(this),
        SCommandRow::Function("FlipDummyBar", Cmd_FlipDummyBar, "Turns dummybar on or off", "FlipDummyBar();")
            .Mask(4)
            .Context(this),
        SCommandRow::Bool("Interfaceopt_ToolTips", &m_ToolTips, "Turns the tool tip feature on or off",
                          "Interfaceopt(bool Active)")
            .Config("Interface.cfg")
            .Context(this),
        SCommandRow::Bool("G_ScoreMenu", &m_gameScreen, "Turns the tool tip feature on or off", "G_ScoreMenu")
            .Context(this),
        SCommandRow::Int("G_BuildOrderDuplication", &m_BuildOrderDuplication, 0, 512,
                         "Sets how many extra build orders to add when pressing shift",
                         "G_BuildOrderDuplication")
            .Context(this),
        SCommandRow::Function("g_EditEnter", Cmd_EditEnter, "Executes the current text in the edit box",
                              "g_EditEnter();")
            .Context(this),
        SCommandRow::String("g_TCPAdress", &m_TCPAddress, 16, "Sets the current TCP adress when joing a game",
                            "g_TCPAdress")
            .Context(this),
        SCommandRow::Function("g_ClearScreenConsole", Cmd_ClearScreenConsole, "Clears the screen console.",
                              "g_ClearScreenConsole();")
            .Context(this),
        SCommandRow::Function("g_SetCampaignMissionText", Cmd_SetCampaignMissionText,
                              "Sets the mission text shown in a GUI object",
                              "g_SetCampaignMissionText( char Text );")
            .Context(this),
        SCommandRow::Function("g_SetCampaignObjectiveText", Cmd_SetCampaignObjectiveText,
                              "Sets the objective text shown in a GUI object",
                              "g_SetCampaignObjectiveText( char Text);")
            .Context(this),
        SCommandRow::Function("g_SetCampaignBriefingAnimation", Cmd_SetCampaignBriefingAnimation,
                              "g_SetCampaignBriefingAnimation", "g_SetCampaignBriefingAnimation( char Text);")
            .Context(this),
        SCommandRow::Function("g_BriefingExecute", Cmd_BriefingExecute, "g_BriefingExecute",
                              "g_BriefingExecute;")
            .Context(this),
        SCommandRow::Function("g_JumpToBriefing", Cmd_JumpToBriefing, "g_JumpToBriefing", "g_JumpToBriefing;")
            .Context(this),
        SCommandRow::Function("G_RadarLockMode", Cmd_RadarLockMode,
                              "Changes how the radar should be locked to screen or showing whole world.",
                              "G_RadarLockMode();")
            .Context(this),
        SCommandRow::Function("G_RadarMessage", Cmd_RadarMessage, "Makes a radar message test",
                              "G_RadarMessage();")
            .Context(this),
        SCommandRow::Function("G_ActivateConfirmDialog", Cmd_ActivateConfirmDialog,
                              "Makes a confirmdialog test", "G_ActivateConfirmDialog(char TestString);")
            .Context(this),
        SCommandRow::Function("SetLid", Cmd_SetLid, "Sets a text to a local identifier",
                              "SetLid(char LID, char Text);")
            .Context(this),
        SCommandRow::Bool("TestLocalization", &m_TestLocalization,
                          "If true, the gui will replace all text with *LOC*", "TestLocalization")
            .OnChange(OnTestLocalization)
            .Context(this),
        SCommandRow::Function("g_ParseSettingsList", Cmd_ParseSettingsList, "Adds settings to GUI",
                              "g_ParseSettingsList();")
            .Context(this),
        SCommandRow::Function("g_SwitchToNormalList", Cmd_SwitchToNormalList,
                              "Switch to normal mode in the global server list", "g_SwitchToNormalList();")
            .Context(this),
        SCommandRow::Function("g_SwitchToStatList", Cmd_SwitchToStatList,
                              "Switch to status mode in the global server list", "g_SwitchToStatList();")
            .Context(this),
        SCommandRow::Function(
            "g_PostLocalizationCheck", Cmd_PostLocalizationCheck,
            "Posts a localization check to the interface to check for gui localization errors",
            "g_PostLocalizationCheck();")
            .Context(this),
        SCommandRow::Int("Interfaceopt_NumMessagesLines", &m_MessageLines, 0, 10,
                         "Interface Options -> Message Lines", "Interfaceopt_NumMessagesLines(int Lines);")
            .Config("Interface.cfg")
            .Context(this),
        SCommandRow::Int("Interfaceopt_GameSpeed", &m_GameSpeedSetting, 1, 5,
                         "Interface Options -> Game Speed", "Interfaceopt_GameSpeed(int GameSpeed);")
            .Config("Interface.cfg")
            .OnChange(OnGameSpeed)
            .Context(this),
        SCommandRow::Int("Interfaceopt_ScrollSpeed", &m_ScrollSpeedSetting, 1, 5,
                         "Interface Options -> Scroll Speed", "Interfaceopt_ScrollSpeed(int ScrollSpeed);")
            .Config("Interface.cfg")
            .OnChange(OnScrollSpeed)
            .Context(this),
        SCommandRow::Int("g_NumMouseBitmaps", &m_NumMouseBitmaps, 1, 1024,
                         "Sets the number of bitmaps on the mouse pointer",
                         "g_NumMouseBitmaps(int NumBitmaps);")
            .Context(this),
        SCommandRow::Int("g_NumUnitInfoBitmaps", &m_NumUnitInfoBitmaps, 1, 1024,
                         "Sets the number of bitmaps on unit info icons",
                         "g_NumUnitInfoBitmaps(int NumBitmaps);")
            .Context(this),
        SCommandRow::Function("g_PressColumn", Cmd_PressColumn, "Reports the column to be pressed",
                              "g_PressColumn(int Column);")
            .Context(this),
        SCommandRow::Bool("g_RemakeMapChange", &m_RemakeMapChange, "Chooses the first map",
                          "g_RemakeMapChange")
            .Context(this),
        SCommandRow::Function("g_SetLobbyOptionsReadOnly", Cmd_SetLobbyOptionsReadOnly,
                              "Sets lobby options readonly", "g_SetLobbyOptionsReadOnly(bool true);")
            .Context(this),
        SCommandRow::Function("g_ScrollMulti", Cmd_ScrollMulti, "Scrolls in multiplayers join gui",
                              "g_ScrollMulti(bool up);")
            .Context(this),
        SCommandRow::Function("g_ChatListUp", Cmd_ChatListUp, "Scrolls in multiplayers join gui",
                              "g_ChatListUp;")
            .Context(this),
        SCommandRow::Function("g_ChatListDown", Cmd_ChatListDown, "Scrolls in multiplayers join gui",
                              "g_ChatListDown;")
            .Context(this),
        SCommandRow::Function("g_MakeLANGUI", Cmd_MakeLANGUI, "Makes the GUI Lan", "g_MakeLANGUI;")
            .Context(this),
        SCommandRow::Function("g_MakeInternetGUI", Cmd_MakeInternetGUI, "Makes the GUI Internet",
                              "g_MakeInternetGUI;")
            .Context(this),
        SCommandRow::Function("g_HostMultiGame", Cmd_HostMultiGame, "Hosts a LAN or Internet game",
                              "g_HostMultiGame;")
            .Context(this),
        SCommandRow::Function("g_SetServerOptionsAdv", Cmd_SetServerOptionsAdv,
                              "Show advanced or not advanced server options", "g_SetServerOptionsAdv;")
            .Context(this),
        SCommandRow::Function("g_SetQFO", Cmd_SetQFO, "Sets qfo tab level", "g_SetQFO;").Context(this),
        SCommandRow::Function("PlayerTitleListScroll", Cmd_PlayerTitleListScroll, "Scroll",
                              "PlayerTitleListScroll;")
            .Context(this),
    };
    CommandTable_Register(ip, rows);
}
