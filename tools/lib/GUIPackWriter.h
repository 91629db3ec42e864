// Writer of GUI packfiles: the records of ui/GUIPackfile.h (which gives the
// layout) as the game reads them, in the same order. The content builder
// compiles the demo interface with it; tests make fixtures, damaged ones
// too, by changing the bytes it gives.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ui/GUIPackfile.h"

// The file's bytes. The stored object count is the number of records unless
// objectCountOverride is 0 or more. False with the reason when a record
// cannot be stored: a name, text line, property or font name longer than 255
// bytes, a command text above the reader's limit, a tree deeper or larger
// than the reader takes.
bool GUIPack_Build(const SGUIPack& pack, std::vector<uint8_t>& out, std::string& error,
                   int64_t objectCountOverride = -1);
bool GUIPack_WriteFile(const std::string& path, const SGUIPack& pack, std::string& error);
// The records in a tree, the root included.
uint32_t GUIPack_CountObjects(const SGUIObjectRecord& root);
