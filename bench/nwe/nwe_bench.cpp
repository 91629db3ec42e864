// The network engine against ENet, in the same run on 127.0.0.1:
//  - reliable messages per second, 32 and 512 bytes, 1 and 256 in flight
//    (our engine with its rate at its highest), and the processor time of the
//    whole process (every thread of both ends) per message delivered; ENet
//    twice: its server thread waiting in enet_host_service as its examples
//    do, and spinning on it as our client does (a fair match for an engine
//    whose receive thread reads on after each datagram);
//  - round trip of a 32-byte reliable message, median and 99th percentile,
//    plainly and through an impairing relay (10% loss, 5% duplication, 5%
//    delayed by 2-6 ms), counting every message exactly once;
//  - a 15-ticks-per-second frame stream through the impaired relay: how long
//    a client waits for each frame after the server closed it.
#include <benchmark/benchmark.h>
#include <enet/enet.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "nwe/NWE.h"
#include "tools/lib/UdpRelay.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr uint16_t kData = 300;
constexpr uint16_t kEcho = 301;
constexpr float kHighestRate = 1e9f;

SRelayImpairment Impaired() {
    SRelayImpairment i;
    i.loss = 0.10;
    i.duplicate = 0.05;
    i.delay = 0.05;
    i.delayMinMs = 2;
    i.delayMaxMs = 6;
    return i;
}

// Processor time of the whole process so far: both ends' threads.
double ProcessCpuSeconds() {
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Messages per second and the process's processor time per message over the
// timed loop.
void ThroughputCounters(benchmark::State& state, double delivered, double cpuSeconds) {
    state.counters["msgs_per_s"] = benchmark::Counter(delivered, benchmark::Counter::kIsRate);
    state.counters["cpu_us_per_msg"] = delivered > 0 ? cpuSeconds * 1e6 / delivered : 0.0;
}

void Percentiles(benchmark::State& state, std::vector<double> us) {
    if (us.empty()) return;
    std::sort(us.begin(), us.end());
    state.counters["p50_us"] = us[us.size() / 2];
    state.counters["p99_us"] = us[std::min(us.size() - 1, us.size() * 99 / 100)];
    state.counters["max_us"] = us.back();
}

// --- our engine ------------------------------------------------------------

struct SCounter {
    std::mutex lock;
    std::map<uint32_t, int> seen;
    std::atomic<uint32_t> received{0};
    std::atomic<int64_t> lastAt{0};  // when the handler last ran (steady clock, ns)
    static void OnData(NWEPeer*, NWEMessage* m, void* c) {
        SCounter* s = static_cast<SCounter*>(c);
        s->lastAt.store(
            std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count());
        if (m->GetSize() >= 4) {
            std::lock_guard<std::mutex> l(s->lock);
            ++s->seen[NWE_Get32(m->GetData())];
        }
        s->received.fetch_add(1);
    }
};

// The throughput server's handler, as ENet's server loop: one atomic increment.
void CountOnly(NWEPeer*, NWEMessage*, void* c) {
    static_cast<SCounter*>(c)->received.fetch_add(1, std::memory_order_relaxed);
}

void EchoBack(NWEPeer* peer, NWEMessage* m, void*) {
    peer->SendMessage(kEcho, m->GetData(), m->GetSize(), nullptr, 65535, 0);
}

struct SNwePair {
    NWEEngine serverEngine, clientEngine;
    NWEMessageTypes serverTypes{&serverEngine}, clientTypes{&clientEngine};
    NWESocket* serverSocket;
    NWESocket* clientSocket;
    NWEPeer* serverPeer;
    NWEPeer* clientPeer;
    SCounter atServer, atClient;
    std::unique_ptr<CUdpRelay> relay;

    explicit SNwePair(bool impaired, bool echo) {
        serverTypes.Register("DATA", kData, echo ? EchoBack : CountOnly, echo ? nullptr : &atServer, nullptr,
                             nullptr, nullptr, 0, 5, 0, 1, 0);
        clientTypes.Register("ECHO", kEcho, SCounter::OnData, &atClient, nullptr, nullptr, nullptr, 0, 5, 0,
                             1, 0);
        serverTypes.Register("ECHO", kEcho, nullptr, nullptr, nullptr, nullptr, nullptr, 0, 5, 0, 1, 0);
        clientTypes.Register("DATA", kData, nullptr, nullptr, nullptr, nullptr, nullptr, 0, 5, 0, 1, 0);
        serverSocket = new NWESocket(&serverEngine);
        clientSocket = new NWESocket(&clientEngine);
        serverSocket->Open(SNetAddress{kNetLoopback, 0});
        clientSocket->Open(SNetAddress{kNetLoopback, 0});
        SNetAddress s, c;
        serverSocket->GetSocketName(&s);
        clientSocket->GetSocketName(&c);
        SNetAddress clientSees = s, serverSees = c;
        if (impaired) {
            relay.reset(new CUdpRelay(s, 4242));
            relay->Start();
            relay->SetImpairment(Impaired(), Impaired());
            clientSees = serverSees = relay->GetAddress();
        }
        for (NWESocket* k : {serverSocket, clientSocket}) k->SetRateCap(kHighestRate);
        serverPeer = new NWEPeer(serverSocket, &serverTypes, "server");
        clientPeer = new NWEPeer(clientSocket, &clientTypes, "client");
        serverPeer->SetAddress(serverSees);
        clientPeer->SetAddress(clientSees);
        for (NWEPeer* p : {serverPeer, clientPeer}) {
            p->SetActive(true);
            p->SetOwnRate(kHighestRate);
            // The largest packets the engine makes (1468 bytes), as ENet's
            // default MTU of 1400 makes its.
            p->SetRequestedPacketSize(1500);
        }
        serverEngine.SetTickThreadEnabled(1);
        clientEngine.SetTickThreadEnabled(1);
        // The client reads its socket itself (Poll in its loop), as ENet's
        // client does; the server's receive thread serves it, as ENet's
        // server thread does.
        clientEngine.SetReceiveThreadEnabled(0);
    }
    ~SNwePair() { Close(); }
    // The engines' threads stop first: nothing may still be receiving when
    // the sockets, then the registries and counters their handlers use, go
    // (a receive thread that outlived them ran into freed memory when runs
    // were set up and torn down many times over).
    void Close() {
        serverEngine.Shutdown();
        clientEngine.Shutdown();
        if (relay) relay->Stop();
        if (clientSocket) clientSocket->Destroy();
        if (serverSocket) serverSocket->Destroy();
        clientSocket = serverSocket = nullptr;
    }
};

// A link that failed or a wait that never ends stops the case with an error
// instead of hanging the run.
constexpr auto kGiveUp = std::chrono::seconds(20);

void BM_NweThroughput(benchmark::State& state) {
    const uint32_t size = static_cast<uint32_t>(state.range(0));
    const int inFlight = static_cast<int>(state.range(1));
    SNwePair pair(false, false);
    NWEList group;
    std::vector<uint8_t> payload(size, 0x5A);
    int sent = 0;
    // A burst is queued and flushed once, as ENet's is.
    const uint16_t immediacy = inFlight > 1 ? 1 : 0;
    const double cpu0 = ProcessCpuSeconds();
    for (auto _ : state) {
        bool queued = false;
        while (sent - group.GetDelivered() < inFlight) {
            pair.clientPeer->SendMessage(kData, payload.data(), size, &group, 65535, immediacy);
            ++sent;
            queued = true;
        }
        if (queued && immediacy) pair.clientPeer->Flush();
        int target = sent - inFlight + 1;
        // Spins on its socket, yielding when it read nothing (the threads it
        // waits on may share its processor), as the ENet client below spins
        // on enet_host_service.
        const auto giveUp = Clock::now() + kGiveUp;
        while (group.GetDelivered() < target && !group.GetFailed() && Clock::now() < giveUp)
            if (pair.clientEngine.Poll() == 0) std::this_thread::yield();
        if (group.GetDelivered() < target) {
            state.SkipWithError("the link failed");
            break;
        }
    }
    // Receipts arrive in batches: count messages acknowledged, not iterations.
    ThroughputCounters(state, static_cast<double>(group.GetDelivered()), ProcessCpuSeconds() - cpu0);
    state.counters["failed"] = group.GetFailed();
    state.counters["resends"] = pair.clientEngine.GetResendCount();
    state.counters["dups"] = pair.serverEngine.GetDuplicateCount();
    state.counters["pkts_out"] = pair.clientEngine.GetPacketsOut();
    state.counters["pkts_back"] = pair.serverEngine.GetPacketsOut();
}

void BM_NweRoundTrip(benchmark::State& state) {
    bool impaired = state.range(0) != 0;
    SNwePair pair(impaired, true);
    std::vector<double> us;
    std::vector<uint8_t> payload(32, 0);
    uint32_t i = 0;
    for (auto _ : state) {
        NWE_Put32(payload.data(), i);
        auto t0 = Clock::now();
        uint32_t before = pair.atClient.received.load();
        pair.clientPeer->SendMessage(kData, payload.data(), 32, nullptr, 65535, 0);
        // Spins on its own socket, as the ENet client below spins on its host.
        const auto giveUp = t0 + kGiveUp;
        while (pair.atClient.received.load() == before && Clock::now() < giveUp)
            if (pair.clientEngine.Poll() == 0) std::this_thread::yield();
        if (pair.atClient.received.load() == before) {
            state.SkipWithError("no echo");
            break;
        }
        // Delivered when its handler ran (the receipt that follows is not part of it).
        Clock::time_point at{std::chrono::nanoseconds(pair.atClient.lastAt.load())};
        us.push_back(std::chrono::duration<double, std::micro>(at - t0).count());
        ++i;
    }
    Percentiles(state, us);
    // Every echo exactly once.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    int wrong = 0;
    {
        std::lock_guard<std::mutex> l(pair.atClient.lock);
        for (uint32_t k = 0; k < i; ++k) wrong += pair.atClient.seen[k] != 1;
    }
    state.counters["not_exactly_once"] = wrong;
}

// A lockstep stream: every 1/15 s the server sends two framed orders and
// closes the frame; the client executes frames as they complete.
void BM_NweFrameStream(benchmark::State& state) {
    SNwePair pair(true, false);
    // The client looks at its frames, not its socket: its receive thread reads.
    pair.clientEngine.SetReceiveThreadEnabled(1);
    NWEFrameTable serverTable(&pair.serverEngine), clientTable(&pair.clientEngine);
    NWEQueue clientQueue;
    serverTable.SetAnnouncing(true);
    pair.serverTypes.Register("FRAME", 1, nullptr, nullptr, nullptr, &serverTable, nullptr, 0, 2, 1, 1, 1);
    pair.serverTypes.Register("ORDER", 134, nullptr, nullptr, nullptr, &serverTable, nullptr, 0, 5, 0, 0, 0);
    pair.clientTypes.Register("FRAME", 1, nullptr, nullptr, nullptr, &clientTable, nullptr, 0, 2, 1, 1, 1);
    pair.clientTypes.Register("ORDER", 134, nullptr, nullptr, &clientQueue, &clientTable, nullptr, 0, 5, 0, 0,
                              0);
    pair.clientPeer->SetFrameSync(true);
    pair.serverPeer->SetFrameSync(true);
    serverTable.AddPeer(pair.serverPeer);
    const auto period = std::chrono::microseconds(1000000 / 15);
    std::vector<double> waits;
    std::vector<uint8_t> order(40, 7);
    for (auto _ : state) {
        uint16_t frame = serverTable.GetCurrentNumber();
        for (int k = 0; k < 2; ++k) {
            pair.serverPeer->SendMessage(134, order.data(), 40, nullptr, 65535, 0, 65535, frame);
            NWEFrame* f = serverTable.Current();
            f->IncReceived();
            serverTable.Release(f);
        }
        auto closed = Clock::now();
        serverTable.Process();
        const auto giveUp = Clock::now() + kGiveUp;
        for (;;) {
            if (Clock::now() > giveUp) break;
            NWEFrame* f = clientTable.TryCurrent();
            bool done = f && f->IsComplete();
            if (done) NWEPeer::ProcessIncoming(f, &clientQueue);
            clientTable.Release(f);
            if (done) {
                clientTable.Process();
                break;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        auto now = Clock::now();
        waits.push_back(std::chrono::duration<double, std::micro>(now - closed).count());
        if (now - closed < period) std::this_thread::sleep_for(period - (now - closed));
    }
    Percentiles(state, waits);
    state.counters["tick_us"] = 1e6 / 15;
    // The frame tables and the queue go before the pair: its threads first.
    pair.Close();
}

// --- ENet --------------------------------------------------------------------

struct SEnetPair {
    ENetHost* server = nullptr;
    ENetHost* client = nullptr;
    ENetPeer* peer = nullptr;
    std::thread serverThread;
    std::atomic<bool> stop{false};
    std::atomic<uint32_t> serverReceived{0};
    std::unique_ptr<CUdpRelay> relay;
    std::mutex lock;
    std::map<uint32_t, int> seenAtClient;

    // spin: the server thread polls without waiting (timeout 0) instead of
    // waiting up to 1 ms in the service call.
    SEnetPair(bool impaired, bool echo, bool spin = false) {
        static bool initialised = enet_initialize() == 0;
        (void)initialised;
        ENetAddress a;
        enet_address_set_host(&a, "127.0.0.1");
        a.port = 0;
        server = enet_host_create(&a, 4, 1, 0, 0);
        ENetAddress bound;
        enet_socket_get_address(server->socket, &bound);
        client = enet_host_create(nullptr, 1, 1, 0, 0);
        ENetAddress target = bound;
        if (impaired) {
            relay.reset(new CUdpRelay(SNetAddress{kNetLoopback, bound.port}, 4242));
            relay->Start();
            relay->SetImpairment(Impaired(), Impaired());
            target.port = relay->GetAddress().port;
        }
        serverThread = std::thread([this, echo, spin] {
            ENetEvent ev;
            const enet_uint32 wait = spin ? 0 : 1;
            while (!stop.load()) {
                while (enet_host_service(server, &ev, wait) > 0) {
                    if (ev.type != ENET_EVENT_TYPE_RECEIVE) continue;
                    serverReceived.fetch_add(1);
                    if (echo) {
                        enet_peer_send(ev.peer, 0,
                                       enet_packet_create(ev.packet->data, ev.packet->dataLength,
                                                          ENET_PACKET_FLAG_RELIABLE));
                        enet_host_flush(server);
                    }
                    enet_packet_destroy(ev.packet);
                }
            }
        });
        peer = enet_host_connect(client, &target, 1, 0);
        ENetEvent ev;
        auto end = Clock::now() + std::chrono::seconds(5);
        while (Clock::now() < end)
            if (enet_host_service(client, &ev, 10) > 0 && ev.type == ENET_EVENT_TYPE_CONNECT) {
                connected = true;
                break;
            }
    }
    bool connected = false;
    ~SEnetPair() {
        stop.store(true);
        serverThread.join();
        if (relay) relay->Stop();
        enet_host_destroy(client);
        enet_host_destroy(server);
    }
};

std::atomic<uint64_t> g_enetAcked{0};
void OnEnetPacketFreed(ENetPacket*) {
    g_enetAcked.fetch_add(1);
}

void BM_EnetThroughput(benchmark::State& state) {
    const size_t size = static_cast<size_t>(state.range(0));
    const uint64_t inFlight = static_cast<uint64_t>(state.range(1));
    const bool spin = state.range(2) != 0;
    SEnetPair pair(false, false, spin);
    if (!pair.connected) return state.SkipWithError("ENet did not connect");
    std::vector<uint8_t> payload(size, 0x5A);
    g_enetAcked.store(0);
    uint64_t sent = 0;
    ENetEvent ev;
    const double cpu0 = ProcessCpuSeconds();
    for (auto _ : state) {
        while (sent - g_enetAcked.load() < inFlight) {
            ENetPacket* p = enet_packet_create(payload.data(), size, ENET_PACKET_FLAG_RELIABLE);
            p->freeCallback = OnEnetPacketFreed;
            enet_peer_send(pair.peer, 0, p);
            ++sent;
        }
        enet_host_flush(pair.client);
        uint64_t target = sent - inFlight + 1;
        const auto giveUp = Clock::now() + kGiveUp;
        while (g_enetAcked.load() < target && Clock::now() < giveUp) {
            while (enet_host_service(pair.client, &ev, 0) > 0)
                if (ev.type == ENET_EVENT_TYPE_RECEIVE) enet_packet_destroy(ev.packet);
            if (g_enetAcked.load() < target) std::this_thread::yield();
        }
        if (g_enetAcked.load() < target) {
            state.SkipWithError("ENet's link failed");
            break;
        }
    }
    ThroughputCounters(state, static_cast<double>(g_enetAcked.load()), ProcessCpuSeconds() - cpu0);
    state.SetLabel(spin ? "server spinning" : "server waiting");
}

void BM_EnetRoundTrip(benchmark::State& state) {
    bool impaired = state.range(0) != 0;
    SEnetPair pair(impaired, true);
    if (!pair.connected) return state.SkipWithError("ENet did not connect");
    std::vector<double> us;
    std::vector<uint8_t> payload(32, 0);
    uint32_t i = 0;
    std::map<uint32_t, int> seen;
    ENetEvent ev;
    for (auto _ : state) {
        NWE_Put32(payload.data(), i);
        auto t0 = Clock::now();
        enet_peer_send(pair.peer, 0, enet_packet_create(payload.data(), 32, ENET_PACKET_FLAG_RELIABLE));
        enet_host_flush(pair.client);
        bool got = false;
        const auto giveUp = t0 + kGiveUp;
        while (!got && Clock::now() < giveUp) {
            while (enet_host_service(pair.client, &ev, 0) > 0) {
                if (ev.type != ENET_EVENT_TYPE_RECEIVE) continue;
                ++seen[NWE_Get32(ev.packet->data)];
                got = NWE_Get32(ev.packet->data) == i || got;
                enet_packet_destroy(ev.packet);
            }
            if (!got) std::this_thread::yield();
        }
        if (!got) {
            state.SkipWithError("no echo from ENet");
            break;
        }
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
        ++i;
    }
    Percentiles(state, us);
    int wrong = 0;
    for (uint32_t k = 0; k < i; ++k) wrong += seen[k] != 1;
    state.counters["not_exactly_once"] = wrong;
}

}  // namespace

// Each measure of ours next to ENet's. The machine is shared: run with
// --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true and
// compare the medians.
// ENet's third argument: 0 its server waits in the service call, 1 it spins.
BENCHMARK(BM_NweThroughput)->Args({32, 1})->UseRealTime()->MinTime(0.5);
BENCHMARK(BM_EnetThroughput)->Args({32, 1, 0})->Args({32, 1, 1})->UseRealTime()->MinTime(0.5);
BENCHMARK(BM_NweThroughput)->Args({32, 256})->UseRealTime()->MinTime(0.5);
BENCHMARK(BM_EnetThroughput)->Args({32, 256, 0})->Args({32, 256, 1})->UseRealTime()->MinTime(0.5);
BENCHMARK(BM_NweThroughput)->Args({512, 1})->UseRealTime()->MinTime(0.5);
BENCHMARK(BM_EnetThroughput)->Args({512, 1, 0})->Args({512, 1, 1})->UseRealTime()->MinTime(0.5);
BENCHMARK(BM_NweThroughput)->Args({512, 256})->UseRealTime()->MinTime(0.5);
BENCHMARK(BM_EnetThroughput)->Args({512, 256, 0})->Args({512, 256, 1})->UseRealTime()->MinTime(0.5);
BENCHMARK(BM_NweRoundTrip)->Arg(0)->Arg(1)->Iterations(5000)->UseRealTime();
BENCHMARK(BM_EnetRoundTrip)->Arg(0)->Arg(1)->Iterations(5000)->UseRealTime();
BENCHMARK(BM_NweFrameStream)->Iterations(150)->UseRealTime();
