// Fuzz target of the game protocol's payloads: any bytes handed to any
// handler of the message table, in a running game of two machines on
// 127.0.0.1 with a unit each, on the connection the row is registered for:
// on the server a joined client's connection, its first contact (the
// socket's default peer) or a new contact; on the client its link to the
// server or a new contact. The first input byte chooses the side (bit 7)
// and the second of a row's registries (bit 6), the second byte the row
// (its id less 80); the rest is the payload. An order of the world (which a
// client's handler only gathers for the turn of the frame it runs in) is
// also handed to the machine's world as a turn would hand it. Both machines
// then take a step, so that what the handler queued or sent runs too. When the
// game comes apart (a payload may legitimately end it: a goodbye), the same
// two machines start a new one for the next input.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "netgame/NetHandlers.h"
#include "netgame/NetMessages.h"
#include "nwe/Message.h"
#include "tests/netgame/NetTestMachine.h"

namespace {

struct SFuzzGame {
    CNetSession s;
    CNetMachine* host = s.Add("host");
    CNetMachine* client = s.Add("client");
    bool ok = false;
    SFuzzGame() { ok = Start(); }
    // The client joins, the host starts the game and makes a unit for each.
    bool Start() {
        if (!s.JoinAll() || !s.StartGame()) return false;
        host->net->m_serverInfo.m_cheats = 1;
        host->RequestUnit(host->tank, 1.0f, 1.0f, host->net->LocalPlayer()->m_ownerId);
        host->RequestUnit(host->tank, -1.0f, 1.0f, client->net->LocalPlayer()->m_ownerId);
        return s.RunUntil(
            [&] { return host->scene->m_objectCount == 2 && client->scene->m_objectCount == 2; });
    }
    // A game that came apart (a payload may end it: a goodbye, a new start)
    // is played again by the same machines: both leave what is left of it,
    // and the game starts anew. The machines, their worlds and their engines
    // are made once per process; making them is most of what a new game
    // costs.
    bool Restart() {
        for (CNetMachine* m : {client, host}) {
            m->net->Disconnect();
            m->paused = false;
            m->loading = false;
            m->startState = 3;
        }
        ok = Start();
        return ok;
    }
    // Both run the game and each still has the other.
    bool Whole() const {
        if (!ok || !host->Running() || !client->Running() || !client->net->IsJoined()) return false;
        std::vector<CGameSocket*> clients = host->net->TakeClients();
        bool listed = clients.size() == 2;
        CNetGame::ReleaseAll(clients);
        return listed;
    }
};

std::unique_ptr<SFuzzGame> g_game;

}  // namespace

// The game's state grows with the game by design (objects, players, queued
// messages), so nearly every input allocates more than it frees; libFuzzer
// would search the whole heap of both machines for leaks after each one,
// which cost nine tenths of the time. Leaks are searched for once, at the
// end of the run, unless -detect_leaks is given.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static std::vector<char*> args;
    bool given = false;
    for (int i = 0; i < *argc; ++i) {
        args.push_back((*argv)[i]);
        given = given || std::strncmp((*argv)[i], "-detect_leaks=", 14) == 0;
    }
    static char off[] = "-detect_leaks=0";
    if (!given) args.push_back(off);
    args.push_back(nullptr);
    *argc = static_cast<int>(args.size()) - 1;
    *argv = args.data();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const bool server = (data[0] & 0x80) == 0;
    const SNetMessageRow* row = NetMessage_Find(static_cast<uint16_t>(80 + data[1]));
    if (!row || !(server ? row->server : row->client).handler) return 0;
    if (!g_game || !g_game->Whole()) {
        if (!g_game || !g_game->Restart()) {
            g_game.reset();  // the old game's sockets go before the new one's
            g_game.reset(new SFuzzGame);
        }
        if (!g_game->ok) return 0;
    }
    SFuzzGame& g = *g_game;
    const SNetSide& side = server ? row->server : row->client;
    const ENetRegistry registry =
        (data[0] & 0x40) && side.registry2 != ENetRegistry::None ? side.registry2 : side.registry;
    CNetMachine* m = server ? g.host : g.client;
    CNetGame* net = m->net.get();

    // The connection the payload came on, taken shared.
    const SNetAddress nowhere{kNetLoopback, 9};
    CGameSocket* from = nullptr;
    bool contact = false;
    std::vector<CGameSocket*> clients;
    switch (registry) {
        case ENetRegistry::ServerGame:
            clients = net->TakeClients();
            for (CGameSocket* c : clients)
                if (!net->IsLocalServerEnd(c)) from = c;
            break;
        case ENetRegistry::ServerConnect:
            from = net->TakeLink(net->m_contact);
            break;
        case ENetRegistry::ClientGame:
            from = net->TakeClientLink();
            break;
        case ENetRegistry::ServerContact:
        case ENetRegistry::ClientContact:
            from = net->NewConnection(
                registry == ENetRegistry::ServerContact ? &net->m_serverPreTypes : &net->m_clientPreTypes,
                "fuzz contact");
            from->SetAddress(nowhere);
            contact = true;
            break;
        case ENetRegistry::None:
            break;
    }
    if (from) {
        NWEMessagePtr msg = NWE_NewMessage();
        msg->m_id = row->id;
        msg->m_peer = from;
        msg->m_source = nowhere;
        msg->m_frame = net->m_frameTable->GetCurrentNumber();
        msg->SetPayload(data + 2, static_cast<uint32_t>(size - 2));
        side.handler(from, msg.get(), net);
        if (!server && CWorld::IsWorldOrder(row->id)) m->m_world->ApplyOrder(row->id, data + 2, size - 2);
        if (contact) from->SetTimedOut(true);  // a contact goes once its time is up
        if (registry != ENetRegistry::ServerGame) from->Release();
    }
    CNetGame::ReleaseAll(clients);
    g.s.StepAll();
    g.s.StepAll();
    // What the test machines keep of every input (lines, ticks, messages)
    // goes, so an input leaves no more memory taken than it found.
    for (CNetMachine* machine : {g.host, g.client}) {
        machine->lines.clear();
        machine->scripts.clear();
        machine->sent.clear();
        machine->events.clear();
        machine->notices.clear();
        machine->ticks.clear();
    }
    return 0;
}
