// One UDP socket of the engine and the peers that talk through it.
//
// A socket that serves unknown senders (a server's, the echo tool's) has a
// listener: a datagram from an address no peer owns is read whole first, with
// the listener's registry and CRC seed, and only a valid one makes a peer.
// Such a peer is half-open until its remote shows that it receives what we
// send (a receipt comes back); half-open peers are few (per remote address
// and in all, the oldest giving way to a newcomer) and expire after a few
// seconds, so senders that never answer cannot keep real ones out.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "nwe/AccessGuard.h"
#include "nwe/ListEntry.h"
#include "nwe/Wire.h"
#include "platform/net/Udp.h"
#include "platform/sys/Thread.h"

class NWEEngine;
class NWEPeer;
class NWEMessageTypes;

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
    std::vector<class NWEMessage*>
        messages;  // class-0 messages finished by its receipt (their peer owns them)
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

// Called for a valid datagram from an address no peer owns when the socket
// has no default peer; may create and return a peer for it (taken shared,
// its address set), or null.
typedef NWEPeer* (*NWEUnknownSourceFn)(class NWESocket* socket, const SNetAddress& from, void* context);

class NWESocket {
public:
    static constexpr float kDefaultRateCap = 8000000.0f;
    static constexpr uint32_t kBufferWord = 2097151;  // burst ceilings and the budget's cap
    static constexpr size_t kLargestPayload = 1472;   // IPv4 over Ethernet
    // Half-open peers: per remote IPv4 address, in all, and their life.
    static constexpr int kHalfOpenPerAddress = 8;
    static constexpr int kHalfOpenTotal = 64;
    static constexpr float kHalfOpenLife = 5.0f;
    // Memory of unfinished incoming messages of all peers together.
    static constexpr int64_t kDefaultPartialBudget = 64ll << 20;

    explicit NWESocket(NWEEngine* engine);
    virtual ~NWESocket();
    NWESocket(const NWESocket&) = delete;
    NWESocket& operator=(const NWESocket&) = delete;

    // Opens the UDP socket bound to the address (port 0 picks one).
    bool Open(const SNetAddress& bindTo);
    // Uses the given socket (a test double, say); the socket takes it over.
    bool Open(CNetSocket* socket);
    int GetHandle() const { return m_handle.load(); }
    bool GetSocketName(SNetAddress* out);

    // Periodic check: budget refill, half-open peers, and every peer's update.
    virtual void Check(bool fromTickThread);
    // Drains every waiting datagram and hands each to its peer; returns how
    // many were read.
    int Receive(int error);
    // Writes the header of a record and sends it within the budgets.
    bool SendData(NWEPeer* peer, SPacketRecord* record, bool force, bool unsequenced,
                  const SNetAddress* address);

    // Every peer's packet size, burst ceiling and share of the rate cap,
    // worked out afresh (sorting the demands: n log n for n peers). A new or
    // changed link only notes its own values (NoteSendParameters) and the
    // whole share is worked out again at the next check, so a link costs
    // the same however many there are.
    void UpdateSendParameters();
    void NoteSendParameters(NWEPeer* p);
    void SetRateCap(float rateCap);
    void SetSetting(float rateCap) { SetRateCap(rateCap); }
    float GetRateCap();

    void SetDefaultPeer(NWEPeer* p);
    // Serves unknown senders: a datagram valid for `registry` under the CRC
    // seed makes `fn` run for its address.
    void SetListener(NWEMessageTypes* registry, uint32_t receiveSeed, NWEUnknownSourceFn fn, void* context);
    void SetHalfOpenLimits(int perAddress, int total, float lifeSeconds);
    size_t GetHalfOpenCount();

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

    // Memory of unfinished incoming messages, all peers together, and its budget.
    int64_t GetPartialBytes() const { return m_partialBytes.load(); }
    void AddPartialBytes(int64_t delta) { m_partialBytes.fetch_add(delta); }
    int64_t GetPartialBudget() const { return m_partialBudget.load(); }
    void SetPartialBudget(int64_t bytes) { m_partialBudget.store(bytes); }

    NWEEngine* GetEngine() const { return m_engine; }
    uint32_t GetPacketsIn() const { return m_packetsIn.load(); }
    uint32_t GetPacketsOut() const { return m_packetsOut.load(); }

    NWEAccessGuard m_guard;
    // Set before the guard closes, so the receive thread lets go of it.
    std::atomic<bool> m_leaving{false};
    // Where the engine's socket list holds this socket (kept by the engine under
    // its list lock), so walking the list costs the same however long it is.
    size_t m_engineSlot = 0;

private:
    friend class NWEPeer;
    struct SHalfOpen {
        NWEPeer* peer;
        uint32_t ip;
        int64_t since;
    };
    void LinkPeer(NWEPeer* p);
    void UnlinkPeer(NWEPeer* p);
    void Rehome(NWEPeer* p, const SNetAddress& oldAddr, const SNetAddress& newAddr);
    NWEPeer* FindPeer(const SNetAddress& from);  // taken shared
    // A valid datagram from nobody we know: a new half-open peer, or null.
    NWEPeer* Admit(const uint8_t* data, size_t size, const SNetAddress& from);
    // Under the peers lock: the half-open peer at `i` goes (it is removed by the next check).
    void DropHalfOpen(size_t i);
    void ForgetHalfOpen(size_t i);
    void Unmap(NWEPeer* p);
    void ExpireHalfOpen(int64_t now);
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
    std::unique_ptr<CNetSocket> m_net;
    std::atomic<int> m_handle{-1};
    CSysCriticalSection m_peersLock;
    // The peers, newest first, linked through their m_socketPrev/m_socketNext.
    NWEPeer* m_firstPeer = nullptr;
    size_t m_peerCount = 0;
    std::unordered_set<const NWEPeer*> m_linked;  // the same peers, to ask whether one still is
    std::unordered_map<uint64_t, NWEPeer*> m_byAddress;
    // The share of the rate cap as last worked out: a peer whose demand is
    // below the level gets its demand, every other one min(level, own rate)
    // (infinite: every demand fits under the cap). Dirty when a link came,
    // went or changed since.
    float m_shareLevel = 1e30f;
    std::atomic<bool> m_shareDirty{false};
    NWERefList m_links;
    NWEListEntry* m_defaultLink = nullptr;  // names the default peer
    NWEMessageTypes* m_listenRegistry = nullptr;
    uint32_t m_listenSeed = 0;
    NWEUnknownSourceFn m_unknownFn = nullptr;
    void* m_unknownContext = nullptr;
    std::vector<SHalfOpen> m_halfOpen;  // in the order they came
    std::unordered_map<uint32_t, int> m_halfOpenByIp;
    int m_halfOpenPerAddress = kHalfOpenPerAddress;
    int m_halfOpenTotal = kHalfOpenTotal;
    float m_halfOpenLife = kHalfOpenLife;
    std::atomic<int64_t> m_partialBytes{0};
    std::atomic<int64_t> m_partialBudget{kDefaultPartialBudget};
    static constexpr int kReceiveBatch = 16;  // datagrams read in one call
    static constexpr int kDrainMost = 1024;   // datagrams read in one Receive at most
    CSysCriticalSection m_receiveLock;
    uint8_t m_receiveBuffers[kReceiveBatch * kPacketBufferSize];
    std::vector<NWEPeer*> m_touched;  // peers a drain reached (under the receive lock)
};
