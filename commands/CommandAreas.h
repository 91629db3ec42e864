// The console commands of every area, handed to the game.
//
// The commands sit above the game object: the game never calls into them.
// The program installs them once, before it makes the game object; the game's
// interpreter then enters the script-flow commands as soon as it exists and
// every other area when start-up registers all commands.
#pragma once

void Commands_Install();
