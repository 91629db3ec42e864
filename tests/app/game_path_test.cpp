// The game object's path resolver, name lists and game-directory checks.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "app/Game.h"
#include "app/GameRoles.h"
#include "ui/Interface.h"

namespace {
struct SCapture {
    std::vector<std::string> lines;
    static void Sink(void* user, const char* text, int, int, int, bool) {
        static_cast<SCapture*>(user)->lines.push_back(text);
    }
};

class GamePathTest : public ::testing::Test {
protected:
    void SetUp() override {
        game.SetRootDir("Z:\\opt\\inst\\Tessarak");
        game.SetInterface(new CInterface(game.Roles().Interface()));
        game.Interface()->m_console.Init(100, 17, 8);
        game.Interface()->m_console.SetLineSink(&SCapture::Sink, &printed);
        game.Interface()->m_campaignName = "Northern";
    }
    void TearDown() override {
        delete game.Interface();
        game.SetInterface(nullptr);
    }
    CGame game{nullptr, "No datafile"};
    SCapture printed;
};
}  // namespace

TEST_F(GamePathTest, ResolvesEveryForm) {
    const struct {
        const char* sub;
        const char* name;
        const char* expected;
    } cases[] = {
        {"Scripts", "Startup.cfg", "Z:\\opt\\inst\\Tessarak\\Scripts\\Startup.cfg"},
        {"Scripts", "", "Z:\\opt\\inst\\Tessarak\\Scripts"},
        {nullptr, "", "Z:\\opt\\inst\\Tessarak"},
        {nullptr, "Content.id", "Z:\\opt\\inst\\Tessarak\\Content.id"},
        {"Scripts", "!!Maps", "Z:\\opt\\inst\\Tessarak\\Maps"},
        {nullptr, "!campaign\\Win.cfg", "Z:\\opt\\inst\\Tessarak\\Campaigns\\Northern\\Win.cfg"},
        {nullptr, "!CAMPAIGN\\a\\b.txt", "Z:\\opt\\inst\\Tessarak\\Campaigns\\Northern\\a\\b.txt"},
        {nullptr, "!Locale\\Texts.cfg", "Z:\\opt\\inst\\Tessarak\\Local\\English\\Texts.cfg"},
        {"Scripts", "\\tmp\\x.cfg", "Z:\\tmp\\x.cfg"},
        {"Scripts", "\\\\server\\share\\x.cfg", "\\\\server\\share\\x.cfg"},
    };
    for (const auto& c : cases)
        EXPECT_STREQ(game.GetPath(c.sub, c.name), c.expected)
            << (c.sub ? c.sub : "(none)") << " / " << c.name;
    EXPECT_TRUE(printed.lines.empty());
}

TEST_F(GamePathTest, AbsoluteNamesAndUnknownFoldersComeBackAsGiven) {
    const char* drive = "C:\\Games\\x.cfg";
    EXPECT_EQ(game.GetPath("Scripts", drive), drive);
    const char* unknown = "!Foo\\x.cfg";
    EXPECT_EQ(game.GetPath(nullptr, unknown), unknown);
    ASSERT_EQ(printed.lines.size(), 1u);
    EXPECT_EQ(printed.lines[0], "Error, unknown dir Foo");
}

TEST(GameTest, ConstructionDefaults) {
    {
        // The layers below reach the game through the roles it hands them:
        // the files role resolves names as the game does.
        CGame game(nullptr, "No datafile");
        game.SetRootDir("Z:\\r\\Tessarak");
        EXPECT_STREQ(game.Roles().Files().GetPath("Maps", "x"), "Z:\\r\\Tessarak\\Maps\\x");
    }
    EXPECT_EQ(g_pGame, nullptr);
    CGame game(nullptr, "No datafile");
    EXPECT_EQ(g_pGame, &game);
    EXPECT_STREQ(game.GameDir().GetText(), "Tessarak");
    EXPECT_STREQ(game.DataFile().GetText(), "No datafile");
    EXPECT_FALSE(game.Variables().uniqueInstance.IsEmpty());
    EXPECT_EQ(game.CodePage() == 1252, game.Variables().charSet == CS_WIN_WESTERN);
    for (int i = 0; i < kVideoSlots; ++i) {
        const SVideoSettings& slot = game.Video(i);
        EXPECT_EQ(slot.windowed, 1);
        EXPECT_STREQ(slot.driverName.GetText(), "display");
        EXPECT_EQ(slot.width, 640);
        EXPECT_EQ(slot.height, 480);
        EXPECT_EQ(slot.bitDepth, 16);
        EXPECT_EQ(slot.textureQuality, 32);
    }
}

TEST(GameTest, CodePageChoosesTheCharacterSet) {
    const struct {
        const char* codePage;
        int expectedPage, charSet;
    } cases[] = {
        {"1252", 1252, CS_WIN_WESTERN}, {"437", 1252, CS_WIN_WESTERN},        {"65001", 1252, CS_WIN_WESTERN},
        {"874", 874, CS_WIN_THAI},      {"1250", 1250, CS_WIN_CENTRALEUROPE}, {"1251", 1251, CS_WIN_CRYLLIC},
        {"1253", 1253, CS_WIN_GREEK},   {"1254", 1254, CS_WIN_TURKISH},       {"1255", 1255, CS_WIN_HEBREW},
        {"1256", 1256, CS_WIN_ARABIC},  {"1257", 1257, CS_WIN_BALTIC},
    };
    for (const auto& c : cases) {
        setenv("TESSARAK_CODEPAGE", c.codePage, 1);
        CGame game(nullptr, "No datafile");
        EXPECT_EQ(game.CodePage(), c.expectedPage) << c.codePage;
        EXPECT_EQ(game.Variables().charSet, c.charSet) << c.codePage;
    }
    unsetenv("TESSARAK_CODEPAGE");
}

TEST(GameTest, SplitNameList) {
    int count = -1;
    CStrBuf* names = SplitNameList("a \"b c\" d", &count);
    ASSERT_EQ(count, 3);
    EXPECT_STREQ(names[0].GetText(), "a");
    EXPECT_STREQ(names[1].GetText(), "b c");
    EXPECT_STREQ(names[2].GetText(), "d");
    delete[] names;

    names = SplitNameList("x  y", &count);
    ASSERT_EQ(count, 2);
    EXPECT_STREQ(names[1].GetText(), "y");
    delete[] names;

    EXPECT_EQ(SplitNameList("", &count), nullptr);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(SplitNameList("   \"\" ", &count), nullptr);
    EXPECT_EQ(count, 0);

    // A text longer than the 255 characters the list reads is cut, not overrun.
    std::string longText(600, 'x');
    names = SplitNameList(longText.c_str(), &count);
    ASSERT_EQ(count, 1);
    EXPECT_EQ(names[0].GetLength(), 254);
    delete[] names;
}

TEST(GameTest, GameDirectoryNamesFromOutsideMustBePlainFolders) {
    const struct {
        const char* name;
        bool ok;
    } cases[] = {
        {"Tessarak", true},     {"My Mod", true}, {"mod.v2", true}, {"", false},          {"..", false},
        {"..\\..\\etc", false}, {"a\\b", false},  {"a/b", false},   {"C:\\x", false},     {"Z:", false},
        {"x..y", false},        {".", false},     {"a*b", false},   {"tab\there", false},
    };
    for (const auto& c : cases) EXPECT_EQ(CGame::IsPlainFolderName(c.name), c.ok) << c.name;
    EXPECT_FALSE(CGame::IsPlainFolderName(nullptr));
}

TEST_F(GamePathTest, ExecStartupRefusesPathsAndIgnoresTheCurrentDirectory) {
    game.SetInstallDir("Z:\\opt\\inst");
    // The directory in use: nothing runs, nothing is printed.
    EXPECT_TRUE(game.ExecStartup("tessarak"));
    EXPECT_TRUE(printed.lines.empty());
    for (const char* bad : {"..\\..\\etc", "Z:\\tmp", "a\\b"}) {
        printed.lines.clear();
        EXPECT_FALSE(game.ExecStartup(bad)) << bad;
        ASSERT_EQ(printed.lines.size(), 1u);
        EXPECT_EQ(printed.lines[0], std::string("Invalid game directory: ") + bad);
        EXPECT_STREQ(game.GameDir().GetText(), "Tessarak");
        EXPECT_STREQ(game.RootDir().GetText(), "Z:\\opt\\inst\\Tessarak");
        EXPECT_EQ(game.GuiWord(), 0);
    }
}
