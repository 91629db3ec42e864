// The command interpreter: the registry of every command and variable, and
// the runner of command text.
//
// Everything the game can be told to do is a named entry here. Start-up
// scripts, configuration files, key bindings, the GUI, map and mission
// scripts and the console's command line are all command text:
//
//     Exec("Startup.cfg");   Vid_Width(1024);   If("true", "echo(\"yes\");");
//
// A statement is a name, its arguments (in parentheses or after a blank,
// separated by commas or blanks) and a closing ";". Quoted arguments take the
// escapes \" \\ and \n; a bare word that names a variable stands for the
// variable's value; "//" starts a comment to the end of the line. Names are
// found case-insensitively through a hash of 2048 buckets. Each entry carries
// a game-state mask; a command whose mask does not hold is refused, and a
// variable may always be printed but only set while its mask holds.
//
// Areas register their entries with tables (console/CommandTable.h); the
// settings they mark with a configuration file are written back by
// SaveConfigFiles as scripts under "Scripts\Config", which the start-up
// scripts run again next time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "console/ConsoleCommand.h"
#include "core/CRC32.h"
#include "core/StrBuf.h"

class CConsole;
class CVFSTable;
class ICommandHost;

enum {
    kCommandBuckets = 2048,
    kMaxExecuteDepth = 32,  // nested Exec/If runs before a run is refused
};
// The largest script or configuration file that is run; larger ones are
// refused with a message rather than read whole.
constexpr uint32_t kMaxScriptBytes = 16u << 20;

class CCommandInterpreter {
public:
    // context: what the program's command handlers work on (the game
    // object), opaque here; a handler reaches it through its record
    // (CConsoleCommand::GetContext).
    explicit CCommandInterpreter(void* context, ICommandHost* host = nullptr);
    ~CCommandInterpreter();
    CCommandInterpreter(const CCommandInterpreter&) = delete;
    CCommandInterpreter& operator=(const CCommandInterpreter&) = delete;

    void SetHost(ICommandHost* host) { m_host = host; }
    ICommandHost* GetHost() const { return m_host; }
    void* GetContext() const { return m_context; }

    // ---- registry
    CConsoleCommand* GetCommand(const char* name);
    CConsoleCommand* GetCommandLinear(const char* name) const;
    // Completes a prefix: 1 and the whole name when exactly one entry begins
    // with it; otherwise 0, and with several matches their names are listed
    // and out becomes their longest common beginning.
    int GetClosestCommand(const char* prefix, CStrBuf& out);
    // Runs the registration functions of every area, then sorts the list.
    void RegisterAllCommands();
    // Sorts the list of all entries by name, case-insensitively.
    void SortCommands();
    CConsoleCommand* First() const { return m_list; }
    int32_t GetCount() const { return m_count; }
    uint32_t Bucket(const char* name);

    // ---- execution
    // Runs command text. length < 0: the text is copied first; length >= 0:
    // the text is parsed in place and must be writable. Returns true when no
    // statement reached a registered entry. With quiet set an unknown name
    // ends the run silently.
    bool Execute(bool quiet, char* text, int length);
    bool Execute(bool quiet, const char* text);
    // Read-only text is always run on a copy (of length bytes, or up to its
    // terminator when length < 0).
    bool Execute(bool quiet, const char* text, int length);
    // Runs a script file read through the file table; false when it could not
    // be opened ("File '%s' not found" is printed) or is larger than
    // kMaxScriptBytes. A statement of the file that cannot be read is reported
    // with its line and skipped; the rest of the file still runs.
    // table: the file table to read it from (null: the global one).
    bool ExecuteFile(const char* path, CVFSTable* table = nullptr);
    // Runs the text of a script file read by the caller (a map script from its
    // box, say), parsed in place: as ExecuteFile does, a statement that
    // cannot be read is reported with the source's name and its line, and
    // skipped. Returns true when no statement reached a registered entry.
    bool ExecuteScript(const char* source, char* text, int length);
    // False when the last run of the file met a statement it could not read or
    // a name that is not registered; true for files never run.
    bool ReadCleanly(const char* path) const;
    SCommandArgs& Args() { return m_args; }
    int GetDepth() const { return m_depth; }

    // ---- restricted map scripts
    // The scripts of a map box that came from a server run restricted: only
    // the entries marked for map scripts (placing objects, start positions,
    // layers, objectives, the map's description) run; everything else (file
    // and settings writes, key bindings, scripts outside the box) is refused
    // with a console line. Exec then reads only members of box. The mode
    // holds for every run nested inside until the matching EndRestricted.
    void BeginRestricted(CVFSTable* box);
    void EndRestricted();
    bool IsRestricted() const { return m_restricted > 0; }
    // The map box a restricted run may read scripts from (null: none).
    CVFSTable* RestrictedBox() const { return m_restrictedBox; }

    // ---- configuration files
    // Writes every entry that names a configuration file into that file under
    // "Scripts\Config"; returns the number of files that could not be written.
    int SaveConfigFiles();
    // Saving is refused until the game says start-up completed, so that an
    // early exit never replaces the player's settings with defaults.
    void SetConfigSaveEnabled(bool enabled) { m_configSaveEnabled = enabled; }
    bool IsConfigSaveEnabled() const { return m_configSaveEnabled; }

    // ---- printing (to the host's console, or standard error without one)
    void Print(const char* text);
    void Printf(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void PrintColor(const char* text, int r, int g, int b);
    CConsole* GetConsole() const;

    // The interpreter's own entries: the constants true and false and the
    // variable input_LastFile (the last key-bindings file run).
    void RegisterOwnEntries();
    const CStrBuf& LastBindingsFile() const { return m_lastBindingsFile; }
    void SetLastBindingsFile(const char* name) { m_lastBindingsFile.Assign(name ? name : ""); }

private:
    friend class CConsoleCommand;
    friend class CStatementParser;
    // Runs text; source names the script file it was read from (null for
    // other text), and faults receives the number of statements of the file
    // that could not be read.
    bool ExecuteText(bool quiet, char* text, int length, const char* source, int* faults);
    // Keeps the player's copy of a configuration file that did not read
    // cleanly before it is replaced; false when it could be neither kept
    // nor left in place.
    bool KeepUncleanFile(const std::string& path);
    void RememberReading(const char* path, bool clean);

    uint8_t m_true = 1;
    uint8_t m_false = 0;
    CStrBuf m_lastBindingsFile;
    CCRC32 m_crc;
    void* m_context = nullptr;
    ICommandHost* m_host = nullptr;
    CConsoleCommand* m_buckets[kCommandBuckets] = {};
    CConsoleCommand* m_list = nullptr;
    int32_t m_count = 0;
    SCommandArgs m_args;
    int m_depth = 0;
    bool m_unwinding = false;  // a nested run hit the depth limit
    bool m_configSaveEnabled = false;
    int m_restricted = 0;
    CVFSTable* m_restrictedBox = nullptr;
    std::vector<std::string> m_uncleanFiles;  // folded paths of script files that did not read cleanly
};

// Mask of the bucket index, set once by the first interpreter.
extern uint32_t g_CommandBucketMask;
