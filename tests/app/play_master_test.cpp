// Two game programs meet through the master server (tessarak_master), all
// three processes on 127.0.0.1: one hosts with StartPublicServer, the other
// finds it with FindServers and ListServers (name, map, players, ping),
// joins it from the list and plays; the host's srv_GiveResources,
// srv_GameSpeed and srv_Pause change the running game on both machines in
// step. The games take their commands on standard input.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <thread>

#include "tests/nwe/NweTestKit.h"
#include "tests/support/GameRun.h"
#include "tests/support/Installation.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"

namespace {

uint16_t FreePort() {
    CRawEndpoint probe;
    return probe.Address().port;
}

// The line of ListServers that lists the server, or "".
std::string ListedLine(const std::string& out, const char* name) {
    std::istringstream in(out);
    std::string line, last;
    while (std::getline(in, line))
        if (line.find(name) != std::string::npos && line.find("1/8") != std::string::npos) last = line;
    return last;
}

// Frames both printed: each the same world. The count compared.
int SameFrames(const std::string& a, const std::string& b, int from = 0) {
    std::map<int, std::string> x = Test_SyncCrcs(a), y = Test_SyncCrcs(b);
    int common = 0;
    for (const auto& f : x) {
        auto other = y.find(f.first);
        if (f.first < from || other == y.end()) continue;
        EXPECT_EQ(f.second, other->second) << "frame " << f.first;
        ++common;
    }
    return common;
}

int LastFrame(const std::string& out) {
    std::map<int, std::string> crcs = Test_SyncCrcs(out);
    return crcs.empty() ? 0 : crcs.rbegin()->first;
}

}  // namespace

TEST(PlayMaster, FoundThroughTheMasterJoinedAndPlayedInStep) {
    CTempDir hostDir, clientDir;
    if (!Test_CopyInstallation(hostDir) || !Test_CopyInstallation(clientDir))
        FAIL() << "the game program is not built";
    CTestProcess master;
    SProcessOptions options;
    options.program = std::string(std::getenv("TESSARAK_BUILD") ? std::getenv("TESSARAK_BUILD") : ".") +
                      "/install/System/tessarak_master";
    options.args = {"--bind", "127.0.0.1", "--port", "0"};
    ASSERT_TRUE(master.Start(options) && master.WaitForLine("LISTENING 127.0.0.1 ", 20, true))
        << master.Output();
    int masterPort = 0;
    std::sscanf(master.Output().c_str() + master.Output().find("LISTENING"), "LISTENING 127.0.0.1 %d",
                &masterPort);
    const std::string useMaster = "nw_MasterServer(\"127.0.0.1:" + std::to_string(masterPort) + "\");\n";
    const std::string port = std::to_string(FreePort());

    CTestProcess host, client;
    clientDir.Write("Tessarak/Scripts/Autoexec.cfg",
                    "ge_MainSleep(1);\nnw_ClientPort(0);\nName(\"Clienty\");\ndbg_SyncCrc(5);\n" + useMaster);
    ASSERT_TRUE(Test_WriteSkirmishStart(hostDir));
    ASSERT_TRUE(Test_StartGame(host, hostDir));
    ASSERT_FALSE(Test_UnitsOnceRunning(host, 30.0).empty()) << host.Output();
    host.Write("StartLocalServer(); ge_MainSleep(1); Name(\"Hosty\"); GameMode(GM_Multi); " + useMaster +
               "srv_Name(\"Hosty's island\"); Cheats(1); StartPublicServer(" + port +
               "); Map(\"Skerry\"); dbg_SyncCrc(5);\n");
    ASSERT_TRUE(host.WaitForOutput("Server started on port " + port, 60)) << host.Output();
    ASSERT_TRUE(host.WaitForOutput("Connection to master server established", 30)) << host.Output();

    // The other game looks for servers and lists them until the host's shows
    // with its map, players and ping.
    ASSERT_TRUE(Test_StartGame(client, clientDir));
    ASSERT_TRUE(client.WaitForOutput("Benchmark speed", 60)) << client.Output();
    client.Write("FindServers();\n");
    std::string listed;
    for (int i = 0; i < 200 && listed.empty(); ++i) {
        client.Write("ListServers();\n");
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        listed = ListedLine(client.Output(), "Hosty's island");
        // The ping is measured last: wait for it.
        if (!listed.empty() && listed.find("9999.0") != std::string::npos) listed.clear();
    }
    ASSERT_FALSE(listed.empty()) << client.Output();
    EXPECT_NE(listed.find("Skerry"), std::string::npos) << listed;
    EXPECT_EQ(listed.find("127.0.0.1:" + port), 0u) << listed;

    // Joined from the list: the address the list gave.
    client.Write("Connect(\"" + listed.substr(0, listed.find(' ')) + "\");\n");
    ASSERT_TRUE(host.WaitForOutput("Clienty entered the game", 30)) << host.Output() << client.Output();
    ASSERT_TRUE(client.WaitForOutput("Clienty entered the game", 30)) << client.Output();
    ASSERT_TRUE(Test_StartWhenEveryoneHoldsTheMap(host)) << host.Output();
    ASSERT_FALSE(Test_UnitsOnceRunning(client, 30.0).empty()) << client.Output();

    for (int i = 0;
         i < 200 && (Test_SyncCrcs(client.Output()).size() < 3 || Test_SyncCrcs(host.Output()).size() < 3);
         ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));

    // The host's gift, speed and pause reach both, and the worlds stay one.
    host.Write("srv_GiveResources(1500);\nsrv_GameSpeed(2);\nsrv_GameSpeed;\n");
    EXPECT_TRUE(host.WaitForOutput("srv_GameSpeed = 2.000000", 20)) << host.Output();
    // Paused: the host says so, and neither runs a frame more.
    host.Write("srv_Pause(1);\n");
    for (int i = 0; i < 100 && !host.HasLine("srv_Pause = true"); ++i) {
        host.Write("srv_Pause;\n");
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_TRUE(host.HasLine("srv_Pause = true")) << host.Output();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const int pausedAt = LastFrame(client.Output());
    const int hostPausedAt = LastFrame(host.Output());
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    EXPECT_EQ(LastFrame(client.Output()), pausedAt) << "the client ran on while paused";
    EXPECT_EQ(LastFrame(host.Output()), hostPausedAt) << "the host ran on while paused";
    host.Write("srv_Pause(0);\n");
    for (int i = 0; i < 200 && LastFrame(client.Output()) < pausedAt + 30; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_GE(LastFrame(client.Output()), pausedAt + 30) << client.Output();
    EXPECT_GE(SameFrames(host.Output(), client.Output()), 8) << host.Output() << client.Output();
    EXPECT_EQ(host.Output().find("Refused message"), std::string::npos) << host.Output();

    client.Write("Quit();\n");
    host.Write("Quit();\n");
    EXPECT_EQ(client.Wait(30), 0) << client.Output();
    EXPECT_EQ(host.Wait(30), 0) << host.Output();
    EXPECT_EQ(master.Stop(), 0) << master.Output();
}
