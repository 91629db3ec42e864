// The content builder's map sources: "visual.toml" of a map box becomes the
// box's "visual.bin" (the map objects file the game loads with every map).
//
//   start = [[x, z], ...]                      # the players' start positions
//   layers = [h0, h1, ...]                     # heights of layers 0, 1, ... (optional)
//   [[fill]]                                   # a grid of one template, edge to edge
//   template = "Ground_Grass"; from = [x, z]; to = [x, z]; step = 16.0
//   [[object]]                                 # objects of one template
//   template = "Rock_Large"; at = [[x, z], ...]; heading = 0.0; layer = 0; owner = 0
//
// Templates are named; the project gives their id pairs. Every object gets
// the next map id (from 1) in the order written; the spot template
// ("Game_Resource_Spot") is written as the spot kind.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/lib/PackedProjectWriter.h"

// False with a message naming the file (and line) at the first error.
bool MapSource_Build(const std::string& tomlPath, const SPackedProject& project, std::vector<uint8_t>& out,
                     std::string& error);
