// The computer players' console rows through the game's interpreter, on a
// machine that hosts its local game: each row does what it says, and a bad
// id, race or argument gives a console line, never a crash.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "ai/AIManager.h"
#include "ai/ComputerPlayer.h"
#include "app/Game.h"
#include "app/GameClock.h"
#include "netgame/NetGame.h"
#include "tests/support/CommandConsole.h"
#include "tests/support/TempDir.h"
#include "ui/Interface.h"
#include "world/GameScene.h"
#include "world/Player.h"
#include "world/Unit.h"
#include "world/UnitTemplate.h"
#include "world/World.h"
#include "world/WorldGrid.h"

namespace {

using Lines = std::vector<std::string>;

class AICommands : public ::testing::Test {
protected:
    void SetUp() override {
        game.SetRootDir(dir.Win().c_str());
        game.SetClock(new CGameClock);
        SNWEEngineSetup setup;
        setup.threads = false;
        net = new CNetGame(game.Roles().Net(), setup);
        game.SetNetGame(net);
        game.CreateWorld(&root);
        // Two races, each with a start unit (a headquarters of its own).
        for (const char* name : {"Granite", "Coral"}) {
            CRace* race = new CRace(&net->m_players, name);
            net->m_players.m_races.insert(net->m_players.m_races.begin(), race);
            CUnitTemplate* hq = new CUnitTemplate(game.Scene(), &root, 1, nullptr);
            hq->m_projectId = 1;
            hq->m_nodeId = static_cast<uint32_t>(net->m_players.m_races.size());
            hq->m_name = (std::string(name) + "_HQ").c_str();
            race->m_startUnit = hq;
        }
        ai = new CAIManager(game.World(), net);
        game.SetAIManager(ai);
        console.Start(game);
        ASSERT_TRUE(net->IsHosting());
    }
    void TearDown() override {
        console.Stop();
        game.SetAIManager(nullptr);
        delete ai;
        game.DeleteWorld();
        delete net;
        game.SetNetGame(nullptr);
        delete game.Clock();
        game.SetClock(nullptr);
    }
    Lines Run(const char* text) { return console.Run(text); }
    int Players() const { return net->CountPlayers(); }

    CTempDir dir;
    CGame game{nullptr, "No datafile"};
    CNetGame* net = nullptr;
    CAIManager* ai = nullptr;
    CE3DFrame root{nullptr};
    CCommandConsole console;
};

}  // namespace

TEST_F(AICommands, AddAndRemoveCommanders) {
    const int before = Players();
    // With an id and a race: a computer player's player of that race, named
    // by its id, in the session.
    EXPECT_EQ(Run("AI_AddCommander(4, \"Coral\");"), Lines());
    CPlayer* p = net->FindPlayerById(4);
    ASSERT_NE(p, nullptr);
    EXPECT_STREQ(p->m_name.GetText(), "Computer 4");
    EXPECT_TRUE(p->m_computer && p->m_computerHere);
    EXPECT_STREQ(p->m_race->m_name.GetText(), "Coral");
    EXPECT_NE(ai->Find(4), nullptr);
    // Without arguments: the session's next id, the first race nobody plays
    // (the local player plays the first race).
    net->LocalPlayer()->m_race = net->m_players.FindRace("Granite");
    EXPECT_EQ(Run("AI_AddCommander();"), Lines());
    EXPECT_EQ(Players(), before + 2);
    EXPECT_EQ(ai->Count(), 2u);
    CPlayer* second = net->FindPlayerById(5);
    ASSERT_NE(second, nullptr);
    EXPECT_TRUE(second->m_computer);

    // Refusals, each a line: a taken id, an unknown race, a wrong count.
    const struct {
        const char* statement;
        const char* line;
    } refused[] = {
        {"AI_AddCommander(4, \"Granite\");", "AI_AddCommander: the player id 4 is taken"},
        {"AI_AddCommander(1, \"Granite\");", "AI_AddCommander: the player id 1 is taken"},
        {"AI_AddCommander(9, \"Martians\");", "AI_AddCommander: no race Martians"},
        {"AI_AddCommander(9);", "Error in AI_AddCommander: Wrong number of arguments"},
        {"AI_AddCommander(9, \"Coral\", 3);",
         "Error in AI_AddCommander: it takes 0 to 2 arguments, not 3. Syntax: AI_AddCommander([int Player, "
         "str "
         "Race]);"},
        {"AI_AddCommander(\"x\");",
         "Error in AI_AddCommander: argument 1, x, is not a number. Syntax: AI_AddCommander([int Player, str "
         "Race]);"},
        {"AI_RemoveCommander;", "Error in AI_RemoveCommander: To few arguments"},
        {"AI_RemoveCommander(99);", "AI_RemoveCommander: no such computer player"},
        {"AI_RemoveCommander(\"x\");",
         "Error in AI_RemoveCommander: x is not a number. Syntax: AI_RemoveCommander(int "
         "CommanderObjectGroup);"},
    };
    for (const auto& r : refused) EXPECT_EQ(Run(r.statement), Lines{r.line}) << r.statement;
    EXPECT_EQ(ai->Count(), 2u);
    EXPECT_EQ(net->FindPlayerById(9), nullptr);

    // Removed: the computer player goes at once, its player through the
    // session.
    EXPECT_EQ(Run("AI_RemoveCommander(4);"), Lines());
    EXPECT_EQ(ai->Find(4), nullptr);
    EXPECT_EQ(ai->Count(), 1u);

    // A reset of the session deletes the computer player's player; a player
    // of another machine that later takes its id is never played by it.
    net->ResetGame(true);
    EXPECT_EQ(net->FindPlayerById(5), nullptr);
    net->NewPlayer(5)->InsertSorted();
    ai->InitializeCommanders("Skerry", "");
    EXPECT_EQ(ai->Count(), 0u);
}

// Two players never share a colour: when the player takes the colour a
// computer player wears, the computer player takes the first of the server's
// colours that nobody wears (the one the player put off is free again); one
// whose colour differs keeps it.
TEST_F(AICommands, AComputerPlayerGivesUpThePlayersColour) {
    CPlayer* local = net->LocalPlayer();
    ASSERT_NE(local, nullptr);
    const float blue[3] = {40, 90, 240};
    for (int i = 0; i < 3; ++i) local->m_colour[i] = blue[i];
    ASSERT_EQ(Run("AI_AddCommander(4, \"Coral\");"), Lines());
    ASSERT_EQ(Run("AI_AddCommander(5, \"Granite\");"), Lines());
    CPlayer* a = net->FindPlayerById(4);
    CPlayer* b = net->FindPlayerById(5);
    ASSERT_TRUE(a && b);
    net->m_colors = {{220, 40, 40}, {40, 90, 240}, {40, 190, 60}, {235, 200, 30}};
    auto apart = [](const float* x, const float* y) {
        return std::fabs(x[0] - y[0]) + std::fabs(x[1] - y[1]) + std::fabs(x[2] - y[2]) >= 60.0f;
    };
    ASSERT_TRUE(apart(a->m_colour, b->m_colour) && apart(a->m_colour, blue) && apart(b->m_colour, blue));
    const float taken[3] = {a->m_colour[0], a->m_colour[1], a->m_colour[2]};
    const float kept[3] = {b->m_colour[0], b->m_colour[1], b->m_colour[2]};
    EXPECT_EQ(net->ComputersGiveUpColour(local, taken), 1);
    EXPECT_TRUE(apart(a->m_colour, taken));
    EXPECT_TRUE(apart(a->m_colour, kept));
    EXPECT_EQ(b->m_colour[0], kept[0]);
    EXPECT_EQ(b->m_colour[2], kept[2]);
    // Nothing near: nobody changes.
    const float grey[3] = {128, 128, 128};
    EXPECT_EQ(net->ComputersGiveUpColour(local, grey), 0);
}

TEST_F(AICommands, SettingsAndTheRowsThatActOnACommander) {
    EXPECT_EQ(Run("AI_Active(2); AI_Active;"),
              (Lines{"AI_Active: 2 lies outside 0 to 1; 1 is used", "AI_Active = 1"}));
    EXPECT_EQ(Run("AI_Active(0); AI_Active;"), Lines{"AI_Active = 0"});
    EXPECT_EQ(Run("AI_Debug;"), Lines{"AI_Debug( 1/0 )"});
    EXPECT_EQ(Run("AI_Debug(\"x\");"), Lines{"Error in AI_Debug: x is not a number. Syntax: AI_Debug (  )"});
    EXPECT_FALSE(ai->Debug());
    EXPECT_EQ(Run("AI_Debug(1);"), Lines());
    EXPECT_TRUE(ai->Debug());

    const std::string kColourSyntax = "AI_CommanderColor(int ObjectGroup, float r, float g, float b)";
    const struct {
        const char* statement;
        Lines lines;
    } rows[] = {
        {"AI_AttackWithCommander;", {"AI_AttackWithCommander( ObjectGroup )"}},
        {"AI_AttackWithCommander(7);", {"AI_AttackWithCommander: no such computer player"}},
        {"AI_CentreCameraToTeam;", {"Error in AI_CentreCameraToTeam: To few arguments"}},
        {"AI_CentreCameraToTeam(7);", {"AI_CentreCameraToTeam: no base of computer player 7"}},
        {"AI_CommanderColor(3, 1, 0);",
         {"Error in AI_CommanderColor: To few arguments. Syntax: " + kColourSyntax}},
        {"AI_CommanderColor(7, 1, 0, 0);",
         {"Error in AI_CommanderColor: no such player 7. Syntax: " + kColourSyntax}},
        {"AI_CommanderColor(me, 1, 0, 0);",
         {"Error in AI_CommanderColor: me is not a number. Syntax: " + kColourSyntax}},
        {"AI_Resources(1);", {}},
        {"AI_Resources(1, 2, 3);", {}},
        {"AI_Resources(7, 100);", {"AI_Resources: no such player"}},
        {"AI_ReadBuildDNA;", {"Error in AI_ReadBuildDNA: To few arguments"}},
        {"AI_StartLogBuild;", {"Error in AI_StartLogBuild: To few arguments"}},
        {"AI_ReadBuildDNA(1); AI_StartLogBuild(1); AI_Attack;", {}},
        {"SetPlayer;", {"Error in SetPlayer: To few arguments"}},
        {"SetPlayer(7);", {"SetPlayer: no such player"}},
        {"AI_Create(\"Tank\", \"\", 1.0, 0, 0);", {"Tank", "X1 invalid"}},
        {"AI_Create(\"Tank\", 1.0, 2.0, 0, 3, \"\");", {"Tank", "UID invalid"}},
        {"AI_Create(\"Tank\", 1.0, 2.0, 0, 300, 5);", {"Tank", "Layer invalid"}},
        {"AI_Create(\"Tank\", 1.0, 2.0, 0, 3, 5);", {"AI_Create: no template Tank"}},
    };
    for (const auto& r : rows) EXPECT_EQ(Run(r.statement), r.lines) << r.statement;
    // The monitor's window where no video driver can start: said, and the
    // game goes on (the window itself: monitor_window_test).
    const char* driver = std::getenv("SDL_VIDEODRIVER");
    const std::string saved = driver ? driver : "";
    setenv("SDL_VIDEODRIVER", "no-such-driver", 1);
    EXPECT_EQ(Run("AI_StartMonitor;"), Lines{"Can't create AI dialog"});
    if (driver)
        setenv("SDL_VIDEODRIVER", saved.c_str(), 1);
    else
        unsetenv("SDL_VIDEODRIVER");
    ASSERT_NE(ai->Monitor(), nullptr);
    EXPECT_FALSE(ai->Monitor()->IsOpen());

    // A commander with a base: the camera looks at it; its colour (0 to 1)
    // is asked of the session for every machine.
    ASSERT_EQ(Run("AI_AddCommander(3, \"Granite\");"), Lines());
    SAIUnits units;
    SUnitView hq;
    hq.id = 50;
    hq.ownerId = 3;
    hq.tmpl = static_cast<const CUnitTemplate*>(net->m_players.FindRace("Granite")->m_startUnit);
    hq.x = 12.0f;
    hq.z = -30.0f;
    units.all.push_back(hq);
    ai->UpdateBases(units);
    EXPECT_EQ(Run("AI_CentreCameraToTeam(3);"), Lines());
    EXPECT_FLOAT_EQ(game.Interface()->m_camera.GroundX(), 12.0f);
    EXPECT_FLOAT_EQ(game.Interface()->m_camera.GroundZ(), -30.0f);
    EXPECT_EQ(Run("AI_CommanderColor(3, 1, 0, 0.5);"), Lines());
    EXPECT_EQ(Run("AI_AttackWithCommander(3);"), Lines());

    // SetPlayer: this machine plays the player from now on.
    EXPECT_EQ(Run("SetPlayer(3);"), Lines());
    EXPECT_EQ(net->LocalPlayer(), net->FindPlayerById(3));
}

// AI_ReadInitParameters reads the difficulty's InitParameters file of the
// player's race: a spread above the default is cut to the default, a bool
// is switched by its first number, a comment skips its line.
TEST_F(AICommands, ReadInitParametersTakesTheLearningFile) {
    ASSERT_EQ(Run("AI_AddCommander(3, \"Granite\");"), Lines());
    ai->InitializeCommanders("Skerry", (dir.Win() + "\\Maps\\Skerry").c_str());
    CComputerPlayer* cp = ai->Find(3);
    ASSERT_TRUE(cp && cp->Active());
    dir.Write("AIVALUES/Granite/InitParameters0.ai",
              "// InstantAttack 1\nDefendRadius 10 20\nattackDistanceIncrement 2.5 0.5\ncheating 0 0\n");
    EXPECT_EQ(Run("AI_ReadInitParameters;"), Lines());
    const SAIParameter& defend = cp->Parameter(CComputerPlayer::kDefendRadius);
    EXPECT_EQ(defend.def, 10.0f);
    EXPECT_EQ(defend.spread, 10.0f);
    EXPECT_GE(defend.value, 0.0f);
    EXPECT_LT(defend.value, 20.0f);
    EXPECT_EQ(cp->IntParameter(CComputerPlayer::kCheating), 0);
    EXPECT_EQ(cp->Parameter(CComputerPlayer::kInstantAttack).value, 0.0f);
    const float distance = cp->Parameter(CComputerPlayer::kAttackDistanceIncrement).value;
    EXPECT_GE(distance, 2.0f);
    EXPECT_LT(distance, 3.0f);
    // The map's own file comes first (the shared one is not read then: a
    // key it lacks keeps its value); a bool's first number switches it.
    dir.Write("Maps/Skerry/AI/Granite/InitParameters0.ai", "InstantAttack 1 0\nDefendRadius 30 0\n");
    EXPECT_EQ(Run("AI_ReadInitParameters;"), Lines());
    EXPECT_EQ(cp->Parameter(CComputerPlayer::kInstantAttack).value, 1.0f);
    EXPECT_EQ(cp->IntParameter(CComputerPlayer::kDefendRadius), 30);
    EXPECT_EQ(cp->IntParameter(CComputerPlayer::kCheating), 0);
    // A bool's first number 0 does not switch it off.
    dir.Write("Maps/Skerry/AI/Granite/InitParameters0.ai", "InstantAttack 0 0\nDefendRadius 30 0\n");
    EXPECT_EQ(Run("AI_ReadInitParameters;"), Lines());
    EXPECT_EQ(cp->Parameter(CComputerPlayer::kInstantAttack).value, 1.0f);
}

// The session's reset of the game starts the computer players afresh (all
// gone, the manager active again); a unit the world releases reaches every
// computer player's danger grid through the manager the game gave the
// world.
TEST_F(AICommands, AGameResetStartsAfreshAndAReleasedUnitReachesTheDangerGrid) {
    CWorld* world = game.World();
    ASSERT_TRUE(world->Grid().SetMapRect(-64, 64, 64, -64));
    world->Grid().Reset();
    ai->InitializeCommanders("Test", "");
    ASSERT_EQ(Run("AI_AddCommander(4, \"Coral\");"), Lines());
    CComputerPlayer* cp = ai->Find(4);
    ASSERT_TRUE(cp && cp->Active());
    ASSERT_EQ(cp->Grid().Columns(), 129);

    CTessarakObjectTemplate* hq = net->m_players.FindRace("Granite")->m_startUnit;
    const float at[3] = {10.0f, 0.0f, -20.0f};
    CTessarakObject* o =
        game.Scene()->CreateObjectByClass(hq, at, net->FindPlayerById(1), game.Scene()->m_idTable.NewId());
    ASSERT_TRUE(o && o->IsUnit());
    CUnit* unit = static_cast<CUnit*>(o);
    unit->m_valueLost = 55.0f;
    unit->m_valueDestroyed = 21.0f;
    unit->Release();
    int32_t c, r;
    cp->Grid().CellOf(10.0f, -20.0f, &c, &r);
    EXPECT_EQ(cp->Grid().At(c, r), 5 - 2);

    EXPECT_EQ(Run("AI_Active(0);"), Lines());
    net->ResetGame(true);
    EXPECT_EQ(ai->Count(), 0u);
    EXPECT_EQ(ai->m_active, 1);
    // While the session is destroyed the computer players stay.
    ai->InitializeCommanders("Test", "");
    ASSERT_EQ(Run("AI_AddCommander(4, \"Coral\");"), Lines());
    ai->ResetOnGameReset(true);
    EXPECT_EQ(ai->Count(), 1u);
}
