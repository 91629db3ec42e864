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
    SDemoTemplates t{host};
    SWorld() {
        host.MakeTemplate<CTessarakObjectTemplate>(t.gun, 13, "FirePoint");
        host.scene->m_spotTemplate = t.rock;
    }
};

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
            CTessarakObject* unit =
                scene->CreateObjectByClass(world->t.tank, nullptr, world->host.players->m_local, 1);
            std::vector<uint8_t> before = SyncImageOf(unit);
            CStateArchive in(record, length, CStateArchive::kApply);
            if (unit->ReadSyncImage(in) != CTessarakObject::kSyncTaken) {
                Check(SyncImageOf(unit) == before);
                break;
            }
            std::vector<uint8_t> after = SyncImageOf(unit);
            CStateArchive again(after.data(), after.size(), CStateArchive::kApply);
            Check(unit->ReadSyncImage(again) == CTessarakObject::kSyncTaken);
            Check(SyncImageOf(unit) == after);
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
            CTessarakObject* rock = scene->CreateObjectByClass(world->t.rock, nullptr, nullptr, 1);
            std::vector<uint8_t> before = SavedRecordOf(rock);
            CStateArchive in(record, length, CStateArchive::kApply);
            if (!rock->LoadRecord(in)) Check(SavedRecordOf(rock) == before);
            break;
        }
    }
    return 0;
}
