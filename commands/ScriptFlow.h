// Script-flow commands: running script files and branching on variables.
//
// Exec, If, IfNot and Flip, the constants true and false and the variable
// input_LastFile. They are entered right after the interpreter exists, before
// every other area, so that the first scripts of start-up can use them.
#pragma once

class CCommandInterpreter;

void RegisterScriptCommands(CCommandInterpreter* interpreter);
