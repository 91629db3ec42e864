// Starting another program.
//
// The launcher starts the game this way: straight from its path, never through
// a shell or a look-up on PATH (so neither quoting nor the user's PATH can
// change what runs), with the caller's environment and standard streams, in a
// session of its own (closing the terminal that started it does not end it).
// The call does not wait for the program; a caller that lives on should reap
// it (the launcher ends at once and leaves that to the system).
//
// Sys_RunProgram starts a program the same way but in the caller's session
// and process group, and waits for it: started from a terminal, the program is
// in the terminal's foreground, so Ctrl+C (SIGINT) and the terminal's input
// are its own. The caller ignores SIGINT and SIGQUIT while it waits; the
// program takes them as it would without the caller.
#pragma once

#include <string>
#include <vector>

// Starts program (an absolute path) with args after its own name, its working
// folder workDir. True once it runs (its process id in *pid when given);
// false with the system's reason in *error when it cannot start: the program
// or the folder missing, not executable, no process to be had.
bool Sys_StartProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::string& workDir, std::string* error, int* pid = nullptr);

// Runs program as Sys_StartProgram starts it, in the caller's session and
// process group, and waits for it to end: true with its exit code in
// *exitCode (128 plus the signal's number when a signal ended it); false with
// the system's reason in *error when it could not start.
bool Sys_RunProgram(const std::string& program, const std::vector<std::string>& args,
                    const std::string& workDir, std::string* error, int* exitCode);
