// Fuzz target: the readers of the objects' state records. The first byte
// picks the reader, the rest is the record:
//   0: a sync image read into a unit with a weapon and a ring;
//   1: a block of saved world objects read into an empty world;
//   2: a saved record read into a plain object.
// A record that is refused must leave everything as it was; one that is
// taken must write out again and read back to the same bytes.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "tests/support/WorldTestHost.h"
#include "world/GridMember.h"
#include "world/StateArchive.h"
#include "world/TessarakObject.h"
#include "world/Unit.h"
#include "world/UnitWeapon.h"

namespace {

struct SWorld {
    CWorldTestHost host;
    CUnitTemplate* tank;
    CTessarakObjectTemplate* rock;
    SWorld() {
        tank = host.MakeTemplate<CUnitTemplate>(host.m_root, 10, "Tank");
        CUnitWeaponTemplate* gun = host.MakeTemplate<CUnitWeaponTemplate>(tank, 11, "Gun");
        host.MakeTemplate<CTessarakObjectTemplate>(gun, 12, "FirePoint");
        host.MakeTemplate<CTessarakObjectTemplate>(tank, 13, "Selection");
        rock = host.MakeTemplate<CTessarakObjectTemplate>(host.m_root, 20, "Rock");
        host.MakeTemplate<CGridMemberTemplate>(host.m_root, 30, "Depot");
        host.scene->m_spotTemplate = rock;
    }
};

std::vector<uint8_t> Synced(CTessarakObject* o) {
    CStateArchive ar;
    o->WriteSyncState(ar);
    return ar.GetBuffer();
}

std::vector<uint8_t> Saved(CTessarakObject* o) {
    CStateArchive ar;
    o->SaveState(ar);
    return ar.GetBuffer();
}

std::vector<uint8_t> SavedWorld(CGameScene* scene) {
    CStateArchive ar;
    scene->SaveObjects(ar);
    return ar.GetBuffer();
}

void Check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static SWorld* world = new SWorld;
    if (size < 1) return 0;
    CGameScene* scene = world->host.scene;
    scene->Clear();
    scene->m_idTable.SetCounter(100);
    const uint8_t* record = data + 1;
    size_t length = size - 1;
    switch (data[0] % 3) {
        case 0: {
            CTessarakObject* unit = scene->CreateObjectByClass(world->tank, nullptr, world->host.players->m_local, 1);
            std::vector<uint8_t> before = Synced(unit);
            CStateArchive in(record, length, CStateArchive::kApply);
            if (unit->ReadSyncImage(in) != CTessarakObject::kSyncTaken) {
                Check(Synced(unit) == before);
                break;
            }
            std::vector<uint8_t> after = Synced(unit);
            CStateArchive again(after.data(), after.size(), CStateArchive::kApply);
            Check(unit->ReadSyncImage(again) == CTessarakObject::kSyncTaken);
            Check(Synced(unit) == after);
            break;
        }
        case 1: {
            CStateArchive in(record, length, CStateArchive::kApply);
            if (!scene->LoadObjects(in)) {
                Check(scene->m_allObjects == nullptr && scene->m_objectCount == 0);
                break;
            }
            std::vector<uint8_t> saved = SavedWorld(scene);
            scene->Clear();
            CStateArchive again(saved.data(), saved.size(), CStateArchive::kApply);
            Check(scene->LoadObjects(again));
            break;
        }
        default: {
            CTessarakObject* rock = scene->CreateObjectByClass(world->rock, nullptr, nullptr, 1);
            std::vector<uint8_t> before = Saved(rock);
            CStateArchive in(record, length, CStateArchive::kApply);
            if (!rock->LoadRecord(in)) Check(Saved(rock) == before);
            break;
        }
    }
    return 0;
}
