// Shared/exclusive guard with a closing state.
//
// Every object of the engine that several threads reach (socket, peer, message
// type, frame record, list entry) carries one. Users take it shared for use; a
// writer takes it exclusively, and a waiting writer keeps new readers out so it
// cannot be starved. Closing refuses every new access and waits for the
// holders to leave, after which the owner may destroy the object.
//
// Taking and giving back a shared reference is one atomic operation when
// nobody waits (every message and every walk of a list does it); only writers,
// upgrades and closing wait, on a mutex and condition variable.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

class NWEAccessGuard {
public:
    NWEAccessGuard() = default;
    ~NWEAccessGuard();
    NWEAccessGuard(const NWEAccessGuard&) = delete;
    NWEAccessGuard& operator=(const NWEAccessGuard&) = delete;

    // True and one more reader when there is no writer (held or waiting) and it
    // is not closing; never waits.
    bool TryShared() {
        uint32_t s = m_state.load(std::memory_order_relaxed);
        do {
            if (s & (kWriter | kBlocked | kClosing)) return false;
        } while (
            !m_state.compare_exchange_weak(s, s + 1, std::memory_order_acquire, std::memory_order_relaxed));
        return true;
    }
    // Waits while a writer holds it; false when closing.
    bool Shared();
    void ReleaseShared() {
        uint32_t s = m_state.fetch_sub(1, std::memory_order_release);
        // A waiting writer, upgrade or close counts the readers that leave.
        if (s & (kBlocked | kClosing)) Wake();
    }
    // Waits until there are no readers and no writer; false when closing.
    bool Exclusive();
    void ReleaseExclusive();
    // From one shared reference to exclusive. Only one upgrade can be pending:
    // a second one (or an upgrade while another writer waits) fails and keeps
    // its shared reference, so two threads can never both end up exclusive.
    bool Upgrade();
    void Downgrade();
    // Closing from a shared reference: gives that reference up and waits for the
    // others. False when already closing.
    bool CloseWhileShared();
    bool Close();
    bool IsClosing() const { return (m_state.load() & kClosing) != 0; }
    int Readers() const { return static_cast<int>(m_state.load() & kReaders); }

private:
    static constexpr uint32_t kReaders = 0x0FFFFFFF;
    static constexpr uint32_t kWriter = 1u << 28;
    static constexpr uint32_t kBlocked = 1u << 29;  // a writer or an upgrade waits
    static constexpr uint32_t kClosing = 1u << 30;
    void Wake();
    void UpdateBlocked();  // under m_lock

    std::atomic<uint32_t> m_state{0};
    std::mutex m_lock;
    std::condition_variable m_changed;
    int m_waitingWriters = 0;  // under m_lock
    bool m_upgrading = false;  // under m_lock
};

class NWEListEntry;

// Base of the engine's objects that are reached through their guard (peers,
// frame records) and can sit in an NWEList or be named by list entries. When
// it goes, every entry that names it lets go of it (NWEEngine::GetPeer on such
// an entry then gives null).
class NWEObject {
public:
    NWEObject() = default;
    virtual ~NWEObject();
    NWEObject(const NWEObject&) = delete;
    NWEObject& operator=(const NWEObject&) = delete;
    NWEAccessGuard m_guard;
    static void ReleaseShared(NWEObject* o) {
        if (o) o->m_guard.ReleaseShared();
    }
    // Closes from a shared reference and destroys the object.
    static void CloseShared(NWEObject* o) {
        if (o && o->m_guard.CloseWhileShared()) delete o;
    }

protected:
    // Lets go of every entry that names this object; the guard must be closed.
    // Derived destructors call it early; the base destructor calls it again.
    void DetachEntries();

private:
    friend class NWEListEntry;
    NWEListEntry* m_entries = nullptr;  // entries naming this object (under the entries' link lock)
};

// Holds a shared reference for one scope (the guard must already be taken).
class NWESharedRef {
public:
    explicit NWESharedRef(NWEAccessGuard* g) : m_guard(g) {}
    ~NWESharedRef() {
        if (m_guard) m_guard->ReleaseShared();
    }
    NWESharedRef(const NWESharedRef&) = delete;
    NWESharedRef& operator=(const NWESharedRef&) = delete;

private:
    NWEAccessGuard* m_guard;
};
