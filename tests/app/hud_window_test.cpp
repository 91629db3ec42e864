// The running game's HUD in a window, on an X server of the test's own,
// played with real X events (xdotool) and read from the screen: the radar
// with the map's picture takes a click and moves the camera; a click on a
// tank shows its selection mark, its slot in the selection panel with its
// health and, after the hover delay, the tooltip of the mouse's action; a
// selected factory shows its build icons with their costs, a click on an
// icon queues a tank that appears and a right click takes one off the
// queue; the resources shown change; an own unit attacked (by another, the
// player's forced attack) raises the event message once within the reminder
// time, with a ring on the radar and the announcer's call, and once it
// smokes, a paused game stands still on the screen; a constructor the
// headquarters made puts up a power plant where the mouse places its
// footprint (red over the headquarters, where a click builds nothing); the
// selection's slots cut long names to their boxes; and damaged or missing
// cursor frames, build icons and radar picture are named on the console while
// the game goes on. The
// click points are the units' places, read from the game, projected through
// the test camera. Without Xvfb, xdotool or ImageMagick's import the tests
// are skipped.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/VFSTable.h"
#include "tests/support/GameRun.h"
#include "tests/support/Installation.h"
#include "tests/support/Process.h"
#include "tests/support/SoundCapture.h"
#include "tests/support/TempDir.h"
#include "tests/support/XServer.h"

namespace {

// Pixels of the rectangle (cut to the picture) whose colour passes the test.
template <class Test>
int Count(const STestShot& s, int x0, int y0, int x1, int y1, Test test) {
    return Test_CountPixels(s, std::max(x0, 0), std::max(y0, 0), std::min(x1, s.width),
                            std::min(y1, s.height), test);
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
    std::vector<SUnitSeen> units;  // the player's units as the game began

    // The demo skirmish on Skerry in a window, the local player's units read
    // once it runs; with a wave file, its sound is mixed into that file
    // (OpenAL Soft's wave writer).
    // A start script in place of the skirmish's (the game it starts must
    // give the player units).
    bool Start(std::string* why, const std::string& wave = "", const std::function<bool()>& damage = nullptr,
               const std::string& autoexec = "") {
        if (!Test_CopyInstallation(dir)) return *why = "the game program is not built", false;
        if (damage && !damage()) return *why = "the installation was not damaged", false;
        if (!(autoexec.empty() ? Test_WriteSkirmishStart(dir)
                               : dir.Write("Tessarak/Scripts/Autoexec.cfg", autoexec)))
            return *why = "no start-up script", false;
        if (!x.Start()) return *why = "no X server", false;
        std::vector<std::pair<std::string, std::string>> env;
        if (!wave.empty()) {
            if (!dir.Write("alsoft.conf", "[wave]\nfile = " + wave + "\n"))
                return *why = "no alsoft.conf", false;
            env = {{"ALSOFT_DRIVERS", "wave"}, {"ALSOFT_CONF", dir.File("alsoft.conf")}};
        }
        if (!Test_StartGameOn(game, dir, x, env)) return *why = "the game did not start", false;
        units = Test_UnitsOnceRunning(game, 60.0);
        if (units.empty()) return *why = "no units: " + game.Output(), false;
        window = Test_GameWindow(x);
        if (window.empty()) return *why = "no window", false;
        // The camera whose view Test_GroundPixel projects through.
        Test_RunAndDraw(game, kTestCamera);
        return true;
    }
    // The start unit of the template nearest to (x, z); the test fails
    // without one.
    SUnitSeen Unit(const char* name, float nearX = 0.0f, float nearZ = 0.0f) const {
        const SUnitSeen* u = Test_NearestUnit(units, name, nearX, nearZ);
        EXPECT_TRUE(u) << "no " << name;
        return u ? *u : SUnitSeen();
    }
    // The camera over (fx, fz); the window pixel of each ground point, which
    // must lie in the game view (not under the bar or the radar).
    std::vector<std::vector<int>> LookAt(float fx, float fz, const std::vector<std::pair<float, float>>& at) {
        Test_LookAt(game, fx, fz);
        std::vector<std::vector<int>> pixels;
        for (const auto& p : at) {
            pixels.push_back(Test_GroundPixel(fx, fz, p.first, p.second));
            const std::vector<int>& q = pixels.back();
            EXPECT_TRUE(q[0] >= 8 && q[0] < 632 && q[1] >= 8 && q[1] < 380 && !(q[0] >= 500 && q[1] < 140))
                << p.first << " " << p.second << " shows at " << q[0] << " " << q[1];
        }
        return pixels;
    }
    void Mouse(const std::vector<int>& p, const std::string& then = "") { Mouse(p[0], p[1], then); }
    void Mouse(int px, int py, const std::string& then = "") {
        x.Shell("xdotool mousemove --window " + window + " " + std::to_string(px) + " " + std::to_string(py) +
                (then.empty() ? "" : " " + then));
    }
    STestShot Shot() { return x.Screenshot(window); }
    // The game quits as it should.
    void Quit() {
        game.Write("Quit();\n");
        EXPECT_EQ(game.Wait(30), 0) << game.Output();
    }
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
// The first build icon: the factory's light tank (the lowest of its build
// list's priorities), the headquarters' constructor, the constructor's power
// plant.
constexpr int kFirstIcon[2] = {406, 406};

}  // namespace

// Each test plays its own game in its window; without the tools it is skipped.
class HudWindow : public ::testing::Test {
protected:
    void SetUp() override {
        if (!Test_OnPath("Xvfb") || !Test_OnPath("xdotool") || !Test_OnPath("import"))
            GTEST_SKIP() << "needs Xvfb, xdotool and ImageMagick";
    }
    CTestXServer& x() { return g.x; }
    SGameWindow g;
    std::string why;
};

TEST_F(HudWindow, RadarSelectionTooltipsAndBuildIconsReadFromTheScreen) {
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
    // Two of the start tanks, where the game put them: the camera over the
    // second, each one's pixel through the camera.
    const SUnitSeen a = g.Unit("Granite_LightTank", -24.0f, -18.0f),
                    b = g.Unit("Granite_LightTank", -20.0f, -22.0f);
    ASSERT_GT(std::hypot(a.x - b.x, a.z - b.z), 2.0f);
    const std::vector<std::vector<int>> at = g.LookAt(b.x, b.z, {{a.x, a.z}, {b.x, b.z}});
    const std::vector<int>&pa = at[0], &pb = at[1];
    const std::vector<SUnitSeen> units = Test_ReadUnits(game);  // where they stand now
    // The first tank selected, the second not.
    g.Mouse(pa, "click 1");
    std::vector<SUnitSeen> selected = SelectedOneAt(game, a.x, a.z);
    ASSERT_EQ(selected.size(), 1u) << pa[0] << " " << pa[1];
    Test_RunAndDraw(game, "");
    const STestShot none = g.Shot();
    // The next click comes after the double-click time (a double click
    // would choose every tank on the screen).
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    // A left click on the second: its mark and bars, the first slot with its
    // name and health, the others covered.
    g.Mouse(pb, "click 1");
    selected = SelectedOneAt(game, b.x, b.z);
    ASSERT_EQ(selected.size(), 1u);
    Test_RunAndDraw(game, "");
    const STestShot one = g.Shot();
    ASSERT_TRUE(one.Valid());
    const int x0 = pb[0] - 100, y0 = pb[1] - 100, x1 = pb[0] + 100, y1 = pb[1] + 100;
    EXPECT_GT(Count(one, x0, y0, x1, y1, PureGreen), Count(none, x0, y0, x1, y1, PureGreen) + 20);
    EXPECT_GT(Count(one, kSlot1[0], kSlot1[1], kSlot1[2], kSlot1[3], Near(44, 58, 84)), 300);
    EXPECT_GT(Count(one, kSlot1[0] + 36, kSlot1[1] + 24, kSlot1[2], kSlot1[3], PureGreen), 10);  // health
    EXPECT_GT(Count(one, kSlot1[0] + 36, kSlot1[1], kSlot1[2], kSlot1[1] + 20, Near(208, 216, 232)), 10);
    EXPECT_GT(Count(one, kSlot2[0], kSlot2[1], kSlot2[2], kSlot2[3], Near(22, 30, 44)), 1500);  // covered

    // The tooltip after the hover delay: over the tank "Select" with its
    // name, over the ground "Move"; a wider box for the longer text. The
    // ground: a point of the view 6 away from every unit.
    auto tooltip = [](const std::vector<int>& p) {
        return [=](const STestShot& s) {
            return Count(s, p[0] - 4, p[1] + 16, 640, p[1] + 40, Near(0, 200, 0));
        };
    };
    std::vector<int> pg;
    for (float dx = -8.0f; dx <= 8.0f && pg.empty(); dx += 2.0f)
        for (float dz : {2.0f, 4.0f, -2.0f}) {
            bool clear = true;
            for (const SUnitSeen& u : units)
                clear = clear && std::hypot(u.x - b.x - dx, u.z - b.z - dz) > 6.0f;
            const std::vector<int> p = Test_GroundPixel(b.x, b.z, b.x + dx, b.z + dz);
            if (clear && p[0] > 20 && p[0] < 400 && p[1] > 40 && p[1] < 320) {
                pg = p;
                break;
            }
        }
    ASSERT_FALSE(pg.empty()) << "no free ground in view";
    g.Mouse(pb);
    const STestShot overTank = g.WaitForShot([&](const STestShot& s) { return tooltip(pb)(s) > 100; });
    g.Mouse(pg);
    const STestShot overGround = g.WaitForShot([&](const STestShot& s) { return tooltip(pg)(s) > 20; });
    const int tankBox = tooltip(pb)(overTank), groundBox = tooltip(pg)(overGround);
    EXPECT_GT(groundBox, 20);
    EXPECT_GT(tankBox, 2 * groundBox);

    // A click on it moves the camera there.
    Test_LookAt(game, b.x, b.z);
    const float before = ReadVariable(game, "View_GameSceneCenterX");
    g.Mouse(600, 60, "click 1");
    float after = before;
    for (int i = 0; i < 20 && std::fabs(after - before) < 5.0f; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        after = ReadVariable(game, "View_GameSceneCenterX");
    }
    EXPECT_GT(std::fabs(after - before), 5.0f) << before << " " << after;

    // The factory: its build icons with their pictures and costs.
    const SUnitSeen factory = g.Unit("Granite_Factory");
    g.Mouse(g.LookAt(factory.x, factory.z, {{factory.x, factory.z}})[0], "click 1");
    for (int i = 0; i < 20 && (selected.size() != 1 || selected[0].name != "Granite_Factory"); ++i)
        selected = Test_SelectedUnits(game);
    ASSERT_EQ(selected.size(), 1u);
    EXPECT_EQ(selected[0].name, "Granite_Factory");
    g.Mouse(150, 100);
    const STestShot panel = g.WaitForShot([](const STestShot& s) {
        return Count(s, kCosts[0], kCosts[1], kCosts[2], kCosts[3], Near(255, 220, 120)) > 20;
    });
    EXPECT_GT(Count(panel, kCosts[0], kCosts[1], kCosts[2], kCosts[3], Near(255, 220, 120)), 20);
    EXPECT_GT(Count(panel, kIcons[0], kIcons[1], kIcons[2], kIcons[3], Near(111, 134, 168)), 200);
    // Three clicks queue three tanks, two right clicks take two off again:
    // one tank comes, the resources shown fall.
    g.Mouse(kFirstIcon[0], kFirstIcon[1], "click --repeat 3 --delay 60 1 click --repeat 2 --delay 60 3");
    bool came = false;
    for (int i = 0; i < 120 && !came; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        came = Test_ReadUnits(game).size() > units.size();
    }
    ASSERT_TRUE(came) << game.Output();
    g.Mouse(150, 100);
    const STestShot bought = g.WaitForShot([&](const STestShot& s) {
        return Changed(panel, s, kResources[0], kResources[1], kResources[2], kResources[3]) > 10;
    });
    EXPECT_GT(Changed(panel, bought, kResources[0], kResources[1], kResources[2], kResources[3]), 10);
    // No second one follows in the time of three more.
    std::this_thread::sleep_for(std::chrono::seconds(4));
    EXPECT_EQ(Test_ReadUnits(game).size(), units.size() + 1);
    // Every unit selected (more than the six slots): each slot shows a name,
    // cut where its box leaves no room ("Headquarters" is longer), never
    // running past its box's edge.
    auto name = Near(208, 216, 232);
    auto named = [&](const STestShot& s, int i) {
        return Count(s, kSlot1[0] + 104 * i + 35, kSlot1[1], kSlot1[0] + 104 * i + 84, kSlot1[1] + 20, name);
    };
    const STestShot all = g.WaitForShot([&](const STestShot& s) { return named(s, 5) > 10; });
    for (int i = 0; i < 6; ++i) {
        EXPECT_GT(named(all, i), 10) << "slot " << i;
        EXPECT_EQ(
            Count(all, kSlot1[0] + 104 * i + 98, kSlot1[1], kSlot1[0] + 104 * i + 104, kSlot1[1] + 20, name),
            0)
            << "slot " << i;
    }

    // A warp gate of the player's shows its reach on the radar, in blue,
    // while it is selected.
    const SUnitSeen hq = g.Unit("Granite_Headquarters");
    Test_RunAndDraw(game, "UnselectAll();");
    const STestShot unringed = g.Shot();
    auto warpBlue = Near(0, 0, 200);
    const int blueBefore = Count(unringed, kRadar[0], kRadar[1], kRadar[2], kRadar[3], warpBlue);
    game.Write("AI_Create(\"Granite_WarpGate\", " + std::to_string(hq.x + 14.0f) + ", " +
               std::to_string(hq.z) + ", 1, 0);\n");
    bool gate = false;
    for (int i = 0; i < 40 && !gate; ++i)
        gate = Test_NearestUnit(Test_ReadUnits(game), "Granite_WarpGate", hq.x, hq.z) != nullptr;
    ASSERT_TRUE(gate) << game.Output();
    Test_RunAndDraw(game, "SelectAllUnits();");
    const STestShot ringed = g.WaitForShot([&](const STestShot& s) {
        return Count(s, kRadar[0], kRadar[1], kRadar[2], kRadar[3], warpBlue) > blueBefore + 40;
    });
    EXPECT_GT(Count(ringed, kRadar[0], kRadar[1], kRadar[2], kRadar[3], warpBlue), blueBefore + 40);
    Test_RunAndDraw(game, "UnselectAll();");
    const STestShot plain = g.WaitForShot([&](const STestShot& s) {
        return Count(s, kRadar[0], kRadar[1], kRadar[2], kRadar[3], warpBlue) <= blueBefore + 5;
    });
    EXPECT_LE(Count(plain, kRadar[0], kRadar[1], kRadar[2], kRadar[3], warpBlue), blueBefore + 5);

    g.Quit();
}

TEST_F(HudWindow, AnOwnUnitAttackedRaisesTheEventMessageOnceWithARadarRing) {
    const std::string wave = g.dir.File("mix.wav");
    ASSERT_TRUE(g.Start(&why, wave)) << why;
    CTestProcess& game = g.game;
    g.Mouse(150, 100);
    auto red = [](const unsigned char* p) { return p[0] > 200 && p[1] < 60 && p[2] < 60; };
    const STestShot calm = g.WaitForShot([](const STestShot& s) {
        return Count(s, kRadar[0], kRadar[1], kRadar[2], kRadar[3], Grass) > 3000;
    });
    // One start tank selected and told to attack (fm_AttackMode): a left
    // click on another sets it on its neighbour.
    const SUnitSeen a = g.Unit("Granite_LightTank", -24.0f, -18.0f),
                    b = g.Unit("Granite_LightTank", -20.0f, -22.0f);
    const std::vector<std::vector<int>> at = g.LookAt(b.x, b.z, {{a.x, a.z}, {b.x, b.z}});
    g.Mouse(at[1], "click 1");
    ASSERT_EQ(SelectedOneAt(game, b.x, b.z).size(), 1u);
    Test_RunAndDraw(game, "fm_AttackMode();");
    std::this_thread::sleep_for(std::chrono::milliseconds(700));  // no double click
    g.Mouse(at[0], "click 1");
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
    // The announcer said it: the race's call for a unit under attack, 587 Hz
    // then 494 Hz (a ninth of a second each), in the mix after the message;
    // each tone stands clear of the frequency between them, which the guns'
    // noise fills as much.
    SCapturedSound mix;
    ASSERT_TRUE(Sound_ReadWave(wave, mix));
    const size_t window = size_t(mix.rate) / 20;
    auto clear = [&](double hz, size_t from) {
        const double e = Sound_ToneEnergy(mix.left, mix.rate, hz, from, from + window);
        return e > 1e-5 && e > 8.0 * Sound_ToneEnergy(mix.left, mix.rate, 540.0, from, from + window);
    };
    size_t first = heardFrom > size_t(mix.rate) / 2 ? heardFrom - size_t(mix.rate) / 2 : 0;
    while (first + window <= mix.Frames() && !clear(587.0, first)) first += window / 4;
    ASSERT_LT(first + window, mix.Frames()) << "no 587 Hz after the message";
    bool second = false;
    for (size_t at = first + window; at < first + 6 * window && at + window <= mix.Frames(); at += window / 4)
        second = second || clear(494.0, at);
    EXPECT_TRUE(second) << "no 494 Hz after the 587 Hz";

    // Below half its power the tank under fire trails smoke. Paused, the
    // game stands still on the screen however many frames are drawn: the
    // smoke's particles and the units stop with the game's time (they move
    // while it runs).
    SUnitSeen hit;
    for (int i = 0; i < 120 && !(hit.power > 0.0f && hit.power < 100.0f); ++i) {
        const std::vector<SUnitSeen> now = Test_ReadUnits(game);
        const SUnitSeen* seen = Test_NearestUnit(now, "Granite_LightTank", a.x, a.z);
        ASSERT_TRUE(seen);
        hit = *seen;
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    ASSERT_LT(hit.power, 100.0f);
    Test_RunAndDraw(game, "UnselectAll();");
    const std::vector<int> ph = g.LookAt(hit.x, hit.z, {{hit.x, hit.z}})[0];
    g.Mouse(150, 470);
    auto moved = [&](const STestShot& s1, const STestShot& s2) {
        return Changed(s1, s2, ph[0] - 120, ph[1] - 120, ph[0] + 120, std::min(ph[1] + 120, 380));
    };
    auto twoShots = [&] {
        std::vector<STestShot> shots{g.Shot()};
        for (int i = 0; i < 4; ++i) Test_RunAndDraw(game, "");
        shots.push_back(g.Shot());
        return shots;
    };
    const std::vector<STestShot> running = twoShots();
    // The pause travels in a lockstep frame, a tick lead ahead: it holds
    // once that frame has run, which the game is asked until it says so.
    Test_RunAndDraw(game, "srv_Pause(1);");
    bool pausedNow = false;
    for (int i = 0; i < 40 && !pausedNow; ++i) {
        game.Write("srv_Pause;\n");
        pausedNow = game.WaitForLine("srv_Pause = true", 0.5);
    }
    ASSERT_TRUE(pausedNow) << game.Output();
    Test_RunAndDraw(game, "");
    const std::vector<STestShot> paused = twoShots();
    EXPECT_GT(moved(running[0], running[1]), 50);
    EXPECT_EQ(moved(paused[0], paused[1]), 0);

    g.Quit();
}

namespace {

// The power of the unit of the template nearest to (x, z), of whichever
// owner; NAN without one. A unit that drives (a harvester going to work) is
// followed: x and z become where it stands now.
float PowerOf(CTestProcess& game, const char* name, float& x, float& z) {
    const std::vector<SUnitSeen> all = Test_EveryUnit(game);
    const SUnitSeen* u = Test_NearestUnit(all, name, x, z);
    if (!u || std::hypot(u->x - x, u->z - z) >= 8.0f) return NAN;
    x = u->x;
    z = u->z;
    return u->power;
}

// Reads the target's power until it falls below `whole` (true) or the
// seconds ran out.
bool Damaged(CTestProcess& game, const char* name, float x, float z, float whole, double seconds) {
    for (int i = 0; i < int(seconds * 4); ++i) {
        if (PowerOf(game, name, x, z) < whole) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    return false;
}

}  // namespace

// A right click on the computer's unit and on its building, each seen by a
// light tank from beyond its guns (it sees 20 and fires at 16): the selected
// tank drives to it and fires, and the target takes damage. Until the click
// the target stays whole. Each target has a tank of its own, on either side
// of the three.
TEST_F(HudWindow, ARightClickOnAComputersUnitOrBuildingAttacksIt) {
    ASSERT_TRUE(g.Start(&why)) << why;
    CTestProcess& game = g.game;
    struct STarget {
        const char* name;
        SUnitSeen tank;
        float x, z;
    };
    const SUnitSeen east = g.Unit("Granite_LightTank", -16.0f, -18.0f),
                    west = g.Unit("Granite_LightTank", -24.0f, -18.0f);
    const STarget targets[] = {{"Coral_Harvester", east, east.x + 19.0f, east.z},
                               {"Coral_Depot", west, west.x - 19.0f, west.z}};
    for (int i = 0; i < 2; ++i)
        Test_RunAndDraw(game, std::string("Create(\"") + targets[i].name + "\", " +
                                  std::to_string(targets[i].x) + ", " + std::to_string(targets[i].z) +
                                  ", 2, 0, " + std::to_string(900 + i) + ");");
    for (const STarget& t : targets) {
        SCOPED_TRACE(t.name);
        float x = t.x, z = t.z;  // where the target stands (a harvester drives off to work)
        const float whole = PowerOf(game, t.name, x, z);
        ASSERT_GT(whole, 0.0f) << game.Output();
        // The tank selected with a click.
        Test_RunAndDraw(game, "UnselectAll();");
        std::this_thread::sleep_for(std::chrono::milliseconds(700));  // no double click
        g.Mouse(g.LookAt(t.tank.x, t.tank.z, {{t.tank.x, t.tank.z}})[0], "click 1");
        ASSERT_EQ(SelectedOneAt(game, t.tank.x, t.tank.z).size(), 1u);
        // Untouched while it stands beyond the guns.
        std::this_thread::sleep_for(std::chrono::seconds(2));
        ASSERT_EQ(PowerOf(game, t.name, x, z), whole);
        // The right click on the target where it stands, under the "Attack"
        // cursor.
        const std::vector<int> at = g.LookAt(x, z, {{x, z}})[0];
        g.Mouse(at);
        Test_RunAndDraw(game, "");
        g.Mouse(at, "click 3");
        EXPECT_TRUE(Damaged(game, t.name, x, z, whole, 45.0)) << game.Output();
    }
    g.Quit();
}

// Mission 1's outpost belongs to nobody who plays (the map's neutral side):
// a right click on its depot, with a light tank selected that sees it from
// beyond its guns, sets the tank on it, and the depot takes damage.
TEST_F(HudWindow, ARightClickOnTheFirstMissionsOutpostAttacksIt) {
    ASSERT_TRUE(
        g.Start(&why, "", nullptr,
                "SetActiveCampaign(\"Demo\");\nStartCampaignMission(\"Mission1\");\nStartCampaignGame;\n"))
        << why;
    CTestProcess& game = g.game;
    const SUnitSeen tank = g.Unit("Granite_LightTank", -16.0f, -18.0f);
    float dx = 26.0f, dz = 10.0f;  // the depot (a building: it stays)
    const float whole = PowerOf(game, "Coral_Depot", dx, dz);
    ASSERT_GT(whole, 0.0f) << game.Output();
    g.Mouse(g.LookAt(tank.x, tank.z, {{tank.x, tank.z}})[0], "click 1");
    ASSERT_EQ(SelectedOneAt(game, tank.x, tank.z).size(), 1u);
    // Driven (right clicks on open ground) to 19 from the depot, in two legs.
    const float sx = dx - 15.2f, sz = dz - 11.4f;
    for (int leg = 1; leg <= 2; ++leg) {
        const float gx = tank.x + (sx - tank.x) * float(leg) / 2.0f,
                    gz = tank.z + (sz - tank.z) * float(leg) / 2.0f;
        g.Mouse(g.LookAt(gx, gz, {{gx, gz}})[0], "click 3");
        ASSERT_TRUE(Test_WaitForUnitAt(game, "Granite_LightTank", gx, gz, 2.0f, 60.0)) << game.Output();
    }
    std::this_thread::sleep_for(std::chrono::seconds(2));
    ASSERT_EQ(PowerOf(game, "Coral_Depot", dx, dz), whole);
    const std::vector<int> at = g.LookAt(dx, dz, {{dx, dz}})[0];
    g.Mouse(at);
    Test_RunAndDraw(game, "");
    g.Mouse(at, "click 3");
    EXPECT_TRUE(Damaged(game, "Coral_Depot", dx, dz, whole, 45.0)) << game.Output();
    g.Quit();
}

// The selection's slots hold the mouse: with the three tanks selected and
// the headquarters drawn behind the first slot, a click on the slot leaves
// the headquarters alone (the tanks stay selected), and the bar shows no
// building under the mouse.
TEST_F(HudWindow, TheHudHoldsTheMouseOverItsSlots) {
    ASSERT_TRUE(g.Start(&why)) << why;
    CTestProcess& game = g.game;
    const SUnitSeen hq = g.Unit("Granite_Headquarters");
    // The camera's place that draws the headquarters at the slot's middle.
    const int sx = (kSlot1[0] + kSlot1[2]) / 2, sy = (kSlot1[1] + kSlot1[3]) / 2;
    float fx = hq.x, fz = hq.z;
    int best = 1 << 30;
    for (float dx = -30.0f; dx <= 30.0f; dx += 0.25f)
        for (float dz = -30.0f; dz <= 30.0f; dz += 0.25f) {
            const std::vector<int> p = Test_GroundPixel(hq.x + dx, hq.z + dz, hq.x, hq.z);
            const int d = std::abs(p[0] - sx) + std::abs(p[1] - sy);
            if (d < best) best = d, fx = hq.x + dx, fz = hq.z + dz;
        }
    ASSERT_LT(best, 12);
    // One tank clicked, then every tank (SelectSameSort).
    const SUnitSeen t = g.Unit("Granite_LightTank", -20.0f, -22.0f);
    g.Mouse(g.LookAt(t.x, t.z, {{t.x, t.z}})[0], "click 1");
    ASSERT_EQ(SelectedOneAt(game, t.x, t.z).size(), 1u);
    Test_RunAndDraw(game, "SelectSameSort();");
    const std::vector<SUnitSeen> tanks = Test_SelectionOf(game, 3);
    Test_LookAt(game, fx, fz);
    ASSERT_EQ(tanks.size(), 3u) << game.Output();
    g.Mouse(sx, sy);
    Test_RunAndDraw(game, "");
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    g.Mouse(sx, sy, "click 1");
    Test_RunAndDraw(game, "");
    Test_RunAndDraw(game, "");
    const std::vector<SUnitSeen> after = Test_SelectedUnits(game);
    for (const SUnitSeen& u : after) EXPECT_NE(u.name, "Granite_Headquarters");
    EXPECT_FALSE(after.empty());
    g.Quit();
}

// A selected unit's order shows without Shift: the path from the unit and
// the move marker at its end. Its marker answers the mouse (lit) only while
// Shift is held: without it a click there stays an ordinary click.
TEST_F(HudWindow, ASelectedUnitsOrderShowsWithoutShiftAndItsMarkerAnswersOnlyWithShift) {
    ASSERT_TRUE(g.Start(&why)) << why;
    CTestProcess& game = g.game;
    Test_RunAndDraw(game, "Interfaceopt_ToolTips(0);");
    const SUnitSeen tank = g.Unit("Granite_LightTank", -24.0f, -18.0f);
    const float tx = tank.x, tz = tank.z + 6.0f;
    const std::vector<std::vector<int>> at = g.LookAt(tank.x, tank.z + 3.0f, {{tank.x, tank.z}, {tx, tz}});
    const std::vector<int>&pu = at[0], &pt = at[1];
    auto marker = [&](const STestShot& s) {
        return Count(s, pt[0] - 10, pt[1] - 10, pt[0] + 11, pt[1] + 11, Near(0, 150, 0)) +
               Count(s, pt[0] - 10, pt[1] - 10, pt[0] + 11, pt[1] + 11, Near(0, 170, 0));
    };
    auto lit = [&](const STestShot& s) {
        return Count(s, pt[0] - 9, pt[1] - 9, pt[0] + 10, pt[1] + 10, Near(0, 255, 0));
    };
    g.Mouse(320, 60);
    Test_RunAndDraw(game, "");
    const STestShot before = g.Shot();
    ASSERT_TRUE(before.Valid());
    g.Mouse(pu, "click 1");
    ASSERT_EQ(SelectedOneAt(game, tank.x, tank.z).size(), 1u);
    g.Mouse(pt, "click 3");
    g.Mouse(320, 60);
    const STestShot ordered = g.WaitForShot([&](const STestShot& s) { return marker(s) > 15; });
    EXPECT_GT(marker(ordered), marker(before) + 15);
    // The dashed path between the unit and the marker.
    const int mx = (pu[0] + pt[0]) / 2, my = (pu[1] + pt[1]) / 2;
    EXPECT_GT(Count(ordered, mx - 12, my - 12, mx + 13, my + 13, Near(0, 100, 0)), 3);
    // The mouse on the marker: plain, then with Shift held.
    g.Mouse(pt);
    Test_RunAndDraw(game, "");
    const STestShot plain = g.Shot();
    x().Shell("xdotool keydown shift");
    const STestShot shifted = g.WaitForShot([&](const STestShot& s) { return lit(s) > lit(plain) + 10; });
    x().Shell("xdotool keyup shift");
    EXPECT_GT(marker(plain), 15);
    EXPECT_GT(lit(shifted), lit(plain) + 10);
    g.Quit();
}

// With the GUI hidden (cg_DrawGUI(0)) the notice says how to bring it back
// for a while, and the player's stock and energy show as two text lines
// at the top left: white "R" and "E" with their shares and the stock's
// "%d/%d"; the GUI back, they go.
TEST_F(HudWindow, TheHiddenHudLeavesTheNoticeAndTheStockAndEnergyLines) {
    ASSERT_TRUE(g.Start(&why)) << why;
    CTestProcess& game = g.game;
    auto white = Near(255, 255, 255);
    auto lines = [&](const STestShot& s) { return Count(s, 8, 20, 330, 90, white); };
    // The notice's right part (the stock's green figures end at x 170).
    auto notice = [&](const STestShot& s) { return Count(s, 175, 4, 330, 24, PureGreen); };
    g.Mouse(320, 200);
    Test_RunAndDraw(game, "Interfaceopt_ToolTips(0);");
    const STestShot shown = g.Shot();
    Test_RunAndDraw(game, "cg_DrawGUI(0);");
    const STestShot hidden =
        g.WaitForShot([&](const STestShot& s) { return notice(s) > 20 && lines(s) > 40; });
    ASSERT_TRUE(shown.Valid() && hidden.Valid());
    EXPECT_GT(notice(hidden), 20);
    EXPECT_GT(lines(hidden), lines(shown) + 40);
    // The letters at x 10 and the stock's numbers at x 300, in white.
    EXPECT_GT(Count(hidden, 8, 20, 24, 90, white), 5);
    EXPECT_GT(Count(hidden, 298, 20, 340, 90, white), 5);
    // The notice goes after its five seconds; the lines stay.
    const STestShot later = g.WaitForShot([&](const STestShot& s) { return notice(s) < 3; });
    EXPECT_LT(notice(later), 3);
    EXPECT_GT(lines(later), lines(shown) + 40);
    Test_RunAndDraw(game, "cg_DrawGUI(1);");
    const STestShot back = g.WaitForShot([&](const STestShot& s) { return lines(s) <= lines(shown) + 5; });
    EXPECT_LE(lines(back), lines(shown) + 5);
    g.Quit();
}

TEST_F(HudWindow, APlayerPutsUpABuildingWithTheMouse) {
    ASSERT_TRUE(g.Start(&why)) << why;
    CTestProcess& game = g.game;

    // The headquarters makes a constructor (its first icon).
    const SUnitSeen hq = g.Unit("Granite_Headquarters");
    g.Mouse(g.LookAt(hq.x, hq.z, {{hq.x, hq.z}})[0], "click 1");
    std::vector<SUnitSeen> selected = SelectedOneAt(game, hq.x, hq.z);
    ASSERT_EQ(selected.size(), 1u);
    g.Mouse(kFirstIcon[0], kFirstIcon[1], "click 1");
    // It is made beside the headquarters.
    const SUnitSeen* made = nullptr;
    std::vector<SUnitSeen> units;
    for (int i = 0; i < 40 && !made; ++i) {
        units = Test_ReadUnits(game);
        made = Test_NearestUnit(units, "Granite_Constructor", hq.x, hq.z);
    }
    ASSERT_TRUE(made) << game.Output();
    const SUnitSeen c = *made;

    // Selected, the constructor shows what it puts up; a click on an icon
    // takes the building to the mouse, its footprint on the ground.
    const float fx = c.x, fz = c.z;
    // Until it is whole it cannot be picked: clicked again (beyond the
    // double-click time) until the click selects it.
    std::vector<int> pc = g.LookAt(fx, fz, {{c.x, c.z}})[0];
    selected.clear();
    for (int i = 0; i < 90 && !(selected.size() == 1 && selected[0].name == "Granite_Constructor"); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        g.Mouse(pc, "click 1");
        Test_RunAndDraw(game, "");
        selected = Test_SelectedUnits(game);
    }
    ASSERT_EQ(selected.size(), 1u);
    ASSERT_EQ(selected[0].name, "Granite_Constructor");
    EXPECT_TRUE(game.WaitForOutput("Constructor : Unit ready", 5.0)) << game.Output();
    g.Mouse(kFirstIcon[0], kFirstIcon[1], "click 1");
    // A free place: ground in view 7 from every unit.
    float sx = 0.0f, sz = 0.0f;
    std::vector<int> ps;
    for (float dx : {0.0f, -4.0f, 4.0f, -7.0f, 7.0f})
        for (float dz : {6.0f, -6.0f, 3.0f, -3.0f}) {
            bool clear = ps.empty();
            for (const SUnitSeen& u : units) clear = clear && std::hypot(u.x - fx - dx, u.z - fz - dz) > 7.0f;
            const std::vector<int> p = Test_GroundPixel(fx, fz, fx + dx, fz + dz);
            if (clear && p[0] > 60 && p[0] < 480 && p[1] > 60 && p[1] < 330) {
                sx = fx + dx, sz = fz + dz;
                ps = p;
            }
        }
    ASSERT_FALSE(ps.empty()) << "no free ground in view";
    auto lines = [](int r, int gr, int b) {
        return [=](const STestShot& s) { return Count(s, 0, 0, 500, 380, Near(r, gr, b)); };
    };
    const STestShot without = g.Shot();
    g.Mouse(ps);
    const STestShot footprint = g.WaitForShot(
        [&](const STestShot& s) { return lines(255, 255, 255)(s) > lines(255, 255, 255)(without) + 40; });
    EXPECT_GT(lines(255, 255, 255)(footprint), lines(255, 255, 255)(without) + 40);
    // Over the headquarters it shows red, and a click there builds nothing.
    const std::vector<int> ph = Test_GroundPixel(fx, fz, hq.x, hq.z);
    if (ph[0] > 20 && ph[0] < 480 && ph[1] > 20 && ph[1] < 370) {
        g.Mouse(ph);
        const STestShot blocked = g.WaitForShot(
            [&](const STestShot& s) { return lines(255, 0, 0)(s) > lines(255, 0, 0)(without) + 40; });
        EXPECT_GT(lines(255, 0, 0)(blocked), lines(255, 0, 0)(without) + 40);
        g.Mouse(ph, "click 1");
    }
    // A click on the free place: the constructor goes there and the
    // building rises where the footprint stood.
    g.Mouse(ps, "click 1");
    std::string what;
    bool stands = false;
    for (int i = 0; i < 240 && !stands; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        for (const SUnitSeen& u : Test_ReadUnits(game))
            if (u.name.find("Granite_") == 0 && u.name != "Granite_Constructor" &&
                std::hypot(u.x - sx, u.z - sz) < 1.0f) {
                stands = true;
                what = u.name;
            }
    }
    EXPECT_TRUE(stands) << game.Output();
    // The constructor drives to work there.
    const float away = std::hypot(c.x - sx, c.z - sz);
    EXPECT_TRUE(Test_WaitForUnitAt(game, "Granite_Constructor", sx, sz, away - 1.5f, 30.0)) << game.Output();
    EXPECT_EQ(what, "Granite_PowerPlant");
    for (const SUnitSeen& u : Test_ReadUnits(game))
        EXPECT_FALSE(u.name != "Granite_Headquarters" && std::hypot(u.x - hq.x, u.z - hq.z) < 1.0f) << u.name;

    g.Quit();
}

TEST_F(HudWindow, DamagedOrMissingPicturesAreNamedAndTheGameGoesOn) {
    // Junk for a cursor frame and a build icon, another of each missing, and
    // the map's radar picture overwritten in its box.
    auto damage = [&] {
        const std::string gui = "Tessarak/GUI/";
        // The installation keeps the unit icons in the units' folder.
        if (!std::ifstream(g.dir.File("Tessarak/Units/Icons/Granite_LightTank.bmp"))) return false;
        if (!g.dir.Write(gui + "Mouse/select002.bmp", "BM not a picture") ||
            !g.dir.Write("Tessarak/Units/Icons/Granite_LightTank.bmp", std::string(5000, '\x7f')))
            return false;
        std::remove(g.dir.File(gui + "Mouse/move003.bmp").c_str());
        std::remove(g.dir.File("Tessarak/Units/Icons/Granite_Factory.bmp").c_str());
        const std::string box = "Tessarak/Maps/Skerry/MapData.box";
        uint32_t offset = 0, size = 0;
        {
            CVFSTable table;
            if (!table.MountPack(g.dir.WinFile(box).c_str())) return false;
            const SVFSEntry* radar = table.Find("radar.bik");
            if (!radar) return false;
            offset = radar->dataOffset, size = radar->size;
        }
        std::fstream f(g.dir.File(box), std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(offset);
        const std::string junk(size, '\x5a');
        return bool(f.write(junk.data(), std::streamsize(junk.size())));
    };
    ASSERT_TRUE(g.Start(&why, "", damage)) << why;
    CTestProcess& game = g.game;
    // Every unit selected: the slots ask for the units' pictures.
    Test_RunAndDraw(game, "SelectAllUnits();");
    Test_RunAndDraw(game, "");
    for (const char* line : {"Failed to load 'Mouse/select002.bmp'", "Failed to load 'Mouse/move003.bmp'",
                             "Failed to load 'Units/Icons/Granite_LightTank.bmp'",
                             "Failed to load 'Units/Icons/Granite_Factory.bmp'",
                             "Error loading bitmap radar.bik", "Error creating radar. Radar disabled."})
        EXPECT_TRUE(game.WaitForOutput(line, 10.0)) << line << "\n" << game.Output();
    // Each told once, however many frames ask for the icon again.
    const std::string out = game.Output();
    const std::string icon = "Failed to load 'Units/Icons/Granite_LightTank.bmp'";
    EXPECT_EQ(out.find(icon), out.rfind(icon));
    // The game goes on: its units answer, the tanks take an order and move,
    // and it quits as it should.
    const std::vector<SUnitSeen> before = Test_ReadUnits(game);
    const SUnitSeen* tank = Test_NearestUnit(before, "Granite_LightTank", -24.0f, -18.0f);
    ASSERT_TRUE(tank);
    Test_RunAndDraw(game, "AddMoveOrder(11, -10, 0, -25, 0);");
    EXPECT_TRUE(Test_WaitForUnitAt(game, "Granite_LightTank", -10.0f, -25.0f, 2.0f, 30.0)) << game.Output();
    g.Quit();
}

namespace {
// What dbg_MouseAction says once it says what is wanted (a frame or two
// after the mouse moved), or the last thing it said.
std::string MouseActionOnceIs(CTestProcess& game, const std::string& wanted) {
    std::string said;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    do {
        said = Test_Answer(game, "dbg_MouseAction();", "Mouse action ");
        if (said.rfind(wanted, 0) == 0) break;
        Test_RunAndDraw(game, "");
    } while (std::chrono::steady_clock::now() < end);
    return said;
}
}  // namespace

// A click on a selection slot's name (real X events) keeps only that slot's
// unit selected; with Shift held it takes that unit out of the selection.
TEST_F(HudWindow, AClickOnASelectionSlotSelectsItsUnitAndShiftTakesItOut) {
    ASSERT_TRUE(g.Start(&why)) << why;
    CTestProcess& game = g.game;
    const size_t all = g.units.size();
    ASSERT_GE(all, 3u);
    Test_RunAndDraw(game, "SelectAllUnits();");
    ASSERT_EQ(Test_SelectionOf(game, all).size(), all);
    // The second slot's name: its unit alone.
    const int slotName[2] = {kSlot2[0] + 44, kSlot2[1] + 11};
    g.Mouse(slotName[0], slotName[1], "sleep 0.3 click 1");
    const std::vector<SUnitSeen> chosen = Test_SelectionOf(game, 1);
    ASSERT_EQ(chosen.size(), 1u) << game.Output();

    // Everything again; a Shift-click on the same slot takes that unit out.
    std::this_thread::sleep_for(std::chrono::milliseconds(700));  // no double click
    Test_RunAndDraw(game, "SelectAllUnits();");
    ASSERT_EQ(Test_SelectionOf(game, all).size(), all);
    g.Mouse(slotName[0], slotName[1], "sleep 0.3 keydown shift click 1 keyup shift");
    const std::vector<SUnitSeen> rest = Test_SelectionOf(game, all - 1);
    ASSERT_EQ(rest.size(), all - 1) << game.Output();
    for (const SUnitSeen& u : rest)
        EXPECT_FALSE(u.name == chosen[0].name && Test_Near(&u, chosen[0].x, chosen[0].z, 0.2f)) << u.name;
    g.Quit();
}

// The mouse actions a selection gives, each with its cursor and tooltip, the
// mouse moved by the X server: a tank's selection over the player's own warp
// gate goes through it ("move", "Warp the units"); the gate's forced attack
// on a point beyond its reach is out of warp range; over the radar of a
// player without enough power the radar is off.
TEST_F(HudWindow, WarpOutOfWarpRangeAndRadarOffShowTheirCursorsAndTooltips) {
    ASSERT_TRUE(g.Start(&why)) << why;
    CTestProcess& game = g.game;
    const SUnitSeen hq = g.Unit("Granite_Headquarters");
    const SUnitSeen tank = g.Unit("Granite_LightTank", -20.0f, -22.0f);
    const float gx = tank.x + 10.0f, gz = tank.z;
    game.Write("AI_Create(\"Granite_WarpGate\", " + std::to_string(gx) + ", " + std::to_string(gz) +
               ", 1, 0);\n");
    bool gate = false;
    for (int i = 0; i < 40 && !gate; ++i)
        gate = Test_NearestUnit(Test_ReadUnits(game), "Granite_WarpGate", gx, gz) != nullptr;
    ASSERT_TRUE(gate) << game.Output();
    Test_RunAndDraw(game, "UnselectAll();");
    const std::vector<std::vector<int>> at = g.LookAt((tank.x + gx) / 2, gz, {{tank.x, tank.z}, {gx, gz}});

    // The tank selected, the mouse over the gate.
    g.Mouse(at[0], "click 1");
    ASSERT_EQ(SelectedOneAt(game, tank.x, tank.z).size(), 1u);
    g.Mouse(at[1]);
    EXPECT_EQ(MouseActionOnceIs(game, "17"), "17, cursor move, tooltip \"Warp the units\"");

    // The gate selected and its forced attack aimed at the far side of the
    // map, more than 70 away (it reaches 60).
    std::this_thread::sleep_for(std::chrono::milliseconds(700));  // no double click
    g.Mouse(at[1], "click 1");
    ASSERT_EQ(SelectedOneAt(game, gx, gz).size(), 1u);
    Test_RunAndDraw(game, "fm_AttackMode();");
    ASSERT_GT(std::hypot(38.0f - gx, 38.0f - gz), 70.0f);
    const std::vector<std::vector<int>> far = g.LookAt(38.0f, 38.0f, {{38.0f, 38.0f}});
    g.Mouse(far[0]);
    EXPECT_EQ(MouseActionOnceIs(game, "18"), "18, cursor no_select, tooltip \"Out of warp range\"");
    Test_RunAndDraw(game, "fm_AttackMode(); UnselectAll();");

    // Gates enough to take most of the headquarters' energy: over the radar
    // the mouse finds it off.
    for (int i = 0; i < 12; ++i)
        game.Write("AI_Create(\"Granite_WarpGate\", " + std::to_string(hq.x - 30.0f + 8.0f * float(i % 4)) +
                   ", " + std::to_string(hq.z + 30.0f + 8.0f * float(i / 4)) + ", 1, 0);\n");
    ASSERT_TRUE(game.WaitForOutput("Radar off line", 30)) << game.Output();
    g.Mouse((kRadar[0] + kRadar[2]) / 2, (kRadar[1] + kRadar[3]) / 2);
    const std::string radarOff = MouseActionOnceIs(game, "22");
    EXPECT_EQ(radarOff, "22, cursor no_select, tooltip \"  Radar off line \"");
    g.Quit();
}

// A building taken to the mouse from a constructor's icon (real X events)
// goes back once the constructor is no longer selected, and when the game
// is paused.
TEST_F(HudWindow, APlacementEndsWhenItsConstructorIsDeselectedOrTheGamePauses) {
    ASSERT_TRUE(g.Start(&why)) << why;
    CTestProcess& game = g.game;
    const SUnitSeen tank = g.Unit("Granite_LightTank", -20.0f, -22.0f);
    const float cx = tank.x + 8.0f, cz = tank.z;
    game.Write("AI_Create(\"Granite_Constructor\", " + std::to_string(cx) + ", " + std::to_string(cz) +
               ", 1, 0);\n");
    const SUnitSeen* made = nullptr;
    std::vector<SUnitSeen> units;
    for (int i = 0; i < 40 && !made; ++i) {
        units = Test_ReadUnits(game);
        made = Test_NearestUnit(units, "Granite_Constructor", cx, cz);
    }
    ASSERT_TRUE(made) << game.Output();
    const SUnitSeen c = *made;
    Test_RunAndDraw(game, "UnselectAll();");
    const std::vector<std::vector<int>> at = g.LookAt(c.x + 2.5f, c.z, {{c.x, c.z}, {c.x + 5.0f, c.z}});
    const auto placing = [](const std::string& said) {
        return said.rfind("8,", 0) == 0 || said.rfind("9,", 0) == 0;
    };
    // The constructor selected, its first building at the mouse.
    auto place = [&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(700));  // no double click
        g.Mouse(at[0], "click 1");
        EXPECT_EQ(SelectedOneAt(game, c.x, c.z).size(), 1u);
        g.Mouse(kFirstIcon[0], kFirstIcon[1], "click 1");
        g.Mouse(at[1]);
        // Placing: 8 where it may stand, 9 where it may not.
        std::string said;
        for (int i = 0; i < 40 && !placing(said); ++i) {
            said = Test_Answer(game, "dbg_MouseAction();", "Mouse action ");
            Test_RunAndDraw(game, "");
        }
        return said;
    };
    ASSERT_TRUE(placing(place())) << game.Output();
    Test_RunAndDraw(game, "UnselectAll();");
    EXPECT_EQ(MouseActionOnceIs(game, "0").substr(0, 2), "0,");

    ASSERT_TRUE(placing(place())) << game.Output();
    // The pause runs from its lockstep frame on: a frame is drawn in it.
    Test_RunAndDraw(game, "srv_Pause(1);");
    std::string paused;
    for (int i = 0; i < 40 && paused != "true"; ++i) {
        paused = Test_Answer(game, "srv_Pause;", "srv_Pause = ");
        Test_RunAndDraw(game, "");
    }
    ASSERT_EQ(paused, "true") << game.Output();
    Test_RunAndDraw(game, "srv_Pause(0);");
    const std::string after = MouseActionOnceIs(game, "2");
    EXPECT_FALSE(placing(after)) << after;
    g.Quit();
}

namespace {
// The texts the active screen shows now (dbg_ScreenTexts): each object's
// name and its text, in the screen's order; the screen's id first.
struct SScreenTexts {
    int screen = -1;
    std::vector<std::pair<std::string, std::string>> texts;
    std::vector<std::string> Of(const std::string& name) const {
        std::vector<std::string> out;
        for (const auto& t : texts)
            if (t.first == name) out.push_back(t.second);
        return out;
    }
    bool Shows(const std::string& text) const {
        for (const auto& t : texts)
            if (t.second == text) return true;
        return false;
    }
};
SScreenTexts ScreenTexts(CTestProcess& game) {
    static int s_serial = 0;
    const std::string end = "texts-end " + std::to_string(++s_serial);
    const size_t from = game.Output().size();
    game.Write("dbg_ScreenTexts(); echo(\"" + end + "\");\n");
    SScreenTexts out;
    if (!game.WaitForLine(end, 10.0)) return out;
    const std::string said = game.Output().substr(from);
    std::istringstream lines(said.substr(0, said.find(end)));
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("Screen text \"", 0) == 0) {
            const size_t a = 13, b = line.find("\" \"", a);
            if (b != std::string::npos && line.size() > b + 3)
                out.texts.push_back({line.substr(a, b - a), line.substr(b + 3, line.size() - b - 4)});
        } else if (line.rfind("Screen ", 0) == 0) {
            out.screen = std::atoi(line.c_str() + 7);
        }
    }
    return out;
}
// The screen's texts once the test passes (a frame or two after what
// changed them), or as last read after about 30 s.
template <class Test>
SScreenTexts ScreenTextsOnce(CTestProcess& game, Test test) {
    SScreenTexts t;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    do {
        t = ScreenTexts(game);
        if (test(t)) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    } while (std::chrono::steady_clock::now() < end);
    return t;
}
// The written label of an icon: white letters.
bool LabelInk(const unsigned char* p) {
    return p[0] > 235 && p[1] > 235 && p[2] > 235;
}
}  // namespace

// What a player reads of the units: the tooltip over a tank names it as a
// light tank, the selection's slots name every unit so, the build icons'
// tooltips name the item with its cost, and every build icon shows its
// kind's short name written on it, the constructor's factory too.
TEST_F(HudWindow, TooltipsSlotsAndBuildIconsNameTheUnitsAsAPlayerReadsThem) {
    ASSERT_TRUE(g.Start(&why)) << why;
    CTestProcess& game = g.game;
    const SUnitSeen tank = g.Unit("Granite_LightTank", -20.0f, -22.0f);
    const SUnitSeen hq = g.Unit("Granite_Headquarters");
    g.Mouse(g.LookAt(tank.x, tank.z, {{tank.x, tank.z}})[0]);
    // (A tank takes energy: the tooltip says how much after its name.)
    EXPECT_EQ(MouseActionOnceIs(game, "1, cursor select, tooltip \"Select Light"),
              "1, cursor select, tooltip \"Select Light Tank (takes 1 energy units)\"");

    // The three tanks selected: three slots named "Light Tank"; every unit
    // selected: each slot's name is one a player reads.
    g.Mouse(g.LookAt(tank.x, tank.z, {{tank.x, tank.z}})[0], "click 1");
    ASSERT_EQ(SelectedOneAt(game, tank.x, tank.z).size(), 1u);
    Test_RunAndDraw(game, "SelectSameSort();");
    const std::vector<std::string> tanks =
        ScreenTextsOnce(game, [](const SScreenTexts& t) { return t.Of("Name").size() == 3; }).Of("Name");
    EXPECT_EQ(tanks, std::vector<std::string>(3, "Light Tank"));
    Test_RunAndDraw(game, "SelectAllUnits();");
    const std::vector<std::string> slots =
        ScreenTextsOnce(game, [](const SScreenTexts& t) { return t.Of("Name").size() >= 6; }).Of("Name");
    ASSERT_GE(slots.size(), 6u) << game.Output();
    // A name longer than its slot's room is cut, by a letter or two at most.
    static const char* const kReadable[] = {"Headquarters", "Factory", "Depot", "Harvester", "Light Tank"};
    for (const std::string& s : slots) {
        bool readable = false;
        for (const std::string r : kReadable)
            readable = readable || (r.rfind(s, 0) == 0 && s.size() + 2 >= r.size());
        EXPECT_TRUE(readable) << s;
    }

    // A constructor made beside the headquarters, clicked: its build icons,
    // each item's tooltip its name and cost, each icon written on; the
    // factory's among them.
    const float cx = hq.x + 8.0f, cz = hq.z - 8.0f;
    Test_RunAndDraw(game, "UnselectAll(); AI_Create(\"Granite_Constructor\", " + std::to_string(cx) + ", " +
                              std::to_string(cz) + ", 1, 0);");
    const SUnitSeen* made = nullptr;
    std::vector<SUnitSeen> now;
    for (int i = 0; i < 40 && !made; ++i)
        made = Test_NearestUnit(now = Test_ReadUnits(game), "Granite_Constructor", cx, cz);
    ASSERT_TRUE(made) << game.Output();
    const SUnitSeen constructor = *made;
    Test_RunAndDraw(game, "UnselectAll();");
    g.Mouse(g.LookAt(constructor.x, constructor.z, {{constructor.x, constructor.z}})[0], "click 1");
    ASSERT_EQ(SelectedOneAt(game, constructor.x, constructor.z).size(), 1u);
    int factoryIcon = -1;
    std::string last;
    for (int i = 0; i < 5; ++i) {
        g.Mouse(kFirstIcon[0] + 40 * i, kFirstIcon[1]);
        // The icon's own tooltip once it shows (an icon without an item has
        // none).
        std::string tip;
        for (int tries = 0; tries < 20 && (tip.empty() || tip == last); ++tries) {
            tip = Test_Answer(game, "dbg_MouseAction();", "Panel tooltip \"");
            Test_RunAndDraw(game, "");
        }
        if (tip.empty() || tip == last) continue;
        last = tip;
        EXPECT_NE(tip.find(" ("), std::string::npos) << tip;
        EXPECT_EQ(tip.find('_'), std::string::npos) << tip;
        if (tip.rfind("Factory (", 0) == 0) factoryIcon = i;
    }
    ASSERT_GE(factoryIcon, 0) << game.Output();
    g.Mouse(150, 100);
    const STestShot icons = g.WaitForShot([](const STestShot& s) {
        return Count(s, kIcons[0], kIcons[1], kIcons[2], kIcons[3], LabelInk) > 40;
    });
    const int left = kIcons[0] + 40 * factoryIcon;
    EXPECT_GT(Count(icons, left, kIcons[1], left + 36, kIcons[3], LabelInk), 20);
    g.Quit();
}

// The end of a game on the end screen and "Continue" into the next: after
// the harvester has brought resources home the end screen's table counts
// them (not 0) and the race, with no HUD drawn over it; after "Continue" and
// a new skirmish the game runs under its own in-game screen, with no end
// screen, no slots of the units selected before and no build icons of the
// factory selected and destroyed in the game before.
TEST_F(HudWindow, TheEndScreenCountsTheGameAndTheNextGameKeepsNothingOfIt) {
    ASSERT_TRUE(g.Start(&why)) << why;
    CTestProcess& game = g.game;
    // The harvester at work, the game fast until something came home.
    Test_RunAndDraw(game, "srv_GameSpeed(8);");
    int harvested = 0;
    for (int i = 0; i < 240 && harvested <= 0; ++i) {
        harvested = std::atoi(Test_Answer(game, "dbg_UnitState();", "harvested ").c_str());
        if (harvested <= 0) std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    ASSERT_GT(harvested, 0) << game.Output();
    Test_RunAndDraw(game, "srv_GameSpeed(1);");

    // The factory clicked (its build icons show), then destroyed; the tanks
    // selected (their slots show); the game won.
    const SUnitSeen factory = g.Unit("Granite_Factory");
    g.Mouse(g.LookAt(factory.x, factory.z, {{factory.x, factory.z}})[0], "click 1");
    ASSERT_EQ(SelectedOneAt(game, factory.x, factory.z).size(), 1u);
    g.Mouse(150, 100);
    ASSERT_GT(Count(g.WaitForShot([](const STestShot& s) {
                  return Count(s, kIcons[0], kIcons[1], kIcons[2], kIcons[3], LabelInk) > 40;
              }),
                    kIcons[0], kIcons[1], kIcons[2], kIcons[3], LabelInk),
              40);
    Test_RunAndDraw(game, "KillSelected();");
    std::this_thread::sleep_for(std::chrono::milliseconds(700));  // no double click
    const SUnitSeen tank = g.Unit("Granite_LightTank", -20.0f, -22.0f);
    g.Mouse(g.LookAt(tank.x, tank.z, {{tank.x, tank.z}})[0], "click 1");
    ASSERT_EQ(SelectedOneAt(game, tank.x, tank.z).size(), 1u);
    Test_RunAndDraw(game, "SelectSameSort();");
    ASSERT_FALSE(ScreenTextsOnce(game, [](const SScreenTexts& t) { return t.Shows("Light Tank"); })
                     .Of("Name")
                     .empty());
    game.Write("WinGame(1);\n");

    // The end screen: the player's row gathered what came home; no radar, no
    // bar over it.
    const SScreenTexts end = ScreenTextsOnce(game, [](const SScreenTexts& t) {
        return t.Shows("The game is over") && !t.Of("Gathered").empty() && t.Of("Gathered")[0] != " ";
    });
    ASSERT_TRUE(end.Shows("The game is over")) << game.Output();
    const std::vector<std::string> gathered = end.Of("Gathered"), races = end.Of("Race");
    ASSERT_FALSE(gathered.empty());
    EXPECT_GT(std::atoi(gathered[0].c_str()), 0) << gathered[0];
    ASSERT_FALSE(races.empty());
    EXPECT_EQ(races[0], "Granite");
    EXPECT_TRUE(end.Of("Name").size() >= 2u) << "both players listed";
    // (The radar's upper half: the tables begin below it.)
    const STestShot over = g.WaitForShot(
        [](const STestShot& s) { return Count(s, kRadar[0], kRadar[1], kRadar[2], 60, Grass) < 20; });
    EXPECT_LT(Count(over, kRadar[0], kRadar[1], kRadar[2], 60, Grass), 20);
    EXPECT_LT(Count(over, kIcons[0], kIcons[1], kIcons[2], kIcons[3], LabelInk), 5);

    // "Continue": the main menu; the next skirmish from there.
    g.Mouse(540, 455, "click 1");
    const SScreenTexts menu = ScreenTextsOnce(game, [](const SScreenTexts& t) { return t.screen == 1; });
    ASSERT_EQ(menu.screen, 1) << game.Output();
    const size_t from = game.Output().size();
    game.Write(
        "GameMode(GM_Skirmish); StartLocalServer(); Map(\"Skerry\"); AI_AddCommander(); AI_Active(0); "
        "StartGame();\n");
    bool started = false;
    for (int i = 0; i < 600 && !started; ++i) {
        started = game.Output().find("Starting up game", from) != std::string::npos;
        if (!started) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_TRUE(started) << game.Output().substr(from);
    // The game's own screen as it starts, nothing selected yet in it.
    const SScreenTexts next =
        ScreenTextsOnce(game, [](const SScreenTexts& t) { return t.screen != 700 && t.screen != 1; });
    EXPECT_NE(next.screen, 700);
    EXPECT_NE(next.screen, 1);
    EXPECT_FALSE(next.Shows("The game is over"));
    EXPECT_TRUE(next.Of("Name").empty()) << next.Of("Name")[0];
    ASSERT_FALSE(Test_UnitsOnceRunning(game, 60.0).empty()) << game.Output().substr(from);
    Test_RunAndDraw(game, "UnselectAll();");
    g.Mouse(150, 100);
    Test_RunAndDraw(game, "");
    const STestShot running = g.WaitForShot([](const STestShot& s) {
        return Count(s, kRadar[0], kRadar[1], kRadar[2], kRadar[3], Grass) > 3000;
    });
    EXPECT_GT(Count(running, kRadar[0], kRadar[1], kRadar[2], kRadar[3], Grass), 3000);
    EXPECT_LT(Count(running, kIcons[0], kIcons[1], kIcons[2], kIcons[3], LabelInk), 5);
    g.Quit();
}
