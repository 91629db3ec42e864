#include "netgame/NetGame.h"

#include <cmath>
#include <cstring>

#include "e3d/Surface.h"
#include "netgame/NetGameHost.h"

CNetGame::CNetGame(CNetGameHost* game) : m_game(game) {
    if (game) m_frameCountdown = game->FrameTimeout();
}

CNetGame::~CNetGame() {}

CPlayer* CNetGame::AddPlayer(const char* name) {
    CPlayer* player = new CPlayer(&m_players);
    player->m_name.Assign(name ? name : "");
    return player;
}

void CNetGame::Update(int) {
    // The tick lead stays within its bounds whatever the link measured.
    if (m_tickLead < 0.1111f) m_tickLead = 0.1111f;
    if (m_tickLead > 1.0f) m_tickLead = 1.0f;
}

bool CNetGame::Send(int type, const void* data, int length, int, int) {
    if (length < 0 || (length > 0 && !data) || type < 0) return false;
    // Messages go out on the session's links; until a session is opened there
    // is no link, and nothing is sent.
    return false;
}

void CNetGame::SendGameDir(const char* name) {
    if (!name || !m_clientConnected || !m_hosting || m_noGameDirSend) return;
    size_t n = std::strlen(name) + 1;
    if (n <= sizeof m_sendBuffer) {
        std::memcpy(m_sendBuffer, name, n);
        Send(NS_NOTIFYTYPE_GAMEDIR, m_sendBuffer, (int)n, 0, 0);
    }
}

void CNetGame::SendPause(int32_t value) {
    std::memcpy(m_sendBuffer, &value, sizeof value);
    Send(NS_NOTIFYTYPE_PAUSE, m_sendBuffer, 4, 0, 0);
}

void CNetGame::SetBenchmarkSpeed(float speed) {
    speed = std::floor(speed + 0.5f);
    m_serverInfo.m_speed = (uint16_t)(speed < 0.0f ? 0.0f : speed > 65535.0f ? 65535.0f : speed);
}

void CNetGame::SendChat(const char*, const char*, int, int, int) {
    // Chat travels on the session's link; without a session there is no one
    // to talk to.
}

void CNetGame::ResyncClients() {
    if (!m_hosting) return;
}

void CNetGame::ResetGame() {
    if (!m_noConfigSave && m_game) m_game->SaveConfigFiles();
    if (m_game) m_game->SetGameSpeed(1.0f);
    m_gameReset = 1;
    ResetPlayerCounters();
}

void CNetGame::ResetPlayerCounters() {
    for (CPlayer* p : m_players.m_players) p->m_outOfGame = 0;
}

void CNetGame::RemoveMarkedPlayers() {
    std::vector<CPlayer*>& players = m_players.m_players;
    for (size_t i = 0; i < players.size();) {
        if (players[i]->m_markedForRemoval)
            delete players[i];  // leaves the list
        else
            ++i;
    }
}

void CNetGame::PrintStats(CE3DSurface* surface) {
    CStrBuf text;
    float fps = m_game ? m_game->FrameRate() : 0.0f;
    float lag = m_game ? m_game->Lag() : 0.0f;
    text.Format("FPS %4.0f  Lag %.3f", (double)fps, (double)lag);
    if (surface) surface->DrawGlyphs(text.GetText(), 10, 0, 255, 255, 0, true, false, 0, false);
}

void MasterClient_SendGame() {
    // No master-server link yet: nothing to tell.
}
