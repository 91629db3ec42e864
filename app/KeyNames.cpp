#include "app/KeyNames.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// One row per named code: the first name is the one printed, the rest are
// aliases that scripts may use. Note that "/" and "NUM_/" are names too.
struct SKeyNameRow {
    int code;
    const char* names[6];
};

const SKeyNameRow kKeyNameRows[] = {
    {1, {"ESC"}},
    {2, {"1"}},
    {3, {"2"}},
    {4, {"3"}},
    {5, {"4"}},
    {6, {"5"}},
    {7, {"6"}},
    {8, {"7"}},
    {9, {"8"}},
    {10, {"9"}},
    {11, {"0"}},
    {12, {"MINUS", "-"}},
    {13, {"EQUALS", "="}},
    {14, {"BACKSPACE", "BACK"}},
    {15, {"TAB"}},
    {16, {"q"}},
    {17, {"w"}},
    {18, {"e"}},
    {19, {"r"}},
    {20, {"t"}},
    {21, {"y"}},
    {22, {"u"}},
    {23, {"i"}},
    {24, {"o"}},
    {25, {"p"}},
    {26, {"LBRACKET", "["}},
    {27, {"RBRACKET", "]"}},
    {28, {"RETURN", "ENTER"}},
    {29, {"LCONTROL"}},
    {30, {"a"}},
    {31, {"s"}},
    {32, {"d"}},
    {33, {"f"}},
    {34, {"g"}},
    {35, {"h"}},
    {36, {"j"}},
    {37, {"k"}},
    {38, {"l"}},
    {39, {"SEMICOLON", ";"}},
    {40, {"APOSTROPHE", "'"}},
    {41, {"GRAVE", "`"}},
    {42, {"LSHIFT"}},
    {43, {"BACKSLASH", "\\"}},
    {44, {"z"}},
    {45, {"x"}},
    {46, {"c"}},
    {47, {"v"}},
    {48, {"b"}},
    {49, {"n"}},
    {50, {"m"}},
    {51, {"COMMA"}},
    {52, {"PERIOD"}},
    {53, {"SLASH", "/"}},
    {54, {"RSHIFT"}},
    {55, {"NUM_MULTIPLY", "MULTIPLY", "NUM_*"}},
    {56, {"LALT", "LMENU"}},
    {57, {"SPACE"}},
    {58, {"CAPSLOCK", "CAPITAL", "CAPS"}},
    {59, {"F1"}},
    {60, {"F2"}},
    {61, {"F3"}},
    {62, {"F4"}},
    {63, {"F5"}},
    {64, {"F6"}},
    {65, {"F7"}},
    {66, {"F8"}},
    {67, {"F9"}},
    {68, {"F10"}},
    {69, {"NUMLOCK"}},
    {70, {"SCROLLLOCK", "SCROLL"}},
    {71, {"NUM_7", "NUMPAD7"}},
    {72, {"NUM_8", "NUMPAD8"}},
    {73, {"NUM_9", "NUMPAD9"}},
    {74, {"NUM_SUBSTRACT", "SUBTRACT", "NUM_-", "NUM_SUB", "NUM_MINUS"}},
    {75, {"NUM_4", "NUMPAD4"}},
    {76, {"NUM_5", "NUMPAD5"}},
    {77, {"NUM_6", "NUMPAD6"}},
    {78, {"NUM_ADD", "ADD", "NUM_PLUS", "NUM_+"}},
    {79, {"NUM_1", "NUMPAD1"}},
    {80, {"NUM_2", "NUMPAD2"}},
    {81, {"NUM_3", "NUMPAD3"}},
    {82, {"NUM_0", "NUMPAD0"}},
    {83, {"NUM_DECIMAL", "DECIMAL", "NUM_."}},
    {87, {"F11"}},
    {88, {"F12"}},
    {100, {"F13"}},
    {101, {"F14"}},
    {102, {"F15"}},
    {112, {"JP_KANA"}},
    {121, {"JP_CONVERT"}},
    {123, {"JP_NOCONVERT"}},
    {125, {"JP_YEN"}},
    {141, {"NUM_EQUALS", "NUMPADEQUALS", "NUM_="}},
    {144, {"CIRCUMFLEX"}},
    {145, {"JP_AT"}},
    {146, {"JP_COLON"}},
    {147, {"JP_UNDERLINE"}},
    {148, {"JP_KANJI"}},
    {149, {"JP_STOP"}},
    {150, {"JP_AX"}},
    {151, {"JP_UNLABELED"}},
    {156, {"NUM_ENTER", "NUMPADENTER", "NUM_RETURN"}},
    {157, {"RCONTROL"}},
    {179, {"NUM_COMMA", "NUMPADCOMMA"}},
    {181, {"NUM_DIVIDE", "DIVIDE", "NUM_/", "NUM_SLASH"}},
    {183, {"SYSRQ"}},
    {184, {"RALT", "RMENU"}},
    {197, {"PAUSE", "BREAK"}},
    {199, {"HOME"}},
    {200, {"UP"}},
    {201, {"PG_UP", "PRIOR", "PAGEUP"}},
    {203, {"LEFT"}},
    {205, {"RIGHT"}},
    {207, {"END"}},
    {208, {"DOWN"}},
    {209, {"PG_DOWN", "NEXT", "PAGEDOWN"}},
    {210, {"INSERT"}},
    {211, {"DELETE"}},
    {219, {"LWIN"}},
    {220, {"RWIN"}},
    {221, {"APPS"}},
    {256, {"MOUSE_AXISX"}},
    {257, {"MOUSE_AXISY"}},
    {258, {"MOUSE_AXISZ"}},
    {269, {"MOUSE_WHEELUP"}},
    {270, {"MOUSE_WHEELDOWN"}},
    {271, {"JOYSTICK_AXISX"}},
    {272, {"JOYSTICK_AXISY"}},
    {273, {"JOYSTICK_AXISZ"}},
    {274, {"JOYSTICK_ROTATIONX"}},
    {275, {"JOYSTICK_ROTATIONY"}},
    {276, {"JOYSTICK_ROTATIONZ"}},
    {277, {"JOYSTICK_SLIDER1"}},
    {278, {"JOYSTICK_SLIDER2"}},
    {kKeyAnimEnd, {"ANIM_END"}},
};

// The numbered families are generated: mouse buttons 1 to 10, points of view
// 1 to 4 and the joystick's velocity, acceleration and force axes.
struct SKeyNameTable {
    std::vector<std::string> names[kKeyCodeCount];  // names[code][0] is preferred

    SKeyNameTable() {
        for (const SKeyNameRow& row : kKeyNameRows)
            for (const char* n : row.names)
                if (n) names[row.code].push_back(n);
        for (int i = 1; i <= 10; ++i)
            names[kKeyMouseButton1 + i - 1].push_back("MOUSE_BUTTON" + std::to_string(i));
        for (int i = 1; i <= 4; ++i) names[278 + i].push_back("JOYSTICK_POV" + std::to_string(i));
        static const char* const kAxes[8] = {"AXISX",     "AXISY",     "AXISZ",   "ROTATIONX",
                                             "ROTATIONY", "ROTATIONZ", "SLIDER1", "SLIDER2"};
        static const char* const kKinds[3] = {"JOYSTICK_VELOCITY_", "JOYSTICK_ACCELERATION_",
                                              "JOYSTICK_FORCE_"};
        for (int k = 0; k < 3; ++k)
            for (int a = 0; a < 8; ++a) names[411 + k * 8 + a].push_back(std::string(kKinds[k]) + kAxes[a]);
    }
};

const SKeyNameTable& Table() {
    static const SKeyNameTable table;
    return table;
}

bool EqualNoCase(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b)
        if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b)))
            return false;
    return *a == *b;
}

bool StartsWithNoCase(const char* s, const char* prefix) {
    for (; *prefix; ++s, ++prefix)
        if (std::tolower(static_cast<unsigned char>(*s)) != std::tolower(static_cast<unsigned char>(*prefix)))
            return false;
    return true;
}

// A whole decimal number, nothing after it; -1 when there is none. Bounded so
// that long digit strings cannot overflow.
long ParseDecimal(const char* s) {
    if (!std::isdigit(static_cast<unsigned char>(*s))) return -1;
    long v = 0;
    for (; std::isdigit(static_cast<unsigned char>(*s)); ++s) {
        v = v * 10 + (*s - '0');
        if (v > 1000000) return -1;
    }
    return *s ? -1 : v;
}

}  // namespace

int KeyCodeFromName(const char* name) {
    if (!name || !*name) return kKeyCodeNone;
    if (name[0] == '#') {
        // Tables hold 436 entries: a number outside the code space is no key,
        // so a binding can never reach outside them.
        long v = ParseDecimal(name + 1);
        return (v >= 1 && v < kKeyCodeCount) ? static_cast<int>(v) : kKeyCodeNone;
    }
    static const char kJoyButton[] = "JOYSTICK_BUTTON";
    if (StartsWithNoCase(name, kJoyButton)) {
        long v = ParseDecimal(name + sizeof kJoyButton - 1);
        if (v >= 1 && v <= 127) return kKeyJoystickButtonBase + static_cast<int>(v);
    }
    const SKeyNameTable& t = Table();
    for (int code = 0; code < kKeyCodeCount; ++code)
        for (const std::string& n : t.names[code])
            if (EqualNoCase(n.c_str(), name)) return code;
    return kKeyCodeNone;
}

std::string KeyNameFromCode(int code) {
    if (code > kKeyJoystickButtonBase && code <= kKeyJoystickButtonBase + 127)
        return "JOYSTICK_BUTTON" + std::to_string(code - kKeyJoystickButtonBase);
    if (code >= 0 && code < kKeyCodeCount && !Table().names[code].empty()) return Table().names[code][0];
    // Also code 283, which as "JOYSTICK_BUTTON0" would not read back.
    return "#" + std::to_string(code);
}

char* KeyNameFromCode(char* buffer, size_t size, int code) {
    if (size == 0) return buffer;
    std::snprintf(buffer, size, "%s", KeyNameFromCode(code).c_str());
    return buffer;
}
