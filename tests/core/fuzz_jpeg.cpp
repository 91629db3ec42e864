// Fuzz target of the JPEG path: whatever the decoder accepts must give a
// sound bitmap of the stated depth that converts into a surface.
//
// The decoder library is not instrumented, so the fuzzer cannot find its way
// into a valid stream on its own: the build makes seed pictures of many kinds
// (tests/core/jpeg_seeds.sh) in <build>/tests/core/seeds_jpeg. Start from them:
//   mkdir -p corpus && ./fuzz_jpeg corpus build-fuzz/tests/core/seeds_jpeg
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "core/Image.h"
#include "core/PixelConvert.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    SPackedDIB* dib = DIB_ReadJPEGMemory(data, size);
    if (!dib) return 0;
    if (!DIB_IsValid(dib) || (dib->m_bitCount != 8 && dib->m_bitCount != 24)) std::abort();
    std::vector<uint8_t> surface(8 * 8 * 2);
    SSurfaceDesc desc{8, 8, 16, surface.data(), 16, 0xF800, 0x07E0, 0x001F, 0};
    if (!DIB_ConvertB_RGB16(desc, dib, false)) std::abort();
    DIB_Free(dib);
    return 0;
}
