// A UDP relay that impairs the traffic between two endpoints on 127.0.0.1:
// seeded loss, duplication, delay (which reorders) and bit flips, per
// direction. Tests and benchmarks of the network engine put it between two
// engines; the client talks to the relay's port as if it were the server.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

#include "platform/net/Udp.h"

struct SRelayImpairment {
    double loss = 0;       // chance a datagram is dropped
    double duplicate = 0;  // chance it is sent twice
    double delay = 0;      // chance it is held back
    int delayMinMs = 2, delayMaxMs = 6;
    double corrupt = 0;  // chance one bit is flipped where the datagram's CRC reaches
};

struct SRelayCounts {
    uint64_t forwarded = 0, dropped = 0, duplicated = 0, delayed = 0, corrupted = 0;
};

class CUdpRelay {
public:
    // Forwards between whoever sends to the relay's port and `server`.
    CUdpRelay(const SNetAddress& server, uint32_t seed);
    ~CUdpRelay();
    CUdpRelay(const CUdpRelay&) = delete;
    CUdpRelay& operator=(const CUdpRelay&) = delete;

    bool Start();
    void Stop();
    SNetAddress GetAddress() const { return m_address; }
    // Impairments of the client-to-server and server-to-client directions.
    void SetImpairment(const SRelayImpairment& toServer, const SRelayImpairment& toClient);
    // Drops everything in both directions while on (a cut cable).
    void SetBlackout(bool on) { m_blackout.store(on); }
    SRelayCounts GetCounts();

private:
    struct SImpl;
    SImpl* m_impl;
    SNetAddress m_address;
    std::atomic<bool> m_blackout{false};
};
