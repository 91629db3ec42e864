#include "nwe/Clock.h"

#include "platform/sys/Clock.h"

NWEClock::NWEClock() : m_frequency(static_cast<float>(Sys_QueryPerformanceFrequency())) {
    Now();
}

int64_t NWEClock::Now() {
    NWECounterFn fn = m_source.load();
    int64_t t = fn ? fn(m_context.load()) : Sys_QueryPerformanceCounter();
    int64_t seen = m_now.load();
    while (t > seen && !m_now.compare_exchange_weak(seen, t)) {
    }
    return t > seen ? t : seen;
}

void NWEClock::SetSource(NWECounterFn fn, void* context) {
    m_context.store(context);
    m_source.store(fn);
    m_now.store(fn ? fn(context) : Sys_QueryPerformanceCounter());
}
