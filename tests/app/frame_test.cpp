// Frame dispatch and the interface frame's tick step, on a game object
// without a display.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/FramePacing.h"
#include "app/Game.h"
#include "app/GameClock.h"
#include "app/GameRoles.h"
#include "app/GameView.h"
#include "e3d/Camera.h"
#include "netgame/NetGame.h"
#include "netgame/NetMessages.h"
#include "nwe/Engine.h"
#include "nwe/FrameTable.h"
#include "nwe/Wire.h"
#include "platform/d3d/Recorder.h"
#include "tests/nwe/NweTestKit.h"
#include "tests/support/TempDir.h"
#include "ui/Interface.h"
#include "world/GameScene.h"
#include "world/Player.h"
#include "world/TessarakObject.h"
#include "world/World.h"

namespace {
struct SCounter {
    uint64_t now = 1000;
    static uint64_t Read(void* ctx) { return static_cast<SCounter*>(ctx)->now; }
    // The network engine's clock is the same counter (its frequency is the
    // game clock's).
    static int64_t ReadSigned(void* ctx) { return static_cast<int64_t>(static_cast<SCounter*>(ctx)->now); }
};

// The ids of the game messages a datagram starts (system messages left out),
// read by the game protocol's table.
std::vector<uint16_t> GameMessagesOf(const std::vector<uint8_t>& d) {
    std::vector<uint16_t> ids;
    SPacketHeader h;
    if (NWE_ReadPacketHeader(d.data(), d.size(), 13, false, &h) != EHeaderError::None) return ids;
    auto kind = [](uint16_t id, void*) -> int {
        const SNetMessageRow* row = NetMessage_Find(id);
        return id < 6 ? 1 : row ? row->shortHeader : -1;
    };
    std::vector<SWirePart> parts;
    if (NWE_ParseMessages(d.data() + h.size, d.size() - h.size, h.count, kind, nullptr, &parts) !=
        EParseError::None)
        return ids;
    for (const SWirePart& p : parts)
        if (p.start && p.id >= 6) ids.push_back(p.id);
    return ids;
}

class FrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        game.SetClock(new CGameClock);
        game.Clock()->SetCounterSource(&SCounter::Read, &counter, 1193182.0);
        game.Clock()->Start();
        game.Clock()->m_speedFactor = 1.0f;
        SNWEEngineSetup setup;
        setup.clock = &SCounter::ReadSigned;
        setup.clockContext = &counter;
        game.SetNetGame(new CNetGame(game.Roles().Net(), setup));
        game.SetInterface(new CInterface(game.Roles().Interface()));
    }
    void TearDown() override {
        delete game.Interface();
        delete game.NetGame();
        delete game.Clock();
        game.SetInterface(nullptr);
        game.SetNetGame(nullptr);
        game.SetClock(nullptr);
    }
    // The console's red lines (the network errors) go into lines.
    void KeepRedLines(std::vector<std::string>* lines) {
        game.Interface()->m_console.Init(100, 17, 8);
        game.Interface()->m_console.SetLineSink(
            [](void* user, const char* text, int r, int, int, bool) {
                if (r == 255) static_cast<std::vector<std::string>*>(user)->push_back(text);
            },
            lines);
    }
    // A host that ticks whenever a tick period has passed.
    void HostWithoutLead() {
        game.NetGame()->m_hosting = 1;
        game.NetGame()->m_tickLead = 0.0f;
    }
    // Logic ticks, each after a period of real time, until done() or max
    // ticks; the number run.
    template <class Done>
    int TickUntil(Done done, int max) {
        int ticks = 0;
        while (!done() && ticks < max) {
            counter.now += game.Clock()->m_tickPeriod;
            const uint64_t before = game.Ticks();
            game.LogicTick();
            ticks += int(game.Ticks() - before);
        }
        return ticks;
    }
    // A skirmish lost while two opponents play on; the player answers the
    // watch prompt.
    void LoseWithTwoStillPlayingAndAnswer(bool yes);
    // The game messages the client sent to server since the last look, in
    // order, each once (the link's resends left out).
    std::vector<uint16_t> SentTo(CRawEndpoint& server) {
        std::vector<uint16_t> ids;
        for (int i = 0; i < 6; ++i) {
            counter.now += 1193182 / 5;  // the link's rate lets the next ones go
            game.NetGame()->Update(1);
            for (std::vector<uint8_t> d = server.Receive(0.02); !d.empty(); d = server.ReceiveNow())
                for (uint16_t id : GameMessagesOf(d))
                    if (std::find(ids.begin(), ids.end(), id) == ids.end()) ids.push_back(id);
        }
        return ids;
    }
    CGame game{nullptr, "No datafile"};
    SCounter counter;
};
}  // namespace

TEST_F(FrameTest, DispatchesOnTheTwoStateWords) {
    // The interface frame marks the console script as run, the render frame
    // clears the mark, the game start leaves it (-1); this game has no unit
    // files, so the start goes back to the interface (GUI word 1) and the
    // game state stays. Each case's mark differs from the one before it, so a
    // frame that ran the wrong way shows.
    const struct {
        int gui, state;
        int marker, stateAfter, guiAfter;
    } cases[] = {
        {0, 2, 0, 2, 0},   // the running game
        {1, 2, 1, 2, 1},   // a GUI word wins over a running game
        {0, 2, 0, 2, 0},   // running again
        {0, 1, 1, 1, 0},   // between the game start and the game loop
        {0, 2, 0, 2, 0},   // running again
        {0, 0, -1, 0, 1},  // the game start
        {0, 7, 1, 7, 0},   // any other state: interface frames
    };
    for (const auto& c : cases) {
        game.SetGuiWord(c.gui);
        game.SetGameState(c.state);
        int32_t before = game.ConsoleScriptMarker();
        EXPECT_EQ(game.Frame(), 1);
        EXPECT_EQ(game.ConsoleScriptMarker(), c.marker == -1 ? before : c.marker) << c.gui << "/" << c.state;
        EXPECT_EQ(game.GameState(), c.stateAfter) << c.gui << "/" << c.state;
        EXPECT_EQ(game.GuiWord(), c.guiAfter) << c.gui << "/" << c.state;
    }
}

TEST_F(FrameTest, HostConsumesOneTickOnlyWhenTheBacklogExceedsTheLead) {
    game.SetGuiWord(1);
    game.NetGame()->m_hosting = 1;
    game.NetGame()->m_tickLead = 0.2f;
    CGameClock* clock = game.Clock();
    // Real time reaches the next tick plus a little less than the lead.
    uint64_t start = clock->m_gameTime;
    uint64_t period = clock->m_tickPeriod;
    counter.now += clock->m_tickPeriod + (uint64_t)(0.19 * 1193182.0);
    game.InterfaceFrame();
    EXPECT_EQ(clock->m_gameTime, start);
    // No tick due: the frame countdown starts again.
    EXPECT_FLOAT_EQ(game.NetGame()->FrameCountdown(), game.FrameTimeout());
    // A little more than the lead: exactly one tick, however far behind.
    // (The tick's own messages may set another rate for the ticks after it.)
    counter.now += (uint64_t)(0.3 * 1193182.0);
    game.InterfaceFrame();
    EXPECT_EQ(clock->m_gameTime, start + period);
}

// A client of a server that never answers: no frames, never a tick.
TEST_F(FrameTest, ClientWithoutFramesNeverTicks) {
    CRawEndpoint silent;
    game.SetGuiWord(1);
    game.NetGame()->m_clientPort = 0;
    ASSERT_TRUE(game.NetGame()->Connect(Net_FormatAddress(silent.Address()).c_str()));
    EXPECT_FALSE(game.NetGame()->m_hosting);
    EXPECT_FALSE(silent.Receive().empty());  // its CONNECT
    uint64_t start = game.Clock()->m_gameTime;
    for (int i = 0; i < 5; ++i) {
        counter.now += 1193182 / 2;
        game.InterfaceFrame();
    }
    EXPECT_EQ(game.Clock()->m_gameTime, start);
}

TEST_F(FrameTest, BlinkAndRemovedPlayers) {
    game.SetGuiWord(1);
    CPlayer* gone = game.NetGame()->AddPlayer("gone");
    gone->m_markedForRemoval = 1;
    game.NetGame()->AddPlayer("stays");
    uint8_t blink = game.Interface()->m_blink;
    counter.now += 1193182 * 6 / 10;  // a frame of 0.6 s
    game.InterfaceFrame();
    game.InterfaceFrame();
    EXPECT_NE(game.Interface()->m_blink, blink);
    int players = 0;
    for (CPlayer* p : game.NetGame()->m_players.m_players) {
        EXPECT_STRNE(p->m_name.GetText(), "gone");
        ++players;
    }
    EXPECT_EQ(players, 3);  // the neutral and local players and "stays"
}

// A client (of a server that never answers here): a complete frame ticks;
// an overdue incomplete one asks the server where it is; once the server
// says it is ahead, the client reports in red and runs the frame with what
// it has, so it keeps up until the server's resync.
// The wait for the server's answer is a mend, deliberately: running the
// frame as soon as the server is asked (missing or short, as a client whose
// patience ran out would) lets a client run a frame whose orders the server
// is still sending, and leave the others' world for good. Only a server
// known to be past the frame makes the client run it short.
TEST_F(FrameTest, ClientTicksCompleteFramesAndForcesOnlyAfterReporting) {
    CRawEndpoint silent;
    CNetGame* net = game.NetGame();
    net->m_clientPort = 0;
    ASSERT_TRUE(net->Connect(Net_FormatAddress(silent.Address()).c_str()));
    NWEFrameTable& table = *net->m_frameTable;
    game.SetGuiWord(1);
    std::vector<std::string> printed;
    KeepRedLines(&printed);
    CGameClock* clock = game.Clock();
    auto frame = [&] {
        counter.now += clock->m_tickPeriod + (uint64_t)(0.5 * 1193182.0);
        game.InterfaceFrame();
    };

    NWEFrame* rec = table.Current();  // present, with nothing announced yet
    rec->SetExpected(0);              // announced empty: complete
    table.Release(rec);
    uint16_t first = table.GetCurrentNumber();
    uint64_t start = clock->m_gameTime;
    frame();
    EXPECT_EQ(clock->m_gameTime, start + clock->m_tickPeriod);
    EXPECT_EQ(table.GetCurrentNumber(), NWEFrameTable::NextFrameNumber(first));

    // Two messages announced, none arrived, and no patience left.
    rec = table.Current();
    rec->SetExpected(2);
    table.Release(rec);
    game.SetFrameTimeout(0.0f);
    start = clock->m_gameTime;
    frame();
    EXPECT_EQ(net->m_askForFrame, 0xFF01);  // asked the server
    EXPECT_EQ(clock->m_gameTime, start);    // and waits
    // The server answers that it is behind: nothing is forced.
    net->m_askForFrame = table.GetCurrentNumber();
    frame();
    EXPECT_EQ(clock->m_gameTime, start);
    EXPECT_EQ(net->m_askForFrame, 0xFFFF);
    // Asked again, the server answers that it is ahead.
    frame();
    net->m_askForFrame = table.PeekNumber(5);
    printed.clear();
    frame();
    EXPECT_EQ(net->m_askForFrame, 0xFFFF);
    EXPECT_EQ(clock->m_gameTime, start + clock->m_tickPeriod);  // the half frame ran
    ASSERT_FALSE(printed.empty());
    EXPECT_EQ(printed.back().rfind(
                  "Severe network errer (Wrong number of messages), asking server to resync (2, 0)", 0),
              0u)
        << printed.back();
}

// The running game's tick, when its server is ahead: it reports that it holds
// every unit (152) and has finished syncing (154), then asks for the resync
// (158), and runs the frame it has; a frame that is missing and one whose
// messages did not all come each say so in their own words.
TEST_F(FrameTest, TheRunningGamesForcedTickReportsItsUnitsAndSyncBeforeTheResync) {
    CRawEndpoint server;
    CNetGame* net = game.NetGame();
    net->m_clientPort = 0;
    ASSERT_TRUE(net->Connect(Net_FormatAddress(server.Address()).c_str()));
    EXPECT_FALSE(server.Receive().empty());  // its CONNECT
    NWEFrameTable& table = *net->m_frameTable;
    game.SetGuiWord(0);
    game.SetGameState(2);
    game.SetFrameTimeout(0.0f);
    std::vector<std::string> printed;
    KeepRedLines(&printed);
    CGameClock* clock = game.Clock();
    auto sent = [&] { return SentTo(server); };
    auto frame = [&] {
        counter.now += clock->m_tickPeriod + (uint64_t)(0.5 * 1193182.0);
        game.LogicTick();
    };
    sent();
    const uint16_t report[] = {NS_NOTIFYTYPE_SYNC_GOTALLUNITS, NS_NOTIFYTYPE_SYNC_SYNCFINISHED,
                               NS_NOTIFYTYPE_SYNC_REPORT};
    for (int missing = 1; missing >= 0; --missing) {
        SCOPED_TRACE(missing ? "no frame record" : "a frame short of its messages");
        if (!missing) {
            NWEFrame* rec = table.Current();
            rec->SetExpected(2);
            table.Release(rec);
        }
        net->RestartFrameCountdown(-1.0f);
        frame();  // asks the server
        EXPECT_EQ(net->m_askForFrame, 0xFF01);
        // The server answers that it is ahead.
        net->m_askForFrame = table.PeekNumber(5);
        net->RestartFrameCountdown(-1.0f);
        printed.clear();
        sent();
        const uint64_t start = clock->m_gameTime;
        frame();
        EXPECT_EQ(clock->m_gameTime, start + clock->m_tickPeriod);  // the forced tick ran
        EXPECT_EQ(net->m_askForFrame, 0xFFFF);
        const std::vector<uint16_t> ids = sent();
        EXPECT_EQ(ids, std::vector<uint16_t>(std::begin(report), std::end(report)));
        ASSERT_FALSE(printed.empty());
        EXPECT_EQ(
            printed.back(),
            missing ? "Severe network error (No FTI), asking server to resync"
                    : "GL: Severe network errer (Wrong number of messages), asking server to resync (2, 0)");
    }
}

TEST_F(FrameTest, RenderFrameMovesScreenMessagesExceptUnderTheFullConsoleOrAtTheEnd) {
    CConsole& console = game.Interface()->m_console;
    console.Init(100, 17, 8);
    game.CreateWorld(nullptr);
    const struct {
        bool visible, mini, finished;
        bool moved;
    } cases[] = {
        {false, false, false, true},
        {true, true, false, true},    // the mini console leaves the messages shown
        {true, false, false, false},  // the full console covers them
        {false, false, true, false},  // the finished game's screen
    };
    game.SetGuiWord(0);
    game.SetGameState(2);
    for (const auto& c : cases) {
        c.visible ? console.Show() : console.Hide();
        console.m_mini = c.mini ? 1 : 0;
        game.Scene()->SetFinished(c.finished);
        console.Print("news", false, 255, 0, 0, true);
        counter.now += 1193182 * 5;
        game.Frame();
        const CConsoleScreenLine* line = console.GetScreenLine(c.moved ? 1 : 0);
        ASSERT_NE(line, nullptr);
        EXPECT_STREQ(line->text.GetText(), "news") << c.visible << c.mini << c.finished;
    }
    game.DeleteWorld();
}

// The logic tick of the render frame: one tick when the game is behind by the
// lead, none before; the end of a won mission waits three seconds of game
// time (ticks), however many frames draw meanwhile.
TEST_F(FrameTest, LogicTickRunsWhenDueAndEndsAMissionAfterThreeSecondsOfTicks) {
    game.CreateWorld(nullptr);
    CGameScene& scene = *game.Scene();
    game.NetGame()->m_hosting = 1;
    game.NetGame()->m_tickLead = 0.1f;
    CGameClock* clock = game.Clock();
    uint64_t start = clock->m_gameTime;
    counter.now += clock->m_tickPeriod / 2;
    game.LogicTick();
    EXPECT_EQ(clock->m_gameTime, start);
    EXPECT_EQ(scene.m_frameCounter, 0u);
    counter.now += clock->m_tickPeriod + (uint64_t)(0.1 * 1193182.0);
    game.LogicTick();
    EXPECT_EQ(clock->m_gameTime, start + clock->m_tickPeriod);
    EXPECT_EQ(scene.m_ticked, 1);

    scene.WinGame = 1;
    int ticks = 0;
    while (!scene.Finished() && ticks < 100) {
        // Many frames per tick: only the ticks count towards the grace time.
        for (int f = 0; f < 3; ++f) {
            counter.now += clock->m_tickPeriod / 3;
            uint64_t before = clock->m_gameTime;
            game.LogicTick();
            if (clock->m_gameTime != before) ++ticks;
        }
    }
    EXPECT_TRUE(scene.Finished());
    // 3 s at 15 ticks a second: the 46th tick after the win ends it.
    EXPECT_GE(ticks, 45);
    EXPECT_LE(ticks, 47);
    game.DeleteWorld();
}

// The frames queued for deletion go at every tick, also while the world does
// not tick (the map editor, a game that has ended); a world object that left
// play lingers, released at once and deleted five seconds of ticks later.
TEST_F(FrameTest, QueuedFramesGoEveryTickAndWorldObjectsLinger) {
    struct SEffect : CE3DFrame {
        bool* gone;
        SEffect(CE3DFrame* parent, bool* g) : CE3DFrame(parent), gone(g) {}
        ~SEffect() override { *gone = true; }
    };
    struct SObject : CTessarakObject {
        bool* gone;
        SObject(CGameScene* scene, CE3DFrame* parent, bool* g)
            : CTessarakObject(scene, nullptr, parent, nullptr, 1, nullptr, 7), gone(g) {}
        ~SObject() override { *gone = true; }
    };
    CE3DCamera root(nullptr);
    game.CreateWorld(&root);
    CGameScene& scene = *game.Scene();
    game.NetGame()->m_hosting = 1;
    game.NetGame()->m_tickLead = 0.0f;
    CGameClock* clock = game.Clock();
    // One tick of the game, whatever the frames before it.
    auto tick = [&] {
        const uint64_t before = clock->m_gameTime;
        for (int frames = 0; frames < 10 && clock->m_gameTime == before; ++frames) {
            counter.now += clock->m_tickPeriod;
            game.LogicTick();
        }
        ASSERT_NE(clock->m_gameTime, before);
    };
    for (int idle = 0; idle < 2; ++idle) {
        SCOPED_TRACE(idle ? "a game that has ended" : "the map editor");
        scene.m_DevmapMode = idle == 0;
        scene.WinGame = idle == 1;
        scene.SetFinished(idle == 1);
        bool effectGone = false, objectGone = false;
        (new SEffect(&root, &effectGone))->QueueForDeletion();
        SObject* object = new SObject(&scene, &root, &objectGone);
        object->QueueForDeletion();
        const uint32_t worldTicks = scene.m_frameCounter;
        tick();
        EXPECT_EQ(scene.m_frameCounter, worldTicks);  // the world did not tick
        EXPECT_TRUE(effectGone);
        ASSERT_FALSE(objectGone);
        EXPECT_TRUE(object->IsReleased());
        EXPECT_EQ(scene.m_idTable.Find(7), nullptr);
        int ticks = 1;
        while (!objectGone && ticks < 200) {
            tick();
            ++ticks;
        }
        // 5 s at 15 ticks a second after the tick that released it.
        EXPECT_GE(ticks, 76);
        EXPECT_LE(ticks, 77);
        EXPECT_EQ(scene.m_objectCount, 0);
    }
    game.DeleteWorld();
}

// The main loop's wait after a frame: the frame's time at ge_MaxFPS (a
// running game's frame runs the ticks due meanwhile, a menu's frame comes
// when the next tick falls due sooner); for menus left alone the next tick,
// 100 ms at most, unless ticks are overdue; 40 ms with ge_MainSleep, none
// without a limit.
TEST_F(FrameTest, TheLoopWaitsForTheNextFrameOrTick) {
    const double rate = 1193182.0;
    CGameClock* clock = game.Clock();
    CNetGame* net = game.NetGame();
    net->m_tickLead = 0.1f;
    struct SCase {
        const char* what;
        bool running;
        double tickDueIn;  // seconds from now (negative: due already); 99 none soon
        double frameTook;  // seconds since the frame began
        double inputAgo;   // seconds since the last input
        int maxFps;
        bool mainSleep;
        float speed;
        int expect;  // milliseconds
    } cases[] = {
        {"running, the frame's time", true, 99, 0.0, 0.0, 60, false, 1.0f, 17},
        {"running, the frame took its time", true, 99, 0.020, 0.0, 60, false, 1.0f, 0},
        {"running, a tick due sooner: the frame runs it", true, 0.005, 0.0, 0.0, 60, false, 1.0f, 17},
        {"running fast", true, 0.0001, 0.0, 0.0, 60, false, 200.0f, 17},
        {"menus in use, a tick due sooner", false, 0.005, 0.0, 0.0, 60, false, 1.0f, 5},
        {"running, a tick due already", true, -0.5, 0.0, 0.0, 60, false, 1.0f, 17},
        {"running, no limit", true, 99, 0.0, 0.0, 0, false, 1.0f, 0},
        {"running, main sleep", true, 99, 0.0, 0.0, 60, true, 1.0f, 40},
        {"menus in use", false, 99, 0.0, 0.5, 60, false, 1.0f, 17},
        {"menus left alone", false, 99, 0.0, 2.0, 60, false, 1.0f, 100},
        {"menus left alone, a tick due sooner", false, 0.030, 0.0, 2.0, 60, false, 1.0f, 30},
        {"menus left alone, a tick due already", false, -0.2, 0.0, 2.0, 60, false, 1.0f, 17},
        {"menus left alone, no game clock", false, 0.010, 0.0, 2.0, 60, false, 0.0f, 100},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.what);
        game.SetGuiWord(c.running ? 0 : 1);
        game.SetGameState(c.running ? 2 : 1);
        game.Variables().maxFps = c.maxFps;
        game.Variables().mainSleep = c.mainSleep ? 1 : 0;
        clock->m_speedFactor = c.speed;
        clock->m_lastCounter = counter.now;
        double tickDue = c.tickDueIn > 90 ? 10.0 : c.tickDueIn;
        // Backlog = lead - (seconds until due).
        clock->m_gameTime = 1000;
        clock->m_realTime = clock->m_gameTime + clock->m_tickPeriod +
                            static_cast<uint64_t>(static_cast<int64_t>((0.1 - tickDue) * rate));
        const int64_t now = 50000000;
        const int64_t frameStart = now - static_cast<int64_t>(c.frameTook * rate);
        const int64_t lastInput = now - static_cast<int64_t>(c.inputAgo * rate);
        int wait = Game_MillisecondsToNextFrame(&game, frameStart, now, lastInput);
        EXPECT_NEAR(wait, c.expect, 1);
    }
}

// The render frame draws between the last two ticks: the tick factor runs
// from 0 at the newer tick to 1 one tick period later, the drawn game time
// and a moving frame's drawn position with it; a paused game and one at
// speed 0 draw the tick they stand on.
TEST_F(FrameTest, TheSceneIsDrawnBetweenTheLastTwoTicks) {
    CE3DCamera root(nullptr);
    game.CreateWorld(&root);
    game.NetGame()->m_hosting = 1;
    game.NetGame()->m_tickLead = 0.1f;
    game.SetGuiWord(0);
    game.SetGameState(2);
    CGameClock* clock = game.Clock();
    const uint64_t period = clock->m_tickPeriod;
    CE3DFrame* mover = new CE3DFrame(&root);  // the root deletes it
    // Frames of an eighth of a period until the one that runs a tick.
    auto frameWithATick = [&] {
        const uint64_t before = game.Ticks();
        for (int frames = 0; frames < 40 && game.Ticks() == before; ++frames) {
            counter.now += period / 8;
            game.RenderFrame();
        }
        ASSERT_EQ(game.Ticks(), before + 1);
    };
    auto drawnX = [&] {
        mover->m_flagsA &= uint8_t(~kFrameNotUpdated);
        int depth = 0;
        root.UpdateRenderMatrix(&depth);
        return mover->m_render.m[3][0];
    };
    mover->SetPosition(0, 0, 0);
    frameWithATick();
    mover->SetPosition(8, 0, 0);
    frameWithATick();
    const int64_t newer = int64_t(clock->m_gameTime);
    // The frame of the tick: the real time has not moved on since it.
    EXPECT_NEAR(game.TickFactor(), 0.0f, 1e-6f);
    EXPECT_EQ(game.DrawnGameTime(), newer - int64_t(period));
    EXPECT_NEAR(drawnX(), 0.0f, 1e-4f);
    // Three frames a quarter of a period apart, before the next tick.
    for (int quarter = 1; quarter <= 3; ++quarter) {
        SCOPED_TRACE(quarter);
        counter.now += period / 4;
        const uint64_t ticks = game.Ticks();
        game.RenderFrame();
        ASSERT_EQ(game.Ticks(), ticks);
        EXPECT_NEAR(game.TickFactor(), quarter / 4.0f, 1e-4f);
        EXPECT_NEAR(double(game.DrawnGameTime()),
                    double(newer - int64_t(period) + int64_t(quarter * period / 4)), 2.0);
        EXPECT_NEAR(drawnX(), 2.0f * quarter, 1e-3f);
    }
    // Long after the newer tick (and before the next one falls due, a tick
    // lead being more than a period): the newer tick, never past it.
    game.NetGame()->m_tickLead = 1.0f;
    counter.now += period;
    game.RenderFrame();
    EXPECT_FLOAT_EQ(game.TickFactor(), 1.0f);
    EXPECT_EQ(game.DrawnGameTime(), newer);
    EXPECT_NEAR(drawnX(), 8.0f, 1e-4f);

    // A new tick, then the game stands: it draws that tick, not the one
    // before it nor anything between.
    game.NetGame()->m_tickLead = 0.1f;
    mover->SetPosition(16, 0, 0);
    frameWithATick();
    const int64_t standing = int64_t(clock->m_gameTime);
    for (int stands = 0; stands < 2; ++stands) {
        SCOPED_TRACE(stands ? "speed 0" : "paused");
        clock->m_frozen = stands == 0;
        clock->m_speedFactor = stands ? 0.0f : 1.0f;
        counter.now += period / 4;
        game.RenderFrame();
        EXPECT_FLOAT_EQ(game.TickFactor(), 1.0f);
        EXPECT_EQ(game.DrawnGameTime(), standing);
        EXPECT_NEAR(drawnX(), 16.0f, 1e-4f);
        EXPECT_EQ(int64_t(clock->m_gameTime), standing);
    }
    game.DeleteWorld();
}

// However fast the game runs, a drawn frame runs every tick that has fallen
// due since the one before, each a whole tick of 1/15 s of game time, and no
// speed of the host's is bounded by one of ours.
TEST_F(FrameTest, AFastGameRunsEveryDueTickBetweenTwoDrawnFrames) {
    CE3DCamera root(nullptr);
    game.CreateWorld(&root);
    game.NetGame()->m_hosting = 1;
    game.NetGame()->m_tickLead = 0.1f;
    game.SetGuiWord(0);
    game.SetGameState(2);
    CGameClock* clock = game.Clock();
    game.NetGame()->SetSpeedFactor(200.0f);  // srv_GameSpeed(200): the host's speed control keeps it
    clock->m_speedFactor = 200.0f;
    const uint64_t period = clock->m_tickPeriod;
    ASSERT_EQ(period, 79545u);
    counter.now += 1193182 / 2;  // half a second: a hundred game seconds
    const uint64_t gameTime = clock->m_gameTime, ticks = game.Ticks(), frames = game.RenderFrames();
    game.RenderFrame();
    EXPECT_EQ(game.RenderFrames(), frames + 1);
    // 100 s at 15 ticks a second, less the tick lead still ahead.
    const uint64_t ran = game.Ticks() - ticks;
    EXPECT_GE(ran, 1497u);
    EXPECT_LE(ran, 1500u);
    EXPECT_EQ(clock->m_gameTime - gameTime, ran * period);
    EXPECT_EQ(clock->m_tickPeriod, period);
    EXPECT_FLOAT_EQ(clock->m_tickRate, 15.0f);
    // What was due has run: the next frame at once runs none.
    game.RenderFrame();
    EXPECT_EQ(game.Ticks() - ticks, ran);
    // A fixed-rate capture runs one tick a frame, whatever is due.
    game.SetCaptureMode(2);
    game.SetCaptureRate(30.0f);
    counter.now += 1193182;
    EXPECT_EQ(game.RunDueTicks(), 1);
    game.SetCaptureMode(0);
    game.DeleteWorld();
}

// A skirmish player who lost while two others play on is asked, three
// seconds after the loss, whether to watch: a yes lets the player watch
// and the game goes on until one opponent is left; a no finishes the game.
void FrameTest::LoseWithTwoStillPlayingAndAnswer(bool yes) {
    game.CreateWorld(nullptr);
    HostWithoutLead();
    game.Variables().gameType = 1;
    CPlayer* first = game.NetGame()->AddPlayer("first");
    game.NetGame()->AddPlayer("second");
    CGameScene& scene = *game.Scene();
    CInterface* ui = game.Interface();
    scene.LooseGame = 1;
    const int ticks = TickUntil([&] { return ui->m_mode == 4; }, 100);
    EXPECT_GE(ticks, 45);
    EXPECT_LE(ticks, 47);
    EXPECT_STREQ(ui->m_confirmMessage.GetText(), ui->GetSystemText(303));
    EXPECT_STREQ(ui->m_confirmButtons[0].GetText(), ui->GetSystemText(3));
    EXPECT_EQ(ui->m_confirmPresent[1], 0);
    EXPECT_STREQ(ui->m_confirmButtons[2].GetText(), ui->GetSystemText(4));
    // Unanswered, the game goes on.
    TickUntil([] { return false; }, 30);
    EXPECT_EQ(ui->m_mode, 4);
    EXPECT_FALSE(scene.Finished());
    EXPECT_FALSE(scene.Watching());
    // The player presses a button of the dialog on a 640 x 480 screen.
    ui->m_cursorX = yes ? 220 : 400;
    ui->m_cursorY = 285;
    ui->ConfirmHoverAt(640, 480);
    ui->ConfirmPress();
    TickUntil([] { return false; }, 1);
    EXPECT_EQ(ui->m_mode, 0);
    EXPECT_EQ(scene.Watching(), yes);
    EXPECT_EQ(scene.Finished(), !yes);
    if (yes) {
        // Watching: the game goes on while two play, finishes with one.
        TickUntil([] { return false; }, 30);
        EXPECT_FALSE(scene.Finished());
        EXPECT_EQ(ui->m_mode, 0);
        first->m_outOfGame = 1;
        TickUntil([] { return false; }, 1);
        EXPECT_TRUE(scene.Finished());
    }
    game.DeleteWorld();
}

TEST_F(FrameTest, ALostPlayerIsAskedToWatchAndAYesWatchesTheOthers) {
    LoseWithTwoStillPlayingAndAnswer(true);
}

TEST_F(FrameTest, ALostPlayerIsAskedToWatchAndANoFinishesTheGame) {
    LoseWithTwoStillPlayingAndAnswer(false);
}

// The finish mark the server waits for is answered in the tick that makes
// its frame current, not a drawn frame later.
TEST_F(FrameTest, TheTickAnswersTheFinishMarkOfTheFrameItMadeCurrent) {
    game.CreateWorld(nullptr);
    HostWithoutLead();
    CNetGame* net = game.NetGame();
    const uint16_t next = uint16_t(net->m_frameTable->GetCurrentNumber() + 1);
    net->m_awaitedFinishMark = next;
    ASSERT_EQ(TickUntil([] { return false; }, 1), 1);
    EXPECT_EQ(net->m_frameTable->GetCurrentNumber(), next);
    EXPECT_EQ(net->m_awaitedFinishMark, -1);
    EXPECT_EQ(net->m_finishReply, next);
    game.DeleteWorld();
}

// A screenshot that cannot be taken (here no screen to read) says so, and
// names the file it was meant for.
TEST_F(FrameTest, AFailedScreenshotSaysSoAndNamesItsFile) {
    CTempDir dir;
    game.SetRootDir(dir.Win().c_str());
    std::vector<std::string> lines;
    KeepRedLines(&lines);
    game.SetGuiWord(0);
    game.SetGameState(2);
    game.SetCaptureMode(1);
    game.RenderFrame();
    EXPECT_EQ(game.CaptureMode(), 0);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "Failed to save screenshot");
    EXPECT_EQ(lines.back(), dir.Win() + "\\ScreenCaptures\\Screen000000.bmp");
}

// A client in a resync does not tick. Once it has waited the whole time-out
// it says where it is: that the units it still expected came (GOTALLUNITS),
// else that it has finished (SYNCFINISHED), else (having said both) it goes
// back to its frames. A stall of this machine starts the wait again; so
// does the resync's end for the frame that stood through it.
TEST_F(FrameTest, AClientInAResyncSaysWhereItIsOnceItsWaitRunsOut) {
    CRawEndpoint server;
    CNetGame* net = game.NetGame();
    net->m_clientPort = 0;
    ASSERT_TRUE(net->Connect(Net_FormatAddress(server.Address()).c_str()));
    game.SetGuiWord(0);
    game.SetGameState(2);
    CGameClock* clock = game.Clock();
    auto frame = [&] {
        counter.now += clock->m_tickPeriod + (uint64_t)(0.5 * 1193182.0);
        game.LogicTick();
    };
    SentTo(server);  // its CONNECT
    const struct {
        const char* what;
        int32_t state;
        uint32_t requests, answers;
        uint8_t stalled;
        std::vector<uint16_t> sends;
        int32_t stateAfter;
        uint32_t requestsAfter;
    } cases[] = {
        {"units still expected", 1, 3, 2, 0, {NS_NOTIFYTYPE_SYNC_GOTALLUNITS}, 1, 2},
        {"every unit came", 1, 2, 2, 0, {NS_NOTIFYTYPE_SYNC_SYNCFINISHED}, 1, 2},
        {"finished, the end never came", 2, 2, 2, 0, {}, 0, 2},
        {"this machine stalled", 1, 3, 2, 1, {}, 1, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        net->m_syncState = c.state;
        net->m_syncRequests = c.requests;
        net->m_syncAnswers = c.answers;
        net->m_touchTime = c.stalled;
        net->RestartFrameCountdown(-1.0f);
        const uint64_t start = clock->m_gameTime;
        frame();
        EXPECT_EQ(clock->m_gameTime, start);  // no tick
        EXPECT_EQ(SentTo(server), c.sends);
        EXPECT_EQ(net->m_syncState, c.stateAfter);
        EXPECT_EQ(net->m_syncRequests, c.requestsAfter);
        EXPECT_EQ(net->m_touchTime, 0);
        EXPECT_FLOAT_EQ(net->FrameCountdown(), game.FrameTimeout());  // the wait starts again
    }

    // Two seconds without the network served: a stall, not the server's
    // silence.
    counter.now += 2 * 1193182;
    net->Update(1);
    EXPECT_EQ(net->m_touchTime, 1);
    net->m_touchTime = 0;

    // A frame short of its messages that stood through the resync: its wait
    // counts from the resync's end, so it is asked for only once it is late
    // from there.
    net->m_syncState = 0;
    game.SetFrameTimeout(0.3f);
    NWEFrameTable& table = *net->m_frameTable;
    NWEFrame* rec = table.Current();
    rec->SetExpected(2);
    table.Release(rec);
    counter.now += 1193182;  // the resync took a second
    net->m_touchTimeAfterSync = 1;
    frame();
    EXPECT_EQ(net->m_askForFrame, 0xFFFF);
    EXPECT_EQ(net->m_touchTimeAfterSync, 0);
    frame();
    EXPECT_EQ(net->m_askForFrame, 0xFF01);
}

// The copies the map editor asked for (M_DAS: map ids after the highest) are
// marked by the ticks as they arrive and everything else unmarked, until the
// last of them is there; then the player's marking is the player's again.
TEST_F(FrameTest, TheTicksMarkTheMapEditorsCopiesAsTheyArrive) {
    CE3DCamera root(nullptr);
    game.CreateWorld(&root);
    CGameScene& scene = *game.Scene();
    scene.m_DevmapMode = 1;  // the world itself stands
    HostWithoutLead();
    auto add = [&](int32_t mapId) {
        CTessarakObject* o = new CTessarakObject(&scene, nullptr, &root, nullptr, 1, nullptr, 10 + mapId);
        o->m_mapId = mapId;
        return o;
    };
    auto marked = [](const CTessarakObject* o) { return (o->m_stateA & CTessarakObject::kA_Selected) != 0; };
    CTessarakObject* first = add(1);
    CTessarakObject* second = add(2);
    first->HandleMessage(CTessarakObject::kMsgSelect, 0);
    game.SetHighlightRange(2, 4);
    ASSERT_EQ(TickUntil([] { return false; }, 1), 1);
    EXPECT_FALSE(marked(first));
    EXPECT_FALSE(marked(second));
    EXPECT_EQ(game.HighlightStart(), 2);
    CTessarakObject* copy = add(3);
    TickUntil([] { return false; }, 1);
    EXPECT_TRUE(marked(copy));
    EXPECT_EQ(game.HighlightStart(), 2);
    CTessarakObject* last = add(4);
    TickUntil([] { return false; }, 1);
    EXPECT_TRUE(marked(copy));
    EXPECT_TRUE(marked(last));
    EXPECT_FALSE(marked(second));
    EXPECT_EQ(game.HighlightStart(), -1);
    first->HandleMessage(CTessarakObject::kMsgSelect, 0);
    TickUntil([] { return false; }, 1);
    EXPECT_TRUE(marked(first));
    game.DeleteWorld();
}

// Each render frame tells the view how far the screen reaches past the
// 640 x 480 the layouts are made for.
TEST_F(FrameTest, TheLayoutOffsetsFollowTheScreensSize) {
    CD3DRecorder rec;
    DDraw_SetFactory(&rec);
    CGameView* view = new CGameView(&game, 0);
    game.SetGameView(view);
    view->Settings().windowed = 1;
    view->Settings().width = 800;
    view->Settings().height = 600;
    ASSERT_TRUE(view->ChooseDisplay());
    game.SetGuiWord(0);
    game.SetGameState(2);
    game.RenderFrame();
    EXPECT_EQ(view->m_viewOffsetX, 160);
    EXPECT_EQ(view->m_viewOffsetY, 120);
    game.SetGameView(nullptr);
    delete view;
    DDraw_SetFactory(nullptr);
}
