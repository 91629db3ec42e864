// The engine clock: performance-counter ticks since the process started.
#pragma once

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

private:
    CSysCriticalSection m_lock;
    int64_t m_now = 0;
    float m_frequency;
};
