// One UDP socket of the engine and the peers that talk through it.
#pragma once

#include <atomic>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "nwe/AccessGuard.h"
#include "nwe/Wire.h"
#include "platform/net/Udp.h"
#include "platform/sys/Thread.h"

class NWEEngine;
class NWEPeer;

// A packet under construction, or sent and waiting for its receipt.
struct SPacketRecord {
    uint8_t buffer[kPacketBufferSize];
    size_t length = kPacketHeaderReserve;  // bytes used, counted from the buffer's start
    uint16_t count = 0;                    // messages in it
    uint32_t sequence = 0;                 // 0: none yet
    bool receiptWanted = false;
    uint8_t tries = kInitialTries;
    int64_t firstSent = 0;  // engine ticks of the first send
    int64_t lastSent = 0;
    int64_t resendTime = 0;
    int64_t timeout = 0;  // current resend time-out in ticks (doubles per resend)
    bool raw = false;     // one-off send to `rawTo`
    SNetAddress rawTo;
    std::vector<std::shared_ptr<class NWEMessage>> messages;  // class-0 messages finished by its receipt
    void Reset() {
        length = kPacketHeaderReserve;
        count = 0;
        sequence = 0;
        receiptWanted = false;
        tries = kInitialTries;
        firstSent = lastSent = resendTime = timeout = 0;
        raw = false;
        rawTo = SNetAddress();
        messages.clear();
    }
};

// Called for a datagram from an address no peer owns when the socket has no
// default peer; may create and return a peer for it (taken shared), or null.
typedef NWEPeer* (*NWEUnknownSourceFn)(class NWESocket* socket, const SNetAddress& from, void* context);

class NWESocket {
public:
    static constexpr float kDefaultRateCap = 8000000.0f;
    static constexpr uint32_t kBufferWord = 2097151;  // burst ceilings and the budget's cap
    static constexpr size_t kLargestPayload = 1472;   // IPv4 over Ethernet

    explicit NWESocket(NWEEngine* engine);
    virtual ~NWESocket();
    NWESocket(const NWESocket&) = delete;
    NWESocket& operator=(const NWESocket&) = delete;

    // Opens the UDP socket bound to the address (port 0 picks one).
    bool Open(const SNetAddress& bindTo);
    int GetHandle() const { return m_handle.load(); }
    bool GetSocketName(SNetAddress* out);

    // Periodic check: budget refill and every peer's update.
    virtual void Check(bool fromTickThread);
    // Drains every waiting datagram and hands each to its peer; returns how
    // many were read.
    int Receive(int error);
    // Writes the header of a record and sends it (see the peer for the budgets).
    bool SendData(NWEPeer* peer, SPacketRecord* record, bool force, bool unsequenced,
                  const SNetAddress* address);

    void UpdateSendParameters();
    void SetSetting(float rateCap);
    float GetRateCap();

    void SetDefaultPeer(NWEPeer* p);
    void SetUnknownSourceHandler(NWEUnknownSourceFn fn, void* context);

    NWEPeer* FirstPeer();
    NWEPeer* NextPeer(NWEPeer* p);  // releases p
    void ReleasePeer(NWEPeer* p);
    size_t GetPeerCount();

    void MarkForClosing();
    bool IsMarkedForClosing();
    // Closes from a shared reference and destroys the socket.
    void Close();
    // Closes without holding a reference (the owner's shutdown) and destroys it.
    void Destroy();

    NWEEngine* GetEngine() const { return m_engine; }
    uint32_t GetPacketsIn() const { return m_packetsIn.load(); }
    uint32_t GetPacketsOut() const { return m_packetsOut.load(); }

    NWEAccessGuard m_guard;
    // Set before the guard closes, so the receive thread lets go of it.
    std::atomic<bool> m_leaving{false};

private:
    friend class NWEPeer;
    void LinkPeer(NWEPeer* p);
    void UnlinkPeer(NWEPeer* p);
    void Rehome(NWEPeer* p, const SNetAddress& oldAddr, const SNetAddress& newAddr);
    NWEPeer* FindPeer(const SNetAddress& from);  // taken shared
    void RefillBudget(int64_t now);
    void ClosePeer(NWEPeer* p);

    NWEEngine* m_engine;
    CSysCriticalSection m_optionsLock;
    bool m_markedForClosing = false;
    float m_rateCap = kDefaultRateCap;
    float m_shareFactor = 1.0f;
    CSysCriticalSection m_sendLock;
    float m_budget = 5000.0f;
    int64_t m_lastRefill = 0;
    std::atomic<uint32_t> m_packetsIn{0}, m_packetsOut{0};
    float m_bytesIn = 0, m_bytesOut = 0;
    std::atomic<int> m_handle{-1};
    CSysCriticalSection m_peersLock;
    std::vector<NWEPeer*> m_peers;
    std::unordered_map<uint64_t, NWEPeer*> m_byAddress;
    NWEPeer* m_defaultPeer = nullptr;
    NWEUnknownSourceFn m_unknownFn = nullptr;
    void* m_unknownContext = nullptr;
    CSysCriticalSection m_receiveLock;
    uint8_t m_receiveBuffer[kPacketBufferSize];
};
