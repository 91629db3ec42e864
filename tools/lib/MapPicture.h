// The picture of a map from above, for its radar: the content builder draws
// it from the map box's sources and the build makes it the box's
// "radar.bik" (a one-frame video the game decodes by content).
//
// Two pixels per map square: a map of W x H squares (init.vxm's
// M_SetGameSceneRect(W, H)) gives a picture of 2W x 2H, its top row the
// map's north edge (z = H / 2), its left column the west edge (x = -W / 2),
// as the radar reads it. visual.toml's ground fills are squares of their
// step around each place; rocks, trees and crystal fields are discs, in the
// colours of world/MapPicture.h (the map editor's export draws the same).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "world/MapPicture.h"

// False with a message naming the file (and line) at the first error.
bool MapPicture_Render(const std::string& mapBoxFolder, SMapPicture& out, std::string& error);
// A binary PPM (P6) of the picture.
std::vector<uint8_t> MapPicture_PPM(const SMapPicture& picture);
