#include "console/CommandTable.h"

#include <cstring>
#include <new>

#include "console/CommandInterpreter.h"

CConsoleCommand* CommandTable_Create(CCommandInterpreter* ip, const SCommandRow& row) {
    switch (row.type) {
        case kCommandFunction:
        case kCommandBool:
        case kCommandString:
        case kCommandCharArray:
        case kCommandInt:
        case kCommandFloat:
            return new (std::nothrow) CConsoleCommand(ip, row);
        default:
            return nullptr;
    }
}

int CommandTable_Register(CCommandInterpreter* ip, const SCommandRow* rows, size_t count) {
    int entered = 0;
    for (size_t i = 0; i < count; ++i)
        if (rows[i].name && CommandTable_Create(ip, rows[i])) ++entered;
    return entered;
}

int CommandTable_RegisterNamed(CCommandInterpreter* ip, const SCommandRow* rows, size_t count,
                               std::initializer_list<const char*> names) {
    if (names.size() == 0) return CommandTable_Register(ip, rows, count);
    int entered = 0;
    for (const char* name : names)
        for (size_t i = 0; i < count; ++i)
            if (rows[i].name && name && std::strcmp(rows[i].name, name) == 0) {
                if (CommandTable_Create(ip, rows[i])) ++entered;
                break;
            }
    return entered;
}

static CommandAreaFn s_areas[kCommandAreaCount];

void CommandArea_Set(ECommandArea area, CommandAreaFn fn) {
    if (area >= 0 && area < kCommandAreaCount) s_areas[area] = fn;
}

CommandAreaFn CommandArea_Get(ECommandArea area) {
    return (area >= 0 && area < kCommandAreaCount) ? s_areas[area] : nullptr;
}
