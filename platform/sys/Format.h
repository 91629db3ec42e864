// The one formatter behind every Printf of the game.
//
// Format strings across the game are written in the Windows printf dialect:
// "%I64d" for 64-bit numbers, "%ld" for 32-bit ones (long is 32 bits there),
// "%S" for a wide (16-bit) string. Sys_VFormat reads that dialect, fetches each
// argument with the type the dialect means, and prints numbers in the "C"
// locale whatever the process locale is. "%n" is refused: its argument is
// skipped and nothing is stored through it, so text that reaches a format by
// mistake cannot write memory.
#pragma once

#include <cstdarg>
#include <cstddef>

// Formats into buf (at most cap bytes, terminator included; buf may be null
// when cap is 0) and returns the length the whole text has, as vsnprintf does.
int Sys_VFormat(char* buf, size_t cap, const char* fmt, va_list ap);
int Sys_Format(char* buf, size_t cap, const char* fmt, ...);
