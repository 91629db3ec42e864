// The play area's commands through the game's interpreter over a world of
// demo units, as key bindings and scripts run them: the selection and the
// control groups, the forced order modes and the mouse order they give, the
// stop, kill, on/off and tow-release orders as the game messages they send
// and the world changes of the turn that brings them back, the camera's
// jumps, the map scripts' orders by map id, and one console line for each
// bad call. The physics settings are the physics engine's own.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/InputManager.h"
#include "console/CommandInterpreter.h"
#include "console/ConsoleCommand.h"
#include "core/LittleEndian.h"
#include "tests/support/CommandWorld.h"
#include "ui/Interface.h"
#include "world/GameMessages.h"
#include "world/GameScene.h"
#include "world/PhysicsEngine.h"
#include "world/Player.h"
#include "world/Unit.h"
#include "world/UnitOrder.h"
#include "world/World.h"
#include "world/WorldCommands.h"

namespace {

using Lines = std::vector<std::string>;

bool Selected(const CTessarakObject* o) {
    return (o->m_stateA & CTessarakObject::kA_Selected) != 0;
}

class PlayCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(w.Load(error)) << error;
        w.RunningGame();
        ui = w.game.Interface();
        a = w.Spawn("Granite_LightTank", -10, -10, w.local);
        b = w.Spawn("Granite_LightTank", -6, -10, w.local);
        c = w.Spawn("Granite_LightTank", -2, -10, w.local);
        h = w.Spawn("Granite_Harvester", 10, 10, w.local);
        e = w.Spawn("Coral_LightTank", 20, 20, w.enemy);
        ASSERT_TRUE(a && b && c && h && e);
    }
    Lines Run(const std::string& text) { return w.Run(text); }
    void Select(const std::vector<CUnit*>& units) { w.Select(units); }
    std::vector<CUnit*> SelectedUnits() const {
        std::vector<CUnit*> s;
        for (CUnit* u : {a, b, c, h, e})
            if (Selected(u)) s.push_back(u);
        return s;
    }

    CCommandWorld w;
    CInterface* ui = nullptr;
    CUnit *a = nullptr, *b = nullptr, *c = nullptr, *h = nullptr, *e = nullptr;
};

TEST_F(PlayCommandsTest, SelectionAndControlGroups) {
    EXPECT_EQ(Run("SelectAllUnits();"), Lines());
    EXPECT_EQ(SelectedUnits(), (std::vector<CUnit*>{a, b, c, h}));  // the enemy's stays out
    EXPECT_TRUE(ui->m_fields.m_anyUnitSelected);
    ui->m_fields.m_forcedAction = CUnitOrder::kAttack;
    Run("UnselectAll();");
    EXPECT_TRUE(SelectedUnits().empty());
    EXPECT_EQ(ui->m_fields.m_forcedAction, 0);
    EXPECT_FALSE(ui->m_fields.m_anyUnitSelected);

    // A group of two, selected back alone; a third joins it.
    Select({a, b});
    Run("GroupSelected(2); UnselectAll(); SelectGroup(2);");
    EXPECT_EQ(SelectedUnits(), (std::vector<CUnit*>{a, b}));
    Select({c});
    Run("JoinSelectedWithGroup(2); UnselectAll(); SelectGroup(2);");
    EXPECT_EQ(SelectedUnits(), (std::vector<CUnit*>{a, b, c}));
    EXPECT_EQ(c->m_group, 2);
    // Another group takes a unit from the first.
    Select({a});
    Run("GroupSelected(5); SelectGroup(2);");
    EXPECT_EQ(SelectedUnits(), (std::vector<CUnit*>{b, c}));
    // The same sort: every tank of the local player, not the harvester.
    Select({b});
    Run("SelectSameSort;");
    EXPECT_EQ(SelectedUnits(), (std::vector<CUnit*>{a, b, c}));
    ui->m_fields.m_selectionChanged = 0;
    ui->m_fields.m_forcedAction = CUnitOrder::kMove;
    Run("SelectGroup(5);");
    EXPECT_EQ(SelectedUnits(), (std::vector<CUnit*>{a}));
    EXPECT_TRUE(ui->m_fields.m_selectionChanged);
    EXPECT_EQ(ui->m_fields.m_forcedAction, 0);

    // Each bad call says what is wrong and how the command is written.
    struct SCase {
        const char* text;
        const char* line;
    };
    const SCase bad[] = {
        {"GroupSelected();", "Error in GroupSelected: To few arguments. Syntax: GroupSelected(int GroupID);"},
        {"SelectGroup(abc);", "Error in SelectGroup: Ivalid argument. Syntax: SelectGroup(int GroupID);"},
        {"SelectGroup(2x);", "Error in SelectGroup: Ivalid argument. Syntax: SelectGroup(int GroupID);"},
        {"JoinSelectedWithGroup(255);",
         "Error in JoinSelectedWithGroup: Ivalid argument (a group is 1 to 254). Syntax: "
         "JoinSelectedWithGroup(int GroupID);"},
        {"MoveCameraToGroup(0);",
         "Error in MoveCameraToGroup: Ivalid argument (a group is 1 to 254). Syntax: MoveCameraToGroup(int "
         "Group);"},
    };
    for (const SCase& k : bad) EXPECT_EQ(Run(k.text), Lines{k.line}) << k.text;
    EXPECT_EQ(SelectedUnits(), (std::vector<CUnit*>{a}));
    // Outside a running game the rows wait.
    w.game.SetGameState(1);
    EXPECT_EQ(Run("GroupSelected(1);"), Lines{"GroupSelected cannot be run at this time or gamestate"});
}

TEST_F(PlayCommandsTest, ForcedModesToggleAndGiveTheNextMouseOrder) {
    int32_t& forced = ui->m_fields.m_forcedAction;
    Run("fm_AttackMode();");  // nothing selected: no mode
    EXPECT_EQ(forced, 0);
    Select({a, b});
    Run("fm_MoveMode();");
    EXPECT_EQ(forced, (int32_t)CUnitOrder::kMove);
    Run("fm_MoveMode();");
    EXPECT_EQ(forced, 0);
    Run("fm_MoveMode(); fm_AttackMode();");
    EXPECT_EQ(forced, (int32_t)CUnitOrder::kAttack);
    Run("fm_GuardMode(); fm_TowMode(); fm_PatrolMode();");
    EXPECT_EQ(forced, (int32_t)CUnitOrder::kPatrol);
    // Repair needs a mobile builder among the selected.
    Run("fm_RepairMode();");
    EXPECT_EQ(forced, (int32_t)CUnitOrder::kPatrol);
    w.MakeUnitTemplate(
        "Mender",
        {{"Speed", "0.5"}, {"HasBuildCaps", "1"}, {"BuildPowerAdd", "5"}, {"BuildMethod", "External"}});
    CUnit* mender = w.Spawn("Mender", 0, 0, w.local);
    ASSERT_NE(mender, nullptr);
    Select({a, mender});
    Run("fm_RepairMode();");
    EXPECT_EQ(forced, (int32_t)CUnitOrder::kRepair);

    // The mode is the order of the next selecting click: a patrol to the
    // point clicked, and the mode is gone.
    Select({a, b});
    Run("fm_PatrolMode();");
    ASSERT_EQ(forced, (int32_t)CUnitOrder::kPatrol);
    ui->m_orders.IssueOrder(12, 14, 12, 14, 300, 200, 300, 200, 1, false, 0, false);
    EXPECT_EQ(forced, 0);
    for (CUnit* u : {a, b}) {
        bool toPoint = false;
        for (CUnitOrder* o = u->m_orderList->FirstChild(); o; o = o->Next())
            toPoint |= o->m_type == CUnitOrder::kPatrol && o->m_destination[0] == 12.0f &&
                       o->m_destination[2] == 14.0f;
        EXPECT_TRUE(toPoint);
    }
}

TEST_F(PlayCommandsTest, StopKillSwitchAndReleaseGoAsGameMessages) {
    // Under way: a move that the turns confirmed.
    Select({a, b});
    w.world->Commands().MoveSelected(30, -30, kCommandDirect);
    w.Turn(3);
    ASSERT_NE(a->m_runningOrder, nullptr);
    ASSERT_NE(b->m_runningOrder, nullptr);
    w.sent.clear();
    ui->m_fields.m_selectionChanged = 0;
    Run("StopSelected();");
    EXPECT_TRUE(ui->m_fields.m_selectionChanged);
    ASSERT_EQ(w.Sent(NS_NOTIFYTYPE_STOPCURRENTORDER).size(), 2u);
    EXPECT_NE(a->m_runningOrder, nullptr);  // nothing changes before the turn
    w.Turn(1, false);
    EXPECT_EQ(a->m_runningOrder, nullptr);
    EXPECT_EQ(b->m_runningOrder, nullptr);

    // On and off: a new unit is on; the first selected unit decides for all.
    w.sent.clear();
    for (CUnit* u : {a, b, c}) EXPECT_TRUE(u->m_mode & 0x80);
    Select({a, b});
    Run("OnOff();");
    ASSERT_EQ(w.Sent(NS_NOTIFYTYPE_MODE_OFF).size(), 2u);
    w.Turn(1, false);
    EXPECT_FALSE(a->m_mode & 0x80);
    EXPECT_FALSE(b->m_mode & 0x80);
    Select({c});
    Run("OnOff();");
    w.Turn(1, false);
    Select({a, b, c});  // the list's first (the newest) is c, now off
    Run("OnOff();");
    ASSERT_EQ(w.Sent(NS_NOTIFYTYPE_MODE_ON).size(), 3u);
    w.Turn(1, false);
    for (CUnit* u : {a, b, c}) EXPECT_TRUE(u->m_mode & 0x80);

    // The tow cables let go: one message per selected unit, its id.
    Select({a});
    Run("ReleaseTowConnections();");
    std::vector<CCommandWorld::SSent> release = w.Sent(NS_NOTIFYTYPE_UNIT_DISCONNECT);
    ASSERT_EQ(release.size(), 1u);
    ASSERT_EQ(release[0].data.size(), 4u);
    EXPECT_EQ(LE_LoadU32(release[0].data.data()), (uint32_t)a->m_objectId);

    // Kill: the turn destroys the unit on every machine.
    w.sent.clear();
    Select({b});
    Run("KillSelected();");
    std::vector<CCommandWorld::SSent> kill = w.Sent(NS_NOTIFYTYPE_KILLUNIT);
    ASSERT_EQ(kill.size(), 1u);
    EXPECT_EQ(LE_LoadU32(kill[0].data.data()), (uint32_t)b->m_objectId);
    EXPECT_EQ(LE_LoadU32(kill[0].data.data() + 4), 0u);
    EXPECT_TRUE(b->IsAlive());
    const int32_t id = b->m_objectId;
    w.Turn(1);
    CTessarakObject* gone = w.world->Scene().m_idTable.Find(id);
    EXPECT_TRUE(!gone || gone->Dying());
    EXPECT_TRUE(a->IsAlive());

    // Nothing selected: nothing sent.
    w.sent.clear();
    Run("UnselectAll(); KillSelected(); StopSelected(); OnOff(); ReleaseTowConnections();");
    EXPECT_TRUE(w.sent.empty());
}

TEST_F(PlayCommandsTest, CameraJumpsToTheHeadquartersScriptPointsAndGroups) {
    CGameCamera& camera = ui->m_camera;
    // No headquarters yet: the camera stays.
    camera.LookAt(1, 2);
    EXPECT_EQ(Run("MoveCameraTo(0);"), Lines());
    EXPECT_EQ(camera.GroundX(), 1.0f);
    CUnit* hq = w.Spawn("Granite_Headquarters", -30, -28, w.local);
    ASSERT_NE(hq, nullptr);
    Run("MoveCameraTo(0);");
    EXPECT_EQ(camera.GroundX(), -30.0f);
    EXPECT_EQ(camera.GroundZ(), -28.0f);
    // A script point once its turn set it.
    EXPECT_EQ(
        Run("MoveCameraTo(3);"),
        Lines{"MoveCameraTo : Specified scriptpoint is not active. Syntax: MoveCameraTo(int Position);"});
    w.world->Commands().SetScriptPoint(3, 14, -6);
    Run("MoveCameraTo(3);");
    EXPECT_EQ(camera.GroundX(), 14.0f);
    EXPECT_EQ(camera.GroundZ(), -6.0f);
    // Outside the table: not active, never read.
    EXPECT_EQ(
        Run("MoveCameraTo(255);"),
        Lines{"MoveCameraTo : Specified scriptpoint is not active. Syntax: MoveCameraTo(int Position);"});
    EXPECT_EQ(Run("MoveCameraTo(-1);"),
              Lines{"Error in MoveCameraTo: Ivalid argument (a position is 0 or a script "
                    "point). Syntax: MoveCameraTo(int Position);"});
    EXPECT_EQ(Run("MoveCameraTo();"),
              Lines{"Error in MoveCameraTo: To few arguments. Syntax: MoveCameraTo(int Position);"});
    // The mean place of a group.
    Select({a, c});
    Run("GroupSelected(4); MoveCameraToGroup(4);");
    EXPECT_EQ(camera.GroundX(), -6.0f);
    EXPECT_EQ(camera.GroundZ(), -10.0f);
}

TEST_F(PlayCommandsTest, MapScriptOrdersByMapIdAndTheirFaults) {
    a->m_mapId = 12;
    b->m_mapId = 13;
    struct SCase {
        const char* text;
        const char* line;
    };
    const SCase bad[] = {
        {"AddMoveOrder(12, 1, 0, 2);",
         "Error in AddMoveOrder: Wrong number of arguments. Syntax: AddMoveOrder [MAP_ID] [X] [Y] [Z] "
         "[FORCEMOVE]"},
        {"AddMoveOrder(x, 1, 0, 2, 0);",
         "Error in AddMoveOrder: Ivalid argument. Syntax: AddMoveOrder [MAP_ID] [X] [Y] [Z] [FORCEMOVE]"},
        {"AddMoveOrder(12, 1, y, 2, 0);",
         "Error in AddMoveOrder: Ivalid argument. Syntax: AddMoveOrder [MAP_ID] [X] [Y] [Z] [FORCEMOVE]"},
        {"AddMoveOrder(99, 1, 0, 2, 0);",
         "Error in AddMoveOrder: No unit has that map id. Syntax: AddMoveOrder [MAP_ID] [X] [Y] [Z] "
         "[FORCEMOVE]"},
        {"AddPatrolOrder(12, 1);",
         "Error in AddPatrolOrder: Wrong number of arguments. Syntax: AddPatrolOrder [MAP_ID] [X] [Z]"},
        {"AddCustomizedControl();",
         "Error in AddCustomizedControl: Wrong number of arguments. Syntax: AddCustomizedControl [MAP_ID]"},
    };
    for (const SCase& k : bad) EXPECT_EQ(Run(k.text), Lines{k.line}) << k.text;
    EXPECT_EQ(a->m_orderList->ChildCount(), 0);
    EXPECT_EQ(a->m_scriptControl, 0);
    EXPECT_EQ(Run("AddMoveOrder(12, 10.5, 1, -4, 1); AddPatrolOrder(12, 3, 4); AddCustomizedControl(13);"),
              Lines());
    ASSERT_EQ(a->m_orderList->ChildCount(), 2);
    CUnitOrder* move = a->m_orderList->LastChild();  // the first given runs first
    EXPECT_EQ(move->m_type, (uint32_t)CUnitOrder::kMove);
    EXPECT_EQ(move->m_target[0], 10.5f);
    EXPECT_EQ(static_cast<CMoveOrder*>(move)->m_force, 1);
    EXPECT_EQ(b->m_scriptControl, 1);
}

TEST_F(PlayCommandsTest, PhysicsVariablesAreTheEnginesSettings) {
    CPhysicsEngine& physics = w.world->Physics();
    Run("pe_MaxGridMemberMovement(0.5); pe_MaxTowObjectMovement(2); pe_SpringConstant(0.3);");
    EXPECT_EQ(physics.m_maxGridMemberMovement, 0.5f);
    EXPECT_EQ(physics.m_maxTowObjectMovement, 2.0f);
    EXPECT_EQ(physics.m_springConstant, 0.3f);
    Run("pe_MaxGridMemberMovement(0);");  // below its minimum of 0.001
    EXPECT_GE(physics.m_maxGridMemberMovement, 0.001f);
    CConsoleCommand* c = w.game.InputManager()->Interpreter()->GetCommand("pe_MaxTowObjectMovement");
    ASSERT_NE(c, nullptr);
    EXPECT_STREQ(c->GetDescription(), "Sets the max force movement of a gridmember");
}

}  // namespace
