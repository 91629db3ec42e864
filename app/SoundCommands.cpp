// The sound engine's console commands and settings (the sound area): the
// engine's own, registered by it with itself as every row's context.
#include "app/Game.h"
#include "app/SoundEngine.h"
#include "console/CommandInterpreter.h"
#include "console/CommandTable.h"
#include "console/ConsoleCommand.h"

namespace {
SoundEngine* Sound(CConsoleCommand* record, CVFSFile* file) {
    return file ? nullptr : static_cast<SoundEngine*>(record->GetContext());
}

void TooFew(CConsoleCommand* record) {
    record->ReportError("To few arguments");
}

void Cmd_MusicVolume(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    SoundEngine* e = Sound(record, file);
    if (!e) return;
    if (!args || args->count < 1) return TooFew(record);
    int32_t volume = 0;
    if (!args->arg[0].GetInt(volume)) return;
    // The value is musicopt_Volume's, which holds 0 to 100.
    e->m_musicVolume = volume < 0 ? 0 : volume > 100 ? 100 : volume;
    SoundEngine_SetStreamVolume(e);
}

void Cmd_MusicActive(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    SoundEngine* e = Sound(record, file);
    if (e && !e->m_musicOn) SoundEngine_CloseStream(e, false);
}

void Cmd_ReloadAll(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    if (SoundEngine* e = Sound(record, file)) SoundBank::StopAll(e, true);
}

void Cmd_Resample(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    if (SoundEngine* e = Sound(record, file)) SoundBank::StopAll(e, false);
}

void Cmd_Mp3PlayList(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    if (SoundEngine* e = Sound(record, file)) e->m_playlist->Load(e->m_playlistName.GetText());
}

void Cmd_NextMp3(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    if (SoundEngine* e = Sound(record, file)) SoundEngine_EndStream(e);
}

void Cmd_LoadPlayList(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    SoundEngine* e = Sound(record, file);
    if (!e) return;
    if (!args || args->count < 1) return TooFew(record);
    e->m_playlist->Load(args->Text(0));
}

void Cmd_ClearPlayList(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    if (SoundEngine* e = Sound(record, file)) e->m_playlist->Clear();
}

void Cmd_PlayLooping(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    SoundEngine* e = Sound(record, file);
    int32_t slot = 0;
    if (!e || !args || args->count < 2 || !args->arg[1].GetInt(slot)) return;
    CStrBuf name(args->Text(0));
    SoundEngine_LoadSample(e, e->m_owner->GetPath("Units\\Sounds", name.GetText()), slot);
}

void Cmd_StopLooping(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    SoundEngine* e = Sound(record, file);
    int32_t slot = 0;
    if (e && args && args->count >= 1 && args->arg[0].GetInt(slot)) SoundEngine_StopLooping(e, slot);
}

void Cmd_KillLooping(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    SoundEngine* e = Sound(record, file);
    int32_t slot = 0;
    if (e && args && args->count >= 1 && args->arg[0].GetInt(slot)) SoundEngine_StopChannel(e, slot);
}

void Cmd_ShowAttributes(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    SoundEngine* e = Sound(record, file);
    if (!e) return;
    CCommandInterpreter* ip = record->GetInterpreter();
    CStrBuf line;
    line.Format("S_MixRate : %d", e->m_mixRate);
    ip->Print(line.GetText());
    line.Format("S_BitsPerSample : %d", e->m_bits);
    ip->Print(line.GetText());
    line.Format("S_OutputChannels : %d", e->m_outChannels);
    ip->Print(line.GetText());
    line.Format("S_MixingChannels : %d", e->m_mixChannels);
    ip->Print(line.GetText());
}

void PrintLine(const char* text, void* context) {
    if (CCommandInterpreter* ip = static_cast<CCommandInterpreter*>(context)) ip->Print(text);
}

void Cmd_Restart(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    if (SoundEngine* e = Sound(record, file)) SoundEngine_Initialize(e, &PrintLine, record->GetInterpreter());
}

void Cmd_PlayMp3(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    SoundEngine* e = Sound(record, file);
    if (!e) return;
    bool hasName = args && args->count >= 1;
    if (e->m_playlist->m_active) {
        SoundEngine_Stream(e, nullptr, 0);
    } else if (!hasName) {
        CStrBuf current(e->m_musicName);
        SoundEngine_Stream(e, current.GetText(), 0);
    } else {
        CStrBuf name(args->Text(0));
        SoundEngine_Stream(e, e->m_owner->GetPath("Music", name.GetText()), 0);
    }
}

void Cmd_StopMp3(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    if (SoundEngine* e = Sound(record, file)) SoundEngine_CloseStream(e, false);
}
}  // namespace

void SoundEngine::RegisterCommands(CCommandInterpreter* ip) {
    const SCommandRow rows[] = {
        SCommandRow::Bool("se_EffectSoundsActive", &m_effectsOn, "Sets the sound effects on and off.",
                          "se_EffectSoundsActive(bool On);")
            .Config("Sound.cfg"),
        SCommandRow::Bool("se_InterfaceSoundsActive", &m_interfaceOn, "Sets the interface voice on and off.",
                          "se_InterfaceSoundsActive(bool On);")
            .Config("Sound.cfg"),
        SCommandRow::Int("se_EffectVolume", &m_effectVolume, 0, 100, "Sets the effect volume",
                         "se_EffectVolume(float Percent);")
            .Config("Sound.cfg"),
        SCommandRow::Int("InterfaceVolume", &m_interfaceVolume, 0, 100, "Sets the interface volume",
                         "InterfaceVolume(float Percent);")
            .Config("Sound.cfg"),
        SCommandRow::Function("se_MusicVolume", Cmd_MusicVolume, "Sets the music volume.",
                              "se_MusicVolume();"),
        SCommandRow::Function("se_MusicActive", Cmd_MusicActive, "Turns music on and off.",
                              "se_MusicActive(bool Active);"),
        SCommandRow::Function("se_Quality", Cmd_ReloadAll, "Sets the quality of the sound.", "se_Quality();"),
        SCommandRow::Function("se_Mp3PlayList", Cmd_Mp3PlayList, "Loads a mp3 list.",
                              "se_Mp3PlayList(str M3UFile);"),
        SCommandRow::Function("se_NextMp3", Cmd_NextMp3, "Plays the next mp3 in the list.", "se_NextMp3();"),
        SCommandRow::Function("se_LoadPlayList", Cmd_LoadPlayList, "Loads a play list.",
                              "se_LoadPlayList();"),
        SCommandRow::Function("se_ClearPlayList", Cmd_ClearPlayList, "Clears the play list.",
                              "se_ClearPlayList();"),
        SCommandRow::Function("se_ReloadSounds", Cmd_ReloadAll, "Reloads all sounds.", "se_ReloadSounds();"),
        SCommandRow::Function("se_ResampleSounds", Cmd_Resample,
                              "Reloads all sounds if needed and resamples it to the right quality.",
                              "se_ResampleSounds();"),
        SCommandRow::Function("se_PlayLooping", Cmd_PlayLooping, "Shows the current sound settings",
                              "se_PlayLooping(str Filename, int Slot);"),
        SCommandRow::Function("se_StopLooping", Cmd_StopLooping, "Stops a looping sound.",
                              "se_StopLooping(int Slot);"),
        SCommandRow::Function("se_KillLooping", Cmd_KillLooping, "Killss a looping sound.",
                              "se_KillLooping(int Slot);"),
        SCommandRow::Function("se_ShowAttributes", Cmd_ShowAttributes, "Shows the current sound settings",
                              "se_ShowAttributes();"),
        SCommandRow::Int("se_MixAhead", &m_mixAhead, 0, 128000,
                         "Sets the number of milliseconds to mixahead the sound",
                         "se_MixAhead(int Mixahaed);")
            .Config("Sound.cfg"),
        SCommandRow::Int("se_MixRate", &m_mixRate, 0, 128000, "Sets the wanted mixrate for the sound mixing",
                         "se_MixRate(int Mixrate);")
            .Config("Sound.cfg"),
        SCommandRow::Int("se_Bits", &m_bits, 0, 32, "Sets the number of bits per sample to mix the sound to",
                         "se_Bits(int NumberOfBits);")
            .Config("Sound.cfg"),
        SCommandRow::Int("se_OutChannels", &m_outChannels, 0, 8192,
                         "Sets the number of outputchannels (2 is stereo)",
                         "se_OutChannels(int NumChannels);")
            .Config("Sound.cfg"),
        SCommandRow::Int("se_Channels", &m_mixChannels, 0, 8192,
                         "Sets the number of simultaneous channels to mix.", "se_Channels(int NumChannels);")
            .Config("Sound.cfg"),
        SCommandRow::Bool("se_ReloadOnPlay", &m_reloadOnPlay, "Reloads the sound before it's played.",
                          "se_ReloadOnPlay(bool Enable);")
            .Config("Sound.cfg"),
        SCommandRow::Bool("se_UseWaveout", &m_useWaveOut,
                          "Sets the use of wav driver in favour of direct sound driver",
                          "se_UseWaveout(bool Enable);")
            .Config("Sound.cfg"),
        SCommandRow::Bool("se_NoSound", &m_noSound, "Turns off sound", "se_NoSound(bool Disable);")
            .Config("Sound.cfg"),
        SCommandRow::Bool("se_Debug", &m_debug, "Turns sound debugging on/off", "se_Debug(bool Enable);"),
        SCommandRow::Function("se_Restart", Cmd_Restart, "Restarts the sound system", "se_Restart();"),
        SCommandRow::Function("se_PlayMp3", Cmd_PlayMp3, "Plays the supplied mp3",
                              "se_PlayMp3(str FileName);"),
        SCommandRow::Function("StartMP3", Cmd_PlayMp3, "Plays the supplied mp3", "StartMP3(str FileName);"),
        SCommandRow::Function("StopMP3", Cmd_StopMp3, "Stops playing the playing mp3", "StopMP3();"),
        SCommandRow::Int("sounds_RemindTime", &m_remindTime, 1, 128000,
                         "Sets the number of seconds between warnings", "sounds_RemindTime(int Time);")
            .Config("GUI.cfg"),
        SCommandRow::Float("sounds_LowResourcesPercent", &m_lowResourcesPercent, 0.0f, 1.0f,
                           "Sets the warning level.", "sounds_LowResourcesPercent(float Percent);")
            .Config("GUI.cfg"),
        SCommandRow::Int("sndopt_Quality", &m_quality, 0, 5, "Sets the sound quality",
                         "sndopt_Quality(int Quality);")
            .Config("Sound.cfg"),
        SCommandRow::Bool("sndopt_EffectsActive", &m_effectsOn, "Sets if the sound effects should be active",
                          "sndopt_EffectsActive(bool Active);")
            .Config("Sound.cfg"),
        SCommandRow::Int("sndopt_EffectsVolume", &m_effectVolume, 0, 100, "Sets the sound effects volume",
                         "sndopt_EffectsVolume(int Volume);")
            .Config("Sound.cfg"),
        SCommandRow::Bool("sndopt_InterfaceSoundsActive", &m_interfaceOn,
                          "Sets if the interface sound effects should be activee",
                          "sndopt_InterfaceSoundsActive(bool Active);")
            .Config("Sound.cfg"),
        SCommandRow::Int("sndopt_InterfaceVolume", &m_interfaceVolume, 0, 100,
                         "Sets the sound effects volume", "sndopt_InterfaceVolume(int Volume);")
            .Config("Sound.cfg"),
        SCommandRow::Bool("musicopt_Active", &m_musicOn, "Sets if the music should be active",
                          "musicopt_Active(bool Active);")
            .Config("Music.cfg"),
        SCommandRow::Int("musicopt_Volume", &m_musicVolume, 0, 100, "Sets the music volume",
                         "musicopt_Volume(int Volume);")
            .Config("Music.cfg"),
    };
    for (const SCommandRow& row : rows) {
        SCommandRow own = row.Context(this);
        CommandTable_Register(ip, &own, 1);
    }
}
