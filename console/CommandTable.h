// Declarative registration of commands and variables.
//
// Every area of the game enters its commands and variables as one table of
// rows, each row holding everything the interpreter needs: name, kind, the
// storage or handler it is bound to, limits, the game-state mask, the
// description and syntax that help prints, the configuration file it is
// saved to and its flags. A row reads like a declaration:
//
//     const SCommandRow rows[] = {
//       SCommandRow::Function("Exec", Cmd_Exec, "Executes the supplied file", "Exec(str FileName);"),
//       SCommandRow::Int("Console_Font_Height", &m_ConsoleFontHeight, -50, 50, "...", "...")
//           .Config("Console.cfg").OnChange(OnConsoleFont).Context(this),
//       SCommandRow::Bool("true", &m_true, "Constant", "true").ReadOnly(),
//     };
//     CommandTable_Register(ip, rows);
//
// A variable's storage is bound only by the object that owns it: each owner
// registers its own settings (a member function that names its own fields,
// &m_x, with Context(this) for its callbacks), and the areas of the game's
// console commands call those registrations; an area's own storage is a
// file-static of its own (tools/check/tree.sh holds this). Help, listing,
// completion, clamping and the configuration writer then treat every row
// alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>

#include "console/ConsoleCommand.h"

class CCommandInterpreter;

enum : uint32_t {
    kRowReadOnly = 1,
    kRowFloatFlag = 2,
    // Allowed in a restricted map script (one that came with a server's map
    // box): placing objects, start positions, layers, objectives.
    kRowMapScript = 4,
};

struct SCommandRow {
    const char* name = nullptr;
    int32_t type = kCommandFunction;
    void* storage = nullptr;           // variables
    CommandHandler handler = nullptr;  // functions: the handler; variables: the on-change callback
    int32_t intMin = 0;
    int32_t intMax = 0;  // int maximum; maximum length of a string; size of a char array
    float floatMin = 0.0f;
    float floatMax = 0.0f;
    uint32_t mask = 0;
    const char* description = "";
    const char* syntax = "";
    const char* configFile = nullptr;
    uint32_t flags = 0;
    void* context = nullptr;  // what the handler works on (null: the interpreter's context)
    // The arguments a command takes, as help shows them and the interpreter
    // checks them ("Name(int MapId, float X[, str Text]);", optional ones in
    // brackets): how many, and, unless the handler says its own words about
    // them, that numbers are numbers. Null: the handler checks them alone.
    const char* usage = nullptr;
    bool usageKinds = true;

    static SCommandRow Function(const char* name, CommandHandler handler, const char* description,
                                const char* syntax) {
        SCommandRow r;
        r.name = name;
        r.type = kCommandFunction;
        r.handler = handler;
        r.description = description;
        r.syntax = syntax;
        return r;
    }
    static SCommandRow Int(const char* name, int32_t* storage, int32_t minimum, int32_t maximum,
                           const char* description, const char* syntax) {
        SCommandRow r = Variable(name, kCommandInt, storage, description, syntax);
        r.intMin = minimum;
        r.intMax = maximum;
        return r;
    }
    static SCommandRow Float(const char* name, float* storage, float minimum, float maximum,
                             const char* description, const char* syntax) {
        SCommandRow r = Variable(name, kCommandFloat, storage, description, syntax);
        r.floatMin = minimum;
        r.floatMax = maximum;
        return r;
    }
    static SCommandRow Bool(const char* name, uint8_t* storage, const char* description, const char* syntax) {
        return Variable(name, kCommandBool, storage, description, syntax);
    }
    static SCommandRow String(const char* name, CStrBuf* storage, int32_t maxLength, const char* description,
                              const char* syntax) {
        SCommandRow r = Variable(name, kCommandString, storage, description, syntax);
        r.intMax = maxLength;
        return r;
    }
    // A fixed char array of size bytes (terminator included).
    static SCommandRow CharArray(const char* name, char* storage, int32_t size, const char* description,
                                 const char* syntax) {
        SCommandRow r = Variable(name, kCommandCharArray, storage, description, syntax);
        r.intMax = size;
        return r;
    }

    SCommandRow Mask(uint32_t m) const {
        SCommandRow r = *this;
        r.mask = m;
        return r;
    }
    SCommandRow Config(const char* file) const {
        SCommandRow r = *this;
        r.configFile = file;
        return r;
    }
    SCommandRow OnChange(CommandHandler callback) const {
        SCommandRow r = *this;
        r.handler = callback;
        return r;
    }
    // The object the handler or the on-change callback works on: the owner
    // of the setting, which registers its own rows.
    SCommandRow Context(void* object) const {
        SCommandRow r = *this;
        r.context = object;
        return r;
    }
    SCommandRow ReadOnly() const {
        SCommandRow r = *this;
        r.flags |= kRowReadOnly;
        return r;
    }
    SCommandRow FloatFlag() const {
        SCommandRow r = *this;
        r.flags |= kRowFloatFlag;
        return r;
    }
    SCommandRow MapScript() const {
        SCommandRow r = *this;
        r.flags |= kRowMapScript;
        return r;
    }
    SCommandRow Usage(const char* text, bool checkKinds = true) const {
        SCommandRow r = *this;
        r.usage = text;
        r.usageKinds = checkKinds;
        return r;
    }

private:
    static SCommandRow Variable(const char* name, int32_t type, void* storage, const char* description,
                                const char* syntax) {
        SCommandRow r;
        r.name = name;
        r.type = type;
        r.storage = storage;
        r.description = description;
        r.syntax = syntax;
        return r;
    }
};

// Creates one record per row, in table order; returns the number entered.
int CommandTable_Register(CCommandInterpreter* interpreter, const SCommandRow* rows, size_t count);
template <size_t N>
int CommandTable_Register(CCommandInterpreter* interpreter, const SCommandRow (&rows)[N]) {
    return CommandTable_Register(interpreter, rows, N);
}
CConsoleCommand* CommandTable_Create(CCommandInterpreter* interpreter, const SCommandRow& row);
// The rows of the names given, in the order of the names (an owner that
// holds rows of several areas enters each area's where that area lists
// them); with no names, every row in table order. A name the table lacks is
// passed over. Returns the number entered.
int CommandTable_RegisterNamed(CCommandInterpreter* interpreter, const SCommandRow* rows, size_t count,
                               std::initializer_list<const char*> names);
template <size_t N>
int CommandTable_RegisterNamed(CCommandInterpreter* interpreter, const SCommandRow (&rows)[N],
                               std::initializer_list<const char*> names) {
    return CommandTable_RegisterNamed(interpreter, rows, N, names);
}

// The areas whose registration functions CCommandInterpreter::RegisterAllCommands
// runs, in this order. Each area installs its function with CommandArea_Set
// before the game calls RegisterAllCommands.
enum ECommandArea {
    kAreaAI,
    kAreaConsole,
    kAreaGame,
    kAreaTest,
    kAreaEmitterEditor,
    kAreaPlay,
    kAreaOrders,  // GUI and map-script orders
    kAreaInput,
    kAreaMap,
    kAreaNetwork,
    kAreaDebug,
    kAreaSound,
    kAreaEffects,
    kAreaView,
    kCommandAreaCount
};

typedef void (*CommandAreaFn)(CCommandInterpreter* interpreter);
void CommandArea_Set(ECommandArea area, CommandAreaFn fn);
CommandAreaFn CommandArea_Get(ECommandArea area);
