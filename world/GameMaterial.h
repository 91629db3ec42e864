// The game's materials: the engine's, owned by a content project and filled
// from the project's packed project file.
//
// Material record (little-endian; the writer is tools/lib/PackedProjectWriter):
//   string name (u16 length and characters); u16 project id; u32 material id;
//   u32 the game's value; u8 two-sided; u8 lit; u8 the game's flags (0x10:
//   replaced by a later material with the same id pair); 1 byte of zero;
//   u32 count of one-stage passes, then each pass (e3d/Material.h); the same
//   for two-stage and three-stage passes.
// Records below version 29 are not read: the project refuses such a file.
#pragma once

#include <cstdint>

#include "core/StrBuf.h"
#include "e3d/Material.h"

class CProject;
class CProjectList;
class CVFSFile;

constexpr uint32_t kNodeTypeGameMaterial = 256;

class CGameMaterial : public CE3DMaterial {
public:
    enum : uint8_t { kReplaced = 0x10 };

    // A material of the owner's screen (none: a material of its own, as on a
    // server without a display) that joins the project's list at the front.
    CGameMaterial(CProjectList* owner, CProject* project);
    ~CGameMaterial() override;

    // The record at the file's position; false when it is cut short or
    // breaks a bound (the material is then left without passes).
    bool Read(CVFSFile& file, int version);
    // Marks it passed over by the screen's look-ups.
    void MarkReplaced();
    // Enters it in the owner's index by its id pair (once its record is read).
    void Index();

    CProject* m_project;
    uint64_t m_indexKey = 0;
    uint8_t m_indexed = 0;
    CGameMaterial* m_projectNext = nullptr;
    CGameMaterial* m_projectPrev = nullptr;
    CProjectList* m_owner;
    uint32_t m_value = 0;
    uint8_t m_gameFlags = 0;
};
