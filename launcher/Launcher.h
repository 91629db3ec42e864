// The launcher: the small program at the installation's root that starts the
// right build of the game and ends.
//
// Its arguments, joined by blanks, are the line it works from. A line that
// starts with D or d starts the debug build, System/Tessarak_debug (an
// unoptimised build with debug information), with the line from its third
// character on as the game's parameters ("D" and "d German" give none and
// "German"; "debug -x" gives "bug -x", as it always has); any other line
// starts System/Tessarak with the whole line. The paths come from the current
// folder, not from where the launcher lies, so a desktop entry sets its
// working folder (Path=) to the installation's root. The game runs in System,
// in a session of its own; the launcher does not wait for it. Started from a
// terminal (its standard input is one), the launcher instead runs the game in
// the terminal's foreground and waits for it, ending with its exit code: the
// game's console reads the terminal alone and Ctrl+C ends the game as Quit()
// does. A game that cannot be started is reported on the error stream with
// exit code 1.
#pragma once

#include <cstdio>
#include <string>

struct SLaunchChoice {
    std::string target;      // the program to start
    std::string parameters;  // its command line: one argument, none when empty
    std::string workDir;     // the folder it runs in
};

// The arguments after the program's own name joined by single blanks.
std::string Launcher_CommandLine(int argc, const char* const* argv);
// The build to start for a line, from the current folder (a Linux path).
SLaunchChoice Launcher_Choose(const std::string& line, const std::string& currentDir);
// Starts the choice (inTerminal: runs it in the foreground and waits):
// 0 once it started, or the exit code of the game waited for; 1 with what
// and why written to err when it could not start.
int Launcher_Start(const SLaunchChoice& choice, bool inTerminal, FILE* err);
// The whole program: Launcher_Start's code, inTerminal when the standard
// input is a terminal.
int Launcher_Main(int argc, const char* const* argv, FILE* err);
