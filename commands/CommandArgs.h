// Reading the arguments of the game's commands, and saying what is wrong
// with them.
//
// A command that cannot do what it was asked says so in one console line
// that names the command and shows its syntax: a wrong argument count, an
// argument of the wrong type, a value out of its range, a unit or group
// that does not exist. Two forms, as the areas have them:
//
//   Error in GroupSelected: To few arguments. Syntax: GroupSelected(int GroupID);
//   ss_Move : Arguments must be floats. Syntax: ss_Move(int Point); OR ...
//
// The texts before the syntax are the commands' own (their spelling kept).
// A row with a usage shows that; a row whose syntax text is its bare name
// shows its description instead when that spells the arguments out
// ("AddMoveOrder [MAP_ID] [X] ...").
#pragma once

#include <cstdint>

class CConsoleCommand;
struct SCommandArgs;

// The number of arguments (0 without a list).
int Args_Count(const SCommandArgs* args);
// Argument i read whole as an integer or a float: false when it is missing
// or any of its text is not the number ("1x" is no integer, "1.5" neither).
bool Args_Int(const SCommandArgs* args, int i, int32_t& out);
bool Args_Float(const SCommandArgs* args, int i, float& out);

// "Error in <name>: <text>. Syntax: <syntax>", through the command's error form.
void Args_Error(CConsoleCommand* record, const char* text);
// "<name> : <text>. Syntax: <syntax>", in white (the map scripts' form).
void Args_ScriptError(CConsoleCommand* record, const char* text);
// The syntax a line shows for the row (see the head).
const char* Args_Syntax(const CConsoleCommand* record);
