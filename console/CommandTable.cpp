#include "console/CommandTable.h"

#include <new>

#include "console/CommandInterpreter.h"

CConsoleCommand* CommandTable_Create(CCommandInterpreter* ip, const SCommandRow& row) {
    const bool readOnly = (row.flags & kRowReadOnly) != 0;
    switch (row.type) {
        case kCommandFunction:
            return new (std::nothrow) CConsoleCommand(ip, row.name, row.description, row.syntax, row.mask,
                                                      row.configFile, row.handler);
        case kCommandBool:
            return new (std::nothrow)
                CConsoleCommand(ip, row.name, row.description, row.syntax, row.mask, row.configFile,
                                row.handler, static_cast<uint8_t*>(row.storage), readOnly);
        case kCommandString:
            return new (std::nothrow)
                CConsoleCommand(ip, row.name, row.description, row.syntax, row.mask, row.configFile,
                                row.handler, static_cast<CStrBuf*>(row.storage), row.intMax, readOnly);
        case kCommandCharArray:
            return new (std::nothrow)
                CConsoleCommand(ip, row.name, row.description, row.syntax, row.mask, row.configFile,
                                row.handler, static_cast<char*>(row.storage), row.intMax, readOnly);
        case kCommandInt:
            return new (std::nothrow) CConsoleCommand(
                ip, row.name, row.description, row.syntax, row.mask, row.configFile, row.handler,
                static_cast<int32_t*>(row.storage), row.intMin, row.intMax, readOnly);
        case kCommandFloat:
            return new (std::nothrow)
                CConsoleCommand(ip, row.name, row.description, row.syntax, row.mask, row.configFile,
                                row.handler, static_cast<float*>(row.storage), row.floatMin, row.floatMax,
                                (row.flags & kRowFloatFlag) != 0, readOnly);
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

static CommandAreaFn s_areas[kCommandAreaCount];

void CommandArea_Set(ECommandArea area, CommandAreaFn fn) {
    if (area >= 0 && area < kCommandAreaCount) s_areas[area] = fn;
}

CommandAreaFn CommandArea_Get(ECommandArea area) {
    return (area >= 0 && area < kCommandAreaCount) ? s_areas[area] : nullptr;
}
