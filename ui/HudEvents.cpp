// Event messages: a game event of the local player (a unit under attack,
// a construction's trouble, low power or resources, the mission's result)
// becomes a console line in the event's colour, echoed on the screen, the
// race's announcer, and for events with a place six rings on the radar.
#include <string>

#include "ui/Hud.h"
#include "ui/Interface.h"
#include "world/World.h"

namespace {

struct SEventStyle {
    int text;  // the system text (-1: the event shows nothing)
    uint8_t r, g, b;
    int marker;  // the radar marker's kind (-1: none)
    bool sound;
};

// Codes 0 to 27: what each shows.
const SEventStyle kEvents[28] = {
    {-1, 0, 0, 0, -1, false},      // 0: the key building lost (told, not shown)
    {-1, 0, 0, 0, -1, false},      // 1: power back
    {260, 255, 0, 0, -1, true},    // 2 low power
    {261, 255, 0, 0, -1, true},    // 3 low resources
    {256, 255, 0, 0, 0, true},     // 4 base under attack
    {257, 255, 0, 0, 0, true},     // 5 headquarters under attack
    {-1, 0, 0, 0, -1, false},      // 6: the radar back
    {263, 255, 0, 0, -1, true},    // 7 radar off
    {-1, 0, 0, 0, -1, false},      // 8
    {253, 255, 150, 0, 2, true},   // 9 unit ready
    {255, 255, 0, 0, 0, true},     // 10 unit under attack
    {258, 255, 0, 0, 0, true},     // 11 harvester under attack
    {265, 255, 150, 0, -1, true},  // 12 no more units
    {266, 0, 50, 255, -1, true},   // 13 mission completed
    {267, 0, 50, 255, -1, true},   // 14 mission failed
    {268, 255, 150, 0, 2, false}, {269, 255, 150, 0, 2, false}, {270, 255, 150, 0, 2, false},
    {271, 255, 150, 0, 2, false}, {272, 255, 150, 0, 2, false}, {273, 255, 150, 0, 2, false},
    {274, 255, 150, 0, 2, false}, {275, 255, 150, 0, 2, false}, {276, 255, 150, 0, 2, false},
    {277, 255, 150, 0, 2, false}, {278, 0, 50, 255, 1, false},  {279, 0, 50, 255, 1, false},
    {280, 0, 50, 255, 1, false},
};

// The longest message: what a language's text and the names make of it is
// cut there.
constexpr size_t kMaxMessage = 1023;

}  // namespace

void CHud::PostEventMessage(int code, int32_t playerId, float x, float z, const char* sender,
                            const char* argument) {
    CWorld* world = m_ui.World();
    if (!world) return;
    SPlayerView player;
    if (!world->Query().Player(playerId, &player) || !player.local || player.watching ||
        world->Query().WatchingOnly())
        return;
    if (code < 0 || code > 27) return;
    const SEventStyle& style = kEvents[code];
    if (style.text < 0) return;
    // A unit's event names it; the player's own warnings (power, resources,
    // radar) stand alone, with no system sender in front.
    const std::string prefix = sender ? std::string(sender) + " :" : std::string();
    std::string message = m_ui.FormatSystemText(style.text, {prefix.c_str(), argument ? argument : ""});
    if (!sender)
        message.erase(0, message.find_first_not_of(' ') == std::string::npos
                             ? message.size()
                             : message.find_first_not_of(' '));
    if (message.size() > kMaxMessage) message.resize(kMaxMessage);
    if (style.marker >= 0) {
        m_radar.AddMarker(x, z, style.marker);
        // Where JumpToEvent takes the camera.
        m_ui.m_fields.m_lastEventValid = 1;
        m_ui.m_fields.m_lastEventX = x;
        m_ui.m_fields.m_lastEventZ = z;
    }
    if (style.sound) world->PlayEventSound(playerId, code);
    m_ui.m_console.Print(message.c_str(), false, style.r, style.g, style.b, true);
}
