#include "nwe/Clock.h"

#include "platform/sys/Clock.h"

NWEClock::NWEClock() : m_frequency(static_cast<float>(Sys_QueryPerformanceFrequency())) {
    Now();
}

int64_t NWEClock::Now() {
    int64_t t = Sys_QueryPerformanceCounter();
    CSysScopedLock<CSysCriticalSection> l(m_lock);
    if (t > m_now) m_now = t;
    return m_now;
}
