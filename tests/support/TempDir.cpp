#include "tests/support/TempDir.h"

#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

CTempDir::CTempDir() {
    char tmpl[] = "/tmp/tessarak-test-XXXXXX";
    if (char* p = mkdtemp(tmpl)) m_path = p;
}

CTempDir::~CTempDir() {
    if (m_path.empty()) return;
    nftw(
        m_path.c_str(), [](const char* p, const struct stat*, int, struct FTW*) { return remove(p); }, 16,
        FTW_DEPTH | FTW_PHYS);
}

std::string CTempDir::Win() const {
    std::string r = "Z:";
    for (char c : m_path) r += c == '/' ? '\\' : c;
    return r;
}

std::string CTempDir::File(const std::string& relative) const {
    return m_path + "/" + relative;
}

std::string CTempDir::WinFile(const std::string& relative) const {
    std::string r = Win() + "\\";
    for (char c : relative) r += c == '/' ? '\\' : c;
    return r;
}

bool CTempDir::Write(const std::string& relative, const std::string& data) const {
    std::string full = File(relative);
    for (size_t pos = m_path.size() + 1; (pos = full.find('/', pos)) != std::string::npos; ++pos)
        mkdir(full.substr(0, pos).c_str(), 0755);
    FILE* f = std::fopen(full.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
    return std::fclose(f) == 0 && ok;
}

std::string CTempDir::Read(const std::string& relative) const {
    FILE* f = std::fopen(File(relative).c_str(), "rb");
    if (!f) return std::string();
    std::string data;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) data.append(buf, n);
    std::fclose(f);
    return data;
}
