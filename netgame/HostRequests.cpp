#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
#include <cmath>

#include "netgame/NetGame.h"

bool CNetGame::RequestAlliance(CPlayer* other, bool ally) {
    CPlayer* local = LocalPlayer();
    if (!local || !other || other == m_players.m_neutral) return false;
    // ALLY, BREAKALLY: u32 the asking player's id, u32 the other's.
    m_send.Reset();
    m_send.WriteI32(local->m_id);
    m_send.WriteI32(other->m_id);
    return SendBuilt(ally ? NS_NOTIFYTYPE_ALLY : NS_NOTIFYTYPE_BREAKALLY, &local->m_sendSlot);
}

bool CNetGame::GiveResourcesToAll(float amount) {
    // GIVERESOURCESTOALL: the amount as a float; the server (with cheats on)
    // sends every player's share in one frame.
    if (!std::isfinite(amount)) return false;
    return Send(NS_NOTIFYTYPE_GIVERESOURCESTOALL, &amount, 4);
}

void CNetGame::SetSpeedFactor(float speed) {
    if (!(speed >= 0.0f)) speed = 0.0f;
    m_speedFactor = speed >= 99999.0f ? 99999.0f : speed;
}
