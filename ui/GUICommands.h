// The interface's rows of the command set (g_Load, g_Append,
// g_IdentifyPanels, G_SetActiveGUI, G_SetDirectActiveGUI, G_JumpToMenu,
// G_LoadMouse, g_NumMouseBitmaps, G_LoadUnitInfo, g_NumUnitInfoBitmaps,
// G_ScoreMenu, SetLid, TestLocalization, g_PostLocalizationCheck,
// g_RemakeMapChange), entered into an interpreter for one interface. The
// game's GUI area registers them with the rest of its rows.
#pragma once

class CCommandInterpreter;
class CInterface;

void Interface_RegisterCommands(CCommandInterpreter* interpreter, CInterface* ui);
// The interface goes: its rows no longer reach it.
void Interface_ForgetCommands(CInterface* ui);
