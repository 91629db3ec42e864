#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
#include "world/GameNode.h"
#include "world/TessarakObject.h"
#include "world/UnitVisual.h"

CGameNode::CGameNode(CGameScene* scene, CUnitVisual* visual, CE3DFrame* parent, uint8_t attachment)
    : CE3DFrame(parent), m_gameScene(scene), m_visual(visual), m_attachment(attachment) {
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

void CGameNode::SetColor(float r, float g, float b) {
    float rgb[3] = {r, g, b};
    Message(kFrameMsgColor, rgb);
}

void CGameNode::JitterMesh(float amount) {
    Message(kFrameMsgJitter2, &amount);
}

void CGameNode::ShatterMesh(float amount, float fraction, bool spread) {
    struct {
        float amount, fraction;
        bool spread;
    } data = {amount, fraction, spread};
    Message(kFrameMsgShatterStart, &data);
}
