#include "app/GameServices.h"

#include <langinfo.h>
#include <locale.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/Game.h"
#include "app/GameClock.h"
#include "app/GameConsole.h"
#include "app/GameScreen.h"
#include "app/GameView.h"
#include "app/InputManager.h"
#include "app/KeyNames.h"
#include "app/MainApp.h"
#include "app/Progress.h"
#include "app/SoundEngine.h"
#include "console/CommandHost.h"
#include "console/CommandInterpreter.h"
#include "console/CommandTable.h"
#include "core/SysUtil.h"
#include "core/VFSTable.h"
#include "e3d/Engine.h"
#include "e3d/Font.h"
#include "e3d/Screen.h"
#include "e3d/ScreenFonts.h"
#include "e3d/Surface.h"
#include "e3d/Timer.h"
#include "e3d/Video.h"
#include "netgame/NetGame.h"
#include "platform/sound/Sound.h"
#include "platform/sys/Clock.h"
#include "platform/sys/FloatMode.h"
#include "platform/sys/MessageBox.h"
#include "platform/sys/Path.h"
#include "platform/sys/Registry.h"
#include "ui/Interface.h"

// ---------------------------------------------------------------------------
// Platform

int Game_SystemCodePage() {
    // The game's texts are in a Windows code page; a Linux locale names its
    // character set instead. A few map onto the code pages the game knows,
    // everything else (UTF-8 among them) is Western.
    const char* env = std::getenv("TESSARAK_CODEPAGE");
    if (env && *env) return std::atoi(env);
    setlocale(LC_CTYPE, "");
    const char* set = nl_langinfo(CODESET);
    setlocale(LC_CTYPE, "C");
    static const struct {
        const char* name;
        int codePage;
    } kSets[] = {{"CP1250", 1250},     {"ISO-8859-2", 1250}, {"CP1251", 1251},      {"KOI8-R", 1251},
                 {"ISO-8859-5", 1251}, {"CP1253", 1253},     {"ISO-8859-7", 1253},  {"CP1254", 1254},
                 {"ISO-8859-9", 1254}, {"CP1255", 1255},     {"ISO-8859-8", 1255},  {"CP1256", 1256},
                 {"ISO-8859-6", 1256}, {"CP1257", 1257},     {"ISO-8859-13", 1257}, {"TIS-620", 874}};
    for (const auto& s : kSets)
        if (set && strcasecmp(set, s.name) == 0) return s.codePage;
    return 1252;
}

std::string Game_CurrentDirectory() {
    char buf[4096];
    if (!getcwd(buf, sizeof buf)) return std::string();
    return Sys_ToWindowsPath(buf);
}

void Game_SetFloatMode() {
    Sys_SetFloatMode();
}

uint64_t Game_CounterNow() {
    return (uint64_t)Sys_QueryPerformanceCounter();
}

[[noreturn]] void Game_NotInstalled(const char* text) {
    std::fflush(stdout);
    Game_MessageBox(text, "Tessarak", false);
    // A broken installation is a failure, whatever the box said.
    std::exit(1);
}

// ---------------------------------------------------------------------------
// File table

void Game_MountRoot(const char* root, const char* language) {
    // What interrupted writes of settings, saved games and compiled fonts
    // left behind goes first, so the file table never lists it.
    CStrBuf folder;
    folder.Format("%s\\Scripts\\Config", root);
    Sys_RemoveStaleTemporaries(folder.GetText());
    folder.Format("%s\\Save", root);
    Sys_RemoveStaleTemporaries(folder.GetText());
    folder.Format("%s\\CompiledFonts", root);
    Sys_RemoveStaleTemporaries(folder.GetText(), 1);
    g_VFS.SetRoot(root);
    g_VFS.AddFolderTree(root);
    CStrBuf pack;
    pack.Format("%s\\Languages\\%s.box", root, language);
    if (Sys_PathExists(pack.GetText())) g_VFS.MountPack(pack.GetText());
    g_VFS.MountPacksInFolder(root);
}

bool Game_MountPack(const char* path) {
    return g_VFS.MountPack(path);
}

bool Game_FileExists(const char* path) {
    return g_VFS.Find(path) != nullptr;
}

// ---------------------------------------------------------------------------
// Console

static CConsole* Console() {
    CGame* game = g_pGame;
    return game && game->Interface() ? &game->Interface()->m_console : nullptr;
}

// Before the interface exists, lines go to standard output alone.
static void PrintLine(const char* text, int r, int g, int b, bool echo) {
    CConsole* console = Console();
    if (console)
        console->Print(text, false, r, g, b, echo);
    else if (CGame::ConsoleToStdout())
        std::printf("%s\n", text);
}

void Game_Print(const char* text) {
    PrintLine(text, 255, 255, 255, false);
}

static void PrintV(int r, int g, int b, bool echo, const char* fmt, va_list ap) {
    CStrBuf text;
    text.FormatV(fmt, ap);
    PrintLine(text.GetText(), r, g, b, echo);
}

void Game_Printf(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    PrintV(255, 255, 255, false, fmt, ap);
    va_end(ap);
}

void Game_PrintColor(int r, int g, int b, bool echo, const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    PrintV(r, g, b, echo, fmt, ap);
    va_end(ap);
}

void Game_PrintAndRender(const char* text) {
    CConsole* console = Console();
    if (console)
        console->PrintAndRender(text, false, true);
    else if (CGame::ConsoleToStdout())
        std::printf("%s\n", text);
}

void Game_DrawSurfaceText(CE3DSurface* surface, const char* text, int x, int y, int r, int g, int b) {
    if (!surface || !text) return;
    if (x < 0) x += surface->m_width;
    surface->DrawGlyphs(text, x, y, (uint8_t)r, (uint8_t)g, (uint8_t)b, true, false, 0, false);
}

bool Game_ConsoleVisible(CGame* game) {
    return game->Interface() && game->Interface()->m_console.IsVisible();
}

void Game_ShowConsole(CGame* game) {
    if (game->Interface()) game->Interface()->m_console.Show();
}

void Game_HideConsole(CGame* game) {
    if (game->Interface()) game->Interface()->m_console.Hide();
}

void Game_DrawConsole(CGame* game) {
    if (game->Interface()) game->Interface()->DrawConsole(0);
}

// ---------------------------------------------------------------------------
// The command interpreter's view of the game

namespace {
class CGameCommandHost : public ICommandHost {
public:
    explicit CGameCommandHost(CGame* game) : m_game(game) {}
    uint32_t GetGameStateBits() override {
        SCommandStateInputs in;
        CNetGame* net = m_game->NetGame();
        in.hasSession = net != nullptr;
        if (net) {
            in.hosting = net->m_hosting != 0;
            in.clientConnected = net->m_clientConnected != 0;
            // The editor's state: an editor's server, or a game that runs on
            // this machine alone (no other machine shares its lockstep).
            in.editorServer = net->m_serverInfo.m_editor != 0 || net->AloneOnThisMachine();
            in.gameReset = net->m_gameReset != 0;
        }
        in.gameState = m_game->GameState();
        in.guiWord = m_game->GuiWord();
        in.gameLoading = m_game->GameLoading() != 0;
        return CommandState_Bits(in);
    }
    CConsole* GetConsole() override {
        return m_game->Interface() ? &m_game->Interface()->m_console : nullptr;
    }
    const char* GetPath(const char* subFolder, const char* name) override {
        return m_game->GetPath(subFolder, name);
    }
    CGame* m_game;
};
}  // namespace

static ICommandHost* Game_NewCommandHost(CGame* game) {
    return new CGameCommandHost(game);
}

// ---------------------------------------------------------------------------
// Input manager and command interpreter

CCommandInterpreter* Game_Interpreter(CGame* game) {
    return game->InputManager() ? game->InputManager()->Interpreter() : nullptr;
}

static CommandAreaFn s_earlyCommands = nullptr;

void Game_SetEarlyCommands(CommandAreaFn early) {
    s_earlyCommands = early;
}

void Game_CreateInput(CGame* game) {
    game->SetCommandHost(Game_NewCommandHost(game));
    game->SetInputManager(new CInputManager(game, game->CommandHost()));
    if (!game->InputManager() || !game->InputManager()->Interpreter()) {
        std::fprintf(stderr, "Could not create the input manager.\n");
        std::exit(1);
    }
    if (s_earlyCommands) s_earlyCommands(game->InputManager()->Interpreter());
}

void Game_DeleteInput(CGame* game) {
    delete game->InputManager();
    game->SetInputManager(nullptr);
    delete game->CommandHost();
    game->SetCommandHost(nullptr);
}

void Game_StartInput(CGame* game) {
    if (game->InputManager()) game->InputManager()->Startup();
}

void Game_ProcessInput(CGame* game) {
    if (game->InputManager()) game->InputManager()->ProcessInput();
}

void Game_UpdateCommandContext(CGame* game) {
    if (game->InputManager()) game->InputManager()->UpdateCommandContext();
}

void Game_RegisterAllCommands(CGame* game) {
    if (CCommandInterpreter* ip = Game_Interpreter(game)) ip->RegisterAllCommands();
}

void Game_EnableConfigSave(CGame* game) {
    if (CCommandInterpreter* ip = Game_Interpreter(game)) ip->SetConfigSaveEnabled(true);
}

bool Game_RunScript(const char* name) {
    CGame* game = g_pGame;
    if (!game || !game->InputManager()) return false;
    game->InputManager()->RunScriptFile(name, false, false);
    return true;
}

void Game_SaveConfigFiles() {
    CGame* game = g_pGame;
    if (CCommandInterpreter* ip = game ? Game_Interpreter(game) : nullptr) ip->SaveConfigFiles();
}

bool Game_CommandLineCursor(CGame* game) {
    if (!game->InputManager() || !game->Interface()) return false;
    return game->InputManager()->Edit().Attached() == &game->Interface()->m_console.CommandLine();
}

const CEditField* Game_CommandLineEdit(CGame* game) {
    return Game_CommandLineCursor(game) ? &game->InputManager()->Edit() : nullptr;
}

int Game_CommandLineCursorX(CGame* game, CE3DFont* font, const char* text) {
    if (!game->InputManager() || !font) return 0;
    int cursor = game->InputManager()->Edit().Cursor();
    int32_t w = 0, h = 0;
    std::string before(text, (size_t)std::max(0, std::min<int>(cursor, (int)std::strlen(text))));
    font->MeasureText(before.c_str(), &w, &h);
    return w;
}

// ---------------------------------------------------------------------------
// Installation values, message boxes and focus

static const char kSettingsKey[] = "Software\\Zq\\Tessarak Dodo\\Settings";

bool Game_RegistryRead(const char* value, CStrBuf& out) {
    uint32_t type = 0;
    std::vector<uint8_t> data;
    if (!Sys_RegQueryValue(HKEY_LOCAL_MACHINE, kSettingsKey, value, &type, &data)) return false;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
    std::string text(data.begin(), data.end());
    text = text.c_str();  // up to the terminator
    out.Assign(text.c_str());
    return true;
}

void Game_RegistryWrite(const char* value, const char* text) {
    Sys_RegSetValue(HKEY_LOCAL_MACHINE, kSettingsKey, value, REG_SZ, text, (uint32_t)std::strlen(text) + 1);
}

void Game_MessageBox(const char* text, const char* caption, bool stopIcon) {
    std::fflush(stdout);
    uint32_t type = MB_OK;
    if (stopIcon) type |= MB_ICONERROR;
    Sys_MessageBox(text, caption, type);
}

bool Game_WindowHasFocus() {
    return g_pMainWindow && g_pMainWindow->HasFocus();
}

// ---------------------------------------------------------------------------
// Display, view and sound

static CE3DScreen* Screen(CGame* game) {
    if (!game) return nullptr;
    if (game->GameScreen()) return game->GameScreen();
    return game->GameView() ? game->GameView()->m_screen : nullptr;
}

CE3DScreen* Game_Screen(CGame* game) {
    return Screen(game);
}

static void HookProgressSetText(const char* title, const char* text, int steps) {
    Progress_SetText(title, text, steps);
}

static const char* HookSystemText(int index) {
    CGame* game = g_pGame;
    return game && game->Interface() ? game->Interface()->GetSystemText(index) : "";
}

static void HookFatalExit() {
    Game_FatalExit(1);
}

// A font the screen had to build at run time is worth a line on the console
// (and on the game screen when the engine asks for echo).
static void HookFontNotice(const char* text, int r, int g, int b, bool echo) {
    Game_PrintColor(r, g, b, echo, "%s", text);
}

void Game_ConnectEngineHooks() {
    // The engine reports its loading progress, its fatal failures and its
    // notices through the game.
    SE3DGameHooks hooks;
    hooks.progressPush = &Progress_Push;
    hooks.progressStep = &Progress_Step;
    hooks.progressSetText = &HookProgressSetText;
    hooks.progressPop = &Progress_Pop;
    hooks.systemText = &HookSystemText;
    hooks.fatalExit = &HookFatalExit;
    E3D_SetGameHooks(hooks);
    E3DFont_SetNoticeHook(&HookFontNotice);
}

void Game_CreateView(CGame* game) {
    Game_ConnectEngineHooks();
    game->SetGameView(new CGameView(game, 0));
    if (!game->GameView() || !game->GameView()->m_engine) {
        game->ErrorBox("The 3D engine could not be created.");
        Game_FatalExit(1);
    }
}

void Game_DeleteView(CGame* game) {
    delete game->GameView();
    game->SetGameView(nullptr);
    game->SetGameScreen(nullptr);
}

bool Game_SetupDisplay(CGame* game) {
    return game->GameView() && game->GameView()->SetupDisplay() && Screen(game);
}

void Game_SetCacheFolder(CGame* game, const char* folder) {
    if (!folder) folder = "";
    CreateDirectoryPath(folder);
    if (CE3DScreen* screen = Screen(game)) screen->m_cacheFolder.Assign(folder);
}

static int VideoSoundTrack() {
    return g_pGame ? g_pGame->Variables().binkSoundTrack : 0;
}

static int VideoEffectsVolume() {
    return g_pGame && g_pGame->Sound() ? g_pGame->Sound()->m_effectVolume : 100;
}

void Game_CreateSound(CGame* game) {
    game->SetSound(new SoundEngine(game));
    // Videos play their sound through the engine's device, at its volume.
    SE3DVideoSoundHooks hooks;
    hooks.soundTrack = &VideoSoundTrack;
    hooks.effectsVolume = &VideoEffectsVolume;
    E3DVideo_SetSoundHooks(hooks);
}

void Game_DeleteSound(CGame* game) {
    delete game->Sound();
    game->SetSound(nullptr);
}

void Game_InitSound(CGame* game) {
    if (game->Sound()) SoundEngine_Initialize(game->Sound(), &CGame::LogToConsole, game);
}

void Game_UpdateSoundStream(CGame* game) {
    if (game->Sound()) SoundEngine_UpdateStream(game->Sound());
}

void Game_SoundFullVolume(CGame* game) {
    SoundEngine* e = game->Sound();
    if (e && e->m_device) e->m_device->SetMasterVolume(1.0f);
}

void Game_UpdateSound(CGame* game) {
    if (game->Sound()) SoundEngine_Update(game->Sound());
}

CE3DSurface* Game_BackSurface(CGame* game) {
    CE3DScreen* screen = Screen(game);
    return screen && screen->m_backBuffer && screen->m_backBuffer->Platform() ? screen->m_backBuffer
                                                                              : nullptr;
}

void Game_ClearScreen(CGame* game) {
    if (CE3DSurface* back = Game_BackSurface(game)) {
        back->ResetClip();
        back->Fill(0);
    }
}

void Game_ClearAndPresent(CGame* game) {
    Game_ClearScreen(game);
    Game_Present(game);
}

void Game_Present(CGame* game) {
    if (CE3DScreen* screen = Screen(game)) screen->Present();
}

bool Game_VideoSettingsDiffer(CGame* game) {
    const SVideoSettings& slot = game->Video(0);
    CGameView* view = game->GameView();
    CE3DScreen* screen = Screen(game);
    if (!view || !screen) return true;
    if ((slot.windowed != 0) != (view->m_windowed != 0)) return true;
    if (!slot.windowed) {
        CE3DSurface* back = screen->m_backBuffer;
        if (!back || slot.bitDepth != (int32_t)(back->m_bytesPerPixel * 8)) return true;
        if (slot.refreshRate != 0 && slot.refreshRate != (int32_t)view->m_displayMode.dwRefreshRate)
            return true;
    }
    // The driver's name byte for byte; no driver chosen counts as a change.
    if (!view->m_driver || std::strcmp(slot.driverName.GetText(), view->m_driver->driverName) != 0)
        return true;
    if ((slot.hardware != 0) != (view->m_hardware != 0)) return true;
    if (slot.textureDetail != screen->m_textureDetail || slot.textureQuality != screen->m_textureQuality)
        return true;
    if (slot.width != screen->m_width || slot.height != screen->m_height) return true;
    return false;
}

void Game_ApplyPendingModeChange(CGame* game) {
    if (game->GameScreen()) game->GameScreen()->ApplyPendingModeChange();
}

void Game_ClearViewModeChanged(CGame* game) {
    if (game->GameView()) game->GameView()->m_modeChangeBlocked = 0;
}

void Game_UpdateEngineTimer(CGame* game, uint64_t nextTick) {
    CGameView* view = game->GameView();
    if (view && view->m_engine && view->m_engine->m_timer) {
        int64_t t = (int64_t)nextTick;
        view->m_engine->m_timer->Update(&t);
    }
}

bool Game_DrawFullScreenVideo(CGame* game) {
    CE3DVideo* video = game->FullScreenVideo();
    if (!video) return false;
    // A video whose end binding starts another is followed in the same frame.
    for (int chained = 0; video && chained < 8; ++chained) {
        video->DecodeFrame();
        CE3DSurface* back = Game_BackSurface(game);
        if (video->m_playing && video->m_target) {
            if (game->Interface()) game->Interface()->m_videoOverlay = 0;
            if (back && video->Width() && video->Height()) {
                // Scaled to the screen's width, or to its height when that is
                // too tall, and centred.
                int sw = back->m_width, sh = back->m_height;
                int w = sw, h = (int)std::lround((double)sw / video->Width() * video->Height());
                if (h > sh) {
                    h = sh;
                    w = (int)std::lround((double)sh / video->Height() * video->Width());
                }
                back->ResetClip();
                video->m_target->BltStretchTo((sw - w) / 2, (sh - h) / 2, w, h, back);
            }
            return true;
        }
        delete video;
        game->SetFullScreenVideo(nullptr);
        CStrBuf text;
        if (game->InputManager())
            text.Assign(game->InputManager()->Keys().Binding(0, 0, kKeyAnimEnd).c_str());
        if (CCommandInterpreter* ip = Game_Interpreter(game)) ip->Execute(false, text.GetText());
        video = game->FullScreenVideo();
    }
    return true;
}

void Game_DrawOverlays(CGame* game) {
    CE3DSurface* surface = Game_BackSurface(game);
    CInterface* ui = game->Interface();
    if (!surface || !ui) return;
    if (game->Variables().perfDrawFPS && surface->Lock()) {
        surface->SetFont(ui->m_font);
        if (game->NetGame()) game->NetGame()->PrintStats(surface);
        if (game->Clock()) game->Clock()->DrawStats(surface, 10);
        surface->Unlock();
    }
    if (game->Variables().inputDebug && game->InputManager() && surface->Lock()) {
        game->InputManager()->DrawKeyStates(surface);
        surface->Unlock();
    }
    // A server that allows cheats says so, blinking, in the top right corner.
    if (ui->m_blink && game->NetGame() && game->NetGame()->m_joinedInfo.m_cheats && surface->Lock()) {
        surface->SetFont(ui->m_largeFont);
        uint32_t flags = surface->m_textFlags;
        surface->m_textFlags = kE3DTextRight;
        Game_DrawSurfaceText(surface, ui->GetSystemText(62), surface->m_width - 10, 0, 255, 0, 0);
        surface->m_textFlags = flags;
        surface->SetFont(ui->m_font);
        surface->Unlock();
    }
}

void Game_ResetInterfaceClip(CGame* game) {
    if (CE3DSurface* s = Game_BackSurface(game)) s->ResetClip();
}

bool Game_ScreenSwitchingModes(CGame*) {
    return g_E3DScreenRestyling;
}

bool Game_ScreenWindowed(CGame* game) {
    CE3DScreen* screen = Screen(game);
    return screen && screen->m_windowed && screen->m_primary;
}

void Game_ResizeView(CGame* game, int width, int height) {
    if (game->GameView() && game->GameScreen()) game->GameView()->Resize(width, height, 0);
}

void Game_FocusLost(CGame* game) {
    // Full screen gives the desktop its mode back when the window leaves; a
    // window on the desktop has nothing to restore.
    if (game && game->GameView()) game->GameView()->FocusLost();
}

void Game_PrepareFont(CGame* game, const char* face, int width, int height, int weight, int attributes,
                      int outline) {
    CE3DFont::s_codePageIndex = game->Variables().charSet;
    if (CE3DScreen* screen = Screen(game))
        screen->PrepareFont(face, width, height, weight, attributes, (uint8_t)outline);
}

CE3DFont* Game_GetFont(CGame* game, const char* face, int width, int height, int weight, int attributes,
                       int outline) {
    // Fonts are built in the game's character set; Vid_Charset may have
    // changed it since the game was made.
    CE3DFont::s_codePageIndex = game->Variables().charSet;
    CE3DScreen* screen = Screen(game);
    return screen ? screen->GetFont(face, width, height, weight, attributes, (uint8_t)outline) : nullptr;
}
