// Switching the game directory: the new directory's start-up script runs,
// the commands are registered only once.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/Game.h"
#include "app/GameRoles.h"
#include "app/GameServices.h"
#include "app/InputManager.h"
#include "commands/CommandAreas.h"
#include "console/CommandInterpreter.h"
#include "tests/support/TempDir.h"
#include "ui/Interface.h"

namespace {
struct SCapture {
    std::vector<std::string> lines;
    static void Sink(void* user, const char* text, int, int, int, bool) {
        static_cast<SCapture*>(user)->lines.push_back(text);
    }
    bool Has(const std::string& line) const {
        for (const std::string& l : lines)
            if (l == line) return true;
        return false;
    }
};
}  // namespace

TEST(GameDirectoryTest, SwitchRunsTheNewStartupAndRegistersCommandsOnce) {
    CTempDir dir;
    dir.Write("Tessarak/Scripts/Startup.cfg", "echo(\"startup of Tessarak\");\n");
    dir.Write("Mod/Scripts/Startup.cfg", "echo(\"startup of Mod\");\n");

    CGame game(nullptr, "No datafile");
    game.SetInstallDir(dir.Win().c_str());
    game.SetInterface(new CInterface(game.Roles().Interface()));
    game.Interface()->m_console.Init(200, 17, 8);
    SCapture printed;
    game.Interface()->m_console.SetLineSink(&SCapture::Sink, &printed);
    Commands_Install();
    Game_CreateInput(&game);
    CCommandInterpreter* ip = game.InputManager()->Interpreter();
    ASSERT_NE(ip, nullptr);

    game.SetGameDir("None");
    ASSERT_TRUE(game.ExecStartup("Tessarak"));
    EXPECT_TRUE(printed.Has("Executing 'Startup.cfg'..."));
    EXPECT_TRUE(printed.Has("startup of Tessarak"));
    EXPECT_EQ(game.GuiWord(), 1);
    EXPECT_TRUE(game.Interface()->m_console.IsVisible());
    int32_t commands = ip->GetCount();
    EXPECT_GT(commands, 0);

    printed.lines.clear();
    ASSERT_TRUE(game.ExecStartup("Mod"));
    EXPECT_TRUE(printed.Has("startup of Mod"));
    EXPECT_EQ(ip->GetCount(), commands);
    EXPECT_EQ(std::string(game.RootDir().GetText()), dir.Win() + "\\Mod");
    EXPECT_TRUE(std::filesystem::is_directory(dir.File("Mod/Cache")));

    // The folder must exist below the installation.
    printed.lines.clear();
    EXPECT_FALSE(game.ExecStartup("Missing"));
    EXPECT_TRUE(printed.Has("Game directory not found: Missing"));
    EXPECT_STREQ(game.GameDir().GetText(), "Mod");

    Game_DeleteInput(&game);
    delete game.Interface();
    game.SetInterface(nullptr);
}
