#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
#include <cstdlib>
#include <cstring>

#include "ai/LearningFiles.h"
#include "core/VFSFile.h"

namespace {
// The next word from pos (empty at the end); pos moves behind it.
std::string NextWord(const std::string& text, size_t& pos) {
    while (pos < text.size() && static_cast<unsigned char>(text[pos]) <= 32) ++pos;
    size_t start = pos;
    while (pos < text.size() && static_cast<unsigned char>(text[pos]) > 32) ++pos;
    return text.substr(start, pos - start);
}

// The word as a number: 0 when it is none; a number no learning file means
// (not finite, or beyond +-1,000,000) is cut to +-1,000,000.
float Number(const std::string& word) {
    constexpr double kLimit = 1000000.0;
    const double v = std::strtod(word.c_str(), nullptr);
    if (!(v == v)) return 0.0f;
    return static_cast<float>(v > kLimit ? kLimit : v < -kLimit ? -kLimit : v);
}
}  // namespace

bool CAIFile::Open(const char* path) {
    m_text.clear();
    CVFSFile file;
    if (!path || !file.Open(path, CVFSFile::kModeRead)) return false;
    char buffer[4096];
    for (;;) {
        uint32_t n = file.Read(buffer, sizeof buffer);
        if (n == 0) break;
        m_text.append(buffer, n);
        // A learning file is a few lines; one of megabytes is no learning file.
        if (m_text.size() > (1u << 20)) break;
    }
    file.Close();
    return true;
}

bool CAIFile::FindNumbers(const char* key, float* first, float* second) const {
    size_t pos = 0;
    for (;;) {
        std::string word = NextWord(m_text, pos);
        if (word.empty()) return false;
        if (word == "//") {
            size_t end = m_text.find('\n', pos);
            pos = end == std::string::npos ? m_text.size() : end + 1;
            continue;
        }
        if (word != key) continue;
        *first = Number(NextWord(m_text, pos));
        if (second) *second = Number(NextWord(m_text, pos));
        return true;
    }
}

bool CAIFile::FindNumber(const char* key, float* first) const {
    return FindNumbers(key, first, nullptr);
}
