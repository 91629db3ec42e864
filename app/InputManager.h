// The input manager: keyboard, mouse and MIDI input, key bindings, script
// files and the per-context binding files.
//
// Every frame CInputManager::ProcessInput reads the keyboard and the mouse
// (buffered events plus a state snapshot), turns each key, button, wheel and
// axis change into key events that run the bound command lines, moves the
// game's cursor, and scrolls the camera at the screen edges. Which keys do
// what depends on where the player is: UpdateCommandContext picks one of the
// "Commands_" files (console, GUI, game, progress, editors) each frame and
// runs it when it changes; each file rebinds the keys and records its own
// name in input_LastFile. The input manager owns the command interpreter,
// through which every binding, script and console line runs, and the edit
// field that the console's command line and the GUI's edit boxes share.
//
// From Startup on it listens to the window's events itself: typed text goes
// into the edit field (in the game's code page, and not for a key that runs
// a binding, so the console key types no character), and while the keyboard
// device is switched off the key messages fill its key buffer. The main
// window need not pass characters or keys on.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "app/InputHost.h"
#include "app/KeyBind.h"
#include "console/CommandHost.h"
#include "console/EditField.h"
#include "core/StrBuf.h"
#include "platform/input/InputDevice.h"

class CGame;
class CCommandInterpreter;
class ICommandHost;
class CE3DSurface;
class CE3DFont;
class CMidiIn;

// The MIDI state that the MIDI thread writes and the game reads.
struct SMidiState {
    int count = 0;                         // devices opened
    std::atomic<uint8_t> controller[128];  // last value per controller number
    std::atomic<uint8_t> changed[128];     // set when a controller moved
    std::atomic<uint16_t> held[128];       // 1 while a note is held
    SMidiState();
};
// One short MIDI message, packed status | data1 << 8 | data2 << 16.
void Input_MidiMessage(SMidiState& state, uint32_t packed);

class CInputManager {
public:
    // Over the game itself (app/InputGame.cpp).
    explicit CInputManager(CGame* game, ICommandHost* commandHost = nullptr);
    // host: the game around it, owned when ownHost; commandHost: what the
    // interpreter consults.
    CInputManager(CGame* game, IInputHost* host, ICommandHost* commandHost, bool ownHost = false);
    ~CInputManager();
    CInputManager(const CInputManager&) = delete;
    CInputManager& operator=(const CInputManager&) = delete;

    // Creates the keyboard and mouse devices and hides the system cursor.
    bool Startup();
    void ProcessInput();
    bool RunScriptFile(const char* name, bool inMaps, bool asGiven);
    void UpdateCommandContext();
    void UpdateCursorRay();
    void OpenMidiIn();
    void DrawKeyStates(CE3DSurface* surface);
    // A script to run at the start of the next frame (under "Scripts").
    void SetPendingScript(const char* name) { m_pendingScript = name; }

    // The window's key messages while the keyboard device is switched off.
    void QueueWindowKey(int scanCode, bool down);
    // Typed text (UTF-8) from the window: each character of the game's code
    // page from 32 up goes into the edit field.
    void OnTextInput(const char* utf8);
    // Whether a key, with the window's modifier bits, has a Down or Repeat
    // binding in the context's tables.
    bool KeyIsBound(int code, uint16_t modifiers) const;

    // ---- key bindings
    void InitBindingTables() { m_keys.InitBindingTables(); }
    void FireBindingDown() { m_keys.FireBindingDown(); }
    void FireBindingUp() { m_keys.FireBindingUp(); }
    static int KeyCodeFromName(const char* name) { return ::KeyCodeFromName(name); }
    static char* KeyNameFromCode(char* buffer, size_t size, int code) {
        return ::KeyNameFromCode(buffer, size, code);
    }
    CKeyBindings& Keys() { return m_keys; }

    // ---- the edit field
    CEditField& Edit() { return m_edit; }
    // Registers the input area's commands and settings (the edit field's,
    // the mouse buttons', the bindings'), bound to this manager's values.
    void RegisterCommands(CCommandInterpreter* ip);
    void EditAttach(CStrBuf* text) { m_edit.Attach(text); }
    void EditDetach() { m_edit.Detach(); }
    void EditInsertChar(char c) { m_edit.InsertChar(c); }
    // The cursor's x offset in pixels in the font: -8192 with nothing
    // attached, -1 for an empty line.
    int EditRender(const CE3DFont* font) const;

    CCommandInterpreter* Interpreter() const { return m_interpreter.get(); }
    CInputDevices& Devices() { return m_devices; }
    SMidiState& Midi() { return m_midi; }
    IInputHost* Host() const { return m_host; }

    CGame* m_game;
    // The cursor (m_PosX, m_PosY) and what moved it.
    float m_cursorX = 320.0f;
    float m_cursorY = 240.0f;
    uint8_t m_cursorMoved = 0;
    uint8_t m_gameCursor = 0;                    // the game draws its own cursor
    float m_mouseSpeed = 1.0f;                   // exponent on mouse deltas
    int32_t m_mouseMoveX = 0, m_mouseMoveY = 0;  // since the last frame
    // Edge scrolling.
    float m_scrollX = 0.0f, m_scrollZ = 0.0f;
    float m_arrowX = 0.0f, m_arrowZ = 0.0f;
    // Mouse-button flags of m_SetLB, m_SetMB, m_SetRB.
    uint8_t m_leftButton = 0, m_middleButton = 0, m_rightButton = 0;
    uint8_t m_active = 0;  // devices are read only while set
    // The order modifiers that key bindings hold: queue (add to the
    // selection, append orders), direct move, keep formation.
    uint8_t m_queueFlag = 0;
    uint8_t m_directMoveFlag = 0;
    uint8_t m_keepFormationFlag = 0;
    uint8_t m_leftWasDown = 0;  // the left button at the last cursor step

private:
    void Poll();
    void ProcessDeviceEvents();
    void MouseAxis(float& cursor, int delta, int code, int extent);
    void CursorAndFocus();
    void EdgeScroll();
    void SyncInterfaceCursor();
    void CursorStepEvents();
    void SetActive(bool active);

    std::unique_ptr<ICommandHost> m_commandHost;  // forwards to the game's, adds the binding hooks
    std::unique_ptr<IInputHost> m_ownHost;
    IInputHost* m_host;
    std::unique_ptr<CCommandInterpreter> m_interpreter;
    CKeyBindings m_keys;
    CEditField m_edit;
    CInputDevices m_devices;
    SMidiState m_midi;
    std::unique_ptr<CMidiIn> m_midiIn;
    CStrBuf m_pendingScript;

    // The buffers of one frame.
    SInputEvent m_mouseEvents[kInputBufferSize];
    int m_mouseEventCount = 0;
    SInputEvent m_keyEvents[kInputBufferSize];
    int m_keyEventCount = 0;
    SMouseState m_mouseState{};
    uint8_t m_keyState[256] = {};
    uint8_t m_windowButtons[3] = {};  // left, right, middle as last seen
    int m_lastCursorX = 320, m_lastCursorY = 240;
    bool m_cursorHidden = false;
    int m_windowListener = 0;
    bool m_keyTypesNothing = false;  // the last key pressed runs a binding
};

// The game's own input host over g_pGame (app/InputGame.cpp).
IInputHost* Input_CreateGameHost(CGame* game);
