#include "commands/EffectsCommands.h"

#include "app/Game.h"
#include "app/GameServices.h"
#include "app/GameView.h"
#include "commands/CommandArgs.h"
#include "commands/CommandContext.h"
#include "console/CommandInterpreter.h"
#include "console/CommandTable.h"
#include "e3d/Engine.h"
#include "e3d/Screen.h"
#include "ui/Interface.h"
#include "world/ExplosionManager.h"
#include "world/GameScene.h"
#include "world/Project.h"
#include "world/World.h"
#include "world/WorldRoles.h"

namespace {

CGame* Game(CConsoleCommand* record) {
    return GameOf(record);
}

CExplosionManager* Effects(CConsoleCommand* record) {
    CGame* game = Game(record);
    return game && game->World() ? &game->World()->Explosions() : nullptr;
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
        projects && projects->m_screen ? projects->m_screen : (game ? Game_Screen(game) : nullptr);
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
    // The sample comes from the world's sound role, which frees it again.
    IWorldSound& sound = game->World()->Sound();
    if (type->m_locked || sound.SoundOff()) return;
    SWorldSample* sample = sound.LoadSample(game->GetPath("Units\\Sounds", file));
    if (!sample) return;
    if (type->m_sound) sound.FreeSample(type->m_sound);
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
    CGameScene* scene = game ? game->Scene() : nullptr;
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

// Effect_GenerateStars(EmitterName, NumStars, YLevel, YLevelRandom, Size,
// RandomSize, OverLap), or without arguments "StarsSmall" at -20 (7 deep),
// size 3 and no overlap: the star field below and around the map.
void Cmd_GenerateStars(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CExplosionManager* effects = file ? nullptr : Effects(record);
    if (!effects) return;
    CE3DNode* tmpl = nullptr;
    int32_t count = 0;
    float v[5] = {-20.0f, 7.0f, 3.0f, 0.0f, 0.0f};  // Y level and its range, size and its range, overlap
    const int n = Args_Count(args);
    if (n != 0 && n < 7) return Args_Error(record, "To few arguments");
    if (n >= 7) {
        if (!Args_Int(args, 1, count) || count < 0) return Args_Error(record, "Ivalid argument");
        for (int i = 0; i < 5; ++i)
            if (!Args_Float(args, 2 + i, v[i])) return Args_Error(record, "Ivalid argument");
        CE3DEngine* engine = effects->m_world ? effects->m_world->Engine() : nullptr;
        tmpl = engine ? engine->FindEmitterTemplateByName(args->Text(0)) : nullptr;
        if (!tmpl) return Args_Error(record, "No such emitter template");
    }
    effects->GenerateStars(tmpl, count, v[0], v[1], v[2], v[3], v[4]);
}

}  // namespace

void RegisterEffectsCommands(CCommandInterpreter* ip) {
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
    // The effect settings: the explosion manager's own; the star field's
    // command stands among them.
    CGame* game = GameOf(ip);
    CWorld* world = game ? game->World() : nullptr;
    if (world) world->Explosions().RegisterSettings(ip, {"effect_polygonblow_amount"});
    const SCommandRow stars[] = {
        SCommandRow::Function(
            "Effect_GenerateStars", Cmd_GenerateStars, "Generates stars by using the emitter system.",
            "Effect_GenerateStars(str EmitterName, int NumStars, float YLevel, float YLevelRandom, "
            "float Size, float RandomSize, float OverLap);"),
    };
    CommandTable_Register(ip, stars);
    if (world)
        world->Explosions().RegisterSettings(
            ip, {"Effect_Particles", "Effect_PolygonBlow", "Effect_FogOfWar", "Effect_FogColorR",
                 "Effect_FogColorG", "Effect_FogColorB", "Effect_FogHalfColorR", "Effect_FogHalfColorG",
                 "Effect_FogHalfColorB", "Effect_LightOfGod", "Effect_LightOfGod_Height",
                 "Effect_LightOfGod_Range", "Effect_LightOfGod_Strength", "Effect_LightOfGod_Variation",
                 "Effect_LightOfGod_ColorR", "Effect_LightOfGod_ColorG", "Effect_LightOfGod_ColorB"});
}
