#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ai/LearningFiles.h"
#include "core/ShownText.h"
#include "core/VFSFile.h"

namespace {
// The word as a number; false when it is none (or not finite).
bool ReadNumber(const std::string& word, float* out) {
    if (word.empty()) return false;
    const char* text = word.c_str();
    // "nan", "inf" and their kin are words, not numbers of a learning file.
    const char first = text[0] == '+' || text[0] == '-' ? text[1] : text[0];
    if (!(first == '.' || (first >= '0' && first <= '9'))) return false;
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    if (end != text + word.size() || !std::isfinite(v)) return false;
    const double limit = CAIFile::kLimit;
    *out = static_cast<float>(v > limit ? limit : v < -limit ? -limit : v);
    return true;
}

// A word as the reason quotes it (at most 32 characters, the bytes that
// cannot be shown escaped).
std::string Quote(const std::string& word) {
    return "\"" + (word.size() > 32 ? Text_Shown(word.substr(0, 32)) + "..." : Text_Shown(word)) + "\"";
}
}  // namespace

CAIFile::EResult CAIFile::Open(const char* path, int numbers, std::string* why) {
    m_entries.clear();
    m_first.clear();
    CVFSFile file;
    if (!path || !file.Open(path, CVFSFile::kModeRead)) return kMissing;
    const uint32_t size = file.GetSize();
    if (size > kMaxSize) {
        if (why) *why = "larger than " + std::to_string(kMaxSize) + " bytes";
        return kRefused;
    }
    std::string text(size, '\0');
    const uint32_t got = size ? file.Read(&text[0], size) : 0;
    file.Close();
    if (got != size) {
        if (why) *why = "it could not be read whole";
        return kRefused;
    }
    return Parse(text, numbers, why) ? kRead : kRefused;
}

bool CAIFile::Parse(const std::string& text, int numbers, std::string* why) {
    m_entries.clear();
    m_first.clear();
    auto refuse = [&](int line, const std::string& reason) {
        m_entries.clear();
        m_first.clear();
        if (why) *why = line > 0 ? "line " + std::to_string(line) + ": " + reason : reason;
        return false;
    };
    if (numbers < 1 || numbers > 2) return refuse(0, "no file of its kind");
    size_t pos = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;  // a UTF-8 mark of the editor
    int line = 1;
    SEntry entry;
    int have = -1;  // numbers of the entry under way (-1: none under way)
    for (;;) {
        while (pos < text.size() && static_cast<unsigned char>(text[pos]) <= 32) {
            if (text[pos] == 0) return refuse(line, "not text (a NUL byte)");
            if (text[pos] == '\n') ++line;
            ++pos;
        }
        if (pos >= text.size()) break;
        const size_t start = pos;
        while (pos < text.size() && static_cast<unsigned char>(text[pos]) > 32) ++pos;
        const std::string word = text.substr(start, pos - start);
        if (word.compare(0, 2, "//") == 0) {
            const size_t end = text.find('\n', pos);
            if (text.find('\0', pos) < end) return refuse(line, "not text (a NUL byte)");
            pos = end == std::string::npos ? text.size() : end;
            continue;
        }
        float value = 0.0f;
        const bool isNumber = ReadNumber(word, &value);
        if (have < 0) {
            if (isNumber) return refuse(line, "the number " + Quote(word) + " stands where a key belongs");
            entry = SEntry();
            entry.key = word;
            entry.line = line;
            have = 0;
            continue;
        }
        if (!isNumber)
            return refuse(line,
                          Quote(word) + " stands where a number of " + Text_Shown(entry.key) + " belongs");
        entry.numbers[have++] = value;
        if (have == numbers) {
            m_first.emplace(entry.key, m_entries.size());
            m_entries.push_back(entry);
            have = -1;
        }
    }
    if (have >= 0) return refuse(entry.line, "the file ends inside the entry " + Text_Shown(entry.key));
    if (m_entries.empty()) return refuse(0, "it holds no entry");
    return true;
}

bool CAIFile::FindNumbers(const char* key, float* first, float* second) const {
    auto it = key ? m_first.find(key) : m_first.end();
    if (it == m_first.end()) return false;
    const SEntry& e = m_entries[it->second];
    *first = e.numbers[0];
    if (second) *second = e.numbers[1];
    return true;
}

std::string AIFile_Line(const std::string& key, const float* numbers, int count) {
    std::string line = key;
    line += key.size() >= 16 ? "\t" : key.size() >= 8 ? "\t\t" : "\t\t\t";
    for (int i = 0; i < count; ++i) {
        char text[48];
        const float v = numbers[i];
        if (v == static_cast<float>(static_cast<int32_t>(v)))
            std::snprintf(text, sizeof text, "%d", static_cast<int>(v));
        else
            std::snprintf(text, sizeof text, "%.6g", static_cast<double>(v));
        // A decimal point whatever the locale.
        for (char* c = text; *c; ++c)
            if (*c == ',') *c = '.';
        if (i) line += "  ";
        line += text;
    }
    return line + "\n";
}

std::string AIFile_Name(const char* stem, int index) {
    return std::string(stem) + std::to_string(index) + ".ai";
}
