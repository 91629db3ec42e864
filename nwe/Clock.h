// The engine clock: performance-counter ticks since the process started, or
// the counter a test drives.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/sys/Thread.h"

// One field read or written under its lock (the engine's small accessors).
template <typename T>
T NWE_Read(CSysCriticalSection& lock, const T& field) {
    CSysScopedLock<CSysCriticalSection> l(lock);
    return field;
}
template <typename T, typename V>
void NWE_Write(CSysCriticalSection& lock, T& field, const V& value) {
    CSysScopedLock<CSysCriticalSection> l(lock);
    field = value;
}

// A counter in place of the performance counter, at the same frequency.
typedef int64_t (*NWECounterFn)(void* context);

class NWEClock {
public:
    NWEClock();
    // Reads the counter; the stored time never goes backwards.
    int64_t Now();
    void Update() { Now(); }
    float GetFrequency() const { return m_frequency; }
    // A setting in seconds as ticks, truncated.
    int64_t Ticks(float seconds) const { return static_cast<int64_t>(seconds * m_frequency); }
    double Seconds(int64_t ticks) const { return static_cast<double>(ticks) / m_frequency; }
    // Reads time from `fn` from now on (null: the performance counter again).
    // Set it before the engine makes sockets or peers: they stamp their times
    // from this clock.
    void SetSource(NWECounterFn fn, void* context);

private:
    std::atomic<int64_t> m_now{0};
    float m_frequency;
    std::atomic<NWECounterFn> m_source{nullptr};
    std::atomic<void*> m_context{nullptr};
};
