// The world's whole state as saved games take it: a battle of the demo
// units (with its orders, way searches, the ways kept for reuse and the
// mission's objectives) saved between two way searches, loaded into a new
// world with the orders that were on their way, goes on with the same sync
// CRC at every tick as the world that kept running; a state that does not
// fit (cut short, a byte changed in its records, a player that will not
// exist) is refused whole and the world that read it stays as it was.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/Random.h"
#include "tests/support/UnitWorld.h"
#include "world/GameMessages.h"
#include "world/GameScene.h"
#include "world/Objectives.h"
#include "world/StateArchive.h"
#include "world/Unit.h"
#include "world/WorldGrid.h"

namespace {

const char* const kMobile[2][4] = {
    {"Granite_LightTank", "Granite_HeavyTank", "Granite_Artillery", "Granite_Harvester"},
    {"Coral_LightTank", "Coral_HeavyTank", "Coral_Artillery", "Coral_Harvester"},
};

// A battle whose script (what it orders, when) is state of its own that a
// second battle can take over.
class CBattle {
public:
    CBattle() {
        std::string error;
        ok = w.LoadDemoTemplates(error);
        EXPECT_TRUE(ok) << error;
        // Both sides search their own ways on this machine, as computer
        // players' do.
        for (CPlayer* p : {w.red, w.blue}) p->m_computer = p->m_computerHere = 1;
        w.red->m_ownerId = 2;
        w.blue->m_ownerId = 3;
        script.Seed(4242);
    }

    void Populate(int perSide) {
        CPlayer* sides[2] = {w.red, w.blue};
        const char* hq[2] = {"Granite_Headquarters", "Coral_Headquarters"};
        for (int s = 0; s < 2; ++s) {
            const float z = s == 0 ? -36.0f : 36.0f;
            CUnit* base = w.Spawn(hq[s], -20.0f, z, sides[s]);
            if (base) base->m_mapId = 10 + s;
            for (int i = 0; i < perSide; ++i) {
                const float x = (static_cast<float>(i % 12) - 6.0f) * 5.0f;
                const float rowZ = z + (s == 0 ? 1.0f : -1.0f) * (8.0f + static_cast<float>(i / 12) * 5.0f);
                if (CUnit* u = w.Spawn(kMobile[s][i % 4], x, rowZ, sides[s])) ids.push_back(u->m_objectId);
            }
        }
        CMissionObjectives& objectives = w.scene->Objectives();
        objectives.SetTable(3);
        objectives.Condition({"Win", "Destroy the coral base", "ID", "11", "IS_DEAD"});
        objectives.Condition({"Lost", "Out of time", "TIME_IS", "600"});
        objectives.Condition({"Neutral", "Ten tanks", "OBJECT", "Granite_LightTank", "10"});
    }

    // The script's orders of this tick (moves that go round as messages,
    // targets set at once), then one logic tick whose orders are the ones
    // sent so far.
    void Step() {
        if (ticks % 30 == 0 && !ids.empty()) {
            for (int n = 0; n < 6; ++n) {
                CUnit* u = Unit(ids[static_cast<size_t>(script.Rand()) % ids.size()]);
                const float x = (script.RandFloat() * 2.0f - 1.0f) * 50.0f;
                const float z = (script.RandFloat() * 2.0f - 1.0f) * 50.0f;
                if (u && (u->m_unitState & CUnit::kU_Mobile)) u->AddMoveOrder(x, z, 0);
            }
            for (int n = 0; n < 4; ++n) {
                CUnit* u = Unit(ids[static_cast<size_t>(script.Rand()) % ids.size()]);
                CUnit* target = Unit(ids[static_cast<size_t>(script.Rand()) % ids.size()]);
                if (u && target && target->m_owner != u->m_owner) u->m_attackTarget.Set(target);
            }
        }
        w.Run();
        ++ticks;
    }

    CUnit* Unit(int32_t id) {
        CTessarakObject* o = w.scene->m_idTable.Find(id);
        return o && o->IsUnit() && !o->Dying() ? static_cast<CUnit*>(o) : nullptr;
    }

    CUnitWorld w;
    bool ok = false;
    CRandom script;
    std::vector<int32_t> ids;
    int ticks = 0;
};

// What one machine had sent and not yet seen come back: the orders of the
// next turn.
CTurnOrders Pending(const CUnitWorld& w) {
    CTurnOrders orders;
    for (const CTestGameHost::SSent& m : w.sent)
        if (CWorld::IsWorldOrder(static_cast<uint16_t>(m.type)))
            orders.Add(static_cast<uint16_t>(m.type), m.data.data(), m.data.size());
    return orders;
}

TEST(WorldState, ALoadedWorldGoesOnInStepWithTheOneThatKeptRunning) {
    CBattle a;
    ASSERT_TRUE(a.ok);
    a.Populate(24);
    // Saved between two searches, with orders on their way.
    while (a.ticks < 400 || a.w.world.SearchInProgress() || Pending(a.w).Empty()) a.Step();
    CStateArchive saved;
    a.w.world.SaveState(saved);
    const CTurnOrders carried = Pending(a.w);

    CBattle b;
    ASSERT_TRUE(b.ok);
    CStateArchive reader(saved.GetData(), saved.GetSize(), CStateArchive::kApply);
    ASSERT_TRUE(b.w.world.LoadState(reader));
    EXPECT_EQ(reader.GetRemaining(), 0u);
    b.w.world.ResumeWaySearches(carried);
    b.w.sent = a.w.sent;
    b.w.gameTime = a.w.gameTime;
    b.script = a.script;
    b.ids = a.ids;
    b.ticks = a.ticks;
    ASSERT_EQ(b.w.world.StateHash(), a.w.world.StateHash());
    EXPECT_EQ(b.w.scene->Objectives().Listed(), 3);

    int differ = 0;
    for (int i = 0; i < 900 && differ < 3; ++i) {
        a.Step();
        b.Step();
        if (a.w.world.StateHash() != b.w.world.StateHash()) {
            ADD_FAILURE() << "tick " << a.ticks;
            ++differ;
        }
    }
    EXPECT_GT(a.w.scene->m_unitCount, 0);
}

// A state that does not fit is refused whole: one cut short anywhere, one
// with a byte changed in the objects' records or the objectives, one that
// names a player the session will not have. The world that read it keeps
// its own state (here: nothing).
TEST(WorldState, AStateThatDoesNotFitIsRefusedWhole) {
    CBattle a;
    ASSERT_TRUE(a.ok);
    a.Populate(4);
    for (int i = 0; i < 60; ++i) a.Step();
    while (a.w.world.SearchInProgress()) a.Step();
    CStateArchive saved;
    a.w.world.SaveState(saved);
    std::vector<uint8_t> bytes = saved.GetBuffer();

    CBattle b;
    ASSERT_TRUE(b.ok);
    const uint32_t empty = b.w.world.StateHash();
    auto refused = [&](const std::vector<uint8_t>& data, const std::vector<int32_t>* players = nullptr) {
        CStateArchive check(data.data(), data.size(), CStateArchive::kCheck);
        const bool checked = b.w.world.LoadState(check, players);
        CStateArchive apply(data.data(), data.size(), CStateArchive::kApply);
        const bool applied = !players && b.w.world.LoadState(apply);
        return !checked && !applied && b.w.world.StateHash() == empty && !b.w.scene->m_allObjects;
    };
    for (size_t cut : {size_t(0), size_t(3), bytes.size() / 2, bytes.size() - 1}) {
        SCOPED_TRACE(cut);
        EXPECT_TRUE(refused(std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<long>(cut))));
    }
    // More player records than there are.
    std::vector<uint8_t> damaged = bytes;
    damaged[4] = 0xFF;
    EXPECT_TRUE(refused(damaged));
    const std::vector<int32_t> onlyRed = {a.w.red->m_id};
    EXPECT_TRUE(refused(bytes, &onlyRed));
    const std::vector<int32_t> both = {a.w.red->m_id, a.w.blue->m_id, a.w.players->m_local->m_id};
    CStateArchive check(bytes.data(), bytes.size(), CStateArchive::kCheck);
    EXPECT_TRUE(b.w.world.LoadState(check, &both));
    EXPECT_EQ(check.GetRemaining(), 0u);
    EXPECT_EQ(b.w.world.StateHash(), empty) << "a check changes nothing";
}

}  // namespace
