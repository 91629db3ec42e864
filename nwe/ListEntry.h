// Links that name an engine object from a list, and the lists that hold them.
//
// An NWEListEntry sits in two places at once: in an NWERefList (its owner A,
// which holds and finally destroys it) and among the entries that name one
// engine object (its owner B, a peer for instance). The game keeps its
// connections this way (the client list of a server, a client's server link):
// NWEEngine::GetPeer on the entry gives the peer taken shared, or null once the
// peer is closing or gone, so a link never dangles however the peer ends.
#pragma once

#include <cstddef>
#include <cstdint>

#include "nwe/AccessGuard.h"
#include "platform/sys/Thread.h"

class NWERefList;

class NWEListEntry {
public:
    // Links at the head of `list` (which may be null) and among the entries
    // naming `target` (which may be null).
    NWEListEntry(NWERefList* list, NWEObject* target, uintptr_t value = 0);
    // Unlinks from both.
    ~NWEListEntry();
    NWEListEntry(const NWEListEntry&) = delete;
    NWEListEntry& operator=(const NWEListEntry&) = delete;

    // The named object taken shared, or null when there is none or it is closing.
    NWEObject* TakeTarget();
    // Whether the entry names this object.
    bool Names(const NWEObject* o);
    // Names another object from now on (null: none).
    void Retarget(NWEObject* target);
    // Closes the entry's guard (waiting for those who hold it) and deletes it.
    void Destroy();
    uintptr_t GetValue() const { return m_value; }

    NWEAccessGuard m_guard;

private:
    friend class NWERefList;
    friend class NWEObject;
    void LinkTarget(NWEObject* target);  // under the link lock
    void UnlinkTarget();                 // under the link lock

    CSysCriticalSection m_lock;  // around m_target for readers
    NWERefList* m_list;
    NWEListEntry* m_prevInList = nullptr;
    NWEListEntry* m_nextInList = nullptr;
    NWEObject* m_target = nullptr;
    NWEListEntry* m_prevForTarget = nullptr;
    NWEListEntry* m_nextForTarget = nullptr;
    uintptr_t m_value;
};

// A locked list of entries; its destructor destroys every entry left in it.
class NWERefList {
public:
    NWERefList() = default;
    ~NWERefList();
    NWERefList(const NWERefList&) = delete;
    NWERefList& operator=(const NWERefList&) = delete;

    size_t GetCount();
    // The first / next entry that can be taken shared (closing ones are
    // skipped); NextShared releases the entry it is given.
    NWEListEntry* FirstShared();
    NWEListEntry* NextShared(NWEListEntry* e);
    // The entry naming `o`, taken shared, or null.
    NWEListEntry* FindShared(const NWEObject* o);

private:
    friend class NWEListEntry;
    CSysCriticalSection m_lock;
    NWEListEntry* m_head = nullptr;
    NWEListEntry* m_tail = nullptr;
    size_t m_count = 0;
};
