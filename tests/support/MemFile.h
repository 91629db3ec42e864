// A file in memory with a path the file layer can open (/proc/self/fd/N),
// for fuzz targets that feed bytes to readers taking a path.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

struct SMemFile {
    int fd;
    std::string path;
    explicit SMemFile(const char* name)
        : fd(memfd_create(name, 0)), path("/proc/self/fd/" + std::to_string(fd)) {}
    void Set(const uint8_t* data, size_t size) {
        if (ftruncate(fd, 0) != 0) std::abort();
        if (size && pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) std::abort();
    }
};
