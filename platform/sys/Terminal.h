// Lines typed into the program's standard input (a dedicated server's
// operator, or a test that drives the game), read on a thread of their own
// so that the frames never wait for them.
#pragma once

#include <atomic>
#include <deque>
#include <mutex>
#include <string>

#include "platform/sys/Thread.h"

class CSysLineReader {
public:
    CSysLineReader() = default;
    ~CSysLineReader() { Stop(); }
    CSysLineReader(const CSysLineReader&) = delete;
    CSysLineReader& operator=(const CSysLineReader&) = delete;

    // Starts reading standard input; it ends by itself at the end of the input.
    void Start();
    void Stop();
    // The longest line kept: the characters beyond it are counted, not kept.
    static constexpr size_t kMaxLine = 65536;
    // The next whole line read (without its end), when there is one, and its
    // length as it was typed (more than the line's when it was cut).
    bool Take(std::string* line, size_t* typedLength = nullptr);

private:
    struct SLine {
        std::string text;
        size_t length = 0;
    };
    void Read();
    CSysThread m_thread;
    std::atomic<bool> m_stop{false};
    std::mutex m_lock;
    std::deque<SLine> m_lines;
};
