// The commands of missions, campaigns and saved games: the objectives of a
// mission's scripts (m_SetConditions, m_Condition, m_ListConditions), the
// mission's end flags (WinGame, LooseGame), the campaign's start
// (SetActiveCampaign, StartCampaignMission, StartCampaignGame), the save of
// the running game (SaveCurrentGame) and the saved game a start continues
// (LoadSavedGame). Registered with the play area, in its order: the end
// flags and SaveCurrentGame, the campaign rows, then the rest.
#pragma once

class CCommandInterpreter;

void RegisterEndCommands(CCommandInterpreter* ip);
void RegisterCampaignCommands(CCommandInterpreter* ip);
void RegisterMissionCommands(CCommandInterpreter* ip);
