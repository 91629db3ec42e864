// The demo content as the game loads it: the build's packed project, read
// through the unit loader, holds every template of the sources in content/
// (by name and by id pair, of its class, with its children and its keys as
// written), and the units a skirmish needs are there for both races.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/VFSFile.h"
#include "core/VFSTable.h"
#include "netgame/MapFiles.h"
#include "tests/support/WorldTestHost.h"
#include "tools/lib/ContentProject.h"
#include "tools/lib/MapPicture.h"
#include "world/GameScene.h"
#include "world/Player.h"
#include "world/Project.h"
#include "world/UnitTemplate.h"
#include "world/UnitWeapon.h"

namespace {

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

uint32_t MaskOf(const std::string& key) {
    if (key == "CUnit") return 0x80000007u;
    if (key == "CGridMember") return 0x80000003u;
    if (key == "CUnitWeapon") return 0x80000011u;
    return 0x80000001u;
}

// The loaded node against its source: class, name, keys in stored order,
// and each child by id pair.
void ExpectSame(const CUnitVisual* node, const SPackedNode& source, const std::string& path) {
    EXPECT_EQ(node->m_classMask, MaskOf(source.classKey)) << path;
    EXPECT_STREQ(node->m_name.GetText(), source.name.c_str()) << path;
    CPropertyPairs keys;
    CProperty* last = node->m_config.GetFirst();
    while (last && last->GetNext()) last = last->GetNext();
    for (CProperty* p = last; p; p = p->GetPrev()) keys.push_back({p->GetName(), p->GetValueText()});
    EXPECT_EQ(keys, source.config) << path;
    int children = 0;
    for (CUnitVisual* c = node->NextChildNode(nullptr); c; c = node->NextChildNode(c)) ++children;
    EXPECT_EQ(children, int(source.children.size())) << path;
    for (const SPackedNode& c : source.children) {
        const CUnitVisual* child = node->FindChildById(c.projectId, c.nodeId);
        ASSERT_NE(child, nullptr) << path << "/" << c.name;
        ExpectSame(child, c, path + "/" + c.name);
    }
}

const CUnitVisual* FindNamed(const CUnitVisual* node, const char* name) {
    if (node->m_name.Equals(name)) return node;
    for (CUnitVisual* c = node->NextChildNode(nullptr); c; c = node->NextChildNode(c))
        if (const CUnitVisual* found = FindNamed(c, name)) return found;
    return nullptr;
}

}  // namespace

TEST(DemoUnits, TheBuiltProjectHoldsEveryTemplateOfTheSources) {
    const std::string source = Env("TESSARAK_SOURCE"), build = Env("TESSARAK_BUILD");
    ASSERT_FALSE(source.empty() || build.empty()) << "run through ctest";
    SContentBuild sources;
    std::string error;
    ASSERT_TRUE(ContentProject_Load(source + "/content/Tessarak/Units/PackedProject.VXP", sources, error))
        << error;

    CWorldTestHost host;
    CProjectList projects(nullptr, host.scene);
    host.SetProjects(&projects);
    // The installation's Units folder, as the game names it ("Z:" is the root).
    const std::string units = "Z:" + build + "/install/Tessarak/Units";
    ASSERT_TRUE(host.scene->LoadUnits(units.c_str())) << ::testing::PrintToString(host.lines);
    host.scene->DeriveTemplateSizes();

    EXPECT_EQ(host.scene->m_templateCount, int(sources.project.templates.size()));
    for (const SPackedNode& t : sources.project.templates) {
        CTessarakObjectTemplate* byName = host.scene->FindTemplate(t.name.c_str());
        ASSERT_NE(byName, nullptr) << t.name;
        EXPECT_EQ(host.scene->FindTemplateById(t.projectId, int32_t(t.nodeId)), byName) << t.name;
        ExpectSame(byName, t, t.name);
    }

    // What a skirmish needs, for both races.
    CPlayerList& players = *host.players;
    for (const char* race : {"Granite", "Coral"}) {
        const std::string r = race;
        CRace* record = players.FindRace(race);
        ASSERT_NE(record, nullptr) << race;
        auto unit = [&](const char* kind) {
            CTessarakObjectTemplate* t = host.scene->FindTemplate((r + "_" + kind).c_str());
            EXPECT_NE(t, nullptr) << r << "_" << kind;
            EXPECT_TRUE(t && (t->m_classMask & kClassUnit)) << r << "_" << kind;
            return static_cast<CUnitTemplate*>(t);
        };
        CUnitTemplate* hq = unit("Headquarters");
        CUnitTemplate* factory = unit("Factory");
        CUnitTemplate* depot = unit("Depot");
        CUnitTemplate* harvester = unit("Harvester");
        if (!hq || !factory || !depot || !harvester) continue;
        EXPECT_EQ(record->m_startUnit, hq) << race;
        EXPECT_EQ(hq->m_race, record) << race;
        EXPECT_TRUE(hq->m_canBuild && hq->m_buildMethod == CUnitTemplate::kBuildInternal) << race;
        EXPECT_TRUE(hq->CanBuild(harvester)) << race;
        EXPECT_EQ(harvester->m_harvestType, 1) << race;
        EXPECT_GT(harvester->m_speed, 0.0f) << race;
        EXPECT_EQ(depot->m_harvestDepot, harvester) << race;
        EXPECT_GT(depot->m_storage, 0.0f) << race;
        for (const char* armed : {"LightTank", "HeavyTank", "Artillery"}) {
            CUnitTemplate* t = unit(armed);
            if (!t) continue;
            EXPECT_TRUE(factory->CanBuild(t)) << r << armed;
            EXPECT_GT(t->m_speed, 0.0f) << r << armed;
            EXPECT_EQ(t->m_hasWeapons, 1) << r << armed;
            EXPECT_GT(t->m_fireRange, 0.0f) << r << armed;
            // A weapon with a fire point, and a footprint the grid can hold.
            CTessarakObjectTemplate* weapon = nullptr;
            for (CTessarakObjectTemplate* c = t->NextChildTemplate(nullptr); c; c = t->NextChildTemplate(c))
                if (c->m_classMask & kClassWeapon) weapon = c;
            ASSERT_NE(weapon, nullptr) << r << armed;
            EXPECT_NE(weapon->FindChildByName("FirePoint"), nullptr) << r << armed;
            EXPECT_NE(static_cast<CUnitWeaponTemplate*>(weapon)->m_weaponMethod, 0) << r << armed;
            EXPECT_GE(t->m_collisionRadius, 0.5f) << r << armed;
        }
        EXPECT_GT(hq->m_collisionRadius, unit("LightTank")->m_collisionRadius) << race;
        // Buildings hold their footprint on the path grid, so units go round them.
        for (CUnitTemplate* building : {hq, factory, depot}) EXPECT_EQ(building->m_noYCollision, 1) << race;
        EXPECT_EQ(harvester->m_noYCollision, 0) << race;
    }
    CTessarakObjectTemplate* spot = host.scene->m_spotTemplate;
    ASSERT_NE(spot, nullptr);
    EXPECT_EQ(spot->m_resourceType, 1);
    EXPECT_GT(spot->m_resourceAmount, 0.0f);
    EXPECT_NE(FindNamed(host.scene->FindTemplate("Coral_Artillery"), "FirePoint"), nullptr);
}

// The small map as the game stands it, drawn from its scene as the map
// editor's export draws it: the same picture, pixel for pixel, as the
// content build draws from the map's sources for its radar.
TEST(DemoUnits, TheSceneOfTheSmallMapDrawsTheSamePictureAsItsSources) {
    const std::string source = Env("TESSARAK_SOURCE"), build = Env("TESSARAK_BUILD");
    ASSERT_FALSE(source.empty() || build.empty()) << "run through ctest";
    SMapPicture fromSources;
    std::string error;
    ASSERT_TRUE(MapPicture_Render(source + "/content/Tessarak/Maps/Skerry/MapData.box", fromSources, error))
        << error;

    CWorldTestHost host;
    CProjectList projects(nullptr, host.scene);
    host.SetProjects(&projects);
    const std::string root = "Z:" + build + "/install/Tessarak";
    ASSERT_TRUE(host.scene->LoadUnits((root + "/Units").c_str())) << ::testing::PrintToString(host.lines);
    host.scene->DeriveTemplateSizes();
    CVFSTable box;
    ASSERT_TRUE(box.MountPack((root + "/Maps/Skerry/MapData.box").c_str()));
    CVFSFile visual;
    ASSERT_TRUE(visual.Open("visual.bin", CVFSFile::kModeRead, &box));
    CGameScene* scene = host.scene;
    ASSERT_TRUE(LoadMapObjects(scene, &visual, [&](CTessarakObjectTemplate* t, float x, float z) {
        const float at[3] = {x, 0.0f, z};
        return scene->CreateObjectByClass(t, at, host.players->m_neutral, scene->m_idTable.NewId());
    }));
    // A player's unit on the map is left out of its picture.
    const float at[3] = {0.0f, 0.0f, 0.0f};
    ASSERT_TRUE(scene->CreateObjectByClass(scene->FindTemplate("Granite_Headquarters"), at,
                                           host.players->m_local, scene->m_idTable.NewId()));

    SMapPicture fromScene;
    ASSERT_TRUE(MapPicture_FromScene(*scene, fromSources.width / 2, fromSources.height / 2, fromScene));
    ASSERT_EQ(fromScene.width, fromSources.width);
    ASSERT_EQ(fromScene.height, fromSources.height);
    size_t differ = 0;
    for (size_t i = 0; i < fromScene.rgb.size(); ++i) differ += fromScene.rgb[i] != fromSources.rgb[i];
    EXPECT_EQ(differ, 0u);
    // The lobby's picture: the same cut to 256 x 256 by the nearest pixel.
    const SMapPicture preview = MapPicture_Scaled(fromScene, 256, 256);
    ASSERT_EQ(preview.rgb.size(), size_t(256 * 256 * 3));
    EXPECT_TRUE(std::equal(preview.rgb.begin(), preview.rgb.begin() + 3, fromScene.rgb.begin()));
    const size_t last =
        (size_t(fromScene.height - 1) * size_t(fromScene.width) + size_t(fromScene.width - 1)) * 3;
    EXPECT_TRUE(std::equal(preview.rgb.end() - 3, preview.rgb.end(), fromScene.rgb.begin() + long(last)));
    EXPECT_FALSE(MapPicture_FromScene(*scene, 0, 10, fromScene));
}

// Every unit of the demo has a name a player reads: words, no race prefix.
TEST(DemoUnits, EveryUnitHasADisplayNameAPlayerReads) {
    const std::string build = Env("TESSARAK_BUILD");
    ASSERT_FALSE(build.empty()) << "run through ctest";
    CWorldTestHost host;
    CProjectList projects(nullptr, host.scene);
    host.SetProjects(&projects);
    ASSERT_TRUE(host.scene->LoadUnits(("Z:" + build + "/install/Tessarak/Units").c_str()));
    int units = 0;
    for (CTessarakObjectTemplate* t = host.scene->m_templates; t; t = t->m_listNext) {
        if (!(t->m_classMask & kClassUnit)) continue;
        ++units;
        const std::string name = t->DisplayName();
        EXPECT_NE(name, t->m_name.GetText()) << name;
        EXPECT_EQ(name.find('_'), std::string::npos) << name;
        EXPECT_EQ(name.find("Granite"), std::string::npos) << name;
        EXPECT_EQ(name.find("Coral"), std::string::npos) << name;
    }
    EXPECT_GE(units, 20);
    EXPECT_STREQ(host.scene->FindTemplate("Coral_LightTank")->DisplayName(), "Light Tank");
}
