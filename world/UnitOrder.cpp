#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
//
// The three forms of an order, all little-endian, floats IEEE singles.
//
// Order message 134: u32 unit id, u32 type, then the body: destination x, y,
// z; target x, y, z (f32); u32 local reference (written 0, never read); the
// class block:
//   move           u32 force (0 or 1), u32 extra word           (44 bytes in all)
//   go-to-position u8 force                                     (37)
//   attack         u32 target id (-1 none), u8 ground flag      (41)
//   build          u32 template project id, u32 template id, u8 construct,
//                  u32 site id (-1 none), u32 repeat flag       (53)
//   harvest        u8 the byte                                  (37)
//   repair, go-to-object, guard, tow: u32 target id (-1 none)   (40)
//   patrol         nothing                                      (36)
//
// Tree form, per order: u32 type; u32 the parent's order id (-1 without a
// parent); target and destination points (f32 x 3 each); u32 step (0 for a
// go-to-position); u32 order id; u8 finished, patrol-generated and sent
// flags; u32 flag word; aux point (f32 x 3); u32 child-type mask; u32 child
// count; each child's tree form from the back to the front; the class block:
//   move           u8 force, u32 extra word
//   go-to-position u8 force
//   attack         u32 target id, u8 ground flag
//   build          u16 template project id (0: no template), u32 template id
//                  (-1: none), u8 construct, u32 extra word, u32 site id,
//                  u32 repeat, retry and wait-retry counters
//   harvest        u32 resource id, f32, u8, f32
//   repair, go-to-object, guard, tow: u32 target id
//
// Saved record, per order: u32 type; u8 is the running order; u8 is the
// current order; target and destination points; u32 step; u32 order id; u8
// finished; u8 patrol-generated; u8 sent; u32 flag word; aux point; u32 child-type
// mask; u32 child count; each child's record from the back to the front; the
// class block:
//   move, go-to-position, attack, repair, go-to-object, guard, tow, harvest:
//                  as in the tree form
//   build          u16 template project id, u32 template id (0 and -1 for an
//                  order without a template: the record is always whole),
//                  u8 construct, u32 site id, u32 repeat flag
// The local reference is not saved.
#include <vector>

#include "world/GameMessages.h"
#include "world/GameScene.h"
#include "world/ObjectTemplate.h"
#include "world/StateArchive.h"
#include "world/TessarakObject.h"
#include "world/Unit.h"
#include "world/UnitOrder.h"
#include "world/World.h"

namespace {
constexpr uint32_t kNone = 0xFFFFFFFFu;

const CObjectIdTable* IdTable(const CUnit* unit) {
    return unit ? &unit->m_gameScene->m_idTable : nullptr;
}

// A link in the message form: the id is looked up at once.
void TransferLinkNow(CStateArchive& ar, CObjectLink& link, const CUnit* unit) {
    int32_t id = link.GetRecordId();
    ar.I32(id);
    if (!ar.IsApplying()) return;
    link.Clear();
    const CObjectIdTable* table = IdTable(unit);
    if (table && id >= 0) link.Set(table->Find(id));
}
}  // namespace

// ---- construction and the chain

CUnitOrder::CUnitOrder(CUnitOrder* parent, CUnitOrder* predecessor, CUnit* unit) : m_parent(parent) {
    m_unit = unit ? unit : (parent ? parent->m_unit : nullptr);
    if (parent) {
        ++parent->m_childCount;
        Link(predecessor);
        if (m_unit && m_unit->m_currentOrder == parent && parent != m_unit->m_orderList)
            m_unit->m_currentOrder = this;
    }
}

void CUnitOrder::Link(CUnitOrder* predecessor) {
    CUnitOrder* parent = m_parent;
    if (predecessor) {
        m_prev = predecessor;
        m_next = predecessor->m_next;
        predecessor->m_next = this;
        if (m_next)
            m_next->m_prev = this;
        else
            parent->m_lastChild = this;
    } else {
        m_prev = nullptr;
        m_next = parent->m_firstChild;
        if (m_next)
            m_next->m_prev = this;
        else
            parent->m_lastChild = this;
        parent->m_firstChild = this;
    }
}

void CUnitOrder::Unlink() {
    if (!m_parent) return;
    if (m_prev)
        m_prev->m_next = m_next;
    else
        m_parent->m_firstChild = m_next;
    if (m_next)
        m_next->m_prev = m_prev;
    else
        m_parent->m_lastChild = m_prev;
    --m_parent->m_childCount;
    m_next = m_prev = nullptr;
}

CUnitOrder::~CUnitOrder() {
    CUnit* unit = m_unit;
    // The sub-orders go first, while this order still runs: theirs is the
    // running order's clean-up too.
    DeleteChildren();
    if (unit && unit->m_runningOrder == this) unit->m_runningOrder = nullptr;
    if (unit && unit->m_currentOrder == this && unit->m_orderList != this) unit->m_currentOrder = m_parent;
    Unlink();
    m_parent = nullptr;
}

bool CUnitOrder::IsRunning() const {
    if (!m_unit || !m_unit->m_runningOrder) return false;
    const CUnitOrder* top = this;
    while (top->m_parent && top->m_parent != m_unit->m_orderList) top = top->m_parent;
    return top == m_unit->m_runningOrder;
}

void CUnitOrder::DeleteChildren() {
    while (m_firstChild) delete m_firstChild;
}

CUnitOrder* CUnitOrder::Create(uint32_t type, CUnitOrder* parent, CUnitOrder* predecessor, CUnit* unit) {
    switch (type) {
        case kMove:
            return new CMoveOrder(parent, predecessor, unit, 0.0f, 0.0f, 0);
        case kGotoPosition:
            return new CGotoPositionOrder(parent, predecessor, unit);
        case kAttack:
            return new CAttackOrder(parent, predecessor, unit, 1);
        case kProduce:
            return new CBuildOrder(parent, predecessor, unit, 0);
        case kConstruct:
            return new CBuildOrder(parent, predecessor, unit, 1);
        case kHarvest:
            return new CHarvestOrder(parent, predecessor, unit);
        case kRepair:
            return new CRepairOrder(parent, predecessor, unit);
        case kGoToObject:
            return new CGoToObjectOrder(parent, predecessor, unit);
        case kGuard:
            return new CGuardOrder(parent, predecessor, unit);
        case kPatrol:
            return new CPatrolOrder(parent, predecessor, unit);
        case kTow:
            return new CTowOrder(parent, predecessor, unit);
        default:
            return nullptr;
    }
}

bool CUnitOrder::IsKnownType(uint32_t type) {
    switch (type) {
        case kMove:
        case kGotoPosition:
        case kAttack:
        case kProduce:
        case kConstruct:
        case kHarvest:
        case kRepair:
        case kGoToObject:
        case kGuard:
        case kPatrol:
        case kTow:
            return true;
        default:
            return false;
    }
}

void CUnitOrder::VisitSubOrders() {
    for (CUnitOrder* c = m_firstChild; c; c = c->m_next) c->VisitSubOrders();
}

// ---- the forms

void CUnitOrder::Pack(CStateArchive& ar) {
    ar.F32s(m_destination, 3);
    ar.F32s(m_target, 3);
    if (ar.IsWriting())
        ar.WriteU32(0);
    else
        ar.ReadU32();
    TransferClass(ar, kFormMessage);
}

void CUnitOrder::Unpack(CStateArchive& ar) {
    Pack(ar);
}

void CUnitOrder::PackHeader(CStateArchive& ar) {
    TransferForm(ar, kFormTree, 0);
}

bool CUnitOrder::UnpackTree(CStateArchive& ar, int depth) {
    return TransferForm(ar, kFormTree, depth);
}

void CUnitOrder::SaveToFile(CStateArchive& ar) {
    TransferForm(ar, kFormRecord, 0);
}

bool CUnitOrder::LoadFromFile(CStateArchive& ar, int depth) {
    return TransferForm(ar, kFormRecord, depth);
}

// The tree form and the saved record differ in their second and third
// fields and in their class blocks. A reader
// starts after the type word, which its caller read.
bool CUnitOrder::TransferForm(CStateArchive& ar, EForm form, int depth) {
    if (depth > kMaxDepth) {
        ar.Fail();
        return false;
    }
    const bool tree = form == kFormTree;
    if (ar.IsWriting()) ar.WriteU32(m_type);
    uint8_t running = m_unit && m_unit->m_runningOrder == this ? 1 : 0;
    uint8_t current = m_unit && m_unit->m_currentOrder == this ? 1 : 0;
    if (tree) {
        // The parent's order id: on reading, the tree itself says who the
        // parent is.
        uint32_t parentId = m_parent ? m_parent->m_orderId : kNone;
        ar.U32(parentId);
    } else {
        ar.U8(running);
        ar.U8(current);
    }
    ar.F32s(m_target, 3);
    ar.F32s(m_destination, 3);
    uint32_t step = tree && m_type == kGotoPosition ? 0 : m_step;
    ar.U32(step);
    ar.U32(m_orderId);
    ar.U8(m_finished);
    ar.U8(m_patrolGenerated);
    ar.U8(m_sent);
    ar.U32(m_aux);
    ar.F32s(m_auxPoint, 3);
    ar.U32(m_childMask);
    if (ar.IsApplying()) {
        if (tree) {
            // A go-to-position keeps its own step (its path is this machine's).
            if (m_type != kGotoPosition) m_step = step;
        } else {
            // A loaded order goes on where it stood, its sent flag with it
            // (its confirmed copy may be on its way); a go-to-position's
            // search is this machine's, which the world resumes once
            // everything is loaded (CWorld::ResumeWaySearches). Local
            // references are not kept.
            m_step = step;
            m_localRef = 0;
            if (m_unit && running) m_unit->m_runningOrder = this;
            if (m_unit && current) m_unit->m_currentOrder = this;
        }
    }
    if (ar.IsWriting()) {
        ar.WriteU32(static_cast<uint32_t>(m_childCount));
        for (CUnitOrder* c = m_firstChild; c; c = c->m_next) c->TransferForm(ar, form, depth + 1);
    } else if (!ReadChildren(ar, depth, tree)) {
        return false;
    }
    TransferClass(ar, form);
    return ar.Ok();
}

// The children of a tree form or a saved record. A checking read parses each
// child into a scratch order of its type that belongs to no unit. Applying,
// a tree form whose child count matches keeps the children whose type
// matches (read in place) and replaces the others; any other count, and
// every saved record, rebuilds the children in the sender's order.
bool CUnitOrder::ReadChildren(CStateArchive& ar, int depth, bool tree) {
    uint32_t count = 0;
    ar.Count(count, tree ? kMinTreeSize : kMinRecordSize);
    if (!ar.Ok()) return false;
    auto readOne = [&](CUnitOrder* o) {
        return tree ? o->UnpackTree(ar, depth + 1) : o->LoadFromFile(ar, depth + 1);
    };
    if (!ar.IsApplying()) {
        for (uint32_t i = 0; i < count; ++i) {
            uint32_t type = ar.ReadU32();
            CUnitOrder* scratch = Create(type, nullptr, nullptr, nullptr);
            if (!scratch) {
                ar.Fail();
                return false;
            }
            bool ok = readOne(scratch);
            delete scratch;
            if (!ok) return false;
        }
        return ar.Ok();
    }
    if (tree && count == static_cast<uint32_t>(m_childCount)) {
        CUnitOrder* child = m_firstChild;
        for (uint32_t i = 0; i < count && child; ++i) {
            uint32_t type = ar.ReadU32();
            CUnitOrder* next = child->m_next;
            if (child->m_type != type) {
                CUnitOrder* fresh = Create(type, this, child->m_prev, nullptr);
                if (!fresh) {
                    ar.Fail();
                    return false;
                }
                delete child;
                child = fresh;
            }
            if (!readOne(child)) return false;
            child = next;
        }
        return ar.Ok();
    }
    DeleteChildren();
    CUnitOrder* last = nullptr;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t type = ar.ReadU32();
        CUnitOrder* fresh = Create(type, this, last, nullptr);
        if (!fresh) {
            ar.Fail();
            return false;
        }
        if (!readOne(fresh)) return false;
        last = fresh;
    }
    return ar.Ok();
}

// ---- the root: the queue

bool COrderList::PickNext(CUnitOrder* order) {
    CUnit* unit = order->m_unit;
    if (!unit) return true;
    if (order == unit->m_orderList) {
        // 1. The running order's chain runs.
        if (CUnitOrder* running = unit->m_runningOrder) {
            PickNext(running);
            if (!running->Execute() && unit->m_runningOrder) delete unit->m_runningOrder;
            return true;
        }
        // 2. Nothing runs: the first order of the queue not sent yet (of
        // the root's mask) is sent, unless the unit awaits a confirmation.
        if (unit->m_serviceFlags & CUnit::kS_AwaitingOrder) return true;
        CUnitOrder* chosen = nullptr;
        for (CUnitOrder* o = order->m_lastChild; o; o = o->m_prev) {
            if (o->m_sent) continue;
            if (order->m_childMask && !(o->m_type & order->m_childMask)) continue;
            chosen = o;
            break;
        }
        if (!chosen) return true;
        // 3. A patrol point becomes a move to it, and a new patrol order at
        // the back keeps the round going.
        if (chosen->m_type == kPatrol) {
            float x = chosen->m_destination[0], z = chosen->m_destination[2];
            CUnitOrder* again = new CPatrolOrder(order, nullptr, unit);
            again->m_destination[0] = x;
            again->m_destination[2] = z;
            CMoveOrder* move = new CMoveOrder(order, order->m_lastChild, unit, x, z, 0);
            move->m_patrolGenerated = 1;
            delete chosen;
            chosen = move;
        }
        // 4. Sent; the confirmed copy that comes back starts it.
        unit->m_serviceFlags |= CUnit::kS_AwaitingOrder;
        SendOrder(chosen);
        chosen->m_sent = 1;
        return true;
    }
    // 5. Below the root: the front child (of the mask) runs first.
    CUnitOrder* child = nullptr;
    if (order->m_childMask) {
        for (CUnitOrder* o = order->m_lastChild; o; o = o->m_prev)
            if (o->m_type & order->m_childMask) {
                child = o;
                break;
            }
    } else {
        child = order->m_lastChild;
    }
    if (!order->m_firstChild) {
        unit->m_currentOrder = order;
        return true;
    }
    if (child) {
        PickNext(child);
        if (!child->Execute()) delete child;
    }
    return true;
}

void COrderList::SendOrder(CUnitOrder* order) {
    CUnit* unit = order->m_unit;
    CWorld* world = unit ? unit->World() : nullptr;
    if (!world) return;
    CStateArchive message;
    message.WriteI32(unit->m_objectId);
    message.WriteU32(order->m_type);
    order->Pack(message);
    world->Sender().Send(NS_NOTIFYTYPE_ORDER, message.GetData(), static_cast<int>(message.GetSize()));
}

bool COrderList::SendReset() {
    CUnit* unit = m_unit;
    CWorld* world = unit ? unit->World() : nullptr;
    if (!unit || !unit->m_runningOrder || !world) return true;
    CStateArchive message;
    message.WriteI32(unit->m_objectId);
    message.WriteU32(unit->m_runningOrder->m_orderId);
    world->Sender().Send(NS_NOTIFYTYPE_STOPCURRENTORDER, message.GetData(), 8);
    return true;
}

void COrderList::RemoveAll() {
    if (m_unit) m_unit->m_stopByte = 0;
    SendReset();
    RemoveQueued();
}

void COrderList::RemoveQueued() {
    RemoveQueuedExcept(0);
}

void COrderList::RemoveQueuedExcept(uint32_t mask) {
    CUnitOrder* running = m_unit ? m_unit->m_runningOrder : nullptr;
    for (CUnitOrder* o = m_firstChild; o;) {
        CUnitOrder* next = o->m_next;
        if (o != running && !(o->m_type & mask)) delete o;
        o = next;
    }
}

void COrderList::RemoveAllExcept(uint32_t mask) {
    CUnitOrder* running = m_unit ? m_unit->m_runningOrder : nullptr;
    if (running && !(running->m_type & mask)) SendReset();
    RemoveQueuedExcept(mask);
}

bool COrderList::HasPatrolOrder() const {
    for (CUnitOrder* o = m_firstChild; o; o = o->m_next)
        if (o->m_type == kPatrol) return true;
    return false;
}

// ---- the classes

CMoveOrder::CMoveOrder(CUnitOrder* parent, CUnitOrder* predecessor, CUnit* unit, float x, float z,
                       uint8_t force)
    : CUnitOrder(parent, predecessor, unit), m_force(force) {
    m_type = kMove;
    m_target[0] = x;
    m_target[2] = z;
    m_destination[0] = x;
    m_destination[2] = z;
}

void CMoveOrder::TransferClass(CStateArchive& ar, EForm form) {
    if (form == kFormMessage) {
        uint32_t force = m_force;
        ar.U32(force);
        if (ar.IsApplying()) m_force = force ? 1 : 0;
    } else {
        ar.U8(m_force);
    }
    ar.U32(m_extra);
}

CGotoPositionOrder::CGotoPositionOrder(CUnitOrder* parent, CUnitOrder* predecessor, CUnit* unit)
    : CUnitOrder(parent, predecessor, unit) {
    m_type = kGotoPosition;
}

void CGotoPositionOrder::TransferClass(CStateArchive& ar, EForm) {
    ar.U8(m_force);
}

CTargetOrder::CTargetOrder(CUnitOrder* parent, CUnitOrder* predecessor, CUnit* unit, uint32_t type)
    : CUnitOrder(parent, predecessor, unit) {
    m_type = type;
}

void CTargetOrder::TransferClass(CStateArchive& ar, EForm form) {
    if (form != kFormMessage) {
        m_targetLink.Transfer(ar);
        return;
    }
    TransferLinkNow(ar, m_targetLink, m_unit);
    // Repair, go-to-object and tow on an object this machine does not know
    // are discarded by the receiver: they come back marked sent.
    if (ar.IsApplying() && !m_targetLink && (m_type == kRepair || m_type == kGoToObject || m_type == kTow))
        m_sent = 1;
}

void CTargetOrder::VisitSubOrders() {
    CUnitOrder::VisitSubOrders();
    if (const CObjectIdTable* table = IdTable(m_unit)) m_targetLink.Resolve(*table);
}

CAttackOrder::CAttackOrder(CUnitOrder* parent, CUnitOrder* predecessor, CUnit* unit, uint8_t ground)
    : CTargetOrder(parent, predecessor, unit, kAttack), m_ground(ground) {}

void CAttackOrder::TransferClass(CStateArchive& ar, EForm form) {
    CTargetOrder::TransferClass(ar, form);
    ar.U8(m_ground);
}

CBuildOrder::CBuildOrder(CUnitOrder* parent, CUnitOrder* predecessor, CUnit* unit, uint8_t construct)
    : CUnitOrder(parent, predecessor, unit), m_construct(construct) {
    m_type = construct ? kConstruct : kProduce;
}

void CBuildOrder::TransferClass(CStateArchive& ar, EForm form) {
    uint16_t projectId = m_template ? m_template->m_projectId : 0;
    uint32_t templateId = m_template ? m_template->m_nodeId : kNone;
    if (form == kFormMessage) {
        uint32_t wide = projectId;
        ar.U32(wide);
        projectId = static_cast<uint16_t>(wide);
    } else {
        ar.U16(projectId);
    }
    ar.U32(templateId);
    if (ar.IsApplying()) {
        CGameScene* scene = m_unit ? m_unit->m_gameScene : nullptr;
        bool same = m_template && m_template->m_nodeId == templateId && m_template->m_projectId == projectId;
        if (!same)
            m_template = scene && projectId
                             ? scene->FindTemplateById(projectId, static_cast<int32_t>(templateId))
                             : nullptr;
    }
    ar.U8(m_construct);
    if (ar.IsApplying()) m_type = m_construct ? kConstruct : kProduce;
    if (form == kFormTree) ar.U32(m_extra);
    if (form == kFormMessage)
        TransferLinkNow(ar, m_site, m_unit);
    else
        m_site.Transfer(ar);
    ar.U32(m_repeat);
    // The retry counters decide when a construction gives up: a saved game
    // keeps them too, so a loaded game gives up at the same tick.
    if (form != kFormMessage) {
        ar.U32(m_retries);
        ar.U32(m_waitRetries);
    }
}

void CBuildOrder::VisitSubOrders() {
    CUnitOrder::VisitSubOrders();
    if (const CObjectIdTable* table = IdTable(m_unit)) m_site.Resolve(*table);
}

CHarvestOrder::CHarvestOrder(CUnitOrder* parent, CUnitOrder* predecessor, CUnit* unit)
    : CUnitOrder(parent, predecessor, unit) {
    m_type = kHarvest;
}

void CHarvestOrder::TransferClass(CStateArchive& ar, EForm form) {
    if (form == kFormMessage) {
        ar.U8(m_returnNow);
        return;
    }
    m_resource.Transfer(ar);
    ar.F32(m_slowTime);
    ar.U8(m_returnNow);
    ar.F32(m_float2);
}

void CHarvestOrder::VisitSubOrders() {
    CUnitOrder::VisitSubOrders();
    if (const CObjectIdTable* table = IdTable(m_unit)) m_resource.Resolve(*table);
}
