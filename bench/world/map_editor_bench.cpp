// Figures of the map editor: painting 1,000 objects as the paint tool does
// (the free-place check against the layer's objects, the CREATEUNIT request,
// and its turn placing the object), and a map of 10,000 objects exported (the
// map script and the objects file, each through a temporary file and a
// rename) and loaded back into an empty scene as a map load does. The demo
// units of the build; run it with nice: the machine is shared.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "core/VFSFile.h"
#include "netgame/MapFiles.h"
#include "tests/support/UnitWorld.h"
#include "world/GameMessages.h"
#include "world/GameScene.h"
#include "world/MapEditor.h"
#include "world/ObjectTemplate.h"
#include "world/Player.h"
#include "world/TessarakObject.h"
#include "world/World.h"

namespace {

// An empty world of the demo units; null (and the benchmark skipped) when
// they are not built.
std::unique_ptr<CUnitWorld> EmptyWorld(benchmark::State& state, int32_t half) {
    if (!std::getenv("TESSARAK_BUILD")) setenv("TESSARAK_BUILD", TESSARAK_BUILD_DIR, 1);
    auto w = std::make_unique<CUnitWorld>(half);
    std::string error;
    if (w->LoadDemoTemplates(error)) return w;
    state.SkipWithError("the demo units are not built");
    return nullptr;
}

// Applies what was sent as a turn's orders would.
void ApplySent(CUnitWorld& w) {
    std::vector<CTestGameHost::SSent> sent;
    sent.swap(w.sent);
    for (const auto& m : sent)
        if (m.type == NS_NOTIFYTYPE_CREATEUNIT)
            w.world.ApplyOrder(static_cast<uint16_t>(m.type), m.data.data(), m.data.size());
}

// 1,000 small rocks painted on a grid of 2 map units, each checked against
// the layer's objects first (the collision mode), asked of the session and
// placed in the turn.
void BM_Paint1000(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        std::unique_ptr<CUnitWorld> w = EmptyWorld(state, 64);
        if (!w) return;
        CMapEditor editor(w->world);
        CTessarakObjectTemplate* rock = w->scene->FindTemplate("Rock_Small");
        state.ResumeTiming();
        int painted = 0;
        for (int i = 0; i < 1000; ++i) {
            CGameScene::SPlacement p;
            p.x = -60.0f + 2.0f * static_cast<float>(i % 50);
            p.z = -60.0f + 2.0f * static_cast<float>(i / 50);
            p.layer = 2;
            if (!editor.MayPlace(rock, p.x, p.z) || !editor.RequestCreate(rock, p)) continue;
            ApplySent(*w);
            ++painted;
        }
        state.PauseTiming();
        state.counters["painted"] = painted;
        w.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_Paint1000)->Unit(benchmark::kMillisecond)->Iterations(5);

// The baseline: the same 1,000 rocks made and placed directly (no check, no
// message).
void BM_Make1000Directly(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        std::unique_ptr<CUnitWorld> w = EmptyWorld(state, 64);
        if (!w) return;
        CTessarakObjectTemplate* rock = w->scene->FindTemplate("Rock_Small");
        CPlayer* neutral = w->players->m_neutral;
        state.ResumeTiming();
        for (int i = 0; i < 1000; ++i) {
            const float x = -60.0f + 2.0f * static_cast<float>(i % 50),
                        z = -60.0f + 2.0f * static_cast<float>(i / 50);
            CTessarakObject* o = w->world.CreateUnit(rock, x, z, neutral, w->scene->m_idTable.NewId());
            MapObject_Place(w->scene, o, x, z, 0, 2, i + 1, 0.0f, 0.0f, nullptr);
        }
        state.PauseTiming();
        w.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_Make1000Directly)->Unit(benchmark::kMillisecond)->Iterations(5);

// 10,000 objects of four templates exported, then loaded back.
void BM_ExportAndLoad10000(benchmark::State& state) {
    std::unique_ptr<CUnitWorld> w = EmptyWorld(state, 128);
    if (!w) return;
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("tessarak_map_bench_" + std::to_string(getpid()));
    std::filesystem::create_directories(folder / "Maps");
    auto windows = [](const std::filesystem::path& p) {
        std::string r = "Z:";
        for (char c : p.string()) r += c == '/' ? '\\' : c;
        return r;
    };
    w->root = windows(folder);
    CGameScene* scene = w->scene;
    CPlayer* neutral = w->players->m_neutral;
    const char* names[] = {"Rock_Small", "Rock_Large", "Tree_Pine", "Tree_Round"};
    auto make = [&](CTessarakObjectTemplate* t, float x, float z) {
        return w->world.CreateUnit(t, x, z, neutral, scene->m_idTable.NewId());
    };
    auto fill = [&] {
        for (int i = 0; i < 10000; ++i) {
            CTessarakObjectTemplate* t = scene->FindTemplate(names[i % 4]);
            const float x = -125.0f + 2.5f * static_cast<float>(i % 100),
                        z = -125.0f + 2.5f * static_cast<float>(i / 100);
            CTessarakObject* o = make(t, x, z);
            MapObject_Place(scene, o, x, z, i % 3, i % 4, i + 1, 0.1f * static_cast<float>(i % 7),
                            0.05f * static_cast<float>(i % 5), nullptr);
        }
    };
    int64_t loaded = 0;
    for (auto _ : state) {
        state.PauseTiming();
        scene->Clear();
        w->world.Ids().SetCounter(0);
        fill();
        state.ResumeTiming();
        if (!ExportMapScript(scene, "Bench")) {
            state.SkipWithError("the export failed");
            break;
        }
        scene->Clear();
        w->world.Ids().SetCounter(0);
        CVFSFile file;
        const std::string bin = windows(folder / "Maps" / "Bench" / "visual.bin");
        if (!file.Open(bin.c_str(), CVFSFile::kModeRead) || !LoadMapObjects(scene, &file, make)) {
            state.SkipWithError("the load failed");
            break;
        }
        loaded = scene->m_objectCount;
    }
    state.counters["objects"] = static_cast<double>(loaded);
    state.counters["visual.bin bytes"] =
        static_cast<double>(std::filesystem::file_size(folder / "Maps" / "Bench" / "visual.bin"));
    state.counters["visual.vxm bytes"] =
        static_cast<double>(std::filesystem::file_size(folder / "Maps" / "Bench" / "visual.vxm"));
    scene->Clear();
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_ExportAndLoad10000)->Unit(benchmark::kMillisecond)->Iterations(5);

// The baseline: as many bytes as the export writes (its script and its
// objects file, about 1 MB), written whole, renamed and read back.
void BM_RawFileOfTheSameBytes(benchmark::State& state) {
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("tessarak_map_bench_raw_" + std::to_string(getpid()));
    const std::string bytes(1u << 20, 'x');
    for (auto _ : state) {
        {
            std::ofstream out(path.string() + ".new", std::ios::binary);
            out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        }
        std::filesystem::rename(path.string() + ".new", path);
        std::ifstream in(path, std::ios::binary);
        std::string back((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        benchmark::DoNotOptimize(back);
    }
    std::filesystem::remove(path);
}
BENCHMARK(BM_RawFileOfTheSameBytes)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
