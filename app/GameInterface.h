// The game's two roles for its interface's GUI (ui/GUIRoles.h,
// ui/GUISound.h): the game as the GUI sees it, and the GUI's sound banks on
// the sound engine. CGameRoles makes them with the others.
#pragma once

#include <memory>

class CGame;
class IGUIGame;
class IGUISound;

std::unique_ptr<IGUIGame> Game_NewGUIGame(CGame& game);
std::unique_ptr<IGUISound> Game_NewGUISound(CGame& game);
