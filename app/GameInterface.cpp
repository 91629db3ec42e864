// The game's roles for its interface's GUI: the game as the GUI sees it (the
// kind of game, the GUI word, the frame time, the scripts of the next frame,
// the mission's result, the progress stack's top entry) and the sound
// engine's side of the GUI's sound banks.
#include "app/GameInterface.h"

#include <algorithm>
#include <cstring>

#include "ai/AIManager.h"
#include "app/Game.h"
#include "app/GameClock.h"
#include "app/GameView.h"
#include "app/InputManager.h"
#include "app/Progress.h"
#include "app/SoundEngine.h"
#include "core/VFSFile.h"
#include "e3d/Engine.h"
#include "netgame/NetGame.h"
#include "ui/GUIRoles.h"
#include "ui/GUISound.h"
#include "ui/Interface.h"
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
    float LargestWait() override { return m_game.NetGame() ? m_game.NetGame()->LargestWait() : 0.0f; }
    bool MissionLost() override { return Scene() && Scene()->LooseGame; }
    bool Watching() override { return Scene() && Scene()->Watching(); }

    bool VideoRequest(SVideoRequest& out) override {
        const SVideoSettings& v = m_game.Video(0);
        out.driver = v.driverName.GetText();
        out.width = v.width;
        out.height = v.height;
        out.bitDepth = v.bitDepth;
        out.refreshRate = v.refreshRate;
        out.textureDetail = v.textureDetail;
        out.textureQuality = v.textureQuality;
        out.windowed = v.windowed != 0;
        out.hardware = v.hardware != 0;
        return true;
    }
    void SetVideoRequest(const SVideoRequest& r) override {
        SVideoSettings& v = m_game.Video(0);
        v.driverName = r.driver.c_str();
        v.width = r.width;
        v.height = r.height;
        v.bitDepth = r.bitDepth;
        v.refreshRate = r.refreshRate;
        v.textureDetail = r.textureDetail;
        v.textureQuality = r.textureQuality;
        v.windowed = r.windowed ? 1 : 0;
        v.hardware = r.hardware ? 1 : 0;
        m_game.CheckVideoSettingsChanged();
    }
    bool DisplayInUse(std::string& driver, SGUIDisplayMode& mode) override {
        CGameView* view = m_game.GameView();
        if (!view || !g_DisplayDriver) return false;
        driver = g_DisplayDriver->driverName;
        mode.bitDepth = g_DisplayBitDepth;
        if (g_DisplayBitDepth != 0 && g_DisplayMode) {
            mode.width = int32_t(g_DisplayMode->dwWidth);
            mode.height = int32_t(g_DisplayMode->dwHeight);
            mode.refreshRate = int32_t(g_DisplayMode->dwRefreshRate);
        } else {
            // A window: the size it has.
            mode.width = view->m_viewRect[2];
            mode.height = view->m_viewRect[3];
            mode.refreshRate = 0;
        }
        return true;
    }
    std::vector<SDisplayDriver> DisplayDrivers() override {
        std::vector<SDisplayDriver> out;
        CE3DEngine* engine = m_game.GameView() ? m_game.GameView()->m_engine : nullptr;
        for (int32_t i = 0; engine && i < engine->m_driverCount; ++i) {
            const SDirectDrawDesc* d = engine->m_drivers[i];
            SDisplayDriver driver;
            driver.name = d->driverName;
            driver.description = d->description;
            driver.primary = d->primary != 0;
            static_assert(sizeof driver.guid == sizeof d->guid.bytes, "a driver's GUID");
            std::memcpy(driver.guid, d->guid.bytes, sizeof driver.guid);
            for (int32_t m = 0; m < d->modeCount; ++m) {
                SGUIDisplayMode mode;
                mode.width = int32_t(d->modes[m]->dwWidth);
                mode.height = int32_t(d->modes[m]->dwHeight);
                mode.bitDepth = int32_t(d->modes[m]->ddpfPixelFormat.dwRGBBitCount);
                mode.refreshRate = int32_t(d->modes[m]->dwRefreshRate);
                driver.modes.push_back(mode);
            }
            out.push_back(driver);
        }
        return out;
    }
    std::string MusicPlaylist() override {
        return m_game.Sound() ? m_game.Sound()->m_playlistName.GetText() : "";
    }
    void SetMusicPlaylist(const std::string& name) override {
        SoundEngine* sound = m_game.Sound();
        if (!sound) return;
        sound->m_playlistName = name.c_str();
        sound->m_playlist->Load(name.c_str());
    }
    // The computer players' difficulty: the index of the learning files
    // their manager reads when the map loads (0 easy, 1 medium, 2 hard).
    int32_t AIDifficulty() override {
        CAIManager* ai = m_game.AIManager();
        return ai ? ai->m_fileIndex : 0;
    }
    void SetAIDifficulty(int32_t level) override {
        if (CAIManager* ai = m_game.AIManager()) ai->m_fileIndex = std::min(std::max(level, 0), 2);
    }
    const CEditField* GUIEdit() override {
        CInputManager* input = m_game.InputManager();
        CInterface* ui = m_game.Interface();
        if (!input || !ui || input->Edit().Attached() != &ui->m_settingsEdit) return nullptr;
        return &input->Edit();
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
