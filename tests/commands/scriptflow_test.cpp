// Exec, If, IfNot, Flip and the constants, driven by command text.
#include "commands/ScriptFlow.h"

#include <gtest/gtest.h>

#include <string>

#include "console/CommandTable.h"
#include "core/VFSTable.h"
#include "tests/console/CommandTestHost.h"
#include "tools/lib/PackWriter.h"

namespace {
int g_changes = 0;
void Changed(CConsoleCommand*, SCommandArgs*, CVFSFile*) {
    ++g_changes;
}

struct ScriptFlow : ::testing::Test {
    CTestCommandHost host;
    int32_t gameMode = 0;
    int32_t high = 7;
    uint8_t flag = 0;
    float f = 1.0f;
    CStrBuf empty;
    CStrBuf full;
    void SetUp() override {
        g_changes = 0;
        host.MakeRoot();
        full.Assign("x");
        RegisterScriptCommands(&host.interpreter);
        const SCommandRow rows[] = {
            SCommandRow::Function("echo", TestCmd_Echo, "", ""),
            SCommandRow::Int("GameMode", &gameMode, 0, 2, "", "").OnChange(Changed),
            SCommandRow::Int("High", &high, 5, 9, "", ""),
            SCommandRow::Bool("Flag", &flag, "", "").OnChange(Changed),
            SCommandRow::Float("Fl", &f, -5.0f, 5.0f, "", ""),
            SCommandRow::String("Empty", &empty, 10, "", ""),
            SCommandRow::String("Full", &full, 10, "", ""),
        };
        CommandTable_Register(&host.interpreter, rows);
    }
};
}  // namespace

TEST_F(ScriptFlow, Branches) {
    struct Case {
        const char* text;
        const char* lines;
    };
    const Case cases[] = {
        {"If(\"true\", \"echo(\\\"yes\\\");\");", "yes"},
        {"IfNot(\"false\", \"echo(\\\"no\\\");\");", "no"},
        {"If(\"false\", \"echo(1);\"); IfNot(\"true\", \"echo(2);\");", ""},
        {"If(\"true\", \"echo(\\\"a\\\");\", \"x\"); If(\"true\");", ""},
        {"If(\"NoSuchVar\", \"echo(1);\");", ""},
        {"If(\"Full\", \"echo(1);\"); If(\"Empty\", \"echo(2);\");", "1"},
        {"IfNot(\"Full\", \"echo(1);\"); IfNot(\"Empty\", \"echo(2);\");", ""},
        {"If(\"Fl\", \"echo(1);\"); IfNot(\"Fl\", \"echo(2);\"); If(\"echo\", \"echo(3);\");", ""},
        {"If(\"gamemode\", \"echo(1);\"); IfNot(\"GAMEMODE\", \"echo(2);\");", "2"},
        // A bare bool variable stands for the constant of its value.
        {"If(Flag, \"echo(1);\"); IfNot(Flag, \"echo(2);\");", "2"},
        {"If(\"true\", \"echo(1); echo(2); nope;\");", "1|2|No such command: nope"},
        // The text to run may be a word held in the argument's own buffer.
        {"If(\"true\", Hello);", "No such command: Hello"},
        {"If(\"true\", \"If(\\\"true\\\", \\\"echo(deep);\\\");\");", "deep"},
    };
    for (const Case& c : cases) EXPECT_EQ(host.Run(c.text), c.lines) << c.text;
}

TEST_F(ScriptFlow, FlipNegatesAndCallsBack) {
    EXPECT_EQ(host.Run("Flip(\"true\"); true;"), "true is read only|true = true");
    EXPECT_EQ(host.Run("GameMode(2); Flip(\"GameMode\"); GameMode;"), "GameMode = 0");
    EXPECT_EQ(host.Run("Flip(\"GameMode\"); GameMode;"), "GameMode = 1");
    EXPECT_EQ(g_changes, 3);
    // Flipping ignores the limits, as it always has.
    host.Run("Flip(\"High\");");
    EXPECT_EQ(high, 0);
    host.Run("Flip(\"High\");");
    EXPECT_EQ(high, 1);
    g_changes = 0;
    host.Run("Flip(\"Flag\"); Flip(\"Flag\", \"x\"); Flip(\"Nothing\"); Flip(\"Full\"); Flip(\"Fl\");");
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(g_changes, 1);
    EXPECT_STREQ(full.GetText(), "x");
    // A bare name is replaced by its value before Flip sees it.
    EXPECT_EQ(host.Run("Flip(Flag);"), "true is read only");
}

TEST_F(ScriptFlow, ExecRunsScriptFilesThroughTheFileTable) {
    host.WriteFile("Scripts/Start.cfg", "// start-up\r\necho(\"one\");\r\nGameMode 2\r\n");
    host.WriteFile("Scripts/Config/Other.cfg", "echo(other)");
    EXPECT_EQ(host.Run("Exec(\"Start.cfg\", \"Config\\\\Other.cfg\");"), "one");
    EXPECT_EQ(gameMode, 2);  // the last statement ran without its ';'
    EXPECT_EQ(host.Run("Exec(Config\\Other.cfg); Exec \"START.CFG\";"), "other|one");
    EXPECT_EQ(host.Run("Exec;"), "");
    EXPECT_EQ(host.Run("Exec(\"NoSuchScript.cfg\");"),
              "File '" + host.root + "\\Scripts\\NoSuchScript.cfg' not found| | ");

    // A member of a mounted pack runs like a loose file.
    CPackWriter pack;
    pack.Add("Scripts\\Packed\\Inner.cfg", "echo(\"packed\");");
    std::string packPath = host.root + "\\Scripts.box";
    std::string linux;
    ASSERT_TRUE(Sys_ResolvePath(packPath.c_str(), linux));
    ASSERT_TRUE(pack.WriteTo(linux));
    g_VFS.SetRoot(host.root.c_str());
    ASSERT_TRUE(g_VFS.MountPack(packPath.c_str()));
    EXPECT_EQ(host.Run("Exec(\"Packed\\\\inner.cfg\");"), "packed");
}

TEST_F(ScriptFlow, AScriptThatRunsItselfStopsAtTheDepthLimit) {
    host.WriteFile("Scripts/Self.cfg", "Exec(\"Self.cfg\"); Exec(\"Self.cfg\"); echo(after);");
    std::string out = host.Run("Exec(\"Self.cfg\"); echo(done);");
    const std::string message = "Command text nested more than 32 levels deep; the run is stopped";
    EXPECT_EQ(out, message + "|done");
    EXPECT_EQ(host.interpreter.GetDepth(), 0);
    // The next run starts afresh.
    EXPECT_EQ(host.Run("echo(again);"), "again");
}

TEST_F(ScriptFlow, LastBindingsFileNotifiesTheInput) {
    host.Run("input_LastFile(\"Commands_Game.cfg\");");
    EXPECT_EQ(host.bindingsChanged, 1);
    EXPECT_STREQ(host.interpreter.LastBindingsFile().GetText(), "Commands_Game.cfg");
    std::string longName(300, 'n');
    host.Run(("input_LastFile(\"" + longName + "\");").c_str());
    EXPECT_EQ(std::string(host.interpreter.LastBindingsFile().GetText()), std::string(260, 'n'));
    // None of the script-flow rows is saved.
    for (CConsoleCommand* c = host.interpreter.First(); c; c = c->Next())
        EXPECT_STREQ(c->GetConfigFile(), "") << c->GetName();
}
