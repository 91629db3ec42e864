#include "commands/ViewCommands.h"

#include <vector>

#include "app/Game.h"
#include "app/GameView.h"
#include "commands/CommandArgs.h"
#include "commands/CommandContext.h"
#include "console/CommandInterpreter.h"
#include "console/CommandTable.h"
#include "ui/Interface.h"
#include "world/ExplosionManager.h"
#include "world/World.h"
#include "world/WorldQuery.h"

namespace {

CInterface* UiOf(CConsoleCommand* record) {
    CGame* game = GameOf(record);
    return game ? game->Interface() : nullptr;
}

CWorld* WorldOf(CConsoleCommand* record) {
    CGame* game = GameOf(record);
    return game ? game->World() : nullptr;
}

// The one float argument of a turning, zooming or scaling command: false,
// with the line said, when it is missing or no number (or, for a factor, not
// above 0: a scale or a field of view cannot become 0, negative or
// infinite).
bool ValueArg(CConsoleCommand* record, SCommandArgs* args, float& value, bool factor,
              const char* invalid = "Ivalid argument") {
    if (Args_Count(args) < 1) {
        Args_Error(record, "To few arguments");
        return false;
    }
    if (!Args_Float(args, 0, value) || (factor && !(value > 0.0f))) {
        Args_Error(record, invalid);
        return false;
    }
    return true;
}

// ---- the camera

void Cmd_JumpToEvent(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    CInterface* ui = file ? nullptr : UiOf(record);
    if (ui && ui->m_fields.m_lastEventValid)
        ui->m_camera.LookAt(ui->m_fields.m_lastEventX, ui->m_fields.m_lastEventZ);
}

// Tracking a unit stops; without one, the first selected object is tracked.
void Cmd_FlipTracking(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    CInterface* ui = file ? nullptr : UiOf(record);
    CWorld* world = WorldOf(record);
    if (!ui || !world) return;
    CGameCamera& camera = ui->m_camera;
    float x = 0.0f, z = 0.0f;
    if (camera.m_followed >= 0 && world->Query().Position(camera.m_followed, &x, &z)) {
        camera.Follow(-1);
        return;
    }
    const std::vector<int32_t> selected = world->Query().SelectedObjects();
    camera.Follow(selected.empty() ? -1 : selected[0]);
}

void Cmd_Center(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    if (CInterface* ui = file ? nullptr : UiOf(record)) ui->m_camera.LookAt(0.0f, 0.0f);
}

// Over the mean place of the selected objects; nothing without one.
void Cmd_CenterSelected(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    CInterface* ui = file ? nullptr : UiOf(record);
    CWorld* world = WorldOf(record);
    if (!ui || !world) return;
    float sx = 0.0f, sz = 0.0f;
    int n = 0;
    for (int32_t id : world->Query().SelectedObjects()) {
        float x = 0.0f, z = 0.0f;
        if (!world->Query().Position(id, &x, &z)) continue;
        sx += x;
        sz += z;
        ++n;
    }
    if (n > 0) ui->m_camera.LookAt(sx / static_cast<float>(n), sz / static_cast<float>(n));
}

void Cmd_MoveSceneAngle(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CInterface* ui = file ? nullptr : UiOf(record);
    float v = 0.0f;
    if (ui && ValueArg(record, args, v, false)) ui->m_camera.Turn(v);
}

void Cmd_MoveSceneAngleUp(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CInterface* ui = file ? nullptr : UiOf(record);
    float v = 0.0f;
    if (ui && ValueArg(record, args, v, false)) ui->m_camera.Tilt(v);
}

// The field of view times or divided by the factor, unless the view would
// then reach farther than View_MaxVis or nearer than 0.3 (it stays).
template <bool kDivide>
void Cmd_Zoom(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CInterface* ui = file ? nullptr : UiOf(record);
    float v = 0.0f;
    if (ui && ValueArg(record, args, v, true)) ui->m_camera.ScaleZoom(v, kDivide);
}

// ---- the radar's scale: the radar draws its surfaces again.

template <bool kDivide>
void Cmd_RadarScale(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CInterface* ui = file ? nullptr : UiOf(record);
    float v = 0.0f;
    if (!ui || !ValueArg(record, args, v, true, kDivide ? "Ivalid argument" : "Ivalid argumtent")) return;
    float& scale = ui->m_fields.m_radarScale;
    const float next = kDivide ? scale / v : scale * v;
    if (!(next > 0.0f) || next > 3.0e38f)
        return Args_Error(record, "Ivalid argument (the scale would leave its range)");
    scale = next;
    ui->m_fields.m_radarSurfaceValid[0] = 0;
}

// ---- a test: every character of the console's character set.

void Cmd_TestCharSet(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    if (file) return;
    CCommandInterpreter* ip = record->GetInterpreter();
    // A control code (below 32, and 127) has no picture of its own: a blank
    // stands for it, so that the line (and a terminal that copies the
    // console) stays one line.
    for (int c = 1; c <= 255; ++c) ip->Printf("%-3d: %c", c, c < 32 || c == 127 ? ' ' : c);
}

}  // namespace

// The rows in their registration order, each setting registered by the
// object that holds it: the interface (the radar, the GUI switch) and its
// camera, the game object (grid, 3D drawing), the game view (shake,
// clipping, the scene's colours, the render options), the world's
// explosion manager (the sun).
void RegisterViewCommands(CCommandInterpreter* ip) {
    CGame* game = GameOf(ip);
    CInterface* ui = game ? game->Interface() : nullptr;
    CGameView* view = game ? game->GameView() : nullptr;
    CWorld* world = game ? game->World() : nullptr;
    auto functions = [ip](std::initializer_list<SCommandRow> rows) {
        for (const SCommandRow& row : rows) CommandTable_Create(ip, row);
    };
    functions({
        SCommandRow::Function("JumpToEvent", Cmd_JumpToEvent, "Jumps to the last game event",
                              "JumpToEvent();")
            .Mask(4),
        SCommandRow::Function("vid_TestCharSet", Cmd_TestCharSet, "Displazs all characters",
                              "vid_TestCharSet();")
            .Mask(4),
        SCommandRow::Function("FlipTracking", Cmd_FlipTracking,
                              "Tracks the selected unit. Or stops tracking a unit if tracking is on",
                              "FlipTracking();")
            .Mask(4),
        SCommandRow::Function("MultiplyRadarScale", Cmd_RadarScale<false>,
                              "Multiplies radar scale by supplied value", "MultiplyRadarScale(float Value);")
            .Mask(4),
        SCommandRow::Function("DivRadarScale", Cmd_RadarScale<true>, "Divides radar scale by supplied value",
                              "DivRadarScale(float Value);")
            .Mask(4),
    });
    if (ui) ui->m_camera.RegisterSettings(ip, {"View_MaxVis"});
    if (ui) ui->RegisterViewSettings(ip, {"cg_RadarScreenPortion"});
    functions({
        SCommandRow::Function("Center", Cmd_Center, "Positions camera at center of map", "Center();").Mask(4),
        SCommandRow::Function("CenterSelected", Cmd_CenterSelected, "Centers camera over selected units",
                              "CenterSelected();")
            .Mask(4),
    });
    if (ui) ui->RegisterViewSettings(ip, {"cg_DrawFullScreenRadar", "cg_DrawGUI"});
    if (game) game->RegisterVariables(ip, {"cg_DrawGrid"});
    if (ui) ui->RegisterViewSettings(ip, {"cg_DrawRadar"});
    functions({
        SCommandRow::Function("MoveSceneAngle", Cmd_MoveSceneAngle,
                              "Adds the supplied value to the heading of the camera",
                              "MoveSceneAngle(float Value);"),
        SCommandRow::Function("MoveSceneAngleUp", Cmd_MoveSceneAngleUp,
                              "Adds the supplied value to the pitch of the camera",
                              "MoveSceneAngleUp(float Value);"),
        SCommandRow::Function("MultiplyZoom", Cmd_Zoom<false>, "Multiplies the FOV with the given value",
                              "MultiplyZoom(float Value);")
            .Mask(4),
        SCommandRow::Function("DivZoom", Cmd_Zoom<true>, "Divies the FOV with the given value",
                              "DivZoom(float Value);"),
    });
    if (view)
        view->RegisterViewSettings(ip,
                                   {"CameraShake", "CameraDamping", "CameraShakeRoof", "CameraShakeRange"});
    if (game) game->RegisterVariables(ip, {"Disable3DEngine"});
    if (ui)
        ui->m_camera.RegisterSettings(
            ip, {"View_GameSceneAngle", "View_GameSceneAngleUp", "View_GameSceneDistance",
                 "View_GameSceneZoom", "View_GameSceneCenterX", "View_GameSceneCenterY"});
    if (view) view->RegisterViewSettings(ip, {"view_FarClipping", "view_NearClipping"});
    if (world) world->Explosions().RegisterSunSettings(ip);
    if (view)
        view->RegisterViewSettings(
            ip, {"scene_ambinet_red", "scene_ambinet_green", "scene_ambinet_blue", "scene_bgcolor_red",
                 "scene_bgcolor_green", "scene_bgcolor_blue", "cg_EnableTextures", "cg_EnableAlphaBlending",
                 "cg_EnableAntialiasing", "cg_EnableDithering", "cg_MaxNumLights", "cg_TextureMagnification",
                 "cg_TextureMinification", "cg_TextureMipmapMode", "cg_MaxFillMode", "cg_MaxShadeMode"});
}
