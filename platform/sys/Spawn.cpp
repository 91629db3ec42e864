#include "platform/sys/Spawn.h"

#include <spawn.h>
#include <sys/types.h>

#include <cstring>

extern char** environ;

bool Sys_StartProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::string& workDir, std::string* error, int* pid) {
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
    if (!result) result = posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    pid_t child = -1;
    // glibc reports a failed change of folder or exec here, not in the child.
    if (!result) result = posix_spawn(&child, program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (result) {
        if (error) *error = strerror(result);
        return false;
    }
    if (pid) *pid = int(child);
    return true;
}
