// Software drawing on a 1024 x 768 32-bit surface: filled rectangles and
// text per second, and a full-screen colour-keyed blit against memcpy of the
// same bytes.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <vector>

#include "e3d/Font.h"
#include "e3d/Surface.h"

namespace {

constexpr int kW = 1024, kH = 768;

std::unique_ptr<CE3DSurface> Screen32() {
    auto s = std::make_unique<CE3DSurface>(nullptr);
    s->Create(kW, kH, true, SSurfacePixelFormat::Xrgb8888());
    return s;
}

void FilledRects(benchmark::State& state) {
    const int side = int(state.range(0));
    auto s = Screen32();
    s->Lock();
    uint32_t seed = 1;
    for (auto _ : state) {
        seed = seed * 1664525u + 1013904223u;
        const int x = int(seed >> 8) % (kW - side + 1), y = int(seed >> 20) % (kH - side + 1);
        s->DrawFilledRect(x, y, x + side - 1, y + side - 1, uint8_t(seed), uint8_t(seed >> 8), 40);
    }
    s->Unlock();
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * int64_t(side) * side * 4);
}
BENCHMARK(FilledRects)->Arg(16)->Arg(64)->Arg(256)->Arg(768);

void TextLines(benchmark::State& state) {
    auto s = Screen32();
    CE3DFont font(nullptr);
    font.Build("Arial", 0, 14, 400, 0, state.range(0) ? 1 : 0);
    s->SetFont(&font);
    s->Lock();
    const char* line =
        "Tessarak Dodo: \x02"
        "FF8000units ready\x16 at the north gate (42)";
    int y = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            s->DrawGlyphs(line, 10, y, 255, 255, 255, state.range(0) != 0, false, 0, false));
        y = (y + 16) % (kH - 20);
    }
    s->Unlock();
    const double glyphs = double(std::strlen(line) - 8);  // less the two codes' 8 bytes
    state.SetItemsProcessed(state.iterations());
    state.counters["glyphs/s"] =
        benchmark::Counter(double(state.iterations()) * glyphs, benchmark::Counter::kIsRate);
}
BENCHMARK(TextLines)->Arg(0)->Arg(1);

void KeyedBlitFullScreen(benchmark::State& state) {
    auto src = Screen32(), dst = Screen32();
    src->Lock();
    // A picture with a quarter of its pixels in the key colour.
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const bool key = ((x >> 3) + (y >> 3)) % 4 == 0;
            src->PutPixel(x, y, key ? 255 : uint8_t(x), key ? 0 : uint8_t(y), key ? 255 : 7);
        }
    src->Unlock();
    src->SetColorKey(255, 0, 255);
    for (auto _ : state) src->BltTo(0, 0, dst.get());
    state.SetBytesProcessed(state.iterations() * int64_t(kW) * kH * 4);
}
BENCHMARK(KeyedBlitFullScreen)->Unit(benchmark::kMicrosecond);

void PlainBlitFullScreen(benchmark::State& state) {
    auto src = Screen32(), dst = Screen32();
    for (auto _ : state) src->BltTo(0, 0, dst.get());
    state.SetBytesProcessed(state.iterations() * int64_t(kW) * kH * 4);
}
BENCHMARK(PlainBlitFullScreen)->Unit(benchmark::kMicrosecond);

void MemcpyFullScreen(benchmark::State& state) {
    std::vector<uint8_t> a(size_t(kW) * kH * 4, 1), b(size_t(kW) * kH * 4, 0);
    for (auto _ : state) {
        std::memcpy(b.data(), a.data(), a.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * int64_t(a.size()));
}
BENCHMARK(MemcpyFullScreen)->Unit(benchmark::kMicrosecond);

}  // namespace
