// The map load on a game object without a display: the map box found through
// the file table, its objects file placed, the grid sized from the map, and
// a missing box or a bad map name refused.
#include <gtest/gtest.h>

#include "app/Game.h"
#include "app/GameClock.h"
#include "app/GameRoles.h"
#include "core/VFSTable.h"
#include "e3d/Frame.h"
#include "netgame/MapFiles.h"
#include "netgame/NetGame.h"
#include "tests/support/TempDir.h"
#include "tools/lib/PackWriter.h"
#include "ui/Interface.h"
#include "world/GameScene.h"
#include "world/ObjectTemplate.h"
#include "world/TessarakObject.h"
#include "world/World.h"

namespace {
class MapLoadTest : public ::testing::Test {
protected:
    void SetUp() override {
        game.SetRootDir(dir.Win().c_str());
        game.SetClock(new CGameClock);
        game.SetNetGame(new CNetGame(game.Roles().Net()));
        game.SetInterface(new CInterface(game.Roles().Interface()));
        game.CreateWorld(&root);
        rock = new CTessarakObjectTemplate(game.Scene(), &root, 1, nullptr);
        rock->m_projectId = 1;
        rock->m_nodeId = 20;
        rock->m_name = "Rock";
    }
    void TearDown() override {
        game.DeleteWorld();
        delete game.Interface();
        delete game.NetGame();
        delete game.Clock();
        game.SetInterface(nullptr);
        game.SetNetGame(nullptr);
        game.SetClock(nullptr);
    }
    // A map box in the map's folder, entered into the global file table.
    void WriteBox(const char* map, const SMapObjects& objects) {
        std::vector<uint8_t> bin;
        MapObjects_Encode(objects, bin);
        CPackWriter pack;
        pack.Add("visual.bin", std::string(bin.begin(), bin.end()));
        std::string rel = std::string("Maps/") + map + "/MapData.box";
        ASSERT_TRUE(dir.Write(rel, ""));  // makes the map's folder
        ASSERT_TRUE(pack.WriteTo(dir.File(rel)));
        g_VFS.AddDiskFile(dir.WinFile(rel).c_str());
    }

    CTempDir dir;
    CGame game{nullptr, "No datafile"};
    CE3DFrame root{nullptr};
    CTessarakObjectTemplate* rock = nullptr;
};

TEST_F(MapLoadTest, LoadsTheBoxObjectsAndStartPositions) {
    SMapObjects objects;
    objects.startX = {-30.0f, 30.0f};
    objects.startZ = {-30.0f, 30.0f};
    SMapObjectRecord r;
    r.templateId = 20;
    r.projectId = 1;
    r.x = 5.0f;
    r.z = -6.0f;
    r.mapId = 3;
    objects.objects = {r, r};
    objects.objects[1].templateId = 77;  // no such template: skipped
    WriteBox("Isle", objects);
    ASSERT_TRUE(game.SetMapName("Isle"));
    // A notice of the game before (a call-off, say) ends with that game.
    CConsole& console = game.Interface()->m_console;
    console.Init(CConsole::kScrollBackLines, 17, 8);
    console.Print("The game could not start on Player; back to the lobby", false, 255, 255, 255, true);
    ASSERT_STREQ(console.GetScreenLine(0)->text.GetText(),
                 "The game could not start on Player; back to the lobby");
    game.LoadMap();
    EXPECT_STREQ(console.GetScreenLine(0)->text.GetText(), "");
    CGameScene* scene = game.Scene();
    EXPECT_EQ(scene->StartPositionCount(), 2);
    ASSERT_EQ(scene->m_objectCount, 1);
    EXPECT_EQ(scene->m_allObjects->m_template, rock);
    EXPECT_EQ(scene->m_allObjects->m_position[0], 5.0f);
    EXPECT_EQ(scene->m_allObjects->m_mapId, 3);
    EXPECT_TRUE(game.GameLoading());
    EXPECT_EQ(game.GuiWord(), 0);
    game.AfterMapLoad();
    EXPECT_TRUE(game.MapLoaded());
}

TEST_F(MapLoadTest, MissingBoxAndBadNamesGoBackToTheLobby) {
    ASSERT_TRUE(game.SetMapName("Nowhere"));
    game.LoadMap();
    EXPECT_EQ(game.GuiWord(), 1);
    EXPECT_FALSE(game.GameLoading());
    for (const char* bad : {"..", "..\\Scripts", "C:\\x", "a/b", ""}) {
        EXPECT_FALSE(game.SetMapName(bad)) << bad;
        EXPECT_STREQ(game.MapName().GetText(), "Nowhere");
    }
}
}  // namespace
