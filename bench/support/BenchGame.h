// The real game for a benchmark: started in a temporary installation (a
// copy of the build's, without saved settings), in this process, at what its
// start-up scripts do. Run under an X server for the window's figures
// (xvfb-run -a ...), or with SDL_VIDEODRIVER=offscreen.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>

#include "app/Game.h"
#include "app/MainApp.h"
#include "commands/CommandAreas.h"
#include "platform/sys/Path.h"

struct SBenchGame {
    std::string dir;
    CMainApp* app = nullptr;
    std::chrono::steady_clock::time_point started;
    double startupMs = 0.0;  // the program's start-up, to its window shown

    // withCommands: the console commands installed, as the game program does;
    // prepare is given the installation's folder before the game starts.
    explicit SBenchGame(bool withCommands, const std::function<void(const std::string&)>& prepare = {}) {
        namespace fs = std::filesystem;
        const char* build = std::getenv("TESSARAK_BUILD");
        fs::path install = build ? fs::path(build) / "install"
                                 : fs::path(Sys_GetExecutableFolder()).parent_path() / "install";
        char tmpl[] = "/tmp/tessarak_bench_XXXXXX";
        if (!mkdtemp(tmpl)) return;
        dir = tmpl;
        fs::create_directories(dir + "/System");
        fs::copy(install / "Tessarak", dir + "/Tessarak", fs::copy_options::recursive);
        fs::remove_all(dir + "/Tessarak/Scripts/Config");
        if (prepare) prepare(dir);
        setenv("XDG_CONFIG_HOME", (dir + "/home").c_str(), 1);
        setenv("XDG_DATA_HOME", (dir + "/home").c_str(), 1);
        setenv("TESSARAK_HEADLESS_DIALOGS", "1", 1);
        if (chdir((dir + "/System").c_str()) != 0) return;
        CGame::SetConsoleToStdout(false);
        if (withCommands) Commands_Install();
        started = std::chrono::steady_clock::now();
        app = new CMainApp;
        if (!app->InitInstance("")) {
            delete app;
            app = nullptr;
            return;
        }
        startupMs = Elapsed();
    }
    ~SBenchGame() {
        delete app;
        if (!dir.empty()) std::filesystem::remove_all(dir);
    }
    SBenchGame(const SBenchGame&) = delete;
    SBenchGame& operator=(const SBenchGame&) = delete;

    // Milliseconds since the program's start.
    double Elapsed() const {
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
    }
};
