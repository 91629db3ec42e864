// Reading the engine's stored records from a file with every count and size
// checked against what is left of the file: a read that asks for more than is
// there fails, and the reader stays failed, so a caller reads a whole record
// and checks once at the end (or before a large allocation).
#pragma once

#include <cstdint>

#include "core/StrBuf.h"

class CVFSFile;

class CE3DRecordReader {
public:
    explicit CE3DRecordReader(CVFSFile& file);

    bool Ok() const { return m_ok; }
    bool Fail() { return m_ok = false; }
    uint64_t Left() const { return m_ok ? m_left : 0; }
    // True when n more bytes are there (the reader fails otherwise).
    bool Has(uint64_t n);

    bool Bytes(void* out, uint64_t n);
    bool Skip(uint64_t n);
    uint8_t U8();
    uint16_t U16();
    uint32_t U32();
    int32_t S32() { return int32_t(U32()); }
    float F32();
    void Floats(float* out, int n);
    // A u16 length and that many characters; longer than maxLength fails.
    bool String(CStrBuf& out, uint32_t maxLength = 0xFFFF);

private:
    CVFSFile& m_file;
    uint64_t m_left = 0;
    bool m_ok = true;
};
