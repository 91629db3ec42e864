// The frame table of the lockstep loop.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "nwe/AccessGuard.h"
#include "nwe/ListEntry.h"
#include "nwe/Message.h"
#include "nwe/Wire.h"
#include "platform/sys/Thread.h"

class NWEEngine;
class NWEFrameTable;
class NWEPeer;

// One frame's record: how many framed messages it expects (65535 until the
// announcement came), how many arrived, and the messages themselves.
class NWEFrame : public NWEObject {
public:
    static constexpr uint16_t kNotAnnounced = 65535;

    uint16_t GetMark() const { return m_number; }
    int64_t GetTime();
    int16_t GetExpected();
    int16_t GetReceived();
    uint32_t GetValue();
    void SetValue(uint32_t v);
    uint16_t GetPeekId();
    void SetPeekId(uint16_t id);
    bool IsComplete();
    // Raises the time stamp to the engine clock when the clock is later.
    void IsDue();
    void TouchTime() { IsDue(); }
    // Announcing side: one more message sent in this frame.
    void IncReceived();
    void SetExpected(uint16_t n);
    // Receiving side: files one message. False when the frame already holds
    // everything it announced (the message is not filed).
    bool File(const NWEMessagePtr& m, uint32_t flags);
    // The messages in arrival order (a copy, taken under the record's lock).
    std::vector<NWEMessagePtr> TakeMessages();
    // Returns messages taken out but not delivered (counts unchanged).
    void PutBack(const std::vector<NWEMessagePtr>& ms);

private:
    friend class NWEFrameTable;
    void Init(bool announcing);
    void Clear();
    CSysCriticalSection m_lock;
    bool m_present = false;
    uint16_t m_number = 0;
    uint16_t m_expected = kNotAnnounced;
    uint16_t m_received = 0;
    uint32_t m_value = 0;
    uint16_t m_peekId = 65535;
    int64_t m_time = 0;
    NWEFrameTable* m_table = nullptr;
    std::vector<NWEMessagePtr> m_messages;
};

class NWEFrameTable {
public:
    static constexpr int kFrames = kLastFrameNumber + 1;  // numbers 1..8191; 0 means "not framed"
    explicit NWEFrameTable(NWEEngine* engine);
    ~NWEFrameTable();
    NWEFrameTable(const NWEFrameTable&) = delete;
    NWEFrameTable& operator=(const NWEFrameTable&) = delete;

    // The record of frame n taken shared, initialised first when absent; null
    // for a number outside 1..8191.
    NWEFrame* GetShared(uint16_t n);
    // The record of frame n taken shared only when present.
    NWEFrame* Lookup(uint16_t n);
    NWEFrame* Current() { return GetShared(GetCurrentNumber()); }
    NWEFrame* CurrentNumber() { return Lookup(GetCurrentNumber()); }
    NWEFrame* TryCurrent() { return CurrentNumber(); }
    NWEFrame* NextFrame() { return Lookup(PeekNext()); }
    void Release(NWEFrame* f) {
        if (f) f->m_guard.ReleaseShared();
    }

    uint16_t GetCurrentNumber() const { return m_current.load(); }
    uint16_t PeekNext() const { return NextFrameNumber(GetCurrentNumber()); }
    static uint16_t NextFrameNumber(uint16_t n) {
        return static_cast<uint16_t>(((n + 1) & 0xFFFF) > kLastFrameNumber ? 1 : n + 1);
    }
    // k frames after the current one (0: the current one); the table is unchanged.
    uint16_t Advance(int k) const;
    uint16_t PeekNumber(int k) const { return Advance(k); }
    void SetCurrent(uint16_t n);
    void Reset();
    // Circular order modulo 8192: 0 equal, +1 when a is ahead of b, -1 behind;
    // exactly 4096 apart is -1 both ways.
    static int Compare(uint16_t a, uint16_t b);
    // Frames from the current one forward to n (0 for the current); numbers
    // behind come out near kLastFrameNumber.
    int Ahead(uint16_t n) const;
    // Whether n is no more than `window` frames ahead of the current one or
    // behind it (what a sender in step with us can name).
    bool IsNear(uint16_t n, int window) const {
        int ahead = Ahead(n);
        return ahead < window || ahead >= kLastFrameNumber - window;
    }

    // Closes the current frame: on an announcing table its count goes to every
    // frame-synchronised peer; the record is cleared and the next one is current.
    void Process();

    void SetAnnouncing(bool on) { m_announcing.store(on); }
    bool IsAnnouncing() const { return m_announcing.load(); }
    void AddPeer(NWEPeer* p);
    void RemovePeer(NWEPeer* p);

    NWEEngine* GetEngine() const { return m_engine; }
    // The engine is going first: forget it (the table must not be used again).
    void DetachEngine() { m_engine = nullptr; }

private:
    NWEFrame* TakeShared(uint16_t n, bool* present);
    CSysCriticalSection m_tableLock;
    CSysCriticalSection m_currentLock;
    std::vector<NWEFrame> m_frames;
    std::atomic<uint16_t> m_current{1};
    NWEEngine* m_engine;
    NWERefList m_peers;  // entries naming the peers told of each closed frame
    std::atomic<bool> m_announcing{false};
};
