#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
#include "world/GameNode.h"
#include "world/TessarakObject.h"
#include "world/UnitVisual.h"

CGameNode::CGameNode(CGameScene* scene, CUnitVisual* visual, CE3DFrame* parent, uint8_t attachment)
    : CE3DMesh(parent, visual ? visual->m_shape : nullptr),
      m_gameScene(scene),
      m_visual(visual),
      m_attachment(attachment) {
    m_type = kFrameGameNode;
    if (!attachment && parent && parent->m_type == kFrameGameNode) {
        CTessarakObject* p = AsObject(parent);
        if (p) m_rootObject = p->m_rootObject ? p->m_rootObject : p;
    }
}

CGameNode::~CGameNode() {}

CTessarakObject* CGameNode::AsObject(CE3DFrame* frame) {
    if (!frame || frame->m_type != kFrameGameNode) return nullptr;
    CGameNode* node = static_cast<CGameNode*>(frame);
    return (node->m_classMask & 1) ? static_cast<CTessarakObject*>(node) : nullptr;
}

const char* CGameNode::MeshName() const {
    return m_visual ? m_visual->m_name.GetText() : nullptr;
}
