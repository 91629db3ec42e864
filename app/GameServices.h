// The game object's calls into the neighbouring subsystems: the platform
// (code page, current folder, installation values, message boxes, float
// mode), the file table, the display and its screen, the input manager with
// its command interpreter, and the sound engine. Start-up, shutdown, the
// frames and the main window reach them through these few calls.
#pragma once

#include <cstdint>
#include <string>

#include "console/CommandTable.h"
#include "core/StrBuf.h"

class CGame;
class CCommandInterpreter;
class CE3DSurface;
class CE3DFont;
class CE3DScreen;
class CEditField;

// Platform.
int Game_SystemCodePage();
std::string Game_CurrentDirectory();  // Windows form, "Z:\...\System"
bool Game_RegistryRead(const char* value, CStrBuf& out);
void Game_RegistryWrite(const char* value, const char* text);
void Game_MessageBox(const char* text, const char* caption, bool stopIcon);
// The broken-installation exit: the message box, then a non-zero exit.
[[noreturn]] void Game_NotInstalled(const char* text);
void Game_SetFloatMode();
bool Game_WindowHasFocus();

// File table.
void Game_MountRoot(const char* root, const char* language);
bool Game_MountPack(const char* path);
bool Game_FileExists(const char* path);

// Subsystems owned by the game whose classes live elsewhere.
// The console commands above the game object (commands/) are handed to it by
// the program: early runs on the interpreter as soon as it exists (the
// script-flow commands that the first scripts use); the other areas install
// themselves with CommandArea_Set before the game runs RegisterAllCommands.
void Game_SetEarlyCommands(CommandAreaFn early);
void Game_CreateInput(CGame* game);
void Game_DeleteInput(CGame* game);
void Game_StartInput(CGame* game);
void Game_ProcessInput(CGame* game);
void Game_UpdateCommandContext(CGame* game);
void Game_RegisterAllCommands(CGame* game);
// From now on the settings may be written back.
void Game_EnableConfigSave(CGame* game);
// Routes the engine's progress, fatal failures and font notices to the game
// (Game_CreateView does it before the engine starts).
void Game_ConnectEngineHooks();
void Game_CreateView(CGame* game);
void Game_DeleteView(CGame* game);
bool Game_SetupDisplay(CGame* game);
void Game_SetCacheFolder(CGame* game, const char* folder);
void Game_CreateSound(CGame* game);
void Game_DeleteSound(CGame* game);
void Game_InitSound(CGame* game);
void Game_UpdateSoundStream(CGame* game);
// The interface voice queue (every render frame).
void Game_UpdateSound(CGame* game);
// The mixer's master volume at its full value (every render frame).
void Game_SoundFullVolume(CGame* game);

// Display and drawing.
void Game_ClearAndPresent(CGame* game);
void Game_ClearScreen(CGame* game);
void Game_Present(CGame* game);
bool Game_VideoSettingsDiffer(CGame* game);
void Game_ApplyPendingModeChange(CGame* game);
void Game_ClearViewModeChanged(CGame* game);
void Game_UpdateEngineTimer(CGame* game, uint64_t nextTick);
bool Game_DrawFullScreenVideo(CGame* game);
void Game_DrawOverlays(CGame* game);
void Game_ResetInterfaceClip(CGame* game);
bool Game_ScreenSwitchingModes(CGame* game);
bool Game_ScreenWindowed(CGame* game);
void Game_ResizeView(CGame* game, int width, int height);
void Game_FocusLost(CGame* game);

// Console.
CCommandInterpreter* Game_Interpreter(CGame* game);
uint64_t Game_CounterNow();
CE3DSurface* Game_BackSurface(CGame* game);
CE3DFont* Game_GetFont(CGame* game, const char* face, int width, int height, int weight, int attributes,
                       int outline);
// The screen holds that font among the fonts the game comes with (built
// quietly through the installed faces when it has none).
void Game_PrepareFont(CGame* game, const char* face, int width, int height, int weight, int attributes,
                      int outline);
bool Game_CommandLineCursor(CGame* game);
// The edit field while it edits the console's command line, else null.
const CEditField* Game_CommandLineEdit(CGame* game);
// The game's screen (null before the display is set up).
CE3DScreen* Game_Screen(CGame* game);
int Game_CommandLineCursorX(CGame* game, CE3DFont* font, const char* text);
void Game_ShowConsole(CGame* game);
void Game_HideConsole(CGame* game);
bool Game_ConsoleVisible(CGame* game);
void Game_DrawConsole(CGame* game);
// Standard input read as console commands from start-up to shutdown (lines
// run at the start of the next frame).
void Game_StartTerminal();
void Game_StopTerminal();
// Interface frames run since the start (the frame statistics read it).
int32_t Game_InterfaceFrames();
