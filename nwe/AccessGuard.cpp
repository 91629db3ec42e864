#include "nwe/AccessGuard.h"

#include <cassert>

NWEAccessGuard::~NWEAccessGuard() {
    Close();
}

bool NWEAccessGuard::TryShared() {
    std::lock_guard<std::mutex> l(m_lock);
    if (m_closing || m_writer || m_waitingWriters > 0 || m_upgrading) return false;
    ++m_readers;
    return true;
}

bool NWEAccessGuard::Shared() {
    std::unique_lock<std::mutex> l(m_lock);
    m_changed.wait(l, [&] { return m_closing || (!m_writer && m_waitingWriters == 0 && !m_upgrading); });
    if (m_closing) return false;
    ++m_readers;
    return true;
}

void NWEAccessGuard::ReleaseShared() {
    std::lock_guard<std::mutex> l(m_lock);
    assert(m_readers > 0);
    if (m_readers > 0) --m_readers;
    m_changed.notify_all();
}

bool NWEAccessGuard::Exclusive() {
    std::unique_lock<std::mutex> l(m_lock);
    if (m_closing) return false;
    ++m_waitingWriters;
    m_changed.wait(l, [&] { return m_closing || (m_readers == 0 && !m_writer && !m_upgrading); });
    --m_waitingWriters;
    if (m_closing) {
        m_changed.notify_all();
        return false;
    }
    m_writer = true;
    return true;
}

void NWEAccessGuard::ReleaseExclusive() {
    std::lock_guard<std::mutex> l(m_lock);
    assert(m_writer);
    m_writer = false;
    m_changed.notify_all();
}

bool NWEAccessGuard::Upgrade() {
    std::unique_lock<std::mutex> l(m_lock);
    if (m_closing || m_upgrading || m_writer || m_waitingWriters > 0) return false;
    m_upgrading = true;
    m_changed.wait(l, [&] { return m_closing || m_readers == 1; });
    m_upgrading = false;
    if (m_closing) {
        m_changed.notify_all();
        return false;
    }
    m_readers = 0;
    m_writer = true;
    return true;
}

void NWEAccessGuard::Downgrade() {
    std::lock_guard<std::mutex> l(m_lock);
    assert(m_writer);
    m_writer = false;
    ++m_readers;
    m_changed.notify_all();
}

bool NWEAccessGuard::CloseWhileShared() {
    std::unique_lock<std::mutex> l(m_lock);
    if (m_closing) return false;
    m_closing = true;
    if (m_readers > 0) --m_readers;
    m_changed.notify_all();
    m_changed.wait(l, [&] { return m_readers == 0 && !m_writer; });
    return true;
}

bool NWEAccessGuard::Close() {
    std::unique_lock<std::mutex> l(m_lock);
    if (m_closing) return false;
    m_closing = true;
    m_changed.notify_all();
    m_changed.wait(l, [&] { return m_readers == 0 && !m_writer; });
    return true;
}

bool NWEAccessGuard::IsClosing() const {
    std::lock_guard<std::mutex> l(m_lock);
    return m_closing;
}

int NWEAccessGuard::Readers() const {
    std::lock_guard<std::mutex> l(m_lock);
    return m_readers;
}
