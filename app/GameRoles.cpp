// The game's roles (app/GameRoles.h), each a small object that answers its
// concern from the subsystem that owns it; and the game object's own session
// role (IGameFlow) where it is not inline.
#include "app/GameRoles.h"

#include <algorithm>
#include <cmath>

#include "app/Game.h"
#include "app/GameClock.h"
#include "app/GameConsole.h"
#include "app/GameInterface.h"
#include "app/GameServices.h"
#include "app/GameView.h"
#include "app/InputManager.h"
#include "app/SoundEngine.h"
#include "core/CRC32.h"
#include "e3d/Viewport.h"
#include "netgame/NetGame.h"
#include "ui/GUIRoles.h"
#include "ui/GUISound.h"
#include "ui/Interface.h"
#include "world/Player.h"
#include "world/WorldCommands.h"

namespace {

// ---- console and scripts: the game's console (the interface's) and the
// input manager's script runner
class CConsoleRole : public IWorldConsole {
public:
    explicit CConsoleRole(CGame& game) : m_game(game) {}
    void Print(const char* text) override { Game_Print(text); }
    void PrintColor(int r, int g, int b, bool echo, const char* text) override {
        Game_PrintColor(r, g, b, echo, "%s", text);
    }
    bool RunScriptFile(const char* path) override {
        CInputManager* input = m_game.InputManager();
        return input && path && input->RunScriptFile(path, false, false);
    }
    const char* GetSystemText(int index) override {
        return m_game.Interface() ? m_game.Interface()->GetSystemText(index) : "";
    }
    void ShowMessageAndRedraw(const char* text) override { m_game.ShowMessageAndRedraw(text); }

private:
    CGame& m_game;
};

// ---- files: the game's folders
class CFilesRole : public IWorldFiles {
public:
    explicit CFilesRole(CGame& game) : m_game(game) {}
    const char* GetPath(const char* subFolder, const char* name) override {
        return m_game.GetPath(subFolder, name);
    }

private:
    CGame& m_game;
};

// ---- time: the game clock, for the world and for the lockstep
class CClockRole : public IWorldClock, public ILockstepClock {
public:
    explicit CClockRole(CGame& game) : m_game(game) {}
    CGameClock* C() const { return m_game.Clock(); }
    uint64_t GameTime() override { return C() ? C()->m_gameTime : 0; }
    float TickStep() override { return C() ? C()->m_tickStep : 0.0f; }
    float GameSeconds() override { return C() ? C()->m_gameSeconds : 0.0f; }
    uint64_t NextTickTime() override { return C() ? C()->NextTickTime() : 0; }
    uint64_t TickPeriod() override { return C() ? C()->m_tickPeriod : 79545; }
    float TickRate() override { return C() ? C()->m_tickRate : 15.0f; }
    void SetTickRate(float rate) override {
        if (!C() || !(rate > 0.0f)) return;
        CSysScopedLock<CSysCriticalSection> l(C()->m_lock);
        C()->m_tickRate = rate;
        C()->m_tickPeriod = (uint64_t)std::llround(1.0 / (double)rate * kGameTimeRate);
    }
    float GameSpeed() override { return C() ? C()->m_speedFactor : 1.0f; }
    void SetGameSpeed(float factor) override {
        if (C()) C()->m_speedFactor = factor;
    }
    // The server's next-tick time becomes this machine's, and its game time
    // the real time reached: the two clocks tick in step from here on.
    void SetClockTimes(uint64_t nextTick, uint64_t gameTime) override {
        if (!C()) return;
        CSysScopedLock<CSysCriticalSection> l(C()->m_lock);
        if (nextTick > C()->m_tickPeriod) C()->m_gameTime = nextTick - C()->m_tickPeriod;
        C()->m_realTime = gameTime;
    }
    bool Paused() override { return C() && C()->m_frozen; }
    void SetPaused(bool paused) override {
        if (C()) C()->m_frozen = paused ? 1 : 0;
    }
    // What the last frame cost: its time less the main loop's wait before it.
    float FrameStep() override { return C() ? std::max(C()->m_frameTime - C()->m_waitBefore, 0.0f) : 0.0f; }
    float Lag() override { return C() ? C()->m_lag : 0.0f; }
    float FrameTimeout() override { return m_game.FrameTimeout(); }

private:
    CGame& m_game;
};

// ---- the view: the game view's camera shake, the player's events
class CViewRole : public IWorldView {
public:
    explicit CViewRole(CGame& game) : m_game(game) {}
    void ShakeAt(float amount, float x, float z) override {
        CGameView* view = m_game.GameView();
        CInterface* ui = m_game.Interface();
        if (view && ui) view->AddShake(amount, ui->m_camera.DistanceTo(x, z));
    }
    void PostEventMessage(int code, int32_t ownerId, float x, float z, const char* text) override {
        m_game.PostEventMessage(code, ownerId, x, z, text);
    }
    // The selection's panels are drawn again.
    void RefreshSelection() override {
        if (CInterface* ui = m_game.Interface()) ui->m_fields.m_selectionChanged = 1;
    }
    // A selected unit left play: the selection is built again.
    void SelectionChanged() override {
        if (CInterface* ui = m_game.Interface()) ui->m_fields.m_selectionChanged = 1;
    }
    void FollowObject(int32_t id) override {
        if (CInterface* ui = m_game.Interface()) ui->m_camera.Follow(id);
    }

private:
    CGame& m_game;
};

// ---- sound: the sound engine's samples
class CSoundRole : public IWorldSound {
public:
    explicit CSoundRole(CGame& game) : m_game(game) {}
    static SoundSample* Sample(SWorldSample* s) { return reinterpret_cast<SoundSample*>(s); }
    bool SoundOff() override { return !m_game.Sound() || m_game.Sound()->m_noSound; }
    SWorldSample* LoadSample(const char* path) override {
        SoundEngine* engine = m_game.Sound();
        if (!engine || !path) return nullptr;
        SoundSample* sample = new SoundSample(engine);
        if (sample->Prepare(path)) return reinterpret_cast<SWorldSample*>(sample);
        delete sample;
        return nullptr;
    }
    void FreeSample(SWorldSample* sample) override { delete Sample(sample); }
    void PlaySample(SWorldSample* s, int volume) override {
        SoundSample* sample = Sample(s);
        if (!m_game.Sound() || !sample) return;
        sample->m_volume = volume;
        SoundEngine_Play(m_game.Sound(), sample, false, kSoundCategoryEffects);
    }
    void QueueVoice(SWorldSample* s, int volume, int kind) override {
        SoundSample* sample = Sample(s);
        if (!m_game.Sound() || !sample) return;
        sample->m_volume = volume;
        new PlayNode(m_game.Sound(), sample, kind);  // the engine's queue owns it
    }
    int32_t NoticeDelay() override { return m_game.Sound() ? m_game.Sound()->m_remindTime : 30; }
    // The world's sounds are heard at the ground point under the mouse;
    // without a view, at the point the camera looks at.
    void ListeningPoint(float* x, float* z) override {
        CInterface* ui = m_game.Interface();
        CGameView* gameView = m_game.GameView();
        CE3DViewport* view =
            gameView && gameView->m_viewport && gameView->m_viewport->m_view ? gameView->m_viewport : nullptr;
        if (view && ui) {
            D3DVECTOR p;
            view->ScreenToRay(&p, float(ui->m_cursorX - view->m_x), float(ui->m_cursorY - view->m_y));
            *x = p.x;
            *z = p.z;
            return;
        }
        *x = ui ? ui->m_camera.GroundX() : 0.0f;
        *z = ui ? ui->m_camera.GroundZ() : 0.0f;
    }

private:
    CGame& m_game;
};

// ---- the session the world runs in
class CSessionRole : public IWorldSession {
public:
    explicit CSessionRole(CGame& game) : m_game(game) {}
    void Lock() override { m_game.Lock(); }
    void Unlock() override { m_game.Unlock(); }
    bool InLobby() override { return m_game.GuiWord() != 0; }
    // The hosted session's maximum of units per player (si_MaxUnits).
    int32_t UnitLimit() override {
        return m_game.NetGame() ? m_game.NetGame()->m_serverInfo.m_maxUnits : 300;
    }
    [[noreturn]] void FatalExit(int exitCode) override { m_game.FatalExit(exitCode); }

private:
    CGame& m_game;
};

// ---- the interface's screen: the game view and the game screen
class CScreenRole : public IInterfaceScreen {
public:
    explicit CScreenRole(CGame& game) : m_game(game) {}
    CE3DSurface* BackSurface() override { return Game_BackSurface(&m_game); }
    void ClearScreen() override { Game_ClearScreen(&m_game); }
    void Redraw() override { m_game.Redraw(); }
    CE3DFont* GetFont(const char* face, int width, int height, int weight, int attributes,
                      int outline) override {
        return Game_GetFont(&m_game, face, width, height, weight, attributes, outline);
    }
    void PrepareFont(const char* face, int width, int height, int weight, int attributes,
                     int outline) override {
        Game_PrepareFont(&m_game, face, width, height, weight, attributes, outline);
    }
    CE3DScreen* Screen() override { return Game_Screen(&m_game); }
    CE3DViewport* Viewport() override {
        CGameView* view = m_game.GameView();
        return view && view->m_viewport && view->m_viewport->m_view ? view->m_viewport : nullptr;
    }

private:
    CGame& m_game;
};

// ---- the interface's console: the clock, the interpreter, the code page
class CInterfaceConsoleRole : public IInterfaceConsole {
public:
    explicit CInterfaceConsoleRole(CGame& game) : m_game(game) {}
    uint64_t ClockNow() override { return m_game.Clock() ? m_game.Clock()->Now() : Game_CounterNow(); }
    uint64_t ClockFrequency() override {
        CGameClock* clock = m_game.Clock();
        return clock && clock->m_frequency > 0.0f ? (uint64_t)clock->m_frequency : 1193182;
    }
    CCommandInterpreter* Interpreter() override { return Game_Interpreter(&m_game); }
    int CodePage() override { return m_game.CodePage(); }
    bool ConsoleDrawingOff() override {
        return m_game.Variables().guiDisable || m_game.Variables().dontDrawConsole;
    }
    const CEditField* CommandLineEdit() override { return Game_CommandLineEdit(&m_game); }

private:
    CGame& m_game;
};

// ---- the interface's state: the state words, the input's order modes
class CInterfaceStateRole : public IInterfaceState {
public:
    explicit CInterfaceStateRole(CGame& game) : m_game(game) {}
    int32_t GuiWord() override { return m_game.GuiWord(); }
    int32_t GameState() override { return m_game.GameState(); }
    // The queue modifier: held by its binding, or by either Shift key, with
    // which players add to the selection and queue orders; the direct move
    // and the formation by their bindings.
    uint32_t OrderModes() override {
        CInputManager* input = m_game.InputManager();
        if (!input) return 0;
        uint32_t modes = 0;
        if (input->m_queueFlag || input->Keys().m_shift) modes |= kCommandQueue;
        if (input->m_directMoveFlag) modes |= kCommandDirect;
        if (input->m_keepFormationFlag) modes |= kCommandFormation;
        return modes;
    }
    bool MapEditMode() override { return m_game.Variables().mapEditMode != 0; }

private:
    CGame& m_game;
};

}  // namespace

struct CGameRoles::SParts {
    explicit SParts(CGame& game)
        : game(game),
          console(game),
          files(game),
          clock(game),
          view(game),
          sound(game),
          session(game),
          screen(game),
          interfaceConsole(game),
          interfaceState(game),
          gui(Game_NewGUIGame(game)),
          guiSound(Game_NewGUISound(game)) {}
    CGame& game;
    CConsoleRole console;
    CFilesRole files;
    CClockRole clock;
    CViewRole view;
    CSoundRole sound;
    CSessionRole session;
    CScreenRole screen;
    CInterfaceConsoleRole interfaceConsole;
    CInterfaceStateRole interfaceState;
    std::unique_ptr<IGUIGame> gui;
    std::unique_ptr<IGUISound> guiSound;
};

CGameRoles::CGameRoles(CGame& game) : m_parts(new SParts(game)) {}

CGameRoles::~CGameRoles() = default;

SWorldRoles CGameRoles::World(IOrderSender* sender) const {
    SWorldRoles r;
    r.console = &m_parts->console;
    r.files = &m_parts->files;
    r.clock = &m_parts->clock;
    r.sender = sender;
    r.view = &m_parts->view;
    r.sound = &m_parts->sound;
    r.session = &m_parts->session;
    return r;
}

SNetRoles CGameRoles::Net() const {
    SNetRoles r;
    r.console = &m_parts->console;
    r.files = &m_parts->files;
    r.clock = &m_parts->clock;
    r.flow = &m_parts->game;
    r.maps = &m_parts->game;
    return r;
}

SInterfaceRoles CGameRoles::Interface() const {
    SInterfaceRoles r;
    r.files = &m_parts->files;
    r.screen = &m_parts->screen;
    r.console = &m_parts->interfaceConsole;
    r.state = &m_parts->interfaceState;
    r.gui = m_parts->gui.get();
    r.guiSound = m_parts->guiSound.get();
    return r;
}

IWorldConsole& CGameRoles::Console() const {
    return m_parts->console;
}

IWorldFiles& CGameRoles::Files() const {
    return m_parts->files;
}

// ---- the game object's session role

void CGame::SaveConfigFiles() {
    Game_SaveConfigFiles();
}

void CGame::QueueScript(const char* name) {
    if (m_inputManager && name) m_inputManager->SetPendingScript(name);
}

void CGame::ShowNotice(const char* text) {
    Game_PrintColor(255, 255, 255, true, "%s", text ? text : "");
}

uint32_t CGame::InstanceValue() {
    return CRC32_Compute(m_vars.uniqueInstance.GetText(), (size_t)m_vars.uniqueInstance.GetLength());
}

// The world's events of a player go to the HUD (its event messages, with the
// template's name as the sender), which shows the local player's.
void CGame::PostEventMessage(int code, int32_t ownerId, float x, float z, const char* text) {
    CPlayerList* players = m_netGame ? &m_netGame->m_players : nullptr;
    const CPlayer* player = players ? players->FindPlayerByOwnerId(ownerId) : nullptr;
    if (!player || !m_interface) return;
    m_interface->m_hud.PostEventMessage(code, player->m_id, x, z, text && *text ? text : nullptr, nullptr);
}
