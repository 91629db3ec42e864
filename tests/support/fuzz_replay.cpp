// Driver for fuzz targets in ordinary builds: replays every file of the corpus
// folder given on the command line, then a fixed run of seeded random inputs,
// through LLVMFuzzerTestOneInput. A crash or sanitizer report fails the test.
#include <dirent.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

static void RunFile(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return;
    std::vector<uint8_t> buf;
    uint8_t chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) buf.insert(buf.end(), chunk, chunk + n);
    std::fclose(f);
    LLVMFuzzerTestOneInput(buf.data(), buf.size());
}

int main(int argc, char** argv) {
    int files = 0;
    for (int i = 1; i < argc; ++i) {
        if (DIR* d = opendir(argv[i])) {
            while (dirent* e = readdir(d)) {
                if (e->d_name[0] == '.') continue;
                RunFile(std::string(argv[i]) + "/" + e->d_name);
                ++files;
            }
            closedir(d);
        } else {
            RunFile(argv[i]);
            ++files;
        }
    }
    // The empty input first, as the fuzzer itself begins.
    LLVMFuzzerTestOneInput(nullptr, 0);
    std::mt19937 rng(12345);
    for (int i = 0; i < 2000; ++i) {
        std::vector<uint8_t> buf(rng() % 1024);
        for (auto& b : buf) b = static_cast<uint8_t>(rng());
        LLVMFuzzerTestOneInput(buf.data(), buf.size());
    }
    std::printf("replayed %d corpus files and 2000 random inputs\n", files);
    return 0;
}
