// The view area of the command set: the camera of the game view (heading,
// pitch, distance, field of view, the point it looks at, the largest
// visible range, clipping, shake) and the commands that turn, zoom and
// centre it and follow a unit; the radar's scale, portion and switches; the
// scene's sun, ambient light and background colour; the render options of
// the 3D device (cg_); two tests. Visual.cfg keeps the camera and render
// settings.
#pragma once

class CCommandInterpreter;

void RegisterViewCommands(CCommandInterpreter* interpreter);
