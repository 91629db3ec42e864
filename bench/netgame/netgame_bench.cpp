// Figures of the network game, a host and one client on 127.0.0.1, each with
// its own world (the tests' network machines):
//  - Traffic: 200 tanks (100 per player) under orders (every tank gets a new
//    move every two seconds of game time, so its way is searched and sent
//    too), 450 ticks; the bytes that go to the client and come from it per
//    second of game time at 15 ticks a second (datagrams counted with their
//    UDP headers, 8 bytes each).
//  - Join: from Connect to the client's entry in the client list and to the
//    end of its join, with both games running their frames as the game does
//    (a frame every 1/60 s, a tick every 1/15 s).
//  - Resync: a full resync of 1000 units, when the client is in step (only
//    the CRCs travel) and when every unit of the client was moved (each
//    state is asked for and sent again): from the resync frame to the end of
//    the resync on both.
// Run it with nice: the machine is shared.
#include <benchmark/benchmark.h>

#include <chrono>
#include <thread>

#include "tests/netgame/NetTestMachine.h"

namespace {
using Clock = std::chrono::steady_clock;

double Since(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

uint32_t ClientBytesOut(CNetMachine* m) {
    return m->net->GetDataOut();
}

// A host and a client in a running game with n units for each player.
struct SGame {
    CNetSession s;
    CNetMachine* host = s.Add("host");
    CNetMachine* client = s.Add("client");
    bool ok = false;
    explicit SGame(int perPlayer) {
        if (!s.JoinAll()) return;
        host->net->m_serverInfo.m_cheats = 1;
        if (!s.StartGame()) return;
        for (int i = 0; i < perPlayer; ++i) {
            float x = static_cast<float>(i % 20) * 3.0f - 30.0f, z = static_cast<float>(i / 20) * 3.0f;
            host->RequestUnit(host->tank, x, z + 5.0f, host->net->LocalPlayer()->m_ownerId);
            host->RequestUnit(host->tank, x, -z - 5.0f, client->net->LocalPlayer()->m_ownerId);
        }
        ok = s.RunUntil(
            [&] {
                return static_cast<int>(host->OwnUnits().size()) == perPlayer &&
                       static_cast<int>(client->OwnUnits().size()) == perPlayer;
            },
            60.0);
    }
};

void BM_TrafficPerClient(benchmark::State& state) {
    for (auto _ : state) {
        SGame g(100);
        if (!g.ok) return state.SkipWithError("no game");
        const int kTicks = 450;
        uint32_t hostOut = g.host->net->GetDataOut(), clientOut = ClientBytesOut(g.client);
        int start = g.client->tickCount, orders = 0;
        int nextOrders = 0;
        g.s.RunUntil(
            [&] {
                int ticks = g.client->tickCount - start;
                if (ticks >= nextOrders) {
                    // Every unit a new goal every 30 ticks: a tenth of them each 3 ticks.
                    int slice = nextOrders / 3 % 10;
                    for (CNetMachine* m : {g.host, g.client}) {
                        std::vector<CTessarakObject*> own = m->OwnUnits();
                        for (size_t i = slice; i < own.size(); i += 10) {
                            float x = static_cast<float>((i * 7 + ticks) % 100) - 50.0f;
                            float z = static_cast<float>((i * 13 + ticks) % 100) - 50.0f;
                            orders += m->OrderMove(own[i], x, z) ? 1 : 0;
                        }
                    }
                    nextOrders += 3;
                }
                return ticks >= kTicks;
            },
            120.0);
        int ticks = g.client->tickCount - start;
        double seconds = ticks / 15.0;
        state.counters["to_client_B/s"] = (g.host->net->GetDataOut() - hostOut) / seconds;
        state.counters["from_client_B/s"] = (ClientBytesOut(g.client) - clientOut) / seconds;
        state.counters["orders/s"] = orders / seconds;
        state.counters["ticks"] = ticks;
    }
}
BENCHMARK(BM_TrafficPerClient)->Iterations(1)->Unit(benchmark::kSecond);

// Both games paced as the game paces them: a frame every 1/60 s, a tick when
// a 1/15 s of game time is due.
void BM_ConnectToClientList(benchmark::State& state) {
    for (auto _ : state) {
        CNetSession s;
        CNetMachine* host = s.Add("host");
        CNetMachine* client = s.Add("client");
        if (!host->net->StartServer(0, true)) return state.SkipWithError("no server");
        SNetAddress a;
        host->net->m_gameSocket->GetSocketName(&a);
        // Run the host's lobby for a moment first.
        auto paced = [&](const std::function<bool()>& done, double limit) {
            Clock::time_point begin = Clock::now(), nextTick = begin;
            while (Since(begin) < limit) {
                bool tick = Clock::now() >= nextTick;
                if (tick) nextTick += std::chrono::microseconds(66667);
                host->Step(tick);
                client->Step(tick);
                if (done()) return true;
                std::this_thread::sleep_for(std::chrono::microseconds(16667));
            }
            return false;
        };
        paced([] { return false; }, 0.3);
        Clock::time_point begin = Clock::now();
        client->net->Connect(("127.0.0.1:" + std::to_string(a.port)).c_str());
        double listed = -1.0;
        bool joined = paced(
            [&] {
                if (listed < 0.0 && !host->FindLine("Adding client to list").empty()) listed = Since(begin);
                return client->net->IsJoined() && !client->FindLine("entered the game").empty();
            },
            20.0);
        if (!joined) return state.SkipWithError("no join");
        state.counters["to_client_list_ms"] = listed * 1000.0;
        state.counters["to_joined_ms"] = Since(begin) * 1000.0;
    }
}
BENCHMARK(BM_ConnectToClientList)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_Resync1000(benchmark::State& state) {
    const bool moved = state.range(0) != 0;
    for (auto _ : state) {
        SGame g(500);
        if (!g.ok) return state.SkipWithError("no game");
        g.s.RunUntil([&] { return g.client->tickCount > 10; });
        if (moved) {
            for (CTessarakObject* o = g.client->scene->m_allObjects; o; o = o->m_allNext)
                o->SetPosition(o->m_position[0] + 1.0f, o->m_position[1], o->m_position[2]);
        }
        size_t lines = g.client->lines.size();
        g.host->net->m_resyncCountdown = 30;
        bool started = g.s.RunUntil([&] { return g.host->net->m_resyncing != 0; }, 20.0);
        Clock::time_point begin = Clock::now();
        bool done =
            started && g.s.RunUntil(
                           [&] {
                               return g.host->net->m_syncState == 0 && g.client->net->m_syncState == 0 &&
                                      g.client->net->m_resyncing == 0 && g.client->lines.size() > lines;
                           },
                           60.0);
        if (!done) return state.SkipWithError("no resync");
        state.counters["resync_ms"] = Since(begin) * 1000.0;
        state.counters["asked_for"] = g.client->net->m_syncRequests;
    }
}
BENCHMARK(BM_Resync1000)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);
}  // namespace
