#include "core/StrBuf.h"

#include <strings.h>

#include <cstring>
#include <utility>

#include "platform/sys/Format.h"

const char CStrBuf::kEmpty[1] = {0};

CStrBuf::CStrBuf(const char* text) {
    size_t n = text ? std::strlen(text) : 0;
    if (n == 0) return;
    m_text = new char[n + 1];
    std::memcpy(m_text, text, n + 1);
    m_size = static_cast<int32_t>(n + 1);
}

CStrBuf::CStrBuf(const CStrBuf& other) {
    // The whole allocation is copied, not only the text up to its terminator.
    if (other.m_size < 1 || !other.m_text) return;
    m_text = new char[other.m_size];
    std::memcpy(m_text, other.m_text, static_cast<size_t>(other.m_size));
    m_size = other.m_size;
}

CStrBuf::CStrBuf(CStrBuf&& other) noexcept : m_text(other.m_text), m_size(other.m_size) {
    other.m_text = nullptr;
    other.m_size = 0;
}

CStrBuf::~CStrBuf() {
    delete[] m_text;
}

CStrBuf& CStrBuf::operator=(CStrBuf&& other) noexcept {
    if (this != &other) {
        delete[] m_text;
        m_text = other.m_text;
        m_size = other.m_size;
        other.m_text = nullptr;
        other.m_size = 0;
    }
    return *this;
}

void CStrBuf::Alloc(int32_t n) {
    delete[] m_text;
    m_text = nullptr;
    m_size = 0;
    if (n <= 0) return;
    m_text = new char[n];
    m_size = n;
}

void CStrBuf::Resize(int32_t n) {
    if (n <= 0) {
        Clear();
        return;
    }
    char* grown = new char[n];
    if (m_size > 0) {
        std::memcpy(grown, m_text, static_cast<size_t>(n < m_size ? n : m_size));
    } else {
        grown[0] = '\0';
    }
    delete[] m_text;
    m_text = grown;
    m_size = n;
}

void CStrBuf::Clear() {
    delete[] m_text;
    m_text = nullptr;
    m_size = 0;
}

CStrBuf& CStrBuf::Assign(const CStrBuf& other) {
    if (this == &other) return *this;
    if (!other.m_text) {
        Clear();
        return *this;
    }
    int32_t n = other.GetLength() + 1;
    char* copy = new char[n];
    std::memcpy(copy, other.m_text, static_cast<size_t>(n - 1));
    copy[n - 1] = '\0';
    delete[] m_text;
    m_text = copy;
    m_size = n;
    return *this;
}

CStrBuf& CStrBuf::Assign(const char* text) {
    if (!text) text = "";
    size_t n = std::strlen(text) + 1;
    // The text may point into our own storage: copy before freeing.
    char* copy = new char[n];
    std::memcpy(copy, text, n);
    delete[] m_text;
    m_text = copy;
    m_size = static_cast<int32_t>(n);
    return *this;
}

char* CStrBuf::GetBuffer(int32_t n) {
    if (n < 0) n = 0;
    if (n >= m_size) Resize(n + 1);
    return m_text;
}

void CStrBuf::ShrinkToFit() {
    int32_t len = GetLength();
    if (len + 1 != m_size) {
        if (m_size == 0) {
            Resize(1);
            return;
        }
        Resize(len + 1);
        m_text[len] = '\0';
    }
}

void CStrBuf::SetAt(int32_t index, char c) {
    if (index < 0) return;
    if (index >= m_size) Resize(index + 1);
    m_text[index] = c;
}

int32_t CStrBuf::GetLength() const {
    if (!m_text) return 0;
    const void* z = std::memchr(m_text, 0, static_cast<size_t>(m_size));
    return z ? static_cast<int32_t>(static_cast<const char*>(z) - m_text) : m_size;
}

void CStrBuf::Format(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    FormatV(fmt, ap);
    va_end(ap);
}

void CStrBuf::FormatV(const char* fmt, va_list ap) {
    // The length is measured by the formatter itself, so the storage is never
    // smaller than what gets written.
    va_list measure;
    va_copy(measure, ap);
    int len = Sys_VFormat(nullptr, 0, fmt, measure);
    va_end(measure);
    if (len < 0) len = 0;
    char* text = new char[static_cast<size_t>(len) + 1];
    va_list print;
    va_copy(print, ap);
    Sys_VFormat(text, static_cast<size_t>(len) + 1, fmt, print);
    va_end(print);
    // fmt or an argument may point into our own storage: free it only now.
    delete[] m_text;
    m_text = text;
    m_size = len + 1;
    ShrinkToFit();
}

CStrBuf& CStrBuf::Append(const char* text, int32_t n) {
    if (!text || n <= 0) return *this;
    int32_t len = GetLength();
    char* joined = new char[static_cast<size_t>(len) + n + 1];
    if (len) std::memcpy(joined, m_text, static_cast<size_t>(len));
    std::memcpy(joined + len, text, static_cast<size_t>(n));
    joined[len + n] = '\0';
    delete[] m_text;
    m_text = joined;
    m_size = len + n + 1;
    return *this;
}

CStrBuf& CStrBuf::Append(const char* text) {
    return text ? Append(text, static_cast<int32_t>(std::strlen(text))) : *this;
}

bool CStrBuf::Equals(const char* text) const {
    return std::strcmp(GetText(), text ? text : "") == 0;
}

bool CStrBuf::EqualsNoCase(const char* text) const {
    return strcasecmp(GetText(), text ? text : "") == 0;
}
