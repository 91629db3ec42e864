// Keyboard scan codes as the game knows them.
//
// The key-binding tables, the key names and every stored binding use the
// DirectInput keyboard scan codes (1 to 221, extended keys are the scan code
// plus 128). The window layer reports keys as SDL scancodes; this table is
// the one place where the two meet.
#pragma once

// The game's scan code of an SDL scancode; 0 for keys the game has no code
// for.
int Input_ScanCodeFromSdl(int sdlScancode);
// The SDL scancode of a game scan code (the first one that maps to it); 0
// when none does.
int Input_SdlFromScanCode(int scanCode);
