// The content builder's learning-file sources. A file "Learning.toml" in a
// race's folder (a map's "AI\<race>", or "AIVALUES\<race>") becomes the
// computer players' learning files it describes, in the same folder, one of
// each kind for each difficulty (0 easy, 1 medium, 2 hard):
//
//   about = """..."""                 # the files' heading (comment lines)
//   [InitParameters]                  # InitParameters0.ai to InitParameters2.ai
//   FirstAttackDelay = [150, 30]      # a default and a spread, alike at every difficulty
//   AttackDelay = { easy = [6, 2], medium = [5, 2], hard = [4, 1] }
//   InstantAttack = [1, 0]            # a bool: its first number switches it
//   [MaxNumberOfUnits]                # the most of a template alive at once
//   Coral_Factory = 2
//   [MaxNumberOfUnitsPerGame]         # the most of a template built in one game
//   [BuildFitness]                    # a template's build fitness
//   Coral_HeavyTank = { easy = 90, hard = 110 }   # a difficulty not named has no line
//
// Lines keep the order of the source. The text form of the files is the
// game's (ai/LearningFiles.h): the game reads exactly what is written here,
// and the builder reads every file back to check it.
#pragma once

#include <string>
#include <vector>

struct SLearningEntry {
    std::string key;
    float numbers[2] = {0.0f, 0.0f};
};

struct SLearningFileOut {
    std::string name;  // "InitParameters1.ai"
    int numbers = 1;   // numbers to an entry
    std::vector<SLearningEntry> entries;
    std::string text;  // what the file holds
};

// The text of a learning file: the heading as "// " lines, then one line
// per entry.
std::string LearningFile_Text(const std::string& heading, const std::vector<SLearningEntry>& entries,
                              int numbers);
// Reads a "Learning.toml" into the files it makes; false with "file:line:
// what" at the first mistake.
bool LearningSource_Build(const std::string& tomlPath, std::vector<SLearningFileOut>& files,
                          std::string& error);
// Writes the files into the folder (through a temporary file and a rename
// each) and reads each back through the game's reader; false with the reason.
bool LearningSource_Write(const std::string& folder, const std::vector<SLearningFileOut>& files,
                          std::string& error);
