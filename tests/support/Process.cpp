#include "tests/support/Process.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <sstream>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

std::string FindOnPath(const std::string& program) {
    if (program.find('/') != std::string::npos) return program;
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path ? path : "/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        std::string candidate = (dir.empty() ? "." : dir) + "/" + program;
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return std::string();
}

bool LineMatches(const std::string& line, const std::string& text, bool partial) {
    return partial ? line.find(text) != std::string::npos : line == text;
}

int ExitCode(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

CTestProcess::~CTestProcess() {
    Stop();
}

bool CTestProcess::Start(const SProcessOptions& options) {
    if (m_pid > 0) return false;
    std::string program = FindOnPath(options.program);
    if (program.empty()) return false;

    // Everything the child needs is built here: between fork and exec it only
    // moves descriptors, which is safe in a process with threads.
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        std::string entry = *e;
        std::string name = entry.substr(0, entry.find('='));
        bool drop = false;
        for (const std::string& u : options.unset) drop = drop || u == name;
        for (const auto& kv : options.env) drop = drop || kv.first == name;
        if (!drop) env.push_back(entry);
    }
    // A name given twice takes its last value.
    for (size_t i = 0; i < options.env.size(); ++i) {
        bool later = false;
        for (size_t j = i + 1; j < options.env.size(); ++j)
            later = later || options.env[j].first == options.env[i].first;
        if (!later) env.push_back(options.env[i].first + "=" + options.env[i].second);
    }
    std::vector<char*> envp;
    for (std::string& s : env) envp.push_back(s.data());
    envp.push_back(nullptr);
    std::vector<std::string> args = {options.program};
    args.insert(args.end(), options.args.begin(), options.args.end());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    // Close-on-exec, so that no other child keeps the pipe open after this
    // one ends.
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return false;
    int devnull = open("/dev/null", O_WRONLY | O_CLOEXEC);
    int in[2] = {-1, -1};
    if (options.input && pipe2(in, O_CLOEXEC) != 0) {
        close(fds[0]);
        close(fds[1]);
        if (devnull >= 0) close(devnull);
        return false;
    }
    const char* workDir = options.workDir.empty() ? nullptr : options.workDir.c_str();
    const int outputFd = options.outputFd;
    const bool errorsToo = options.errorsToo;
    const int asUser = options.asUser;

    m_pid = fork();
    if (m_pid == 0) {
        if (in[0] >= 0) dup2(in[0], 0);
        if (outputFd == 1) {
            dup2(fds[1], 1);
            if (errorsToo)
                dup2(fds[1], 2);
            else if (devnull >= 0)
                dup2(devnull, 2);
        } else {
            if (devnull >= 0) {
                dup2(devnull, 1);
                dup2(devnull, 2);
            }
            dup2(fds[1], outputFd);
        }
        if (workDir && chdir(workDir) != 0) _exit(126);
        if (asUser >= 0 && (setgroups(0, nullptr) != 0 || setgid(asUser) != 0 || setuid(asUser) != 0))
            _exit(125);
        execve(program.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    close(fds[1]);
    if (devnull >= 0) close(devnull);
    if (in[0] >= 0) close(in[0]);
    m_input = in[1];
    if (m_pid < 0) {
        close(fds[0]);
        if (m_input >= 0) close(m_input);
        m_input = -1;
        return false;
    }
    m_closed = false;
    m_stopReading = false;
    m_reader = std::thread(&CTestProcess::Read, this, fds[0]);
    return true;
}

void CTestProcess::Read(int fd) {
    char buf[4096];
    for (;;) {
        // A child that left the pipe open in a process of its own must not
        // keep the reader from ending once the child is gone.
        pollfd p{fd, POLLIN, 0};
        int ready = poll(&p, 1, 50);
        if (ready == 0) {
            if (m_stopReading) break;
            continue;
        }
        if (ready < 0 && errno == EINTR) continue;
        ssize_t n = ready < 0 ? -1 : read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        std::lock_guard<std::mutex> lock(m_mutex);
        m_output.append(buf, (size_t)n);
        m_changed.notify_all();
    }
    close(fd);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_closed = true;
    m_changed.notify_all();
}

bool CTestProcess::Write(const std::string& text) {
    // A child that is gone must not end the test with SIGPIPE.
    static const bool kIgnored = signal(SIGPIPE, SIG_IGN) != SIG_ERR;
    (void)kIgnored;
    size_t done = 0;
    while (m_input >= 0 && done < text.size()) {
        ssize_t n = write(m_input, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += (size_t)n;
    }
    return m_input >= 0;
}

std::string CTestProcess::Output() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_output;
}

bool CTestProcess::WaitForOutput(const std::string& text, double seconds) {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait_for(lock, std::chrono::duration<double>(seconds),
                       [&] { return m_output.find(text) != std::string::npos || m_closed; });
    return m_output.find(text) != std::string::npos;
}

bool CTestProcess::WaitForLine(const std::string& text, double seconds, bool partial) {
    auto has = [&] {
        std::istringstream in(m_output);
        std::string line;
        while (std::getline(in, line))
            if (LineMatches(line, text, partial)) return true;
        return false;
    };
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait_for(lock, std::chrono::duration<double>(seconds), [&] { return has() || m_closed; });
    return has();
}

bool CTestProcess::HasLine(const std::string& text, bool partial) {
    return WaitForLine(text, 0.0, partial);
}

int CTestProcess::CountLines(const std::string& text) {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::istringstream in(m_output);
    std::string line;
    int n = 0;
    while (std::getline(in, line)) n += line == text;
    return n;
}

bool CTestProcess::Reap(double seconds) {
    if (m_pid <= 0) return true;
    auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
    int status = 0;
    pid_t done = 0;
    while ((done = waitpid(m_pid, &status, WNOHANG)) == 0 && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (done == 0) return false;
    m_exitCode = done == m_pid ? ExitCode(status) : -1;
    m_pid = -1;
    return true;
}

int CTestProcess::Wait(double seconds, bool* timedOut) {
    if (timedOut) *timedOut = false;
    if (m_input >= 0) {
        close(m_input);  // the end of the child's input
        m_input = -1;
    }
    if (!Reap(seconds)) {
        if (timedOut) *timedOut = true;
        kill(m_pid, SIGKILL);
        Reap(1e9);
    }
    if (m_reader.joinable()) {
        // What the child wrote last is still in the pipe: read it to the end,
        // unless something the child started holds the pipe open.
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_changed.wait_for(lock, std::chrono::seconds(2), [&] { return m_closed; });
        }
        m_stopReading = true;
        m_reader.join();
    }
    return m_exitCode;
}

int CTestProcess::WaitForExit(double seconds) {
    return Reap(seconds) ? m_exitCode : -1;
}

int CTestProcess::Stop(double graceSeconds) {
    if (m_pid > 0) kill(m_pid, SIGTERM);
    return Wait(graceSeconds);
}

int Test_RunShell(const std::string& command, std::string* out, bool errorsToo) {
    SProcessOptions options;
    options.program = "/bin/sh";
    options.args = {"-c", command};
    options.errorsToo = errorsToo;
    CTestProcess shell;
    if (!shell.Start(options)) return -1;
    // A command that never ends is the test's own time-out to catch.
    int code = shell.Wait(1e9);
    if (out) *out = shell.Output();
    return code;
}
