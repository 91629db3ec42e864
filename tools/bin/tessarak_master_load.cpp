// tessarak_master_load: simulated games against a master server, for its
// figures (bench/netgame/master_figures.sh).
//
//   tessarak_master_load --remote 127.0.0.1:P [--servers N] [--users N]
//                        [--channels N] [--seconds S] [--ramp S]
//                        [--forged N] [--forged-rate R]
//
// Each simulated game is a link of its own, from its own address of the
// 127/8 network, started one after another over the ramp (5 s): N game
// servers register and describe themselves, N chat users connect (answering
// the master's challenge as a game does) and join one of the channels.
// Then, for S seconds, every link keeps itself alive, each user says a line
// about every 30 s and asks for the server list about every 60 s, and each
// server changes its map about every 30 s. With --forged, a game's first
// CONNECT datagram is also sent from N addresses of their own (127.64.x.y
// and on), R a second (4,000), that never read an answer: forged CONNECTs.
// It prints "CONNECTED servers=a users=b after t s" once they are all
// accepted (or the time for it ran out), then "SUMMARY lines=n answers=m
// listed=k lost=l forged=f" (lines heard, list answers, servers in the last
// answer, links the engine gave up and made again, forged datagrams sent)
// and exits 0 when every link was accepted.
#include <chrono>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "netgame/MasterProtocol.h"
#include "nwe/NWE.h"
#include "world/WireText.h"

namespace {

struct SLoad {
    uint64_t lines = 0, answers = 0, listed = 0, accepted = 0, lost = 0;
};

class CLoadEngine : public NWEEngine {
public:
    CLoadEngine() : NWEEngine(Setup()) {}
    ~CLoadEngine() override { Shutdown(); }
    bool m_verbose = false;
    void ReportV(const char* fmt, va_list ap) override {
        if (!m_verbose) return;
        std::vfprintf(stderr, fmt, ap);
        std::fputc('\n', stderr);
    }
    static SNWEEngineSetup Setup() {
        SNWEEngineSetup s;
        s.threads = false;
        return s;
    }
};

struct SGame {
    NWESocket* socket = nullptr;
    NWEListEntry* link = nullptr;  // names the peer while it lives
    NWEPeer* peer = nullptr;       // taken for one turn
    bool server = false;
    bool accepted = false;
    bool challenged = false;  // the master's cookie came: the CONNECT goes again with it
    uint32_t cookie = 0;
    double nextConnect = 0, nextAction = 0, nextQuery = 0;
};

// The game of each peer made, for the master's answers.
std::unordered_map<const NWEPeer*, SGame*> g_gameOf;

void Count(NWEPeer* peer, NWEMessage* m, void* context) {
    SLoad* load = static_cast<SLoad*>(context);
    switch (m->GetId()) {
        case NS_VXM_CLIENT_CONNECT:
        case NS_VXM_SERVER_CONNECT:
            // The challenge (u32 kMasterChallenge, u32 cookie): the CONNECT
            // goes again, with the cookie, at the game's next turn.
            if (m->GetSize() == 8 && NWE_Get32(m->GetData()) == kMasterChallenge) {
                auto g = g_gameOf.find(peer);
                if (g != g_gameOf.end()) {
                    g->second->challenged = true;
                    g->second->cookie = NWE_Get32(m->GetData() + 4);
                    g->second->nextConnect = 0;
                }
                break;
            }
            if (m->GetSize() == 4 && NWE_Get32(m->GetData()) == kMasterAccepted && !peer->IsActive()) {
                peer->SetActive(true);
                ++load->accepted;
            }
            break;
        case NS_VXM_CLIENT_CHAT_SAY:
            ++load->lines;
            break;
        case NS_VXM_CLIENT_QUERY_ANSWER_SERVER:
            ++load->answers;
            if (m->GetSize() >= 4) load->listed = NWE_Get32(m->GetData());
            break;
        default:
            break;
    }
}

NWEPeer* NewPeer(SGame& game, NWEMessageTypes* registry, const SNetAddress& master) {
    NWEPeer* p = new NWEPeer(game.socket, registry, "load");
    g_gameOf[p] = &game;
    p->SetReceiveCrcSeed(kMasterCrcSeed);
    p->SetSendCrcSeed(kMasterCrcSeed);
    p->SetAddress(master);
    p->SetKeepAlive(true);
    return p;
}

void Send(NWEPeer* p, uint16_t id, const CStateArchive& ar) {
    p->SendMessage(id, ar.GetData(), static_cast<uint32_t>(ar.GetSize()));
}

// The first datagram of a game's chat link (its CONNECT), as it leaves the
// game: sent by a link of our own to a socket of our own and caught there.
std::vector<uint8_t> CatchConnect(CLoadEngine& engine, NWEMessageTypes* registry) {
    std::vector<uint8_t> bytes;
    int err = 0;
    int catcher = Net_UdpOpen(SNetAddress{kNetLoopback, 0}, &err);
    SNetAddress at;
    if (catcher < 0 || !Net_UdpGetName(catcher, &at, &err)) return bytes;
    SGame maker;
    maker.socket = new NWESocket(&engine);
    if (maker.socket->Open(SNetAddress{kNetLoopback, 0})) {
        NWEPeer* p = NewPeer(maker, registry, at);
        CStateArchive ar;
        ar.WriteU32(kMasterProtocolVersion);
        ar.WriteU8(7);
        WireText_Write(ar, "Forged");
        Send(p, NS_VXM_CLIENT_CONNECT, ar);
        p->Flush();
        uint8_t buf[2048];
        for (int i = 0; i < 200 && bytes.empty(); ++i) {
            size_t got = 0;
            SNetAddress from;
            if (Net_UdpReceive(catcher, buf, sizeof buf, &got, &from, &err) == ENetIo::Ok)
                bytes.assign(buf, buf + got);
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    maker.socket->Destroy();
    g_gameOf.clear();  // made before the games: nothing else is in it
    Net_UdpClose(catcher);
    return bytes;
}

}  // namespace

int main(int argc, char** argv) {
    SNetAddress master;
    int servers = 1000, users = 1000, channels = 10, forged = 0;
    double seconds = 30, ramp = 5.0, forgedRate = 4000.0;
    bool verbose = false;
    for (int i = 1; i < argc; ++i)
        if (std::string(argv[i]) == "--verbose") verbose = true;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string a = argv[i];
        if (a == "--verbose") {
            --i;
            continue;
        }
        if (a == "--remote")
            Net_ParseAddress(argv[i + 1], &master);
        else if (a == "--servers")
            servers = std::atoi(argv[i + 1]);
        else if (a == "--users")
            users = std::atoi(argv[i + 1]);
        else if (a == "--channels")
            channels = std::max(1, std::atoi(argv[i + 1]));
        else if (a == "--seconds")
            seconds = std::atof(argv[i + 1]);
        else if (a == "--ramp")
            ramp = std::atof(argv[i + 1]);
        else if (a == "--forged")
            forged = std::atoi(argv[i + 1]);
        else if (a == "--forged-rate")
            forgedRate = std::max(1.0, std::atof(argv[i + 1]));
    }
    if (master.port == 0) {
        std::fprintf(stderr,
                     "usage: tessarak_master_load --remote A.B.C.D:P [--servers N] [--users N] "
                     "[--channels N] [--seconds S] [--ramp S] [--forged N] [--forged-rate R]\n");
        return 2;
    }
    std::signal(SIGPIPE, SIG_IGN);
    CLoadEngine engine;
    engine.m_verbose = verbose;
    engine.SetTickThreadMode(0);
    SLoad load;
    NWEMessageTypes registry(&engine);
    size_t n = 0;
    const SMasterMessageRow* rows = MasterMessage_Table(&n);
    for (size_t i = 0; i < n; ++i)
        registry.Register(rows[i].name, rows[i].id, Count, &load, nullptr, nullptr, nullptr, rows[i].cls,
                          rows[i].priority, rows[i].delay, 1, rows[i].shortHeader);

    // Forged CONNECTs: a game's first datagram sent again from N addresses
    // 127.64.x.y and on that never read what comes back.
    std::vector<uint8_t> forgery;
    if (forged > 0) {
        forgery = CatchConnect(engine, &registry);
        if (forgery.empty()) {
            std::fprintf(stderr, "cannot make a CONNECT datagram to forge\n");
            return 1;
        }
    }
    int forgedSent = 0;

    // One link from each address 127.1.x.y (x, y from 1): the master sees
    // every game as a machine of its own.
    NWERefList links;
    std::vector<SGame> games(static_cast<size_t>(servers + users));
    for (size_t i = 0; i < games.size(); ++i) {
        SGame& g = games[i];
        g.server = static_cast<int>(i) < servers;
        uint32_t ip =
            0x7F010000u | (static_cast<uint32_t>(i / 250 + 1) << 8) | static_cast<uint32_t>(i % 250 + 1);
        g.socket = new NWESocket(&engine);
        if (!g.socket->Open(SNetAddress{ip, 0})) {
            std::fprintf(stderr, "cannot open a socket on %s\n",
                         Net_FormatAddress(SNetAddress{ip, 0}).c_str());
            return 1;
        }
        g.link = new NWEListEntry(&links, NewPeer(g, &registry, master));
        // They come two hundred a second.
        // The games start one after another over the ramp.
        g.nextConnect = ramp * static_cast<double>(i) / static_cast<double>(games.size());
    }

    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    auto now = [&] { return std::chrono::duration<double>(Clock::now() - start).count(); };
    std::mt19937 random(7);
    std::uniform_real_distribution<double> jitter(0.5, 1.5);
    bool connected = false;
    double holdUntil = 1e30, lastTick = 0;
    while (now() < holdUntil) {
        engine.Poll(1);
        double t = now();
        for (; forgedSent < forged && forgedSent < forgedRate * t; ++forgedSent) {
            const uint32_t k = static_cast<uint32_t>(forgedSent);
            const uint32_t ip =
                0x7F400000u + ((k / 62500) << 16) + (((k / 250) % 250 + 1) << 8) + k % 250 + 1;
            int err = 0;
            int h = Net_UdpOpen(SNetAddress{ip, 0}, &err);
            if (h < 0) continue;
            Net_UdpSend(h, forgery.data(), forgery.size(), master, &err);
            Net_UdpClose(h);
        }
        for (size_t i = 0; i < games.size(); ++i) {
            SGame& g = games[i];
            g.peer = NWEEngine::GetPeer(g.link);
            if (!g.peer) {
                // The engine gave the link up: a new one (a game connecting again).
                ++load.lost;
                if (g.accepted) --load.accepted;
                g.accepted = false;
                g.challenged = false;
                g.link->Destroy();
                g.link = new NWEListEntry(&links, NewPeer(g, &registry, master));
                continue;
            }
            if (verbose && g.peer->IsTimedOut())
                std::fprintf(stderr, "game %zu timed out at %.2f (accepted %d)\n", i, now(), (int)g.accepted);
            struct SRelease {
                NWEPeer* p;
                ~SRelease() { p->Release(); }
            } hold{g.peer};
            CStateArchive ar;
            if (!g.accepted && g.peer->IsActive()) {
                g.accepted = true;
                if (g.server) {
                    // The whole entry, as a game sends it.
                    ar.Reset();
                    WireText_Write(ar, ("Server " + std::to_string(i)).c_str());
                    Send(g.peer, NS_VXM_SERVER_NAME, ar);
                    ar.Reset();
                    ar.WriteU8(static_cast<uint8_t>(1 + i % 13));
                    Send(g.peer, NS_VXM_SERVER_LOCATION, ar);
                    ar.Reset();
                    WireText_Write(ar, "Skerry");
                    Send(g.peer, NS_VXM_SERVER_MAP, ar);
                    ar.Reset();
                    WireText_Write(ar, "Tessarak");
                    Send(g.peer, NS_VXM_SERVER_GAME, ar);
                } else {
                    ar.Reset();
                    WireText_Write(
                        ar, i % static_cast<size_t>(channels) == 0
                                ? "Main Chat"
                                : ("Room " + std::to_string(i % static_cast<size_t>(channels))).c_str());
                    Send(g.peer, NS_VXM_CLIENT_CHAT_JOINCHANNEL, ar);
                }
                g.nextAction = t + 30.0 * jitter(random);
                g.nextQuery = t + 60.0 * jitter(random);
            }
            if (!g.accepted && t >= g.nextConnect) {
                ar.Reset();
                ar.WriteU32(kMasterProtocolVersion);
                if (g.server) {
                    ar.WriteU32(0);
                } else {
                    ar.WriteU8(7);
                    WireText_Write(ar, ("User" + std::to_string(i)).c_str());
                }
                if (g.challenged) ar.WriteU32(g.cookie);
                Send(g.peer, g.server ? NS_VXM_SERVER_CONNECT : NS_VXM_CLIENT_CONNECT, ar);
                g.nextConnect = t + 2.0;
            }
            if (!connected || !g.accepted) continue;
            if (t >= g.nextAction) {
                g.nextAction = t + 30.0 * jitter(random);
                ar.Reset();
                WireText_Write(ar, g.server ? (random() & 1 ? "Skerry" : "FourWinds") : "a line of chat");
                Send(g.peer, g.server ? NS_VXM_SERVER_MAP : NS_VXM_CLIENT_CHAT_SAY, ar);
            }
            if (!g.server && t >= g.nextQuery) {
                g.nextQuery = t + 60.0 * jitter(random);
                ar.Reset();
                SMasterQueryFilter f;
                f.inProgress = 0;
                f.Write(ar);
                Send(g.peer, NS_VXM_CLIENT_QUERY, ar);
            }
        }
        if (t - lastTick >= 0.02) {
            engine.Tick(false);
            lastTick = t;
        }
        if (!connected && (load.accepted == games.size() || t > 60.0)) {
            connected = true;
            holdUntil = t + seconds;
            int s = 0, u = 0;
            for (const SGame& g : games) (g.server ? s : u) += g.accepted ? 1 : 0;
            std::printf("CONNECTED servers=%d users=%d after %.1f s\n", s, u, t);
            std::fflush(stdout);
        }
    }
    std::printf("SUMMARY lines=%llu answers=%llu listed=%llu lost=%llu forged=%d\n",
                (unsigned long long)load.lines, (unsigned long long)load.answers,
                (unsigned long long)load.listed, (unsigned long long)load.lost, forgedSent);
    for (SGame& g : games) g.socket->Destroy();
    return load.accepted == games.size() ? 0 : 1;
}
