// Fuzz target: the packed project reader and the unit loader behind it. The
// input is a "PackedProject.VXP"; it is loaded as the game loads its unit file
// (the project, the races and effect system of its settings, every
// template's keys, the sizes). A file that is refused leaves no template,
// texture, material or child project behind; one that loads has every
// template of the project on the scene's list and none elsewhere.
//
// Seeds: the demo project the build makes
// (build/install/Tessarak/Units/PackedProject.VXP); the replay test in
// ordinary builds runs it before its random inputs.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/VFSTable.h"
#include "tests/support/WorldTestHost.h"
#include "world/Project.h"
#include "world/UnitVisual.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

// The file table keeps a loose file's size from its first open: each input
// is forgotten again, so the next one is read at its own size.
void Forget(const char* path) {
    SVFSEntry* e = g_VFS.Find(path);
    if (!e) return;
    CVFSPack* pack = e->container;
    delete e;
    if (pack && !pack->mounted) delete pack;
}

// The input's folder in memory (/dev/shm) where there is one: the target
// writes a file per input.
struct SWorld {
    CWorldTestHost host;
    CProjectList projects{nullptr, host.scene};
    std::string folder;
    SWorld() {
        host.SetProjects(&projects);
        char shm[] = "/dev/shm/tessarak-fuzz-XXXXXX";
        char tmp[] = "/tmp/tessarak-fuzz-XXXXXX";
        const char* made = mkdtemp(shm);
        if (!made) made = mkdtemp(tmp);
        if (!made) std::abort();
        folder = made;
        s_folder = folder;
        std::atexit([] {
            unlink((s_folder + "/PackedProject.VXP").c_str());
            rmdir(s_folder.c_str());
        });
    }
    static std::string s_folder;
};
std::string SWorld::s_folder;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static SWorld* world = new SWorld;
    CGameScene* scene = world->host.scene;
    FILE* f = std::fopen((world->folder + "/PackedProject.VXP").c_str(), "wb");
    if (!f || (size && std::fwrite(data, 1, size, f) != size) || std::fclose(f) != 0) std::abort();
    const std::string folder = "Z:" + world->folder;
    scene->m_unitsLoaded = 0;
    world->host.lines.clear();
    const bool loaded = scene->LoadUnits(folder.c_str());
    CProject* content = world->projects.m_content;
    if (loaded) {
        scene->DeriveTemplateSizes();
        Check(content->m_projectId != 0 || content->m_skip);
        int listed = 0;
        for (CTessarakObjectTemplate* t = scene->m_templates; t; t = t->m_listNext) ++listed;
        Check(listed == scene->m_templateCount);
        for (CTessarakObjectTemplate* t = scene->m_templates; t; t = t->m_listNext)
            Check(t->m_collisionRadius > 0.0f && t->m_mass > 0.0f);
    } else {
        Check(content->m_templateCount == 0 && content->m_textureCount == 0 &&
              content->m_materialCount == 0 && content->m_childCount == 0 && content->m_events.empty());
        Check(scene->m_templateCount == 0 && world->projects.m_projectCount == 2);
    }
    // Nothing of this input stays for the next one.
    content->Empty();
    Check(scene->m_templateCount == 0 && world->projects.m_events.empty());
    Forget((folder + "\\PackedProject.VXP").c_str());
    return 0;
}
