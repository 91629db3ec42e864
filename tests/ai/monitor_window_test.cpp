// The AI monitor in a real window (an X server of the test's own): it
// opens beside a headless game of two computer players, lists them, shows
// the selected one's values refreshed every tick and its debug history,
// takes real X clicks, and closing it leaves the game running. Then the
// game program itself: AI_StartMonitor opens the second window beside the
// game's.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "ai/AIGroup.h"
#include "ai/AIMonitor.h"
#include "platform/display/Display.h"
#include "tests/ai/AIGame.h"
#include "tests/support/GameRun.h"
#include "tests/support/Installation.h"
#include "tests/support/XServer.h"
#include "world/CellMap.h"
#include "world/Player.h"
#include "world/WorldGrid.h"

namespace {

// Pumps the display's events until the condition holds (or 10 s passed).
template <class F>
bool PumpUntil(F done) {
    for (int i = 0; i < 1000; ++i) {
        Display_PumpEvents();
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

}  // namespace

TEST(MonitorWindow, ListsRefreshesTakesClicksAndClosesWithoutTheGame) {
    if (!Test_OnPath("Xvfb") || !Test_OnPath("xdotool")) GTEST_SKIP() << "needs Xvfb and xdotool";
    CTestXServer x;
    ASSERT_TRUE(x.Start());
    setenv("DISPLAY", x.Display().c_str(), 1);
    unsetenv("SDL_VIDEODRIVER");

    CAISession s;
    CAIMachine* host = s.AddAI("host", "Skerry", 48);
    ASSERT_TRUE(host->ok) << "the installation is not built";
    host->UseVirtualTime(1.0f / 15.0f);
    host->sidesOut.insert(host->net->LocalPlayer()->m_id);
    host->ai->m_seed = 3;
    host->ai->m_debug = 1;
    ASSERT_NE(host->ai->AddCommander(2, "Coral"), nullptr);
    ASSERT_NE(host->ai->AddCommander(3, "Granite"), nullptr);
    ASSERT_TRUE(s.StartGame());

    host->ai->StartMonitor();
    CAIMonitor* m = host->ai->Monitor();
    ASSERT_NE(m, nullptr);
    ASSERT_TRUE(m->IsOpen());
    EXPECT_EQ(m->Selected(), "Computer 2");
    ASSERT_TRUE(s.RunTicks(200));

    // The rows of the selected computer player, as of this tick.
    ASSERT_EQ(m->CommanderRows().size(), static_cast<size_t>(CAIMonitor::kCommanderRows));
    EXPECT_EQ(m->CommanderRows()[0].name, "Resources");
    EXPECT_NEAR(std::atof(m->CommanderRows()[0].text.c_str()), host->net->FindPlayerById(2)->m_resources,
                1.0);
    EXPECT_EQ(m->CommanderRows()[2].name, "Units");
    EXPECT_EQ(std::atoi(m->CommanderRows()[2].text.c_str()), host->UnitsOf(2));
    // Its debug lines, and never another's.
    ASSERT_FALSE(m->History().empty());
    EXPECT_EQ(m->History().front(), "added to list...");
    m->AppendHistory("Computer 3", "not this one's");
    for (int i = 0; i < 60; ++i) m->AppendHistory("Computer 2", "line " + std::to_string(i));
    EXPECT_EQ(m->History().size(), static_cast<size_t>(CAIMonitor::kHistoryLines));
    EXPECT_EQ(m->History().back(), "line 59");
    for (const std::string& h : m->History()) EXPECT_NE(h, "not this one's");
    // A flag row says True or False; a row cycles through the registry
    // (its nine own values, then the 22 parameters) and comes back.
    const std::string first = m->CommanderRows()[13].name;
    m->CycleCommanderRow(13);
    ASSERT_TRUE(s.RunTicks(1));
    EXPECT_NE(m->CommanderRows()[13].name, first);
    for (int i = 1; i < 9 + 22; ++i) m->CycleCommanderRow(13);
    ASSERT_TRUE(s.RunTicks(1));
    EXPECT_EQ(m->CommanderRows()[13].name, first);
    EXPECT_EQ(m->CommanderRows()[8].name, "LearningMatch");
    EXPECT_EQ(m->CommanderRows()[8].text, "False");

    // An "Editable:" row under the commander rows and under the group rows.
    EXPECT_EQ(std::count(m->Lines().begin(), m->Lines().end(), "  Editable:"), 2);

    // Fog of war off shows the whole map at once.
    CCellMap& cells = host->grid->m_cellMap;
    ASSERT_NE(cells.At(3, 3), nullptr);
    cells.At(3, 3)->state = 0;
    m->SetFogOfWar(false);
    EXPECT_GT(cells.At(3, 3)->state, 128);  // seen
    EXPECT_EQ(cells.At(3, 3)->state, cells.At(40, 40)->state);
    EXPECT_FALSE(m->FogOfWar());

    // Track group: the camera follows the selected group's leader, and
    // nothing once it is turned off.
    CComputerPlayer* two = host->ai->Find(2);
    ASSERT_TRUE(s.RunUntil([&] { return !two->Groups().empty() && two->Groups()[0]->m_leader >= 0; }))
        << "no group formed";
    m->SelectNextGroup();
    ASSERT_EQ(m->SelectedGroup(), 0);
    m->SetTrackGroup(true);
    EXPECT_EQ(host->followed, two->Groups()[0]->m_leader);
    m->SetTrackGroup(false);
    EXPECT_EQ(host->followed, -1);

    // The real window beside the game, its lines drawn.
    const std::string window = x.Shell("timeout 10 xdotool search --sync --name '^AI Monitor$' | head -1");
    ASSERT_FALSE(window.empty());
    const std::string id = window.substr(0, window.size() - 1);
    STestShot shot = x.Screenshot(id);
    ASSERT_TRUE(shot.Valid());
    EXPECT_EQ(shot.width, CAIMonitor::kWidth);
    int lit = 0;
    for (int yy = 0; yy < 40; ++yy)
        for (int xx = 0; xx < 300; ++xx) lit += shot.At(xx, yy)[0] > 150;
    EXPECT_GT(lit, 30) << "no text on the computer-player line";

    // A real click on the computer-player line selects the next one.
    x.Shell("xdotool windowfocus --sync " + id);
    x.Shell("xdotool mousemove --window " + id + " 40 10");
    // (the pointer is over it once the display says so)
    ASSERT_TRUE(PumpUntil([] {
        int px = 0, py = 0;
        Display_GetMouseState(&px, &py);
        return px == 40 && py == 10;
    }));
    x.Shell("xdotool click 1");
    ASSERT_TRUE(PumpUntil([&] { return m->Selected() == "Computer 3"; })) << m->Selected();
    // The rows are refreshed before the world's step of the tick: the value
    // lies between the resources before the tick and after it.
    const float held = host->net->FindPlayerById(3)->m_resources;
    ASSERT_TRUE(s.RunTicks(1));
    const float after = host->net->FindPlayerById(3)->m_resources;
    const double shown = std::atof(m->CommanderRows()[0].text.c_str());
    EXPECT_GE(shown, std::min(held, after) - 1.0);
    EXPECT_LE(shown, std::max(held, after) + 1.0);

    // Closing it: the monitor goes at the next tick, the game runs on.
    SDisplayEvent closing;
    closing.type = EDisplayEvent::WindowClose;
    closing.windowId = m->WindowId();
    Display_PostEvent(closing);
    Display_PumpEvents();
    const int before = host->tickCount;
    ASSERT_TRUE(s.RunTicks(30));
    EXPECT_EQ(host->ai->Monitor(), nullptr);
    EXPECT_GE(host->tickCount, before + 30);
    EXPECT_TRUE(x.Shell("xdotool search --name '^AI Monitor$'").empty());
}

// The game program: AI_StartMonitor opens the monitor as a second window
// at the desktop's corner and moves the game's beside it, and the game goes
// on taking commands.
TEST(MonitorWindow, TheGameOpensItBesideItsWindow) {
    if (!Test_OnPath("Xvfb") || !Test_OnPath("xdotool")) GTEST_SKIP() << "needs Xvfb and xdotool";
    CTestXServer x;
    ASSERT_TRUE(x.Start());
    CTempDir dir;
    if (!Test_CopyInstallation(dir)) FAIL() << "the game program is not built";
    ASSERT_TRUE(Test_WriteSkirmishStart(dir));
    CTestProcess game;
    ASSERT_TRUE(Test_StartGameOn(game, dir, x));
    ASSERT_FALSE(Test_GameWindow(x).empty()) << game.Output();
    ASSERT_FALSE(Test_UnitsOnceRunning(game, 60.0).empty()) << game.Output();
    game.Write("AI_StartMonitor();\n");
    const std::string monitor = x.Shell("timeout 20 xdotool search --sync --name '^AI Monitor$' | head -1");
    EXPECT_FALSE(monitor.empty()) << game.Output();
    EXPECT_EQ(game.Output().find("Can't create AI dialog"), std::string::npos);
    const std::string main = Test_GameWindow(x);
    ASSERT_FALSE(main.empty());
    // (the window manager of the test's X server places what it is told)
    std::string geometry;
    for (int i = 0; i < 200; ++i) {
        geometry = x.Shell("xdotool getwindowgeometry --shell " + main);
        if (geometry.find("X=901\n") != std::string::npos &&
            geometry.find("HEIGHT=1000\n") != std::string::npos)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_NE(geometry.find("X=901\n"), std::string::npos) << geometry;
    EXPECT_NE(geometry.find("Y=0\n"), std::string::npos) << geometry;
    EXPECT_NE(geometry.find("WIDTH=379\n"), std::string::npos) << geometry;
    EXPECT_NE(geometry.find("HEIGHT=1000\n"), std::string::npos) << geometry;
    EXPECT_FALSE(Test_ReadUnits(game).empty()) << game.Output();
    game.Write("Quit();\n");
    EXPECT_EQ(game.Wait(30), 0) << game.Output();
}
