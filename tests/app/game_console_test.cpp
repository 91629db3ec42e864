// What the game connects its console and fonts to: the engine's notice of a
// font built at run time, the desktop clipboard behind the command line, and
// the character set that new fonts are built in.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <memory>
#include <string>

#include "app/Game.h"
#include "app/GameRoles.h"
#include "app/GameServices.h"
#include "e3d/Font.h"
#include "e3d/Screen.h"
#include "e3d/ScreenFonts.h"
#include "platform/d3d/Recorder.h"
#include "platform/display/Display.h"
#include "ui/Interface.h"

namespace {
class GameConsoleTest : public ::testing::Test {
protected:
    void SetUp() override {
        game.SetInterface(new CInterface(game.Roles().Interface()));
        Console().Init(100, 17, 8);
    }
    void TearDown() override {
        E3DFont_SetNoticeHook(nullptr);
        delete game.Interface();
        game.SetInterface(nullptr);
    }
    CConsole& Console() { return game.Interface()->m_console; }
    CGame game{nullptr, "No datafile"};
};
}  // namespace

TEST_F(GameConsoleTest, FontBuiltAtRunTimeIsReportedInRedOnConsoleAndScreen) {
    CD3DRecorder recorder;
    DDraw_SetFactory(&recorder);
    Game_ConnectEngineHooks();
    {
        CE3DScreen screen(nullptr, nullptr);
        CE3DFont* font = screen.GetFont("Courier New", 0, 12, 400, kE3DFontFixedPitch, 0);
        ASSERT_NE(font, nullptr);
        const char expected[] =
            "Waring font dynamicly allocated (Name: Courier New, Width: 0, Height: 12, Weight: 400, "
            "Attributes: 4, Outline: 0)";
        for (const CConsoleLine* line : {Console().GetLine(0), Console().GetScreenLine(0)}) {
            ASSERT_NE(line, nullptr);
            EXPECT_STREQ(line->text.GetText(), expected);
            EXPECT_EQ(line->r, 255);
            EXPECT_EQ(line->g, 0);
            EXPECT_EQ(line->b, 0);
        }
        // Asking again finds the font: nothing more is printed.
        const int lines = Console().GetLineCount();
        EXPECT_EQ(screen.GetFont("courier new", 0, 12, 400, kE3DFontFixedPitch, 0), font);
        EXPECT_EQ(Console().GetLineCount(), lines);
    }
    DDraw_SetFactory(nullptr);
}

TEST_F(GameConsoleTest, CommandLineGoesThroughTheDesktopClipboardInTheGamesCodePage) {
    // Before the window layer is up the clipboard cannot be opened.
    Console().CommandLine().Assign("");
    EXPECT_FALSE(Console().PasteToCommandLine());
    EXPECT_STREQ(Console().GetLine(0)->text.GetText(), "Failed to open clipboard...");

    if (!std::getenv("DISPLAY")) setenv("SDL_VIDEODRIVER", "offscreen", 0);
    ASSERT_TRUE(Display_Init());
    game.SetCodePage(1251);
    Console().CommandLine().Assign("say \xC0\xE9");  // Cyrillic A and short I
    EXPECT_TRUE(Console().CopyFromCommandLine());

    // The same text read back in another code page lacks both letters.
    game.SetCodePage(1252);
    Console().CommandLine().Assign("");
    EXPECT_TRUE(Console().PasteToCommandLine());
    EXPECT_STREQ(Console().CommandLine().GetText(), "say ??");

    game.SetCodePage(1251);
    Console().CommandLine().Assign(">");
    EXPECT_TRUE(Console().PasteToCommandLine());
    EXPECT_STREQ(Console().CommandLine().GetText(), ">say \xC0\xE9");
    Display_Shutdown();
}

TEST(GameCharSetTest, NewFontsFollowTheGamesCharacterSet) {
    const struct {
        const char* codePage;
        int charSet;
    } cases[] = {{"1251", CS_WIN_CRYLLIC}, {"1253", CS_WIN_GREEK}, {"1252", CS_WIN_WESTERN}};
    for (const auto& c : cases) {
        setenv("TESSARAK_CODEPAGE", c.codePage, 1);
        CGame game(nullptr, "No datafile");
        EXPECT_EQ(CE3DFont::s_codePageIndex, c.charSet) << c.codePage;
        // A later Vid_Charset reaches the next font the game asks for.
        game.Variables().charSet = CS_WIN_BALTIC;
        Game_GetFont(&game, "Arial", 0, 14, 400, 0, 0);
        EXPECT_EQ(CE3DFont::s_codePageIndex, CS_WIN_BALTIC) << c.codePage;
    }
    unsetenv("TESSARAK_CODEPAGE");
}
