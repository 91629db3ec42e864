#include "tests/support/TwoMachines.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "tests/support/GameRun.h"

namespace {

// A UDP port free on this machine now.
uint16_t FreePort() {
    int s = socket(AF_INET, SOCK_DGRAM, 0);
    if (s < 0) return 0;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t n = sizeof a;
    uint16_t port = 0;
    if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        getsockname(s, reinterpret_cast<sockaddr*>(&a), &n) == 0)
        port = ntohs(a.sin_port);
    close(s);
    return port;
}

}  // namespace

bool Test_JoinTwoMachines(const CTempDir& hostDir, const CTempDir& clientDir, CTestProcess& host,
                          CTestProcess& client, std::string& why,
                          const std::vector<std::pair<std::string, std::string>>& hostEnv,
                          const std::string& hostAlone) {
    const std::string port = std::to_string(FreePort());
    clientDir.Write("Tessarak/Scripts/Autoexec.cfg",
                    "ge_MainSleep(1);\nnw_ClientPort(0);\nName(\"Clienty\");\ndbg_SyncCrc(5);\n");
    if (!Test_WriteSkirmishStart(hostDir)) return why = "no start-up script for the host", false;
    if (!Test_StartGame(host, hostDir, hostEnv)) return why = "the host did not start", false;
    if (Test_UnitsOnceRunning(host, 30.0).empty())
        return why = "no skirmish on the host\n" + host.Output(), false;
    if (!hostAlone.empty()) host.Write(hostAlone + "\n");
    host.Write("StartLocalServer(); ge_MainSleep(1); Name(\"Hosty\"); GameMode(GM_Multi); StartServer(" +
               port + "); Map(\"Skerry\"); dbg_SyncCrc(5);\n");
    if (!host.WaitForOutput("Server started on port " + port, 60))
        return why = "the server did not start\n" + host.Output(), false;
    if (!Test_StartGame(client, clientDir)) return why = "the client did not start", false;
    // The client's name has gone through its own game before it joins.
    for (int i = 0; i < 200 && client.Output().find("Clienty") == std::string::npos; ++i) {
        client.Write("ListPlayers();\n");
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    client.Write("Connect(\"127.0.0.1:" + port + "\");\n");
    if (!host.WaitForOutput("Clienty entered the game", 30) ||
        !client.WaitForOutput("Clienty entered the game", 30))
        return why = "the client did not join\n" + host.Output() + client.Output(), false;
    return true;
}
