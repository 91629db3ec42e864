#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "ai/LearningFiles.h"
#include "core/VFSFile.h"

namespace {
// A number cut to the limits (0 for one that is not a number at all).
float Sane(double v) {
    if (!(v == v)) return 0.0f;
    const double limit = CAIFile::kLimit;
    return static_cast<float>(v > limit ? limit : v < -limit ? -limit : v);
}
}  // namespace

CAIFile::EResult CAIFile::Open(const char* path, int numbers) {
    m_text.clear();
    m_words.clear();
    m_entries.clear();
    CVFSFile file;
    if (!path || !file.Open(path, CVFSFile::kModeRead)) return kMissing;
    std::string text(file.GetSize(), '\0');
    text.resize(text.empty() ? 0 : file.Read(&text[0], static_cast<uint32_t>(text.size())));
    file.Close();
    Parse(text, numbers);
    return kRead;
}

bool CAIFile::Parse(const std::string& text, int numbers) {
    m_text = text;
    m_numbers = numbers < 1 ? 1 : numbers > 2 ? 2 : numbers;
    m_words.clear();
    m_entries.clear();
    // (a UTF-8 mark that an editor put before the first word)
    for (size_t pos = m_text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0; pos < m_text.size();) {
        while (pos < m_text.size() && static_cast<unsigned char>(m_text[pos]) <= 32) ++pos;
        if (pos >= m_text.size()) break;
        const size_t start = pos;
        while (pos < m_text.size() && static_cast<unsigned char>(m_text[pos]) > 32) ++pos;
        m_words.push_back({start, pos});
    }
    // The entries from the start: comments skipped where a key belongs.
    for (size_t i = 0; i < m_words.size();) {
        const SWord& w = m_words[i];
        if (m_text.compare(w.start, w.end - w.start, "//") == 0) {
            i = AfterLine(i);
            continue;
        }
        SEntry e;
        e.key = m_text.substr(w.start, w.end - w.start);
        e.line = 1 + static_cast<int>(
                         std::count(m_text.begin(), m_text.begin() + static_cast<long>(w.start), '\n'));
        for (int n = 0; n < m_numbers; ++n)
            e.numbers[n] = i + 1 + n < m_words.size() ? Number(i + 1 + n, false) : 0.0f;
        m_entries.push_back(e);
        i += 1 + static_cast<size_t>(m_numbers);
    }
    return !m_entries.empty();
}

size_t CAIFile::AfterLine(size_t i) const {
    const size_t feed = m_text.find('\n', m_words[i].end);
    if (feed == std::string::npos) return m_words.size();
    while (i < m_words.size() && m_words[i].start <= feed) ++i;
    return i;
}

float CAIFile::Number(size_t word, bool whole) const {
    const SWord& w = m_words[word];
    const std::string text = m_text.substr(w.start, w.end - w.start);
    const char* s = text.c_str();
    char* end = nullptr;
    const double v = whole ? static_cast<double>(std::strtoll(s, &end, 10)) : std::strtod(s, &end);
    return end == s ? 0.0f : Sane(v);
}

bool CAIFile::FindNumbers(const char* key, float* first, float* second, bool whole) const {
    if (!key) return false;
    const size_t length = std::strlen(key);
    for (size_t i = 0; i < m_words.size();) {
        const SWord& w = m_words[i];
        const std::string_view word(m_text.data() + w.start, w.end - w.start);
        if (word == "//") {
            i = AfterLine(i);
            continue;
        }
        if (word.size() != length || word != std::string_view(key, length)) {
            ++i;
            continue;
        }
        // The numbers behind the key, read as they stand.
        float* out[2] = {first, second};
        for (int n = 0; n < 2; ++n)
            if (out[n])
                *out[n] = i + 1 + static_cast<size_t>(n) < m_words.size()
                              ? Number(i + 1 + static_cast<size_t>(n), whole)
                              : 0.0f;
        return true;
    }
    return false;
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
