// The computer players' learning files: small text files of words (bytes of
// value 32 or below separate them). A word that begins with "//" makes the
// reader skip the rest of its line. An entry is a key (a parameter or
// template name, matched byte for byte) followed by its numbers; a key may
// stand more than once, and its first entry counts.
//
//   file                          key              numbers
//   InitParameters%d.ai           parameter name   default, spread (a bool: on or off, ignored)
//   MaxNumberOfUnits%d.ai         template name    the most alive at once
//   MaxNumberOfUnitsPerGame%d.ai  template name    the most built in one game
//   BuildFitness%d.ai             template name    its build fitness
//   UnitsWithAttackStatistics.ai  template name    wins, matches
//
// (%d is the difficulty's file index.) They lie in the map's "AI\<race>"
// folder and in the shared "AIVALUES\<race>" folder (the statistics in
// "AIVALUES" itself), loose beside the map's box, never inside it.
//
// A file is read whole and checked before anything of it is used: one that
// is larger than kMaxSize, holds a NUL byte, has no entry, or has an entry
// that is not a key followed by exactly the numbers of its kind (a word that
// is no number where a number belongs, a number where a key belongs, or a
// file that ends inside its last entry) is refused whole. A number is a
// decimal number (not infinite, not "nan"); beyond +-1,000,000 it is cut to
// +-1,000,000.
//
// The game writes the statistics (the learner) and the content builder the
// shipped files (tools/lib/LearningFileWriter.h) through AIFile_Line: the
// key, tabs that line the numbers up (one after a key of 16 characters or
// more, two after 8 to 15, three after 7 or fewer), the numbers two blanks
// apart (a whole number as an integer), a line feed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

// How many numbers an entry of each file holds.
enum : int {
    AIFile_InitParameterNumbers = 2,
    AIFile_TemplateNumbers = 1,    // MaxNumberOfUnits, MaxNumberOfUnitsPerGame, BuildFitness
    AIFile_StatisticsNumbers = 2,  // UnitsWithAttackStatistics
};

class CAIFile {
public:
    enum EResult : uint8_t { kRead, kMissing, kRefused };
    static constexpr size_t kMaxSize = 256 * 1024;
    static constexpr float kLimit = 1000000.0f;

    struct SEntry {
        std::string key;
        float numbers[2] = {0.0f, 0.0f};
        int line = 0;
    };

    // Reads the file through the file table (loose, or in a pack) and checks
    // it whole: kMissing when it does not open, kRefused with the reason
    // (where it fails) when it does not hold together; a refused file holds
    // no entries.
    EResult Open(const char* path, int numbers, std::string* why = nullptr);
    // The same for text in hand; false when refused.
    bool Parse(const std::string& text, int numbers, std::string* why = nullptr);

    // The numbers of the key's first entry; false when the key is not there.
    bool FindNumbers(const char* key, float* first, float* second) const;
    bool FindNumber(const char* key, float* first) const { return FindNumbers(key, first, nullptr); }
    const std::vector<SEntry>& Entries() const { return m_entries; }

private:
    std::vector<SEntry> m_entries;
    std::unordered_map<std::string, size_t> m_first;  // key to its first entry; looked up, never walked
};

// One entry's line as the game and the content builder write it.
std::string AIFile_Line(const std::string& key, const float* numbers, int count);
// The file name of a learning file of the difficulty ("BuildFitness" and 1
// give "BuildFitness1.ai").
std::string AIFile_Name(const char* stem, int index);
