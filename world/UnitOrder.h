// Unit orders: everything a unit is told to do is an order object.
//
// The orders of a unit form a tree. The unit owns one root order (its order
// list, COrderList); the root's children are the unit's order queue, the last
// child being its front (it runs next) and the first child its back (queued
// last). Any order may own sub-orders that it makes while it runs (a move
// runs a go-to-position). One order of the queue at a time is the unit's
// running order.
//
// The queue runs in lockstep: a machine never starts a queued order by
// itself. It sends the order as game message 134 and only the copy that comes
// back through the server's frame runs, on every machine in the same tick.
//
// An order travels in three forms, each written and read by one transfer
// function per class (the class block) after the base fields:
//  - the order message (134): the body after the unit id and the type;
//  - the tree form, carried in a unit's sync image: the order, its children
//    from the back to the front, then its class block;
//  - the saved-game record of the whole tree.
// Readers go through CStateArchive: a checking read parses into scratch
// orders and changes nothing; object ids are kept as pending ids and resolved
// by VisitSubOrders once every object exists (message bodies resolve at once).
// No pointer and no process-local value ever crosses the wire.
#pragma once

#include <cstdint>

#include "world/ObjectLink.h"

class CUnit;
class CStateArchive;
class CTessarakObjectTemplate;

class CUnitOrder {
public:
    // The type bits; the same bits travel in messages and saved games.
    enum : uint32_t {
        kMove = 0x1,
        kGotoPosition = 0x2,
        kAttack = 0x4,
        kProduce = 0x8,
        kConstruct = 0x20,
        kHarvest = 0x40,
        kRepair = 0x80,
        kGoToObject = 0x100,
        kGuard = 0x200,
        kPatrol = 0x400,
        kTow = 0x800,
    };
    // The three serialised forms.
    enum EForm : uint8_t { kFormMessage, kFormTree, kFormRecord };
    // Orders nested deeper than this in a tree or record refuse it (a hostile
    // image cannot exhaust the stack).
    static constexpr int kMaxDepth = 16;
    // The smallest tree form and saved record of one order (base fields only).
    static constexpr size_t kMinTreeSize = 68;
    static constexpr size_t kMinRecordSize = 66;

    // A new order of unit under parent: right after predecessor (toward the
    // front), or without one at the parent's back. The unit is the parent's
    // when none is given. An order made under the unit's current order
    // (other than the root) becomes the current order.
    CUnitOrder(CUnitOrder* parent, CUnitOrder* predecessor, CUnit* unit);
    // Clears the unit's references to it, deletes its children and leaves
    // its parent; the unit's current order falls back to the parent.
    virtual ~CUnitOrder();
    CUnitOrder(const CUnitOrder&) = delete;
    CUnitOrder& operator=(const CUnitOrder&) = delete;

    // One step: true while the order goes on, false when it has finished
    // (the caller deletes it). An order class without its own step waits.
    virtual bool Execute() { return true; }
    virtual bool Continues() { return true; }
    // The class block of a form (nothing for a plain order).
    virtual void TransferClass(CStateArchive& /*ar*/, EForm /*form*/) {}
    // After a load or a sync image: the children's, then the class's links
    // are resolved from their ids.
    virtual void VisitSubOrders();

    // The order message body (134, after unit id and type): destination and
    // target points, the local reference (always written 0 and never read:
    // it is meaningful inside one process only), the class block.
    void Pack(CStateArchive& ar);
    void Unpack(CStateArchive& ar);
    // The tree form of the order and its children; UnpackTree reads it after
    // the type word (read by the caller). depth counts the nesting.
    void PackHeader(CStateArchive& ar);
    bool UnpackTree(CStateArchive& ar, int depth = 0);
    // The saved record of the order and its children; LoadFromFile reads it
    // after the type word.
    void SaveToFile(CStateArchive& ar);
    bool LoadFromFile(CStateArchive& ar, int depth = 0);

    // An order of the type bit (one of the eleven), or null for any other
    // value; linked as the constructor does.
    static CUnitOrder* Create(uint32_t type, CUnitOrder* parent, CUnitOrder* predecessor, CUnit* unit);
    static bool IsKnownType(uint32_t type);

    CUnitOrder* FirstChild() const { return m_firstChild; }
    CUnitOrder* LastChild() const { return m_lastChild; }
    CUnitOrder* Next() const { return m_next; }
    CUnitOrder* Prev() const { return m_prev; }
    CUnitOrder* Parent() const { return m_parent; }
    int32_t ChildCount() const { return m_childCount; }
    void DeleteChildren();

    // Fields in the order of the class record.
    CUnitOrder* m_parent = nullptr;
    CUnitOrder* m_firstChild = nullptr;  // the back of the chain
    CUnitOrder* m_lastChild = nullptr;   // the front
    CUnitOrder* m_next = nullptr;        // toward the front
    CUnitOrder* m_prev = nullptr;        // toward the back
    int32_t m_childCount = 0;
    CUnit* m_unit = nullptr;
    uint32_t m_localRef = 0;  // meaningful inside this process only
    float m_target[3] = {0.0f, 0.0f, 0.0f};
    float m_destination[3] = {0.0f, 0.0f, 0.0f};
    uint32_t m_step = 0;
    uint32_t m_type = 0;
    uint32_t m_orderId = 0;
    uint8_t m_finished = 0;
    uint8_t m_patrolGenerated = 0;
    uint8_t m_issuedHere = 0;  // made by CUnit::AddMoveOrder; never serialised
    uint8_t m_sent = 0;        // sent and awaiting its confirmed copy, or confirmed and running
    // The order's flag word (bit 0x400: the unit attacks a threat on the
    // way) and a point, carried in the tree form and the record.
    uint32_t m_aux = 0;
    float m_auxPoint[3] = {0.0f, 0.0f, 0.0f};
    uint32_t m_childMask = 0;  // non-zero: only children of these types run

private:
    bool TransferForm(CStateArchive& ar, EForm form, int depth);
    void Link(CUnitOrder* predecessor);
    void Unlink();
    bool ReadChildren(CStateArchive& ar, int depth, bool tree);
};

// The root order of a unit: its order queue and the per-tick step that runs
// the running order's chain.
class COrderList : public CUnitOrder {
public:
    explicit COrderList(CUnit* unit) : CUnitOrder(nullptr, nullptr, unit) {}

    // The per-tick step of order (any order of the tree): see the source.
    static bool PickNext(CUnitOrder* order);
    // Sends order as message 134 (unit id, type, body).
    static void SendOrder(CUnitOrder* order);
    // With a running order: message 137 (unit id, the running order's id).
    bool SendReset();
    // The unit's stop byte is cleared, the reset sent, and every child but
    // the running order deleted.
    void RemoveAll();
    // Every child but the running order deleted; nothing sent.
    void RemoveQueued();
};

// ---- the order classes: their data and class blocks (their steps belong
// to the movement and combat code)

class CMoveOrder : public CUnitOrder {
public:
    // A move of unit to (x, 0, z), the first waypoint the same point.
    CMoveOrder(CUnitOrder* parent, CUnitOrder* predecessor, CUnit* unit, float x, float z, uint8_t force);
    void TransferClass(CStateArchive& ar, EForm form) override;
    uint8_t m_force = 0;
    uint32_t m_subLocalRef = 0;  // handed to the go-to-position step; never serialised
    uint32_t m_extra = 0;
};

class CGotoPositionOrder : public CUnitOrder {
public:
    CGotoPositionOrder(CUnitOrder* parent, CUnitOrder* predecessor, CUnit* unit);
    void TransferClass(CStateArchive& ar, EForm form) override;
    uint8_t m_force = 0;
};

// An order on one target object (attack, repair, go to, guard, tow).
class CTargetOrder : public CUnitOrder {
public:
    CTargetOrder(CUnitOrder* parent, CUnitOrder* predecessor, CUnit* unit, uint32_t type);
    void TransferClass(CStateArchive& ar, EForm form) override;
    void VisitSubOrders() override;
    CObjectLink m_targetLink;
};

class CAttackOrder : public CTargetOrder {
public:
    // ground 1: the destination point is attacked, 0: the linked object.
    CAttackOrder(CUnitOrder* parent, CUnitOrder* predecessor, CUnit* unit, uint8_t ground = 1);
    void TransferClass(CStateArchive& ar, EForm form) override;
    uint8_t m_ground = 1;
};

class CRepairOrder : public CTargetOrder {
public:
    CRepairOrder(CUnitOrder* parent, CUnitOrder* predecessor, CUnit* unit)
        : CTargetOrder(parent, predecessor, unit, kRepair) {}
};

class CGoToObjectOrder : public CTargetOrder {
public:
    CGoToObjectOrder(CUnitOrder* parent, CUnitOrder* predecessor, CUnit* unit)
        : CTargetOrder(parent, predecessor, unit, kGoToObject) {}
};

class CGuardOrder : public CTargetOrder {
public:
    CGuardOrder(CUnitOrder* parent, CUnitOrder* predecessor, CUnit* unit)
        : CTargetOrder(parent, predecessor, unit, kGuard) {}
    CUnitOrder* m_lastSeen = nullptr;  // the guarded unit's running order last seen
};

class CTowOrder : public CTargetOrder {
public:
    CTowOrder(CUnitOrder* parent, CUnitOrder* predecessor, CUnit* unit)
        : CTargetOrder(parent, predecessor, unit, kTow) {}
};

class CPatrolOrder : public CUnitOrder {
public:
    CPatrolOrder(CUnitOrder* parent, CUnitOrder* predecessor, CUnit* unit)
        : CUnitOrder(parent, predecessor, unit) {
        m_type = kPatrol;
    }
};

// Produce (0x8) and construct (0x20).
class CBuildOrder : public CUnitOrder {
public:
    CBuildOrder(CUnitOrder* parent, CUnitOrder* predecessor, CUnit* unit, uint8_t construct);
    void TransferClass(CStateArchive& ar, EForm form) override;
    void VisitSubOrders() override;
    CTessarakObjectTemplate* m_template = nullptr;
    uint8_t m_construct = 0;
    uint32_t m_extra = 0;
    CObjectLink m_site;
    uint32_t m_repeat = 0;
    uint32_t m_retries = 0;
    uint32_t m_waitRetries = 0;
};

class CHarvestOrder : public CUnitOrder {
public:
    CHarvestOrder(CUnitOrder* parent, CUnitOrder* predecessor, CUnit* unit);
    void TransferClass(CStateArchive& ar, EForm form) override;
    void VisitSubOrders() override;
    CObjectLink m_resource;
    float m_float1 = 0.0f;
    uint8_t m_byte = 0;
    float m_float2 = 0.0f;
};
