#include "tools/lib/UdpRelay.h"

#include <chrono>
#include <queue>
#include <random>
#include <vector>

#include "nwe/Wire.h"

namespace {

using Clock = std::chrono::steady_clock;

struct SHeld {
    Clock::time_point due;
    uint64_t order;
    std::vector<uint8_t> bytes;
    SNetAddress to;
    bool operator>(const SHeld& o) const { return due != o.due ? due > o.due : order > o.order; }
};

}  // namespace

struct CUdpRelay::SImpl {
    SNetAddress server;
    SNetAddress client;
    bool haveClient = false;
    int handle = -1;
    std::mt19937_64 rng;
    std::mutex lock;
    SRelayImpairment toServer, toClient;
    SRelayCounts counts;
    std::priority_queue<SHeld, std::vector<SHeld>, std::greater<SHeld>> held;
    uint64_t order = 0;
    CNetPoller poller;
    std::atomic<bool> stop{false};
    std::thread thread;
};

CUdpRelay::CUdpRelay(const SNetAddress& server, uint32_t seed) : m_impl(new SImpl) {
    m_impl->server = server;
    m_impl->rng.seed(seed);
}

CUdpRelay::~CUdpRelay() {
    Stop();
    delete m_impl;
}

void CUdpRelay::SetImpairment(const SRelayImpairment& toServer, const SRelayImpairment& toClient) {
    std::lock_guard<std::mutex> l(m_impl->lock);
    m_impl->toServer = toServer;
    m_impl->toClient = toClient;
}

SRelayCounts CUdpRelay::GetCounts() {
    std::lock_guard<std::mutex> l(m_impl->lock);
    return m_impl->counts;
}

bool CUdpRelay::Start() {
    int err = 0;
    m_impl->handle = Net_UdpOpen(SNetAddress{kNetLoopback, 0}, &err);
    if (m_impl->handle < 0 || !Net_UdpGetName(m_impl->handle, &m_address, &err)) return false;
    SImpl* s = m_impl;
    std::atomic<bool>* blackout = &m_blackout;
    s->thread = std::thread([s, blackout] {
        std::vector<uint8_t> buf(2048);
        std::vector<int> ready;
        std::uniform_real_distribution<double> chance(0.0, 1.0);
        while (!s->stop.load()) {
            int timeout = 100;
            {
                std::lock_guard<std::mutex> l(s->lock);
                if (!s->held.empty()) {
                    auto wait = std::chrono::duration_cast<std::chrono::microseconds>(s->held.top().due -
                                                                                      Clock::now())
                                    .count();
                    timeout = wait <= 0 ? 0 : static_cast<int>((wait + 999) / 1000);
                }
            }
            s->poller.Wait({s->handle}, timeout, &ready);
            for (;;) {
                size_t got = 0;
                SNetAddress from;
                int err = 0;
                ENetIo io = Net_UdpReceive(s->handle, buf.data(), buf.size(), &got, &from, &err);
                if (io == ENetIo::WouldBlock || io == ENetIo::Error) break;
                if (io != ENetIo::Ok) continue;
                std::lock_guard<std::mutex> l(s->lock);
                bool fromServer = from == s->server;
                if (!fromServer) {
                    s->client = from;
                    s->haveClient = true;
                } else if (!s->haveClient) {
                    continue;
                }
                const SRelayImpairment& imp = fromServer ? s->toClient : s->toServer;
                SNetAddress to = fromServer ? s->client : s->server;
                if (blackout->load() || chance(s->rng) < imp.loss) {
                    ++s->counts.dropped;
                    continue;
                }
                std::vector<uint8_t> bytes(buf.begin(), buf.begin() + got);
                // Bits flip only where the datagram's CRC reaches: on a real
                // network UDP's own checksum guards the header in front of it.
                size_t covered = NWE_CrcCoveredStart(bytes.data(), bytes.size());
                if (covered < bytes.size() && chance(s->rng) < imp.corrupt) {
                    size_t bit = covered * 8 + s->rng() % ((bytes.size() - covered) * 8);
                    bytes[bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
                    ++s->counts.corrupted;
                }
                int copies = chance(s->rng) < imp.duplicate ? 2 : 1;
                if (copies == 2) ++s->counts.duplicated;
                for (int c = 0; c < copies; ++c) {
                    Clock::time_point due = Clock::now();
                    if (chance(s->rng) < imp.delay) {
                        int span = imp.delayMaxMs - imp.delayMinMs + 1;
                        due += std::chrono::milliseconds(imp.delayMinMs +
                                                         static_cast<int>(s->rng() % (span > 0 ? span : 1)));
                        ++s->counts.delayed;
                    }
                    s->held.push(SHeld{due, s->order++, bytes, to});
                }
            }
            std::lock_guard<std::mutex> l(s->lock);
            while (!s->held.empty() && s->held.top().due <= Clock::now()) {
                const SHeld& h = s->held.top();
                int err = 0;
                Net_UdpSend(s->handle, h.bytes.data(), h.bytes.size(), h.to, &err);
                ++s->counts.forwarded;
                s->held.pop();
            }
        }
    });
    return true;
}

void CUdpRelay::Stop() {
    if (!m_impl->thread.joinable()) return;
    m_impl->stop.store(true);
    m_impl->poller.Wake();
    m_impl->thread.join();
    Net_UdpClose(m_impl->handle);
    m_impl->handle = -1;
}
