#include "core/VFSMedia.h"

#include "core/VFSFile.h"
#include "core/VFSTable.h"

std::unique_ptr<CMediaInput> VFS_OpenMedia(const char* path, CVFSTable* table, bool diskFallback) {
    if (!path || !*path) return nullptr;
    if (!table) table = &g_VFS;
    SVFSEntry* e = table->Find(path);
    if (!e && diskFallback && FileExists(path)) e = table->AddDiskFile(path);
    if (!e || e->isFolder || !e->container) return nullptr;
    int fd = e->container->OpenRead();
    if (fd == -1) return nullptr;
    // A pack member is its byte range; a loose file is read whole as it is on
    // the disk now, whatever size the table saw when it first met it.
    const int64_t length = e->container->mounted ? int64_t(e->size) : -1;
    return CMediaInput::FromFile(fd, e->dataOffset, length, true);
}
