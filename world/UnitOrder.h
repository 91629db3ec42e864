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

#include <cstddef>
#include <cstdint>

#include "world/ObjectLink.h"

class CUnit;
class CStateArchive;
class CTessarakObject;
class CTessarakObjectTemplate;
class CWaypointList;

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
    static constexpr size_t kMinTreeSize = 67;
    static constexpr size_t kMinRecordSize = 65;

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
    // Whether the order is the unit's running order or one of its
    // sub-orders. Only such an order has run, alike on every machine; a
    // queued one is this machine's alone until its confirmed copy comes
    // back, so when it goes it leaves its unit as it is.
    bool IsRunning() const;
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
    // Every child whose type is not in mask deleted, the running order
    // excepted; nothing sent.
    void RemoveQueuedExcept(uint32_t mask);
    // The same, after the reset is sent when the running order's type is not
    // in mask.
    void RemoveAllExcept(uint32_t mask);
    // Whether a patrol order is queued.
    bool HasPatrolOrder() const;
};

// ---- the order classes: their data and class blocks here, their steps in
// MoveOrders.cpp (move, go-to-position, go-to-object, patrol, repair, tow,
// guard) and WorkOrders.cpp (attack, harvest, build). Each step returns true
// while the order goes on and false once it has finished; the caller deletes
// it. Sub-orders made inside a step run once at once.

class CMoveOrder : public CUnitOrder {
public:
    // A move of unit to (x, 0, z), the first waypoint the same point.
    CMoveOrder(CUnitOrder* parent, CUnitOrder* predecessor, CUnit* unit, float x, float z, uint8_t force);
    // The unit halts, unless it is blocked.
    ~CMoveOrder() override;
    bool Execute() override;
    void TransferClass(CStateArchive& ar, EForm form) override;
    uint8_t m_force = 0;
    uint32_t m_subLocalRef = 0;  // handed to the go-to-position step; never serialised
    uint32_t m_extra = 0;
};

// The way to a point: the path request, then following the waypoints. A
// machine searches the way of a unit whose owner plays on it (the local
// player, or a computer player, which every machine runs); the way found
// travels as the waypoint-list message (142) and every machine takes it in
// the same frame. The order finishes once that message has been taken (the
// unit's path-received bit), never on how far a search of this machine has
// come: every machine finishes it in the same tick.
class CGotoPositionOrder : public CUnitOrder {
public:
    enum EStep : uint32_t { kStart = 0, kCache = 2, kSearch = 4, kFollow = 5 };
    // A slice of a search is 20 ms of budget (kExpansionsPerMs each).
    static constexpr int kSliceBudgetMs = 20;
    static constexpr float kCacheDistance = 15.0f;

    CGotoPositionOrder(CUnitOrder* parent, CUnitOrder* predecessor, CUnit* unit);
    // Lets go of the path finder and the requester queue.
    ~CGotoPositionOrder() override;
    bool Execute() override;
    void TransferClass(CStateArchive& ar, EForm form) override;
    // After a saved state was loaded on this machine: an order whose way
    // was wanted goes on searching here when this machine searches the
    // unit's ways (queued: it stands in the world grid's requester queue
    // already), or waits for the way the searching machine sends; a way
    // neither found nor on its way (wayComing) is searched for again by the
    // machine that searches. Only this machine's side of the order changes.
    void ResumeSearch(bool wayComing, bool queued);
    bool IsRegistered() const { return m_registered != 0; }
    uint8_t m_force = 0;

private:
    void LeaveQueue();
    // The way found (or the cached one): sent as message 142.
    void Send(const CWaypointList& list);
    uint8_t m_registered = 0;  // in the world grid's requester queue (this machine only)
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
    // The unit halts and lets go of its targets.
    ~CAttackOrder() override;
    bool Execute() override;
    void TransferClass(CStateArchive& ar, EForm form) override;
    uint8_t m_ground = 1;
};

// Repairs a structure or unit: a construct order on it does the work.
class CRepairOrder : public CTargetOrder {
public:
    CRepairOrder(CUnitOrder* parent, CUnitOrder* predecessor, CUnit* unit)
        : CTargetOrder(parent, predecessor, unit, kRepair) {}
    bool Execute() override;
};

// Goes to an object and stays until the object is gone.
class CGoToObjectOrder : public CTargetOrder {
public:
    CGoToObjectOrder(CUnitOrder* parent, CUnitOrder* predecessor, CUnit* unit)
        : CTargetOrder(parent, predecessor, unit, kGoToObject) {}
    bool Execute() override;
};

// Stays by a unit and helps it: attacks what it attacks, builds what it
// builds, tows what it tows, repairs it.
class CGuardOrder : public CTargetOrder {
public:
    CGuardOrder(CUnitOrder* parent, CUnitOrder* predecessor, CUnit* unit)
        : CTargetOrder(parent, predecessor, unit, kGuard) {}
    // The unit lets go of its build site.
    ~CGuardOrder() override;
    bool Execute() override;
    // The order id of the guarded unit's running order last seen (0: none).
    // An id, not the order's address: an address freed and taken again by a
    // new order would look the same on one machine and not on another.
    uint32_t m_lastSeenId = 0;
};

// Goes near a unit and ties a tow cable to it.
class CTowOrder : public CTargetOrder {
public:
    CTowOrder(CUnitOrder* parent, CUnitOrder* predecessor, CUnit* unit)
        : CTargetOrder(parent, predecessor, unit, kTow) {}
    ~CTowOrder() override;
    bool Execute() override;
};

// A point of a patrol round: the queue turns it into a move to the point and
// a new patrol order at its back, so it never runs itself.
class CPatrolOrder : public CUnitOrder {
public:
    CPatrolOrder(CUnitOrder* parent, CUnitOrder* predecessor, CUnit* unit)
        : CUnitOrder(parent, predecessor, unit) {
        m_type = kPatrol;
    }
    bool Execute() override;
};

// Produce (0x8: the unit is a factory that makes a unit of the template) and
// construct (0x20: the unit is a builder that puts up a building of the
// template at the destination, or works on an existing site).
class CBuildOrder : public CUnitOrder {
public:
    enum : uint32_t { kTickCounterLimit = 200 };
    CBuildOrder(CUnitOrder* parent, CUnitOrder* predecessor, CUnit* unit, uint8_t construct);
    ~CBuildOrder() override;
    // The four ways the game makes one: produce in a factory (with repeat
    // set from the build panel), construct at a point, work on an object.
    static CBuildOrder* Produce(CUnitOrder* parent, CUnitOrder* predecessor, CTessarakObjectTemplate* tmpl,
                                uint32_t repeat = 0);
    static CBuildOrder* ConstructAt(CUnitOrder* parent, CUnitOrder* predecessor,
                                    CTessarakObjectTemplate* tmpl, float x, float z);
    static CBuildOrder* ConstructOn(CUnitOrder* parent, CUnitOrder* predecessor, CTessarakObject* site);
    bool Execute() override;
    void TransferClass(CStateArchive& ar, EForm form) override;
    void VisitSubOrders() override;
    CTessarakObjectTemplate* m_template = nullptr;
    uint8_t m_construct = 0;
    uint32_t m_extra = 0;
    CObjectLink m_site;
    uint32_t m_repeat = 0;
    uint32_t m_retries = 0;
    uint32_t m_waitRetries = 0;

private:
    bool ExecuteProduce();
    bool ExecuteConstruct();
    // Posts the event to the owner's player (what the interface shows).
    void Event(int code);
    // The owner has as many units as the game allows: the order waits,
    // telling the player every kTickCounterLimit ticks.
    bool AtUnitLimit();
};

// Gathers resources and carries them to the owner's depot, round after
// round. The unit carries its load (CUnit::m_harvestLoad) and its depot (the
// unloading unit) itself.
class CHarvestOrder : public CUnitOrder {
public:
    CHarvestOrder(CUnitOrder* parent, CUnitOrder* predecessor, CUnit* unit);
    // The unit halts; its harvest beam goes out.
    ~CHarvestOrder() override;
    bool Execute() override;
    void TransferClass(CStateArchive& ar, EForm form) override;
    void VisitSubOrders() override;
    // The nearest resource object that no one else mines, within the cells n
    // around (x, z) of layer 0 and nearer than maxDistance to the unit; null
    // when none.
    CTessarakObject* FindNearestResource(int n, float maxDistance, float x, float z) const;
    // A go-to-position to the side of the object facing the unit.
    void ApproachPoint(CTessarakObject* object);
    CObjectLink m_resource;   // what the unit mines now
    float m_slowTime = 0.0f;  // how long the unit has crept on its way to the depot
    uint8_t m_returnNow = 0;  // set: the unit carries what it has to the depot at once
    float m_float2 = 0.0f;
};
