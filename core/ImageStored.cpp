// Images stored inside the texture records of content files.
//
// Layout, little-endian, by the record's file version v:
//   u32 bits per pixel, u32 width, u32 height, u32 a value of the texture's own
//   v >= 29: u8 compressed flag
//   u32 N, then
//     v < 15:   N bytes holding a complete packed bitmap (header, table, rows)
//     v 15-28:  N bytes of header and colour table, then the header's
//               image-size field's worth of pixel rows
//     v >= 29:  N bytes of header and colour table, then, when compressed,
//               u32 L and L bytes of JPEG data, else the rows as for 15-28
// The header is the 40-byte one or the 108-byte version-4 form (whose masks
// sit inside it); either reads into the 40-byte in-memory form. The writer
// beside this reader is tools/lib/StoredImageWriter.
#include <cstring>
#include <vector>

#include "core/Image.h"
#include "core/ImageBMP.h"
#include "core/ImageFile.h"
#include "core/LittleEndian.h"
#include "core/VFSFile.h"

namespace {

// Header and table of a stored image never take more than this; a larger N
// is damage.
constexpr uint32_t kMaxStoredHeadBytes = 4096;

// The number of row bytes stored behind a header: its image-size field, which
// must cover every row (0 stands for exactly that).
bool StoredRowBytes(const std::vector<uint8_t>& head, const SPackedDIB* header, uint32_t& bytes) {
    uint32_t field = LE_LoadU32(head.data()) >= 40 ? LE_LoadU32(head.data() + 20) : 0;
    if (field == 0) field = header->m_imageSize;
    if (field < header->m_imageSize || field > kDIBMaxImageBytes) return false;
    bytes = field;
    return true;
}

bool ReadHead(CVFSFile& file, std::vector<uint8_t>& head) {
    uint32_t n = 0;
    if (!file.ReadU32(n) || n < 12 || n > kMaxStoredHeadBytes) return false;
    return Image_ReadFileBytes(file, n, head);
}

}  // namespace

bool ReadStoredImageAt(CImage& image, CVFSFile& file) {
    std::vector<uint8_t> head;
    if (!ReadHead(file, head)) return false;
    if (image.m_version >= 29 && image.m_compressed) {
        uint32_t length = 0;
        if (!file.ReadU32(length) || length > kImageMaxFileBytes) return false;
        if (!JPEG_ReadFromFile(image, file, int32_t(length))) return false;
        image.m_loaded = 1;
        return true;
    }
    bool topDown = false;
    SPackedDIB* header = DIB_ReadBMPHeader(head.data(), head.size(), nullptr, &topDown);
    if (!header) return false;
    uint32_t rowBytes = 0;
    std::vector<uint8_t> rows;
    SPackedDIB* dib = nullptr;
    if (StoredRowBytes(head, header, rowBytes) && Image_ReadFileBytes(file, rowBytes, rows))
        dib = DIB_FromParts(header, rows.data(), topDown);
    DIB_Free(header);
    if (!dib) return false;
    image.Adopt(dib);
    image.m_loaded = 1;
    return true;
}

bool ReadStoredImageSet(CImage& image, CVFSFile& file, int version, bool loadNow, const char* name,
                        uint32_t* ownValue) {
    image.m_version = uint8_t(version < 0 ? 0 : (version > 255 ? 255 : version));
    uint32_t bits = 0, width = 0, height = 0, own = 0;
    if (!file.ReadU32(bits) || !file.ReadU32(width) || !file.ReadU32(height) || !file.ReadU32(own))
        return false;
    if (ownValue) *ownValue = own;
    image.m_bitCount = int32_t(bits);
    image.m_width = int32_t(width);
    image.m_height = int32_t(height);
    image.m_compressed = 0;
    if (version >= 29 && !file.ReadU8(image.m_compressed)) return false;

    if (version < 15) {
        uint32_t n = 0;
        std::vector<uint8_t> block;
        if (!file.ReadU32(n) || !Image_ReadFileBytes(file, n, block)) return false;
        SPackedDIB* dib = DIB_ReadBMPMemory(block.data(), block.size());
        if (!dib) return false;
        image.Adopt(dib);
        image.m_loaded = 1;
        return true;
    }

    if (name) {
        image.m_name = name;
        image.m_storedOffset = file.Tell();
    }
    if (loadNow) return ReadStoredImageAt(image, file);

    // Only the place is kept: step over the data, checking that it is there.
    std::vector<uint8_t> head;
    if (!ReadHead(file, head)) return false;
    uint32_t skip = 0;
    if (version >= 29 && image.m_compressed) {
        if (!file.ReadU32(skip)) return false;
    } else {
        SPackedDIB* header = DIB_ReadBMPHeader(head.data(), head.size());
        bool ok = header && StoredRowBytes(head, header, skip);
        DIB_Free(header);
        if (!ok) return false;
    }
    uint32_t size = file.GetSize(), at = file.Tell();
    if (at > size || skip > size - at || !file.Seek(at + skip)) return false;
    image.m_loaded = 0;
    return true;
}

bool ReadStoredImage(CImage& image) {
    if (image.m_name.IsEmpty()) return false;
    CVFSFile file;
    if (!file.Open(image.m_name.GetText(), CVFSFile::kModeRead)) return false;
    bool ok = file.Seek(image.m_storedOffset) && ReadStoredImageAt(image, file);
    file.Close();
    return ok;
}
