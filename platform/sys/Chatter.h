// The libraries' own messages (the sound mixer's, ALSA's): what they would
// print on the terminal by themselves, such as ten lines of errors on a
// machine without a sound card. The platform layer takes them here instead;
// the game says what matters in its own words, and a developer reads these
// on demand (dbg_LibraryLog).
#pragma once

#include <string>
#include <vector>

// Keeps one message of the library (its ends of line trimmed); the oldest
// go once more than kChatterKept are kept.
void Chatter_Say(const char* library, const char* text);
// The messages kept, oldest first, each as "<library>: <text>".
std::vector<std::string> Chatter_Lines();
// How many messages came in all (kept or not).
int Chatter_Count();
// From now on ALSA's error lines come here, not to standard error: called
// before anything first opens an ALSA device (once is enough).
void Chatter_TakeAlsa();

constexpr int kChatterKept = 64;
