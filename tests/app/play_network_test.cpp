// A game of two programs joined over UDP on 127.0.0.1: the host goes from
// the shipped start-up script's skirmish back to the lobby and hosts the
// small demo map, the other joins; the games take console commands on their
// standard input (the start, scripted orders, the read-out of the units) and
// print what they did, their worlds' sync CRCs among it.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/GameRun.h"
#include "tests/support/Installation.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"
#include "tests/support/TwoMachines.h"

namespace {

// Whether the text comes in the output after its first `from` bytes within
// the time.
bool WaitForOutputAfter(CTestProcess& game, const std::string& text, size_t from, double seconds) {
    auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (game.Output().find(text, from) == std::string::npos) {
        if (std::chrono::steady_clock::now() >= until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

// Two machines joined (Test_JoinTwoMachines), each in its own installation.
class PlayTwoMachines : public ::testing::Test {
protected:
    void SetUp() override {
        if (!Test_CopyInstallation(hostDir) || !Test_CopyInstallation(clientDir))
            FAIL() << "the game program is not built";
        std::string why;
        // The host edits its map while it plays alone (the game it hosts
        // next ends that).
        ASSERT_TRUE(Test_JoinTwoMachines(hostDir, clientDir, host, client, why, {}, "M_EditMode(1);")) << why;
    }
    CTempDir hostDir, clientDir;
    CTestProcess host, client;
};

}  // namespace

// Two programs: one hosts the demo map, the other joins over UDP; the host
// starts the game, each machine orders its own tank, and both worlds print
// the same sync CRC frame after frame.
TEST_F(PlayTwoMachines, OverUdpTheyStayInStep) {
    ASSERT_TRUE(Test_StartWhenEveryoneHoldsTheMap(host)) << host.Output();
    // Each machine's start unit at its start position, the first player's
    // on the host, the second's on the client.
    std::vector<SUnitSeen> hostUnits = Test_UnitsOnceRunning(host, 30.0);
    std::vector<SUnitSeen> clientUnits = Test_UnitsOnceRunning(client, 30.0);
    EXPECT_TRUE(Test_Near(Test_NearestUnit(hostUnits, "Granite_Headquarters", -30, -30), -30, -30))
        << host.Output();
    EXPECT_TRUE(Test_Near(Test_NearestUnit(clientUnits, "Granite_Headquarters", 30, 30), 30, 30))
        << client.Output();
    EXPECT_EQ(clientUnits.size(), 7u) << client.Output();

    // Each machine orders its own player's tank.
    host.Write("AddMoveOrder(11, -8, 0, -22, 0);\n");
    client.Write("AddMoveOrder(21, 8, 0, 22, 0);\n");
    EXPECT_TRUE(Test_WaitForUnitAt(host, "Granite_LightTank", -8.0f, -22.0f, 2.5f, 15.0)) << host.Output();
    EXPECT_TRUE(Test_WaitForUnitAt(client, "Coral_LightTank", 8.0f, 22.0f, 2.5f, 15.0)) << client.Output();

    // Every frame both printed holds the same world (a few more frames, to
    // see the orders' way to its end).
    int common = 0;
    for (int i = 0; i < 150 && common < 10; ++i) {
        std::map<int, std::string> a = Test_SyncCrcs(host.Output()), b = Test_SyncCrcs(client.Output());
        common = 0;
        for (const auto& f : a) common += b.count(f.first) ? 1 : 0;
        if (common < 10) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    std::map<int, std::string> a = Test_SyncCrcs(host.Output()), b = Test_SyncCrcs(client.Output());
    for (const auto& f : a) {
        auto other = b.find(f.first);
        if (other != b.end()) {
            EXPECT_EQ(f.second, other->second) << "frame " << f.first;
        }
    }
    EXPECT_GE(common, 10) << host.Output() << client.Output();

    // With another machine in the game the map editor's rows are refused on
    // both (the editor works where the game runs on one machine alone), and
    // the host's editing mode ended when the game started.
    EXPECT_TRUE(host.HasLine("Map editing ends: another machine shares the game")) << host.Output();
    EXPECT_FALSE(host.HasLine("M_EditMode cannot be run at this time or gamestate"));
    for (CTestProcess* game : {&host, &client}) {
        game->Write("M_EditMode(1); M_DeleteSelected();\n");
        EXPECT_TRUE(game->WaitForOutput("M_EditMode cannot be run at this time or gamestate", 15))
            << game->Output();
        EXPECT_TRUE(game->WaitForOutput("M_DeleteSelected cannot be run at this time or gamestate", 15));
    }

    client.Write("Quit();\n");
    host.Write("Quit();\n");
    EXPECT_EQ(client.Wait(30), 0) << client.Output();
    EXPECT_EQ(host.Wait(30), 0) << host.Output();
}

// A machine that cannot start the game (its unit files are gone) says so to
// the host, which calls the start off: every machine goes back to the lobby,
// and nobody waits for ever.
TEST_F(PlayTwoMachines, OneThatCannotStartSendsEveryoneBackToTheLobby) {
    std::filesystem::remove(clientDir.File("Tessarak/Units/PackedProject.VXP"));

    ASSERT_TRUE(Test_StartWhenEveryoneHoldsTheMap(host)) << host.Output();
    const char* notice = "The game could not start on Clienty; back to the lobby";
    EXPECT_TRUE(host.WaitForOutput(notice, 30)) << host.Output();
    EXPECT_TRUE(client.WaitForOutput(notice, 30)) << client.Output();
    EXPECT_NE(client.Output().find("Error starting game: the unit files did not load"), std::string::npos);
    // Both stay in the lobby: the host's next start is taken there and called
    // off the same way on both; no game loop ran, no world is left.
    const size_t hostFrom = host.Output().size(), clientFrom = client.Output().size();
    ASSERT_TRUE(Test_StartWhenEveryoneHoldsTheMap(host)) << host.Output();
    EXPECT_TRUE(WaitForOutputAfter(host, notice, hostFrom, 30)) << host.Output();
    EXPECT_TRUE(WaitForOutputAfter(client, notice, clientFrom, 30)) << client.Output();
    for (CTestProcess* game : {&host, &client}) {
        EXPECT_TRUE(Test_ReadUnits(*game).empty());
        EXPECT_EQ(game->Output().find("Sync CRC of frame"), std::string::npos) << game->Output();
        game->Write("Quit();\n");
        EXPECT_EQ(game->Wait(30), 0) << game->Output();
    }
}

// A client that leaves with Disconnect() during the game is back where a
// player goes on: it says so, runs the script of a lost connection (back to
// the main menu), takes the next command and closes when asked.
TEST_F(PlayTwoMachines, DisconnectReturnsToTheMainMenu) {
    ASSERT_TRUE(Test_StartWhenEveryoneHoldsTheMap(host)) << host.Output();
    ASSERT_FALSE(Test_UnitsOnceRunning(client, 30.0).empty()) << client.Output();
    const size_t from = client.Output().size();
    client.Write("Disconnect();\n");
    EXPECT_TRUE(WaitForOutputAfter(client, "Disconnected from the server.", from, 10)) << client.Output();
    // The game is gone, and the game loop goes on taking commands.
    EXPECT_TRUE(Test_ReadUnits(client).empty());
    client.Write("echo(\"still here\");\n");
    EXPECT_TRUE(WaitForOutputAfter(client, "still here", from, 10)) << client.Output();
    client.Write("Quit();\n");
    EXPECT_EQ(client.Wait(30), 0) << client.Output();
    host.Write("Quit();\n");
    EXPECT_EQ(host.Wait(30), 0) << host.Output();
}

// Three machines: the host resyncs while the second client stands still
// (its process stopped). The resync waits its time (srv_ResyncTimeout, here
// 6 s), drops the silent client, and the game goes on at its pace for the
// other two, in step. The seconds everyone waited are nobody's lag: taken
// for the waiting client's, they slowed the server's game to a crawl that
// never ended.
TEST_F(PlayTwoMachines, AResyncDropsASilentClientAndTheGameGoesOn) {
    CTempDir silentDir;
    CTestProcess silent;
    ASSERT_TRUE(Test_CopyInstallation(silentDir));
    silentDir.Write("Tessarak/Scripts/Autoexec.cfg", "nw_ClientPort(0);\nName(\"Silent\");\n");
    ASSERT_TRUE(Test_StartGame(silent, silentDir));
    const std::string out = host.Output();
    const size_t portAt = out.find("Server started on port ");
    ASSERT_NE(portAt, std::string::npos);
    const int port = std::atoi(out.c_str() + portAt + 23);
    for (int i = 0; i < 200 && silent.Output().find("Silent") == std::string::npos; ++i) {
        silent.Write("ListPlayers();\n");
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    silent.Write("Connect(\"127.0.0.1:" + std::to_string(port) + "\");\n");
    ASSERT_TRUE(host.WaitForOutput("Silent entered the game", 30)) << host.Output() << silent.Output();
    host.Write("srv_ResyncTimeout(6);\n");
    ASSERT_TRUE(Test_StartWhenEveryoneHoldsTheMap(host)) << host.Output();
    ASSERT_FALSE(Test_UnitsOnceRunning(client, 30.0).empty()) << client.Output();
    ASSERT_EQ(kill(silent.Pid(), SIGSTOP), 0);
    host.Write("srv_Resync();\n");
    ASSERT_TRUE(host.WaitForOutput("Silent did not answer the resync and is dropped", 30)) << host.Output();
    ASSERT_TRUE(client.WaitForOutput("Going out of sync mode", 20)) << client.Output();
    int resyncFrame = 0;
    const std::string hostOut = host.Output();
    std::sscanf(hostOut.c_str() + hostOut.find("Resyncing on frame"), "Resyncing on frame %d", &resyncFrame);
    // 150 frames in ten seconds at 15 a second: at least 100 come.
    auto newest = [](CTestProcess& game) {
        std::map<int, std::string> crcs = Test_SyncCrcs(game.Output());
        return crcs.empty() ? 0 : crcs.rbegin()->first;
    };
    for (int i = 0; i < 100 && newest(client) < resyncFrame + 100; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_GE(newest(client), resyncFrame + 100) << client.Output();
    std::map<int, std::string> a = Test_SyncCrcs(host.Output()), b = Test_SyncCrcs(client.Output());
    for (const auto& f : b)
        if (f.first > resyncFrame && a.count(f.first)) {
            EXPECT_EQ(a[f.first], f.second) << "frame " << f.first;
        }
    kill(silent.Pid(), SIGCONT);
    client.Write("Quit();\n");
    host.Write("Quit();\n");
    EXPECT_EQ(client.Wait(30), 0) << client.Output();
    EXPECT_EQ(host.Wait(30), 0) << host.Output();
    silent.Stop();
}
