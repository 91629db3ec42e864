// The test double of the engine's datagram socket: a real UDP socket on
// 127.0.0.1 whose calls a test can make fail, as the recording device does for
// the display. It makes happen on demand what the operating system does only
// now and then: a read that reports an ICMP error about an earlier send
// (ECONNREFUSED), a send that finds the buffer full (EAGAIN), a broken socket.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/net/Udp.h"

class CNetSocketDouble : public CNetSocket {
public:
    // Opens the UDP socket underneath; IsOpen tells whether it worked.
    explicit CNetSocketDouble(const SNetAddress& bindTo);
    bool IsOpen() const { return m_real != nullptr; }

    // The next `times` receives fail with the errno value `err` before reading.
    void FailReceives(int err, int times = 1);
    // The next `times` sends fail with `err`; nothing leaves.
    void FailSends(int err, int times = 1);
    // The next `times` sends report success but the datagram is lost.
    void LoseSends(int times = 1);
    uint64_t GetSendCount();  // calls of Send, failed ones included

    int GetHandle() const override;
    bool GetName(SNetAddress* out, int* err) override;
    ENetIo Send(const void* data, size_t size, const SNetAddress& to, int* err) override;
    ENetIo Receive(void* buf, size_t cap, size_t* got, SNetAddress* from, int* err) override;

private:
    std::unique_ptr<CNetSocket> m_real;
    std::mutex m_lock;
    int m_receiveError = 0, m_receiveFailures = 0;
    int m_sendError = 0, m_sendFailures = 0;
    int m_sendLosses = 0;
    uint64_t m_sends = 0;
};
