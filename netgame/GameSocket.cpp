#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
#include <cmath>

#include "netgame/GameSocket.h"
#include "netgame/NetGame.h"
#include "nwe/Socket.h"
#include "world/Player.h"
#include "world/TessarakObject.h"

CGameSocket::CGameSocket(CNetGame* net, NWESocket* socket, NWEMessageTypes* registry)
    : NWEPeer(socket, registry, "Tessarak Socket"), m_net(net) {
    m_lastPing = net->GetClock().Now();
}

CGameSocket::~CGameSocket() {
    // Nobody reaches the connection any more from here on.
    m_guard.Close();
    DetachEntries();
    CNetGame* net = m_net;
    std::vector<CPlayer*> gone;
    for (CPlayer* p : net->m_players.m_players)
        if (p->m_connection == this) gone.push_back(p);
    bool timedOut = IsTimedOut() && !m_leftCleanly;
    for (CPlayer* p : gone) {
        p->SetConnectionRecord(nullptr);
        if (!net->m_hosting || net->m_closing || p == net->m_players.m_local || p == net->m_players.m_neutral)
            continue;
        // Every client, the host's own included, deletes the player in one frame.
        if (timedOut) {
            CStrBuf line;
            line.Format("%s timed out", p->m_name.GetText());
            net->BroadcastMessage(nullptr, line.GetText(), 233, 137, 0);
        }
        uint8_t payload[4];
        NWE_Put32(payload, static_cast<uint32_t>(p->m_id));
        net->Send(NS_NOTIFYTYPE_DELETEPLAYER, payload, 4);
    }
}

bool CGameSocket::SendOn(uint16_t id, const void* data, uint32_t size, uint16_t frame) {
    return SendMessage(id, data, size, &m_group, 65535, 65535, 65535, frame);
}

bool CGameSocket::IsSenderOf(const CTessarakObject* object) const {
    if (!object || !object->m_owner) return false;
    // The map's units that nobody plays (the neutral player's) take the
    // orders of its scripts from the host, which runs them as every machine
    // does.
    if (object->m_owner->IsNeutral()) return m_net->IsLocalServerEnd(this);
    return object->m_owner->m_connection == this;
}

bool CGameSocket::OwnsPlayer(const CPlayer* player) const {
    if (!player) return false;
    return player->m_connection == this || m_net->IsLocalServerEnd(this);
}

CPlayer* CGameSocket::FirstPlayer() const {
    for (CPlayer* p : m_net->m_players.m_players)
        if (p->m_connection == this) return p;
    return nullptr;
}

int CGameSocket::CountPlayers() const {
    int n = 0;
    for (const CPlayer* p : m_net->m_players.m_players)
        if (p->m_connection == this) ++n;
    return n;
}

void CGameSocket::Update(bool fromTickThread) {
    NWEPeer::Update(fromTickThread);
    if (fromTickThread || !m_statusChanged) return;
    m_statusChanged = 0;
    // PLAYERS: u32 the number of records that follow; per player other than
    // the neutral one and the server's own (its local player): u32 id, u16
    // latency x 6553.5, u16 load x 32 (each rounded and held to 16 bits).
    CStateArchive& ar = m_net->m_send;
    ar.Reset();
    uint32_t count = 0;
    for (CPlayer* p : m_net->m_players.m_players)
        if (p != m_net->m_players.m_neutral && p != m_net->m_players.m_local) ++count;
    ar.WriteU32(count);
    auto u16 = [](float v) -> uint16_t {
        if (!(v > 0.0f)) return 0;
        return v >= 65535.0f ? 65535 : static_cast<uint16_t>(std::lround(v));
    };
    for (CPlayer* p : m_net->m_players.m_players) {
        if (p == m_net->m_players.m_neutral || p == m_net->m_players.m_local) continue;
        ar.WriteI32(p->m_id);
        uint16_t latency = u16(p->m_latency * 6553.5f);
        float load = 0.0f;
        if (NWEPeer* c = p->m_connection) {
            float rate = c->GetSendRate();
            load = rate > 0.0f ? static_cast<float>(c->GetPendingBytes()) / rate : 0.0f;
        }
        uint16_t loadWord = u16(load * 32.0f);
        ar.U16(latency);
        ar.U16(loadWord);
    }
    SendMessage(NS_NOTIFYTYPE_PLAYERS, ar.GetData(), static_cast<uint32_t>(ar.GetBuffer().size()));
}
