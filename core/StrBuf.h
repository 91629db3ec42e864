// CStrBuf: the game's own string and byte buffer.
//
// Every name, path, value and message text of the game lives in a CStrBuf.
// It is a plain value class: a character pointer and the number of bytes
// allocated (terminator included). The null state (no storage) is the empty
// string, and GetText never returns a null pointer: an empty object reads as
// one shared, read-only zero byte. Copies are deep. The size counts bytes
// allocated, not characters; the text ends at its first zero byte.
//
// Format and FormatV print in the Windows printf dialect ("%I64d" and kin)
// through the platform formatter, and always size the storage exactly.
#pragma once

#include <cstdarg>
#include <cstdint>

class CStrBuf {
public:
    CStrBuf() = default;
    CStrBuf(const char* text);  // NOLINT: implicit, as strings are passed around everywhere
    CStrBuf(const CStrBuf& other);
    CStrBuf(CStrBuf&& other) noexcept;
    ~CStrBuf();

    CStrBuf& operator=(const CStrBuf& other) { return Assign(other); }
    CStrBuf& operator=(CStrBuf&& other) noexcept;
    CStrBuf& operator=(const char* text) { return Assign(text); }

    void Alloc(int32_t n);   // discards the contents
    void Resize(int32_t n);  // keeps the first min(n, size) bytes
    void Clear();
    CStrBuf& Assign(const CStrBuf& other);
    CStrBuf& Assign(const char* text);
    char* GetBuffer(int32_t n);  // room for n characters and a terminator
    void ShrinkToFit();
    void SetAt(int32_t index, char c);
    void Format(const char* fmt, ...);
    void FormatV(const char* fmt, va_list ap);

    const char* GetText() const { return m_text ? m_text : kEmpty; }
    int32_t GetSize() const { return m_size; }
    int32_t GetLength() const;
    bool IsEmpty() const { return !m_text || !m_text[0]; }
    // Appends text (the object keeps exactly length + 1 bytes afterwards).
    CStrBuf& Append(const char* text);
    CStrBuf& Append(const char* text, int32_t n);
    // True when the texts are equal, exactly or ignoring ASCII case.
    bool Equals(const char* text) const;
    bool EqualsNoCase(const char* text) const;

private:
    static const char kEmpty[1];
    char* m_text = nullptr;
    int32_t m_size = 0;
};
