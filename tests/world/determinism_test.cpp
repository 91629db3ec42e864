// Lockstep: the same world built twice, with its objects at other addresses
// (other allocations between them), gives the same sync images and saved
// records byte for byte.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "tests/support/WorldTestHost.h"
#include "world/GridMember.h"
#include "world/PhysicsEngine.h"
#include "world/StateArchive.h"
#include "world/TessarakObject.h"
#include "world/Unit.h"
#include "world/UnitWeapon.h"

namespace {

struct SWorldBytes {
    std::vector<uint8_t> sync;
    std::vector<uint8_t> saved;
    std::vector<uint32_t> crcs;
};

// A few hundred objects of four classes with children, owners, links,
// forces, random looks and activity. padding > 0 puts allocations of varied
// sizes between everything that is made, so no object lands where it did.
SWorldBytes BuildWorld(int padding) {
    std::vector<std::unique_ptr<char[]>> junk;
    auto pad = [&](int n) {
        for (int i = 0; i < padding; ++i) junk.emplace_back(new char[16 + (n * 37 + i * 101) % 900]);
    };
    CWorldTestHost host;
    CPlayer* red = new CPlayer(host.players);
    red->SetId(2);
    pad(1);
    CPlayer* blue = new CPlayer(host.players);
    blue->SetId(3);
    blue->AddAlly(red);

    auto tmpl = [&](auto* t) {
        pad(2);
        return t;
    };
    CUnitTemplate* tank = tmpl(host.MakeTemplate<CUnitTemplate>(host.m_root, 1, "Tank"));
    CUnitWeaponTemplate* gun = tmpl(host.MakeTemplate<CUnitWeaponTemplate>(tank, 2, "Gun"));
    tmpl(host.MakeTemplate<CTessarakObjectTemplate>(gun, 3, "FirePoint"));
    tmpl(host.MakeTemplate<CTessarakObjectTemplate>(tank, 4, "Selection"));
    CGridMemberTemplate* rocks = tmpl(host.MakeTemplate<CGridMemberTemplate>(host.m_root, 5, "Rocks"));
    rocks->m_hasResource = 1;
    rocks->m_resourceAmount = 500.0f;
    tmpl(host.MakeTemplate<CTessarakObjectTemplate>(rocks, 6, "Chunk"));
    tmpl(host.MakeTemplate<CTessarakObjectTemplate>(rocks, 7, "Chunk"));
    CTessarakObjectTemplate* debris =
        tmpl(host.MakeTemplate<CTessarakObjectTemplate>(host.m_root, 8, "Debris"));
    debris->m_randomRotation = 1;
    debris->m_autoRotation[0] = 0.5f;
    CUnitWeaponTemplate* tower = tmpl(host.MakeTemplate<CUnitWeaponTemplate>(host.m_root, 9, "Tower"));
    host.scene->m_spotTemplate = rocks;

    CPlayer* owners[3] = {red, blue, host.players->m_local};
    std::vector<CTessarakObject*> made;
    for (int i = 0; i < 300; ++i) {
        pad(i);
        CTessarakObjectTemplate* t = i % 4 == 0   ? static_cast<CTessarakObjectTemplate*>(tank)
                                     : i % 4 == 1 ? static_cast<CTessarakObjectTemplate*>(rocks)
                                     : i % 4 == 2 ? debris
                                                  : static_cast<CTessarakObjectTemplate*>(tower);
        const float at[3] = {static_cast<float>(i % 17) * 1.5f, 0.0f, static_cast<float>(i / 17) * -2.0f};
        int32_t id = i % 9 == 0 ? -1 : host.scene->m_idTable.NewId();
        CTessarakObject* o = host.scene->CreateObjectByClass(t, at, i % 5 ? owners[i % 3] : nullptr, id);
        if (!made.empty()) {
            CTessarakObject* prev = made[(i * 7) % made.size()];
            o->m_link1.Set(prev);
            if (i % 3 == 0) prev->m_aimedLink.Set(o);
        }
        if (i % 6 == 0) {
            float impulse[3] = {0.1f * i, 0.0f, -0.05f * i};
            host.physics->AddForce(o, impulse, 0.01f * i, 1.0f);
        }
        if (i % 8 == 0) o->ApplyDamage(made.empty() ? nullptr : made.back(), 150.0f, false);
        if (i % 11 == 0) o->SetOwner(owners[(i + 1) % 3]);
        made.push_back(o);
    }
    // Some leave: their links empty everywhere.
    for (int i = 5; i < 300; i += 23) {
        host.scene->DeleteObject(made[i]);
        made[i] = nullptr;
    }

    SWorldBytes out;
    CStateArchive sync;
    for (CTessarakObject* o = host.scene->m_allObjects; o; o = o->m_allNext) {
        o->WriteSyncState(sync);
        out.crcs.push_back(o->ComputeSyncCRC());
    }
    out.sync = sync.GetBuffer();
    CStateArchive saved;
    host.scene->SaveObjects(saved);
    out.saved = saved.GetBuffer();
    return out;
}

TEST(DeterminismTest, TheSameWorldAtOtherAddressesGivesTheSameBytes) {
    SWorldBytes a = BuildWorld(0);
    SWorldBytes b = BuildWorld(3);
    ASSERT_GT(a.sync.size(), 100000u);
    EXPECT_EQ(a.crcs.size(), 287u);
    EXPECT_EQ(a.crcs, b.crcs);
    EXPECT_TRUE(a.sync == b.sync);
    EXPECT_TRUE(a.saved == b.saved);
}

}  // namespace
