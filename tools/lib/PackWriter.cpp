#include "tools/lib/PackWriter.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>

#include "core/LittleEndian.h"

void PackWriter_PutU32(std::string& out, uint32_t v) {
    LE_PutU32(out, v);
}

void PackWriter_PutU16(std::string& out, uint16_t v) {
    LE_PutU16(out, v);
}

void PackWriter_Poke32(std::string& bytes, size_t pos, uint32_t v) {
    uint8_t b[4];
    LE_StoreU32(b, v);
    for (size_t i = 0; i < 4 && pos + i < bytes.size(); ++i) bytes[pos + i] = static_cast<char>(b[i]);
}

bool PackWriter_WriteBytes(const std::string& linuxPath, const std::string& bytes) {
    FILE* f = std::fopen(linuxPath.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

static bool ReadWhole(const std::string& path, std::string& data) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    data.clear();
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) data.append(buf, n);
    bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

bool CPackWriter::AddFolder(const std::string& linuxFolder, const std::string& prefix) {
    DIR* d = opendir(linuxFolder.c_str());
    if (!d) return false;
    std::vector<std::string> names;
    while (dirent* e = readdir(d)) {
        std::string n = e->d_name;
        if (n != "." && n != "..") names.push_back(n);
    }
    closedir(d);
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return strcasecmp(a.c_str(), b.c_str()) < 0;
    });
    bool ok = true;
    for (const auto& n : names) {
        std::string full = linuxFolder + "/" + n;
        std::string member = prefix.empty() ? n : prefix + "\\" + n;
        struct stat st;
        if (stat(full.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            ok = AddFolder(full, member) && ok;
        } else {
            std::string data;
            if (!ReadWhole(full, data)) {
                ok = false;
                continue;
            }
            Add(member, data);
        }
    }
    return ok;
}

std::string CPackWriter::Build() const {
    std::string out;
    std::string dir;
    PackWriter_PutU32(dir, static_cast<uint32_t>(m_members.size()));
    for (const auto& m : m_members) {
        dir += m.path;
        dir += '\0';
        PackWriter_PutU32(dir, static_cast<uint32_t>(out.size()));
        PackWriter_PutU32(dir, static_cast<uint32_t>(m.data.size()));
        out += m.data;
    }
    uint32_t dirOffset = static_cast<uint32_t>(out.size());
    out += dir;
    PackWriter_PutU32(out, dirOffset);
    return out;
}

bool CPackWriter::WriteTo(const std::string& linuxPath, const std::string& prefix,
                          const std::string& suffix) const {
    return PackWriter_WriteBytes(linuxPath, prefix + Build() + suffix);
}
