// The objects' state records: the saved record and the sync image byte for
// byte, saving and loading a world, reading sync images, and records that do
// not fit.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <map>

#include "core/Random.h"
#include "tests/support/Bytes.h"
#include "tests/support/TempDir.h"
#include "tests/support/WorldTestHost.h"
#include "world/GridMember.h"
#include "world/PhysicsEngine.h"
#include "world/StateArchive.h"
#include "world/TessarakObject.h"
#include "world/Unit.h"
#include "world/UnitWeapon.h"

namespace {

// Little-endian bytes worked out field by field, as the record tables list them.
class RecordsTest : public ::testing::Test {
protected:
    RecordsTest() : t(host) { scene().m_idTable.SetCounter(1000); }
    CGameScene& scene() { return *host.scene; }
    CTessarakObject* Make(CTessarakObjectTemplate* tmpl, int32_t id, CPlayer* owner = nullptr) {
        return host.Make(tmpl, id, owner);
    }

    CWorldTestHost host;
    SDemoTemplates t;
    CUnitTemplate* tank = t.tank;
    CTessarakObjectTemplate* rock = t.rock;
    CGridMemberTemplate* depot = t.depot;
};

TEST_F(RecordsTest, ABareObjectIsTheRecordOfTheTableByteForByte) {
    CTessarakObject* other = Make(rock, 9);
    const float pos[3] = {1.5f, 2.0f, -3.25f};
    CTessarakObject* o = scene().CreateObjectByClass(rock, pos, host.players->m_local, 5);
    o->m_link1.Set(other);
    o->m_velocity[1] = 0.75f;
    o->m_power = 42.0f;
    o->m_miscWords[2] = 0xA1B2C3D4u;
    o->m_mapId = 77;

    CRandom r;
    r.Seed(5);
    r.Rand();
    r.Rand();
    const float zero3[3] = {0, 0, 0}, one3[3] = {1, 1, 1};
    SBytes e;
    e.U32(20).U16(1).U32(1);                      // header: template id, project id, class mask
    e.U32(0).I32(5);                              // no children; object id
    e.F32s(pos, 3).F32s(zero3, 3).F32s(one3, 3);  // position, rotation, scale
    e.U8(0);                                      // no resource-spot record
    e.U8(0).F32(0).U8(0);                         // resource type, amount, layers
    e.I32(9).I32(-1).I32(-1);                     // link 1, thrower, aimed target
    e.F32(1.0f).F32(0).F32(0).F32(0);             // homing strength, steering timer, point
    e.I32(-1).U8(0);                              // homing target, homing mode
    const float vel[3] = {0, 0.75f, 0};
    e.F32s(vel, 3).F32s(zero3, 3).F32s(zero3, 3).F32s(zero3, 3).F32s(zero3, 3);
    e.U8(1).U32(0).U32(0).U32(0xA1B2C3D4u);         // misc byte, misc words
    e.U32(r.GetState());                            // the generator after its two draws
    e.F32(1.0f).U8(1);                              // radius, footprint half-size
    e.I32(1).U8(0);                                 // owner: the local player
    e.I32(-1).I32(-1).F32(5.0f);                    // cable ends, rest length
    e.U32(0);                                       // no force records
    e.I32(77);                                      // the node's word: the map id
    e.U8(0).U8(0).U8(0);                            // no material, not jittered, not shattered
    e.F32(42.0f).F32(100.0f).F32(0).F32(0).F32(0);  // power, maximum, words, life timer
    e.U8(0);                                        // clipping
    e.U8(0).U8(0).U8(1).U8(0).U8(0).U8(0);  // A 0x02, 0x04, 0x08 (set at construction), 0x10, 0x20, 0x80
    e.U8(0).U8(0).U8(0).U8(0).U8(0).U8(0);  // B 0x02, 0x04, 0x08, 0x20, 0x40, 0x80
    e.U8(0).U8(0);                          // C 0x02, B 0x01
    e.F32s(&o->m_render.m[0][0], 16).F32s(&o->m_world[0][0], 12);
    e.U8(0).U8(0);  // hidden, silent
    EXPECT_EQ(e.b.size(), 353u);
    EXPECT_EQ(SavedRecordOf(o), e.b);

    // The sync image: id and header first, no matrices, the misc float and
    // the further word inside, the child count last.
    std::vector<uint8_t> sync = SyncImageOf(o);
    ASSERT_EQ(sync.size(), 247u);
    SBytes front;
    front.I32(5).U32(20).U16(1).U32(1).F32s(pos, 3);
    EXPECT_TRUE(std::equal(front.b.begin(), front.b.end(), sync.begin()));
    EXPECT_EQ(std::vector<uint8_t>(sync.end() - 4, sync.end()), SBytes().U32(0).b);
}

TEST_F(RecordsTest, GridMembersAndWeaponsAppendTheirParts) {
    CGridMember* d = static_cast<CGridMember*>(Make(depot, 3));
    CTessarakObject* target = Make(rock, 8);
    d->m_carried.Set(target);
    for (int i = 0; i < 3; ++i) {
        d->m_lastGridPosition[i] = float(10 + i);
        d->m_lastFinePosition[i] = float(13 + i);
    }
    d->m_gridFlags = CGridMember::kG_Complete | 0x01;
    d->m_gridFlags2 = CGridMember::kG2_Phasing;
    d->m_float = 2.5f;
    std::vector<uint8_t> saved = SavedRecordOf(d);
    ASSERT_EQ(saved.size(), 353u + 66u);
    SBytes part;
    part.F32(0).F32(0).F32(0).I32(-1).I32(-1).I32(8);
    for (int w = 10; w < 16; ++w) part.F32(float(w));
    part.U32(0).U8(1).U8(0).U8(0).U8(0).U8(1).U8(0).U8(0).U8(0).U8(1).U8(0).F32(2.5f);
    EXPECT_EQ(std::vector<uint8_t>(saved.end() - 66, saved.end()), part.b);
    std::vector<uint8_t> sync = SyncImageOf(d);
    ASSERT_EQ(sync.size(), 247u + 62u);
    // The third of the six words (12.0) is left out.
    SBytes thirteen;
    thirteen.F32(13.0f);
    EXPECT_TRUE(std::equal(thirteen.b.begin(), thirteen.b.end(), sync.begin() + 247 + 24 + 8));

    CUnitWeapon* w = static_cast<CUnitWeapon*>(scene().CreateObjectByClass(
        host.MakeTemplate<CUnitWeaponTemplate>(host.m_root, 40, "Turret"), nullptr, nullptr, 4));
    w->m_target.Set(target);
    w->m_resourceType = 3;
    w->m_weaponFlags |= CUnitWeapon::kW_Aligned;
    std::vector<uint8_t> wsaved = SavedRecordOf(w);
    ASSERT_EQ(wsaved.size(), 353u + 52u);
    SBytes wpart;
    wpart.U8(3).I32(8);
    for (int i = 0; i < 6; ++i) wpart.F32(0);
    // Method 0; the byte 1 (the weapon runs); aligned.
    wpart.F32(0).F32(3.1415927f).F32(0).F32(0).U8(0).U8(1).U8(1).U8(0).U8(0).U8(0).U8(0);
    EXPECT_EQ(std::vector<uint8_t>(wsaved.end() - 52, wsaved.end()), wpart.b);
    EXPECT_EQ(SyncImageOf(w).size(), 247u + 51u);
}

TEST_F(RecordsTest, ASavedWorldLoadsBackEqualWithItsLinksResolvedById) {
    CPlayer* second = new CPlayer(host.players);
    second->SetId(2);
    scene().m_spotTemplate = depot;
    CTessarakObject* unit = Make(tank, 100, host.players->m_local);
    CTessarakObject* spot = Make(depot, 101, second);
    CTessarakObject* loose = Make(rock, 102);  // no owner: saved as owner -1
    ASSERT_NE(spot->m_resourceSpot, nullptr);
    spot->m_resourceSpot->m_phase = 0.25f;
    loose->m_aimedLink.Set(unit);
    unit->m_throwerLink.Set(loose);
    static_cast<CGridMember*>(spot)->m_lastAttacker.Set(unit);
    float impulse[3] = {0.5f, 0, -1};
    ASSERT_TRUE(host.physics->AddForce(loose, impulse, 0.25f, 3.0f));
    loose->m_stateA |= CTessarakObject::kA_Silent;
    loose->m_pendingVisibility = 1;
    loose->SetMaterial(1, 55);
    unit->FirstChildObject()->m_mapId = 4;

    std::map<int32_t, std::vector<uint8_t>> before;
    for (CTessarakObject* o = scene().m_allObjects; o; o = o->m_allNext)
        before[o->m_objectId] = SavedRecordOf(o);
    CStateArchive saved;
    scene().SaveObjects(saved);
    scene().Clear();
    ASSERT_EQ(scene().m_objectCount, 0);

    CStateArchive in(saved.GetData(), saved.GetBuffer().size(), CStateArchive::kApply);
    ASSERT_TRUE(scene().LoadObjects(in));
    EXPECT_EQ(in.GetRemaining(), 0u);
    EXPECT_EQ(scene().m_objectCount, 3);
    for (CTessarakObject* o = scene().m_allObjects; o; o = o->m_allNext) {
        EXPECT_EQ(SavedRecordOf(o), before[o->m_objectId]) << "object " << o->m_objectId;
        EXPECT_EQ(scene().m_idTable.Find(o->m_objectId), o);
    }
    // Every active object is on the active list once (the weapon is).
    int active = 0, flagged = 0;
    for (CTessarakObject* a = scene().m_activeObjects; a && active < 100; a = a->m_sceneActiveNext) ++active;
    std::function<void(CTessarakObject*)> count = [&](CTessarakObject* o) {
        flagged += (o->m_stateA & CTessarakObject::kA_Active) ? 1 : 0;
        for (CTessarakObject* c = o->FirstChildObject(); c; c = c->NextSiblingObject()) count(c);
    };
    for (CTessarakObject* o = scene().m_allObjects; o; o = o->m_allNext) count(o);
    EXPECT_GT(active, 0);
    EXPECT_EQ(active, flagged);
    CTessarakObject* u = scene().m_idTable.Find(100);
    CTessarakObject* l = scene().m_idTable.Find(102);
    CTessarakObject* s = scene().m_idTable.Find(101);
    EXPECT_EQ(l->m_aimedLink.Get(), u);
    EXPECT_EQ(u->m_throwerLink.Get(), l);
    EXPECT_EQ(static_cast<CGridMember*>(s)->m_lastAttacker.Get(), u);
    EXPECT_EQ(u->m_owner, host.players->m_local);
    EXPECT_EQ(s->m_owner, second);
    EXPECT_EQ(second->m_categories[CPlayer::kCategoryAll].m_count, 1);
    EXPECT_EQ(s->m_resourceSpot->m_phase, 0.25f);
    EXPECT_EQ(u->CountChildObjects(), 2);
    EXPECT_FALSE(u->m_stateA & CTessarakObject::kA_Selected);  // a loaded object is never selected
    // The hidden and silent states come back too.
    EXPECT_TRUE(l->m_stateA & CTessarakObject::kA_Silent);
    EXPECT_EQ(l->m_pendingVisibility, 1);
    ASSERT_NE(l->m_forces, nullptr);
    EXPECT_EQ(l->m_forces->m_damage, 3.0f);
    EXPECT_EQ(l->m_forces->m_delay, 0.25f);
    EXPECT_EQ(l->m_owner, nullptr);
    const size_t kOwner = 176;  // the owner's id in a saved plain object without spot record
    EXPECT_EQ(std::vector<uint8_t>(before[102].begin() + kOwner, before[102].begin() + kOwner + 4),
              SBytes().I32(-1).b);
}

TEST_F(RecordsTest, ARecordThatDoesNotFitLeavesTheWorldEmpty) {
    CTessarakObject* first = Make(rock, 1);
    CTessarakObject* second = Make(rock, 2);
    CTessarakObject* unit = Make(tank, 3);
    // The records follow the list of world objects, newest first.
    const size_t unitAt = 4, secondAt = unitAt + SavedRecordOf(unit).size(),
                 firstAt = secondAt + SavedRecordOf(second).size();
    (void)first;
    CStateArchive saved;
    scene().SaveObjects(saved);
    const std::vector<uint8_t> good = saved.GetBuffer();
    auto setU32 = [](std::vector<uint8_t>& b, size_t at, uint32_t v) { std::memcpy(&b[at], &v, 4); };
    struct SCase {
        const char* what;
        std::function<void(std::vector<uint8_t>&)> damage;
    };
    const SCase cases[] = {
        {"truncated", [](std::vector<uint8_t>& b) { b.resize(b.size() - 1); }},
        {"object count beyond the bytes", [&](std::vector<uint8_t>& b) { setU32(b, 0, 0x7F000003); }},
        {"unknown template in the last record", [&](std::vector<uint8_t>& b) { setU32(b, firstAt, 999); }},
        {"unknown class", [&](std::vector<uint8_t>& b) { setU32(b, secondAt + 6, 0x09); }},
        {"child count beyond the bytes", [&](std::vector<uint8_t>& b) { setU32(b, unitAt + 10, 0x400002); }},
        {"two objects of one id", [&](std::vector<uint8_t>& b) { setU32(b, firstAt + 14, 2); }},
    };
    scene().Clear();
    for (const SCase& c : cases) {
        std::vector<uint8_t> bytes = good;
        c.damage(bytes);
        CStateArchive in(bytes.data(), bytes.size(), CStateArchive::kApply);
        EXPECT_FALSE(scene().LoadObjects(in)) << c.what;
        EXPECT_EQ(scene().m_objectCount, 0) << c.what;
        EXPECT_EQ(scene().m_allObjects, nullptr) << c.what;
    }
    CStateArchive in(good.data(), good.size(), CStateArchive::kApply);
    EXPECT_TRUE(scene().LoadObjects(in));
    EXPECT_EQ(scene().m_objectCount, 3);
}

TEST_F(RecordsTest, SyncImagesKeepMatchingChildrenAndRemakeOthers) {
    CTessarakObject* unit = Make(tank, 10, host.players->m_local);
    CTessarakObject* firstChild = unit->FirstChildObject();
    std::vector<uint8_t> image = SyncImageOf(unit);
    unit->m_power = 1.0f;
    unit->m_velocity[0] = 9.0f;
    firstChild->m_power = 2.0f;

    CStateArchive in(image.data(), image.size(), CStateArchive::kApply);
    EXPECT_EQ(unit->ReadSyncImage(in), CTessarakObject::kSyncTaken);
    EXPECT_EQ(in.GetRemaining(), 0u);
    EXPECT_EQ(SyncImageOf(unit), image);
    EXPECT_EQ(unit->FirstChildObject(), firstChild);  // read in place, not made again

    // A world whose unit lost its children takes new ones from the image.
    unit->DeleteChildObjects();
    EXPECT_EQ(unit->CountChildObjects(), 0);
    CStateArchive again(image.data(), image.size(), CStateArchive::kApply);
    EXPECT_EQ(unit->ReadSyncImage(again), CTessarakObject::kSyncTaken);
    EXPECT_EQ(unit->CountChildObjects(), 2);
    EXPECT_EQ(SyncImageOf(unit), image);

    // Children of other templates, as many as here: all are made again.
    CTessarakObject* other = Make(tank, 20, host.players->m_local);
    CTessarakObject* ringPart = other->FirstChildObject();
    if (ringPart->m_template != t.ring) ringPart = ringPart->NextSiblingObject();
    ASSERT_EQ(ringPart->m_template, t.ring);
    delete ringPart;
    scene().NewObjectOfClass(kMaskWeapon, t.gun, nullptr, other, 0, nullptr, 21)->CreateFromTemplate(t.gun);
    other->SortChildren();
    std::vector<uint8_t> twoGuns = SyncImageOf(other);
    scene().DeleteObject(other);
    CStateArchive guns(twoGuns.data(), twoGuns.size(), CStateArchive::kApply);
    EXPECT_EQ(unit->ReadSyncImage(guns), CTessarakObject::kSyncTaken);
    EXPECT_EQ(SyncImageOf(unit), twoGuns);
    EXPECT_EQ(unit->m_objectId, 20);
    EXPECT_TRUE(unit->FirstChildObject()->IsWeapon() &&
                unit->FirstChildObject()->NextSiblingObject()->IsWeapon());

    // Released here but alive in the image: 4, and nothing read.
    CTessarakObject* r = Make(rock, 11);
    std::vector<uint8_t> alive = SyncImageOf(r);
    r->Release();
    std::vector<uint8_t> released = SyncImageOf(r);
    CStateArchive back(alive.data(), alive.size(), CStateArchive::kApply);
    EXPECT_EQ(r->ReadSyncImage(back), CTessarakObject::kSyncReleasedHere);
    EXPECT_EQ(SyncImageOf(r), released);
}

TEST_F(RecordsTest, ASyncImageThatDoesNotFitChangesNothing) {
    CTessarakObject* unit = Make(tank, 10, host.players->m_local);
    Make(rock, 12);
    const std::vector<uint8_t> image = SyncImageOf(unit);
    unit->m_power = 5.0f;
    const std::vector<uint8_t> now = SyncImageOf(unit);
    auto setU32 = [](std::vector<uint8_t>& b, size_t at, uint32_t v) { std::memcpy(&b[at], &v, 4); };
    // Offsets in a base object's sync image.
    const size_t kForceCount = 14 + 36 + 1 + 6 + 12 + 16 + 5 + 60 + 13 + 4 + 5 + 5 + 8 + 4;
    const size_t kChildCount = 243;
    struct SCase {
        const char* what;
        std::function<void(std::vector<uint8_t>&)> damage;
    };
    const SCase cases[] = {
        {"truncated", [](std::vector<uint8_t>& b) { b.resize(b.size() - 3); }},
        {"force count", [&](std::vector<uint8_t>& b) { setU32(b, kForceCount, 0x10000000); }},
        {"child count", [&](std::vector<uint8_t>& b) { setU32(b, kChildCount, 0xFFFFFFF0u); }},
        {"a child of an unknown template",
         [&](std::vector<uint8_t>& b) { setU32(b, kChildCount + 4 + 4, 999); }},
        {"an id another object holds", [&](std::vector<uint8_t>& b) { setU32(b, 0, 12); }},
        {"a child of the id of its parent", [&](std::vector<uint8_t>& b) { setU32(b, kChildCount + 4, 10); }},
    };
    for (const SCase& c : cases) {
        std::vector<uint8_t> bytes = image;
        c.damage(bytes);
        CStateArchive in(bytes.data(), bytes.size(), CStateArchive::kApply);
        EXPECT_NE(unit->ReadSyncImage(in), CTessarakObject::kSyncTaken) << c.what;
        EXPECT_EQ(SyncImageOf(unit), now) << c.what;
        EXPECT_EQ(scene().m_idTable.Find(10), unit) << c.what;
    }
}

TEST_F(RecordsTest, AHeldSyncReadsTheGridPartWithoutTakingIt) {
    CGridMember* a = static_cast<CGridMember*>(Make(depot, 1));
    CTessarakObject* b = Make(rock, 2);
    a->m_float = 7.0f;
    CStateArchive out;
    a->WriteSyncState(out);
    b->WriteSyncState(out);
    a->m_float = 1.0f;
    b->m_power = 3.0f;
    scene().m_syncHold = 1;
    CStateArchive in(out.GetData(), out.GetBuffer().size(), CStateArchive::kApply);
    EXPECT_EQ(a->ReadSyncImage(in), CTessarakObject::kSyncTaken);
    EXPECT_EQ(b->ReadSyncImage(in), CTessarakObject::kSyncTaken);  // read from its own place
    EXPECT_EQ(a->m_float, 1.0f);
    EXPECT_EQ(b->m_power, 100.0f);
    EXPECT_EQ(in.GetRemaining(), 0u);
}

TEST_F(RecordsTest, CrcChecksAndObjectCommands) {
    CTessarakObject* o = Make(rock, 42);
    CStateArchive report;
    o->WriteSyncCRC(report);
    ASSERT_EQ(report.GetBuffer().size(), 8u);
    CStateArchive ref(report.GetData() + 4, 4, CStateArchive::kApply);
    EXPECT_TRUE(o->CheckSyncCRC(ref));
    o->m_power = 3.0f;
    CStateArchive stale(report.GetData() + 4, 4, CStateArchive::kApply);
    EXPECT_FALSE(o->CheckSyncCRC(stale));
    EXPECT_NE(host.FindLine("CRC "), "");
    EXPECT_NE(host.FindLine(", Ref "), "");
    EXPECT_EQ(scene().m_desync, 1);

    o->SendCommand(1);
    ASSERT_EQ(host.sent.size(), 1u);
    EXPECT_EQ(host.sent[0].type, 161);
    EXPECT_EQ(host.sent[0].data, (std::vector<uint8_t>{0x2A, 0, 0, 0, 1, 0, 0, 0}));
    CTessarakObject* loose = Make(rock, -1);
    loose->SendCommand(0);
    EXPECT_EQ(host.sent.size(), 1u);
    EXPECT_TRUE(loose->m_flagsA & kFrameOnUpdateList);
}

TEST_F(RecordsTest, AFailedSaveLeavesTheOldFile) {
    CTempDir dir;
    ASSERT_TRUE(dir.Write("save.bin", "old save"));
    std::string path = dir.File("save.bin");
    for (int i = 0; i < 20; ++i) Make(rock, 1 + i);
    CStateArchive big;
    scene().SaveObjects(big);
    ASSERT_GT(big.GetBuffer().size(), 4096u);
    // A disk that fills up half-way: the writes past 4 KiB fail.
    signal(SIGXFSZ, SIG_IGN);
    rlimit old;
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit limit = {4096, old.rlim_max};
    setrlimit(RLIMIT_FSIZE, &limit);
    bool saved = big.SaveToFile(path.c_str());
    limit.rlim_cur = old.rlim_cur;
    setrlimit(RLIMIT_FSIZE, &limit);
    EXPECT_FALSE(saved);
    EXPECT_EQ(dir.Read("save.bin"), "old save");
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) ++files, (void)entry;
    EXPECT_EQ(files, 1);  // no temporary file is left
    EXPECT_TRUE(big.SaveToFile(path.c_str()));
    EXPECT_EQ(dir.Read("save.bin").size(), big.GetBuffer().size());
}

}  // namespace
