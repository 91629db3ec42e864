#include "core/StrBuf.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/ShownText.h"
#include "platform/sys/Format.h"

TEST(StrBuf, EmptyStatesReadAsEmptyText) {
    CStrBuf constructed("");
    EXPECT_EQ(constructed.GetSize(), 0);
    ASSERT_NE(constructed.GetText(), nullptr);
    EXPECT_STREQ(constructed.GetText(), "");

    CStrBuf assigned;
    assigned.Assign("");
    EXPECT_EQ(assigned.GetSize(), 1);
    EXPECT_STREQ(assigned.GetText(), "");
}

TEST(StrBuf, CopyTakesWholeAllocationAssignOnlyTheText) {
    CStrBuf big("abc");
    big.Resize(10);
    big.SetAt(8, 'z');
    CStrBuf copy(big);
    EXPECT_EQ(copy.GetSize(), 10);
    EXPECT_EQ(copy.GetText()[8], 'z');
    EXPECT_NE(copy.GetText(), big.GetText());

    CStrBuf assigned;
    assigned.Assign(big);
    EXPECT_EQ(assigned.GetSize(), 4);
    EXPECT_STREQ(assigned.GetText(), "abc");
}

TEST(StrBuf, GrowthRules) {
    CStrBuf s("abc");  // size 4
    const char* before = s.GetText();
    EXPECT_EQ(s.GetBuffer(3), before);  // 3 < 4: unchanged
    char* grown = s.GetBuffer(4);
    EXPECT_EQ(s.GetSize(), 5);
    EXPECT_STREQ(grown, "abc");

    CStrBuf t("abc");
    t.SetAt(10, 'x');
    EXPECT_EQ(t.GetSize(), 11);
    EXPECT_EQ(std::memcmp(t.GetText(), "abc\0", 4), 0);
    EXPECT_EQ(t.GetText()[10], 'x');

    CStrBuf u("abcd");
    u.Resize(2);
    EXPECT_EQ(u.GetSize(), 2);
    EXPECT_EQ(u.GetText()[0], 'a');
    EXPECT_EQ(u.GetText()[1], 'b');
    EXPECT_EQ(u.GetLength(), 2);  // no terminator inside the allocation

    CStrBuf n;
    n.Resize(5);
    EXPECT_STREQ(n.GetText(), "");  // grown from nothing: starts terminated
    n.ShrinkToFit();
    EXPECT_EQ(n.GetSize(), 1);

    CStrBuf z;
    z.ShrinkToFit();
    EXPECT_EQ(z.GetSize(), 1);
    z.Alloc(0);
    EXPECT_EQ(z.GetSize(), 0);
}

TEST(StrBuf, AssignFromOwnText) {
    CStrBuf s("hello world");
    s.Assign(s.GetText() + 6);
    EXPECT_STREQ(s.GetText(), "world");
    s.Format("%s-%s", s.GetText(), s.GetText());
    EXPECT_STREQ(s.GetText(), "world-world");
}

TEST(StrBuf, FormatSizesExactly) {
    struct SCase {
        std::string expect;
        CStrBuf (*make)();
    };
    const SCase cases[] = {
        {"42-ab",
         [] {
             CStrBuf s;
             s.Format("%d-%s", 42, "ab");
             return s;
         }},
        {"(null)",
         [] {
             CStrBuf s;
             s.Format("%s", static_cast<const char*>(nullptr));
             return s;
         }},
        {"         x",
         [] {
             CStrBuf s;
             s.Format("%10c", 'x');
             return s;
         }},
        {"1.000000E+300",
         [] {
             CStrBuf s;
             s.Format("%E", 1e300);
             return s;
         }},
        {"0x1p+0 tail",
         [] {
             CStrBuf s;
             s.Format("%a %s", 1.0, "tail");
             return s;
         }},
        {"-9223372036854775807 ffffffffffffffff",
         [] {
             CStrBuf s;
             s.Format("%I64d %I64x", -9223372036854775807LL, ~0ULL);
             return s;
         }},
        {std::string(400, ' ') + "1",
         [] {
             CStrBuf s;
             s.Format("%401d", 1);
             return s;
         }},
    };
    for (const auto& c : cases) {
        CStrBuf s = c.make();
        EXPECT_EQ(s.GetText(), c.expect);
        EXPECT_EQ(s.GetSize(), static_cast<int32_t>(c.expect.size()) + 1);
    }
    CStrBuf big;
    big.Format("%.3f", 1e300);  // 301 digits before the point
    EXPECT_EQ(big.GetSize(), 306);
}

TEST(Format, WindowsDialect) {
    char buf[128];
    // Each line: what the Windows runtime prints for the same arguments.
    EXPECT_EQ(Sys_Format(buf, sizeof buf, "%I64u|%I64X|%I32d", 18446744073709551615ULL, 0xABCDEF0123ULL, -5),
              34);
    EXPECT_STREQ(buf, "18446744073709551615|ABCDEF0123|-5");
    long big = 0x100000005L;  // "%ld" is 32 bits wide in this dialect
    Sys_Format(buf, sizeof buf, "%ld %lu %hd %hhu", big, 7L, 70000, 257);
    EXPECT_STREQ(buf, "5 7 4464 1");
    const char16_t wide[] = u"W\u00e9\u4e2d!";
    Sys_Format(buf, sizeof buf, "%S|%ls|%.2S|%C", wide, wide, wide, 0x41);
    EXPECT_STREQ(buf, "W\xe9?!|W\xe9?!|W\xe9|A");
    int stored = 1234;
    Sys_Format(buf, sizeof buf, "a%nb%%%*d|%-*.*f|%y", &stored, 4, 7, 6, 1, 2.25);
    EXPECT_STREQ(buf, "ab%   7|2.2   |y");
    EXPECT_EQ(stored, 1234);  // %n writes nothing
}

TEST(Format, TruncatesButReportsFullLength) {
    char buf[5] = "xxxx";
    EXPECT_EQ(Sys_Format(buf, sizeof buf, "%s", "abcdefgh"), 8);
    EXPECT_STREQ(buf, "abcd");
    EXPECT_EQ(Sys_Format(nullptr, 0, "%d", 12345), 5);
    EXPECT_EQ(Sys_Format(buf, sizeof buf, "%"), 1);
    EXPECT_STREQ(buf, "%");
}

// A damaged name as a refusal quotes it: what a console or terminal cannot
// show is written as \xNN, the rest as it stands.
TEST(ShownText, BytesThatCannotBeShownAreEscaped) {
    const struct {
        std::string text, shown;
    } cases[] = {
        {"Skerry", "Skerry"},
        {"Skerry\x01\x01\x08", "Skerry\\x01\\x01\\x08"},
        {std::string("a\0b", 3), "a\\x00b"},
        {"\x1B[2J\x7F", "\\x1B[2J\\x7F"},
        {"caf\xE9 \xFF", "caf\\xE9 \\xFF"},
        {"Maps\\Skerry ~!", "Maps\\Skerry ~!"},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(Text_Shown(c.text), c.shown);
    EXPECT_EQ(Text_Shown(static_cast<const char*>(nullptr)), "");
    EXPECT_EQ(Text_Shown("tab\there"), "tab\\x09here");
}
