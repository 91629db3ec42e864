#include "e3d/Node.h"

#include "core/ListLinks.h"
#include "e3d/Engine.h"
#include "e3d/Screen.h"

CE3DNode::CE3DNode(CE3DScreen* owner) : m_owner(owner), m_engine(owner ? owner->m_engine : nullptr) {
    Link();
}

namespace {
using SNodeLinks = SListLinks<CE3DNode, &CE3DNode::m_next, &CE3DNode::m_prev>;
}

CE3DNode::CE3DNode(CE3DEngine* engine) : m_engine(engine) {
    Link();
}

void CE3DNode::Link() {
    if (m_engine) SNodeLinks::Push(m_engine->m_nodes, this);
}

CE3DNode::~CE3DNode() {
    if (m_engine) SNodeLinks::Unlink(m_engine->m_nodes, this);
}
