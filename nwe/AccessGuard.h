// Shared/exclusive guard with a closing state.
//
// Every object of the engine that several threads reach (socket, peer, message
// type, frame record) carries one. Users take it shared for use; a writer takes
// it exclusively, and a waiting writer keeps new readers out so it cannot be
// starved. Closing refuses every new access and waits for the holders to leave,
// after which the owner may destroy the object.
#pragma once

#include <condition_variable>
#include <mutex>

class NWEAccessGuard {
public:
    NWEAccessGuard() = default;
    ~NWEAccessGuard();
    NWEAccessGuard(const NWEAccessGuard&) = delete;
    NWEAccessGuard& operator=(const NWEAccessGuard&) = delete;

    // True and one more reader when there is no writer (held or waiting) and it
    // is not closing; never waits.
    bool TryShared();
    // Waits while a writer holds it; false when closing.
    bool Shared();
    void ReleaseShared();
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
    bool IsClosing() const;
    int Readers() const;

private:
    mutable std::mutex m_lock;
    std::condition_variable m_changed;
    int m_readers = 0;
    bool m_writer = false;
    int m_waitingWriters = 0;
    bool m_upgrading = false;
    bool m_closing = false;
};

// Base of the engine's objects that are reached through their guard (peers,
// frame records) and can sit in an NWEList.
class NWEObject {
public:
    virtual ~NWEObject() = default;
    NWEAccessGuard m_guard;
    static void ReleaseShared(NWEObject* o) {
        if (o) o->m_guard.ReleaseShared();
    }
    // Closes from a shared reference and destroys the object.
    static void CloseShared(NWEObject* o) {
        if (o && o->m_guard.CloseWhileShared()) delete o;
    }
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
