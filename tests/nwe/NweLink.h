// Engines on 127.0.0.1 with a test message type that counts each delivery by
// the index in its payload; a client and a server peer between two of them.
#pragma once

#include <atomic>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>

#include "tests/nwe/NweTestKit.h"

struct SDeliveries {
    std::mutex lock;
    std::condition_variable arrived;
    std::map<uint32_t, int> byIndex;  // index -> times delivered
    std::map<uint32_t, std::vector<uint8_t>> payloads;
    int total = 0;
    static void Handler(NWEPeer*, NWEMessage* m, void* context) {
        SDeliveries* d = static_cast<SDeliveries*>(context);
        std::lock_guard<std::mutex> l(d->lock);
        uint32_t i = m->GetSize() >= 4 ? NWE_Get32(m->GetData()) : 0xFFFFFFFF;
        ++d->byIndex[i];
        d->payloads[i].assign(m->GetData(), m->GetData() + m->GetSize());
        ++d->total;
        d->arrived.notify_all();
    }
    int Total() {
        std::lock_guard<std::mutex> l(lock);
        return total;
    }
    int Count(uint32_t i) {
        std::lock_guard<std::mutex> l(lock);
        auto it = byIndex.find(i);
        return it == byIndex.end() ? 0 : it->second;
    }
    std::vector<uint8_t> Payload(uint32_t i) {
        std::lock_guard<std::mutex> l(lock);
        return payloads[i];
    }
    // For engines with their own threads: waits for the handler to have run
    // `n` times in all (false after a few seconds without).
    bool WaitForTotal(int n) {
        std::unique_lock<std::mutex> l(lock);
        return arrived.wait_for(l, std::chrono::seconds(10), [&] { return total >= n; });
    }
};

constexpr uint16_t kTestLong = 200;   // long header, reliable, direct
constexpr uint16_t kTestShort = 201;  // short header, reliable, direct

// One side: engine, socket bound to 127.0.0.1, registry, one peer.
struct SEnd {
    CTestEngine engine;
    NWEMessageTypes registry{&engine};
    NWESocket* socket = nullptr;
    NWEPeer* peer = nullptr;
    SDeliveries got;
    SNetAddress address;

    // Driven by the test on `clock`; with no clock, an engine with its own
    // threads on the real clock.
    explicit SEnd(CManualClock* clock, CNetSocket* net = nullptr) : engine(clock, clock == nullptr) {
        registry.Register("TEST_LONG", kTestLong, SDeliveries::Handler, &got, nullptr, nullptr, nullptr, 0, 5,
                          0, 1, 0);
        registry.Register("TEST_SHORT", kTestShort, SDeliveries::Handler, &got, nullptr, nullptr, nullptr, 0,
                          5, 0, 1, 1);
        socket = new NWESocket(&engine);
        if (net)
            socket->Open(net);
        else
            socket->Open(SNetAddress{kNetLoopback, 0});
        socket->GetSocketName(&address);
        if (!clock) engine.SetTickThreadEnabled(1);
    }
    NWEPeer* Connect(const SNetAddress& to, uint32_t seed = 13) {
        peer = new NWEPeer(socket, &registry, "test");
        peer->SetReceiveCrcSeed(seed);
        peer->SetSendCrcSeed(seed);
        peer->SetAddress(to);
        peer->SetActive(true);
        return peer;
    }
    bool Send(uint16_t id, uint32_t index, size_t size, NWEList* group = nullptr, uint16_t immediacy = 0) {
        std::vector<uint8_t> p = IndexedPayload(index, size);
        return peer->SendMessage(id, p.data(), static_cast<uint32_t>(p.size()), group, 65535, immediacy);
    }
    static std::vector<uint8_t> IndexedPayload(uint32_t i, size_t size) {
        std::vector<uint8_t> p(std::max<size_t>(size, 4));
        for (size_t j = 0; j < p.size(); ++j) p[j] = static_cast<uint8_t>(i * 13 + j);
        NWE_Put32(p.data(), i);
        return p;
    }
    ~SEnd() {
        if (socket) socket->Destroy();
    }
};

inline std::vector<uint8_t> IndexedPayload(uint32_t i, size_t size) {
    return SEnd::IndexedPayload(i, size);
}
