// The nwe_peer tool end to end: an echo listener and a sender as two
// processes, on 127.0.0.1, plainly and under the kernel's netem impairment in
// a network namespace when the machine allows it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "tests/nwe/NweTestKit.h"
#include "tests/support/Process.h"

namespace {

std::string ToolPath() {
    const char* build = std::getenv("TESSARAK_BUILD");
    return std::string(build ? build : ".") + "/install/System/nwe_peer";
}

// The echo side as a child process; its LISTENING line gives the port.
struct SEcho {
    CTestProcess process;
    int port = 0;
    explicit SEcho(const std::string& prefix) {
        SProcessOptions options;
        options.program = "/bin/sh";
        options.args = {"-c", prefix + "'" + ToolPath() + "' --port 0 --echo --seconds 60"};
        const char* line = "LISTENING 127.0.0.1 ";
        if (!process.Start(options) || !process.WaitForLine(line, 20, true)) return;
        std::string out = process.Output();
        std::sscanf(out.c_str() + out.find(line), "LISTENING 127.0.0.1 %d", &port);
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
    EXPECT_EQ(Test_RunShell(base + " --send 150:32:300", &out), 0) << out;
    EXPECT_EQ(LastLine(out), "SUMMARY sent=300 acked=300 echoed=300") << out;
    EXPECT_EQ(Test_RunShell(base + " --send 199:3000:5", &out), 0) << out;
    EXPECT_EQ(LastLine(out), "SUMMARY sent=5 acked=5 echoed=5") << out;
    // An id the echo side does not serve is never acknowledged: no success.
    EXPECT_NE(Test_RunShell(base + " --timeout 1 --send 99:8:1", &out), 0) << out;
    EXPECT_EQ(LastLine(out), "SUMMARY sent=1 acked=0 echoed=0") << out;
}

TEST(NwePeerTool, SizesBeyondTheLargestMessageAreRefused) {
    std::string out;
    EXPECT_EQ(Test_RunShell("'" + ToolPath() + "' --remote 127.0.0.1:9 --send 100:4294967295:1", &out), 2)
        << out;
    EXPECT_NE(out.find("larger than the largest"), std::string::npos) << out;
    EXPECT_EQ(
        Test_RunShell("'" + ToolPath() + "' --remote 127.0.0.1:9 --send 100:99999999999999999999:1", &out), 2)
        << out;
}

TEST(NwePeerTool, JunkSendersDoNotLockARealOneOut) {
    SEcho echo("exec ");
    ASSERT_GT(echo.port, 0);
    SNetAddress at{kNetLoopback, static_cast<uint16_t>(echo.port)};
    // 64 senders of one byte, then 64 of a valid message who never answer.
    std::vector<std::unique_ptr<CRawEndpoint>> junk;
    for (int i = 0; i < 64; ++i) {
        junk.emplace_back(new CRawEndpoint);
        junk.back()->Send({0x42}, at);
    }
    std::vector<uint8_t> message(16);
    message.resize(NWE_WriteFirstPart(message.data(), message.size(), 150, 1, false, 0, 4,
                                      reinterpret_cast<const uint8_t*>("junk"), 4, true, 1));
    for (auto& j : junk) j->Send(MakeDatagram(EPacketForm::SequencedCrc, 1, 1, true, 127, 13, message), at);
    std::string out;
    EXPECT_EQ(Test_RunShell("'" + ToolPath() + "' --timeout 10 --remote 127.0.0.1:" +
                                std::to_string(echo.port) + " --send 150:32:100",
                            &out),
              0)
        << out;
    EXPECT_EQ(LastLine(out), "SUMMARY sent=100 acked=100 echoed=100") << out;
}

TEST(NwePeerTool, EchoAndSendUnderNetem) {
    std::string ns = "tsknwe" + std::to_string(getpid());
    std::string out;
    if (Test_RunShell("ip netns add " + ns, &out) != 0) GTEST_SKIP() << "no network namespaces here: " << out;
    struct SCleanup {
        std::string ns;
        ~SCleanup() {
            std::string o;
            Test_RunShell("ip netns del " + ns, &o);
        }
    } cleanup{ns};
    std::string in = "ip netns exec " + ns + " ";
    if (Test_RunShell(in + "ip link set lo up", &out) != 0)
        GTEST_SKIP() << "cannot bring up loopback in a namespace: " << out;
    if (Test_RunShell(in + "tc qdisc add dev lo root netem loss 10% duplicate 5% delay 1ms 2ms reorder 5%",
                      &out) != 0)
        GTEST_SKIP() << "the kernel's netem is not available here (tc: " << out << ")";
    SEcho echo("exec " + in);
    ASSERT_GT(echo.port, 0);
    EXPECT_EQ(Test_RunShell(in + "'" + ToolPath() + "' --timeout 20 --remote 127.0.0.1:" +
                                std::to_string(echo.port) + " --send 120:200:300",
                            &out),
              0)
        << out;
    EXPECT_EQ(LastLine(out), "SUMMARY sent=300 acked=300 echoed=300") << out;
}
