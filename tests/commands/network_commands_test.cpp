// The network area's rows through the game's interpreter: the location
// constants, the host's game speed held to its range, chat without a text,
// the server's name written back to Server.cfg, the browser's listing and
// its rows that take an address, and the switches this area took over from
// the game's area.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/Game.h"
#include "app/GameClock.h"
#include "console/CommandInterpreter.h"
#include "netgame/MasterClient.h"
#include "netgame/NetGame.h"
#include "netgame/ServerBrowser.h"
#include "tests/support/CommandConsole.h"
#include "tests/support/TempDir.h"

namespace {

using Lines = std::vector<std::string>;

class NetworkCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        console.Start(game);
        game.SetGuiWord(1);
    }
    void TearDown() override { console.Stop(); }
    Lines Run(const char* text) { return console.Run(text); }

    CTempDir dir;
    CCommandGame session{dir.Win().c_str()};
    CGame& game = session.game;
    CNetGame* net = session.net;
    CCommandConsole console;
};

}  // namespace

TEST_F(NetworkCommandsTest, RowsOfTheArea) {
    EXPECT_EQ(Run("LOCATION_EUROPE;"), Lines({"LOCATION_EUROPE = 4"}));
    EXPECT_EQ(Run("LOCATION_EASTUS;"), Lines({"LOCATION_EASTUS = 13"}));
    EXPECT_EQ(Run("LOCATION_EUROPE(5);"), Lines({"LOCATION_EUROPE is read only"}));
    // The local game hosts: the host's rows run.
    Run("srv_GameSpeed(-1.0);");
    EXPECT_EQ(Run("srv_GameSpeed;"), Lines({"srv_GameSpeed = 0.000000"}));
    Run("srv_GameSpeed(1000000.0);");
    EXPECT_EQ(Run("srv_GameSpeed;"), Lines({"srv_GameSpeed = 99999.000000"}));
    // A speed that is no number is refused with the syntax; the speed stays.
    EXPECT_EQ(Run("srv_GameSpeed(\"fast\");"),
              Lines({"Error in srv_GameSpeed: argument 1, fast, is not a number. Syntax: "
                     "srv_GameSpeed([float Gamespeed]);"}));
    EXPECT_EQ(Run("srv_GameSpeed;"), Lines({"srv_GameSpeed = 99999.000000"}));
    EXPECT_EQ(Run("Say;"), Lines({"Error in Say: To few arguments"}));
    EXPECT_EQ(Run("Say(\"a\", \"b\", \"c\");"), Lines());
    EXPECT_EQ(Run("nw_AddAddress(\"nowhere\");"), Lines({"Not a server's address: nowhere"}));
    EXPECT_EQ(Run("nw_MasterTimeout(1);nw_MasterTimeout;"),
              Lines({"nw_MasterTimeout: 1 lies outside 5 to 120; 5 is used", "nw_MasterTimeout = 5.000000"}));
    EXPECT_EQ(Run("ChatWith;"), Lines({"ChatWith = *"}));
    EXPECT_EQ(Run("Join;"), Lines({"Join = Main Chat"}));
    // Taken over from the game's area, where their switches live.
    EXPECT_EQ(Run("ge_MainSleep(1);ge_MainSleep;"), Lines({"ge_MainSleep = true"}));
    EXPECT_EQ(game.Variables().mainSleep, 1);

    // A server added by its address is listed, and marked.
    Run("nw_AddAddress(\"10.0.0.7:47300\");nw_AddToFavourites(\"10.0.0.7:47300\");");
    Lines listed = Run("ListServers();");
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0].rfind("Address", 0), 0u);
    EXPECT_EQ(listed[1].rfind("10.0.0.7:47300", 0), 0u) << listed[1];
    ASSERT_EQ(net->m_browser->m_entries.size(), 1u);
    EXPECT_EQ(net->m_browser->m_entries[0]->m_marked, 1);
    Run("nw_FindServersThatMatch(\"isle\");");
    EXPECT_EQ(net->m_browser->m_filter.name, "isle");

    // srv_Name: the server's name, kept in Server.cfg as a line of its own.
    Run("srv_Name(\"My \\\"Server\\\"\");");
    EXPECT_EQ(Run("srv_Name;"), Lines({"srv_Name = My \"Server\""}));
    game.InputManager()->Interpreter()->SetConfigSaveEnabled(true);
    Run("SaveSettings();");
    std::ifstream in(dir.File("Scripts/Config/Server.cfg"));
    std::stringstream all;
    all << in.rdbuf();
    EXPECT_NE(all.str().find("srv_Name(\"My \\\"Server\\\"\");\r\n"), std::string::npos) << all.str();
}
