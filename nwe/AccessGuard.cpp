#include "nwe/AccessGuard.h"

#include <cassert>

NWEAccessGuard::~NWEAccessGuard() {
    Close();
}

void NWEAccessGuard::Wake() {
    std::lock_guard<std::mutex> l(m_lock);
    m_changed.notify_all();
}

void NWEAccessGuard::UpdateBlocked() {
    if (m_waitingWriters > 0 || m_upgrading)
        m_state.fetch_or(kBlocked);
    else
        m_state.fetch_and(~kBlocked);
}

bool NWEAccessGuard::Shared() {
    if (TryShared()) return true;
    std::unique_lock<std::mutex> l(m_lock);
    for (;;) {
        if (TryShared()) return true;
        if (IsClosing()) return false;
        m_changed.wait(l);
    }
}

bool NWEAccessGuard::Exclusive() {
    std::unique_lock<std::mutex> l(m_lock);
    if (IsClosing()) return false;
    ++m_waitingWriters;
    UpdateBlocked();
    for (;;) {
        uint32_t s = m_state.load();
        if (s & kClosing) {
            --m_waitingWriters;
            UpdateBlocked();
            m_changed.notify_all();
            return false;
        }
        if ((s & kReaders) == 0 && !(s & kWriter) && !m_upgrading &&
            m_state.compare_exchange_strong(s, s | kWriter, std::memory_order_acquire))
            break;
        m_changed.wait(l);
    }
    --m_waitingWriters;
    UpdateBlocked();
    return true;
}

void NWEAccessGuard::ReleaseExclusive() {
    uint32_t s = m_state.fetch_and(~kWriter, std::memory_order_release);
    (void)s;
    assert(s & kWriter);
    Wake();
}

bool NWEAccessGuard::Upgrade() {
    std::unique_lock<std::mutex> l(m_lock);
    uint32_t s = m_state.load();
    if ((s & (kClosing | kWriter)) || m_upgrading || m_waitingWriters > 0) return false;
    m_upgrading = true;
    UpdateBlocked();
    for (;;) {
        s = m_state.load();
        if (s & kClosing) {
            m_upgrading = false;
            UpdateBlocked();
            m_changed.notify_all();
            return false;
        }
        // Our own reference is the last one: it becomes the writer.
        if ((s & kReaders) == 1 &&
            m_state.compare_exchange_strong(s, (s - 1) | kWriter, std::memory_order_acquire))
            break;
        m_changed.wait(l);
    }
    m_upgrading = false;
    UpdateBlocked();
    return true;
}

void NWEAccessGuard::Downgrade() {
    uint32_t s = m_state.load();
    assert(s & kWriter);
    while (!m_state.compare_exchange_weak(s, (s & ~kWriter) + 1, std::memory_order_acq_rel)) {
    }
    Wake();
}

bool NWEAccessGuard::CloseWhileShared() {
    std::unique_lock<std::mutex> l(m_lock);
    uint32_t s = m_state.load();
    if (s & kClosing) return false;
    // Closing and giving up our reader in one step.
    while (!m_state.compare_exchange_weak(s, ((s & kReaders) ? s - 1 : s) | kClosing)) {
    }
    m_changed.notify_all();
    m_changed.wait(l, [&] { return (m_state.load() & (kReaders | kWriter)) == 0; });
    return true;
}

bool NWEAccessGuard::Close() {
    std::unique_lock<std::mutex> l(m_lock);
    uint32_t s = m_state.fetch_or(kClosing);
    if (s & kClosing) return false;
    m_changed.notify_all();
    m_changed.wait(l, [&] { return (m_state.load() & (kReaders | kWriter)) == 0; });
    return true;
}
