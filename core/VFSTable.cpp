#include "core/VFSTable.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "core/CRC32.h"
#include "core/LittleEndian.h"
#include "platform/sys/Path.h"

CVFSTable g_VFS;

namespace {

inline char FoldPathChar(char c) {
    if (c >= 'A' && c <= 'Z') return static_cast<char>(c - 'A' + 'a');
    return c == '/' ? '\\' : c;
}

inline uint64_t Load64(const char* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

// FoldPathChar on eight bytes at once: 'A'-'Z' gain 0x20, '/' becomes '\\'.
// Bytes of 0x80 and above are left alone, as the byte-wise fold does.
inline uint64_t FoldWord(uint64_t x) {
    const uint64_t ones = 0x0101010101010101ull, high = 0x8080808080808080ull, low7 = 0x7F7F7F7F7F7F7F7Full;
    uint64_t x7 = x & low7;
    uint64_t ge = x7 + (0x80 - 'A') * ones;      // high bit set where byte >= 'A'
    uint64_t gt = x7 + (0x80 - 'Z' - 1) * ones;  // high bit set where byte > 'Z'
    uint64_t upper = (ge ^ gt) & ~x & high;
    x |= upper >> 2;
    uint64_t t = x ^ ('/' * ones);
    uint64_t zero = ~(((t & low7) + low7) | t | low7);  // 0x80 where the byte was '/'
    return x ^ ((zero >> 7) * ('/' ^ '\\'));
}

bool SamePathN(const char* a, const char* b, size_t n) {
    for (; n >= 8; n -= 8, a += 8, b += 8)
        if (FoldWord(Load64(a)) != FoldWord(Load64(b))) return false;
    for (; n; --n, ++a, ++b)
        if (FoldPathChar(*a) != FoldPathChar(*b)) return false;
    return true;
}

}  // namespace

// --- SVFSEntry ---------------------------------------------------------------

SVFSEntry::SVFSEntry(CVFSTable* owner, CVFSPack* pack, const char* entryPath, uint32_t offset, uint32_t bytes)
    : path(entryPath), dataOffset(offset), size(bytes), container(pack), table(owner) {
    prev = table->m_last;
    if (prev)
        prev->next = this;
    else
        table->m_first = this;
    table->m_last = this;
    ++table->m_count;
    LinkBucket(true);
}

SVFSEntry::~SVFSEntry() {
    while (firstChild) delete firstChild;
    SetParent(nullptr);
    if (prev)
        prev->next = next;
    else
        table->m_first = next;
    if (next)
        next->prev = prev;
    else
        table->m_last = prev;
    --table->m_count;
    LinkBucket(false);
}

void SVFSEntry::SetParent(SVFSEntry* newParent) {
    if (parent) {
        if (prevSibling)
            prevSibling->nextSibling = nextSibling;
        else
            parent->firstChild = nextSibling;
        if (nextSibling)
            nextSibling->prevSibling = prevSibling;
        else
            parent->lastChild = prevSibling;
        prevSibling = nextSibling = nullptr;
        parent = nullptr;
    }
    if (newParent) {
        // Newest first: a folder lists its children in reverse order of linking.
        parent = newParent;
        nextSibling = newParent->firstChild;
        if (nextSibling)
            nextSibling->prevSibling = this;
        else
            newParent->lastChild = this;
        newParent->firstChild = this;
    }
}

void SVFSEntry::LinkBucket(bool link) {
    if (indexed) {
        table->IndexRemove(this);
        indexed = 0;
    }
    if (link) {
        hash = CVFSTable::HashPath(path.GetText());
        table->IndexInsert(this);
        indexed = 1;
    }
}

// --- CVFSPack ----------------------------------------------------------------

CVFSPack::CVFSPack(CVFSTable* owner, const char* name, bool isMounted)
    : table(owner), mounted(isMounted ? 1 : 0), fileName(name) {
    prev = table->m_lastPack;
    if (prev)
        prev->next = this;
    else
        table->m_firstPack = this;
    table->m_lastPack = this;
    if (mounted) {
        // A mounted pack keeps its handle for the life of the table.
        handle = Sys_OpenRead(fileName.GetText());
        if (handle != -1) useCount = 1;
    }
}

CVFSPack::~CVFSPack() {
    if (prev)
        prev->next = next;
    else
        table->m_firstPack = next;
    if (next)
        next->prev = prev;
    else
        table->m_lastPack = prev;
    Sys_CloseFile(handle);
}

bool CVFSPack::OpenShared(SVFSEntry* entry) {
    if (handle != -1) return true;
    handle = Sys_OpenRead(fileName.GetText());
    if (handle == -1) return false;
    // A loose file may have changed on the disk since the table last saw it:
    // its size is the file's as it is now.
    if (!mounted) {
        const int64_t size = Sys_FileSize(handle);
        entry->size = size > 0 ? uint32_t(std::min<int64_t>(size, 0xFFFFFFFFll)) : 0;
    }
    return true;
}

bool CVFSPack::Acquire(SVFSEntry* entry) {
    if (!OpenShared(entry)) return false;
    ++useCount;
    return true;
}

void CVFSPack::Release() {
    if (--useCount <= 0) {
        useCount = 0;
        if (!mounted && handle != -1) {
            Sys_CloseFile(handle);
            handle = -1;
        }
    }
}

int CVFSPack::OpenRead() {
    return Sys_OpenRead(fileName.GetText());
}

int CVFSPack::OpenWrite() {
    return mounted ? -1 : Sys_OpenWrite(fileName.GetText());
}

int CVFSPack::OpenAppend() {
    return mounted ? -1 : Sys_OpenAppend(fileName.GetText());
}

// --- CVFSTable ---------------------------------------------------------------

CVFSTable::~CVFSTable() {
    while (m_first) delete m_first;
    while (m_firstPack) delete m_firstPack;
}

uint32_t CVFSTable::HashPath(const char* path) {
    return HashPath(path, std::strlen(path));
}

uint32_t CVFSTable::HashPath(const char* path, size_t n) {
    // The CRC-32 of the folded path, eight folded bytes per step.
    const uint32_t *t0 = CRC32_Table(0), *t1 = CRC32_Table(1), *t2 = CRC32_Table(2), *t3 = CRC32_Table(3);
    const uint32_t *t4 = CRC32_Table(4), *t5 = CRC32_Table(5), *t6 = CRC32_Table(6), *t7 = CRC32_Table(7);
    const char* p = path;
    uint32_t crc = 0xFFFFFFFFu;
    for (; n >= 8; n -= 8, p += 8) {
        uint64_t w = FoldWord(Load64(p));
        uint32_t a = crc ^ static_cast<uint32_t>(w), b = static_cast<uint32_t>(w >> 32);
        crc = t7[a & 0xFF] ^ t6[(a >> 8) & 0xFF] ^ t5[(a >> 16) & 0xFF] ^ t4[a >> 24] ^ t3[b & 0xFF] ^
              t2[(b >> 8) & 0xFF] ^ t1[(b >> 16) & 0xFF] ^ t0[b >> 24];
    }
    for (; n; --n, ++p) crc = (crc >> 8) ^ t0[(crc ^ static_cast<unsigned char>(FoldPathChar(*p))) & 0xFF];
    return ~crc;
}

void CVFSTable::SetRoot(const char* folder) {
    if (!folder) {
        m_rootSet = 0;
        return;
    }
    m_root.Assign(folder);
    m_rootSet = 1;
}

SVFSEntry* CVFSTable::Find(const char* path) {
    if (!path) return nullptr;
    size_t n = std::strlen(path);
    if (n > 0xFFFFFFFFu) return nullptr;
    return IndexFind(path, static_cast<uint32_t>(n), HashPath(path, n));
}

// Slots are probed from the hash's home slot onwards; the table is kept at
// most half full, so a miss ends quickly at an empty slot.
SVFSEntry* CVFSTable::IndexFind(const char* path, uint32_t length, uint32_t hash) const {
    if (m_index.empty()) return nullptr;
    size_t mask = m_index.size() - 1;
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
        const SIndexSlot& s = m_index[i];
        if (!s.entry) return nullptr;
        if (s.hash == hash && s.length == length && SamePathN(s.text, path, length)) return s.entry;
    }
}

void CVFSTable::IndexInsert(SVFSEntry* entry) {
    if ((m_indexUsed + 1) * 2 > m_index.size()) {
        std::vector<SIndexSlot> old;
        old.swap(m_index);
        m_index.assign(old.empty() ? 64 : old.size() * 2, SIndexSlot{0, 0, nullptr, nullptr});
        m_indexUsed = 0;
        for (const auto& s : old)
            if (s.entry) IndexInsert(s.entry);
    }
    size_t mask = m_index.size() - 1;
    size_t i = entry->hash & mask;
    while (m_index[i].entry) i = (i + 1) & mask;
    m_index[i] = SIndexSlot{entry->hash, static_cast<uint32_t>(std::strlen(entry->path.GetText())),
                            entry->path.GetText(), entry};
    ++m_indexUsed;
}

void CVFSTable::IndexRemove(SVFSEntry* entry) {
    if (m_index.empty()) return;
    size_t mask = m_index.size() - 1;
    size_t i = entry->hash & mask;
    while (m_index[i].entry && m_index[i].entry != entry) i = (i + 1) & mask;
    if (!m_index[i].entry) return;
    // Backward-shift deletion: later slots of the run move up so no probe
    // sequence is cut short by the hole.
    m_index[i].entry = nullptr;
    --m_indexUsed;
    for (size_t j = (i + 1) & mask; m_index[j].entry; j = (j + 1) & mask) {
        size_t home = m_index[j].hash & mask;
        bool movable = (j > i) ? (home <= i || home > j) : (home <= i && home > j);
        if (movable) {
            m_index[i] = m_index[j];
            m_index[j].entry = nullptr;
            i = j;
        }
    }
}

SVFSEntry* CVFSTable::AddEntry(const char* path) {
    if (SVFSEntry* e = Find(path)) return e;
    CVFSPack* pack = new CVFSPack(this, path, false);
    return new SVFSEntry(this, pack, path, 0, 0);
}

SVFSEntry* CVFSTable::AddDiskFile(const char* path) {
    if (SVFSEntry* e = Find(path)) return e;
    int h = Sys_OpenRead(path);
    if (h == -1) return nullptr;
    int64_t size = Sys_FileSize(h);
    Sys_CloseFile(h);
    if (size < 0 || size > 0xFFFFFFFFll) return nullptr;  // sizes are 32-bit
    CVFSPack* pack = new CVFSPack(this, path, false);
    SVFSEntry* e = new SVFSEntry(this, pack, path, 0, static_cast<uint32_t>(size));
    AddPathDirs(e);
    return e;
}

// Everything in a folder, sorted as the Windows search lists it.
static bool ListFolder(const char* folder, std::string& base, std::vector<SSysFindData>& found) {
    base = folder ? folder : "";
    return Sys_FindFiles((base + "\\*.*").c_str(), found);
}

void CVFSTable::AddFolderTree(const char* folder) {
    std::string base;
    std::vector<SSysFindData> found;
    if (!ListFolder(folder, base, found)) return;
    for (const auto& f : found) {
        std::string full = base + "\\" + f.name;
        if (f.isFolder) {
            if (!f.isLink) AddFolderTree(full.c_str());  // a linked folder could loop
        } else {
            AddDiskFile(full.c_str());
        }
    }
}

int CVFSTable::ReadName(const char* data, int64_t avail, char* name) {
    int64_t chunk = avail < kMaxNameLength + 1 ? avail : kMaxNameLength + 1;
    if (chunk <= 0) return -1;
    const void* zero = std::memchr(data, 0, static_cast<size_t>(chunk));
    if (!zero) return -1;
    int len = static_cast<int>(static_cast<const char*>(zero) - data);
    std::memcpy(name, data, static_cast<size_t>(len) + 1);
    return len + 1;
}

bool CVFSTable::MountPack(const char* path, int64_t base, int64_t length) {
    if (!path || base < 0) return false;
    FILE* f = Sys_FOpen(path, "rb");
    if (!f) return false;
    bool ok = false;
    std::vector<char> dir;
    int64_t end = 0, dirOff = 0;
    do {
        if (fseeko(f, 0, SEEK_END) != 0) break;
        int64_t fileSize = ftello(f);
        end = length >= 0 ? base + length : fileSize;
        // The smallest pack is an empty directory: a count and the offset.
        if (end > fileSize || end - base < 8) break;
        unsigned char word[4];
        if (fseeko(f, end - 4, SEEK_SET) != 0 || std::fread(word, 1, 4, f) != 4) break;
        dirOff = LE_LoadU32(word);
        int64_t dirBytes = (end - base) - 4 - dirOff;
        if (dirBytes < 4 || dirBytes > kMaxDirectoryBytes) break;  // outside the pack, or no directory
        dir.resize(static_cast<size_t>(dirBytes));
        if (fseeko(f, base + dirOff, SEEK_SET) != 0 || std::fread(dir.data(), 1, dir.size(), f) != dir.size())
            break;
        ok = true;
    } while (false);
    std::fclose(f);
    if (!ok) return false;

    CVFSPack* pack = new CVFSPack(this, path, true);
    if (pack->handle == -1) {
        delete pack;
        return false;
    }
    pack->end = static_cast<uint64_t>(end);
    const unsigned char* d = reinterpret_cast<const unsigned char*>(dir.data());
    uint32_t count = LE_LoadU32(d);
    int64_t pos = 4;
    const int64_t avail = static_cast<int64_t>(dir.size());
    char name[kMaxNameLength + 1];
    std::string full;
    // Each member takes at least nine bytes, so a count that cannot fit ends
    // with the bytes, not with a four-billion-step loop.
    for (uint32_t i = 0; i < count && pos < avail; ++i) {
        int used = ReadName(dir.data() + pos, avail - pos, name);
        if (used < 0 || pos + used + 8 > avail) break;
        pos += used;
        uint32_t offset = LE_LoadU32(d + pos);
        uint32_t size = LE_LoadU32(d + pos + 4);
        pos += 8;
        if (!name[0]) continue;
        if (static_cast<uint64_t>(offset) + size > static_cast<uint64_t>(dirOff))
            continue;  // outside the data
        if (static_cast<uint64_t>(base) + offset > 0xFFFFFFFFull) continue;
        if (m_rootSet) {
            full = m_root.GetText();
            full += '\\';
            full += name;
        } else {
            full = name;
        }
        if (Find(full.c_str())) continue;  // the earlier entry of a name wins
        SVFSEntry* e = new SVFSEntry(this, pack, full.c_str(), static_cast<uint32_t>(base + offset), size);
        AddPathDirs(e);
    }
    return true;
}

void CVFSTable::MountPacksInFolder(const char* folder) {
    std::string base;
    std::vector<SSysFindData> found;
    if (!ListFolder(folder, base, found)) return;
    for (const auto& f : found) {
        if (f.isFolder) continue;
        size_t dot = f.name.rfind('.');
        if (dot == std::string::npos || f.name.compare(dot + 1, std::string::npos, "box") != 0) continue;
        MountPack((base + "\\" + f.name).c_str(), 0, -1);
    }
}

bool CVFSTable::WritePack(const char* path) {
    // Member data first, then the directory built beside it in memory. The
    // pack is written to a temporary file beside the old one and renamed over
    // it once whole, as every other write of ours: a failure or a crash
    // midway leaves the old pack as it was, and members may be read from the
    // very pack that is being replaced.
    std::string tempPath, finalPath;
    int out = Sys_BeginReplace(path, tempPath, finalPath);
    if (out < 0) return false;
    std::string pending;
    auto put = [&](const char* data, size_t n) {
        pending.append(data, n);
        if (pending.size() < 65536) return true;
        bool written = Sys_WriteFile(out, pending.data(), static_cast<int64_t>(pending.size())) ==
                       static_cast<int64_t>(pending.size());
        pending.clear();
        return written;
    };
    std::vector<char> buf(65536);
    std::string directory;
    uint32_t count = 0;
    uint64_t running = 0;
    bool ok = true;
    for (SVFSEntry* e = m_first; e && ok; e = e->next) {
        if (e->isFolder) continue;
        size_t nameLen = std::strlen(e->path.GetText());
        if (!e->container || nameLen == 0 || nameLen > static_cast<size_t>(kMaxNameLength) ||
            running + e->size > 0xFFFFFFFFull) {
            ok = false;
            break;
        }
        int h = e->container->handle;
        bool own = (h == -1);
        if (own) h = e->container->OpenRead();
        if (h == -1 && e->size > 0) {
            ok = false;
            break;
        }
        for (uint32_t done = 0; done < e->size && ok;) {
            uint32_t chunk = e->size - done < buf.size() ? e->size - done : static_cast<uint32_t>(buf.size());
            int64_t got = Sys_ReadAt(h, static_cast<int64_t>(e->dataOffset) + done, buf.data(), chunk);
            ok = got == chunk && put(buf.data(), chunk);
            done += chunk;
        }
        if (own) Sys_CloseFile(h);
        directory.append(e->path.GetText(), nameLen + 1);
        LE_PutU32(directory, static_cast<uint32_t>(running));
        LE_PutU32(directory, e->size);
        running += e->size;
        ++count;
    }
    if (ok) {
        std::string tail;
        LE_PutU32(tail, count);
        tail += directory;
        LE_PutU32(tail, static_cast<uint32_t>(running));
        ok = put(tail.data(), tail.size()) &&
             (pending.empty() || Sys_WriteFile(out, pending.data(), static_cast<int64_t>(pending.size())) ==
                                     static_cast<int64_t>(pending.size()));
    }
    if (!ok) {
        Sys_AbortReplace(out, tempPath);
        return false;
    }
    return Sys_CommitReplace(out, tempPath, finalPath);
}

bool CVFSTable::OpenEntry(SVFSEntry* entry) {
    if (!entry || entry->isOpen || entry->isFolder || !entry->container) return false;
    if (!entry->container->Acquire(entry)) return false;
    entry->readPos = 0;
    entry->isOpen = 1;
    return true;
}

void CVFSTable::CloseEntry(SVFSEntry* entry) {
    if (!entry) return;
    if (entry->isOpen && entry->container) entry->container->Release();
    entry->isOpen = 0;
}

SVFSEntry* CVFSTable::NewFolder(const char* path) {
    SVFSEntry* e = new SVFSEntry(this, nullptr, path, 0, 0);
    e->isFolder = 1;
    return e;
}

void CVFSTable::AddPathDirs(SVFSEntry* entry) {
    if (!entry) return;
    std::string p(entry->path.GetText());
    SVFSEntry* node = entry;
    for (;;) {
        size_t cut = p.find_last_of("\\/");
        if (cut == std::string::npos || cut == 0) break;
        p.resize(cut);
        SVFSEntry* folder = Find(p.c_str());
        if (!folder) folder = NewFolder(p.c_str());
        if (folder == node) break;
        if (node->parent != folder) node->SetParent(folder);
        node = folder;
    }
}
