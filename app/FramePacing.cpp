#include "app/FramePacing.h"

#include <algorithm>
#include <cmath>

#include "app/Game.h"
#include "app/GameClock.h"
#include "netgame/NetGame.h"
#include "platform/sys/Clock.h"
#include "ui/Interface.h"

namespace {
// Interface frames with nobody at the keys: ten a second, and the ticks.
constexpr double kIdlePeriod = 0.1;
// How long after the last input the interface counts as left alone.
constexpr double kIdleAfter = 1.0;
}  // namespace

int Game_MillisecondsToNextFrame(CGame* game, int64_t frameStart, int64_t now, int64_t lastInput) {
    if (!game || game->IsShutDown()) return 0;
    const SGameVariables& vars = game->Variables();
    const double frequency = static_cast<double>(Sys_QueryPerformanceFrequency());
    double period = vars.maxFps > 0 ? 1.0 / vars.maxFps : 0.0;
    const bool interface = game->GuiWord() != 0 || game->GameState() != 2;
    const bool video =
        game->FullScreenVideo() || (game->Interface() && game->Interface()->m_console.IsVisible() &&
                                    game->Interface()->m_console.BackgroundVideo());
    if (interface && !video && static_cast<double>(now - lastInput) / frequency > kIdleAfter)
        period = std::max(period, kIdlePeriod);
    if (vars.mainSleep) period = std::max(period, 0.040);
    double wait = period - static_cast<double>(now - frameStart) / frequency;
    // The next logic tick: due once the clock's backlog passes the tick lead;
    // real time runs at the clock's speed (0 while no game runs). A tick
    // that is due already (a client waiting for its frame, a host catching
    // up) waits for the frame's time like everything else.
    CGameClock* clock = game->Clock();
    CNetGame* net = game->NetGame();
    if (clock && net && !clock->m_frozen && clock->m_speedFactor > 0.0f && game->CaptureMode() != 2) {
        double sinceAdvance =
            clock->m_frequency > 0.0f
                ? static_cast<double>(static_cast<int64_t>(clock->Now() - clock->m_lastCounter)) /
                      clock->m_frequency
                : 0.0;
        double dueIn = (net->m_tickLead - clock->Backlog()) / clock->m_speedFactor - sinceAdvance;
        if (dueIn > 0.0) wait = std::min(wait, dueIn);
    }
    if (!(wait > 0.0)) return 0;
    return static_cast<int>(std::ceil(std::min(wait, 1.0) * 1000.0));
}
