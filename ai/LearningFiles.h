// The computer players' learning files: small text files of words (bytes of
// value 32 or below separate them). A word that is exactly "//" makes the
// reader skip every byte up to and including the next line feed while it
// looks for a key. An entry is a key (a parameter or template name, matched
// byte for byte) followed by its numbers; each search starts at the
// beginning of the file and takes the first word that equals the key, and
// the words behind it are read as its numbers as they stand.
//
//   file                          key              numbers
//   InitParameters%d.ai           parameter name   default, spread (a bool: on when not 0, ignored)
//   MaxNumberOfUnits%d.ai         template name    the most alive at once
//   MaxNumberOfUnitsPerGame%d.ai  template name    the most built in one game
//   BuildFitness%d.ai             template name    its build fitness
//   UnitsWithAttackStatistics.ai  template name    wins, matches
//
// (%d is the difficulty's file index.) They lie in the map's "AI\<race>"
// folder and in the shared "AIVALUES\<race>" folder (the statistics in
// "AIVALUES" itself), loose beside the map's box, never inside it.
//
// Nothing of a file is refused and nothing is said on the console: a key
// that is not there leaves its target as it is, and a number is read as the
// number its word begins with (a whole one where the file holds whole
// numbers), 0 when the word begins with none or the file ends first. What
// is read is kept finite and within +-1,000,000.
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
#include <vector>

// How many numbers an entry of each file holds.
enum : int {
    AIFile_InitParameterNumbers = 2,
    AIFile_TemplateNumbers = 1,    // MaxNumberOfUnits, MaxNumberOfUnitsPerGame, BuildFitness
    AIFile_StatisticsNumbers = 2,  // UnitsWithAttackStatistics
};

class CAIFile {
public:
    enum EResult : uint8_t { kRead, kMissing };
    static constexpr float kLimit = 1000000.0f;

    struct SEntry {
        std::string key;
        float numbers[2] = {0.0f, 0.0f};
        int line = 0;
    };

    // Reads the file through the file table (loose, or in a pack): kMissing
    // when it does not open.
    EResult Open(const char* path, int numbers);
    // The same for text in hand; false when it holds no entry.
    bool Parse(const std::string& text, int numbers);

    // The numbers behind the first word that equals the key (whole numbers
    // when asked); false when the key is not there.
    bool FindNumbers(const char* key, float* first, float* second, bool whole = false) const;
    bool FindNumber(const char* key, float* first, bool whole = false) const {
        return FindNumbers(key, first, nullptr, whole);
    }
    // The entries as the file reads from its start: a key, then its numbers
    // (comments skipped between entries).
    const std::vector<SEntry>& Entries() const { return m_entries; }

private:
    struct SWord {
        size_t start, end;  // in the text
    };
    // The index of the first word that begins after the line feed that
    // follows the word at i (the words' count when none does).
    size_t AfterLine(size_t i) const;
    float Number(size_t word, bool whole) const;

    std::string m_text;
    std::vector<SWord> m_words;
    int m_numbers = 1;
    std::vector<SEntry> m_entries;
};

// One entry's line as the game and the content builder write it.
std::string AIFile_Line(const std::string& key, const float* numbers, int count);
// The file name of a learning file of the difficulty ("BuildFitness" and 1
// give "BuildFitness1.ai").
std::string AIFile_Name(const char* stem, int index);
