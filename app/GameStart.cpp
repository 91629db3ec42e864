// The start of a game: the frame after the start message came back.
#include "app/Game.h"
#include "app/GameClock.h"
#include "app/GameConsole.h"
#include "app/Progress.h"
#include "netgame/NetGame.h"
#include "world/ExplosionManager.h"
#include "world/GameScene.h"

int CGame::StartGame() {
    Progress_Push("Starting game", 2);
    Progress_SetText("Clearing the world", "", 1);
    if (m_gameScene) m_gameScene->Clear();
    // Every game starts on the unit files (loaded once per name).
    if (!LoadUnitFiles()) {
        Progress_Pop();
        return 0;
    }
    if (m_explosionManager) m_explosionManager->Restart();
    m_vars.drawGrid = 0;
    m_vars.drawGridAfter = 0;
    Progress_SetText("Running the game script", "", 1);
    static const char* const kScripts[] = {"Game_Single.cfg", "Game_Skirmish.cfg", "Game_Multi.cfg"};
    if (m_vars.gameType >= 0 && m_vars.gameType <= 2) Game_RunScript(kScripts[m_vars.gameType]);
    Progress_Pop();
    // Waiting for the server's game loop from here on: interface frames.
    m_gameState = 1;
    return 1;
}

void CGame::ServerStartStep() {
    if (!m_netGame || !m_netGame->m_hosting) return;
    // The handshake walks the session's client connections through start,
    // map change and map finish; a session without clients has nobody to wait
    // for, and the map load that follows belongs to the game start.
}
