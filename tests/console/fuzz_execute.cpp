// Fuzz target: any command text through CCommandInterpreter::Execute, parsed
// in place and on a copy, quietly and not, and as a script file's text.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "commands/ScriptFlow.h"
#include "console/CommandHost.h"
#include "console/CommandInterpreter.h"
#include "console/CommandTable.h"
#include "console/Console.h"

namespace {
class CFuzzHost : public ICommandHost {
public:
    uint32_t GetGameStateBits() override { return bits; }
    CConsole* GetConsole() override { return &console; }
    const char* GetPath(const char*, const char* name) override {
        m_path = std::string("Z:\\nonexistent-tessarak-fuzz\\") + (name ? name : "");
        return m_path.c_str();
    }
    // Scripts come from memory so the run never touches the disk: "a" runs
    // itself twice, "b" sets variables, anything else is missing.
    void RunScriptFile(CCommandInterpreter* ip, const char* name, bool, bool) override {
        if (name && name[0] == 'a' && !name[1])
            ip->Execute(false, "Exec(a); Echo(x); Exec(a)", -1);
        else if (name && name[0] == 'b' && !name[1])
            ip->Execute(false, "I(3); F(0.5); S(\"b\\\"\"); If(B, \"Exec(b);\");", -1);
        else
            ip->Printf("File '%s' not found", GetPath("Scripts", name));
    }
    uint32_t bits = kStateNotInGame;
    CConsole console;

private:
    std::string m_path;
};

void Echo(CConsoleCommand* record, SCommandArgs* args, CVFSFile*) {
    if (args && args->count > 0 && args->Text(0))
        record->GetInterpreter()->Print(args->Text(args->count - 1));
}

struct SFuzzState {
    CFuzzHost host;
    CCommandInterpreter ip{nullptr, &host};
    int32_t i = 0;
    float f = 0.0f;
    uint8_t b = 0;
    CStrBuf s;
    char chars[16] = "";
    SFuzzState() {
        host.console.Init(64, 17, 8);
        RegisterScriptCommands(&ip);
        const SCommandRow rows[] = {
            SCommandRow::Function("Echo", Echo, "", ""),
            SCommandRow::Function("HostOnly", Echo, "", "").Mask(kStateHost),
            SCommandRow::Int("I", &i, -10, 10, "", ""),
            SCommandRow::Float("F", &f, -1.0f, 1.0f, "", ""),
            SCommandRow::Bool("B", &b, "", ""),
            SCommandRow::String("S", &s, 32, "", ""),
            SCommandRow::CharArray("C", chars, sizeof chars, "", ""),
        };
        CommandTable_Register(&ip, rows);
    }
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static SFuzzState* state = new SFuzzState;
    if (size > 256 * 1024) return 0;
    // In place, exactly the given bytes (no terminator behind them).
    std::vector<char> inPlace(data, data + size);
    state->host.bits = size ? data[0] & 63 : 32;
    state->ip.Execute(false, inPlace.data(), static_cast<int>(size));
    // On a copy, as text up to its first zero byte.
    std::string text(reinterpret_cast<const char*>(data), size);
    state->ip.Execute(size && (data[size - 1] & 1), const_cast<char*>(text.c_str()), -1);
    // As a script file: faults reported with their line and skipped.
    std::vector<char> script(data, data + size);
    state->ip.ExecuteScript("fuzz.cfg", script.data(), static_cast<int>(size));
    return 0;
}
