// The interface's figures, in the real game started in a temporary
// installation at its main menu (run under an X server for the window's
// figures, xvfb-run -a ..., or with SDL_VIDEODRIVER=offscreen):
//  - the main menu's first frame: from the start of the program to the end
//    of the first frame that drew the main menu (the counter first_menu_ms);
//  - loading the demo GUI packfile with its pictures and fonts (g_Load);
//  - the interface's update and draw of one frame on each demo screen (the
//    menus every layer each frame, the in-game screen from its own surface,
//    and drawn again after a change), and on a screen of 500 objects;
//  - the lobby's frame with 8 players and 50 maps listed (its lists are
//    filled again every frame: the players, the map folders, the settings).
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <vector>

#include "bench/support/BenchGame.h"
#include "netgame/NetGame.h"
#include "platform/display/Display.h"
#include "tools/lib/GUIPackWriter.h"
#include "ui/GUIObject.h"
#include "ui/Interface.h"
#include "world/Player.h"

namespace {

constexpr int kDemoMaps = 2;

// The game at its main menu: frames until one has drawn it.
struct SGame : SBenchGame {
    double firstMenuMs = 0.0;

    // The installation has 50 maps: the demo's and copies of Skerry.
    SGame()
        : SBenchGame(true, [](const std::string& dir) {
              for (int i = 0; i < 50 - kDemoMaps; ++i)
                  std::filesystem::copy(dir + "/Tessarak/Maps/Skerry",
                                        dir + "/Tessarak/Maps/Bench" + std::to_string(100 + i),
                                        std::filesystem::copy_options::recursive);
          }) {
        CInterface* ui = UI();
        for (int i = 0; ui && i < 1000; ++i) {
            Display_PumpEvents();
            app->OnIdle(0);
            if (ui->m_GUIRoot && ui->m_activeGUI == 1 && ui->m_lastActiveGUI) break;
        }
        firstMenuMs = Elapsed();
    }
    CInterface* UI() { return app && g_pGame ? g_pGame->Interface() : nullptr; }
};

SGame& Game() {
    static SGame game;
    return game;
}

void BM_FirstMenuFrame(benchmark::State& state) {
    SGame& g = Game();
    if (!g.UI() || !g.UI()->m_lastActiveGUI) return state.SkipWithError("the game did not reach its menu");
    for (auto _ : state) benchmark::DoNotOptimize(g.firstMenuMs);
    state.counters["startup_ms"] = g.startupMs;
    state.counters["first_menu_ms"] = g.firstMenuMs;
}
BENCHMARK(BM_FirstMenuFrame)->Iterations(1);

void BM_LoadDemoPackfile(benchmark::State& state) {
    SGame& g = Game();
    CInterface* ui = g.UI();
    if (!ui) return state.SkipWithError("the game did not start");
    for (auto _ : state)
        if (!ui->LoadGUI("Demo.gui")) return state.SkipWithError("Demo.gui did not load");
    ui->IdentifyPanels();
}
BENCHMARK(BM_LoadDemoPackfile)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// One frame of the interface on a screen: a menu screen at its place on the
// back buffer, or (running) the in-game screen of a game under way.
void Frame(benchmark::State& state, int32_t screen, bool running, bool changed) {
    SGame& g = Game();
    CInterface* ui = g.UI();
    if (!ui || !ui->m_GUIRoot) return state.SkipWithError("no interface");
    const int32_t guiWord = g_pGame->GuiWord();
    if (running) g_pGame->SetGuiWord(0);
    ui->m_MenuGUIId = screen;
    ui->UpdateGUIContext();
    ui->Update(running ? 1 : 0, 0);  // the lists refilled, the surfaces made
    for (auto _ : state) {
        if (changed) ui->m_GUIChanged = 1;
        ui->Update(running ? 1 : 0, 0);
    }
    g_pGame->SetGuiWord(guiWord);
    state.counters["objects"] = 0;
    if (CGUIObject* s = ui->FindActiveGUI()) {
        std::vector<CGUIObject*> walk{s};
        int n = 0;
        while (!walk.empty()) {
            CGUIObject* o = walk.back();
            walk.pop_back();
            ++n;
            walk.insert(walk.end(), o->m_Children.begin(), o->m_Children.end());
        }
        state.counters["objects"] = n;
    }
}

void BM_MainMenuFrame(benchmark::State& state) {
    Frame(state, 1, false, false);
}
void BM_LobbyFrame(benchmark::State& state) {
    Frame(state, 600, false, false);
}
void BM_InGameFrame(benchmark::State& state) {
    Frame(state, 1000, true, false);
}
void BM_InGameFrameChanged(benchmark::State& state) {
    Frame(state, 1000, true, true);
}
// The lobby of a game of eight: seven players more than the local one.
void BM_LobbyFrameEightPlayers(benchmark::State& state) {
    CNetGame* net = Game().UI() ? g_pGame->NetGame() : nullptr;
    if (!net) return state.SkipWithError("no network game");
    static bool added = false;
    for (int i = 0; !added && i < 7; ++i) net->AddPlayer(("Player " + std::to_string(i + 2)).c_str());
    added = true;
    Frame(state, 600, false, false);
    int players = 0;
    for (CPlayer* p : net->m_players.m_players) players += p != net->m_players.m_neutral;
    state.counters["players"] = players;
    state.counters["maps"] = double(Game().UI()->m_mapNames.size());
}
BENCHMARK(BM_MainMenuFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LobbyFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LobbyFrameEightPlayers)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_InGameFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_InGameFrameChanged)->Unit(benchmark::kMicrosecond);

// A screen of 500 objects: 20 panels, each with a text button, a text and
// 22 small pictures (the demo's marks) below it; appended to the demo.
void BM_FiveHundredObjects(benchmark::State& state) {
    SGame& g = Game();
    CInterface* ui = g.UI();
    if (!ui || !ui->m_GUIRoot) return state.SkipWithError("no interface");
    static bool appended = false;
    if (!appended) {
        SGUIPack pack;
        pack.root.ownsResources = 1;
        pack.root.kind = -1;
        SGUIObjectRecord screen;
        screen.ownsResources = 1;
        screen.guiId = 77;
        screen.kind = 3;
        screen.layer = 0;
        screen.resources = {{"mark", 1}, {"menu_panel", 2}};
        for (int p = 0; p < 20; ++p) {
            SGUIObjectRecord panel;
            panel.kind = 0;
            panel.bitmapId = 2;
            panel.layer = 1;
            panel.x = (p % 5) * 124;
            panel.y = (p / 5) * 118;
            SGUIObjectRecord button;
            button.kind = 2;
            button.layer = 2;
            button.stateBitmapIds[0] = button.stateBitmapIds[1] = button.stateBitmapIds[2] = 1;
            button.textLines = {"     Button"};
            button.fontName = "Arial";
            button.fontHeight = 14;
            button.fontWidth = 0;
            panel.children.push_back(button);
            SGUIObjectRecord text = button;
            text.kind = 3;
            text.y = 20;
            text.textLines = {"A line of text"};
            panel.children.push_back(text);
            for (int i = 0; i < 22; ++i) {
                SGUIObjectRecord mark;
                mark.kind = 0;
                mark.bitmapId = 1;
                mark.layer = 2;
                mark.x = 4 + (i % 7) * 16;
                mark.y = 44 + (i / 7) * 16;
                panel.children.push_back(mark);
            }
            screen.children.push_back(panel);
        }
        pack.root.children.push_back(screen);
        if (!ui->LoadGUIPack(pack, "bench", true)) return state.SkipWithError("the screen did not load");
        appended = true;
    }
    Frame(state, 77, false, false);
}
BENCHMARK(BM_FiveHundredObjects)->Unit(benchmark::kMicrosecond);

}  // namespace
