// Helpers of the network engine's tests: a clock the test moves, an engine
// that the test drives (no threads of its own: the test reads its sockets and
// ticks it) and keeps its reports, a raw UDP endpoint to send hand-made
// datagrams and capture the engine's, and pumps that read sockets until a
// condition holds. Nothing here waits for time to pass: it waits for
// datagrams, and time moves only when a test advances the clock.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <functional>
#include <initializer_list>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "nwe/NWE.h"
#include "platform/sys/Clock.h"

// Engine time that moves only when the test says so.
class CManualClock {
public:
    static int64_t Read(void* self) { return static_cast<CManualClock*>(self)->m_now.load(); }
    void Advance(double seconds) { m_now.fetch_add(static_cast<int64_t>(seconds * kSysPerfFrequency)); }
    int64_t Now() const { return m_now.load(); }

private:
    std::atomic<int64_t> m_now{1000 * kSysPerfFrequency};
};

class CTestEngine : public NWEEngine {
public:
    // Driven by the test on the given clock; with `threads`, as the game runs
    // it (own threads, the real clock).
    explicit CTestEngine(CManualClock* clock = nullptr, bool threads = false)
        : NWEEngine(Setup(clock, threads)) {}
    ~CTestEngine() override { Shutdown(); }
    void ReportV(const char* fmt, va_list ap) override {
        char buf[512];
        std::vsnprintf(buf, sizeof buf, fmt, ap);
        std::lock_guard<std::mutex> l(m_lock);
        m_reports.push_back(buf);
    }
    bool HasReport(const std::string& part) {
        std::lock_guard<std::mutex> l(m_lock);
        for (auto& r : m_reports)
            if (r.find(part) != std::string::npos) return true;
        return false;
    }
    std::vector<std::string> Reports() {
        std::lock_guard<std::mutex> l(m_lock);
        return m_reports;
    }

private:
    static SNWEEngineSetup Setup(CManualClock* clock, bool threads) {
        SNWEEngineSetup s;
        s.threads = threads;
        if (clock) {
            s.clock = &CManualClock::Read;
            s.clockContext = clock;
        }
        return s;
    }
    std::mutex m_lock;
    std::vector<std::string> m_reports;
};

// Reads the engines' sockets until done() holds, waiting for datagrams (not
// for time) between reads. False when nothing more arrives for a few seconds
// of real time, the bound that keeps a failing test from hanging.
inline bool Pump(std::initializer_list<NWEEngine*> engines, const std::function<bool()>& done) {
    const auto giveUp = std::chrono::seconds(5);
    auto last = std::chrono::steady_clock::now();
    for (;;) {
        int read = 0;
        for (NWEEngine* e : engines) read += e->Poll(0);
        if (done()) return true;
        if (read > 0) {
            last = std::chrono::steady_clock::now();
            continue;
        }
        if (std::chrono::steady_clock::now() - last > giveUp) return false;
        for (NWEEngine* e : engines)
            if (e->Poll(engines.size() > 1 ? 1 : 50) > 0) break;
    }
}

// As Pump, and when no datagram is waiting, moves the clock on by `step` and
// ticks every engine: resends, keep-alives and time-outs run in engine time.
inline bool Drive(std::initializer_list<NWEEngine*> engines, CManualClock& clock,
                  const std::function<bool()>& done, double step = 0.005, int maxSteps = 20000) {
    for (int i = 0; i < maxSteps; ++i) {
        int read = 0;
        for (NWEEngine* e : engines) read += e->Poll(0);
        if (done()) return true;
        if (read > 0) continue;
        // A datagram in flight on loopback (or held by a relay) lands first.
        for (NWEEngine* e : engines) read += e->Poll(1);
        if (read > 0) continue;
        clock.Advance(step);
        for (NWEEngine* e : engines) e->Tick(true);
    }
    return done();
}

// A plain UDP endpoint on 127.0.0.1 that is not an engine.
class CRawEndpoint {
public:
    // Any 127.x.y.z address is this machine's (another remote address for a test).
    explicit CRawEndpoint(uint32_t ip = kNetLoopback) {
        int err = 0;
        m_handle = Net_UdpOpen(SNetAddress{ip, 0}, &err);
        Net_UdpGetName(m_handle, &m_address, &err);
    }
    ~CRawEndpoint() { Close(); }
    void Close() {
        Net_UdpClose(m_handle);
        m_handle = -1;
    }
    SNetAddress Address() const { return m_address; }
    void Send(const std::vector<uint8_t>& bytes, const SNetAddress& to) {
        int err = 0;
        Net_UdpSend(m_handle, bytes.data(), bytes.size(), to, &err);
    }
    // The next datagram, waiting for one up to `seconds`; empty when none came.
    std::vector<uint8_t> Receive(double seconds = 5.0) {
        std::vector<uint8_t> d = ReceiveNow();
        if (!d.empty() || seconds <= 0) return d;
        std::vector<int> ready;
        m_poller.Wait({m_handle}, static_cast<int>(seconds * 1000), &ready);
        return ReceiveNow();
    }
    // The next datagram already here, or empty.
    std::vector<uint8_t> ReceiveNow() {
        std::vector<uint8_t> buf(2048);
        size_t got = 0;
        SNetAddress from;
        int err = 0;
        if (Net_UdpReceive(m_handle, buf.data(), buf.size(), &got, &from, &err) != ENetIo::Ok) return {};
        buf.resize(got);
        return buf;
    }

private:
    int m_handle = -1;
    SNetAddress m_address;
    CNetPoller m_poller;
};

// A datagram built the way a peer builds one: payload (already in message
// form) behind a header of the given form.
inline std::vector<uint8_t> MakeDatagram(EPacketForm form, uint16_t count, uint32_t seq, bool receipt,
                                         uint8_t tries, uint32_t seed, const std::vector<uint8_t>& messages) {
    SPacketRecord r;
    r.Reset();
    std::copy(messages.begin(), messages.end(), r.buffer + kPacketHeaderReserve);
    r.length = kPacketHeaderReserve + messages.size();
    size_t start = NWE_WritePacketHeader(r.buffer, r.length, form, count, seq, receipt, tries, seed);
    return std::vector<uint8_t>(r.buffer + start, r.buffer + r.length);
}

inline std::vector<uint8_t> ShortMessage(uint16_t id, const std::vector<uint8_t>& payload) {
    std::vector<uint8_t> out(4 + payload.size());
    NWE_WriteShortMessage(out.data(), out.size(), id, payload.data(), static_cast<uint16_t>(payload.size()));
    return out;
}

// A long message's first part (a whole message when `last`).
inline std::vector<uint8_t> FirstPart(uint16_t id, uint32_t key, uint32_t total,
                                      const std::vector<uint8_t>& bytes, bool last, uint32_t parts = 1) {
    std::vector<uint8_t> out(bytes.size() + 32);
    out.resize(NWE_WriteFirstPart(out.data(), out.size(), id, key, false, 0, total, bytes.data(),
                                  static_cast<uint32_t>(bytes.size()), last, parts));
    return out;
}

inline std::vector<uint8_t> Continuation(uint32_t key, uint32_t offset, const std::vector<uint8_t>& bytes,
                                         bool last, uint32_t parts = 0) {
    std::vector<uint8_t> out(bytes.size() + 32);
    out.resize(NWE_WriteContinuation(out.data(), out.size(), key, offset, bytes.data(),
                                     static_cast<uint32_t>(bytes.size()), last, parts));
    return out;
}

inline std::vector<uint8_t> U32Payload(uint32_t v) {
    std::vector<uint8_t> p(4);
    NWE_Put32(p.data(), v);
    return p;
}

inline std::vector<uint8_t> Hex(const char* text) {
    std::vector<uint8_t> out;
    unsigned v;
    int n;
    while (std::sscanf(text, "%2x%n", &v, &n) == 1) {
        out.push_back(static_cast<uint8_t>(v));
        text += n;
        while (*text == ' ') ++text;
    }
    return out;
}

// The short messages of a datagram (id and the first 32 bits of the payload,
// or 0 when it is shorter), read as the engine's system replies are.
inline std::vector<std::pair<uint16_t, uint32_t>> ShortMessagesOf(const std::vector<uint8_t>& d,
                                                                  uint32_t seed = 13) {
    std::vector<std::pair<uint16_t, uint32_t>> out;
    SPacketHeader h;
    if (NWE_ReadPacketHeader(d.data(), d.size(), seed, true, &h) != EHeaderError::None) return out;
    size_t at = h.size;
    for (unsigned i = 0; i < h.count && at + 4 <= d.size(); ++i) {
        uint16_t id = static_cast<uint16_t>(((d[at] & 0x7F) << 8) | d[at + 1]);
        uint16_t len = NWE_Get16(&d[at + 2]);
        out.push_back({id, len >= 4 && at + 8 <= d.size() ? NWE_Get32(&d[at + 4]) : 0});
        at += 4 + len;
    }
    return out;
}

// A peer of its own for a test that talks to an engine the way no honest
// program would: an engine driven by the test, a socket on an address of
// 127/8, one peer to the remote address, and every message that arrives
// kept by id. The test registers the ids it speaks (Register).
struct SRawPeer {
    CTestEngine engine;
    NWEMessageTypes registry{&engine};
    NWESocket* socket = nullptr;
    NWEPeer* peer = nullptr;
    std::map<uint16_t, std::vector<std::vector<uint8_t>>> got;
    std::map<uint16_t, std::vector<uint16_t>> frames;  // the frame each came in

    static void Keep(NWEPeer*, NWEMessage* m, void* context) {
        SRawPeer* raw = static_cast<SRawPeer*>(context);
        raw->got[m->GetId()].emplace_back(m->GetData(), m->GetData() + m->GetSize());
        raw->frames[m->GetId()].push_back(m->GetFrame());
    }
    SRawPeer(uint32_t ip, const SNetAddress& remote, uint32_t receiveSeed) {
        socket = new NWESocket(&engine);
        socket->Open(SNetAddress{ip, 0});
        peer = new NWEPeer(socket, &registry, "raw");
        peer->SetReceiveCrcSeed(receiveSeed);
        peer->SetAddress(remote);
    }
    ~SRawPeer() { socket->Destroy(); }
    SRawPeer(const SRawPeer&) = delete;
    SRawPeer& operator=(const SRawPeer&) = delete;
    // An id handled on arrival (kept), with the options both ends give it.
    void Register(const char* name, uint16_t id, uint8_t cls, uint8_t priority, uint8_t shortHeader) {
        registry.Register(name, id, &SRawPeer::Keep, this, nullptr, nullptr, nullptr, cls, priority, 0, 1,
                          shortHeader);
    }
    bool Has(uint16_t id) { return !got[id].empty(); }
    // Reads what came and does the engine's periodic work.
    void Step() {
        engine.Poll(0);
        engine.Tick(true);
    }
};
