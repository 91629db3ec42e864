#include "commands/EmitterCommands.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/Game.h"
#include "commands/CommandContext.h"
#include "console/CommandInterpreter.h"
#include "console/CommandTable.h"
#include "core/VFSFile.h"
#include "e3d/ColorTable.h"
#include "e3d/EmitterTemplate.h"
#include "e3d/Engine.h"
#include "e3d/Frame.h"
#include "world/GameMaterial.h"
#include "world/GameScene.h"
#include "world/Project.h"

namespace {

// The numbers a template may have: the editor steps through 1 to 1000 and
// saves 0 and above; an unnumbered template is -1.
constexpr int32_t kMaxEmitterId = 1000;
constexpr int32_t kMaxGradientIndex = 1000;

CGame* Game(CConsoleCommand* record) {
    return GameOf(record);
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

using ET = CE3DEmitterTemplate;
constexpr int32_t kSettings = ET::kSettings;
constexpr int32_t kDeathWish = ET::kSettingDeathWish;
constexpr int32_t kReuse = ET::kSettingReuse;
constexpr int32_t kNumParticles = ET::kSettingNumParticles;

// Emitter_Create(ID, then the 21 settings).
void Cmd_Create(CConsoleCommand* record, SCommandArgs* args, CVFSFile*) {
    CGame* game = Game(record);
    if (!args || args->count < 20) return Print(record, "To few arguments");
    int32_t id = 0;
    int32_t ints[kSettings + 1] = {};
    float floats[kSettings + 1] = {};
    if (!args->arg[0].GetInt(id)) return;
    for (int32_t n = 1; n <= kSettings; ++n) {
        // A missing 21st or 22nd argument ends the command as a bad one does.
        if (n >= args->count) return;
        const bool read =
            ET::IsIntSetting(n) ? args->arg[n].GetInt(ints[n]) : args->arg[n].GetFloat(floats[n]);
        if (!read) return;
    }
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
    for (int32_t n = 1; n <= kSettings; ++n)
        if (float* f = t->FloatSetting(n)) *f = floats[n];
    t->DeathWish = ints[kDeathWish];
    t->ReuseParticles = ints[kReuse] != 0;
    t->NumParticles = ints[kNumParticles];
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

// Emitter_AddGradientPoint(Pos, red, green, blue, alpha): a point takes all
// five values (the saved lines carry them); with one missing, or one that is
// not a number, nothing is added.
void Cmd_AddGradientPoint(CConsoleCommand* record, SCommandArgs* args, CVFSFile*) {
    if (!args || args->count < 4) return Print(record, "To few arguments");
    int32_t index = 0;
    float c[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    if (args->count < 5 || !args->arg[0].GetInt(index)) return;
    for (int i = 0; i < 4; ++i)
        if (!args->arg[1 + i].GetFloat(c[i])) return;
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

// The current gradient point, when it is still in the template's table.
CE3DGradientPoint* CurrentPoint(CGame* game, CE3DEmitterTemplate* t) {
    CE3DGradientPoint* want = game ? game->EmitterEditor().point : nullptr;
    if (!t || !t->m_colorTable || !want) return nullptr;
    for (CE3DGradientPoint* p = t->m_colorTable->m_points; p; p = p->m_next)
        if (p == want) return p;
    return nullptr;
}

void Cmd_UpdateSettings(CConsoleCommand* record, SCommandArgs*, CVFSFile*) {
    CGame* game = Game(record);
    CGameScene* scene = game ? game->Scene() : nullptr;
    if (scene && scene->m_rootFrame) scene->m_rootFrame->Message(kFrameMsgReloadEmitter, nullptr);
}

void Cmd_AddValue(CConsoleCommand* record, SCommandArgs* args, CVFSFile*) {
    float v = 0.0f;
    if (!args || args->count < 1 || !args->arg[0].GetFloat(v)) return;
    CGame* game = Game(record);
    CE3DEmitterTemplate* t = Current(game);
    if (!t) return;
    const int32_t n = game->EmitterEditor().variable;
    if (n == 1) {
        t->BirthRate += v;
        if (t->BirthRate < 0.0f) t->BirthRate = 0.0f;
    } else if (n == kDeathWish) {
        t->DeathWish = 0;
    } else if (n == kReuse) {
        t->ReuseParticles = v > 0.0f;
    } else if (n == kNumParticles) {
        t->NumParticles += int32_t(std::lround(v));
    } else if (float* f = t->FloatSetting(n)) {
        *f += v;
    }
}

void StepVariable(CConsoleCommand* record, int32_t step) {
    CGame* game = Game(record);
    if (!game) return;
    int32_t& n = game->EmitterEditor().variable;
    n = std::clamp(n + step, 1, int32_t(kSettings));
}

void Cmd_NextVariable(CConsoleCommand* record, SCommandArgs*, CVFSFile*) {
    StepVariable(record, 1);
}

void Cmd_PrevVariable(CConsoleCommand* record, SCommandArgs*, CVFSFile*) {
    StepVariable(record, -1);
}

// The template with the nearest number above (up) or below the selected one,
// within 1 to 1000; nothing changes when there is none.
void StepEmitter(CConsoleCommand* record, bool up) {
    CGame* game = Game(record);
    CE3DEngine* engine = game ? game->Engine() : nullptr;
    if (!engine) return;
    SEmitterEditor& editor = game->EmitterEditor();
    int32_t best = -1;
    for (CE3DNode* node = engine->m_nodes; node; node = node->m_next) {
        CE3DEmitterTemplate* t = CE3DEmitterTemplate::From(node);
        if (!t || t->m_id < 1 || t->m_id > kMaxEmitterId) continue;
        if (up ? (t->m_id > editor.selected && (best < 0 || t->m_id < best))
               : (t->m_id < editor.selected && t->m_id > best))
            best = t->m_id;
    }
    if (best < 0) return;
    editor.selected = best;
    editor.current = best;
}

void Cmd_NextEmitter(CConsoleCommand* record, SCommandArgs*, CVFSFile*) {
    StepEmitter(record, true);
}

void Cmd_PrevEmitter(CConsoleCommand* record, SCommandArgs*, CVFSFile*) {
    StepEmitter(record, false);
}

// The point with the nearest index above (up, within 1000) or below (above
// 0) the current one's; the first point when there is none or no current
// point.
void StepPoint(CConsoleCommand* record, bool up) {
    CGame* game = Game(record);
    CE3DEmitterTemplate* t = Current(game);
    if (!t || !t->m_colorTable) return;
    CE3DGradientPoint* first = t->m_colorTable->m_points;
    CE3DGradientPoint* at = CurrentPoint(game, t);
    CE3DGradientPoint* best = nullptr;
    if (at)
        for (CE3DGradientPoint* p = first; p; p = p->m_next) {
            const int32_t i = p->m_position;
            if (up ? (i > at->m_position && i <= kMaxGradientIndex && (!best || i < best->m_position))
                   : (i < at->m_position && i > 0 && (!best || i > best->m_position)))
                best = p;
        }
    game->EmitterEditor().point = best ? best : first;
}

void Cmd_NextGradientPoint(CConsoleCommand* record, SCommandArgs*, CVFSFile*) {
    StepPoint(record, true);
}

void Cmd_PrevGradientPoint(CConsoleCommand* record, SCommandArgs*, CVFSFile*) {
    StepPoint(record, false);
}

// Adds the argument to one component (0 red, 1 green, 2 blue) of the current
// point and fills the table again.
void AddComponent(CConsoleCommand* record, SCommandArgs* args, int component) {
    float v = 0.0f;
    if (!args || args->count < 1 || !args->arg[0].GetFloat(v)) return;
    CGame* game = Game(record);
    CE3DEmitterTemplate* t = Current(game);
    CE3DGradientPoint* p = CurrentPoint(game, t);
    if (!p) return;
    float* const c[3] = {&p->m_red, &p->m_green, &p->m_blue};
    *c[component] += v;
    t->SortGradient();
}

void Cmd_AddRedValue(CConsoleCommand* record, SCommandArgs* args, CVFSFile*) {
    AddComponent(record, args, 0);
}

void Cmd_AddGreenValue(CConsoleCommand* record, SCommandArgs* args, CVFSFile*) {
    AddComponent(record, args, 1);
}

void Cmd_AddBlueValue(CConsoleCommand* record, SCommandArgs* args, CVFSFile*) {
    AddComponent(record, args, 2);
}

// The emitter templates in the order they were made (the engine's node list
// holds the newest first), so that running a saved file and saving again
// writes the same file.
std::vector<CE3DEmitterTemplate*> TemplatesInOrder(CE3DEngine* engine) {
    std::vector<CE3DEmitterTemplate*> all;
    for (CE3DNode* node = engine ? engine->m_nodes : nullptr; node; node = node->m_next)
        if (CE3DEmitterTemplate* t = CE3DEmitterTemplate::From(node)) all.push_back(t);
    std::reverse(all.begin(), all.end());
    return all;
}

// Plain text into the file (no length in front).
void Text(CVFSFile& file, const char* text) {
    file.Write(text, uint32_t(strlen(text)));
}

void Line(CVFSFile& file, const char* format, ...) __attribute__((format(printf, 2, 3)));
void Line(CVFSFile& file, const char* format, ...) {
    char text[1024];
    va_list ap;
    va_start(ap, format);
    vsnprintf(text, sizeof text, format, ap);
    va_end(ap);
    Text(file, text);
}

// Opens a file of the Units folder for writing, with the console line.
bool OpenForSaving(CConsoleCommand* record, CGame* game, const char* name, CVFSFile& file) {
    CStrBuf path(game->GetPath("Units", name));
    if (CCommandInterpreter* ip = record->GetInterpreter())
        ip->Printf("Saving settings to :'%s'", path.GetText());
    return file.Open(path.GetText(), CVFSFile::kModeWrite);
}

void Cmd_SaveSettings(CConsoleCommand* record, SCommandArgs*, CVFSFile*) {
    CGame* game = Game(record);
    if (!game) return;
    const std::vector<CE3DEmitterTemplate*> all = TemplatesInOrder(game->Engine());
    CVFSFile emitters;
    if (OpenForSaving(record, game, "Special Effects\\Emitters.cfg", emitters)) {
        for (CE3DEmitterTemplate* t : all) {
            if (t->m_id < 0) continue;
            const bool named = t->m_name.GetText()[0] != 0;
            if (named) Line(emitters, "// %s\n", t->m_name.GetText());
            std::string create = "Emitter_Create (" + std::to_string(t->m_id);
            for (int32_t n = 1; n <= kSettings; ++n) {
                char value[64];
                if (ET::IsIntSetting(n))
                    snprintf(value, sizeof value, ", %d", t->IntSetting(n));
                else
                    snprintf(value, sizeof value, ", %f", double(*t->FloatSetting(n)));
                create += value;
            }
            create += ");\n";
            Text(emitters, create.c_str());
            for (CE3DGradientPoint* p = t->m_colorTable ? t->m_colorTable->m_points : nullptr; p;
                 p = p->m_next)
                Line(emitters, "Emitter_AddGradientPoint (%d, %f, %f, %f, %f);\n", p->m_position,
                     double(p->m_red), double(p->m_green), double(p->m_blue), double(p->m_alpha));
            if (named) Line(emitters, "Emitter_SetName (\"%s\");\n", t->m_name.GetText());
            Text(emitters, "\n");
        }
        emitters.Close();
    }
    CVFSFile materials;
    if (OpenForSaving(record, game, "Special Effects\\EmitterMaterials.cfg", materials)) {
        for (CE3DEmitterTemplate* t : all)
            if (t->m_id >= 0 && t->m_material)
                Line(materials, "Emitter_SetMaterial (%d, \"%s\");   // %s\n", t->m_id,
                     t->m_materialName.GetText(), t->m_name.GetText());
        materials.Close();
    }
}

}  // namespace

void RegisterEmitterCommands(CCommandInterpreter* interpreter) {
    const char* const kCreate =
        "Emitter_Create(int ID, float BirthRate, int DeathWish, int ReuseParticles, float Speed, float "
        "LifeTime, "
        "float VariableLifeTime, int NumParticles, float Size, float Spread, float SpreadCoofficient, float "
        "SpreadAround, float SpreadAroundStart, float SpeedModifier, float PosVariationX, float "
        "PosVariationY, "
        "float PosVariationZ, float Acceleration, float SizeVariation, float Shrink, float SpeedVariation, "
        "float "
        "SpeedVariationCoefficient);";
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
        SCommandRow::Function("Emitter_UpdateSettings", Cmd_UpdateSettings,
                              "Used when editing Emitters. Forces every emitter to retreive the emitter "
                              "configuration from the template.",
                              "Emitter_UpdateSettings();"),
        SCommandRow::Function("Emitter_Create", Cmd_Create,
                              "Used when editing Emitters. Creates a new emitter configuration.", kCreate),
        SCommandRow::Function(
            "Emitter_SaveSettings", Cmd_SaveSettings,
            "Used when editing Emitters. Saves the emitter settings to 'Explosions.cfg' and "
            "'ExplosionSettings.cfg'",
            "Emitter_SaveSettings();"),
        SCommandRow::Function("Emitter_AddValue", Cmd_AddValue,
                              "Used when editing Emitters. Adds a value to the current Emitter Variable",
                              "Emitter_AddValue(float Value);"),
        SCommandRow::Function("Emitter_NextVariable", Cmd_NextVariable,
                              "Used when editing Emitters. Selects the next emitter variable",
                              "Emitter_NextVariable();"),
        SCommandRow::Function("Emitter_PrevVariable", Cmd_PrevVariable,
                              "Used when editing Emitters.  Selects the previus emitter variable",
                              "Emitter_PrevVariable();"),
        SCommandRow::Function("Emitter_NextEmitter", Cmd_NextEmitter,
                              "Used when editing Emitters. Selects the next emitter",
                              "Emitter_NextEmitter();"),
        SCommandRow::Function("Emitter_PrevEmitter", Cmd_PrevEmitter,
                              "Used when editing Emitters. Selects the previus emitter",
                              "Emitter_PrevEmitter();"),
        SCommandRow::Function(
            "Emitter_NextGradientPoint", Cmd_NextGradientPoint,
            "Used when editing Emitters. Selects the next Gradient Point for the current Emitter.",
            "Emitter_NextGradientPoint();"),
        SCommandRow::Function(
            "Emitter_PrevGradientPoint", Cmd_PrevGradientPoint,
            "Used when editing Emitters. Selects the previus Gradient Point for the current "
            "Emitter.",
            "Emitter_PrevGradientPoint();"),
        SCommandRow::Function(
            "Emitter_AddRedValue", Cmd_AddRedValue,
            "Used when editing Emitters. Adds a value to the red componet of the current Gradient "
            "point.",
            "Emitter_AddRedValue(float value);"),
        SCommandRow::Function("Emitter_AddGreenValue", Cmd_AddGreenValue,
                              "Used when editing Emitters. Adds a value to the green componet of the current "
                              "Gradient point.",
                              "Emitter_AddGreenValue(float value);"),
        SCommandRow::Function("Emitter_AddBlueValue", Cmd_AddBlueValue,
                              "Used when editing Emitters. Adds a value to the blue componet of the current "
                              "Gradient point.",
                              "Emitter_AddBlueValue(float value);"),
    };
    CommandTable_Register(interpreter, rows);
    // The edit mode is the game's variable: the input manager takes the
    // editor's keys by it and the frame draws the overlay.
    if (CGame* game = GameOf(interpreter)) game->RegisterVariables(interpreter, {"Emitter_EditMode"});
}
