// Configuration files written by the registry and read back as scripts
// through the file table.
#include <gtest/gtest.h>

#include <string>

#include "commands/ScriptFlow.h"
#include "console/CommandTable.h"
#include "core/VFSFile.h"
#include "tests/console/CommandTestHost.h"

namespace {
const char kHeader[] =
    "// This file is auto generated and will be overwritten. Change, but do not add.\r\n\r\n";

void WriteBinding(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    if (!file) return;
    const char line[] = "Bind(\"A\", \"Echo(1);\");\r\n";
    file->Write(line, sizeof line - 1);
    (void)record;
}

struct Settings {
    int32_t i = -3;
    float f = 0.25f;
    uint8_t b = 1;
    CStrBuf s;
    int32_t other = 7;
    int32_t unsaved = 1;
};

void Register(CCommandInterpreter& ip, Settings& st) {
    const SCommandRow rows[] = {
        SCommandRow::Int("V", &st.i, -100, 100, "", "").Config("Config.cfg"),
        SCommandRow::Float("F", &st.f, -10.0f, 10.0f, "", "").Config("config.CFG"),
        SCommandRow::Bool("B", &st.b, "", "").Config("Config.cfg"),
        SCommandRow::String("S", &st.s, 1000, "", "").Config("Player.cfg"),
        SCommandRow::Int("Other", &st.other, 0, 100, "", "").Config("Player.cfg"),
        SCommandRow::Int("Unsaved", &st.unsaved, 0, 100, "", ""),
        SCommandRow::Function("Keys", WriteBinding, "", "").Config("Keyboard.cfg"),
    };
    CommandTable_Register(&ip, rows);
    ip.SortCommands();
}
}  // namespace

TEST(ConfigFiles, LinesHeaderAndSharedFiles) {
    CTestCommandHost host;
    host.MakeRoot();
    Settings st;
    st.s.Assign("Player One");
    Register(host.interpreter, st);
    EXPECT_EQ(host.interpreter.SaveConfigFiles(), 0);
    // Names that differ only in case share one file, named as the first entry
    // in list order spells it.
    EXPECT_EQ(host.ReadFile("Scripts/Config/Config.cfg"),
              std::string(kHeader) + "B(true);\r\nF(0.250000);\r\nV(-3);\r\n");
    EXPECT_EQ(host.ReadFile("Scripts/Config/config.CFG"), "<missing>");
    EXPECT_EQ(host.ReadFile("Scripts/Config/Player.cfg"),
              std::string(kHeader) + "Other(7);\r\nS(\"Player One\");\r\n");
    EXPECT_EQ(host.ReadFile("Scripts/Config/Keyboard.cfg"),
              std::string(kHeader) + "Bind(\"A\", \"Echo(1);\");\r\n");
    EXPECT_EQ(host.ReadFile("Scripts/Config/Config.cfg.tmp"), "<missing>");
}

TEST(ConfigFiles, RoundTripOfAnyPrintableText) {
    const char* texts[] = {
        "plain",
        "",
        "with \"quotes\" inside",
        "back\\slash\\",
        "C:\\Games\\Tessarak\\",
        "\\\"",
        "semi;colon // not a comment",
        "(paren) , comma",
        "trailing blank ",
    };
    std::string all;
    for (int c = 32; c < 127; ++c) all += static_cast<char>(c);
    std::vector<std::string> cases(texts, texts + sizeof texts / sizeof texts[0]);
    cases.push_back(all);
    cases.push_back("carriage\rreturn");

    CTestCommandHost host;
    host.MakeRoot();
    Settings st;
    Register(host.interpreter, st);
    RegisterScriptCommands(&host.interpreter);
    for (const std::string& text : cases) {
        st.s.Assign(text.c_str());
        st.i = 42;
        st.f = -1.5f;
        st.b = 0;
        ASSERT_EQ(host.interpreter.SaveConfigFiles(), 0);
        st.s.Assign("changed");
        st.i = 0;
        st.f = 0;
        st.b = 1;
        host.lines.clear();
        host.Run("Exec(\"Config\\\\Player.cfg\"); Exec(\"Config\\\\Config.cfg\");");
        EXPECT_EQ(host.Joined(), "") << text;
        EXPECT_EQ(std::string(st.s.GetText()), text);
        EXPECT_EQ(st.i, 42);
        EXPECT_EQ(st.f, -1.5f);
        EXPECT_EQ(st.b, 0);
    }
}

TEST(ConfigFiles, NotSavedBeforeStartupCompleted) {
    CTestCommandHost host;
    host.MakeRoot();
    Settings st;
    Register(host.interpreter, st);
    host.interpreter.SetConfigSaveEnabled(false);
    host.lines.clear();
    EXPECT_EQ(host.interpreter.SaveConfigFiles(), 0);
    EXPECT_EQ(host.Joined(), "Settings were not saved: start-up did not complete");
    EXPECT_EQ(host.ReadFile("Scripts/Config/Config.cfg"), "<missing>");
}

TEST(ConfigFiles, AFileThatCannotBeWrittenIsReportedAndTheOthersStillWritten) {
    CTestCommandHost host;
    const std::string root = host.MakeRoot();
    // A folder where Config.cfg should go: the rename over it fails.
    host.WriteFile("Scripts/Config/Config.cfg/keep", "old");
    Settings st;
    Register(host.interpreter, st);
    host.lines.clear();
    EXPECT_EQ(host.interpreter.SaveConfigFiles(), 1);
    ASSERT_EQ(host.lines.size(), 1u);
    EXPECT_EQ(host.lines[0].text.find("Could not write the configuration file "), 0u);
    EXPECT_NE(host.lines[0].text.find("Config.cfg"), std::string::npos);
    EXPECT_EQ(host.ReadFile("Scripts/Config/Config.cfg/keep"), "old");
    EXPECT_EQ(host.ReadFile("Scripts/Config/Config.cfg.tmp"), "<missing>");
    EXPECT_NE(host.ReadFile("Scripts/Config/Player.cfg"), "<missing>");
}

TEST(ConfigFiles, AReadOnlyInstallationKeepsTheSettingsInUserData) {
    CTestCommandHost host;
    const std::string root = host.MakeRoot();
    host.WriteFile("Scripts/Config/Config.cfg", "V(5);");
    char pattern[] = "/tmp/tessarak-userdata-XXXXXX";
    const std::string userData = mkdtemp(pattern);
    setenv("XDG_DATA_HOME", userData.c_str(), 1);
    Sys_SetInstallFolder(root.c_str(), 0);

    Settings st;
    Register(host.interpreter, st);
    RegisterScriptCommands(&host.interpreter);
    host.Run("Exec(\"Config\\\\Config.cfg\");");
    EXPECT_EQ(st.i, 5);
    st.i = 17;
    EXPECT_EQ(host.interpreter.SaveConfigFiles(), 0);
    st.i = 0;
    host.Run("Exec(\"Config\\\\Config.cfg\");");
    EXPECT_EQ(st.i, 17);
    EXPECT_EQ(host.ReadFile("Scripts/Config/Config.cfg"), "V(5);");  // the installation is untouched
    FILE* saved = std::fopen((Sys_GetUserDataFolder() + "/Scripts/Config/Config.cfg").c_str(), "rb");
    EXPECT_NE(saved, nullptr);
    if (saved) std::fclose(saved);

    Sys_SetInstallFolder(nullptr);
    unsetenv("XDG_DATA_HOME");
    std::string cmd = "rm -rf '" + userData + "'";
    EXPECT_EQ(std::system(cmd.c_str()), 0);
}

// A settings file the player edited by hand and got wrong: the statements
// after the bad one still run, and at the next save the player's copy is
// kept beside the new file instead of being overwritten.
TEST(ConfigFiles, AFileThatDidNotReadCleanlyIsKeptBeforeItIsReplaced) {
    CTestCommandHost host;
    host.MakeRoot();
    Settings st;
    Register(host.interpreter, st);
    RegisterScriptCommands(&host.interpreter);
    const std::string mine = "S(\"C:\\Fonts\\Tahoma\");\r\nOther(42);\r\n";
    host.WriteFile("Scripts/Config/Player.cfg", mine);
    host.WriteFile("Scripts/Config/Config.cfg", "V(9);\r\n");
    host.Run("Exec(\"Config\\\\Player.cfg\"); Exec(\"Config\\\\Config.cfg\");");
    EXPECT_EQ(st.other, 42);
    EXPECT_EQ(st.i, 9);
    ASSERT_EQ(host.lines.size(), 1u);
    EXPECT_NE(host.lines[0].text.find("Player.cfg, line 1: \\ has to be followed be"), std::string::npos);

    host.lines.clear();
    EXPECT_EQ(host.interpreter.SaveConfigFiles(), 0);
    const std::string path = host.root + "\\Scripts\\Config\\Player.cfg";
    EXPECT_EQ(host.Joined(), path + " did not read cleanly: the player's copy is kept as " + path + ".bad");
    EXPECT_EQ(host.ReadFile("Scripts/Config/Player.cfg.bad"), mine);
    EXPECT_EQ(host.ReadFile("Scripts/Config/Player.cfg"),
              std::string(kHeader) + "Other(42);\r\nS(\"\");\r\n");
    EXPECT_EQ(host.ReadFile("Scripts/Config/Config.cfg"),
              std::string(kHeader) + "B(true);\r\nF(0.250000);\r\nV(9);\r\n");

    // The next save finds nothing to keep: the file it wrote is the game's.
    host.WriteFile("Scripts/Config/Player.cfg.bad", "older");
    host.lines.clear();
    EXPECT_EQ(host.interpreter.SaveConfigFiles(), 0);
    EXPECT_EQ(host.Joined(), "");
    EXPECT_EQ(host.ReadFile("Scripts/Config/Player.cfg.bad"), "older");
}

TEST(ConfigFiles, AFileTooLargeToRunIsRefusedAndKept) {
    CTestCommandHost host;
    const std::string dir = host.MakeRoot();
    Settings st;
    Register(host.interpreter, st);
    host.WriteFile("Scripts/Config/Config.cfg", "V(1);");
    ASSERT_EQ(truncate((dir + "/Scripts/Config/Config.cfg").c_str(), kMaxScriptBytes + 1), 0);
    const std::string path = host.root + "\\Scripts\\Config\\Config.cfg";
    host.lines.clear();
    EXPECT_FALSE(host.interpreter.ExecuteFile(path.c_str()));
    EXPECT_EQ(host.Joined(), "File '" + path + "' is too large to run (16777217 bytes; at most 16777216)");
    EXPECT_FALSE(host.interpreter.ReadCleanly(path.c_str()));
}
