#include "platform/sys/MessageBox.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>

namespace {

std::mutex g_boxLock;
std::deque<int> g_answers;
int g_shown = 0;
std::string g_lastText;

bool EnvSet(const char* name) {
    const char* v = std::getenv(name);
    return v && *v;
}

}  // namespace

bool Sys_HasDisplay() {
    if (EnvSet("TESSARAK_HEADLESS_DIALOGS")) return false;
    if (const char* driver = std::getenv("SDL_VIDEODRIVER"))
        if (!std::strcmp(driver, "dummy") || !std::strcmp(driver, "offscreen")) return false;
    return EnvSet("DISPLAY") || EnvSet("WAYLAND_DISPLAY");
}

int Sys_MessageBox(const char* text, const char* caption, uint32_t type) {
    if (!text) text = "";
    if (!caption) caption = "";
    uint32_t buttons = type & 0xF;
    int defaultAnswer = (buttons == MB_YESNO || buttons == MB_YESNOCANCEL) ? IDYES : IDOK;
    {
        std::lock_guard<std::mutex> lock(g_boxLock);
        ++g_shown;
        g_lastText = text;
        if (!g_answers.empty()) {
            int answer = g_answers.front();
            g_answers.pop_front();
            return answer;
        }
    }
    if (!Sys_HasDisplay()) {
        std::fprintf(stderr, "%s: %s\n", caption, text);
        return defaultAnswer;
    }
    SDL_MessageBoxButtonData list[3];
    int count = 0;
    auto add = [&](int id, const char* label, uint32_t flags) { list[count++] = {flags, id, label}; };
    switch (buttons) {
        case MB_OKCANCEL:
            add(IDOK, "OK", SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT);
            add(IDCANCEL, "Cancel", SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT);
            break;
        case MB_YESNO:
            add(IDYES, "Yes", SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT);
            add(IDNO, "No", SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT);
            break;
        case MB_YESNOCANCEL:
            add(IDYES, "Yes", SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT);
            add(IDNO, "No", 0);
            add(IDCANCEL, "Cancel", SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT);
            break;
        default:
            add(IDOK, "OK",
                SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT | SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT);
            break;
    }
    uint32_t flags = SDL_MESSAGEBOX_INFORMATION;
    if ((type & 0xF0) == MB_ICONERROR) flags = SDL_MESSAGEBOX_ERROR;
    if ((type & 0xF0) == MB_ICONWARNING) flags = SDL_MESSAGEBOX_WARNING;
    SDL_MessageBoxData data = {flags, nullptr, caption, text, count, list, nullptr};
    int pressed = -1;
    if (SDL_ShowMessageBox(&data, &pressed) != 0) {
        std::fprintf(stderr, "%s: %s\n", caption, text);
        return defaultAnswer;
    }
    // Closing the box without a button is the escape answer.
    if (pressed < 0) return buttons == MB_OK ? IDOK : (buttons == MB_YESNO ? IDNO : IDCANCEL);
    return pressed;
}

void Sys_QueueMessageBoxAnswer(int answer) {
    std::lock_guard<std::mutex> lock(g_boxLock);
    g_answers.push_back(answer);
}

void Sys_ClearMessageBoxAnswers() {
    std::lock_guard<std::mutex> lock(g_boxLock);
    g_answers.clear();
}

int Sys_GetMessageBoxCount() {
    std::lock_guard<std::mutex> lock(g_boxLock);
    return g_shown;
}

std::string Sys_GetLastMessageBoxText() {
    std::lock_guard<std::mutex> lock(g_boxLock);
    return g_lastText;
}
