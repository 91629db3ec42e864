// Picking and orders from the mouse, through a viewport of the game view's
// shape (no display needed: the pick ray and the projection are the view's
// arithmetic): what a click, a drag, a double click and a right click on the
// ground, an enemy or a resource field select and order through the
// interface's mouse orders and the world's order interface, checked in the
// units' queues, the messages sent and the interface's fields.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/Math.h"
#include "e3d/View.h"
#include "e3d/Viewport.h"
#include "platform/d3d/D3DDeviceState.h"
#include "tests/support/UnitWorld.h"
#include "ui/InterfaceFields.h"
#include "ui/MouseOrders.h"
#include "world/GameMessages.h"
#include "world/Player.h"
#include "world/Unit.h"
#include "world/UnitOrder.h"
#include "world/WorldCommands.h"
#include "world/WorldGrid.h"

namespace {

constexpr int kOrderMessage = NS_NOTIFYTYPE_ORDER;

class SelectionTest : public ::testing::Test {
protected:
    SelectionTest() : view(nullptr) {}
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(w.LoadDemoTemplates(error)) << error;
        w.players->m_local = w.red;
        view.SetRect(0, 0, 640, 480);
        view.m_view->LookAt(D3DVECTOR{0.0f, 30.0f, -20.0f}, D3DVECTOR{0.0f, 0.0f, 0.0f}, 0.0f);
        view.m_view->SetProjection(1.0f, 200.0f, 1.0471976f, 640.0f / 480.0f, true);
        view.m_combined = D3D_Multiply(view.m_view->view, view.m_view->projection);
        orders.SetWorld(&w.world);
        orders.SetViewport(&view);
    }

    CUnit* Spawn(const char* name, float x, float z, CPlayer* owner) {
        CUnit* u = w.Spawn(name, x, z, owner);
        EXPECT_NE(u, nullptr) << name;
        return u;
    }
    std::vector<int32_t> Pixel(float x, float z) {
        int32_t p[2] = {0, 0};
        view.ProjectPoint(p, D3DVECTOR{x, 0.0f, z});
        return {p[0], p[1]};
    }
    // A click of mode at the ground point, the cursor on it.
    bool Click(float x, float z, int32_t mode) {
        std::vector<int32_t> p = Pixel(x, z);
        ui.m_cursorX = p[0];
        ui.m_cursorY = p[1];
        return orders.IssueOrder(x, z, x, z, p[0], p[1], p[0], p[1], mode, false, Modes(), false);
    }
    bool ClickOn(CTessarakObject* o, int32_t mode) { return Click(o->m_position[0], o->m_position[2], mode); }
    // A box between two ground points.
    bool Drag(float x1, float z1, float x2, float z2) {
        std::vector<int32_t> a = Pixel(x1, z1), b = Pixel(x2, z2);
        ui.m_cursorX = b[0];
        ui.m_cursorY = b[1];
        return orders.IssueOrder(x1, z1, x2, z2, std::min(a[0], b[0]), std::min(a[1], b[1]),
                                 std::max(a[0], b[0]), std::max(a[1], b[1]), 1, false, Modes(), false);
    }
    static bool Selected(const CTessarakObject* o) {
        return (o->m_stateA & CTessarakObject::kA_Selected) != 0;
    }
    static std::vector<CUnitOrder*> Queue(CUnit* u) {
        std::vector<CUnitOrder*> q;
        for (CUnitOrder* o = u->m_orderList->LastChild(); o; o = o->Prev()) q.push_back(o);  // front first
        return q;
    }
    int Sent(int type) const {
        int n = 0;
        for (const auto& s : w.sent) n += s.type == type;
        return n;
    }

    // The modes the input holds: the queue mode while queued is set.
    uint32_t Modes() const { return queued ? kCommandQueue : 0u; }

    CUnitWorld w;
    CE3DViewport view;
    SInterfaceFields ui;
    CMouseOrders orders{ui};
    bool queued = false;
};

TEST_F(SelectionTest, TheViewPickTakesTheNearestShownGridMember) {
    CUnit* a = Spawn("Granite_LightTank", -6.0f, 0.0f, w.red);
    CUnit* b = Spawn("Granite_LightTank", 6.0f, 2.0f, w.red);
    std::vector<int32_t> pa = Pixel(-6.0f, 0.0f), pb = Pixel(6.0f, 2.0f), empty = Pixel(0.0f, -8.0f);
    EXPECT_EQ(orders.PickObject(pa[0], pa[1]), a);
    EXPECT_EQ(orders.PickObject(pb[0], pb[1]), b);
    EXPECT_EQ(orders.PickObject(empty[0], empty[1]), nullptr);
    // Two at the same place: the first of the root's children (the newest).
    CUnit* c = Spawn("Granite_LightTank", 6.0f, 2.0f, w.red);
    EXPECT_EQ(orders.PickObject(pb[0], pb[1]), c);
    // A scaffold, or a unit of grid flag 0x40, is never picked.
    for (uint8_t flag : {uint8_t(CGridMember::kG_Marked), uint8_t(CUnit::kG_Blocked)}) {
        c->m_gridFlags |= flag;
        EXPECT_EQ(orders.PickObject(pb[0], pb[1]), b);
        c->m_gridFlags &= ~flag;
    }
    // With the full-screen radar shown the radar's cursor cell decides,
    // within 6 cells, wherever the mouse is.
    ui.m_fullScreenRadar = 1;
    int cx = 0, cy = 0;
    w.grid->m_cellMap.CellOf(-6.0f, 0.0f, cx, cy);
    ui.m_radarCursor[0] = cx + 5;
    ui.m_radarCursor[1] = cy;
    EXPECT_EQ(orders.PickObject(pb[0], pb[1]), a);
    ui.m_radarCursor[0] = cx + 6;
    EXPECT_EQ(orders.PickObject(pb[0], pb[1]), nullptr);
}

TEST_F(SelectionTest, ClicksAndBoxesSelect) {
    CUnit* a = Spawn("Granite_LightTank", -6.0f, 0.0f, w.red);
    CUnit* b = Spawn("Granite_LightTank", 6.0f, 2.0f, w.red);
    CUnit* enemy = Spawn("Coral_LightTank", 0.0f, 6.0f, w.blue);
    // A selecting click on a unit selects it alone.
    EXPECT_TRUE(ClickOn(a, 1));
    EXPECT_TRUE(Selected(a));
    EXPECT_EQ(ui.m_singleUnit, a->m_objectId);
    EXPECT_TRUE(ui.m_anyUnitSelected);
    EXPECT_TRUE(ClickOn(b, 1));
    EXPECT_FALSE(Selected(a));
    EXPECT_TRUE(Selected(b));
    // With the queue modifier a click adds, and a second takes away.
    queued = true;
    ClickOn(a, 1);
    EXPECT_TRUE(Selected(a) && Selected(b));
    EXPECT_EQ(ui.m_singleUnit, -1);
    ClickOn(a, 1);
    EXPECT_FALSE(Selected(a));
    queued = false;
    // On the ground or on an enemy nothing changes.
    ui.m_selectionChanged = 0;
    EXPECT_TRUE(Click(0.0f, -8.0f, 1));
    EXPECT_TRUE(ClickOn(enemy, 1));
    EXPECT_TRUE(Selected(b));
    EXPECT_FALSE(Selected(enemy));
    // A box over both: both, never the enemy; a box over nothing but ground
    // leaves the selection as it was.
    EXPECT_TRUE(Drag(-10.0f, -4.0f, 10.0f, 8.0f));
    EXPECT_TRUE(Selected(a) && Selected(b));
    EXPECT_FALSE(Selected(enemy));
    EXPECT_TRUE(Drag(20.0f, -20.0f, 30.0f, -10.0f));
    EXPECT_TRUE(Selected(a) && Selected(b));

    // 3 pixels wide and 10 high is a click (at the cursor); 4 by 4 is a box.
    std::vector<int32_t> pa = Pixel(-6.0f, 0.0f), pb = Pixel(6.0f, 2.0f);
    ui.m_cursorX = pa[0];
    ui.m_cursorY = pa[1];
    orders.IssueOrder(-6.0f, 0.0f, -6.0f, 0.0f, pb[0] - 1, pb[1] - 5, pb[0] + 2, pb[1] + 5, 1, false, Modes(),
                      false);
    EXPECT_TRUE(Selected(a));
    EXPECT_FALSE(Selected(b));
    orders.IssueOrder(-6.0f, 0.0f, -6.0f, 0.0f, pb[0] - 2, pb[1] - 2, pb[0] + 2, pb[1] + 2, 1, false, Modes(),
                      false);
    EXPECT_FALSE(Selected(a));
    EXPECT_TRUE(Selected(b));

    // A click outside the map changes nothing and says so.
    EXPECT_FALSE(Click(70.0f, 0.0f, 1));
    EXPECT_TRUE(Selected(b));
}

TEST_F(SelectionTest, AMixedBoxKeepsTheLargerHalf) {
    struct {
        int tanks, harvesters;
        bool keepTanks;
    } cases[] = {{3, 2, true}, {2, 2, true}, {1, 2, false}};
    for (const auto& c : cases) {
        std::vector<CUnit*> tanks, harvesters;
        for (int i = 0; i < c.tanks; ++i)
            tanks.push_back(Spawn("Granite_LightTank", -8.0f + 3.0f * i, 0.0f, w.red));
        for (int i = 0; i < c.harvesters; ++i)
            harvesters.push_back(Spawn("Granite_Harvester", -8.0f + 3.0f * i, 4.0f, w.red));
        CUnit* depot = Spawn("Granite_Depot", 6.0f, 2.0f, w.red);
        Drag(-10.0f, -2.0f, 9.0f, 6.0f);
        for (CUnit* t : tanks) EXPECT_EQ(Selected(t), c.keepTanks) << c.tanks << " and " << c.harvesters;
        for (CUnit* h : harvesters)
            EXPECT_EQ(Selected(h), !c.keepTanks) << c.tanks << " and " << c.harvesters;
        EXPECT_FALSE(Selected(depot));
        for (CUnit* u : tanks) w.scene->DeleteObject(u);
        for (CUnit* u : harvesters) w.scene->DeleteObject(u);
        w.scene->DeleteObject(depot);
    }
}

TEST_F(SelectionTest, ARightClickOrdersByWhatIsUnderIt) {
    CUnit* tank = Spawn("Granite_LightTank", -6.0f, 0.0f, w.red);
    CUnit* harvester = Spawn("Granite_Harvester", -3.0f, -3.0f, w.red);
    CUnit* enemy = Spawn("Coral_LightTank", 8.0f, 6.0f, w.blue);
    const float at[3] = {4.0f, 0.0f, -6.0f};
    CTessarakObject* spot = w.scene->CreateObjectByClass(w.scene->m_spotTemplate, at, w.players->m_neutral,
                                                         w.scene->m_idTable.NewId());
    ASSERT_NE(spot, nullptr);
    ASSERT_GT(spot->m_resourceType, 0);
    ClickOn(tank, 1);
    queued = true;  // adds to the selection
    ClickOn(harvester, 1);
    queued = false;
    ASSERT_TRUE(Selected(tank) && Selected(harvester));

    // The ground: both move there, each sent at once.
    EXPECT_TRUE(Click(0.0f, 10.0f, 2));
    for (CUnit* u : {tank, harvester}) {
        std::vector<CUnitOrder*> q = Queue(u);
        ASSERT_EQ(q.size(), 1u);
        EXPECT_EQ(q[0]->m_type, CUnitOrder::kMove);
        EXPECT_NEAR(q[0]->m_target[0], 0.0f, 2.0f);
        EXPECT_NEAR(q[0]->m_target[2], 10.0f, 2.0f);
        EXPECT_TRUE(q[0]->m_sent);
    }
    EXPECT_EQ(Sent(kOrderMessage), 2);
    // With the queue modifier a second ground click goes behind the first,
    // unsent until the first is done; the first stays.
    queued = true;
    EXPECT_TRUE(Click(10.0f, 10.0f, 2));
    queued = false;
    for (CUnit* u : {tank, harvester}) {
        std::vector<CUnitOrder*> q = Queue(u);
        ASSERT_EQ(q.size(), 2u);
        EXPECT_NEAR(q[0]->m_target[0], 0.0f, 2.0f);
        EXPECT_TRUE(q[0]->m_sent);
        EXPECT_EQ(q[1]->m_type, CUnitOrder::kMove);
        EXPECT_NEAR(q[1]->m_target[0], 10.0f, 2.0f);
        EXPECT_FALSE(q[1]->m_sent);
    }
    EXPECT_EQ(Sent(kOrderMessage), 2);

    // An enemy: both attack it, in place of what they had queued.
    EXPECT_TRUE(ClickOn(enemy, 2));
    for (CUnit* u : {tank, harvester}) {
        std::vector<CUnitOrder*> q = Queue(u);
        ASSERT_FALSE(q.empty());
        CUnitOrder* last = q.back();
        ASSERT_EQ(last->m_type, CUnitOrder::kAttack);
        EXPECT_EQ(static_cast<CAttackOrder*>(last)->m_targetLink.Get(), enemy);
        EXPECT_EQ(static_cast<CAttackOrder*>(last)->m_ground, 0);
    }

    // An enemy building: the same, the armed and the unarmed alike.
    CUnit* base = Spawn("Coral_Headquarters", 20.0f, 20.0f, w.blue);
    EXPECT_TRUE(ClickOn(base, 2));
    for (CUnit* u : {tank, harvester}) {
        std::vector<CUnitOrder*> q = Queue(u);
        ASSERT_FALSE(q.empty());
        ASSERT_EQ(q.back()->m_type, CUnitOrder::kAttack);
        EXPECT_EQ(static_cast<CAttackOrder*>(q.back())->m_targetLink.Get(), base);
    }

    // A resource field: the harvester harvests it; the tank has nothing to
    // carry and keeps its orders.
    const size_t tankOrders = Queue(tank).size();
    EXPECT_TRUE(ClickOn(spot, 2));
    std::vector<CUnitOrder*> q = Queue(harvester);
    ASSERT_EQ(q.size(), 1u);
    ASSERT_EQ(q[0]->m_type, CUnitOrder::kHarvest);
    EXPECT_EQ(static_cast<CHarvestOrder*>(q[0])->m_resource.Get(), spot);
    EXPECT_FLOAT_EQ(q[0]->m_target[0], 4.0f);
    EXPECT_EQ(Queue(tank).size(), tankOrders);

    // An enemy of a Friendly template: nothing at all.
    enemy->UnitTemplate()->m_friendly = 1;
    ui.m_selectionChanged = 0;
    const size_t before = Queue(tank).size();
    EXPECT_TRUE(ClickOn(enemy, 2));
    EXPECT_EQ(Queue(tank).size(), before);
    EXPECT_EQ(ui.m_selectionChanged, 0);
}

TEST_F(SelectionTest, PendingOrdersQueueingAndFog) {
    CUnit* tank = Spawn("Granite_LightTank", -6.0f, 0.0f, w.red);
    CUnit* enemy = Spawn("Coral_LightTank", 8.0f, 6.0f, w.blue);
    ClickOn(tank, 1);
    // A pending attack with the queue modifier: appended to what the unit
    // has, and still pending for the next click.
    ui.m_pendingOrder = CUnitOrder::kAttack;
    queued = true;
    ClickOn(enemy, 0);
    ClickOn(enemy, 0);
    std::vector<CUnitOrder*> q = Queue(tank);
    ASSERT_EQ(q.size(), 2u);
    EXPECT_EQ(q[0]->m_type, CUnitOrder::kAttack);
    EXPECT_EQ(q[1]->m_type, CUnitOrder::kAttack);
    EXPECT_EQ(ui.m_pendingOrder, CUnitOrder::kAttack);
    // Without it the queue starts again and the order is used up.
    queued = false;
    ClickOn(enemy, 0);
    EXPECT_EQ(Queue(tank).size(), 1u);
    EXPECT_EQ(ui.m_pendingOrder, 0u);

    // Where the player does not see (the cell below 120), the ground is
    // attacked even with a unit under the cursor.
    int cx = 0, cy = 0;
    w.grid->m_cellMap.CellOf(8.0f, 6.0f, cx, cy);
    w.grid->m_cellMap.At(cx, cy)->state = 100;
    ui.m_pendingOrder = CUnitOrder::kAttack;
    ClickOn(enemy, 0);
    q = Queue(tank);
    ASSERT_EQ(q.size(), 1u);
    CAttackOrder* attack = static_cast<CAttackOrder*>(q[0]);
    EXPECT_EQ(attack->m_ground, 1);
    EXPECT_FALSE(attack->m_targetLink);
    EXPECT_FLOAT_EQ(attack->m_destination[0], 8.0f);
    EXPECT_FLOAT_EQ(attack->m_destination[2], 6.0f);
    w.grid->m_cellMap.At(cx, cy)->state = 255;

    // A move given with the queue modifier is appended unsent: the queue
    // sends it in its turn.
    const int sent = Sent(kOrderMessage);
    queued = true;
    Click(0.0f, 10.0f, 3);
    q = Queue(tank);
    ASSERT_EQ(q.size(), 2u);
    EXPECT_EQ(q[1]->m_type, CUnitOrder::kMove);
    EXPECT_FALSE(q[1]->m_sent);
    EXPECT_TRUE(q[1]->m_issuedHere);
    EXPECT_EQ(Sent(kOrderMessage), sent);
    queued = false;

    // A patrol given to a structure is its rally point: a move there.
    CUnit* depot = Spawn("Granite_Depot", 2.0f, -4.0f, w.red);
    ClickOn(depot, 1);
    ui.m_pendingOrder = CUnitOrder::kPatrol;
    Click(-2.0f, 8.0f, 0);
    q = Queue(depot);
    ASSERT_EQ(q.size(), 1u);
    EXPECT_EQ(q[0]->m_type, CUnitOrder::kMove);
    EXPECT_FLOAT_EQ(q[0]->m_target[2], 8.0f);
}

TEST_F(SelectionTest, ADoubleClickSelectsTheTypeOnScreen) {
    std::vector<CUnit*> mine = {Spawn("Granite_LightTank", -6.0f, 0.0f, w.red),
                                Spawn("Granite_LightTank", 0.0f, 4.0f, w.red),
                                Spawn("Granite_LightTank", 6.0f, 2.0f, w.red)};
    CUnit* far = Spawn("Granite_LightTank", 60.0f, -60.0f, w.red);
    CUnit* other = Spawn("Granite_HeavyTank", 2.0f, -2.0f, w.red);
    CUnit* enemy = Spawn("Coral_LightTank", 3.0f, 6.0f, w.blue);
    std::vector<int32_t> p = Pixel(0.0f, 4.0f);
    ui.m_cursorX = p[0];
    ui.m_cursorY = p[1];
    EXPECT_TRUE(orders.IssueOrder(0, 0, 0, 0, 0, 0, 0, 0, 0, true, Modes(), false));
    for (CUnit* u : mine) EXPECT_TRUE(Selected(u));
    EXPECT_FALSE(Selected(far));
    EXPECT_FALSE(Selected(other));
    EXPECT_FALSE(Selected(enemy));
    EXPECT_TRUE(ui.m_selectionChanged);
}

TEST_F(SelectionTest, TheEditorTools) {
    CUnit* a = Spawn("Granite_LightTank", 3.0f, 4.0f, w.red);
    CUnit* b = Spawn("Granite_LightTank", -5.0f, 1.0f, w.red);
    a->HandleMessage(CTessarakObject::kMsgSelect, 0);
    b->HandleMessage(CTessarakObject::kMsgSelect, 0);
    // Angle 0 and factor 1 leave every place as it was; a quarter turn
    // about the origin turns (3, 4) into (4, -3) or (-4, 3).
    w.scene->RotateSelection(1.0f, 1.0f, 0.0f);
    w.scene->ScaleSelection(1.0f, 1.0f, 1.0f);
    EXPECT_NEAR(a->m_position[0], 3.0f, 1e-4f);
    EXPECT_NEAR(a->m_position[2], 4.0f, 1e-4f);
    EXPECT_NEAR(b->m_position[0], -5.0f, 1e-4f);
    w.scene->ScaleSelection(1.0f, 1.0f, 2.0f);
    EXPECT_NEAR(a->m_position[0], 5.0f, 1e-4f);
    EXPECT_NEAR(a->m_position[2], 7.0f, 1e-4f);
    w.scene->RotateSelection(0.0f, 0.0f, 90.0f);
    EXPECT_NEAR(Distance2D(0.0f, 0.0f, a->m_position[0], a->m_position[2]), Distance2D(0, 0, 5, 7), 1e-4f);
    EXPECT_NEAR(a->m_position[0] * 5.0f + a->m_position[2] * 7.0f, 0.0f, 1e-3f);  // at right angles
}

}  // namespace
