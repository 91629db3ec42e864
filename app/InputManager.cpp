#include "app/InputManager.h"

#include <strings.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "app/GameConsole.h"
#include "app/GameView.h"
#include "console/CommandInterpreter.h"
#include "console/CommandTable.h"
#include "console/Console.h"
#include "e3d/Font.h"
#include "e3d/Surface.h"
#include "platform/display/Display.h"
#include "platform/input/Clipboard.h"
#include "platform/input/ScanCodes.h"
#include "platform/midi/MidiIn.h"

void RegisterInputCommands(CCommandInterpreter* interpreter);  // app/InputCommands.cpp
CInputManager* g_pInputManager = nullptr;

namespace {
constexpr double kCountsPerSecond = 1193182.0;

// The interpreter's view of the game, as the game gives it, with the two
// things that belong to the input manager: script files run through it, and
// a change of input_LastFile fires the held keys' Down lines again.
class CInputCommandHost : public ICommandHost {
public:
    CInputCommandHost(ICommandHost* inner, CInputManager* input) : m_inner(inner), m_input(input) {}
    uint32_t GetGameStateBits() override { return m_inner ? m_inner->GetGameStateBits() : 0; }
    CConsole* GetConsole() override { return m_inner ? m_inner->GetConsole() : nullptr; }
    const char* GetPath(const char* subFolder, const char* name) override {
        return m_inner ? m_inner->GetPath(subFolder, name) : m_input->Host()->GetPath(subFolder, name);
    }
    void RunScriptFile(CCommandInterpreter*, const char* name, bool inMaps, bool asGiven) override {
        m_input->RunScriptFile(name, inMaps, asGiven);
    }
    void OnBindingsFileChanged() override {
        m_input->FireBindingDown();
        if (m_inner) m_inner->OnBindingsFileChanged();
    }

private:
    ICommandHost* m_inner;
    CInputManager* m_input;
};

CEditField::EClipResult FromPlatform(EClipboardResult r) {
    switch (r) {
        case CLIPBOARD_OK:
            return CEditField::CLIP_OK;
        case CLIPBOARD_NOT_TEXT:
            return CEditField::CLIP_NOT_TEXT;
        default:
            return CEditField::CLIP_CANNOT_OPEN;
    }
}
}  // namespace

CInputManager::CInputManager(CGame* game, IInputHost* host, ICommandHost* commandHost, bool ownHost)
    : m_game(game),
      m_ownHost(ownHost ? host : nullptr),
      m_host(host),
      m_keys({[this](const char* line) { m_interpreter->Execute(false, line); },
              [this](const char* line) { m_interpreter->Print(line); }, [this] { return m_host->Now(); },
              static_cast<uint64_t>(kCountsPerSecond)}) {
    g_pInputManager = this;
    OpenMidiIn();
    m_commandHost = std::make_unique<CInputCommandHost>(commandHost, this);
    m_interpreter = std::make_unique<CCommandInterpreter>(game, m_commandHost.get());
    m_keys.InitBindingTables();
    CommandArea_Set(kAreaInput, &RegisterInputCommands);
    // The display settings must be known before the display is set up.
    if (game) RegisterVideoCommands(m_interpreter.get());

    CEditField::SHooks edit;
    edit.blinkReset = [this] {
        if (CConsole* console = m_host->Console()) console->ResetBlink();
    };
    edit.print = [this](const char* line) { m_interpreter->Print(line); };
    edit.seconds = [this] { return static_cast<double>(m_host->Now()) / kCountsPerSecond; };
    edit.getClipboard = [this](std::string& out) {
        return FromPlatform(Clipboard_GetText(out, m_host->CodePage()));
    };
    edit.setClipboard = [this](const std::string& in) {
        return FromPlatform(Clipboard_SetText(in.data(), in.size(), m_host->CodePage()));
    };
    m_edit.SetHooks(edit);
}

CInputManager::~CInputManager() {
    if (m_windowListener) Display_RemoveListener(m_windowListener);
    m_devices.AcquireKeyboard(false);
    m_devices.AcquireMouse(false);
    if (m_midiIn) m_midiIn->Close();
    m_midiIn.reset();
    m_interpreter.reset();
    m_commandHost.reset();
    if (m_cursorHidden) m_host->ShowSystemCursor(true);
    if (g_pInputManager == this) g_pInputManager = nullptr;
}

void CInputManager::OpenMidiIn() {
    // The count is what the system reports; the inputs close with the manager.
    m_midiIn = std::make_unique<CMidiIn>();
    m_midi.count = m_midiIn->Open(
        [](uint32_t packed, void* context) { Input_MidiMessage(*static_cast<SMidiState*>(context), packed); },
        &m_midi);
}

bool CInputManager::KeyIsBound(int code, uint16_t modifiers) const {
    // A key that runs a command line (the console key, Return) does not
    // also type its character into the line.
    bool control = modifiers & (kDisplayModLeftCtrl | kDisplayModRightCtrl);
    bool shift = modifiers & (kDisplayModLeftShift | kDisplayModRightShift);
    bool alt = modifiers & (kDisplayModLeftAlt | kDisplayModRightAlt);
    int group = BindGroupFromModifiers(control, shift, alt, false);
    for (int g : {group, static_cast<int>(BINDGROUP_OVERRIDE)})
        for (int event : {KEYEVENT_DOWN, KEYEVENT_REPEAT})
            if (!m_keys.Binding(g, event, code).empty()) return true;
    return false;
}

void CInputManager::OnTextInput(const char* utf8) {
    std::string text = CodePage_FromUtf8(utf8 ? utf8 : "", m_host->CodePage());
    for (char c : text)
        if (static_cast<uint8_t>(c) >= 32) m_edit.InsertChar(c);
}

bool CInputManager::Startup() {
    m_devices.Create(*m_host->MouseSwitch() != 0, *m_host->KeyboardSwitch() != 0);
    if (!m_windowListener)
        m_windowListener = Display_AddListener(
            [](const SDisplayEvent& e, void* context) {
                CInputManager* self = static_cast<CInputManager*>(context);
                if (e.type == EDisplayEvent::TextInput) {
                    if (!self->m_keyTypesNothing) self->OnTextInput(e.text);
                    self->m_keyTypesNothing = false;
                } else if (e.type == EDisplayEvent::KeyDown || e.type == EDisplayEvent::KeyUp) {
                    int code = Input_ScanCodeFromSdl(e.scancode);
                    // A bound key's own text comes between its down and up; once
                    // it is up, text (from an input method, say) types again.
                    self->m_keyTypesNothing =
                        e.type == EDisplayEvent::KeyDown && self->KeyIsBound(code, e.modifiers);
                    if (!e.repeat) self->QueueWindowKey(code, e.type == EDisplayEvent::KeyDown);
                }
            },
            this);
    Display_SetTextInput(true);
    int x, y;
    uint32_t buttons;
    if (m_host->SystemCursor(&x, &y, &buttons)) {
        m_cursorX = static_cast<float>(x);
        m_cursorY = static_cast<float>(y);
    }
    m_host->ShowSystemCursor(false);
    m_cursorHidden = true;
    return true;
}

void CInputManager::QueueWindowKey(int scanCode, bool down) {
    if (*m_host->KeyboardSwitch() || scanCode <= 0 || scanCode > 255) return;
    if (m_keyEventCount >= 255) return;
    m_keyState[scanCode] = down ? 1 : 0;
    m_keyEvents[m_keyEventCount++] = {static_cast<uint32_t>(scanCode), down ? 0x80u : 0u, 0, 0};
}

bool CInputManager::RunScriptFile(const char* name, bool inMaps, bool asGiven) {
    // The path is copied: the script may resolve paths of its own.
    CStrBuf path(asGiven ? name : m_commandHost->GetPath(inMaps ? "Maps" : "Scripts", name));
    return m_interpreter->ExecuteFile(path.GetText());
}

void CInputManager::ProcessInput() {
    if (!m_pendingScript.IsEmpty()) {
        CStrBuf name(m_pendingScript);
        m_pendingScript.Clear();
        RunScriptFile(name.GetText(), false, false);
    }
    Poll();
    ProcessDeviceEvents();
    CursorAndFocus();
    if (m_host->RenderFrames()) EdgeScroll();
}

void CInputManager::Poll() {
    uint8_t& mouseSwitch = *m_host->MouseSwitch();
    uint8_t& keyboardSwitch = *m_host->KeyboardSwitch();

    if (m_devices.HasMouse() && mouseSwitch) {
        m_mouseEventCount = 0;
        if (m_active) {
            int n = m_devices.ReadMouseEvents(m_mouseEvents, kInputBufferSize);
            m_mouseEventCount = n < 0 ? 0 : n;
        }
        if (!m_devices.ReadMouseState(m_mouseState)) std::memset(&m_mouseState, 0, sizeof m_mouseState);
    } else {
        // The window system's cursor and its three buttons stand in.
        int x = 0, y = 0;
        uint32_t buttons = 0;
        m_mouseEventCount = 0;
        if (m_host->SystemCursor(&x, &y, &buttons)) {
            m_mouseState.x = x;
            m_mouseState.y = y;
        }
        static const uint32_t kBits[3] = {1u << 0, 1u << 2, 1u << 1};  // left, right, middle
        for (int b = 0; b < 3; ++b) {
            uint8_t down = (buttons & kBits[b]) ? 0x80 : 0;
            m_mouseState.buttons[b] = down;
            if (down != m_windowButtons[b]) {
                m_mouseEvents[m_mouseEventCount++] = {kMouseOffsetButton0 + b, down, 0, 0};
                m_windowButtons[b] = down;
            }
        }
    }

    if (!m_devices.HasKeyboard() || !keyboardSwitch) {
        // The window's key messages fill the buffer instead (QueueWindowKey).
        m_devices.AcquireKeyboard(false);
        keyboardSwitch = 0;
        return;
    }
    m_keyEventCount = 0;
    if (m_active) {
        int n = m_devices.ReadKeyboardEvents(m_keyEvents, kInputBufferSize);
        m_keyEventCount = n < 0 ? 0 : n;
        // A failed state read must not leave old key states behind: the
        // comparison below would turn them into presses and releases.
        if (!m_devices.ReadKeyboardState(m_keyState)) std::memset(m_keyState, 0, sizeof m_keyState);
    }
}

void CInputManager::MouseAxis(float& cursor, int delta, int code, int extent) {
    float step = std::pow(static_cast<float>(std::abs(delta)), m_mouseSpeed);
    cursor += delta < 0 ? -step : step;
    SyncInterfaceCursor();
    if (extent > 0) m_keys.SetValue(code, (extent / 2 - cursor) / extent);
    m_keys.Change(code);
    m_cursorMoved = 1;
}

void CInputManager::ProcessDeviceEvents() {
    bool focus = m_host->HasFocus();
    int width = 640, height = 480;
    m_host->ScreenSize(&width, &height);

    if (focus) {
        for (int i = 0; i < m_keyEventCount; ++i) {
            int code = static_cast<int>(m_keyEvents[i].offset);
            if (m_keyEvents[i].data & 0x80)
                m_keys.KeyDown(code);
            else
                m_keys.KeyUp(code);
        }
        if (*m_host->KeyboardSwitch()) {
            for (int code = 1; code < 256; ++code) {
                bool down = m_keyState[code] != 0;
                if (down && m_keys.Value(code) == 0.0f)
                    m_keys.KeyDown(code);
                else if (!down && m_keys.Value(code) != 0.0f)
                    m_keys.KeyUp(code);
            }
        }
    }

    int sx, sy;
    uint32_t sb;
    if (!focus) {
        if (m_host->SystemCursor(&sx, &sy, &sb)) {
            m_cursorX = static_cast<float>(sx);
            m_cursorY = static_cast<float>(sy);
        }
    } else if (*m_host->MouseSwitch()) {
        for (int i = 0; i < m_mouseEventCount; ++i) {
            const SInputEvent& e = m_mouseEvents[i];
            int delta = static_cast<int32_t>(e.data);
            if (e.offset == kMouseOffsetX) {
                MouseAxis(m_cursorX, delta, kKeyMouseAxisX, width);
            } else if (e.offset == kMouseOffsetY) {
                MouseAxis(m_cursorY, delta, kKeyMouseAxisY, height);
            } else if (e.offset == kMouseOffsetZ) {
                m_keys.SetValue(kKeyMouseAxisZ, static_cast<float>(delta));
                m_keys.Change(kKeyMouseAxisZ);
                // A wheel step is a press without a release.
                int code = delta > 0 ? kKeyMouseWheelUp : delta < 0 ? kKeyMouseWheelDown : 0;
                if (code) {
                    m_keys.KeyDown(code);
                    m_keys.SetValue(code, 0.0f);
                }
            } else if (e.offset >= kMouseOffsetButton0 && e.offset < kMouseOffsetButton0 + 4) {
                int code = kKeyMouseButton1 + static_cast<int>(e.offset - kMouseOffsetButton0);
                if (e.data & 0x80)
                    m_keys.KeyDown(code);
                else
                    m_keys.KeyUp(code);
            }
        }
        // Where the desktop has a pointer of its own (a window), it is the
        // truth; in full screen the deltas above moved the cursor.
        if (m_host->Windowed() && m_host->SystemCursor(&sx, &sy, &sb)) {
            if (static_cast<int>(m_cursorX) != sx || static_cast<int>(m_cursorY) != sy) {
                m_cursorX = static_cast<float>(sx);
                m_cursorY = static_cast<float>(sy);
                m_cursorMoved = 1;
                SyncInterfaceCursor();
            }
        }
        for (int b = 0; b < 8; ++b) {
            int code = kKeyMouseButton1 + b;
            bool down = (m_mouseState.buttons[b] & 0x80) != 0;
            if (down && m_keys.Value(code) == 0.0f)
                m_keys.KeyDown(code);
            else if (!down && m_keys.Value(code) != 0.0f)
                m_keys.KeyUp(code);
        }
    } else {
        for (int i = 0; i < m_mouseEventCount; ++i) {
            const SInputEvent& e = m_mouseEvents[i];
            int code = kKeyMouseButton1 + static_cast<int>(e.offset - kMouseOffsetButton0);
            if (e.data & 0x80)
                m_keys.KeyDown(code);
            else
                m_keys.KeyUp(code);
        }
        if (m_host->SystemCursor(&sx, &sy, &sb) &&
            (static_cast<int>(m_cursorX) != sx || static_cast<int>(m_cursorY) != sy)) {
            m_cursorX = static_cast<float>(sx);
            m_cursorY = static_cast<float>(sy);
            m_cursorMoved = 1;
            SyncInterfaceCursor();
        }
    }

    m_keys.ProcessHeldKeys(focus);
    m_mouseEventCount = 0;
    m_keyEventCount = 0;
}

void CInputManager::SyncInterfaceCursor() {
    m_host->SetInterfaceCursor(static_cast<int>(m_cursorX), static_cast<int>(m_cursorY));
}

void CInputManager::SetActive(bool active) {
    if (active == (m_active != 0)) return;
    m_active = active;
    m_devices.AcquireMouse(active);
    m_devices.AcquireKeyboard(active && *m_host->KeyboardSwitch());
    m_host->ShowSystemCursor(!active);
    m_cursorHidden = active;
}

void CInputManager::CursorAndFocus() {
    bool focus = m_host->HasFocus();
    bool windowed = m_host->Windowed();
    int width = 640, height = 480;
    m_host->ScreenSize(&width, &height);

    bool inside = true;
    int sx, sy;
    uint32_t sb;
    if (windowed && m_host->SystemCursor(&sx, &sy, &sb))
        inside = sx >= 0 && sy >= 0 && sx < width && sy < height;
    SetActive(focus && inside);

    CConsole* console = m_host->Console();
    bool consoleHidden = !console || !console->IsVisible();
    if (focus)
        m_gameCursor = windowed ? consoleHidden : 1;
    else if (windowed)
        m_gameCursor = 0;

    float maxX = static_cast<float>(width > 0 ? width - 1 : 0);
    float maxY = static_cast<float>(height > 0 ? height - 1 : 0);
    m_cursorX = std::fmin(std::fmax(m_cursorX, 0.0f), maxX);
    m_cursorY = std::fmin(std::fmax(m_cursorY, 0.0f), maxY);
    SyncInterfaceCursor();

    int cx = static_cast<int>(m_cursorX), cy = static_cast<int>(m_cursorY);
    m_mouseMoveX = cx - m_lastCursorX;
    m_mouseMoveY = cy - m_lastCursorY;
    m_lastCursorX = cx;
    m_lastCursorY = cy;
    UpdateCursorRay();
    CursorStepEvents();
}

void CInputManager::CursorStepEvents() {
    // The interface hears the held or idle left button on every step (the
    // press and the release themselves come from m_SetLB), and each move;
    // nothing while the full console is open.
    const bool was = m_leftWasDown != 0;
    m_leftWasDown = m_leftButton;
    CConsole* console = m_host->Console();
    if (console && console->IsVisible() && !console->m_mini) return;
    if (m_leftButton && was)
        m_host->MouseEvent(0);
    else if (!m_leftButton && !was)
        m_host->MouseEvent(1);
    if (m_mouseMoveX != 0 || m_mouseMoveY != 0) m_host->MouseEvent(3);
}

void CInputManager::UpdateCursorRay() {
    m_host->UpdateCursorRay(m_cursorX, m_cursorY);
}

namespace {
constexpr float kScrollPerReach = 0.7f;
}  // namespace

void CInputManager::EdgeScroll() {
    // While a GUI screen is up, and in a window while the console shows, the
    // edges belong to the pointer, not to the camera; a pointer that left the
    // window (its last place is on an edge) scrolls nothing.
    CConsole* console = m_host->Console();
    bool blocked = m_host->InterfaceScreenActive() || (m_host->Windowed() && console && console->IsVisible());
    if (!m_host->PointerInWindow()) {
        // Away from the window the view stands at once.
        blocked = true;
        m_scrollX = m_scrollZ = 0.0f;
    }
    int width = 640, height = 480;
    m_host->ScreenSize(&width, &height);
    int dirX = 0, dirZ = 0;
    if (!blocked) {
        if (m_cursorX < 2) dirX = -1;
        if (m_cursorX > width - 3) dirX = 1;
        if (m_cursorY < 2) dirZ = 1;
        if (m_cursorY > height - 3) dirZ = -1;
    }
    float dt = m_host->FrameTime();
    // The scroll speed times the view's distance factor: at the speed factor
    // 1.0 the view crosses about seven tenths of the ground it spans a second.
    float limit = m_host->ScrollSpeed() * kScrollPerReach * m_host->ViewReach() *
                  (m_host->FullConsole() ? 80.0f : 1.0f);
    // Velocity grows towards the edge's direction (turning at once when the
    // cursor crosses to the other side) and decays when it leaves.
    auto axis = [&](float& v, int dir) {
        const float accel = 4.0f * limit;
        if (dir == 0) {
            float decay = accel * dt;
            v = std::fabs(v) <= decay ? 0.0f : v - std::copysign(decay, v);
        } else {
            if (v * dir < 0) v = 0.0f;
            v += dir * accel * dt;
        }
    };
    axis(m_scrollX, dirX);
    axis(m_scrollZ, dirZ);
    float len = std::sqrt(m_scrollX * m_scrollX + m_scrollZ * m_scrollZ);
    if (len > limit && len > 0.0f) {
        m_scrollX *= limit / len;
        m_scrollZ *= limit / len;
    }
    m_arrowX = dirX * 0.7f;
    m_arrowZ = dirZ * 0.7f;
    m_host->ScrollView(m_scrollX, m_scrollZ, m_arrowX, m_arrowZ);
}

const char* Input_GuiBindingFile(int32_t interfaceMode, const char* screenFile) {
    if (interfaceMode == 3) return "Commands_GUISetting.cfg";
    if (screenFile && *screenFile) return screenFile;
    return "Commands_GUI.cfg";
}

const char* Input_ChooseContextFile(const SInputContextFacts& f) {
    if (f.videoPlaying) return nullptr;
    const char* gui = Input_GuiBindingFile(f.interfaceMode, f.guiBindingFile);
    if (f.progressActive) return "Commands_Progress.cfg";
    if (f.consoleVisible) return f.miniConsole ? "Commands_MiniConsole.cfg" : "Commands_Console.cfg";
    if (f.guiWord == 1) return gui;
    if (f.gameState == 0 || f.gameState == 1) return "Commands_Progress.cfg";
    if (f.gameScreen) return "Commands_Game.cfg";
    if (f.activeGUI != 1000) return gui;
    if (f.emitterEdit) return "Commands_EmitterEdit.cfg";
    if (f.mapEdit) return "Commands_MapEdit.cfg";
    return "Commands_Game.cfg";
}

void CInputManager::UpdateCommandContext() {
    m_host->UpdateInterfaceContext();
    SInputContextFacts facts;
    m_host->ContextFacts(facts);
    const char* file = Input_ChooseContextFile(facts);
    if (!file) return;

    CConsole* console = m_host->Console();
    bool consoleContext =
        !strcasecmp(file, "Commands_Console.cfg") || !strcasecmp(file, "Commands_MiniConsole.cfg");
    CStrBuf* target = nullptr;
    if (consoleContext && console)
        target = &console->CommandLine();
    else if (!strcasecmp(file, "Commands_GUISetting.cfg"))
        target = m_host->SettingsEditString();
    // Attached again only when it is another string, so that the field keeps
    // its cursor and selection from frame to frame.
    if (!target) {
        m_edit.Detach();
    } else if (m_edit.Attached() != target) {
        // A GUI edit box starts with its whole text selected: what is typed
        // replaces it.
        if (!consoleContext) m_edit.m_selectOnAttach = 1;
        m_edit.Attach(target);
    }

    if (!m_interpreter->LastBindingsFile().EqualsNoCase(file)) {
        m_keys.FireBindingUp();
        RunScriptFile(file, false, false);
    }
}

int CInputManager::EditRender(const CE3DFont* font) const {
    return m_edit.CursorOffset([font](uint8_t c) { return font ? font->GlyphWidth(c) : 0; });
}

void CInputManager::DrawKeyStates(CE3DSurface* surface) {
    if (!surface) return;
    const int bottom = surface->m_height - 300;
    int x = 0, y = 0;
    char line[64];
    auto put = [&](const char* text, bool red) {
        if (red)
            Game_DrawSurfaceText(surface, text, x, y, 255, 0, 0);
        else
            Game_DrawSurfaceText(surface, text, x, y, 200, 255, 200);
        y += 12;
        if (y > bottom) {
            y = 0;
            x += 80;
        }
    };
    for (int code = 0; code < kKeyCodeCount; ++code) {
        float v = m_keys.Value(code);
        std::snprintf(line, sizeof line, "%-3d %f", code, v);
        put(line, v != 0.0f);
    }
    for (int b = 0; b < 8; ++b) {
        bool down = (m_mouseState.buttons[b] & 0x80) != 0;
        std::snprintf(line, sizeof line, "%-3d %s", b, down ? "true" : "false");
        put(line, down);
    }
}
