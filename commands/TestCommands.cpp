#include "commands/TestCommands.h"

#include <cstring>

#include "app/Game.h"
#include "app/GameClock.h"
#include "app/GameConsole.h"
#include "app/GameServices.h"
#include "commands/CommandContext.h"
#include "console/CommandInterpreter.h"
#include "console/CommandTable.h"
#include "world/GameScene.h"
#include "world/PhysicsEngine.h"
#include "world/Unit.h"

namespace {
// Every selected unit: its template, its position and the force of the
// pushes that wait to act on it.
void Cmd_UnitOut(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    CGame* game = GameOf(record);
    CGameScene* scene = game ? game->Scene() : nullptr;
    if (file || !scene) return;
    for (CUnit* u = scene->m_units; u; u = u->m_unitNext) {
        if (!(u->m_stateA & CTessarakObject::kA_Selected)) continue;
        float force[3] = {0.0f, 0.0f, 0.0f};
        for (SForceRecord* f = u->m_forces; f; f = f->m_next)
            for (int i = 0; i < 3; ++i) force[i] += f->m_impulse[i];
        uint32_t bits;
        std::memcpy(&bits, &force[0], 4);
        Game_Print("");
        Game_Print("--------------------");
        Game_Printf("%s", u->m_template ? u->m_template->m_name.GetText() : "");
        Game_Print("--------------------");
        Game_Printf("Position: %f, %f, %f", u->m_position[0], u->m_position[1], u->m_position[2]);
        Game_Printf("Force: %f, %f, %f", force[0], force[1], force[2]);
        Game_Printf("* Force.x : %x", bits);
    }
}
// The render frames drawn per second since the last call (or since the
// start-up), and the clock's averages of the logic tick and the drawing over
// the last 30 of each; then the interface frames (menus, lobby) run per
// second over the same time.
void Cmd_FrameStats(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    CGame* game = GameOf(record);
    CGameClock* clock = game ? game->Clock() : nullptr;
    if (file || !clock || clock->m_frequency <= 0.0f) return;
    static uint64_t s_frames = 0, s_since = 0;
    static int32_t s_interface = 0;
    uint64_t now = clock->Now();
    double seconds = double(now - s_since) / double(clock->m_frequency);
    double rate = seconds > 0.0 ? double(game->RenderFrames() - s_frames) / seconds : 0.0;
    double interfaceRate = seconds > 0.0 ? double(Game_InterfaceFrames() - s_interface) / seconds : 0.0;
    s_frames = game->RenderFrames();
    s_interface = Game_InterfaceFrames();
    s_since = now;
    Game_Printf("Frames per second %.1f over %.1f s; logic tick %.3f ms, drawing %.3f ms (averages of 30)",
                rate, seconds, (double)clock->m_game.sum / 30.0 * 1000.0,
                (double)clock->m_visual.sum / 30.0 * 1000.0);
    Game_Printf("Interface frames per second %.1f", interfaceRate);
}
}  // namespace

void RegisterTestCommands(CCommandInterpreter* ip) {
    CGame* game = GameOf(ip);
    if (!game) return;
    const SCommandRow rows[] = {
        SCommandRow::Function("dbg_UnitOut", Cmd_UnitOut, "Outputs debug data for a unit", "dbg_UnitOut();"),
        SCommandRow::Function("dbg_FrameStats", Cmd_FrameStats,
                              "Prints the frame rate and the times of the logic tick and the drawing",
                              "dbg_FrameStats();"),
    };
    CommandTable_Register(ip, rows);
    game->RegisterVariables(ip, {"dbg_SyncCrc"});
}
