// The commands of missions, campaigns and saved games: the objectives of a
// mission's scripts (m_SetConditions, m_Condition, m_ListConditions), the
// mission's end flags (WinGame, LooseGame), the campaign's start
// (SetActiveCampaign, StartCampaignMission, StartCampaignGame), the save of
// the running game (SaveCurrentGame) and the saved game a start continues
// (LoadSavedGame). Registered with the play area.
#pragma once

class CCommandInterpreter;

void RegisterMissionCommands(CCommandInterpreter* ip);
