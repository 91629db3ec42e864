#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
#include <cctype>
#include <string>

#include "netgame/MasterClient.h"
#include "netgame/NetGame.h"
#include "world/WireText.h"

bool CNetGame::HasOtherPlayers() {
    if (!m_hosting) return m_clientConnected != 0;
    std::vector<CGameSocket*> clients = TakeClients();
    bool others = false;
    for (CGameSocket* c : clients) others = others || !IsLocalServerEnd(c);
    ReleaseAll(clients);
    return others;
}

void CNetGame::RouteChat(const char* target, const char* name, const char* text, int r, int g, int b) {
    std::string t = target ? target : "";
    if (t.empty() || t[0] == '*') return SendChat(name, text, r, g, b);
    CStrBuf word(t[0] == '/' ? t.c_str() + 1 : t.c_str());
    CPlayer* local = LocalPlayer();
    // The body every routed line carries: sender, text, colour.
    auto body = [&] {
        WireText_Write(m_send, name, CPlayer::kMaxNameLength);
        WireText_Write(m_send, text, kNetMaxChat);
        m_send.WriteU8(static_cast<uint8_t>(r));
        m_send.WriteU8(static_cast<uint8_t>(g));
        m_send.WriteU8(static_cast<uint8_t>(b));
    };
    // "/allies" and "/team" (without the slash too, unless a player has that name).
    bool slash = t[0] == '/';
    for (int team = 0; team < 2; ++team) {
        const char* group = team ? "team" : "allies";
        if (!word.EqualsNoCase(group) || (!slash && FindPlayerByName(t.c_str()))) continue;
        if (!local) return;
        m_send.Reset();
        m_send.WriteI32(local->m_id);
        body();
        SendBuilt(team ? NS_NOTIFYTYPE_MESSAGE_TEAM : NS_NOTIFYTYPE_MESSAGE_ALLIES, &local->m_sendSlot);
        return;
    }
    // A player by id (all digits: "3vil" is a name) or by name.
    bool digits = true;
    for (char c : t) digits = digits && std::isdigit(static_cast<unsigned char>(c));
    CPlayer* to = digits && t.size() < 10 ? FindPlayerById(std::stoi(t)) : FindPlayerByName(t.c_str());
    if (to && to != m_players.m_neutral) {
        m_send.Reset();
        m_send.WriteI32(to->m_id);
        body();
        SendBuilt(NS_NOTIFYTYPE_MESSAGE_PERSONAL, local ? &local->m_sendSlot : nullptr);
        return;
    }
    // A user of the master's channel: the line goes to that user alone.
    const SChatUser* user = m_master && m_master->IsChatUp() ? m_master->FindUser(t.c_str()) : nullptr;
    if (user && m_master->Say(text, static_cast<uint32_t>(user->id))) return;
    Printf("Player %s not found", t.c_str());
}
