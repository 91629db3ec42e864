// The display: the game's one window, the display drivers with their modes,
// and the event pump.
//
// Everything above platform/ sees the window only through CDisplayWindow and
// the events only as SDisplayEvent records; no SDL type leaves this folder.
// The main loop calls Display_PumpEvents once per turn: it collects whatever
// the system has queued without waiting and hands each event, in order, to
// every registered listener (the main window, the input manager, the screen);
// between turns it waits in Display_WaitEvents.
// Tests feed events with Display_PostEvent and run without a display under
// SDL_VIDEODRIVER=offscreen or dummy.
//
// Display drivers are the machine's displays: the first is described as
// "Primary Display Driver"; each display mode is offered at 16 and at 32 bits,
// which only chooses the pixel format of the engine's surfaces.
#pragma once

#include <cstdint>
#include <vector>

// ---------------------------------------------------------------------------
// Video start-up.

// Starts SDL's video (idempotent; reference counted with Display_Shutdown).
// False when no video driver at all can be had.
bool Display_Init();
void Display_Shutdown();
// The name of SDL's current video driver ("x11", "offscreen", "dummy"...), or
// "" before Display_Init.
const char* Display_DriverName();

// ---------------------------------------------------------------------------
// Drivers and modes.

struct SDisplayMode {
    int width = 0;
    int height = 0;
    int refreshRate = 0;    // Hz, 0 when the system does not say
    int bitsPerPixel = 32;  // 16 or 32
};

struct SDisplayDriverInfo {
    int display = 0;       // SDL display index
    bool primary = false;  // display 0
    char description[256] = {};
    char name[256] = {};
    int boundsX = 0, boundsY = 0, boundsW = 0, boundsH = 0;  // desktop rectangle
    std::vector<SDisplayMode> modes;                         // each system mode at 16 and at 32 bits
};

// Lists the displays in system order. Empty when video cannot start.
std::vector<SDisplayDriverInfo> Display_GetDrivers();
// The desktop rectangle of a display; false for an unknown display.
bool Display_GetBounds(int display, int* x, int* y, int* w, int* h);

// ---------------------------------------------------------------------------
// The window.

class CDisplayWindow {
public:
    // Creates a hidden-by-nothing window with an OpenGL-capable surface where
    // the video driver allows one (otherwise a plain window). Null on failure.
    static CDisplayWindow* Create(const char* title, int clientWidth, int clientHeight);
    // A private window beside the game's (a developer's tool window): no
    // OpenGL, a fixed client size at (x, y) of the desktop, shown at once.
    // Its events go only to the listeners added for it
    // (Display_AddWindowListener), never to the game's. Null on failure.
    static CDisplayWindow* CreatePrivate(const char* title, int x, int y, int clientWidth, int clientHeight);
    ~CDisplayWindow();
    // Shows CPU pixels (32-bit X8R8G8B8 rows, pitch bytes apart) from the
    // client area's top-left corner, the rows from top to bottom (-1: the
    // last) only; false when the window has no surface.
    bool Present(const void* pixels, int width, int height, int pitch, int top = 0, int bottom = -1);

    // Decorated window with the given client size, centred on the display.
    bool SetWindowed(int display, int clientWidth, int clientHeight);
    // Borderless full screen over the display, switching the display to the
    // mode (a size the display does not list falls back to the desktop size
    // with the window covering it).
    bool SetFullscreen(int display, const SDisplayMode& mode);
    bool IsFullscreen() const { return m_fullscreen; }

    void SetTitle(const char* title);
    // A windowed window's client area to (x, y) of the desktop with the
    // size (widened to the minimum size); false in full screen or for a
    // size below 1.
    bool Place(int x, int y, int clientWidth, int clientHeight);
    void GetClientSize(int* width, int* height) const;
    // Top-left of the client area in desktop coordinates.
    void GetClientPosition(int* x, int* y) const;
    // The client area's size in drawable pixels (differs on high-DPI displays).
    void GetDrawableSize(int* width, int* height) const;
    void Raise();  // shows the window and gives it the focus
    // Whether the window has the keyboard focus (it is the user's active window).
    bool HasInputFocus() const;
    // Shows the window iconified (the desktop keeps it in its task list).
    void Minimize();
    // The smallest client size the user may drag the window to; a size asked
    // for later is widened to it.
    void SetMinimumSize(int clientWidth, int clientHeight);
    void GetMinimumSize(int* clientWidth, int* clientHeight) const;
    uint32_t Id() const;
    bool HasGL() const { return m_hasGL; }
    int Display() const;

    // For platform/ only: the SDL_Window behind it.
    void* Native() const { return m_window; }

private:
    CDisplayWindow() = default;
    void* m_window = nullptr;
    bool m_hasGL = false;
    bool m_fullscreen = false;
    bool m_private = false;
};

// ---------------------------------------------------------------------------
// Events.

enum class EDisplayEvent : uint8_t {
    None,
    Quit,           // the system asks the program to end (last window closed, signal)
    WindowClose,    // the user closed the window
    WindowResized,  // width, height: new client size
    FocusGained,
    FocusLost,
    Exposed,  // the window needs repainting
    KeyDown,  // scancode, keycode, modifiers, repeat
    KeyUp,
    TextInput,        // text: UTF-8
    MouseMotion,      // x, y in the client area; dx, dy relative motion
    MouseButtonDown,  // button, clicks, x, y
    MouseButtonUp,
    MouseWheel,  // wheelX, wheelY (positive y: away from the user)
};

// Modifier bits of key events.
enum : uint16_t {
    kDisplayModLeftShift = 0x0001,
    kDisplayModRightShift = 0x0002,
    kDisplayModLeftCtrl = 0x0040,
    kDisplayModRightCtrl = 0x0080,
    kDisplayModLeftAlt = 0x0100,
    kDisplayModRightAlt = 0x0200,
    kDisplayModLeftGui = 0x0400,
    kDisplayModRightGui = 0x0800,
    kDisplayModNumLock = 0x1000,
    kDisplayModCapsLock = 0x2000,
};

// Mouse buttons.
enum : int {
    kDisplayMouseLeft = 1,
    kDisplayMouseMiddle = 2,
    kDisplayMouseRight = 3,
    kDisplayMouseX1 = 4,
    kDisplayMouseX2 = 5,
};

struct SDisplayEvent {
    EDisplayEvent type = EDisplayEvent::None;
    uint32_t windowId = 0;
    uint32_t timeMs = 0;  // milliseconds since video start
    // WindowResized
    int width = 0, height = 0;
    // KeyDown / KeyUp. The scancode is the key's position as a USB HID usage
    // number (4 = A, 41 = Escape, 224 = left Ctrl...); the keycode is the
    // character the layout puts there (Unicode for printable keys, otherwise
    // 0x40000000 | scancode).
    int scancode = 0;
    int keycode = 0;
    uint16_t modifiers = 0;
    bool repeat = false;
    // TextInput
    char text[32] = {};
    // Mouse
    int x = 0, y = 0, dx = 0, dy = 0;
    int button = 0, clicks = 0;
    int wheelX = 0, wheelY = 0;
};

typedef void (*DisplayListener)(const SDisplayEvent& event, void* context);

// Registers a listener; events go to listeners in registration order. Returns
// an id for Display_RemoveListener (never 0).
int Display_AddListener(DisplayListener listener, void* context);
void Display_RemoveListener(int id);
// A listener of a private window's events only (CDisplayWindow::CreatePrivate);
// removed with the window or by Display_RemoveListener.
int Display_AddWindowListener(uint32_t windowId, DisplayListener listener, void* context);

// Queues an event as if the system had sent it (tests, synthetic input); it is
// delivered by the next Display_PumpEvents, after the system's own events.
void Display_PostEvent(const SDisplayEvent& event);

// Collects the pending events without waiting and dispatches them. Returns the
// number dispatched. Listeners may add or remove listeners while called.
int Display_PumpEvents();
// Waits up to timeoutMs for the system's next event (input, the window), then
// dispatches whatever is pending as Display_PumpEvents does; the main loop
// waits here between frames instead of spinning. A driver that cannot wait
// for events (offscreen, dummy) sleeps the time instead. Returns the number
// dispatched.
int Display_WaitEvents(int timeoutMs);

// ---------------------------------------------------------------------------
// Keyboard and mouse helpers for the input layer.

// Relative mouse mode: the cursor is hidden and captured, motion reports
// dx, dy only. False when the driver refuses.
bool Display_SetRelativeMouse(bool on);
void Display_ShowCursor(bool show);
// Current mouse position in the focused window and the button bits
// (bit button-1 set while pressed).
uint32_t Display_GetMouseState(int* x, int* y);
// Whether the window system's pointer lies over one of our windows (the
// position above stays where it left one).
bool Display_PointerInWindow();
// Text input on or off (TextInput events flow only while on).
void Display_SetTextInput(bool on);
