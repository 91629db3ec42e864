// The player's road through the menus in a real window, on an X server of
// the test's own, with real X events (xdotool): the shipped start-up opens
// the main menu drawn from the demo GUI packfile; the mouse over a button
// lights it; a click on "Skirmish" opens the skirmish set-up with the map's
// picture, a click on "Start" starts the game and shows the in-game screen;
// Escape and the menu's own buttons open and close the running game's menu.
// What shows is read from screenshots; that the game runs, from the units
// the console reads out; the buttons' sounds from the mix that OpenAL Soft's
// wave-file writer keeps. Without Xvfb, xdotool or ImageMagick the test is
// skipped.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include "tests/support/GameRun.h"
#include "tests/support/Installation.h"
#include "tests/support/Process.h"
#include "tests/support/SoundCapture.h"
#include "tests/support/TempDir.h"
#include "tests/support/XServer.h"

namespace {

bool Gold(const unsigned char* p) {  // the title
    return p[0] > 180 && p[1] > 140 && p[2] < 150 && p[0] > p[2] + 60;
}
bool Light(const unsigned char* p) {  // a button's text
    return p[0] > 180 && p[1] > 180 && p[2] > 180;
}
bool Yellow(const unsigned char* p) {  // a button under the mouse
    return p[0] > 220 && p[1] > 170 && p[2] < 120;
}
bool Grass(const unsigned char* p) {
    return p[1] > p[0] + 15 && p[1] > p[2] + 15;
}
bool HudBlue(const unsigned char* p) {  // the bar of the in-game screen
    return p[2] > p[0] + 12 && p[2] < 110 && p[1] < 90;
}

class CMenuRoad {
public:
    CMenuRoad(CTestXServer& x, const std::string& window) : m_x(x), m_window(window) {}

    void Mouse(const std::string& what) { m_x.Shell("xdotool " + what); }
    void MoveTo(int px, int py) {
        Mouse("mousemove --window " + m_window + " " + std::to_string(px) + " " + std::to_string(py));
    }
    void ClickAt(int px, int py) {
        MoveTo(px, py);
        Mouse("click 1");
    }
    // A key pressed for a moment, as a hand would, the window given the
    // keyboard first.
    void Key(const std::string& name) {
        m_x.Shell("xdotool windowfocus --sync " + m_window + " keydown " + name + " sleep 0.2 keyup " + name);
    }
    // Screenshots until one passes the check (the frames catch up with the
    // events); the last one taken.
    STestShot Until(const std::function<bool(const STestShot&)>& check, double seconds = 20.0) {
        return Test_ShotUntil(m_x, m_window, check, seconds);
    }

private:
    CTestXServer& m_x;
    std::string m_window;
};

// The main menu: its title and the texts of its four buttons.
bool MainMenu(const STestShot& s) {
    return Test_CountPixels(s, 240, 50, 400, 90, Gold) > 150 &&
           Test_CountPixels(s, 250, 180, 440, 340, Light) > 300;
}
// The skirmish set-up: the map's picture (grass) beside the list.
bool Lobby(const STestShot& s) {
    return Test_CountPixels(s, 282, 242, 402, 362, Grass) > 120 * 120 / 2 &&
           Test_CountPixels(s, 240, 50, 400, 90, Gold) < 20;
}
// The running game: the battlefield and the bar of the in-game screen.
bool InGame(const STestShot& s) {
    return Test_CountPixels(s, 0, 0, 640, 430, Grass) > 640 * 430 / 3 &&
           Test_CountPixels(s, 120, 445, 520, 475, HudBlue) > 400 * 20;
}
// The running game's menu over it: no battlefield, the menu's texts.
bool GameMenu(const STestShot& s) {
    return Test_CountPixels(s, 0, 0, 640, 430, Grass) < 100 &&
           Test_CountPixels(s, 260, 170, 460, 300, Light) > 200;
}

}  // namespace

TEST(MenuWindow, FromTheMainMenuToASkirmishAndBackWithTheMouseAndEscape) {
    if (!Test_OnPath("Xvfb") || !Test_OnPath("xdotool") || !Test_OnPath("import"))
        GTEST_SKIP() << "needs Xvfb, xdotool and ImageMagick";
    CTempDir dir;
    if (!Test_CopyInstallation(dir)) FAIL() << "the game program is not built";
    CTestXServer x;
    ASSERT_TRUE(x.Start());
    const std::string wave = dir.File("mix.wav");
    ASSERT_TRUE(dir.Write("alsoft.conf", "[wave]\nfile = " + wave + "\n"));
    CTestProcess game;
    ASSERT_TRUE(Test_StartGame(game, dir,
                               {{"DISPLAY", x.Display()},
                                {"SDL_VIDEODRIVER", "x11"},
                                {"ALSOFT_DRIVERS", "wave"},
                                {"ALSOFT_CONF", dir.File("alsoft.conf")}}));
    ASSERT_TRUE(game.WaitForOutput("Loading GUI Finished...", 60)) << game.Output();
    std::string window =
        x.Shell("timeout 30 xdotool search --sync --onlyvisible --name '^Tessarak$' | head -1");
    ASSERT_FALSE(window.empty());
    window.pop_back();
    x.Shell("xdotool windowfocus --sync " + window);
    CMenuRoad road(x, window);
    road.MoveTo(10, 10);

    // The main menu, drawn from the packfile; the console instead of it
    // shows none of it.
    STestShot menu = road.Until(MainMenu);
    ASSERT_TRUE(MainMenu(menu)) << game.Output();
    EXPECT_LT(Test_CountPixels(menu, 250, 180, 440, 200, Yellow), 10);
    game.Write("Console_Show();\n");
    STestShot console =
        road.Until([](const STestShot& s) { return Test_CountPixels(s, 240, 50, 400, 90, Gold) < 20; });
    EXPECT_LT(Test_CountPixels(console, 240, 50, 400, 90, Gold), 20);
    int differ = 0;
    for (int y = 0; y < 480; ++y)
        for (int px = 0; px < 640; ++px)
            differ += std::memcmp(console.At(px, y), menu.At(px, y), 3) != 0 ? 1 : 0;
    EXPECT_GT(differ, 640 * 480 / 4);
    game.Write("Console_Hide();\n");
    ASSERT_TRUE(MainMenu(road.Until(MainMenu)));

    // The mouse over "Skirmish" lights it.
    road.MoveTo(290, 189);
    STestShot hover =
        road.Until([](const STestShot& s) { return Test_CountPixels(s, 230, 180, 440, 200, Yellow) > 30; });
    EXPECT_GT(Test_CountPixels(hover, 230, 180, 440, 200, Yellow), 30);

    // A click on it: the skirmish set-up, Skerry chosen.
    road.ClickAt(290, 189);
    STestShot skerry = road.Until(Lobby);
    ASSERT_TRUE(Lobby(skerry)) << game.Output();
    // The map list: a click on FourWinds shows its picture (four bases'
    // marks), and a click on Skerry, below FourWinds' two lines now, brings
    // Skerry's back.
    auto picture = [](const STestShot& a, const STestShot& b) {
        int differ = 0;
        for (int y = 242; y < 362; ++y)
            for (int px = 282; px < 402; ++px)
                differ += std::memcmp(a.At(px, y), b.At(px, y), 3) != 0 ? 1 : 0;
        return differ;
    };
    road.ClickAt(60, 270);
    STestShot fourWinds =
        road.Until([&](const STestShot& s) { return Lobby(s) && picture(s, skerry) > 100; });
    EXPECT_GT(picture(fourWinds, skerry), 100);
    road.ClickAt(50, 330);
    EXPECT_LT(picture(road.Until([&](const STestShot& s) { return picture(s, skerry) < 20; }), skerry), 20);

    // "Start": the game runs and the in-game screen shows.
    road.ClickAt(515, 459);
    ASSERT_FALSE(Test_UnitsOnceRunning(game, 60.0).empty()) << game.Output();
    road.MoveTo(320, 200);
    ASSERT_TRUE(InGame(road.Until(InGame))) << game.Output();

    // Escape opens the running game's menu; its first button closes it.
    road.Key("Escape");
    ASSERT_TRUE(GameMenu(road.Until(GameMenu))) << game.Output();
    road.ClickAt(290, 187);
    ASSERT_TRUE(InGame(road.Until(InGame)));
    // The bar's own button opens it, Escape closes it.
    road.ClickAt(24, 458);
    ASSERT_TRUE(GameMenu(road.Until(GameMenu)));
    road.Key("Escape");
    ASSERT_TRUE(InGame(road.Until(InGame)));

    // Leaving the game goes back to the main menu.
    road.Key("Escape");
    ASSERT_TRUE(GameMenu(road.Until(GameMenu)));
    road.ClickAt(290, 231);
    ASSERT_TRUE(MainMenu(road.Until(MainMenu))) << game.Output();
    EXPECT_TRUE(Test_ReadUnits(game).empty());

    // The menu's last button, below Options, Load game and Campaign, quits:
    // lit under the mouse, then clicked.
    road.MoveTo(262, 414);
    road.Until([](const STestShot& s) { return Test_CountPixels(s, 230, 405, 440, 425, Yellow) > 30; });
    road.ClickAt(262, 414);
    EXPECT_EQ(game.Wait(30), 0) << game.Output();

    // The demo's interface sounds were mixed: the hover tone (660 Hz) and the
    // press tone (1320 Hz) of the buttons.
    SCapturedSound mix;
    ASSERT_TRUE(Sound_ReadWave(wave, mix));
    // A tone is heard where a window holds it well above its neighbours.
    auto heard = [&mix](double hz) {
        auto energy = [&mix](double f, size_t at) {
            return Sound_ToneEnergy(mix.left, mix.rate, f, at, at + 882);
        };
        for (size_t at = 0; at + 882 <= mix.Frames(); at += 441) {
            const double e = energy(hz, at);
            if (e > 0.0005 && e > 5.0 * energy(hz * 1.15, at) && e > 5.0 * energy(hz / 1.15, at)) return true;
        }
        return false;
    };
    EXPECT_TRUE(heard(660.0));
    EXPECT_TRUE(heard(1320.0));
}
