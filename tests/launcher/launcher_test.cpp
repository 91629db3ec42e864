// The launcher as a user starts it: from an installation's root, with a
// stand-in game that writes down its arguments, working folder and session,
// and with the real game of both builds.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/GameRun.h"
#include "tests/support/Installation.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"

namespace fs = std::filesystem;

namespace {

std::string Built(const std::string& relative) {
    const char* build = std::getenv("TESSARAK_BUILD");
    return std::string(build ? build : ".") + "/" + relative;
}

const std::string kLauncher = Built("install/tessarak-launcher");

// An installation whose builds are the stand-in (each one named by what it
// stands for), and the files the stand-in writes and waits for. The stand-in
// is let go when the bench goes.
struct SBench {
    ~SBench() { Release(); }

    void Install(const char* program, fs::perms mode = fs::perms::owner_all) {
        fs::create_directories(dir.File("System"));
        const std::string target = dir.File(std::string("System/") + program);
        fs::copy_file(Built("tests/launcher/launcher_stand_in"), target);
        fs::permissions(target, mode);
    }
    // Runs the launcher from a folder below the scratch one ("" for itself):
    // its exit code, what it wrote in out.
    int Launch(const std::vector<std::string>& args, std::string* out, const std::string& from = "") {
        CTestProcess launcher;
        SProcessOptions options;
        options.program = kLauncher;
        options.args = args;
        options.workDir = from.empty() ? dir.Path() : dir.File(from);
        options.env = {{"STAND_IN_RECORD", dir.File("record")}, {"STAND_IN_RELEASE", dir.File("release")}};
        if (!launcher.Start(options)) return -1;
        bool timedOut = false;
        const int code = launcher.Wait(20, &timedOut);
        EXPECT_FALSE(timedOut) << "the launcher waited for its game";
        // The stand-in keeps the output pipe open: what is there by now.
        *out = launcher.Output();
        Release();
        return code;
    }
    // The record the stand-in wrote (waited for), line by line.
    std::vector<std::string> Record() {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!fs::exists(dir.File("record")) && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::vector<std::string> lines;
        std::ifstream in(dir.File("record"));
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
    void Release() {
        if (!fs::exists(dir.File("release"))) dir.Write("release", "");
    }
    std::string Root() const { return fs::canonical(dir.Path()).string(); }

    CTempDir dir;
};

// The command line's shapes, odd ones among them: which build starts with
// which arguments, in System, in a session of its own; the launcher ends
// while the game still runs (the stand-in waits to be let go).
TEST(Launcher, TheLinePicksTheBuildAndItsParameters) {
    const struct {
        std::vector<std::string> args;
        const char* build;
        std::vector<std::string> params;  // as the game gets them
    } cases[] = {
        {{}, "Tessarak", {}},
        {{"German"}, "Tessarak", {"German"}},
        {{"German", "-w"}, "Tessarak", {"German -w"}},  // joined by a blank, passed as one
        {{"x y"}, "Tessarak", {"x y"}},
        {{"D"}, "Tessarak_debug", {}},
        {{"Dx"}, "Tessarak_debug", {}},
        {{"d", "German"}, "Tessarak_debug", {"German"}},
        {{"debug", "-x"}, "Tessarak_debug", {"bug -x"}},
    };
    for (const auto& c : cases) {
        std::string shown;
        for (const std::string& a : c.args) shown += "[" + a + "] ";
        SCOPED_TRACE(shown);
        SBench bench;
        bench.Install("Tessarak");
        bench.Install("Tessarak_debug");
        std::string out;
        ASSERT_EQ(bench.Launch(c.args, &out), 0) << out;
        EXPECT_EQ(out, "");
        const std::vector<std::string> record = bench.Record();
        ASSERT_EQ(record.size(), 4 + c.params.size());
        EXPECT_EQ(record[0], bench.Root() + "/System/" + c.build);
        ASSERT_EQ(record[1], std::to_string(c.params.size()));
        for (size_t i = 0; i < c.params.size(); ++i) EXPECT_EQ(record[2 + i], "[" + c.params[i] + "]");
        EXPECT_EQ(record[2 + c.params.size()], bench.Root() + "/System");
        EXPECT_EQ(record[3 + c.params.size()], "own session");
    }
}

// A build that is not there or cannot run is said on the error stream, and the
// launcher fails. The paths come from the folder it is run from, not from
// where it lies (beside it stands the real game, which must not start).
TEST(Launcher, AGameThatCannotStartIsReportedWithExitCode1) {
    SBench bench;
    const std::string root = bench.Root();
    std::string out;
    EXPECT_EQ(bench.Launch({}, &out), 1);
    EXPECT_EQ(out,
              "tessarak-launcher: cannot start '" + root + "/System/Tessarak': No such file or directory\n");

    // The release build alone: the debug one is missing.
    bench.Install("Tessarak");
    EXPECT_EQ(bench.Launch({"D", "German"}, &out), 1);
    EXPECT_EQ(out, "tessarak-launcher: cannot start '" + root +
                       "/System/Tessarak_debug': No such file or directory\n");
    EXPECT_FALSE(fs::exists(bench.dir.File("record")));

    // A build that may not be run.
    bench.Install("Tessarak_debug", fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(bench.Launch({"d"}, &out), 1);
    EXPECT_EQ(out,
              "tessarak-launcher: cannot start '" + root + "/System/Tessarak_debug': Permission denied\n");

    // Run from a folder below the installation: its own System is looked for.
    fs::create_directories(bench.dir.File("elsewhere"));
    EXPECT_EQ(bench.Launch({}, &out, "elsewhere"), 1);
    EXPECT_EQ(out, "tessarak-launcher: cannot start '" + root +
                       "/elsewhere/System/Tessarak': No such file or directory\n");
}

// The game started through the launcher, found by its working folder (it is
// not the launcher's child); -1 when none came within the seconds.
pid_t FindGame(const std::string& system, double seconds) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    do {
        std::error_code ec;
        for (const fs::directory_entry& e : fs::directory_iterator("/proc", ec)) {
            const std::string name = e.path().filename().string();
            if (name.find_first_not_of("0123456789") != std::string::npos) continue;
            std::error_code linkError;
            if (fs::read_symlink(e.path() / "cwd", linkError) == system && !linkError)
                return pid_t(std::stoi(name));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (std::chrono::steady_clock::now() < until);
    return -1;
}

// Whether the process runs (a zombie waiting for its parent has ended).
bool Alive(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat;
    if (!std::getline(in, stat)) return false;
    const size_t name = stat.rfind(')');
    return name != std::string::npos && name + 2 < stat.size() && stat[name + 2] != 'Z';
}

// The real game of each build, started through the launcher from a copy of
// the installation: it runs from System in a session of its own, takes
// console commands on the standard input it inherited, and ends with Quit.
TEST(Launcher, StartsEitherBuildOfTheGame) {
    for (const std::string build : {"Tessarak", "Tessarak_debug"}) {
        SCOPED_TRACE(build);
        CTempDir dir;
        if (!Test_CopyInstallation(dir)) FAIL() << "the game program is not built";
        // A build configured without the debug game (TESSARAK_DEBUG_GAME off)
        // has only the release build to start.
        if (!fs::exists(dir.File("System/" + build))) {
            if (build == "Tessarak") FAIL() << "the game program is not built";
            continue;
        }
        // Only the build asked for is there: no other could answer.
        fs::remove(dir.File(build == "Tessarak" ? "System/Tessarak_debug" : "System/Tessarak"));
        // Nothing to play: the start-up script only says that it ran.
        dir.Write("Tessarak/Scripts/Autoexec.cfg", "echo(\"autoexec ran\");\n");
        SProcessOptions options = Test_GameOptions(dir);
        options.program = kLauncher;
        options.workDir = dir.Path();
        if (build == "Tessarak_debug") options.args = {"D"};
        CTestProcess launcher;
        ASSERT_TRUE(launcher.Start(options));
        EXPECT_EQ(launcher.WaitForExit(20), 0) << launcher.Output();
        const pid_t game = FindGame(fs::canonical(dir.File("System")).string(), 20);
        ASSERT_GT(game, 0) << launcher.Output();
        // Whatever happens below, the game does not outlive the test.
        struct SEndAtLast {
            pid_t pid;
            ~SEndAtLast() {
                if (Alive(pid)) kill(pid, SIGKILL);
            }
        } guard{game};
        std::error_code ec;
        EXPECT_EQ(fs::read_symlink("/proc/" + std::to_string(game) + "/exe", ec),
                  fs::canonical(Built("install/System/" + build)));
        EXPECT_EQ(getsid(game), game);
        EXPECT_TRUE(launcher.WaitForLine("autoexec ran", 60)) << launcher.Output();
        launcher.Write("Quit();\n");
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (Alive(game) && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_FALSE(Alive(game)) << "the game did not end\n" << launcher.Output();
    }
}

// Started from a terminal, the game is the terminal's: the launcher runs it in
// the foreground and waits, the game reads what is typed there, and Ctrl+C
// ends it as Quit() does (its settings saved), the launcher ending with it.
TEST(Launcher, FromATerminalCtrlCEndsTheGameAsQuitDoes) {
    CTempDir dir;
    if (!Test_CopyInstallation(dir)) FAIL() << "the game program is not built";
    dir.Write("Tessarak/Scripts/Autoexec.cfg", "se_EffectVolume(37);\necho(\"autoexec ran\");\n");
    const SProcessOptions options = Test_GameOptions(dir);
    int terminal = -1;
    const pid_t launcher = forkpty(&terminal, nullptr, nullptr, nullptr);
    ASSERT_GE(launcher, 0);
    if (launcher == 0) {
        for (const auto& [name, value] : options.env) setenv(name.c_str(), value.c_str(), 1);
        if (chdir(dir.Path().c_str()) == 0) execl(kLauncher.c_str(), kLauncher.c_str(), (char*)nullptr);
        _exit(127);
    }
    const std::string system = fs::canonical(dir.File("System")).string();
    struct SEndAtLast {
        pid_t launcher;
        std::string system;
        int terminal;
        ~SEndAtLast() {
            const pid_t game = FindGame(system, 0);
            if (game > 0 && Alive(game)) kill(game, SIGKILL);
            kill(launcher, SIGKILL);
            waitpid(launcher, nullptr, 0);
            close(terminal);
        }
    } guard{launcher, system, terminal};
    // What the terminal shows, read until the text comes or the seconds run out.
    std::string shown;
    auto readUntil = [&](const std::string& text, double seconds) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (shown.find(text) == std::string::npos && std::chrono::steady_clock::now() < until) {
            pollfd p{terminal, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0) continue;
            char buffer[4096];
            const ssize_t n = read(terminal, buffer, sizeof buffer);
            if (n <= 0) break;  // nobody holds the terminal any more
            shown.append(buffer, size_t(n));
        }
        return shown.find(text) != std::string::npos;
    };
    ASSERT_TRUE(readUntil("autoexec ran", 90)) << shown;
    ASSERT_TRUE(write(terminal, "se_EffectVolume;\n", 17) == 17);
    EXPECT_TRUE(readUntil("se_EffectVolume = 37", 30)) << shown;
    EXPECT_EQ(waitpid(launcher, nullptr, WNOHANG), 0) << "the launcher did not wait for its game";

    ASSERT_TRUE(write(terminal, "\x03", 1) == 1);  // Ctrl+C
    int status = -1;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    pid_t ended = 0;
    while ((ended = waitpid(launcher, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < until) {
        readUntil("\x01", 0.05);  // keep the terminal drained
    }
    ASSERT_EQ(ended, launcher) << "Ctrl+C did not end the game\n" << shown;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << shown;
    EXPECT_EQ(FindGame(system, 0), -1);
    EXPECT_NE(dir.Read("Tessarak/Scripts/Config/Sound.cfg").find("se_EffectVolume(37)"), std::string::npos)
        << dir.Read("Tessarak/Scripts/Config/Sound.cfg");
}

}  // namespace
