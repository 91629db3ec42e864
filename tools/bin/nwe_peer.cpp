// nwe_peer: a command-line peer on the network engine, for trying the wire
// format against any other implementation of it.
//
//   nwe_peer --port P --echo [--seconds S]
//       listens on 127.0.0.1:P (0 picks a port), prints "LISTENING 127.0.0.1 <port>"
//       and sends every reliable message of ids 100..199 back to its sender.
//       A peer is made only for a valid datagram; peers whose remote never
//       confirms anything go after a few seconds, silent ones after 15 s.
//   nwe_peer --remote 127.0.0.1:P --send ID:SIZE:COUNT [--timeout S] [--interval MS]
//       sends COUNT reliable messages of SIZE bytes and id ID (all at once, or
//       one every MS milliseconds), waits for every receipt and every echo,
//       prints "ROUNDTRIP p50_us=A p99_us=B max_us=C" (send to echo) and then
//       "SUMMARY sent=N acked=N echoed=N", and exits 0 only when everything
//       arrived.
// Common: --seed N (CRC seed of both directions, default 13), --verbose.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "nwe/NWE.h"

namespace {

std::atomic<bool> g_stop{false};
void OnSignal(int) {
    g_stop.store(true);
}

class CToolEngine : public NWEEngine {
public:
    ~CToolEngine() override { Shutdown(); }
    bool m_verbose = false;
    void ReportV(const char* fmt, va_list ap) override {
        if (!m_verbose) return;
        std::vfprintf(stderr, fmt, ap);
        std::fputc('\n', stderr);
    }
};

// Peers the echo side keeps talking to (half-open ones come and go besides).
constexpr size_t kMaxEchoPeers = 64;

struct SEchoState {
    NWEMessageTypes* registry;
    uint32_t seed;
};

void EchoHandler(NWEPeer* peer, NWEMessage* m, void*) {
    peer->SendMessage(m->GetId(), m->GetData(), m->GetSize(), nullptr, 65535, 0, 0);
}

NWEPeer* AcceptPeer(NWESocket* socket, const SNetAddress& from, void* context) {
    SEchoState* s = static_cast<SEchoState*>(context);
    if (socket->GetPeerCount() - socket->GetHalfOpenCount() >= kMaxEchoPeers) return nullptr;
    NWEPeer* p = new NWEPeer(socket, s->registry, "echo");
    p->SetReceiveCrcSeed(s->seed);
    p->SetSendCrcSeed(s->seed);
    p->SetAddress(from);
    p->SetActive(true);
    return NWEEngine::GetPeer(p);
}

// Payload of message i: its index in the first four bytes, then a pattern.
void FillPayload(std::vector<uint8_t>* buf, uint32_t i) {
    for (size_t j = 0; j < buf->size(); ++j) (*buf)[j] = static_cast<uint8_t>(i * 31 + j * 7);
    if (buf->size() >= 4) NWE_Put32(buf->data(), i);
}

using SteadyClock = std::chrono::steady_clock;

struct SSendState {
    uint32_t size = 0;
    uint32_t count = 0;
    std::mutex lock;
    std::vector<bool> seen;
    std::vector<SteadyClock::time_point> sentAt;
    std::vector<double> roundTrips;  // microseconds, send to echo
    uint32_t echoed = 0;
    uint32_t bad = 0;
};

void CountEcho(NWEPeer*, NWEMessage* m, void* context) {
    SSendState* s = static_cast<SSendState*>(context);
    std::lock_guard<std::mutex> l(s->lock);
    if (m->GetSize() != s->size) {
        ++s->bad;
        return;
    }
    if (s->size < 4) {
        if (s->echoed < s->count) ++s->echoed;
        return;
    }
    if (NWE_Get32(m->GetData()) >= s->count) {
        ++s->bad;
        return;
    }
    uint32_t i = NWE_Get32(m->GetData());
    std::vector<uint8_t> expect(s->size);
    FillPayload(&expect, i);
    if (std::memcmp(expect.data(), m->GetData(), s->size) != 0) {
        ++s->bad;
        return;
    }
    if (!s->seen[i]) {
        s->seen[i] = true;
        ++s->echoed;
        s->roundTrips.push_back(
            std::chrono::duration<double, std::micro>(SteadyClock::now() - s->sentAt[i]).count());
    }
}

int Usage() {
    std::fprintf(stderr,
                 "usage: nwe_peer --port P --echo [--seconds S]\n"
                 "       nwe_peer --remote 127.0.0.1:P --send ID:SIZE:COUNT [--timeout S] [--interval MS]\n"
                 "       common: --seed N --verbose\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    long port = -1;
    bool echo = false;
    std::string remote, send;
    double seconds = 0, timeout = 30, interval = 0;
    uint32_t seed = 13;
    bool verbose = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto next = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        const char* v = nullptr;
        if (a == "--echo") {
            echo = true;
        } else if (a == "--verbose") {
            verbose = true;
        } else if ((a == "--port" || a == "--remote" || a == "--send" || a == "--seconds" ||
                    a == "--timeout" || a == "--seed" || a == "--interval") &&
                   (v = next()) != nullptr) {
            if (a == "--port") port = std::strtol(v, nullptr, 10);
            if (a == "--remote") remote = v;
            if (a == "--send") send = v;
            if (a == "--seconds") seconds = std::atof(v);
            if (a == "--timeout") timeout = std::atof(v);
            if (a == "--interval") interval = std::atof(v);
            if (a == "--seed") seed = static_cast<uint32_t>(std::strtoul(v, nullptr, 10));
        } else {
            return Usage();
        }
    }
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGPIPE, SIG_IGN);

    CToolEngine engine;
    engine.m_verbose = verbose;
    engine.SetTickThreadEnabled(1);  // the tick thread drives resends, keep-alives and time-outs

    if (echo) {
        if (port < 0 || port > 65535) return Usage();
        NWEMessageTypes registry(&engine);
        for (uint32_t id = 100; id <= 199; ++id)
            registry.Register("NWE_PEER_ECHO", id, EchoHandler, nullptr, nullptr, nullptr, nullptr, 0, 5, 0,
                              1, 0);
        NWESocket* socket = new NWESocket(&engine);
        SNetAddress bindTo{kNetLoopback, static_cast<uint16_t>(port)};
        SNetAddress name;
        if (!socket->Open(bindTo) || !socket->GetSocketName(&name)) {
            std::fprintf(stderr, "cannot listen on 127.0.0.1:%ld\n", port);
            return 1;
        }
        SEchoState state;
        state.registry = &registry;
        state.seed = seed;
        socket->SetListener(&registry, seed, AcceptPeer, &state);
        std::printf("LISTENING 127.0.0.1 %u\n", name.port);
        std::fflush(stdout);
        auto start = std::chrono::steady_clock::now();
        while (!g_stop.load()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            if (seconds > 0 &&
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() >= seconds)
                break;
        }
        // Sockets (and their peers) go with the engine; the registry must outlive them.
        if (NWESocket* s = engine.FirstSocket()) s->Close();
        return 0;
    }

    unsigned long long id = 0, size = 0, count = 0;
    char end = 0;
    SNetAddress to;
    if (remote.empty() || std::sscanf(send.c_str(), "%llu:%llu:%llu%c", &id, &size, &count, &end) != 3 ||
        id > 32767 || !Net_ParseAddress(remote, &to) || to.port == 0)
        return Usage();
    if (size > engine.GetMaxMessageSize()) {
        std::fprintf(
            stderr,
            "nwe_peer: a message of %llu bytes is larger than the largest the engine sends (%u bytes)\n",
            size, engine.GetMaxMessageSize());
        return 2;
    }
    if (count > 10000000) {
        std::fprintf(stderr, "nwe_peer: %llu messages are more than this tool keeps track of (10000000)\n",
                     count);
        return 2;
    }
    SSendState state;
    state.size = static_cast<uint32_t>(size);
    state.count = static_cast<uint32_t>(count);
    state.seen.assign(count, false);
    state.sentAt.assign(count, SteadyClock::now());
    NWEMessageTypes registry(&engine);
    registry.Register("NWE_PEER_DATA", id, CountEcho, &state, nullptr, nullptr, nullptr, 0, 5, 0, 1, 0);
    NWESocket* socket = new NWESocket(&engine);
    if (!socket->Open(SNetAddress{kNetLoopback, 0})) return 1;
    NWEPeer* peer = new NWEPeer(socket, &registry, "remote");
    peer->SetReceiveCrcSeed(seed);
    peer->SetSendCrcSeed(seed);
    peer->SetAddress(to);
    peer->SetActive(true);
    NWEList group;
    uint32_t sent = 0;
    std::vector<uint8_t> payload(size);
    auto start = SteadyClock::now();
    uint32_t echoed = 0;
    uint32_t next = 0;
    while (!g_stop.load()) {
        // All at once, or one every `interval` milliseconds.
        while (
            next < count &&
            (interval <= 0 || std::chrono::duration<double, std::milli>(SteadyClock::now() - start).count() >=
                                  interval * next)) {
            FillPayload(&payload, next);
            {
                std::lock_guard<std::mutex> l(state.lock);
                state.sentAt[next] = SteadyClock::now();
            }
            if (peer->SendMessage(static_cast<uint16_t>(id), payload.data(), static_cast<uint32_t>(size),
                                  &group, 65535, 0, 0))
                ++sent;
            ++next;
        }
        {
            std::lock_guard<std::mutex> l(state.lock);
            echoed = state.echoed;
        }
        if ((next == count && NWEQueue::IsEmpty(&group) && echoed >= count) || group.HasFailed() ||
            peer->IsTimedOut())
            break;
        if (std::chrono::duration<double>(SteadyClock::now() - start).count() >= timeout) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    uint32_t acked = static_cast<uint32_t>(group.GetDelivered());
    {
        std::lock_guard<std::mutex> l(state.lock);
        std::vector<double>& rt = state.roundTrips;
        std::sort(rt.begin(), rt.end());
        if (!rt.empty())
            std::printf("ROUNDTRIP p50_us=%.0f p99_us=%.0f max_us=%.0f\n", rt[rt.size() / 2],
                        rt[std::min(rt.size() - 1, rt.size() * 99 / 100)], rt.back());
    }
    std::printf("SUMMARY sent=%u acked=%u echoed=%u\n", sent, acked, echoed);
    std::fflush(stdout);
    socket->Destroy();
    return (sent == count && acked == count && echoed == count && state.bad == 0) ? 0 : 1;
}
