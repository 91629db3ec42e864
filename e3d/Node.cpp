#include "e3d/Node.h"

#include "e3d/Engine.h"
#include "e3d/Screen.h"

CE3DNode::CE3DNode(CE3DScreen* owner) : m_owner(owner), m_engine(owner ? owner->m_engine : nullptr) {
    Link();
}

CE3DNode::CE3DNode(CE3DEngine* engine) : m_engine(engine) {
    Link();
}

void CE3DNode::Link() {
    if (!m_engine) return;
    m_prev = nullptr;
    m_next = m_engine->m_nodes;
    if (m_next) m_next->m_prev = this;
    m_engine->m_nodes = this;
}

CE3DNode::~CE3DNode() {
    if (!m_engine) return;
    if (m_prev)
        m_prev->m_next = m_next;
    else if (m_engine->m_nodes == this)
        m_engine->m_nodes = m_next;
    if (m_next) m_next->m_prev = m_prev;
}
