#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
#include "e3d/Light.h"
#include "e3d/Screen.h"
#include "e3d/VertexList.h"
#include "world/GameNode.h"
#include "world/GameScene.h"
#include "world/TessarakObject.h"
#include "world/UnitVisual.h"
#include "world/World.h"

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
    // The template's light, as a light of the node's own.
    if (visual && visual->m_light) {
        m_light = new CE3DLight(this);
        m_light->CopyFrom(*visual->m_light);
        m_light->SetPriority(10);
        m_light->m_enabled = 1;
        m_light->m_active = 1;
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

void CGameNode::Message(int code, void* data) {
    if (code == kMsgBindMaterials) {
        for (CE3DVertexList* l = m_lists; l; l = l->m_next) {
            if (l->m_ownsMaterial) continue;
            CE3DMaterial* m =
                m_screen ? m_screen->FindMaterial(l->m_materialProject, l->m_materialId) : nullptr;
            if (!m && m_screen) m = m_screen->m_defaultMaterial;
            l->m_material = m;
        }
    } else if (code == kMsgIsBoundTo && data) {
        SGameNodeBinding* b = static_cast<SGameNodeBinding*>(data);
        for (CE3DVertexList* l = m_lists; l; l = l->m_next)
            if (l->m_material == b->material) b->bound = 1;
    }
    CE3DMesh::Message(code, data);
}

void CGameNode::FadeLight(int64_t duration) {
    if (!m_light) return;
    m_lightBase[0] = m_light->m_light.dcvDiffuse.r;
    m_lightBase[1] = m_light->m_light.dcvDiffuse.g;
    m_lightBase[2] = m_light->m_light.dcvDiffuse.b;
    m_fadeStart = Now();
    m_fadeDuration = duration;
    m_lightFading = 1;
}

void CGameNode::Update(int* frozenDepth) {
    if (m_lightFading && m_light) {
        const float f = m_fadeDuration > 0 ? 1.0f - float(Now() - m_fadeStart) / float(m_fadeDuration) : 0.0f;
        float rgb[3];
        for (int i = 0; i < 3; ++i) {
            rgb[i] = m_lightBase[i] * f;
            if (rgb[i] < 0.0f) rgb[i] = 0.0f;
        }
        m_light->SetColor(rgb[0], rgb[1], rgb[2]);
    }
    CE3DMesh::Update(frozenDepth);
}

CWorld* CGameNode::World() const {
    return m_gameScene ? &m_gameScene->World() : nullptr;
}

CWorldGrid* CGameNode::WorldGrid() const {
    return m_gameScene ? &m_gameScene->World().Grid() : nullptr;
}

CExplosionManager* CGameNode::Explosions() const {
    return m_gameScene ? &m_gameScene->World().Explosions() : nullptr;
}

CPhysicsEngine* CGameNode::Physics() const {
    return m_gameScene ? &m_gameScene->World().Physics() : nullptr;
}
