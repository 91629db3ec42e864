// The console's own commands, run through the game's interpreter.
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
struct SLine {
    std::string text;
    int r, g, b;
    bool echo;
};

class ConsoleCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        game.SetInterface(new CInterface(game.Roles().Interface()));
        console().Init(500, 17, 8);
        console().SetLineSink(&Sink, this);
        Commands_Install();
        Game_CreateInput(&game);
        ip = game.InputManager()->Interpreter();
        ip->RegisterAllCommands();
        lines.clear();
    }
    void TearDown() override {
        Game_DeleteInput(&game);
        delete game.Interface();
        game.SetInterface(nullptr);
    }
    static void Sink(void* user, const char* text, int r, int g, int b, bool echo) {
        static_cast<ConsoleCommandsTest*>(user)->lines.push_back({text, r, g, b, echo});
    }
    CConsole& console() { return game.Interface()->m_console; }
    void Run(const char* text) {
        lines.clear();
        ip->Execute(false, text);
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> out;
        for (const SLine& l : lines) out.push_back(l.text);
        return out;
    }
    CGame game{nullptr, "No datafile"};
    CCommandInterpreter* ip = nullptr;
    std::vector<SLine> lines;
};
}  // namespace

TEST_F(ConsoleCommandsTest, EchoAndScreenEcho) {
    Run("echo(\"hello there\");");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text, "hello there");
    EXPECT_FALSE(lines[0].echo);
    Run("ScreenEcho(\"on screen\");");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(lines[0].echo);
    Run("echo();");
    EXPECT_TRUE(lines.empty());
}

TEST_F(ConsoleCommandsTest, HelpAndSyntax) {
    Run("Help(\"echo and more\");");
    std::vector<std::string> expected = {"",
                                         "",
                                         "Help for command: echo",
                                         "",
                                         "",
                                         "SYNTAX",
                                         "",
                                         "echo(str String);",
                                         "",
                                         "",
                                         "DESCRIPTION",
                                         "",
                                         "Echos the supplied string to the console",
                                         "",
                                         ""};
    EXPECT_EQ(Texts(), expected);
    EXPECT_EQ(lines[2].b, 128);  // help colour
    Run("Help();");
    EXPECT_EQ(Texts(), std::vector<std::string>{"To arguments"});
    Run("?(\"NoSuchThing\");");
    EXPECT_EQ(Texts(), std::vector<std::string>{"No such command"});
    Run("Syntax(\"Console_Show\");");
    EXPECT_EQ(Texts(), std::vector<std::string>{"Console_Show();"});
    std::string longName = "Help(\"" + std::string(3000, 'x') + "\");";
    Run(longName.c_str());
    EXPECT_EQ(Texts(), std::vector<std::string>{"No such command"});
}

TEST_F(ConsoleCommandsTest, ShowHideAndMini) {
    Run("Console_Show();");
    EXPECT_TRUE(console().IsVisible());
    EXPECT_EQ(console().m_mini, 0);
    Run("Console_Hide();");
    EXPECT_FALSE(console().IsVisible());
    game.SetGuiWord(1);  // menus: the full console shows instead
    Run("Console_ShowMini();");
    EXPECT_TRUE(console().IsVisible());
    EXPECT_EQ(console().m_mini, 0);
    game.SetGuiWord(0);
    Run("Console_ShowMini();");
    EXPECT_EQ(console().m_mini, 1);
}

TEST_F(ConsoleCommandsTest, CommandLineRunsAndKeepsTheTypedLine) {
    console().CommandLine() = "echo(\"typed\")";
    Run("Console_ExecuteCommandLine();");
    std::vector<std::string> expected = {"echo(\"typed\")", "typed"};
    EXPECT_EQ(Texts(), expected);
    EXPECT_EQ(lines[0].g, 128);
    EXPECT_TRUE(console().CommandLine().IsEmpty());
    EXPECT_STREQ(console().GetHistory(CConsole::kHistoryLines - 1), "echo(\"typed\")");
    Run("Console_PrevHistory();");
    EXPECT_STREQ(console().CommandLine().GetText(), "echo(\"typed\")");
}

TEST_F(ConsoleCommandsTest, CmdlistCountsEveryRecord) {
    Run("Cmdlist();");
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines.back().text, "A total of " + std::to_string(ip->GetCount()) + " commands");
    int screenEcho = 0;
    for (const SLine& l : lines)
        if (l.text.rfind("ScreenEcho ", 0) == 0) ++screenEcho;
    EXPECT_EQ(screenEcho, 2);

    // Into a file of a folder that is there, and of one that is not: the
    // missing folder is not made and nothing is written.
    CTempDir dir;
    Run(("Cmdlist(\"Z:" + dir.File("list.txt") + "\");").c_str());
    EXPECT_EQ(dir.Read("list.txt").rfind("Name\tSyntax\tDescription\r\n", 0), 0u);
    Run(("Cmdlist(\"Z:" + dir.File("missing/deeper/list.txt") + "\");").c_str());
    EXPECT_FALSE(std::filesystem::exists(dir.File("missing")));
}
