// Texts inside game messages: zero-terminated 8-bit text with its zero sent.
//
// A text read from the network is never trusted: it must end with its zero
// inside the record, it is cut to the length its field allows, and the
// console's colour codes and other control bytes are dropped from it, so a
// name cannot fake another speaker's line.
#pragma once

#include <string>

#include "core/StrBuf.h"
#include "world/StateArchive.h"

// Writes text and its zero (at most maxLength characters of it).
inline void WireText_Write(CStateArchive& ar, const char* text, int maxLength = 65535) {
    int n = 0;
    for (const char* c = text ? text : ""; *c && n < maxLength; ++c, ++n)
        ar.WriteU8(static_cast<uint8_t>(*c));
    ar.WriteU8(0);
}

// Reads a zero-terminated text: the archive fails when no zero comes before
// the record ends. Characters beyond maxLength are read and dropped, and so
// are control bytes (below 32) when clean is set.
inline bool WireText_Read(CStateArchive& ar, CStrBuf* out, int maxLength, bool clean = true) {
    std::string text;
    for (;;) {
        if (ar.GetRemaining() == 0) {
            ar.Fail();
            return false;
        }
        uint8_t c = ar.ReadU8();
        if (c == 0) break;
        if (clean && c < 32) continue;
        if (static_cast<int>(text.size()) < maxLength) text.push_back(static_cast<char>(c));
    }
    if (out) out->Assign(text.c_str());
    return ar.Ok();
}
