// Figures of the master server (tessarak_master, started from the build as
// a child process on 127.0.0.1) with two games of the tests' network
// machines, both paced as the game paces them (a frame every 1/60 s):
//  - Listed: from StartPublicServer on one game to its server showing in the
//    other game's list with its name, map and players (the other game looks
//    at once, and again every second until it is there), and to its ping
//    measured as well.
// The master's memory and CPU under 1,000 servers and 1,000 chat users come
// from bench/netgame/master_figures.sh (simulated games of
// tessarak_master_load). Run it with nice: the machine is shared.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

#include "netgame/MasterClient.h"
#include "netgame/ServerBrowser.h"
#include "tests/netgame/NetTestMachine.h"
#include "tests/support/Process.h"

namespace {
using Clock = std::chrono::steady_clock;

double Since(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

void BM_PublicServerToListed(benchmark::State& state) {
    for (auto _ : state) {
        CTestProcess master;
        SProcessOptions options;
        options.program = std::string(TESSARAK_BUILD_DIR) + "/install/System/tessarak_master";
        options.args = {"--bind", "127.0.0.1", "--port", "0"};
        if (!master.Start(options) || !master.WaitForLine("LISTENING 127.0.0.1 ", 20, true))
            return state.SkipWithError("no master");
        int port = 0;
        std::sscanf(master.Output().c_str() + master.Output().find("LISTENING"), "LISTENING 127.0.0.1 %d",
                    &port);
        const std::string at = "127.0.0.1:" + std::to_string(port);

        CNetSession s;
        CNetMachine* host = s.Add("host");
        CNetMachine* player = s.Add("player");
        for (CNetMachine* m : {host, player}) m->net->m_master->m_address = at.c_str();
        host->net->m_serverInfo.m_name = "Listed";
        auto paced = [&](const std::function<bool()>& done, double limit) {
            Clock::time_point begin = Clock::now();
            while (Since(begin) < limit) {
                host->Step(true);
                player->Step(true);
                if (done()) return true;
                std::this_thread::sleep_for(std::chrono::microseconds(16667));
            }
            return false;
        };
        paced([] { return false; }, 0.3);
        Clock::time_point begin = Clock::now(), nextLook = begin;
        if (!host->net->StartServer(0, false)) return state.SkipWithError("no server");
        host->net->m_master->SetPublic(true);
        double listed = -1.0;
        bool pinged = paced(
            [&] {
                CServerBrowser* b = player->net->m_browser.get();
                if (Clock::now() >= nextLook && b->m_step == 0 && b->m_requestedStep == 0) {
                    b->FindServers();
                    nextLook = Clock::now() + std::chrono::seconds(1);
                }
                for (auto& e : b->m_entries) {
                    if (e->m_name != "Listed" || !e->m_answered) continue;
                    if (listed < 0.0) listed = Since(begin);
                    return e->m_ping < 9.0f;
                }
                return false;
            },
            20.0);
        if (!pinged) return state.SkipWithError("never listed");
        state.counters["to_listed_ms"] = listed * 1000.0;
        state.counters["to_pinged_ms"] = Since(begin) * 1000.0;
        master.Stop();
    }
}
BENCHMARK(BM_PublicServerToListed)->Iterations(5)->Unit(benchmark::kMillisecond);
}  // namespace
