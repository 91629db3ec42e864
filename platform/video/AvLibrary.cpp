#include "platform/video/AvLibrary.h"

#include <dlfcn.h>

#include <mutex>
#include <string>

namespace {
SAvLibrary g_av;
bool g_loaded = false;

// The shared object of a library's major version: "libavcodec.so.59".
void* OpenLibrary(const char* name, int major) {
    const std::string file = std::string(name) + ".so." + std::to_string(major);
    return dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
}
}  // namespace

bool Av_Load() {
    static std::once_flag once;
    std::call_once(once, [] {
        // Each library before the ones that need it, so their own
        // dependencies resolve to the copies opened here.
        void* libraries[] = {OpenLibrary("libavutil", LIBAVUTIL_VERSION_MAJOR),
                             OpenLibrary("libswscale", LIBSWSCALE_VERSION_MAJOR),
                             OpenLibrary("libavcodec", LIBAVCODEC_VERSION_MAJOR),
                             OpenLibrary("libavformat", LIBAVFORMAT_VERSION_MAJOR)};
        for (void* l : libraries)
            if (!l) return;
        auto find = [&](const char* symbol) -> void* {
            for (void* l : libraries)
                if (void* f = dlsym(l, symbol)) return f;
            return nullptr;
        };
        SAvLibrary av;
        bool all = true;
#define TESSARAK_AV_BIND(name)                                  \
    av.name = reinterpret_cast<decltype(av.name)>(find(#name)); \
    all = all && av.name;
        TESSARAK_AV_FUNCTIONS(TESSARAK_AV_BIND)
#undef TESSARAK_AV_BIND
        if (!all) return;
        g_av = av;
        g_loaded = true;
    });
    return g_loaded;
}

bool Av_Loaded() {
    return g_loaded;
}

const SAvLibrary& Av() {
    return g_av;
}
