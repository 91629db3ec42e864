// The game's own printing and script helpers.
//
// Start-up, shutdown and the frames print their progress on the console in
// white without screen echo, and every console line also goes to standard
// output, so that a player who starts the game from a terminal (and a test)
// can read what it did. These few calls are the game object's road to the
// console, the command interpreter and the drawing of text.
#pragma once

class CE3DSurface;

// One white console line, appended, not echoed.
void Game_Print(const char* text);
void Game_Printf(const char* fmt, ...);
// Prints in colour; echo also shows the line as a timed screen message.
void Game_PrintColor(int r, int g, int b, bool echo, const char* fmt, ...);
// Prints and draws the console at once (start-up runs before any frame).
void Game_PrintAndRender(const char* text);
// Runs a script from the Scripts folder; false when it was not found.
bool Game_RunScript(const char* name);
// Writes the configuration scripts under Scripts\Config.
void Game_SaveConfigFiles();
// Draws one line of text on a surface with its current font; a negative x
// counts from the surface's right edge.
void Game_DrawSurfaceText(CE3DSurface* surface, const char* text, int x, int y, int r, int g, int b);
