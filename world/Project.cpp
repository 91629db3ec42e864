#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
#include <cstring>
#include <vector>

#include "core/VFSFile.h"
#include "e3d/Frame.h"
#include "e3d/RecordReader.h"
#include "e3d/Screen.h"
#include "world/GameMaterial.h"
#include "world/GameScene.h"
#include "world/GameTexture.h"
#include "world/GridMember.h"
#include "world/ObjectTemplate.h"
#include "world/Project.h"
#include "world/UnitTemplate.h"
#include "world/UnitVisual.h"
#include "world/UnitWeapon.h"
#include "world/World.h"

// ---------------------------------------------------------------------------
// Helpers

bool SPackedRead::CountFits(uint32_t count, uint32_t minBytes) {
    const uint32_t size = file->GetSize(), at = file->Tell();
    return at <= size && uint64_t(count) * minBytes <= uint64_t(size - at);
}

bool Project_IsPlainFolderName(const char* name) {
    if (!name || !name[0] || std::strlen(name) > 255) return false;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) return false;
    for (const char* c = name; *c; ++c)
        if (std::strchr("\\/:*?\"<>|", *c) || static_cast<unsigned char>(*c) < 32) return false;
    return true;
}

CUnitVisual* Project_NewTemplate(const char* key, CGameScene* scene, CE3DFrame* parent, uint8_t topLevel,
                                 CProject* project) {
    if (std::strcmp(key, "CBaseClass") == 0)
        return new CTessarakObjectTemplate(scene, parent, topLevel, project);
    if (std::strcmp(key, "CUnit") == 0) return new CUnitTemplate(scene, parent, topLevel, project);
    if (std::strcmp(key, "CGridMember") == 0)
        return new CGridMemberTemplate(scene, parent, topLevel, project);
    if (std::strcmp(key, "CUnitWeapon") == 0)
        return new CUnitWeaponTemplate(scene, parent, topLevel, project);
    return nullptr;
}

namespace {

// The progress entries of the game (the engine's hooks into it).
void ProgressPush(const char* title, int steps) {
    if (E3D_GameHooks().progressPush) E3D_GameHooks().progressPush(title, steps);
}
void ProgressStep(const char* text) {
    if (E3D_GameHooks().progressStep) E3D_GameHooks().progressStep(text);
}
// The world whose content a project loads (null outside one).
CWorld* WorldOf(const CProject* project) {
    return project->m_owner && project->m_owner->m_scene ? &project->m_owner->m_scene->World() : nullptr;
}
void ProgressSetText(const CProject* project, int systemText, int steps) {
    CWorld* world = WorldOf(project);
    const char* title = world ? world->Console().GetSystemText(systemText) : "";
    if (E3D_GameHooks().progressSetText) E3D_GameHooks().progressSetText(title ? title : "", "", steps);
}
void ProgressPop() {
    if (E3D_GameHooks().progressPop) E3D_GameHooks().progressPop();
}

// A system text with its first "%s" replaced by the argument (the text is
// data: it is never used as a format).
CStrBuf FillText(const char* text, const char* arg) {
    CStrBuf out;
    if (!text) text = "";
    const char* s = std::strstr(text, "%s");
    if (!s) {
        out = text;
        return out;
    }
    out.Append(text, int32_t(s - text));
    out.Append(arg);
    out.Append(s + 2);
    return out;
}

}  // namespace

// ---------------------------------------------------------------------------
// The list of projects

void CIdPairIndex::Remove(uint64_t key, void* entry) {
    auto it = m_map.find(key);
    if (it == m_map.end()) return;
    std::vector<void*>& v = it->second;
    for (auto e = v.begin(); e != v.end(); ++e)
        if (*e == entry) {
            v.erase(e);
            break;
        }
    if (v.empty()) m_map.erase(it);
}

const std::vector<void*>* CIdPairIndex::Find(uint64_t key) const {
    auto it = m_map.find(key);
    return it == m_map.end() ? nullptr : &it->second;
}

CProjectList::CProjectList(CE3DScreen* screen, CGameScene* scene) : m_screen(screen), m_scene(scene) {
    m_root = new CE3DFrame(nullptr);
    m_default = new CProject(this, nullptr);
    m_default->m_projectId = 0;
    m_content = new CProject(this, nullptr);
}

CProjectList::~CProjectList() {
    delete m_content;
    delete m_default;
    while (m_projects) delete m_projects;
    for (SEventDesc* e : m_events) delete e;
    m_events.clear();
    delete m_root;
}

bool CProjectList::LoadProject(const char* name) {
    m_content->m_folder = name ? name : "";
    if (!m_content->LoadPackedProject()) return false;
    if (m_screen) m_screen->RefreshMaterials();
    return true;
}

CProject* CProjectList::FindProjectById(const CProject* except, uint16_t id) const {
    for (CProject* p = m_projects; p; p = p->m_next)
        if (p != except && p->m_projectId == id && !p->m_skip) return p;
    return nullptr;
}

CGameTexture* CProjectList::FindTextureById(const CGameTexture* except, uint16_t projectId,
                                            uint32_t id) const {
    if (const std::vector<void*>* all = m_textureIndex.Find(CIdPairIndex::Key(projectId, id)))
        for (auto it = all->rbegin(); it != all->rend(); ++it) {
            CGameTexture* t = static_cast<CGameTexture*>(*it);
            if (t != except && !(t->m_gameFlags & CGameTexture::kReplaced)) return t;
        }
    return nullptr;
}

CGameMaterial* CProjectList::FindMaterialById(const CGameMaterial* except, uint16_t projectId,
                                              uint32_t id) const {
    if (const std::vector<void*>* all = m_materialIndex.Find(CIdPairIndex::Key(projectId, id)))
        for (auto it = all->rbegin(); it != all->rend(); ++it) {
            CGameMaterial* m = static_cast<CGameMaterial*>(*it);
            if (m != except && !(m->m_gameFlags & CGameMaterial::kReplaced)) return m;
        }
    return nullptr;
}

CUnitVisual* CProjectList::FindTemplateById(const CUnitVisual* except, uint16_t projectId,
                                            uint32_t id) const {
    if (const std::vector<void*>* all = m_templateIndex.Find(CIdPairIndex::Key(projectId, id)))
        for (auto it = all->rbegin(); it != all->rend(); ++it) {
            CUnitVisual* t = static_cast<CUnitVisual*>(*it);
            if (t != except && !(t->m_visualFlags & CUnitVisual::kSuperseded)) return t;
        }
    return nullptr;
}

CUnitVisual* CProjectList::FindTemplateByName(const char* name) const {
    for (CProject* p = m_projects; p; p = p->m_next)
        for (CUnitVisual* t = p->m_templates; t; t = t->m_projectNext)
            if (!(t->m_visualFlags & CUnitVisual::kSuperseded) && t->m_name.EqualsNoCase(name)) return t;
    return nullptr;
}

CGameMaterial* CProjectList::FindMaterialByName(const char* name) const {
    for (CProject* p = m_projects; p; p = p->m_next)
        for (CGameMaterial* m = p->m_materials; m; m = m->m_projectNext)
            if (!(m->m_gameFlags & CGameMaterial::kReplaced) && m->m_name.EqualsNoCase(name)) return m;
    return nullptr;
}

// ---------------------------------------------------------------------------
// Projects

CProject::CProject(CProjectList* owner, CProject* parent) : m_owner(owner), m_parent(parent) {
    if (owner) {
        m_next = owner->m_projects;
        if (m_next) m_next->m_prev = this;
        owner->m_projects = this;
        ++owner->m_projectCount;
    }
    if (parent) {
        m_childNext = parent->m_children;
        if (m_childNext) m_childNext->m_childPrev = this;
        parent->m_children = this;
        ++parent->m_childCount;
        m_depth = parent->m_depth + 1;
    }
}

CProject::~CProject() {
    Empty();
    if (m_owner) {
        if (m_prev)
            m_prev->m_next = m_next;
        else if (m_owner->m_projects == this)
            m_owner->m_projects = m_next;
        if (m_next) m_next->m_prev = m_prev;
        --m_owner->m_projectCount;
    }
    if (m_parent) {
        if (m_childPrev)
            m_childPrev->m_childNext = m_childNext;
        else if (m_parent->m_children == this)
            m_parent->m_children = m_childNext;
        if (m_childNext) m_childNext->m_childPrev = m_childPrev;
        --m_parent->m_childCount;
    }
}

void CProject::Empty() {
    // Templates first (they may name this project's materials), newest first.
    while (m_templates) delete m_templates;
    while (m_children) delete m_children;
    for (SEventDesc* e : m_events) {
        if (m_owner)
            for (auto it = m_owner->m_events.begin(); it != m_owner->m_events.end(); ++it)
                if (*it == e) {
                    m_owner->m_events.erase(it);
                    break;
                }
        delete e;
    }
    m_events.clear();
    while (m_materials) delete m_materials;
    while (m_textures) delete m_textures;
    m_skip = 0;
}

bool CProject::LoadPackedProject() {
    Empty();
    CWorld* world = WorldOf(this);
    CStrBuf path;
    if (m_folder.IsEmpty())
        path = "PackedProject.VXP";
    else
        path.Format("%s\\PackedProject.VXP", m_folder.GetText());
    std::vector<uint8_t> bytes;
    {
        // The whole file at once: the records are read field by field from
        // memory then. The pictures are read again from the file itself when
        // a texture makes its surface.
        CVFSFile disk;
        if (!disk.Open(path.GetText(), CVFSFile::kModeRead)) return false;
        bytes.resize(disk.GetSize());
        if (!bytes.empty() && disk.Read(bytes.data(), uint32_t(bytes.size())) != bytes.size()) return false;
    }
    CVFSFile file;
    file.OpenMemory(bytes.data(), uint32_t(bytes.size()));
    const CStrBuf title =
        FillText(world ? world->Console().GetSystemText(kSysTextNestedLoad) : "", path.GetText());
    if (m_progress) ProgressPush(title.GetText(), 5);

    SPackedRead r;
    r.file = &file;
    r.path = path.GetText();
    const bool ok = ReadFile(r);
    if (m_progress) ProgressPop();
    file.Close();
    if (!ok) {
        // Refused whole: nothing of it stays.
        if (world && !r.error.empty())
            world->Console().Printf("Error in %s: %s", path.GetText(), r.error.c_str());
        Empty();
        return false;
    }
    return true;
}

bool CProject::ReadFile(SPackedRead& r) {
    CVFSFile& file = *r.file;
    char signature[23];
    if (file.Read(signature, 23) != 23 || std::memcmp(signature, kPackedProjectHeader, 23) != 0)
        return r.Fail("not a packed project file");
    uint32_t version = 0;
    if (!file.ReadU32(version)) return r.Fail("the file is cut short");
    r.version = version > 0x7FFFFFFF ? 0x7FFFFFFF : int(version);
    ProgressSetText(this, kSysTextLoadingProjectSettings, 5);
    if (!ReadProjectRecord(r)) return false;
    if (m_skip) return true;
    ProgressStep("Project");
    ProgressSetText(this, kSysTextLoadingEventDesc, 5);
    if (!ReadEvents(r)) return false;
    ProgressStep("Event Descs");
    return ReadTextures(r) && ReadMaterials(r) && ReadTemplates(r);
}

bool CProject::ReadProjectRecord(SPackedRead& r) {
    if (r.version < kContentFirstVersion) {
        if (CWorld* world = WorldOf(this)) world->Console().Print("Unsupported Proect fule format");
        return r.Fail("version " + std::to_string(r.version) + " is older than 29");
    }
    CVFSFile& file = *r.file;
    {
        CE3DRecordReader in(file);
        for (CStrBuf& t : m_texts) in.String(t);
        const uint32_t blob = in.U32();
        if (!in.Has(blob)) return r.Fail("the project record is cut short");
        m_blob.resize(blob);
        if (blob) in.Bytes(m_blob.data(), blob);
        m_projectId = in.U16();
        if (!in.Ok()) return r.Fail("the project record is cut short");
    }
    if (m_owner && m_owner->FindProjectById(this, m_projectId)) {
        m_skip = 1;
        return true;
    }
    uint32_t children = 0;
    if (!file.ReadU32(children)) return r.Fail("the project record is cut short");
    if (!r.CountFits(children, 260)) return r.Fail("the child project count is larger than the file");
    for (uint32_t i = 0; i < children; ++i) {
        char field[261] = {};
        if (file.Read(field, 260) != 260) return r.Fail("the project record is cut short");
        if (!std::memchr(field, 0, 260) || !Project_IsPlainFolderName(field))
            return r.Fail("child project \"" + std::string(field, strnlen(field, 260)) +
                          "\" is not one folder below the project's own");
        if (m_depth + 1 > kContentMaxProjectDepth ||
            (m_owner && m_owner->m_projectCount >= kContentMaxProjects))
            return r.Fail("child projects nest too deep or are too many");
        CProject* child = new CProject(m_owner, this);
        if (m_folder.IsEmpty())
            child->m_folder = field;
        else
            child->m_folder.Format("%s\\%s", m_folder.GetText(), field);
        child->m_progress = 1;
        const bool ok = child->LoadPackedProject();
        child->m_progress = 0;
        if (!ok) return r.Fail("child project " + std::string(field) + " did not load");
    }
    return true;
}

bool CProject::ReadEvents(SPackedRead& r) {
    for (SEventDesc* e : m_events) delete e;
    m_events.clear();
    CVFSFile& file = *r.file;
    uint32_t count = 0;
    if (!file.ReadU32(count)) return r.Fail("the event descriptions are cut short");
    if (!r.CountFits(count, 6)) return r.Fail("the event count is larger than the file");
    for (uint32_t i = 0; i < count; ++i) {
        CE3DRecordReader in(file);
        SEventDesc* e = new SEventDesc;
        e->m_project = this;
        e->m_id = in.S32();
        CStrBuf name;
        if (!in.String(name, kContentMaxName)) {
            delete e;
            return r.Fail("an event description is cut short");
        }
        e->m_name = name;
        m_events.push_back(e);
        if (m_owner) m_owner->m_events.push_back(e);
    }
    return true;
}

bool CProject::ReadTextures(SPackedRead& r) {
    CVFSFile& file = *r.file;
    uint32_t count = 0;
    if (!file.ReadU32(count)) return r.Fail("the texture count is cut short");
    // A texture record takes 59 bytes at least.
    if (!r.CountFits(count, 59)) return r.Fail("the texture count is larger than the file");
    ProgressSetText(this, kSysTextLoadingTextures, int(count));
    while (uint32_t(m_textureCount) < count) {
        CGameTexture* t = new CGameTexture(m_owner, this);
        if (!t->Read(file, r.version, r.path)) return r.Fail("a texture record is damaged");
        t->Index();
        if (m_owner)
            if (CGameTexture* older = m_owner->FindTextureById(t, t->m_projectId, t->m_textureId))
                older->MarkReplaced();
        ProgressStep(t->m_name.GetText());
        // The surface is made now; the file is not needed open for it.
        t->LoadImage();
    }
    return true;
}

bool CProject::ReadMaterials(SPackedRead& r) {
    CVFSFile& file = *r.file;
    uint32_t count = 0;
    if (!file.ReadU32(count)) return r.Fail("the material count is cut short");
    // A material record takes 28 bytes at least.
    if (!r.CountFits(count, 28)) return r.Fail("the material count is larger than the file");
    ProgressSetText(this, kSysTextLoadingMaterials, int(count));
    while (uint32_t(m_materialCount) < count) {
        CGameMaterial* m = new CGameMaterial(m_owner, this);
        if (!m->Read(file, r.version)) return r.Fail("a material record is damaged");
        m->Index();
        if (m_owner)
            if (CGameMaterial* older = m_owner->FindMaterialById(m, m->m_projectId, m->m_materialId))
                older->MarkReplaced();
        ProgressStep(m->m_name.GetText());
    }
    return true;
}

bool CProject::ReadTemplates(SPackedRead& r) {
    CVFSFile& file = *r.file;
    uint32_t count = 0;
    if (!file.ReadU32(count)) return r.Fail("the template count is cut short");
    if (!r.CountFits(count, 64)) return r.Fail("the template count is larger than the file");
    ProgressSetText(this, kSysTextLoading3DData, int(count));
    CGameScene* scene = m_owner ? m_owner->m_scene : nullptr;
    CE3DFrame* root = m_owner ? m_owner->m_root : nullptr;
    while (uint32_t(m_templateCount) < count) {
        CStrBuf key;
        {
            CE3DRecordReader in(file);
            if (!in.String(key, kContentMaxName)) return r.Fail("a class key is cut short");
        }
        CUnitVisual* t = Project_NewTemplate(key.GetText(), scene, root, 1, this);
        if (!t) {
            if (CWorld* world = WorldOf(this)) world->Console().Printf("Class not found: %s", key.GetText());
            return r.Fail("unknown class " + std::string(key.GetText()));
        }
        if (!LoadObjectTree(t, r)) return false;
        ProgressStep(t->m_name.GetText());
    }
    return true;
}

bool LoadObjectTree(CUnitVisual* node, SPackedRead& r) {
    r.depth = 0;
    return node && node->Read(r, true);
}
