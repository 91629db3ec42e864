// What the game gives its interface beyond the host: the game as the GUI
// sees it, the sound engine's side of the GUI's sound banks, and the progress
// stack for the load screen.
#include "app/GameInterface.h"

#include "app/Game.h"
#include "app/Progress.h"
#include "app/SoundEngine.h"
#include "core/VFSFile.h"
#include "ui/GUIRoles.h"
#include "ui/GUISound.h"
#include "ui/Interface.h"
#include "world/GameScene.h"

namespace {

// A GUI bank is a sound bank of the engine, read from its stored record.
class CGameGUISound : public IGUISound {
public:
    void* LoadBank(const std::string& record) override {
        SoundEngine* engine = g_pGame ? g_pGame->Sound() : nullptr;
        CVFSFile file;
        if (!engine || !file.OpenMemory(record.data(), uint32_t(record.size()))) return nullptr;
        SoundBank* bank = new SoundBank;
        // A bank the engine cannot read plays nothing; the GUI goes on.
        if (!bank->Load(file, engine)) {
            delete bank;
            return nullptr;
        }
        return bank;
    }
    void FreeBank(void* bank) override { delete static_cast<SoundBank*>(bank); }
    int SampleCount(void* bank) override { return bank ? static_cast<SoundBank*>(bank)->m_count : 0; }
    bool PlaySample(void* bank, int index) override {
        SoundBank* b = static_cast<SoundBank*>(bank);
        SoundEngine* engine = g_pGame ? g_pGame->Sound() : nullptr;
        if (!b || !engine || index < 0 || index >= b->m_count || !b->m_samples[index]) return false;
        return SoundEngine_Play(engine, b->m_samples[index], false, kSoundCategoryInterface);
    }
};

// The game as the GUI sees it.
class CGameGUIGame : public IGUIGame {
public:
    int32_t GuiWord() override { return g_pGame ? g_pGame->GuiWord() : 1; }
    void SetGuiWord(int32_t word) override {
        if (g_pGame) g_pGame->SetGuiWord(word);
    }
    int32_t GameType() override { return g_pGame ? g_pGame->GameType() : 0; }
    float FrameTime() override { return g_pGame ? g_pGame->FrameStep() : 0.0f; }
    uint64_t ClockNow() override { return g_pGame ? g_pGame->ClockNow() : 0; }
    uint64_t ClockFrequency() override { return g_pGame ? g_pGame->ClockFrequency() : 1193182; }
    CCommandInterpreter* Interpreter() override { return g_pGame ? g_pGame->Interpreter() : nullptr; }
    CE3DScreen* Screen() override { return g_pGame ? g_pGame->Screen() : nullptr; }
    CNetGame* NetGame() override { return g_pGame ? g_pGame->NetGame() : nullptr; }
    const char* GetPath(const char* subFolder, const char* name) override {
        return g_pGame ? g_pGame->GetPath(subFolder, name) : IGUIGame::GetPath(subFolder, name);
    }
    void QueueScript(const char* name) override {
        if (g_pGame) g_pGame->QueueScript(name);
    }
    bool MissionWon() override { return g_pGame && g_pGame->GameScene() && g_pGame->GameScene()->WinGame; }
    void ClearMissionResult() override {
        if (CGameScene* scene = g_pGame ? g_pGame->GameScene() : nullptr)
            scene->WinGame = scene->LooseGame = 0;
    }
};

SProgressView ProgressTop() {
    SProgressView view;
    const SProgressEntry* e = g_ProgressTop;
    if (!e) return view;
    view.present = true;
    view.title = e->title;
    view.step = e->stepText;
    view.overall = e->Shown();
    view.step01 = e->subStepValue;
    return view;
}

}  // namespace

void Game_ConnectInterface(CInterface* ui) {
    static CGameGUISound s_sound;
    static CGameGUIGame s_game;
    if (!ui) return;
    ui->m_guiSound = &s_sound;
    ui->m_guiGame = &s_game;
    ui->m_progressView = &ProgressTop;
}
