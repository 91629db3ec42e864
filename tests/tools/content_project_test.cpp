// The content builder's reading of packed-project sources: what a source
// folder becomes (ids, keys in the order written, parts as blocks with their
// materials and team colour), that every generated solid and OBJ mesh faces
// outward as the engine draws front faces, and that a mistake in the sources
// is refused with the file that holds it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "core/CRC32.h"
#include "core/PackedDIB.h"
#include "e3d/Material.h"
#include "e3d/Shape.h"
#include "e3d/ShapeBlock.h"
#include "netgame/MapFiles.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"
#include "tools/lib/ContentProject.h"
#include "tools/lib/MapSource.h"

namespace {

const char* const kProject = R"(
[project]
id = 7
title = "T"
children = ["Addon"]

[[texture]]
name = "Hull"
size = [8, 4]
colour = "#102030"

[[material]]
name = "Hull"
texture = "Hull"
)";

// Every triangle of every block: the normal of its winding (clockwise seen
// from the front, left-handed) must point away from the centre given and
// agree with the stored vertex normals.
void ExpectOutward(const CE3DShape& shape, const float centre[3], const char* what) {
    for (const CE3DShapeBlock* b = shape.m_blocks; b; b = b->m_next) {
        const std::vector<float>& v = b->m_positions[0];
        for (uint32_t f = 0; f < b->m_faceCount; ++f) {
            const float* p[3];
            for (int k = 0; k < 3; ++k) p[k] = &v[size_t(b->m_indices[f * 3 + uint32_t(k)]) * 6];
            float e1[3], e2[3], n[3], mid[3];
            for (int k = 0; k < 3; ++k) {
                e1[k] = p[1][k] - p[0][k];
                e2[k] = p[2][k] - p[0][k];
                mid[k] = (p[0][k] + p[1][k] + p[2][k]) / 3.0f - centre[k];
            }
            n[0] = e1[1] * e2[2] - e1[2] * e2[1];
            n[1] = e1[2] * e2[0] - e1[0] * e2[2];
            n[2] = e1[0] * e2[1] - e1[1] * e2[0];
            const float out = n[0] * mid[0] + n[1] * mid[1] + n[2] * mid[2];
            const float agree = n[0] * p[0][3] + n[1] * p[0][4] + n[2] * p[0][5];
            ASSERT_GT(out, 0.0f) << what << " face " << f;
            ASSERT_GT(agree, 0.0f) << what << " face " << f;
        }
    }
}

}  // namespace

TEST(ContentProject, SourcesBecomeTheProjectDescription) {
    CTempDir dir;
    ASSERT_TRUE(dir.Write("project.toml", kProject));
    ASSERT_TRUE(dir.Write("units/tank.toml", R"(
[[template]]
name = "Tank"
class = "CUnit"
position = [1, 2, 3]
angles = [90, 0, 0]
parts = [
  { solid = "box", size = [2, 1, 3], material = "Hull" },
  { solid = "cylinder", radius = 0.2, length = 1, axis = "z", team = true },
]
[template.keys]
Speed = 1.5
CanBuildUnit = ["B", "A"]
HasBuildCaps = true
Name = "Tank"

[[template.child]]
name = "Gun"
class = "CUnitWeapon"
id = 99
[[template.child.child]]
name = "FirePoint"
)"));
    SContentBuild build;
    std::string error;
    ASSERT_TRUE(ContentProject_Load(dir.Path(), build, error)) << error;
    const SPackedProject& p = build.project;
    EXPECT_EQ(p.projectId, 7);
    EXPECT_EQ(p.texts[0], "T");
    ASSERT_EQ(p.childFolders.size(), 1u);
    ASSERT_EQ(p.textures.size(), 1u);
    EXPECT_EQ(p.textures[0].width, 8u);
    EXPECT_EQ(p.textures[0].projectId, 7);
    ASSERT_NE(p.textures[0].colorImage, nullptr);
    // The picture's first row is the top of the texture: blue, green, red.
    const uint8_t* top = DIB_Pixels(p.textures[0].colorImage) + 3 * DIB_RowBytes(8, 24);
    EXPECT_EQ(top[0], 0x30);
    EXPECT_EQ(top[2], 0x10);
    ASSERT_EQ(p.materials.size(), 1u);

    ASSERT_EQ(p.templates.size(), 1u);
    const SPackedNode& tank = p.templates[0];
    EXPECT_EQ(tank.classKey, "CUnit");
    EXPECT_EQ(tank.projectId, 7);
    EXPECT_EQ(tank.nodeId, CRC32_Compute("Tank", 4) & 0x7FFFFFFFu);
    EXPECT_FLOAT_EQ(tank.angles[0], 1.5707964f);
    EXPECT_FLOAT_EQ(tank.position[2], 3.0f);
    // Keys in the order written; arrays as repeated keys; true as 1.
    const CPropertyPairs want = {{"Speed", "1.5"},
                                 {"CanBuildUnit", "B"},
                                 {"CanBuildUnit", "A"},
                                 {"HasBuildCaps", "1"},
                                 {"Name", "Tank"}};
    EXPECT_EQ(tank.config, want);
    ASSERT_EQ(tank.children.size(), 1u);
    EXPECT_EQ(tank.children[0].nodeId, 99u);
    ASSERT_EQ(tank.children[0].children.size(), 1u);
    EXPECT_EQ(tank.children[0].children[0].nodeId, CRC32_Compute("Tank/Gun/FirePoint", 18) & 0x7FFFFFFFu);

    // The parts are blocks in the order written: the box with its material,
    // the cylinder with vertex colours for its owner's tint.
    ASSERT_EQ(tank.shape->BlockCount(), 2);
    const CE3DShapeBlock* box = tank.shape->m_blocks;
    const CE3DShapeBlock* cyl = box->m_next;
    EXPECT_EQ(box->m_materialProject, 7);
    EXPECT_EQ(box->m_materialId, 1u);
    EXPECT_EQ(box->m_flags & 0x40u, 0u);
    EXPECT_EQ(cyl->m_flags & 0x40u, 0x40u);
    EXPECT_EQ(cyl->m_materialId, 0u);
    EXPECT_FLOAT_EQ(tank.shape->m_extents[0], 1.0f);
    EXPECT_FLOAT_EQ(tank.shape->m_extents[2], 1.5f);
}

TEST(ContentProject, RoundTexturesAndBlendedMaterials) {
    CTempDir dir;
    ASSERT_TRUE(dir.Write("project.toml", R"(
[project]
id = 2

[[texture]]
name = "Disc"
size = [16, 16]
round = true

[[material]]
name = "Smoke"
texture = "Disc"
blend = "alpha"

[[material]]
name = "Glow"
texture = "Disc"
blend = "add"

[[material]]
name = "Plain"
texture = "Disc"
)"));
    SContentBuild build;
    std::string error;
    ASSERT_TRUE(ContentProject_Load(dir.Path(), build, error)) << error;
    const SPackedTexture& disc = build.project.textures.at(0);
    ASSERT_NE(disc.alphaImage, nullptr);
    EXPECT_EQ(disc.alphaDepth, 8u);
    EXPECT_EQ(disc.wantedDepth, 32u);
    // Opaque in the middle, clear at the corners and the edges' middles,
    // falling all the way out along a row.
    auto alpha = [&](int x, int y) {
        return DIB_Pixels(disc.alphaImage)[size_t(15 - y) * DIB_RowBytes(16, 24) + 3 * x];
    };
    EXPECT_GT(alpha(8, 8), 200);
    EXPECT_EQ(alpha(0, 0), 0);
    EXPECT_LT(alpha(0, 8), 10);
    for (int x = 8; x < 15; ++x) EXPECT_GE(alpha(x, 8), alpha(x + 1, 8)) << x;
    const auto states = [&](int i) {
        return build.project.materials.at(size_t(i)).passes->Passes(1)->m_states;
    };
    EXPECT_EQ(states(0)->m_alphaBlend, 1);
    EXPECT_EQ(states(0)->m_srcBlend, D3DBLEND_SRCALPHA);
    EXPECT_EQ(states(0)->m_destBlend, D3DBLEND_INVSRCALPHA);
    EXPECT_EQ(states(0)->m_zWrite, 0);
    EXPECT_EQ(states(1)->m_destBlend, D3DBLEND_ONE);
    EXPECT_EQ(states(2)->m_alphaBlend, 0);
    EXPECT_EQ(states(2)->m_zWrite, 1);

    ASSERT_TRUE(
        dir.Write("project.toml", "[project]\nid = 2\n[[material]]\nname = \"M\"\nblend = \"multiply\"\n"));
    SContentBuild refused;
    EXPECT_FALSE(ContentProject_Load(dir.Path(), refused, error));
    EXPECT_NE(error.find("blend is"), std::string::npos) << error;
}

TEST(ContentProject, EverySolidFacesOutward) {
    CTempDir dir;
    ASSERT_TRUE(dir.Write("project.toml", "[project]\nid = 1\n"));
    // A tetrahedron as OBJ files hold it: right-handed, anticlockwise fronts.
    ASSERT_TRUE(dir.Write("m/tetra.obj",
                          "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 0 0 1\n"
                          "f 1 3 2\nf 1 2 4\nf 1 4 3\nf 2 3 4\n"));
    ASSERT_TRUE(dir.Write("u.toml", R"(
[[template]]
name = "Box"
parts = [ { solid = "box", size = [2, 3, 4], at = [1, 1, 1], rotate = [30, 20, 10] } ]
[[template]]
name = "Drum"
parts = [ { solid = "cylinder", sides = 9, radius = 1, length = 2, axis = "z", at = [0, 5, 0] } ]
[[template]]
name = "Wedge"
parts = [ { solid = "prism", sides = 3, radius = 1, length = 2, axis = "x", size = [1, 0.5, 1] } ]
[[template]]
name = "Hex"
parts = [ { solid = "prism", sides = 6, radius = 1, length = 1, axis = "y", rotate = [0, 0, 45] } ]
[[template]]
name = "Tetra"
parts = [ { obj = "m/tetra.obj", scale = 2 } ]
)"));
    SContentBuild build;
    std::string error;
    ASSERT_TRUE(ContentProject_Load(dir.Path(), build, error)) << error;
    ASSERT_EQ(build.project.templates.size(), 5u);
    const float centres[5][3] = {{1, 1, 1}, {0, 5, 0}, {0, 0, 0}, {0, 0, 0}, {0.5f, 0.5f, -0.5f}};
    for (size_t i = 0; i < 5; ++i) {
        const SPackedNode& n = build.project.templates[i];
        ExpectOutward(*n.shape, centres[i], n.name.c_str());
    }
}

TEST(ContentProject, MistakesAreRefusedWithTheirFile) {
    struct SCase {
        const char* units;
        const char* says;
    };
    const SCase cases[] = {
        {"[[template]]\nname = \"A\"\nclass = \"CTank\"\n", "class is"},
        {"[[template]]\nname = \"A\"\nparts = [ { solid = \"box\", material = \"Nope\" } ]\n",
         "no material named Nope"},
        {"[[template]]\nname = \"A\"\nparts = [ { solid = \"cone\" } ]\n", "a part needs"},
        {"[[template]]\nname = \"A\"\nparts = [ { solid = \"box\", size = [1, 0, 1] } ]\n", "above 0"},
        {"[[template]]\nname = \"A\"\n[[template]]\nname = \"A\"\n", "same id"},
        {"[[template]]\nname = \"A\"\n[[template.child]]\nname = \"B\"\n[[template.child]]\nname = \"B\"\n",
         "same id"},
        {"[[template]]\nname = \"A\"\n[template.keys]\nX = { a = 1 }\n", "key X"},
        {"[[template]]\nname = \"A\"\nparts = [ { obj = \"missing.obj\" } ]\n", "cannot read"},
        {"[[template]]\nname = \"A\" x\n", "units.toml:2"},
        {"[[thing]]\nname = \"A\"\n", "unknown table thing"},
    };
    for (const SCase& c : cases) {
        CTempDir dir;
        ASSERT_TRUE(dir.Write("project.toml", "[project]\nid = 1\n"));
        ASSERT_TRUE(dir.Write("units.toml", c.units));
        SContentBuild build;
        std::string error;
        EXPECT_FALSE(ContentProject_Load(dir.Path(), build, error)) << c.units;
        EXPECT_NE(error.find(c.says), std::string::npos) << error;
        EXPECT_NE(error.find("units.toml"), std::string::npos) << error;
    }
    // Names the game could not hold, and child projects outside the folder.
    const char* const projects[] = {"[project]\nchildren = [\"../x\"]\n",
                                    "[project]\nchildren = [\"a\\\\b\"]\n", "[project]\nid = 0\n",
                                    "[[texture]]\nname = \"T\"\nsize = [2000, 4]\n"};
    for (const char* text : projects) {
        CTempDir dir;
        ASSERT_TRUE(dir.Write("project.toml", text));
        SContentBuild build;
        std::string error;
        EXPECT_FALSE(ContentProject_Load(dir.Path(), build, error)) << text;
        EXPECT_NE(error.find("project.toml"), std::string::npos) << error;
    }
    CTempDir dir;
    ASSERT_TRUE(dir.Write("project.toml", "[project]\nid = 1\n"));
    ASSERT_TRUE(dir.Write("u.toml", "[[template]]\nname = \"" + std::string(256, 'n') + "\"\n"));
    SContentBuild build;
    std::string error;
    EXPECT_FALSE(ContentProject_Load(dir.Path(), build, error));
    EXPECT_NE(error.find("longer than 255"), std::string::npos) << error;
}

// OBJ files that the loader would take wrongly or without a word: each is
// refused with the OBJ file and its line.
TEST(ContentProject, BadObjFilesAreRefusedWithTheirLine) {
    std::string noise(20000, '\0');
    uint32_t x = 12345;
    for (char& c : noise) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 24);
    }
    struct SCase {
        const char* what;
        std::string obj;
        const char* says;
    };
    const std::string tetra = "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 0 0 1\n";
    const SCase cases[] = {
        {"an index past 2^32", tetra + "f 1 2 3\nf 1 2 4294967299\n", "m.obj:6:"},
        {"an index past the vertices", tetra + "f 1 2 5\n", "m.obj:5:"},
        {"a relative index before the first", tetra + "f -1 -2 -5\n", "m.obj:5:"},
        {"index 0", tetra + "f 0 1 2\n", "m.obj:5:"},
        {"a NaN vertex", "v 0 0 0\nv nan 0 0\nv 0 1 0\nf 1 2 3\n", "m.obj:2:"},
        {"an infinite vertex", "v 0 0 0\nv 1 0 0\nv 0 inf 0\nf 1 2 3\n", "m.obj:3:"},
        {"a vertex past the limit", "v 0 0 1e39\nv 1 0 0\nv 0 1 0\nf 1 2 3\n", "m.obj:1:"},
        {"an empty file", "", "m.obj: no faces"},
        {"vertices without faces", tetra, "m.obj: no faces"},
        {"a face of two corners", tetra + "f 1 2\n", "m.obj:5:"},
        {"random bytes", noise, "m.obj:1:"},
        {"a line that is no statement", tetra + "fx 1 2 3\n", "m.obj:5:"},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.what);
        CTempDir dir;
        ASSERT_TRUE(dir.Write("project.toml", "[project]\nid = 1\n"));
        ASSERT_TRUE(dir.Write("m.obj", c.obj));
        ASSERT_TRUE(dir.Write("units.toml", "[[template]]\nname = \"A\"\nparts = [ { obj = \"m.obj\" } ]\n"));
        SContentBuild build;
        std::string error;
        EXPECT_FALSE(ContentProject_Load(dir.Path(), build, error));
        EXPECT_NE(error.find(c.says), std::string::npos) << error;
        EXPECT_NE(error.find("units.toml:3"), std::string::npos) << error;
    }
}

// Numbers of the sources that are no float the game can use: nan, inf and
// ones past the limit, in parts and keys.
TEST(ContentProject, NumbersOutsideTheLimitsAreRefused) {
    const char* const cases[] = {
        "parts = [ { solid = \"box\", at = [nan, 0, 0] } ]\n",
        "parts = [ { solid = \"box\", size = [1, inf, 1] } ]\n",
        "parts = [ { solid = \"cylinder\", radius = 1e39 } ]\n",
        "position = [0, 2e6, 0]\n",
        "[template.keys]\nSpeed = nan\n",
    };
    for (const char* c : cases) {
        CTempDir dir;
        ASSERT_TRUE(dir.Write("project.toml", "[project]\nid = 1\n"));
        ASSERT_TRUE(dir.Write("units.toml", std::string("[[template]]\nname = \"A\"\n") + c));
        SContentBuild build;
        std::string error;
        EXPECT_FALSE(ContentProject_Load(dir.Path(), build, error)) << c;
        EXPECT_NE(error.find("units.toml:"), std::string::npos) << error;
    }
}

// A map's placed objects: places and heights that are no finite number within
// the limit, and fills that would make more objects than a map holds, are
// refused with the line; what is right still builds.
TEST(ContentProject, BadMapSourcesAreRefusedWithTheirLine) {
    SPackedProject project;
    SPackedNode rock;
    rock.name = "Rock";
    rock.nodeId = 20;
    rock.projectId = 1;
    project.templates.push_back(rock);
    struct SCase {
        const char* what;
        const char* toml;
        const char* says;  // empty: builds
    } cases[] = {
        {"good",
         "start = [[-30.0, -30.0]]\n[[fill]]\ntemplate = \"Rock\"\nfrom = [-8.0, -8.0]\nto = [8.0, 8.0]\n"
         "step = 16.0\n",
         ""},
        {"start NaN", "start = [[-30.0, -30.0],\n [nan, 1.0]]\n", "visual.toml:2:"},
        {"start infinite", "start = [[inf, 0.0]]\n", "visual.toml:1:"},
        {"start 1e39", "start = [[0.0, 1e39]]\n", "visual.toml:1:"},
        {"layer height NaN", "layers = [0.0, nan]\n", "visual.toml:1:"},
        {"fill step 0.0001",
         "[[fill]]\ntemplate = \"Rock\"\nfrom = [-40.0, -40.0]\nto = [40.0, 40.0]\nstep = 0.0001\n",
         "visual.toml:1:"},
        {"fill step too small to move",
         "[[fill]]\ntemplate = \"Rock\"\nfrom = [5000.0, 0.0]\nto = [5000.0, 0.0]\n"
         "step = 1e-9\n",
         "visual.toml:1:"},
        {"fill the wrong way",
         "[[fill]]\ntemplate = \"Rock\"\nfrom = [8.0, 0.0]\nto = [-8.0, 0.0]\nstep = 1.0\n",
         "visual.toml:1:"},
        {"object place infinite", "[[object]]\ntemplate = \"Rock\"\nat = [[1.0, 1.0], [-inf, 0.0]]\n",
         "visual.toml:3:"},
        {"object layer 300", "[[object]]\ntemplate = \"Rock\"\nat = [[1.0, 1.0]]\nlayer = 300\n",
         "visual.toml:1:"},
        {"object heading NaN", "[[object]]\ntemplate = \"Rock\"\nat = [[1.0, 1.0]]\nheading = nan\n",
         "visual.toml:4:"},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.what);
        CTempDir dir;
        ASSERT_TRUE(dir.Write("visual.toml", c.toml));
        std::vector<uint8_t> bytes;
        std::string error;
        bool built = MapSource_Build(dir.File("visual.toml"), project, bytes, error);
        if (!*c.says) {
            EXPECT_TRUE(built) << error;
            SMapObjects map;
            ASSERT_TRUE(MapObjects_Decode(bytes.data(), bytes.size(), &map));
            EXPECT_EQ(map.objects.size(), 4u);
            continue;
        }
        EXPECT_FALSE(built);
        EXPECT_NE(error.find(c.says), std::string::npos) << error;
    }
}

// The builder program itself: a bad source ends it with exit code 1 and the
// file and line on its error output.
TEST(ContentProject, TheBuilderExitsWithOneOnABadSource) {
    const char* build = std::getenv("TESSARAK_BUILD");
    const std::string program = std::string(build ? build : ".") + "/install/System/content_build";
    CTempDir dir;
    ASSERT_TRUE(dir.Write("src/Units/PackedProject.VXP/project.toml", "[project]\nid = 1\n"));
    ASSERT_TRUE(
        dir.Write("src/Units/PackedProject.VXP/m.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 4294967299\n"));
    ASSERT_TRUE(dir.Write("src/Units/PackedProject.VXP/units.toml",
                          "[[template]]\nname = \"A\"\nparts = [ { obj = \"m.obj\" } ]\n"));
    std::string out;
    int code = Test_RunShell("'" + program + "' '" + dir.File("src") + "' '" + dir.File("out") + "'", &out);
    EXPECT_EQ(code, 1) << out;
    EXPECT_NE(out.find("m.obj:4:"), std::string::npos) << out;
}

// One refused source and nothing of that build reaches the output: the
// files, packs and learning files of the good sources are not written
// either, what the last good build left stays as it was, and so do the
// files the game wrote there. The mended source then builds everything.
TEST(ContentProject, ARefusedSourceLeavesTheOutputAsTheLastGoodBuildLeftIt) {
    const char* build = std::getenv("TESSARAK_BUILD");
    const std::string program = std::string(build ? build : ".") + "/install/System/content_build";
    CTempDir dir;
    ASSERT_TRUE(dir.Write("src/Readme.txt", "new text"));
    ASSERT_TRUE(dir.Write("src/Maps/Good/MapData.box/init.vxm", "echo(\"init\");\n"));
    ASSERT_TRUE(dir.Write("src/Zzz/Last.txt", "the last of the walk"));
    ASSERT_TRUE(dir.Write("src/Units/PackedProject.VXP/project.toml", "[project]\nid = 1\n"));
    ASSERT_TRUE(dir.Write("src/Units/PackedProject.VXP/m.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 9\n"));
    ASSERT_TRUE(dir.Write("src/Units/PackedProject.VXP/units.toml",
                          "[[template]]\nname = \"A\"\nparts = [ { obj = \"m.obj\" } ]\n"));
    ASSERT_TRUE(dir.Write("out/Readme.txt", "old text"));
    ASSERT_TRUE(dir.Write("out/Scripts/Config/Console.cfg", "the game's own"));
    const std::string command = "'" + program + "' '" + dir.File("src") + "' '" + dir.File("out") + "'";
    std::string out;
    EXPECT_EQ(Test_RunShell(command, &out), 1) << out;
    EXPECT_NE(out.find("m.obj:4:"), std::string::npos) << out;
    EXPECT_EQ(dir.Read("out/Readme.txt"), "old text");
    EXPECT_EQ(dir.Read("out/Scripts/Config/Console.cfg"), "the game's own");
    for (const char* absent : {"out/Maps", "out/Zzz", "out/Units", "out/.out.building"})
        EXPECT_FALSE(std::filesystem::exists(dir.File(absent))) << absent;

    ASSERT_TRUE(dir.Write("src/Units/PackedProject.VXP/m.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n"));
    EXPECT_EQ(Test_RunShell(command, &out), 0) << out;
    EXPECT_EQ(dir.Read("out/Readme.txt"), "new text");
    EXPECT_EQ(dir.Read("out/Zzz/Last.txt"), "the last of the walk");
    EXPECT_EQ(dir.Read("out/Scripts/Config/Console.cfg"), "the game's own");
    EXPECT_TRUE(std::filesystem::is_regular_file(dir.File("out/Maps/Good/MapData.box")));
    EXPECT_TRUE(std::filesystem::is_regular_file(dir.File("out/Units/PackedProject.VXP")));
    EXPECT_FALSE(std::filesystem::exists(dir.File("out/.out.building")));
}
