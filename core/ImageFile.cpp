// BMP files through the file table.
#include "core/ImageFile.h"

#include <vector>

#include "core/ImageBMP.h"
#include "core/SysUtil.h"
#include "core/VFSFile.h"

bool Image_ReadFileBytes(CVFSFile& file, int64_t length, std::vector<uint8_t>& out) {
    out.clear();
    if (!file.IsOpen()) return false;
    uint32_t want;
    if (length < 0) {
        if (!file.Seek(0)) return false;
        want = file.GetSize();
    } else {
        // A length from a damaged record must not make us allocate what the file
        // cannot hold.
        uint32_t size = file.GetSize(), at = file.Tell();
        if (at > size || uint64_t(length) > size - at) return false;
        want = static_cast<uint32_t>(length);
    }
    if (want > kImageMaxFileBytes) return false;
    out.resize(want);
    if (want != 0 && file.Read(out.data(), want) != want) {
        out.clear();
        return false;
    }
    return true;
}

SPackedDIB* DIB_ReadBMP(const char* path) {
    CVFSFile file;
    if (!path || !file.Open(path, CVFSFile::kModeRead)) return nullptr;
    std::vector<uint8_t> bytes;
    if (!Image_ReadFileBytes(file, -1, bytes)) return nullptr;
    size_t pixelOffset = 0;
    SPackedDIB* header = DIB_ReadBMPHeader(bytes.data(), bytes.size(), &pixelOffset);
    if (!header) return nullptr;
    const uint32_t need = header->m_imageSize;
    DIB_Free(header);
    size_t got = pixelOffset < bytes.size() ? bytes.size() - pixelOffset : 0;
    if (got < need) {
        // A file cut short in its rows is refused, and the user told so (a box he
        // can silence for the rest of the run).
        ViewDataBox("Warning reading file failed for Bitmap Bytes read: ", int32_t(got));
        return nullptr;
    }
    return DIB_ReadBMPMemory(bytes.data(), bytes.size());
}

bool DIB_WriteBMP(const char* path, const SPackedDIB* dib) {
    std::vector<uint8_t> bytes;
    if (!path || !DIB_WriteBMPMemory(dib, bytes)) return false;
    CVFSFile file;
    if (!file.Open(path, CVFSFile::kModeWrite)) return false;
    // The file header goes out in its two pieces (the "BM" word, then the
    // rest), then the bitmap itself.
    bool ok = file.Write(bytes.data(), 2) == 2 && file.Write(bytes.data() + 2, 12) == 12 &&
              file.Write(bytes.data() + 14, uint32_t(bytes.size() - 14)) == bytes.size() - 14;
    file.Close();
    return ok;
}
