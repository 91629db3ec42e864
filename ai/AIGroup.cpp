#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
#include "ai/AIGroup.h"
#include "ai/ComputerPlayer.h"
#include "world/World.h"
#include "world/WorldQuery.h"

namespace {
constexpr uint64_t kRetargetTime = 5000000;  // game time between two retargets
constexpr uint64_t kSpyTime = 15000000;      // game time at one spy point
}  // namespace

CAIGroup::CAIGroup(CComputerPlayer& owner) : m_owner(owner) {
    m_now = owner.Now();
    m_attackDistance = owner.Parameter(CComputerPlayer::kAttackDistanceIncrement).value;
}

bool CAIGroup::LiveUnit(int32_t id) const {
    return id >= 0 && m_owner.Units().Find(id) != nullptr;
}

void CAIGroup::AddUnit(int32_t id) {
    if (m_members.empty()) m_leader = id;
    m_members.push_back(id);
    if (static_cast<int32_t>(m_members.size()) >= m_size) m_full = true;
}

bool CAIGroup::SetAttackTarget(int32_t unit, bool attackFlag) {
    if (!LiveUnit(unit)) return false;
    StopAll();
    m_attackFlag = attackFlag;
    m_state = kAttacking;
    m_full = true;
    m_target = unit;
    m_attackStep = 0;
    return true;
}

bool CAIGroup::Guard(int32_t unit) {
    const SUnitView* guarded = m_owner.Units().Find(unit);
    if (!guarded) return false;
    StopAll();
    m_state = kGuarding;
    m_guarded = unit;
    if (!LiveUnit(m_leader)) return false;
    for (int32_t m : m_members) m_owner.IssueMoveNear(m, guarded->x, guarded->z, 3.0f);
    return true;
}

bool CAIGroup::StartSpy() {
    m_state = kSpying;
    m_spyStep = 0;
    return true;
}

void CAIGroup::StopAll() {
    std::vector<int32_t> live;
    for (int32_t m : m_members)
        if (LiveUnit(m)) live.push_back(m);
    m_owner.StopUnits(live);
}

int32_t CAIGroup::AttackerOfMembers() const {
    for (int32_t m : m_members) {
        const SUnitView* u = m_owner.Units().Find(m);
        if (u && LiveUnit(u->lastAttacker)) return u->lastAttacker;
    }
    return -1;
}

void CAIGroup::Update() {
    m_now = m_owner.Now();
    // Members that left play drop out.
    std::vector<int32_t> live;
    for (int32_t m : m_members)
        if (LiveUnit(m)) live.push_back(m);
    m_members.swap(live);
    // A new leader: the member of the largest radius.
    if (!LiveUnit(m_leader)) {
        m_leader = -1;
        float largest = -1.0f;
        for (int32_t m : m_members) {
            const SUnitView* u = m_owner.Units().Find(m);
            if (u->radius > largest) {
                largest = u->radius;
                m_leader = m;
            }
        }
        if (m_leader < 0) return;
    }
    switch (m_state) {
        case kAttacking:
            AttackStep();
            break;
        case kGuarding:
            GuardStep();
            break;
        case kIdle:
            IdleStep();
            break;
        case kSpying:
            SpyStep();
            break;
        default:
            break;
    }
}

void CAIGroup::AttackStep() {
    if (!LiveUnit(m_target)) {
        StopAll();
        if (LiveUnit(m_guarded)) {
            Guard(m_guarded);
            return;
        }
        int32_t target = PickAttackTarget();
        if (target < 0) {
            m_state = kIdle;
            return;
        }
        SetAttackTarget(target, true);
    }
    // A member's own scan found another enemy: the group turns to it, at
    // most once per retarget time.
    for (int32_t m : m_members) {
        const SUnitView* u = m_owner.Units().Find(m);
        const SUnitView* scanned = u ? m_owner.Units().Find(u->scanned) : nullptr;
        if (scanned && scanned->armed && scanned->id != m_target && m_now - m_retargetTime > kRetargetTime &&
            !m_owner.World().Query().Allied(m_owner.PlayerId(), scanned->ownerId)) {
            SetAttackTarget(scanned->id, true);
            m_retargetTime = m_now;
            break;
        }
    }
    if (m_attackStep == 0) {
        std::vector<int32_t> armed;
        for (int32_t m : m_members) {
            const SUnitView* u = m_owner.Units().Find(m);
            if (u && u->armed && !u->scripted) armed.push_back(m);
        }
        m_owner.IssueAttack(armed, m_target);
        if (const SUnitView* leader = m_owner.Units().Find(m_leader)) {
            m_gatherX = leader->x;
            m_gatherZ = leader->z;
        }
        m_attackStep = 2;
    }
}

void CAIGroup::GuardStep() {
    const SUnitView* guarded = m_owner.Units().Find(m_guarded);
    if (!guarded) {
        m_state = kIdle;
        StopAll();
        return;
    }
    int32_t attacker = LiveUnit(guarded->lastAttacker) ? guarded->lastAttacker : AttackerOfMembers();
    if (attacker >= 0 &&
        !m_owner.World().Query().Allied(m_owner.PlayerId(), m_owner.Units().Find(attacker)->ownerId))
        SetAttackTarget(attacker, true);
}

void CAIGroup::IdleStep() {
    int32_t attacker = AttackerOfMembers();
    if (attacker >= 0 &&
        !m_owner.World().Query().Allied(m_owner.PlayerId(), m_owner.Units().Find(attacker)->ownerId))
        SetAttackTarget(attacker, true);
}

void CAIGroup::SpyStep() {
    if (m_spyStep == 0) {
        int32_t left, top, right, bottom;
        m_owner.World().Query().MapRect(&left, &top, &right, &bottom);
        const int32_t width = right - left, depth = top - bottom;
        // A point at least 3 inside every border (the map's middle on a map
        // too small for that).
        m_spyX = width > 6 ? static_cast<float>(m_owner.Rand() % (width - 6) + 3 + left)
                           : 0.5f * static_cast<float>(left + right);
        m_spyZ = depth > 6 ? static_cast<float>(m_owner.Rand() % (depth - 6) + 3 + bottom)
                           : 0.5f * static_cast<float>(top + bottom);
        for (int32_t m : m_members) m_owner.IssueMoveNear(m, m_spyX, m_spyZ, 0.0f);
        m_spyStart = m_now;
        m_spyStep = 1;
    } else if (m_now - m_spyStart > kSpyTime) {
        m_spyStep = 0;
    }
}

int32_t CAIGroup::PickAttackTarget() {
    if (m_targetPlayer < 0) m_targetPlayer = m_owner.PickTargetPlayer();
    if (m_targetPlayer < 0) return -1;
    int32_t best = -1;
    // Structures first, then mobile units: the one whose place is least
    // dangerous (the first of equal sums).
    for (int pass = 0; pass < 2 && best < 0; ++pass) {
        int32_t lowest = 100000000;
        for (const SUnitView& u : m_owner.Units().all) {
            if (u.ownerId != m_targetPlayer || u.mobile != (pass == 1)) continue;
            const int32_t sum = m_owner.Grid().SumAround(u.x, u.z);
            if (sum < lowest) {
                lowest = sum;
                best = u.id;
            }
        }
    }
    if (best < 0) m_targetPlayer = -1;
    return best;
}
