// What the input manager needs of the game around it.
//
// The input manager runs every frame against the game's focus, its screen,
// its cursor, its interface and its console. It reaches all of them through
// this interface, so that it can be driven on its own: the game implements
// it over CGame and CInterface (CGameInputHost), a test with a few fields.
#pragma once

#include <cstdint>

class CStrBuf;
class CConsole;

// The facts that decide which key-binding file applies (first match wins).
struct SInputContextFacts {
    bool progressActive = false;  // the loading-progress stack is not empty
    bool consoleVisible = false;
    bool miniConsole = false;
    int32_t guiWord = 0;
    int32_t gameState = 0;
    bool gameScreen = false;          // the interface shows the in-game screen
    int32_t activeGUI = 1000;         // 1000: no interface screen
    int32_t interfaceMode = 0;        // 3 while a settings edit box is active
    const char* guiBindingFile = "";  // the active GUI screen's own file, or ""
    bool emitterEdit = false;
    bool mapEdit = false;
    bool videoPlaying = false;  // no new file while a full-screen video plays
};

// The key-binding file for the facts; null to keep the current one.
const char* Input_ChooseContextFile(const SInputContextFacts& facts);
// The binding file of the GUI screens: the settings editor's while editing,
// else the screen's own, else "Commands_GUI.cfg".
const char* Input_GuiBindingFile(int32_t interfaceMode, const char* screenFile);

class IInputHost {
public:
    virtual ~IInputHost() = default;

    // Game clock in counts (1193182 per second) and the last frame's time.
    virtual uint64_t Now() = 0;
    virtual float FrameTime() = 0;
    // The game window has the keyboard focus.
    virtual bool HasFocus() = 0;
    // The keyboard and mouse device switches (kb_DirectInput, m_DirectInput).
    virtual uint8_t* KeyboardSwitch() = 0;
    virtual uint8_t* MouseSwitch() = 0;
    // The drawing area and whether it is a window on the desktop.
    virtual void ScreenSize(int* width, int* height) = 0;
    virtual bool Windowed() = 0;
    // The system cursor in client coordinates (false when it is unknown) and
    // its buttons (bit 0 left, 1 middle, 2 right).
    virtual bool SystemCursor(int* x, int* y, uint32_t* buttons) = 0;
    virtual void ShowSystemCursor(bool show) = 0;
    // The interface's copy of the cursor (written under the game's lock).
    virtual void SetInterfaceCursor(int x, int y) = 0;
    // The view ray under the cursor, and the map editor's selection drag.
    virtual void UpdateCursorRay(float x, float y) = 0;
    // Render frames run (GUI word 0, game state 2).
    virtual bool RenderFrames() = 0;
    virtual bool InterfaceScreenActive() = 0;
    virtual bool FullConsole() = 0;
    virtual float ScrollSpeed() = 0;
    // Whether the pointer lies over the game's window (always in full
    // screen): a pointer that left the window scrolls nothing.
    virtual bool PointerInWindow() { return true; }
    // The view's distance factor of the scroll speed: how much ground the
    // view spans (its distance times its field of view); the farther it
    // looks from, the faster it scrolls.
    virtual float ViewReach() { return 1.0f; }
    // Edge scrolling: velocity and the view's arrow values (x, z).
    virtual void ScrollView(float vx, float vz, float arrowX, float arrowZ) = 0;

    // Context selection.
    virtual void ContextFacts(SInputContextFacts& facts) = 0;
    // Keeps the interface's requested screen and binding file up to date.
    virtual void UpdateInterfaceContext() {}
    // The console and the interface's settings edit string (null when none).
    virtual CConsole* Console() = 0;
    virtual CStrBuf* SettingsEditString() = 0;

    // The interface's mouse dispatch (events of the m_SetLB family) and
    // the flags those commands consult.
    virtual void MouseEvent(int code) = 0;
    virtual bool MapEditMode() = 0;
    virtual uint8_t* InputDebugSwitch() = 0;

    // The game's Windows code page: typed text and the clipboard are in it.
    virtual int CodePage() { return 1252; }

    // Resolves a name below "Scripts" or "Maps".
    virtual const char* GetPath(const char* subFolder, const char* name) = 0;
};
