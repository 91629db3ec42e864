// The game's roles for its interface: the game as the GUI sees it, the GUI's
// sound banks on the sound engine and the progress stack's top entry for the
// load screen.
#pragma once

class CInterface;

void Game_ConnectInterface(CInterface* ui);
