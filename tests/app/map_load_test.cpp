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

// The game's own creation by a template's id pair: under the scene's root
// frame for the owner with the object id, or under a frame given; an id pair
// no template has makes nothing.
TEST_F(MapLoadTest, CreateUnitForMakesAnObjectOfATemplatesIdPair) {
    CGameScene* scene = game.Scene();
    CPlayer* local = scene->LocalPlayer();
    ASSERT_TRUE(local);
    CTessarakObject* o = game.CreateUnitForLocalPlayer(1, 20, 5.0f, -6.0f, local, 40);
    ASSERT_TRUE(o);
    EXPECT_EQ(o->m_template, rock);
    EXPECT_EQ(o->m_owner, local);
    EXPECT_EQ(o->m_objectId, 40);
    EXPECT_EQ(o->m_position[0], 5.0f);
    EXPECT_EQ(o->m_position[2], -6.0f);
    EXPECT_EQ(o->m_parent, scene->m_rootFrame);
    EXPECT_EQ(scene->m_idTable.Find(40), o);

    // Hung on the first object: it moves with it.
    CTessarakObject* hung = game.CreateUnitFor(1, 20, 1.0f, 2.0f, scene->NeutralPlayer(), o, 41);
    ASSERT_TRUE(hung);
    EXPECT_EQ(hung->m_parent, o);
    EXPECT_EQ(hung->m_owner, scene->NeutralPlayer());

    EXPECT_EQ(game.CreateUnitForLocalPlayer(1, 77, 0.0f, 0.0f, local, 42), nullptr);
    EXPECT_EQ(game.CreateUnitForLocalPlayer(2, 20, 0.0f, 0.0f, local, 43), nullptr);
    EXPECT_EQ(game.CreateUnitFor(1, 20, 0.0f, 0.0f, local, nullptr, 40), nullptr);  // the id is taken
    EXPECT_EQ(scene->m_objectCount, 2);
}
