#include "commands/ScriptFlow.h"

#include <string>

#include "console/CommandHost.h"
#include "console/CommandInterpreter.h"
#include "console/CommandTable.h"
#include "core/VFSTable.h"

namespace {
void Cmd_Exec(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    if (file || !args || args->count < 1 || !args->Text(0)) return;
    CCommandInterpreter* ip = record->GetInterpreter();
    // The name is copied: running the file reuses the argument list.
    std::string name = args->Text(0);
    if (ip->IsRestricted()) {
        // A map script from a server reads scripts of its own box only (a
        // name the box does not hold would be read from the disk).
        CVFSTable* box = ip->RestrictedBox();
        SVFSEntry* entry = box ? box->Find(name.c_str()) : nullptr;
        if (entry && !entry->isFolder)
            ip->ExecuteFile(name.c_str(), box);
        else
            ip->Printf("Exec(\"%s\") is not allowed in a map script from a server", name.c_str());
        return;
    }
    if (ICommandHost* host = ip->GetHost())
        host->RunScriptFile(ip, name.c_str(), false, false);
    else
        ip->ExecuteFile(name.c_str());
}

// 1 true, 0 false, -1 neither (a kind that If and IfNot never run on).
int Truth(const CConsoleCommand* c, bool forIfNot) {
    if (int32_t* v = c->IntStorage()) return *v != 0;
    if (uint8_t* v = c->BoolStorage()) return *v != 0;
    if (CStrBuf* v = c->StringStorage()) return forIfNot ? -1 : !v->IsEmpty();
    return -1;
}

void RunIf(CConsoleCommand* record, SCommandArgs* args, bool wanted) {
    if (!args || args->count != 2 || !args->Text(0) || !args->Text(1)) return;
    CCommandInterpreter* ip = record->GetInterpreter();
    CConsoleCommand* var = ip->GetCommand(args->Text(0));
    if (!var) return;
    int truth = Truth(var, !wanted);
    if (truth < 0 || (truth == 1) != wanted) return;
    // Execute copies the text before it reuses the argument list.
    ip->Execute(false, const_cast<char*>(args->Text(1)), -1);
}

void Cmd_If(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    if (!file) RunIf(record, args, true);
}

void Cmd_IfNot(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    if (!file) RunIf(record, args, false);
}

void Cmd_Flip(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    if (file || !args || args->count != 1 || !args->Text(0)) return;
    CCommandInterpreter* ip = record->GetInterpreter();
    CConsoleCommand* var = ip->GetCommand(args->Text(0));
    if (!var) return;
    if (var->IsReadOnly()) {
        ip->Printf("%s is read only", var->GetName());
        return;
    }
    if (int32_t* v = var->IntStorage())
        *v = (*v == 0) ? 1 : 0;
    else if (uint8_t* b = var->BoolStorage())
        *b = *b ? 0 : 1;
    else
        return;
    if (CommandHandler onChange = var->GetOnChange()) onChange(var, args, nullptr);
}

}  // namespace

void RegisterScriptCommands(CCommandInterpreter* ip) {
    const SCommandRow rows[] = {
        SCommandRow::Function("Exec", Cmd_Exec, "Executes the supplied file", "Exec(str FileName);")
            .MapScript(),
        SCommandRow::Function("If", Cmd_If, "Executes the second argument if the first variable is true",
                              "If(bool Var, str ToExecute);")
            .MapScript(),
        SCommandRow::Function("IfNot", Cmd_IfNot,
                              "Executes the second argument if the first variable is false",
                              "IfNot(bool Var, str ToExecute);")
            .MapScript(),
        SCommandRow::Function("Flip", Cmd_Flip, "Flips the value of the supplied consle command",
                              "Flip (str CommandToFlip);"),
    };
    CommandTable_Register(ip, rows);
    // true, false and input_LastFile: the interpreter's own.
    ip->RegisterOwnEntries();
}
