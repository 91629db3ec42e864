#include "app/Game.h"

#include <strings.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ai/AIManager.h"
#include "app/GameClock.h"
#include "app/GameConsole.h"
#include "app/GameRoles.h"
#include "app/GameScreen.h"
#include "app/GameServices.h"
#include "app/GameView.h"
#include "app/MainApp.h"
#include "e3d/Camera.h"
#include "e3d/Font.h"
#include "netgame/MasterClient.h"
#include "netgame/NetGame.h"
#include "platform/sys/Path.h"
#include "platform/sys/Thread.h"
#include "platform/video/VideoWriter.h"
#include "ui/Interface.h"
#include "world/GameScene.h"
#include "world/Project.h"
#include "world/World.h"

CGame* g_pGame = nullptr;
volatile uint8_t g_StopFlag = 0;
volatile uint8_t g_ShuttingDown = 0;

static bool s_consoleToStdout = true;

void CGame::SetConsoleToStdout(bool on) {
    s_consoleToStdout = on;
}

bool CGame::ConsoleToStdout() {
    return s_consoleToStdout;
}

static const char kNotInstalled[] = "Tessarak has not been properly installed, please reinstall";

// Ends a start that found the installation incomplete, saying what is wrong:
// a game started from another folder than its System folder is told so;
// otherwise the message names what is missing or damaged.
[[noreturn]] static void InstallFault(const CStrBuf& what) {
    std::string cwd = Game_CurrentDirectory();
    size_t cut = cwd.rfind('\\');
    CStrBuf text;
    if (strcasecmp(cwd.c_str() + (cut == std::string::npos ? 0 : cut + 1), "System") != 0) {
        std::string exe = Sys_ToWindowsPath(Sys_GetExecutableFolder().c_str());
        size_t exeCut = exe.rfind('\\');
        bool exeInSystem =
            strcasecmp(exe.c_str() + (exeCut == std::string::npos ? 0 : exeCut + 1), "System") == 0;
        text.Format("Tessarak was started from %s; start it from its System folder%s%s", cwd.c_str(),
                    exeInSystem ? ", " : "", exeInSystem ? exe.c_str() : "");
    } else {
        text.Format("%s: %s", kNotInstalled, what.GetText());
    }
    Game_NotInstalled(text.GetText());
}

// The pack the game looked for first, or the one of the setup folder looked
// for after it: the first that is there but did not mount is damaged;
// otherwise both are missing.
static CStrBuf PackFault(const char* kind, const char* first, const char* second) {
    CStrBuf what;
    if (Sys_PathExists(first))
        what.Format("the %s %s is damaged", kind, first);
    else if (second && *second && Sys_PathExists(second))
        what.Format("the %s %s is damaged", kind, second);
    else if (second && *second)
        what.Format("the %s %s is missing, and so is %s", kind, first, second);
    else
        what.Format("the %s %s is missing", kind, first);
    return what;
}

// ---------------------------------------------------------------------------
// Construction

CGame::CGame(void* instance, const char* dataFile) : m_critSect(4000) {
    g_pGame = this;
    m_roles = new CGameRoles(*this);

    char host[256] = {};
    if (gethostname(host, sizeof host - 1) != 0) std::strcpy(host, "localhost");
    m_vars.uniqueInstance.Format("%s %d", host, (int)Sys_GetCurrentProcessId());

    const char* cmdLine = Game_CommandLine();
    m_language.Assign(cmdLine && cmdLine[0] ? cmdLine : "English");

    m_codePage = Game_SystemCodePage();
    switch (m_codePage) {
        case 874:
            m_vars.charSet = CS_WIN_THAI;
            break;
        case 1250:
            m_vars.charSet = CS_WIN_CENTRALEUROPE;
            break;
        case 1251:
            m_vars.charSet = CS_WIN_CRYLLIC;
            break;
        case 1253:
            m_vars.charSet = CS_WIN_GREEK;
            break;
        case 1254:
            m_vars.charSet = CS_WIN_TURKISH;
            break;
        case 1255:
            m_vars.charSet = CS_WIN_HEBREW;
            break;
        case 1256:
            m_vars.charSet = CS_WIN_ARABIC;
            break;
        case 1257:
            m_vars.charSet = CS_WIN_BALTIC;
            break;
        default:
            m_codePage = 1252;
            m_vars.charSet = CS_WIN_WESTERN;
            break;
    }

    // Fonts built from now on take their glyphs from this character set.
    CE3DFont::s_codePageIndex = m_vars.charSet;

    m_gameDir.Assign("Tessarak");
    for (SVideoSettings& slot : m_video) slot.driverName.Assign("display");
    m_instance = instance;
    m_dataFile.Assign(dataFile ? dataFile : "");
}

CGame::~CGame() {
    Shutdown();
    delete m_roles;
    m_roles = nullptr;
    if (g_pGame == this) g_pGame = nullptr;
}

// ---------------------------------------------------------------------------
// Start-up

// Ends the process when a subsystem could not be made: later code relies on
// every member being there.
template <typename T>
static T* Require(T* object, const char* what) {
    if (!object) {
        CStrBuf text;
        text.Format("Could not create the %s.", what);
        std::fprintf(stderr, "%s\n", text.GetText());
        Game_MessageBox(text.GetText(), "Error", true);
        std::exit(1);
    }
    return object;
}

int CGame::Startup(int) {
    // The program runs from its System folder; the installation is its parent.
    m_installDir.Assign(Game_CurrentDirectory().c_str());
    const char* slash = std::strrchr(m_installDir.GetText(), '\\');
    if (slash) m_installDir.SetAt((int32_t)(slash - m_installDir.GetText()), 0);

    // Writes below the installation go to the user's data folder when the
    // installation cannot be written; the machine's values live beside it.
    Sys_SetInstallFolder(m_installDir.GetText());

    if (std::strchr(m_gameDir.GetText(), ':'))
        m_rootDir.Assign(m_gameDir);
    else
        m_rootDir.Format("%s\\%s", m_installDir.GetText(), m_gameDir.GetText());

    // Installation values.
    CStrBuf value;
    const bool installedPathKnown = Game_RegistryRead("InstalledPath", value);
    m_installedPath.Assign(installedPathKnown ? value : m_installDir);
    if (Game_RegistryRead("SetupPath", value) && !value.IsEmpty())
        m_setupPath.Format("%s\\Tessarak", value.GetText());

    // Without a setup folder to take packs from, the content folder must be there.
    if (m_setupPath.IsEmpty() && !Sys_IsFolder(m_rootDir.GetText())) {
        CStrBuf what;
        what.Format("the folder %s is missing", m_rootDir.GetText());
        InstallFault(what);
    }
    // File table: the loose tree first, so loose files win over packed ones.
    Game_MountRoot(m_rootDir.GetText(), m_language.GetText());

    CStrBuf name;
    name.Format("%s.cfg", m_language.GetText());
    if (!Game_FileExists(GetPath("Scripts", name.GetText()))) {
        CStrBuf rootPack, setupPack;
        rootPack.Format("%s\\Languages\\%s.box", m_rootDir.GetText(), m_language.GetText());
        if (!m_setupPath.IsEmpty())
            setupPack.Format("%s\\Languages\\%s.box", m_setupPath.GetText(), m_language.GetText());
        // A setup folder without the pack is as broken as no setup folder.
        if (m_setupPath.IsEmpty() || !Game_MountPack(setupPack.GetText()) ||
            !Game_FileExists(GetPath("Scripts", name.GetText())))
            InstallFault(PackFault("language pack", rootPack.GetText(), setupPack.GetText()));
    }
    static const char* const kPacks[] = {"Content", "Campaigns", "Campaigns_Movies", "Intro", "Music"};
    for (const char* pack : kPacks) {
        CStrBuf marker;
        marker.Format("%s.id", pack);
        if (Game_FileExists(GetPath(nullptr, marker.GetText()))) continue;
        CStrBuf rootPack, setupPack;
        rootPack.Format("%s\\%s.box", m_rootDir.GetText(), pack);
        if (!m_setupPath.IsEmpty()) setupPack.Format("%s\\%s.box", m_setupPath.GetText(), pack);
        if (m_setupPath.IsEmpty() || !Game_MountPack(setupPack.GetText()) ||
            !Game_FileExists(GetPath(nullptr, marker.GetText())))
            InstallFault(PackFault("pack", rootPack.GetText(), setupPack.GetText()));
    }

    // Only an installation found sound is entered in the machine's values.
    if (!installedPathKnown) Game_RegistryWrite("InstalledPath", m_installedPath.GetText());

    CreateSubsystems();

    m_clock->Start();
    Game_RunScript(name.GetText());
    if (!Game_SetupDisplay(this)) {
        ErrorBox("The display could not be set up.");
        FatalExit(1);
    }
    Game_ClearAndPresent(this);

    // The world: the scene, the grid, the physics and the explosions. The
    // battlefield's objects are frames of the screen's main camera: what the
    // game view renders. So the grid, the physics and the explosions come
    // with the scene here, once the display is up, rather than before the
    // interface. A change of the display mode keeps the camera.
    CreateWorld(m_gameScreen ? m_gameScreen->m_mainCamera : nullptr);
    Require(m_world, "world");
    m_projects = new CProjectList(m_gameScreen, &m_world->Scene());
    m_world->SetProjects(m_projects);
    // The computer players send their orders through the network game: it
    // comes before them.
    m_netGame = Require(new CNetGame(m_roles->Net()), "network game");
    m_aiManager = Require(new CAIManager(m_world, m_netGame), "computer-player manager");
    m_aiManager->SetScreen(m_gameScreen);
    ConnectWorld();
    ConnectSavedGames();

    m_interface->CreateFonts();
    Game_ShowConsole(this);
    Game_Print(" ");
    Game_Print("Starting Tessarak Windows 2000 version");

    Game_StartInput(this);
    Game_Print(" ");
    m_clock->PrintResolution();
    Benchmark();
    m_netGame->SetBenchmarkSpeed(m_benchmarkSpeed);
    Game_Printf("Benchmark speed %f", (double)m_benchmarkSpeed);
    Game_Print(" ");

    m_startupDone = 1;
    if (s_consoleToStdout) Game_StartTerminal();
    m_gameDir.Assign("None");
    // The start-up scripts read the saved settings back: only after they ran
    // may settings be written, or an exit half-way would save defaults.
    if (ExecStartup("Tessarak")) Game_EnableConfigSave(this);

    Game_RunScript("Autoexec.cfg");

    CMainDialog* window = g_pMainWindow;
    if (window) window->ShowForGame(m_vars.startMinimized != 0);
    return 1;
}

void CGame::CreateSubsystems() {
    m_clock = Require(new CGameClock(), "game clock");
    Game_CreateInput(this);
    Game_CreateView(this);
    m_interface = Require(new CInterface(m_roles->Interface()), "interface");
    // The interface's GUI rows come at once: the language script, the first
    // of all scripts, gives the texts with SetLid.
    m_interface->RegisterGUICommands(Game_Interpreter(this));
    // Whoever started the game from a terminal reads the console there too.
    m_interface->m_console.SetEchoToStdout(s_consoleToStdout);
    Game_CreateSound(this);
}

bool CGame::IsPlainFolderName(const char* name) {
    // The path check every name from outside goes through, narrowed to one
    // folder name: no separators, no wildcards, no dots run together.
    if (!Sys_IsSafeRelativePath(name) || std::strlen(name) > 255) return false;
    if (std::strcmp(name, ".") == 0 || std::strstr(name, "..")) return false;
    return std::strpbrk(name, "\\/*?\"<>|") == nullptr;
}

bool CGame::ExecStartup(const char* name) {
    if (!name || m_gameDir.EqualsNoCase(name)) return true;
    // The name may come from a server or a map script: it must name one plain
    // folder of the installation, never a path elsewhere on the machine.
    if (!IsPlainFolderName(name)) {
        Game_Printf("Invalid game directory: %s", name);
        return false;
    }
    CStrBuf root;
    root.Format("%s\\%s", m_installDir.GetText(), name);
    // The game's own directory may live wholly in the setup folder's packs.
    if (!Sys_IsFolder(root.GetText()) && strcasecmp(name, "Tessarak") != 0) {
        Game_Printf("Game directory not found: %s", name);
        return false;
    }

    if (m_netGame) m_netGame->SendGameDir(name);
    m_gameDir.Assign(name);
    MasterClient_SendGame(m_netGame);
    m_rootDir.Assign(root);

    CStrBuf cache;
    cache.Format("%s\\Cache", m_rootDir.GetText());
    Game_SetCacheFolder(this, cache.GetText());

    Game_PrintAndRender(" ");
    Game_PrintAndRender("Executing 'Startup.cfg'...");
    // Commands are registered once; a later switch of the game directory only
    // runs the new directory's scripts.
    if (!m_commandsRegistered) {
        Game_RegisterAllCommands(this);
        m_commandsRegistered = true;
    }
    Game_RunScript("Startup.cfg");

    Game_PrintAndRender(" ");
    Game_PrintAndRender("Initialzing sound engine...");
    Game_InitSound(this);
    Game_PrintAndRender(" ");

    m_guiWord = 1;
    Game_ShowConsole(this);
    if (m_interface) m_interface->LoadConsoleBackground();
    // In a session of a skirmish or a network game the units of the new
    // directory load at once.
    if (m_netGame && (m_netGame->m_hosting || m_netGame->m_clientConnected) && m_vars.gameType > 0)
        LoadUnitFiles();
    return true;
}

bool CGame::LoadUnitFiles() {
    CGameScene* scene = Scene();
    if (!scene) {
        m_guiWord = 1;
        return false;
    }
    // The content projects live on the game screen's registries (a game
    // without a display keeps them headless).
    if (!m_projects) {
        m_projects = new CProjectList(m_gameScreen, scene);
        m_world->SetProjects(m_projects);
    }
    CStrBuf name;
    if (!scene->m_unitSource.IsEmpty() && !scene->m_unitSource.EqualsNoCase("local"))
        name = scene->m_unitSource;
    else
        name.Format("%s\\Units", m_rootDir.GetText());
    if (!scene->LoadUnits(name.GetText())) {
        Game_Print("Failed to load unit file.");
        m_guiWord = 1;
        scene->m_unitSource.Clear();
        return false;
    }
    if (m_netGame) m_netGame->RestartFrameCountdown(m_frameTimeout);
    scene->DeriveTemplateSizes();
    return true;
}

// ---------------------------------------------------------------------------
// Paths

const char* CGame::GetPath(const char* subFolder, const char* name) {
    if (!name) name = "";
    const char* root = m_rootDir.GetText();
    if (std::strchr(name, ':')) return name;
    if (name[0] == '!' && name[1] == '!') {
        m_pathBuf.Format("%s\\%s", root, name + 2);
    } else if (name[0] == '!') {
        const char* rest = std::strchr(name + 1, '\\');
        size_t len = rest ? (size_t)(rest - (name + 1)) : std::strlen(name + 1);
        CStrBuf folder;
        folder.Assign("");
        folder.Append(name + 1, (int32_t)len);
        if (!rest) rest = "";
        if (folder.EqualsNoCase("Campaign")) {
            const char* campaign = m_interface ? m_interface->m_campaignName.GetText() : "";
            m_pathBuf.Format("%s\\Campaigns\\%s%s", root, campaign, rest);
        } else if (folder.EqualsNoCase("Locale")) {
            m_pathBuf.Format("%s\\Local\\%s%s", root, m_language.GetText(), rest);
        } else {
            Game_Printf("Error, unknown dir %s", folder.GetText());
            return name;
        }
    } else if (name[0] == '\\' && name[1] == '\\') {
        m_pathBuf.Assign(name);
    } else if (name[0] == '\\') {
        m_pathBuf.Format("%c:%s", root[0], name);
    } else if (subFolder) {
        if (name[0])
            m_pathBuf.Format("%s\\%s\\%s", root, subFolder, name);
        else
            m_pathBuf.Format("%s\\%s", root, subFolder);
    } else {
        if (name[0])
            m_pathBuf.Format("%s\\%s", root, name);
        else
            m_pathBuf.Assign(root);
    }
    return m_pathBuf.GetText();
}

// ---------------------------------------------------------------------------
// Benchmark

void CGame::Benchmark() {
    CGameClock* clock = m_clock;
    double freq = clock && clock->m_frequency > 0.0f ? clock->m_frequency : 1193182.0;
    auto now = [clock]() { return clock ? clock->Now() : (uint64_t)0; };
    // The arithmetic and memory phases score (1 / ticks) / F, a vanishing
    // share beside the random reads' runs per second, 1 / (ticks / F): the
    // speed that servers show and compare is the random-read speed.
    auto perTickScore = [freq](uint64_t ticks) { return ticks ? (1.0 / (double)ticks) / freq : 0.0; };
    auto perSecondScore = [freq](uint64_t ticks) { return ticks ? 1.0 / ((double)ticks / freq) : 0.0; };

    uint64_t t0 = now();
    volatile float sink = 0.0f;
    for (float x = 0.0f; x < 65535.0f; x += 0.2315828f) {
        float y = std::fmod(x, 1351.2452f);
        sink = sink + std::sqrt(y);
    }
    double a = perTickScore(now() - t0);

    // Memory: bytes, 16-bit words and 32-bit words written and summed.
    const size_t kBlock = 0xFFFFFF;
    unsigned char* block = static_cast<unsigned char*>(std::malloc(kBlock + 16));
    double m = 0.0, r = 0.0;
    if (block) {
        t0 = now();
        unsigned char* p = block;
        std::memset(p, 3, 0xFFFFF);
        p += 0xFFFFF;
        for (size_t i = 0; i < 0xFFFFF; ++i, p += 2) {
            uint16_t w = 0x0932;
            std::memcpy(p, &w, 2);
        }
        for (size_t i = 0; i < 0x340000 && p + 4 <= block + kBlock; ++i, p += 4) {
            uint32_t d = 0x3BDEA;
            std::memcpy(p, &d, 4);
        }
        uint64_t sum = 0;
        const unsigned char* q = block;
        for (size_t i = 0; i < 0xFFFFF; ++i) sum += *q++;
        for (size_t i = 0; i < 0xFFFFF; ++i, q += 2) {
            uint16_t w;
            std::memcpy(&w, q, 2);
            sum += w;
        }
        for (size_t i = 0; i < 0x340000 && q + 4 <= block + kBlock; ++i, q += 4) {
            uint32_t d;
            std::memcpy(&d, q, 4);
            sum += d;
        }
        m = perTickScore(now() - t0);

        // Random reads, with the runtime's 15-bit generator.
        uint32_t seed = 1;
        auto rnd = [&seed]() {
            seed = seed * 214013u + 2531011u;
            return (int)((seed >> 16) & 0x7FFF);
        };
        t0 = now();
        for (int i = 0; i < 0x4FFFF; ++i) {
            int lo = rnd();
            int hi = rnd() % 255;
            size_t index = (size_t)(lo | (hi << 16));
            sum += block[index % kBlock];
        }
        r = perSecondScore(now() - t0);
        sink = sink + (float)(sum & 1);
        std::free(block);
    }
    m_benchmarkSpeed = (float)((a + a + m + r) / 4.0 * 100.0);
}

// ---------------------------------------------------------------------------
// Locks, boxes, shutdown

void CGame::Lock() {
    m_gameLock.Wait();
}

void CGame::Unlock() {
    m_gameLock.Release();
}

void CGame::SendPause(int32_t value) {
    if (m_netGame) m_netGame->SendPause(value);
}

void CGame::ErrorBox(const char* text) {
    Game_MessageBox(text, "Error", true);
}

void CGame::LogToConsole(const char* text, void*) {
    Game_Print(text);
}

void CGame::Shutdown() {
    if (m_shutDown) return;
    // Settings are saved only after a complete start-up: an early fatal exit
    // must not overwrite the player's files with defaults.
    if (m_startupDone) Game_SaveConfigFiles();
    FinishCaptureVideo();
    Game_StopTerminal();
    g_ShuttingDown = 1;
    m_shutDown = 1;

    // The scene first, then the computer players. The world holds the scene
    // together with the grid, the physics and the explosions, so these go
    // with it rather than after the computer players and, for the
    // explosions, after the interface; the computer players are told of
    // every unit that leaves play, so they are still there while the
    // scene's units go.
    DeleteWorld();
    delete m_aiManager;
    m_aiManager = nullptr;
    // The content's textures and materials live on the screen: before it.
    delete m_projects;
    m_projects = nullptr;
    DisconnectSavedGames();
    delete m_netGame;
    m_netGame = nullptr;
    delete m_interface;
    m_interface = nullptr;
    Game_DeleteView(this);
    Game_DeleteInput(this);
    delete m_clock;
    m_clock = nullptr;
    Game_DeleteSound(this);
}

void CGame::FatalExit(int exitCode) {
    Game_FatalExit(exitCode);
}

void Game_FatalExit(int exitCode) {
    g_StopFlag = 1;
    delete g_pGame;
    g_pGame = nullptr;
    CMainDialog::Destroy();
    std::fflush(stdout);
    std::exit(exitCode);
}

// ---------------------------------------------------------------------------

CStrBuf* SplitNameList(const char* text, int* count) {
    if (count) *count = 0;
    if (!text || !text[0]) return nullptr;
    char copy[256];
    std::strncpy(copy, text, 255);
    copy[255] = 0;

    int n = 1;
    bool quoted = false;
    for (const char* p = copy; *p; ++p) {
        if (*p == '"')
            quoted = !quoted;
        else if (*p == ' ' && !quoted)
            ++n;
    }
    CStrBuf* all = new CStrBuf[n];
    int index = 0;
    quoted = false;
    for (const char* p = copy; *p; ++p) {
        if (*p == '"')
            quoted = !quoted;
        else if (*p == ' ' && !quoted)
            ++index;
        else if (all[index].GetLength() < 254) {
            char c[2] = {*p, 0};
            all[index].Append(c);
        }
    }
    int kept = 0;
    for (int i = 0; i < n; ++i)
        if (!all[i].IsEmpty()) ++kept;
    CStrBuf* result = nullptr;
    if (kept) {
        result = new CStrBuf[kept];
        int j = 0;
        for (int i = 0; i < n; ++i)
            if (!all[i].IsEmpty()) result[j++].Assign(all[i]);
    }
    delete[] all;
    if (count) *count = kept;
    return result;
}

CGameScene* CGame::Scene() {
    return m_world ? &m_world->Scene() : nullptr;
}

const char* CGame::GetSystemText(int index) {
    return m_interface ? m_interface->GetSystemText(index) : "";
}

CE3DEngine* CGame::Engine() {
    return m_gameView ? m_gameView->m_engine : nullptr;
}

void CGame::CreateWorld(CE3DFrame* root) {
    if (m_world) return;
    m_world = new CWorld(m_roles->World(nullptr));
    m_world->SetRootFrame(root);
    if (m_gameView) m_world->SetEngine(m_gameView->m_engine);
    if (m_projects) m_world->SetProjects(m_projects);
    ConnectWorld();
}

void CGame::ConnectWorld() {
    if (!m_world) return;
    // The session keeps the players and carries the world's orders.
    if (m_netGame) {
        m_netGame->SetWorld(m_world);
        m_world->SetRoles(m_roles->World(&m_netGame->Sender()));
    }
    if (m_interface) {
        m_interface->SetWorld(m_world);
        m_interface->SetNetGame(m_netGame);
    }
    // The computer players keep account of every unit that leaves play.
    m_world->SetUnitWatcher(m_aiManager);
}

void CGame::SetAIManager(CAIManager* manager) {
    m_aiManager = manager;
    if (m_world) m_world->SetUnitWatcher(manager);
}

void CGame::DeleteWorld() {
    if (m_interface) m_interface->SetWorld(nullptr);
    if (m_netGame) m_netGame->SetWorld(nullptr);
    delete m_world;
    m_world = nullptr;
}
