// The engine root: sockets, registries, clock, statistics and threads.
#pragma once

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <vector>

#include "nwe/AccessGuard.h"
#include "nwe/Clock.h"
#include "nwe/Message.h"
#include "nwe/MessageTypes.h"
#include "nwe/Pool.h"
#include "nwe/SystemMessages.h"
#include "platform/net/Udp.h"
#include "platform/sys/Thread.h"

class NWESocket;
class NWEPeer;
class NWEFrameTable;
class NWEListEntry;
struct SPacketRecord;

// How an engine runs. The game's engine owns its two threads and reads the
// performance counter; a test drives an engine itself: no threads (it calls
// Poll and Tick) and a clock it sets.
struct SNWEEngineSetup {
    bool threads = true;
    NWECounterFn clock = nullptr;  // null: the performance counter
    void* clockContext = nullptr;
};

class NWEEngine {
public:
    explicit NWEEngine(const SNWEEngineSetup& setup = SNWEEngineSetup());
    // A derived engine calls Shutdown first in its own destructor: the threads
    // call virtual functions (Tick, Report) and must be gone before the derived
    // part is.
    virtual ~NWEEngine();
    // Stops the receive and tick threads (once; later calls do nothing).
    void Shutdown();
    NWEEngine(const NWEEngine&) = delete;
    NWEEngine& operator=(const NWEEngine&) = delete;

    // Error and trace reports (printf-style). Empty here; the game prints them.
    virtual void Report(const char* fmt, ...);
    virtual void ReportV(const char* fmt, va_list ap);
    // Periodic work: budgets, packing, resends, time-outs, closing marked sockets.
    virtual void Tick(bool fromTickThread);

    // Reads whatever datagrams wait on every socket now, on the calling thread,
    // beside the receive thread (a loop that spins on its network wants its
    // answers without a thread hand-over). With nothing waiting it waits up to
    // `waitMs` for a datagram. Returns the datagrams read.
    int Poll(int waitMs = 0);

    void Lock() { m_engineLock.Enter(); }
    void Unlock() { m_engineLock.Leave(); }

    void ResetStatistics();
    uint32_t GetDataOut();
    uint32_t GetDataIn();
    uint32_t GetPacketsIn();
    uint32_t GetPacketsOut();
    uint32_t GetDuplicateCount() const { return m_duplicates.load(); }
    uint32_t GetResendCount() const { return m_resends.load(); }
    uint32_t GetRejectedCount() const { return m_rejected.load(); }

    // Tick-thread mode: 1, the tick thread does the full work every 20 ms; 0,
    // the caller's Tick(0) does and the thread only checks every 1000 ms.
    void SetTickThreadMode(uint8_t v);
    uint8_t GetTickThreadMode();
    // Whether Tick closes the sockets marked for closing.
    void SetCloseMarkedSockets(uint8_t v);
    uint8_t GetCloseMarkedSockets();
    // Whether the tick thread calls Tick at all.
    void SetTickThreadEnabled(uint8_t v);
    uint8_t GetTickThreadEnabled();
    // Whether the receive thread reads the sockets (1, the default). An
    // application that reads them itself with Poll in a loop turns it off, so
    // that datagrams do not wake a second thread for nothing.
    void SetReceiveThreadEnabled(uint8_t v);
    uint8_t GetReceiveThreadEnabled() const { return m_receiveEnabled.load(); }
    // The names these options have in the engine's description.
    void SetOptionA(uint8_t v) { SetTickThreadMode(v); }
    void SetOptionB(uint8_t v) { SetCloseMarkedSockets(v); }
    void SetOptionC(uint8_t v) { SetTickThreadEnabled(v); }

    // CRC on sends, CRC required on receive.
    void SetCrc(bool on, bool required) {
        m_crcOn.store(on);
        m_crcRequired.store(required);
    }
    bool IsCrcOn() const { return m_crcOn.load(); }
    bool IsCrcRequired() const { return m_crcRequired.load(); }

    // The largest message sent or received, and the memory of unfinished
    // multi-part messages one peer may hold (room for two of the largest with
    // their bookkeeping).
    static constexpr uint32_t kDefaultMaxMessageSize = 8u << 20;
    void SetMaxMessageSize(uint32_t bytes) { m_maxMessageSize.store(bytes); }
    uint32_t GetMaxMessageSize() const { return m_maxMessageSize.load(); }
    uint64_t GetMaxPartialBytes() const { return static_cast<uint64_t>(GetMaxMessageSize()) * 3; }

    NWEClock& GetClock() { return m_clock; }
    NWEMessageTypes* GetSystemRegistry() { return m_system; }
    NWEQueue* GetEngineQueue() { return &m_engineQueue; }
    NWEPool<SPacketRecord>& GetRecordPool() { return *m_records; }
    bool IsClosing() const { return m_closing.load(); }

    // Sockets, walked shared.
    NWESocket* FirstSocket();
    NWESocket* NextSocket(NWESocket* s);  // releases s
    void ReleaseSocket(NWESocket* s);
    size_t GetSocketCount();

    // The peer a list entry names, taken shared, or null when it is missing or
    // closing; give it back with NWEPeer::Release.
    static NWEPeer* GetPeer(NWEListEntry* entry);
    // A peer pointer the caller holds, taken shared, or null when closing.
    static NWEPeer* GetPeer(NWEPeer* p);

    // Bookkeeping of the objects that register themselves.
    void LinkSocket(NWESocket* s);
    void UnlinkSocket(NWESocket* s);
    void LinkRegistry(NWEMessageTypes* r);
    void UnlinkRegistry(NWEMessageTypes* r);
    void LinkFrameTable(NWEFrameTable* t);
    void UnlinkFrameTable(NWEFrameTable* t);

    // Statistics of one datagram, counted with 8 bytes for the UDP header.
    void CountOut(size_t bytes);
    void CountIn(size_t bytes);
    void CountDuplicate() { m_duplicates.fetch_add(1); }
    void CountResend() { m_resends.fetch_add(1); }
    void CountRejected() { m_rejected.fetch_add(1); }

    // Tells the tick thread that a resend falls due at `when` (engine ticks).
    void ScheduleWake(int64_t when);
    // Wakes the receive thread (a socket was added or is closing), whether it
    // sleeps or reads on after a burst.
    void WakeReceiver() {
        m_receiverChanges.fetch_add(1);
        m_poller.Wake();
    }

    // System message handlers.
    static void OnFrameInfo(NWEPeer* peer, NWEMessage* m, void* context);
    static void OnRequestPacketSize(NWEPeer* peer, NWEMessage* m, void* context);
    static void OnRequestRate(NWEPeer* peer, NWEMessage* m, void* context);

private:
    // How long the receive thread keeps reading after a datagram before it
    // sleeps: between these bounds, doubled when the next datagram came soon
    // after the thread fell asleep (a stream: a wake-up per datagram costs
    // more than reading on) and halved when it came long after (sparse
    // traffic: reading on was wasted).
    static constexpr int kBusyPollMinMicroseconds = 50;
    static constexpr int kBusyPollMaxMicroseconds = 1000;
    void ReceiveThread();
    void TickThread();
    void RunChecks(bool fromTickThread, bool full);

    CSysCriticalSection m_engineLock;
    std::atomic<uint32_t> m_dataOut{0}, m_dataIn{0}, m_packetsIn{0}, m_packetsOut{0};
    CSysCriticalSection m_optionsLock;
    uint8_t m_tickMode = 1, m_closeMarked = 1, m_tickEnabled = 0;
    CSysCriticalSection m_socketsLock;
    std::vector<NWESocket*> m_sockets;
    void RenumberSockets();
    CSysCriticalSection m_registriesLock;
    std::vector<NWEMessageTypes*> m_registries;
    CSysCriticalSection m_tablesLock;
    std::vector<NWEFrameTable*> m_tables;
    std::atomic<bool> m_crcOn{true}, m_crcRequired{true};
    std::atomic<uint32_t> m_maxMessageSize{kDefaultMaxMessageSize};
    std::atomic<uint32_t> m_duplicates{0}, m_resends{0}, m_rejected{0};
    std::atomic<bool> m_closing{false};
    std::atomic<uint8_t> m_receiveEnabled{1};
    NWEClock m_clock;
    std::unique_ptr<NWEPool<SPacketRecord>> m_records;
    NWEQueue m_engineQueue{3};
    NWEMessageTypes* m_system = nullptr;
    CNetPoller m_poller;
    CNetPoller m_callerPoller;  // Poll's waits on the caller's thread
    CSysEvent m_tickWake;
    std::atomic<int64_t> m_plannedWake{0};
    std::atomic<uint32_t> m_receiverChanges{0};  // counts WakeReceiver calls
    CSysThread m_receiveThread;
    CSysThread m_tickThread;
};

// Formats a report through the engine's Report.
void NWE_ReportTo(NWEEngine* e, const char* fmt, ...);
