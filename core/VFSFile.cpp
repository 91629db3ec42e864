#include "core/VFSFile.h"

#include <locale.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "core/LittleEndian.h"
#include "platform/sys/Path.h"

namespace {

// Numbers in files are always read in the "C" locale.
locale_t CLocale() {
    static locale_t loc = newlocale(LC_ALL_MASK, "C", nullptr);
    return loc;
}

}  // namespace

CVFSFile::CVFSFile(const char* path, int mode, CVFSTable* table) {
    Open(path, mode, table);
}

CVFSFile::~CVFSFile() {
    Close();
}

bool CVFSFile::Open(const char* path, int mode, CVFSTable* table) {
    Close();
    m_table = table ? table : &g_VFS;
    m_write = 0;
    m_inPack = 0;
    if (!path || !*path) return false;
    SVFSEntry* e = m_table->Find(path);
    if (mode & kModeWrite) {
        m_write = 1;
        if (e && e->isFolder) return false;
        if (!e) e = m_table->AddEntry(path);
        bool reposition = false;
        if (!e->container || e->container->mounted) {
            // A pack member that gets written becomes a disk file of its path;
            // the pack itself is never written.
            if (e->isOpen && e->container) {
                e->container->Release();
                reposition = true;
            }
            e->container = new CVFSPack(m_table, path, false);
            e->dataOffset = 0;
        }
        if (mode & kModeAppend)
            m_handle = e->container->OpenAppend();
        else
            m_handle = Sys_BeginReplace(path, m_tempPath, m_finalPath);
        if (reposition && !e->container->Acquire(e)) e->isOpen = 0;
        if (m_handle == -1) {
            m_write = 0;
            m_tempPath.clear();
            return false;
        }
        m_entry = e;
        return true;
    }
    if (!e) {
        if (!FileExists(path)) return false;
        int h = Sys_OpenRead(path);
        if (h == -1) return false;  // a folder, or a wildcard that matched
        int64_t size = Sys_FileSize(h);
        Sys_CloseFile(h);
        e = m_table->AddEntry(path);
        e->size = size > 0 && size <= 0xFFFFFFFFll ? static_cast<uint32_t>(size) : 0;
    }
    if (e->isFolder || !e->container) return false;
    if (m_table->OpenEntry(e)) {
        m_inPack = 1;
        m_entry = e;
        return true;
    }
    // The entry is being read by another file object: read it through a handle of our own.
    m_handle = e->container->OpenRead();
    if (m_handle == -1) return false;
    Sys_Seek(m_handle, e->dataOffset);
    m_entry = e;
    return true;
}

bool CVFSFile::OpenMemory(const void* data, uint32_t size) {
    Close();
    if (!data && size) return false;
    m_inMemory = 1;
    m_memData = static_cast<const uint8_t*>(data);
    m_memSize = size;
    m_memPos = 0;
    return true;
}

bool CVFSFile::ReadWhole(uint32_t cap) {
    if (m_inMemory) return true;
    if (m_write || !IsOpen()) return false;
    const uint32_t size = GetSize(), pos = Tell();
    if (size > cap || pos > size) return false;
    // Not cleared first: the read fills every byte.
    std::unique_ptr<uint8_t[]> bytes(new uint8_t[size ? size : 1]);
    if (size && ReadAt(0, bytes.get(), size) != size) {
        Seek(pos);
        return false;
    }
    SVFSEntry* entry = m_entry;
    Close();
    m_owned = std::move(bytes);
    m_inMemory = 1;
    m_memData = m_owned.get();
    m_memSize = size;
    m_memPos = pos;
    m_entry = entry;  // still named by GetEntry; no longer held open
    return true;
}

bool CVFSFile::Close() {
    if (m_inMemory) {
        m_inMemory = 0;
        m_memData = nullptr;
        m_memSize = m_memPos = 0;
        m_owned.reset();
        m_entry = nullptr;
        return true;
    }
    bool ok = true;
    if (m_write && m_entry && m_handle != -1 && !m_writeFailed) {
        int64_t size = Sys_FileSize(m_handle);
        if (size >= 0) m_entry->size = size <= 0xFFFFFFFFll ? static_cast<uint32_t>(size) : 0xFFFFFFFFu;
    }
    if (m_inPack && m_table) m_table->CloseEntry(m_entry);
    if (!m_tempPath.empty()) {
        if (m_writeFailed) {
            Sys_AbortReplace(m_handle, m_tempPath);
            ok = false;
        } else {
            ok = Sys_CommitReplace(m_handle, m_tempPath, m_finalPath);
        }
        m_tempPath.clear();
        m_handle = -1;
        // A shared handle still open on the replaced file would read the old data.
        CVFSPack* pack = m_entry ? m_entry->container : nullptr;
        if (ok && pack && !pack->mounted && pack->handle != -1) {
            Sys_CloseFile(pack->handle);
            pack->handle = pack->useCount > 0 ? pack->OpenRead() : -1;
        }
    } else if (m_write && m_writeFailed) {
        ok = false;
    }
    Sys_CloseFile(m_handle);
    m_handle = -1;
    m_entry = nullptr;
    m_inPack = 0;
    m_write = 0;
    m_writeFailed = false;
    return ok;
}

uint32_t CVFSFile::OwnLimit() {
    if (!m_entry || m_write || !m_entry->container || !m_entry->container->mounted) return 0xFFFFFFFFu;
    int64_t pos = Sys_Tell(m_handle) - static_cast<int64_t>(m_entry->dataOffset);
    if (pos < 0 || pos >= m_entry->size) return 0;
    return m_entry->size - static_cast<uint32_t>(pos);
}

uint32_t CVFSFile::Read(void* buf, uint32_t count) {
    m_lastCount = 0;
    if (!buf || count == 0) return 0;
    if (m_inMemory) {
        if (count > m_memSize - m_memPos) count = m_memSize - m_memPos;
        if (count) std::memcpy(buf, m_memData + m_memPos, count);
        m_memPos += count;
        m_lastCount = count;
        return count;
    }
    if (m_inPack) {
        SVFSEntry* e = m_entry;
        CVFSPack* pack = e->container;
        if (!pack->OpenShared(e)) return 0;
        if (e->readPos >= e->size) return 0;
        if (count > e->size - e->readPos) count = e->size - e->readPos;
        int64_t got = Sys_ReadAt(pack->handle, static_cast<int64_t>(e->dataOffset) + e->readPos, buf, count);
        if (got <= 0) return 0;
        e->readPos += static_cast<uint32_t>(got);
        m_lastCount = static_cast<uint32_t>(got);
        return m_lastCount;
    }
    if (m_handle == -1) return 0;
    uint32_t limit = OwnLimit();
    if (count > limit) count = limit;
    int64_t got = Sys_ReadFile(m_handle, buf, count);
    m_lastCount = got > 0 ? static_cast<uint32_t>(got) : 0;
    return m_lastCount;
}

uint32_t CVFSFile::Write(const void* buf, uint32_t count) {
    m_lastCount = 0;
    if (!m_write || m_handle == -1 || !buf) return 0;
    int64_t put = Sys_WriteFile(m_handle, buf, count);
    m_lastCount = put > 0 ? static_cast<uint32_t>(put) : 0;
    if (m_lastCount != count) m_writeFailed = true;
    return m_lastCount;
}

bool CVFSFile::AtEnd() {
    if (m_inMemory) return m_memPos >= m_memSize;
    if (m_inPack) return m_entry->readPos >= m_entry->size;
    if (m_handle == -1) return true;
    int64_t pos = Sys_Tell(m_handle);
    if (!m_write && m_entry && m_entry->container && m_entry->container->mounted)
        return pos - static_cast<int64_t>(m_entry->dataOffset) >= m_entry->size;
    return pos >= Sys_FileSize(m_handle);
}

bool CVFSFile::WriteString(const char* text) {
    if (!m_write || m_handle == -1) return false;
    size_t len = text ? std::strlen(text) : 0;
    if (len > 0xFFFF) return false;
    if (!WriteU16(static_cast<uint16_t>(len))) return false;
    return len == 0 || Write(text, static_cast<uint32_t>(len)) == len;
}

bool CVFSFile::WriteString(const CStrBuf& text) {
    return WriteString(text.GetText());
}

bool CVFSFile::ReadString(char* buf, uint32_t capacity) {
    uint16_t len = 0;
    bool ok = ReadU16(len);
    if (!buf || capacity == 0) {
        if (ok) Skip(len);
        return false;
    }
    if (!ok) {
        buf[0] = '\0';
        return false;
    }
    uint32_t keep = len < capacity - 1 ? len : capacity - 1;
    uint32_t got = keep ? Read(buf, keep) : 0;
    buf[got] = '\0';
    if (got < keep) return false;
    return keep == len || Skip(len - keep);
}

bool CVFSFile::ReadString(CStrBuf& text) {
    uint16_t len = 0;
    if (!ReadU16(len)) {
        text.Clear();
        return false;
    }
    char* p = text.GetBuffer(len + 1);
    uint32_t got = len ? Read(p, len) : 0;
    p[got] = '\0';
    text.ShrinkToFit();
    return got == len;
}

bool CVFSFile::PushBack() {
    if (m_inMemory) {
        if (m_memPos == 0) return false;
        --m_memPos;
        return true;
    }
    if (m_inPack) {
        if (m_entry->readPos == 0) return false;
        --m_entry->readPos;
        return true;
    }
    int64_t pos = Sys_Tell(m_handle);
    return pos > 0 && Sys_Seek(m_handle, pos - 1) >= 0;
}

void CVFSFile::SkipSpace() {
    unsigned char c;
    while (Read(&c, 1) == 1) {
        if (c > 32) {
            PushBack();
            return;
        }
    }
}

bool CVFSFile::ReadToken(CStrBuf& token) {
    SkipSpace();
    std::string text;
    unsigned char c;
    while (Read(&c, 1) == 1 && c > 32) text += static_cast<char>(c);
    token.Assign(text.c_str());
    return AtEnd();
}

CVFSFile& CVFSFile::ReadWord(char* buf, uint32_t capacity) {
    CStrBuf token;
    ReadToken(token);
    if (buf && capacity) {
        std::strncpy(buf, token.GetText(), capacity - 1);
        buf[capacity - 1] = '\0';
    }
    return *this;
}

CVFSFile& CVFSFile::ReadInt(int32_t& value) {
    CStrBuf token;
    ReadToken(token);
    const char* s = token.GetText();
    char* end = nullptr;
    long v = strtol_l(s, &end, 10, CLocale());
    if (end != s) value = static_cast<int32_t>(v);
    return *this;
}

CVFSFile& CVFSFile::ReadFloat(float& value) {
    CStrBuf token;
    ReadToken(token);
    const char* s = token.GetText();
    char* end = nullptr;
    float v = strtof_l(s, &end, CLocale());
    if (end != s) value = v;
    return *this;
}

uint32_t CVFSFile::GetSize() {
    if (m_inMemory) return m_memSize;
    if (m_inPack || (m_entry && !m_write && m_entry->container && m_entry->container->mounted))
        return m_entry->size;
    int64_t size = Sys_FileSize(m_handle);
    return size > 0 ? static_cast<uint32_t>(size) : 0;
}

uint32_t CVFSFile::Tell() {
    if (m_inMemory) return m_memPos;
    if (m_inPack) return m_entry->readPos;
    int64_t pos = Sys_Tell(m_handle) - (m_entry ? static_cast<int64_t>(m_entry->dataOffset) : 0);
    return pos > 0 ? static_cast<uint32_t>(pos) : 0;
}

bool CVFSFile::Seek(uint32_t pos) {
    if (m_inMemory) {
        if (pos > m_memSize) return false;
        m_memPos = pos;
        return true;
    }
    if (m_inPack) {
        if (pos > m_entry->size) return false;
        m_entry->readPos = pos;
        return true;
    }
    if (m_handle == -1) return false;
    if (!m_write && m_entry && m_entry->container && m_entry->container->mounted && pos > m_entry->size)
        return false;
    return Sys_Seek(m_handle, static_cast<int64_t>(m_entry ? m_entry->dataOffset : 0) + pos) >= 0;
}

bool CVFSFile::Skip(uint32_t count) {
    uint64_t target = static_cast<uint64_t>(Tell()) + count;
    if (target > 0xFFFFFFFFull) return false;
    if (!m_write && target > GetSize()) {
        Seek(GetSize());
        return false;
    }
    return Seek(static_cast<uint32_t>(target));
}

uint32_t CVFSFile::ReadAt(uint32_t pos, void* buf, uint32_t count) {
    if (!Seek(pos)) {
        m_lastCount = 0;
        return 0;
    }
    return Read(buf, count);
}

bool CVFSFile::ReadExact(void* buf, uint32_t count) {
    if (Read(buf, count) == count) return true;
    std::memset(buf, 0, count);
    return false;
}

bool CVFSFile::ReadU8(uint8_t& v) {
    return ReadExact(&v, 1);
}

bool CVFSFile::ReadU16(uint16_t& v) {
    uint8_t b[2];
    bool ok = ReadExact(b, 2);
    v = LE_LoadU16(b);
    return ok;
}

bool CVFSFile::ReadU32(uint32_t& v) {
    uint8_t b[4];
    bool ok = ReadExact(b, 4);
    v = LE_LoadU32(b);
    return ok;
}

bool CVFSFile::ReadS32(int32_t& v) {
    uint32_t u;
    bool ok = ReadU32(u);
    v = static_cast<int32_t>(u);
    return ok;
}

bool CVFSFile::ReadFloat32(float& v) {
    uint32_t u;
    bool ok = ReadU32(u);
    std::memcpy(&v, &u, 4);
    return ok;
}

bool CVFSFile::WriteU8(uint8_t v) {
    return Write(&v, 1) == 1;
}

bool CVFSFile::WriteU16(uint16_t v) {
    uint8_t b[2];
    LE_StoreU16(b, v);
    return Write(b, 2) == 2;
}

bool CVFSFile::WriteU32(uint32_t v) {
    uint8_t b[4];
    LE_StoreU32(b, v);
    return Write(b, 4) == 4;
}

bool CVFSFile::WriteS32(int32_t v) {
    return WriteU32(static_cast<uint32_t>(v));
}

bool CVFSFile::WriteFloat32(float v) {
    uint32_t u;
    std::memcpy(&u, &v, 4);
    return WriteU32(u);
}

bool FileExists(const char* path) {
    return Sys_PathExists(path);
}
