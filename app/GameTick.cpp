// The logic tick and the render frame of a running game.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ai/AIManager.h"
#include "app/Game.h"
#include "app/GameClock.h"
#include "app/GameConsole.h"
#include "app/GameRoles.h"
#include "app/GameScreen.h"
#include "app/GameServices.h"
#include "app/GameView.h"
#include "app/SoundEngine.h"
#include "core/ImageBMP.h"
#include "core/Math.h"
#include "core/PackedDIB.h"
#include "core/SysUtil.h"
#include "core/VFSFile.h"
#include "e3d/Camera.h"
#include "e3d/Font.h"
#include "e3d/Surface.h"
#include "netgame/NetGame.h"
#include "nwe/FrameTable.h"
#include "nwe/Peer.h"
#include "platform/sound/Sound.h"
#include "platform/sys/Path.h"
#include "platform/video/VideoWriter.h"
#include "ui/Interface.h"
#include "world/CellMap.h"
#include "world/GameScene.h"
#include "world/Player.h"
#include "world/TessarakObject.h"
#include "world/Unit.h"
#include "world/World.h"
#include "world/WorldGrid.h"

namespace {
// The players still in the game against the local one.
int OpponentsPlaying(CNetGame* net) {
    CPlayerList& players = net->m_players;
    int count = 0;
    for (CPlayer* p : players.m_players)
        if (!p->m_outOfGame && p != players.m_neutral && p != players.m_local &&
            !(p->m_race && p->m_race->m_watching))
            ++count;
    return count;
}
}  // namespace

// The end of a mission, checked after every tick: three seconds of game time
// after the win or the loss the finish script runs (a lost skirmish with two
// or more opponents left lets the player watch instead).
void CGame::MissionEnd(int opponents) {
    CGameScene* scene = Scene();
    CPlayer* local = scene->LocalPlayer();
    bool watching = local && local->m_race && local->m_race->m_watching;
    if (scene->Finished() || watching || !(scene->WinGame || scene->LooseGame)) return;
    // The grace period counts game time, the same on every machine.
    if (scene->CountEndTime(m_clock->m_tickStep) <= 3.0f) return;
    if (scene->LooseGame && !scene->WinGame && opponents >= 2 &&
        (m_vars.gameType == 1 || m_vars.gameType == 2) && !scene->Watching()) {
        // The player who lost while others play on is asked whether to
        // watch them; a "no" finishes the game. Without an interface to
        // ask with (a game run from a script) the player watches.
        CInterface* ui = m_interface;
        if (!m_watchOffered) {
            m_watchOffered = 1;
            const char* question = GetSystemText(m_vars.gameType == 2 && m_netGame->m_hosting ? 28 : 303);
            if (!ui) {
                Game_Print(question);
                WatchTheOthers();
                return;
            }
            CStrBuf yes(GetSystemText(3)), no(GetSystemText(4));
            ui->ActivateConfirmDialog(question, yes.GetText(), nullptr, no.GetText(), false);
        }
        if (!ui) return;
        const int32_t answer = ui->m_confirmAnswer;
        if (answer == 1) {
            ui->m_confirmAnswer = 0;
            ui->m_mode = 0;
            WatchTheOthers();
        } else if (answer == 3) {
            ui->m_confirmAnswer = 0;
            ui->m_mode = 0;
            FinishMission();
        }
        return;
    }
    if (scene->Watching()) return;
    FinishMission();
}

void CGame::WatchTheOthers() {
    Scene()->Watch();
    if (m_world) m_world->Grid().m_cellMap.Reset();
    m_cellMapRevealed = 1;
}

void CGame::FinishMission() {
    CGameScene* scene = Scene();
    Game_RunScript("FinishGame.cfg");
    scene->SetFinished(true);
    if (m_interface) m_interface->m_mode = 0;
    if (m_vars.gameType != 0 || !m_interface || m_interface->m_campaignName.IsEmpty()) return;
    for (int won = 1; won >= 0; --won) {
        if (won ? !scene->WinGame : !scene->LooseGame) continue;
        CStrBuf campaigns(GetPath("Campaigns", "")), path;
        path.Format("%s\\%s\\%s\\%s", campaigns.GetText(), m_interface->m_campaignName.GetText(),
                    m_interface->m_missionName.GetText(), won ? "Win.cfg" : "Lost.cfg");
        Game_Printf("Executing Mission End Script '%s'.", path.GetText());
        m_roles->Console().RunScriptFile(path.GetText());
    }
}

void CGame::HighlightDuplicates() {
    CGameScene* scene = Scene();
    if (m_highlightStart == -1 || !scene) return;
    // The copies the map editor asked for carry the map ids after the start
    // (M_DAS): they are marked as they arrive, everything else unmarked,
    // until the last of them is there.
    bool last = false;
    for (CTessarakObject* o = scene->m_allObjects; o; o = o->m_allNext) {
        if (o->Dying()) continue;
        o->HandleMessage(
            o->m_mapId > m_highlightStart ? CTessarakObject::kMsgSelect : CTessarakObject::kMsgDeselect, 0);
        last = last || o->m_mapId >= m_highlightEnd;
    }
    if (last) m_highlightStart = -1;
}

int CGame::LogicTick() {
    CGameClock* clock = m_clock;
    CNetGame* net = m_netGame;
    if (m_captureMode != 2) {
        clock->AdvanceGameTime(nullptr, false, true);
        if (!(clock->LockedBacklog() >= net->TickLead())) {
            net->RestartFrameCountdown(m_frameTimeout);
            return 1;
        }
    }
    // The lockstep decides: a host ticks unless a resync holds; a client
    // ticks its complete frames (and, after reporting its server ahead, the
    // frame it has).
    if (!net->LogicTickGate()) return 1;

    if (net->IsHosting() && m_gameLoading) ServerStartStep();
    clock->BeginGameSection();
    clock->AdvanceGameTime(nullptr, true, true, true);
    // The frame's messages: the session's own run now, the world's orders
    // are gathered for the world's turn.
    CTurnOrders orders;
    net->ExecuteFrame(orders);
    net->RemoveMarkedPlayers();
    // The map editor changes the world directly, which only a game on this
    // machine alone may bear: once another machine shares it, editing ends.
    if (m_vars.mapEditMode && !net->m_serverInfo.m_editor && !net->AloneOnThisMachine()) {
        m_vars.mapEditMode = 0;
        Game_Print("Map editing ends: another machine shares the game");
    }
    CGameScene* scene = Scene();
    CPlayer* local = scene ? scene->LocalPlayer() : nullptr;
    bool localWatching = local && local->m_race && local->m_race->m_watching;
    STurn turn;
    if (m_world) {
        bool ended = (scene->WinGame || scene->LooseGame) && !localWatching && m_vars.gameType != 2 &&
                     scene->Finished();
        turn.frame = net->CurrentFrame();
        turn.step = scene->m_DevmapMode || ended ? STurn::kHeld : STurn::kStep;
        // The objectives evaluate by the game's type, not in the map editor.
        scene->Objectives().SetGameType(m_vars.gameType);
        scene->Objectives().SetEditorMode(m_vars.mapEditMode != 0);
        // The frames queued for deletion go first: the computer players
        // never see what already left.
        m_world->DeleteQueuedFrames(turn);
    }
    if (m_aiManager) m_aiManager->Tick();
    if (m_world) m_world->TickAfterDeletions(turn, orders);
    // The tick's frame matrices go into the next history slot, for the render
    // to blend towards; the tick, stamped with its game time and the real
    // time it ran at, and the one before it are published for the render.
    StoreAndPublishTick();
    clock->EndGameSection();
    ++m_ticks;
    // The world's state after the frame, for comparing machines: the same
    // frame gives the same CRC on every machine that is in step.
    if (m_vars.syncCrcEvery > 0) {
        uint16_t frame = net->CurrentFrame();
        if (frame % m_vars.syncCrcEvery == 0)
            Game_Printf("Sync CRC of frame %d: %08X", (int)frame, (unsigned)net->WorldSyncCrc());
    }

    if (scene) {
        if (localWatching && !m_cellMapRevealed) {
            m_cellMapRevealed = 1;
            m_world->Grid().m_cellMap.Reset();
        }
        int opponents = OpponentsPlaying(net);
        MissionEnd(opponents);
        if (localWatching) scene->LooseGame = 1;
        if (!scene->Finished() && (localWatching || scene->Watching()) && opponents == 1) FinishMission();
    }
    HighlightDuplicates();
    net->ResyncClients();
    // The session's step above closed this tick's frame: the frame the
    // server waits to hear finished may be the one now current, and is
    // answered at once, not a drawn frame later.
    net->FinishMarkReply();
    return 1;
}

namespace {
// The first free number of a screenshot's file name.
bool NextFreeScreenshot(const CStrBuf& folder, CStrBuf& path) {
    for (int i = 0; i < 1000000; ++i) {
        path.Format("%s\\Screen%06d.bmp", folder.GetText(), i);
        if (!FileExists(path.GetText())) return true;
    }
    return false;
}
}  // namespace

// The back buffer's picture: rgb gets width x height pixels of three bytes
// (red, green, blue), rows from the top; false when it could not be read.
bool CGame::ReadScreen(std::vector<uint8_t>& rgb, int* width, int* height) {
    CE3DSurface* surface = Game_BackSurface(this);
    if (!surface || !surface->LockToRead()) return false;
    const int w = surface->m_width, h = surface->m_height;
    const bool ok = w > 0 && h > 0 && surface->Bits() && surface->m_bytesPerPixel >= 2;
    if (ok) {
        rgb.resize(static_cast<size_t>(w) * static_cast<size_t>(h) * 3);
        // A channel of loss bits fewer than 8 is stretched back to 0..255.
        auto channel = [](uint32_t p, int32_t shift, int32_t loss) -> uint8_t {
            if (loss >= 8) return 0;
            uint32_t max = (1u << (8u - uint32_t(loss))) - 1u;
            uint32_t v = (p >> (uint32_t(shift) & 31)) & max;
            return uint8_t((v * 255u + max / 2u) / max);
        };
        for (int y = 0; y < h; ++y) {
            const uint8_t* src = surface->Bits() + (size_t)y * (size_t)surface->Pitch();
            uint8_t* dst = &rgb[(size_t)y * (size_t)w * 3];
            for (int x = 0; x < w; ++x) {
                uint32_t p = 0;
                for (uint32_t b = 0; b < surface->m_bytesPerPixel && b < 4; ++b)
                    p |= uint32_t(src[x * surface->m_bytesPerPixel + b]) << (8 * b);
                dst[3 * x + 0] = channel(p, surface->m_shiftR, surface->m_lossR);
                dst[3 * x + 1] = channel(p, surface->m_shiftG, surface->m_lossG);
                dst[3 * x + 2] = channel(p, surface->m_shiftB, surface->m_lossB);
            }
        }
        *width = w;
        *height = h;
    }
    surface->Unlock();
    return ok;
}

// The back buffer as a 24-bit BMP file; false when it could not be read or
// written.
bool CGame::WriteScreenshot(const char* path) {
    std::vector<uint8_t> rgb;
    int w = 0, h = 0;
    if (!ReadScreen(rgb, &w, &h)) return false;
    SPackedDIB* dib = DIB_Create(w, h, 24);
    if (!dib) return false;
    uint8_t* pixels = DIB_Pixels(dib);
    const uint32_t rowBytes = DIB_RowBytes(w, 24);
    for (int y = 0; y < h; ++y) {
        const uint8_t* src = &rgb[(size_t)y * (size_t)w * 3];
        uint8_t* dst = pixels + (size_t)(h - 1 - y) * rowBytes;  // bottom-up rows, blue first
        for (int x = 0; x < w; ++x) {
            dst[3 * x + 0] = src[3 * x + 2];
            dst[3 * x + 1] = src[3 * x + 1];
            dst[3 * x + 2] = src[3 * x + 0];
        }
    }
    const bool ok = DIB_WriteBMP(path, dib);
    DIB_Free(dib);
    return ok;
}

void CGame::StartCaptureAnimation(float rate) {
    m_captureMode = 2;
    m_captureRate = rate;
    m_captureCounter = 0;
    m_captureToVideo = 0;
}

void CGame::StartCaptureVideo(float rate) {
    m_captureMode = 2;
    m_captureRate = rate;
    m_captureCounter = 0;
    m_captureToVideo = 1;
    m_captureRestart = 1;
}

void CGame::FinishCaptureVideo() {
    if (!m_captureVideo || !m_captureVideo->IsOpen()) return;
    const int frames = m_captureVideo->Frames();
    if (m_captureVideo->Close())
        Game_Printf("Captured %d frames (%.2f s) into %s", frames, frames / (double)m_captureVideoRate,
                    m_captureVideoPath.GetText());
    else
        Game_Printf("Failed to finish %s: %s", m_captureVideoPath.GetText(), m_captureVideo->Error().c_str());
}

void CGame::CaptureFrame() {
    CStrBuf folder;
    folder.Format("%s\\ScreenCaptures", m_rootDir.GetText());
    CreateDirectoryPath(folder.GetText());
    if (m_captureMode == 1) {
        // A screenshot ends a recording that ran.
        FinishCaptureVideo();
        CStrBuf path;
        m_captureMode = 0;
        // The file's name follows, also after a failure: where it was meant
        // to go.
        if (!NextFreeScreenshot(folder, path) || !WriteScreenshot(path.GetText()))
            Game_Print("Failed to save screenshot");
        Game_Print(path.GetText());
        return;
    }
    if (!m_captureToVideo) {
        // The next picture of the animation, each one frame period of game
        // time after the last (the clock's capture step).
        FinishCaptureVideo();
        CStrBuf path;
        path.Format("%s\\Anim%06d.bmp", folder.GetText(), (int)m_captureCounter++);
        if (!WriteScreenshot(path.GetText())) Game_Print("Failed to save screenshot");
        Game_Print(path.GetText());
        return;
    }
    // A recording: every frame of the game view into the video, its game
    // time stepping by the frame period meanwhile (the clock's capture step).
    std::vector<uint8_t> rgb;
    int w = 0, h = 0;
    const bool read = ReadScreen(rgb, &w, &h);
    if (!m_captureVideo) m_captureVideo.reset(new CVideoWriter);
    if (m_captureRestart || !m_captureVideo->IsOpen()) {
        FinishCaptureVideo();
        m_captureRestart = 0;
        // A new recording never overwrites an earlier one.
        CStrBuf path;
        int n = 0;
        do {
            path.Format("%s\\Anim%06d.avi", folder.GetText(), n++);
        } while (FileExists(path.GetText()) && n < 1000000);
        std::string linuxPath;
        const int rate = static_cast<int>(m_captureRate * 1000.0f + 0.5f);
        if (!read || !Sys_ResolveWritePath(path.GetText(), linuxPath) ||
            !m_captureVideo->Open(linuxPath, w, h, rate, 1000)) {
            Game_Printf("Failed to start the recording %s: %s", path.GetText(),
                        read ? m_captureVideo->Error().c_str() : "the screen cannot be read");
            m_captureMode = 0;
            return;
        }
        m_captureVideoPath = path;
        m_captureVideoRate = m_captureRate;
        Game_Printf("Recording %s at %g frames a second", path.GetText(), (double)m_captureRate);
    }
    // The picture keeps the video's size (a resized window is cut or padded).
    const int vw = m_captureVideo->Width(), vh = m_captureVideo->Height();
    std::vector<uint8_t> frame(static_cast<size_t>(vw) * static_cast<size_t>(vh) * 3, 0);
    for (int y = 0; read && y < vh && y < h; ++y)
        std::copy_n(&rgb[(size_t)y * (size_t)w * 3], (size_t)std::min(w, vw) * 3,
                    &frame[(size_t)y * (size_t)vw * 3]);
    if (!m_captureVideo->AddFrame(frame.data(), vw * 3)) {
        Game_Printf("Failed to record into %s", m_captureVideoPath.GetText());
        FinishCaptureVideo();
        m_captureMode = 0;
        return;
    }
    ++m_captureCounter;
}

// The player's stock and energy while the HUD is hidden, in the large
// font: row R the stock as a share of the storage, what comes in (green)
// and goes out (red) a second, and stock/storage; row E the energy made
// against the energy used, made (green) and used (red).
void CGame::DrawFallbackHud(CE3DSurface* surface, const SPlayerView& local) {
    const int32_t height = surface->m_font ? surface->m_font->m_height : 10;
    const int32_t rowR = 2 * height + 7, rowE = rowR + height - 1;
    // An empty storage or no use is full (no share of nothing).
    auto share = [](float part, float whole) {
        CStrBuf text;
        if (whole > 0.0f)
            text.Format("%.1f %%", double(part / whole * 100.0f));
        else
            text.Assign("100.0 %");
        return text;
    };
    const uint32_t flags = surface->m_textFlags;
    surface->m_textFlags = kE3DTextRight;
    CStrBuf text = share(local.resources, local.storage);
    Game_DrawSurfaceText(surface, text.GetText(), 100, rowR, 255, 255, 255);
    text.Format("%.0f", double(local.gainRate));
    Game_DrawSurfaceText(surface, text.GetText(), 170, rowR, 0, 255, 0);
    text.Format("%.0f", double(local.spendRate));
    Game_DrawSurfaceText(surface, text.GetText(), 245, rowR, 255, 0, 0);
    text = share(local.energyProduced, local.energyConsumed);
    Game_DrawSurfaceText(surface, text.GetText(), 100, rowE, 255, 255, 255);
    text.Format("%d", Math_RoundToInt(local.energyProduced));
    Game_DrawSurfaceText(surface, text.GetText(), 170, rowE, 0, 255, 0);
    text.Format("%d", Math_RoundToInt(local.energyConsumed));
    Game_DrawSurfaceText(surface, text.GetText(), 245, rowE, 255, 0, 0);
    surface->m_textFlags = 0;
    Game_DrawSurfaceText(surface, "R", 10, rowR, 255, 255, 255);
    Game_DrawSurfaceText(surface, "E", 10, rowE, 255, 255, 255);
    text.Format("%d/%d", Math_RoundToInt(local.resources), Math_RoundToInt(local.storage));
    Game_DrawSurfaceText(surface, text.GetText(), 300, rowR, 255, 255, 255);
    surface->m_textFlags = flags;
}

// The texts of the running game over the scene: the mission clock, the
// development-map and cheating notices, the statistics read-outs.
void CGame::DrawHudTexts(CE3DSurface* surface) {
    CInterface* ui = m_interface;
    CGameScene* scene = Scene();
    bool menu = ui->m_activeGUI != 1000;
    ui->m_blinkTimer += m_clock->m_frameTime;
    if (ui->m_blinkTimer > 0.5f) {
        ui->m_blinkTimer = 0.0f;
        ui->m_blink = !ui->m_blink;
    }
    CStrBuf text;
    float left = ui->m_missionTimerEnd - m_clock->m_gameSeconds;
    // The GUI hidden: for five seconds a notice says how to bring it back.
    if (!ui->m_drawGUI && m_guiWasShown) m_pressF9Timer = 5.0f;
    m_guiWasShown = ui->m_drawGUI;
    const bool tracking = ui->m_camera.m_followed >= 0;
    if (!menu && !tracking && left > 0.00001f) {
        int seconds = Math_RoundToInt(left);
        text.Format("%.2d:%.2d", seconds / 60, seconds % 60);
        surface->SetFont(ui->m_clockFont ? ui->m_clockFont : ui->m_font);
        Game_DrawSurfaceText(surface, text.GetText(), 9, 8, 0, 255, 0);
        surface->SetFont(ui->m_font);
    } else if (!menu && !tracking) {
        CE3DFont* large = ui->m_largeFont ? ui->m_largeFont : ui->m_font;
        surface->SetFont(large);
        // The HUD hidden (neither the GUI nor the full-screen radar shows):
        // the notice, and the player's resources and energy as text lines.
        if (!ui->m_drawGUI && !ui->m_fields.m_fullScreenRadar) {
            if (m_pressF9Timer > 0.0f)
                Game_DrawSurfaceText(surface, "Press F9 to get back and F10 to flip radar", 10, 7, 0, 255, 0);
            SPlayerView local;
            if (m_world && m_world->Query().LocalPlayer(&local)) DrawFallbackHud(surface, local);
        }
        m_pressF9Timer -= m_clock->m_frameTime;
        surface->SetFont(ui->m_font);
    }
    if (!menu && tracking && ui->m_blink) Game_DrawSurfaceText(surface, GetSystemText(22), 10, 10, 0, 255, 0);
    if (menu && ui->m_blink && scene && !scene->WinGame && !scene->LooseGame)
        Game_DrawSurfaceText(surface, GetSystemText(21), 10, 10, 0, 255, 0);
    if (scene && scene->m_DevmapMode && ui->m_blink)
        Game_DrawSurfaceText(surface, "DVMMODE", 10, 22, 0, 255, 0);
    if (ui->m_blink && m_netGame->m_joinedInfo.m_cheats) {
        surface->SetFont(ui->m_largeFont ? ui->m_largeFont : ui->m_font);
        Game_DrawSurfaceText(surface, GetSystemText(62), 10, 20, 255, 0, 0);
        surface->SetFont(ui->m_font);
    }
    if (m_vars.perfDrawFPS) m_clock->DrawStats(surface, 10);
    if (m_vars.perfRender && m_gameScreen && m_gameScreen->m_mainCamera) {
        // What the battlefield's last render drew.
        const SE3DRenderStats& r = m_gameScreen->m_mainCamera->m_stats;
        text.Format("Primitives %d Draw calls %d Sorted %d Lights %d Spheres %d", r.primitives, r.drawCalls,
                    r.sortedTransparent, r.enabledLights, r.gatheredSpheres);
        Game_DrawSurfaceText(surface, text.GetText(), 10, 40, 0, 255, 0);
    }
    if (m_vars.perfDrawUpdateList && scene) {
        int y = 75;
        for (CTessarakObject* o = scene->m_activeObjects; o && y < surface->m_height;
             o = o->m_sceneActiveNext) {
            text.Format("%d : %s", o->m_objectId, o->m_template ? o->m_template->m_name.GetText() : "");
            Game_DrawSurfaceText(surface, text.GetText(), 10, y, 255, 255, 255);
            y += 10;
        }
    }
    if (m_vars.perfDrawPathList && m_world) {
        // The units that wait for the path finder, the one it serves first.
        int y = 75;
        for (int32_t id : m_world->Grid().Requesters()) {
            if (y >= surface->m_height) break;
            const CTessarakObject* o = scene ? scene->m_idTable.Find(id) : nullptr;
            text.Format("%d : %s", (int)id, o && o->m_template ? o->m_template->m_name.GetText() : "");
            Game_DrawSurfaceText(surface, text.GetText(), 10, y, 255, 255, 255);
            y += 10;
        }
    }
    if (m_vars.showPlayers) m_netGame->PrintStats(surface);
    // With the statistics, the mixer's load.
    if (m_vars.perfRender && m_soundEngine && m_soundEngine->HasDriver()) {
        text.Format("SOUND  %d %%", std::max(0, CSoundDevice::MixerCpuPercent()));
        Game_DrawSurfaceText(surface, text.GetText(), 10, 50, 0, 255, 0);
    }
    // The sound channels (se_Debug): P playing, S stopped, - free.
    if (SoundEngine* sound = m_soundEngine; sound && sound->m_debug && sound->HasDriver()) {
        Game_DrawSurfaceText(surface, SoundEngine_ChannelLine(sound).c_str(), 10, 22, 0, 255, 0);
        text.Format("Special Channels : %s GUI>%s", sound->StreamOpen() ? "MP3>Playing" : "MP3>Holding",
                    sound->m_voiceHead ? "Playing" : "Holding");
        Game_DrawSurfaceText(surface, text.GetText(), 10, 32, 0, 255, 0);
    }
}

void CGame::DrawFrameRateGraph(CE3DSurface* surface) {
    std::memmove(m_frameRateHistory + 1, m_frameRateHistory, sizeof m_frameRateHistory - sizeof(int32_t));
    m_frameRateHistory[0] = Math_RoundToInt(m_clock->m_frameRate);
    if (!surface->Lock()) return;
    surface->ResetClip();
    const int base = surface->m_height - 100;
    for (int i = 0; i < 400; ++i) {
        surface->PutPixel(400 - i, base, 0, 255, 0);
        surface->PutPixel(400 - i, base - m_frameRateHistory[i], 255, 0, 0);
    }
    surface->Unlock();
}

namespace {
// The fog over a point: 2 where a cell around it is watched, 1 where one is
// only explored, 0 where all are unexplored (or outside the map).
int FogLevel(const CCellMap& cells, float x, float z, float radius) {
    int level = 0;
    for (float px = x - radius - 0.8f; px < x + radius + 0.8f; px += 1.0f)
        for (float pz = z - radius - 0.8f; pz < z + radius + 0.8f; pz += 1.0f) {
            int cx, cy;
            cells.CellOf(px, pz, cx, cy);
            const SMapCell* cell = cells.At(cx, cy);
            if (!cell) continue;
            if (cell->state > 128) return 2;
            if (cell->state > 0) level = 1;
        }
    return level;
}
}  // namespace

// Which objects the camera shows: those in view, except what the fog of war
// hides from this player (a unit under explored fog, anything unexplored).
void CGame::ShowVisibleObjects() {
    CGameScene* scene = Scene();
    if (!scene || !m_gameView) return;
    const SVisibleGround* rows = m_gameView->m_ground;
    const CCellMap* cells = &m_world->Grid().m_cellMap;
    CPlayer* local = scene->LocalPlayer();
    bool fog = !m_vars.mapEditMode && m_fogOfWar && cells && cells->CellCount() > 0;
    for (CTessarakObject* o = scene->m_allObjects; o; o = o->m_allNext) {
        float x = o->m_position[0], y = o->m_position[1], z = o->m_position[2], r = o->m_objectRadius;
        int row = Math_RoundToInt(y) + 128;
        row = row < 0 ? 0 : row > 255 ? 255 : row;
        const SVisibleGround& g = rows[row];
        bool inView = g.minX - r < x && x < g.maxX + r && g.minZ - r < z && z < g.maxZ + r;
        if (!inView) continue;
        bool show = true;
        if (fog && r * 2.0f <= 20.0f && o->m_owner != local) {
            // Under watched squares everything shows; under squares only
            // explored what stands (the player saw it there), not what
            // moves; nothing under unexplored ones.
            int level = FogLevel(*cells, x, z, r);
            const bool moves = o->IsUnit() && (static_cast<CUnit*>(o)->m_unitState & CUnit::kU_Mobile);
            show = level == 2 || (level == 1 && !moves);
        }
        o->SetActiveCount(show ? 2 : 0);
    }
}
