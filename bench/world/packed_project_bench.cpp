// Loading packed projects: the demo project the build makes, and a project
// generated from the demo's sources at 100 times its size (its textures,
// materials and templates a hundred times over, with ids of their own),
// each against reading the same file into memory in the same run. The
// loader runs headless (no display: textures keep their pictures in the
// file until a device asks for them), as a server or the world tests do.
//
//   nice build/bench/packed_project_bench
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/VFSFile.h"
#include "tests/support/WorldTestHost.h"
#include "tools/lib/ContentProject.h"
#include "tools/lib/PackedProjectWriter.h"
#include "world/Project.h"

namespace {

struct SFixture {
    std::string demo;   // folder of the demo's PackedProject.VXP (game form)
    std::string large;  // folder of the generated one
    size_t demoBytes = 0, largeBytes = 0;
    std::string tmp;
    SFixture() {
        demo = std::string("Z:") + TESSARAK_BUILD_DIR + "/install/Tessarak/Units";
        CVFSFile f;
        if (f.Open((demo + "\\PackedProject.VXP").c_str(), CVFSFile::kModeRead)) demoBytes = f.GetSize();
        char folder[] = "/tmp/tessarak-vxp-bench-XXXXXX";
        tmp = mkdtemp(folder);
        SContentBuild build;
        std::string error;
        if (!ContentProject_Load(
                std::string(TESSARAK_SOURCE_DIR) + "/content/Tessarak/Units/PackedProject.VXP", build,
                error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            std::abort();
        }
        SPackedProject big = build.project;
        big.textures.clear();
        big.materials.clear();
        big.templates.clear();
        for (uint32_t k = 0; k < 100; ++k) {
            for (SPackedTexture t : build.project.textures) {
                t.textureId += k * 1000;
                t.name += "_" + std::to_string(k);
                big.textures.push_back(t);
            }
            for (SPackedMaterial m : build.project.materials) {
                m.materialId += k * 1000;
                m.name += "_" + std::to_string(k);
                big.materials.push_back(m);
            }
            for (SPackedNode n : build.project.templates) {
                n.nodeId = (n.nodeId + k * 7919u) & 0x7FFFFFFFu;
                n.name += "_" + std::to_string(k);
                big.templates.push_back(n);
            }
        }
        if (!PackedProject_WriteFile(tmp + "/PackedProject.VXP", big)) std::abort();
        large = "Z:" + tmp;
        if (f.Open((large + "\\PackedProject.VXP").c_str(), CVFSFile::kModeRead)) largeBytes = f.GetSize();
    }
    ~SFixture() {
        unlink((tmp + "/PackedProject.VXP").c_str());
        rmdir(tmp.c_str());
    }
};

SFixture& Fixture() {
    static SFixture f;
    return f;
}

void Load(benchmark::State& state, const std::string& folder, size_t bytes) {
    CWorldTestHost host;
    CProjectList projects(nullptr, host.scene);
    host.SetProjects(&projects);
    int templates = 0;
    for (auto _ : state) {
        if (!projects.LoadProject(folder.c_str())) state.SkipWithError("the project did not load");
        templates = host.scene->m_templateCount;
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
    state.counters["templates"] = templates;
    state.counters["file_bytes"] = double(bytes);
}

void ReadIntoMemory(benchmark::State& state, const std::string& folder, size_t bytes) {
    std::vector<char> buffer(bytes);
    const std::string path = folder + "\\PackedProject.VXP";
    for (auto _ : state) {
        CVFSFile f;
        if (!f.Open(path.c_str(), CVFSFile::kModeRead)) state.SkipWithError("no file");
        size_t got = 0;
        while (got < bytes) {
            const uint32_t n = f.Read(buffer.data() + got, uint32_t(std::min<size_t>(bytes - got, 65536)));
            if (!n) break;
            got += n;
        }
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}

void BM_LoadDemoProject(benchmark::State& state) {
    Load(state, Fixture().demo, Fixture().demoBytes);
}
void BM_ReadDemoIntoMemory(benchmark::State& state) {
    ReadIntoMemory(state, Fixture().demo, Fixture().demoBytes);
}
void BM_LoadProject100x(benchmark::State& state) {
    Load(state, Fixture().large, Fixture().largeBytes);
}
void BM_ReadProject100xIntoMemory(benchmark::State& state) {
    ReadIntoMemory(state, Fixture().large, Fixture().largeBytes);
}

}  // namespace

BENCHMARK(BM_LoadDemoProject)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadDemoIntoMemory)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadProject100x)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadProject100xIntoMemory)->Unit(benchmark::kMillisecond);
