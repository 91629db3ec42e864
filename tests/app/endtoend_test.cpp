// The running game driven by real X events: xdotool opens the console, types
// a command, edits it with the bound keys, runs it, clicks the mouse, and
// changes the windowed mode by command and back; the results are read from
// the game's standard output and from screenshots of its window. The test
// starts an X server of its own (Xvfb), so that no other window takes the
// keyboard focus meanwhile; without Xvfb, xdotool or ImageMagick's import it
// is skipped.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/Installation.h"
#include "tests/support/TempDir.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

std::string g_display;  // ":N" of the test's own X server

std::string Shell(const std::string& command) {
    std::string out;
    std::string line = g_display.empty() ? command : "DISPLAY=" + g_display + " " + command;
    if (FILE* p = popen(line.c_str(), "r")) {
        char buf[512];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        pclose(p);
    }
    return out;
}

bool OnPath(const char* tool) {
    return !Shell(std::string("command -v ") + tool + " 2>/dev/null").empty();
}

class CGameProcess {
public:
    // Runs the game of the installation in folder, with a home of its own there.
    bool Start(const std::string& folder) {
        std::string system = folder + "/System";
        int fds[2];
        if (pipe(fds) != 0) return false;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e) env.push_back(*e);
        for (auto it = env.begin(); it != env.end();) {
            bool replaced = false;
            for (const char* name : {"DISPLAY=", "HOME=", "XDG_CONFIG_HOME=", "XDG_DATA_HOME="})
                replaced = replaced || it->rfind(name, 0) == 0;
            it = replaced ? env.erase(it) : it + 1;
        }
        env.push_back("DISPLAY=" + g_display);
        env.push_back("LIBGL_ALWAYS_SOFTWARE=1");
        env.push_back("SDL_AUDIODRIVER=dummy");
        env.push_back("HOME=" + folder + "/home");
        env.push_back("XDG_CONFIG_HOME=" + folder + "/home/config");
        env.push_back("XDG_DATA_HOME=" + folder + "/home/data");
        std::vector<char*> envp;
        for (std::string& s : env) envp.push_back(s.data());
        envp.push_back(nullptr);
        std::string program = system + "/Tessarak";
        char* argv[] = {program.data(), nullptr};
        // The game runs from its System folder.
        std::string cwd = Shell("pwd");
        if (chdir(system.c_str()) != 0) return false;
        int rc = posix_spawn(&m_pid, program.c_str(), &actions, nullptr, argv, envp.data());
        if (!cwd.empty()) cwd.pop_back();
        if (chdir(cwd.c_str()) != 0) std::perror("chdir");
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        if (rc != 0) {
            close(fds[0]);
            return false;
        }
        m_reader = std::thread([this, fd = fds[0]] {
            char buf[4096];
            ssize_t n;
            while ((n = read(fd, buf, sizeof buf)) > 0) {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_output.append(buf, n);
            }
            close(fd);
        });
        return true;
    }
    ~CGameProcess() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            int status;
            for (int i = 0; i < 50 && waitpid(m_pid, &status, WNOHANG) == 0; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            if (waitpid(m_pid, &status, WNOHANG) == 0) {
                kill(m_pid, SIGKILL);
                waitpid(m_pid, &status, 0);
            }
        }
        if (m_reader.joinable()) m_reader.join();
    }
    // Waits for a whole output line (or, with partial, a line holding the
    // text); false after the timeout.
    bool WaitForLine(const std::string& text, double seconds, bool partial = false) {
        auto end = Clock::now() + std::chrono::duration<double>(seconds);
        while (Clock::now() < end) {
            if (HasLine(text, partial)) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }
    bool HasLine(const std::string& text, bool partial) {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::istringstream in(m_output);
        std::string line;
        while (std::getline(in, line))
            if (partial ? line.find(text) != std::string::npos : line == text) return true;
        return false;
    }
    int CountLines(const std::string& text) {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::istringstream in(m_output);
        std::string line;
        int n = 0;
        while (std::getline(in, line)) n += line == text;
        return n;
    }
    std::string Output() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_output;
    }

private:
    pid_t m_pid = -1;
    std::thread m_reader;
    std::mutex m_mutex;
    std::string m_output;
};

// An X server for this test alone; it writes its display number to the
// descriptor given with -displayfd once it accepts clients.
class CXServer {
public:
    // The server picks a free display itself. A display whose lock file is
    // gone while its server still runs makes it give up, not try the next:
    // then numbers of our own are tried.
    bool Start() {
        if (StartOn(nullptr)) return true;
        for (int attempt = 0; attempt < 8; ++attempt) {
            std::string display = ":" + std::to_string(300 + (getpid() * 7 + attempt * 53) % 600);
            if (StartOn(display.c_str())) return true;
        }
        return false;
    }
    ~CXServer() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            int status;
            waitpid(m_pid, &status, 0);
        }
        g_display.clear();
    }

private:
    bool StartOn(const char* display) {
        int fds[2];
        if (pipe(fds) != 0) return false;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        // Closed first: the read end may itself be descriptor 3.
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 3);
        int devnull = open("/dev/null", O_WRONLY);
        posix_spawn_file_actions_adddup2(&actions, devnull, 2);
        std::vector<std::string> args = {"Xvfb"};
        if (display) args.push_back(display);
        for (const char* a : {"-displayfd", "3", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"})
            args.push_back(a);
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        int rc = posix_spawnp(&m_pid, "Xvfb", &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        close(devnull);
        if (rc != 0) {
            m_pid = -1;
            close(fds[0]);
            return false;
        }
        std::string number;
        char c;
        while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
        close(fds[0]);
        if (number.empty()) {
            int status;
            waitpid(m_pid, &status, 0);
            m_pid = -1;
            return false;
        }
        g_display = ":" + number;
        return true;
    }

    pid_t m_pid = -1;
};

struct SShot {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;
};

SShot Screenshot(const std::string& window, const std::string& file) {
    SShot shot;
    std::string geometry = Shell("xdotool getwindowgeometry " + window);
    size_t at = geometry.find("Geometry: ");
    if (at == std::string::npos ||
        std::sscanf(geometry.c_str() + at, "Geometry: %dx%d", &shot.width, &shot.height) != 2)
        return shot;
    Shell("import -window " + window + " -depth 8 rgb:" + file + " 2>/dev/null");
    std::ifstream in(file, std::ios::binary);
    shot.rgb.assign(std::istreambuf_iterator<char>(in), {});
    std::remove(file.c_str());
    return shot;
}

// Drawn pixels in the bottom quarter of the window: the console lays its
// newest lines out there, so they show that drawing follows the new size.
bool DrawsNearTheBottom(const SShot& s) {
    if (s.width <= 0 || s.rgb.size() < static_cast<size_t>(s.width) * s.height * 3) return false;
    for (int y = s.height * 3 / 4; y < s.height; ++y)
        for (int x = 0; x < s.width; ++x) {
            const unsigned char* p = &s.rgb[(static_cast<size_t>(y) * s.width + x) * 3];
            if (p[0] > 64 || p[1] > 64 || p[2] > 64) return true;
        }
    return false;
}

bool WaitForGeometry(const std::string& window, int width, int height) {
    char want[64];
    std::snprintf(want, sizeof want, "Geometry: %dx%d", width, height);
    for (int i = 0; i < 100; ++i) {
        if (Shell("xdotool getwindowgeometry " + window).find(want) != std::string::npos) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

}  // namespace

TEST(EndToEnd, ConsoleKeysMouseAndModeChange) {
    if (!OnPath("Xvfb") || !OnPath("xdotool") || !OnPath("import"))
        GTEST_SKIP() << "needs Xvfb, xdotool and ImageMagick";
    // The game saves its settings at the end: it runs in a copy of the
    // installation, so that no other run reads them.
    CTempDir installation;
    if (!Test_CopyInstallation(installation)) FAIL() << "the game is not built";

    CXServer x;
    ASSERT_TRUE(x.Start());
    CGameProcess game;
    ASSERT_TRUE(game.Start(installation.Path()));
    ASSERT_TRUE(game.WaitForLine("Tessarak is ready.", 60)) << game.Output();
    std::string window = Shell("timeout 30 xdotool search --sync --name '^Tessarak$' | head -1");
    ASSERT_FALSE(window.empty());
    window.pop_back();
    Shell("xdotool windowfocus --sync " + window);
    auto key = [](const std::string& keys) {
        Shell("xdotool key --delay 40 " + keys);
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
    };
    auto type = [](const std::string& text) {
        Shell("xdotool type --delay 30 '" + text + "'");
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
    };

    // Escape closes the console if it is open (and does nothing otherwise);
    // the console key opens it.
    key("Escape");
    key("grave");
    // Type with mistakes, then mend them with the command line's keys.
    type("ech(\"e2e-ok-ZZ\")");
    key("Home Right Right Right");
    type("o");
    key("End Left Left BackSpace BackSpace BackSpace");
    key("End");
    type(" junk");
    key("ctrl+shift+Left BackSpace BackSpace");
    auto sent = Clock::now();
    Shell("xdotool key Return");
    ASSERT_TRUE(game.WaitForLine("e2e-ok", 10)) << game.Output();
    double ms = std::chrono::duration<double, std::milli>(Clock::now() - sent).count();
    std::printf("Return to command output: %.0f ms (xdotool and 20 ms polling included)\n", ms);
    EXPECT_TRUE(game.HasLine("echo(\"e2e-ok\")", true)) << game.Output();

    // The line that ran is the newest of the edit history: Up brings it back.
    key("Up Return");
    for (int i = 0; i < 100 && game.CountLines("e2e-ok") < 2; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(game.CountLines("e2e-ok"), 2) << game.Output();

    // The mouse: the button's key events show with kb_ShowKeys on.
    type("kb_ShowKeys(1);");
    key("Return");
    Shell("xdotool mousemove --window " + window + " 200 150 click 1");
    EXPECT_TRUE(game.WaitForLine("Key Change (259): MOUSE_BUTTON1", 10)) << game.Output();

    // Two windowed sizes and back; the console keeps drawing at each.
    auto windowedSize = [&](int width, int height) {
        char command[96];
        std::snprintf(command, sizeof command, "Vid_Resolution(%d,%d); Vid_Restart();", width, height);
        type(command);
        key("Return");
        ASSERT_TRUE(WaitForGeometry(window, width, height)) << Shell("xdotool getwindowgeometry " + window);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        SShot shot = Screenshot(window, "/tmp/tessarak-e2e-" + std::to_string(getpid()) + ".rgb");
        EXPECT_EQ(shot.width, width);
        EXPECT_TRUE(DrawsNearTheBottom(shot)) << width << "x" << height;
    };
    type("kb_ShowKeys(0);");
    key("Return");
    windowedSize(800, 600);
    windowedSize(640, 480);

    // The window system resizes the window: drawing follows it.
    Shell("xdotool windowsize " + window + " 720 520");
    ASSERT_TRUE(WaitForGeometry(window, 720, 520));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    SShot resized = Screenshot(window, "/tmp/tessarak-e2e-" + std::to_string(getpid()) + ".rgb");
    EXPECT_EQ(resized.width, 720);
    EXPECT_TRUE(DrawsNearTheBottom(resized));

    // Full screen with the default depth of 16 bits, and back to a window.
    type("Vid_Windowed(0); Vid_Restart();");
    key("Return");
    ASSERT_TRUE(WaitForGeometry(window, 1280, 1024)) << Shell("xdotool getwindowgeometry " + window);
    Shell("xdotool windowfocus --sync " + window);
    type("Vid_Windowed(1); Vid_Restart();");
    key("Return");
    ASSERT_TRUE(WaitForGeometry(window, 640, 480)) << Shell("xdotool getwindowgeometry " + window);
    Shell("xdotool windowfocus --sync " + window);

    // A restart that changes nothing says so.
    type("Vid_Restart();");
    key("Return");
    EXPECT_TRUE(
        game.WaitForLine("Video does not need restarting. To force a restart use vid_ForceRestart();", 10))
        << game.Output();
}
