// The display on SDL2: video start-up, drivers and modes, the window and the
// event pump.
#include "platform/display/Display.h"

#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>

#include "platform/sys/Memory.h"

namespace {

int g_videoRefs = 0;

struct SListener {
    int id;
    DisplayListener fn;
    void* context;
    uint32_t window = 0;  // a private window's listener (0: the common ones)
};
// The ids of the private windows: their events go to their own listeners.
std::vector<uint32_t> g_privateWindows;
std::vector<SListener> g_listeners;
int g_nextListenerId = 1;
std::deque<SDisplayEvent> g_posted;

void CopyText(char* dst, size_t cap, const char* src) {
    if (!src) src = "";
    size_t n = strlen(src);
    if (n >= cap) n = cap - 1;
    memcpy(dst, src, n);
    dst[n] = 0;
}

uint16_t TranslateMods(uint16_t sdl) {
    uint16_t m = 0;
    if (sdl & KMOD_LSHIFT) m |= kDisplayModLeftShift;
    if (sdl & KMOD_RSHIFT) m |= kDisplayModRightShift;
    if (sdl & KMOD_LCTRL) m |= kDisplayModLeftCtrl;
    if (sdl & KMOD_RCTRL) m |= kDisplayModRightCtrl;
    if (sdl & KMOD_LALT) m |= kDisplayModLeftAlt;
    if (sdl & KMOD_RALT) m |= kDisplayModRightAlt;
    if (sdl & KMOD_LGUI) m |= kDisplayModLeftGui;
    if (sdl & KMOD_RGUI) m |= kDisplayModRightGui;
    if (sdl & KMOD_NUM) m |= kDisplayModNumLock;
    if (sdl & KMOD_CAPS) m |= kDisplayModCapsLock;
    return m;
}

// Turns one SDL event into ours; false for events nobody above listens to.
bool Translate(const SDL_Event& e, SDisplayEvent* out) {
    SDisplayEvent ev;
    ev.timeMs = e.common.timestamp;
    switch (e.type) {
        case SDL_QUIT:
            ev.type = EDisplayEvent::Quit;
            break;
        case SDL_WINDOWEVENT:
            ev.windowId = e.window.windowID;
            switch (e.window.event) {
                case SDL_WINDOWEVENT_CLOSE:
                    ev.type = EDisplayEvent::WindowClose;
                    break;
                case SDL_WINDOWEVENT_SIZE_CHANGED:
                    ev.type = EDisplayEvent::WindowResized;
                    ev.width = e.window.data1;
                    ev.height = e.window.data2;
                    break;
                case SDL_WINDOWEVENT_FOCUS_GAINED:
                    ev.type = EDisplayEvent::FocusGained;
                    break;
                case SDL_WINDOWEVENT_FOCUS_LOST:
                    ev.type = EDisplayEvent::FocusLost;
                    break;
                case SDL_WINDOWEVENT_EXPOSED:
                    ev.type = EDisplayEvent::Exposed;
                    break;
                default:
                    return false;
            }
            break;
        case SDL_KEYDOWN:
        case SDL_KEYUP:
            ev.type = e.type == SDL_KEYDOWN ? EDisplayEvent::KeyDown : EDisplayEvent::KeyUp;
            ev.windowId = e.key.windowID;
            ev.scancode = e.key.keysym.scancode;
            ev.keycode = e.key.keysym.sym;
            ev.modifiers = TranslateMods(e.key.keysym.mod);
            ev.repeat = e.key.repeat != 0;
            break;
        case SDL_TEXTINPUT:
            ev.type = EDisplayEvent::TextInput;
            ev.windowId = e.text.windowID;
            CopyText(ev.text, sizeof ev.text, e.text.text);
            break;
        case SDL_MOUSEMOTION:
            ev.type = EDisplayEvent::MouseMotion;
            ev.windowId = e.motion.windowID;
            ev.x = e.motion.x;
            ev.y = e.motion.y;
            ev.dx = e.motion.xrel;
            ev.dy = e.motion.yrel;
            break;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
            ev.type =
                e.type == SDL_MOUSEBUTTONDOWN ? EDisplayEvent::MouseButtonDown : EDisplayEvent::MouseButtonUp;
            ev.windowId = e.button.windowID;
            ev.button = e.button.button;
            ev.clicks = e.button.clicks;
            ev.x = e.button.x;
            ev.y = e.button.y;
            break;
        case SDL_MOUSEWHEEL:
            ev.type = EDisplayEvent::MouseWheel;
            ev.windowId = e.wheel.windowID;
            ev.wheelX = e.wheel.x;
            ev.wheelY = e.wheel.y;
            if (e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED) {
                ev.wheelX = -ev.wheelX;
                ev.wheelY = -ev.wheelY;
            }
            break;
        default:
            return false;
    }
    *out = ev;
    return true;
}

void Dispatch(const SDisplayEvent& ev) {
    // Copy: a listener may register or remove listeners while it runs.
    const bool isPrivate = ev.windowId != 0 && std::find(g_privateWindows.begin(), g_privateWindows.end(),
                                                         ev.windowId) != g_privateWindows.end();
    std::vector<SListener> now = g_listeners;
    for (const SListener& l : now) {
        if (l.window != (isPrivate ? ev.windowId : 0u)) continue;
        bool stillThere = std::any_of(g_listeners.begin(), g_listeners.end(),
                                      [&](const SListener& x) { return x.id == l.id; });
        if (stillThere) l.fn(ev, l.context);
    }
}

}  // namespace

bool Display_Init() {
    Sys_TuneAllocator();
    if (g_videoRefs > 0) {
        ++g_videoRefs;
        return true;
    }
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
    g_videoRefs = 1;
    return true;
}

void Display_Shutdown() {
    if (g_videoRefs <= 0) return;
    if (--g_videoRefs == 0) SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

const char* Display_DriverName() {
    const char* n = g_videoRefs > 0 ? SDL_GetCurrentVideoDriver() : nullptr;
    return n ? n : "";
}

std::vector<SDisplayDriverInfo> Display_GetDrivers() {
    std::vector<SDisplayDriverInfo> list;
    if (!Display_Init()) return list;
    int count = SDL_GetNumVideoDisplays();
    for (int d = 0; d < count; ++d) {
        SDisplayDriverInfo info;
        info.display = d;
        info.primary = d == 0;
        if (d == 0) {
            CopyText(info.description, sizeof info.description, "Primary Display Driver");
            CopyText(info.name, sizeof info.name, "display");
        } else {
            const char* n = SDL_GetDisplayName(d);
            char buf[300];
            snprintf(buf, sizeof buf, "%s", n ? n : "Secondary Display");
            CopyText(info.description, sizeof info.description, buf);
            snprintf(buf, sizeof buf, "display%d", d + 1);
            CopyText(info.name, sizeof info.name, buf);
        }
        SDL_Rect r{0, 0, 0, 0};
        if (SDL_GetDisplayBounds(d, &r) == 0) {
            info.boundsX = r.x;
            info.boundsY = r.y;
            info.boundsW = r.w;
            info.boundsH = r.h;
        }
        int modes = SDL_GetNumDisplayModes(d);
        std::vector<SDisplayMode> sizes;
        for (int m = 0; m < modes; ++m) {
            SDL_DisplayMode dm;
            if (SDL_GetDisplayMode(d, m, &dm) != 0) continue;
            if (dm.w <= 0 || dm.h <= 0) continue;
            SDisplayMode mode;
            mode.width = dm.w;
            mode.height = dm.h;
            mode.refreshRate = dm.refresh_rate;
            // SDL lists a size once per pixel format; keep one per size and rate.
            bool seen = std::any_of(sizes.begin(), sizes.end(), [&](const SDisplayMode& s) {
                return s.width == mode.width && s.height == mode.height && s.refreshRate == mode.refreshRate;
            });
            if (!seen) sizes.push_back(mode);
        }
        if (sizes.empty() && r.w > 0) sizes.push_back(SDisplayMode{r.w, r.h, 0, 32});
        // A display without sizes of its own (the offscreen driver) takes any
        // size: offer the usual ones.
        if (sizes.empty())
            for (SDisplayMode m : {SDisplayMode{640, 480, 60, 32}, SDisplayMode{800, 600, 60, 32},
                                   SDisplayMode{1024, 768, 60, 32}, SDisplayMode{1280, 1024, 60, 32}})
                sizes.push_back(m);
        for (const SDisplayMode& s : sizes) {
            for (int bpp : {16, 32}) {
                SDisplayMode mode = s;
                mode.bitsPerPixel = bpp;
                info.modes.push_back(mode);
            }
        }
        list.push_back(info);
    }
    Display_Shutdown();
    return list;
}

bool Display_GetBounds(int display, int* x, int* y, int* w, int* h) {
    if (g_videoRefs <= 0) return false;
    SDL_Rect r;
    if (SDL_GetDisplayBounds(display, &r) != 0) return false;
    if (x) *x = r.x;
    if (y) *y = r.y;
    if (w) *w = r.w;
    if (h) *h = r.h;
    return true;
}

// ---------------------------------------------------------------------------

CDisplayWindow* CDisplayWindow::Create(const char* title, int clientWidth, int clientHeight) {
    if (!Display_Init()) return nullptr;
    if (clientWidth < 1) clientWidth = 1;
    if (clientHeight < 1) clientHeight = 1;
    SDL_Window* w = SDL_CreateWindow(title, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, clientWidth,
                                     clientHeight, SDL_WINDOW_OPENGL | SDL_WINDOW_RESIZABLE);
    bool gl = w != nullptr;
    if (!w)
        w = SDL_CreateWindow(title, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, clientWidth, clientHeight,
                             SDL_WINDOW_RESIZABLE);
    if (!w) {
        Display_Shutdown();
        return nullptr;
    }
    CDisplayWindow* win = new CDisplayWindow;
    win->m_window = w;
    win->m_hasGL = gl;
    return win;
}

CDisplayWindow* CDisplayWindow::CreatePrivate(const char* title, int x, int y, int clientWidth,
                                              int clientHeight) {
    if (!Display_Init()) return nullptr;
    if (clientWidth < 1) clientWidth = 1;
    if (clientHeight < 1) clientHeight = 1;
    SDL_Window* w = SDL_CreateWindow(title, x, y, clientWidth, clientHeight, 0);
    if (!w) {
        Display_Shutdown();
        return nullptr;
    }
    CDisplayWindow* win = new CDisplayWindow;
    win->m_window = w;
    win->m_private = true;
    g_privateWindows.push_back(SDL_GetWindowID(w));
    return win;
}

bool CDisplayWindow::Present(const void* pixels, int width, int height, int pitch, int top, int bottom) {
    SDL_Window* w = static_cast<SDL_Window*>(m_window);
    SDL_Surface* target = w ? SDL_GetWindowSurface(w) : nullptr;
    if (!target || !pixels || width < 1 || height < 1) return false;
    if (bottom < 0 || bottom > height) bottom = height;
    if (top < 0) top = 0;
    if (top >= bottom) return true;
    SDL_Surface* source = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<void*>(pixels), width, height, 32,
                                                             pitch, SDL_PIXELFORMAT_XRGB8888);
    if (!source) return false;
    SDL_Rect band{0, top, width, bottom - top};
    SDL_Rect to = band;
    const bool ok =
        SDL_BlitSurface(source, &band, target, &to) == 0 && SDL_UpdateWindowSurfaceRects(w, &band, 1) == 0;
    SDL_FreeSurface(source);
    return ok;
}

CDisplayWindow::~CDisplayWindow() {
    if (m_private) {
        const uint32_t id = Id();
        g_privateWindows.erase(std::remove(g_privateWindows.begin(), g_privateWindows.end(), id),
                               g_privateWindows.end());
        for (SListener& l : g_listeners)
            if (l.window == id) l.fn = nullptr;
        g_listeners.erase(std::remove_if(g_listeners.begin(), g_listeners.end(),
                                         [](const SListener& l) { return l.fn == nullptr; }),
                          g_listeners.end());
    }
    if (m_window) {
        SDL_DestroyWindow(static_cast<SDL_Window*>(m_window));
        Display_Shutdown();
    }
}

bool CDisplayWindow::Place(int x, int y, int clientWidth, int clientHeight) {
    SDL_Window* w = static_cast<SDL_Window*>(m_window);
    if (!w || m_fullscreen || clientWidth < 1 || clientHeight < 1) return false;
    SDL_SetWindowSize(w, clientWidth, clientHeight);
    SDL_SetWindowPosition(w, x, y);
    return true;
}

bool CDisplayWindow::SetWindowed(int display, int clientWidth, int clientHeight) {
    SDL_Window* w = static_cast<SDL_Window*>(m_window);
    if (clientWidth < 1 || clientHeight < 1) return false;
    if (m_fullscreen) SDL_SetWindowFullscreen(w, 0);
    m_fullscreen = false;
    SDL_SetWindowBordered(w, SDL_TRUE);
    SDL_SetWindowSize(w, clientWidth, clientHeight);
    if (display < 0 || display >= SDL_GetNumVideoDisplays()) display = 0;
    SDL_SetWindowPosition(w, SDL_WINDOWPOS_CENTERED_DISPLAY(display),
                          SDL_WINDOWPOS_CENTERED_DISPLAY(display));
    SDL_ShowWindow(w);
    return true;
}

bool CDisplayWindow::SetFullscreen(int display, const SDisplayMode& mode) {
    SDL_Window* w = static_cast<SDL_Window*>(m_window);
    if (mode.width < 1 || mode.height < 1) return false;
    if (display < 0 || display >= SDL_GetNumVideoDisplays()) return false;
    SDL_DisplayMode want{};
    want.w = mode.width;
    want.h = mode.height;
    want.refresh_rate = mode.refreshRate;
    SDL_DisplayMode got{};
    SDL_DisplayMode current{};
    bool sizeless = SDL_GetDesktopDisplayMode(display, &current) != 0 || current.w <= 0;
    if (sizeless) {
        // A display without real modes (offscreen): the window takes the size.
        SDL_SetWindowBordered(w, SDL_FALSE);
        SDL_SetWindowSize(w, mode.width, mode.height);
        SDL_SetWindowFullscreen(w, SDL_WINDOW_FULLSCREEN);
        int cw = 0, ch = 0;
        SDL_GetWindowSize(w, &cw, &ch);
        if (cw != mode.width || ch != mode.height) return false;
        m_fullscreen = true;
        return true;
    }
    if (!SDL_GetClosestDisplayMode(display, &want, &got)) return false;
    if (got.w != mode.width || got.h != mode.height) return false;
    SDL_Rect r;
    SDL_GetDisplayBounds(display, &r);
    SDL_SetWindowBordered(w, SDL_FALSE);
    SDL_SetWindowPosition(w, r.x, r.y);
    SDL_SetWindowSize(w, mode.width, mode.height);
    if (SDL_SetWindowDisplayMode(w, &got) != 0) return false;
    if (SDL_SetWindowFullscreen(w, SDL_WINDOW_FULLSCREEN) != 0) return false;
    m_fullscreen = true;
    SDL_ShowWindow(w);
    return true;
}

void CDisplayWindow::SetTitle(const char* title) {
    SDL_SetWindowTitle(static_cast<SDL_Window*>(m_window), title ? title : "");
}

void CDisplayWindow::GetClientSize(int* width, int* height) const {
    int w = 0, h = 0;
    SDL_GetWindowSize(static_cast<SDL_Window*>(m_window), &w, &h);
    if (width) *width = w;
    if (height) *height = h;
}

void CDisplayWindow::GetClientPosition(int* x, int* y) const {
    int px = 0, py = 0;
    SDL_GetWindowPosition(static_cast<SDL_Window*>(m_window), &px, &py);
    if (x) *x = px;
    if (y) *y = py;
}

void CDisplayWindow::GetDrawableSize(int* width, int* height) const {
    int w = 0, h = 0;
    if (m_hasGL)
        SDL_GL_GetDrawableSize(static_cast<SDL_Window*>(m_window), &w, &h);
    else
        SDL_GetWindowSize(static_cast<SDL_Window*>(m_window), &w, &h);
    if (width) *width = w;
    if (height) *height = h;
}

void CDisplayWindow::Raise() {
    SDL_Window* w = static_cast<SDL_Window*>(m_window);
    SDL_ShowWindow(w);
    SDL_RaiseWindow(w);
}

bool CDisplayWindow::HasInputFocus() const {
    return (SDL_GetWindowFlags(static_cast<SDL_Window*>(m_window)) & SDL_WINDOW_INPUT_FOCUS) != 0;
}

void CDisplayWindow::Minimize() {
    SDL_Window* w = static_cast<SDL_Window*>(m_window);
    SDL_ShowWindow(w);
    SDL_MinimizeWindow(w);
}

void CDisplayWindow::SetMinimumSize(int clientWidth, int clientHeight) {
    SDL_SetWindowMinimumSize(static_cast<SDL_Window*>(m_window), std::max(clientWidth, 1),
                             std::max(clientHeight, 1));
}

void CDisplayWindow::GetMinimumSize(int* clientWidth, int* clientHeight) const {
    int w = 0, h = 0;
    SDL_GetWindowMinimumSize(static_cast<SDL_Window*>(m_window), &w, &h);
    if (clientWidth) *clientWidth = w;
    if (clientHeight) *clientHeight = h;
}

uint32_t CDisplayWindow::Id() const {
    return SDL_GetWindowID(static_cast<SDL_Window*>(m_window));
}

int CDisplayWindow::Display() const {
    int d = SDL_GetWindowDisplayIndex(static_cast<SDL_Window*>(m_window));
    return d < 0 ? 0 : d;
}

// ---------------------------------------------------------------------------

int Display_AddListener(DisplayListener listener, void* context) {
    if (!listener) return 0;
    int id = g_nextListenerId++;
    g_listeners.push_back(SListener{id, listener, context});
    return id;
}

int Display_AddWindowListener(uint32_t windowId, DisplayListener listener, void* context) {
    if (!listener || windowId == 0) return 0;
    int id = g_nextListenerId++;
    g_listeners.push_back(SListener{id, listener, context, windowId});
    return id;
}

void Display_RemoveListener(int id) {
    g_listeners.erase(std::remove_if(g_listeners.begin(), g_listeners.end(),
                                     [&](const SListener& l) { return l.id == id; }),
                      g_listeners.end());
}

void Display_PostEvent(const SDisplayEvent& event) {
    g_posted.push_back(event);
}

int Display_PumpEvents() {
    int count = 0;
    if (g_videoRefs > 0) {
        SDL_Event e;
        while (SDL_PollEvent(&e)) {
            SDisplayEvent ev;
            if (!Translate(e, &ev)) continue;
            Dispatch(ev);
            ++count;
        }
    }
    // Only the events queued before this pump: a listener that posts an event
    // sees it delivered next turn, never in an endless loop.
    size_t pending = g_posted.size();
    for (size_t i = 0; i < pending && !g_posted.empty(); ++i) {
        SDisplayEvent ev = g_posted.front();
        g_posted.pop_front();
        Dispatch(ev);
        ++count;
    }
    return count;
}

int Display_WaitEvents(int timeoutMs) {
    if (timeoutMs <= 0) return Display_PumpEvents();
    const char* driver = g_videoRefs > 0 ? SDL_GetCurrentVideoDriver() : nullptr;
    // Only these drivers wait for their events; SDL polls the others every
    // millisecond, which costs more than the sleep that stands in for it.
    bool waits = driver && (!std::strcmp(driver, "x11") || !std::strcmp(driver, "wayland"));
    int count = 0;
    if (waits) {
        SDL_Event e;
        if (SDL_WaitEventTimeout(&e, timeoutMs)) {
            SDisplayEvent ev;
            if (Translate(e, &ev)) {
                Dispatch(ev);
                ++count;
            }
        }
    } else {
        SDL_Delay(static_cast<Uint32>(timeoutMs));
    }
    return count + Display_PumpEvents();
}

bool Display_SetRelativeMouse(bool on) {
    return SDL_SetRelativeMouseMode(on ? SDL_TRUE : SDL_FALSE) == 0;
}

void Display_ShowCursor(bool show) {
    SDL_ShowCursor(show ? SDL_ENABLE : SDL_DISABLE);
}

uint32_t Display_GetMouseState(int* x, int* y) {
    int px = 0, py = 0;
    uint32_t b = g_videoRefs > 0 ? SDL_GetMouseState(&px, &py) : 0;
    if (x) *x = px;
    if (y) *y = py;
    uint32_t bits = 0;
    for (int i = 1; i <= 5; ++i)
        if (b & SDL_BUTTON(i)) bits |= 1u << (i - 1);
    return bits;
}

bool Display_PointerInWindow() {
    return g_videoRefs > 0 && SDL_GetMouseFocus() != nullptr;
}

void Display_SetTextInput(bool on) {
    if (on)
        SDL_StartTextInput();
    else
        SDL_StopTextInput();
}
