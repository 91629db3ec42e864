// Figures of saved games: a skirmish of 1,000 units (the demo's tanks and
// artillery of two players, half of them driving, with their orders and
// ways) on a map of 128 x 128, saved and loaded as the game does it: the
// file built in memory (BM_Build), built and written through its temporary
// file with its fsync (BM_Save), read and checked whole (BM_Check), and
// checked and taken into the world (BM_Load). The counter "bytes" is the
// file's size. Run it with nice: the machine is shared.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "platform/sys/Path.h"
#include "tests/netgame/SavedSkirmish.h"
#include "tests/support/TempDir.h"
#include "world/WorldCommands.h"

namespace {

constexpr int kUnits = 1000;

struct SGame {
    CNetSession session;
    CSkirmishMachine* machine = nullptr;
    CTempDir dir;
    bool ok = false;
};

std::unique_ptr<SGame> Skirmish() {
    if (!std::getenv("TESSARAK_BUILD")) setenv("TESSARAK_BUILD", TESSARAK_BUILD_DIR, 1);
    auto g = std::make_unique<SGame>();
    g->machine = new CSkirmishMachine("bench", g->dir.Path());
    g->session.m_machines.emplace_back(g->machine);
    std::string error;
    if (!g->machine->LoadDemoUnits(error, 64)) return g;
    CNetGame& net = *g->machine->net;
    CPlayer* computer = net.NewPlayer(net.m_nextPlayerId++);
    computer->m_ownerId = net.m_nextOwnerId++;
    computer->m_computer = computer->m_computerHere = 1;
    if (!net.StartServer(0, true) || !g->session.StartGame()) return g;
    CWorld& world = *g->machine->m_world;
    static const char* const kKinds[] = {"Granite_LightTank", "Coral_HeavyTank", "Granite_Artillery",
                                         "Coral_LightTank"};
    std::vector<int32_t> movers;
    for (int i = 0; i < kUnits; ++i) {
        CPlayer* owner = i % 2 ? computer : net.LocalPlayer();
        const float x = static_cast<float>(i % 40) * 3.0f - 60.0f,
                    z = static_cast<float>(i / 40) * 4.5f - 56.0f;
        CTessarakObject* u = world.CreateUnit(g->machine->scene->FindTemplate(kKinds[i % 4]), x, z, owner,
                                              world.Ids().NewId());
        if (u && i % 4 < 2) movers.push_back(u->m_objectId);
    }
    // Half of them on their way somewhere.
    for (size_t i = 0; i < movers.size(); ++i)
        world.Commands().Move({movers[i]}, static_cast<float>(i % 23) * 5.0f - 55.0f,
                              static_cast<float>(i % 17) * 6.0f - 50.0f, 0);
    for (int i = 0; i < 30; ++i) g->session.StepAll();
    g->ok = true;
    return g;
}

SGame* Game() {
    static std::unique_ptr<SGame> g = Skirmish();
    return g->ok ? g.get() : nullptr;
}

void BM_Build(benchmark::State& state) {
    SGame* g = Game();
    if (!g) return state.SkipWithError("the skirmish did not start");
    std::vector<uint8_t> bytes;
    for (auto _ : state) {
        g->machine->net->BuildSavedGame(CTurnOrders(), bytes);
        benchmark::DoNotOptimize(bytes.data());
    }
    state.counters["bytes"] = static_cast<double>(bytes.size());
}
BENCHMARK(BM_Build)->Unit(benchmark::kMillisecond);

void BM_Save(benchmark::State& state) {
    SGame* g = Game();
    if (!g) return state.SkipWithError("the skirmish did not start");
    const std::string path = g->dir.WinFile("Save/bench");
    std::vector<uint8_t> bytes;
    for (auto _ : state) {
        g->machine->net->BuildSavedGame(CTurnOrders(), bytes);
        if (!Sys_WriteFileAtomic(path.c_str(), bytes.data(), bytes.size()))
            return state.SkipWithError("the file was not written");
    }
    state.counters["bytes"] = static_cast<double>(bytes.size());
}
BENCHMARK(BM_Save)->Unit(benchmark::kMillisecond);

void BM_Check(benchmark::State& state) {
    SGame* g = Game();
    if (!g) return state.SkipWithError("the skirmish did not start");
    std::vector<uint8_t> bytes;
    g->machine->net->BuildSavedGame(CTurnOrders(), bytes);
    CNetGame& net = *g->machine->net;
    // Checked against an empty world, as at a start.
    CStateArchive keep;
    for (auto _ : state) {
        CSavedGameFile file;
        std::string error;
        state.PauseTiming();
        std::vector<uint8_t> copy = bytes;
        state.ResumeTiming();
        if (!net.ParseSavedGame(std::move(copy), file, error)) return state.SkipWithError(error.c_str());
        state.PauseTiming();
        g->machine->scene->Clear();
        state.ResumeTiming();
        if (!net.CheckSavedGame(file, error)) return state.SkipWithError(error.c_str());
        state.PauseTiming();
        net.ApplySavedGame(file, error);
        state.ResumeTiming();
    }
    state.counters["bytes"] = static_cast<double>(bytes.size());
}
BENCHMARK(BM_Check)->Unit(benchmark::kMillisecond);

void BM_Load(benchmark::State& state) {
    SGame* g = Game();
    if (!g) return state.SkipWithError("the skirmish did not start");
    const std::string path = g->dir.WinFile("Save/bench");
    std::vector<uint8_t> bytes;
    g->machine->net->BuildSavedGame(CTurnOrders(), bytes);
    Sys_WriteFileAtomic(path.c_str(), bytes.data(), bytes.size());
    CNetGame& net = *g->machine->net;
    for (auto _ : state) {
        // Read from the disk, checked, the world cleared and the file taken.
        CSavedGameFile file;
        std::string error;
        if (!net.ReadSavedGame(path.c_str(), file, error) || !net.ApplySavedGame(file, error))
            return state.SkipWithError(error.c_str());
    }
    state.counters["bytes"] = static_cast<double>(bytes.size());
    state.counters["units"] = static_cast<double>(g->machine->scene->m_unitCount);
}
BENCHMARK(BM_Load)->Unit(benchmark::kMillisecond);

}  // namespace
