#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
#include <cstring>

#include "world/UnitVisual.h"

CUnitVisual::CUnitVisual(CGameScene* scene, CE3DFrame* parent, uint8_t topLevel, CProject* project)
    : CE3DMesh(parent, nullptr), m_project(project), m_gameScene(scene), m_topLevel(topLevel) {
    m_type = kFrameUnitVisual;
    if (!topLevel && parent && parent->m_type == kFrameUnitVisual) {
        CUnitVisual* p = static_cast<CUnitVisual*>(parent);
        m_root = p->m_topLevel ? p : p->m_root;
        if (m_root) m_project = m_root->m_project;
    }
}

CUnitVisual::~CUnitVisual() {}

CUnitVisual* CUnitVisual::NextChildNode(CUnitVisual* child) const {
    for (CE3DFrame* f = child ? child->m_siblingNext : m_firstChild; f; f = f->m_siblingNext)
        if (f->m_type == kFrameUnitVisual) return static_cast<CUnitVisual*>(f);
    return nullptr;
}

CUnitVisual* CUnitVisual::FindChildById(uint16_t projectId, uint32_t nodeId) const {
    for (CUnitVisual* c = NextChildNode(nullptr); c; c = NextChildNode(c))
        if (c->m_projectId == projectId && c->m_nodeId == nodeId) return c;
    return nullptr;
}

CUnitVisual* CUnitVisual::FindChildByName(const char* name) const {
    for (CUnitVisual* c = NextChildNode(nullptr); c; c = NextChildNode(c))
        if ((c->m_classMask & 1) && std::strncmp(c->m_name.GetText(), name, 256) == 0) return c;
    return nullptr;
}
