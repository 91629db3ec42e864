// A group of a computer player's units: a role (attack, defend or spy), a
// size at which it is full, a leader, and a small state machine that its
// owner steps every 11 ticks: attacking a target unit, guarding an own unit,
// idling, or spying at random points of the map. Members and targets are
// held by object id; a member that left play drops out at the next update.
#pragma once

#include <cstdint>
#include <vector>

class CComputerPlayer;
class CStateArchive;

class CAIGroup {
public:
    enum EState : int32_t { kAttacking = 0, kGuarding = 1, kIdle = 2, kSpying = 3 };

    explicit CAIGroup(CComputerPlayer& owner);

    // The first member leads; the group is full when it reaches its size.
    void AddUnit(int32_t id);
    bool IsEmpty() const { return m_members.empty(); }
    void Update();
    // Stops every member and attacks the unit (false for none); the group
    // takes no new members from then on.
    bool SetAttackTarget(int32_t unit, bool attackFlag);
    // Stops every member and gathers them around the unit (false for none,
    // or without a live leader).
    bool Guard(int32_t unit);
    bool StartSpy();
    void StopAll();
    // The enemy unit in the least dangerous place of the owner's danger grid
    // (structures first); -1 for none.
    int32_t PickAttackTarget();

    int32_t m_role = 2;
    int32_t m_state = kIdle;
    int32_t m_size = 0;
    bool m_full = false;
    bool m_attackFlag = false;
    float m_attackDistance = 0.0f;
    std::vector<int32_t> m_members;
    int32_t m_leader = -1;
    int32_t m_target = -1;
    int32_t m_guarded = -1;
    int32_t m_targetPlayer = -1;
    int32_t m_attackStep = 0;
    int32_t m_spyStep = 0;
    float m_spyX = 0.0f, m_spyZ = 0.0f;
    float m_gatherX = 0.0f, m_gatherZ = 0.0f;
    uint64_t m_now = 0, m_retargetTime = 0, m_spyStart = 0;

private:
    void AttackStep();
    void GuardStep();
    void IdleStep();
    void SpyStep();
    // The first member that something hit, the attacker's id (-1: none).
    int32_t AttackerOfMembers() const;
    bool LiveUnit(int32_t id) const;

    CComputerPlayer& m_owner;
};
