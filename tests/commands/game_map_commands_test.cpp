// The game and map areas' commands through the game's interpreter, as map
// scripts and the console run them: the kind of game, the game directory and
// the battlefield's clearing with the states they wait for; Create in each of its argument forms with each
// refusal's console line, start positions, layers, the scene's size, the
// countdown timer, the map's name and the states the rows wait for, and the
// export of a map into its folder and box.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "app/Game.h"
#include "app/GameClock.h"
#include "app/GameRoles.h"
#include "app/GameServices.h"
#include "app/InputManager.h"
#include "commands/CommandAreas.h"
#include "console/CommandInterpreter.h"
#include "core/VFSFile.h"
#include "core/VFSTable.h"
#include "e3d/Frame.h"
#include "netgame/MapFiles.h"
#include "netgame/NetGame.h"
#include "tests/support/CommandConsole.h"
#include "tests/support/TempDir.h"
#include "tools/lib/PackWriter.h"
#include "ui/Interface.h"
#include "world/GameScene.h"
#include "world/ObjectTemplate.h"
#include "world/Player.h"
#include "world/TessarakObject.h"
#include "world/Unit.h"
#include "world/UnitOrder.h"
#include "world/UnitTemplate.h"
#include "world/World.h"

namespace {

using Lines = std::vector<std::string>;

class CommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        game.CreateWorld(&root);
        scene = game.Scene();
        rock = new CTessarakObjectTemplate(scene, &root, 1, nullptr);
        rock->m_projectId = 1;
        rock->m_nodeId = 20;
        rock->m_name = "Rock";
        crystal = new CTessarakObjectTemplate(scene, &root, 1, nullptr);
        crystal->m_projectId = 1;
        crystal->m_nodeId = 21;
        crystal->m_name = "Crystal";
        scene->m_spotTemplate = crystal;
        ip = console.Start(game);
        // The host of a session, not in a running game: what the map rows
        // ask of the console.
        net->m_hosting = 1;
        game.SetGuiWord(1);
    }
    void TearDown() override {
        console.Stop();
        game.DeleteWorld();
    }
    // The console lines the text printed.
    Lines Run(const char* text) { return console.Run(text); }
    // The newest object of the scene.
    CTessarakObject* Newest() const {
        CTessarakObject* last = nullptr;
        for (CTessarakObject* o = scene->m_allObjects; o; o = o->m_allNext)
            if (!last || o->m_objectId > last->m_objectId) last = o;
        return last;
    }

    CTempDir dir;
    CCommandGame session{dir.Win().c_str()};
    CGame& game = session.game;
    CNetGame* net = session.net;
    CGameScene* scene = nullptr;
    CE3DFrame root{nullptr};
    CTessarakObjectTemplate* rock = nullptr;
    CTessarakObjectTemplate* crystal = nullptr;
    CCommandInterpreter* ip = nullptr;
    CCommandConsole console;
    Lines& lines = console.lines;
};

TEST_F(CommandsTest, CreatePlacesObjectsByItsArgumentForms) {
    scene->m_layerPositions[2] = 1.5f;
    // The name alone: the origin, no map id, team and layer 0.
    EXPECT_EQ(Run("Create(\"rock\");"), Lines());
    CTessarakObject* o = Newest();
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(o->m_template, rock);
    EXPECT_EQ(o->m_position[0], 0.0f);
    EXPECT_EQ(o->m_mapId, -1);
    EXPECT_EQ(o->m_layer, 0u);
    // Six: the layer (and its height) and the map id, which the scene's
    // highest map id follows.
    Run("Create(\"Rock\", 4.5, -6, 1, 2, 40);");
    o = Newest();
    EXPECT_EQ(o->m_position[0], 4.5f);
    EXPECT_EQ(o->m_position[1], 1.5f);
    EXPECT_EQ(o->m_position[2], -6.0f);
    EXPECT_EQ(o->m_layer, 2u);
    EXPECT_EQ(o->m_mapId, 40);
    EXPECT_EQ(o->m_owner, net->m_players.m_local);  // team 1: the player of owner id 1
    EXPECT_EQ(scene->m_highestMapId, 40);
    // Five: the next free map id.
    Run("Create(\"Rock\", 1, 2, 0, 7);");
    EXPECT_EQ(Newest()->m_mapId, 41);
    // Eight: turned and grown.
    Run("Create(\"Rock\", 0, 0, 0, 0, 50, 7, 0.5);");
    o = Newest();
    EXPECT_FLOAT_EQ(o->m_yaw, 7.0f - 6.2831855f);  // kept within a turn
    EXPECT_EQ(o->m_headingIncrement, 7.0f);
    EXPECT_EQ(o->m_scaleIncrement, 0.5f);
    EXPECT_FLOAT_EQ(o->m_scale[0], 1.5f);
    // Eleven on the spot template: the spot's three values.
    Run("Create(\"Crystal\", 0, 0, 0, 0, 51, 0, 0, 2, 0.5, 3);");
    o = Newest();
    ASSERT_NE(o->m_resourceSpot, nullptr);
    EXPECT_EQ(o->m_resourceSpot->m_base, 2.0f);
    EXPECT_EQ(o->m_resourceSpot->m_phase, 0.5f);
    EXPECT_EQ(o->m_resourceSpot->m_speed, 3.0f);
    // A name no template has: nothing, silently.
    int count = scene->m_objectCount;
    EXPECT_EQ(Run("Create(\"Nothing\", 1, 2, 0, 0, 60);"), Lines());
    EXPECT_EQ(scene->m_objectCount, count);
}

TEST_F(CommandsTest, CreateRefusesValuesThatAreNotNumbers) {
    const struct {
        const char* command;
        Lines lines;
    } cases[] = {
        {"Create(\"Rock\", x, 2, 0, 0);", {"Rock", "X1 invalid"}},
        {"Create(\"Rock\", 1, y, 0, 0);", {"Rock", "Y1 invalid"}},
        {"Create(\"Rock\", 1, y, 0, 0, 3);", {"Y1 invalid"}},
        {"Create(\"Rock\", 1, 2, t, 0, 3);", {"Rock", "Team invalid"}},
        {"Create(\"Rock\", 1, 2, 0, l, 3);", {"Rock", "Layer invalid"}},
        {"Create(\"Rock\", 1, 2, 0, 0, u);", {"Rock", "UID invalid"}},
        {"Create(\"Rock\", 1, 2, 0, 0, 3, r, 0);", {"InitialRotation invalid"}},
        {"Create(\"Rock\", 1, 2, 0, 0, 3, 0, s);", {"InitialScaling invalid"}},
        {"Create(\"Crystal\", 1, 2, 0, 0, 3, 0, 0, 1, 1, z);", {"CustomValue.z invalid"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Run(c.command), c.lines) << c.command;
        EXPECT_EQ(scene->m_objectCount, 0) << c.command;
    }
}

// Help shows what a map script's commands take, and a wrong count of
// arguments is said with it.
TEST_F(CommandsTest, TheMapScriptsCommandsShowAndCheckTheirArguments) {
    const Lines help = Run("Help(\"Create\");");
    ASSERT_GT(help.size(), 7u);
    EXPECT_EQ(
        help[7],
        "Create(str Template[, float X, float Z, int Team[, int Layer, int MapId[, float Rotation, float "
        "Scaling[, float CustomX, float CustomY, float CustomZ]]]]);");
    // The orders' rows spell their arguments in the description.
    EXPECT_EQ(Run("Syntax(\"AddMoveOrder\");"), Lines{"AddMoveOrder [MAP_ID] [X] [Y] [Z] [FORCEMOVE]"});
    EXPECT_EQ(Run("AddMoveOrder(11);"),
              Lines{"Error in AddMoveOrder: Wrong number of arguments. Syntax: AddMoveOrder [MAP_ID] [X] [Y] "
                    "[Z] [FORCEMOVE]"});
    EXPECT_EQ(Run("AddPatrolOrder(11, here, 2);"),
              Lines{"Error in AddPatrolOrder: Ivalid argument. Syntax: AddPatrolOrder [MAP_ID] [X] [Z]"});
    EXPECT_EQ(Run("Create();").size(), 1u);
}

TEST_F(CommandsTest, StartPositionsLayersSceneSizeAndTimer) {
    EXPECT_EQ(Run("M_DefineStartPositions(2); M_SetStartPosition(1, -20.5, 31);"), Lines());
    ASSERT_EQ(scene->StartPositionCount(), 2);
    EXPECT_EQ(scene->m_startX[1], -20.5f);
    EXPECT_EQ(scene->m_startZ[1], 31.0f);
    for (const char* outside : {"M_SetStartPosition(2, 1, 1);", "M_SetStartPosition(-1, 1, 1);"})
        EXPECT_EQ(Run(outside), Lines{"Player is out of definitions range."}) << outside;
    EXPECT_EQ(scene->m_startX[1], -20.5f);
    // A wrong count of arguments does nothing.
    Run("M_SetStartPosition(0, 5); M_DefineStartPositions();");
    EXPECT_EQ(scene->m_startX[0], 0.0f);
    EXPECT_EQ(scene->StartPositionCount(), 2);
    Run("M_DefineStartPositions(-3);");
    EXPECT_EQ(scene->StartPositionCount(), 2);

    Run("M_SetLayerPosition(255, 4.5); M_SetLayerPosition(256, 9); M_SetLayerPosition(-1, 9);");
    EXPECT_EQ(scene->m_layerPositions[255], 4.5f);
    EXPECT_EQ(scene->m_layerPositions[0], 0.0f);

    Run("M_SetGameSceneRect(96, 80); M_SetGameSceneRect(1, 2, 3, 4);");
    EXPECT_EQ(game.MapWidth(), 96.0f);
    EXPECT_EQ(game.MapDepth(), 80.0f);

    game.Clock()->m_gameSeconds = 12.0f;
    Run("m_SetTimer(90);");
    EXPECT_EQ(game.Interface()->m_missionTimerEnd, 102.0f);
}

TEST_F(CommandsTest, MapNameAndTheStatesRowsWaitFor) {
    // The maps there are: a box each in the maps' folder.
    for (const char* map : {"Skerry", "FourWinds"}) {
        const std::string rel = std::string("Maps/") + map + "/MapData.box";
        CPackWriter pack;
        pack.Add("init.vxm", "");
        ASSERT_TRUE(dir.Write(rel, ""));
        ASSERT_TRUE(pack.WriteTo(dir.File(rel)));
        g_VFS.AddDiskFile(dir.WinFile(rel).c_str());
    }
    EXPECT_EQ(Run("Map(\"Nowhere\");"),
              Lines{"There is no map Nowhere (Maps\\Nowhere\\MapData.box); the map stays unchosen"});
    EXPECT_STREQ(game.MapName().GetText(), "");
    EXPECT_EQ(Run("Map(\"Skerry\");"), Lines());
    EXPECT_STREQ(game.MapName().GetText(), "Skerry");
    EXPECT_EQ(Run("Map(\"..\\\\Scripts\");"), Lines{"Invalid map name: ..\\Scripts"});
    EXPECT_STREQ(game.MapName().GetText(), "Skerry");
    // A new map while a game runs makes the clients ready for a new start.
    game.SetGuiWord(0);
    game.SetGameState(2);
    // One that is not there leaves the running game alone.
    EXPECT_EQ(Run("Map(\"Nowhere\");"),
              Lines{"There is no map Nowhere (Maps\\Nowhere\\MapData.box); the map stays Skerry"});
    EXPECT_STREQ(game.MapName().GetText(), "Skerry");
    EXPECT_FALSE(game.GameLoading());
    Run("Map(\"FourWinds\");");
    EXPECT_EQ(game.StartState(), -1);
    EXPECT_TRUE(game.GameLoading());

    // Only the host names the map; only the editor's server edits and
    // exports it; resources are given before a game runs.
    net->m_hosting = 0;
    EXPECT_EQ(Run("Map(\"Skerry\");"), Lines{"Map cannot be run at this time or gamestate"});
    EXPECT_STREQ(game.MapName().GetText(), "FourWinds");
    EXPECT_EQ(Run("M_EditMode(1);"), Lines{"M_EditMode cannot be run at this time or gamestate"});
    EXPECT_EQ(Run("M_Export(\"X\");"), Lines{"M_Export cannot be run at this time or gamestate"});
    net->m_hosting = 1;
    game.SetGameLoading(false);  // the game runs
    EXPECT_EQ(Run("M_Resources(100);"), Lines{"M_Resources cannot be run at this time or gamestate"});
    net->m_serverInfo.m_editor = 1;
    Run("M_EditMode(1);");
    EXPECT_TRUE(game.Variables().mapEditMode);
}

TEST_F(CommandsTest, ExportWritesTheScriptsAndTheBox) {
    net->m_serverInfo.m_editor = 1;
    EXPECT_EQ(Run("M_Export();"), Lines{"Error in M_Export: To few arguments"});
    EXPECT_EQ(Run("M_ExportUnitCommands();"), Lines{"Error in M_ExportUnitCommands: To few arguments"});
    Run("M_DefineStartPositions(1); M_SetStartPosition(0, 8, -8); Create(\"Rock\", 3, 4, 0, 0, 5);");
    ASSERT_TRUE(dir.Write("Maps/Isle/information.vxm", "si_Map_Players(1);\n"));
    Run("M_Export(\"Isle\"); M_ExportUnitCommands(\"Isle\");");
    EXPECT_NE(dir.Read("Maps/Isle/visual.vxm").find("Create (\"Rock\", 3.000000, 4.000000, 0, 0, 5,"),
              std::string::npos);
    EXPECT_EQ(dir.Read("Maps/Isle/orders.vxm").find("// Tessarak Unit Commands\n"), 0u);
    // The box holds the map's loose members that are there, and the radar
    // picture and the lobby's picture the export drew.
    CVFSTable box;
    ASSERT_TRUE(box.MountPack(dir.WinFile("Maps/Isle/MapData.box").c_str()));
    EXPECT_TRUE(box.Find("visual.bin"));
    EXPECT_TRUE(box.Find("information.vxm"));
    EXPECT_TRUE(box.Find("radar.bik"));
    EXPECT_TRUE(box.Find("background.bik"));
    // A map without its size script gets one.
    EXPECT_NE(dir.Read("Maps/Isle/Init.vxm").find("M_SetGameSceneRect("), std::string::npos);
    EXPECT_TRUE(box.Find("init.vxm"));

    // Exported again without the loose files: the box keeps its members.
    std::remove(dir.File("Maps/Isle/information.vxm").c_str());
    std::remove(dir.File("Maps/Isle/Init.vxm").c_str());
    Run("M_Export(\"Isle\");");
    EXPECT_TRUE(dir.Read("Maps/Isle/Init.vxm").empty());  // the box has one
    CVFSTable again;
    ASSERT_TRUE(again.MountPack(dir.WinFile("Maps/Isle/MapData.box").c_str()));
    for (const char* member : {"information.vxm", "init.vxm", "visual.bin"}) {
        CVFSFile file;
        ASSERT_TRUE(file.Open(member, CVFSFile::kModeRead, &again)) << member;
        std::string text(file.GetSize(), '\0');
        ASSERT_EQ(file.Read(&text[0], file.GetSize()), file.GetSize());
        if (std::string(member) == "information.vxm") {
            EXPECT_EQ(text, "si_Map_Players(1);\n");
        }
        if (std::string(member) == "init.vxm") {
            EXPECT_NE(text.find("M_SetGameSceneRect("), std::string::npos);
        }
    }

    // A map exported with no description gets one (its start positions as
    // its players), and its box is in the file table at once: the lists show
    // it and it plays without a restart.
    Run("M_Export(\"Fresh\");");
    CVFSTable fresh;
    ASSERT_TRUE(fresh.MountPack(dir.WinFile("Maps/Fresh/MapData.box").c_str()));
    CVFSFile info;
    ASSERT_TRUE(info.Open("information.vxm", CVFSFile::kModeRead, &fresh));
    std::string text(info.GetSize(), '\0');
    ASSERT_EQ(info.Read(&text[0], info.GetSize()), info.GetSize());
    EXPECT_NE(text.find("si_Map_Players(1);"), std::string::npos) << text;
    EXPECT_NE(text.find("si_Map_Description(\"Fresh: "), std::string::npos) << text;
    EXPECT_NE(g_VFS.Find(dir.WinFile("Maps/Fresh/MapData.box").c_str()), nullptr);
}

}  // namespace

namespace {
// The map-script orders go straight into the queues of the units with the
// map id; the selection and the read-out of the selected units.
TEST_F(CommandsTest, ScriptOrdersSelectionAndUnitReadOut) {
    CUnitTemplate* tank = new CUnitTemplate(scene, &root, 1, nullptr);
    tank->m_projectId = 1;
    tank->m_nodeId = 30;
    tank->m_name = "Tank";
    Run("Create(\"Tank\", 5, 6, 1, 0, 12); Create(\"Tank\", -5, 6, 0, 0, 13);");
    CUnit* mine = nullptr;
    CUnit* other = nullptr;
    for (CUnit* u = scene->m_units; u; u = u->m_unitNext) (u->m_mapId == 12 ? mine : other) = u;
    ASSERT_TRUE(mine && other);

    // Wrong counts, a map id that is not a number or that no unit has: nothing.
    Run("AddMoveOrder(12, 1, 0, 2); AddMoveOrder(x, 1, 0, 2, 0); AddMoveOrder(99, 1, 0, 2, 0);"
        "AddPatrolOrder(12, 1); AddCustomizedControl();");
    EXPECT_EQ(mine->m_orderList->ChildCount(), 0);
    EXPECT_EQ(mine->m_scriptControl, 0);
    Run("AddMoveOrder(12, 10.5, 1, -4, 1); AddPatrolOrder(12, 3, 4); AddCustomizedControl(13);");
    ASSERT_EQ(mine->m_orderList->ChildCount(), 2);
    CUnitOrder* move = mine->m_orderList->LastChild();  // the first given runs first
    EXPECT_EQ(move->m_type, (uint32_t)CUnitOrder::kMove);
    EXPECT_EQ(move->m_target[0], 10.5f);
    EXPECT_EQ(move->m_destination[1], 1.0f);
    EXPECT_EQ(static_cast<CMoveOrder*>(move)->m_force, 1);
    EXPECT_FALSE(move->m_sent);  // the queue sends it when its turn comes
    CUnitOrder* patrol = move->Prev();
    EXPECT_EQ(patrol->m_type, (uint32_t)CUnitOrder::kPatrol);
    EXPECT_EQ(patrol->m_destination[2], 4.0f);
    EXPECT_EQ(mine->m_scriptControl, 1);
    EXPECT_EQ(other->m_scriptControl, 1);
    EXPECT_EQ(other->m_orderList->ChildCount(), 0);

    // The local player's units are selected, in a running game only; the
    // read-out names each selected one with its position and force; our
    // own state read-out its power, and last the local player's resources
    // and what its harvesters unloaded.
    EXPECT_EQ(Run("SelectAllUnits();"), Lines{"SelectAllUnits cannot be run at this time or gamestate"});
    game.SetGuiWord(0);
    game.SetGameState(2);
    mine->m_power = 42.0f;
    net->m_players.m_local->m_resources = 1200.0f;
    net->m_players.m_local->m_harvested = 300.0f;
    EXPECT_EQ(Run("SelectAllUnits(); dbg_UnitOut();"),
              (Lines{"", "--------------------", "Tank", "--------------------",
                     "Position: 5.000000, 0.000000, 6.000000", "Force: 0.000000, 0.000000, 0.000000",
                     "* Force.x : 0"}));
    EXPECT_EQ(Run("dbg_UnitState();"), (Lines{"", "--------------------", "Tank", "--------------------",
                                              "Position: 5.000000, 0.000000, 6.000000", "Power: 42.0",
                                              "Resources: 1200, harvested 300"}));
    EXPECT_EQ(Run("UnselectAll(); dbg_UnitOut();"), Lines());
    EXPECT_TRUE(game.Interface()->m_fields.m_selectionChanged);
}
}  // namespace

namespace {
// The map's description from its box, and a box that came from a server:
// its scripts run restricted wherever it is played, as long as it is the box
// that came.
TEST_F(CommandsTest, MapDescriptionAndABoxFromAServer) {
    auto writeBox = [&](const std::string& information, const std::string& init) {
        CPackWriter pack;
        if (!information.empty()) pack.Add("information.vxm", information);
        pack.Add("init.vxm", init);
        ASSERT_TRUE(dir.Write("Maps/Isle/MapData.box", ""));
        ASSERT_TRUE(pack.WriteTo(dir.File("Maps/Isle/MapData.box")));
        g_VFS.AddDiskFile(dir.WinFile("Maps/Isle/MapData.box").c_str());
    };
    writeBox("si_Map_Description(\"An isle\"); si_Map_Players(3); echo(\"information ran\");",
             "echo(\"init ran\");");
    CServerInfo& current = net->m_joinedInfo;
    Lines out = (lines.clear(), game.LoadMapInfo("Isle"), lines);
    EXPECT_STREQ(current.m_description.GetText(), "An isle");
    EXPECT_EQ(current.m_designedPlayers, 3);
    EXPECT_EQ(out, (Lines{"information ran", "Error loading map image"}));

    // Marked as a server's box: the description still loads, nothing else
    // runs, and the map's own scripts are restricted as well.
    ASSERT_TRUE(
        MapBox_MarkFromServer(game.Roles().Files(), "Isle", MapBox_Checksum(game.Roles().Files(), "Isle")));
    EXPECT_TRUE(MapBox_CameFromServer(game.Roles().Files(), "Isle"));
    current.m_designedPlayers = 0;
    out = (lines.clear(), game.LoadMapInfo("Isle"), lines);
    EXPECT_EQ(current.m_designedPlayers, 3);
    EXPECT_EQ(out[0], "echo is not allowed in a map script from a server");
    ASSERT_TRUE(game.SetMapName("Isle"));
    out = (lines.clear(), game.LoadMap(), lines);
    EXPECT_NE(std::find(out.begin(), out.end(), "echo is not allowed in a map script from a server"),
              out.end());
    EXPECT_EQ(std::find(out.begin(), out.end(), "init ran"), out.end());

    // The player's own box in its place is no server's; a box without its
    // description keeps the values it had.
    writeBox("", "echo(\"init ran\");");
    EXPECT_FALSE(MapBox_CameFromServer(game.Roles().Files(), "Isle"));
    out = (lines.clear(), game.LoadMapInfo("Isle"), lines);
    EXPECT_EQ(out, (Lines{"Error loading map data", "Error loading map image"}));
    EXPECT_STREQ(current.m_description.GetText(), "An isle");
    out = (lines.clear(), game.LoadMap(), lines);
    EXPECT_NE(std::find(out.begin(), out.end(), "init ran"), out.end());
    // A mark that is not one, and names that are not plain, mark nothing.
    ASSERT_TRUE(dir.Write("Maps/Isle/MapData.box.server", "zz"));
    EXPECT_FALSE(MapBox_CameFromServer(game.Roles().Files(), "Isle"));
    EXPECT_FALSE(MapBox_MarkFromServer(game.Roles().Files(), "..", 0));
}
}  // namespace

namespace {
// The game area's rows: the kind of game, the game directory, clearing the
// battlefield, and the states each waits for.
TEST_F(CommandsTest, GameModeDirectoryAndClearing) {
    SGameVariables& vars = game.Variables();
    Run("GameMode(GM_Skirmish);");
    EXPECT_EQ(vars.gameType, 1);
    Run("GameMode(7);");  // the range's end
    EXPECT_EQ(vars.gameType, 3);
    EXPECT_EQ(Run("GM_Multi(0);"), Lines{"GM_Multi is read only"});
    Run("GameMode(GM_Multi); Flip(\"GameMode\");");
    EXPECT_EQ(vars.gameType, 0);
    Run("Flip(\"GameMode\");");
    EXPECT_EQ(vars.gameType, 1);

    // Game with an empty name changes nothing; a client of another server
    // may not switch.
    const std::string dirBefore = game.GameDir().GetText();
    EXPECT_EQ(Run("Game(\"\");"), Lines());
    EXPECT_EQ(game.GameDir().GetText(), dirBefore);
    net->m_hosting = 0;
    net->m_clientConnected = 1;
    EXPECT_EQ(Run("Game(\"Mod\");"), (Lines{"Game cannot be run at this time or gamestate"}));
    net->m_hosting = 1;
    net->m_clientConnected = 0;

    // RemoveAllUnits: the editor's, never a client's of another machine's
    // game; the host of a game on this machine alone may.
    Run("Create(\"Rock\", 1, 2, 0, 0, 5);");
    ASSERT_EQ(scene->m_objectCount, 1);
    net->m_hosting = 0;
    net->m_clientConnected = 1;
    EXPECT_EQ(Run("RemoveAllUnits();"), Lines{"RemoveAllUnits cannot be run at this time or gamestate"});
    net->m_hosting = 1;
    net->m_clientConnected = 0;
    Run("RemoveAllUnits();");
    EXPECT_EQ(scene->m_objectCount, 0);
    // StartGame is the host's.
    net->m_hosting = 0;
    EXPECT_EQ(Run("StartGame();"), Lines{"StartGame cannot be run at this time or gamestate"});
}
}  // namespace

// The editor's rows where the game runs on this machine alone (the host with
// no other machine joined): teams, layers, the merge's lines, the panel's
// offset, the spots' configuration and the settings the scene holds; what
// needs an argument does nothing without, a layer or team outside the
// table is said.
TEST_F(CommandsTest, EditorRowsChangeTheMarkedObjectsAndTheEditorsSettings) {
    game.SetGuiWord(0);
    game.SetGameState(2);
    game.SetGameLoading(false);
    Run("Create(\"Rock\", 1, 1, 0, 0, 5); Create(\"Rock\", 1.5, 1, 0, 0, 6); Create(\"Rock\", 9, 9, 0, 0, "
        "7);");
    std::vector<CTessarakObject*> made;
    for (CTessarakObject* o = scene->m_allObjects; o; o = o->m_allNext) made.insert(made.begin(), o);
    ASSERT_EQ(made.size(), 3u);
    for (int i : {0, 1}) made[i]->HandleMessage(CTessarakObject::kMsgSelect, 0);

    EXPECT_EQ(Run("M_ImportBinary(); M_SetTeam(); M_SetLayer(1, 2);"), Lines());
    EXPECT_EQ(Run("M_SetTeam(300);"), Lines{"Team is out of range (0 to 255)."});
    EXPECT_EQ(Run("M_SetLayer(256);"), Lines{"Layer is out of range (0 to 255)."});
    scene->m_layerPositions[4] = 2.0f;
    EXPECT_EQ(Run("M_SetTeam(3); M_SetLayer(4); M_HideLayer(4);"), Lines());
    for (int i : {0, 1}) {
        EXPECT_EQ(made[i]->m_mapTeam, 3);
        EXPECT_EQ(made[i]->m_layer, 4u);
        EXPECT_EQ(made[i]->m_position[1], 2.0f);
        EXPECT_EQ(made[i]->m_pendingVisibility, 1);
    }
    EXPECT_EQ(made[2]->m_layer, 0u);
    EXPECT_EQ(made[2]->m_mapTeam, 0);

    // The second of the two close rocks goes, once; the far one stays.
    EXPECT_EQ(Run("M_Merge(1);"), (Lines{"MergeResult : Object 'Rock' removed.", "MergeFinished."}));

    // The panel's offset: five by default, a number's steps, never before
    // the head nor past the last template, a negative count moves nothing.
    Run("M_MoveOffsetDown(1);");
    EXPECT_EQ(scene->m_editor.templateOffset, 1);
    Run("M_MoveOffsetUp();");
    EXPECT_EQ(scene->m_editor.templateOffset, 0);
    Run("M_MoveOffsetDown(); M_MoveOffsetDown(-2);");
    EXPECT_EQ(scene->m_editor.templateOffset, scene->m_templateCount - 1);

    // The spots' configuration, in order up to the first value that is no
    // number; the settings the scene holds.
    Run("M_SetSpotConfig(1.5, 2.5, 0.3); M_SetSpotConfig(4, 5, x); M_SetSpotConfig(9, 9);");
    EXPECT_EQ(scene->m_spotSizeMin, 4.0f);
    EXPECT_EQ(scene->m_spotSizeMax, 5.0f);
    EXPECT_EQ(scene->m_spotMovement, 0.3f);
    Run("M_PaintMode(1); M_TeamMode(2); M_CollisionMode(0); M_SelectLayer(4); m_BuildRestrictionMode(1);");
    EXPECT_EQ(scene->m_editor.paintMode, 1);
    EXPECT_EQ(scene->m_editor.teamMode, 2);
    EXPECT_EQ(scene->m_editor.collisionMode, 0);
    EXPECT_EQ(scene->m_editLayer, 4u);
    EXPECT_EQ(scene->m_buildRestrictionMode, 1);
    EXPECT_TRUE(game.Interface()->m_fields.m_selectionChanged);
    Run("m_NoBuildRestriction(\"Rock\", 1);");
    EXPECT_EQ(rock->m_noBuildRestriction, 1);

    // m_LAS runs a map's script and marks what it made, nothing else.
    ASSERT_TRUE(dir.Write("Maps/Extra.vxm", "Create(\"Rock\", 20, 20, 0, 0, 90);\n"));
    Run("m_LAS(\"Extra.vxm\");");
    CTessarakObject* extra = Newest();
    ASSERT_EQ(extra->m_mapId, 90) << (lines.empty() ? "" : lines.back());
    EXPECT_TRUE(extra->m_stateA & CTessarakObject::kA_Selected);
    EXPECT_FALSE(made[0]->m_stateA & CTessarakObject::kA_Selected);

    // A client of another machine's game edits nothing.
    net->m_hosting = 0;
    EXPECT_EQ(Run("M_SetTeam(1);"), Lines{"M_SetTeam cannot be run at this time or gamestate"});
    EXPECT_EQ(made[0]->m_mapTeam, 3);
}
