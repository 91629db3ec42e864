// Message boxes.
//
// Where a display exists the box is an SDL message box; without one (no
// DISPLAY or WAYLAND_DISPLAY, SDL_VIDEODRIVER set to dummy or offscreen, or
// TESSARAK_HEADLESS_DIALOGS set, as the test runs do) the caption and text go
// to standard error and the answer is the default button. Tests can queue the
// answers the user would give; each box takes the next one.
#pragma once

#include <cstdint>
#include <string>

enum : uint32_t {
    MB_OK = 0x0,
    MB_OKCANCEL = 0x1,
    MB_YESNOCANCEL = 0x3,
    MB_YESNO = 0x4,
    MB_ICONERROR = 0x10,
    MB_ICONWARNING = 0x30,
    MB_ICONINFORMATION = 0x40,
};

enum : int { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };

// Shows a box and returns the button pressed (IDOK, IDCANCEL, IDYES, IDNO).
int Sys_MessageBox(const char* text, const char* caption, uint32_t type);

// Test hooks: queued answers, and what was shown.
void Sys_QueueMessageBoxAnswer(int answer);
void Sys_ClearMessageBoxAnswers();
int Sys_GetMessageBoxCount();  // boxes shown since start
std::string Sys_GetLastMessageBoxText();
bool Sys_HasDisplay();
