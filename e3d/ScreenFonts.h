// How the screen's font registry tells the player about a font it had to
// build at run time: the game routes it to the console (red, echoed).
#pragma once

typedef void (*E3DFontNoticeHook)(const char* text, int r, int g, int b, bool echo);
void E3DFont_SetNoticeHook(E3DFontNoticeHook hook);
