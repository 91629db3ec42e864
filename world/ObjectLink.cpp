#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
#include "world/ObjectIdTable.h"
#include "world/ObjectLink.h"
#include "world/StateArchive.h"
#include "world/TessarakObject.h"

void CObjectLink::Set(CTessarakObject* object) {
    if (m_target) Clear();
    if (!object) return;
    m_id = kNoId;
    m_target = object;
    m_prev = nullptr;
    m_next = object->m_referrers;
    if (m_next) m_next->m_prev = this;
    object->m_referrers = this;
}

void CObjectLink::Clear() {
    m_id = kNoId;
    if (!m_target) return;
    if (m_prev)
        m_prev->m_next = m_next;
    else
        m_target->m_referrers = m_next;
    if (m_next) m_next->m_prev = m_prev;
    m_next = m_prev = nullptr;
    m_target = nullptr;
}

void CObjectLink::Resolve(const CObjectIdTable& table) {
    if (m_id < -1) return;
    CTessarakObject* found = table.Find(m_id);
    if (found)
        Set(found);
    else
        Clear();
}

int32_t CObjectLink::GetRecordId() const {
    if (m_target) return m_target->m_objectId;
    return m_id >= 0 ? m_id : -1;
}

void CObjectLink::Transfer(CStateArchive& ar) {
    int32_t id = GetRecordId();
    ar.I32(id);
    if (ar.IsApplying()) {
        Clear();
        m_id = id;
    }
}

void CObjectGroup::DeleteAll() {
    while (m_head) delete m_head;
}

CObjectMembership::CObjectMembership(CTessarakObject* object, CObjectGroup* group) {
    Join(group);
    Attach(object);
}

void CObjectMembership::Join(CObjectGroup* group) {
    if (m_group) {
        if (m_groupPrev)
            m_groupPrev->m_groupNext = m_groupNext;
        else
            m_group->m_head = m_groupNext;
        if (m_groupNext)
            m_groupNext->m_groupPrev = m_groupPrev;
        else
            m_group->m_tail = m_groupPrev;
        --m_group->m_count;
        m_groupNext = m_groupPrev = nullptr;
    }
    m_group = group;
    if (!group) return;
    m_groupPrev = group->m_tail;
    if (group->m_tail)
        group->m_tail->m_groupNext = this;
    else
        group->m_head = this;
    group->m_tail = this;
    ++group->m_count;
}

void CObjectMembership::Attach(CTessarakObject* object) {
    if (m_object) {
        if (m_objectPrev)
            m_objectPrev->m_objectNext = m_objectNext;
        else
            m_object->m_memberships = m_objectNext;
        if (m_objectNext) m_objectNext->m_objectPrev = m_objectPrev;
        --m_object->m_membershipCount;
        m_objectNext = m_objectPrev = nullptr;
    }
    m_object = object;
    if (!object) return;
    m_objectNext = object->m_memberships;
    if (m_objectNext) m_objectNext->m_objectPrev = this;
    object->m_memberships = this;
    ++object->m_membershipCount;
    if (m_group && !object->IsMarked()) ++m_group->m_liveCount;
}

void ObjectList_SaveIds(const CObjectGroup& group, CStateArchive& ar) {
    ar.WriteU32(static_cast<uint32_t>(group.m_count));
    for (CObjectMembership* m = group.m_head; m; m = m->GetNextInGroup())
        ar.WriteI32(m->GetObject() ? m->GetObject()->m_objectId : -1);
}
