// What the interface keeps of a running game from frame to frame, without a
// display: the frame ends a placement whose builder is no longer selected or
// that a pause overtakes, and closes the full-screen radar below half power;
// the mouse update skips frames after a display change; the build icons
// cover what the map or the kind of game refuses and step their offset back
// past the last page; the units' status pictures (switched off, no way
// found) and the signal a unit waits for, as the world's query gives them.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/UnitWorld.h"
#include "ui/GUIObject.h"
#include "ui/GUIRoles.h"
#include "ui/Interface.h"
#include "world/GameMessages.h"
#include "world/GameScene.h"
#include "world/Player.h"
#include "world/Unit.h"
#include "world/UnitTemplate.h"
#include "world/WaypointList.h"
#include "world/World.h"

namespace {

class CTestGame : public IGUIGame {
public:
    int32_t GameType() override { return type; }
    float FrameTime() override { return frame; }
    bool Paused() override { return paused; }
    int32_t type = 0;
    float frame = 0.5f;
    bool paused = false;
};

class HudState : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(w.LoadDemoTemplates(error)) << error;
        w.players->m_local = w.red;
        SInterfaceRoles roles;
        roles.gui = &game;
        ui = std::make_unique<CInterface>(roles);
        ui->SetWorld(&w.world);
        ui->m_scriptsStarted = 1;
    }
    void TearDown() override {
        if (ui) ui->m_BuildIcons.clear();
    }
    static void Select(CUnit* u, bool on) {
        u->HandleMessage(on ? CTessarakObject::kMsgSelect : CTessarakObject::kMsgDeselect, 0);
    }
    // The world's turn applies a message of the unit (its id first).
    void Apply(uint16_t type, CUnit* u) {
        const int32_t id = u->m_objectId;
        uint8_t payload[4] = {uint8_t(id), uint8_t(id >> 8), uint8_t(id >> 16), uint8_t(id >> 24)};
        ASSERT_TRUE(w.world.ApplyOrder(type, payload, sizeof payload));
    }
    SObjectView View(CUnit* u) {
        SObjectView v;
        EXPECT_TRUE(w.world.Query().Object(u->m_objectId, &v));
        return v;
    }

    CUnitWorld w;
    CTestGame game;
    std::unique_ptr<CInterface> ui;
};

}  // namespace

TEST_F(HudState, TheFrameEndsAPlacementWithoutItsBuilderOrAtAPauseAndClosesTheFullScreenRadarBelowHalfPower) {
    CUnit* builder = w.Spawn("Granite_Constructor", 0.0f, 0.0f, w.red);
    ASSERT_NE(builder, nullptr);
    const CTessarakObjectTemplate* item = w.UnitTemplate("Granite_Depot");
    auto place = [&] {
        ui->m_mode = 1;
        ui->m_placeTemplate = item;
    };
    ui->m_leadUnit = builder->m_objectId;

    // Its builder selected, the placement goes on frame after frame.
    Select(builder, true);
    place();
    ui->Update(1, 0);
    ui->Update(1, 0);
    EXPECT_EQ(ui->m_mode, 1);
    EXPECT_EQ(ui->m_placeTemplate, item);
    // Deselected, the builder no longer holds it.
    Select(builder, false);
    ui->Update(1, 0);
    EXPECT_EQ(ui->m_mode, 0);
    EXPECT_EQ(ui->m_placeTemplate, nullptr);

    // A pause begun while a key is held waits for its release; then it ends
    // the placement once: one made during the same pause stays.
    Select(builder, true);
    place();
    game.paused = true;
    ui->m_mouseState.shift = 1;
    ui->Update(1, 0);
    EXPECT_EQ(ui->m_mode, 1);
    ui->m_mouseState.shift = 0;
    ui->Update(1, 0);
    EXPECT_EQ(ui->m_mode, 0);
    EXPECT_EQ(ui->m_placeTemplate, nullptr);
    place();
    ui->Update(1, 0);
    EXPECT_EQ(ui->m_mode, 1);
    game.paused = false;
    ui->Update(1, 0);
    game.paused = true;
    ui->Update(1, 0);
    EXPECT_EQ(ui->m_mode, 0);

    // The full-screen radar closes below half power, not at half.
    ui->m_fields.m_fullScreenRadar = 1;
    w.red->m_energyRatio = 0.5f;
    ui->Update(1, 0);
    EXPECT_EQ(ui->m_fields.m_fullScreenRadar, 1);
    w.red->m_energyRatio = 0.49f;
    ui->Update(1, 0);
    EXPECT_EQ(ui->m_fields.m_fullScreenRadar, 0);
}

TEST_F(HudState, AfterADisplayChangeTheMouseUpdateSkipsFramesWithoutACursorAndANewRadarEndsTheSkip) {
    CHud& hud = ui->m_hud;
    ui->m_activeGUI = 1000;
    ASSERT_TRUE(hud.UpdateMouseInfo(nullptr));
    EXPECT_STREQ(hud.m_cursorName, "Idle");
    const float time = hud.m_cursorTime;

    ui->ReleaseSurfaces();
    for (int i = 0; i < CInterface::kSkipFramesAfterDisplayChange; ++i) {
        ASSERT_TRUE(hud.UpdateMouseInfo(nullptr));
        EXPECT_STREQ(hud.m_cursorName, "") << i;
        EXPECT_EQ(hud.m_cursor, nullptr);
    }
    EXPECT_EQ(hud.m_cursorTime, time);  // nothing else of the update ran
    hud.UpdateMouseInfo(nullptr);
    EXPECT_STREQ(hud.m_cursorName, "Idle");

    ui->ReleaseSurfaces();
    hud.LoadRadar(nullptr, 0);
    hud.UpdateMouseInfo(nullptr);
    EXPECT_STREQ(hud.m_cursorName, "Idle");
}

TEST_F(HudState, BuildIconsCoverWhatTheMapOrTheKindOfGameRefusesAndStepBackPastTheLastPage) {
    CUnit* builder = w.Spawn("Granite_Constructor", 0.0f, 0.0f, w.red);
    ASSERT_NE(builder, nullptr);
    std::vector<std::unique_ptr<CGUIObject>> icons;
    for (int i = 0; i < 5; ++i) {
        icons.push_back(std::make_unique<CGUIObject>(ui.get(), nullptr, false));
        for (int c = 0; c < 3; ++c) icons.back()->AddChild(false);  // cover, picture, count
        ui->m_BuildIcons.push_back(icons.back().get());
    }
    ui->m_leadUnit = builder->m_objectId;
    ASSERT_TRUE(ui->m_hud.RefreshBuildIcons());
    const std::vector<SBuildItemView> items = ui->m_hud.m_buildItems;
    ASSERT_GE(items.size(), 2u);
    auto covered = [&](size_t icon) { return icons[icon]->m_Children[0]->m_Visible != 0; };
    EXPECT_FALSE(covered(0));
    EXPECT_FALSE(covered(1));

    // The map restricts building: what it does not allow is covered.
    CUnitTemplate* first = const_cast<CUnitTemplate*>(items[0].tmpl);
    CUnitTemplate* second = const_cast<CUnitTemplate*>(items[1].tmpl);
    w.world.Scene().m_buildRestrictionMode = 1;
    second->m_noBuildRestriction = 1;
    ASSERT_TRUE(ui->m_hud.RefreshBuildIcons());
    EXPECT_TRUE(covered(0));
    EXPECT_FALSE(covered(1));
    w.world.Scene().m_buildRestrictionMode = 0;

    // A single-player item is covered in a skirmish, not in a single game.
    first->m_singlePlayerBuild = 1;
    ASSERT_TRUE(ui->m_hud.RefreshBuildIcons());
    EXPECT_FALSE(covered(0));
    game.type = 1;
    ASSERT_TRUE(ui->m_hud.RefreshBuildIcons());
    EXPECT_TRUE(covered(0));
    first->m_singlePlayerBuild = 0;
    game.type = 0;

    // Past the last page the offset steps back by four: 9 gives 5, and the
    // icons from the first item past the list on are covered.
    const int32_t c = int32_t(items.size());
    ASSERT_LT(c - 5, 9);
    ui->m_BuildIconOffset = 9;
    ASSERT_TRUE(ui->m_hud.RefreshBuildIcons());
    EXPECT_EQ(ui->m_BuildIconOffset, 5);
    for (int32_t i = 0; i < 5; ++i) EXPECT_EQ(covered(size_t(i)), 5 + i >= c) << i;
    // On the last page it stays.
    ui->m_BuildIconOffset = std::max(0, c - 5);
    ASSERT_TRUE(ui->m_hud.RefreshBuildIcons());
    EXPECT_EQ(ui->m_BuildIconOffset, std::max(0, c - 5));
}

TEST_F(HudState, AUnitShowsItsStatusPictureSwitchedOffOrForAWhileWithoutAWayAndTheSignalItWaitsFor) {
    CUnit* tank = w.Spawn("Granite_LightTank", 0.0f, 0.0f, w.red);
    CUnit* enemy = w.Spawn("Coral_LightTank", 4.0f, 0.0f, w.blue);
    ASSERT_TRUE(tank && enemy);
    w.players->m_revealAll = 1;  // the enemy in sight
    CHud& hud = ui->m_hud;
    auto frame = [&] {
        w.world.Query().Objects(0, hud.m_objects);
        hud.DrawUnitStatusIcons(nullptr);
    };

    // A new unit is on: no picture.
    EXPECT_TRUE(View(tank).Is(SObjectView::kOn));
    frame();
    EXPECT_EQ(hud.StatusPicture(View(tank)), -1);
    // Switched off it shows so, whoever's it is; on again, not.
    Apply(NS_NOTIFYTYPE_MODE_OFF, tank);
    Apply(NS_NOTIFYTYPE_MODE_OFF, enemy);
    EXPECT_EQ(hud.StatusPicture(View(tank)), CHud::kStatusTurnedOff);
    EXPECT_EQ(hud.StatusPicture(View(enemy)), CHud::kStatusTurnedOff);
    Apply(NS_NOTIFYTYPE_MODE_ON, tank);
    EXPECT_EQ(hud.StatusPicture(View(tank)), -1);

    // A search that found no way: the picture for its time, then not,
    // though the unit still has no way; a new failure shows it again.
    tank->m_waypoints->m_noPath = 1;
    game.frame = 1.0f;
    frame();
    EXPECT_EQ(hud.StatusPicture(View(tank)), CHud::kStatusNoPath);
    EXPECT_FLOAT_EQ(hud.m_noPathTimers[tank->m_objectId], CHud::kNoPathSeconds - 1.0f);
    frame();
    frame();
    EXPECT_EQ(hud.StatusPicture(View(tank)), -1);
    frame();
    EXPECT_EQ(hud.StatusPicture(View(tank)), -1);
    tank->m_waypoints->m_noPath = 0;
    frame();
    tank->m_waypoints->m_noPath = 1;
    frame();
    EXPECT_EQ(hud.StatusPicture(View(tank)), CHud::kStatusNoPath);
    // The enemy's way is not the player's business.
    enemy->m_waypoints->m_noPath = 1;
    Apply(NS_NOTIFYTYPE_MODE_ON, enemy);
    frame();
    EXPECT_EQ(hud.StatusPicture(View(enemy)), -1);

    // The signal a unit waits for, as its label shows it.
    tank->m_waitSignal = 7;
    EXPECT_EQ(View(tank).waitSignal, 7);
}
