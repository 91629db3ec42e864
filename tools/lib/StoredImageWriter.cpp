#include "tools/lib/StoredImageWriter.h"

#include <cstring>

#include "core/LittleEndian.h"
#include "tools/lib/BMPWriter.h"

bool StoredImage_Write(std::vector<uint8_t>& out, const SPackedDIB* dib, const SStoredImageForm& form) {
    if (!DIB_IsValid(dib)) return false;
    if (form.m_jpeg && form.m_version < 29) return false;
    if (form.m_v4Header && form.m_version < 15) return false;
    LE_PutU32(out, dib->m_bitCount);
    LE_PutU32(out, uint32_t(dib->m_width));
    LE_PutU32(out, uint32_t(dib->m_height));
    LE_PutU32(out, form.m_ownValue);
    if (form.m_version >= 29) out.push_back(form.m_jpeg ? 1 : 0);

    // Header and table in the in-memory layout (or the 108-byte form), then the rows.
    SBMPForm bmp;
    bmp.m_fileHeader = false;
    bmp.m_headerSize = form.m_v4Header ? 108 : 40;
    std::vector<uint8_t> file = BMP_Build(dib, bmp);
    if (file.empty()) return false;
    const uint32_t rows = DIB_RowBytes(dib->m_width, dib->m_bitCount) * uint32_t(dib->m_height);
    const uint32_t head = uint32_t(file.size()) - rows;
    if (form.m_version < 15) {
        LE_PutU32(out, uint32_t(file.size()));
        out.insert(out.end(), file.begin(), file.end());
        return true;
    }
    LE_PutU32(out, head);
    out.insert(out.end(), file.begin(), file.begin() + head);
    if (form.m_jpeg) {
        LE_PutU32(out, uint32_t(form.m_jpeg->size()));
        out.insert(out.end(), form.m_jpeg->begin(), form.m_jpeg->end());
    } else {
        out.insert(out.end(), file.begin() + head, file.end());
    }
    return true;
}
