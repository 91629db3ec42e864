// The game's console and its commands for tests that run console commands
// without a display. Start gives the game an interface whose console keeps
// every line it prints in `lines`, installs the console commands and
// registers them on the input manager's interpreter; Stop takes the input
// manager and the interface down again. Give the game what the commands
// reach (the world, the network game) before Start.
#pragma once

#include <string>
#include <vector>

#include "app/Game.h"
#include "app/GameClock.h"
#include "app/GameRoles.h"
#include "app/GameServices.h"
#include "app/InputManager.h"
#include "commands/CommandAreas.h"
#include "console/CommandInterpreter.h"
#include "netgame/NetGame.h"
#include "ui/Interface.h"

class CCommandConsole {
public:
    CCommandInterpreter* Start(CGame& game) {
        m_game = &game;
        game.SetInterface(new CInterface(game.Roles().Interface()));
        game.ConnectWorld();
        game.Interface()->m_console.Init(500, 17, 8);
        game.Interface()->m_console.SetLineSink(
            [](void* user, const char* text, int, int, int, bool) {
                static_cast<CCommandConsole*>(user)->lines.push_back(text);
            },
            this);
        Commands_Install();
        Game_CreateInput(&game);
        m_ip = game.InputManager()->Interpreter();
        m_ip->RegisterAllCommands();
        return m_ip;
    }
    void Stop() {
        if (!m_game) return;
        Game_DeleteInput(m_game);
        delete m_game->Interface();
        m_game->SetInterface(nullptr);
        m_game = nullptr;
        m_ip = nullptr;
    }
    // The console lines a statement printed.
    std::vector<std::string> Run(const char* text) {
        lines.clear();
        m_ip->Execute(false, text);
        return lines;
    }

    std::vector<std::string> lines;

private:
    CGame* m_game = nullptr;
    CCommandInterpreter* m_ip = nullptr;
};

// A game for the command tests: its root folder, a clock and a network game
// (a local game: it hosts).
class CCommandGame {
public:
    explicit CCommandGame(const char* rootDir) {
        game.SetRootDir(rootDir);
        game.SetClock(new CGameClock);
        net = new CNetGame(game.Roles().Net());
        game.SetNetGame(net);
    }
    ~CCommandGame() {
        delete net;
        game.SetNetGame(nullptr);
        delete game.Clock();
        game.SetClock(nullptr);
    }
    CCommandGame(const CCommandGame&) = delete;
    CCommandGame& operator=(const CCommandGame&) = delete;

    CGame game{nullptr, "No datafile"};
    CNetGame* net = nullptr;
};
