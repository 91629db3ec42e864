// The video commands on a game without a display: the settings they print,
// store and write to Video.cfg, the character set, and the restart notice.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/Game.h"
#include "app/GameRoles.h"
#include "app/GameServices.h"
#include "app/InputManager.h"
#include "console/CommandInterpreter.h"
#include "core/VFSFile.h"
#include "tests/support/TempDir.h"
#include "ui/Interface.h"

namespace {

class VideoCommands : public ::testing::Test {
protected:
    void SetUp() override {
        game.SetInterface(new CInterface(game.Roles().Interface()));
        game.Interface()->m_console.Init(500, 17, 8);
        game.Interface()->m_console.SetLineSink(
            [](void* user, const char* text, int, int, int, bool) {
                static_cast<VideoCommands*>(user)->lines.push_back(text);
            },
            this);
        Game_CreateInput(&game);
        ip = game.InputManager()->Interpreter();
    }
    void TearDown() override {
        Game_DeleteInput(&game);
        delete game.Interface();
        game.SetInterface(nullptr);
    }
    std::vector<std::string> Run(const char* text) {
        lines.clear();
        ip->Execute(false, text);
        return lines;
    }
    // The command's line as the configuration writer puts it into Video.cfg.
    std::string ConfigLine(const char* name) {
        CTempDir dir;
        std::string path = dir.WinFile("Video.cfg");
        CVFSFile file;
        if (!file.Open(path.c_str(), CVFSFile::kModeWrite)) return "<not opened>";
        SCommandArgs args;
        CConsoleCommand* c = ip->GetCommand(name);
        if (!c || !c->GetHandler()) return "<no command>";
        c->GetHandler()(c, &args, &file);
        file.Close();
        return dir.Read("Video.cfg");
    }

    CGame game{nullptr, "No datafile"};
    CCommandInterpreter* ip = nullptr;
    std::vector<std::string> lines;
};

using Lines = std::vector<std::string>;

}  // namespace

TEST_F(VideoCommands, SettingsPrintStoreAndWrite) {
    SVideoSettings& s = game.Video(0);
    EXPECT_EQ(Run("Vid_Resolution();"), Lines{"Vid_Resolution = 640 x 480"});
    Run("Vid_Resolution(800, 600);");
    EXPECT_EQ(s.width, 800);
    EXPECT_EQ(s.height, 600);
    Run("Vid_Resolution(0, 1024, 768);");  // the monitor number is not taken
    EXPECT_EQ(s.width, 800);
    Run("Vid_Hardware(false);");
    EXPECT_EQ(s.hardware, 0);
    Run("Vid_Hardware(\"Off\");");  // only a leading 0 or lower-case f is false
    EXPECT_EQ(s.hardware, 1);
    Run("Vid_Hardware(\"F\");");
    EXPECT_EQ(s.hardware, 1);
    Run("Vid_Windowed(0);");
    EXPECT_EQ(s.windowed, 0);
    EXPECT_EQ(Run("Vid_Windowed();"), Lines{"Vid_Windowed = false"});
    Run("Vid_BitDepth(32); Vid_RefreshRate(75); Vid_TextureDetail(2); Vid_Driver(\"second\");");
    EXPECT_EQ(s.bitDepth, 32);
    EXPECT_EQ(s.refreshRate, 75);
    EXPECT_EQ(Run("Vid_TextureDetail();"), Lines{"Vid_TextureDetail = 2 "});
    EXPECT_EQ(Run("Vid_Driver();"), Lines{"Vid_Driver = second"});
    Run("Vid_BitDepth(deep);");  // not a number: unchanged
    EXPECT_EQ(s.bitDepth, 32);

    EXPECT_EQ(ConfigLine("Vid_Resolution"), "Vid_Resolution(800,600);\r\n");
    EXPECT_EQ(ConfigLine("Vid_Driver"), "Vid_Driver(\"second\");\r\n");
    EXPECT_EQ(ConfigLine("Vid_Windowed"), "Vid_Windowed(0);\r\n");
    EXPECT_EQ(ConfigLine("Vid_RefreshRate"), "Vid_RefreshRate(75);\r\n");
}

TEST_F(VideoCommands, CharsetAndRestart) {
    Run("Vid_Charset(4);");
    EXPECT_EQ(game.CodePage(), 1251);
    Run("Vid_Charset(10);");
    EXPECT_EQ(game.CodePage(), 1252);
    Run("Vid_Charset(7);");
    EXPECT_EQ(game.CodePage(), 874);
    // No display here: nothing to restart into, and the notice when the
    // settings match what runs.
    game.SetVideoRestartPending(0);
    EXPECT_EQ(Run("Vid_Restart();"),
              Lines{"Video does not need restarting. To force a restart use vid_ForceRestart();"});
    game.SetVideoRestartPending(1);
    Run("Vid_ForceRestart();");
    EXPECT_EQ(game.VideoRestartPending(), 0);
}
