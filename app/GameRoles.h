// The game's roles: the narrow interfaces through which the layers below
// the application reach the game, each answered from the subsystem that
// owns its concern. The game object makes one CGameRoles first thing and
// hands each layer the roles it needs when it makes that layer:
//
//   the world (CWorld, world/WorldRoles.h): console and scripts, files,
//     time (the game clock), sending orders (the network game's sender),
//     the view (camera shakes, the player's events), sound, the session;
//   the network game (CNetGame, netgame/NetGameRoles.h): console, files,
//     the lockstep clock, the session (IGameFlow: CGame itself) and the
//     map load (IMapLoader: CGame itself);
//   the interface (CInterface, ui/InterfaceRoles.h): files, the screen,
//     the console's clock and interpreter, the state words and order modes,
//     and the GUI's own (app/GameInterface.cpp): the game as the GUI sees it
//     and the GUI's sound banks.
//
// None of them is a global: a layer keeps the pointers it was given.
#pragma once

#include <memory>

#include "netgame/NetGameRoles.h"
#include "ui/InterfaceRoles.h"
#include "world/WorldRoles.h"

class CGame;

class CGameRoles {
public:
    explicit CGameRoles(CGame& game);
    ~CGameRoles();
    CGameRoles(const CGameRoles&) = delete;
    CGameRoles& operator=(const CGameRoles&) = delete;

    // The world's roles; sender: the session's sending role (null before the
    // network game exists).
    SWorldRoles World(IOrderSender* sender) const;
    SNetRoles Net() const;
    SInterfaceRoles Interface() const;

    IWorldConsole& Console() const;
    IWorldFiles& Files() const;

private:
    struct SParts;
    std::unique_ptr<SParts> m_parts;
};
