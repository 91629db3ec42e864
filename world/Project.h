// Content projects: the packed project file ("PackedProject.VXP") and what it
// holds: event descriptions, textures, materials and the tree of object
// templates with their meshes, lights and sub-objects.
//
// A CProject is one project file; it may name child projects, each a folder
// of its own below the project's folder with its own packed project file,
// read at once and recursively. Every project belongs to one CProjectList
// (the game screen's list of content projects; a server or a test without a
// display keeps one of its own). Content is identified by id pairs: the
// project id of the file and a 32-bit id; a later project's template with
// the pair of an earlier one supersedes it, and its nodes may override or
// refer to the earlier one's (world/UnitVisual.h).
//
// The file (little-endian; a string is a u16 length and its characters; the
// writer is tools/lib/PackedProjectWriter):
//   "Tessarak Packed Content" (23 bytes); u32 version (29 and later);
//   project record: three strings; u32 blob size and the blob; u16 project
//     id; unless that id is loaded already: u32 child count and per child a
//     260-byte zero-terminated folder name (one plain folder name);
//   event descriptions: u32 count; per description i32 id and a string;
//   u32 texture count and the texture records (world/GameTexture.h);
//   u32 material count and the material records (world/GameMaterial.h);
//   u32 template count; per template a class key string ("CBaseClass",
//     "CUnit", "CGridMember", "CUnitWeapon") and its node record
//     (world/UnitVisual.h).
// A file is read whole or not at all: a cut record, a count the rest of the
// file cannot hold, a name over 255 characters, an unknown class key, a
// version below 29, a child folder that is not one plain folder name below
// the project's own, or nesting deeper than the bounds below refuse it with a
// console line, and the project is left empty (no template of it exists).
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/StrBuf.h"

class CE3DScreen;
class CE3DFrame;
class CGameScene;
class CGameTexture;
class CGameMaterial;
class CUnitVisual;
class CProject;
class CVFSFile;

// Longest name a content record may carry (the game's name buffers hold 256).
constexpr uint32_t kContentMaxName = 255;
// Bounds of the object tree and of child projects.
constexpr int kContentMaxNodeDepth = 64;
constexpr int kContentMaxProjectDepth = 16;
constexpr int kContentMaxProjects = 256;
constexpr int kContentFirstVersion = 29;

// The signature and the system texts of the reader's progress entries.
constexpr char kPackedProjectHeader[] = "Tessarak Packed Content";
enum : int {
    kSysTextNestedLoad = 229,
    kSysTextLoadingProjectSettings = 237,
    kSysTextLoadingEventDesc = 238,
    kSysTextLoadingTextures = 239,
    kSysTextLoadingMaterials = 240,
    kSysTextLoading3DData = 241,
};

struct SEventDesc {
    CProject* m_project = nullptr;
    int32_t m_id = 0;
    CStrBuf m_name;
};

// The reading of one file: where it is, its version, and the first error.
struct SPackedRead {
    CVFSFile* file = nullptr;
    const char* path = "";
    int version = 0;
    int depth = 0;  // of the node being read
    std::string error;
    // Fails the read with a reason (the first one is kept).
    bool Fail(const std::string& why) {
        if (error.empty()) error = why;
        return false;
    }
    // True when count records of at least minBytes each fit in what is left.
    bool CountFits(uint32_t count, uint32_t minBytes);
};

// Entries by id pair: what the rules of replacing look up (each entry stays
// in it from its record to its end).
class CIdPairIndex {
public:
    static uint64_t Key(uint16_t projectId, uint32_t id) { return uint64_t(projectId) << 32 | id; }
    void Add(uint64_t key, void* entry) { m_map[key].push_back(entry); }
    void Remove(uint64_t key, void* entry);
    // The entries of the pair, oldest first (null: none).
    const std::vector<void*>* Find(uint64_t key) const;

private:
    std::unordered_map<uint64_t, std::vector<void*>> m_map;
};

class CProjectList {
public:
    // Projects on the screen (null: none, as on a server), whose templates
    // are nodes of the world's scene; the template trees hang under a root
    // frame of the list's own, which is never drawn.
    CProjectList(CE3DScreen* screen, CGameScene* scene);
    ~CProjectList();
    CProjectList(const CProjectList&) = delete;
    CProjectList& operator=(const CProjectList&) = delete;

    // Names the content project and loads it; on success every material of
    // the screen looks its textures up again. False when it failed (nothing
    // of it is then loaded).
    bool LoadProject(const char* name);
    // Another project than except with that id.
    CProject* FindProjectById(const CProject* except, uint16_t id) const;
    // Entries with that id pair other than except and not replaced already.
    CGameTexture* FindTextureById(const CGameTexture* except, uint16_t projectId, uint32_t id) const;
    CGameMaterial* FindMaterialById(const CGameMaterial* except, uint16_t projectId, uint32_t id) const;
    CUnitVisual* FindTemplateById(const CUnitVisual* except, uint16_t projectId, uint32_t id) const;
    // A template of any project by name (without regard to case), or null.
    CUnitVisual* FindTemplateByName(const char* name) const;
    // A material of any project by name (without regard to case, replaced
    // ones passed over), or null; also without a screen.
    CGameMaterial* FindMaterialByName(const char* name) const;

    CE3DScreen* m_screen;
    CGameScene* m_scene;
    CE3DFrame* m_root;  // parent of every template tree
    CProject* m_projects = nullptr;
    int32_t m_projectCount = 0;
    std::vector<SEventDesc*> m_events;  // every project's event descriptions
    uint16_t m_currentProjectId = 1;    // the id pair new textures start with
    CProject* m_content = nullptr;      // the content project (the unit file)
    CProject* m_default = nullptr;      // the default project: "!Default", "!None"
    CIdPairIndex m_textureIndex, m_materialIndex, m_templateIndex;
};

class CProject {
public:
    // Joins the front of the owner's list and, with a parent, of the parent's
    // children.
    CProject(CProjectList* owner, CProject* parent);
    // Deletes its content and child projects and leaves both lists.
    ~CProject();
    CProject(const CProject&) = delete;
    CProject& operator=(const CProject&) = delete;

    // Reads "<folder>\PackedProject.VXP" (the current folder for an empty
    // name) whole: true when it was read, or skipped because its project id
    // is loaded already; false (and the project empty) otherwise.
    bool LoadPackedProject();
    // Deletes its templates, event descriptions, textures, materials and
    // child projects.
    void Empty();

    CProjectList* m_owner;
    CStrBuf m_folder;
    CStrBuf m_texts[3];
    std::vector<uint8_t> m_blob;
    uint16_t m_projectId = 0;
    uint8_t m_progress = 0;  // set while a child is read: it shows its own progress entry
    uint8_t m_skip = 0;      // its id was loaded already: nothing more of it was read
    CUnitVisual* m_templates = nullptr;
    int32_t m_templateCount = 0;
    std::vector<SEventDesc*> m_events;
    CGameTexture* m_textures = nullptr;
    int32_t m_textureCount = 0;
    CGameMaterial* m_materials = nullptr;
    int32_t m_materialCount = 0;
    CProject* m_next = nullptr;  // the owner's list
    CProject* m_prev = nullptr;
    CProject* m_parent = nullptr;
    CProject* m_children = nullptr;
    int32_t m_childCount = 0;
    CProject* m_childNext = nullptr;
    CProject* m_childPrev = nullptr;
    int m_depth = 0;  // of child projects

private:
    bool ReadFile(SPackedRead& r);
    bool ReadProjectRecord(SPackedRead& r);
    bool ReadEvents(SPackedRead& r);
    bool ReadTextures(SPackedRead& r);
    bool ReadMaterials(SPackedRead& r);
    bool ReadTemplates(SPackedRead& r);
};

// True for one plain folder name: not empty, no separators, drive letters,
// wildcards, "." or "..".
bool Project_IsPlainFolderName(const char* name);
// A node of the class that the class key names, under parent; null for a key
// the game does not know.
CUnitVisual* Project_NewTemplate(const char* classKey, CGameScene* scene, CE3DFrame* parent, uint8_t topLevel,
                                 CProject* project);
// One node of the packed project's object tree read into node from the
// read's file at its version, then its children, each of its own class
// (the node's shape and mesh, or its light, with it); false with the read's
// error set when the file does not hold together.
bool LoadObjectTree(CUnitVisual* node, SPackedRead& r);
