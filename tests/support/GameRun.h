// The game program played from a test: started in a copy of the
// installation, given console commands on its standard input and read
// through its standard output (the console's lines).
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/Process.h"
#include "tests/support/TempDir.h"
#include "tests/support/XServer.h"

// One unit as dbg_UnitState prints it.
struct SUnitSeen {
    std::string name;
    float x = 0.0f, y = 0.0f, z = 0.0f;
    float power = 0.0f;
};

// Starts the game of the installation in dir (with a home of its own there),
// its standard input open for commands; without DISPLAY on SDL's offscreen
// driver. env is set last.
bool Test_StartGame(CTestProcess& game, const CTempDir& dir,
                    const std::vector<std::pair<std::string, std::string>>& env = {});
// Starts it on the X server's display (SDL's X11 driver), env set last.
bool Test_StartGameOn(CTestProcess& game, const CTempDir& dir, const CTestXServer& x,
                      const std::vector<std::pair<std::string, std::string>>& env = {});
// The game's window on the X server, focused (xdotool's id); "" when none
// came within 30 seconds.
std::string Test_GameWindow(const CTestXServer& x);
// The shipped start on the X server: the game's window once its interface
// has loaded (the main menu), "" when it did not come.
std::string Test_MenuWindow(CTestProcess& game, const CTempDir& dir, const CTestXServer& x);
// How Test_StartGame starts it (a test changes the program to start it
// another way, through the launcher say).
SProcessOptions Test_GameOptions(const CTempDir& dir);

// The player's own start-up script of the installation in dir: a skirmish
// on the map (Skerry) straight away, without the menus (the shipped script
// opens the main menu); lines before it run first.
bool Test_WriteSkirmishStart(const CTempDir& dir, const std::string& before = "",
                             const std::string& map = "Skerry");

// Selects the local player's units (in a running game) and reads their
// template names and positions back; empty when the game gave no answer
// within the seconds.
std::vector<SUnitSeen> Test_ReadUnits(CTestProcess& game, double seconds = 10.0);

// Every unit of the map, whoever owns it (the selection stays), read as
// Test_ReadUnits reads them.
std::vector<SUnitSeen> Test_EveryUnit(CTestProcess& game, double seconds = 10.0);
// The units selected now (no new choice), read as Test_ReadUnits reads them.
std::vector<SUnitSeen> Test_SelectedUnits(CTestProcess& game, double seconds = 10.0);

// The selection once it holds n units, read after each of up to 20 drawn
// frames (a click's selection takes a frame or two); what it holds last.
std::vector<SUnitSeen> Test_SelectionOf(CTestProcess& game, size_t n);

// The skirmish of the start-up script in a window, as a player starts it:
// the installation copied into dir with that script, an X server and the
// game on it started, the player's units there (how many, into units), the
// game's window found and focused. False at the first step that fails.
bool Test_SkirmishInWindow(CTempDir& dir, CTestXServer& x, CTestProcess& game, std::string& window,
                           size_t* units = nullptr);

// Runs the command and returns what its answer says after the last line
// part that begins with `said` ("" without one, or when the game gave no
// answer within the seconds): Test_Answer(game, "Color();", "Your color is ").
std::string Test_Answer(CTestProcess& game, const std::string& command, const std::string& said,
                        double seconds = 10.0);

// Runs the command and waits until a later frame took a command of its own:
// the frame that ran the command has drawn by then.
void Test_RunAndDraw(CTestProcess& game, const std::string& command);
// Puts the camera over the ground point (x, z) and waits until the view
// shows it.
void Test_LookAt(CTestProcess& game, float x, float z);

// The local player's units once the game loop runs (SelectAllUnits waits for
// it): read again until some come or the seconds ran out.
std::vector<SUnitSeen> Test_UnitsOnceRunning(CTestProcess& game, double seconds);

// Whether the unit (when there is one) stands within reach of (x, z).
bool Test_Near(const SUnitSeen* unit, float x, float z, float reach = 0.5f);

// Reads the units until one of the template is within reach of (x, z);
// true when it came before the seconds ran out.
bool Test_WaitForUnitAt(CTestProcess& game, const char* name, float x, float z, float reach, double seconds);

// The unit of the template nearest to (x, z), or null.
const SUnitSeen* Test_NearestUnit(const std::vector<SUnitSeen>& units, const char* name, float x, float z);

// The running skirmish on Skerry (once its units are in play) saved after its
// first light tank (map id 11) drove to (-8, -22): "" when it was saved as
// "Skerry (2) 1", else what went wrong with the game's output.
std::string Test_DriveOffAndSave(CTestProcess& game);

// The "Sync CRC of frame F: C" lines (dbg_SyncCrc) of a game's output:
// frame to CRC.
std::map<int, std::string> Test_SyncCrcs(const std::string& out);

// The host starts the game as a player would: the server refuses a start
// while a client still checks the map it was sent, and the host tries again.
// True once the host's game initializes.
bool Test_StartWhenEveryoneHoldsTheMap(CTestProcess& host);

// The camera's settings Test_GroundPixel assumes (a 640 x 480 window).
extern const char* const kTestCamera;
// The window pixel of the ground point (x, z) while the camera of
// kTestCamera looks at (fx, fz): the game view's placement and lens.
std::vector<int> Test_GroundPixel(float fx, float fz, float x, float z);
// The same in a window of another size (its game view the whole window).
std::vector<int> Test_GroundPixelIn(int width, int height, float fx, float fz, float x, float z);
