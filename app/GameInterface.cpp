// The game's roles for its interface's GUI: the game as the GUI sees it (the
// kind of game, the GUI word, the frame time, the scripts of the next frame,
// the mission's result, the progress stack's top entry) and the sound
// engine's side of the GUI's sound banks.
#include "app/GameInterface.h"

#include "app/Game.h"
#include "app/GameClock.h"
#include "app/Progress.h"
#include "app/SoundEngine.h"
#include "core/VFSFile.h"
#include "ui/GUIRoles.h"
#include "ui/GUISound.h"
#include "world/GameScene.h"
#include "world/World.h"

namespace {

class CGameGUIGame : public IGUIGame {
public:
    explicit CGameGUIGame(CGame& game) : m_game(game) {}
    int32_t GameType() override { return m_game.Variables().gameType; }
    void SetGuiWord(int32_t word) override { m_game.SetGuiWord(word); }
    float FrameTime() override { return m_game.Clock() ? m_game.Clock()->m_frameTime : 0.0f; }
    void QueueScript(const char* name) override { m_game.QueueScript(name); }
    bool MissionWon() override { return Scene() && Scene()->WinGame; }
    void ClearMissionResult() override {
        if (CGameScene* scene = Scene()) scene->WinGame = scene->LooseGame = 0;
    }
    // The clock stands: paused, or its speed all but 0.
    bool Paused() override {
        CGameClock* clock = m_game.Clock();
        return clock && (clock->m_frozen || clock->m_speedFactor < 0.005f);
    }
    SProgressView Progress() override {
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

private:
    CGameScene* Scene() { return m_game.World() ? &m_game.World()->Scene() : nullptr; }
    CGame& m_game;
};

// A GUI bank is a sound bank of the engine, read from its stored record.
class CGameGUISound : public IGUISound {
public:
    explicit CGameGUISound(CGame& game) : m_game(game) {}
    void* LoadBank(const std::string& record) override {
        SoundEngine* engine = m_game.Sound();
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
        SoundEngine* engine = m_game.Sound();
        if (!b || !engine || index < 0 || index >= b->m_count || !b->m_samples[index]) return false;
        return SoundEngine_Play(engine, b->m_samples[index], false, kSoundCategoryInterface);
    }

private:
    CGame& m_game;
};

}  // namespace

std::unique_ptr<IGUIGame> Game_NewGUIGame(CGame& game) {
    return std::make_unique<CGameGUIGame>(game);
}

std::unique_ptr<IGUISound> Game_NewGUISound(CGame& game) {
    return std::make_unique<CGameGUISound>(game);
}
