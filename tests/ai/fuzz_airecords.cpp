// Fuzz target: the computer players' block of a saved game, read into the
// manager of a small world (players 2 and 3 on a map of 9 x 9 cells). A
// block that is refused leaves the manager as it was; one that is taken
// saves again to a block that is taken too and saves to the same bytes.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "ai/AIManager.h"
#include "tests/support/UnitWorld.h"
#include "world/StateArchive.h"

namespace {

std::vector<uint8_t> Saved(CAIManager& ai) {
    CStateArchive ar;
    if (!ai.SaveRecords(ar)) std::abort();
    return ar.GetBuffer();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static CUnitWorld* world = new CUnitWorld(4);
    CAIManager ai(&world->world, nullptr);
    ai.InitializeCommanders("Fuzz", "");
    const std::vector<uint8_t> before = Saved(ai);
    if (!ai.LoadRecords(data, size)) {
        if (Saved(ai) != before) std::abort();
        return 0;
    }
    const std::vector<uint8_t> once = Saved(ai);
    CAIManager again(&world->world, nullptr);
    again.InitializeCommanders("Fuzz", "");
    if (!again.LoadRecords(once.data(), once.size()) || Saved(again) != once) std::abort();
    return 0;
}
