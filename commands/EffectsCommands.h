// The effects area of the command set: the Effect_Explo_ commands with which
// the effect scripts define explosion types, the star field, the effect
// switches, the fog colours and the Light of God, all held by the
// explosion manager.
#pragma once

class CCommandInterpreter;

void RegisterEffectsCommands(CCommandInterpreter* interpreter);
