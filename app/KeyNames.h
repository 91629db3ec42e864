// Key codes and their names.
//
// Every input the game reacts to is one key code from 0 to 435: keyboard scan
// codes (1 to 221, extended keys are the scan code plus 128), mouse axes,
// buttons and wheel (256 to 270), joystick axes and buttons (271 to 434) and
// ANIM_END (435); 0 is "no key". Scripts name keys in `Bind` lines ("q",
// "RETURN", "MOUSE_BUTTON1", "#300"), and the console prints them back with
// the one preferred name of each code, which `KeyCodeFromName` reads again.
#pragma once

#include <cstddef>
#include <string>

constexpr int kKeyCodeCount = 436;  // codes 0 to 435
constexpr int kKeyCodeNone = 0;

// Codes the input manager handles itself.
constexpr int kKeyLShift = 42;
constexpr int kKeyRShift = 54;
constexpr int kKeyLControl = 29;
constexpr int kKeyRControl = 157;
constexpr int kKeyLAlt = 56;
constexpr int kKeyRAlt = 184;
constexpr int kKeyMouseAxisX = 256;
constexpr int kKeyMouseAxisY = 257;
constexpr int kKeyMouseAxisZ = 258;
constexpr int kKeyMouseButton1 = 259;  // to 268 for button 10
constexpr int kKeyMouseWheelUp = 269;
constexpr int kKeyMouseWheelDown = 270;
constexpr int kKeyJoystickButtonBase = 283;  // button n is 283 + n, n = 1 to 127
constexpr int kKeyAnimEnd = 435;

// The code of a key name, compared without regard to case: "#<decimal>" gives
// that code when it lies in 1 to 435, "JOYSTICK_BUTTON<n>" gives 283 + n for
// n = 1 to 127, otherwise the name table decides. Anything else gives 0.
int KeyCodeFromName(const char* name);

// The preferred name of a code into buffer (always terminated when size > 0);
// codes without a name give "#<code>". Returns buffer.
char* KeyNameFromCode(char* buffer, size_t size, int code);
std::string KeyNameFromCode(int code);
