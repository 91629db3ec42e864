// content_build: assembles the game's content folder from its sources.
//
//   content_build <source folder> <output folder> [<generated folder>]
//
// Every folder of the source whose name ends in ".box" becomes a pack file of
// that name at the same place in the output, holding the folder's files under
// their paths relative to it ("Scripts\Startup.cfg"), in name order. Every
// folder whose name ends in ".vxp" holds the text sources of a packed project
// (project.toml and the template files, content/README.md) and becomes the
// packed project file of that name. Every folder whose name ends in ".gui"
// holds the TOML description of a GUI packfile and becomes that packfile, its
// generated pictures beside it. A file "Learning.toml" (a race's folder of a
// map's "AI" or of "AIVALUES") becomes the computer players' learning files
// it describes (tools/lib/LearningFileWriter.h), each read back. A file whose
// name ends in ".sounds.toml" describes sound effects (tools/lib/SoundSource.h):
// each becomes a WAV file beside it, and the description itself is not
// copied. A box's "visual.toml" (a map's placed
// objects, content/README.md) becomes its member "visual.bin", with the templates of the source's
// "Units\PackedProject.VXP". Files the build made (a map's radar video) lie in the generated folder at the
// same places and join the packs and the tree there. Every other file is copied as it stands. Files the game
// wrote into the output (saved settings and the like) are left alone. Each pack is mounted again after
// writing and every member compared with its source, so a broken pack never reaches the installation. Exit
// code 0 on success, 1 on any failure.
//
// The whole build is made in a hidden folder beside the output first and
// moves into the output only when every source was built: a source that is
// refused leaves the output exactly as the last good build left it.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "core/VFSFile.h"
#include "core/VFSTable.h"
#include "tools/lib/ContentProject.h"
#include "tools/lib/GUIPackWriter.h"
#include "tools/lib/GUISource.h"
#include "tools/lib/LearningFileWriter.h"
#include "tools/lib/MapSource.h"
#include "tools/lib/PackWriter.h"
#include "tools/lib/SoundSource.h"
#include "tools/lib/WaveWriter.h"

namespace fs = std::filesystem;

static bool HasExtension(const fs::path& p, const char* wanted) {
    std::string ext = p.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return (char)std::tolower(c); });
    return ext == wanted;
}

static fs::path g_source, g_generated;

// The demo project, read once for the maps that name its templates.
static const SPackedProject* DemoProject(std::string& error) {
    static SContentBuild build;
    static int state = 0;  // 0 not read, 1 read, -1 failed
    if (state == 0)
        state =
            ContentProject_Load((g_source / "Units" / "PackedProject.VXP").string(), build, error) ? 1 : -1;
    return state == 1 ? &build.project : nullptr;
}

// The generated files of a folder of the source, when the build made any.
static fs::path Generated(const fs::path& folder) {
    if (g_generated.empty()) return fs::path();
    fs::path at = g_generated / fs::relative(folder, g_source);
    return fs::is_directory(at) ? at : fs::path();
}

static bool BuildProject(const fs::path& folder, const fs::path& output) {
    SContentBuild build;
    std::string error;
    if (!ContentProject_Load(folder.string(), build, error)) {
        std::fprintf(stderr, "content_build: %s\n", error.c_str());
        return false;
    }
    fs::create_directories(output.parent_path());
    if (!PackedProject_WriteFile(output.string(), build.project)) {
        std::fprintf(stderr, "content_build: cannot write %s\n", output.c_str());
        return false;
    }
    std::printf("content_build: %s (%zu templates, %zu materials, %zu textures)\n", output.c_str(),
                build.project.templates.size(), build.project.materials.size(),
                build.project.textures.size());
    return true;
}

static bool BuildPack(const fs::path& folder, const fs::path& output) {
    CPackWriter pack;
    fs::path generated = Generated(folder);
    if (!pack.AddFolder(folder.string()) || (!generated.empty() && !pack.AddFolder(generated.string()))) {
        std::fprintf(stderr, "content_build: cannot read %s\n", folder.c_str());
        return false;
    }
    for (SPackMember& m : pack.Members()) {
        if (!HasExtension(m.path, ".toml") || fs::path(m.path).stem().string() != "visual") continue;
        std::string error;
        const SPackedProject* project = DemoProject(error);
        std::vector<uint8_t> bytes;
        if (!project || !MapSource_Build((folder / m.path).string(), *project, bytes, error)) {
            std::fprintf(stderr, "content_build: %s\n", error.c_str());
            return false;
        }
        m.path = "visual.bin";
        m.data.assign(bytes.begin(), bytes.end());
    }
    for (const SPackMember& m : pack.Members())
        if (m.path.size() > 259) {
            std::fprintf(stderr, "content_build: member path too long: %s\n", m.path.c_str());
            return false;
        }
    fs::create_directories(output.parent_path());
    fs::path tmp = output;
    tmp += ".tmp";
    if (!pack.WriteTo(tmp.string())) {
        std::fprintf(stderr, "content_build: cannot write %s\n", tmp.c_str());
        return false;
    }

    // Mount the new pack the way the game does and compare every member.
    {
        CVFSTable check;
        if (!check.MountPack(tmp.string().c_str())) {
            std::fprintf(stderr, "content_build: %s does not mount\n", tmp.c_str());
            return false;
        }
        for (const SPackMember& m : pack.Members()) {
            CVFSFile file;
            if (!check.Find(m.path.c_str()) || !file.Open(m.path.c_str(), CVFSFile::kModeRead, &check)) {
                std::fprintf(stderr, "content_build: %s missing from %s\n", m.path.c_str(), output.c_str());
                return false;
            }
            std::string got(m.data.size() + 1, '\0');
            got.resize(file.Read(&got[0], (uint32_t)got.size()));
            if (got != m.data) {
                std::fprintf(stderr, "content_build: %s differs in %s\n", m.path.c_str(), output.c_str());
                return false;
            }
        }
    }
    fs::rename(tmp, output);
    std::printf("content_build: %s (%zu members)\n", output.c_str(), pack.Members().size());
    return true;
}

static bool EndsWith(const std::string& text, const char* end) {
    const size_t n = std::strlen(end);
    return text.size() >= n && text.compare(text.size() - n, n, end) == 0;
}

// A generated file written whole, or said on the error stream.
static bool WriteGenerated(const fs::path& target, const void* bytes, size_t size) {
    FILE* out = std::fopen(target.c_str(), "wb");
    bool ok = out && std::fwrite(bytes, 1, size, out) == size;
    if (out) ok = std::fclose(out) == 0 && ok;
    if (!ok) std::fprintf(stderr, "content_build: cannot write %s\n", target.c_str());
    return ok;
}

// A sounds description: its sounds as WAV files in the output folder.
static bool BuildSounds(const fs::path& file, const fs::path& outputFolder) {
    std::string text, error;
    FILE* in = std::fopen(file.c_str(), "rb");
    if (in) {
        char buf[4096];
        for (size_t n; (n = std::fread(buf, 1, sizeof buf, in)) > 0;) text.append(buf, n);
        std::fclose(in);
    }
    std::vector<SSoundRecipe> recipes;
    if (!in || !SoundSource_Parse(text, file.string(), recipes, error)) {
        std::fprintf(stderr, "content_build: %s\n",
                     in ? error.c_str() : ("cannot read " + file.string()).c_str());
        return false;
    }
    fs::create_directories(outputFolder);
    for (const SSoundRecipe& r : recipes) {
        const std::string wave = Wave_Build(SoundSource_Make(r), 1, kSoundSourceRate);
        if (!WriteGenerated(outputFolder / r.name, wave.data(), wave.size())) return false;
    }
    std::printf("content_build: %s (%zu sounds)\n", file.c_str(), recipes.size());
    return true;
}

// A GUI description ("<name>.gui": TOML files) becomes the GUI packfile of
// that name, and its generated pictures go beside it ("resources", "Mouse",
// "UnitInfo", "Load"); the unit icons go to the game folder's "Units\Icons"
// (the packfile lies in <game>/GUI).
static bool BuildGUI(const fs::path& folder, const fs::path& output) {
    SGUIBuild build;
    std::string error;
    if (!GUISource_Load(folder.string(), build, error)) {
        std::fprintf(stderr, "content_build: %s\n", error.c_str());
        return false;
    }
    fs::create_directories(output.parent_path());
    if (!GUIPack_WriteFile(output.string(), build.pack, error)) {
        std::fprintf(stderr, "content_build: %s\n", error.c_str());
        return false;
    }
    for (const SGUIBuildFile& f : build.files) {
        std::string relative = f.path;
        std::replace(relative.begin(), relative.end(), '\\', '/');
        fs::path target =
            (f.gameFolder ? output.parent_path().parent_path() : output.parent_path()) / relative;
        fs::create_directories(target.parent_path());
        if (!WriteGenerated(target, f.bytes.data(), f.bytes.size())) return false;
    }
    std::printf("content_build: %s (%u objects, %zu pictures)\n", output.c_str(),
                GUIPack_CountObjects(build.pack.root), build.files.size());
    return true;
}

// A race's learning-file source becomes its learning files in the output
// folder.
static bool BuildLearningFiles(const fs::path& source, const fs::path& output) {
    std::vector<SLearningFileOut> files;
    std::string error;
    fs::create_directories(output);
    if (!LearningSource_Build(source.string(), files, error) ||
        !LearningSource_Write(output.string(), files, error)) {
        std::fprintf(stderr, "content_build: %s\n", error.c_str());
        return false;
    }
    std::printf("content_build: %s (%zu learning files)\n", output.c_str(), files.size());
    return true;
}

static bool IsLearningSource(const fs::path& p) {
    std::string name = p.filename().string();
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return (char)std::tolower(c); });
    return name == "learning.toml";
}

static bool CopyTree(const fs::path& source, const fs::path& output) {
    fs::create_directories(output);
    for (const auto& item : fs::directory_iterator(source)) {
        fs::path target = output / item.path().filename();
        if (item.is_directory()) {
            bool ok = HasExtension(item.path(), ".box")   ? BuildPack(item.path(), target)
                      : HasExtension(item.path(), ".vxp") ? BuildProject(item.path(), target)
                      : HasExtension(item.path(), ".gui") ? BuildGUI(item.path(), target)
                                                          : CopyTree(item.path(), target);
            if (!ok) return false;
        } else if (item.is_regular_file() && EndsWith(item.path().filename().string(), ".sounds.toml")) {
            if (!BuildSounds(item.path(), output)) return false;
        } else if (item.is_regular_file() && IsLearningSource(item.path())) {
            if (!BuildLearningFiles(item.path(), output)) return false;
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

// Moves every file of the finished build into the output, folder by folder;
// a file of the same name is replaced, every other file is left alone.
static bool MoveInto(const fs::path& staged, const fs::path& output) {
    fs::create_directories(output);
    for (const auto& item : fs::directory_iterator(staged)) {
        fs::path target = output / item.path().filename();
        if (item.is_directory()) {
            if (!MoveInto(item.path(), target)) return false;
            continue;
        }
        std::error_code ec;
        fs::rename(item.path(), target, ec);
        if (ec) {
            std::fprintf(stderr, "content_build: cannot move %s to %s: %s\n", item.path().c_str(),
                         target.c_str(), ec.message().c_str());
            return false;
        }
    }
    return true;
}

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: content_build <source folder> <output folder> [<generated folder>]\n");
        return 2;
    }
    fs::path source = fs::absolute(argv[1]);
    fs::path output = fs::absolute(argv[2]).lexically_normal();
    if (output.filename().empty()) output = output.parent_path();  // "out/"
    g_source = source;
    if (argc == 4) g_generated = fs::absolute(argv[3]);
    if (!fs::is_directory(source)) {
        std::fprintf(stderr, "content_build: %s is not a folder\n", source.c_str());
        return 1;
    }
    // The build's own folder beside the output, on the same file system so
    // that its files move by renaming.
    fs::path staging = output.parent_path() / ("." + output.filename().string() + ".building");
    int code = 1;
    try {
        fs::remove_all(staging);
        if (CopyTree(source, staging)) {
            code = MoveInto(staging, output) ? 0 : 1;
        } else {
            std::fprintf(stderr, "content_build: nothing of this build was written to %s\n", output.c_str());
        }
    } catch (const fs::filesystem_error& e) {
        std::fprintf(stderr, "content_build: %s\n", e.what());
    }
    std::error_code ec;
    fs::remove_all(staging, ec);
    return code;
}
