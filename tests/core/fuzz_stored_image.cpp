// Fuzz target of the images stored inside texture records. The first bytes
// pick the record's version, whether the bitmap is read at once or later
// through its remembered place, and the size, depth and header form of a
// sound record that the writer builds; the rest of the input is XORed into
// that record, so random inputs reach the header checks and the pixel reads.
// The raw input is also read as a record of its own. Whatever loads must be a
// sound bitmap whose every pixel byte can be read.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "core/Image.h"
#include "core/PackedDIB.h"
#include "core/VFSFile.h"
#include "tests/support/MemFile.h"
#include "tools/lib/StoredImageWriter.h"

namespace {

void ReadRecord(SMemFile& mem, const uint8_t* data, size_t size, int version, bool loadNow) {
    mem.Set(data, size);
    CVFSTable table;
    CVFSFile file(mem.path.c_str(), CVFSFile::kModeRead, &table);
    CImage image(0, 0, 0);
    uint32_t own = 0;
    bool ok = ReadStoredImageSet(image, file, version, loadNow, mem.path.c_str(), &own);
    // A remembered place is read through the global table, as textures do.
    if (ok && !image.IsLoaded()) ok = ReadStoredImage(image);
    if (!ok || !image.IsLoaded()) return;
    const SPackedDIB* dib = image.GetBitmap();
    if (!dib || !DIB_IsValid(dib)) std::abort();
    if (image.GetWidth() != dib->m_width || image.GetHeight() != dib->m_height) std::abort();
    uint32_t rows = DIB_RowBytes(dib->m_width, dib->m_bitCount) * static_cast<uint32_t>(dib->m_height);
    if (dib->m_imageSize < rows) std::abort();
    // Every byte of the rows belongs to the bitmap (checked by the sanitizers).
    volatile uint8_t sum = 0;
    const uint8_t* pixels = image.GetPixels();
    for (uint32_t i = 0; i < rows; ++i) sum = static_cast<uint8_t>(sum + pixels[i]);
    (void)sum;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static SMemFile mem("stored");
    if (size < 4) return 0;
    static const int kVersions[] = {4, 14, 15, 20, 28, 29, 30, 35};
    const int version = kVersions[data[0] & 7];
    const bool loadNow = (data[0] & 8) != 0;
    ReadRecord(mem, data + 1, size - 1, version, loadNow);

    static const int kBits[] = {1, 4, 8, 16, 24, 32};
    const int bits = kBits[data[1] % 6];
    const int width = 1 + (data[2] & 15), height = 1 + (data[3] & 15);
    SPackedDIB* dib = DIB_Create(width, height, bits);
    if (!dib) return 0;
    SStoredImageForm form;
    form.m_version = version;
    form.m_v4Header = (data[0] & 16) != 0;
    std::vector<uint8_t> record;
    bool written = StoredImage_Write(record, dib, form);
    DIB_Free(dib);
    if (!written || record.empty()) return 0;
    for (size_t i = 4; i < size; ++i) record[(i - 4) % record.size()] ^= data[i];
    ReadRecord(mem, record.data(), record.size(), version, loadNow);
    return 0;
}
