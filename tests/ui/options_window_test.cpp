// The options screen in a real window on an X server of the test's own,
// with real X events (xdotool): from the main menu a click opens the
// options; a right click on the graphics quality's "< >" applies a preset
// (the screen mode, the size and the texture filter follow it), the screen
// mode and size are taken back to the window's, the texture detail and the
// effects' volume are stepped back; the main menu's "Quit" writes them into
// the settings files, and at the next start the options show the same
// values and the game reads them back; the interface's volume turned down
// is heard in the mix. Without Xvfb, xdotool or ImageMagick the tests are
// skipped.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/support/GameRun.h"
#include "tests/support/Installation.h"
#include "tests/support/Process.h"
#include "tests/support/SoundCapture.h"
#include "tests/support/TempDir.h"
#include "tests/support/WindowTest.h"
#include "tests/support/XServer.h"

namespace {

// The rows of a list on the options screen: the value cell and the "< >"
// of the row.
constexpr int kValueLeft = 316, kValueRight = 500, kStepX = 530;
int RowY(int row) {
    return 104 + 26 * row;
}

class COptionsRoad {
public:
    COptionsRoad(CTestXServer& x, const std::string& window) : m_x(x), m_window(window) {}
    // The move first: the interface finds what lies under the mouse in the
    // frames between the move and the press.
    void Click(int px, int py, int button = 1) {
        m_x.Shell("xdotool mousemove --window " + m_window + " " + std::to_string(px) + " " +
                  std::to_string(py) + " sleep 0.3 click " + std::to_string(button));
    }
    STestShot Shot() { return m_x.Screenshot(m_window); }
    STestShot Until(const std::function<bool(const STestShot&)>& check, double seconds = 10.0) {
        return Test_ShotUntil(m_x, m_window, check, seconds);
    }
    // The value cell of the row against another picture's: pixels that differ.
    static int CellDiffers(const STestShot& a, const STestShot& b, int row) {
        int differ = 0;
        for (int y = RowY(row) - 4; y < RowY(row) + 12; ++y)
            for (int px = kValueLeft; px < kValueRight; ++px)
                differ += std::memcmp(a.At(px, y), b.At(px, y), 3) != 0 ? 1 : 0;
        return differ;
    }
    // A click on the row's "< >" and the picture once the value changed.
    STestShot Step(int row, int button) {
        const STestShot before = Until([](const STestShot&) { return true; });
        Click(kStepX, RowY(row) + 5, button);
        return Until([&](const STestShot& s) { return CellDiffers(s, before, row) > 8; });
    }

private:
    CTestXServer& m_x;
    std::string m_window;
};

bool Light(const unsigned char* p) {
    return p[0] > 180 && p[1] > 180 && p[2] > 180;
}
// The options screen: its title's gold and the list's texts.
bool OptionsShown(const STestShot& s) {
    int gold = 0, light = 0;
    for (int y = 12; y < 36; ++y)
        for (int px = 270; px < 370; ++px) gold += s.At(px, y)[0] > 200 && s.At(px, y)[2] < 120 ? 1 : 0;
    for (int y = 100; y < 240; ++y)
        for (int px = kValueLeft; px < kValueRight; ++px) light += Light(s.At(px, y)) ? 1 : 0;
    return gold > 100 && light > 100;
}

// Starts the game, opens the options from the main menu and shows the tab.
bool OpenOptions(CTestProcess& game, const CTempDir& dir, CTestXServer& x, std::string& window, int tabX,
                 const std::vector<std::pair<std::string, std::string>>& env = {}) {
    if (!Test_StartGameOn(game, dir, x, env) || !game.WaitForOutput("Loading GUI Finished...", 60))
        return false;
    window = Test_GameWindow(x);
    if (window.empty()) return false;
    COptionsRoad road(x, window);
    road.Click(290, 279);
    if (!OptionsShown(road.Until(OptionsShown))) return false;
    road.Click(tabX, 61);
    return true;
}

constexpr int kGraphicsTab = 75, kSoundTab = 205;
enum {
    kQualityRow = 0,
    kScreenModeRow = 2,
    kResolutionRow = 3,
    kTextureDetailRow = 4,
    kTextureFilterRow = 5,
    kEffectsVolumeRow = 2,
    kInterfaceVolumeRow = 4
};

}  // namespace

// Each test plays its own game in its own window (skipped without the tools).
class OptionsWindow : public CWindowTest {};

TEST_F(OptionsWindow, OptionsChangedWithTheMouseAreKeptForTheNextStart) {
    STestShot graphicsLeft, soundLeft;
    {
        CTestProcess game;
        std::string window;
        ASSERT_TRUE(OpenOptions(game, dir, x, window, kGraphicsTab)) << game.Output();
        COptionsRoad road(x, window);
        const STestShot first = road.Until([](const STestShot&) { return true; });
        // The quality "Other" steps back to the "High" preset: its full
        // screen of 32 bits, its size (the display's largest when it has no
        // mode of the preset's) and its texture filter come with it.
        road.Click(kStepX, RowY(kQualityRow) + 5, 3);
        const STestShot preset = road.Until([&](const STestShot& s) {
            return COptionsRoad::CellDiffers(s, first, kScreenModeRow) > 20 &&
                   COptionsRoad::CellDiffers(s, first, kResolutionRow) > 20;
        });
        EXPECT_GT(COptionsRoad::CellDiffers(preset, first, kScreenModeRow), 20) << game.Output();
        EXPECT_GT(COptionsRoad::CellDiffers(preset, first, kResolutionRow), 20) << game.Output();
        EXPECT_GT(COptionsRoad::CellDiffers(preset, first, kTextureFilterRow), 20) << game.Output();
        // On to a window (the last screen mode) of the first size, and the
        // texture detail one step back.
        for (int i = 0; i < 3 && COptionsRoad::CellDiffers(road.Shot(), first, kScreenModeRow) > 0; ++i)
            road.Step(kScreenModeRow, 1);
        for (int i = 0; i < 8 && COptionsRoad::CellDiffers(road.Shot(), first, kResolutionRow) > 0; ++i)
            road.Step(kResolutionRow, 3);
        graphicsLeft = road.Step(kTextureDetailRow, 3);
        EXPECT_EQ(COptionsRoad::CellDiffers(graphicsLeft, first, kResolutionRow), 0);
        EXPECT_EQ(COptionsRoad::CellDiffers(graphicsLeft, first, kScreenModeRow), 0);
        EXPECT_GT(COptionsRoad::CellDiffers(graphicsLeft, first, kTextureDetailRow), 20);
        // The effects' volume one step of five down.
        road.Click(kSoundTab, 61);
        road.Until([](const STestShot& s) { return OptionsShown(s); });
        soundLeft = road.Step(kEffectsVolumeRow, 3);
        // Back to the main menu and its "Quit".
        road.Click(60, 449);
        road.Until([](const STestShot& s) { return !OptionsShown(s); });
        road.Click(265, 414);
        EXPECT_EQ(game.Wait(30), 0) << game.Output();
    }
    const std::string video = dir.Read("Tessarak/Scripts/Config/Video.cfg");
    // The preset's depth and texture quality, the window and its size, the
    // detail stepped back.
    for (const char* line : {"Vid_BitDepth(32);", "Vid_TextureQuality(64);", "Vid_Windowed(1);",
                             "Vid_Resolution(640,480);", "Vid_TextureDetail(1);"})
        EXPECT_NE(video.find(line), std::string::npos) << line << "\n" << video;
    const std::string sound = dir.Read("Tessarak/Scripts/Config/Sound.cfg");
    EXPECT_NE(sound.find("sndopt_EffectsVolume(95);"), std::string::npos) << sound;

    // The next start: the game reads them back and the options show them.
    CTestProcess game;
    std::string window;
    ASSERT_TRUE(OpenOptions(game, dir, x, window, kGraphicsTab)) << game.Output();
    COptionsRoad road(x, window);
    const STestShot graphics = road.Until([&](const STestShot& s) {
        return COptionsRoad::CellDiffers(s, graphicsLeft, kTextureDetailRow) == 0;
    });
    EXPECT_EQ(COptionsRoad::CellDiffers(graphics, graphicsLeft, kTextureDetailRow), 0);
    road.Click(kSoundTab, 61);
    const STestShot sounds = road.Until(
        [&](const STestShot& s) { return COptionsRoad::CellDiffers(s, soundLeft, kEffectsVolumeRow) == 0; });
    EXPECT_EQ(COptionsRoad::CellDiffers(sounds, soundLeft, kEffectsVolumeRow), 0);
    game.Write("sndopt_EffectsVolume; Vid_TextureDetail;\n");
    EXPECT_TRUE(game.WaitForOutput("sndopt_EffectsVolume = 95", 10)) << game.Output();
    EXPECT_TRUE(game.WaitForOutput("Vid_TextureDetail = 1", 10)) << game.Output();
    game.Write("Quit();\n");
    EXPECT_EQ(game.Wait(30), 0) << game.Output();
}

// The interface's volume turned down with the mouse: the press tone of the
// list's own "< >" (1320 Hz) is heard far quieter in the mix that OpenAL
// Soft's wave-file writer keeps.
TEST_F(OptionsWindow, TheInterfaceVolumeTurnedDownIsHeard) {
    const std::string wave = dir.File("mix.wav");
    ASSERT_TRUE(dir.Write("alsoft.conf", "[wave]\nfile = " + wave + "\n"));
    CTestProcess game;
    std::string window;
    ASSERT_TRUE(OpenOptions(game, dir, x, window, kSoundTab,
                            {{"ALSOFT_DRIVERS", "wave"}, {"ALSOFT_CONF", dir.File("alsoft.conf")}}))
        << game.Output();
    COptionsRoad road(x, window);
    road.Until([](const STestShot& s) { return OptionsShown(s); });
    // Two left presses within the double-click time (half a second) are a
    // double click, which would start typing the value: the tab's press
    // lies further back.
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    // A left press at full volume (the volume stays at its maximum), the
    // volume stepped down to 20 with right presses, a left press again (25).
    auto pressAndHear = [&](int button) {
        const size_t from = Sound_WrittenFrames(wave);
        road.Click(kStepX, RowY(kInterfaceVolumeRow) + 5, button);
        std::this_thread::sleep_for(std::chrono::milliseconds(800));
        return std::make_pair(from, Sound_WrittenFrames(wave));
    };
    const auto loud = pressAndHear(1);
    for (int i = 0; i < 16; ++i) road.Step(kInterfaceVolumeRow, 3);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    // The writer keeps some of the mix in hand: the quiet press's stretch
    // runs to the end of the file.
    const auto quiet = std::make_pair(pressAndHear(1).first, size_t(-1));
    game.Write("sndopt_InterfaceVolume;\n");
    EXPECT_TRUE(game.WaitForOutput("sndopt_InterfaceVolume = 25", 10)) << game.Output();
    game.Write("Quit();\n");
    EXPECT_EQ(game.Wait(30), 0) << game.Output();

    SCapturedSound mix;
    ASSERT_TRUE(Sound_ReadWave(wave, mix));
    // The press tone's strongest 20 ms within each press's stretch.
    auto strongest = [&mix](std::pair<size_t, size_t> span) {
        const size_t window = size_t(mix.rate / 50);
        double best = 0.0;
        for (size_t at = span.first; at + window <= std::min(span.second, mix.Frames()); at += window / 2)
            best = std::max(best, Sound_ToneEnergy(mix.left, mix.rate, 1320.0, at, at + window));
        return best;
    };
    const double full = strongest(loud), turnedDown = strongest(quiet);
    EXPECT_GT(full, 0.0005);
    // A quarter of the amplitude: about a sixteenth of the energy.
    EXPECT_LT(turnedDown, full * 0.2) << full << " " << turnedDown;
    EXPECT_GT(turnedDown, 0.0);
}
