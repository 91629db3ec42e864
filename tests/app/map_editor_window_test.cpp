// The map editor played in a real window with real X events (xdotool): a
// skirmish on this machine alone goes into the editing mode; the paint tool
// takes a template from the panel and paints it on the map; the rectangle
// marks, the marked objects go to another layer (which is hidden) and to
// another team, turn and grow by the mouse; a start position is set where
// the mouse points; a marked object is deleted; the map is exported. A new
// process plays the exported map: every object stands with its template,
// map id, layer, place, heading, scale and team as it was left.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "core/VFSTable.h"
#include "tests/support/GameRun.h"
#include "tests/support/Installation.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"
#include "tests/support/XServer.h"

namespace {

// One placed object as dbg_MapEditor prints it.
struct SPlaced {
    int mapId = 0;
    std::string name;
    unsigned layer = 0;
    int team = 0;
    float x = 0.0f, y = 0.0f, z = 0.0f, heading = 0.0f, scale = 0.0f;
    bool marked = false;
};

// What dbg_MapEditor prints: the panel's rows, the highest map id, the
// start positions and the placed objects from the map id on.
struct SEditorState {
    std::vector<std::string> panel;
    int highestMapId = -1;
    std::vector<std::pair<float, float>> starts;
    std::map<int, SPlaced> objects;
    int mouseX = -1, mouseY = -1;
    bool mouseDown = false;
};

// The path grid that cg_DrawGrid lays over the view at (25, 25): green
// where a cell is free, white where one is blocked. Its width along the row
// y (0 when (25, y) is not the grid's) and its blocked pixels on that row.
bool GridPixel(const unsigned char* p) {
    const bool green = p[1] > 230 && p[0] < 30 && p[2] < 30;
    const bool white = p[0] > 230 && p[1] > 230 && p[2] > 230;
    return green || white;
}
int GridWidth(const STestShot& s, int y, int from = 25, int* white = nullptr) {
    int x = from;
    while (x < s.width && GridPixel(s.At(x, y))) {
        if (white && s.At(x, y)[0] > 230) ++*white;
        ++x;
    }
    return x - from;
}

SEditorState ReadEditor(CTestProcess& game, int fromMapId) {
    static int s_serial = 0;
    const std::string begin = "editor-begin " + std::to_string(++s_serial);
    const std::string end = "editor-end " + std::to_string(s_serial);
    game.Write("echo(\"" + begin + "\"); dbg_MapEditor(" + std::to_string(fromMapId) + "); echo(\"" + end +
               "\");\n");
    SEditorState state;
    if (!game.WaitForLine(end, 15.0)) return state;
    const std::string out = game.Output();
    const size_t from = out.find(begin + "\n"), to = out.find(end + "\n", from);
    if (from == std::string::npos || to == std::string::npos) return state;
    std::istringstream in(out.substr(from, to - from));
    std::string line;
    while (std::getline(in, line)) {
        int row = 0, starts = 0;
        char name[128] = {};
        float x = 0.0f, z = 0.0f;
        SPlaced o;
        if (std::sscanf(line.c_str(), "Map editor mouse at %d %d, left button %127s", &state.mouseX,
                        &state.mouseY, name) == 3) {
            state.mouseDown = std::string(name) == "down";
        } else if (std::sscanf(line.c_str(), "Map editor panel row %d: %127s", &row, name) == 2) {
            state.panel.push_back(name);
        } else if (std::sscanf(line.c_str(), "Map editor: highest map id %d, %d start positions",
                               &state.highestMapId, &starts) == 2) {
        } else if (std::sscanf(line.c_str(), "Map start %d at %f %f", &row, &x, &z) == 3) {
            state.starts.push_back({x, z});
        } else if (std::sscanf(
                       line.c_str(), "Map object %d %127s layer %u team %d at %f %f %f heading %f scale %f",
                       &o.mapId, name, &o.layer, &o.team, &o.x, &o.y, &o.z, &o.heading, &o.scale) == 9) {
            o.name = name;
            o.marked = line.find(" marked") != std::string::npos;
            state.objects[o.mapId] = o;
        }
    }
    return state;
}

}  // namespace

TEST(MapEditorWindow, EditWithTheMouseExportAndPlayAgain) {
    if (!Test_OnPath("Xvfb") || !Test_OnPath("xdotool") || !Test_OnPath("import"))
        GTEST_SKIP() << "needs Xvfb, xdotool and ImageMagick";
    CTempDir dir;
    if (!Test_CopyInstallation(dir)) FAIL() << "the game program is not built";
    ASSERT_TRUE(Test_WriteSkirmishStart(dir));
    CTestXServer x;
    ASSERT_TRUE(x.Start());
    CTestProcess game;
    ASSERT_TRUE(Test_StartGameOn(game, dir, x));
    ASSERT_FALSE(Test_UnitsOnceRunning(game, 60.0).empty()) << game.Output();
    const std::string window = Test_GameWindow(x);
    ASSERT_FALSE(window.empty());
    // Each X event is waited for until the interface has heard it (the
    // mouse's place and button as the game last saw them).
    int atX = -1, atY = -1;
    bool down = false;
    auto heard = [&] {
        for (int i = 0; i < 100; ++i) {
            const SEditorState s = ReadEditor(game, 1 << 30);
            if (s.mouseX == atX && s.mouseY == atY && s.mouseDown == down) return true;
        }
        ADD_FAILURE() << "the game did not hear the mouse at " << atX << " " << atY
                      << (down ? " down" : " up");
        return false;
    };
    auto moveTo = [&](int px, int py) {
        x.Shell("xdotool mousemove --window " + window + " " + std::to_string(px) + " " + std::to_string(py));
        atX = px;
        atY = py;
        heard();
    };
    auto button = [&](bool press) {
        x.Shell(press ? "xdotool mousedown 1" : "xdotool mouseup 1");
        down = press;
        heard();
        Test_RunAndDraw(game, "");
    };
    // A press and release at the pixel.
    auto click = [&](int px, int py) {
        moveTo(px, py);
        button(true);
        button(false);
    };
    // A rectangle dragged from one pixel to another.
    auto drag = [&](std::vector<int> a, std::vector<int> b) {
        moveTo(a[0], a[1]);
        button(true);
        for (float f : {0.3f, 0.6f, 1.0f})
            moveTo(int(a[0] + (b[0] - a[0]) * f), int(a[1] + (b[1] - a[1]) * f));
        button(false);
    };
    Test_RunAndDraw(game, kTestCamera);
    const float fx = -24.0f, fz = 20.0f;
    Test_LookAt(game, fx, fz);

    // ---- cg_DrawGrid(1): the path grid over the scene, from (25, 25), as
    // wide as the map's grid, its blocked cells (the bases) white; nothing
    // of it without the row. It stays in the editing mode, under the
    // editor's tables.
    Test_RunAndDraw(game, "cg_DrawGrid(1);");
    const STestShot gridShot = x.Screenshot(window);
    ASSERT_TRUE(gridShot.Valid());
    int rows = 0, blocked = 0, width = 0;
    for (int y = 25; y < gridShot.height && GridWidth(gridShot, y) > 0; ++y, ++rows) {
        width = std::max(width, GridWidth(gridShot, y));
        GridWidth(gridShot, y, 25, &blocked);
    }
    EXPECT_GE(width, 64);
    EXPECT_GE(rows, 64);
    EXPECT_GT(blocked, 20);                        // the headquarters and their neighbours
    EXPECT_FALSE(GridPixel(gridShot.At(24, 40)));  // it starts at 25
    Test_RunAndDraw(game, "cg_DrawGrid(0);");
    EXPECT_LT(GridWidth(x.Screenshot(window), 40), 10);

    // ---- The editing mode, on a layer of its own.
    game.Write("M_EditMode(1); M_SelectLayer(2); M_TeamMode(0); M_PaintMode(1);\n");
    Test_RunAndDraw(game, "");
    for (const char* row : {"M_EditMode", "M_SelectLayer", "M_TeamMode", "M_PaintMode"})
        EXPECT_FALSE(game.HasLine(std::string(row) + " cannot be run at this time or gamestate")) << row;
    // The editor's tables stand at the top left in the interface's green
    // framed boxes.
    bool tables = false;
    for (int i = 0; i < 20 && !tables; ++i) {
        Test_RunAndDraw(game, "");
        const STestShot shot = x.Screenshot(window);
        const unsigned char* c = shot.Valid() ? shot.At(13, 9) : nullptr;
        tables = c && c[0] < 8 && std::abs(c[1] - 60) < 8 && c[2] < 8 && shot.At(12, 20)[1] > 180;
    }
    EXPECT_TRUE(tables);
    // The grid under the tables: its part right of them shows.
    Test_RunAndDraw(game, "cg_DrawGrid(1);");
    const STestShot editGrid = x.Screenshot(window);
    ASSERT_TRUE(editGrid.Valid());
    EXPECT_GE(GridWidth(editGrid, 40, 170), width - 150) << "width " << width;
    Test_RunAndDraw(game, "cg_DrawGrid(0);");
    SEditorState before = ReadEditor(game, 0);
    ASSERT_GE(before.highestMapId, 0) << game.Output();
    ASSERT_FALSE(before.panel.empty()) << game.Output();

    // ---- The template from the panel (right of x 500, rows of 12 pixels
    // from y 6), brought into view with the panel's offset.
    int row = -1;
    for (int scroll = 0; scroll < 40 && row < 0; ++scroll) {
        const SEditorState s = scroll ? ReadEditor(game, 1 << 30) : before;
        for (size_t i = 0; i < s.panel.size() && i < 36; ++i)
            if (s.panel[i] == "Rock_Small") row = int(i);
        if (row < 0) Test_RunAndDraw(game, "M_MoveOffsetDown(30);");
    }
    ASSERT_GE(row, 0) << game.Output();
    click(560, 6 + 12 * row + 6);

    // ---- Painting: one object per press at the point under the mouse.
    const std::vector<std::vector<float>> points = {{-27.0f, 18.0f}, {-24.0f, 18.0f}, {-21.0f, 18.0f}};
    for (size_t i = 0; i < points.size(); ++i) {
        const std::vector<int> p = Test_GroundPixel(fx, fz, points[i][0], points[i][1]);
        click(p[0], p[1]);
        SEditorState s;
        for (int tries = 0; tries < 20 && s.objects.size() < i + 1; ++tries)
            s = ReadEditor(game, before.highestMapId + 1);
        ASSERT_EQ(s.objects.size(), i + 1) << game.Output();
    }
    SEditorState painted = ReadEditor(game, before.highestMapId + 1);
    ASSERT_EQ(painted.objects.size(), 3u);
    std::vector<int> ids;
    for (const auto& o : painted.objects) ids.push_back(o.first);
    for (size_t i = 0; i < 3; ++i) {
        const SPlaced& o = painted.objects[ids[i]];
        EXPECT_EQ(o.mapId, before.highestMapId + 1 + int(i));
        EXPECT_EQ(o.name, "Rock_Small");
        EXPECT_EQ(o.layer, 2u);
        EXPECT_NEAR(o.x, points[i][0], 0.4f);
        EXPECT_NEAR(o.z, points[i][1], 0.4f);
        // Snapped to thirds of a map unit.
        EXPECT_NEAR(o.x * 3.0f, std::round(o.x * 3.0f), 1e-3f) << o.x;
    }

    // ---- The rectangle marks the first two (the current layer's objects).
    Test_RunAndDraw(game, "M_PaintMode(0);");
    drag(Test_GroundPixel(fx, fz, -28.5f, 16.5f), Test_GroundPixel(fx, fz, -22.5f, 19.5f));
    SEditorState marked = ReadEditor(game, before.highestMapId + 1);
    EXPECT_TRUE(marked.objects[ids[0]].marked && marked.objects[ids[1]].marked) << game.Output();
    EXPECT_FALSE(marked.objects[ids[2]].marked);
    // The overlay's markers: white on a marked object, green on the others
    // of the layer.
    moveTo(600, 460);
    auto marker = [&](float wx, float wz, bool white) {
        for (int i = 0; i < 20; ++i) {
            Test_RunAndDraw(game, "");
            const STestShot shot = x.Screenshot(window);
            const std::vector<int> p = Test_GroundPixel(fx, fz, wx, wz);
            for (int py = p[1] - 3; shot.Valid() && py <= p[1] + 3; ++py)
                for (int px = p[0] - 3; px <= p[0] + 3; ++px) {
                    const unsigned char* c = shot.At(px, py);
                    if (white ? (c[0] > 245 && c[1] > 245 && c[2] > 245)
                              : (c[0] < 40 && c[1] > 185 && c[1] < 215 && c[2] < 40))
                        return true;
                }
        }
        return false;
    };
    EXPECT_TRUE(marker(points[0][0], points[0][1], true));
    EXPECT_TRUE(marker(points[2][0], points[2][1], false));

    // ---- Another layer, another team; turned and grown by the mouse.
    Test_RunAndDraw(game, "M_SetLayer(5); M_SetTeam(2);");
    Test_RunAndDraw(game, "M_SelectLayer(5); M_PaintMode(4);");
    const std::vector<int> middle = Test_GroundPixel(fx, fz, -25.5f, 18.0f);
    moveTo(middle[0], middle[1]);
    button(true);
    for (int dy : {10, 20, 30}) moveTo(middle[0], middle[1] + dy);
    button(false);
    Test_RunAndDraw(game, "M_PaintMode(5);");
    moveTo(middle[0], middle[1]);
    button(true);
    for (int dy : {4, 8}) moveTo(middle[0], middle[1] + dy);
    button(false);
    Test_RunAndDraw(game, "M_PaintMode(0);");
    SEditorState edited = ReadEditor(game, before.highestMapId + 1);
    for (int i : {0, 1}) {
        const SPlaced& o = edited.objects[ids[i]];
        EXPECT_EQ(o.layer, 5u);
        EXPECT_EQ(o.team, 2);
        EXPECT_GT(std::fabs(o.heading), 0.05f) << o.heading;
        EXPECT_GT(o.scale, 1.05f) << o.scale;
    }
    EXPECT_EQ(edited.objects[ids[2]].layer, 2u);
    EXPECT_EQ(edited.objects[ids[2]].team, 0);

    // ---- Hiding the layer takes its objects out of the picture.
    auto changed = [&](const STestShot& a, const STestShot& b) {
        const std::vector<int> l = Test_GroundPixel(fx, fz, -28.0f, 18.0f),
                               r = Test_GroundPixel(fx, fz, -23.0f, 18.0f);
        int n = 0;
        for (int py = l[1] - 20; py < l[1] + 10; ++py)
            for (int px = l[0] - 10; px < r[0] + 10; ++px)
                for (int c = 0; c < 3; ++c)
                    if (std::abs(int(a.At(px, py)[c]) - int(b.At(px, py)[c])) > 24) {
                        ++n;
                        break;
                    }
        return n;
    };
    // Hidden at the next update of the world: shots until the picture moves.
    // The picture settled first (the mouse away, the turned objects drawn
    // as they stand).
    moveTo(600, 460);
    STestShot again = x.Screenshot(window);
    for (int i = 0; i < 20; ++i) {
        Test_RunAndDraw(game, "");
        const STestShot next = x.Screenshot(window);
        const bool settled = next.Valid() && again.Valid() && changed(again, next) == 0;
        again = next;
        if (settled) break;
    }
    Test_RunAndDraw(game, "M_HideLayer(5);");
    STestShot hidden;
    for (int i = 0; i < 20 && (!hidden.Valid() || changed(again, hidden) <= 50); ++i) {
        Test_RunAndDraw(game, "");
        hidden = x.Screenshot(window);
    }
    ASSERT_TRUE(again.Valid() && hidden.Valid());
    EXPECT_GT(changed(again, hidden), 50);
    Test_RunAndDraw(game, "M_HideLayer(5);");
    STestShot shownAgain;
    for (int i = 0; i < 20 && (!shownAgain.Valid() || changed(again, shownAgain) > 50); ++i) {
        Test_RunAndDraw(game, "");
        shownAgain = x.Screenshot(window);
    }
    EXPECT_LE(changed(again, shownAgain), 50);

    // ---- A start position where the mouse points.
    const std::vector<int> startPixel = Test_GroundPixel(fx, fz, -20.0f, 25.0f);
    moveTo(startPixel[0], startPixel[1]);
    Test_RunAndDraw(game, "M_SetStartPositionByMouse(0);");
    SEditorState started = ReadEditor(game, before.highestMapId + 1);
    ASSERT_FALSE(started.starts.empty());
    EXPECT_NEAR(started.starts[0].first, -20.0f, 0.4f);
    EXPECT_NEAR(started.starts[0].second, 25.0f, 0.4f);

    // ---- The third marked on its layer and deleted. A rectangle marks
    // within the current layer alone: an empty one on layer 5 unmarks the
    // two there first.
    drag(Test_GroundPixel(fx, fz, -31.0f, 24.0f), Test_GroundPixel(fx, fz, -29.0f, 26.0f));
    Test_RunAndDraw(game, "M_SelectLayer(2);");
    drag(Test_GroundPixel(fx, fz, -22.0f, 16.5f), Test_GroundPixel(fx, fz, -20.0f, 19.5f));
    SEditorState third = ReadEditor(game, before.highestMapId + 1);
    EXPECT_FALSE(third.objects[ids[0]].marked || third.objects[ids[1]].marked);
    EXPECT_TRUE(third.objects[ids[2]].marked) << game.Output();
    // The Delete key of the editor's bindings.
    x.Shell("xdotool key --window " + window + " Delete");
    SEditorState left;
    for (int tries = 0; tries < 20 && (left.objects.size() != 2 || left.objects.count(ids[2])); ++tries)
        left = ReadEditor(game, before.highestMapId + 1);
    ASSERT_EQ(left.objects.size(), 2u) << game.Output();
    EXPECT_EQ(left.objects.count(ids[2]), 0u);

    // ---- Exported, and played again by a new process.
    game.Write("M_Export(\"Edited\");\n");
    ASSERT_TRUE(game.WaitForOutput("Exporting Binary Mapfile To", 15.0)) << game.Output();
    Test_RunAndDraw(game, "");
    EXPECT_FALSE(game.HasLine("Unable to write file", true)) << game.Output();
    // The box holds the map's radar picture and its picture in the lobby,
    // made by the export from the map as it was edited.
    {
        CVFSTable exported;
        ASSERT_TRUE(exported.MountPack(dir.WinFile("Tessarak/Maps/Edited/MapData.box").c_str()));
        EXPECT_TRUE(exported.Find("radar.bik"));
        EXPECT_TRUE(exported.Find("background.bik"));
    }

    // ---- On the ground's layer (0, the grass tiles) a rock is painted: the
    // ground does not refuse what stands on it. Painted again on the rock it
    // is refused, and the console says why; Escape leaves the tool, and a
    // click paints nothing more.
    Test_RunAndDraw(game, "M_SelectLayer(0); M_PaintMode(1);");
    const int since = ReadEditor(game, 1 << 30).highestMapId;
    const std::vector<int> grass = Test_GroundPixel(fx, fz, -30.0f, 21.0f);
    click(grass[0], grass[1]);
    SEditorState onGrass;
    for (int tries = 0; tries < 20 && onGrass.objects.size() != 1; ++tries)
        onGrass = ReadEditor(game, since + 1);
    ASSERT_EQ(onGrass.objects.size(), 1u) << game.Output();
    EXPECT_EQ(onGrass.objects.begin()->second.name, "Rock_Small");
    EXPECT_EQ(onGrass.objects.begin()->second.layer, 0u);
    click(grass[0], grass[1]);
    EXPECT_TRUE(game.WaitForOutput("Rock_Small is not placed: Rock_Small stands there", 10.0))
        << game.Output();
    x.Shell("xdotool key --window " + window + " Escape");
    EXPECT_EQ(Test_Answer(game, "M_PaintMode;", "M_PaintMode = "), "0") << game.Output();
    Test_RunAndDraw(game, "M_PaintMode(1);");
    const std::vector<int> elsewhere = Test_GroundPixel(fx, fz, -30.0f, 25.0f);
    click(elsewhere[0], elsewhere[1]);
    Test_RunAndDraw(game, "");
    EXPECT_EQ(ReadEditor(game, since + 1).objects.size(), 1u);

    game.Write("Quit();\n");
    EXPECT_EQ(game.Wait(30), 0) << game.Output();

    ASSERT_TRUE(Test_WriteSkirmishStart(dir, "", "Edited"));
    CTestProcess second;
    ASSERT_TRUE(Test_StartGameOn(second, dir, x));
    const std::vector<SUnitSeen> units = Test_UnitsOnceRunning(second, 60.0);
    ASSERT_FALSE(units.empty()) << second.Output();
    // The first player's headquarters stands at the start position set.
    const SUnitSeen* home = Test_NearestUnit(units, "Granite_Headquarters", -20.0f, 25.0f);
    ASSERT_NE(home, nullptr) << second.Output();
    EXPECT_TRUE(Test_Near(home, started.starts[0].first, started.starts[0].second))
        << home->x << " " << home->z;
    SEditorState loaded = ReadEditor(second, before.highestMapId + 1);
    // The two left, and nothing of the deleted one (the start units take the
    // next map ids after them).
    ASSERT_TRUE(loaded.objects.count(ids[0]) && loaded.objects.count(ids[1])) << second.Output();
    int rocks = 0;
    for (const auto& o : loaded.objects) rocks += o.second.name == "Rock_Small" ? 1 : 0;
    EXPECT_EQ(rocks, 2);
    for (int i : {0, 1}) {
        const SPlaced &a = left.objects[ids[i]], &b = loaded.objects[ids[i]];
        SCOPED_TRACE(i);
        EXPECT_EQ(b.name, a.name);
        EXPECT_EQ(b.layer, a.layer);
        EXPECT_EQ(b.team, a.team);
        EXPECT_NEAR(b.x, a.x, 1e-3f);
        EXPECT_NEAR(b.y, a.y, 1e-3f);
        EXPECT_NEAR(b.z, a.z, 1e-3f);
        EXPECT_NEAR(b.heading, a.heading, 1e-3f);
        EXPECT_NEAR(b.scale, a.scale, 1e-3f);
    }
    // Its radar shows the map's picture (its grass).
    EXPECT_EQ(second.Output().find("radar.bik not found"), std::string::npos) << second.Output();
    const std::string secondWindow = Test_GameWindow(x);
    auto green = [](const unsigned char* p) { return p[1] > p[0] + 15 && p[1] > p[2] + 15; };
    const STestShot radar = Test_ShotUntil(
        x, secondWindow,
        [&](const STestShot& s) { return Test_CountPixels(s, 512, 0, 640, 128, green) > 3000; }, 20.0);
    EXPECT_GT(Test_CountPixels(radar, 512, 0, 640, 128, green), 3000);
    second.Write("Quit();\n");
    EXPECT_EQ(second.Wait(30), 0) << second.Output();
}
