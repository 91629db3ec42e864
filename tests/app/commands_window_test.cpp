// The play, view and debug commands in a real window, on an X server of the
// test's own, in the demo skirmish (a start-up script of the test's own):
// after UnselectAll a box dragged with real X events (xdotool) selects the
// units inside it and no other; MoveCameraTo and the view rows move the
// camera (the pictures change as they should); the sun and the ambient
// light light the ground, the background colour fills the void beyond the
// map; SaveScreenCapture writes the frame as a BMP; Capture_Start(10)
// writes numbered BMP pictures a tenth of a second of game time apart, and
// Capture_Video(10) records two seconds of game time as a video that ffprobe
// reads with about twenty frames. Positions are read back through the console (dbg_UnitState);
// the pixels of a ground point come from the game's own camera arithmetic.
// Without Xvfb, xdotool, ImageMagick's import or ffprobe the test is skipped.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/GameRun.h"
#include "tests/support/Installation.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"
#include "tests/support/XServer.h"

namespace {

constexpr int kWidth = 640, kHeight = 480;

// The mean of a channel (0 red, 1 green, 2 blue, 3 all) over the picture's
// columns from x0 to below x1 (all of them by default).
double Mean(const STestShot& s, int channel, int x0 = 0, int x1 = -1) {
    if (x1 < 0) x1 = s.width;
    double sum = 0.0;
    for (int y = 0; y < s.height; ++y)
        for (int x = x0; x < x1; ++x) {
            const unsigned char* p = s.At(x, y);
            sum += channel < 3 ? p[channel] : (p[0] + p[1] + p[2]) / 3.0;
        }
    return sum / (double(x1 - x0) * s.height);
}

// The radar and the energy gauge at the top right: the radar's shutter and
// the gauge follow the player's energy, which the harvester changes while the
// game stands, so comparing views leaves that corner out.
constexpr int kRadarLeft = 496, kRadarBottom = 136;

// The share of pixels that differ by more than 24 in some channel, the
// radar's corner left out.
double Changed(const STestShot& a, const STestShot& b) {
    int n = 0;
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x) {
            if (x >= kRadarLeft && y < kRadarBottom) continue;
            for (int c = 0; c < 3; ++c)
                if (std::abs(int(a.At(x, y)[c]) - int(b.At(x, y)[c])) > 24) {
                    ++n;
                    break;
                }
        }
    return double(n) / (double(a.width) * a.height - double(a.width - kRadarLeft) * kRadarBottom);
}

// How often the text holds the part.
size_t Count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++n;
    return n;
}

// The game time dbg_FrameStats reports; -1 without an answer.
double GameTime(CTestProcess& game) {
    double t = -1.0;
    std::sscanf(Test_Answer(game, "dbg_FrameStats();", "game time ").c_str(), "%lf", &t);
    return t;
}

}  // namespace

TEST(CommandsWindow, BoxSelectionCameraLightAndARecording) {
    if (!Test_OnPath("Xvfb") || !Test_OnPath("xdotool") || !Test_OnPath("import") || !Test_OnPath("ffprobe"))
        GTEST_SKIP() << "needs Xvfb, xdotool, ImageMagick and ffprobe";
    CTempDir dir;
    CTestXServer x;
    CTestProcess game;
    std::string window;
    size_t units = 0;
    ASSERT_TRUE(Test_SkirmishInWindow(dir, x, game, window, &units)) << game.Output();
    ASSERT_EQ(units, 7u) << game.Output();
    auto mouse = [&](const std::string& what) { x.Shell("xdotool " + what); };
    auto at = [&](const std::vector<int>& p) { return std::to_string(p[0]) + " " + std::to_string(p[1]); };
    mouse("mousemove --window " + window + " 320 240");
    Test_RunAndDraw(game, kTestCamera);

    // ---- UnselectAll, then a box around two of the three tanks.
    const float fx = -20.0f, fz = -20.0f;
    Test_LookAt(game, fx, fz);
    Test_RunAndDraw(game, "SelectAllUnits(); UnselectAll();");
    ASSERT_TRUE(Test_SelectedUnits(game).empty());
    const std::vector<int> left = Test_GroundPixel(fx, fz, -24, -18),
                           right = Test_GroundPixel(fx, fz, -16, -18);
    const std::vector<int> front = Test_GroundPixel(fx, fz, -20, -22);
    ASSERT_GT(front[1] - left[1], 40);  // the third tank lies well below the box
    mouse("mousemove --window " + window + " " + at({left[0] - 20, left[1] - 20}) + " mousedown 1");
    Test_RunAndDraw(game, "");
    for (float f : {0.3f, 0.6f, 1.0f}) {
        mouse("mousemove --window " + window + " " +
              at({int(left[0] - 20 + (right[0] - left[0] + 40) * f), int(left[1] - 20 + 40 * f)}));
        Test_RunAndDraw(game, "");
    }
    mouse("mouseup 1");
    std::vector<SUnitSeen> selected = Test_SelectionOf(game, 2);
    ASSERT_EQ(selected.size(), 2u) << game.Output();
    for (const SUnitSeen& u : selected) {
        EXPECT_EQ(u.name, "Granite_LightTank");
        EXPECT_NEAR(u.z, -18.0f, 0.5f);
        EXPECT_TRUE(std::fabs(u.x + 24.0f) < 0.5f || std::fabs(u.x + 16.0f) < 0.5f) << u.x;
    }
    mouse("mousemove --window " + window + " 320 240");

    // ---- The camera: to the headquarters, then turned and zoomed. The game
    // stands still meanwhile, so only the view changes the pictures (the
    // harvester works beside the headquarters).
    // Tool tips off: one could come and go under the resting mouse.
    // The pause takes effect in the lockstep frame it was sent in, which may
    // come a few drawn frames later: asked until that frame has run.
    Test_RunAndDraw(game, "Interfaceopt_ToolTips(0); srv_Pause(1);");
    std::string paused;
    for (int i = 0; i < 20 && paused != "true"; ++i) {
        if (i) Test_RunAndDraw(game, "");
        paused = Test_Answer(game, "srv_Pause;", "srv_Pause = ");
    }
    ASSERT_EQ(paused, "true") << game.Output();
    Test_LookAt(game, 30.0f, 30.0f);
    STestShot away = x.Screenshot(window);
    Test_RunAndDraw(game, "MoveCameraTo(0);");
    game.Write("View_GameSceneCenterX; View_GameSceneCenterY;\n");
    ASSERT_TRUE(game.WaitForLine("View_GameSceneCenterY = 30.000000", 10.0)) << game.Output();
    EXPECT_TRUE(game.HasLine("View_GameSceneCenterX = -30.000000"));
    STestShot home = x.Screenshot(window);
    ASSERT_TRUE(away.Valid() && home.Valid());
    EXPECT_GT(Changed(away, home), 0.05);
    Test_RunAndDraw(game, "MoveSceneAngle(90);");
    STestShot turned = x.Screenshot(window);
    EXPECT_GT(Changed(home, turned), 0.05);
    Test_RunAndDraw(game, "DivZoom(2);");
    STestShot zoomed = x.Screenshot(window);
    EXPECT_GT(Changed(turned, zoomed), 0.05);
    Test_RunAndDraw(game, "MultiplyZoom(2); MoveSceneAngle(-90);");
    STestShot back = x.Screenshot(window);
    EXPECT_LT(Changed(home, back), 0.02);  // the same view as before
    Test_RunAndDraw(game, "srv_Pause(0);");

    // ---- Light: without sun and ambient light the ground is dark; the
    // background colour fills the void beyond the map.
    Test_LookAt(game, 0.0f, 0.0f);
    STestShot lit = x.Screenshot(window);
    Test_RunAndDraw(game,
                    "scene_sun_red(0); scene_sun_green(0); scene_sun_blue(0); scene_ambinet_red(0); "
                    "scene_ambinet_green(0); scene_ambinet_blue(0); Effect_LightOfGod(0);");
    STestShot dark = x.Screenshot(window);
    ASSERT_TRUE(lit.Valid() && dark.Valid());
    EXPECT_LT(Mean(dark, 3), Mean(lit, 3) * 0.5) << Mean(lit, 3);
    Test_RunAndDraw(game,
                    "scene_sun_red(512); scene_sun_green(512); scene_sun_blue(512); scene_ambinet_red(25); "
                    "scene_ambinet_green(25); scene_ambinet_blue(25);");
    STestShot bright = x.Screenshot(window);
    EXPECT_GT(Mean(bright, 3), Mean(lit, 3) * 1.2) << Mean(lit, 3);
    // Over the map's west edge (the map is 96 wide): the void on the left.
    Test_LookAt(game, -48.0f, 0.0f);
    STestShot edge = x.Screenshot(window);
    Test_RunAndDraw(game, "scene_bgcolor_red(0); scene_bgcolor_green(0); scene_bgcolor_blue(200);");
    STestShot voidShot = x.Screenshot(window);
    ASSERT_TRUE(edge.Valid() && voidShot.Valid());
    EXPECT_LT(Mean(edge, 2, 0, 60), 20.0);
    EXPECT_GT(Mean(voidShot, 2, 0, 60), 150.0);
    EXPECT_LT(Mean(voidShot, 0, 0, 60), 40.0);

    // ---- A screenshot: the frame as a 24-bit BMP of the window's size, the
    // picture the window shows.
    Test_LookAt(game, -20.0f, -20.0f);
    STestShot shown = x.Screenshot(window);
    game.Write("SaveScreenCapture();\n");
    ASSERT_TRUE(game.WaitForOutput("Screen000000.bmp", 10.0)) << game.Output();
    const std::string bmp = dir.Read("Tessarak/ScreenCaptures/Screen000000.bmp");
    ASSERT_GE(bmp.size(), 54u);
    auto u32 = [&](size_t at) {
        return uint32_t(uint8_t(bmp[at])) | uint32_t(uint8_t(bmp[at + 1])) << 8 |
               uint32_t(uint8_t(bmp[at + 2])) << 16 | uint32_t(uint8_t(bmp[at + 3])) << 24;
    };
    EXPECT_EQ(bmp.substr(0, 2), "BM");
    EXPECT_EQ(u32(18), uint32_t(kWidth));
    EXPECT_EQ(u32(22), uint32_t(kHeight));
    EXPECT_EQ(uint8_t(bmp[28]), 24);
    ASSERT_EQ(bmp.size(), u32(10) + size_t(kWidth) * kHeight * 3);
    double green = 0.0;  // the mean green of the file's pixels (blue, green, red)
    for (size_t i = u32(10) + 1; i < bmp.size(); i += 3) green += uint8_t(bmp[i]);
    green /= double(kWidth) * kHeight;
    ASSERT_TRUE(shown.Valid());
    EXPECT_NEAR(green, Mean(shown, 1), 8.0);

    // ---- An animation: pictures of the game view, numbered from 0, each
    // named on the console; a tick of game time apart whatever the machine's
    // speed, so ten frames a second make a tenth of a second each.
    Test_RunAndDraw(game, "Capture_Start(10);");
    const double animStart = GameTime(game);
    ASSERT_TRUE(game.WaitForOutput("Anim000003.bmp", 20.0)) << game.Output();
    game.Write("Capture_Stop();\n");
    const double animEnd = GameTime(game);
    ASSERT_GE(animStart, 0.0);
    const int pictures = int(Count(game.Output(), "\\ScreenCaptures\\Anim"));
    ASSERT_GE(pictures, 4);
    // The game time moved by the pictures' periods (the frames that ran
    // between the two reads of the time each took one).
    EXPECT_NEAR(animEnd - animStart, 0.1 * pictures, 0.35) << pictures;
    for (const char* name : {"Anim000000.bmp", "Anim000003.bmp"}) {
        const std::string picture = dir.Read(std::string("Tessarak/ScreenCaptures/") + name);
        ASSERT_GE(picture.size(), 54u) << name;
        EXPECT_EQ(picture.substr(0, 2), "BM");
        EXPECT_EQ(picture.size(), size_t(54) + size_t(kWidth) * kHeight * 3) << name;
    }

    // ---- A recording (ours): two seconds of game time at ten frames a
    // second into one video file.
    Test_LookAt(game, -20.0f, -20.0f);
    Test_RunAndDraw(game, "Capture_Video(10);");
    const double start = GameTime(game);
    ASSERT_GE(start, 0.0);
    double now = start;
    while (now >= 0.0 && now < start + 2.0) now = GameTime(game);
    game.Write("Capture_Stop();\n");
    ASSERT_TRUE(game.WaitForOutput("Captured ", 20.0)) << game.Output();
    const std::string out = game.Output();
    const size_t line = out.rfind("Captured ");
    int frames = 0;
    char path[512] = {};
    ASSERT_EQ(std::sscanf(out.c_str() + line, "Captured %d frames (%*f s) into %511[^\n]", &frames, path), 2);
    std::string file = path;
    for (char& c : file)
        if (c == '\\') c = '/';
    if (file.rfind("Z:", 0) == 0) file = file.substr(2);
    const std::string probe = x.Shell(
        "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
        "stream=nb_read_frames,r_frame_rate -of csv=p=0 '" +
        file + "'");
    int read = 0, rate = 0, divisor = 0;
    ASSERT_EQ(std::sscanf(probe.c_str(), "%d/%d,%d", &rate, &divisor, &read), 3) << probe;
    EXPECT_EQ(rate / divisor, 10);
    EXPECT_EQ(read, frames);
    EXPECT_GE(read, 19);
    EXPECT_LE(read, 30);

    game.Write("Quit();\n");
    EXPECT_EQ(game.Wait(30), 0) << game.Output();
}
