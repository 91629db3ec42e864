// Programs that a test starts as child processes: the game, a tool, an X
// server. A child gets the test's environment with the test's changes, a
// working folder of its own and a pipe that a reader thread drains into the
// output the test reads; stopping it is polite first (SIGTERM), then not.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

struct SProcessOptions {
    // A path, or a name looked up on PATH.
    std::string program;
    std::vector<std::string> args;  // after the program's own name
    std::string workDir;            // empty: the test's current folder
    // Set on top of the test's environment (an empty value sets it empty; a
    // name given twice takes its last value); the names in unset are removed
    // first.
    std::vector<std::pair<std::string, std::string>> env;
    std::vector<std::string> unset;
    // The descriptor the pipe becomes in the child: 1 gathers standard output
    // (and standard error, with errorsToo); another (an X server's
    // -displayfd 3) leaves both on /dev/null. What is not gathered goes to
    // /dev/null.
    int outputFd = 1;
    bool errorsToo = true;
    // A user (and group) id the child runs as, when the test runs as root;
    // -1 keeps the test's own.
    int asUser = -1;
    // The child's standard input is a pipe the test writes into (Write);
    // otherwise it is the test's own.
    bool input = false;
};

class CTestProcess {
public:
    CTestProcess() = default;
    ~CTestProcess();
    CTestProcess(const CTestProcess&) = delete;
    CTestProcess& operator=(const CTestProcess&) = delete;

    // False when the program could not be started (not found, no pipe).
    bool Start(const SProcessOptions& options);
    pid_t Pid() const { return m_pid; }

    // Writes into the child's standard input (started with input); false when
    // it cannot take it.
    bool Write(const std::string& text);
    // Everything the child wrote so far.
    std::string Output();
    // Waits until the output holds text, the child closed the pipe, or the
    // time ran out; true when the text is there.
    bool WaitForOutput(const std::string& text, double seconds);
    // The same for a whole line (partial: a line that holds the text).
    bool WaitForLine(const std::string& text, double seconds, bool partial = false);
    bool HasLine(const std::string& text, bool partial = false);
    int CountLines(const std::string& text);

    // Waits for the child to end: its exit code, or 128 plus the signal that
    // ended it. After the time it is killed, timedOut (when given) is set.
    int Wait(double seconds, bool* timedOut = nullptr);
    // Waits for the child to end as Wait does, but leaves its input open and
    // goes on reading the output (what the child started may use both): the
    // exit code, or -1 when it still runs after the time.
    int WaitForExit(double seconds);
    // SIGTERM, up to graceSeconds to end, then SIGKILL; the exit code as Wait.
    int Stop(double graceSeconds = 5.0);

private:
    void Read(int fd);
    // Waits up to the seconds for the child to end; true once it has (its
    // exit code kept), or when there is none.
    bool Reap(double seconds);

    pid_t m_pid = -1;
    int m_exitCode = -1;
    int m_input = -1;  // the write end of the child's standard input
    std::thread m_reader;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::string m_output;
    bool m_closed = false;
    std::atomic<bool> m_stopReading{false};
};

// Runs a command line with /bin/sh to its end: its exit code (-1 when it
// could not run) with standard output, and standard error with errorsToo, in
// out.
int Test_RunShell(const std::string& command, std::string* out, bool errorsToo = true);
