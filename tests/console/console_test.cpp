// The console's state: scroll-back, screen messages and their timing, the
// command line with its history and the chat fallback.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "console/CommandTable.h"
#include "tests/console/CommandTestHost.h"

namespace {
std::string Line(const CConsole& c, int fromNewest) {
    const CConsoleLine* line = c.GetLine(fromNewest);
    return line ? line->text.GetText() : "<none>";
}
std::string ScreenLine(const CConsole& c, int fromNewest) {
    const CConsoleLine* line = c.GetScreenLine(fromNewest);
    return line ? line->text.GetText() : "<none>";
}
}  // namespace

TEST(Console, ScrollBackRecyclesTheOldestLine) {
    CTestCommandHost host;
    CConsole& c = host.console;
    for (int i = 0; i <= CConsole::kScrollBackLines; ++i) c.Printf("line %d", i);
    EXPECT_EQ(c.GetLineCount(), CConsole::kScrollBackLines);
    EXPECT_EQ(Line(c, 0), "line 6900");
    EXPECT_EQ(Line(c, CConsole::kScrollBackLines - 1), "line 1");
    EXPECT_EQ(Line(c, CConsole::kScrollBackLines), "<none>");

    c.Print("progress 50%", true, 10, 20, 30, false);
    EXPECT_EQ(Line(c, 0), "progress 50%");
    EXPECT_EQ(Line(c, 1), "line 6899");
    EXPECT_EQ(c.GetLine(0)->g, 20);
}

TEST(Console, PrintsBeforeInitAreNotStoredButStillReachTheSink) {
    CConsole c;
    std::vector<std::string> seen;
    c.SetLineSink([](void* user, const char* text, int, int, int,
                     bool) { static_cast<std::vector<std::string>*>(user)->push_back(text); },
                  &seen);
    c.Print("early", false, 255, 255, 255, false);
    EXPECT_EQ(c.GetLineCount(), 0);
    EXPECT_EQ(seen, std::vector<std::string>{"early"});
    c.Init(3, 17, 8);
    c.Print("late", false, 255, 255, 255, true);
    EXPECT_EQ(c.GetLineCount(), 1);
    EXPECT_EQ(c.GetScreenLine(0)->text.GetText(), std::string("late"));
}

TEST(Console, EchoedAndEmptyPrints) {
    CTestCommandHost host;
    CConsole& c = host.console;
    c.Print("", false, 255, 255, 255, true);  // a screen row, no scroll-back line
    EXPECT_EQ(c.GetLineCount(), 0);
    EXPECT_EQ(ScreenLine(c, 0), "");
    c.Print("", false, 255, 255, 255, false);  // an empty scroll-back line
    EXPECT_EQ(c.GetLineCount(), 1);
    c.Print("both", false, 1, 2, 3, true);
    EXPECT_EQ(Line(c, 0), "both");
    EXPECT_EQ(ScreenLine(c, 0), "both");
    EXPECT_EQ(ScreenLine(c, 1), "");
}

TEST(Console, AScrolledBackViewStaysWhereItIs) {
    CTestCommandHost host;
    CConsole& c = host.console;
    for (int i = 0; i < 10; ++i) c.Printf("%d", i);
    c.ScrollOlder(3);
    EXPECT_EQ(Line(c, c.GetViewOffset()), "6");
    c.Printf("new");
    EXPECT_EQ(Line(c, c.GetViewOffset()), "6");
    c.ScrollNewer(100);
    EXPECT_EQ(c.GetViewOffset(), 0);
    c.Printf("newer");
    EXPECT_EQ(Line(c, c.GetViewOffset()), "newer");
    c.ScrollOlder(1000);
    EXPECT_EQ(Line(c, c.GetViewOffset()), "0");

    // Viewing the oldest line of a full ring: recycling it moves the view to
    // the newest line.
    CConsole small;
    small.Init(3, 17, 8);
    for (const char* t : {"a", "b", "c"}) small.Print(t, false, 255, 255, 255, false);
    small.ScrollToOldest();
    EXPECT_EQ(small.GetLine(small.GetViewOffset())->text.GetText(), std::string("a"));
    small.Print("d", false, 255, 255, 255, false);
    EXPECT_EQ(small.GetViewOffset(), 0);
}

TEST(Console, ScreenMessagesMoveUpAfterFourSecondsThenEveryTwo) {
    CTestCommandHost host;
    CConsole& c = host.console;
    const uint64_t f = host.frequency;
    host.now = 1000;
    c.Print("hello", false, 255, 255, 255, true);
    EXPECT_EQ(c.GetScreenExpiry(), 1000 + 4 * f);
    host.now = 1000 + 4 * f;  // not past yet
    c.AdvanceScreenMessages();
    EXPECT_EQ(ScreenLine(c, 0), "hello");
    host.now += 1;
    c.AdvanceScreenMessages();
    EXPECT_EQ(ScreenLine(c, 0), " ");
    EXPECT_EQ(ScreenLine(c, 1), "hello");
    EXPECT_EQ(c.GetScreenLine(0)->r, 0);
    host.now += 2 * f;
    c.AdvanceScreenMessages();
    EXPECT_EQ(ScreenLine(c, 1), "hello");
    host.now += 1;
    c.AdvanceScreenMessages();
    EXPECT_EQ(ScreenLine(c, 1), " ");
    EXPECT_EQ(ScreenLine(c, 2), "hello");
    // A new echoed print holds the messages for four seconds again.
    c.Print("again", false, 255, 255, 255, true);
    host.now += 3 * f;
    c.AdvanceScreenMessages();
    EXPECT_EQ(ScreenLine(c, 0), "again");
}

TEST(Console, PrintsFromManyThreadsWhileTheFrameAdvancesMessages) {
    CTestCommandHost host;
    CConsole& c = host.console;
    c.SetLineSink(nullptr, nullptr);
    std::atomic<bool> go{true};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&c, t] {
            for (int i = 0; i < 2000; ++i) c.Print("x", false, t, 0, 0, (i & 1) != 0);
        });
    std::thread frame([&] {
        while (go) {
            host.now += host.frequency * 3;
            c.AdvanceScreenMessages();
        }
    });
    for (std::thread& t : threads) t.join();
    go = false;
    frame.join();
    EXPECT_EQ(c.GetLineCount(), CConsole::kScrollBackLines);
}

TEST(Console, CommandLineHistoryAndChat) {
    CTestCommandHost host;
    CConsole& c = host.console;
    CommandTable_Create(&host.interpreter, SCommandRow::Function("Echo", TestCmd_Echo, "", ""));

    c.CommandLine().Assign("hello world");
    EXPECT_TRUE(c.ExecuteCommandLine("hello world ;"));
    EXPECT_EQ(host.chats, std::vector<std::string>{"hello world"});
    EXPECT_STREQ(c.GetHistory(126), "hello world");

    host.lines.clear();
    c.CommandLine().Assign("Echo(1); nope");
    c.ExecuteCommandLine("Echo(1); nope ;");
    EXPECT_EQ(host.chats.size(), 1u);  // something ran: no chat
    EXPECT_EQ(host.Joined(), "1");     // the quiet run stops silently at "nope"
    EXPECT_STREQ(c.GetHistory(125), "hello world");
    EXPECT_STREQ(c.GetHistory(126), "Echo(1); nope");

    c.CommandLine().Assign("");
    c.ExecuteCommandLine(" ;");
    EXPECT_STREQ(c.GetHistory(126), "Echo(1); nope");  // an empty line is not kept

    for (int i = 0; i < 200; ++i) {
        c.CommandLine().Format("Echo(%d);", i);
        c.ExecuteCommandLine(c.CommandLine().GetText());
    }
    EXPECT_STREQ(c.GetHistory(126), "Echo(199);");
    EXPECT_STREQ(c.GetHistory(0), "Echo(73);");
    EXPECT_EQ(c.m_historyIndex, 0);
}

TEST(Console, ClipboardFailuresAreReported) {
    CTestCommandHost host;
    CConsole& c = host.console;
    c.CommandLine().Assign("ab");
    host.clipboard = "cd";
    EXPECT_TRUE(c.PasteToCommandLine());
    EXPECT_STREQ(c.CommandLine().GetText(), "abcd");
    host.clipboardState = IConsoleHost::kClipboardNotText;
    host.lines.clear();
    EXPECT_FALSE(c.PasteToCommandLine());
    EXPECT_EQ(host.Joined(), "Clipboard format is not text...");
    host.clipboardState = IConsoleHost::kClipboardOpenFailed;
    host.lines.clear();
    EXPECT_FALSE(c.PasteToCommandLine());
    EXPECT_FALSE(c.CopyFromCommandLine());
    EXPECT_EQ(host.Joined(), "Failed to open clipboard...|Failed to open clipboard...");
    EXPECT_STREQ(c.CommandLine().GetText(), "abcd");

    host.clipboardState = IConsoleHost::kClipboardOk;
    EXPECT_TRUE(c.CopyFromCommandLine());
    EXPECT_EQ(host.clipboard, "abcd");
    int writes = host.clipboardWrites;
    c.CommandLine().Assign("");
    EXPECT_FALSE(c.CopyFromCommandLine());
    EXPECT_EQ(host.clipboardWrites, writes);
}

TEST(Console, TimeBlinkAndStandardOutput) {
    CTestCommandHost host;
    CConsole& c = host.console;
    host.lines.clear();
    c.PrintTime();
    ASSERT_EQ(host.lines.size(), 1u);
    int h, m, sec, day, month, year;
    char tail;
    EXPECT_EQ(std::sscanf(host.lines[0].text.c_str(), "Current time is : %d:%2d:%2d %d/%d, %4d%c", &h, &m,
                          &sec, &day, &month, &year, &tail),
              6)
        << host.lines[0].text;
    EXPECT_TRUE(month >= 1 && month <= 12 && year >= 2000) << host.lines[0].text;

    host.now = 100;
    c.ResetBlink();
    EXPECT_EQ(c.GetBlinkPhase(), 1);
    host.now = 100 + host.frequency / 4;
    EXPECT_EQ(c.UpdateBlink(), 1);
    host.now += 1;
    EXPECT_EQ(c.UpdateBlink(), 0);

    c.SetEchoToStdout(true);
    ::testing::internal::CaptureStdout();
    c.PrintfColor("%s %d", 255, 0, 0, true, "echoed", 7);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "echoed 7\n");
    EXPECT_EQ(host.lines.back().r, 255);
    EXPECT_EQ(host.lines.back().g, 0);
    EXPECT_TRUE(host.lines.back().echo);
}

TEST(Console, CommandLineKeys) {
    CTestCommandHost host;
    CConsole& c = host.console;
    CommandTable_Create(&host.interpreter, SCommandRow::Function("Echo", TestCmd_Echo, "", ""));
    CommandTable_Create(&host.interpreter, SCommandRow::Function("Exec", TestCmd_Echo, "", ""));

    // Browsing an empty history keeps an empty line.
    c.HistoryOlder();
    EXPECT_EQ(c.m_historyIndex, 0);
    EXPECT_STREQ(c.CommandLine().GetText(), "");

    c.CommandLine().Assign("Echo(\"hi\")");
    host.lines.clear();
    c.SubmitCommandLine();
    EXPECT_EQ(host.Joined(), "Echo(\"hi\")|hi");
    EXPECT_EQ(host.lines[0].g, 128);
    EXPECT_STREQ(c.GetHistory(126), "Echo(\"hi\")");
    EXPECT_STREQ(c.CommandLine().GetText(), "");
    EXPECT_TRUE(host.chats.empty());

    c.CommandLine().Assign("stored only");
    c.StoreCommandLine();
    EXPECT_STREQ(c.GetHistory(126), "stored only");
    host.lines.clear();
    c.HistoryOlder();
    EXPECT_STREQ(c.CommandLine().GetText(), "stored only");
    c.HistoryOlder();
    c.HistoryOlder();  // no older entry: stays on the oldest
    EXPECT_STREQ(c.CommandLine().GetText(), "Echo(\"hi\")");
    EXPECT_EQ(c.m_historyIndex, 2);
    c.HistoryNewer();
    EXPECT_STREQ(c.CommandLine().GetText(), "stored only");
    c.HistoryNewer();
    c.HistoryNewer();
    EXPECT_EQ(c.m_historyIndex, 0);
    EXPECT_STREQ(c.CommandLine().GetText(), "");
    EXPECT_TRUE(host.lines.empty());  // nothing ran

    c.CommandLine().Assign("ec");
    EXPECT_TRUE(c.CompleteCommandLine());
    EXPECT_STREQ(c.CommandLine().GetText(), "Echo ");
    c.CommandLine().Assign("e");
    EXPECT_FALSE(c.CompleteCommandLine());
    EXPECT_STREQ(c.CommandLine().GetText(), "E");
    c.CommandLine().Assign("zz");
    EXPECT_FALSE(c.CompleteCommandLine());
    EXPECT_STREQ(c.CommandLine().GetText(), "zz");
}
