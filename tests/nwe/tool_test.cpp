// The nwe_peer tool end to end: an echo listener and a sender as two
// processes, on 127.0.0.1, plainly and under the kernel's netem impairment in
// a network namespace when the machine allows it.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string ToolPath() {
    const char* build = std::getenv("TESSARAK_BUILD");
    return std::string(build ? build : ".") + "/install/System/nwe_peer";
}

// Runs a shell command, returning its exit status and output.
int RunShell(const std::string& cmd, std::string* out) {
    FILE* f = popen((cmd + " 2>&1").c_str(), "r");
    if (!f) return -1;
    char buf[512];
    out->clear();
    while (std::fgets(buf, sizeof buf, f)) *out += buf;
    int st = pclose(f);
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

// The echo side as a child process; its first line gives the port.
struct SEcho {
    pid_t pid = -1;
    int port = 0;
    explicit SEcho(const std::string& prefix) {
        int fds[2];
        if (pipe(fds) != 0) return;
        pid = fork();
        if (pid == 0) {
            dup2(fds[1], 1);
            close(fds[0]);
            std::string cmd = prefix + "'" + ToolPath() + "' --port 0 --echo --seconds 60";
            execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        FILE* f = fdopen(fds[0], "r");
        char line[128] = {0};
        if (f && std::fgets(line, sizeof line, f)) std::sscanf(line, "LISTENING 127.0.0.1 %d", &port);
        if (f) fclose(f);
    }
    ~SEcho() {
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    }
};

// The sender's report is its last line.
std::string LastLine(const std::string& out) {
    size_t end = out.size();
    if (end && out[end - 1] == '\n') --end;
    size_t start = out.rfind('\n', end ? end - 1 : 0);
    start = start == std::string::npos ? 0 : start + 1;
    return out.substr(start, end - start);
}

}  // namespace

TEST(NwePeerTool, EchoAndSendOverLoopback) {
    SEcho echo("exec ");
    ASSERT_GT(echo.port, 0);
    std::string out;
    std::string base = "'" + ToolPath() + "' --timeout 10 --remote 127.0.0.1:" + std::to_string(echo.port);
    EXPECT_EQ(RunShell(base + " --send 150:32:300", &out), 0) << out;
    EXPECT_EQ(LastLine(out), "SUMMARY sent=300 acked=300 echoed=300") << out;
    EXPECT_EQ(RunShell(base + " --send 199:3000:5", &out), 0) << out;
    EXPECT_EQ(LastLine(out), "SUMMARY sent=5 acked=5 echoed=5") << out;
    // An id the echo side does not serve is never acknowledged: no success.
    EXPECT_NE(RunShell(base + " --timeout 1 --send 99:8:1", &out), 0) << out;
    EXPECT_EQ(LastLine(out), "SUMMARY sent=1 acked=0 echoed=0") << out;
}

TEST(NwePeerTool, EchoAndSendUnderNetem) {
    std::string ns = "tsknwe" + std::to_string(getpid());
    std::string out;
    if (RunShell("ip netns add " + ns, &out) != 0) GTEST_SKIP() << "no network namespaces here: " << out;
    struct SCleanup {
        std::string ns;
        ~SCleanup() {
            std::string o;
            RunShell("ip netns del " + ns, &o);
        }
    } cleanup{ns};
    std::string in = "ip netns exec " + ns + " ";
    if (RunShell(in + "ip link set lo up", &out) != 0)
        GTEST_SKIP() << "cannot bring up loopback in a namespace: " << out;
    if (RunShell(in + "tc qdisc add dev lo root netem loss 10% duplicate 5% delay 1ms 2ms reorder 5%",
                 &out) != 0)
        GTEST_SKIP() << "the kernel's netem is not available here (tc: " << out << ")";
    SEcho echo("exec " + in);
    ASSERT_GT(echo.port, 0);
    EXPECT_EQ(RunShell(in + "'" + ToolPath() + "' --timeout 20 --remote 127.0.0.1:" +
                           std::to_string(echo.port) + " --send 120:200:300",
                       &out),
              0)
        << out;
    EXPECT_EQ(LastLine(out), "SUMMARY sent=300 acked=300 echoed=300") << out;
}
