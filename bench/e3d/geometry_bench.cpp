// Geometry and appearance figures:
// - shape-block loading in MB/s (a block of 2000 vertices, 4 position sets,
//   a colour set, 2 texture-coordinate sets, 3000 faces, read from a file
//   through the file layer): into a new block each time, as a shape's load
//   does, and again into the same block; against reading the same file
//   through the file layer into a buffer, and against memcpy of its bytes, in
//   the same run; and paired with fread of the whole file, taking turns
//   (ShapeBlockLoadVsFread, the figure that counts);
// - a 256 x 256 texture's staging surface filled from its cache file, against
//   decoding its stored picture (JPEG and BMP) and converting it (the goal:
//   the cache at least 5 times faster), and the whole load with surfaces and
//   mip levels (argument 1: from the cache, 0: decoded);
// - the morph animation of a mesh (4 position sets blended, 2000 vertices)
//   per mesh per frame.
#include <benchmark/benchmark.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/support/MinMax.h"
#include "core/ImageBMP.h"
#include "core/PackedDIB.h"
#include "core/VFSFile.h"
#include "e3d/E3D.h"
#include "e3d/Frame.h"
#include "e3d/Mesh.h"
#include "e3d/Shape.h"
#include "e3d/ShapeBlock.h"
#include "platform/d3d/Recorder.h"
#include "platform/sys/Memory.h"
#include "tests/support/ImageTexture.h"
#include "tools/lib/GeometryWriter.h"

namespace {

std::string TempFolder() {
    static std::string dir = [] {
        char tmpl[] = "/tmp/tessarak_geom_bench_XXXXXX";
        const char* d = mkdtemp(tmpl);
        return std::string(d ? d : "/tmp");
    }();
    return dir;
}

void FillBlock(CE3DShapeBlock& b, uint32_t V, uint32_t P, uint32_t faces) {
    b.m_name = "bench";
    b.m_vertexCount = V;
    b.m_positions.assign(P, std::vector<float>(size_t(V) * 6));
    b.m_positionNames.assign(P, CStrBuf("set"));
    for (uint32_t s = 0; s < P; ++s)
        for (size_t i = 0; i < b.m_positions[s].size(); ++i)
            b.m_positions[s][i] = float(i % 97) * 0.01f + float(s);
    b.m_colors.assign(1, std::vector<uint32_t>(V, 0xFF808080u));
    b.m_texCoords.assign(2, std::vector<float>(size_t(V) * 2, 0.5f));
    b.AllocIndices(faces, 3);
    for (size_t i = 0; i < b.m_indices.size(); ++i) b.m_indices[i] = uint16_t((i * 7) % V);
    b.AllocBuffers(0x40 | 0x200);
    b.ComputeCentre();
}

const std::vector<uint8_t>& BlockRecord() {
    static std::vector<uint8_t> bytes = [] {
        CE3DShapeBlock b(nullptr);
        FillBlock(b, 2000, 4, 3000);
        std::vector<uint8_t> out;
        ShapeBlock_Write(out, b);
        return out;
    }();
    return bytes;
}

const std::string& BlockFile() {
    static std::string path = [] {
        const std::vector<uint8_t>& bytes = BlockRecord();
        std::string p = TempFolder() + "/block.bin";
        FILE* f = std::fopen(p.c_str(), "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        return p;
    }();
    return path;
}

// Loads the block's file again and again: into a new block each time, as a
// shape's load does, or into the same block (which keeps its memory).
void LoadBlocks(benchmark::State& state, bool sameBlock) {
    const std::string& path = BlockFile();
    CVFSTable table;
    CE3DShapeBlock kept(nullptr);
    for (auto _ : state) {
        CVFSFile file(path.c_str(), CVFSFile::kModeRead, &table);
        CE3DShapeBlock fresh(nullptr);
        CE3DShapeBlock& b = sameBlock ? kept : fresh;
        if (!b.Load(file, 29)) state.SkipWithError("refused");
        benchmark::DoNotOptimize(b.m_vertexCount);
    }
    state.SetBytesProcessed(state.iterations() * int64_t(BlockRecord().size()));
}

void ShapeBlockLoad(benchmark::State& state) {
    // The game's heap, as its display's start-up tunes it before any content
    // loads: freed blocks stay in the heap instead of going back to the
    // system and faulting in again.
    Sys_TuneAllocator();
    LoadBlocks(state, false);
}
BENCHMARK(ShapeBlockLoad);

void ShapeBlockReload(benchmark::State& state) {
    LoadBlocks(state, true);
}
BENCHMARK(ShapeBlockReload);

// The file read whole through the file layer, into a buffer kept from run to run.
void ShapeBlockFileRead(benchmark::State& state) {
    const std::string& path = BlockFile();
    CVFSTable table;
    std::vector<uint8_t> buffer(BlockRecord().size());
    for (auto _ : state) {
        CVFSFile file(path.c_str(), CVFSFile::kModeRead, &table);
        if (file.Read(buffer.data(), uint32_t(buffer.size())) != buffer.size()) state.SkipWithError("short");
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * int64_t(buffer.size()));
}
BENCHMARK(ShapeBlockFileRead);

// The load into a new block against fopen, fread of the whole file and
// fclose, taking turns in each iteration (both see the same load), on the
// thread's processor time (user and system); the counter "vs_fread" is
// fread's time over the load's (1: as fast as fread). bench/run.sh's
// repetitions give its min, median and max.
void ShapeBlockLoadVsFread(benchmark::State& state) {
    Sys_TuneAllocator();
    const std::string& path = BlockFile();
    CVFSTable table;
    std::vector<uint8_t> buffer(BlockRecord().size() + 1);
    using Clock = SThreadClock;
    Clock::duration ours{}, theirs{};
    for (auto _ : state) {
        const auto t0 = Clock::now();
        {
            CVFSFile file(path.c_str(), CVFSFile::kModeRead, &table);
            CE3DShapeBlock b(nullptr);
            if (!b.Load(file, 29)) state.SkipWithError("refused");
            benchmark::DoNotOptimize(b.m_vertexCount);
        }
        const auto t1 = Clock::now();
        FILE* f = std::fopen(path.c_str(), "rb");
        if (!f || std::fread(buffer.data(), 1, buffer.size(), f) != buffer.size() - 1)
            state.SkipWithError("fread short");
        if (f) std::fclose(f);
        benchmark::ClobberMemory();
        const auto t2 = Clock::now();
        ours += t1 - t0;
        theirs += t2 - t1;
    }
    const double bytes = double(state.iterations()) * double(BlockRecord().size());
    state.counters["load_GBps"] = bytes / std::chrono::duration<double>(ours).count() / 1e9;
    state.counters["fread_GBps"] = bytes / std::chrono::duration<double>(theirs).count() / 1e9;
    state.counters["vs_fread"] = double(theirs.count()) / double(std::max<Clock::rep>(1, ours.count()));
}
BENCHMARK(ShapeBlockLoadVsFread)->Apply(WithMinMax);

void ShapeBlockMemcpy(benchmark::State& state) {
    const std::vector<uint8_t>& bytes = BlockRecord();
    std::vector<uint8_t> copy(bytes.size());
    for (auto _ : state) {
        std::memcpy(copy.data(), bytes.data(), bytes.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * int64_t(bytes.size()));
}
BENCHMARK(ShapeBlockMemcpy);

// ---------------------------------------------------------------------------
// Textures.

struct STextureWorld {
    CD3DRecorder rec;
    CE3DEngine* engine;
    CE3DScreen* screen;
    std::vector<uint8_t> jpeg, bmp;
    STextureWorld() {
        DDraw_SetFactory(&rec);
        engine = new CE3DEngine;
        screen = new CE3DScreen(engine, engine->m_drivers[0]);
        screen->SetWindowedMode(engine->m_drivers[0], nullptr, 64, 64, false);
        screen->m_cacheFolder.Format("Z:%s", TempFolder().c_str());
        // A 256 x 256 picture with detail everywhere.
        std::vector<uint8_t> rgb(256 * 256 * 3);
        uint32_t seed = 5;
        for (size_t i = 0; i < rgb.size(); ++i) {
            seed = seed * 1664525u + 1013904223u;
            rgb[i] = uint8_t((i / 3 % 256) + (seed >> 28));
        }
        tjhandle tj = tjInitCompress();
        unsigned char* out = nullptr;
        unsigned long size = 0;
        tjCompress2(tj, rgb.data(), 256, 0, 256, TJPF_RGB, &out, &size, TJSAMP_420, 85, 0);
        jpeg.assign(out, out + size);
        tjFree(out);
        tjDestroy(tj);
        SPackedDIB* dib = DIB_Create(256, 256, 24);
        for (int y = 0; y < 256; ++y)
            std::memcpy(DIB_Pixels(dib) + size_t(255 - y) * DIB_RowBytes(256, 24), &rgb[size_t(y) * 768],
                        768);
        DIB_WriteBMPMemory(dib, bmp);
        DIB_Free(dib);
    }
};

STextureWorld& World() {
    static STextureWorld w;
    return w;
}

// The staging surface filled from the cache file or from the picture; the
// surfaces are made once (both ways make them alike: that cost is the
// allocator's, and TextureLoadWhole shows it).
void TextureLoad(benchmark::State& state, bool jpeg, bool cache) {
    STextureWorld& w = World();
    CImageTexture t(w.screen, jpeg ? w.jpeg : w.bmp, 256, 256, cache);
    t.LoadImage();  // the surfaces, and the cache file
    for (auto _ : state)
        if (!t.FillStaging() || t.m_fromCache != cache) state.SkipWithError("not loaded as asked");
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * 256 * 256 * 4);
}
void TextureFromCache(benchmark::State& s) {
    TextureLoad(s, true, true);
}
void TextureDecodeJPEG(benchmark::State& s) {
    TextureLoad(s, true, false);
}
void TextureDecodeBMP(benchmark::State& s) {
    TextureLoad(s, false, false);
}
BENCHMARK(TextureFromCache);
BENCHMARK(TextureDecodeJPEG);
BENCHMARK(TextureDecodeBMP);

// The whole load with a mip chain: new surfaces, the cache file, the halving.
void TextureLoadWhole(benchmark::State& state) {
    STextureWorld& w = World();
    CImageTexture t(w.screen, w.jpeg, 256, 256, state.range(0) != 0);
    t.LoadImage();
    for (auto _ : state) {
        t.LoadImage();
        w.rec.ClearLog();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(TextureLoadWhole)->Arg(1)->Arg(0);

// ---------------------------------------------------------------------------
// Mesh animation.

int64_t g_now = 0;

void MeshAnimation(benchmark::State& state) {
    const int meshes = int(state.range(0));
    CE3DMesh::SetClock([](void*) { return g_now; }, nullptr);
    CE3DShape shape(static_cast<CE3DEngine*>(nullptr));
    FillBlock(*new CE3DShapeBlock(&shape), 2000, 4, 3000);
    shape.m_animated = 1;
    shape.m_duration = 1193182;  // one second
    shape.m_endMode = kE3DShapeEndLoop;
    shape.PrepareBlocks();
    shape.ComputeBounds();
    CE3DFrame root(nullptr);
    std::vector<CE3DMesh*> all;
    for (int i = 0; i < meshes; ++i) all.push_back(new CE3DMesh(&root, &shape));
    for (auto _ : state) {
        g_now += 19886;  // a frame at 60 per second
        int depth = 0;
        for (CE3DMesh* m : all) m->Update(&depth);
    }
    state.SetItemsProcessed(state.iterations() * meshes);  // meshes animated
    CE3DMesh::SetClock(nullptr, nullptr);
}
BENCHMARK(MeshAnimation)->Arg(1)->Arg(100);

}  // namespace
