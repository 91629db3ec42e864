// Name look-ups among 600 registered entries and execution of simple
// statements.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "commands/ScriptFlow.h"
#include "console/CommandHost.h"
#include "console/CommandInterpreter.h"
#include "console/CommandTable.h"
#include "console/Console.h"

namespace {
class CBenchHost : public ICommandHost {
public:
    uint32_t GetGameStateBits() override { return kStateNotInGame; }
    CConsole* GetConsole() override { return &console; }
    const char* GetPath(const char*, const char* name) override { return name; }
    CConsole console;
};

void Nop(CConsoleCommand*, SCommandArgs*, CVFSFile*) {}

const char* kAreas[] = {"AI_", "Console_", "G_",     "Test_",  "Emitter_", "Play_", "ss_", "Input_",
                        "M_",  "Net_",     "Debug_", "Sound_", "Effect_",  "Vid_",  "GUI_"};

struct SBench {
    CBenchHost host;
    CCommandInterpreter ip{nullptr, &host};
    std::vector<std::string> names;
    std::vector<int32_t> ints = std::vector<int32_t>(600);
    int32_t x = 0, y = 0;
    uint8_t flag = 1;
    SBench() {
        host.console.Init(CConsole::kScrollBackLines, 17, 8);
        RegisterScriptCommands(&ip);
        char name[64];
        for (int i = 0; static_cast<int>(names.size()) < 600; ++i) {
            std::snprintf(name, sizeof name, "%sSetting%dValue", kAreas[i % 15], i);
            names.push_back(name);
        }
        for (size_t i = 0; i < names.size(); ++i) {
            if (i % 2)
                CommandTable_Create(&ip, SCommandRow::Function(names[i].c_str(), Nop, "", ""));
            else
                CommandTable_Create(&ip, SCommandRow::Int(names[i].c_str(), &ints[i], 0, 100, "", ""));
        }
        CommandTable_Create(&ip, SCommandRow::Int("x", &x, 0, 100, "", ""));
        CommandTable_Create(&ip, SCommandRow::Int("y", &y, 0, 100, "", ""));
        CommandTable_Create(&ip, SCommandRow::Bool("flag", &flag, "", ""));
        ip.SortCommands();
    }
};

SBench& Bench() {
    static SBench* bench = new SBench;
    return *bench;
}

void BM_GetCommand(benchmark::State& state) {
    SBench& b = Bench();
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(b.ip.GetCommand(b.names[i].c_str()));
        if (++i == b.names.size()) i = 0;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_GetCommand);

void BM_GetCommandLinear(benchmark::State& state) {
    SBench& b = Bench();
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(b.ip.GetCommandLinear(b.names[i].c_str()));
        if (++i == b.names.size()) i = 0;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_GetCommandLinear);

// One statement per Execute call, on a copy as callers with a constant text do.
void BM_ExecuteStatement(benchmark::State& state, const char* text) {
    SBench& b = Bench();
    b.x = b.y = 0;
    for (auto _ : state) b.ip.Execute(false, const_cast<char*>(text), -1);
    if (b.x != 5 && b.y != 1) state.SkipWithError("the statement did not run");
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK_CAPTURE(BM_ExecuteStatement, set_int, "x 5;");
BENCHMARK_CAPTURE(BM_ExecuteStatement, if_runs_text, "If(\"flag\", \"y 1;\");");
BENCHMARK_CAPTURE(BM_ExecuteStatement, if_bare_word, "If(flag, \"y 1;\");");

// A script of 1000 statements parsed in place, as script files are.
void BM_ExecuteScript(benchmark::State& state, const char* statement) {
    SBench& b = Bench();
    std::string script;
    for (int i = 0; i < 1000; ++i) script += std::string(statement) + "\r\n";
    std::vector<char> buffer(script.size() + 2);
    for (auto _ : state) {
        state.PauseTiming();
        std::copy(script.begin(), script.end(), buffer.begin());
        state.ResumeTiming();
        b.x = b.y = 0;
        b.ip.Execute(false, buffer.data(), static_cast<int>(script.size()));
        if (b.x != 5 && b.y != 1) state.SkipWithError("the statements did not run");
    }
    state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK_CAPTURE(BM_ExecuteScript, set_int, "x 5;");
BENCHMARK_CAPTURE(BM_ExecuteScript, if_runs_text, "If(\"flag\", \"y 1;\");");
}  // namespace
