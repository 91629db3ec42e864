// Fuzz target of the BMP reader. The input is read as a BMP file as it is;
// then, so that random inputs also reach the pixel paths, a sound BMP is built
// from its first bytes (size, depth, header form) and the rest of the input
// is XORed into that file before it is read. Whatever reads back must convert,
// write and read back again to the same block.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/ImageBMP.h"
#include "core/PixelConvert.h"
#include "tools/lib/BMPWriter.h"

namespace {

void Exercise(const uint8_t* data, size_t size) {
    SPackedDIB* dib = DIB_ReadBMPMemory(data, size);
    // Read straight into a surface (wide enough for the vector blocks): refused
    // exactly when the bitmap reader refuses, else the same pixels.
    std::vector<uint8_t> direct(48 * 24 * 2, 0xCD), through(direct);
    SSurfaceDesc d565{48, 24, 96, direct.data(), 16, 0xF800, 0x07E0, 0x001F, 0};
    const bool dither = (size & 2) != 0;
    if (DIB_ReadBMPToSurface(d565, data, size, dither) != (dib != nullptr)) std::abort();
    if (!dib) return;
    d565.m_pixels = through.data();
    if (!DIB_ConvertB_RGB16(d565, dib, dither) || direct != through) std::abort();
    if (!DIB_IsValid(dib)) std::abort();
    // Converters and the writer must cope with whatever the reader accepts.
    std::vector<uint8_t> surface(16 * 16 * 4);
    SSurfaceDesc desc{16, 16, 64, surface.data(), 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000};
    if (!DIB_ConvertB_RGB32(desc, dib, size & 1)) std::abort();
    if (dib->m_width * int64_t(dib->m_height) <= 4096) {
        SPackedDIB* eight = DIB_ConvertDepthBlock(dib, 8, false, nullptr, false);
        if (!eight) std::abort();
        DIB_Free(eight);
    }
    std::vector<uint8_t> again;
    if (!DIB_WriteBMPMemory(dib, again)) std::abort();
    SPackedDIB* back = DIB_ReadBMPMemory(again.data(), again.size());
    if (!back || DIB_BlockBytes(back) != DIB_BlockBytes(dib) ||
        std::memcmp(back, dib, DIB_BlockBytes(dib)) != 0)
        std::abort();
    DIB_Free(back);
    DIB_Free(dib);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Exercise(data, size);
    if (size < 4) return 0;
    static const int kDepths[6] = {1, 4, 8, 16, 24, 32};
    const int width = 1 + data[0] % 40, height = 1 + data[1] % 20, bits = kDepths[data[2] % 6];
    SPackedDIB* seed = DIB_Create(width, height, bits);
    if (!seed) return 0;
    for (uint32_t i = 0; i < seed->m_imageSize; ++i) DIB_Pixels(seed)[i] = uint8_t(i * 31 + data[3]);
    SBMPForm form;
    form.m_fileHeader = (data[3] & 1) != 0;
    form.m_headerSize = (data[3] & 6) == 2 && bits <= 8 && bits != 16 ? 12 : ((data[3] & 6) == 4 ? 108 : 40);
    form.m_topDown = form.m_headerSize != 12 && (data[3] & 8) != 0;
    form.m_plainMasks = (data[3] & 16) != 0;
    std::vector<uint8_t> file = BMP_Build(seed, form);
    DIB_Free(seed);
    // The rest of the input: pairs of (position, value) XORed in.
    for (size_t i = 4; i + 1 < size && !file.empty(); i += 2) file[data[i] % file.size()] ^= data[i + 1];
    if (size > 4 && !file.empty() && (data[4] & 0x80)) file.resize(file.size() - 1 - data[4] % file.size());
    Exercise(file.data(), file.size());
    return 0;
}
