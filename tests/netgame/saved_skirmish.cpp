// A headless skirmish against the game's computer player as a program, for the
// saved-game test that loads in a new process:
//
//   saved_skirmish play <folder> <save at> <until>
//       a new skirmish of the demo units: the game is saved into
//       <folder>/Save/skirmish once the world has stepped <save at> ticks
//       (at the first frame after them that the save may take), and goes on
//   saved_skirmish load <folder> <until>
//       a new session that starts with that saved game
//
// Both print the world's sync CRC after every tick it stepped, as "tick
// crc", until the world has stepped <until> ticks; play also prints "saved
// <tick>" once the file is written. The test compares the two from the
// saved tick on.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "tests/netgame/SavedSkirmish.h"

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    const bool churn = mode == "churn" && argc == 3;
    const bool play = (mode == "play" && argc == 5) || churn;
    if (!play && !(mode == "load" && argc == 4)) {
        std::fprintf(stderr,
                     "usage: saved_skirmish play <folder> <save at> <until> | load <folder> <until> | churn "
                     "<folder>\n");
        return 2;
    }
    const std::string folder = argv[2];
    const uint32_t saveAt = churn ? 0 : play ? static_cast<uint32_t>(std::atoi(argv[3])) : 0;
    const uint32_t until = churn ? UINT32_MAX : static_cast<uint32_t>(std::atoi(argv[play ? 4 : 3]));

    CNetSession session;
    CSkirmishMachine* host = new CSkirmishMachine("host", folder);
    session.m_machines.emplace_back(host);
    std::string error;
    if (!host->LoadDemoUnits(error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    CNetGame& net = *host->net;
    net.LocalPlayer()->m_raceName = "Granite";
    net.m_players.ResolvePlayerRaces();
    if (!net.StartServer(0, true)) {
        std::fprintf(stderr, "the server did not start\n");
        return 1;
    }
    // The computer player: the game's own, on a side of its own that the
    // host runs (a loaded game brings it back from the file).
    host->ai->m_debug = std::getenv("SAVED_SKIRMISH_LINES") ? 1 : 0;
    if (play && !host->ai->AddCommander(2, "Coral")) {
        std::fprintf(stderr, "the computer player was not made: %s\n",
                     host->lines.empty() ? "" : host->lines.back().c_str());
        return 1;
    }
    if (!play && !net.HostSavedGame("skirmish", nullptr, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    if (!session.StartGame()) {
        std::fprintf(stderr, "the game did not start\n%s\n", host->FindLine("Error").c_str());
        return 1;
    }
    if (churn) {
        // Many units: a save of a good size, written again and again.
        net.m_serverInfo.m_cheats = 1;  // the host makes units in a running game
        for (int i = 0; i < 400; ++i)
            host->Request(i % 2 ? "Coral_LightTank" : "Granite_LightTank",
                          static_cast<float>(i % 20) * 4.0f - 40.0f,
                          static_cast<float>(i / 20) * 4.0f - 40.0f, net.FindPlayerById(1 + i % 2));
        for (uint32_t written = 1;; ++written) {
            bool done = false;
            net.RequestSave(net.SavedGamePath("skirmish").c_str(),
                            [&](bool ok, const std::string&) { done = ok; });
            while (!done) session.StepAll();
            std::printf("written %u\n", written);
            std::fflush(stdout);
        }
    }
    bool asked = false;
    uint32_t printed = host->WorldTicks();
    while (host->WorldTicks() < until) {
        session.StepAll();
        const uint32_t ticks = host->WorldTicks();
        if (ticks != printed) {
            printed = ticks;
            std::printf("%u %08x\n", ticks, host->m_world->StateHash());
            if (const char* dump = std::getenv("SAVED_SKIRMISH_DUMP"))
                if (static_cast<uint32_t>(std::atoi(dump)) == ticks) {
                    std::fprintf(stderr, "counter %d scene %08x\n", host->scene->m_idTable.GetCounter(),
                                 host->scene->ComputeSyncCRC());
                    for (CPlayer* p : host->net->m_players.m_players) {
                        CStateArchive ar;
                        p->WriteSyncInfo(ar);
                        std::fprintf(stderr, "player %d:", p->m_id);
                        for (size_t i = 0; i < ar.GetSize(); ++i)
                            std::fprintf(stderr, " %02x", ar.GetData()[i]);
                        std::fprintf(stderr, "\n");
                    }
                    for (CTessarakObject* o = host->scene->m_allObjects; o; o = o->m_allNext)
                        std::fprintf(stderr, "%d %s %08x %f %f\n", o->m_objectId,
                                     o->m_template ? o->m_template->m_name.GetText() : "",
                                     o->ComputeSyncCRC(), o->m_position[0], o->m_position[2]);
                }
            if (const char* dump = std::getenv("SAVED_SKIRMISH_IMAGE"))
                if (CTessarakObject* o = host->scene->m_idTable.Find(std::atoi(dump))) {
                    CStateArchive image;
                    o->WriteSyncState(image);
                    std::fprintf(stderr, "%u:", ticks);
                    for (size_t i = 0; i < image.GetSize(); ++i)
                        std::fprintf(stderr, " %02x", image.GetData()[i]);
                    std::fprintf(stderr, "\n");
                }
        }
        if (play && !asked && ticks >= saveAt) {
            asked = net.RequestSave(net.SavedGamePath("skirmish").c_str(),
                                    [host](bool written, const std::string& why) {
                                        if (written)
                                            std::printf("saved %u\n", host->WorldTicks());
                                        else
                                            std::fprintf(stderr, "not saved: %s\n", why.c_str());
                                    });
            if (!asked) {
                std::fprintf(stderr, "the save was not taken\n");
                return 1;
            }
        }
    }
    if (std::getenv("SAVED_SKIRMISH_LINES")) {
        for (CPlayer* p : net.m_players.m_players)
            std::fprintf(stderr, "player %d: %d units\n", p->m_id, host->scene->Objectives().CountUnits(p));
        for (const auto& cp : host->ai->Players())
            std::fprintf(stderr, "computer player %d: %zu groups, %s\n", cp->PlayerId(), cp->Groups().size(),
                         cp->Active() ? "active" : "inactive");
    }
    if (std::getenv("SAVED_SKIRMISH_LINES"))
        for (const std::string& l : host->lines) std::fprintf(stderr, "%s\n", l.c_str());
    return 0;
}
