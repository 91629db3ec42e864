// Fuzz target of the game's reading of what the master server and the
// servers of the browser send: any bytes as the payload of any message of
// the master's chat link or server link (16 to 41), or of the browser's
// contacts with a listed server (80 to 89), on the link the message belongs
// to, of a game that hosts a public server and chats. The first byte
// chooses the link (0 chat, 1 server, 2 a server's contact), the second the
// id (16 plus it modulo 26, or 80 plus it modulo 10); the rest is the
// payload. The game then takes a step.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "netgame/MasterClient.h"
#include "netgame/ServerBrowser.h"
#include "tests/netgame/NetTestMachine.h"

namespace {

struct SFuzzGame {
    CNetMachine game{"fuzzed"};
    const SNetAddress nowhere{kNetLoopback, 9};
    bool ok = false;

    SFuzzGame() {
        // The master and the listed server are an address nobody answers on.
        game.net->m_master->m_address = Net_FormatAddress(nowhere).c_str();
        ok = game.net->StartServer(0, true);
        game.net->m_master->SetPublic(true);
        game.net->m_master->OpenChat();
        game.Step();
    }
    // The link's peer, taken shared, made again when it went.
    NWEPeer* Link(int which) {
        if (which == 2) {
            CServerBrowser* b = game.net->m_browser.get();
            CServerListEntry* e = b->AddEntry(nowhere);
            if (e && !e->m_link) b->RequestInfo(e);
            return e && e->m_link ? NWEEngine::GetPeer(e->m_link) : nullptr;
        }
        CMasterClient* mc = game.net->m_master.get();
        CMasterClient::SLink& l = which == 0 ? mc->m_chat : mc->m_server;
        return l.holder ? NWEEngine::GetPeer(l.holder) : nullptr;
    }
};

std::unique_ptr<SFuzzGame> g_game;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    if (!g_game) g_game.reset(new SFuzzGame);
    if (!g_game->ok) return 0;
    SFuzzGame& g = *g_game;
    const int which = data[0] % 3;
    const uint16_t id =
        which == 2 ? static_cast<uint16_t>(80 + data[1] % 10) : static_cast<uint16_t>(16 + data[1] % 26);
    NWEMessageTypes* types = which == 0   ? &g.game.net->m_master->m_chatTypes
                             : which == 1 ? &g.game.net->m_master->m_serverTypes
                                          : &g.game.net->m_clientPreTypes;
    NWEPeer* peer = g.Link(which);
    if (NWEMessageType* t = peer ? types->Get(id) : nullptr) {
        NWEMessagePtr msg = NWE_NewMessage();
        msg->m_id = id;
        msg->m_peer = peer;
        msg->m_source = g.nowhere;
        msg->SetPayload(data + 2, static_cast<uint32_t>(size - 2));
        t->CallHandler(peer, msg.get());
        types->Release(t);
    }
    if (peer) peer->Release();
    g.game.Step();
    return 0;
}
