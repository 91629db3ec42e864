// State records of the world: the byte images in which objects are saved,
// compared between machines and sent to a machine that fell out of step.
//
// A record is written and read by the same code: each class has one transfer
// function per record form that names its fields in order, and a
// CStateArchive either writes those fields into its buffer or reads them back.
// Reading and writing can therefore never disagree about the layout. Every
// record is little-endian and unpadded, floats are 4-byte IEEE singles.
//
// A reader never trusts what it reads: every read is checked against the
// bytes left, a count is refused when its elements cannot fit in them, and
// the first failure makes the archive fail for good (later reads yield zero).
// Reading comes in two modes. A checking archive parses a record without
// changing anything (the fields it names are read into scratch values); an
// applying archive stores them. A record from a file or the network is first
// checked whole and only then applied, so a damaged record leaves the world
// as it was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <unordered_set>
#include <vector>

#include "core/LittleEndian.h"

class CStateArchive {
public:
    enum EMode : uint8_t { kWrite, kApply, kCheck };

    // A writer into its own buffer.
    CStateArchive();
    // A reader over bytes the caller keeps alive; kApply or kCheck.
    CStateArchive(const uint8_t* data, size_t size, EMode mode);

    EMode GetMode() const { return m_mode; }
    // Switches between applying and checking while reading (a part that is
    // read but must not be applied); returns the previous mode. Ignored by
    // a writer.
    EMode SetReadMode(EMode mode);
    bool IsWriting() const { return m_mode == kWrite; }
    bool IsReading() const { return m_mode != kWrite; }
    bool IsApplying() const { return m_mode == kApply; }

    bool Ok() const { return !m_failed; }
    void Fail() { m_failed = true; }
    // Reading: the read position and the bytes after it. Writing: the size.
    size_t GetPosition() const { return m_mode == kWrite ? m_length : m_pos; }
    size_t GetRemaining() const { return m_mode == kWrite ? 0 : m_size - m_pos; }
    // A reader moves back to an earlier position (a second pass over a part).
    void Rewind(size_t position);

    // The written bytes (a copy: GetData and GetSize read them in place);
    // Reset empties them and keeps the storage.
    std::vector<uint8_t> GetBuffer() const {
        return std::vector<uint8_t>(m_buffer.data(), m_buffer.data() + m_length);
    }
    const uint8_t* GetData() const { return m_mode == kWrite ? m_buffer.data() : m_data; }
    size_t GetSize() const { return m_mode == kWrite ? m_length : m_size; }
    void Reset();
    // Writes the written bytes to a file as a whole: into a temporary file
    // beside it that replaces the file only when every byte is written, so a
    // failed save leaves the old file as it was. False on any failure.
    bool SaveToFile(const char* path) const;

    // One field each. Written from the variable; read into it when applying,
    // into a scratch value when checking.
    void U8(uint8_t& v) {
        if (m_mode == kWrite)
            *Grow(1) = v;
        else
            ReadU8Into(v);
    }
    void U16(uint16_t& v);
    void U32(uint32_t& v) {
        if (m_mode == kWrite)
            LE_StoreU32(Grow(4), v);
        else
            ReadU32Into(v);
    }
    void I32(int32_t& v) {
        uint32_t u = static_cast<uint32_t>(v);
        U32(u);
        if (m_mode == kApply) v = static_cast<int32_t>(u);
    }
    void U64(uint64_t& v);
    void F32(float& v) {
        uint32_t u;
        std::memcpy(&u, &v, 4);
        U32(u);
        if (m_mode == kApply) std::memcpy(&v, &u, 4);
    }
    void F32s(float* v, int count) {
        for (int i = 0; i < count; ++i) F32(v[i]);
    }
    // One byte, 1 when the bit is set; read back, any byte but 0 sets it.
    void Bit(uint8_t& flags, uint8_t bit) {
        uint8_t b = (flags & bit) ? 1 : 0;
        U8(b);
        if (m_mode == kApply) flags = b ? uint8_t(flags | bit) : uint8_t(flags & ~bit);
    }
    void Bytes(void* data, size_t size);

    // A value the record's layout depends on (a presence byte, a flag that
    // is tested): read into the variable in both reading modes. The caller
    // passes a copy and applies it itself.
    void Local(uint8_t& v) {
        if (m_mode == kWrite)
            *Grow(1) = v;
        else
            Take(&v, 1);
    }
    void LocalBit(uint8_t& flags, uint8_t bit) {
        uint8_t b = (flags & bit) ? 1 : 0;
        Local(b);
        flags = b ? uint8_t(flags | bit) : uint8_t(flags & ~bit);
    }

    // A count of elements of at least minSize bytes each: a reader refuses a
    // count whose elements cannot fit in the bytes left.
    void Count(uint32_t& n, size_t minSize);

    // The object a read began with: ids held by its own tree may be taken
    // over by the record. Starting a read forgets the ids claimed so far.
    void BeginRead(const void* root);
    const void* GetReadRoot() const { return m_root; }
    void SetReadRoot(const void* root) { m_root = root; }
    // False when the id was claimed before in this read: two objects of one
    // record may not share an id.
    bool ClaimId(int32_t id);

    // Reading a value that the caller acts on itself.
    uint8_t ReadU8();
    uint16_t ReadU16();
    uint32_t ReadU32();
    int32_t ReadI32() { return static_cast<int32_t>(ReadU32()); }
    // Writing a computed value.
    void WriteU8(uint8_t v) { *Grow(1) = v; }
    void WriteU32(uint32_t v) { LE_StoreU32(Grow(4), v); }
    void WriteI32(int32_t v) { WriteU32(static_cast<uint32_t>(v)); }

private:
    // Room for n more written bytes.
    uint8_t* Grow(size_t n) {
        if (m_length + n > m_buffer.size()) Reserve(n);
        uint8_t* p = m_buffer.data() + m_length;
        m_length += n;
        return p;
    }
    void Reserve(size_t n);
    void ReadU8Into(uint8_t& v);
    void ReadU32Into(uint32_t& v);
    void Put(const void* bytes, size_t n);
    bool Take(void* bytes, size_t n);

    EMode m_mode;
    bool m_failed = false;
    std::vector<uint8_t> m_buffer;  // grows by doubling; m_length bytes are written
    size_t m_length = 0;
    const uint8_t* m_data = nullptr;
    size_t m_size = 0;
    size_t m_pos = 0;
    const void* m_root = nullptr;
    std::unordered_set<int32_t> m_claimed;  // membership only, never walked
};
