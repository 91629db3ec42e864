// The radar picture of a map drawn from its box's sources: two pixels a
// square, north up, the ground fills as squares, objects as discs in their
// templates' colours; a box without its size or with a broken place is
// refused with the file (and line) that holds the fault.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/TempDir.h"
#include "tools/lib/MapPicture.h"

namespace {

const uint8_t* Pixel(const SMapPicture& p, int x, int y) {
    return &p.rgb[(size_t(y) * size_t(p.width) + size_t(x)) * 3];
}

}  // namespace

TEST(MapPicture, DrawsTheMapNorthUpAtTwoPixelsASquare) {
    CTempDir dir;
    // 8 x 4 squares: x from -4 to 4, z from -2 (south) to 2 (north).
    ASSERT_TRUE(dir.Write("MapData.box/init.vxm",
                          "// size\nM_SetGameSceneRect(8, 4);\nCreate(\"X\", 0, 0, 1, 0, 1);\n"));
    ASSERT_TRUE(
        dir.Write("MapData.box/visual.toml",
                  "[[fill]]\ntemplate = \"Ground_Grass\"\nfrom = [2.0, 0.0]\nto = [2.0, 0.0]\nstep = 4.0\n"
                  "[[fill]]\ntemplate = \"Ground_Sand\"\nfrom = [-3.0, 1.0]\nto = [-3.0, 1.0]\nstep = 2.0\n"
                  "[[object]]\ntemplate = \"Game_Resource_Spot\"\nat = [[3.0, 1.5]]\n"
                  "[[object]]\ntemplate = \"Modders_Statue\"\nat = [[-3.5, -1.5]]\n"));
    SMapPicture p;
    std::string error;
    ASSERT_TRUE(MapPicture_Render(dir.File("MapData.box"), p, error)) << error;
    ASSERT_EQ(p.width, 16);
    ASSERT_EQ(p.height, 8);
    ASSERT_EQ(p.rgb.size(), 16u * 8u * 3u);
    // The sand tile around (-3, 1) and the grass one around (2, 0): pixel
    // (2 (x + 4), 2 (2 - z)).
    EXPECT_EQ(Pixel(p, 2, 2)[0], 194);  // (-2.75, 0.75): sand
    EXPECT_EQ(Pixel(p, 9, 7)[1], 122);  // (0.75, -1.75): grass
    // The crystal field at the north-east, the unknown template grey at the
    // south-west; where nothing is drawn the picture stays black.
    EXPECT_EQ(Pixel(p, 14, 1)[0], 200);
    EXPECT_EQ(Pixel(p, 14, 1)[2], 200);
    EXPECT_EQ(Pixel(p, 1, 6)[0], 128);
    EXPECT_EQ(Pixel(p, 6, 7)[0], 0);
    // The PPM carries the same rows.
    const std::vector<uint8_t> ppm = MapPicture_PPM(p);
    const std::string header = "P6\n16 8\n255\n";
    ASSERT_EQ(ppm.size(), header.size() + p.rgb.size());
    EXPECT_EQ(std::string(ppm.begin(), ppm.begin() + long(header.size())), header);
}

TEST(MapPicture, RefusesABoxWithoutItsSizeOrWithABrokenPlace) {
    CTempDir dir;
    SMapPicture p;
    std::string error;
    EXPECT_FALSE(MapPicture_Render(dir.File("Missing.box"), p, error));
    EXPECT_NE(error.find("init.vxm"), std::string::npos) << error;

    ASSERT_TRUE(dir.Write("A.box/init.vxm", "Create(\"X\", 0, 0, 1, 0, 1);\n"));
    ASSERT_TRUE(dir.Write("A.box/visual.toml", ""));
    EXPECT_FALSE(MapPicture_Render(dir.File("A.box"), p, error));
    EXPECT_NE(error.find("M_SetGameSceneRect"), std::string::npos) << error;

    ASSERT_TRUE(dir.Write("B.box/init.vxm", "M_SetGameSceneRect(100000, 4);\n"));
    EXPECT_FALSE(MapPicture_Render(dir.File("B.box"), p, error));

    ASSERT_TRUE(dir.Write("C.box/init.vxm", "M_SetGameSceneRect(8, 8);\n"));
    ASSERT_TRUE(dir.Write("C.box/visual.toml",
                          "start = [[0.0, 0.0]]\n\n[[object]]\ntemplate = \"Rock_Large\"\n"
                          "at = [[1.0, 2.0], [3.0]]\n"));
    EXPECT_FALSE(MapPicture_Render(dir.File("C.box"), p, error));
    EXPECT_NE(error.find("visual.toml:"), std::string::npos) << error;
    EXPECT_NE(error.find("a place is [x, z]"), std::string::npos) << error;
}
