// The command registry and the statement parser, driven by command text.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "commands/ScriptFlow.h"
#include "console/CommandTable.h"
#include "core/VFSTable.h"
#include "tests/console/CommandTestHost.h"
#include "tests/support/TempDir.h"
#include "tools/lib/PackWriter.h"

namespace {
int g_callbacks = 0;
void CountChange(CConsoleCommand*, SCommandArgs*, CVFSFile*) {
    ++g_callbacks;
}
int g_hostOnlyRuns = 0;
void HostOnly(CConsoleCommand*, SCommandArgs*, CVFSFile*) {
    ++g_hostOnlyRuns;
}

struct Fixture : ::testing::Test {
    CTestCommandHost host;
    CCommandInterpreter& ip = host.interpreter;
    int32_t v = 3;
    int32_t w = 0;
    float f = 0.5f;
    uint8_t flag = 0;
    uint8_t trueValue = 1;
    CStrBuf str;
    char chars[8] = "abc";

    void SetUp() override {
        g_callbacks = 0;
        g_hostOnlyRuns = 0;
        const SCommandRow rows[] = {
            SCommandRow::Function("Echo", TestCmd_Echo, "Prints its arguments", "Echo(str Text);"),
            SCommandRow::Int("V", &v, 1, 5, "An int", "V(int)").OnChange(CountChange),
            SCommandRow::Int("W", &w, -100, 100, "Another int", "W(int)"),
            SCommandRow::Float("F", &f, -1.0f, 1.0f, "A float", "F(float)").OnChange(CountChange),
            SCommandRow::Bool("Flag", &flag, "A bool", "Flag(bool)").OnChange(CountChange),
            SCommandRow::String("Str", &str, 6, "A string", "Str(str)"),
            SCommandRow::CharArray("Chars", chars, sizeof chars, "A char array", "Chars(str)"),
            SCommandRow::Bool("true", &trueValue, "Constant", "true").ReadOnly(),
            SCommandRow::Function("HostOnly", HostOnly, "", "").Mask(kStateHost),
            SCommandRow::Int("GameOnly", &w, -100, 100, "", "").Mask(kStateInGame),
        };
        ASSERT_EQ(CommandTable_Register(&ip, rows), 10);
    }
};
}  // namespace

TEST_F(Fixture, LookupIgnoresCaseAndFindsTheLaterOfTwoNames) {
    CConsoleCommand* echo = ip.GetCommand("Echo");
    ASSERT_NE(echo, nullptr);
    for (const char* spelling : {"echo", "ECHO", "eChO"}) {
        EXPECT_EQ(ip.GetCommand(spelling), echo) << spelling;
        EXPECT_EQ(ip.GetCommandLinear(spelling), echo) << spelling;
    }
    EXPECT_EQ(ip.GetCommand("Ech"), nullptr);
    EXPECT_EQ(ip.GetCommand("Echoo"), nullptr);

    CConsoleCommand* second = CommandTable_Create(&ip, SCommandRow::Function("ECHO", TestCmd_Echo, "", ""));
    EXPECT_EQ(ip.GetCommand("echo"), second);
    // The linear walk returns whichever comes first in list order.
    ip.SortCommands();
    CConsoleCommand* firstInList = nullptr;
    for (CConsoleCommand* c = ip.First(); c && !firstInList; c = c->Next())
        if (c == echo || c == second) firstInList = c;
    EXPECT_EQ(ip.GetCommandLinear("echo"), firstInList);
    EXPECT_EQ(ip.GetCommand("echo"), second);
    delete second;
    EXPECT_EQ(ip.GetCommand("echo"), echo);
    EXPECT_EQ(ip.GetCount(), 10);
}

TEST_F(Fixture, SortingOrdersTheListCaseInsensitively) {
    ip.SortCommands();
    std::string names;
    for (CConsoleCommand* c = ip.First(); c; c = c->Next()) names += std::string(c->GetName()) + " ";
    EXPECT_EQ(names, "Chars Echo F Flag GameOnly HostOnly Str true V W ");
    // Links stay consistent in both directions.
    CConsoleCommand* last = ip.First();
    while (last->Next()) last = last->Next();
    int back = 0;
    for (CConsoleCommand* c = last; c; c = c->Prev()) ++back;
    EXPECT_EQ(back, ip.GetCount());
}

TEST_F(Fixture, ClosestCommandCompletesOrListsTheCandidates) {
    for (const char* n : {"Edit_MoveWordRight", "Edit_MoveLeft", "Edit_MoveWordLeft", "Edit_MoveEnd"})
        CommandTable_Create(&ip, SCommandRow::Function(n, TestCmd_Echo, "", ""));
    ip.SortCommands();
    CStrBuf out;
    host.lines.clear();
    EXPECT_EQ(ip.GetClosestCommand("edit_move", out), 0);
    EXPECT_STREQ(out.GetText(), "Edit_Move");
    EXPECT_EQ(host.Joined(), "|Edit_MoveEnd|Edit_MoveLeft|Edit_MoveWordLeft|Edit_MoveWordRight");
    EXPECT_EQ(host.lines[0].r, 255);
    EXPECT_EQ(host.lines[1].r, 128);
    EXPECT_EQ(host.lines[1].g, 255);

    EXPECT_EQ(ip.GetClosestCommand("EDIT_MOVEWORDL", out), 1);
    EXPECT_STREQ(out.GetText(), "Edit_MoveWordLeft");
    EXPECT_EQ(ip.GetClosestCommand("Edit_MoveW", out), 0);
    EXPECT_STREQ(out.GetText(), "Edit_MoveWord");

    host.lines.clear();
    out.Assign("kept");
    EXPECT_EQ(ip.GetClosestCommand("zz", out), 0);
    EXPECT_STREQ(out.GetText(), "kept");
    EXPECT_TRUE(host.lines.empty());
    EXPECT_EQ(ip.GetClosestCommand("", out), 0);
    EXPECT_STREQ(out.GetText(), "");
    std::string longPrefix(600, 'e');
    out.Assign("kept");
    EXPECT_EQ(ip.GetClosestCommand(longPrefix.c_str(), out), 0);
    EXPECT_STREQ(out.GetText(), "kept");
}

TEST(CommandArg, ConversionsAndCopies) {
    CCommandArg a;
    int32_t i = 77;
    float f = 7.0f;
    EXPECT_FALSE(a.GetInt(i));
    char text[] = "12abc";
    a.SetText(text);
    EXPECT_TRUE(a.GetInt(i));
    EXPECT_EQ(i, 12);
    char letters[] = "abc";
    a.SetText(letters);
    i = 77;
    EXPECT_FALSE(a.GetInt(i));
    EXPECT_EQ(i, 77);
    EXPECT_FALSE(a.GetFloat(f));
    char nan[] = "nan";
    a.SetText(nan);
    EXPECT_FALSE(a.GetFloat(f));
    char big[] = "99999999999";
    a.SetText(big);
    EXPECT_TRUE(a.GetInt(i));
    EXPECT_EQ(i, INT32_MAX);

    // A copy into a small buffer is always terminated.
    char buf[4];
    a.SetText(letters);
    std::memset(buf, 'x', sizeof buf);
    EXPECT_TRUE(a.GetString(buf, 3));
    EXPECT_STREQ(buf, "ab");

    char* owned = a.Alloc(256);
    std::memset(owned, 'y', 266);  // the whole n + 10 bytes are usable
    owned[265] = 0;
    EXPECT_TRUE(a.IsOwned());
    a.Alloc(4);  // frees the old buffer (checked by the sanitizers)
    a.Free();
    EXPECT_EQ(a.Text(), nullptr);
    EXPECT_EQ(StrToInt("-42x"), -42);
    EXPECT_EQ(StrToInt("x"), 0);
    EXPECT_FLOAT_EQ(StrToFloat("0.25"), 0.25f);
}

TEST_F(Fixture, StatementsTable) {
    struct Case {
        const char* text;
        const char* lines;
    };
    const Case cases[] = {
        {"Foo;", "No such command: Foo"},
        {"Echo(\"a\", 12, -3, word);", "a,12,-3,word"},
        {"Echo \"a b\";", "a b"},
        {"Echo\r\n(\"multi\",\r\n \"line\");", "multi,line"},
        {"Echo(\"q\\\"b\\\\s\");", "q\"b\\s"},
        {"Echo(\"a\\qb\"); Echo(\"x\");",
         "\\ has to be followed be \" to translate into a \" or \\ to translate into a \\: Echo"},
        // A bare word naming a variable stands for its value; a command name stays a word.
        {"Echo(V, F, Flag, Str, Chars, Exec, Echo);", "3,0.500000,false,,abc,Exec,Echo"},
        {"// Echo(1);\r\nEcho(2);", "2"},
        {"/Echo(3);", "3"},
        {"Echo(\"a\") ;", "a|No such command: "},
        {";", "No such command: "},
        // The end of the text closes a statement that lacks its ';'.
        {"Echo 1", "1"},
        {"Echo(2)", "2"},
        {"Echo(word)", "word"},
        {"Echo(\"q\")", "q"},
        {"Echo", ""},
        // A ';' ends a number or a word and the statement with it.
        {"Echo 1;Echo 2;", "1|2"},
        {"Echo one;Echo two;", "one|two"},
        {"Echo(1) Echo(2);", "1,Echo(2"},
        {"V;", "V = 3"},
        {"F;", "F = 0.500000"},
        {"Flag;", "Flag = false"},
        {"Str;", "Str = "},
        {"Chars;", "Chars = abc"},
        {"true(0);", "true is read only"},
        {"true;", "true = true"},
        {"Echo(\"unterminated", "Missing closing \" in the arguments of Echo; the statement is not run"},
        {"Echo((1, (2", "1,2"},
    };
    for (const Case& c : cases) {
        v = 3;
        EXPECT_EQ(host.Run(c.text), c.lines) << c.text;
    }
    EXPECT_TRUE(host.Run("Nothing;Else;") == "No such command: Nothing|No such command: Else" &&
                host.lastResult);
    host.Run("Echo(1);");
    EXPECT_FALSE(host.lastResult);
    host.Run("");
    EXPECT_TRUE(host.lastResult);
}

TEST_F(Fixture, VariablesConvertClampAndCallBack) {
    struct Case {
        const char* text;
        int32_t v;
        int callbacks;
    };
    const Case cases[] = {
        {"V(9);", 5, 1},   {"V(-7);", 1, 1}, {"V(4);", 4, 1},
        {"V(abc);", 3, 0}, {"V 2", 2, 1},    {"V(5) V(1);", 5, 1},
    };
    for (const Case& c : cases) {
        v = 3;
        g_callbacks = 0;
        host.Run(c.text);
        EXPECT_EQ(v, c.v) << c.text;
        EXPECT_EQ(g_callbacks, c.callbacks) << c.text;
    }
    for (const char* no : {"0", "f", "false", "\"0\""}) {
        flag = 1;
        host.Run((std::string("Flag(") + no + ");").c_str());
        EXPECT_EQ(flag, 0) << no;
    }
    for (const char* yes : {"1", "true", "yes", "no", "\"\""}) {
        flag = 0;
        host.Run((std::string("Flag(") + yes + ");").c_str());
        EXPECT_EQ(flag, 1) << yes;
    }
    host.Run("F(3.5);");
    EXPECT_EQ(f, 1.0f);
    host.Run("F(nan);");
    EXPECT_EQ(f, 1.0f);
    host.Run("Str(\"abcdefghij\");");
    EXPECT_STREQ(str.GetText(), "abcdef");
    host.Run("Chars(\"0123456789\");");
    EXPECT_STREQ(chars, "0123456");
    // Copying one variable into another goes through substitution.
    v = 4;
    host.Run("W(V);");
    EXPECT_EQ(w, 4);
}

// What a player gets wrong is said, each in one line with the command's
// name and its syntax: a value that is no number, "Name = value;", a
// value out of range (and the one used), a command's arguments that do not
// fit its usage (count or kind), a ';' before the ')' the '(' asks for.
TEST_F(Fixture, MistakesAreSaidWithTheCommandAndItsSyntax) {
    const SCommandRow rows[] = {
        SCommandRow::Function("Order", TestCmd_Echo, "Orders a unit", "Order")
            .Usage("Order(int Unit, float X, float Z[, str Note]);"),
        SCommandRow::Function("Place", TestCmd_Echo, "Places a thing", "Place")
            .Usage("Place(str What[, float X]);", false),
    };
    ASSERT_EQ(CommandTable_Register(&ip, rows), 2);
    struct Case {
        const char* text;
        const char* lines;
    };
    const Case cases[] = {
        {"V(abc);", "Error in V: abc is not a number. Syntax: V(int)"},
        {"F(\"far\");", "Error in F: far is not a number. Syntax: F(float)"},
        {"V = 4;", "Error in V: a variable is set as V(value), not with =. Syntax: V(int)"},
        {"Str = \"x\";", "Error in Str: a variable is set as Str(value), not with =. Syntax: Str(str)"},
        {"V(9);", "V: 9 lies outside 1 to 5; 5 is used"},
        {"F(-3.5);", "F: -3.5 lies outside -1 to 1; -1 is used"},
        {"V(4); F(0.25);", ""},
        {"Order(11);",
         "Error in Order: it takes 3 to 4 arguments, not 1. Syntax: Order(int Unit, float X, float Z[, str "
         "Note]);"},
        {"Order(1, 2, 3, 4, 5);",
         "Error in Order: it takes 3 to 4 arguments, not 5. Syntax: Order(int Unit, float X, float Z[, str "
         "Note]);"},
        {"Order(1, north, 3);",
         "Error in Order: argument 2, north, is not a number. Syntax: Order(int Unit, float X, float Z[, str "
         "Note]);"},
        {"Order(1, 2.5, -3, \"fast\");", "1,2.5,-3,fast"},
        {"Place(rock, here);", "rock,here"},  // its handler judges the values
        {"Place();", "Error in Place: it takes 1 to 2 arguments, not 0. Syntax: Place(str What[, float X]);"},
        {"Echo(\"Quit\";", "Missing ) in Echo(...; the statement is not run"},
        {"Echo(1, 2; Echo(3);", "Missing ) in Echo(...; the statement is not run|3"},
        {"Echo \"blank instead\";", "blank instead"},
    };
    for (const Case& c : cases) {
        v = 3;
        f = 0.5f;
        EXPECT_EQ(host.Run(c.text), c.lines) << c.text;
    }
    EXPECT_EQ(v, 3);
    EXPECT_STREQ(str.GetText(), "");
}

TEST_F(Fixture, GameStateMasksGateCommandsButNotPrinting) {
    host.bits = kStateNotInGame;
    EXPECT_EQ(host.Run("HostOnly(1);"), "HostOnly cannot be run at this time or gamestate");
    EXPECT_EQ(host.Run("HostOnly;"), "HostOnly cannot be run at this time or gamestate");
    EXPECT_FALSE(host.lastResult);  // refused statements still count as reached
    EXPECT_EQ(g_hostOnlyRuns, 0);
    w = 7;
    EXPECT_EQ(host.Run("GameOnly;"), "GameOnly = 7");
    EXPECT_EQ(host.Run("GameOnly(9);"), "GameOnly cannot be run at this time or gamestate");
    EXPECT_EQ(w, 7);

    host.bits = kStateHost | kStateInGame | kStateSessionLive;
    host.Run("HostOnly; HostOnly(1); GameOnly(9);");
    EXPECT_EQ(g_hostOnlyRuns, 2);
    EXPECT_EQ(w, 9);
}

TEST(CommandState, BitsFromGameAndSession) {
    struct Case {
        SCommandStateInputs in;
        uint32_t bits;
    };
    SCommandStateInputs none;
    SCommandStateInputs host = none;
    host.hasSession = host.hosting = true;
    SCommandStateInputs client = none;
    client.hasSession = client.clientConnected = true;
    client.gameReset = true;
    SCommandStateInputs playing = host;
    playing.gameState = 2;
    SCommandStateInputs loading = playing;
    loading.gameLoading = true;
    SCommandStateInputs menu = playing;
    menu.guiWord = 1;
    SCommandStateInputs editor = host;
    editor.editorServer = true;
    SCommandStateInputs noSessionFlags = none;
    noSessionFlags.hosting = noSessionFlags.clientConnected = noSessionFlags.editorServer = true;
    const Case cases[] = {
        {none, 32},
        {host, 1 | 16 | 32},
        {client, 2 | 32},
        {playing, 1 | 4 | 16},
        {loading, 1 | 16 | 32},
        {menu, 1 | 16 | 32},
        {editor, 1 | 8 | 16 | 32},
        {noSessionFlags, 32},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i)
        EXPECT_EQ(CommandState_Bits(cases[i].in), cases[i].bits) << i;
}

TEST_F(Fixture, QuietRunStopsAtTheFirstUnknownName) {
    EXPECT_EQ(host.Run("Nope; Echo(1);", true), "");
    EXPECT_TRUE(host.lastResult);
    EXPECT_EQ(host.Run("Echo(1); Nope; Echo(2);", true), "1");
    EXPECT_FALSE(host.lastResult);
}

TEST_F(Fixture, InPlaceParseWithinTheGivenLength) {
    // No terminator after the given length: the parser must stop there.
    char text[] = {'E', 'c', 'h', 'o', ' ', '4', '2', 'X', 'X'};
    host.lines.clear();
    EXPECT_FALSE(ip.Execute(false, text, 7));
    EXPECT_EQ(host.Joined(), "42");
    char text2[] = {'W', '(', '1', '2', '3'};
    ip.Execute(false, text2, 5);
    EXPECT_EQ(w, 100);
}

TEST_F(Fixture, HostileTextNeverCrashes) {
    std::string manyArgs = "Echo(";
    for (int i = 0; i < 300; ++i) manyArgs += std::to_string(i) + ",";
    manyArgs += "1);Echo(\"lost\");\nEcho(\"after\");";
    EXPECT_EQ(host.Run(manyArgs.c_str()), "after");  // the statement is dropped, its line skipped

    std::string hugeName(100 * 1024, 'n');
    EXPECT_EQ(host.Run((hugeName + "\nEcho(ok);").c_str()), "ok");
    std::string hugeWord = "Echo(" + std::string(100 * 1024, 'w') + ");\nEcho(ok);";
    EXPECT_EQ(host.Run(hugeWord.c_str()), "ok");
    std::string hugeQuote = "Echo(\"" + std::string(100 * 1024, 'q') + "\");";
    EXPECT_EQ(host.Run(hugeQuote.c_str()).size(), 100u * 1024u);

    std::string binary;
    for (int i = 1; i < 256; ++i) binary += static_cast<char>(i);
    host.Run(binary.c_str());
    host.Run("\"\"\"((((;;;;))))\\\\\\");
    host.Run("Echo(\"\\");
    host.Run("-");
    // Nothing of it is left behind to spoil the next statement.
    EXPECT_EQ(host.Run("Echo(\"still\");"), "still");
}

namespace {
std::string g_areaOrder;
void AreaAI(CCommandInterpreter* ip) {
    g_areaOrder += "ai ";
    CommandTable_Create(ip, SCommandRow::Function("zeta", TestCmd_Echo, "", ""));
}
void AreaView(CCommandInterpreter* ip) {
    g_areaOrder += "view ";
    CommandTable_Create(ip, SCommandRow::Function("Alpha", TestCmd_Echo, "", ""));
}
}  // namespace

TEST(Registry, AllAreasRegisterInOrderAndTheListIsSorted) {
    CTestCommandHost host;
    CommandArea_Set(kAreaView, AreaView);
    CommandArea_Set(kAreaAI, AreaAI);
    host.interpreter.RegisterAllCommands();
    CommandArea_Set(kAreaView, nullptr);
    CommandArea_Set(kAreaAI, nullptr);
    EXPECT_EQ(g_areaOrder, "ai view ");
    ASSERT_NE(host.interpreter.First(), nullptr);
    EXPECT_STREQ(host.interpreter.First()->GetName(), "Alpha");
    EXPECT_STREQ(host.interpreter.First()->Next()->GetName(), "zeta");
}

TEST_F(Fixture, ReadOnlyTextWithALengthRunsOnACopy) {
    const char text[] = "Echo(\"a\\\\b\"); Echo(2);";
    host.lines.clear();
    EXPECT_FALSE(ip.Execute(false, text, 13));
    EXPECT_EQ(host.Joined(), "a\\b");
    EXPECT_STREQ(text, "Echo(\"a\\\\b\"); Echo(2);");
}

// A script file is the player's data: a statement that cannot be read is
// reported with the file and the line it begins on, and skipped; the rest of
// the file still runs, and the file is remembered as not read cleanly.
TEST_F(Fixture, AScriptFileRunsPastTheStatementsItCannotRead) {
    host.MakeRoot();
    const std::string bad =
        "// settings\r\n"
        "V(2);\r\n"
        "Echo(\"C:\\Fonts\\Tahoma\"); Echo(\"same line\");\r\n"
        "\r\n"
        "Nope(1);\r\n"
        "Echo(\"two\",\r\n"
        "     \"lines\\q\");\r\n"
        "W(8);\r\n" +
        std::string("Echo(") + std::string(300, 'w') + ");\r\n" + "Echo(\"last";
    host.WriteFile("bad.cfg", bad);
    const std::string path = host.root + "\\bad.cfg";
    host.lines.clear();
    EXPECT_TRUE(ip.ExecuteFile(path.c_str()));
    const std::string escape =
        "\\ has to be followed be \" to translate into a \" or \\ to translate into a \\: Echo";
    const std::string at = "Error in " + path + ", line ";
    EXPECT_EQ(host.Joined(),
              at + "3: " + escape + "; the statement is skipped|" + at + "5: No such command: Nope|" + at +
                  "6: " + escape + "; the statement is skipped|" + at +
                  "9: an argument is longer than 256 characters; the statement is skipped|" + at +
                  "10: Missing closing \" in the arguments of Echo; the statement is not run");
    EXPECT_EQ(v, 2);
    EXPECT_EQ(w, 8);
    EXPECT_FALSE(ip.ReadCleanly(path.c_str()));
    EXPECT_FALSE(ip.ReadCleanly((host.root + "/BAD.cfg").c_str()));  // one file, however it is spelt

    // Mended, it reads cleanly again.
    host.WriteFile("bad.cfg", "Echo(\"C:\\\\Fonts\\\\Tahoma\");");
    host.lines.clear();
    EXPECT_TRUE(ip.ExecuteFile(path.c_str()));
    EXPECT_EQ(host.Joined(), "C:\\Fonts\\Tahoma");
    EXPECT_TRUE(ip.ReadCleanly(path.c_str()));
}

// A map script from a server's box runs only map-script entries; Exec reads
// the box alone, and the restriction ends with the run.
TEST(RestrictedScriptTest, OnlyMapScriptEntriesRunAndExecStaysInTheBox) {
    CTestCommandHost host;
    CCommandInterpreter& ip = host.interpreter;
    CStrBuf mapDescription, saved;
    const SCommandRow rows[] = {
        SCommandRow::Function("Echo", TestCmd_Echo, "", ""),
        SCommandRow::Function("Place", TestCmd_Echo, "", "").MapScript(),
        SCommandRow::String("si_Map_Description", &mapDescription, 100, "", ""),
        SCommandRow::String("si_Name", &saved, 100, "", "").Config("Server.cfg"),
    };
    CommandTable_Register(&ip, rows);
    RegisterScriptCommands(&ip);

    CTempDir dir;
    dir.Write("outside.vxm", "Place(\"from outside\");");
    CPackWriter pack;
    pack.Add("inner.vxm", "Place(\"from the box\");");
    ASSERT_TRUE(pack.WriteTo(dir.File("MapData.box")));
    CVFSTable box;
    ASSERT_TRUE(box.MountPack(dir.WinFile("MapData.box").c_str()));

    ip.BeginRestricted(&box);
    std::string out = host.Run(
        "Echo(\"no\");Place(\"yes\");si_Map_Description(\"Isles\");si_Name(\"x\");Exec(\"outside.vxm\");"
        "Exec(\"inner.vxm\");");
    ip.EndRestricted();
    EXPECT_NE(out.find("Echo is not allowed in a map script from a server"), std::string::npos) << out;
    EXPECT_NE(out.find("yes"), std::string::npos);
    EXPECT_EQ(out.find("no|"), std::string::npos);
    EXPECT_STREQ(mapDescription.GetText(), "Isles");
    EXPECT_STREQ(saved.GetText(), "");  // kept in a settings file: refused
    EXPECT_EQ(out.find("from outside"), std::string::npos) << out;
    EXPECT_NE(out.find("is not allowed in a map script from a server"), std::string::npos);
    EXPECT_NE(out.find("from the box"), std::string::npos) << out;
    EXPECT_FALSE(ip.IsRestricted());
    EXPECT_NE(host.Run("Echo(\"again\");").find("again"), std::string::npos);
}
