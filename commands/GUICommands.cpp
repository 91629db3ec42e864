#include "commands/GUICommands.h"

#include "app/Game.h"
#include "app/GameServices.h"
#include "app/Progress.h"
#include "commands/CommandContext.h"
#include "commands/ScriptOrderCommands.h"
#include "console/CommandInterpreter.h"
#include "console/CommandTable.h"
#include "console/ConsoleCommand.h"
#include "e3d/Screen.h"
#include "e3d/Video.h"
#include "platform/sys/Path.h"
#include "world/GameScene.h"
#include "world/World.h"

namespace {
CGame* Game(CConsoleCommand* record) {
    return GameOf(record);
}

void StopVideo(CGame* game) {
    delete game->FullScreenVideo();
    game->SetFullScreenVideo(nullptr);
}

// The movie plays full screen over everything until it ends; the frames show
// it and then run the end-of-video binding.
void Cmd_AnimPlay(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CGame* game = file ? nullptr : Game(record);
    if (!game) return;
    StopVideo(game);
    CE3DScreen* screen = Game_Screen(game);
    if (!args || args->count < 1 || !screen) return;
    CStrBuf name(args->Text(0));
    CE3DVideo* video = new CE3DVideo(screen);
    video->OpenFile(game->GetPath("Movies", name.GetText()), false, true);
    video->m_loop = 0;
    video->Play();
    game->SetFullScreenVideo(video);
}

void Cmd_AnimStop(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    if (CGame* game = file ? nullptr : Game(record)) StopVideo(game);
}

void Cmd_AnimPause(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    CGame* game = file ? nullptr : Game(record);
    if (game && game->FullScreenVideo()) game->FullScreenVideo()->Pause();
}

void Cmd_AnimResume(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    CGame* game = file ? nullptr : Game(record);
    if (game && game->FullScreenVideo()) game->FullScreenVideo()->Resume();
}
// Every loaded font into the compiled-fonts file of the character set.
void Cmd_SaveFonts(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    CGame* game = file ? nullptr : Game(record);
    CE3DScreen* screen = game ? Game_Screen(game) : nullptr;
    if (!screen) return;
    CStrBuf folder, path;
    folder.Format("%s\\%d", game->GetPath("CompiledFonts", ""), (int)game->Variables().charSet);
    Sys_CreateFolder(game->GetPath("CompiledFonts", ""));
    Sys_CreateFolder(folder.GetText());
    path.Format("%s\\Fonts.cof", folder.GetText());
    screen->SaveCompiledFonts(path.GetText());
}

void Cmd_ProgressHide(CConsoleCommand*, SCommandArgs*, CVFSFile* file) {
    if (file) return;
    while (g_ProgressTop) Progress_Pop();
}
}  // namespace

void RegisterGUICommands(CCommandInterpreter* ip) {
    // The world's interface options (Interface.cfg): the control type and the
    // majority selection are the world's own.
    CGame* game = GameOf(ip);
    if (CWorld* world = game ? game->World() : nullptr) world->Scene().RegisterInterfaceOptions(ip);
    const SCommandRow rows[] = {
        SCommandRow::Function("G_SaveFonts", Cmd_SaveFonts,
                              "Saves a compiled font file from all loaded fonts", "G_SaveFonts();"),
        SCommandRow::Function("Anim_Play", Cmd_AnimPlay,
                              "Plays the supplied bink animation stretched to the whole Tessarak window",
                              "Anim_Play();"),
        SCommandRow::Function("Anim_Stop", Cmd_AnimStop, "Stops the currently playing bink animation",
                              "Anim_Stop();"),
        SCommandRow::Function("Anim_Pause", Cmd_AnimPause, "Pauses the current playing bink animation",
                              "Anim_Pause();"),
        SCommandRow::Function("Anim_Resume", Cmd_AnimResume, "Resumes the current playing bink animation",
                              "Anim_Resume();"),
        SCommandRow::Function("ProgressHide", Cmd_ProgressHide, "Hides progress window", "ProgressHide();"),
    };
    CommandTable_Register(ip, rows);
    // The map scripts' orders stand among the GUI area's rows.
    RegisterScriptOrderCommands(ip);
}
