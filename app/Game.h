// The central game object.
//
// One CGame exists per process. The application object creates it right
// after the main window and runs CGame::Startup, which fixes the folders of
// the installation (the program runs from its "System" folder; the content
// root is the "Tessarak" folder beside it), mounts the packs, creates every
// subsystem in a fixed order and runs the start-up scripts. From then on the
// idle handler calls CGame::Frame once per turn; the two state words (the
// GUI word and the game state) choose between the interface frame, the
// render frame and the game start. Its own roles are three: its life
// (start-up, the frames, shutdown), the session (IGameFlow: the state words,
// the loading flag, the game folder) and the map load (IMapLoader, in
// app/GameStart.cpp). The layers below the application (the world, the
// network game, the computer players, the interface) reach the game only
// through the narrow roles they are given (app/GameRoles.h); the world is
// one object (CWorld) that the game owns and ticks. The application's own
// parts reach the game through the global pointer g_pGame. Every relative
// file name is resolved with CGame::GetPath. Deleting the game object runs
// CGame::Shutdown, which saves the settings (only when start-up completed)
// and deletes the subsystems in the reverse of their creation order.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "core/StrBuf.h"
#include "netgame/NetGameRoles.h"
#include "nwe/AccessGuard.h"
#include "platform/sys/Thread.h"

class CGameClock;
class CGameRoles;
class CCommandInterpreter;
class CE3DEngine;
class CProjectList;
class CWorld;
class CInputManager;
class CGameView;
class CGameScreen;
class CWorldGrid;
class CExplosionManager;
class CInterface;
class CPhysicsEngine;
class SoundEngine;
class CGameScene;
class CAIManager;
class CNetGame;
class CE3DVideo;
class CE3DScreen;
class CE3DSurface;
struct SPlayerView;
class CEditField;
class ICommandHost;
class CVFSTable;
class CTessarakObject;
class CTessarakObjectTemplate;
class CPlayer;
class CE3DFrame;
class ISavedGameView;
class CVideoWriter;
struct SE3DScene;

// Character-set constants of the console (SGameVariables::charSet).
enum {
    CS_DOS = 0,
    CS_WIN_ARABIC = 1,
    CS_WIN_BALTIC = 2,
    CS_WIN_CENTRALEUROPE = 3,
    CS_WIN_CRYLLIC = 4,
    CS_WIN_GREEK = 5,
    CS_WIN_HEBREW = 6,
    CS_WIN_THAI = 7,
    CS_WIN_TURKISH = 8,
    CS_WIN_WESTERN = 9,
    CS_WIN_VIETNAM = 10,
};

// One monitor's video settings; slot 0 is the one the game uses.
// One logic tick as the render frame sees it: the frames' history slot its
// matrices went into (-1: none), its game time and the real time (counter)
// it ran at.
struct SGameTickStamp {
    int32_t slot = -1;
    int64_t gameTime = 0;
    int64_t realTime = 0;
};

// The last two ticks: published by the logic tick, taken by the render frame,
// which draws between them.
struct SGameTickRecord {
    SGameTickStamp previous, latest;
};

struct SVideoSettings {
    uint8_t windowed = 1;
    CStrBuf driverName;  // "display" by default
    int32_t width = 640;
    int32_t height = 480;
    int32_t bitDepth = 16;
    int32_t textureDetail = 0;
    int32_t textureQuality = 32;
    int32_t refreshRate = 0;  // 0: the driver's default
    uint8_t hardware = 1;
    int32_t extra1 = 0;
    int32_t extra2 = 0;
    uint8_t extra3 = 0;
};

enum { kVideoSlots = 8 };

class CE3DGradientPoint;

// One line of the emitter editor's overlay.
struct SEmitterEditorLine {
    std::string text;
    int y;
    uint8_t r, g, b;
};

// The emitter editor's state (the Emitter_ commands). Templates are held by
// number and looked up in the engine on each use, so a template that went
// leaves nothing dangling.
struct SEmitterEditor {
    int32_t selected = 1;    // the selected template's number
    int32_t newEmitter = 1;  // the number Emitter_Create made last
    int32_t variable = 1;    // the setting that Emitter_AddValue changes (1 to 21)
    int32_t current = -1;    // the current template's number (-1: none)
    // The current gradient point of the current template (checked against
    // its table before each use).
    CE3DGradientPoint* point = nullptr;
};

// The game object's values that console variables hold: the command tables
// bind them by address, and the game and its frames read them.
struct SGameVariables {
    int32_t charSet = CS_WIN_WESTERN;  // Vid_Charset
    CStrBuf uniqueInstance;            // ge_UniqueTessarak: computer name and process id
    int32_t gameType = 0;              // GameMode: 0 single-player, 1 skirmish, 2 multiplayer
    uint8_t startMinimized = 0;        // ge_Minimize
    uint8_t mainSleep = 0;             // ge_MainSleep
    int32_t maxFps = 60;               // ge_MaxFPS: frames a second at most (0: as many as it can)
    int32_t binkSoundTrack = 0;        // Vid_BinkSoundTrack
    uint8_t drawGrid = 0;              // cg_DrawGrid
    uint8_t drawGridAfter = 40;
    uint8_t perfRender = 0;          // perf_Render
    uint8_t perfDrawFPS = 0;         // perf_DrawFPS
    uint8_t perfDrawUpdateList = 0;  // perf_DrawUpdateList
    uint8_t perfDrawPathList = 0;    // perf_DrawPathList
    uint8_t showPlayers = 0;         // ShowPlayers
    uint8_t inputDebug = 0;          // InputDebug
    uint8_t disable3DEngine = 0;     // Disable3DEngine
    uint8_t mapEditMode = 0;         // M_EditMode
    int32_t emitterEditMode = 0;     // Emitter_EditMode
    uint8_t guiDisable = 0;          // GUI_Disable
    uint8_t dontDrawConsole = 0;     // g_DontDrawConsole
    uint8_t progressDrawing = 1;     // g_DrawProgressBars: progress bars drawn while loading
    uint8_t kbDirectInput = 1;       // kb_DirectInput
    uint8_t mDirectInput = 1;        // m_DirectInput
    int32_t syncCrcEvery = 0;        // dbg_SyncCrc: the world's sync CRC printed every n frames (0 off)
};

class CGame : public IGameFlow, public IMapLoader {
public:
    // instance: the process's instance handle (opaque here); dataFile: the
    // application passes "No datafile".
    CGame(void* instance, const char* dataFile);
    ~CGame() override;
    CGame(const CGame&) = delete;
    CGame& operator=(const CGame&) = delete;

    // Start-up sequence; returns 1. Ends the process when the installation
    // is broken or a subsystem cannot be created.
    int Startup(int arg);
    // Switches the game directory and runs its start-up scripts.
    bool ExecStartup(const char* name) override;
    // Resolves a name below the root; the result lives until the next call.
    const char* GetPath(const char* subFolder, const char* name);
    void Benchmark();
    void Lock() override;
    void Unlock() override;
    // Sends the pause value to the session (message 162, 4 bytes).
    void SendPause(int32_t value);
    // Draws the mouse cursor and presents the back buffer.
    void Redraw();
    // Clears the screen, prints the line, draws the console and presents it.
    void ShowMessageAndRedraw(const char* text);
    // The text of one system-text entry ("" when unset).
    const char* GetSystemText(int index);
    void ErrorBox(const char* text);
    // A game message to the session (false without one): what the game
    // asks of every machine goes this way, in a frame.
    bool SendToSession(int type, const void* data, int length);
    static void LogToConsole(const char* text, void* unused);
    void CheckVideoSettingsChanged();
    void Shutdown();
    // Sets the stop flag, deletes the game object and ends the process
    // (Game_FatalExit).
    [[noreturn]] void FatalExit(int exitCode);

    // ---- the session role (IGameFlow): the state words, the loading flag,
    // the game folder, scripts for the next frame, notices (app/GameRoles.cpp)
    int32_t GuiWord() override { return m_guiWord; }
    int32_t GameState() override { return m_gameState; }
    int32_t GameType() override { return m_vars.gameType; }
    void SetGuiWord(int32_t word) override { m_guiWord = word; }
    // The game loop's start (state 2) ends the loading phase.
    void SetGameState(int32_t state) override {
        m_gameState = state;
        if (state == 2) m_gameLoading = 0;
    }
    bool IsGameLoading() override { return m_gameLoading != 0; }
    void SetGameLoading(bool loading) override { m_gameLoading = loading ? 1 : 0; }
    const char* GameFolder() override { return m_gameDir.GetText(); }
    void QueueScript(const char* name) override;
    void ShowNotice(const char* text) override;
    void SaveConfigFiles() override;
    uint32_t InstanceValue() override;
    // The local player's event (the HUD's event list and radar markers come
    // with the in-game interface; until then the console's log).
    void PostEventMessage(int code, int32_t ownerId, float x, float z, const char* text);
    // The game's roles handed to the world, the network game and the
    // interface (app/GameRoles.h).
    CGameRoles& Roles() { return *m_roles; }

    // Frame dispatch.
    int Frame();
    int InterfaceFrame();
    int RenderFrame();
    // At most one tick of the world per call, when the game time is behind
    // real time by the tick lead and the lockstep frame allows it.
    int LogicTick();
    // Every tick that is due, one logic tick after the other, until none
    // is (one only in a fixed-rate capture); the number run.
    int RunDueTicks();
    int StartGame();
    // Loads the unit files (the scene's unit source, or the root's "Units"
    // folder) and derives the templates' sizes; false, with the interface
    // back, when they do not load.
    bool LoadUnitFiles();
    // One step of the server's start handshake (hosting only).
    void ServerStartStep();

    // ---- game start and map load (app/GameStart.cpp)
    // Clears the start replies of every client and starts the handshake.
    void ResetClientFlags();
    // Loads the current map from "Maps\<map>\MapData.box" (every machine, at
    // MAPCHANGESTART) and answers MAPCHANGESTART_REPLY.
    void LoadMap() override;
    // The map's description from its box: "information.vxm" run (restricted
    // for a box from a server) fills the current description, and the
    // picture of "background.bik" becomes its picture.
    void LoadMapInfo(const char* mapFile) override;
    // The start was called off (a machine could not start): back to the lobby.
    void CallOffGameStart() override;
    // The server's start resources and start units.
    void PlaceStartUnits() override;
    // Finishes the map load (every machine, at MAPFINISHUP).
    void AfterMapLoad() override;
    // The mission's objectives when the game loop starts (every machine, in
    // the frame of SETGAMELOOP): a campaign mission's own "Objective.vxm",
    // else the map's.
    void RunObjectiveScript() override;

    // ---- saved games (app/GameSave.cpp)
    // SaveCurrentGame: the running game into "Save\<map> (<players>) <n>",
    // the first number free (written at the next frame that may take it;
    // the console says when it is). False when no game runs as render
    // frames, the game is won or lost, or a save is under way.
    bool SaveCurrentGame();
    // LoadSavedGame: the next start continues the saved game of that name
    // (in "Save"): its game type and map become the game's. An empty name:
    // the next start is a new game. Hosting only; false (said) when the file
    // cannot be loaded.
    bool LoadSavedGame(const char* name);
    // A saved game's load: the radar from the map box of its map folder
    // ("Maps\<map>"), with "Error loading map: ..." when it cannot.
    void RestoreRadar(const char* mapFolder);
    CTessarakObjectTemplate* FindTemplate(const char* name);
    // Makes an object of the template with the id pair (project id, template
    // id) at (x, 0, z) for the owner under the object id (-1: none), at once
    // on this machine alone (a map's objects, which every machine loads the
    // same): under the scene's root frame, or under the given engine frame
    // (CreateUnitFor; an object that hangs on another). Null when no
    // template has that id pair or the object cannot be made.
    CTessarakObject* CreateUnitForLocalPlayer(uint16_t projectId, uint32_t templateId, float x, float z,
                                              CPlayer* owner, int32_t objectId);
    CTessarakObject* CreateUnitFor(uint16_t projectId, uint32_t templateId, float x, float z, CPlayer* owner,
                                   CE3DFrame* parent, int32_t objectId);
    // Asks the session to make the unit on every machine (CREATEUNIT); a null
    // template sends nothing. The unit takes the next object id on every
    // machine, placed as a map places it (CGameScene::PlaceObject): at (x,
    // y, z), turned by the heading increment, grown by the scale increment,
    // with the map's own id (-1: the next map id), its layer and the owner
    // id; a spot with its three values (null: the defaults).
    void RequestCreateUnit(CTessarakObjectTemplate* tmpl, float x, float y, float z, float headingIncrement,
                           float scaleIncrement, int32_t mapId, int32_t layer, int32_t ownerId,
                           const float* spot);
    void RequestCreateUnitByName(const char* name, float x, float y, float z, float headingIncrement,
                                 float scaleIncrement, int32_t mapId, int32_t layer, int32_t ownerId,
                                 const float* spot);
    // The map to load: one plain folder name under "Maps" (refused otherwise,
    // with a console line).
    bool SetMapName(const char* name) override;
    // Whether the map's box is there (in the maps' folder or a pack).
    bool HasMapBox(const char* name);
    const CStrBuf& MapName() const { return m_mapName; }
    void SetMapSize(float width, float depth) {
        m_mapWidth = width;
        m_mapDepth = depth;
    }
    float MapWidth() const { return m_mapWidth; }
    float MapDepth() const { return m_mapDepth; }
    int32_t StartState() const { return m_startState; }
    bool MapLoaded() const { return m_mapLoaded != 0; }

    // True when name may be used as a game directory that arrives from
    // outside: one plain folder name below the installation.
    static bool IsPlainFolderName(const char* name);
    // Console lines also go to standard output (on by default).
    static void SetConsoleToStdout(bool on);
    static bool ConsoleToStdout();

    // ---- the values that console variables hold
    // Registers the game's own console variables of the names given (in that
    // order), bound to its values; the command areas list theirs. Returns
    // the number entered.
    int RegisterVariables(CCommandInterpreter* ip, std::initializer_list<const char*> names);
    SGameVariables& Variables() { return m_vars; }
    SEmitterEditor& EmitterEditor() { return m_emitterEditor; }
    // The emitter editor's overlay (Emitter_EditMode): the number the last
    // Emitter_Create made, the current template's number and name (the
    // template numbered 1 while none is current), its 21 settings (the
    // current one in orange), the current gradient point and the number of
    // emitters made from it; each line at x 10, its y and colour.
    std::vector<SEmitterEditorLine> EmitterEditorLines();
    void DrawEmitterEditor(CE3DSurface* surface);
    // The map editor's panel of templates and its settings (map editing mode).
    void DrawMapEditor(CE3DSurface* surface);
    // The map editor's table of the object under the mouse (the nearest
    // marker of the edited layer within 6 pixels); part of DrawMapEditor.
    void DrawHoverInfo(CE3DSurface* surface);
    // One monitor's video settings (slot 0 to 7; slot 0 is the one in use).
    SVideoSettings& Video(int slot) { return m_video[slot]; }
    bool VideoRestartPending() const { return m_videoRestartPending != 0; }
    void SetVideoRestartPending(bool pending) { m_videoRestartPending = pending ? 1 : 0; }
    void SetCodePage(int32_t codePage) { m_codePage = codePage; }
    int CodePage() const { return m_codePage; }

    // ---- locks
    NWEAccessGuard& AccessGuard() { return m_accessGuard; }
    CSysCriticalSection& CritSect() { return m_critSect; }
    CSysMutex& DrawMutex() { return m_drawMutex; }
    CSysMutex& GameTimeMutex() { return m_gameTimeMutex; }

    // ---- owned subsystems (null before they are made). The setters only
    // store the pointer: the game deletes what it holds at shutdown.
    CGameClock* Clock() { return m_clock; }
    void SetClock(CGameClock* clock) { m_clock = clock; }
    CInputManager* InputManager() { return m_inputManager; }
    void SetInputManager(CInputManager* input) { m_inputManager = input; }
    CGameView* GameView() { return m_gameView; }
    // The 3D engine of the game view (null without a display).
    CE3DEngine* Engine();
    void SetGameView(CGameView* view) { m_gameView = view; }
    // The game screen belongs to the game view, which sets it here.
    CGameScreen* GameScreen() { return m_gameScreen; }
    void SetGameScreen(CGameScreen* screen) { m_gameScreen = screen; }
    CInterface* Interface() { return m_interface; }
    void SetInterface(CInterface* ui) { m_interface = ui; }
    CNetGame* NetGame() { return m_netGame; }
    void SetNetGame(CNetGame* net) { m_netGame = net; }
    // The world: the simulation's door, owning the scene, grid, physics and
    // explosions (made once the display is set up), its objects under root.
    // ConnectWorld hands it to the session (which gives it the players and
    // carries its orders) and to the interface, whichever exist.
    CWorld* World() { return m_world; }
    void CreateWorld(CE3DFrame* root);
    void ConnectWorld();
    void DeleteWorld();
    // The world's scene (null without a world).
    CGameScene* Scene();
    CProjectList* Projects() { return m_projects; }
    void SetProjects(CProjectList* projects) { m_projects = projects; }
    CAIManager* AIManager() { return m_aiManager; }
    void SetAIManager(CAIManager* manager);
    SoundEngine* Sound() { return m_soundEngine; }
    void SetSound(SoundEngine* sound) { m_soundEngine = sound; }
    // The command interpreter's view of the game.
    ICommandHost* CommandHost() { return m_commandHost; }
    void SetCommandHost(ICommandHost* host) { m_commandHost = host; }

    // ---- state
    bool GameLoading() const { return m_gameLoading != 0; }
    float FrameTimeout() const { return m_frameTimeout; }
    void SetFrameTimeout(float seconds) { m_frameTimeout = seconds; }
    // 1 once the interface frame ran ToConsole.cfg, 0 after a render frame.
    int32_t ConsoleScriptMarker() const { return m_consoleScriptMarker; }
    float BenchmarkSpeed() const { return m_benchmarkSpeed; }
    // The full-screen video in play (null when none).
    CE3DVideo* FullScreenVideo() { return m_fullScreenVideo; }
    // Takes a new one (the caller deleted the old one, if any).
    void SetFullScreenVideo(CE3DVideo* video) { m_fullScreenVideo = video; }
    // Screen capture: 0 off, 1 one screenshot, 2 a recording of the game
    // view at a fixed rate (the game's clock steps by the frame period).
    int32_t CaptureMode() const { return m_captureMode; }
    void SetCaptureMode(int32_t mode) { m_captureMode = mode; }
    // Pictures of the game view at the rate (frames a second of game time)
    // from the next frame on, "ScreenCaptures\AnimNNNNNN.bmp" numbered from
    // 0; a video recording running before is finished first.
    void StartCaptureAnimation(float rate);
    // The same into one video file (a recording of ours beside the
    // pictures): a new "ScreenCaptures\AnimNNNNNN.avi".
    void StartCaptureVideo(float rate);
    // 1 while the capture of mode 2 goes into a video.
    bool CaptureToVideo() const { return m_captureToVideo != 0; }
    int32_t CaptureCounter() const { return m_captureCounter; }
    float CaptureRate() const { return m_captureRate; }
    void SetCaptureRate(float rate) { m_captureRate = rate; }
    // The main window has the keyboard focus (updated every frame).
    bool HasFocus() const { return m_hasFocus != 0; }
    bool IsShutDown() const { return m_shutDown != 0; }
    // Set by the game screen while it switches the display mode.
    bool ModeSwitch() const { return m_modeSwitch != 0; }
    void SetModeSwitch(bool on) { m_modeSwitch = on ? 1 : 0; }
    bool StartupDone() const { return m_startupDone != 0; }
    // Render frames drawn since start-up.
    uint64_t RenderFrames() const { return m_renderFrames; }
    // Logic ticks run since start-up.
    uint64_t Ticks() const { return m_ticks; }
    // What the last render frame drew: the share of the tick period passed
    // since the newest tick (0 to 1; 1 while the game stands) and the game
    // time between the last two ticks.
    float TickFactor() const { return m_tickFactor; }
    int64_t DrawnGameTime() const { return m_drawnGameTime; }
    // The scene tree of the game's frames (the main camera's, else the
    // world's root's); null without either.
    SE3DScene* FrameScene();
    // The map editor's copies being made (M_DAS): the map ids after start up
    // to end are marked by the ticks as they arrive; start -1 when none.
    void SetHighlightRange(int32_t start, int32_t end) {
        m_highlightStart = start;
        m_highlightEnd = end;
    }
    int32_t HighlightStart() const { return m_highlightStart; }

    // ---- folders and names
    const CStrBuf& DataFile() const { return m_dataFile; }
    // The game directory's name ("Tessarak" after construction).
    const CStrBuf& GameDir() const { return m_gameDir; }
    void SetGameDir(const char* name) { m_gameDir.Assign(name); }
    // The game directory's full path: every relative name resolves below it.
    const CStrBuf& RootDir() const { return m_rootDir; }
    void SetRootDir(const char* path) { m_rootDir.Assign(path); }
    // The installation: the parent of the current directory.
    const CStrBuf& InstallDir() const { return m_installDir; }
    void SetInstallDir(const char* path) { m_installDir.Assign(path); }
    const CStrBuf& Language() const { return m_language; }

private:
    void CreateSubsystems();
    // The game's own part of every saved game, handed to the session.
    void ConnectSavedGames();
    void DisconnectSavedGames();
    // The map box of the map (the current one without a name) mounted into
    // box; false when the name is not plain or the box is missing.
    bool MountMapBox(CVFSTable* box, const char* mapName = nullptr);
    // Runs a member script of the map box (and, with globalToo, the map
    // folder's copy when the box has none); a box that came from a server
    // runs restricted. False when there was no such script.
    bool RunMapScript(CVFSTable* box, const char* member, bool globalToo);
    // The end of a mission after a tick (opponents: the players still in the
    // game against the local one); the finish scripts.
    void MissionEnd(int opponents);
    void FinishMission();
    // The lost player watches the others play on: the whole map shows.
    void WatchTheOthers();
    // The tick's marking of the map editor's copies (SetHighlightRange).
    void HighlightDuplicates();
    // The tick's frame matrices stored and the tick published for the render.
    void StoreAndPublishTick();
    // The render frame's interpolation: the last two ticks taken, the share
    // of the tick period passed and the game time drawn.
    void InterpolateBetweenTicks();
    // The render frame's visibility pass over the world objects.
    void ShowVisibleObjects();
    // The HUD texts of the render frame on the locked surface.
    void DrawHudTexts(CE3DSurface* surface);
    // The stock and energy lines drawn while the HUD is hidden.
    void DrawFallbackHud(CE3DSurface* surface, const SPlayerView& local);
    // perf_Render's scrolling graph of the last 400 frames' rates.
    void DrawFrameRateGraph(CE3DSurface* surface);
    // The screenshot of capture mode 1 or the next frame of mode 2.
    void CaptureFrame();
    bool WriteScreenshot(const char* path);
    bool ReadScreen(std::vector<uint8_t>& rgb, int* width, int* height);
    // The recording's file gets its end (when one is open), and its name
    // and length go to the console.
    void FinishCaptureVideo();
    // True while this machine plays a map that another machine's server chose.
    bool MapFromServer();
    // A failed game start or map load: the message in red, the failure reply
    // (when given) to the host, and back to the lobby.
    void ReturnToLobby(const char* message, int replyType);

    // ---- access guard and locks
    NWEAccessGuard m_accessGuard;    // built first, destroyed last
    CSysCriticalSection m_critSect;  // display-mode change, windowed resize
    CSysMutex m_drawMutex;           // scene drawing
    CSysMutex m_gameTimeMutex;       // the clock's advance, ping handlers
    CSysMutex m_gameLock;            // Lock/Unlock

    // ---- language and character set
    int32_t m_codePage = 1252;
    CStrBuf m_language;
    CStrBuf m_installedPath;
    CStrBuf m_setupPath;

    SGameVariables m_vars;
    SEmitterEditor m_emitterEditor;
    float m_benchmarkSpeed = 0.0f;

    SVideoSettings m_video[kVideoSlots];
    uint8_t m_videoRestartPending = 0;

    // ---- owned subsystems
    CGameRoles* m_roles = nullptr;                // built first, deleted last
    std::unique_ptr<ISavedGameView> m_savedView;  // the game's part of saved games
    CWorld* m_world = nullptr;
    CNetGame* m_netGame = nullptr;
    CGameScreen* m_gameScreen = nullptr;  // set by the game view
    CProjectList* m_projects = nullptr;   // the content projects: the unit file
    CGameView* m_gameView = nullptr;
    CInputManager* m_inputManager = nullptr;
    CInterface* m_interface = nullptr;
    CGameClock* m_clock = nullptr;
    CAIManager* m_aiManager = nullptr;
    SoundEngine* m_soundEngine = nullptr;

    ICommandHost* m_commandHost = nullptr;  // the interpreter's view of the game

    CE3DVideo* m_fullScreenVideo = nullptr;
    int32_t m_captureMode = 0;  // 0 off, 1 one screenshot, 2 fixed-rate capture
    float m_captureRate = 30.0f;
    int32_t m_captureCounter = 0;
    uint8_t m_captureRestart = 0;  // the next recorded frame starts a new file
    uint8_t m_captureToVideo = 0;  // mode 2 records a video, not pictures
    std::unique_ptr<CVideoWriter> m_captureVideo;
    CStrBuf m_captureVideoPath;
    float m_captureVideoRate = 30.0f;

    uint8_t m_hasFocus = 0;
    uint8_t m_shutDown = 0;
    uint8_t m_modeSwitch = 0;  // set by the game screen while it switches modes

    CStrBuf m_dataFile;
    CStrBuf m_gameDir;     // "Tessarak" after construction
    CStrBuf m_rootDir;     // full path of the game directory
    CStrBuf m_installDir;  // parent of the current directory
    void* m_instance = nullptr;
    uint8_t m_startupDone = 0;

    float m_frameTimeout = 10.0f;
    float m_mapWidth = 128.0f;
    float m_mapDepth = 128.0f;
    CStrBuf m_mapName;
    int32_t m_startState = -1;
    uint8_t m_gameLoading = 0;
    uint8_t m_mapLoading = 0;
    uint8_t m_mapLoaded = 0;
    uint8_t m_clockWasFrozen = 0;
    uint8_t m_fogOfWar = 1;         // the fog of war hides what the player does not see
    uint8_t m_watchOffered = 0;     // the lost player was offered to watch
    uint8_t m_cellMapRevealed = 0;  // the whole map shows (a watcher's)
    int32_t m_highlightStart = -1, m_highlightEnd = -1;
    // The last two ticks the render frame draws between (taken from the
    // scene's published record), the share of a tick period that has passed
    // since the newer one (0 to 1), the game time drawn (between the two
    // ticks; -1 before a new game's first frame) and its step since the last
    // frame (seconds, never negative).
    SGameTickRecord m_tickPair;
    // The ticks published since the render last took them (slots -1 once
    // taken) and the newest tick.
    SGameTickRecord m_publishedTick;
    SGameTickStamp m_lastTick;
    float m_tickFactor = 1.0f;
    int64_t m_drawnGameTime = 0;
    float m_drawnGameStep = 0.0f;
    // The frame rates of the last 400 frames (perf_Render's graph), the
    // newest first; the notice of a hidden GUI ("Press F9") counts down.
    int32_t m_frameRateHistory[400] = {};
    float m_pressF9Timer = 0.0f;
    uint8_t m_guiWasShown = 1;
    uint64_t m_ticks = 0;         // ticks executed since start-up
    uint64_t m_renderFrames = 0;  // render frames drawn since start-up

    CStrBuf m_pathBuf;  // result buffer of GetPath

    int32_t m_guiWord = 0;
    int32_t m_gameState = 0;
    int32_t m_consoleScriptMarker = -1;

    bool m_commandsRegistered = false;
};

// The one game object (null before construction and after deletion).
extern CGame* g_pGame;

// Sets the stop flag, deletes the game object (when there is one), destroys
// the main window and ends the process with the exit code.
[[noreturn]] void Game_FatalExit(int exitCode);

// Process-wide flags: the idle handler runs no frame while g_StopFlag is
// set; g_ShuttingDown is set first thing by CGame::Shutdown.
extern volatile uint8_t g_StopFlag;
extern volatile uint8_t g_ShuttingDown;

// Splits a blank-separated list with double-quoted groups; null when the
// text holds no non-empty string. The caller frees the array with delete[].
CStrBuf* SplitNameList(const char* text, int* count);
