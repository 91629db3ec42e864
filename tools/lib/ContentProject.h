// The content builder's reading of a packed project's text sources.
//
// A source folder holds "project.toml" (the project's id, texts, child
// projects, textures and materials) and any number of further ".toml" files
// with the templates, read in path order; meshes in Wavefront OBJ files are
// named relative to the folder. content/README.md describes every table and
// key for modders. The result is the description that PackedProject_Build
// turns into the file the game reads: textures generated from their
// parameters, simple solids generated as shapes, node ids given where the
// source leaves them out (a CRC-32 of the node's path of names, so they stay
// the same from build to build).
#pragma once

#include <string>
#include <vector>

#include "tools/lib/PackedProjectWriter.h"

struct SPackedDIB;

struct SContentBuild {
    SPackedProject project;
    std::vector<SPackedDIB*> images;  // the generated pictures, owned
    SContentBuild() = default;
    SContentBuild(const SContentBuild&) = delete;
    SContentBuild& operator=(const SContentBuild&) = delete;
    ~SContentBuild();
};

// False with a message naming the file (and line) at the first error.
bool ContentProject_Load(const std::string& folder, SContentBuild& out, std::string& error);

// The texture generator on its own: a 24-bit picture of width x height from a
// base colour (0xRRGGBB), value noise of an amplitude (0 to 1) with a seed,
// stripes and a team-colour mask band (drawn white, so a part tinted with its
// owner's colour shows the colour in full there). Null when a size is out of
// range (1 to 1024).
struct STextureRecipe {
    int width = 64, height = 64;
    uint32_t colour = 0x808080;
    float noise = 0.0f;
    uint32_t seed = 1;
    int stripes = 0;  // number of stripes across the texture (0: none)
    float stripeWidth = 0.5f;
    uint32_t stripeColour = 0x000000;
    bool stripesVertical = false;
    float maskFrom = 0.0f, maskTo = 0.0f;  // band of the height (or width) in 0..1; empty: none
    bool maskVertical = false;
    float border = 0.0f;  // dark frame around the edge, as a share of the side
};
SPackedDIB* ContentProject_MakeTexture(const STextureRecipe& recipe);
// The alpha picture of a round texture: grey levels (the alpha) from 255 at
// the centre falling smoothly to 0 at the inscribed circle and outside it.
SPackedDIB* ContentProject_MakeRoundAlpha(int width, int height);
