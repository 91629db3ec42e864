// Writer of property lists in every stored version, for tests, the content
// builder and modders. The game itself writes only version 30 and later; the
// older layouts (fixed 256-byte fields before 29) are produced here so their
// reader can be tested. Entries are written in the order given: the game's
// reader puts each loaded entry at the front, so the first entry given ends up
// last in the loaded list.
#pragma once

#include <string>
#include <utility>
#include <vector>

typedef std::vector<std::pair<std::string, std::string>> CPropertyPairs;

// The bytes of a list at a version (4 and later). Texts longer than a fixed
// field are cut to fill it completely, without a terminator, as a damaged
// file would hold them.
std::string PropertyListWriter_Build(const CPropertyPairs& entries, int version);
