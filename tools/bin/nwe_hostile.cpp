// nwe_hostile: senders that do not play by the rules, for trying a listening
// engine (nwe_peer --echo, a game server) from outside.
//
//   nwe_hostile --remote 127.0.0.1:P --junk N
//       one-byte datagrams from N ports.
//   nwe_hostile --remote 127.0.0.1:P --amplify N
//       N datagrams from one port, each the first part of a new message that
//       claims the largest size (8 MiB) and brings 16 bytes.
//   nwe_hostile --remote 127.0.0.1:P --flood RATE:SECONDS [--id ID]
//       valid datagrams (each a reliable 16-byte message of id ID, default
//       150, asking for a receipt) at RATE a second for SECONDS, never
//       reading or acknowledging anything.
// Common: --seed N (the CRC seed, default 13). Prints "SENT n" at the end.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "nwe/Wire.h"
#include "platform/net/Udp.h"

namespace {

// One sequenced datagram with a receipt wanted around the given messages.
std::vector<uint8_t> Datagram(uint32_t sequence, uint32_t seed, const std::vector<uint8_t>& messages) {
    std::vector<uint8_t> buffer(kPacketHeaderReserve + messages.size());
    std::memcpy(buffer.data() + kPacketHeaderReserve, messages.data(), messages.size());
    size_t start = NWE_WritePacketHeader(buffer.data(), buffer.size(), EPacketForm::SequencedCrc, 1, sequence,
                                         true, kInitialTries, seed);
    return std::vector<uint8_t>(buffer.begin() + static_cast<long>(start), buffer.end());
}

std::vector<uint8_t> FirstPart(uint16_t id, uint32_t key, uint32_t total, uint32_t length) {
    std::vector<uint8_t> bytes(length, 0x5A), out(length + 32);
    out.resize(NWE_WriteFirstPart(out.data(), out.size(), id, key, false, 0, total, bytes.data(), length,
                                  length == total, 1));
    return out;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: nwe_hostile --remote 127.0.0.1:P (--junk N | --amplify N | --flood RATE:SECONDS)\n"
                 "       [--id ID] [--seed N]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string remote, flood;
    long junk = -1, amplify = -1, id = 150;
    uint32_t seed = 13;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string a = argv[i], v = argv[i + 1];
        if (a == "--remote")
            remote = v;
        else if (a == "--junk")
            junk = std::strtol(v.c_str(), nullptr, 10);
        else if (a == "--amplify")
            amplify = std::strtol(v.c_str(), nullptr, 10);
        else if (a == "--flood")
            flood = v;
        else if (a == "--id")
            id = std::strtol(v.c_str(), nullptr, 10);
        else if (a == "--seed")
            seed = static_cast<uint32_t>(std::strtoul(v.c_str(), nullptr, 10));
        else
            return Usage();
    }
    SNetAddress to;
    if (!Net_ParseAddress(remote, &to) || to.port == 0 || id < 0 || id > 32767) return Usage();
    int err = 0;
    uint64_t sent = 0;
    if (junk > 0) {
        for (long i = 0; i < junk; ++i) {
            std::unique_ptr<CNetSocket> s(Net_OpenUdpSocket(SNetAddress{kNetLoopback, 0}, &err));
            uint8_t byte = 0x42;
            if (s && s->Send(&byte, 1, to, &err) == ENetIo::Ok) ++sent;
        }
    } else if (amplify > 0 || !flood.empty()) {
        std::unique_ptr<CNetSocket> s(Net_OpenUdpSocket(SNetAddress{kNetLoopback, 0}, &err));
        if (!s) {
            std::fprintf(stderr, "nwe_hostile: no socket: %s\n", Net_ErrorText(err).c_str());
            return 1;
        }
        if (amplify > 0) {
            for (long i = 1; i <= amplify; ++i) {
                std::vector<uint8_t> d =
                    Datagram(static_cast<uint32_t>(i), seed,
                             FirstPart(static_cast<uint16_t>(id), static_cast<uint32_t>(i), 8u << 20, 16));
                if (s->Send(d.data(), d.size(), to, &err) == ENetIo::Ok) ++sent;
            }
        } else {
            double rate = 0, seconds = 0;
            if (std::sscanf(flood.c_str(), "%lf:%lf", &rate, &seconds) != 2 || rate <= 0 || seconds <= 0)
                return Usage();
            using Clock = std::chrono::steady_clock;
            auto start = Clock::now();
            uint32_t sequence = 0, key = 0;
            for (;;) {
                double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
                if (elapsed >= seconds) break;
                // Catch up with the rate, then let a millisecond pass.
                while (static_cast<double>(sent) < elapsed * rate) {
                    sequence = NWE_NextSequence(sequence);
                    key = key >= kMaxMessageKey ? 1 : key + 1;
                    std::vector<uint8_t> d =
                        Datagram(sequence, seed, FirstPart(static_cast<uint16_t>(id), key, 16, 16));
                    ENetIo io = s->Send(d.data(), d.size(), to, &err);
                    if (io == ENetIo::WouldBlock) break;
                    ++sent;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
    } else {
        return Usage();
    }
    std::printf("SENT %llu\n", static_cast<unsigned long long>(sent));
    return 0;
}
