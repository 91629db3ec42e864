// The packed project file: what a written project becomes when the game
// reads it (templates by name and id pair, their children, keys, shapes,
// lights and frame flags, events, textures and materials), child projects,
// the id-pair rules between projects (supersede, reference, override), and
// damaged files, which are refused whole and leave nothing behind.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/CRC32.h"
#include "core/PackedDIB.h"
#include "core/VFSFile.h"
#include "e3d/Light.h"
#include "e3d/Material.h"
#include "e3d/Shape.h"
#include "tests/support/TempDir.h"
#include "tests/support/WorldTestHost.h"
#include "tools/lib/PackWriter.h"
#include "tools/lib/PackedProjectWriter.h"
#include "world/GameMaterial.h"
#include "world/GameTexture.h"
#include "world/Project.h"
#include "world/UnitTemplate.h"
#include "world/UnitWeapon.h"

namespace {

SPackedNode Node(const char* key, uint16_t project, uint32_t id, const char* name, CPropertyPairs config = {},
                 std::vector<SPackedNode> children = {}, uint8_t flags = 0) {
    SPackedNode n;
    n.classKey = key;
    n.projectId = project;
    n.nodeId = id;
    n.name = name;
    n.config = std::move(config);
    n.children = std::move(children);
    n.flags = flags;
    return n;
}

// The names of a node's child nodes, in child order.
std::vector<std::string> Children(const CUnitVisual* v) {
    std::vector<std::string> names;
    for (CUnitVisual* c = v->NextChildNode(nullptr); c; c = v->NextChildNode(c))
        names.push_back(c->m_name.GetText());
    return names;
}

class PackedProjectTest : public ::testing::Test {
protected:
    PackedProjectTest() : list(nullptr, host.scene) { host.SetProjects(&list); }

    // Writes the project as "<name>\PackedProject.VXP" below the scratch folder.
    bool Write(const std::string& folder, const SPackedProject& p) {
        std::vector<uint8_t> bytes;
        if (!PackedProject_Build(bytes, p)) return false;
        return dir.Write(folder + "/PackedProject.VXP", std::string(bytes.begin(), bytes.end()));
    }
    std::string Folder(const std::string& name) const { return dir.WinFile(name); }
    // A second project of the list, as a later project would be.
    CProject* LoadExtra(const std::string& folder) {
        CProject* p = new CProject(&list, nullptr);
        p->m_folder = Folder(folder).c_str();
        if (!p->LoadPackedProject()) {
            delete p;
            return nullptr;
        }
        return p;
    }
    CTessarakObjectTemplate* Find(const char* name) { return host.scene->FindTemplate(name); }

    CWorldTestHost host;
    CTempDir dir;
    CProjectList list;
};

SPackedProject TankProject() {
    SPackedProject p;
    p.projectId = 3;
    p.texts[0] = "Demo";
    p.blob = "xyz";
    p.events = {{7, "Boom"}};
    SPackedNode tank =
        Node("CUnit", 3, 100, "Tank", {{"Speed", "2.5"}, {"CanBuildUnit", "A"}, {"CanBuildUnit", "B"}},
             {Node("CUnitWeapon", 3, 101, "Gun", {{"WeaponMethod", "DirectHit"}},
                   {Node("CBaseClass", 3, 102, "FirePoint")}),
              Node("CBaseClass", 3, 103, "Selection")});
    tank.shape = PackedProject_MakeBox(1.0f, 0.5f, 2.0f);
    tank.position[0] = 4.0f;
    tank.angles[0] = 1.0f;
    tank.scale[1] = 2.0f;
    tank.value = 77;
    tank.frameFlags[2] = 1;
    tank.hasLight = true;
    tank.light.range = 9.0f;
    p.templates = {tank, Node("CGridMember", 3, 200, "Rock"), Node("CBaseClass", 3, 300, "Spot")};
    return p;
}

}  // namespace

TEST_F(PackedProjectTest, AWrittenProjectReadsBackWhole) {
    SPackedProject p = TankProject();
    SPackedDIB* picture = DIB_Create(4, 2, 24);
    SPackedTexture tex;
    tex.name = "Hull";
    tex.width = 4;
    tex.height = 2;
    tex.textureId = 9;
    tex.projectId = 3;
    tex.colorImage = picture;
    p.textures = {tex};
    SPackedMaterial mat;
    mat.name = "HullMat";
    mat.projectId = 3;
    mat.materialId = 5;
    mat.value = 42;
    mat.twoSided = 1;
    mat.passes = PackedProject_MakePasses(3, 9);
    mat.passes->AddPass(2);
    p.materials = {mat};
    ASSERT_TRUE(Write("demo", p));
    DIB_Free(picture);

    ASSERT_TRUE(list.LoadProject(Folder("demo").c_str()));
    CProject* project = list.m_content;
    EXPECT_EQ(project->m_projectId, 3);
    EXPECT_STREQ(project->m_texts[0].GetText(), "Demo");
    EXPECT_EQ(std::string(project->m_blob.begin(), project->m_blob.end()), "xyz");
    ASSERT_EQ(project->m_events.size(), 1u);
    EXPECT_EQ(project->m_events[0]->m_id, 7);
    EXPECT_STREQ(project->m_events[0]->m_name.GetText(), "Boom");
    ASSERT_EQ(project->m_textureCount, 1);
    EXPECT_STREQ(project->m_textures->m_name.GetText(), "Hull");
    EXPECT_EQ(project->m_textures->m_textureId, 9u);
    EXPECT_EQ(project->m_textures->m_flags[4], 1);
    ASSERT_EQ(project->m_materialCount, 1);
    CGameMaterial* m = project->m_materials;
    EXPECT_STREQ(m->m_name.GetText(), "HullMat");
    EXPECT_EQ(m->m_value, 42u);
    EXPECT_EQ(m->m_twoSided, 1);
    EXPECT_EQ(m->PassCount(1), 1);
    EXPECT_EQ(m->PassCount(2), 1);
    EXPECT_EQ(m->PassCount(3), 0);
    EXPECT_EQ(m->Passes(1)->m_stages[0]->m_textureId, 9u);

    // Every template by name and by id pair, of its class, with its children.
    EXPECT_EQ(project->m_templateCount, 3);
    EXPECT_EQ(host.scene->m_templateCount, 3);
    CTessarakObjectTemplate* tank = Find("Tank");
    ASSERT_NE(tank, nullptr);
    EXPECT_EQ(host.scene->FindTemplateById(3, 100), tank);
    EXPECT_EQ(tank->m_classMask, 0x80000007u);
    EXPECT_EQ(Find("Rock")->m_classMask, 0x80000003u);
    EXPECT_EQ(Find("Spot")->m_classMask, 0x80000001u);
    // Children join the head of their parent's list: the last read is first.
    EXPECT_EQ(Children(tank), (std::vector<std::string>{"Selection", "Gun"}));
    CUnitVisual* gun = tank->FindChildById(3, 101);
    ASSERT_NE(gun, nullptr);
    EXPECT_EQ(gun->m_classMask, 0x80000011u);
    EXPECT_EQ(gun->m_root, tank);
    EXPECT_EQ(gun->m_project, project);
    EXPECT_EQ(Children(gun), (std::vector<std::string>{"FirePoint"}));
    // Keys, in the order stored (the list holds the newest first).
    ASSERT_NE(tank->m_config.Find("Speed"), nullptr);
    EXPECT_STREQ(tank->m_config.Find("Speed")->GetValueText(), "2.5");
    EXPECT_STREQ(tank->m_config.GetFirst()->GetValueText(), "B");
    EXPECT_STREQ(gun->m_config.Find("WeaponMethod")->GetValueText(), "DirectHit");
    // Transform, value, flags, shape and light.
    EXPECT_FLOAT_EQ(tank->m_position[0], 4.0f);
    EXPECT_FLOAT_EQ(tank->m_yaw, 1.0f);
    EXPECT_FLOAT_EQ(tank->m_scale[1], 2.0f);
    EXPECT_EQ(tank->m_nodeValue, 77u);
    EXPECT_EQ(tank->m_flagsA & kFrameFacing, kFrameFacing);
    ASSERT_EQ(tank->m_shape, tank->m_ownShape);
    EXPECT_EQ(tank->m_ownShape->BlockCount(), 1);
    EXPECT_FLOAT_EQ(tank->m_ownShape->m_extents[2], 2.0f);
    ASSERT_NE(tank->m_light, nullptr);
    EXPECT_FLOAT_EQ(tank->m_light->m_light.dvRange, 9.0f);
    EXPECT_EQ(tank->FindChildById(3, 103)->m_light, nullptr);

    // Loading again replaces everything (nothing twice).
    ASSERT_TRUE(list.LoadProject(Folder("demo").c_str()));
    EXPECT_EQ(host.scene->m_templateCount, 3);
    EXPECT_EQ(list.m_content->m_textureCount, 1);
}

TEST_F(PackedProjectTest, ChildProjectsLoadBelowTheirParentAndALoadedIdIsSkipped) {
    SPackedProject top = TankProject();
    top.childFolders = {"Addon", "Again"};
    ASSERT_TRUE(Write("top", top));
    SPackedProject addon;
    addon.projectId = 4;
    addon.templates = {Node("CBaseClass", 4, 1, "Extra")};
    ASSERT_TRUE(Write("top/Addon", addon));
    // The same id as the parent's: read up to its record, nothing more.
    SPackedProject again = addon;
    again.projectId = 3;
    again.templates = {Node("CBaseClass", 3, 1, "Never")};
    ASSERT_TRUE(Write("top/Again", again));

    ASSERT_TRUE(list.LoadProject(Folder("top").c_str()));
    EXPECT_EQ(list.m_content->m_childCount, 2);
    EXPECT_NE(Find("Extra"), nullptr);
    EXPECT_EQ(Find("Never"), nullptr);
    EXPECT_NE(Find("Tank"), nullptr);
    int skipped = 0;
    for (CProject* c = list.m_content->m_children; c; c = c->m_childNext) skipped += c->m_skip;
    EXPECT_EQ(skipped, 1);
}

TEST_F(PackedProjectTest, ALaterProjectSupersedesRefersToAndOverridesAnEarlierOne) {
    SPackedProject base;
    base.projectId = 1;
    SPackedNode tank = Node("CUnit", 1, 10, "Tank", {{"Speed", "1"}},
                            {Node("CBaseClass", 1, 11, "Hull", {{"Look", "old"}}),
                             Node("CUnitWeapon", 1, 12, "Gun", {}, {Node("CBaseClass", 1, 13, "FirePoint")}),
                             Node("CBaseClass", 1, 14, "Flag")});
    base.templates = {tank, Node("CBaseClass", 1, 20, "Rock")};
    ASSERT_TRUE(Write("base", base));
    ASSERT_TRUE(list.LoadProject(Folder("base").c_str()));
    CTessarakObjectTemplate* oldTank = Find("Tank");
    ASSERT_NE(oldTank, nullptr);
    // A node of a class the game does not know, made in memory, copies as a
    // plain object template with a warning.
    CUnitVisual* odd = new CUnitVisual(host.scene, oldTank, 0, nullptr);
    odd->m_name = "Odd";
    odd->m_projectId = 1;
    odd->m_nodeId = 15;

    // The later project refers to the tank: it takes copies of the tank's
    // children, replaces the hull (override), refers to the gun (so the gun's
    // children come along and its own are added), and adds a part of its own.
    SPackedProject mod;
    mod.projectId = 2;
    SPackedNode modTank = Node(
        "CUnit", 1, 10, "Tank", {{"Speed", "3"}},
        {Node("CBaseClass", 1, 11, "Hull", {{"Look", "new"}}, {}, CUnitVisual::kOverride),
         Node("CUnitWeapon", 1, 12, "Gun", {}, {Node("CBaseClass", 2, 1, "Muzzle")}, CUnitVisual::kReference),
         Node("CBaseClass", 2, 2, "Antenna"),
         Node("CBaseClass", 2, 3, "Lonely", {}, {}, CUnitVisual::kOverride)},
        CUnitVisual::kReference);
    mod.templates = {modTank};
    ASSERT_TRUE(Write("mod", mod));
    CProject* later = LoadExtra("mod");
    ASSERT_NE(later, nullptr);

    CTessarakObjectTemplate* newTank = Find("Tank");
    ASSERT_NE(newTank, nullptr);
    ASSERT_NE(newTank, oldTank);
    EXPECT_EQ(host.scene->FindTemplateById(1, 10), newTank);
    EXPECT_EQ(oldTank->m_visualFlags & CUnitVisual::kSuperseded, CUnitVisual::kSuperseded);
    EXPECT_EQ(oldTank->m_onTemplateList, 0);
    EXPECT_EQ(newTank->m_referenceTarget, oldTank);
    EXPECT_STREQ(newTank->m_config.Find("Speed")->GetValueText(), "3");
    // Copied children first (in the old one's order, each at the head), then
    // the own ones at the head; each override or reference took its copy's place.
    EXPECT_EQ(Children(newTank),
              (std::vector<std::string>{"Lonely", "Antenna", "Gun", "Hull", "Flag", "Odd"}));
    EXPECT_STREQ(newTank->FindChildById(1, 11)->m_config.Find("Look")->GetValueText(), "new");
    EXPECT_EQ(newTank->FindChildById(1, 15)->m_classMask, 0x80000001u);
    EXPECT_NE(
        host.FindLine("Warning forcing unit to CTessarakObject ( Class name error ) : This child [ Odd ] : "
                      "Mother name [ Tank ]."),
        "");
    CUnitVisual* gun = newTank->FindChildById(1, 12);
    EXPECT_EQ(gun->m_classMask, 0x80000011u);
    EXPECT_EQ(Children(gun), (std::vector<std::string>{"Muzzle", "FirePoint"}));
    EXPECT_EQ(newTank->FindChildById(2, 3)->m_unmatched, 1);
    EXPECT_EQ(newTank->FindChildById(1, 11)->m_unmatched, 0);
    // The earlier project keeps its own tree untouched.
    EXPECT_EQ(Children(oldTank), (std::vector<std::string>{"Odd", "Flag", "Gun", "Hull"}));

    // When the later project goes, the earlier tank is the tank again.
    delete later;
    EXPECT_EQ(Find("Tank"), oldTank);
    EXPECT_EQ(oldTank->m_onTemplateList, 1);
    EXPECT_EQ(oldTank->m_visualFlags & CUnitVisual::kSuperseded, 0);
}

TEST_F(PackedProjectTest, LaterTexturesAndMaterialsReplaceEarlierOnes) {
    SPackedProject p;
    p.projectId = 5;
    SPackedMaterial a;
    a.name = "First";
    a.projectId = 5;
    a.materialId = 1;
    SPackedMaterial b = a;
    b.name = "Second";
    SPackedTexture t;
    t.name = "T1";
    t.projectId = 5;
    t.textureId = 2;
    SPackedTexture u = t;
    u.name = "T2";
    p.materials = {a, b};
    p.textures = {t, u};
    ASSERT_TRUE(Write("twice", p));
    ASSERT_TRUE(list.LoadProject(Folder("twice").c_str()));
    CProject* project = list.m_content;
    ASSERT_EQ(project->m_materialCount, 2);
    // Newest first in the project's lists.
    EXPECT_STREQ(project->m_materials->m_name.GetText(), "Second");
    EXPECT_EQ(project->m_materials->m_gameFlags & CGameMaterial::kReplaced, 0);
    EXPECT_EQ(project->m_materials->m_projectNext->m_gameFlags & CGameMaterial::kReplaced,
              CGameMaterial::kReplaced);
    EXPECT_EQ(list.FindMaterialById(nullptr, 5, 1), project->m_materials);
    EXPECT_EQ(project->m_textures->m_projectNext->m_gameFlags & CGameTexture::kReplaced,
              CGameTexture::kReplaced);
    EXPECT_EQ(list.FindTextureById(nullptr, 5, 2), project->m_textures);
}

// A material record older than version 29 is not read, and says so.
TEST_F(PackedProjectTest, AnOldMaterialRecordIsNotRead) {
    const uint8_t record[64] = {4, 0, 'O', 'l', 'd', '!'};
    for (int version : {28, 29}) {
        CGameMaterial material(&list, nullptr);
        CVFSFile file;
        ASSERT_TRUE(file.OpenMemory(record, sizeof record));
        host.lines.clear();
        const bool read = material.Read(file, version);
        if (version == 28) {
            EXPECT_FALSE(read);
            EXPECT_EQ(host.lines, std::vector<std::string>{"Unsupported file format for Material"});
            EXPECT_EQ(file.Tell(), 0u);
        } else {
            // The same bytes as a current record are read.
            EXPECT_TRUE(read);
            EXPECT_TRUE(host.lines.empty());
            EXPECT_STREQ(material.m_name.GetText(), "Old!");
        }
    }
}

TEST_F(PackedProjectTest, DamagedFilesAreRefusedWholeAndLeaveNothing) {
    // An earlier project whose tank a damaged one would supersede.
    SPackedProject base;
    base.projectId = 1;
    base.templates = {Node("CUnit", 1, 10, "Tank")};
    ASSERT_TRUE(Write("base", base));
    CProject* earlier = LoadExtra("base");
    ASSERT_NE(earlier, nullptr);
    CTessarakObjectTemplate* tank = Find("Tank");

    SPackedProject good = TankProject();
    good.templates.push_back(Node("CUnit", 1, 10, "Tank"));  // supersedes the earlier tank
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(PackedProject_Build(bytes, good));
    const std::string whole(bytes.begin(), bytes.end());
    // Each case in a folder of its own: the file table keeps what it learnt
    // of a file it opened.
    int cases = 0;
    auto expectRefused = [&](const std::string& file, const char* what, const char* line) {
        const std::string folder = "bad" + std::to_string(++cases);
        ASSERT_TRUE(dir.Write(folder + "/PackedProject.VXP", file));
        host.lines.clear();
        EXPECT_FALSE(list.LoadProject(Folder(folder).c_str())) << what;
        EXPECT_EQ(list.m_content->m_templateCount, 0) << what;
        EXPECT_EQ(list.m_content->m_textureCount + list.m_content->m_materialCount, 0) << what;
        EXPECT_EQ(list.m_content->m_childCount, 0) << what;
        EXPECT_EQ(Find("Rock"), nullptr) << what;
        // The earlier project's tank is the tank again.
        EXPECT_EQ(Find("Tank"), tank) << what;
        EXPECT_EQ(host.scene->m_templateCount, 1) << what;
        if (line) {
            EXPECT_NE(host.FindLine(line), "") << what << ::testing::PrintToString(host.lines);
        }
    };

    // Cut anywhere.
    for (size_t cut = 0; cut < whole.size(); cut += 1 + cut / 8)
        expectRefused(whole.substr(0, cut), "cut", nullptr);
    // A count (textures, materials, templates, a node's children) grown by a
    // bit flip: the file cannot hold it.
    // Signature, version, texts "Demo", "", "", blob size and "xyz", project
    // id, child count, event count, the event (id, "Boom").
    const size_t textureCount = 23 + 4 + (2 + 4) + 2 + 2 + 4 + 3 + 2 + 4 + 4 + (4 + 2 + 4);
    for (uint32_t bit : {0x100u, 0x10000u, 0x80000000u}) {
        std::string flipped = whole;
        PackWriter_Poke32(flipped, textureCount, bit);
        expectRefused(flipped, "texture count", "Error in");
    }
    // The version below 29.
    std::string old = whole;
    PackWriter_Poke32(old, 23, 28);
    expectRefused(old, "version", "Unsupported Proect fule format");
    // A class key the game does not know.
    SPackedProject unknown = good;
    unknown.templates[0].children[0].classKey = "CTank";
    bytes.clear();
    ASSERT_TRUE(PackedProject_Build(bytes, unknown));
    expectRefused(std::string(bytes.begin(), bytes.end()), "class", "Class not found: CTank");
    // A tree flag.
    SPackedProject tree = good;
    tree.templates[2].treeFlag = 1;
    bytes.clear();
    ASSERT_TRUE(PackedProject_Build(bytes, tree));
    expectRefused(std::string(bytes.begin(), bytes.end()), "tree", "Tessarak does not support BSP Trees");
    // Child projects outside the project's folder, and a missing one.
    for (const char* folder : {"..", "..\\base", "Z:\\tmp", "a/b", "missing"}) {
        SPackedProject outside = good;
        outside.childFolders = {folder};
        bytes.clear();
        ASSERT_TRUE(PackedProject_Build(bytes, outside));
        expectRefused(std::string(bytes.begin(), bytes.end()), folder, "Error in");
    }
    // A child folder name without its terminator.
    std::string unterminated = whole;
    SPackedProject named = good;
    named.childFolders = {"x"};
    bytes.clear();
    ASSERT_TRUE(PackedProject_Build(bytes, named));
    unterminated.assign(bytes.begin(), bytes.end());
    const size_t field = unterminated.find(std::string("x\0", 2));
    ASSERT_NE(field, std::string::npos);
    std::memset(&unterminated[field], 'x', 260);
    expectRefused(unterminated, "unterminated", "Error in");
    // A wrong signature and no file at all.
    expectRefused("Tessarak Packed Contenu" + whole.substr(23), "signature", nullptr);
    EXPECT_FALSE(list.LoadProject(Folder("nowhere").c_str()));

    // The intact file still loads after all that.
    ASSERT_TRUE(dir.Write("good/PackedProject.VXP", whole));
    EXPECT_TRUE(list.LoadProject(Folder("good").c_str())) << ::testing::PrintToString(host.lines);
    EXPECT_NE(Find("Rock"), nullptr);
}
