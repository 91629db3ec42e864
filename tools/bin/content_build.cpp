// content_build: assembles the game's content folder from its sources.
//
//   content_build <source folder> <output folder>
//
// Every folder of the source whose name ends in ".box" becomes a pack file of
// that name at the same place in the output, holding the folder's files under
// their paths relative to it ("Scripts\Startup.cfg"), in sorted order. Every
// other file is copied as it stands. Files the game wrote into the output
// (saved settings and the like) are left alone. Each pack is mounted again
// after writing and every member compared with its source, so a broken pack
// never reaches the installation. Exit code 0 on success, 1 on any failure.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/VFSFile.h"
#include "core/VFSTable.h"

namespace fs = std::filesystem;

static bool EndsWithBox(const fs::path& p) {
    std::string ext = p.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return (char)std::tolower(c); });
    return ext == ".box";
}

static bool ReadWhole(const fs::path& p, std::string& data) {
    std::ifstream in(p, std::ios::binary);
    if (!in) return false;
    data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

// The member paths of a pack folder, relative and backslash-separated.
static std::vector<std::string> PackMembers(const fs::path& folder) {
    std::vector<std::string> members;
    for (const auto& item : fs::recursive_directory_iterator(folder)) {
        if (!item.is_regular_file()) continue;
        std::string rel = fs::relative(item.path(), folder).generic_string();
        std::replace(rel.begin(), rel.end(), '/', '\\');
        members.push_back(rel);
    }
    std::sort(members.begin(), members.end());
    return members;
}

static bool BuildPack(const fs::path& folder, const fs::path& output) {
    std::vector<std::string> members = PackMembers(folder);
    for (const std::string& m : members)
        if (m.size() > 259) {
            std::fprintf(stderr, "content_build: member path too long: %s\n", m.c_str());
            return false;
        }
    fs::create_directories(output.parent_path());
    fs::path tmp = output;
    tmp += ".tmp";

    // The table names its entries by the paths it was given: add the files
    // from inside the folder so the members keep their relative names.
    fs::path cwd = fs::current_path();
    fs::current_path(folder);
    bool ok = true;
    {
        CVFSTable table;
        for (const std::string& m : members)
            if (!table.AddDiskFile(m.c_str())) {
                std::fprintf(stderr, "content_build: cannot read %s in %s\n", m.c_str(), folder.c_str());
                ok = false;
            }
        if (ok && !table.WritePack(tmp.string().c_str())) {
            std::fprintf(stderr, "content_build: cannot write %s\n", tmp.c_str());
            ok = false;
        }
    }
    fs::current_path(cwd);
    if (!ok) return false;

    // Mount the new pack and compare every member with its source.
    {
        CVFSTable check;
        if (!check.MountPack(tmp.string().c_str())) {
            std::fprintf(stderr, "content_build: %s does not mount\n", tmp.c_str());
            return false;
        }
        for (const std::string& m : members) {
            std::string expected, got;
            std::string srcRel = m;
            std::replace(srcRel.begin(), srcRel.end(), '\\', '/');
            if (!ReadWhole(folder / srcRel, expected)) return false;
            CVFSFile file;
            if (!check.Find(m.c_str()) || !file.Open(m.c_str(), CVFSFile::kModeRead, &check)) {
                std::fprintf(stderr, "content_build: %s missing from %s\n", m.c_str(), output.c_str());
                return false;
            }
            got.resize(expected.size() + 1);
            uint32_t n = file.Read(&got[0], (uint32_t)got.size());
            got.resize(n);
            if (got != expected) {
                std::fprintf(stderr, "content_build: %s differs in %s\n", m.c_str(), output.c_str());
                return false;
            }
        }
    }
    fs::rename(tmp, output);
    std::printf("content_build: %s (%zu members)\n", output.c_str(), members.size());
    return true;
}

static bool CopyTree(const fs::path& source, const fs::path& output) {
    fs::create_directories(output);
    for (const auto& item : fs::directory_iterator(source)) {
        fs::path target = output / item.path().filename();
        if (item.is_directory()) {
            bool ok =
                EndsWithBox(item.path()) ? BuildPack(item.path(), target) : CopyTree(item.path(), target);
            if (!ok) return false;
        } else if (item.is_regular_file()) {
            std::error_code ec;
            fs::copy_file(item.path(), target, fs::copy_options::overwrite_existing, ec);
            if (ec) {
                std::fprintf(stderr, "content_build: cannot copy %s: %s\n", item.path().c_str(),
                             ec.message().c_str());
                return false;
            }
        }
    }
    return true;
}

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: content_build <source folder> <output folder>\n");
        return 2;
    }
    fs::path source = fs::absolute(argv[1]);
    fs::path output = fs::absolute(argv[2]);
    if (!fs::is_directory(source)) {
        std::fprintf(stderr, "content_build: %s is not a folder\n", source.c_str());
        return 1;
    }
    try {
        return CopyTree(source, output) ? 0 : 1;
    } catch (const fs::filesystem_error& e) {
        std::fprintf(stderr, "content_build: %s\n", e.what());
        return 1;
    }
}
