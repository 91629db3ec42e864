// The emitter editor's commands: Emitter_Create and the commands that name a
// template, give it a material and colour-gradient points. The effect
// scripts Special Effects\Emitters.cfg and EmitterMaterials.cfg consist of
// these lines and build the engine's emitter templates at content load.
#pragma once

class CCommandInterpreter;

void RegisterEmitterCommands(CCommandInterpreter* interpreter);
