// The computer players' learning files: small text files of words (bytes of
// value 32 or below separate them). A word "//" makes the reader skip the
// rest of its line. An entry is a key (a parameter or template name, matched
// byte for byte) followed by one or two numbers; every search starts at the
// top of the file and takes the first entry of the key.
//
//   InitParameters%d.ai           parameter name, default and spread
//   MaxNumberOfUnits%d.ai         template name, the most alive at once
//   MaxNumberOfUnitsPerGame%d.ai  template name, the most built in one game
//   BuildFitness%d.ai             template name, its build fitness
//   UnitsWithAttackStatistics.ai  template name, wins and matches
//
// (%d is the difficulty's file index.) They lie in the map's "AI\<race>"
// folder and in the shared "AIVALUES\<race>" folder (the statistics in
// "AIVALUES" itself).
#pragma once

#include <string>

class CAIFile {
public:
    // Reads the file through the file table (loose or in a pack); false when
    // it does not open.
    bool Open(const char* path);
    // Reads text as the file's contents.
    void SetText(const std::string& text) { m_text = text; }
    // The numbers behind the first entry of the key; false when the key is
    // not there. A number that does not read is 0; one beyond +-1,000,000
    // (or not finite) is cut to +-1,000,000.
    bool FindNumbers(const char* key, float* first, float* second) const;
    bool FindNumber(const char* key, float* first) const;

private:
    std::string m_text;
};
