#include "platform/sys/Terminal.h"

#include <poll.h>
#include <unistd.h>

void CSysLineReader::Start() {
    if (m_thread.IsRunning()) return;
    m_stop.store(false);
    m_thread.Start([this] { Read(); });
}

void CSysLineReader::Stop() {
    m_stop.store(true);
    m_thread.Join();
}

bool CSysLineReader::Take(std::string* line, size_t* typedLength) {
    std::lock_guard<std::mutex> l(m_lock);
    if (m_lines.empty()) return false;
    *line = std::move(m_lines.front().text);
    if (typedLength) *typedLength = m_lines.front().length;
    m_lines.pop_front();
    return true;
}

void CSysLineReader::Read() {
    std::string partial;
    size_t length = 0;
    char buffer[512];
    while (!m_stop.load()) {
        // A short wait, so that Stop is never kept waiting for a line.
        pollfd p{0, POLLIN, 0};
        int ready = poll(&p, 1, 100);
        if (ready < 0) break;
        if (ready == 0) continue;
        ssize_t n = read(0, buffer, sizeof buffer);
        if (n <= 0) break;  // the end of the input (or no input at all)
        for (ssize_t i = 0; i < n; ++i) {
            char c = buffer[i];
            if (c == '\n') {
                if (!partial.empty() && partial.back() == '\r' && length == partial.size()) {
                    partial.pop_back();
                    --length;
                }
                std::lock_guard<std::mutex> l(m_lock);
                m_lines.push_back({partial, length});
                partial.clear();
                length = 0;
            } else {
                ++length;
                if (partial.size() < kMaxLine) partial.push_back(c);
            }
        }
    }
}
