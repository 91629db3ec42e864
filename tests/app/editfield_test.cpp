// The single-line edit field: key sequences and the text, cursor and
// selection they leave; clipboard failures; history; display formatting.
#include "console/EditField.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

struct Field {
    CStrBuf line;
    CEditField edit;
    std::string clipboard;
    CEditField::EClipResult clipState = CEditField::CLIP_OK;
    std::vector<std::string> printed;
    int blinks = 0;
    double seconds = 0.0;

    explicit Field(const char* text = "", bool selectOnAttach = false) {
        edit.SetHooks({[this] { ++blinks; }, [this](const char* t) { printed.push_back(t); },
                       [this] { return seconds; },
                       [this](std::string& out) {
                           if (clipState == CEditField::CLIP_OK) out = clipboard;
                           return clipState;
                       },
                       [this](const std::string& in) {
                           if (clipState == CEditField::CLIP_OK) clipboard = in;
                           return clipState;
                       }});
        edit.m_selectOnAttach = selectOnAttach;
        line = text;
        edit.Attach(&line);
    }

    // Runs blank-separated steps; a step starting with ' types the rest.
    void Run(const std::string& steps) {
        std::istringstream in(steps);
        std::string s;
        while (in >> s) {
            if (s[0] == '\'') {
                for (size_t i = 1; i < s.size(); ++i) edit.InsertChar(s[i] == '_' ? ' ' : s[i]);
            } else if (s == "BS")
                edit.Backspace();
            else if (s == "DEL")
                edit.Delete();
            else if (s == "EW")
                edit.DeleteWordLeft();
            else if (s == "DW")
                edit.DeleteWordRight();
            else if (s == "L")
                edit.CursorLeft();
            else if (s == "R")
                edit.CursorRight();
            else if (s == "WL")
                edit.WordLeft();
            else if (s == "WR")
                edit.WordRight();
            else if (s == "HOME")
                edit.Home();
            else if (s == "END")
                edit.End();
            else if (s == "SL")
                edit.SelectLeft();
            else if (s == "SR")
                edit.SelectRight();
            else if (s == "SWL")
                edit.SelectWordLeft();
            else if (s == "SWR")
                edit.SelectWordRight();
            else if (s == "SHOME")
                edit.SelectHome();
            else if (s == "SEND")
                edit.SelectEnd();
            else if (s == "COPY")
                edit.Copy();
            else if (s == "CUT")
                edit.Cut();
            else if (s == "PASTE")
                edit.Paste();
            else if (s == "OLD")
                edit.HistoryOlder();
            else if (s == "NEW")
                edit.HistoryNewer();
            else if (s == "OVR")
                edit.m_insert = 0;
            else
                ADD_FAILURE() << "unknown step " << s;
        }
    }
};

}  // namespace

TEST(EditField, KeySequences) {
    struct {
        const char* start;
        const char* steps;
        const char* text;
        int cursor;
        int anchor;
    } cases[] = {
        {"", "'hello", "hello", 5, -1},
        {"abcd", "HOME R 'X", "aXbcd", 2, -1},
        {"abcd", "HOME R R OVR 'XYZ", "abXYZ", 5, -1},  // overwrites to the end, then appends
        {"abc  ", "WL", "abc  ", 3, -1},
        {"abc  ", "WL WL", "abc  ", 0, -1},
        {"abc  ", "EW", "", 0, -1},
        {"say hello, world", "HOME WR", "say hello, world", 3, -1},
        {"say hello, world", "HOME WR WR WR", "say hello, world", 9, -1},
        {"say hello, world", "HOME DW", " hello, world", 0, -1},
        {"say hello, world", "HOME DW DW", ", world", 0, -1},
        {"abcd", "L L SL SL", "abcd", 0, 2},
        {"abcd", "L L SL SL BS", "cd", 0, -1},  // backspace takes only the selection
        {"abcd", "L SL SL EW", "abcd", 1, -1},  // erase word only drops the selection
        {"abcd", "L SL SL DW", "abcd", 1, -1},
        {"abcd", "HOME SR SR DEL", "cd", 0, -1},
        {"abcd", "HOME SR SR 'Z", "Zcd", 1, -1},  // typing replaces the selection
        {"one two", "SWL", "one two", 4, 7},
        {"one two", "SWL SWL SWL", "one two", 0, 7},
        {"one two", "HOME SEND", "one two", 7, 0},
        {"one two", "SHOME R", "one two", 1, -1},
        {"ab", "L L L L BS", "ab", 0, -1},
        {"ab", "R R DEL", "ab", 2, -1},
        {"\xc4pfel und", "HOME WR", "\xc4pfel und", 5, -1},  // bytes from 192 are letters
    };
    for (const auto& c : cases) {
        Field f(c.start);
        f.Run(c.steps);
        EXPECT_STREQ(f.line.GetText(), c.text) << c.start << " | " << c.steps;
        EXPECT_EQ(f.edit.Cursor(), c.cursor) << c.start << " | " << c.steps;
        EXPECT_EQ(f.edit.HasSelection() ? f.edit.Anchor() : -1, c.anchor) << c.start << " | " << c.steps;
    }
}

TEST(EditField, FirstAttachSelectsEverything) {
    Field f("old text", true);
    EXPECT_EQ(f.edit.Anchor(), 0);
    f.Run("'x");
    EXPECT_STREQ(f.line.GetText(), "x");
    CStrBuf other("again");
    f.edit.Attach(&other);
    EXPECT_FALSE(f.edit.HasSelection());
}

TEST(EditField, DetachedFieldDoesNothing) {
    Field f("abc");
    f.edit.Detach();
    f.Run("'x BS HOME SEND PASTE OLD");
    EXPECT_STREQ(f.line.GetText(), "abc");
    EXPECT_TRUE(f.printed.empty());
    EXPECT_EQ(f.edit.CursorOffset([](uint8_t) { return 8; }), kEditNotAttachedOffset);
}

TEST(EditField, OutsideChangeReattaches) {
    Field f("first");
    f.Run("HOME");
    f.line = "pasted by the console";
    f.Run("'!");
    EXPECT_STREQ(f.line.GetText(), "pasted by the console!");
    EXPECT_STREQ(f.edit.History(0).GetText(), "first");
}

TEST(EditField, HistoryBrowsing) {
    Field f("");
    CStrBuf lines[130];
    for (int i = 0; i < 130; ++i) {
        lines[i].Format("line %d", i);
        f.edit.Attach(&lines[i]);
    }
    // 129 lines were pushed (the last one is still attached); 128 are kept.
    CStrBuf current;
    f.edit.Attach(&current);
    EXPECT_STREQ(f.edit.History(0).GetText(), "line 129");
    EXPECT_STREQ(f.edit.History(127).GetText(), "line 2");
    for (int i = 0; i < 200; ++i) f.edit.HistoryOlder();
    EXPECT_EQ(f.edit.HistoryIndex(), 127);
    EXPECT_STREQ(current.GetText(), "line 2");
    EXPECT_EQ(f.edit.Cursor(), 6);
    f.edit.HistoryNewer();
    EXPECT_STREQ(current.GetText(), "line 3");
    // Editing a browsed line does not push it into the history.
    f.edit.InsertChar('x');
    EXPECT_STREQ(f.edit.History(0).GetText(), "line 129");
    for (int i = 0; i < 200; ++i) f.edit.HistoryNewer();
    EXPECT_EQ(f.edit.HistoryIndex(), -1);
    EXPECT_STREQ(current.GetText(), "");
}

TEST(EditField, Clipboard) {
    Field f("copy this");
    f.Run("SWL COPY");
    EXPECT_EQ(f.clipboard, "this");
    EXPECT_TRUE(f.edit.HasSelection());
    f.Run("HOME PASTE");
    EXPECT_STREQ(f.line.GetText(), "thiscopy this");
    f.clipboard = "a\r\nb";
    f.Run("END PASTE");
    EXPECT_STREQ(f.line.GetText(), "thiscopy thisab");
    f.Run("SWL CUT");
    EXPECT_STREQ(f.line.GetText(), "thiscopy ");
    EXPECT_EQ(f.clipboard, "thisab");
    f.clipboard = "XY";
    f.Run("OVR HOME PASTE");
    EXPECT_STREQ(f.line.GetText(), "XYiscopy ");
    EXPECT_EQ(f.edit.Cursor(), 2);
    // Overwriting runs to the end of the line, then appends.
    f.clipboard = "1\t2345";
    f.Run("END L L PASTE");
    EXPECT_STREQ(f.line.GetText(), "XYiscop12345");
    EXPECT_EQ(f.edit.Cursor(), 12);
}

TEST(EditField, ClipboardFailuresKeepTextAndSelection) {
    struct {
        CEditField::EClipResult state;
        const char* message;
    } cases[] = {{CEditField::CLIP_NOT_TEXT, "Clipboard format is not text..."},
                 {CEditField::CLIP_CANNOT_OPEN, "Failed to open clipboard..."}};
    for (const auto& c : cases) {
        Field f("keep me");
        f.clipState = c.state;
        f.Run("SWL PASTE");
        EXPECT_STREQ(f.line.GetText(), "keep me");
        EXPECT_TRUE(f.edit.HasSelection());
        EXPECT_EQ(f.printed, std::vector<std::string>{c.message});
        // A cut whose copy failed keeps the text.
        f.Run("CUT");
        EXPECT_STREQ(f.line.GetText(), "keep me");
    }
}

TEST(EditField, FormatAndCursorOffset) {
    Field f("abcd");
    CStrBuf out;
    f.Run("L SL SL");
    f.edit.FormatEditText(out);
    EXPECT_STREQ(out.GetText(),
                 "a\x0f"
                 "2bc\x0f"
                 "2d");

    // A selection edge inside a colour code is moved to keep the code whole.
    Field g(
        "x\x02"
        "4\x02"
        "yz");
    g.Run("HOME R R SEND");
    g.edit.FormatEditText(out);
    EXPECT_STREQ(out.GetText(),
                 "x\x0f"
                 "2\x02"
                 "4\x02"
                 "yz\x0f"
                 "2");

    // Overwrite mode marks the character under the cursor while the blink is on.
    Field h("abc");
    h.Run("OVR HOME R");
    h.edit.FormatEditText(out);
    EXPECT_STREQ(out.GetText(),
                 "a\x0f"
                 "2b\x0f"
                 "2c");
    h.seconds = 0.3;
    h.edit.FormatEditText(out);
    EXPECT_STREQ(out.GetText(), "abc");

    Field k(
        "a\x01"
        "b");
    k.edit.m_displayControlCodes = 1;
    k.edit.FormatEditText(out);
    EXPECT_STREQ(out.GetText(),
                 "a\xa9"
                 "b");

    auto width = [](uint8_t c) { return c == 0xa9 ? 100 : 10; };
    EXPECT_EQ(k.edit.CursorOffset(width), 120);
    Field colour(
        "\x02"
        "ff0000red");
    EXPECT_EQ(colour.edit.CursorOffset(width), 30);
    Field empty("");
    EXPECT_EQ(empty.edit.CursorOffset(width), -1);
}

TEST(EditField, InlineCodeLengths) {
    EXPECT_EQ(EditInlineCodeLength("\x02"
                                   "a\x02",
                                   0),
              3);
    EXPECT_EQ(EditInlineCodeLength("\x03"
                                   "00ff00x",
                                   0),
              7);
    EXPECT_EQ(EditInlineCodeLength("\x1f"
                                   "00",
                                   0),
              3);  // cut off: to the end
    EXPECT_EQ(EditInlineCodeLength("\x0f"
                                   "1",
                                   0),
              2);
    EXPECT_EQ(EditInlineCodeLength("\x0f", 0), 1);
    EXPECT_EQ(EditInlineCodeLength("\x16", 0), 1);
    EXPECT_EQ(EditInlineCodeLength("a", 0), 0);
}
