// Helpers of the network engine's tests: an engine that keeps its reports, a
// raw UDP endpoint to send hand-made datagrams and capture the engine's, and a
// wait with a deadline.
#pragma once

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "nwe/NWE.h"

class CTestEngine : public NWEEngine {
public:
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
    std::mutex m_lock;
    std::vector<std::string> m_reports;
};

inline bool WaitFor(const std::function<bool()>& done, double seconds = 5.0) {
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return done();
}

// A plain UDP endpoint on 127.0.0.1 that is not an engine.
class CRawEndpoint {
public:
    CRawEndpoint() {
        int err = 0;
        m_handle = Net_UdpOpen(SNetAddress{kNetLoopback, 0}, &err);
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
    // The next datagram within the time, or an empty vector.
    std::vector<uint8_t> Receive(double seconds = 2.0) {
        auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        std::vector<uint8_t> buf(2048);
        for (;;) {
            size_t got = 0;
            SNetAddress from;
            int err = 0;
            if (Net_UdpReceive(m_handle, buf.data(), buf.size(), &got, &from, &err) == ENetIo::Ok) {
                buf.resize(got);
                return buf;
            }
            if (std::chrono::steady_clock::now() >= end) return {};
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    }

private:
    int m_handle = -1;
    SNetAddress m_address;
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
