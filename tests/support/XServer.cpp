#include "tests/support/XServer.h"

#include <dlfcn.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <thread>

bool CTestXServer::Start() {
    if (StartOn(nullptr)) return true;
    for (int attempt = 0; attempt < 8; ++attempt) {
        std::string display = ":" + std::to_string(300 + (getpid() * 7 + attempt * 53) % 600);
        if (StartOn(display.c_str())) return true;
    }
    return false;
}

bool CTestXServer::StartOn(const char* display) {
    // The server writes its display number to the descriptor given with
    // -displayfd once it accepts clients.
    SProcessOptions options;
    options.program = "Xvfb";
    if (display) options.args.push_back(display);
    for (const char* a : {"-displayfd", "3", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"})
        options.args.push_back(a);
    options.outputFd = 3;
    if (!m_server.Start(options)) return false;
    std::string number;
    if (m_server.WaitForOutput("\n", 30)) {
        number = m_server.Output();
        number.resize(number.find('\n'));
    }
    if (number.empty()) {
        m_server.Stop();
        return false;
    }
    m_display = ":" + number;
    return true;
}

std::string CTestXServer::Shell(const std::string& command) const {
    std::string out;
    Test_RunShell(m_display.empty() ? command : "DISPLAY=" + m_display + " " + command, &out, false);
    return out;
}

STestShot CTestXServer::Screenshot(const std::string& window) const {
    STestShot shot;
    std::string geometry = Shell("xdotool getwindowgeometry " + window);
    size_t at = geometry.find("Geometry: ");
    if (at == std::string::npos ||
        std::sscanf(geometry.c_str() + at, "Geometry: %dx%d", &shot.width, &shot.height) != 2)
        return STestShot();
    std::string file = "/tmp/tessarak-shot-" + std::to_string(getpid()) + ".rgb";
    Shell("import -window " + window + " -depth 8 rgb:" + file + " 2>/dev/null");
    std::ifstream in(file, std::ios::binary);
    shot.rgb.assign(std::istreambuf_iterator<char>(in), {});
    std::remove(file.c_str());
    if (!shot.Valid()) return STestShot();
    return shot;
}

bool Test_OnPath(const char* tool) {
    std::string out;
    Test_RunShell(std::string("command -v ") + tool, &out, false);
    return !out.empty();
}

STestShot Test_ShotUntil(const CTestXServer& x, const std::string& window,
                         const std::function<bool(const STestShot&)>& check, double seconds) {
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    STestShot shot;
    do {
        shot = x.Screenshot(window);
        if (shot.Valid() && shot.width == 640 && check(shot)) return shot;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    } while (std::chrono::steady_clock::now() < end);
    return shot;
}

void Test_ClickAt(const CTestXServer& x, const std::string& window, int px, int py) {
    x.Shell("xdotool mousemove --window " + window + " " + std::to_string(px) + " " + std::to_string(py) +
            " click 1");
}

namespace {
// The few Xlib types the close request needs, as the X protocol's client
// library lays them out (taken through dlopen: no window-system header in
// the tests).
struct SXClientMessage {
    int type;
    unsigned long serial;
    int sendEvent;
    void* display;
    unsigned long window;
    unsigned long messageType;
    int format;
    long data[5];
};
union UXEvent {
    SXClientMessage message;
    long pad[24];
};
constexpr int kClientMessage = 33;
}  // namespace

bool CTestXServer::CloseWindow(const std::string& window) const {
    void* x11 = dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
    if (!x11) return false;
    using OpenFn = void* (*)(const char*);
    using AtomFn = unsigned long (*)(void*, const char*, int);
    using SendFn = int (*)(void*, unsigned long, int, long, UXEvent*);
    using DisplayFn = int (*)(void*);
    auto open = reinterpret_cast<OpenFn>(dlsym(x11, "XOpenDisplay"));
    auto atom = reinterpret_cast<AtomFn>(dlsym(x11, "XInternAtom"));
    auto send = reinterpret_cast<SendFn>(dlsym(x11, "XSendEvent"));
    auto flush = reinterpret_cast<DisplayFn>(dlsym(x11, "XFlush"));
    auto close = reinterpret_cast<DisplayFn>(dlsym(x11, "XCloseDisplay"));
    void* display = open && atom && send && flush && close ? open(m_display.c_str()) : nullptr;
    bool sent = false;
    if (display) {
        UXEvent e{};
        e.message.type = kClientMessage;
        e.message.window = std::strtoul(window.c_str(), nullptr, 10);
        e.message.messageType = atom(display, "WM_PROTOCOLS", 0);
        e.message.format = 32;
        e.message.data[0] = static_cast<long>(atom(display, "WM_DELETE_WINDOW", 0));
        e.message.data[1] = 0;  // CurrentTime
        sent = send(display, e.message.window, 0, 0, &e) != 0;
        flush(display);
        close(display);
    }
    dlclose(x11);
    return sent;
}
