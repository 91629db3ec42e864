// Frame dispatch and the interface frame.
#include <cmath>

#include "ai/AIManager.h"
#include "app/Game.h"
#include "app/GameClock.h"
#include "app/GameConsole.h"
#include "app/GameScreen.h"
#include "app/GameServices.h"
#include "app/GameView.h"
#include "console/CommandInterpreter.h"
#include "e3d/Camera.h"
#include "e3d/Surface.h"
#include "netgame/NetGame.h"
#include "nwe/Engine.h"
#include "nwe/FrameTable.h"
#include "nwe/Peer.h"
#include "platform/sys/Terminal.h"
#include "platform/sys/Thread.h"
#include "ui/Interface.h"
#include "world/ExplosionManager.h"
#include "world/GameScene.h"
#include "world/World.h"

// Counts interface frames; while the game lags far behind only every tenth
// one draws.
static int32_t s_interfaceFrames = 0;

int32_t Game_InterfaceFrames() {
    return s_interfaceFrames;
}

// The lines typed into the game's standard input run as console commands
// (a dedicated server's operator types there).
static CSysLineReader* s_terminal = nullptr;

void Game_StartTerminal() {
    if (!s_terminal) s_terminal = new CSysLineReader;
    s_terminal->Start();
}

void Game_StopTerminal() {
    delete s_terminal;
    s_terminal = nullptr;
}

static void RunTerminalLines(CGame* game) {
    std::string line;
    size_t typed = 0;
    CCommandInterpreter* ip = Game_Interpreter(game);
    while (s_terminal && ip && s_terminal->Take(&line, &typed)) {
        // A line cut short would run as something else than was typed.
        if (typed > line.size())
            ip->Printf("A line of %zu characters is longer than the %zu a command line holds; it is not run",
                       typed, CSysLineReader::kMaxLine);
        else if (!line.empty())
            ip->Execute(false, line.c_str());
    }
}

int CGame::Frame() {
    Game_SetFloatMode();
    RunTerminalLines(this);
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

// One lockstep tick of the interface frame: game time moves on and the
// current frame's messages go to their handlers; the host also steps its
// start handshake; then the frame closes.
static void InterfaceTickStep(CGame* game) {
    CNetGame* net = game->NetGame();
    if (!net->InterfaceTickGate()) return;
    game->Clock()->AdvanceGameTime(nullptr, true, true);
    // The frame's world orders are taken (the start units of a loading
    // game, say); nothing of the world steps.
    CTurnOrders orders;
    net->ExecuteFrame(orders);
    if (CWorld* world = game->World()) {
        STurn turn;
        turn.frame = net->CurrentFrame();
        turn.step = STurn::kOrdersOnly;
        world->Tick(turn, orders);
    }
    if (net->IsHosting() && game->GameLoading()) game->ServerStartStep();
    net->ResyncClients();
}

int CGame::InterfaceFrame() {
    CGameClock* clock = m_clock;
    CNetGame* net = m_netGame;
    CInterface* ui = m_interface;

    clock->EndFrameSection();
    Game_ApplyPendingModeChange(this);
    clock->BeginGameSection();

    if (m_vars.mainSleep) Sys_Sleep(40);
    Game_UpdateCommandContext(this);

    net->FinishMarkReply();
    clock->AdvanceGameTime(nullptr, false, true);
    net->m_queue1.Flush();
    net->m_queue3.Flush();
    net->m_queue2.Flush();
    net->Update(0);

    net->CountDownFrame(clock->m_frameTime);
    bool due = clock->LockedBacklog() > net->TickLead();
    if (!due) net->RestartFrameCountdown(m_frameTimeout);
    if (due) InterfaceTickStep(this);

    net->RemoveMarkedPlayers();

    clock->EndGameSection();
    clock->BeginVisualSection();

    Game_UpdateSoundStream(this);
    Game_ProcessInput(this);
    Game_UpdateCommandContext(this);

    ui->m_blinkTimer += clock->m_frameTime;
    if (ui->m_blinkTimer > 0.5f) {
        ui->m_blinkTimer = 0.0f;
        ui->m_blink = !ui->m_blink;
    }

    clock->UpdateFrameTime(0);
    Game_UpdateEngineTimer(this, clock->NextTickTime());

    bool draw = !(clock->Backlog() - net->TickLead() >= 1.0f && s_interfaceFrames % 10 != 0);
    if (draw) {
        Game_ClearScreen(this);
        if (!Game_DrawFullScreenVideo(this)) {
            if (!Game_ConsoleVisible(this)) {
                ui->Update(0, 0);
                ui->m_drawnThisFrame = 0;
                ui->DrawUnitMouseInfo();
            } else {
                Game_DrawConsole(this);
            }
            Game_ResetInterfaceClip(this);
            if (m_consoleScriptMarker != 1) {
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

// The running game's frame: input, the network game's service, one logic
// tick when due, then the scene, the overlays and the HUD under the drawing
// mutex, the flip, and a screenshot when one was asked for.
int CGame::RenderFrame() {
    CGameClock* clock = m_clock;
    CNetGame* net = m_netGame;
    Game_UpdateCommandContext(this);
    Game_ProcessInput(this);
    net->Update(0);
    net->FinishMarkReply();
    net->m_queue3.Flush();
    net->CountDownFrame(clock->m_frameTime);
    // A full-screen video replaces the whole frame while it plays: no tick,
    // only the video and the flip.
    if (m_fullScreenVideo) {
        Game_ClearScreen(this);
        Game_DrawFullScreenVideo(this);
        if (m_fullScreenVideo) {
            Redraw();
            return 1;
        }
    }
    clock->EndFrameSection();
    LogicTick();
    clock->BeginVisualSection();
    clock->UpdateFrameTime(0);
    // The part of the tick period that has passed since the last tick, at
    // most all of it: the scene is drawn between the last two ticks, at the
    // game time between them. A paused game stands, a slower one draws
    // slower; a game time that went back (a resync) keeps the last one.
    const double period = double(clock->m_tickPeriod ? clock->m_tickPeriod : 1);
    double passed = double(int64_t(clock->m_realTime - clock->m_gameTime)) / period;
    passed = passed < 0.0 ? 0.0 : passed > 1.0 ? 1.0 : passed;
    const int64_t drawn =
        int64_t(clock->m_gameTime) - int64_t(clock->m_tickPeriod) + int64_t(passed * period);
    if (drawn < m_drawnGameTime) {
        m_drawnGameStep = 0.0f;
    } else {
        m_drawnGameStep = float(double(drawn - m_drawnGameTime) / kGameTimeRate);
        m_drawnGameTime = drawn;
    }
    m_consoleScriptMarker = 0;
    Game_ApplyPendingModeChange(this);
    Game_ClearScreen(this);
    CInterface* ui = m_interface;
    bool fullConsole = ui && ui->m_console.IsVisible() && (!ui->m_console.m_mini || ui->m_fullConsole);
    bool menu = ui && ui->m_activeGUI != 1000;
    bool hidden = fullConsole || m_vars.disable3DEngine || menu;
    Game_SoundFullVolume(this);

    if (m_world && ui) {
        // The camera over its focus (following what it follows), the
        // view-only timers of the world, the cursor light, the view's
        // effects and the fog overlay around the focus.
        const float dt = clock->m_frameTime;
        CGameCamera& camera = ui->m_camera;
        camera.Step(dt, m_world);
        if (m_gameView) {
            float eye[3], target[3];
            camera.Placement(eye, target);
            m_gameView->PlaceCamera(eye, target, camera.m_zoom);
        }
        m_world->Scene().StepView(dt);
        m_world->Explosions().UpdateCursorLight(dt);
        // Debris, sparks and wrecks age on the drawn game time: they stand
        // with a paused game and follow its speed.
        m_world->Explosions().Update(m_drawnGameStep, camera.GroundX(), camera.GroundZ());
    }
    m_drawMutex.Wait();
    if (m_gameView && !hidden) {
        m_gameView->UpdateCamera();
        // What the camera shows: the objects in view that the fog of war
        // leaves to the local player; what left the view drops out of the
        // render (its frames but the effects', a frame after).
        ShowVisibleObjects();
        if (m_gameScreen && m_gameScreen->m_mainCamera) m_gameScreen->m_mainCamera->DeactivateNonEffects();
        m_gameView->RenderScene(float(passed), &m_drawnGameTime);
    }
    if (ui) {
        CE3DSurface* canvas = ui->Surface();
        // What a click would mean at the mouse (its cursor), then the
        // overlays of the game view and the units' status pictures.
        ui->m_hud.UpdateMouseInfo(canvas);
        if (!hidden && m_world) {
            ui->m_hud.DrawOverlays(canvas);
            ui->m_hud.DrawUnitStatusIcons(canvas);
        }
        // The timed screen messages show over the game, not over a finished
        // game's end screen nor under the full console.
        bool finished = m_world && m_world->Scene().Finished();
        if (!menu && !finished && !fullConsole) ui->m_console.DrawScreenMessages(canvas, ui->m_screenFont);
        ui->Update(1, 0);
    }
    CE3DSurface* surface = Game_BackSurface(this);
    if (ui && surface && surface->Lock()) {
        surface->ResetClip();
        surface->SetFont(ui->m_font);
        if (!m_vars.mapEditMode) DrawHudTexts(surface);
        if (m_vars.emitterEditMode) DrawEmitterEditor(surface);
        if (m_vars.perfRender) DrawFrameRateGraph(surface);
        if (m_vars.mapEditMode) DrawMapEditor(surface);
        while (surface->Unlock() > 0) {
        }
        if (!m_vars.mapEditMode) {
            Game_UpdateSound(this);
            Game_UpdateSoundStream(this);
        }
    }
    if (Game_ConsoleVisible(this)) Game_DrawConsole(this);
    if (ui) {
        ui->m_drawnThisFrame = 1;
        ui->DrawUnitMouseInfo();
    }
    // The screenshot is taken of the finished frame before it is shown.
    if (m_captureMode)
        CaptureFrame();
    else if (m_captureVideo)
        FinishCaptureVideo();
    Redraw();
    m_drawMutex.Release();
    ++m_renderFrames;
    clock->EndVisualSection();
    clock->BeginFrameSection();
    return 1;
}
