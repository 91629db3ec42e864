// The demo maps as the build made them: each box holds its scripts, its
// radar picture and a map objects file whose objects are templates of the
// demo project, with the start positions the map is made for.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "core/VFSFile.h"
#include "core/VFSTable.h"
#include "netgame/MapFiles.h"
#include "tools/lib/ContentProject.h"

namespace {
std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

std::string Member(CVFSTable& box, const char* name) {
    CVFSFile file;
    if (!box.Find(name) || !file.Open(name, CVFSFile::kModeRead, &box)) return "";
    std::string data(file.GetSize(), '\0');
    data.resize(file.Read(&data[0], (uint32_t)data.size()));
    return data;
}

TEST(DemoMapsTest, BoxesHoldScriptsRadarAndObjectsOfTheDemoProject) {
    std::string build = Env("TESSARAK_BUILD"), source = Env("TESSARAK_SOURCE");
    ASSERT_FALSE(build.empty() || source.empty());
    SContentBuild project;
    std::string error;
    ASSERT_TRUE(ContentProject_Load(source + "/content/Tessarak/Units/PackedProject.VXP", project, error))
        << error;
    std::set<std::pair<uint16_t, uint32_t>> templates;
    for (const SPackedNode& t : project.project.templates) templates.insert({t.projectId, t.nodeId});

    const struct {
        const char* name;
        size_t players;
        const char* size;
    } maps[] = {{"Skerry", 2, "M_SetGameSceneRect(96, 96);"},
                {"FourWinds", 4, "M_SetGameSceneRect(160, 160);"}};
    for (const auto& m : maps) {
        SCOPED_TRACE(m.name);
        CVFSTable box;
        ASSERT_TRUE(box.MountPack((build + "/install/Tessarak/Maps/" + m.name + "/MapData.box").c_str()));
        EXPECT_NE(Member(box, "init.vxm").find(m.size), std::string::npos);
        EXPECT_NE(Member(box, "information.vxm").find("si_Map_Players"), std::string::npos);
        EXPECT_FALSE(Member(box, "AI.vxm").empty());
        EXPECT_GT(Member(box, "radar.bik").size(), 100u);
        EXPECT_EQ(box.Find("visual.toml"), nullptr);
        std::string bin = Member(box, "visual.bin");
        SMapObjects objects;
        ASSERT_TRUE(MapObjects_Decode((const uint8_t*)bin.data(), bin.size(), &objects));
        EXPECT_EQ(objects.startX.size(), m.players);
        ASSERT_GT(objects.objects.size(), 30u);
        int spots = 0;
        for (const SMapObjectRecord& r : objects.objects) {
            EXPECT_TRUE(templates.count({r.projectId, r.templateId})) << r.templateId;
            spots += r.kind == kMapObjectSpot;
        }
        EXPECT_GE(spots, (int)m.players);
    }
}
}  // namespace
