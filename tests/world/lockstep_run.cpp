// The lockstep battle as a program: it prints the scene's sync CRC every 100
// ticks. The build makes it twice, once with the simulation compiled without
// optimisation, and a test compares the two outputs: how the simulation is
// compiled must not change a bit of it.
#include <cstdio>
#include <string>

#include "tests/support/LockstepScene.h"
#include "tests/support/UnitWorld.h"
#include "world/GameScene.h"

int main() {
    CUnitWorld world;
    std::string error;
    if (!world.LoadDemoTemplates(error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    CLockstepScene battle(world, 24, true);
    for (int tick = 1; tick <= 1500; ++tick) {
        battle.Step();
        if (tick % 100 == 0)
            std::printf("%d %08x %d\n", tick, world.scene->ComputeSyncCRC(), world.scene->m_unitCount);
    }
    return 0;
}
