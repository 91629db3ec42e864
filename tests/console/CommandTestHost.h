// A stand-in for the game around the interpreter and the console: the state
// bits, a clock the test moves by hand, a scripts root in a temporary folder,
// and every printed console line collected for comparison.
#pragma once

#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "console/CommandHost.h"
#include "console/CommandInterpreter.h"
#include "console/Console.h"
#include "platform/sys/Path.h"
#include "tests/support/TempDir.h"

class CTestCommandHost : public ICommandHost, public IConsoleHost {
public:
    struct SLine {
        std::string text;
        int r, g, b;
        bool echo;
    };

    CTestCommandHost() : console(this), interpreter(nullptr, this) {
        console.Init(CConsole::kScrollBackLines, 17, 8);
        console.SetLineSink(&CTestCommandHost::Sink, this);
        interpreter.SetConfigSaveEnabled(true);
    }
    // A fresh folder under /tmp that GetPath resolves names below.
    const std::string& MakeRoot() {
        m_dir.reset(new CTempDir);
        root = m_dir->Win();
        return m_dir->Path();
    }
    void WriteFile(const std::string& relative, const std::string& content) {
        m_dir->Write(relative, content);
        Sys_FlushPathCache();
    }
    std::string ReadFile(const std::string& relative) {
        if (access(m_dir->File(relative).c_str(), F_OK) != 0) return "<missing>";
        return m_dir->Read(relative);
    }

    // Runs text (copied) and returns the lines it printed, joined by '|'.
    std::string Run(const char* text, bool quiet = false) {
        lines.clear();
        lastResult = interpreter.Execute(quiet, text);
        return Joined();
    }
    std::string Joined() const {
        std::string out;
        for (size_t i = 0; i < lines.size(); ++i) out += (i ? "|" : "") + lines[i].text;
        return out;
    }

    // ICommandHost
    uint32_t GetGameStateBits() override { return bits; }
    CConsole* GetConsole() override { return &console; }
    const char* GetPath(const char* subFolder, const char* name) override {
        m_path = root;
        if (subFolder && *subFolder) m_path += std::string("\\") + subFolder;
        if (name && *name) m_path += std::string("\\") + name;
        return m_path.c_str();
    }
    void OnBindingsFileChanged() override { ++bindingsChanged; }

    // IConsoleHost
    uint64_t ConsoleClockNow() override { return now; }
    uint64_t ConsoleClockFrequency() override { return frequency; }
    CCommandInterpreter* ConsoleInterpreter() override { return &interpreter; }
    void ConsoleSendChat(const char* text) override { chats.push_back(text); }
    EClipboard ConsoleGetClipboard(CStrBuf& out) override {
        out.Assign(clipboard.c_str());
        return clipboardState;
    }
    bool ConsoleSetClipboard(const char* text) override {
        ++clipboardWrites;
        if (clipboardState == kClipboardOpenFailed) return false;
        clipboard = text;
        return true;
    }

    uint32_t bits = kStateNotInGame;
    uint64_t now = 0;
    uint64_t frequency = 1193182;
    std::string root;
    std::vector<SLine> lines;
    std::vector<std::string> chats;
    std::string clipboard;
    EClipboard clipboardState = kClipboardOk;
    int clipboardWrites = 0;
    int bindingsChanged = 0;
    bool lastResult = false;

    CConsole console;
    CCommandInterpreter interpreter;

private:
    static void Sink(void* user, const char* text, int r, int g, int b, bool echo) {
        static_cast<CTestCommandHost*>(user)->lines.push_back({text, r, g, b, echo});
    }
    std::unique_ptr<CTempDir> m_dir;
    std::string m_path;
};

// "Echo(text)" prints its first argument; tests read arguments through it.
inline void TestCmd_Echo(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    if (file || !args || args->count < 1) return;
    std::string all;
    for (int i = 0; i < args->count; ++i)
        all += (i ? "," : "") + std::string(args->Text(i) ? args->Text(i) : "<null>");
    record->GetInterpreter()->Print(all.c_str());
}
