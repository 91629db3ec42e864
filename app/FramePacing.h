// The main loop's pace: how long it waits after a frame before the next.
//
// A running game draws at most ge_MaxFPS frames a second (60 by default),
// each frame running every logic tick that fell due since the one before, so
// however fast the game runs the screen is drawn no more often than that.
// Menus and the lobby (the interface frames) do too while the player is at
// the keys or the mouse or a video plays; left alone for a second they run a
// frame when a logic tick falls due (15 a second), and ten a second when no
// game clock runs, which keeps their lockstep frames, their texts and their
// sound going. With ge_MainSleep every frame takes 40 ms at least. Between
// frames the loop waits for the system's events (input, the window) and
// hands them on; a game behind its ticks waits only for the frame's time. A
// loop that spun cost a core to draw the same picture again and again.
#pragma once

#include <cstdint>

class CGame;

// The milliseconds to wait after a frame that began at frameStart before the
// next one, at now, the last input having come at lastInput (all three on
// the performance counter, Sys_QueryPerformanceCounter); 0 when the next
// frame is due.
int Game_MillisecondsToNextFrame(CGame* game, int64_t frameStart, int64_t now, int64_t lastInput);
