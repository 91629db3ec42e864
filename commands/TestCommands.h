// The developer area of the console commands: what a developer or a test
// reads of the running world (the selected units, the world's sync CRC).
#pragma once

class CCommandInterpreter;

void RegisterTestCommands(CCommandInterpreter* interpreter);
