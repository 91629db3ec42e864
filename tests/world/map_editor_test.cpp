// The map editor's work on the world and the placement of a map's objects:
// CREATEUNIT places an object as a map does (next map id, layer, heading and
// scale increments, the team kept without its player, the spot's values);
// teams, layers (hidden and raised), turning and growing keep what the
// export writes; merging takes each close pair's second once; the spots of
// one seed are the same in every world; a unit that changes hands moves its
// counted cost (the energy accelerator) to the new owner.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "core/LittleEndian.h"
#include "e3d/Frame.h"
#include "tests/support/UnitWorldTest.h"
#include "world/GameMessages.h"
#include "world/MapEditor.h"
#include "world/TessarakObject.h"
#include "world/Unit.h"
#include "world/UnitTemplate.h"
#include "world/WorldCommands.h"

namespace {

class MapEditorTest : public UnitWorldTest {
protected:
    // Teams of their own, apart from the local player's 1.
    void SetUp() override {
        UnitWorldTest::SetUp();
        w.red->m_ownerId = 2;
        w.blue->m_ownerId = 3;
    }
    // Applies the CREATEUNIT and KILLUNIT messages sent so far as a turn's
    // orders would; the number applied.
    int ApplySent() {
        int n = 0;
        std::vector<CTestGameHost::SSent> sent;
        sent.swap(w.sent);
        for (const auto& m : sent)
            if (m.type == NS_NOTIFYTYPE_CREATEUNIT || m.type == NS_NOTIFYTYPE_KILLUNIT)
                n += w.world.ApplyOrder(static_cast<uint16_t>(m.type), m.data.data(), m.data.size());
        return n;
    }
    CTessarakObject* Newest() {
        CTessarakObject* last = nullptr;
        for (CTessarakObject* o = scene().m_allObjects; o; o = o->m_allNext)
            if (!last || o->m_objectId > last->m_objectId) last = o;
        return last;
    }
    // An object asked of the session and applied.
    CTessarakObject* Create(const char* name, const CGameScene::SPlacement& p) {
        EXPECT_TRUE(editor.RequestCreate(scene().FindTemplate(name), p));
        EXPECT_EQ(ApplySent(), 1);
        return Newest();
    }
    void Mark(std::initializer_list<CTessarakObject*> objects) {
        w.world.Commands().DeselectAll();
        for (CTessarakObject* o : objects) o->HandleMessage(CTessarakObject::kMsgSelect, 0);
    }
    CMapEditor editor{w.world};
};

}  // namespace

TEST_F(MapEditorTest, CreateUnitPlacesAsTheMapDoes) {
    scene().m_highestMapId = 40;
    scene().m_layerPositions[7] = 2.5f;
    CGameScene::SPlacement p;
    p.x = 3.0f;
    p.y = 2.5f;
    p.z = -4.0f;
    p.ownerId = w.blue->m_ownerId;
    p.layer = 7;
    p.headingIncrement = -1.0f;
    p.scaleIncrement = 0.5f;
    CTessarakObject* rock = Create("Rock_Large", p);
    ASSERT_NE(rock, nullptr);
    EXPECT_EQ(rock->m_mapId, 41);  // no map id given: the next
    EXPECT_EQ(scene().m_highestMapId, 41);
    EXPECT_EQ(rock->m_layer, 7u);
    EXPECT_EQ(rock->m_owner, w.blue);
    EXPECT_EQ(rock->m_mapTeam, w.blue->m_ownerId);
    EXPECT_FLOAT_EQ(rock->m_position[1], 2.5f);
    EXPECT_GE(rock->m_yaw, 0.0f);  // -1 wrapped into [0, 2 pi)
    EXPECT_NEAR(rock->m_yaw, 6.2831855f - 1.0f, 1e-5f);
    EXPECT_EQ(rock->m_headingIncrement, -1.0f);
    EXPECT_EQ(rock->m_scaleIncrement, 0.5f);
    EXPECT_FLOAT_EQ(rock->m_scale[0], 1.5f);

    // A map id of its own stays; a team nobody plays is kept for the map; a
    // spot takes its three values.
    const float values[3] = {2.0f, 1.0f, 0.1f};
    p = CGameScene::SPlacement();
    p.mapId = 7;
    p.ownerId = 9;
    p.spot = values;
    CTessarakObject* spot = Create("Game_Resource_Spot", p);
    ASSERT_NE(spot->m_resourceSpot, nullptr);
    EXPECT_EQ(spot->m_mapId, 7);
    EXPECT_EQ(spot->m_mapTeam, 9);
    EXPECT_TRUE(!spot->m_owner || spot->m_owner->IsNeutral());
    EXPECT_EQ(spot->m_resourceSpot->m_base, 2.0f);
    EXPECT_EQ(spot->m_resourceSpot->m_speed, 0.1f);
    EXPECT_EQ(scene().m_highestMapId, 41);

    // A scene cleared starts its map ids again; one loaded from a saved
    // state goes on after the highest loaded.
    CStateArchive saved;
    scene().SaveObjects(saved);
    scene().Clear();
    EXPECT_EQ(scene().m_highestMapId, 0);
    CStateArchive in(saved.GetData(), saved.GetBuffer().size(), CStateArchive::kApply);
    ASSERT_TRUE(scene().LoadObjects(in));
    EXPECT_EQ(scene().m_highestMapId, 41);

    // A layer outside 0 to 255 is refused whole.
    uint8_t data[50];
    p = CGameScene::SPlacement();
    const int length = CreateUnit_Encode(scene(), scene().FindTemplate("Rock_Large"), p, data);
    LE_StoreU32(data + 30, 256);
    const int32_t before = scene().m_objectCount;
    EXPECT_FALSE(w.world.ApplyOrder(NS_NOTIFYTYPE_CREATEUNIT, data, static_cast<size_t>(length)));
    EXPECT_EQ(scene().m_objectCount, before);
}

// CREATEUNIT of another length than its template's (38, or 50 for the
// special template) says "Bogus create unit datasize": a longer one still
// makes its object, a shorter one makes none. Every one, refused or not, ends
// the placement that waits for it.
TEST_F(MapEditorTest, ACreateUnitOfAnotherLengthSaysBogusDatasize) {
    struct SCase {
        const char* tmpl;
        size_t length;
        bool made;
        bool bogus;
    } cases[] = {
        {"Rock_Large", 38, true, false},         {"Rock_Large", 40, true, true},
        {"Rock_Large", 50, true, true},          {"Rock_Large", 37, false, true},
        {"Game_Resource_Spot", 50, true, false}, {"Game_Resource_Spot", 54, true, true},
        {"Game_Resource_Spot", 38, false, true}, {"Game_Resource_Spot", 0, false, true},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(std::string(c.tmpl) + " " + std::to_string(c.length));
        std::vector<uint8_t> data(64, 0);
        CreateUnit_Encode(scene(), scene().FindTemplate(c.tmpl), CGameScene::SPlacement(), data.data());
        data.resize(c.length);
        const int32_t before = scene().m_objectCount;
        const uint32_t handled = scene().m_createUnitsHandled;
        w.lines.clear();
        EXPECT_EQ(w.world.ApplyOrder(NS_NOTIFYTYPE_CREATEUNIT, data.data(), data.size()), c.made);
        EXPECT_EQ(scene().m_objectCount, before + (c.made ? 1 : 0));
        EXPECT_EQ(scene().m_createUnitsHandled, handled + 1);
        const bool said =
            std::find(w.lines.begin(), w.lines.end(), "Bogus create unit datasize") != w.lines.end();
        EXPECT_EQ(said, c.bogus);
    }
    // An unknown template is its own complaint, and ends the wait too.
    std::vector<uint8_t> data(50, 0);
    CreateUnit_Encode(scene(), scene().FindTemplate("Rock_Large"), CGameScene::SPlacement(), data.data());
    LE_StoreU32(data.data() + 2, 999999);
    const uint32_t handled = scene().m_createUnitsHandled;
    w.lines.clear();
    EXPECT_FALSE(w.world.ApplyOrder(NS_NOTIFYTYPE_CREATEUNIT, data.data(), 38));
    EXPECT_EQ(scene().m_createUnitsHandled, handled + 1);
    ASSERT_FALSE(w.lines.empty());
    EXPECT_NE(w.lines.back().find("Received bogus create unit call"), std::string::npos);
}

// The map's objects placed for an owner id that no player had stay unowned;
// a player with that owner id takes them (AttachOwnedObjects), but never an
// object another player holds.
TEST_F(MapEditorTest, APlayerTakesTheMapsObjectsOfItsOwnerId) {
    CGameScene::SPlacement p;
    p.ownerId = 9;
    CTessarakObject* rock = Create("Rock_Large", p);
    ASSERT_NE(rock, nullptr);
    EXPECT_TRUE(!rock->m_owner || rock->m_owner->IsNeutral());
    CTessarakObject* held = Create("Rock_Large", p);
    held->SetOwner(w.red);
    CPlayer* late = new CPlayer(w.players);
    late->SetId(7);
    late->m_ownerId = 9;
    late->AttachOwnedObjects();
    EXPECT_EQ(rock->m_owner, late);
    EXPECT_EQ(held->m_owner, w.red);
    // The neutral player takes nothing this way.
    rock->SetOwner(w.players->m_neutral);
    w.players->m_neutral->AttachOwnedObjects();
    EXPECT_TRUE(rock->m_owner->IsNeutral());
}

TEST_F(MapEditorTest, TeamsLayersTurnsAndGrowthOfTheMarkedObjects) {
    CGameScene::SPlacement p;
    CTessarakObject* a = Create("Rock_Large", p);
    p.x = 10.0f;
    CTessarakObject* b = Create("Tree_Pine", p);
    CTessarakObject* c = Create("Tree_Pine", (p.x = 20.0f, p));
    Mark({a, b});
    EXPECT_EQ(editor.Marked().size(), 2u);

    EXPECT_EQ(editor.SetTeam(w.red->m_ownerId), 2);
    EXPECT_EQ(a->m_owner, w.red);
    EXPECT_EQ(b->m_mapTeam, w.red->m_ownerId);
    EXPECT_EQ(editor.SetTeam(200), 2);  // nobody plays it: neutral, the map keeps 200
    EXPECT_TRUE(a->m_owner->IsNeutral());
    EXPECT_EQ(a->m_mapTeam, 200);
    EXPECT_EQ(editor.SetTeam(256), -1);

    scene().m_layerPositions[3] = 1.25f;
    EXPECT_EQ(editor.SetLayer(3), 2);
    EXPECT_EQ(a->m_layer, 3u);
    EXPECT_EQ(a->m_position[1], 1.25f);
    EXPECT_EQ(c->m_layer, 0u);
    EXPECT_EQ(editor.SetLayer(-1), -1);
    EXPECT_EQ(editor.SetLayer(256), -1);

    // Hiding a layer hides its objects at the next update, and shows them
    // again; raising it lifts them.
    EXPECT_TRUE(editor.HideLayer(3));
    EXPECT_TRUE(editor.LayerHidden(3));
    EXPECT_EQ(a->m_pendingVisibility, 1);
    EXPECT_EQ(c->m_pendingVisibility, 0);
    EXPECT_TRUE(editor.HideLayer(3));
    EXPECT_EQ(b->m_pendingVisibility, -1);
    EXPECT_FALSE(editor.HideLayer(256));
    EXPECT_TRUE(editor.RaiseLayer(3, 0.5f));
    EXPECT_EQ(b->m_position[1], 1.75f);
    EXPECT_EQ(scene().m_layerPositions[3], 1.75f);

    // Turning and growing keep the increments the export writes.
    const float yaw = a->m_yaw;
    EXPECT_EQ(editor.TurnMarked(0.5f), 2);
    EXPECT_NEAR(a->m_yaw, yaw + 0.5f, 1e-6f);
    EXPECT_EQ(a->m_headingIncrement, 0.5f);
    EXPECT_EQ(editor.TurnMarked(-1.0f), 2);
    EXPECT_NEAR(a->m_headingIncrement, 6.2831855f - 0.5f, 1e-5f);
    EXPECT_EQ(editor.GrowMarked(0.25f), 2);
    EXPECT_EQ(a->m_scaleIncrement, 0.25f);
    EXPECT_FLOAT_EQ(a->m_scale[2], 1.25f);
    EXPECT_EQ(c->m_scaleIncrement, 0.0f);

    // Duplicating makes each marked object again where it stands, with the
    // next map ids.
    scene().m_highestMapId = 70;
    EXPECT_EQ(editor.DuplicateMarked(), 2);
    EXPECT_EQ(ApplySent(), 2);
    for (int32_t mapId : {71, 72}) {
        CTessarakObject* copy = nullptr;
        for (CTessarakObject* o = scene().m_allObjects; o; o = o->m_allNext)
            if (o->m_mapId == mapId) copy = o;
        ASSERT_NE(copy, nullptr) << mapId;
        CTessarakObject* original = copy->m_template == a->m_template ? a : b;
        EXPECT_EQ(copy->m_layer, 3u);
        EXPECT_EQ(copy->m_mapTeam, 200);
        EXPECT_EQ(copy->m_position[0], original->m_position[0]);
        EXPECT_EQ(copy->m_position[1], original->m_position[1]);
        EXPECT_NEAR(copy->m_yaw, original->m_yaw, 1e-5f);
        EXPECT_FLOAT_EQ(copy->m_scale[0], original->m_scale[0]);
    }

    // Deleting takes the marked ones off the map on every machine: KILLUNIT
    // with "remove", one each.
    EXPECT_EQ(editor.DeleteMarked(), 2);
    EXPECT_EQ(ApplySent(), 2);
    EXPECT_TRUE(a->m_flagsA & kFrameOnUpdateList);
    EXPECT_TRUE(b->m_flagsA & kFrameOnUpdateList);
    EXPECT_FALSE(c->m_flagsA & kFrameOnUpdateList);
}

TEST_F(MapEditorTest, MergePaintCheckPanelAndMarks) {
    CGameScene::SPlacement p;
    for (float x : {0.0f, 0.5f, 1.0f, 30.0f}) {
        p.x = x;
        Create("Rock_Small", p);
    }
    // 0 and 0.5, 0.5 and 1 and 0 and 1 are close. The scene's list holds
    // the newest first: 1 stays, 0.5 and then 0 go, each once; the far one
    // stays.
    const std::vector<const CTessarakObject*> taken = editor.Merge(1.0f);
    ASSERT_EQ(taken.size(), 2u);
    EXPECT_EQ(taken[0]->m_position[0], 0.5f);
    EXPECT_EQ(taken[1]->m_position[0], 0.0f);
    EXPECT_EQ(ApplySent(), 2);

    // The paint's check: no point of the new footprint inside nine tenths of
    // another's on the current layer.
    CTessarakObjectTemplate* rock = scene().FindTemplate("Rock_Small");
    EXPECT_FALSE(editor.MayPlace(rock, 30.0f, 0.0f));
    EXPECT_TRUE(editor.MayPlace(rock, 30.0f + 4.0f * rock->m_footprintHalf[0], 0.0f));
    scene().m_editLayer = 1;
    EXPECT_TRUE(editor.MayPlace(rock, 30.0f, 0.0f));
    scene().m_editLayer = 0;

    // The panel's rows from the offset; the offset stops at both ends.
    EXPECT_EQ(editor.PanelTemplate(0), scene().m_templates);
    EXPECT_EQ(editor.PanelTemplate(2), scene().m_templates->m_listNext->m_listNext);
    editor.MoveOffset(2);
    EXPECT_EQ(editor.PanelTemplate(0), scene().m_templates->m_listNext->m_listNext);
    editor.MoveOffset(-5);
    EXPECT_EQ(editor.PanelTemplate(0), scene().m_templates);
    editor.MoveOffset(100000);
    EXPECT_NE(editor.PanelTemplate(0), nullptr);
    EXPECT_EQ(editor.PanelTemplate(0)->m_listNext, nullptr);
    EXPECT_EQ(editor.PanelTemplate(1), nullptr);

    // What a script just made is marked, nothing else.
    const int32_t first = scene().m_idTable.GetCounter();
    p.x = -20.0f;
    CTessarakObject* fresh = Create("Tree_Round", p);
    EXPECT_GE(editor.MarkFrom(first), 1);
    EXPECT_EQ(editor.Marked().front(), fresh->m_objectId);
    for (int32_t id : editor.Marked()) EXPECT_GE(id, first);
}

TEST_F(MapEditorTest, SpotsOfASeedAreTheSameInEveryWorldAndMoveByTheConfig) {
    // Two worlds, the same seed: the same messages byte for byte; another
    // seed other spots.
    auto scatter = [](CUnitWorld& world, uint32_t seed) {
        world.scene->m_spotSizeMin = 2.0f;
        world.scene->m_spotSizeMax = 3.0f;
        world.sent.clear();
        CMapEditor(world.world).ScatterSpots(6, seed);
        std::vector<std::vector<uint8_t>> out;
        for (const auto& m : world.sent)
            if (m.type == NS_NOTIFYTYPE_CREATEUNIT) out.push_back(m.data);
        return out;
    };
    CUnitWorld other;
    std::string error;
    ASSERT_TRUE(other.LoadDemoTemplates(error)) << error;
    const auto first = scatter(w, 1234);
    ASSERT_EQ(first.size(), 6u);
    EXPECT_EQ(scatter(other, 1234), first);
    EXPECT_NE(scatter(other, 99), first);
    for (const auto& m : first) {
        ASSERT_EQ(m.size(), 50u);
        float x, z, size;
        std::memcpy(&x, m.data() + 6, 4);
        std::memcpy(&z, m.data() + 14, 4);
        std::memcpy(&size, m.data() + 38, 4);
        EXPECT_TRUE(x >= -64.0f && x < 64.0f && z >= -64.0f && z < 64.0f) << x << " " << z;
        EXPECT_TRUE(size >= 2.0f && size <= 3.0f) << size;
    }
    w.sent.clear();
    scatter(w, 1234);
    EXPECT_EQ(ApplySent(), 6);

    // The spot configuration's movement is how far a field's value swings
    // about its size.
    CTessarakObject* spot = Newest();
    ASSERT_NE(spot->m_resourceSpot, nullptr);
    const float base = spot->m_resourceSpot->m_base;
    auto swing = [&](float movement) {
        scene().m_spotMovement = movement;
        float most = 0.0f;
        for (int i = 0; i < 60; ++i) {
            w.Tick();
            most = std::max(most, std::fabs(spot->m_resourceSpot->m_current - base));
        }
        return most;
    };
    EXPECT_LE(swing(0.0f), 1e-6f);
    const float wide = swing(1.5f);
    EXPECT_GT(wide, 0.01f);
    EXPECT_LE(wide, 1.5f + 1e-5f);
}

TEST_F(MapEditorTest, ANewOwnerTakesTheUnitsCountedCost) {
    CUnitTemplate* plant = w.MakeUnitTemplate("Test_Accelerator", {{"EnergyAccelerator", "0.5"}});
    CTessarakObject* o = w.world.CreateUnit(plant, 0.0f, 0.0f, w.red, scene().m_idTable.NewId());
    ASSERT_TRUE(o && o->IsUnit());
    const float red = w.red->m_energyAccelerator, blue = w.blue->m_energyAccelerator;
    w.Tick();
    EXPECT_FLOAT_EQ(w.red->m_energyAccelerator, red + 0.5f);
    o->SetOwner(w.blue);
    EXPECT_FLOAT_EQ(w.red->m_energyAccelerator, red);
    EXPECT_FLOAT_EQ(w.blue->m_energyAccelerator, blue);
    w.Tick();
    EXPECT_FLOAT_EQ(w.red->m_energyAccelerator, red);
    EXPECT_FLOAT_EQ(w.blue->m_energyAccelerator, blue + 0.5f);
    o->SetOwner(w.blue);  // the same owner again: nothing moves
    EXPECT_FLOAT_EQ(w.blue->m_energyAccelerator, blue + 0.5f);
}
