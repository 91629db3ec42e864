// The game's side of saved games: its own part of the file (what the player
// saw and heard), the save of the running game under its numbered name and
// the saved game the next start continues.
//
// The game's part ("VIEW"), little-endian:
//   f32 x 7   the camera: focus x and z, heading, pitch, distance, field of
//             view, farthest visible range
//   u16 + chars  the music's stream name (at most 255), u8 playing, and
//             when playing u32 its position (milliseconds)
//   u16 + chars  the interface's campaign name and mission name (at most
//             255 each)
#include <memory>
#include <string>

#include "app/Game.h"
#include "app/GameConsole.h"
#include "app/GameServices.h"
#include "app/SoundEngine.h"
#include "console/CommandInterpreter.h"
#include "core/ShownText.h"
#include "core/VFSFile.h"
#include "netgame/NetGame.h"
#include "platform/sound/Sound.h"
#include "platform/sys/Path.h"
#include "ui/Interface.h"
#include "world/GameScene.h"
#include "world/Player.h"
#include "world/StateText.h"

namespace {

constexpr uint16_t kMaxText = 255;

class CGameSavedView : public ISavedGamePart {
public:
    explicit CGameSavedView(CGame& game) : m_game(game) {}
    uint32_t SavedTag() const override { return SavedGame::kTagView; }

    void SaveSection(CStateArchive& ar) override {
        CInterface* ui = m_game.Interface();
        CGameCamera camera;
        if (ui) camera = ui->m_camera;
        float values[7] = {camera.m_focusX,   camera.m_focusZ, camera.m_heading,   camera.m_pitch,
                           camera.m_distance, camera.m_zoom,   camera.m_maxVisible};
        ar.F32s(values, 7);
        SoundEngine* sound = m_game.Sound();
        CStrBuf music = sound && sound->m_music ? sound->m_musicName : CStrBuf();
        StateText_Transfer(ar, music, kMaxText);
        ar.WriteU8(music.IsEmpty() ? 0 : 1);
        if (!music.IsEmpty()) ar.WriteU32(static_cast<uint32_t>(sound->m_music->PositionMs()));
        CStrBuf campaign = ui ? ui->m_campaignName : CStrBuf(), mission = ui ? ui->m_missionName : CStrBuf();
        StateText_Transfer(ar, campaign, kMaxText);
        StateText_Transfer(ar, mission, kMaxText);
    }

    bool LoadSection(CStateArchive& ar) override {
        float values[7] = {};
        const CStateArchive::EMode mode = ar.SetReadMode(CStateArchive::kApply);
        ar.F32s(values, 7);
        CStrBuf music, campaign, mission;
        StateText_Transfer(ar, music, kMaxText);
        const uint8_t playing = ar.ReadU8();
        const uint32_t position = playing ? ar.ReadU32() : 0;
        StateText_Transfer(ar, campaign, kMaxText);
        StateText_Transfer(ar, mission, kMaxText);
        ar.SetReadMode(mode);
        for (float v : values)
            if (!(v == v && v > -1.0e6f && v < 1.0e6f)) ar.Fail();
        if (!ar.Ok()) return false;
        if (!ar.IsApplying()) return true;
        if (CInterface* ui = m_game.Interface()) {
            CGameCamera& camera = ui->m_camera;
            camera.m_focusX = values[0];
            camera.m_focusZ = values[1];
            camera.m_heading = values[2];
            camera.m_pitch = values[3];
            camera.m_distance = values[4];
            camera.m_zoom = values[5];
            camera.m_maxVisible = values[6];
            ui->m_campaignName = campaign;
            ui->m_missionName = mission;
        }
        // The music goes on where it was, from a play list of its own.
        if (SoundEngine* sound = m_game.Sound()) {
            if (sound->m_playlist) sound->m_playlist->Clear();
            if (playing && !music.IsEmpty())
                SoundEngine_Stream(sound, music.GetText(), static_cast<int32_t>(position));
        }
        return true;
    }

private:
    CGame& m_game;
};

// The first "%s" of a text given the value; every other '%' stands as it is
// (a language script's text is never a format).
std::string WithName(const char* text, const char* name) {
    std::string out = text ? text : "";
    const size_t at = out.find("%s");
    if (at != std::string::npos) out.replace(at, 2, name ? name : "");
    return out;
}

}  // namespace

void CGame::ConnectSavedGames() {
    if (!m_netGame) return;
    if (!m_savedView) m_savedView.reset(new CGameSavedView(*this));
    m_netGame->AddSavedPart(m_savedView.get());
}

void CGame::DisconnectSavedGames() {
    if (m_netGame && m_savedView) m_netGame->RemoveSavedPart(m_savedView.get());
    m_savedView.reset();
}

bool CGame::SaveCurrentGame() {
    CGameScene* scene = Scene();
    CNetGame* net = m_netGame;
    if (!scene || !net || m_guiWord != 0 || m_gameState != 2) return false;
    // A game that is won or lost is over (a spectator's goes on).
    CPlayer* local = scene->LocalPlayer();
    const bool watching = local && local->m_race && local->m_race->m_watching;
    if ((scene->WinGame || scene->LooseGame) && !watching) return false;
    // "<map> (<players>) <n>", the first number free.
    const std::string map = net->m_joinedInfo.m_mapFile.GetText();
    const size_t slash = map.find_last_of("\\/");
    const std::string mapName = slash == std::string::npos ? map : map.substr(slash + 1);
    const std::string base = GetPath("Save", mapName.c_str());
    std::string path;
    for (int n = 1;; ++n) {
        path = base + " (" + std::to_string(net->CountPlayers()) + ") " + std::to_string(n);
        if (!FileExists(path.c_str())) break;
    }
    // SYSLID_GAMESAVED (23), the language's words, or the English ones.
    const char* text = GetSystemText(23);
    const std::string saved =
        WithName(text && *text ? text : "Game saved", net->m_joinedInfo.m_mapFile.GetText());
    const std::string file = path.substr(path.find_last_of("\\/") + 1);
    const bool asked =
        net->RequestSave(path.c_str(), [saved, path, file](bool written, const std::string& why) {
            if (written) {
                Game_PrintColor(255, 255, 255, true, "%s", saved.c_str());
                Game_Printf("Saved game '%s'", file.c_str());
            } else
                Game_PrintColor(255, 0, 0, true, "Unable to write saved game '%s': %s", path.c_str(),
                                why.c_str());
        });
    if (!asked) {
        Game_PrintColor(255, 0, 0, true, "Unable to save the game now: a save is under way");
        return false;
    }
    if (m_interface && m_interface->m_activeGUI != 1000 && m_inputManager)
        if (CCommandInterpreter* ip = Game_Interpreter(this)) ip->Execute(false, "G_JumpToMenu(1);");
    return true;
}

bool CGame::LoadSavedGame(const char* name) {
    CNetGame* net = m_netGame;
    if (!net) return false;
    std::string error;
    SSavedGameInfo info;
    if (!net->HostSavedGame(name, &info, error)) {
        Game_PrintColor(255, 0, 0, true, "Error loading saved game '%s': %s", Text_Shown(name).c_str(),
                        error.c_str());
        return false;
    }
    if (!name || !*name) {
        Game_Print("The next game starts anew");
        return true;
    }
    // Its game type and its map: every machine loads the map of the game.
    m_vars.gameType = static_cast<int32_t>(info.gameType);
    if (!SetMapName(info.mapFile.GetText())) {
        net->HostSavedGame("", nullptr, error);
        return false;
    }
    net->AnnounceMap(m_mapName.GetText());
    Game_Printf("The next start continues the saved game '%s' on '%s'", name, info.mapFile.GetText());
    return true;
}
