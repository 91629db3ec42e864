// The inline markup of drawn text. Code bytes change colours and styles and
// are never drawn as glyphs:
//   0x02 RRGGBB or 0x02 c 0x02   foreground colour (c: t/s transparent on/off,
//                                 else a hex digit choosing one of 16 colours)
//   0x03 ...                      the same for the glyph cells' background
//   0x1F ...                      the same for the outline ring
//   0x0F c                        inverse: '2' toggles one switch, any other
//                                 character sets the other to (c == '1')
//   0x16                          reset
// The glyph routine, the line fitting and the font measurement all skip codes
// by this one rule. A text that ends inside a code ends there.
#pragma once

#include <cstdint>

constexpr uint8_t kE3DCodeForeground = 0x02;
constexpr uint8_t kE3DCodeBackground = 0x03;
constexpr uint8_t kE3DCodeOutline = 0x1F;
constexpr uint8_t kE3DCodeInverse = 0x0F;
constexpr uint8_t kE3DCodeReset = 0x16;

struct SE3DMarkup {
    uint8_t code = 0;       // the code byte
    int length = 1;         // bytes taken, never past the terminator
    bool complete = false;  // false when the text ended inside the code
    bool rgbForm = false;   // the 7-byte form: r, g, b below
    uint8_t r = 0, g = 0, b = 0;
    char letter = 0;  // the 3-byte form's character, or the one after 0x0F
};

inline bool E3DMarkup_IsCode(uint8_t c) {
    return c == kE3DCodeForeground || c == kE3DCodeBackground || c == kE3DCodeOutline ||
           c == kE3DCodeInverse || c == kE3DCodeReset;
}

// Reads the code at p (whose first byte is a code byte).
SE3DMarkup E3DMarkup_Read(const char* p);

// One of the 16 text colours.
void E3DMarkup_TableColour(int index, uint8_t& r, uint8_t& g, uint8_t& b);
// Value of a hex digit, 0 when the character is none.
int E3DMarkup_HexDigit(char c);
