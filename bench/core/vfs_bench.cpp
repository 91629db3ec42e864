// The file table: reading every member of a 64 MiB pack through CVFSFile
// against plain read() of the same file, and Find over 20,000 entries.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <ftw.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "core/VFSFile.h"
#include "platform/sys/Path.h"
#include "tools/lib/PackWriter.h"

namespace {

constexpr size_t kPackBytes = 64u << 20;
constexpr size_t kReadChunk = 64 * 1024;

struct SPackFixture {
    std::string folder;
    std::string pack;  // Linux path
    std::vector<std::string> members;
    SPackFixture() {
        char tmpl[] = "/tmp/tessarak-bench-XXXXXX";
        folder = mkdtemp(tmpl);
        pack = folder + "/big.box";
        // Members of mixed sizes (1 KiB to 2 MiB) adding up to 64 MiB.
        CPackWriter w;
        std::mt19937 rng(3);
        size_t total = 0;
        std::string data;
        for (int i = 0; total < kPackBytes; ++i) {
            size_t size = std::min<size_t>(1024u << (rng() % 12), kPackBytes - total);
            data.assign(size, static_cast<char>(i));
            std::string name =
                "Data\\Folder" + std::to_string(i % 7) + "\\Member" + std::to_string(i) + ".bin";
            w.Add(name, data);
            members.push_back(name);
            total += size;
        }
        w.WriteTo(pack);
    }
    ~SPackFixture() {
        nftw(
            folder.c_str(), [](const char* p, const struct stat*, int, struct FTW*) { return remove(p); }, 8,
            FTW_DEPTH | FTW_PHYS);
    }
};

SPackFixture& Fixture() {
    static SPackFixture f;
    return f;
}

void BM_PackReadThroughVFSFile(benchmark::State& state) {
    auto& f = Fixture();
    CVFSTable table;
    table.MountPack(Sys_ToWindowsPath(f.pack.c_str()).c_str());
    std::vector<char> buf(kReadChunk);
    for (auto _ : state) {
        size_t total = 0;
        for (const auto& m : f.members) {
            CVFSFile file(m.c_str(), 0, &table);
            while (file.Read(buf.data(), kReadChunk) > 0) total += file.BytesRead();
        }
        if (total != kPackBytes) state.SkipWithError("short read");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kPackBytes));
}

void BM_PackReadPlain(benchmark::State& state) {
    auto& f = Fixture();
    std::vector<char> buf(kReadChunk);
    for (auto _ : state) {
        int fd = open(f.pack.c_str(), O_RDONLY);
        size_t total = 0;
        ssize_t n;
        while (total < kPackBytes && (n = read(fd, buf.data(), std::min(kReadChunk, kPackBytes - total))) > 0)
            total += static_cast<size_t>(n);
        close(fd);
        benchmark::DoNotOptimize(total);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kPackBytes));
}

void BM_FindOver20000Entries(benchmark::State& state) {
    CVFSTable table;
    std::vector<std::string> names;
    for (int i = 0; i < 20000; ++i) {
        names.push_back("Z:\\opt\\tessarak\\Content\\Units\\Group" + std::to_string(i % 50) + "\\Unit" +
                        std::to_string(i) + ".vxm");
        table.AddEntry(names.back().c_str());
    }
    // Look-ups in other letter case, in a scrambled order.
    std::vector<std::string> asked;
    std::mt19937 rng(5);
    for (int i = 0; i < 4096; ++i) {
        std::string s = names[rng() % names.size()];
        for (char& c : s)
            if (rng() & 1) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        asked.push_back(s);
    }
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(table.Find(asked[i++ & 4095].c_str()));
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

}  // namespace

BENCHMARK(BM_PackReadThroughVFSFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PackReadPlain)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindOver20000Entries);
