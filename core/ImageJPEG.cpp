// JPEG data into packed bitmaps, through the platform's decoder.
#include <vector>

#include "core/Image.h"
#include "core/ImageFile.h"
#include "core/VFSFile.h"
#include "platform/image/JPEGDecoder.h"

SPackedDIB* DIB_ReadJPEGMemory(const uint8_t* data, size_t size) {
    SJPEGInfo info;
    if (!Image_JPEGInfo(data, size, info)) return nullptr;
    // One channel: 8 bits with the grey table; colour: 24 bits, blue first.
    const int bits = info.m_channels == 1 ? 8 : 24;
    SPackedDIB* dib = DIB_Create(info.m_width, info.m_height, bits);
    if (!dib) return nullptr;
    if (bits == 8) {
        uint8_t* table = DIB_ColorTable(dib);
        for (int i = 0; i < 256; ++i) table[i * 4] = table[i * 4 + 1] = table[i * 4 + 2] = uint8_t(i);
    }
    // The decoder fills the bottom-up rows from the picture's top.
    const int32_t pitch = int32_t(DIB_RowBytes(info.m_width, bits));
    if (!Image_JPEGDecode(data, size, DIB_Pixels(dib), info.m_width, pitch, info.m_height, info.m_channels,
                          true)) {
        DIB_Free(dib);
        return nullptr;
    }
    return dib;
}

bool JPEG_ReadFromFile(CImage& image, CVFSFile& file, int32_t length) {
    std::vector<uint8_t> bytes;
    if (!Image_ReadFileBytes(file, length < 0 ? -1 : length, bytes)) return false;
    SPackedDIB* dib = DIB_ReadJPEGMemory(bytes.data(), bytes.size());
    if (!dib) return false;
    image.Adopt(dib);
    return true;
}

bool CImage::LoadJPEG(const char* path) {
    CVFSFile file;
    if (!path || !file.Open(path, CVFSFile::kModeRead)) return false;
    Adopt(nullptr);
    bool ok = JPEG_ReadFromFile(*this, file, -1);
    file.Close();
    return ok;
}
