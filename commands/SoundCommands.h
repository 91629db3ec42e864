// The sound area of the command set: the variables of Sound.cfg, Music.cfg and
// the sound rows of GUI.cfg, bound to the sound engine, and the commands that
// play, stop and reload sounds and music.
#pragma once

class CCommandInterpreter;

void RegisterSoundCommands(CCommandInterpreter* interpreter);
