#include "core/ShownText.h"

#include <cstring>

std::string Text_Shown(const char* text, size_t length) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string shown;
    shown.reserve(length);
    for (size_t i = 0; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 32 && c < 127) {
            shown += static_cast<char>(c);
            continue;
        }
        shown += "\\x";
        shown += kHex[c >> 4];
        shown += kHex[c & 15];
    }
    return shown;
}

std::string Text_Shown(const std::string& text) {
    return Text_Shown(text.data(), text.size());
}

std::string Text_Shown(const char* text) {
    return text ? Text_Shown(text, std::strlen(text)) : std::string();
}
