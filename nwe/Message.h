// Messages, message groups and the priority queues they wait in.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "nwe/AccessGuard.h"
#include "platform/net/Udp.h"
#include "platform/sys/Thread.h"

class NWEMessageType;
class NWEPeer;
class NWEQueue;
class NWEList;

// One message, sent or received. Received messages are delivered once: every
// path that could hand one to its handler claims it first.
class NWEMessage {
public:
    NWEMessage() = default;
    ~NWEMessage();
    NWEMessage(const NWEMessage&) = delete;
    NWEMessage& operator=(const NWEMessage&) = delete;

    uint16_t GetId() const { return m_id; }
    const uint8_t* GetData() const { return m_payload.data(); }
    uint32_t GetSize() const { return static_cast<uint32_t>(m_payload.size()); }
    uint16_t GetFrame() const { return m_frame; }
    uint32_t GetKey() const { return m_key; }
    NWEPeer* GetPeer() const { return m_peer; }
    const SNetAddress& GetSource() const { return m_source; }

    // Only the first claim succeeds.
    bool Claim() { return !m_claimed.exchange(true); }

    uint16_t m_id = 0;
    uint32_t m_key = 0;
    uint16_t m_frame = 0;
    std::vector<uint8_t> m_payload;
    NWEMessageType* m_type = nullptr;  // held shared until the message is destroyed
    NWEPeer* m_peer = nullptr;
    SNetAddress m_source;
    uint8_t m_priority = 5;
    uint16_t m_class = 0;
    std::atomic<bool> m_claimed{false};
    bool m_acknowledged = false;  // arrived in a packet that asked for a receipt
    bool m_filed = false;         // sits in a frame record, delivered with its frame
    NWEQueue* m_queue = nullptr;  // changed under that queue's lock

    // Sending side.
    uint32_t m_packed = 0;  // payload bytes packed so far
    uint32_t m_partsPacked = 0;
    uint32_t m_partCount = 0;  // parts the payload needs at the current packet size
    bool m_started = false;    // first part written
    int m_recordsOut = 0;      // acknowledged records carrying a part, not yet receipted
    bool m_packedAll = false;
    uint32_t m_accounted = 0;    // bytes counted into the peer's pending bytes
    NWEList* m_group = nullptr;  // holds a reference on the group
    std::weak_ptr<NWEMessage> m_after;
};

using NWEMessagePtr = std::shared_ptr<NWEMessage>;

// A locked list of guarded objects, walked taking each one shared (closing
// ones are skipped). It also serves as a message group: everything sent with
// it counts as a member until it has been delivered (a receipt came) or has
// failed (its link gave up, or the link could not ask for receipts). A group
// is empty only when no member is left; HasFailed tells whether any member
// did not make it.
class NWEList {
public:
    NWEList() = default;
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
    int GetMembers() const { return m_members.load(); }
    int GetFailed() const { return m_failed.load(); }
    int GetDelivered() const { return m_delivered.load(); }
    bool HasFailed() const { return m_failed.load() > 0; }

    void Join() { m_members.fetch_add(1); }
    void Leave(bool delivered) {
        (delivered ? m_delivered : m_failed).fetch_add(1);
        m_members.fetch_sub(1);
    }
    // Forgets every member at once so the group can be reused.
    void Detach() { m_members.store(0); }

private:
    CSysCriticalSection m_lock;
    std::vector<NWEObject*> m_items;
    std::atomic<int> m_counter{0};
    std::atomic<int> m_members{0};
    std::atomic<int> m_failed{0};
    std::atomic<int> m_delivered{0};
};

// Messages in priority order: 0 first, 11 last, arrival order within a
// priority, except that priority 0 is kept in key order.
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

// Hands a message to its type's handler once, then lets it go.
void NWE_Deliver(const NWEMessagePtr& m);
