#include "launcher/Launcher.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/sys/Spawn.h"

namespace {
const char kName[] = "tessarak-launcher";
}

std::string Launcher_CommandLine(int argc, const char* const* argv) {
    std::string line;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) line += ' ';
        line += argv[i];
    }
    return line;
}

SLaunchChoice Launcher_Choose(const std::string& line, const std::string& currentDir) {
    std::string base = currentDir;
    if (base.empty() || base.back() != '/') base += '/';
    SLaunchChoice choice;
    choice.workDir = base + "System";
    if (!line.empty() && (line[0] == 'D' || line[0] == 'd')) {
        choice.target = choice.workDir + "/Tessarak_debug";
        // The first two characters go: "d German" is "German".
        choice.parameters = line.size() > 2 ? line.substr(2) : std::string();
    } else {
        choice.target = choice.workDir + "/Tessarak";
        choice.parameters = line;
    }
    return choice;
}

int Launcher_Start(const SLaunchChoice& choice, bool inTerminal, FILE* err) {
    // The game joins its arguments with blanks again: the line goes as one.
    std::vector<std::string> args;
    if (!choice.parameters.empty()) args.push_back(choice.parameters);
    std::string why;
    int code = 0;
    if (inTerminal ? Sys_RunProgram(choice.target, args, choice.workDir, &why, &code)
                   : Sys_StartProgram(choice.target, args, choice.workDir, &why))
        return code;
    fprintf(err, "%s: cannot start '%s': %s\n", kName, choice.target.c_str(), why.c_str());
    return 1;
}

int Launcher_Main(int argc, const char* const* argv, FILE* err) {
    std::vector<char> dir(4096);
    while (!getcwd(dir.data(), dir.size())) {
        if (errno != ERANGE || dir.size() > (1u << 20)) {
            fprintf(err, "%s: cannot read the current folder: %s\n", kName, strerror(errno));
            return 1;
        }
        dir.resize(dir.size() * 2);
    }
    const SLaunchChoice choice = Launcher_Choose(Launcher_CommandLine(argc, argv), dir.data());
    return Launcher_Start(choice, isatty(STDIN_FILENO) != 0, err);
}
