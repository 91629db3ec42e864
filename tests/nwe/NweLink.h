// Two real engines on 127.0.0.1, a client and a server peer, with a test
// message type that counts each delivery by the index in its payload.
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <mutex>

#include "tests/nwe/NweTestKit.h"

struct SDeliveries {
    std::mutex lock;
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

    explicit SEnd(bool tickThread = true) {
        registry.Register("TEST_LONG", kTestLong, SDeliveries::Handler, &got, nullptr, nullptr, nullptr, 0, 5,
                          0, 1, 0);
        registry.Register("TEST_SHORT", kTestShort, SDeliveries::Handler, &got, nullptr, nullptr, nullptr, 0,
                          5, 0, 1, 1);
        socket = new NWESocket(&engine);
        socket->Open(SNetAddress{kNetLoopback, 0});
        socket->GetSocketName(&address);
        if (tickThread) engine.SetOptionC(1);
    }
    NWEPeer* Connect(const SNetAddress& to, uint32_t seed = 13) {
        peer = new NWEPeer(socket, &registry, "test");
        peer->SetReceiveCrcSeed(seed);
        peer->SetSendCrcSeed(seed);
        peer->SetAddress(to);
        peer->SetActive(true);
        return peer;
    }
    ~SEnd() {
        if (socket) socket->Destroy();
    }
};

inline std::vector<uint8_t> IndexedPayload(uint32_t i, size_t size) {
    std::vector<uint8_t> p(std::max<size_t>(size, 4));
    for (size_t j = 0; j < p.size(); ++j) p[j] = static_cast<uint8_t>(i * 13 + j);
    NWE_Put32(p.data(), i);
    return p;
}
