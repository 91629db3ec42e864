#include "platform/sys/Spawn.h"

#include <signal.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>

extern char** environ;

namespace {

bool Spawn(const std::string& program, const std::vector<std::string>& args, const std::string& workDir,
           bool ownSession, std::string* error, pid_t* pid) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    int result = 0;
    if (!workDir.empty()) result = posix_spawn_file_actions_addchdir_np(&actions, workDir.c_str());
    // A session of its own: the terminal's hang-up does not reach it.
    // Otherwise the signals the caller ignores while it waits are the
    // program's to take.
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGQUIT);
    if (!result && ownSession) result = posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    if (!result && !ownSession) result = posix_spawnattr_setsigdefault(&attributes, &defaults);
    if (!result && !ownSession) result = posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    pid_t child = -1;
    // glibc reports a failed change of folder or exec here, not in the child.
    if (!result) result = posix_spawn(&child, program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (result) {
        if (error) *error = strerror(result);
        return false;
    }
    *pid = child;
    return true;
}

}  // namespace

bool Sys_StartProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::string& workDir, std::string* error, int* pid) {
    pid_t child = -1;
    if (!Spawn(program, args, workDir, true, error, &child)) return false;
    if (pid) *pid = int(child);
    return true;
}

bool Sys_RunProgram(const std::string& program, const std::vector<std::string>& args,
                    const std::string& workDir, std::string* error, int* exitCode) {
    // The terminal's Ctrl+C and Ctrl+\ go to the whole foreground group: they
    // are the program's, the caller waits for it to end.
    struct sigaction ignore = {}, oldInt = {}, oldQuit = {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGINT, &ignore, &oldInt);
    sigaction(SIGQUIT, &ignore, &oldQuit);
    pid_t child = -1;
    bool started = Spawn(program, args, workDir, false, error, &child);
    int status = 0;
    while (started && waitpid(child, &status, 0) < 0) {
        if (errno == EINTR) continue;
        if (error) *error = strerror(errno);
        started = false;
    }
    sigaction(SIGINT, &oldInt, nullptr);
    sigaction(SIGQUIT, &oldQuit, nullptr);
    if (!started) return false;
    if (exitCode) *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return true;
}
