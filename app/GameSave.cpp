// The game's side of saved games: its own fields of the file (what the
// player saw and heard), the save of the running game under its numbered
// name and the saved game the next start continues.
//
// The game's fields (6 to 11 of the file, netgame/SavedGame.h), little-endian:
//   15 x u32  the effects' settings: f32 the cursor light's range, height,
//             strength and variation, f32 the share of polygons a blow
//             throws, u32 0, u32 x 3 the fog's colour, u32 x 3 its half
//             colour, u32 x 3 the sun's colour; then f32 x 3 the sun's angles
//   6 x u32   the camera: f32 focus x and z, heading, pitch, distance, and
//             the pitch again
//   u16 + chars  the music's stream name (at most 255), u8 playing, and
//             when playing u32 its position (milliseconds)
//   u16 + chars  the interface's campaign name and mission name (at most
//             255 each)
#include <cmath>
#include <cstring>
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
#include "world/ExplosionManager.h"
#include "world/GameScene.h"
#include "world/Player.h"
#include "world/StateText.h"
#include "world/World.h"

namespace {

constexpr uint16_t kMaxText = 255;

uint32_t Bits(float v) {
    uint32_t u;
    std::memcpy(&u, &v, 4);
    return u;
}

float Float(uint32_t u) {
    float v;
    std::memcpy(&v, &u, 4);
    return v;
}

bool Sane(float v, float limit) {
    return std::isfinite(v) && std::fabs(v) <= limit;
}

class CGameSavedView : public ISavedGameView {
public:
    explicit CGameSavedView(CGame& game) : m_game(game) {}

    void SaveView(CStateArchive& ar) override {
        // 6: the effects.
        if (CWorld* world = m_game.World()) {
            const CExplosionManager& e = world->Explosions();
            for (float v : {e.m_lightRange, e.m_lightHeight, e.m_lightStrength, e.m_lightVariation,
                            e.m_polygonBlowAmount})
                ar.WriteU32(Bits(v));
            ar.WriteU32(0);
            for (const int32_t* colour : {e.m_fogColour, e.m_fogHalfColour, e.m_sunColour})
                for (int i = 0; i < 3; ++i) ar.WriteI32(colour[i]);
            float sun[3] = {e.m_sunAngles[0], e.m_sunAngles[1], e.m_sunAngles[2]};
            ar.F32s(sun, 3);
        } else {
            // The settings' own start values.
            for (float v : {6.5f, 2.0f, 0.2f, 2.0f, 1.0f}) ar.WriteU32(Bits(v));
            for (uint32_t v : {0u, 1u, 1u, 60u, 128u, 64u, 64u, 256u, 256u, 256u}) ar.WriteU32(v);
            float sun[3] = {0.7853982f, 0.7853982f, 0.7853982f};
            ar.F32s(sun, 3);
        }
        // 7: the camera.
        CInterface* ui = m_game.Interface();
        CGameCamera camera;
        if (ui) camera = ui->m_camera;
        for (float v : {camera.m_focusX, camera.m_focusZ, camera.m_heading, camera.m_pitch, camera.m_distance,
                        camera.m_pitch})
            ar.WriteU32(Bits(v));
        // 8 to 10: the music.
        SoundEngine* sound = m_game.Sound();
        CStrBuf music = sound && sound->m_music ? sound->m_musicName : CStrBuf();
        StateText_Transfer(ar, music, kMaxText);
        ar.WriteU8(music.IsEmpty() ? 0 : 1);
        if (!music.IsEmpty()) ar.WriteU32(static_cast<uint32_t>(sound->m_music->PositionMs()));
        // 11: the interface's two strings.
        CStrBuf campaign = ui ? ui->m_campaignName : CStrBuf(), mission = ui ? ui->m_missionName : CStrBuf();
        StateText_Transfer(ar, campaign, kMaxText);
        StateText_Transfer(ar, mission, kMaxText);
    }

    bool LoadView(CStateArchive& ar, std::string* why) override {
        const CStateArchive::EMode mode = ar.SetReadMode(CStateArchive::kApply);
        uint32_t effects[15], camera[6];
        for (uint32_t& v : effects) v = ar.ReadU32();
        float sun[3] = {};
        ar.F32s(sun, 3);
        for (uint32_t& v : camera) v = ar.ReadU32();
        CStrBuf music, campaign, mission;
        StateText_Transfer(ar, music, kMaxText);
        const uint8_t playing = ar.ReadU8();
        const uint32_t position = playing ? ar.ReadU32() : 0;
        StateText_Transfer(ar, campaign, kMaxText);
        StateText_Transfer(ar, mission, kMaxText);
        ar.SetReadMode(mode);
        auto fail = [why](const char* text) {
            if (why) *why = text;
            return false;
        };
        if (!ar.Ok()) return fail("cut short");
        if (playing > 1) return fail("the music is neither playing nor still");
        for (int i = 0; i < 5; ++i)
            if (!Sane(Float(effects[i]), 1.0e6f)) return fail("an effect setting out of range");
        for (int i = 6; i < 15; ++i)
            if (effects[i] > 4096) return fail("a colour out of range");
        for (float v : sun)
            if (!Sane(v, 100.0f)) return fail("the sun's angles out of range");
        for (uint32_t v : camera)
            if (!Sane(Float(v), 1.0e6f)) return fail("the camera out of range");
        if (!ar.IsApplying()) return true;
        if (CWorld* world = m_game.World()) {
            CExplosionManager& e = world->Explosions();
            e.m_lightRange = Float(effects[0]);
            e.m_lightHeight = Float(effects[1]);
            e.m_lightStrength = Float(effects[2]);
            e.m_lightVariation = Float(effects[3]);
            e.m_polygonBlowAmount = Float(effects[4]);
            for (int i = 0; i < 3; ++i) {
                e.m_fogColour[i] = static_cast<int32_t>(effects[6 + i]);
                e.m_fogHalfColour[i] = static_cast<int32_t>(effects[9 + i]);
                e.m_sunColour[i] = static_cast<int32_t>(effects[12 + i]);
                e.m_sunAngles[i] = sun[i];
            }
        }
        if (CInterface* ui = m_game.Interface()) {
            CGameCamera& c = ui->m_camera;
            c.m_focusX = Float(camera[0]);
            c.m_focusZ = Float(camera[1]);
            c.m_heading = Float(camera[2]);
            c.m_pitch = Float(camera[3]);
            c.m_distance = Float(camera[4]);
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

    std::string BriefingAnimation() override {
        CInterface* ui = m_game.Interface();
        return ui ? ui->m_briefingAnimation.GetText() : "";
    }

    void RestoreMap(const char* mapFolder) override { m_game.RestoreRadar(mapFolder); }

    void RestoreBriefingAnimation(const char* name) override {
        CCommandInterpreter* ip = Game_Interpreter(&m_game);
        if (!ip || !name) return;
        // The name goes in quotes: one that could end them is not run.
        if (std::strchr(name, '"') || std::strchr(name, '\n') || std::strchr(name, '\r')) return;
        CStrBuf line;
        line.Format("g_SetCampaignBriefingAnimation(\"%s\");", name);
        ip->Execute(false, line.GetText());
    }

    void LoadFailed() override {
        if (CInterface* ui = m_game.Interface())
            ui->ActivateConfirmDialog("Load failed", nullptr, "OK", nullptr, true);
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
    m_netGame->SetSavedView(m_savedView.get());
}

void CGame::DisconnectSavedGames() {
    if (m_netGame) m_netGame->SetSavedView(nullptr);
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
