// The interface's lists, edit boxes and dialog on a GUI without a display:
// a settings list's rows, scrolling, views and presses; edit boxes that act
// on what was typed (a value clamped, a name cut, a team, a chat line) or,
// cancelled, on nothing; the confirm dialog's buttons; the statistics, the
// save slots and the server list filled from their records; the GUI rows of
// the command set.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <ctime>
#include <map>
#include <string>
#include <vector>

#include "netgame/NetGame.h"
#include "netgame/ServerBrowser.h"
#include "tests/support/CommandConsole.h"
#include "tests/support/TempDir.h"
#include "tools/lib/GUIPackWriter.h"
#include "ui/GUIObject.h"
#include "ui/GUIRoles.h"
#include "ui/Interface.h"
#include "ui/Settings.h"
#include "ui/SettingsLists.h"
#include "world/Player.h"

namespace {

using Lines = std::vector<std::string>;

// The game's results as a test sets them.
class CResults : public IGUIGame {
public:
    int32_t GameType() override { return type; }
    bool MissionWon() override { return won; }
    bool MissionLost() override { return lost; }
    bool Watching() override { return watching; }
    int32_t type = 1;
    bool won = false, lost = false, watching = false;
};

SGUIObjectRecord Group(const std::string& name, int32_t x = 0, int32_t y = 0) {
    SGUIObjectRecord o;
    o.kind = 3;
    o.name = name;
    o.x = x;
    o.y = y;
    o.layer = 1;
    return o;
}

SGUIObjectRecord Text(const std::string& name, const std::string& text, int32_t x = 0, int32_t y = 0) {
    SGUIObjectRecord o = Group(name, x, y);
    o.textLines = {text};
    return o;
}

SGUIObjectRecord WithId(SGUIObjectRecord o, const std::string& id) {
    o.properties.push_back({"ID", id});
    return o;
}

// A settings list of the class with n rows (label, value, button) and a
// scroll bar (down, up).
SGUIObjectRecord SettingsList(const std::string& klass, int rows) {
    SGUIObjectRecord list = Group("List of " + klass);
    list.properties.push_back({"DefineList", klass});
    SGUIObjectRecord box = Group("Rows");
    for (int r = 0; r < rows; ++r) {
        SGUIObjectRecord row = Text("Row", " ", 0, 20 * r);
        SGUIObjectRecord cells = Group("Cells");
        SGUIObjectRecord button = Group("Button", 300);
        button.children.push_back(Text("Step", "< >"));
        cells.children = {Group("Label"), Text("Value", " ", 200), button};
        row.children.push_back(cells);
        box.children.push_back(row);
    }
    SGUIObjectRecord bar = Group("Bar");
    SGUIObjectRecord down = Group("Down holder"), up = Group("Up holder");
    down.children.push_back(Text("Down", "v"));
    up.children.push_back(Text("Up", "^"));
    bar.children = {down, up};
    list.children = {box, bar};
    return list;
}

// A list panel: its rows in its first child, each with the columns.
SGUIObjectRecord ListPanel(const std::string& id, int rows, int columns) {
    SGUIObjectRecord list = WithId(Group(id), id);
    SGUIObjectRecord box = Group("Rows");
    for (int r = 0; r < rows; ++r) {
        SGUIObjectRecord row = Group("Row", 0, 20 * r);
        for (int c = 0; c < columns; ++c) row.children.push_back(Text("Column", " ", 60 * c));
        box.children.push_back(row);
    }
    list.children.push_back(box);
    return list;
}

class LobbyScreens : public ::testing::Test {
protected:
    void SetUp() override {
        ip = console.Start(game);
        ui = game.Interface();
        ui->RegisterGUICommands(ip);
        ui->SetNetGame(net);
        SInterfaceRoles roles = game.Roles().Interface();
        roles.gui = &results;
        ui->SetRoles(roles);
        ui->m_guiResourceFolder = dir.WinFile("GUI").c_str();
        ui->m_console.Hide();
        // The language gives every text its identifier's name, so that the
        // screens' texts say which they are.
        for (int i = 0; i < kSystemTextCount; ++i) ui->SetLid(kSystemTextNames[i], kSystemTextNames[i]);
    }
    void TearDown() override { console.Stop(); }

    // Loads a packfile of one screen (GUI 1) with these objects, builds the
    // settings lists and binds the panels.
    void Load(std::vector<SGUIObjectRecord> objects) {
        SGUIPack pack;
        pack.root.ownsResources = 1;
        pack.root.kind = -1;
        SGUIObjectRecord screen = Group("Screen");
        screen.ownsResources = 1;
        screen.guiId = 1;
        screen.layer = 0;
        screen.children = std::move(objects);
        pack.root.children.push_back(screen);
        std::vector<uint8_t> bytes;
        std::string error;
        ASSERT_TRUE(GUIPack_Build(pack, bytes, error)) << error;
        dir.Write("GUI/test.gui", std::string(bytes.begin(), bytes.end()));
        ASSERT_TRUE(ui->LoadGUI("test.gui"));
        console.Run("g_ParseSettingsList(); g_IdentifyPanels();");
        Frame();
    }
    void Frame() {
        ui->m_scriptsStarted = 1;
        ui->UpdateGUIContext();
        ui->Update(0, 0);
    }
    CGUIObject* Screen() { return ui->m_GUIRoot->m_Children[0]; }
    static CGUIObject* At(CGUIObject* o, std::initializer_list<size_t> path) {
        for (size_t i : path) o = o->m_Children.at(i);
        return o;
    }
    static std::string TextOf(CGUIObject* o) {
        return o->m_TextLines.empty() ? "" : o->m_TextLines[0].GetText();
    }
    // A left press and release on an object (its press and its action).
    void Press(CGUIObject* o) {
        o->OnPressed(5);
        o->OnPressed(1);
        ui->RunGUICommands();
    }

    CTempDir dir;
    CCommandGame session{dir.Win().c_str()};
    CGame& game = session.game;
    CNetGame* net = session.net;
    CCommandConsole console;
    CCommandInterpreter* ip = nullptr;
    CInterface* ui = nullptr;
    CResults results;
};

}  // namespace

// A list shows its class's rows, scrolls within them, flips its view, and a
// press on a row's button steps its entry.
TEST_F(LobbyScreens, ASettingsListShowsItsClassAndStepsItsEntries) {
    Load({SettingsList("InterfaceClass", 4), SettingsList("GraphicsClass", 2), SettingsList("NoSuchList", 1),
          SettingsList("NoSuchList", 1)});
    CGUIObject* list = Screen()->m_Children[0];
    CGUIObject* rows = list->m_Children[0];
    // The labels of the first four entries; the bar while six entries do not fit.
    EXPECT_EQ(TextOf(rows->m_Children[2]), "SYSLID_GUISETTING_GAMESPEED");
    EXPECT_EQ(TextOf(At(rows, {2, 0, 1})), "SYSLID_GENERAL_NORMAL");
    EXPECT_EQ(list->m_Children[1]->m_Visible, 1);
    // An empty class hides its rows and its bar.
    CGUIObject* empty = Screen()->m_Children[1];
    EXPECT_EQ(empty->m_Children[0]->m_Children[0]->m_Visible, 0);
    EXPECT_EQ(empty->m_Children[1]->m_Visible, 0);
    // A list no class has is said once.
    int said = 0;
    for (const std::string& l : console.lines) said += l.find("There is no settings list 'NoSuchList'") == 0;
    EXPECT_EQ(said, 1);
    console.Run("g_IdentifyPanels();");
    for (const std::string& l : console.lines)
        EXPECT_EQ(l.find("There is no settings list"), std::string::npos);
    Frame();

    // Left steps on, right steps back.
    CGUIObject* step = At(rows, {2, 0, 2, 0});
    step->OnPressed(5);
    EXPECT_EQ(ui->m_GameSpeedSetting, 4);
    step->OnPressed(7);
    step->OnPressed(7);
    EXPECT_EQ(ui->m_GameSpeedSetting, 2);
    Frame();
    EXPECT_EQ(TextOf(At(rows, {2, 0, 1})), "SYSLID_GENERAL_SLOW");

    // Scrolling: down to the last page and no further, up not below 0.
    CGUIObject* down = At(list, {1, 0, 0});
    CGUIObject* up = At(list, {1, 1, 0});
    for (int i = 0; i < 5; ++i) {
        down->OnPressed(1);
        Frame();
    }
    EXPECT_EQ(list->m_ListScroll, 2);
    EXPECT_EQ(TextOf(rows->m_Children[3]), "SYSLID_GUISETTING_MESSAGELINES");
    for (int i = 0; i < 5; ++i) up->OnPressed(1);
    EXPECT_EQ(list->m_ListScroll, 0);

    // The advanced view of a class shows its advanced rows in their order.
    ui->FindSettingClass("InterfaceClass")->m_advanced = 1;
    Frame();
    EXPECT_EQ(rows->m_Children[0]->m_Visible, 0);
}

// What is typed into an edit box: a value clamped as its list says, a
// name no longer than its field, nothing when editing was cancelled.
TEST_F(LobbyScreens, EditBoxesTakeWhatWasTypedWithinTheirFields) {
    SGUIObjectRecord team = WithId(Text("Create team", "Create team"), "CreateTeam");
    SGUIObjectRecord chat = WithId(Group("Chat"), "LobbyChat");
    SGUIObjectRecord say = Text("Say", "Say:");
    say.children.push_back(Text("Line", " "));
    chat.children.push_back(say);
    Load({SettingsList("InterfaceClass", 6), ListPanel("LobbyPlayerList", 2, 9), team, chat});
    CGUIObject* rows = Screen()->m_Children[0]->m_Children[0];
    // Double click on the message lines' button: edit its value.
    CGUIObject* step = At(rows, {5, 0, 2, 0});
    step->OnPressed(6);
    ASSERT_EQ(ui->m_mode, 3);
    EXPECT_EQ(ui->m_editObject, At(rows, {5, 0, 1}));
    ui->m_settingsEdit = "25";
    console.Run("g_EditEnter();");
    EXPECT_EQ(ui->m_MessageLines, 10);
    EXPECT_EQ(ui->m_mode, 0);
    step->OnPressed(6);
    ui->m_settingsEdit = "3";
    console.Run("g_ForceOutFromEditMode();");
    EXPECT_EQ(ui->m_MessageLines, 10);
    // A bool or a choice is never typed.
    At(rows, {2, 0, 2, 0})->OnPressed(6);
    EXPECT_EQ(ui->m_mode, 0);

    // The local player's name in the lobby: cut to the name's field.
    Frame();
    CGUIObject* name = At(Screen(), {1, 0, 0, 1});
    ASSERT_EQ(name->m_RowKind, 101);
    Press(name);
    ASSERT_EQ(ui->m_editObject, name);
    ui->m_settingsEdit = "A name of far more letters than a player's name has room for";
    ui->DrawEditCaret(nullptr);
    EXPECT_EQ(ui->m_settingsEdit.GetLength(), CPlayer::kMaxNameLength);
    console.Run("g_EditEnter();");
    EXPECT_EQ(ui->m_mode, 0);

    // A team: an empty name makes "Unnamed team"; a cancel makes none.
    CGUIObject* create = Screen()->m_Children[2];
    Press(create);
    EXPECT_EQ(TextOf(create), "SYSLID_LOBBY_ENTERNAME");
    ui->m_settingsEdit = "Reds";
    console.Run("g_ForceOutFromEditMode();");
    EXPECT_STREQ(ui->m_createdTeam.GetText(), "");
    EXPECT_EQ(TextOf(create), "SYSLID_LOBBY_CREATETEAM");
    Press(create);
    ui->m_settingsEdit = " ";
    console.Run("g_EditEnter();");
    EXPECT_STREQ(ui->m_createdTeam.GetText(), "Unnamed team");

    // A chat line: "/" runs a console line; the box goes on taking lines.
    Press(At(Screen(), {3, 0}));
    ASSERT_EQ(ui->m_editObject, At(Screen(), {3, 0, 0}));
    ui->m_settingsEdit = "/echo(\"said\")";
    const Lines ran = console.Run("g_EditEnter();");
    EXPECT_EQ(ran, Lines({"echo(\"said\") ;", "said"}));
    EXPECT_EQ(ui->m_mode, 3);
    EXPECT_STREQ(ui->m_settingsEdit.GetText(), "");
}

// The dialog's buttons answer inside their bands only, and a button's
// command runs when it is chosen.
TEST_F(LobbyScreens, TheConfirmDialogAnswersWithinItsBands) {
    Load({});
    const char* commands[3] = {"echo(\"yes\");", nullptr, "echo(\"no\");"};
    ui->ActivateConfirmDialog("Sure?", "Yes", nullptr, "No", false, commands);
    struct {
        int x, answer;
    } presses[] = {{188, 0}, {189, 1}, {265, 0}, {320, 0}, {378, 3}, {455, 0}};
    for (const auto& p : presses) {
        ui->m_cursorX = p.x;
        ui->m_cursorY = 280;
        ui->ConfirmHoverAt(640, 480);
        EXPECT_EQ(ui->m_confirmHover, p.answer) << p.x;
    }
    ui->m_cursorY = 298;  // on the band's lower border: outside
    ui->ConfirmHoverAt(640, 480);
    EXPECT_EQ(ui->m_confirmHover, 0);
    // A press on "No" closes the dialog and runs its command.
    console.lines.clear();
    ui->OnMouseEvent(0, 400, 285);
    ui->OnMouseEvent(1, 400, 285);
    EXPECT_EQ(ui->m_mode, 0);
    EXPECT_EQ(console.lines, Lines({"no"}));
    // An information closes on any press.
    ui->ActivateConfirmDialog("Done.", nullptr, "OK", nullptr, true);
    ui->OnMouseEvent(0, 10, 10);
    EXPECT_EQ(ui->m_mode, 0);
}

TEST_F(LobbyScreens, StatisticsShowEveryPlayersAndTeamsResult) {
    Load({ListPanel("PlayerStats", 2, 9), ListPanel("TeamStats", 2, 5),
          WithId(Text("Built", "Built"), "StatPlayerConstructed"),
          WithId(Text("Score", "Score"), "StatPlayerScore")});
    CPlayer* a = net->AddPlayer("Alpha");
    a->SetId(7);
    CPlayer* b = net->AddPlayer("Beta");
    b->SetId(8);
    CGUIObject* players = Screen()->m_Children[0];
    // In a game of one machine: "-" for the ping; every score 0: the first
    // row is the best.
    Frame();
    CGUIObject* first = At(players, {0, 0});
    EXPECT_EQ(TextOf(first->m_Children[4]), "-");
    EXPECT_EQ(first->m_Children[1]->m_Pulsing, 1);
    EXPECT_EQ(At(players, {0, 1, 1})->m_Pulsing, 0);
    EXPECT_EQ(TextOf(Screen()->m_Children[2]), "SYSLID_STATS_PING");
    EXPECT_EQ(Screen()->m_Children[3]->m_Visible, 0);
    // The end: what each built, the best score, defeat for a player with
    // nothing left; a scroll past the end is pulled back.
    results.lost = true;
    b->m_scoreCounters[0] = 12;
    ui->m_playerStatsScroll = 5;
    Frame();
    EXPECT_EQ(ui->m_playerStatsScroll, 1);  // three players, two rows
    EXPECT_EQ(TextOf(At(players, {0, 1, 1})), "Beta");
    EXPECT_EQ(TextOf(At(players, {0, 1, 4})), "12");
    EXPECT_EQ(At(players, {0, 1, 1})->m_Pulsing, 1);
    EXPECT_EQ(TextOf(At(players, {0, 1, 8})), "SYSLID_GAME_DEFEAT");
    EXPECT_EQ(TextOf(Screen()->m_Children[2]), "SYSLID_STATS_CONSTRUCTED");
    EXPECT_EQ(Screen()->m_Children[3]->m_Visible, 1);
    // Players without a team are sides of their own in the team table.
    CGUIObject* teams = Screen()->m_Children[1];
    ui->m_teamStatsScroll = 1;
    Frame();
    EXPECT_EQ(At(teams, {0, 0})->m_ChildrenHidden, 0);
    EXPECT_EQ(TextOf(At(teams, {0, 0, 0})), "Alpha");
    EXPECT_EQ(TextOf(At(teams, {0, 1, 0})), "Beta");
    EXPECT_EQ(TextOf(At(teams, {0, 1, 1})), "12");
    EXPECT_EQ(At(teams, {0, 1, 0})->m_Pulsing, 1);
    // Watching the game, the local player is no loser.
    results.watching = true;
    ui->m_playerStatsScroll = 0;
    Frame();
    EXPECT_EQ(TextOf(At(players, {0, 0, 2})), "Watching");
    EXPECT_EQ(TextOf(At(players, {0, 0, 8})), "");
}

TEST_F(LobbyScreens, SaveSlotsListTheSavedGamesWithTheirTimes) {
    dir.Write("Save/Skerry (2) 1", "a");
    dir.Write("Save/Folder/inside", "b");
    struct tm when = {};
    when.tm_year = 101;
    when.tm_mon = 2;
    when.tm_mday = 2;
    when.tm_hour = 9;
    when.tm_min = 5;
    when.tm_sec = 3;
    when.tm_isdst = -1;
    struct utimbuf times;
    times.actime = times.modtime = mktime(&when);
    ASSERT_EQ(utime(dir.File("Save/Skerry (2) 1").c_str(), &times), 0);
    Load({ListPanel("SaveSlots", 3, 3)});
    CGUIObject* slots = Screen()->m_Children[0];
    EXPECT_EQ(TextOf(At(slots, {0, 0, 0})), "Skerry (2) 1");
    EXPECT_EQ(TextOf(At(slots, {0, 0, 1})), "2001-03-02");
    EXPECT_EQ(TextOf(At(slots, {0, 0, 2})), "09:05:03");
    EXPECT_EQ(At(slots, {0, 0, 0})->m_RowKind, 301);
    EXPECT_EQ(At(slots, {0, 1})->m_ChildrenHidden, 1);  // the folder is no slot
}

TEST_F(LobbyScreens, TheServerListShowsTheBrowsersServers) {
    SGUIObjectRecord servers = ListPanel("NormalServerList", 3, 7);
    Load({servers});
    CServerBrowser* b = net->m_browser.get();
    ASSERT_TRUE(b);
    const struct {
        const char* name;
        uint8_t location;
        uint16_t players;
    } found[] = {{"Zulu", 0, 1}, {"Alpha", 14, 3}, {"Mike", 4, 2}};
    uint16_t port = 47000;
    for (const auto& f : found) {
        CServerListEntry* e = b->AddEntry(SNetAddress{0x0A000001u, port++});
        e->m_name = f.name;
        e->m_location = f.location;
        e->m_players = f.players;
        e->m_maxPlayers = 8;
        e->m_sources = 2;  // the master knows it
    }
    b->FilterServerList();
    Frame();
    CGUIObject* rows = Screen()->m_Children[0]->m_Children[0];
    EXPECT_EQ(TextOf(At(rows, {0, 1})), "Alpha");  // sorted by name
    EXPECT_EQ(TextOf(At(rows, {0, 3})), "?");      // a location no text has
    EXPECT_EQ(TextOf(At(rows, {1, 3})), "SYSLID_LOCATION_EUROPE");
    EXPECT_EQ(TextOf(At(rows, {2, 3})), "?");
    EXPECT_EQ(TextOf(At(rows, {0, 5})), "3 / 8");
    EXPECT_EQ(At(rows, {0, 1})->m_RowKind, 1);
    // By players, then the other way round.
    console.Run("g_PressColumn(5);");
    Frame();
    EXPECT_EQ(TextOf(At(rows, {0, 1})), "Zulu");
    console.Run("g_PressColumn(5);");
    Frame();
    EXPECT_EQ(TextOf(At(rows, {0, 1})), "Alpha");
    EXPECT_EQ(ui->m_sortDirection, 0);
    console.Run("g_PressColumn(2);");
    EXPECT_EQ(ui->m_sortDirection, 1);
    // A click on a server's row: its address is the one to join.
    Press(At(rows, {0, 1}));
    EXPECT_STREQ(ui->m_TCPAddress.GetText(), "10.0.0.1:47001");
}

// The GUI rows of the command set: each is there, and the values and
// arguments outside what they take.
TEST_F(LobbyScreens, TheGUIRowsAreRegisteredAndHoldTheirLimits) {
    Load({WithId(Group("Tab 1"), "QFOTab1"), WithId(Group("Tab 3"), "QFOTab3")});
    const char* rows[] = {"CommandLine",
                          "vid_UseSeprate2DSurface",
                          "ui_Statusbar_PositionY",
                          "ui_Statusbar_Reload_EndColor_b",
                          "ServerListScrollDown",
                          "ServerListScrollUp",
                          "BriefingScrollDown",
                          "BriefingScrollUp",
                          "BriefingScrollReset",
                          "g_Load",
                          "g_Append",
                          "g_IdentifyPanels",
                          "G_SetActiveGUI",
                          "G_SetDirectActiveGUI",
                          "G_LoadMouse",
                          "G_LoadUnitInfo",
                          "G_JumpToMenu",
                          "g_ForceOutFromEditMode",
                          "g_SetLoadScreenImage",
                          "g_SetLoadScreenConfig",
                          "FlipDummyBar",
                          "Interfaceopt_ToolTips",
                          "G_ScoreMenu",
                          "G_BuildOrderDuplication",
                          "g_EditEnter",
                          "g_TCPAdress",
                          "g_ClearScreenConsole",
                          "g_SetCampaignMissionText",
                          "g_SetCampaignObjectiveText",
                          "g_SetCampaignBriefingAnimation",
                          "g_BriefingExecute",
                          "g_JumpToBriefing",
                          "G_RadarLockMode",
                          "G_RadarMessage",
                          "G_ActivateConfirmDialog",
                          "SetLid",
                          "TestLocalization",
                          "g_ParseSettingsList",
                          "g_SwitchToNormalList",
                          "g_SwitchToStatList",
                          "g_PostLocalizationCheck",
                          "Interfaceopt_NumMessagesLines",
                          "Interfaceopt_GameSpeed",
                          "Interfaceopt_ScrollSpeed",
                          "g_NumMouseBitmaps",
                          "g_NumUnitInfoBitmaps",
                          "g_PressColumn",
                          "g_RemakeMapChange",
                          "g_SetLobbyOptionsReadOnly",
                          "g_ScrollMulti",
                          "g_ChatListUp",
                          "g_ChatListDown",
                          "g_MakeLANGUI",
                          "g_MakeInternetGUI",
                          "g_HostMultiGame",
                          "g_SetServerOptionsAdv",
                          "g_SetQFO",
                          "PlayerTitleListScroll"};
    for (const char* name : rows) EXPECT_TRUE(ip->GetCommand(name)) << name;

    const struct {
        const char* set;
        const char* read;
        const char* expected;
    } values[] = {
        {"Interfaceopt_GameSpeed(9);", "Interfaceopt_GameSpeed;", "Interfaceopt_GameSpeed = 5"},
        {"ui_Statusbar_PowerInterlace(0);", "ui_Statusbar_PowerInterlace;",
         "ui_Statusbar_PowerInterlace = 1"},
        {"ui_Statusbar_Width(300);", "ui_Statusbar_Width;", "ui_Statusbar_Width = 255"},
        {"g_TCPAdress(\"1234567890123456789\");", "g_TCPAdress;", "g_TCPAdress = 1234567890123456"},
        {"G_BuildOrderDuplication(-3);", "G_BuildOrderDuplication;", "G_BuildOrderDuplication = 0"},
        {"G_BuildOrderDuplication(400);", "G_BuildOrderDuplication;", "G_BuildOrderDuplication = 400"},
        {"G_BuildOrderDuplication(900);", "G_BuildOrderDuplication;", "G_BuildOrderDuplication = 512"},
    };
    for (const auto& v : values) {
        console.Run(v.set);
        EXPECT_EQ(console.Run(v.read), Lines({v.expected})) << v.set;
    }
    // Each row once, writing what the HUD reads.
    std::map<std::string, int> seen;
    for (CConsoleCommand* c = ip->First(); c; c = c->Next()) ++seen[c->GetName()];
    for (const char* name : rows) EXPECT_EQ(seen[name], 1) << name;
    EXPECT_EQ(seen["ui_Statusbar_OutlineColor_g"], 1);
    console.Run("ui_Statusbar_Width(44); ui_Statusbar_Reload_EndColor_b(7);");
    EXPECT_EQ(ui->m_hud.StatusbarSettings()[1], 44);
    EXPECT_EQ(ui->m_hud.StatusbarSettings()[26], 7);
    EXPECT_EQ(ui->m_BuildOrderDuplication, 512);
    const uint8_t locked = ui->m_hud.m_radar.m_lockMode;
    console.Run("G_RadarLockMode();");
    EXPECT_NE(ui->m_hud.m_radar.m_lockMode, locked);
    // The load screen's layout takes exactly twenty numbers.
    console.Run("g_SetLoadScreenConfig(1,2,3,4,5,6,7,8);");
    EXPECT_EQ(ui->m_loadScreenLayout[0], 0);
    console.Run("g_SetLoadScreenConfig(1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20);");
    EXPECT_EQ(ui->m_loadScreenLayout[19], 20);
    // The search's tabs: 2 is none; 3 the server's statistics.
    CGUIObject* tab1 = Screen()->m_Children[0];
    CGUIObject* tab3 = Screen()->m_Children[1];
    console.Run("g_SetQFO(2);");
    EXPECT_EQ(ui->m_settings->m_searchClass, ui->FindSettingClass("MatchServers"));
    console.Run("g_SetQFO(3);");
    EXPECT_EQ(ui->m_settings->m_searchClass, ui->FindSettingClass("ServerStats"));
    EXPECT_EQ(tab1->m_ChildrenHidden, 1);
    EXPECT_EQ(tab3->m_ChildrenHidden, 0);
    // The in-game menu opens and closes again; the second id is not taken.
    console.Run("G_JumpToMenu(600);");
    EXPECT_EQ(ui->m_activeGUI, 600);
    console.Run("G_JumpToMenu(2);");
    EXPECT_EQ(ui->m_InGameMenu, 0);
    // The lobby's rows are the host's: read-only for a client.
    console.Run("g_SetLobbyOptionsReadOnly(true);");
    const int32_t before = net->m_serverInfo.m_maxUnits;
    CSettingEntry* maxUnits = ui->FindSettingClass("MultiplayerLobby")->m_entries[4].get();
    maxUnits->Increase();
    EXPECT_EQ(net->m_serverInfo.m_maxUnits, before);
    console.Run("g_SetLobbyOptionsReadOnly(false);");
    maxUnits->Increase();
    EXPECT_EQ(net->m_serverInfo.m_maxUnits, before + 5);
}

// The lobby's map view without a preview shows the local player's ping in
// its first child; "Join" takes its plain colours while no server is chosen.
TEST_F(LobbyScreens, TheMapViewWithoutAPreviewShowsThePingAndJoinStaysPlainWithoutAServer) {
    SGUIObjectRecord view = WithId(Group("Map"), "MapView");
    view.children.push_back(Text("Ping", " "));
    Load({view, WithId(Text("Join", "Join"), "JoinServer")});
    ASSERT_NE(net->LocalPlayer(), nullptr);
    net->LocalPlayer()->m_latency = 0.25f;
    Frame();
    CGUIObject* map = Screen()->m_Children[0];
    EXPECT_EQ(map->m_ChildrenHidden, 0);
    EXPECT_EQ(TextOf(map->m_Children[0]), "0.25");
    CGUIObject* join = Screen()->m_Children[1];
    for (uint8_t blink : {0, 1}) {
        ui->m_joinBlink = blink;
        Frame();
        EXPECT_EQ(join->m_Color1, 0x008000u);
        EXPECT_EQ(join->m_Color2, 0x00FF00u);
    }
}
