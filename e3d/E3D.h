// The 3D engine.
//
// E3D draws the game: CE3DEngine is its root and lists the machine's display
// drivers; a CE3DScreen opens one driver windowed or full screen, keeps the
// Direct3D-shaped devices of that driver with one current device, and owns
// everything that lives on the display (surfaces, fonts, materials, textures,
// cameras, videos). Each frame the game renders its viewports (CE3DViewport:
// a rectangle, a view and a camera) through the current device, draws its
// interface in software onto the locked back buffer, and presents the screen.
// The device keeps a cache of render and texture-stage states so that callers
// set only what changed. When the display mode changes every display object
// is released and re-created, and textures and pictures reload themselves.
// Failures come back as false or null results; the texts go to E3DTrace,
// which a log or a test can listen to with E3D_SetTraceSink.
#pragma once

#include "e3d/Device.h"
#include "e3d/Engine.h"
#include "e3d/Node.h"
#include "e3d/Screen.h"
#include "e3d/Timer.h"
#include "e3d/Viewport.h"
