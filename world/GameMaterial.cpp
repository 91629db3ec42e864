#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
#include "core/VFSFile.h"
#include "e3d/RecordReader.h"
#include "world/GameMaterial.h"
#include "world/GameScene.h"
#include "world/Project.h"
#include "world/World.h"

CGameMaterial::CGameMaterial(CProjectList* owner, CProject* project)
    : CE3DMaterial(owner ? owner->m_screen : nullptr), m_project(project), m_owner(owner) {
    m_nodeType = kNodeTypeGameMaterial;
    if (project) {
        m_projectNext = project->m_materials;
        if (m_projectNext) m_projectNext->m_projectPrev = this;
        project->m_materials = this;
        ++project->m_materialCount;
    }
}

CGameMaterial::~CGameMaterial() {
    if (m_indexed && m_owner) m_owner->m_materialIndex.Remove(m_indexKey, this);
    if (m_project) {
        if (m_projectPrev)
            m_projectPrev->m_projectNext = m_projectNext;
        else if (m_project->m_materials == this)
            m_project->m_materials = m_projectNext;
        if (m_projectNext) m_projectNext->m_projectPrev = m_projectPrev;
        --m_project->m_materialCount;
    }
}

void CGameMaterial::Index() {
    if (!m_owner) return;
    if (m_indexed) m_owner->m_materialIndex.Remove(m_indexKey, this);
    m_indexKey = CIdPairIndex::Key(m_projectId, m_materialId);
    m_owner->m_materialIndex.Add(m_indexKey, this);
    m_indexed = 1;
}

void CGameMaterial::MarkReplaced() {
    m_gameFlags |= kReplaced;
    m_flags = 1;  // the screen's look-ups pass over it
}

bool CGameMaterial::Read(CVFSFile& file, int version) {
    ClearPasses();
    if (version < kContentFirstVersion) {
        // An older record is not read (the project's reader refuses its file).
        if (m_owner && m_owner->m_scene)
            m_owner->m_scene->World().Console().Print("Unsupported file format for Material");
        return false;
    }
    {
        CE3DRecordReader in(file);
        CStrBuf name;
        in.String(name, kContentMaxName);
        const uint16_t projectId = in.U16();
        const uint32_t materialId = in.U32();
        const uint32_t value = in.U32();
        const uint8_t twoSided = in.U8();
        const uint8_t lit = in.U8();
        const uint8_t flags = in.U8();
        in.Skip(1);
        if (!in.Ok()) return false;
        m_name = name;
        m_projectId = projectId;
        m_materialId = materialId;
        m_value = value;
        m_twoSided = twoSided;
        m_lit = lit;
        m_gameFlags = flags;
    }
    // A pass takes at least its render states (225 bytes from version 20 on,
    // 237 before): a count that the rest of the file cannot hold is damage.
    const uint32_t minPass = version >= 20 ? 225 : 237;
    for (int stages = 1; stages <= 3; ++stages) {
        uint32_t count = 0;
        if (!file.ReadU32(count)) return false;
        const uint32_t size = file.GetSize(), at = file.Tell();
        if (at > size || count > (size - at) / minPass) {
            ClearPasses();
            return false;
        }
        for (uint32_t i = 0; i < count; ++i)
            if (!AddPass(stages)->Load(file, version)) {
                ClearPasses();
                return false;
            }
    }
    return true;
}
