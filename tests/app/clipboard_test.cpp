// Clipboard text between UTF-8 and the game's code page, and the desktop
// clipboard itself where an X display is there.
#include "platform/input/Clipboard.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/display/Display.h"

TEST(CodePage, Conversions) {
    struct {
        const char* utf8;
        int codePage;
        const char* text;
    } cases[] = {
        {"plain", 1252, "plain"},
        {"\xc3\xa9t\xc3\xa9 \xe2\x82\xac", 1252, "\xe9t\xe9 \x80"},  // été €
        {"\xe4\xb8\xad!", 1252, "?!"},                               // not in the code page
        {"a\xff"
         "b",
         1252, "a?b"},               // not UTF-8 at all
        {"\xd0\x96", 1251, "\xc6"},  // Cyrillic Zhe
        {"", 1252, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(CodePage_FromUtf8(c.utf8, c.codePage), c.text) << c.utf8;
    EXPECT_EQ(CodePage_ToUtf8("\xe9t\xe9 \x80", 1252), "\xc3\xa9t\xc3\xa9 \xe2\x82\xac");
    // Every byte that code page 1252 defines comes back unchanged.
    for (int b = 32; b < 256; ++b) {
        if (b == 0x81 || b == 0x8d || b == 0x8f || b == 0x90 || b == 0x9d) continue;
        std::string one(1, static_cast<char>(b));
        EXPECT_EQ(CodePage_FromUtf8(CodePage_ToUtf8(one, 1252), 1252), one) << b;
    }
}

TEST(Clipboard, NeedsTheWindowLayerThenRoundTrips) {
    std::string out = "x";
    EXPECT_EQ(Clipboard_GetText(out, 1252), CLIPBOARD_CANNOT_OPEN);
    EXPECT_EQ(out, "");
    EXPECT_EQ(Clipboard_SetText("a", 1, 1252), CLIPBOARD_CANNOT_OPEN);
    if (!std::getenv("DISPLAY") || !Display_Init()) GTEST_SKIP() << "no X display";
    CDisplayWindow* window = CDisplayWindow::Create("clipboard", 64, 64);
    const char text[] = "copy \xe9\x80";
    EXPECT_EQ(Clipboard_SetText(text, sizeof text - 1, 1252), CLIPBOARD_OK);
    EXPECT_EQ(Clipboard_GetText(out, 1252), CLIPBOARD_OK);
    EXPECT_EQ(out, text);
    delete window;
    Display_Shutdown();
}
