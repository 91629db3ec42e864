// Frame dispatch and the interface frame.
#include <cmath>

#include "ai/AIManager.h"
#include "app/Game.h"
#include "app/GameClock.h"
#include "app/GameConsole.h"
#include "app/GameScreen.h"
#include "app/GameServices.h"
#include "app/GameView.h"
#include "app/InputManager.h"
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
#include "world/WorldGrid.h"

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

SE3DScene* CGame::FrameScene() {
    if (m_gameScreen && m_gameScreen->m_mainCamera) return m_gameScreen->m_mainCamera->Scene();
    CGameScene* scene = Scene();
    return scene && scene->m_rootFrame ? scene->m_rootFrame->Scene() : nullptr;
}

int CGame::RunDueTicks() {
    // However fast the game runs, the ticks keep their length: a frame runs
    // as many as have fallen due since the last one. A machine too slow for
    // its game still draws now and then (and a host drops a backlog it
    // cannot catch up).
    CGameClock* clock = m_clock;
    const uint64_t began = clock->Now();
    const double budget = 0.25 * double(clock->m_frequency);
    int ran = 0;
    for (;;) {
        const uint64_t before = m_ticks;
        LogicTick();
        if (m_ticks == before) break;
        ++ran;
        if (m_captureMode == 2 || m_gameState != 2 || m_guiWord != 0) break;
        if (double(int64_t(clock->Now() - began)) > budget) break;
    }
    return ran;
}

void CGame::StoreAndPublishTick() {
    int32_t slot = 0, previousSlot = 0;
    if (SE3DScene* frames = FrameScene()) {
        // Ticks that ran since the render last took them: it blends the
        // newest two from its next frame on, so the slots it blends now are
        // free to write and the last two ticks always stay whole.
        if (m_publishedTick.latest.slot != -1) frames->fromSlot = frames->toSlot = frames->storeSlot;
        frames->StoreTick();
        slot = frames->storeSlot;
        previousSlot = frames->previousStoreSlot;
    }
    const SGameTickStamp stamp{slot, int64_t(m_clock->m_gameTime), int64_t(m_clock->Now())};
    // The first tick has none before it: it stands for both.
    SGameTickStamp previous = m_lastTick.slot == -1 ? stamp : m_lastTick;
    previous.slot = previousSlot;
    m_publishedTick.previous = previous;
    m_publishedTick.latest = stamp;
    m_lastTick = stamp;
}

void CGame::InterpolateBetweenTicks() {
    CGameClock* clock = m_clock;
    // The last two ticks, when one ran since the last frame.
    if (m_publishedTick.latest.slot != -1) {
        m_tickPair = m_publishedTick;
        m_publishedTick.previous.slot = m_publishedTick.latest.slot = -1;
    }
    SE3DScene* frames = FrameScene();
    // The real time since the newer tick as a share of one tick period at
    // the game's speed. A game that stands (paused, speed 0, a fixed-rate
    // capture that ticks on every frame) draws the tick it stands on.
    const SGameTickStamp& latest = m_tickPair.latest;
    double factor = 1.0;
    const bool stands = clock->m_frozen || !(clock->m_speedFactor > 0.0f) || m_captureMode == 2;
    if (!stands && m_tickPair.latest.slot != -1 && clock->m_frequency > 0.0f) {
        const double since = double(int64_t(clock->Now() - uint64_t(latest.realTime)));
        factor =
            since * double(clock->m_tickRate) * double(clock->m_speedFactor) / double(clock->m_frequency);
        if (!(factor >= 0.0)) factor = factor < 0.0 ? 0.0 : 1.0;
        if (factor > 1.0) factor = 1.0;
    }
    m_tickFactor = float(factor);
    if (frames) frames->SetRenderFraction(m_tickFactor);
    // The game time drawn: from the older tick on by the share of a period,
    // never past the newer one. Before any tick it is the clock's own.
    int64_t drawn = int64_t(clock->m_gameTime);
    if (m_tickPair.latest.slot != -1) {
        drawn = m_tickPair.previous.gameTime + int64_t(factor * double(clock->m_tickPeriod));
        if (drawn > latest.gameTime) drawn = latest.gameTime;
    }
    // A game time that went back (a resync) keeps the last one drawn; the
    // first frame of a game (-1 drawn) takes its time without a step.
    if (m_drawnGameTime < 0) {
        m_drawnGameStep = 0.0f;
        m_drawnGameTime = drawn;
    } else if (drawn < m_drawnGameTime) {
        m_drawnGameStep = 0.0f;
    } else {
        m_drawnGameStep = float(double(drawn - m_drawnGameTime) / kGameTimeRate);
        m_drawnGameTime = drawn;
    }
}

// The running game's frame: input, the network game's service, every logic
// tick that is due, then the scene drawn between the last two ticks, the overlays and the HUD under the
// drawing mutex, the flip, and a screenshot when one was asked for.
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
    RunDueTicks();
    clock->BeginVisualSection();
    clock->UpdateFrameTime(0);
    InterpolateBetweenTicks();
    m_consoleScriptMarker = 0;
    Game_ApplyPendingModeChange(this);
    Game_ClearScreen(this);
    CInterface* ui = m_interface;
    bool fullConsole = ui && ui->m_console.IsVisible() && (!ui->m_console.m_mini || ui->m_fullConsole);
    bool menu = ui && ui->m_activeGUI != 1000;
    bool hidden = fullConsole || m_vars.disable3DEngine || menu;
    Game_SoundFullVolume(this);
    // How far the screen reaches past the 640 x 480 the layouts are made for.
    if (m_gameView) {
        CE3DSurface* back = Game_BackSurface(this);
        m_gameView->m_viewOffsetX = back ? back->m_width - 640 : 0;
        m_gameView->m_viewOffsetY = back ? back->m_height - 480 : 0;
    }

    if (m_world && ui) {
        // The camera over its focus (following what it follows) and the
        // view-only timers of the world.
        const float dt = clock->m_frameTime;
        CGameCamera& camera = ui->m_camera;
        camera.Step(dt, m_world);
        if (m_gameView) {
            float eye[3], target[3];
            camera.Placement(eye, target);
            m_gameView->PlaceCamera(eye, target, camera.m_zoom);
        }
        m_world->Scene().StepView(dt);
    }
    m_drawMutex.Wait();
    if (!hidden && m_world && ui) {
        // The explosions' frame: the cursor light and the newest explosion's
        // flash, on the drawn game time (they stand with a paused game).
        CExplosionManager& explosions = m_world->Explosions();
        explosions.Draw(m_drawnGameStep);
        if (m_gameScreen)
            m_gameScreen->SetExplosionLight(explosions.m_explosionLight.position,
                                            explosions.m_explosionLight.colour);
    }
    if (m_gameView && !hidden) {
        m_gameView->UpdateCamera();
        if (m_inputManager) m_inputManager->UpdateCursorRay();
        // Debris, sparks and wrecks age on the drawn game time too; the fog
        // overlay follows the camera's focus.
        if (m_world && ui)
            m_world->Explosions().Update(m_drawnGameStep, ui->m_camera.GroundX(), ui->m_camera.GroundZ());
        // What the camera shows: the objects in view that the fog of war
        // leaves to the local player; what left the view drops out of the
        // render (its frames but the effects', a frame after).
        ShowVisibleObjects();
        if (m_gameScreen && m_gameScreen->m_mainCamera) m_gameScreen->m_mainCamera->DeactivateNonEffects();
        m_gameView->RenderScene(m_tickFactor, &m_drawnGameTime);
        // The path grid over the scene (cg_DrawGrid), in map editing too.
        if (m_vars.drawGrid == 1 && m_world && ui && ui->Surface()) m_world->Grid().DrawDebug(*ui->Surface());
    }
    if (ui) {
        CE3DSurface* canvas = ui->Surface();
        // What a click would mean at the mouse (its cursor); the selection
        // box's start on the ground it began on; then the overlays of the
        // game view (none while the scene holds them back) and the units'
        // status pictures.
        ui->m_hud.UpdateMouseInfo(canvas);
        ui->ProjectSelection();
        CGameScene* scene = Scene();
        if (!hidden && scene && !scene->m_overlaySuppress) ui->m_hud.DrawSelectedOrders(canvas);
        if (m_world) ui->m_hud.DrawUnitStatusIcons(canvas);
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
