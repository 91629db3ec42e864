// Fuzz target: the pack directory reader. The input is a pack file (its first
// byte also picks a base offset and length for a pack inside a larger file).
// Every member that mounts must read completely within the pack, and writing
// the table as a new pack must mount again with the same members. The new
// pack is written into a folder of its own on disk, since the writer puts a
// temporary file beside its target and renames it over.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/VFSFile.h"
#include "tests/support/MemFile.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

uint32_t ReadAndCount(CVFSTable& table, uint64_t packSize) {
    uint32_t files = 0;
    for (SVFSEntry* e = table.GetFirstEntry(); e; e = e->next) {
        if (e->isFolder) continue;
        ++files;
        Check(static_cast<uint64_t>(e->dataOffset) + e->size <= packSize);
        CVFSFile f(e->path.GetText(), 0, &table);
        Check(f.IsOpen());
        char buf[4096];
        uint64_t total = 0;
        while (f.Read(buf, sizeof buf) > 0) total += f.BytesRead();
        Check(total == e->size);
    }
    return files;
}

// The folder the written pack goes to, made once and taken away at exit.
struct SOutputFolder {
    std::string folder, path;
    SOutputFolder() {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/fuzz_pack.XXXXXX";
        if (!mkdtemp(&pattern[0])) std::abort();
        folder = pattern;
        path = folder + "/written.box";
    }
    ~SOutputFolder() {
        unlink(path.c_str());
        rmdir(folder.c_str());
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static SMemFile input("pack");
    static SOutputFolder output;
    input.Set(data, size);
    {
        CVFSTable table;
        if (table.MountPack(input.path.c_str())) {
            uint32_t files = ReadAndCount(table, size);
            Check(table.WritePack(output.path.c_str()));
            CVFSTable again;
            Check(again.MountPack(output.path.c_str()));
            struct stat written;
            Check(stat(output.path.c_str(), &written) == 0);
            Check(ReadAndCount(again, static_cast<uint64_t>(written.st_size)) == files);
        }
    }
    if (size > 1) {
        // The same bytes as a pack inside a larger file.
        int64_t base = data[0] % 16;
        int64_t length = static_cast<int64_t>(size) - base - (data[0] >> 4);
        CVFSTable table;
        if (length >= 0 && table.MountPack(input.path.c_str(), base, length))
            ReadAndCount(table, static_cast<uint64_t>(base + length));
    }
    return 0;
}
