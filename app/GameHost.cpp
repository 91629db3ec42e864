// The game object as the layers below the application see it: the host
// interfaces of the world, the network game and the interface, answered from
// the game's own subsystems.
#include <cmath>

#include "app/Game.h"
#include "app/GameClock.h"
#include "app/GameConsole.h"
#include "app/GameServices.h"
#include "app/GameView.h"
#include "app/InputManager.h"
#include "app/SoundEngine.h"
#include "core/CRC32.h"
#include "e3d/Viewport.h"
#include "netgame/NetGame.h"
#include "ui/Interface.h"
#include "world/ExplosionManager.h"
#include "world/Player.h"

void CGame::Print(const char* text) {
    Game_Print(text);
}

void CGame::PrintColor(int r, int g, int b, bool echo, const char* text) {
    Game_PrintColor(r, g, b, echo, "%s", text);
}

bool CGame::RunScriptFile(const char* path) {
    if (!m_inputManager || !path) return false;
    return m_inputManager->RunScriptFile(path, false, false);
}

uint64_t CGame::GameTime() {
    return m_clock ? m_clock->m_gameTime : 0;
}

float CGame::TickStep() {
    return m_clock ? m_clock->m_tickStep : 0.0f;
}

float CGame::FrameStep() {
    return m_clock ? m_clock->m_frameTime : 0.0f;
}

float CGame::GameSeconds() {
    return m_clock ? m_clock->m_gameSeconds : 0.0f;
}

bool CGame::Send(int type, const void* data, int length, int, int) {
    return m_netGame && m_netGame->Send(type, data, length);
}

CPlayerList* CGame::PlayerList() {
    return m_netGame ? &m_netGame->m_players : nullptr;
}

CE3DEngine* CGame::Engine() {
    return m_gameView ? m_gameView->m_engine : nullptr;
}

bool CGame::SoundOff() {
    return !m_soundEngine || m_soundEngine->m_noSound;
}

SoundSample* CGame::LoadSample(const char* path) {
    if (!m_soundEngine || !path) return nullptr;
    SoundSample* sample = new SoundSample(m_soundEngine);
    if (sample->Prepare(path)) return sample;
    delete sample;
    return nullptr;
}

void CGame::FreeSample(SoundSample* sample) {
    delete sample;
}

void CGame::PlaySample(SoundSample* sample, int volume) {
    if (!m_soundEngine || !sample) return;
    sample->m_volume = volume;
    SoundEngine_Play(m_soundEngine, sample, false, kSoundCategoryEffects);
}

void CGame::QueueVoice(SoundSample* sample, int volume, int kind) {
    if (!m_soundEngine || !sample) return;
    sample->m_volume = volume;
    new PlayNode(m_soundEngine, sample, kind);  // the engine's queue owns it
}

// The world's sounds are heard at the ground point under the mouse; without
// a view, at the point the view looks at.
void CGame::ListeningPoint(float* x, float* z) {
    CE3DViewport* view = Viewport();
    if (view && m_interface) {
        D3DVECTOR p;
        view->ScreenToRay(&p, float(m_interface->m_cursorX - view->m_x),
                          float(m_interface->m_cursorY - view->m_y));
        *x = p.x;
        *z = p.z;
        return;
    }
    *x = m_explosionManager ? m_explosionManager->m_focusX : 0.0f;
    *z = m_explosionManager ? -m_explosionManager->m_focusZ : 0.0f;
}

const char* CGame::GetSystemText(int index) {
    return m_interface ? m_interface->GetSystemText(index) : "";
}

void CGame::SaveConfigFiles() {
    Game_SaveConfigFiles();
}

void CGame::SetGameSpeed(float factor) {
    if (m_clock) m_clock->m_speedFactor = factor;
}

float CGame::FrameRate() {
    return m_clock ? m_clock->m_frameRate : 0.0f;
}

float CGame::Lag() {
    return m_clock ? m_clock->m_lag : 0.0f;
}

uint64_t CGame::ClockNow() {
    return m_clock ? m_clock->Now() : Game_CounterNow();
}

uint64_t CGame::ClockFrequency() {
    return m_clock && m_clock->m_frequency > 0.0f ? (uint64_t)m_clock->m_frequency : 1193182;
}

CCommandInterpreter* CGame::Interpreter() {
    return Game_Interpreter(this);
}

CE3DSurface* CGame::BackSurface() {
    return Game_BackSurface(this);
}

void CGame::ClearScreen() {
    Game_ClearScreen(this);
}

CE3DFont* CGame::GetFont(const char* face, int width, int height, int weight, int attributes, int outline) {
    return Game_GetFont(this, face, width, height, weight, attributes, outline);
}

bool CGame::CommandLineHasCaret() {
    return Game_CommandLineCursor(this);
}

int CGame::CommandLineCaretX(CE3DFont* font, const char* text) {
    return Game_CommandLineCursorX(this, font, text);
}

const CEditField* CGame::CommandLineEdit() {
    return Game_CommandLineEdit(this);
}

CE3DScreen* CGame::Screen() {
    return Game_Screen(this);
}

// The queue modifier: held by its binding, or by either Shift key, with
// which players add to the selection and queue orders.
bool CGame::QueueModifier() {
    return m_inputManager && (m_inputManager->m_queueFlag || m_inputManager->Keys().m_shift);
}

bool CGame::DirectMoveModifier() {
    return m_inputManager && m_inputManager->m_directMoveFlag;
}

bool CGame::FormationModifier() {
    return m_inputManager && m_inputManager->m_keepFormationFlag;
}

SInterfaceFields* CGame::InterfaceFields() {
    return m_interface ? &m_interface->m_fields : nullptr;
}

CE3DViewport* CGame::Viewport() {
    return m_gameView && m_gameView->m_viewport && m_gameView->m_viewport->m_view ? m_gameView->m_viewport
                                                                                  : nullptr;
}

void CGame::PlaceCamera(const float* eye, const float* target, float fieldOfView) {
    if (!m_gameView) return;
    for (int i = 0; i < 3; ++i) {
        m_gameView->m_eye[i] = eye[i];
        m_gameView->m_target[i] = target[i];
    }
    if (fieldOfView != m_gameView->m_fieldOfView) m_gameView->SetFieldOfView(fieldOfView);
}

void CGame::ShakeCamera(float amount, float distance) {
    if (m_gameView) m_gameView->AddShake(amount, distance);
}

// The hosted session's maximum of units per player (si_MaxUnits).
int32_t CGame::UnitLimit() {
    return m_netGame ? m_netGame->m_serverInfo.m_maxUnits : 300;
}

// The local player's events go to the console, the game's log (the HUD's
// event list and radar markers come with the in-game interface).
void CGame::PostEventMessage(int code, int32_t ownerId, float x, float z, const char* text) {
    CPlayerList* players = PlayerList();
    const CPlayer* local = players ? players->m_local : nullptr;
    if (!local || local->m_ownerId != ownerId) return;
    Printf("Event %d at %d, %d%s%s", code, static_cast<int>(x), static_cast<int>(z),
           text && *text ? ": " : "", text ? text : "");
}

// ---- the network game's clock and state

bool CGame::SendForPlayer(CPlayer* player, int type, const void* data, int length) {
    if (!m_netGame) return false;
    NWEList* slot = player ? &player->m_sendSlot : nullptr;
    return m_netGame->Send(type, data, length, slot, slot);
}

uint64_t CGame::NextTickTime() {
    return m_clock ? m_clock->NextTickTime() : 0;
}

uint64_t CGame::TickPeriod() {
    return m_clock ? m_clock->m_tickPeriod : 79545;
}

float CGame::TickRate() {
    return m_clock ? m_clock->m_tickRate : 15.0f;
}

void CGame::SetTickRate(float rate) {
    if (!m_clock || !(rate > 0.0f)) return;
    CSysScopedLock<CSysCriticalSection> l(m_clock->m_lock);
    m_clock->m_tickRate = rate;
    m_clock->m_tickPeriod = (uint64_t)std::llround(1.0 / (double)rate * kGameTimeRate);
}

float CGame::GameSpeed() {
    return m_clock ? m_clock->m_speedFactor : 1.0f;
}

// The server's next-tick time becomes this machine's, and its game time the
// real time reached: the two clocks tick in step from here on.
void CGame::SetClockTimes(uint64_t nextTick, uint64_t gameTime) {
    if (!m_clock) return;
    CSysScopedLock<CSysCriticalSection> l(m_clock->m_lock);
    if (nextTick > m_clock->m_tickPeriod) m_clock->m_gameTime = nextTick - m_clock->m_tickPeriod;
    m_clock->m_realTime = gameTime;
}

bool CGame::Paused() {
    return m_clock && m_clock->m_frozen;
}

void CGame::SetPaused(bool paused) {
    if (m_clock) m_clock->m_frozen = paused ? 1 : 0;
}

void CGame::QueueScript(const char* name) {
    if (m_inputManager && name)
        m_inputManager->SetPendingScript(name);
    else
        RunScriptFile(name);
}

void CGame::ShowNotice(const char* text) {
    Game_PrintColor(255, 255, 255, true, "%s", text ? text : "");
}

uint32_t CGame::InstanceValue() {
    return CRC32_Compute(m_vars.uniqueInstance.GetText(), (size_t)m_vars.uniqueInstance.GetLength());
}
