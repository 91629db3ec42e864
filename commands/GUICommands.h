// The GUI area of the command set: the full-screen video commands
// (Anim_Play, Anim_Stop, Anim_Pause, Anim_Resume). The rows of the GUI
// screens and texts belong to the interface (ui/GUICommands.h), which the
// game registers as soon as it exists.
#pragma once

class CCommandInterpreter;

void RegisterGUICommands(CCommandInterpreter* interpreter);
