// The running game's HUD in a window, on an X server of the test's own,
// played with real X events (xdotool) and read from the screen: the radar
// with the map's picture takes a click and moves the camera; a click on a
// tank shows its selection mark, its slot in the selection panel with its
// health and, after the hover delay, the tooltip of the mouse's action; a
// selected headquarters shows its build icons with their costs, a click on
// an icon queues a tank that appears and a right click takes one off the
// queue; the resources shown change; and an own unit attacked (by another,
// the player's forced attack) raises the event message once within the
// reminder time, with a ring on the radar and the announcer's tone.
// Without Xvfb, xdotool or ImageMagick's import the tests are skipped.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/GameRun.h"
#include "tests/support/Installation.h"
#include "tests/support/Process.h"
#include "tests/support/SoundCapture.h"
#include "tests/support/TempDir.h"
#include "tests/support/XServer.h"

namespace {

// Pixels of the rectangle whose colour passes the test.
template <class Test>
int Count(const STestShot& s, int x0, int y0, int x1, int y1, Test test) {
    return Test_CountPixels(s, x0, y0, x1, y1, test);
}

// Pixels of the rectangle that differ between the two pictures.
int Changed(const STestShot& a, const STestShot& b, int x0, int y0, int x1, int y1) {
    int n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            const unsigned char *p = a.At(x, y), *q = b.At(x, y);
            n += std::abs(p[0] - q[0]) + std::abs(p[1] - q[1]) + std::abs(p[2] - q[2]) > 30 ? 1 : 0;
        }
    return n;
}

// Near a colour (each channel within 12).
auto Near(int r, int g, int b) {
    return [=](const unsigned char* p) {
        return std::abs(p[0] - r) <= 12 && std::abs(p[1] - g) <= 12 && std::abs(p[2] - b) <= 12;
    };
}

bool Grass(const unsigned char* p) {
    return p[1] > p[0] + 15 && p[1] > p[2] + 15;
}

bool PureGreen(const unsigned char* p) {
    return p[1] > 200 && p[0] < 60 && p[2] < 60;
}

// The selection, read until it is the one unit at (x, z) (or the reads ran
// out: then as it was last read).
std::vector<SUnitSeen> SelectedOneAt(CTestProcess& game, float x, float z) {
    std::vector<SUnitSeen> selected;
    for (int i = 0; i < 20 && !(selected.size() == 1 && Test_Near(&selected[0], x, z, 1.0f)); ++i)
        selected = Test_SelectedUnits(game);
    return selected;
}

// The value a console variable prints when named alone.
float ReadVariable(CTestProcess& game, const std::string& name) {
    static int s_serial = 0;
    const std::string mark = "variable-" + std::to_string(++s_serial);
    game.Write(name + "; echo(\"" + mark + "\");\n");
    if (!game.WaitForLine(mark, 10.0)) return NAN;
    const std::string out = game.Output();
    const size_t end = out.rfind(mark);
    const size_t at = out.rfind(name + " = ", end);
    float v = NAN;
    if (at != std::string::npos) std::sscanf(out.c_str() + at + name.size() + 3, "%f", &v);
    return v;
}

struct SGameWindow {
    CTempDir dir;
    CTestXServer x;
    CTestProcess game;
    std::string window;

    // The demo skirmish on Skerry in a window, the local player's units read
    // once it runs; with a wave file, its sound is mixed into that file
    // (OpenAL Soft's wave writer).
    bool Start(std::string* why, const std::string& wave = "") {
        if (!Test_CopyInstallation(dir)) return *why = "the game program is not built", false;
        if (!Test_WriteSkirmishStart(dir)) return *why = "no start-up script", false;
        if (!x.Start()) return *why = "no X server", false;
        std::vector<std::pair<std::string, std::string>> env;
        if (!wave.empty()) {
            if (!dir.Write("alsoft.conf", "[wave]\nfile = " + wave + "\n"))
                return *why = "no alsoft.conf", false;
            env = {{"ALSOFT_DRIVERS", "wave"}, {"ALSOFT_CONF", dir.File("alsoft.conf")}};
        }
        if (!Test_StartGameOn(game, dir, x, env)) return *why = "the game did not start", false;
        if (Test_UnitsOnceRunning(game, 60.0).size() != 4u) return *why = "no units: " + game.Output(), false;
        window = Test_GameWindow(x);
        return window.empty() ? (*why = "no window", false) : true;
    }
    void Mouse(int px, int py, const std::string& then = "") {
        x.Shell("xdotool mousemove --window " + window + " " + std::to_string(px) + " " + std::to_string(py) +
                (then.empty() ? "" : " " + then));
    }
    STestShot Shot() { return x.Screenshot(window); }
    // Shots until the test passes or about 15 seconds went by.
    template <class Test>
    STestShot WaitForShot(Test test) {
        STestShot s;
        for (int i = 0; i < 60; ++i) {
            s = Shot();
            if (s.Valid() && test(s)) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
        }
        return s;
    }
};

// The rectangles of the demo HUD (content/Tessarak/GUI/Demo.gui).
constexpr int kRadar[4] = {512, 0, 640, 128};
constexpr int kSlot1[4] = {6, 388, 106, 424};
constexpr int kSlot2[4] = {110, 388, 210, 424};
constexpr int kIcons[4] = {388, 388, 588, 424};
constexpr int kCosts[4] = {372, 424, 600, 440};
constexpr int kResources[4] = {560, 444, 632, 462};
// The third build icon (the headquarters' light tank).
constexpr int kTankIcon[2] = {486, 406};

}  // namespace

TEST(HudWindow, RadarSelectionTooltipsAndBuildIconsReadFromTheScreen) {
    if (!Test_OnPath("Xvfb") || !Test_OnPath("xdotool") || !Test_OnPath("import"))
        GTEST_SKIP() << "needs Xvfb, xdotool and ImageMagick";
    SGameWindow g;
    std::string why;
    ASSERT_TRUE(g.Start(&why)) << why;
    CTestProcess& game = g.game;

    // The radar opens on the map's picture (its grass).
    auto radarOpen = [](const STestShot& s) {
        return Count(s, kRadar[0], kRadar[1], kRadar[2], kRadar[3], Grass) > 3000;
    };
    STestShot shot = g.WaitForShot(radarOpen);
    ASSERT_TRUE(shot.Valid());
    ASSERT_EQ(shot.width, 640);
    EXPECT_TRUE(radarOpen(shot));
    // The tank at the left selected, the one in the middle not.
    Test_LookAt(game, -20.0f, -22.0f);
    g.Mouse(190, 110, "click 1");
    std::vector<SUnitSeen> selected = SelectedOneAt(game, -24.0f, -18.0f);
    ASSERT_EQ(selected.size(), 1u);
    Test_RunAndDraw(game, "");
    const STestShot none = g.Shot();
    // The next click comes after the double-click time (a double click
    // would choose every tank on the screen).
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    // A left click on the tank in the middle: its mark and bars, the first
    // slot with its name and health, the others covered.
    g.Mouse(320, 240, "click 1");
    selected = SelectedOneAt(game, -20.0f, -22.0f);
    ASSERT_EQ(selected.size(), 1u);
    Test_RunAndDraw(game, "");
    const STestShot one = g.Shot();
    ASSERT_TRUE(one.Valid());
    EXPECT_GT(Count(one, 220, 140, 420, 340, PureGreen), Count(none, 220, 140, 420, 340, PureGreen) + 20);
    EXPECT_GT(Count(one, kSlot1[0], kSlot1[1], kSlot1[2], kSlot1[3], Near(44, 58, 84)), 300);
    EXPECT_GT(Count(one, kSlot1[0] + 36, kSlot1[1] + 24, kSlot1[2], kSlot1[3], PureGreen), 10);  // health
    EXPECT_GT(Count(one, kSlot1[0] + 36, kSlot1[1], kSlot1[2], kSlot1[1] + 20, Near(208, 216, 232)), 10);
    EXPECT_GT(Count(one, kSlot2[0], kSlot2[1], kSlot2[2], kSlot2[3], Near(22, 30, 44)), 1500);  // covered

    // The tooltip after the hover delay: over the tank "Select" with its
    // name, over the ground "Move"; a wider box for the longer text.
    auto tooltip = [](int px, int py) {
        return [=](const STestShot& s) { return Count(s, px - 4, py + 16, 640, py + 40, Near(0, 200, 0)); };
    };
    g.Mouse(320, 240);
    const STestShot overTank = g.WaitForShot([&](const STestShot& s) { return tooltip(320, 240)(s) > 100; });
    g.Mouse(120, 300);
    const STestShot overGround = g.WaitForShot([&](const STestShot& s) { return tooltip(120, 300)(s) > 20; });
    const int tankBox = tooltip(320, 240)(overTank), groundBox = tooltip(120, 300)(overGround);
    EXPECT_GT(groundBox, 20);
    EXPECT_GT(tankBox, 2 * groundBox);

    // A click on it moves the camera there.
    Test_LookAt(game, -20.0f, -22.0f);
    const float before = ReadVariable(game, "View_GameSceneCenterX");
    g.Mouse(600, 60, "click 1");
    float after = before;
    for (int i = 0; i < 20 && std::fabs(after - before) < 5.0f; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        after = ReadVariable(game, "View_GameSceneCenterX");
    }
    EXPECT_GT(std::fabs(after - before), 5.0f) << before << " " << after;

    // The headquarters: its build icons with their pictures and costs.
    Test_LookAt(game, -30.0f, -30.0f);
    g.Mouse(320, 240, "click 1");
    for (int i = 0; i < 20 && (selected.size() != 1 || selected[0].name != "Granite_Headquarters"); ++i)
        selected = Test_SelectedUnits(game);
    ASSERT_EQ(selected.size(), 1u);
    EXPECT_EQ(selected[0].name, "Granite_Headquarters");
    g.Mouse(150, 100);
    const STestShot panel = g.WaitForShot([](const STestShot& s) {
        return Count(s, kCosts[0], kCosts[1], kCosts[2], kCosts[3], Near(255, 220, 120)) > 20;
    });
    EXPECT_GT(Count(panel, kCosts[0], kCosts[1], kCosts[2], kCosts[3], Near(255, 220, 120)), 20);
    EXPECT_GT(Count(panel, kIcons[0], kIcons[1], kIcons[2], kIcons[3], Near(111, 134, 168)), 200);
    // Three clicks queue three tanks, two right clicks take two off again:
    // one tank comes, the resources shown fall.
    g.Mouse(kTankIcon[0], kTankIcon[1], "click --repeat 3 --delay 60 1 click --repeat 2 --delay 60 3");
    bool came = false;
    std::vector<SUnitSeen> units;
    for (int i = 0; i < 60 && !came; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        units = Test_ReadUnits(game);
        came = units.size() >= 5u;
    }
    ASSERT_TRUE(came) << game.Output();
    g.Mouse(150, 100);
    const STestShot bought = g.WaitForShot([&](const STestShot& s) {
        return Changed(panel, s, kResources[0], kResources[1], kResources[2], kResources[3]) > 10;
    });
    EXPECT_GT(Changed(panel, bought, kResources[0], kResources[1], kResources[2], kResources[3]), 10);
    // No second one follows in the time of three more.
    std::this_thread::sleep_for(std::chrono::seconds(4));
    EXPECT_EQ(Test_ReadUnits(game).size(), 5u);

    game.Write("Quit();\n");
    EXPECT_EQ(game.Wait(30), 0) << game.Output();
}

TEST(HudWindow, AnOwnUnitAttackedRaisesTheEventMessageOnceWithARadarRing) {
    if (!Test_OnPath("Xvfb") || !Test_OnPath("xdotool") || !Test_OnPath("import"))
        GTEST_SKIP() << "needs Xvfb, xdotool and ImageMagick";
    SGameWindow g;
    std::string why;
    const std::string wave = g.dir.File("mix.wav");
    ASSERT_TRUE(g.Start(&why, wave)) << why;
    CTestProcess& game = g.game;
    g.Mouse(150, 100);
    auto red = [](const unsigned char* p) { return p[0] > 200 && p[1] < 60 && p[2] < 60; };
    const STestShot calm = g.WaitForShot([](const STestShot& s) {
        return Count(s, kRadar[0], kRadar[1], kRadar[2], kRadar[3], Grass) > 3000;
    });
    // The tank in the middle selected and told to attack (fm_AttackMode):
    // a left click on the tank at the left sets it on its neighbour.
    Test_LookAt(game, -20.0f, -22.0f);
    g.Mouse(320, 240, "click 1");
    ASSERT_EQ(SelectedOneAt(game, -20.0f, -22.0f).size(), 1u);
    Test_RunAndDraw(game, "fm_AttackMode();");
    std::this_thread::sleep_for(std::chrono::milliseconds(700));  // no double click
    g.Mouse(190, 110, "click 1");
    ASSERT_TRUE(game.WaitForOutput("is under attack", 60)) << game.Output();
    const size_t heardFrom = Sound_WrittenFrames(wave);
    const STestShot ring = g.WaitForShot([&](const STestShot& s) {
        return Count(s, kRadar[0], kRadar[1], kRadar[2], kRadar[3], red) >
               Count(calm, kRadar[0], kRadar[1], kRadar[2], kRadar[3], red) + 20;
    });
    EXPECT_GT(Count(ring, kRadar[0], kRadar[1], kRadar[2], kRadar[3], red),
              Count(calm, kRadar[0], kRadar[1], kRadar[2], kRadar[3], red) + 20);
    // The fight goes on; within the reminder time (30 seconds) each kind of
    // notice is given once.
    std::this_thread::sleep_for(std::chrono::seconds(5));
    const std::string out = game.Output();
    int units = 0;
    for (size_t at = out.find("A unit is under attack"); at != std::string::npos;
         at = out.find("A unit is under attack", at + 1))
        ++units;
    EXPECT_LE(units, 1) << out;
    // The announcer said it: the race's tone for a unit under attack (587 Hz)
    // in the mix after the message.
    SCapturedSound mix;
    ASSERT_TRUE(Sound_ReadWave(wave, mix));
    const size_t start = heardFrom > size_t(mix.rate) / 2 ? heardFrom - size_t(mix.rate) / 2 : 0;
    const size_t at = Sound_FirstAbove(mix.left, 0.01f, start);
    ASSERT_LT(at, mix.Frames());
    EXPECT_NEAR(Sound_Frequency(mix.left, mix.rate, at, std::min(mix.Frames(), at + size_t(mix.rate) / 5)),
                587.0, 20.0);

    game.Write("Quit();\n");
    EXPECT_EQ(game.Wait(30), 0) << game.Output();
}
