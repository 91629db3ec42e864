// The map's files: the map-name check, the map objects file ("visual.bin")
// byte for byte with its damaged forms, and the export of a scene that loads
// back to the same objects.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>

#include "core/VFSFile.h"
#include "netgame/MapFiles.h"
#include "tests/support/TempDir.h"
#include "tests/support/WorldTestHost.h"
#include "world/TessarakObject.h"
#include "world/Unit.h"
#include "world/UnitOrder.h"

namespace {
TEST(MapFilesTest, MapNamesAreOnePlainFolderName) {
    struct {
        const char* name;
        bool plain;
    } cases[] = {
        {"Skerry", true},
        {"Four Winds 2.1-b_x", true},
        {"", false},
        {".", false},
        {"..", false},
        {"..\\Scripts", false},
        {"a/b", false},
        {"a\\b", false},
        {"C:\\Windows", false},
        {"\\\\server\\x", false},
        {"x*", false},
        {"tab\there", false},
        {"caf\xc3\xa9", false},
        {nullptr, false},
    };
    for (const auto& c : cases) EXPECT_EQ(MapName_IsPlain(c.name), c.plain) << (c.name ? c.name : "(null)");
    std::string longName(64, 'm');
    EXPECT_TRUE(MapName_IsPlain(longName.c_str()));
    longName += 'm';
    EXPECT_FALSE(MapName_IsPlain(longName.c_str()));
}

SMapObjects TwoObjects() {
    SMapObjects map;
    map.startX = {-20.0f, 20.0f};
    map.startZ = {5.0f, -5.0f};
    map.layers[0] = 0.5f;
    map.layers[254] = -1.25f;
    SMapObjectRecord rock;
    rock.templateId = 20;
    rock.projectId = 1;
    rock.x = 3.0f;
    rock.z = -4.0f;
    rock.owner = 0;
    rock.layer = 254;
    rock.mapId = 7;
    rock.headingIncrement = 1.5f;
    SMapObjectRecord spot = rock;
    spot.kind = kMapObjectSpot;
    spot.mapId = 8;
    spot.scaleIncrement = 0.25f;
    spot.spot[0] = 2.0f;
    map.objects = {rock, spot};
    return map;
}

TEST(MapFilesTest, MapObjectsFileRoundTripsByteForByte) {
    std::vector<uint8_t> bytes;
    MapObjects_Encode(TwoObjects(), bytes);
    // Header 4 + 2 starts x 8 + 255 layers x 4 + count 4, then 28 and 44.
    ASSERT_EQ(bytes.size(), 4u + 16u + 1020u + 4u + 28u + 44u);
    SMapObjects back;
    ASSERT_TRUE(MapObjects_Decode(bytes.data(), bytes.size(), &back));
    EXPECT_EQ(back.startX, TwoObjects().startX);
    EXPECT_EQ(back.layers[254], -1.25f);
    ASSERT_EQ(back.objects.size(), 2u);
    EXPECT_EQ(back.objects[0].kind, (uint32_t)kMapObjectPlain);
    EXPECT_EQ(back.objects[0].scaleIncrement, 0.0f);  // a plain record carries none
    EXPECT_EQ(back.objects[1].spot[0], 2.0f);
    EXPECT_EQ(back.objects[1].scaleIncrement, 0.25f);
    std::vector<uint8_t> again;
    MapObjects_Encode(back, again);
    EXPECT_EQ(again, bytes);
}

TEST(MapFilesTest, DamagedMapObjectsFilesAreRefusedWhole) {
    std::vector<uint8_t> good;
    MapObjects_Encode(TwoObjects(), good);
    const size_t objects = 4 + 16 + 1020;  // offset of the object count
    struct {
        const char* what;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"empty", {}},
        {"cut in the layers", std::vector<uint8_t>(good.begin(), good.begin() + 100)},
        {"cut in the last record", std::vector<uint8_t>(good.begin(), good.end() - 1)},
        {"bytes left over", good},
        {"kind 4", good},
        {"start count past the end", good},
        {"object count past the end", good},
    };
    cases[3].bytes.push_back(0);
    cases[4].bytes[objects + 4 + 6] = 4;
    cases[5].bytes[3] = 0x40;
    cases[6].bytes[objects + 3] = 0x7f;
    for (const auto& c : cases) {
        SMapObjects out;
        EXPECT_FALSE(MapObjects_Decode(c.bytes.data(), c.bytes.size(), &out)) << c.what;
    }
    // A start, a layer's height, a place, a turn or a field's values that are
    // no finite number (a NaN or an infinity as a box from a server may hold).
    const float nan = std::nanf(""), inf = INFINITY;
    std::vector<std::pair<const char*, std::function<void(SMapObjects&)>>> bad = {
        {"start x NaN", [&](SMapObjects& m) { m.startX[1] = nan; }},
        {"start z infinite", [&](SMapObjects& m) { m.startZ[0] = -inf; }},
        {"layer height NaN", [&](SMapObjects& m) { m.layers[3] = nan; }},
        {"place infinite", [&](SMapObjects& m) { m.objects[0].x = inf; }},
        {"turn NaN", [&](SMapObjects& m) { m.objects[0].headingIncrement = nan; }},
        {"field's scale infinite", [&](SMapObjects& m) { m.objects[1].scaleIncrement = inf; }},
        {"field's value NaN", [&](SMapObjects& m) { m.objects[1].spot[2] = nan; }},
    };
    for (const auto& b : bad) {
        SMapObjects map = TwoObjects();
        b.second(map);
        std::vector<uint8_t> bytes;
        MapObjects_Encode(map, bytes);
        SMapObjects out;
        EXPECT_FALSE(MapObjects_Decode(bytes.data(), bytes.size(), &out)) << b.first;
    }
}

TEST(MapFilesTest, ExportedMapLoadsBackToTheSameObjects) {
    CTempDir dir;
    CWorldTestHost host;
    host.root = dir.Win();
    SDemoTemplates demo(host);
    CGameScene* scene = host.scene;
    scene->m_spotTemplate = demo.rock;
    scene->DefineStartPositions(2);
    scene->SetStartPosition(0, -30.5f, 12.0f);
    scene->SetStartPosition(1, 30.25f, -12.0f);
    scene->m_layerPositions[3] = 2.5f;
    CPlayer* neutral = host.players->m_neutral;
    CTessarakObject* rock = host.Make(demo.rock, scene->m_idTable.NewId(), neutral);
    rock->SetPosition(7.0f, 0.0f, -3.0f);
    rock->m_mapId = 4;
    rock->m_layer = 3;
    rock->m_resourceSpot->m_base = 2.5f;
    CTessarakObject* depot = host.Make(demo.depot, scene->m_idTable.NewId(), neutral);
    depot->SetPosition(-1.0f, 0.0f, 2.0f);
    depot->m_mapId = 9;
    // Grown by the editor (a record with its scale), of a team nobody plays.
    depot->m_scaleIncrement = 0.5f;
    depot->m_mapTeam = 6;
    CTessarakObject* hidden = host.Make(demo.depot, scene->m_idTable.NewId(), neutral);
    hidden->m_flagsA |= kFrameOnUpdateList;  // excluded by the editor

    ASSERT_TRUE(ExportMapScript(scene, "Round Trip"));
    EXPECT_NE(host.FindLine("Created a new map directory at :'"), "");
    std::string script = dir.Read("Maps/Round Trip/visual.vxm");
    EXPECT_NE(script.find("M_DefineStartPositions (2);\n\nM_SetStartPosition (0,-30.500000,12.000000);\n"),
              std::string::npos);
    EXPECT_NE(script.find("M_SetLayerPosition (254, 0.000000);\n\n"), std::string::npos);
    EXPECT_EQ(script.find("M_SetLayerPosition (255"), std::string::npos);
    EXPECT_NE(
        script.find("Create (\"Rock\", 7.000000, -3.000000, 0, 3, 4, 0.000, 0.000, 2.500, 3.142, 1.000);"),
        std::string::npos);
    EXPECT_NE(script.find("Create (\"Depot\", -1.000000, 2.000000, 0, 0, 9, 0.000, 0.500);"),
              std::string::npos);
    EXPECT_EQ(script.find("Create (\"Depot\", 0.000000"), std::string::npos);  // the excluded one

    // Into an empty scene, as a map load does.
    scene->Clear();
    scene->DefineStartPositions(0);
    scene->m_layerPositions[3] = 0.0f;
    CVFSFile file;
    ASSERT_TRUE(file.Open(dir.WinFile("Maps/Round Trip/visual.bin").c_str(), CVFSFile::kModeRead));
    auto create = [&](CTessarakObjectTemplate* t, float x, float z) {
        float at[3] = {x, 0.0f, z};
        return scene->CreateObjectByClass(t, at, neutral, scene->m_idTable.NewId());
    };
    ASSERT_TRUE(LoadMapObjects(scene, &file, create));
    ASSERT_EQ(scene->StartPositionCount(), 2);
    EXPECT_EQ(scene->m_startX[1], 30.25f);
    EXPECT_EQ(scene->m_layerPositions[3], 2.5f);
    ASSERT_EQ(scene->m_objectCount, 2);
    CTessarakObject* rockBack = nullptr;
    CTessarakObject* depotBack = nullptr;
    for (CTessarakObject* o = scene->m_allObjects; o; o = o->m_allNext)
        (o->m_template == demo.rock ? rockBack : depotBack) = o;
    ASSERT_TRUE(rockBack && depotBack);
    EXPECT_EQ(rockBack->m_mapId, 4);
    EXPECT_EQ(rockBack->m_layer, 3u);
    EXPECT_EQ(rockBack->m_position[0], 7.0f);
    EXPECT_EQ(rockBack->m_position[1], 2.5f);  // its layer's height
    EXPECT_EQ(rockBack->m_resourceSpot->m_base, 2.5f);
    EXPECT_EQ(depotBack->m_position[2], 2.0f);
    EXPECT_EQ(depotBack->m_scaleIncrement, 0.5f);
    EXPECT_EQ(depotBack->m_scale[0], 1.5f);
    EXPECT_EQ(depotBack->m_mapTeam, 6);
    // Written whole through a temporary file: none is left beside it.
    for (const auto& entry : std::filesystem::directory_iterator(dir.File("Maps/Round Trip")))
        EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
    EXPECT_EQ(scene->m_highestMapId, 9);
}

TEST(MapFilesTest, UnknownTemplatesAreSkippedAndTheRestLoads) {
    CWorldTestHost host;
    SDemoTemplates demo(host);
    SMapObjects map = TwoObjects();
    map.objects[0].templateId = 999;
    std::vector<uint8_t> bytes;
    MapObjects_Encode(map, bytes);
    CTempDir dir;
    dir.Write("visual.bin", std::string(bytes.begin(), bytes.end()));
    CVFSFile file;
    ASSERT_TRUE(file.Open(dir.WinFile("visual.bin").c_str(), CVFSFile::kModeRead));
    int made = 0;
    auto create = [&](CTessarakObjectTemplate* t, float, float) {
        ++made;
        return host.Make(t, host.scene->m_idTable.NewId());
    };
    EXPECT_TRUE(LoadMapObjects(host.scene, &file, create));
    EXPECT_EQ(made, 1);
    EXPECT_NE(host.FindLine("Received bogus create unit call: ProjectID: 1 TemplateID: 999"), "");
}
}  // namespace

namespace {
TEST(MapFilesTest, UnitCommandsExportTheOrdersGivenHere) {
    CTempDir dir;
    CWorldTestHost host;
    host.root = dir.Win();
    SDemoTemplates demo(host);
    CGameScene* scene = host.scene;
    auto unit = [&](int32_t mapId) {
        CUnit* u = static_cast<CUnit*>(host.Make(demo.tank, scene->m_idTable.NewId(), host.players->m_local));
        u->m_mapId = mapId;
        return u;
    };
    CUnit* mover = unit(3);
    CUnit* idle = unit(4);
    CUnit* patrol = unit(5);
    // The front of the queue (next to run) is its last child: made last here.
    auto issued = [](CUnitOrder* o, float x, float z) {
        o->m_target[0] = x;
        o->m_target[2] = z;
        o->m_issuedHere = 1;
        return o;
    };
    issued(new CMoveOrder(mover->m_orderList, nullptr, mover, 0.0f, 0.0f, 1), 12.5f, -3.25f);
    new CMoveOrder(mover->m_orderList, nullptr, mover, 99.0f, 99.0f, 0);  // a step's own: not written
    issued(new CMoveOrder(mover->m_orderList, mover->m_orderList->LastChild(), mover, 0.0f, 0.0f, 0), 1.0f,
           2.0f);
    issued(new CPatrolOrder(patrol->m_orderList, nullptr, patrol), -4.0f, 6.0f);
    (void)idle;

    ASSERT_TRUE(ExportUnitCommands(scene, "Orders"));
    EXPECT_NE(host.FindLine("Exporting Unit Commands To :'"), "");
    std::string text = dir.Read("Maps/Orders/orders.vxm");
    // The order of the units is the scene's unit list's; find each block.
    const std::string head =
        "// Tessarak Unit Commands\n/////////////////////////////////////\n\n// Unit Control List\n\n";
    ASSERT_EQ(text.rfind(head, 0), 0u) << text;
    std::string controls = text.substr(head.size(), text.find("\n\n", head.size()) - head.size());
    EXPECT_NE(controls.find("AddCustomizedControl(3);"), std::string::npos) << text;
    EXPECT_NE(controls.find("AddCustomizedControl(5);"), std::string::npos) << text;
    EXPECT_EQ(controls.find("AddCustomizedControl(4);"), std::string::npos) << text;
    EXPECT_NE(text.find("\n// Map ID 3 'Tank'\nAddMoveOrder (3, 1.00, 0.00, 2.00, 0);\n"
                        "AddMoveOrder (3, 12.50, 0.00, -3.25, 1);\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("99.00"), std::string::npos) << text;
    EXPECT_NE(text.find("\n// Map ID 4 'Tank'\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\n// Map ID 5 'Tank'\nAddPatrolOrder (5, -4.00, 6.00);\n"), std::string::npos)
        << text;
}
}  // namespace
