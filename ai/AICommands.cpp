#include "core/Determinism.h"
// The computer players' console rows (the AI area) that act on the manager
// and the session alone, registered by the manager with itself as their
// context. AI_Create and AI_CentreCameraToTeam reach the game and its view
// and are the commands area's (commands/AICommands.cpp).
#include <cstdlib>
#include <cstring>
#include <string>

#include "ai/AIManager.h"
#include "console/CommandInterpreter.h"
#include "console/CommandTable.h"
#include "core/LittleEndian.h"
#include "core/StrBuf.h"
#include "netgame/NetGame.h"
#include "world/GameMessages.h"
#include "world/Player.h"
#include "world/World.h"

namespace {
CAIManager* Manager(CConsoleCommand* record) {
    return static_cast<CAIManager*>(record->GetContext());
}

int Count(SCommandArgs* args) {
    return args ? args->count : 0;
}

// The number an argument holds, or false when it is not one.
bool IntArg(SCommandArgs* args, int i, int32_t* out) {
    return args && i < args->count && args->arg[i].GetInt(*out);
}

void Print(CAIManager* m, const char* text) {
    if (m && m->World()) m->World()->Console().Print(text);
}

// A wrong call says so, with the row's syntax: "Error in <name>: <text>.
// Syntax: <syntax>".
void Wrong(CConsoleCommand* record, const std::string& text) {
    record->ReportError((text + ". Syntax: " + record->GetUsage()).c_str());
}

// The number argument i holds; a wrong one is said, and false comes back.
bool NumberArg(CConsoleCommand* record, SCommandArgs* args, int i, int32_t* out) {
    if (IntArg(args, i, out)) return true;
    const char* text = args && i < args->count ? args->Text(i) : nullptr;
    Wrong(record, std::string(text ? text : "") + " is not a number");
    return false;
}

// AI_Debug(int On): shows the computer players' debug lines.
void Cmd_AI_Debug(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CAIManager* m = Manager(record);
    if (file || !m) return;
    int32_t value = 0;
    if (Count(args) < 1) return Print(m, "AI_Debug( 1/0 )");
    if (NumberArg(record, args, 0, &value)) m->m_debug = value;
}

// AI_AttackWithCommander(int Player): every group of the computer player
// that finds a target attacks it.
void Cmd_AI_AttackWithCommander(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CAIManager* m = Manager(record);
    if (file || !m) return;
    int32_t id = 0;
    if (Count(args) < 1) return Print(m, "AI_AttackWithCommander( ObjectGroup )");
    if (!IntArg(args, 0, &id)) return;
    if (!m->Find(id)) return Print(m, "AI_AttackWithCommander: no such computer player");
    m->AttackWithCommander(id);
}

void Cmd_AI_ReadInitParameters(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    if (CAIManager* m = Manager(record))
        if (!file) m->ReadInitParameters();
}

// AI_StartMonitor: the monitor window beside the game (AIMonitor.h).
void Cmd_AI_StartMonitor(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    if (CAIManager* m = Manager(record))
        if (!file) m->StartMonitor();
}

void Cmd_AI_InitializeCommanders(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    CAIManager* m = Manager(record);
    if (file || !m) return;
    const std::string map = m->MapName(), folder = m->MapFolder();
    m->InitializeCommanders(map.c_str(), folder.c_str());
}

// AI_Attack: kept for old scripts; it does nothing.
void Cmd_AI_Attack(CConsoleCommand*, SCommandArgs*, CVFSFile*) {}

// AI_Resources(int Player, float Amount): gives the player resources
// (through the session: cheats must be on, or the game not yet running).
void Cmd_AI_Resources(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CAIManager* m = Manager(record);
    if (file || !m || !m->Net() || Count(args) != 2) return;
    int32_t id = 0;
    float amount = 0.0f;
    if (!IntArg(args, 0, &id) || !args->arg[1].GetFloat(amount)) return;
    CPlayer* p = m->Net()->FindPlayerById(id);
    if (!p) return Print(m, "AI_Resources: no such player");
    uint8_t data[8];
    uint32_t bits;
    std::memcpy(&bits, &amount, 4);
    LE_StoreU32(data, static_cast<uint32_t>(p->m_id));
    LE_StoreU32(data + 4, bits);
    m->Net()->Send(NS_NOTIFYTYPE_GIVERESOURCES, data, 8);
}

void Cmd_AI_ReInitialize(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    if (CAIManager* m = Manager(record))
        if (!file) m->ReInitialize();
}

// AI_StartLearn: matches between computer players, back to back, teach
// which fighting units win (AILearner.h); AI_StopLearn stops at the end of
// the match under way.
void Cmd_AI_StartLearn(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    if (CAIManager* m = Manager(record))
        if (!file) m->StartLearn();
}

void Cmd_AI_StopLearn(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    if (CAIManager* m = Manager(record))
        if (!file) m->StopLearn();
}

// AI_AddCommander() or AI_AddCommander(int Player, str Race).
void Cmd_AI_AddCommander(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CAIManager* m = Manager(record);
    if (file || !m) return;
    const int n = Count(args);
    if (n == 0) {
        m->AddCommander(-1, nullptr);
        return;
    }
    if (n != 2) return record->ReportError("Wrong number of arguments");
    int32_t id = 0;
    if (!IntArg(args, 0, &id)) return record->ReportError("Not a player id");
    m->AddCommander(id, args->Text(1));
}

// AI_CommanderColor(int Player, float r, float g, float b): the player's
// colour, each component 0 to 1 (the session's players keep 0 to 255).
void Cmd_AI_CommanderColor(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CAIManager* m = Manager(record);
    if (file || !m || !m->Net()) return;
    if (Count(args) < 4) return Wrong(record, "To few arguments");
    int32_t id = 0;
    if (!NumberArg(record, args, 0, &id)) return;
    CPlayer* p = m->Net()->FindPlayerById(id);
    if (!p) return Wrong(record, "no such player " + std::to_string(id));
    float colour[3] = {p->m_colour[0], p->m_colour[1], p->m_colour[2]};
    for (int i = 0; i < 3; ++i) {
        float v = 0.0f;
        if (args->arg[i + 1].GetFloat(v)) colour[i] = (v < 0.0f ? 0.0f : v > 1.0f ? 1.0f : v) * 255.0f;
    }
    // As any colour change: through the session, so every machine takes it.
    p->SetColor(colour[0], colour[1], colour[2]);
}

// AI_RemoveCommander(int Player).
void Cmd_AI_RemoveCommander(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CAIManager* m = Manager(record);
    if (file || !m) return;
    if (Count(args) < 1) return record->ReportError("To few arguments");
    int32_t id = 0;
    if (!NumberArg(record, args, 0, &id)) return;
    if (!m->RemoveCommander(id)) Print(m, "AI_RemoveCommander: no such computer player");
}

// AI_ReadBuildDNA and AI_StartLogBuild: kept for old scripts; they check
// their argument and do nothing.
void Cmd_AI_NeedsArgument(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    if (file) return;
    if (Count(args) < 1) record->ReportError("To few arguments");
}

// SetPlayer(int Player): this machine plays the player.
void Cmd_SetPlayer(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CAIManager* m = Manager(record);
    if (file || !m || !m->Net()) return;
    if (Count(args) < 1) return record->ReportError("To few arguments");
    int32_t id = 0;
    if (!IntArg(args, 0, &id)) return;
    CPlayer* p = m->Net()->FindPlayerById(id);
    if (!p || p->IsNeutral()) return Print(m, "SetPlayer: no such player");
    if (m->World()) m->World()->SetLocalPlayer(p);
}
}  // namespace

void CAIManager::RegisterCommands(CCommandInterpreter* ip) {
    m_interpreter = ip;
    const SCommandRow rows[] = {
        SCommandRow::Function("AI_Debug", Cmd_AI_Debug, "Shows AI messages", "AI_Debug (  )"),
        SCommandRow::Function("AI_AttackWithCommander", Cmd_AI_AttackWithCommander, "Description",
                              "AI_AttackWithCommander"),
        SCommandRow::Function("AI_ReadInitParameters", Cmd_AI_ReadInitParameters, "Description",
                              "AI_ReadInitParameters"),
        SCommandRow::Function("AI_StartMonitor", Cmd_AI_StartMonitor, "Description", "AI_StartMonitor"),
        SCommandRow::Function("AI_InitializeCommanders", Cmd_AI_InitializeCommanders, "Description",
                              "AI_InitializeCommanders"),
        SCommandRow::Function("AI_Attack", Cmd_AI_Attack, "Description", "AI_Attack"),
        SCommandRow::Function("AI_Resources", Cmd_AI_Resources, "Description", "AI_Resources"),
        SCommandRow::Function("AI_ReInitialize", Cmd_AI_ReInitialize, "Description",
                              "AI_ReInitialize [FLOAT]"),
        SCommandRow::Function("AI_StartLearn", Cmd_AI_StartLearn, "Description", "StartLearn [FLOAT]"),
        SCommandRow::Function("AI_StopLearn", Cmd_AI_StopLearn, "Description", "StopLearn [FLOAT]"),
        SCommandRow::Int("AI_Active", &m_active, 0, 1, "Activates the AI", "AI_Active").Config("Config.cfg"),
        SCommandRow::Function("AI_AddCommander", Cmd_AI_AddCommander, "Adds a new AI player",
                              "AI_AddCommander [FLOAT]")
            .Usage("AI_AddCommander([int Player, str Race]);"),
        SCommandRow::Function("AI_CommanderColor", Cmd_AI_CommanderColor,
                              "Sets the tint color of an commander",
                              "AI_CommanderColor(int ObjectGroup, float r, float g, float b)"),
        SCommandRow::Function("AI_RemoveCommander", Cmd_AI_RemoveCommander,
                              "Removes the commander with the supplied object group",
                              "AI_RemoveCommander(int CommanderObjectGroup);"),
        SCommandRow::Function("AI_ReadBuildDNA", Cmd_AI_NeedsArgument, "Description", "AI_ReadDNA [FLOAT]"),
        SCommandRow::Function("AI_StartLogBuild", Cmd_AI_NeedsArgument, "Description",
                              "AI_StartLogBuild [FLOAT]"),
        SCommandRow::Function("SetPlayer", Cmd_SetPlayer, "Sets the player that the human player plays",
                              "SetPlayer [FLOAT]"),
    };
    for (const SCommandRow& row : rows) {
        SCommandRow own = row.Context(this);
        CommandTable_Register(ip, &own, 1);
    }
}
