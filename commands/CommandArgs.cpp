#include "commands/CommandArgs.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "console/CommandInterpreter.h"
#include "console/ConsoleCommand.h"

namespace {
// The text of argument i, null when missing.
const char* Text(const SCommandArgs* args, int i) {
    return args ? args->Text(i) : nullptr;
}

// Nothing but blanks from end on.
bool OnlyBlanks(const char* end) {
    while (*end == ' ' || *end == '\t') ++end;
    return *end == 0;
}
}  // namespace

int Args_Count(const SCommandArgs* args) {
    return args ? args->count : 0;
}

bool Args_Int(const SCommandArgs* args, int i, int32_t& out) {
    const char* text = Text(args, i);
    if (!text) return false;
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(text, &end, 10);
    if (end == text || !OnlyBlanks(end) || errno == ERANGE || v < INT32_MIN || v > INT32_MAX) return false;
    out = static_cast<int32_t>(v);
    return true;
}

bool Args_Float(const SCommandArgs* args, int i, float& out) {
    const char* text = Text(args, i);
    if (!text) return false;
    char* end = nullptr;
    const float v = std::strtof(text, &end);
    if (end == text || !OnlyBlanks(end) || !std::isfinite(v)) return false;
    out = v;
    return true;
}

const char* Args_Syntax(const CConsoleCommand* record) {
    if (record->GetUsage() != record->GetSyntax()) return record->GetUsage();
    const char* syntax = record->GetSyntax();
    const char* description = record->GetDescription();
    const size_t n = std::strlen(record->GetName());
    if (std::strcmp(syntax, record->GetName()) == 0 && std::strncmp(description, record->GetName(), n) == 0)
        return description;
    return syntax;
}

void Args_Error(CConsoleCommand* record, const char* text) {
    std::string line = std::string(text) + ". Syntax: " + Args_Syntax(record);
    record->ReportError(line.c_str());
}

void Args_ScriptError(CConsoleCommand* record, const char* text) {
    record->GetInterpreter()->Printf("%s : %s. Syntax: %s", record->GetName(), text, Args_Syntax(record));
}
