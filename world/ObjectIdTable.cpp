#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
#include "world/ObjectIdTable.h"
#include "world/TessarakObject.h"

CObjectIdTable::CObjectIdTable() {
    for (CTessarakObject*& b : m_buckets) b = nullptr;
}

CObjectIdTable::~CObjectIdTable() {
    for (CTessarakObject*& b : m_buckets)
        while (b) Unhook(b);
}

CTessarakObject* CObjectIdTable::Find(int32_t id) const {
    if (id < 0) return nullptr;
    for (CTessarakObject* o = m_buckets[id & (kBuckets - 1)]; o; o = o->m_idNext)
        if (o->m_objectId == id) return o;
    return nullptr;
}

bool CObjectIdTable::Insert(CTessarakObject* object) {
    int32_t id = object->m_objectId;
    if (id < 0) return false;
    CTessarakObject* holder = Find(id);
    if (holder && holder != object) return false;
    Unhook(object);
    CTessarakObject*& head = m_buckets[id & (kBuckets - 1)];
    object->m_idBucket = &head;
    object->m_idPrev = nullptr;
    object->m_idNext = head;
    if (head) head->m_idPrev = object;
    head = object;
    return true;
}

void CObjectIdTable::Unhook(CTessarakObject* object) {
    if (!object->m_idBucket) return;
    if (object->m_idPrev)
        object->m_idPrev->m_idNext = object->m_idNext;
    else
        *object->m_idBucket = object->m_idNext;
    if (object->m_idNext) object->m_idNext->m_idPrev = object->m_idPrev;
    object->m_idBucket = nullptr;
    object->m_idNext = object->m_idPrev = nullptr;
}
