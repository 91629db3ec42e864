// Frame dispatch and the interface frame.
#include <cmath>

#include "app/Game.h"
#include "app/GameClock.h"
#include "app/GameConsole.h"
#include "app/GameServices.h"
#include "ai/AIManager.h"
#include "world/GameScene.h"
#include "netgame/NetGame.h"
#include "platform/sys/Thread.h"
#include "ui/Interface.h"

// Counts interface frames; while the game lags far behind only every tenth
// one draws.
static int32_t s_interfaceFrames = 0;

int CGame::Frame()
{
  Game_SetFloatMode();
  m_hasFocus = Game_WindowHasFocus() ? 1 : 0;
  if (m_guiWord != 0)
    InterfaceFrame();
  else if (m_gameState == 2)
    RenderFrame();
  else if (m_gameState == 0)
    StartGame();
  else
    InterfaceFrame();
  Game_ClearViewModeChanged(this);
  return 1;
}

// The client's side of the lockstep loop when a tick is due: ask the server
// for its frame when ours is missing or overdue. Until the network engine
// delivers frames there is nothing to consume here.
static void TickStep(CGame* game)
{
  CNetGame* net = game->m_netGame;
  if (net->m_hosting)
  {
    game->m_clock->AdvanceGameTime(nullptr, true, true);
    net->ResyncClients();
    return;
  }
  if (!net->m_clientConnected)
    return;
  net->m_frameCountdown = game->m_frameTimeout;
}

int CGame::InterfaceFrame()
{
  CGameClock* clock = m_clock;
  CNetGame* net = m_netGame;
  CInterface* ui = m_interface;

  clock->EndFrameSection();
  Game_ApplyPendingModeChange(this);
  clock->BeginGameSection();

  if (m_mainSleep)
    Sys_Sleep(40);
  Game_UpdateCommandContext(this);

  clock->AdvanceGameTime(nullptr, false, true);
  net->Update(0);

  clock->m_lock.Enter();
  net->m_frameCountdown -= clock->m_frameTime;
  float backlog = clock->Backlog();
  bool due = backlog > net->m_tickLead;
  if (!due)
    net->m_frameCountdown = m_frameTimeout;
  clock->m_lock.Leave();
  if (due)
    TickStep(this);

  net->RemoveMarkedPlayers();

  clock->EndGameSection();
  clock->BeginVisualSection();

  Game_UpdateSoundStream(this);
  Game_ProcessInput(this);
  Game_UpdateCommandContext(this);

  ui->m_blinkTimer += clock->m_frameTime;
  if (ui->m_blinkTimer > 0.5f)
  {
    ui->m_blinkTimer = 0.0f;
    ui->m_blink = !ui->m_blink;
  }

  clock->UpdateFrameTime(0);
  Game_UpdateEngineTimer(this, clock->NextTickTime());

  bool draw = !(clock->Backlog() - net->m_tickLead >= 1.0f && s_interfaceFrames % 10 != 0);
  if (draw)
  {
    Game_ClearScreen(this);
    if (!Game_DrawFullScreenVideo(this))
    {
      if (!Game_ConsoleVisible(this))
      {
        ui->Update(0, 0);
        ui->m_drawnThisFrame = 0;
        ui->DrawUnitMouseInfo();
      }
      else
      {
        Game_DrawConsole(this);
      }
      Game_ResetInterfaceClip(this);
      if (m_consoleScriptMarker != 1)
      {
        m_consoleScriptMarker = 1;
        Game_RunScript("ToConsole.cfg");
      }
      Game_DrawOverlays(this);
    }
    Redraw();
  }

  ++s_interfaceFrames;
  clock->EndVisualSection();
  clock->BeginFrameSection();
  return 1;
}

// The running game's frame: input, one logic tick when due, drawing.
int CGame::RenderFrame()
{
  CGameClock* clock = m_clock;
  clock->EndFrameSection();
  clock->BeginGameSection();
  Game_ProcessInput(this);
  Game_UpdateCommandContext(this);
  m_netGame->Update(0);
  clock->AdvanceGameTime(nullptr, false, true);
  if (clock->Backlog() > 0.0f)
  {
    clock->AdvanceGameTime(nullptr, true, true);
    if (m_aiManager)
      m_aiManager->Tick();
    if (m_gameScene)
      m_gameScene->Tick();
    m_netGame->ResyncClients();
  }
  clock->EndGameSection();
  clock->BeginVisualSection();
  clock->UpdateFrameTime(0);
  m_consoleScriptMarker = 0;
  Game_ClearScreen(this);
  if (m_interface)
    m_interface->Update(1, 0);
  if (Game_ConsoleVisible(this))
    Game_DrawConsole(this);
  Redraw();
  clock->EndVisualSection();
  clock->BeginFrameSection();
  return 1;
}
