// tessarak_master: the master server games meet through. It lists the game
// servers that register with it (StartPublicServer) for the games that look
// for one (FindServers), and carries the chat of channels and users.
//
//   tessarak_master [--port P] [--bind A.B.C.D] [--timeout S] [--seconds S]
//                   [--max-servers N] [--max-users N] [--max-channels N]
//                   [--per-address N] [--heartbeat S] [--status S] [--verbose]
//
// --port: the UDP port (default 45422, the games' nw_ClientPort + 100; 0
// picks one); --bind: the address to listen on (default every address);
// --timeout: seconds a silent game keeps its entry or its chat user
// (default 15); --seconds: stop after that long (default: run until
// SIGINT or SIGTERM); --heartbeat: how often the master tells every game it
// is there (default 3 s: the games' nw_MasterTimeout must be longer);
// --status: print the counts every S seconds. It
// prints "LISTENING <address> <port>" once it listens, and exits 0 when
// stopped, 1 when the port cannot be bound.
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tools/lib/MasterServer.h"

namespace {
std::atomic<bool> g_stop{false};
void OnSignal(int) {
    g_stop.store(true);
}

void Usage() {
    std::fprintf(stderr,
                 "usage: tessarak_master [--port P] [--bind A.B.C.D] [--timeout S] [--seconds S]\n"
                 "                       [--max-servers N] [--max-users N] [--max-channels N]\n"
                 "                       [--per-address N] [--heartbeat S] [--status S] [--verbose]\n");
}
}  // namespace

int main(int argc, char** argv) {
    SMasterServerConfig config;
    double seconds = 0.0, status = 0.0;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        bool hasValue = i + 1 < argc;
        auto number = [&](double lo, double hi, double* out) {
            if (!hasValue) return false;
            char* end = nullptr;
            double v = std::strtod(argv[++i], &end);
            if (!end || *end || !(v >= lo && v <= hi)) return false;
            *out = v;
            return true;
        };
        double v = 0.0;
        if (a == "--verbose") {
            config.verbose = true;
        } else if (a == "--bind" && hasValue) {
            SNetAddress at;
            if (!Net_ParseAddress(argv[++i], &at) || at.port != 0) return Usage(), 2;
            config.bind.ip = at.ip;
        } else if (a == "--port" && number(0, 65535, &v)) {
            config.bind.port = static_cast<uint16_t>(v);
        } else if (a == "--timeout" && number(1, 3600, &v)) {
            config.linkTimeout = static_cast<float>(v);
        } else if (a == "--heartbeat" && number(0.05, 60, &v)) {
            config.heartbeat = static_cast<float>(v);
        } else if (a == "--seconds" && number(0, 1e9, &v)) {
            seconds = v;
        } else if (a == "--status" && number(0, 1e9, &v)) {
            status = v;
        } else if (a == "--max-servers" && number(1, 1 << 20, &v)) {
            config.maxServers = static_cast<int>(v);
        } else if (a == "--max-users" && number(1, 1 << 20, &v)) {
            config.maxUsers = static_cast<int>(v);
        } else if (a == "--max-channels" && number(1, 65536, &v)) {
            config.maxChannels = static_cast<int>(v);
        } else if (a == "--per-address" && number(1, 1 << 20, &v)) {
            config.linksPerAddress = static_cast<int>(v);
        } else {
            Usage();
            return 2;
        }
    }
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGPIPE, SIG_IGN);

    CMasterServer master(config);
    if (!master.Open()) {
        std::fprintf(stderr, "tessarak_master: cannot listen on %s\n",
                     Net_FormatAddress(config.bind).c_str());
        return 1;
    }
    SNetAddress at = master.Address();
    std::string host = Net_FormatAddress(at);
    std::printf("LISTENING %s %d\n", host.substr(0, host.rfind(':')).c_str(), (int)at.port);
    std::fflush(stdout);

    using Clock = std::chrono::steady_clock;
    auto start = Clock::now();
    auto nextStatus = start;
    while (!g_stop.load()) {
        master.Step(20);
        auto now = Clock::now();
        if (seconds > 0.0 && std::chrono::duration<double>(now - start).count() >= seconds) break;
        if (status > 0.0 && now >= nextStatus) {
            std::printf("SERVERS %zu USERS %zu CHANNELS %zu REFUSED %llu LINKS %zu UNANSWERED %zu\n",
                        master.ServerCount(), master.UserCount(), master.ChannelCount(),
                        (unsigned long long)master.RefusedCount(), master.LinkCount(), master.PendingCount());
            std::fflush(stdout);
            nextStatus =
                now + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(status));
        }
    }
    return 0;
}
