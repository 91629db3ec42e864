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
    // With readAhead the file is read whole in one go (see
    // CVFSFile::ReadWhole) when it is no larger than kWholeFileCap, and the
    // record read from memory; a larger one gives the small reads of a
    // record from a buffer the reader fills a few kilobytes at a time (one
    // read of the file instead of one for every field), and the file is put
    // back where the record's reading ended when the reader goes. Only for a
    // reader that is the file's one user while it lives.
    explicit CE3DRecordReader(CVFSFile& file, bool readAhead = false);
    ~CE3DRecordReader();
    CE3DRecordReader(const CE3DRecordReader&) = delete;
    CE3DRecordReader& operator=(const CE3DRecordReader&) = delete;

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
    // Reads n bytes of the file itself, in chunks the file layer takes.
    bool ReadFile(uint8_t* out, uint64_t n);

    static constexpr uint32_t kAhead = 4096;
    static constexpr uint32_t kWholeFileCap = 64u << 20;
    CVFSFile& m_file;
    uint64_t m_left = 0;  // bytes of the file after what the record took so far
    bool m_ok = true;
    bool m_readAhead = false;
    uint32_t m_start = 0;     // the file's position when the reader began
    uint64_t m_consumed = 0;  // bytes the record took so far
    uint8_t* m_buffer = nullptr;
    uint32_t m_bufferPos = 0, m_bufferEnd = 0;
};
