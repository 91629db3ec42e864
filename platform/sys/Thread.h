// Threads and locks.
//
// Every critical section and mutex of the game is recursive: the UI thread
// re-enters them (a frame takes the game lock that a handler it calls takes
// again). Spin counts are accepted and ignored; waits are unbounded unless a
// timeout is given. Threads are std::thread underneath; each thread that runs
// simulation code sets the floating-point mode itself when it starts.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

class CSysCriticalSection {
public:
    explicit CSysCriticalSection(unsigned spinCount = 0) { (void)spinCount; }
    CSysCriticalSection(const CSysCriticalSection&) = delete;
    CSysCriticalSection& operator=(const CSysCriticalSection&) = delete;
    void Enter() { m_lock.lock(); }
    bool TryEnter() { return m_lock.try_lock(); }
    void Leave() { m_lock.unlock(); }

private:
    std::recursive_mutex m_lock;
};

// A recursive mutex with timed waits, in the shape of a Windows mutex object.
class CSysMutex {
public:
    static constexpr uint32_t kInfinite = 0xFFFFFFFFu;
    CSysMutex() = default;
    CSysMutex(const CSysMutex&) = delete;
    CSysMutex& operator=(const CSysMutex&) = delete;
    // True when the calling thread owns the mutex (again) within the timeout in ms.
    bool Wait(uint32_t timeoutMs = kInfinite);
    // False when the calling thread does not own it.
    bool Release();

private:
    std::mutex m_guard;
    std::condition_variable m_freed;
    std::thread::id m_owner;
    unsigned m_depth = 0;
};

// Holds a critical section or mutex for one scope.
template <typename TLock>
class CSysScopedLock;

template <>
class CSysScopedLock<CSysCriticalSection> {
public:
    explicit CSysScopedLock(CSysCriticalSection& cs) : m_cs(cs) { m_cs.Enter(); }
    ~CSysScopedLock() { m_cs.Leave(); }
    CSysScopedLock(const CSysScopedLock&) = delete;
    CSysScopedLock& operator=(const CSysScopedLock&) = delete;

private:
    CSysCriticalSection& m_cs;
};

template <>
class CSysScopedLock<CSysMutex> {
public:
    explicit CSysScopedLock(CSysMutex& m) : m_mutex(m) { m_mutex.Wait(); }
    ~CSysScopedLock() { m_mutex.Release(); }
    CSysScopedLock(const CSysScopedLock&) = delete;
    CSysScopedLock& operator=(const CSysScopedLock&) = delete;

private:
    CSysMutex& m_mutex;
};

// A joinable thread running one function. The destructor joins.
class CSysThread {
public:
    CSysThread() = default;
    ~CSysThread() { Join(); }
    CSysThread(const CSysThread&) = delete;
    CSysThread& operator=(const CSysThread&) = delete;
    bool Start(std::function<void()> body);
    bool IsRunning() const { return m_running.load(); }
    void Join();

private:
    std::thread m_thread;
    std::atomic<bool> m_running{false};
};

// An auto-reset or manual-reset event, for threads that wake each other.
class CSysEvent {
public:
    explicit CSysEvent(bool manualReset = false, bool initiallySet = false)
        : m_manual(manualReset), m_set(initiallySet) {}
    void Set();
    void Reset();
    bool Wait(uint32_t timeoutMs = CSysMutex::kInfinite);

private:
    std::mutex m_guard;
    std::condition_variable m_cv;
    bool m_manual;
    bool m_set;
};

void Sys_Sleep(uint32_t ms);
uint32_t Sys_GetCurrentThreadId();
uint32_t Sys_GetCurrentProcessId();
