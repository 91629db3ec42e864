// A stand-in for the game, started by the launcher in the tests: it writes
// its program name, its arguments (a count, then one per line), its working
// folder and whether it leads a session of its own into the file that
// STAND_IN_RECORD names, then waits until the file STAND_IN_RELEASE names
// exists (at most 30 seconds), so a test sees the launcher end first.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

int main(int argc, char** argv) {
    // The launcher's output pipe is the test's: it closes when the launcher ends.
    for (int fd = 0; fd <= 2; ++fd) close(fd);
    const char* record = std::getenv("STAND_IN_RECORD");
    const char* release = std::getenv("STAND_IN_RELEASE");
    if (!record || !release) return 2;
    char cwd[4096] = {};
    if (!getcwd(cwd, sizeof cwd)) return 2;
    const std::string partial = std::string(record) + ".part";
    FILE* f = std::fopen(partial.c_str(), "w");
    if (!f) return 2;
    std::fprintf(f, "%s\n%d\n", argv[0], argc - 1);
    for (int i = 1; i < argc; ++i) std::fprintf(f, "[%s]\n", argv[i]);
    std::fprintf(f, "%s\n%s\n", cwd, getsid(0) == getpid() ? "own session" : "inherited session");
    std::fclose(f);
    std::rename(partial.c_str(), record);  // whole or not there
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (access(release, F_OK) != 0 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return 0;
}
