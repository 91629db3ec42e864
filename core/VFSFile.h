// CVFSFile: the file object of the game.
//
// Opens a path through a file table (the global one unless another is given):
// a pack member is read through its pack's shared handle, a loose file through
// its own; a path the table does not know is read straight from the disk and
// entered in the table on the way. Writing always goes to a disk file: a
// written pack member becomes a loose file of the same path, and the pack is
// never written. A file opened for writing (not appending) is written to a
// temporary file that replaces the old one when the object is closed, so a
// crash in the middle (or a full disk) never leaves a half-written
// configuration or save.
//
// Binary data is little-endian. Strings are stored as a u16 length and that
// many characters without terminator. The token readers split text at bytes
// up to 32 (blank and control characters).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/StrBuf.h"
#include "core/VFSTable.h"

class CVFSFile {
public:
    enum : int { kModeRead = 0, kModeWrite = 2, kModeAppend = 8 };

    CVFSFile() = default;
    CVFSFile(const char* path, int mode, CVFSTable* table = nullptr);
    ~CVFSFile();
    CVFSFile(const CVFSFile&) = delete;
    CVFSFile& operator=(const CVFSFile&) = delete;

    // Mode bits: 2 write, 8 append (with 2); other bits are ignored.
    bool Open(const char* path, int mode, CVFSTable* table = nullptr);
    // Reads a block of memory as a file (the caller keeps it while the file
    // is open): what a reader of many small fields takes in place of the
    // file itself once it read it whole, one system call instead of one a
    // field.
    bool OpenMemory(const void* data, uint32_t size);
    // Reads a file opened for reading whole, in one read, when it is no
    // larger than cap bytes, and serves every later read, move and size from
    // that copy (the file or pack member is let go at once); the position
    // stays where it was. True when the file is now read from memory.
    bool ReadWhole(uint32_t cap);
    bool IsOpen() const { return m_inMemory || m_inPack || m_handle != -1; }
    // Closes the file. A replacing write takes the place of the old file only
    // when every write went through; false when it did not (the old file is
    // then left as it was) or the replacement failed.
    bool Close();
    uint32_t Read(void* buf, uint32_t count);
    uint32_t Write(const void* buf, uint32_t count);
    bool AtEnd();
    uint32_t BytesRead() const { return m_lastCount; }

    // Strings: u16 length, then the characters. A text longer than 65535
    // characters is refused (false, nothing written) rather than cut.
    bool WriteString(const char* text);
    bool WriteString(const CStrBuf& text);
    // Reads into a caller's buffer of capacity bytes: at most capacity - 1
    // characters are kept and the rest of the stored string is skipped; the
    // text is always terminated. False when the file ends early.
    bool ReadString(char* buf, uint32_t capacity);
    bool ReadString(CStrBuf& text);

    void SkipSpace();
    bool ReadToken(CStrBuf& token);  // returns the end-of-file state
    CVFSFile& ReadWord(char* buf, uint32_t capacity);
    CVFSFile& ReadInt(int32_t& value);
    CVFSFile& ReadFloat(float& value);

    // Position inside the file (or the member), its size, moves.
    uint32_t GetSize();
    uint32_t Tell();
    bool Seek(uint32_t pos);
    bool Skip(uint32_t count);
    uint32_t ReadAt(uint32_t pos, void* buf, uint32_t count);

    // Little-endian values; false on a short read (the value is then 0).
    bool ReadU8(uint8_t& v);
    bool ReadU16(uint16_t& v);
    bool ReadU32(uint32_t& v);
    bool ReadS32(int32_t& v);
    bool ReadFloat32(float& v);
    bool WriteU8(uint8_t v);
    bool WriteU16(uint16_t v);
    bool WriteU32(uint32_t v);
    bool WriteS32(int32_t v);
    bool WriteFloat32(float v);

    SVFSEntry* GetEntry() const { return m_entry; }
    bool IsInPack() const { return m_inPack != 0; }
    bool IsWrite() const { return m_write != 0; }

private:
    bool ReadExact(void* buf, uint32_t count);
    bool PushBack();
    uint32_t OwnLimit();  // bytes left in the entry for a reader with its own handle

    uint8_t m_write = 0;
    uint8_t m_inPack = 0;
    uint8_t m_inMemory = 0;
    const uint8_t* m_memData = nullptr;
    std::unique_ptr<uint8_t[]> m_owned;  // the bytes of a file read whole
    uint32_t m_memSize = 0;
    uint32_t m_memPos = 0;
    int m_handle = -1;
    SVFSEntry* m_entry = nullptr;
    uint32_t m_lastCount = 0;
    CVFSTable* m_table = nullptr;
    std::string m_tempPath;  // set while a replacing write is under way
    std::string m_finalPath;
    bool m_writeFailed = false;  // a write moved fewer bytes than it was given
};

// True when a search for the path finds a file or a folder (wildcards match).
bool FileExists(const char* path);
