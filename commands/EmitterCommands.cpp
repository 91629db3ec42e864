#include "commands/EmitterCommands.h"

#include "app/Game.h"
#include "console/CommandInterpreter.h"
#include "console/CommandTable.h"
#include "e3d/ColorTable.h"
#include "e3d/EmitterTemplate.h"
#include "e3d/Engine.h"
#include "world/GameMaterial.h"
#include "world/Project.h"

namespace {

// The numbers a template may have: the editor steps through 1 to 1000 and
// saves 0 and above; an unnumbered template is -1.
constexpr int32_t kMaxEmitterId = 1000;
constexpr int32_t kMaxGradientIndex = 1000;

CGame* Game(CConsoleCommand* record) {
    CGame* game = record->GetOwner();
    return game ? game : g_pGame;
}

void Print(CConsoleCommand* record, const char* text) {
    if (CCommandInterpreter* ip = record->GetInterpreter()) ip->Print(text);
}

CE3DEmitterTemplate* TemplateById(CGame* game, int32_t id) {
    CE3DEngine* engine = game ? game->Engine() : nullptr;
    if (!engine || id < 0) return nullptr;
    return CE3DEmitterTemplate::From(engine->FindEmitterTemplateById(uint32_t(id)));
}

CE3DEmitterTemplate* Current(CGame* game) {
    return game ? TemplateById(game, game->EmitterEditor().current) : nullptr;
}

// Emitter_Create(ID, then the 21 settings in this order).
void Cmd_Create(CConsoleCommand* record, SCommandArgs* args, CVFSFile*) {
    CGame* game = Game(record);
    if (!args || args->count < 20) return Print(record, "To few arguments");
    int32_t id = 0, deathWish = 0, reuse = 0, numParticles = 0;
    float f[18];
    int fi = 0;
    int ai = 0;
    auto readInt = [&](int32_t& out) { return ai < args->count && args->arg[ai++].GetInt(out); };
    auto readFloat = [&]() { return ai < args->count && args->arg[ai++].GetFloat(f[fi++]); };
    // ID, BirthRate, DeathWish, ReuseParticles, then Speed .. Size, then the rest.
    if (!readInt(id) || !readFloat() || !readInt(deathWish) || !readInt(reuse)) return;
    for (int i = 0; i < 3; ++i)  // Speed, LifeTime, VariableLifeTime
        if (!readFloat()) return;
    if (!readInt(numParticles)) return;
    for (int i = 0; i < 14; ++i)  // Size .. SpeedVariationCoefficient
        if (!readFloat()) return;
    if (id < 0 || id > kMaxEmitterId) {
        if (CCommandInterpreter* ip = record->GetInterpreter())
            ip->Printf("Emitter ID is not in range (0-%d)", kMaxEmitterId);
        return;
    }
    CE3DEngine* engine = game ? game->Engine() : nullptr;
    if (!engine) return Print(record, "No 3D engine: emitters cannot be made");
    CE3DEmitterTemplate* t = TemplateById(game, id);
    if (t)
        Print(record, "Already Created");
    else
        t = new CE3DEmitterTemplate(engine);
    t->ColorTable();
    t->m_id = id;
    t->BirthRate = f[0];
    t->DeathWish = deathWish;
    t->ReuseParticles = reuse != 0;
    t->Speed = f[1];
    t->LifeTime = f[2];
    t->VariableLifeTime = f[3];
    t->NumParticles = numParticles;
    float* const rest[] = {&t->Size,
                           &t->Spread,
                           &t->SpreadCoofficient,
                           &t->SpreadAround,
                           &t->SpreadAroundStart,
                           &t->SpeedModifier,
                           &t->PosVariationX,
                           &t->PosVariationY,
                           &t->PosVariationZ,
                           &t->Acceleration,
                           &t->SizeVariation,
                           &t->Shrink,
                           &t->SpeedVariation,
                           &t->SpeedVariationCoefficient};
    for (int i = 0; i < 14; ++i) *rest[i] = f[4 + i];
    SEmitterEditor& editor = game->EmitterEditor();
    editor.newEmitter = id;
    editor.current = id;
}

void Cmd_SetName(CConsoleCommand* record, SCommandArgs* args, CVFSFile*) {
    if (!args || args->count < 1) return Print(record, "To few arguments");
    CStrBuf name;
    if (!args->arg[0].GetString(name)) return;
    if (CE3DEmitterTemplate* t = Current(Game(record))) t->m_name = name;
}

// Emitter_AddGradientPoint(Pos, red, green, blue[, alpha]): the fourth
// component is 1.0 when it is left out, as on a new point.
void Cmd_AddGradientPoint(CConsoleCommand* record, SCommandArgs* args, CVFSFile*) {
    if (!args || args->count < 4) return Print(record, "To few arguments");
    int32_t index = 0;
    float c[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    if (!args->arg[0].GetInt(index)) return;
    for (int i = 0; i < 3; ++i)
        if (!args->arg[1 + i].GetFloat(c[i])) return;
    if (args->count > 4 && !args->arg[4].GetFloat(c[3])) return;
    if (index < 0 || index > kMaxGradientIndex) return Print(record, "Index is not in range (0-1000)");
    CE3DEmitterTemplate* t = Current(Game(record));
    if (!t) return;
    t->ColorTable()->AddPoint(index, c[0], c[1], c[2], c[3]);
    t->SortGradient();
}

void Cmd_SetMaterial(CConsoleCommand* record, SCommandArgs* args, CVFSFile*) {
    if (!args || args->count < 2) return Print(record, "To few arguments");
    int32_t id = 0;
    char name[512];
    if (!args->arg[0].GetInt(id) || !args->arg[1].GetString(name, sizeof name)) return;
    CGame* game = Game(record);
    CE3DEmitterTemplate* t = TemplateById(game, id);
    if (!t) return Print(record, "Emitter Template not found");
    CProjectList* projects = game ? game->Projects() : nullptr;
    CGameMaterial* material = projects ? projects->FindMaterialByName(name) : nullptr;
    if (!material) return Print(record, "Material Object Not found");
    t->m_materialName = name;
    t->m_material = material;
}

}  // namespace

void RegisterEmitterCommands(CCommandInterpreter* interpreter) {
    const SCommandRow rows[] = {
        SCommandRow::Function("Emitter_SetMaterial", Cmd_SetMaterial,
                              "Used when editing Emitters. Sets the material on the particles.",
                              "Emitter_SetMaterial(int EmitterNumber, str MaterialName);"),
        SCommandRow::Function("Emitter_SetName", Cmd_SetName,
                              "Used when editing Emitters. Sets the number of the current Emitter.",
                              "Emitter_SetName(str Name);"),
        SCommandRow::Function(
            "Emitter_AddGradientPoint", Cmd_AddGradientPoint,
            "Used when editing Emitters. Adds a color point to the current emitter color gradient.",
            "Emitter_AddGradientPoint(int Pos, float red, float green, float blue);"),
        SCommandRow::Function(
            "Emitter_Create", Cmd_Create, "Used when editing Emitters. Creates a new emitter configuration.",
            "Emitter_Create(int ID, float BirthRate, int DeathWish, int ReuseParticles, float Speed, float "
            "LifeTime, float VariableLifeTime, int NumParticles, float Size, float Spread, float "
            "SpreadCoofficient, float SpreadAround, float SpreadAroundStart, float SpeedModifier, float "
            "PosVariationX, float PosVariationY, float PosVariationZ, float Acceleration, float "
            "SizeVariation, "
            "float Shrink, float SpeedVariation, float SpeedVariationCoefficient);"),
    };
    CommandTable_Register(interpreter, rows);
}
