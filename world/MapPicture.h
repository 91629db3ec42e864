// The picture of a map from above, as its radar and the lobby show it: two
// pixels a map square, the top row the map's north edge (z = depth / 2), the
// left column its west edge (x = -width / 2). Ground tiles are squares of
// their size, rocks, trees and crystal fields discs; each known template has
// its colour, a ground of another template is dark olive, another object
// grey. The content builder draws it from a map's sources; the map editor's
// export from the scene as it was edited.
#pragma once

#include <cstdint>
#include <vector>

class CGameScene;

struct SMapPicture {
    int32_t width = 0, height = 0;
    std::vector<uint8_t> rgb;  // top row first
};

// A black picture of a map of the squares given (1 to 2048 each; false
// otherwise, the picture left empty).
bool MapPicture_Start(SMapPicture& p, int32_t squaresWide, int32_t squaresDeep);
// A ground tile of the template, centred at (x, z), half its side wide.
void MapPicture_PaintGround(SMapPicture& p, const char* templateName, float x, float z, float half);
// An object of the template standing at (x, z): its disc.
void MapPicture_PaintObject(SMapPicture& p, const char* templateName, float x, float z);
// The scene's map as it stands: its ground tiles first, then what stands on
// them; the players' units are left out (a map's picture shows the land).
bool MapPicture_FromScene(const CGameScene& scene, int32_t squaresWide, int32_t squaresDeep,
                          SMapPicture& out);
// The picture cut down (or grown) to width x height by the nearest pixel.
SMapPicture MapPicture_Scaled(const SMapPicture& p, int32_t width, int32_t height);
