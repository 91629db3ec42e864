// The effects area of the command set: the Effect_Explo_ commands with which
// the effect scripts define explosion types, the effect switches, the fog
// colours and the Light of God, all held by the explosion manager; and the
// camera rows of the view area (View_GameScene, the camera shake).
#pragma once

class CCommandInterpreter;

void RegisterEffectsCommands(CCommandInterpreter* interpreter);
void RegisterViewCommands(CCommandInterpreter* interpreter);
