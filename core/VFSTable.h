// The file table: one case-insensitive view over loose files and packs.
//
// All content is read through the global file table g_VFS. It merges the
// loose files under the installation folder with the members of pack files
// (".box"): start-up sets the root, adds the loose-file tree, then mounts the
// packs. The first entry of a name wins, so loose files override packed ones
// and earlier packs override later ones. Paths are compared ignoring case
// (and "/" equals "\"); they are found through an open-addressing index keyed
// by the CRC-32 of the lower-cased path. Every path level gets a folder entry,
// so the table can be walked as a tree.
//
// Members of a pack are read through one handle shared by the whole pack,
// re-positioned only when a different member reads. Further tables can be
// built for one pack (a map box) and destroyed with their mounts.
//
// Pack file layout (little-endian), from the pack's start (which may be a base
// offset inside a larger file):
//   member data, back to back, no gaps or headers;
//   directory: u32 member count; per member: the path (backslash-separated,
//     at most 259 characters) and a zero byte, u32 data offset (from the
//     pack's start), u32 data size;
//   last 4 bytes: u32 offset of the directory.
// A directory that points outside the pack or is larger than 64 MiB, a count
// that cannot fit, or a member whose data lies outside the data area is
// refused; the members that are sound still mount.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "core/StrBuf.h"

class CVFSTable;
class CVFSPack;

struct SVFSEntry {
    SVFSEntry(CVFSTable* table, CVFSPack* container, const char* path, uint32_t dataOffset, uint32_t size);
    ~SVFSEntry();
    SVFSEntry(const SVFSEntry&) = delete;
    SVFSEntry& operator=(const SVFSEntry&) = delete;

    void SetParent(SVFSEntry* parent);
    // Leaves the table's lookup index, and with link set enters it again
    // under the entry's path.
    void LinkBucket(bool link);

    CStrBuf path;             // as entered, case kept
    uint32_t dataOffset = 0;  // position of the data inside its container file
    uint32_t readPos = 0;     // next read inside the entry
    uint32_t size = 0;
    uint8_t isFolder = 0;
    uint8_t isOpen = 0;             // read through the shared handle by one file object
    CVFSPack* container = nullptr;  // null for folder entries
    SVFSEntry* parent = nullptr;
    SVFSEntry* firstChild = nullptr;
    SVFSEntry* lastChild = nullptr;
    SVFSEntry* prevSibling = nullptr;
    SVFSEntry* nextSibling = nullptr;
    CVFSTable* table = nullptr;
    SVFSEntry* next = nullptr;  // the table's entry list, in creation order
    SVFSEntry* prev = nullptr;
    uint8_t indexed = 0;  // the entry is in the table's lookup index
    uint32_t hash = 0;    // HashPath of the path, compared before the text
};

// One container file: a mounted pack, or one loose file.
class CVFSPack {
public:
    CVFSPack(CVFSTable* table, const char* fileName, bool mounted);
    ~CVFSPack();
    CVFSPack(const CVFSPack&) = delete;
    CVFSPack& operator=(const CVFSPack&) = delete;

    // An entry of this container is opened: one more user of the shared
    // handle, which is opened if need be. Reads through the shared handle
    // name their absolute offset, so the handle's own file position never
    // matters. False when the file cannot be opened.
    bool Acquire(SVFSEntry* entry);
    // The shared handle, opened again if it had to be closed; a loose file
    // opened here is taken at its size on the disk now.
    bool OpenShared(SVFSEntry* entry);
    // An entry is closed: a loose file's handle closes with its last user.
    void Release();
    int OpenRead();    // a handle of its own, -1 on failure
    int OpenWrite();   // -1 for a mounted pack
    int OpenAppend();  // -1 for a mounted pack

    CVFSTable* table = nullptr;
    uint8_t mounted = 0;
    CVFSPack* prev = nullptr;
    CVFSPack* next = nullptr;
    int32_t useCount = 0;  // open entries (a mounted pack counts itself too)
    CStrBuf fileName;
    int handle = -1;
    uint64_t end = 0;  // for a mounted pack: the end of its byte range in the file
};

class CVFSTable {
public:
    static constexpr int kMaxNameLength = 259;
    // A directory is read whole; one larger than this is no directory.
    static constexpr int64_t kMaxDirectoryBytes = int64_t(64) << 20;

    CVFSTable() = default;
    ~CVFSTable();
    CVFSTable(const CVFSTable&) = delete;
    CVFSTable& operator=(const CVFSTable&) = delete;

    void SetRoot(const char* folder);
    SVFSEntry* Find(const char* path);
    SVFSEntry* AddEntry(const char* path);
    SVFSEntry* AddDiskFile(const char* path);
    void AddFolderTree(const char* folder);
    // Mounts a pack: the whole file (length -1) or the byte range
    // [base, base + length). False when nothing could be mounted.
    bool MountPack(const char* path, int64_t base = 0, int64_t length = -1);
    void MountPacksInFolder(const char* folder);
    // Writes every file entry, in creation order, as a new pack: through a
    // temporary file renamed over the path once whole. False (and the file at
    // the path as it was) when a member cannot be read completely or the
    // output cannot be written.
    bool WritePack(const char* path);
    bool OpenEntry(SVFSEntry* entry);
    void CloseEntry(SVFSEntry* entry);
    void AddPathDirs(SVFSEntry* entry);
    // Reads a member path from directory bytes into name (room for
    // kMaxNameLength + 1 bytes). Returns the bytes it takes, terminator
    // included, or -1 when no terminator lies within kMaxNameLength + 1 bytes
    // or within avail.
    static int ReadName(const char* data, int64_t avail, char* name);

    // The lookup hash of a path: CRC-32 of the lower-cased text, "/" read as "\".
    static uint32_t HashPath(const char* path);
    static uint32_t HashPath(const char* path, size_t length);

    const char* GetRoot() const { return m_root.GetText(); }
    bool IsRootSet() const { return m_rootSet != 0; }
    SVFSEntry* GetFirstEntry() const { return m_first; }
    CVFSPack* GetFirstPack() const { return m_firstPack; }
    uint32_t GetEntryCount() const { return m_count; }

private:
    friend struct SVFSEntry;
    friend class CVFSPack;
    SVFSEntry* NewFolder(const char* path);
    // The lookup index: open addressing over a compact array, so a lookup
    // probes a few neighbouring slots instead of walking scattered entries.
    struct SIndexSlot {
        uint32_t hash;
        uint32_t length;
        const char* text;  // the entry's path text, which never changes
        SVFSEntry* entry;  // null: empty slot
    };
    void IndexInsert(SVFSEntry* entry);
    void IndexRemove(SVFSEntry* entry);
    SVFSEntry* IndexFind(const char* path, uint32_t length, uint32_t hash) const;
    std::vector<SIndexSlot> m_index;
    uint32_t m_indexUsed = 0;

    CStrBuf m_root;
    uint8_t m_rootSet = 0;
    SVFSEntry* m_first = nullptr;
    SVFSEntry* m_last = nullptr;
    CVFSPack* m_firstPack = nullptr;
    CVFSPack* m_lastPack = nullptr;
    uint32_t m_count = 0;
};

// The global file table of the game.
extern CVFSTable g_VFS;
