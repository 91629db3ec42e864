// A fight seen and heard, in a network game of two programs joined over UDP:
// the host in a window on an X server of the test's own, its sound through
// OpenAL Soft's wave-file writer; the other offscreen. A right click (a real
// X event) sends the host's tanks onto one of the other side's tanks: while
// they fire, their shots light up around it; when it is destroyed, its
// explosion and its wreck show where it stood; and the mix holds the tanks'
// shots and the explosion. Without Xvfb, xdotool or ImageMagick's import the
// test is skipped.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/GameRun.h"
#include "tests/support/Installation.h"
#include "tests/support/Process.h"
#include "tests/support/SoundCapture.h"
#include "tests/support/TempDir.h"
#include "tests/support/TwoMachines.h"
#include "tests/support/XServer.h"

namespace {

// The box around the point looked at, where the target stands (the view
// looks down at the ground a little below the middle of the window).
constexpr int kX0 = 200, kY0 = 180, kX1 = 440, kY1 = 420;

template <class Test>
int Count(const STestShot& s, Test test) {
    int n = 0;
    for (int y = kY0; y < kY1; ++y)
        for (int x = kX0; x < kX1; ++x) n += test(s.At(x, y)) ? 1 : 0;
    return n;
}

bool White(const unsigned char* p) {
    return p[0] > 225 && p[1] > 225 && p[2] > 200;
}
bool Grass(const unsigned char* p) {
    return p[1] > p[0] + 10 && p[1] > p[2] + 10;
}

// How many of the other side's light tanks stand; -1 without an answer.
int CoralTanks(CTestProcess& client) {
    std::vector<SUnitSeen> units = Test_ReadUnits(client, 10.0);
    if (units.empty()) return -1;
    return int(std::count_if(units.begin(), units.end(),
                             [](const SUnitSeen& u) { return u.name == "Coral_LightTank"; }));
}

// The most energy of a frequency in any window of the mix.
double MostEnergy(const SCapturedSound& mix, double hz, double windowSeconds) {
    const size_t window = size_t(windowSeconds * mix.rate);
    double most = 0.0;
    for (size_t at = 0; at + window <= mix.Frames(); at += window / 2)
        most = std::max(most, Sound_ToneEnergy(mix.left, mix.rate, hz, at, at + window));
    return most;
}

}  // namespace

TEST(PlayFight, ShotsAndAnExplosionAreSeenAndHeard) {
    if (!Test_OnPath("Xvfb") || !Test_OnPath("xdotool") || !Test_OnPath("import"))
        GTEST_SKIP() << "needs Xvfb, xdotool and ImageMagick";
    CTempDir hostDir, clientDir;
    if (!Test_CopyInstallation(hostDir) || !Test_CopyInstallation(clientDir))
        FAIL() << "the game program is not built";
    CTestXServer x;
    ASSERT_TRUE(x.Start());
    CSoundCapture::Install();
    const std::string conf =
        CSoundCapture::OutputPath().substr(0, CSoundCapture::OutputPath().rfind('/')) + "/alsoft.conf";
    CTestProcess host, client;
    std::string why;
    ASSERT_TRUE(Test_JoinTwoMachines(hostDir, clientDir, host, client, why,
                                     {{"DISPLAY", x.Display()},
                                      {"SDL_VIDEODRIVER", "x11"},
                                      {"ALSOFT_DRIVERS", "wave"},
                                      {"ALSOFT_CONF", conf}}))
        << why;
    ASSERT_TRUE(Test_StartWhenEveryoneHoldsTheMap(host)) << host.Output();
    ASSERT_FALSE(Test_UnitsOnceRunning(host, 30.0).empty()) << host.Output();
    ASSERT_FALSE(Test_UnitsOnceRunning(client, 30.0).empty()) << client.Output();
    ASSERT_EQ(CoralTanks(client), 3) << client.Output();
    // The target: the map's tank at (24, 18), wherever the other side's
    // harvester has pushed it since.
    const std::vector<SUnitSeen> theirs = Test_ReadUnits(client);
    const SUnitSeen* target = Test_NearestUnit(theirs, "Coral_LightTank", 24.0f, 18.0f);
    ASSERT_TRUE(Test_Near(target, 24.0f, 18.0f, 4.0f)) << client.Output();
    const float tx = target->x, tz = target->z;

    std::string window = x.Shell("timeout 30 xdotool search --sync --name '^Tessarak$' | head -1");
    ASSERT_FALSE(window.empty());
    window.pop_back();
    x.Shell("xdotool windowfocus --sync " + window);
    x.Shell("xdotool mousemove --window " + window + " 600 20");
    // The camera of the pictures below, whatever the demo's own is; the
    // HUD's panels hidden (cg_DrawGUI), as the selection's slots would cover
    // the bottom of the box.
    Test_RunAndDraw(host,
                    "View_GameSceneDistance(17); View_GameSceneZoom(1.0471976); View_GameSceneAngleUp(12); "
                    "cg_DrawGUI(0);");
    Test_LookAt(host, tx, tz);
    STestShot before = x.Screenshot(window);
    ASSERT_TRUE(before.Valid());
    const int whiteBefore = Count(before, White);
    const int standing = Count(before, [](const unsigned char* p) { return !Grass(p); });
    ASSERT_GT(standing, 200) << "the target is not in the middle of the view";

    // Every unit of the host's, and a right click on the target.
    Test_RunAndDraw(host, "SelectAllUnits();");
    x.Shell("xdotool mousemove --window " + window + " 320 240 click 3 mousemove --window " + window +
            " 600 20");

    // While they fire, their shots' sparks light up around it (white, a
    // few hundred to a couple of thousand pixels); once it is destroyed its
    // explosion, far larger, where it stood (a few pictures more after that).
    bool shotSeen = false, explosionSeen = false;
    int after = -1;
    std::string whites;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    for (int round = 0; after < 2 && std::chrono::steady_clock::now() < until; ++round) {
        STestShot shot = x.Screenshot(window);
        const int white = shot.Valid() ? Count(shot, White) - whiteBefore : 0;
        shotSeen = shotSeen || (white > 100 && white < 3000);
        explosionSeen = explosionSeen || white > 3500;
        whites += " " + std::to_string(white) + (after >= 0 ? "*" : "");
        if (after >= 0)
            ++after;
        else if (round % 4 == 3 && CoralTanks(client) == 2)
            after = 0;
    }
    ASSERT_GE(after, 0) << "the target was not destroyed\n" << host.Output();
    EXPECT_TRUE(shotSeen) << "no shot was seen; white in each picture:" << whites;
    EXPECT_TRUE(explosionSeen) << "no explosion was seen; white in each picture:" << whites;

    client.Write("Quit();\n");
    host.Write("Quit();\n");
    EXPECT_EQ(client.Wait(30), 0) << client.Output();
    EXPECT_EQ(host.Wait(30), 0) << host.Output();

    // The mix: the light tanks' shots ring at 1100 Hz, the explosion of a
    // light tank (the race's big one) rumbles at 72 Hz; neither sounds in
    // the game otherwise.
    SCapturedSound mix;
    ASSERT_TRUE(CSoundCapture::Read(mix));
    ASSERT_GT(mix.Frames(), size_t(mix.rate));
    const double ring = MostEnergy(mix, 1100.0, 0.1), rumble = MostEnergy(mix, 72.0, 0.5);
    EXPECT_GT(ring, 1e-5) << "no shot was heard";
    EXPECT_GT(ring, 4.0 * MostEnergy(mix, 1900.0, 0.1));
    EXPECT_GT(rumble, 1e-5) << "no explosion was heard";
    EXPECT_GT(rumble, 4.0 * MostEnergy(mix, 40.0, 0.5));
}
