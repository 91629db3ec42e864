// Picture decoding and conversion speed: a 1024 x 1024 24-bit BMP decoded
// and written into a 5-6-5 surface, against a plain memcpy of the same
// bytes; JPEG decoding against libjpeg-turbo's own tjDecompress2 into the
// same buffer.
#include <benchmark/benchmark.h>
#include <turbojpeg.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/Image.h"
#include "core/ImageBMP.h"
#include "core/PixelConvert.h"
#include "core/PixelRows.h"
#include "core/Quantizer.h"
#include "platform/image/JPEGDecoder.h"

namespace {

constexpr int kSide = 1024;

// A photograph-like picture: smooth gradients with some texture.
SPackedDIB* MakePicture() {
    SPackedDIB* dib = DIB_Create(kSide, kSide, 24);
    const uint32_t row = DIB_RowBytes(kSide, 24);
    uint32_t state = 1;
    for (int y = 0; y < kSide; ++y) {
        uint8_t* p = DIB_Pixels(dib) + size_t(y) * row;
        for (int x = 0; x < kSide; ++x, p += 3) {
            state = state * 1664525u + 1013904223u;
            int noise = int(state >> 28) - 8;
            p[0] = uint8_t((x / 4 + noise) & 255);
            p[1] = uint8_t((y / 4 - noise) & 255);
            p[2] = uint8_t(((x + y) / 8) & 255);
        }
    }
    return dib;
}

const std::vector<uint8_t>& BMPFile() {
    static std::vector<uint8_t> bytes = [] {
        std::vector<uint8_t> out;
        SPackedDIB* dib = MakePicture();
        DIB_WriteBMPMemory(dib, out);
        DIB_Free(dib);
        return out;
    }();
    return bytes;
}

const std::vector<uint8_t>& JPEGFile() {
    static std::vector<uint8_t> bytes = [] {
        SPackedDIB* dib = MakePicture();
        tjhandle tj = tjInitCompress();
        unsigned char* jpeg = nullptr;
        unsigned long size = 0;
        tjCompress2(tj, DIB_Pixels(dib), kSide, int(DIB_RowBytes(kSide, 24)), kSide, TJPF_BGR, &jpeg, &size,
                    TJSAMP_420, 85, TJFLAG_BOTTOMUP);
        std::vector<uint8_t> out(jpeg, jpeg + size);
        tjFree(jpeg);
        tjDestroy(tj);
        DIB_Free(dib);
        return out;
    }();
    return bytes;
}

// The baseline: the file's bytes copied once. Like the decoders below it
// reads the same in-memory file every turn, so both work from warm caches.
void BM_MemcpyBMPBytes(benchmark::State& state) {
    const std::vector<uint8_t>& file = BMPFile();
    std::vector<uint8_t> out(file.size());
    for (auto _ : state) {
        std::memcpy(out.data(), file.data(), file.size());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(file.size()));
}
BENCHMARK(BM_MemcpyBMPBytes)->Unit(benchmark::kMicrosecond);

// The BMP bytes in memory decoded into a 5-6-5 surface, as a picture surface
// loads its file.
void BM_BMPDecodeAndConvertTo565(benchmark::State& state) {
    const std::vector<uint8_t>& file = BMPFile();
    std::vector<uint8_t> surface(size_t(kSide) * kSide * 2);
    SSurfaceDesc desc{kSide, kSide, kSide * 2, surface.data(), 16, 0xF800, 0x07E0, 0x001F, 0};
    for (auto _ : state) {
        if (!DIB_ReadBMPToSurface(desc, file.data(), file.size(), false)) state.SkipWithError("not decoded");
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(file.size()));
}
BENCHMARK(BM_BMPDecodeAndConvertTo565)->Unit(benchmark::kMicrosecond);

// The same through a bitmap, for callers that keep the picture too.
void BM_BMPDecodeBitmapThenConvertTo565(benchmark::State& state) {
    const std::vector<uint8_t>& file = BMPFile();
    std::vector<uint8_t> surface(size_t(kSide) * kSide * 2);
    SSurfaceDesc desc{kSide, kSide, kSide * 2, surface.data(), 16, 0xF800, 0x07E0, 0x001F, 0};
    for (auto _ : state) {
        SPackedDIB* dib = DIB_ReadBMPMemory(file.data(), file.size());
        DIB_ConvertB_RGB16(desc, dib, false);
        DIB_Free(dib);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(file.size()));
}
BENCHMARK(BM_BMPDecodeBitmapThenConvertTo565)->Unit(benchmark::kMicrosecond);

void BM_BMPDecode(benchmark::State& state) {
    const std::vector<uint8_t>& file = BMPFile();
    for (auto _ : state) {
        SPackedDIB* dib = DIB_ReadBMPMemory(file.data(), file.size());
        benchmark::DoNotOptimize(dib);
        DIB_Free(dib);
    }
}
BENCHMARK(BM_BMPDecode)->Unit(benchmark::kMicrosecond);

// Arguments: dither, and the widest vector form allowed (3 AVX-512, 2 AVX2,
// 1 SSSE3, 0 none; the processor's own level caps it).
void BM_ConvertTo565(benchmark::State& state) {
    SPackedDIB* dib = MakePicture();
    std::vector<uint8_t> surface(size_t(kSide) * kSide * 2);
    SSurfaceDesc desc{kSide, kSide, kSide * 2, surface.data(), 16, 0xF800, 0x07E0, 0x001F, 0};
    RowPacker_LimitVectorLevel(int(state.range(1)));
    state.SetLabel("vector level " + std::to_string(RowPacker_VectorLevel()));
    for (auto _ : state) {
        DIB_ConvertB_RGB16(desc, dib, state.range(0) != 0);
        benchmark::ClobberMemory();
    }
    RowPacker_LimitVectorLevel(3);
    DIB_Free(dib);
}
BENCHMARK(BM_ConvertTo565)
    ->Args({0, 3})
    ->Args({0, 2})
    ->Args({0, 1})
    ->Args({0, 0})
    ->Args({1, 3})
    ->Unit(benchmark::kMicrosecond);

// The reference: libjpeg-turbo decoding straight into a bitmap's rows.
void BM_JPEGReferenceTjDecompress2(benchmark::State& state) {
    const std::vector<uint8_t>& jpeg = JPEGFile();
    SPackedDIB* dib = DIB_Create(kSide, kSide, 24);
    tjhandle tj = tjInitDecompress();
    for (auto _ : state) {
        tjDecompress2(tj, jpeg.data(), jpeg.size(), DIB_Pixels(dib), kSide, int(DIB_RowBytes(kSide, 24)),
                      kSide, TJPF_BGR, TJFLAG_BOTTOMUP);
        benchmark::ClobberMemory();
    }
    tjDestroy(tj);
    DIB_Free(dib);
}
BENCHMARK(BM_JPEGReferenceTjDecompress2)->Unit(benchmark::kMicrosecond);

// Ours into the same buffer: the platform decoder as the image code calls it.
void BM_JPEGDecodeIntoBuffer(benchmark::State& state) {
    const std::vector<uint8_t>& jpeg = JPEGFile();
    SPackedDIB* dib = DIB_Create(kSide, kSide, 24);
    for (auto _ : state) {
        SJPEGInfo info;
        Image_JPEGInfo(jpeg.data(), jpeg.size(), info);
        Image_JPEGDecode(jpeg.data(), jpeg.size(), DIB_Pixels(dib), info.m_width,
                         int32_t(DIB_RowBytes(kSide, 24)), info.m_height, info.m_channels, true);
        benchmark::ClobberMemory();
    }
    DIB_Free(dib);
}
BENCHMARK(BM_JPEGDecodeIntoBuffer)->Unit(benchmark::kMicrosecond);

// Ours whole: a new packed bitmap from the JPEG bytes.
void BM_JPEGDecodeNewBitmap(benchmark::State& state) {
    const std::vector<uint8_t>& jpeg = JPEGFile();
    for (auto _ : state) {
        SPackedDIB* dib = DIB_ReadJPEGMemory(jpeg.data(), jpeg.size());
        benchmark::DoNotOptimize(dib);
        DIB_Free(dib);
    }
}
BENCHMARK(BM_JPEGDecodeNewBitmap)->Unit(benchmark::kMicrosecond);

void BM_Quantize256(benchmark::State& state) {
    SPackedDIB* dib = MakePicture();
    for (auto _ : state) {
        CPaletteGenerator g(256);
        benchmark::DoNotOptimize(g.Make(dib));
    }
    DIB_Free(dib);
}
BENCHMARK(BM_Quantize256)->Unit(benchmark::kMillisecond);

}  // namespace
