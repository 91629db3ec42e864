#include "tools/lib/LearningFileWriter.h"

#include <toml++/toml.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sstream>

#include "ai/LearningFiles.h"
#include "platform/sys/Path.h"
#include "tools/lib/TomlFields.h"

namespace {
// The kinds of file a source may describe, with their numbers to an entry.
struct SKind {
    const char* stem;
    int numbers;
};
const SKind kKinds[] = {
    {"InitParameters", AIFile_InitParameterNumbers},
    {"MaxNumberOfUnits", AIFile_TemplateNumbers},
    {"MaxNumberOfUnitsPerGame", AIFile_TemplateNumbers},
    {"BuildFitness", AIFile_TemplateNumbers},
};
const char* const kDifficulties[] = {"easy", "medium", "hard"};
constexpr int kDifficultyCount = 3;

std::string Where(const std::string& path, const toml::node& node) {
    return path + ":" + std::to_string(node.source().begin.line);
}

// The numbers of one value: a number, or an array of `numbers` numbers.
bool ReadNumbers(const toml::node& node, int numbers, float out[2]) {
    if (const toml::array* a = node.as_array()) {
        if (static_cast<int>(a->size()) != numbers) return false;
        for (int i = 0; i < numbers; ++i) {
            std::optional<double> v = (*a)[static_cast<size_t>(i)].value<double>();
            if (!v || !std::isfinite(*v) || std::fabs(*v) > CAIFile::kLimit) return false;
            out[i] = static_cast<float>(*v);
        }
        return true;
    }
    std::optional<double> v = node.value<double>();
    if (numbers != 1 || !v || !std::isfinite(*v) || std::fabs(*v) > CAIFile::kLimit) return false;
    out[0] = static_cast<float>(*v);
    return true;
}

// The nodes of a table in the order of the source.
std::vector<std::pair<std::string, const toml::node*>> InSourceOrder(const toml::table& t) {
    std::vector<std::pair<std::string, const toml::node*>> nodes;
    for (const auto& kv : t) nodes.emplace_back(std::string(kv.first.str()), &kv.second);
    std::stable_sort(nodes.begin(), nodes.end(), [](const auto& a, const auto& b) {
        return a.second->source().begin.line < b.second->source().begin.line;
    });
    return nodes;
}
}  // namespace

std::string LearningFile_Text(const std::string& heading, const std::vector<SLearningEntry>& entries,
                              int numbers) {
    std::string text;
    std::istringstream lines(heading);
    std::string line;
    while (std::getline(lines, line)) text += line.empty() ? "//\n" : "// " + line + "\n";
    for (const SLearningEntry& e : entries) text += AIFile_Line(e.key, e.numbers, numbers);
    return text;
}

bool LearningSource_Build(const std::string& path, std::vector<SLearningFileOut>& files, std::string& error) {
    files.clear();
    toml::table doc;
    if (!Toml_ParseFile(path, doc, error)) return false;
    std::string heading;
    for (const auto& kv : InSourceOrder(doc)) {
        const std::string& name = kv.first;
        const toml::node& node = *kv.second;
        if (name == "about") {
            std::optional<std::string> text = node.value<std::string>();
            if (!text) {
                error = Where(path, node) + ": about is a text";
                return false;
            }
            heading = *text;
            continue;
        }
        const SKind* kind = nullptr;
        for (const SKind& k : kKinds)
            if (name == k.stem) kind = &k;
        const toml::table* table = node.as_table();
        if (!kind || !table) {
            error = Where(path, node) + ": " + name +
                    " is no table of learning files (InitParameters, MaxNumberOfUnits, "
                    "MaxNumberOfUnitsPerGame, BuildFitness)";
            return false;
        }
        SLearningFileOut out[kDifficultyCount];
        for (int d = 0; d < kDifficultyCount; ++d) {
            out[d].name = AIFile_Name(kind->stem, d);
            out[d].numbers = kind->numbers;
        }
        const std::string shape = kind->numbers == 2 ? "[default, spread]" : "a number";
        for (const auto& entry : InSourceOrder(*table)) {
            const std::string& key = entry.first;
            const toml::node& value = *entry.second;
            // The key must read back as a key: one word, no number, no comment
            // (a key that is a number could be taken for another's number).
            CAIFile check;
            char* end = nullptr;
            const bool number = !key.empty() && (std::strtod(key.c_str(), &end), end != key.c_str());
            if (number || !check.Parse(key + " 0", 1) || check.Entries()[0].key != key) {
                error = Where(path, value) + ": \"" + key + "\" cannot be a key (one word, no number, no //)";
                return false;
            }
            SLearningEntry e;
            e.key = key;
            if (const toml::table* per = value.as_table()) {
                for (const auto& d : *per) {
                    int index = -1;
                    for (int i = 0; i < kDifficultyCount; ++i)
                        if (d.first.str() == kDifficulties[i]) index = i;
                    if (index < 0 || !ReadNumbers(d.second, kind->numbers, e.numbers)) {
                        error = Where(path, d.second) + ": " + key + " takes easy, medium or hard = " + shape;
                        return false;
                    }
                    out[index].entries.push_back(e);
                }
            } else if (ReadNumbers(value, kind->numbers, e.numbers)) {
                for (SLearningFileOut& f : out) f.entries.push_back(e);
            } else {
                error = Where(path, value) + ": " + key + " = " + shape + " of at most +-1000000, or " +
                        "{ easy = ..., medium = ..., hard = ... }";
                return false;
            }
        }
        // A difficulty without a line has no file (the game reads it as
        // missing).
        for (SLearningFileOut& f : out) {
            if (f.entries.empty()) continue;
            f.text = LearningFile_Text(heading, f.entries, f.numbers);
            files.push_back(f);
        }
    }
    if (files.empty()) {
        error = path + ": no learning files described";
        return false;
    }
    return true;
}

bool LearningSource_Write(const std::string& folder, const std::vector<SLearningFileOut>& files,
                          std::string& error) {
    for (const SLearningFileOut& f : files) {
        const std::string target = folder + "/" + f.name;
        if (!Sys_WriteFileAtomic(target.c_str(), f.text.data(), f.text.size())) {
            error = "cannot write " + target;
            return false;
        }
        // Read back as the game reads it: every entry, each number.
        CAIFile file;
        if (file.Open(target.c_str(), f.numbers) != CAIFile::kRead) {
            error = target + " does not read back";
            return false;
        }
        for (const SLearningEntry& e : f.entries) {
            float got[2] = {0.0f, 0.0f};
            bool same = file.FindNumbers(e.key.c_str(), &got[0], &got[1]);
            for (int i = 0; i < f.numbers && same; ++i)
                same = std::fabs(got[i] - e.numbers[i]) <= std::fabs(e.numbers[i]) * 1e-5f + 1e-5f;
            if (!same) {
                error = target + ": " + e.key + " does not read back as written";
                return false;
            }
        }
    }
    return true;
}
