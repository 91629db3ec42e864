// Fuzz target of the receive path: arbitrary datagrams handed to an active
// peer with frame sync, short, long, framed and direct types registered. The
// first input byte chooses whether the packet's CRC field is made right
// first, so that the fuzzer reaches the message parser with CRC required.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "nwe/NWE.h"

namespace {

struct SFuzzWorld {
    NWEEngine engine{SNWEEngineSetup{false, nullptr, nullptr}};  // driven here: no threads
    NWEMessageTypes registry{&engine};
    NWEFrameTable table{&engine};
    NWEQueue queue;
    NWESocket* socket;
    NWEPeer* peer;
    int sink = -1;
    unsigned runs = 0;

    static void Handler(NWEPeer*, NWEMessage* m, void*) {
        volatile uint8_t sum = 0;
        for (uint32_t i = 0; i < m->GetSize(); ++i) sum = static_cast<uint8_t>(sum + m->GetData()[i]);
    }

    SFuzzWorld() {
        registry.Register("FRAME", 1, nullptr, nullptr, nullptr, &table, nullptr, 0, 2, 1, 1, 1);
        registry.Register("SHORT", 100, Handler, nullptr, &queue, nullptr, nullptr, 0, 5, 0, 0, 1);
        registry.Register("ORDER", 134, Handler, nullptr, &queue, &table, nullptr, 0, 5, 0, 0, 0);
        registry.Register("DIRECT", 200, Handler, nullptr, nullptr, nullptr, nullptr, 1, 5, 0, 1, 0);
        registry.Register("TIMEOUT", 6, Handler, nullptr, &queue, nullptr, nullptr, 0, 5, 0, 0, 0);
        int err = 0;
        sink = Net_UdpOpen(SNetAddress{kNetLoopback, 0}, &err);
        SNetAddress sinkAddress;
        Net_UdpGetName(sink, &sinkAddress, &err);
        socket = new NWESocket(&engine);
        socket->Open(SNetAddress{kNetLoopback, 0});
        socket->SetSetting(1e9f);
        peer = new NWEPeer(socket, &registry, "fuzz");
        peer->SetReceiveCrcSeed(13);
        peer->SetSendCrcSeed(13);
        peer->SetAddress(sinkAddress);
        peer->SetActive(true);
        peer->SetSettingC(1e9f);
        peer->SetFrameSync(true);
    }
};

SFuzzWorld& World() {
    static SFuzzWorld* w = new SFuzzWorld;  // lives to the end of the process
    return *w;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    SFuzzWorld& w = World();
    if (size < 1) return 0;
    std::vector<uint8_t> d(data + 1, data + size);
    if ((data[0] & 1) && d.size() >= 2) {
        uint16_t word = NWE_Get16(d.data());
        if ((word & kWireSequenced) && d.size() >= 11) {
            d[6] |= 0x80;
            NWE_Put32(d.data() + 7, NWE_DatagramCrc(13, d.data(), d.size(), 7));
        } else if ((word & kWireCrc) && !(word & kWireUnsafe) && d.size() >= 6) {
            NWE_Put32(d.data() + 2, NWE_DatagramCrc(13, d.data(), d.size(), 2));
        }
    }
    w.peer->ReceivePacket(d.data(), d.size(), SNetAddress{kNetLoopback, 1});
    w.peer->FlushReplies();
    w.queue.Flush();
    if (NWEFrame* f = w.table.TryCurrent()) {
        if (f->IsComplete()) NWEPeer::ProcessIncoming(f, &w.queue);
        w.table.Release(f);
    }
    if (++w.runs % 4096 == 0) w.table.Reset();
    return 0;
}
