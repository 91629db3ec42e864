// The GUI area of the command set. So far it holds the full-screen video
// commands (Anim_Play, Anim_Stop, Anim_Pause, Anim_Resume); the commands of
// the GUI screens join it with the interface.
#pragma once

class CCommandInterpreter;

void RegisterGUICommands(CCommandInterpreter* interpreter);
