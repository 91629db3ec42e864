// Tessarak: the game program. It runs from the installation's System folder;
// its command line names the language ("English" when empty).
#include <cstdio>
#include <exception>
#include <string>

#include "app/MainApp.h"
#include "commands/CommandAreas.h"
#include "platform/sys/MessageBox.h"

int main(int argc, char** argv) {
    std::string commandLine;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) commandLine += ' ';
        commandLine += argv[i];
    }
    Commands_Install();
    try {
        CMainApp app;
        if (!app.InitInstance(commandLine.c_str())) return 1;
        return app.Run();
    } catch (const std::exception& e) {
        // Out of memory while creating a subsystem, or the like: say so and fail,
        // rather than go on with half a game.
        std::fprintf(stderr, "Tessarak: %s\n", e.what());
        Sys_MessageBox(e.what(), "Error", MB_OK | MB_ICONERROR);
        return 1;
    }
}
