#include "app/FramePacing.h"

#include <algorithm>
#include <cmath>

#include "app/Game.h"
#include "app/GameClock.h"
#include "netgame/NetGame.h"
#include "platform/sys/Clock.h"
#include "ui/Interface.h"

namespace {
// How long after the last input the interface counts as left alone.
constexpr double kIdleAfter = 1.0;
// The longest wait of an interface left alone.
constexpr double kIdlePeriod = 0.1;
}  // namespace

int Game_MillisecondsToNextFrame(CGame* game, int64_t frameStart, int64_t now, int64_t lastInput) {
    if (!game || game->IsShutDown()) return 0;
    const SGameVariables& vars = game->Variables();
    const double frequency = static_cast<double>(Sys_QueryPerformanceFrequency());
    // The frame's time: at ge_MaxFPS, at least 40 ms with ge_MainSleep.
    double period = vars.maxFps > 0 ? 1.0 / vars.maxFps : 0.0;
    if (vars.mainSleep) period = std::max(period, 0.040);
    // The next logic tick: due once the clock's backlog passes the tick lead;
    // real time runs at the clock's speed (0 while no game runs).
    bool tickDue = false;
    double dueIn = 1.0;
    CGameClock* clock = game->Clock();
    CNetGame* net = game->NetGame();
    if (clock && net && !clock->m_frozen && clock->m_speedFactor > 0.0f && game->CaptureMode() != 2) {
        double sinceAdvance =
            clock->m_frequency > 0.0f
                ? static_cast<double>(static_cast<int64_t>(clock->Now() - clock->m_lastCounter)) /
                      clock->m_frequency
                : 0.0;
        dueIn = (net->m_tickLead - clock->Backlog()) / clock->m_speedFactor - sinceAdvance;
        tickDue = !(dueIn > 0.0);
    }
    // Menus and the lobby left alone (no input for a second, no video): a
    // frame when a tick falls due, and ten a second at least (when no game
    // clock runs); ticks that are overdue (a host catching up, a client
    // whose frame is on its way) bring frames at their time, as in use.
    const bool interface = game->GuiWord() != 0 || game->GameState() != 2;
    const bool video =
        game->FullScreenVideo() || (game->Interface() && game->Interface()->m_console.IsVisible() &&
                                    game->Interface()->m_console.BackgroundVideo());
    const bool idle =
        interface && !video && !tickDue && static_cast<double>(now - lastInput) / frequency > kIdleAfter;
    const double elapsed = static_cast<double>(now - frameStart) / frequency;
    double wait = period - elapsed;
    if (idle)
        wait = std::max(wait, std::min(dueIn, kIdlePeriod - elapsed));
    else if (interface && !tickDue)
        wait = std::min(wait, dueIn);  // in use, a frame also comes when the next tick falls due
    // A running game's frame runs every tick that has fallen due since the
    // one before: it comes at the frame's time, however fast the game runs.
    if (!(wait > 0.0)) return 0;
    return static_cast<int>(std::ceil(std::min(wait, 1.0) * 1000.0));
}
