// References between game objects, and groups of objects.
//
// An object never keeps a bare pointer to another object that may outlive
// it: it keeps a CObjectLink. The target knows every link that points at it
// (its referrer list), and when the target is released all of them become
// empty at once. A link can also hold only an object id (after a saved game
// or a sync image was read); it finds its object through the scene's id table
// once every object exists (Resolve). In records a link travels as the
// target's id, -1 when it is empty.
//
// Objects are gathered into groups: the instances of a template, a player's
// objects of one template, a player's category lists, the scene's radar
// lists. A membership record ties one object to one group and sits in two
// lists at once, the group's members (in joining order) and the object's
// groups, so either side can be walked and either can be torn down.
#pragma once

#include <cstdint>

class CTessarakObject;
class CObjectIdTable;
class CStateArchive;

class CObjectLink {
public:
    static constexpr int32_t kNoId = -2;

    CObjectLink() = default;
    ~CObjectLink() { Clear(); }
    CObjectLink(const CObjectLink&) = delete;
    CObjectLink& operator=(const CObjectLink&) = delete;

    // Points the link at object (null: clears it).
    void Set(CTessarakObject* object);
    void Clear();
    // A pending id, resolved later; nothing else changes.
    void SetId(int32_t id) { m_id = id; }
    // A pending id of -1 or more is looked up and Set with the result (an id
    // that no object has leaves the link empty); -2 leaves the link as it is.
    void Resolve(const CObjectIdTable& table);

    CTessarakObject* Get() const { return m_target; }
    explicit operator bool() const { return m_target != nullptr; }
    int32_t GetPendingId() const { return m_id; }
    // The id that records carry: the target's, else a pending id, else -1.
    int32_t GetRecordId() const;
    // Writes the record id, or reads one back as a pending id.
    void Transfer(CStateArchive& ar);

private:
    friend class CTessarakObject;
    int32_t m_id = kNoId;
    CTessarakObject* m_target = nullptr;
    CObjectLink* m_next = nullptr;  // the target's referrer list
    CObjectLink* m_prev = nullptr;
};

class CObjectMembership;

// A group record: its members in joining order and two counts. The member
// count follows the members; the live count is raised by every object that
// joins (a marked scaffold excepted) and only lowered when the game resets
// it: it counts the objects ever made into the group.
class CObjectGroup {
public:
    CObjectGroup() = default;
    ~CObjectGroup() { DeleteAll(); }
    CObjectGroup(const CObjectGroup&) = delete;
    CObjectGroup& operator=(const CObjectGroup&) = delete;

    // Detaches and deletes every membership, head first (ObjectList_DeleteAll).
    void DeleteAll();
    CObjectMembership* GetHead() const { return m_head; }
    int32_t GetCount() const { return m_count; }

    CObjectMembership* m_head = nullptr;
    CObjectMembership* m_tail = nullptr;
    int32_t m_count = 0;
    int32_t m_liveCount = 0;
};

class CObjectMembership {
public:
    // A record of object in group (either may be null).
    CObjectMembership(CTessarakObject* object, CObjectGroup* group);
    ~CObjectMembership() { Detach(); }
    CObjectMembership(const CObjectMembership&) = delete;
    CObjectMembership& operator=(const CObjectMembership&) = delete;

    // Leaves the current group, then joins group at its tail (null: none).
    void Join(CObjectGroup* group);
    // Leaves the current object's list, then heads object's list.
    void Attach(CTessarakObject* object);
    void Detach() {
        Join(nullptr);
        Attach(nullptr);
    }

    CTessarakObject* GetObject() const { return m_object; }
    CObjectGroup* GetGroup() const { return m_group; }
    CObjectMembership* GetNextInGroup() const { return m_groupNext; }
    CObjectMembership* GetNextOfObject() const { return m_objectNext; }

private:
    CObjectMembership* m_groupNext = nullptr;
    CObjectMembership* m_groupPrev = nullptr;
    CObjectGroup* m_group = nullptr;
    CObjectMembership* m_objectNext = nullptr;
    CObjectMembership* m_objectPrev = nullptr;
    CTessarakObject* m_object = nullptr;
};

// A group's ids in a record: the count, then each member's object id
// (ObjectList_SaveIds). Reading gives the ids back; the caller resolves them.
void ObjectList_SaveIds(const CObjectGroup& group, CStateArchive& ar);
