#include "platform/sys/Format.h"

#include <locale.h>

#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

// Collects output, counting every byte even past the caller's capacity.
struct SOut {
    char* buf;
    size_t cap;
    size_t len = 0;
    void Put(const char* s, size_t n) {
        if (len + 1 < cap) {
            size_t room = cap - 1 - len;
            std::memcpy(buf + len, s, n < room ? n : room);
        }
        len += n;
    }
};

// Prints one conversion with the host's snprintf, its directive already rewritten
// into the host dialect.
template <typename T>
void PutOne(SOut& out, const std::string& directive, T value) {
    char small[256];
    int n = std::snprintf(small, sizeof small, directive.c_str(), value);
    if (n < 0) return;
    if (static_cast<size_t>(n) < sizeof small) {
        out.Put(small, static_cast<size_t>(n));
        return;
    }
    std::string big(static_cast<size_t>(n) + 1, '\0');
    std::snprintf(&big[0], big.size(), directive.c_str(), value);
    out.Put(big.data(), static_cast<size_t>(n));
}

// Windows wide text is 16-bit; the game's own text is one byte per character,
// so code units above 255 print as '?'.
std::string Narrow(const char16_t* w, long maxChars) {
    std::string s;
    if (!w) return s;
    for (long i = 0; w[i] && (maxChars < 0 || i < maxChars); ++i)
        s += w[i] < 256 ? static_cast<char>(w[i]) : '?';
    return s;
}

enum ESize { kDefault, kChar, kShort, kLong32, kLong64, kPtrSize, kWide, kLongDouble };

}  // namespace

int Sys_VFormat(char* buf, size_t cap, const char* fmt, va_list apIn) {
    static locale_t cLocale = newlocale(LC_ALL_MASK, "C", nullptr);
    locale_t old = cLocale ? uselocale(cLocale) : nullptr;
    va_list ap;
    va_copy(ap, apIn);
    SOut out{buf, cap};
    if (!fmt) fmt = "";
    const char* p = fmt;
    while (*p) {
        if (*p != '%') {
            const char* q = p;
            while (*q && *q != '%') ++q;
            out.Put(p, static_cast<size_t>(q - p));
            p = q;
            continue;
        }
        const char* start = p++;
        if (*p == '%') {
            out.Put("%", 1);
            ++p;
            continue;
        }
        std::string directive = "%";
        while (*p && std::strchr("-+ #0", *p)) directive += *p++;
        if (*p == '*') {
            directive += std::to_string(va_arg(ap, int));
            ++p;
        } else {
            while (*p >= '0' && *p <= '9') directive += *p++;
        }
        long precision = -1;
        if (*p == '.') {
            ++p;
            if (*p == '*') {
                precision = va_arg(ap, int);
                ++p;
            } else {
                precision = 0;
                while (*p >= '0' && *p <= '9') precision = precision * 10 + (*p++ - '0');
                if (precision > 100000) precision = 100000;
            }
            if (precision >= 0) directive += "." + std::to_string(precision);
        }
        ESize size = kDefault;
        for (;;) {
            if (p[0] == 'I' && p[1] == '6' && p[2] == '4') {
                size = kLong64;
                p += 3;
            } else if (p[0] == 'I' && p[1] == '3' && p[2] == '2') {
                size = kLong32;
                p += 3;
            } else if (*p == 'I' || *p == 'z' || *p == 't' || *p == 'j') {
                size = *p == 'j' ? kLong64 : kPtrSize;
                ++p;
            } else if (*p == 'h') {
                size = (size == kShort) ? kChar : kShort;
                ++p;
            } else if (*p == 'l') {
                size = (size == kLong32) ? kLong64 : kLong32;  // "ll" is 64-bit, "l" 32-bit
                ++p;
            } else if (*p == 'q') {
                size = kLong64;
                ++p;
            } else if (*p == 'w') {
                size = kWide;
                ++p;
            } else if (*p == 'L') {
                size = kLongDouble;
                ++p;
            } else if (*p == 'F' || *p == 'N') {
                ++p;  // far and near pointers: nothing on a flat memory model
            } else {
                break;
            }
        }
        char conv = *p;
        if (!conv) {
            out.Put(start, static_cast<size_t>(p - start));
            break;
        }
        ++p;
        switch (conv) {
            case 'd':
            case 'i': {
                if (size == kLong64) {
                    PutOne(out, directive + "lld", va_arg(ap, long long));
                } else if (size == kPtrSize) {
                    PutOne(out, directive + "lld", static_cast<long long>(va_arg(ap, intptr_t)));
                } else {
                    int v = va_arg(ap, int);
                    if (size == kShort) v = static_cast<short>(v);
                    if (size == kChar) v = static_cast<signed char>(v);
                    PutOne(out, directive + "d", v);
                }
                break;
            }
            case 'u':
            case 'o':
            case 'x':
            case 'X': {
                if (size == kLong64) {
                    PutOne(out, directive + "ll" + conv, va_arg(ap, unsigned long long));
                } else if (size == kPtrSize) {
                    PutOne(out, directive + "ll" + conv,
                           static_cast<unsigned long long>(va_arg(ap, uintptr_t)));
                } else {
                    unsigned v = va_arg(ap, unsigned);
                    if (size == kShort) v = static_cast<unsigned short>(v);
                    if (size == kChar) v = static_cast<unsigned char>(v);
                    PutOne(out, directive + conv, v);
                }
                break;
            }
            case 'e':
            case 'E':
            case 'f':
            case 'F':
            case 'g':
            case 'G':
            case 'a':
            case 'A':
                // long double is double on Windows: callers pass a double.
                PutOne(out, directive + conv, va_arg(ap, double));
                break;
            case 'c':
            case 'C': {
                int v = va_arg(ap, int);
                if ((conv == 'C' && size != kShort) || size == kLong32 || size == kWide)
                    v = (v & 0xFFFF) < 256 ? (v & 0xFF) : '?';
                PutOne(out, directive + "c", v);
                break;
            }
            case 's':
            case 'S': {
                bool wide = (conv == 'S' && size != kShort) || size == kLong32 || size == kWide;
                if (wide) {
                    const char16_t* w = va_arg(ap, const char16_t*);
                    std::string s = w ? Narrow(w, precision) : std::string("(null)");
                    PutOne(out, directive + "s", s.c_str());
                } else {
                    const char* s = va_arg(ap, const char*);
                    PutOne(out, directive + "s", s ? s : "(null)");
                }
                break;
            }
            case 'p':
                PutOne(out, directive + "p", va_arg(ap, void*));
                break;
            case 'n':
                (void)va_arg(ap, void*);  // refused: nothing is stored
                break;
            default:
                // An unknown conversion prints as itself, as the Windows runtime does.
                out.Put(&conv, 1);
                break;
        }
    }
    va_end(ap);
    if (cap) buf[out.len < cap ? out.len : cap - 1] = '\0';
    if (old) uselocale(old);
    return static_cast<int>(out.len);
}

int Sys_Format(char* buf, size_t cap, const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    int n = Sys_VFormat(buf, cap, fmt, ap);
    va_end(ap);
    return n;
}
