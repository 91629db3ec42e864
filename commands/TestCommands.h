// The developer area of the console commands: what a developer or a test
// reads of the running world.
#pragma once

class CCommandInterpreter;

void RegisterTestCommands(CCommandInterpreter* interpreter);
