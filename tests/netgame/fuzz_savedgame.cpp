// Fuzz target: the saved-game reader, with the demo units loaded. The first
// byte chooses whether the file's check sum (its last four bytes) is made to
// fit (bit 0), so that mutations reach the fields' readers; the rest is the
// file. A file that is refused must leave the world as it was; one that
// passes its checks must be taken whole.
//
// With SAVEDGAME_FUZZ_SEED=<file> the target writes a saved game of its own
// small world (three units, a few objectives, a computer player that has
// looked at them) there, the seed of its corpus.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "core/CRC32.h"
#include "core/LittleEndian.h"
#include "tests/netgame/SavedSkirmish.h"

namespace {

struct SSession {
    SSession() {
        machine = new CSkirmishMachine("fuzz", "/nonexistent-fuzz-folder");
        session.m_machines.emplace_back(machine);
        std::string error;
        if (!machine->LoadDemoUnits(error, 8)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            std::abort();
        }
        machine->net->StartServer(0, true);
    }
    // A small world of its own: three units, the skirmish's objectives and a
    // computer player that stepped over them.
    std::vector<uint8_t> Seed() {
        CWorld& world = *machine->m_world;
        CPlayer* local = machine->net->LocalPlayer();
        machine->ai->InitializeCommanders("Fuzz", "");
        CComputerPlayer* computer = machine->ai->AddCommander(2, "Coral");
        for (const char* name : {"Granite_Headquarters", "Granite_LightTank", "Coral_LightTank"})
            world.CreateUnit(machine->scene->FindTemplate(name), 2.0f, -3.0f, local, world.Ids().NewId());
        if (computer)
            world.CreateUnit(machine->scene->FindTemplate("Coral_Headquarters"), -2.0f, 3.0f,
                             machine->net->FindPlayerById(2), world.Ids().NewId());
        for (int i = 0; i < 12; ++i) machine->ai->Tick();
        machine->SetObjectives();
        std::vector<uint8_t> bytes;
        machine->net->BuildSavedGame(CTurnOrders(), bytes);
        return bytes;
    }
    CNetSession session;
    CSkirmishMachine* machine;
};

void Check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static SSession* s = new SSession;
    static bool seeded = [] {
        if (const char* seed = std::getenv("SAVEDGAME_FUZZ_SEED")) {
            // The file behind a first byte that leaves it as it stands.
            std::vector<uint8_t> bytes = s->Seed();
            bytes.insert(bytes.begin(), 0);
            std::ofstream(seed, std::ios::binary)
                .write(reinterpret_cast<const char*>(bytes.data()),
                       static_cast<std::streamsize>(bytes.size()));
        }
        return true;
    }();
    (void)seeded;
    if (size < 1) return 0;
    CNetGame& net = *s->machine->net;
    // Each file is read against the same session: the players a file made go.
    std::vector<CPlayer*> made;
    for (CPlayer* p : net.m_players.m_players)
        if (p != net.m_players.m_local && p != net.m_players.m_neutral) made.push_back(p);
    for (CPlayer* p : made) net.DeletePlayer(p);
    s->machine->scene->Clear();
    std::vector<uint8_t> bytes(data + 1, data + size);
    if ((data[0] & 1) && bytes.size() >= 4)
        LE_StoreU32(bytes.data() + bytes.size() - 4, CRC32_Compute(bytes.data(), bytes.size() - 4));
    const uint32_t before = s->machine->m_world->StateHash();
    const int players = net.CountPlayers();
    CSavedGameFile file;
    std::string error;
    if (!net.ParseSavedGame(bytes, file, error)) {
        Check(s->machine->m_world->StateHash() == before && net.CountPlayers() == players && !error.empty());
        return 0;
    }
    if (!net.CheckSavedGame(file, error)) {
        Check(s->machine->m_world->StateHash() == before && net.CountPlayers() == players && !error.empty());
        return 0;
    }
    Check(net.ApplySavedGame(file, error));
    return 0;
}
