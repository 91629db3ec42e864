// A sender's allowance of one kind of request: a bucket that holds `burst`
// requests and fills again at `perSecond`; a request that finds it empty is
// refused. The server keeps one per connection for chat lines and one for
// resync reports. Times are seconds of the engine's clock.
#pragma once

#include <algorithm>
#include <cstdint>

class CRateLimit {
public:
    CRateLimit(float burst, float perSecond) : m_burst(burst), m_perSecond(perSecond), m_left(burst) {}

    // One request at `now`: true when the allowance has one left (it is
    // taken), false when the request is to be refused.
    bool Take(double now) {
        if (m_last >= 0.0 && now > m_last)
            m_left = std::min<double>(m_burst, m_left + (now - m_last) * m_perSecond);
        if (now > m_last) m_last = now;
        if (m_left >= 1.0) {
            m_left -= 1.0;
            m_refused = 0;
            return true;
        }
        ++m_refused;
        return false;
    }
    // Requests refused since the last one taken: 1 for the first of a run
    // (the one worth a line in the log).
    uint32_t RefusedInARow() const { return m_refused; }

private:
    float m_burst, m_perSecond;
    double m_left;
    double m_last = -1.0;
    uint32_t m_refused = 0;
};
