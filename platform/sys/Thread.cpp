#include "platform/sys/Thread.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>

bool CSysMutex::Wait(uint32_t timeoutMs) {
    std::unique_lock<std::mutex> lock(m_guard);
    auto me = std::this_thread::get_id();
    if (m_depth > 0 && m_owner == me) {
        ++m_depth;
        return true;
    }
    auto free = [this] { return m_depth == 0; };
    if (timeoutMs == kInfinite) {
        m_freed.wait(lock, free);
    } else if (!m_freed.wait_for(lock, std::chrono::milliseconds(timeoutMs), free)) {
        return false;
    }
    m_owner = me;
    m_depth = 1;
    return true;
}

bool CSysMutex::Release() {
    std::lock_guard<std::mutex> lock(m_guard);
    if (m_depth == 0 || m_owner != std::this_thread::get_id()) return false;
    if (--m_depth == 0) {
        m_owner = std::thread::id();
        m_freed.notify_one();
    }
    return true;
}

bool CSysThread::Start(std::function<void()> body) {
    if (m_thread.joinable()) return false;
    m_running = true;
    m_thread = std::thread([this, body = std::move(body)] {
        body();
        m_running = false;
    });
    return true;
}

void CSysThread::Join() {
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id()) m_thread.join();
}

void CSysEvent::Set() {
    std::lock_guard<std::mutex> lock(m_guard);
    m_set = true;
    if (m_manual)
        m_cv.notify_all();
    else
        m_cv.notify_one();
}

void CSysEvent::Reset() {
    std::lock_guard<std::mutex> lock(m_guard);
    m_set = false;
}

bool CSysEvent::Wait(uint32_t timeoutMs) {
    std::unique_lock<std::mutex> lock(m_guard);
    auto isSet = [this] { return m_set; };
    if (timeoutMs == CSysMutex::kInfinite)
        m_cv.wait(lock, isSet);
    else if (!m_cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), isSet))
        return false;
    if (!m_manual) m_set = false;
    return true;
}

void Sys_Sleep(uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

uint32_t Sys_GetCurrentThreadId() {
    return static_cast<uint32_t>(syscall(SYS_gettid));
}

uint32_t Sys_GetCurrentProcessId() {
    return static_cast<uint32_t>(getpid());
}
