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
    for (auto& slot : m_pages) {
        std::atomic<NWEMessageType*>* page = slot.exchange(nullptr);
        if (!page) continue;
        for (uint32_t i = 0; i < kPageSize; ++i) {
            NWEMessageType* t = page[i].exchange(nullptr);
            if (!t) continue;
            t->m_guard.Close();  // waits for messages still holding it
            delete t;
        }
        delete[] page;
    }
}

int NWEMessageTypes::Register(const char* name, uint32_t id, NWEHandler handler, void* context,
                              NWEQueue* queue, NWEFrameTable* frameTable, CSysEvent* event, uint16_t cls,
                              uint8_t priority, uint16_t delay, uint8_t direct, uint8_t shortHeader) {
    if (id > kMaxId) return 1;
    CSysScopedLock<CSysCriticalSection> l(m_lock);
    std::atomic<NWEMessageType*>* page = m_pages[id / kPageSize].load();
    if (page && page[id % kPageSize].load()) return 2;
    if (!page) {
        page = new std::atomic<NWEMessageType*>[kPageSize];
        for (uint32_t i = 0; i < kPageSize; ++i) page[i].store(nullptr);
        m_pages[id / kPageSize].store(page);
    }
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
    page[id % kPageSize].store(t);
    if (id + 1 > m_length.load()) m_length.store(id + 1);
    return 0;
}

NWEMessageType* NWEMessageTypes::Find(uint32_t id) const {
    if (id > kMaxId) return nullptr;
    std::atomic<NWEMessageType*>* page = m_pages[id / kPageSize].load(std::memory_order_acquire);
    return page ? page[id % kPageSize].load(std::memory_order_acquire) : nullptr;
}

NWEMessageType* NWEMessageTypes::Get(uint32_t id) {
    NWEMessageType* t = Find(id);
    return t && t->m_guard.TryShared() ? t : nullptr;
}

void NWEMessageTypes::Release(NWEMessageType* type) {
    if (type) type->m_guard.ReleaseShared();
}

int NWEMessageTypes::Kind(uint32_t id) {
    NWEMessageType* t = Find(id);
    if (!t) return -1;
    return t->m_shortHeader ? 1 : 0;
}

uint32_t NWEMessageTypes::Overhead(uint32_t id, uint32_t size, uint32_t parts) {
    int k = Kind(id);
    if (k < 0) return size;
    if (k == 1) return size + kShortHeaderOverhead;
    return size + kLongHeaderOverhead + kPartOverhead * parts;
}

size_t NWEMessageTypes::GetLength() {
    return m_length.load();
}
