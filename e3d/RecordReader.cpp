#include "e3d/RecordReader.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/LittleEndian.h"
#include "core/VFSFile.h"

CE3DRecordReader::CE3DRecordReader(CVFSFile& file, bool readAhead) : m_file(file), m_readAhead(readAhead) {
    // A file of records is read whole, in one go, by the first reader: a
    // read of the file for every set and every few fields cost more than
    // the bytes themselves.
    if (readAhead && file.ReadWhole(kWholeFileCap)) m_readAhead = false;
    uint32_t size = file.GetSize(), pos = file.Tell();
    m_left = size > pos ? size - pos : 0;
    m_start = pos;
    if (m_readAhead) m_buffer = new uint8_t[kAhead];  // a file too large to hold
}

CE3DRecordReader::~CE3DRecordReader() {
    // What was read ahead and not taken goes back to the file.
    if (m_bufferPos < m_bufferEnd) m_file.Seek(uint32_t(m_start + m_consumed));
    delete[] m_buffer;
}

bool CE3DRecordReader::Has(uint64_t n) {
    if (!m_ok || n > m_left) m_ok = false;
    return m_ok;
}

bool CE3DRecordReader::ReadFile(uint8_t* p, uint64_t n) {
    while (n > 0) {
        uint32_t chunk = n > 0x40000000u ? 0x40000000u : uint32_t(n);
        if (m_file.Read(p, chunk) != chunk) return false;
        p += chunk;
        n -= chunk;
    }
    return true;
}

bool CE3DRecordReader::Bytes(void* out, uint64_t n) {
    if (!Has(n)) return false;
    uint8_t* p = static_cast<uint8_t*>(out);
    if (m_readAhead) {
        // First what the buffer holds, then the file: a large rest straight
        // into place, a small one through a refilled buffer.
        uint64_t take = std::min<uint64_t>(n, m_bufferEnd - m_bufferPos);
        if (take) std::memcpy(p, m_buffer + m_bufferPos, size_t(take));
        m_bufferPos += uint32_t(take);
        uint64_t rest = n - take;
        if (rest >= kAhead) {
            if (!ReadFile(p + take, rest)) return Fail();
        } else if (rest > 0) {
            const uint32_t fill = uint32_t(std::min<uint64_t>(kAhead, m_left - take));
            if (m_file.Read(m_buffer, fill) != fill) return Fail();
            std::memcpy(p + take, m_buffer, size_t(rest));
            m_bufferPos = uint32_t(rest);
            m_bufferEnd = fill;
        }
    } else if (!ReadFile(p, n)) {
        return Fail();
    }
    m_left -= n;
    m_consumed += n;
    return true;
}

bool CE3DRecordReader::Skip(uint64_t n) {
    if (!Has(n)) return false;
    const uint64_t buffered = std::min<uint64_t>(n, m_bufferEnd - m_bufferPos);
    m_bufferPos += uint32_t(buffered);
    if (n > buffered && !m_file.Skip(uint32_t(n - buffered))) return Fail();
    m_left -= n;
    m_consumed += n;
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
