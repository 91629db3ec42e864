// CRC-32 throughput on 64 KiB blocks, ours against zlib's in the same run.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <random>
#include <vector>

#include "core/CRC32.h"

namespace {

const std::vector<unsigned char>& Block() {
    static std::vector<unsigned char> data = [] {
        std::vector<unsigned char> d(64 * 1024);
        std::mt19937 rng(1);
        for (auto& b : d) b = static_cast<unsigned char>(rng());
        return d;
    }();
    return data;
}

void BM_CRC32_Ours(benchmark::State& state) {
    const auto& d = Block();
    for (auto _ : state) {
        CCRC32 crc;
        benchmark::DoNotOptimize(crc.Update(d.data(), d.size()));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(d.size()));
}

void BM_CRC32_Zlib(benchmark::State& state) {
    const auto& d = Block();
    for (auto _ : state) benchmark::DoNotOptimize(crc32(0, d.data(), static_cast<uInt>(d.size())));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(d.size()));
}

}  // namespace

BENCHMARK(BM_CRC32_Ours);
BENCHMARK(BM_CRC32_Zlib);
