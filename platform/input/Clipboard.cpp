#include "platform/input/Clipboard.h"

#include <SDL2/SDL.h>
#include <iconv.h>

#include <cerrno>
#include <cstdio>

namespace {

std::string CodePageName(int codePage) {
    char name[32];
    std::snprintf(name, sizeof name, "CP%d", codePage > 0 ? codePage : 1252);
    return name;
}

// Converts with iconv; an input sequence the target cannot hold becomes one
// replacement byte and the conversion goes on after it.
std::string Convert(const std::string& in, const char* to, const char* from, const char* replacement,
                    bool fromUtf8) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        // An unknown code page: the Western one.
        cd = fromUtf8 ? iconv_open(to, "UTF-8") : iconv_open(to, "CP1252");
        if (cd == reinterpret_cast<iconv_t>(-1)) return in;
    }
    std::string out;
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char buf[256];
    while (srcLeft > 0) {
        char* dst = buf;
        size_t dstLeft = sizeof buf;
        size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out.append(buf, dst - buf);
        if (r == static_cast<size_t>(-1)) {
            if (errno == E2BIG) continue;
            // Invalid or unmappable: skip one input character. A UTF-8
            // character is its lead byte and the continuation bytes that
            // really follow it; a stray byte is one character.
            out += replacement;
            size_t skip = 1;
            if (fromUtf8 && (static_cast<unsigned char>(*src) & 0xC0) == 0xC0)
                while (skip < srcLeft && skip < 4 && (static_cast<unsigned char>(src[skip]) & 0xC0) == 0x80)
                    ++skip;
            src += skip;
            srcLeft -= skip;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    iconv_close(cd);
    return out;
}

bool VideoUp() {
    return SDL_WasInit(SDL_INIT_VIDEO) != 0;
}

}  // namespace

std::string CodePage_FromUtf8(const std::string& utf8, int codePage) {
    return Convert(utf8, CodePageName(codePage).c_str(), "UTF-8", "?", true);
}

std::string CodePage_ToUtf8(const std::string& text, int codePage) {
    return Convert(text, "UTF-8", CodePageName(codePage).c_str(), "?", false);
}

EClipboardResult Clipboard_GetText(std::string& out, int codePage) {
    out.clear();
    if (!VideoUp()) return CLIPBOARD_CANNOT_OPEN;
    if (!SDL_HasClipboardText()) return CLIPBOARD_NOT_TEXT;
    char* text = SDL_GetClipboardText();
    if (!text) return CLIPBOARD_CANNOT_OPEN;
    out = CodePage_FromUtf8(text, codePage);
    SDL_free(text);
    return CLIPBOARD_OK;
}

EClipboardResult Clipboard_SetText(const char* text, size_t length, int codePage) {
    if (!VideoUp()) return CLIPBOARD_CANNOT_OPEN;
    std::string utf8 = CodePage_ToUtf8(std::string(text, length), codePage);
    return SDL_SetClipboardText(utf8.c_str()) == 0 ? CLIPBOARD_OK : CLIPBOARD_CANNOT_OPEN;
}
