// Messages, message groups and the priority queues they wait in.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "nwe/AccessGuard.h"
#include "platform/net/Udp.h"
#include "platform/sys/Thread.h"

class NWEMessageType;
class NWEPeer;
class NWEQueue;
class NWEList;

// A lock around a handful of instructions, taken by one thread at a time
// almost always: one atomic exchange to take it, one store to give it back.
class NWESpinLock {
public:
    void lock() {
        while (m_held.exchange(true, std::memory_order_acquire))
            while (m_held.load(std::memory_order_relaxed)) std::this_thread::yield();
    }
    void unlock() { m_held.store(false, std::memory_order_release); }

private:
    std::atomic<bool> m_held{false};
};

// What a message group counts. The group and every message sent in it share
// it, so a member that outlives its group (or a group that let its members go
// with WaitEmpty) never reaches into memory that is gone: the member's link
// simply leads nowhere from then on.
struct SGroupCore {
    // One count of holders in the high half (the group itself, each member,
    // each message waiting after it, a sending peer's cache) and the members
    // in the low half, changed together in one step. The last holder frees it.
    static constexpr uint64_t kHolder = 1ull << 32;
    static constexpr uint64_t kMember = kHolder | 1;
    NWESpinLock lock;
    NWEList* group = nullptr;  // null once the group is deleted or let its members go (under lock)
    std::atomic<uint64_t> counts{kHolder};
    std::atomic<int> failed{0}, delivered{0};
    // Members are numbered as they join (1, 2, ...); packed[i] tells whether
    // member firstUnpacked + i is completely packed. The front is always an
    // unpacked one, so the oldest member not packed is firstUnpacked.
    uint64_t joined = 0;  // under lock
    uint64_t firstUnpacked = 1;
    std::deque<uint8_t> packed;
    int Members() const { return static_cast<int>(counts.load() & 0xFFFFFFFFu); }
};

// Gives up holds (and memberships) of a group record; the last frees it.
void NWE_ReleaseCore(SGroupCore* core, uint64_t amount);

// One message, sent or received. Received messages are delivered once: every
// path that could hand one to its handler claims it first.
class NWEMessage {
public:
    // Payloads up to this size live in the record itself (no second allocation).
    static constexpr uint32_t kInlinePayload = 256;

    NWEMessage() = default;
    ~NWEMessage();
    NWEMessage(const NWEMessage&) = delete;
    NWEMessage& operator=(const NWEMessage&) = delete;

    uint16_t GetId() const { return m_id; }
    const uint8_t* GetData() const { return m_data; }
    uint32_t GetSize() const { return m_size; }
    uint16_t GetFrame() const { return m_frame; }
    uint32_t GetKey() const { return m_key; }
    NWEPeer* GetPeer() const { return m_peer; }
    const SNetAddress& GetSource() const { return m_source; }
    // The group the message counts in, or null (none, or the group is gone).
    NWEList* GetGroup();

    // Room for `size` bytes of payload (contents undefined), and a copy in.
    uint8_t* ResizePayload(uint32_t size);
    void SetPayload(const void* data, uint32_t size);

    // Only the first claim succeeds.
    bool Claim() { return !m_claimed.exchange(true); }
    // False once the peer it came from is gone.
    bool PeerAlive() const { return !m_peerAlive || m_peerAlive->load(); }

    uint16_t m_id = 0;
    uint32_t m_key = 0;
    uint16_t m_frame = 0;
    NWEMessageType* m_type = nullptr;
    // A received message holds its type shared until it is destroyed (it may
    // wait in a queue of the application's); a sent one does not: it lives
    // within its peer, and a registry outlives the peers that use it.
    bool m_typeShared = true;
    NWEPeer* m_peer = nullptr;
    // A received message's word of whether its peer still lives: false once
    // the peer went. A message that waits in a queue or a frame past its peer
    // is never delivered (its handler would be given a peer that is gone).
    std::shared_ptr<const std::atomic<bool>> m_peerAlive;
    SNetAddress m_source;
    uint8_t m_priority = 5;
    uint16_t m_class = 0;
    std::atomic<bool> m_claimed{false};
    bool m_acknowledged = false;  // arrived in a packet that asked for a receipt
    bool m_filed = false;         // sits in a frame record, delivered with its frame
    NWEQueue* m_queue = nullptr;  // changed under that queue's lock

    // Sending side (under the sending peer's lock). A message being sent is
    // owned by its peer: it lives while it sits in a send queue or in a packet
    // record that waits for its receipt, and goes when neither holds it.
    bool m_inQueue = false;
    bool m_finished = false;  // delivered or failed: its group knows
    uint32_t m_packed = 0;    // payload bytes packed so far
    uint32_t m_partsPacked = 0;
    bool m_started = false;  // first part written
    int m_recordsOut = 0;    // acknowledged records carrying a part, not yet receipted
    bool m_packedAll = false;
    uint32_t m_accounted = 0;  // bytes counted into the peer's pending bytes
    uint32_t m_held = 0;       // memory counted into the peer's held bytes, 0 once finished
    // The group it counts in, and the group whose earlier members it waits
    // for; each held (SGroupCore::counts) until the message lets go of it.
    SGroupCore* m_groupCore = nullptr;
    uint64_t m_groupSeq = 0;
    bool m_groupPacked = false;
    SGroupCore* m_afterCore = nullptr;
    uint64_t m_afterSeq = 0;

private:
    uint8_t* m_data = m_inline;
    uint32_t m_size = 0;
    std::unique_ptr<uint8_t[]> m_heap;
    uint8_t m_inline[kInlinePayload];
};

using NWEMessagePtr = std::shared_ptr<NWEMessage>;

// A new message record. Messages come and go by the hundred thousand a
// second; their memory is kept for reuse by the thread that frees it (more
// than the general heap keeps for one size, and without its locks).
NWEMessagePtr NWE_NewMessage();
// A message being sent: a plain record its peer owns (from the same cache).
NWEMessage* NWE_NewSentMessage();
void NWE_FreeSentMessage(NWEMessage* m);

// A sending peer remembers the record of the group it used last, so that a
// burst of messages in one group takes no lock to find it.
struct SGroupCache {
    uint64_t id = 0;
    uint32_t generation = 0;
    SGroupCore* core = nullptr;  // held
    ~SGroupCache();
    SGroupCore* Hold(NWEList* group, uint64_t amount);
};

// Group bookkeeping of a message being sent (under the sending peer's lock).
// Join and After are called at send time, After first: a message that is both
// in a group and after it waits only for the members that joined before it.
void NWE_JoinGroup(NWEMessage* m, NWEList* group, SGroupCache* cache);
void NWE_SetAfter(NWEMessage* m, NWEList* after, SGroupCache* cache);
// True while a member of the message's after group that joined before it is
// not completely packed.
bool NWE_MustWait(NWEMessage* m);
// The message is completely packed (or will never be): later members may go.
void NWE_MarkPacked(NWEMessage* m);
// The message leaves its group, delivered or failed. With a batch, members
// of one group that leave together are counted out in one step (its
// destructor settles what is left).
struct SLeaveBatch {
    SGroupCore* core = nullptr;
    uint32_t delivered = 0, failed = 0;
    ~SLeaveBatch() { Flush(); }
    void Flush();
};
void NWE_LeaveGroup(NWEMessage* m, bool delivered, SLeaveBatch* batch = nullptr);

// A locked list of guarded objects, walked taking each one shared (closing
// ones are skipped). It also serves as a message group: everything sent with
// it counts as a member until it has been delivered (a receipt came) or has
// failed (its link gave up, or the link could not ask for receipts). A group
// is empty only when no member is left; HasFailed tells whether any member
// did not make it. Deleting a group, or letting its members go with
// NWEQueue::WaitEmpty, cuts every member's link to it.
class NWEList {
public:
    NWEList();
    ~NWEList();
    NWEList(const NWEList&) = delete;
    NWEList& operator=(const NWEList&) = delete;
    NWEAccessGuard m_guard;

    void Add(NWEObject* o);
    void Remove(NWEObject* o);
    // The first / next element that can be taken shared; NextShared releases
    // the element it is given.
    NWEObject* FirstShared();
    NWEObject* NextShared(NWEObject* o);
    size_t GetElementCount();

    void AddCount(int n) { m_counter.fetch_add(n); }
    int GetCount() const { return m_counter.load(); }

    int GetMembers() {
        std::lock_guard<NWESpinLock> l(m_coreLock);
        return m_core->Members();
    }
    int GetFailed() {
        std::lock_guard<NWESpinLock> l(m_coreLock);
        return m_core->failed.load();
    }
    int GetDelivered() {
        std::lock_guard<NWESpinLock> l(m_coreLock);
        return m_core->delivered.load();
    }
    bool HasFailed() { return GetFailed() > 0; }
    // Lets every member go at once so the group can be reused; it starts
    // counting afresh.
    void Detach();
    // The current record, with `amount` added to its counts.
    SGroupCore* HoldCore(uint64_t amount);
    // Which group and which of its records (Detach starts a new one).
    uint64_t GetId() const { return m_id; }
    uint32_t GetGeneration() const { return m_generation.load(); }

private:
    CSysCriticalSection m_lock;
    std::vector<NWEObject*> m_items;
    std::atomic<int> m_counter{0};
    mutable NWESpinLock m_coreLock;  // around m_core (WaitEmpty replaces it)
    SGroupCore* m_core;              // held by the group
    const uint64_t m_id;
    std::atomic<uint32_t> m_generation{0};
};

// Messages in priority order: 0 first, 11 last, arrival order within a
// priority, except that priority 0 is kept in key order. Delivery queues are
// shared between the receiving thread and the application's.
class NWEQueue {
public:
    static constexpr int kPriorities = 12;
    explicit NWEQueue(int kind = 3) : m_kind(kind) {}
    ~NWEQueue();
    NWEQueue(const NWEQueue&) = delete;
    NWEQueue& operator=(const NWEQueue&) = delete;

    int GetKind() const { return m_kind; }
    void Put(const NWEMessagePtr& m);
    NWEMessagePtr Front();
    NWEMessagePtr Take();
    bool Remove(NWEMessage* m);
    size_t GetCount();
    bool IsQueueEmpty() { return GetCount() == 0; }
    // Delivers every message that is not bound to a frame (those wait for
    // their frame's turn). Handlers run on the calling thread.
    void Flush();
    // Drops every message without delivering it.
    void Clear();

    static bool IsEmpty(NWEList* group) { return group->GetMembers() == 0; }
    static void WaitEmpty(NWEList* group) { group->Detach(); }

private:
    CSysCriticalSection m_lock;
    std::deque<NWEMessagePtr> m_levels[kPriorities];
    size_t m_count = 0;
    int m_kind;
};

// Puts a message into one of twelve priority levels: behind the others of its
// priority, or, at priority 0, in key order.
template <typename TPtr>
void NWE_PutByPriority(std::deque<TPtr>* levels, const TPtr& m) {
    int p = m->m_priority < NWEQueue::kPriorities ? m->m_priority : NWEQueue::kPriorities - 1;
    std::deque<TPtr>& level = levels[p];
    if (p == 0) {
        auto it = level.end();
        while (it != level.begin() && (*(it - 1))->m_key > m->m_key) --it;
        level.insert(it, m);
    } else {
        level.push_back(m);
    }
}

// Hands a message to its type's handler once, then lets it go.
void NWE_Deliver(const NWEMessagePtr& m);
