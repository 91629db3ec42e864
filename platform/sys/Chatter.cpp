#include "platform/sys/Chatter.h"

#include <alsa/asoundlib.h>

#include <cstdarg>
#include <cstdio>
#include <deque>
#include <mutex>

namespace {
std::mutex g_lock;
std::deque<std::string> g_lines;
int g_count = 0;

void AlsaMessage(const char* file, int line, const char* function, int err, const char* format, ...) {
    char text[512];
    va_list ap;
    va_start(ap, format);
    std::vsnprintf(text, sizeof text, format, ap);
    va_end(ap);
    char full[1024];
    std::snprintf(full, sizeof full, "%s:%d:(%s) %s%s%s", file ? file : "", line, function ? function : "",
                  text, err ? ": " : "", err ? snd_strerror(err) : "");
    Chatter_Say("ALSA", full);
}
}  // namespace

void Chatter_TakeAlsa() {
    static std::once_flag once;
    std::call_once(once, [] { snd_lib_error_set_handler(AlsaMessage); });
}

void Chatter_Say(const char* library, const char* text) {
    std::string line = std::string(library ? library : "?") + ": " + (text ? text : "");
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' '))
        line.pop_back();
    std::lock_guard<std::mutex> hold(g_lock);
    ++g_count;
    g_lines.push_back(std::move(line));
    while (g_lines.size() > static_cast<size_t>(kChatterKept)) g_lines.pop_front();
}

std::vector<std::string> Chatter_Lines() {
    std::lock_guard<std::mutex> hold(g_lock);
    return std::vector<std::string>(g_lines.begin(), g_lines.end());
}

int Chatter_Count() {
    std::lock_guard<std::mutex> hold(g_lock);
    return g_count;
}
