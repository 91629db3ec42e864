// Saved games in the game program: a skirmish on Skerry saved with
// SaveCurrentGame in an installation that cannot be written (the file goes
// to the player's own data folder), then a new run whose start continues it
// (LoadSavedGame): its units stand where they stood, the game goes on, and
// the next save takes the next number. A name that is not there is refused
// with the file's name and the start stays a new game.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/GameRun.h"
#include "tests/support/Installation.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"

namespace fs = std::filesystem;

namespace {

// The installation made read-only: where the tests run as root, the game
// runs as nobody, who may write only its home.
bool MakeReadOnly(const CTempDir& dir, bool& asNobody) {
    fs::create_directories(dir.File("home/data"));
    fs::create_directories(dir.File("home/config"));
    asNobody = geteuid() == 0;
    if (asNobody) {
        if (chmod(dir.Path().c_str(), 0755) != 0) return false;
        const std::string game = dir.File("System/Tessarak");
        const fs::path built = fs::read_symlink(game);
        fs::remove(game);
        fs::copy_file(built, game);
        return std::system(("chown -R 65534:65534 '" + dir.File("home") + "'").c_str()) == 0;
    }
    return std::system(("chmod -R a-w '" + dir.File("Tessarak") + "' '" + dir.Path() + "'").c_str()) == 0;
}

bool Start(CTestProcess& game, const CTempDir& dir, bool asNobody) {
    SProcessOptions options = Test_GameOptions(dir);
    if (asNobody) options.asUser = 65534;
    return game.Start(options);
}

}  // namespace

TEST(SavedGame, ASkirmishSavedWhereTheInstallationIsReadOnlyIsContinuedByTheNextStart) {
    CTempDir dir;
    if (!Test_CopyInstallation(dir)) FAIL() << "the game program is not built";
    // The installation's own start: a skirmish on Skerry.
    ASSERT_TRUE(
        dir.Write("Tessarak/Scripts/Autoexec.cfg",
                  "GameMode(GM_Skirmish);\nStartLocalServer();\nMap(\"Skerry\");\nAI_AddCommander();\n"
                  "AI_Active(0);\nStartGame();\n"));
    bool asNobody = false;
    ASSERT_TRUE(MakeReadOnly(dir, asNobody));
    const std::string user = "home/data/tessarak/Tessarak/";

    // A tank drives off, the game is saved.
    {
        CTestProcess game;
        ASSERT_TRUE(Start(game, dir, asNobody));
        ASSERT_EQ(Test_DriveOffAndSave(game), "");
        EXPECT_NE(game.Output().find("Game saved"), std::string::npos);
        game.Write("Quit();\n");
        EXPECT_EQ(game.Wait(30), 0) << game.Output();
    }
    EXPECT_TRUE(fs::exists(dir.File(user + "Save/Skerry (2) 1")));
    EXPECT_FALSE(fs::exists(dir.File("Tessarak/Save")));

    // The player's own start continues it; a name that is not there first.
    ASSERT_TRUE(dir.Write(user + "Scripts/Autoexec.cfg",
                          "StartLocalServer();\nLoadSavedGame(\"Nothing\");\n"
                          "LoadSavedGame(\"Skerry (2) 1\");\nStartGame();\n"));
    if (asNobody) {
        ASSERT_EQ(std::system(("chown -R 65534:65534 '" + dir.File("home") + "'").c_str()), 0);
    }
    CTestProcess game;
    ASSERT_TRUE(Start(game, dir, asNobody));
    std::vector<SUnitSeen> units = Test_UnitsOnceRunning(game, 30.0);
    ASSERT_GE(units.size(), 4u) << game.Output();
    const std::string out = game.Output();
    EXPECT_NE(out.find("Error loading saved game 'Nothing': the file is not there"), std::string::npos)
        << out;
    EXPECT_NE(out.find("The next start continues the saved game 'Skerry (2) 1' on 'Skerry'"),
              std::string::npos)
        << out;
    // The tank stands where the saved game left it, not at the map's start.
    EXPECT_TRUE(Test_Near(Test_NearestUnit(units, "Granite_LightTank", -8, -22), -8, -22, 2.5f)) << out;
    EXPECT_TRUE(Test_Near(Test_NearestUnit(units, "Granite_Headquarters", -30, -30), -30, -30)) << out;
    // It goes on: an order, and the next save's number.
    game.Write("AddMoveOrder(12, -10, 0, -10, 0);\n");
    EXPECT_TRUE(Test_WaitForUnitAt(game, "Granite_LightTank", -10.0f, -10.0f, 2.5f, 20.0)) << game.Output();
    game.Write("SaveCurrentGame;\n");
    EXPECT_TRUE(game.WaitForOutput("Saved game 'Skerry (2) 2'", 20)) << game.Output();
    game.Write("Quit();\n");
    EXPECT_EQ(game.Wait(30), 0) << game.Output();
    if (!asNobody) std::system(("chmod -R u+w '" + dir.Path() + "'").c_str());
}

// A skirmish against a computer player, saved, is continued by "Load game"'s
// own commands (LoadSavedGame, StartGame): the file is checked when the
// start names it, before the saved game's map has loaded, and the computer
// player's records (its danger grid is of that map) are taken with the rest.
TEST(SavedGame, ASkirmishAgainstAComputerPlayerIsContinued) {
    CTempDir dir;
    if (!Test_CopyInstallation(dir)) FAIL() << "the game program is not built";
    ASSERT_TRUE(dir.Write("Tessarak/Scripts/Autoexec.cfg",
                          "GameMode(GM_Skirmish);\nStartLocalServer();\nMap(\"Skerry\");\n"
                          "AI_AddCommander();\nStartGame();\n"));
    {
        CTestProcess game;
        ASSERT_TRUE(game.Start(Test_GameOptions(dir)));
        ASSERT_FALSE(Test_UnitsOnceRunning(game, 30.0).empty()) << game.Output();
        game.Write("SaveCurrentGame;\n");
        ASSERT_TRUE(game.WaitForOutput("Saved game 'Skerry (2) 1'", 30)) << game.Output();
        game.Write("Quit();\n");
        EXPECT_EQ(game.Wait(30), 0) << game.Output();
    }
    ASSERT_TRUE(dir.Write("Tessarak/Scripts/Autoexec.cfg",
                          "StartLocalServer();\nLoadSavedGame(\"Skerry (2) 1\");\nStartGame();\n"));
    CTestProcess game;
    ASSERT_TRUE(game.Start(Test_GameOptions(dir)));
    const std::vector<SUnitSeen> units = Test_UnitsOnceRunning(game, 30.0);
    const std::string out = game.Output();
    EXPECT_EQ(out.find("Error loading saved game"), std::string::npos) << out;
    EXPECT_EQ(out.find("could not start"), std::string::npos) << out;
    EXPECT_NE(out.find("The next start continues the saved game 'Skerry (2) 1' on 'Skerry'"),
              std::string::npos)
        << out;
    // The game runs on from the saved one: the player's headquarters stands.
    int headquarters = 0;
    for (const SUnitSeen& u : units) headquarters += u.name == "Granite_Headquarters" ? 1 : 0;
    EXPECT_EQ(headquarters, 1) << out;
    game.Write("Quit();\n");
    EXPECT_EQ(game.Wait(30), 0) << game.Output();
}
