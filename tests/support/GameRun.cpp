#include "tests/support/GameRun.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <thread>

#include "e3d/View.h"
#include "e3d/Viewport.h"
#include "platform/d3d/D3DDeviceState.h"
#include "tests/support/Installation.h"
#include "ui/GameCamera.h"

SProcessOptions Test_GameOptions(const CTempDir& dir) {
    SProcessOptions options;
    options.program = dir.File("System/Tessarak");
    options.workDir = dir.File("System");
    options.input = true;
    options.env = {{"XDG_CONFIG_HOME", dir.File("home/config")},
                   {"XDG_DATA_HOME", dir.File("home/data")},
                   {"HOME", dir.File("home")},
                   {"LIBGL_ALWAYS_SOFTWARE", "1"},
                   {"SDL_AUDIODRIVER", "dummy"},
                   {"ALSOFT_DRIVERS", "null"},
                   {"TESSARAK_HEADLESS_DIALOGS", "1"}};
    if (!std::getenv("DISPLAY")) options.env.push_back({"SDL_VIDEODRIVER", "offscreen"});
    return options;
}

bool Test_StartGame(CTestProcess& game, const CTempDir& dir,
                    const std::vector<std::pair<std::string, std::string>>& env) {
    SProcessOptions options = Test_GameOptions(dir);
    options.env.insert(options.env.end(), env.begin(), env.end());
    return game.Start(options);
}

bool Test_WriteSkirmishStart(const CTempDir& dir, const std::string& before, const std::string& map) {
    return dir.Write("Tessarak/Scripts/Autoexec.cfg",
                     before + "GameMode(GM_Skirmish);\nStartLocalServer();\nMap(\"" + map +
                         "\");\nAI_AddCommander();\nAI_Active(0);\nStartGame();\n");
}

bool Test_StartGameOn(CTestProcess& game, const CTempDir& dir, const CTestXServer& x,
                      const std::vector<std::pair<std::string, std::string>>& env) {
    std::vector<std::pair<std::string, std::string>> all = {{"DISPLAY", x.Display()},
                                                            {"SDL_VIDEODRIVER", "x11"}};
    all.insert(all.end(), env.begin(), env.end());
    return Test_StartGame(game, dir, all);
}

std::string Test_GameWindow(const CTestXServer& x) {
    std::string window = x.Shell("timeout 30 xdotool search --sync --name '^Tessarak$' | head -1");
    if (window.empty()) return window;
    window.pop_back();
    x.Shell("xdotool windowfocus --sync " + window);
    return window;
}

std::string Test_MenuWindow(CTestProcess& game, const CTempDir& dir, const CTestXServer& x) {
    if (!Test_StartGameOn(game, dir, x) || !game.WaitForOutput("Loading GUI Finished...", 60)) return "";
    return Test_GameWindow(x);
}

namespace {
// The units dbg_UnitState prints after the statements of before, read between
// two marks of their own; empty when the game gave no answer within the
// seconds.
// What ReadUnitOut is given to read every unit of the map, whoever owns it
// (dbg_UnitState(1)).
const char* const kEveryUnit = "every unit";

std::vector<SUnitSeen> ReadUnitOut(CTestProcess& game, const std::string& before, double seconds) {
    static int s_serial = 0;
    const std::string begin = "units-begin " + std::to_string(++s_serial);
    const std::string end = "units-end " + std::to_string(s_serial);
    const std::string ask = before == kEveryUnit ? "dbg_UnitState(1); " : before + "dbg_UnitState(); ";
    game.Write("echo(\"" + begin + "\"); " + ask + "echo(\"" + end + "\");\n");
    std::vector<SUnitSeen> units;
    if (!game.WaitForLine(end, seconds)) return units;
    std::string out = game.Output();
    size_t from = out.find(begin + "\n");
    size_t to = out.find(end + "\n", from);
    if (from == std::string::npos || to == std::string::npos) return units;
    // Each unit: an empty line, a rule, its template, a rule, its position.
    std::istringstream in(out.substr(from, to - from));
    std::string line, previous, name;
    while (std::getline(in, line)) {
        if (line == "--------------------" && !previous.empty() && previous != "--------------------")
            name = previous;
        SUnitSeen u;
        if (std::sscanf(line.c_str(), "Position: %f, %f, %f", &u.x, &u.y, &u.z) == 3) {
            u.name = name;
            units.push_back(u);
        }
        float power = 0.0f;
        if (!units.empty() && std::sscanf(line.c_str(), "Power: %f", &power) == 1) units.back().power = power;
        previous = line;
    }
    return units;
}
}  // namespace

std::vector<SUnitSeen> Test_ReadUnits(CTestProcess& game, double seconds) {
    return ReadUnitOut(game, "SelectAllUnits(); ", seconds);
}

std::vector<SUnitSeen> Test_EveryUnit(CTestProcess& game, double seconds) {
    return ReadUnitOut(game, kEveryUnit, seconds);
}

std::vector<SUnitSeen> Test_SelectedUnits(CTestProcess& game, double seconds) {
    return ReadUnitOut(game, "", seconds);
}

std::vector<SUnitSeen> Test_SelectionOf(CTestProcess& game, size_t n) {
    std::vector<SUnitSeen> selected;
    for (int i = 0; i < 20 && selected.size() != n; ++i) {
        Test_RunAndDraw(game, "");
        selected = Test_SelectedUnits(game);
    }
    return selected;
}

bool Test_SkirmishInWindow(CTempDir& dir, CTestXServer& x, CTestProcess& game, std::string& window,
                           size_t* units) {
    if (!Test_CopyInstallation(dir) || !Test_WriteSkirmishStart(dir) || !x.Start() ||
        !Test_StartGameOn(game, dir, x))
        return false;
    const size_t count = Test_UnitsOnceRunning(game, 60.0).size();
    if (units) *units = count;
    window = count ? Test_GameWindow(x) : std::string();
    return !window.empty();
}

std::string Test_Answer(CTestProcess& game, const std::string& command, const std::string& said,
                        double seconds) {
    static int s_serial = 0;
    const std::string end = "answer-end " + std::to_string(++s_serial);
    game.Write(command + " echo(\"" + end + "\");\n");
    if (!game.WaitForLine(end, seconds)) return std::string();
    const std::string out = game.Output();
    const size_t at = out.rfind(said, out.rfind(end));
    if (at == std::string::npos) return std::string();
    const size_t from = at + said.size();
    return out.substr(from, out.find('\n', from) - from);
}

void Test_RunAndDraw(CTestProcess& game, const std::string& command) {
    static int s_serial = 0;
    for (int round = 0; round < 2; ++round) {
        std::string mark = "drawn-" + std::to_string(++s_serial);
        game.Write((round == 0 ? command : std::string()) + "echo(\"" + mark + "\");\n");
        game.WaitForLine(mark, 10.0);
    }
}

void Test_LookAt(CTestProcess& game, float x, float z) {
    char command[128];
    // The view looks at (centre x, 0, -centre y).
    std::snprintf(command, sizeof command, "View_GameSceneCenterX(%g); View_GameSceneCenterY(%g);", x, -z);
    Test_RunAndDraw(game, command);
}

const SUnitSeen* Test_NearestUnit(const std::vector<SUnitSeen>& units, const char* name, float x, float z) {
    const SUnitSeen* best = nullptr;
    float bestDistance = 0.0f;
    for (const SUnitSeen& u : units) {
        if (u.name != name) continue;
        float d = std::hypot(u.x - x, u.z - z);
        if (!best || d < bestDistance) {
            best = &u;
            bestDistance = d;
        }
    }
    return best;
}

bool Test_WaitForUnitAt(CTestProcess& game, const char* name, float x, float z, float reach, double seconds) {
    auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    do {
        std::vector<SUnitSeen> units = Test_ReadUnits(game, 5.0);
        const SUnitSeen* u = Test_NearestUnit(units, name, x, z);
        if (u && std::hypot(u->x - x, u->z - z) <= reach) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    } while (std::chrono::steady_clock::now() < until);
    return false;
}

std::vector<SUnitSeen> Test_UnitsOnceRunning(CTestProcess& game, double seconds) {
    std::vector<SUnitSeen> units;
    for (int i = 0; i < int(seconds * 4) && units.empty(); ++i) {
        units = Test_ReadUnits(game, 5.0);
        if (units.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    return units;
}

bool Test_Near(const SUnitSeen* unit, float x, float z, float reach) {
    return unit && std::hypot(unit->x - x, unit->z - z) <= reach;
}

std::map<int, std::string> Test_SyncCrcs(const std::string& out) {
    std::map<int, std::string> crcs;
    std::istringstream in(out);
    std::string line;
    while (std::getline(in, line)) {
        int frame = 0;
        char crc[16] = {};
        if (std::sscanf(line.c_str(), "Sync CRC of frame %d: %15s", &frame, crc) == 2) crcs[frame] = crc;
    }
    return crcs;
}

bool Test_StartWhenEveryoneHoldsTheMap(CTestProcess& host) {
    for (int attempt = 0; attempt < 60; ++attempt) {
        const size_t from = host.Output().size();
        host.Write("StartGame();\n");
        for (int i = 0; i < 300; ++i) {
            const std::string out = host.Output();
            if (out.find("Initializing Game...", from) != std::string::npos) return true;
            if (out.find("Cannot start game", from) != std::string::npos) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    return false;
}

std::string Test_DriveOffAndSave(CTestProcess& game) {
    if (Test_UnitsOnceRunning(game, 30.0).empty())
        return "the skirmish's units did not come\n" + game.Output();
    game.Write("AddMoveOrder(11, -8, 0, -22, 0);\n");
    if (!Test_WaitForUnitAt(game, "Granite_LightTank", -8.0f, -22.0f, 2.5f, 20.0))
        return "the tank did not arrive\n" + game.Output();
    game.Write("SaveCurrentGame;\n");
    if (!game.WaitForOutput("Saved game 'Skerry (2) 1'", 20)) return "not saved\n" + game.Output();
    return "";
}

const char* const kTestCamera =
    "View_GameSceneAngle(270); View_GameSceneAngleUp(12); View_GameSceneDistance(17); "
    "View_GameSceneZoom(1.0471976); View_MaxVis(32); view_NearClipping(2); view_FarClipping(222);";

std::vector<int> Test_GroundPixel(float fx, float fz, float x, float z) {
    return Test_GroundPixelIn(640, 480, fx, fz, x, z);
}

std::vector<int> Test_GroundPixelIn(int width, int height, float fx, float fz, float x, float z) {
    CGameCamera camera;
    camera.LookAt(fx, fz);
    float eye[3], target[3];
    camera.Placement(eye, target);
    CE3DViewport view(nullptr);
    view.SetRect(0, 0, width, height);
    view.m_view->LookAt(D3DVECTOR{eye[0], eye[1], eye[2]}, D3DVECTOR{target[0], target[1], target[2]}, 0.0f);
    view.m_view->SetProjection(2.0f, camera.m_distance + 222.0f, camera.m_zoom, float(width) / float(height),
                               true);
    view.m_combined = D3D_Multiply(view.m_view->view, view.m_view->projection);
    int32_t p[2] = {0, 0};
    view.ProjectPoint(p, D3DVECTOR{x, 0.0f, z});
    return {p[0], p[1]};
}
