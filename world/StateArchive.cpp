#include "core/Determinism.h"

#include "world/StateArchive.h"

#include <algorithm>
#include <cstring>

#include "core/LittleEndian.h"
#include "platform/sys/Path.h"

CStateArchive::CStateArchive() : m_mode(kWrite) {}

CStateArchive::CStateArchive(const uint8_t* data, size_t size, EMode mode)
    : m_mode(mode == kWrite ? kCheck : mode), m_data(data), m_size(data ? size : 0) {}

CStateArchive::EMode CStateArchive::SetReadMode(EMode mode) {
    EMode old = m_mode;
    if (m_mode != kWrite && mode != kWrite) m_mode = mode;
    return old;
}

void CStateArchive::Rewind(size_t position) {
    if (m_mode != kWrite && position <= m_size) m_pos = position;
}

void CStateArchive::Reset() {
    m_length = 0;
    m_pos = 0;
    m_failed = false;
}

bool CStateArchive::SaveToFile(const char* path) const {
    return m_mode == kWrite && !m_failed && path && Sys_WriteFileAtomic(path, m_buffer.data(), m_length);
}

void CStateArchive::Reserve(size_t n) {
    m_buffer.resize(std::max(m_buffer.size() * 2, m_length + n + 4096));
}

void CStateArchive::Put(const void* bytes, size_t n) {
    std::memcpy(Grow(n), bytes, n);
}

void CStateArchive::ReadU8Into(uint8_t& v) {
    uint8_t r;
    Take(&r, 1);
    if (m_mode == kApply) v = r;
}

void CStateArchive::ReadU32Into(uint32_t& v) {
    uint8_t b[4];
    Take(b, 4);
    if (m_mode == kApply) v = LE_LoadU32(b);
}

bool CStateArchive::Take(void* bytes, size_t n) {
    if (m_failed || n > m_size - m_pos) {
        m_failed = true;
        std::memset(bytes, 0, n);
        return false;
    }
    std::memcpy(bytes, m_data + m_pos, n);
    m_pos += n;
    return true;
}

void CStateArchive::U16(uint16_t& v) {
    uint8_t b[2];
    if (m_mode == kWrite) {
        LE_StoreU16(b, v);
        return Put(b, 2);
    }
    Take(b, 2);
    if (m_mode == kApply) v = LE_LoadU16(b);
}

void CStateArchive::U64(uint64_t& v) {
    uint32_t lo = static_cast<uint32_t>(v), hi = static_cast<uint32_t>(v >> 32);
    U32(lo);
    U32(hi);
    if (m_mode == kApply) v = (static_cast<uint64_t>(hi) << 32) | lo;
}

void CStateArchive::Bytes(void* data, size_t size) {
    if (m_mode == kWrite) return Put(data, size);
    if (m_mode == kApply) {
        Take(data, size);
        return;
    }
    if (m_failed || size > m_size - m_pos)
        m_failed = true;
    else
        m_pos += size;
}

void CStateArchive::Count(uint32_t& n, size_t minSize) {
    if (m_mode == kWrite) return U32(n);
    uint32_t c = ReadU32();
    if (m_failed) return;
    if (minSize && c > (m_size - m_pos) / minSize) {
        m_failed = true;
        c = 0;
    }
    n = c;  // a count is needed to go on reading even when checking
}

uint8_t CStateArchive::ReadU8() {
    uint8_t v = 0;
    if (m_mode != kWrite) Take(&v, 1);
    return v;
}

uint16_t CStateArchive::ReadU16() {
    uint8_t b[2];
    if (m_mode == kWrite || !Take(b, 2)) return 0;
    return LE_LoadU16(b);
}

void CStateArchive::BeginRead(const void* root) {
    m_root = root;
    m_claimed.clear();
}

bool CStateArchive::ClaimId(int32_t id) {
    return m_claimed.insert(id).second;
}

uint32_t CStateArchive::ReadU32() {
    uint8_t b[4];
    if (m_mode == kWrite || !Take(b, 4)) return 0;
    return LE_LoadU32(b);
}
