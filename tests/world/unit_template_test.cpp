// Unit templates: their keys and defaults, build lists from both sides, the
// scene's list of unit templates, and the sounds they load.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/support/WorldTestHost.h"
#include "world/UnitTemplate.h"

namespace {

typedef std::vector<std::pair<const char*, const char*>> Keys;

class UnitTemplateTest : public ::testing::Test {
protected:
    // A top-level unit template whose section holds the keys in the order given.
    CUnitTemplate* Make(const char* name, const Keys& keys, uint32_t id = 0) {
        CUnitTemplate* t = host.MakeTemplate<CUnitTemplate>(host.m_root, id ? id : ++m_nextId, name);
        // The loader puts each entry at the front: stored order is the reverse.
        for (const auto& k : keys) t->m_config.Add(k.first, k.second);
        return t;
    }
    static std::vector<std::string> BuildList(const CUnitTemplate* t) {
        std::vector<std::string> names;
        for (const SUnitBuildEntry* e = t->m_buildList; e; e = e->m_next)
            names.push_back(e->m_template->m_name.GetText());
        return names;
    }

    CWorldTestHost host;
    uint32_t m_nextId = 100;
};

}  // namespace

TEST_F(UnitTemplateTest, KeysTakeTheirValuesAndTheirDefaults) {
    CUnitTemplate* bare = Make("Bare", {});
    bare->LoadProperties();
    EXPECT_EQ(bare->m_classMask, 0x80000007u);
    EXPECT_EQ(bare->m_visibleRange, 0.0f);
    EXPECT_EQ(bare->m_lockRange, 0.0f);
    EXPECT_EQ(bare->m_lockRangeSq, 0.0f);
    EXPECT_EQ(bare->m_laserFenceDamage, 1.0f);
    EXPECT_EQ(bare->m_hasWeapons, 0);
    EXPECT_EQ(bare->m_groundFire, 1);
    EXPECT_EQ(bare->m_guardDistance, 10.0f);
    EXPECT_EQ(bare->m_towDistance, 5.0f);
    EXPECT_EQ(bare->m_gridWord, 10);
    EXPECT_TRUE(bare->m_weaponFireSounds.empty());

    CUnitTemplate* t = Make("Tank", {{"GivesEnergy", "-5"},
                                     {"TakesEnergy", "-3"},
                                     {"TakeEnergy", "-3"},
                                     {"HasRadarCaps", "1"},
                                     {"RadarRange", "50"},
                                     {"AntiRadar", "20"},
                                     {"VisibleRange", "12"},
                                     {"Friendly", "1"},
                                     {"HasSpotCaps", "2,5"},
                                     {"LaserFence", "8"},
                                     {"HasPhasingCaps", ""},
                                     {"NumWeapons", "2"},
                                     {"BaseHeading", "90"},
                                     {"ExitOffsetZ", "4"},
                                     {"AddChildUnit", "bare"},
                                     {"HarvestDepot", "BARE"}});
    t->LoadProperties();
    EXPECT_EQ(t->m_givesEnergy, 0.0f);
    EXPECT_EQ(t->m_takesEnergy, -3.0f);
    EXPECT_EQ(t->m_hasRadar, 1);
    EXPECT_EQ(t->m_radarRange, 20.0f);
    EXPECT_EQ(t->m_antiRadar, 1);
    EXPECT_EQ(t->m_visibleRangeSq, 144.0f);
    EXPECT_EQ(t->m_lockRangeSq, 144.0f);
    EXPECT_EQ(t->m_hasSpot, 1);
    EXPECT_EQ(t->m_spotValue, 2.5f);
    EXPECT_EQ(t->m_laserFence, 1);
    EXPECT_EQ(t->m_laserFenceRange, 8.0f);
    EXPECT_EQ(t->m_phasing, 1);
    EXPECT_EQ(t->m_hasWeapons, 1);
    // The keys beyond the classic set follow the ones they default to.
    EXPECT_EQ(t->m_fireRange, 12.0f);
    EXPECT_EQ(t->m_approachDistance, 12.0f);
    EXPECT_EQ(t->m_noTarget, 1);
    EXPECT_FLOAT_EQ(t->m_baseHeading, 1.5707964f);
    EXPECT_EQ(t->m_exitOffset[1], 4.0f);
    EXPECT_EQ(t->m_childUnit, bare);
    EXPECT_EQ(t->m_harvestDepot, bare);
    // Radar without its range is no radar.
    CUnitTemplate* blind = Make("Blind", {{"HasRadarCaps", "1"}});
    blind->LoadProperties();
    EXPECT_EQ(blind->m_hasRadar, 0);
}

TEST_F(UnitTemplateTest, ABuilderNeedsItsPowerAndAMethodItKnows) {
    struct SCase {
        Keys keys;
        uint8_t canBuild;
        int32_t method;
    };
    const SCase cases[] = {
        {{{"HasBuildCaps", "1"}, {"BuildPowerAdd", "2"}, {"BuildMethod", "internal"}}, 1, 1},
        {{{"HasBuildCaps", "1"}, {"BuildPowerAdd", "2"}, {"BuildMethod", "External"}}, 1, 2},
        {{{"HasBuildCaps", "1"}, {"BuildMethod", "Internal"}}, 0, 1},
        {{{"HasBuildCaps", "1"}, {"BuildPowerAdd", "2"}, {"BuildMethod", "Internal "}}, 0, 0},
        {{{"HasBuildCaps", "1"}, {"BuildPowerAdd", "2"}}, 0, 0},
        {{{"HasBuildCaps", "0"}, {"BuildPowerAdd", "2"}, {"BuildMethod", "Internal"}}, 0, 0},
    };
    for (const SCase& c : cases) {
        CUnitTemplate* t = Make("B", c.keys);
        t->LoadProperties();
        EXPECT_EQ(t->m_canBuild, c.canBuild) << c.keys.back().second;
        EXPECT_EQ(t->m_buildMethod, c.method) << c.keys.back().second;
        delete t;
    }
}

TEST_F(UnitTemplateTest, BuildListsComeFromBothSidesAndSortByPriority) {
    CUnitTemplate* a = Make("A", {{"BuildListPriority", "5"}});
    CUnitTemplate* b = Make("B", {{"BuildListPriority", "1"}});
    CUnitTemplate* c = Make("C", {{"BuildListPriority", "3"}, {"ConstructedBy", "Factory"}});
    CUnitTemplate* d = Make("D", {{"ConstructedBy", "Nobody"}});
    CUnitTemplate* factory = Make(
        "Factory",
        {{"HasBuildCaps", "1"}, {"CanBuildUnit", "a"}, {"CanBuildUnit", "Ghost"}, {"CanBuildUnit", "B"}});
    CUnitTemplate* none = Make("None", {{"CanBuildUnit", "A"}});
    for (CUnitTemplate* t : {a, b, c, d, factory, none}) t->LoadProperties();
    // Entries join at the head, in the section's stored order; C named its
    // builder itself, though C cannot build; a template without build caps
    // lists nothing.
    EXPECT_EQ(BuildList(factory), (std::vector<std::string>{"B", "A", "C"}));
    EXPECT_TRUE(BuildList(none).empty());
    EXPECT_EQ(host.FindLine("Ghost"), "Couldn't find buildtemplate 'Ghost' in constructor 'Factory'");
    EXPECT_EQ(host.FindLine("Nobody"), "Couldn't find template 'Nobody' in unit to be constructed 'D'");

    factory->SortBuildList();
    EXPECT_EQ(BuildList(factory), (std::vector<std::string>{"B", "C", "A"}));
    // A template that goes leaves every list that named it.
    delete c;
    EXPECT_EQ(BuildList(factory), (std::vector<std::string>{"B", "A"}));
    EXPECT_EQ(factory->m_buildCount, 2);
}

TEST_F(UnitTemplateTest, TheSceneListOfUnitTemplatesKeepsItsCount) {
    CGameScene& scene = *host.scene;
    CUnitTemplate* a = Make("A", {});
    CUnitTemplate* child = host.MakeTemplate<CUnitTemplate>(a, 7, "Child");
    EXPECT_EQ(scene.m_unitTemplateCount, 1);
    EXPECT_EQ(child->m_onUnitList, 0);
    a->Message(14, nullptr);
    EXPECT_EQ(scene.m_unitTemplateCount, 0);
    EXPECT_EQ(scene.m_unitTemplates, nullptr);
    a->Message(14, a);
    a->Message(14, a);
    EXPECT_EQ(scene.m_unitTemplateCount, 1);
    CUnitTemplate* b = Make("B", {});
    EXPECT_EQ(scene.m_unitTemplates, b);
    delete a;
    EXPECT_EQ(scene.m_unitTemplateCount, 1);
    EXPECT_EQ(scene.m_unitTemplates, b);
}

TEST_F(UnitTemplateTest, SoundsLoadOnlyWithTheSoundEngine) {
    CUnitTemplate* t = Make("Tank", {{"NumWeapons", "2"}, {"ReadySound", "ready.wav"}});
    t->LoadProperties();
    EXPECT_TRUE(host.loadedSounds.empty());

    host.soundOff = false;
    host.soundFiles.insert(host.root + "\\Units\\Sounds\\ready.wav");
    t->LoadProperties();
    ASSERT_EQ(t->m_weaponFireSounds.size(), 2u);
    // Pushed at the head: the last weapon's record first.
    EXPECT_EQ(t->m_weaponFireSounds[0]->m_weapon, 2);
    EXPECT_NE(t->WeaponFireSound(1), nullptr);
    EXPECT_EQ(t->WeaponFireSound(3), nullptr);
    EXPECT_EQ(t->m_readySound.m_samples.size(), 1u);
    EXPECT_TRUE(t->m_completionSound.m_samples.empty());
    // Loading again frees what the first load made.
    const int freed = host.freedSamples;
    t->LoadProperties();
    EXPECT_EQ(host.freedSamples, freed + 1);
}
