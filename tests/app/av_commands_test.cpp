// The sound commands through the game's interpreter, and the full-screen
// video step of the frames.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "app/Game.h"
#include "app/GameClock.h"
#include "app/GameRoles.h"
#include "app/GameServices.h"
#include "app/InputManager.h"
#include "app/KeyNames.h"
#include "app/SoundEngine.h"
#include "commands/CommandAreas.h"
#include "console/CommandInterpreter.h"
#include "console/ConsoleCommand.h"
#include "core/VFSFile.h"
#include "e3d/Screen.h"
#include "e3d/Video.h"
#include "netgame/NetGame.h"
#include "platform/d3d/Recorder.h"
#include "platform/sys/Path.h"
#include "platform/video/Video.h"
#include "tests/support/TempDir.h"
#include "ui/Interface.h"

namespace {
struct SCounter {
    uint64_t now = 1000;
    static uint64_t Read(void* ctx) { return static_cast<SCounter*>(ctx)->now; }
};

int64_t g_videoNow = 0;
int64_t VideoClock() {
    return g_videoNow;
}

class AVCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        game.SetClock(new CGameClock);
        game.Clock()->SetCounterSource(&SCounter::Read, &counter, 1193182.0);
        game.Clock()->Start();
        game.SetNetGame(new CNetGame(game.Roles().Net()));
        game.SetInterface(new CInterface(game.Roles().Interface()));
        game.Interface()->m_console.Init(500, 17, 8);
        game.Interface()->m_console.SetLineSink(&Sink, this);
        game.SetSound(new SoundEngine(&game));
        Commands_Install();
        Game_CreateInput(&game);
        ip = game.InputManager()->Interpreter();
        ip->RegisterAllCommands();
    }
    void TearDown() override {
        delete game.FullScreenVideo();
        game.SetFullScreenVideo(nullptr);
        Game_DeleteInput(&game);
        delete game.Sound();
        game.SetSound(nullptr);
        delete game.Interface();
        delete game.NetGame();
        delete game.Clock();
        game.SetInterface(nullptr);
        game.SetNetGame(nullptr);
        game.SetClock(nullptr);
    }
    static void Sink(void* user, const char* text, int, int, int, bool) {
        static_cast<AVCommandsTest*>(user)->lines.push_back(text);
    }
    int Count(const std::string& text) const {
        int n = 0;
        for (const std::string& l : lines) n += l == text;
        return n;
    }
    CGame game{nullptr, "No datafile"};
    SCounter counter;
    CCommandInterpreter* ip = nullptr;
    std::vector<std::string> lines;
};
}  // namespace

TEST_F(AVCommandsTest, SoundVariablesShareTheirValuesAndFileAndArgumentsAreChecked) {
    SoundEngine* e = game.Sound();
    ip->Execute(false, "sndopt_EffectsVolume(40);");
    EXPECT_EQ(e->m_effectVolume, 40);
    ip->Execute(false, "se_EffectVolume(140);");  // clamped to its range
    EXPECT_EQ(e->m_effectVolume, 100);
    ip->Execute(false, "sndopt_Quality(9); se_Channels(3);");
    EXPECT_EQ(e->m_quality, 5);
    EXPECT_EQ(e->Quality(), 4);
    EXPECT_EQ(e->m_mixChannels, 3);
    for (const char* name :
         {"se_EffectVolume", "sndopt_EffectsVolume", "se_Channels", "sndopt_Quality", "se_NoSound"})
        EXPECT_STREQ(ip->GetCommand(name)->GetConfigFile(), "Sound.cfg") << name;
    EXPECT_STREQ(ip->GetCommand("musicopt_Volume")->GetConfigFile(), "Music.cfg");
    // se_MusicVolume writes musicopt_Volume's value, within its 0 to 100.
    for (const auto& c : {std::pair<const char*, int32_t>{"se_MusicVolume(500);", 100},
                          {"se_MusicVolume(-3);", 0},
                          {"se_MusicVolume(35);", 35},
                          {"se_MusicVolume(loud);", 35}}) {
        ip->Execute(false, c.first);
        EXPECT_EQ(e->m_musicVolume, c.second) << c.first;
    }

    lines.clear();
    ip->Execute(false, "se_LoadPlayList();");
    EXPECT_EQ(Count("Error in se_LoadPlayList: To few arguments"), 1);
    ip->Execute(false, "se_ShowAttributes();");
    EXPECT_EQ(Count("S_MixingChannels : 3"), 1);
    // A looping sound needs a file and a numeric slot.
    ip->Execute(false, "se_PlayLooping(\"x.wav\"); se_PlayLooping(\"x.wav\", \"slot\");");
    for (SoundSample* s : e->m_loopSlots) EXPECT_EQ(s, nullptr);
}

TEST_F(AVCommandsTest, ConsoleBackgroundVideoIsSavedAsTheLineThatSetsItAgain) {
    CTempDir dir;
    CD3DRecorder recorder;
    DDraw_SetFactory(&recorder);
    {
        CE3DScreen screen(nullptr, nullptr);
        CConsoleCommand* row = ip->GetCommand("Console_SetBackGroundAnim");
        ASSERT_NE(row, nullptr);
        EXPECT_STREQ(row->GetConfigFile(), "Console.cfg");
        auto saved = [&]() {
            CVFSFile f;
            EXPECT_TRUE(f.Open(dir.WinFile("Console.cfg").c_str(), CVFSFile::kModeWrite));
            row->WriteVariableLine(&f);
            f.Close();
            return dir.Read("Console.cfg");
        };
        EXPECT_EQ(saved(), "Console_SetBackGroundAnim();\r\n");
        // The name is saved relative to the game's folders, never with the
        // installation's place: below the movies' folder as the command
        // takes it; a path outside the game stays as it is.
        const struct {
            std::string full;
            const char* line;
        } cases[] = {
            {game.GetPath("Movies", "Back \"1\".bik"),
             "Console_SetBackGroundAnim(\"Back \\\"1\\\".bik\");\r\n"},
            {"Y:\\Elsewhere\\x.bik", "Console_SetBackGroundAnim(\"Y:\\\\Elsewhere\\\\x.bik\");\r\n"},
        };
        for (const auto& c : cases) {
            CE3DVideo* video = new CE3DVideo(&screen);
            video->m_name.Assign(c.full.c_str());
            game.Interface()->m_console.SetBackgroundVideo(video);
            EXPECT_EQ(saved(), c.line) << c.full;
        }
        // Without an argument, or with an empty one, the command takes the
        // video away.
        for (const char* clear : {"Console_SetBackGroundAnim();", "Console_SetBackGroundAnim(\"\");"}) {
            game.Interface()->m_console.SetBackgroundVideo(new CE3DVideo(&screen));
            ip->Execute(false, clear);
            EXPECT_EQ(game.Interface()->m_console.BackgroundVideo(), nullptr) << clear;
            EXPECT_EQ(saved(), "Console_SetBackGroundAnim();\r\n") << clear;
        }
    }
    DDraw_SetFactory(nullptr);
}

TEST_F(AVCommandsTest, FullScreenVideoReplacesTheFrameAndItsEndRunsTheBindingOnce) {
    CD3DRecorder recorder;
    DDraw_SetFactory(&recorder);
    CVideoStream::SetClock(&VideoClock);
    const char* build = std::getenv("TESSARAK_BUILD");
    std::string clip =
        Sys_ToWindowsPath((std::string(build ? build : ".") + "/testmedia/counter.bik").c_str());
    {
        CE3DScreen screen(nullptr, nullptr);
        struct SCase {
            int gui, state;
        } cases[] = {{1, 0}, {0, 2}};  // an interface frame, a render frame
        for (const SCase& c : cases) {
            game.SetGuiWord(c.gui);
            game.SetGameState(c.state);
            game.Frame();
            game.InputManager()->Keys().SetBinding(0, 0, kKeyAnimEnd, "echo(\"the movie ended\");");
            CE3DVideo* video = new CE3DVideo(&screen);
            ASSERT_TRUE(video->OpenFile(clip.c_str(), false, true));
            video->Play();
            game.SetFullScreenVideo(video);
            lines.clear();
            int frames = 0;
            while (game.FullScreenVideo() && frames < 100) {
                g_videoNow += 1193182 / 25;
                game.Frame();
                ++frames;
            }
            // The frame that decodes the last picture finds the video ended:
            // it is deleted and its binding runs, once.
            EXPECT_EQ(frames, 23) << c.gui;
            EXPECT_EQ(Count("the movie ended"), 1) << c.gui;
            game.Frame();
            EXPECT_EQ(Count("the movie ended"), 1) << c.gui;
        }
    }
    CVideoStream::SetClock(nullptr);
    DDraw_SetFactory(nullptr);
}
