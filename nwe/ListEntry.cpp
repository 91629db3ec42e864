#include "nwe/ListEntry.h"

#include <mutex>
#include <thread>

#include "core/ListLinks.h"

namespace {

// Guards every entry's links among the entries of its target, and the
// targets' heads. Changing who names whom is rare (a connection comes or
// goes); reading an entry's target takes only the entry's own lock.
std::mutex& LinkLock() {
    static std::mutex* m = new std::mutex;
    return *m;
}

}  // namespace

NWEObject::~NWEObject() {
    m_guard.Close();
    DetachEntries();
}

void NWEObject::DetachEntries() {
    std::lock_guard<std::mutex> l(LinkLock());
    while (NWEListEntry* e = m_entries) {
        CSysScopedLock<CSysCriticalSection> el(e->m_lock);
        e->UnlinkTarget();
    }
}

NWEListEntry::NWEListEntry(NWERefList* list, NWEObject* target, uintptr_t value)
    : m_list(list), m_value(value) {
    if (m_list) {
        CSysScopedLock<CSysCriticalSection> l(m_list->m_lock);
        m_nextInList = m_list->m_head;
        if (m_list->m_head)
            m_list->m_head->m_prevInList = this;
        else
            m_list->m_tail = this;
        m_list->m_head = this;
        ++m_list->m_count;
    }
    if (target) {
        std::lock_guard<std::mutex> l(LinkLock());
        CSysScopedLock<CSysCriticalSection> el(m_lock);
        LinkTarget(target);
    }
}

NWEListEntry::~NWEListEntry() {
    {
        std::lock_guard<std::mutex> l(LinkLock());
        CSysScopedLock<CSysCriticalSection> el(m_lock);
        UnlinkTarget();
    }
    if (m_list) {
        CSysScopedLock<CSysCriticalSection> l(m_list->m_lock);
        (m_prevInList ? m_prevInList->m_nextInList : m_list->m_head) = m_nextInList;
        (m_nextInList ? m_nextInList->m_prevInList : m_list->m_tail) = m_prevInList;
        --m_list->m_count;
    }
}

void NWEListEntry::LinkTarget(NWEObject* target) {
    m_target = target;
    SListLinks<NWEListEntry, &NWEListEntry::m_nextForTarget, &NWEListEntry::m_prevForTarget>::Push(
        target->m_entries, this);
}

void NWEListEntry::UnlinkTarget() {
    if (!m_target) return;
    SListLinks<NWEListEntry, &NWEListEntry::m_nextForTarget, &NWEListEntry::m_prevForTarget>::Unlink(
        m_target->m_entries, this);
    m_target = nullptr;
}

NWEObject* NWEListEntry::TakeTarget() {
    CSysScopedLock<CSysCriticalSection> l(m_lock);
    // The target detaches its entries (taking this lock) before it is freed.
    if (m_target && m_target->m_guard.TryShared()) return m_target;
    return nullptr;
}

bool NWEListEntry::Names(const NWEObject* o) {
    CSysScopedLock<CSysCriticalSection> l(m_lock);
    return m_target == o;
}

void NWEListEntry::Retarget(NWEObject* target) {
    std::lock_guard<std::mutex> l(LinkLock());
    CSysScopedLock<CSysCriticalSection> el(m_lock);
    UnlinkTarget();
    if (target) LinkTarget(target);
}

void NWEListEntry::Destroy() {
    if (m_guard.Close()) delete this;
}

NWERefList::~NWERefList() {
    for (;;) {
        NWEListEntry* e;
        {
            CSysScopedLock<CSysCriticalSection> l(m_lock);
            e = m_head;
        }
        if (!e) break;
        if (e->m_guard.Exclusive()) {
            e->m_guard.Downgrade();
            if (e->m_guard.CloseWhileShared()) {
                delete e;
                continue;
            }
        }
        // Someone else is destroying it: let them finish.
        std::this_thread::yield();
    }
}

size_t NWERefList::GetCount() {
    CSysScopedLock<CSysCriticalSection> l(m_lock);
    return m_count;
}

NWEListEntry* NWERefList::FirstShared() {
    CSysScopedLock<CSysCriticalSection> l(m_lock);
    for (NWEListEntry* e = m_head; e; e = e->m_nextInList)
        if (e->m_guard.TryShared()) return e;
    return nullptr;
}

NWEListEntry* NWERefList::NextShared(NWEListEntry* cur) {
    CSysScopedLock<CSysCriticalSection> l(m_lock);
    // Held shared, the entry is still linked: its successor is valid.
    NWEListEntry* e = cur->m_nextInList;
    cur->m_guard.ReleaseShared();
    for (; e; e = e->m_nextInList)
        if (e->m_guard.TryShared()) return e;
    return nullptr;
}

NWEListEntry* NWERefList::FindShared(const NWEObject* o) {
    CSysScopedLock<CSysCriticalSection> l(m_lock);
    for (NWEListEntry* e = m_head; e; e = e->m_nextInList)
        if (e->Names(o) && e->m_guard.TryShared()) return e;
    return nullptr;
}
