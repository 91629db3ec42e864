#include "commands/TestCommands.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "app/Game.h"
#include "app/GameClock.h"
#include "app/GameConsole.h"
#include "app/GameServices.h"
#include "commands/CommandArgs.h"
#include "commands/CommandContext.h"
#include "console/CommandInterpreter.h"
#include "console/CommandTable.h"
#include "core/Math.h"
#include "ui/Interface.h"
#include "world/GameScene.h"
#include "world/PhysicsEngine.h"
#include "world/Player.h"
#include "world/Unit.h"
#include "world/UnitTemplate.h"
#include "world/World.h"

namespace {

// ---- a pressure wave where the mouse points

void Cmd_ApplyForce(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CGame* game = file ? nullptr : GameOf(record);
    CWorld* world = game ? game->World() : nullptr;
    CInterface* ui = game ? game->Interface() : nullptr;
    if (!world) return;
    float v[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    if (Args_Count(args) < 4) return Args_Error(record, "To few arguments");
    for (int i = 0; i < 4; ++i)
        if (!Args_Float(args, i, v[i])) return Args_Error(record, "Ivalid argument");
    // The ground point under the mouse (the pick ray meets the ground).
    float ground[3] = {0.0f, 0.0f, 0.0f};
    if (!ui || !ui->GetMouseWorldPosition(ui->m_cursorX, ui->m_cursorY, ground))
        return record->GetInterpreter()->Printf("%s : There is no ground point under the mouse",
                                                record->GetName());
    world->Physics().ApplyPressureWave(ground[0], 0.0f, ground[2], v[0], v[1] * 0.001f, v[2], v[3]);
}

// ---- timings. Each loop's result is printed after its stopwatch stops, so
// no loop can be left out by the compiler; the "NOP" loops time the loop
// alone.

constexpr int kIterations = 10000000;

// Where the conversions store their results (a global, as some ways did),
// and where a result kept only for the timing goes.
volatile int32_t g_slot = 0;
volatile int32_t g_sink = 0;

struct SSlot {
    int32_t value = 0;
    void Store(float f) { value = static_cast<int32_t>(std::lrintf(f)); }
};

void ReportConversion(float value, int32_t slot) {
    Game_Printf("ftol expected %d  actual %d %08X\n", static_cast<int32_t>(value), slot,
                static_cast<uint32_t>(slot));
}

void Cmd_TestInt(CConsoleCommand*, SCommandArgs*, CVFSFile* file) {
    if (file) return;
    constexpr uint32_t kMarker = 0xDEAFBABE;
    // Round to nearest under the current rounding, into the slot through a
    // pointer, through a global, through a local, through a member; the loop
    // alone; the library's truncating conversion.
    {
        int32_t slot = static_cast<int32_t>(kMarker);
        int32_t* out = &slot;
        float v = 1234.1212f;
        Stopwatch_Start("Fast conv");
        for (int i = 0; i < kIterations; ++i, v += 1.0f) *out = static_cast<int32_t>(std::lrintf(v));
        Stopwatch_Stop();
        ReportConversion(v, slot);
    }
    {
        int32_t slot = static_cast<int32_t>(kMarker);
        float v = 1234.1212f;
        Stopwatch_Start("NOP");
        for (int i = 0; i < kIterations; ++i) v += 1.0f;
        Stopwatch_Stop();
        ReportConversion(v, slot);
    }
    for (const char* name : {"Test conv", "Test2 conv"}) {
        g_slot = static_cast<int32_t>(kMarker);
        float v = 1234.1212f;
        Stopwatch_Start(name);
        for (int i = 0; i < kIterations; ++i, v += 1.0f) g_slot = static_cast<int32_t>(std::lrintf(v));
        Stopwatch_Stop();
        ReportConversion(v, g_slot);
    }
    {
        int32_t slot = static_cast<int32_t>(kMarker);
        float v = 1234.1212f;
        Stopwatch_Start("Threadsafe conv");
        for (int i = 0; i < kIterations; ++i, v += 1.0f) {
            const int32_t local = static_cast<int32_t>(std::lrintf(v));
            slot = local;
        }
        Stopwatch_Stop();
        ReportConversion(v, slot);
    }
    {
        SSlot slot;
        slot.value = static_cast<int32_t>(kMarker);
        float v = 1234.1212f;
        Stopwatch_Start("Threadsafe 2 conv");
        for (int i = 0; i < kIterations; ++i, v += 1.0f) slot.Store(v);
        Stopwatch_Stop();
        ReportConversion(v, slot.value);
    }
    {
        // Keeps its result in a local of its own: the slot stays the marker.
        int32_t slot = static_cast<int32_t>(kMarker), own = 0;
        float v = 1235.1212f;
        Stopwatch_Start("asm conv");
        for (int i = 0; i < kIterations; ++i) {
            v += 1.0f;
            own += static_cast<int32_t>(std::nearbyintf(v)) & 1;
        }
        Stopwatch_Stop();
        g_sink = own;
        ReportConversion(v, slot);
    }
    {
        int32_t slot = static_cast<int32_t>(kMarker);
        float v = 1234.1212f;
        Stopwatch_Start("Slow conv");
        for (int i = 0; i < kIterations; ++i, v += 1.0f) slot = static_cast<int32_t>(v);
        Stopwatch_Stop();
        ReportConversion(v, slot);
    }
}

// The library's function against our own, for one function of one or two
// arguments (the second, where there is one, is 1.5).
struct SFloatTest {
    const char* checkName;  // in the difference lines
    const char* timeName;   // of the library's stopwatch
    float (*library)(float);
    float (*own)(float);
};

float LibAbs(float x) {
    return static_cast<float>(std::abs(static_cast<int32_t>(x)));
}
float OwnAbs(float x) {
    return static_cast<float>(Math_AbsInt(static_cast<int32_t>(x)));
}
float LibAtan2(float x) {
    return std::atan2(x, 1.5f);
}
float OwnAtan2(float x) {
    return Math_Atan2(x, 1.5f);
}
float LibFmod(float x) {
    return std::fmod(x, 1.5f);
}
float OwnFmod(float x) {
    return Math_Fmod(x, 1.5f);
}
float LibPow(float x) {
    return std::pow(x, 1.5f);
}
float OwnPow(float x) {
    return Math_Pow(x, 1.5f);
}
#define TESSARAK_FLOAT_TEST(check, time, fn, own)                                                           \
    {                                                                                                       \
        check, time, [](float x) { return static_cast<float>(std::fn(x)); }, [](float x) { return own(x); } \
    }

void Cmd_TestFloat(CConsoleCommand*, SCommandArgs*, CVFSFile* file) {
    if (file) return;
    const SFloatTest tests[] = {
        {"abs", "abs", LibAbs, OwnAbs},
        TESSARAK_FLOAT_TEST("acosf", "acos", acos, Math_Acos),
        TESSARAK_FLOAT_TEST("asin", "asin", asin, Math_Asin),
        {"atan2", "atan2", LibAtan2, OwnAtan2},
        TESSARAK_FLOAT_TEST("cosf", "cos", cos, Math_Cos),
        TESSARAK_FLOAT_TEST("coshf", "cosh", cosh, Math_Cosh),
        TESSARAK_FLOAT_TEST("expf", "exp", exp, Math_Exp),
        TESSARAK_FLOAT_TEST("fabsf", "fabs", fabs, Math_Fabs),
        {"fmod", "fmod", LibFmod, OwnFmod},
        TESSARAK_FLOAT_TEST("logf", "log", log, Math_Log),
        TESSARAK_FLOAT_TEST("log10f", "log10", log10, Math_Log10),
        {"pow", "pow", LibPow, OwnPow},
        TESSARAK_FLOAT_TEST("sinf", "sin", sin, Math_Sin),
        TESSARAK_FLOAT_TEST("sinhf", "sinh", sinh, Math_Sinh),
        TESSARAK_FLOAT_TEST("tanf", "tan", tan, Math_Tan),
        TESSARAK_FLOAT_TEST("tanhf", "tanh", tanh, Math_Tanh),
        TESSARAK_FLOAT_TEST("sqrtf", "sqrt", sqrt, Math_Sqrt),
    };
    for (const SFloatTest& t : tests) {
        const bool exact = std::strcmp(t.checkName, "abs") == 0;
        for (float x = -10000.0f; x < 10000.0f; x += 0.5642454f) {
            const float ref = t.library(x), test = t.own(x);
            const bool differs = exact ? ref != test : std::fabs(ref / test - 1.0f) > 0.0001f;
            if (differs) Game_Printf("%s test(%f) differs from ref(%f)\n", t.checkName, test, ref);
        }
        for (int own = 0; own < 2; ++own) {
            char name[32];
            std::snprintf(name, sizeof name, "%s%s", own ? "f_" : "", t.timeName);
            float (*fn)(float) = own ? t.own : t.library;
            double sum = 0.0;
            float x = 0.0f;
            Stopwatch_Start(name);
            for (int i = 0; i < 1000000; ++i, x += 0.05f) sum += fn(x);
            Stopwatch_Stop();
            Game_Printf("%s result %f\n", name, sum);
        }
        Game_PrintAndRender("");
    }
}
#undef TESSARAK_FLOAT_TEST

void Cmd_TestSQRT(CConsoleCommand*, SCommandArgs*, CVFSFile* file) {
    if (file) return;
    struct SRun {
        const char* name;
        float (*root)(float);
    };
    const SRun runs[] = {{"NOP", nullptr},
                         {"Normal sqrt", [](float x) { return std::sqrt(x); }},
                         {"Fast sqrt", [](float x) { return Math_Sqrt(x); }}};
    for (const SRun& r : runs) {
        float v = 1234.1212f;
        double sum = 0.0;
        Stopwatch_Start(r.name);
        for (int i = 0; i < kIterations; ++i, v += 1.0f)
            if (r.root) sum += r.root(v);
        Stopwatch_Stop();
        Game_Printf("%s result %f\n", r.name, sum);
    }
}

// Every record's name looked up, ten times by walking the list, nine times
// through the hash.
void Cmd_TestConsoleCommands(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    if (file) return;
    CCommandInterpreter* ip = record->GetInterpreter();
    int found = 0;
    Stopwatch_Start("Old GetCommand");
    for (int pass = 0; pass < 10; ++pass)
        for (CConsoleCommand* c = ip->First(); c; c = c->Next())
            found += ip->GetCommandLinear(c->GetName()) != nullptr;
    Stopwatch_Stop();
    Stopwatch_Start("New GetCommand");
    for (int pass = 0; pass < 9; ++pass)
        for (CConsoleCommand* c = ip->First(); c; c = c->Next())
            found += ip->GetCommand(c->GetName()) != nullptr;
    Stopwatch_Stop();
    if (found != 19 * ip->GetCount())
        Game_Printf("TestConsoleCommands: %d lookups failed", 19 * ip->GetCount() - found);
}

// ---- read-outs

// Every selected unit: its template, its position, the force of the pushes
// that wait to act on it, its power and what it carries; then the local
// player's resources and what its harvesters have unloaded.
void Cmd_UnitOut(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    CGame* game = GameOf(record);
    CGameScene* scene = game ? game->Scene() : nullptr;
    if (file || !scene) return;
    for (CUnit* u = scene->m_units; u; u = u->m_unitNext) {
        if (!(u->m_stateA & CTessarakObject::kA_Selected)) continue;
        float force[3] = {0.0f, 0.0f, 0.0f};
        for (SForceRecord* f = u->m_forces; f; f = f->m_next)
            for (int i = 0; i < 3; ++i) force[i] += f->m_impulse[i];
        uint32_t bits;
        std::memcpy(&bits, &force[0], 4);
        Game_Print("");
        Game_Print("--------------------");
        Game_Printf("%s", u->m_template ? u->m_template->m_name.GetText() : "");
        Game_Print("--------------------");
        Game_Printf("Position: %f, %f, %f", u->m_position[0], u->m_position[1], u->m_position[2]);
        Game_Printf("Force: %f, %f, %f", force[0], force[1], force[2]);
        Game_Printf("* Force.x : %x", bits);
    }
}

// dbg_UnitState (our own row): for every selected unit, in the scene's
// order, what a test or a player checks of it: its template, position,
// health and a harvester's load; then the local player's resources and what
// it harvested in all. dbg_UnitState(1); prints every unit of the map,
// whoever owns it, in place of the selected ones.
void Cmd_UnitState(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CGame* game = GameOf(record);
    CGameScene* scene = game ? game->Scene() : nullptr;
    if (file || !scene) return;
    int32_t every = 0;
    if (args && args->count > 0 && !args->arg[0].GetInt(every)) {
        Game_Print("Syntax: dbg_UnitState(); or dbg_UnitState(1);");
        return;
    }
    for (CUnit* u = scene->m_units; u; u = u->m_unitNext) {
        if (!every && !(u->m_stateA & CTessarakObject::kA_Selected)) continue;
        Game_Print("");
        Game_Print("--------------------");
        Game_Printf("%s", u->m_template ? u->m_template->m_name.GetText() : "");
        Game_Print("--------------------");
        Game_Printf("Position: %f, %f, %f", u->m_position[0], u->m_position[1], u->m_position[2]);
        Game_Printf("Power: %.1f", u->m_power);
        const CUnitTemplate* t = u->UnitTemplate();
        if (t && t->m_maxResourcesHeld > 0.0f) Game_Printf("Load: %.1f", u->m_harvestLoad);
    }
    if (const CPlayer* local = scene->LocalPlayer())
        Game_Printf("Resources: %.0f, harvested %.0f", local->m_resources, local->m_harvested);
}

// perf_FlipUnit: the per-unit read-out it flips does not exist in this game
// (the frame statistics of perf_Render cover the render), so it says so.
void Cmd_FlipUnit(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    if (!file)
        record->GetInterpreter()->Printf("%s : no per-unit performance data is kept", record->GetName());
}

// The render frames drawn per second since the last call (or since the
// start-up), the game time, and the clock's averages of the logic tick and
// the drawing over the last 30 of each; then the interface frames (menus,
// lobby) run per second over the same time.
void Cmd_FrameStats(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    CGame* game = GameOf(record);
    CGameClock* clock = game ? game->Clock() : nullptr;
    if (file || !clock || clock->m_frequency <= 0.0f) return;
    static uint64_t s_frames = 0, s_since = 0;
    static int32_t s_interface = 0;
    uint64_t now = clock->Now();
    // The first call reports since the clock started.
    if (s_since == 0 || s_since < clock->m_startCounter) s_since = clock->m_startCounter;
    double seconds = double(now - s_since) / double(clock->m_frequency);
    double rate = seconds > 0.0 ? double(game->RenderFrames() - s_frames) / seconds : 0.0;
    double interfaceRate = seconds > 0.0 ? double(Game_InterfaceFrames() - s_interface) / seconds : 0.0;
    s_frames = game->RenderFrames();
    s_interface = Game_InterfaceFrames();
    s_since = now;
    Game_Printf(
        "Frames per second %.1f over %.1f s; logic tick %.3f ms, drawing %.3f ms (averages of 30); frame "
        "%llu, "
        "game time %.3f s",
        rate, seconds, (double)clock->m_game.sum / 30.0 * 1000.0, (double)clock->m_visual.sum / 30.0 * 1000.0,
        static_cast<unsigned long long>(game->RenderFrames()), (double)clock->m_gameSeconds);
    Game_Printf("Interface frames per second %.1f", interfaceRate);
}
}  // namespace

void RegisterTestCommands(CCommandInterpreter* ip) {
    CGame* game = GameOf(ip);
    if (!game) return;
    const SCommandRow rows[] = {
        SCommandRow::Function(
            "ApplyForce", Cmd_ApplyForce, "Starts a preassure wave at the position of the mouse",
            "ApplyForce(float SpreadingSpeed, float Mass, float Damage, float DamageRadius);")
            .Mask(8),
        SCommandRow::Function("TestInt", Cmd_TestInt,
                              "Function for testing the speed of diffrent float to int conversions",
                              "TestInt();"),
        SCommandRow::Function("TestFloat", Cmd_TestFloat,
                              "Function for testing the speed of diffrent float functions", "TestFloat();"),
        SCommandRow::Function("TestSQRT", Cmd_TestSQRT,
                              "Function for testing the speed of diffrent square root table functions",
                              "TestSQRT();"),
        SCommandRow::Function("TestConsoleCommands", Cmd_TestConsoleCommands,
                              "Function for testing the speed of diffrent Name lookup functions",
                              "TestConsoleCommands();"),
    };
    CommandTable_Register(ip, rows);
    game->RegisterVariables(ip, {"perf_Render"});
    const SCommandRow more[] = {
        SCommandRow::Function("perf_FlipUnit", Cmd_FlipUnit,
                              "Flips rendering of performance data for the seleted units",
                              "perf_FlipUnit();"),
        SCommandRow::Function("dbg_UnitOut", Cmd_UnitOut, "Outputs debug data for a unit", "dbg_UnitOut();"),
        // The developer's rows of our own.
        SCommandRow::Function("dbg_FrameStats", Cmd_FrameStats,
                              "Prints the frame rate and the times of the logic tick and the drawing",
                              "dbg_FrameStats();"),
        SCommandRow::Function("dbg_UnitState", Cmd_UnitState,
                              "Prints the selected units' templates, positions, health and loads, and the "
                              "player's resources",
                              "dbg_UnitState();"),
    };
    CommandTable_Register(ip, more);
    game->RegisterVariables(ip, {"dbg_SyncCrc"});
}
