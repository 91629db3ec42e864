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
    // GIVERESOURCESTOALL: u32 the amount (whole units, as the message table
    // lays it out); the server (with cheats on) sends every player's share in
    // one frame.
    if (!std::isfinite(amount) || amount < 0.0f || amount > 4.0e9f) return false;
    uint8_t data[4];
    NWE_Put32(data, static_cast<uint32_t>(std::lround(amount)));
    return Send(NS_NOTIFYTYPE_GIVERESOURCESTOALL, data, 4);
}

void CNetGame::SetSpeedFactor(float speed) {
    if (!(speed >= 0.0f)) speed = 0.0f;
    m_speedFactor = speed >= 99999.0f ? 99999.0f : speed;
}
