// Two games in the lobby, each in a real window on an X server of its own,
// driven with real X events (xdotool): the host opens the lobby, the other
// joins through Connect; both lobbies list both players in their colours;
// the host picks FourWinds from the map list with the mouse and the other's
// lobby shows its picture; a team named in the lobby's edit box and a chat
// line typed into the chat box reach the host; "Back" asks before leaving; the host's "Start" button
// starts the game on both; once one side has nothing left the end screen
// (opened as the game's end opens it) lists both players in their colours.
// Without Xvfb, xdotool or ImageMagick it is skipped.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>

#include "tests/nwe/NweTestKit.h"
#include "tests/support/GameRun.h"
#include "tests/support/Installation.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"
#include "tests/support/XServer.h"

namespace {

// The players' colours as the games are told them.
bool Red(const unsigned char* p) {
    return p[0] > 200 && p[1] < 60 && p[2] < 60;
}
bool Blue(const unsigned char* p) {
    return p[2] > 200 && p[0] < 60 && p[1] < 100;
}
bool Grass(const unsigned char* p) {
    return p[1] > p[0] + 15 && p[1] > p[2] + 15;
}

// One game's window: the mouse, the keyboard and screenshots.
class CWindowRoad {
public:
    explicit CWindowRoad(CTestXServer& x) : m_x(x) {}
    bool Find() {
        m_window = Test_GameWindow(m_x);
        return !m_window.empty();
    }
    void ClickAt(int px, int py) {
        // The move first: the interface finds what lies under the mouse in
        // the frames between the move and the press.
        m_x.Shell("xdotool mousemove --window " + m_window + " " + std::to_string(px) + " " +
                  std::to_string(py) + " sleep 0.3 click 1");
    }
    void MoveTo(int px, int py) {
        m_x.Shell("xdotool mousemove --window " + m_window + " " + std::to_string(px) + " " +
                  std::to_string(py));
    }
    // Typed text and a Return, the window given the keyboard first.
    void Type(const std::string& text) {
        m_x.Shell("xdotool windowfocus --sync " + m_window + " type --delay 60 '" + text + "'");
        m_x.Shell("xdotool windowfocus --sync " + m_window + " keydown Return sleep 0.2 keyup Return");
    }
    STestShot Until(const std::function<bool(const STestShot&)>& check, double seconds = 30.0) {
        return Test_ShotUntil(m_x, m_window, check, seconds);
    }

private:
    CTestXServer& m_x;
    std::string m_window;
};

// The lobby's player list (its colour column) holds both players' colours.
bool BothPlayersListed(const STestShot& s) {
    return Test_CountPixels(s, 24, 62, 60, 112, Red) > 60 && Test_CountPixels(s, 24, 62, 60, 112, Blue) > 60;
}
// The map picture of the lobby.
int PictureDiffers(const STestShot& a, const STestShot& b) {
    int differ = 0;
    for (int y = 242; y < 362; ++y)
        for (int px = 282; px < 402; ++px) differ += std::memcmp(a.At(px, y), b.At(px, y), 3) != 0 ? 1 : 0;
    return differ;
}
bool MapShown(const STestShot& s) {
    return Test_CountPixels(s, 282, 242, 402, 362, Grass) > 120 * 120 / 2;
}

uint16_t FreePort() {
    CRawEndpoint probe;
    return probe.Address().port;
}

bool Has(CTestProcess& game, const std::string& text, size_t from) {
    return game.Output().find(text, from) != std::string::npos;
}

// Runs the command until its output shows the text after what was there.
bool AskUntil(CTestProcess& game, const std::string& command, const std::string& text, double seconds) {
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    do {
        const size_t from = game.Output().size();
        game.Write(command + "\n");
        for (int i = 0; i < 5; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            if (Has(game, text, from)) return true;
        }
    } while (std::chrono::steady_clock::now() < end);
    return false;
}

}  // namespace

TEST(LobbyWindow, TwoGamesMeetChatPickAMapPlayAndSeeTheirStatistics) {
    if (!Test_OnPath("Xvfb") || !Test_OnPath("xdotool") || !Test_OnPath("import"))
        GTEST_SKIP() << "needs Xvfb, xdotool and ImageMagick";
    CTempDir hostDir, clientDir;
    if (!Test_CopyInstallation(hostDir) || !Test_CopyInstallation(clientDir))
        FAIL() << "the game program is not built";
    // Each player's own start: the shipped main menu, a name and a colour.
    hostDir.Write("Tessarak/Scripts/Autoexec.cfg",
                  "ge_MainSleep(1);\nName(\"Hosty\");\nColor(240, 20, 20);\necho(\"Tessarak is ready.\");\n");
    clientDir.Write("Tessarak/Scripts/Autoexec.cfg",
                    "ge_MainSleep(1);\nnw_ClientPort(0);\nName(\"Clienty\");\nColor(20, 40, 240);\n"
                    "echo(\"Tessarak is ready.\");\n");
    CTestXServer hostX, clientX;
    ASSERT_TRUE(hostX.Start());
    ASSERT_TRUE(clientX.Start());
    CTestProcess host, client;
    ASSERT_TRUE(Test_StartGameOn(host, hostDir, hostX));
    ASSERT_TRUE(Test_StartGameOn(client, clientDir, clientX));
    ASSERT_TRUE(host.WaitForOutput("Loading GUI Finished...", 60)) << host.Output();
    ASSERT_TRUE(client.WaitForOutput("Loading GUI Finished...", 60)) << client.Output();
    CWindowRoad hostRoad(hostX), clientRoad(clientX);
    ASSERT_TRUE(hostRoad.Find());
    ASSERT_TRUE(clientRoad.Find());

    // The host's lobby (as the multiplayer screen's "Host a game" opens it,
    // on a port of the test's, with Skerry kept), then the other joins.
    const std::string port = std::to_string(FreePort());
    host.Write("GameMode(GM_Multi); StartServer(" + port +
               "); g_RemakeMapChange(false); Map(\"Skerry\"); g_SetLobbyOptionsReadOnly(false); "
               "G_SetActiveGUI(600);\n");
    ASSERT_TRUE(host.WaitForOutput("Server started on port " + port, 60)) << host.Output();
    client.Write("Connect(\"127.0.0.1:" + port + "\");\n");
    ASSERT_TRUE(host.WaitForOutput("Clienty entered the game", 30)) << host.Output() << client.Output();
    ASSERT_TRUE(client.WaitForOutput("Connected to the server.", 30)) << client.Output();

    // Both lobbies list both players in their colours, Skerry's picture beside.
    const STestShot hostLobby =
        hostRoad.Until([](const STestShot& s) { return BothPlayersListed(s) && MapShown(s); });
    EXPECT_TRUE(BothPlayersListed(hostLobby)) << host.Output();
    const STestShot clientLobby =
        clientRoad.Until([](const STestShot& s) { return BothPlayersListed(s) && MapShown(s); });
    ASSERT_TRUE(BothPlayersListed(clientLobby)) << client.Output();

    // The host picks FourWinds in the map list: the other's lobby shows its
    // picture, and the other game has the map.
    hostRoad.ClickAt(60, 270);
    const STestShot fourWinds = clientRoad.Until(
        [&](const STestShot& s) { return MapShown(s) && PictureDiffers(s, clientLobby) > 100; });
    EXPECT_GT(PictureDiffers(fourWinds, clientLobby), 100);

    // A team named in the lobby's box reaches the host; a click on the
    // joining player's own team cell puts it in the team, which the host's
    // lobby shows in its row.
    clientRoad.ClickAt(240, 220);
    clientRoad.Type("Blues");
    EXPECT_TRUE(AskUntil(host, "ListTeams();", "Blues", 20)) << host.Output() << client.Output();
    ASSERT_TRUE(AskUntil(client, "ListTeams();", "Blues", 20)) << client.Output();
    const STestShot noTeam = hostRoad.Until([](const STestShot&) { return true; });
    clientRoad.ClickAt(334, 98);
    auto teamCell = [&](const STestShot& s) {
        int differ = 0;
        for (int y = 92; y < 106; ++y)
            for (int px = 322; px < 412; ++px) differ += std::memcmp(s.At(px, y), noTeam.At(px, y), 3) != 0;
        return differ;
    };
    EXPECT_GT(teamCell(hostRoad.Until([&](const STestShot& s) { return teamCell(s) > 20; })), 20);
    // A chat line typed into the box is heard in the host's game.
    size_t from = host.Output().size();
    clientRoad.ClickAt(30, 431);
    clientRoad.Type("hello from the lobby");
    for (int i = 0; i < 100 && !Has(host, "hello from the lobby", from); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(Has(host, "hello from the lobby", from)) << host.Output();

    // "Back" asks first; "No" keeps the player in the lobby.
    const STestShot beforeBack = clientRoad.Until([](const STestShot&) { return true; });
    auto dialogArea = [&](const STestShot& s) {
        int differ = 0;
        for (int y = 200; y < 320; ++y)
            for (int px = 188; px < 456; ++px)
                differ += std::memcmp(s.At(px, y), beforeBack.At(px, y), 3) != 0;
        return differ;
    };
    clientRoad.ClickAt(60, 459);
    EXPECT_GT(dialogArea(clientRoad.Until([&](const STestShot& s) { return dialogArea(s) > 2000; })), 2000);
    clientRoad.ClickAt(416, 287);
    clientRoad.MoveTo(30, 431);  // the game's cursor back where it stood before
    EXPECT_EQ(dialogArea(clientRoad.Until([&](const STestShot& s) { return dialogArea(s) == 0; })), 0);
    EXPECT_EQ(host.Output().find("disconnected"), std::string::npos);

    // The host's "Start": both games run (a start the server refuses while
    // the other still checks the map is pressed again).
    bool started = false;
    for (int attempt = 0; attempt < 30 && !started; ++attempt) {
        from = host.Output().size();
        hostRoad.ClickAt(515, 459);
        for (int i = 0; i < 30 && !started; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            started = Has(host, "Initializing Game...", from);
        }
    }
    ASSERT_TRUE(started) << host.Output();
    ASSERT_FALSE(Test_UnitsOnceRunning(host, 60.0).empty()) << host.Output();
    ASSERT_FALSE(Test_UnitsOnceRunning(client, 60.0).empty()) << client.Output();

    // The other side loses everything it has; the end screen (as the end of
    // a game shows it) lists both players in their colours on both.
    client.Write("SelectAllUnits(); KillSelected();\n");
    bool gone = false;
    for (int i = 0; i < 40 && !gone; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        gone = Test_ReadUnits(client).empty();
    }
    ASSERT_TRUE(gone) << client.Output();
    host.Write("G_ScoreMenu(true);\n");
    client.Write("G_ScoreMenu(true);\n");
    auto endScreen = [](const STestShot& s) {
        return Test_CountPixels(s, 20, 64, 620, 250, Red) > 30 &&
               Test_CountPixels(s, 20, 64, 620, 250, Blue) > 30 &&
               Test_CountPixels(s, 0, 0, 640, 480, Grass) < 640 * 480 / 20;  // no battlefield
    };
    const STestShot hostEnd = hostRoad.Until(endScreen, 30);
    const STestShot clientEnd = clientRoad.Until(endScreen, 30);
    EXPECT_TRUE(endScreen(hostEnd)) << host.Output();
    EXPECT_TRUE(endScreen(clientEnd)) << client.Output();
    host.Write("Quit();\n");
    client.Write("Quit();\n");
    EXPECT_EQ(host.Wait(30), 0) << host.Output();
    EXPECT_EQ(client.Wait(30), 0) << client.Output();
}

namespace {
// The players ListPlayers names now (the lines after its head line).
std::string PlayersNow(CTestProcess& game) {
    static int s_serial = 0;
    const std::string end = "players-end " + std::to_string(++s_serial);
    const size_t from = game.Output().size();
    game.Write("ListPlayers(); echo(\"" + end + "\");\n");
    if (!game.WaitForLine(end, 20)) return "<no answer>";
    const std::string out = game.Output();
    const size_t head = out.find("Name", from);
    return head == std::string::npos ? "<no list>" : out.substr(head, out.find(end, head) - head);
}
}  // namespace

// The host's skirmish lobby, as the main menu's "Skirmish" opens it, with a
// computer player: "Reject player" and a click on the host's own row leave
// the host in; on the computer player's row they remove it, the lobby stays
// usable, and with a computer player added again "Start" starts the game.
TEST(LobbyWindow, RejectingAComputerPlayerRemovesItAndStartStillStarts) {
    if (!Test_OnPath("Xvfb") || !Test_OnPath("xdotool") || !Test_OnPath("import"))
        GTEST_SKIP() << "needs Xvfb, xdotool and ImageMagick";
    CTempDir dir;
    if (!Test_CopyInstallation(dir)) FAIL() << "the game program is not built";
    dir.Write("Tessarak/Scripts/Autoexec.cfg",
              "ge_MainSleep(1);\nName(\"Hosty\");\nColor(240, 20, 20);\necho(\"Tessarak is ready.\");\n");
    CTestXServer x;
    ASSERT_TRUE(x.Start());
    CTestProcess host;
    ASSERT_TRUE(Test_StartGameOn(host, dir, x));
    ASSERT_TRUE(host.WaitForOutput("Loading GUI Finished...", 60)) << host.Output();
    CWindowRoad road(x);
    ASSERT_TRUE(road.Find());
    host.Write(
        "GameMode(GM_Skirmish); StartLocalServer(); g_RemakeMapChange(false); Map(\"Skerry\"); "
        "g_SetLobbyOptionsReadOnly(false); AI_AddCommander(); G_SetActiveGUI(600);\n");
    ASSERT_TRUE(AskUntil(host, "ListPlayers();", "Computer", 30)) << host.Output();
    // The lobby lists both: the host's row in its red, the computer's below.
    auto greenText = [](const unsigned char* p) { return p[1] > 100 && p[0] < 80 && p[2] < 80; };
    const STestShot lobby = road.Until([&](const STestShot& s) {
        return Test_CountPixels(s, 24, 62, 60, 112, Red) > 60 &&
               Test_CountPixels(s, 58, 92, 160, 106, greenText) > 10;
    });
    ASSERT_GT(Test_CountPixels(lobby, 24, 62, 60, 112, Red), 60);

    // The host's own row: nothing happens to anyone.
    road.ClickAt(400, 221);
    road.ClickAt(80, 77);
    std::string players = PlayersNow(host);
    EXPECT_NE(players.find("Hosty"), std::string::npos) << players;
    EXPECT_NE(players.find("Computer"), std::string::npos) << players;

    // The computer player's row: it is gone, and gone from the lobby's rows.
    road.ClickAt(400, 221);
    road.ClickAt(80, 99);
    bool gone = false;
    for (int i = 0; i < 50 && !gone; ++i) {
        players = PlayersNow(host);
        gone = players.find("Computer") == std::string::npos;
    }
    EXPECT_TRUE(gone) << players;
    EXPECT_NE(players.find("Hosty"), std::string::npos) << players;
    auto secondRowChanged = [&](const STestShot& s) {
        int differ = 0;
        for (int y = 92; y < 106; ++y)
            for (int px = 58; px < 160; ++px) differ += std::memcmp(s.At(px, y), lobby.At(px, y), 3) != 0;
        return differ;
    };
    EXPECT_GT(secondRowChanged(road.Until([&](const STestShot& s) { return secondRowChanged(s) > 20; })), 20);
    EXPECT_EQ(host.Output().find("timed out"), std::string::npos) << host.Output();

    // A computer player again, and "Start": the game starts.
    host.Write("AI_AddCommander();\n");
    ASSERT_TRUE(AskUntil(host, "ListPlayers();", "Computer", 30)) << host.Output();
    bool started = false;
    for (int attempt = 0; attempt < 10 && !started; ++attempt) {
        const size_t from = host.Output().size();
        road.ClickAt(515, 459);
        for (int i = 0; i < 30 && !started; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            started = Has(host, "Initializing Game...", from);
        }
    }
    ASSERT_TRUE(started) << host.Output();
    EXPECT_FALSE(Test_UnitsOnceRunning(host, 60.0).empty()) << host.Output();
    host.Write("Quit();\n");
    EXPECT_EQ(host.Wait(30), 0) << host.Output();
}

// The Multiplayer screen's name box: it shows the player's name; a click on
// its "Change", the old name rubbed out and another typed with Return, and the player
// is called so, in the game it then hosts as in the settings kept for the
// next start.
TEST(LobbyWindow, TheMultiplayerScreensNameBoxNamesThePlayer) {
    if (!Test_OnPath("Xvfb") || !Test_OnPath("xdotool") || !Test_OnPath("import"))
        GTEST_SKIP() << "needs Xvfb, xdotool and ImageMagick";
    CTempDir dir;
    if (!Test_CopyInstallation(dir)) FAIL() << "the game program is not built";
    CTestXServer x;
    ASSERT_TRUE(x.Start());
    CTestProcess game;
    ASSERT_TRUE(Test_StartGameOn(game, dir, x));
    ASSERT_TRUE(game.WaitForOutput("Loading GUI Finished...", 60)) << game.Output();
    CWindowRoad road(x);
    ASSERT_TRUE(road.Find());
    ASSERT_TRUE(AskUntil(game, "Name();", "You are called Player", 10)) << game.Output();

    // "Multiplayer": its name box holds the name.
    road.ClickAt(290, 231);
    ASSERT_TRUE(AskUntil(game, "dbg_ScreenTexts();", "Screen text \"Value\" \"Player\"", 20))
        << game.Output();
    // A click on the box, the old name rubbed out, the new one typed.
    road.ClickAt(245, 222);
    x.Shell("xdotool key --delay 60 --repeat 6 BackSpace");
    road.Type("Ann");
    EXPECT_TRUE(AskUntil(game, "Name();", "You are called Ann", 20)) << game.Output();
    EXPECT_TRUE(AskUntil(game, "dbg_ScreenTexts();", "Screen text \"Value\" \"Ann\"", 20)) << game.Output();

    // A game hosted from here lists the player so.
    game.Write("StartLocalServer(); GameMode(GM_Multi); StartServer(" + std::to_string(FreePort()) + ");\n");
    EXPECT_TRUE(AskUntil(game, "ListPlayers();", "Ann", 20)) << game.Output();
    game.Write("Quit();\n");
    ASSERT_EQ(game.Wait(30), 0) << game.Output();
    std::ifstream saved(dir.File("Tessarak/Scripts/Config/Player.cfg"));
    const std::string kept((std::istreambuf_iterator<char>(saved)), std::istreambuf_iterator<char>());
    EXPECT_NE(kept.find("Name(\"Ann\");"), std::string::npos) << kept;
}
