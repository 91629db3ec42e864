// The map editor's rows of the map area (commands/EditorCommands.cpp): what
// RegisterMapCommands (commands/MapCommands.cpp) enters in the area's order.
#pragma once

#include "console/ConsoleCommand.h"

void Cmd_M_ImportBinary(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file);
void Cmd_M_DeleteSelected(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file);
void Cmd_M_MoveOffsetUp(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file);
void Cmd_M_MoveOffsetDown(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file);
void Cmd_M_Unselect(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file);
void Cmd_M_LeaveTool(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file);
void Cmd_M_Merge(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file);
void Cmd_M_SetTeam(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file);
void Cmd_M_SetLayer(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file);
void Cmd_M_HideLayer(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file);
void Cmd_M_SetStartPositionByMouse(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file);
void Cmd_M_RandomizeSpots(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file);
void Cmd_M_SetSpotConfig(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file);
void Cmd_m_LAS(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file);
void Cmd_m_DAS(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file);
void Cmd_m_Devmap(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file);
void Cmd_m_NoBuildRestriction(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file);
// The on-change of m_BuildRestrictionMode: the selection's panels are built
// again outside the interface screens.
void Cmd_m_BuildRestrictionChanged(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file);
// Our own developer row: the editor's panel rows, the mouse (its place and
// whether the left button is down, as the interface last heard), the highest map id, the
// start positions and every placed object from a map id on (its template,
// layer, team, place, heading, scale and mark), one console line each.
void Cmd_dbg_MapEditor(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file);
