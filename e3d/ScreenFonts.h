// How the screen's font registry tells the player about a font it had to
// build at run time: the game routes it to the console (red, echoed).
#pragma once

#include <cstddef>
#include <functional>

class CE3DScreen;

typedef void (*E3DFontNoticeHook)(const char* text, int r, int g, int b, bool echo);
void E3DFont_SetNoticeHook(E3DFontNoticeHook hook);

// Reads a compiled-fonts file from a byte source (read(buffer, n) gives the
// bytes read) into fonts of the screen, each with one reference. False when
// the count cannot be read or is out of all measure, or a record is short or
// does not hold together; the fonts before it stay.
bool E3DFont_LoadCompiled(CE3DScreen* screen, const std::function<size_t(void*, size_t)>& read);
