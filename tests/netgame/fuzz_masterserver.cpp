// Fuzz target of the master server's reading of messages: any bytes as the
// payload of any of its message ids (16 to 41), on a link that has not said
// what it is, on a chat user's link or on a game server's link. The first
// byte chooses the link (its low two bits), the second the id (16 plus it,
// modulo 26); the rest is the payload. The master then takes a turn, so that
// what the handler sent, dropped or removed is dealt with too.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "nwe/NWE.h"
#include "tools/lib/MasterServer.h"
#include "world/WireText.h"

namespace {

struct SFuzzMaster {
    SMasterServerConfig config;
    std::unique_ptr<CMasterServer> master;
    NWERefList holders;
    NWEListEntry* links[3] = {};  // name the links while they live
    bool ok = false;

    SFuzzMaster() {
        config.bind = SNetAddress{kNetLoopback, 0};
        config.maxChannels = 8;
        config.maxUsers = 8;
        config.maxServers = 8;
        master.reset(new CMasterServer(config));
        ok = master->Open();
    }
    // A link of the kind (0 none, 1 user, 2 server), taken shared; made
    // anew when the last one went or was dropped.
    CMasterLink* Link(int kind) {
        NWEListEntry*& e = links[kind];
        CMasterLink* l = e ? static_cast<CMasterLink*>(NWEEngine::GetPeer(e)) : nullptr;
        if (l && (l->IsTimedOut() || l->m_kind != kind)) {
            l->SetTimedOut(true);
            l->Release();
            l = nullptr;
        }
        if (l) return l;
        if (e) e->Destroy();
        // Each kind has an address of its own, nobody at the other end.
        l = new CMasterLink(master.get(), master->m_socket, SNetAddress{kNetLoopback + 16 + kind, 9});
        l->m_guard.TryShared();
        e = new NWEListEntry(&holders, l);
        if (kind != 0) {
            CStateArchive ar;
            ar.WriteU32(kMasterProtocolVersion);
            if (kind == 1) {
                ar.WriteU8(2);
                WireText_Write(ar, "Fuzz");
            } else {
                ar.WriteU32(0);
            }
            // The cookie the master's challenge would have told it.
            ar.WriteU32(master->CurrentCookie(l->GetAddress()));
            Deliver(l, kind == 1 ? NS_VXM_CLIENT_CONNECT : NS_VXM_SERVER_CONNECT, ar.GetData(),
                    static_cast<uint32_t>(ar.GetSize()));
        }
        return l;
    }
    void Deliver(CMasterLink* link, uint16_t id, const uint8_t* data, uint32_t size) {
        NWEMessageType* t = master->m_types.Get(id);
        if (!t) return;
        NWEMessagePtr msg = NWE_NewMessage();
        msg->m_id = id;
        msg->m_peer = link;
        msg->m_source = link->GetAddress();
        msg->SetPayload(data, size);
        t->CallHandler(link, msg.get());
        master->m_types.Release(t);
    }
};

std::unique_ptr<SFuzzMaster> g_master;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    if (!g_master) g_master.reset(new SFuzzMaster);
    if (!g_master->ok) return 0;
    const int kind = data[0] % 3;
    const uint16_t id = static_cast<uint16_t>(16 + data[1] % 26);
    CMasterLink* link = g_master->Link(kind);
    g_master->Deliver(link, id, data + 2, static_cast<uint32_t>(size - 2));
    link->Release();
    g_master->master->Step(0);
    return 0;
}
