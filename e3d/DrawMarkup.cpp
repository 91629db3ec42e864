#include "e3d/DrawMarkup.h"

int E3DMarkup_HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 0;
}

void E3DMarkup_TableColour(int index, uint8_t& r, uint8_t& g, uint8_t& b) {
    static const uint8_t kColours[16][3] = {{255, 255, 255}, {0, 0, 0},     {0, 0, 128},     {0, 146, 0},
                                            {255, 0, 0},     {123, 0, 0},   {156, 0, 156},   {255, 128, 0},
                                            {255, 255, 0},   {0, 255, 0},   {0, 146, 148},   {0, 255, 255},
                                            {0, 0, 255},     {255, 0, 255}, {128, 128, 128}, {214, 214, 214}};
    const uint8_t* c = kColours[index & 15];
    r = c[0];
    g = c[1];
    b = c[2];
}

SE3DMarkup E3DMarkup_Read(const char* p) {
    SE3DMarkup m;
    m.code = uint8_t(p[0]);
    if (m.code == kE3DCodeReset) {
        m.complete = true;
        return m;
    }
    if (m.code == kE3DCodeInverse) {
        if (p[1] == 0) return m;
        m.letter = p[1];
        m.length = 2;
        m.complete = true;
        return m;
    }
    // Colour codes: the 3-byte form repeats the code byte two places on.
    if (p[1] == 0) return m;
    if (p[2] == char(m.code)) {
        m.letter = p[1];
        m.length = 3;
        m.complete = true;
        return m;
    }
    for (int i = 1; i <= 6; ++i) {
        if (p[i] == 0) {
            m.length = i;
            return m;
        }
    }
    // A character that is no hex digit counts as 0.
    m.rgbForm = true;
    m.r = uint8_t(E3DMarkup_HexDigit(p[1]) << 4 | E3DMarkup_HexDigit(p[2]));
    m.g = uint8_t(E3DMarkup_HexDigit(p[3]) << 4 | E3DMarkup_HexDigit(p[4]));
    m.b = uint8_t(E3DMarkup_HexDigit(p[5]) << 4 | E3DMarkup_HexDigit(p[6]));
    m.length = 7;
    m.complete = true;
    return m;
}
