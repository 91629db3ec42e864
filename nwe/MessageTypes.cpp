#include "nwe/MessageTypes.h"

#include "nwe/Engine.h"
#include "nwe/Wire.h"

NWEMessageTypes::NWEMessageTypes(NWEEngine* engine) : m_engine(engine) {
    if (m_engine) m_engine->LinkRegistry(this);
}

NWEMessageTypes::~NWEMessageTypes() {
    m_guard.Close();
    if (m_engine) m_engine->UnlinkRegistry(this);
    CSysScopedLock<CSysCriticalSection> l(m_lock);
    for (NWEMessageType* t : m_types) {
        if (!t) continue;
        t->m_guard.Close();  // waits for messages still holding it
        delete t;
    }
    m_types.clear();
}

int NWEMessageTypes::Register(const char* name, uint32_t id, NWEHandler handler, void* context,
                              NWEQueue* queue, NWEFrameTable* frameTable, CSysEvent* event, uint16_t cls,
                              uint8_t priority, uint16_t delay, uint8_t direct, uint8_t shortHeader) {
    if (id > kMaxId) return 1;
    CSysScopedLock<CSysCriticalSection> l(m_lock);
    if (id < m_types.size() && m_types[id]) return 2;
    if (id >= m_types.size()) m_types.resize(id + 1, nullptr);
    NWEMessageType* t = new NWEMessageType;
    t->m_id = static_cast<uint16_t>(id);
    t->m_name = name ? name : "";
    t->m_handler = handler;
    t->m_context = context;
    t->m_queue = queue;
    t->m_frameTable = frameTable;
    t->m_event = event;
    t->m_class = cls;
    t->m_priority = priority > 11 ? 11 : priority;
    t->m_delay = delay;
    t->m_direct = direct;
    t->m_shortHeader = shortHeader;
    m_types[id] = t;
    return 0;
}

NWEMessageType* NWEMessageTypes::Get(uint32_t id) {
    CSysScopedLock<CSysCriticalSection> l(m_lock);
    if (id >= m_types.size() || !m_types[id]) return nullptr;
    NWEMessageType* t = m_types[id];
    return t->m_guard.TryShared() ? t : nullptr;
}

void NWEMessageTypes::Release(NWEMessageType* type) {
    if (type) type->m_guard.ReleaseShared();
}

int NWEMessageTypes::Kind(uint32_t id) {
    CSysScopedLock<CSysCriticalSection> l(m_lock);
    if (id >= m_types.size() || !m_types[id]) return -1;
    return m_types[id]->m_shortHeader ? 1 : 0;
}

uint32_t NWEMessageTypes::Overhead(uint32_t id, uint32_t size, uint32_t parts) {
    int k = Kind(id);
    if (k < 0) return size;
    if (k == 1) return size + kShortHeaderOverhead;
    return size + kLongHeaderOverhead + kPartOverhead * parts;
}

size_t NWEMessageTypes::GetLength() {
    CSysScopedLock<CSysCriticalSection> l(m_lock);
    return m_types.size();
}
