#include "e3d/RecordReader.h"

#include <cstring>
#include <vector>

#include "core/LittleEndian.h"
#include "core/VFSFile.h"

CE3DRecordReader::CE3DRecordReader(CVFSFile& file) : m_file(file) {
    uint32_t size = file.GetSize(), pos = file.Tell();
    m_left = size > pos ? size - pos : 0;
}

bool CE3DRecordReader::Has(uint64_t n) {
    if (!m_ok || n > m_left) m_ok = false;
    return m_ok;
}

bool CE3DRecordReader::Bytes(void* out, uint64_t n) {
    if (!Has(n)) return false;
    uint8_t* p = static_cast<uint8_t*>(out);
    while (n > 0) {
        uint32_t chunk = n > 0x40000000u ? 0x40000000u : uint32_t(n);
        if (m_file.Read(p, chunk) != chunk) return Fail();
        p += chunk;
        n -= chunk;
        m_left -= chunk;
    }
    return true;
}

bool CE3DRecordReader::Skip(uint64_t n) {
    if (!Has(n)) return false;
    if (!m_file.Skip(uint32_t(n))) return Fail();
    m_left -= n;
    return true;
}

uint8_t CE3DRecordReader::U8() {
    uint8_t v = 0;
    return Bytes(&v, 1) ? v : 0;
}

uint16_t CE3DRecordReader::U16() {
    uint8_t b[2];
    return Bytes(b, 2) ? LE_LoadU16(b) : 0;
}

uint32_t CE3DRecordReader::U32() {
    uint8_t b[4];
    return Bytes(b, 4) ? LE_LoadU32(b) : 0;
}

float CE3DRecordReader::F32() {
    uint32_t u = U32();
    float f;
    std::memcpy(&f, &u, 4);
    return f;
}

void CE3DRecordReader::Floats(float* out, int n) {
    // Little-endian floats are the host's own.
    if (!Bytes(out, uint64_t(n) * 4)) std::memset(out, 0, size_t(n) * 4);
}

bool CE3DRecordReader::String(CStrBuf& out, uint32_t maxLength) {
    uint32_t n = U16();
    if (!m_ok || n > maxLength || !Has(n)) return Fail();
    if (n == 0) {
        out = "";
        return true;
    }
    char* buf = out.GetBuffer(int32_t(n));
    if (!Bytes(buf, n)) return false;
    buf[n] = 0;
    return true;
}
