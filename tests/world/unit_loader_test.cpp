// Loading the unit file: the effect scripts around it, races and the effect
// system from the global settings, every template's keys, sorted build
// lists and template list, the players' races, loading once per name, and
// the size values derived from the shapes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/TempDir.h"
#include "tests/support/WorldTestHost.h"
#include "tools/lib/PackedProjectWriter.h"
#include "world/ExplosionManager.h"
#include "world/Player.h"
#include "world/Project.h"
#include "world/UnitTemplate.h"

namespace {

SPackedNode Node(const char* key, uint32_t id, const char* name, CPropertyPairs config = {},
                 std::vector<SPackedNode> children = {}) {
    SPackedNode n;
    n.classKey = key;
    n.projectId = 1;
    n.nodeId = id;
    n.name = name;
    n.config = std::move(config);
    n.children = std::move(children);
    return n;
}

class UnitLoaderTest : public ::testing::Test {
protected:
    UnitLoaderTest() : list(nullptr, host.scene) {
        host.SetProjects(&list);
        SPackedProject p;
        p.projectId = 1;
        SPackedNode sounds = Node("CBaseClass", 90, "!GUISounds", {{"LowPower", "lowpower.wav"}});
        SPackedNode races =
            Node("CBaseClass", 81, "!Races", {},
                 {Node("CBaseClass", 82, "!Default", {{"StartUnit", "hq"}}),
                  Node("CBaseClass", 83, "!Watching", {{"Hidden", "1"}}),
                  Node("CBaseClass", 84, "!Granite",
                       {{"StartUnit", "HQ"},
                        {"BuildEffect", "wirelightning"},
                        {"AutoExplosionNumObjects", "3"},
                        {"AutoExplosionObject1", "HQ"},
                        {"AutoExplosionObject3", "Tank"},
                        {"CableObject", "Nothing"}},
                       {sounds}),
                  Node("CBaseClass", 85, "!Coral", {{"BuildEffect", "IceScale"}, {"Hidden", "1"}})});
        SPackedNode effects = Node("CBaseClass", 86, "!EffectSystem", {{"WireLightningObject", "Tank"}});
        SPackedNode hq = Node("CUnit", 10, "HQ",
                              {{"HasBuildCaps", "1"},
                               {"BuildMethod", "Internal"},
                               {"BuildPowerAdd", "1"},
                               {"CanBuildUnit", "Tank"},
                               {"CanBuildUnit", "scout"},
                               {"CanBuildUnit", "Harvester"}});
        hq.shape = PackedProject_MakeBox(4.0f, 1.0f, 3.0f);
        SPackedNode tank = Node("CUnit", 11, "Tank", {{"BuildListPriority", "5"}, {"Density", "2"}});
        tank.shape = PackedProject_MakeBox(1.0f, 0.5f, 1.5f);
        tank.scale[0] = 2.0f;
        p.templates = {Node("CBaseClass", 80, "!GlobalSettings", {}, {races, effects}),
                       hq,
                       tank,
                       Node("CUnit", 12, "Scout", {{"BuildListPriority", "1"}}),
                       Node("CUnit", 13, "Harvester", {{"BuildListPriority", "3"}}),
                       Node("CGridMember", 14, "Game_Resource_Spot"),
                       Node("CBaseClass", 15, "a_shell")};
        std::vector<uint8_t> bytes;
        EXPECT_TRUE(PackedProject_Build(bytes, p));
        EXPECT_TRUE(dir.Write("Units/PackedProject.VXP", std::string(bytes.begin(), bytes.end())));
        host.root = dir.Win();
        host.players->m_local->m_raceName = "granite";
    }
    std::string Units() const { return dir.WinFile("Units"); }

    CWorldTestHost host;
    CTempDir dir;
    CProjectList list;
};

}  // namespace

TEST_F(UnitLoaderTest, LoadsRacesEffectsAndTemplatesOnce) {
    CGameScene& scene = *host.scene;
    CPlayerList& players = *host.players;
    ASSERT_TRUE(scene.LoadUnits(Units().c_str()));
    EXPECT_NE(host.FindLine("Loading units from packed file..."), "");
    EXPECT_NE(host.FindLine("Parsing custom settings (and loading sounds)"), "");
    // The four effect scripts, from the units folder, around the load.
    const std::string fx = host.root + "\\Units\\Special Effects\\";
    EXPECT_EQ(host.scripts,
              (std::vector<std::string>{fx + "Emitters.cfg", fx + "Explosions.cfg",
                                        fx + "EmitterMaterials.cfg", fx + "ExplosionsSettings.cfg"}));

    // Races: "!Default" and "!Watching" configure the two the game has; the
    // others are new races named without their mark.
    CRace* granite = players.FindRace("Granite");
    CRace* coral = players.FindRace("Coral");
    ASSERT_NE(granite, nullptr);
    ASSERT_NE(coral, nullptr);
    EXPECT_EQ(players.m_races.size(), 4u);
    CTessarakObjectTemplate* hq = scene.FindTemplate("HQ");
    CTessarakObjectTemplate* tank = scene.FindTemplate("Tank");
    EXPECT_EQ(players.m_defaultRace->m_startUnit, hq);
    EXPECT_EQ(players.m_watchingRace->m_hidden, 1);
    EXPECT_EQ(players.m_watchingRace->m_watching, 1);
    EXPECT_EQ(granite->m_startUnit, hq);
    EXPECT_EQ(granite->m_buildEffect, 0);  // the name's case is the key's
    EXPECT_EQ(coral->m_buildEffect, 3);
    EXPECT_EQ(granite->m_autoExplosionObjects, (std::vector<CTessarakObjectTemplate*>{hq, nullptr, tank}));
    EXPECT_EQ(granite->m_cableObject, nullptr);
    EXPECT_EQ(granite->m_node->m_name.EqualsNoCase("!Granite"), true);
    EXPECT_EQ(host.explosions->m_wireLightningObject, tank);
    EXPECT_EQ(scene.m_spotTemplate, scene.FindTemplate("Game_Resource_Spot"));
    EXPECT_EQ(scene.m_globalSettings, scene.FindTemplate("!GlobalSettings"));
    // The players' races from their names.
    EXPECT_EQ(players.m_local->m_race, granite);

    // Keys were read, build lists sorted by priority, templates by name.
    CUnitTemplate* builder = static_cast<CUnitTemplate*>(hq);
    std::vector<std::string> offered;
    for (SUnitBuildEntry* e = builder->m_buildList; e; e = e->m_next)
        offered.push_back(e->m_template->m_name.GetText());
    EXPECT_EQ(offered, (std::vector<std::string>{"Scout", "Harvester", "Tank"}));
    std::vector<std::string> names;
    for (CTessarakObjectTemplate* t = scene.m_templates; t; t = t->m_listNext)
        names.push_back(t->m_name.GetText());
    EXPECT_EQ(names, (std::vector<std::string>{"!GlobalSettings", "a_shell", "Game_Resource_Spot",
                                               "Harvester", "HQ", "Scout", "Tank"}));

    // The same name in any case is loaded already: nothing runs again.
    host.scripts.clear();
    std::string upper = Units();
    for (char& c : upper) c = char(toupper(c));
    EXPECT_TRUE(scene.LoadUnits(upper.c_str()));
    EXPECT_TRUE(host.scripts.empty());
    EXPECT_EQ(players.m_races.size(), 4u);
}

TEST_F(UnitLoaderTest, AFailedLoadSaysSoAndTheNextCallTriesAgain) {
    CGameScene& scene = *host.scene;
    ASSERT_TRUE(scene.LoadUnits(Units().c_str()));
    EXPECT_FALSE(scene.LoadUnits(dir.WinFile("Nowhere").c_str()));
    EXPECT_NE(host.FindLine("Failed to load units"), "");
    // Nothing of the old project is left half-way: the content project was
    // emptied; asking for the good one loads it again.
    EXPECT_EQ(scene.FindTemplate("HQ"), nullptr);
    EXPECT_TRUE(scene.LoadUnits(Units().c_str()));
    EXPECT_NE(scene.FindTemplate("HQ"), nullptr);
}

TEST_F(UnitLoaderTest, TheAnnouncerLoadsWithTheSoundEngine) {
    host.soundOff = false;
    host.soundFiles.insert(host.root + "\\Units\\Sounds\\lowpower.wav");
    ASSERT_TRUE(host.scene->LoadUnits(Units().c_str()));
    CRace* granite = host.players->FindRace("Granite");
    ASSERT_NE(granite, nullptr);
    EXPECT_NE(granite->m_announcer[4], nullptr);  // LowPower
    EXPECT_EQ(granite->m_announcer[0], nullptr);
    // A player's event plays its race's sample on the voice queue, loud; an
    // event without a sample plays nothing.
    host.players->m_local->PlayEventSound(granite->m_announcer[4], 14);
    host.players->m_local->PlayEventSound(granite->m_announcer[0], 1);
    ASSERT_EQ(host.voices.size(), 1u);
    EXPECT_EQ(host.voices[0].sample, granite->m_announcer[4]);
    EXPECT_EQ(host.voices[0].volume, 127);
    EXPECT_EQ(host.voices[0].kind, 14);
}

// The players' races come from their names, without regard to case; a name
// that names no race gives the default race. The template list's order is by
// name without regard to case, a template without a name first.
TEST_F(UnitLoaderTest, RacesByNameAndTemplatesByName) {
    CPlayer* stranger = new CPlayer(host.players);
    stranger->m_raceName = "Nobody";
    ASSERT_TRUE(host.scene->LoadUnits(Units().c_str()));
    CPlayerList& players = *host.players;
    EXPECT_EQ(players.m_local->m_race, players.FindRace("Granite"));
    EXPECT_EQ(stranger->m_race, players.m_defaultRace);
    stranger->m_raceName = "CORAL";
    players.m_local->m_raceName = "Nobody";
    players.ResolvePlayerRaces();
    EXPECT_EQ(stranger->m_race, players.FindRace("Coral"));
    EXPECT_EQ(players.m_local->m_race, players.m_defaultRace);

    CTessarakObjectTemplate* tank = host.scene->FindTemplate("Tank");
    CTessarakObjectTemplate* hq = host.scene->FindTemplate("HQ");
    CTessarakObjectTemplate* shell = host.scene->FindTemplate("a_shell");
    EXPECT_LT(LoadUnitsTemplateByName(shell, hq), 0);
    EXPECT_GT(LoadUnitsTemplateByName(tank, hq), 0);
    EXPECT_EQ(LoadUnitsTemplateByName(hq, hq), 0);
    EXPECT_LT(LoadUnitsTemplateByName(nullptr, shell), 0);
    EXPECT_EQ(LoadUnitsTemplateByName(nullptr, nullptr), 0);
    CStrBuf name = tank->m_name;
    tank->m_name = "hq";
    EXPECT_EQ(LoadUnitsTemplateByName(tank, hq), 0);
    tank->m_name.Clear();
    EXPECT_EQ(LoadUnitsTemplateByName(tank, nullptr), 0);
    tank->m_name = name;
}

TEST_F(UnitLoaderTest, SizesComeFromTheShapes) {
    CGameScene& scene = *host.scene;
    ASSERT_TRUE(scene.LoadUnits(Units().c_str()));
    scene.DeriveTemplateSizes();
    // The tank: a box of half sizes 1, 0.5 and 1.5, scaled twice along x.
    CTessarakObjectTemplate* tank = scene.FindTemplate("Tank");
    EXPECT_FLOAT_EQ(tank->m_footprintHalf[0], 2.0f);
    EXPECT_FLOAT_EQ(tank->m_footprintHalf[1], 1.5f);
    EXPECT_FLOAT_EQ(tank->m_collisionRadius, 2.5f);
    EXPECT_FLOAT_EQ(tank->m_clearanceRadius, 2.5f);
    EXPECT_EQ(tank->m_footprintHalfSize, 6);                   // path cells: three to a map unit
    EXPECT_FLOAT_EQ(tank->m_mass, 4.0f * 1.0f * 3.0f * 2.0f);  // the box, times the density
    EXPECT_FLOAT_EQ(static_cast<CUnitTemplate*>(tank)->m_footprintRadius, 2.5f);
    // A template without geometry still has a radius and a mass to divide by.
    CTessarakObjectTemplate* shell = scene.FindTemplate("a_shell");
    EXPECT_GT(shell->m_collisionRadius, 0.0f);
    EXPECT_GT(shell->m_mass, 0.0f);
    EXPECT_EQ(shell->m_footprintHalfSize, 1);
}
