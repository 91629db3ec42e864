// The debug area of the command set: a screenshot, a recording of the game
// view as a video at a frame rate of its own (the game's clock then steps by
// the frame period, so the video shows game time at its rate), the local
// time, and a report of two network record sizes. The render frame takes
// the pictures (CGame::CaptureFrame).
#pragma once

class CCommandInterpreter;

void RegisterDebugCommands(CCommandInterpreter* interpreter);
