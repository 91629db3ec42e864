// Two game programs on 127.0.0.1: one hosts (StartServer), the other joins
// (Connect) through a relay of the test's own that reads every datagram with
// the game's message table. The join goes in the order of its requests and
// answers, both games say "Clienty entered the game", the frames' counts come
// every tick with PLAYERS and PING once a second, and Disconnect leaves
// cleanly on both sides. The games take their commands on standard input.
#include "tests/support/Process.h"

#include <gtest/gtest.h>
#include <poll.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "netgame/NetMessages.h"
#include "nwe/Datagram.h"
#include "tests/nwe/NweTestKit.h"
#include "tests/support/GameRun.h"
#include "tests/support/Installation.h"
#include "tests/support/TempDir.h"

namespace {
using Clock = std::chrono::steady_clock;

// Forwards between one client and the server, and notes every message.
class CSniffer {
public:
    struct SSeen {
        bool toServer;
        uint16_t id;
        double at;  // seconds since the relay started
    };

    explicit CSniffer(uint16_t serverPort) : m_server{kNetLoopback, serverPort} {
        size_t n = 0;
        const SNetMessageRow* rows = NetMessage_Table(&n);
        for (size_t i = 0; i < n; ++i)
            m_types.Register(rows[i].name, rows[i].id, nullptr, nullptr, nullptr, nullptr, nullptr,
                             rows[i].cls, rows[i].priority, rows[i].delay, 0, rows[i].shortHeader);
        int err = 0;
        m_front = Net_UdpOpen(SNetAddress{kNetLoopback, 0}, &err);
        m_back = Net_UdpOpen(SNetAddress{kNetLoopback, 0}, &err);
        Net_UdpGetName(m_front, &m_address, &err);
        m_start = Clock::now();
        m_thread = std::thread([this] { Run(); });
    }
    ~CSniffer() {
        m_stop = true;
        m_thread.join();
        Net_UdpClose(m_front);
        Net_UdpClose(m_back);
    }
    SNetAddress Address() const { return m_address; }
    std::vector<SSeen> Seen() {
        std::lock_guard<std::mutex> l(m_lock);
        return m_seen;
    }
    // Waits until a message was seen later than at (seconds since the relay
    // started); false when none came within the time-out.
    bool WaitForMessageAfter(double at, double timeout) {
        std::unique_lock<std::mutex> l(m_lock);
        return m_noted.wait_for(l, std::chrono::duration<double>(at + timeout - Now()),
                                [&] { return !m_seen.empty() && m_seen.back().at > at; });
    }

private:
    void Run() {
        std::vector<uint8_t> buf(2048);
        while (!m_stop) {
            pollfd p[2] = {{m_front, POLLIN, 0}, {m_back, POLLIN, 0}};
            if (poll(p, 2, 20) <= 0) continue;
            for (int side = 0; side < 2; ++side) {
                if (!(p[side].revents & POLLIN)) continue;
                size_t got = 0;
                SNetAddress from;
                int err = 0;
                int h = side == 0 ? m_front : m_back;
                while (Net_UdpReceive(h, buf.data(), buf.size(), &got, &from, &err) == ENetIo::Ok) {
                    if (side == 0) m_client = from;
                    Note(side == 0, buf.data(), got);
                    Net_UdpSend(side == 0 ? m_back : m_front, buf.data(), got,
                                side == 0 ? m_server : m_client, &err);
                }
            }
        }
    }
    void Note(bool toServer, const uint8_t* data, size_t size) {
        SDatagram d;
        if (NWE_ReadDatagram(data, size, 13, true, m_engine.GetSystemRegistry(), &m_types, &d) !=
            EDatagramError::None)
            return;
        double at = Now();
        {
            std::lock_guard<std::mutex> l(m_lock);
            for (const SWirePart& part : d.parts)
                if (part.start) m_seen.push_back({toServer, part.id, at});
        }
        m_noted.notify_all();
    }
    double Now() const { return std::chrono::duration<double>(Clock::now() - m_start).count(); }

    CTestEngine m_engine;
    NWEMessageTypes m_types{&m_engine};
    SNetAddress m_server, m_client, m_address;
    int m_front = -1, m_back = -1;
    Clock::time_point m_start;
    std::atomic<bool> m_stop{false};
    std::mutex m_lock;
    std::condition_variable m_noted;
    std::vector<SSeen> m_seen;
    std::thread m_thread;
};

uint16_t FreePort() {
    CRawEndpoint probe;
    return probe.Address().port;
}

bool StartGame(CTestProcess& game, const CTempDir& dir) {
    return Test_StartGame(game, dir);
}

// Where the first message of each (direction, id) of the list was seen.
size_t FirstAt(const std::vector<CSniffer::SSeen>& seen, bool toServer, uint16_t id) {
    for (size_t i = 0; i < seen.size(); ++i)
        if (seen[i].toServer == toServer && seen[i].id == id) return i;
    return seen.size();
}

int CountBetween(const std::vector<CSniffer::SSeen>& seen, bool toServer, uint16_t id, double from,
                 double to) {
    int n = 0;
    for (const CSniffer::SSeen& s : seen)
        n += s.toServer == toServer && s.id == id && s.at >= from && s.at < to;
    return n;
}
}  // namespace

TEST(NetProcesses, TwoGamesJoinPlayAndLeave) {
    CTempDir serverDir, clientDir;
    if (!Test_CopyInstallation(serverDir) || !Test_CopyInstallation(clientDir))
        FAIL() << "the game program is not built";
    uint16_t port = FreePort();
    // Interface frames at 25 a second are enough for 15 ticks: the two games
    // leave the machine's cores to the rest.
    serverDir.Write("Tessarak/Scripts/Autoexec.cfg",
                    "ge_MainSleep(1);\nName(\"Hosty\");\nStartServer(" + std::to_string(port) + ");\n");
    clientDir.Write("Tessarak/Scripts/Autoexec.cfg",
                    "ge_MainSleep(1);\nnw_ClientPort(0);\nName(\"Clienty\");\n");
    CSniffer relay(port);
    CTestProcess server, client;
    ASSERT_TRUE(StartGame(server, serverDir));
    ASSERT_TRUE(server.WaitForOutput("Server started on port " + std::to_string(port), 60))
        << server.Output();
    ASSERT_TRUE(StartGame(client, clientDir));
    // The client's own name has gone through its local game first.
    ASSERT_TRUE(client.WaitForOutput("Benchmark speed", 60)) << client.Output();
    for (int i = 0; i < 100 && client.Output().find("Clienty") == std::string::npos; ++i) {
        client.Write("ListPlayers();\n");
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    client.Write("Connect(\"" + Net_FormatAddress(relay.Address()) + "\");\n");
    ASSERT_TRUE(server.WaitForOutput("Clienty entered the game", 30)) << server.Output();
    ASSERT_TRUE(client.WaitForOutput("Clienty entered the game", 30)) << client.Output();
    EXPECT_NE(server.Output().find("Adding client to list on frame"), std::string::npos);

    // The join, request by answer, in its order.
    std::vector<CSniffer::SSeen> seen = relay.Seen();
    const struct {
        bool toServer;
        uint16_t id;
    } order[] = {
        {true, NS_NOTIFYTYPE_CONNECT},           {false, NS_NOTIFYTYPE_CONNECT},
        {true, NS_NOTIFYTYPE_CONNECTVALIDATE},   {false, NS_NOTIFYTYPE_CONNECTVALIDATE},
        {true, NS_NOTIFYTYPE_QUERY_GAMEDIR},     {false, NS_NOTIFYTYPE_GAMEDIR},
        {true, NS_NOTIFYTYPE_PING_AND_GET_TIME}, {false, NS_NOTIFYTYPE_PING_AND_GET_TIME},
        {true, NS_NOTIFYTYPE_ASSIGNPLAYERID},    {false, NS_NOTIFYTYPE_ASSIGNPLAYERID},
        {true, NS_NOTIFYTYPE_QUERY_PLAYERS},     {false, NS_NOTIFYTYPE_QUERY_PLAYERS},
        {true, NS_NOTIFYTYPE_PLAYER_REGISTER},   {true, NS_NOTIFYTYPE_CHANCHEMODECONNECTED},
        {false, NS_NOTIFYTYPE_SERVERINFO_MAP},
    };
    size_t last = 0;
    for (const auto& step : order) {
        size_t at = FirstAt(seen, step.toServer, step.id);
        ASSERT_LT(at, seen.size()) << step.id << (step.toServer ? " to the server" : " to the client");
        EXPECT_GE(at, last) << step.id << (step.toServer ? " to the server" : " to the client");
        last = at;
    }
    EXPECT_LT(FirstAt(seen, false, NS_NOTIFYTYPE_SETGAMESPEED),
              FirstAt(seen, false, NS_NOTIFYTYPE_CONNECTVALIDATE));

    // Three seconds of the lobby: the frames' counts every tick, PLAYERS and
    // PING once a second. The window closes when the relay has seen a
    // message after it, however long the games took to send it.
    double from = seen.back().at + 0.5;
    double to = from + 3.0;
    ASSERT_TRUE(relay.WaitForMessageAfter(to, 60.0)) << "no message after " << to << " s";
    seen = relay.Seen();
    int frames = CountBetween(seen, false, NS_NOTIFYTYPE_FRAME_INFO, from, to);
    EXPECT_GE(frames, 3 * 15 * 8 / 10) << "frame counts in 3 s";
    EXPECT_LE(frames, 3 * 15 * 12 / 10) << "frame counts in 3 s";
    for (auto s : {std::make_pair(false, (uint16_t)NS_NOTIFYTYPE_PLAYERS),
                   std::make_pair(true, (uint16_t)NS_NOTIFYTYPE_PING)}) {
        int n = CountBetween(seen, s.first, s.second, from, to);
        EXPECT_GE(n, 2) << s.second;
        EXPECT_LE(n, 4) << s.second;
    }

    client.Write("Disconnect();\n");
    EXPECT_TRUE(server.WaitForOutput("disconnected", 20)) << server.Output();
    // Both go on, each in its own game, and quit in order.
    client.Write("ListPlayers();\nQuit();\n");
    server.Write("Quit();\n");
    EXPECT_EQ(client.Wait(30), 0) << client.Output();
    EXPECT_EQ(server.Wait(30), 0) << server.Output();
    EXPECT_EQ(client.Output().find("Connection to server was lost"), std::string::npos);
}
