// Text from a file or a peer as a message quotes it: a damaged name or word
// may hold any byte. The control bytes (0 to 31 and 127) and every byte
// above 127 (which the console's output, UTF-8, cannot show alone) are
// written as \xNN, so the message shows what the file holds rather than
// moving the cursor, ringing the bell or printing garbage.
#pragma once

#include <cstddef>
#include <string>

std::string Text_Shown(const char* text, size_t length);
std::string Text_Shown(const std::string& text);
std::string Text_Shown(const char* text);  // zero-terminated; null: ""
