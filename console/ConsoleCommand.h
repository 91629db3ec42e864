// One entry of the command registry and the argument list handlers receive.
//
// A CConsoleCommand is either a command (a handler function) or a variable
// bound to storage that some subsystem object owns: an int, a float, a bool,
// a CStrBuf or a fixed char array. Variables carry their limits, an optional
// on-change callback, a read-only flag, the game-state mask that must hold to
// set them and the configuration file they are saved to. Every record is
// built from a row of the declarative tables of console/CommandTable.h;
// records link themselves into their interpreter when constructed and unlink
// when deleted.
#pragma once

#include <cstdint>
#include <string>

#include "core/StrBuf.h"

class CCommandInterpreter;
class CConsoleCommand;
class CVFSFile;
struct SCommandArgs;
struct SCommandRow;

// Handler and on-change callback: (record, argument list or null, open file
// or null). A command handler called with a file writes its own configuration
// line(s) into it instead of running.
typedef void (*CommandHandler)(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file);

enum ECommandType : int32_t {
    kCommandInt = 0,
    kCommandCharArray = 1,
    kCommandString = 2,
    kCommandFloat = 3,
    kCommandFunction = 4,
    kCommandBool = 5,
};

enum {
    kMaxCommandArgs = 256,
    kMaxCommandWord = 256,  // name and word arguments, characters
};

// One argument slot: the text points into the executed text, or to a buffer
// the slot owns.
class CCommandArg {
public:
    CCommandArg() = default;
    ~CCommandArg() { Free(); }
    CCommandArg(const CCommandArg&) = delete;
    CCommandArg& operator=(const CCommandArg&) = delete;

    bool GetInt(int32_t& out) const;
    bool GetFloat(float& out) const;
    // A flag as a bool variable row reads it: false when the text starts
    // with 'f' or '0' ("false", "0"), true otherwise ("true", "1").
    bool GetBool(bool& out) const;
    // Copies at most size - 1 characters and always terminates the buffer.
    bool GetString(char* buffer, int size) const;
    bool GetString(CStrBuf& out) const;
    // Frees an owned text and owns a new buffer of n + 10 bytes.
    char* Alloc(int n);
    void Free();
    const char* Text() const { return m_text; }
    void SetText(char* text) {
        Free();
        m_text = text;
    }
    bool IsOwned() const { return m_owned != 0; }

private:
    char* m_text = nullptr;
    uint8_t m_owned = 0;
};

struct SCommandArgs {
    int32_t count = 0;
    CCommandArg arg[kMaxCommandArgs];
    // Slots at or beyond this index hold no owned text; keeps Clear cheap.
    int32_t used = 0;

    // Frees the owned texts of every slot; the count is left as it is.
    void Clear();
    // The text of argument i, null when absent.
    const char* Text(int i) const { return (i >= 0 && i < count) ? arg[i].Text() : nullptr; }
};

int32_t StrToInt(const char* text);
float StrToFloat(const char* text);

class CConsoleCommand {
public:
    // Builds the entry a table row describes (console/CommandTable.h): a
    // command with its handler, or a variable of the row's type bound to the
    // row's storage with its limits, callback and flags. Links itself into
    // the interpreter.
    CConsoleCommand(CCommandInterpreter* interpreter, const SCommandRow& row);
    ~CConsoleCommand();
    CConsoleCommand(const CConsoleCommand&) = delete;
    CConsoleCommand& operator=(const CConsoleCommand&) = delete;

    void SetHashed(bool hashed);
    // Runs a command or prints, converts, clamps and stores a variable.
    void Invoke(SCommandArgs* args);
    // Writes this entry's configuration line into an open file.
    bool WriteVariableLine(CVFSFile* file);  // false when the write failed
    // Formats this entry's configuration line (without line end); false when
    // the entry writes nothing of its own (functions, missing storage).
    bool FormatVariableLine(CStrBuf& out) const;
    // The current value as the text a bare word naming the variable stands for;
    // false for commands and variables without storage.
    bool FormatValue(char* out, int size) const;
    // "Error in <name>: <message>" on the console.
    void ReportError(const char* message);
    // With a usage: true when the arguments fit it; else one console line
    // names what is wrong, the command and its usage.
    bool CheckArguments(const SCommandArgs* args);

    // What the handler and the on-change callback work on: the row's own
    // context when it named one (the object whose setting it is), else the
    // interpreter's (the program's, opaque to the console).
    void* GetContext() const { return m_context; }
    CCommandInterpreter* GetInterpreter() const { return m_interpreter; }
    const char* GetName() const { return m_name.GetText(); }
    const char* GetDescription() const { return m_description.GetText(); }
    const char* GetSyntax() const { return m_syntax.GetText(); }
    // What help shows of the arguments: the row's usage when it has one,
    // else its syntax.
    const char* GetUsage() const { return m_usage.IsEmpty() ? GetSyntax() : m_usage.GetText(); }
    const char* GetConfigFile() const { return m_configFile.GetText(); }
    int32_t GetType() const { return m_type; }
    uint32_t GetMask() const { return m_mask; }
    bool IsReadOnly() const { return m_readOnly != 0; }
    // May run in a restricted map script: a row marked for map scripts, or a
    // server-description row ("si_") that no configuration file keeps.
    bool AllowedInMapScript() const;
    bool IsVariable() const { return m_type != kCommandFunction; }
    CConsoleCommand* Next() const { return m_listNext; }
    CConsoleCommand* Prev() const { return m_listPrev; }

    // Storage by type (null when the type differs).
    int32_t* IntStorage() const { return m_type == kCommandInt ? static_cast<int32_t*>(m_storage) : nullptr; }
    float* FloatStorage() const { return m_type == kCommandFloat ? static_cast<float*>(m_storage) : nullptr; }
    uint8_t* BoolStorage() const {
        return m_type == kCommandBool ? static_cast<uint8_t*>(m_storage) : nullptr;
    }
    CStrBuf* StringStorage() const {
        return m_type == kCommandString ? static_cast<CStrBuf*>(m_storage) : nullptr;
    }
    char* CharArrayStorage() const {
        return m_type == kCommandCharArray ? static_cast<char*>(m_storage) : nullptr;
    }
    CommandHandler GetHandler() const { return m_type == kCommandFunction ? m_handler : nullptr; }
    CommandHandler GetOnChange() const { return m_type == kCommandFunction ? nullptr : m_onChange; }
    int32_t GetIntMin() const { return m_intMin; }
    int32_t GetIntMax() const { return m_intMax; }
    float GetFloatMin() const { return m_floatMin; }
    float GetFloatMax() const { return m_floatMax; }
    int32_t GetMaxLength() const { return m_intMax; }

private:
    friend class CCommandInterpreter;
    void ParseUsage();

    void* m_context = nullptr;
    CommandHandler m_handler = nullptr;  // functions
    void* m_storage = nullptr;           // variables
    CommandHandler m_onChange = nullptr;
    int32_t m_intMin = 0;
    int32_t m_intMax = 0;  // also the maximum length of the string types
    float m_floatMin = 0.0f;
    float m_floatMax = 0.0f;
    uint32_t m_mask = 0;
    uint8_t m_floatFlag = 0;
    CStrBuf m_name;
    CStrBuf m_description;
    CStrBuf m_syntax;
    CStrBuf m_usage;
    // From the usage: each argument's kind ('i' int, 'f' float, 'b' bool,
    // 's' text) and how many of them must be given.
    std::string m_argKinds;
    int m_requiredArgs = 0;
    CStrBuf m_configFile;
    int32_t m_type = kCommandFunction;
    uint8_t m_readOnly = 0;
    uint8_t m_mapScript = 0;
    CConsoleCommand** m_hashSlot = nullptr;
    CConsoleCommand* m_hashNext = nullptr;
    CConsoleCommand* m_hashPrev = nullptr;
    CConsoleCommand* m_listNext = nullptr;
    CConsoleCommand* m_listPrev = nullptr;
    CCommandInterpreter* m_interpreter = nullptr;
};
