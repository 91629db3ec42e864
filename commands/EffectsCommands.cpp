#include "commands/EffectsCommands.h"

#include "app/Game.h"
#include "app/GameView.h"
#include "console/CommandInterpreter.h"
#include "console/CommandTable.h"
#include "e3d/Screen.h"
#include "world/ExplosionManager.h"
#include "world/GameScene.h"
#include "world/Project.h"

namespace {

CGame* Game(CConsoleCommand* record) {
    CGame* game = record->GetOwner();
    return game ? game : g_pGame;
}

CExplosionManager* Effects(CConsoleCommand* record) {
    CGame* game = Game(record);
    return game ? game->ExplosionManager() : nullptr;
}

void Print(CConsoleCommand* record, const char* text) {
    if (CCommandInterpreter* ip = record->GetInterpreter()) ip->Print(text);
}

// The type named by the first argument, unlocked; null (with the console
// line for a missing one) otherwise. needed: the arguments the command takes.
CExplosionType* TypeArg(CConsoleCommand* record, SCommandArgs* args, int needed) {
    CExplosionManager* effects = Effects(record);
    if (!effects) return nullptr;
    if (!args || args->count < needed) {
        Print(record, "To few arguments");
        return nullptr;
    }
    char name[256];
    if (!args->arg[0].GetString(name, sizeof name)) return nullptr;
    CExplosionType* type = effects->FindType(name);
    if (!type) {
        if (CCommandInterpreter* ip = record->GetInterpreter())
            ip->Printf("Explosion is not created : %s", name);
        return nullptr;
    }
    return type->m_locked ? nullptr : type;
}

void Cmd_Create(CConsoleCommand* record, SCommandArgs* args, CVFSFile*) {
    CExplosionManager* effects = Effects(record);
    if (!effects) return;
    if (!args || args->count < 1) return Print(record, "To few arguments");
    char name[256];
    if (!args->arg[0].GetString(name, sizeof name)) return;
    if (!effects->FindType(name)) new CExplosionType(effects, name);
}

void Cmd_SetMaterial(CConsoleCommand* record, SCommandArgs* args, CVFSFile*) {
    CExplosionType* type = TypeArg(record, args, 2);
    char name[256];
    if (!type || !args->arg[1].GetString(name, sizeof name)) return;
    CGame* game = Game(record);
    CProjectList* projects = game ? game->Projects() : nullptr;
    CE3DScreen* screen =
        projects && projects->m_screen ? projects->m_screen : (game ? game->Screen() : nullptr);
    type->m_debrisMaterial = screen ? screen->FindMaterialByName(name) : nullptr;
}

void Cmd_DebrisExplosion(CConsoleCommand* record, SCommandArgs* args, CVFSFile*) {
    CExplosionType* type = TypeArg(record, args, 2);
    char name[256];
    if (!type || !args->arg[1].GetString(name, sizeof name)) return;
    type->m_debrisExplosion = type->m_manager->FindType(name);
}

void Cmd_SetDescription(CConsoleCommand* record, SCommandArgs* args, CVFSFile*) {
    CExplosionType* type = TypeArg(record, args, 2);
    CStrBuf text;
    if (type && args->arg[1].GetString(text)) type->m_debrisDescription = text;
}

void Cmd_SetScale(CConsoleCommand* record, SCommandArgs* args, CVFSFile*) {
    CExplosionType* type = TypeArg(record, args, 4);
    float s[3];
    if (!type || !args->arg[1].GetFloat(s[0]) || !args->arg[2].GetFloat(s[1]) || !args->arg[3].GetFloat(s[2]))
        return;
    for (int i = 0; i < 3; ++i) type->m_scale[i] = s[i];
    type->m_scaleSet = 1;
}

void Cmd_SetShake(CConsoleCommand* record, SCommandArgs* args, CVFSFile*) {
    CExplosionType* type = TypeArg(record, args, 2);
    float v;
    if (type && args->arg[1].GetFloat(v)) type->m_shake = v;
}

void Cmd_PolyBlowSpeed(CConsoleCommand* record, SCommandArgs* args, CVFSFile*) {
    CExplosionType* type = TypeArg(record, args, 2);
    float v;
    if (type && args->arg[1].GetFloat(v)) type->m_polyBlowSpeed = v;
}

void Cmd_SetSound(CConsoleCommand* record, SCommandArgs* args, CVFSFile*) {
    // With the name alone nothing happens.
    if (!args || args->count < 2) return;
    CExplosionManager* effects = Effects(record);
    CGame* game = Game(record);
    char name[256], file[256];
    if (!effects || !game || !args->arg[0].GetString(name, sizeof name) ||
        !args->arg[1].GetString(file, sizeof file))
        return;
    CExplosionType* type = effects->FindType(name);
    if (!type) {
        if (CCommandInterpreter* ip = record->GetInterpreter())
            ip->Printf("Explosion type doesn't exist : %s", name);
        return;
    }
    if (type->m_locked || game->SoundOff()) return;
    SoundSample* sample = game->LoadSample(game->GetPath("Units\\Sounds", file));
    if (!sample) return;
    if (type->m_sound) game->FreeSample(type->m_sound);
    type->m_sound = sample;
}

void Cmd_Lock(CConsoleCommand* record, SCommandArgs* args, CVFSFile*) {
    if (CExplosionType* type = TypeArg(record, args, 1)) type->m_locked = 1;
}

// The pressure wave of a destroyed object comes from its template's keys:
// the values are read and the type looked up, and nothing is kept.
void Cmd_SetPressureWave(CConsoleCommand* record, SCommandArgs* args, CVFSFile*) {
    if (!TypeArg(record, args, 4)) return;
    float v;
    for (int i = 1; i < 4; ++i)
        if (!args->arg[i].GetFloat(v)) return;
}

// An object of a type: shown (9 arguments) or thrown (8).
void AddObject(CConsoleCommand* record, SCommandArgs* args, bool thrown) {
    CExplosionManager* effects = Effects(record);
    if (!effects) return;
    const int needed = thrown ? 8 : 9;
    if (!args || args->count < needed) {
        if (thrown) return Print(record, "To few arguments");
        CCommandInterpreter* ip = record->GetInterpreter();
        if (ip && args && args->count > 0)
            ip->Printf("To few arguments in Explo_AddObject : %s", args->Text(0));
        else
            Print(record, "To few arguments in Explo_AddObject");
        return;
    }
    char name[256], object[256];
    float f[6] = {0, 0, 0, 0, 0, 0};
    int32_t flags[3] = {0, 0, 0};
    if (!args->arg[0].GetString(name, sizeof name) || !args->arg[1].GetString(object, sizeof object)) return;
    for (int i = 0; i < (thrown ? 6 : 4); ++i)
        if (!args->arg[2 + i].GetFloat(f[i])) return;
    if (!thrown)
        for (int i = 0; i < 3; ++i)
            if (!args->arg[6 + i].GetInt(flags[i])) return;
    CExplosionType* type = effects->FindType(name);
    if (!type) {
        if (CCommandInterpreter* ip = record->GetInterpreter())
            ip->Printf("Explosion is not created : %s", name);
        return;
    }
    if (type->m_locked) return;
    CGame* game = Game(record);
    CGameScene* scene = game ? game->GameScene() : nullptr;
    CTessarakObjectTemplate* tmpl = scene ? scene->FindTemplate(object) : nullptr;
    if (!tmpl)
        if (CCommandInterpreter* ip = record->GetInterpreter())
            ip->Printf("Object name does not exist : %s", object);
    CExplosionInstance* inst = new CExplosionInstance(type);
    inst->m_objectName = object;
    inst->m_template = tmpl;
    inst->m_thrown = thrown ? 1 : 0;
    inst->m_size = f[0];
    inst->m_sizeRange = f[1];
    inst->m_time = f[2];
    inst->m_timeRange = f[3];
    if (thrown) {
        inst->m_speed = f[4];
        inst->m_speedRange = f[5];
    } else {
        inst->m_randomPosition = flags[0] > 0;
        inst->m_top = flags[1] > 0;
        inst->m_keepHeading = flags[2] != 0;
    }
}

void Cmd_AddObject(CConsoleCommand* record, SCommandArgs* args, CVFSFile*) {
    AddObject(record, args, false);
}

void Cmd_AddThrowObject(CConsoleCommand* record, SCommandArgs* args, CVFSFile*) {
    AddObject(record, args, true);
}

}  // namespace

void RegisterEffectsCommands(CCommandInterpreter* ip) {
    CGame* game = g_pGame;
    CExplosionManager* e = game ? game->ExplosionManager() : nullptr;
    const SCommandRow functions[] = {
        SCommandRow::Function(
            "Effect_Explo_DebrisExplosion", Cmd_DebrisExplosion,
            "Used when creating explotions. Sets the debris explosion of the explosion type.",
            "Effect_Explo_DebrisExplosion(str ExplosionName, str DebrisExplosionName);"),
        SCommandRow::Function("Effect_Explo_SetSound", Cmd_SetSound,
                              "Used when creating explotions. Sets the sound of the explosion.",
                              "Effect_Explo_PolyBlowSpeed(str ExplosionName, str SoundFile);"),
        SCommandRow::Function("Effect_Explo_PolyBlowSpeed", Cmd_PolyBlowSpeed,
                              "Used when creating explotions. Sets the speed of the ploygon blow.",
                              "Effect_Explo_PolyBlowSpeed(str ExplosionName, float Speed);"),
        SCommandRow::Function("Effect_Explo_SetScale", Cmd_SetScale,
                              "Used when creating explotions. Sets the size of a exlposion.",
                              "Effect_Explo_SetScale(str ExplosionName, float x, float y, float z);"),
        SCommandRow::Function("Effect_Explo_SetShake", Cmd_SetShake,
                              "Used when creating explotions. Sets the amount of shake to add to the camera.",
                              "Explo_SetShake(str ExplosionName, float amount);"),
        SCommandRow::Function(
            "Effect_Explo_SetDescription", Cmd_SetDescription,
            "Used when creating explotions. Sets the description of the debris left behind.",
            "Effect_Explo_SetDescription(str ExplosionName, str Description);"),
        SCommandRow::Function(
            "Effect_Explo_SetMaterial", Cmd_SetMaterial,
            "Used when creating explotions. Sets the material on the debris that is left behind.",
            "Effect_Explo_SetMaterial(str ExplosionName, str MaterialName);"),
        SCommandRow::Function(
            "Effect_Explo_Create", Cmd_Create,
            "Used when creating explotions. Creates a new explosion type if not already created.",
            "Effect_Explo_Create(str ExplosionName);"),
        SCommandRow::Function(
            "Effect_Explo_AddObject", Cmd_AddObject,
            "Used when creating explotions. Adds a object to a explosion. The object can be a "
            "shockwave or a explosion.",
            "Effect_Explo_AddObject(str ExplosionName, str ObjectName, float Size, float "
            "RandomSize, float Time, float RandomTime, int UseRandomPosition, int Top);"),
        SCommandRow::Function(
            "Effect_Explo_AddThrowObject", Cmd_AddThrowObject,
            "Used when creating explotions. Adds a object to a explosion. This object will be "
            "fired away from the debris.",
            "Effect_Explo_AddThrowObject(str ExplosionName, str ObjectName, float Size, float "
            "RandomSize, float Time, float RandomTime, float Speed, float RandomSpeed);"),
        SCommandRow::Function(
            "Effect_Explo_Lock", Cmd_Lock,
            "Used when creating explotions. Locks the explosion so no more changes can be made.",
            "Effect_Explo_Lock(str ExplosionName);"),
        SCommandRow::Function("Effect_Explo_SetPressureWave", Cmd_SetPressureWave,
                              "Used when creating explotions. Defines how the pressure wave from the debris "
                              "should behave.",
                              "Effect_Explo_SetPressureWave(str ExplosionName, float DecreasingRate, float "
                              "SpreadingSpeed, float OriginPower);"),
    };
    CommandTable_Register(ip, functions);
    if (!e) return;
    const SCommandRow variables[] = {
        SCommandRow::Float(
            "effect_polygonblow_amount", &e->m_polygonBlowAmount, 0.0f, 1.0f,
            "Set the number of polygons that blow up in a polygon blow. 0.0 to 1.0 are valid values.",
            "effect_polygonblow_amount(float Amount);")
            .Config("Effects.cfg"),
        SCommandRow::Bool("Effect_Particles", &e->m_particles,
                          "If set to zero, no particle effects will be used.", "Effect_Particles(int Value);")
            .Config("Effects.cfg"),
        SCommandRow::Bool("Effect_PolygonBlow", &e->m_polygonBlow,
                          "If set to zero, no polygon blows will be used.", "Effect_PolygonBlow(int Value);")
            .Config("Effects.cfg"),
        SCommandRow::Bool("Effect_FogOfWar", &e->m_fogOfWar,
                          "If set to zero, the fog of war will be disabled.", "Effect_FogOfWar(int Value);")
            .Config("Effects.cfg"),
        SCommandRow::Int("Effect_FogColorR", &e->m_fogColour[0], 0, 255,
                         "Changes the red component in the fog of war color.",
                         "Effect_FogColorR(int Value);"),
        SCommandRow::Int("Effect_FogColorG", &e->m_fogColour[1], 0, 255,
                         "Changes the green component in the fog of war color.",
                         "Effect_FogColorG(int Value);"),
        SCommandRow::Int("Effect_FogColorB", &e->m_fogColour[2], 0, 255,
                         "Changes the blue component in the fog of war color.",
                         "Effect_FogColorB(int Value);"),
        SCommandRow::Int("Effect_FogHalfColorR", &e->m_fogHalfColour[0], 0, 255,
                         "Changes the red component in the fog of war shadow color.",
                         "Effect_FogHalfColorR(int Value);"),
        SCommandRow::Int("Effect_FogHalfColorG", &e->m_fogHalfColour[1], 0, 255,
                         "Changes the green component in the fog of war shadow color.",
                         "Effect_FogHalfColorG(int Value);"),
        SCommandRow::Int("Effect_FogHalfColorB", &e->m_fogHalfColour[2], 0, 255,
                         "Changes the blue component in the fog of war shadow color.",
                         "Effect_FogHalfColorB(int Value);"),
        SCommandRow::Bool("Effect_LightOfGod", &e->m_lightOfGod,
                          "If set to one, The mouse cursor will generate a 3d light.", "Effect_LightOfGod")
            .Config("Effects.cfg"),
        SCommandRow::Float("Effect_LightOfGod_Height", &e->m_lightHeight, -1000.0f, 1000.0f,
                           "Changes the height of the Light of god", "Effect_LightOfGod_Height(int Value);")
            .Config("Effects.cfg"),
        SCommandRow::Float("Effect_LightOfGod_Range", &e->m_lightRange, 0.0f, 100.0f,
                           "Changes the range of the Light of god", "Effect_LightOfGod_Height(int Value);")
            .Config("Effects.cfg"),
        SCommandRow::Float("Effect_LightOfGod_Strength", &e->m_lightStrength, 0.0f, 100.0f,
                           "Changes the range of the Light of god, smaller value gives stronger light",
                           "Effect_LightOfGod_Height(int Value);")
            .Config("Effects.cfg"),
        SCommandRow::Float("Effect_LightOfGod_Variation", &e->m_lightVariation, 0.0f, 100.0f,
                           "Changes the variation of the Light of god. Smaller value gives larger variation",
                           "Effect_LightOfGod_Variation(int Value);")
            .Config("Effects.cfg"),
        SCommandRow::Float("Effect_LightOfGod_ColorR", &e->m_lightColour[0], -10.0f, 10.0f,
                           "Changes the red component in the Light of god color.",
                           "Effect_LightOfGod_ColorR(int Value);")
            .Config("Effects.cfg"),
        SCommandRow::Float("Effect_LightOfGod_ColorG", &e->m_lightColour[1], -10.0f, 10.0f,
                           "Changes the green component in the Light of god  color.",
                           "Effect_LightOfGod_ColorG(int Value);")
            .Config("Effects.cfg"),
        SCommandRow::Float("Effect_LightOfGod_ColorB", &e->m_lightColour[2], -10.0f, 10.0f,
                           "Changes the blue component in the Light of god  color.",
                           "Effect_LightOfGod_ColorB(int Value);")
            .Config("Effects.cfg"),
    };
    CommandTable_Register(ip, variables);
}

// The first argument of a view command as a float; false, with the
// interpreter's error line, when there is none or it is no number.
bool FloatArg(CConsoleCommand* record, SCommandArgs* args, float& value) {
    if (!args || args->count < 1) {
        record->ReportError("To few arguments");
        return false;
    }
    if (!args->arg[0].GetFloat(value)) {
        record->ReportError("Ivalid argument");
        return false;
    }
    return true;
}

// The field of view's range (View_GameSceneZoom's): the zoom commands keep
// within it as the variable does.
constexpr float kLeastFieldOfView = 0.1f, kMostFieldOfView = 1.5f;

// The field of view times the value, unless the view would then span more
// than View_MaxVis (distance times field of view) or leave its range.
void Cmd_MultiplyZoom(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CExplosionManager* e = Effects(record);
    float v = 0.0f;
    if (file || !e || !FloatArg(record, args, v)) return;
    const float zoom = e->m_cameraZoom * v;
    if (e->m_cameraDistance * zoom > e->m_maxVisible ||
        !(zoom >= kLeastFieldOfView && zoom <= kMostFieldOfView))
        return;
    e->m_cameraZoom = zoom;
}

// The field of view divided by the value, unless the view would then span
// less than 0.3 or leave the field of view's range; a value of 0 or less is
// no number to divide by.
void Cmd_DivZoom(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CExplosionManager* e = Effects(record);
    float v = 0.0f;
    if (file || !e || !FloatArg(record, args, v)) return;
    if (!(v > 0.0f)) return record->ReportError("Ivalid argument");
    const float zoom = e->m_cameraZoom / v;
    if (e->m_cameraDistance * zoom < 0.3f || !(zoom >= kLeastFieldOfView && zoom <= kMostFieldOfView)) return;
    e->m_cameraZoom = zoom;
}

void RegisterViewCommands(CCommandInterpreter* ip) {
    CGame* game = g_pGame;
    CExplosionManager* e = game ? game->ExplosionManager() : nullptr;
    CGameView* view = game ? game->GameView() : nullptr;
    if (view) {
        const SCommandRow shake[] = {
            SCommandRow::Float("CameraShake", &view->m_shake, 0.0f, 10.0f,
                               "Sets the shaking mount of the camera", "CameraShake(float Amount);"),
            SCommandRow::Float("CameraDamping", &view->m_shakeDecay, 0.0f, 100.0f,
                               "Sets the damping of the camera shake", "CameraDamping(float Amount);"),
            SCommandRow::Float("CameraShakeRoof", &view->m_shakeLimit, 0.0f, 100.0f,
                               "Sets the max value of the shakeing", "CameraShakeRoof(float Amount);"),
            SCommandRow::Float("CameraShakeRange", &view->m_shakeRange, 0.0f, 100.0f,
                               "Sets the max range of shake effect", "CameraShakeRange(float Range);"),
        };
        CommandTable_Register(ip, shake);
    }
    if (!e) return;
    const SCommandRow camera[] = {
        SCommandRow::Float("View_MaxVis", &e->m_maxVisible, 0.0f, 1000.0f,
                           "Tha maximum visible portion of the gamescene", "View_MaxVis(float Angle);")
            .Config("Visual.cfg"),
        SCommandRow::Function("MultiplyZoom", Cmd_MultiplyZoom, "Multiplies the FOV with the given value",
                              "MultiplyZoom(float Value);")
            .Mask(4),
        SCommandRow::Function("DivZoom", Cmd_DivZoom, "Divies the FOV with the given value",
                              "DivZoom(float Value);"),
        SCommandRow::Float("View_GameSceneAngle", &e->m_cameraHeading, 0.0f, 360.0f,
                           "Sets the heading of the camera", "View_GameSceneAngle(float Angle);")
            .Config("Visual.cfg"),
        SCommandRow::Float("View_GameSceneAngleUp", &e->m_cameraPitch, 0.0f, 89.0f,
                           "Sets the pitch of the camera", "View_GameSceneAngleUp(float Angle);")
            .Config("Visual.cfg"),
        SCommandRow::Float("View_GameSceneDistance", &e->m_cameraDistance, 0.0f, 30.0f,
                           "Sets the distance of the camera from the gamescene",
                           "View_GameSceneDistance(float Distance);")
            .Config("Visual.cfg"),
        SCommandRow::Float("View_GameSceneZoom", &e->m_cameraZoom, 0.1f, 1.5f, "Sets the FOV of the camera",
                           "View_GameSceneZoom(float Zoom);")
            .Config("Visual.cfg"),
        SCommandRow::Float("View_GameSceneCenterX", &e->m_focusX, -10000.0f, 10000.0f,
                           "Sets the lookat position of the camera (X)", "View_GameSceneCenterX(float Pos);"),
        SCommandRow::Float("View_GameSceneCenterY", &e->m_focusZ, -10000.0f, 10000.0f,
                           "Sets the lookat position of the camera (Y)", "View_GameSceneCenterY(float Pos);"),
    };
    CommandTable_Register(ip, camera);
}
