#include "nwe/Message.h"

#include <algorithm>
#include <cstring>

#include "nwe/MessageTypes.h"

NWEMessage::~NWEMessage() {
    if (m_type && m_typeShared) m_type->m_guard.ReleaseShared();
    // A message goes having left its group; what it still holds is let go.
    if (m_groupCore) NWE_ReleaseCore(m_groupCore, SGroupCore::kMember);
    if (m_afterCore) NWE_ReleaseCore(m_afterCore, SGroupCore::kHolder);
}

NWEList* NWEMessage::GetGroup() {
    if (!m_groupCore) return nullptr;
    std::lock_guard<NWESpinLock> l(m_groupCore->lock);
    return m_groupCore->group;
}

uint8_t* NWEMessage::ResizePayload(uint32_t size) {
    if (size > kInlinePayload) {
        m_heap.reset(new uint8_t[size]);
        m_data = m_heap.get();
    } else {
        m_heap.reset();
        m_data = m_inline;
    }
    m_size = size;
    return m_data;
}

void NWEMessage::SetPayload(const void* data, uint32_t size) {
    uint8_t* p = ResizePayload(size);
    if (size) std::memcpy(p, data, size);
}

namespace {

// Under the address sanitizer records go straight back to the heap, so that
// a message used after it was freed is caught.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define NWE_NO_MESSAGE_CACHE 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define NWE_NO_MESSAGE_CACHE 1
#endif
#ifdef NWE_NO_MESSAGE_CACHE
constexpr bool kCacheMessages = false;
#else
constexpr bool kCacheMessages = true;
#endif

// The cache of freed message records of one thread, one list per record size
// (received messages come with their shared count, sent ones without).
// Records freed after it is gone (by objects that outlive the thread) go back
// to the heap.
thread_local bool t_messageCacheGone = false;
struct SMessageCache {
    static constexpr size_t kKeep = 4096;
    struct SClass {
        size_t size = 0;
        std::vector<void*> free;
    };
    SClass classes[2];
    ~SMessageCache() {
        for (SClass& c : classes)
            for (void* p : c.free) ::operator delete(p);
        t_messageCacheGone = true;
    }
    SClass* For(size_t bytes) {
        for (SClass& c : classes) {
            if (c.size == 0) c.size = bytes;
            if (c.size == bytes) return &c;
        }
        return nullptr;
    }
};
thread_local SMessageCache t_messageCache;

template <typename T>
struct SMessageAllocator {
    using value_type = T;
    SMessageAllocator() = default;
    template <typename U>
    SMessageAllocator(const SMessageAllocator<U>&) {}
    T* allocate(size_t n) {
        size_t bytes = n * sizeof(T);
        if (kCacheMessages && !t_messageCacheGone) {
            SMessageCache::SClass* c = t_messageCache.For(bytes);
            if (c && !c->free.empty()) {
                void* p = c->free.back();
                c->free.pop_back();
                return static_cast<T*>(p);
            }
        }
        return static_cast<T*>(::operator new(bytes));
    }
    void deallocate(T* p, size_t n) {
        if (kCacheMessages && !t_messageCacheGone) {
            SMessageCache::SClass* c = t_messageCache.For(n * sizeof(T));
            if (c && c->free.size() < SMessageCache::kKeep) {
                c->free.push_back(p);
                return;
            }
        }
        ::operator delete(p);
    }
    template <typename U>
    bool operator==(const SMessageAllocator<U>&) const {
        return true;
    }
    template <typename U>
    bool operator!=(const SMessageAllocator<U>&) const {
        return false;
    }
};

}  // namespace

NWEMessagePtr NWE_NewMessage() {
    return std::allocate_shared<NWEMessage>(SMessageAllocator<NWEMessage>());
}

NWEMessage* NWE_NewSentMessage() {
    SMessageAllocator<NWEMessage> a;
    return new (a.allocate(1)) NWEMessage;
}

void NWE_FreeSentMessage(NWEMessage* m) {
    if (!m) return;
    m->~NWEMessage();
    SMessageAllocator<NWEMessage>().deallocate(m, 1);
}

void NWE_ReleaseCore(SGroupCore* core, uint64_t amount) {
    if ((core->counts.fetch_sub(amount) >> 32) == (amount >> 32)) delete core;
}

SGroupCache::~SGroupCache() {
    if (core) NWE_ReleaseCore(core, SGroupCore::kHolder);
}

SGroupCore* SGroupCache::Hold(NWEList* group, uint64_t amount) {
    // The cache's own hold keeps the record alive; a group reused with
    // WaitEmpty, or another group, is looked up again.
    if (core && id == group->GetId() && generation == group->GetGeneration()) {
        core->counts.fetch_add(amount);
        return core;
    }
    if (core) NWE_ReleaseCore(core, SGroupCore::kHolder);
    id = group->GetId();
    generation = group->GetGeneration();
    core = group->HoldCore(amount + SGroupCore::kHolder);
    return core;
}

void NWE_JoinGroup(NWEMessage* m, NWEList* group, SGroupCache* cache) {
    SGroupCore* core = cache->Hold(group, SGroupCore::kMember);
    {
        std::lock_guard<NWESpinLock> l(core->lock);
        m->m_groupSeq = ++core->joined;
        core->packed.push_back(0);
    }
    m->m_groupCore = core;
    m->m_groupPacked = false;
}

void NWE_SetAfter(NWEMessage* m, NWEList* after, SGroupCache* cache) {
    SGroupCore* core = cache->Hold(after, SGroupCore::kHolder);
    {
        std::lock_guard<NWESpinLock> l(core->lock);
        m->m_afterSeq = core->joined + 1;
    }
    m->m_afterCore = core;
}

bool NWE_MustWait(NWEMessage* m) {
    SGroupCore* core = m->m_afterCore;
    if (!core) return false;
    {
        std::lock_guard<NWESpinLock> l(core->lock);
        if (core->group && !core->packed.empty() && core->firstUnpacked < m->m_afterSeq) return true;
    }
    // Nothing it waits for can come back.
    m->m_afterCore = nullptr;
    NWE_ReleaseCore(core, SGroupCore::kHolder);
    return false;
}

void NWE_MarkPacked(NWEMessage* m) {
    if (!m->m_groupCore || m->m_groupPacked) return;
    SGroupCore* core = m->m_groupCore;
    std::lock_guard<NWESpinLock> l(core->lock);
    core->packed[m->m_groupSeq - core->firstUnpacked] = 1;
    while (!core->packed.empty() && core->packed.front()) {
        core->packed.pop_front();
        ++core->firstUnpacked;
    }
    m->m_groupPacked = true;
}

void SLeaveBatch::Flush() {
    if (!core) return;
    if (delivered) core->delivered.fetch_add(static_cast<int>(delivered));
    if (failed) core->failed.fetch_add(static_cast<int>(failed));
    NWE_ReleaseCore(core, SGroupCore::kMember * (delivered + failed));
    core = nullptr;
    delivered = failed = 0;
}

void NWE_LeaveGroup(NWEMessage* m, bool delivered, SLeaveBatch* batch) {
    if (m->m_afterCore) {
        NWE_ReleaseCore(m->m_afterCore, SGroupCore::kHolder);
        m->m_afterCore = nullptr;
    }
    SGroupCore* core = m->m_groupCore;
    if (!core) return;
    NWE_MarkPacked(m);
    m->m_groupCore = nullptr;
    SLeaveBatch one;
    SLeaveBatch* b = batch ? batch : &one;
    if (b->core != core) {
        b->Flush();
        b->core = core;
    }
    ++(delivered ? b->delivered : b->failed);
}

namespace {
std::atomic<uint64_t> g_nextListId{1};
}

NWEList::NWEList() : m_core(new SGroupCore), m_id(g_nextListId.fetch_add(1)) {
    m_core->group = this;
}

NWEList::~NWEList() {
    {
        std::lock_guard<NWESpinLock> l(m_core->lock);
        m_core->group = nullptr;
    }
    NWE_ReleaseCore(m_core, SGroupCore::kHolder);
}

SGroupCore* NWEList::HoldCore(uint64_t amount) {
    std::lock_guard<NWESpinLock> l(m_coreLock);
    m_core->counts.fetch_add(amount);
    return m_core;
}

void NWEList::Detach() {
    SGroupCore* fresh = new SGroupCore;
    fresh->group = this;
    SGroupCore* old;
    {
        std::lock_guard<NWESpinLock> l(m_coreLock);
        old = m_core;
        m_core = fresh;
        m_generation.fetch_add(1);
    }
    {
        std::lock_guard<NWESpinLock> l(old->lock);
        old->group = nullptr;
    }
    NWE_ReleaseCore(old, SGroupCore::kHolder);
}

void NWEList::Add(NWEObject* o) {
    CSysScopedLock<CSysCriticalSection> l(m_lock);
    if (std::find(m_items.begin(), m_items.end(), o) == m_items.end()) m_items.push_back(o);
}

void NWEList::Remove(NWEObject* o) {
    CSysScopedLock<CSysCriticalSection> l(m_lock);
    m_items.erase(std::remove(m_items.begin(), m_items.end(), o), m_items.end());
}

NWEObject* NWEList::FirstShared() {
    CSysScopedLock<CSysCriticalSection> l(m_lock);
    for (NWEObject* o : m_items)
        if (o->m_guard.TryShared()) return o;
    return nullptr;
}

NWEObject* NWEList::NextShared(NWEObject* cur) {
    CSysScopedLock<CSysCriticalSection> l(m_lock);
    auto it = std::find(m_items.begin(), m_items.end(), cur);
    cur->m_guard.ReleaseShared();
    if (it == m_items.end()) return nullptr;
    for (++it; it != m_items.end(); ++it)
        if ((*it)->m_guard.TryShared()) return *it;
    return nullptr;
}

size_t NWEList::GetElementCount() {
    CSysScopedLock<CSysCriticalSection> l(m_lock);
    return m_items.size();
}

NWEQueue::~NWEQueue() {
    Clear();
}

void NWEQueue::Put(const NWEMessagePtr& m) {
    CSysScopedLock<CSysCriticalSection> l(m_lock);
    NWE_PutByPriority(m_levels, m);
    m->m_queue = this;
    ++m_count;
}

NWEMessagePtr NWEQueue::Front() {
    CSysScopedLock<CSysCriticalSection> l(m_lock);
    for (auto& level : m_levels)
        if (!level.empty()) return level.front();
    return nullptr;
}

NWEMessagePtr NWEQueue::Take() {
    CSysScopedLock<CSysCriticalSection> l(m_lock);
    for (auto& level : m_levels) {
        if (level.empty()) continue;
        NWEMessagePtr m = level.front();
        level.pop_front();
        m->m_queue = nullptr;
        --m_count;
        return m;
    }
    return nullptr;
}

bool NWEQueue::Remove(NWEMessage* m) {
    CSysScopedLock<CSysCriticalSection> l(m_lock);
    if (m->m_queue != this) return false;
    for (auto& level : m_levels) {
        for (auto it = level.begin(); it != level.end(); ++it) {
            if (it->get() != m) continue;
            level.erase(it);
            m->m_queue = nullptr;
            --m_count;
            return true;
        }
    }
    return false;
}

size_t NWEQueue::GetCount() {
    CSysScopedLock<CSysCriticalSection> l(m_lock);
    return m_count;
}

void NWEQueue::Flush() {
    std::vector<NWEMessagePtr> ready;
    {
        CSysScopedLock<CSysCriticalSection> l(m_lock);
        for (auto& level : m_levels) {
            for (auto it = level.begin(); it != level.end();) {
                if ((*it)->m_filed) {
                    ++it;
                    continue;
                }
                (*it)->m_queue = nullptr;
                ready.push_back(*it);
                it = level.erase(it);
                --m_count;
            }
        }
    }
    // Handlers run without the queue's lock: they may send, or flush again.
    for (auto& m : ready) NWE_Deliver(m);
}

void NWEQueue::Clear() {
    CSysScopedLock<CSysCriticalSection> l(m_lock);
    for (auto& level : m_levels) {
        for (auto& m : level) m->m_queue = nullptr;
        level.clear();
    }
    m_count = 0;
}

void NWE_Deliver(const NWEMessagePtr& m) {
    if (!m->Claim() || !m->PeerAlive()) return;
    if (m->m_type) m->m_type->CallHandler(m->m_peer, m.get());
}
