// Quoting of string values in configuration files, so that the parser reads
// back exactly the text that was written: a double quote, a backslash and a
// carriage return (which the parser spells \n) are escaped.
#pragma once

#include <string>

std::string ConfigText_Quote(const char* text);
