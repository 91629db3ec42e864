// The single player's road through a campaign in a real window, with real X
// events (xdotool): the main menu's "Campaign" opens the campaigns, a click
// on the demo campaign opens its first mission's briefing (the text scrolls
// with its arrows), "Play the mission" starts the mission (F1 shows the
// briefing again, its button goes back to the game); the mission won,
// the end screen's "Continue" opens the second mission's briefing, and its
// button starts the second mission on its own map. What shows is read from
// screenshots, that a mission runs from the units the console reads out.
// Lost, a mission's end screen leads to its own briefing again; the last
// mission won, back to the campaigns.
// Without Xvfb, xdotool or ImageMagick the test is skipped.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/GameRun.h"
#include "tests/support/Process.h"
#include "tests/support/WindowTest.h"

namespace {

bool Gold(const unsigned char* p) {  // titles and the objectives
    return p[0] > 180 && p[1] > 140 && p[2] < 150 && p[0] > p[2] + 60;
}
// The briefing's text, a bluish white (208, 216, 232); the player's own
// units, in its light blue (130, 130, 255) lit by the sun, are far bluer.
bool Light(const unsigned char* p) {
    return p[0] > 160 && p[1] > 160 && p[2] > 180 && p[2] < p[0] + 50;
}
bool DarkGreen(const unsigned char* p) {  // a list's row
    return p[1] > 100 && p[0] < 60 && p[2] < 60;
}
bool HudBlue(const unsigned char* p) {  // the bar of the in-game screen
    return p[2] > p[0] + 12 && p[2] < 110 && p[1] < 90;
}

bool Sized(const STestShot& s) {
    return s.Valid() && s.width == 640 && s.height == 480;
}
// The campaigns: a row in the list.
bool CampaignRow(const STestShot& s) {
    return Sized(s) && Test_CountPixels(s, 122, 168, 300, 190, DarkGreen) > 40;
}
// The briefing: the mission's text in its frame, the objectives below (some
// 5,500 and 950 pixels of them; the game view, the player's light blue units
// and the sand, shows some 300 and 120).
bool Briefing(const STestShot& s) {
    return Sized(s) && Test_CountPixels(s, 34, 74, 590, 290, Light) > 1500 &&
           Test_CountPixels(s, 34, 330, 590, 400, Gold) > 300;
}
// The briefing's first shown line (the mission's title) in its place.
int FirstLine(const STestShot& s) {
    return Test_CountPixels(s, 34, 74, 400, 92, Light);
}
// What the checks below count in a picture, for a failure's message.
std::string Counts(const STestShot& s) {
    if (!Sized(s)) return "no picture";
    return "text " + std::to_string(Test_CountPixels(s, 34, 74, 590, 290, Light)) + ", objectives " +
           std::to_string(Test_CountPixels(s, 34, 330, 590, 400, Gold)) + ", bar " +
           std::to_string(Test_CountPixels(s, 120, 445, 520, 475, HudBlue));
}
// The running game: its bar at the bottom, no briefing.
bool InGame(const STestShot& s) {
    return Sized(s) && Test_CountPixels(s, 120, 445, 520, 475, HudBlue) > 400 * 20 && !Briefing(s);
}
// The end screen: its title, and no objectives.
bool GameOver(const STestShot& s) {
    return Sized(s) && Test_CountPixels(s, 200, 20, 440, 46, Gold) > 30 &&
           Test_CountPixels(s, 34, 330, 590, 400, Gold) == 0;
}

}  // namespace

using CampaignWindow = CWindowTest;

TEST_F(CampaignWindow, TheMainMenuLeadsThroughTheBriefingsOfTheDemoCampaign) {
    CTestProcess game;
    const std::string window = Test_MenuWindow(game, dir, x);
    ASSERT_FALSE(window.empty()) << game.Output();
    auto click = [&](int px, int py) { Test_ClickAt(x, window, px, py); };
    auto until = [&](bool (*check)(const STestShot&)) {
        return check(Test_ShotUntil(x, window, check, 20.0));
    };

    // "Campaign", then the demo campaign's row: the first briefing.
    click(290, 369);
    ASSERT_TRUE(until(CampaignRow)) << game.Output();
    click(140, 178);
    ASSERT_TRUE(game.WaitForOutput("Mission 1: The Outpost", 20)) << game.Output();
    ASSERT_TRUE(until(Briefing)) << game.Output();

    // The arrows scroll the text: a line on, the title leaves its place
    // (the next line is empty); a line back, it is there again.
    ASSERT_GT(FirstLine(Test_ShotUntil(x, window, Briefing, 5.0)), 30);
    click(603, 278);
    EXPECT_EQ(FirstLine(Test_ShotUntil(
                  x, window, [](const STestShot& s) { return Briefing(s) && FirstLine(s) == 0; }, 10.0)),
              0);
    click(603, 82);
    EXPECT_GT(FirstLine(Test_ShotUntil(
                  x, window, [](const STestShot& s) { return FirstLine(s) > 30; }, 10.0)),
              30);

    // "Play the mission": mission 1 on Skerry, with the headquarters the
    // mission's script makes.
    click(500, 439);
    std::vector<SUnitSeen> units = Test_UnitsOnceRunning(game, 60.0);
    ASSERT_TRUE(Test_Near(Test_NearestUnit(units, "Granite_Headquarters", -30, -30), -30, -30, 1.0f))
        << game.Output();

    // F1 shows the briefing again over the running mission; its button
    // goes back to the game.
    x.Shell("xdotool windowfocus --sync " + window + " keydown F1 sleep 0.2 keyup F1");
    ASSERT_TRUE(until(Briefing)) << game.Output();
    click(500, 439);
    ASSERT_TRUE(until(InGame)) << Counts(Test_ShotUntil(x, window, InGame, 1.0)) << "\n" << game.Output();

    // Won (the objectives themselves are the campaign test's): the end
    // screen, then its "Continue" opens the second mission's briefing.
    game.Write("WinGame(1);\n");
    ASSERT_TRUE(game.WaitForOutput("Mission 1 won.", 30)) << game.Output();
    ASSERT_TRUE(until(GameOver)) << game.Output();
    EXPECT_EQ(game.Output().find("Mission 2: The Convoy"), std::string::npos);
    click(540, 455);
    ASSERT_TRUE(game.WaitForOutput("Mission 2: The Convoy", 20)) << game.Output();
    ASSERT_TRUE(until(Briefing)) << game.Output();

    // Its button plays mission 2, on Four Winds with the convoy's harvester.
    // Lost, the end screen's "Continue" opens the same briefing again, and
    // its button plays mission 2 once more.
    for (int attempt = 1; attempt <= 2; ++attempt) {
        click(500, 439);
        units = Test_UnitsOnceRunning(game, 60.0);
        EXPECT_TRUE(Test_Near(Test_NearestUnit(units, "Granite_Harvester", -66, -62), -66, -62))
            << game.Output();
        if (attempt == 2) break;
        game.Write("LooseGame(1);\n");
        ASSERT_TRUE(game.WaitForOutput("Mission 2 lost.", 30)) << game.Output();
        ASSERT_TRUE(until(GameOver)) << game.Output();
        click(540, 455);
        ASSERT_TRUE(until(Briefing)) << game.Output();
        EXPECT_EQ(game.CountLines("Mission 2: The Convoy"), 2) << game.Output();
    }
    // Won, the last mission's end screen leads back to the campaigns.
    game.Write("WinGame(1);\n");
    ASSERT_TRUE(game.WaitForOutput("Mission 2 won. The demo campaign is won.", 30)) << game.Output();
    ASSERT_TRUE(until(GameOver)) << game.Output();
    click(540, 455);
    EXPECT_TRUE(until(CampaignRow)) << game.Output();
    game.Write("Quit();\n");
    EXPECT_EQ(game.Wait(30), 0) << game.Output();
}
