// nwe_relay: an impairment relay between one client and a UDP server on this
// machine, for playing games through a bad network.
//
//   nwe_relay --server 127.0.0.1:P [--loss F] [--duplicate F] [--delay F]
//             [--delay-ms MIN:MAX] [--corrupt F] [--seed N] [--seconds S]
//       prints "RELAY 127.0.0.1:<port>": a client that sends there talks to
//       the server through the relay, which drops the share F of the
//       datagrams (--loss), sends F twice (--duplicate), holds F back for MIN
//       to MAX milliseconds so that others overtake them (--delay, 2:6 by
//       default) and flips one bit in F of them (--corrupt; only where the
//       datagram's CRC reaches, as UDP's checksum guards the rest), in both
//       directions, seeded. It runs for S seconds (until killed by default),
//       printing its counts every 10 s and at the end:
//       "COUNTS forwarded=N dropped=N duplicated=N delayed=N corrupted=N".
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "tools/lib/UdpRelay.h"

namespace {
std::atomic<bool> g_stop{false};
void OnSignal(int) {
    g_stop.store(true);
}

void PrintCounts(CUdpRelay& relay) {
    SRelayCounts c = relay.GetCounts();
    std::printf("COUNTS forwarded=%llu dropped=%llu duplicated=%llu delayed=%llu corrupted=%llu\n",
                (unsigned long long)c.forwarded, (unsigned long long)c.dropped,
                (unsigned long long)c.duplicated, (unsigned long long)c.delayed,
                (unsigned long long)c.corrupted);
    std::fflush(stdout);
}

int Usage() {
    std::fprintf(stderr,
                 "usage: nwe_relay --server 127.0.0.1:PORT [--loss F] [--duplicate F] [--delay F]\n"
                 "                 [--delay-ms MIN:MAX] [--corrupt F] [--seed N] [--seconds S]\n");
    return 2;
}
}  // namespace

int main(int argc, char** argv) {
    SNetAddress server;
    bool haveServer = false;
    SRelayImpairment imp;
    uint32_t seed = 1;
    double seconds = 0.0;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (i + 1 >= argc) return Usage();
        const char* v = argv[++i];
        if (a == "--server") {
            haveServer = Net_ParseAddress(v, &server) && server.port != 0;
        } else if (a == "--loss") {
            imp.loss = std::atof(v);
        } else if (a == "--duplicate") {
            imp.duplicate = std::atof(v);
        } else if (a == "--delay") {
            imp.delay = std::atof(v);
        } else if (a == "--delay-ms") {
            if (std::sscanf(v, "%d:%d", &imp.delayMinMs, &imp.delayMaxMs) != 2 || imp.delayMinMs < 0 ||
                imp.delayMaxMs < imp.delayMinMs)
                return Usage();
        } else if (a == "--corrupt") {
            imp.corrupt = std::atof(v);
        } else if (a == "--seed") {
            seed = static_cast<uint32_t>(std::strtoul(v, nullptr, 10));
        } else if (a == "--seconds") {
            seconds = std::atof(v);
        } else {
            return Usage();
        }
    }
    if (!haveServer) return Usage();
    CUdpRelay relay(server, seed);
    relay.SetImpairment(imp, imp);
    if (!relay.Start()) {
        std::fprintf(stderr, "nwe_relay: no socket\n");
        return 1;
    }
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::printf("RELAY %s\n", Net_FormatAddress(relay.GetAddress()).c_str());
    std::fflush(stdout);
    auto start = std::chrono::steady_clock::now();
    auto report = start;
    while (!g_stop.load()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        auto now = std::chrono::steady_clock::now();
        if (seconds > 0 && std::chrono::duration<double>(now - start).count() >= seconds) break;
        if (now - report >= std::chrono::seconds(10)) {
            report = now;
            PrintCounts(relay);
        }
    }
    relay.Stop();
    PrintCounts(relay);
    return 0;
}
